/* Upper-air file detection, headers and the readers of the text and netCDF
 * layouts over files of arbitrary bytes: the first byte forces a layout (or
 * detection) in its low three bits and, above them, a layout to write the
 * reports read into (0: none); the second byte says how many of the next
 * bytes are the report indices and read modes asked for, in any order.
 * Reports written to a layout that is read again must come back, as many
 * as were written, with their identifiers. */
#include "kez_fuzz.h"
#include "kezupa.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int write_types[] = {UPA_FT_NONE,     UPA_FT_OLD_SHORT, UPA_FT_OLD_LONG, UPA_FT_FIXED,  UPA_FT_OPEN,
                               UPA_FT_OPEN_LOC, UPA_FT_CDF,       UPA_FT_CDF_SI,   UPA_FT_BINARY, UPA_FT_ELEMENT};
constexpr size_t max_written = 4;

bool read_again(int type) { return type != UPA_FT_BINARY && type != UPA_FT_ELEMENT; }

void write_back(int type, UPA_info info, const std::vector<std::unique_ptr<UPA_report>>& reports) {
  const std::string path = kez_fuzz::scratch_dir() + "/upa_back";
  int t = type;
  if (UPA_open(path.c_str(), UPA_ACC_WRITE, &t) < 0) std::abort();
  info.cmdline = nullptr;
  UPA_putinfo(0, &info);
  std::vector<const UPA_report*> written;
  int count = 0;
  for (const auto& r : reports) {
    /* netCDF records are written at the index given, text ones counted. */
    if (type == UPA_FT_CDF || type == UPA_FT_CDF_SI) count = static_cast<int>(written.size());
    if (UPA_write(0, r.get(), UPA_REP_FULL, &count) == 0) written.push_back(r.get());
  }
  UPA_close(0);
  if (!read_again(type)) return;
  t = type;
  if (UPA_open(path.c_str(), UPA_ACC_READ, &t) < 0) std::abort();
  UPA_getinfo(0, &info);
  auto back = std::make_unique<UPA_report>();
  for (size_t i = 0; i < written.size(); ++i) {
    const int n = static_cast<int>(i);
    if (UPA_read(0, back.get(), UPA_REP_FULL, &n) != 0 || std::strncmp(back->id, written[i]->id, sizeof back->id) != 0)
      std::abort();
  }
  const int past = static_cast<int>(written.size());
  if (UPA_read(0, back.get(), UPA_REP_ID, &past) == 0) std::abort();
  UPA_close(0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kez_fuzz::quiet();
  if (size < 2) return 0;
  constexpr int types[] = {0,           UPA_FT_OLD_SHORT, UPA_FT_OLD_LONG, UPA_FT_FIXED,
                           UPA_FT_OPEN, UPA_FT_OPEN_LOC,  UPA_FT_CDF,      UPA_FT_CDF_SI};
  constexpr int modes[] = {UPA_REP_FULL, UPA_REP_ID, UPA_REP_LOCATION, UPA_REP_SFC, 2, 3, 16, 17, 22, 23, 99, -1};
  const int forced = types[data[0] % 8];
  const int write_type = write_types[(data[0] / 8) % 10];
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
  std::vector<std::unique_ptr<UPA_report>> kept;
  for (int n = 0; n < 200; ++n) {
    if (UPA_read(fd, rep.get(), UPA_REP_FULL, &n) != 0) break;
    if (write_type != UPA_FT_NONE && kept.size() < max_written) kept.push_back(std::make_unique<UPA_report>(*rep));
  }
  UPA_rewind(fd);
  int first = 0;
  UPA_read(fd, rep.get(), UPA_REP_SFC, &first);
  UPA_close(fd);
  if (!kept.empty()) write_back(write_type, info, kept);
  return 0;
}
