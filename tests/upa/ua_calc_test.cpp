/* Level and layer quantities of a sounding: the special results, and
 * three soundings against an independent NumPy reference. */
#include "kez_test.h"
#include "kezupa.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr float M = KEZ_FMISS;
using Sounding = std::vector<UPA_level>;

int count(const Sounding& s) { return static_cast<int>(s.size()); }

/* A dry, stable winter sounding with an inversion near 950 hPa. */
Sounding dry_stable() {
  return {
      {1022, 150, 12.0f, -4.0f, 40, 8},     {1000, 330, 11.0f, -4.5f, 45, 10},    {950, 760, 13.5f, -9.0f, 60, 12},
      {925, 980, 14.0f, -12.0f, 70, 14},    {900, 1210, 12.5f, -14.0f, 80, 15},   {850, 1680, 8.8f, -16.0f, 95, 18},
      {800, 2170, 5.0f, -19.0f, 110, 20},   {700, 3200, -2.5f, -26.0f, 140, 24},  {600, 4380, -10.5f, -33.0f, 170, 28},
      {500, 5720, -20.0f, -40.0f, 200, 32}, {400, 7300, -31.5f, -48.0f, 230, 40}, {300, 9250, -45.0f, -55.0f, 250, 50},
      {250, 10450, -52.0f, M, 260, 60}};
}

/* A moist, unstable summer sounding. */
Sounding moist_unstable() {
  return {
      {1008, 40, 31.0f, 24.0f, 180, 12},    {1000, 110, 30.0f, 23.5f, 185, 15},   {950, 560, 25.5f, 21.0f, 195, 20},
      {925, 790, 23.5f, 20.0f, 200, 22},    {900, 1030, 21.5f, 18.5f, 205, 25},   {850, 1520, 18.0f, 15.0f, 215, 28},
      {800, 2040, 14.5f, 9.0f, 225, 30},    {750, 2580, 10.5f, 3.0f, 235, 33},    {700, 3150, 6.5f, -2.0f, 240, 35},
      {600, 4380, -2.5f, -12.0f, 250, 40},  {500, 5800, -12.0f, -25.0f, 255, 45}, {400, 7450, -24.0f, -38.0f, 260, 55},
      {300, 9500, -40.0f, -50.0f, 265, 65}, {200, 12100, -56.0f, M, 270, 75}};
}

/* Freezing rain: a warm layer aloft, dew points and a temperature and a
 * wind missing here and there, no dew points above 600 hPa. */
Sounding warm_aloft() {
  return {{1005, 200, 1.0f, -1.0f, 60, 10},  {1000, 240, 0.5f, M, 70, 12},
          {950, 650, -2.0f, -3.0f, 120, 18}, {925, 860, M, M, 150, 22},
          {900, 1080, 2.5f, M, 190, 30},     {850, 1520, 4.0f, 1.0f, 210, 35},
          {800, 1990, 1.5f, -0.5f, M, M},    {750, 2480, -1.5f, -4.0f, 230, 40},
          {700, 3000, -5.0f, M, 240, 45},    {600, 4150, -12.0f, -20.0f, 250, 50},
          {500, 5500, -21.0f, M, 260, 55},   {400, 7050, -33.0f, M, 265, 60},
          {300, 8950, -47.0f, M, 270, 70}};
}

TEST(VariableCalc, KindsAtOneLevel) {
  const UPA_level l{850, 1500, 10, 5, 270, 20};
  const UPA_level no_dew{850, 1500, 10, M, 270, 20};
  const UPA_level no_temp{850, 1500, M, 5, 270, 20};
  const float tk = 283.15f, tdk = 278.15f;
  struct Case {
    int kind;
    const UPA_level* lev;
    float want;
    const char* why;
  };
  const Case cases[] = {
      {UPA_VAR_TEMP, &l, 10, "temperature as it stands"},
      {UPA_VAR_DEWP, &no_dew, M, "a missing dew point stays missing"},
      {UPA_VAR_RHUM, &l, rel_hum(tk, tdk), "relative humidity in kelvin"},
      {UPA_VAR_THETA, &l, pot_temp(tk, 850), "potential temperature"},
      {UPA_VAR_THETA2, &l, pot_temp(tk, 850), "kind 13 is kind 4"},
      {UPA_VAR_DEWD, &l, 5, "depression"},
      {UPA_VAR_DEWD, &no_dew, M, "depression without dew point"},
      {UPA_VAR_MRAT, &l, mix_ratio(tdk, 850), "mixing ratio of the dew point"},
      {UPA_VAR_MRAT, &no_dew, M, "no dew point, no mixing ratio (not 0)"},
      {UPA_VAR_SHUM, &l, spec_hum(tdk, 850), "specific humidity"},
      {UPA_VAR_VPRES, &l, vapor_pr(tdk), "vapour pressure"},
      {UPA_VAR_WETBLB, &no_temp, M, "wet bulb without temperature"},
      {UPA_VAR_THETAW, &l, wet_bulb_pot_temp(tk, tdk, 850), "wet-bulb potential temperature"},
      {UPA_VAR_THETAE, &l, eq_pot_temp(tk, tdk, 850), "equivalent potential temperature"},
      {UPA_VAR_THETAV, &no_dew, M, "virtual potential temperature needs the dew point"},
      {UPA_VAR_VTEMP, &l, virt_temp(tk, tdk, 850), "virtual temperature"},
      {UPA_VAR_HGHT, &l, 1500, "height"},
      {UPA_VAR_PRES, &l, 850, "pressure"},
      {17, &l, M, "past the table"},
      {0, &l, M, "before the table"},
      {UPA_VAR_TEMP, nullptr, M, "no level"},
  };
  for (const auto& c : cases) EXPECT_EQ(variable_calc(c.kind, c.lev), c.want) << c.why;
}

TEST(MeanValue, SpecialResults) {
  Sounding s = moist_unstable();
  const int n = count(s);
  Sounding high{{450, 6500, -18, -30, 250, 40}, {400, 7450, -24, -38, 260, 55}};
  Sounding one{{1000, 100, 20, 10, 180, 10}};
  struct Case {
    const char* name;
    Sounding* lev;
    int num;
    float bottom, top, want;
    const char* why;
  };
  Case cases[] = {
      {"temp", &s, n, 950, M, 25.5f, "no top: the value at the bottom"},
      {"temp", &s, n, 950, 950, 25.5f, "top at the bottom"},
      {"hght", &s, n, 850, M, 1520, "hght"},
      {"hag", &s, n, 850, M, 1520, "hag is hght"},
      {"temp", &high, 2, 440, 420, M, "the sounding starts above 500 hPa"},
      {"temp", &one, 1, 1000, 900, M, "one level and a top"},
      {"temp", &one, 1, 1000, M, 20, "one level, no top"},
      {"temp", &s, 0, 1000, 900, M, "no levels"},
      {"temp", &s, n, M, 900, M, "no bottom"},
      {"TEMP", &s, n, 1000, 900, M, "names are case-sensitive"},
      {"wind", &s, n, 1000, 900, M, "a name outside the table"},
      {nullptr, &s, n, 1000, 900, M, "no name"},
  };
  for (auto& c : cases) EXPECT_EQ(mean_value(c.name, c.lev->data(), c.num, 100, c.bottom, c.top), c.want) << c.why;
  EXPECT_EQ(mean_value("temp", nullptr, 3, 100, 1000, 900), M);
}

TEST(MeanValue, SameIntervalGivesTheMeanOfTheEnds) {
  /* Temperature linear in ln p between two levels. */
  Sounding s{{1000, 100, 20, 10, 0, 0}, {700, 3000, 20 - 30 * std::log(1000 / 700.f), 0, 0, 0}};
  auto t_at = [](float p) { return 20 - 30 * std::log(1000 / p); };
  float m = mean_value("temp", s.data(), 2, 100, 900, 800);
  EXPECT_NEAR(m, (t_at(900) + t_at(800)) / 2, 1e-4);
  /* Also when the bottom lies exactly on a level. */
  EXPECT_NEAR(mean_value("temp", s.data(), 2, 100, 1000, 800), (t_at(1000) + t_at(800)) / 2, 1e-4);
}

TEST(MeanValue, LevelsWithoutTemperatureArePassedOver) {
  /* The 900 hPa level has no temperature: the walk goes 1000 -> 800, so
   * the pressure mean is the trapezoid of that one segment. */
  Sounding s{{1000, 100, 20, 10, 0, 0}, {900, 1000, M, M, 0, 0}, {800, 2000, 10, 0, 0, 0}};
  float m = mean_value("pres", s.data(), 3, 100, 1000, 800);
  EXPECT_NEAR(m, 900, 1e-3);
  /* With the 900 hPa level taking part, the two segments weigh
   * differently. */
  s[1].t = 15;
  float w1 = std::log(1000 / 900.f), w2 = std::log(900 / 800.f);
  EXPECT_NEAR(mean_value("pres", s.data(), 3, 100, 1000, 800), ((1900 * w1) + (1700 * w2)) / (2 * (w1 + w2)), 1e-3);
  /* No segment has values at both ends. */
  Sounding dry{{1000, 100, 20, M, 0, 0}, {900, 1000, 15, M, 0, 0}, {800, 2000, 10, M, 0, 0}};
  EXPECT_EQ(mean_value("dewp", dry.data(), 3, 100, 1000, 800), M);
}

TEST(LayerParcelMean, AveragesOverThePartWithData) {
  /* Dew points only at the lowest two levels: the mean mixing ratio is
   * that segment's, not its sum spread over the whole layer as if the air
   * above were dry. */
  Sounding s{{1000, 100, 20, 15, 0, 0}, {900, 1000, 14, 10, 0, 0}, {800, 2000, 8, M, 0, 0}, {700, 3000, 2, M, 0, 0}};
  float w = 0, o = 0;
  EXPECT_EQ(layer_parcel_mean(s.data(), 4, 100, 1000, 700, &w, &o), 0);
  float w0 = mix_ratio(288.15f, 1000), w1 = mix_ratio(283.15f, 900);
  float depth = 2 * std::log(1000 / 700.f);
  EXPECT_NEAR(w, (w0 + w1) / 2, 1e-4);
  double th = 0;
  for (int k = 0; k < 3; ++k)
    th += (pot_temp(s[k].t + 273.15f, s[k].p) + pot_temp(s[k + 1].t + 273.15f, s[k + 1].p)) *
          std::log(s[k].p / s[k + 1].p);
  EXPECT_NEAR(o, th / depth, 1e-3);
  /* One level: its own values. */
  EXPECT_EQ(layer_parcel_mean(s.data(), 1, 100, 1000, 700, &w, &o), 0);
  EXPECT_EQ(w, mix_ratio(288.15f, 1000));
  EXPECT_EQ(o, pot_temp(293.15f, 1000));
  /* A layer without depth gives missing means, not NaN. */
  layer_parcel_mean(s.data(), 4, 100, 900, 900, &w, &o);
  EXPECT_EQ(w, M);
  EXPECT_EQ(o, M);
  /* No dew point in the layer at all: no mixing ratio, not zero. */
  layer_parcel_mean(s.data(), 4, 100, 800, 700, &w, &o);
  EXPECT_EQ(w, M);
  EXPECT_NEAR(o, (pot_temp(281.15f, 800) + pot_temp(275.15f, 700)) / 2, 1e-3);
}

TEST(LayerWindMean, Results) {
  Sounding s{{1000, 100, 20, 10, 0, 10}, {900, 1000, 14, 5, 180, 10}, {800, 2000, 8, 0, M, M}};
  struct Case {
    int num, coord;
    float bottom, top;
    int result;
    float dir, spd;
    const char* why;
  };
  const Case cases[] = {
      {3, 100, 850, 900, -1, M, M, "pressure top below the bottom"},
      {3, 103, 1000, 500, -1, M, M, "height top below the bottom"},
      {3, 113, 300, 290, -1, M, M, "theta top below the bottom"},
      {0, 100, 1000, 900, -1, M, M, "no levels"},
      {1, 100, 1000, 900, 0, 0, 10, "one level: its wind"},
      {3, 100, 900, M, 1, 180, 10, "no top: the wind at the bottom"},
      {3, 100, 900, 900, 1, 180, 10, "no depth"},
      {3, 100, 900, 800, 0, M, M, "no segment with winds at both ends"},
  };
  for (const auto& c : cases) {
    WIND w{1, 1};
    EXPECT_EQ(layer_wind_mean(s.data(), c.num, c.coord, c.bottom, c.top, &w), c.result) << c.why;
    EXPECT_EQ(w.dir, c.dir) << c.why;
    EXPECT_EQ(w.spd, c.spd) << c.why;
  }
  /* North and south at 10 knots: the speed is the scalar mean. */
  WIND w{};
  EXPECT_EQ(layer_wind_mean(s.data(), 2, 100, 1000, 900, &w), 1);
  EXPECT_NEAR(w.spd, 10, 1e-4);
  EXPECT_TRUE(std::isfinite(w.dir));
  /* A top above the highest wind: the mean of the levels below, result 0. */
  EXPECT_EQ(layer_wind_mean(s.data(), 3, 100, 1000, 850, &w), 0);
  EXPECT_NEAR(w.spd, 10, 1e-4);
}

TEST(PrCcl, Results) {
  /* Moist at the ground, the 950 hPa level already colder than the
   * mixing-ratio line of the ground's dew point. */
  Sounding s{{1000, 100, 20, 18, 0, 0}, {950, 550, 5, 0, 0, 0}, {900, 1000, 2, -5, 0, 0}};
  float w = 0;
  /* The crossing lies between the bottom and the first level above it:
   * found there, not moved up to that level. */
  const float first = pr_ccl(s.data(), 3, 100, 980, 0, &w);
  EXPECT_GT(first, 950);
  EXPECT_LT(first, 980);
  EXPECT_NEAR(temp_on_mixrat(w, first) - 273.15f, interp_temp(interp_temp(20, 5, 1000, 950, 980), 5, 980, 950, first),
              0.01);
  /* The same crossing from a bottom at a level: whether the bottom is the
   * first level or has levels under the ground before it. */
  Sounding low{{1000, 100, 20, 12, 0, 0}, {950, 550, 14, 0, 0, 0}, {900, 1000, 2, -5, 0, 0}};
  Sounding under{{1013, 0, M, M, 0, 0}, {1000, 100, 20, 12, 0, 0}, {950, 550, 14, 0, 0, 0}, {900, 1000, 2, -5, 0, 0}};
  const float at_first = pr_ccl(low.data(), 3, 100, 1000, 0, &w);
  EXPECT_GT(at_first, 900);
  EXPECT_LT(at_first, 950);
  EXPECT_EQ(pr_ccl(under.data(), 4, 100, 1000, 0, &w), at_first);
  /* The line as warm as the ground already: the bottom, in both. */
  low[0].td = under[1].td = 20;
  EXPECT_EQ(pr_ccl(low.data(), 3, 100, 1000, 0, &w), 1000);
  EXPECT_EQ(pr_ccl(under.data(), 4, 100, 1000, 0, &w), 1000);
  /* Dry and warm aloft: no crossing. */
  Sounding dry{{1000, 100, 20, -20, 0, 0}, {900, 1000, 20, -30, 0, 0}, {800, 2000, 20, -30, 0, 0}};
  EXPECT_EQ(pr_ccl(dry.data(), 3, 100, 1000, 0, &w), -1);
  EXPECT_EQ(w, mix_ratio(253.15f, 1000));
  struct Case {
    Sounding lev;
    int num;
    float bottom, thick, want, wbar;
    const char* why;
  };
  const Case cases[] = {
      {s, 0, 1000, 0, M, M, "no levels"},
      {{{450, 6500, -18, -30, 0, 0}, {400, 7000, -24, -38, 0, 0}}, 2, 450, 0, M, M, "bottom above 500 hPa"},
      {{{1000, 100, 20, 10, 0, 0}}, 1, 1000, 0, M, mix_ratio(283.15f, 1000), "one level"},
      {{{1000, 100, 20, M, 0, 0}, {900, 1000, 10, M, 0, 0}}, 2, 1000, 0, M, M, "no dew point"},
  };
  for (const auto& c : cases) {
    Sounding l = c.lev;
    float wb = 1;
    EXPECT_EQ(pr_ccl(l.data(), c.num, 100, c.bottom, c.thick, &wb), c.want) << c.why;
    EXPECT_EQ(wb, c.wbar) << c.why;
  }
  /* No level with a temperature between the bottom and the crossing: the
   * search runs up from the bottom itself. */
  Sounding gap{{1000, 100, 20, 18, 0, 0}, {975, 300, M, M, 0, 0}, {900, 1000, 8, 0, 0, 0}};
  float p = pr_ccl(gap.data(), 3, 100, 990, 0, &w);
  EXPECT_GT(p, 900);
  EXPECT_LT(p, 990);
}

TEST(FreezingAndWetBulbZero, SpecialResults) {
  struct Case {
    Sounding lev;
    float frz;
    const char* why;
  };
  const Case cases[] = {
      {{{1000, 100, -5, -8, 0, 0}, {850, 1500, -10, -15, 0, 0}}, -1, "ground below freezing"},
      {{{1000, 100, 5, 0, 0, 0}, {850, 1500, -5, -10, 0, 0}}, 925, "linear in temperature"},
      {{{1000, 100, M, 0, 0, 0}, {900, 1000, 5, -10, 0, 0}, {800, 2000, -5, -10, 0, 0}},
       850,
       "the first level with a temperature"},
      {{{450, 6500, 5, 0, 0, 0}, {400, 7000, -5, -10, 0, 0}}, M, "sounding starting at 450 hPa"},
      {{{1000, 100, 15, 0, 0, 0}, {850, 1500, 5, -10, 0, 0}}, M, "no crossing"},
      {{{1000, 100, -5, -8, 0, 0}}, M, "one level"},
  };
  for (const auto& c : cases) EXPECT_EQ(freezing_level(c.lev.data(), count(c.lev)), c.frz) << c.why;
  EXPECT_EQ(freezing_level(nullptr, 0), M);

  Sounding cold{{1000, 100, 1, -6, 0, 0}, {850, 1500, -5, -10, 0, 0}};
  EXPECT_EQ(wet_bulb_zero(cold.data(), 2), -1) << "wet bulb below zero at the ground";
  Sounding warm{{1000, 100, 10, 8, 0, 0}, {950, 500, M, M, 0, 0}, {850, 1500, -5, -10, 0, 0}};
  float wb0 = wet_bulb(283.15f, 281.15f, 1000) - 273.15f, wb1 = wet_bulb(268.15f, 263.15f, 850) - 273.15f;
  EXPECT_NEAR(wet_bulb_zero(warm.data(), 3), 1000 + wb0 * (850 - 1000) / (wb0 - wb1), 1e-3);
  EXPECT_EQ(wet_bulb_zero(warm.data(), 0), M);
}

TEST(PrecipWater, SpecialResults) {
  Sounding two{{1000, 100, 20, 10, 0, 0}, {900, 1000, 15, 5, 0, 0}};
  EXPECT_EQ(precip_water(two.data(), 2), M);
  Sounding dry{{1000, 100, 20, M, 0, 0}, {900, 1000, 15, M, 0, 0}, {800, 2000, 10, M, 0, 0}, {700, 3000, 5, 0, 0, 0}};
  EXPECT_EQ(precip_water(dry.data(), 4), M) << "no dew point in the lowest three levels";
  dry[1].td = 5;
  float q1 = spec_hum(278.15f, 900), q3 = spec_hum(273.15f, 700);
  EXPECT_NEAR(precip_water(dry.data(), 4), 200 * ((q1 + q3) / 2000) / 2.4892f, 1e-6);
  /* A high station: the mandatory levels under its ground carry heights
   * only and come first; the water is that of the sounding above them. */
  Sounding high{{1000, -85, M, M, M, M},  {925, 680, M, M, M, M},   {850, 1470, M, M, M, M},
                {835, 1611, 28, 8, 0, 0}, {700, 3137, 14, 2, 0, 0}, {500, 5861, -12, -25, 0, 0}};
  Sounding above(high.begin() + 3, high.end());
  EXPECT_NE(precip_water(above.data(), 3), M);
  EXPECT_EQ(precip_water(high.data(), 6), precip_water(above.data(), 3));
}

TEST(LayerQuantities, SpecialResults) {
  Sounding s = dry_stable();
  UPA_level* l = s.data();
  const int n = count(s);
  EXPECT_EQ(thickness(l, n, 100, 850, 850), 0);
  EXPECT_EQ(lapse_rate(l, n, 100, 850, 850), M);
  EXPECT_EQ(theta_lapse_rate(l, n, 100, 850, 850), M);
  EXPECT_EQ(theta_pres_lapse_rate(l, n, 100, 850, 850), M);
  EXPECT_EQ(thickness(l, n, 100, M, 500), M);
  EXPECT_EQ(lapse_rate(l, 0, 100, 850, 500), M);
  EXPECT_EQ(max_temperature(l, n, 100, M, 100), M);
  EXPECT_EQ(max_temperature(l, n, 100, 300, 100), M) << "no temperature at the top of the layer";
  Sounding no_t = s;
  no_t[5].t = M;
  no_t[6].t = M;
  no_t[7].t = M;
  EXPECT_NE(max_temperature(no_t.data(), n, 100, 900, 100), M);

  /* Bounds of the same pressure. */
  Sounding flat{{850, 1000, 10, 0, 0, 0}, {850, 1500, 8, 0, 0, 0}, {850, 2000, 6, 0, 0, 0}};
  EXPECT_EQ(static_stability(flat.data(), 3, 103, 1500), M);
  /* No temperature at the level itself. */
  Sounding gap{{1000, 100, 20, 0, 0, 0}, {850, 1500, M, 0, 0, 0}, {700, 3000, 0, 0, 0, 0}};
  EXPECT_NE(static_stability(gap.data(), 3, 100, 850), M) << "the level's temperature comes from its neighbours";
  Sounding top_only{{1000, 100, 20, 0, 0, 0}, {700, 3000, M, 0, 0, 0}, {600, 4200, -5, 0, 0, 0}};
  EXPECT_EQ(static_stability(top_only.data(), 3, 100, 1000), M) << "below the ground";
}

/* Whatever the layer, never a NaN and never a read outside the levels
 * (the sanitizer build runs these with exact-size arrays). */
TEST(LayerQuantities, OddLayersGiveNoNaN) {
  const Sounding soundings[] = {moist_unstable(),
                                warm_aloft(),
                                {{1000, 100, 20, 10, 180, 10}},
                                {{450, 6500, -18, -30, 250, 40}, {400, 7450, -24, -38, 260, 55}},
                                {}};
  const int coords[] = {1, 100, 101, 115, 103, 105, 113, 114, 7};
  const float values[] = {M, 0, 1200, 1010, 1008, 1000, 850, 500, 250, 100, 10, 300, 310, 3000, 20000};
  for (const auto& src : soundings) {
    for (int coord : coords)
      for (float b : values)
        for (float t : values) {
          Sounding s = src;
          UPA_level* l = s.empty() ? nullptr : s.data();
          const int n = count(s);
          float w = 0, o = 0;
          WIND wind{};
          float got[] = {mean_value("theta", l, n, coord, b, t),
                         mean_value("mrat", l, n, coord, b, t),
                         (layer_parcel_mean(l, n, coord, b, t, &w, &o), w),
                         o,
                         (layer_wind_mean(l, n, coord, b, t, &wind), wind.dir),
                         wind.spd,
                         pr_ccl(l, n, coord, b, t, &w),
                         w,
                         thickness(l, n, coord, b, t),
                         lapse_rate(l, n, coord, b, t),
                         theta_lapse_rate(l, n, coord, b, t),
                         theta_pres_lapse_rate(l, n, coord, b, t),
                         static_stability(l, n, coord, b),
                         max_temperature(l, n, coord, b, t)};
          for (float g : got) ASSERT_TRUE(std::isfinite(g)) << coord << ' ' << b << ' ' << t;
        }
    float whole[] = {precip_water(src.data(), count(src)), freezing_level(src.data(), count(src)),
                     wet_bulb_zero(src.data(), count(src))};
    for (float g : whole) EXPECT_TRUE(std::isfinite(g));
  }
}

/* The three soundings against the NumPy reference. */
struct Query {
  std::string text;
  std::vector<float> got;
  std::vector<double> tol; /* absolute tolerance per number; < 0: relative */
};

constexpr double rel = -1e-4;

std::vector<Query> queries(Sounding& s) {
  UPA_level* l = s.data();
  const int n = count(s);
  const float sfc = s[0].p, h0 = s[0].h;
  std::vector<Query> q;
  char buf[160];
  auto text = [&](const char* fmt, auto... a) {
    std::snprintf(buf, sizeof buf, fmt, a...);
    return std::string(buf);
  };
  struct Layer {
    int coord;
    float b, t;
  };
  const Layer layers[] = {
      {100, sfc, 500}, {100, 850, 700}, {100, 820, 810}, {100, sfc - 5, 300}, {103, h0 + 100, h0 + 3000}};
  for (const char* name :
       {"temp", "dewp", "theta", "mrat", "shum", "rhum", "vtemp", "thetav", "pres", "hght", "dewd", "thetae"})
    for (auto y : layers)
      q.push_back({text("MEAN %s %d %.9g %.9g", name, y.coord, static_cast<double>(y.b), static_cast<double>(y.t)),
                   {mean_value(name, l, n, y.coord, y.b, y.t)},
                   {rel}});
  /* sfc - 5: the top shares the ground's interval, the walk overshoots */
  for (auto y :
       {Layer{100, sfc, sfc - 100}, Layer{100, 950, 800}, Layer{100, sfc - 5, sfc - 50}, Layer{100, sfc, sfc - 5}}) {
    float w = 0, o = 0;
    layer_parcel_mean(l, n, y.coord, y.b, y.t, &w, &o);
    q.push_back(
        {text("PARCEL %d %.9g %.9g", y.coord, static_cast<double>(y.b), static_cast<double>(y.t)), {w, o}, {rel, rel}});
  }
  for (auto y : {Layer{100, sfc, 500}, Layer{103, h0, h0 + 3000}, Layer{100, 850, 700}, Layer{100, sfc, 200}}) {
    WIND w{};
    int r = layer_wind_mean(l, n, y.coord, y.b, y.t, &w);
    q.push_back({text("WIND %d %.9g %.9g", y.coord, static_cast<double>(y.b), static_cast<double>(y.t)),
                 {static_cast<float>(r), w.dir, w.spd},
                 {0, 0.01, rel}});
  }
  for (float thick : {0.f, 50.f, 100.f}) {
    float w = 0;
    float p = pr_ccl(l, n, 100, sfc, thick, &w);
    q.push_back({text("CCL 100 %.9g %.9g", static_cast<double>(sfc), static_cast<double>(thick)), {p, w}, {0.1, rel}});
  }
  const Layer thin[] = {{100, sfc, 500}, {100, 850, 700}, {100, 900, 880}, {103, h0 + 500, h0 + 2500}};
  for (auto y : thin) {
    const double b = y.b, t = y.t;
    q.push_back({text("THICK %d %.9g %.9g", y.coord, b, t), {thickness(l, n, y.coord, y.b, y.t)}, {rel}});
    q.push_back({text("LAPSE %d %.9g %.9g", y.coord, b, t), {lapse_rate(l, n, y.coord, y.b, y.t)}, {rel}});
    q.push_back({text("TLAPSE %d %.9g %.9g", y.coord, b, t), {theta_lapse_rate(l, n, y.coord, y.b, y.t)}, {rel}});
    q.push_back({text("TPLAPSE %d %.9g %.9g", y.coord, b, t), {theta_pres_lapse_rate(l, n, y.coord, y.b, y.t)}, {rel}});
  }
  for (auto y : {Layer{100, 700, 0}, Layer{100, 850, 0}, Layer{103, h0 + 1500, 0}})
    q.push_back({text("SS %d %.9g", y.coord, static_cast<double>(y.b)), {static_stability(l, n, y.coord, y.b)}, {rel}});
  for (float thick : {100.f, 150.f})
    q.push_back({text("MAXT 100 %.9g %.9g", static_cast<double>(sfc), static_cast<double>(thick)),
                 {max_temperature(l, n, 100, sfc, thick)},
                 {rel}});
  q.push_back({"PW", {precip_water(l, n)}, {1e-4}});
  q.push_back({"FRZ", {freezing_level(l, n)}, {0.1}});
  q.push_back({"WBZ", {wet_bulb_zero(l, n)}, {0.1}});
  return q;
}

TEST(LayerReference, AgreesWithNumPy) {
  if (!kez_test::have_program("/usr/bin/python3") || kez_test::run_command("/usr/bin/python3 -c 'import numpy'") != 0)
    GTEST_SKIP() << "no NumPy";
  kez_test::TempDir dir;
  const Sounding fixtures[] = {dry_stable(), moist_unstable(), warm_aloft()};
  int round = 0;
  for (const auto& fixture : fixtures) {
    SCOPED_TRACE(round);
    Sounding s = fixture;
    std::vector<Query> qs = queries(s);
    std::ostringstream in;
    in.precision(9);
    for (const auto& l : fixture)
      in << "L " << l.p << ' ' << l.h << ' ' << l.t << ' ' << l.td << ' ' << l.dir << ' ' << l.spd << '\n';
    for (const auto& q : qs) in << q.text << '\n';
    std::string file = dir.file("in" + std::to_string(round++));
    kez_test::write_file(file, in.str());
    std::string out;
    ASSERT_EQ(kez_test::run_command("/usr/bin/python3 " KEZ_SOURCE_DIR "/tests/upa/data/layer_ref.py " + file, &out), 0)
        << out;
    std::istringstream res(out);
    int specials = 0;
    for (const auto& q : qs) {
      for (size_t k = 0; k < q.got.size(); ++k) {
        double want = 0;
        ASSERT_TRUE(res >> want) << q.text;
        double tol = q.tol[k] < 0 ? -q.tol[k] * std::max(1.0, std::fabs(want)) : q.tol[k];
        EXPECT_NEAR(q.got[k], want, tol) << q.text << " #" << k;
        if (want == -1 || want == M) ++specials;
      }
    }
    EXPECT_LT(specials, 4) << "the fixture should exercise the quantities, not their special results";
    /* The soundings were read, not written. */
    for (size_t k = 0; k < s.size(); ++k) EXPECT_EQ(std::memcmp(&s[k], &fixture[k], sizeof(UPA_level)), 0) << k;
  }
}

} // namespace

namespace {

TEST(LayerTrace, DebugLines) {
  auto r = kez_test::run_child([] {
    MESS_set(1, M_debug_c);
    Sounding s{{1000, 100, 20, 10, 0, 10}, {900, 1000, 14, 5, 90, 20}, {800, 2000, 8, 0, 180, 30}};
    mean_value("temp", s.data(), 3, 100, 950, 850);
    float w = 0, o = 0;
    layer_parcel_mean(s.data(), 3, 100, 1000, 800, &w, &o);
    WIND wind{};
    layer_wind_mean(s.data(), 3, 100, 950, 850, &wind);
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  const char* lines[] = {
      "1-2   17.1   7.6   11.1   2.6\n",                          /* mean_value's bounds */
      "LB, 1   17.1, 14.0 950.0,900.0  17.1, 14.0\n",             /* opening segment */
      " 1,LT   14.0, 11.1 900.0,850.0  14.0, 11.1\n",             /* closing segment */
      " 1- 2   20.0  10.0    8.0   0.0\n",                        /* the parcel mean's bounds */
      "LB, 1   10.0,  5.0 1000.0,900.0   7.7,  6.1\n",            /* the dew-point walk */
      "6.125353 296.264954\n",                                    /* the parcel means */
      " 1- 2   43.8  14.9  133.7  24.9\n",                        /* the wind mean's bounds */
      " 1,LT   20.0, 24.9 900.0,850.0 -20.0,  0.0 -18.0, 17.2\n", /* speeds, pressures, u and v */
  };
  for (const char* l : lines) EXPECT_NE(r.out.find(l), std::string::npos) << l << "\n" << r.out;
}

} // namespace

namespace {

/* The same layer given in pressure, height and potential temperature (its
 * bounds on sounding levels) gives the same means. */
TEST(LayerCoordinates, SameLayerSameMean) {
  Sounding s = dry_stable();
  const int n = count(s);
  const UPA_level lo = s[4], hi = s[7]; /* 900 and 700 hPa */
  const float th_lo = UPA_get_level(113, &lo), th_hi = UPA_get_level(113, &hi);
  for (const char* name : {"temp", "mrat", "thetae"}) {
    float by_p = mean_value(name, s.data(), n, 100, lo.p, hi.p);
    ASSERT_NE(by_p, M) << name;
    EXPECT_NEAR(mean_value(name, s.data(), n, 103, lo.h, hi.h), by_p, 1e-4 * std::fabs(by_p)) << name;
    EXPECT_NEAR(mean_value(name, s.data(), n, 113, th_lo, th_hi), by_p, 1e-4 * std::fabs(by_p)) << name;
  }
  WIND by_p{}, by_h{};
  EXPECT_EQ(layer_wind_mean(s.data(), n, 100, lo.p, hi.p, &by_p), 1);
  EXPECT_EQ(layer_wind_mean(s.data(), n, 103, lo.h, hi.h, &by_h), 1);
  EXPECT_NEAR(by_h.dir, by_p.dir, 1e-3);
  EXPECT_NEAR(by_h.spd, by_p.spd, 1e-3);
  EXPECT_NEAR(thickness(s.data(), n, 113, th_lo, th_hi), hi.h - lo.h, 0.01);
}

} // namespace
