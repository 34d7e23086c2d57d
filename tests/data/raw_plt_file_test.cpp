/*
 * Raw point-data files on plots: values drawn at their stations from a
 * map's list and from the map plot (also on a re-run after the station
 * table was emptied), files analysed into grid files, and the contour plot
 * of listed files.
 */
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "kez.h"
#include "kez_test.h"
#include "kezcty.h"
#include "kezgks.h"
#include "kezgrd.h"
#include "kezraw.h"
#include "station_draw.h"
#include "test_domains.h"
#include "x_server.h"

using kez_test::run_child;
using kez_test::TempDir;
using kez_test::us_domain;
using station_draw::Prim;

namespace {

/* Two stations by position and Denver by identifier only. */
const char* kStations =
    "KEZRAW\n12Z  5 JAN 98\n!Test values\nid lat lon T:Temperature wx\n$\n"
    "AAA 45.0 -93.0 12 a_b\n"
    "BBB 35.0 -90.0 34 c\n"
    "DEN - - 56 d\n";

/* The texts drawn into a metafile. */
std::vector<std::string> texts(const std::string& meta) {
  std::vector<std::string> out;
  for (const Prim& p : station_draw::read_meta(meta))
    if (p.kind == "TE") out.push_back(p.text);
  return out;
}

bool has(const std::vector<std::string>& v, const std::string& s) {
  return std::find(v.begin(), v.end(), s) != v.end();
}

/* A field of stations over the United States whose value is their
 * latitude plus shift, for analyses. */
std::string field_file(const char* date, float shift) {
  std::string text = std::string("KEZRAW\n") + date + "\n!Analysed\nid lat lon V:Value\n$\n";
  int k = 0;
  for (float lat = 28; lat <= 48; lat += 4)
    for (float lon = -120; lon <= -74; lon += 6) {
      char line[80];
      std::snprintf(line, sizeof line, "S%02d %.1f %.1f %.1f\n", k++, lat, lon, lat + shift);
      text += line;
    }
  return text;
}

/* Counts the writes of a file by its modification time, which each
 * count sets back to the epoch's first second. */
struct WriteCounter {
  std::string path;
  int writes = 0;
  void age() const {
    const timespec old[2] = {{1, 0}, {1, 0}};
    utimensat(AT_FDCWD, path.c_str(), old, 0);
  }
  int count() {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && st.st_mtime != 1) {
      ++writes;
      age();
    }
    return writes;
  }
};

} // namespace

/* The map list's point-data items draw the file's values at the stations
 * with a position; without labels nothing is looked up in the station
 * table. The map plot's own items look the station up as well. */
TEST(RawFilePlot, MapListAndMapPlotDrawValuesAtStations) {
  TempDir dir;
  kez_test::write_file(dir.file("s.raw"), kStations);
  const std::string list = dir.file("list.meta");
  const std::string plot = dir.file("plot.meta");
  auto r = run_child([&] {
    RES_put("file_path", KEZ_DATA_DIR);
    RES_put("raw_path", dir.path().c_str());
    RES_put("map_file", ("rf:" + dir.file("s.raw") + "-0").c_str());
    RES_put("device", ("m," + list).c_str());
    Domain d = us_domain();
    MAP_plot(&d);
    /* The map plot's item, labelled: Denver comes from the table. */
    RES_put("map_file", "none");
    RES_put("filename", "s.raw-0");
    RES_put("device", ("m," + plot).c_str());
    MAP_plot(&d);
    std::printf("ul [%s]\n", PLT_get_label(0, 0));
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const auto from_list = texts(list);
  EXPECT_TRUE(has(from_list, "12")) << r.err;
  EXPECT_TRUE(has(from_list, "34"));
  EXPECT_FALSE(has(from_list, "56")) << "no position and no table lookup without labels";
  const auto from_plot = texts(plot);
  EXPECT_TRUE(has(from_plot, "12"));
  EXPECT_TRUE(has(from_plot, "56")) << "placed through the station table";
}

/* A zoom re-run after the plot frame emptied the station table draws the
 * stations found in the table again. */
TEST(RawFilePlot, StationTableLoadedAgainAfterItWasEmptied) {
  TempDir dir;
  kez_test::write_file(dir.file("s.raw"), kStations);
  auto r = run_child([&] {
    RES_put("file_path", KEZ_DATA_DIR);
    RES_put("raw_path", dir.path().c_str());
    RES_put("stat_prior", "9");
    RES_put("map_file", "none");
    std::vector<Gpt> den;
    for (float dx : {0.4f, 0.2f}) {
      const std::string meta = dir.file("p" + std::to_string(den.size()) + ".meta");
      RES_put("device", ("m," + meta).c_str());
      RES_put("filename", "s.raw-0");
      Domain d = us_domain(dx);
      MAP_plot(&d);
      CTY_clear();
      for (const Prim& p : station_draw::read_meta(meta))
        if (p.kind == "TE" && p.text == "56") den.push_back(p.pts.at(0));
    }
    if (den.size() != 2) return 10 + static_cast<int>(den.size());
    /* The projection is the same, only the window is smaller. */
    return station_draw::near(den[0], den[1], 1e-3f) ? 0 : 20;
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

/* The "out_file" items choose the grid file type and naming convention;
 * image dumps and "none" choose nothing. */
TEST(RawGridFile, OutFileItems) {
  struct Case {
    const char* out_file;
    int type;
    const char* tail; /* the end of the chosen convention's name template */
  };
  const Case cases[] = {
      {"cdf", GRD_TYPE_NETCDF, "_%v.nc"},
      {"kez", GRD_TYPE_TEXT, "_%v.grd"},
      {"KEZB", GRD_TYPE_BINARY, "_%v.grd"},
      {"png,cdf", GRD_TYPE_NETCDF, "_%v.nc"},
      {"cdf,png", GRD_TYPE_NETCDF, "_%v.nc"},
      {"gif", 0, "_%v.grd"},
      {"none", 0, "_%v.grd"},
      {"cdf,kez_sfc_grd_cdf", GRD_TYPE_TEXT, "_sfc.nc"},
      {"sfc_grd", GRD_TYPE_TEXT, "_sfc.grd"},
  };
  for (const Case& c : cases) {
    auto r = run_child([&] {
      RES_put("file_path", KEZ_DATA_DIR);
      RES_put("out_file", c.out_file);
      const int type = RAW_grd_out_file();
      char conv[FILE_PATH_LEN] = "";
      FILE_get_name_conv(conv);
      std::printf("%d|%d|%s\n", type, FLAG_get(FLAG_FILE_KIND), conv);
      return 0;
    });
    ASSERT_EQ(r.status, 0) << r.err;
    int type = -1;
    int kind = -1;
    ASSERT_EQ(std::sscanf(r.out.c_str(), "%d|%d|", &type, &kind), 2) << r.out;
    EXPECT_EQ(type, c.type) << c.out_file;
    const std::string conv = r.out.substr(0, r.out.find('\n'));
    EXPECT_NE(conv.find(std::string(c.tail) + " "), std::string::npos) << c.out_file << ": " << conv;
    if (c.type != 0) {
      EXPECT_EQ(kind, c.type) << c.out_file;
    }
  }
}

/* A file analysed with "out_file" "cdf" becomes a netCDF grid file with
 * the file's description; a second gridding reuses that file and does not
 * save over it; "none" writes nothing. */
TEST(RawGridFile, NetcdfGridAndReuse) {
  if (!kez_test::have_program("ncdump")) GTEST_SKIP() << "ncdump is needed";
  TempDir dir;
  kez_test::write_file(dir.file("f.raw"), field_file("12Z  5 JAN 98", 0));
  auto r = run_child([&] {
    RES_put("file_path", KEZ_DATA_DIR);
    RES_put("raw_path", dir.path().c_str());
    RES_put("grid_path", dir.path().c_str());
    RES_put("out_file", "cdf");
    FILE_set_key('v', "V");
    FLAG_set_batch(1);
    Domain d = us_domain();
    MAP_setup(&d);
    char req[] = "f.raw-0";
    RAW_grid_file(req, 1);
    std::printf("kind %d\n", FLAG_get(FLAG_FILE_KIND));
    std::printf("label [%s]\n", PLT_get_label(0, 0));
    WriteCounter saved{dir.file("98010512_V.nc")};
    saved.age();
    char again[] = "f.raw-0";
    RAW_grid_file(again, 1);
    std::printf("saves after reuse %d\n", saved.count());
    /* A batch run does not overwrite a file: the key's save makes it anew. */
    std::remove(saved.path.c_str());
    char key[] = "s-Alt";
    RAW_callback(0, key, 0, 0);
    std::printf("saves after the key %d\n", saved.count());
    RES_put("out_file", "none");
    RES_put("grid_path", (dir.path() + "/none").c_str());
    char none[] = "f.raw-0";
    RAW_grid_file(none, 0);
    std::printf("saves with none %d\n", saved.count());
    RAW_callback(0, key, 0, 0);
    std::printf("saves after the key with none %d\n", saved.count());
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("kind 11"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("label [Analysed-Value]"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("saves after reuse 0"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("saves after the key 1"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("saves with none 1"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("saves after the key with none 1"), std::string::npos) << r.out;
  const std::string nc = dir.file("98010512_V.nc");
  std::string dump;
  ASSERT_EQ(kez_test::run_command("ncdump " + nc, &dump), 0) << dump << r.err;
  EXPECT_NE(dump.find("Analysed-Value"), std::string::npos) << dump.substr(0, 2000);
  /* The analysed values follow the stations' latitudes. */
  std::string vals;
  ASSERT_EQ(kez_test::run_command("/usr/bin/python3 -c \"import netCDF4,numpy;v=[x for x in netCDF4.Dataset('" + nc +
                                      "').variables.values() if x.ndim>=2][0][:];a=numpy.ma.masked_less(numpy."
                                      "squeeze(v),-9000);print(round(float(a.min())),round(float(a.max())))\"",
                                  &vals),
            0)
      << vals;
  int lo = 0;
  int hi = 0;
  ASSERT_EQ(std::sscanf(vals.c_str(), "%d %d", &lo, &hi), 2) << vals;
  EXPECT_GE(lo, 20) << vals;
  EXPECT_LE(hi, 56) << vals;
  EXPECT_GT(hi - lo, 10) << vals;
}

/* The contour plot of two listed files analyses each into its own grid
 * and draws it; the page renders. */
TEST(RawContourPlot, TwoFilesOnPostScript) {
  TempDir dir;
  kez_test::write_file(dir.file("a.raw"), field_file("12Z  5 JAN 98", 0));
  kez_test::write_file(dir.file("b.raw"), field_file("00Z  6 JAN 98", 100));
  const std::string ps = dir.file("c.ps");
  auto r = run_child([&] {
    RES_put("file_path", KEZ_DATA_DIR);
    RES_put("raw_path", dir.path().c_str());
    RES_put("grid_path", dir.path().c_str());
    RES_put("out_file", "cdf");
    RES_put("map_file", "kez.map:black");
    RES_put("device", ("p," + ps).c_str());
    RES_put("filename", "a.raw-0,b.raw-0");
    FILE_set_key('v', "V");
    MESS_set(1, M_mess);
    FLAG_set_batch(1);
    Domain d = us_domain();
    return RAW_plot(&d);
  });
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const std::string all = r.out + r.err;
  size_t contoured = 0;
  for (size_t at = 0; (at = all.find("Contouring data for", at)) != std::string::npos; ++at) ++contoured;
  EXPECT_EQ(contoured, 2u) << all;
  std::string a_dump;
  std::string b_dump;
  EXPECT_EQ(kez_test::run_command("ncdump -h " + dir.file("98010512_V.nc"), &a_dump), 0) << a_dump;
  EXPECT_EQ(kez_test::run_command("ncdump -h " + dir.file("98010600_V.nc"), &b_dump), 0) << b_dump;
  if (!kez_test::have_program("gs")) GTEST_SKIP() << "no ghostscript";
  std::string out;
  EXPECT_EQ(kez_test::run_command("gs -q -dNOPAUSE -dBATCH -sDEVICE=bbox " + ps + " 2>&1", &out), 0) << out;
  EXPECT_NE(out.find("%%BoundingBox"), std::string::npos) << out;
}

/* Requests choose a field by number or name, or every value of a line; the
 * "skip" keyword draws every n-th record only, counted from the first. */
TEST(RawFilePlot, FieldsAndSkipCount) {
  TempDir dir;
  kez_test::write_file(dir.file("t.raw"),
                       "KEZRAW\n12Z  5 JAN 98\n!Rows\nid lat lon T:Temp U:Other\n$\n"
                       "R0 40 -100 10 20\nR1 40 -99 11 21\nR2 40 -98 12 22\n"
                       "R3 40 -97 13 23\nR4 40 -96 14 24\nR5 40 -95 15 25\nR6 40 -94 16 26\n");
  struct Case {
    const char* request;
    const char* plot_param;
    std::vector<std::string> drawn;
  };
  const Case cases[] = {
      {"t.raw-0", "", {"10", "11", "12", "13", "14", "15", "16"}},
      {"t.raw-U", "", {"20", "21", "22", "23", "24", "25", "26"}},
      {"t.raw-1:uc", "", {"20", "21", "22", "23", "24", "25", "26"}},
      {"t.raw", "", {"10", "20", "11", "21", "12", "22", "13", "23", "14", "24", "15", "25", "16", "26"}},
      {"t.raw-0", "skip 3", {"10", "13", "16"}},
      {"t.raw-0:sk=2", "", {"10", "12", "14", "16"}},
  };
  for (const Case& c : cases) {
    const std::string meta = dir.file("f.meta");
    auto r = run_child([&] {
      RES_put("file_path", KEZ_DATA_DIR);
      RES_put("raw_path", dir.path().c_str());
      RES_put("device", ("m," + meta).c_str());
      if (*c.plot_param) RES_put("plot_param", c.plot_param);
      Domain d = us_domain();
      if (PLT_open(DOM_aspect(&d)) != 0) return 3;
      MAP_setup(&d);
      std::string req = c.request;
      RAW_plot_file(req.data(), 1);
      std::printf("ul [%s]\n", PLT_get_label(0, 0));
      return PLT_close();
    });
    ASSERT_EQ(r.status, 0) << c.request << r.out << r.err;
    EXPECT_EQ(texts(meta), c.drawn) << c.request << " " << c.plot_param << "\n" << r.err;
    if (std::string(c.request) == "t.raw-U") {
      EXPECT_NE(r.out.find("ul [Rows-Other]"), std::string::npos) << r.out;
    }
  }
}

/* The same plot in a window, filled: the screen shows the colour bands of
 * both analyses. */
TEST(RawContourPlot, TwoFilesInTheWindow) {
  kez_test::XServer x(800, 700, 24);
  if (!x.ok()) GTEST_SKIP() << "Xvfb is needed";
  if (!kez_test::have_program("xwd")) GTEST_SKIP() << "xwd is needed";
  TempDir dir;
  kez_test::write_file(dir.file("a.raw"), field_file("12Z  5 JAN 98", 0));
  kez_test::write_file(dir.file("b.raw"), field_file("00Z  6 JAN 98", 100));
  const std::string shot = dir.file("w.xwd");
  auto r = run_child([&] {
    RES_put("file_path", KEZ_DATA_DIR);
    RES_put("raw_path", dir.path().c_str());
    RES_put("grid_path", dir.path().c_str());
    RES_put("out_file", "none");
    RES_put("map_file", "kez.map:red");
    RES_put("device", ("display," + x.display()).c_str());
    RES_put("filename", "a.raw-0,b.raw-0");
    RES_put("con_interval", "4");
    FLAG_set_batch(1);
    FLAG_set(FLAG_PLOT_TYPE, 15);
    Domain d = us_domain();
    /* Opened here, the window stays up after the plot. */
    if (PLT_open(DOM_aspect(&d)) != 0) return 3;
    RAW_plot(&d);
    gupdate_window();
    const int rc = kez_test::run_command("xwd -root -silent -display " + x.display() + " > " + shot);
    PLT_close();
    return rc;
  });
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  std::string colours;
  ASSERT_EQ(kez_test::run_command("convert " + shot + " -format %k info:", &colours), 0);
  EXPECT_GE(std::atoi(colours.c_str()), 6) << "background, frame, outlines and several bands";
}
