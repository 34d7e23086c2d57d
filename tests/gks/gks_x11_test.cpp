#include <gtest/gtest.h>

#include <cstdlib>

#include <unistd.h>

/* First, so that the kernel's X declarations are seen. */
#include "gks_window.h"

#include "gks_scenario.h"
#include "kez_test.h"
#include "ps_render.h"

namespace {

using gks_test::Checks;
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
  EXPECT_NE(r.err.find("gopen_ws: unable to open postscript file\n\n"), std::string::npos) << r.err;
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
  EXPECT_EQ(read_file(dir.file("errors/kez.err")), "") << "messages go through the message service";
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
      EXPECT_TRUE(near_rgb(on_window, s.rgb)) << "depth " << depth << ", window, " << s.what << ": "
                                              << rgb_text(on_window);
      EXPECT_TRUE(near_rgb(on_paper, s.rgb)) << "depth " << depth << ", paper, " << s.what << ": "
                                             << rgb_text(on_paper);
    }
  }
}

} // namespace window
