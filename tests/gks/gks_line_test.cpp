#include <gtest/gtest.h>

#include "gks_scenario.h"
#include "kez_test.h"

namespace {

using gks_test::body_of;
using gks_test::Checks;
using gks_test::count;
using gks_test::lim;
using gks_test::open_ps;
using gks_test::use_tran;
using kez_test::read_file;
using kez_test::run_child;
using kez_test::TempDir;

/* World 0 to 575 on the unit viewport: one world unit is one point. */
void point_world() { use_tran(1, lim(0, 575, 0, 575), lim(0, 1, 0, 1)); }

TEST(Polylines, RefuseTooFewPointsAndSkipPointsOutsideTheWindow) {
  TempDir dir;
  auto r = run_child([&] {
    Checks check;
    Gpt two[2] = {{0.1f, 0.1f}, {0.2f, 0.2f}};
    gopen_gks(nullptr, 0);
    check(gpolyline(2, two) == -1, "kernel not open");
    open_ps(dir.file("a.ps"));
    check(gpolyline(1, two) == -1, "one point");
    check(gpolyline(0, nullptr) == -1, "no points");
    Gpt left[2] = {{-3, 0.5f}, {-1, 0.5f}};
    check(gpolyline(2, left) == 0, "outside is no error");
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.err.find("gpolyline: GKS not opened\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("gpolyline: invalid number of points: 1\n"), std::string::npos);
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
  const std::string ps = read_file(dir.file("a.ps"));
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
      {500, 1, ""},                          /* black at normal width: nothing to change */
      {501, 1, "2 dot lw\n"},                /* black, double */
      {505, 1.5f, "6 dot lw\n1 setgray\n"},  /* white, quadruple */
      {507, 1, "2 dot lw\n.7 setgray\n"},    /* light grey, double */
      {506, 2, "2.0 dot lw\n.7 setgray\n"},  /* light grey, normal factor */
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
    const std::string ps = read_file(dir.file("a.ps"));
    EXPECT_NE(ps.find(std::string("%%PL:2\n") + c.written + "np\n"), std::string::npos)
        << "colour " << c.colour << "\n" << body_of(ps);
  }
}

} // namespace
