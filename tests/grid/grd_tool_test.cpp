#include "grid_test_util.h"
#include "kez_test.h"
#include "kezgrd.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using grid_test::domain;
using grid_test::fill;
using grid_test::Grid;
using kez_test::capture;
using kez_test::run_child;
using kez_test::run_command;
using kez_test::TempDir;
using kez_test::write_file;

constexpr float M = KEZ_FMISS;

/* ---- store ----------------------------------------------------------------- */

TEST(GridStore, IsInitialisedBeforeFirstUseAndKeepsEarlierSettings) {
  auto r = run_child([] {
    /* Set through the store before anyone asked for a slot. */
    GRD_set_grid_info(3, "early");
    Domain d = domain(2, 40, -100, 1, 1, 4, 3);
    GRD_set_grid_domain(3, &d);
    GRD_report* s5 = GRD_get_grid(5);
    GRD_report* s3 = GRD_get_grid(3);
    std::printf("%d %d %d %d %d %d %s|%s|%d\n", s5->source, s5->type, s5->time, s5->ltype, s5->level, s5->var,
                s5->grid ? "array" : "none", s3->info, s3->domain.nx);
    GRD_get_grid(5)->source = 7;
    std::printf("%d\n", GRD_get_grid(5)->source); /* a second call does not initialise */
    return 0;
  });
  EXPECT_EQ(r.out, "0 0 -9999 -9999 -9999 -9999 none|early|4\n7\n");
}

TEST(GridStore, SlotNumbersOutsideTheStoreAreRefused) {
  Domain d = domain(2, 0, 0, 1, 1, 2, 2);
  Date date{};
  GRD_report rec;
  GRD_init(&rec);
  const std::vector<std::pair<const char*, std::function<bool(int)>>> calls = {
      {"GRD_get_grid", [](int i) { return GRD_get_grid(i) == nullptr; }},
      {"GRD_set_grid", [&](int i) { return GRD_set_grid(i, &rec) == -1; }},
      {"GRD_set_grid_domain", [&](int i) { return GRD_set_grid_domain(i, &d) == -1; }},
      {"GRD_get_grid_domain", [&](int i) { return GRD_get_grid_domain(i, &d) == -1; }},
      {"GRD_set_grid_info", [](int i) { return GRD_set_grid_info(i, "x") == -1; }},
      {"GRD_get_grid_info", [](int i) { return GRD_get_grid_info(i) == nullptr; }},
      {"GRD_set_grid_date", [&](int i) { return GRD_set_grid_date(i, &date, "x") == -1; }},
      {"GRD_set_var", [](int i) { return GRD_set_var(i) == -1; }},
      {"GRD_alloc_grid", [](int i) { return GRD_alloc_grid(i) == -1; }},
  };
  for (const auto& [name, call] : calls)
    for (int ind : {-1, GRD_STORE_SLOTS, 1 << 30}) {
      bool refused = false;
      auto out = capture([&] { refused = call(ind); });
      EXPECT_TRUE(refused) << name << " " << ind;
      EXPECT_NE(out.err.find(name), std::string::npos) << name << ": " << out.err;
    }
}

TEST(GridStore, RefinementFactorMultipliesPointsAndDividesSpacing) {
  Domain d = domain(2, 40, -100, 1.0f, 1.0f, 10, 8);
  GRD_set_grid_factor(3);
  GRD_set_grid_factor(0);  /* ignored */
  GRD_set_grid_factor(-2); /* ignored */
  EXPECT_EQ(GRD_get_grid_factor(), 3);
  GRD_get_grid(10)->source = 4;
  GRD_get_grid(10)->version = 2;
  GRD_set_grid_domain(10, &d);
  Domain got{};
  GRD_get_grid_domain(10, &got);
  EXPECT_EQ(got.nx, 28);
  EXPECT_EQ(got.ny, 22);
  EXPECT_FLOAT_EQ(got.dx, 1.0f / 3);
  EXPECT_FLOAT_EQ(got.dy, 1.0f / 3);
  EXPECT_EQ(GRD_get_grid(10)->source, 0);
  EXPECT_EQ(GRD_get_grid(10)->version, 0);
  GRD_set_grid_factor(1);
  GRD_set_grid_domain(10, &d);
  GRD_get_grid_domain(10, &got);
  EXPECT_EQ(std::memcmp(&got, &d, sizeof d), 0);
}

TEST(GridStore, SetVarTakesTheVariableListEntry) {
  VAR_data* v = VAR_get_var(12);
  ASSERT_NE(v, nullptr);
  v->var[0] = 7;
  v->time = 12;
  v->ltype = 100;
  v->level = 500;
  std::snprintf(v->units, sizeof v->units, "m");
  ASSERT_EQ(GRD_set_var(12), 0);
  const GRD_report* s = GRD_get_grid(12);
  EXPECT_EQ(s->var, 7);
  EXPECT_EQ(s->time, 12);
  EXPECT_EQ(s->ltype, 100);
  EXPECT_EQ(s->level, 500);
  EXPECT_STREQ(s->units, "m");
}

TEST(GridStore, FileDateComesFromTheCallerOrTheFileLayer) {
  Date d{2026, 12, 10, KEZ_MISS, KEZ_MISS, 12, 0, 0};
  GRD_set_date(&d);
  Date got{};
  GRD_get_date(&got);
  EXPECT_EQ(std::memcmp(&got, &d, sizeof d), 0);
  GRD_set_date(nullptr);
  Date file{};
  FILE_get_date(&file);
  GRD_get_date(&got);
  EXPECT_EQ(std::memcmp(&got, &file, sizeof file), 0);
}

/* ---- ownership ----------------------------------------------------------------- */

TEST(GridRecords, EveryArrayHasExactlyOneOwner) {
  Domain d = domain(2, 0, 0, 1, 1, 3, 2);
  Grid a(d, {1, 2, 3, 4, 5, 6});
  float* arr = a.r.grid;

  GRD_report b;
  GRD_init(&b);
  GRD_copy(&b, &a.r);
  EXPECT_EQ(b.grid, arr);
  EXPECT_EQ(a.r.grid, nullptr) << "a copy moves the array";
  EXPECT_EQ(a.r.source, 1) << "a copy keeps the source's header";

  GRD_report c;
  GRD_init(&c);
  GRD_move(&c, &b);
  EXPECT_EQ(c.grid, arr);
  EXPECT_EQ(b.grid, nullptr);
  EXPECT_EQ(b.source, 0) << "a move empties the source";

  /* GRD_alloc releases what the record held (the leak check sees it). */
  ASSERT_EQ(GRD_alloc(&c), 1);
  ASSERT_EQ(GRD_alloc(&c), 1);

  /* The store slot takes the array over and releases the one it held. */
  GRD_report* s = GRD_get_grid(20);
  s->domain = d;
  ASSERT_EQ(GRD_alloc_grid(20), 0);
  float* held = c.grid;
  GRD_set_grid(20, &c);
  EXPECT_EQ(GRD_get_grid(20)->grid, held);
  EXPECT_EQ(c.grid, nullptr);
  GRD_init_grids(); /* releases every slot's array */
  EXPECT_EQ(GRD_get_grid(20)->grid, nullptr);

  GRD_report e;
  GRD_init(&e);
  e.domain = d;
  GRD_free(&e); /* without an array: only marked empty */
  EXPECT_EQ(e.source, 0);
  EXPECT_EQ(e.domain.nx, KEZ_MISS);
}

TEST(GridRecords, CopyInfoTakesTheHeaderButNoArray) {
  Domain d = domain(2, 10, 20, 1, 1, 2, 2);
  Grid from(d, {1, 2, 3, 4});
  from.r.level = 500;
  from.r.model = 9;
  std::snprintf(from.r.units, sizeof from.r.units, "K");
  GRD_report to;
  GRD_init(&to);
  to.level = 850;
  to.time = 6;
  to.var = 11;
  std::snprintf(to.info, sizeof to.info, "mine");
  GRD_copy_info(&to, &from.r);
  EXPECT_EQ(to.grid, nullptr);
  EXPECT_EQ(to.model, 9);
  EXPECT_STREQ(to.units, "K");
  EXPECT_EQ(to.domain.nx, 2);
  EXPECT_EQ(to.level, 850);
  EXPECT_EQ(to.time, 6);
  EXPECT_EQ(to.var, 11);
  EXPECT_STREQ(to.info, "mine");
  EXPECT_NE(from.r.grid, nullptr);
}

TEST(GridRecords, AllocRefusesSizesThatDescribeNoGrid) {
  for (auto [nx, ny] : {std::pair{0, 5}, {-3, 4}, {KEZ_MISS, 2}, {200000, 200000}}) {
    GRD_report g;
    GRD_init(&g);
    g.domain = domain(2, 0, 0, 1, 1, nx, ny);
    auto out = capture([&] { EXPECT_EQ(GRD_alloc(&g), 0); });
    EXPECT_EQ(g.grid, nullptr);
    EXPECT_NE(out.err.find("GRD_alloc:"), std::string::npos);
  }
}

/* ---- extremes and statistics ------------------------------------------------------- */

TEST(GridStats, ExtremesAndAveragesSkipMissingValues) {
  Domain d = domain(2, 0, 0, 1, 1, 3, 2);
  Grid g(d, {M, 1, 2, M, 6, M});
  Grid all_miss(d, {M, M, M, M, M, M});
  Grid none(d, {});
  float hi = 0, lo = 0;
  EXPECT_EQ(GRD_maxmin(&g.r, &hi, &lo), 0);
  EXPECT_EQ(hi, 6);
  EXPECT_EQ(lo, 1);
  EXPECT_EQ(GRD_maxmin(&all_miss.r, &hi, &lo), 0);
  EXPECT_EQ(hi, M);
  EXPECT_EQ(lo, M);
  EXPECT_EQ(GRD_maxmin(&none.r, &hi, &lo), -1);
  EXPECT_EQ(hi, M);
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  Grid odd(d, {nan, 3, inf, -inf, -2, M});
  EXPECT_EQ(GRD_maxmin(&odd.r, &hi, &lo), 0);
  EXPECT_EQ(hi, 3) << "values that are not finite are missing";
  EXPECT_EQ(lo, -2);

  struct Case {
    const char* oper;
    const GRD_report* grid;
    int result;
    float v0, v1;
  };
  const Case cases[] = {
      {"avgnum", &g.r, 1, 3, 3}, {"AVG", &g.r, 1, 3, M},           {"max", &g.r, 1, 6, M},    {"min", &g.r, 1, 1, M},
      {"MaxMin", &g.r, 1, 6, 1}, {"avgnum", &all_miss.r, 1, M, 0}, {"avg", &none.r, 0, M, M}, {"median", &g.r, 0, M, M},
  };
  for (const Case& c : cases) {
    float v[2] = {123, 456};
    EXPECT_EQ(GRD_stats(c.oper, c.grid, v), c.result) << c.oper;
    EXPECT_EQ(v[0], c.v0) << c.oper;
    EXPECT_EQ(v[1], c.v1) << c.oper;
  }
}

TEST(GridStats, LargestWindCountsPointsWithBothComponents) {
  Domain d = domain(2, 0, 0, 1, 1, 2, 2);
  Grid u(d, {10, 3, M, 0});
  Grid v(d, {0, 4, 5, 7});
  float max = 0;
  EXPECT_EQ(GRD_UVmax(&u.r, &v.r, &max), 0);
  EXPECT_FLOAT_EQ(max, 10) << "a pure west wind counts";
  Grid u0(d, {M, 0, M, 0});
  EXPECT_EQ(GRD_UVmax(&u0.r, &v.r, &max), 0);
  EXPECT_FLOAT_EQ(max, 7) << "a pure south wind counts";
  Grid um(d, {M, M, M, M});
  EXPECT_EQ(GRD_UVmax(&um.r, &v.r, &max), 0);
  EXPECT_EQ(max, M) << "no point with both components";
  Grid big(domain(2, 0, 0, 1, 1, 3, 3), std::vector<float>(9, 1.0f));
  auto out = capture([&] { EXPECT_EQ(GRD_UVmax(&big.r, &v.r, &max), -1); });
  EXPECT_NE(out.err.find("GRD_UVmax"), std::string::npos);
  Grid none(d, {});
  EXPECT_EQ(GRD_UVmax(&u.r, &none.r, &max), -1);
}

/* ---- values at positions --------------------------------------------------------------- */

TEST(GridValues, BilinearValueFollowsTheEdgeRules) {
  Domain d = domain(2, 0, 0, 1, 1, 3, 3);
  Grid g(d, {1, 2, 3, //
             4, 5, 6, //
             7, 8, 9});
  Grid hole(d, {1, 2, 3, 4, 5, M, 7, 8, 9});
  /* Four columns of 90 degrees go round the globe: column 3 is followed by
   * column 0, and a column index counts modulo 4. */
  Grid globe(domain(2, 0, 135, 90, 1, 4, 2), {0, 10, 20, 30, //
                                              40, 50, 60, 70});
  Grid part(domain(2, 0, 135, 80, 1, 4, 2), {0, 10, 20, 30, 40, 50, 60, 70});
  struct Case {
    const GRD_report* grid;
    float gx, gy, want;
    const char* why;
  };
  const Case cases[] = {
      {&g.r, 2, 2, 9, "the last point exactly"},
      {&g.r, 2.00005f, 2, 9, "within 0.0001 of the last column"},
      {&g.r, 2.0002f, 1, M, "beyond the last column"},
      {&g.r, 1, 2.0002f, M, "beyond the last row"},
      {&g.r, -0.001f, 1, M, "before the first column"},
      {&g.r, 0.5f, 2, 7.5f, "the last row interpolates east only"},
      {&g.r, 2, 0.5f, 4.5f, "the last column interpolates south only"},
      {&g.r, 0.5f, 0.5f, 3, "inside"},
      {&hole.r, 1, 0.5f, M, "a missing corner with weight 0 still counts"},
      {&hole.r, 0.5f, 0.5f, 3, "corners all present"},
      {&globe.r, 3.5f, 0, 15, "between the last and the first column of a globe"},
      {&globe.r, 3.5f, 0.5f, 35, "and between its rows"},
      {&globe.r, -0.5f, 1, 55, "west of the first column"},
      {&globe.r, 5.25f, 0, 12.5f, "an index beyond a turn"},
      {&part.r, 3.5f, 0, M, "a grid short of the globe does not wrap"},
  };
  for (const Case& c : cases) EXPECT_FLOAT_EQ(GRD_get_value(c.grid, c.gx, c.gy), c.want) << c.why;
  Grid none(d, {});
  EXPECT_EQ(GRD_get_value(&none.r, 0, 0), M);
}

/* Writes rows of numbers to a file for the reference script. */
std::string numbers(const std::vector<float>& v) {
  std::ostringstream s;
  s.precision(9);
  for (float x : v) s << x << "\n";
  return s.str();
}

std::vector<double> run_reference(const std::string& script, const TempDir& dir) {
  write_file(dir.file("ref.py"), script);
  std::string out;
  int st = run_command("/usr/bin/python3 " + dir.file("ref.py"), &out);
  EXPECT_EQ(st, 0) << out;
  std::vector<double> v;
  std::istringstream in(out);
  std::string w;
  while (in >> w) v.push_back(w == "nan" ? NAN : std::stod(w));
  return v;
}

bool have_scipy() { return run_command("/usr/bin/python3 -c 'import scipy.interpolate' 2>/dev/null") == 0; }

TEST(GridValues, AgreeWithAnIndependentLinearInterpolator) {
  if (!have_scipy()) GTEST_SKIP() << "scipy not available";
  const int nx = 7, ny = 5;
  auto vals = fill(nx, ny, [](int i, int j) { return std::sin(i * 0.7) * 10 + j * j - 3.0 * i * j; });
  vals[3 * nx + 4] = M; /* one hole */
  Grid g(domain(2, 0, 0, 1, 1, nx, ny), vals);
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> ux(-0.5f, nx - 0.5f), uy(-0.5f, ny - 0.5f);
  std::vector<float> pts;
  for (int k = 0; k < 200; ++k) {
    float gx = ux(rng), gy = uy(rng);
    /* Between the last point and 0.0001 beyond it the two rules differ on purpose. */
    if ((gx > nx - 1 && gx <= nx - 0.9999) || (gy > ny - 1 && gy <= ny - 0.9999)) continue;
    pts.push_back(gx);
    pts.push_back(gy);
  }
  for (float e : {0.0f, static_cast<float>(nx - 1)}) { /* the edges exactly */
    pts.push_back(e);
    pts.push_back(static_cast<float>(ny - 1));
  }
  TempDir dir;
  write_file(dir.file("grid.txt"), numbers(vals));
  write_file(dir.file("pts.txt"), numbers(pts));
  std::string script =
      "import numpy as np\n"
      "from scipy.interpolate import RegularGridInterpolator\n"
      "g = np.loadtxt('" +
      dir.file("grid.txt") + "').reshape(" + std::to_string(ny) + "," + std::to_string(nx) +
      ")\n"
      "g[g == -9999] = np.nan\n"
      "p = np.loadtxt('" +
      dir.file("pts.txt") +
      "').reshape(-1, 2)\n"
      "f = RegularGridInterpolator((np.arange(g.shape[0]), np.arange(g.shape[1])), g,\n"
      "                            method='linear', bounds_error=False, fill_value=np.nan)\n"
      "for v in f(p[:, ::-1]): print(repr(float(v)))\n";
  std::vector<double> want = run_reference(script, dir);
  ASSERT_EQ(want.size() * 2, pts.size());
  for (size_t k = 0; k < want.size(); ++k) {
    float got = GRD_get_value(&g.r, pts[2 * k], pts[2 * k + 1]);
    if (std::isnan(want[k]))
      EXPECT_EQ(got, M) << pts[2 * k] << "," << pts[2 * k + 1];
    else
      EXPECT_NEAR(got, want[k], 1e-3) << pts[2 * k] << "," << pts[2 * k + 1];
  }
}

TEST(GridValues, RemapAgreesWithAnIndependentLinearInterpolator) {
  if (!have_scipy()) GTEST_SKIP() << "scipy not available";
  const int nx = 9, ny = 7;
  auto vals = fill(nx, ny, [](int i, int j) { return 100.0 + 3.0 * i - 2.0 * j + 0.5 * i * j; });
  vals[2 * nx + 2] = M;
  /* Source: lat/lon grid, 1 degree, centre 40N 100W; target: finer and
   * shifted so that some of its points fall outside the source. */
  Grid in(domain(2, 40, -100, 1, 1, nx, ny), vals);
  Domain out_dom = domain(2, 41.25f, -98.5f, 0.5f, 0.5f, 11, 9);
  GRD_report out;
  GRD_init(&out);
  ASSERT_EQ(GRD_remap(&out, &out_dom, &in.r), 0);
  ASSERT_NE(out.grid, nullptr);
  EXPECT_EQ(out.domain.nx, 11);
  /* Grid coordinates of the target points in the source, from geometry. */
  const double top = 40 + 1.0 * (ny - 1) / 2, west = -100 - 1.0 * (nx - 1) / 2;
  const double ttop = 41.25 + 0.5 * (9 - 1) / 2, twest = -98.5 - 0.5 * (11 - 1) / 2;
  std::vector<float> pts;
  for (int j = 0; j < 9; ++j)
    for (int i = 0; i < 11; ++i) {
      pts.push_back(static_cast<float>(twest + 0.5 * i - west));
      pts.push_back(static_cast<float>(top - (ttop - 0.5 * j)));
    }
  TempDir dir;
  write_file(dir.file("grid.txt"), numbers(vals));
  write_file(dir.file("pts.txt"), numbers(pts));
  std::string script =
      "import numpy as np\n"
      "from scipy.interpolate import RegularGridInterpolator\n"
      "g = np.loadtxt('" +
      dir.file("grid.txt") + "').reshape(" + std::to_string(ny) + "," + std::to_string(nx) +
      ")\n"
      "g[g == -9999] = np.nan\n"
      "p = np.loadtxt('" +
      dir.file("pts.txt") +
      "').reshape(-1, 2)\n"
      "f = RegularGridInterpolator((np.arange(g.shape[0]), np.arange(g.shape[1])), g,\n"
      "                            method='linear', bounds_error=False, fill_value=np.nan)\n"
      "for v in f(p[:, ::-1]): print(repr(float(v)))\n";
  std::vector<double> want = run_reference(script, dir);
  ASSERT_EQ(want.size(), 99u);
  int outside = 0;
  for (size_t k = 0; k < want.size(); ++k) {
    if (std::isnan(want[k])) {
      ++outside;
      EXPECT_EQ(out.grid[k], M) << k;
    } else {
      EXPECT_NEAR(out.grid[k], want[k], 2e-3) << k;
    }
  }
  EXPECT_GT(outside, 0);
  std::free(out.grid);
}

TEST(GridValues, RemapInPlaceAndPositionsInAnotherDomain) {
  Domain d = domain(2, 40, -100, 1, 1, 5, 4);
  Grid g(d, fill(5, 4, [](int i, int j) { return i + 10 * j; }));
  /* The grid's own points in its own domain are the plot positions of its
   * grid indices. */
  float* xs = nullptr;
  float* ys = nullptr;
  ASSERT_EQ(GRD_proj_XY(&g.r, &d, &xs, &ys), 0);
  Domain saved{};
  MAP_get_domain(&saved);
  MAP_domain(&d);
  for (int j = 0; j < 4; ++j)
    for (int i = 0; i < 5; ++i) {
      float x = 0, y = 0;
      MAP_grid_tran(static_cast<float>(i), static_cast<float>(j), &x, &y);
      EXPECT_NEAR(xs[j * 5 + i], x, 1e-3);
      EXPECT_NEAR(ys[j * 5 + i], y, 1e-3);
    }
  MAP_domain(&saved);
  ASSERT_EQ(GRD_proj_XY(&g.r, &d, &xs, &ys), 0); /* the old arrays are released */
  std::free(xs);
  std::free(ys);

  Domain half = domain(2, 40, -100, 0.5f, 0.5f, 9, 7);
  ASSERT_EQ(GRD_remap(&g.r, &half, &g.r), 0) << "target may be the source";
  EXPECT_EQ(g.r.domain.nx, 9);
  EXPECT_NEAR(g.r.grid[1], 0.5f, 1e-4);
  EXPECT_NEAR(g.r.grid[9 * 6 + 8], 34.0f, 1e-4);
}

TEST(GridValues, PositionsOnAMapAgreeWithTheWayThroughTheEarth) {
  /* The positions of a grid's points on a map are where its points lie on
   * the earth, projected by the map. On a map of the grid's own projection
   * they are the points themselves, but not past a projection's cut: the
   * right half of a grid from 0 to 360 degrees lies left of a map centred
   * on Greenwich. Each case is checked against the way through the earth,
   * point by point. */
  struct Case {
    const char* grid;
    const char* map;
  };
  const Case cases[] = {
      {"lc:40:-95:33:45,40,-95,61,41,1,1", "lc:40:-95:33:45,40,-95,19,13,3.4,3.4"},
      {"lc:40:-95:33:45,45,-80,31,21,0.7,0.9", "lc:40:-95:33:45,40,-95,19,13,3.4,3.4"},
      {"lc:40:-95:33:45,75,-95,41,41,3,3", "lc:40:-95:33:45,40,-95,19,13,3.4,3.4"},
      {"lc:40:-95:33:45,40,-95,61,41,1,1", "lc:40:-80:33:45,40,-80,19,13,3.4,3.4"},
      {"ps,60,-100,41,41,3,3", "ps,60,-100,25,17,1.2,1.2"},
      {"ll:0:0,0,180,73,37,5,5", "ll:0:0,0,0,73,37,5,5"},
      {"ll,40,-100,41,31,1,1", "ll,40,-100,25,17,1,1"},
      {"merc:0:0,0,170,41,31,1.5,1.5", "merc:0:0,0,0,41,31,1.5,1.5"},
      {"merc,0,170,41,31,1.5,1.5", "merc,0,170,41,31,1.5,1.5"},
  };
  Domain saved{};
  MAP_get_domain(&saved);
  for (const Case& c : cases) {
    Domain gd{}, md{};
    ASSERT_EQ(DOM_decode(c.grid, &gd), DOM_DECODED) << c.grid;
    ASSERT_EQ(DOM_decode(c.map, &md), DOM_DECODED) << c.map;
    Grid g(gd, std::vector<float>(static_cast<size_t>(gd.nx) * gd.ny, 1.0f));
    float* xs = nullptr;
    float* ys = nullptr;
    ASSERT_EQ(GRD_proj_XY(&g.r, &md, &xs, &ys), 0) << c.grid;
    MAP_domain(&gd);
    float xc = 0, yc = 0;
    MAP_tran(gd.clat, gd.clon, &xc, &yc);
    size_t k = 0, moved = 0;
    for (int j = gd.ny - 1; j >= 0; --j)
      for (int i = 0; i < gd.nx; ++i, ++k) {
        const float px = static_cast<float>(xc - gd.dx * ((gd.nx - 1) / 2.0) + i * gd.dx);
        const float py = static_cast<float>(yc - gd.dy * ((gd.ny - 1) / 2.0) + j * gd.dy);
        float lat = M, lon = M, x = M, y = M;
        MAP_domain(&gd);
        MAP_untran(px, py, &lat, &lon);
        MAP_domain(&md);
        if (lat != M && lon != M) {
          MAP_tran(lat, lon, &x, &y);
        }
        if (x == M || y == M) {
          EXPECT_EQ(xs[k], M) << c.grid << " point " << i << "," << j;
          EXPECT_EQ(ys[k], M) << c.grid << " point " << i << "," << j;
          continue;
        }
        if (std::fabs(x - px) > 1.0f || std::fabs(y - py) > 1.0f) ++moved;
        EXPECT_NEAR(xs[k], x, 1e-3 + 1e-5 * std::fabs(x)) << c.grid << " point " << i << "," << j;
        EXPECT_NEAR(ys[k], y, 1e-3 + 1e-5 * std::fabs(y)) << c.grid << " point " << i << "," << j;
      }
    if (std::string(c.grid).rfind("ll:0:0,0,180", 0) == 0) {
      EXPECT_GT(moved, 0u) << "the case crosses the cut";
    }
    std::free(xs);
    std::free(ys);
  }
  MAP_domain(&saved);
}

/* ---- read-out and editing --------------------------------------------------------------- */

TEST(GridValues, EditRoundsToTheNearestPointOrRefusesOffGrid) {
  auto edit_at = [](float gx, const std::string& answer) {
    return run_child(
        [gx] {
          Domain d = domain(2, 40, -100, 1, 1, 4, 3);
          Grid g(d, std::vector<float>(12, 1.5f));
          g.r.grid[4] = M;
          MAP_domain(&d);
          float x = 0, y = 0;
          MAP_grid_tran(gx, 1, &x, &y);
          int res = GRD_edit_value("", x, y, &g.r);
          std::printf("|%d %g %g\n", res, g.r.grid[4], g.r.grid[5]);
          return 0;
        },
        answer);
  };
  auto r = edit_at(-0.7f, "42\n");
  EXPECT_NE(r.out.find("Grid:   0,  1 Val = MISS "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("|0 42 1.5"), std::string::npos) << r.out;
  r = edit_at(-1.6f, "42\n");
  EXPECT_NE(r.out.find("Grid:  -1,  1 Off grid"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("|-1 -9999 1.5"), std::string::npos) << r.out;
  r = edit_at(1.2f, "\n");
  EXPECT_NE(r.out.find("Val =   1.50"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("|0 -9999 0"), std::string::npos) << r.out;
}

TEST(GridValues, ReadOutPrintsGridPositionAndValues) {
  Domain d = domain(2, 40, -100, 1, 1, 4, 3);
  Grid a(d, fill(4, 3, [](int i, int j) { return i + j * 4; }));
  Grid b(d, std::vector<float>(12, M));
  Domain saved{};
  MAP_get_domain(&saved);
  MAP_domain(&d);
  float x = 0, y = 0;
  MAP_grid_tran(1.5f, 1, &x, &y);
  auto one = capture([&] { GRD_print_value(x, y, &a.r); });
  auto two = capture([&] { GRD_print_value2(x, y, &b.r, &a.r); });
  MAP_grid_tran(9, 1, &x, &y);
  auto off = capture([&] { GRD_print_value(x, y, &a.r); });
  MAP_domain(&saved);
  EXPECT_EQ(one.out, "Grid:   1.50,  1.00 =   5.50\n");
  EXPECT_EQ(two.out, "Grid:   1.50,  1.00 = ,  5.50\n");
  EXPECT_EQ(off.out, "Grid:   9.00,  1.00\n");
}

/* ---- mosaics, cut-offs, scaling, units ------------------------------------------------------- */

TEST(GridMosaic, TilesShareEdgesAndPlaceByColumnAndRow) {
  Domain t = domain(2, 40, -100, 1, 1, 5, 5);
  Grid west(t, std::vector<float>(25, 1.0f));
  Grid east(t, std::vector<float>(25, 2.0f));
  GRD_report m;
  GRD_init(&m);
  ASSERT_EQ(GRD_piece_setup(&m, 2, 1, &west.r), 0);
  EXPECT_EQ(m.domain.nx, 9);
  EXPECT_EQ(m.domain.ny, 5);
  EXPECT_FLOAT_EQ(m.domain.clon, -98);
  EXPECT_FLOAT_EQ(m.domain.clat, 40);
  EXPECT_NE(m.grid, west.r.grid);
  for (int k = 0; k < 45; ++k) ASSERT_EQ(m.grid[k], M);
  EXPECT_EQ(GRD_piece_grid(&m, 0, 0, &west.r), 0);
  EXPECT_EQ(GRD_piece_grid(&m, 1, 0, &east.r), 0);
  EXPECT_EQ(GRD_piece_grid(&m, 2, 0, &east.r), -1) << "beyond the mosaic";
  EXPECT_EQ(GRD_piece_grid(&m, 0, 1, &east.r), -1);
  EXPECT_EQ(GRD_piece_grid(&m, -1, 0, &east.r), -1);
  EXPECT_EQ(m.grid[3], 1);
  EXPECT_EQ(m.grid[4], 2) << "the shared column takes the later tile";
  EXPECT_EQ(m.grid[8 + 9 * 4], 2);
  Grid big(domain(2, 40, -100, 1, 1, 10, 5), std::vector<float>(50, 3));
  EXPECT_EQ(GRD_piece_grid(&m, 0, 0, &big.r), -1) << "a tile larger than the mosaic";
  std::free(m.grid);

  /* Two by two tiles: the north-west tile's centre moves south-east. */
  GRD_report m2;
  GRD_init(&m2);
  ASSERT_EQ(GRD_piece_setup(&m2, 2, 2, &west.r), 0);
  EXPECT_FLOAT_EQ(m2.domain.clat, 38);
  EXPECT_FLOAT_EQ(m2.domain.clon, -98);
  std::free(m2.grid);

  GRD_report one;
  GRD_init(&one);
  ASSERT_EQ(GRD_piece_setup(&one, 1, 1, &west.r), 0);
  EXPECT_EQ(std::memcmp(&one.domain, &t, sizeof t), 0);
  std::free(one.grid);
}

TEST(GridEdit, CutoffScaleOffsetAndUnits) {
  Domain d = domain(2, 0, 0, 1, 1, 2, 2);
  Grid g(d, {-3, 2, M, -0.5f});
  GRD_report out;
  GRD_init(&out);
  ASSERT_EQ(GRD_cutoff(&out, "LOWER", 0, 0, &g.r), 0);
  EXPECT_EQ(std::vector<float>(out.grid, out.grid + 4), (std::vector<float>{0, 2, M, 0}));
  ASSERT_EQ(GRD_cutoff(&out, "higher", 1, 9, &g.r), 0);
  EXPECT_EQ(std::vector<float>(out.grid, out.grid + 4), (std::vector<float>{-3, 9, M, -0.5f}));
  auto msg = capture([&] { EXPECT_EQ(GRD_cutoff(&out, "sideways", 1, 9, &g.r), -1); });
  EXPECT_NE(msg.err.find("GRD_cutoff: Unknown command: sideways"), std::string::npos);
  EXPECT_EQ(out.grid[1], 9) << "an unknown command leaves the output alone";
  std::free(out.grid);
  ASSERT_EQ(GRD_cutoff(&g.r, "lower", 0, 0, &g.r), 0) << "in place";
  EXPECT_EQ(g.values(), (std::vector<float>{0, 2, M, 0}));

  EXPECT_EQ(GRD_scale(&g.r, 2), 0);
  EXPECT_EQ(GRD_offset(&g.r, 1), 0);
  EXPECT_EQ(g.values(), (std::vector<float>{1, 5, M, 1}));

  std::snprintf(g.r.units, sizeof g.r.units, "m");
  std::snprintf(g.r.info, sizeof g.r.info, "Height (m)");
  ASSERT_EQ(GRD_units(&g.r, "100m"), 0);
  EXPECT_STREQ(g.r.units, "100m");
  EXPECT_STREQ(g.r.info, "Height (100m)");
  EXPECT_FLOAT_EQ(g.r.grid[1], 0.05f);
  EXPECT_EQ(g.r.grid[2], M);
  ASSERT_EQ(GRD_units(&g.r, ""), 0) << "no output unit leaves the grid";
  EXPECT_STREQ(g.r.units, "100m");
  Grid none(d, {});
  EXPECT_EQ(GRD_units(&none.r, "m"), -1);
  EXPECT_EQ(GRD_scale(&none.r, 2), -1);
}

} // namespace

namespace {

/* The plot frame lies below the grid store and reaches it through the
 * hooks that grd_tool lends it when linked. */
TEST(PlotFrameHooks, PlotKeywordsReachTheGridStore) {
  auto r = kez_test::run_child([] {
    RES_put("plot_param", "gridx3");
    PLT_param_decode();
    std::printf("factor %d\n", GRD_get_grid_factor());
    return 0;
  });
  EXPECT_EQ(r.out, "factor 3\n") << r.err;
}

} // namespace
