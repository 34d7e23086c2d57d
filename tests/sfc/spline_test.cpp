#include "spline.h"
#include "kez.h"
#include "kez_test.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using kez_test::capture;
using kez_test::run_command;

constexpr float M = KEZ_FMISS;

struct Freed {
  void operator()(float* p) const { std::free(p); }
};
using Coeffs = std::unique_ptr<float, Freed>;

std::vector<float> numbers(const std::string& line, const std::string& tag) {
  std::istringstream words(line);
  std::string t;
  words >> t;
  EXPECT_EQ(t, tag);
  std::vector<float> v;
  float f;
  while (words >> f) v.push_back(f);
  return v;
}

TEST(Spline, AgreesWithNaturalCubicSplineOfScipy) {
  if (run_command("/usr/bin/python3 -c 'import scipy' 2>/dev/null") != 0)
    GTEST_SKIP() << "Debian's scipy is not installed";
  std::string out;
  ASSERT_EQ(run_command("/usr/bin/python3 " KEZ_SOURCE_DIR "/tests/sfc/reference/spline_reference.py", &out), 0);
  std::istringstream lines(out);
  std::string lx, ly, lc, lat, lv;
  int cases = 0;
  while (std::getline(lines, lx) && std::getline(lines, ly) && std::getline(lines, lc) && std::getline(lines, lat) &&
         std::getline(lines, lv)) {
    std::vector<float> x = numbers(lx, "x"), y = numbers(ly, "y"), c = numbers(lc, "c"), at = numbers(lat, "at"),
                       v = numbers(lv, "v");
    int n = static_cast<int>(x.size());
    ASSERT_EQ(y.size(), x.size());
    ASSERT_EQ(at.size(), v.size());
    Coeffs coeffs(SPLINE_create(n, x.data(), y.data()));
    ASSERT_TRUE(coeffs);
    float scale = 1;
    for (float ci : c) scale = std::max(scale, std::fabs(ci));
    for (int i = 0; i < n; ++i)
      EXPECT_NEAR(coeffs.get()[i], c[i], 1e-4 * scale) << "second derivative " << i << " of " << n;
    for (size_t i = 0; i < at.size(); ++i)
      EXPECT_NEAR(SPLINE_interp(at[i], n, coeffs.get(), x.data(), y.data()), v[i],
                  1e-4 * std::max(1.0f, std::fabs(v[i])))
          << "value at " << at[i] << " of " << n << " points";
    for (int i = 0; i < n; ++i)
      EXPECT_EQ(SPLINE_interp(x[i], n, coeffs.get(), x.data(), y.data()), y[i]) << "knot " << i;
    ++cases;
  }
  EXPECT_GE(cases, 5);
}

TEST(Spline, SmallAndStraightCases) {
  struct Case {
    std::vector<float> x, y, c;
    const char* why;
  };
  const Case cases[] = {
      {{0, 1, 2}, {0, 1, 0}, {0, -3, 0}, "a peak bends by -3 in the middle"},
      {{1, 3}, {2, 6}, {0, 0}, "two points are a line"},
      {{0, 1, 3, 7, 8}, {1, 3, 7, 15, 17}, {0, 0, 0, 0, 0}, "points on a line"},
      {{5}, {4}, {0}, "one point is a constant"},
  };
  for (const Case& c : cases) {
    int n = static_cast<int>(c.x.size());
    Coeffs k(SPLINE_create(n, c.x.data(), c.y.data()));
    ASSERT_TRUE(k) << c.why;
    for (int i = 0; i < n; ++i) EXPECT_NEAR(k.get()[i], c.c[i], 1e-6) << c.why << " " << i;
  }
  const std::vector<float> x = {0, 1, 3, 7, 8}, y = {1, 3, 7, 15, 17};
  Coeffs k(SPLINE_create(5, x.data(), y.data()));
  for (float x0 : {-2.0f, 0.5f, 2.0f, 5.5f, 8.0f, 11.0f})
    EXPECT_NEAR(SPLINE_interp(x0, 5, k.get(), x.data(), y.data()), 2 * x0 + 1, 1e-5)
        << "the line continues beyond both ends, at " << x0;
  const float one = 4;
  Coeffs k1(SPLINE_create(1, &x[0], &one));
  EXPECT_EQ(SPLINE_interp(3, 1, k1.get(), x.data(), &one), 4);
}

TEST(Spline, RefusesPointsItCannotPassThrough) {
  const float x_rep[] = {0, 1, 1, 2}, x_down[] = {0, 2, 1}, x_nan[] = {0, NAN, 2}, y[] = {0, 1, 2, 3};
  struct Case {
    int n;
    const float* x;
    const float* y;
    const char* why;
  };
  const Case cases[] = {
      {4, x_rep, y, "repeated x"}, {3, x_down, y, "decreasing x"},   {3, x_nan, y, "not a number"},
      {0, x_rep, y, "no points"},  {-3, x_rep, y, "negative count"}, {3, nullptr, y, "no x"},
      {3, x_rep, nullptr, "no y"},
  };
  for (const Case& c : cases) {
    auto out = capture([&] { EXPECT_EQ(SPLINE_create(c.n, c.x, c.y), nullptr) << c.why; });
    EXPECT_NE((out.out + out.err).find("SPLINE_create: "), std::string::npos) << c.why << " is reported";
  }
  EXPECT_EQ(SPLINE_interp(1, 0, y, x_rep, y), M);
  EXPECT_EQ(SPLINE_interp(1, 3, nullptr, x_rep, y), M);
}

TEST(Spline, ParametricCurvePassesThroughItsPointsAndEndsOnThem) {
  const std::vector<float> x = {0.3f, 1.7f, 2.2f, 4.9f, 3.1f, 6.0f, 7.25f};
  const std::vector<float> y = {-1.1f, 0.4f, 2.9f, 3.3f, 5.7f, 6.1f, 4.0f};
  const int n = static_cast<int>(x.size());
  std::vector<float> d(n);
  float *cx = nullptr, *cy = nullptr;
  ASSERT_EQ(SPLINE_create2(n, x.data(), y.data(), d.data(), &cx, &cy), 1);
  Coeffs kx(cx), ky(cy);
  EXPECT_EQ(d[0], 0);
  for (int i = 1; i < n; ++i) EXPECT_NEAR(d[i] - d[i - 1], std::hypot(x[i] - x[i - 1], y[i] - y[i - 1]), 1e-5) << i;
  for (int i = 0; i < n; ++i) {
    float px, py;
    ASSERT_EQ(SPLINE_interp2(d[i], n, cx, cy, x.data(), y.data(), d.data(), &px, &py), 1);
    EXPECT_EQ(px, x[i]) << "point " << i;
    EXPECT_EQ(py, y[i]) << "point " << i;
  }
  /* Stepping along the curve as the front plotter does stays near the
   * polygon of the points. */
  float px = 0, py = 0;
  for (float s = 0; s <= d[n - 1] + 0.02f; s += 0.5f) {
    ASSERT_EQ(SPLINE_interp2(s, n, cx, cy, x.data(), y.data(), d.data(), &px, &py), 1);
    EXPECT_TRUE(std::isfinite(px) && std::isfinite(py));
    EXPECT_LT(std::fabs(px - 3.5f), 6) << s;
    EXPECT_LT(std::fabs(py - 2.5f), 6) << s;
  }
}

TEST(Spline, ParametricCurveRefusesRepeatedPoints) {
  const float x[] = {0, 1, 1, 2}, y[] = {0, 1, 1, 0};
  float d[4], stale = 0;
  float* cx = &stale;
  float* cy = &stale;
  auto out = capture([&] { EXPECT_EQ(SPLINE_create2(4, x, y, d, &cx, &cy), 0); });
  EXPECT_NE((out.out + out.err).find("SPLINE_create"), std::string::npos);
  EXPECT_EQ(cx, nullptr);
  EXPECT_EQ(cy, nullptr);
  float px = 0, py = 0;
  capture([&] { EXPECT_EQ(SPLINE_interp2(0.5f, 4, cx, cy, x, y, d, &px, &py), 0); });
  EXPECT_EQ(px, M);
  EXPECT_EQ(py, M);

  /* A single point is a curve of no length that stays on the point. */
  float d1[1];
  ASSERT_EQ(SPLINE_create2(1, x + 1, y + 1, d1, &cx, &cy), 1);
  Coeffs kx(cx), ky(cy);
  ASSERT_EQ(SPLINE_interp2(0, 1, cx, cy, x + 1, y + 1, d1, &px, &py), 1);
  EXPECT_EQ(px, 1);
  EXPECT_EQ(py, 1);
}

} // namespace
