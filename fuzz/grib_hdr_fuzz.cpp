/* A GRIB file read through its companion header-text file: the input's text
 * up to its first NUL is the header file (one line per record: the offset of
 * its message, then either "/ GRIB1 S.. M.. G.. T.. L.. H.. V.." or the
 * slash forms of numbers), the bytes after it the GRIB file. Records are
 * read by number as headers from the text, as described headers, and with
 * their values decoded at the line's offset, forwards, back and past the end. */
#include "kez_fuzz.h"
#include "kezgrd.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kez_fuzz::quiet();
  static bool ready = (RES_put("file_path", KEZ_DATA_DIR), true);
  (void)ready;
  const auto* nul = static_cast<const uint8_t*>(std::memchr(data, 0, size));
  const size_t text_len = nul ? static_cast<size_t>(nul - data) : size;
  const std::string hdr = kez_fuzz::write_file("grib.hdr", data, text_len);
  const size_t grib_at = nul ? text_len + 1 : size;
  const std::string grib = kez_fuzz::write_file("grib.grb", data + grib_at, size - grib_at);
  int type = GRD_TYPE_GRIB;
  const int h = GRD_open(grib.c_str(), GRD_ACCESS_READ, &type);
  if (h < 0) return 0;
  if (GRD_hdr_open(h, hdr.c_str()) == 0) {
    GRD_info info{};
    if (GRD_getinfo(h, &info) == 0) {
      /* Each record as a header, a described header and with its values;
       * then back to the start and past the end. */
      const int order[] = {0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 0, 9};
      for (size_t k = 0; k < sizeof order / sizeof order[0]; ++k) {
        GRD_report g;
        std::memset(&g, 0, sizeof g);
        GRD_init(&g);
        int n = order[k];
        static const int kinds[] = {GRD_READ_HEADER, GRD_READ_HEADER2, GRD_READ_ALL};
        if (GRD_read(h, &g, kinds[k % 3], &n) == 0) GRD_get_pos(h);
        std::free(g.grid);
      }
    }
  }
  GRD_close(h);
  return 0;
}
