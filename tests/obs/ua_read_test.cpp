/* The report record, the coded groups, detection, headers and reading of
 * upper-air files in every readable layout. */
#include "kez_test.h"
#include "kezupa.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

const std::string data_dir = std::string(KEZ_SOURCE_DIR) + "/tests/upa/data/";
constexpr float M = KEZ_FMISS;

/* Compiles a CDL fixture into a netCDF file in dir. */
std::string ncgen(const kez_test::TempDir& dir, const std::string& name) {
  const std::string out = dir.file(name + ".nc");
  const std::string cmd = "ncgen -o '" + out + "' '" + data_dir + name + ".cdl'";
  EXPECT_EQ(kez_test::run_command(cmd), 0) << cmd;
  return out;
}

struct Opened {
  Opened(const std::string& path, int want = 0) {
    type = want;
    fd = UPA_open(path.c_str(), UPA_ACC_READ, &type);
    std::memset(&info, 0, sizeof info);
    if (fd >= 0) UPA_getinfo(fd, &info);
  }
  ~Opened() {
    if (fd >= 0) UPA_close(fd);
  }
  int fd = -1;
  int type = 0;
  UPA_info info;
};

std::unique_ptr<UPA_report> read(int fd, int mode, int n, int* rc = nullptr) {
  auto r = std::make_unique<UPA_report>();
  UPA_initialize(r.get());
  const int got = UPA_read(fd, r.get(), mode, &n);
  if (rc) *rc = got;
  return r;
}

/* ---- groups ---------------------------------------------------------------------- */

TEST(UpaGroups, PressureHeightGroupsDecodeByLevel) {
  struct Case {
    const char* group;
    float p, h;
    int rc;
  };
  const Case cases[] = {
      {"85512", 850, 1512, 0},
      {"70012", 700, 3012, 0},
      {"70950", 700, 2950, 0},
      {"50580", 500, 5800, 0},
      {"25040", 250, 10400, 0},
      {"10650", 100, 16500, 0},
      {"92780", 925, 780, 0},
      {"00105", 1000, 105, 0},
      {"00512", 1000, -12, 0},
      {"00500", 1000, 0, 0},
      {"07860", 70, 18600, 0},
      {"05060", 50, 20600, 0},
      {"01100", 10, 31000, 0},
      {"-7350", 7, 33500, 0},
      {"-1850", 1, 48500, 0},
      {"-1050", 1, 50500, 0},
      {"88250", 880, 250, 0},
      {"85/", 850, M, -1},
      {"00/", 1000, M, -1},
      {"92/", 925, M, -1},
      {"99999", M, M, -1},
      {"X", M, M, -1},
      /* damaged groups: garbage, over-long, empty */
      {"8a512", M, M, -1},
      {"855120", M, M, -1},
      {"", M, M, -1},
      {"$", M, M, -1},
  };
  for (const Case& c : cases) {
    float p = 1, h = 1;
    EXPECT_EQ(decd_ph(c.group, &p, &h), c.rc) << c.group;
    EXPECT_FLOAT_EQ(p, c.p) << c.group;
    EXPECT_FLOAT_EQ(h, c.h) << c.group;
  }
  float p = 1, h = 1;
  EXPECT_EQ(decd_ph(nullptr, &p, &h), -1);
  EXPECT_EQ(p, M);
}

TEST(UpaGroups, TemperatureAndWindGroupsDecode) {
  struct Case {
    const char* group;
    float a, b;
    int rc;
  };
  const Case td[] = {
      {"15232", 15.2f, 12.0f, 0}, {"15347", -15.3f, -20.0f, 0}, {"20065", 20, 5, 0},    {"10050", 10, 5, 0},
      {"00099", 0, M, 0},         {"00100", -0.1f, -0.1f, 0},   {"99999", M, M, -1},    {"X", M, M, -1},
      {"1a232", M, M, -1},        {"152321", M, M, -1},         {"152//", 15.2f, M, 0}, {"15///", M, M, -1},
      {"/////", M, M, -1}};
  for (const Case& c : td) {
    float t = 1, d = 1;
    EXPECT_EQ(decd_td(c.group, &t, &d), c.rc) << c.group;
    EXPECT_NEAR(t, c.a, 1e-4) << c.group;
    EXPECT_NEAR(d, c.b, 1e-4) << c.group;
  }
  const Case wd[] = {{"27125", 270, 125, 0}, {"36010", 360, 10, 0}, {"36250", 360, 250, 0}, {"36505", M, M, 0},
                     {"36251", M, M, 0},     {"00000", 0, 0, 0},    {"99999", M, M, 0},     {"X", M, M, -1},
                     {"2712x", M, M, -1},    {"271255", M, M, -1}};
  for (const Case& c : wd) {
    float dir = 1, spd = 1;
    EXPECT_EQ(decd_wd(c.group, &dir, &spd), c.rc) << c.group;
    EXPECT_FLOAT_EQ(dir, c.a) << c.group;
    EXPECT_FLOAT_EQ(spd, c.b) << c.group;
  }
}

TEST(UpaGroups, EncodersWriteTheCodeAndTheLayoutsMarker) {
  struct Case {
    int kind; /* 0 ph, 1 td, 2 wd */
    float a, b;
    const char* group;
    int rc;
  };
  const Case cases[] = {
      {0, 1000, -12, "00512", 0},    {0, 10, 31000, "01100", 0},    {0, 1, 48500, "-1850", 0},
      {0, 850, M, "85/", 0},         {0, 880, 250, "88250", 0},     {0, 770, 85.4f, "77085", 0},
      {0, 850, 1512, "85512", 0},    {0, 500, 5800, "50580", 0},    {0, M, M, "99999", -1},
      {1, 15.3f, 12.1f, "15232", 0}, {1, -15.3f, -20, "15347", 0},  {1, 20, 5, "20065", 0},
      {1, 10, 4.4f, "10050", 0},     {1, 0, M, "00099", 0},         {1, -0.2f, -0.2f, "00100", 0},
      {1, M, M, "99999", -1},        {2, 272, 125, "27125", 0},     {2, 357.6f, 10, "36010", 0},
      {2, 359, 250, "36250", 0},     {2, 0, 0, "00000", 0},         {2, M, 10, "99999", -1},
      {2, 10, M, "99999", -1},       {0, 0.5f, 48000, "99999", -1}, {0, 0, 48000, "99999", -1},
  };
  for (const Case& c : cases) {
    const int rc = c.kind == 0 ? encd_ph(c.a, c.b) : c.kind == 1 ? encd_td(c.a, c.b) : encd_wd(c.a, c.b);
    EXPECT_EQ(rc, c.rc) << c.group;
    EXPECT_STREQ(UPA_encoded(), c.group);
  }
  /* Values beyond the code's reach give a group of five characters at most. */
  for (float v : {-5000.0f, 1e7f, 1e30f, -1e30f, NAN}) {
    encd_ph(850, v);
    EXPECT_LE(std::strlen(UPA_encoded()), 5u);
    encd_td(v, 0);
    EXPECT_LE(std::strlen(UPA_encoded()), 5u);
    encd_td(10, v);
    EXPECT_LE(std::strlen(UPA_encoded()), 5u);
    encd_wd(v, 10);
    EXPECT_LE(std::strlen(UPA_encoded()), 5u);
    encd_wd(180, v);
    EXPECT_LE(std::strlen(UPA_encoded()), 5u);
  }
}

TEST(UpaGroups, RandomLevelsSurviveEncodingToTheCodesPrecision) {
  std::mt19937 rng(50);
  struct Level {
    float p, hmin, hmax, step;
  };
  const Level levels[] = {{1000, -100, 400, 1},    {925, 400, 999, 1},      {850, 1000, 1999, 1},
                          {700, 2501, 3499, 1},    {500, 5000, 5999, 10},   {300, 8000, 9990, 10},
                          {250, 10010, 10990, 10}, {100, 15000, 17000, 10}, {50, 19000, 20990, 10},
                          {10, 29000, 30990, 10},  {7, 30000, 39990, 10}};
  std::uniform_real_distribution<float> unit(0, 1);
  for (int k = 0; k < 2000; ++k) {
    const Level& l = levels[k % std::size(levels)];
    const float h = std::floor(l.hmin + unit(rng) * (l.hmax - l.hmin));
    float p, hh;
    encd_ph(l.p, h);
    ASSERT_EQ(decd_ph(UPA_encoded(), &p, &hh), 0) << UPA_encoded();
    EXPECT_EQ(p, l.p);
    EXPECT_NEAR(hh, h, l.step) << l.p << " " << h << " " << UPA_encoded();

    const float t = std::round((-80 + 120 * unit(rng)) * 10) / 10;
    const float dep = std::round(4.9f * unit(rng) * 10) / 10;
    float tt, dd;
    encd_td(t, t - dep);
    ASSERT_EQ(decd_td(UPA_encoded(), &tt, &dd), 0);
    EXPECT_NEAR(tt, t, 0.11) << t;
    EXPECT_NEAR(tt - dd, dep, 0.11) << t << " " << dep;

    const float dir = std::round(360 * unit(rng));
    const float spd = std::round(250 * unit(rng));
    float d2, s2;
    encd_wd(dir, spd);
    ASSERT_EQ(decd_wd(UPA_encoded(), &d2, &s2), 0);
    EXPECT_LE(std::fabs(d2 - dir), 2.5f) << dir;
    EXPECT_NEAR(s2, spd, 1) << spd;
  }
}

TEST(UpaRecord, InitialiseEmptiesAllButTypeAndSlotsAreFoundByPressure) {
  auto r = std::make_unique<UPA_report>();
  std::memset(r.get(), 0x55, sizeof *r);
  r->type = 7;
  UPA_initialize(r.get());
  EXPECT_STREQ(r->id, "");
  EXPECT_EQ(r->wmo, KEZ_MISS);
  EXPECT_EQ(r->type, 7);
  EXPECT_EQ(r->man[24].spd, M);
  EXPECT_EQ(r->sig[199].td, M);
  EXPECT_EQ(r->wnd[99].h, M);
  EXPECT_EQ(r->numman + r->numsig + r->numwnd, 0);
  const float p[] = {1000, 925, 850, 700, 500, 400, 300, 250, 200, 150, 100, 70, 50, 30, 20, 10};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(UPA_mandatory(p[i]), i + 1);
  for (float q : {7.0f, 0.0f, M, 851.0f}) EXPECT_EQ(UPA_mandatory(q), 0);
}

/* ---- detection and headers --------------------------------------------------------- */

TEST(UpaFiles, DetectionFindsEveryReadableTypeAndRefusesOthers) {
  kez_test::TempDir dir;
  const std::string nc11 = ncgen(dir, "station"), nc12 = ncgen(dir, "report");
  struct Case {
    std::string path;
    int type;
  };
  auto text = [&](const std::string& name, const std::string& body) {
    kez_test::write_file(dir.file(name), body);
    return dir.file(name);
  };
  const Case cases[] = {
      {data_dir + "old_short.txt", 1},
      {data_dir + "old_long.txt", 2},
      {data_dir + "fixed.txt", 3},
      {data_dir + "open.txt", 4},
      {data_dir + "open_loc.txt", 5},
      {nc11, 11},
      {nc12, 12},
      {text("c14", "12Z\nA\n14 x\n"), 1},
      {text("c21", "12Z\nA\n21\n"), 1},
      {text("c22", "12Z\nA\n22\n"), 2},
      {text("c40", "00Z\nA\n40720\n"), 2},
      {text("c99", "23Z\nA\n99999\n"), 2},
      {text("sfc", "KEZSFC\n12Z\n"), -1},
      {text("raw", "KEZRAW\n"), -1},
      {text("grid", "KEZGRID\n"), -1},
      {text("long", "KEZUPA+++\n"), -1},
      {text("cdf", "CDF but no netCDF\n"), -1},
      {text("empty", ""), -1},
      {text("blank", "  \n\n"), -1},
      {text("other", "Z12\n"), -1},
      {dir.file("none"), -1},
  };
  for (const Case& c : cases) EXPECT_EQ(UPA_chktype(c.path.c_str()), c.type) << c.path;
}

TEST(UpaFiles, OpenCloseAndTextHeaders) {
  int type = 0;
  EXPECT_EQ(UPA_open("/nonexistent/x", UPA_ACC_WRITE, &type), -1);
  EXPECT_EQ(UPA_close(0), -1);
  {
    Opened f(data_dir + "fixed.txt");
    ASSERT_GE(f.fd, 0);
    EXPECT_EQ(f.type, 3);
    EXPECT_STREQ(f.info.datim, "12Z  5 JAN 24");
    EXPECT_EQ(f.info.date.year, 2024);
    EXPECT_EQ(f.info.date.hour, 12);
    /* A second open closes the first. */
    int t2 = 0;
    f.fd = UPA_open((data_dir + "open.txt").c_str(), UPA_ACC_READ, &t2);
    EXPECT_EQ(t2, 4);
    UPA_getinfo(f.fd, &f.info);
    EXPECT_STREQ(f.info.datim, "00Z 10 DEC 26");
  }
  EXPECT_EQ(UPA_close(0), -1);

  kez_test::TempDir dir;
  const std::string longlabel = "12Z  5 JAN 24 " + std::string(100, 'y');
  kez_test::write_file(dir.file("long"), "KEZUPA\n" + longlabel + "\nABC X\n");
  Opened f(dir.file("long"));
  EXPECT_EQ(std::string(f.info.datim), longlabel.substr(0, 39));
}

TEST(UpaFiles, HeaderWritersOfTextElementAndBinaryTypes) {
  kez_test::TempDir dir;
  UPA_info info{};
  std::snprintf(info.datim, sizeof info.datim, "12Z  5 JAN 24");
  info.date = {2024, 1, 5, KEZ_MISS, KEZ_MISS, 12, 0, 0};
  struct Case {
    int type;
    const char* text;
  };
  const Case cases[] = {{1, "12Z  5 JAN 24\n"},          {2, "12Z  5 JAN 24\n"},
                        {3, "KEZUPA\n12Z  5 JAN 24\n"},  {4, "KEZUPA+\n12Z  5 JAN 24\n"},
                        {5, "KEZUPAx\n12Z  5 JAN 24\n"}, {51, "<kezupa date=\"12Z  5 JAN 24\">\n</kezupa>\n"},
                        {41, "12:00Z XXX JAN  5 2024"}};
  for (const Case& c : cases) {
    const std::string path = dir.file("h" + std::to_string(c.type));
    int type = c.type;
    const int fd = UPA_open(path.c_str(), UPA_ACC_WRITE, &type);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(UPA_putinfo(fd, &info), 0);
    EXPECT_EQ(UPA_close(fd), 0);
    EXPECT_EQ(kez_test::read_file(path), c.text) << c.type;
  }
  EXPECT_EQ(std::strlen("12:00Z XXX JAN  5 2024"), 22u);
  int type = 0;
  EXPECT_EQ(UPA_open(dir.file("x").c_str(), UPA_ACC_WRITE, &type), -1);
  EXPECT_EQ(UPA_putinfo(0, &info), -1);
  /* An element file opened for reading gets no closing line. */
  type = 51;
  ASSERT_GE(UPA_open(dir.file("h3").c_str(), UPA_ACC_READ, &type), 0);
  EXPECT_EQ(UPA_close(0), 0);
  EXPECT_EQ(kez_test::read_file(dir.file("h3")), "KEZUPA\n12Z  5 JAN 24\n");
}

TEST(UpaFiles, NetcdfHeaderWriterLaysOutTheSchema) {
  if (!kez_test::have_program("ncdump")) GTEST_SKIP() << "ncdump missing";
  kez_test::TempDir dir;
  for (int t : {11, 12}) {
    const std::string path = dir.file("h" + std::to_string(t) + ".nc");
    UPA_info info{};
    std::snprintf(info.datim, sizeof info.datim, "12Z  5 JAN 24");
    std::snprintf(info.file, sizeof info.file, "24010512");
    int type = t;
    const int fd = UPA_open(path.c_str(), UPA_ACC_WRITE, &type);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(UPA_putinfo(fd, &info), 0);
    EXPECT_STREQ(info.cmdline, "Upper air converted file from KEZ decoders");
    EXPECT_EQ(UPA_close(fd), 0);
    std::string kind, head;
    kez_test::run_command("ncdump -k '" + path + "'", &kind);
    EXPECT_EQ(kind, "classic\n");
    kez_test::run_command("ncdump -h '" + path + "'", &head);
    const bool si = t == 12;
    for (const std::string& want :
         {std::string(si ? "report = UNLIMITED" : "station = UNLIMITED"),
          std::string("mant_level = 25 ;"),
          std::string("sigt_level = 200 ;"),
          std::string("sigw_level = 100 ;"),
          std::string("string_len = 11 ;"),
          std::string(si ? "char id(report, string_len)" : "char id(station, string_len)"),
          std::string(si ? "float P_man(report, mant_level)" : "float p_man(station, mant_level)"),
          std::string(si ? "float SPD_sigw(report, sigw_level)" : "float spd_sigw(station, sigw_level)"),
          std::string(si ? "SPD_man:units = \"meters/second\"" : "spd_man:units = \"knots\""),
          std::string(si ? "Z_sigw:units = \"meters\"" : "z_sigw:units = \"feet\""),
          std::string("num_mant:valid_range = 0, 25 ;"),
          std::string("num_sigt:valid_range = 0, 200 ;"),
          std::string("num_sigw:valid_range = 0, 100 ;"),
          std::string("num_mant:_FillValue = 0 ;"),
          std::string("lat:valid_range = -90.f, 90.f ;"),
          std::string("lon:_FillValue = -9999.f ;"),
          std::string(":title = \"Upper Air Observations\" ;"),
          std::string(":version = \"2.0\" ;"),
          std::string(":filetime = \"12Z  5 JAN 24\" ;"),
          std::string(":yymmddhh = \"24010512\" ;"),
          std::string("Geopotential - Mandatory Levels")})
      EXPECT_NE(head.find(want), std::string::npos) << t << ": " << want << "\n" << head;
    EXPECT_EQ(UPA_chktype(path.c_str()), t);
  }
}

TEST(UpaFiles, NetcdfHeadersGiveLabelAndVersion) {
  kez_test::TempDir dir;
  {
    Opened f(ncgen(dir, "version1"));
    EXPECT_EQ(f.type, 11);
    EXPECT_STREQ(f.info.datim, "00Z 10 DEC 26");
    auto r = read(f.fd, UPA_REP_LOCATION, 0);
    EXPECT_FLOAT_EQ(r->lon, -97.5f);
  }
  {
    Opened f(ncgen(dir, "report"));
    EXPECT_EQ(f.type, 12);
    EXPECT_STREQ(f.info.datim, "12Z  5 JAN 24");
    auto r = read(f.fd, UPA_REP_LOCATION, 0);
    EXPECT_FLOAT_EQ(r->lon, -104.87f); /* a file with "version" keeps the sign */
  }
  {
    Opened f(ncgen(dir, "hostile"));
    EXPECT_EQ(std::string(f.info.datim), std::string(39, 'A'));
  }
}

/* ---- reading: text ------------------------------------------------------------------- */

TEST(UpaReadText, PositioningReadsSequentialRepeatedAndBackwardIndexes) {
  Opened f(data_dir + "fixed.txt");
  const char* want[] = {"ABC", "DEF", "DEF", "ABC", "GHI", "GHI", "DEF"};
  const int idx[] = {0, 1, 1, 0, 2, 2, 1};
  for (size_t i = 0; i < std::size(idx); ++i) {
    int rc = 0;
    auto r = read(f.fd, UPA_REP_FULL, idx[i], &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_STREQ(r->id, want[i]) << i;
  }
  int rc = 0;
  read(f.fd, UPA_REP_FULL, 3, &rc);
  EXPECT_EQ(rc, -1);
  read(f.fd, UPA_REP_ID, 9, &rc);
  EXPECT_EQ(rc, -1);
  /* A first read of a later index steps over the reports before it. */
  Opened g(data_dir + "open.txt");
  auto r = read(g.fd, UPA_REP_ID, 2, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_STREQ(r->id, "MNO");
  UPA_rewind(g.fd);
  r = read(g.fd, UPA_REP_ID, 1, &rc);
  EXPECT_STREQ(r->id, "JKL");
}

TEST(UpaReadText, FixedLayoutWholeReports) {
  Opened f(data_dir + "fixed.txt");
  auto a = read(f.fd, UPA_REP_FULL, 0);
  EXPECT_EQ(a->numman, 21);
  EXPECT_FLOAT_EQ(a->man[2].p, 925);
  EXPECT_FLOAT_EQ(a->man[2].h, 780);
  EXPECT_FLOAT_EQ(a->man[3].h, 1512);
  EXPECT_FLOAT_EQ(a->man[17].p, 7);
  EXPECT_FLOAT_EQ(a->man[17].h, 33500);
  EXPECT_FLOAT_EQ(a->man[18].p, 5);
  EXPECT_FLOAT_EQ(a->man[22].p, 250);
  EXPECT_EQ(a->man[22].h, M);
  EXPECT_FLOAT_EQ(a->man[22].t, -55.1f);
  EXPECT_FLOAT_EQ(a->man[22].spd, 45);
  EXPECT_FLOAT_EQ(a->man[23].p, 200);
  EXPECT_EQ(a->man[23].t, M);
  EXPECT_FLOAT_EQ(a->man[23].dir, 310);
  EXPECT_FLOAT_EQ(a->man[23].spd, 90);
  ASSERT_EQ(a->numsig, 4);
  const float sig_p[] = {1013, 850, 85, 7.5f};
  for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(a->sig[i].p, sig_p[i]);
  EXPECT_FLOAT_EQ(a->man[0].p, 1013);
  EXPECT_FLOAT_EQ(a->man[0].t, 15.2f);
  EXPECT_FLOAT_EQ(a->man[0].dir, 270);
  EXPECT_FLOAT_EQ(a->man[0].spd, 15);
  ASSERT_EQ(a->numwnd, 3);
  EXPECT_FLOAT_EQ(a->wnd[2].h, 3000);
  EXPECT_FLOAT_EQ(a->wnd[2].dir, 290);

  auto b = read(f.fd, UPA_REP_FULL, 1);
  EXPECT_EQ(b->numman, 19);
  EXPECT_EQ(b->man[2].p, M);
  EXPECT_EQ(b->man[2].h, M);
  EXPECT_FLOAT_EQ(b->man[3].p, 850);
  EXPECT_FLOAT_EQ(b->man[3].h, 1512);
  EXPECT_FLOAT_EQ(b->man[4].h, 3012);
  EXPECT_FLOAT_EQ(b->man[16].h, 31000);
  EXPECT_FLOAT_EQ(b->man[0].p, 965); /* first significant level above 500 hPa */
  EXPECT_EQ(b->man[0].dir, M);       /* first wind at 1000 ft is no surface wind */
  EXPECT_EQ(b->numwnd, 1);

  auto c = read(f.fd, UPA_REP_FULL, 2);
  EXPECT_FLOAT_EQ(c->man[2].p, 925);
  EXPECT_EQ(c->man[2].h, M);
  EXPECT_EQ(c->numsig, 0);
  EXPECT_EQ(c->numwnd, 0);
  EXPECT_FLOAT_EQ(c->man[0].p, 1000); /* without levels the surface is the lowest pressure */
}

TEST(UpaReadText, OpenLayoutsWholeReports) {
  Opened f(data_dir + "open.txt");
  auto a = read(f.fd, UPA_REP_FULL, 0);
  EXPECT_EQ(a->numman, 21);
  EXPECT_FLOAT_EQ(a->man[2].h, 780);
  EXPECT_FLOAT_EQ(a->man[4].h, 2950);
  EXPECT_FLOAT_EQ(a->man[17].p, 7);
  EXPECT_FLOAT_EQ(a->man[18].p, 5);
  EXPECT_FLOAT_EQ(a->man[22].p, 250);
  EXPECT_EQ(a->numsig, 3);
  EXPECT_EQ(a->numwnd, 2);
  EXPECT_FLOAT_EQ(a->man[0].p, 965);
  EXPECT_FLOAT_EQ(a->man[0].td, 9.0f);
  EXPECT_FLOAT_EQ(a->man[0].spd, 15);
  auto b = read(f.fd, UPA_REP_FULL, 1);
  EXPECT_STREQ(b->id, "JKL");
  EXPECT_EQ(b->numsig, 0);
  EXPECT_EQ(b->numwnd, 0);
  EXPECT_EQ(b->numman, 19);
  auto c = read(f.fd, UPA_REP_FULL, 2);
  EXPECT_EQ(c->man[2].p, M);
  EXPECT_FLOAT_EQ(c->man[3].p, 850);
  EXPECT_EQ(c->man[0].p, M); /* 500 hPa first: no surface in a whole read */
  auto s = read(f.fd, UPA_REP_SFC, 2);
  EXPECT_FLOAT_EQ(s->man[0].p, 500); /* the surface read takes 500 hPa */
  EXPECT_FLOAT_EQ(s->man[0].dir, 270);
  EXPECT_EQ(s->numsig, KEZ_MISS);

  Opened g(data_dir + "open_loc.txt");
  auto d = read(g.fd, UPA_REP_ID, 0);
  EXPECT_STREQ(d->id, "DNR");
  EXPECT_EQ(d->wmo, 72469);
  EXPECT_FLOAT_EQ(d->lat, 39.77f);
  EXPECT_FLOAT_EQ(d->lon, -104.87f);
  auto e = read(g.fd, UPA_REP_FULL, 1);
  EXPECT_STREQ(e->id, "PIT");
  EXPECT_EQ(e->wmo, 72520);
  EXPECT_EQ(e->lat, M);
  auto d2 = read(g.fd, UPA_REP_FULL, 0);
  EXPECT_EQ(d2->numwnd, 0);
  EXPECT_FLOAT_EQ(d2->man[0].p, 840);
}

TEST(UpaReadText, OldLayoutsWholeReports) {
  Opened f(data_dir + "old_short.txt");
  auto a = read(f.fd, UPA_REP_FULL, 0);
  EXPECT_EQ(a->numman, 5);
  EXPECT_EQ(a->numsig, 3);
  EXPECT_EQ(a->numwnd, 16);
  EXPECT_FLOAT_EQ(a->sig[0].p, 1013);
  EXPECT_FLOAT_EQ(a->sig[2].p, 700);
  EXPECT_FLOAT_EQ(a->man[5].h, 5800);
  EXPECT_EQ(a->man[2].p, M);
  EXPECT_FLOAT_EQ(a->wnd[1].h, 1000);
  EXPECT_FLOAT_EQ(a->wnd[1].dir, 280);
  EXPECT_EQ(a->wnd[2].dir, M);
  EXPECT_FLOAT_EQ(a->wnd[15].h, 18000);
  EXPECT_FLOAT_EQ(a->wnd[15].spd, 90);
  EXPECT_FLOAT_EQ(a->man[0].dir, 270);
  auto b = read(f.fd, UPA_REP_FULL, 1);
  EXPECT_STREQ(b->id, "DEF");
  EXPECT_EQ(b->numsig, 0);
  EXPECT_FLOAT_EQ(b->man[0].p, 1000);
  auto bs = read(f.fd, UPA_REP_SFC, 1);
  EXPECT_EQ(bs->man[0].p, M);
  EXPECT_EQ(bs->numsig, 0);

  Opened g(data_dir + "old_long.txt");
  auto c = read(g.fd, UPA_REP_FULL, 0);
  EXPECT_EQ(c->numman, 11);
  EXPECT_EQ(c->numsig, 2);
  EXPECT_EQ(c->numwnd, 21);
  EXPECT_FLOAT_EQ(c->man[11].p, 100);
  EXPECT_FLOAT_EQ(c->man[11].h, 16500);
  EXPECT_FLOAT_EQ(c->man[9].p, 200);
  EXPECT_FLOAT_EQ(c->wnd[20].h, 50000);
  EXPECT_FLOAT_EQ(c->wnd[20].spd, 90);
  EXPECT_FLOAT_EQ(c->man[0].p, 965);
}

TEST(UpaReadText, SurfaceAndLevelModes) {
  struct Case {
    std::string file;
    int n, mode;
    float p, h;
    int numman;
  };
  const Case cases[] = {
      {"fixed.txt", 0, 2, 925, 780, 1},      {"fixed.txt", 1, 2, M, M, 1},           {"fixed.txt", 1, 3, 850, 1512, 1},
      {"fixed.txt", 0, 22, 250, M, 1},       {"fixed.txt", 0, 23, 200, M, 1},        {"fixed.txt", 0, 17, M, M, 1},
      {"fixed.txt", 0, 32, M, M, 1},         {"fixed.txt", 0, 99, M, M, 1},          {"fixed.txt", 0, -4, M, M, 1},
      {"fixed.txt", 0, 0, 1013, M, 0},       {"fixed.txt", 1, 0, 965, M, 0},         {"old_short.txt", 0, 2, M, M, 1},
      {"old_short.txt", 0, 5, 500, 5800, 1}, {"old_long.txt", 0, 11, 100, 16500, 1}, {"old_long.txt", 0, 0, 965, M, 0},
      {"open.txt", 0, 16, 10, 31000, 1},
  };
  for (const Case& c : cases) {
    Opened f(data_dir + c.file);
    int rc = 0;
    auto r = read(f.fd, c.mode, c.n, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_FLOAT_EQ(r->man[0].p, c.p) << c.file << " " << c.n << " mode " << c.mode;
    EXPECT_FLOAT_EQ(r->man[0].h, c.h) << c.file << " " << c.n << " mode " << c.mode;
    EXPECT_EQ(r->numman, c.numman) << c.file << " mode " << c.mode;
    EXPECT_NE(r->id[0], '\0');
  }
}

TEST(UpaReadText, SurfacePressureTokensOnlyGrowByALeadingZero) {
  kez_test::TempDir dir;
  struct Case {
    const char* token;
    float p;
  };
  const Case cases[] = {{"013", 1013}, {"850", 850}, {"965", 965}, {"7.5", M}, {"85", M}, {"500", 500}};
  for (const Case& c : cases) {
    std::string body = "KEZUPA+\n12Z\nABC";
    for (int i = 0; i < 53; ++i) body += " X"; /* 16 triplets and the special groups */
    kez_test::write_file(dir.file("s"), body + "\n" + c.token + " 15232 X\n00 27015 $\n");
    Opened f(dir.file("s"));
    auto r = read(f.fd, UPA_REP_SFC, 0);
    EXPECT_FLOAT_EQ(r->man[0].p, c.p) << c.token;
    EXPECT_FLOAT_EQ(r->man[0].dir, 270) << c.token;
    auto w = read(f.fd, UPA_REP_FULL, 0);
    ASSERT_EQ(w->numsig, 1) << c.token;
  }
}

/* ---- reading: netCDF ------------------------------------------------------------------- */

TEST(UpaReadCdf, WholeReportsOfBothLayouts) {
  kez_test::TempDir dir;
  for (const char* name : {"station", "report"}) {
    const bool si = std::string(name) == "report";
    const float kt = si ? UPA_MS_TO_KT : 1.0f, ft = si ? 1.0f / UPA_FT_TO_M : 1.0f;
    Opened f(ncgen(dir, name));
    auto a = read(f.fd, UPA_REP_FULL, 0);
    EXPECT_STREQ(a->id, "DNR");
    EXPECT_STREQ(a->area, "NA");
    EXPECT_EQ(a->wmo, 72469);
    EXPECT_FLOAT_EQ(a->elev, 1611);
    EXPECT_EQ(a->numman, 5);
    EXPECT_FLOAT_EQ(a->man[2].p, 925);
    EXPECT_FLOAT_EQ(a->man[4].spd, 20 * kt);
    EXPECT_EQ(a->numsig, 3);
    EXPECT_FLOAT_EQ(a->sig[2].td, -10);
    EXPECT_EQ(a->numwnd, 2);
    EXPECT_FLOAT_EQ(a->wnd[1].h, 3000 * ft);
    EXPECT_FLOAT_EQ(a->wnd[1].spd, 20 * kt);
    /* A station with fewer levels read after a fuller one keeps none of its values. */
    auto b = std::move(a);
    int n = 1;
    ASSERT_EQ(UPA_read(f.fd, b.get(), UPA_REP_FULL, &n), 0);
    EXPECT_STREQ(b->id, "PIT");
    EXPECT_EQ(b->numman, 3);
    EXPECT_EQ(b->man[3].p, M);
    EXPECT_EQ(b->man[4].spd, M);
    EXPECT_EQ(b->sig[1].p, M);
    EXPECT_EQ(b->sig[2].td, M);
    EXPECT_EQ(b->wnd[1].h, M);
    auto lvl = read(f.fd, 3, 0);
    EXPECT_FLOAT_EQ(lvl->man[0].p, 850);
    EXPECT_FLOAT_EQ(lvl->man[0].spd, 16 * kt);
    EXPECT_EQ(lvl->numman, 0);
    auto id = read(f.fd, UPA_REP_ID, 1);
    EXPECT_STREQ(id->id, "PIT");
    EXPECT_EQ(id->wmo, 72520);
    EXPECT_EQ(id->lat, M);
    int rc = 0;
    read(f.fd, UPA_REP_FULL, 2, &rc);
    EXPECT_EQ(rc, -1);
    auto other = read(f.fd, 77, 0, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_STREQ(other->id, "");
  }
}

TEST(UpaWrite, LevelsBeyondTheCodesReachLeaveTheOtherGroupsInPlace) {
  /* A level above 1 hPa cannot be coded (-0 reads as 1000 hPa) and ends the
   * list of levels above 10 hPa; a significant level there is written with
   * its decimal; a wind from 100,000 ft has no two-digit height. */
  kez_test::TempDir dir;
  for (int type : {UPA_FT_FIXED, UPA_FT_OPEN, UPA_FT_OPEN_LOC}) {
    SCOPED_TRACE(type);
    auto r = std::make_unique<UPA_report>();
    UPA_initialize(r.get());
    std::snprintf(r->id, sizeof r->id, "HI");
    r->wmo = 12345;
    r->man[UPA_SLOT_1000] = {1000, 100, 20, 10, 180, 10};
    r->man[UPA_SLOT_ABOVE] = {7, 33500, -45.1f, M, 10, 10};
    /* the second alone: below 1 hPa; the third: 15 hPa is no level above 10 */
    r->man[UPA_SLOT_ABOVE + 1] = {type == UPA_FT_OPEN ? 15.0f : 0.5f, 54000, -20.1f, M, 20, 20};
    r->man[UPA_SLOT_TROP] = {250, M, -55.1f, M, 300, 45};
    r->numman = 19;
    r->sig[0] = {1000, 20, 10};
    r->sig[1] = {0.5f, -20.1f, M};
    r->numsig = 2;
    r->wnd[0] = {0, 180, 10};
    r->wnd[1] = {120000, 270, 30};
    r->wnd[2] = {3000, 200, 15};
    r->numwnd = 3;
    const std::string path = dir.file("reach" + std::to_string(type) + ".txt");
    int t = type;
    ASSERT_GE(UPA_open(path.c_str(), UPA_ACC_WRITE, &t), 0);
    UPA_info info{};
    UPA_putinfo(0, &info);
    int n = 0;
    ASSERT_EQ(UPA_write(0, r.get(), UPA_REP_FULL, &n), 0);
    ASSERT_EQ(UPA_write(0, r.get(), UPA_REP_FULL, &n), 0);
    UPA_close(0);
    t = 0;
    ASSERT_GE(UPA_open(path.c_str(), UPA_ACC_READ, &t), 0);
    for (int k = 0; k < 2; ++k) {
      auto b = std::make_unique<UPA_report>();
      int i = k;
      ASSERT_EQ(UPA_read(0, b.get(), UPA_REP_FULL, &i), 0);
      EXPECT_STREQ(b->id, "HI");
      EXPECT_EQ(b->man[UPA_SLOT_ABOVE].p, 7);
      EXPECT_EQ(b->man[UPA_SLOT_ABOVE + 1].p, M) << "neither 1000 nor 10 hPa";
      EXPECT_EQ(b->man[UPA_SLOT_TROP].p, 250);
      EXPECT_EQ(b->numsig, 2);
      EXPECT_FLOAT_EQ(b->sig[1].p, 0.5f);
      EXPECT_EQ(b->numwnd, 2);
      EXPECT_EQ(b->wnd[1].h, 3000);
      EXPECT_EQ(b->wnd[1].dir, 200);
    }
    UPA_close(0);
  }
}

TEST(UpaReadCdf, FileWithoutThe925SlotShiftsItsLevels) {
  kez_test::TempDir dir;
  Opened f(ncgen(dir, "version1"));
  auto a = read(f.fd, UPA_REP_FULL, 0);
  EXPECT_EQ(a->man[2].p, M);
  EXPECT_FLOAT_EQ(a->man[3].p, 850);
  EXPECT_FLOAT_EQ(a->man[5].p, 500);
  EXPECT_FLOAT_EQ(a->lon, -97.5f);
  EXPECT_STREQ(a->area, "NA");
  EXPECT_EQ(read(f.fd, 2, 0)->man[0].p, M);
  EXPECT_FLOAT_EQ(read(f.fd, 3, 0)->man[0].p, 850);
  EXPECT_FLOAT_EQ(read(f.fd, 5, 0)->man[0].p, 500);
  EXPECT_FLOAT_EQ(read(f.fd, 0, 0)->man[0].p, 970);
  auto loc = read(f.fd, UPA_REP_LOCATION, 0);
  EXPECT_FLOAT_EQ(loc->elev, 350);
  EXPECT_EQ(loc->man[0].p, M);
}

TEST(UpaReadCdf, CountsOutOfRangeAreLimited) {
  kez_test::TempDir dir;
  Opened f(ncgen(dir, "hostile"));
  const int want_man[] = {0, 25, 25}, want_sig[] = {0, 30, 200}, want_wnd[] = {0, 30, 100};
  for (int n = 0; n < 3; ++n) {
    auto r = read(f.fd, UPA_REP_FULL, n);
    EXPECT_EQ(r->numman, want_man[n]);
    EXPECT_EQ(r->numsig, want_sig[n]);
    EXPECT_EQ(r->numwnd, want_wnd[n]);
  }
}

/* ---- hostile text ------------------------------------------------------------------------- */

TEST(UpaReadText, FilesCutAtEveryLineOrFullOfGarbageReadSafely) {
  kez_test::TempDir dir;
  for (const char* name : {"old_short.txt", "old_long.txt", "fixed.txt", "open.txt", "open_loc.txt"}) {
    const std::string whole = kez_test::read_file(data_dir + name);
    std::vector<size_t> cuts;
    for (size_t i = 0; i < whole.size(); ++i)
      if (whole[i] == '\n') cuts.push_back(i + 1);
    for (size_t cut : cuts) {
      kez_test::write_file(dir.file("cut"), whole.substr(0, cut));
      Opened f(dir.file("cut"), UPA_chktype((data_dir + name).c_str()));
      for (int mode : {30, 31, 32, 0, 3, 22}) {
        for (int n = 0; n < 4; ++n) {
          int rc = 0;
          auto r = read(f.fd, mode, n, &rc);
          EXPECT_LE(r->numsig, UPA_NUM_SIG);
          EXPECT_LE(r->numwnd, UPA_NUM_WND);
        }
      }
    }
    std::string garbage = whole;
    for (size_t i = 0; i < garbage.size(); i += 7)
      if (!std::isspace(static_cast<unsigned char>(garbage[i]))) garbage[i] = "#-/:.9"[i % 6];
    kez_test::write_file(dir.file("garbage"), garbage + std::string(300, 'Z') + " 0 99 -1 $ X");
    Opened g(dir.file("garbage"), UPA_chktype((data_dir + name).c_str()));
    for (int n = 0; n < 5; ++n) {
      auto r = read(g.fd, UPA_REP_FULL, n);
      EXPECT_LE(std::strlen(r->id), 10u);
    }
  }
}

} // namespace

namespace {

/* ---- the listing driver ------------------------------------------------------------------ */

std::string listing(const UPA_report& r) {
  std::string out;
  char line[256];
  std::snprintf(line, sizeof line, "id %s area %s wmo %d lat %g lon %g elev %g numman %d numsig %d numwnd %d\n", r.id,
                r.area, r.wmo, r.lat, r.lon, r.elev, r.numman, r.numsig, r.numwnd);
  out += line;
  for (int i = 0; i < UPA_NUM_MAN; ++i) {
    const UPA_level& m = r.man[i];
    if (m.p == M && m.h == M && m.t == M && m.td == M && m.dir == M && m.spd == M) continue;
    std::snprintf(line, sizeof line, "  man %2d %g %g %g %g %g %g\n", i, m.p, m.h, m.t, m.td, m.dir, m.spd);
    out += line;
  }
  for (int i = 0; i < std::min(r.numsig, UPA_NUM_SIG); ++i) {
    std::snprintf(line, sizeof line, "  sig %3d %g %g %g\n", i, r.sig[i].p, r.sig[i].t, r.sig[i].td);
    out += line;
  }
  for (int i = 0; i < std::min(r.numwnd, UPA_NUM_WND); ++i) {
    std::snprintf(line, sizeof line, "  wnd %3d %g %g %g\n", i, r.wnd[i].h, r.wnd[i].dir, r.wnd[i].spd);
    out += line;
  }
  return out;
}

/* Prints every report of every fixture in every read mode into a listing
 * beside the build (upa_reports.txt) for a reader to inspect. */
TEST(UpaListing, EveryFixtureInEveryModeIsListed) {
  kez_test::TempDir dir;
  std::vector<std::string> files;
  for (const char* t : {"old_short.txt", "old_long.txt", "fixed.txt", "open.txt", "open_loc.txt"})
    files.push_back(data_dir + t);
  for (const char* c : {"station", "report", "version1", "hostile"}) files.push_back(ncgen(dir, c));
  std::string out;
  int reports = 0;
  for (const std::string& path : files) {
    Opened f(path);
    out += "== " + path.substr(path.rfind('/') + 1) + " type " + std::to_string(f.type) + " datim '" + f.info.datim +
           "'\n";
    for (int mode = -1; mode <= 33; ++mode) {
      for (int n = 0;; ++n) {
        int rc = 0;
        auto r = read(f.fd, mode, n, &rc);
        if (rc != 0) break;
        ASSERT_LT(n, 10) << path;
        out += "-- report " + std::to_string(n) + " mode " + std::to_string(mode) + "\n" + listing(*r);
        ++reports;
      }
    }
  }
  kez_test::write_file(std::string(KEZ_BINARY_DIR) + "/upa_reports.txt", out);
  EXPECT_EQ(reports, 35 * (2 + 1 + 3 + 3 + 2 + 2 + 2 + 1 + 3)); /* every mode reads every report */
}

} // namespace
