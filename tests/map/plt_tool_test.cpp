/*
 * The plot frame: plot keywords, margins, dumps and their names, plot type
 * 99, panels, the zoom box and its domains, the value read-out, and a batch
 * plot to PostScript checked by ghostscript.
 */
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "gks.h"
#include "kez.h"
#include "kez_test.h"
#include "kezcont.h"
#include "kezcty.h"
#include "kezgks.h"
#include "kezgrd.h"

namespace {

using kez_test::read_file;
using kez_test::run_child;
using kez_test::TempDir;

/* The settings the plot keywords reach in contouring and the grid store,
 * as a text of those that differ from their values before: "skip x y",
 * "offset x y", "bar n", "range max min", "factor n". */
struct Settings {
  float x_skip = CONT_inspect("x_skip"), y_skip = CONT_inspect("y_skip");
  float x_off = CONT_inspect("x_off"), y_off = CONT_inspect("y_off");
  int bar = CONT_get_bar();
  float bar_max = CONT_inspect("bar_max"), bar_min = CONT_inspect("bar_min");
  int factor = GRD_get_grid_factor();
};

std::string changed(const Settings& was) {
  const Settings now;
  std::string s;
  auto add = [&](bool differs, const char* f, double a, double b) {
    if (!differs) return;
    char buf[96];
    std::snprintf(buf, sizeof buf, f, a, b);
    s += (s.empty() ? "" : "; ") + std::string(buf);
  };
  add(now.x_skip != was.x_skip || now.y_skip != was.y_skip, "skip %g %g", now.x_skip, now.y_skip);
  add(now.x_off != was.x_off || now.y_off != was.y_off, "offset %g %g", now.x_off, now.y_off);
  add(now.bar != was.bar, "bar %g", now.bar, 0);
  add(now.bar_max != was.bar_max || now.bar_min != was.bar_min, "range %g %g", now.bar_max, now.bar_min);
  add(now.factor != was.factor, "factor %g", now.factor, 0);
  return s;
}

TEST(PlotParameters, KeywordsReachTheirModules) {
  struct Case {
    const char* plot_param;
    const char* out_file;
    const char* settings; /* contouring's and the grid store's that changed */
    const char* frame;    /* margins, label switch, dump kind and name; null: not checked */
    const char* why;
  };
  const char* plain = "off 0 0 0.04 0.04 full_lab 0 dump 0";
  const Case cases[] = {
      {"", nullptr, "", plain, "default margins"},
      {"full", nullptr, "", "off 0 0 0 0 full_lab 0 dump 0", "no margins"},
      {"fullab", nullptr, "", "off 0 0 0 0 full_lab 1 dump 0", "no margins, labels inside"},
      {"gif", nullptr, "", "off 0 0 0.04 0.04 full_lab 0 dump 2 kez.gif", "default GIF name"},
      {"GIF=a%i.gif", nullptr, "", "off 0 0 0.04 0.04 full_lab 0 dump 2 a%i.gif", "GIF template, any case"},
      {"gif:frame%i.gif", nullptr, "", "off 0 0 0.04 0.04 full_lab 0 dump 2 frame%i.gif", "colon works too"},
      {"img", nullptr, "", "off 0 0 0.04 0.04 full_lab 0 dump 3 kez.img", "own format under a name of its own"},
      {"xwd", nullptr, "", "off 0 0 0.04 0.04 full_lab 0 dump 1 kez.xwd", "X Window Dump"},
      {"", "raw_grd,png=b.png", "", "off 0 0 0.04 0.04 full_lab 0 dump 4 b.png", "out_file PNG item"},
      {"", "bar,gif_trans", "", plain, "out_file takes only dumps"},
      {"gif_trans", nullptr, "", plain, "an exact word is no dump"},
      {"gifx,pngfoo,barb,fontsize,overlay,tzone,gridxy,fullabc", nullptr, "", plain,
       "longer words belong to other modules"},
      {"plt_skip=2:3,plt_off=0.5", nullptr, "skip 2 3; offset 0.5 0.5", nullptr, "one value serves both"},
      {"bar,bar=1:9,nobar", nullptr, "bar -2; range 9 1", nullptr, "bar and its range"},
      {"bar=1:9", nullptr, "bar 2; range 9 1", nullptr, "a bar with its range"},
      {"bar=5,plt_skip=,over,max_bad,plt_off=x,tz=,font=", nullptr, "", plain, "missing values are refused"},
      {"max_bad=0,max_bad=7", nullptr, "", nullptr, "GRIB's bad-value limit"},
      {"gridx3,gridx,nohdr,grdfmt=%8.2f", nullptr, "factor 3", nullptr, "grid settings"},
  };
  TempDir dir;
  for (const Case& c : cases) {
    auto r = run_child([&] {
      const Settings before;
      RES_put("image_path", dir.path().c_str());
      RES_put("plot_param", c.plot_param);
      if (c.out_file) RES_put("out_file", c.out_file);
      PLT_param_decode();
      Glim off{};
      PLT_get_view_offsets(&off);
      std::printf("settings=%s|off %g %g %g %g full_lab %d dump %d", changed(before).c_str(), off.x_min, off.x_max,
                  off.y_min, off.y_max, PLT_get_full_lab(), PLT_get_dump());
      if (PLT_get_dump()) {
        /* The name shows in the failed write of the missing capture. */
        PLT_dump(0);
      }
      return 0;
    });
    EXPECT_EQ(r.status, 0) << c.why;
    EXPECT_EQ(r.out.substr(0, r.out.find('|')), std::string("settings=") + c.settings) << c.why;
    if (c.frame) {
      /* Nine words of state, then the dump's name when there is one. */
      std::string frame = c.frame, name;
      size_t cut = 0;
      for (int w = 0; w < 9 && cut != std::string::npos; ++w) cut = frame.find(' ', cut + 1);
      if (cut != std::string::npos) {
        name = frame.substr(cut + 1);
        frame.resize(cut);
      }
      EXPECT_EQ(r.out.substr(r.out.find('|') + 1), frame) << c.why;
      if (!name.empty()) {
        if (name.find('%') != std::string::npos) name.replace(name.find('%'), 2, "win");
        EXPECT_NE(r.err.find("file: " + dir.file(name) + "\n"), std::string::npos) << c.why << ": " << r.err;
      }
    }
    EXPECT_EQ(r.err.find("PLT_param_decode") != std::string::npos, std::string(c.why) == "missing values are refused")
        << c.why << ": " << r.err;
  }
}

TEST(PlotParameters, ShadowOverlaysAndTimeZone) {
  auto r = run_child([] {
    PLT_init_labels(); /* the overlay count only grows: start from none */
    RES_put("plot_param", "shadow");
    PLT_param_decode();
    std::printf("shadow %d\n", gget_font_drop());
    RES_put("plot_param", "shadow=2,over=2:3");
    PLT_param_decode();
    std::printf("shadow %d base %d num %d\n", gget_font_drop(), PLT_get_overlay_base(), PLT_get_num_over());
    const Date date{2024, 3, 5, KEZ_MISS, KEZ_MISS, 18, 0, 0};
    char utc[DATE_LABEL_LEN], est[DATE_LABEL_LEN];
    DATE_make_label(&date, utc);
    RES_put("plot_param", "tz=EST:-5");
    PLT_param_decode();
    DATE_make_label(&date, est);
    std::printf("utc %s\nest %s\n", utc, est);
    return 0;
  });
  EXPECT_NE(r.out.find("shadow 4\nshadow 2 base 2 num 3\n"), std::string::npos) << r.out << r.err;
  EXPECT_NE(r.out.find("est 1300 EST  5 MAR 24\n"), std::string::npos) << r.out;
}

TEST(PlotFrame, PlotTypeNoneOpensNothing) {
  TempDir dir;
  auto r = run_child([&] {
    RES_put("file_path", KEZ_DATA_DIR);
    RES_put("device", ("p," + dir.file("none.ps")).c_str());
    FLAG_set(11, 99);
    std::printf("%d %d %d\n", PLT_open(0), PLT_reset(0), PLT_close());
    return 0;
  });
  EXPECT_EQ(r.out, "-1 -1 -1\n") << r.err;
  EXPECT_FALSE(FILE_is_file(dir.file("none.ps").c_str()));
}

TEST(PlotFrame, DumpNamesFollowTheTemplateAndImagePath) {
  TempDir dir;
  auto r = run_child([&] {
    RES_put("file_path", KEZ_DATA_DIR);
    RES_put("device", ("p," + dir.file("d.ps")).c_str());
    RES_put("image_path", dir.path().c_str());
    RES_put("plot_param", "gif=a%i.gif");
    if (PLT_open(0) != 0) return 2;
    std::printf("dump %d\n", PLT_dump(0));
    PLT_set_dump(PLT_DUMP_NONE, nullptr);
    std::printf("none %d\n", PLT_dump(0));
    std::printf("long %d\n", PLT_set_dump(PLT_DUMP_GIF, std::string(200, 'n').c_str()));
    std::printf("kept %d\n", PLT_get_dump());
    PLT_set_dump(PLT_DUMP_NONE, nullptr);
    /* With a dump kind set the close would not hold; none is set here and
     * the file device never holds either. */
    return PLT_close();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  /* The window capture is not there yet, so the write fails with the file's
   * name and the plot goes on. */
  EXPECT_NE(r.err.find("PLT_dump: Unable to write GIF file: " + dir.path() + "/awin.gif"), std::string::npos)
      << r.out << r.err;
  EXPECT_NE(r.out.find("dump 0\nnone -1\nlong -1\nkept 0\n"), std::string::npos) << r.out;
}

TEST(PlotFrame, PanelLayouts) {
  TempDir dir;
  auto r = run_child([&] {
    RES_put("file_path", KEZ_DATA_DIR);
    RES_put("device", ("p," + dir.file("p.ps")).c_str());
    RES_put("geometry", "640x512");
    if (PLT_open(0) != 0) return 2;
    const char* layouts[] = {"2x2+1+0", "0.5x0.5+0.25+0.25", "3x",         "9x9+0+0",
                             "1x2+0+1", "0.8x0.8+0.5+0.5",   "-1x0.5+0+0", "2x24444444484+2+0"};
    GPH_set_view_size(1, 1, 0, 0);
    for (const char* l : layouts) {
      PLT_panel_decode(l);
      Glim v{};
      GPH_get_view_size(&v);
      std::printf("%s: %.3f %.3f %.3f %.3f\n", l, v.x_min, v.x_max, v.y_min, v.y_max);
    }
    PLT_close();
    return 0;
  });
  EXPECT_EQ(r.status, 0) << r.err;
  const char* want[] = {
      "2x2+1+0: 0.500 1.000 0.400 0.800\n",           /* upper right quarter */
      "0.5x0.5+0.25+0.25: 0.250 0.750 0.200 0.600\n", /* centre quarter */
      "3x: 0.250 0.750 0.200 0.600\n",                /* too few numbers: unchanged */
      "9x9+0+0: 0.000 0.125 0.700 0.800\n",           /* taken as 8 by 8 */
      "1x2+0+1: 0.000 1.000 0.000 0.400\n",           /* one column, two rows: lower half */
      "0.8x0.8+0.5+0.5: 0.200 1.000 0.160 0.800\n",   /* kept on the page */
      "-1x0.5+0+0: 0.200 1.000 0.160 0.800\n",        /* no size: refused */
      "2x24444444484+2+0: 0.500 1.000 0.700 0.800\n", /* huge counts held to the limits */
  };
  for (const char* w : want) EXPECT_NE(r.out.find(w), std::string::npos) << w << r.out;
}

Domain polar(int nx, int ny) {
  Domain d;
  DOM_init(&d);
  d.proj = 1;
  d.plat = 90;
  d.plon = -105;
  d.clat = 45;
  d.clon = -105;
  d.dx = 1;
  d.dy = 1;
  d.nx = nx;
  d.ny = ny;
  return d;
}

std::vector<Domain> zoomed;
int record_zoom(Domain* d) {
  zoomed.push_back(*d);
  MAP_domain(d);
  return 0;
}

TEST(ZoomBox, BoxKeepsTheGridAndCoversTheBox) {
  zoomed.clear();
  const Domain start = polar(25, 17);
  MAP_domain(&start);
  PLT_set_zoom_func(record_zoom);
  PLT_set_zoom(0);
  EXPECT_EQ(PLT_plot_zoom("u-Alt", 0, 0), 0);
  EXPECT_TRUE(zoomed.empty()) << "unzoom without a zoom does nothing";

  EXPECT_EQ(PLT_plot_zoom("B1-P-Shft", 1, 1), 0);
  EXPECT_EQ(PLT_plot_zoom("B1-R-Shft", 1, 5), -1) << "no width";
  EXPECT_EQ(PLT_plot_zoom("B1-R", 11, 5), 0) << "the box stayed started";
  ASSERT_EQ(zoomed.size(), 1u);
  EXPECT_NEAR(zoomed[0].dx, 10.0f / 24, 1e-5);
  EXPECT_NEAR(zoomed[0].dy, 10.0f / 24, 1e-5);
  EXPECT_EQ(zoomed[0].nx, 25);
  EXPECT_EQ(zoomed[0].ny, 17);
  float lat = 0, lon = 0;
  MAP_domain(&start);
  MAP_untran(6, 3, &lat, &lon);
  EXPECT_NEAR(zoomed[0].clat, lat, 1e-3);
  EXPECT_NEAR(zoomed[0].clon, lon, 1e-3);
  EXPECT_EQ(PLT_get_zoom(), 1);

  MAP_domain(&zoomed[0]);
  EXPECT_EQ(PLT_plot_zoom("B1-R", 3, 3), 0) << "a release without a box does nothing";
  EXPECT_EQ(zoomed.size(), 1u);
  PLT_plot_zoom("B1-P-Shft", 0, 0);
  PLT_plot_zoom("B1-R", 2, 2);
  ASSERT_EQ(zoomed.size(), 2u);
  EXPECT_EQ(PLT_get_zoom(), 2);

  PLT_plot_zoom("u-Alt", 0, 0);
  ASSERT_EQ(zoomed.size(), 3u);
  EXPECT_EQ(DOM_comp(&zoomed[2], &start), 1) << "back to the domain before the first zoom";
  EXPECT_EQ(PLT_get_zoom(), 0);

  PLT_plot_zoom("r-Alt", 0, 0);
  ASSERT_EQ(zoomed.size(), 4u);
  EXPECT_EQ(DOM_comp(&zoomed[3], &start), 1) << "redraw keeps the domain";
}

TEST(ZoomBox, HodographKeepsPlotUnits) {
  zoomed.clear();
  Domain hodo;
  DOM_init(&hodo);
  hodo.proj = 23;
  hodo.clat = -10;
  hodo.clon = -10;
  hodo.dx = 20;
  hodo.dy = 20;
  MAP_domain(&hodo);
  PLT_set_zoom_func(record_zoom);
  PLT_set_zoom(0);
  PLT_plot_zoom("B1-P-Shft", 5, 3);
  PLT_plot_zoom("B1-R-Shft", 1, 2);
  ASSERT_EQ(zoomed.size(), 1u);
  EXPECT_FLOAT_EQ(zoomed[0].clat, 1);
  EXPECT_FLOAT_EQ(zoomed[0].clon, 2);
  EXPECT_FLOAT_EQ(zoomed[0].dx, 4);
  EXPECT_FLOAT_EQ(zoomed[0].dy, 1);
  PLT_plot_zoom("u-Alt", 0, 0);
  ASSERT_EQ(zoomed.size(), 2u);
  EXPECT_EQ(DOM_comp(&zoomed[1], &hodo), 1);
}

/* Each variable prints the values of its own store slots: every slot holds
 * 100 plus its index, so a printed value names the slot it came from. */
TEST(ValueReadOut, EachVariableReportsItsOwnGrids) {
  auto r = run_child([] {
    const Domain d = polar(25, 17);
    MAP_domain(&d);
    /* wind (vector with two component records), temp (contour), wind2. */
    struct Rec {
      const char* name;
      int type;
      int flag;
    };
    const Rec recs[] = {{"wind", 20, 0},  {"u", 1, 10}, {"v", 1, 10}, {"temp", 12, 0},
                        {"wind2", 21, 0}, {"u", 1, 10}, {"v", 1, 10}};
    int n = 0;
    for (const Rec& rec : recs) {
      VAR_data* v = VAR_get_var(n);
      std::snprintf(v->name, sizeof v->name, "%s", rec.name);
      v->type = rec.type;
      v->flag = rec.flag;
      GRD_set_grid_domain(n, &d);
      if (GRD_alloc_grid(n) != 0) return 3;
      GRD_report* g = GRD_get_grid(n);
      for (int k = 0; k < d.nx * d.ny; ++k) g->grid[k] = 100.0f + static_cast<float>(n);
      ++n;
    }
    VAR_set_num(n);
    MESS_set(0, 0xFFFFFFFF);
    /* The middle of the region, on every grid. */
    float x = 0;
    float y = 0;
    MAP_tran(d.clat, d.clon, &x, &y);
    PLT_print_values("v-Alt", x, y);
    PLT_print_values("e-Alt", x, y);
    std::printf("--- one record\n");
    VAR_set_num(1);
    VAR_get_var(0)->type = 12;
    PLT_print_values("v-Alt", x, y);
    PLT_print_values("e-Alt", x, y);
    return 0;
  });
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string all = r.out.substr(0, r.out.find("--- one record\n"));
  const std::string one = r.out.substr(all.size());
  /* The vectors print their two components, the contour its own grid; the
   * edit key edits nothing while several records are plotted. */
  const size_t wind = all.find(" = 101.00,102.00\n"), temp = all.find(" = 103.00\n"),
               wind2 = all.find(" = 105.00,106.00\n");
  ASSERT_NE(wind, std::string::npos) << r.out;
  ASSERT_NE(temp, std::string::npos) << r.out;
  ASSERT_NE(wind2, std::string::npos) << r.out;
  EXPECT_LT(wind, temp);
  EXPECT_LT(temp, wind2);
  EXPECT_EQ(all.find("Val = "), std::string::npos) << r.out;
  /* One contour record: the read-out and the edit reach slot 0. */
  EXPECT_NE(one.find(" = 100.00\n"), std::string::npos) << r.out;
  EXPECT_NE(one.find("Val = 100.00"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Var:   wind - "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Lat: "), std::string::npos) << r.out;
}

/* Waits for a file to hold text, with a generous time-out. */
bool wait_for_text(const std::string& file, const std::string& text) {
  for (int i = 0; i < 600; ++i) {
    if (read_file(file).find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

TEST(BatchPlot, PostScriptPageWithLabelsWithoutX) {
  TempDir dir;
  const std::string ps = dir.file("batch.ps");
  auto r = run_child([&] {
    unsetenv("DISPLAY");
    RES_put("file_path", KEZ_DATA_DIR);
    RES_put("device", ("p," + ps).c_str());
    RES_put("image_path", dir.path().c_str());
    RES_put("plot_param", "gif");
    FLAG_set_batch(1);
    if (PLT_open(0) != 0) return 2;
    const Domain d = polar(25, 17);
    MAP_domain(&d);
    GPH_trans(2);
    Glim area{};
    PLT_get_view(&area);
    GPH_line(area.x_min, area.y_min, area.x_max, area.y_max);
    PLT_label_up_left("batch plot");
    PLT_labels();
    PLT_dump(0);
    PLT_close(); /* the parent ends here with status 0 */
    return 5;
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.err.find("PLT_dump: Unable to write GIF file: " + dir.path() + "/kez.gif"), std::string::npos) << r.err;
  ASSERT_TRUE(wait_for_text(ps, "%%EOF")) << "the detached plot finishes its page";
  std::string out;
  EXPECT_EQ(kez_test::run_command("gs -q -dNOPAUSE -dBATCH -sDEVICE=bbox " + ps + " 2>&1", &out), 0);
  EXPECT_NE(out.find("%%BoundingBox"), std::string::npos) << out;
}

} // namespace

namespace {

/* Diagrams scale to the plot area that the frame lays out: a skew-T's
 * isotherms rise at 45 degrees on the page, whatever the area's shape. */
TEST(PlotFrame, DiagramsScaleToThePlotArea) {
  TempDir dir;
  for (float aspect : {0.0f, 2.0f, 0.7f}) {
    auto r = run_child([&] {
      RES_put("file_path", KEZ_DATA_DIR);
      RES_put("device", ("p," + dir.file("s.ps")).c_str());
      Domain skewt;
      DOM_init(&skewt);
      skewt.proj = 40;
      skewt.clat = -40;
      skewt.clon = 1050;
      skewt.dx = 80;
      skewt.dy = -950;
      MAP_domain(&skewt);
      if (PLT_open(aspect) != 0) return 2;
      Glim area{};
      PLT_get_view(&area);
      MAP_limits lim{};
      MAP_get_limits(&lim);
      float x1 = 0, y1 = 0, x2 = 0, y2 = 0;
      MAP_tran(-10, 900, &x1, &y1);
      MAP_tran(-10, 400, &x2, &y2);
      const double sx = (area.x_max - area.x_min) / (lim.x_max - lim.x_min);
      const double sy = (area.y_max - area.y_min) / (lim.y_max - lim.y_min);
      std::printf("%.3f\n", std::atan2((y2 - y1) * sy, (x2 - x1) * sx) * 180 / M_PI);
      PLT_close();
      return 0;
    });
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("45.000\n"), std::string::npos) << "aspect " << aspect << ": " << r.out;
  }
}

} // namespace
