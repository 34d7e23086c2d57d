/* The text metafile reader, replaying into a PostScript workstation. */
#include "kez_fuzz.h"
#include "kezgks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kez_fuzz::quiet();
  static const bool opened = [] {
    RES_put("file_path", KEZ_DATA_DIR);
    gopen_gks(nullptr, 0);
    gopen_ws(1, "/dev/null", GWS_PS);
    return true;
  }();
  (void)opened;
  const std::string path = kez_fuzz::write_file("fuzz.meta", data, size);
  gread_metafile(path.c_str());
  return 0;
}
