#include "kez_test.h"
#include "kezsfc.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using kez_test::read_file;
using kez_test::run_child;
using kez_test::TempDir;
using kez_test::write_file;

constexpr float M = KEZ_FMISS;

SFC_report report(const char* id) {
  SFC_report r;
  std::memset(&r, 0x5a, sizeof r);
  SFC_initialize(&r);
  std::snprintf(r.id, sizeof r.id, "%s", id);
  return r;
}

void clouds(SFC_report& r, std::initializer_list<std::pair<float, char>> layers) {
  r.num_cld = 0;
  for (auto [h, c] : layers) {
    r.cld_height[r.num_cld] = h;
    r.cld_cover[r.num_cld++] = c;
  }
}

/* The fixed set of reports of the golden listings. */
std::vector<SFC_report> station_set() {
  std::vector<SFC_report> set;
  SFC_report a = report("KDEN");
  a.type = SFC_TYPE_SA;
  a.wmo = 72565;
  a.lat = 39.85f;
  a.lon = -104.65f;
  a.elev = 1640;
  a.time = 1150;
  a.t = 72;
  a.td = 55;
  a.w_dir = 270;
  a.w_spd = 15;
  a.w_gust = 25;
  a.alt = 29.92f;
  a.pmb = 1013.2f;
  a.vis = 7;
  clouds(a, {{2500, 'S'}, {8000, 'B'}, {12000, 'O'}});
  std::strcpy(a.weather, "RW");
  a.ptend = 1.5f;
  a.rain6 = 0.25f;
  a.rain24 = 1.25f;
  a.max_t = 80;
  a.min_t = 50;
  a.scover = 3;
  std::memcpy(a.cld_type, "123", 3);
  std::strcpy(a.comment, "gusty");
  set.push_back(a);

  set.push_back(report("EMPTY"));

  SFC_report b = report("72469");
  b.type = SFC_TYPE_SA | SFC_TYPE_SP | SFC_TYPE_STAR;
  b.time = 600;
  b.t = 20;
  b.td = 15;
  b.w_dir = 0;
  b.w_spd = 0;
  b.alt = 30.0f;
  b.pmb = 1000.0f;
  b.vis = 2.5f;
  b.elev = 1600;
  clouds(b, {{900, '3'}, {1800, '7'}, {M, '9'}});
  std::strcpy(b.weather, "!-SN");
  b.ptend = -2.3f;
  b.rain3 = 0.5f;
  b.max6_t = 25;
  b.min6_t = 12;
  b.scover = 10;
  set.push_back(b);

  SFC_report c = report("SHIP");
  c.time = 1800;
  c.t = 95;
  c.td = 75;
  c.w_dir = 45;
  c.w_spd = 8;
  c.vis = 10;
  clouds(c, {{1200, 's'}});
  std::strcpy(c.weather, "61");
  c.rain12 = 0.12f;
  c.sst = 28.5f;
  c.wav_per = 6;
  c.wav_hgt = 2.5f;
  set.push_back(c);
  return set;
}

/* What a body prints on the standard output, run in a fresh process (the
 * listing settings last for the process). */
std::string listing(const std::function<void()>& body) {
  auto r = run_child([&] {
    RES_put("file_path", KEZ_DATA_DIR); /* units.lup */
    body();
    return 0;
  });
  EXPECT_EQ(r.status, 0) << r.err;
  return r.out;
}

std::string all_lines(int layout, bool dashes) {
  return listing([&] {
    SFC_set_print(layout);
    if (dashes) SFC_set_miss_dash();
    SFC_print_line(M_print, nullptr);
    for (const auto& r : station_set()) SFC_print_line(M_print, &r);
  });
}

/* Compares with a golden file; KEZ_WRITE_GOLDEN=1 writes it instead. */
void expect_golden(const std::string& name, const std::string& text) {
  const std::string path = KEZ_SOURCE_DIR "/tests/sfc/data/" + name;
  if (const char* w = std::getenv("KEZ_WRITE_GOLDEN"); w && std::strcmp(w, "1") == 0) write_file(path, text);
  EXPECT_EQ(text, read_file(path)) << name;
}

TEST(SfcListing, LayoutsMatchTheirGoldenFiles) {
  for (int layout = SFC_PRINT_TWO_LINE; layout <= SFC_PRINT_SUMMARY; ++layout) {
    expect_golden("list_" + std::to_string(layout) + ".txt", all_lines(layout, false));
    expect_golden("list_" + std::to_string(layout) + "_dash.txt", all_lines(layout, true));
  }
}

TEST(SfcListing, VariableColumnsMatchTheirGoldenFile) {
  const std::string text = listing([] {
    RES_put("variable",
            "city,otime,TEMP[C],dewp,dewd,Wdir,wspd,wgst,alt,pres[mb:%6.1f],wx,saowx,txtwx,vis,"
            "cldcl,cldcv,ptend,prec,extt,snwdp,lcld,rhum[%:%3.0f%%],theta[K:%5.1f],fr,rmk,nosuch");
    SFC_set_print(SFC_PRINT_COLUMNS);
    SFC_print_line(M_print, nullptr);
    for (const auto& r : station_set()) SFC_print_line(M_print, &r);
  });
  expect_golden("list_6.txt", text);
}

TEST(SfcListing, VariableColumnsStartOnlyAtAShownLevel) {
  const std::string text = listing([] {
    SFC_set_print(SFC_PRINT_COLUMNS);
    RES_put("variable", "temp");
    SFC_report r = report("KDEN");
    r.t = 50;
    r.td = 40;
    SFC_print_line(M_debug, &r); /* not shown: the list is not read */
    RES_put("variable", "dewp[C:%5.1f]");
    SFC_print_line(M_print, &r);
    RES_put("variable", "temp"); /* read once, kept */
    SFC_print_line(M_print, &r);
  });
  EXPECT_EQ(text, "   4.4 \n   4.4 \n");

  /* without a list, layout 6 prints nothing and tries again later */
  EXPECT_EQ(listing([] {
              SFC_set_print(SFC_PRINT_COLUMNS);
              SFC_report r = report("KDEN");
              SFC_print_line(M_print, &r);
              SFC_print_line(M_print, nullptr);
              RES_put("variable", "id");
              SFC_print_line(M_print, &r);
            }),
            "KDEN   \n");
}

TEST(SfcListing, PrecipitationColumnFollowsTheTimeCode) {
  const std::string text = listing([] {
    RES_put("variable", "prec,prec,prec");
    SFC_set_print(SFC_PRINT_COLUMNS);
    SFC_set_miss_dash();
    SFC_print_line(M_debug | M_print, nullptr);
    VAR_data* v = VAR_get_vars();
    v[0].time = 6000;  /* 6 hours */
    v[1].time = 24000; /* 24 hours */
    v[2].time = 0;     /* no hours: the longest amount present */
    SFC_report r = report("KDEN");
    r.rain12 = 0.3f;
    r.rain24 = 1.0f;
    SFC_print_line(M_print, &r);
    r.rain24 = M;
    SFC_print_line(M_print, &r);
  });
  EXPECT_EQ(text.substr(text.find('\n', text.find('\n') + 1) + 1), "     -      1      1 \n     -      -      0 \n");
}

TEST(SfcListing, FullReportTextMatchesItsGoldenFile) {
  const std::string text = listing([] {
    for (const auto& r : station_set()) SFC_print_report(&r);
    SFC_set_metric(1);
    SFC_print_report(&station_set()[2]);
    SFC_set_print(SFC_PRINT_FULL);
    SFC_print_line(M_print, &station_set()[1]); /* the same text through the line call */
    SFC_print_line(M_print, nullptr);
  });
  expect_golden("list_report.txt", text);
  EXPECT_EQ(SFC_print_report(nullptr), -1);
}

TEST(SfcListing, TableColumnsOfTheEdgeValues) {
  const struct {
    const char* why;
    float alt, pmb, vis;
    const char* columns; /* ALT SLP VIS */
  } cases[] = {
      {"30.00 and 1000.0", 30.0f, 1000.0f, 2.5f, "000 000 2.5 "},
      {"29.92 and 1013.2", 29.92f, 1013.2f, 10, "992 132  10 "},
  };
  for (const auto& c : cases) {
    const std::string line = listing([&] {
      SFC_report r = report("K");
      r.alt = c.alt;
      r.pmb = c.pmb;
      r.vis = c.vis;
      SFC_print_line(M_print, &r);
    });
    /* ID 7, TIME 5, T TD RH DIR SPD GST 4 each */
    EXPECT_EQ(line.substr(7 + 5 + 6 * 4, 12), c.columns) << c.why;
  }
  EXPECT_EQ(listing([] { SFC_print_line(M_print, nullptr); }),
            "ID     TIME   T  TD  RH DIR SPD GST ALT SLP VIS CIL  COV WX  MAX MIN  PR6 PR24 SC\n");
  const std::string dashed = listing([] {
    SFC_set_miss_dash();
    SFC_report r = report("");
    SFC_print_line(M_print, &r);
  });
  EXPECT_EQ(dashed, "  -      -   -   -   -   -   -   -   -   -   -   -    - -     -   -    -    -  -\n");
  EXPECT_EQ(listing([] {
              SFC_report r = report("K");
              SFC_print_line(M_debug, &r);
              SFC_set_print(99);
              SFC_print_line(M_print, &r);
            }),
            "");
}

TEST(SfcListing, FlightRules) {
  const struct {
    const char* why;
    std::vector<std::pair<float, char>> layers;
    float vis;
    const char* rules;
  } cases[] = {
      {"broken at 900 ft", {{900, 'B'}}, 10, "IFR"},
      {"overcast at 2500 ft, 10 miles", {{1000, 'F'}, {2500, 'O'}}, 10, "MVFR"},
      {"no ceiling, 4 miles", {}, 4, "MVFR"},
      {"no ceiling, no visibility", {}, M, "VFR"},
      {"single scattered layer at 500 ft", {{500, 'S'}}, 10, "VFR"},
      {"visibility below 3 miles", {{5000, 'S'}}, 2, "IFR"},
      {"ceiling at 3000 ft", {{3000, 'B'}}, M, "MVFR"},
      {"ceiling above 3000 ft, 6 miles", {{3100, 'O'}}, 6, "VFR"},
      {"single layer of 4 oktas at 800 ft", {{800, '4'}}, 10, "IFR"},
      {"single layer of 8 oktas at 2000 ft", {{2000, '8'}}, 10, "MVFR"},
      {"single layer of 3 oktas at 500 ft", {{500, '3'}}, 10, "VFR"},
      {"single layer of 0 oktas at 500 ft", {{500, '0'}}, 10, "VFR"},
      {"thin overcast is no ceiling", {{500, 'o'}}, 10, "VFR"},
      {"oktas over two layers", {{700, '2'}, {900, '6'}}, 10, "IFR"},
  };
  for (const auto& c : cases) {
    const std::string line = listing([&] {
      RES_put("variable", "fr");
      SFC_set_print(SFC_PRINT_COLUMNS);
      SFC_report r = report("K");
      r.num_cld = 0;
      for (auto [h, cov] : c.layers) {
        r.cld_height[r.num_cld] = h;
        r.cld_cover[r.num_cld++] = cov;
      }
      r.vis = c.vis;
      SFC_print_line(M_print, &r);
    });
    char want[16];
    std::snprintf(want, sizeof want, "%6.6s \n", c.rules);
    EXPECT_EQ(line, want) << c.why;
  }
}

TEST(SfcListing, PrintStrChecksTheUsersFormat) {
  RES_put("file_path", KEZ_DATA_DIR);
  char str[SFC_PRINT_STR_LEN];
  const struct {
    float val;
    const char* iu;
    const char* ou;
    const char* format;
    const char* want;
  } cases[] = {
      {212, "F", "C", "%5.1f", "100.0"},   {50, "F", "", "%5.1f", " 50.0"}, {50, "F", "", "abc", "  50"},
      {M, "F", "C", "%5.1f", ""},          {7, "", "", "%s %n", "   7"},    {7, "", "", "%f%f", "   7"},
      {1e30f, "", "", "%99.99f", nullptr}, /* cut to the room */
  };
  for (const auto& c : cases) {
    kez_test::capture([&] { SFC_set_print_str(c.val, c.iu, c.ou, c.format, str); });
    if (c.want)
      EXPECT_STREQ(str, c.want) << c.format;
    else
      EXPECT_EQ(std::strlen(str), static_cast<size_t>(SFC_PRINT_STR_LEN - 1));
  }
  const auto warned = kez_test::capture([&] { SFC_set_print_str(7, "", "", "%s", str); });
  EXPECT_NE(warned.err.find("SFC_set_print_str: "), std::string::npos) << warned.err;
  EXPECT_EQ(listing([] {
              char s[SFC_PRINT_STR_LEN];
              SFC_set_miss_dash();
              SFC_set_print_str(M, "", "", "%f", s);
              std::printf("[%s]", s);
            }),
            "[ -]");
}

TEST(SfcListing, InputConventionFromInFile) {
  TempDir dir;
  write_file(dir.file("name_conv"), "sfc_cvt %y%m%d%h.sfc\nmysyn %y%m%d%h.syn\n");
  const struct {
    const char* in_file;
    int kind;         /* flag 17 afterwards */
    const char* conv; /* the template in use */
  } cases[] = {
      {nullptr, -9999, "%y%m%d%h.sfc"}, {"CDF", 12, "%y%m%d%h.sfc"}, {"kez", 3, "%y%m%d%h.sfc"},
      {"mysyn", -9999, "%y%m%d%h.syn"}, {"synop", -9999, "synop"},   {"sao,cdf", 12, "%y%m%d%h.sfc"},
  };
  for (const auto& c : cases) {
    const std::string out = listing([&] {
      FLAG_set(SFC_FLAG_FILE_KIND, -9999);
      RES_put("file_path", dir.path().c_str());
      if (c.in_file) RES_put("in_file", c.in_file);
      const int result = SFC_set_in_file();
      char conv[FILE_PATH_LEN] = "";
      FILE_get_name_conv(conv);
      std::printf("%d %d %s", result, FLAG_get(SFC_FLAG_FILE_KIND), conv);
    });
    EXPECT_EQ(out.substr(0, out.find(' ', out.find(' ') + 1)), "1 " + std::to_string(c.kind))
        << (c.in_file ? c.in_file : "none");
    EXPECT_NE(out.find(c.conv), std::string::npos) << out;
  }
}

} // namespace
