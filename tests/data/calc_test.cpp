#include "kez.h"
#include "kez_test.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
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
    std::snprintf(line, sizeof line, "%.9g %.9g %.9g %.9g\n", static_cast<double>(p.lat1),
                  static_cast<double>(p.lon1), static_cast<double>(p.lat2),
                  static_cast<double>(p.lon2));
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

} // namespace
