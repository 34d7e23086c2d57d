#include "kez.h"
#include "kez_test.h"
#include "kezresrc.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using kez_test::capture;
using kez_test::run_child;

TEST(ResourceStore, ValuesNoValuesAndAbsence) {
  auto r = run_child([] {
    RES_new(-9999, "title", "Plot", CV_string);
    RES_new(-9999, "batch", nullptr, CV_batch);
    std::string report = std::string(RES_get("title")) + "|" + (RES_get("batch") ? RES_get("batch") : "(null)") + "|" +
                         (RES_get("Title") ? "found" : "(null)") + "|" + (RES_get("absent") ? "found" : "(null)");
    RES_new(3, "title", "Later", CV_int);
    report += "|" + std::string(RES_get("title")) + "\n";
    RES_list();
    std::printf("%s", report.c_str());
    return 0;
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "title: Later\nbatch:\nPlot||(null)|(null)|Later\n")
      << "the listing (a replaced resource keeps its place), then: the value, an empty value without data, "
         "names compared with case, an absent name, the replaced value";
}

TEST(ResourceStore, AppendJoinsWithLineFeeds) {
  auto r = run_child([] {
    RES_new(-9999, "filename", "a", CV_strings);
    RES_append(5, "filename", "b", CV_string);
    RES_append(-9999, "filename", nullptr, CV_string);
    RES_new(-9999, "list", "a", CV_string);
    RES_append(-9999, "list", "b", CV_string);
    int n1 = 0, n2 = 0;
    char** v1 = nullptr;
    char** v2 = nullptr;
    RES_getvals("filename", &n1, &v1);
    RES_getvals("list", &n2, &v2);
    EXPECT_STREQ(RES_get("filename"), "a\nb") << "joined by a line feed";
    EXPECT_EQ(n1, 2) << "a CV_strings value is cut at line feeds";
    EXPECT_EQ(n2, 1) << "a plain value is not";
    if (n1 == 2) {
      EXPECT_STREQ(v1[1], "b");
    }
    if (n2 == 1) {
      EXPECT_STREQ(v2[0], "a\nb");
    }
    free_parsed_array(n1, v1);
    free_parsed_array(n2, v2);
    int n3 = 7;
    char** v3 = nullptr;
    EXPECT_EQ(RES_getvals("absent", &n3, &v3), 0);
    EXPECT_EQ(n3, 0);
    EXPECT_EQ(v3, nullptr);
    return ::testing::Test::HasFailure() ? 1 : 0;
  });
  EXPECT_EQ(r.status, 0) << r.out;
}

TEST(ResourceConvert, Numbers) {
  /* Each converter writes its own width; the output starts at 99 so that a
   * value left alone shows. */
  struct Case {
    DEF_convert cvt;
    const char* value;
    long long expected;
    const char* why;
  };
  const Case cases[] = {
      {CV_int, "0x1F", 31, "base 16"},
      {CV_int, "-12", -12, "a sign"},
      {CV_int, "+7", 7, ""},
      {CV_int, "abc", 99, "no number: left"},
      {CV_int, "99999999999", 2147483647, "bounded, not wrapped"},
      {CV_int, "-99999999999", -2147483648LL, "bounded below"},
      {CV_short, "-12", 99, "no sign accepted"},
      {CV_short, "1234", 1234, ""},
      {CV_short, "70000", 32767, "bounded to 16 bits"},
      {CV_long, "123456789012", 123456789012LL, "64 bits"},
      {CV_long, "42x", 42, "the leading number"},
      {CV_long, "-5", 99, "no sign accepted"},
      {CV_long, "x", 99, "no number: left"},
      {CV_color, "5", 5, ""},
      {CV_color, "-3", -3, "a sign"},
      {CV_color, "red", 0, "no number: 0"},
      {CV_color, "12abc", 12, "the leading number"},
      {CV_color, "99999999999999999999", 9223372036854775807LL, "bounded, not undefined"},
  };
  for (const Case& c : cases) {
    auto r = run_child([&] {
      RES_put("v", c.value);
      long long got = 0;
      if (c.cvt == CV_int) {
        int v = 99;
        RES_getval("v", &v, c.cvt);
        got = v;
      } else if (c.cvt == CV_short) {
        short v = 99;
        RES_getval("v", &v, c.cvt);
        got = v;
      } else {
        long int v = 99;
        RES_getval("v", &v, c.cvt);
        got = v;
      }
      std::printf("%lld", got);
      return 0;
    });
    EXPECT_EQ(r.out, std::to_string(c.expected)) << c.cvt << " " << c.value << ": " << c.why;
  }
}

TEST(ResourceConvert, FloatsAndSwitches) {
  auto r = run_child([] {
    float f = 1.0f;
    RES_put("v", "abc");
    RES_getval("v", &f, CV_float);
    EXPECT_EQ(f, 0.0f) << "no number: 0";
    RES_put("v", "2.5e1x");
    RES_getval("v", &f, CV_float);
    EXPECT_EQ(f, 25.0f) << "the leading number";
    int b = 7;
    RES_new(-9999, "flag", nullptr, CV_bool);
    RES_getval("flag", &b, CV_bool);
    EXPECT_EQ(b, 1) << "a switch without a value is on";
    RES_put("flag", "No");
    RES_getval("flag", &b, CV_bool);
    EXPECT_EQ(b, 0) << "no";
    RES_put("flag", "maybe");
    RES_getval("flag", &b, CV_bool);
    EXPECT_EQ(b, 0) << "another word leaves the switch";
    RES_put("flag", "ON");
    RES_getval("flag", &b, CV_bool);
    EXPECT_EQ(b, 1) << "on";
    EXPECT_EQ(RES_getval("absent", &b, CV_bool), 0);
    return ::testing::Test::HasFailure() ? 1 : 0;
  });
  EXPECT_EQ(r.status, 0) << r.out;
}

TEST(ResourceConvert, DeviceAndPath) {
  auto r = run_child([] {
    char* name = nullptr;
    RES_put("device", "p,|lpr");
    RES_getval("device", &name, CV_device);
    EXPECT_EQ(FLAG_get(2), 4) << "p: the printer";
    EXPECT_STREQ(name, "|lpr") << "the text after the comma";
    name = nullptr;
    RES_put("device", "x");
    RES_getval("device", &name, CV_device);
    EXPECT_EQ(FLAG_get(2), 1) << "an unknown letter";
    EXPECT_EQ(name, nullptr) << "no comma: no name";
    char* path = nullptr;
    RES_put("data_path", "/data");
    RES_getval("data_path", &path, CV_path);
    EXPECT_STREQ(path, "/data/") << "a path gets its slash";
    std::free(path);
    RES_put("data_path", "NONE");
    RES_getval("data_path", &path, CV_path);
    EXPECT_STREQ(path, "") << "none, in any case, is the empty path";
    std::free(path);
    return ::testing::Test::HasFailure() ? 1 : 0;
  });
  EXPECT_EQ(r.status, 0) << r.out;
}

TEST(ResourceConvert, ProgramName) {
  auto r = run_child([] {
    char arg0[] = "/usr/bin/prog";
    char* argv[] = {arg0, nullptr};
    RES_setCL(1, argv);
    char buf[FILE_PATH_LEN];
    char* own = RES_get_progname(nullptr);
    EXPECT_STREQ(RES_get_progname(buf), "prog") << "into the buffer";
    EXPECT_STREQ(own, "prog") << "allocated";
    std::free(own);
    return ::testing::Test::HasFailure() ? 1 : 0;
  });
  EXPECT_EQ(r.status, 0) << r.out;
}

TEST(ResourceHelp, PrintsTheOptionHelpOfBothKeyLists) {
  auto r = run_child([] {
    const res_type keys[] = {RES_batch,  RES_message,      RES_age,         RES_color_front,
                             RES_region, RES_object_param, RES_plot_domain, RES_null};
    const res_type pos[] = {RES_filenames, RES_null};
    RES_help_print("kezsfc", keys, pos);
    return 0;
  });
  const std::string expected = std::string("kezsfc syntax (version:") + KEZ_version() + ")\n" +
                               "   kezsfc [options...]\n"
                               "Keyed options...\n"
                               " -df file    Resource/defaults file name\n"
                               " -na name    Program name\n"
                               " -ba         Run program in batch mode\n"
                               " -me level   Message level to be displayed:\n"
                               "               none,print,error,warn,mess,out1,*out2,out3,out4,debug\n"
                               " -cofr hclr,lclr,cclr,wclr,oclr,tclr  Front colors\n"
                               " -re region or [proj],clat,clon[,nx,ny][,dx,dy]\n"
                               "             Region to be used for plotting and gridding\n"
                               "               region=predefined region:\n"
                               "                  us,ne,at,se,mw,sp,nw,sw,etc\n"
                               "               proj=projection, clat=central latitude, clon=central longitude,\n"
                               "               nx,ny=number of gridpoints and dx,dy=grid spacing\n"
                               "               us,ne,at,se,mw,sp,nw,sw,var\n"
                               " -oa smooth[,radinf,pass,conv,min]\n"
                               "             Objective analysis parameters\n"
                               " -pd region or [proj],clat,clon[,nx,ny][,dx,dy]\n"
                               "             Output plot domain\n"
                               "               region=predefined region:\n"
                               "                  us,ne,at,se,mw,sp,nw,sw,etc\n"
                               "               proj=projection, clat=central latitude, clon=central longitude,\n"
                               "               nx,ny=number of gridpoints and dx,dy=grid spacing\n"
                               "Positional options...\n"
                               " file [file...]  Input file names\n";
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, expected) << "a key without help (RES_age) prints nothing";
}

TEST(ResourceDefinitions, KeysGiveTheirDefinitions) {
  struct Case {
    res_type key;
    const char* name;
    const char* env;
    const char* cmd;
    DEF_convert cvt;
  };
  const Case cases[] = {
      {RES_background, "background", "kezback", "bg", CV_string},
      {RES_con_interval, "con_interval", "kezconint", "in", CV_float},
      {RES_input, "input", "kezin", "in", CV_string},
      {RES_inputg, "input", "kezin", "inp", CV_string},
      {RES_command, "command", "kezcommand", "10", CV_strings},
      {RES_commands, "command", "kezcommand", "cd", CV_string},
      {RES_filename, "filename", "kezfilename", "1", CV_strcpy},
      {RES_filenames, "filename", "kezfilename", "10", CV_strings},
      {RES_values, "value", "kezvalue", "10", CV_strings},
      {RES_hour, "hour", "kezhour", "ho", CV_hour},
      {RES_sat_path, "sat_path", "kezsat", "sp", CV_path},
  };
  for (const Case& c : cases) {
    int count = 0;
    RES_defobj obj;
    RES_fill_obj(&obj, "x", "y", "z", CV_int, reinterpret_cast<char*>(&count), &count);
    EXPECT_EQ(RES_enter(&obj, c.key), 1);
    EXPECT_STREQ(obj.def, c.name);
    EXPECT_STREQ(obj.env, c.env);
    EXPECT_STREQ(obj.cmd, c.cmd) << c.name;
    EXPECT_EQ(obj.cvt, c.cvt) << c.name;
    EXPECT_EQ(obj.out, nullptr);
    EXPECT_EQ(obj.num, nullptr);
  }

  int defined = 0;
  for (int k = RES_null; k <= RES_sat_path; ++k) {
    RES_defobj obj;
    RES_enter(&obj, static_cast<res_type>(k));
    if (*obj.def) ++defined;
  }
  EXPECT_EQ(defined, 89);
}

TEST(ResourceDefinitions, KeyWithoutDefinitionPrintsNothing) {
  RES_defobj obj;
  auto r = capture([&] {
    RES_enter(&obj, RES_age);
    RES_enter(&obj, static_cast<res_type>(500));
    RES_help_item(RES_unit);
  });
  EXPECT_STREQ(obj.def, "");
  EXPECT_STREQ(obj.env, "");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
}

TEST(ResourceConvert, HourFixesDateParts) {
  struct Case {
    const char* text;
    int year, month, day, hour, min;
  };
  constexpr int U = -9999;
  const Case cases[] = {
      {"#2024031512", 2024, 3, 15, 12, U},
      {"#202403151230", 2024, 3, 15, 12, 30},
      {"#2024", 2024, U, U, U, U},
      {"#20240", 2024, 0, U, U, U},    // a lone last digit is still a month
      {"#2024x315", 2024, U, U, U, U}, // parts stop at the first non-digit
      {"031512", U, 3, 15, 12, U},
      {"1512", U, U, 15, 12, U},
      {"512", U, U, 5, 12, U},
      {"2d06:30", U, U, 2, 6, 30},
      {"2d06", U, U, 2, 6, U},
      {":30", U, U, U, U, 30},
      {"-:30", U, U, U, U, -30},
      {"-0:30", U, U, U, U, -30},
      {"-0", U, U, U, U, U},
      {"-306", U, U, U, -306, U},
      {"6", U, U, U, 6, U},
      {"12:45", U, U, U, 12, 45},
      {"abc", U, U, U, U, U},
      {"", U, U, U, U, U},
  };
  for (const Case& c : cases) {
    auto r = run_child([&] {
      std::string text = c.text;
      if (RES_conv_data(text.data(), nullptr, CV_hour) != 1) return 1;
      Date d;
      FILE_get_time(&d);
      std::printf("%d %d %d %d %d", d.year, d.month, d.day, d.hour, d.min);
      return 0;
    });
    char expected[96];
    std::snprintf(expected, sizeof expected, "%d %d %d %d %d", c.year, c.month, c.day, c.hour, c.min);
    EXPECT_EQ(r.status, 0) << c.text;
    EXPECT_EQ(r.out, expected) << c.text;
  }
}

TEST(ResourceConvert, DrawSwitchesPlotParts) {
  struct Case {
    const char* text;
    const char* parts; /* parts 1 to 11, on or off */
    int all;           /* part 12, the number of parts on */
  };
  const Case cases[] = {
      {"map,data", "00000011000", 2},   {"-text", "00000011110", 4},       {"-all", "11111111111", 17},
      {"none,+grid", "00000000100", 1}, {"+map,bogus", "11111111111", 17}, {"text_ul,-data,+sum", "10000000010", 3},
  };
  for (const Case& c : cases) {
    auto r = run_child([&] {
      std::string text = c.text;
      RES_conv_data(text.data(), nullptr, CV_draw);
      for (int part = 1; part <= 11; ++part) std::printf("%d", FLAG_getplot(part) ? 1 : 0);
      std::printf(" %d", FLAG_getplot(12));
      return 0;
    });
    EXPECT_EQ(r.out, std::string(c.parts) + " " + std::to_string(c.all)) << c.text;
  }
}

TEST(ResourceConvert, RegionAndDomainDecodeTheText) {
  for (DEF_convert cvt : {CV_region, CV_domain}) {
    auto r = run_child([cvt] {
      Domain d{};
      d.ellipse = 1;
      char text[] = "ps,40,-100,25,17,1.2";
      int result = RES_conv_data(text, &d, cvt);
      bool ok = result == 1 && d.proj == 1 && d.plon == 40.0f && d.clat == -100.0f && d.clon == 25.0f &&
                d.dx == 17.0f && d.dy == 1.2f && d.nx == 25 && d.ny == 17 && d.param[4] == -9999.0f && d.ellipse == 0;
      char bad[] = "ps,x,y";
      ok = ok && RES_conv_data(bad, &d, cvt) == 1 && d.proj == -9999;
      return ok ? 0 : 1;
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("DOM_decode: Invalid plot domain"), std::string::npos);
  }
}

TEST(ResourceConvert, CopyIsBoundedAndNeedsAnOutput) {
  auto r = run_child([] {
    std::string longer(RES_STRCPY_LEN + 100, 'a');
    RES_put("long", longer.c_str());
    std::vector<char> buf(RES_STRCPY_LEN + 200, 'x');
    EXPECT_EQ(RES_getval("long", buf.data(), CV_strcpy), 1);
    EXPECT_EQ(std::strlen(buf.data()), static_cast<size_t>(RES_STRCPY_LEN - 1)) << "cut to the copy's room";
    EXPECT_EQ(RES_conv_data(longer.data(), nullptr, CV_strcpy), 0) << "no output";
    EXPECT_EQ(RES_conv_data(nullptr, buf.data(), CV_float), 0) << "no data";
    return ::testing::Test::HasFailure() ? 1 : 0;
  });
  EXPECT_EQ(r.status, 0) << r.out;
}

} // namespace

/* The domain converters decode through the decoder that the map layer
 * registers; without one the domain stays and the converter says so. */
TEST(ResourceConvert, DomainsGoThroughTheRegisteredDecoder) {
  auto r = run_child([] {
    int failed = 0;
    static std::string seen;
    RES_set_domain_decoder([](const char* text, Domain* d) {
      seen = text;
      d->proj = MAP_LAMB;
      return 1;
    });
    char text[] = "lamb,40,-100";
    Domain d{};
    failed += RES_conv_data(text, &d, CV_domain) != 1 || d.proj != MAP_LAMB || seen != "lamb,40,-100";
    RES_set_domain_decoder(nullptr);
    d.proj = MAP_MERC;
    failed += RES_conv_data(text, &d, CV_region) != 1 || d.proj != MAP_MERC;
    return failed;
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "RES_conv_data: domain texts are not available\n");
}
