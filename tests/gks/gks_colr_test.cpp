#include <gtest/gtest.h>

#include "gks_scenario.h"
#include "kez_test.h"

namespace {

using gks_test::Checks;
using gks_test::open_ps;
using kez_test::run_child;
using kez_test::TempDir;

TEST(ColourTable, RepresentationIndexRules) {
  TempDir dir;
  auto r = run_child([&] {
    Checks check;
    Gcolr_rep red{1, 0, 0};
    gopen_gks(nullptr, 0);
    check(gset_colr_rep(1, 3, &red) == -1, "refused before the workstation opens");
    open_ps(dir.file("a.ps"));
    struct Case {
      int ind, want;
      const char* why;
    };
    const Case cases[] = {
        {505, 0, "print colours cannot be redefined"}, {257, -1, "past the background"},
        {-2, -1, "below -1"},                          {3, 0, "a drawing colour"},
        {256, 0, "the background"},                    {-1, 0, "-1 names the background"},
    };
    for (const Case& c : cases) check(gset_colr_rep(1, c.ind, &red) == c.want, c.why);
    float rr = 0, g = 0, b = 0;
    check(gget_color_rgb(3, &rr, &g, &b) == 1 && rr == 1 && g == 0 && b == 0, "entry 3 is red");
    check(gget_color_rgb(-1, &rr, &g, &b) == 1 && rr == 1 && g == 0, "background red");
    check(gget_max_colr() == 3, "the background is no drawing colour");
    check(gget_color_rgb(505, &rr, &g, &b) == 0, "print colours have no entry");
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.err.find("gset_colr_rep: GKS not opened\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("gset_colr_rep: invalid color index: 257\n"), std::string::npos);
  EXPECT_NE(r.err.find("gset_colr_rep: invalid color index: -2\n"), std::string::npos);
  EXPECT_EQ(r.err.find("505"), std::string::npos) << "index 505 is no error";
}

TEST(ColourTable, NearColoursAreReusedAndNewOnesAppended) {
  TempDir dir;
  auto r = run_child([&] {
    Checks check;
    open_ps(dir.file("a.ps"));
    galloc_colr(2, 0, 1, 0);
    galloc_colr(5, 1, 0, 0);
    auto index_of = [](float r, float g, float b) {
      galloc_colr(-1, r, g, b);
      int found = -1;
      for (int i = 0; i < 256; ++i)
        if (gis_color_near(i, r, g, b, 0)) found = i;
      return found;
    };
    check(index_of(0.004f, 0.997f, 0.002f) == 2 && gget_max_colr() == 5, "within 0.01 of entry 2");
    check(index_of(1, 0.003f, 0) == 5 && gget_max_colr() == 5, "the highest entry is found too");
    check(index_of(0.2f, 0.4f, 0.6f) == 6 && gget_max_colr() == 6, "a new colour after the highest");
    check(index_of(0.2f, 0.4f, 0.6f) == 6 && gget_max_colr() == 6, "and found again");
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(ColourTable, AppendingStopsAtTheLastDrawingColour) {
  TempDir dir;
  auto r = run_child([&] {
    Checks check;
    open_ps(dir.file("a.ps"));
    Gcolr_rep white{1, 1, 1};
    gset_colr_rep(1, 256, &white);
    gset_colr_rep(1, 10, &white);
    /* 300 colours that differ by more than 0.01 from one another. */
    for (int i = 0; i < 300; ++i) {
      float v = static_cast<float>(i) / 300.0f;
      galloc_colr(-1, v, 1 - v, static_cast<float>(i % 2));
      check(gget_max_colr() <= 255, "never past the drawing colours");
    }
    check(gget_max_colr() == 255, "appended up to the last drawing colour");
    float r = 0, g = 0, b = 0;
    gget_color_rgb(256, &r, &g, &b);
    check(r == 1 && g == 1 && b == 1, "background untouched");
    /* Full: a pure blue goes to the nearest drawing colour. */
    int before = gget_max_colr();
    galloc_colr(-1, 0, 0, 1);
    check(gget_max_colr() == before, "no index added when full");
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(ColourTable, InquiriesAndIndexTests) {
  TempDir dir;
  auto r = run_child([&] {
    Checks check;
    open_ps(dir.file("a.ps"));
    galloc_colr(7, 0.5f, 0.25f, 1);
    int r = 0, g = 0, b = 0;
    gget_color_rgb256(7, &r, &g, &b);
    check(r == 127 && g == 63 && b == 255, "components times 255, truncated");
    float fr = 0, fg = 0, fb = 0;
    gget_color_rgb(-1, &fr, &fg, &fb);
    check(fr == 1 && fg == 1 && fb == 1, "PostScript background is white");
    check(gis_color_near(7, 0.505f, 0.25f, 0.999f, 0) == 1, "near");
    check(gis_color_near(7, 0.52f, 0.25f, 1, 0) == 0, "0.02 away");
    check(gis_color_near(-1, 1, 1, 1, 0) == 0, "-1 is never near");
    check(gis_color_near(12345, 0, 0, 0, 1) == 0, "no entry holds that pixel");
    struct Case {
      int ind, valid;
    };
    const Case cases[] = {{-2, 0}, {-1, 1}, {0, 1}, {256, 1}, {257, 0}, {499, 0}, {500, 1}, {508, 1}, {509, 0}};
    for (const Case& c : cases) check(gis_valid_colr(c.ind) == c.valid, "valid " + std::to_string(c.ind));
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(ColourTable, SettersApplyTheColourRules) {
  TempDir dir;
  auto r = run_child([&] {
    Checks check;
    open_ps(dir.file("a.ps"));
    check(gset_line_colr_ind(503) == 0 && gget_line_colr() == 503, "print colour kept on PostScript");
    check(gset_fill_colr_ind(600) == -1 && gget_fill_colr() == 1, "invalid fill colour");
    check(gset_line_colr_ind(-5) == -1 && gget_line_colr() == 503, "invalid line colour");
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.err.find("gset_fill_colr_ind: invalid color index: 600\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("gset_line_colr_ind: invalid color index: -5\n"), std::string::npos);
}

} // namespace
