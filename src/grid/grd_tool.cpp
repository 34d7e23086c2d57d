/*
 * grd_tool: grid records and the grid store.
 *
 * Owns the 60-slot grid store (slot i belongs to entry i of the parsed
 * variable list), the grid refinement factor and the store's file date.
 * The data pipeline, the raw-file gridding, the calculator, the contour
 * plotter and the plot frame's value read-out reach the store here; every
 * grid component uses the record operations. The module's other files hold
 * the field utilities (grd_tool_field.cpp), grid requests and searches
 * (grd_tool_search.cpp), the grid file wrappers (grd_tool_file.cpp) and
 * soundings from grids (grd_tool_sound.cpp); what they share is in
 * grd_tool_impl.h.
 *
 * Guarantees: the store is initialised before anything can use it; slot
 * numbers are checked; an array has exactly one owner (copies move it, and
 * GRD_alloc and GRD_init_grids release what a record or slot held), so
 * refilling slots frame after frame never leaks.
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

namespace grd_tool_impl {

GridStore state;

/* Bounded copy into a fixed record field of n bytes. */
void copy_field(char* dst, size_t n, const char* src) {
  if (!src) src = "";
  size_t len = std::strlen(src);
  if (len >= n) len = n - 1;
  std::memmove(dst, src, len);
  dst[len] = '\0';
}

} // namespace grd_tool_impl

namespace {

GRD_report* slot(const char* who, int ind) {
  if (ind < 0 || ind >= GRD_STORE_SLOTS) {
    MESS_print(M_warn, "%s: Grid slot %d out of range\n", who, ind);
    return nullptr;
  }
  return &state.grids[static_cast<size_t>(ind)];
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
