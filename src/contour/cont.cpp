/*
 * cont: contour settings, levels, fill colours, the contour plot set-up and
 * the drawing of a grid as contour lines, colour-filled bands or printed
 * values.
 *
 * The module owns one set of contour settings per process (cont_impl.h),
 * shared by its files: this one holds the settings, the fill colours and
 * level lists, the record of kernel primitives and the inspection;
 * cont_cell.cpp the cell engine, cont_walk.cpp the grid walk, cont_label.cpp
 * the draw entry with its labels and extrema, cont_bar.cpp the colour bar,
 * cont_plot.cpp the plot set-up and the stand-alone plot.
 *
 * CONT_plot_setup resets the settings (CONT_init keeps the settings a run
 * carries from plot to plot) and rebuilds them, then derives the levels:
 * base + k * interval, or an explicit ascending list (from a fill colour
 * list or a level file), which wins everywhere. The fill table colours
 * every band; other plotters colour their values through
 * CONT_get_fill_attrib.
 *
 * All drawing goes through the record of kernel primitives
 * (CONT_set_kernel), the kernel's own unless a test or benchmark records
 * instead.
 */
#include "cont_impl.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace cont_impl;

namespace cont_impl {

State state;

/* The lowest and highest usable value of a grid; -9999 for both when it
 * has none. */
void usable_range(const GRD_report* grid, float* max, float* min) {
  *max = *min = MISS;
  if (!grid || !grid->grid || grid->domain.nx <= 0 || grid->domain.ny <= 0) return;
  const size_t n = static_cast<size_t>(grid->domain.nx) * static_cast<size_t>(grid->domain.ny);
  for (size_t k = 0; k < n; ++k) {
    const float v = grid->grid[k];
    if (!usable(v)) continue;
    if (*max == MISS || v > *max) *max = v;
    if (*min == MISS || v < *min) *min = v;
  }
}

void copy_bounded(char* dst, int room, const char* src) {
  if (room <= 0) return;
  std::snprintf(dst, static_cast<size_t>(room), "%s", src ? src : "");
}

/* Splits a text at a delimiter into owned words (empty items kept). */
std::vector<std::string> split(const char* text, char delim) {
  std::vector<std::string> out;
  if (!text) return out;
  std::string cur;
  for (const char* p = text; *p; ++p) {
    if (*p == delim) {
      out.push_back(cur);
      cur.clear();
    } else {
      cur += *p;
    }
  }
  out.push_back(cur);
  return out;
}

bool read_float(const char* s, float* out) {
  if (!s) return false;
  char* end = nullptr;
  const float v = std::strtof(s, &end);
  if (end == s || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

std::string number_text(const char* form, float x, float scale) {
  char num[SET_NUM_LEN];
  const bool small = x != 0.0f && std::fabs(x) < small_number && std::fabs(x) > 1e-4f * scale;
  if (!small && !(std::fabs(x) >= large_number && std::isfinite(x))) return set_num(num, form, x);
  /* the significant digits of the form "w.s.d", two at least */
  int digits = 2;
  if (form) {
    const char* dot = std::strchr(form, '.');
    if (dot) digits = std::clamp(std::atoi(dot + 1), 2, 6);
  }
  std::snprintf(num, sizeof num, "%.*g", digits, static_cast<double>(x));
  return num;
}

/* The lowest and highest level on the base's lattice that enclose a range,
 * and the number of bands between them, for a positive interval. */
void level_range(const char* caller, float max, float min) {
  if (max >= min) {
    const double b = state.base == MISS ? 0.0 : static_cast<double>(state.base);
    const float qlo = static_cast<float>((min - b)) / state.intrvl;
    const float qhi = static_cast<float>((max - b)) / state.intrvl;
    state.conlo = static_cast<float>(b + state.intrvl * std::floor(static_cast<double>(qlo)));
    state.conhi = static_cast<float>(b + state.intrvl * std::floor(1.0 + static_cast<double>(qhi)));
  } else {
    state.conlo = max;
    state.conhi = min;
  }
  /* a hundredth of an interval against the rounding of the quotient, in
   * the interval's own size: an absolute 0.01 made thousands of levels of
   * an interval of a millionth */
  const double bands = (static_cast<double>(state.conhi) - state.conlo) / static_cast<double>(state.intrvl) + 0.01;
  if (!std::isfinite(state.conlo) || !std::isfinite(state.conhi)) {
    /* Levels beyond the range of numbers: none at all. */
    MESS_print(M_warn, "%s: Interval %g gives too many levels\n", caller, static_cast<double>(state.intrvl));
    state.num_cont = 0;
  } else if (bands > MAX_BANDS) {
    MESS_print(M_warn, "%s: Interval %g gives too many levels\n", caller, static_cast<double>(state.intrvl));
    state.num_cont = MAX_BANDS;
  } else {
    state.num_cont = bands > 0 ? static_cast<int>(bands) : 0;
  }
}

} // namespace cont_impl

namespace {

constexpr int ENTRY_END = -2; /* fill entry colour that ends the table */

/* The fifteen built-in fill colours, in band order. */
constexpr const char* fill_name[] = {"Magenta", "LMagenta", "Blue", "LBlue", "Cyan",  "LCyan", "Green", "LGreen",
                                     "Brown",   "Yellow",   "Red",  "LRed",  "DGray", "LGray", "White"};

/* A whole text that is one number. */
bool is_number(const std::string& s) {
  if (s.empty()) return false;
  char* end = nullptr;
  std::strtof(s.c_str(), &end);
  while (end && (*end == ' ' || *end == '\t')) ++end;
  return end && end != s.c_str() && *end == '\0';
}

} // namespace

/* ------------------------------------------------------------------------ */
/* Settings                                                                 */
/* ------------------------------------------------------------------------ */

int CONT_init() {
  state.cont_type = IMISS;
  state.dash = 0;
  state.intrvl = MISS;
  state.base = MISS;
  state.grid_max = state.grid_min = MISS;
  state.max_cut = state.min_cut = MISS;
  state.cont_value[0] = MISS;
  for (auto& label : state.cont_label) label[0] = '\0';
  state.color_fill_set = 0;
  state.fill_pat = IMISS;
  state.scale = 1.0f;
  state.label_skip = 2;
  state.ext_radius = 2;
  state.x_label_space = state.y_label_space = IMISS;
  state.over = 0;
  state.x_skip = state.y_skip = 1;
  state.format[0] = '\0';
  state.num_form[0] = '\0';
  return 0;
}

int CONT_set_type(int ind) {
  state.cont_type = ind == CONT_FILL_ALT ? CONT_FILL : ind;
  return 0;
}

int CONT_get_type() { return state.cont_type; }

int CONT_set_format(int type, const char* form) {
  copy_bounded(state.format, CONT_FORMAT_LEN, form);
  switch (type) {
    case CONT_LINES:
    case CONT_FILL:
    case CONT_LINES_FILL:
    case CONT_VALUES: state.cont_type = type; break;
    case CONT_DASHED:
      state.cont_type = CONT_LINES;
      state.dash = 1;
      break;
    case CONT_DASHED_BELOW:
      state.cont_type = CONT_LINES;
      state.dash = -1;
      break;
    default: break;
  }
  return 0;
}

int CONT_set_dash(int ind) {
  state.dash = ind;
  return 0;
}

int CONT_set_intrvl(float value) {
  state.intrvl = known(value);
  return 0;
}

float CONT_get_intrvl() { return state.intrvl; }

int CONT_set_base(float value) {
  state.base = known(value);
  return 0;
}

float CONT_get_base() { return state.base; }

int CONT_set_range(float max, float min) {
  state.grid_max = known(max);
  state.grid_min = known(min);
  return 0;
}

int CONT_set_bar_range(float max, float min) {
  state.bar_max = known(max);
  state.bar_min = known(min);
  return 0;
}

int CONT_set_cutoff(float max, float min) {
  if (usable(max)) state.max_cut = max;
  if (usable(min)) state.min_cut = min;
  return 0;
}

int CONT_set_bar(int value) {
  state.plt_bar = value;
  return 0;
}

int CONT_get_bar() { return state.plt_bar; }

int CONT_set_scale(float iscale) {
  state.scale = std::isfinite(iscale) ? iscale : 1.0f;
  return 0;
}

int CONT_set_skip(int x, int y) {
  state.x_skip = x;
  state.y_skip = y;
  return 0;
}

int CONT_set_plot_offset(float x, float y) {
  state.x_off = x;
  state.y_off = y;
  return 0;
}

int CONT_set_label_type(int skip, int rad) {
  state.label_skip = skip;
  state.ext_radius = rad;
  return 0;
}

int CONT_set_label_space(int x, int y) {
  state.x_label_space = x;
  state.y_label_space = y;
  return 0;
}

int CONT_set_over(int ind) {
  state.over = ind;
  return 0;
}

int CONT_draw_grid(int value) {
  state.draw_grid = value;
  return 0;
}

int CONT_grid(float* grx, float* gry) {
  state.grdx = grx;
  state.grdy = gry;
  return 0;
}

int CONT_set_fill_pat(int type) {
  state.fill_pat = type;
  return 0;
}

int CONT_get_fill_pat() { return state.fill_pat; }

int CONT_reset_fill_set() {
  state.color_fill_set = 0;
  return 0;
}

int CONT_set_fill_attribs(const Gattribs* attrib) {
  int n = 0;
  if (attrib)
    while (n < CONT_MAX_LEVELS && attrib[n].color >= NO_COLOUR) {
      state.fill_attrib[n] = attrib[n];
      ++n;
    }
  if (n == 0) {
    CONT_fill_attrib_init(&state.fill_attrib[0]);
    state.fill_attrib[0].color = 1;
    n = 1;
  }
  state.color_num = n;
  return 0;
}

int CONT_get_fill_attrib_ind(int ind, Gattribs* attrib) {
  if (!attrib) return 0;
  if (ind < 0 || ind >= state.color_num || ind > CONT_MAX_LEVELS) {
    ATTRIB_init(attrib);
    attrib->color = NO_COLOUR;
    return -1;
  }
  *attrib = state.fill_attrib[ind];
  return 0;
}

int CONT_set_values(const float* values, int num) {
  if (state.color_fill_set == 1) return -1;
  if (!values) num = 0;
  std::vector<float> levels;
  int given = 0;
  while (given < num && values[given] != MISS) {
    if (!std::isfinite(values[given])) {
      int end = given;
      while (end < num && values[end] != MISS) ++end;
      MESS_print(M_warn, "CONT_set_values: Level %d is not a number; it and the %d levels after it are dropped\n",
                 given + 1, end - given - 1);
      break;
    }
    ++given;
  }
  if (given > CONT_MAX_LEVELS)
    MESS_print(M_warn, "CONT_set_values: Only %d levels are kept; the %d levels from %g to %g are dropped\n",
               CONT_MAX_LEVELS, given - CONT_MAX_LEVELS, static_cast<double>(values[CONT_MAX_LEVELS]),
               static_cast<double>(values[given - 1]));
  levels.assign(values, values + std::min(given, CONT_MAX_LEVELS));
  if (levels.empty()) {
    state.cont_value[0] = MISS;
    state.num_cont = 0;
    return 0;
  }
  /* The walk and the colours need strictly ascending levels: a negative or
   * zero step would run bands backwards. */
  if (!std::is_sorted(levels.begin(), levels.end()) ||
      std::adjacent_find(levels.begin(), levels.end()) != levels.end()) {
    MESS_print(M_warn, "CONT_set_values: Contour levels are not ascending; sorted\n");
    std::sort(levels.begin(), levels.end());
    levels.erase(std::unique(levels.begin(), levels.end()), levels.end());
  }
  const int n = static_cast<int>(levels.size());
  std::copy(levels.begin(), levels.end(), state.cont_value);
  state.cont_value[n] = MISS;
  state.num_cont = n;
  state.intrvl = n > 1 ? levels[1] - levels[0] : CONT_OPEN_TOP;
  state.grid_min = levels.front();
  state.grid_max = levels.back();
  return 0;
}

int CONT_reset_values() {
  if (has_levels()) {
    state.intrvl = MISS;
    state.grid_min = state.grid_max = MISS;
    state.cont_value[0] = MISS;
  }
  return 0;
}

int CONT_get_values(float* values) {
  if (!has_levels()) return 0;
  const int n = std::clamp(state.num_cont, 0, CONT_MAX_LEVELS);
  if (values) std::copy(state.cont_value, state.cont_value + n, values);
  return n;
}

int CONT_get_num_cont() { return state.num_cont; }

float CONT_calc_intrvl(float max, float min, int num) {
  if (num == 0) num = 1;
  const float x = (max - min) / static_cast<float>(num);
  if (x >= 1000.0f) return 1000.0f * std::ceil(x / 1000.0f);
  if (x >= 100.0f) return 100.0f * std::ceil(x / 100.0f);
  if (x >= 10.0f) return 10.0f * std::ceil(x / 10.0f);
  if (x >= 1.0f) return std::ceil(x);
  /* Below 1 the steps are decimal: compared and rounded in double so that
   * 0.1 and its kin are met exactly. */
  constexpr double steps[] = {10.0, 100.0, 1000.0, 10000.0};
  for (double step : steps)
    if (static_cast<double>(x) >= 1.0 / step) {
      const float scaled = static_cast<float>(step) * x;
      return static_cast<float>(std::ceil(static_cast<double>(scaled)) / step);
    }
  if (x == 0.0f) return 1.0f;
  return x;
}

int CONT_set_cont_ext(const GRD_report* grid) {
  if (has_levels()) {
    state.conlo = state.cont_value[0];
  } else {
    if (grid && state.grid_max == MISS) usable_range(grid, &state.grid_max, &state.grid_min);
    if (state.grid_max == MISS) return -1;
    if (state.intrvl == MISS) {
      float value = MISS;
      if (RES_getval("con_interval", &value, CV_float) == 1 && usable(value)) state.intrvl = value;
    }
    if (state.intrvl == MISS && state.cont_type != CONT_VALUES) state.intrvl = 0.0f;
    if (state.intrvl != MISS && state.intrvl <= 0.0f) {
      /* No fill colours yet counts as one band. */
      const int bands = state.color_num > 0 ? state.color_num - 1 : 0;
      state.num_cont = bands;
      state.intrvl = CONT_calc_intrvl(state.grid_max, state.grid_min, bands);
      /* A range given upside down yields a negative quotient; its size
       * still makes a usable step. */
      if (state.intrvl < 0.0f) state.intrvl = -state.intrvl;
    }
    if (state.intrvl == MISS || !(state.intrvl > 0.0f) || !std::isfinite(state.intrvl)) {
      /* Printed values need no levels. */
      state.conlo = state.grid_min;
      state.conhi = state.grid_max;
      state.num_cont = 0;
    } else {
      level_range("CONT_set_cont_ext", state.grid_max, state.grid_min);
    }
  }
  state.cbase = state.base != MISS ? state.base : state.conlo;
  return 0;
}

/* ------------------------------------------------------------------------ */
/* Fill colours and level lists                                             */
/* ------------------------------------------------------------------------ */

int CONT_fill_attrib_init(Gattribs* attrib) {
  if (!attrib) return 0;
  attrib->width = attrib->height = attrib->expan = MISS;
  attrib->style = attrib->fill_pat = attrib->font = IMISS;
  return 0;
}

namespace {

/* An entry prepared for an item: every field unset, no colour named yet. */
Gattribs fresh_entry() {
  Gattribs a{};
  CONT_fill_attrib_init(&a);
  a.color = IMISS;
  return a;
}

/* An entry whose item named no colour draws nothing, rather than inherit
 * the colour of an earlier list; the word "end" is no colour either. */
void settle_colour(Gattribs* a) {
  if (a->color == IMISS || a->color == ENTRY_END) a->color = NO_COLOUR;
}

/* Notes entries that a full table cannot take, for one warning per list. */
void drop(int count, const std::string& what) {
  if (state.dropped == 0) state.first_dropped = what;
  state.dropped += count;
}

void put_entry(const Gattribs& a, float level, const std::string& label) {
  if (state.temp >= CONT_MAX_LEVELS) return;
  state.fill_attrib[state.temp] = a;
  state.cont_value[state.temp] = level;
  /* Bar texts longer than their slot are cut to it. */
  copy_bounded(state.cont_label[state.temp], CONT_LABEL_LEN, label.c_str());
  ++state.temp;
}

/* The bar text of ":la=" inside an item, up to the next ':'. */
bool find_bar_text(const std::string& item, std::string* text) {
  for (size_t i = 0; i + 4 <= item.size(); ++i)
    if (item[i] == ':' && strnicmp(item.c_str() + i + 1, "la=", 3) == 0) {
      const size_t from = i + 4;
      const size_t to = item.find(':', from);
      *text = item.substr(from, to == std::string::npos ? std::string::npos : to - from);
      return true;
    }
  return false;
}

/* The levels of entries that a list leaves without one: shared evenly
 * between two given levels, continuing the last interval after the last
 * given level. With a single given level there is no interval to continue
 * and the entries after it are dropped. */
void fill_missing_levels(int count) {
  int prev = 0;
  for (int i = 1; i < count; ++i) {
    if (state.cont_value[i] == MISS) continue;
    const float p = state.cont_value[prev], q = state.cont_value[i];
    for (int k = prev + 1; k < i; ++k)
      state.cont_value[k] = p + static_cast<float>(k - prev) * (q - p) / static_cast<float>(i - prev);
    prev = i;
  }
  if (prev == count - 1) return;
  if (prev == 0) {
    MESS_print(M_warn, "CONT_set_fill_colors: Colours after the only level have no level; dropped\n");
    state.temp = 1;
    return;
  }
  const float step = state.cont_value[prev] - state.cont_value[prev - 1];
  for (int k = prev + 1; k < count; ++k) state.cont_value[k] = state.cont_value[k - 1] + step;
}

} // namespace

int CONT_decode_fill_color(char* str) {
  if (!str) return 0;
  while (*str == ' ' || *str == '\t') ++str;
  if (!*str) return 0;
  const std::string item(str);
  const size_t colon = item.find(':');
  const std::string head = item.substr(0, colon);
  const size_t dash = item.find('-', 1);

  if (dash != std::string::npos && !is_number(head)) {
    /* A colour range a-b, one entry per index. */
    str[dash] = '\0';
    Gattribs a = fresh_entry();
    ATTRIB_parse(str, &a);
    Gattribs b = fresh_entry();
    ATTRIB_parse(str + dash + 1, &b);
    if (a.color < 0 || b.color < 0) {
      MESS_print(M_warn, "CONT_decode_fill_color: Colour range without colours: %s\n", item.c_str());
      return 0;
    }
    const int step = b.color >= a.color ? 1 : -1;
    for (int c = a.color;; c += step) {
      if (state.temp >= CONT_MAX_LEVELS) {
        drop(std::abs(b.color - c) + 1, "colour " + std::to_string(c) + " of \"" + item + "\"");
        break;
      }
      Gattribs e = a;
      e.color = c;
      put_entry(e, MISS, "");
      if (c == b.color) break;
    }
    return 0;
  }

  if (state.temp >= CONT_MAX_LEVELS) {
    drop(1, "\"" + item + "\"");
    return 0;
  }
  float value = MISS;
  if (is_number(head) && read_float(head.c_str(), &value)) {
    Gattribs a = fresh_entry();
    std::string label = head;
    if (colon == std::string::npos) {
      /* A bare number is the level and, read as attributes, its colour. */
      ATTRIB_parse(str, &a);
    } else {
      ATTRIB_parse(str + colon + 1, &a);
      find_bar_text(item, &label);
    }
    settle_colour(&a);
    put_entry(a, value, label);
    return 0;
  }

  Gattribs a = fresh_entry();
  ATTRIB_parse(str, &a);
  settle_colour(&a);
  std::string label;
  if (!find_bar_text(":" + item, &label)) label.clear();
  put_entry(a, MISS, label);
  return 0;
}

int CONT_set_fill_colors(const char* string, int flag) {
  if (state.color_fill_set == 1) return -1;
  std::string list = string ? string : "";
  if (flag == 0) {
    const char* res = RES_get("color_fill");
    if (res && *res && stricmp(res, "miss") != 0 && strnicmp(res, "def", 3) != 0) list = res;
  }
  std::vector<std::string> items;
  if (list.empty()) {
    const int n = std::min(CLR_get_num_fill(), CONT_MAX_LEVELS);
    if (n > 0) {
      for (int i = 0; i < n; ++i) {
        CONT_fill_attrib_init(&state.fill_attrib[i]);
        state.fill_attrib[i].color = i;
      }
      state.fill_attrib[n].color = ENTRY_END;
      state.color_num = state.num_cont = n;
      state.cont_value[0] = MISS;
      state.color_fill_set = 1;
      return -1;
    }
    for (const char* name : fill_name) items.emplace_back(name);
  } else {
    items = split(list.c_str(), ',');
    while (!items.empty() && items.back().empty()) items.pop_back();
  }

  const bool single_file = items.size() == 1 && items[0].find('-') == std::string::npos;
  std::string path;
  FILE* fp = nullptr;
  if (single_file) {
    const char* dir = RES_get("file_path");
    path = FILE_add_path(dir ? dir : "", items[0].c_str());
    fp = FILE_open(path.c_str(), "r");
    if (!fp) {
      MESS_print(M_warn, "CONT_set_fill_colors: Unable to read contour level file: %s\n", path.c_str());
      return 0;
    }
  }

  state.temp = 0;
  state.dropped = 0;
  state.color_fill_set = 1;
  const bool from_file = fp != nullptr;
  if (fp) {
    char line[81];
    int got;
    while ((got = fgetnline(fp, line, static_cast<int>(sizeof line) - 1)) != EOF) {
      if (got == static_cast<int>(sizeof line) - 1) {
        /* The tail of an over-long line is dropped, not read as an item. */
        int ch;
        while ((ch = std::getc(fp)) != EOF && ch != '\n') {
        }
      }
      if (got == 0 || line[0] == '\0' || line[0] == '@' || line[0] == '#') continue;
      wstrim_string(line);
      if (line[0] == '\0') continue;
      CONT_decode_fill_color(line);
    }
    FILE_close(fp);
  } else {
    for (std::string& item : items) {
      std::vector<char> buf(item.begin(), item.end());
      buf.push_back('\0');
      CONT_decode_fill_color(buf.data());
    }
  }
  if (state.dropped > 0)
    MESS_print(M_warn, "CONT_set_fill_colors: Only %d fill colours are kept; %d dropped%s%s, from %s on\n",
               CONT_MAX_LEVELS, state.dropped, from_file ? " from " : "", from_file ? path.c_str() : "",
               state.first_dropped.c_str());

  int count = state.temp;
  if (count > 0 && state.cont_value[0] != MISS) {
    fill_missing_levels(count);
    count = state.temp;
  } else {
    /* Without a first level no entry is a level. */
    for (int i = 0; i < count; ++i) state.cont_value[i] = MISS;
  }
  if (count == 0) {
    /* An empty list still leaves one drawable entry. */
    CONT_fill_attrib_init(&state.fill_attrib[0]);
    state.fill_attrib[0].color = 1;
    state.cont_value[0] = MISS;
    count = 1;
  }
  state.fill_attrib[count].color = ENTRY_END;
  state.cont_value[count] = MISS;
  state.color_num = state.num_cont = count;
  if (has_levels()) {
    /* Explicit levels ascend, or bands would run backwards. */
    bool ascending = true;
    for (int i = 1; i < count; ++i)
      if (!(state.cont_value[i] > state.cont_value[i - 1])) ascending = false;
    if (!ascending) {
      MESS_print(M_warn, "CONT_set_fill_colors: Contour levels are not ascending; levels ignored\n");
      state.cont_value[0] = MISS;
    }
  }
  if (has_levels()) {
    state.intrvl = count > 1 ? state.cont_value[1] - state.cont_value[0] : CONT_OPEN_TOP;
    state.grid_min = state.cont_value[0];
    state.grid_max = state.cont_value[count - 1];
  }
  return 0;
}

int CONT_get_fill_attrib(float value, Gattribs* attrib) {
  if (!attrib) return 0;
  auto none = [attrib]() {
    ATTRIB_init(attrib);
    attrib->color = NO_COLOUR;
    return 0;
  };
  if (!usable(value)) return none();
  if (state.min_cut != MISS && value < state.min_cut) return none();
  if (state.max_cut != MISS && value > state.max_cut) return none();
  if (state.cbase == MISS) state.cbase = state.base;
  if (state.color_num <= 0 || state.color_num == IMISS) return none();
  int k = 0;
  if (has_levels()) {
    if (value < state.cont_value[0]) return none();
    const int n = std::clamp(state.num_cont, 1, CONT_MAX_LEVELS);
    k = n - 1;
    for (int i = 0; i + 1 < n; ++i)
      if (state.cont_value[i] <= value && value < state.cont_value[i + 1]) {
        k = i;
        break;
      }
    k = std::min(k, state.color_num - 1);
  } else {
    /* Another plotter may ask with no interval chosen: no band then. */
    if (state.intrvl == MISS || !(state.intrvl > 0.0f)) return none();
    const float cb = state.cbase == MISS ? 0.0f : state.cbase;
    const float q = (value - cb) / state.intrvl;
    /* A value so far from the base that its band number overflows has no
     * band to be coloured by. */
    if (!std::isfinite(q)) return none();
    const double band = std::floor(static_cast<double>(q) + 0.01);
    double m = std::fmod(band, static_cast<double>(state.color_num));
    if (m < 0) m += state.color_num;
    k = std::clamp(static_cast<int>(m), 0, state.color_num - 1);
  }
  *attrib = state.fill_attrib[k];
  return 0;
}

/* ------------------------------------------------------------------------ */
/* Kernel primitives                                                        */
/* ------------------------------------------------------------------------ */

int CONT_set_kernel(const CONT_kernel* ops) {
  state.kernel.fill = ops && ops->fill ? ops->fill : gfill_area;
  state.kernel.line = ops && ops->line ? ops->line : gpolyline;
  state.kernel.text = ops && ops->text ? ops->text : gtext;
  state.kernel.fill_colr = ops && ops->fill_colr ? ops->fill_colr : gset_fill_colr_ind;
  state.kernel.line_colr = ops && ops->line_colr ? ops->line_colr : gset_line_colr_ind;
  state.kernel.linetype = ops && ops->linetype ? ops->linetype : gset_linetype;
  state.kernel.linewidth = ops && ops->linewidth ? ops->linewidth : gset_linewidth;
  state.kernel.sleep = ops && ops->sleep ? ops->sleep : KEZ_sleep;
  state.kernel.set_color = ops && ops->set_color ? ops->set_color : GPH_set_color;
  return 0;
}

/* ------------------------------------------------------------------------ */
/* Inspection                                                               */
/* ------------------------------------------------------------------------ */

namespace {

struct NamedSetting {
  const char* name;
  float (*get)();
};

#define SETTING(field)                                     \
  {                                                        \
#field, [] { return static_cast<float>(state.field); } \
  }
constexpr NamedSetting named_settings[] = {
    SETTING(cont_type),      SETTING(dash),          SETTING(intrvl),  SETTING(base),       SETTING(cbase),
    SETTING(grid_max),       SETTING(grid_min),      SETTING(bar_max), SETTING(bar_min),    SETTING(max_cut),
    SETTING(min_cut),        SETTING(conlo),         SETTING(conhi),   SETTING(num_cont),   SETTING(color_num),
    SETTING(color_fill_set), SETTING(fill_pat),      SETTING(scale),   SETTING(label_skip), SETTING(ext_radius),
    SETTING(x_label_space),  SETTING(y_label_space), SETTING(over),    SETTING(rot_label),  SETTING(max_line_fact),
    SETTING(draw_grid),      SETTING(x_skip),        SETTING(y_skip),  SETTING(x_off),      SETTING(y_off),
    SETTING(plt_bar),        SETTING(mapcon),
};
#undef SETTING

} // namespace

float CONT_inspect(const char* name) {
  if (!name) return MISS;
  for (const NamedSetting& s : named_settings)
    if (std::strcmp(s.name, name) == 0) return s.get();
  return MISS;
}

const char* CONT_inspect_text(const char* name, int k) {
  if (!name) return "";
  if (std::strcmp(name, "format") == 0) return state.format;
  if (std::strcmp(name, "num_form") == 0) return state.num_form;
  if (std::strcmp(name, "cont_label") == 0 && k >= 0 && k < CONT_MAX_LEVELS) return state.cont_label[k];
  return "";
}
