/*
 * The stand-alone contour plot: the grid it is given is the grid set up
 * and drawn, also on a zoom re-run, and the user is asked once; the colour
 * bar follows the bar switch; "s-Alt" saves slot 0 of the grid store as a
 * text grid file that reads back the same, and no other key does.
 */
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cont_record.h"
#include "kez_test.h"
#include "kezcont.h"
#include "x_server.h"

namespace {

using kez_test::ChildResult;
using kez_test::run_child;
using kez_test::TempDir;

Domain latlon(int nx, int ny) {
  Domain d{};
  DOM_init(&d);
  d.proj = MAP_LATLON;
  d.nx = nx;
  d.ny = ny;
  d.clat = 40;
  d.clon = -100;
  d.dx = d.dy = 1;
  return d;
}

/* A grid of the caller's, values lo + i + 2 j. */
struct Grid {
  GRD_report g{};
  std::vector<float> v;
  Grid(int nx, int ny, float lo) : v(static_cast<size_t>(nx) * ny) {
    g.domain = latlon(nx, ny);
    for (int r = 0; r < ny; ++r)
      for (int i = 0; i < nx; ++i) v[static_cast<size_t>(r) * nx + i] = lo + static_cast<float>(i + 2 * (ny - 1 - r));
    g.grid = v.data();
    std::snprintf(g.info, sizeof g.info, "caller");
    std::snprintf(g.datim, sizeof g.datim, "12Z 10 DEC 2026");
  }
};

/* Slot 0 of the grid store: values lo + k, date 10 Dec 2026 12Z. */
void fill_slot0(int nx, int ny, float lo) {
  const Domain d = latlon(nx, ny);
  GRD_set_grid_domain(0, &d);
  GRD_alloc_grid(0);
  GRD_report* s = GRD_get_grid(0);
  for (int k = 0; k < nx * ny; ++k) s->grid[k] = lo + static_cast<float>(k) * 0.5f;
  const Date date{2026, 12, 10, KEZ_MISS, KEZ_MISS, 12, 0, 0};
  char label[DATE_LABEL_LEN];
  DATE_make_label(&date, label);
  GRD_set_grid_date(0, &date, label);
  GRD_set_grid_info(0, "slot zero");
}

void open_settings(const std::string& ps, bool batch) {
  FLAG_set_batch(batch ? 1 : 0);
  CLR_read_table(KEZ_DATA_DIR "/kez.clr");
  RES_put("file_path", KEZ_DATA_DIR);
  RES_put("device", ("p," + ps).c_str());
  RES_put("color_cont", "red");
}

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

TEST(ContourPlot, DrawsTheGridGivenAndAsksOnce) {
  TempDir dir;
  ChildResult r = run_child(
      [&] {
        open_settings(dir.file("a.ps"), false);
        fill_slot0(5, 5, -50.0f);
        Grid mine(9, 7, 100.0f);
        Domain d = mine.g.domain;
        /* an open plot: the first draw resets it, as a zoom does */
        PLT_open(DOM_aspect(&d));
        CONT_plot_grid(&mine.g, &d, nullptr);
        std::printf("first [%s]\n", PLT_get_label(5, 0));
        Domain zoomed = d;
        zoomed.nx = 5;
        zoomed.ny = 4;
        CONT_plot(&zoomed);
        std::printf("zoom [%s] type %d interval %g\n", PLT_get_label(5, 0), CONT_get_type(),
                    static_cast<double>(CONT_get_intrvl()));
        PLT_close();
        return GRD_get_grid(0)->grid[0] == -50.0f ? 0 : 1;
      },
      "5\nc\n");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(count(r.out, "Enter the contour interval: "), 1u) << r.out;
  EXPECT_EQ(count(r.out, "Color fill (C) or Line (L) contours: "), 1u) << r.out;
  /* both draws show the caller's range (100 to 100 + 8 + 12) */
  EXPECT_NE(r.out.find("first [LO: 100"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("zoom [LO: 100"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("type 15 interval 5"), std::string::npos) << r.out;
}

/* "mapcon" lays the map under the colour fill; without it the map's
 * outlines are drawn over the fill. The map is red, the bands are not. */
TEST(ContourPlot, MapconPutsTheMapUnderTheFill) {
  for (const bool mapcon : {false, true}) {
    TempDir dir;
    const std::string ps = dir.file("a.ps");
    ChildResult r = run_child([&] {
      setenv("PSCOLOR", "1", 1);
      open_settings(ps, true);
      RES_put("map_file", "kez.map:red");
      RES_put("color_fill", "blue,green,cyan,yellow");
      RES_put("con_interval", "4");
      RES_put("plot_format", "cf:nobar");
      RES_put("plot_param", mapcon ? "mapcon" : "");
      Grid mine(21, 15, 0.0f);
      Domain d = mine.g.domain;
      PLT_open(DOM_aspect(&d));
      CONT_plot_grid(&mine.g, &d, nullptr);
      return 0;
    });
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string text = kez_test::read_file(ps);
    const size_t red = text.find("1.00 0.00 0.00 setrgbcolor");
    const size_t fill = text.find("fill\n");
    ASSERT_NE(red, std::string::npos) << "the map is drawn";
    ASSERT_NE(fill, std::string::npos) << "the field is filled";
    if (mapcon) {
      EXPECT_LT(red, fill) << "map first";
    } else {
      EXPECT_GT(red, fill) << "fill first";
    }
  }
}

/* The bar switch: "bar" and explicit levels draw it; "nobar", the vector
 * "nobar" and no switch do not. */
TEST(ContourPlot, ColourBarFollowsTheBarSwitch) {
  struct Case {
    const char* format;
    const char* levels; /* "color_fill" */
    int bar;            /* set before the plot, KEZ_MISS none */
    bool drawn;
  };
  constexpr Case cases[] = {
      {"cf:bar", "", KEZ_MISS, true},
      {"cf:nobar", "", KEZ_MISS, false},
      {"cf", "", KEZ_MISS, false},
      {"cf", "0:2,10:3,20:4,30:5", KEZ_MISS, true},
      {"cf:nobar", "0:2,10:3,20:4,30:5", KEZ_MISS, false},
      {"cf", "", -1, false},
  };
  for (const Case& c : cases) {
    TempDir dir;
    ChildResult r = run_child([&] {
      open_settings(dir.file("a.ps"), true);
      RES_put("con_interval", "4");
      RES_put("plot_format", c.format);
      if (*c.levels) RES_put("color_fill", c.levels);
      if (c.bar != KEZ_MISS) CONT_set_bar(c.bar);
      Grid mine(9, 7, 0.0f);
      Domain d = mine.g.domain;
      /* open here: a batch plot that closes goes on in the background */
      PLT_open(DOM_aspect(&d));
      CONT_plot_grid(&mine.g, &d, nullptr);
      Glim view{};
      PLT_get_view(&view);
      int hits = 0;
      for (int k = 0; k <= 100; ++k) {
        const float x = view.x_min + (view.x_max - view.x_min) * static_cast<float>(k) / 100.0f;
        for (float y = view.y_min - 0.04f; y < view.y_min + 0.04f; y += 0.002f)
          if (CONT_get_bar_value(x, y) != KEZ_FMISS) ++hits;
      }
      std::printf("hits %d\n", hits);
      return 0;
    });
    ASSERT_EQ(r.status, 0) << c.format << r.out << r.err;
    int hits = -1;
    const size_t at = r.out.find("hits ");
    if (at != std::string::npos) std::sscanf(r.out.c_str() + at, "hits %d", &hits);
    EXPECT_EQ(hits > 0, c.drawn) << c.format << " bar " << c.bar << ": " << hits;
  }
}

TEST(ContourPlot, SaveKeyWritesSlotZeroThatReadsBack) {
  TempDir dir;
  ChildResult r = run_child([&] {
    FLAG_set_batch(1);
    RES_put("grid_path", dir.path().c_str());
    fill_slot0(6, 4, 3.0f);
    char other[] = "s-Alt-Shft";
    CONT_callback(0, other, 0, 0);
    char plain[] = "s";
    CONT_callback(0, plain, 0, 0);
    if (FILE_exist(dir.file(CONT_SAVE_FILE).c_str())) return 1;
    char save[] = "s-Alt";
    CONT_callback(0, save, 0, 0);
    if (!FILE_exist(dir.file(CONT_SAVE_FILE).c_str())) return 2;

    GRD_report back;
    std::memset(&back, 0, sizeof back);
    GRD_init(&back);
    GRD_info info{};
    int type = 0;
    char name[] = "output.grd"; /* in the grid directory */
    if (GRD_read_file(name, &back, &info, &type) != 1) return 3;
    const GRD_report* s = GRD_get_grid(0);
    int bad = 0;
    if (back.domain.nx != 6 || back.domain.ny != 4) bad |= 4;
    for (int k = 0; k < 24; ++k)
      if (std::fabs(back.grid[k] - s->grid[k]) > 1e-4f) bad |= 8;
    if (std::strcmp(back.datim, s->datim) != 0) bad |= 16;
    if (info.date.year != 2026 || info.date.month != 12 || info.date.day != 10 || info.date.hour != 12) bad |= 32;
    std::printf("datim [%s] [%s] nx %d %d max %d %d date %d %d %d %d info %d %d %d %d\n", info.datim, back.datim,
                back.domain.nx, back.domain.ny, info.max_x, info.max_y, back.date.year, back.date.month, back.date.day,
                back.date.hour, info.date.year, info.date.month, info.date.day, info.date.hour);
    std::free(back.grid);
    return bad;
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(ContourPlot, SaveKeyWithAnEmptySlotSaysSo) {
  TempDir dir;
  ChildResult r = run_child([&] {
    FLAG_set_batch(1);
    RES_put("grid_path", dir.path().c_str());
    char save[] = "s-Alt";
    CONT_callback(0, save, 0, 0);
    return FILE_exist(dir.file(CONT_SAVE_FILE).c_str()) ? 1 : 0;
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.err.find("CONT_callback: No grid to save"), std::string::npos) << r.err;
}

} // namespace

namespace {

/* Waits (with a generous time-out) for the plot's window, drags a zoom box
 * with Shift held, then ends the hold with Return. */
const char* zoom_script =
    "w() { i=0; while [ $i -lt 900 ]; do W=$(xdotool search --name '^Contplot' | head -1); "
    "[ -n \"$W\" ] && return 0; sleep 0.1; i=$((i+1)); done; return 1; }; "
    "w && sleep 1 && xdotool windowfocus --sync $W mousemove --window $W 200 150 keydown shift mousedown 1 "
    "mousemove --window $W 400 300 mouseup 1 keyup shift; sleep 2; "
    "xdotool search --name '^Contplot' windowfocus key Return";

TEST(ContourPlot, ZoomInAWindowRedrawsTheSameGrid) {
  kez_test::XServer x(800, 700, 24);
  if (!x.ok()) GTEST_SKIP() << "Xvfb is needed";
  if (!kez_test::have_program("xdotool")) GTEST_SKIP() << "xdotool is needed";
  kez_test::Repeater keys(x, zoom_script, 1000);
  ChildResult r = run_child(
      [&] {
        FLAG_set_batch(0);
        CLR_read_table(KEZ_DATA_DIR "/kez.clr");
        RES_put("file_path", KEZ_DATA_DIR);
        RES_put("device", ("display," + x.display()).c_str());
        RES_put("title", "Contplot");
        fill_slot0(5, 5, -50.0f);
        Grid mine(21, 15, 100.0f);
        Domain d = mine.g.domain;
        CONT_plot_grid(&mine.g, &d, nullptr);
        Domain last{};
        MAP_get_domain(&last);
        std::printf("last dx %g\n", static_cast<double>(last.dx));
        return 0;
      },
      "5\nc\n");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(count(r.out, "Contouring data for caller"), 2u) << r.out;
  EXPECT_EQ(count(r.out, "slot zero"), 0u) << r.out;
  EXPECT_EQ(count(r.out, "Enter the contour interval: "), 1u) << r.out;
  float dx = 0;
  const size_t at = r.out.find("last dx ");
  ASSERT_NE(at, std::string::npos) << r.out;
  std::sscanf(r.out.c_str() + at, "last dx %f", &dx);
  EXPECT_LT(dx, 1.0f) << "zoomed in\n" << r.out;
}

} // namespace
