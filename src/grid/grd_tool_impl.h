/*
 * grd_tool_impl.h: what the files of grd_tool share (grd_tool.cpp,
 * grd_tool_field.cpp, grd_tool_search.cpp, grd_tool_file.cpp,
 * grd_tool_sound.cpp).
 *
 * The store's state (slots, refinement factor, file date, tile table and the
 * header of the file last opened by a wrapper) is defined once in
 * grd_tool.cpp; the small record helpers are inline so that the field loops
 * keep them inlined.
 */
#ifndef KEZ_GRD_TOOL_IMPL_H
#define KEZ_GRD_TOOL_IMPL_H

#include "kezgrd.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace grd_tool_impl {

constexpr M_type kWarnLow = 0x40;
constexpr size_t kNameMax = 159; /* path and file names */

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

extern GridStore state;

inline bool is_miss(float v) { return v == KEZ_FMISS; }

/* Points of a domain: 0 when nx or ny is not positive or the product is
 * beyond GRD_MAX_POINTS. */
inline size_t domain_points(const Domain& d) {
  if (d.nx <= 0 || d.ny <= 0) return 0;
  long long n = static_cast<long long>(d.nx) * d.ny;
  return n > GRD_MAX_POINTS ? 0 : static_cast<size_t>(n);
}

inline float* new_array(size_t n) { return static_cast<float*>(std::malloc(n * sizeof(float))); }

/* Bounded copy into a fixed record field of n bytes. */
void copy_field(char* dst, size_t n, const char* src);

/* A resource as an int; -9999 when unset or not a number. */
int resource_int(const char* name);

/* Reads record pos whole into g and converts it to the request's units. */
bool read_whole(int fd, int pos, GRD_report* g, const VAR_data& req);

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

} // namespace grd_tool_impl

#endif
