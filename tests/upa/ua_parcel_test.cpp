/* Parcel ascent and the thermodynamic indices of a sounding. */
#include "kez_test.h"
#include "kezupa.h"
#include "sounding_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <initializer_list>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr float M = KEZ_FMISS;

/* A sounding from pressures, temperatures and dew points; heights
 * hypsometric from the first level at 0 m, no winds. */
std::vector<UPA_level> column(std::initializer_list<std::array<float, 3>> rows) {
  std::vector<UPA_level> s;
  for (const auto& r : rows) {
    UPA_level l{r[0], 0, r[1], r[2], M, M};
    if (!s.empty()) {
      const UPA_level& b = s.back();
      double tm = (b.t + l.t) / 2 + 273.15;
      l.h = static_cast<float>(b.h + std::log(b.p / l.p) * 287.05 * tm / 9.8);
    }
    s.push_back(l);
  }
  return s;
}

/* Buoyant up to a warm layer at 420 hPa, buoyant again from 350 to 300
 * hPa in much colder air. */
std::vector<UPA_level> twice_buoyant() {
  auto s = column({{1000, 25, 18},
                   {850, 13, 10},
                   {700, 4, -6},
                   {500, -12, -25},
                   {450, -16, -30},
                   {420, -12, -30},
                   {400, -14, -32},
                   {350, -33, -45},
                   {300, -42, -55},
                   {250, -45, -60},
                   {200, -45, -65},
                   {150, -45, -70}});
  float dir = 180;
  for (auto& l : s) {
    l.dir = dir;
    l.spd = 10 + (1000 - l.p) / 20;
    dir += 10;
  }
  return s;
}

float te(const UPA_level& l) { return eq_pot_temp(l.t + 273.15f, l.td + 273.15f, l.p); }

const std::vector<UPA_level> kTwice = twice_buoyant();

/* Relative agreement, with a floor for values near zero. */
void expect_rel(double got, double want, double rel, double floor, const std::string& what) {
  EXPECT_NEAR(got, want, std::fmax(std::fabs(want) * rel, floor)) << what;
}

struct Named {
  const char* name;
  const std::vector<UPA_level>* s;
};

const Named kSoundings[] = {
    {"strong", &fixtures::kStrong}, {"weak", &fixtures::kWeak}, {"capped", &fixtures::kCapped},
    {"stable", &fixtures::kStable}, {"twice buoyant", &kTwice},
};

void expect_ascent(const PARCEL_params& pp, std::map<std::string, double>& ref, const std::string& tag) {
  auto r = [&](const char* k) { return ref.at(tag + "_" + k); };
  EXPECT_NEAR(pp.plcl, r("plcl"), 1.0) << tag << " LCL";
  EXPECT_NEAR(pp.tlcl, r("tlcl"), 0.05) << tag << " LCL temperature";
  EXPECT_NEAR(pp.lfc, r("lfc"), 1.0) << tag << " LFC";
  EXPECT_NEAR(pp.el, r("el"), 1.0) << tag << " EL";
  EXPECT_NEAR(pp.mpl, r("mpl"), 1.0) << tag << " MPL";
  EXPECT_NEAR(pp.cap, r("cap"), 0.05) << tag << " cap";
  expect_rel(pp.Bplus, r("bplus"), 0.005, 0.05, tag + " CAPE");
  expect_rel(pp.Bminus, r("bminus"), 0.005, 0.05, tag + " CIN");
  expect_rel(pp.wmax, r("wmax"), 0.005, 0.01, tag + " wmax");
  if (r("bel") == M)
    EXPECT_EQ(pp.Bel, M) << tag;
  else
    expect_rel(pp.Bel, r("bel"), 0.005, 0.05, tag + " buoyancy at the EL");
  if (r("bmpl") == M)
    EXPECT_EQ(pp.Bmpl, M) << tag;
  else
    expect_rel(pp.Bmpl, r("bmpl"), 0.005, 0.5, tag + " buoyancy at the MPL");
}

TEST(UaParcel, AgreesWithTheNumpyReference) {
  for (const auto& n : kSoundings) {
    SCOPED_TRACE(n.name);
    std::vector<UPA_level> s = *n.s;
    const int num = static_cast<int>(s.size());
    auto ref = fixtures::reference(s, WIND{240, 25});
    ASSERT_FALSE(ref.empty()) << "the reference did not run";

    PARCEL_params sfc{};
    EXPECT_EQ(parcel_calc(s.data(), num, nullptr, UPA_CO_PRES, s[0].p, 0, &sfc), 1);
    expect_ascent(sfc, ref, "sfc");
    EXPECT_FLOAT_EQ(sfc.wmax, sfc.Bplus > 0 ? std::sqrt(2 * sfc.Bplus) : 0);
    PARCEL_params ml{};
    EXPECT_EQ(parcel_calc(s.data(), num, nullptr, UPA_CO_PRES, s[0].p, 100, &ml), 1);
    expect_ascent(ml, ref, "ml");

    EXPECT_NEAR(cap_strength(s.data(), num, UPA_CO_PRES, s[0].p, 0), ref.at("capstr"), 0.05);
    EXPECT_NEAR(lifted_index(s.data(), num, UPA_CO_PRES, s[0].p, 0, 500), ref.at("li"), 0.05);
    EXPECT_NEAR(lifted_index(s.data(), num, UPA_CO_PRES, s[0].p, 100, 500), ref.at("li_ml"), 0.05);
    EXPECT_NEAR(lifted_index(s.data(), num, UPA_CO_PRES, 850, 0, 500), ref.at("si"), 0.05) << "Showalter";
    EXPECT_NEAR(total_totals(s.data(), num), ref.at("tt"), 0.01);
    EXPECT_NEAR(vertical_totals(s.data(), num), ref.at("vt"), 0.01);
    EXPECT_NEAR(cross_totals(s.data(), num), ref.at("ct"), 0.01);
    EXPECT_NEAR(k_index(s.data(), num), ref.at("k"), 0.01);
    EXPECT_NEAR(sweat_index(s.data(), num), ref.at("sweat"), 0.01);
    EXPECT_NEAR(energy_index(s.data(), num), ref.at("ei"), 0.01);
  }
}

TEST(UaParcel, ThetaeIndexChoosesTheLargestFallBasedLowEnough) {
  /* Dry air (td 10 below t) so theta-e follows the lapse rate: a fall
   * where t drops 8 or more per 50 hPa, a rise where it drops 1. */
  auto rise_only = column({{1000, 20, 10}, {950, 19, 9}, {900, 18, 8}, {850, 17, 7}, {800, 16, 6}});
  auto two = column({{1000, 20, 10},
                     {950, 12, 2},
                     {900, 11, 1},
                     {850, 3, -7},
                     {800, -5, -15},
                     {750, -6, -16},
                     {700, -7, -17},
                     {650, -8, -18}});
  auto high_start = column({{1000, 20, M}, {850, 15, M}, {650, 5, -5}, {600, 4, -6}});
  auto late_fall =
      column({{1000, 20, 10}, {900, 19, 9}, {800, 18, 8}, {700, 17, 7}, {650, 16, 6}, {600, 5, -5}, {550, -3, -13}});
  /* Rises up to 700 hPa and falls from there to the top. */
  auto at_700 = column({{1000, 20, 10}, {900, 19, 9}, {800, 18, 8}, {700, 17, 7}, {600, 5, -5}, {550, -3, -13}});
  /* Falls at 950 (then rise), and above 700 only; 550 very warm. */
  auto above = column({{1000, 20, 10},
                       {950, 12, 2},
                       {900, 11, 1},
                       {850, 10, 0},
                       {700, 9, -1},
                       {650, 8, -2},
                       {600, -2, -12},
                       {550, 30, 20}});
  auto none = column({{1000, 20, M}, {900, 15, M}});
  /* Six falls below 700 hPa, the sixth the largest. */
  auto six = column({{1000, 20, 10},
                     {980, 17, 7},
                     {960, 17, 7},
                     {940, 14, 4},
                     {920, 14, 4},
                     {900, 11, 1},
                     {880, 11, 1},
                     {860, 8, -2},
                     {840, 8, -2},
                     {820, 5, -5},
                     {800, 5, -5},
                     {780, 2, -8},
                     {760, 2, -8},
                     {740, -20, -30},
                     {720, -20, -30}});

  ASSERT_LT(te(two[0]), te(two[0]) + 1);
  ASSERT_GT(te(two[0]), te(two[1]));
  ASSERT_LT(te(two[1]), te(two[2]));
  ASSERT_GT(te(two[2]), te(two[3]));
  ASSERT_GT(te(two[3]), te(two[4]));
  ASSERT_LT(te(two[4]), te(two[5]));
  ASSERT_GT(te(two[2]) - te(two[4]), te(two[0]) - te(two[1]));

  struct Case {
    const char* why;
    const std::vector<UPA_level>* s;
    int result;
    float index, base, top;
  };
  const Case cases[] = {
      {"theta-e only rises: no fall, based at the lowest level", &rise_only, 0, 0, 1000, M},
      /* a layer runs from the level where the fall starts to the last
       * level of the fall */
      {"the second layer falls further", &two, 0, te(two[2]) - te(two[4]), 900, 800},
      {"lowest usable level above 700 hPa", &high_start, -1, M, M, M},
      {"first layer opens above 700 hPa", &late_fall, -1, M, M, M},
      {"a layer falling from 700 hPa to the top counts", &at_700, 0, te(at_700[3]) - te(at_700[5]), 700, 550},
      {"a fall above 700 hPa ends the scan and is not chosen", &above, 0, te(above[0]) - te(above[1]), 1000, 950},
      {"no level with temperature and dew point", &none, -1, M, M, M},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    THETAE_params tp;
    EXPECT_EQ(thetae_index(c.s->data(), static_cast<int>(c.s->size()), &tp), c.result);
    EXPECT_NEAR(tp.index, c.index, 1e-3);
    EXPECT_EQ(tp.base, c.base);
    EXPECT_EQ(tp.top, c.top);
  }

  THETAE_params tp;
  thetae_index(high_start.data(), 4, &tp);
  EXPECT_FLOAT_EQ(tp.max, te(high_start[2])) << "max and min from the start level";
  EXPECT_EQ(tp.maxp, 650);
  EXPECT_EQ(tp.minp, 650);
  thetae_index(above.data(), static_cast<int>(above.size()), &tp);
  EXPECT_LT(tp.max, te(above[7])) << "the level after the scan's end is not seen";
  thetae_index(none.data(), 2, &tp);
  EXPECT_EQ(tp.max, M);

  /* Five closed layers end the scan: the sixth, largest fall is not seen. */
  for (size_t k = 0; k + 1 < six.size(); ++k)
    ASSERT_TRUE(k % 2 == 0 ? te(six[k]) > te(six[k + 1]) : te(six[k]) < te(six[k + 1])) << k;
  EXPECT_EQ(thetae_index(six.data(), static_cast<int>(six.size()), &tp), 0);
  float best = 0;
  for (size_t k = 0; k < 10; k += 2) best = std::fmax(best, te(six[k]) - te(six[k + 1]));
  EXPECT_NEAR(tp.index, best, 1e-3);
  EXPECT_GT(te(six[12]) - te(six[13]), best + 1);
}

TEST(UaParcel, EnergyOfOneStep) {
  struct Case {
    const char* why;
    float tp1, tp2, te1, te2, h1, h2, want;
  };
  const Case cases[] = {
      {"equal temperatures", 5, 3, 5, 3, 0, 500, 0},
      {"parcel 1 degree warmer over 1000 m at 0 degrees", 1, 1, 0, 0, 0, 1000, 9.8f * 1000 / 273.15f},
      {"parcel colder", -1, -1, 0, 0, 0, 1000, -9.8f * 1000 / 273.15f},
      {"missing environment temperature", 1, 1, M, 0, 0, 1000, M},
      {"missing parcel temperature", M, 1, 0, 0, 0, 1000, M},
      {"missing height", 1, 1, 0, 0, M, 1000, M},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    UPA_level p1{900, 0, c.tp1, M, M, M}, p2{800, 0, c.tp2, M, M, M};
    UPA_level e1{900, c.h1, c.te1, M, M, M}, e2{800, c.h2, c.te2, M, M, M};
    EXPECT_NEAR(energy_calc(&p1, &p2, &e1, &e2), c.want, 1e-3);
  }
  UPA_level p1{900, 0, 1, M, M, M}, e1{900, 0, 0, M, M, M}, e2{800, 1000, 0, M, M, M};
  EXPECT_NEAR(energy_calc(&p1, &p1, &e1, &e2), 35.9, 0.05);
}

TEST(UaParcel, AscentWithoutDataOrCondensationLevel) {
  PARCEL_params pp{};
  pp.Satad = 123;
  EXPECT_EQ(parcel_calc(nullptr, 0, nullptr, UPA_CO_PRES, 1000, 0, &pp), 0);
  for (float v : {pp.Bplus, pp.Bminus, pp.wmax, pp.cap, pp.lfc, pp.plcl, pp.el, pp.mpl, pp.Bel, pp.Bmpl})
    EXPECT_EQ(v, M);
  EXPECT_EQ(pp.Satad, 123) << "left alone without levels";

  auto s = fixtures::kWeak;
  EXPECT_EQ(parcel_calc(s.data(), static_cast<int>(s.size()), nullptr, UPA_CO_PRES, M, 0, &pp), 0) << "no bottom";
  EXPECT_EQ(pp.Bplus, M);

  for (auto& l : s) l.td = M;
  const int num = static_cast<int>(s.size());
  EXPECT_EQ(parcel_calc(s.data(), num, nullptr, UPA_CO_PRES, s[0].p, 0, &pp), 0) << "no dew point: no LCL";
  for (float v : {pp.Bplus, pp.Bminus, pp.wmax, pp.cap, pp.lfc, pp.plcl, pp.tlcl, pp.Satad}) EXPECT_EQ(v, M);
  EXPECT_EQ(cap_strength(s.data(), num, UPA_CO_PRES, s[0].p, 0), M);
  /* The lifted index lifts it dry all the way. */
  float dry = temp_on_dryad(pot_temp(s[0].t + 273.15f, s[0].p), 500) - 273.15f;
  EXPECT_NEAR(lifted_index(s.data(), num, UPA_CO_PRES, s[0].p, 0, 500), s[10].t - dry, 1e-3);
}

TEST(UaParcel, StartParcelGivenOrFilledIn) {
  auto s = fixtures::kWeak;
  const int num = static_cast<int>(s.size());
  /* A given parcel is lifted as it stands, whatever the sounding says. */
  UPA_level given{850, M, 25, 20, M, M};
  PARCEL_params pp{};
  EXPECT_EQ(parcel_calc(s.data(), num, &given, UPA_CO_PRES, s[0].p, 0, &pp), 1);
  EXPECT_EQ(given.t, 25);
  EXPECT_EQ(given.td, 20);
  EXPECT_FLOAT_EQ(pp.plcl, lcl_pres(25 + 273.15f, 20 + 273.15f, 850));
  EXPECT_FLOAT_EQ(pp.tlcl, lcl_temp(25 + 273.15f, 850, pp.plcl));
  EXPECT_FLOAT_EQ(pp.Satad, thetae_on_satad(pp.tlcl, pp.plcl));
  EXPECT_FLOAT_EQ(pp.cap, 0) << "parcel warmer than the air at 850 hPa";

  /* Without a pressure the start level is written back. */
  UPA_level blank{M, M, M, M, M, M};
  EXPECT_EQ(parcel_calc(s.data(), num, &blank, UPA_CO_PRES, 900, 0, &pp), 1);
  EXPECT_EQ(blank.p, 900);
  EXPECT_FLOAT_EQ(blank.t, s[2].t);
  EXPECT_FLOAT_EQ(blank.td, s[2].td);
  EXPECT_FLOAT_EQ(blank.h, s[2].h);
  /* A mixed layer gives back the mixed parcel. */
  UPA_level mixed{M, M, M, M, M, M};
  parcel_calc(s.data(), num, &mixed, UPA_CO_PRES, s[0].p, 100, &pp);
  float w = 0, o = 0;
  layer_parcel_mean(s.data(), num, UPA_CO_PRES, s[0].p, s[0].p - 100, &w, &o);
  EXPECT_FLOAT_EQ(mixed.t, temp_on_dryad(o, s[0].p) - 273.15f);
  EXPECT_FLOAT_EQ(mixed.td, temp_on_mixrat(w, s[0].p) - 273.15f);
}

TEST(UaParcel, ZeroEnergyStepStartsTheFreeConvection) {
  /* The environment follows the parcel exactly over the first moist step,
   * then is far colder. */
  const float p0 = 1000, t0 = 20, td0 = 15;
  const float plcl = lcl_pres(t0 + 273.15f, td0 + 273.15f, p0);
  const float tlcl = lcl_temp(t0 + 273.15f, p0, plcl);
  const float t_at_lcl = temp_on_dryad(pot_temp(tlcl, plcl), plcl) - 273.15f;
  const float p2 = static_cast<float>(static_cast<double>(plcl) - 10.0);
  const float t2 = temp_on_satad(thetae_on_satad(tlcl, plcl), p2) - 273.15f;
  std::vector<UPA_level> s = {{p0, 0, t0, td0, M, M},
                              {plcl, 900, t_at_lcl, t_at_lcl, M, M},
                              {p2, 1000, t2, t2, M, M},
                              {500, 5500, -40, -45, M, M},
                              {300, 9000, -70, -75, M, M}};
  PARCEL_params pp{};
  ASSERT_EQ(parcel_calc(s.data(), 5, nullptr, UPA_CO_PRES, p0, 0, &pp), 1);
  EXPECT_FLOAT_EQ(pp.plcl, plcl);
  EXPECT_FLOAT_EQ(pp.lfc, (plcl + p2) / 2);
  EXPECT_GT(pp.Bplus, 0);
  EXPECT_FLOAT_EQ(pp.wmax, std::sqrt(2 * pp.Bplus));
}

TEST(UaParcel, TheEquilibriumLevelIsTheTopMostCrossing) {
  /* Buoyant up to a warm layer near 420 hPa, then buoyant again above it
   * in much colder air: the ascent ends at the upper crossing, and the
   * positive area of both layers is its CAPE. */
  auto s = twice_buoyant();
  const int num = static_cast<int>(s.size());
  PARCEL_params pp{};
  ASSERT_EQ(parcel_calc(s.data(), num, nullptr, UPA_CO_PRES, 1000, 0, &pp), 1);
  EXPECT_LT(pp.el, 350) << "not at the warm layer";
  EXPECT_GT(pp.el, 200);
  EXPECT_GT(pp.lfc, 700);
  EXPECT_LT(pp.Bel, pp.Bplus) << "the warm layer's negative area is inside the ascent";
  /* The maximum parcel level lies above the equilibrium level. */
  if (pp.mpl != M) {
    EXPECT_LT(pp.mpl, pp.el);
  }

  /* A moist surface layer capped near 800 hPa and free above: the EL
   * is in the upper troposphere, not at the base of the cap. */
  auto c = fixtures::kCapped;
  ASSERT_EQ(parcel_calc(c.data(), static_cast<int>(c.size()), nullptr, UPA_CO_PRES, c[0].p, 0, &pp), 1);
  EXPECT_GT(pp.lfc, 0);
  EXPECT_LT(pp.el, 400);
}

TEST(UaParcel, CapeAndInhibitionOnlyWithFreeConvection) {
  /* The parcel never becomes buoyant: no inhibition summed to the top of
   * the sounding, and no CAPE from a superadiabatic layer near the
   * ground (the dry part of the ascent is no free convection). */
  const auto stable = fixtures::kStable;
  auto hot = column({{1000, 34, -5},
                     {970, 30, -6},
                     {900, 23, -9},
                     {850, 20, -10},
                     {700, 12, -20},
                     {500, -2, -35},
                     {300, -25, -50},
                     {200, -40, -60}});
  const struct {
    const char* why;
    const std::vector<UPA_level>* s;
    float thick;
  } cases[] = {
      {"stable, surface parcel", &stable, 0},
      {"stable, mixed parcel", &stable, 100},
      {"superadiabatic surface layer", &hot, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    auto s = *c.s;
    PARCEL_params pp{};
    ASSERT_EQ(parcel_calc(s.data(), static_cast<int>(s.size()), nullptr, UPA_CO_PRES, s[0].p, c.thick, &pp), 1);
    EXPECT_EQ(pp.lfc, -1);
    EXPECT_EQ(pp.Bplus, 0);
    EXPECT_EQ(pp.Bminus, 0);
    EXPECT_EQ(pp.wmax, 0);
    EXPECT_EQ(pp.el, M);
  }
  /* The superadiabatic layer does warm the parcel past the air: a step
   * of positive energy below the LCL that now counts nowhere. */
  UPA_level p1 = hot[0], p2 = hot[1];
  p2.t = temp_on_dryad(pot_temp(hot[0].t + 273.15f, hot[0].p), hot[1].p) - 273.15f;
  EXPECT_GT(energy_calc(&p1, &p2, &hot[0], &hot[1]), 0);

  /* With free convection the dry negative steps are inhibition, the
   * positive area above the EL is not CAPE. */
  auto w = fixtures::kWeak;
  PARCEL_params pp{};
  ASSERT_EQ(parcel_calc(w.data(), static_cast<int>(w.size()), nullptr, UPA_CO_PRES, w[0].p, 0, &pp), 1);
  EXPECT_GT(pp.lfc, 0);
  EXPECT_GT(pp.Bplus, 0);
  EXPECT_FLOAT_EQ(pp.wmax, std::sqrt(2 * pp.Bplus));
}

TEST(UaParcel, CapStrengthAndLiftedIndex) {
  auto s = fixtures::kStrong;
  const int num = static_cast<int>(s.size());
  s[0].t = 42;
  s[0].td = 24;
  EXPECT_LT(cap_strength(s.data(), num, UPA_CO_PRES, s[0].p, 0), 0) << "parcel warmer everywhere";

  /* A top below the LCL: the dry adiabat; above it: the saturated one. */
  auto w = fixtures::kWeak;
  const int wn = static_cast<int>(w.size());
  const float plcl = lcl_pres(w[0].t + 273.15f, w[0].td + 273.15f, w[0].p);
  ASSERT_LT(plcl, 950);
  UPA_level at950;
  UPA_interp(w.data(), wn, UPA_CO_PRES, 950, &at950);
  float dry = temp_on_dryad(pot_temp(w[0].t + 273.15f, w[0].p), 950) - 273.15f;
  EXPECT_NEAR(lifted_index(w.data(), wn, UPA_CO_PRES, w[0].p, 0, 950), at950.t - dry, 1e-3);
  float moist = temp_on_satad(thetae_on_satad(lcl_temp(w[0].t + 273.15f, w[0].p, plcl), plcl), 700) - 273.15f;
  EXPECT_NEAR(lifted_index(w.data(), wn, UPA_CO_PRES, w[0].p, 0, 700), w[6].t - moist, 1e-3);

  std::vector<UPA_level> high = {{450, 6000, -20, -25, M, M}, {400, 7000, -25, -30, M, M}};
  EXPECT_EQ(lifted_index(high.data(), 2, UPA_CO_PRES, 450, 0, 400), M) << "sounding starting above 500 hPa";
  EXPECT_EQ(lifted_index(w.data(), wn, UPA_CO_PRES, w[0].p, 0, 100), M) << "top above the sounding";
}

TEST(UaParcel, FixedLevelIndices) {
  struct Case {
    const char* why;
    float t850, td850, dir850, spd850, t700, td700, t500, dir500, spd500;
    float tt, k, sweat;
  };
  /* TT 50: 12 Td + 20 (TT - 49) + 2 spd850 + spd500 + 125 (sin 90 + 0.2). */
  const Case cases[] = {
      {"shear term at 135 degrees", 20, 10, 135, 20, 8, 0, -10, 225, 30, 50, 32, 120 + 20 + 40 + 30 + 150},
      {"no shear term at 130 degrees", 20, 10, 130, 20, 8, 0, -10, 220, 30, 50, 32, 120 + 20 + 40 + 30},
      {"Td850 below 0, TT of exactly 49", 22, -2, 135, 20, 8, 0, -14.5f, 225, 30, 49, 26.5f, 40 + 30 + 150},
      {"speeds below 15 knots", 20, 10, 180, 14, 8, 0, -10, 270, 30, 50, 32, 120 + 20 + 28 + 30},
      {"backing aloft", 20, 10, 240, 20, 8, 0, -10, 220, 30, 50, 32, 120 + 20 + 40 + 30},
      {"700 hPa dew point missing", 20, 10, 135, 20, 8, M, -10, 225, 30, 50, M, 360},
      {"850 hPa dew point missing", 20, M, 135, 20, 8, 0, -10, 225, 30, M, M, M},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    /* Dew points left out around a missing one, so that none is
     * interpolated in its place. */
    std::vector<UPA_level> s = {{1000, 100, 25, c.td850 == M ? M : 15, 180, 10},
                                {850, 1500, c.t850, c.td850, c.dir850, c.spd850},
                                {700, 3100, c.t700, c.td700, 200, 25},
                                {500, 5700, c.t500, c.td700 == M ? M : -30, c.dir500, c.spd500}};
    EXPECT_NEAR(total_totals(s.data(), 4), c.tt, 1e-3);
    EXPECT_NEAR(k_index(s.data(), 4), c.k, 1e-3);
    EXPECT_NEAR(sweat_index(s.data(), 4), c.sweat, 1e-3);
    if (c.td850 != M) {
      EXPECT_NEAR(cross_totals(s.data(), 4), c.td850 - c.t500, 1e-3);
    }
    EXPECT_NEAR(vertical_totals(s.data(), 4), c.t850 - c.t500, 1e-3);
  }
  /* Below the ground or above the top the levels are missing. */
  std::vector<UPA_level> low = {{700, 3000, 0, -5, 250, 20}, {400, 7000, -25, -30, 260, 30}};
  for (float v : {total_totals(low.data(), 2), vertical_totals(low.data(), 2), cross_totals(low.data(), 2),
                  k_index(low.data(), 2), sweat_index(low.data(), 2), energy_index(low.data(), 2)})
    EXPECT_EQ(v, M);
}

/* Every index of a sounding, in one list, for the robustness checks. */
struct AllIndices {
  int parcel_result, thetae_result, hel_result, shear_result, brn_result;
  PARCEL_params pp;
  THETAE_params tp;
  HELICITY_params hp;
  SHEAR_params sp;
  float cap, li, si, tt, vt, ct, k, sweat, ei, brn, shear, ehi;

  std::vector<float> values() const {
    return {pp.Satad,   pp.plcl,    pp.tlcl,    pp.cap,     pp.lfc,      pp.el,       pp.mpl,
            pp.Bel,     pp.Bmpl,    pp.Bplus,   pp.Bminus,  pp.wmax,     tp.index,    tp.base,
            tp.top,     tp.max,     tp.maxp,    tp.min,     tp.minp,     hp.dir_shr,  hp.pos_hel,
            hp.neg_hel, hp.tot_hel, hp.ave_hel, hp.rel_hel, hp.hor_vort, hp.stm_vort, sp.pos_shr,
            sp.neg_shr, cap,        li,         si,         tt,          vt,          ct,
            k,          sweat,      ei,         brn,        shear,       ehi};
  }
};

AllIndices all_indices(std::vector<UPA_level> s, int num) {
  AllIndices a{};
  const WIND storm{240, 25};
  UPA_level* l = s.empty() ? nullptr : s.data();
  const float p0 = s.empty() ? 1000 : s[0].p;
  a.pp.Satad = a.pp.tlcl = M;
  a.parcel_result = parcel_calc(l, num, nullptr, UPA_CO_PRES, p0, 100, &a.pp);
  a.thetae_result = thetae_index(l, num, &a.tp);
  a.cap = cap_strength(l, num, UPA_CO_PRES, p0, 100);
  a.li = lifted_index(l, num, UPA_CO_PRES, p0, 100, 500);
  a.si = lifted_index(l, num, UPA_CO_PRES, 850, 0, 500);
  a.tt = total_totals(l, num);
  a.vt = vertical_totals(l, num);
  a.ct = cross_totals(l, num);
  a.k = k_index(l, num);
  a.sweat = sweat_index(l, num);
  a.ei = energy_index(l, num);
  const float h0 = s.empty() ? 0 : s[0].h;
  a.hel_result = helicity(l, num, UPA_CO_HGT, h0, h0 + 3000, &storm, &a.hp);
  a.shear_result = shear_layer(l, num, UPA_CO_HGT, h0, h0 + 3000, &storm, &a.sp);
  a.brn_result = bulk_richardson(l, num, UPA_CO_PRES, p0, a.pp.Bplus, &a.brn, &a.shear);
  a.ehi = energy_helicity(l, num, UPA_CO_PRES, p0, &storm, a.pp.Bplus);
  return a;
}

TEST(UaIndices, DegenerateSoundingsGiveMissingValues) {
  {
    SCOPED_TRACE("one level");
    auto a = all_indices({fixtures::kStrong[0]}, 1);
    EXPECT_EQ(a.parcel_result, 1);
    EXPECT_GT(a.pp.plcl, 0);
    for (float v : {a.pp.Bplus, a.pp.Bminus, a.pp.wmax, a.pp.lfc, a.pp.el, a.cap, a.li, a.si, a.tt, a.k, a.sweat, a.ei,
                    a.hp.tot_hel, a.sp.pos_shr, a.brn, a.shear, a.ehi})
      EXPECT_EQ(v, M);
    EXPECT_EQ(a.brn_result, -1);
    EXPECT_EQ(a.hel_result, 0);
    EXPECT_EQ(a.shear_result, 0);
  }
  {
    SCOPED_TRACE("LCL above the top");
    std::vector<UPA_level> s(fixtures::kStrong.begin(), fixtures::kStrong.begin() + 4);
    s[0].td = -25;
    auto a = all_indices(s, 4);
    EXPECT_EQ(a.parcel_result, 1);
    EXPECT_LT(a.pp.plcl, s[3].p);
    for (float v : {a.pp.Bplus, a.pp.Bminus, a.pp.wmax, a.pp.lfc, a.pp.el, a.pp.mpl, a.cap}) EXPECT_EQ(v, M);
  }
  {
    SCOPED_TRACE("no dew points");
    auto s = fixtures::kStrong;
    for (auto& l : s) l.td = M;
    auto a = all_indices(s, static_cast<int>(s.size()));
    EXPECT_EQ(a.parcel_result, 0);
    EXPECT_EQ(a.thetae_result, -1);
    for (float v : {a.pp.Bplus, a.pp.plcl, a.cap, a.tt, a.ct, a.k, a.sweat, a.ei, a.ehi, a.tp.index}) EXPECT_EQ(v, M);
    EXPECT_NE(a.vt, M);
    EXPECT_NE(a.hp.tot_hel, M) << "the winds are there";
  }
  {
    SCOPED_TRACE("no winds");
    auto s = fixtures::kStrong;
    for (auto& l : s) l.dir = l.spd = M;
    auto a = all_indices(s, static_cast<int>(s.size()));
    EXPECT_EQ(a.parcel_result, 1);
    EXPECT_GT(a.pp.Bplus, 0);
    for (float v :
         {a.sweat, a.hp.pos_hel, a.hp.tot_hel, a.hp.dir_shr, a.sp.pos_shr, a.sp.neg_shr, a.brn, a.shear, a.ehi})
      EXPECT_EQ(v, M);
    EXPECT_EQ(a.hel_result, 0);
    EXPECT_EQ(a.brn_result, -1);
  }
}

TEST(UaIndices, SoundingsWithHolesNeverGiveNaN) {
  std::mt19937 rng(54);
  std::uniform_real_distribution<float> u(0, 1);
  for (int round = 0; round < 300; ++round) {
    auto s = round % 2 ? fixtures::kStrong : fixtures::kStable;
    for (auto& l : s)
      for (float* f : {&l.p, &l.h, &l.t, &l.td, &l.dir, &l.spd})
        if (u(rng) < 0.15f) *f = M;
    int num = static_cast<int>(u(rng) * static_cast<float>(s.size() + 1));
    num = std::min(num, static_cast<int>(s.size()));
    auto a = all_indices(s, num);
    for (float v : a.values()) ASSERT_TRUE(std::isfinite(v)) << "round " << round << " num " << num;
  }
}

/* The search along a saturated adiabat as the formula library defines it,
 * trial by trial. */
float satad_by_trials(float pot, float pr) {
  if (!(pot > 0) || !(pr > 0) || pr > 2000) return M;
  double t = 253.16, step = 120.0;
  for (int i = 0; i < 12; ++i) {
    float tf = static_cast<float>(t);
    double w = mix_ratio(tf, pr);
    double x = !(w >= 0) ? -1.0 : pot * std::exp(-2.6518986 * w / t) - pot_temp(tf, pr);
    if (x * x < 2e-5) return tf;
    step /= 2.0;
    t += x > 0.0 ? step : -step;
  }
  return static_cast<float>(t);
}

TEST(UaParcel, SaturatedAdiabatIsExactlyTheTrialSearch) {
  /* The analysis leans on temp_on_satad hundreds of times a sounding; its
   * shared table of trial vapour pressures must not change a bit. */
  std::mt19937 rng(60);
  std::uniform_real_distribution<float> pot(250, 420), pr(5, 1100);
  for (int k = 0; k < 20000; ++k) {
    const float a = pot(rng), b = pr(rng);
    ASSERT_EQ(temp_on_satad(a, b), satad_by_trials(a, b)) << a << " " << b;
  }
  for (float b : {0.5f, 1.0f, 1999.0f, 2000.0f, 2001.0f, M, 0.0f})
    EXPECT_EQ(temp_on_satad(300, b), satad_by_trials(300, b));
}

TEST(UaParcel, TraceFollowsTheAscent) {
  auto s = fixtures::kWeak;
  const int num = static_cast<int>(s.size());
  PARCEL_params pp{};
  MESS_set(1, M_debug_c);
  auto out = kez_test::capture([&] { parcel_calc(s.data(), num, nullptr, UPA_CO_PRES, s[0].p, 0, &pp); });
  MESS_set(-1, M_debug_c);
  std::istringstream in(out.out + out.err);
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  /* The start, the dry steps from level to level and up to the LCL (near
   * 907 hPa, between levels 1 and 2), then each 10 hPa moist step with
   * its state line, the last one ending at the top (150 hPa). */
  const int moist = static_cast<int>(std::ceil((pp.plcl - s[num - 1].p) / 10));
  ASSERT_EQ(static_cast<int>(lines.size()), 3 + 2 * moist);
  EXPECT_EQ(lines[0], "P:1005.0 H:    100 T:   24.0 Td:   17.0 Dir:   200 Spd:     8");
  EXPECT_EQ(lines[1].substr(0, 7), " 0, 1  ");
  EXPECT_EQ(lines[2].substr(0, 7), " 1,LT  ");
  EXPECT_EQ(lines[3].find(','), 5u) << lines[3];
  EXPECT_EQ(lines[4].substr(0, 3), "   ") << lines[4];
}

} // namespace
