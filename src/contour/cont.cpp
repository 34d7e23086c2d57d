/*
 * cont: contour settings, levels, fill colours, the contour plot set-up and
 * the drawing of a grid as contour lines, colour-filled bands or printed
 * values.
 *
 * The module owns one set of contour settings per process. CONT_plot_setup
 * resets them (CONT_init keeps the settings a run carries from plot to plot)
 * and rebuilds them from the variable's plot kind and format, "plot_param",
 * the resources and the prompts, then derives the levels: base + k * interval,
 * or an explicit ascending list (from a fill colour list or a level file),
 * which wins everywhere. The fill table colours every band; other plotters
 * colour their values through CONT_get_fill_attrib.
 *
 * Drawing walks the grid cell by cell from the top cell row down and, for
 * each cell, the bands from the bottom up. The cell engine (compute_dz,
 * compute_lines) contours one level in one cell and fills the band between
 * it and the previous level from tables of polygons, so that the bands of a
 * cell tile it exactly. The lines of a cell follow its bands, level by
 * level, the same for lines alone and lines over fill: a value equal to a
 * level counts as above it, so that neighbouring cells agree on every side
 * and each level is one set of lines, closed or ending at the grid's edge,
 * at a missing point or where the field only touches the level.
 * CONT_draw_lines splits what it draws at the seam of world-wide
 * projections. The draw entry then writes level values where a contour
 * crosses a cell from side to opposite side on every n-th row and column,
 * leaving out a label that would overprint one already placed, and marks
 * the points that beat every neighbour of their window with "H" or "L".
 * NaN and infinities are missing values throughout.
 *
 * The colour bar explains the bands of the last plot under its frame; it
 * keeps its place on the page so that a window event can find the band
 * under the pointer and blink its colour. The stand-alone plot draws one
 * grid with its map, labels and bar, and is its own zoom and resize
 * function.
 *
 * All drawing goes through the record of kernel primitives
 * (CONT_set_kernel), the kernel's own unless a test or benchmark records
 * instead.
 */
#include "kezcont.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr float MISS = KEZ_FMISS;
constexpr int IMISS = KEZ_MISS;
constexpr int ENTRY_END = -2;       /* fill entry colour that ends the table */
constexpr int NO_COLOUR = -1;       /* fill entry colour that draws nothing */
constexpr int MAX_BANDS = 10000000; /* bound on automatic levels, against a hang */

/* The cell engine's shared state: one cell at one level. */
struct Cell {
  float x[4] = {};
  float y[4] = {};
  float z[4] = {};
  float dz[4] = {};
  int numsides = 0;
  int cross[9] = {-1, -1, -1, -1, -2, -2, -2, -2, -1};
  float total = 0.0f;
  float ptotal = 0.0f;
  Gpt pt[14] = {};
  int con_off = 0;
};

/* The last attributes handed to the kernel during a draw, so that a band
 * that keeps its colour costs no kernel call. */
struct Pen {
  int fill_colr = IMISS;
  int fill_style = IMISS;
  int fill_ind = IMISS;
  int line_colr = IMISS;
  int line_type = IMISS;
  float line_width = MISS;
};

struct State {
  /* settings (see the header of kezcont.h) */
  int cont_type = IMISS;
  int dash = 0;
  float intrvl = MISS;
  float base = MISS;
  float cbase = MISS;
  float grid_max = MISS, grid_min = MISS;
  float bar_max = MISS, bar_min = MISS;
  float max_cut = MISS, min_cut = MISS;
  float conlo = MISS, conhi = MISS;
  int num_cont = IMISS;
  float cont_value[CONT_MAX_LEVELS + 1] = {MISS};
  char cont_label[CONT_MAX_LEVELS][CONT_LABEL_LEN] = {};
  Gattribs fill_attrib[CONT_MAX_LEVELS + 1] = {};
  int color_num = IMISS;
  int color_fill_set = 0;
  int fill_pat = IMISS;
  float scale = 1.0f;
  int label_skip = 2;
  int ext_radius = 2;
  int x_label_space = IMISS, y_label_space = IMISS;
  int over = 0;
  int rot_label = 0;
  int max_line_fact = -2;
  int draw_grid = 0;
  int x_skip = 1, y_skip = 1;
  float x_off = 0.0f, y_off = 0.0f;
  char format[CONT_FORMAT_LEN] = {};
  char num_form[CONT_NUM_FORM_LEN] = {};
  int plt_bar = 0;
  int mapcon = 0;
  float* grdx = nullptr;
  float* grdy = nullptr;
  int cont_types[CONT_MAX_VARS] = {};
  int dashs[CONT_MAX_VARS] = {};
  float intrvls[CONT_MAX_VARS] = {};
  float bases[CONT_MAX_VARS] = {};
  /* fill-list cursor */
  int temp = 0;
  /* what a list held beyond the table: how many entries, and the first */
  int dropped = 0;
  std::string first_dropped;
  /* set-up */
  GRD_report* grd_ptr = nullptr;
  void (*callback)(int, char*, float, float) = nullptr;
  /* walk and engine */
  Cell cell;
  float x_min = MISS, x_max = MISS;
  float vert_size = 1.0f;
  Gattribs ln_cont_attr = {};
  Pen pen;
  int proj = IMISS; /* the map projection while a walk runs; IMISS asks the map */
  /* While a walk runs it draws the contour lines itself, after a cell's
   * bands, and compute_lines only fills. */
  bool walk_lines = false;
  CONT_kernel kernel = {gfill_area,    gpolyline,      gtext,     gset_fill_colr_ind, gset_line_colr_ind,
                        gset_linetype, gset_linewidth, KEZ_sleep, GPH_set_color};
  /* colour bar: its area on the page and the width of one box (0 until a
   * bar is drawn); the value look-up and the flash read them */
  Glim bar_lim = {};
  float bar_inc = 0.0f;
  /* stand-alone plot: the grid set up and drawn (null: slot 0 of the grid
   * store), and whether the next draw is a first one (asks) or a zoom or
   * resize re-run (keeps what the first one chose) */
  GRD_report* plot_grid = nullptr;
  bool plot_fresh = true;
};

State state;

/* The fifteen built-in fill colours, in band order. */
constexpr const char* fill_name[] = {"Magenta", "LMagenta", "Blue", "LBlue", "Cyan",  "LCyan", "Green", "LGreen",
                                     "Brown",   "Yellow",   "Red",  "LRed",  "DGray", "LGray", "White"};

bool has_levels() { return state.cont_value[0] != MISS; }

/* A position the projection does not show. */
bool is_hidden(float x) { return x == MISS || !std::isfinite(x); }

/* A value that takes part in contouring: neither missing nor NaN nor
 * infinite, which every draw treats as missing. */
bool usable(float v) { return v != MISS && std::isfinite(v); }

/* A setting given as NaN or infinity is not given. */
float known(float v) { return std::isfinite(v) ? v : MISS; }

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
bool is_fill(int type) { return type == CONT_FILL || type == CONT_LINES_FILL; }
bool is_line(int type) { return type == CONT_LINES || type == CONT_LINES_FILL; }

/* Case-insensitive test that item begins with word (at least n characters
 * of it). */
bool begins(const char* item, const char* word, int n) {
  return std::strlen(item) >= static_cast<size_t>(n) && strnicmp(item, word, n) == 0;
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

bool read_int(const char* s, int* out) {
  if (!s) return false;
  char* end = nullptr;
  const long v = std::strtol(s, &end, 10);
  if (end == s || v < -1000000000L || v > 1000000000L) return false;
  *out = static_cast<int>(v);
  return true;
}

/* A whole text that is one number. */
bool is_number(const std::string& s) {
  if (s.empty()) return false;
  char* end = nullptr;
  std::strtof(s.c_str(), &end);
  while (end && (*end == ' ' || *end == '\t')) ++end;
  return end && end != s.c_str() && *end == '\0';
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
  const double bands = (static_cast<double>(state.conhi) - state.conlo + 0.01) / static_cast<double>(state.intrvl);
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
/* Plot set-up: format, parameters, prompts and corner labels               */
/* ------------------------------------------------------------------------ */

namespace {

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
  char lo[SET_NUM_LEN], hi[SET_NUM_LEN];
  const std::string lr = std::string("LO: ") + set_num(lo, "5.3.1", gmin) + "  HI: " + set_num(hi, "5.3.1", gmax);
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
      char num[SET_NUM_LEN];
      ll += set_num(num, "1.1.1", state.cont_value[i]);
    }
  } else if (FLAG_get(FLAG_PLOT_TYPE) != CONT_VALUES) {
    char num[SET_NUM_LEN];
    ll = std::string("INTERVAL: ") + set_num(num, "5.1.1", state.intrvl);
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

namespace {

void pen_fill_colour(int c) {
  if (c < 0 || c == state.pen.fill_colr) return;
  state.pen.fill_colr = c;
  state.kernel.fill_colr(c);
}

void pen_fill_style(int pattern) {
  /* pattern 0 solid, above 0 the pattern with that index */
  const int style = pattern > 0 ? GPAT : GSOLID;
  if (style != state.pen.fill_style) {
    state.pen.fill_style = style;
    gset_fill_int_style(static_cast<Gfill_int_style>(style));
  }
  if (pattern > 0 && pattern != state.pen.fill_ind) {
    state.pen.fill_ind = pattern;
    gset_fill_style_ind(pattern);
  }
}

void pen_line_colour(int c) {
  if (c < 0 || c == state.pen.line_colr) return;
  state.pen.line_colr = c;
  state.kernel.line_colr(c);
}

void pen_line_type(int t) {
  if (t == state.pen.line_type) return;
  state.pen.line_type = t;
  state.kernel.linetype(t);
}

void pen_line_width(float w) {
  if (w == state.pen.line_width) return;
  state.pen.line_width = w;
  state.kernel.linewidth(w);
}

void draw_segment(Gpt a, Gpt b) {
  Gpt seg[2] = {a, b};
  CONT_draw_lines(CONT_LINES, 2, seg);
}

/* ------------------------------------------------------------------------ */
/* Cell engine                                                              */
/* ------------------------------------------------------------------------ */

/* Side s runs from corner side_from[s] to side_to[s]; a level equal to the
 * marked corner does not count on that side, so a corner on the level
 * counts on exactly one of its two sides. */
constexpr int side_from[4] = {0, 0, 2, 1};
constexpr int side_to[4] = {1, 2, 3, 3};
constexpr int side_mark[4] = {1, 0, 2, 3};

/* Points of a polygon recipe: this level's crossing on side n (C), the
 * previous level's (P), a cell corner (K); END closes one polygon. */
enum Token : signed char { C0, C1, C2, C3, P0, P1, P2, P3, K0, K1, K2, K3, END };

constexpr int MAX_TOKENS = 20;
struct Recipe {
  signed char tok[MAX_TOKENS];
  int n;
};

constexpr Recipe recipe(const char* text) {
  Recipe r{{}, 0};
  for (const char* p = text; *p;) {
    if (*p == ' ' || *p == ',') {
      ++p;
      continue;
    }
    if (*p == ';') {
      r.tok[r.n++] = END;
      ++p;
      continue;
    }
    const int k = p[1] - '0';
    r.tok[r.n++] = static_cast<signed char>(*p == 'C' ? C0 + k : *p == 'P' ? P0 + k : K0 + k);
    p += 2;
  }
  r.tok[r.n++] = END;
  return r;
}

/* Key of the two sides a level crosses. */
constexpr int pair_key(int a, int b) { return a * 4 + b; }

/* The part of the cell below the level when no lower level crosses it: the
 * first test that holds chooses the polygon (C the first listed side's
 * crossing, D the second's). */
struct BelowRow {
  int a, b;
  int corner1;
  bool strict1; /* level > z[corner1], else level >= */
  Recipe first;
  int corner2;
  bool strict2;
  Recipe second;
  bool clear_list; /* neither holds: the level counts as not crossing */
};

#define R(x) recipe(x)
constexpr BelowRow below_rows[] = {
    {0, 1, 1, true, R("C0 C1 K2 K3 K1"), 0, false, R("C0 C1 K0"), false},
    {0, 2, 1, true, R("C0 C2 K3 K1"), 2, true, R("C0 C2 K2 K0"), true},
    {1, 2, 0, true, R("C1 C2 K3 K1 K0"), 2, false, R("C1 C2 K2"), false},
    {0, 3, 1, true, R("C0 C3 K1"), 0, false, R("C0 C3 K3 K2 K0"), false},
    {1, 3, 0, true, R("C1 C3 K1 K0"), 3, true, R("C1 C3 K3 K2"), true},
    {2, 3, 2, true, R("C2 C3 K1 K0 K2"), 3, false, R("C2 C3 K3"), false},
};

/* The band between the previous level's line and this one, both crossing
 * two sides. */
struct PairRow {
  int pa, pb, ca, cb;
  Recipe ring;
};

constexpr PairRow pair_rows[] = {
    {0, 1, 0, 1, R("C0 C1 P1 P0")},       {0, 1, 0, 2, R("C0 C2 K2 P1 P0")},    {0, 1, 0, 3, R("C0 C3 K3 K2 P1 P0")},
    {0, 1, 1, 2, R("C1 C2 K3 K1 P0 P1")}, {0, 1, 1, 3, R("C1 C3 K1 P0 P1")},    {0, 1, 2, 3, R("C2 C3 K1 P0 P1 K2")},
    {0, 2, 0, 1, R("C0 C1 K2 P2 P0")},    {0, 2, 0, 2, R("C0 C2 P2 P0")},       {0, 2, 0, 3, R("C0 C3 K3 P2 P0")},
    {0, 2, 1, 2, R("C1 C2 P2 P0 K0")},    {0, 2, 2, 3, R("C2 C3 K1 P0 P2")},    {0, 3, 0, 1, R("C0 C1 K2 K3 P3 P0")},
    {0, 3, 0, 2, R("C0 C2 K3 P3 P0")},    {0, 3, 0, 3, R("C0 C3 P3 P0")},       {0, 3, 1, 2, R("C1 C2 K3 P3 P0 K0")},
    {0, 3, 1, 3, R("C1 C3 P3 P0 K0")},    {0, 3, 2, 3, R("C2 C3 P3 P0 K0 K2")}, {1, 2, 0, 1, R("C0 C1 P1 P2 K3 K1")},
    {1, 2, 0, 2, R("C0 C2 P2 P1 K0")},    {1, 2, 0, 3, R("C0 C3 K3 P2 P1 K0")}, {1, 2, 1, 2, R("C1 C2 P2 P1")},
    {1, 2, 1, 3, R("C1 C3 K3 P2 P1")},    {1, 2, 2, 3, R("C2 C3 K1 K0 P1 P2")}, {1, 3, 0, 1, R("C0 C1 P1 P3 K1")},
    {1, 3, 0, 3, R("C0 C3 P3 P1 K0")},    {1, 3, 1, 2, R("C1 C2 K3 P3 P1")},    {1, 3, 1, 3, R("C1 C3 P3 P1")},
    {1, 3, 2, 3, R("C2 C3 P3 P1 K2")},    {2, 3, 0, 1, R("C0 C1 K2 P2 P3 K1")}, {2, 3, 0, 2, R("C0 C2 P2 P3 K1")},
    {2, 3, 0, 3, R("C0 C3 P3 P2 K2 K0")}, {2, 3, 1, 2, R("C1 C2 P2 P3 K1 K0")}, {2, 3, 1, 3, R("C1 C3 P3 P2 K2")},
    {2, 3, 2, 3, R("C2 C3 P3 P2")},
};

/* Bands where either level is a saddle. prev: -1 none, a pair key, or
 * SADDLE; cur likewise; the saddle sums pick the resolution, and where two
 * rows share them the value of corner 0 (at or above this level, or not)
 * picks the corner pattern. ANY matches either. */
constexpr int SADDLE = 100;
constexpr int ANY = -1;
struct SaddleRow {
  int prev;
  int ptotal_high; /* previous saddle sum 2 or more: 1, below: 0, ANY */
  int cur;
  int total_high;
  int c0_high; /* corner 0 at or above this level: 1, below: 0, ANY */
  Recipe polys;
};

constexpr SaddleRow saddle_rows[] = {
    {-1, ANY, SADDLE, 1, 1, R("C3 C0 K1; C1 C2 K2")},
    {-1, ANY, SADDLE, 1, 0, R("C1 C2 K3 C3 C0 K0")},
    {-1, ANY, SADDLE, 0, 1, R("C0 C1 K2 C2 C3 K1")},
    {-1, ANY, SADDLE, 0, 0, R("C2 C3 K3; C0 C1 K0")},
    {pair_key(0, 1), ANY, SADDLE, 1, ANY, R("C1 C2 K3 C3 C0 P0 P1")},
    {pair_key(0, 1), ANY, SADDLE, 0, ANY, R("C2 C3 K3; C0 C1 P1 P0")},
    {pair_key(0, 3), ANY, SADDLE, 1, ANY, R("C3 C0 P0 P3; C1 C2 K2")},
    {pair_key(0, 3), ANY, SADDLE, 0, ANY, R("C0 C1 K2 C2 C3 P3 P0")},
    {pair_key(1, 2), ANY, SADDLE, 1, ANY, R("C3 C0 K1; C1 C2 P2 P1")},
    {pair_key(1, 2), ANY, SADDLE, 0, ANY, R("C0 C1 P1 P2 C2 C3 K1")},
    {pair_key(2, 3), ANY, SADDLE, 1, ANY, R("C1 C2 P2 P3 C3 C0 K0")},
    {pair_key(2, 3), ANY, SADDLE, 0, ANY, R("C2 C3 P3 P2; C0 C1 K0")},
    {SADDLE, 1, pair_key(0, 1), ANY, ANY, R("C0 C1 P1 P2 K3 P3 P0")},
    {SADDLE, 1, pair_key(0, 3), ANY, ANY, R("P1 P2 K2; C0 C3 P3 P0")},
    {SADDLE, 1, pair_key(1, 2), ANY, ANY, R("P3 P0 K1; C1 C2 P2 P1")},
    {SADDLE, 1, pair_key(2, 3), ANY, ANY, R("C2 C3 P3 P0 K0 P1 P2")},
    {SADDLE, 1, SADDLE, 1, 1, R("C3 C0 P0 P3; C1 C2 P2 P1")},
    {SADDLE, 1, SADDLE, 1, 0, R("C1 C2 P2 P1; C3 C0 P0 P3")},
    {SADDLE, 1, SADDLE, 0, ANY, R("C0 C1 P1 P2 C2 C3 P3 P0")},
    {SADDLE, 0, pair_key(0, 1), ANY, ANY, R("P2 P3 K3; C0 C1 P1 P0")},
    {SADDLE, 0, pair_key(0, 3), ANY, ANY, R("C0 C3 P3 P2 K2 P1 P0")},
    {SADDLE, 0, pair_key(1, 2), ANY, ANY, R("C1 C2 P2 P3 K1 P0 P1")},
    {SADDLE, 0, pair_key(2, 3), ANY, ANY, R("P0 P1 K0; C2 C3 P3 P2")},
    {SADDLE, 0, SADDLE, 1, ANY, R("C1 C2 P2 P3 C3 C0 P0 P1")},
    {SADDLE, 0, SADDLE, 0, 1, R("C0 C1 P1 P0; C2 C3 P3 P2")},
    {SADDLE, 0, SADDLE, 0, 0, R("C2 C3 P3 P2; C0 C1 P1 P0")},
};

/* The part of the cell above the level the engine last worked, closing the
 * top band of a cell (L0, L1 are that level's crossings, written C here). */
constexpr BelowRow above_rows[] = {
    {0, 1, 1, true, R("C0 C1 K2 K3 K1"), 0, false, R("C0 C1 K0"), false},
    {0, 2, 2, true, R("C0 C2 K2 K0"), 1, true, R("C0 C2 K3 K1"), false},
    {1, 2, 0, true, R("C1 C2 K3 K1 K0"), 2, false, R("C1 C2 K2"), false},
    {0, 3, 1, true, R("C0 C3 K1"), 0, false, R("C0 C3 K3 K2 K0"), false},
    {1, 3, 3, true, R("C1 C3 K3 K2"), 0, true, R("C1 C3 K1 K0"), false},
    {2, 3, 2, true, R("C2 C3 K1 K0 K2"), 3, false, R("C2 C3 K3"), false},
};
#undef R

/* Whole-cell and saddle closures. */
constexpr Recipe saddle_above_joined = recipe("C2 K3 C3 C0 K0 C1");   /* total >= 2, c0 above */
constexpr Recipe saddle_above_split = recipe("C2 K2 C1; C0 K1 C3");   /* total >= 2, c0 below */
constexpr Recipe saddle_above_corners = recipe("C2 K3 C3; C0 K0 C1"); /* total < 2, c2 below */
constexpr Recipe saddle_above_middle = recipe("C2 C3 K1 C0 C1 K2");   /* total < 2, c2 above */

/* Lookup tables built once from the rows. */
struct Tables {
  const BelowRow* below[16] = {};
  const BelowRow* above[16] = {};
  const PairRow* pair[16][16] = {};
  Tables() {
    for (const BelowRow& r : below_rows) below[pair_key(r.a, r.b)] = &r;
    for (const BelowRow& r : above_rows) above[pair_key(r.a, r.b)] = &r;
    for (const PairRow& r : pair_rows) pair[pair_key(r.pa, r.pb)][pair_key(r.ca, r.cb)] = &r;
  }
};
const Tables tables;

/* The points of a recipe. */
struct Points {
  Gpt c[4];
  Gpt p[4];
};

Gpt corner(int k) { return Gpt{state.cell.x[k], state.cell.y[k]}; }

/* Fills each polygon of a recipe. */
void fill_recipe(const Recipe& r, const Points& pts) {
  Gpt poly[MAX_TOKENS + 1];
  int n = 0;
  for (int i = 0; i < r.n; ++i) {
    const int t = r.tok[i];
    if (t == END) {
      if (n >= 3) {
        poly[n] = poly[0];
        CONT_draw_lines(CONT_FILL, n + 1, poly);
      }
      n = 0;
      continue;
    }
    if (t <= C3)
      poly[n++] = pts.c[t - C0];
    else if (t <= P3)
      poly[n++] = pts.p[t - P0];
    else
      poly[n++] = corner(t - K0);
  }
}

/* The crossing point of the current level on side s. */
Gpt crossing(int s, float d) {
  Gpt g{};
  const int a = side_from[s], b = side_to[s];
  int_xy(&g, state.cell.x[a], state.cell.y[a], state.cell.x[b], state.cell.y[b], d);
  return g;
}

/* The previous level's crossings, by side, from where the engine left them. */
void previous_points(Points* pts) {
  Cell& c = state.cell;
  if (c.cross[6] >= 0) {
    if (c.ptotal >= 2.0f) {
      pts->p[1] = c.pt[10];
      pts->p[2] = c.pt[11];
      pts->p[3] = c.pt[12];
      pts->p[0] = c.pt[13];
    } else {
      pts->p[0] = c.pt[10];
      pts->p[1] = c.pt[11];
      pts->p[2] = c.pt[12];
      pts->p[3] = c.pt[13];
    }
  } else if (c.cross[4] >= 0 && c.cross[5] >= 0) {
    pts->p[c.cross[4]] = c.pt[10];
    pts->p[c.cross[5]] = c.pt[11];
  }
}

int level_kind(const int* list) {
  if (list[0] < 0) return -1;
  if (list[2] >= 0) return SADDLE;
  return pair_key(list[0], list[1]);
}

bool matches(int want, int got) { return want == ANY || want == got; }

/* Fills the band below this level and above the previous one. */
void fill_band(float level, const Points& pts) {
  Cell& c = state.cell;
  const int cur = level_kind(c.cross);
  const int prev = c.cross[4] < 0 ? -1 : level_kind(c.cross + 4);
  if (cur == -1) return;
  if (prev == -1 && cur != SADDLE) {
    const BelowRow* r = tables.below[cur];
    if (!r) return;
    const float z1 = c.z[r->corner1], z2 = c.z[r->corner2];
    if (r->strict1 ? level > z1 : level >= z1)
      fill_recipe(r->first, pts);
    else if (r->strict2 ? level > z2 : level >= z2)
      fill_recipe(r->second, pts);
    else if (r->clear_list)
      c.cross[0] = c.cross[1] = -1;
    return;
  }
  if (prev != SADDLE && cur != SADDLE) {
    if (const PairRow* r = tables.pair[prev][cur]) fill_recipe(r->ring, pts);
    return;
  }
  const int th = c.total >= 2.0f ? 1 : 0;
  const int ph = c.ptotal >= 2.0f ? 1 : 0;
  const int c0 = c.z[0] >= level ? 1 : 0;
  for (const SaddleRow& r : saddle_rows)
    if (r.prev == prev && r.cur == cur && matches(r.ptotal_high, prev == SADDLE ? ph : ANY) &&
        matches(r.total_high, cur == SADDLE ? th : ANY) && matches(r.c0_high, c0)) {
      fill_recipe(r.polys, pts);
      return;
    }
}

} // namespace

int compute_dz(float level) {
  Cell& c = state.cell;
  for (int s = 0; s < 4; ++s) {
    const float za = c.z[side_from[s]], zb = c.z[side_to[s]];
    if (zb == za) {
      c.dz[s] = -3.0f;
      continue;
    }
    c.dz[s] = (level - za) / (zb - za);
    if (c.z[side_mark[s]] == level)
      c.dz[s] = -1.0f;
    else if (c.dz[s] < 0.0f || c.dz[s] > 1.0f)
      c.dz[s] = -2.0f;
  }
  c.numsides = 0;
  for (float d : c.dz)
    if (d >= 0.0f) ++c.numsides;
  /* A crossing exactly at a corner that another crossed side also reaches
   * counts once. */
  constexpr float drop_at[4] = {0.0f, 1.0f, 0.0f, 1.0f};
  int n = 0;
  for (int s = 0; s < 4; ++s) {
    if (!(c.dz[s] >= 0.0f)) continue;
    if (c.numsides == 3 && c.dz[s] == drop_at[s]) continue;
    c.cross[n++] = s;
  }
  for (int i = n; i < 4; ++i) c.cross[i] = -1;
  c.ptotal = c.total;
  c.total = ((2.0f - c.dz[2]) - c.dz[3]) + (c.dz[0] + c.dz[1]);
  if (c.numsides == 3) {
    c.numsides = 2;
    c.cross[2] = -1;
  } else if (c.numsides == 1) {
    c.numsides = 0;
    c.cross[0] = -1;
  }
  return 0;
}

int compute_lines(float level) {
  Cell& c = state.cell;
  const int type = state.cont_type;
  const bool draw = c.cross[4] >= -1;
  const bool lines = is_line(type) && !state.walk_lines;
  if (lines && draw)
    for (int s = 0; s < 4; ++s) {
      const int a = side_from[s], b = side_to[s];
      if (c.dz[s] != -3.0f || c.z[a] != level) continue;
      c.pt[0] = corner(a);
      c.pt[1] = corner(b);
      draw_segment(c.pt[0], c.pt[1]);
    }
  Points pts{};
  if (c.numsides == 2) {
    const int s0 = c.cross[0], s1 = c.cross[1];
    if (s0 < 0 || s1 < 0) return 0;
    pts.c[s0] = crossing(s0, c.dz[s0]);
    pts.c[s1] = crossing(s1, c.dz[s1]);
    if (draw && is_fill(type)) {
      previous_points(&pts);
      fill_band(level, pts);
    }
    c.pt[0] = pts.c[s0];
    c.pt[1] = pts.c[s1];
    if (draw && lines) draw_segment(c.pt[0], c.pt[1]);
  } else if (c.numsides == 4) {
    for (int s = 0; s < 4; ++s) pts.c[s] = crossing(s, c.dz[s]);
    if (draw && is_fill(type)) {
      previous_points(&pts);
      fill_band(level, pts);
    }
    const Gpt B = pts.c[0], W = pts.c[1], T = pts.c[2], R = pts.c[3];
    if (c.total >= 2.0f) {
      c.pt[0] = W;
      c.pt[1] = T;
      c.pt[12] = R;
      c.pt[13] = B;
    } else {
      c.pt[0] = B;
      c.pt[1] = W;
      c.pt[12] = T;
      c.pt[13] = R;
    }
    if (draw && lines) {
      if (c.total >= 2.0f) {
        draw_segment(R, B);
        draw_segment(T, W);
      } else {
        draw_segment(T, R);
        draw_segment(B, W);
      }
    }
  }
  return 0;
}

namespace {

constexpr float LATLON_SEAM = 360.0f;
constexpr float MERC_SEAM = 400.3155517578125f;
constexpr double MERC_SEAM_D = 400.31555892808814;
constexpr float MERC_HALF = 200.16029273816693f;
constexpr float MOLL_HALF = 127.426f;
constexpr float MOLL_FULL = 254.852f;
constexpr float MOLL_R = 63.713f;
constexpr int PROJ_LATLON = 2, PROJ_MERC = 3, PROJ_LAMBERT = 4, PROJ_MOLL = 7;

float moll_width(float full, float y) {
  const float r = 1.0f - (y / MOLL_R) * (y / MOLL_R);
  return full * std::sqrt(std::max(r, 0.0f));
}

void emit_line(float x0, float y0, float x1, float y1) {
  const Gpt seg[2] = {{x0, y0}, {x1, y1}};
  state.kernel.line(2, seg);
}

} // namespace

int CONT_draw_lines(int type, int num_pt, Gpt* pts) {
  const int off = state.cell.con_off;
  if (off >= 0 && off <= CONT_MAX_LEVELS && state.fill_attrib[off].color == NO_COLOUR) return -1;
  if (!pts || num_pt < 2) return 0;
  const int proj = state.proj != IMISS ? state.proj : MAP_get_proj();
  if (is_fill(type) && num_pt >= 3) {
    bool split = false;
    const float jump = proj == PROJ_MOLL ? 10.0f : 50.0f;
    if (proj == PROJ_LATLON || proj == PROJ_MERC || proj == PROJ_LAMBERT || proj == PROJ_MOLL)
      for (int i = 1; i < num_pt && !split; ++i)
        if (std::fabs(pts[i].x - pts[i - 1].x) > jump) split = true;
    if (!split && (proj == PROJ_LATLON || proj == PROJ_MERC)) {
      float lo = proj == PROJ_LATLON ? -180.0f : -MERC_HALF, hi = -lo;
      if (state.x_min != MISS) lo = state.x_min, hi = state.x_max;
      for (int i = 0; i < num_pt && !split; ++i)
        if (pts[i].x < lo || pts[i].x > hi) split = true;
    }
    if (!split) {
      state.kernel.fill(num_pt, pts);
    } else if (proj == PROJ_MOLL) {
      for (int i = 0; i < num_pt; ++i)
        if (pts[i].x < 0.0f) pts[i].x += 2.0f * moll_width(MOLL_HALF, pts[i].y);
      state.kernel.fill(num_pt, pts);
      for (int i = 0; i < num_pt; ++i) pts[i].x -= 2.0f * moll_width(MOLL_HALF, pts[i].y);
      state.kernel.fill(num_pt, pts);
    } else if (proj == PROJ_LATLON || proj == PROJ_MERC) {
      const float seam = proj == PROJ_LATLON ? LATLON_SEAM : MERC_SEAM;
      for (int i = 0; i < num_pt; ++i)
        if (pts[i].x < -150.0f) pts[i].x += seam;
      state.kernel.fill(num_pt, pts);
      for (int i = 0; i < num_pt; ++i)
        if (pts[i].x > 150.0f) pts[i].x -= seam;
      state.kernel.fill(num_pt, pts);
    }
    /* Lambert conformal: a polygon across the cut is dropped. */
  }
  if (is_line(type)) {
    const float x0 = pts[0].x, y0 = pts[0].y, x1 = pts[1].x, y1 = pts[1].y;
    const float d = x1 - x0;
    if (proj == PROJ_MOLL) {
      const float w = moll_width(MOLL_FULL, y0);
      if (x0 < 0.0f && x1 > 0.0f && d > 10.0f) {
        emit_line(x0 + w, y0, x1, y1);
        emit_line(x0, y0, x1 - w, y1);
      } else if (x0 > 0.0f && x1 < 0.0f && -d > 10.0f) {
        emit_line(x0, y0, x1 + w, y1);
        emit_line(x0 - w, y0, x1, y1);
      } else {
        emit_line(x0, y0, x1, y1);
      }
    } else if (proj == PROJ_LATLON || proj == PROJ_MERC) {
      const float s = proj == PROJ_LATLON ? LATLON_SEAM : MERC_SEAM;
      if (d < -50.0f) {
        emit_line(x0, y0, x1 + s, y1);
        emit_line(x0 - s, y0, x1, y1);
      } else if (d > 50.0f) {
        emit_line(x0, y0, x1 - s, y1);
        emit_line(x0 + s, y0, x1, y1);
      } else {
        emit_line(x0, y0, x1, y1);
      }
    } else if (proj == PROJ_LAMBERT) {
      if (std::fabs(d) < 50.0f) emit_line(x0, y0, x1, y1);
    } else {
      emit_line(x0, y0, x1, y1);
    }
  }
  return 0;
}

int int_xy(Gpt* pt, float x1, float y1, float x2, float y2, float d) {
  if (!pt) return 0;
  const int proj = state.proj != IMISS ? state.proj : MAP_get_proj();
  if (proj == PROJ_LATLON) {
    if (x1 - x2 < -50.0f) x1 += LATLON_SEAM;
    if (x1 - x2 > 50.0f) x1 -= LATLON_SEAM;
  } else if (proj == PROJ_MERC) {
    if (x1 - x2 < -50.0f) x1 = static_cast<float>(x1 + MERC_SEAM_D);
    if (x1 - x2 > 50.0f) x1 = static_cast<float>(x1 - MERC_SEAM_D);
  } else if (proj == PROJ_MOLL) {
    if (x1 < 0.0f && x2 > 0.0f && x2 - x1 > 10.0f) x1 += moll_width(MOLL_FULL, y1);
    if (x1 > 0.0f && x2 < 0.0f && x1 - x2 > 10.0f) x2 += moll_width(MOLL_FULL, y2);
  }
  pt->x = (x2 - x1) * d + x1;
  pt->y = (y2 - y1) * d + y1;
  return 0;
}

/* ------------------------------------------------------------------------ */
/* Grid walk and printed values                                             */
/* ------------------------------------------------------------------------ */

namespace {

/* The cell that "gridloc" traces, -1 when none. */
struct Trace {
  int col = -1, row = -1;
};

Trace read_trace() {
  Trace t;
  if (const char* env = std::getenv("gridloc")) {
    if (std::sscanf(env, "%d,%d", &t.col, &t.row) != 2) t = Trace{};
  }
  return t;
}

void trace_level(const char* tag, float level) {
  const Cell& c = state.cell;
  std::printf("%s-val: %f side: %.2f %.2f %.2f %.2f nside: %d cross: %d %d %d %d tside: %.2f\n", tag,
              static_cast<double>(level), static_cast<double>(c.dz[2]), static_cast<double>(c.dz[3]),
              static_cast<double>(c.dz[0]), static_cast<double>(c.dz[1]), c.numsides, c.cross[0], c.cross[1],
              c.cross[2], c.cross[3], static_cast<double>(c.total));
}

void work_level(float level, const char* tag, bool traced) {
  if (traced) trace_level(tag, level);
  compute_dz(level);
  compute_lines(level);
}

/* Closes the top band of a cell: the part above `level`, from the crossings
 * that the engine left for it. */
void close_top(float level) {
  Cell& c = state.cell;
  Points pts{};
  if (c.numsides == 2 && c.cross[0] >= 0 && c.cross[1] >= 0) {
    const BelowRow* r = tables.above[pair_key(c.cross[0], c.cross[1])];
    if (!r) return;
    pts.c[c.cross[0]] = c.pt[0];
    pts.c[c.cross[1]] = c.pt[1];
    const float z1 = c.z[r->corner1], z2 = c.z[r->corner2];
    if (r->strict1 ? z1 > level : z1 >= level)
      fill_recipe(r->first, pts);
    else if (r->strict2 ? z2 > level : z2 >= level)
      fill_recipe(r->second, pts);
  } else if (c.numsides == 4) {
    for (int s = 0; s < 4; ++s) pts.c[s] = crossing(s, c.dz[s]);
    if (c.total >= 2.0f)
      fill_recipe(c.z[0] >= level && c.dz[0] != 0.0f ? saddle_above_joined : saddle_above_split, pts);
    else
      fill_recipe(c.z[2] <= level ? saddle_above_corners : saddle_above_middle, pts);
  }
}

/* Fill colour and pattern of band entry k. */
void band_fill(int k) {
  const Gattribs& e = state.fill_attrib[k];
  pen_fill_colour(e.color);
  if (e.fill_pat != IMISS)
    pen_fill_style(e.fill_pat);
  else if (state.ln_cont_attr.fill_pat != IMISS)
    pen_fill_style(state.ln_cont_attr.fill_pat);
}

/* Line colour, type and width of a band whose top is nlevel. */
void band_line(int k, float nlevel) {
  const Gattribs& e = state.fill_attrib[k];
  const Gattribs& ln = state.ln_cont_attr;
  if (ln.color == NO_COLOUR || ln.color == IMISS) {
    if (e.color != NO_COLOUR) pen_line_colour(e.color);
  }
  int type;
  if (e.style != IMISS) {
    type = e.style;
  } else if (state.dash == -1) {
    const bool below = (state.base != MISS && state.base > nlevel) || nlevel < 0.0f;
    type = below ? (ln.style != IMISS ? ln.style : 2) : 1;
  } else {
    type = state.dash == 1 ? 2 : 1;
    if (ln.style != IMISS) type = ln.style;
  }
  pen_line_type(type);
  pen_line_width(e.width != MISS ? e.width : ln.width != MISS ? ln.width : 0.0f);
}

/* One walk of a grid: the levels and what decides whether a cell is
 * contoured, so that a cell can also ask it of a neighbour. */
struct Walk {
  const float* g = nullptr;
  int nx = 0, ny = 0;
  int type = IMISS;
  bool explicit_levels = false;
  int lines = 0;           /* levels with a line: 0 to lines-1 */
  double lo = 0, step = 0; /* automatic level m is lo + m * step */
  int first_off = 0;       /* fill entry of automatic level 0 */
  int max_lines = 10000;   /* cell-span limit of automatic levels, in intervals */

  float level(int m) const { return explicit_levels ? state.cont_value[m] : static_cast<float>(lo + step * m); }
  /* Stored index of the grid point at column i and walk row j. */
  size_t index(int i, int j) const {
    return static_cast<size_t>(ny - 1 - j) * static_cast<size_t>(nx) + static_cast<size_t>(i);
  }
};

/* The corner values of the cell at column i and walk row j, when the walk
 * contours that cell: inside the grid, every corner usable and shown, and
 * with automatic levels no more intervals across it than the limit. */
bool cell_values(const Walk& w, int i, int j, float z[4]) {
  if (i < 0 || j < 0 || i > w.nx - 2 || j > w.ny - 2) return false;
  const size_t at[4] = {w.index(i, j), w.index(i + 1, j), w.index(i, j + 1), w.index(i + 1, j + 1)};
  for (int k = 0; k < 4; ++k) {
    z[k] = w.g[at[k]];
    if (!usable(z[k])) return false;
    if (state.grdx && (is_hidden(state.grdx[at[k]]) || is_hidden(state.grdy[at[k]]))) return false;
  }
  if (!w.explicit_levels) {
    const float zmax = std::max(std::max(z[0], z[1]), std::max(z[2], z[3]));
    const float zmin = std::min(std::min(z[0], z[1]), std::min(z[2], z[3]));
    if (!((zmax - zmin) / state.intrvl <= static_cast<float>(w.max_lines))) return false;
  }
  return true;
}

/* Where a level crosses side s of the loaded cell, as the fraction of the
 * side from its first corner; -1 when it does not. A value equal to the
 * level counts as above it, as it does in the bands, so that neighbouring
 * cells agree on every side they share. */
float side_fraction(int s, float level) {
  const float za = state.cell.z[side_from[s]], zb = state.cell.z[side_to[s]];
  if ((za >= level) == (zb >= level)) return -1.0f;
  return (level - za) / (zb - za);
}

/* The corner at which a crossing lies, or -1 when it lies inside its side. */
int crossing_corner(int s, float d) { return d == 0.0f ? side_from[s] : d == 1.0f ? side_to[s] : -1; }

/* Whether the neighbour at column i, walk row j, is contoured and has both
 * corners a and b below the level: it then draws the side it shares with
 * the loaded cell as its own line. */
bool neighbour_draws_side(const Walk& w, int i, int j, int a, int b, float level) {
  float z[4];
  return cell_values(w, i, j, z) && z[a] < level && z[b] < level;
}

/* One segment of a level in the loaded cell, between its crossings on
 * sides sa and sb. A line that only touches a corner is no segment. A
 * segment along a side of the cell lies on the level's edge between two
 * cells and could come from both: the one the walk reaches later (below,
 * to the right) draws it. */
void level_segment(const Walk& w, int i, int j, float level, int sa, int sb) {
  const Cell& c = state.cell;
  const int ka = crossing_corner(sa, c.dz[sa]), kb = crossing_corner(sb, c.dz[sb]);
  if (ka >= 0 && ka == kb) return;
  if (ka >= 0 && kb >= 0) {
    const int lo = std::min(ka, kb), hi = std::max(ka, kb);
    if (lo == 0 && hi == 1 && neighbour_draws_side(w, i, j - 1, 0, 1, level)) return;
    if (lo == 1 && hi == 3 && neighbour_draws_side(w, i + 1, j, 1, 3, level)) return;
  }
  const Gpt a = crossing(sa, c.dz[sa]), b = crossing(sb, c.dz[sb]);
  if (a.x == b.x && a.y == b.y) return;
  draw_segment(a, b);
}

/* The line of one level in the loaded cell: one segment, or two in a
 * saddle, which the saddle sum resolves as the bands do. The crossing
 * state is left in the cell for the trace. */
void level_lines(const Walk& w, int i, int j, float level) {
  Cell& c = state.cell;
  int n = 0;
  for (int s = 0; s < 4; ++s) {
    c.dz[s] = side_fraction(s, level);
    if (c.dz[s] >= 0.0f) c.cross[n++] = s;
  }
  for (int k = n; k < 4; ++k) c.cross[k] = -1;
  c.numsides = n;
  c.total = ((2.0f - c.dz[2]) - c.dz[3]) + (c.dz[0] + c.dz[1]);
  if (n == 2) {
    level_segment(w, i, j, level, c.cross[0], c.cross[1]);
  } else if (n == 4) {
    if (c.total >= 2.0f) {
      level_segment(w, i, j, level, 3, 0);
      level_segment(w, i, j, level, 2, 1);
    } else {
      level_segment(w, i, j, level, 2, 3);
      level_segment(w, i, j, level, 0, 1);
    }
  }
}

/* The contour lines of the loaded cell, level by level, in the attributes
 * of each level's fill entry. Lines and lines over fill draw the same
 * lines; over fill a line goes with the band below it, so a band drawn in
 * no colour also hides the line on its top. */
void cell_lines(const Walk& w, int i, int j, float zmin, float zmax, bool traced) {
  Cell& c = state.cell;
  int m = 0;
  if (w.explicit_levels) {
    m = static_cast<int>(std::upper_bound(state.cont_value, state.cont_value + w.lines, zmin) - state.cont_value);
  } else {
    const double below = std::floor((static_cast<double>(zmin) - w.lo) / w.step) - 1.0;
    if (below > 0) m = static_cast<int>(std::min(below, static_cast<double>(w.lines)));
  }
  for (; m < w.lines; ++m) {
    const float level = w.level(m);
    if (level > zmax) break;
    if (!(level > zmin)) continue;
    if (state.min_cut != MISS && level < state.min_cut) continue;
    if (state.max_cut != MISS && level > state.max_cut) break;
    const int first = w.explicit_levels ? 0 : w.first_off;
    const int entry = static_cast<int>((first + static_cast<long>(m)) % state.color_num);
    c.con_off = w.type == CONT_LINES_FILL && m > 0 ? (entry + state.color_num - 1) % state.color_num : entry;
    band_line(entry, level);
    level_lines(w, i, j, level);
    if (traced) {
      std::printf("Loop %d\n", m);
      trace_level("CC", level);
    }
  }
}

void print_values(const GRD_report* grid, Gattribs lab_attr, double text_height) {
  const int nx = grid->domain.nx, ny = grid->domain.ny;
  GPH_text_align(state.x_off < 0.0f ? 3 : state.x_off > 0.0f ? 1 : 2, 3);
  gset_text_width(0.0f);
  const float vert = state.grdx ? MAP_get_vert() : state.vert_size;
  const bool banded = state.intrvl != MISS || has_levels();
  const int xs = std::max(state.x_skip, 1), ys = std::max(state.y_skip, 1);
  for (int j = ny - 1; j >= 0; --j) {
    if (j % ys != 0) continue;
    for (int i = 0; i < nx; ++i) {
      if (i % xs != 0) continue;
      const size_t at = static_cast<size_t>(ny - 1 - j) * nx + i;
      const float v = grid->grid[at];
      float px = static_cast<float>(i), py = static_cast<float>(j);
      if (state.grdx) {
        px = state.grdx[at];
        py = state.grdy[at];
      }
      if (is_hidden(px) || is_hidden(py) || !usable(v)) continue;
      Gpt pos{px + vert * state.x_off, py + vert * state.y_off};
      if (banded) {
        Gattribs band;
        CONT_get_fill_attrib(v, &band);
        lab_attr = band;
        if (lab_attr.width == MISS) lab_attr.width = 0.0f;
        GPH_text_attr(&lab_attr, static_cast<float>(text_height));
      }
      if (lab_attr.color == NO_COLOUR) continue;
      char text[64];
      if (state.num_form[0])
        copy_bounded(text, sizeof text, FMT_print_float("CONT_draw_contour", state.num_form, "%.1f", v).c_str());
      else
        set_num(text, "1.1.0", v);
      state.kernel.text(&pos, text);
    }
  }
}

/* The bands of the loaded cell from the bottom up (colour fills): each
 * band the part of the cell between the line the engine last worked and
 * the band's top, the top band closed over the rest of the cell. */
void fill_cell(const Walk& w, int num_cont, float zmin, float zmax, bool traced) {
  Cell& c = state.cell;
  c.cross[0] = c.cross[1] = c.cross[2] = c.cross[3] = -1;
  c.cross[4] = c.cross[5] = c.cross[6] = c.cross[7] = -2;
  float worked = MISS; /* the level the engine last worked in this cell */

  /* Bands wholly below the cell are passed over at once. */
  int k0 = 0;
  if (!w.explicit_levels) {
    const double below = std::floor((static_cast<double>(zmin) - w.lo) / w.step) - 1.0;
    if (below > 0) k0 = static_cast<int>(std::min(below, static_cast<double>(num_cont)));
  } else if (!traced && num_cont > 1 && state.cont_value[1] < zmin) {
    /* The first band that reaches the cell: every level before it lies
     * strictly below the cell, where it would leave the fresh state. */
    const float* top = std::upper_bound(state.cont_value + 1, state.cont_value + num_cont, zmin,
                                        [](float z, float v) { return z <= v; });
    k0 = static_cast<int>(top - state.cont_value) - 1;
  }
  c.con_off = static_cast<int>(((w.explicit_levels ? 0 : w.first_off) + static_cast<long>(k0)) % state.color_num);
  for (int k = k0; k < num_cont; ++k) {
    if (traced) std::printf("Loop %d\n", k);
    float clevel, nlevel;
    if (w.explicit_levels) {
      if (state.cont_value[k] == MISS) break;
      clevel = state.cont_value[k];
      const bool last = k + 1 >= num_cont || state.cont_value[k + 1] == MISS;
      state.intrvl = last ? CONT_OPEN_TOP : state.cont_value[k + 1] - clevel;
      nlevel = last ? clevel + state.intrvl : state.cont_value[k + 1];
      if (k == 0) {
        const int keep = c.cross[4];
        c.cross[4] = -2;
        work_level(clevel, "AA", traced);
        c.cross[4] = keep;
        worked = clevel;
      }
    } else {
      clevel = w.level(k);
      nlevel = w.level(k + 1);
    }
    if (k > k0) c.con_off = (c.con_off + 1) % state.color_num;
    if (zmin > nlevel) continue;

    float level = clevel;
    if (state.min_cut != MISS && state.min_cut > clevel) {
      if (nlevel < state.min_cut) continue;
      level = state.min_cut;
      const int keep = c.cross[4];
      c.cross[4] = -2;
      work_level(level, "BB", traced);
      c.cross[4] = keep;
      worked = level;
    }
    bool top_cut = false;
    if (state.max_cut != MISS && state.max_cut < nlevel) {
      if (state.max_cut > clevel) {
        nlevel = state.max_cut;
        top_cut = true;
      } else {
        break;
      }
    }

    c.cross[4] = c.cross[0];
    c.cross[5] = c.cross[1];
    c.cross[6] = c.cross[2];
    c.cross[7] = c.cross[3];
    c.pt[10] = c.pt[0];
    c.pt[11] = c.pt[1];
    band_fill(c.con_off);

    if (nlevel >= zmax) {
      if (zmin >= level) {
        Gpt cellpoly[5] = {corner(0), corner(1), corner(3), corner(2), corner(0)};
        CONT_draw_lines(CONT_FILL, 5, cellpoly);
        break;
      }
      /* The closure starts from this cell's own line at `level`: work it
       * here when no band of this cell has. */
      if (worked != level) {
        c.cross[4] = -2;
        work_level(level, "CC", traced);
      }
      close_top(level);
      break;
    }
    work_level(nlevel, "CC", traced);
    worked = nlevel;
    if (top_cut) break;
  }
}

} // namespace

int CONT_draw_contour(GRD_report* grid) {
  if (!grid || !grid->grid) return 0;
  const int nx = grid->domain.nx, ny = grid->domain.ny;
  if (nx <= 0 || ny <= 0) return 0;
  state.pen = Pen{};

  Domain map;
  MAP_get_domain(&map);
  if (!DOM_comp(&grid->domain, &map)) {
    if (GRD_proj_XY(grid, &map, &state.grdx, &state.grdy) != 0) {
      MESS_print(M_warn, "CONT_draw_contours: Unable to allocate grid arrays\n");
      return -1;
    }
  } else if (state.grdx) {
    std::free(state.grdx);
    std::free(state.grdy);
    state.grdx = state.grdy = nullptr;
  }

  Glim view{};
  PLT_get_view(&view);
  CONT_set_fill_colors(nullptr, 0);
  if (state.grid_max == MISS) {
    usable_range(grid, &state.grid_max, &state.grid_min);
    CONT_set_cont_ext(grid);
  }

  const char* white_black = gget_inverse() ? "black" : "white";
  Gattribs& ln = state.ln_cont_attr;
  ATTRIB_init(&ln);
  ATTRIB_get("color_cont", white_black, &ln);
  CONT_format_decode_attrib(&ln);
  if (state.fill_pat != IMISS) ln.fill_pat = state.fill_pat;

  Gattribs lab = ln;
  if (RES_get("color_label")) {
    ATTRIB_get("color_label", white_black, &lab);
  } else {
    const char* cc = RES_get("color_cont");
    ATTRIB_get("color_label", cc && *cc && stricmp(cc, "off") != 0 ? cc : white_black, &lab);
  }

  if (!state.grdx) {
    const Glim win{0.0f, static_cast<float>(std::max(nx - 1, 1)), 0.0f, static_cast<float>(std::max(ny - 1, 1))};
    gset_vp(3, &view);
    gset_win(3, &win);
    GPH_trans(3);
    state.x_min = 0.0f;
    state.x_max = static_cast<float>(nx - 1);
    /* A single row still gets a unit of text height. */
    state.vert_size = static_cast<float>(std::max(ny - 1, 1));
  } else {
    state.x_min = MISS;
    state.vert_size = MAP_get_vert();
  }
  const double text_height = static_cast<double>(state.scale) * (static_cast<double>(state.vert_size) * 0.015);
  GPH_text_align(2, 3);
  GPH_text_attr(&lab, static_cast<float>(text_height));

  const int type = state.cont_type;
  if (is_line(type) && ln.color != NO_COLOUR && ln.color >= 0) pen_line_colour(ln.color);
  GPH_line_attr(&ln);
  if (state.dash == 1) pen_line_type(2);
  pen_fill_style(0);

  if (type == CONT_VALUES) {
    if (lab.color != NO_COLOUR) {
      print_values(grid, lab, text_height);
      return 0;
    }
    /* Printed values with the label colour off: nothing to draw. */
    return 0;
  }
  if (!is_line(type) && !is_fill(type)) return 0;
  if (nx < 2 || ny < 2 || state.color_num <= 0 || state.color_num == IMISS) return 0;

  Walk w;
  w.g = grid->grid;
  w.nx = nx;
  w.ny = ny;
  w.type = type;
  w.explicit_levels = has_levels();
  const int num_cont = std::clamp(state.num_cont, 0, w.explicit_levels ? CONT_MAX_LEVELS : MAX_BANDS);
  if (!w.explicit_levels &&
      (state.intrvl == MISS || !(state.intrvl > 0.0f) || !std::isfinite(state.intrvl) || !std::isfinite(state.conlo)))
    return 0;
  if (num_cont <= 0) return 0;
  if (state.max_line_fact < 0)
    w.max_lines = state.color_num * -state.max_line_fact;
  else if (state.max_line_fact > 0)
    w.max_lines = state.max_line_fact;

  /* Automatic levels are conlo + k * interval, formed alike in every cell so
   * that neighbouring cells meet on the same crossings; the lines run from
   * the lowest level to the top of the highest band. */
  w.lo = state.conlo;
  w.step = state.intrvl;
  if (w.explicit_levels) {
    while (w.lines < num_cont && state.cont_value[w.lines] != MISS) ++w.lines;
  } else {
    w.lines = num_cont + 1;
    const float cb = state.cbase == MISS ? state.conlo : state.cbase;
    const double q = std::floor(static_cast<double>((state.conlo - cb) / state.intrvl) + 0.01);
    double m = std::isfinite(q) ? std::fmod(q, static_cast<double>(state.color_num)) : 0.0;
    if (m < 0) m += state.color_num;
    w.first_off = std::clamp(static_cast<int>(m), 0, state.color_num - 1);
  }
  const Trace trace = read_trace();
  Cell& c = state.cell;
  state.proj = MAP_get_proj();
  state.walk_lines = true;
  struct WalkReset {
    ~WalkReset() {
      state.proj = IMISS;
      state.walk_lines = false;
    }
  } walk_reset;

  for (int j = ny - 2; j >= 0; --j) {
    for (int i = 0; i < nx - 1; ++i) {
      if (!cell_values(w, i, j, c.z)) continue;
      const size_t at[4] = {w.index(i, j), w.index(i + 1, j), w.index(i, j + 1), w.index(i + 1, j + 1)};
      for (int k = 0; k < 4; ++k) {
        if (state.grdx) {
          c.x[k] = state.grdx[at[k]];
          c.y[k] = state.grdy[at[k]];
        } else {
          c.x[k] = static_cast<float>(i + (k & 1));
          c.y[k] = static_cast<float>(j + (k >> 1));
        }
      }
      const float zmax = std::max(std::max(c.z[0], c.z[1]), std::max(c.z[2], c.z[3]));
      const float zmin = std::min(std::min(c.z[0], c.z[1]), std::min(c.z[2], c.z[3]));
      if (type == CONT_LINES && zmax == zmin) continue;
      if (state.min_cut != MISS && state.min_cut > zmax) continue;
      const bool traced = i == trace.col && j == trace.row;
      if (traced)
        std::printf("GRIDPOINT: %f %f %f %f\n", static_cast<double>(c.z[0]), static_cast<double>(c.z[1]),
                    static_cast<double>(c.z[2]), static_cast<double>(c.z[3]));
      if (is_fill(type)) fill_cell(w, num_cont, zmin, zmax, traced);
      if (is_line(type)) cell_lines(w, i, j, zmin, zmax, traced);
    }
  }
  return 0;
}

/* ------------------------------------------------------------------------ */
/* Draw entry, labels and highs and lows                                    */
/* ------------------------------------------------------------------------ */

namespace {

constexpr float LABEL_SIZE = 0.015f; /* label height per unit of vertical extent */
constexpr float MARK_SIZE = 0.02f;   /* "H" and "L" height likewise */
constexpr int NO_SEAM = -1;          /* a projection code without a seam */
constexpr const char* LABEL_FORM = "1.2.0";
constexpr const char* EXTREMUM_FORM = "3.3.0";
constexpr const char* BAR_FORM = "2.2.0";
constexpr float FLASH_WAIT = 0.5f; /* seconds between colour changes */
constexpr int FLASH_TIMES = 4;
constexpr int FLAG_PLOT_NONE = CONT_NONE;
constexpr int PART_DATA = 7; /* plot-part switch of the data */

/* The text attributes of labels and extrema: for lines, "color_label" over
 * the colour of the contours (or the display's foreground when they have
 * none); for fills, "color_clabel" over black. */
struct LabelAttribs {
  Gattribs line{};
  Gattribs fill{};
};

LabelAttribs label_attribs() {
  LabelAttribs a;
  const char* white_black = gget_inverse() ? "black" : "white";
  ATTRIB_init(&a.line);
  const char* cc = RES_get("color_cont");
  if (RES_get("color_label") || !cc || !*cc || stricmp(cc, "off") == 0)
    ATTRIB_get("color_label", white_black, &a.line);
  else
    ATTRIB_get("color_label", cc, &a.line);
  CONT_format_decode_attrib(&a.line);
  ATTRIB_init(&a.fill);
  ATTRIB_get("color_clabel", "black", &a.fill);
  CONT_format_decode_attrib(&a.fill);
  return a;
}

bool height_set(const Gattribs& a) { return a.height != MISS && a.height > 0.0f; }

/* Selects the text attributes of labels for the current type; the size a
 * label takes, or 0 when labels are not drawn (a label colour of -1). */
double apply_label_text(const LabelAttribs& a) {
  const Gattribs& use = is_fill(state.cont_type) ? a.fill : a.line;
  if (use.color == NO_COLOUR) return 0.0;
  const double base_size = static_cast<double>(state.scale) * static_cast<double>(state.vert_size);
  GPH_text_attr(&use, static_cast<float>(base_size * LABEL_SIZE));
  const double size = base_size * LABEL_SIZE;
  return height_set(use) ? size * use.height : size;
}

void set_up(float x, float y) {
  const Gpt up{x, y};
  gset_char_up_vec(&up);
}

/* The text of level index k: its bar text, or the number. */
std::string level_text(int k, float level, const char* form) {
  if (k >= 0 && k < CONT_MAX_LEVELS && state.cont_label[k][0]) return state.cont_label[k];
  char num[SET_NUM_LEN];
  return set_num(num, form, level);
}

void draw_text(float x, float y, const std::string& text) {
  const Gpt pos{x, y};
  state.kernel.text(&pos, text.c_str());
}

/* Position of stored point `at` at column i and walk row j; false when the
 * projection hides it. */
bool point_at(size_t at, int i, int j, float* x, float* y) {
  if (state.grdx) {
    *x = state.grdx[at];
    *y = state.grdy[at];
    return !is_hidden(*x) && !is_hidden(*y);
  }
  *x = static_cast<float>(i);
  *y = static_cast<float>(j);
  return true;
}

/* The first automatic label level: the label base moved onto the first
 * step of the label lattice above the lowest level. */
double first_label_level(double step) {
  double level = state.base != MISS ? state.base : state.conlo;
  if (state.base == MISS) return level;
  const double lo = state.conlo;
  if (level < lo) level += std::ceil((lo - level) / step) * step;
  if (level > lo) level -= std::ceil((level - lo) / step) * step - step;
  return level;
}

/* The labels placed so far in one draw, so that a label that would overlap
 * one of them is left out: boxes centred on their points, filed in square
 * buckets so that a label is compared only with its neighbours. */
class LabelPlaces {
 public:
  /* size: the character height; expan: the text's expansion */
  LabelPlaces(double size, double expan) : size_(size), expan_(expan > 0 ? expan : 1.0), bucket_(4.0 * size) {}

  /* Takes the place of a text at (x, y) running along x (across false) or
   * along y; false, taking nothing, when it would overlap a placed one. */
  bool take(float x, float y, size_t chars, bool along_y) {
    Box b{x, y, 0.5 * LABEL_BOX * size_ * expan_ * static_cast<double>(chars), 0.5 * LABEL_BOX * size_};
    if (along_y) std::swap(b.half_w, b.half_h);
    const long x0 = key(b.x - b.half_w), x1 = key(b.x + b.half_w);
    const long y0 = key(b.y - b.half_h), y1 = key(b.y + b.half_h);
    for (long i = x0; i <= x1; ++i)
      for (long j = y0; j <= y1; ++j) {
        const auto it = buckets_.find({i, j});
        if (it == buckets_.end()) continue;
        for (size_t n : it->second)
          if (overlap(boxes_[n], b)) return false;
      }
    for (long i = x0; i <= x1; ++i)
      for (long j = y0; j <= y1; ++j) buckets_[{i, j}].push_back(boxes_.size());
    boxes_.push_back(b);
    return true;
  }

 private:
  /* Box sides per character of text, in character heights: more than any
   * digit, sign or point of the stroke fonts takes with its spacing. */
  static constexpr double LABEL_BOX = 1.1;
  struct Box {
    double x, y, half_w, half_h;
  };
  static bool overlap(const Box& a, const Box& b) {
    return std::fabs(a.x - b.x) < a.half_w + b.half_w && std::fabs(a.y - b.y) < a.half_h + b.half_h;
  }
  long key(double v) const {
    const double q = v / bucket_;
    return std::isfinite(q) ? static_cast<long>(std::floor(std::clamp(q, -1e9, 1e9))) : 0;
  }

  double size_, expan_, bucket_;
  std::vector<Box> boxes_;
  std::map<std::pair<long, long>, std::vector<size_t>> buckets_;
};

/* Labels the level in the current cell when it crosses from the bottom to
 * the top side on a label row, or from the left to the right side on a
 * label column; a crossing that cuts off a corner gets none, nor does one
 * whose label would overlap a label already placed. */
void label_cell(int k, float level, bool label_row, bool label_col, LabelPlaces* places) {
  Cell& c = state.cell;
  compute_dz(level);
  if (c.numsides != 2) return;
  Gpt a{}, b{};
  bool along_y = false;
  if (c.cross[0] == 0 && c.cross[1] == 2) {
    if (!label_row || !(c.dz[2] >= 0.0f && c.dz[2] <= 1.0f)) return;
    a = crossing(0, c.dz[0]);
    b = crossing(2, c.dz[2]);
    along_y = state.rot_label != 0;
  } else if (c.cross[0] == 1 && c.cross[1] == 3) {
    if (!label_col || !(c.dz[3] >= 0.0f && c.dz[3] <= 1.0f)) return;
    a = crossing(1, c.dz[1]);
    b = crossing(3, c.dz[3]);
  } else {
    return;
  }
  const float x = (a.x + b.x) / 2.0f, y = (a.y + b.y) / 2.0f;
  const std::string text = level_text(k, level, LABEL_FORM);
  if (!places->take(x, y, text.size(), along_y)) return;
  if (along_y)
    set_up(1.0f, 0.0f);
  else
    set_up(0.0f, 1.0f);
  draw_text(x, y, text);
}

} // namespace

int CONT_draw_labels(GRD_report* grid) {
  if (!grid || !grid->grid) return 0;
  const int nx = grid->domain.nx, ny = grid->domain.ny;
  GPH_line_attr(nullptr);
  const LabelAttribs attr = label_attribs();

  if (state.x_label_space == IMISS) state.x_label_space = nx / 5;
  if (state.x_label_space < 1) state.x_label_space = 1;
  if (state.y_label_space == IMISS) state.y_label_space = ny / 5;
  if (state.y_label_space < 1) state.y_label_space = 1;
  const int xs = state.x_label_space, ys = state.y_label_space;
  const float span_limit = state.max_line_fact > 0 && state.color_num > 0
                               ? static_cast<float>(state.max_line_fact) * static_cast<float>(state.color_num)
                               : 10000.0f;

  /* A skip below 1 would never step through the levels. */
  if (state.label_skip < 1 || attr.fill.color == NO_COLOUR) return 0;
  if (nx < 2 || ny < 2) return 0;
  const double size = apply_label_text(attr);
  const double size2 = size * size;
  const Gattribs& text_attr = is_fill(state.cont_type) ? attr.fill : attr.line;
  LabelPlaces places(size, text_attr.expan != MISS ? text_attr.expan : 1.0);

  const bool explicit_levels = has_levels();
  const int num_cont = std::clamp(state.num_cont, 0, explicit_levels ? CONT_MAX_LEVELS : MAX_BANDS);
  /* Automatic labels need a rising lattice; without one only outlines. */
  const bool labels = size > 0.0 && num_cont > 0 &&
                      (explicit_levels || (state.intrvl != MISS && state.intrvl > 0.0f && std::isfinite(state.intrvl)));
  const int skip = state.label_skip;
  double first = 0.0, step = 0.0;
  int first_k = 0;
  if (labels && !explicit_levels) {
    step = static_cast<double>(skip) * state.intrvl;
    first = first_label_level(step);
  } else if (labels && state.base != MISS) {
    for (int k = 0; k < num_cont && state.cont_value[k] != MISS; ++k)
      if (state.cont_value[k] == state.base) {
        first_k = k;
        break;
      }
  }

  Cell& c = state.cell;
  state.proj = MAP_get_proj();
  struct ProjReset {
    ~ProjReset() { state.proj = IMISS; }
  } proj_reset;
  const float* g = grid->grid;
  const size_t width = static_cast<size_t>(nx);
  for (int j = ny - 2; j >= 0; --j) {
    const size_t row0 = static_cast<size_t>(ny - 1 - j) * width;
    const size_t row2 = static_cast<size_t>(ny - 2 - j) * width;
    for (int i = 0; i < nx - 1; ++i) {
      const size_t at[4] = {row0 + i, row0 + i + 1, row2 + i, row2 + i + 1};
      bool shown = true;
      for (int k = 0; k < 4; ++k) {
        c.z[k] = g[at[k]];
        shown = point_at(at[k], i + (k & 1), j + (k >> 1), &c.x[k], &c.y[k]) && shown;
      }
      if (!shown) continue;
      if (state.draw_grid) {
        const Gpt outline[5] = {corner(0), corner(1), corner(3), corner(2), corner(0)};
        state.kernel.line(5, outline);
      }
      if (!labels) continue;
      const bool label_col = i % xs == state.over, label_row = j % ys == state.over;
      if (!label_col && !label_row) continue;
      if (!usable(c.z[0]) || !usable(c.z[1]) || !usable(c.z[2]) || !usable(c.z[3])) continue;
      const double dx = c.x[0] - c.x[1], dy = c.y[0] - c.y[1];
      if (size2 > (dx * dx + dy * dy) * xs * ys) continue;
      const float zmax = std::max(std::max(c.z[0], c.z[1]), std::max(c.z[2], c.z[3]));
      const float zmin = std::min(std::min(c.z[0], c.z[1]), std::min(c.z[2], c.z[3]));
      if (!explicit_levels && (zmax - zmin) / state.intrvl > span_limit) continue;
      c.cross[0] = c.cross[1] = c.cross[2] = c.cross[3] = -1;

      if (explicit_levels) {
        for (int k = first_k; k < num_cont && state.cont_value[k] != MISS; k += skip) {
          const float level = state.cont_value[k];
          const bool last = k + 1 >= num_cont || state.cont_value[k + 1] == MISS;
          state.intrvl = last ? CONT_OPEN_TOP : state.cont_value[k + 1] - level;
          if (state.min_cut != MISS && state.min_cut > level) continue;
          if (state.max_cut != MISS && state.max_cut < level) continue;
          if (level < zmin || level > zmax) continue;
          label_cell(k, level, label_row, label_col, &places);
        }
      } else {
        /* Only the lattice steps within the cell can cross it. */
        const int count = static_cast<int>((static_cast<long>(num_cont) + skip - 1) / skip);
        const double from = std::floor((static_cast<double>(zmin) - first) / step);
        if (!std::isfinite(from)) continue;
        for (long m = static_cast<long>(std::clamp(from, 0.0, static_cast<double>(count))); m < count; ++m) {
          const float level = static_cast<float>(first + step * static_cast<double>(m));
          if (level > zmax) break;
          if (state.min_cut != MISS && state.min_cut > level) continue;
          if (state.max_cut != MISS && state.max_cut < level) continue;
          label_cell(static_cast<int>(std::min<long>(m * skip, CONT_MAX_LEVELS)), level, label_row, label_col, &places);
        }
      }
    }
  }
  return 0;
}

int CONT_draw_maxmin(GRD_report* grid) {
  if (!grid || !grid->grid || state.ext_radius <= 0) return 0;
  const int nx = grid->domain.nx, ny = grid->domain.ny;
  if (nx <= 0 || ny <= 0) return 0;
  GPH_line_attr(nullptr);
  const LabelAttribs attr = label_attribs();
  if (attr.fill.color == NO_COLOUR) return 0;

  const double base_size = static_cast<double>(state.vert_size) * static_cast<double>(state.scale);
  double size = base_size;
  const Gattribs& use = is_fill(state.cont_type) ? attr.fill : attr.line;
  if (use.color != NO_COLOUR) {
    GPH_text_attr(&use, static_cast<float>(base_size * LABEL_SIZE));
    if (height_set(use)) size *= use.height;
  }
  set_up(0.0f, 1.0f);

  /* The window never reaches past the grid, so a radius wider than it
   * costs nothing more. */
  const int r = std::min(state.ext_radius, std::max(nx, ny));
  const float* g = grid->grid;
  for (int row = 0; row < ny; ++row) {
    for (int i = 0; i < nx; ++i) {
      const size_t at = static_cast<size_t>(row) * nx + i;
      const float v = g[at];
      if (!usable(v)) continue;
      if (state.min_cut != MISS && v < state.min_cut) continue;
      if (state.max_cut != MISS && v > state.max_cut) continue;
      int total = 0, balance = 0, missing = 0;
      bool open = true;
      for (int dr = r; dr >= -r && open; --dr) {
        const int nr = row + dr;
        if (nr < 0 || nr >= ny) continue;
        for (int di = -r; di <= r; ++di) {
          const int ni = i + di;
          if (ni < 0 || ni >= nx || (dr == 0 && di == 0)) continue;
          const float w = g[static_cast<size_t>(nr) * nx + ni];
          if (!usable(w)) {
            if (++missing > 1) open = false;
          } else {
            ++total;
            if (v > w)
              ++balance;
            else if (v < w)
              --balance;
            if (balance != total && balance != -total) open = false;
          }
          if (!open) break;
        }
      }
      if (!open) continue;
      const char* mark = balance == total ? "H" : "L";
      const int j = ny - 1 - row;
      float x = 0.0f, y = 0.0f;
      if (!point_at(at, i, j, &x, &y)) continue;
      gset_char_ht(static_cast<float>(MARK_SIZE * size));
      draw_text(x, y, mark);
      gset_char_ht(static_cast<float>(LABEL_SIZE * size));
      char num[SET_NUM_LEN];
      draw_text(x, static_cast<float>(y - MARK_SIZE * size), set_num(num, EXTREMUM_FORM, v));
    }
  }
  return 0;
}

int CONT_draw(GRD_report* grid) {
  if (!FLAG_getplot(PART_DATA)) return -1;
  if (!grid) {
    MESS_print(M_warn, "CONT_draw: Invalid grids\n");
    return -1;
  }
  if (!grid->grid) {
    MESS_print(M_warn, "CONT_draw: Invalid grid arrays\n");
    return -1;
  }
  CONT_draw_contour(grid);
  if (state.cont_type == CONT_VALUES) return -1;
  /* Labels and extrema belong to contours: a plot of none draws neither. */
  if (!is_line(state.cont_type) && !is_fill(state.cont_type)) return 0;
  CONT_draw_labels(grid);
  CONT_draw_maxmin(grid);
  return 0;
}

/* ------------------------------------------------------------------------ */
/* Colour bar and value flash                                               */
/* ------------------------------------------------------------------------ */

namespace {

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
