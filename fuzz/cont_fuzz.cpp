/*
 * Fuzz target of the contour module's readers of user text: fill colour
 * lists, contour level files and format items. The input's first byte
 * chooses the reader; the rest is the text.
 */
#include <unistd.h>
#include <cstdint>
#include <cstdio>
#include <string>

#include "kezcont.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (text.find('\0') != std::string::npos) return 0;
  CONT_init();
  CONT_reset_fill_set();
  switch (data[0] % 3) {
    case 0: CONT_set_fill_colors(text.c_str(), 1); break;
    case 1: {
      char path[] = "/tmp/kez_cont_fuzz_XXXXXX";
      const int fd = mkstemp(path);
      if (fd < 0) return 0;
      if (write(fd, text.data(), text.size()) < 0) {
      }
      close(fd);
      RES_put("file_path", "/");
      RES_put("color_fill", path + 1);
      CONT_set_fill_colors(nullptr, 0);
      unlink(path);
      break;
    }
    default:
      CONT_format_decode_type(text.c_str());
      CONT_set_format(CONT_LINES, text.c_str());
      break;
  }
  Gattribs a;
  for (float v : {-1e30f, -5.0f, 0.0f, 3.5f, 1e30f}) CONT_get_fill_attrib(v, &a);
  CONT_set_range(10, 0);
  CONT_set_cont_ext(nullptr);
  return 0;
}
