/* Feeds arbitrary bytes to the grid file reader as a WMO GRID-code
 * bulletin, whatever they begin with. */
#include "grd_read_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return kez_fuzz::read_grid_file(data, size, GRD_TYPE_GRID);
}
