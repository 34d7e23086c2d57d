#include <gtest/gtest.h>

#include <X11/Xutil.h>

#include <array>
#include <string>
#include <vector>

#include "gks_scenario.h"
#include "gks_window.h"
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
        {505, 0, "print colours cannot be redefined"},
        {257, -1, "past the background"},
        {-2, -1, "below -1"},
        {3, 0, "a drawing colour"},
        {256, 0, "the background"},
        {-1, 0, "-1 names the background"},
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

/* ---- X colours ------------------------------------------------------------ */

namespace xcolours {

using gks_test::near_rgb;
using gks_test::open_window;
using gks_test::rgb_text;
using kez_test::RgbImage;
using kez_test::XServer;

/* A wide red line in index 2 at y 30 (pixel row 357), index 2 redefined as
 * blue, then a second line at y 60 (row 204): read-write cells recolour the
 * first line, shared colours leave it red. */
TEST(WindowColours, RedefiningAColourRecoloursWhatReadWriteCellsDrew) {
  struct Case {
    int depth;
    std::array<int, 3> first_line;
  };
  const Case cases[] = {{8, {0, 0, 255}}, {24, {255, 0, 0}}};
  for (const Case& c : cases) {
    XServer x(800, 700, c.depth);
    ASSERT_TRUE(x.ok());
    TempDir dir;
    auto r = run_child([&] {
      if (open_window(x) != 0) return 1;
      const Gcolr_rep red{1, 0, 0}, blue{0, 0, 1};
      gset_colr_rep(1, 2, &red);
      gks_test::use_tran(1, gks_test::lim(0, 100, 0, 100), gks_test::lim(0, 1, 0, 1));
      gset_line_colr_ind(2);
      gset_linewidth(7);
      Gpt first[2] = {{10, 30}, {90, 30}}, second[2] = {{10, 60}, {90, 60}};
      gpolyline(2, first);
      gset_colr_rep(1, 2, &blue);
      gpolyline(2, second);
      gks_test::write_ppm(dir.file("w.ppm"), gks_test::window_picture(x));
      return gclose_ws(1);
    });
    ASSERT_EQ(r.status, 0) << r.err;
    RgbImage picture;
    ASSERT_TRUE(gks_test::read_ppm(dir.file("w.ppm"), &picture));
    EXPECT_TRUE(near_rgb(picture.at(255, 357), c.first_line)) << c.depth << ": " << rgb_text(picture.at(255, 357));
    EXPECT_TRUE(near_rgb(picture.at(255, 204), {0, 0, 255})) << c.depth << ": " << rgb_text(picture.at(255, 204));
  }
}

/* The line, marker, fill and text contexts each draw in the colour last
 * set for them, however the four are set in turn before a draw (a station
 * model sets all four for each field), and a line whose colour is
 * redefined before it is drawn takes the new colour. */
TEST(WindowColours, EachContextDrawsInTheColourLastSetForIt) {
  const std::array<Gcolr_rep, 5> reps = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}, {1, 0, 1}}};
  const std::array<std::array<int, 3>, 5> rgb = {{{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}, {255, 0, 255}}};
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok());
  TempDir dir;
  auto r = run_child([&] {
    RES_put("file_path", KEZ_DATA_DIR);
    if (open_window(x) != 0) return 1;
    for (int i = 0; i < 5; ++i) gset_colr_rep(1, 2 + i, &reps[static_cast<size_t>(i)]);
    gks_test::use_tran(1, gks_test::lim(0, 100, 0, 100), gks_test::lim(0, 1, 0, 1));
    gset_linewidth(5);
    gset_marker_type(3);
    gset_marker_size(2);
    gset_char_ht(8);
    for (int k = 0; k < 4; ++k) {
      /* Magenta first, then each kind its own colour of the round. */
      gset_line_colr_ind(6);
      gset_marker_colr_ind(6);
      gset_fill_colr_ind(6);
      gset_text_colr_ind(6);
      gset_line_colr_ind(2 + k % 4);
      gset_marker_colr_ind(2 + (k + 1) % 4);
      gset_fill_colr_ind(2 + (k + 2) % 4);
      gset_text_colr_ind(2 + (k + 3) % 4);
      const float y = 90 - 20 * static_cast<float>(k);
      const Gpt line[2] = {{5, y}, {25, y}}, mark{40, y}, word{70, y - 3};
      const Gpt square[4] = {{50, y - 3}, {60, y - 3}, {60, y + 3}, {50, y + 3}};
      gpolyline(2, line);
      gpolymarker(1, &mark);
      gfill_area(4, square);
      gtext(&word, "H");
    }
    gset_line_colr_ind(2);
    const Gcolr_rep cyan{0, 1, 1};
    gset_colr_rep(1, 2, &cyan);
    const Gpt last[2] = {{5, 8}, {25, 8}};
    gpolyline(2, last);
    gks_test::write_ppm(dir.file("w.ppm"), gks_test::window_picture(x));
    return gclose_ws(1);
  });
  ASSERT_EQ(r.status, 0) << r.err;
  RgbImage picture;
  ASSERT_TRUE(gks_test::read_ppm(dir.file("w.ppm"), &picture));
  /* The pixels of a box of world units in each test colour. */
  auto colours_in = [&](float x0, float x1, float y0, float y1) {
    std::array<int, 6> n{};
    for (int px = static_cast<int>(x0 * 5.11f); px <= static_cast<int>(x1 * 5.11f); ++px)
      for (int py = static_cast<int>(511 * (1 - y1 / 100)); py <= static_cast<int>(511 * (1 - y0 / 100)); ++py) {
        for (size_t c = 0; c < rgb.size(); ++c) n[c] += near_rgb(picture.at(px, py), rgb[c]) ? 1 : 0;
        n[5] += near_rgb(picture.at(px, py), {0, 255, 255}) ? 1 : 0;
      }
    return n;
  };
  auto only = [](const std::array<int, 6>& n, size_t want) {
    for (size_t c = 0; c < n.size(); ++c)
      if ((c == want) != (n[c] > 0)) return false;
    return true;
  };
  for (int k = 0; k < 4; ++k) {
    const float y = 90 - 20 * static_cast<float>(k);
    struct Part {
      float x0, x1, y0, y1;
      size_t colour;
      const char* what;
    };
    const Part parts[] = {
        {6, 24, y - 0.5f, y + 0.5f, static_cast<size_t>(k % 4), "line"},
        {37, 43, y - 3, y + 3, static_cast<size_t>((k + 1) % 4), "marker"},
        {51, 59, y - 2, y + 2, static_cast<size_t>((k + 2) % 4), "fill"},
        {69, 78, y - 4, y + 6, static_cast<size_t>((k + 3) % 4), "text"},
    };
    for (const Part& p : parts) {
      const std::array<int, 6> n = colours_in(p.x0, p.x1, p.y0, p.y1);
      EXPECT_TRUE(only(n, p.colour)) << "round " << k << " " << p.what << ": " << n[0] << " " << n[1] << " " << n[2]
                                     << " " << n[3] << " " << n[4] << " " << n[5];
    }
  }
  EXPECT_TRUE(only(colours_in(6, 24, 7.5f, 8.5f), 5)) << "the redefined line colour";
}

TEST(WindowColours, APrivateColormapIsMadeOnRequest) {
  struct Case {
    const char* env;
    bool option;
    bool private_map;
  };
  const Case cases[] = {
      {nullptr, false, false}, {"LOCAL_CMAP", false, true}, {"kezlocal_cmap", false, true}, {nullptr, true, true}};
  XServer x(800, 700, 8);
  ASSERT_TRUE(x.ok());
  for (const Case& c : cases) {
    auto r = run_child([&] {
      unsetenv("LOCAL_CMAP");
      unsetenv("kezlocal_cmap");
      if (c.env) setenv(c.env, "", 1);
      gset_local_colormap(c.option);
      if (open_window(x) != 0) return 1;
      const Gcolr_rep orange{1, 0.5f, 0};
      gset_colr_rep(1, 3, &orange);
      gset_fill_colr_ind(3);
      Gpt all[4] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
      gfill_area(4, all);
      Display* other = XOpenDisplay(x.display().c_str());
      XWindowAttributes attrs{};
      XGetWindowAttributes(other, gget_root_window(), &attrs);
      const bool own = attrs.colormap != DefaultColormap(other, DefaultScreen(other));
      XCloseDisplay(other);
      const auto centre = gks_test::window_picture(x).at(255, 255);
      std::printf("own %d user %d colour %s\n", own ? 1 : 0, gget_user_cmap() == attrs.colormap ? 1 : 0,
                  rgb_text(centre).c_str());
      gclose_ws(1);
      return gget_user_cmap() == 0 ? 0 : 2;
    });
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string want = c.private_map ? "own 1 user 1 " : "own 0 user 0 ";
    EXPECT_NE(r.out.find(want + "colour 255,127,0\n"), std::string::npos) << (c.env ? c.env : "option") << r.out;
  }
}

/* Another client takes every free cell of the default colormap: the kernel
 * gets neither a cell nor a shared colour and takes the nearest colour the
 * colormap holds. */
TEST(WindowColours, AFullColormapGivesTheNearestColour) {
  XServer x(800, 700, 8);
  ASSERT_TRUE(x.ok());
  Display* hog = XOpenDisplay(x.display().c_str());
  ASSERT_NE(hog, nullptr);
  const Colormap cmap = DefaultColormap(hog, DefaultScreen(hog));
  std::vector<unsigned long> cells;
  unsigned long pixel = 0;
  while (XAllocColorCells(hog, cmap, False, nullptr, 0, &pixel, 1)) cells.push_back(pixel);
  ASSERT_GT(cells.size(), 100u);
  for (size_t i = 0; i < cells.size(); ++i) {
    XColor grey{};
    grey.pixel = cells[i];
    grey.red = grey.green = grey.blue = static_cast<unsigned short>(i * 65535 / cells.size());
    grey.flags = DoRed | DoGreen | DoBlue;
    if (i == cells.size() / 3) { /* the nearest to the colour asked for below */
      grey.red = 0xE000;
      grey.green = 0x3000;
      grey.blue = 0x9C00;
    }
    XStoreColor(hog, cmap, &grey);
  }
  XSync(hog, False);
  TempDir dir;
  auto r = run_child([&] {
    if (open_window(x) != 0) return 1;
    /* Not among the colours the server keeps for every client. */
    const Gcolr_rep pink{0.9f, 0.2f, 0.6f};
    gset_colr_rep(1, 2, &pink);
    gset_fill_colr_ind(2);
    Gpt all[4] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    gfill_area(4, all);
    gks_test::write_ppm(dir.file("w.ppm"), gks_test::window_picture(x));
    return gclose_ws(1);
  });
  XCloseDisplay(hog);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.find("X11 error"), std::string::npos) << r.err;
  RgbImage picture;
  ASSERT_TRUE(gks_test::read_ppm(dir.file("w.ppm"), &picture));
  EXPECT_TRUE(near_rgb(picture.at(255, 255), {224, 48, 156})) << rgb_text(picture.at(255, 255));
}

TEST(WindowColours, TrueColourPixelsComeFromTheVisualMasks) {
  struct Case {
    int depth;
    unsigned int r, g, b;
    unsigned long pixel;
  };
  const Case cases[] = {
      {24, 0xFFFF, 0, 0, 0xFF0000}, {24, 0, 0x8000, 0, 0x008000}, {24, 0x1234, 0x5678, 0x9ABC, 0x12569A},
      {16, 0xFFFF, 0, 0, 0xF800},   {16, 0, 0xFFFF, 0, 0x07E0},   {16, 0x1234, 0x5678, 0x9ABC, 0x12B3},
  };
  for (int depth : {24, 16}) {
    XServer x(320, 240, depth);
    ASSERT_TRUE(x.ok());
    auto r = run_child([&] {
      gks_test::Checks check;
      if (open_window(x) != 0) return 1;
      for (const Case& c : cases) {
        if (c.depth != depth) continue;
        const unsigned long got = gget_color_rgb_Xval(c.r, c.g, c.b);
        check(got == c.pixel, "depth " + std::to_string(depth) + ": " + std::to_string(got));
      }
      /* The server gives an allocated colour the same pixel. */
      const int allocated = galloc_colr(5, 1, 0, 1);
      check(static_cast<unsigned long>(allocated) == gget_color_rgb_Xval(0xFFFF, 0, 0xFFFF), "allocated magenta");
      gclose_ws(1);
      return check.status();
    });
    EXPECT_EQ(r.status, 0) << r.out << r.err;
  }
}

/* The kernel computes true-colour pixels itself; a second client asking
 * the server for the same colours gets the same pixels, over a sweep of
 * colours that includes the levels' midpoints, where truncating or rounding
 * would differ from the server's answer at 16 bits and at 24. The sweep
 * makes no X request at all. The background keeps the components that the
 * server would have given. */
TEST(WindowColours, TrueColourPixelsAreTheServersWithoutAsking) {
  for (int depth : {16, 24}) {
    XServer x(320, 240, depth);
    ASSERT_TRUE(x.ok());
    auto r = run_child([&] {
      gks_test::Checks check;
      gset_background("#ff0408");
      if (open_window(x) != 0) return 1;
      Display* other = XOpenDisplay(x.display().c_str());
      if (!other) return 2;
      const Colormap cmap = DefaultColormap(other, DefaultScreen(other));
      auto component = [](float v) { return static_cast<unsigned short>(static_cast<int>(v * 65535.0f)); };
      auto server = [&](float r, float g, float b) {
        XColor c{};
        c.red = component(r);
        c.green = component(g);
        c.blue = component(b);
        c.flags = DoRed | DoGreen | DoBlue;
        XAllocColor(other, cmap, &c);
        return c;
      };
      std::vector<std::array<float, 3>> colours;
      unsigned int seed = 12345;
      auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<float>((seed >> 8) & 0xFFFF) / 65535.0f;
      };
      for (int i = 0; i < 1500; ++i) colours.push_back({next(), next(), next()});
      for (int k = 0; k < 63; ++k) {
        /* Half a 6-bit and half an 8-bit step above each level. */
        const float a = (static_cast<float>(k) + 0.5f) / 63.0f, b = (static_cast<float>(k * 4) + 0.5f) / 255.0f;
        colours.push_back({a, b, 1 - b});
      }
      const unsigned long requests = XNextRequest(gget_display());
      std::vector<int> pixels;
      for (const auto& c : colours) pixels.push_back(galloc_colr(5, c[0], c[1], c[2]));
      check(XNextRequest(gget_display()) == requests, "no request for a colour");
      int wrong = 0;
      for (std::size_t i = 0; i < colours.size(); ++i) {
        const XColor want = server(colours[i][0], colours[i][1], colours[i][2]);
        if (static_cast<unsigned long>(pixels[i]) != want.pixel && ++wrong <= 3)
          check(false,
                "colour " + std::to_string(i) + ": " + std::to_string(pixels[i]) + " != " + std::to_string(want.pixel));
      }
      check(wrong == 0, std::to_string(wrong) + " pixels differ");
      float r = 0, g = 0, b = 0;
      gget_color_rgb(-1, &r, &g, &b);
      const XColor back = server(1.0f, 4.0f / 255.0f, 8.0f / 255.0f);
      check(static_cast<unsigned long>(gget_back_color()) == back.pixel, "background pixel");
      check(std::lround(r * 65535) == back.red && std::lround(g * 65535) == back.green &&
                std::lround(b * 65535) == back.blue,
            "background components as the server gives them");
      XCloseDisplay(other);
      gclose_ws(1);
      return check.status();
    });
    EXPECT_EQ(r.status, 0) << depth << ": " << r.out << r.err;
  }
}

/* A colormap that is not a fixed true-colour one (here a direct-colour map
 * given as the user's colormap) answers the probe otherwise: its colours
 * come from the server, which shows them as asked. */
TEST(WindowColours, AColormapThatAnswersOtherwiseIsAskedEveryTime) {
  XServer x(320, 240, 24);
  ASSERT_TRUE(x.ok());
  auto r = run_child([&] {
    gks_test::Checks check;
    if (open_window(x) != 0) return 1;
    Display* d = gget_display();
    XVisualInfo direct{};
    if (!XMatchVisualInfo(d, gget_screen(), 24, DirectColor, &direct)) return 2;
    const Colormap cmap = XCreateColormap(d, RootWindow(d, gget_screen()), direct.visual, AllocNone);
    gset_user_cmap(cmap);
    const float colours[][3] = {{1, 0.5f, 0.25f}, {0.2f, 0.4f, 0.6f}, {0, 1, 0}};
    for (const auto& c : colours) {
      XColor shown{};
      shown.pixel = static_cast<unsigned long>(galloc_colr(6, c[0], c[1], c[2]));
      XQueryColor(d, cmap, &shown);
      check(std::abs(shown.red / 257 - static_cast<int>(c[0] * 255)) <= 1 &&
                std::abs(shown.green / 257 - static_cast<int>(c[1] * 255)) <= 1 &&
                std::abs(shown.blue / 257 - static_cast<int>(c[2] * 255)) <= 1,
            "the direct-colour map shows the colour asked for");
    }
    gset_user_cmap(0);
    XFreeColormap(d, cmap);
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(WindowColours, BackgroundFromTheSettingTheCallOrTheScreen) {
  struct Case {
    const char* setting;
    const char* given;
    bool inverse, table;
    std::array<int, 3> window, entry;
    const char* message;
  };
  const Case cases[] = {
      {nullptr, nullptr, false, false, {0, 0, 0}, {0, 0, 0}, nullptr},
      {nullptr, nullptr, true, false, {255, 255, 255}, {255, 255, 255}, nullptr},
      {"navy", nullptr, false, false, {0, 0, 128}, {0, 0, 128}, nullptr},
      {"navy", "#ff8000", false, false, {255, 128, 0}, {255, 128, 0}, nullptr},
      {"lred", nullptr, false, true, {240, 128, 128}, {240, 128, 128}, nullptr},
      {"over", nullptr, true, false, {255, 255, 255}, {255, 255, 255}, nullptr},
      {"lred", nullptr, false, false, {0, 0, 0}, {0, 0, 0}, "ginit_background: unknown background colour"},
  };
  XServer x(320, 240, 24);
  ASSERT_TRUE(x.ok());
  for (const Case& c : cases) {
    auto r = run_child([&] {
      if (c.setting) RES_put("background", c.setting);
      if (c.given) gset_background(c.given);
      if (c.inverse) setenv("kezinverse", "1", 1);
      if (c.table) CLR_read_table(KEZ_DATA_DIR "/kez.clr");
      if (open_window(x) != 0) return 1;
      int red = 0, green = 0, blue = 0;
      gget_color_rgb256(-1, &red, &green, &blue);
      std::printf("window %s entry %d,%d,%d\n", rgb_text(gks_test::window_picture(x).at(100, 100)).c_str(), red, green,
                  blue);
      return gclose_ws(1);
    });
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string want = "window " + rgb_text(c.window) + " entry ";
    EXPECT_NE(r.out.find(want), std::string::npos) << (c.setting ? c.setting : "none") << ": " << r.out;
    int e[3] = {-1, -1, -1};
    std::sscanf(r.out.c_str() + r.out.find("entry "), "entry %d,%d,%d", &e[0], &e[1], &e[2]);
    EXPECT_TRUE(near_rgb({e[0], e[1], e[2]}, c.entry)) << r.out;
    if (c.message) {
      EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
  }
}

} // namespace xcolours
