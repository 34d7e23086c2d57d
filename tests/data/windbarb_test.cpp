/*
 * Wind barbs, arrows and storm tracks, read back from the metafile: the
 * exact geometry of each element, the pennant and barb counts against an
 * independent barb drawer, and the refusals.
 */
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <sstream>

#include "kezraw.h"
#include "station_draw.h"

namespace {

using kez_test::run_child;
using kez_test::TempDir;
using station_draw::near;
using station_draw::Prim;
using station_draw::show;

/* Runs draw in a fresh kernel and gives back what it drew and its result. */
std::vector<Prim> drawn(const std::function<int()>& draw, int* result = nullptr) {
  TempDir dir;
  const std::string file = dir.file("w.meta");
  auto r = run_child([&] {
    if (station_draw::open_meta(file, Glim{-6, 6, -6, 6}) != 0) return 200;
    const int res = draw();
    station_draw::close_meta();
    return res + 10;
  });
  if (result) *result = r.status - 10;
  return station_draw::read_meta(file);
}

Prim pl(std::vector<Gpt> p) { return Prim{"PL", std::move(p), ""}; }
Prim fa(std::vector<Gpt> p) { return Prim{"FA", std::move(p), ""}; }

void expect_same(const std::vector<Prim>& got, const std::vector<Prim>& want, const std::string& why) {
  ASSERT_EQ(got.size(), want.size()) << why << "\n" << show(got);
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].kind, want[i].kind) << why << " #" << i;
    ASSERT_EQ(got[i].pts.size(), want[i].pts.size()) << why << " #" << i << "\n" << show(got);
    for (size_t k = 0; k < got[i].pts.size(); ++k)
      EXPECT_TRUE(near(got[i].pts[k], want[i].pts[k])) << why << " #" << i << " point " << k << "\n" << show(got);
  }
}

std::vector<Prim> pennant(float top) {
  const std::vector<Gpt> tri{{0, top}, {0.5f, top}, {0, top - 0.12f}, {0, top}};
  return {fa(tri), pl(tri)};
}

TEST(WindBarb, ElementsStandWhereTheSpeedSays) {
  const Prim staff_up = pl({{0, 0}, {0, 1}});
  std::vector<Prim> six{staff_up};
  for (int i = 0; i < 6; ++i)
    for (const Prim& p : pennant(1 - 0.12f * i)) six.push_back(p);
  std::vector<Prim> sixty_five{staff_up};
  for (const Prim& p : pennant(1)) sixty_five.push_back(p);
  sixty_five.push_back(pl({{0, 0.76f}, {0.5f, 0.88f}}));
  sixty_five.push_back(pl({{0, 0.64f}, {0.25f, 0.70f}}));

  struct Case {
    float dir, spd, offset;
    std::vector<Prim> want;
    const char* why;
  } cases[] = {
      {0, 5, 0, {staff_up, pl({{0, 0.88f}, {0.25f, 0.94f}})}, "a lone half barb is set back from the tip"},
      {0,
       15,
       0,
       {staff_up, pl({{0, 1}, {0.5f, 1.12f}}), pl({{0, 0.88f}, {0.25f, 0.94f}})},
       "a full barb at the tip, the half barb below it"},
      {0, 65, 0, sixty_five, "a pennant, then a full and a half barb"},
      {0, 300, 0, six, "300 knots: six pennants"},
      {0, 350, 0, six, "capped at 300"},
      {0, 2, 0, {staff_up}, "2 knots: the staff alone"},
      {0, 3, 0, {staff_up, pl({{0, 0.88f}, {0.25f, 0.94f}})}, "3 knots rounds up to a half barb"},
      {0, 48, 0, std::vector<Prim>{staff_up, pennant(1)[0], pennant(1)[1]}, "48 knots rounds up to a pennant"},
      {90,
       15,
       0,
       {pl({{0, 0}, {1, 0}}), pl({{1, 0}, {1.12f, -0.5f}}), pl({{0.88f, 0}, {0.94f, -0.25f}})},
       "from the east: the staff points right, barbs below"},
      {180, 10, 0, {pl({{0, 0}, {0, -1}}), pl({{0, -1}, {-0.5f, -1.12f}})}, "from the south: barbs to the left"},
      {0, 10, 0.2f, {pl({{0, 0.2f}, {0, 1}}), pl({{0, 1}, {0.5f, 1.12f}})}, "the staff begins at the offset"},
  };
  for (const Case& c : cases) {
    int res = -5;
    auto got = drawn([&] { return WIND_barb(0, 0, c.dir, c.spd, 1, c.offset); }, &res);
    EXPECT_EQ(res, 0) << c.why;
    expect_same(got, c.want, c.why);
  }
}

TEST(WindBarb, RefusedWindsDrawNothing) {
  struct Case {
    float dir, spd;
    const char* why;
  } cases[] = {{0, 0, "calm"},
               {-9999, 10, "no direction"},
               {0, -9999, "no speed"},
               {0, -5, "negative speed"},
               {0, -0.5f, "small negative speed"}};
  for (const Case& c : cases) {
    int res = 0;
    auto got = drawn([&] { return WIND_barb(0, 0, c.dir, c.spd, 1, 0); }, &res);
    EXPECT_EQ(res, -1) << c.why;
    EXPECT_TRUE(got.empty()) << c.why << "\n" << show(got);
    got = drawn([&] { return WIND_vect(0, 0, c.dir, c.spd, 1, 1); }, &res);
    EXPECT_EQ(res, -1) << c.why;
    EXPECT_TRUE(got.empty()) << c.why;
    got = drawn([&] { return WIND_track(0, 0, c.dir, c.spd, 1, 4, 0); }, &res);
    EXPECT_EQ(res, -1) << c.why;
    EXPECT_TRUE(got.empty()) << c.why;
  }
}

/* Pennants, full and half barbs of every whole speed from 1 to 299 knots,
 * against the counts of matplotlib's barbs. */
TEST(WindBarb, CountsAgreeWithMatplotlib) {
  std::string out;
  const int rc = kez_test::run_command(
      "/usr/bin/python3 -c \"import numpy as np\nfrom matplotlib.quiver import Barbs\n"
      "f,b,h,e = Barbs._find_tails(None, np.arange(1,300,dtype=float), rounding=True, half=5, full=10, flag=50)\n"
      "print(' '.join('%d,%d,%d' % (x,y,z) for x,y,z in zip(f,b,h)))\" 2>/dev/null",
      &out);
  if (rc != 0 || out.empty()) GTEST_SKIP() << "python3-matplotlib is not installed";
  std::istringstream words(out);
  auto got = drawn([&] {
    for (int s = 1; s < 300; ++s) WIND_barb(0, 0, 0, static_cast<float>(s), 1, 0);
    return 0;
  });
  /* Each barb begins with its staff from the origin. */
  int s = 0;
  size_t i = 0;
  std::string w;
  while (words >> w) {
    ++s;
    int flags = 0, fulls = 0, halves = 0;
    std::sscanf(w.c_str(), "%d,%d,%d", &flags, &fulls, &halves);
    ASSERT_LT(i, got.size());
    ASSERT_TRUE(got[i].kind == "PL" && near(got[i].pts[0], Gpt{0, 0})) << s;
    int p = 0, f = 0, h = 0;
    for (++i; i < got.size() && !(got[i].kind == "PL" && near(got[i].pts[0], Gpt{0, 0})); ++i) {
      if (got[i].kind == "FA") ++p;
      if (got[i].kind == "PL" && got[i].pts.size() == 2) {
        const float across = got[i].pts[1].x;
        if (std::fabs(across - 0.5f) < 1e-3f) ++f;
        if (std::fabs(across - 0.25f) < 1e-3f) ++h;
      }
    }
    EXPECT_EQ(p, flags) << s << " knots";
    EXPECT_EQ(f, fulls) << s << " knots";
    EXPECT_EQ(h, halves) << s << " knots";
  }
  EXPECT_EQ(s, 299);
}

TEST(WindArrow, ShaftDownwindAndHeadAtFortyFiveDegrees) {
  int res = -5;
  auto got = drawn([] { return WIND_vect(0, 0, 0, 2, 0.5f, 1); }, &res);
  EXPECT_EQ(res, 0);
  expect_same(got, {pl({{0, 0}, {0, -1}}), pl({{0, -1}, {-0.2f, -0.8f}}), pl({{0, -1}, {0.2f, -0.8f}})},
              "a north wind blows south");
  got = drawn([] { return WIND_vect(0, 0, 90, 1, 1, 0); });
  expect_same(got, {pl({{0, 0}, {-1, 0}})}, "no head with arrow 0");
}

TEST(StormTrack, TicksAtQuartersAndAHeadAtTheEnd) {
  int res = -5;
  auto got = drawn([] { return WIND_track(0, 0, 270, 4, 0.5f, 4, 3); }, &res);
  EXPECT_EQ(res, 0);
  std::vector<Prim> want{pl({{0, 0}, {4, 0}})};
  for (int i = 0; i < 4; ++i) want.push_back(pl({{float(i), 0.1f}, {float(i), -0.1f}}));
  want.push_back(pl({{4, 0}, {3.9f, -0.1f}}));
  want.push_back(pl({{4, 0}, {3.9f, 0.1f}}));
  expect_same(got, want, "a track moving east");
}

} // namespace
