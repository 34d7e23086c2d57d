/*
 * Fuzz target of map outline files and map lists: an input whose first
 * byte is even is an outline file (text or binary) drawn on a
 * latitude/longitude domain; otherwise the rest is a map list drawn with
 * every pass, its list files and outline names resolved in a scratch
 * folder that holds one copy of the input as "o.map".
 */
#include "kez.h"

#include <unistd.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string work_dir() {
  static std::string dir = [] {
    char tmpl[] = "/tmp/kez-map-fuzz-XXXXXX";
    const char* made = mkdtemp(tmpl);
    return std::string(made ? made : "/tmp");
  }();
  return dir;
}

void setup() {
  static bool done = [] {
    RES_put("file_path", work_dir().c_str());
    Domain dom{};
    DOM_decode("latlon,0,0,0,2,2,180,90", &dom);
    MAP_setup(&dom);
    return true;
  }();
  (void)done;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  setup();
  const std::string body(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string path = work_dir() + "/o.map";
  FILE* fp = std::fopen(path.c_str(), "wb");
  if (!fp) return 0;
  std::fwrite(body.data(), 1, body.size(), fp);
  std::fclose(fp);
  if (data[0] % 2 == 0) {
    fp = std::fopen(path.c_str(), "rb");
    if (!fp) return 0;
    MAP_map(fp);
    std::fclose(fp);
  } else {
    /* A list names "o.map" through "fi:" or directly. */
    RES_put("map_file", body.c_str());
    MAP_draw(7);
  }
  return 0;
}
