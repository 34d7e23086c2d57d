/*
 * Every field of every GRIB file of python-grib-doc and of every ecCodes
 * sample against what ecCodes reads from the same files (eccodes_ref.h).
 * The refusals are listed with their reasons in the test's output.
 */
#include "eccodes_ref.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

using grib_test::examples;
using grib_test::samples;
using grib_test::Walk;

namespace {

/* The files of a folder whose names the test takes, in order. */
template <typename Take>
std::vector<std::string> files_in(const std::string& dir, Take take) {
  std::vector<std::string> out;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* ent = readdir(d))
      if (take(std::string(ent->d_name))) out.push_back(dir + ent->d_name);
    closedir(d);
  }
  std::sort(out.begin(), out.end());
  return out;
}

bool ends_with(const std::string& s, const std::string& e) {
  return s.size() > e.size() && s.compare(s.size() - e.size(), e.size(), e) == 0;
}

bool grib_sample(const std::string& n) { return n.find("grib") != std::string::npos || n.rfind("GRIB", 0) == 0; }

/* The grid files of a test case: one python-grib-doc file, all the
 * samples, or the GRIB fuzz target's seeds made from those (the seeds of
 * damaged and hand-built messages left out). */
std::vector<std::string> files_of(const std::string& name) {
  if (name == "samples")
    return files_in(samples, [](const std::string& n) { return ends_with(n, ".tmpl") && grib_sample(n); });
  if (name == "fuzz_seeds")
    return files_in(std::string(KEZ_SOURCE_DIR) + "/fuzz/corpus/grib_fuzz/", [](const std::string& n) {
      if (!ends_with(n, ".grb")) return false;
      if (n.rfind("s_", 0) == 0) return grib_sample(n.substr(2));
      return n.rfind("x_", 0) == 0 || n.rfind("p_", 0) == 0 || n.rfind("v_", 0) == 0;
    });
  return {examples + name};
}

class GribWalk : public ::testing::TestWithParam<const char*> {};

TEST_P(GribWalk, EveryFieldAgreesWithEcCodes) {
  const std::vector<std::string> files = files_of(GetParam());
  if (files.empty() || !std::ifstream(files[0])) GTEST_SKIP() << "python-grib-doc or ecCodes' samples not installed";
  if (!grib_test::have_eccodes_python()) GTEST_SKIP() << "python3-eccodes not installed";
  const Walk w = grib_test::walk_agrees(files);
  std::cout << GetParam() << ": " << w.total << " fields, " << w.decoded << " decoded";
  if (!w.refused.empty()) std::cout << ", refused:";
  std::cout << "\n";
  for (const std::string& r : w.refused) std::cout << "  " << r << "\n";
}

INSTANTIATE_TEST_SUITE_P(RealFiles, GribWalk,
                         ::testing::Values("CMC_reg_WIND_ISBL_300_ps60km_2010052400_P012.grib",
                                           "cl00010000_ecoclimap_rot.grib1", "ds.maxt.bin", "ds.waveh.bin",
                                           "dspr.temp.bin", "ecmwf_tigge.grb", "eta.grb", "flux.grb", "gfs.grb",
                                           "gfs.t12z.pgrbf120.2p5deg.grib2", "ngm.grb", "no-radius-shapeOfEarth-7.grb2",
                                           "rap.wrfnat.grib2", "reduced_latlon_surface.grib2",
                                           "regular_latlon_surface.grib1", "regular_latlon_surface.grib2",
                                           "rotated_ll.grib1", "safrica.grib2", "spherical_pressure_level.grib1",
                                           "samples", "fuzz_seeds"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string n = info.param;
                           for (char& c : n)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return n;
                         });

/* One 6 x 5 field every 2 degrees over 0..10 E, 52..60 N, stored in each
 * scanning order with its corners named in that order: every decoded
 * record lies in the same place, and rows that run east to west come out
 * reversed. Editions 1 and 2 (the column-by-column ones are refused). */
TEST(GribScanning, EveryOrderLiesInThePlaceOfItsCorners) {
  const std::string dir = std::string(KEZ_SOURCE_DIR) + "/fuzz/corpus/grib_fuzz/";
  const std::pair<const char*, int> files[] = {{"v_e1_scans.grb", 3}, {"v_e2_scans.grb", 5}};
  for (const auto& [name, want] : files) {
    SCOPED_TRACE(name);
    grib_test::Records o(dir + name);
    int decoded = 0;
    for (size_t i = 0; o.next(); ++i) {
      if (o.result != 0) continue;
      ++decoded;
      SCOPED_TRACE(i);
      const Domain& d = o.rec.domain;
      EXPECT_NEAR(d.clon, 5, 1e-3);
      EXPECT_NEAR(d.clat, 56, 1e-3);
      EXPECT_NEAR(d.dx, 2, 1e-3);
      EXPECT_NEAR(d.dy, 2, 1e-3);
    }
    EXPECT_EQ(decoded, want);
  }
  /* Edition 1: the first record runs east to west, the second is the same
   * values in the usual order. */
  grib_test::Records o(dir + "v_e1_scans.grb");
  ASSERT_TRUE(o.next());
  ASSERT_EQ(o.result, 0);
  const std::vector<float> reversed = o.values;
  ASSERT_TRUE(o.next());
  ASSERT_EQ(o.result, 0);
  ASSERT_EQ(reversed.size(), 30u);
  for (size_t r = 0; r < 5; ++r)
    for (size_t c = 0; c < 6; ++c) EXPECT_EQ(reversed[r * 6 + c], o.values[r * 6 + 5 - c]) << r << "," << c;
}

} // namespace
