#include "kez_test.h"
#include "kezsfc.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using kez_test::capture;
using kez_test::read_file;
using kez_test::TempDir;
using kez_test::write_file;

constexpr float M = KEZ_FMISS;
constexpr const char* noon = "12Z 10 DEC 26";     /* the minimum's hours */
constexpr const char* midnight = "00Z 10 DEC 26"; /* the maximum's hours */

SFC_report empty_report(const char* id) {
  SFC_report r;
  std::memset(&r, 0x5a, sizeof r);
  SFC_initialize(&r);
  std::snprintf(r.id, sizeof r.id, "%s", id);
  return r;
}

void set_clouds(SFC_report& r, std::initializer_list<std::pair<float, char>> layers) {
  r.num_cld = 0;
  for (auto [h, c] : layers) {
    r.cld_height[r.num_cld] = h;
    r.cld_cover[r.num_cld] = c;
    ++r.num_cld;
  }
}

/* A report with every member set to a value the text layouts carry exactly. */
SFC_report full_report() {
  SFC_report r = empty_report("72469");
  r.wmo = 72469;
  r.time = 1150;
  r.t = 72;
  r.td = 55;
  r.w_dir = 270;
  r.w_spd = 15;
  r.w_gust = 25;
  r.alt = 29.92f;
  r.pmb = 1013.2f;
  r.vis = 7;
  set_clouds(r, {{2500, 'S'}, {8000, 'B'}});
  std::strcpy(r.weather, "RW");
  r.lat = 39.7f;
  r.lon = -104.9f;
  r.ptend_t = 2;
  r.ptend = 1.5f;
  r.rain1 = 0.02f;
  r.rain3 = 0.1f;
  r.rain6 = 0.25f;
  r.rain12 = 0.4f;
  r.rain24 = 1.25f;
  r.max_t = 80;
  r.min_t = 50;
  r.max6_t = 78;
  r.min6_t = 52;
  r.scover = 3;
  r.solar = 120;
  r.sst = 12.5f;
  r.wav_per = 8;
  r.wav_hgt = 1.5f;
  std::memcpy(r.cld_type, "123", 3);
  std::strcpy(r.comment, "gusty");
  return r;
}

/* Writes reports in a layout under a date label; the file's text. */
std::string write_reports(const std::string& path, int type, const std::vector<SFC_report>& reps,
                          const char* datim = noon) {
  int t = type;
  EXPECT_GE(SFC_open(path.c_str(), SFC_ACC_WRITE, &t), 0) << path;
  SFC_info info{};
  std::snprintf(info.datim, sizeof info.datim, "%s", datim);
  DATE_decode_label(info.datim, &info.date);
  EXPECT_EQ(SFC_putinfo(0, &info), 0);
  int n = 0;
  for (const auto& r : reps) EXPECT_EQ(SFC_write(0, &r, 0, &n), 0) << r.id;
  EXPECT_EQ(SFC_close(0), 0);
  return read_file(path);
}

/* Every report of a file read in order, with its detected type and header. */
std::vector<SFC_report> read_reports(const std::string& path, int* type = nullptr, SFC_info* header = nullptr) {
  std::vector<SFC_report> out;
  int t = 0;
  if (SFC_open(path.c_str(), SFC_ACC_READ, &t) < 0) return out;
  if (type) *type = t;
  SFC_info info{};
  EXPECT_EQ(SFC_getinfo(0, &info), 0);
  if (header) *header = info;
  SFC_report r;
  for (int i = 0; i < 100000; ++i) {
    if (SFC_read(0, &r, 0, &i) != 0) break;
    out.push_back(r);
  }
  SFC_close(0);
  return out;
}

SFC_report round_trip(int type, const SFC_report& r, const char* datim = noon) {
  TempDir dir;
  const std::string path = dir.file("one.sfc");
  write_reports(path, type, {r}, datim);
  auto back = read_reports(path);
  EXPECT_EQ(back.size(), 1u) << read_file(path);
  return back.empty() ? empty_report("") : back[0];
}

void expect_near(float got, float want, const char* what) {
  if (want == M)
    EXPECT_EQ(got, M) << what;
  else
    EXPECT_NEAR(got, want, 0.006) << what;
}

struct Member {
  const char* name;
  float SFC_report::*m;
};
constexpr Member numbers[] = {{"t", &SFC_report::t},
                              {"td", &SFC_report::td},
                              {"w_dir", &SFC_report::w_dir},
                              {"w_spd", &SFC_report::w_spd},
                              {"w_gust", &SFC_report::w_gust},
                              {"alt", &SFC_report::alt},
                              {"pmb", &SFC_report::pmb},
                              {"vis", &SFC_report::vis},
                              {"lat", &SFC_report::lat},
                              {"lon", &SFC_report::lon},
                              {"ptend", &SFC_report::ptend},
                              {"rain1", &SFC_report::rain1},
                              {"rain3", &SFC_report::rain3},
                              {"rain6", &SFC_report::rain6},
                              {"rain12", &SFC_report::rain12},
                              {"rain24", &SFC_report::rain24},
                              {"max_t", &SFC_report::max_t},
                              {"min_t", &SFC_report::min_t},
                              {"max6_t", &SFC_report::max6_t},
                              {"min6_t", &SFC_report::min6_t},
                              {"scover", &SFC_report::scover},
                              {"solar", &SFC_report::solar},
                              {"sst", &SFC_report::sst},
                              {"wav_per", &SFC_report::wav_per},
                              {"wav_hgt", &SFC_report::wav_hgt}};

/* What a layout gives back of full_report(), members it drops missing. */
SFC_report expected_back(int type) {
  SFC_report e = full_report();
  e.elev = 0; /* a location group marks a moving station */
  std::strcpy(e.area, "SHIP");
  e.cld_low = ' ';
  if (type == SFC_FT_DOTTED) {
    e.time = KEZ_MISS;
    e.ptend_t = KEZ_MISS;
    e.rain1 = e.rain3 = e.rain12 = M;
    e.max_t = e.max6_t = e.min6_t = M;
    e.solar = e.sst = e.wav_per = e.wav_hgt = M;
    e.comment[0] = '\0';
    set_clouds(e, {{8000, 'B'}}); /* the dominant layer */
  } else {
    e.type = SFC_TYPE_SA;
    std::strcpy(e.comment, "gusty "); /* the blank before the end mark */
    if (type == SFC_FT_TAGGED) e.rain12 = e.max6_t = e.min6_t = M;
  }
  return e;
}

void expect_same(const SFC_report& got, const SFC_report& want, const std::string& layout) {
  SCOPED_TRACE(layout);
  EXPECT_STREQ(got.id, want.id);
  EXPECT_STREQ(got.area, want.area);
  EXPECT_EQ(got.type, want.type);
  EXPECT_EQ(got.wmo, want.wmo);
  EXPECT_EQ(got.time, want.time);
  EXPECT_EQ(got.ptend_t, want.ptend_t);
  for (const auto& m : numbers) expect_near(got.*m.m, want.*m.m, m.name);
  expect_near(got.elev, want.elev, "elev");
  ASSERT_EQ(got.num_cld, want.num_cld);
  for (int i = 0; i < want.num_cld; ++i) {
    expect_near(got.cld_height[i], want.cld_height[i], "cld_height");
    EXPECT_EQ(got.cld_cover[i], want.cld_cover[i]) << i;
  }
  EXPECT_STREQ(got.weather, want.weather);
  EXPECT_EQ(std::string(got.cld_type, 3), std::string(want.cld_type, 3));
  EXPECT_STREQ(got.comment, want.comment);
}

TEST(SfcFile, EveryTextLayoutKeepsWhatItCarries) {
  for (int type : {SFC_FT_DOTTED, SFC_FT_TAGGED, SFC_FT_TAGGED_EXT})
    expect_same(round_trip(type, full_report()), expected_back(type), std::to_string(type));
}

TEST(SfcFile, ExtremeGroupsFollowTheHourOfTheFile) {
  SFC_report r = empty_report("KDEN");
  r.t = 40;
  r.max_t = 51;
  r.min_t = 20;
  SFC_report day = round_trip(SFC_FT_DOTTED, r, noon);
  EXPECT_EQ(day.min_t, 20);
  EXPECT_EQ(day.max_t, M);
  SFC_report night = round_trip(SFC_FT_DOTTED, r, midnight);
  EXPECT_EQ(night.max_t, 51);
  EXPECT_EQ(night.min_t, M);
}

TEST(SfcFile, MissingReportReadsBackMissing) {
  for (int type : {SFC_FT_DOTTED_SHORT, SFC_FT_DOTTED, SFC_FT_TAGGED, SFC_FT_TAGGED_EXT}) {
    SFC_report r = round_trip(type, empty_report("KXYZ"));
    SFC_report want = empty_report("KXYZ");
    if (type >= SFC_FT_TAGGED) want.type = SFC_TYPE_SA;
    want.weather[0] = ' ';
    expect_same(r, want, std::to_string(type));
  }
}

TEST(SfcFile, DetectionByFirstByte) {
  TempDir dir;
  const struct {
    std::string text;
    int type;
  } cases[] = {{"0Z  1 JAN 98\n", 2}, {"12Z  1 JAN 98\n", 2}, {"2", 2}, {" 5Z\n", 2},   {"KEZSFC\nx\n", 3},
               {"CDF\x01", -1},       {"<kezsfc", -1},        {"", -1}, {"\x89PNG", -1}};
  int i = 0;
  for (const auto& c : cases) {
    const std::string path = dir.file("f" + std::to_string(i++));
    write_file(path, c.text);
    capture([&] { EXPECT_EQ(SFC_chktype(path.c_str()), c.type) << c.text; });
  }
  capture([&] { EXPECT_EQ(SFC_chktype(dir.file("none").c_str()), -1); });
  const auto warned = capture([&] {
    write_file(dir.file("cdf"), "CDF\x01");
    SFC_chktype(dir.file("cdf").c_str());
  });
  EXPECT_NE(warned.err.find("SFC_chktype: "), std::string::npos);
  EXPECT_NE(warned.err.find("not a netCDF surface file"), std::string::npos);
}

TEST(SfcFile, WrittenTypeOneAndFourReadAsTwoAndThree) {
  TempDir dir;
  SFC_report r = full_report();
  write_reports(dir.file("a"), SFC_FT_DOTTED_SHORT, {r, r});
  int type = 0;
  auto back = read_reports(dir.file("a"), &type);
  EXPECT_EQ(type, SFC_FT_DOTTED);
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[1].t, 72);
  EXPECT_NEAR(back[1].alt, 29.92, 1e-4);
  EXPECT_EQ(back[1].pmb, M); /* short lines end at the altimeter */

  write_reports(dir.file("b"), SFC_FT_TAGGED_EXT, {r});
  back = read_reports(dir.file("b"), &type);
  EXPECT_EQ(type, SFC_FT_TAGGED);
  ASSERT_EQ(back.size(), 1u);
  EXPECT_NEAR(back[0].rain12, 0.4, 1e-4);
}

TEST(SfcFile, DottedCodes) {
  struct {
    float pmb, alt, vis;
    const char* fields; /* pressure, altimeter and visibility as written */
    float pmb_back, alt_back, vis_back;
  } cases[] = {
      {1013.2f, 29.92f, 7, "992.132. 70.", 1013.2f, 29.92f, 7},
      {998.7f, 30.12f, 150, " 12.987. 99.", 998.7f, 30.12f, 9.9f},
      {1050.0f, 25.01f, 0.25f, "501.500.  2.", 1050.0f, 25.01f, 0.2f},
      {950.1f, 35.0f, M, "500.501.-99.", 950.1f, 35.0f, M},
  };
  for (const auto& c : cases) {
    SFC_report r = empty_report("KDEN");
    r.pmb = c.pmb;
    r.alt = c.alt;
    r.vis = c.vis;
    TempDir dir;
    const std::string text = write_reports(dir.file("d"), SFC_FT_DOTTED, {r});
    EXPECT_NE(text.find(c.fields), std::string::npos) << text;
    auto back = read_reports(dir.file("d"));
    ASSERT_EQ(back.size(), 1u);
    expect_near(back[0].pmb, c.pmb_back, "pmb");
    expect_near(back[0].alt, c.alt_back, "alt");
    expect_near(back[0].vis, c.vis_back, "vis");
  }
}

TEST(SfcFile, DottedValuesWithoutACodeAreWrittenMissing) {
  struct {
    float w_dir, w_spd, pmb;
    const char* fields;
    float dir_back, spd_back, pmb_back;
  } cases[] = {
      /* directions are rounded to tens, so the speed keeps its digits */
      {275, 15, 1000, "2815.", 280, 15, 1000},
      {355, 5, 1000, "3605.", 360, 5, 1000},
      {0, 0, 1000, "0000.", 0, 0, 1000},
      /* no code: a wind of 100 kt and more, pressures outside 950.1-1050 */
      {270, 120, 1050.1f, "-999.", M, M, M},
      {90, 10, 950.0f, "0910.", 90, 10, M},
  };
  for (const auto& c : cases) {
    SFC_report r = empty_report("KDEN");
    r.w_dir = c.w_dir;
    r.w_spd = c.w_spd;
    r.pmb = c.pmb;
    TempDir dir;
    std::string text;
    capture([&] { text = write_reports(dir.file("d"), SFC_FT_DOTTED, {r}); });
    EXPECT_NE(text.find(c.fields), std::string::npos) << text;
    auto back = read_reports(dir.file("d"));
    ASSERT_EQ(back.size(), 1u);
    expect_near(back[0].w_dir, c.dir_back, "w_dir");
    expect_near(back[0].w_spd, c.spd_back, "w_spd");
    expect_near(back[0].pmb, c.pmb_back, "pmb");
  }
  SFC_report r = empty_report("KDEN");
  r.pmb = 1060;
  TempDir dir;
  const auto out = capture([&] { write_reports(dir.file("w"), SFC_FT_DOTTED, {r}); });
  EXPECT_NE(out.err.find("SFC_write: KDEN: pressure 1060"), std::string::npos) << out.err;
}

TEST(SfcFile, TaggedCodes) {
  struct {
    const char* why;
    float t, alt, pmb, w_dir, w_spd;
    const char* written;
    float t_back, pmb_back, dir_back, spd_back;
  } cases[] = {
      {"-9.9 F is the missing code", -9.9f, M, M, M, M, "KDEN -99 -99 -999 -99 -99 ", M, M, M, M},
      {"high pressure in tenths", 50, 30.5f, 1063.0f, 15, 15, " 10630 ", 50, 1063.0f, 20, 15},
      {"fast wind, six digits", 50, M, M, 273, 105, " 270105 ", 50, M, 270, 105},
      {"wind in four digits", 50, M, M, 270, 15, " 2715 ", 50, M, 270, 15},
      {"fast wind from north", 50, M, M, 2, 100, " 360100 ", 50, M, 360, 100},
      {"calm", 50, M, M, 0, 0, " 0000 ", 50, M, 0, 0},
      /* the code would read back a century off: the whole value goes */
      {"inconsistent altimeter", 50, 30.8f, 960.0f, M, M, " 9600 ", 50, 960.0f, M, M},
      {"cold high", -20, M, 1040.0f, M, M, " 400 ", -20, 1040.0f, M, M},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    SFC_report r = empty_report("KDEN");
    r.t = c.t;
    r.alt = c.alt;
    r.pmb = c.pmb;
    r.w_dir = c.w_dir;
    r.w_spd = c.w_spd;
    TempDir dir;
    const std::string text = write_reports(dir.file("t"), SFC_FT_TAGGED, {r});
    EXPECT_NE(text.find(c.written), std::string::npos) << text;
    auto back = read_reports(dir.file("t"));
    ASSERT_EQ(back.size(), 1u);
    expect_near(back[0].t, c.t_back, "t");
    expect_near(back[0].pmb, c.pmb_back, "pmb");
    expect_near(back[0].w_dir, c.dir_back, "w_dir");
    expect_near(back[0].w_spd, c.spd_back, "w_spd");
  }
}

TEST(SfcFile, TaggedPressureCodeTakesItsCenturyFromTheAltimeter) {
  TempDir dir;
  write_file(dir.file("p"),
             "KEZSFC\n12Z 10 DEC 26\nAAAA 300 200 -999 -99 600 -99 -99M - $\n"
             "BBBB 300 200 -999 80 600 -99 -99M - $\n"
             "BBB2 300 200 -999 8 600 -99 -99M - $\n"
             "CCCC -150 -200 -999 -99 600 -99 -99M - $\n"
             "DDDD 300 200 -999 820 100 -99 -99M - $\n");
  auto back = read_reports(dir.file("p"));
  ASSERT_EQ(back.size(), 5u);
  EXPECT_NEAR(back[0].pmb, 960.0, 1e-3);
  EXPECT_NEAR(back[1].pmb, 1060.0, 1e-3); /* altimeter 30.80 */
  EXPECT_NEAR(back[2].pmb, 960.0, 1e-3);  /* altimeter 30.08 */
  EXPECT_NEAR(back[2].alt, 30.08, 1e-4);
  EXPECT_NEAR(back[3].pmb, 1060.0, 1e-3); /* cold air without an altimeter */
  EXPECT_NEAR(back[4].pmb, 910.0, 1e-3);  /* altimeter 28.20 */
}

TEST(SfcFile, TaggedCloudsAndTexts) {
  SFC_report r = empty_report("KDEN");
  TempDir dir;
  std::string text = write_reports(dir.file("c"), SFC_FT_TAGGED, {r});
  EXPECT_NE(text.find(" -99M - $\n"), std::string::npos) << text;
  EXPECT_EQ(read_reports(dir.file("c"))[0].num_cld, 0);

  set_clouds(r, {{500, '6'}, {M, 'O'}, {2000, ' '}, {3000, '\0'}});
  std::strcpy(r.comment, "wind $ shift\nat 12");
  std::strcpy(r.weather, "!RA BR");
  text = write_reports(dir.file("c"), SFC_FT_TAGGED, {r});
  EXPECT_NE(text.find(" 5:6,-99O,20M,30M !RA #wind   shift at 12 $\n"), std::string::npos) << text;
  auto back = read_reports(dir.file("c"));
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].num_cld, 4);
  EXPECT_EQ(back[0].cld_cover[0], '6');
  EXPECT_EQ(back[0].cld_height[1], M);
  EXPECT_EQ(back[0].cld_cover[1], 'O');
  EXPECT_EQ(back[0].cld_cover[2], ' ');
  EXPECT_STREQ(back[0].weather, "!RA");
  EXPECT_STREQ(back[0].comment, "wind   shift at 12 ");
}

TEST(SfcFile, CloudTypesKeepTheirBlanks) {
  const struct {
    const char types[3];
    const char* back;
  } cases[] = {{{'5', ' ', '/'}, "5 /"}, {{'8', '\0', '\0'}, "8  "}, {{'1', '\n', '2'}, "1/2"}};
  for (int type : {SFC_FT_DOTTED, SFC_FT_TAGGED}) {
    for (const auto& c : cases) {
      SFC_report r = empty_report("KDEN");
      std::memcpy(r.cld_type, c.types, 3);
      SFC_report back = round_trip(type, r);
      const std::string want = type == SFC_FT_DOTTED && c.types[1] == '\n' ? "1 2" : c.back;
      EXPECT_EQ(std::string(back.cld_type, 3), want) << type;
    }
  }
}

TEST(SfcFile, TendencyIsWrittenOnlyWhereItReadsBack) {
  SFC_report r = empty_report("KDEN");
  r.ptend = -1.5f; /* no characteristic: the group cannot be read */
  TempDir dir;
  std::string text = write_reports(dir.file("a"), SFC_FT_TAGGED, {r});
  EXPECT_EQ(text.find(" P"), std::string::npos) << text;
  text = write_reports(dir.file("b"), SFC_FT_DOTTED, {r});
  EXPECT_EQ(text.find("P"), std::string::npos) << text;
  r.ptend_t = 7;
  EXPECT_NEAR(round_trip(SFC_FT_TAGGED, r).ptend, -1.5, 1e-4);
  EXPECT_EQ(round_trip(SFC_FT_TAGGED, r).ptend_t, 7);
  EXPECT_NEAR(round_trip(SFC_FT_DOTTED, r).ptend, -1.5, 1e-4);
}

TEST(SfcFile, WavePeriodAloneIsNotReadAsPrecipitation) {
  SFC_report r = empty_report("SHIP1");
  r.wav_per = 7;
  SFC_report back = round_trip(SFC_FT_TAGGED, r);
  EXPECT_EQ(back.rain1, M);
  EXPECT_EQ(back.wav_per, 7);
  EXPECT_EQ(back.sst, M);

  r.rain1 = 0.05f; /* both: the first "p" is the precipitation */
  back = round_trip(SFC_FT_TAGGED, r);
  EXPECT_NEAR(back.rain1, 0.05, 1e-4);
  EXPECT_EQ(back.wav_per, 7);

  /* files that have a lone "p" keep reading it as precipitation */
  TempDir dir;
  write_file(dir.file("old"), "KEZSFC\n12Z 10 DEC 26\nSHIP1 -99 -99 -999 -99 -99 -99 -99M - p 7 $\n");
  auto old = read_reports(dir.file("old"));
  ASSERT_EQ(old.size(), 1u);
  EXPECT_NEAR(old[0].rain1, 0.07, 1e-4);
  EXPECT_EQ(old[0].wav_per, M);
}

TEST(SfcFile, ReportsAreReadByIndex) {
  TempDir dir;
  std::vector<SFC_report> reps;
  for (const char* id : {"AAAA", "BBBB", "CCCC", "DDDD"}) reps.push_back(empty_report(id));
  for (int type : {SFC_FT_DOTTED, SFC_FT_TAGGED}) {
    write_reports(dir.file("i"), type, reps);
    int t = 0;
    ASSERT_GE(SFC_open(dir.file("i").c_str(), SFC_ACC_READ, &t), 0);
    SFC_report r;
    auto id_at = [&](int n) {
      if (SFC_read(0, &r, SFC_REP_ID, &n) != 0) return std::string("-1");
      return std::string(r.id);
    };
    const struct {
      int index;
      const char* id;
    } steps[] = {{0, "AAAA"}, {1, "BBBB"},  {1, "BBBB"}, {3, "DDDD"}, {3, "DDDD"},
                 {2, "CCCC"}, {-1, "AAAA"}, {4, "-1"},   {2, "CCCC"}, {0, "AAAA"}};
    for (const auto& s : steps) EXPECT_EQ(id_at(s.index), s.id) << "index " << s.index;
    ASSERT_EQ(SFC_rewind(0), 0);
    EXPECT_EQ(id_at(0), "AAAA");
    SFC_info info{};
    ASSERT_EQ(SFC_getinfo(0, &info), 0); /* the header leaves the position */
    EXPECT_EQ(id_at(1), "BBBB");
    EXPECT_STREQ(info.datim, noon);
    EXPECT_EQ(info.num_stat, KEZ_MISS);
    EXPECT_EQ(info.date.hour, 12);
    EXPECT_EQ(SFC_close(0), 0);
    EXPECT_EQ(SFC_close(0), -1);
  }
}

TEST(SfcFile, APipeIsReadInOrder) {
  TempDir dir;
  write_reports(dir.file("p"), SFC_FT_TAGGED, {empty_report("AAAA"), empty_report("BBBB")});
  const std::string pipe = "|cat " + dir.file("p");
  int t = 0;
  ASSERT_GE(SFC_open(pipe.c_str(), SFC_ACC_READ, &t), 0);
  EXPECT_EQ(t, SFC_FT_TAGGED);
  SFC_report r;
  std::string ids;
  for (int n = 0; SFC_read(0, &r, 0, &n) == 0; ++n) ids += r.id;
  EXPECT_EQ(ids, "AAAABBBB");
  EXPECT_EQ(SFC_close(0), 0);
}

TEST(SfcFile, AppendingFollowsTheExistingLayout) {
  TempDir dir;
  const std::string path = dir.file("app");
  SFC_report r = full_report();
  write_reports(path, SFC_FT_TAGGED_EXT, {r});
  EXPECT_NE(read_file(path).find(" q40"), std::string::npos);
  int t = SFC_FT_TAGGED_EXT;
  ASSERT_GE(SFC_open(path.c_str(), SFC_ACC_APPEND, &t), 0);
  EXPECT_EQ(t, SFC_FT_TAGGED);
  SFC_info info{};
  EXPECT_EQ(SFC_getinfo(0, &info), 1);
  int n = 1;
  std::strcpy(r.id, "SECOND");
  ASSERT_EQ(SFC_write(0, &r, 0, &n), 0);
  SFC_close(0);
  const std::string text = read_file(path);
  const std::string second = text.substr(text.find("SECOND"));
  EXPECT_EQ(second.find(" q40"), std::string::npos) << second;
  EXPECT_EQ(read_reports(path).size(), 2u);

  /* appending needs an existing text file */
  capture([&] {
    t = SFC_FT_DOTTED;
    EXPECT_EQ(SFC_open(dir.file("none").c_str(), SFC_ACC_APPEND, &t), -1);
    t = 0;
    EXPECT_EQ(SFC_open(path.c_str(), SFC_ACC_WRITE, &t), -1);
    t = SFC_FT_ELEMENT;
    EXPECT_EQ(SFC_open(path.c_str(), SFC_ACC_APPEND, &t), -1);
    t = SFC_FT_CDF;
    EXPECT_EQ(SFC_open(path.c_str(), SFC_ACC_READ, &t), -1);
  });
}

TEST(SfcFile, ElementFileIsClosedEvenWhenAnotherFileIsOpened) {
  TempDir dir;
  int t = SFC_FT_ELEMENT;
  ASSERT_GE(SFC_open(dir.file("e.xml").c_str(), SFC_ACC_WRITE, &t), 0);
  SFC_info info{};
  std::strcpy(info.datim, noon);
  SFC_putinfo(0, &info);
  SFC_report r = empty_report("KDEN");
  SFC_write(0, &r, 0, &t);
  t = SFC_FT_TAGGED; /* opening the next file ends this one */
  ASSERT_GE(SFC_open(dir.file("next").c_str(), SFC_ACC_WRITE, &t), 0);
  SFC_close(0);
  EXPECT_EQ(read_file(dir.file("e.xml")), "<kezsfc date=\"12Z 10 DEC 26\">\n<obs id=\"KDEN\" />\n</kezsfc>\n");

  /* opened for reading, it is left as it was */
  t = SFC_FT_ELEMENT;
  ASSERT_GE(SFC_open(dir.file("e.xml").c_str(), SFC_ACC_READ, &t), 0);
  SFC_report got;
  int n = 0;
  EXPECT_EQ(SFC_read(0, &got, 0, &n), -1);
  EXPECT_EQ(SFC_getinfo(0, &info), -1);
  EXPECT_EQ(SFC_rewind(0), -1);
  SFC_close(0);
  EXPECT_EQ(read_file(dir.file("e.xml")), "<kezsfc date=\"12Z 10 DEC 26\">\n<obs id=\"KDEN\" />\n</kezsfc>\n");
}

/* ---- the written-only layouts, checked by independent readers ---------- */

std::vector<SFC_report> binary_table() {
  std::vector<SFC_report> reps;
  SFC_report a = full_report();
  std::strcpy(a.weather, " RA BR");
  a.elev = 1611;
  set_clouds(a, {{2500, 'S'}, {8000, 'B'}, {12000, 'O'}, {25000, 'F'}});
  reps.push_back(a);
  reps.push_back(empty_report("MISSING")); /* every value 9999 */
  SFC_report b = empty_report("LONGIDENT");
  b.wmo = 123456; /* no five-digit form */
  b.t = -4.6f;
  b.td = -12.5f;
  b.vis = 400; /* 40000 hundredths do not fit 16 bits */
  b.pmb = 9999.9f;
  b.alt = -9998; /* a value, not the missing mark */
  b.lat = -45.678f;
  b.lon = 179.99f;
  b.elev = -12.7f;
  set_clouds(b, {{M, 'B'}, {0, 'C'}, {4000, 'X'}});
  std::strcpy(b.weather, "x0123456789ABC");
  reps.push_back(b);
  SFC_report c = empty_report("THIN");
  set_clouds(c, {{1200, 's'}, {500000, 'O'}});
  c.w_dir = 360;
  c.w_spd = 0;
  c.time = 2359;
  reps.push_back(c);
  return reps;
}

bool have_python() { return kez_test::run_command("/usr/bin/python3 -c 'import struct' 2>/dev/null") == 0; }

TEST(SfcFile, BinaryRecordsMatchAnIndependentPacking) {
  if (!have_python()) GTEST_SKIP() << "no /usr/bin/python3";
  TempDir dir;
  const auto reps = binary_table();
  const std::string bin = dir.file("b.dat");
  write_reports(bin, SFC_FT_BINARY, reps, "06Z  9 MAR 98");
  /* the reports as "name=value" lines for the checker */
  std::string table;
  for (const auto& r : reps) {
    char line[1024];
    std::snprintf(line, sizeof line,
                  "id=%s|wmo=%d|weather=%s|time=%d|t=%.9g|td=%.9g|w_dir=%.9g|w_spd=%.9g|"
                  "w_gust=%.9g|alt=%.9g|pmb=%.9g|lat=%.9g|lon=%.9g|vis=%.9g|elev=%.9g|num_cld=%d",
                  r.id, r.wmo, r.weather, r.time, r.t, r.td, r.w_dir, r.w_spd, r.w_gust, r.alt, r.pmb, r.lat, r.lon,
                  r.vis, r.elev, r.num_cld);
    table += line;
    for (int i = 0; i < SFC_MAX_CLOUD; ++i) {
      std::snprintf(line, sizeof line, "|h%d=%.9g|c%d=%c", i, r.cld_height[i], i,
                    r.cld_cover[i] ? r.cld_cover[i] : ' ');
      table += line;
    }
    table += "\n";
  }
  write_file(dir.file("table.txt"), table);
  std::string out;
  const int status =
      kez_test::run_command("/usr/bin/python3 " KEZ_SOURCE_DIR "/tests/sfc/reference/sfc_binary_check.py " + bin + " " +
                                dir.file("table.txt") + " 2>&1",
                            &out);
  EXPECT_EQ(status, 0) << out;
  EXPECT_EQ(out, "ok 4\n");
  EXPECT_EQ(read_file(bin).size(), static_cast<size_t>(SFC_BINARY_HEADER_LEN + 4 * SFC_BINARY_RECORD_LEN));
}

TEST(SfcFile, ElementFileParsesAndGivesTheTextsBack) {
  if (!have_python()) GTEST_SKIP() << "no /usr/bin/python3";
  TempDir dir;
  std::vector<SFC_report> reps;
  SFC_report a = full_report();
  std::strcpy(a.id, "A&B<1>");
  std::strcpy(a.weather, "\"RA\"&'SN'");
  std::strcpy(a.comment, "<b>x & y</b> \"q\" 'a' ]]> \x01\xff");
  set_clouds(a, {{100, '<'}, {M, '&'}});
  std::memcpy(a.cld_type, "\">&", 3);
  reps.push_back(a);
  reps.push_back(empty_report("PLAIN"));
  const std::string xml = dir.file("e.xml");
  write_reports(xml, SFC_FT_ELEMENT, reps, "12Z 10 DEC 26 <&>");
  std::string out;
  const std::string script =
      "import sys, xml.etree.ElementTree as ET\n"
      "root = ET.parse(sys.argv[1]).getroot()\n"
      "print(root.tag, root.get('date'))\n"
      "for o in root:\n"
      "    print('|'.join(o.get(k, '-') for k in ('id', 'wx', 'comment', 'cld_cov_1',"
      " 'cld_cov_2', 'lcld', 'mcld', 'hcld', 'temp.C', 'cld_hgt_1.ft', 'ncld')))\n";
  write_file(dir.file("check.py"), script);
  const int status = kez_test::run_command("/usr/bin/python3 " + dir.file("check.py") + " " + xml + " 2>&1", &out);
  EXPECT_EQ(status, 0) << out << read_file(xml);
  EXPECT_EQ(out,
            "kezsfc 12Z 10 DEC 26 <&>\n"
            "A&B<1>|\"RA\"&'SN'|<b>x & y</b> \"q\" 'a' ]]>  ?|<|&|\"|>|&|22.2|100|2\n"
            "PLAIN|-|-|-|-|-|-|-|-|-|-\n");
}

/* ---- hostile files ------------------------------------------------------ */

TEST(SfcFile, HostileFilesGiveCleanReportsOrMinusOne) {
  TempDir dir;
  const std::string long_line(1000, '9');
  const std::string forty(40, 'Z');
  const struct {
    const char* why;
    std::string text;
    int reports; /* reports read before -1 */
  } cases[] = {
      {"header only", "KEZSFC\n12Z 10 DEC 26\n", 0},
      {"magic only", "KEZSFC", 0},
      {"truncated tagged line", "KEZSFC\nx\nKDEN 300 2", 1},
      {"truncated dotted line", "12Z\nKDEN  72. 6", 1},
      {"1000-character tagged line", "KEZSFC\nx\n" + long_line + "\n" + long_line + " " + long_line + "\n", 2},
      {"1000-character dotted line", "0\nA " + long_line + "\n", 1},
      {"1000-character header", "1" + long_line + "\nKDEN\n", 1},
      {"ten cloud items", "KEZSFC\nx\nKDEN 1 1 1 1 1 1 1B,2B,3B,4B,5B,6B,7B,8B,9B,10B RA $\n", 1},
      {"40-character identifier", "KEZSFC\nx\n" + forty + " 300 200 2715 992 132 10 -99M - $\n", 1},
      {"blank line ends the reports", "KEZSFC\nx\nAAAA\n\nBBBB\n", 1},
      {"binary garbage", std::string("2\n\x01\xff\x00\x80 .....\x7f\n", 14) + std::string(3, '\0'), 2},
      {"group letters only", "KEZSFC\nx\nK 1 1 1 1 1 1 1 - @ L P p Q r q R X x N n T S C G s t p h # $\n", 1},
      {"huge numbers",
       "KEZSFC\nx\nK 1e39 99999999999999 99999999999 -99999999999 1e400 nan 1e99:9 x"
       " @99999999999 L99999,999999 P9nan p1e38 h-1e39 $\n",
       1},
      {"dotted groups cut short", "0\nK   1.  2.0010. 99.999.999.999C.RA.L9999.99999.P9r1.25.T-99999.S.C\n", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    const std::string path = dir.file("h");
    write_file(path, c.text);
    std::vector<SFC_report> back;
    capture([&] { back = read_reports(path); });
    EXPECT_EQ(static_cast<int>(back.size()), c.reports);
    for (const auto& r : back) {
      EXPECT_LT(std::strlen(r.id), sizeof r.id);
      EXPECT_LT(strnlen(r.weather, sizeof r.weather), sizeof r.weather);
      EXPECT_LT(strnlen(r.comment, sizeof r.comment), sizeof r.comment);
      EXPECT_GE(r.num_cld, 0);
      EXPECT_LE(r.num_cld, SFC_MAX_CLOUD);
    }
    if (std::string(c.why) == "ten cloud items") {
      EXPECT_EQ(back[0].num_cld, 5);
      EXPECT_EQ(back[0].cld_height[4], 500);
      EXPECT_STREQ(back[0].weather, "RA");
    }
    if (std::string(c.why) == "40-character identifier") {
      EXPECT_STREQ(back[0].id, "ZZZZZZZZZZ");
      EXPECT_EQ(back[0].t, 30);
      EXPECT_EQ(back[0].w_spd, 15);
    }
  }
  SFC_info info{};
  write_file(dir.file("hdr"), "1" + long_line + "\n");
  int t = 0;
  ASSERT_GE(SFC_open(dir.file("hdr").c_str(), SFC_ACC_READ, &t), 0);
  EXPECT_EQ(SFC_getinfo(0, &info), 0);
  EXPECT_EQ(std::strlen(info.datim), static_cast<size_t>(SFC_DATIM_LEN - 1));
  SFC_close(0);
}

/* Numbers that read but that no instrument gives come back missing; the
 * report's other values stay. */
TEST(SfcFile, ValuesNoInstrumentGivesReadMissing) {
  TempDir dir;
  const std::string path = dir.file("absurd");
  write_file(path,
             "KEZSFC\n12Z 10 DEC 26\nKDEN 1e11 -1e11 2715 992 132 1e9 -99M - $\n"
             "KMCI 1e7 2e5 2715 992 132 10 -99M - $\nKSTL 301 250 2715 992 132 10 -99M - $\n");
  std::vector<SFC_report> back;
  capture([&] { back = read_reports(path); });
  ASSERT_EQ(back.size(), 3u);
  EXPECT_EQ(back[0].t, M);
  EXPECT_EQ(back[0].td, M);
  EXPECT_EQ(back[0].vis, M);
  EXPECT_EQ(back[0].w_spd, 15);
  EXPECT_NEAR(back[0].alt, 29.92, 1e-4);
  EXPECT_NEAR(back[0].pmb, 1013.2, 1e-3);
  EXPECT_EQ(back[1].t, M) << "a temperature of a million F";
  EXPECT_EQ(back[1].td, 20000) << "large, but below the limit";
  EXPECT_NEAR(back[2].t, 30.1, 1e-4);
}

/* Plain decimals are read without strtod: the value and where the
 * reading stops must be strtod's, whatever the text. The visibility
 * carries strtod's number as it is (to a float), and the clouds after it
 * are read only where the number ended as strtod ends it. */
TEST(SfcFile, NumbersReadAsStrtodReadsThem) {
  std::vector<std::string> texts = {"7",
                                    "7.",
                                    ".5",
                                    "-0",
                                    "+3.25",
                                    "0.1",
                                    "00012.50",
                                    "1.5e1",
                                    "2E-1",
                                    "0x10",
                                    "0xg",
                                    "12.3.4",
                                    "999999999999999",
                                    "9999999999999999",
                                    "0.000000000000001",
                                    "1234567.890123456",
                                    "-.75",
                                    "5e",
                                    "8.125"};
  /* digit strings of 1 to 17 digits, a point anywhere or none, either sign */
  std::uint64_t x = 88172645463325252ull;
  auto next = [&x] {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    return x;
  };
  for (int i = 0; i < 3000; ++i) {
    const int digits = 1 + static_cast<int>(next() % 17);
    std::string t = next() % 3 == 0 ? "-" : "";
    const int point = static_cast<int>(next() % static_cast<std::uint64_t>(digits + 2)) - 1;
    for (int d = 0; d < digits; ++d) {
      if (d == point) t += '.';
      t += static_cast<char>('0' + next() % 10);
    }
    texts.push_back(t);
  }
  /* Each number's line, and a line that holds what strtod leaves of the
   * word as the clouds' word after a plain number. */
  std::string file = std::string("KEZSFC\n") + noon + "\n", control = file;
  std::vector<bool> read(texts.size());
  std::vector<float> want(texts.size());
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const std::string& t = texts[i];
    char* stop = nullptr;
    const double d = std::strtod(t.c_str(), &stop);
    const std::string used(t.c_str(), static_cast<std::size_t>(stop - t.c_str()));
    read[i] = !used.empty() && used.find_first_of("xXnN") == std::string::npos;
    want[i] = !read[i] || d == -99 || std::fabs(static_cast<float>(d)) >= SFC_VALUE_LIMIT ? M : static_cast<float>(d);
    file += "K 1 1 1 1 1 " + t + " 25B - $\n";
    control += "K 1 1 1 1 1 7 " + (*stop ? std::string(stop) : std::string("25B")) + " - $\n";
  }
  TempDir dir;
  write_file(dir.file("numbers"), file);
  write_file(dir.file("control"), control);
  std::vector<SFC_report> back, expected;
  capture([&] {
    back = read_reports(dir.file("numbers"));
    expected = read_reports(dir.file("control"));
  });
  ASSERT_EQ(back.size(), texts.size());
  ASSERT_EQ(expected.size(), texts.size());
  for (std::size_t i = 0; i < texts.size(); ++i) {
    SCOPED_TRACE(texts[i]);
    EXPECT_EQ(back[i].vis, want[i]);
    /* an unread number ends the line; else reading goes on where strtod stopped */
    EXPECT_EQ(back[i].num_cld, read[i] ? expected[i].num_cld : 0);
    if (read[i] && back[i].num_cld > 0) {
      EXPECT_EQ(back[i].cld_height[0], expected[i].cld_height[0]);
      EXPECT_EQ(back[i].cld_cover[0], expected[i].cld_cover[0]);
    }
  }
}

TEST(SfcFile, ReportsWithoutIdentifierAreRefused) {
  TempDir dir;
  int t = SFC_FT_TAGGED;
  ASSERT_GE(SFC_open(dir.file("x").c_str(), SFC_ACC_WRITE, &t), 0);
  SFC_report r = empty_report("");
  int n = 0;
  const auto out = capture([&] { EXPECT_EQ(SFC_write(0, &r, 0, &n), -1); });
  EXPECT_NE(out.err.find("SFC_write: "), std::string::npos);
  std::strcpy(r.id, "A B"); /* a blank would split the word */
  EXPECT_EQ(SFC_write(0, &r, 0, &n), 0);
  SFC_close(0);
  EXPECT_EQ(read_file(dir.file("x")), "A_B -99 -99 -999 -99 -99 -99 -99M - $\n");
}

} // namespace
