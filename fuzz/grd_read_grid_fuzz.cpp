/* Feeds arbitrary bytes to the grid file reader as a WMO GRID-code
 * bulletin, whatever they begin with: header, then grids by number, on
 * past the last and back, with and without values. */
#include "kezgrd.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = [] {
    MESS_set(0, M_none);
    return true;
  }();
  (void)quiet;
  char path[] = "/tmp/grd_read_grid_fuzz_XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) return 0;
  FILE* fp = fdopen(fd, "wb");
  if (!fp) {
    close(fd);
    unlink(path);
    return 0;
  }
  fwrite(data, 1, size, fp);
  fclose(fp);

  int type = GRD_TYPE_GRID;
  int h = GRD_open(path, GRD_ACCESS_READ, &type);
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
  unlink(path);
  return 0;
}
