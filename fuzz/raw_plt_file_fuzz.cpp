/*
 * Fuzz target of raw files on plots: the input is a raw file, drawn at its
 * stations (every value, by field number with format items, by name, with
 * labels and through the station table) on a map and on a category
 * diagram into a metafile that goes nowhere, and analysed onto a small
 * grid that is not saved.
 */
#include "gks.h"
#include "kez.h"
#include "kez_fuzz.h"
#include "kezgks.h"
#include "kezraw.h"

#include <cstdint>
#include <string>

namespace {

bool open_once() {
  static const bool ok = [] {
    RES_put("file_path", KEZ_DATA_DIR);
    RES_put("raw_path", kez_fuzz::scratch_dir().c_str());
    RES_put("out_file", "none");
    FLAG_set_batch(1);
    gopen_gks(nullptr, 0);
    if (gopen_ws(1, "/dev/null", GWS_META) != 0) return false;
    const Glim win{0, 1, 0, 1};
    const Glim vp{0, 1, 0, 1};
    gset_win(2, &win);
    gset_vp(2, &vp);
    gsel_norm_tran(2);
    return true;
  }();
  return ok;
}

Domain map_domain() {
  Domain d;
  DOM_init(&d);
  d.proj = MAP_LAMB;
  d.plon = -97.0f;
  d.param[0] = 33.0f;
  d.param[1] = 45.0f;
  d.clat = 38.5f;
  d.clon = -97.0f;
  d.dx = d.dy = 2.0f;
  d.nx = 25;
  d.ny = 15;
  return d;
}

Domain category_domain() {
  Domain d;
  DOM_init(&d);
  d.proj = MAP_CAT;
  d.clat = 0;
  d.clon = 0;
  d.dx = 20;
  d.dy = 100;
  d.nx = 20;
  d.ny = 100;
  return d;
}

void plot(const char* request, int label) {
  std::string copy(request);
  RAW_plot_file(copy.data(), label);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kez_fuzz::quiet();
  if (!open_once()) return 0;
  kez_fuzz::write_file("p.raw", data, size);
  Domain map = map_domain();
  MAP_domain(&map);
  plot("p.raw", 1);
  plot("p.raw-0:sk=2", 1);
  plot("p.raw-T:uc", 0);
  std::string grid("p.raw-1");
  RAW_grid_file(grid.data(), 1);
  Domain cat = category_domain();
  MAP_domain(&cat);
  plot("p.raw-0", 0);
  return 0;
}
