/* Feeds arbitrary bytes to the netCDF access layer as a file: every
 * variable is read at a few positions, as every type, as strings and as
 * slabs into fixed buffers, and the global text attributes are copied into
 * a small buffer. */
#include "kezcdf.h"

#include "kez.h"

#include <unistd.h>

#include "kez_fuzz.h"

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = [] {
    MESS_set(0, M_none);
    CDF_print_errors(0);
    return true;
  }();
  (void)quiet;
  const std::string file = kez_fuzz::write_file("cdf", data, size);
  const char* path = file.c_str();

  if (CDF_open(path, CDF_READ) >= 0) {
    CDF_get_dim_size(CDF_RECORD_DIM);
    char text[17];
    CDF_get_glob_att("title", text, sizeof text);
    CDF_get_glob_att("datetime", text, sizeof text);
    for (int v = 0; v < 16; ++v) { /* ids past the last fail cleanly */
      for (int pos : {0, 1, 3}) {
        CDF_set_pos(1, pos);
        CDF_get_float(v);
        CDF_get_double(v);
        CDF_get_long(v);
        CDF_get_byte(v);
        CDF_get_char(v);
        char str[21];
        CDF_get_str(v, 20, str);
        float fa[64];
        double da[64];
        char ba[64];
        CDF_set_range(2, pos, 1, 0, 64);
        CDF_get_float_array(v, fa);
        CDF_set_range(1, pos, 64);
        CDF_get_double_array(v, da);
        CDF_get_byte_array(v, ba);
      }
    }
    CDF_close();
  }
  return 0;
}
