/* What the grid-file fuzz targets share: the input written to a scratch
 * file, opened as the given grid file type, its header read, then records by
 * number in an order that exercises the header-only skip, re-reads, reads
 * past the last record and rewinds. */
#ifndef GRD_READ_FUZZ_H
#define GRD_READ_FUZZ_H

#include "kez_fuzz.h"
#include "kezgrd.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace kez_fuzz {

inline int read_grid_file(const uint8_t* data, size_t size, int file_type) {
  quiet();
  const std::string path = write_file("grid", data, size);
  int type = file_type;
  int h = GRD_open(path.c_str(), GRD_ACCESS_READ, &type);
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
        std::free(g.grid);
      }
      GRD_rewind(h);
    }
    GRD_close(h);
  }
  return 0;
}

} // namespace kez_fuzz

#endif
