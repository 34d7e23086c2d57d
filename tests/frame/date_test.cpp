#include "kez.h"
#include "kez_test.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

using kez_test::run_child;

Date make(int year, int month, int day, int hour = 0, int min = 0, int sec = 0) {
  return Date{year, month, day, -9999, -9999, hour, min, sec};
}

TEST(DateSeconds, NormalisesFieldsAndCountsFromEpoch) {
  struct Case {
    Date date;
    long int secs;
    const char* why;
  };
  const Case cases[] = {
      {make(1970, 1, 1), 0, "the epoch"},
      {Date{-9999, -9999, -9999, -9999, -9999, -9999, -9999, -9999}, 315532800,
       "every field unset reads as the start of 1980"},
      {make(98, 1, 1), 883612800, "98 is 1998"},
      {make(5, 1, 1), 1104537600, "5 is 2005"},
      {make(125, 1, 1), 1735689600, "125 counts from 1900"},
      {make(2040, 1, 1), 2208988800, "past 2038 in 64 bits"},
      {make(2000, 3, 1), 951868800, "2000 has a 29 February"},
      {make(2000, 3, 0), 951782400, "day 0 is the last day of the month before"},
      {make(2001, 13, 32, 24, 60, 60), 978307200, "out-of-range fields fall back"},
      {make(2024, 2, 29, 23, 59, 59), 1709251199, "a leap day's last second"},
  };
  for (const Case& c : cases) {
    Date d = c.date;
    EXPECT_EQ(DATE_num_sec(&d), c.secs) << c.why;
  }
  Date d = make(98, 13, -1, 30, -1, 99);
  DATE_num_sec(&d);
  EXPECT_EQ(d.year, 1998);
  EXPECT_EQ(d.month, 1);
  EXPECT_EQ(d.day, 1);
  EXPECT_EQ(d.hour, 0);
  EXPECT_EQ(d.min, 0);
  EXPECT_EQ(d.sec, 0) << "the fields are normalised in place";
}

TEST(DateSeconds, EveryFourthYearIsALeapYear) {
  Date jan = make(1900, 1, 1), mar = make(1900, 3, 1);
  EXPECT_EQ(DATE_num_sec(&mar) - DATE_num_sec(&jan), 60L * 86400) << "1900 gets a 29 February in the seconds count";
  EXPECT_EQ(DATE_is_leap(1900), 0);
  EXPECT_EQ(DATE_is_leap(2000), 1);
  EXPECT_EQ(DATE_is_leap(2024), 1);
  EXPECT_EQ(DATE_is_leap(2100), 0);
  struct tm tm {};
  tm.tm_year = 210; /* 2110 */
  tm.tm_mon = 0;
  tm.tm_mday = 1;
  Date d = make(2110, 1, 1);
  EXPECT_EQ(DATE_num_sec_tm(&tm), DATE_num_sec(&d)) << "years since 1900 keep their century";
  tm.tm_year = 30;
  d = make(1930, 1, 1);
  EXPECT_EQ(DATE_num_sec_tm(&tm), DATE_num_sec(&d));
}

/* The seconds of a table of dates, and the dates built back from them,
 * checked against the system's date tool. */
TEST(DateSeconds, AgreeWithTheDateTool) {
  if (!kez_test::have_program("date")) GTEST_SKIP() << "no date tool";
  const Date dates[] = {
      make(1901, 12, 14, 20, 45, 52),
      make(1904, 2, 29, 12),
      make(1969, 12, 31, 23, 59, 59),
      make(1970, 1, 1),
      make(1980, 1, 1),
      make(1999, 12, 31, 23, 59, 59),
      make(2000, 2, 29, 6, 30),
      make(2000, 12, 31, 18),
      make(2024, 2, 29, 23, 59, 59),
      make(2024, 3, 1),
      make(2038, 1, 19, 3, 14, 8),
      make(2040, 1, 1),
      make(2063, 7, 4, 9, 5, 1),
      make(2096, 2, 29),
      make(2099, 12, 31, 23, 59, 59),
  };
  std::string command;
  std::vector<std::string> expected;
  for (Date d : dates) {
    char want[64];
    std::snprintf(want, sizeof want, "%04d-%02d-%02d %02d:%02d:%02d", d.year, d.month, d.day, d.hour, d.min, d.sec);
    long int secs = DATE_num_sec(&d);
    command += "date -u -d @" + std::to_string(secs) + " '+%Y-%m-%d %H:%M:%S %j %w';";
    Date back;
    DATE_get_gmdate(&secs, &back);
    char got[80];
    std::snprintf(got, sizeof got, "%04d-%02d-%02d %02d:%02d:%02d %03d %d", back.year, back.month, back.day, back.hour,
                  back.min, back.sec, back.jday, back.wday);
    expected.push_back(got);
    EXPECT_EQ(std::string(got).substr(0, 19), want) << "built back from " << secs;
  }
  std::string out;
  ASSERT_EQ(kez_test::run_command(command, &out), 0);
  std::istringstream lines(out);
  for (const std::string& want : expected) {
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, want);
  }
}

TEST(DateSeconds, EpochDateHasItsDayOfYearAndWeekday) {
  long int zero = 0;
  Date d;
  DATE_get_gmdate(&zero, &d);
  EXPECT_EQ(d.year, 1970);
  EXPECT_EQ(d.month, 1);
  EXPECT_EQ(d.day, 1);
  EXPECT_EQ(d.jday, 1);
  EXPECT_EQ(d.wday, 4);
}

TEST(DateDays, DayNumbersBothWays) {
  EXPECT_EQ(DATE_date_days(1970, 1, 1), 1);
  EXPECT_EQ(DATE_date_days(1970, 3, 1), 60);
  struct Case {
    int days;
    int year, month, day;
    const char* why;
  };
  const Case cases[] = {
      {365, 1970, 12, 31, "the first year's last day"},
      {366, 1971, 1, 1, ""},
      {1, 1970, 1, 1, ""},
      {0, 1969, 12, 31, "0 is the day before the first"},
      {-364, 1969, 1, 1, ""},
      {-365, 1968, 12, 31, "back into a leap year"},
      {11018, 2000, 3, 1, ""},
      {47847, 2100, 12, 31, "2100 has 365 days"},
      {47848, 2101, 1, 1, ""},
  };
  for (const Case& c : cases) {
    int y = 0, m = 0, d = 0;
    DATE_days_date(c.days, &y, &m, &d);
    EXPECT_EQ(y * 10000 + m * 100 + d, c.year * 10000 + c.month * 100 + c.day) << c.days << " " << c.why;
  }
  /* Where both count the same leap years, the two are inverses. */
  for (int n = -25000; n <= 47000; n += 7) {
    int y = 0, m = 0, d = 0;
    DATE_days_date(n, &y, &m, &d);
    ASSERT_EQ(DATE_date_days(y, m, d), n);
  }
}

TEST(DateDays, FarDayNumbersAgreeWithTheDateTool) {
  if (!kez_test::have_program("date")) GTEST_SKIP() << "no date tool";
  const int days[] = {-200000, -25202, 47482, 150000, 160000, 1000000};
  std::string command;
  std::vector<std::string> got;
  for (int n : days) {
    command += "date -u -d @" + std::to_string((static_cast<long long>(n) - 1) * 86400) + " +%Y-%m-%d;";
    int y = 0, m = 0, d = 0;
    DATE_days_date(n, &y, &m, &d);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", y, m, d);
    got.push_back(text);
  }
  std::string out;
  ASSERT_EQ(kez_test::run_command(command, &out), 0);
  std::istringstream lines(out);
  for (const std::string& g : got) {
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(g, line);
  }
}

TEST(DateDays, DayOfYearAndTimeOfDay) {
  int m = 0, d = 0, j = 0;
  DATE_julian_monday(2000, 60, &m, &d);
  EXPECT_EQ(m * 100 + d, 229);
  DATE_julian_monday(1999, 400, &m, &d);
  EXPECT_EQ(m * 100 + d, 1231) << "clamped to the year's last day";
  DATE_julian_monday(1999, -5, &m, &d);
  EXPECT_EQ(m * 100 + d, 101);
  DATE_julian_monday(2000, 366, &m, &d);
  EXPECT_EQ(m * 100 + d, 1231);
  DATE_monday_julian(1999, 13, 1, &j);
  EXPECT_EQ(j, 335) << "month clamped to December";
  DATE_monday_julian(2000, 3, 1, &j);
  EXPECT_EQ(j, 61);
  DATE_monday_julian(1998, 3, 2147483647, &j);
  EXPECT_EQ(j, 2147483647) << "a hostile day is bounded, not wrapped";

  int h = 0, mi = 0, s = 0;
  EXPECT_EQ(DATE_time_date(3725, &h, &mi, &s), 1);
  EXPECT_EQ(h * 10000 + mi * 100 + s, 10205);
  DATE_time_date(-5, &h, &mi, &s);
  EXPECT_EQ(h, 0);
  EXPECT_EQ(mi, 0);
  EXPECT_EQ(s, -5);
}

TEST(DateNames, MonthsAndPrinting) {
  EXPECT_STREQ(DATE_month(1), "JAN");
  EXPECT_STREQ(DATE_month_lower(12), "dec");
  EXPECT_STREQ(DATE_month_long(9), "September");
  EXPECT_STREQ(DATE_month(13), "");
  EXPECT_STREQ(DATE_month_long(0), "");
  auto r = run_child([] {
    Date d = make(2024, 3, 5, 7, 8, 9);
    DATE_print(M_print, &d);
    Date* s = DATE_to_struct(1999, 12, 31, 23, 59);
    return s->sec == 0 && s->jday == -9999 && s->min == 59 ? 0 : 1;
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "2024/3/5 07:08:09\n");
}

TEST(DateZone, SignNameAndOffset) {
  auto r = run_child([] {
    struct Case {
      const char* text;
      const char* str;
      int off;
      int pm;
    };
    /* In order: a zone without a sign keeps the style before it. */
    const Case cases[] = {
        {"-EST:-5", " EST", -18000, -1}, {"CST:-6", " CST", -21600, -1},      {"+PST:-8", " PST", -28800, 1},
        {"GMT", " GMT", 0, 1},           {"-LONGER:5.5", " LONG", 19800, -1}, {"X:nan", " X", 0, -1},
    };
    for (const Case& c : cases) {
      DATE_set_TZ(c.text);
      if (std::strcmp(DATE_get_tz_str(), c.str) != 0 || DATE_get_tz_off() != c.off || DATE_get_tz_pm() != c.pm)
        std::printf("%s: '%s' %d %d\n", c.text, DATE_get_tz_str(), DATE_get_tz_off(), DATE_get_tz_pm());
    }
    return 0;
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  auto fresh = run_child([] {
    return std::strcmp(DATE_get_tz_str(), "Z") == 0 && DATE_get_tz_off() == 0 && DATE_get_tz_pm() == 0 ? 0 : 1;
  });
  EXPECT_EQ(fresh.status, 0) << "UTC with the Z style at start";
}

/* One decode-window case: the file's date, the fixed hour and minute of file
 * names, the "decode_hour" text (null: absent), and what comes out. */
struct DecodeCase {
  const char* decode_hour;
  int file_day, file_hour, file_min;
  int fixed_hour, fixed_min;
  int day, hour, min;                      /* of the adjusted file date */
  int pre, post;                           /* the window after the call */
  std::vector<std::pair<int, int>> checks; /* observation time, DATE_chk_range */
  const char* messages;
};

TEST(DateDecodeWindow, FormsOfTheDecodeHour) {
  const DecodeCase cases[] = {
      {"12:30-20+5",
       15,
       12,
       0,
       -9999,
       -9999,
       15,
       12,
       30,
       -20,
       5,
       {{1215, 1}, {1205, 0}, {1210, 1}, {1235, 1}, {1236, 0}, {-9999, 0}},
       "Decoding for: 12:30Z\nDecoding range: -20 +5 mins\n"},
      {"0:30-45+10",
       15,
       0,
       10,
       -9999,
       -9999,
       15,
       0,
       30,
       -45,
       10,
       {{2350, 1}, {2344, 0}, {40, 1}, {41, 0}},
       "Decoding for: 00:30Z\nDecoding range: -45 +10 mins\n"},
      {"6", 15, 12, 20, -9999, -9999, 15, 6, 0, -15, 10, {{550, 1}, {544, 0}, {610, 1}}, "Decoding for: 06:00Z\n"},
      {"-6", 15, 14, 20, -9999, -9999, 15, 12, 0, -15, 10, {}, "Decoding for: 12:00Z\n"},
      {"-306", 15, 14, 20, -9999, -9999, 15, 15, 0, -15, 10, {}, "Decoding for: 15:00Z\n"},
      {"18-30",
       15,
       12,
       0,
       -9999,
       -9999,
       15,
       18,
       0,
       -30,
       10,
       {{1731, 1}, {1729, 0}},
       "Decoding for: 18:00Z\nDecoding range: -30 +10 mins\n"},
      {"cu", 15, 14, 20, -9999, -9999, 15, 14, 0, -15, 10, {}, "Decoding for: 14:00Z\n"},
      {"CU:cu", 15, 14, 20, -9999, -9999, 15, 14, 20, -15, 10, {}, "Decoding for: 14:20Z\n"},
      {"cu:45",
       15,
       14,
       20,
       -9999,
       -9999,
       15,
       14,
       45,
       -15,
       10,
       {},
       "Decoding for: 14:45Z\nDecoding range: -15 +10 mins\n"},
      {"cu:cu-5+0",
       15,
       14,
       20,
       -9999,
       -9999,
       15,
       14,
       20,
       -5,
       0,
       {{1420, 1}, {1421, 0}},
       "Decoding for: 14:20Z\nDecoding range: -5 +0 mins\n"},
      {"cu-3", 15, 2, 20, -9999, -9999, 14, 23, 20, -15, 10, {{2325, 1}, {30, 0}}, "Decoding for: 23:20Z\n"},
      {"cu-3-30+0",
       15,
       2,
       20,
       -9999,
       -9999,
       14,
       23,
       20,
       -30,
       0,
       {},
       "Decoding for: 23:20Z\nDecoding range: -30 +0 mins\n"},
      {"cu-20+5",
       15,
       14,
       20,
       -9999,
       -9999,
       15,
       14,
       0,
       -20,
       5,
       {},
       "Decoding for: 14:00Z\nDecoding range: -20 +5 mins\n"},
      {":-20+5", 15, 14, 20, 9, -9999, 15, 9, 20, -20, 5, {}, "Decoding range: -20 +5 mins\n"},
      {nullptr, 15, 14, 20, 18, -9999, 15, 18, 20, -15, 10, {}, ""},
      {nullptr, 15, 14, -9999, -9999, -9999, 15, 14, 0, -15, 10, {}, ""},
      {nullptr, 15, 14, 20, -12, -30, 15, 12, 0, -15, 10, {}, ""},
      {"abc", 15, 14, 20, 18, -9999, 15, 18, 20, -15, 10, {}, ""},
      {"-300", 15, 14, 20, -9999, -9999, 15, 14, 20, -15, 10, {}, ""},
      {"12:30-", 15, 14, 20, -9999, -9999, 15, 14, 20, -15, 10, {}, ""},
      {"cu:cu-10",
       15,
       14,
       20,
       -9999,
       -9999,
       15,
       14,
       20,
       -10,
       10,
       {},
       "Decoding for: 14:20Z\nDecoding range: -10 +10 mins\n"},
  };
  for (const DecodeCase& c : cases) {
    auto r = run_child([&c] {
      if (c.decode_hour) RES_put("decode_hour", c.decode_hour);
      Date fixed{-9999, -9999, -9999, -9999, -9999, c.fixed_hour, c.fixed_min, -9999};
      FILE_set_time(&fixed);
      Date file{2024, 3, c.file_day, -9999, -9999, c.file_hour, c.file_min, 0};
      DATE_set_datim(&file);
      Date got;
      DATE_get_datim(&got);
      std::fflush(stdout);
      std::fprintf(stderr, "%d %d %d", got.day, got.hour, got.min);
      for (const auto& [obs, want] : c.checks)
        if (DATE_chk_range(obs) != want) std::fprintf(stderr, " chk %d", obs);
      /* The window in force shows in a wide check at its two ends. */
      return 0;
    });
    const std::string label = c.decode_hour ? c.decode_hour : "(absent)";
    EXPECT_EQ(r.status, 0) << label;
    EXPECT_EQ(r.out, c.messages) << label;
    EXPECT_EQ(r.err, std::to_string(c.day) + " " + std::to_string(c.hour) + " " + std::to_string(c.min)) << label;
    auto window = run_child([&c] {
      if (c.decode_hour) RES_put("decode_hour", c.decode_hour);
      Date fixed{-9999, -9999, -9999, -9999, -9999, c.fixed_hour, c.fixed_min, -9999};
      FILE_set_time(&fixed);
      Date file{2024, 3, c.file_day, -9999, -9999, c.file_hour, c.file_min, 0};
      DATE_set_datim(&file);
      Date got;
      DATE_get_datim(&got);
      int base = got.hour * 60 + got.min;
      auto code = [](int minutes) {
        minutes = (minutes % 1440 + 1440) % 1440;
        return minutes / 60 * 100 + minutes % 60;
      };
      EXPECT_EQ(DATE_chk_range(code(base + c.pre)), 1) << "first minute inside";
      EXPECT_EQ(DATE_chk_range(code(base + c.pre - 1)), 0) << "minute before the window";
      EXPECT_EQ(DATE_chk_range(code(base + c.post)), 1) << "last minute inside";
      EXPECT_EQ(DATE_chk_range(code(base + c.post + 1)), 0) << "minute after the window";
      return ::testing::Test::HasFailure() ? 1 : 0;
    });
    EXPECT_EQ(window.status, 0) << label << ": window " << c.pre << " +" << c.post << "\n" << window.out;
  }
}

TEST(DateDecodeWindow, RangeHoldsUntilTheNextCall) {
  auto r = run_child([] {
    RES_put("decode_hour", "12:00-40+20");
    Date file = make(2024, 3, 15, 12, 0);
    DATE_set_datim(&file);
    RES_put("decode_hour", "12");
    DATE_set_datim(&file);
    EXPECT_EQ(DATE_chk_range(1121), 1) << "the earlier range holds";
    EXPECT_EQ(DATE_chk_range(1219), 1);
    EXPECT_EQ(DATE_chk_range(1221), 0);
    DATE_set_range(-5, 5);
    DATE_set_datim(&file);
    EXPECT_EQ(DATE_chk_range(1154), 0) << "the new range";
    EXPECT_EQ(DATE_chk_range(1155), 1) << "the new range";
    return ::testing::Test::HasFailure() ? 1 : 0;
  });
  EXPECT_EQ(r.status, 0) << r.out;
}

} // namespace
