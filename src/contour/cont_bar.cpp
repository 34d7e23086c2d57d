/*
 * cont_bar: the colour bar of the contour module and the flash of a band's
 * colour.
 *
 * The colour bar explains the bands of the last plot under its frame; it
 * keeps its place on the page so that a window event can find the band
 * under the pointer and blink its colour.
 */
#include "cont_impl.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace cont_impl;

namespace {

constexpr int NO_SEAM = -1; /* a projection code without a seam */
constexpr const char* BAR_FORM = "2.2.0";
constexpr float FLASH_WAIT = 0.5f; /* seconds between colour changes */
constexpr int FLASH_TIMES = 4;

/* Reads "con_base": a plain number is the base; ">n" and "<n" bound the
 * bar's range (">n" also sets the base) unless a bar range is set, when
 * they are left alone rather than read as a base. */
void bar_con_base(float* max, float* min) {
  int argc = 0;
  char** argv = nullptr;
  RES_getvals("con_base", &argc, &argv);
  const bool bar_range = state.bar_max != MISS;
  for (int i = 0; i < argc; ++i) {
    const char* item = argv[i];
    float f = 0.0f;
    if (!item) continue;
    if (item[0] == '>' || item[0] == '<') {
      if (bar_range || !read_float(item + 1, &f)) continue;
      if (item[0] == '>')
        *min = state.base = f;
      else
        *max = f;
    } else if (read_float(item, &f)) {
      state.base = f;
    }
  }
  if (argv) free_parsed_array(argc, argv);
}

/* Restores the selected transformation and the walk's projection. */
struct BarScope {
  Gint tran = 1;
  BarScope() {
    Gint err = 0;
    if (ginq_cur_norm_tran_num(&err, &tran) != 0 || err != 0) tran = 1;
    state.proj = NO_SEAM;
  }
  ~BarScope() {
    state.proj = IMISS;
    gsel_norm_tran(tran);
  }
  BarScope(const BarScope&) = delete;
  BarScope& operator=(const BarScope&) = delete;
};

} // namespace

int CONT_draw_bar(int orient, const char* label) {
  (void)orient; /* one layout */
  const char* white_black = gget_inverse() ? "black" : "white";
  Gattribs text_attr{};
  ATTRIB_init(&text_attr);
  ATTRIB_get("color_text", white_black, &text_attr);
  Gattribs ln{};
  ATTRIB_init(&ln);
  ATTRIB_get("color_cont", white_black, &ln);
  if (state.fill_pat != IMISS) ln.fill_pat = state.fill_pat;

  float max = state.grid_max, min = state.grid_min;
  const bool bar_range = state.bar_max != MISS;
  if (bar_range) {
    max = state.bar_max;
    min = state.bar_min;
  }
  if (state.intrvl == MISS) {
    float value = MISS;
    if (RES_getval("con_interval", &value, CV_float) == 1) state.intrvl = known(value);
  }
  bar_con_base(&max, &min);
  if (state.color_num <= 0 || state.color_num == IMISS) return -1;

  const bool explicit_levels = has_levels();
  if (state.conlo == MISS || bar_range) {
    if (explicit_levels) {
      state.conlo = state.cont_value[0];
    } else {
      if (max == MISS || min == MISS) return -1;
      if (state.intrvl == MISS || !(state.intrvl > 0.0f)) {
        state.num_cont = state.color_num - 1;
        state.intrvl = std::fabs(CONT_calc_intrvl(max, min, state.color_num - 1));
      }
      if (!(state.intrvl > 0.0f) || !std::isfinite(state.intrvl)) return -1;
      level_range("CONT_draw_bar", max, min);
    }
  }
  if (explicit_levels)
    state.intrvl =
        state.num_cont > 1 && state.cont_value[1] != MISS ? state.cont_value[1] - state.cont_value[0] : CONT_OPEN_TOP;
  if (state.num_cont > CONT_BAR_MAX_BANDS || state.num_cont <= 0) return -1;
  if (state.intrvl == MISS || !(state.intrvl > 0.0f) || !std::isfinite(state.intrvl)) return -1;
  if (!std::isfinite(state.conlo)) return -1;
  const int num_cont = state.num_cont;

  const float cb = state.base != MISS ? state.base : state.conlo;
  const int label_step = num_cont / 15 + 1;

  Glim view{}, panel{};
  PLT_get_view(&view);
  GPH_get_view_size(&panel);
  const bool full = PLT_get_full_lab() != 0;
  float room = view.y_min - panel.y_min;
  if (full) {
    room = 0.035f;
  } else {
    room = std::min(room, 0.035f);
    if (room < 0.01f) return -1;
  }

  Glim& bar = state.bar_lim;
  const float w = view.x_max - view.x_min;
  bar.x_min = view.x_min + 0.03f * w;
  bar.x_max = (view.x_min + view.x_max) / 2.0f;
  if (full) {
    bar.y_min = view.y_min + 0.15f * room;
    bar.y_max = view.y_min + room;
  } else {
    bar.y_max = view.y_min - 0.15f * room;
    bar.y_min = view.y_min - room;
  }
  state.bar_inc = (bar.x_max - bar.x_min) / static_cast<float>(num_cont);
  const float mid = (bar.y_min + bar.y_max) / 2.0f;

  const BarScope scope;
  gsel_norm_tran(1);
  state.pen = Pen{};
  state.ln_cont_attr = ln;
  GPH_line_attr(nullptr);
  GPH_text_attr(nullptr, 1.0f);
  GPH_text_align(2, 4);
  set_up(0.0f, 1.0f);
  GPH_text_attr(&text_attr, 0.35f * (bar.y_max - bar.y_min));
  GPH_line_attr(&ln);
  pen_fill_style(0);

  const int type = state.cont_type;
  const bool fills = is_fill(type) || type == CONT_VALUES;
  int colour = 0;
  if (!explicit_levels) {
    const double q = std::floor(static_cast<double>((state.conlo - cb) / state.intrvl) + 0.01);
    double m = std::isfinite(q) ? std::fmod(q, static_cast<double>(state.color_num)) : 0.0;
    if (m < 0) m += state.color_num;
    colour = std::clamp(static_cast<int>(m), 0, state.color_num - 1);
  }
  const double lo = state.conlo, step = state.intrvl;
  float x = bar.x_min;
  float lower = state.conlo;
  for (int k = 0; k < num_cont; ++k) {
    if (explicit_levels) {
      lower = state.cont_value[k];
      const bool last = k + 1 >= num_cont || state.cont_value[k + 1] == MISS;
      state.intrvl = last ? CONT_OPEN_TOP : state.cont_value[k + 1] - lower;
    } else {
      lower = static_cast<float>(lo + step * k);
    }
    if (k > 0) colour = (colour + 1) % state.color_num;
    state.cell.con_off = colour;
    const float top = type == CONT_LINES ? lower : lower + state.intrvl;
    if (fills) band_fill(colour);
    band_line(is_line(type) ? (colour + 1) % state.color_num : colour, top);
    if (fills && state.fill_attrib[colour].color >= 0) {
      Gpt box[5] = {{x, bar.y_max}, {x + state.bar_inc, bar.y_max}, {x + state.bar_inc, mid}, {x, mid}, {x, bar.y_max}};
      CONT_draw_lines(CONT_FILL, 5, box);
    }
    if (is_line(type)) {
      Gpt edge[2] = {{x + state.bar_inc, bar.y_max}, {x + state.bar_inc, mid}};
      CONT_draw_lines(CONT_LINES, 2, edge);
    }
    if (k % label_step == 0) draw_text(x, bar.y_min, level_text(k, lower, BAR_FORM));
    x += state.bar_inc;
  }
  if (!explicit_levels) draw_text(x, bar.y_min, level_text(num_cont, lower + state.intrvl, BAR_FORM));

  GPH_line_attr(&ln);
  GPH_rect(bar.x_min, bar.y_max, x, mid);
  if (label && *label) {
    GPH_text_align(1, 2);
    GPH_printf(view.x_max, view.y_min - 0.01f, "%s", label);
  }
  return 0;
}

float CONT_get_bar_value(float x, float y) {
  const Glim& bar = state.bar_lim;
  if (state.bar_inc == 0.0f) return MISS;
  if (!(x >= bar.x_min && x <= bar.x_max && y >= bar.y_min && y <= bar.y_max)) return MISS;
  /* The right edge belongs to the last box. */
  const int last = std::clamp(state.num_cont, 1, CONT_BAR_MAX_BANDS) - 1;
  const int k = std::clamp(static_cast<int>((x - bar.x_min) / state.bar_inc), 0, last);
  if (has_levels()) return state.cont_value[k];
  return state.conlo + static_cast<float>(k) * state.intrvl;
}

int CONT_flash_value(const char* str, float x, float y) {
  if (!str || std::strncmp(str, "f-Alt", 4) != 0) return 0;
  const float px = xW_trans(x, 2, 1), py = yW_trans(y, 2, 1);
  const float value = CONT_get_bar_value(px, py);
  if (value == MISS) return 0;
  Gattribs band{};
  CONT_get_fill_attrib(value, &band);
  /* A band drawn in no colour has nothing to blink. */
  if (band.color < 0) return 0;
  float red = 0.0f, grn = 0.0f, blu = 0.0f;
  CLR_get_rgb(band.color, &red, &grn, &blu);
  for (int n = 0; n < FLASH_TIMES; ++n) {
    state.kernel.sleep(FLASH_WAIT);
    state.kernel.set_color(band.color, 0.0f, 0.0f, 0.0f);
    state.kernel.sleep(FLASH_WAIT);
    state.kernel.set_color(band.color, red, grn, blu);
  }
  return 0;
}
