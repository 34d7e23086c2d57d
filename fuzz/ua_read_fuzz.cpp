/* Upper-air file detection, headers and the readers of the text and netCDF
 * layouts over files of arbitrary bytes: the first byte forces a layout (or
 * detection), the second says how many of the next bytes are the report
 * indices and read modes asked for, in any order. */
#include "kez_fuzz.h"
#include "kezupa.h"

#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kez_fuzz::quiet();
  if (size < 2) return 0;
  constexpr int types[] = {0,           UPA_FT_OLD_SHORT, UPA_FT_OLD_LONG, UPA_FT_FIXED,
                           UPA_FT_OPEN, UPA_FT_OPEN_LOC,  UPA_FT_CDF,      UPA_FT_CDF_SI};
  constexpr int modes[] = {UPA_REP_FULL, UPA_REP_ID, UPA_REP_LOCATION, UPA_REP_SFC, 2, 3, 16, 17, 22, 23, 99, -1};
  const int forced = types[data[0] % 8];
  const size_t nidx = data[1] % 16;
  data += 2;
  size -= 2;
  const size_t skip = nidx < size ? nidx : size;
  const uint8_t* indices = data;
  const std::string path = kez_fuzz::write_file("upa", data + skip, size - skip);
  UPA_chktype(path.c_str());
  int type = forced;
  const int fd = UPA_open(path.c_str(), UPA_ACC_READ, &type);
  if (fd < 0) return 0;
  UPA_info info{};
  UPA_getinfo(fd, &info);
  auto rep = std::make_unique<UPA_report>();
  for (size_t i = 0; i < skip; ++i) {
    int n = static_cast<int>(indices[i] % 8) - 1;
    UPA_read(fd, rep.get(), modes[(indices[i] >> 3) % 12], &n);
  }
  for (int n = 0; n < 200; ++n)
    if (UPA_read(fd, rep.get(), UPA_REP_FULL, &n) != 0) break;
  UPA_rewind(fd);
  int first = 0;
  UPA_read(fd, rep.get(), UPA_REP_SFC, &first);
  UPA_close(fd);
  return 0;
}
