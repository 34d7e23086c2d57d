/*
 * The calculator's evaluator: point-wise functions with their missing and
 * non-finite results, counted operands, refused operand blocks, smoothing
 * near gaps, the wind functions and the kinematic functions on analytic
 * fields with their scaled units texts.
 */
#include "grid_test_util.h"
#include "kez_test.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using grid_test::domain;
using grid_test::fill;
using grid_test::Grid;

namespace {

constexpr float kMiss = -9999;
constexpr int kSlots = 30;

/* An operand block: every slot empty, with room beyond the cursors. */
struct Block {
  GRD_report* g[kSlots] = {};
  float v[kSlots];
  Block() {
    for (float& x : v) x = kMiss;
  }
  int run(const char* f) { return GRD_math(f, g, v); }
};

Domain small() { return domain(MAP_MERC, 40, -100, 1, 1, 3, 2); }

} // namespace

TEST(GridMath, PointwiseFunctionsAndNonFiniteResults) {
  struct Case {
    const char* func;
    std::vector<float> a;
    float b;
    std::vector<float> want;
  };
  const Case cases[] = {
      {"add", {1, 2, kMiss, 4, 5, 6}, 10, {11, 12, kMiss, 14, 15, 16}},
      {"sub", {1, 2, 3, 4, 5, 6}, 1, {0, 1, 2, 3, 4, 5}},
      {"div", {1, -2, 0, 4, 5, 6}, 0, {kMiss, kMiss, kMiss, kMiss, kMiss, kMiss}},
      {"div", {1, -2, 0, 4, 5, 6}, 2, {0.5, -1, 0, 2, 2.5, 3}},
      {"mod", {7, 8, 9, 10, 11, 12}, 4, {3, 0, 1, 2, 3, 0}},
      {"pow", {-8, 2, 3, 4, 5, 6}, 0.5, {kMiss, std::sqrt(2.0f), std::sqrt(3.0f), 2, std::sqrt(5.0f), std::sqrt(6.0f)}},
      {"sqrt", {-1, 4, 9, 0, 1, kMiss}, kMiss, {kMiss, 2, 3, 0, 1, kMiss}},
      {"log", {-1, 0, 1, 1, 1, 1}, kMiss, {kMiss, kMiss, 0, 0, 0, 0}},
      {"log10", {100, 0, 1000, 1, 1, 1}, kMiss, {2, kMiss, 3, 0, 0, 0}},
      {"asin", {2, -1, 0, 1, 0.5, -3}, kMiss, {kMiss, -90, 0, 90, 30, kMiss}},
      {"acos", {1, -1, 1.5, 0, 1, 1}, kMiss, {0, 180, kMiss, 90, 0, 0}},
      {"sin", {30, 90, 0, 0, 0, 0}, kMiss, {0.5, 1, 0, 0, 0, 0}},
      {"atan2", {1, 0, -1, 1, 1, 1}, 1, {45, 0, -45, 45, 45, 45}},
      {"abs", {-1, 2, -3, 4, -5, kMiss}, kMiss, {1, 2, 3, 4, 5, kMiss}},
      {"exp", {0, 1000, 0, 0, 0, 0}, kMiss, {1, kMiss, 1, 1, 1, 1}},
  };
  for (const Case& c : cases) {
    Grid a(small(), c.a);
    Grid out(small(), {});
    Block b;
    b.g[0] = &out.r;
    b.g[1] = &a.r;
    b.v[2] = c.b;
    ASSERT_EQ(b.run(c.func), 1) << c.func;
    std::vector<float> got = out.values();
    for (size_t k = 0; k < got.size(); ++k) {
      ASSERT_TRUE(std::isfinite(got[k])) << c.func;
      EXPECT_NEAR(got[k], c.want[k], 1e-5) << c.func << " at " << k;
    }
  }
}

TEST(GridMath, CountedOperands) {
  Grid a(small(), {1, kMiss, 3, kMiss, 5, 6});
  Grid b(small(), {4, 2, kMiss, kMiss, 1, 6});
  struct Case {
    const char* func;
    std::vector<float> want;
  };
  const Case cases[] = {
      {"max", {7, 7, 7, 7, 7, 7}},
      {"min", {1, 2, 3, 7, 1, 6}},
      {"sum", {12, 9, 10, 7, 13, 19}},
      {"avg", {4, kMiss, kMiss, kMiss, 13 / 3.0f, 19 / 3.0f}},
  };
  for (const Case& c : cases) {
    Grid out(small(), {});
    Block blk;
    blk.g[0] = &out.r;
    blk.g[1] = &a.r;
    blk.g[2] = &b.r;
    blk.v[3] = 7;
    EXPECT_EQ(GRD_find_num_data(blk.g, blk.v), 3);
    ASSERT_EQ(blk.run(c.func), 1) << c.func;
    std::vector<float> got = out.values();
    for (size_t k = 0; k < got.size(); ++k) EXPECT_NEAR(got[k], c.want[k], 1e-5) << c.func << k;
  }
  /* No operand at all, on an output with its own header. */
  Grid out(small(), {});
  Block none;
  none.g[0] = &out.r;
  ASSERT_EQ(none.run("avg"), 1);
  for (float v : out.values()) EXPECT_EQ(v, kMiss);
  ASSERT_EQ(none.run("sum"), 1);
  for (float v : out.values()) EXPECT_EQ(v, 0);
}

TEST(GridMath, RefusedOperandBlocks) {
  Grid a(small(), fill(3, 2, [](int i, int) { return i; }));
  Grid wide(domain(MAP_MERC, 40, -100, 1, 1, 4, 2), fill(4, 2, [](int i, int) { return i; }));
  GRD_report bare;
  std::memset(&bare, 0, sizeof bare);
  GRD_init(&bare);
  const M_type saved = MESS_get();
  MESS_set(11, 0x40);
  auto invalid = [](Block& b, const char* f) {
    auto r = kez_test::capture([&] { EXPECT_EQ(b.run(f), 0) << f; });
    EXPECT_NE((r.out + r.err).find("GRD_math: Invalid grids"), std::string::npos) << f << r.out;
  };
  {
    Grid out(small(), {});
    Block b;
    b.g[0] = &out.r;
    b.g[1] = &a.r;
    b.g[2] = &wide.r;
    invalid(b, "add");
  }
  {
    Block b; /* a constant as operand 1 and no header to keep */
    b.g[0] = &bare;
    b.v[1] = 3;
    b.v[2] = 4;
    invalid(b, "add");
    EXPECT_EQ(bare.grid, nullptr);
  }
  {
    Grid out(small(), {});
    Block b; /* a constant where a grid is required */
    b.g[0] = &out.r;
    b.v[1] = 280;
    invalid(b, "theta");
    invalid(b, "smooth");
    invalid(b, "lat");
    b.v[2] = 3;
    invalid(b, "rvort");
  }
  {
    Grid out(small(), {});
    Block b; /* 25 operands */
    b.g[0] = &out.r;
    for (int i = 1; i <= 25; ++i) b.g[i] = &a.r;
    invalid(b, "sum");
    invalid(b, "max");
  }
  {
    Grid out(small(), {});
    Grid empty(small(), {});
    empty.r.source = 0;
    Block b; /* an empty store slot takes the constant of its slot */
    b.g[0] = &out.r;
    b.g[1] = &a.r;
    b.g[2] = &empty.r;
    b.v[2] = 5;
    ASSERT_EQ(b.run("add"), 1);
    EXPECT_EQ(out.values(), (std::vector<float>{5, 6, 7, 5, 6, 7}));
    b.v[2] = kMiss;
    invalid(b, "add");
  }
  {
    Grid out(small(), {});
    Block b; /* an absent second operand */
    b.g[0] = &out.r;
    b.g[1] = &a.r;
    invalid(b, "sub");
  }
  {
    Grid out(small(), {1, 2, 3, 4, 5, 6});
    Block b;
    b.g[0] = &out.r;
    EXPECT_EQ(b.run("wind-xyz"), 1);
    EXPECT_EQ(out.values(), (std::vector<float>{1, 2, 3, 4, 5, 6}));
    auto r = kez_test::capture([&] { EXPECT_EQ(b.run("nosuch-t"), 0); });
    EXPECT_NE((r.out + r.err).find("GRD_math: Math function not available: nosuch"), std::string::npos);
  }
  MESS_set(19, M_debug | M_out4 | M_out3 | M_out2 | M_out1 | M_mess | M_warn | M_error);
  MESS_set(11, saved);
}

TEST(GridMath, SmoothLeavesGapsOut) {
  Domain d = domain(MAP_MERC, 40, -100, 1, 1, 5, 5);
  Grid a(d, fill(5, 5, [](int, int) { return 10; }));
  a.r.grid[12] = kMiss;
  a.r.grid[0] = 20;
  Grid out(d, {});
  Block b;
  b.g[0] = &out.r;
  b.g[1] = &a.r;
  b.v[2] = -1;
  ASSERT_EQ(b.run("smooth"), 1);
  std::vector<float> v = out.values();
  EXPECT_EQ(v[12], kMiss);
  for (size_t k = 1; k < v.size(); ++k) {
    if (k != 12) {
      EXPECT_GE(v[k], 10) << k;
    }
  }
  /* The corner: the block is cut at the edges, weights e^(-(di^2+dj^2)). */
  double num = 0, den = 0;
  for (int j = 0; j < 5; ++j)
    for (int i = 0; i < 5; ++i) {
      if (i == 2 && j == 2) continue;
      double w = std::exp(-(i * i + j * j));
      num += w * ((i == 0 && j == 0) ? 20 : 10);
      den += w;
    }
  EXPECT_NEAR(v[0], num / den, 1e-4);
}

TEST(GridMath, WindFunctions) {
  Domain d = domain(MAP_LATLON, 45, -100, 1, 1, 3, 1);
  Grid u(d, {0, 0, -5});
  Grid v(d, {0, -5, 0});
  snprintf(u.r.units, sizeof u.r.units, "m/s");
  snprintf(v.r.units, sizeof v.r.units, "m/s");
  for (const char* f : {"wdir", "ewdir"}) {
    Grid out(d, {});
    Block b;
    b.g[0] = &out.r;
    b.g[1] = &u.r;
    b.g[2] = &v.r;
    ASSERT_EQ(b.run(f), 1);
    std::vector<float> got = out.values();
    EXPECT_NEAR(got[0], 0, 1e-4) << f;
    EXPECT_NEAR(got[1], 0, 1e-3) << f;
    EXPECT_NEAR(got[2], 90, 1e-3) << f;
    EXPECT_STREQ(out.r.units, "deg");
  }
  Grid out(d, {});
  Block b;
  b.g[0] = &out.r;
  b.g[1] = &u.r;
  b.g[2] = &v.r;
  b.g[3] = &u.r;
  b.g[4] = &v.r;
  ASSERT_EQ(b.run("dot"), 1);
  EXPECT_EQ(out.values(), (std::vector<float>{0, 25, 25}));
  EXPECT_STREQ(out.r.units, "m^2/s^2");
  ASSERT_EQ(b.run("wspd"), 1);
  EXPECT_EQ(out.values(), (std::vector<float>{0, 5, 5}));
  Grid dir(d, {0, 90, 270});
  Grid spd(d, {10, 10, kMiss});
  snprintf(spd.r.units, sizeof spd.r.units, "m/s");
  b.g[1] = &dir.r;
  b.g[2] = &spd.r;
  ASSERT_EQ(b.run("uwnd"), 1);
  std::vector<float> got = out.values();
  EXPECT_NEAR(got[0], 0, 1e-5);
  EXPECT_NEAR(got[1], -10, 1e-5);
  EXPECT_EQ(got[2], kMiss);
  ASSERT_EQ(b.run("vwnd"), 1);
  EXPECT_NEAR(out.values()[0], -10, 1e-5);
}

TEST(GridMath, KinematicFunctionsOnAnalyticFields) {
  Domain d = domain(MAP_MERC, 40, -100, 1, 1, 7, 5);
  Grid u(d, fill(7, 5, [](int, int j) { return j - 2.0; }));
  Grid v(d, fill(7, 5, [](int i, int) { return i - 3.0; }));
  snprintf(u.r.units, sizeof u.r.units, "m/s");
  snprintf(v.r.units, sizeof v.r.units, "m/s");
  Grid out(d, {});
  Block b;
  b.g[0] = &out.r;
  b.g[1] = &u.r;
  b.g[2] = &v.r;
  ASSERT_EQ(b.run("rvort"), 1);
  for (float x : out.values()) EXPECT_NEAR(x, 2, 1e-5);
  EXPECT_STREQ(out.r.units, "1e-05 m/s/m");
  Grid ux(d, fill(7, 5, [](int i, int) { return i - 3.0; }));
  Grid zero(d, fill(7, 5, [](int, int) { return 0; }));
  b.g[1] = &ux.r;
  b.g[2] = &zero.r;
  ASSERT_EQ(b.run("diverg"), 1);
  for (float x : out.values()) EXPECT_NEAR(x, 1, 1e-5);
  ASSERT_EQ(b.run("conv"), 1);
  for (float x : out.values()) EXPECT_NEAR(x, -1, 1e-5);

  Grid z(d, fill(7, 5, [](int i, int j) { return (i - 3.0) * (i - 3.0) + (2.0 - j) * (2.0 - j); }));
  snprintf(z.r.units, sizeof z.r.units, "K");
  Block l;
  l.g[0] = &out.r;
  l.g[1] = &z.r;
  ASSERT_EQ(l.run("lapl"), 1);
  for (float x : out.values()) EXPECT_NEAR(x, 4, 1e-4);
  EXPECT_STREQ(out.r.units, "1e-10 K/m^2");

  Grid gx(d, {}), gy(d, {});
  Block g;
  g.g[0] = &gx.r;
  g.g[1] = &gy.r;
  g.g[2] = &z.r;
  ASSERT_EQ(g.run("grad"), 1);
  EXPECT_STREQ(gx.r.units, "1e-05 K/m");
  EXPECT_STREQ(gy.r.units, "1e-05 K/m");
  EXPECT_NEAR(gx.values()[2 * 7 + 5], 4, 1e-5); /* 2 x at x = 2 */
  EXPECT_NEAR(gy.values()[0 * 7 + 3], 3, 1e-5); /* top row: one-sided (4 - 1) */
}

TEST(GridMath, GeostrophicWindAndEquatorRows) {
  /* Height rising northward by a metres per 100 km; rows at 2, 1, 0, -1, -2. */
  Domain d = domain(MAP_LATLON, 0, 10, 1, 1, 4, 5);
  const double a = 50;
  Grid h(d, fill(4, 5, [&](int, int j) { return a * (2.0 - j) * 1.11195; }));
  snprintf(h.r.units, sizeof h.r.units, "m");
  Grid out(d, {});
  Block b;
  b.g[0] = &out.r;
  b.g[1] = &h.r;
  ASSERT_EQ(b.run("ugeos"), 1);
  std::vector<float> got = out.values();
  for (int j = 0; j < 5; ++j) {
    double lat = 2.0 - j;
    for (int i = 0; i < 4; ++i) {
      float x = got[j * 4 + i];
      if (lat == 0) {
        EXPECT_EQ(x, kMiss) << "equator";
      } else {
        EXPECT_NEAR(x, -9.8 * a / (14.584 * std::sin(lat * M_PI / 180)), 1e-2 * std::fabs(x));
      }
    }
  }
  EXPECT_STREQ(out.r.units, "m/s");
  ASSERT_EQ(b.run("vgeos"), 1);
  for (float x : out.values()) EXPECT_TRUE(x == kMiss || std::fabs(x) < 1e-3);
}

TEST(GridMath, QVectorNeedsAnIsobaricOutput) {
  Domain d = domain(MAP_MERC, 40, -100, 1, 1, 5, 5);
  Grid h(d, fill(5, 5, [](int i, int j) { return 5500 + 10.0 * i * (4 - j); }));
  Grid t(d, fill(5, 5, [](int i, int j) { return 250 + 0.5 * i + (4 - j); }));
  snprintf(h.r.units, sizeof h.r.units, "m");
  snprintf(t.r.units, sizeof t.r.units, "K");
  Grid out(d, {});
  out.r.ltype = 1;
  Block b;
  b.g[0] = &out.r;
  b.g[1] = &h.r;
  b.g[2] = &t.r;
  kez_test::capture([&] { EXPECT_EQ(b.run("uq"), 0); });
  out.r.ltype = 100;
  out.r.level = 500;
  ASSERT_EQ(b.run("uq"), 1);
  /* By hand at the centre: ug = -(9.8/f) dz/dy, vg = (9.8/f) dz/dx with
   * dz/dx = 10 Y, dz/dy = 10 X (X, Y in grid lengths from the left/bottom). */
  Grid lat(d, fill(5, 5, [](int, int) { return 0; }));
  GRD_point_locate(&lat.r, "lat");
  auto f = [&](int i, int j) { return 14.584 * std::sin(lat.values()[j * 5 + i] * M_PI / 180); };
  auto ug = [&](int i, int j) { return -(9.8 / f(i, j)) * 10.0 * i; };
  auto vg = [&](int i, int j) { return (9.8 / f(i, j)) * 10.0 * (4 - j); };
  const double A = (ug(3, 2) - ug(1, 2)) / 2, B = (vg(3, 2) - vg(1, 2)) / 2;
  const double Tx = 0.5, Ty = 1;
  EXPECT_NEAR(out.values()[12], (Ty * B + A * Tx) * (-287.05 / 50000), 1e-4);
}

TEST(GridMath, ThermodynamicFunctionsFollowTheFormulas) {
  Domain d = small();
  Grid t(d, {0, 10, 20, -10, kMiss, 30});
  snprintf(t.r.units, sizeof t.r.units, "C");
  Grid p(d, {1000, 900, 800, 700, 600, 500});
  snprintf(p.r.units, sizeof p.r.units, "mb");
  Grid out(d, {});
  out.r.ltype = 100;
  out.r.level = 500;
  Block b;
  b.g[0] = &out.r;
  b.g[1] = &t.r;
  b.g[2] = &p.r;
  ASSERT_EQ(b.run("theta"), 1);
  EXPECT_STREQ(t.r.units, "K") << "the operand stays converted";
  std::vector<float> got = out.values();
  for (int k = 0; k < 6; ++k) {
    float tk = t.values()[k];
    EXPECT_FLOAT_EQ(got[k], tk == kMiss ? kMiss : pot_temp(tk, 500)) << k;
  }
  Grid rh(d, {50, 60, 70, 80, 90, 100});
  b.g[2] = &rh.r;
  ASSERT_EQ(b.run("dewp"), 1);
  got = out.values();
  for (int k = 0; k < 6; ++k) {
    float tk = t.values()[k];
    EXPECT_FLOAT_EQ(got[k], tk == kMiss ? kMiss : dew_temp(tk, rh.values()[k])) << k;
  }
  out.r.ltype = 1;
  ASSERT_EQ(b.run("thetae"), 1);
  got = out.values();
  for (int k = 0; k < 6; ++k) {
    float tk = t.values()[k];
    float want = tk == kMiss ? kMiss : eq_pot_temp(tk, dew_temp(tk, rh.values()[k]), 1000);
    EXPECT_FLOAT_EQ(got[k], want) << k;
  }
}

TEST(GridMath, EveryThermodynamicFunctionPointByPoint) {
  Domain d = small();
  const std::vector<float> tk = {273.15f, 283.15f, 293.15f, 263.15f, kMiss, 303.15f};
  const std::vector<float> rh = {50, 60, 70, 80, 90, 100};
  const std::vector<float> pr = {1000, 900, 850, 700, 600, 950};
  struct Case {
    const char* func;
    int ops; /* t, rh, p */
    float (*want)(float t, float rh, float p);
  };
  const Case cases[] = {
      {"wetblb", 3, [](float t, float h, float p) { return wet_bulb(t, dew_temp(t, h), p); }},
      {"heat", 2, [](float t, float h, float) { return heat_index(t, dew_temp(t, h)); }},
      {"vtemp", 3, [](float t, float h, float p) { return virt_temp(t, dew_temp(t, h), p); }},
      {"thetav", 3, [](float t, float h, float p) { return virt_pot_temp(t, dew_temp(t, h), p); }},
      {"thetae", 2, [](float t, float h, float) { return eq_pot_temp(t, dew_temp(t, h), 1000); }},
      {"vapor", 2, [](float t, float h, float) { return vapor_pr(dew_temp(t, h)); }},
      {"shum", 3, [](float t, float h, float p) { return spec_hum(dew_temp(t, h), p); }},
      {"mixrat", 3, [](float t, float h, float p) { return mix_ratio(dew_temp(t, h), p); }},
      {"theta", 1, [](float t, float, float) { return pot_temp(t, 1000); }},
      {"rhum", 2, [](float t, float h, float) { return rel_hum(t, h); }},
  };
  for (const Case& c : cases) {
    Grid t(d, tk), h(d, rh), p(d, pr);
    snprintf(t.r.units, sizeof t.r.units, "K");
    snprintf(h.r.units, sizeof h.r.units, "K");
    snprintf(p.r.units, sizeof p.r.units, "mb");
    Grid out(d, {});
    out.r.ltype = 1;
    Block b;
    b.g[0] = &out.r;
    b.g[1] = &t.r;
    if (c.ops >= 2) b.g[2] = &h.r;
    if (c.ops >= 3) b.g[3] = &p.r;
    ASSERT_EQ(b.run(c.func), 1) << c.func;
    std::vector<float> got = out.values();
    for (int k = 0; k < 6; ++k) {
      float want = tk[k] == kMiss ? kMiss : c.want(tk[k], rh[k], pr[k]);
      ASSERT_TRUE(std::isfinite(got[k]));
      EXPECT_FLOAT_EQ(got[k], std::isfinite(want) ? want : kMiss) << c.func << " at " << k;
    }
  }
  Grid p(d, pr);
  snprintf(p.r.units, sizeof p.r.units, "mb");
  Grid out(d, {});
  Block b;
  b.g[0] = &out.r;
  b.g[1] = &p.r;
  ASSERT_EQ(b.run("pr_alt"), 1);
  for (int k = 0; k < 6; ++k) EXPECT_FLOAT_EQ(out.values()[k], pres_alt(pr[k]));
  EXPECT_STREQ(out.r.units, "m");
}

/* Runs in a child: the variable table it loads would stay loaded for the
 * tests that expect none. */
void dew_point_checks() {
  RES_put("file_path", KEZ_DATA_DIR); /* variable.lup */
  ASSERT_GT(VAR_search_var_num("dewp"), 0);
  Domain d = small();
  const std::vector<float> tk = {273.15f, 283.15f, 293.15f, 263.15f, kMiss, 303.15f};
  Grid t(d, tk), rh(d, {50, 60, 70, 80, 90, 100});
  snprintf(t.r.units, sizeof t.r.units, "K");
  Grid td(d, {});
  td.r.ltype = 1;
  Block b;
  b.g[0] = &td.r;
  b.g[1] = &t.r;
  b.g[2] = &rh.r;
  ASSERT_EQ(b.run("dewp"), 1);
  EXPECT_EQ(td.r.var, VAR_search_var_num("dewp"));
  /* A dew point alone on a surface output: 1000 mb. */
  Grid q(d, {});
  q.r.ltype = 1;
  Block s;
  s.g[0] = &q.r;
  s.g[1] = &td.r;
  ASSERT_EQ(s.run("shum"), 1);
  /* As operand 2 of "heat" it is used as the dew point. */
  Grid hi(d, {});
  Block h;
  h.g[0] = &hi.r;
  h.g[1] = &t.r;
  h.g[2] = &td.r;
  ASSERT_EQ(h.run("heat"), 1);
  for (int k = 0; k < 6; ++k) {
    float dp = td.values()[k];
    EXPECT_FLOAT_EQ(q.values()[k], dp == kMiss ? kMiss : spec_hum(dp, 1000)) << k;
    EXPECT_FLOAT_EQ(hi.values()[k], dp == kMiss ? kMiss : heat_index(tk[k], dp)) << k;
  }
  /* A type names the result's variable. */
  Block sub;
  Grid diff(d, {});
  sub.g[0] = &diff.r;
  sub.g[1] = &t.r;
  sub.v[2] = 1;
  ASSERT_EQ(sub.run("sub-temp"), 1);
  EXPECT_EQ(diff.r.var, VAR_search_var_num("temp"));
}

TEST(GridMath, ComputedDewPointIsKnownAsOne) {
  auto r = kez_test::run_child([] {
    dew_point_checks();
    return ::testing::Test::HasFailure() ? 1 : 0;
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(GridMath, ShowalterAndWindChill) {
  Domain d = domain(MAP_MERC, 40, -100, 1, 1, 2, 1);
  Grid t850(d, {293.15f, 283.15f}), rh(d, {90, 10}), t500(d, {263.15f, 253.15f});
  for (Grid* g : {&t850, &t500}) snprintf(g->r.units, sizeof g->r.units, "K");
  Grid out(d, {});
  Block b;
  b.g[0] = &out.r;
  b.g[1] = &t850.r;
  b.g[2] = &rh.r;
  b.g[3] = &t500.r;
  ASSERT_EQ(b.run("show"), 1);
  for (int k = 0; k < 2; ++k) {
    float t = t850.values()[k], tdp = dew_temp(t, rh.values()[k]);
    float pl = lcl_pres(t, tdp, 850), tl = lcl_temp(t, 850, pl);
    float tp = pl >= 500 ? temp_on_satad(thetae_on_satad(tl, pl), 500) : temp_on_dryad(pot_temp(t, 850), 500);
    EXPECT_FLOAT_EQ(out.values()[k], t500.values()[k] - tp) << k;
  }
  Grid u(d, {3, 0}), v(d, {4, 10});
  for (Grid* g : {&u, &v}) snprintf(g->r.units, sizeof g->r.units, "m/s");
  b.g[2] = &u.r;
  b.g[3] = &v.r;
  ASSERT_EQ(b.run("wchill"), 1);
  EXPECT_FLOAT_EQ(out.values()[0], wind_chill_temp(t850.values()[0], 5));
  EXPECT_FLOAT_EQ(out.values()[1], wind_chill_temp(t850.values()[1], 10));
  b.g[3] = nullptr; /* u alone is no speed */
  kez_test::capture([&] { EXPECT_EQ(b.run("wchill2"), 0); });
}

TEST(GridMath, VectorDifferenceInterpolationAndAdvection) {
  Domain d = domain(MAP_LATLON, 30, 0, 1, 1, 3, 3);
  Grid ua(d, fill(3, 3, [](int i, int) { return i; })), va(d, fill(3, 3, [](int, int j) { return j; }));
  Grid ub(d, fill(3, 3, [](int, int) { return 1; })), vb(d, fill(3, 3, [](int, int) { return 2; }));
  ua.r.grid[4] = kMiss;
  Grid o1(d, {}), o2(d, {});
  Block b;
  b.g[0] = &o1.r;
  b.g[1] = &o2.r;
  b.g[2] = &ua.r;
  b.g[3] = &va.r;
  b.g[4] = &ub.r;
  b.g[5] = &vb.r;
  ASSERT_EQ(b.run("vdiff"), 1);
  EXPECT_EQ(o1.values(), (std::vector<float>{-1, 0, 1, -1, kMiss, 1, -1, 0, 1}));
  EXPECT_EQ(o2.values(), (std::vector<float>{-2, -2, -2, -1, kMiss, -1, 0, 0, 0}));

  Grid out(d, {});
  Block i;
  i.g[0] = &out.r;
  i.g[1] = &ub.r;
  i.v[2] = 0.25;
  i.g[3] = &vb.r;
  ASSERT_EQ(i.run("interp"), 1);
  for (float x : out.values()) EXPECT_FLOAT_EQ(x, 1.25);

  /* Relative vorticity 0: "avort" is the Coriolis parameter of each row. */
  Block a;
  a.g[0] = &out.r;
  a.g[1] = &ub.r;
  a.g[2] = &vb.r;
  ASSERT_EQ(a.run("avort"), 1);
  for (int k = 0; k < 9; ++k) EXPECT_NEAR(out.values()[k], 14.584 * std::sin((31 - k / 3) * M_PI / 180), 1e-4);

  /* A field constant along a wind from the west is not advected. */
  Grid z(d, fill(3, 3, [](int, int j) { return 5.0 * j; }));
  snprintf(z.r.units, sizeof z.r.units, "K");
  Grid zero(d, fill(3, 3, [](int, int) { return 0; }));
  Block v;
  v.g[0] = &out.r;
  v.g[1] = &ub.r;
  v.g[2] = &zero.r;
  v.g[3] = &z.r;
  ASSERT_EQ(v.run("adv"), 1);
  for (float x : out.values()) EXPECT_FLOAT_EQ(x, 0);
  EXPECT_STREQ(out.r.units, "1e-05 K/s");
}
