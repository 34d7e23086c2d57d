/* Wind-profile indices: helicity, layer shear, bulk Richardson number and
 * the energy-helicity index. */
#include "kez_test.h"
#include "kezcont.h"
#include "kezupa.h"
#include "sounding_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr float M = KEZ_FMISS;
constexpr double kt = 0.5144;
constexpr double rad = 0.017453292519943334;

void expect_rel(double got, double want, double rel, double floor, const std::string& what) {
  EXPECT_NEAR(got, want, std::fmax(std::fabs(want) * rel, floor)) << what;
}

/* A wind level at height h (pressure from a scale height of 8 km) whose
 * storm-relative wind is r m/s pointing to compass angle phi (degrees). */
UPA_level circle_level(double h, WIND storm, double r, double phi) {
  double su = -storm.spd * kt * std::sin(storm.dir * rad), sv = -storm.spd * kt * std::cos(storm.dir * rad);
  double u = su + r * std::sin(phi * rad), v = sv + r * std::cos(phi * rad);
  double dir = std::fmod(std::atan2(-u, -v) / rad + 360, 360);
  return UPA_level{static_cast<float>(1000 * std::exp(-h / 8000)), static_cast<float>(h), M, M, static_cast<float>(dir),
                   static_cast<float>(std::hypot(u, v) / kt)};
}

/* A hodograph that is a circle of radius r about the storm motion, turning
 * clockwise by turn degrees every 100 m up to top m: each 100 m step's
 * helicity is r^2 sin(turn). */
std::vector<UPA_level> circle(WIND storm, double r, double turn, double top) {
  std::vector<UPA_level> s;
  for (int k = 0; k * 100.0 <= top; ++k) s.push_back(circle_level(k * 100.0, storm, r, 200 + k * turn));
  return s;
}

TEST(UaWind, AgreesWithTheNumpyReference) {
  const WIND storm{240, 25};
  const std::vector<UPA_level>* soundings[] = {&fixtures::kStrong, &fixtures::kWeak, &fixtures::kCapped,
                                               &fixtures::kStable};
  for (const auto* p : soundings) {
    std::vector<UPA_level> s = *p;
    const int num = static_cast<int>(s.size());
    SCOPED_TRACE(s[0].p);
    auto ref = fixtures::reference(s, storm);
    ASSERT_FALSE(ref.empty()) << "the reference did not run";
    const float h0 = s[0].h;

    HELICITY_params hp;
    EXPECT_EQ(helicity(s.data(), num, UPA_CO_HGT, h0, h0 + 3000, &storm, &hp), 1);
    EXPECT_NEAR(hp.dir_shr, ref.at("hel_dir_shr"), 0.05);
    expect_rel(hp.pos_hel, ref.at("hel_pos"), 1e-3, 1e-3, "positive helicity");
    expect_rel(hp.neg_hel, ref.at("hel_neg"), 1e-3, 1e-3, "negative helicity");
    expect_rel(hp.tot_hel, ref.at("hel_tot"), 1e-3, 1e-3, "helicity");
    expect_rel(hp.ave_hel, ref.at("hel_ave"), 1e-3, 1e-6, "helicity per metre");
    expect_rel(hp.rel_hel, ref.at("hel_rel"), 1e-3, 1e-6, "streamwise share");
    expect_rel(hp.hor_vort, ref.at("hel_hor"), 1e-3, 1e-8, "horizontal vorticity");
    expect_rel(hp.stm_vort, ref.at("hel_stm"), 1e-3, 1e-8, "streamwise vorticity");

    SHEAR_params sp;
    EXPECT_EQ(shear_layer(s.data(), num, UPA_CO_HGT, h0, h0 + 3000, nullptr, &sp), 1);
    expect_rel(sp.pos_shr, ref.at("pos_shr"), 1e-3, 1e-8, "veering shear");
    expect_rel(sp.neg_shr, ref.at("neg_shr"), 1e-3, 1e-8, "backing shear");

    /* The CAPE of the surface parcel, as the analysis hands it on. */
    PARCEL_params pp{};
    parcel_calc(s.data(), num, nullptr, UPA_CO_PRES, s[0].p, 0, &pp);
    float brn, shear;
    EXPECT_EQ(bulk_richardson(s.data(), num, UPA_CO_PRES, s[0].p, pp.Bplus, &brn, &shear), 0);
    expect_rel(shear, ref.at("shear"), 1e-3, 1e-6, "bulk shear");
    expect_rel(brn, ref.at("brn"), 1e-3, 1e-3, "bulk Richardson number");
    expect_rel(energy_helicity(s.data(), num, UPA_CO_PRES, s[0].p, &storm, pp.Bplus), ref.at("ehi"), 1e-3, 1e-4,
               "energy-helicity index");
  }
}

TEST(UaWind, HelicityOfCircularHodographs) {
  const WIND storm{250, 20};
  const double r = 10;
  struct Case {
    const char* why;
    double turn, top_of_winds, top;
    int coord_result;
    double want;
  };
  const Case cases[] = {
      {"clockwise: 30 steps of r^2 sin(3 deg)", 3, 3000, 3000, 1, 30 * r * r * std::sin(3 * rad)},
      {"counter-clockwise: negative", -3, 3000, 3000, 1, -30 * r * r * std::sin(3 * rad)},
      {"no turning: zero", 0, 3000, 3000, 1, 0},
      {"top above the highest wind: sums to the last height", 3, 2000, 3000, 0, 20 * r * r * std::sin(3 * rad)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    auto s = circle(storm, r, c.turn, c.top_of_winds);
    HELICITY_params hp;
    EXPECT_EQ(helicity(s.data(), static_cast<int>(s.size()), UPA_CO_HGT, 0, c.top, &storm, &hp), c.coord_result);
    EXPECT_NEAR(hp.tot_hel, c.want, 0.01);
    EXPECT_NEAR(hp.pos_hel + hp.neg_hel, hp.tot_hel, 1e-3);
    if (c.want > 0) {
      EXPECT_NEAR(hp.neg_hel, 0, 1e-3);
    }
    if (c.coord_result == 1) {
      /* Every step counts in the vorticity means: with 30 steps the
       * turning term r * turn / 100 m is the mean exactly. */
      EXPECT_NEAR(hp.stm_vort, r * c.turn * rad / 100, 1e-6);
      EXPECT_NEAR(hp.hor_vort, r * std::fabs(c.turn) * rad / 100, 1e-6);
      EXPECT_NEAR(hp.dir_shr, std::remainder(30 * c.turn, 360), 0.05);
      EXPECT_NEAR(hp.ave_hel, c.want / 3000, 1e-5);
    }
  }

  /* Straight-line winds through the storm motion: no helicity. */
  std::vector<UPA_level> line;
  for (int k = 0; k <= 30; ++k) line.push_back(circle_level(k * 100.0, storm, 2 + k * 0.5, 300));
  HELICITY_params hp;
  EXPECT_EQ(helicity(line.data(), 31, UPA_CO_HGT, 0, 3000, &storm, &hp), 1);
  EXPECT_NEAR(hp.tot_hel, 0, 1e-3);

  /* The same layer in pressure steps every 100 m of height. */
  auto s = circle(storm, r, 3, 3000);
  HELICITY_params hz, hpres;
  helicity(s.data(), static_cast<int>(s.size()), UPA_CO_HGT, 0, 3000, &storm, &hz);
  EXPECT_EQ(helicity(s.data(), static_cast<int>(s.size()), UPA_CO_PRES, s[0].p, s[30].p, &storm, &hpres), 1);
  EXPECT_NEAR(hpres.tot_hel, hz.tot_hel, 0.05);
  EXPECT_NEAR(hpres.hor_vort, hz.hor_vort, 1e-6);
}

TEST(UaWind, HodographIsStraightBetweenLevels) {
  const WIND calm{0, 0};
  auto level = [](float h, float dir, float spd) {
    return UPA_level{static_cast<float>(1000 * std::exp(-h / 8000)), h, M, M, dir, spd};
  };
  /* A west wind turning into an east wind of the same speed with no level
   * between: the hodograph is a straight line through calm. Read through
   * direction and speed it would be a half circle through the south. */
  std::vector<UPA_level> through = {level(0, 270, 20), level(3000, 90, 20), level(4000, 90, 20)};
  HELICITY_params hp{};
  ASSERT_EQ(helicity(through.data(), 3, UPA_CO_HGT, 0, 3000, &calm, &hp), 1);
  EXPECT_NEAR(hp.tot_hel, 0, 1e-3);
  EXPECT_NEAR(hp.pos_hel, 0, 1e-3);
  SHEAR_params sp{};
  ASSERT_EQ(shear_layer(through.data(), 3, UPA_CO_HGT, 0, 3000, nullptr, &sp), 1);
  EXPECT_NEAR(sp.pos_shr, 0, 1e-7) << "the wind does not veer";
  EXPECT_NEAR(sp.neg_shr, 40 * kt / 3000, 1e-6);

  /* Two levels 1 km apart: every 100 m step adds the same cross product,
   * so the sum is that of the end winds (relative to the storm). */
  const WIND storm{240, 15};
  std::vector<UPA_level> apart = {level(0, 180, 20), level(1000, 270, 40), level(2000, 270, 40)};
  ASSERT_EQ(helicity(apart.data(), 3, UPA_CO_HGT, 0, 1000, &storm, &hp), 1);
  float su, sv, u0, v0, u1, v1;
  wind2vect(storm.dir, storm.spd * 0.5144f, &su, &sv);
  wind2vect(180, 20 * 0.5144f, &u0, &v0);
  wind2vect(270, 40 * 0.5144f, &u1, &v1);
  const double want = static_cast<double>(v0 - sv) * (u1 - su) - static_cast<double>(u0 - su) * (v1 - sv);
  ASSERT_GT(want, 50);
  EXPECT_NEAR(hp.tot_hel, want, 1e-3 * want);
}

TEST(UaWind, HelicityWithoutStormOrData) {
  auto s = circle(WIND{250, 20}, 10, 3, 3000);
  const int num = static_cast<int>(s.size());
  auto all_missing = [](const HELICITY_params& h) {
    for (float v : {h.dir_shr, h.pos_hel, h.neg_hel, h.tot_hel, h.ave_hel, h.rel_hel, h.hor_vort, h.stm_vort})
      if (v != M) return false;
    return true;
  };
  struct Case {
    const char* why;
    WIND storm;
    float base; /* height of the lowest level */
    bool winds;
    int result;
  };
  const Case cases[] = {
      {"storm direction missing", {M, 20}, 0, true, 0},
      {"storm speed missing", {250, M}, 0, true, 0},
      {"lowest level above 5000 m", {250, 20}, 5500, true, 0},
      {"no winds at all", {250, 20}, 0, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    auto t = s;
    for (auto& l : t) {
      l.h += c.base;
      if (!c.winds) l.dir = l.spd = M;
    }
    HELICITY_params hp;
    EXPECT_EQ(helicity(t.data(), num, UPA_CO_HGT, c.base, c.base + 3000, &c.storm, &hp), c.result);
    EXPECT_TRUE(all_missing(hp));
  }
  HELICITY_params hp;
  EXPECT_EQ(helicity(s.data(), 1, UPA_CO_HGT, 0, 3000, nullptr, &hp), 0);
  EXPECT_TRUE(all_missing(hp));
  auto t = s;
  for (auto& l : t) l.h = M;
  EXPECT_EQ(helicity(t.data(), num, UPA_CO_PRES, t[0].p, t[30].p, nullptr, &hp), 0) << "no storm";
  WIND storm{250, 20};
  EXPECT_EQ(helicity(t.data(), num, UPA_CO_PRES, t[0].p, t[30].p, &storm, &hp), -1) << "no heights";
  EXPECT_TRUE(all_missing(hp));
}

TEST(UaWind, ShearSplitsVeeringFromBacking) {
  /* Winds change only between 0 and 500 m, then stay: the 0-3000 m layer
   * takes 6 steps, so the one change is divided by 3000 m. */
  struct Case {
    const char* why;
    float from, to;
    bool veers;
  };
  const Case cases[] = {
      {"180 to 200 veers", 180, 200, true},
      {"350 to 10 (-340) veers", 350, 10, true},
      {"10 to 350 backs", 10, 350, false},
      {"200 to 180 backs", 200, 180, false},
      {"a turn of 180 counts as backing", 0, 180, false},
      {"a turn of -180 counts as backing", 190, 10, false},
      {"no turn counts as backing", 200, 200, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    std::vector<UPA_level> s;
    for (int k = 0; k <= 6; ++k)
      s.push_back(UPA_level{static_cast<float>(1000 * std::exp(-k * 500.0 / 8000)), static_cast<float>(k * 500), M, M,
                            k == 0 ? c.from : c.to, k == 0 ? 20.0f : 30.0f});
    double du = -30 * kt * std::sin(c.to * rad) + 20 * kt * std::sin(c.from * rad);
    double dv = -30 * kt * std::cos(c.to * rad) + 20 * kt * std::cos(c.from * rad);
    double want = std::hypot(du, dv) / 3000;
    SHEAR_params sp;
    EXPECT_EQ(shear_layer(s.data(), 7, UPA_CO_HGT, 0, 3000, nullptr, &sp), 1);
    EXPECT_NEAR(sp.pos_shr, c.veers ? want : 0, 1e-7);
    EXPECT_NEAR(sp.neg_shr, c.veers ? 0 : want, 1e-7);
  }
  std::vector<UPA_level> high = {{500, 5600, M, M, 200, 20}, {400, 7200, M, M, 220, 30}};
  SHEAR_params sp;
  EXPECT_EQ(shear_layer(high.data(), 2, UPA_CO_HGT, 5600, 7200, nullptr, &sp), 0);
  EXPECT_EQ(sp.pos_shr, M);
  EXPECT_EQ(sp.neg_shr, M);
}

TEST(UaWind, BulkRichardsonAndEnergyHelicity) {
  auto s = fixtures::kStrong;
  const int num = static_cast<int>(s.size());
  float brn, shear;
  EXPECT_EQ(bulk_richardson(s.data(), num, UPA_CO_PRES, s[0].p, M, &brn, &shear), 0);
  EXPECT_GT(shear, 0);
  EXPECT_EQ(brn, M) << "CAPE missing";

  auto calm = s;
  for (auto& l : calm) {
    l.dir = 270;
    l.spd = 20;
  }
  EXPECT_EQ(bulk_richardson(calm.data(), num, UPA_CO_PRES, calm[0].p, 1500, &brn, &shear), 0);
  EXPECT_NEAR(shear, 0, 1e-5);
  EXPECT_EQ(brn, M) << "no shear";

  auto windless = s;
  for (auto& l : windless) l.dir = l.spd = M;
  EXPECT_EQ(bulk_richardson(windless.data(), num, UPA_CO_PRES, s[0].p, 1500, &brn, &shear), -1);
  EXPECT_EQ(brn, M);
  EXPECT_EQ(shear, M);
  EXPECT_EQ(bulk_richardson(s.data(), 0, UPA_CO_PRES, s[0].p, 1500, &brn, &shear), -1);

  /* 20 steps of r^2 sin(turn) = 160 m^2/s^2 with 2000 J/kg: 2.0. */
  const WIND storm{250, 20};
  auto c = circle(storm, 10, std::asin(0.08) / rad, 3000);
  const int cn = static_cast<int>(c.size());
  EXPECT_NEAR(energy_helicity(c.data(), cn, UPA_CO_HGT, 0, &storm, 2000), 2.0, 1e-4);
  EXPECT_EQ(energy_helicity(c.data(), cn, UPA_CO_HGT, 0, &storm, M), M);
  const WIND no_storm{M, M};
  EXPECT_EQ(energy_helicity(c.data(), cn, UPA_CO_HGT, 0, &no_storm, 2000), M);
  EXPECT_EQ(energy_helicity(c.data(), cn, UPA_CO_HGT, M, &storm, 2000), M);
}

} // namespace

namespace {

TEST(UaWind, TraceShowsOneLinePerStep) {
  const WIND storm{250, 20};
  auto s = circle(storm, 10, 3, 3000);
  const int num = static_cast<int>(s.size());
  MESS_set(1, M_debug_c);
  auto out = kez_test::capture([&] {
    HELICITY_params hp;
    helicity(s.data(), num, UPA_CO_HGT, 0, 3000, &storm, &hp);
    SHEAR_params sp;
    shear_layer(s.data(), num, UPA_CO_HGT, 0, 3000, nullptr, &sp);
  });
  MESS_set(-1, M_debug_c);
  std::istringstream lines(out.out + out.err);
  std::string line;
  int hel_steps = 0, shear_steps = 0;
  std::vector<std::string> all;
  while (std::getline(lines, line)) {
    all.push_back(line);
    /* helicity steps end with two sums, shear steps with two vectors */
    if (line.find(" = ") == std::string::npos) continue;
    if (line.find(',', line.find(" = ")) == std::string::npos)
      ++hel_steps;
    else
      ++shear_steps;
  }
  EXPECT_EQ(hel_steps, 30) << "100 m steps from 100 m to 3000 m";
  EXPECT_EQ(shear_steps, 6) << "500 m steps from 500 m to 3000 m";
  ASSERT_GE(all.size(), 2u);
  /* 20 knots from 250 degrees: u = 10.288 sin 70, v = 10.288 cos 70. */
  EXPECT_EQ(all.front(), "9.667558,3.518703") << "the storm vector first";
  EXPECT_EQ(all[1].substr(0, 5), "100.0");
}

} // namespace
