#include <gtest/gtest.h>

#include <functional>

#include "gks_output.h"
#include "gks_window.h"

namespace {

using gks_test::body_of;
using gks_test::Checks;
using gks_test::count;
using gks_test::ink;
using gks_test::lim;
using gks_test::open_ps;
using gks_test::point_world;
using gks_test::use_tran;
using kez_test::read_file;
using kez_test::run_child;
using kez_test::TempDir;

/* What body draws after the mark, on an upright EPS page in the point
 * world or on plain HPGL where one world unit is one plotter unit. */
std::string drawn(int device, const std::function<void()>& body, std::string* err = nullptr) {
  TempDir dir;
  const std::string file = dir.file("out");
  auto r = run_child([&] {
    gopen_gks(nullptr, 0);
    if (device == GWS_PS) {
      if (open_ps(file + ",eps,port") != 0) return 1;
      point_world();
      gps_printf("%%mark\n");
    } else {
      if (gopen_ws(1, (file + ",nopcl").c_str(), GWS_HPGL) != 0) return 1;
      use_tran(1, lim(0, 7611, 0, 7611), lim(0, 1, 0, 1));
      ghpgl_printf("%%mark\n");
    }
    body();
    gclose_ws(1);
    return 0;
  });
  if (err) *err = r.err;
  if (r.status != 0) return "failed: " + r.err;
  const std::string text = gks_test::plain_paths(read_file(file));
  const size_t at = text.find("%mark\n");
  return at == std::string::npos ? "no mark" : text.substr(at + 6);
}

void marker_at(int type, float size, float x, float y) {
  gset_marker_type(type);
  gset_marker_size(size);
  Gpt p{x, y};
  gpolymarker(1, &p);
}

/* The strokes of one marker of size 1 (half size 3 points) at (100, 100). */
std::string ps_strokes(const std::string& body) {
  const size_t from = body.find("%%PM:1\n");
  const size_t to = body.find("%%End of plot");
  return from == std::string::npos ? "none" : body.substr(from + 7, to - from - 7);
}

TEST(Markers, NineShapesOnPostScript) {
  struct Case {
    int type;
    std::string strokes;
  };
  const std::string plus =
      "np\n97.00 100.00 mv\n103.00 100.00 ln\nstroke\nnp\n100.00 103.00 mv\n100.00 97.00 ln\nstroke\n";
  const Case cases[] = {
      {1, "np\n100.00 100.00 mv\n101.00 100.00 ln\n101.00 101.00 ln\n100.00 101.00 ln\n100.00 100.00 ln\nstroke\n"},
      {2, plus},
      {3,
       "np\n97.00 100.00 mv\n103.00 100.00 ln\nstroke\nnp\n97.00 97.00 mv\n103.00 103.00 ln\nstroke\n"
       "np\n100.00 103.00 mv\n100.00 97.00 ln\nstroke\nnp\n103.00 97.00 mv\n97.00 103.00 ln\nstroke\n"},
      {4,
       "np\n97.00 100.00 mv\n97.40 101.50 ln\n98.50 102.60 ln\n100.00 103.00 ln\n101.50 102.60 ln\n"
       "102.60 101.50 ln\n103.00 100.00 ln\n102.60 98.50 ln\n101.50 97.40 ln\n100.00 97.00 ln\n98.50 97.40 ln\n"
       "97.40 98.50 ln\n97.00 100.00 ln\nstroke\n"},
      {5, "np\n97.00 97.00 mv\n103.00 103.00 ln\nstroke\nnp\n103.00 97.00 mv\n97.00 103.00 ln\nstroke\n"},
      {6, "np\n97.00 103.00 mv\n103.00 103.00 ln\n103.00 97.00 ln\n97.00 97.00 ln\n97.00 103.00 ln\nstroke\n"},
      {7, "np\n97.00 103.00 mv\n103.00 103.00 ln\n100.00 97.00 ln\n97.00 103.00 ln\nstroke\n"},
      {8, "np\n100.00 100.00 mv\n100.00 100.00 ln\n1 setlinecap\nstroke\n0 setlinecap\n"},
      {9, "np\n97.00 97.00 mv\n103.00 97.00 ln\n100.00 103.00 ln\n97.00 97.00 ln\nstroke\n"},
      {10, ""},
  };
  for (const Case& c : cases) {
    const std::string body = drawn(GWS_PS, [&] { marker_at(c.type, 1, 100, 100); });
    EXPECT_EQ(ps_strokes(body), c.strokes) << "type " << c.type;
  }
}

/* Markers get the window test that lines have: markers all outside the
 * world window are not drawn, touching it counts as inside. */
TEST(Markers, MarkersOutsideTheWindowAreNotDrawn) {
  struct Case {
    Gpt at;
    bool drawn;
    const char* why;
  };
  constexpr Case cases[] = {
      {{100, 100}, true, "inside"},
      {{575, 100}, true, "touching the right edge"},
      {{700, 100}, false, "right of the window"},
      {{100, -50}, false, "below the window"},
  };
  for (const Case& c : cases) {
    const std::string body = drawn(GWS_PS, [&] { marker_at(2, 1, c.at.x, c.at.y); });
    EXPECT_EQ(body.find("%%PM:") != std::string::npos, c.drawn) << c.why << "\n" << body;
  }
}

TEST(Markers, SizePerDevice) {
  struct Case {
    int device;
    float size;
    std::string strokes;
    const char* why;
  };
  const Case cases[] = {
      {GWS_PS, 10, "np\n64.00 100.00 mv\n136.00 100.00 ln\n", "72 points: half size 36"},
      {GWS_PS, 0.15f, "np\n100.00 100.00 mv\n100.00 100.00 ln\nstroke\n", "1.08 points: half size 0, collapsed"},
      {GWS_HPGL, 1, "PU960,1010;PD1060,1010;\nPU1010,1060;PD1010,960;\n", "101.5 plotter units: half size 50"},
      {GWS_HPGL, 0.15f, "PU1003,1010;PD1017,1010;\n", "15.2 plotter units: half size 7"},
  };
  for (const Case& c : cases) {
    const float at = c.device == GWS_PS ? 100 : 1000;
    const std::string body = drawn(c.device, [&] { marker_at(2, c.size, at, at); });
    EXPECT_NE(body.find(c.strokes), std::string::npos) << c.why << "\n" << body;
  }
  /* On HPGL the marker sets the pen like a line, without a comment. */
  const std::string hpgl = drawn(GWS_HPGL, [] {
    gset_linetype(3);
    Gpt line[2] = {{0, 0}, {10, 10}};
    gpolyline(2, line);
    gset_marker_width(2);
    marker_at(8, 1, 1000, 1000);
  });
  EXPECT_NE(hpgl.find("PW0.4;\nLT;\nPU1010,1010;PD1010,1010;\n"), std::string::npos) << hpgl;
}

TEST(Markers, DropShadowsAndCounts) {
  const std::string body = drawn(GWS_PS, [] {
    gset_font_drop(3);
    gset_marker_type(5);
    gset_marker_size(1);
    Gpt pts[5] = {{100, 100}, {200, 100}, {300, 100}, {400, 100}, {500, 100}};
    gpolymarker(5, pts);
    gset_font_drop(0);
  });
  EXPECT_EQ(count(body, "%%PM:5\n"), 1);
  EXPECT_EQ(count(body, "stroke"), 5 * 4 * 2) << "five points, each with three shadows, two strokes each";
  EXPECT_NE(body.find("np\n97.00 97.00 mv\n103.00 103.00 ln\nstroke\nnp\n103.00 97.00 mv\n97.00 103.00 ln\nstroke\n"
                      "np\n98.00 98.00 mv\n104.00 104.00 ln\n"),
            std::string::npos)
      << "the copies go right and up on PostScript\n"
      << body;
}

TEST(Markers, SettersAndRefusals) {
  std::string err;
  const std::string body = drawn(
      GWS_PS,
      [] {
        Checks check;
        check(gset_marker_size(-1) == -1 && gset_marker_width(-1) == -1, "negatives");
        check(gset_marker_type(10) == 0, "type 10 accepted");
        check(gpolymarker(0, nullptr) == -1, "no points");
        check(gset_marker_colr_ind(700) == -1, "invalid colour");
        check(gset_marker_width(0) == 0, "width 0 on PostScript becomes 1");
        Gpt p{100, 100};
        check(gpolymarker(1, &p) == 0, "type 10 draws nothing");
        gset_marker_type(2);
        check(gset_marker_colr_ind(502) == 0, "print colour");
        gpolymarker(1, &p);
        if (check.failed) gps_printf("%%checks failed\n");
      },
      &err);
  EXPECT_EQ(body.find("checks failed"), std::string::npos) << body;
  EXPECT_NE(body.find("%%PM:1\n%%PM:1\n4 dot lw\nnp\n"), std::string::npos) << body;
  for (const char* m :
       {"gset_marker_size: invalid marker size: -1.000000\n", "gset_marker_width: invalid marker width: -1.000000\n",
        "gpolymarker: invalid number of points: 0\n", "gset_marker_colr_ind: invalid color index: 700\n"})
    EXPECT_NE(err.find(m), std::string::npos) << m << "\n" << err;

  auto r = run_child([] {
    gopen_gks(nullptr, 0);
    Gpt p{1, 1};
    return gpolymarker(1, &p) == -1 && gset_marker_type(2) == -1 ? 0 : 1;
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("gpolymarker: GKS not opened\n"), std::string::npos) << r.err;
}

TEST(Markers, TextMetafileRecords) {
  TempDir dir;
  auto r = run_child([&] {
    gopen_gks(nullptr, 0);
    gopen_ws(1, dir.file("a.meta").c_str(), GWS_META);
    gps_printf("x");
    use_tran(1, lim(0, 10, 0, 10), lim(0, 1, 0, 1)); /* markers outside the window are not kept */
    gset_marker_type(3);
    gset_marker_size(2.5f);
    gset_marker_width(2);
    Gcolr_rep red{1, 0, 0};
    gset_colr_rep(1, 3, &red);
    gset_marker_colr_ind(3);
    Gpt pts[5] = {{1, 2}, {3, 4}, {5, 6}, {7, 8}, {9, 10}};
    gpolymarker(3, pts);
    gpolymarker(4, pts);
    gpolymarker(5, pts);
    gclose_ws(1);
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string meta = read_file(dir.file("a.meta"));
  const std::string p4 = "1.000000,2.000000 3.000000,4.000000 5.000000,6.000000 7.000000,8.000000 \n   ";
  EXPECT_NE(meta.find("PM_TYPE 3\nPM_SIZE 2.500000\nPM_WDTH 2.000000\nCLR 1 3 1.000000 0.000000 0.000000\n"
                      "PM_CLR 3\n"
                      "PM 3 1.000000,2.000000 3.000000,4.000000 5.000000,6.000000 \n"
                      "PM 4 " +
                      p4 + "PM 5 " + p4 + "9.000000,10.000000 \n"),
            std::string::npos)
      << meta;
}

TEST(MarkerRendering, AllNineShapesThroughGhostscript) {
  ASSERT_TRUE(kez_test::have_program("gs")) << "ghostscript is needed (tools/install-deps.sh)";
  TempDir dir;
  const std::string file = dir.file("markers.eps");
  auto r = run_child([&] {
    gopen_gks(nullptr, 0);
    if (open_ps(file + ",eps,port") != 0) return 1;
    point_world();
    gset_marker_size(3); /* 21.6 points: half size 10 */
    gset_marker_width(6);
    for (int type = 1; type <= 9; ++type) {
      gset_marker_type(type);
      Gpt p{static_cast<float>(60 * type), 300};
      gpolymarker(1, &p);
    }
    gclose_ws(1);
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  kez_test::Raster page;
  auto run = kez_test::gs_render(file, 800, 700, &page);
  ASSERT_TRUE(run.clean()) << run.log;
  struct Sample {
    int type;
    int dx, dy; /* from the centre, points */
    bool inked;
    const char* what;
  };
  const Sample samples[] = {
      {1, 0, 0, true, "dot"},
      {1, 5, 5, false, "around the dot"},
      {2, 8, 0, true, "plus arm"},
      {2, 0, -8, true, "plus arm down"},
      {2, 6, 6, false, "between arms"},
      {3, 7, 7, true, "star diagonal"},
      {3, 8, 0, true, "star arm"},
      {3, 9, 4, false, "between rays"},
      {4, -10, 0, true, "circle left"},
      {4, 0, 10, true, "circle top"},
      {4, 0, 0, false, "circle centre"},
      {5, 7, 7, true, "cross arm"},
      {5, 8, 0, false, "beside the cross"},
      {6, -10, 0, true, "square side"},
      {6, 0, 10, true, "square top"},
      {6, 0, 0, false, "square inside"},
      {7, 0, 10, true, "base on top"},
      {7, 0, -9, true, "apex below"},
      {7, 0, 3, false, "triangle inside"},
      {8, 0, 0, true, "point"},
      {8, 4, 0, false, "beside the point"},
      {9, 0, -10, true, "base below"},
      {9, 0, 9, true, "apex above"},
      {9, 0, -3, false, "triangle inside"},
  };
  for (const Sample& s : samples) {
    const int x = 60 * s.type + s.dx, y = 300 + s.dy;
    const int n = ink(page, x - 1, y - 1, x + 1, y + 1);
    if (s.inked)
      EXPECT_GT(n, 0) << "type " << s.type << ": " << s.what;
    else
      EXPECT_EQ(n, 0) << "type " << s.type << ": " << s.what;
  }
}

/* Markers on the window, in a world of one unit a pixel (y down), red on
 * white; shadows are black. */
TEST(Polymarkers, WindowMarkersAreDrawnInPixels) {
  struct Pixel {
    int x, y;
    char want; /* 'r' red, 'k' black, 'w' white */
  };
  struct Case {
    int type;
    float size;
    int shadows;
    Gpt centre;
    std::vector<Pixel> pixels;
    const char* why;
  };
  const std::vector<Case> cases = {
      {2,
       1,
       0,
       {100, 100},
       {{95, 100, 'r'},
        {105, 100, 'r'},
        {100, 95, 'r'},
        {100, 105, 'r'},
        {94, 100, 'w'},
        {106, 100, 'w'},
        {97, 97, 'w'}},
       "plus of full size 10"},
      {1, 1, 0, {20, 20}, {{20, 20, 'r'}, {21, 20, 'r'}, {21, 21, 'r'}, {20, 21, 'r'}, {22, 20, 'w'}}, "dot"},
      {6, 1, 0, {200, 100}, {{195, 105, 'r'}, {205, 95, 'r'}, {200, 105, 'r'}, {200, 100, 'w'}}, "square"},
      {7, 1, 0, {300, 100}, {{295, 105, 'r'}, {300, 95, 'r'}, {300, 94, 'w'}}, "triangle with its apex up"},
      {8, 1, 0, {350, 100}, {{350, 100, 'r'}, {351, 100, 'w'}, {349, 100, 'w'}}, "point"},
      {10, 1, 0, {400, 100}, {{400, 100, 'w'}, {395, 100, 'w'}}, "no such shape"},
      {2, 0.15f, 0, {450, 100}, {{451, 100, 'w'}, {450, 101, 'w'}, {449, 100, 'w'}}, "half size 0: no arms"},
      {2,
       2,
       3,
       {100, 300},
       {{103, 300, 'r'}, {103, 301, 'k'}, {103, 302, 'k'}, {103, 303, 'w'}},
       "shadows 0, 1 and 2 pixels right and down, the first under the marker"},
  };
  kez_test::XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok());
  TempDir dir;
  auto r = run_child([&] {
    setenv("kezinverse", "1", 1);
    if (gks_test::open_window(x) != 0) return 1;
    use_tran(1, lim(0, 511, 511, 0), lim(0, 1, 0, 1));
    const Gcolr_rep red{1, 0, 0};
    gset_colr_rep(1, 2, &red);
    gset_marker_colr_ind(2);
    for (const Case& c : cases) {
      gset_marker_type(c.type);
      gset_marker_size(c.size);
      gset_font_drop(c.shadows);
      gpolymarker(1, &c.centre);
    }
    gks_test::write_ppm(dir.file("w.ppm"), gks_test::window_picture(x));
    return gclose_ws(1);
  });
  ASSERT_EQ(r.status, 0) << r.err;
  kez_test::RgbImage picture;
  ASSERT_TRUE(gks_test::read_ppm(dir.file("w.ppm"), &picture));
  for (const Case& c : cases) {
    for (const Pixel& p : c.pixels) {
      const std::array<int, 3> want = p.want == 'r'   ? std::array<int, 3>{255, 0, 0}
                                      : p.want == 'k' ? std::array<int, 3>{0, 0, 0}
                                                      : std::array<int, 3>{255, 255, 255};
      EXPECT_TRUE(gks_test::near_rgb(picture.at(p.x, p.y), want))
          << c.why << " at " << p.x << "," << p.y << ": " << gks_test::rgb_text(picture.at(p.x, p.y));
    }
  }
}

} // namespace
