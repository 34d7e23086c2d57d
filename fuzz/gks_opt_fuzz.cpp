/*
 * Device connection options and geometries of the file devices. The input
 * is cut at NUL bytes into
 *   0  the option items after the output name ("port,scale=0.5,a4"),
 *   1  the page options of the environment (kezps_param, kezhp_param),
 *   2  the "geometry" setting (panel "P..." or size "WxH+X+Y"),
 *   3  the geometry of the environment (kezps_geometry, kezhp_geometry),
 *   4  a device answer as the device prompt and "-de" read it ("p,name"),
 *   5  a byte that chooses the device (PostScript, HPGL, text metafile,
 *      CGM, PostScript redirected to HPGL).
 * The output name is always a scratch file; one line is drawn on the page.
 * The shared geometry forms are also read on their own, for a window (rows
 * counted from the top) and for each device's scale.
 */
#include "kez_fuzz.h"
#include "kezgks.h"

#include <cstdlib>
#include <string>

namespace {

void set_env(const char* name, const std::string& value) {
  if (value.empty())
    ::unsetenv(name);
  else
    ::setenv(name, value.c_str(), 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    kez_fuzz::quiet();
    RES_put("file_path", KEZ_DATA_DIR); /* the stroke fonts */
    return true;
  }();
  (void)ready;
  const auto p = kez_fuzz::parts(data, size, 6);
  const unsigned choice = p[5].empty() ? 0 : static_cast<unsigned char>(p[5][0]) % 5;

  constexpr Gws_type types[] = {GWS_PS, GWS_HPGL, GWS_META, GWS_META, GWS_PS};
  const std::string out = kez_fuzz::scratch_dir() + "/page";
  std::string conn = out + (choice == 3 ? ",cgm" : "");
  if (!p[0].empty()) conn += "," + p[0];
  set_env("kezps_param", choice == 0 || choice == 4 ? p[1] : "");
  set_env("kezhp_param", choice == 1 || choice == 4 ? p[1] : "");
  set_env("kezps_geometry", p[3]);
  set_env("kezhp_geometry", p[3]);
  set_env("kezprint", choice == 4 ? "hpgl" : "");
  RES_put("geometry", p[2].empty() ? nullptr : p[2].c_str());

  gopen_gks(nullptr, 0);
  if (gopen_ws(1, conn.c_str(), types[choice]) == 0) {
    const Glim win{0, 1, 0, 1};
    gset_win(1, &win);
    gset_vp(1, &win);
    gsel_norm_tran(1);
    const Gpt line[] = {{0.1f, 0.1f}, {0.9f, 0.8f}};
    gpolyline(2, line);
    gclose_ws(1);
  }
  gclose_gks();

  /* The geometry forms themselves. */
  const std::string& g = p[2];
  for (bool y_up : {false, true}) {
    Garea area{1000, 800, 0, 0};
    gpanel_geometry(g.size() > 1 && (g[0] == 'P' || g[0] == 'p') ? g.c_str() + 1 : g.c_str(), y_up, &area);
  }
  for (float scale : {0.72f, 100.0f, 1.0f}) {
    Garea area{1000, 800, 0, 0};
    gsize_geometry(g.c_str(), scale, &area);
  }
  char device_conn[FILE_PATH_LEN];
  gdevice_setup(p[4].c_str(), device_conn);
  return 0;
}
