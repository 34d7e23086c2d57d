#include "kez.h"
#include "kez_test.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

using kez_test::have_program;
using kez_test::run_command;
using kez_test::TempDir;
using kez_test::write_file;

constexpr float M = KEZ_FMISS;

TEST(PotTemp, PoissonEquation) {
  struct Case {
    float t, p;
    double expect;
    const char* why;
  };
  const Case cases[] = {
      {300, 1000, 300, "at 1000 mb theta is the temperature"},
      {273.15f, 500, 273.15 * std::pow(2.0, 0.286), "half the pressure"},
      {220, 100, 220 * std::pow(10.0, 0.286), "upper air"},
      {M, 500, M, "missing temperature"},
      {300, 0, M, "zero pressure"},
      {-5, 500, M, "negative temperature"},
      {300, -1, M, "negative pressure"},
  };
  for (const Case& c : cases) EXPECT_NEAR(pot_temp(c.t, c.p), c.expect, 1e-3) << c.why;
}

struct Pair {
  float lat1, lon1, lat2, lon2;
};

/* Distances in km from PROJ's geod on the sphere of the formula. */
std::vector<double> geod_distances(const std::vector<Pair>& pairs) {
  TempDir dir;
  std::string in;
  char line[120];
  for (const Pair& p : pairs) {
    std::snprintf(line, sizeof line, "%.9g %.9g %.9g %.9g\n", static_cast<double>(p.lat1), static_cast<double>(p.lon1),
                  static_cast<double>(p.lat2), static_cast<double>(p.lon2));
    in += line;
  }
  write_file(dir.file("in"), in);
  std::string out;
  run_command("geod -I +a=6371300 +es=0 -f %.6f -F %.6f < " + dir.file("in"), &out);
  std::vector<double> km;
  std::istringstream lines(out);
  std::string l;
  while (std::getline(lines, l)) {
    std::istringstream words(l);
    double az1, az2, metres;
    if (words >> az1 >> az2 >> metres) km.push_back(metres / 1000.0);
  }
  return km;
}

TEST(EarthDist, AgreesWithGeodFromOneKilometreToTenThousand) {
  if (!have_program("geod")) GTEST_SKIP() << "PROJ's geod is not installed";
  const std::vector<Pair> pairs = {
      {45, 10, 45.009f, 10},             /* 1 km north */
      {45, 10, 45, 10.0127f},            /* 1 km east */
      {-33.9f, 151.2f, -33.9f, 151.21f}, /* under 1 km */
      {0, 0, 0.0064f, 0.0064f},          /* 1 km diagonal at the equator */
      {89.995f, 0, 89.995f, 180},        /* across the pole */
      {51.5f, -0.1f, 51.59f, -0.1f},     /* 10 km */
      {40, -100, 41, -101},              /* about 140 km */
      {48.85f, 2.35f, 52.52f, 13.4f},    /* about 880 km */
      {0, 170, 0, -175},                 /* across the date line */
      {40.7f, -74, 51.5f, -0.1f},        /* about 5600 km */
      {-33.9f, 18.4f, 35.7f, 139.7f},    /* about 14,700 km */
      {0, 0, 0, 90},                     /* 10,000 km */
  };
  std::vector<double> ref = geod_distances(pairs);
  ASSERT_EQ(ref.size(), pairs.size());
  for (size_t i = 0; i < pairs.size(); ++i) {
    const Pair& p = pairs[i];
    double d = calc_earth_dist(p.lat1, p.lon1, p.lat2, p.lon2);
    EXPECT_NEAR(d, ref[i], 1e-3 * ref[i]) << "pair " << i << ": geod " << ref[i];
  }
}

TEST(EarthDist, EdgeCases) {
  EXPECT_EQ(calc_earth_dist(12, 34, 12, 34), 0.0f);
  EXPECT_NEAR(calc_earth_dist(10, 20, -10, -160), M_PI * 6371.3, 1e-2) << "antipodes";
  EXPECT_NEAR(calc_earth_dist(45, 10, 45.009f, 10), 1.0, 0.01) << "1 km keeps its precision";
  EXPECT_EQ(calc_earth_dist(M, 0, 1, 1), M);
  EXPECT_EQ(calc_earth_dist(0, 0, 1, M), M);
}

/* One formula checked against the reference script: its arity, the call,
 * and the tolerance, absolute or relative to the reference. */
struct Formula {
  const char* name;
  int arity;
  std::function<float(const std::vector<float>&)> call;
  double tolerance;
  bool relative;
  const char* why;
};

const std::vector<Formula>& formulas() {
  static const std::vector<Formula> table = {
      {"vapor_pr", 1, [](auto& a) { return vapor_pr(a[0]); }, 2e-4, true, "Goff-Gratch with rounded constants"},
      {"temp_vapor_pr", 1, [](auto& a) { return temp_vapor_pr(a[0]); }, 0.1, false,
       "a fitted inverse of the saturation curve"},
      {"temp_on_mixrat", 2, [](auto& a) { return temp_on_mixrat(a[0], a[1]); }, 0.1, false, "the same fitted inverse"},
      {"mix_ratio", 2, [](auto& a) { return mix_ratio(a[0], a[1]); }, 2e-4, true, "exact form"},
      {"spec_hum", 2, [](auto& a) { return spec_hum(a[0], a[1]); }, 2e-4, true, "exact form"},
      {"rel_hum", 2, [](auto& a) { return rel_hum(a[0], a[1]); }, 0.01, false, "exact form"},
      {"dew_temp", 2, [](auto& a) { return dew_temp(a[0], a[1]); }, 0.05, false, "through the fitted inverse"},
      {"thetae_on_satad", 2, [](auto& a) { return thetae_on_satad(a[0], a[1]); }, 1e-4, true, "exact form"},
      {"temp_on_satad", 2, [](auto& a) { return temp_on_satad(a[0], a[1]); }, 0.04, false,
       "a 12-step halving search, last step 0.03 K"},
      {"lcl_pres", 3, [](auto& a) { return lcl_pres(a[0], a[1], a[2]); }, 0.5, false, "iterated on the fitted inverse"},
      {"pres_alt", 1, [](auto& a) { return pres_alt(a[0]); }, 0.1, false, "standard atmosphere to 20 km"},
      {"wind_chill_temp2", 2, [](auto& a) { return wind_chill_temp2(a[0], a[1]); }, 0.35, false,
       "chart rounded to whole degrees F"},
      {"heat_index", 2, [](auto& a) { return heat_index(a[0], a[1]); }, 0.01, false,
       "dew point from the exact saturation curve"},
  };
  return table;
}

TEST(CalcFormulas, AgreeWithReferenceFromPublishedDefinitions) {
  if (run_command("/usr/bin/python3 -c 'import numpy, scipy' 2>/dev/null") != 0)
    GTEST_SKIP() << "Debian's numpy and scipy are not installed";
  std::string out;
  ASSERT_EQ(run_command("/usr/bin/python3 " KEZ_SOURCE_DIR "/tests/var/reference/calc_reference.py", &out), 0);
  std::map<std::string, const Formula*> by_name;
  for (const Formula& f : formulas()) by_name[f.name] = &f;
  std::map<std::string, int> seen;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string name;
    words >> name;
    auto it = by_name.find(name);
    ASSERT_NE(it, by_name.end()) << line;
    const Formula& f = *it->second;
    std::vector<float> args(f.arity);
    for (float& a : args) words >> a;
    double ref = 0;
    ASSERT_TRUE(words >> ref) << line;
    double tol = f.relative ? f.tolerance * std::fabs(ref) : f.tolerance;
    EXPECT_NEAR(f.call(args), ref, tol) << line << " (" << f.why << ")";
    ++seen[name];
  }
  for (const Formula& f : formulas()) EXPECT_GT(seen[f.name], 0) << f.name << " has no reference";
}

TEST(CalcFormulas, ScreeningAndEdgeCases) {
  struct Case {
    const char* what;
    float got;
    double expect;
    double tol;
  };
  const float es0 = vapor_pr(273.15f);
  const Case cases[] = {
      {"vapor_pr at 0 C", vapor_pr(273.15f), 6.103, 0.002},
      {"vapor_pr below 100 K", vapor_pr(99), 0, 0},
      {"vapor_pr missing", vapor_pr(M), M, 0},
      {"mix_ratio of a vapour pressure", mix_ratio(6.11f, 1000), 3.8245, 0.001},
      {"mix_ratio of a temperature", mix_ratio(273.15f, 1000), 622 * es0 / (1000 - es0), 1e-3},
      {"mix_ratio at zero pressure", mix_ratio(273.15f, 0), 0, 0},
      {"mix_ratio at missing pressure", mix_ratio(273.15f, M), M, 0},
      {"mix_ratio of a missing temperature", mix_ratio(M, 1000), M, 0},
      {"mix_ratio when e reaches p", mix_ratio(50, 50), M, 0},
      {"mix_ratio when e exceeds p", mix_ratio(373.15f, 500), M, 0},
      {"spec_hum when e exceeds p", spec_hum(90, 80), M, 0},
      {"spec_hum of a vapour pressure", spec_hum(10, 1000), 6.22, 1e-4},
      {"rel_hum of vapour pressures", rel_hum(20, 10), 50, 1e-4},
      {"rel_hum above saturation is not capped", rel_hum(280, 290), 100 * vapor_pr(290) / vapor_pr(280), 1e-3},
      {"rel_hum without a saturation pressure", rel_hum(50, 280), M, 0},
      {"rel_hum of a missing value", rel_hum(M, 280), M, 0},
      {"dew_temp at 1 % uses 2 %", dew_temp(300, 1), dew_temp(300, 2), 0},
      {"dew_temp at 120 % is the temperature", dew_temp(300, 120), 300, 0.1},
      {"dew_temp of a missing humidity", dew_temp(300, M), M, 0},
      {"dew_temp of a missing temperature", dew_temp(M, 50), M, 0},
      {"temp_vapor_pr of 0", temp_vapor_pr(0), 0, 0},
      {"temp_on_mixrat of missing", temp_on_mixrat(M, 1000), 0, 0},
      {"temp_on_dryad of missing", temp_on_dryad(M, 500), 0, 0},
      {"temp_on_dryad at 1000 mb", temp_on_dryad(300, 1000), 300, 1e-4},
      {"thetae_on_satad of missing", thetae_on_satad(M, 500), 0, 0},
      {"thetae_on_satad where e exceeds p", thetae_on_satad(380, 500), 0, 0},
      {"temp_on_satad above 2000 mb", temp_on_satad(300, 2001), M, 0},
      {"temp_on_satad at zero pressure", temp_on_satad(300, 0), M, 0},
      {"temp_on_satad of a low theta-e", temp_on_satad(100, 1000), 253.16 - 120, 0.1},
      {"virt_temp with a mixing ratio", virt_temp(300, 10, 1000), 300 * 1.00609, 1e-3},
      {"virt_temp with a dew point of 0", virt_temp(300, 0, 1000), 300, 0},
      {"virt_temp with a dew point", virt_temp(300, 290, 1000), 300 * (1 + 0.609e-3 * mix_ratio(290, 1000)), 1e-3},
      {"virt_temp of a negative pressure", virt_temp(300, 290, -1), M, 0},
      {"virt_temp where e exceeds p", virt_temp(300, 380, 500), M, 0},
      {"virt_pot_temp with a dew point of 0", virt_pot_temp(300, 0, 500), pot_temp(300, 500), 0},
      {"virt_pot_temp at zero pressure", virt_pot_temp(300, 10, 0), M, 0},
      {"lcl_pres of a dew point of 100 K", lcl_pres(300, 100, 1000), M, 0},
      {"lcl_pres above 1100 mb", lcl_pres(300, 290, 1101), M, 0},
      {"lcl_pres of saturated air", lcl_pres(300, 300, 1000), 1000, 1},
      {"lcl_pres of warm saturated air", lcl_pres(301.15f, 301.15f, 1000), 1000, 0},
      {"lcl_temp of saturated air", lcl_temp(300, 1000, 1000), 300, 1e-3},
      {"conv_temp of missing", conv_temp(M, 700, 1000), 0, 0},
      {"eq_pot_temp with dew point 0", eq_pot_temp(300, 0, 850), pot_temp(300, 850), 0},
      {"wet_bulb with dew point 0", wet_bulb(300, 0, 850), 0, 0},
      {"wet_bulb_pot_temp with dew point 0", wet_bulb_pot_temp(300, 0, 850), 0, 0},
      {"eq_pot_temp of a 50 K dew point", eq_pot_temp(300, 50, 850), M, 0},
      {"wet_bulb of missing temperature", wet_bulb(M, 280, 1000), M, 0},
      {"wet_bulb of saturated air", wet_bulb(290, 290, 1000), 290, 0.1},
      {"wet_bulb_pot_temp of saturated air at 1000 mb", wet_bulb_pot_temp(290, 290, 1000), 290, 0.1},
      {"wind_chill_temp at 1 m/s", wind_chill_temp(260, 1), 260, 0},
      {"wind_chill_temp at 30 m/s uses 26", wind_chill_temp(260, 30), wind_chill_temp(260, 26), 0},
      {"wind_chill_temp above 306.15 K", wind_chill_temp(310, 10), 310, 0},
      {"wind_chill_temp of missing wind", wind_chill_temp(260, M), M, 0},
      {"wind_chill at 10 m/s", wind_chill(263.15f, 10),
       (306.15 - 263.15) * (10.45 + 10 * std::sqrt(10.0) - 10) * 1.1627, 0.05},
      {"wind_chill calm is the reference wind's", wind_chill(263.15f, 1), (306.15 - 263.15) * 1.1627 / 0.0453843, 0.05},
      {"wind_chill above skin temperature gains heat", wind_chill(310, 5), (306.15 - 310) * 1.1627 / 0.0453843, 0.01},
      {"wind_chill of missing", wind_chill(M, 5), M, 0},
      {"wind_chill_temp2 is never above the temperature", wind_chill_temp2(290, 0), 290, 0},
      {"heat_index with dew point above temperature", heat_index(300, 301), M, 0},
      {"heat_index of a cool day is the first estimate", heat_index(283.15f, 273.15f),
       273.15 + 5 * (60.8 + 1.2 * (50 - 68) + 0.0936 * 100 * vapor_pr(273.15f) / vapor_pr(283.15f) - 32) / 9, 1e-3},
      {"humiture of a dry day is the temperature in F", humiture(303.15f, 273.15f), 86, 1e-3},
      {"humiture of a humid day", humiture(303.15f, 298.15f), 86 + vapor_pr(298.15f) - 21, 1e-3},
      {"temp_hum_index", temp_hum_index(300, 290), 0.55 * 300 + 0.2 * 290 + 17.5, 1e-3},
      {"temp_hum_index of missing", temp_hum_index(300, M), M, 0},
      {"sfc_pr_alt at sea level", sfc_pr_alt(1013.25f, 0), 1013.25, 1e-3},
      {"sfc_pr_alt at 1500 m", sfc_pr_alt(1013.25f, 1500), 845.6, 0.1},
      {"sfc_pr_alt without elevation", sfc_pr_alt(1013.25f, M), M, 0},
      {"sfc_pr_alt above the formula's top", sfc_pr_alt(1013.25f, 50000), M, 0},
      {"pres_alt of 0", pres_alt(0), M, 0},
      {"pres_alt of missing", pres_alt(M), M, 0},
      {"interp_temp halfway in ln p", interp_temp(10, 20, 1000, 100, std::sqrt(1000.0f * 100)), 15, 1e-3},
      {"interp_temp extrapolates", interp_temp(10, 20, 1000, 100, 10), 30, 1e-3},
      {"interp_temp with t1 missing", interp_temp(M, 20, 1000, 100, 500), 20, 0},
      {"interp_temp with t2 missing", interp_temp(10, M, 1000, 100, 500), 10, 0},
      {"interp_temp with both missing", interp_temp(M, M, 1000, 100, 500), M, 0},
      {"interp_temp with equal pressures", interp_temp(10, 20, 500, 500, 400), M, 0},
      {"interp_temp with missing target pressure", interp_temp(10, 20, 1000, 500, M), M, 0},
      {"interp_temp with a missing level pressure", interp_temp(10, 20, M, 500, 700), M, 0},
      {"calc_earth_dist quarter circumference", calc_earth_dist(0, 0, 0, 90), 10008, 1},
      {"calc_earth_dist one degree of latitude", calc_earth_dist(40, -90, 41, -90), 111.2, 0.1},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(std::isnan(c.got)) << c.what;
    EXPECT_NEAR(c.got, c.expect, c.tol) << c.what;
  }
}

/* The searches stop after a fixed number of steps whatever they are given. */
TEST(CalcFormulas, SearchesStayBoundedOverWideInputs) {
  for (float te = 200; te <= 500; te += 10)
    for (float p = 50; p <= 1100; p += 50) {
      float t = temp_on_satad(te, p);
      EXPECT_GE(t, 253.16f - 120) << te << " " << p;
      EXPECT_LE(t, 253.16f + 120) << te << " " << p;
    }
  for (float ts = 150; ts <= 330; ts += 15)
    for (float tds = 120; tds <= ts + 20; tds += 15)
      for (float ps = 100; ps <= 1100; ps += 100) {
        float p = lcl_pres(ts, tds, ps);
        EXPECT_TRUE(p == M || (std::isfinite(p) && p > 0)) << ts << " " << tds << " " << ps;
        /* never under the air lifted (saturated air condenses where it is) */
        EXPECT_LE(p, ps) << ts << " " << tds << " " << ps;
        float te = eq_pot_temp(ts, tds, ps);
        EXPECT_TRUE(te == M || (std::isfinite(te) && te > 0)) << ts << " " << tds << " " << ps;
      }
}

} // namespace
