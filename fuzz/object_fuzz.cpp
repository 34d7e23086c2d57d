/*
 * Fuzz target of the analysis settings: the input's three lines are the
 * "plot_param" and "object_param" texts and a variable's format; they are
 * decoded and a small analysis runs with whatever they set, so that no
 * setting can make it read or write outside its arrays or hang.
 */
#include "kez.h"
#include "kezgrd.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool quiet = [] {
    MESS_set(0, M_none);
    return true;
  }();
  (void)quiet;
  std::string text(reinterpret_cast<const char*>(data), size);
  std::string lines[3];
  for (std::string& l : lines) {
    size_t nl = text.find('\n');
    l = text.substr(0, nl);
    text = nl == std::string::npos ? "" : text.substr(nl + 1);
  }
  RES_put("plot_param", lines[0].c_str());
  RES_put("object_param", lines[1].c_str());
  OBJ_initialize();
  OBJ_set_filter(1);
  OBJ_set_rad_inf(3);
  OBJ_decode_format(lines[2].c_str());

  Domain dom;
  DOM_init(&dom);
  dom.proj = 2;
  dom.clat = 40;
  dom.clon = -100;
  dom.dx = dom.dy = 1;
  dom.nx = 7;
  dom.ny = 5;
  GRD_report slot;
  std::memset(&slot, 0, sizeof slot);
  GRD_init(&slot);
  slot.domain = dom;
  GRD_alloc(&slot);
  std::vector<float> x{-100, -98.5f, -97, -103.2f}, y{40, 41.5f, 38, 39.9f}, v{1, KEZ_FMISS, 3, 4};
  float* z[1] = {v.data()};
  OBJ_analyze(x.data(), y.data(), z, 4, 1, &slot);
  std::free(slot.grid);
  GRD_set_grid_factor(1);
  return 0;
}
