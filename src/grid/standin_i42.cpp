/*
 * STAND-IN (branch i42): the grid statistics and projected grid positions
 * that the contour module needs, under their real names, until the grid
 * store's own module (grd_tool) lands and replaces this file.
 */
#include <cstdlib>

#include "kez.h"
#include "kezgrd.h"

int GRD_maxmin(const GRD_report* grid, float* max, float* min) {
  float hi = -9999.0f, lo = -9999.0f;
  int result = -1;
  if (grid && grid->grid && grid->domain.nx > 0 && grid->domain.ny > 0) {
    result = 0;
    const long n = static_cast<long>(grid->domain.nx) * grid->domain.ny;
    for (long i = 0; i < n; ++i) {
      const float v = grid->grid[i];
      if (v == -9999.0f) continue;
      if (hi == -9999.0f || v > hi) hi = v;
      if (lo == -9999.0f || v < lo) lo = v;
    }
  }
  if (max) *max = hi;
  if (min) *min = lo;
  return result;
}

int GRD_proj_XY(const GRD_report* grid, const Domain* domain, float** grdx, float** grdy) {
  if (!grid || !domain || !grdx || !grdy) return -1;
  std::free(*grdx);
  std::free(*grdy);
  *grdx = *grdy = nullptr;
  const int nx = grid->domain.nx, ny = grid->domain.ny;
  if (nx <= 0 || ny <= 0) {
    MESS_print(M_warn, "GRD_proj_XY: Unable to allocate grid arrays\n");
    return -1;
  }
  const size_t n = static_cast<size_t>(nx) * static_cast<size_t>(ny);
  *grdx = static_cast<float*>(std::malloc(n * sizeof(float)));
  *grdy = static_cast<float*>(std::malloc(n * sizeof(float)));
  if (!*grdx || !*grdy) {
    std::free(*grdx);
    std::free(*grdy);
    *grdx = *grdy = nullptr;
    MESS_print(M_warn, "GRD_proj_XY: Unable to allocate grid arrays\n");
    return -1;
  }
  Domain current;
  MAP_get_domain(&current);
  MAP_domain(&grid->domain);
  for (int r = 0; r < ny; ++r)
    for (int c = 0; c < nx; ++c) {
      float x, y, lat = -9999.0f, lon = -9999.0f;
      MAP_grid_tran(static_cast<float>(c), static_cast<float>(r), &x, &y);
      if (x == -9999.0f || !MAP_untran(x, y, &lat, &lon)) lat = -9999.0f;
      (*grdx)[static_cast<size_t>(r) * nx + c] = lat;
      (*grdy)[static_cast<size_t>(r) * nx + c] = lon;
    }
  MAP_domain(domain);
  for (size_t i = 0; i < n; ++i) {
    float x = -9999.0f, y = -9999.0f;
    if ((*grdx)[i] != -9999.0f) MAP_tran((*grdx)[i], (*grdy)[i], &x, &y);
    (*grdx)[i] = x;
    (*grdy)[i] = y;
  }
  MAP_domain(&current);
  return 0;
}
