#include "kez_test.h"
#include "kezsfc.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using kez_test::capture;
using kez_test::read_file;
using kez_test::run_child;
using kez_test::run_command;
using kez_test::TempDir;
using kez_test::write_file;

constexpr float M = KEZ_FMISS;
const std::string data_dir = KEZ_SOURCE_DIR "/tests/sfc/data/";

bool have_tools() { return kez_test::have_program("ncgen") && kez_test::have_program("ncdump"); }

SFC_report blank_report(const char* id) {
  SFC_report r;
  std::memset(&r, 0x5a, sizeof r);
  SFC_initialize(&r);
  std::snprintf(r.id, sizeof r.id, "%s", id);
  return r;
}

/* A report with a value in every member the layout 2.0 carries. */
SFC_report full_report() {
  SFC_report r = blank_report("KDEN");
  std::strcpy(r.area, "CO");
  r.time = 1150;
  r.lat = 39.7f;
  r.lon = -104.9f;
  r.elev = 1611;
  r.t = 72;
  r.td = 55;
  r.pmb = 1013.2f;
  r.alt = 29.92f;
  r.w_dir = 270;
  r.w_spd = 15;
  r.w_gust = 25;
  r.vis = 7;
  std::strcpy(r.weather, "RW");
  r.num_cld = 2;
  r.cld_height[0] = 2500;
  r.cld_cover[0] = 'S';
  r.cld_height[1] = 8000;
  r.cld_cover[1] = 'B';
  r.ptend_t = 2;
  r.ptend = 1.5f;
  r.rain24 = 1.25f;
  r.rain6 = 0.25f; /* not carried beside the 24-hour amount */
  r.max_t = 80;
  r.min_t = 50;
  r.max6_t = 78;
  r.min6_t = 52;
  r.scover = 3;
  r.solar = 120;
  r.sst = 12.5f;
  r.wav_per = 8;
  r.wav_hgt = 1.5f;
  std::memcpy(r.cld_type, "12 ", 3);
  std::strcpy(r.comment, "gusty");
  return r;
}

SFC_info header(const char* datim) {
  SFC_info info{};
  std::snprintf(info.datim, sizeof info.datim, "%s", datim);
  DATE_decode_label(info.datim, &info.date);
  return info;
}

void write_cdf(const std::string& path, const char* datim, const std::vector<SFC_report>& reps) {
  int t = SFC_FT_CDF;
  ASSERT_GE(SFC_open(path.c_str(), SFC_ACC_WRITE, &t), 0);
  const SFC_info info = header(datim);
  ASSERT_EQ(SFC_putinfo(0, &info), 0);
  for (int i = 0; i < static_cast<int>(reps.size()); ++i) EXPECT_EQ(SFC_write(0, &reps[i], 0, &i), 0);
  EXPECT_EQ(SFC_close(0), 0);
}

std::vector<SFC_report> read_all(const std::string& path, int* type = nullptr, SFC_info* info = nullptr) {
  std::vector<SFC_report> out;
  int t = 0;
  if (SFC_open(path.c_str(), SFC_ACC_READ, &t) < 0) return out;
  if (type) *type = t;
  SFC_info i{};
  EXPECT_EQ(SFC_getinfo(0, &i), 0);
  if (info) *info = i;
  SFC_report r;
  for (int n = 0; n < 100000 && SFC_read(0, &r, SFC_REP_FULL, &n) == 0; ++n) out.push_back(r);
  SFC_close(0);
  return out;
}

/* ncgen of a CDL text into a file of dir. */
std::string compile(const TempDir& dir, const std::string& name, const std::string& cdl) {
  const std::string src = dir.file(name + ".cdl"), nc = dir.file(name + ".nc");
  write_file(src, cdl);
  std::string out;
  EXPECT_EQ(run_command("ncgen -o " + nc + " " + src + " 2>&1", &out), 0) << out;
  return nc;
}

void expect_near(float got, float want, const std::string& what, double tol = 0.01) {
  if (want == M)
    EXPECT_EQ(got, M) << what;
  else
    EXPECT_NEAR(got, want, tol) << what;
}

/* Compares with a golden file; KEZ_WRITE_GOLDEN=1 writes it instead. */
void expect_golden(const std::string& name, const std::string& text) {
  const std::string path = data_dir + name;
  if (const char* w = std::getenv("KEZ_WRITE_GOLDEN"); w && std::strcmp(w, "1") == 0) write_file(path, text);
  EXPECT_EQ(text, read_file(path)) << name;
}

/* ---- writing the layout 2.0 ---------------------------------------------- */

TEST(SfcCdf, HeadersOfEachHourMatchTheirCdl) {
  if (!have_tools()) GTEST_SKIP() << "no ncgen/ncdump";
  for (const char* hour : {"14", "12", "08"}) {
    TempDir dir;
    const std::string path = dir.file("sfc");
    write_cdf(path, (std::string(hour) + "Z 10 DEC 26").c_str(), {full_report()});
    std::string out;
    ASSERT_EQ(run_command("ncdump -h " + path, &out), 0);
    expect_golden(std::string("cdf/header_") + hour + ".cdl", out);
  }
}

/* What a report of full_report() reads back as from a file of an hour. */
SFC_report expected_back(int hour) {
  SFC_report e = full_report();
  e.rain6 = M;
  e.cld_cover[0] = '2';
  e.cld_cover[1] = '6';
  std::strcpy(e.weather, "RW");
  const bool every3 = hour % 3 == 0, every6 = hour % 6 == 0;
  const bool extremes = hour == 0 || (hour >= 5 && hour <= 8) || hour == 12;
  if (!every3) {
    e.ptend_t = KEZ_MISS;
    e.ptend = e.rain24 = M;
  }
  if (hour % 12 != 0) e.scover = M;
  if (!every6) e.sst = e.wav_per = e.wav_hgt = e.max6_t = e.min6_t = M;
  if (!extremes) e.max_t = e.min_t = M;
  if (hour != 8) e.solar = M;
  return e;
}

struct Number {
  const char* name;
  float SFC_report::*m;
};
constexpr Number numbers[] = {{"lat", &SFC_report::lat},        {"lon", &SFC_report::lon},
                              {"elev", &SFC_report::elev},      {"t", &SFC_report::t},
                              {"td", &SFC_report::td},          {"pmb", &SFC_report::pmb},
                              {"alt", &SFC_report::alt},        {"w_dir", &SFC_report::w_dir},
                              {"w_spd", &SFC_report::w_spd},    {"w_gust", &SFC_report::w_gust},
                              {"vis", &SFC_report::vis},        {"ptend", &SFC_report::ptend},
                              {"rain6", &SFC_report::rain6},    {"rain24", &SFC_report::rain24},
                              {"max_t", &SFC_report::max_t},    {"min_t", &SFC_report::min_t},
                              {"max6_t", &SFC_report::max6_t},  {"min6_t", &SFC_report::min6_t},
                              {"scover", &SFC_report::scover},  {"solar", &SFC_report::solar},
                              {"sst", &SFC_report::sst},        {"wav_per", &SFC_report::wav_per},
                              {"wav_hgt", &SFC_report::wav_hgt}};

void expect_same(const SFC_report& got, const SFC_report& want, const std::string& why) {
  SCOPED_TRACE(why);
  EXPECT_STREQ(got.id, want.id);
  EXPECT_STREQ(got.area, want.area);
  EXPECT_EQ(got.wmo, want.wmo);
  EXPECT_EQ(got.time, want.time);
  EXPECT_EQ(got.ptend_t, want.ptend_t);
  EXPECT_EQ(got.prior, want.prior);
  EXPECT_EQ(got.type, want.type);
  for (const auto& n : numbers) expect_near(got.*n.m, want.*n.m, n.name);
  ASSERT_EQ(got.num_cld, want.num_cld);
  for (int i = 0; i < want.num_cld; ++i) {
    expect_near(got.cld_height[i], want.cld_height[i], "cld_height", 0.1);
    EXPECT_EQ(got.cld_cover[i], want.cld_cover[i]) << i;
  }
  EXPECT_STREQ(got.weather, want.weather);
  EXPECT_EQ(std::string(got.cld_type, 3), std::string(want.cld_type, 3));
  EXPECT_STREQ(got.comment, want.comment);
}

TEST(SfcCdf, ReportsReadBackWithTheVariablesOfTheirHour) {
  for (int hour : {14, 12, 8, 0}) {
    TempDir dir;
    char datim[32];
    std::snprintf(datim, sizeof datim, "%2.2dZ 10 DEC 26", hour);
    SFC_report r = full_report();
    r.time = hour * 100;
    write_cdf(dir.file("f.nc"), datim, {r, blank_report("EMPTY")});
    int type = 0;
    SFC_info info{};
    const auto back = read_all(dir.file("f.nc"), &type, &info);
    EXPECT_EQ(type, SFC_FT_CDF);
    EXPECT_STREQ(info.datim, datim);
    EXPECT_EQ(info.num_stat, 2);
    EXPECT_EQ(info.date.hour, hour);
    ASSERT_EQ(back.size(), 2u);
    SFC_report want = expected_back(hour);
    want.time = hour * 100;
    expect_same(back[0], want, datim);
    /* an empty report reads back empty, its covers ending at once */
    SFC_report empty = blank_report("EMPTY");
    empty.weather[0] = ' ';
    expect_same(back[1], empty, std::string(datim) + " empty");
  }
}

TEST(SfcCdf, CoversTendencyAndPrecipitationCodes) {
  TempDir dir;
  SFC_report a = blank_report("A");
  a.num_cld = 3;
  a.cld_height[0] = 1000;
  a.cld_cover[0] = 'S';
  a.cld_height[1] = 2000;
  a.cld_cover[1] = 'B';
  a.cld_height[2] = 3000;
  a.cld_cover[2] = ' ';
  a.rain24 = 0.5f;
  a.rain6 = 0.1f;
  SFC_report b = blank_report("B");
  b.num_cld = 4;
  const char covers[] = {'C', 'F', 'O', 'X'};
  for (int i = 0; i < 4; ++i) {
    b.cld_height[i] = 100.0f * (i + 1);
    b.cld_cover[i] = covers[i];
  }
  b.rain6 = 0.1f;
  b.ptend_t = 8;
  SFC_report c = blank_report("C");
  c.num_cld = 2;
  c.cld_height[0] = 500;
  c.cld_cover[0] = 'o'; /* thin forms go as they are */
  c.cld_height[1] = 900;
  c.cld_cover[1] = '7';
  c.ptend_t = 12; /* no such characteristic */
  write_cdf(dir.file("c.nc"), "12Z 10 DEC 26", {a, b, c});
  if (have_tools()) {
    std::string out;
    ASSERT_EQ(run_command("ncdump -v CC,Ptend,reftime_PRECIP,PRECIP " + dir.file("c.nc"), &out), 0);
    const std::string data = out.substr(out.find("data:"));
    EXPECT_NE(data.find("CC =\n  \"26//\",\n  \"0189\",\n  \"o7//\" ;"), std::string::npos) << data;
    EXPECT_NE(data.find("Ptend = \"/\\b/\" ;"), std::string::npos) << data;
    EXPECT_NE(data.find("reftime_PRECIP = 24, 6, 6 ;"), std::string::npos) << data;
    EXPECT_NE(data.find("PRECIP = 12.7, 2.54, _ ;"), std::string::npos) << data;
  }
  const auto back = read_all(dir.file("c.nc"));
  ASSERT_EQ(back.size(), 3u);
  EXPECT_EQ(back[0].num_cld, 2);
  EXPECT_EQ(std::string(back[0].cld_cover, 2), "26");
  EXPECT_EQ(back[0].ptend_t, KEZ_MISS);
  EXPECT_NEAR(back[0].rain24, 0.5, 0.001);
  EXPECT_EQ(back[0].rain6, M);
  EXPECT_EQ(back[1].num_cld, 4);
  EXPECT_EQ(std::string(back[1].cld_cover, 4), "0189");
  EXPECT_NEAR(back[1].cld_height[3], 400, 0.1);
  EXPECT_EQ(back[1].ptend_t, 8);
  EXPECT_NEAR(back[1].rain6, 0.1, 0.001);
  EXPECT_EQ(back[1].rain24, M);
  EXPECT_EQ(std::string(back[2].cld_cover, 2), "o7");
  EXPECT_EQ(back[2].ptend_t, KEZ_MISS);
  EXPECT_EQ(back[2].rain6, M);
}

TEST(SfcCdf, ObservationTimeLabels) {
  if (!have_tools()) GTEST_SKIP() << "no ncdump";
  const struct {
    const char* file;
    int time;
    const char* label; /* as stored */
    int back;
  } cases[] = {
      {"12Z 10 DEC 26", 1150, "1150Z 10 DEC 26", 1150},
      {"00Z 10 DEC 26", 2350, "2350Z  9 DEC 26", 2350},
      {"00Z  1 JAN 27", 2350, "2350Z 31 DEC 26", 2350},
      {"23Z 31 DEC 26", 5, "0005Z  1 JAN 27", 5},
      {"12Z 10 DEC 26", 900, "0900Z 10 DEC 26", 900}, /* three hours early: its own hour */
      {"12Z 10 DEC 26", 1210, "1210Z 10 DEC 26", 1210},
      {"12Z 10 DEC 26", KEZ_MISS, "", KEZ_MISS}, /* no time: an empty label */
      {"12Z 10 DEC 26", 1275, "", KEZ_MISS},     /* not a time of day */
      {"", 1150, "1150Z", 1150},                 /* a file of no date */
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " " + std::to_string(c.time));
    TempDir dir;
    SFC_report r = blank_report("K");
    r.time = c.time;
    capture([&] { write_cdf(dir.file("t.nc"), c.file, {r}); });
    std::string out;
    ASSERT_EQ(run_command("ncdump -v time " + dir.file("t.nc"), &out), 0);
    EXPECT_NE(out.find(std::string("time =\n  \"") + c.label + "\" ;"), std::string::npos) << out;
    const auto back = read_all(dir.file("t.nc"));
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].time, c.back);
  }
}

TEST(SfcCdf, AnIndependentReaderGetsTheWrittenValues) {
  if (kez_test::run_command("/usr/bin/python3 -c 'import netCDF4' 2>/dev/null") != 0)
    GTEST_SKIP() << "no python3-netcdf4";
  TempDir dir;
  SFC_report r = full_report();
  std::strcpy(r.comment, "a remark of some length");
  write_cdf(dir.file("p.nc"), "12Z 10 DEC 26", {blank_report("EMPTY"), r});
  const std::string script =
      "import sys, netCDF4\n"
      "d = netCDF4.Dataset(sys.argv[1])\n"
      "d.set_auto_mask(False)\n"
      "def txt(v, i):\n"
      "    return bytes(d[v][i]).rstrip(b'\\0').decode()\n"
      "print(len(d.dimensions['report']), d.filetime, d.history)\n"
      "for i in range(2):\n"
      "    print(txt('id', i), txt('region', i), txt('time', i), txt('CC', i), txt('cloudtype', i),"
      " repr(txt('Ptend', i)), txt('remarks', i))\n"
      "    print(' '.join('%s=%.3f' % (v, d[v][i]) for v in ('lat', 'lon', 'elev', 'T', 'TD', 'PSL',"
      " 'ALTIM', 'SPD', 'DIR', 'GUST', 'VIS', 'delP', 'PRECIP', 'reftime_PRECIP', 'SNOW', 'SST',"
      " 'wave_per', 'wave_hgt', 'Tmax', 'Tmin', 'Tmax6', 'Tmin6')))\n"
      "    print('WX', list(d['WX'][i]), 'ZCL', ['%.1f' % z for z in d['ZCL'][i]])\n";
  write_file(dir.file("check.py"), script);
  std::string out;
  ASSERT_EQ(run_command("/usr/bin/python3 " + dir.file("check.py") + " " + dir.file("p.nc") + " 2>&1", &out), 0) << out;
  EXPECT_EQ(out,
            "2 12Z 10 DEC 26 Surface converted file from KEZ decoders\n"
            "EMPTY   //// /// '/' \n"
            "lat=-9999.000 lon=-9999.000 elev=-9999.000 T=-9999.000 TD=-9999.000 PSL=-9999.000 "
            "ALTIM=-9999.000 SPD=-9999.000 DIR=-9999.000 GUST=-9999.000 VIS=-9999.000 "
            "delP=-9999.000 PRECIP=-9999.000 reftime_PRECIP=6.000 SNOW=-9999.000 SST=-9999.000 "
            "wave_per=-9999.000 wave_hgt=-9999.000 Tmax=-9999.000 Tmin=-9999.000 Tmax6=-9999.000 "
            "Tmin6=-9999.000\n"
            "WX [0, -127, -127, -127] ZCL ['-9999.0', '-9999.0', '-9999.0', '-9999.0']\n"
            "KDEN CO 1150Z 10 DEC 26 26// 12/ '\\x02' a remark of some length\n"
            "lat=39.700 lon=-104.900 elev=1611.000 T=22.222 TD=12.778 PSL=1013.200 "
            "ALTIM=1012.911 SPD=7.716 DIR=270.000 GUST=12.860 VIS=11.265 delP=1.500 "
            "PRECIP=31.750 reftime_PRECIP=24.000 SNOW=76.200 SST=12.500 wave_per=8.000 "
            "wave_hgt=1.500 Tmax=26.667 Tmin=10.000 Tmax6=25.556 Tmin6=11.111\n"
            "WX [81, -127, -127, -127] ZCL ['762.0', '2438.4', '-9999.0', '-9999.0']\n");
}

TEST(SfcCdf, WritingNeedsTheLayoutAndItsHeader) {
  TempDir dir;
  SFC_report r = full_report();
  int n = 0;
  int t = SFC_FT_CDF_OLD; /* the old layout is only read */
  capture([&] { EXPECT_EQ(SFC_open(dir.file("o.nc").c_str(), SFC_ACC_WRITE, &t), -1); });
  t = SFC_FT_CDF;
  ASSERT_GE(SFC_open(dir.file("w.nc").c_str(), SFC_ACC_WRITE, &t), 0);
  EXPECT_EQ(SFC_write(0, &r, 0, &n), -1); /* no header yet */
  const SFC_info info = header("12Z 10 DEC 26");
  ASSERT_EQ(SFC_putinfo(0, &info), 0);
  EXPECT_EQ(SFC_putinfo(0, &info), -1); /* once */
  n = -1;
  EXPECT_EQ(SFC_write(0, &r, 0, &n), -1);
  n = 1; /* records in any order */
  EXPECT_EQ(SFC_write(0, &r, 0, &n), 0);
  n = 0;
  std::strcpy(r.id, "FIRST");
  EXPECT_EQ(SFC_write(0, &r, 0, &n), 0);
  EXPECT_EQ(SFC_close(0), 0);
  EXPECT_EQ(SFC_close(0), -1);

  /* appending writes into the existing file after its records */
  t = 0;
  ASSERT_GE(SFC_open(dir.file("w.nc").c_str(), SFC_ACC_APPEND, &t), 0);
  EXPECT_EQ(t, SFC_FT_CDF);
  SFC_info got{};
  ASSERT_EQ(SFC_getinfo(0, &got), 0);
  EXPECT_EQ(got.num_stat, 2);
  n = got.num_stat;
  std::strcpy(r.id, "THIRD");
  r.time = 2350; /* the day before: the file's date was read */
  EXPECT_EQ(SFC_write(0, &r, 0, &n), 0);
  SFC_close(0);
  const auto back = read_all(dir.file("w.nc"));
  ASSERT_EQ(back.size(), 3u);
  EXPECT_STREQ(back[0].id, "FIRST");
  EXPECT_STREQ(back[1].id, "KDEN");
  EXPECT_STREQ(back[2].id, "THIRD");
  EXPECT_EQ(back[2].time, 2350);
}

TEST(SfcCdf, ReadingByIndexAndReportKinds) {
  TempDir dir;
  SFC_report a = full_report(), b = full_report();
  std::strcpy(b.id, "SECOND");
  write_cdf(dir.file("r.nc"), "12Z 10 DEC 26", {a, b});
  int t = 0;
  ASSERT_GE(SFC_open(dir.file("r.nc").c_str(), SFC_ACC_READ, &t), 0);
  SFC_report r;
  int n = 1;
  ASSERT_EQ(SFC_read(0, &r, SFC_REP_ID, &n), 0);
  EXPECT_STREQ(r.id, "SECOND");
  EXPECT_EQ(r.lat, M);
  EXPECT_STREQ(r.area, "");
  n = -1; /* the index last asked for */
  ASSERT_EQ(SFC_read(0, &r, SFC_REP_LOCATION, &n), 0);
  EXPECT_STREQ(r.id, "SECOND");
  EXPECT_STREQ(r.area, "CO");
  EXPECT_NEAR(r.lat, 39.7, 1e-4);
  EXPECT_NEAR(r.elev, 1611, 1e-4);
  EXPECT_EQ(r.t, M);
  n = 0;
  ASSERT_EQ(SFC_read(0, &r, 7, &n), 0); /* an unknown kind reads nothing */
  EXPECT_STREQ(r.id, "");
  EXPECT_EQ(SFC_rewind(0), 0);
  n = -1;
  ASSERT_EQ(SFC_read(0, &r, SFC_REP_FULL, &n), 0);
  EXPECT_STREQ(r.id, "KDEN");
  n = 2;
  EXPECT_EQ(SFC_read(0, &r, SFC_REP_FULL, &n), -1);
  n = -5;
  EXPECT_EQ(SFC_read(0, &r, SFC_REP_FULL, &n), -1);
  SFC_info info = header("00Z 1 JAN 99");
  EXPECT_EQ(SFC_putinfo(0, &info), -1); /* read only */
  EXPECT_EQ(SFC_write(0, &a, 0, &n), -1);
  SFC_close(0);
}

/* ---- fixtures from CDL ---------------------------------------------------- */

SFC_report fixture_report(const char* id) { return blank_report(id); }

std::vector<SFC_report> old_layout_reports(bool version1, bool by_day) {
  SFC_report a = fixture_report("KDEN");
  std::strcpy(a.area, "CO");
  std::strcpy(a.weather, "RW");
  std::memcpy(a.cld_type, "123", 3);
  a.time = 1150;
  a.prior = 3;
  a.elev = 1640;
  a.wmo = 72565;
  a.type = 1;
  /* the blank third cover is left out */
  a.num_cld = 3;
  a.cld_height[0] = 2500;
  a.cld_cover[0] = 'S';
  a.cld_height[1] = 8000;
  a.cld_cover[1] = 'B';
  a.cld_height[2] = 12000;
  a.cld_cover[2] = 'O';
  a.lat = 39.85f;
  a.lon = version1 ? -104.65f : 104.65f;
  a.vis = 7;
  a.pmb = 1013.2f;
  a.t = 72;
  a.td = 55;
  a.w_dir = 270;
  a.w_spd = 15;
  a.w_gust = 25;
  a.alt = 29.92f;
  a.rain6 = 0.25f;
  a.rain24 = 1.25f;
  (by_day ? a.min_t : a.max_t) = 50;
  a.scover = 3;
  a.ptend = 1.5f;
  SFC_report b = fixture_report("72469");
  std::strcpy(b.area, "US");
  b.time = 600;
  return {a, b};
}

std::vector<SFC_report> new_layout_reports(bool region) {
  SFC_report a = fixture_report("KDEN");
  std::strcpy(a.area, region ? "CO" : "UN");
  a.time = 1750;
  a.lat = 39.85f;
  a.lon = -104.65f;
  a.elev = 1640;
  a.t = 68;
  a.td = 50;
  a.pmb = 1013.2f;
  a.alt = 29.93f;
  a.w_spd = 9.72f;
  a.w_dir = 270;
  std::strcpy(a.weather, "R-");
  a.num_cld = 2;
  a.cld_height[0] = 2500;
  a.cld_cover[0] = '2';
  a.cld_height[1] = 8000;
  a.cld_cover[1] = '6';
  std::memcpy(a.cld_type, "12 ", 3);
  a.vis = 10;
  a.ptend_t = 2;
  a.ptend = 1.5f;
  a.rain6 = 0.25f;
  a.max6_t = 77;
  std::strcpy(a.comment, "gusty");
  SFC_report b = fixture_report("SHIP1");
  std::strcpy(b.area, region ? "" : "UN");
  b.time = 1800;
  b.lat = 40.5f;
  b.lon = -60.25f;
  b.elev = 0;
  b.t = 23;
  b.pmb = 998.5f;
  b.w_spd = 0;
  b.w_dir = 0;
  b.vis = 2.49f;
  b.rain24 = 1.0f;
  return {a, b};
}

TEST(SfcCdf, FixturesReadIntoTheirReports) {
  if (!have_tools()) GTEST_SKIP() << "no ncgen";
  const struct {
    const char* name;
    int type;
    const char* datim;
    std::vector<SFC_report> want;
  } cases[] = {
      {"old_v1", SFC_FT_CDF_OLD, "12Z 10 DEC 26", old_layout_reports(true, true)},
      {"old_v2", SFC_FT_CDF_OLD, "00Z 11 DEC 26", old_layout_reports(false, false)},
      /* the first again: the version is decided for each file */
      {"old_v1", SFC_FT_CDF_OLD, "12Z 10 DEC 26", old_layout_reports(true, true)},
      {"new_region", SFC_FT_CDF, "18Z 10 DEC 26", new_layout_reports(true)},
      {"new_noregion", SFC_FT_CDF, "18Z 10 DEC 26", new_layout_reports(false)},
      {"new_ob", SFC_FT_CDF, "18Z 10 DEC 26", new_layout_reports(true)},
  };
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string nc = compile(dir, c.name, read_file(data_dir + "cdf/" + c.name + ".cdl"));
    EXPECT_EQ(SFC_chktype(nc.c_str()), c.type);
    int type = 0;
    SFC_info info{};
    const auto back = read_all(nc, &type, &info);
    EXPECT_EQ(type, c.type);
    EXPECT_STREQ(info.datim, c.datim);
    EXPECT_EQ(info.num_stat, 2);
    ASSERT_EQ(back.size(), c.want.size());
    for (size_t i = 0; i < back.size(); ++i) expect_same(back[i], c.want[i], c.want[i].id);
  }
}

TEST(SfcCdf, FixturesListAsExpected) {
  if (!have_tools()) GTEST_SKIP() << "no ncgen";
  TempDir dir;
  for (const char* name : {"old_v1", "new_region"}) {
    const std::string nc = compile(dir, name, read_file(data_dir + "cdf/" + name + ".cdl"));
    for (int layout : {SFC_PRINT_TWO_LINE, SFC_PRINT_TABLE}) {
      auto r = run_child([&] {
        RES_put("file_path", KEZ_DATA_DIR);
        SFC_set_print(layout);
        SFC_print_line(M_print, nullptr);
        for (const auto& rep : read_all(nc)) SFC_print_line(M_print, &rep);
        return 0;
      });
      EXPECT_EQ(r.status, 0) << r.err;
      expect_golden(std::string("cdf/list_") + name + "_" + std::to_string(layout) + ".txt", r.out);
    }
  }
}

/* ---- hostile files -------------------------------------------------------- */

std::string long_text(size_t n, char c) { return std::string(n, c); }

TEST(SfcCdf, HostileFilesGiveMissingMembersOrMinusOne) {
  if (!have_tools()) GTEST_SKIP() << "no ncgen";
  const std::string big_id = long_text(30, 'I'), big_rmk = long_text(250, 'r');
  const struct {
    const char* why;
    std::string cdl;
    int reports;
  } cases[] = {
      {"long texts and attributes",
       "netcdf h { dimensions: report = UNLIMITED ; id_len = 40 ; time_len = 60 ; remarks_len = 300 ;"
       " variables: char id(report, id_len) ; char region(report, id_len) ; char time(report, time_len) ;"
       " char remarks(report, remarks_len) ;"
       " :filetime = \"12Z 10 DEC 26" +
           long_text(200, 'x') +
           "\" ;"
           " data: id = \"" +
           big_id + "\" ; region = \"" + big_id +
           "\" ;"
           " time = \"99999999999999999999999\" ; remarks = \"" +
           big_rmk + "\" ; }",
       1},
      {"no variables at all", "netcdf h { dimensions: report = 3 ; variables: int x(report) ; data: x = 1, 2, 3 ; }",
       3},
      {"no record dimension", "netcdf h { dimensions: n = 3 ; variables: float T(n) ; }", 0},
      {"variables of other types and shapes",
       "netcdf h { dimensions: report = UNLIMITED ; layers = 2 ; x = 3 ;"
       " variables: float id(report) ; char T(report, layers) ; int CC(report, layers) ;"
       " double ZCL(report, layers, x) ; char WX(report) ; float remarks(report) ; char Ptend(report, x) ;"
       " char region(x) ; float lat(x) ;"
       " data: id = 1 ; T = \"ab\" ; CC = 50, 54 ; ZCL = 1, 2, 3, 4, 5, 6 ; WX = \"a\" ; remarks = 5 ;"
       " Ptend = \"123\" ; region = \"abc\" ; lat = 1, 2, 3 ; }",
       1},
      {"fewer layers than covers",
       "netcdf h { dimensions: report = UNLIMITED ; layers = 2 ; variables: char CC(report, layers) ;"
       " float ZCL(report, layers) ; data: CC = \"26\" ; ZCL = 1, 2 ; }",
       1},
      {"values of the library's own fill and non-numbers",
       "netcdf h { dimensions: report = UNLIMITED ; variables: float T(report) ; double SPD(report) ;"
       " float lat(report) ; data: T = _ ; SPD = NaN ; lat = Infinity ; }",
       1},
      {"fill values of other writers",
       "netcdf h { dimensions: report = UNLIMITED ; variables: float T(report) ; double SPD(report) ;"
       " float lat(report) ; float VIS(report) ; data: T = 1e10 ; SPD = -1e10 ; lat = 1e20 ; VIS = 9.96921e36 ; }",
       1},
      {"old layout with short rows",
       "netcdf h { dimensions: station = UNLIMITED ; idata = 5 ; fdata = 2 ; string_len = 30 ;"
       " variables: char id(station, string_len) ; int intdata(station, idata) ;"
       " float fltdata(station, fdata) ; char wx(station, string_len) ; char cld(station, string_len) ;"
       " :missing_val_f = \"text\" ; :missing_val_i = 1e30 ; :datetime = 12 ;"
       " data: id = \"" +
           big_id +
           "\" ; intdata = 1150, 1, 2, 3, 4 ; fltdata = 40, 100 ;"
           " wx = \"" +
           big_id + "\" ; cld = \"\" ; }",
       1},
      {"old layout with rows of other types and shapes",
       "netcdf h { dimensions: station = UNLIMITED ; idata = 13 ; fdata = 15 ; two = 2 ;"
       " variables: char intdata(station, idata) ; float fltdata(station, two, fdata) ;"
       " char id(station) ; data: intdata = \"abcdefghijklm\" ; id = \"K\" ; }",
       1},
  };
  TempDir dir;
  int k = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    const std::string nc = compile(dir, "h" + std::to_string(k++), c.cdl);
    std::vector<SFC_report> back;
    SFC_info info{};
    capture([&] { back = read_all(nc, nullptr, &info); });
    EXPECT_LT(std::strlen(info.datim), sizeof info.datim);
    ASSERT_EQ(static_cast<int>(back.size()), c.reports);
    for (const auto& r : back) {
      EXPECT_LT(std::strlen(r.id), sizeof r.id);
      EXPECT_LT(std::strlen(r.area), sizeof r.area);
      EXPECT_LT(strnlen(r.weather, sizeof r.weather), sizeof r.weather);
      EXPECT_LT(strnlen(r.comment, sizeof r.comment), sizeof r.comment);
      EXPECT_GE(r.num_cld, 0);
      EXPECT_LE(r.num_cld, 4);
      for (const auto& n : numbers) EXPECT_TRUE(std::isfinite(r.*n.m)) << n.name;
    }
    const std::string why = c.why;
    if (why == "long texts and attributes") {
      EXPECT_EQ(std::string(info.datim), "12Z 10 DEC 26" + long_text(26, 'x'));
      EXPECT_EQ(std::string(back[0].id), long_text(10, 'I'));
      EXPECT_EQ(std::string(back[0].area), long_text(10, 'I'));
      EXPECT_EQ(std::string(back[0].comment), long_text(99, 'r'));
      EXPECT_EQ(back[0].time, KEZ_MISS);
    } else if (why == "no variables at all") {
      EXPECT_STREQ(back[0].area, "UN");
      EXPECT_EQ(back[0].t, M);
      EXPECT_EQ(back[0].num_cld, 0);
      EXPECT_STREQ(back[0].weather, " ");
    } else if (why == "fewer layers than covers") {
      EXPECT_EQ(back[0].num_cld, 2);
    } else if (why == "values of the library's own fill and non-numbers") {
      EXPECT_EQ(back[0].t, M);
      EXPECT_EQ(back[0].w_spd, M);
      EXPECT_EQ(back[0].lat, M);
    } else if (why == "fill values of other writers") {
      EXPECT_EQ(back[0].t, M);
      EXPECT_EQ(back[0].w_spd, M);
      EXPECT_EQ(back[0].lat, M);
      EXPECT_EQ(back[0].vis, M);
    } else if (why == "old layout with short rows") {
      EXPECT_EQ(std::string(back[0].id), long_text(10, 'I'));
      EXPECT_EQ(std::string(back[0].weather), long_text(11, 'I'));
      EXPECT_EQ(back[0].time, 1150);
      EXPECT_EQ(back[0].type, 4);
      EXPECT_EQ(back[0].lat, 40);
      EXPECT_EQ(back[0].lon, -100); /* no "version" */
      EXPECT_EQ(back[0].pmb, M);
      EXPECT_EQ(back[0].num_cld, 0);
    }
  }
}

TEST(SfcCdf, TruncatedAndDamagedFiles) {
  TempDir dir;
  std::vector<SFC_report> reps(50, full_report());
  write_cdf(dir.file("full.nc"), "12Z 10 DEC 26", reps);
  const std::string whole = read_file(dir.file("full.nc"));
  for (size_t keep : {whole.size() / 2, whole.size() - 7, static_cast<size_t>(600), static_cast<size_t>(40),
                      static_cast<size_t>(4)}) {
    SCOPED_TRACE(keep);
    write_file(dir.file("cut.nc"), whole.substr(0, keep));
    std::vector<SFC_report> back;
    capture([&] { back = read_all(dir.file("cut.nc")); });
    EXPECT_LE(back.size(), reps.size());
    for (const auto& r : back) EXPECT_LT(std::strlen(r.id), sizeof r.id);
  }
  write_file(dir.file("c"), "CDF\x01garbage");
  capture([&] { EXPECT_EQ(SFC_chktype(dir.file("c").c_str()), -1); });
  int t = 0;
  capture([&] { EXPECT_EQ(SFC_open(dir.file("c").c_str(), SFC_ACC_READ, &t), -1); });
}

} // namespace
