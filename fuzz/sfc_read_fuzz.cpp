/* Surface file detection and the readers of the text and netCDF layouts
 * over files of arbitrary bytes: the first byte forces a layout (or
 * detection) and the next bytes are the report indices asked for, in any
 * order, and the kind of report read. */
#include "kez_fuzz.h"
#include "kezsfc.h"

#include <iterator>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kez_fuzz::quiet();
  if (size < 2) return 0;
  constexpr int types[] = {
      0,          SFC_FT_DOTTED_SHORT, SFC_FT_DOTTED, SFC_FT_TAGGED, SFC_FT_TAGGED_EXT, SFC_FT_BINARY, SFC_FT_ELEMENT,
      SFC_FT_CDF, SFC_FT_CDF_OLD};
  const int forced = types[data[0] % std::size(types)];
  const size_t nidx = data[1] % 16;
  data += 2;
  size -= 2;
  const size_t skip = nidx < size ? nidx : size;
  const uint8_t* indices = data;
  const std::string path = kez_fuzz::write_file("sfc", data + skip, size - skip);
  SFC_chktype(path.c_str());
  int type = forced;
  if (SFC_open(path.c_str(), SFC_ACC_READ, &type) < 0) return 0;
  SFC_info info;
  SFC_getinfo(0, &info);
  SFC_report rep;
  for (size_t i = 0; i < skip; ++i) {
    int n = static_cast<int>(indices[i] % 40) - 1;
    const int kinds[] = {SFC_REP_FULL, SFC_REP_ID, SFC_REP_LOCATION, 5};
    SFC_read(0, &rep, kinds[indices[i] >> 6], &n);
  }
  for (int n = 0; n < 1000; ++n)
    if (SFC_read(0, &rep, SFC_REP_FULL, &n) != 0) break;
  SFC_rewind(0);
  int first = 0;
  SFC_read(0, &rep, SFC_REP_LOCATION, &first);
  SFC_close(0);
  return 0;
}
