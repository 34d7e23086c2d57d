/*
 * wx_tool: weather and synoptic code conversions.
 *
 * A report's weather field holds a WMO present-weather number in digits, "!"
 * and METAR groups, or the suite's short letter code (which keys the weather
 * symbols). This module converts between the forms on demand: numbers and
 * METAR groups to the letter code, the letter code to WMO numbers and to
 * English words; it also decodes visibility and cloud-base codes, compass
 * points and cover letters. Every conversion is a table and one loop; every
 * output text is written within its named room (kezsfc.h) and ends in a NUL.
 * No function keeps state.
 */
#include "kezsfc.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace {

/* A run of present-weather numbers that share one letter code. */
struct NumberCode {
  int lo, hi;
  const char* code;
};

/* Manned stations, ww 0 to 99. */
constexpr NumberCode ww_codes[] = {
    {0, 3, " "},     {4, 4, "K"},        {5, 5, "H"},      {6, 9, "D"},       {10, 12, "F"},   {13, 16, " "},
    {17, 17, "T"},   {18, 27, " "},      {28, 28, "F"},    {29, 29, "T"},     {30, 35, "D"},   {36, 39, "BS"},
    {40, 49, "F"},   {50, 51, "L-"},     {52, 53, "L"},    {54, 55, "L+"},    {56, 56, "ZL-"}, {57, 57, "ZL"},
    {58, 58, "L-R"}, {59, 59, "LR"},     {60, 61, "R-"},   {62, 63, "R"},     {64, 65, "R+"},  {66, 66, "ZR-"},
    {67, 67, "ZR"},  {68, 68, "R-L"},    {69, 69, "RL"},   {70, 71, "S-"},    {72, 73, "S"},   {74, 75, "S+"},
    {76, 76, "IC"},  {77, 77, "SG"},     {78, 78, "IC"},   {79, 79, "IP"},    {80, 80, "RW-"}, {81, 81, "RW"},
    {82, 82, "RW+"}, {83, 83, "RW-SW-"}, {84, 84, "RWSW"}, {85, 85, "SW-"},   {86, 86, "SW"},  {87, 88, "IPW"},
    {89, 90, "A"},   {91, 91, "R-"},     {92, 92, "R"},    {93, 93, "S-"},    {94, 94, "S"},   {95, 95, "TRW-"},
    {96, 96, "TRW"}, {97, 97, "TRW+"},   {98, 98, "TRWD"}, {99, 99, "TRW+A"},
};

/* Automatic stations, wawa; numbers not listed have no weather. */
constexpr NumberCode wawa_codes[] = {
    {4, 5, "H"},      {28, 29, "BS"},    {30, 35, "F"},   {40, 40, "R"},    {41, 41, "R-"},    {42, 42, "R+"},
    {43, 43, "R-"},   {44, 44, "R+"},    {45, 45, "S-"},  {46, 46, "S+"},   {47, 47, "ZR-"},   {48, 48, "ZR+"},
    {50, 50, "L"},    {51, 51, "L-"},    {52, 52, "L"},   {53, 53, "L+"},   {54, 54, "ZL-"},   {55, 55, "ZL"},
    {56, 56, "ZL+"},  {57, 57, "L-"},    {58, 58, "L"},   {60, 60, "R"},    {61, 61, "R-"},    {62, 62, "R"},
    {63, 63, "R+"},   {64, 64, "ZR-"},   {65, 65, "ZR"},  {66, 66, "ZR+"},  {67, 67, "R-S"},   {68, 68, "RS"},
    {70, 70, "S"},    {71, 71, "S-"},    {72, 72, "S"},   {73, 73, "S+"},   {74, 74, "IP-"},   {75, 75, "IP"},
    {76, 76, "IP+"},  {80, 80, "RW"},    {81, 81, "RW-"}, {82, 82, "RW"},   {83, 84, "RW+"},   {85, 85, "SW-"},
    {86, 86, "SW"},   {87, 87, "SW+"},   {90, 90, "TRW"}, {91, 92, "TRW-"}, {93, 93, "TRW-A"}, {94, 94, "TRW-"},
    {95, 95, "TRW+"}, {96, 96, "TRW+A"},
};

/* The leading element of a letter code: the first row whose prefix the
 * code begins with gives its WMO number, its words and the number of code
 * characters the words account for. Longer prefixes of a family come first. */
struct Element {
  const char* prefix;
  int ww;
  const char* words;
  int used;
};

constexpr Element elements[] = {
    {"A", 0, "hail", 1},
    {"K", 4, "smoke", 1},
    {"H", 5, "haze", 1},
    {"F", 44, "fog", 1},
    {"GF", 12, "ground fog", 1},
    {"TRW+A", 99, "heavy thunderstorm", 4},
    {"TRW+", 97, "heavy thunderstorm", 4},
    {"TRW-", 95, "light thunderstorm", 4},
    {"TRW", 95, "moderate thunderstorm", 3},
    {"TR+", 97, "heavy thunderstorm", 3},
    {"TR-", 95, "light thunderstorm", 3},
    {"TR", 95, "moderate thunderstorm", 2},
    {"T+", 97, "heavy thunder", 2},
    {"T-", 17, "light thunder", 2},
    {"T", 17, "thunder", 1},
    {"RW+", 81, "heavy rain showers", 3},
    {"RW-", 80, "light rain showers", 3},
    {"RW", 81, "moderate rain showers", 2},
    {"R+", 65, "heavy rain", 2},
    {"R-", 61, "light rain", 2},
    {"R", 63, "moderate rain", 1},
    {"SW+", 86, "heavy snow showers", 3},
    {"SW-", 85, "light snow showers", 3},
    {"SW", 86, "moderate snow showers", 2},
    {"S+", 75, "heavy snow", 2},
    {"S-", 71, "light snow", 2},
    {"SG", 77, "snow grains", 2},
    {"SP", 77, "snow pellets", 2},
    {"S", 73, "moderate snow", 1},
    {"L+", 55, "heavy drizzle", 2},
    {"L-", 51, "light drizzle", 2},
    {"L", 53, "moderate drizzle", 1},
    {"ZR+", 67, "heavy freezing rain", 3},
    {"ZR-", 66, "light freezing rain", 3},
    {"ZR", 67, "moderate freezing rain", 2},
    {"ZL+", 57, "heavy freezing drizzle", 3},
    {"ZL-", 56, "light freezing drizzle", 3},
    {"ZL", 57, "moderate freezing drizzle", 2},
    {"BD", 7, "blowing dust", 2},
    {"BS", 38, "blowing snow", 2},
    {"IP", 79, "ice pellets", 2},
    {"IC", 78, "ice crystals", 2},
    {"IF", 44, "ice fog", 2},
    {"D", 6, "dust", 1},
};

/* The parts of a METAR group that make its letter code. */
enum class Part { intensity, vicinity, ignored, descriptor, precipitation, obscuration };

struct MetarToken {
  std::string_view token;
  Part part;
  const char* code;
};

constexpr MetarToken metar_tokens[] = {
    {"-", Part::intensity, "-"},       {"+", Part::intensity, "+"},       {"VC", Part::vicinity, ""},
    {"MI", Part::ignored, ""},         {"BC", Part::ignored, ""},         {"DR", Part::descriptor, "B"},
    {"BL", Part::descriptor, "B"},     {"TS", Part::descriptor, "T"},     {"SH", Part::descriptor, "W"},
    {"FZ", Part::descriptor, "Z"},     {"DZ", Part::precipitation, "L"},  {"RA", Part::precipitation, "R"},
    {"SN", Part::precipitation, "S"},  {"SG", Part::precipitation, "SG"}, {"GS", Part::precipitation, "IP"},
    {"PE", Part::precipitation, "IP"}, {"PL", Part::precipitation, "IP"}, {"IC", Part::precipitation, "IC"},
    {"FG", Part::obscuration, "F"},    {"BR", Part::obscuration, "H"},    {"HZ", Part::obscuration, "H"},
    {"SA", Part::obscuration, "D"},    {"DU", Part::obscuration, "D"},    {"FU", Part::obscuration, "K"},
};

/* No token is the beginning of another, so at most one stands at any
 * place of a group. */
constexpr bool tokens_apart() {
  for (const MetarToken& a : metar_tokens)
    for (const MetarToken& b : metar_tokens)
      if (&a != &b && a.token.size() <= b.token.size() && b.token.substr(0, a.token.size()) == a.token) return false;
  return true;
}
static_assert(tokens_apart());

/* The words of a METAR group: each test is made once, in this order, at the
 * current position. */
enum class Words { main, moderate_main, trailing, showers };

struct MetarWords {
  const char* token;
  Words kind;
  const char* words;
};

constexpr MetarWords metar_words[] = {
    {"-", Words::main, "light"},
    {"+", Words::main, "heavy"},
    {"NSW", Words::trailing, "none significant"},
    {"VC", Words::trailing, "in vicinty"},
    {"MI", Words::main, "shallow"},
    {"BC", Words::main, "patches"},
    {"DR", Words::main, "low drifting"},
    {"BL", Words::main, "blowing"},
    {"TSRA", Words::moderate_main, "thunderstorms"},
    {"TS", Words::main, "thunder"},
    {"SH", Words::showers, "showers"},
    {"FZ", Words::main, "freezing"},
    {"DZ", Words::moderate_main, "drizzle"},
    {"RA", Words::moderate_main, "rain"},
    {"SN", Words::moderate_main, "snow"},
    {"SG", Words::moderate_main, "snow grains"},
    {"GS", Words::moderate_main, "small hail/pellets"},
    {"PE", Words::moderate_main, "ice pellets"},
    {"IC", Words::moderate_main, "ice crystals"},
    {"BR", Words::main, "mist"},
    {"FG", Words::main, "fog"},
    {"HZ", Words::main, "haze"},
    {"SA", Words::main, "sand"},
    {"DU", Words::main, "dust"},
    {"FU", Words::main, "smoke"},
};

struct Compass {
  const char* name;
  float degrees;
};

constexpr Compass compass_points[] = {
    {"N", 0.0f},    {"NNE", 22.5f},  {"NE", 45.0f},  {"ENE", 67.5f},  {"E", 90.0f},   {"ESE", 112.5f},
    {"SE", 135.0f}, {"SSE", 157.5f}, {"S", 180.0f},  {"SSW", 202.5f}, {"SW", 225.0f}, {"WSW", 247.5f},
    {"W", 270.0f},  {"WNW", 292.5f}, {"NW", 315.0f}, {"NNW", 337.5f},
};

struct CoverWord {
  char cover;
  const char* word;
};

constexpr CoverWord cover_words[] = {
    {SFC_CLD_CLEAR, "clear"},   {SFC_CLD_FEW, "few"},           {SFC_CLD_SCATTERED, "scattered"},
    {SFC_CLD_BROKEN, "broken"}, {SFC_CLD_OVERCAST, "overcast"}, {SFC_CLD_OBSCURED, "obscured"},
};

/* Cloud-base codes 0 to 9, feet. */
constexpr float cloud_base_feet[] = {100, 200, 400, 700, 1500, 3000, 4500, 6000, 7500, 12000};

/* As "%.*s" writes the text into room characters. */
void put(char* out, int room, std::string_view text) {
  if (room <= 0) return;
  const std::size_t n =
      text.empty() ? 0 : strnlen(text.data(), std::min(text.size(), static_cast<std::size_t>(room - 1)));
  if (n > 0) std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

const char* number_code(const NumberCode* table, size_t rows, int wx) {
  for (size_t i = 0; i < rows; ++i)
    if (wx >= table[i].lo && wx <= table[i].hi) return table[i].code;
  return " ";
}

bool starts_with(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

/* The leading element of a letter code, or null. At most five characters
 * of the code are read. */
const Element* leading_element(std::string_view code) {
  code = code.substr(0, 5);
  for (const Element& e : elements)
    if (starts_with(code, e.prefix)) return &e;
  return nullptr;
}

/* A ww number written in digits at the start of a field; numbers too long
 * for any table are kept out of range rather than overflowing. */
int leading_number(const char* str) {
  int n = 0;
  for (; *str >= '0' && *str <= '9'; ++str) n = n < 100000 ? n * 10 + (*str - '0') : n;
  return n;
}

/* Any weather field brought to the letter code. */
std::string letter_code(const char* str) {
  if (str == nullptr) return "";
  if (*str >= '0' && *str <= '9') {
    char code[WX_CODE_LEN];
    WX_wmo_weather(leading_number(str), code);
    return code;
  }
  if (*str == '!') {
    char code[WX_METAR_CODE_LEN];
    WX_metar_weather(str, code);
    return code;
  }
  return std::string(str, strnlen(str, SFC_WEATHER_LEN - 1));
}

} // namespace

float WX_wmo_vis(int vis) {
  /* A negative code is no visibility (the missing value among them). */
  if (vis < 0 || vis >= 90) return KEZ_FMISS;
  if (vis <= 50) return static_cast<float>(vis) / 16.0f;
  if (vis <= 80) return static_cast<float>((vis - 50) / 1.6);
  return static_cast<float>((30.0 + 5.0 * (vis - 80)) / 1.6);
}

float WX_wmo_cld_base(int cb) {
  if (cb < 0 || cb > 9) return KEZ_FMISS;
  return cloud_base_feet[cb];
}

int WX_wmo_weather(int wx, char* wx_str) {
  if (wx_str == nullptr) return -1;
  put(wx_str, WX_CODE_LEN, number_code(ww_codes, std::size(ww_codes), wx));
  return 0;
}

int WX_wmo_auto_weather(char* wx_str, int wx) {
  if (wx_str == nullptr) return -1;
  put(wx_str, WX_CODE_LEN, number_code(wawa_codes, std::size(wawa_codes), wx));
  return 0;
}

int WX_metar_weather(const char* wx, char* wx_str) {
  if (wx_str == nullptr) return -1;
  std::string_view intensity, descriptor, precipitation, obscuration;
  std::string_view rest = wx != nullptr ? wx : "";
  if (starts_with(rest, "!")) rest.remove_prefix(1);
  for (;;) {
    const MetarToken* t = nullptr;
    for (const MetarToken& m : metar_tokens)
      if (starts_with(rest, m.token)) {
        t = &m;
        break;
      }
    /* A second precipitation token ends the group's code. */
    if (!t || (t->part == Part::precipitation && !precipitation.empty())) break;
    switch (t->part) {
      case Part::vicinity: put(wx_str, WX_METAR_CODE_LEN, ""); return 0;
      case Part::intensity: intensity = t->code; break;
      case Part::descriptor: descriptor = t->code; break;
      case Part::precipitation: precipitation = t->code; break;
      case Part::obscuration: obscuration = t->code; break;
      case Part::ignored: break;
    }
    rest.remove_prefix(t->token.size());
  }
  /* At most three parts of two letters each: formed in place. */
  char code[8];
  std::size_t n = 0;
  auto add = [&](std::string_view part) {
    const std::size_t k = std::min(part.size(), sizeof code - n);
    if (k > 0) std::memcpy(code + n, part.data(), k);
    n += k;
  };
  if (precipitation.empty() && !obscuration.empty()) {
    add(obscuration);
  } else if (precipitation.empty() && descriptor == "T") {
    add("T");
  } else if (descriptor == "W") {
    add(precipitation);
    add("W");
    add(intensity);
  } else {
    add(descriptor);
    add(precipitation);
    add(intensity);
  }
  put(wx_str, WX_METAR_CODE_LEN, std::string_view(code, n));
  return 0;
}

const char* WX_metar_weather_text(const char* wx, char* wx_str) {
  if (wx_str != nullptr) put(wx_str, WX_TEXT_LEN, "");
  if (wx == nullptr) return nullptr;
  const char* pos = wx;
  if (*pos == '!') ++pos;
  if (*pos == '_') ++pos;
  std::string main, trailing;
  bool sign = false, matched = false;
  auto add = [&main](std::string_view words) {
    if (!main.empty()) main += ' ';
    main += words;
  };
  for (const MetarWords& w : metar_words) {
    if (!starts_with(pos, w.token)) continue;
    matched = true;
    pos += std::strlen(w.token);
    switch (w.kind) {
      case Words::main:
        add(w.words);
        if (w.token[0] == '-' || w.token[0] == '+') sign = true;
        break;
      case Words::moderate_main:
        if (!sign) add("moderate");
        add(w.words);
        break;
      case Words::trailing: trailing = w.words; break;
      case Words::showers: trailing = trailing.empty() ? "showers" : "showers in vicinity"; break;
    }
  }
  if (!trailing.empty()) add(trailing);
  MESS_print(M_debug, "WX: %s = %s\n", wx, main.c_str());
  if (wx_str != nullptr) put(wx_str, WX_TEXT_LEN, main);
  return matched ? pos : nullptr;
}

int WX_weather_wmo(const char* str) {
  const Element* e = leading_element(letter_code(str));
  return e != nullptr ? e->ww : 0;
}

int WX_weather_text(const char* str, char* out_str) {
  const Element* e = leading_element(letter_code(str));
  if (out_str != nullptr) put(out_str, WX_TEXT_LEN, e != nullptr ? e->words : "");
  return e != nullptr ? e->used : 0;
}

float dir_decode(const char* dir) {
  if (dir == nullptr) return KEZ_FMISS;
  for (const Compass& c : compass_points)
    if (std::strcmp(dir, c.name) == 0) return c.degrees;
  return KEZ_FMISS;
}

const char* print_cloud(const char* str) {
  if (str == nullptr) return "";
  for (const CoverWord& c : cover_words)
    if (str[0] == c.cover) return c.word;
  return "";
}
