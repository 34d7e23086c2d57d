/*
 * The surface plot driver's own choices, in a child process each: which
 * naming convention and grid file type the "out_file" items give the raw
 * and grid output, and where and with what elevation a report is placed.
 */
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kez.h"
#include "kez_test.h"
#include "kezcty.h"
#include "kezsfc.h"

namespace {

using kez_test::run_child;
using kez_test::TempDir;
using kez_test::write_file;

/* Every convention has a template of its own, so the chosen one shows. */
constexpr const char* kNameConv =
    "sfc_raw      %R/raw_default  - 0\n"
    "sfc_grd_kez  %G/grd_kez      - 0\n"
    "sfc_grd_cdf  %G/grd_cdf      - 0\n"
    "sfc_grd      %G/grd_plain    - 0\n"
    "raw          %R/conv_raw     - 0\n"
    "cdf          %R/conv_cdf     - 0\n"
    "_mine        %R/conv_mine    - 0\n"
    "mine         %R/conv_plain   - 0\n";

std::string current_template() {
  std::vector<char> buf(FILE_PATH_LEN, '\0');
  FILE_get_name_conv(buf.data());
  std::string s = buf.data();
  /* "<step> <template> <header>": the template alone */
  const size_t a = s.find(' ');
  const size_t b = s.find(' ', a + 1);
  return s.substr(a + 1, b - a - 1);
}

TEST(SfcPlot, OutFileItemsChooseRawAndGridOutput) {
  struct Case {
    const char* items;
    int raw;
    const char* raw_conv;
    int grid;
    const char* grid_conv;
  } cases[] = {
      {"kez", 1, "%R/raw_default", 2, "%G/grd_kez"},
      {"kezb_mine", 1, "%R/conv_mine", 3, "%R/conv_plain"},
      {"cdf", 1, "%R/conv_cdf", 11, "%G/grd_cdf"},
      {"raw", 1, "%R/raw_default", 2, "%R/conv_raw"},
      {"none", 0, "%R/raw_default", 0, "%G/grd_plain"},
      {"gif", 0, "%R/raw_default", 0, "%G/grd_plain"},
      {"png", 0, "%R/raw_default", 0, "%G/grd_plain"},
      {"png=frame%i.png", 0, "%R/raw_default", 0, "%G/grd_plain"},
      {"GIF:x.gif,kez", 1, "%R/raw_default", 2, "%G/grd_kez"},
      /* the last convention wins, a keyword anywhere sets the type */
      {"cdf,mine", 1, "%R/conv_plain", 11, "%R/conv_plain"},
  };
  TempDir dir;
  write_file(dir.file("name_conv"), kNameConv);
  for (const Case& c : cases) {
    auto r = run_child([&] {
      RES_put("file_path", dir.path().c_str());
      RES_put("out_file", c.items);
      FLAG_set(SFC_FLAG_FILE_KIND, 0);
      const int raw = SFC_raw_out_file();
      const std::string raw_conv = current_template();
      const int grid = SFC_grd_out_file();
      std::printf("%d %s %d %s %d\n", raw, raw_conv.c_str(), grid, current_template().c_str(),
                  FLAG_get(SFC_FLAG_FILE_KIND));
      return 0;
    });
    const std::string want = std::to_string(c.raw) + " " + c.raw_conv + " " + std::to_string(c.grid) + " " +
                             c.grid_conv + " " + std::to_string(c.grid ? c.grid : 0) + "\n";
    EXPECT_EQ(r.out, want) << c.items << "\n" << r.err;
  }
}

/* One surface report of a test file. */
struct Obs {
  const char* id;
  float lat, lon, elev, t;
};

/* Writes the reports into a netCDF surface file of the 12Z 10 DEC 26
 * hour, with the plot settings the station tests share. Run in a child. */
int write_reports(const TempDir& dir, const std::string& file, const std::vector<Obs>& obs) {
  RES_put("file_path", dir.path().c_str());
  RES_put("plot_param", "loc_pr=1");
  PLT_param_decode();
  MESS_set_str("error");
  int type = SFC_FT_CDF;
  const int fd = SFC_open(file.c_str(), SFC_ACC_WRITE, &type);
  if (fd < 0) return 2;
  SFC_info info{};
  std::snprintf(info.datim, sizeof info.datim, "12Z 10 DEC 26");
  DATE_init(&info.date);
  info.date.year = 2026;
  info.date.month = 12;
  info.date.day = 10;
  info.date.hour = 12;
  SFC_putinfo(fd, &info);
  int n = 0;
  for (const Obs& o : obs) {
    SFC_report rep;
    SFC_initialize(&rep);
    std::snprintf(rep.id, sizeof rep.id, "%s", o.id);
    rep.lat = o.lat;
    rep.lon = o.lon;
    rep.elev = o.elev;
    rep.t = o.t;
    SFC_write(fd, &rep, 0, &n);
    ++n;
  }
  SFC_close(fd);
  return 0;
}

/* Sets up the map of `spec` and stores the station table "sao.cty" on it. */
bool place_stations(Domain& d, const char* spec) {
  DOM_init(&d);
  if (DOM_decode(spec, &d) <= 0) return false;
  MAP_setup(&d);
  CTY_store("sao.cty", CTY_TABLE_POS_LOC, &d, SFC_STATION_PRIOR);
  return true;
}

/* A listed station keeps its own elevation unless the table gives one; an
 * unlisted station with a position keeps its own; one without a position
 * is skipped. A table's elevation that is no measurement reaches the
 * report as missing, as the file's own values do. */
TEST(SfcPlot, ReportsArePlacedWithTheRightElevation) {
  TempDir dir;
  write_file(dir.file("sao.cty"),
             "Kansas_City MO US MCI 1 39.30 -94.73 9999 99999 0\n"
             "Test_Field  KS US TST 1 39.00 -95.00 250 99999 0\n"
             "Bad_Field   KS US BAD 1 38.50 -95.50 -5000000 99999 0\n");
  const std::string file = dir.file("obs.nc");
  auto r = run_child([&] {
    const int written = write_reports(dir, file,
                                      {{"MCI", KEZ_FMISS, KEZ_FMISS, 315, 50},
                                       {"TST", 39.1f, -95.1f, 300, 50},
                                       {"BAD", KEZ_FMISS, KEZ_FMISS, 200, 50},
                                       {"XUNL", 41.5f, -96.0f, 500, 50},
                                       {"XNOPOS", KEZ_FMISS, KEZ_FMISS, 100, 50}});
    if (written != 0) return written;
    Domain d;
    if (!place_stations(d, "ps::-93,43,-93,25,17,1.1,1.1")) return 3;
    if (SFC_open_file(file.c_str()) != 1) return 4;
    SFC_rewind_file();
    SFC_report rep;
    CTY_locate loc{};
    int res;
    while ((res = SFC_read_report(&rep, &loc)) >= 0) {
      std::printf("%s %d %.0f %.0f\n", rep.id, res, rep.elev, loc.el);
      loc = CTY_locate{};
    }
    SFC_close_file();
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "MCI 1 315 315\nTST 1 250 250\nBAD 1 -9999 -5000000\nXUNL 1 500 500\nXNOPOS 0 100 0\n") << r.err;
}

/* The analysis and each station plot walk the reports of a file in turn;
 * a walk after the first gives what reading the file gives, and positions
 * of stations placed by their own latitude and longitude follow the map
 * of the walk. */
TEST(SfcPlot, EveryWalkOverAFileGivesWhatReadingItGives) {
  TempDir dir;
  write_file(dir.file("sao.cty"),
             "Kansas_City MO US MCI 1 39.30 -94.73 9999 99999 0\n"
             "Test_Field  KS US TST 1 39.00 -95.00 250 99999 0\n"
             "Far_Field   KS US FAR 9 38.00 -97.00 400 99999 0\n");
  const std::string file = dir.file("obs.nc");
  auto r = run_child([&] {
    const int written = write_reports(dir, file,
                                      {{"MCI", KEZ_FMISS, KEZ_FMISS, KEZ_FMISS, 50},
                                       {"XUNL", 41.5f, -96.0f, KEZ_FMISS, 51},
                                       {"XNOPOS", KEZ_FMISS, KEZ_FMISS, KEZ_FMISS, 52},
                                       {"TST", 39.1f, -95.1f, KEZ_FMISS, 53},
                                       {"FAR", KEZ_FMISS, KEZ_FMISS, KEZ_FMISS, 54}});
    if (written != 0) return written;
    Domain d;
    if (!place_stations(d, "ps::-93,43,-93,25,17,1.1,1.1")) return 3;
    /* A walk as a line: each read's result, report and entry; the entry
     * starts from a mark, so that what a read leaves alone shows. */
    auto walk = [] {
      SFC_rewind_file();
      std::string line;
      SFC_report rep;
      CTY_locate loc{};
      std::snprintf(loc.id, sizeof loc.id, "mark");
      loc.wmo = 7;
      int res;
      char item[160];
      while ((res = SFC_read_report(&rep, &loc)) >= 0) {
        std::snprintf(item, sizeof item, "%s %d %.0f %.0f %s %d %.3f %.3f %.0f %d|", rep.id, res, rep.t, rep.elev,
                      loc.id, loc.wmo, loc.x, loc.y, loc.el, loc.pr);
        line += item;
      }
      return line;
    };
    if (SFC_open_file(file.c_str()) != 1) return 4;
    const std::string first = walk(), second = walk(), third = walk();
    std::printf("%d %d\n", first == second, second == third);
    /* Another map: a fresh file's walk and a walk over the open one agree. */
    if (DOM_decode("ps::-95,40,-95,25,17,1.3,1.3", &d) <= 0) return 5;
    MAP_setup(&d);
    const std::string moved = walk();
    SFC_close_file();
    if (SFC_open_file(file.c_str()) != 1) return 6;
    const std::string fresh = walk();
    std::printf("%d %d\n", moved == fresh, moved != first);
    std::printf("%s\n", first.c_str());
    SFC_close_file();
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, 8), "1 1\n1 1\n") << r.out;
  /* a station without a position, and one the table does not hold, give
   * 0 and leave the entry as the read before left it */
  const std::string first = r.out.substr(8);
  EXPECT_NE(first.find("MCI 1 50 -9999 MCI 99999"), std::string::npos) << first;
  EXPECT_NE(first.find("XNOPOS 0 52 -9999 XUNL -9999"), std::string::npos) << first;
  EXPECT_NE(first.find("FAR 0 54 -9999 TST 99999"), std::string::npos) << first;
}

} // namespace
