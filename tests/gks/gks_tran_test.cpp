#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include <X11/Xlib.h>

#include "gks_scenario.h"
#include "kez_test.h"
#include "kezgks_x11.h"

namespace {

using gks_test::Checks;
using gks_test::count;
using gks_test::lim;
using gks_test::open_ps;
using gks_test::use_tran;
using kez_test::read_file;
using kez_test::run_child;
using kez_test::TempDir;

TEST(Transformations, OpeningMapsUnitSquaresOntoThePlotAreaAtItsOffset) {
  TempDir dir;
  auto r = run_child([&] {
    Checks check;
    /* 1000 x 800 hundredths of an inch at +100+200: 720 x 576 points at 72, 144. */
    setenv("kezps_geometry", "1000x800+100+200", 1);
    check(open_ps(dir.file("a.ps")) == 0, "open");
    for (int n = 0; n < 6; ++n) {
      Gtran t{};
      Gint err = 1;
      check(ginq_norm_tran(n, &err, &t) == 0 && err == 0, "inquiry " + std::to_string(n));
      check(t.win.x_min == 0 && t.win.x_max == 1 && t.win.y_min == 0 && t.win.y_max == 1, "unit window");
      check(t.vp.x_min == 0 && t.vp.x_max == 1 && t.vp.y_min == 0 && t.vp.y_max == 1, "unit viewport");
    }
    Gint err = 1, cur = -1;
    ginq_cur_norm_tran_num(&err, &cur);
    check(cur == 0, "transformation 0 current");
    check.near(xW_p(0), 72, "xW_p(0) is the x offset");
    check.near(yW_p(1), 144, "yW_p(1) is the y offset");
    /* The unit square fits the shorter side: 575 points both ways. */
    check.near(xW_ps(1), 72 + 575, "right edge");
    check.near(yW_ps(1), 144 + 575, "top edge");
    check.near(yW_ps(0), 144, "bottom edge");
    Gdsp_size size{};
    ginq_disp_space_size(GWS_PS, &err, &size);
    check(size.ras_size.x_coord == 720 && size.ras_size.y_coord == 576, "raster size");
    check(size.coord_size.x == 719 && size.coord_size.y == 575 && size.coord_units == GOTHER_UNIT, "coordinate size");
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(Transformations, WorkstationWindowKeepsItsAspectInTheDeviceArea) {
  TempDir dir;
  auto r = run_child([&] {
    Checks check;
    open_ps(dir.file("a.ps"));
    gset_win_size(641, 481); /* a workstation viewport of 640 by 480 */
    Glim wide = lim(0, 2, 0, 1);
    gset_ws_win(1, &wide);
    check.near(xNDC_p(1) - xNDC_p(0), 320, "x scale of the wide window");
    check.near(yNDC_p(0) - yNDC_p(1), 320, "y scale of the wide window");
    check.near(yNDC_p(0), 320, "bottom of the plot: 160 rows of 480 stay outside");
    check.near(xNDC_ps(2), 640, "full width");
    check.near(yNDC_ps(1), 320, "file devices leave the top spare");
    Glim tall = lim(0, 1, 0, 2);
    gset_ws_win(1, &tall);
    check.near(yNDC_ps(2), 480, "tall window takes the full height");
    check.near(xNDC_ps(1), 240, "and leaves the right spare");
    Glim vp = lim(100, 300, 50, 250);
    gset_ws_vp(1, &vp);
    check.near(xNDC_ps(0), 100, "workstation viewport origin");
    check.near(yNDC_ps(2), 250, "workstation viewport height fills");
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(Transformations, ConversionsClampFarPointsButInversesDoNot) {
  TempDir dir;
  auto r = run_child([&] {
    Checks check;
    open_ps(dir.file("a.ps"));
    struct Case {
      float (*fn)(float);
      float in, want;
      const char* why;
    };
    const Case cases[] = {
        {xW_p, 1e7f, 30000, "pixels right"},       {xW_p, -1e7f, -30000, "pixels left"},
        {yW_p, 1e7f, -30000, "pixels up is down"}, {yW_p, -1e7f, 30000, "pixels down"},
        {xW_ps, 1e7f, 100000, "device right"},     {yW_ps, -1e7f, -100000, "device down"},
        {xNDC_p, 1e6f, 30000, "NDC to pixels"},    {yNDC_ps, 1e6f, 100000, "NDC to device"},
    };
    for (const Case& c : cases) check.near(c.fn(c.in), c.want, c.why);
    check(xp_W(1e6f) > 1000, "pixels to world is not clamped");
    for (float x : {0.0f, 0.3f, 1.0f}) {
      check.near(xp_W(xW_p(x)), x, "x round trip", 2e-3f);
      check.near(yp_W(yW_p(x)), x, "y round trip", 2e-3f);
    }
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(Transformations, NumbersOutsideZeroToFiveAreRefusedEverywhere) {
  TempDir dir;
  auto r = run_child([&] {
    Checks check;
    open_ps(dir.file("a.ps"));
    const float before = xW_ps(0.5f);
    check(gsel_norm_tran(6) == -1 && gsel_norm_tran(-1) == -1, "gsel_norm_tran");
    Gtran t{};
    Gint err = 0;
    check(ginq_norm_tran(6, &err, &t) == -1, "ginq_norm_tran");
    Glim w = lim(0, 10, 0, 10);
    check(gset_win(6, &w) == -1 && gset_vp(-1, &w) == -1, "gset_win and gset_vp");
    check(xW_trans(1, 0, 7) == -9999 && yW_trans(1, -1, 0) == -9999, "transfers give the missing value");
    Gint cur = -1;
    ginq_cur_norm_tran_num(&err, &cur);
    check(cur == 0 && xW_ps(0.5f) == before, "nothing changed");
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.err.find("gsel_norm_tran: invalid transformation number: 6\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("gsel_norm_tran: invalid transformation number: -1\n"), std::string::npos);
  EXPECT_NE(r.err.find("gset_win: invalid transformation number: 6\n"), std::string::npos);
  EXPECT_NE(r.err.find("gset_vp: invalid transformation number: -1\n"), std::string::npos);
}

TEST(Transformations, RectanglesWithoutExtentAreRefused) {
  TempDir dir;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    Gint (*set)(Gint, const Glim*);
    Gint n;
    Glim rect;
    const char* why;
  };
  const Case cases[] = {
      {gset_win, 1, lim(2, 2, 0, 1), "window of no width"},
      {gset_win, 0, lim(0, 1, nan, 1), "window with no number"},
      {gset_vp, 1, lim(0, 1, 0.5f, 0.5f), "viewport of no height"},
      {gset_ws_win, 1, lim(0, 0, 0, 0), "empty workstation window"},
      {gset_ws_vp, 1, lim(10, 10, 0, 100), "workstation viewport of no width"},
  };
  for (const Case& c : cases) {
    auto r = run_child([&] {
      Checks check;
      open_ps(dir.file("a.ps"));
      Glim w = lim(0, 10, 0, 10);
      use_tran(1, w, lim(0, 1, 0, 1));
      const float x = xW_ps(3), y = yW_ps(4), px = xW_p(3);
      check(c.set(c.n, &c.rect) == -1, "refused");
      check(xW_ps(3) == x && yW_ps(4) == y && xW_p(3) == px && std::isfinite(xW_NDC(3)), "conversions unchanged");
      gclose_ws(1);
      return check.status();
    });
    EXPECT_EQ(r.status, 0) << c.why << "\n" << r.out;
    EXPECT_FALSE(r.err.empty()) << c.why;
  }
}

TEST(Transformations, ClipFollowsTheViewportOfTheCurrentTransformation) {
  TempDir dir;
  auto r = run_child([&] {
    open_ps(dir.file("a.ps"));
    Glim vp = lim(0.25f, 0.75f, 0.25f, 0.75f);
    gset_vp(1, &vp);
    gps_printf("%%mark select\n");
    gsel_norm_tran(1);
    gps_printf("%%mark again\n");
    gsel_norm_tran(1);
    gps_printf("%%mark window\n");
    Glim w = lim(0, 5, 0, 5);
    gset_win(1, &w);
    gps_printf("%%mark other viewport\n");
    gset_vp(2, &vp);
    gps_printf("%%mark current viewport\n");
    gset_vp(1, &vp);
    gps_printf("%%mark end\n");
    gclose_ws(1);
    return 0;
  });
  ASSERT_EQ(r.status, 0);
  const std::string ps = gks_test::plain_paths(read_file(dir.file("a.ps")));
  auto between = [&](const std::string& a, const std::string& b) {
    size_t from = ps.find("%mark " + a), to = ps.find("%mark " + b);
    return from == std::string::npos || to == std::string::npos ? std::string("?") : ps.substr(from, to - from);
  };
  /* The plot area is 756 by 576 points; the unit square fills 575 of it. */
  EXPECT_EQ(between("select", "again"),
            "%mark select\ninitclip\nnp\n143.65 143.65 mv\n143.65 431.35 ln\n431.35 431.35 ln\n"
            "431.35 143.65 ln\ncp\nclip\n");
  EXPECT_EQ(count(between("again", "window"), "clip"), 0) << "selecting the current one again";
  EXPECT_EQ(count(between("window", "other viewport"), "clip"), 0) << "a window does not move the clip";
  EXPECT_EQ(count(between("other viewport", "current viewport"), "clip"), 0) << "not current";
  EXPECT_EQ(count(between("current viewport", "end"), "initclip"), 1);
}

TEST(Transformations, OtherTransformationsWaitUntilSelected) {
  TempDir dir;
  auto r = run_child([&] {
    Checks check;
    open_ps(dir.file("a.ps"));
    Glim map = lim(0, 100, 0, 50);
    Glim map_vp = lim(0.1f, 0.9f, 0.1f, 0.5f);
    const float before = xW_ps(0.5f);
    gset_win(2, &map);
    gset_vp(2, &map_vp);
    check(xW_ps(0.5f) == before, "transformation 0 still converts");
    /* A map position carried into page units of transformation 1. */
    check.near(xW_trans(50, 2, 1), 0.5f, "map x to page");
    check.near(yW_trans(25, 2, 1), 0.3f, "map y to page");
    gsel_norm_tran(2);
    check.near(xW_NDC(50), 0.5f, "selected map window");
    check.near(yW_NDC(50), 0.5f, "top of the map viewport");
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(Transformations, PointsTouchingTheWindowCountAsInside) {
  struct Case {
    Glim win;
    std::vector<Gpt> pts;
    int want;
    const char* why;
  };
  const Case cases[] = {
      {lim(0, 10, 0, 10), {{10, 5}, {12, 5}}, 1, "touches the right edge"},
      {lim(0, 10, 0, 10), {{-3, 1}, {-1, 2}}, 0, "all left of the window"},
      {lim(0, 10, 0, 10), {{-1, -1}, {11, 11}}, 1, "spans the window"},
      {lim(0, 10, 0, 10), {{5, 11}}, 0, "one point above"},
      {lim(10, 0, 0, 10), {{2, 2}, {3, 3}}, 1, "inside a window given right to left"},
      {lim(10, 0, 10, 0), {{-2, 2}, {-1, 3}}, 0, "left of a flipped window"},
      {lim(0, 10, 0, 10), {{2, 2}, {NAN, 3}, {4, 4}}, 0, "a NaN that is not first"},
      {lim(0, 10, 0, 10), {{2, 2}, {3, INFINITY}}, 0, "an infinite point"},
      {lim(0, 10, 0, 10), {{NAN, NAN}}, 0, "a single NaN"},
  };
  TempDir dir;
  auto r = run_child([&] {
    Checks check;
    open_ps(dir.file("a.ps"));
    for (const Case& c : cases) {
      use_tran(1, c.win, lim(0, 1, 0, 1));
      check(gpts_in_win(static_cast<int>(c.pts.size()), c.pts.data()) == c.want, c.why);
    }
    check(gpts_in_win(0, nullptr) == 0, "no points");
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

/* Every point counts wherever it stands among any number of points: the
 * one point that reaches into the window, the one point that is not
 * finite (in x or in y), at every place of sets of 1 to 9 points. */
TEST(Transformations, EveryPointOfASetCountsWhereverItStands) {
  TempDir dir;
  auto r = run_child([&] {
    Checks check;
    open_ps(dir.file("a.ps"));
    use_tran(1, lim(0, 10, 0, 10), lim(0, 1, 0, 1));
    for (int n = 1; n <= 9; ++n) {
      for (int k = 0; k < n; ++k) {
        const std::string where = std::to_string(k) + " of " + std::to_string(n);
        for (Gpt side : {Gpt{-5, 5}, Gpt{15, 5}, Gpt{5, -5}, Gpt{5, 15}}) {
          std::vector<Gpt> pts(static_cast<std::size_t>(n), side);
          check(gpts_in_win(n, pts.data()) == 0, where + ": all on one side");
          pts[static_cast<std::size_t>(k)] = Gpt{5, 5};
          check(gpts_in_win(n, pts.data()) == 1, where + ": one point inside");
        }
        for (Gpt bad : {Gpt{NAN, 5}, Gpt{5, INFINITY}, Gpt{-INFINITY, NAN}}) {
          std::vector<Gpt> pts(static_cast<std::size_t>(n), Gpt{5, 5});
          pts[static_cast<std::size_t>(k)] = bad;
          check(gpts_in_win(n, pts.data()) == 0, where + ": one point not finite");
          check(gcount_nonfinite(n, pts.data()) == 1, where + ": counted once");
          pts.back() = bad;
          check(gcount_nonfinite(n, pts.data()) == (k == n - 1 ? 1 : 2), where + ": and the last");
        }
      }
    }
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(Transformations, PrintWinListsTheCurrentAndTheFirstFourWindows) {
  TempDir dir;
  auto r = run_child([&] {
    open_ps(dir.file("a.ps"));
    use_tran(2, lim(-10, 10, 0, 5), lim(0, 1, 0, 1));
    gprint_win();
    gclose_ws(1);
    return 0;
  });
  EXPECT_NE(r.out.find("C-2: -10.000  10.000   0.000   5.000\n"
                       "W-0:   0.000   1.000   0.000   1.000\n"
                       "W-1:   0.000   1.000   0.000   1.000\n"
                       "W-2: -10.000  10.000   0.000   5.000\n"
                       "W-3:   0.000   1.000   0.000   1.000\n"),
            std::string::npos)
      << r.out;
}

TEST(Transformations, PostScriptViewportRectangleIsInPoints) {
  TempDir dir;
  auto r = run_child([&] {
    Checks check;
    open_ps(dir.file("a.ps"));
    Glim vp = lim(0.5f, 1, 0, 0.5f);
    gset_vp(0, &vp);
    Grectangle rect{};
    gget_gviewport(&rect);
    check(rect.x == 287 && rect.y == 0 && rect.width == 289 && rect.height == 289,
          "rectangle " + std::to_string(rect.x) + " " + std::to_string(rect.y) + " " + std::to_string(rect.width) +
              " " + std::to_string(rect.height));
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

/* The batch conversions of the primitives (two points at a time where the
 * processor allows, the rest one by one) give bit for bit what the
 * conversions of a single number give, on transformations with flipped,
 * tiny and huge scales, for points at the limits, at half-pixel ties, not
 * finite, and a sweep of ordinary ones; odd counts leave a last point for
 * the one-by-one path. */
TEST(Transformations, BatchConversionsMatchTheSingleNumberConversions) {
  TempDir dir;
  auto r = run_child([&] {
    Checks check;
    open_ps(dir.file("a.ps"));
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    struct Tran {
      Glim win, vp;
      const char* why;
    };
    const Tran trans[] = {
        {lim(0, 1, 0, 1), lim(0, 1, 0, 1), "unit"},
        {lim(-180, 180, -90, 90), lim(0.1f, 0.9f, 0.2f, 0.8f), "degrees on a part"},
        {lim(10, -10, 5, -5), lim(0, 1, 0, 1), "both axes flipped"},
        {lim(0, 1e-6f, 0, 1e-6f), lim(0, 1, 0, 1), "tiny window: far points everywhere"},
        {lim(-3e7f, 3e7f, -2e7f, 2e7f), lim(0.3f, 0.7f, 0.3f, 0.7f), "huge window"},
    };
    const float specials[] = {0, -0.0f, 1, -1, 0.5f, 1e-30f, 1e30f, -1e30f, inf, -inf, nan, 575.5f, 1e5f, 3e4f};
    unsigned seed = 12345;
    auto next = [&seed] {
      seed = seed * 1103515245u + 12345u;
      return static_cast<float>((seed >> 8) & 0xffff) / 65536.0f;
    };
    auto same = [](float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0 || (a != a && b != b); };
    for (const Tran& t : trans) {
      use_tran(1, t.win, t.vp);
      std::vector<Gpt> all;
      for (float x : specials)
        for (float y : specials) all.push_back(Gpt{x, y});
      /* A sweep over the window and around it. */
      const float wx = t.win.x_max - t.win.x_min, wy = t.win.y_max - t.win.y_min;
      for (int i = 0; i < 4001; ++i)
        all.push_back(Gpt{t.win.x_min + (next() * 4 - 1.5f) * wx, t.win.y_min + (next() * 4 - 1.5f) * wy});
      /* Points at half-pixel and half-hundredth ties. */
      for (int k = -40; k <= 40; ++k) {
        const float px = 300 + 0.5f * static_cast<float>(k), hx = 100 + 0.005f * static_cast<float>(k);
        all.push_back(Gpt{xp_W(px), yp_W(px)});
        all.push_back(Gpt{xp_W(hx), yp_W(hx)});
      }
      for (int n : {static_cast<int>(all.size()), 1, 3}) {
        std::vector<XPoint> xp(static_cast<size_t>(n));
        std::vector<Gpt> dev(static_cast<size_t>(n));
        gW_xpoints(n, all.data(), xp.data());
        gW_ps_points(n, all.data(), dev.data());
        int bad_x = 0, bad_ps = 0;
        for (int i = 0; i < n; ++i) {
          const Gpt& p = all[static_cast<size_t>(i)];
          const XPoint& got = xp[static_cast<size_t>(i)];
          if (got.x != gx_pixel(xW_p(p.x) + 0.5f) || got.y != gx_pixel(yW_p(p.y) + 0.5f)) ++bad_x;
          if (!same(dev[static_cast<size_t>(i)].x, xW_ps(p.x)) || !same(dev[static_cast<size_t>(i)].y, yW_ps(p.y)))
            ++bad_ps;
        }
        check(bad_x == 0, std::string(t.why) + ": window pixels differ at " + std::to_string(bad_x) + " points");
        check(bad_ps == 0, std::string(t.why) + ": device units differ at " + std::to_string(bad_ps) + " points");
      }
    }
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

/* The finiteness checks of the primitives read the exponent field: a
 * sweep over every exponent with signs and mantissas at their edges (NaNs
 * of both kinds and signs, infinities, subnormals, the largest floats)
 * agrees with std::isfinite, one point at a time and counted. */
TEST(Transformations, FiniteChecksAgreeWithIsfinite) {
  std::vector<float> values;
  for (std::uint32_t sign : {0u, 0x80000000u})
    for (std::uint32_t exponent = 0; exponent < 256; ++exponent)
      for (std::uint32_t mantissa : {0u, 1u, 0x400000u, 0x7fffffu})
        values.push_back(std::bit_cast<float>(sign | (exponent << 23) | mantissa));
  int want = 0;
  std::vector<Gpt> pts;
  for (size_t i = 0; i < values.size(); ++i) {
    const Gpt p{values[i], values[(i * 7 + 3) % values.size()]};
    const bool finite = std::isfinite(p.x) && std::isfinite(p.y);
    EXPECT_EQ(gfinite_pt(p), finite) << std::bit_cast<std::uint32_t>(p.x) << " " << std::bit_cast<std::uint32_t>(p.y);
    want += finite ? 0 : 1;
    pts.push_back(p);
  }
  EXPECT_EQ(gcount_nonfinite(static_cast<int>(pts.size()), pts.data()), want);
}

} // namespace
