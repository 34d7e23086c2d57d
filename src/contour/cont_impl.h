/*
 * cont_impl.h: what the files of the contour module share, and nothing
 * outside the module includes: its state (one set of contour settings,
 * the cell the engine works and the walk's drawing attributes) and the
 * small helpers that more than one of its files calls. Each helper that is
 * not defined here is defined once, in the file named beside it.
 */
#ifndef KEZ_CONTOUR_CONT_IMPL_H
#define KEZ_CONTOUR_CONT_IMPL_H

#include "kezcont.h"

#include <cmath>
#include <string>
#include <vector>

namespace cont_impl {

constexpr float MISS = KEZ_FMISS;
constexpr int IMISS = KEZ_MISS;
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

extern State state; /* defined in cont.cpp */

inline bool has_levels() { return state.cont_value[0] != MISS; }

/* A position the projection does not show. */
inline bool is_hidden(float x) { return x == MISS || !std::isfinite(x); }

/* A value that takes part in contouring: neither missing nor NaN nor
 * infinite, which every draw treats as missing. */
inline bool usable(float v) { return v != MISS && std::isfinite(v); }

/* A setting given as NaN or infinity is not given. */
inline float known(float v) { return std::isfinite(v) ? v : MISS; }
inline bool is_fill(int type) { return type == CONT_FILL || type == CONT_LINES_FILL; }
inline bool is_line(int type) { return type == CONT_LINES || type == CONT_LINES_FILL; }

/* Side s runs from corner side_from[s] to side_to[s]; a level equal to the
 * marked corner does not count on that side, so a corner on the level
 * counts on exactly one of its two sides. */
constexpr int side_from[4] = {0, 0, 2, 1};
constexpr int side_to[4] = {1, 2, 3, 3};
constexpr int side_mark[4] = {1, 0, 2, 3};

inline Gpt corner(int k) { return Gpt{state.cell.x[k], state.cell.y[k]}; }

/* Where a level crosses side s of the loaded cell, as the fraction of the
 * side from its first corner; -1 when it does not. A value equal to the
 * level counts as above it, as it does in the bands, so that neighbouring
 * cells agree on every side they share; the lines and their labels both
 * follow it. */
inline float side_fraction(int s, float level) {
  const float za = state.cell.z[side_from[s]], zb = state.cell.z[side_to[s]];
  if ((za >= level) == (zb >= level)) return -1.0f;
  return (level - za) / (zb - za);
}

/* The crossing point of the current level on side s. */
inline Gpt crossing(int s, float d) {
  Gpt g{};
  const int a = side_from[s], b = side_to[s];
  int_xy(&g, state.cell.x[a], state.cell.y[a], state.cell.x[b], state.cell.y[b], d);
  return g;
}

inline void pen_fill_colour(int c) {
  if (c < 0 || c == state.pen.fill_colr) return;
  state.pen.fill_colr = c;
  state.kernel.fill_colr(c);
}

inline void pen_fill_style(int pattern) {
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

inline void pen_line_colour(int c) {
  if (c < 0 || c == state.pen.line_colr) return;
  state.pen.line_colr = c;
  state.kernel.line_colr(c);
}

inline void pen_line_type(int t) {
  if (t == state.pen.line_type) return;
  state.pen.line_type = t;
  state.kernel.linetype(t);
}

inline void pen_line_width(float w) {
  if (w == state.pen.line_width) return;
  state.pen.line_width = w;
  state.kernel.linewidth(w);
}

inline void draw_segment(Gpt a, Gpt b) {
  Gpt seg[2] = {a, b};
  CONT_draw_lines(CONT_LINES, 2, seg);
}

/* cont.cpp */
void usable_range(const GRD_report* grid, float* max, float* min);
void copy_bounded(char* dst, int room, const char* src);
std::vector<std::string> split(const char* text, char delim);
bool read_float(const char* s, float* out);
void level_range(const char* caller, float max, float min);
/* A number as set_num writes it in the format "w.s.d", except that set_num
 * writes every value under small_number as 0: a field of small values (a
 * vorticity or a rate in SI units) keeps its digits, in e-notation with s
 * significant digits, unless the value is no more than the rounding of 0
 * against scale (the interval of the levels; 0 when every value counts);
 * and from large_number on, where set_num writes every digit of the float
 * (noise beyond its seventh), in e-notation too. */
constexpr float small_number = 0.00001f;
constexpr float large_number = 1e8f;
std::string number_text(const char* form, float x, float scale);

/* cont_cell.cpp */
void close_top(float level);

/* cont_walk.cpp */
void band_fill(int k);
void band_line(int k, float nlevel);

/* cont_label.cpp */
void set_up(float x, float y);
std::string level_text(int k, float level, const char* form);
void draw_text(float x, float y, const std::string& text);

} // namespace cont_impl

#endif
