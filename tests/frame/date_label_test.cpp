#include "kez.h"
#include "kez_test.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

namespace {

using kez_test::run_child;

constexpr int X = -9999;

Date make(int year, int month, int day, int hour, int min) { return Date{year, month, day, X, X, hour, min, 0}; }

std::string label(const Date& d) {
  char text[DATE_LABEL_LEN];
  DATE_make_label(&d, text);
  return text;
}

TEST(DateLabels, EveryFormOfTheLabel) {
  struct Case {
    Date date;
    const char* text;
  };
  const Case cases[] = {
      {make(1998, 1, 5, 12, X), "12Z  5 JAN 98"},
      {make(1998, 1, 5, 12, 30), "1230Z  5 JAN 98"},
      {make(1998, 1, 5, X, X), " 5 JAN 98"},
      {make(1998, 1, X, X, X), "JAN 98"},
      {make(1998, X, X, X, X), "98"},
      {make(X, X, X, X, X), "80"},
      {make(1998, 13, X, X, X), "JAN 98"},
      {make(2005, 12, 40, X, X), " 1 DEC 05"},
      {make(1998, 1, 5, 25, X), "00Z  5 JAN 98"},
      {make(1998, 1, 5, 6, 75), "0600Z  5 JAN 98"},
  };
  for (const Case& c : cases) EXPECT_EQ(label(c.date), c.text);
  char* none = nullptr;
  EXPECT_EQ(DATE_make_label(&cases[0].date, none), -1);
}

TEST(DateLabels, DisplayZoneChangesOnlyTheText) {
  struct Case {
    const char* zone;
    int hour;
    const char* text;
  };
  const Case cases[] = {
      {"+EST:-5", 12, "7:00 AM EST  5 JAN 98"},  {"-EST:-5", 12, "7:00 AM EST [1200Z]  5 JAN 98"},
      {"+EST:-5", 17, "12:00 PM EST  5 JAN 98"}, {"+EST:-5", 5, "12:00 AM EST  5 JAN 98"},
      {"+EST:-5", 23, "6:00 PM EST  5 JAN 98"},  {"+EST:-5", 3, "10:00 PM EST  4 JAN 98"},
      {"CET:1", 12, "1300 CET  5 JAN 98"},
  };
  for (const Case& c : cases) {
    auto r = run_child([&c] {
      DATE_set_TZ(c.zone);
      const Date d = make(1998, 1, 5, c.hour, X);
      std::printf("%s", label(d).c_str());
      return d.min == X ? 0 : 1;
    });
    EXPECT_EQ(r.out, c.text) << c.zone << " " << c.hour;
    EXPECT_EQ(r.status, 0) << "the caller's date stays as it was";
  }
}

TEST(DateLabels, SequenceTextsBothWays) {
  Date d = make(1998, 1, 5, 12, 30);
  char text[DATE_LABEL_LEN];
  ASSERT_EQ(DATE_make_seq(&d, text), 0);
  EXPECT_STREQ(text, "199801051230");
  Date back;
  DATE_init(&back);
  DATE_decode_seq(text, &back);
  EXPECT_EQ(back.year, 1998);
  EXPECT_EQ(back.month, 1);
  EXPECT_EQ(back.day, 5);
  EXPECT_EQ(back.hour, 12);
  EXPECT_EQ(back.min, 30);
  EXPECT_EQ(back.sec, X) << "fields that a sequence text lacks stay";

  Date odd = make(-5, 0, 40, 24, -1);
  DATE_make_seq(&odd, text);
  EXPECT_STREQ(text, "198001010000");
  EXPECT_EQ(odd.year, 1980) << "the date is normalised in place";
  EXPECT_EQ(DATE_make_seq(&odd, nullptr), -1);
  EXPECT_EQ(DATE_decode_seq(nullptr, &back), -1);
}

TEST(DateLabels, DecodingLabels) {
  struct Case {
    const char* text;
    int year, month, day, hour, min, sec;
    const char* why;
  };
  const Case cases[] = {
      {"12Z  5 JAN 98", 1998, 1, 5, 12, X, X, "the label as written"},
      {"1230Z  5 JAN 98", 1998, 1, 5, 12, 30, X, "with minutes"},
      {"Valid 12Z  5 JAN 98", 1998, 1, 5, 12, X, X, "after other text"},
      {"Valid 1230Z  5 JAN 98", 1998, 1, 5, 12, 30, X, "minutes after other text"},
      {" 630Z  5 JAN 98", 1998, 1, 5, 6, 30, X, "a one-digit hour after a blank"},
      {"12:30:45Z  5 JAN 98", 1998, 1, 5, 12, 30, 45, "with seconds"},
      {"00Z 31 DEC 05", 2005, 12, 31, 0, X, X, "a year below 50"},
      {" 5 JAN 98", X, X, X, X, X, X, "no hour"},
      {"7:00 AM EST  5 JAN 98", X, X, X, X, X, X, "a 12-hour label"},
      {"", X, X, X, X, X, X, "empty"},
  };
  for (const Case& c : cases) {
    Date d = make(1, 1, 1, 1, 1);
    EXPECT_EQ(DATE_decode_label(c.text, &d), 0);
    EXPECT_EQ(d.year, c.year) << c.why;
    EXPECT_EQ(d.month, c.month) << c.why;
    EXPECT_EQ(d.day, c.day) << c.why;
    EXPECT_EQ(d.hour, c.hour) << c.why;
    EXPECT_EQ(d.min, c.min) << c.why;
    EXPECT_EQ(d.sec, c.sec) << c.why;
  }
}

TEST(DateLabels, MonthNames) {
  struct Case {
    const char* name;
    int month;
  };
  const Case cases[] = {
      {"JAN", 1},  {"jan", 1},  {"Jan", 0}, {"FEB", 2}, {"feb", 2}, {"MAR", 3},   {"apr", 4},
      {"MAY", 5},  {"JUN", 6},  {"jul", 7}, {"Jul", 0}, {"AUG", 8}, {"sep", 9},   {"Oct", 10},
      {"NOV", 11}, {"dec", 12}, {"JU", 0},  {"xyz", 0}, {"", 0},    {nullptr, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(DATE_decode_month(c.name), c.month) << (c.name ? c.name : "null");
}

TEST(DateLabels, ForecastPeriods) {
  struct Case {
    int fhour, flag;
    const char* text;
  };
  const Case cases[] = {
      {12, 0, "12 hour"},  {12, 1, "0.5 day"}, {24, 1, "1 day"}, {36, 1, "1.5 day"}, {48, 1, "2 day"},
      {60, 1, "2.5 day"},  {60, 0, "60 hour"}, {72, 0, "3 day"}, {84, 0, "3.5 day"}, {66, 0, "66 hour"},
      {905, 0, "5 month"}, {803, 1, "3 day"},  {0, 1, ""},       {X, 0, ""},         {-6, 0, "-6 hour"},
  };
  for (const Case& c : cases) {
    char text[DATE_LABEL_LEN];
    EXPECT_EQ(DATE_fhour_label(text, c.fhour, c.flag), text);
    EXPECT_STREQ(text, c.text) << c.fhour << " " << c.flag;
  }
}

TEST(DateLabels, LabelFormats) {
  struct Case {
    const char* format;
    int fhour;
    Date date;
    const char* text;
  };
  const Date no_hour = make(1998, 1, 5, X, X);
  const Date full = make(1998, 1, 5, 12, 30);
  const Case cases[] = {
      {"%F %x %y%m%d/%h%n %M %f %q%", 36, no_hour, "1.5 day eta 980105/ JAN 36 q"},
      {"%F|%y%m%d%h%n", 36, full, "36 hour|9801051230"},
      {"%F", 4006012, full, "12 hour"},
      {"%F", 6006012, full, "6 hour"},
      {"%F", X, full, ""},
  };
  for (const Case& c : cases) {
    char text[DATE_LABEL_LEN];
    EXPECT_EQ(DATE_format_label(text, c.format, c.fhour, "eta", &c.date), 0);
    EXPECT_STREQ(text, c.text) << c.format;
  }
  char text[DATE_LABEL_LEN];
  EXPECT_EQ(DATE_format_label(text, nullptr, 0, nullptr, &full), -1);
  EXPECT_EQ(DATE_format_label(text, "%x.", 0, nullptr, &full), 0);
  EXPECT_STREQ(text, ".");
}

/* The model table is read once a process: lookups run in children, with
 * the shipped table, where 7083 is eta. */
std::string in_child_with_models(const std::function<std::string()>& body) {
  auto r = run_child([&] {
    RES_put("file_path", KEZ_DATA_DIR);
    std::printf("%s", body().c_str());
    return 0;
  });
  return r.out;
}

TEST(ForecastLabels, FromABaseDate) {
  struct Case {
    int fhour;
    const char* model;
    Date date;
    const char* text;
    const char* why;
  };
  const Date noon = make(1998, 1, 5, 12, X);
  const Date day = make(1998, 1, 5, X, X);
  const Case cases[] = {
      {12, "eta", noon, "12 hour eta valid 0Z TUE  6 JAN 98", "a forecast"},
      {0, "eta", noon, "eta analysis for 12Z  5 JAN 98", "an analysis"},
      {0, nullptr, noon, "Analysis for 12Z  5 JAN 98", "no model"},
      {X, "", noon, "Analysis for 12Z  5 JAN 98", "no forecast time"},
      {24, "eta", day, "1 day eta valid TUE  6 JAN 98", "a base date without hour"},
      {6012, "eta", noon, "12 hour eta valid 0Z TUE  6 JAN 98", "a period 6 to 12"},
      {6006000, "eta", noon, "6 hour eta analysis valid 12Z  5 JAN 98", "an analysis valid"},
      {6006000, nullptr, day, "6 hour Analysis valid  5 JAN 98", "analysis valid, no model"},
      {803, "eta", noon, "3 day eta valid 12Z THU  8 JAN 98", "days end 3 days later"},
      {901, "eta", noon, "1 month eta valid 12Z THU  5 FEB 98", "months end a month later"},
      {12, "eta", make(98, 14, 0, 30, X), "12 hour eta valid 12Z THU  1 JAN 98", "out-of-range fields replaced"},
  };
  for (const Case& c : cases) {
    char text[DATE_LABEL_LEN];
    EXPECT_EQ(DATE_make_label_for_time_mod(c.fhour, c.model, &c.date, text), 0) << c.why;
    EXPECT_STREQ(text, c.text) << c.why;
  }
  EXPECT_EQ(in_child_with_models([&] {
              char text[DATE_LABEL_LEN];
              return std::to_string(DATE_make_label_for_time(12, 7083, &noon, text)) + text;
            }),
            "012 hour eta valid 0Z TUE  6 JAN 98");
  char text[DATE_LABEL_LEN];
  EXPECT_EQ(DATE_make_label_valid_time(12, &noon, text), 0);
  EXPECT_STREQ(text, "0Z TUE  6 JAN 98");
  EXPECT_EQ(DATE_make_label_valid_time(12, &day, text), 0);
  EXPECT_STREQ(text, "MON  5 JAN 98");
  EXPECT_EQ(DATE_make_label_valid_time(X, &noon, text), 0);
  EXPECT_STREQ(text, "12Z MON  5 JAN 98") << "no forecast time: the base time";
}

TEST(ForecastLabels, FromBaseSeconds) {
  Date noon = make(1998, 1, 5, 12, 0);
  const long int secs = DATE_num_sec(&noon);
  struct Case {
    int fhour;
    long int secs;
    int result;
    const char* text;
  };
  const Case cases[] = {
      {12, secs, 0, "12 hour eta valid 00Z TUE  6 JAN 98"},
      {0, secs, 0, "eta analysis for 12Z  5 JAN 98"},
      {6006000, secs, 0, "6 hour eta analysis valid 12Z  5 JAN 98"},
      {X, secs, 0, "eta valid 12Z MON  5 JAN 98"},
      {12, 0, -1, "12 hour eta"},
      {0, 0, -1, "eta analysis"},
  };
  for (const Case& c : cases) {
    std::string got = in_child_with_models([&] {
      char text[DATE_LABEL_LEN];
      return std::to_string(DATE_make_label_for(c.fhour, 7083, c.secs, text)) + ":" + text;
    });
    EXPECT_EQ(got, std::to_string(c.result) + ":" + c.text) << c.fhour;
  }
}

TEST(ForecastLabelsZone, ValidTimeInTheDisplayZone) {
  auto r = run_child([] {
    DATE_set_TZ("-EST:-5");
    const Date noon = make(1998, 1, 5, 12, X);
    char text[DATE_LABEL_LEN];
    DATE_make_label_for_time_mod(12, "eta", &noon, text);
    std::printf("%s", text);
    return 0;
  });
  EXPECT_EQ(r.out, "12 hour eta valid 7 PM EST [00Z] MON  5 JAN 98");
}

TEST(ForecastLabelsModels, ModelNamesOfAnyLength) {
  kez_test::TempDir dir;
  const std::string name(120, 'm');
  kez_test::write_file(dir.file("mod_name.lup"), "7:99 " + name + "\n");
  auto r = run_child([&] {
    RES_put("file_path", dir.path().c_str());
    const Date noon = make(1998, 1, 5, 12, X);
    char text[DATE_LABEL_LEN];
    DATE_make_label_for_time(0, 7099, &noon, text);
    std::string s;
    DATE_make_label_for(12, 7099, 0, &s);
    std::printf("%s\n%s", text, s.c_str());
    return 0;
  });
  EXPECT_EQ(r.out, name + " analysis for 12Z  5 JAN 98\n12 hour " + name);
}

TEST(ForecastLabelsModels, NoModelTableGivesNoName) {
  auto r = run_child([] {
    RES_put("file_path", "/nonexistent");
    const Date noon = make(1998, 1, 5, 12, X);
    char text[DATE_LABEL_LEN];
    DATE_make_label_for_time(0, 7083, &noon, text);
    std::printf("%s", text);
    return 0;
  });
  EXPECT_EQ(r.out, "Analysis for 12Z  5 JAN 98");
  EXPECT_EQ(r.err, "VAR_model: Unable to open file: /nonexistent/mod_name.lup\n");
}

} // namespace

/* The model names come through the namer that the data layer registers;
 * without one the labels carry none. */
TEST(ForecastLabels, ModelNamesComeThroughTheRegisteredNamer) {
  Date noon = make(1998, 1, 5, 12, 0);
  const long int secs = DATE_num_sec(&noon);
  auto r = run_child([&] {
    std::string with, without;
    DATE_set_model_namer([](std::string* name, int model) {
      *name = "m" + std::to_string(model);
      return 0;
    });
    DATE_make_label_for(0, 7, secs, &with);
    DATE_set_model_namer(nullptr);
    DATE_make_label_for(0, 7, secs, &without);
    std::printf("%s|%s", with.c_str(), without.c_str());
    return 0;
  });
  EXPECT_EQ(r.out, "m7 analysis for 12Z  5 JAN 98| analysis for 12Z  5 JAN 98");
}
