/* Reading soundings at any level and the hydrostatic fill-ins. */
#include "kez_test.h"
#include "kezupa.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr float M = KEZ_FMISS;

std::vector<UPA_level> sounding() {
  return {{1000, 110, 20, 15, 350, 10}, {850, 1500, 10, 5, 10, 20}, {700, 3100, 0, -5, 90, 30}};
}

TEST(UpaInterp, PressureCoordinateCases) {
  auto s = sounding();
  s[0].p = 1013;
  struct Case {
    float target;
    int index;
    UPA_level want;
    const char* why;
  };
  const float t925 = 20 - 10 * std::log(1013.0f / 925) / std::log(1013.0f / 850);
  const float h925 = 110 + 1390 * std::log(1013.0f / 925) / std::log(1013.0f / 850);
  const float f = std::log(1013.0f / 925) / std::log(1013.0f / 850);
  const Case cases[] = {
      {925, 1, {925, h925, t925, 15 - 10 * f, 350 + 20 * f - 360, 10 + 10 * f}, "linear in ln p, winds the short way"},
      {850, 1, {850, 1500, 10, 5, 10, 20}, "a target at a level"},
      {1018, 0, {1013, 110, 20, 15, 350, 10}, "just below the ground: the first level"},
      {1100, 0, {M, M, M, M, M, M}, "far below the ground"},
      {500, 3, {500, M, M, M, M, M}, "above the top"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    UPA_level r;
    EXPECT_EQ(UPA_interp(s.data(), 3, UPA_CO_PRES, c.target, &r), c.index);
    EXPECT_NEAR(r.p, c.want.p, 0.01);
    EXPECT_NEAR(r.h, c.want.h, 0.05);
    EXPECT_NEAR(r.t, c.want.t, 0.01);
    EXPECT_NEAR(r.td, c.want.td, 0.01);
    EXPECT_NEAR(r.dir, c.want.dir, 0.01);
    EXPECT_NEAR(r.spd, c.want.spd, 0.01);
  }
  /* 20 - 10 ln(1000/925)/ln(1000/850) with the ground at 1000 hPa. */
  s[0].p = 1000;
  UPA_level r;
  UPA_interp(s.data(), 3, UPA_CO_PRES, 925, &r);
  EXPECT_NEAR(r.t, 15.2, 0.05);
}

TEST(UpaInterp, WindsTurnTheShortWay) {
  struct Case {
    float lo, hi, want;
  };
  const Case cases[] = {{350, 10, 360}, {10, 350, 0}, {90, 180, 135}, {340, 20, 360}, {20, 340, 0}};
  for (const auto& c : cases) {
    std::vector<UPA_level> s{{M, 0, M, M, c.lo, 10}, {M, 1000, M, M, c.hi, 20}};
    UPA_level r;
    UPA_interp(s.data(), 2, UPA_CO_HGT, 500, &r);
    EXPECT_NEAR(r.dir, c.want, 0.01) << c.lo << " to " << c.hi;
    EXPECT_NEAR(r.spd, 15, 0.01);
  }
}

TEST(UpaInterp, CalmHasNoDirectionToTurnFrom) {
  /* A calm is coded 0 degrees at 0 knots; the wind between it and a
   * southerly is a weaker southerly, not an easterly half way round. */
  struct Case {
    UPA_level lo, hi;
    float dir, spd;
  };
  const Case cases[] = {
      {{M, 0, M, M, 0, 0}, {M, 1000, M, M, 180, 20}, 180, 10},
      {{M, 0, M, M, 200, 20}, {M, 1000, M, M, 0, 0}, 200, 10},
      {{M, 0, M, M, 0, 0}, {M, 1000, M, M, 360, 0}, 0, 0},
      {{M, 0, M, M, 360, 10}, {M, 1000, M, M, 180, 10}, 270, 10}, /* no calm: the short way */
  };
  for (const auto& c : cases) {
    std::vector<UPA_level> s{c.lo, c.hi};
    UPA_level r;
    UPA_interp(s.data(), 2, UPA_CO_HGT, 500, &r);
    EXPECT_NEAR(r.dir, c.dir, 0.01) << c.lo.dir << "/" << c.lo.spd << " to " << c.hi.dir << "/" << c.hi.spd;
    EXPECT_NEAR(r.spd, c.spd, 0.01);
  }
}

TEST(UpaInterp, EachFieldFromItsOwnNearestPair) {
  /* The middle levels have no wind: 925 hPa takes it from 1000 and 700. */
  std::vector<UPA_level> s{
      {1000, 110, 20, 15, 180, 10}, {900, M, 15, 10, M, M}, {850, 1500, 10, 5, M, M}, {700, 3100, 0, -5, 270, 30}};
  UPA_level r;
  UPA_interp(s.data(), 4, UPA_CO_PRES, 925, &r);
  double f = std::log(1000.0 / 925) / std::log(1000.0 / 700);
  EXPECT_NEAR(r.dir, 180 + 90 * f, 0.01);
  EXPECT_NEAR(r.spd, 10 + 20 * f, 0.01);
  EXPECT_NEAR(r.h, 110 + 1390 * std::log(1000.0 / 925) / std::log(1000.0 / 850), 0.05);
}

TEST(UpaInterp, NoPressureAcrossAWideGap) {
  std::vector<UPA_level> s{{900, 1000, 10, M, M, M}, {500, 5600, -20, M, M, M}};
  UPA_level r;
  UPA_interp(s.data(), 2, UPA_CO_HGT, 1002, &r);
  EXPECT_EQ(r.p, 900);
  EXPECT_EQ(r.h, 1002);
  UPA_interp(s.data(), 2, UPA_CO_HGT, 5598, &r);
  EXPECT_EQ(r.p, 500);
  EXPECT_EQ(UPA_interp(s.data(), 2, UPA_CO_HGT, 3000, &r), 1);
  for (float v : {r.p, r.h, r.t, r.td, r.dir, r.spd}) EXPECT_EQ(v, M);
}

TEST(UpaInterp, SurfaceCodeGivesTheAnalysisSurface) {
  auto r = kez_test::run_child([] {
    *THERM_get_sfc() = {850, 1500, 10, 5, 10, 20};
    auto s = sounding();
    UPA_level out;
    EXPECT_EQ(UPA_interp(s.data(), 3, UPA_CO_SFC, M, &out), 1);
    EXPECT_EQ(out.h, 1500);
    THERM_get_sfc()->p = 900;
    EXPECT_EQ(UPA_interp(s.data(), 3, UPA_CO_SFC, 300, &out), 0);
    EXPECT_EQ(out.p, 900);
    return ::testing::Test::HasFailure() ? 1 : 0;
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(UpaInterp, LongSoundingsStayInsideTheirArrays) {
  /* 400 levels at 2.5 hPa spacing, with the results written just inside
   * a guarded array. */
  std::vector<UPA_level> s(400);
  for (int k = 0; k < 400; ++k) s[k] = {1000 - 2.5f * k, 100.0f + 25 * k, 20 - 0.15f * k, M, M, M};
  std::vector<float> targets{950, 10, 1.5f, 20000, -5};
  std::vector<UPA_level> out(targets.size() + 1);
  out.back() = {1, 2, 3, 4, 5, 6};
  int i = UPA_interp_levels(s.data(), 400, UPA_CO_PRES, targets.data(), out.data(), 5);
  EXPECT_EQ(i, 0); /* 20000 hPa is far below the ground; -5 is skipped */
  EXPECT_NEAR(out[0].h, 100 + 25 * 20, 0.05);
  EXPECT_NEAR(out[1].h, 100 + 25 * 396, 0.05);
  EXPECT_EQ(out[2].p, 1.5f); /* above the top */
  EXPECT_EQ(out[2].h, M);
  EXPECT_EQ(out.back().p, 1);
  EXPECT_EQ(UPA_interp(s.data(), 400, UPA_CO_HGT, 9000, &out[0]), 356);
  EXPECT_NEAR(out[0].p, 110, 0.01);
  EXPECT_EQ(UPA_interp(s.data(), 400, UPA_CO_THETA, 330, &out[0]) > 0, true);
}

TEST(UpaThick, DefaultsAndMissing) {
  EXPECT_EQ(UPA_thick_top(100, 850, M), 840);
  EXPECT_EQ(UPA_thick_top(103, 1500, M), 1550);
  EXPECT_EQ(UPA_thick_top(113, 300, M), 305);
  EXPECT_EQ(UPA_thick_bottom(100, 500, M), 520);
  EXPECT_EQ(UPA_thick_bottom(103, 1500, M), 1300);
  EXPECT_EQ(UPA_thick_bottom(113, 300, M), 298);
  EXPECT_EQ(UPA_thick_top(100, 850, 50), 800);
  EXPECT_EQ(UPA_thick_bottom(104, 1000, 100), 900);
  EXPECT_EQ(UPA_thick_top(100, M, 50), M);
  EXPECT_EQ(UPA_thick_bottom(113, M, M), M);
  EXPECT_EQ(UPA_thick_top(7, 850, M), M);
  EXPECT_EQ(UPA_get_level(7, &sounding()[0]), M);
  EXPECT_NEAR(UPA_get_level(100, &sounding()[0]), -std::log(1000.0f), 1e-5);
  UPA_level no_p{0, 0, 10, M, M, M};
  EXPECT_EQ(UPA_get_level(101, &no_p), M);
  EXPECT_EQ(UPA_get_level(113, &no_p), M);
}

TEST(UpaCalcHeight, SpanIsBuiltAndCorrected) {
  std::vector<UPA_level> s{{1000, 110, 15, M, M, M}, {925, M, 10, M, M, M}, {850, 1500, 5, M, M, M}};
  double h925 = 110 + std::log(1000.0 / 925) * 287.05 * 285.65 / 9.8;
  EXPECT_NEAR(h925, 762.3, 0.05);
  double h850 = h925 + std::log(925.0 / 850) * 287.05 * 280.65 / 9.8;
  EXPECT_NEAR(h850, 1457.4, 0.1);
  EXPECT_EQ(UPA_calc_height(s.data(), 3), 0);
  EXPECT_NEAR(s[1].h, h925 - 0.5 * (h850 - 1500), 0.05);
  EXPECT_NEAR(s[1].h, 783.6, 0.1);
  EXPECT_EQ(s[2].h, 1500);
  EXPECT_EQ(s[0].h, 110);

  std::vector<UPA_level> only_first{{1000, 110, 15, M, M, M}, {925, M, 10, M, M, M}};
  EXPECT_EQ(UPA_calc_height(only_first.data(), 2), -1);
  EXPECT_EQ(only_first[1].h, M);
  EXPECT_EQ(UPA_calc_height(only_first.data(), 1), -1);
  EXPECT_EQ(UPA_calc_height(only_first.data(), 0), 0);
}

TEST(UpaCalcHeight, StandardAtmosphere) {
  struct Std {
    float p, h, t;
  };
  /* 1976 standard atmosphere. */
  const Std std76[] = {{1000, 110.9f, 14.43f},   {850, 1457.3f, 5.68f},   {700, 3012.2f, -4.43f},
                       {500, 5574.4f, -21.08f},  {400, 7185.4f, -31.56f}, {300, 9164.0f, -44.43f},
                       {250, 10362.9f, -52.22f}, {200, 11784.1f, -56.5f}};
  std::vector<UPA_level> s;
  for (const auto& l : std76) s.push_back({l.p, M, l.t, M, M, M});
  s.front().h = 110.9f;
  s.back().h = 11784.1f;
  ASSERT_EQ(UPA_calc_height(s.data(), static_cast<int>(s.size())), 0);
  for (size_t k = 0; k < s.size(); ++k) EXPECT_NEAR(s[k].h, std76[k].h, 10) << std76[k].p;
}

TEST(UpaCalcHeight, MissingReferencesBuildNothing) {
  /* No temperature anywhere: the standard atmosphere stands in. */
  std::vector<UPA_level> s{{1000, M, M, M, M, M}, {900, M, M, M, M, M}, {850, 1457, M, M, M, M}, {700, M, M, M, M, M}};
  ASSERT_EQ(UPA_calc_height(s.data(), 4), 0);
  EXPECT_NEAR(s[0].h, 111, 10);
  EXPECT_NEAR(s[1].h, 989, 10);
  EXPECT_NEAR(s[3].h, 3012, 10);
  /* A level without pressure keeps no height; the next steps over it. */
  std::vector<UPA_level> gap{{1000, 110, 15, M, M, M}, {M, M, 10, M, M, M}, {850, M, 5, M, M, M}};
  ASSERT_EQ(UPA_calc_height(gap.data(), 3), -1);
  gap[2].h = 1500;
  gap.push_back({700, M, -5, M, M, M});
  ASSERT_EQ(UPA_calc_height(gap.data(), 4), 0);
  EXPECT_EQ(gap[1].h, M);
  EXPECT_EQ(gap[2].h, 1500);
  EXPECT_NEAR(gap[3].h, 1500 + std::log(850.0 / 700) * 287.05 * 273.15 / 9.8, 0.1);
  /* The first level cannot step down without a pressure. */
  std::vector<UPA_level> nop{{M, M, 15, M, M, M}, {850, 1500, 5, M, M, M}};
  ASSERT_EQ(UPA_calc_height(nop.data(), 2), 0);
  EXPECT_EQ(nop[0].h, M);
}

TEST(UpaCalcPress, PressuresFallExponentiallyAcrossASpan) {
  std::vector<UPA_level> s{{850, 1500, M, M, 200, 10}, {M, 2300, M, M, 210, 12}, {700, 3100, M, M, 220, 14}};
  ASSERT_EQ(UPA_calc_press(s.data(), 3), 0);
  EXPECT_NEAR(s[1].p, std::sqrt(850.0 * 700), 0.05);
  EXPECT_NEAR(s[1].p, 771, 0.5);
}

TEST(UpaCalcPress, ReferencesAndMends) {
  /* The lowest level from the first known pressure; a level above the
   * last known pressure by the estimate. */
  std::vector<UPA_level> s{{M, 100, 15, M, M, M}, {900, 1000, M, M, M, M}, {M, 2000, M, M, M, M}, {M, M, M, M, M, M}};
  ASSERT_EQ(UPA_calc_press(s.data(), 4), 0);
  double t_low = 288.15 - 0.0065 * 900 / 2;
  EXPECT_NEAR(s[0].p, 900 * std::exp(900 * 9.8 / (287.05 * t_low)), 0.01);
  double t_up = 288.15 - 0.0065 * 2000;
  EXPECT_NEAR(s[2].p, 900 * std::exp(-1000 * 9.8 / (287.05 * t_up)), 0.01);
  EXPECT_EQ(s[3].p, M); /* no height */

  /* No pressure at all: nothing. */
  std::vector<UPA_level> none{{M, 100, 15, M, M, M}, {M, 1000, M, M, M, M}};
  UPA_calc_press(none.data(), 2);
  EXPECT_EQ(none[0].p, M);
  EXPECT_EQ(none[1].p, M);

  /* A span start without height and no end height: it stays without,
   * and so do the pressures that hang on it. */
  std::vector<UPA_level> nohgt{{850, M, M, M, M, M}, {M, 2000, M, M, M, M}, {700, M, M, M, M, M}};
  UPA_calc_press(nohgt.data(), 3);
  EXPECT_EQ(nohgt[0].h, M);
  EXPECT_EQ(nohgt[1].p, M);

  /* Equal pressures at both ends: no infinity, the estimate instead. */
  std::vector<UPA_level> flat{{850, 1500, M, M, M, M}, {M, 1600, M, M, M, M}, {850, 1700, M, M, M, M}};
  UPA_calc_press(flat.data(), 3);
  EXPECT_TRUE(std::isfinite(flat[1].p));
  EXPECT_NEAR(flat[1].p, 850 * std::exp(-100 * 9.8 / (287.05 * (288.15 - 0.0065 * 1600))), 0.01);
}

} // namespace

namespace {

/* Random stable soundings against an independent NumPy reference. */
TEST(UpaReference, AgreesWithNumPy) {
  if (!kez_test::have_program("/usr/bin/python3") || kez_test::run_command("/usr/bin/python3 -c 'import numpy'") != 0)
    GTEST_SKIP() << "no NumPy";
  std::mt19937 rng(52);
  std::uniform_real_distribution<float> u(0, 1);
  kez_test::TempDir dir;
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE(round);
    /* Falling pressure in steps under 300 hPa, a temperature profile that
     * keeps theta rising. */
    std::vector<UPA_level> s;
    float p = 1000 + 30 * u(rng), t = 15 + 15 * u(rng);
    while (p > 200) {
      s.push_back({p, M, t, t - 2 - 8 * u(rng), 360 * u(rng), 50 * u(rng)});
      float np = p - 20 - 60 * u(rng);
      t -= (20 + 30 * u(rng)) * std::log(p / np);
      p = np;
    }
    s.front().h = 100;
    /* The top height near the standard atmosphere's, so that the
     * correction spread over the sounding is a few tens of metres. */
    s.back().h = static_cast<float>((288.15 - 288.15 * std::pow(s.back().p / 1013.25, 0.190263)) / 0.0065);
    std::vector<UPA_level> filled = s;
    ASSERT_EQ(UPA_calc_height(filled.data(), static_cast<int>(filled.size())), 0);

    std::ostringstream in;
    for (const auto& l : s) in << "L " << l.p << ' ' << l.h << ' ' << l.t << ' ' << l.td << " 0 0\n";
    struct Q {
      int coord;
      float v;
    };
    std::vector<Q> qs;
    float th_lo = UPA_get_level(113, &filled.front()), th_hi = UPA_get_level(113, &filled.back());
    for (int q = 0; q < 6; ++q) {
      float f = 0.05f + 0.9f * u(rng);
      qs.push_back({100, std::exp(std::log(s.front().p) + f * std::log(s.back().p / s.front().p))});
      qs.push_back({103, filled.front().h + f * (filled.back().h - filled.front().h)});
      qs.push_back({113, th_lo + f * (th_hi - th_lo)});
    }
    for (auto q : qs) in << "Q " << q.coord << ' ' << q.v << '\n';
    std::string file = dir.file("in" + std::to_string(round));
    kez_test::write_file(file, in.str());
    std::string out;
    ASSERT_EQ(kez_test::run_command("/usr/bin/python3 " KEZ_SOURCE_DIR "/tests/upa/data/sounding_ref.py " + file, &out),
              0);
    std::istringstream res(out);
    for (auto q : qs) {
      float rp, rh, rt, rtd;
      res >> rp >> rh >> rt >> rtd;
      UPA_level r;
      UPA_interp(filled.data(), static_cast<int>(filled.size()), q.coord, q.v, &r);
      EXPECT_NEAR(r.t, rt, 0.01) << q.coord << ' ' << q.v;
      EXPECT_NEAR(r.td, rtd, 0.01) << q.coord << ' ' << q.v;
      EXPECT_NEAR(r.h, rh, 0.5) << q.coord << ' ' << q.v;
      EXPECT_NEAR(r.p, rp, 0.05) << q.coord << ' ' << q.v;
    }
    for (const auto& l : filled) {
      float rh;
      res >> rh;
      EXPECT_NEAR(l.h, rh, 0.5) << l.p;
    }
  }
}

} // namespace
