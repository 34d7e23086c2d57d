#include <gtest/gtest.h>

#include "gks_scenario.h"
#include "gks_window.h"
#include "kez_test.h"

namespace {

using gks_test::body_of;
using gks_test::Checks;
using gks_test::count;
using gks_test::lim;
using gks_test::open_ps;
using gks_test::point_world;
using gks_test::use_tran;
using kez_test::read_file;
using kez_test::run_child;
using kez_test::TempDir;

const Gpt triangle[3] = {{10, 10}, {50, 10}, {30, 40}};

/* The guard and the point counts are one table over the primitives
 * (gks_dev_test). */
TEST(FillAreas, SkipAreasOutsideTheWindow) {
  TempDir dir;
  auto r = run_child([&] {
    Checks check;
    open_ps(dir.file("a.ps"));
    point_world();
    Gpt far[3] = {{-30, -30}, {-20, -30}, {-25, -20}};
    check(gfill_area(3, far) == 0, "outside the window");
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(count(read_file(dir.file("a.ps")), "%%FA"), 0);
}

TEST(FillAreas, SolidFillOfRedIsAThirdGrey) {
  TempDir dir;
  auto r = run_child([&] {
    open_ps(dir.file("a.ps"));
    point_world();
    Gcolr_rep red{1, 0, 0};
    gset_colr_rep(1, 2, &red);
    gset_fill_colr_ind(2);
    gps_printf("%%mark\n");
    gfill_area(3, triangle);
    gfill_area(3, triangle);
    gclose_ws(1);
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string ps = gks_test::plain_paths(read_file(dir.file("a.ps")));
  const std::string path = "%%FA:3\nnp\n10.00 10.00 mv\n50.00 10.00 ln\n30.00 40.00 ln\ncp\n";
  EXPECT_NE(ps.find("%mark\n" + path + "0.333 setgray\nfill\n" + path + "fill\n"), std::string::npos) << body_of(ps);
}

TEST(FillAreas, OnlyTheSolidStyleFillsOnPostScript) {
  const Gfill_int_style styles[] = {GHOLLOW, GPAT, GHATCH};
  for (Gfill_int_style style : styles) {
    TempDir dir;
    auto r = run_child([&] {
      open_ps(dir.file("a.ps"));
      point_world();
      gset_fill_int_style(style);
      gfill_area(3, triangle);
      gclose_ws(1);
      return 0;
    });
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(count(read_file(dir.file("a.ps")), "fill\n"), 0) << "style " << style;
  }
}

TEST(FillAreas, StyleIndexAndPrintSolid) {
  TempDir dir;
  auto r = run_child([&] {
    Checks check;
    open_ps(dir.file("a.ps"));
    point_world();
    check(gset_fill_style_ind(20) == -1, "pattern 20");
    check(gset_fill_style_ind(19) == 0, "pattern 19");
    Gcolr_rep grey{0.5f, 0.5f, 0.5f};
    gset_colr_rep(1, 4, &grey);
    gset_fill_colr_ind(4);
    gset_fill_print_solid(1);
    check(gget_fill_print_solid() == 1, "print solid on");
    gps_printf("%%mark solid\n");
    gfill_area(3, triangle);
    gfill_area(3, triangle);
    gset_fill_print_solid(0);
    gps_printf("%%mark normal\n");
    gfill_area(3, triangle);
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.err.find("gset_fill_style_ind: invalid style index: 20\n"), std::string::npos) << r.err;
  const std::string ps = read_file(dir.file("a.ps"));
  const size_t solid = ps.find("%mark solid"), normal = ps.find("%mark normal");
  ASSERT_NE(normal, std::string::npos);
  EXPECT_EQ(count(ps.substr(solid, normal - solid), "0 setgray\nfill\n"), 2) << "black every time";
  EXPECT_NE(ps.find("0.500 setgray\nfill\n", normal), std::string::npos) << "mid grey again";
}

TEST(FillAreas, PatternPixels) {
  struct Case {
    int pat, x, y, set;
    const char* why;
  };
  const Case cases[] = {
      {0, 3, 5, 1, "full"},
      {19, 7, 7, 1, "full"},
      {10, 2, 2, 0, "empty"},
      {1, 0, 0, 0, "0xaa: leftmost clear"},
      {1, 1, 0, 1, "0xaa: second set"},
      {1, 0, 1, 1, "0x55 on row 1"},
      {6, 1, 0, 1, "diagonal 0x03"},
      {6, 2, 0, 0, "diagonal 0x03"},
      {6, 9, 8, 1, "wraps every 8"},
      {20, 0, 0, 0, "no pattern 20"},
  };
  for (const Case& c : cases) EXPECT_EQ(gfill_test(c.pat, c.x, c.y) != 0, c.set != 0) << c.why;
}

/* Every pattern fills a 40 by 40 pixel square of the window (world units are
 * pixels there); inside it each pixel is in the fill colour exactly where
 * the pattern's bit is set, counted from the window's origin. */
TEST(FillAreas, WindowPatternsAreStipplesOfTheBitmaps) {
  for (int depth : {24, 8}) {
    kez_test::XServer x(800, 700, depth);
    ASSERT_TRUE(x.ok());
    TempDir dir;
    auto r = run_child([&] {
      if (gks_test::open_window(x) != 0) return 1;
      use_tran(1, lim(0, 511, 511, 0), lim(0, 1, 0, 1)); /* world y grows downward like pixels */
      const Gcolr_rep red{1, 0, 0};
      gset_colr_rep(1, 2, &red);
      gset_fill_colr_ind(2);
      gset_fill_int_style(GPAT);
      for (int p = 0; p < 20; ++p) {
        const float x0 = 10.0f + 50.0f * static_cast<float>(p % 10), y0 = 10.0f + 50.0f * static_cast<float>(p / 10);
        gset_fill_style_ind(p);
        Gpt square[4] = {{x0, y0}, {x0 + 40, y0}, {x0 + 40, y0 + 40}, {x0, y0 + 40}};
        gfill_area(4, square);
      }
      gset_fill_int_style(GSOLID);
      Gpt solid[4] = {{10, 200}, {50, 200}, {50, 240}, {10, 240}};
      gfill_area(4, solid);
      gks_test::write_ppm(dir.file("w.ppm"), gks_test::window_picture(x));
      return gclose_ws(1);
    });
    ASSERT_EQ(r.status, 0) << r.err;
    kez_test::RgbImage picture;
    ASSERT_TRUE(gks_test::read_ppm(dir.file("w.ppm"), &picture));
    for (int p = 0; p < 20; ++p) {
      int wrong = 0;
      const int x0 = 10 + 50 * (p % 10), y0 = 10 + 50 * (p / 10);
      for (int y = y0 + 4; y < y0 + 36; ++y)
        for (int x = x0 + 4; x < x0 + 36; ++x) {
          const auto want = gfill_test(p, x, y) ? std::array<int, 3>{255, 0, 0} : std::array<int, 3>{0, 0, 0};
          if (!gks_test::near_rgb(picture.at(x, y), want)) ++wrong;
        }
      EXPECT_EQ(wrong, 0) << "depth " << depth << ", pattern " << p;
    }
    EXPECT_TRUE(gks_test::near_rgb(picture.at(30, 220), {255, 0, 0})) << "solid again after the patterns";
    EXPECT_TRUE(gks_test::near_rgb(picture.at(30, 270), {0, 0, 0})) << "nothing below";
  }
}

} // namespace
