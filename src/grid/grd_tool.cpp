/*
 * grd_tool: grid records, the grid store and the grid field utilities.
 *
 * Owns the 60-slot grid store (slot i belongs to entry i of the parsed
 * variable list), the grid refinement factor and the store's file date.
 * The data pipeline, the raw-file gridding, the calculator, the contour
 * plotter and the plot frame's value read-out reach the store here; every
 * grid component uses the record operations and the field utilities.
 *
 * It also names grids and finds them: grid requests ("#3:F", "-1250hh",
 * "+12:500mb:hh:m:211") and their match rule, searches that fill slots from
 * one open file or assemble tiled models (the tile table from "model.lup"),
 * and the file wrappers that read, search, save and reuse grid files by name
 * or by date.
 *
 * Guarantees: the store is initialised before anything can use it; slot
 * numbers are checked; an array has exactly one owner (copies move it, and
 * GRD_alloc and GRD_init_grids release what a record or slot held), so
 * refilling slots frame after frame never leaks. Field utilities never read
 * outside a record's nx * ny values, and refuse records whose array and
 * domain do not describe a grid. Requests and "model.lup" are read with
 * bounds: a request that cannot be read matches nothing, and a model entry
 * the tile table cannot hold is refused whole.
 */
#include "kezgrd.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr M_type kTraceUnits = 0xF0000000;

/* The record of an empty slot: what GRD_init leaves, with an unset domain. */
constexpr GRD_report empty_record() {
  GRD_report g{};
  g.time = g.ltype = g.level = g.var = KEZ_MISS;
  g.date = Date{KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS};
  g.domain.proj = g.domain.nx = g.domain.ny = KEZ_MISS;
  g.domain.plat = g.domain.plon = g.domain.clat = g.domain.clon = KEZ_FMISS;
  g.domain.dx = g.domain.dy = KEZ_FMISS;
  for (float& p : g.domain.param) p = KEZ_FMISS;
  return g;
}

/* One tile of a model delivered as several files. */
struct Tile {
  int x = 0;           /* tile column, 0 at the west */
  int y = 0;           /* tile row, 0 at the north */
  int type = KEZ_MISS; /* grid number of its grids; -9999 any */
  std::string name;    /* naming convention of its files */
};

struct GridStore {
  std::array<GRD_report, GRD_STORE_SLOTS> grids = [] {
    std::array<GRD_report, GRD_STORE_SLOTS> a{};
    for (GRD_report& g : a) g = empty_record();
    return a;
  }();
  int grid_factor = 1;
  Date file_date{KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS};
  std::vector<Tile> tiles;      /* at most GRD_MAX_TILES; empty: the model is not tiled */
  int tiles_x = 1, tiles_y = 1; /* the mosaic's size in tiles */
  GRD_info info{};              /* header of the grid file last opened by a wrapper */
};

GridStore state;

bool is_miss(float v) { return v == KEZ_FMISS; }

/* Bounded copy into a fixed record field of n bytes. */
void copy_field(char* dst, size_t n, const char* src) {
  if (!src) src = "";
  size_t len = std::strlen(src);
  if (len >= n) len = n - 1;
  std::memmove(dst, src, len);
  dst[len] = '\0';
}

GRD_report* slot(const char* who, int ind) {
  if (ind < 0 || ind >= GRD_STORE_SLOTS) {
    MESS_print(M_warn, "%s: Grid slot %d out of range\n", who, ind);
    return nullptr;
  }
  return &state.grids[static_cast<size_t>(ind)];
}

/* Points of a domain: 0 when nx or ny is not positive or the product is
 * beyond GRD_MAX_POINTS. */
size_t domain_points(const Domain& d) {
  if (d.nx <= 0 || d.ny <= 0) return 0;
  long long n = static_cast<long long>(d.nx) * d.ny;
  return n > GRD_MAX_POINTS ? 0 : static_cast<size_t>(n);
}

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

float* new_array(size_t n) { return static_cast<float*>(std::malloc(n * sizeof(float))); }

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

/* ---- records ---------------------------------------------------------------- */

int GRD_init(GRD_report* grid) {
  if (!grid) return -1;
  grid->grid = nullptr;
  grid->datim[0] = '\0';
  grid->info[0] = '\0';
  grid->source = grid->model = grid->type = 0;
  grid->time = grid->ltype = grid->level = grid->var = KEZ_MISS;
  return 0;
}

int GRD_alloc(GRD_report* grid) {
  if (!grid) return 0;
  std::free(grid->grid);
  grid->grid = nullptr;
  size_t n = domain_points(grid->domain);
  if (n == 0) {
    MESS_print(M_warn, "GRD_alloc: Invalid grid size %d by %d\n", grid->domain.nx, grid->domain.ny);
    return 0;
  }
  grid->grid = new_array(n);
  if (!grid->grid) {
    MESS_print(M_warn, "GRD_alloc: No memory for grid field\n");
    return 0;
  }
  return 1;
}

int GRD_free(GRD_report* grid) {
  if (!grid) return -1;
  std::free(grid->grid);
  grid->grid = nullptr;
  grid->source = 0;
  DOM_init(&grid->domain);
  return 0;
}

int GRD_copy(GRD_report* grid2, GRD_report* grid1) {
  if (!grid1 || !grid2) return -1;
  if (grid1 == grid2) return 0;
  *grid2 = *grid1;
  grid1->grid = nullptr; /* the array moves with the copy */
  return 0;
}

int GRD_move(GRD_report* grid2, GRD_report* grid1) {
  if (!grid1 || !grid2) return -1;
  if (grid1 == grid2) return 0;
  *grid2 = *grid1;
  GRD_init(grid1);
  return 0;
}

int GRD_copy_info(GRD_report* grid2, const GRD_report* grid1) {
  if (!grid1 || !grid2) return -1;
  if (grid1 == grid2) return 0; /* dropping the array here would lose it */
  {
    std::memcpy(grid2->datim, grid1->datim, sizeof grid2->datim);
    std::memcpy(grid2->units, grid1->units, sizeof grid2->units);
    grid2->date = grid1->date;
    grid2->domain = grid1->domain;
    grid2->source = grid1->source;
    grid2->version = grid1->version;
    grid2->model = grid1->model;
    grid2->type = grid1->type;
  }
  grid2->grid = nullptr;
  return 0;
}

int GRD_set_info(GRD_info* info, const Date* date, const Domain* domain) {
  if (!info) return -1;
  info->grid_type = 0;
  if (date) info->date = *date;
  if (domain) {
    info->max_x = domain->nx;
    info->max_y = domain->ny;
  }
  return 0;
}

/* ---- the store ------------------------------------------------------------------ */

GRD_report* GRD_get_grids() { return state.grids.data(); }

GRD_report* GRD_get_grid(int ind) { return slot("GRD_get_grid", ind); }

int GRD_init_grids() {
  for (GRD_report& g : state.grids) {
    std::free(g.grid);
    GRD_init(&g);
  }
  return 0;
}

int GRD_set_grid(int ind, GRD_report* grd) {
  GRD_report* s = slot("GRD_set_grid", ind);
  if (!s || !grd) return -1;
  if (s == grd) return 0;
  if (s->grid && s->grid != grd->grid) std::free(s->grid);
  *s = *grd;
  grd->grid = nullptr;
  return 0;
}

int GRD_set_grid_domain(int ind, const Domain* dom) {
  GRD_report* s = slot("GRD_set_grid_domain", ind);
  if (!s || !dom) return -1;
  s->source = 0;
  s->version = 0;
  Domain d = *dom;
  int f = state.grid_factor;
  if (f != 1 && d.nx > 0 && d.ny > 0) {
    long long nx = static_cast<long long>(d.nx - 1) * f + 1;
    long long ny = static_cast<long long>(d.ny - 1) * f + 1;
    if (nx * ny > GRD_MAX_POINTS) {
      MESS_print(M_warn, "GRD_set_grid_domain: Refined grid too large\n");
      return -1;
    }
    d.nx = static_cast<int>(nx);
    d.ny = static_cast<int>(ny);
    if (!is_miss(d.dx)) d.dx /= static_cast<float>(f);
    if (!is_miss(d.dy)) d.dy /= static_cast<float>(f);
  }
  s->domain = d;
  return 0;
}

int GRD_get_grid_domain(int ind, Domain* dom) {
  GRD_report* s = slot("GRD_get_grid_domain", ind);
  if (!s || !dom) return -1;
  *dom = s->domain;
  return 0;
}

int GRD_set_grid_info(int ind, const char* str) {
  GRD_report* s = slot("GRD_set_grid_info", ind);
  if (!s) return -1;
  copy_field(s->info, sizeof s->info, str);
  return 0;
}

const char* GRD_get_grid_info(int ind) {
  GRD_report* s = slot("GRD_get_grid_info", ind);
  return s ? s->info : nullptr;
}

int GRD_set_grid_date(int ind, const Date* date, const char* str) {
  GRD_report* s = slot("GRD_set_grid_date", ind);
  if (!s) return -1;
  if (date) s->date = *date;
  copy_field(s->datim, sizeof s->datim, str);
  return 0;
}

int GRD_set_var(int ind) {
  GRD_report* s = slot("GRD_set_var", ind);
  if (!s) return -1;
  const VAR_data* v = VAR_get_var(ind);
  if (!v) return -1;
  s->var = v->var[0];
  s->time = v->time;
  s->ltype = v->ltype;
  s->level = v->level;
  copy_field(s->units, sizeof s->units, v->units);
  return 0;
}

int GRD_alloc_grid(int ind) {
  GRD_report* s = slot("GRD_alloc_grid", ind);
  if (!s) return -1;
  return GRD_alloc(s) ? 0 : -1;
}

int GRD_set_grid_factor(int fact) {
  if (fact > 0) state.grid_factor = fact;
  return 0;
}

int GRD_get_grid_factor() { return state.grid_factor; }

int GRD_set_date(const Date* datim) {
  if (datim)
    state.file_date = *datim;
  else
    FILE_get_date(&state.file_date);
  return 0;
}

int GRD_get_date(Date* datim) {
  if (!datim) return -1;
  *datim = state.file_date;
  return 0;
}

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
    for (int j = g.ny - 1; j >= 0; --j)
      for (int i = 0; i < g.nx; ++i, ++k)
        MAP_untran(static_cast<float>(x0 + i * g.dx), static_cast<float>(y0 + j * g.dy), &lat[k], &lon[k]);
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

/* ---- grid requests, matching and searches ---------------------------------------- */

namespace {

constexpr M_type kTraceParse = 0x40000000;
constexpr M_type kTraceTest = 0x80000000;
constexpr M_type kTracePiece = 0x10000000;
constexpr M_type kPrintGrids = 0xF000000;
constexpr M_type kWarnLow = 0x40;
constexpr size_t kNameMax = 159; /* path and file names */
constexpr size_t kModelMax = 19; /* model names in "model.lup" */
constexpr size_t kTileListMax = 159;

/* Field limits of a request. */
constexpr size_t kTimeMax = 9, kLevelMax = 19, kVarMax = 39, kGridMax = 9, kUnitsMax = 14;

/* The two-letter variable codes of requests. */
struct VarCode {
  const char* code;
  int param;
};
constexpr VarCode var_codes[] = {
    {"pr", 1},  {"hh", 7},  {"st", 11}, {"rh", 52},  {"li", 131}, {"uw", 33},  {"vw", 34},
    {"vv", 39}, {"qp", 61}, {"sc", 66}, {"wh", 100}, {"wp", 108}, {"wd", 107}, {"ss", 80},
};

/* Models known without a "model.lup" entry: the model flag and convention. */
struct KnownModel {
  const char* name;
  int flag;
  const char* conv;
};
constexpr KnownModel known_models[] = {
    {"ngm", 2, "grib_ngm"},  {"ngme", 2, "grib_ngme"}, {"eta", 3, "grib_eta"},  {"ruc", 4, "grib_ruc"},
    {"lfm", 1, "grib_lfm"},  {"avn", 15, "grib_avn"},  {"mrf", 15, "grib_mrf"}, {"ecmwf", 20, "grib_ecmwf"},
    {"sww", 31, "grib_sww"}, {"sst", 32, "grib_sst"},  {"sca", 33, "grib_sca"},
};

/* Input kinds named by "in_file" and "input" items. */
struct InputKind {
  const char* word;
  int kind;
};
constexpr InputKind input_kinds[] = {{"kez", GRD_KIND_KEZ}, {"cdf", GRD_KIND_CDF}, {"grib", GRD_KIND_GRIB}};

int resource_int(const char* name) {
  const char* v = RES_get(name);
  if (!v || !*v) return KEZ_MISS;
  char* end = nullptr;
  long x = std::strtol(v, &end, 10);
  if (end == v || x < -2147483647L || x > 2147483647L) return KEZ_MISS;
  return static_cast<int>(x);
}

void empty_request(VAR_data* p) {
  p->time = p->ltype = p->level = KEZ_MISS;
  for (int& v : p->var) v = KEZ_MISS;
  p->units[0] = '\0';
}

/* The words of "model.lup": comments (a word beginning "#") run to the end
 * of their line. */
std::vector<std::string> lookup_words(FILE* fp) {
  std::vector<std::string> out;
  std::string line;
  while (fget_text_line(fp, &line)) {
    size_t i = 0;
    while (i < line.size()) {
      while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
      if (i >= line.size()) break;
      if (line[i] == '#') break;
      size_t j = i;
      while (j < line.size() && !std::isspace(static_cast<unsigned char>(line[j]))) ++j;
      out.emplace_back(line, i, j - i);
      i = j;
    }
  }
  return out;
}

/* Reads a model's entry (size word and tile list) into the tile table;
 * false, with a message and no tiles, for an entry the table cannot hold. */
bool take_entry(const std::string& model, const std::string& size, const std::string& list, int default_type) {
  state.tiles.clear();
  state.tiles_x = state.tiles_y = 1;
  /* "NxM", or "N" alone for one row of tiles. */
  int nx = 0, ny = 1;
  size_t x_at = size.find('x');
  auto small_int = [](const std::string& t, int* v) {
    if (t.empty() || t.size() > 2 || t.find_first_not_of("0123456789") != std::string::npos) return false;
    *v = std::atoi(t.c_str());
    return true;
  };
  bool ok = x_at == std::string::npos ? small_int(size, &nx)
                                      : small_int(size.substr(0, x_at), &nx) && small_int(size.substr(x_at + 1), &ny);
  if (!ok || nx < 1 || ny < 1 || nx * ny > GRD_MAX_TILES) {
    MESS_print(M_warn, "GRD_in_file: Invalid mosaic size for model %s: %s\n", model.c_str(), size.c_str());
    return false;
  }
  if (list.size() > kTileListMax) {
    MESS_print(M_warn, "GRD_in_file: Tile list of model %s too long\n", model.c_str());
    return false;
  }
  std::vector<Tile> tiles;
  size_t start = 0;
  int x = 0, y = 0;
  while (start <= list.size()) {
    size_t comma = list.find(',', start);
    std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    start = comma == std::string::npos ? list.size() + 1 : comma + 1;
    if (static_cast<int>(tiles.size()) == nx * ny) {
      MESS_print(M_warn, "GRD_in_file: Model %s lists more tiles than its %dx%d mosaic\n", model.c_str(), nx, ny);
      return false;
    }
    Tile t;
    t.x = x;
    t.y = y;
    t.type = default_type;
    size_t hash = item.find('#');
    t.name = item.substr(0, hash);
    if (hash != std::string::npos) {
      char* end = nullptr;
      std::string num = item.substr(hash + 1);
      long v = std::strtol(num.c_str(), &end, 10);
      if (num.empty() || *end || num.size() > kGridMax) {
        MESS_print(M_warn, "GRD_in_file: Invalid grid number in tile %s\n", item.c_str());
        return false;
      }
      t.type = static_cast<int>(v);
    }
    if (t.name.empty() || t.name.size() >= static_cast<size_t>(GRD_TILE_NAME_LEN)) {
      MESS_print(M_warn, "GRD_in_file: Invalid tile name in model %s: %s\n", model.c_str(), item.c_str());
      return false;
    }
    tiles.push_back(t);
    if (++x == nx) {
      x = 0;
      ++y;
    }
  }
  state.tiles = tiles;
  state.tiles_x = nx;
  state.tiles_y = ny;
  return true;
}

} // namespace

int GRD_in_file() {
  std::string model = "ngm";
  VAR_set_model_str(model.c_str());
  std::vector<std::string> words;
  std::string path = FILE_add_path(RES_get("file_path"), "model.lup");
  if (FILE* fp = FILE_open(path.c_str(), "r")) {
    words = lookup_words(fp);
    FILE_close(fp);
    if (!words.empty() && words[0].size() <= kModelMax) {
      model = words[0];
      VAR_set_model_str(model.c_str());
    }
  }
  const int default_type = resource_int("grid_type");
  bool found = false;
  if (const char* m = RES_get("model"); m && *m) {
    model = m;
    VAR_set_model_str(model.c_str());
    state.tiles.clear();
    for (size_t i = 0; i < words.size(); i += 3) {
      if (words[i].size() > kModelMax) {
        MESS_print(M_warn, "GRD_in_file: Model name too long in model.lup: %.40s\n", words[i].c_str());
        continue;
      }
      if (stricmp(words[i].c_str(), model.c_str()) != 0) continue;
      if (i + 2 >= words.size()) {
        MESS_print(M_warn, "GRD_in_file: Incomplete entry of model %s\n", model.c_str());
        break;
      }
      if (take_entry(words[i], words[i + 1], words[i + 2], default_type)) {
        found = true;
        FILE_set_name(state.tiles[0].name.c_str());
      }
      break;
    }
  }
  if (!found) {
    state.tiles.clear();
    const KnownModel* known = nullptr;
    for (const KnownModel& k : known_models)
      if (stricmp(k.name, model.c_str()) == 0) known = &k;
    if (known) {
      FLAG_set(GRD_FLAG_MODEL, known->flag);
      FILE_set_name(known->conv);
    } else {
      FILE_set_name(("grib_" + model).c_str());
    }
  }
  int argc = 0;
  char** argv = nullptr;
  RES_getvals("in_file", &argc, &argv);
  {
    for (int i = 0; i < argc; ++i) {
      const char* item = argv[i];
      if (strnicmp(item, "kez", 3) == 0)
        FLAG_set(GRD_FLAG_FILE_KIND, GRD_KIND_KEZ);
      else if (strnicmp(item, "cdf", 3) == 0)
        FLAG_set(GRD_FLAG_FILE_KIND, GRD_KIND_CDF);
      else if (stricmp(item, "grib") == 0)
        FLAG_set(GRD_FLAG_FILE_KIND, GRD_KIND_GRIB);
      else if (std::strlen(item) > kNameMax)
        MESS_print(M_warn, "GRD_in_file: Input name too long: %.40s\n", item);
      else {
        FILE_set_name(item);
        if (!state.tiles.empty()) {
          if (std::strlen(item) >= static_cast<size_t>(GRD_TILE_NAME_LEN))
            MESS_print(M_warn, "GRD_in_file: Tile name too long: %.40s\n", item);
          else
            state.tiles[0].name = item;
        }
      }
    }
  }
  free_parsed_array(argc, argv);
  argc = 0;
  argv = nullptr;
  RES_getvals("input", &argc, &argv);
  for (int i = 0; i < argc; ++i)
    for (const InputKind& k : input_kinds)
      if (stricmp(argv[i], k.word) == 0) FLAG_set(GRD_FLAG_FILE_KIND, k.kind);
  free_parsed_array(argc, argv);
  if (const char* g = RES_get("grid_num"); g && *g) FILE_set_ext_info(g);
  return 0;
}

int GRD_parse_params(const char* str, VAR_data* params, int* type) {
  if (!params) return GRD_REQ_NONE;
  empty_request(params);
  int gt = resource_int("grid_type");
  if (type && gt != KEZ_MISS) *type = gt;
  if (!str || !*str || std::strcmp(str, "-") == 0) return GRD_REQ_NONE;
  const std::string s = str;
  /* A request that cannot be read matches nothing rather than anything. */
  auto refuse = [&](const char* why) {
    MESS_print(M_warn, "GRD_parse_params: %s: %.60s\n", why, str);
    empty_request(params);
    return GRD_REQ_SELECT;
  };
  auto set_units = [&](const std::string& u) {
    if (u.size() > kUnitsMax) return false;
    std::snprintf(params->units, sizeof params->units, "%s", u.c_str());
    return true;
  };
  if (s[0] == '#') {
    size_t colon = s.find(':');
    std::string num = s.substr(1, colon == std::string::npos ? std::string::npos : colon - 1);
    char* end = nullptr;
    long n = std::strtol(num.c_str(), &end, 10);
    if (num.empty() || *end || num.size() > kTimeMax || n < 0) return refuse("Invalid grid position");
    if (colon != std::string::npos && !set_units(s.substr(colon + 1))) return refuse("Units too long");
    return static_cast<int>(n);
  }
  if (s[0] == ':') {
    if (!set_units(s.substr(1))) return refuse("Units too long");
    return GRD_REQ_NONE;
  }
  std::string tfield, lfield, vfield;
  if (s[0] == '-') {
    size_t colon = s.find(':');
    std::string body = s.substr(1, colon == std::string::npos ? std::string::npos : colon - 1);
    tfield = body.substr(0, std::min<size_t>(2, body.size()));
    if (body.size() > 2) lfield = body.substr(2, 2);
    if (body.size() > 4) vfield = body.substr(4, 2);
    if (colon != std::string::npos && !set_units(s.substr(colon + 1))) return refuse("Units too long");
  } else if (s[0] == '+') {
    std::vector<std::string> f;
    size_t start = 1;
    while (start <= s.size()) {
      size_t colon = s.find(':', start);
      f.push_back(s.substr(start, colon == std::string::npos ? std::string::npos : colon - start));
      start = colon == std::string::npos ? s.size() + 1 : colon + 1;
    }
    if (f.size() > 5) return refuse("Too many request fields");
    f.resize(5);
    tfield = f[0];
    lfield = f[1];
    vfield = f[2];
    if (tfield.size() > kTimeMax || lfield.size() > kLevelMax || vfield.size() > kVarMax || f[4].size() > kGridMax)
      return refuse("Request field too long");
    if (!set_units(f[3])) return refuse("Units too long");
    if (!f[4].empty()) {
      char* end = nullptr;
      long g = std::strtol(f[4].c_str(), &end, 10);
      if (*end) return refuse("Invalid grid number");
      if (type) *type = static_cast<int>(g);
    }
  } else {
    return refuse("Invalid request");
  }
  VAR_dec_time(tfield.c_str(), &params->time);
  VAR_dec_level(lfield.c_str(), &params->ltype, &params->level);
  const VarCode* code = nullptr;
  for (const VarCode& c : var_codes) {
    bool exact = std::strcmp(c.code, "pr") == 0;
    if (exact ? vfield == c.code : stricmp(vfield.c_str(), c.code) == 0) code = &c;
  }
  if (code)
    params->var[0] = code->param;
  else
    VAR_dec_var(vfield.c_str(), params);
  MESS_print(kTraceParse, "GRD_parse: %d %d %d %d\n", params->time, params->ltype, params->level, params->var[0]);
  return GRD_REQ_SELECT;
}

int GRD_set_params(VAR_data* params, int time, int ltype, int level, int var) {
  if (!params) return -1;
  params->time = time;
  params->ltype = ltype;
  params->level = level;
  params->var[0] = var;
  for (int i = 1; i < 5; ++i) params->var[i] = 0;
  return 0;
}

int GRD_test(const GRD_report* grid, const VAR_data* params, int type) {
  if (!grid || !params) return 0;
  bool var_ok = false;
  for (int v : params->var)
    if (v != KEZ_MISS && v == grid->var) var_ok = true;
  bool ltype_ok = params->ltype == KEZ_MISS || params->ltype == grid->ltype;
  bool level_ok = params->level == KEZ_MISS || params->level == grid->level;
  bool time_ok;
  if (params->time == KEZ_MISS)
    time_ok = true;
  else if (params->time > 1000)
    time_ok = params->time == grid->time;
  else
    time_ok = params->time == grid->time % 1000; /* an hour matches every range ending then */
  bool type_ok = type == KEZ_MISS || type == grid->type;
  int res = var_ok && ltype_ok && level_ok && time_ok && type_ok ? 1 : 0;
  MESS_print(kTraceTest, "Searching: T-%d:%d LT-%d:%d L-%d:%d V-%d,%d,%d,%d,%d:%d G-%d:%d = %d\n", params->time,
             grid->time, params->ltype, grid->ltype, params->level, grid->level, params->var[0], params->var[1],
             params->var[2], params->var[3], params->var[4], grid->var, type, grid->type, res);
  return res;
}

namespace {

/* The slots a search wants: all with a negative num, else the grids to read. */
bool wanted(int i, bool all) { return all || VAR_is_get_GRID(i); }

/* Reads record pos whole into g and converts it to the request's units. */
bool read_whole(int fd, int pos, GRD_report* g, const VAR_data& req) {
  int p = pos;
  if (GRD_read(fd, g, GRD_READ_ALL, &p) != 0) {
    g->source = 0;
    return false;
  }
  if (req.units[0]) GRD_units(g, req.units);
  return true;
}

} // namespace

int GRD_search(int grd_fd, GRD_report* grids, const VAR_data* params, int type, int num) {
  if (!grids || !params) return 0;
  const bool all = num < 0;
  const int n = std::min(num < 0 ? -num : num, GRD_STORE_SLOTS);
  int done = 0;
  for (int i = 0; i < n; ++i)
    if (grids[i].source != 0 || !wanted(i, all)) ++done;
  GRD_report hdr;
  GRD_init(&hdr);
  for (int pos = 0; done < n; ++pos) {
    int p = pos;
    const int res = GRD_read(grd_fd, &hdr, GRD_READ_HEADER, &p);
    if (res == -1) break;
    if (res != 0) continue; /* a record without a usable grid */
    for (int i = 0; i < n; ++i) {
      if (!wanted(i, all) || grids[i].source != 0 || !GRD_test(&hdr, &params[i], type)) continue;
      if (read_whole(grd_fd, pos, &grids[i], params[i])) ++done;
    }
  }
  std::free(hdr.grid);
  return done >= n ? 1 : 0;
}

int GRD_search_piece(int grd_fd, int ind, GRD_report* grids, const VAR_data* params, int num) {
  if (!grids || !params || ind < 0 || ind >= static_cast<int>(state.tiles.size())) return 0;
  const Tile tile = state.tiles[static_cast<size_t>(ind)];
  const bool all = num < 0;
  const int n = std::min(num < 0 ? -num : num, GRD_STORE_SLOTS);
  std::vector<bool> got(static_cast<size_t>(n), false);
  int done = 0;
  for (int i = 0; i < n; ++i)
    if (!wanted(i, all)) ++done;
  GRD_report hdr, work;
  GRD_init(&hdr);
  GRD_init(&work);
  for (int pos = 0; done < n; ++pos) {
    int p = pos;
    const int res = GRD_read(grd_fd, &hdr, GRD_READ_HEADER, &p);
    if (res == -1) break;
    if (res != 0) continue; /* a record without a usable grid */
    for (int i = 0; i < n; ++i) {
      if (!wanted(i, all) || !GRD_test(&hdr, &params[i], tile.type)) continue;
      if (!read_whole(grd_fd, pos, &work, params[i])) continue;
      GRD_report& slot_rec = grids[i];
      bool had = got[static_cast<size_t>(i)];
      if (slot_rec.source == 0) {
        /* The mosaic is laid out from the north-west tile, whichever tile
         * comes first. */
        GRD_report nw = work;
        nw.grid = nullptr;
        const Domain& t = work.domain;
        nw.domain.clon = t.clon - static_cast<float>(tile.x * (t.nx - 1)) * t.dx;
        nw.domain.clat = t.clat + static_cast<float>(tile.y * (t.ny - 1)) * t.dy;
        if (GRD_piece_setup(&slot_rec, state.tiles_x, state.tiles_y, &nw) != 0) continue;
      }
      if (GRD_piece_grid(&slot_rec, tile.x, tile.y, &work) != 0)
        MESS_print(M_warn, "GRD_search_piece: Tile %d does not fit its mosaic\n", ind);
      if (!had) {
        got[static_cast<size_t>(i)] = true;
        ++done;
      }
      MESS_print(kTracePiece, "Found: %d T-%d LT-%d L-%d V-%d G-%d = %d %d - %d\n", i, slot_rec.time, slot_rec.ltype,
                 slot_rec.level, slot_rec.var, slot_rec.type, had ? 1 : 0, done, num);
    }
  }
  std::free(hdr.grid);
  std::free(work.grid);
  for (int i = 0; i < n; ++i)
    if (wanted(i, all) && grids[i].source == 0)
      MESS_print(M_warn, "Grid missing: %d %d %d %d\n", params[i].time, params[i].ltype, params[i].level,
                 params[i].var[0]);
  return done >= n ? 1 : 0;
}

/* Room of the labels built for grid descriptions. */
constexpr int grid_label_len = 160;

int GRD_make_datatype(GRD_report* grid, const char* oper) {
  (void)oper;
  if (!grid) return -1;
  char buf[grid_label_len] = "";
  VAR_make_datatype(grid->time, grid->ltype, grid->level, grid->var, grid->units, buf, sizeof buf);
  copy_field(grid->info, sizeof grid->info, buf);
  return 0;
}

int GRD_make_devtype(GRD_report* ogrid, const GRD_report* igrid, const char* str) {
  if (!ogrid || !igrid) return -1;
  const std::string text = str ? str : "";
  char name[grid_label_len] = "";
  if (igrid->var != 0) {
    VAR_str(name, igrid->var, nullptr, sizeof name);
  } else {
    std::vector<char> var(text.size() + 1), units(text.size() + 1);
    UNIT_parse(text.c_str(), var.data(), units.data());
    copy_field(name, sizeof name, var.data());
  }
  std::string full = std::string(name) + " " + text;
  char buf[grid_label_len] = "";
  VAR_make_devtype(ogrid->time, ogrid->ltype, ogrid->level, full.c_str(), ogrid->units, buf, sizeof buf);
  copy_field(ogrid->info, sizeof ogrid->info, buf);
  return 0;
}

int GRD_print_info(M_type level, GRD_report* grid, int type) {
  if (!grid || !MESS_check(level)) return 0;
  switch (type) {
    case 0:
    case -1:
    case -2: {
      if (!grid->info[0]) GRD_make_datatype(grid, nullptr);
      if (!grid->datim[0]) {
        std::string label;
        if (type == -2)
          DATE_make_label_for(grid->time, grid->model, 0L, &label);
        else
          DATE_make_label_for_time(grid->time, type == 0 ? grid->source * 1000 + grid->model : grid->model, &grid->date,
                                   &label);
        copy_field(grid->datim, sizeof grid->datim, label.c_str());
      }
      MESS_print(level, type == 0 ? "%s-%s\n" : "%s - %s\n", grid->datim, grid->info);
      break;
    }
    case 1:
      MESS_print(level, "Model: %d Ltype: %d Level: %d Var: %d [%s] Hour: %d Grid: %d\n", grid->model, grid->ltype,
                 grid->level, grid->var, grid->units, grid->time, grid->type);
      break;
    case 2:
      if (grid->domain.proj != KEZ_MISS)
        MESS_print(level, "Proj: %d Lat: %3.2f Lon: %3.2f NX: %d NY: %d DX: %3.2f DY: %3.2f\n", grid->domain.proj,
                   grid->domain.clat, grid->domain.clon, grid->domain.nx, grid->domain.ny, grid->domain.dx,
                   grid->domain.dy);
      break;
    case 3:
      GRD_make_datatype(grid, nullptr);
      MESS_print(level, "%s\n", grid->info);
      break;
    default: break;
  }
  return 0;
}

int GRD_print(M_type level, GRD_report* grid) {
  if (!grid || !MESS_check(level)) return -1;
  GRD_print_info(level, grid, 1);
  GRD_print_info(level, grid, 2);
  MESS_print(level, "Domain: ");
  DOM_print(level, &grid->domain);
  return 0;
}

/* ---- grid file wrappers ----------------------------------------------------------------- */

namespace {

/* Output keywords of "out_file": prefix, type, default convention. */
struct OutKind {
  const char* word;
  int type;
  const char* conv;
};
constexpr OutKind out_kinds[] = {
    {"kezb", GRD_TYPE_BINARY, "grd_kez"},
    {"kez", GRD_TYPE_TEXT, "grd_kez"},
    {"cdf", GRD_TYPE_NETCDF, "grd_cdf"},
    {"grib", GRD_TYPE_GRIB, "grd_grib"},
};

/* Items of "out_file" that belong to other outputs (image dumps). */
constexpr const char* out_skipped[] = {"gif", "png"};

std::string grid_path(const char* name) { return FILE_add_path(RES_get("grid_path"), name); }

/* The open type of the domain and date readers: GRIB for GRIB input, else detected. */
int input_type() { return FLAG_get(GRD_FLAG_FILE_KIND) == GRD_KIND_GRIB ? GRD_TYPE_GRIB : 0; }

/* Closes a handle when it goes out of scope. */
struct Handle {
  int fd;
  explicit Handle(int f) : fd(f) {}
  ~Handle() {
    if (fd >= 0) GRD_close(fd);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
};

/* A record that releases its array when it goes out of scope. */
struct WorkGrid {
  GRD_report r;
  WorkGrid() {
    std::memset(&r, 0, sizeof r);
    GRD_init(&r);
  }
  ~WorkGrid() { std::free(r.grid); }
  WorkGrid(const WorkGrid&) = delete;
  WorkGrid& operator=(const WorkGrid&) = delete;
};

/* The file name of the current convention for a date. */
std::string dated_name(const Date* date) {
  std::vector<char> buf(static_cast<size_t>(FILE_PATH_LEN), '\0');
  FILE_set_date(date, buf.data());
  return buf.data();
}

/* Opens the companion header file of a date when the convention names one. */
void open_header_file(int fd, const Date* date) {
  std::vector<char> buf(static_cast<size_t>(FILE_PATH_LEN), '\0');
  if (FILE_hdr_set_date(date, buf.data()) == 1) GRD_hdr_open(fd, buf.data());
}

/* Scans the headers of an open file for the grid number wanted (any when
 * -9999); the position of the chosen grid, or -1 when the file holds none. */
int scan_for_type(int fd, int want, GRD_report* hdr) {
  int last = -1;
  for (int pos = 0;; ++pos) {
    int p = pos;
    const int res = GRD_read(fd, hdr, GRD_READ_HEADER, &p);
    if (res == -1) break;
    if (res != 0) continue; /* a record without a usable grid */
    last = pos;
    if (want == KEZ_MISS || hdr->type == want) return pos;
  }
  if (last >= 0) {
    int p = last;
    GRD_read(fd, hdr, GRD_READ_HEADER, &p);
  }
  return last;
}

/* Reads one grid of an open file by the request. 1 read, 0 not there. */
int read_requested(int fd, int req, const VAR_data& params, int gtype, GRD_report* grid) {
  if (req == GRD_REQ_NONE) return read_whole(fd, 0, grid, params) ? 1 : 0;
  if (req >= 0) return read_whole(fd, req, grid, params) ? 1 : 0;
  return GRD_search(fd, grid, &params, gtype, -1);
}

/* The create-or-append decision of the save functions; the handle or -1. */
int open_for_saving(const char* who, const std::string& name, int type) {
  int decision = FILE_overwrite(name.c_str(), 1);
  int fd = -1;
  int t = type;
  if (decision == 1 || decision == 0) {
    fd = GRD_open(name.c_str(), GRD_ACCESS_WRITE, &t);
    if (fd < 0) {
      MESS_print(kWarnLow, "%s: Unable to create grid file: %s\n", who, name.c_str());
      return -1;
    }
    MESS_print(M_mess, "Creating grid file: %s\n", name.c_str());
  } else if (decision == 2) {
    fd = GRD_open(name.c_str(), GRD_ACCESS_APPEND, &t);
    if (fd < 0) {
      MESS_print(kWarnLow, "%s: Unable to %s grid file: %s\n", who,
                 std::strcmp(who, "GRD_open_out_file") == 0 ? "create" : "open", name.c_str());
      return -1;
    }
    MESS_print(M_mess, "Appending to grid file: %s\n", name.c_str());
  } else {
    MESS_print(kWarnLow, "%s: Unable to overwrite grid file: %s\n", who, name.c_str());
  }
  return fd;
}

/* Saves every grid record of the variable list to the files that "out_file"
 * names; the last name written goes to out (size bytes) when given. */
void save_results(char* out, size_t size) {
  FILE_save_name_conv();
  GRD_report* grids = GRD_get_grids();
  for (int i = VAR_get_num() - 1; i >= 0; --i) {
    if (!VAR_is_type_GRID(i)) continue;
    /* A grid that was neither read nor computed has nothing to save. */
    if (i >= GRD_STORE_SLOTS || grids[i].source == 0 || !grids[i].grid) continue;
    int type = GRD_out_file(0);
    FILE_set_key('x', VAR_get_model_str());
    FILE_set_key('f', VAR_get_time_key(i));
    FILE_set_key('l', VAR_get_level_key(i));
    FILE_set_key('v', VAR_get_name(i));
    std::string name = dated_name(&state.info.date);
    if (out && size > 0) {
      size_t n = std::min(name.size(), size - 1);
      std::memcpy(out, name.data(), n);
      out[n] = '\0';
    }
    GRD_save_file(name.c_str(), &grids[i], &state.info, type);
  }
  FILE_restore_name_conv();
}

/* Empties the store and gives each slot its variable's codes. */
void prepare_store() {
  GRD_init_grids();
  for (int i = 0; i < VAR_get_num() && i < GRD_STORE_SLOTS; ++i) GRD_set_var(i);
}

/* Reports the grids to be fitted that a search left empty. */
void report_missing(const char* what) {
  GRD_report* grids = GRD_get_grids();
  for (int i = 0; i < VAR_get_num() && i < GRD_STORE_SLOTS; ++i) {
    if (grids[i].source != 0 || !VAR_is_fit_GRID(i)) continue;
    MESS_print(M_warn, "%s: %d ", what, i);
    VAR_print_info(M_warn, VAR_get_var(i));
  }
}

} // namespace

int GRD_out_file(int type) {
  FILE_set_name("grd_grd");
  int result = type;
  bool taken = false, typed = false;
  int argc = 0;
  char** argv = nullptr;
  RES_getvals("out_file", &argc, &argv);
  for (int i = 0; i < argc; ++i) {
    const char* item = argv[i];
    if (stricmp(item, "none") == 0) continue;
    bool skip = false;
    for (const char* w : out_skipped)
      if (strnicmp(item, w, static_cast<int>(std::strlen(w))) == 0) skip = true;
    if (skip) continue;
    if (std::strlen(item) > kNameMax) {
      MESS_print(M_warn, "GRD_out_file: Output name too long: %.40s\n", item);
      continue;
    }
    const OutKind* kind = nullptr;
    for (const OutKind& k : out_kinds)
      if (strnicmp(item, k.word, static_cast<int>(std::strlen(k.word))) == 0) {
        kind = &k;
        break;
      }
    taken = true;
    if (kind) {
      size_t len = std::strlen(kind->word);
      /* One separator character, then the convention's name. */
      FILE_set_name(std::strlen(item) > len + 1 ? item + len + 1 : kind->conv);
      result = kind->type;
      typed = true;
    } else {
      FILE_set_name(item);
    }
  }
  free_parsed_array(argc, argv);
  if (taken && !typed) result = GRD_TYPE_TEXT;
  if (result != 0) FLAG_set(GRD_FLAG_FILE_KIND, result);
  return result;
}

int GRD_get_file_domain(const char* filename, Domain* domain) {
  if (!filename || !domain) return -1;
  int type = input_type();
  Handle h(GRD_open(filename, GRD_ACCESS_READ, &type));
  if (h.fd < 0) {
    MESS_print(M_warn, "GRD_get_file_domain: Unable to open grid file:%s\n", filename);
    return -1;
  }
  MESS_print(M_mess, "Getting domain from grid file:%s\n", filename);
  GRD_getinfo(h.fd, &state.info);
  WorkGrid hdr;
  if (scan_for_type(h.fd, resource_int("grid_type"), &hdr.r) < 0) {
    MESS_print(M_warn, "GRD_get_file_domain: No grid in file: %s\n", filename);
    return -1;
  }
  *domain = hdr.r.domain;
  return 1;
}

int GRD_get_file_date_domain(const Date* date, Domain* domain) {
  if (!domain) return -1;
  Date d{};
  if (date)
    d = *date;
  else
    GRD_get_date(&d);
  int want = resource_int("grid_type");
  const bool tiled = !state.tiles.empty();
  if (tiled) {
    FILE_set_name(state.tiles[0].name.c_str());
    if (want == KEZ_MISS) want = state.tiles[0].type;
  }
  std::string name = dated_name(&d);
  int type = input_type();
  Handle h(GRD_open(name.c_str(), GRD_ACCESS_READ, &type));
  if (h.fd < 0) {
    MESS_print(M_warn, "GRD_get_file_date_domain: Unable to open grid file:%s\n", name.c_str());
    return -1;
  }
  MESS_print(M_mess, "Getting domain from grid file:%s\n", name.c_str());
  open_header_file(h.fd, &d);
  GRD_info info{};
  GRD_getinfo(h.fd, &info);
  WorkGrid g;
  int pos = scan_for_type(h.fd, want, &g.r);
  if (pos < 0 || GRD_read(h.fd, &g.r, GRD_READ_ALL, &pos) != 0) {
    MESS_print(M_warn, "GRD_get_file_date_domain: No grid in file: %s\n", name.c_str());
    return -1;
  }
  if (tiled && GRD_piece_setup(&g.r, state.tiles_x, state.tiles_y, nullptr) != 0) return -1;
  *domain = g.r.domain;
  return 1;
}

int GRD_read_file(char* filename, GRD_report* grid, GRD_info* info, int* type) {
  if (!filename || !grid || !info || !type) return -1;
  int gtype = resource_int("grid_type");
  FILE_extract_extra_info(filename);
  VAR_data params{};
  int req = GRD_parse_params(FILE_get_ext_info(), &params, &gtype);
  std::string name = grid_path(filename);
  std::free(grid->grid);
  GRD_init(grid);
  Handle h(GRD_open(name.c_str(), GRD_ACCESS_READ, type));
  if (h.fd < 0) {
    MESS_print(M_warn, "GRD_read_file: Unable to open grid file: %s\n", name.c_str());
    return -1;
  }
  MESS_print(M_mess, "Reading from grid file: %s\n", name.c_str());
  GRD_getinfo(h.fd, info);
  grid->source = 0;
  if (read_requested(h.fd, req, params, gtype, grid) != 1) {
    MESS_print(M_warn, "GRD_read_file: Grid not found in file\n");
    return 0;
  }
  return 1;
}

int GRD_read_file_date(const Date* date, const char* extra, GRD_report* grid, GRD_info* info, int* type) {
  if (!grid || !info || !type) return -1;
  int gtype = resource_int("grid_type");
  VAR_data params{};
  int req = GRD_parse_params(extra, &params, &gtype);
  std::string plain = dated_name(date);
  std::string name = grid_path(plain.c_str());
  std::free(grid->grid);
  GRD_init(grid);
  Handle h(GRD_open(name.c_str(), GRD_ACCESS_READ, type));
  if (h.fd < 0) {
    MESS_print(M_warn, "GRD_read_file_date: Unable to open grid file: %s\n", name.c_str());
    return -1;
  }
  MESS_print(M_mess, "Reading from grid file: %s\n", plain.c_str());
  open_header_file(h.fd, date);
  GRD_getinfo(h.fd, info);
  grid->source = 0;
  if (read_requested(h.fd, req, params, gtype, grid) != 1) {
    MESS_print(M_warn, "GRD_read_file_date: Grid not found in file\n");
    return 0;
  }
  return 1;
}

int GRD_search_file(char* filename, size_t size) {
  if (!filename || size == 0) return -1;
  const int gtype = resource_int("grid_type");
  prepare_store();
  const std::string name(filename, strnlen(filename, size));
  int type = 0;
  {
    Handle h(GRD_open(name.c_str(), GRD_ACCESS_READ, &type));
    if (h.fd < 0) {
      MESS_print(M_warn, "GRD_search_file: Unable to open grid file: %s\n", name.c_str());
      return -1;
    }
    MESS_print(M_mess, "Reading from grid file: %s\n", name.c_str());
    GRD_getinfo(h.fd, &state.info);
    if (!GRD_search(h.fd, GRD_get_grids(), VAR_get_var(0), gtype, VAR_get_num()))
      report_missing("GRD_search_file: Grid not found in file");
  }
  GRD_calc_var();
  save_results(filename, size);
  return 1;
}

int GRD_search_file_date(const Date* date) {
  const int gtype = resource_int("grid_type");
  prepare_store();
  MESS_print(kPrintGrids, "Grids used:\n");
  for (int i = 0; i < VAR_get_num() && i < GRD_STORE_SLOTS; ++i) {
    MESS_print(kPrintGrids, "%3d: ", i);
    VAR_print(kPrintGrids, VAR_get_var(i));
  }
  Date d{};
  if (date)
    d = *date;
  else
    GRD_get_date(&d);
  if (state.tiles.empty()) {
    std::string name = dated_name(&d);
    int type = input_type();
    Handle h(GRD_open(name.c_str(), GRD_ACCESS_READ, &type));
    if (h.fd < 0) {
      MESS_print(M_warn, "GRD_search_file_date: unable to open file: %s\n", name.c_str());
      return -1;
    }
    MESS_print(M_mess, "Reading from grid file: %s\n", name.c_str());
    open_header_file(h.fd, &d);
    GRD_getinfo(h.fd, &state.info);
    if (!GRD_search(h.fd, GRD_get_grids(), VAR_get_var(0), gtype, VAR_get_num()))
      report_missing("GRD_search_file_date: grid not found in file");
  } else {
    for (size_t t = 0; t < state.tiles.size(); ++t) {
      FILE_set_name(state.tiles[t].name.c_str());
      std::string name = dated_name(&d);
      int type = input_type();
      Handle h(GRD_open(name.c_str(), GRD_ACCESS_READ, &type));
      if (h.fd < 0) {
        /* The mosaic keeps -9999 where this tile would go. */
        MESS_print(M_warn, "GRD_search_file_date: unable to open file: %s\n", name.c_str());
        MESS_print(M_warn, "Grid missing: tile %s\n", state.tiles[t].name.c_str());
        continue;
      }
      MESS_print(M_mess, "Reading from grid file: %s\n", name.c_str());
      open_header_file(h.fd, &d);
      GRD_getinfo(h.fd, &state.info);
      GRD_search_piece(h.fd, static_cast<int>(t), GRD_get_grids(), VAR_get_var(0), VAR_get_num());
    }
  }
  GRD_calc_var();
  save_results(nullptr, 0);
  return 1;
}

int GRD_save_file(const char* filename, GRD_report* grid, const GRD_info* info, int type) {
  if (type == 0 || !filename || !grid) return 0;
  std::string name = grid_path(filename);
  int fd = open_for_saving("GRD_save_file", name, type);
  if (fd < 0) return 0;
  return GRD_save_grid(fd, grid, info) == 0 ? 1 : 0;
}

int GRD_open_out_file(const char* filename, int type) {
  if (type == 0 || !filename) return -1;
  return open_for_saving("GRD_open_out_file", grid_path(filename), type);
}

int GRD_save_grid(int grd_fd, GRD_report* grid, const GRD_info* info) {
  int res = 0;
  if (GRD_putinfo(grd_fd, info) != 0) res = -1;
  int pos = 0;
  if (res == 0 && GRD_write(grd_fd, grid, 0, &pos) != 0) res = -1;
  if (res != 0) MESS_print(M_warn, "GRD_save_grid: Unable to write the grid\n");
  GRD_close(grd_fd);
  return res;
}

int GRD_read_check(const char* filename, GRD_report* grid, GRD_info* info, int* type, const Domain* domain) {
  if (!filename || !*filename || !grid || !info || !type || !domain) return 0;
  /* Joined as GRD_save_file joins it, so that a saved grid is found again. */
  std::string name = grid_path(filename);
  if (FILE_is_stdio(name.c_str()) || !FILE_exist(name.c_str())) return 0;
  const int param = FLAG_get(GRD_FLAG_FILE_PARAM);
  if (param == 1) return 0;
  if (param == 0 && !FLAG_batch()) {
    std::string prompt = name + ": exists overwrite (Y/N): ";
    char answer[4] = "";
    KEZ_prompts(prompt.c_str(), answer, 3);
    if (answer[0] == 'Y' || answer[0] == 'y') return 0;
  }
  *type = 0;
  Handle h(GRD_open(name.c_str(), GRD_ACCESS_READ, type));
  if (h.fd < 0) {
    MESS_print(M_warn, "GRD_read_check: Grid file does not exist: %s\n", name.c_str());
    return 0;
  }
  GRD_getinfo(h.fd, info);
  grid->source = 0;
  int pos = 0;
  if (GRD_read(h.fd, grid, GRD_READ_ALL, &pos) != 0) {
    MESS_print(M_warn, "GRD_read_check: No grid in file: %s\n", name.c_str());
    std::free(grid->grid);
    grid->grid = nullptr;
    grid->source = 0;
    return 0;
  }
  if (DOM_comp(&grid->domain, domain)) return 1;
  MESS_print(M_warn, "GRD_read_check: %s file does not correspond to selected region\n", name.c_str());
  std::free(grid->grid);
  grid->grid = nullptr;
  grid->source = 0;
  return 0;
}

/* ---- soundings from grids ------------------------------------------------------------- */

namespace {

/* Set at start-up from another file's static initialisation, so constant-
 * initialised rather than part of the store's state. */
constinit struct { GRD_sound_hooks ops{}; } sound_hooks;

struct SoundState {
  float dp = GRD_SOUND_DP;
} sound;

/* Where each request's value goes while the file is read. */
enum class Slot { h, t, td, u, v, p };
struct SoundRequest {
  int ltype;
  int level; /* -9999 any */
  int var;
  bool surface;
  Slot slot;
};
constexpr SoundRequest sound_requests[] = {
    {100, KEZ_MISS, 7, false, Slot::h},  {100, KEZ_MISS, 11, false, Slot::t}, {100, KEZ_MISS, 52, false, Slot::td},
    {100, KEZ_MISS, 33, false, Slot::u}, {100, KEZ_MISS, 34, false, Slot::v}, {1, KEZ_MISS, 1, true, Slot::p},
    {105, 2, 11, true, Slot::t},         {105, 2, 52, true, Slot::td},        {105, 10, 33, true, Slot::u},
    {105, 10, 34, true, Slot::v},
};
constexpr int kMinSoundValues = 10;
constexpr int kSurfaceSearch = 10; /* the surface goes among the lowest ten levels */
constexpr float kMsToKnots = 1.944f;
constexpr float kKelvin = 273.15f;

constexpr UPA_level missing_level() {
  return UPA_level{KEZ_FMISS, KEZ_FMISS, KEZ_FMISS, KEZ_FMISS, KEZ_FMISS, KEZ_FMISS};
}

/* The field of a level that a slot names (float* or const float*). */
template <class Level>
auto* slot_of(Level& l, Slot s) {
  switch (s) {
    case Slot::h: return &l.h;
    case Slot::t: return &l.t;
    case Slot::td: return &l.td;
    case Slot::u: return &l.dir;
    case Slot::v: return &l.spd;
    case Slot::p: return &l.p;
  }
  return &l.p;
}

/* A value in the units a sounding is built in: heights in m, temperatures in
 * K, the surface pressure in mb (a grid that states no units is in Pa). */
float sound_units(float v, Slot s, const char* units) {
  switch (s) {
    case Slot::h: return UNIT_cvt(v, units, "m");
    case Slot::t: return UNIT_cvt(v, units, "K");
    case Slot::p: return units && *units ? UNIT_cvt(v, units, "mb") : v / 100.0f;
    default: return v;
  }
}

/* Between the level below and the one above, linear in pressure. */
float between(const UPA_level& below, const UPA_level& above, float below_v, float above_v, float p) {
  if (is_miss(below_v) || is_miss(above_v) || below.p == above.p) return KEZ_FMISS;
  return below_v + (above_v - below_v) * (p - below.p) / (above.p - below.p);
}

} // namespace

int GRD_set_sound_hooks(const GRD_sound_hooks* hooks) {
  sound_hooks.ops = hooks ? *hooks : GRD_sound_hooks{};
  return 0;
}

int GRD_snd_param() {
  int argc = 0;
  char** argv = nullptr;
  RES_getvals("plot_param", &argc, &argv);
  for (int i = 0; i < argc; ++i)
    if (strnicmp(argv[i], "dpres", 5) == 0 && std::strlen(argv[i]) > 6)
      GRD_set_sound_dp(static_cast<float>(std::atof(argv[i] + 6)));
  free_parsed_array(argc, argv);
  return 0;
}

int GRD_set_sound_dp(float dp) {
  if (dp == GRD_SOUND_DP_FINE) sound.dp = dp;
  return 0;
}

int GRD_get_sound(int grd_fd, float lat, float lon, UPA_level* sm, int* num, float* sfcp) {
  if (!sm || !num || !sfcp) return 0;
  MESS_print(M_mess, "Searching file for grids...\n");
  const float dp = sound.dp;
  const int n_std = dp == GRD_SOUND_DP_FINE ? GRD_SOUND_RECORDS_FINE - 2 : GRD_SOUND_RECORDS - 2;
  if (*num < n_std + 2) {
    MESS_print(M_warn, "GRD_get_sound: Room for %d levels, %d needed\n", *num, n_std + 2);
    return 0;
  }
  const int sfc = n_std + 1;
  for (int i = 0; i < n_std + 2; ++i) {
    sm[i] = missing_level();
    if (i < n_std) sm[i].p = 1000.0f - static_cast<float>(i) * dp;
  }

  const int gtype = resource_int("grid_type");
  const int time = FLAG_get(FLAG_FCST_TIME);
  int count = 0;
  WorkGrid hdr;
  for (int pos = 0;; ++pos) {
    int p = pos;
    const int res = GRD_read(grd_fd, &hdr.r, GRD_READ_HEADER, &p);
    if (res == -1) break;
    if (res != 0) continue;
    for (const SoundRequest& q : sound_requests) {
      VAR_data req{};
      GRD_set_params(&req, time, q.ltype, q.level, q.var);
      /* The request's spare parameters are 0, which a missing record of
       * some readers also carries: only the parameter asked for counts. */
      if (hdr.r.var != q.var || !GRD_test(&hdr.r, &req, gtype)) continue;
      int rec = sfc;
      if (!q.surface) {
        const int level = hdr.r.level;
        if (level <= 49 || level > 1000 || std::fmod(1000.0f - static_cast<float>(level), dp) != 0.0f) break;
        rec = static_cast<int>((1000.0f - static_cast<float>(level)) / dp);
        if (rec < 0 || rec >= n_std) break;
      }
      WorkGrid g;
      int gp = pos;
      if (GRD_read(grd_fd, &g.r, GRD_READ_ALL, &gp) != 0 || !g.r.grid) break;
      if (MAP_domain(&g.r.domain) != 0) break;
      float x = KEZ_FMISS, y = KEZ_FMISS;
      MAP_tran(lat, lon, &x, &y);
      const float v = GRD_get_value_domain(&g.r, nullptr, &x, &y);
      if (is_miss(v)) break;
      *slot_of(sm[rec], q.slot) = sound_units(v, q.slot, g.r.units);
      if (count == 0 && sound_hooks.ops.set_datim) sound_hooks.ops.set_datim(g.r.datim);
      ++count;
      break;
    }
  }
  if (count < kMinSoundValues) {
    MESS_print(kWarnLow, "GRD_get_sound: Too few grids to make sounding: %d\n", count);
    return 0;
  }

  int n = n_std;
  const UPA_level surface = sm[sfc];
  if (!is_miss(surface.p)) {
    *sfcp = surface.p;
    int at = -1;
    for (int i = 0; i < kSurfaceSearch && i < n_std; ++i)
      if (sm[i].p < surface.p) {
        at = i;
        break;
      }
    if (at >= 0) {
      for (int i = n_std - 1; i >= at; --i) sm[i + 1] = sm[i];
      sm[at] = surface;
      if (at > 0) {
        const UPA_level &below = sm[at - 1], &above = sm[at + 1];
        for (Slot s : {Slot::t, Slot::td, Slot::u, Slot::v}) {
          float* f = slot_of(sm[at], s);
          if (is_miss(*f)) *f = between(below, above, *slot_of(below, s), *slot_of(above, s), surface.p);
        }
      }
      for (int i = 0; i < kSurfaceSearch && i <= n_std; ++i)
        if (sm[i].p > surface.p) sm[i].t = sm[i].td = sm[i].dir = sm[i].spd = KEZ_FMISS;
    }
    /* A surface that found no place leaves the spare record, all missing,
     * which the sweep below takes out again. */
    ++n;
  } else {
    *sfcp = 1000.0f;
  }

  int kept = 0;
  for (int i = 0; i < n; ++i) {
    const UPA_level& l = sm[i];
    if (is_miss(l.h) && is_miss(l.t) && is_miss(l.dir) && is_miss(l.spd)) continue;
    sm[kept++] = l;
  }
  n = kept;

  for (int i = 0; i < n; ++i) {
    UPA_level& l = sm[i];
    const float rh = l.td;
    l.td = is_miss(l.t) || is_miss(rh) ? KEZ_FMISS : dew_temp(l.t, rh);
    const float u = l.dir, v = l.spd;
    l.dir = l.spd = KEZ_FMISS;
    if (sound_hooks.ops.vect2wind && !is_miss(u) && !is_miss(v)) sound_hooks.ops.vect2wind(u, v, &l.dir, &l.spd);
    if (!is_miss(l.t)) l.t -= kKelvin;
    if (!is_miss(l.td)) l.td -= kKelvin;
    if (!is_miss(l.spd)) l.spd *= kMsToKnots;
  }
  if (sound_hooks.ops.calc_height) sound_hooks.ops.calc_height(sm, n);
  *num = n;
  return 1;
}
