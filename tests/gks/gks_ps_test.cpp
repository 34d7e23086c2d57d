#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <sstream>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "gks_scenario.h"
#include "kez_test.h"
#include "kezimg.h"
#include "ps_render.h"

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
using kez_test::write_file;

/* The prolog from its comments' end to the plot comment. */
std::string prolog_of(const std::string& ps) {
  size_t from = ps.find("%%EndComments\n"), to = ps.find("%%KEZ Plot:");
  return from == std::string::npos || to == std::string::npos ? "?" : ps.substr(from, to - from);
}

std::string trailer_of(const std::string& ps) {
  size_t from = ps.find("%%End of plot\n");
  return from == std::string::npos ? "?" : ps.substr(from);
}

const std::string procedures =
    "/inch {72 mul} def\n/dot {.33 mul} def\n/mv {moveto} def\n/ln {lineto} def\n"
    "/lw {setlinewidth} def\n/np {newpath} def\n/cp {closepath} def\n"
    "/X 0 def\n/Y 0 def\n/d {Y add /Y exch def X add /X exch def X 100 div Y 100 div} bind def\n"
    "/m {d moveto} bind def\n/M {newpath d moveto} bind def\n"
    "/L {0 2 2 index length 1 sub {1 index exch 2 getinterval aload pop d lineto} for pop} bind def\n"
    "/S {L stroke} bind def\n";
const std::string plain_trailer = "%%End of plot\nsaveobj restore\nshowpage\nend\n%%EOF\n";
/* The EPS takes back the state saved under its last clip. */
const std::string eps_trailer = "%%End of plot\ngrestore\nshowpage\n%%EOF\n";

/* The box line of an EPS header: kept at one length, so that the box of
 * the finished figure can replace it. */
std::string box_line(const std::string& numbers) {
  std::string line = "%%BoundingBox: " + numbers;
  line.resize(59, ' ');
  return line + "\n";
}

TEST(PostScriptWriter, HeaderPlacementAndTrailerPerKind) {
  struct Case {
    const char* options;
    std::string header;
    std::string prolog;
    std::string trailer;
    const char* why;
  };
  const std::string start = "%%EndComments\n%%Postscript initialization\n";
  const std::string dict = "30 dict begin\n/saveobj save def\n";
  const std::string state = "2 setlinejoin\n1 dot lw\n[] 0 setdash\n";
  const Case cases[] = {
      {"", "%!PS-Adobe-1.0\n%%Title: KEZ Graphics Display: X11_Graph\n",
       start + dict + procedures + "90 rotate\n.25 inch -8.25 inch translate\n0 setgray\n" + state + "%%Begin plot\n",
       plain_trailer, "default letter page, turned, grey"},
      {",eps", "%!PS-Adobe-3.0 EPSF-3.0\n" + box_line("0 0 756 576") + "%%Title:",
       start + procedures + "0.25 0.25 translate\n0 setgray\n" + state + "%%Begin plot\n", eps_trailer,
       "an EPS is an upright figure, a quarter point in from its box's corner"},
      {",eps,port", "%!PS-Adobe-3.0 EPSF-3.0\n" + box_line("0 0 756 576"),
       start + procedures + "0.25 0.25 translate\n0 setgray\n" + state + "%%Begin plot\n", eps_trailer, "upright EPS"},
      {",port,color", "%!PS-Adobe-1.0\n",
       start + dict + procedures + ".25 inch .25 inch translate\n0 0 0 setrgbcolor\n" + state + "%%Begin plot\n",
       plain_trailer, "upright colour page"},
      {",eps,port,scale=0.5", "%!PS-Adobe-3.0 EPSF-3.0\n" + box_line("0 0 378 288"),
       start + procedures + "0.20 0.20 translate\n0 setgray\n" + state + "0.50 0.50 scale\n%%Begin plot\n", eps_trailer,
       "scaled EPS"},
      {",eps,a4", "%!PS-Adobe-3.0 EPSF-3.0\n" + box_line("0 0 805 558"),
       start + procedures + "0.25 0.25 translate\n0 setgray\n" + state + "%%Begin plot\n", eps_trailer,
       "EPS of an A4 plot area"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    auto r = run_child([&] {
      unsetenv("PSCOLOR");
      return open_ps(dir.file("a.ps") + c.options) == 0 && gclose_ws(1) == 0 ? 0 : 1;
    });
    ASSERT_EQ(r.status, 0) << c.why << r.err;
    const std::string ps = read_file(dir.file("a.ps"));
    EXPECT_EQ(ps.rfind(c.header, 0), 0u) << c.why << "\n" << ps.substr(0, 200);
    EXPECT_EQ(prolog_of(ps), c.prolog) << c.why;
    EXPECT_EQ(trailer_of(ps), c.trailer) << c.why;
    EXPECT_NE(ps.find("%%Creator: KEZ Postscript Processor-2.0\n%%CreationDate: "), std::string::npos);
    EXPECT_NE(r.out.find("Creating: " + dir.file("a.ps") + "\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Created Postscript file\n"), std::string::npos);
  }
}

/* An appended plot brings the procedures that its drawing uses, whoever
 * began the file. */
TEST(PostScriptWriter, AppendingWritesNoHeaderAndNoTrailer) {
  TempDir dir;
  write_file(dir.file("a.ps"), "%first plot\n");
  auto r = run_child([&] {
    open_ps("+" + dir.file("a.ps"));
    gset_win_title("Surface");
    gclose_ws(1);
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string ps = read_file(dir.file("a.ps"));
  EXPECT_EQ(
      ps.rfind("%first plot\n" + procedures + "0 setgray\n1 dot lw\n[] 0 setdash\n%%KEZ Plot: X11_Graph\ninitclip\n",
               0),
      0u)
      << ps;
  EXPECT_EQ(trailer_of(ps), "%%End of plot\n");
  EXPECT_NE(r.out.find("Appending to: " + dir.file("a.ps") + "\n"), std::string::npos) << r.out;
}

/* One line and one fill in each of three colours; returns the body. */
std::string colour_scene(const std::string& options, const std::function<void()>& between = {}) {
  TempDir dir;
  auto r = run_child([&] {
    unsetenv("PSCOLOR");
    open_ps(dir.file("a.ps") + options);
    use_tran(1, lim(0, 575, 0, 575), lim(0, 1, 0, 1));
    Gcolr_rep colours[] = {{1, 0, 0}, {0, 1, 0}, {1, 1, 1}};
    for (int i = 0; i < 3; ++i) gset_colr_rep(1, 2 + i, &colours[i]);
    Gpt line[2] = {{1, 1}, {2, 2}}, area[3] = {{1, 1}, {2, 1}, {2, 2}};
    for (int i = 0; i < 3; ++i) {
      gset_line_colr_ind(2 + i);
      gpolyline(2, line);
      gpolyline(2, line);
      gset_fill_colr_ind(2 + i);
      gfill_area(3, area);
      if (i == 0 && between) between();
    }
    gclose_ws(1);
    return 0;
  });
  return r.status == 0 ? body_of(read_file(dir.file("a.ps"))) : "failed: " + r.err;
}

TEST(PostScriptWriter, GreyOutputDrawsLinesBlackAndFillsInGrey) {
  const std::string body = colour_scene("");
  EXPECT_EQ(count(body, "setrgbcolor"), 0);
  EXPECT_NE(body.find("0.333 setgray\nfill"), std::string::npos) << "red fill";
  EXPECT_NE(body.find("0.370 setgray\nfill"), std::string::npos) << "green fill";
  EXPECT_NE(body.find("1.000 setgray\nfill"), std::string::npos) << "white fill";
  EXPECT_NE(body.find("0 setgray\nnp"), std::string::npos) << "a line after a grey fill is black again";
}

TEST(PostScriptWriter, ColourOutputWritesEachColourOnce) {
  const std::string body = colour_scene(",color");
  EXPECT_EQ(count(body, "1.00 0.00 0.00 setrgbcolor\n"), 1) << body;
  EXPECT_EQ(count(body, "0.00 1.00 0.00 setrgbcolor\n"), 1);
  EXPECT_EQ(count(body, "1.00 1.00 1.00 setrgbcolor\n"), 1);
  EXPECT_EQ(count(body, "setgray"), 0);
  /* Redefining the colour in force writes it again. */
  const std::string redefined = colour_scene(",color", [] {
    Gcolr_rep blue{0, 0, 1};
    gset_colr_rep(1, 2, &blue);
    Gpt line[2] = {{1, 1}, {2, 2}};
    gpolyline(2, line);
  });
  EXPECT_NE(redefined.find("0.00 0.00 1.00 setrgbcolor\nnp"), std::string::npos) << redefined;
  /* So does one redefined while another was in force, when next used. */
  const std::string later = colour_scene(",color", [] {
    Gpt line[2] = {{1, 1}, {2, 2}};
    gset_line_colr_ind(3);
    gpolyline(2, line);
    Gcolr_rep blue{0, 0, 1};
    gset_colr_rep(1, 2, &blue);
    gset_line_colr_ind(2);
    gpolyline(2, line);
  });
  EXPECT_EQ(count(later, "1.00 0.00 0.00 setrgbcolor\n"), 1) << later;
  EXPECT_NE(later.find("0.00 1.00 0.00 setrgbcolor\nnp"), std::string::npos) << later;
  EXPECT_NE(later.find("0.00 0.00 1.00 setrgbcolor\nnp"), std::string::npos) << later;
}

/* A program that ends without closing its page leaves in the file all it
 * drew, though the stream writes through a buffer of the writer's. */
TEST(PostScriptWriter, APageLeftOpenAtExitHoldsWhatWasDrawn) {
  TempDir dir;
  auto r = run_child([&] {
    open_ps(dir.file("a.ps"));
    use_tran(1, lim(0, 575, 0, 575), lim(0, 1, 0, 1));
    std::vector<Gpt> walk;
    for (int i = 0; i < 3000; ++i) walk.push_back({static_cast<float>(i % 500) + 0.5f, static_cast<float>(i / 500)});
    gpolyline(static_cast<int>(walk.size()), walk.data());
    gpolyline(2, walk.data());
    std::exit(0);
    return 1;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string ps = read_file(dir.file("a.ps"));
  EXPECT_EQ(count(ps, "]S\n"), 2) << ps.size();
  EXPECT_NE(ps.find("%%PL:2\n"), std::string::npos);
  EXPECT_EQ(ps.find("%%EOF"), std::string::npos);
}

/* A child forked in the middle of a page (a detached plot) ends through
 * exit, and the page still holds each primitive once: what the parent drew
 * before the fork, the child's own, and the parent's after it. */
TEST(PostScriptWriter, AForkWritesNothingTwice) {
  TempDir dir;
  auto r = run_child([&] {
    open_ps(dir.file("a.ps"));
    use_tran(1, lim(0, 575, 0, 575), lim(0, 1, 0, 1));
    const std::vector<Gpt> line = {{10, 10}, {20, 30}, {40, 10}};
    gpolyline(3, line.data());
    std::fflush(nullptr); /* as the frame's fork does */
    const pid_t child = fork();
    if (child == 0) {
      gpolyline(2, line.data());
      std::exit(0);
    }
    int status = -1;
    if (child < 0 || waitpid(child, &status, 0) != child || status != 0) return 1;
    gpolyline(3, line.data());
    gclose_ws(1);
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string ps = read_file(dir.file("a.ps"));
  EXPECT_EQ(count(ps, "%%PL:3\n"), 2) << ps;
  EXPECT_EQ(count(ps, "%%PL:2\n"), 1) << ps;
  EXPECT_EQ(count(ps, "]S\n"), 3) << ps;
  EXPECT_EQ(count(ps, "%%EOF"), 1);
}

TEST(PostScriptWriter, ReversedGreysTurnTheScale) {
  TempDir dir;
  auto r = run_child([&] {
    gps_set_reverse(1);
    open_ps(dir.file("a.ps"));
    use_tran(1, lim(0, 575, 0, 575), lim(0, 1, 0, 1));
    Gcolr_rep red{1, 0, 0};
    gset_colr_rep(1, 2, &red);
    gset_fill_colr_ind(2);
    Gpt area[3] = {{1, 1}, {2, 1}, {2, 2}};
    gfill_area(3, area);
    gclose_ws(1);
    return 0;
  });
  ASSERT_EQ(r.status, 0);
  EXPECT_NE(read_file(dir.file("a.ps")).find("0.667 setgray\nfill"), std::string::npos);
}

TEST(PostScriptWriter, DashAndWidthAreWrittenOnlyWhenTheyChange) {
  TempDir dir;
  auto r = run_child([&] {
    auto plot = [&](const std::string& name) {
      open_ps(dir.file(name) + ",lwidth=3");
      use_tran(1, lim(0, 575, 0, 575), lim(0, 1, 0, 1));
      Gpt line[2] = {{1, 1}, {2, 2}};
      gset_linetype(3);
      gset_linewidth(2);
      gpolyline(2, line);
      gpolyline(2, line);
      gset_linetype(7); /* no dash of its own: the last one stays */
      gpolyline(2, line);
      gset_line_colr_ind(502);
      gpolyline(2, line);
      gclose_ws(1);
    };
    plot("a.ps");
    plot("b.ps");
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* name : {"a.ps", "b.ps"}) {
    const std::string body = body_of(read_file(dir.file(name)));
    EXPECT_EQ(count(body, "setdash"), 1) << name << "\n" << body;
    EXPECT_NE(body.find("%%PL:2\n6.0 dot lw\n[3 6] 0 setdash\nnp"), std::string::npos) << name;
    EXPECT_NE(body.find("%%PL:2\n24 dot lw\nnp"), std::string::npos) << "quadruple black with base width 3";
  }
}

/* Points written through the device in a child; the body of the page. */
std::string written_points(const std::vector<std::array<float, 2>>& points) {
  TempDir dir;
  auto r = run_child([&] {
    open_ps(dir.file("a.ps"));
    gps_move_abs(points[0][0], points[0][1]);
    for (size_t i = 1; i < points.size(); ++i) gps_line_abs(points[i][0], points[i][1]);
    gclose_ws(1);
    return 0;
  });
  return r.status == 0 ? read_file(dir.file("a.ps")) : "failed: " + r.err;
}

/* The page's steps must add up to the point that "%3.2f" writes, ties and
 * all, or the page would draw elsewhere than the plain form did. */
TEST(PostScriptWriter, PathPointsRoundAsTwoDecimalsDo) {
  std::vector<std::array<float, 2>> points = {
      {0.125f, 0.375f},  /* ties in binary: to the even hundredth */
      {-0.125f, 2.675f}, /* 2.675 is a little below the tie */
      {1.005f, -0.004f}, /* -0.004 writes as -0.00, the same point as 0.00 */
      {575.1f, -0.1f},   /* the clip's margins */
      {99999.99f, -99999.99f}, {0.005f, 1e-7f},
  };
  std::mt19937 rng(64);
  std::uniform_real_distribution<float> near(-1000.0f, 1000.0f);
  for (int i = 0; i < 3000; ++i) points.push_back({near(rng), near(rng)});
  for (int i = 0; i < 300; ++i) points.push_back({std::round(near(rng) * 100) / 100 + 0.005f, near(rng) / 1000});

  /* What follows the clip of the workstation's open. */
  auto drawn = [](const std::string& ps) {
    const std::string body = body_of(ps);
    const size_t at = body.find("cp\nclip\n");
    return at == std::string::npos ? body : body.substr(at + 8);
  };
  std::istringstream got(drawn(written_points(points)));
  std::string line;
  char want[64];
  for (size_t i = 0; i < points.size(); ++i) {
    std::snprintf(want, sizeof want, "%3.2f %3.2f %s", static_cast<double>(points[i][0]),
                  static_cast<double>(points[i][1]), i == 0 ? "mv" : "ln");
    std::string expected = want;
    for (size_t at = expected.find("-0.00 "); at != std::string::npos; at = expected.find("-0.00 "))
      expected.erase(at, 1); /* the same point */
    ASSERT_TRUE(std::getline(got, line)) << "point " << i;
    ASSERT_EQ(line, expected) << "point " << i << ": " << points[i][0] << " " << points[i][1];
  }

  /* A point the kernel would never hand over still writes a number. */
  EXPECT_EQ(drawn(written_points({{std::nanf(""), 1e30f}, {-1e30f, 2}})),
            "0.00 10000000.00 mv\n-10000000.00 2.00 ln\n");
}

/* The moves and lines of a page in the plain form, nothing else. */
std::string path_points(const std::string& ps) {
  std::istringstream in(gks_test::plain_paths(body_of(ps)));
  std::string line, out;
  while (std::getline(in, line))
    if (line.size() > 3 &&
        (line.compare(line.size() - 3, 3, " mv") == 0 || line.compare(line.size() - 3, 3, " ln") == 0))
      out += line + "\n";
  return out;
}

/* A polyline's points go to the page a batch at a time (converted, rounded
 * and written as steps two points at once); the page holds what a move and
 * a line per point converted one by one write, for odd and even counts,
 * points far off the page, half-hundredth ties and steps beyond the short
 * table. */
TEST(PostScriptWriter, PolylineBatchesWriteWhatPointByPointLinesWrite) {
  std::vector<Gpt> pts = {{0.3f, 0.3f}, {0.6f, 0.6f}}; /* inside the window: not culled */
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> near(-1.0f, 2.0f), far(-3e5f, 3e5f);
  for (int i = 0; i < 1001; ++i) pts.push_back({near(rng), near(rng)});
  for (int i = 0; i < 40; ++i) pts.push_back({far(rng), near(rng)});
  for (int k = -30; k <= 30; ++k) pts.push_back({0.5f + 0.005f * static_cast<float>(k) / 575, 0.25f});
  pts.push_back({1e30f, -1e30f});
  pts.push_back({0.3f, 0.3f});
  for (int n : {static_cast<int>(pts.size()), 2, 3, 66, 129}) {
    TempDir dir;
    auto r = run_child([&] {
      open_ps(dir.file("batch.ps"));
      gpolyline(n, pts.data());
      gclose_ws(1);
      open_ps(dir.file("single.ps"));
      gps_move_abs(xW_ps(pts[0].x), yW_ps(pts[0].y));
      for (int i = 1; i < n; ++i)
        gps_line_abs(xW_ps(pts[static_cast<size_t>(i)].x), yW_ps(pts[static_cast<size_t>(i)].y));
      gclose_ws(1);
      return 0;
    });
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string batch = path_points(read_file(dir.file("batch.ps")));
    EXPECT_EQ(count(batch, "\n"), n + 4) << "the clip's four points and the polyline's";
    EXPECT_EQ(batch, path_points(read_file(dir.file("single.ps")))) << n << " points";
  }
}

} // namespace

namespace {

/* A scene of many awkward points: a long random walk, a fill, dashes and
 * markers. */
void draw_walk() {
  use_tran(1, lim(0, 575, 0, 575), lim(0, 1, 0, 1));
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> step(-3.3f, 3.3f);
  std::vector<Gpt> walk{{287.5f, 287.5f}};
  for (int i = 0; i < 4000; ++i)
    walk.push_back(
        {std::clamp(walk.back().x + step(rng), 5.0f, 570.0f), std::clamp(walk.back().y + step(rng), 5.0f, 570.0f)});
  gset_linetype(3);
  gpolyline(static_cast<int>(walk.size()), walk.data());
  gset_linetype(1);
  gset_fill_colr_ind(500);
  gfill_area(200, walk.data() + 1000);
  gset_marker_type(4);
  gpolymarker(100, walk.data() + 2000);
}

/* Ghostscript draws the compact page pixel for pixel as the plain form of
 * the same page, at a resolution where a hundredth of a point shows. */
TEST(PostScriptRendering, CompactPathsDrawWhatThePlainFormDraws) {
  ASSERT_TRUE(kez_test::have_program("gs")) << "ghostscript is needed (tools/install-deps.sh)";
  TempDir dir;
  auto r = run_child([&] {
    if (open_ps(dir.file("compact.ps") + ",color") != 0) return 1;
    draw_walk();
    gclose_ws(1);
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string compact = read_file(dir.file("compact.ps"));
  size_t longest = 0;
  for (size_t at = 0, eol; at < compact.size(); at = eol + 1) {
    eol = std::min(compact.find('\n', at), compact.size());
    longest = std::max(longest, eol - at);
  }
  EXPECT_LE(longest, 255u) << "lines a page reader can take";
  const std::string plain = gks_test::plain_paths(compact);
  ASSERT_EQ(plain.find("?path"), std::string::npos);
  EXPECT_GT(count(plain, " ln\n"), 4000);
  write_file(dir.file("plain.ps"), plain);

  std::string pages[2];
  const char* names[2] = {"compact", "plain"};
  for (int k = 0; k < 2; ++k) {
    const std::string out = dir.file(std::string(names[k]) + ".ppm");
    ASSERT_EQ(kez_test::run_command("gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=ppmraw -r300 -sOutputFile=" + out + " " +
                                    dir.file(std::string(names[k]) + ".ps") + " 2>&1"),
              0);
    pages[k] = read_file(out);
  }
  ASSERT_GT(pages[0].size(), 1000000u);
  EXPECT_TRUE(pages[0] == pages[1]) << "the two renderings differ";
}

} // namespace

namespace {

/* An indexed image of 3 by 2 pixels: red, green, blue over blue, red, out
 * of the table (taken as entry 0). */
struct SmallImage {
  IMG_color colors[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  unsigned char pixels[8] = {0, 1, 2, 9, 2, 0, 7, 9}; /* rows of 4 bytes */
  IMG_report image{};
  SmallImage() {
    image.width = 3;
    image.height = 2;
    image.depth = 8;
    image.bits_pixel = 8;
    image.bytes_line = 4;
    image.color_type = 1;
    image.num_colors = 3;
    image.colors = colors;
    image.data = pixels;
  }
};

std::string image_text(const std::string& options, int x, int y, Glim vp) {
  TempDir dir;
  auto r = run_child([&] {
    unsetenv("PSCOLOR");
    open_ps(dir.file("a.ps") + options);
    gset_vp(0, &vp);
    gps_printf("%%mark\n");
    SmallImage img;
    gps_image(&img.image, x, y);
    gps_printf("%%end\n");
    gclose_ws(1);
    return 0;
  });
  const std::string ps = read_file(dir.file("a.ps"));
  size_t from = ps.find("%mark\n"), to = ps.find("%end\n");
  return r.status != 0 || to == std::string::npos ? "failed" : ps.substr(from + 6, to - from - 6);
}

/* A viewport of 6 by 5 points at the origin of the 575-point square. */
const Glim small_vp = lim(0, 5.0f / 575, 0, 4.0f / 575);

TEST(PostScriptWriter, GreyImageRowsStartWithBlankRowsForANegativeOffset) {
  /* Greys of red, green and blue: 0.333, 0.370 and 0.296 of 255, rounded. */
  EXPECT_EQ(image_text("", 0, -2, small_vp),
            "gsave\n0 0 translate\n6 5 scale\n/picstr 6 string def\n6 5 8 [ 6 0 0 -5 0 5 ]\n"
            "{ currentfile picstr readhexstring pop }\nimage\n"
            "FFFFFFFFFFFF\nFFFFFFFFFFFF\n"
            "555E4CFFFFFF\n4C5555FFFFFF\n"
            "FFFFFFFFFFFF\n"
            "grestore\n");
}

TEST(PostScriptWriter, ColourImageRowsShiftByTheOffsets) {
  EXPECT_EQ(image_text(",color", -2, 1, small_vp),
            "gsave\n0 0 translate\n6 5 scale\n/picstr 6 string def\n6 5 8 [ 6 0 0 -5 0 5 ]\n"
            "{ currentfile picstr readhexstring pop }\nfalse 3 colorimage\n"
            "FFFFFFFFFFFF0000FFFF0000FF0000FFFFFF\n"
            "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF\nFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF\n"
            "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF\nFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF\n"
            "grestore\n");
  /* Column 1 on: green, blue. */
  const std::string shifted = image_text(",color", 1, 0, small_vp);
  EXPECT_NE(shifted.find("colorimage\n00FF000000FFFFFFFFFFFFFFFFFFFFFFFFFF\n"), std::string::npos) << shifted;
}

TEST(PostScriptWriter, LongImageRowsBreakAfterEightySamples) {
  const std::string text = image_text("", 0, -9, lim(0, 80.0f / 575, 0, 0.0001f));
  const std::string row = std::string(160, 'F') + "\nFF\n";
  EXPECT_NE(text.find("image\n" + row + "grestore\n"), std::string::npos) << text;
}

TEST(PostScriptWriter, ImageWithoutPixelsWritesNothing) {
  TempDir dir;
  auto r = run_child([&] {
    open_ps(dir.file("a.ps"));
    SmallImage img;
    img.image.data = nullptr;
    gps_image(&img.image, 0, 0);
    img.image.data = img.pixels;
    img.image.bytes_line = 2; /* shorter than a row */
    gps_image(&img.image, 0, 0);
    gclose_ws(1);
    return 0;
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(count(read_file(dir.file("a.ps")), "gsave"), 0);
  EXPECT_EQ(count(r.err, "gps_image: image record without usable pixels\n"), 2) << r.err;
}

/* ---- rendered by ghostscript ------------------------------------------ */

/* Draws the test scene on transformation 1 (world 0 to 100 on the whole
 * 575-point square, 5.75 points a world unit) and transformation 2 (world 0
 * to 10 on the upper right quarter, a clip). */
void draw_scene() {
  Gcolr_rep red{1, 0, 0}, green{0, 1, 0}, blue{0, 0, 1};
  gset_colr_rep(1, 2, &red);
  gset_colr_rep(1, 3, &green);
  gset_colr_rep(1, 4, &blue);
  use_tran(1, lim(0, 100, 0, 100), lim(0, 1, 0, 1));

  Gpt solid[4] = {{10, 10}, {30, 10}, {30, 30}, {10, 30}};
  gset_fill_colr_ind(2);
  gfill_area(4, solid);
  Gpt hollow[4] = {{40, 10}, {60, 10}, {60, 30}, {40, 30}};
  gset_fill_int_style(GHOLLOW);
  gfill_area(4, hollow);
  gset_fill_int_style(GSOLID);

  /* Wide lines of types 1 to 3 at y 38, 44 and 50; thin ones of every type
   * and width above them. */
  gset_line_colr_ind(4);
  gset_linewidth(30);
  const float wide_y[3] = {38, 44, 50};
  for (int t = 1; t <= 3; ++t) {
    gset_linetype(t);
    Gpt line[2] = {{10, wide_y[t - 1]}, {45, wide_y[t - 1]}};
    gpolyline(2, line);
  }
  for (int t = 1; t <= 5; ++t) {
    gset_linetype(t);
    gset_linewidth(static_cast<float>(t));
    Gpt line[2] = {{10, 55.0f + 5.0f * static_cast<float>(t)}, {45, 55.0f + 5.0f * static_cast<float>(t)}};
    gpolyline(2, line);
  }

  use_tran(2, lim(0, 10, 0, 10), lim(0.5f, 1, 0.5f, 1));
  Gpt beyond[4] = {{-10, -10}, {20, -10}, {20, 20}, {-10, 20}};
  gset_fill_colr_ind(3);
  gfill_area(4, beyond);
}

struct Sample {
  float x, y; /* device points */
  std::array<int, 3> grey, colour;
  const char* what;
};

const std::array<int, 3> white{255, 255, 255};

/* Greys of red and green fills, 0.333 and 0.370. */
const Sample samples[] = {
    {115, 115, {85, 85, 85}, {255, 0, 0}, "inside the solid red square"},
    {287, 115, white, white, "inside the hollow square: nothing drawn"},
    {150, 218.5f, {0, 0, 0}, {0, 0, 255}, "on the wide solid line"},
    {60.5f, 253, {0, 0, 0}, {0, 0, 255}, "first dash of type 2"},
    {66.5f, 253, white, white, "first gap of type 2"},
    {72.5f, 253, {0, 0, 0}, {0, 0, 255}, "second dash of type 2"},
    {59, 287.5f, {0, 0, 0}, {0, 0, 255}, "first dash of type 3"},
    {63.5f, 287.5f, white, white, "gap of type 3"},
    {68, 287.5f, {0, 0, 0}, {0, 0, 255}, "second dash of type 3"},
    {431, 431, {94, 94, 94}, {0, 255, 0}, "fill inside the clip"},
    {280, 431, white, white, "left of the clip"},
    {431, 280, white, white, "below the clip"},
    {500, 100, white, white, "empty paper"},
};

struct Layout {
  const char* options;
  int page_w, page_h;
  bool eps;
  std::function<std::array<float, 2>(float, float)> to_page;
  const char* why;
};

const Layout layouts[] = {
    {"", 612, 792, false,
     [](float x, float y) {
       return std::array<float, 2>{594 - y, 18 + x};
     },
     "landscape page"},
    {",sz=8.5x11,port", 612, 792, false,
     [](float x, float y) {
       return std::array<float, 2>{18 + x, 18 + y};
     },
     "portrait page"},
    {",eps", 800, 700, true,
     [](float x, float y) {
       return std::array<float, 2>{x, y};
     },
     "EPS, never turned"},
    {",eps,port", 800, 700, true,
     [](float x, float y) {
       return std::array<float, 2>{x, y};
     },
     "portrait EPS"},
};

bool close_to(const std::array<int, 3>& got, const std::array<int, 3>& want) {
  for (int i = 0; i < 3; ++i)
    if (std::abs(got[static_cast<size_t>(i)] - want[static_cast<size_t>(i)]) > 3) return false;
  return true;
}

std::string text_of(const std::array<int, 3>& c) {
  return std::to_string(c[0]) + "," + std::to_string(c[1]) + "," + std::to_string(c[2]);
}

TEST(PostScriptRendering, GhostscriptDrawsTheSceneWhereItBelongs) {
  ASSERT_TRUE(kez_test::have_program("gs")) << "ghostscript is needed (tools/install-deps.sh)";
  for (const Layout& layout : layouts) {
    for (const char* colour : {"", ",color"}) {
      TempDir dir;
      const std::string file = dir.file("scene.ps");
      auto r = run_child([&] {
        unsetenv("PSCOLOR");
        if (open_ps(file + layout.options + colour) != 0) return 1;
        draw_scene();
        gclose_ws(1);
        return 0;
      });
      const std::string what = std::string(layout.why) + (*colour ? " in colour" : " in grey");
      ASSERT_EQ(r.status, 0) << what << r.err;
      kez_test::Raster page;
      auto run = kez_test::gs_render(file, layout.page_w, layout.page_h, &page);
      ASSERT_TRUE(run.clean()) << what << ": " << run.log;
      for (const Sample& s : samples) {
        auto p = layout.to_page(s.x, s.y);
        auto got = page.at(static_cast<int>(p[0]), static_cast<int>(p[1]));
        auto want = *colour ? s.colour : s.grey;
        EXPECT_TRUE(close_to(got, want)) << what << ", " << s.what << ": got " << text_of(got) << ", want "
                                         << text_of(want);
      }
      if (!layout.eps) continue;
      std::array<int, 4> measured{}, declared{};
      auto bbox = kez_test::gs_bbox(file, &measured);
      ASSERT_TRUE(bbox.clean()) << what << ": " << bbox.log;
      ASSERT_TRUE(kez_test::declared_bbox(read_file(file), &declared)) << what;
      EXPECT_TRUE(measured[0] >= declared[0] && measured[1] >= declared[1] && measured[2] <= declared[2] &&
                  measured[3] <= declared[3])
          << what << ": measured " << measured[0] << " " << measured[1] << " " << measured[2] << " " << measured[3]
          << " outside " << declared[0] << " " << declared[1] << " " << declared[2] << " " << declared[3];
      /* The box is the figure's, not the plot area's: from 0, and tight
       * but for half the widest line (30 dots, 5 points), which the box
       * allows at every end of every line. */
      for (int k = 0; k < 4; ++k) {
        EXPECT_GE(declared[static_cast<size_t>(k)], 0) << what;
        EXPECT_LE(std::abs(declared[static_cast<size_t>(k)] - measured[static_cast<size_t>(k)]), 6)
            << what << ": side " << k << " declared " << declared[static_cast<size_t>(k)] << " measured "
            << measured[static_cast<size_t>(k)];
      }
    }
  }
}

TEST(PostScriptRendering, EpsBoxHoldsADrawingThatFillsThePlotArea) {
  ASSERT_TRUE(kez_test::have_program("gs"));
  for (const char* options : {",eps", ",eps,port", ",eps,a3,scale=0.5", ",eps,lwidth=20"}) {
    TempDir dir;
    const std::string file = dir.file("full.eps");
    auto r = run_child([&] {
      open_ps(file + options);
      int w = 0, h = 0;
      gget_win_size(&w, &h);
      Glim page = lim(0, static_cast<float>(w), 0, static_cast<float>(h));
      gset_ws_win(1, &page);
      use_tran(1, page, page);
      gset_linewidth(50);
      Gpt frame[5] = {{0, 0},
                      {static_cast<float>(w), 0},
                      {static_cast<float>(w), static_cast<float>(h)},
                      {0, static_cast<float>(h)},
                      {0, 0}};
      gpolyline(5, frame);
      gclose_ws(1);
      return 0;
    });
    ASSERT_EQ(r.status, 0) << r.err;
    std::array<int, 4> measured{}, declared{};
    auto bbox = kez_test::gs_bbox(file, &measured);
    ASSERT_TRUE(bbox.clean()) << options << ": " << bbox.log;
    ASSERT_TRUE(kez_test::declared_bbox(read_file(file), &declared));
    EXPECT_TRUE(measured[0] >= declared[0] && measured[1] >= declared[1] && measured[2] <= declared[2] &&
                measured[3] <= declared[3])
        << options << ": measured " << measured[0] << " " << measured[1] << " " << measured[2] << " " << measured[3]
        << " outside " << declared[0] << " " << declared[1] << " " << declared[2] << " " << declared[3];
    /* And the box is tight: the frame reaches within two points of it. */
    EXPECT_LE(measured[0] - declared[0] + declared[2] - measured[2], 4) << options;
  }
}

} // namespace

namespace {

/* Two viewports, each filled whole in black: the second fill must stay
 * inside the second viewport and out of the first. */
std::string two_clipped_fills(const std::string& file) {
  auto r = run_child([&] {
    if (open_ps(file + ",eps,port") != 0) return 1;
    const Gpt all[4] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    gset_fill_colr_ind(500);
    use_tran(1, lim(0, 1, 0, 1), lim(0.25f, 0.5f, 0.25f, 0.5f));
    gfill_area(4, all);
    use_tran(2, lim(0, 1, 0, 1), lim(0.6f, 0.9f, 0.6f, 0.9f));
    gfill_area(4, all);
    gclose_ws(1);
    return 0;
  });
  return r.status == 0 ? read_file(file) : "failed: " + r.err;
}

bool is_black(const std::array<int, 3>& c) { return c[0] < 40 && c[1] < 40 && c[2] < 40; }
bool is_white(const std::array<int, 3>& c) { return c[0] > 215 && c[1] > 215 && c[2] > 215; }

/* An EPS resets no clip of the page that holds it: each clip change is
 * bracketed by gsave and grestore. The unit square fills 575 points. */
TEST(PostScriptRendering, EpsClipsWithoutInitclipAndStaysInsideThePageThatHoldsIt) {
  ASSERT_TRUE(kez_test::have_program("gs")) << "ghostscript is needed (tools/install-deps.sh)";
  TempDir dir;
  const std::string eps = two_clipped_fills(dir.file("fills.eps"));
  ASSERT_EQ(eps.rfind("failed", 0), std::string::npos) << eps;
  EXPECT_EQ(eps.find("initclip"), std::string::npos);
  EXPECT_EQ(count(eps, "gsave\n"), count(eps, "grestore\n"));

  /* Alone, each fill stays in its viewport. */
  kez_test::Raster alone;
  auto run = kez_test::gs_render(dir.file("fills.eps"), 612, 792, &alone);
  ASSERT_TRUE(run.clean()) << run.log;
  struct Sample {
    int x, y;
    bool ink;
    const char* what;
  };
  constexpr Sample samples[] = {
      {200, 200, true, "inside the first viewport"},  {430, 430, true, "inside the second viewport"},
      {100, 100, false, "below both viewports"},      {300, 450, false, "between the viewports"},
      {560, 560, false, "above the second viewport"},
  };
  for (const Sample& s : samples)
    EXPECT_TRUE(s.ink ? is_black(alone.at(s.x, s.y)) : is_white(alone.at(s.x, s.y))) << "alone, " << s.what;

  /* Placed into a page that clips to 100..250 points, nothing of it shows
   * outside that clip: the second viewport lies wholly outside. */
  const std::string holder =
      "%!PS\nnewpath 100 100 moveto 250 100 lineto 250 250 lineto 100 250 lineto closepath clip\n"
      "save /showpage {} def\n%%BeginDocument: fills.eps\n" +
      eps + "%%EndDocument\nrestore\nshowpage\n";
  write_file(dir.file("holder.ps"), holder);
  kez_test::Raster placed;
  run = kez_test::gs_render(dir.file("holder.ps"), 612, 792, &placed);
  ASSERT_TRUE(run.clean()) << run.log;
  EXPECT_TRUE(is_black(placed.at(200, 200))) << "inside both clips";
  EXPECT_TRUE(is_white(placed.at(270, 270))) << "in the first viewport, outside the page's clip";
  EXPECT_TRUE(is_white(placed.at(430, 430))) << "in the second viewport, outside the page's clip";
}

} // namespace

namespace {

/* Nothing drawn falls off the paper, turned or upright: a fill of the whole
 * plot area stays on the sheet (short side across, in points) and covers
 * most of it. */
TEST(PostScriptRendering, ThePlotAreaFitsThePaperTurnedOrUpright) {
  ASSERT_TRUE(kez_test::have_program("gs")) << "ghostscript is needed (tools/install-deps.sh)";
  struct Case {
    const char* options;
    int paper_w, paper_h;
  };
  constexpr Case cases[] = {
      {"", 612, 792}, {",port", 612, 792}, {",port,a4", 595, 842}, {",legal,port", 612, 1008}, {",land,a3", 842, 1191},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string file = dir.file("page.ps");
    auto r = run_child([&] {
      if (open_ps(file + c.options) != 0) return 1;
      int w = 0, h = 0;
      gget_win_size(&w, &h);
      const Glim area = lim(0, static_cast<float>(w), 0, static_cast<float>(h));
      gset_ws_win(1, &area);
      use_tran(1, area, area);
      gset_fill_colr_ind(500);
      const Gpt all[4] = {{0, 0},
                          {static_cast<float>(w), 0},
                          {static_cast<float>(w), static_cast<float>(h)},
                          {0, static_cast<float>(h)}};
      gfill_area(4, all);
      gclose_ws(1);
      return 0;
    });
    ASSERT_EQ(r.status, 0) << c.options << r.err;
    std::array<int, 4> box{};
    auto bbox = kez_test::gs_bbox(file, &box);
    ASSERT_TRUE(bbox.clean()) << c.options << ": " << bbox.log;
    const std::string got = std::to_string(box[0]) + " " + std::to_string(box[1]) + " " + std::to_string(box[2]) + " " +
                            std::to_string(box[3]);
    EXPECT_TRUE(box[0] >= 0 && box[1] >= 0 && box[2] <= c.paper_w && box[3] <= c.paper_h)
        << c.options << ": drawing " << got << " off the paper " << c.paper_w << " x " << c.paper_h;
    EXPECT_GT(box[2] - box[0], c.paper_w * 8 / 10) << c.options << ": " << got;
    EXPECT_GT(box[3] - box[1], c.paper_h * 8 / 10) << c.options << ": " << got;
  }
}

} // namespace
