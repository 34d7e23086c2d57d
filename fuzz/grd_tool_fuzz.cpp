/* Feeds arbitrary text to the grid request parser and, as a "model.lup"
 * file, to the input settings reader; the first byte chooses which. */
#include "kezgrd.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string dir = [] {
    MESS_set(0, M_none);
    char tmpl[] = "/tmp/grd_tool_fuzz_XXXXXX";
    const char* d = mkdtemp(tmpl);
    std::string path = d ? d : "/tmp";
    RES_put("file_path", path.c_str());
    RES_put("model", "tiled");
    return path;
  }();
  if (size == 0) return 0;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] & 1) {
    VAR_data req{};
    int type = KEZ_MISS;
    GRD_parse_params(text.c_str(), &req, &type);
    GRD_report g{};
    GRD_init(&g);
    GRD_test(&g, &req, type);
  } else {
    std::string lup = dir + "/model.lup";
    if (FILE* fp = std::fopen(lup.c_str(), "wb")) {
      std::fwrite(text.data(), 1, text.size(), fp);
      std::fclose(fp);
      GRD_in_file();
    }
  }
  return 0;
}
