/*
 * sfcplot's raw output: with "out_file" "raw" each run of station values
 * writes a raw point-data file named by the "sfc_raw" convention under
 * "raw_path", which the raw-file reader takes back value by value.
 */
#include "kez_test.h"
#include "kezraw.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

using kez_test::read_file;
using kez_test::TempDir;

const std::string kProgram = std::string(KEZ_BINARY_DIR) + "/programs/sfcplot";

TEST(SfcplotRaw, EachStationVariableWritesARawFileThatReadsBack) {
  TempDir dir;
  const std::string ps = dir.file("p.ps");
  std::string out;
  kez_test::run_command("mkdir -p " + dir.file("raw") + " && " + kProgram + " -ba -fp " + KEZ_DATA_DIR + " -dp " +
                            KEZ_DATA_DIR + "/sample -pd lc:40:-95:33:45,40,-95,19,13,3.4,3.4 -pr +3 -pp plt_grid" +
                            " -me none -va temp,dewp -of raw -rp " + dir.file("raw") + " -de p," + ps +
                            ",ps,port,color 11101100_sao.wmo </dev/null 2>&1",
                        &out);
  ASSERT_TRUE(kez_test::wait_until([&] { return read_file(ps).find("%%EOF") != std::string::npos; })) << out;
  for (const char* var : {"temp", "dewp"}) {
    SCOPED_TRACE(var);
    const std::string file = dir.file(std::string("raw/11101100_") + var + ".raw");
    auto r = kez_test::run_child([&] {
      int type = 0;
      const int fd = RAW_open(file.c_str(), RAW_READ, &type);
      if (fd < 0) return 2;
      RAW_info info{};
      RAW_getinfo(fd, &info);
      std::printf("%s|%s\n", RAW_get_field_name(fd, RAW_sel(RAW_SEL_FIELD)), info.datim);
      RAW_report rep{};
      int line = 0, n = 0, plausible = 0;
      while (RAW_read(fd, &rep, RAW_sel(RAW_SEL_FIELD), &line) != -1) {
        ++n;
        plausible += rep.value[0] > -40 && rep.value[0] < 110 && std::fabs(rep.lat) <= 90;
        ++line;
      }
      std::printf("%d %d\n", n, plausible);
      RAW_close(fd);
      return 0;
    });
    ASSERT_EQ(r.status, 0) << r.err << out;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), std::string(var) + "|00Z 11 OCT 11") << r.out;
    int n = 0, plausible = 0;
    ASSERT_EQ(std::sscanf(r.out.c_str() + r.out.find('\n') + 1, "%d %d", &n, &plausible), 2) << r.out;
    EXPECT_GT(n, 50) << "one line a plotted station";
    EXPECT_EQ(plausible, n) << "Fahrenheit values at real positions";
  }
}

} // namespace
