/*
 * Fuzz target of the front-bulletin reader: the input is a bulletin. It is
 * drawn on a polar stereographic map into a metafile that goes nowhere, once
 * as the analysis section and once as the 24-hour forecast with pips on;
 * its first bytes also go to the spelled-out position reader as a stream.
 */
#include "gks.h"
#include "kez_fuzz.h"
#include "kezgks.h"
#include "kezsfc.h"

#include <cstdint>
#include <cstdio>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = [] {
    kez_fuzz::quiet();
    RES_put("file_path", KEZ_DATA_DIR);
    /* Without the colour names every front and centre would be left
     * undrawn. */
    CLR_read_table(nullptr);
    gopen_gks(nullptr, 0);
    gopen_ws(1, "/dev/null", GWS_META);
    Domain d;
    DOM_init(&d);
    d.proj = MAP_PSTEREO;
    d.plat = 90;
    d.plon = -95;
    d.clat = 42;
    d.clon = -92;
    d.dx = 1;
    d.dy = 1;
    d.nx = 61;
    d.ny = 41;
    MAP_setup(&d);
    const Date date{2024, 3, 5, KEZ_MISS, KEZ_MISS, 12, 0, 0};
    FRT_set_date(&date);
    return true;
  }();
  (void)ready;
  const std::string path = kez_fuzz::write_file("bulletin.dat", data, size);
  RES_put("plot_param", "prrad=5,hour=0");
  FRT_plot_file(path.c_str());
  RES_put("plot_param", "barb,hour=24");
  FRT_plot_file(path.c_str());
  if (FILE* fp = std::fopen(path.c_str(), "rb")) {
    float lat = 0, lon = 0;
    FRT_decode_locate(fp, &lat, &lon);
    std::fclose(fp);
  }
  return 0;
}
