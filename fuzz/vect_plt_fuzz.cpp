/*
 * Fuzz target of the vector plotter's readers of user text: a variable's
 * format items and the "plot_param" keywords. The input's first byte
 * chooses the reader; the rest is the text.
 */
#include <cstdint>
#include <string>

#include "kezcont.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (text.find('\0') != std::string::npos) return 0;
  VECT_init();
  if (data[0] % 2 == 0) {
    VECT_set_format(VECT_ARROWS, text.c_str());
    VECT_format_decode_type();
    Gattribs attr{};
    ATTRIB_init(&attr);
    VECT_format_decode_attrib(&attr);
  } else {
    RES_put("plot_param", text.c_str());
    VECT_param_decode();
  }
  return 0;
}
