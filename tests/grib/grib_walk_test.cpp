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

/* Where the grid store places point (row, col) of a record. */
std::pair<float, float> position(const GRD_report& rec, int row, int col) {
  const int nx = rec.domain.nx, ny = rec.domain.ny;
  std::vector<float> a(static_cast<size_t>(nx) * ny, -9999.0f), b;
  a[static_cast<size_t>(row) * nx + col] = 0;
  b = a;
  GRD_report lat = rec, lon = rec;
  lat.grid = a.data();
  lon.grid = b.data();
  GRD_point_locate(&lat, "lat");
  GRD_point_locate(&lon, "lon");
  return {a[static_cast<size_t>(row) * nx + col], b[static_cast<size_t>(row) * nx + col]};
}

/* Lambert conformal and polar stereographic grids of 6 by 4 points in the
 * four scanning orders (tools/make_grib_geometry_fixtures.py), each holding
 * 0, 1, 2 ... in message order: the message's first point lies where the
 * order starts (rows that run east to west start at the eastern end), and
 * the last at the opposite corner. Grids that ran east to west were once
 * placed from the western end, a grid's width away. */
TEST(GribScanning, ProjectedGridsStartAtTheirFirstPoint) {
  const std::string dir = std::string(KEZ_SOURCE_DIR) + "/tests/grib/data/";
  struct First {
    float lat, lon;
  };
  const std::pair<const char*, std::vector<First>> files[] = {{"e1_proj_scans.grb", {{30, -110}, {40, -100}}},
                                                              {"e2_proj_scans.grb", {{12.19f, -133.459f}, {40, -100}}}};
  for (const auto& [name, firsts] : files) {
    grib_test::Records o(dir + name);
    size_t i = 0;
    for (; o.next(); ++i) {
      SCOPED_TRACE(testing::Message() << name << " #" << i);
      ASSERT_EQ(o.result, 0) << o.err;
      const bool east_to_west = i % 4 >= 2, south_to_north = i % 2 == 1;
      const int nx = o.rec.domain.nx, ny = o.rec.domain.ny;
      ASSERT_EQ(nx, 6);
      ASSERT_EQ(ny, 4);
      const int row = south_to_north ? ny - 1 : 0, col = east_to_west ? nx - 1 : 0;
      EXPECT_EQ(o.values[static_cast<size_t>(row) * nx + col], 0);
      EXPECT_EQ(o.values[static_cast<size_t>(ny - 1 - row) * nx + nx - 1 - col], 23);
      const auto [lat, lon] = position(o.rec, row, col);
      const First& want = firsts[i / 4];
      EXPECT_NEAR(lat, want.lat, 1e-3);
      EXPECT_NEAR(lon, want.lon, 1e-3);
    }
    EXPECT_EQ(i, 8u);
  }
}

/* Wind components relative to the earth on a Lambert conformal grid
 * (tools/make_grib_geometry_fixtures.py): the vector plot turns a
 * projected grid's components from the grid's north to the earth's, so
 * such a field is read with a message saying so; relative to the grid, and
 * any other parameter, without. */
TEST(GribScanning, EarthRelativeWindsOfProjectedGridsAreSaid) {
  const std::string dir = std::string(KEZ_SOURCE_DIR) + "/tests/grib/data/";
  RES_put("file_path", KEZ_DATA_DIR);
  for (const char* name : {"e1_winds.grb", "e2_winds.grb"}) {
    grib_test::Records o(dir + name);
    const std::pair<int, bool> want[] = {{33, true}, {34, true}, {11, false}, {33, false}};
    size_t i = 0;
    for (; o.next() && i < 4; ++i) {
      SCOPED_TRACE(testing::Message() << name << " #" << i);
      ASSERT_EQ(o.result, 0) << o.err;
      EXPECT_EQ(o.rec.var, want[i].first);
      EXPECT_EQ(o.err.find("Wind components relative to the earth") != std::string::npos, want[i].second) << o.err;
    }
    EXPECT_EQ(i, 4u);
  }
  RES_put("file_path", "");
}

/* Latitude/longitude grids once given a wrong spacing: edition 1 without
 * increments, 3 degrees between columns and 2 between rows (once both 2,
 * from the rows); edition 2 whose last longitude is the first again, 0 to
 * 360 and -180 to 180 over 13 columns (once all at one longitude), and one
 * whose angles count thousandths of a degree (once read as millionths). */
TEST(GribScanning, LatitudeLongitudeGridsSpanTheirCorners) {
  const std::string dir = std::string(KEZ_SOURCE_DIR) + "/tests/grib/data/";
  struct Want {
    float dx, dy, clon, west, east;
    int nx, year;
  };
  const std::pair<const char*, std::vector<Want>> files[] = {
      {"e1_noinc.grb",
       {{3, 2, 26.5f, 10, 43, 12, 2008}, {3, 2, 26.5f, 10, 43, 12, 2008}, {3, 2, 26.5f, 10, 43, 12, 1901}}},
      {"e2_cyclic.grb", {{30, 2, 180, 0, 0, 13, 2008}, {30, 2, 0, 180, 180, 13, 2008}, {30, 2, 165, 0, -30, 12, 2008}}},
      {"e2_basic_angle.grb", {{2, 2, 21, 10, 32, 12, 2008}}},
  };
  check_each_record(dir, files, [](const grib_test::Records& o, const Want& w) {
    const Domain& d = o.rec.domain;
    EXPECT_EQ(d.nx, w.nx);
    EXPECT_EQ(d.ny, 7);
    EXPECT_NEAR(d.dx, w.dx, 1e-4);
    EXPECT_NEAR(d.dy, w.dy, 1e-4);
    EXPECT_NEAR(std::fmod(d.clon + 360, 360), std::fmod(w.clon + 360, 360), 1e-3);
    EXPECT_NEAR(d.clat, 46, 1e-4);
    EXPECT_EQ(o.rec.date.year, w.year);
    /* The corners, and the values of message order from the north-west. */
    const auto nw = position(o.rec, 0, 0), se = position(o.rec, 6, d.nx - 1);
    EXPECT_NEAR(nw.first, 52, 1e-3);
    EXPECT_NEAR(se.first, 40, 1e-3);
    EXPECT_NEAR(std::fmod(nw.second - w.west + 720, 360), 0, 1e-3);
    EXPECT_NEAR(std::fmod(se.second - w.east + 720, 360), 0, 1e-3);
    const bool south_first = o.values[0] != 0;
    EXPECT_EQ(o.values[south_first ? static_cast<size_t>(6) * d.nx : 0], 0);
    EXPECT_EQ(o.values[south_first ? static_cast<size_t>(6) * d.nx + 1 : 1], 1);
  });
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
      /* Edition 2 net fluxes (tools/make_grib_geometry_fixtures.py):
       * accumulated ones are energy per area, the one at the nominal top is
       * the top's (once the surface's, in W/m^2); an instantaneous one; an
       * accumulated stress. */
      {"e2_fluxes.grb", {{111, "", "J/m^2"}, {114, "", "J/m^2"}, {112, "", "W/m^2"}, {124, "", "N-s/m^2"}}},
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
  EXPECT_EQ(w.decoded, 21u);
}

} // namespace
