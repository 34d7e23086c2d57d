/* What the grid-file fuzz targets share: the input written to a scratch
 * file, opened as the given grid file type, its header read, then records by
 * number in an order that exercises the header-only skip, re-reads, reads
 * past the last record and rewinds. The grids read whole are then written
 * as a text, binary or raw grid file (the input's length chooses), which
 * must read back with the same size, header numbers, texts and values. */
#ifndef GRD_READ_FUZZ_H
#define GRD_READ_FUZZ_H

#include "kez_fuzz.h"
#include "kezgrd.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace kez_fuzz {

/* A grid read whole, kept for the round trip. */
struct KeptGrid {
  GRD_report head{};
  std::vector<float> values;
};

/* The largest grid written back: text values take 15 bytes each. */
constexpr long kMaxRoundTrip = 100000;

inline bool same_value(float a, float b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

/* The text formats keep the header numbers, the units (blanks written as
 * "_"), the date line, the description, the projection and the size; the
 * geometry's numbers are written to six decimals and not compared. */
inline bool same_text_record(const GRD_report& got, const KeptGrid& want) {
  const GRD_report& w = want.head;
  std::string units = w.units;
  for (char& c : units)
    if (c == ' ') c = '_';
  if (got.source != w.source || got.version != w.version || got.model != w.model || got.type != w.type ||
      got.ltype != w.ltype || got.level != w.level || got.time != w.time || got.var != w.var ||
      got.domain.proj != w.domain.proj || got.domain.nx != w.domain.nx || got.domain.ny != w.domain.ny ||
      units != got.units || std::strcmp(got.datim, w.datim) != 0 || std::strcmp(got.info, w.info) != 0 || !got.grid)
    return false;
  for (size_t i = 0; i < want.values.size(); ++i)
    if (!same_value(got.grid[i], want.values[i])) return false;
  return true;
}

inline void write_back(const std::vector<KeptGrid>& kept, int type) {
  const std::string path = scratch_dir() + "/grid_back";
  int t = type;
  int h = GRD_open(path.c_str(), GRD_ACCESS_WRITE, &t);
  if (h < 0 || GRD_putinfo(h, nullptr) != 0) std::abort();
  std::vector<const KeptGrid*> written;
  for (const KeptGrid& k : kept) {
    /* Only the projections of the text formats' projection words, and
     * texts that stay one line each, can be written. */
    const int proj = k.head.domain.proj;
    if (proj < 1 || proj > 4 || std::strpbrk(k.head.datim, "\n\r") || std::strpbrk(k.head.info, "\n\r") ||
        std::strncmp(k.head.datim, "KEZGRID", 7) == 0)
      continue;
    GRD_report g = k.head;
    g.grid = const_cast<float*>(k.values.data());
    if (GRD_write(h, &g, GRD_READ_ALL, nullptr) == 0) written.push_back(&k);
  }
  GRD_close(h);
  t = type == GRD_TYPE_BINARY ? GRD_TYPE_TEXT : type;
  h = GRD_open(path.c_str(), GRD_ACCESS_READ, &t);
  GRD_info info{};
  if (h < 0 || GRD_getinfo(h, &info) != 0) std::abort();
  for (size_t i = 0; i < written.size(); ++i) {
    GRD_report g{};
    GRD_init(&g);
    int n = static_cast<int>(i);
    if (GRD_read(h, &g, GRD_READ_ALL, &n) != 0 || !same_text_record(g, *written[i])) std::abort();
    std::free(g.grid);
  }
  GRD_close(h);
}

inline int read_grid_file(const uint8_t* data, size_t size, int file_type) {
  quiet();
  const std::string path = write_file("grid", data, size);
  int type = file_type;
  int h = GRD_open(path.c_str(), GRD_ACCESS_READ, &type);
  std::vector<KeptGrid> kept;
  if (h >= 0) {
    GRD_info info{};
    if (GRD_getinfo(h, &info) == 0) {
      const int order[] = {0, 0, 2, 1, 1, 3, 0, 5}; /* on, back, past the end */
      for (int k = 0; k < 8; ++k) {
        GRD_report g;
        std::memset(&g, 0, sizeof g);
        GRD_init(&g);
        int n = order[k];
        GRD_read(h, &g, k % 2 ? GRD_READ_HEADER : GRD_READ_ALL, &n);
        float hi = 0, lo = 0;
        GRD_maxmin(&g, &hi, &lo);
        const long points = static_cast<long>(g.domain.nx) * g.domain.ny;
        if (g.grid && points > 0 && points <= kMaxRoundTrip && kept.size() < 4) {
          KeptGrid kg;
          kg.head = g;
          kg.head.grid = nullptr;
          kg.values.assign(g.grid, g.grid + points);
          kept.push_back(std::move(kg));
        }
        std::free(g.grid);
      }
      GRD_rewind(h);
    }
    GRD_close(h);
  }
  if (!kept.empty()) {
    constexpr int back_types[] = {GRD_TYPE_TEXT, GRD_TYPE_BINARY, GRD_TYPE_RAW};
    write_back(kept, back_types[size % 3]);
  }
  return 0;
}

} // namespace kez_fuzz

#endif
