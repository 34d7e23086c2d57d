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

/* Decodes every record of each fixture in `dir` and hands it with its row of
 * the file's expectations to `check`; each file must hold exactly its rows.
 * Gives the files' paths. */
template <class Want, size_t N, class Check>
std::vector<std::string> check_each_record(const std::string& dir,
                                           const std::pair<const char*, std::vector<Want>> (&files)[N], Check check) {
  std::vector<std::string> paths;
  for (const auto& [name, want] : files) {
    SCOPED_TRACE(name);
    paths.push_back(dir + name);
    grib_test::Records o(dir + name);
    size_t i = 0;
    for (; o.next(); ++i) {
      SCOPED_TRACE(i);
      if (i >= want.size()) {
        ADD_FAILURE() << "more records than expected";
        break;
      }
      if (o.result != 0) {
        ADD_FAILURE() << o.err;
        break;
      }
      check(o, want[i]);
    }
    EXPECT_EQ(i, want.size());
  }
  return paths;
}

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

namespace {

/* Products once read wrong, set with grib_set (tools/make_grib_fixtures.py):
 * the suite's codes of each, and ecCodes' reading of the same files. */
TEST(GribProducts, CodesOfTimesTablesAndTemplates) {
  const std::string dir = std::string(KEZ_SOURCE_DIR) + "/tests/grib/data/";
  struct Want {
    int var, time, ltype, level;
  };
  const int prob_above_300 = 1910000000 + 11 * 10000 + 5 * 1000 + float2int(300.0f);
  const std::pair<const char*, std::vector<Want>> files[] = {
      /* An analysis valid at P1 (range 1), a forecast, a period. */
      {"e1_times.grb", {{6, 3, 100, 500}, {6, 0, 100, 500}, {6, 3, 100, 500}, {6, 2003009, 100, 500}}},
      /* Centre, table, parameter: ECMWF's sea ice (its 31) and a stress it
       * has no WMO number for, its 2 m temperature, wave height and
       * direction of its wave table, its local number in a WMO table;
       * a DWD table; NCEP's second table; a WMO parameter. */
      {"e1_local.grb",
       {{1098128031, 0, 100, 500},
        {1098128229, 0, 100, 500},
        {11, 0, 105, 2},
        {100, 0, 100, 500},
        {1098140230, 0, 100, 500},
        {1098002229, 0, 100, 500},
        {1078201011, 0, 100, 500},
        {491, 0, 100, 500},
        {1007129033, 0, 100, 500},
        {61, 0, 100, 500}}},
      /* Probability (above 300) over 6 hours of no named process and of an
       * accumulation; a period of no named process over 300 hours; a
       * statistic over an area and a chemical constituent at 500 hPa. */
      {"e2_products.grb",
       {{prob_above_300, 2000006, 1, 0},
        {prob_above_300, 4006012, 1, 0},
        {11, 2000300, 1, 0},
        {11, 6, 100, 500},
        {11, 6, 100, 500}}},
  };
  RES_put("file_path", KEZ_DATA_DIR);
  const std::vector<std::string> paths =
      check_each_record(dir, files, [](const grib_test::Records& o, const Want& want) {
        EXPECT_EQ(o.rec.var, want.var);
        EXPECT_EQ(o.rec.time, want.time);
        EXPECT_EQ(o.rec.ltype, want.ltype);
        EXPECT_EQ(o.rec.level, want.level);
        /* A parameter without a name is shown by its number. */
        if (o.rec.var >= 1000000000 && o.rec.var < 1300000000) {
          EXPECT_NE(std::string(o.rec.info).find(std::to_string(o.rec.var)), std::string::npos) << o.rec.info;
        }
      });
  RES_put("file_path", "");
  if (!grib_test::have_eccodes_python()) GTEST_SKIP() << "python3-eccodes not installed";
  const Walk w = grib_test::walk_agrees(paths);
  EXPECT_EQ(w.decoded, 19u);
}

} // namespace

namespace {

/* Each field named from its own message (tools/make_grib_fixtures.py):
 * ensemble products after ones whose details they must not take, members
 * from 20 on, chemical constituents of one quantity, ECMWF's fractions
 * and accumulations; the codes, the tag of the description and units,
 * then ecCodes' reading of the same files. */
TEST(GribProducts, EachFieldNamedFromItsOwnMessage) {
  const std::string dir = std::string(KEZ_SOURCE_DIR) + "/tests/grib/data/";
  struct Want {
    int var;
    const char* info; /* in the description */
    const char* units;
  };
  const std::pair<const char*, std::vector<Want>> files[] = {
      /* Standard deviation then unweighted mean, at a time and over a
       * period; a spread; the positively perturbed member 21, which once
       * read as the cluster member 1; a multi-model member after it; the
       * last member of the short codes; member 255; a deterministic field. */
      {"e2_ensemble.grb",
       {{19001011, "Ens std dev ", "K"},
        {19000011, "Ens mean ", "K"},
        {19001011, "Ens std dev ", "K"},
        {19000011, "Ens mean ", "K"},
        {1400004011, "Ens derived[4] ", "K"},
        {1300789011, "Ens[+21] ", "K"},
        {19281011, "Ens[?1] ", "K"},
        {19339011, "Ens[-19] ", "K"},
        {1301023011, "Ens[+255] ", "K"},
        {11, "", "K"}}},
      /* Mass mixing ratio (and the sample's ozone) of three constituents. */
      {"e2_chem.grb", {{1500000002, "Chem[0] ", ""}, {1500002002, "Chem[2] ", ""}, {1510000002, "Chem[10000] ", ""}}},
      /* Cloud cover as percent, also a constant one; a flux and a stress
       * accumulated. */
      {"e1_ecmwf.grb", {{71, "", "%"}, {71, "", "%"}, {122, "", "J/m^2"}, {326, "", "N-s/m^2"}}},
  };
  RES_put("file_path", KEZ_DATA_DIR);
  const std::vector<std::string> paths =
      check_each_record(dir, files, [](const grib_test::Records& o, const Want& want) {
        EXPECT_EQ(o.rec.var, want.var);
        const std::string info = o.rec.info;
        if (*want.info) {
          EXPECT_NE(info.find(want.info), std::string::npos) << info;
        } else {
          EXPECT_EQ(info.find("Ens"), std::string::npos) << info;
        }
        if (*want.units) {
          EXPECT_STREQ(o.rec.units, want.units);
        }
      });
  /* The constant cloud cover: 0.75 everywhere, as percent. */
  grib_test::Records o(dir + "e1_ecmwf.grb");
  ASSERT_TRUE(o.next());
  ASSERT_TRUE(o.next());
  ASSERT_EQ(o.result, 0);
  for (float v : o.values) EXPECT_FLOAT_EQ(v, 75.0f);
  RES_put("file_path", "");
  if (!grib_test::have_eccodes_python()) GTEST_SKIP() << "python3-eccodes not installed";
  const Walk w = grib_test::walk_agrees(paths);
  EXPECT_EQ(w.decoded, 17u);
}

} // namespace
