/*
 * maptran_plot: the decluttering grid of the station plotters. A plot
 * asks for each station's position whether its cell of the current
 * domain's grid is still free: MAP_plot_grid_init clears the grid,
 * MAP_plot_grid takes a cell or refuses a taken one, and MAP_set_plot_limit
 * sets how fine the cells are (n per grid spacing, -n spacings a cell,
 * 0 or -1 no decluttering). A grid too fine to hold is no grid: every
 * station is then drawn.
 */
#include "kez.h"
#include "maptran_impl.h"

#include <cstdint>
#include <new>
#include <vector>

using namespace maptran_impl;

namespace {

/* Finer decluttering than this many cells has no use on any display; a
 * larger request is treated as a failed allocation (no grid). */
constexpr std::int64_t max_cells = std::int64_t{1} << 24;

} // namespace

int MAP_set_plot_limit(int val) {
  st.grid_limit = val;
  return 0;
}

int MAP_plot_grid_init() {
  std::vector<int>().swap(st.cells);
  const Domain& d = st.frame.dom;
  if (d.nx < 1 || d.ny < 1) return 0;
  std::int64_t n = st.grid_limit;
  std::int64_t count = std::int64_t{d.nx} * d.ny;
  if (count > max_cells) return 0;
  if (n > 1) {
    if (n > 4096) return 0;
    count *= n * n;
    if (count > max_cells) return 0;
  }
  try {
    st.cells.assign(static_cast<size_t>(count), 0);
  } catch (const std::bad_alloc&) {
    std::vector<int>().swap(st.cells);
  }
  return 0;
}

int MAP_plot_grid(float x, float y) {
  int n = st.grid_limit;
  if (n == 0 || n == -1 || st.cells.empty()) return 1;
  const Domain& d = st.frame.dom;
  float gx, gy;
  if (MAP_grid_untran(x, y, &gx, &gy) != 0) return 0;
  if (!(gx >= 0.0f && gx <= static_cast<float>(d.nx - 1) && gy >= 0.0f && gy <= static_cast<float>(d.ny - 1))) return 0;
  std::int64_t cell;
  if (n >= 1) {
    std::int64_t row = static_cast<std::int64_t>(gy * n) * d.nx * n;
    cell = static_cast<std::int64_t>(gx * n + static_cast<float>(row));
  } else {
    int m = -n;
    std::int64_t row = static_cast<std::int64_t>(gy / m) * d.nx;
    cell = static_cast<std::int64_t>(gx / m + static_cast<float>(row));
  }
  if (cell < 0 || cell >= static_cast<std::int64_t>(st.cells.size())) return 0;
  int& counter = st.cells[static_cast<size_t>(cell)];
  if (counter > 0) return 0;
  ++counter;
  return 1;
}
