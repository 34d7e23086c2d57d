#include "kez_test.h"
#include "kezsfc.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

using kez_test::capture;

constexpr float M = KEZ_FMISS;

SFC_report fresh() {
  SFC_report r;
  std::memset(&r, 0x5a, sizeof r);
  SFC_initialize(&r);
  return r;
}

/* Runs body with the report tools' message level on, returns its output. */
std::string report_lines(const std::function<void()>& body) {
  M_type old = MESS_get();
  MESS_set(1, SFC_MESS_REPORT);
  auto out = capture(body);
  MESS_set(0, old);
  MESS_set(-1, ~old);
  return out.out + out.err;
}

TEST(SfcReport, InitialisedReportIsWhollyMissing) {
  SFC_report r = fresh();
  EXPECT_STREQ(r.id, "");
  EXPECT_STREQ(r.area, "");
  EXPECT_EQ(r.type, 0);
  EXPECT_EQ(r.flag, 0);
  EXPECT_EQ(r.num_cld, 0);
  for (int v : {r.wmo, r.prior, r.time, r.ptend_t, r.rain_per}) EXPECT_EQ(v, KEZ_MISS);
  for (float v : {r.lat,    r.lon,   r.elev,   r.vis,    r.pmb,    r.t,     r.td,     r.w_dir,   r.w_spd,
                  r.w_gust, r.alt,   r.ptend,  r.rain1,  r.rain3,  r.rain6, r.rain12, r.rain24,  r.rain,
                  r.max_t,  r.min_t, r.max6_t, r.min6_t, r.scover, r.solar, r.sst,    r.wav_per, r.wav_hgt})
    EXPECT_EQ(v, M);
  for (int i = 0; i < SFC_MAX_CLOUD; ++i) {
    EXPECT_EQ(r.cld_height[i], M);
    EXPECT_EQ(r.cld_cover[i], ' ');
  }
  EXPECT_STREQ(r.weather, " ");
  EXPECT_EQ(r.cld_low, ' ');
  EXPECT_EQ(std::string(r.cld_type, 3), "   ");
  EXPECT_STREQ(r.comment, "");
}

/* Every number of a report, the cloud bases too, is missing once it is
 * no measurement; real values, however large, and missing ones stay. */
TEST(SfcReport, ValuesNoInstrumentGivesBecomeMissing) {
  SFC_report r = fresh();
  std::vector<float*> all = {&r.lat,    &r.lon,    &r.elev,   &r.vis,  &r.pmb,     &r.t,      &r.td,
                             &r.w_dir,  &r.w_spd,  &r.w_gust, &r.alt,  &r.ptend,   &r.rain1,  &r.rain3,
                             &r.rain6,  &r.rain12, &r.rain24, &r.rain, &r.max_t,   &r.min_t,  &r.max6_t,
                             &r.min6_t, &r.scover, &r.solar,  &r.sst,  &r.wav_per, &r.wav_hgt};
  for (float& h : r.cld_height) all.push_back(&h);
  const float absurd[] = {INFINITY, -INFINITY, NAN, 1e10f, -SFC_VALUE_LIMIT};
  for (size_t i = 0; i < all.size(); ++i) *all[i] = absurd[i % std::size(absurd)];
  EXPECT_EQ(SFC_drop_absurd(&r), static_cast<int>(all.size()));
  for (float* v : all) EXPECT_EQ(*v, M);
  EXPECT_EQ(SFC_drop_absurd(&r), 0) << "missing values are left alone";
  r.cld_height[0] = 45000;
  r.pmb = 880;
  r.t = -80;
  EXPECT_EQ(SFC_drop_absurd(&r), 0);
  EXPECT_EQ(r.cld_height[0], 45000);
  EXPECT_EQ(r.pmb, 880);
  EXPECT_EQ(r.t, -80);
}

/* The check of a whole report reads its numbers as bits; it must say
 * what |v| < SFC_VALUE_LIMIT says of each of them, in every place, for the
 * edge values and a sweep of bit patterns, and ignore everything that is not
 * one of the numbers. */
TEST(SfcReport, AbsurdCheckAgreesWithTheLimitInEveryPlace) {
  SFC_report base = fresh();
  std::vector<float*> all = {&base.lat,   &base.lon,     &base.elev,   &base.vis,    &base.pmb,    &base.t,
                             &base.td,    &base.w_dir,   &base.w_spd,  &base.w_gust, &base.alt,    &base.ptend,
                             &base.rain1, &base.rain3,   &base.rain6,  &base.rain12, &base.rain24, &base.rain,
                             &base.max_t, &base.min_t,   &base.max6_t, &base.min6_t, &base.scover, &base.solar,
                             &base.sst,   &base.wav_per, &base.wav_hgt};
  for (float& h : base.cld_height) all.push_back(&h);
  const float lim = SFC_VALUE_LIMIT;
  using limits = std::numeric_limits<float>;
  const float below = std::nextafter(lim, 0.0f), above = std::nextafter(lim, 2 * lim);
  std::vector<float> values = {
      0.0f,          -0.0f,           M,     -M,       1.0f,      -880.0f, lim,  -lim,
      below,         -below,          above, INFINITY, -INFINITY, NAN,     -NAN, limits::denorm_min(),
      limits::max(), limits::lowest()};
  /* Every 65521st bit pattern: both signs, every exponent, NaNs among them. */
  for (std::uint64_t b = 0; b <= 0xffffffffu; b += 65521)
    values.push_back(std::bit_cast<float>(static_cast<std::uint32_t>(b)));
  const auto base_bytes = reinterpret_cast<const unsigned char*>(&base);
  for (size_t slot = 0; slot < all.size(); ++slot) {
    const size_t offset = static_cast<size_t>(reinterpret_cast<unsigned char*>(all[slot]) - base_bytes);
    int wrong = 0;
    for (float v : values) {
      SFC_report r = base;
      std::memcpy(reinterpret_cast<unsigned char*>(&r) + offset, &v, sizeof v);
      if (SFC_has_absurd(&r) != !(std::fabs(v) < lim) && ++wrong <= 3)
        ADD_FAILURE() << "number " << slot << " holding bits 0x" << std::hex << std::bit_cast<std::uint32_t>(v);
    }
  }
  /* Texts, counts and codes hold anything without making a report absurd. */
  SFC_report r = base;
  std::memset(r.id, 0xff, sizeof r.id);
  std::memset(r.comment, 0xff, sizeof r.comment);
  std::memset(r.weather, 0xff, sizeof r.weather);
  std::memset(r.cld_cover, 0xff, sizeof r.cld_cover);
  r.type = r.wmo = r.prior = r.time = r.num_cld = r.ptend_t = r.rain_per = r.flag = -1;
  EXPECT_FALSE(SFC_has_absurd(&r));
  EXPECT_FALSE(SFC_has_absurd(nullptr));
}

/* One member set in a report, for the tables below. */
struct Change {
  const char* what;
  std::function<void(SFC_report&)> set;
};

TEST(SfcReport, CompareGivesTheFirstDifferenceAndPrintsEach) {
  SFC_report a = fresh();
  std::string out = report_lines([&] { EXPECT_EQ(SFC_compare(&a, &a), 0); });
  EXPECT_EQ(out, "");

  /* Each row: the member set differently in the two reports, the code, the
   * message. */
  struct Case {
    std::function<void(SFC_report&, int)> set;
    int code;
    const char* message;
  };
  const Case cases[] = {
      {[](SFC_report& r, int k) { r.type = k; }, 1, "Different types: 1 2\n"},
      {[](SFC_report& r, int k) { r.time = 1200 + k; }, 2, "Different times\n"},
      {[](SFC_report& r, int k) { r.t = 50 + k; }, 3, "Different temperatures\n"},
      {[](SFC_report& r, int k) { r.td = 40 + k; }, 3, "Different dewpoints\n"},
      {[](SFC_report& r, int k) { r.pmb = 1000 + k; }, 4, "Different SLP pressures\n"},
      {[](SFC_report& r, int k) { r.alt = 29 + k; }, 4, "Different altimeter settings\n"},
      {[](SFC_report& r, int k) { r.w_dir = 10 * k; }, 5, "Different wind direction\n"},
      {[](SFC_report& r, int k) { r.w_spd = 5 * k; }, 5, "Different wind speed\n"},
      {[](SFC_report& r, int k) { r.w_gust = 20 * k; }, 5, "Different wind gusts\n"},
      {[](SFC_report& r, int k) { std::strcpy(r.weather, k == 1 ? "R-" : "61"); }, 6, "Different weather\n"},
      {[](SFC_report& r, int k) { r.cld_height[3] = 1000 * k; }, 7, "Different cloud heights\n"},
      {[](SFC_report& r, int k) { r.cld_cover[4] = k == 1 ? 'B' : '6'; }, 7, "Different cloud covers\n"},
      {[](SFC_report& r, int k) { r.vis = k; }, 8, "Different visibility\n"},
      {[](SFC_report& r, int k) { r.ptend_t = k; }, 9, "Different pressure tendency type\n"},
      {[](SFC_report& r, int k) { r.ptend = k; }, 9, "Different pressure tendencies\n"},
      {[](SFC_report& r, int k) { r.rain3 = 0.1f * k; }, 10, "Different 3 hr precip\n"},
      {[](SFC_report& r, int k) { r.rain6 = 0.1f * k; }, 10, "Different 6 hr precip\n"},
      {[](SFC_report& r, int k) { r.rain12 = 0.1f * k; }, 10, "Different 12 hr precip\n"},
      {[](SFC_report& r, int k) { r.rain24 = 0.1f * k; }, 10, "Different 24 hr precip\n"},
      {[](SFC_report& r, int k) { r.max_t = 70 + k; }, 11, "Different max temp\n"},
      {[](SFC_report& r, int k) { r.min_t = 30 + k; }, 11, "Different min temp\n"},
      {[](SFC_report& r, int k) { r.max6_t = 70 + k; }, 11, "Different 6 hr max temp\n"},
      {[](SFC_report& r, int k) { r.min6_t = 30 + k; }, 11, "Different 6 hr min temp\n"},
      {[](SFC_report& r, int k) { r.scover = k; }, 12, "Different snow cover\n"},
      {[](SFC_report& r, int k) { r.solar = 60 * k; }, 13, "Different solar duration\n"},
      {[](SFC_report& r, int k) { r.sst = 10 + k; }, 14, "Different sea surface temperatures\n"},
      {[](SFC_report& r, int k) { r.wav_per = 5 + k; }, 14, "Different wave period\n"},
      {[](SFC_report& r, int k) { r.wav_hgt = k; }, 14, "Different wave height\n"},
      {[](SFC_report& r, int k) { r.cld_type[2] = static_cast<char>('0' + k); }, 15, "Different cloud types\n"},
      {[](SFC_report& r, int k) { std::strcpy(r.comment, k == 1 ? "one" : "two"); }, 16, "Different comments\n"},
  };
  for (const Case& c : cases) {
    SFC_report r1 = fresh(), r2 = fresh();
    c.set(r1, 1);
    c.set(r2, 2);
    std::string lines = report_lines([&] { EXPECT_EQ(SFC_compare(&r1, &r2), c.code) << c.message; });
    EXPECT_EQ(lines, c.message);
    /* Against a report that lacks the value there is no difference, except
     * for the precipitation amounts, which are compared as they stand. */
    SFC_report empty = fresh();
    int expect = c.code == 10 ? 10 : 0;
    capture([&] { EXPECT_EQ(SFC_compare(&r1, &empty), expect) << c.message; });
    capture([&] { EXPECT_EQ(SFC_compare(&empty, &r1), expect) << c.message; });
  }

  SFC_report r1 = fresh(), r2 = fresh();
  r1.time = 1200;
  r2.time = 1300;
  r1.t = 50;
  r2.t = 51;
  std::string lines = report_lines([&] { EXPECT_EQ(SFC_compare(&r1, &r2), 2); });
  EXPECT_EQ(lines, "Different times\nDifferent temperatures\n");

  /* Blank weather and empty comments are absent, not different. */
  r1 = fresh();
  r2 = fresh();
  std::strcpy(r1.weather, "R-");
  std::strcpy(r1.comment, "note");
  capture([&] { EXPECT_EQ(SFC_compare(&r1, &r2), 0); });
}

SFC_report full_later() {
  SFC_report r = fresh();
  r.type = 2;
  r.time = 1350;
  r.t = 60;
  r.td = 50;
  r.pmb = 1010;
  r.alt = 29.9f;
  r.w_dir = 270;
  r.w_spd = 12;
  r.w_gust = 25;
  std::strcpy(r.weather, "RW-");
  r.cld_height[0] = 1500;
  r.cld_cover[0] = 'S';
  r.vis = 7;
  r.ptend_t = 3;
  r.ptend = 1.2f;
  r.rain24 = 0.5f;
  r.max_t = 65;
  r.scover = 2;
  r.solar = 300;
  r.sst = 14;
  r.cld_type[1] = '5';
  std::strcpy(r.comment, "later");
  std::strcpy(r.id, "KXYZ");
  r.lat = 40;
  r.rain1 = 0.1f;
  return r;
}

TEST(SfcReport, UpdateTakesGroupsUpToItsLevel) {
  const SFC_report later = full_later();
  struct Case {
    int lev;
    std::vector<const char*> lines;
  };
  const Case cases[] = {
      {0, {}},
      {3, {"Updated type\n", "Updated time\n", "Updated temp\n", "Updated dewpoint\n"}},
      {6,
       {"Updated type\n", "Updated time\n", "Updated temp\n", "Updated dewpoint\n", "Updated SL pressure\n",
        "Updated altimeter setting\n", "Updated wind direction\n", "Updated wind speed\n", "Updated wind gust\n",
        "Updated weather\n"}},
      {16,
       {"Updated type\n",
        "Updated time\n",
        "Updated temp\n",
        "Updated dewpoint\n",
        "Updated SL pressure\n",
        "Updated altimeter setting\n",
        "Updated wind direction\n",
        "Updated wind speed\n",
        "Updated wind gust\n",
        "Updated weather\n",
        "Updated cloud height: 0\n",
        "Updated cloud cover: 0\n",
        "Updated visibility\n",
        "Updated pressure tendency type\n",
        "Updated pressure tendency\n",
        "Updated 24 hr precip\n",
        "Updated max temp\n",
        "Updated snow cover\n",
        "Updated solar duration\n",
        "Updated sea surface temperatures\n",
        "Updated cloud type: 1\n",
        "Updated comments\n"}},
  };
  for (const Case& c : cases) {
    SFC_report keep = fresh();
    std::string lines = report_lines([&] { EXPECT_EQ(SFC_update(&keep, &later, c.lev), 0); });
    std::string expect;
    for (const char* l : c.lines) expect += l;
    EXPECT_EQ(lines, expect) << "level " << c.lev;
    EXPECT_EQ(keep.type, c.lev >= 1 ? 2 : 0);
    EXPECT_EQ(keep.t, c.lev >= 3 ? 60 : M);
    EXPECT_EQ(keep.pmb, c.lev >= 4 ? 1010 : M);
    EXPECT_STREQ(keep.weather, c.lev >= 6 ? "RW-" : " ");
    EXPECT_EQ(keep.num_cld, c.lev >= 7 ? 1 : 0);
    EXPECT_STREQ(keep.comment, c.lev >= 16 ? "later" : "");
    /* Never merged. */
    EXPECT_STREQ(keep.id, "");
    EXPECT_EQ(keep.lat, M);
    EXPECT_EQ(keep.rain1, M);
  }
  SFC_report keep = fresh();
  capture([&] { SFC_update(&keep, &later, 99); });
  EXPECT_STREQ(keep.comment, "later");
}

TEST(SfcReport, MarkedTemperatureAndDewPointWinAgainstUnmarkedReports) {
  struct Case {
    int flag1, flag2;
    bool t2, td2; /* the later report has t, td */
    float t, td;  /* the kept report's afterwards */
  };
  const Case cases[] = {
      {0, 0, true, true, 60, 50},  {1, 0, true, true, 55, 45},  {1, 1, true, true, 60, 50}, {0, 1, true, true, 60, 50},
      {1, 0, false, true, 55, 45}, {0, 0, false, true, 55, 50}, {3, 2, true, true, 55, 45},
  };
  for (const Case& c : cases) {
    SFC_report keep = fresh(), later = fresh();
    keep.t = 55;
    keep.td = 45;
    keep.flag = c.flag1;
    later.flag = c.flag2;
    if (c.t2) later.t = 60;
    if (c.td2) later.td = 50;
    capture([&] { SFC_update(&keep, &later, 16); });
    EXPECT_EQ(keep.t, c.t) << c.flag1 << " " << c.flag2;
    EXPECT_EQ(keep.td, c.td) << c.flag1 << " " << c.flag2;
    EXPECT_EQ(keep.flag, c.flag1) << "flags are never merged";
  }
}

TEST(SfcReport, LaterReportWithAdditionalGroupsDeletesItsMissingAmounts) {
  SFC_report keep = fresh();
  keep.rain3 = 0.1f;
  keep.rain6 = 0.2f;
  keep.rain12 = 0.3f;
  keep.rain24 = 0.4f;

  SFC_report later = fresh();
  later.rain24 = 0.6f;
  SFC_report k = keep;
  std::string lines = report_lines([&] { SFC_update(&k, &later, 10); });
  EXPECT_EQ(lines,
            "Deleted 3 hr precip\nDeleted 6 hr precip\nDeleted 12 hr precip\n"
            "Updated 24 hr precip\n");
  EXPECT_EQ(k.rain24, 0.6f);
  EXPECT_EQ(k.rain6, M);

  /* Any additional group counts, whatever the level takes. */
  const std::vector<Change> additional = {
      {"tendency type", [](SFC_report& r) { r.ptend_t = 2; }},
      {"tendency", [](SFC_report& r) { r.ptend = -1; }},
      {"max temp", [](SFC_report& r) { r.max_t = 70; }},
      {"min 6 hr", [](SFC_report& r) { r.min6_t = 30; }},
      {"snow", [](SFC_report& r) { r.scover = 1; }},
      {"sunshine", [](SFC_report& r) { r.solar = 20; }},
      {"waves", [](SFC_report& r) { r.wav_hgt = 1; }},
      {"cloud type", [](SFC_report& r) { r.cld_type[0] = '7'; }},
  };
  for (const Change& c : additional) {
    SFC_report l = fresh(), kk = keep;
    c.set(l);
    capture([&] { SFC_update(&kk, &l, 10); });
    EXPECT_EQ(kk.rain3, M) << c.what;
    EXPECT_EQ(kk.rain24, M) << c.what;
  }

  /* Without additional groups, or below level 10, the amounts stay. */
  SFC_report plain = fresh();
  plain.t = 50;
  plain.vis = 3;
  SFC_report kk = keep;
  capture([&] { SFC_update(&kk, &plain, 16); });
  EXPECT_EQ(kk.rain3, 0.1f);
  EXPECT_EQ(kk.rain24, 0.4f);
  kk = keep;
  capture([&] { SFC_update(&kk, &later, 9); });
  EXPECT_EQ(kk.rain6, 0.2f);
  EXPECT_EQ(kk.rain24, 0.4f);
}

TEST(SfcReport, CloudMergeSetsTheLayerCountToTheHighestLayerSupplied) {
  SFC_report keep = fresh();
  const float heights[] = {500, 1500, 3000, 9000};
  const char covers[] = "FSBO";
  for (int i = 0; i < 4; ++i) {
    keep.cld_height[i] = heights[i];
    keep.cld_cover[i] = covers[i];
  }
  keep.num_cld = 4;
  SFC_report later = fresh();
  later.cld_height[0] = 800;
  later.cld_cover[1] = '7';
  std::string lines = report_lines([&] { SFC_update(&keep, &later, 7); });
  EXPECT_EQ(lines, "Updated cloud height: 0\nUpdated cloud cover: 1\n");
  EXPECT_EQ(keep.num_cld, 2);
  EXPECT_EQ(keep.cld_height[0], 800);
  EXPECT_EQ(keep.cld_cover[0], 'F');
  EXPECT_EQ(keep.cld_height[1], 1500);
  EXPECT_EQ(keep.cld_cover[1], '7');
  EXPECT_EQ(keep.cld_height[3], 9000) << "layers above keep their contents";
}

TEST(SfcReport, RangeCheckDropsValuesOutsideInclusiveLimits) {
  struct Case {
    const char* what;
    std::function<void(SFC_report&)> set;
    std::function<float(const SFC_report&)> get;
    float expect;
  };
  auto T = [](const SFC_report& r) { return r.t; };
  auto TD = [](const SFC_report& r) { return r.td; };
  const Case cases[] = {
      {"temperature at the limit", [](SFC_report& r) { r.t = 150; }, T, 150},
      {"temperature above", [](SFC_report& r) { r.t = 150.5f; }, T, M},
      {"temperature at the lower limit", [](SFC_report& r) { r.t = -100; }, T, -100},
      {"temperature not a number", [](SFC_report& r) { r.t = NAN; }, T, M},
      {"dew point above temperature",
       [](SFC_report& r) {
         r.t = 55;
         r.td = 60;
       },
       TD, 55},
      {"dew point without temperature", [](SFC_report& r) { r.td = 60; }, TD, M},
      {"dew point dropped before the cap",
       [](SFC_report& r) {
         r.t = 55;
         r.td = 151;
       },
       TD, M},
      {"wind direction 360", [](SFC_report& r) { r.w_dir = 360; }, [](auto& r) { return r.w_dir; }, 360},
      {"wind direction 361", [](SFC_report& r) { r.w_dir = 361; }, [](auto& r) { return r.w_dir; }, M},
      {"time 2400", [](SFC_report& r) { r.time = 2400; }, [](auto& r) { return float(r.time); }, 2400},
      {"time 2401", [](SFC_report& r) { r.time = 2401; }, [](auto& r) { return float(r.time); }, M},
      {"tendency type 9", [](SFC_report& r) { r.ptend_t = 9; }, [](auto& r) { return float(r.ptend_t); }, 9},
      {"tendency type 10", [](SFC_report& r) { r.ptend_t = 10; }, [](auto& r) { return float(r.ptend_t); }, M},
      {"hurricane pressure", [](SFC_report& r) { r.pmb = 882; }, [](auto& r) { return r.pmb; }, 882},
      {"pressure 849", [](SFC_report& r) { r.pmb = 849; }, [](auto& r) { return r.pmb; }, M},
      {"pressure 1150", [](SFC_report& r) { r.pmb = 1150; }, [](auto& r) { return r.pmb; }, 1150},
      {"altimeter 25.9", [](SFC_report& r) { r.alt = 25.9f; }, [](auto& r) { return r.alt; }, M},
      {"wind 160 kt", [](SFC_report& r) { r.w_spd = 160; }, [](auto& r) { return r.w_spd; }, 160},
      {"wind 251 kt", [](SFC_report& r) { r.w_spd = 251; }, [](auto& r) { return r.w_spd; }, M},
      {"gust 200 kt", [](SFC_report& r) { r.w_gust = 200; }, [](auto& r) { return r.w_gust; }, 200},
      {"negative wind", [](SFC_report& r) { r.w_spd = -1; }, [](auto& r) { return r.w_spd; }, M},
      {"cloud base 35000", [](SFC_report& r) { r.cld_height[4] = 35000; }, [](auto& r) { return r.cld_height[4]; },
       35000},
      {"cloud base 35001", [](SFC_report& r) { r.cld_height[2] = 35001; }, [](auto& r) { return r.cld_height[2]; }, M},
      {"visibility 151", [](SFC_report& r) { r.vis = 151; }, [](auto& r) { return r.vis; }, M},
      {"tendency -10", [](SFC_report& r) { r.ptend = -10; }, [](auto& r) { return r.ptend; }, -10},
      {"3 hr precip 10.5", [](SFC_report& r) { r.rain3 = 10.5f; }, [](auto& r) { return r.rain3; }, M},
      {"6 hr precip 15", [](SFC_report& r) { r.rain6 = 15; }, [](auto& r) { return r.rain6; }, 15},
      {"24 hr precip 21", [](SFC_report& r) { r.rain24 = 21; }, [](auto& r) { return r.rain24; }, M},
      {"max temp 151", [](SFC_report& r) { r.max_t = 151; }, [](auto& r) { return r.max_t; }, M},
      {"sunny day", [](SFC_report& r) { r.solar = 720; }, [](auto& r) { return r.solar; }, 720},
      {"more than a day of sun", [](SFC_report& r) { r.solar = 1441; }, [](auto& r) { return r.solar; }, M},
      {"swell of 18 s", [](SFC_report& r) { r.wav_per = 18; }, [](auto& r) { return r.wav_per; }, 18},
      {"wave period 31 s", [](SFC_report& r) { r.wav_per = 31; }, [](auto& r) { return r.wav_per; }, M},
      {"waves of 20 m", [](SFC_report& r) { r.wav_hgt = 20; }, [](auto& r) { return r.wav_hgt; }, 20},
      {"sea at 151 C", [](SFC_report& r) { r.sst = 151; }, [](auto& r) { return r.sst; }, M},
      {"elevation unchecked", [](SFC_report& r) { r.elev = 99999; }, [](auto& r) { return r.elev; }, 99999},
      {"hourly precip unchecked", [](SFC_report& r) { r.rain1 = 50; }, [](auto& r) { return r.rain1; }, 50},
  };
  for (const Case& c : cases) {
    SFC_report r = fresh();
    c.set(r);
    EXPECT_EQ(SFC_check_valid(&r, 0), 0);
    EXPECT_EQ(c.get(r), c.expect) << c.what;
  }
  SFC_report r = fresh(), before = r;
  SFC_check_valid(&r, 1);
  EXPECT_EQ(std::memcmp(&r, &before, sizeof r), 0) << "a missing report stays as it was";
}

TEST(SfcReport, DominantCloudLayer) {
  struct Case {
    const char* covers;
    std::vector<float> heights;
    char cover;
    float height;
    int result;
  };
  const Case cases[] = {
      {"FSBO", {500, 1500, 2500, 8000}, 'O', 2500, 0},
      {"1358", {500, 1500, 2500, 8000}, 'O', 2500, 0},
      {"1468", {500, 1500, 2500, 8000}, 'O', 1500, 0},
      {"SC", {2000, 5000}, 'S', 2000, 0},
      {"3C", {2000, 5000}, 'S', 2000, 0},
      {"37", {900, 1800}, 'O', 1800, 0},
      {"SO", {900, 1800}, 'O', 1800, 0},
      {"6", {1200}, '6', 1200, -1},
      {"b", {1200}, 'b', 1200, -1},
      {"CX", {M, M}, 'X', M, 0},
      {"09", {M, M}, 'X', M, 0},
      {"", {}, ' ', M, -1},
      {"CC", {M, M}, 'C', M, 0},
      {"sF", {400, 900}, 'F', 900, 0},
      {"BX", {1000, 200}, 'X', 200, 0},
      {"FF", {300, 700}, 'F', 300, 0},
  };
  for (const Case& c : cases) {
    SFC_report r = fresh();
    r.num_cld = static_cast<int>(std::strlen(c.covers));
    for (int i = 0; i < r.num_cld; ++i) {
      r.cld_cover[i] = c.covers[i];
      r.cld_height[i] = c.heights[static_cast<size_t>(i)];
    }
    char cover = '?';
    float height = 0;
    EXPECT_EQ(WX_set_cloud(&r, &cover, &height), c.result) << c.covers;
    EXPECT_EQ(cover, c.cover) << c.covers;
    EXPECT_EQ(height, c.height) << c.covers;
  }
  /* A layer count outside 0..5 reads no layer that is not there. */
  SFC_report r = fresh();
  r.num_cld = 99;
  char cover;
  float height;
  EXPECT_EQ(WX_set_cloud(&r, &cover, &height), 0);
  r.num_cld = -3;
  EXPECT_EQ(WX_set_cloud(&r, &cover, &height), -1);
  EXPECT_EQ(cover, ' ');
}

} // namespace
