/*
 * GRIB edition 1: product definition and naming, grid description and the
 * predefined grids, bit map and data. Values are checked against ecCodes'
 * grib_get_data on the same messages, or against grids known by
 * construction (tools/make_grib_fixtures.py).
 */
#include "grib_driver.h"
#include "kez_test.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using grib_test::HANDLE;
using kez_test::TempDir;

namespace {

const std::string examples = "/usr/share/doc/python-grib-doc/examples/";

std::string data_file(const std::string& name) { return std::string(KEZ_SOURCE_DIR) + "/tests/grib/data/" + name; }

void put_bytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

/* One decoded record, its values copied out. */
struct Field {
  int result = 0;
  GRD_report rec{};
  std::vector<float> values;
};

/* Reads every record of a file as the grid store would. */
std::vector<Field> decode_file(const std::string& path, int limit = 100) {
  std::vector<Field> out;
  if (!grib_test::open_grib(path)) return out;
  GRD_info info{};
  if (grib_test::file_header(&info) != 0) {
    grib_test::close_grib();
    return out;
  }
  GRD_report rec{};
  for (int i = 0; i < limit; ++i) {
    Field f;
    f.result = grib_test::read_record(&rec);
    if (f.result == -1 && std::feof(GRD_get_gfile(HANDLE)->file)) break;
    f.rec = rec;
    if (rec.grid && f.result > 0)
      f.values.assign(rec.grid, rec.grid + static_cast<size_t>(rec.domain.nx) * rec.domain.ny);
    f.rec.grid = nullptr;
    out.push_back(f);
    if (!grib_test::skip_record()) break;
  }
  std::free(rec.grid);
  grib_test::close_grib();
  return out;
}

/* ecCodes' values of every message, in the order of the message's points. */
std::vector<std::vector<double>> eccodes_values(const std::string& path) {
  std::string out;
  kez_test::run_command("grib_get_data -m -9999 -F '%.10g' " + path + " 2>/dev/null", &out);
  std::vector<std::vector<double>> msgs;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    if (line.find("Latitude") != std::string::npos) {
      msgs.emplace_back();
      continue;
    }
    double lat, lon, v;
    if (!msgs.empty() && std::sscanf(line.c_str(), "%lf %lf %lf", &lat, &lon, &v) == 3) msgs.back().push_back(v);
  }
  return msgs;
}

std::vector<long> eccodes_keys(const std::string& path, const std::string& keys) {
  std::string out;
  kez_test::run_command("grib_get -p " + keys + " " + path + " 2>/dev/null", &out);
  std::vector<long> v;
  std::istringstream in(out);
  long x;
  while (in >> x) v.push_back(x);
  return v;
}

/* Our array (row 0 the northern row) against ecCodes' values in message
 * order: message row k is array row ny-1-k when rows run northwards, and a
 * row scanned from the east is stored from the west. */
void expect_same_field(const Field& f, const std::vector<double>& ecc, bool south_to_north, bool east_to_west) {
  const int nx = f.rec.domain.nx, ny = f.rec.domain.ny;
  ASSERT_EQ(f.values.size(), ecc.size());
  for (int k = 0; k < ny; ++k)
    for (int i = 0; i < nx; ++i) {
      int row = south_to_north ? ny - 1 - k : k;
      int col = east_to_west ? nx - 1 - i : i;
      double want = ecc[static_cast<size_t>(k) * nx + i];
      double got = f.values[static_cast<size_t>(row) * nx + col];
      ASSERT_NEAR(got, want, 1e-5 * std::max(1.0, std::fabs(want))) << "row " << k << " point " << i;
    }
}

bool have_eccodes() { return kez_test::have_program("grib_get_data"); }

} // namespace

/* Every ecCodes-made fixture unpacks to grib_get_data's values. */
TEST(GribEd1Data, FieldsEqualEccodesValues) {
  if (!have_eccodes()) GTEST_SKIP() << "ecCodes' tools not installed";
  for (const char* name :
       {"e1_ll12.grb", "e1_ll4.grb", "e1_ll16.grb", "e1_ll24.grb", "e1_const.grb", "e1_s2n.grb", "e1_e2w.grb",
        "e1_bitmap.grb", "e1_ps.grb", "e1_lambert.grb", "e1_params.grb", "e1_thin.grb"}) {
    SCOPED_TRACE(name);
    if (std::string(name) == "e1_thin.grb") continue; /* its own test below */
    auto fields = decode_file(data_file(name));
    auto ecc = eccodes_values(data_file(name));
    auto scan = eccodes_keys(data_file(name), "jScansPositively,iScansNegatively");
    ASSERT_EQ(fields.size(), 1u);
    ASSERT_EQ(ecc.size(), 1u);
    ASSERT_EQ(scan.size(), 2u);
    EXPECT_EQ(fields[0].result, 1);
    expect_same_field(fields[0], ecc[0], scan[0] == 1, scan[1] == 1);
  }
}

/* Absent points are missing and take no packed bits. */
TEST(GribEd1Data, BitMapOfEveryOtherPoint) {
  auto f = decode_file(data_file("e1_bitmap.grb"));
  ASSERT_EQ(f.size(), 1u);
  ASSERT_EQ(f[0].values.size(), 20u);
  for (size_t i = 0; i < 20; ++i) {
    if (i % 2)
      EXPECT_EQ(f[0].values[i], -9999.0f) << i;
    else
      EXPECT_NEAR(f[0].values[i], ((i * 37) % 101) * 0.25 - 3, 0.2) << i;
  }
}

TEST(GribEd1Grid, DescribedDomains) {
  auto ll = decode_file(data_file("e1_ll12.grb"));
  ASSERT_EQ(ll.size(), 1u);
  const Domain& d = ll[0].rec.domain;
  EXPECT_EQ(d.proj, 2);
  EXPECT_EQ(d.nx, 5);
  EXPECT_EQ(d.ny, 4);
  EXPECT_FLOAT_EQ(d.dx, 5);
  EXPECT_FLOAT_EQ(d.dy, 5);
  EXPECT_FLOAT_EQ(d.clat, 52.5f);
  EXPECT_FLOAT_EQ(d.clon, 10);
  auto s2n = decode_file(data_file("e1_s2n.grb"));
  EXPECT_FLOAT_EQ(s2n[0].rec.domain.clat, 52.5f);

  if (!kez_test::have_program("proj") || !kez_test::have_program("invproj")) GTEST_SKIP() << "PROJ not installed";
  struct Case {
    const char* file;
    const char* proj;
    double lat1, lon1, dxm;
    int nx, ny;
    int proj_code;
  } cases[] = {
      {"e1_ps.grb", "+proj=stere +lat_0=90 +lat_ts=60 +lon_0=-105", 40, -100, 100000, 6, 5, 1},
      {"e1_lambert.grb", "+proj=lcc +lat_1=25 +lat_2=25 +lon_0=-95", 30, -110, 80000, 6, 4, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    auto f = decode_file(data_file(c.file));
    ASSERT_EQ(f.size(), 1u);
    const Domain& g = f[0].rec.domain;
    EXPECT_EQ(g.proj, c.proj_code);
    EXPECT_EQ(g.nx, c.nx);
    EXPECT_EQ(g.ny, c.ny);
    EXPECT_NEAR(g.dx, c.dxm / 100000, 1e-6);
    std::string p = std::string(c.proj) + " +R=6371220";
    std::string xy;
    kez_test::run_command("echo '" + std::to_string(c.lon1) + " " + std::to_string(c.lat1) + "' | proj -f '%.6f' " + p,
                          &xy);
    double x = 0, y = 0;
    ASSERT_EQ(std::sscanf(xy.c_str(), "%lf %lf", &x, &y), 2);
    /* The exact middle, also of the Lambert grid's even counts: the grid
     * store places the points around the centre, and half a grid length
     * short of it would move every point by as much. */
    double cx = x + (c.nx - 1) * c.dxm / 2;
    double cy = y + (c.ny - 1) * c.dxm / 2;
    std::string ll_out;
    kez_test::run_command("echo '" + std::to_string(cx) + " " + std::to_string(cy) + "' | invproj -f '%.6f' " + p,
                          &ll_out);
    double lon = 0, lat = 0;
    ASSERT_EQ(std::sscanf(ll_out.c_str(), "%lf %lf", &lon, &lat), 2);
    EXPECT_NEAR(g.clat, lat, 0.01);
    EXPECT_NEAR(g.clon, lon, 0.01);
  }
}

TEST(GribEd1Grid, PredefinedGrids) {
  struct Case {
    int number, proj, nx, ny;
    float dx, dy, clat, clon;
  } cases[] = {
      {21, 2, 37, 37, 5, 2.5f, 45, 90},
      {26, 2, 73, 19, 5, 5, -45, 180},
      {50, 2, 36, 33, 2.5f, 1.25f, 40, -96.25f},
      {64, 2, 91, 46, 2, 2, -45, -90},
      {211, 4, 93, 65, 0.8127f, 0.8127f, 40.607f, -100.553f},
      {215, 4, 369, 257, 0.2032f, 0.2032f, 40.607f, -100.553f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number);
    Domain d;
    DOM_init(&d);
    EXPECT_EQ(GRIB_set_domain(c.number, &d), 1);
    EXPECT_EQ(d.proj, c.proj);
    EXPECT_EQ(d.nx, c.nx);
    EXPECT_EQ(d.ny, c.ny);
    EXPECT_FLOAT_EQ(d.dx, c.dx);
    EXPECT_FLOAT_EQ(d.dy, c.dy);
    EXPECT_FLOAT_EQ(d.clat, c.clat);
    EXPECT_FLOAT_EQ(d.clon, c.clon);
    if (c.proj == 4) {
      EXPECT_FLOAT_EQ(d.plon, -95);
      EXPECT_FLOAT_EQ(d.param[0], 25);
      EXPECT_FLOAT_EQ(d.param[1], 25);
    }
  }
  Domain before, d;
  DOM_init(&before);
  DOM_init(&d);
  GRIB_set_domain(3, &d);
  EXPECT_EQ(std::memcmp(&before, &d, sizeof d), 0);
}

/* Grids without a description: pole rows, grid 26's repeated point, grid
 * 50's layout, each against the values it was built from. */
TEST(GribEd1Data, PredefinedLayouts) {
  auto g21 = decode_file(data_file("e1_grid21.grb"));
  ASSERT_EQ(g21.size(), 1u);
  ASSERT_EQ(g21[0].values.size(), 37u * 37u);
  for (int c = 0; c < 37; ++c) EXPECT_FLOAT_EQ(g21[0].values[c], 4100) << c; /* pole row on top */
  for (int r = 0; r < 36; ++r)
    for (int c = 0; c < 37; ++c) ASSERT_FLOAT_EQ(g21[0].values[(36 - r) * 37 + c], 100 + (r * 37 + c) % 4096);

  auto g26 = decode_file(data_file("e1_grid26.grb"));
  ASSERT_EQ(g26.size(), 1u);
  ASSERT_EQ(g26[0].values.size(), 73u * 19u);
  for (int c = 0; c < 73; ++c) EXPECT_FLOAT_EQ(g26[0].values[18 * 73 + c], 1); /* bottom row */
  for (int r = 0; r < 18; ++r) {
    const float* row = &g26[0].values[(17 - r) * 73];
    for (int c = 0; c < 72; ++c) ASSERT_FLOAT_EQ(row[c], (r * 72 + c) % 4096);
    EXPECT_FLOAT_EQ(row[72], row[0]);
  }

  auto g50 = decode_file(data_file("e1_grid50.grb"));
  ASSERT_EQ(g50.size(), 1u);
  ASSERT_EQ(g50[0].values.size(), 36u * 33u);
  for (int r = 0; r < 33; ++r) {
    int k = 0;
    while (4 * (k + 1) < r) ++k;
    for (int c = 0; c < 36; ++c) {
      float v = g50[0].values[r * 36 + c];
      if (c < k || c >= 36 - k)
        ASSERT_EQ(v, -9999.0f) << r << " " << c;
      else
        ASSERT_FLOAT_EQ(v, r * 36 + (c - k)) << r << " " << c;
    }
  }
  EXPECT_EQ(g50[0].values[32 * 36 + 6], -9999.0f);
  EXPECT_NE(g50[0].values[32 * 36 + 7], -9999.0f);

  auto g211 = decode_file(data_file("e1_grid211.grb"));
  ASSERT_EQ(g211.size(), 1u);
  EXPECT_EQ(g211[0].rec.domain.proj, 4);
  ASSERT_EQ(g211[0].values.size(), 93u * 65u);
  EXPECT_FLOAT_EQ(g211[0].values[64 * 93 + 5], 5); /* first message row at the bottom */
}

/* Thinned rows are interpolated to the longest row. */
TEST(GribEd1Data, ThinnedRowsInterpolated) {
  auto f = decode_file(data_file("e1_thin.grb"));
  ASSERT_EQ(f.size(), 1u);
  ASSERT_EQ(f[0].result, 1);
  const int rows[] = {2, 3, 5, 3, 2};
  EXPECT_EQ(f[0].rec.domain.nx, 5);
  EXPECT_EQ(f[0].rec.domain.ny, 5);
  for (int r = 0; r < 5; ++r) {
    int n = rows[r];
    for (int i = 0; i < 5; ++i) {
      double pos = i * (n - 1) / 4.0; /* position along the row's own points */
      int a = std::min(static_cast<int>(pos), n - 2);
      double want = 10 * r + a + (pos - a);
      EXPECT_NEAR(f[0].values[r * 5 + i], want, 1e-4) << r << " " << i;
    }
  }
  /* A row of 37 points to 73: the points at every second output. */
  EXPECT_NEAR(f[0].values[2 * 5 + 2], 22, 1e-5);
}

/* The bad-value filter counts jumps within one row only. */
TEST(GribEd1Data, BadValueFilter) {
  GRIB_set_max_bad(5);
  auto bad = decode_file(data_file("e1_jumps_bad.grb"));
  auto ok = decode_file(data_file("e1_jumps_ok.grb"));
  GRIB_set_max_bad(-1);
  ASSERT_EQ(bad.size(), 1u);
  ASSERT_EQ(bad[0].values.size(), 75u);
  /* Rows: message row 0 is the top row. Row 1 turns bad at its 6th jump
   * (point 9), and everything after stays missing. */
  for (int i = 0; i < 25; ++i) EXPECT_FLOAT_EQ(bad[0].values[i], 20 + i);
  for (int i = 0; i < 9; ++i) EXPECT_NE(bad[0].values[25 + i], -9999.0f) << i;
  for (int i = 34; i < 75; ++i) EXPECT_EQ(bad[0].values[i], -9999.0f) << i;
  ASSERT_EQ(ok.size(), 1u);
  for (float v : ok[0].values) EXPECT_NE(v, -9999.0f);
  /* The same field with the filter off is whole. */
  auto plain = decode_file(data_file("e1_jumps_bad.grb"));
  for (float v : plain[0].values) EXPECT_NE(v, -9999.0f);
}

TEST(GribEd1Data, FloatAndScaleConversions) {
  struct Flt {
    unsigned char o[4];
    float want;
  } flts[] = {{{0x41, 0x10, 0, 0}, 1.0f},
              {{0xC1, 0x10, 0, 0}, -1.0f},
              {{0x42, 0x64, 0, 0}, 100.0f},
              {{0x00, 0xFF, 0xFF, 0xFF}, 0.0f},
              {{0x40, 0x80, 0, 0}, 0.5f}};
  for (const Flt& f : flts) EXPECT_FLOAT_EQ(GRIB_flt_conv(f.o), f.want);
  struct Scl {
    unsigned char o[2];
    float want;
  } scls[] = {{{0x00, 0x03}, 8.0f}, {{0x80, 0x02}, 0.25f}, {{0x00, 0x00}, 1.0f}};
  for (const Scl& s : scls) EXPECT_FLOAT_EQ(GRIB_scl_conv(s.o), s.want);
}

/* Time, level, parameter and scale octets of the product definition. */
TEST(GribEd1Product, DecodedCodes) {
  struct Case {
    int u, p1, p2, r, n;
    int table, param, ltype, a, b, centre, process, d;
    int time, level, var;
    float dscale_value;  /* value of packed 1 with reference 0 and E 0 */
    int want_ltype = -1; /* the level type read, where not the message's */
  } cases[] = {
      {1, 12, 0, 0, 0, 2, 11, 100, 1, 244, 7, 80, 0, 12, 500, 11, 1},
      {2, 3, 0, 0, 0, 2, 11, 100, 1, 244, 7, 80, 0, 803, 500, 11, 1},
      {3, 1, 0, 0, 0, 2, 11, 100, 1, 244, 7, 80, 0, 901, 500, 11, 1},
      {12, 2, 0, 0, 0, 2, 11, 100, 1, 244, 7, 80, 0, 24, 500, 11, 1},
      {1, 6, 12, 4, 0, 2, 11, 100, 1, 244, 7, 80, 0, 4006012, 500, 11, 1},
      {2, 1, 2, 4, 0, 2, 11, 100, 1, 244, 7, 80, 0, 4801802, 500, 11, 1},
      {1, 6, 12, 1, 0, 2, 11, 100, 1, 244, 7, 80, 0, 6, 500, 11, 1}, /* an analysis valid at P1 */
      {1, 1, 44, 10, 0, 2, 11, 100, 1, 244, 7, 80, 0, 300, 500, 11, 1},
      {1, 6, 12, 113, 30, 2, 11, 100, 1, 244, 7, 80, 0, 13006360, 500, 11, 1},
      {3, 1, 1, 113, 3, 2, 11, 100, 1, 244, 7, 80, 0, 13901903, 500, 11, 1},
      {1, 99, 24, 123, 10, 2, 11, 100, 1, 244, 7, 80, 0, 23000240, 500, 11, 1},
      {1, 6, 0, 51, 0, 2, 11, 100, 1, 244, 7, 80, 0, -9999, 500, 11, 1}, /* unknown range */
      {1, 0, 0, 0, 0, 2, 11, 101, 50, 100, 7, 80, 0, 0, 50100, 11, 1},
      {1, 0, 0, 0, 0, 2, 11, 8, 50, 100, 7, 80, 0, 0, -9999, 11, 1}, /* unknown level type */
      {1, 0, 0, 0, 0, 2, 11, 1, 50, 100, 7, 80, 0, 0, 0, 11, 1},
      {1, 0, 0, 0, 0, 2, 177, 1, 0, 0, 7, 80, 0, 0, 0, 571, 1},
      {1, 0, 0, 0, 0, 129, 212, 1, 0, 0, 7, 80, 0, 0, 0, 491, 1},
      /* Centres' own tables: only what is known there is named. */
      {1, 0, 0, 0, 0, 129, 33, 1, 0, 0, 7, 80, 0, 0, 0, 1007129033, 1},
      {1, 0, 0, 0, 0, 128, 31, 1, 0, 0, 98, 80, 0, 0, 0, 1098128031, 1}, /* sea ice, not wind direction */
      {1, 0, 0, 0, 0, 128, 229, 1, 0, 0, 98, 80, 0, 0, 0, 1098128229, 1},
      {1, 0, 0, 0, 0, 128, 130, 100, 1, 244, 98, 80, 0, 0, 500, 11, 1},
      {1, 0, 0, 0, 0, 140, 229, 1, 0, 0, 98, 80, 0, 0, 0, 100, 1},
      {1, 0, 0, 0, 0, 140, 130, 1, 0, 0, 98, 80, 0, 0, 0, 1098140130, 1},
      {1, 0, 0, 0, 0, 201, 11, 1, 0, 0, 78, 80, 0, 0, 0, 1078201011, 1},
      {1, 0, 0, 0, 0, 2, 229, 1, 0, 0, 98, 80, 0, 0, 0, 1098002229, 1}, /* ECMWF above 128, WMO table */
      {1, 0, 0, 0, 0, 2, 31, 1, 0, 0, 98, 80, 0, 0, 0, 31, 1},
      {1, 0, 0, 0, 0, 2, 7, 1, 0, 0, 7, 44, 0, 0, 0, 161, 1},
      /* Hours from 800 on are whole days or no code at all. */
      {1, 3, 48, 10, 0, 2, 11, 100, 1, 244, 7, 80, 0, 834, 500, 11, 1},
      {1, 3, 231, 10, 0, 2, 11, 100, 1, 244, 7, 80, 0, -9999, 500, 11, 1},
      {11, 0, 140, 4, 0, 2, 11, 100, 1, 244, 7, 80, 0, 4800835, 500, 11, 1},
      {11, 1, 140, 4, 0, 2, 11, 100, 1, 244, 7, 80, 0, -9999, 500, 11, 1},
      /* Potential vorticity in 10^-6 (2000 of edition 1's 10^-9); ECMWF's
       * isobaric levels in Pa. */
      {1, 0, 0, 0, 0, 2, 11, 117, 7, 208, 7, 80, 0, 0, 2, 11, 1},
      {1, 0, 0, 0, 0, 2, 11, 117, 5, 220, 7, 80, 0, 0, -9999, 11, 1},
      {1, 0, 0, 0, 0, 128, 130, 210, 0, 200, 98, 80, 0, 0, 2, 11, 1, 100},
      {1, 0, 0, 0, 0, 128, 130, 210, 0, 50, 98, 80, 0, 0, -9999, 11, 1, 100},
      {1, 0, 0, 0, 0, 2, 11, 210, 0, 50, 7, 80, 0, 0, -9999, 11, 1}, /* NCEP's is a cloud top */
      /* Numbers from 128 on are the centre's own in any table: NCEP's are
       * named, others' not. */
      {1, 0, 0, 0, 0, 1, 212, 1, 0, 0, 96, 80, 0, 0, 0, 1096001212, 1},
      {1, 0, 0, 0, 0, 2, 212, 1, 0, 0, 7, 80, 0, 0, 0, 212, 1},
      {1, 0, 0, 0, 0, 2, 11, 1, 0, 0, 7, 80, 2, 0, 0, 11, 0.01f},
      {1, 0, 0, 0, 0, 2, 11, 1, 0, 0, 7, 80, -3, 0, 0, 11, 1000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.r << "/" << c.ltype << "/" << c.param << "/" << c.d);
    unsigned char o[64] = {};
    o[3] = 28;
    o[4] = static_cast<unsigned char>(c.table);
    o[5] = static_cast<unsigned char>(c.centre);
    o[6] = static_cast<unsigned char>(c.process);
    o[7] = 255;
    o[9] = static_cast<unsigned char>(c.param);
    o[10] = static_cast<unsigned char>(c.ltype);
    o[11] = static_cast<unsigned char>(c.a);
    o[12] = static_cast<unsigned char>(c.b);
    o[13] = 24;
    o[14] = 5;
    o[15] = 6;
    o[18] = static_cast<unsigned char>(c.u);
    o[19] = static_cast<unsigned char>(c.p1);
    o[20] = static_cast<unsigned char>(c.p2);
    o[21] = static_cast<unsigned char>(c.r);
    o[23] = static_cast<unsigned char>(c.n);
    int dm = std::abs(c.d);
    o[27] = static_cast<unsigned char>((dm >> 8) | (c.d < 0 ? 0x80 : 0));
    o[28] = static_cast<unsigned char>(dm & 0xFF);
    GRD_report g{};
    g.version = 1;
    g.time = g.level = g.var = 777; /* another field's codes */
    kez_test::capture([&] { GRIB_decode_PDB(o, &g); });
    EXPECT_EQ(g.time, c.time);
    EXPECT_EQ(g.level, c.level);
    EXPECT_EQ(g.var, c.var);
    EXPECT_EQ(g.ltype, c.want_ltype < 0 ? c.ltype : c.want_ltype);
    EXPECT_EQ(g.source, c.centre);
    EXPECT_EQ(g.model, c.process);
    EXPECT_EQ(g.date.year, 2024);
    if (c.var == 161) {
      EXPECT_STREQ(g.units, "m");
    }
    if (c.var >= 1000000000) {
      EXPECT_STREQ(g.units, ""); /* nothing known of it */
    }
  }
}

/* The product keys agree with grib_get on the same message: parameter 61
 * of ECMWF's own table, which neither knows by name. */
TEST(GribEd1Product, AgreesWithGribGet) {
  if (!have_eccodes()) GTEST_SKIP() << "ecCodes' tools not installed";
  auto f = decode_file(data_file("e1_params.grb"));
  ASSERT_EQ(f.size(), 1u);
  auto k =
      eccodes_keys(data_file("e1_params.grb"),
                   "indicatorOfParameter,level,P1,P2,timeRangeIndicator,unitOfTimeRange,year,centre:i,table2Version");
  ASSERT_EQ(k.size(), 9u);
  EXPECT_EQ(f[0].rec.var, 1000000000 + k[7] * 1000000 + k[8] * 1000 + k[0]);
  EXPECT_EQ(f[0].rec.ltype, 1);
  EXPECT_EQ(f[0].rec.level, 0);
  EXPECT_EQ(f[0].rec.time, k[4] * 1000000 + k[2] * 1000 + k[3]);
  EXPECT_STREQ(f[0].rec.units, "");
  EXPECT_EQ(f[0].rec.date.year, k[6]);
  EXPECT_NE(std::string(f[0].rec.datim), "");
  EXPECT_NE(std::string(f[0].rec.info), "");
}

TEST(GribEd1Product, EnsembleAndProbabilityNaming) {
  auto ens = decode_file(data_file("e1_ens.grb"));
  ASSERT_EQ(ens.size(), 1u);
  EXPECT_EQ(ens[0].rec.var, 19342011);
  EXPECT_NE(std::string(ens[0].rec.info).find("Ens[+2] "), std::string::npos) << ens[0].rec.info;
  EXPECT_STREQ(ens[0].rec.units, "K");

  auto prob = decode_file(data_file("e1_prob.grb"));
  ASSERT_EQ(prob.size(), 1u);
  std::string info = prob[0].rec.info;
  EXPECT_NE(info.find("Ens prob (%) "), std::string::npos) << info;
  EXPECT_NE(info.find(" above 6.35"), std::string::npos) << info;
  EXPECT_STREQ(prob[0].rec.units, "%");
  EXPECT_EQ(prob[0].rec.var, 1910612000 + float2int(6.35f));
}

/* Refused grids and damaged messages: a warning, a failure, and no values
 * left over from the field before. */
TEST(GribEd1Hostile, RefusalsLeaveNoValues) {
  TempDir dir;
  const std::string ll = kez_test::read_file(data_file("e1_ll12.grb"));
  /* Where the sections begin: indicator 8 octets, then each by its length. */
  auto len3 = [&](size_t at) {
    return (static_cast<size_t>(static_cast<unsigned char>(ll[at])) << 16) |
           (static_cast<size_t>(static_cast<unsigned char>(ll[at + 1])) << 8) | static_cast<unsigned char>(ll[at + 2]);
  };
  const size_t gds = 8 + len3(8);
  const size_t bds = gds + len3(gds);
  struct Case {
    const char* what;
    size_t at;
    unsigned char value;
    const char* message;
  } cases[] = {
      {"columns first", gds + 27, 0x20, "column"},
      {"33 bits", bds + 10, 33, "32 bits"},
      {"rows 2001", gds + 9, 0xD1, "Too many rows"},
      {"short grid length", gds + 2, 20, "Invalid grid description length"},
      {"short product length", 8 + 2, 20, "Invalid product definition length"},
      {"complex packing", bds + 3, 0x40, "second-order"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string m = ll;
    m[c.at] = static_cast<char>(c.value);
    if (std::string(c.what) == "rows 2001") m[c.at - 1] = 0x07; /* 0x07D1 */
    put_bytes(dir.file("bad.grb"), m);
    ASSERT_NE(grib_test::open_grib(dir.file("bad.grb")), nullptr);
    GRD_report rec{};
    rec.grid = static_cast<float*>(std::malloc(sizeof(float) * 4));
    int r = 0;
    auto out = kez_test::capture([&] { r = grib_test::read_record(&rec); });
    EXPECT_LE(r, 0);
    EXPECT_EQ(rec.grid, nullptr);
    EXPECT_NE(out.err.find(c.message), std::string::npos) << out.err;
    std::free(rec.grid);
    grib_test::close_grib();
  }
}

/* Every fixture cut at every octet: a result, never a crash or a stale grid. */
TEST(GribEd1Hostile, MessagesCutAtEveryOctet) {
  TempDir dir;
  for (const char* name :
       {"e1_ll12.grb", "e1_bitmap.grb", "e1_thin.grb", "e1_grid26.grb", "e1_ps.grb", "e1_lambert.grb", "e1_ens.grb"}) {
    SCOPED_TRACE(name);
    const std::string m = kez_test::read_file(data_file(name));
    auto whole = decode_file(data_file(name));
    ASSERT_EQ(whole.size(), 1u);
    std::vector<std::string> wrong;
    kez_test::capture([&] {
      for (size_t cut = 0; cut < m.size(); ++cut) {
        put_bytes(dir.file("cut.grb"), m.substr(0, cut));
        if (!grib_test::open_grib(dir.file("cut.grb"))) continue;
        GRD_report rec{};
        rec.grid = static_cast<float*>(std::malloc(sizeof(float) * 4));
        int r = grib_test::read_record(&rec);
        /* A field unpacks only when all its packed bits are there (the end
         * marker or padding may be cut), and then whole; any other cut leaves
         * the record without values. */
        if (r == 1 && (rec.grid == nullptr || !std::equal(whole[0].values.begin(), whole[0].values.end(), rec.grid)))
          wrong.push_back(std::to_string(cut) + " unpacked");
        /* Below 8 octets no message is found and nothing is read. */
        if (cut >= 8 && r != 1 && rec.grid != nullptr) wrong.push_back(std::to_string(cut) + " kept values");
        std::free(rec.grid);
        grib_test::close_grib();
      }
    });
    EXPECT_TRUE(wrong.empty()) << wrong.front();
  }
}
