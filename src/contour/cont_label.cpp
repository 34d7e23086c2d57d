/*
 * cont_label: the contour module's draw entry (CONT_draw), the labels of
 * the contours and the marks of highs and lows.
 *
 * After the walk the draw entry writes level values where a contour
 * crosses a cell from side to opposite side on every n-th row and column,
 * leaving out a label that would overprint one already placed, and marks
 * the points that beat every neighbour of their window with "H" or "L".
 */
#include "cont_impl.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <utility>
#include <vector>

using namespace cont_impl;

namespace {

constexpr float LABEL_SIZE = 0.015f; /* label height per unit of vertical extent */
constexpr float MARK_SIZE = 0.02f;   /* "H" and "L" height likewise */
constexpr const char* LABEL_FORM = "1.2.0";
constexpr const char* EXTREMUM_FORM = "3.3.0";
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

/* The interval of automatic levels, a size against which a value is
 * told from the rounding of 0; 0 without one. */
float extremum_scale() {
  const float i = state.intrvl;
  return i != MISS && std::isfinite(i) && i > 0.0f && i < CONT_OPEN_TOP ? i : 0.0f;
}

} // namespace

namespace cont_impl {

void set_up(float x, float y) {
  const Gpt up{x, y};
  gset_char_up_vec(&up);
}

/* The text of level index k: its bar text, or the number. */
std::string level_text(int k, float level, const char* form) {
  if (k >= 0 && k < CONT_MAX_LEVELS && state.cont_label[k][0]) return state.cont_label[k];
  /* automatic levels are sums of the interval, whose rounding may leave a
   * trace of a level that is 0; explicit levels are as given */
  return number_text(form, level, has_levels() ? 0.0f : extremum_scale());
}

void draw_text(float x, float y, const std::string& text) {
  const Gpt pos{x, y};
  state.kernel.text(&pos, text.c_str());
}

} // namespace cont_impl

namespace {

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

/* Sides of the cell: bottom, left, top, right (side s is bit s). A
 * crossing at a corner lies on both sides that meet there. */
constexpr int BOTTOM = 1, LEFT = 2, TOP = 4, RIGHT = 8;
constexpr int corner_sides[4] = {BOTTOM | LEFT, BOTTOM | RIGHT, LEFT | TOP, TOP | RIGHT};

int sides_of(int s, float d) {
  int m = 1 << s;
  if (d == 0.0f) m |= corner_sides[side_from[s]];
  if (d == 1.0f) m |= corner_sides[side_to[s]];
  return m;
}

/* Labels the level in the current cell when it crosses from the bottom to
 * the top side on a label row, or from the left to the right side on a
 * label column; a crossing that cuts off a corner gets none, nor does one
 * whose label would overlap a label already placed. The crossings are
 * those of the lines drawn, and one at a corner lies on both its sides:
 * a contour through grid points on the level, or along a cell's side (a
 * field in whole units), is labelled as any other. */
void label_cell(int k, float level, bool label_row, bool label_col, LabelPlaces* places) {
  float d[4];
  int sides[4], n = 0;
  for (int s = 0; s < 4; ++s) {
    d[s] = side_fraction(s, level);
    if (d[s] >= 0.0f) sides[n++] = s;
  }
  if (n != 2) return;
  const int ma = sides_of(sides[0], d[sides[0]]), mb = sides_of(sides[1], d[sides[1]]);
  const auto joins = [ma, mb](int p, int q) { return ((ma & p) && (mb & q)) || ((ma & q) && (mb & p)); };
  const Gpt a = crossing(sides[0], d[sides[0]]), b = crossing(sides[1], d[sides[1]]);
  if (a.x == b.x && a.y == b.y) return;
  bool along_y = false;
  if (label_row && joins(BOTTOM, TOP)) {
    along_y = state.rot_label != 0;
  } else if (!(label_col && joins(LEFT, RIGHT))) {
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
  const size_t count = static_cast<size_t>(nx) * static_cast<size_t>(ny);
  auto counted = [&](float v) {
    return usable(v) && !(state.min_cut != MISS && v < state.min_cut) && !(state.max_cut != MISS && v > state.max_cut);
  };

  /* Each point against the neighbours of its window, at most one of them
   * missing: whether it is at least as high as every one (or as low), and
   * whether it exceeds one (undercuts one); a 1 x 1 grid is a high. */
  enum : unsigned char { AS_HIGH = 1, AS_LOW = 2, ABOVE = 4, BELOW = 8 };
  std::vector<unsigned char> mark(count, 0);
  for (int row = 0; row < ny; ++row) {
    for (int i = 0; i < nx; ++i) {
      const size_t at = static_cast<size_t>(row) * nx + i;
      const float v = g[at];
      if (!counted(v)) continue;
      int total = 0, missing = 0;
      unsigned char m = AS_HIGH | AS_LOW;
      for (int dr = -r; dr <= r && (m & (AS_HIGH | AS_LOW)); ++dr) {
        const int nr = row + dr;
        if (nr < 0 || nr >= ny) continue;
        for (int di = -r; di <= r; ++di) {
          const int ni = i + di;
          if (ni < 0 || ni >= nx || (dr == 0 && di == 0)) continue;
          const float w = g[static_cast<size_t>(nr) * nx + ni];
          if (!usable(w)) {
            if (++missing > 1) m = 0;
          } else {
            ++total;
            if (v > w) m = static_cast<unsigned char>((m & ~AS_LOW) | ABOVE);
            if (v < w) m = static_cast<unsigned char>((m & ~AS_HIGH) | BELOW);
          }
          if (!(m & (AS_HIGH | AS_LOW))) break;
        }
      }
      if (total == 0 && m) m |= ABOVE;
      mark[at] = m;
    }
  }

  /* A point of equal neighbours is a high only with them: the values
   * equal to it within the window, and theirs in turn, form a plateau (a
   * whole-unit field's high is often one), which is a high when every
   * point of it is at least as high as its window and one exceeds a
   * neighbour. It is marked once, at its point nearest its middle (the
   * first in the grid's order of those as near); a plateau on a slope,
   * lower on one side and higher on another, is none. Lows likewise. */
  /* Equal values within the window, and theirs in turn, make one plateau
   * whatever kind is asked of it, so each is gathered once and asked both
   * (a flat stretch of a field, where no station reaches, is thousands of
   * points). A plateau cannot be both: a point exceeding a neighbour is
   * not as low as its window. */
  std::vector<unsigned char> seen(count, 0);
  std::vector<size_t> todo, members;
  auto plateau = [&](size_t start, const char** kind, size_t* centre) {
    const float v = g[start];
    bool all_high = true, any_above = false, all_low = true, any_below = false;
    todo.assign(1, start);
    members.clear();
    seen[start] = 1;
    double sr = 0, si = 0;
    while (!todo.empty()) {
      const size_t at = todo.back();
      todo.pop_back();
      members.push_back(at);
      const unsigned char m = mark[at];
      all_high = all_high && (m & AS_HIGH);
      any_above = any_above || (m & ABOVE);
      all_low = all_low && (m & AS_LOW);
      any_below = any_below || (m & BELOW);
      const int row = static_cast<int>(at / static_cast<size_t>(nx)),
                i = static_cast<int>(at % static_cast<size_t>(nx));
      sr += row;
      si += i;
      const int i0 = std::max(i - r, 0), i1 = std::min(i + r, nx - 1);
      for (int nr = std::max(row - r, 0); nr <= std::min(row + r, ny - 1); ++nr) {
        const size_t line = static_cast<size_t>(nr) * nx;
        for (size_t n = line + i0; n <= line + i1; ++n) {
          if (g[n] != v || seen[n]) continue;
          seen[n] = 1;
          todo.push_back(n);
        }
      }
    }
    *kind = all_high && any_above ? "H" : all_low && any_below ? "L" : nullptr;
    if (!*kind) return;
    const double mr = sr / static_cast<double>(members.size()), mi = si / static_cast<double>(members.size());
    double best = -1;
    for (size_t at : members) {
      const double dr = static_cast<double>(at / static_cast<size_t>(nx)) - mr;
      const double di = static_cast<double>(at % static_cast<size_t>(nx)) - mi;
      const double d = dr * dr + di * di;
      if (best < 0 || d < best || (d == best && at < *centre)) {
        best = d;
        *centre = at;
      }
    }
  };

  for (int row = 0; row < ny; ++row) {
    for (int i = 0; i < nx; ++i) {
      const size_t at = static_cast<size_t>(row) * nx + i;
      if (!counted(g[at]) || !(mark[at] & (AS_HIGH | AS_LOW)) || seen[at]) continue;
      const char* kind = nullptr;
      size_t centre = at;
      plateau(at, &kind, &centre);
      if (!kind) continue;
      const float v = g[centre];
      const int mi = static_cast<int>(centre % static_cast<size_t>(nx));
      const int mj = ny - 1 - static_cast<int>(centre / static_cast<size_t>(nx));
      float x = 0.0f, y = 0.0f;
      if (!point_at(centre, mi, mj, &x, &y)) continue;
      gset_char_ht(static_cast<float>(MARK_SIZE * size));
      draw_text(x, y, kind);
      gset_char_ht(static_cast<float>(LABEL_SIZE * size));
      draw_text(x, static_cast<float>(y - MARK_SIZE * size), number_text(EXTREMUM_FORM, v, extremum_scale()));
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
