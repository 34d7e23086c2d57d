#include "kez_test.h"
#include "kezgrd.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using kez_test::capture;
using kez_test::run_child;
using kez_test::TempDir;

constexpr float M = KEZ_FMISS;
constexpr int kLatLon = 2;

Domain latlon(int nx, int ny, float d) {
  Domain dom;
  DOM_init(&dom);
  dom.proj = kLatLon;
  dom.clat = 40;
  dom.clon = -100;
  dom.dx = dom.dy = d;
  dom.nx = nx;
  dom.ny = ny;
  return dom;
}

/* The grid store slots an analysis writes into, with fields allocated for
 * the first num of them. */
struct Slots {
  std::vector<GRD_report> g;
  Slots(const Domain& dom, int num) : g(GRD_STORE_SLOTS) {
    for (GRD_report& r : g) {
      std::memset(&r, 0, sizeof r);
      GRD_init(&r);
      DOM_init(&r.domain);
    }
    for (int f = 0; f < num; ++f) {
      g[static_cast<size_t>(f)].domain = dom;
      GRD_alloc(&g[static_cast<size_t>(f)]);
    }
  }
  ~Slots() {
    for (GRD_report& r : g) std::free(r.grid);
  }
  Slots(const Slots&) = delete;
  Slots& operator=(const Slots&) = delete;
  float at(int f, int i, int j) const {
    const GRD_report& r = g[static_cast<size_t>(f)];
    return r.grid[static_cast<size_t>(j) * static_cast<size_t>(r.domain.nx) + static_cast<size_t>(i)];
  }
  std::vector<float> values(int f) const {
    const GRD_report& r = g[static_cast<size_t>(f)];
    return std::vector<float>(r.grid, r.grid + static_cast<size_t>(r.domain.nx) * r.domain.ny);
  }
};

/* Stations given in grid coordinates of dom, as plot positions. */
struct Stations {
  std::vector<float> x, y;
  Stations(const Domain& dom, const std::vector<std::pair<float, float>>& grid_pos) {
    Domain saved;
    MAP_get_domain(&saved);
    MAP_domain(&dom);
    for (auto [gx, gy] : grid_pos) {
      float px = 0, py = 0;
      MAP_grid_tran(gx, gy, &px, &py);
      x.push_back(px);
      y.push_back(py);
    }
    MAP_domain(&saved);
  }
  int n() const { return static_cast<int>(x.size()); }
};

/* The usual set-up of the callers: defaults, filter 1, radius 3 grid lengths. */
void reset(float filter = 1, float radius = 3) {
  OBJ_initialize();
  OBJ_set_filter(filter);
  OBJ_set_rad_inf(radius);
  RES_put("plot_param", "");
  RES_put("object_param", "");
}

TEST(ObjectiveAnalysis, OneStationFillsItsRadiusAndNothingBeyond) {
  reset();
  Domain dom = latlon(12, 10, 1);
  Slots s(dom, 1);
  Stations st(dom, {{4, 5}});
  std::vector<float> v{10};
  float* z[1] = {v.data()};
  EXPECT_EQ(OBJ_analyze(st.x.data(), st.y.data(), z, 1, 1, s.g.data()), -1); /* one pass */
  for (int j = 0; j < 10; ++j)
    for (int i = 0; i < 12; ++i) {
      const double d = std::hypot(i - 4.0, j - 5.0);
      if (d <= 2.99) {
        EXPECT_EQ(s.at(0, i, j), 10.0f) << i << "," << j;
      } else if (d >= 3.01) {
        EXPECT_EQ(s.at(0, i, j), M) << i << "," << j;
      }
    }
  EXPECT_EQ(s.g[0].source, 1);
  EXPECT_EQ(s.g[0].type, 2);
}

TEST(ObjectiveAnalysis, EqualDistancesAverageAndMinimumStationsHoldsBack) {
  reset();
  Domain dom = latlon(9, 5, 1);
  {
    Slots s(dom, 1);
    Stations st(dom, {{3, 2}, {5, 2}});
    std::vector<float> v{0, 10};
    float* z[1] = {v.data()};
    OBJ_analyze(st.x.data(), st.y.data(), z, 2, 1, s.g.data());
    EXPECT_FLOAT_EQ(s.at(0, 4, 2), 5.0f);
    EXPECT_FLOAT_EQ(s.at(0, 4, 0), 5.0f);
  }
  {
    reset();
    RES_put("object_param", ",,,,3");
    Slots s(dom, 1);
    Stations st(dom, {{3, 2}, {5, 2}, {8, 2}});
    std::vector<float> v{0, 10, 20};
    float* z[1] = {v.data()};
    OBJ_analyze(st.x.data(), st.y.data(), z, 3, 1, s.g.data());
    EXPECT_EQ(s.at(0, 1, 2), M) << "sees one station";
    EXPECT_EQ(s.at(0, 4, 2), M) << "sees two stations";
    EXPECT_NE(s.at(0, 6, 2), M) << "sees all three";
    RES_put("object_param", "");
  }
}

/* Parameters as the analysis reports them at the out4 level. */
std::string reported(const char* plot_param, const char* object_param, const char* format) {
  reset(1, 3);
  RES_put("plot_param", plot_param);
  RES_put("object_param", object_param);
  OBJ_decode_format(format);
  Domain dom = latlon(6, 6, 1);
  Slots s(dom, 1);
  Stations st(dom, {{2, 2}});
  std::vector<float> v{1};
  float* z[1] = {v.data()};
  const M_type old = MESS_get();
  MESS_set(1, M_out4);
  auto out = capture([&] { OBJ_analyze(st.x.data(), st.y.data(), z, 1, 1, s.g.data()); });
  MESS_set(-1, M_out4 & ~old);
  RES_put("plot_param", "");
  RES_put("object_param", "");
  return out.out + out.err;
}

TEST(ObjectiveAnalysis, SettingsItemsAreReadAndClamped) {
  struct Case {
    const char* plot_param;
    const char* object_param;
    std::vector<const char*> lines;
    const char* why;
  };
  const Case cases[] = {
      {"",
       "2,5,6,0.5,1",
       {"Filter parameter             =    2.0000 cm**2", "Radius of influence          =    5.00 grids",
        "Number of passes             =    1\n", "Minimum stations at gridpt   =    1 stats"},
       "six passes are out of range"},
      {"",
       "0,-1,0,1,0",
       {"Filter parameter             =    1.0000", "Radius of influence          = 1000.00 grids",
        "Number of passes             =    1\n", "Minimum stations at gridpt   =    1 stats"},
       "non-positive values fall back"},
      {"",
       "3,,3,0.005,2.7",
       {"Filter parameter             =    3.0000", "Radius of influence          =    3.00 grids",
        "Number of passes             =    3\n", "Convergence parameter        =    0.2000",
        "Minimum stations at gridpt   =    2 stats"},
       "an empty radius keeps the caller's; a tiny convergence falls back"},
      {"",
       ",,2,0.5",
       {"Filter parameter             =    1.0000", "Convergence parameter        =    0.5000"},
       "an empty filter keeps the caller's"},
      {"",
       "nan,inf,2",
       {"Filter parameter             =    1.0000", "Radius of influence          = 1000.00 grids"},
       "texts that are no finite number read as 0"},
      {"label,GRIDX2", "", {"Radius of influence          =    6.00 grids"}, "gridx keeps the radius' distance"},
  };
  for (const Case& c : cases) {
    std::string out = reported(c.plot_param, c.object_param, "");
    for (const char* line : c.lines) EXPECT_NE(out.find(line), std::string::npos) << c.why << "\n" << out;
  }
  /* The refinement factor stays for the process, but bad ones are refused. */
  std::string out = reported("gridx0", "", "");
  EXPECT_NE(out.find("OBJ_decode_params: Invalid grid factor: gridx0"), std::string::npos) << out;
  EXPECT_NE(out.find("Radius of influence          =    6.00 grids"), std::string::npos) << out;
  reported("gridx1", "", "");
}

TEST(ObjectiveAnalysis, MissItemCountsMissingValuesAsZero) {
  Domain dom = latlon(9, 5, 1);
  for (int way = 0; way < 3; ++way) {
    reset();
    if (way == 1) RES_put("plot_param", "cont,Miss");
    if (way == 2) OBJ_decode_format("c=2:miss:lw=1");
    Slots s(dom, 1);
    Stations st(dom, {{3, 2}, {5, 2}});
    std::vector<float> v{M, 10};
    float* z[1] = {v.data()};
    OBJ_analyze(st.x.data(), st.y.data(), z, 2, 1, s.g.data());
    if (way == 0) {
      EXPECT_FLOAT_EQ(s.at(0, 4, 2), 10.0f) << "left out";
      EXPECT_EQ(v[0], M);
    } else {
      EXPECT_FLOAT_EQ(s.at(0, 4, 2), 5.0f) << "counted as 0, way " << way;
      EXPECT_EQ(v[0], 0.0f) << "replaced in the station array";
    }
  }
  RES_put("plot_param", "");
}

/* RMS lines of the out3 level, in order. */
std::vector<std::string> rms_lines(const std::string& out) {
  std::vector<std::string> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);)
    if (line.rfind("RMS Error", 0) == 0) lines.push_back(line);
  return lines;
}

TEST(ObjectiveAnalysis, StationsOffTheGridOrOnItsLastPointHaveSoundResiduals) {
  Domain dom = latlon(8, 6, 1);
  auto run = [&](std::vector<std::pair<float, float>> pos, std::vector<float> v) {
    reset();
    OBJ_set_num_pass(1);
    Slots s(dom, 1);
    Stations st(dom, pos);
    float* z[1] = {v.data()};
    const M_type old = MESS_get();
    MESS_set(1, M_out3);
    auto out = capture([&] { EXPECT_EQ(OBJ_analyze(st.x.data(), st.y.data(), z, st.n(), 1, s.g.data()), 0); });
    MESS_set(-1, M_out3 & ~old);
    return std::make_pair(rms_lines(out.out + out.err), s.values(0));
  };
  /* Just off the left edge: it reaches the grid but has no cell. */
  auto [off, grid_off] = run({{-1.5f, 2}}, {7});
  ASSERT_EQ(off.size(), 1u);
  EXPECT_EQ(off[0], "RMS Error for field 1: no stations");
  EXPECT_EQ(grid_off[2 * 8 + 0], 7.0f);
  /* On the last column and row: the bilinear value uses the corner alone. */
  auto [corner, grid_corner] = run({{7, 5}}, {4});
  ASSERT_EQ(corner.size(), 1u);
  EXPECT_EQ(corner[0], "RMS Error for field 1: 0.000000");
  EXPECT_EQ(grid_corner[5 * 8 + 7], 4.0f);
}

TEST(ObjectiveAnalysis, TinyValuesBecomeZeroAndRefusalsAreClean) {
  reset();
  Domain dom = latlon(6, 6, 1);
  {
    Slots s(dom, 1);
    Stations st(dom, {{2, 2}, {3, 2}});
    std::vector<float> v{1e-12f, 1e-12f};
    float* z[1] = {v.data()};
    OBJ_analyze(st.x.data(), st.y.data(), z, 2, 1, s.g.data());
    EXPECT_EQ(s.at(0, 2, 2), 0.0f);
    EXPECT_FALSE(std::signbit(s.at(0, 2, 2)));
  }
  {
    /* No field: -1 and nothing printed. */
    Slots s(dom, 1);
    float* z[2] = {nullptr, nullptr};
    auto out = capture([&] { EXPECT_EQ(OBJ_analyze(nullptr, nullptr, z, 0, 2, s.g.data()), -1); });
    EXPECT_EQ(out.out + out.err, "");
  }
  {
    /* A field whose slot has another size is refused; the others go on. */
    Slots s(dom, 2);
    s.g[1].domain.nx = 3;
    Stations st(dom, {{2, 2}});
    std::vector<float> a{5}, b{6};
    float* z[2] = {a.data(), b.data()};
    auto out = capture([&] { OBJ_analyze(st.x.data(), st.y.data(), z, 1, 2, s.g.data()); });
    EXPECT_NE(out.err.find("OBJ_analyze: Field 2 does not fit the 6 by 6 analysis grid"), std::string::npos) << out.err;
    EXPECT_EQ(s.at(0, 2, 2), 5.0f);
    EXPECT_EQ(s.g[1].source, 0);
  }
  {
    /* No stations: every point missing. */
    Slots s(dom, 1);
    std::vector<float> v{1};
    float* z[1] = {v.data()};
    float none = 0;
    OBJ_analyze(&none, &none, z, 0, 1, s.g.data());
    for (float g : s.values(0)) EXPECT_EQ(g, M);
  }
}

/* A smooth field at random stations, some off the grid, some missing. */
struct Sample {
  std::vector<std::pair<float, float>> pos;
  std::vector<float> a, b;
};

Sample sample(int n, int nx, int ny, unsigned seed, bool with_missing) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> ux(-4.0f, static_cast<float>(nx) + 3.0f);
  std::uniform_real_distribution<float> uy(-4.0f, static_cast<float>(ny) + 3.0f);
  Sample s;
  for (int k = 0; k < n; ++k) {
    float gx = ux(rng), gy = uy(rng);
    if (k % 17 == 0) gx = std::floor(gx); /* exactly on grid lines too */
    s.pos.emplace_back(gx, gy);
    s.a.push_back(static_cast<float>(280 + 10 * std::sin(gx / 7.0) * std::cos(gy / 9.0)));
    s.b.push_back(with_missing && k % 11 == 3 ? M : static_cast<float>(gx * 0.5 - gy));
  }
  return s;
}

void analyses_agree(const Domain& dom) {
  Sample smp = sample(900, 47, 31, 7, true);
  struct Setup {
    float radius;
    int passes;
    const char* plot_param;
    const char* object_param;
  };
  const Setup setups[] = {
      {3, 3, "", ""}, {1.5f, 2, "miss", ""}, {0.4f, 1, "", ""}, {3, 4, "", "0.3,,4,0.3,2"}, {40, 2, "", ""},
  };
  for (const Setup& su : setups) {
    std::vector<float> grids[2][2];
    std::vector<float> stations[2];
    for (int mode : {OBJ_SEARCH_BINNED, OBJ_SEARCH_DIRECT}) {
      reset(0.5f, su.radius);
      OBJ_set_num_pass(su.passes);
      RES_put("plot_param", su.plot_param);
      RES_put("object_param", su.object_param);
      OBJ_set_search(mode);
      Slots s(dom, 2);
      Stations st(dom, smp.pos);
      std::vector<float> a = smp.a, b = smp.b;
      float* z[2] = {a.data(), b.data()};
      const M_type old = MESS_get();
      MESS_set(1, M_out3);
      capture([&] { OBJ_analyze(st.x.data(), st.y.data(), z, st.n(), 2, s.g.data()); });
      MESS_set(-1, M_out3 & ~old);
      grids[mode][0] = s.values(0);
      grids[mode][1] = s.values(1);
      stations[mode] = b;
    }
    OBJ_set_search(OBJ_SEARCH_BINNED);
    for (int f = 0; f < 2; ++f)
      EXPECT_EQ(std::memcmp(grids[0][f].data(), grids[1][f].data(), grids[0][f].size() * sizeof(float)), 0)
          << "radius " << su.radius << " field " << f << " rows " << dom.dy;
    EXPECT_EQ(stations[0], stations[1]) << "the same stations were given the substitute";
  }
  RES_put("plot_param", "");
  RES_put("object_param", "");
}

/* Each station adding itself to the grid points in its reach gives the
 * grids, bit for bit, of each grid point visiting every station; also on a
 * grid whose rows lie closer than its columns. */
TEST(ObjectiveAnalysis, StationsInReachEqualVisitingEveryStation) {
  Domain narrow = latlon(47, 31, 0.5f);
  narrow.dy = 0.3f;
  for (const Domain& dom : {latlon(47, 31, 0.5f), narrow}) analyses_agree(dom);
}

TEST(ObjectiveAnalysis, ThreePassesLowerTheResidualOfASmoothField) {
  reset(1, 3);
  OBJ_set_num_pass(3);
  Domain dom = latlon(40, 30, 1);
  Sample smp = sample(600, 40, 30, 11, false);
  Slots s(dom, 1);
  Stations st(dom, smp.pos);
  float* z[1] = {smp.a.data()};
  const M_type old = MESS_get();
  MESS_set(1, M_out3);
  auto out = capture([&] { OBJ_analyze(st.x.data(), st.y.data(), z, st.n(), 1, s.g.data()); });
  MESS_set(-1, M_out3 & ~old);
  auto lines = rms_lines(out.out);
  ASSERT_EQ(lines.size(), 3u) << out.out;
  std::vector<double> rms;
  for (const std::string& l : lines) rms.push_back(std::atof(l.substr(l.find(':') + 1).c_str()));
  EXPECT_LT(rms[1], rms[0]);
  EXPECT_LT(rms[2], rms[1]);
  EXPECT_LT(rms[2], 0.5 * rms[0]);
  EXPECT_NE(out.out.find("Pass: 3...\n"), std::string::npos);
}

TEST(ObjectiveAnalysis, AgreesWithATextbookBarnesAnalysis) {
  if (kez_test::run_command("/usr/bin/python3 -c 'import numpy, scipy' 2>/dev/null") != 0)
    GTEST_SKIP() << "numpy and scipy are needed";
  TempDir dir;
  struct Setup {
    int nx, ny;
    float d, filter, radius;
    int passes;
    float converg;
  };
  const Setup setups[] = {{30, 22, 0.5f, 0.5f, 3, 3, 0.2f}, {25, 25, 1, 1, 3, 1, 0.2f}, {20, 16, 1, 2, 4, 2, 0.5f}};
  for (const Setup& su : setups) {
    reset(su.filter, su.radius);
    OBJ_set_num_pass(su.passes);
    OBJ_set_converg(su.converg);
    Domain dom = latlon(su.nx, su.ny, su.d);
    Sample smp = sample(350, su.nx, su.ny, 5, false);
    Slots s(dom, 1);
    Stations st(dom, smp.pos);
    std::vector<float> v = smp.a;
    float* z[1] = {v.data()};
    const M_type old = MESS_get();
    MESS_set(1, M_out3);
    capture([&] { OBJ_analyze(st.x.data(), st.y.data(), z, st.n(), 1, s.g.data()); });
    MESS_set(-1, M_out3 & ~old);
    {
      std::ofstream in(dir.file("case.txt"));
      char line[160];
      std::snprintf(line, sizeof line, "%d %d %.9g %.9g %.9g %.9g %d %.9g\n", su.nx, su.ny, su.d, su.d, su.filter,
                    su.radius, su.passes, su.converg);
      in << line;
      for (int k = 0; k < st.n(); ++k) {
        /* the analysis turned the positions into grid coordinates */
        std::snprintf(line, sizeof line, "%.9g %.9g %.9g\n", st.x[k], st.y[k], smp.a[k]);
        in << line;
      }
    }
    std::string cmd = "/usr/bin/python3 " KEZ_SOURCE_DIR "/tests/data/barnes_reference.py " + dir.file("case.txt") +
                      " " + dir.file("ref.txt");
    ASSERT_EQ(kez_test::run_command(cmd), 0) << cmd;
    std::ifstream ref(dir.file("ref.txt"));
    std::vector<float> got = s.values(0);
    size_t k = 0, compared = 0;
    for (std::string word; ref >> word; ++k) {
      ASSERT_LT(k, got.size());
      if (word == "nan") {
        EXPECT_EQ(got[k], M) << k;
      } else {
        const double want = std::atof(word.c_str());
        EXPECT_NEAR(got[k], want, 4e-7 * std::fabs(want)) << k;
        ++compared;
      }
    }
    EXPECT_EQ(k, got.size());
    EXPECT_GT(compared, got.size() / 2);
  }
}

} // namespace
