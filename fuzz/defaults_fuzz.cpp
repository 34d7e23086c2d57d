/* Defaults files: settings lines, comments and the DEF/IF tag lines. */
#include "kez_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kez_fuzz::quiet();
  static const bool named = [] {
    DEF_name("kezsfc");
    return true;
  }();
  (void)named;
  const std::string path = kez_fuzz::write_file("kez.cfg", data, size);
  DEF_clr_tag();
  DEF_tag("tagA");
  if (DEF_open(path.c_str()) != 0) return 0;
  std::string resrc, value;
  for (int lines = 0; DEF_get(&resrc, &value) == 1 && lines < 100000; ++lines) {
    DEF_cmp("message", resrc.c_str());
    DEF_valid(resrc.c_str());
  }
  char name[DEF_NAME_LEN], val[DEF_VALUE_LEN];
  DEF_close();
  if (DEF_open(path.c_str()) == 0) {
    while (DEF_get(name, val) == 1) {
    }
    DEF_close();
  }
  return 0;
}
