/*
 * plt_labl: the corner labels of a plot and their overlays.
 *
 * Every plot carries up to six texts around its plot area (three above it,
 * three below). Each plotter writes its description into them; when fields
 * are drawn over one another each overlay gets its own line at a position,
 * or, in the compact (negative) label types, its text is appended to the
 * first line. This module stores the texts, expands the label escapes of
 * the "label" resource, and draws the texts and the frame border at the end
 * of a frame (PLT_labels). PLT_close empties the store.
 *
 * Every text is held to PLT_LABEL_MAX characters: longer texts are cut, and
 * the expansion of escapes is bounded by PLT_FORMAT_LEN.
 */
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>

#include "gks.h"
#include "kez.h"
#include "kezgks.h"

namespace {

/* Plot-part switches the labels read. */
constexpr int PART_TEXT = 0;        /* any label text */
constexpr int PART_FIRST_LABEL = 1; /* 1 to 6: the positions */
constexpr int PART_BORDER = 11;
/* Appended overlay texts stop short of this length of the first line. */
constexpr int APPEND_LIMIT = 60;
/* Label room of "fullab", page units. */
constexpr float FULLAB_ROOM = 0.06f;
constexpr float MIN_ROOM = 0.005f;
constexpr float MAX_LINE_FRACTION = 0.03f; /* of the plot area's height */
constexpr float CHAR_FRACTION = 0.75f;     /* character height of a line height */
constexpr float GAP_LINES = 0.2f;

constexpr const char* POSITION_KEYS[PLT_NUM_LABELS] = {"ul", "uc", "ur", "ll", "lc", "lr"};

/* The label store: one text per position and overlay. */
using LabelTexts = std::array<std::array<std::string, PLT_NUM_OVERLAYS>, PLT_NUM_LABELS>;

struct LabelState {
  LabelTexts label;
  std::array<int, PLT_NUM_LABELS> label_ind{};
  int overlay = 0;
  int over_base = 0;
  int num_over = 0;
  int lab_type = 0;
  Date date{KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS};
  long fhour = 0;
};

LabelState state;

std::string cut(const char* str, size_t max) {
  std::string s = str ? str : "";
  if (s.size() > max) s.resize(max);
  return s;
}

bool valid_lab(int lab) { return lab >= 0 && lab < PLT_NUM_LABELS; }

int set_position(int lab, const char* str) {
  if (state.lab_type < 0 && state.overlay > 0) return PLT_label_strcat(lab, str);
  if (state.overlay >= 0 && state.overlay < PLT_NUM_OVERLAYS) return PLT_label_strcpy(lab, str);
  return 0;
}

std::string two_digits(int v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%2.2d", v);
  return buf;
}

/* The text of a "label" item: from the fourth character when the third is
 * ":", else from the fifth (after an overlay digit). */
const char* item_text(const char* item) {
  const size_t n = std::strlen(item);
  if (n >= 3 && item[2] == ':') return item + 3;
  return n >= 4 ? item + 4 : item + n;
}

} // namespace

int PLT_init_labels() {
  for (auto& pos : state.label)
    for (auto& text : pos) text.clear();
  state.label_ind.fill(0);
  state.num_over = 0;
  return 0;
}

int PLT_set_num_overlay(int ind) {
  if (ind < 0)
    state.num_over = -ind;
  else if (ind > state.num_over)
    state.num_over = ind;
  return 0;
}

int PLT_set_overlay(int ind) {
  ind = std::min(ind, PLT_NUM_OVERLAYS - 1);
  PLT_set_num_overlay(std::max(ind, 0));
  state.overlay = ind;
  return 0;
}

int PLT_get_overlay() { return state.overlay; }

int PLT_set_overlay_base(int ind) {
  ind = std::min(ind, PLT_NUM_OVERLAYS - 1);
  PLT_set_num_overlay(std::max(ind, 0));
  state.over_base = ind;
  return 0;
}

int PLT_get_overlay_base() { return state.over_base; }

int PLT_next_overlay() {
  if (state.overlay > PLT_NUM_OVERLAYS - 1) return -1;
  ++state.overlay;
  if (state.lab_type > 0)
    ++state.lab_type;
  else if (state.lab_type < 0)
    --state.lab_type;
  for (int i = 0; i < PLT_NUM_LABELS; ++i) state.label_ind[i] = static_cast<int>(state.label[i][0].size());
  if (state.overlay > state.num_over) state.num_over = state.overlay;
  return state.overlay;
}

int PLT_get_num_over() { return state.num_over; }
int PLT_get_label_type() { return state.lab_type; }

int PLT_set_label_type(int val) {
  state.lab_type = val;
  return 0;
}

int PLT_label_strcpy(int lab, const char* str) {
  if (!valid_lab(lab) || state.overlay < 0 || state.overlay >= PLT_NUM_OVERLAYS) return 0;
  state.label[lab][state.overlay] = cut(str, PLT_LABEL_MAX);
  return 0;
}

int PLT_label_strcat(int lab, const char* str) {
  if (!valid_lab(lab) || !str) return 0;
  const size_t at = static_cast<size_t>(state.label_ind[lab]);
  if (at + std::strlen(str) >= APPEND_LIMIT) return 0;
  std::string& line = state.label[lab][0];
  if (line.size() > at) line.resize(at);
  line.resize(at, ' ');
  line += ' ';
  line += str;
  return 0;
}

const char* PLT_get_label(int lab, int over) {
  if (!valid_lab(lab) || over < 0 || over >= PLT_NUM_OVERLAYS) return "";
  return state.label[lab][over].c_str();
}

int PLT_label_up_left(const char* str) { return set_position(0, str); }
int PLT_label_up_center(const char* str) { return set_position(1, str); }
int PLT_label_up_right(const char* str) { return set_position(2, str); }
int PLT_label_low_left(const char* str) { return set_position(3, str); }
int PLT_label_low_center(const char* str) { return set_position(4, str); }
int PLT_label_low_right(const char* str) { return set_position(5, str); }

int PLT_label_date(const Date* datim) {
  if (datim) state.date = *datim;
  return 0;
}

int PLT_label_for_time(long int val) {
  state.fhour = val;
  return 0;
}

std::string PLT_label_format(const char* form) {
  std::string out;
  if (!form) return out;
  const size_t max = PLT_FORMAT_LEN - 1;
  char buf[DATE_LABEL_LEN];
  for (const char* p = form; *p && out.size() < max; ++p) {
    if (*p == '_') {
      out += ' ';
      continue;
    }
    if (*p != '%') {
      out += *p;
      continue;
    }
    const char esc = *++p;
    if (!esc) break;
    buf[0] = '\0';
    switch (esc) {
      case 'D':
        DATE_make_label(&state.date, buf);
        out += buf;
        break;
      case 'W': state.date.hour = KEZ_MISS; [[fallthrough]];
      case 'V':
        DATE_make_label_valid_time(static_cast<int>(state.fhour), &state.date, buf);
        out += buf;
        break;
      case 'y': out += two_digits(state.date.year % 100); break;
      case 'm': out += two_digits(state.date.month); break;
      case 'b': {
        const char* month = DATE_month(state.date.month);
        out += cut(month, 3);
        break;
      }
      case 'h': out += two_digits(state.date.hour); break;
      case 'd': out += two_digits(state.date.day); break;
      case 'n': out += two_digits(state.date.min); break;
      case 'f': out += DATE_fhour_label(buf, static_cast<int>(state.fhour), 0); break;
      case 'F': out += DATE_fhour_label(buf, static_cast<int>(state.fhour), 1); break;
      case '%': out += '%'; break;
      default: break;
    }
  }
  if (out.size() > max) out.resize(max);
  return out;
}

int PLT_label_format(const char* form, char* str) {
  if (!str) return 0;
  const std::string out = PLT_label_format(form);
  std::memcpy(str, out.c_str(), out.size() + 1);
  return 0;
}

int PLT_labels() {
  std::array<bool, PLT_NUM_LABELS> fixed{};
  int paramc = 0;
  char** paramv = nullptr;
  RES_getvals("label", &paramc, &paramv);
  for (int i = 0; i < paramc; ++i) {
    const char* item = paramv[i];
    PLT_set_overlay(0);
    const std::string text = PLT_label_format(item_text(item));
    for (int lab = 0; lab < PLT_NUM_LABELS; ++lab) {
      if (strnicmp(item, POSITION_KEYS[lab], 2) != 0) continue;
      if (item[2] == ':') {
        PLT_label_strcpy(lab, text.c_str());
        fixed[lab] = true;
      } else if (item[2] >= '0' && item[2] <= '9' && item[3] == ':') {
        PLT_set_overlay(item[2] - '0');
        PLT_label_strcpy(lab, text.c_str());
        PLT_set_overlay(0);
      }
      break;
    }
  }
  free_parsed_array(paramc, paramv);

  Gattribs attrib{};
  ATTRIB_init(&attrib);
  ATTRIB_get("color_text", gget_inverse() ? "black" : "white", &attrib);
  PLT_mess("Labels");
  GPH_trans(1);
  Glim panel{};
  GPH_get_view_size(&panel);
  GPH_line_attr(nullptr);
  GPH_text_attr(nullptr, 1);
  GPH_text_font(nullptr);
  GPH_line_attr(&attrib);

  Glim area{};
  PLT_get_view(&area);
  const bool full_lab = PLT_get_full_lab() != 0;
  const float room = full_lab ? FULLAB_ROOM : area.y_min - panel.y_min;
  if (PLT_get_border() == 1 && FLAG_getplot(PART_BORDER)) GPH_border(&area);
  if (room < MIN_ROOM) return -1;
  if (!FLAG_getplot(PART_TEXT)) return 0;

  const int lines = (state.lab_type >= 0 && state.num_over != 0) ? state.num_over : 1;
  const float height = area.y_max - area.y_min;
  const float lh = std::min(room / static_cast<float>(lines), MAX_LINE_FRACTION * height);
  GPH_text_attr(&attrib, CHAR_FRACTION * lh);
  const float gap = full_lab ? -(GAP_LINES + static_cast<float>(lines)) * lh : GAP_LINES * lh;
  const float width = area.x_max - area.x_min;
  const float xs[3] = {area.x_min + 0.01f * width, 0.5f * (area.x_min + area.x_max), area.x_max - 0.01f * width};
  const int aligns[3] = {GLEFT_HOR, GCENTER_HOR, GRIGHT_HOR};
  const float base = static_cast<float>(state.over_base) * lh;
  const float upper = area.y_max + gap + base;
  const float lower = area.y_min - gap - static_cast<float>(lines - 1) * lh - base;
  const bool bar = PLT_cont_get_bar() >= 1;
  const bool vect = PLT_cont_get_vect() >= 1;
  for (int lab = 0; lab < PLT_NUM_LABELS; ++lab) {
    if (!FLAG_getplot(PART_FIRST_LABEL + lab)) continue;
    const bool up = lab < 3;
    if (!up && lab < 5 && bar) continue;
    if (lab == 5 && vect) continue;
    GPH_text_align(aligns[lab % 3], up ? GBASE_VERT : GCAP_VERT);
    const int count = fixed[lab] ? 1 : lines;
    for (int k = 0; k < count; ++k) {
      const std::string& t = state.label[lab][k];
      if (t.empty()) continue;
      const Gpt pt{xs[lab % 3], (up ? upper : lower) + static_cast<float>(k) * lh};
      GPH_pprint(&pt, t.c_str());
    }
  }
  return 0;
}
