/*
 * cont_plot: the contour plot set-up and the stand-alone contour plot.
 *
 * CONT_plot_setup resets the contour settings and rebuilds them from the
 * variable's plot kind and format, "plot_param", the resources and the
 * prompts, and writes the corner labels. The stand-alone plot draws one
 * grid with its map, labels and bar, and is its own zoom and resize
 * function.
 */
#include "cont_impl.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace cont_impl;

namespace {

constexpr int FLAG_PLOT_NONE = CONT_NONE;

/* Case-insensitive test that item begins with word (at least n characters
 * of it). */
bool begins(const char* item, const char* word, int n) {
  return std::strlen(item) >= static_cast<size_t>(n) && strnicmp(item, word, n) == 0;
}

bool read_int(const char* s, int* out) {
  if (!s) return false;
  char* end = nullptr;
  const long v = std::strtol(s, &end, 10);
  if (end == s || v < -1000000000L || v > 1000000000L) return false;
  *out = static_cast<int>(v);
  return true;
}

/* The numbers of a "lab" setting: skip and extremum radius, then spacing. */
void apply_lab(const std::vector<int>& n) {
  if (n.empty()) return;
  if (n.size() == 1) {
    CONT_set_label_type(n[0] / 10, n[0] % 10);
    return;
  }
  CONT_set_label_type(n[0], n[1]);
  if (n.size() == 3) CONT_set_label_space(n[2], n[2]);
  if (n.size() >= 4) CONT_set_label_space(n[2], n[3]);
}

std::vector<int> read_ints(const std::string& text, char delim) {
  std::vector<int> out;
  for (const std::string& word : split(text.c_str(), delim)) {
    int v = 0;
    if (out.size() == 4 || !read_int(word.c_str(), &v)) break;
    out.push_back(v);
  }
  return out;
}

/* A printf format of printed values: one floating conversion that fits its
 * slot, or nothing (the default "1.1.0" numbers). */
void set_num_form(const std::string& item) {
  if (static_cast<int>(item.size()) < CONT_NUM_FORM_LEN && FMT_check(item.c_str(), FMT_FLOAT) == 1) {
    copy_bounded(state.num_form, CONT_NUM_FORM_LEN, item.c_str());
    return;
  }
  MESS_print(M_warn, "CONT_format_decode_type: Invalid value format %s; using 1.1.0\n", item.c_str());
  state.num_form[0] = '\0';
}

struct TypeWord {
  const char* word;
  int type;
  int dash; /* IMISS leaves the dashing */
};

/* Type words of formats and of the type prompt. */
constexpr TypeWord type_words[] = {
    {"value", CONT_VALUES, IMISS},   {"gvalue", CONT_VALUES, IMISS}, {"cf", CONT_FILL, IMISS},
    {"lcf", CONT_LINES_FILL, IMISS}, {"ln", CONT_LINES, IMISS},      {"dln", CONT_LINES, 1},
    {"ndln", CONT_LINES, -1},
};

const TypeWord* find_type_word(const char* item) {
  for (const TypeWord& t : type_words)
    if (stricmp(item, t.word) == 0) return &t;
  return nullptr;
}

} // namespace

int CONT_format_decode_type(const char* format) {
  if (!format) return -1;
  int type = IMISS;
  for (const std::string& word : split(format, ':')) {
    const char* item = word.c_str();
    float f = 0.0f;
    if (const TypeWord* t = find_type_word(item)) {
      type = t->type;
      if (t->dash != IMISS) state.dash = t->dash;
    } else if (stricmp(item, "nolr") == 0) {
      FLAG_setplot(6, 0);
    } else if (stricmp(item, "bar") == 0) {
      state.plt_bar = 3;
    } else if (stricmp(item, "nobar") == 0) {
      state.plt_bar = -2;
    } else if (begins(item, "rlab", 4)) {
      state.rot_label = 1;
    } else if (begins(item, "hlab", 4)) {
      state.rot_label = 0;
    } else if (begins(item, "labs", 4)) {
      PLT_set_label_type(-1);
    } else if (begins(item, "in=", 3)) {
      if (read_float(item + 3, &f)) state.intrvl = f;
    } else if (begins(item, "cb=", 3)) {
      if (read_float(item + 3, &f)) state.base = f;
    } else if (begins(item, "mn=", 3)) {
      if (read_float(item + 3, &f)) state.min_cut = f;
    } else if (begins(item, "mx=", 3)) {
      if (read_float(item + 3, &f)) state.max_cut = f;
    } else if (begins(item, "sc=", 3)) {
      if (read_float(item + 3, &f)) state.scale = f;
    } else if (begins(item, "xy=", 3)) {
      /* Both offsets come from the item, a missing one as 0, so that the
       * kept offsets never grow from plot to plot. */
      float dx = 0.0f, dy = 0.0f;
      if (std::sscanf(item + 3, "%f %f", &dx, &dy) < 1) dx = dy = 0.0f;
      state.x_off = static_cast<float>(0.012 * dx);
      state.y_off = static_cast<float>(0.02 * dy);
    } else if (begins(item, "sk=", 3)) {
      int n = 0;
      if (read_int(item + 3, &n) && n > 0) CONT_set_skip(n, n);
    } else if (begins(item, "cof=", 4)) {
      CONT_set_fill_colors(item + 4, 1);
    } else if (begins(item, "fi=", 3)) {
      int n = 0;
      if (read_int(item + 3, &n)) state.fill_pat = n;
    } else if (item[0] == '%') {
      set_num_form(word);
    } else if (begins(item, "lab=", 4)) {
      apply_lab(read_ints(word.substr(4), '.'));
    }
  }
  if (type != IMISS) CONT_set_type(type);
  return 0;
}

int CONT_format_decode_attrib(Gattribs* attr) {
  if (!attr) return 0;
  for (const std::string& word : split(state.format, ':')) {
    const char* item = word.c_str();
    if (begins(item, "co=", 3)) {
      attr->color = CLR_get_ind(item + 3);
    } else if (begins(item, "wi=", 3)) {
      float f = 0.0f;
      if (read_float(item + 3, &f)) attr->width = f;
    } else if (begins(item, "st=", 3)) {
      int n = 0;
      if (read_int(item + 3, &n)) attr->style = n;
    } else if (begins(item, "fp=", 3)) {
      attr->fill_pat = ATTR_parse_fill_pat(item + 3);
    }
  }
  return 0;
}

int CONT_param_decode() {
  int argc = 0;
  char** argv = nullptr;
  RES_getvals("plot_param", &argc, &argv);
  for (int i = 0; i < argc; ++i) {
    const char* item = argv[i];
    if (!item) continue;
    const size_t len = std::strlen(item);
    const char* from5 = len > 4 ? item + 4 : "";
    const char* after5 = len > 5 ? item + 5 : "";
    const char* after7 = len > 7 ? item + 7 : "";
    float f = 0.0f;
    int n = 0;
    if (begins(item, "fill", 4)) {
      if (*after5) state.fill_pat = ATTR_parse_fill_pat(after5);
    } else if (begins(item, "lab", 3) && !begins(item, "labs", 4)) {
      std::vector<int> nums = read_ints(from5, ':');
      if (nums.size() <= 1) nums = read_ints(from5, '.');
      apply_lab(nums);
    } else if (begins(item, "rlab", 4)) {
      state.rot_label = 1;
    } else if (begins(item, "hlab", 4)) {
      state.rot_label = 0;
    } else if (begins(item, "maxl", 4)) {
      if (read_int(after5, &n)) state.max_line_fact = n;
    } else if (begins(item, "conmin", 6)) {
      if (read_float(after7, &f)) state.min_cut = f;
    } else if (begins(item, "conmax", 6)) {
      if (read_float(after7, &f)) state.max_cut = f;
    } else if (stricmp(item, "grid") == 0) {
      state.draw_grid = 1;
    } else if (stricmp(item, "mapcon") == 0) {
      state.mapcon = 1;
    } else if (stricmp(item, "conmap") == 0) {
      state.mapcon = 0;
    }
  }
  if (argv) free_parsed_array(argc, argv);
  return 0;
}

float CONT_prompt_intrvl() {
  float value = 0.0f;
  float res = MISS;
  const bool have = RES_getval("con_interval", &res, CV_float) == 1 && res != MISS;
  if (have)
    value = res;
  else if (!FLAG_batch())
    value = KEZ_promptf("Enter the contour interval: ");
  /* A negative interval, or no number, asks for the automatic one. */
  if (!(value >= 0.0f) || !std::isfinite(value)) value = 0.0f;
  CONT_set_intrvl(value);
  return value;
}

int CONT_prompt_type() {
  if (state.cont_type != IMISS) return state.cont_type;
  int type = IMISS;
  const int flag = FLAG_get(FLAG_PLOT_TYPE);
  if (flag > 0) {
    if (flag == CONT_DASHED) {
      type = CONT_LINES;
      state.dash = 1;
    } else if (flag == CONT_DASHED_BELOW) {
      type = CONT_LINES;
      state.dash = -1;
    } else {
      type = flag;
    }
  } else if (FLAG_batch()) {
    type = CONT_FILL;
  } else {
    char answer[10] = {};
    KEZ_prompts("Color fill (C) or Line (L) contours: ", answer, sizeof answer);
    if (stricmp(answer, "none") == 0) {
      type = CONT_NONE;
    } else if (const TypeWord* t = find_type_word(answer)) {
      type = t->type;
      if (t->dash != IMISS) state.dash = t->dash;
    } else if (std::strchr("cCyY", answer[0]) && answer[0]) {
      type = CONT_FILL;
    } else {
      /* Anything else, an empty answer included, is lines. */
      type = CONT_LINES;
    }
  }
  CONT_set_type(type);
  return state.cont_type;
}

int CONT_plot_setup(int plot, int ind, GRD_report* grid, Domain* domain, void (*call)(int, char*, float, float)) {
  (void)domain;
  (void)call;
  if (FLAG_get(FLAG_PLOT_TYPE) == CONT_NONE) return 0;
  state.grd_ptr = grid;
  CONT_init();
  GPH_text_font(nullptr);
  const bool slot = ind >= 0 && ind < CONT_MAX_VARS;
  CONT_set_format(VAR_get_type(ind), VAR_get_format(ind));
  if (plot > 0 && slot) {
    state.cont_type = state.cont_types[ind];
    state.intrvl = state.intrvls[ind];
    state.dash = state.dashs[ind];
    state.base = state.bases[ind];
  }
  CONT_format_decode_type(state.format);
  CONT_param_decode();
  CONT_set_fill_colors(nullptr, 0);
  if (!grid || !grid->grid) return 0;
  MESS_print(M_mess, "Contouring data for %s\n\n", grid->info);

  float gmax = MISS, gmin = MISS;
  usable_range(grid, &gmax, &gmin);
  CONT_set_range(gmax, gmin);

  if (FLAG_get(FLAG_PLOT_TYPE) != CONT_VALUES && state.cont_type != CONT_VALUES && state.intrvl == MISS &&
      !has_levels()) {
    if (!FLAG_batch() && !RES_get("con_interval")) {
      MESS_print(M_print, "Maximum value: %f\n", static_cast<double>(gmax));
      MESS_print(M_print, "Minimum value: %f\n\n", static_cast<double>(gmin));
    }
    CONT_prompt_intrvl();
  }
  if (has_levels()) state.plt_bar = state.plt_bar == -2 ? 0 : 1;

  int argc = 0;
  char** argv = nullptr;
  RES_getvals("con_base", &argc, &argv);
  for (int i = 0; i < argc; ++i) {
    const char* item = argv[i];
    float f = 0.0f;
    if (!item) continue;
    if (item[0] == '>') {
      if (read_float(item + 1, &f)) state.min_cut = state.base = f;
    } else if (item[0] == '<') {
      if (read_float(item + 1, &f)) state.max_cut = f;
    } else if (read_float(item, &f)) {
      state.base = f;
    }
  }
  if (argv) free_parsed_array(argc, argv);

  float sc = MISS;
  if (RES_getval("plot_scale", &sc, CV_float) == 1 && sc != MISS)
    state.scale = sc > 0.0f && std::isfinite(sc) ? sc : 1.0f;
  if (const char* pf = RES_get("plot_format")) CONT_format_decode_type(pf);

  CONT_prompt_type();
  CONT_set_cont_ext(grid);
  MAP_fill_cont(is_fill(state.cont_type) ? 1 : 0);

  PLT_label_up_left(grid->info);
  PLT_label_up_right(grid->datim);
  const std::string lr = "LO: " + number_text("5.3.1", gmin, 0.0f) + "  HI: " + number_text("5.3.1", gmax, 0.0f);
  PLT_label_low_right(lr.c_str());
  std::string ll;
  if (has_levels()) {
    ll = "LEVELS: ";
    const int n = std::clamp(state.num_cont, 0, CONT_MAX_LEVELS);
    for (int i = 0; i < n && state.cont_value[i] != MISS; ++i) {
      if (i > 0) {
        if (ll.size() > 74) break;
        ll += ',';
      }
      ll += number_text("1.1.1", state.cont_value[i], 0.0f);
    }
  } else if (FLAG_get(FLAG_PLOT_TYPE) != CONT_VALUES) {
    ll = "INTERVAL: " + number_text("5.1.1", state.intrvl, 0.0f);
  }
  PLT_label_low_left(ll.c_str());

  if (plot == 0 && slot) {
    state.cont_types[ind] = state.cont_type;
    state.intrvls[ind] = state.intrvl;
    state.dashs[ind] = state.dash;
    state.bases[ind] = state.cbase;
  }
  return 0;
}

/* ------------------------------------------------------------------------ */
/* Stand-alone contour plot                                                 */
/* ------------------------------------------------------------------------ */

int CONT_plot_grid(GRD_report* grid, Domain* domain, void (*call)(int, char*, float, float)) {
  (void)call; /* the plot answers its own window events */
  if (FLAG_get(FLAG_PLOT_TYPE) == FLAG_PLOT_NONE) return 0;
  /* The grid given is the grid set up and drawn, now and on every zoom and
   * resize; the set-up runs inside CONT_plot, so the user is asked once. */
  state.plot_grid = grid;
  state.plot_fresh = true;
  Domain own{};
  if (!domain || domain->clat == MISS) {
    if (grid) {
      own = grid->domain;
    } else {
      DOM_init(&own);
    }
    domain = &own;
  }
  CONT_plot(domain);
  state.cont_type = IMISS;
  return 0;
}

int CONT_plot(Domain* domain) {
  if (FLAG_get(FLAG_PLOT_TYPE) == FLAG_PLOT_NONE || !domain) return 0;
  const bool opened_here = !gchk_graphics();
  if (opened_here) {
    if (PLT_open(DOM_aspect(domain)) != 0) return 0;
    PLT_set_callback(CONT_callback);
    PLT_set_zoom_func(CONT_plot);
    PLT_set_resize_func(CONT_plot);
  } else {
    PLT_reset(DOM_aspect(domain));
  }
  GRD_report* grid = state.plot_grid;
  if (!grid) grid = GRD_get_grids();
  MAP_setup(domain);
  /* A zoom or resize re-run keeps the type and interval of the first draw
   * (the set-up's memory of frame 0) instead of asking again. */
  const int frame = state.plot_fresh ? 0 : 1;
  state.plot_fresh = false;
  CONT_plot_setup(frame, 0, grid, domain, CONT_callback);
  if (state.mapcon == 1) {
    MAP_draw(5);
    CONT_draw(grid);
  } else {
    CONT_draw(grid);
    MAP_draw(6);
  }
  gsel_norm_tran(1);
  PLT_labels();
  if (CONT_get_bar() > 0) CONT_draw_bar(1, "");
  PLT_dump(0);
  if (opened_here) {
    PLT_close();
    state.plot_fresh = true;
  }
  return 0;
}

void CONT_callback(int type, char* str, float x, float y) {
  (void)type;
  PLT_print_values(str, x, y);
  PLT_plot_zoom(str, x, y);
  PLT_plot_resize(str, x, y);
  CONT_flash_value(str, x, y);
  if (!str || std::strcmp(str, "s-Alt") != 0) return;
  GRD_report* grid = GRD_get_grids();
  if (!grid || !grid->grid) {
    MESS_print(M_warn, "CONT_callback: No grid to save\n");
    return;
  }
  GRD_info info{};
  /* The file's date is read back from its label: a grid without a label
   * gets one made from its date. The file's label is shorter than the
   * grid's: cut to fit. */
  std::string label(grid->datim, strnlen(grid->datim, sizeof grid->datim));
  if (label.empty() && grid->date.year != IMISS) {
    char made[DATE_LABEL_LEN];
    DATE_make_label(&grid->date, made);
    label = made;
  }
  const size_t len = std::min(label.size(), sizeof info.datim - 1);
  std::memcpy(info.datim, label.data(), len);
  info.datim[len] = '\0';
  info.max_x = grid->domain.nx;
  info.max_y = grid->domain.ny;
  info.date = grid->date;
  GRD_save_file(CONT_SAVE_FILE, grid, &info, GRD_TYPE_TEXT);
}
