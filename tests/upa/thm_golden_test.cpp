/* A sounding program's whole run over fixture stations, compared line for
 * line with golden text files: open, station, merge, identifier, date, the
 * index run and every table, with the message level "out1,out2,out3" and
 * the pauses of an interactive run. KEZ_UPDATE_GOLDEN=1 in the environment
 * rewrites the golden files instead (review the difference before
 * committing it). */
#include "kez_test.h"
#include "kezupa.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string data_dir = std::string(KEZ_SOURCE_DIR) + "/tests/upa/data/";

std::string ncgen(const kez_test::TempDir& dir, const std::string& name) {
  const std::string out = dir.file(name + ".nc");
  const std::string cmd = "ncgen -o '" + out + "' '" + data_dir + name + ".cdl'";
  EXPECT_EQ(kez_test::run_command(cmd), 0) << cmd;
  return out;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

void expect_golden(const std::string& got, const std::string& golden_name) {
  const std::string path = data_dir + golden_name;
  if (std::getenv("KEZ_UPDATE_GOLDEN")) {
    kez_test::write_file(path, got);
    return;
  }
  auto want = lines_of(kez_test::read_file(path));
  auto have = lines_of(got);
  for (size_t i = 0; i < want.size() && i < have.size(); ++i) EXPECT_EQ(have[i], want[i]) << "line " << i + 1;
  EXPECT_EQ(have.size(), want.size()) << got;
}

std::string run_station(const std::string& file, const char* id) {
  auto r = kez_test::run_child(
      [&] {
        RES_put("file_path", data_dir.c_str());
        MESS_set_str("out1,out2,out3");
        if (UPA_open_file(file.c_str()) != 1) return 2;
        auto rep = std::make_unique<UPA_report>();
        UPA_initialize(rep.get());
        if (UPA_get_station(id, rep.get()) != 1) return 3;
        if (UPA_merge_report(rep.get()) != 1) return 4;
        THERM_set_id(rep->id, rep->wmo);
        Date d{};
        UPA_get_date(&d);
        THERM_set_date(&d);
        THERM_calc();
        THERM_sig_table();
        THERM_indices();
        THERM_wind_table();
        THERM_wind();
        THERM_storm_table();
        return 0;
      },
      std::string(100, '\n'));
  EXPECT_EQ(r.status, 0) << r.err;
  return r.out;
}

TEST(SoundingRun, TextFileStationsMatchGoldenOutput) {
  for (const char* id : {"GHI", "MNO"}) {
    SCOPED_TRACE(id);
    expect_golden(run_station(data_dir + "open.txt", id), std::string("golden_") + id + ".txt");
  }
}

TEST(SoundingRun, NetcdfStationMatchesGoldenOutput) {
  if (!kez_test::have_program("ncgen")) GTEST_SKIP() << "ncgen not installed";
  kez_test::TempDir dir;
  expect_golden(run_station(ncgen(dir, "station"), "DNR"), "golden_DNR.txt");
}

} // namespace
