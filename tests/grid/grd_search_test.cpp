#include "grid_test_util.h"
#include "kez_test.h"
#include "kezgrd.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using grid_test::domain;
using grid_test::Grid;
using kez_test::capture;
using kez_test::read_file;
using kez_test::run_child;
using kez_test::TempDir;
using kez_test::write_file;

constexpr float M = KEZ_FMISS;

/* One record of a hand-made KEZGRID file: codes, grid number, a constant value. */
struct Rec {
  int var, ltype, level, time, type;
  float value;
  const char* units = "K";
  int nx = 2, ny = 2;
  float clat = 40, clon = -100;
};

std::string record_text(const Rec& r) {
  char buf[512];
  std::snprintf(buf, sizeof buf, "1200Z 10 DEC 26\n2-rec\n1 2 1 %d %d %d %d %d:%s\nLL %g %g 1 1 %d %d\n", r.type,
                r.ltype, r.level, r.time, r.var, r.units, r.clat, r.clon, r.nx, r.ny);
  std::string s = buf;
  for (int k = 0; k < r.nx * r.ny; ++k) s += std::to_string(r.value) + "\n";
  return s;
}

std::string grid_file(const std::vector<Rec>& recs, const std::string& tail = "") {
  std::string s = "KEZGRID\n";
  for (const Rec& r : recs) s += record_text(r);
  return s + tail;
}

/* A request made the way the variable parser would. */
VAR_data request(int time, int ltype, int level, int var, const char* units = "") {
  VAR_data v{};
  v.time = time;
  v.ltype = ltype;
  v.level = level;
  for (int& p : v.var) p = KEZ_MISS;
  v.var[0] = var;
  std::snprintf(v.units, sizeof v.units, "%s", units);
  return v;
}

/* ---- requests and matching ----------------------------------------------------- */

TEST(GridRequest, TextsDecodeToPositionOrSelection) {
  /* A folder without a variable table, whatever an earlier test named. */
  TempDir no_table;
  RES_put("file_path", no_table.path().c_str());
  struct Case {
    const char* text;
    int result;
    int time, ltype, level, var;
    const char* units;
    int type;
    const char* why;
  };
  const Case cases[] = {
      {nullptr, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, "", -5, "no text"},
      {"", KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, "", -5, "empty"},
      {"-", KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, "", -5, "a lone minus"},
      {"#3:F", 3, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, "F", -5, "position and units"},
      {"#0", 0, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, "", -5, "the first grid"},
      {":m", KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, "m", -5, "units only"},
      {"-1250hh", -1, 12, 100, 50, 7, "", -5, "three two-character fields"},
      {"-1250HH:dm", -1, 12, 100, 50, 7, "dm", -5, "codes other than pr in any case"},
      {"-0050pr", -1, 0, 100, 50, 1, "", -5, "pr in lower case"},
      {"-0050PR", -1, 0, 100, 50, 0, "", -5, "PR is not the pr code (no table: no number)"},
      {"+12:500mb:hh:m:211", -1, 12, 100, 500, 7, "m", 211, "the long form with a grid number"},
      {"+6:sfc:st", -1, 6, 1, 0, 11, "", -5, "the long form without units"},
      {"+6:sfc:vv::", -1, 6, 1, 0, 39, "", -5, "empty units and grid"},
  };
  for (const Case& c : cases) {
    VAR_data p{};
    int type = -5;
    EXPECT_EQ(GRD_parse_params(c.text, &p, &type), c.result) << c.why;
    EXPECT_EQ(p.time, c.time) << c.why;
    EXPECT_EQ(p.ltype, c.ltype) << c.why;
    EXPECT_EQ(p.level, c.level) << c.why;
    EXPECT_EQ(p.var[0], c.var) << c.why;
    EXPECT_STREQ(p.units, c.units) << c.why;
    EXPECT_EQ(type, c.type) << c.why;
  }
}

TEST(GridRequest, HostileTextsMatchNothingAndSaySo) {
  const std::string long_word(300, 'x');
  const std::string cases[] = {
      "#abc",
      "#-3",
      "#3:" + std::string(20, 'u'),
      ":" + std::string(15, 'u'),
      "+1234567890:500:hh",
      "+12:" + long_word + ":hh",
      "+12:500:" + long_word,
      "+12:500:hh:m:2110000000",
      "+12:500:hh:m:21x",
      "+1:2:3:4:5:6",
      "?what",
  };
  for (const std::string& text : cases) {
    VAR_data p{};
    int type = -5;
    int res = 0;
    auto out = capture([&] { res = GRD_parse_params(text.c_str(), &p, &type); });
    EXPECT_EQ(res, GRD_REQ_SELECT) << text;
    for (int v : p.var) EXPECT_EQ(v, KEZ_MISS) << text;
    EXPECT_NE(out.err.find("GRD_parse_params:"), std::string::npos) << text;
    Grid g(domain(2, 0, 0, 1, 1, 1, 1), {1});
    g.r.var = KEZ_MISS;
    EXPECT_EQ(GRD_test(&g.r, &p, KEZ_MISS), 0) << "a refused request matches nothing: " << text;
  }
}

TEST(GridRequest, MatchRuleComparesCodesAndGridNumber) {
  Grid g(domain(2, 0, 0, 1, 1, 1, 1), {1});
  auto with = [&](int var, int ltype, int level, int time, int type) {
    g.r.var = var;
    g.r.ltype = ltype;
    g.r.level = level;
    g.r.time = time;
    g.r.type = type;
    return &g.r;
  };
  VAR_data set{};
  GRD_set_params(&set, 12, 100, 500, 7);
  struct Case {
    VAR_data req;
    int type;
    int gvar, gltype, glevel, gtime, gtype;
    int want;
    const char* why;
  };
  const int acc12 = 4000012;
  const Case cases[] = {
      {request(12, 100, 500, 7), KEZ_MISS, 7, 100, 500, 12, 0, 1, "all equal"},
      {request(12, 100, 500, 7), KEZ_MISS, 7, 100, 500, acc12, 0, 1, "an hour matches a range ending then"},
      {request(acc12, 100, 500, 7), KEZ_MISS, 7, 100, 500, 12, 0, 0, "a range matches only itself"},
      {request(acc12, 100, 500, 7), KEZ_MISS, 7, 100, 500, acc12, 0, 1, "the range itself"},
      {request(KEZ_MISS, KEZ_MISS, KEZ_MISS, 7), KEZ_MISS, 7, 1, 0, 6, 0, 1, "any time and level"},
      {request(12, 100, 850, 7), KEZ_MISS, 7, 100, 500, 12, 0, 0, "another level"},
      {request(12, 100, 500, 11), KEZ_MISS, 7, 100, 500, 12, 0, 0, "another variable"},
      {request(12, 100, 500, KEZ_MISS), KEZ_MISS, KEZ_MISS, 100, 500, 12, 0, 0, "no variable matches nothing"},
      {request(12, 100, 500, 7), 211, 7, 100, 500, 12, 212, 0, "another grid number"},
      {request(12, 100, 500, 7), 211, 7, 100, 500, 12, 211, 1, "the grid number asked for"},
      {set, KEZ_MISS, 0, 100, 500, 12, 0, 1, "made from numbers: parameter 0 matches"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(GRD_test(with(c.gvar, c.gltype, c.glevel, c.gtime, c.gtype), &c.req, c.type), c.want) << c.why;
}

/* ---- searches in one file ---------------------------------------------------------- */

/* The slots of a search, released at the end. */
struct Slots {
  std::vector<GRD_report> g;
  explicit Slots(int n) : g(static_cast<size_t>(n)) {
    for (GRD_report& r : g) {
      std::memset(&r, 0, sizeof r);
      GRD_init(&r);
    }
  }
  ~Slots() {
    for (GRD_report& r : g) std::free(r.grid);
  }
};

TEST(GridSearch, FillsEachSlotFromTheFirstMatchAndStopsAtTheLastNeeded) {
  TempDir dir;
  const std::string path = dir.file("multi.grd");
  /* A broken record after the grids needed: the search must not reach it. */
  write_file(path, grid_file({{7, 100, 500, 12, 0, 1.0f},
                              {11, 100, 850, 4000012, 0, 2.0f},
                              {7, 100, 500, 12, 0, 3.0f},
                              {1, 102, 0, 0, 0, 4.0f}},
                             "1200Z\n2-broken\n1 2 3\n"));
  VAR_data req[3] = {request(12, 100, 500, 7), request(12, 100, 850, 11, "C"),
                     request(KEZ_MISS, KEZ_MISS, KEZ_MISS, 1)};
  int t = 0;
  int fd = GRD_open(path.c_str(), GRD_ACCESS_READ, &t);
  ASSERT_GE(fd, 0);
  GRD_info info{};
  GRD_getinfo(fd, &info);
  Slots s(3);
  int res = 0;
  auto out = capture([&] {
    RES_put("file_path", KEZ_DATA_DIR);
    res = GRD_search(fd, s.g.data(), req, KEZ_MISS, -3);
  });
  EXPECT_EQ(res, 1);
  EXPECT_EQ(out.err, "") << "the broken record after the last grid needed is never read";
  EXPECT_EQ(s.g[0].grid[0], 1.0f) << "the first match in file order";
  EXPECT_NEAR(s.g[1].grid[0], 2.0f - 273.15f, 1e-3) << "converted to the request's units";
  EXPECT_STREQ(s.g[1].units, "C");
  EXPECT_EQ(s.g[2].grid[0], 4.0f);

  /* A grid that is not there: the search reads to the end and leaves the slot empty. */
  Slots s2(2);
  VAR_data req2[2] = {request(12, 100, 500, 7), request(12, 100, 500, 99)};
  capture([&] { res = GRD_search(fd, s2.g.data(), req2, KEZ_MISS, -2); });
  EXPECT_EQ(res, 0);
  EXPECT_EQ(s2.g[0].grid[0], 1.0f);
  EXPECT_EQ(s2.g[1].source, 0);
  EXPECT_EQ(s2.g[1].grid, nullptr);
  GRD_close(fd);
}

TEST(GridSearch, ReadFileTakesTheRequestBehindTheName) {
  TempDir dir;
  write_file(dir.file("g.grd"), grid_file({{7, 100, 500, 12, 0, 1.0f},
                                           {11, 100, 85, 4000012, 0, 300.0f},
                                           {7, 100, 500, 12, 211, 3.0f},
                                           {11, 100, 500, 6, 0, 273.15f}}));
  auto r = run_child([&] {
    RES_put("grid_path", dir.path().c_str());
    RES_put("file_path", KEZ_DATA_DIR);
    struct Case {
      const char* name;
      int result;
      float value;
    };
    const Case cases[] = {
        {"g.grd", 1, 1.0f},                  /* no request: the first grid */
        {"g.grd#3:F", 1, 32.0f},             /* the fourth grid, in F */
        {"g.grd-1285st", 1, 300.0f},         /* hour 12 matches the accumulation */
        {"g.grd+12:500mb:hh::211", 1, 3.0f}, /* grid number 211 */
        {"g.grd-1250hh", 0, 0.0f},           /* level 50 is not there */
        {"g.grd#9", 0, 0.0f},                /* no tenth grid */
        {"none.grd", -1, 0.0f},
    };
    for (const Case& c : cases) {
      char name[FILE_PATH_LEN];
      std::snprintf(name, sizeof name, "%s", c.name);
      GRD_report g;
      std::memset(&g, 0, sizeof g);
      GRD_init(&g);
      GRD_info info{};
      int type = 0;
      int res = GRD_read_file(name, &g, &info, &type);
      std::printf("%s=%d:%g ", c.name, res, res == 1 ? g.grid[0] : 0.0f);
      if (res != c.result || (res == 1 && std::fabs(g.grid[0] - c.value) > 1e-3)) std::printf("BAD ");
      std::free(g.grid);
    }
    return 0;
  });
  EXPECT_EQ(r.out.find("BAD"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("GRD_read_file: Grid not found in file"), std::string::npos);
  EXPECT_NE(r.err.find("GRD_read_file: Unable to open grid file: " + dir.file("none.grd")), std::string::npos);
}

/* ---- output type and saving ------------------------------------------------------------ */

TEST(GridOutput, OutFileItemsChooseTypeAndConvention) {
  struct Case {
    const char* items;
    int arg;
    int type;
    const char* conv;
  };
  const Case cases[] = {
      {"kez:mine", 0, GRD_TYPE_TEXT, "mine"},
      {"kezb", 0, GRD_TYPE_BINARY, "grd_kez"},
      {"kezb=bin", 0, GRD_TYPE_BINARY, "bin"},
      {"KEZ", 0, GRD_TYPE_TEXT, "grd_kez"},
      {"cdf", 0, GRD_TYPE_NETCDF, "grd_cdf"},
      {"grib:gconv", 0, GRD_TYPE_GRIB, "gconv"},
      {"none", 5, 5, "grd_grd"},
      {"gif", 5, 5, "grd_grd"},
      {"png=frame.png", 0, 0, "grd_grd"},
      {"gif,png,myconv", 0, GRD_TYPE_TEXT, "myconv"},
      {"kezb,other", 0, GRD_TYPE_BINARY, "other"},
  };
  TempDir dir;
  write_file(dir.file("name_conv"),
             "mine /m/%y - 0\ngrd_kez /k/%y - 0\nbin /b/%y - 0\ngrd_cdf /c/%y - 0\ngconv /g/%y - 0\n"
             "grd_grd /d/%y - 0\nmyconv /y/%y - 0\nother /o/%y - 0\n");
  for (const Case& c : cases) {
    auto r = run_child([&] {
      RES_put("file_path", dir.path().c_str());
      RES_put("out_file", c.items);
      int t = GRD_out_file(c.arg);
      char conv[FILE_PATH_LEN];
      FILE_get_name_conv(conv);
      std::printf("%d %d %s", t, FLAG_get(GRD_FLAG_FILE_KIND), conv);
      return 0;
    });
    std::string want_tmpl = std::string("/") +
                            (std::string(c.conv) == "grd_grd"   ? "d"
                             : std::string(c.conv) == "grd_kez" ? "k"
                             : std::string(c.conv) == "grd_cdf" ? "c"
                             : std::string(c.conv) == "mine"    ? "m"
                             : std::string(c.conv) == "bin"     ? "b"
                             : std::string(c.conv) == "gconv"   ? "g"
                             : std::string(c.conv) == "myconv"  ? "y"
                                                                : "o") +
                            "/%y";
    EXPECT_EQ(r.out.substr(0, r.out.find(' ')), std::to_string(c.type)) << c.items;
    EXPECT_NE(r.out.find(want_tmpl), std::string::npos) << c.items << ": " << r.out;
    if (c.type != 0) {
      EXPECT_NE(r.out.find(" " + std::to_string(c.type) + " "), std::string::npos) << c.items;
    }
  }
}

/* Saves one grid through GRD_save_file under settings; output and file. */
kez_test::ChildResult save_with(const TempDir& dir, int flag15, int batch, const std::string& answer = "") {
  return run_child(
      [&] {
        RES_put("grid_path", dir.path().c_str());
        FLAG_set(GRD_FLAG_FILE_PARAM, flag15);
        FLAG_set_batch(batch);
        Grid g(domain(2, 40, -100, 1, 1, 2, 2), {1, 2, 3, 4});
        GRD_info info{};
        int res = GRD_save_file("saved.grd", &g.r, &info, GRD_TYPE_TEXT);
        std::printf("res=%d\n", res);
        return 0;
      },
      answer);
}

int records_in(const std::string& path) {
  std::string text = read_file(path);
  int n = 0;
  for (size_t p = text.find("2-"); p != std::string::npos; p = text.find("\n2-", p + 1)) ++n;
  return n;
}

TEST(GridOutput, SaveCreatesAppendsOrRefusesAsTheOverwriteRuleSays) {
  TempDir dir;
  auto r = save_with(dir, KEZ_MISS, 0);
  EXPECT_NE(r.out.find("res=1"), std::string::npos);
  EXPECT_NE(r.out.find("Creating grid file: " + dir.file("saved.grd")), std::string::npos);
  EXPECT_EQ(records_in(dir.file("saved.grd")), 1);

  r = save_with(dir, 2, 1); /* append, in batch mode too */
  EXPECT_NE(r.out.find("Appending to grid file"), std::string::npos) << r.out;
  EXPECT_EQ(records_in(dir.file("saved.grd")), 2);

  r = save_with(dir, 3, 0); /* use the existing file */
  EXPECT_NE(r.out.find("res=0"), std::string::npos);
  EXPECT_NE(r.err.find("GRD_save_file: Unable to overwrite grid file"), std::string::npos) << r.err;
  EXPECT_EQ(records_in(dir.file("saved.grd")), 2);

  r = save_with(dir, KEZ_MISS, 1); /* batch without a setting keeps the file */
  EXPECT_NE(r.out.find("res=0"), std::string::npos);
  EXPECT_EQ(records_in(dir.file("saved.grd")), 2);

  r = save_with(dir, 0, 0, "Y\n"); /* asked: overwrite */
  EXPECT_NE(r.out.find("res=1"), std::string::npos);
  EXPECT_EQ(records_in(dir.file("saved.grd")), 1);

  r = save_with(dir, 1, 0); /* overwrite */
  EXPECT_EQ(records_in(dir.file("saved.grd")), 1);

  auto none = run_child([&] {
    Grid g(domain(2, 40, -100, 1, 1, 2, 2), {1, 2, 3, 4});
    std::printf("%d %d", GRD_save_file(dir.file("t0.grd").c_str(), &g.r, nullptr, 0),
                GRD_open_out_file(dir.file("t0.grd").c_str(), 0));
    return 0;
  });
  EXPECT_EQ(none.out, "0 -1");
  EXPECT_FALSE(kez_test::run_command("test -e " + dir.file("t0.grd")) == 0);
}

/* Runs GRD_read_check on the saved file of a test under settings. */
kez_test::ChildResult check_with(const TempDir& dir, const char* name, int flag15, int batch, const Domain& want,
                                 const std::string& answer = "") {
  return run_child(
      [&] {
        RES_put("grid_path", dir.path().c_str());
        FLAG_set(GRD_FLAG_FILE_PARAM, flag15);
        FLAG_set_batch(batch);
        GRD_report g;
        std::memset(&g, 0, sizeof g);
        GRD_init(&g);
        GRD_info info{};
        int type = 5;
        int res = GRD_read_check(name, &g, &info, &type, &want);
        std::printf("res=%d type=%d array=%s source=%d\n", res, type, g.grid ? "yes" : "no", g.source);
        std::free(g.grid);
        return 0;
      },
      answer);
}

TEST(GridOutput, ReadCheckReusesASavedFileOnlyWhenAllowedAndMatching) {
  TempDir dir;
  const Domain d = domain(2, 40, -100, 1, 1, 2, 2);
  save_with(dir, KEZ_MISS, 0);
  write_file(dir.file("empty.grd"), "KEZGRID\n");
  struct Case {
    const char* name;
    int flag15, batch;
    std::string answer;
    bool other_domain;
    const char* want;
    const char* why;
  };
  const Case cases[] = {
      {"saved.grd", KEZ_MISS, 0, "", false, "res=1 type=2 array=yes", "found again under grid_path"},
      {"saved.grd", 1, 0, "", false, "res=0 type=5 array=no", "flag 15 = 1 never reuses"},
      {"saved.grd", 0, 0, "y\n", false, "res=0 type=5", "the user asks to recompute"},
      {"saved.grd", 0, 0, "n\n", false, "res=1", "the user keeps the file"},
      {"saved.grd", 0, 1, "", false, "res=1", "batch mode does not ask"},
      {"saved.grd", 3, 0, "", true, "res=0 type=2 array=no source=0", "another region"},
      {"missing.grd", KEZ_MISS, 0, "", false, "res=0 type=5", "no such file"},
      {"", KEZ_MISS, 0, "", false, "res=0 type=5", "no name"},
      {"empty.grd", KEZ_MISS, 0, "", false, "res=0 type=2 array=no", "a file without a grid"},
  };
  for (const Case& c : cases) {
    Domain want = d;
    if (c.other_domain) want.clat = 41;
    auto r = check_with(dir, c.name, c.flag15, c.batch, want, c.answer);
    EXPECT_NE(r.out.find(c.want), std::string::npos) << c.why << ": " << r.out;
    if (c.other_domain) {
      EXPECT_NE(r.err.find("does not correspond to selected region"), std::string::npos) << r.err;
    }
    if (std::string(c.name) == "empty.grd") {
      EXPECT_NE(r.err.find("GRD_read_check: No grid in file"), std::string::npos) << r.err;
    }
  }
  /* A same-named file in the working directory is not taken instead. */
  auto r = run_child([&] {
    if (chdir(dir.path().c_str()) != 0) return 1;
    TempDir other;
    RES_put("grid_path", other.path().c_str());
    GRD_report g;
    std::memset(&g, 0, sizeof g);
    GRD_init(&g);
    GRD_info info{};
    int type = 0;
    std::printf("res=%d", GRD_read_check("saved.grd", &g, &info, &type, &d));
    std::free(g.grid);
    return 0;
  });
  EXPECT_EQ(r.out, "res=0");
}

TEST(GridOutput, FileDomainComesFromTheWantedGridNumber) {
  TempDir dir;
  Rec a{7, 100, 500, 12, 0, 1.0f};
  Rec b{7, 100, 500, 12, 211, 1.0f};
  b.clat = 50;
  write_file(dir.file("d.grd"), grid_file({a, b}));
  write_file(dir.file("empty.grd"), "KEZGRID\n");
  auto r = run_child([&] {
    Domain d{};
    int r1 = GRD_get_file_domain(dir.file("d.grd").c_str(), &d);
    float first = d.clat;
    RES_put("grid_type", "211");
    int r2 = GRD_get_file_domain(dir.file("d.grd").c_str(), &d);
    float second = d.clat;
    RES_put("grid_type", "999");
    GRD_get_file_domain(dir.file("d.grd").c_str(), &d);
    float last = d.clat;
    int r3 = GRD_get_file_domain(dir.file("empty.grd").c_str(), &d);
    int r4 = GRD_get_file_domain(dir.file("none.grd").c_str(), &d);
    std::printf("%d %g %d %g %g %d %d", r1, first, r2, second, last, r3, r4);
    return 0;
  });
  EXPECT_EQ(r.out.substr(r.out.rfind('\n') + 1), "1 40 1 50 50 -1 -1") << r.out;
  EXPECT_NE(r.err.find("GRD_get_file_domain: No grid in file"), std::string::npos);
  EXPECT_NE(r.err.find("GRD_get_file_domain: Unable to open grid file:"), std::string::npos);
}

/* ---- the store from one file, and tiled models ---------------------------------------------- */

/* Sets variable-list record i to a grid to read. */
void grid_var(int i, const char* name, int time, int ltype, int level, int var) {
  VAR_data* v = VAR_get_var(i);
  std::snprintf(v->name, sizeof v->name, "%s", name);
  v->type = 10;
  v->flag = 0;
  v->time = time;
  v->ltype = ltype;
  v->level = level;
  for (int& p : v->var) p = KEZ_MISS;
  v->var[0] = var;
  v->units[0] = '\0';
}

TEST(GridSearchFile, FillsTheStoreAndSavesWhatOutFileAsks) {
  TempDir dir;
  write_file(dir.file("in.grd"), grid_file({{7, 100, 500, 12, 0, 5.0f}, {11, 100, 850, 12, 0, 280.0f}}));
  write_file(dir.file("name_conv"), "outc " + dir.path() + "/out_%v.grd - 0\n");
  auto r = run_child([&] {
    RES_put("file_path", dir.path().c_str());
    RES_put("out_file", "kez:outc");
    grid_var(0, "hh", 12, 100, 500, 7);
    grid_var(1, "t", 12, 100, 850, 11);
    grid_var(2, "rh", 12, 100, 850, 52);
    VAR_set_num(3);
    GRD_get_grid(5)->domain = domain(2, 0, 0, 1, 1, 2, 2);
    GRD_alloc_grid(5); /* emptied (and released) by the search */
    char name[8];
    std::snprintf(name, sizeof name, "%s", "x");
    std::string full = dir.file("in.grd");
    std::vector<char> buf(full.begin(), full.end());
    buf.push_back('\0');
    buf.resize(buf.size() + 200, '\0');
    int res = GRD_search_file(buf.data(), buf.size());
    std::printf("res=%d %g %g %d %s\n", res, GRD_get_grid(0)->grid[0], GRD_get_grid(1)->grid[0],
                GRD_get_grid(2)->source, GRD_get_grid(5)->grid ? "held" : "released");
    std::printf("last=%s\n", buf.data());
    char small[12];
    std::snprintf(small, sizeof small, "%s", "nofile.grd");
    std::printf("small=%d\n", GRD_search_file(small, sizeof small));
    GRD_init_grids();
    return 0;
  });
  EXPECT_NE(r.out.find("res=1 5 280 0 released"), std::string::npos) << r.out << r.err;
  EXPECT_NE(r.err.find("GRD_search_file: Grid not found in file: 2 "), std::string::npos) << r.err;
  EXPECT_NE(r.out.find("last=" + dir.path() + "/out_hh.grd"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("small=-1"), std::string::npos);
  EXPECT_NE(read_file(dir.file("out_hh.grd")).find("5.00000000e+00"), std::string::npos);
  EXPECT_NE(read_file(dir.file("out_t.grd")).find("2.80000000e+02"), std::string::npos);
}

/* Writes the settings of a tiled model: model.lup, name_conv and tile files
 * for 2026-12-10 12Z; tile k holds the value k + 1 on 3 by 3 points. */
void tiled_model(const TempDir& dir, const std::vector<std::string>& missing, const std::string& lup) {
  write_file(dir.file("model.lup"), lup);
  std::string conv;
  for (const char* t : {"a", "b", "c", "d"})
    conv += std::string("tile_") + t + " " + dir.path() + "/%y%m%d%h_" + t + ".grd - 0\n";
  write_file(dir.file("name_conv"), conv);
  const float clat[] = {41, 41, 39, 39}, clon[] = {-101, -99, -101, -99};
  const char* names[] = {"a", "b", "c", "d"};
  for (int k = 0; k < 4; ++k) {
    bool skip = false;
    for (const std::string& m : missing) skip = skip || m == names[k];
    if (skip) continue;
    Rec r{7, 100, 500, 12, k == 2 ? 211 : 0, float(k + 1), "m", 3, 3, clat[k], clon[k]};
    std::vector<Rec> recs;
    if (k == 2) { /* a grid of another number first: tile c wants 211 */
      Rec other = r;
      other.type = 5;
      other.value = 99;
      recs.push_back(other);
    }
    recs.push_back(r);
    write_file(dir.path() + "/26121012_" + names[k] + ".grd", grid_file(recs));
  }
}

const char* const kLookup =
    "# model lookup\n"
    "ngm 1x1 tile_a   # the default model comes first\n"
    "# the tiled one\n"
    "tiled 2x2 tile_a,tile_b,tile_c#211,tile_d\n";

kez_test::ChildResult run_tiled(const TempDir& dir) {
  return run_child([&] {
    RES_put("file_path", dir.path().c_str());
    RES_put("model", "TILED");
    GRD_in_file();
    grid_var(0, "hh", 12, 100, 500, 7);
    VAR_set_num(1);
    Date date{2026, 12, 10, KEZ_MISS, KEZ_MISS, 12, 0, 0};
    int res = GRD_search_file_date(&date);
    const GRD_report* g = GRD_get_grid(0);
    std::printf("res=%d %s %d %d %g %g\n", res, VAR_get_model_str(), g->domain.nx, g->domain.ny, g->domain.clat,
                g->domain.clon);
    for (int j = 0; j < 5; ++j) {
      for (int i = 0; i < 5; ++i) std::printf("%g ", g->grid ? g->grid[j * 5 + i] : -1.0f);
      std::printf("\n");
    }
    Domain d{};
    int dres = GRD_get_file_date_domain(&date, &d);
    std::printf("domain=%d %d %d %g %g\n", dres, d.nx, d.ny, d.clat, d.clon);
    GRD_init_grids();
    return 0;
  });
}

TEST(GridTiles, TwoByTwoModelAssemblesItsMosaic) {
  TempDir dir;
  tiled_model(dir, {}, kLookup);
  auto r = run_tiled(dir);
  EXPECT_NE(r.out.find("res=1 TILED 5 5 40 -100\n"
                       "1 1 2 2 2 \n"
                       "1 1 2 2 2 \n"
                       "3 3 4 4 4 \n"
                       "3 3 4 4 4 \n"
                       "3 3 4 4 4 \n"),
            std::string::npos)
      << r.out << r.err;
  EXPECT_NE(r.out.find("domain=1 5 5 40 -100"), std::string::npos) << r.out;
}

TEST(GridTiles, MissingTileLeavesMissingValuesAndTheLayoutStands) {
  TempDir dir;
  tiled_model(dir, {"a", "d"}, kLookup);
  auto r = run_tiled(dir);
  EXPECT_NE(r.err.find("GRD_search_file_date: unable to open file: " + dir.path() + "/26121012_a.grd"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("Grid missing: tile "), std::string::npos) << r.err;
  EXPECT_NE(r.out.find("res=1 TILED 5 5 40 -100\n"
                       "-9999 -9999 2 2 2 \n"
                       "-9999 -9999 2 2 2 \n"
                       "3 3 3 2 2 \n"
                       "3 3 3 -9999 -9999 \n"
                       "3 3 3 -9999 -9999 \n"),
            std::string::npos)
      << r.out << r.err;

  /* A tile file without the grid: the grid is reported missing. */
  TempDir dir2;
  tiled_model(dir2, {}, kLookup);
  write_file(dir2.path() + "/26121012_a.grd", grid_file({{11, 100, 500, 12, 0, 1.0f}}));
  r = run_tiled(dir2);
  EXPECT_NE(r.err.find("Grid missing: 12 100 500 7"), std::string::npos) << r.err;
  EXPECT_NE(r.out.find("-9999 -9999 2 2 2 \n"), std::string::npos) << r.out;
}

TEST(GridTiles, HostileLookupFilesAreRefusedWithMessages) {
  std::string forty;
  std::string forty_short;
  for (int k = 0; k < 40; ++k) {
    forty += (k ? "," : "") + std::string("tile_") + std::to_string(k + 10);
    forty_short += (k ? "," : "") + std::string("t") + std::to_string(k);
  }
  struct Case {
    std::string lup;
    const char* message;
  };
  const Case cases[] = {
      {"ngm 1x1 a\ntiled 2x2 " + forty + "\n", "Tile list of model tiled too long"},
      {"ngm 1x1 a\ntiled 8x5 " + forty_short + "\n", "Invalid mosaic size"},
      {"ngm 1x1 a\ntiled 2x2 " + forty_short + "\n", "more tiles than"},
      {"ngm 1x1 a\ntiled 0x2 a,b\n", "Invalid mosaic size"},
      {"ngm 1x1 a\ntiled 2xq a,b\n", "Invalid mosaic size"},
      {"ngm 1x1 a\ntiled 1x2 a,b,c\n", "more tiles than"},
      {"ngm 1x1 a\ntiled 2x1 " + std::string(30, 'n') + ",b\n", "Invalid tile name"},
      {"ngm 1x1 a\ntiled 2x1 a#x,b\n", "Invalid grid number"},
      {"ngm 1x1 a\n" + std::string(300, 'm') + " 1x1 a\ntiled 1x1 a\n", "Model name too long"},
      {"ngm 1x1 a\ntiled 2x2\n", "Incomplete entry"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    write_file(dir.file("model.lup"), c.lup);
    write_file(dir.file("name_conv"), "grib_tiled /g/%y - 0\n");
    auto r = run_child([&] {
      RES_put("file_path", dir.path().c_str());
      RES_put("model", "tiled");
      GRD_in_file();
      char conv[FILE_PATH_LEN];
      FILE_get_name_conv(conv);
      std::printf("%s", conv);
      return 0;
    });
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.message << ": " << r.err;
    if (std::string(c.message) != "Model name too long") {
      EXPECT_NE(r.out.find("/g/%y"), std::string::npos) << "falls back to the model's own convention";
    }
  }
}

TEST(GridTiles, InputSettingsSetTheFileKindAndDefaultRequest) {
  TempDir dir;
  auto r = run_child([&] {
    RES_put("file_path", dir.path().c_str());
    RES_put("model", "eta");
    RES_put("in_file", "grib");
    RES_put("input", "cdf,other");
    RES_put("grid_num", "#2");
    GRD_in_file();
    std::printf("%d %d %s %s", FLAG_get(GRD_FLAG_MODEL), FLAG_get(GRD_FLAG_FILE_KIND), FILE_get_ext_info(),
                VAR_get_model_str());
    return 0;
  });
  EXPECT_EQ(r.out.substr(r.out.rfind('\n') + 1), "3 12 #2 eta") << r.out;
}

} // namespace
