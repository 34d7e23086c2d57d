#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include <unistd.h>

#include "gks_scenario.h"
#include "gks_window.h"
#include "kez_test.h"
#include "kezimg.h"
#include "ps_render.h"

namespace {

using gks_test::Checks;
using gks_test::count;
using gks_test::open_ps;
using kez_test::read_file;
using kez_test::run_child;
using kez_test::TempDir;
using kez_test::write_file;

struct Area {
  int width, height, x, y;
};

/* The plot area after opening PostScript on the connection string. */
Area area_after_open(const std::string& conn, const char* geometry_resource, const char* geometry_env) {
  TempDir dir;
  Area area{-1, -1, -1, -1};
  auto r = run_child([&] {
    unsetenv("kezps_param");
    unsetenv("PSGEOMETRY");
    if (geometry_resource) RES_put("geometry", geometry_resource);
    if (geometry_env) setenv("kezps_geometry", geometry_env, 1);
    if (open_ps(dir.file("a.ps") + conn) != 0) return 1;
    Area a{};
    gget_win_size(&a.width, &a.height);
    gget_win_offset(&a.x, &a.y);
    std::printf("area %d %d %d %d\n", a.width, a.height, a.x, a.y);
    gclose_ws(1);
    return 0;
  });
  size_t at = r.out.find("area ");
  if (r.status == 0 && at != std::string::npos)
    std::sscanf(r.out.c_str() + at, "area %d %d %d %d", &area.width, &area.height, &area.x, &area.y);
  return area;
}

TEST(Workstation, PaperAndSizeOptionsSetThePlotArea) {
  struct Case {
    const char* options;
    Area want;
    const char* why;
  };
  const Case cases[] = {
      {"", {756, 576, 0, 0}, "letter"},
      {",A4", {805, 558, 0, 0}, "a4 in any case"},
      {",legal", {972, 576, 0, 0}, "legal"},
      {",ansid", {2412, 1548, 0, 0}, "ansi D"},
      {",sz=8.5x11", {576, 756, 0, 0}, "page size given"},
      {",sz=axb", {756, 576, 0, 0}, "a size that does not scan"},
      {",a3,letter", {756, 576, 0, 0}, "the later item wins"},
      {",bogus", {756, 576, 0, 0}, "unknown items are ignored"},
  };
  for (const Case& c : cases) {
    Area got = area_after_open(c.options, nullptr, nullptr);
    EXPECT_TRUE(got.width == c.want.width && got.height == c.want.height && got.x == c.want.x && got.y == c.want.y)
        << c.why << ": " << got.width << "x" << got.height << "+" << got.x << "+" << got.y;
  }
}

TEST(Workstation, GeometryPlacesThePlotArea) {
  struct Case {
    const char* resource;
    const char* env;
    Area want;
    const char* why;
  };
  const Case cases[] = {
      {"P2x2+1+0", nullptr, {378, 288, 378, 288}, "upper right quarter"},
      {"p9x9+0+0", nullptr, {94, 72, 0, 504}, "at most 8 by 8 panels, row 0 on top"},
      {"P0.5x0.5+0.25+0.25", nullptr, {378, 288, 189, 144}, "fractions of the page"},
      {"1000x800+100+200", nullptr, {720, 576, 72, 144}, "size and offset in hundredths of an inch"},
      {"500x400", nullptr, {360, 288, 0, 0}, "size only"},
      {"+100+50", nullptr, {756, 576, 72, 36}, "offset only"},
      {"junk", nullptr, {756, 576, 0, 0}, "a geometry that does not scan"},
      {nullptr, "P2x1+1+0", {378, 576, 378, 0}, "from the environment"},
      {"P2x1+0+0", "P2x1+1+0", {378, 576, 0, 0}, "the setting before the environment"},
  };
  for (const Case& c : cases) {
    Area got = area_after_open("", c.resource, c.env);
    EXPECT_TRUE(got.width == c.want.width && got.height == c.want.height && got.x == c.want.x && got.y == c.want.y)
        << c.why << ": " << got.width << "x" << got.height << "+" << got.x << "+" << got.y;
  }
}

TEST(Workstation, EnvironmentOptionsComeBeforeConnectionItems) {
  struct Case {
    const char* env;
    const char* conn;
    bool turned, eps;
  };
  const Case cases[] = {
      {"land", ",port", false, false},
      {"port,eps", "", false, true},
      {"eps", ",noeps,land", true, false},
  };
  for (const Case& c : cases) {
    TempDir dir;
    auto r = run_child([&] {
      setenv("kezps_param", c.env, 1);
      return open_ps(dir.file("f.ps") + c.conn) == 0 && gclose_ws(1) == 0 ? 0 : 1;
    });
    ASSERT_EQ(r.status, 0);
    const std::string ps = read_file(dir.file("f.ps"));
    EXPECT_EQ(ps.find("90 rotate") != std::string::npos, c.turned) << c.env << " then " << c.conn;
    EXPECT_EQ(ps.rfind("%!PS-Adobe-3.0 EPSF-3.0", 0) == 0, c.eps) << c.env << " then " << c.conn;
  }
}

TEST(Workstation, OutputNameFromTheItemOrTheEnvironment) {
  struct Case {
    const char* conn;
    const char* kezps_print;
    const char* psprint;
    const char* file;
  };
  const Case cases[] = {
      {"given.ps", "env.ps", "other.ps", "given.ps"},
      {",eps", "env.ps", "other.ps", "env.ps"},
      {"", nullptr, "other.ps", "other.ps"},
      {nullptr, nullptr, nullptr, "kez.ps"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    auto r = run_child([&] {
      if (chdir(dir.path().c_str()) != 0) return 2;
      unsetenv("kezps_print");
      unsetenv("PSPRINT");
      if (c.kezps_print) setenv("kezps_print", c.kezps_print, 1);
      if (c.psprint) setenv("PSPRINT", c.psprint, 1);
      gopen_gks(nullptr, 0);
      if (gopen_ws(1, c.conn, GWS_PS) != 0) return 1;
      gclose_ws(1);
      return 0;
    });
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(read_file(dir.file(c.file)).find("%%EOF"), std::string::npos) << c.file;
  }
}

TEST(Workstation, PrintCommandReceivesTheOutput) {
  TempDir dir;
  const std::string target = dir.file("piped.ps");
  auto r = run_child([&] {
    open_ps("|cat > " + target);
    gclose_ws(1);
    return 0;
  });
  ASSERT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("Spooling to: cat > " + target + "\n"), std::string::npos) << r.out;
  EXPECT_NE(read_file(target).find("%%EOF"), std::string::npos);
}

TEST(Workstation, OpenFailuresLeaveTheKernelClosed) {
  TempDir dir;
  write_file(dir.file("plain"), "x");
  auto r = run_child([&] {
    Checks check;
    check(open_ps(dir.file("plain") + "/a.ps") == -1 && gchk_graphics() == 0, "file under a plain file");
    check(gclose_ws(1) == -1, "nothing to close");
    check(gopen_ws(1, "", 2) == -1, "no such device");
    check(open_ps(dir.file("a.ps")) == 0 && gchk_graphics() == 1, "opened");
    check(gopen_ws(1, dir.file("b.ps").c_str(), GWS_PS) == -1, "already open");
    check(gclose_ws(1) == 0 && gchk_graphics() == 0, "closed");
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.err.find("gopen_ws: unable to open postscript file " + dir.file("plain") + "/a.ps: Not a directory\n"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("gopen_ws: unsupported device type: 2\n"), std::string::npos);
  EXPECT_NE(r.err.find("gopen_ws: workstation already open\n"), std::string::npos);
  EXPECT_NE(read_file(dir.file("a.ps")).find("%%EOF"), std::string::npos) << "the first file is intact";
}

TEST(Workstation, KernelMessagesNeedTheErrorStream) {
  TempDir dir;
  write_file(dir.file("plain"), "x");
  auto r = run_child([&] {
    Checks check;
    gsel_norm_tran(9); /* before gopen_gks: silent */
    check(gopen_gks(dir.file("errors/kez.err").c_str(), 0) == 0, "error file created");
    gsel_norm_tran(8);
    gclose_gks();
    gsel_norm_tran(7); /* closed again: silent */
    check(gopen_gks((dir.file("plain") + "/x").c_str(), 0) == 1, "error file that cannot be made");
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.err, "gsel_norm_tran: invalid transformation number: 8\n\n");
  EXPECT_EQ(read_file(dir.file("errors/kez.err")), "gsel_norm_tran: invalid transformation number: 8\n\n")
      << "the named error file keeps a copy of what the message service printed";
}

} // namespace

/* ---- the own window ----------------------------------------------------- */

namespace window {

using gks_test::draw_test_page;
using gks_test::near_rgb;
using gks_test::open_window;
using gks_test::page_samples;
using gks_test::rgb_text;
using kez_test::RgbImage;
using kez_test::XServer;

TEST(WindowPage, WindowAndPostScriptShowTheSamePage) {
  ASSERT_TRUE(kez_test::have_program("gs"));
  for (int depth : {24, 8}) {
    XServer x(800, 700, depth);
    ASSERT_TRUE(x.ok()) << "Xvfb is needed (tools/install-deps.sh)";
    TempDir dir;
    const std::string ppm = dir.file("window.ppm"), eps = dir.file("page.eps");
    auto r = run_child([&] {
      setenv("kezinverse", "1", 1);
      gks_test::page_fonts();
      if (open_window(x) != 0) return 1;
      draw_test_page();
      gks_test::write_ppm(ppm, gks_test::window_picture(x));
      gclose_ws(1);
      if (open_ps(eps + ",eps,port,color") != 0) return 2;
      draw_test_page();
      gclose_ws(1);
      return 0;
    });
    ASSERT_EQ(r.status, 0) << "depth " << depth << ": " << r.out << r.err;
    RgbImage window;
    ASSERT_TRUE(gks_test::read_ppm(ppm, &window));
    ASSERT_EQ(window.width, 640);
    ASSERT_EQ(window.height, 512);
    kez_test::Raster page;
    auto run = kez_test::gs_render(eps, 800, 700, &page);
    ASSERT_TRUE(run.clean()) << run.log;
    for (const auto& s : page_samples) {
      auto on_window = window.at(static_cast<int>(s.u * 511 + 0.5f), static_cast<int>((1 - s.v) * 511 + 0.5f));
      auto on_paper = page.at(static_cast<int>(s.u * 575 + 0.5f), static_cast<int>(s.v * 575 + 0.5f));
      EXPECT_TRUE(near_rgb(on_window, s.rgb))
          << "depth " << depth << ", window, " << s.what << ": " << rgb_text(on_window);
      EXPECT_TRUE(near_rgb(on_paper, s.rgb))
          << "depth " << depth << ", paper, " << s.what << ": " << rgb_text(on_paper);
    }

    /* Text and markers: where their pixels lie, in NDC. Stroke text has the
     * same box on both; markers are sized in device units, so only their
     * centres agree; server text shows on the window alone. */
    auto on_window = [&](float u, float v) {
      return window.at(static_cast<int>(u * 511 + 0.5f), static_cast<int>((1 - v) * 511 + 0.5f));
    };
    auto on_paper = [&](float u, float v) {
      return page.at(static_cast<int>(u * 575 + 0.5f), static_cast<int>(v * 575 + 0.5f));
    };
    using gks_test::Box;
    const Box text_area{0.5f, 0.6f, 1, 0.78f}, mark_area{0.72f, 0.6f, 1, 0.78f}, server_area{0.5f, 0.5f, 1, 0.6f};
    const Box text_w = gks_test::colour_box(on_window, 511, text_area, {0, 0, 255});
    const Box text_p = gks_test::colour_box(on_paper, 575, text_area, {0, 0, 255});
    ASSERT_FALSE(text_w.empty() || text_p.empty()) << "depth " << depth << ": stroke text drawn";
    for (auto [w, p] : {std::pair{text_w.u0, text_p.u0}, std::pair{text_w.u1, text_p.u1},
                        std::pair{text_w.v0, text_p.v0}, std::pair{text_w.v1, text_p.v1}})
      EXPECT_NEAR(w, p, 0.012f) << "depth " << depth << ": stroke text box";
    EXPECT_NEAR(text_w.u0, 0.55f, 0.012f) << "text starts at its anchor";
    EXPECT_NEAR(text_w.v1 - text_w.v0, 0.08f, 0.012f) << "capitals one character height high";
    const Box mark_w = gks_test::colour_box(on_window, 511, mark_area, {0, 255, 255});
    const Box mark_p = gks_test::colour_box(on_paper, 575, mark_area, {0, 255, 255});
    ASSERT_FALSE(mark_w.empty() || mark_p.empty()) << "depth " << depth << ": markers drawn";
    EXPECT_NEAR((mark_w.u0 + mark_w.u1) / 2, (mark_p.u0 + mark_p.u1) / 2, 0.01f) << "markers' centre";
    EXPECT_NEAR((mark_w.v0 + mark_w.v1) / 2, 0.70f, 0.01f) << "markers' centre";
    EXPECT_NEAR((mark_p.v0 + mark_p.v1) / 2, 0.70f, 0.01f) << "markers' centre";
    EXPECT_NEAR(mark_w.v1 - mark_w.v0, 20.0f / 511, 0.006f) << "marker full size 10 pixels a size unit";
    const Box server_w = gks_test::colour_box(on_window, 511, server_area, {255, 0, 255});
    const Box server_p = gks_test::colour_box(on_paper, 575, server_area, {255, 0, 255});
    ASSERT_FALSE(server_w.empty()) << "depth " << depth << ": server text on the window";
    EXPECT_TRUE(server_p.empty()) << "no server text on paper";
    EXPECT_NEAR(server_w.u0, 0.55f, 0.006f) << "server text starts at its anchor";
    EXPECT_TRUE(server_w.v0 >= 0.52f && server_w.v0 < 0.535f) << "server text stands on its baseline: " << server_w.v0;
  }
}

/* What a child saw of its window: xprop's report and the geometry. */
std::string xprop(const XServer& x) { return x.run("xprop -id " + std::to_string(gget_root_window())); }

/* "WxH+X+Y" of a window as xwininfo reports it. */
std::string geometry_of(const XServer& x, unsigned long id) {
  const std::string info = x.run("xwininfo -id " + std::to_string(id));
  auto field = [&info](const std::string& name) {
    const size_t at = info.find(name + ":");
    return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + name.size() + 1);
  };
  return std::to_string(field("Width")) + "x" + std::to_string(field("Height")) + "+" +
         std::to_string(field("Absolute upper-left X")) + "+" + std::to_string(field("Absolute upper-left Y"));
}

TEST(WindowOpen, GeometryTitleClassAndHintsReachTheServer) {
  struct Case {
    const char* setting;   /* the "geometry" setting */
    const char* preferred; /* gset_geometry */
    bool fixed, iconic;
    const char* icon_setting;
    const char* geometry; /* as xwininfo reports it */
    std::vector<const char*> props;
    const char* why;
  };
  const Case cases[] = {
      {nullptr,
       nullptr,
       false,
       false,
       nullptr,
       "640x512+100+100",
       {"program specified location: 100, 100", "program specified size: 640 by 512", "Initial state is Normal"},
       "default size and place"},
      {"300x200+10+20",
       nullptr,
       false,
       false,
       nullptr,
       "300x200+10+20",
       {"user specified location: 10, 20", "user specified size: 300 by 200"},
       "the geometry setting"},
      {"300x200+10+20",
       "320x240-0-0",
       false,
       false,
       nullptr,
       "320x240+480+460",
       {"user specified location: 480, 460"},
       "a set geometry first; negative offsets from the far edges"},
      {"400x300",
       nullptr,
       true,
       false,
       nullptr,
       "400x300+100+100",
       {"program specified minimum size: 400 by 300", "program specified maximum size: 400 by 300"},
       "fixed size"},
      {nullptr, nullptr, false, true, nullptr, "640x512+100+100", {"Initial state is Iconic"}, "iconic"},
      {nullptr,
       nullptr,
       false,
       true,
       "off",
       "640x512+100+100",
       {"Initial state is Normal"},
       "the icon setting overrides"},
      {"junk", nullptr, false, false, nullptr, "640x512+100+100", {}, "a geometry that does not scan"},
  };
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok());
  for (const Case& c : cases) {
    auto r = run_child([&] {
      if (c.setting) RES_put("geometry", c.setting);
      if (c.preferred) gset_geometry(c.preferred);
      if (c.fixed) gset_fixed_size();
      gset_iconic(c.iconic);
      if (c.icon_setting) RES_put("icon", c.icon_setting);
      gset_prog_name("kezprog");
      gset_win_title("Test_Plot");
      if (open_window(x) != 0) return 1;
      std::printf("geometry %s\n%s", geometry_of(x, gget_root_window()).c_str(), xprop(x).c_str());
      return gclose_ws(1) == 0 && gchk_graphics() == 0 ? 0 : 2;
    });
    ASSERT_EQ(r.status, 0) << c.why << r.err;
    EXPECT_NE(r.out.find(std::string("geometry ") + c.geometry + "\n"), std::string::npos) << c.why << r.out;
    EXPECT_NE(r.out.find("WM_NAME(STRING) = \"Test Plot\""), std::string::npos) << c.why;
    EXPECT_NE(r.out.find("WM_ICON_NAME(STRING) = \"Test Plot\""), std::string::npos) << c.why;
    EXPECT_NE(r.out.find("WM_CLASS(STRING) = \"kezprog\", \"Kez\""), std::string::npos) << c.why;
    EXPECT_NE(r.out.find("bitmap id # to use for icon"), std::string::npos) << c.why;
    for (const char* prop : c.props) EXPECT_NE(r.out.find(prop), std::string::npos) << c.why << ": " << prop;
  }
}

TEST(WindowOpen, XDefaultsOfTheProgramNameApply) {
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok());
  int status = -1;
  x.run(
      "xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "
      "'kezprog.geometry: 200x150+5+6\nkezprog.iconic: On\nkezprog.background: red\nother.geometry: 9x9\n'",
      &status);
  ASSERT_EQ(status, 0);
  auto r = run_child([&] {
    gset_prog_name("kezprog");
    if (open_window(x) != 0) return 1;
    std::printf("geometry %s\n%s", geometry_of(x, gget_root_window()).c_str(), xprop(x).c_str());
    std::printf("background %s\n", rgb_text(gks_test::window_picture(x).at(100, 100)).c_str());
    return gclose_ws(1);
  });
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("geometry 200x150+5+6\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Initial state is Iconic"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("background 255,0,0\n"), std::string::npos) << r.out;
}

TEST(WindowOpen, ASecondOpenStartsAtTheDefaultSize) {
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok());
  auto r = run_child([&] {
    Checks check;
    gset_geometry("300x200");
    check(open_window(x) == 0, "first open");
    int w = 0, h = 0;
    gget_win_size(&w, &h);
    check(w == 300 && h == 200, "first size " + std::to_string(w) + "x" + std::to_string(h));
    gclose_ws(1);
    gget_win_size(&w, &h);
    check(w == 0 && h == 0, "no size after the close");
    gset_geometry("");
    check(open_window(x) == 0, "second open");
    gget_win_size(&w, &h);
    check(w == 640 && h == 512, "second size " + std::to_string(w) + "x" + std::to_string(h));
    int rw = 0, rh = 0;
    gget_root_size(&rw, &rh);
    check(rw == 640 && rh == 512, "window size");
    check(gget_win_depth() == 24 && gtype_is_WIN() && gtype_is_WIN_PIX() && !gtype_is_PIX(), "device tests");
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

/* A run that only draws and dumps opens its window as transient: mapped
 * at the end of the open, waited for by nothing, its syncs only sending.
 * The dump is the picture a held window gives, and the window still
 * appears. */
TEST(WindowOpen, ATransientWindowDumpsTheSamePictureAndStillAppears) {
  if (!kez_test::have_program("compare")) GTEST_SKIP() << "no ImageMagick";
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok());
  TempDir dir;
  for (const int transient : {0, 1}) {
    auto r = run_child([&] {
      Checks check;
      setenv("kezinverse", "1", 1);
      gks_test::page_fonts();
      gset_transient(transient);
      check(open_window(x) == 0, "open");
      draw_test_page();
      gsync();
      check(PNG_dump(dir.file(transient ? "transient.png" : "held.png").c_str()) == 1, "dumped");
      Display* other = XOpenDisplay(x.display().c_str());
      XWindowAttributes attrs{};
      for (int i = 0; i < 1000 && other; ++i) {
        if (XGetWindowAttributes(other, gget_root_window(), &attrs) && attrs.map_state == IsViewable) break;
        usleep(10000);
      }
      if (other) XCloseDisplay(other);
      check(attrs.map_state == IsViewable, "the window is shown");
      gclose_ws(1);
      gset_transient(0);
      return check.status();
    });
    ASSERT_EQ(r.status, 0) << "transient " << transient << ": " << r.out << r.err;
  }
  std::string differ;
  kez_test::run_command("compare -metric AE " + dir.file("held.png") + " " + dir.file("transient.png") + " null: 2>&1",
                        &differ);
  EXPECT_EQ(differ, "0");
}

TEST(WindowOpen, NoServerOrNoWindowFailsWithAMessage) {
  XServer x(320, 240, 24);
  ASSERT_TRUE(x.ok());
  const std::string absent = x.display() + "9"; /* a display number nobody serves */
  struct Case {
    std::string conn;
    int type;
    const char* message;
  };
  const Case cases[] = {
      {absent, GWS_WINDOW, "gopen_ws: unable to connect to display\n"},
      {absent + ",+1:2", GWS_PIXMAP, "gopen_ws: unable to connect to display\n"},
      {x.display(), GWS_PIXMAP, "gopen_ws: window parameters not specified\n"},
      {x.display() + ",0", GWS_PIXMAP, "gopen_ws: window id not specified\n"},
      {x.display() + ",+0:0:10x10", GWS_PIXMAP, "gopen_ws: window id not specified\n"},
      {x.display() + ",w42", GWS_PIXMAP, "gopen_ws: unable to open window id file\n"},
      {x.display() + ",12345", GWS_PIXMAP, "gopen_ws: unable to open window\n"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    auto r = run_child([&] {
      if (chdir(dir.path().c_str()) != 0) return 3;
      unsetenv("kezwindow");
      unsetenv("WINDOW");
      unsetenv("DISPLAY");
      gopen_gks(nullptr, 0);
      if (gopen_ws(1, c.conn.c_str(), c.type) != -1) return 1;
      return gchk_graphics() == 0 && gclose_ws(1) == -1 ? 0 : 2;
    });
    EXPECT_EQ(r.status, 0) << c.conn;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.conn << ": " << r.err;
    EXPECT_EQ(r.err.find("X11 error"), std::string::npos) << c.conn << ": " << r.err;
  }
}

/* ---- the hold loop ------------------------------------------------------- */

void print_event(int kind, char* text, float, float) { std::printf("event %d %s\n", kind, text); }

/* Opens a window titled `title`, holds it and reports the callback's texts. */
int hold_window(const XServer& x, const char* title) {
  gset_mouse_callback(print_event);
  gset_win_title(title);
  if (open_window(x) != 0) return 1;
  ghold(1);
  std::printf("held\n");
  std::fflush(stdout);
  const int cursor = gget_cursor_type();
  gclose_ws(1);
  return cursor == 0 ? 0 : 2;
}

TEST(WindowHold, ReturnAndAltQEndTheHold) {
  struct Case {
    const char* keys;
    const char* event;
  };
  const Case cases[] = {{"Return", "event 2 Ret\n"}, {"alt+q", "event 2 q-Alt\n"}};
  for (const Case& c : cases) {
    /* A server of its own: on a shared one a Return of the first case's
     * sender reached the second case's window, which lies in the same
     * place. */
    XServer x(800, 700, 24);
    ASSERT_TRUE(x.ok());
    /* Keys before the hold begins are not bound; they are sent until one
     * arrives in the hold. */
    kez_test::Repeater keys(x, std::string("xdotool search --name '^Holding$' windowfocus key ") + c.keys, 0.3);
    auto r = run_child([&] { return hold_window(x, "Holding"); });
    EXPECT_EQ(r.status, 0) << c.keys << r.err;
    EXPECT_NE(r.out.find(std::string(c.event) + "held\n"), std::string::npos) << c.keys << ": " << r.out;
  }
}

/* The title tells the key sender that the hold has begun. */
int mark_holding() { return gset_win_title_extra("holding"); }

TEST(WindowHold, KeysAndButtonsReachTheCallbackWithTheirModifiers) {
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok());
  kez_test::Repeater keys(x,
                          "xdotool search --name '^Keys holding$' windowfocus mousemove --window %1 50 50 "
                          "key shift+x alt+v keydown shift click 1 keyup shift click 3 key Return",
                          1.0);
  auto r = run_child([&] {
    gset_refresh_callback(1, mark_holding);
    return hold_window(x, "Keys");
  });
  EXPECT_EQ(r.status, 0) << r.err;
  /* A modifier key pressed alone has no text; it is reported all the same. */
  std::string events = r.out;
  for (size_t at; (at = events.find("event 2 \n")) != std::string::npos;) events.erase(at, 9);
  const std::string want =
      "event 2 X-Shft\nevent 2 v-Alt\nevent 3 B1-P-Shft\nevent 3 B1-R-Shft\n"
      "event 3 B3-P\nevent 3 B3-R\nevent 2 Ret\nheld\n";
  EXPECT_EQ(events, want) << r.out;
}

/* The refresh function ends the hold on its second call, the way another
 * program does: with the end-of-wait client message. */
int refresh_calls = 0;
std::string refresh_display;

int refresh_and_end() {
  ++refresh_calls;
  std::printf("refresh %d at %.1f\n", refresh_calls, KEZ_elapse_time());
  if (refresh_calls < 2) return 0;
  Display* d = XOpenDisplay(refresh_display.c_str());
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = gget_root_window();
  event.xclient.format = 8;
  event.xclient.data.b[0] = 9;
  XSendEvent(d, gget_root_window(), True, NoEventMask, &event);
  XCloseDisplay(d);
  return 0;
}

TEST(WindowHold, RefreshPeriodCallsTheFunctionUntilTheWaitEnds) {
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok());
  refresh_display = x.display();
  auto r = run_child([&] {
    gset_refresh_callback(1, refresh_and_end);
    KEZ_init_time();
    return hold_window(x, "Refresh");
  });
  EXPECT_EQ(r.status, 0) << r.err;
  float first = 0, second = 0;
  const size_t at1 = r.out.find("refresh 1 at "), at2 = r.out.find("refresh 2 at ");
  ASSERT_NE(at2, std::string::npos) << r.out;
  std::sscanf(r.out.c_str() + at1, "refresh 1 at %f", &first);
  std::sscanf(r.out.c_str() + at2, "refresh 2 at %f", &second);
  /* A busy machine makes calls late, never early: the period is a lower
   * bound (whole seconds from the start of the hold, which comes after the
   * clock was started). */
  EXPECT_GE(first, 1.0f) << r.out;
  EXPECT_GE(second, 2.0f) << r.out;
  EXPECT_GE(second, first) << r.out;
  EXPECT_NE(r.out.find("held\n"), std::string::npos) << r.out;
}

int polylines_drawn = 0;

void note_event_during_plot(int kind, char* text, float, float) {
  std::printf("event %d %s after %d lines\n", kind, text, polylines_drawn);
}

/* Another client's button press waits in the queue until the display list's
 * poll serves it, at the latest after 500 kernel calls. */
TEST(WindowHold, ALongPlotServesEventsEveryFiveHundredCalls) {
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok());
  auto r = run_child([&] {
    gset_mouse_callback(note_event_during_plot);
    if (open_window(x) != 0) return 1;
    Display* other = XOpenDisplay(x.display().c_str());
    XEvent press{};
    press.xbutton.type = ButtonPress;
    press.xbutton.window = gget_root_window();
    press.xbutton.button = 1;
    XSendEvent(other, gget_root_window(), True, NoEventMask, &press);
    XSync(other, False);
    XCloseDisplay(other);
    Gpt line[2] = {{0.1f, 0.1f}, {0.9f, 0.9f}};
    for (polylines_drawn = 0; polylines_drawn < 600; ++polylines_drawn) gpolyline(2, line);
    return gclose_ws(1);
  });
  ASSERT_EQ(r.status, 0) << r.err;
  int after = -1;
  const size_t at = r.out.find("event 3 B1-P after ");
  ASSERT_NE(at, std::string::npos) << r.out;
  std::sscanf(r.out.c_str() + at, "event 3 B1-P after %d", &after);
  EXPECT_TRUE(after > 0 && after < 500) << r.out;
  EXPECT_EQ(count(r.out, "event"), 1) << r.out;
}

/* A button pressed while the refresh draws waits for the refresh to end:
 * served inside it, its re-plot would be drawn over by the rest of the
 * refresh. */
int refresh_with_press() {
  Display* other = XOpenDisplay(refresh_display.c_str());
  XEvent press{};
  press.xbutton.type = ButtonPress;
  press.xbutton.window = gget_root_window();
  press.xbutton.button = 1;
  XSendEvent(other, gget_root_window(), True, NoEventMask, &press);
  XEvent end{};
  end.xclient.type = ClientMessage;
  end.xclient.window = gget_root_window();
  end.xclient.format = 8;
  end.xclient.data.b[0] = 9;
  XSendEvent(other, gget_root_window(), True, NoEventMask, &end);
  XSync(other, False);
  XCloseDisplay(other);
  Gpt line[2] = {{0.1f, 0.1f}, {0.9f, 0.9f}};
  for (polylines_drawn = 0; polylines_drawn < 600; ++polylines_drawn) gpolyline(2, line);
  std::printf("refresh drawn\n");
  return 0;
}

TEST(WindowHold, EventsDuringTheRefreshAreServedAfterIt) {
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok());
  refresh_display = x.display();
  auto r = run_child([&] {
    gset_refresh_callback(1, refresh_with_press);
    gset_mouse_callback(note_event_during_plot);
    gset_win_title("Refresh press");
    if (open_window(x) != 0) return 1;
    ghold(1);
    std::printf("held\n");
    return gclose_ws(1);
  });
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("refresh drawn\nevent 3 B1-P after 600 lines\nheld\n"), std::string::npos) << r.out;
}

TEST(WindowHold, FileDevicesNeitherHoldNorShowCursors) {
  TempDir dir;
  auto r = run_child([&] {
    Checks check;
    check(open_ps(dir.file("a.ps")) == 0, "open");
    check(ghold(1) == 0, "no hold on paper");
    check(gset_cursor(3) == 0 && gget_cursor_type() != 3, "no cursor on paper");
    check(gset_win_title("Paper") == -1 && std::string(gget_win_title()) == "Paper", "title kept without window");
    char extra[GTITLE_EXTRA_LEN] = "x";
    check(gset_win_title_extra("+") == -1 && gget_win_title_extra(extra) == -1 && extra[0] == 0, "no extra");
    check(gupdate_window() == -1 && gresize_window(100, 100) == 0, "no window to update or resize");
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out;
}

/* ---- window control ------------------------------------------------------ */

TEST(WindowControl, TitleExtraShowsTheMarksAndComesBack) {
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok());
  auto r = run_child([&] {
    Checks check;
    gset_win_title("Loop");
    if (open_window(x) != 0) return 1;
    const std::string long_extra(100, 'e');
    struct Step {
      const char* extra;
      std::string name, read_back;
    };
    const Step steps[] = {{"+", "Loop +", "+"},
                          {"[3]", "Loop [3]", "[3]"},
                          {"", "Loop", ""},
                          {long_extra.c_str(), "Loop " + long_extra.substr(0, 82), long_extra.substr(0, 82)}};
    for (const Step& s : steps) {
      check(gset_win_title_extra(s.extra) == 0, "set");
      check(xprop(x).find("WM_NAME(STRING) = \"" + s.name + "\"") != std::string::npos, "name " + s.name);
      char extra[GTITLE_EXTRA_LEN] = "";
      const bool read = gget_win_title_extra(extra) == 0;
      check(read && extra == s.read_back, std::string("read back ") + extra);
    }
    check(gset_win_title("Other") == 0 && xprop(x).find("WM_NAME(STRING) = \"Other\"") != std::string::npos,
          "new title");
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(WindowControl, ClearAndResizeKeepTheBackingPixmapInStep) {
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok());
  auto r = run_child([&] {
    Checks check;
    setenv("kezinverse", "1", 1);
    gset_mouse_callback(print_event);
    if (open_window(x) != 0) return 1;
    gks_test::draw_test_page();
    const std::array<int, 3> red{255, 0, 0}, white{255, 255, 255};
    check(near_rgb(gks_test::window_picture(x).at(51, 64), red), "red square drawn");

    /* Ordered by the program: the picture stays at the top left. */
    check(gresize_window(400, 300) == 1, "ordered resize");
    check(geometry_of(x, gget_root_window()).rfind("400x300", 0) == 0, "window resized");
    RgbImage base;
    check(kez_test::read_drawable(x.display(), gget_base_window(), &base) && base.width == 400 && base.height == 300,
          "pixmap of the new size");
    check(near_rgb(gks_test::window_picture(x).at(51, 64), red), "picture kept");
    check(gresize_window(0, 0) == 0 && gresize_window(-1, -1) == 0, "same size: nothing to do");

    /* Resized by the user: the event adopts the size and reports it. */
    x.run("xdotool windowsize " + std::to_string(gget_root_window()) + " 500 350");
    kez_test::wait_until([] {
      gcheck_event();
      return gget_window_width() == 500;
    });
    check(kez_test::read_drawable(x.display(), gget_base_window(), &base) && base.width == 500 && base.height == 350,
          "pixmap follows the user's size");
    check(near_rgb(gks_test::window_picture(x).at(51, 64), red), "picture kept after the user's resize");

    /* Any value of zero or less adopts the size with a new pixmap. */
    x.run("xdotool windowsize " + std::to_string(gget_root_window()) + " 450 320");
    check(gresize_window(0, 0) == 1, "adopted");
    check(kez_test::read_drawable(x.display(), gget_base_window(), &base) && base.width == 450 && base.height == 320,
          "pixmap replaced for 0 too");

    gclear_ws(1, 0);
    const RgbImage cleared = gks_test::window_picture(x);
    check(near_rgb(cleared.at(51, 64), white) && near_rgb(cleared.at(400, 300), white), "cleared");
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("event 2 size\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("event 2 size\nevent 2 size"), std::string::npos) << "one report per change: " << r.out;
}

TEST(WindowControl, ClearRegionMessagesAndSegmentsOnPaper) {
  TempDir dir;
  auto r = run_child([&] {
    Checks check;
    setenv("METAOUT", dir.file("list.meta").c_str(), 1);
    if (open_ps(dir.file("a.ps")) != 0) return 1;
    gks_test::use_tran(1, gks_test::lim(0, 575, 0, 575), gks_test::lim(0, 1, 0, 1));
    Glim region = gks_test::lim(10, 20, 30, 40);
    check(gclear_region(&region) == 0, "clear region");
    check(gmessage(1, "hello there") == 0, "message");
    gset_redraw(1);
    Gpt line[2] = {{0, 0}, {1, 1}};
    check(gcreate_seg(5) == 0 && gpolyline(2, line) == 0 && gclose_seg(5) == 0, "segment 5");
    gpolyline(2, line);
    check(gdel_seg(5) == 0, "segment deleted");
    gobj_print_meta();
    gclose_ws(1);
    return check.status();
  });
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const std::string body = gks_test::body_of(read_file(dir.file("a.ps")));
  EXPECT_NE(body.find("%CLR\nnp\n10.00 30.00 mv\n10.00 40.00 ln\n20.00 40.00 ln\n20.00 30.00 ln\n10.00 30.00 ln\ncp\n"),
            std::string::npos)
      << body;
  EXPECT_NE(body.find("fill\n%Message: hello there\n"), std::string::npos) << body;
  const std::string meta = read_file(dir.file("list.meta"));
  EXPECT_EQ(count(meta, "PL 2 "), 1) << "only the line outside the segment stays: " << meta;
}

TEST(WindowControl, CursorsAndBellOnTheWindow) {
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok());
  auto r = run_child([&] {
    Checks check;
    if (open_window(x) != 0) return 1;
    check(gget_cursor_type() == 8, "busy after the open");
    check(gset_cursor(6) == 8 && gset_cursor(0) == 6 && gget_cursor_type() == 0, "previous type returned");
    check(gset_cursor_type(12) == 0 && gget_cursor_type() == 12, "a type without a cursor is noted");
    check(gbell(0) == 0 && gsync() == 0, "bell");
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

/* ---- X errors ------------------------------------------------------------- */

TEST(WindowErrors, TheTwentyFifthXErrorEndsTheProgram) {
  XServer x(320, 240, 24);
  ASSERT_TRUE(x.ok());
  for (int errors : {24, 25}) {
    auto r = run_child([&] {
      if (open_window(x) != 0) return 1;
      for (int i = 0; i < errors; ++i) XFreePixmap(gget_display(), 0x7fffff);
      gsync();
      std::printf("alive\n");
      return 0;
    });
    const int printed = count(r.err, "X11 error: BadPixmap (invalid Pixmap parameter) in X_FreePixmap\n");
    EXPECT_EQ(printed, errors) << r.err;
    if (errors == 24) {
      EXPECT_EQ(r.status, 0);
      EXPECT_EQ(r.out, "alive\n");
    } else {
      EXPECT_EQ(r.status, 4);
      EXPECT_NE(r.err.find("X11 error: too many errors\n"), std::string::npos) << r.err;
      EXPECT_EQ(r.out, "");
    }
  }
}

TEST(WindowErrors, ALostServerEndsTheProgramWithStatusFour) {
  XServer x(320, 240, 24);
  ASSERT_TRUE(x.ok());
  auto r = run_child([&] {
    if (open_window(x) != 0) return 1;
    x.stop();
    gsync();
    return 0;
  });
  EXPECT_EQ(r.status, 4);
  EXPECT_NE(r.err.find("Fatal X11 Error\n"), std::string::npos) << r.err;
}

} // namespace window

/* ---- another program's window -------------------------------------------- */

namespace foreign {

using gks_test::ForeignWindow;
using gks_test::near_rgb;
using gks_test::rgb_text;
using kez_test::RgbImage;
using kez_test::XServer;

/* Opens device 6 on the connection string and fills the whole plot area of
 * the unit square in red; prints the title it took and the plot area. */
int draw_into_foreign(const XServer& x, const std::string& items) {
  gopen_gks(nullptr, 0);
  if (gopen_ws(1, (x.display() + items).c_str(), GWS_PIXMAP) != 0) return 1;
  const Gcolr_rep red{1, 0, 0};
  gset_colr_rep(1, 2, &red);
  gset_fill_colr_ind(2);
  Gpt all[4] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  gfill_area(4, all);
  int w = 0, h = 0, ox = 0, oy = 0;
  gget_win_size(&w, &h);
  gget_win_offset(&ox, &oy);
  std::printf("title %s\narea %dx%d+%d+%d\n", gget_win_title(), w, h, ox, oy);
  return gclose_ws(1);
}

std::string five_numbers(const ForeignWindow& w) {
  return "+" + std::to_string(w.window) + ":" + std::to_string(w.pixmap) + ":300x200:0";
}

std::string hex_pixmap(const ForeignWindow& w) {
  char text[40];
  std::snprintf(text, sizeof text, "0x%lx:300x200", w.pixmap);
  return text;
}

std::string decimal_window(const ForeignWindow& w) { return std::to_string(w.window) + ":300x200"; }

TEST(ForeignWindowDevice, DrawingReachesTheDrawableTheWindowTextNames) {
  struct Case {
    std::string (*spec)(const ForeignWindow&);
    const char* where; /* "item", an environment variable, or the file the item names */
    const char* item;
    bool into_pixmap;
    const char* title;
  };
  const Case cases[] = {
      {five_numbers, "item", nullptr, true, "Loop"},      {hex_pixmap, "kezwindow", nullptr, true, "X11_Graph"},
      {decimal_window, "WINDOW", nullptr, false, "Loop"}, {five_numbers, "kezloop.7", "w7", true, "Loop"},
      {five_numbers, "kezloop.win", "W", true, "Loop"},   {hex_pixmap, "myid", "myid", true, "X11_Graph"},
  };
  XServer x(640, 480, 24);
  ASSERT_TRUE(x.ok());
  for (const Case& c : cases) {
    TempDir dir;
    ForeignWindow loop(x, dir.file("log"), "Loop [4]");
    ASSERT_TRUE(loop.ok());
    const std::string spec = c.spec(loop), where = c.where;
    std::string items;
    if (where == "item") {
      items = "," + spec;
    } else if (c.item) {
      write_file(dir.file(where), "  " + spec + " and more words\n");
      items = std::string(",") + c.item;
    }
    auto r = run_child([&] {
      unsetenv("kezwindow");
      unsetenv("WINDOW");
      if (!c.item && where != "item") setenv(c.where, spec.c_str(), 1);
      RES_put("file_path", dir.path().c_str());
      return draw_into_foreign(x, items);
    });
    ASSERT_EQ(r.status, 0) << spec << r.err;
    EXPECT_NE(r.out.find(std::string("title ") + c.title + "\n"), std::string::npos) << spec << r.out;
    EXPECT_NE(r.out.find("area 300x200+0+0\n"), std::string::npos) << spec << r.out;
    EXPECT_EQ(r.err.find("X11 error"), std::string::npos) << spec << r.err;
    EXPECT_EQ(r.err.find("gopen_ws"), std::string::npos) << spec << r.err;
    RgbImage picture;
    ASSERT_TRUE(kez_test::read_drawable(x.display(), c.into_pixmap ? loop.pixmap : loop.window, &picture));
    EXPECT_TRUE(near_rgb(picture.at(150, 100), {255, 0, 0})) << spec << ": " << rgb_text(picture.at(150, 100));
  }
}

TEST(ForeignWindowDevice, PixModesClearAskForAFrameAndEndTheWait) {
  struct Case {
    int mode;
    const char* log;
    float min_open_seconds;
    std::array<int, 3> panel; /* inside the plot area, which nothing was drawn in */
  };
  const Case cases[] = {
      {0, "", 0, {0, 0, 255}},
      {1, "", 0, {0, 0, 0}},
      {2, "got 2\nready\n", 0.5f, {0, 0, 255}},
      {9, "got 9\n", 0, {-1, -1, -1}},
  };
  XServer x(640, 480, 24);
  ASSERT_TRUE(x.ok());
  for (const Case& c : cases) {
    TempDir dir;
    ForeignWindow loop(x, dir.file("log"), "Loop", 0.5);
    ASSERT_TRUE(loop.ok());
    auto r = run_child([&] {
      gset_pix_mode(c.mode);
      RES_put("geometry", "P2x2+1+0");
      KEZ_init_time();
      gopen_gks(nullptr, 0);
      if (gopen_ws(1, (x.display() + "," + five_numbers(loop)).c_str(), GWS_PIXMAP) != 0) return 1;
      std::printf("opened after %.2f\n", KEZ_elapse_time());
      return gclose_ws(1);
    });
    ASSERT_EQ(r.status, 0) << c.mode << r.err;
    float seconds = -1;
    const size_t at = r.out.find("opened after ");
    if (at != std::string::npos) std::sscanf(r.out.c_str() + at, "opened after %f", &seconds);
    EXPECT_GE(seconds, c.min_open_seconds) << "mode " << c.mode;
    kez_test::wait_until([&] { return read_file(dir.file("log")) == c.log; });
    EXPECT_EQ(read_file(dir.file("log")), c.log) << "mode " << c.mode;
    if (c.mode == 9) continue; /* the stand-in has gone with its drawable */
    RgbImage picture;
    ASSERT_TRUE(kez_test::read_drawable(x.display(), loop.pixmap, &picture));
    EXPECT_TRUE(near_rgb(picture.at(225, 50), c.panel)) << "mode " << c.mode << ": " << rgb_text(picture.at(225, 50));
    EXPECT_TRUE(near_rgb(picture.at(75, 150), {0, 0, 255})) << "mode " << c.mode << ": outside the plot area";
  }
}

TEST(ForeignWindowDevice, PanelGeometryKeepsThePlotAreaInsideTheWindow) {
  struct Case {
    const char* geometry;
    const char* area;
    const char* why;
  };
  const Case cases[] = {
      {"P2x2+1+0", "area 150x100+150+0", "grid: column 1 of the top row"},
      {"P2x2+0+1", "area 150x100+0+100", "grid: bottom row"},
      {"p9x9+8+8", "area 37x25+262+175", "at most 8 by 8 panels"},
      {"P0.5x0.5+0.5+0.5", "area 150x100+150+0", "fractions from the lower left corner"},
      {"P0.5x0.5+0+0", "area 150x100+0+100", "the lower left quarter"},
      {"P0.75x0.5+0.5+0.75", "area 225x100+75+0", "an offset that would leave the window is kept inside"},
      {"P1.0x2+0+0", "area 300x200+0+0", "sizes above the window are cut"},
      {"200x100+10+20", "area 200x100+10+20", "size and offset"},
      {"500x400+0+0", "area 300x200+0+0", "a size limited to the window"},
      {"250x150", "area 250x150+0+0", "size only"},
  };
  XServer x(640, 480, 24);
  ASSERT_TRUE(x.ok());
  TempDir dir;
  ForeignWindow loop(x, dir.file("log"), "Loop");
  ASSERT_TRUE(loop.ok());
  for (const Case& c : cases) {
    auto r = run_child([&] {
      RES_put("geometry", c.geometry);
      return draw_into_foreign(x, "," + five_numbers(loop));
    });
    ASSERT_EQ(r.status, 0) << c.geometry << r.err;
    EXPECT_NE(r.out.find(std::string(c.area) + "\n"), std::string::npos) << c.why << ": " << r.out;
  }
  /* The last drawing of a panel geometry on the fresh pixmap: the upper
   * right quarter only. */
  ForeignWindow panel(x, dir.file("log2"), "Panel");
  auto r = run_child([&] {
    RES_put("geometry", "P0.5x0.5+0.5+0.5");
    return draw_into_foreign(x, "," + five_numbers(panel));
  });
  ASSERT_EQ(r.status, 0) << r.err;
  RgbImage picture;
  ASSERT_TRUE(kez_test::read_drawable(x.display(), panel.pixmap, &picture));
  EXPECT_TRUE(near_rgb(picture.at(225, 50), {255, 0, 0})) << rgb_text(picture.at(225, 50));
  EXPECT_TRUE(near_rgb(picture.at(75, 50), {0, 0, 255})) << rgb_text(picture.at(75, 50));
  EXPECT_TRUE(near_rgb(picture.at(225, 150), {0, 0, 255})) << rgb_text(picture.at(225, 150));
}

} // namespace foreign
