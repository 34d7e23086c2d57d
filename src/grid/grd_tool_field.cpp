/*
 * grd_tool_field: the grid field utilities of grd_tool.
 *
 * Extremes and statistics, values at a point (bilinear, across the date line
 * on a grid round the globe) and their read-out and editing, plot positions
 * of grid points, mosaics from tiles, remapping to another domain, cutoffs,
 * scaling, offsets and units. Every grid component uses them.
 *
 * Guarantees: field utilities never read outside a record's nx * ny values,
 * and refuse records whose array and domain do not describe a grid.
 */
#include "grd_tool_impl.h"
#include "kezgrd.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace grd_tool_impl;

namespace {

constexpr M_type kTraceUnits = 0xF0000000;

/* A latitude-longitude grid whose columns go once round the globe (nx
 * columns of dx degrees make 360), so that the first column follows the
 * last. */
bool spans_globe(const Domain& d) {
  if (d.proj != MAP_LATLON || d.nx < 2 || is_miss(d.dx) || !(d.dx > 0.0f)) return false;
  const double span = static_cast<double>(d.nx) * d.dx;
  return std::fabs(span - 360.0) <= 1e-3 * d.dx;
}

/* Points of a record that holds values, else 0. */
size_t points(const GRD_report* g) {
  if (!g || !g->grid) return 0;
  return domain_points(g->domain);
}

/* Replaces a record's array by values (release the old one first). */
int adopt(GRD_report* g, const std::vector<float>& values) {
  std::free(g->grid);
  g->grid = new_array(values.size());
  if (!g->grid) {
    MESS_print(M_warn, "GRD_alloc: No memory for grid field\n");
    return -1;
  }
  std::memcpy(g->grid, values.data(), values.size() * sizeof(float));
  return 0;
}

/* The grid position of a plot point: through the grid's domain when dom is
 * a map domain, else in the current domain. The current domain is kept. */
void grid_position(const GRD_report* grid, const Domain* dom, float x, float y, float* gx, float* gy) {
  if (dom && dom->proj != KEZ_MISS) {
    float x2 = KEZ_FMISS, y2 = KEZ_FMISS;
    MAP_domain_tran(dom, &grid->domain, x, y, &x2, &y2);
    Domain saved{};
    MAP_get_domain(&saved);
    MAP_domain(&grid->domain);
    MAP_grid_untran(x2, y2, gx, gy);
    MAP_domain(&saved);
  } else {
    MAP_grid_untran(x, y, gx, gy);
  }
}

} // namespace

/* ---- field utilities ------------------------------------------------------------ */

int GRD_maxmin(const GRD_report* grid, float* max, float* min) {
  float hi = KEZ_FMISS, lo = KEZ_FMISS;
  size_t n = points(grid);
  int res = n ? 0 : -1;
  bool first = true;
  for (size_t i = 0; i < n; ++i) {
    float v = grid->grid[i];
    if (is_miss(v) || !std::isfinite(v)) continue; /* a NaN first would poison every comparison */
    if (first) {
      hi = lo = v;
      first = false;
    } else if (v > hi) {
      hi = v;
    } else if (v < lo) {
      lo = v;
    }
  }
  if (max) *max = hi;
  if (min) *min = lo;
  return res;
}

int GRD_UVmax(const GRD_report* ugrid, const GRD_report* vgrid, float* max) {
  if (max) *max = KEZ_FMISS;
  size_t n = points(ugrid);
  if (!n || !points(vgrid)) return -1;
  if (ugrid->domain.nx != vgrid->domain.nx || ugrid->domain.ny != vgrid->domain.ny) {
    MESS_print(M_warn, "GRD_UVmax: Wind component grids differ in size\n");
    return -1;
  }
  float best = KEZ_FMISS;
  for (size_t i = 0; i < n; ++i) {
    float u = ugrid->grid[i], v = vgrid->grid[i];
    if (is_miss(u) || is_miss(v)) continue; /* a pure west or south wind counts too */
    float spd = std::sqrt(u * u + v * v);
    if (spd > best) best = spd;
  }
  if (max) *max = best;
  return 0;
}

int GRD_proj_XY(const GRD_report* grid, const Domain* domain, float** grdx, float** grdy) {
  if (!grid || !domain || !grdx || !grdy) return -1;
  std::free(*grdx);
  std::free(*grdy);
  *grdx = *grdy = nullptr;
  size_t n = domain_points(grid->domain);
  if (!n) {
    MESS_print(M_warn, "GRD_proj_XY: Invalid grid size\n");
    return -1;
  }
  *grdx = new_array(n);
  *grdy = new_array(n);
  if (!*grdx || !*grdy) {
    std::free(*grdx);
    std::free(*grdy);
    *grdx = *grdy = nullptr;
    MESS_print(M_warn, "GRD_proj_XY: Unable to allocate grid arrays\n");
    return -1;
  }
  Domain saved{};
  MAP_get_domain(&saved);
  const Domain& g = grid->domain;
  MAP_domain(&g);
  float xc = KEZ_FMISS, yc = KEZ_FMISS;
  MAP_tran(g.clat, g.clon, &xc, &yc);
  float* lat = *grdx;
  float* lon = *grdy;
  size_t k = 0;
  if (is_miss(xc)) {
    for (; k < n; ++k) lat[k] = lon[k] = KEZ_FMISS;
  } else {
    double x0 = xc - g.dx * ((g.nx - 1) / 2.0);
    double y0 = yc - g.dy * ((g.ny - 1) / 2.0);
    auto x_of = [&](int i) { return static_cast<float>(x0 + i * g.dx); };
    auto y_of = [&](int j) { return static_cast<float>(y0 + j * g.dy); };
    /* On a map of the grid's own projection the points are their own plot
     * positions: the way through the earth would give them back within a
     * float's rounding, at two projections a point. */
    const MAP_limits box{std::min(x_of(0), x_of(g.nx - 1)), std::max(x_of(0), x_of(g.nx - 1)),
                         std::min(y_of(0), y_of(g.ny - 1)), std::max(y_of(0), y_of(g.ny - 1))};
    if (MAP_same_plane(&g, domain, &box)) {
      for (int j = g.ny - 1; j >= 0; --j)
        for (int i = 0; i < g.nx; ++i, ++k) {
          lat[k] = x_of(i);
          lon[k] = y_of(j);
        }
      MAP_domain(&saved);
      return 0;
    }
    for (int j = g.ny - 1; j >= 0; --j)
      for (int i = 0; i < g.nx; ++i, ++k) MAP_untran(x_of(i), y_of(j), &lat[k], &lon[k]);
  }
  MAP_domain(domain);
  for (k = 0; k < n; ++k) {
    if (is_miss(lat[k]) || is_miss(lon[k])) {
      lat[k] = lon[k] = KEZ_FMISS;
      continue;
    }
    float x = KEZ_FMISS, y = KEZ_FMISS;
    MAP_tran(lat[k], lon[k], &x, &y);
    lat[k] = x;
    lon[k] = y;
  }
  MAP_domain(&saved);
  return 0;
}

float GRD_get_value(const GRD_report* grid, float gx, float gy) {
  if (!points(grid)) return KEZ_FMISS;
  const int nx = grid->domain.nx, ny = grid->domain.ny;
  const double lim_x = nx - 0.9999, lim_y = ny - 0.9999;
  const bool wraps = spans_globe(grid->domain);
  double dgx = gx;
  const double dgy = gy;
  /* On a grid round the globe the last column's east neighbour is the
   * first column, and a column index is taken modulo nx. */
  if (wraps && std::isfinite(dgx) && !is_miss(gx)) {
    dgx = std::fmod(dgx, static_cast<double>(nx));
    if (dgx < 0.0) dgx += nx;
    if (dgx >= nx) dgx = 0.0;
  }
  if (!(dgx >= 0.0 && (wraps || dgx <= lim_x) && dgy >= 0.0 && dgy <= lim_y)) return KEZ_FMISS;
  int ix = static_cast<int>(dgx), iy = static_cast<int>(gy);
  float fx = static_cast<float>(dgx - ix), fy = gy - static_cast<float>(iy);
  bool east_out = !wraps && ix + 1 > lim_x;
  bool south_out = iy + 1 > lim_y;
  const int east = wraps && ix + 1 >= nx ? 0 : ix + 1;
  auto at = [&](int i, int j) { return grid->grid[static_cast<size_t>(j) * nx + i]; };
  float z00 = at(ix, iy);
  float z10 = east_out ? z00 : at(east, iy);
  float z01 = south_out ? z00 : at(ix, iy + 1);
  float z11 = (east_out || south_out) ? z00 : at(east, iy + 1);
  if (is_miss(z00) || is_miss(z10) || is_miss(z01) || is_miss(z11)) return KEZ_FMISS;
  return (1.0f - fy) * (1.0f - fx) * z00 + (1.0f - fy) * fx * z10 + (1.0f - fx) * fy * z01 + fy * fx * z11;
}

float GRD_get_value_domain(const GRD_report* grid, const Domain* domain, float* x, float* y) {
  if (!grid || !x || !y) return KEZ_FMISS;
  float gx = KEZ_FMISS, gy = KEZ_FMISS;
  grid_position(grid, domain, *x, *y, &gx, &gy);
  *x = gx;
  *y = gy;
  return GRD_get_value(grid, gx, gy);
}

int GRD_edit_value(const char* str, float x, float y, GRD_report* grid) {
  (void)str;
  if (!grid) return -1;
  Domain cur{};
  MAP_get_domain(&cur);
  float gx = KEZ_FMISS, gy = KEZ_FMISS;
  grid_position(grid, &cur, x, y, &gx, &gy);
  MAP_domain(&cur);
  /* Adding 0 turns the -0 of a truncated -0.2 into the 0 it is printed as. */
  float col = is_miss(gx) ? KEZ_FMISS : std::trunc(gx + 0.5f) + 0.0f;
  float row = is_miss(gy) ? KEZ_FMISS : std::trunc(gy + 0.5f) + 0.0f;
  if (!points(grid) || is_miss(col) || is_miss(row) || col < 0.0f || row < 0.0f ||
      col > static_cast<float>(grid->domain.nx - 1) || row > static_cast<float>(grid->domain.ny - 1)) {
    MESS_print(M_print, "Grid: %3.0f,%3.0f Off grid\n", col, row);
    return -1;
  }
  float val = GRD_get_value(grid, col, row);
  if (is_miss(val))
    MESS_print(M_print, "Grid: %3.0f,%3.0f Val = MISS ", col, row);
  else
    MESS_print(M_print, "Grid: %3.0f,%3.0f Val = %6.2f ", col, row, val);
  float nv = KEZ_promptf("New value: ");
  grid->grid[static_cast<size_t>(row) * grid->domain.nx + static_cast<size_t>(col)] = nv;
  return 0;
}

int GRD_print_value(float x, float y, const GRD_report* grid) {
  Domain cur{};
  MAP_get_domain(&cur);
  float gx = x, gy = y;
  float val = GRD_get_value_domain(grid, &cur, &gx, &gy);
  MESS_print(M_print, "Grid: %6.2f,%6.2f", gx, gy);
  if (!is_miss(val)) MESS_print(M_print, " = %6.2f", val);
  MESS_print(M_print, "\n");
  return 0;
}

int GRD_print_value2(float x, float y, const GRD_report* grid1, const GRD_report* grid2) {
  Domain cur{};
  MAP_get_domain(&cur);
  float gx = x, gy = y;
  float v1 = GRD_get_value_domain(grid1, &cur, &gx, &gy);
  float hx = x, hy = y;
  float v2 = GRD_get_value_domain(grid2, &cur, &hx, &hy);
  MESS_print(M_print, "Grid: %6.2f,%6.2f", gx, gy);
  if (!is_miss(v1))
    MESS_print(M_print, " = %6.2f", v1);
  else
    MESS_print(M_print, " = ");
  if (!is_miss(v2)) MESS_print(M_print, ",%6.2f", v2);
  MESS_print(M_print, "\n");
  return 0;
}

int GRD_piece_setup(GRD_report* grid, int nx, int ny, GRD_report* igrid) {
  if (!grid) return -1;
  const GRD_report* tile = igrid ? igrid : grid;
  const Domain t = tile->domain;
  if (nx < 1 || ny < 1 || t.nx < 1 || t.ny < 1 || is_miss(t.dx) || is_miss(t.dy)) {
    MESS_print(M_warn, "GRD_piece_setup: Invalid tile or mosaic size\n");
    return -1;
  }
  long long cols = static_cast<long long>(nx) * (t.nx - 1) + 1;
  long long rows = static_cast<long long>(ny) * (t.ny - 1) + 1;
  if (cols * rows > GRD_MAX_POINTS) {
    MESS_print(M_warn, "GRD_piece_setup: Mosaic too large\n");
    return -1;
  }
  Domain m = t;
  double top = t.clat + t.dy * (t.ny - 1) / 2.0;
  double west = t.clon - t.dx * (t.nx - 1) / 2.0;
  m.nx = static_cast<int>(cols);
  m.ny = static_cast<int>(rows);
  m.clat = static_cast<float>(top - t.dy * (rows - 1) / 2.0);
  m.clon = static_cast<float>(west + t.dx * (cols - 1) / 2.0);
  bool same_size = m.nx == t.nx && m.ny == t.ny;
  if (igrid && igrid != grid) {
    float* own = grid->grid;
    *grid = *igrid;
    grid->grid = own; /* the tile keeps its own array */
  } else if (same_size) {
    grid->domain = m;
    return 0;
  }
  /* The mosaic gets its own array; a record never holds an array that its
   * domain does not describe. */
  grid->domain = m;
  if (!GRD_alloc(grid)) return -1;
  std::fill(grid->grid, grid->grid + static_cast<size_t>(cols * rows), KEZ_FMISS);
  return 0;
}

int GRD_piece_grid(GRD_report* grid, int x, int y, const GRD_report* igrid) {
  if (!points(grid) || !points(igrid)) return -1;
  const int tnx = igrid->domain.nx, tny = igrid->domain.ny;
  const int nx = grid->domain.nx, ny = grid->domain.ny;
  if (x < 0 || y < 0) return -1;
  long long col0 = static_cast<long long>(x) * (tnx - 1);
  long long row0 = static_cast<long long>(y) * (tny - 1);
  if (col0 + tnx > nx || row0 + tny > ny) return -1;
  for (int j = 0; j < tny; ++j)
    std::memcpy(grid->grid + static_cast<size_t>(row0 + j) * nx + static_cast<size_t>(col0),
                igrid->grid + static_cast<size_t>(j) * tnx, static_cast<size_t>(tnx) * sizeof(float));
  return 0;
}

int GRD_remap(GRD_report* ogrid, const Domain* domain, const GRD_report* igrid) {
  if (!ogrid || !domain || !points(igrid)) return -1;
  size_t n = domain_points(*domain);
  if (!n) {
    MESS_print(M_warn, "GRD_remap: Invalid target grid size\n");
    return -1;
  }
  /* Every value is computed before ogrid changes, so ogrid may be igrid. */
  std::vector<float> xs(n), ys(n), values(n);
  Domain saved{};
  MAP_get_domain(&saved);
  MAP_domain(domain);
  size_t k = 0;
  for (int j = 0; j < domain->ny; ++j)
    for (int i = 0; i < domain->nx; ++i, ++k)
      MAP_grid_tran(static_cast<float>(i), static_cast<float>(j), &xs[k], &ys[k]);
  for (k = 0; k < n; ++k) MAP_domain_tran(domain, &igrid->domain, xs[k], ys[k], &xs[k], &ys[k]);
  MAP_domain(&igrid->domain);
  for (k = 0; k < n; ++k) {
    float gx = KEZ_FMISS, gy = KEZ_FMISS;
    MAP_grid_untran(xs[k], ys[k], &gx, &gy);
    values[k] = GRD_get_value(igrid, gx, gy);
  }
  MAP_domain(&saved);
  if (ogrid != igrid) {
    float* own = ogrid->grid;
    *ogrid = *igrid;
    ogrid->grid = own;
  }
  ogrid->domain = *domain;
  if (adopt(ogrid, values) != 0) {
    ogrid->grid = nullptr;
    return -1;
  }
  return 0;
}

int GRD_cutoff(GRD_report* ogrid, const char* cmd, float cutoff, float nval, const GRD_report* igrid) {
  if (!ogrid || !cmd) return -1;
  size_t n = points(igrid);
  if (!n) return -1;
  bool lower = stricmp(cmd, "lower") == 0;
  if (!lower && stricmp(cmd, "higher") != 0) {
    MESS_print(M_warn, "GRD_cutoff: Unknown command: %s\n", cmd);
    return -1;
  }
  std::vector<float> values(igrid->grid, igrid->grid + n);
  for (float& v : values) {
    if (is_miss(v)) continue;
    if (lower ? v < cutoff : v > cutoff) v = nval;
  }
  if (ogrid != igrid) {
    float* own = ogrid->grid;
    *ogrid = *igrid;
    ogrid->grid = own;
  }
  if (adopt(ogrid, values) != 0) {
    ogrid->grid = nullptr;
    return -1;
  }
  return 0;
}

int GRD_scale(GRD_report* grid, float scale) {
  size_t n = points(grid);
  if (!n) return -1;
  for (size_t i = 0; i < n; ++i)
    if (!is_miss(grid->grid[i])) grid->grid[i] *= scale;
  return 0;
}

int GRD_offset(GRD_report* grid, float offset) {
  size_t n = points(grid);
  if (!n) return -1;
  for (size_t i = 0; i < n; ++i)
    if (!is_miss(grid->grid[i])) grid->grid[i] += offset;
  return 0;
}

int GRD_units(GRD_report* grid, const char* unit_out) {
  size_t n = points(grid);
  if (!n) return -1;
  const std::string from = grid->units;
  const std::string to = unit_out ? unit_out : "";
  MESS_print(kTraceUnits, "GRD_units: %s -> %s\n", from.c_str(), to.c_str());
  for (size_t i = 0; i < n; ++i) grid->grid[i] = UNIT_cvt(grid->grid[i], from.c_str(), to.c_str());
  if (!to.empty()) {
    copy_field(grid->units, sizeof grid->units, to.c_str());
    UNIT_change(grid->info, grid->units);
  }
  return 0;
}

int GRD_stats(const char* oper, const GRD_report* grid, float* values) {
  if (!values) return 0;
  values[0] = values[1] = KEZ_FMISS;
  if (!oper) return 0;
  if (stricmp(oper, "max") == 0) {
    GRD_maxmin(grid, &values[0], nullptr);
    return 1;
  }
  if (stricmp(oper, "min") == 0) {
    GRD_maxmin(grid, nullptr, &values[0]);
    return 1;
  }
  if (stricmp(oper, "maxmin") == 0) {
    GRD_maxmin(grid, &values[0], &values[1]);
    return 1;
  }
  bool avgnum = stricmp(oper, "avgnum") == 0;
  if (!avgnum && stricmp(oper, "avg") != 0) return 0;
  size_t n = points(grid);
  if (!n) return 0;
  double sum = 0.0;
  long count = 0;
  for (size_t i = 0; i < n; ++i) {
    if (is_miss(grid->grid[i])) continue;
    sum += grid->grid[i];
    ++count;
  }
  if (count) values[0] = static_cast<float>(sum / count);
  if (avgnum) values[1] = static_cast<float>(count);
  return 1;
}
