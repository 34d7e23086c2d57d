/*
 * cont_walk: the walk of a grid that draws it as contour lines,
 * colour-filled bands or printed values.
 *
 * Drawing walks the grid cell by cell from the top cell row down and, for
 * each cell, the bands from the bottom up, through the cell engine. The
 * lines of a cell follow its bands, level by level, the same for lines
 * alone and lines over fill: a value equal to a level counts as above it,
 * so that neighbouring cells agree on every side and each level is one set
 * of lines, closed or ending at the grid's edge, at a missing point or
 * where the field only touches the level. NaN and infinities are missing
 * values throughout.
 */
#include "cont_impl.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

using namespace cont_impl;

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
} // namespace

namespace cont_impl {

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

} // namespace cont_impl

namespace {

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
  /* A latitude-longitude grid round the globe without its first column
   * repeated at the end: one more cell, from the last column back to the
   * first, closes the lines and bands across the grid's seam. */
  bool wrap = false;

  float level(int m) const { return explicit_levels ? state.cont_value[m] : static_cast<float>(lo + step * m); }
  /* Stored index of the grid point at column i and walk row j. */
  size_t index(int i, int j) const {
    return static_cast<size_t>(ny - 1 - j) * static_cast<size_t>(nx) + static_cast<size_t>(i);
  }
  /* The cells of a row, and the column of a cell's right corners. */
  int cells() const { return wrap ? nx : nx - 1; }
  int right(int i) const { return i + 1 < nx ? i + 1 : 0; }
  /* The stored indexes of the corners of the cell at column i, walk row j. */
  void corners(int i, int j, size_t at[4]) const {
    at[0] = index(i, j), at[1] = index(right(i), j), at[2] = index(i, j + 1), at[3] = index(right(i), j + 1);
  }
};

/* Whether a grid closes round the globe without repeating its first column:
 * latitude-longitude, drawn on another map (the grid's own map ends at its
 * last column), its columns spanning 360 degrees with one more step. */
bool wraps(const GRD_report* grid) {
  constexpr int latlon = 2;
  const Domain& d = grid->domain;
  if (d.proj != latlon || !state.grdx || !(d.dx > 0.0f) || d.nx < 3) return false;
  return std::fabs(static_cast<double>(d.nx) * d.dx - 360.0) < 1e-3 * d.dx;
}

/* The corner values of the cell at column i and walk row j, when the walk
 * contours that cell: inside the grid, every corner usable and shown, and
 * with automatic levels no more intervals across it than the limit. */
bool cell_values(const Walk& w, int i, int j, float z[4]) {
  if (w.wrap && i == w.nx) i = 0; /* right of the seam cell: the first cell */
  if (i < 0 || j < 0 || i >= w.cells() || j > w.ny - 2) return false;
  size_t at[4];
  w.corners(i, j, at);
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
        copy_bounded(text, sizeof text, number_text("1.1.0", v, 0.0f).c_str());
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

  w.wrap = wraps(grid);
  for (int j = ny - 2; j >= 0; --j) {
    for (int i = 0; i < w.cells(); ++i) {
      if (!cell_values(w, i, j, c.z)) continue;
      size_t at[4];
      w.corners(i, j, at);
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
