#include "kez_test.h"
#include "kezsfc.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

using kez_test::capture;

constexpr float M = KEZ_FMISS;

/* The present-weather tables written out number by number, 0 to 99. */
const char* const manned[100] = {
    " ",   " ",  " ",   " ",      "K",    "H",    "D",   "D",    "D",    "D",     // 0-9
    "F",   "F",  "F",   " ",      " ",    " ",    " ",   "T",    " ",    " ",     // 10-19
    " ",   " ",  " ",   " ",      " ",    " ",    " ",   " ",    "F",    "T",     // 20-29
    "D",   "D",  "D",   "D",      "D",    "D",    "BS",  "BS",   "BS",   "BS",    // 30-39
    "F",   "F",  "F",   "F",      "F",    "F",    "F",   "F",    "F",    "F",     // 40-49
    "L-",  "L-", "L",   "L",      "L+",   "L+",   "ZL-", "ZL",   "L-R",  "LR",    // 50-59
    "R-",  "R-", "R",   "R",      "R+",   "R+",   "ZR-", "ZR",   "R-L",  "RL",    // 60-69
    "S-",  "S-", "S",   "S",      "S+",   "S+",   "IC",  "SG",   "IC",   "IP",    // 70-79
    "RW-", "RW", "RW+", "RW-SW-", "RWSW", "SW-",  "SW",  "IPW",  "IPW",  "A",     // 80-89
    "A",   "R-", "R",   "S-",     "S",    "TRW-", "TRW", "TRW+", "TRWD", "TRW+A", // 90-99
};
const char* const automatic[100] = {
    " ",   " ",    " ",    " ",     "H",    "H",    " ",     " ",   " ",   " ",  // 0-9
    " ",   " ",    " ",    " ",     " ",    " ",    " ",     " ",   " ",   " ",  // 10-19
    " ",   " ",    " ",    " ",     " ",    " ",    " ",     " ",   "BS",  "BS", // 20-29
    "F",   "F",    "F",    "F",     "F",    "F",    " ",     " ",   " ",   " ",  // 30-39
    "R",   "R-",   "R+",   "R-",    "R+",   "S-",   "S+",    "ZR-", "ZR+", " ",  // 40-49
    "L",   "L-",   "L",    "L+",    "ZL-",  "ZL",   "ZL+",   "L-",  "L",   " ",  // 50-59
    "R",   "R-",   "R",    "R+",    "ZR-",  "ZR",   "ZR+",   "R-S", "RS",  " ",  // 60-69
    "S",   "S-",   "S",    "S+",    "IP-",  "IP",   "IP+",   " ",   " ",   " ",  // 70-79
    "RW",  "RW-",  "RW",   "RW+",   "RW+",  "SW-",  "SW",    "SW+", " ",   " ",  // 80-89
    "TRW", "TRW-", "TRW-", "TRW-A", "TRW-", "TRW+", "TRW+A", " ",   " ",   " ",  // 90-99
};
TEST(WxCodes, ManningAndAutomaticTablesEntryByEntry) {
  char a[WX_CODE_LEN], b[WX_CODE_LEN];
  for (int ww = 0; ww < 100; ++ww) {
    ASSERT_EQ(WX_wmo_weather(ww, a), 0);
    ASSERT_EQ(SYN_weather(ww, b), 0);
    EXPECT_STREQ(a, manned[ww]) << "ww " << ww;
    EXPECT_STREQ(b, manned[ww]) << "ww " << ww;
    ASSERT_EQ(WX_wmo_auto_weather(a, ww), 0);
    ASSERT_EQ(SYN_auto_weather(ww, b), 0);
    EXPECT_STREQ(a, automatic[ww]) << "wawa " << ww;
    EXPECT_STREQ(b, automatic[ww]) << "wawa " << ww;
  }
  for (int ww : {-1, 100, 101, -9999, 1000000}) {
    WX_wmo_weather(ww, a);
    EXPECT_STREQ(a, " ") << ww;
    SYN_weather(ww, a);
    EXPECT_STREQ(a, " ") << ww;
    WX_wmo_auto_weather(a, ww);
    EXPECT_STREQ(a, " ") << ww;
    SYN_auto_weather(ww, a);
    EXPECT_STREQ(a, " ") << ww;
  }
  EXPECT_EQ(WX_wmo_weather(61, nullptr), -1);
}

struct CodeMeaning {
  int ww;
  const char* words;
  int used;
};

/* Every letter code the two number tables produce, its WMO number and its
 * words. */
const std::map<std::string, CodeMeaning>& code_meanings() {
  static const std::map<std::string, CodeMeaning> table = {
      {" ", {0, "", 0}},
      {"K", {4, "smoke", 1}},
      {"H", {5, "haze", 1}},
      {"D", {6, "dust", 1}},
      {"F", {44, "fog", 1}},
      {"T", {17, "thunder", 1}},
      {"BS", {38, "blowing snow", 2}},
      {"L-", {51, "light drizzle", 2}},
      {"L", {53, "moderate drizzle", 1}},
      {"L+", {55, "heavy drizzle", 2}},
      {"ZL-", {56, "light freezing drizzle", 3}},
      {"ZL", {57, "moderate freezing drizzle", 2}},
      {"ZL+", {57, "heavy freezing drizzle", 3}},
      {"L-R", {51, "light drizzle", 2}},
      {"LR", {53, "moderate drizzle", 1}},
      {"R-", {61, "light rain", 2}},
      {"R", {63, "moderate rain", 1}},
      {"R+", {65, "heavy rain", 2}},
      {"ZR-", {66, "light freezing rain", 3}},
      {"ZR", {67, "moderate freezing rain", 2}},
      {"ZR+", {67, "heavy freezing rain", 3}},
      {"R-L", {61, "light rain", 2}},
      {"RL", {63, "moderate rain", 1}},
      {"R-S", {61, "light rain", 2}},
      {"RS", {63, "moderate rain", 1}},
      {"S-", {71, "light snow", 2}},
      {"S", {73, "moderate snow", 1}},
      {"S+", {75, "heavy snow", 2}},
      {"IC", {78, "ice crystals", 2}},
      {"SG", {77, "snow grains", 2}},
      {"IP", {79, "ice pellets", 2}},
      {"IP-", {79, "ice pellets", 2}},
      {"IP+", {79, "ice pellets", 2}},
      {"RW-", {80, "light rain showers", 3}},
      {"RW", {81, "moderate rain showers", 2}},
      {"RW+", {81, "heavy rain showers", 3}},
      {"RW-SW-", {80, "light rain showers", 3}},
      {"RWSW", {81, "moderate rain showers", 2}},
      {"SW-", {85, "light snow showers", 3}},
      {"SW", {86, "moderate snow showers", 2}},
      {"SW+", {86, "heavy snow showers", 3}},
      {"IPW", {79, "ice pellets", 2}},
      {"A", {0, "hail", 1}},
      {"TRW-", {95, "light thunderstorm", 4}},
      {"TRW", {95, "moderate thunderstorm", 3}},
      {"TRW+", {97, "heavy thunderstorm", 4}},
      {"TRWD", {95, "moderate thunderstorm", 3}},
      {"TRW+A", {99, "heavy thunderstorm", 4}},
      {"TRW-A", {95, "light thunderstorm", 4}},
  };
  return table;
}

TEST(WxCodes, EveryProducedCodeConvertsToNumberAndWords) {
  std::map<std::string, int> produced;
  char code[WX_CODE_LEN];
  for (int n = 0; n < 100; ++n) {
    WX_wmo_weather(n, code);
    ++produced[code];
    WX_wmo_auto_weather(code, n);
    ++produced[code];
  }
  for (const auto& [c, count] : produced)
    EXPECT_TRUE(code_meanings().count(c)) << "code \"" << c << "\" has no expected meaning";
  for (const auto& [c, m] : code_meanings()) {
    EXPECT_EQ(WX_weather_wmo(c.c_str()), m.ww) << c;
    char words[WX_TEXT_LEN];
    EXPECT_EQ(WX_weather_text(c.c_str(), words), m.used) << c;
    EXPECT_STREQ(words, m.words) << c;
  }
}

TEST(WxCodes, FieldsInEveryForm) {
  struct Case {
    const char* field;
    int ww;
    const char* words;
    int used;
  };
  const Case cases[] = {
      {"61", 61, "light rain", 2},
      {"95", 95, "light thunderstorm", 4},
      {"5", 5, "haze", 1},
      {"100", 0, "", 0},
      {"99999999999999", 0, "", 0},
      {"!FG", 44, "fog", 1},
      {"!+TSRA", 97, "heavy thunderstorm", 3},
      {"!-SHRA", 80, "light rain showers", 3},
      {"!VCSH", 0, "", 0},
      {"TRW+A", 99, "heavy thunderstorm", 4},
      {"TRW-A", 95, "light thunderstorm", 4},
      {"A", 0, "hail", 1},
      {"GF", 12, "ground fog", 1},
      {"GX", 0, "", 0},
      {"ZL-", 56, "light freezing drizzle", 3},
      {"ZX", 0, "", 0},
      {"BN", 0, "", 0},
      {"BD", 7, "blowing dust", 2},
      {"IF", 44, "ice fog", 2},
      {"IX", 0, "", 0},
      {"T+", 97, "heavy thunder", 2},
      {"T-", 17, "light thunder", 2},
      {"TR", 95, "moderate thunderstorm", 2},
      {"TR-", 95, "light thunderstorm", 3},
      {"TR+", 97, "heavy thunderstorm", 3},
      {"SP", 77, "snow pellets", 2},
      {"W", 0, "", 0},
      {"X", 0, "", 0},
      {"", 0, "", 0},
      {"R-S", 61, "light rain", 2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WX_weather_wmo(c.field), c.ww) << c.field;
    char words[WX_TEXT_LEN] = "stale";
    EXPECT_EQ(WX_weather_text(c.field, words), c.used) << c.field;
    EXPECT_STREQ(words, c.words) << c.field;
  }
  EXPECT_EQ(WX_weather_wmo(nullptr), 0);
  EXPECT_EQ(WX_weather_text(nullptr, nullptr), 0);
}

TEST(WxCodes, MetarGroupToLetterCode) {
  struct Case {
    const char* group;
    const char* code;
  };
  const Case cases[] = {
      {"-RA", "R-"},     {"+TSRA", "TR+"}, {"TSSN", "TS"}, {"-SHRA", "RW-"}, {"SHPL", "IPW"},   {"FZDZ", "ZL"},
      {"BLSN", "BS"},    {"BLDU", "D"},    {"MIFG", "F"},  {"BR", "H"},      {"FU", "K"},       {"TS", "T"},
      {"SH", "W"},       {"RASN", "R"},    {"RABR", "R"},  {"VCSH", ""},     {"GR", ""},        {"+FC", "+"},
      {"!+SHSN", "SW+"}, {"-RA BR", "R-"}, {"!VCTS", ""},  {"-+RA", "R+"},   {"+TSGS", "TIP+"}, {"", ""},
      {"!", ""},         {"BCFG", "F"},    {"DRSN", "BS"}, {"SHGS", "IPW"},  {"FZRA", "ZR"},    {"-SG", "SG-"},
  };
  for (const Case& c : cases) {
    char code[16];
    std::memset(code, '#', sizeof code);
    EXPECT_EQ(WX_metar_weather(c.group, code), 0);
    EXPECT_STREQ(code, c.code) << c.group;
    for (size_t i = WX_METAR_CODE_LEN; i < sizeof code; ++i)
      EXPECT_EQ(code[i], '#') << c.group << " writes beyond its room";
  }
  EXPECT_EQ(WX_metar_weather(nullptr, nullptr), -1);
}

TEST(WxCodes, MetarGroupToWords) {
  struct Case {
    const char* group;
    const char* words;
    int rest; /* offset of the returned pointer, -1 for null */
  };
  const Case cases[] = {
      {"-RA", "light rain", 3},
      {"TSRA", "moderate thunderstorms", 4},
      {"SHRA", "moderate rain showers", 4},
      {"-SHRASN", "light rain snow showers", 7},
      {"VCSH", "showers in vicinity", 4},
      {"VCTS", "thunder in vicinty", 4},
      {"BLSN", "blowing moderate snow", 4},
      {"FZRA", "freezing moderate rain", 4},
      {"BCFG", "patches fog", 4},
      {"NSW", "none significant", 3},
      {"!-RA BR", "light rain", 4},
      {"PL", "", -1},
      {"SNRA", "moderate snow", 2},
      {"!_+SN", "heavy snow", 5},
      {"", "", -1},
  };
  for (const Case& c : cases) {
    char words[WX_TEXT_LEN] = "stale";
    const char* rest = WX_metar_weather_text(c.group, words);
    EXPECT_STREQ(words, c.words) << c.group;
    if (c.rest < 0)
      EXPECT_EQ(rest, nullptr) << c.group;
    else
      EXPECT_EQ(rest, c.group + c.rest) << c.group;
  }
  /* A group that passes every test but the signs gives the longest text. */
  const char longest[] = "NSWVCMIBCDRBLTSRATSSHFZDZRASNSGGSPEICBRFGHZSADUFU";
  char words[WX_TEXT_LEN + 16];
  std::memset(words, '#', sizeof words);
  EXPECT_EQ(WX_metar_weather_text(longest, words), longest + std::strlen(longest));
  EXPECT_STREQ(words,
               "shallow patches low drifting blowing moderate thunderstorms thunder freezing "
               "moderate drizzle moderate rain moderate snow moderate snow grains moderate small "
               "hail/pellets moderate ice pellets moderate ice crystals mist fog haze sand dust "
               "smoke showers in vicinity");
  for (size_t i = WX_TEXT_LEN; i < sizeof words; ++i) EXPECT_EQ(words[i], '#');
}

TEST(WxCodes, MetarWordsAreTracedAtTheDebugLevel) {
  M_type old = MESS_get();
  MESS_set(1, M_debug);
  char words[WX_TEXT_LEN];
  auto out = capture([&] { WX_metar_weather_text("!-RA", words); });
  MESS_set(0, old);
  MESS_set(-1, ~old);
  EXPECT_NE((out.out + out.err).find("WX: !-RA = light rain\n"), std::string::npos);
}

TEST(WxCodes, VisibilityCodes) {
  struct Case {
    int code;
    float wmo, syn;
  };
  const Case cases[] = {
      {0, 0, 0},
      {16, 1, 1},
      {50, 3.125f, 3.125f},
      {51, 0.625f, 0.625f},
      {60, 6.25f, 6.25f},
      {80, 18.75f, 18.75f},
      {81, 21.875f, 21.875f},
      {89, 46.875f, 46.875f},
      {90, M, 0},
      {91, M, 0.03125f},
      {92, M, 0.125f},
      {93, M, 0.3125f},
      {94, M, 0.625f},
      {95, M, 1.25f},
      {96, M, 2.5f},
      {97, M, 6.25f},
      {98, M, 12.5f},
      {99, M, 31.25f},
      {100, M, M},
      {-1, M, M},
      {-9999, M, M},
  };
  for (const Case& c : cases) {
    EXPECT_FLOAT_EQ(WX_wmo_vis(c.code), c.wmo) << c.code;
    EXPECT_FLOAT_EQ(SYN_visibility(c.code), c.syn) << c.code;
  }
}

TEST(WxCodes, CloudBaseCodes) {
  const float feet[] = {100, 200, 400, 700, 1500, 3000, 4500, 6000, 7500, 12000};
  for (int h = 0; h < 10; ++h) {
    EXPECT_EQ(WX_wmo_cld_base(h), feet[h]);
    EXPECT_EQ(SYN_ceiling(h), feet[h]);
  }
  for (int h : {-1, 10, -9999}) {
    EXPECT_EQ(WX_wmo_cld_base(h), M);
    EXPECT_EQ(SYN_ceiling(h), M);
  }
  struct Case {
    int feet, code;
  };
  const Case cases[] = {{-50, 0},  {0, 0},    {163, 0},  {164, 1},  {327, 1},  {328, 2},  {655, 2},
                        {656, 3},  {983, 3},  {984, 4},  {1967, 4}, {1968, 5}, {3280, 5}, {3281, 6},
                        {4920, 6}, {4921, 7}, {6561, 7}, {6562, 8}, {8201, 8}, {8202, 9}, {40000, 9}};
  for (const Case& c : cases) EXPECT_EQ(SYN_ceiling_to_code(c.feet), c.code) << c.feet;
}

TEST(WxCodes, CompassPointsAndCoverWords) {
  const char* points[] = {"N", "NNE", "NE", "ENE", "E", "ESE", "SE", "SSE",
                          "S", "SSW", "SW", "WSW", "W", "WNW", "NW", "NNW"};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(dir_decode(points[i]), 22.5f * i) << points[i];
  for (const char* bad : {"nne", "", "NNEE", "N ", "X"}) EXPECT_EQ(dir_decode(bad), M) << bad;
  EXPECT_EQ(dir_decode(nullptr), M);

  struct Cover {
    const char* cover;
    const char* word;
  };
  const Cover covers[] = {
      {"C", "clear"},           {"F", "few"}, {"S", "scattered"}, {"B", "broken"}, {"O", "overcast"}, {"X", "obscured"},
      {"Overcast", "overcast"}, {"s", ""},    {"4", ""},          {"", ""},        {" ", ""}};
  for (const Cover& c : covers) EXPECT_STREQ(print_cloud(c.cover), c.word) << c.cover;
  EXPECT_STREQ(print_cloud(nullptr), "");
}

} // namespace
