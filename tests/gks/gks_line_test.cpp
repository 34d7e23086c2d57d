#include <gtest/gtest.h>

#include <vector>

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

/* The guard and the point counts are one table over the primitives
 * (gks_dev_test). */
TEST(Polylines, SkipPointsOutsideTheWindow) {
  TempDir dir;
  auto r = run_child([&] {
    Checks check;
    open_ps(dir.file("a.ps"));
    Gpt left[2] = {{-3, 0.5f}, {-1, 0.5f}};
    check(gpolyline(2, left) == 0, "outside is no error");
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(count(read_file(dir.file("a.ps")), "%%PL"), 0);
}

TEST(Polylines, PathCarriesTheAttributesInForce) {
  TempDir dir;
  auto r = run_child([&] {
    open_ps(dir.file("a.ps"));
    point_world();
    gps_printf("%%mark\n");
    gset_linewidth(2);
    gset_linetype(3);
    Gpt pts[3] = {{10, 20}, {30.5f, 40.25f}, {100, 20}};
    gpolyline(3, pts);
    gpolyline(3, pts);
    gclose_ws(1);
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string ps = gks_test::plain_paths(read_file(dir.file("a.ps")));
  const std::string path = "np\n10.00 20.00 mv\n30.50 40.25 ln\n100.00 20.00 ln\nstroke\n";
  EXPECT_NE(ps.find("%mark\n%%PL:3\n2.0 dot lw\n[3 6] 0 setdash\n" + path + "%%PL:3\n" + path), std::string::npos)
      << body_of(ps);
}

TEST(Polylines, SetterChecksAndStoredValues) {
  TempDir dir;
  auto r = run_child([&] {
    Checks check;
    open_ps(dir.file("a.ps"));
    point_world();
    Gpt pts[2] = {{10, 10}, {20, 10}};
    check(gset_linewidth(-1) == -1, "negative width");
    check(gset_linetype(-1) == -1, "negative type");
    gset_linewidth(3);
    gpolyline(2, pts);
    gps_printf("%%mark zero width\n");
    check(gset_linewidth(0) == 0, "width 0");
    gpolyline(2, pts);
    gps_printf("%%mark bold\n");
    gset_line_print_bold(0);
    check(gget_line_print_bold() == 1, "bold at least 1");
    gset_line_print_bold(2);
    gpolyline(2, pts);
    gps_printf("%%mark end\n");
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.err.find("gset_linewidth: invalid line width: -1.000000\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("gset_linetype: invalid line type: -1\n"), std::string::npos);
  const std::string ps = read_file(dir.file("a.ps"));
  EXPECT_NE(ps.find("%mark zero width\n%%PL:2\n1.0 dot lw\n"), std::string::npos) << "0 is 1 on PostScript";
  EXPECT_NE(ps.find("%mark bold\n%%PL:2\n2.0 dot lw\n"), std::string::npos) << "bold doubles the width";
}

TEST(Polylines, PrintColoursDrawInFixedGreysAndWidths) {
  struct Case {
    int colour;
    float width;
    const char* written;
  };
  const Case cases[] = {
      {500, 1, ""},                         /* black at normal width: nothing to change */
      {501, 1, "2 dot lw\n"},               /* black, double */
      {505, 1.5f, "6 dot lw\n1 setgray\n"}, /* white, quadruple */
      {507, 1, "2 dot lw\n.7 setgray\n"},   /* light grey, double */
      {506, 2, "2.0 dot lw\n.7 setgray\n"}, /* light grey, normal factor */
  };
  for (const Case& c : cases) {
    TempDir dir;
    auto r = run_child([&] {
      open_ps(dir.file("a.ps"));
      point_world();
      gset_line_colr_ind(c.colour);
      gset_linewidth(c.width);
      Gpt pts[2] = {{10, 10}, {20, 10}};
      gpolyline(2, pts);
      gclose_ws(1);
      return 0;
    });
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string ps = gks_test::plain_paths(read_file(dir.file("a.ps")));
    EXPECT_NE(ps.find(std::string("%%PL:2\n") + c.written + "np\n"), std::string::npos) << "colour " << c.colour << "\n"
                                                                                        << body_of(ps);
  }
}

/* The runs of lit and dark pixels along a row, from the first lit pixel to
 * the last. */
std::vector<int> runs_along(const kez_test::RgbImage& picture, int row, int from, int to) {
  std::vector<int> runs;
  bool lit_before = false;
  for (int x = from; x <= to; ++x) {
    const bool lit = picture.at(x, row)[0] > 128;
    if (runs.empty() && !lit) continue;
    if (runs.empty() || lit != lit_before) runs.push_back(0);
    ++runs.back();
    lit_before = lit;
  }
  if (!runs.empty() && !lit_before) runs.pop_back();
  return runs;
}

TEST(Polylines, WindowLinesDashAndWidenInPixels) {
  struct Case {
    int type;
    float width;
    std::vector<int> cycle; /* lit, dark, ... pixels; a single run for solid lines */
    int rows;               /* rows lit across a solid line */
    const char* why;
  };
  const Case cases[] = {
      {1, 1, {401}, 1, "solid, both ends drawn"},
      {2, 1, {6, 6}, 0, "long dashes"},
      {3, 1, {3, 6}, 0, "short dashes"},
      {4, 1, {6, 6, 3, 6}, 0, "dash and dot"},
      {5, 1, {2, 2}, 0, "dots"},
      {9, 1, {2, 2}, 0, "another type keeps the last dash list"},
      {1, 7, {400}, 7, "a width in pixels, butt ends"},
  };
  kez_test::XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok());
  TempDir dir;
  auto r = run_child([&] {
    if (gks_test::open_window(x) != 0) return 1;
    use_tran(1, lim(0, 511, 511, 0), lim(0, 1, 0, 1));
    const Gcolr_rep red{1, 0, 0};
    gset_colr_rep(1, 2, &red);
    gset_line_colr_ind(2);
    int i = 0;
    for (const Case& c : cases) {
      gset_linetype(c.type);
      gset_linewidth(c.width);
      const float y = 50.0f + 30.0f * static_cast<float>(i++);
      Gpt line[2] = {{50, y}, {450, y}};
      gpolyline(2, line);
    }
    gks_test::write_ppm(dir.file("w.ppm"), gks_test::window_picture(x));
    return gclose_ws(1);
  });
  ASSERT_EQ(r.status, 0) << r.err;
  kez_test::RgbImage picture;
  ASSERT_TRUE(gks_test::read_ppm(dir.file("w.ppm"), &picture));
  int i = 0;
  for (const Case& c : cases) {
    const int row = 50 + 30 * i++;
    const std::vector<int> runs = runs_along(picture, row, 40, 460);
    if (c.rows > 0) {
      EXPECT_EQ(runs, c.cycle) << c.why;
    } else {
      ASSERT_GT(runs.size(), 2 * c.cycle.size()) << c.why;
      for (size_t k = 0; k + 1 < runs.size(); ++k)
        EXPECT_EQ(runs[k], c.cycle[k % c.cycle.size()]) << c.why << " run " << k;
      continue;
    }
    int lit_rows = 0;
    for (int y = row - 10; y <= row + 10; ++y) lit_rows += picture.at(250, y)[0] > 128 ? 1 : 0;
    EXPECT_EQ(lit_rows, c.rows) << c.why;
  }
}

} // namespace
