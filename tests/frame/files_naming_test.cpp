#include "kez.h"
#include "kez_test.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using kez_test::read_file;
using kez_test::run_child;
using kez_test::TempDir;
using kez_test::write_file;

constexpr int X = -9999;

Date date_of(int year, int month, int day, int hour, int min) { return Date{year, month, day, X, X, hour, min, 0}; }

/* Puts the naming layer back to a known state between cases. */
void fresh_naming() {
  FILE_reset_time();
  FILE_set_type(0);
  FILE_set_min_size(0);
  FILE_set_ext_info("");
  /* Reading a convention file empties the extension of an earlier match. */
  RES_put("name_conv", "");
  RES_put("file_path", KEZ_DATA_DIR);
  FILE_set_name("no_such_type");
  RES_put("file_path", "");
  FILE_set_name("none");
  FILE_set_late_off(3600);
  for (char k : std::string("kvlfxq{")) FILE_set_key(k, "");
  RES_put("data_path", "/d");
  RES_put("grid_path", "/g");
}

std::string build(const Date& date) {
  char name[FILE_PATH_LEN];
  FILE_set_date(&date, name);
  return name;
}

std::string typed(const char* text) {
  char name[FILE_PATH_LEN];
  FILE_set_file(text, name);
  return name;
}

/* Runs a test body in a child process, so that the naming state and the
 * resources it sets never reach other tests; the child's failures fail the
 * test. */
void in_child(const std::function<void()>& body) {
  auto r = run_child([&] {
    body();
    return ::testing::Test::HasFailure() ? 1 : 0;
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

/* ---- the writer ---- */

struct WriteCase {
  const char* tmpl;
  Date date;
  int fixed_day, fixed_hour;
  const char* name;
  int step;
  const char* why;
};

TEST(NameTemplates, DatesBecomeNames) {
  in_child([&] {
    const Date jan5 = date_of(1998, 1, 5, 12, 30);
    const WriteCase cases[] = {
        {"%y%m%d%h.sfc", jan5, X, X, "98010512.sfc", 3600, "hourly template"},
        {"%y%m%d%3h.sfc", date_of(1998, 1, 5, 14, 0), X, X, "98010512.sfc", 10800,
         "width 3 rounds the hour down and steps 3 hours"},
        {"%y%m%d%h.sfc", date_of(1998, 1, 5, 14, 0), X, -6, "98010512.sfc", 21600, "fixed -6 rounds down to 6 hours"},
        {"%y%m%d%h.sfc", date_of(1998, 1, 5, 14, 0), X, -306, "98010515.sfc", 21600,
         "fixed -306 adds 3 after rounding to 6"},
        {"%y%m%d%h.sfc", date_of(1998, 1, 5, 14, 0), X, -300, "98010514.sfc", 3600, "fixed -300 asks for no rounding"},
        {"%y%m%d%h.sfc", date_of(1998, 1, 5, 14, 0), X, 0, "98010500.sfc", 3600, "a fixed hour wins over the date"},
        {"%Y%m%d", date_of(1998, 1, 7, 0, 0), -5, X, "19980105", 432000,
         "fixed day -5 rounds the day and steps 5 days"},
        {"%Y%j_%b.%n", jan5, X, X, "1998005_jan.30", 60, "day of year, month name, minutes"},
        {"%y%m%d%h", date_of(1998, 1, 5, X, X), X, X, "98010500", 3600, "an unset hour writes 00"},
        {"%b%y", date_of(1998, X, 5, 1, 0), X, X, "xxx98", -9999, "an unset month name, no step"},
        {"%10Y", jan5, X, X, "1990", -9999, "the year rounded to decades"},
        {"a b{c}%%*", jan5, X, X, "a_bc%*", -9999, "blanks, braces, percent and star"},
        {"%y%j%h", jan5, 2147483647, 0, "9800000", 3600, "a fixed day past any month has no day of year"},
        {"%y%j%h", jan5, 32, 0, "9800000", 3600, "day 32 neither"},
        {"%y%j%h", jan5, 31, 0, "9803100", 3600, "the last day of January"},
    };
    for (const WriteCase& c : cases) {
      fresh_naming();
      Date fixed = date_of(X, X, c.fixed_day, c.fixed_hour, X);
      FILE_set_time(&fixed);
      ASSERT_EQ(FILE_set_name((std::string("@") + c.tmpl).c_str()), 1);
      char name[FILE_PATH_LEN];
      EXPECT_EQ(FILE_set_date(&c.date, name), 0) << c.why;
      EXPECT_STREQ(name, c.name) << c.why;
      EXPECT_EQ(FILE_get_late_off(), c.step) << c.why;
      EXPECT_STREQ(FILE_get_filename(nullptr), c.name) << c.why << ": the name becomes current";
    }
  });
}

TEST(NameTemplates, TheFileDateHoldsWhatTheNameHolds) {
  in_child([&] {
    fresh_naming();
    FILE_set_name("@%y%j_%3h");
    build(date_of(1998, 2, 1, 14, 30));
    Date got;
    FILE_get_date(&got);
    EXPECT_EQ(got.year, 1998);
    EXPECT_EQ(got.month, 2);
    EXPECT_EQ(got.day, 1);
    EXPECT_EQ(got.jday, 32);
    EXPECT_EQ(got.hour, 12) << "the rounded hour that was written";
    EXPECT_EQ(got.min, X) << "no minute in the name";

    /* A null date rebuilds the name from the file date. */
    char name[FILE_PATH_LEN];
    FILE_set_date(nullptr, name);
    EXPECT_STREQ(name, "98032_12");
  });
}

TEST(NameTemplates, KeysPathsAndResources) {
  in_child([&] {
    fresh_naming();
    RES_put("image_path", "/img/");
    FILE_set_key('v', "temp");
    FILE_set_name("@%D/%v_%2v_%q_%{image_path}/%y.dat");
    EXPECT_EQ(build(date_of(1998, 1, 5, 12, 0)), "/d/temp_te_0_/img//98.dat")
        << "a path code drops its trailing slash, %{name} writes the value as it stands";
    RES_put("data_path", "");
    EXPECT_EQ(build(date_of(1998, 1, 5, 12, 0)), "./temp_te_0_/img//98.dat")
        << "an empty directory resource is the current directory";
  });
}

TEST(NameTemplates, KeyTexts) {
  in_child([&] {
    fresh_naming();
    char text[FILE_KEY_LEN];
    FILE_set_key('v', "sea level pressure");
    FILE_get_key('v', text);
    EXPECT_STREQ(text, "sea_level_pressure");
    FILE_set_key('v', "abcdefghijklmnopqrstuvwxyz0123456789");
    FILE_get_key('v', text);
    EXPECT_STREQ(text, "abcdefghijklmnopqrstuvwxyz012");
    FILE_set_key('\xe9', "high");
    FILE_get_key('\xe9', text);
    EXPECT_STREQ(text, "high") << "every character can be a key";
  });
}

TEST(NameTemplates, WithoutTemplateOrYearTheCurrentNameStands) {
  in_child([&] {
    fresh_naming();
    EXPECT_EQ(FILE_set_name("NONE"), 0);
    char name[FILE_PATH_LEN];
    EXPECT_EQ(FILE_set_date(nullptr, name), 1);
    EXPECT_STREQ(name, "filename");

    FILE_set_name("@%y%m%d%h.sfc");
    build(date_of(1998, 1, 5, 12, 0));
    Date no_year = date_of(X, 1, 6, 0, 0);
    EXPECT_EQ(FILE_set_date(&no_year, name), 1);
    EXPECT_STREQ(name, "98010512.sfc");

    FILE_set_name("@-");
    EXPECT_EQ(FILE_set_date(&no_year, name), 1);
    EXPECT_STREQ(name, "-") << "a template that names a standard stream";
  });
}

TEST(NameTemplates, TypedFullPathLendsItsDirectory) {
  in_child([&] {
    fresh_naming();
    FILE_set_name("@%D/%y%m%d%h.sfc");
    FILE_set_filename("/x/y/98010512.sfc");
    EXPECT_EQ(build(date_of(1998, 1, 5, 15, 0)), "/x/y/98010515.sfc");
    EXPECT_EQ(build(date_of(1998, 1, 5, 18, 0)), "/d/98010518.sfc") << "a built name is no longer typed";
  });
}

TEST(NameTemplates, TimeStepOfZeroIsRefused) {
  in_child([&] {
    fresh_naming();
    char text[FILE_PATH_LEN];
    EXPECT_EQ(FILE_set_name_conv("10800 %y%m%d%h.sfc %y%m%d%h.hdr"), 0);
    FILE_get_name_conv(text);
    EXPECT_STREQ(text, "10800 %y%m%d%h.sfc %y%m%d%h.hdr");
    auto r = kez_test::capture([] {
      EXPECT_EQ(FILE_set_name_conv("0 a b"), -1);
      EXPECT_EQ(FILE_set_late_off(-5), -1);
    });
    EXPECT_EQ(r.err,
              "FILE_set_late_off: Time step of 0 seconds refused\n"
              "FILE_set_late_off: Time step of -5 seconds refused\n");
    EXPECT_EQ(FILE_get_late_off(), 10800);
    EXPECT_EQ(FILE_set_late_off(-9999), 0) << "no step at all is a step the naming layer knows";
    EXPECT_EQ(FILE_get_offset(), 100000);
  });
}

/* ---- the convention file ---- */

class Conventions : public ::testing::Test {
 protected:
  /* Called in the child: the convention file lives in the test's folder. */
  void use_folder() const {
    fresh_naming();
    RES_put("file_path", dir.path().c_str());
  }
  void conventions(const std::string& text) { write_file(dir.file("name_conv"), text); }
  TempDir dir;
};

struct ConvCase {
  const char* lines;
  const char* type;
  int result;
  const char* name; /* built for 1998-01-05 12 h */
  int min_size;
  const char* header; /* "" none */
};

TEST_F(Conventions, FirstExactOrBeginningMatchWins) {
  in_child([&] {
    use_folder();
    const char* grd_first =
        "# type template header size\n"
        "sfc_grd   %G/%y%m%d%h_grd.%e  %G/%y%m%d%h.hdr  500\n"
        "sfc       %y%m%d%h_sfc.dat    -                10\n";
    const char* sfc_first =
        "sfc       %y%m%d%h_sfc.dat    -                10\n"
        "\n"
        "sfc_grd   %G/%y%m%d%h_grd.%e  %G/%y%m%d%h.hdr  500\n";
    const ConvCase cases[] = {
        {grd_first, "sfc_grd_cdf", 1, "/g/98010512_grd.cdf", 500, "/g/98010512.hdr"},
        {grd_first, "SFC_GRD", 1, "/g/98010512_grd.", 500, "/g/98010512.hdr"},
        {sfc_first, "sfc_grd_cdf", 1, "98010512_sfc.dat", 10, ""},
        {sfc_first, "sfc", 1, "98010512_sfc.dat", 10, ""},
        {grd_first, "upa", 0, "upa", 0, ""},
        {"sfc_raw\n#sfc_x %h\nsfc_x %m nonsense\nsfc %y\n", "sfc_x", 1, "01", 0, "nonsense"},
    };
    for (const ConvCase& c : cases) {
      conventions(c.lines);
      FILE_set_min_size(0);
      EXPECT_EQ(FILE_set_name(c.type), c.result) << c.type;
      EXPECT_EQ(build(date_of(1998, 1, 5, 12, 0)), c.name) << c.type;
      EXPECT_EQ(FILE_get_min_size(), c.min_size) << c.type;
      char header[FILE_PATH_LEN] = "";
      Date jan5 = date_of(1998, 1, 5, 12, 0);
      EXPECT_EQ(FILE_hdr_set_date(&jan5, header), *c.header ? 1 : 0) << c.type;
      if (c.result == 1) {
        EXPECT_STREQ(header, c.header) << c.type;
      }
    }
  });
}

TEST_F(Conventions, UnmatchedTypeKeepsNothingOfTheLastLine) {
  in_child([&] {
    use_folder();
    conventions("sfc_grd %G/%y%m%d%h.grd %G/%y%m%d%h.hdr 500\n");
    ASSERT_EQ(FILE_set_name("upa"), 0);
    EXPECT_EQ(FILE_get_min_size(), 0);
    char text[FILE_PATH_LEN];
    FILE_get_name_conv(text);
    EXPECT_STREQ(text, "3600 upa ");
  });
}

TEST_F(Conventions, MissingFileMakesTheTypeTheTemplate) {
  in_child([&] {
    use_folder();
    auto r = kez_test::capture([] { EXPECT_EQ(FILE_set_name("%y%m%d.x"), 0); });
    EXPECT_NE(r.err.find("FILE_set_name: No file name convention file: "), std::string::npos);
    EXPECT_EQ(build(date_of(1998, 1, 5, 12, 0)), "980105.x");

    r = kez_test::capture([] { EXPECT_EQ(FILE_set_name("@%y%m%d.dat"), 1); });
    EXPECT_EQ(r.err, "") << "a template after the at sign reads no file";
    EXPECT_EQ(build(date_of(1998, 1, 5, 12, 0)), "980105.dat");
  });
}

TEST_F(Conventions, KeySuffixesSetKeysAndLeaveTheCallersText) {
  in_child([&] {
    use_folder();
    conventions("sfc_raw %R/%y%m%d%h_%v_%l.raw - 0\n");
    RES_put("raw_path", "/r");
    const char type[] = "sfc_raw:v=temp:l=500 mb:x:q=";
    EXPECT_EQ(FILE_set_name(type), 1);
    EXPECT_STREQ(type, "sfc_raw:v=temp:l=500 mb:x:q=");
    EXPECT_EQ(build(date_of(1998, 1, 5, 12, 0)), "/r/98010512_temp_500_mb.raw");
  });
}

TEST_F(Conventions, LongAndHostileInputKeepsWhole) {
  in_child([&] {
    use_folder();
    const std::string long_type = "t" + std::string(5000, 'x');
    conventions("# " + std::string(100000, '#') + "\n" + long_type + " %y%99999999h_" + std::string(300, 'n') +
                " - 99999999999999999999\n");
    EXPECT_EQ(FILE_set_name(long_type.c_str()), 1);
    EXPECT_EQ(FILE_get_min_size(), 2147483647) << "a size too large is cut to the largest";
    EXPECT_EQ(build(date_of(1998, 1, 5, 12, 0)), "9800_" + std::string(300, 'n'))
        << "a width too large rounds every hour to 0";

    FILE_set_name("@%y%m%d%h.sfc");
    const std::string typed_text(3000, 'a');
    EXPECT_EQ(typed(typed_text.c_str()), typed_text) << "typed names keep every character";
  });
}

TEST_F(Conventions, SaveAndRestoreBracket) {
  in_child([&] {
    use_folder();
    conventions(
        "sfc_cvt %D/%y%m%d%h_sao.wmo - 100\n"
        "sfc_grd %G/%y%m%d%3h_grd.%e - 0\n");
    FILE_set_name("sfc_cvt");
    build(date_of(1998, 1, 5, 12, 0));
    FILE_save_name_conv();
    FILE_set_name("sfc_grd_cdf");
    EXPECT_EQ(build(date_of(1998, 1, 5, 14, 0)), "/g/98010512_grd.cdf");
    EXPECT_EQ(FILE_get_late_off(), 10800);
    FILE_restore_name_conv();
    EXPECT_STREQ(FILE_get_filename(nullptr), "/d/98010512_sao.wmo");
    EXPECT_EQ(FILE_get_late_off(), 3600);
    EXPECT_EQ(FILE_get_min_size(), 100) << "the minimum size comes back with the template";
    EXPECT_EQ(build(date_of(1998, 1, 5, 15, 0)), "/d/98010515_sao.wmo");
  });
}

TEST(NameConventionFile, KeysSetBeforeTheFirstSelectionStay) {
  in_child([&] {
    auto r = run_child([] {
      FILE_set_key('v', "temp");
      FILE_set_name("@%v_%y.dat");
      Date d = date_of(1998, 1, 5, 12, 0);
      char name[FILE_PATH_LEN];
      FILE_set_date(&d, name);
      return std::strcmp(name, "temp_98.dat") == 0 ? 0 : 1;
    });
    EXPECT_EQ(r.status, 0);
  });
}

TEST(NameConventionFile, ShippedConventionsNameTheSuitesFiles) {
  in_child([&] {
    struct Case {
      const char* type;
      const char* name;
    };
    const Case cases[] = {
        {"sfc_cvt", "/d/98010512_sao.wmo"},    {"sfc_raw:v=temp", "/r/98010512_temp.raw"},
        {"sfc_grd", "/g/98010512_sfc.grd"},    {"sfc_grd_kez", "/g/98010512_sfc.grd"},
        {"sfc_grd_cdf", "/g/98010512_sfc.nc"}, {"raw_grd:v=t", "/g/98010512_t.grd"},
        {"frt_dat", "/d/98010512_frt.dat"},    {"frf_dat", "/d/98010512_frf.dat"},
    };
    fresh_naming();
    RES_put("file_path", KEZ_DATA_DIR);
    RES_put("raw_path", "/r");
    for (const Case& c : cases) {
      EXPECT_EQ(FILE_set_name(c.type), 1) << c.type;
      EXPECT_EQ(build(date_of(1998, 1, 5, 12, 0)), c.name) << c.type;
    }
  });
}

/* ---- typed names ---- */

struct TypedCase {
  const char* tmpl;
  const char* text;
  const char* name;
  int year, month, day, hour;
  const char* why;
};

TEST(TypedNames, TemplateWalkedAlongTheText) {
  in_child([&] {
    const TypedCase cases[] = {
        {"%D/%y%m%d%h.sfc", "98010512", "/d/98010512.sfc", 1998, 1, 5, 12,
         "date digits get the directory and the extension"},
        {"%D/%y%m%d%h.sfc", "/x/y/98010512.sfc", "/x/y/98010512.sfc", 1998, 1, 5, 12,
         "a full path keeps its directory"},
        {"%D/%y%m%d%h.sfc", "./98010512", "./98010512.sfc", 1998, 1, 5, 12, "a relative path"},
        {"%y%m%d.sfc", "abc", "abc", X, X, X, X, "no date: the text stays"},
        {"%k_%y%m%d", "980105_x", "980105_x", X, X, X, X, "an empty key takes the text unchanged"},
        {"sfc_%y%m%d.dat", "980105", "980105", X, X, X, X, "first character differs"},
        {"sfc_%y%m%d.dat", "sfc_980105", "sfc_980105.dat", 1998, 1, 5, X, "the prefix typed"},
        {"%D/%y%m%d%h_sao.wmo", "98010512.dat", "/d/98010512.dat", 1998, 1, 5, 12, "a typed extension stays"},
        {"%Y%j.dat", "1998036", "1998036.dat", 1998, 2, 5, X, "day of the year"},
        {"%y%b%d.dat", "98jan05", "98jan05.dat", 1998, 1, 5, X, "month name"},
        {"%y%b%d.dat", "98xyz05", "98xyz05", 1998, X, X, X, "not a month name"},
        {"%v_%y%m%d", "temp_980105", "temp_980105", 1998, 1, 5, X, "key text skipped"},
        {"%y%m%d{.sfc}", "050105", "050105.sfc", 2005, 1, 5, X, "braces write without consuming"},
        {"%y%m%d*", "980105_any", "980105_any", 1998, 1, 5, X, "a star takes the rest"},
        {"%y%m%d%h.%e", "98010512.grb", "98010512.grb", 1998, 1, 5, 12, "extension typed"},
        {"%y%m%d%h", "-", "-", X, X, X, X, "standard input"},
        {"%y%m%d%h", "@abc", "abc", X, X, X, X, "an at sign takes the rest"},
        {"%y%m%d%h", "NONE", "NONE", X, X, X, X, "none"},
        {"/data/%y%m%d%h", "/x/98010512", "/x/98010512", X, X, X, X, "both full paths"},
    };
    for (const TypedCase& c : cases) {
      fresh_naming();
      FILE_set_key('v', "temp");
      FILE_set_name((std::string("@") + c.tmpl).c_str());
      EXPECT_EQ(typed(c.text), c.name) << c.why;
      Date got;
      FILE_get_date(&got);
      EXPECT_EQ(got.year, c.year) << c.why;
      EXPECT_EQ(got.month, c.month) << c.why;
      EXPECT_EQ(got.day, c.day) << c.why;
      EXPECT_EQ(got.hour, c.hour) << c.why;
    }
  });
}

TEST(TypedNames, ReadingSetsTheTimeStepAndKeepsTheCurrentName) {
  in_child([&] {
    fresh_naming();
    FILE_set_name("@%D/%y%m%d%3h.sfc");
    FILE_set_filename("before");
    EXPECT_EQ(typed("98010512"), "/d/98010512.sfc");
    EXPECT_EQ(FILE_get_late_off(), 10800);
    EXPECT_STREQ(FILE_get_filename(nullptr), "before");
  });
}

TEST(TypedNames, NoTemplateTakesTheTextAsTheCurrentName) {
  in_child([&] {
    fresh_naming();
    EXPECT_EQ(typed("my.file"), "my.file");
    EXPECT_STREQ(FILE_get_filename(nullptr), "my.file");
  });
}

TEST(TypedNames, DateSuffixFixesThePartsForLaterNames) {
  in_child([&] {
    auto r = run_child([] {
      FILE_set_name("@%y%m%d%h.sfc");
      char name[FILE_PATH_LEN];
      FILE_set_file("sfc#1998010512", name);
      if (std::strcmp(name, "sfc") != 0) return 1;
      Date fixed;
      FILE_get_time(&fixed);
      if (fixed.year != 1998 || fixed.month != 1 || fixed.day != 5 || fixed.hour != 12 || fixed.min != X) return 2;
      Date other = date_of(2001, 7, 9, 3, 0);
      FILE_set_date(&other, name);
      if (std::strcmp(name, "98010512.sfc") != 0) return 3;
      FILE_set_file("98#2001", name); /* only the year given */
      FILE_get_time(&fixed);
      return fixed.year == 2001 && fixed.month == 1 ? 0 : 4;
    });
    EXPECT_EQ(r.status, 0);
  });
}

TEST(TypedNames, GridNamesKeepTheirExtraInformation) {
  in_child([&] {
    fresh_naming();
    FILE_set_type(1);
    FILE_set_name("@%G/*");
    EXPECT_EQ(typed("/m/gfs.grb#ft=12"), "/m/gfs.grb");
    EXPECT_STREQ(FILE_get_ext_info(), "#ft=12");
    FILE_set_type(0);

    struct Case {
      const char* text;
      const char* left;
      const char* info; /* "kept": the earlier text stays */
    };
    const Case cases[] = {
        {"abc-def", "abc", "-def"},
        {"ab:c+d", "ab", ":c+d"},
        {"a-bcd", "a-bcd", "kept"}, /* a marker before the third character is none */
        {"x", "x", "kept"},
    };
    for (const Case& c : cases) {
      FILE_set_ext_info("kept");
      std::vector<char> text(c.text, c.text + std::strlen(c.text) + 1);
      FILE_extract_extra_info(text.data());
      EXPECT_STREQ(text.data(), c.left) << c.text;
      EXPECT_STREQ(FILE_get_ext_info(), c.info) << c.text;
    }
  });
}

TEST(TypedNames, ExitEndsTheProgram) {
  in_child([&] {
    auto r = run_child([] {
      FILE_set_name("@%y%m%d%h");
      char name[FILE_PATH_LEN];
      FILE_set_file("EXIT", name);
      return 5;
    });
    EXPECT_EQ(r.status, 0);
  });
}

/* ---- listings ---- */

class Listing : public ::testing::Test {
 protected:
  TempDir dir;
};

TEST_F(Listing, PatternOfTheTemplate) {
  in_child([&] {
    fresh_naming();
    auto r = run_child([] {
      MESS_set(1, M_debug);
      FILE_set_name("@%y%m%d%h_sao.%e");
      FILE_list_file();
      return 0;
    });
    EXPECT_NE(r.out.find("SEARCH: [0-9]?[0-9]?[0-9]?[0-9]?_sao.*\n"), std::string::npos) << r.out;
  });
}

TEST_F(Listing, ListsMatchingFilesAcross) {
  in_child([&] {
    fresh_naming();
    for (const char* f : {"98010512_sao.wmo", "98010515_sao.wmo", "98010600_sao.wmo", "notes.txt", "9801051_sao.wmo"})
      write_file(dir.file(f), "x");
    RES_put("data_path", dir.path().c_str());
    FILE_set_name("@%D/%y%m%d%h_sao.wmo");
    auto r = kez_test::capture([] { FILE_list_file(); });
    const std::string d = dir.path() + "/";
    std::vector<std::string> listed;
    std::istringstream words(r.out);
    for (std::string w; words >> w;) listed.push_back(w);
    const std::vector<std::string> want = {d + "98010512_sao.wmo", d + "98010515_sao.wmo", d + "98010600_sao.wmo"};
    EXPECT_EQ(listed, want) << r.out;
  });
}

TEST_F(Listing, HostileTextIsMatchedNeverRun) {
  in_child([&] {
    fresh_naming();
    /* Directory, key and extension texts that a shell would split, quote or run. */
    const std::string odd = dir.path() + "/a b'c\";touch ran$(touch ran2)";
    std::filesystem::create_directories(odd);
    write_file(odd + "/98010512_x;touch_ran3.wmo", "x");
    write_file(odd + "/98010515_x;touch_ran3.wmo", "x");
    write_file(odd + "/other.wmo", "x");
    const std::string where = dir.path();
    auto r = run_child([&] {
      if (::chdir(where.c_str()) != 0) return 9;
      RES_put("data_path", (where + "/a b'c\";touch ran$(touch ran2)").c_str());
      FILE_set_key('k', "x;touch ran3");
      FILE_set_name("@%D/%y%m%d%h_%k.wmo");
      FILE_list_file();
      return 0;
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("98010512_x;touch_ran3.wmo"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("other.wmo"), std::string::npos) << r.out;
    for (const char* f : {"ran", "ran2", "ran3", "touch"})
      EXPECT_FALSE(std::filesystem::exists(dir.file(f))) << f << " was made by a command";
  });
}

TEST_F(Listing, WildcardsInLiteralTextMatchOnlyThemselves) {
  in_child([&] {
    fresh_naming();
    write_file(dir.file("98010512[1].dat"), "x");
    write_file(dir.file("980105121.dat"), "x");
    RES_put("data_path", dir.path().c_str());
    FILE_set_name("@%D/%y%m%d%h[1].dat");
    auto r = kez_test::capture([] { FILE_list_file(); });
    EXPECT_EQ(r.out, dir.path() + "/98010512[1].dat\n");
    FILE_set_name("@%D/nothing%y");
    r = kez_test::capture([] { FILE_list_file(); });
    EXPECT_NE(r.out.find("No files match: "), std::string::npos);
  });
}

} // namespace
