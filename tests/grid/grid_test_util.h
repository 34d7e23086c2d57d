/* Small builders shared by the grid tests. */
#ifndef GRID_TEST_UTIL_H
#define GRID_TEST_UTIL_H

#include "kezgrd.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <vector>

namespace grid_test {

inline Domain domain(int proj, float clat, float clon, float dx, float dy, int nx, int ny) {
  Domain d;
  DOM_init(&d);
  d.proj = proj;
  d.clat = clat;
  d.clon = clon;
  d.dx = dx;
  d.dy = dy;
  d.nx = nx;
  d.ny = ny;
  return d;
}

/* A record that owns a copy of values (row after row, top row first). */
struct Grid {
  GRD_report r;
  Grid(const Domain& d, const std::vector<float>& values) {
    std::memset(&r, 0, sizeof r);
    GRD_init(&r);
    r.domain = d;
    r.source = 1;
    if (!values.empty()) {
      GRD_alloc(&r);
      std::memcpy(r.grid, values.data(), values.size() * sizeof(float));
    }
  }
  ~Grid() { std::free(r.grid); }
  Grid(const Grid&) = delete;
  Grid& operator=(const Grid&) = delete;
  std::vector<float> values() const {
    if (!r.grid) return {};
    return std::vector<float>(r.grid, r.grid + static_cast<size_t>(r.domain.nx) * r.domain.ny);
  }
};

/* An LL grid of nx by ny whose value at (i, j) is f(i, j). */
template <class F>
std::vector<float> fill(int nx, int ny, F f) {
  std::vector<float> v;
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) v.push_back(static_cast<float>(f(i, j)));
  return v;
}

} // namespace grid_test

#endif
