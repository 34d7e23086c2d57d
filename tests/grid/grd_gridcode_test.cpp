/*
 * WMO GRID-code bulletins through the grid file handles: identification
 * and date groups, wind pairs, scales and constant rows, row order by grid
 * identifier, several grids in one bulletin, and cut bulletins.
 */
#include "kez_test.h"
#include "kezgrd.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

using kez_test::capture;
using kez_test::TempDir;

namespace {

std::string num(int v, int width) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*d", width, v);
  return buf;
}

/* One grid: source 12, identifier gid, parameter param, date 15 Dec (19)26
 * 12 h, time 24, values of width digits; scale is the "3" group and its
 * reference (or empty); row(r) gives the text after row r's marker and
 * label, or a whole row beginning with "9" for a constant row. */
std::string grid(int gid, int param, int width, const std::string& scale, const std::function<std::string(int)>& row) {
  std::string out = "GRID 12" + num(gid, 3) + " 00000 00000\n";
  out += "1" + num(param, 2) + "00 62612 71512 80024 00000 99999\n";
  out += "2" + num(width, 1) + "000 " + scale + "\n";
  for (int r = 0; r < 15; ++r) {
    std::string text = row(r);
    out += text[0] == '9' ? text : "000" + num(r + 1, 2) + " " + num(r + 1, 2) + " " + text;
    out += "\n";
  }
  return out;
}

std::string repeat(const std::string& v, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += v;
  return s;
}

struct Rec {
  GRD_report r{};
  ~Rec() { std::free(r.grid); }
};

int open_grid(const std::string& path) {
  int t = GRD_TYPE_DETECT;
  int fd = GRD_open(path.c_str(), GRD_ACCESS_READ, &t);
  EXPECT_EQ(t, GRD_TYPE_GRID);
  return fd;
}

} // namespace

/* Two wind fields in a row become east-west and north-south components
 * (27015: from 270 degrees at 15); the grids of a bulletin are records 0,
 * 1, 2 and the next gives -1; the header of each is that of its grid. */
TEST(GridCode, WindPairAndSeveralGrids) {
  TempDir dir;
  const std::string path = dir.file("wind.grid");
  auto wind = [](int) { return repeat("27015", 19); };
  auto rows = [](int r) { return repeat(num(r, 3) + " ", 19); };
  kez_test::write_file(path, grid(3, 22, 5, "", wind) + grid(3, 22, 5, "", wind) + grid(7, 4, 3, "", rows) + "NNNN\n");
  int fd = open_grid(path);
  ASSERT_GE(fd, 0);
  GRD_info info{};
  ASSERT_EQ(GRD_getinfo(fd, &info), 0);
  EXPECT_EQ(info.date.month, 12);
  EXPECT_EQ(info.date.day, 15);
  EXPECT_EQ(info.date.hour, 12);
  Rec g[3];
  for (int n = 0; n < 3; ++n) {
    int p = n;
    ASSERT_EQ(GRD_read(fd, &g[n].r, GRD_READ_ALL, &p), 0) << n;
    EXPECT_EQ(p, n);
    ASSERT_NE(g[n].r.grid, nullptr);
    EXPECT_EQ(g[n].r.domain.nx, 19);
    EXPECT_EQ(g[n].r.domain.ny, 15);
    EXPECT_EQ(g[n].r.domain.proj, 2);
    EXPECT_EQ(g[n].r.source, 12);
    EXPECT_EQ(g[n].r.time, 24);
    EXPECT_EQ(g[n].r.date.year, 2026); /* year 26: this century's, as every two-digit year */
  }
  /* In the numbers of the variable table: u and v wind, temperature. */
  EXPECT_EQ(g[0].r.var, 33);
  EXPECT_EQ(g[1].r.var, 34);
  EXPECT_EQ(g[2].r.var, 11);
  EXPECT_STREQ(g[2].r.units, "C");
  EXPECT_EQ(g[0].r.type, 73);
  EXPECT_EQ(g[2].r.type, 77);
  EXPECT_FLOAT_EQ(g[0].r.domain.clat, 55);
  EXPECT_FLOAT_EQ(g[0].r.domain.clon, 135);
  EXPECT_NEAR(g[0].r.grid[0], 15.0f, 1e-4);
  EXPECT_NEAR(g[1].r.grid[100], 0.0f, 1e-4);
  /* Identifier 7 runs north to south: the first row read is the top row. */
  EXPECT_EQ(g[2].r.grid[0], 0.0f);
  EXPECT_EQ(g[2].r.grid[14 * 19], 14.0f);
  Rec end;
  int p = 3;
  EXPECT_EQ(GRD_read(fd, &end.r, GRD_READ_ALL, &p), -1);
  EXPECT_EQ(end.r.grid, nullptr);
  /* Back to the second grid, header only: still the north-south component. */
  p = 1;
  ASSERT_EQ(GRD_read(fd, &end.r, GRD_READ_HEADER, &p), 0);
  EXPECT_EQ(end.r.var, 34);
  EXPECT_EQ(end.r.grid, nullptr);
  GRD_close(fd);
}

/* Scale and reference, constant rows, row order from the south for
 * identifiers 1 to 4, and sign modes. */
TEST(GridCode, ValuesScalesAndRowOrder) {
  TempDir dir;
  struct Case {
    const char* what;
    std::string text;
    int index;     /* point checked */
    float value;   /* its value */
    bool reported; /* a warning expected */
  } cases[] = {
      {"constant row scaled",
       grid(3, 1, 3, "35000 50", [](int r) { return r == 0 ? std::string("90001 01 12") : repeat("001", 19); }),
       14 * 19 + 5, 620.0f, false},
      {"south to north", grid(3, 1, 3, "", [](int r) { return repeat(num(r, 3), 19); }), 14 * 19, 0.0f, false},
      {"south to north top", grid(3, 1, 3, "", [](int r) { return repeat(num(r, 3), 19); }), 0, 14.0f, false},
      {"scale 0.1", grid(7, 1, 4, "31000 0", [](int) { return repeat("0250", 19); }), 7, 25.0f, false},
      {"sign digit",
       "GRID 12007 00000 00000\n10100 62612 71512 00000 99999\n10001 26000\n" +
           [] {
             std::string s;
             for (int r = 0; r < 15; ++r) s += "000" + num(r + 1, 2) + " 01 " + repeat("100007", 19) + "\n";
             return s;
           }(),
       3, -7.0f, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    kez_test::write_file(dir.file("g.grid"), c.text);
    int fd = open_grid(dir.file("g.grid"));
    ASSERT_GE(fd, 0);
    Rec g;
    int p = 0, r = 0;
    auto out = capture([&] { r = GRD_read(fd, &g.r, GRD_READ_ALL, &p); });
    ASSERT_EQ(r, 0) << out.err;
    ASSERT_NE(g.r.grid, nullptr);
    EXPECT_NEAR(g.r.grid[c.index], c.value, 1e-3);
    EXPECT_EQ(out.err.find("GRD_read:") != std::string::npos, c.reported) << out.err;
    GRD_close(fd);
  }
}

/* A bulletin cut anywhere gives a grid or -1, never a crash or a grid
 * with values left from before; a GRID file cannot be written. */
TEST(GridCode, CutBulletinsAndWriting) {
  TempDir dir;
  const std::string whole = grid(5, 1, 3, "35000 50", [](int r) { return repeat(num(r, 3), 19); });
  int ok = 0;
  std::vector<size_t> stale;
  capture([&] {
    for (size_t cut = 0; cut <= whole.size(); cut += 3) {
      kez_test::write_file(dir.file("c.grid"), whole.substr(0, cut));
      int t = GRD_TYPE_GRID;
      int fd = GRD_open(dir.file("c.grid").c_str(), GRD_ACCESS_READ, &t);
      if (fd < 0) continue;
      Rec g;
      g.r.grid = static_cast<float*>(std::malloc(16));
      int p = 0;
      int r = GRD_read(fd, &g.r, GRD_READ_ALL, &p);
      if (r == 0)
        ++ok;
      else if (g.r.grid)
        stale.push_back(cut);
      GRD_close(fd);
    }
  });
  EXPECT_TRUE(stale.empty()) << stale.front();
  EXPECT_LE(ok, 2) << "only a cut at the very end still holds the whole grid";
  /* A group that is not five digits is not read as a number. */
  std::string bad = whole;
  bad.replace(bad.find("10100"), 5, "1x100");
  kez_test::write_file(dir.file("b.grid"), bad);
  int t = GRD_TYPE_GRID;
  int fd = GRD_open(dir.file("b.grid").c_str(), GRD_ACCESS_READ, &t);
  ASSERT_GE(fd, 0);
  Rec g;
  int p = 0, r = 0;
  auto out = capture([&] { r = GRD_read(fd, &g.r, GRD_READ_ALL, &p); });
  EXPECT_EQ(r, -1);
  EXPECT_NE(out.err.find("GRD_read: Invalid GRID group"), std::string::npos) << out.err;
  GRD_close(fd);
  t = GRD_TYPE_GRID;
  capture([&] { EXPECT_EQ(GRD_open(dir.file("w.grid").c_str(), GRD_ACCESS_WRITE, &t), -1); });
}

/* ---- bulletins of real values -------------------------------------------------------- */

/* The 500 mb fields of gfs.grb on GRID grid 1 (tests/grid/data/
 * make_gridcode.py): each grid read with the numbers and units of the
 * variable table and the values ecCodes gives at its points, within the
 * bulletin's rounding; the heights, whose digit width cannot be read, are
 * skipped to the next "GRID" group, never read as grids of their own; with
 * no "GRID" group after them the bulletin ends there. */
TEST(GridCode, RealBulletinSkipsAGridOfUnknownWidth) {
  const std::string gfs = "/usr/share/doc/python-grib-doc/examples/gfs.grb";
  if (!kez_test::have_program("grib_get_data") || !std::ifstream(gfs)) GTEST_SKIP() << "ecCodes or gfs.grb missing";
  /* ecCodes' values at the grid's points: rows from the north (the array's
   * order), 90W to 0. */
  auto eccodes = [&](const char* name) {
    std::string out;
    EXPECT_EQ(
        kez_test::run_command(
            "grib_get_data -w shortName=" + std::string(name) + ",level=500,typeOfLevel=isobaricInhPa " + gfs, &out),
        0);
    std::map<std::pair<int, int>, float> at;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
      float lat = 0, lon = 0, v = 0;
      if (std::sscanf(line.c_str(), "%f %f %f", &lat, &lon, &v) == 3)
        at[{static_cast<int>(std::lround(lat * 10)), static_cast<int>(std::lround(lon * 10))}] = v;
    }
    std::vector<float> v;
    for (int j = 0; j < 15; ++j)
      for (int i = 0; i < 19; ++i) v.push_back(at[{(90 - 5 * j) * 10, ((270 + 5 * i) % 360) * 10}]);
    return v;
  };
  const std::vector<float> t = eccodes("t"), u = eccodes("u"), v = eccodes("v"), r = eccodes("r");
  ASSERT_EQ(t.size(), 285u);
  struct Want {
    int var;
    const char* units;
    std::vector<float> values;
    float tolerance; /* the bulletin's rounding */
  };
  std::vector<float> tc;
  for (float k : t) tc.push_back(k - 273.15f);
  const Want all[] = {{11, "C", tc, 0.051f}, {33, "", u, 0.6f}, {34, "", v, 0.6f}, {52, "%", r, 0.51f}};
  struct Case {
    const char* file;
    size_t grids;
    const char* message;
  };
  const Case cases[] = {{"gfs500.grid", 4, "GRD_read: GRID values of 7 digits cannot be read; grid skipped"},
                        {"gfs500_cut.grid", 1, "GRD_read: GRID values of 7 digits cannot be read; the bulletin ends"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const int fd = open_grid(std::string(KEZ_SOURCE_DIR) + "/tests/grid/data/" + c.file);
    ASSERT_GE(fd, 0);
    GRD_info info{};
    ASSERT_EQ(GRD_getinfo(fd, &info), 0);
    std::vector<Rec> got(6);
    size_t n = 0;
    auto out = capture([&] {
      for (; n < got.size(); ++n) {
        int p = static_cast<int>(n);
        if (GRD_read(fd, &got[n].r, GRD_READ_ALL, &p) != 0) break;
      }
    });
    EXPECT_EQ(n, c.grids) << out.err;
    EXPECT_NE(out.err.find(c.message), std::string::npos) << out.err;
    for (size_t k = 0; k < n; ++k) {
      const GRD_report& g = got[k].r;
      const Want& w = all[k];
      EXPECT_EQ(g.var, w.var) << k;
      EXPECT_STREQ(g.units, w.units) << k;
      EXPECT_EQ(g.level, 500);
      EXPECT_EQ(g.time, 72);
      ASSERT_NE(g.grid, nullptr);
      for (size_t i = 0; i < w.values.size(); ++i) ASSERT_NEAR(g.grid[i], w.values[i], w.tolerance) << k << " at " << i;
    }
    /* The variable table's names find them. */
    VAR_data want[2] = {};
    GRD_set_params(&want[0], 72, KEZ_MISS, 500, 11);
    GRD_set_params(&want[1], 72, KEZ_MISS, 500, 33);
    GRD_report found[2];
    std::memset(found, 0, sizeof found);
    GRD_init(&found[0]);
    GRD_init(&found[1]);
    capture([&] { GRD_search(fd, found, want, KEZ_MISS, -2); });
    EXPECT_EQ(found[0].var, 11);
    EXPECT_EQ(found[1].source != 0, c.grids > 1) << "u is found where it is read";
    std::free(found[0].grid);
    std::free(found[1].grid);
    GRD_close(fd);
  }
}
