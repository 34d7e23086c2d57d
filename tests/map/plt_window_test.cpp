/*
 * The plot frame on a real window (Xvfb): a Shift-drag box re-runs the plot
 * on the zoomed domain, Alt-u goes back to the first domain, a resize re-runs
 * it, and the refresh function runs while the window holds.
 */
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "gks.h"
#include "kez.h"
#include "kez_test.h"
#include "kezgks.h"
#include "x_server.h"

namespace {

using kez_test::run_child;
using kez_test::XServer;

struct Runs {
  int zoom = 0;
  int resize = 0;
  int refresh = 0;
  bool open = false;
} runs;

/* The whole plot: opened once, reset on every re-run; the window name tells
 * the key sender how far the plot has come. */
int plot(Domain* d, const char* kind) {
  if (!runs.open) {
    if (PLT_open(DOM_aspect(d)) != 0) return -1;
    runs.open = true;
  } else {
    PLT_reset(DOM_aspect(d));
  }
  MAP_domain(d);
  MAP_limits lim{};
  MAP_get_limits(&lim);
  const Glim win{lim.x_min, lim.x_max, lim.y_min, lim.y_max};
  GPH_win(2, &win);
  GPH_trans(2);
  GPH_line(lim.x_min, lim.y_min, lim.x_max, lim.y_max);
  PLT_label_up_left("window plot");
  PLT_labels();
  GPH_trans(2);
  std::printf("run %s dx=%.4f dy=%.4f clat=%.3f clon=%.3f\n", kind, d->dx, d->dy, d->clat, d->clon);
  std::fflush(stdout);
  char extra[64];
  std::snprintf(extra, sizeof extra, "z%d s%d f%d", runs.zoom, runs.resize, runs.refresh > 0 ? 1 : 0);
  gset_win_title_extra(extra);
  return 0;
}

int zoom_plot(Domain* d) {
  ++runs.zoom;
  return plot(d, "zoom");
}
int resize_plot(Domain* d) {
  ++runs.resize;
  return plot(d, "resize");
}
int refresh_plot(Domain* d) {
  ++runs.refresh;
  return plot(d, "refresh");
}

void on_event(int, char* event, float x, float y) {
  if (std::string(event).rfind("B1", 0) == 0) std::printf("event %s %.5f %.5f\n", event, x, y);
  PLT_print_values(event, x, y);
  PLT_plot_zoom(event, x, y);
  PLT_plot_resize(event, x, y);
}

/* Waits (with a generous time-out) for the window name that ends a stage,
 * then acts; the last Return is sent whatever happened. */
const char* script =
    "w() { i=0; while [ $i -lt 900 ]; do W=$(xdotool search --name \"^Zoomplot $1\\$\" | head -1); "
    "[ -n \"$W\" ] && return 0; sleep 0.1; i=$((i+1)); done; return 1; }; "
    "w 'z0 s0 f1' && xdotool windowfocus --sync $W mousemove --window $W 200 150 keydown shift mousedown 1 "
    "mousemove --window $W 400 300 mouseup 1 keyup shift; "
    "w 'z1 s0 f1' && xdotool windowfocus --sync $W key alt+u; "
    "w 'z2 s0 f1' && xdotool windowsize $W 500 400; "
    "w 'z2 s1 f1'; xdotool search --name '^Zoomplot' windowfocus key Return";

bool scan(const std::string& out, const std::string& head, float* a, float* b) {
  const size_t at = out.find(head);
  return at != std::string::npos && std::sscanf(out.c_str() + at + head.size(), "%f %f", a, b) == 2;
}

TEST(WindowPlot, ZoomUnzoomResizeAndRefreshRerunThePlot) {
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok()) << "Xvfb is needed";
  kez_test::Repeater keys(x, script, 1000);
  auto r = run_child([&] {
    RES_put("file_path", KEZ_DATA_DIR);
    RES_put("device", ("display," + x.display()).c_str());
    RES_put("title", "Zoomplot");
    PLT_set_callback(on_event);
    PLT_set_zoom_func(zoom_plot);
    PLT_set_resize_func(resize_plot);
    PLT_set_refresh_func(1, refresh_plot);
    Domain d;
    DOM_init(&d);
    d.proj = 1;
    d.plat = 90;
    d.plon = -105;
    d.clat = 45;
    d.clon = -105;
    d.dx = 1;
    d.dy = 1;
    d.nx = 25;
    d.ny = 17;
    if (plot(&d, "first") != 0) return 2;
    return PLT_close();
  });
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const std::string& out = r.out;
  EXPECT_NE(out.find("run first dx=1.0000 dy=1.0000 clat=45.000 clon=-105.000\n"), std::string::npos) << out;
  EXPECT_NE(out.find("run refresh"), std::string::npos) << out;

  /* The box: both spacings the larger of width / (nx - 1) and height / (ny - 1). */
  float x0 = 0, y0 = 0, x1 = 0, y1 = 0, dx = 0, dy = 0;
  ASSERT_TRUE(scan(out, "event B1-P-Shft ", &x0, &y0)) << out;
  ASSERT_TRUE(scan(out, "event B1-R-Shft ", &x1, &y1)) << out;
  const size_t zoom_at = out.find("run zoom dx=");
  ASSERT_NE(zoom_at, std::string::npos) << out;
  ASSERT_EQ(std::sscanf(out.c_str() + zoom_at, "run zoom dx=%f dy=%f", &dx, &dy), 2);
  const float want = std::max(std::fabs(x1 - x0) / 24, std::fabs(y1 - y0) / 16);
  EXPECT_NEAR(dx, want, 1e-3) << out;
  EXPECT_NEAR(dy, want, 1e-3) << out;
  EXPECT_LT(dx, 1.0f) << "zoomed in";

  /* Alt-u: the first domain again; then the resize re-runs it as it is. */
  const size_t unzoom_at = out.find("run zoom", zoom_at + 1);
  ASSERT_NE(unzoom_at, std::string::npos) << out;
  EXPECT_EQ(out.find("run zoom dx=1.0000 dy=1.0000 clat=45.000 clon=-105.000\n", zoom_at), unzoom_at) << out;
  EXPECT_NE(out.find("run resize dx=1.0000 dy=1.0000 clat=45.000 clon=-105.000\n", unzoom_at), std::string::npos)
      << out;
}

} // namespace

namespace {

int refresh_seen(Domain*) {
  std::printf("refresh while holding\n");
  std::fflush(stdout);
  return 0;
}

/* With a dump asked for, the close does not wait for the user: no refresh
 * runs and no key is needed (a late Return only guards against a hang). */
TEST(WindowPlot, ADumpSkipsTheHold) {
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok()) << "Xvfb is needed";
  kez_test::Repeater guard(x, "xdotool search --name '^Dumped' windowfocus key Return", 1.0, 30.0);
  kez_test::TempDir dir;
  auto r = run_child([&] {
    RES_put("image_path", dir.path().c_str());
    RES_put("file_path", KEZ_DATA_DIR);
    RES_put("device", ("display," + x.display()).c_str());
    RES_put("title", "Dumped");
    RES_put("plot_param", "gif");
    if (PLT_open(1) != 0) return 2;
    PLT_set_refresh_func(1, refresh_seen);
    PLT_label_up_left("dumped");
    PLT_labels();
    PLT_dump(0);
    std::printf("close %d\n", PLT_close());
    return 0;
  });
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Wrote GIF file: " + dir.file("kez.gif") + "\nclose 0\n");
  /* The dump is the window's picture, readable by another program. */
  EXPECT_EQ(std::system(("identify " + dir.file("kez.gif") + " >/dev/null 2>&1").c_str()), 0);
}

} // namespace

namespace {

/* Animation frames on the window: a dump of every frame writes one file a
 * frame under its two-digit number, each with that frame's picture; a dump
 * of one frame writes the frame on show. */
TEST(WindowPlot, EveryFrameIsDumpedUnderItsNumber) {
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok()) << "Xvfb is needed";
  if (!kez_test::have_program("identify")) GTEST_SKIP() << "ImageMagick is needed";
  kez_test::Repeater guard(x, "xdotool search --name '^Frames' windowfocus key Return", 1.0, 30.0);
  kez_test::TempDir dir;
  auto r = run_child([&] {
    RES_put("image_path", dir.path().c_str());
    RES_put("file_path", KEZ_DATA_DIR);
    RES_put("device", ("display," + x.display()).c_str());
    RES_put("title", "Frames");
    RES_put("plot_param", "png=f%i.png");
    if (PLT_open(1) != 0) return 2;
    for (int i = 0; i < 3; ++i) {
      if (gcreate_frame(-1) != i) return 3;
      gselect_frame(i);
      /* A frame of its own: a fan of lines whose count is the frame's number. */
      GPH_trans(0);
      for (int k = 0; k <= 10 * (i + 1); ++k) GPH_line(0.1f, 0.1f, 0.9f, 0.1f + 0.02f * static_cast<float>(k));
    }
    std::printf("all %d\n", PLT_dump(PLT_DUMP_ALL_FRAMES));
    gdisplay_frame(1);
    std::printf("single\n");
    std::fflush(stdout);
    std::printf("one %d\n", PLT_dump(1));
    std::printf("close %d\n", PLT_close());
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  for (const char* name : {"f00.png", "f01.png", "f02.png"})
    EXPECT_NE(r.out.find("Wrote PNG file: " + dir.file(name)), std::string::npos) << r.out << r.err;
  /* The pixels of each file (ImageMagick's signature): three pictures. */
  std::string sig[3];
  for (int i = 0; i < 3; ++i) {
    const std::string f = dir.file("f0" + std::to_string(i) + ".png");
    ASSERT_EQ(kez_test::run_command("identify -format '%#' " + f + " 2>&1", &sig[i]), 0) << sig[i];
  }
  EXPECT_NE(sig[0], sig[1]);
  EXPECT_NE(sig[1], sig[2]);
  EXPECT_NE(sig[0], sig[2]);
  /* The single dump after showing frame 1 wrote frame 1 again, under its number. */
  EXPECT_NE(r.out.find("single\nWrote PNG file: " + dir.file("f01.png") + "\none 0\n"), std::string::npos) << r.out;
}

} // namespace
