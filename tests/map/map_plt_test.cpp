/*
 * The map plot driver: a whole plot with labels, stations, markers and a
 * range circle, rendered by ghostscript.
 */
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "kez.h"
#include "kez_test.h"
#include "kezgks.h"
#include "test_domains.h"
#include "x_server.h"

using kez_test::run_child;
using kez_test::TempDir;
using kez_test::us_domain;

TEST(MapPlot, LabelsStationsMarksAndRangeCircleRender) {
  TempDir dir;
  const std::string ps = dir.file("m.ps");
  auto r = run_child([&] {
    RES_put("file_path", KEZ_DATA_DIR);
    RES_put("device", ("p," + ps).c_str());
    RES_put("identifier", "DEN:Mile_High,XYZ:45:-95:Center");
    RES_put("filename", "ul:Title,mark:40:-105:star,mark:35:-90:12,range:40:-105:100,text:30:-100:Here");
    RES_put("map_file", "kez.map:black");
    RES_put("color_data", "black");
    MAP_latlon(10, 10, 0, 0);
    Domain d = us_domain();
    /* Opened here, the plot stays open after MAP_plot and shows its labels. */
    if (PLT_open(DOM_aspect(&d)) != 0) return 3;
    MAP_plot(&d);
    std::printf("label [%s]\n", PLT_get_label(0, 0));
    return PLT_close();
  });
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("label [Title]"), std::string::npos) << r.out << r.err;
  if (!kez_test::have_program("gs")) GTEST_SKIP() << "no ghostscript";
  std::string out;
  EXPECT_EQ(kez_test::run_command("gs -q -dNOPAUSE -dBATCH -sDEVICE=bbox " + ps + " 2>&1", &out), 0) << out;
  EXPECT_NE(out.find("%%BoundingBox"), std::string::npos) << out;
  if (const char* keep = std::getenv("KEZ_MAP_PNG_DIR"))
    kez_test::run_command("gs -q -dNOPAUSE -dBATCH -sDEVICE=png16m -r80 -sOutputFile=" + std::string(keep) +
                          "/plot.png " + ps);
}

/* The same plot in a window: the screen shows the map's lines. */
TEST(MapPlot, DrawsIntoTheWindow) {
  kez_test::XServer x(800, 700, 24);
  if (!x.ok()) GTEST_SKIP() << "Xvfb is needed";
  if (!kez_test::have_program("xwd")) GTEST_SKIP() << "xwd is needed";
  TempDir dir;
  const std::string shot = dir.file("w.xwd");
  auto r = run_child([&] {
    RES_put("file_path", KEZ_DATA_DIR);
    RES_put("device", ("display," + x.display()).c_str());
    RES_put("map_file", "kez.map:red");
    RES_put("identifier", "DEN:Mile_High");
    RES_put("filename", "ul:Window");
    MAP_latlon(10, 10, 0, 0);
    FLAG_set_batch(1);
    Domain d = us_domain();
    if (PLT_open(DOM_aspect(&d)) != 0) return 3;
    MAP_plot(&d);
    gupdate_window();
    const int rc = kez_test::run_command("xwd -root -silent -display " + x.display() + " > " + shot);
    PLT_close();
    return rc;
  });
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  std::string colours;
  ASSERT_EQ(kez_test::run_command("convert " + shot + " -format %k info:", &colours), 0);
  EXPECT_GE(std::atoi(colours.c_str()), 3) << "background, frame and the red outlines";
  if (const char* keep = std::getenv("KEZ_MAP_PNG_DIR"))
    kez_test::run_command("convert " + shot + " " + std::string(keep) + "/window.png");
}
