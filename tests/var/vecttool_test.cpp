/*
 * Wind and vector arithmetic: the named winds, calm, the polar range,
 * missing inputs, a round trip of many random winds and the directions of
 * an independent arc tangent.
 */
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "kez_test.h"
#include "kezcont.h"

namespace {

constexpr float M = KEZ_FMISS;

TEST(WindArithmetic, NamedWindsAndCalm) {
  struct Case {
    float u, v, dir, spd;
    const char* why;
  } cases[] = {
      {10, 0, 270, 10, "west wind"},
      {0, 10, 180, 10, "south wind"},
      {0, -10, 0, 10, "north wind"},
      {-10, 0, 90, 10, "east wind"},
      {0.005f, 0.005f, 0, 0.0070710678f, "calm below 0.01"},
  };
  for (const Case& c : cases) {
    float d = -1, s = -1;
    EXPECT_EQ(vect2wind(c.u, c.v, &d, &s), 0) << c.why;
    EXPECT_NEAR(d, c.dir, 1e-4) << c.why;
    EXPECT_NEAR(s, c.spd, 1e-6) << c.why;
    EXPECT_FALSE(std::signbit(d)) << c.why << ": a north wind is 0, never -0";
  }
  float d = 0, s = 0;
  vect2polar(-1, 0, &d, &s);
  EXPECT_FLOAT_EQ(d, -90) << "polar directions keep their sign";
  float u = 0, v = 0;
  wind2vect(270, 10, &u, &v);
  EXPECT_FLOAT_EQ(u, 10);
  EXPECT_NEAR(v, 0, 1e-5);
  wind2vect(90, 10, &u, &v);
  EXPECT_FLOAT_EQ(u, -10);
  polar2vect(90, 10, &u, &v);
  EXPECT_FLOAT_EQ(u, 10);
  EXPECT_NEAR(v, 0, 1e-5);
}

TEST(WindArithmetic, MissingInputs) {
  using Fn = int (*)(float, float, float*, float*);
  const Fn fns[] = {polar2vect, vect2polar, wind2vect, vect2wind};
  for (Fn f : fns)
    for (auto [a, b] : {std::pair{M, 1.0f}, std::pair{1.0f, M}}) {
      float x = 0, y = 0;
      EXPECT_EQ(f(a, b, &x, &y), -1);
      EXPECT_EQ(x, M);
      EXPECT_EQ(y, M);
    }
  EXPECT_EQ(dot_product(VECT{M, 1, 1}, VECT{1, 1, 1}), M);
  EXPECT_EQ(dot_product(VECT{1, 2, 3}, VECT{M, 1, 1}), M);
  EXPECT_FLOAT_EQ(dot_product(VECT{1, 2, 3}, VECT{4, 5, 6}), 32);
  EXPECT_FLOAT_EQ(dot_product(VECT{1, M, 0}, VECT{1, 1, 1}), 1 + M) << "only x marks a missing vector";
  VECT w{};
  EXPECT_EQ(cross_product(VECT{1, 0, 0}, VECT{0, 1, 0}, &w), 0);
  EXPECT_FLOAT_EQ(w.x, 0);
  EXPECT_FLOAT_EQ(w.y, 0);
  EXPECT_FLOAT_EQ(w.z, 1);
  EXPECT_EQ(cross_product(VECT{M, 0, 0}, VECT{0, 1, 0}, &w), -1);
  EXPECT_TRUE(w.x == M && w.y == M && w.z == M);
}

TEST(WindArithmetic, RoundTripOfRandomWinds) {
  std::mt19937 rng(45);
  std::uniform_real_distribution<float> dir(0.0f, 359.99f), spd(0.1f, 100.0f);
  for (int n = 0; n < 100000; ++n) {
    const float d = dir(rng), s = spd(rng);
    float u = 0, v = 0, d2 = 0, s2 = 0;
    wind2vect(d, s, &u, &v);
    vect2wind(u, v, &d2, &s2);
    float diff = std::fabs(d2 - d);
    diff = std::fmin(diff, 360 - diff);
    ASSERT_LT(diff, 1e-4) << d << " " << s;
    ASSERT_NEAR(s2, s, 1e-4 * std::fmax(1.0f, s)) << d << " " << s;
  }
}

TEST(WindArithmetic, DirectionsAgreeWithNumpy) {
  if (!kez_test::have_program("/usr/bin/python3")) GTEST_SKIP() << "no python3";
  kez_test::TempDir dir;
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> c(-50.0f, 50.0f);
  std::vector<std::pair<float, float>> uv;
  for (int n = 0; n < 500; ++n) uv.emplace_back(c(rng), c(rng));
  uv.emplace_back(0.0f, -10.0f);
  uv.emplace_back(10.0f, 0.0f);
  std::string in;
  char line[80];
  for (auto [u, v] : uv) {
    std::snprintf(line, sizeof line, "%.9g %.9g\n", static_cast<double>(u), static_cast<double>(v));
    in += line;
  }
  const std::string file = dir.file("uv.txt");
  kez_test::write_file(file, in);
  std::string out;
  kez_test::run_command(
      "/usr/bin/python3 -c \"import numpy as np,sys; a=np.loadtxt(sys.argv[1]); "
      "d=np.degrees(np.arctan2(-a[:,0],-a[:,1])); d[d<0]+=360; print('\\n'.join('%.6f'%x for x in d))\" " +
          file,
      &out);
  std::istringstream lines(out);
  for (auto [u, v] : uv) {
    double want = 0;
    ASSERT_TRUE(static_cast<bool>(lines >> want)) << out;
    float d = 0, s = 0;
    vect2wind(u, v, &d, &s);
    double diff = std::fabs(d - want);
    diff = std::fmin(diff, 360 - diff);
    EXPECT_LT(diff, 1e-3) << u << " " << v;
  }
}

} // namespace
