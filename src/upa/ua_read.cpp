/*
 * ua_read: upper-air report files.
 *
 * Owns the one open upper-air file of the process: detection of its layout,
 * opening and closing, its header (read and written), rewinding, and reading
 * its reports by index into a UPA_report. The text layouts carry each level
 * as the radiosonde code's five-character groups (PPhhh, TTTDD, dddff), which
 * the group coders here turn into values and back; the netCDF layouts are
 * read and written only through the netCDF access layer (kezcdf.h), whose
 * calls never let the library end the process. The sounding programs' prompt
 * layer reads files through these calls; decoders write them.
 *
 * Every file is hostile: tokens are read whole and cut, a token that is
 * neither a marker nor a group of its kind decodes to missing values, a
 * report cut short keeps the rest of its record missing, and the counts of
 * a netCDF record are limited to the record's sizes before any read.
 */
#include "kezupa.h"

#include "kezcdf.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace {

/* The longest token kept; the rest of a longer one is read and dropped. */
constexpr size_t token_max = 64;
/* The first word of a report holds at most this many characters. */
constexpr size_t first_word_max = 39;
/* Lists of the fixed-place text layout. */
constexpr int fixed_places = 28;
/* The text of the date label, without its terminator. */
constexpr size_t datim_max = sizeof(UPA_info{}.datim) - 1;
constexpr const char* default_history = "Upper air converted file from KEZ decoders";

struct StreamCloser {
  void operator()(FILE* fp) const { FILE_close(fp); }
};
using Stream = std::unique_ptr<FILE, StreamCloser>;

/* The netCDF variables of the two layouts, in the order of their schema. */
enum CdfVar {
  V_ID,
  V_REGION,
  V_TYPE,
  V_IDN,
  V_LAT,
  V_LON,
  V_NUM_MANT,
  V_NUM_SIGT,
  V_NUM_SIGW,
  V_P_MAN,
  V_Z_MAN,
  V_T_MAN,
  V_TD_MAN,
  V_DIR_MAN,
  V_SPD_MAN,
  V_P_SIGT,
  V_T_SIGT,
  V_TD_SIGT,
  V_Z_SIGW,
  V_DIR_SIGW,
  V_SPD_SIGW,
  V_COUNT
};

enum class Shape { text, single, mant, sigt, sigw };
enum class Kind { chars, count, wmo, value };

struct CdfSchema {
  const char* name11;
  const char* name12;
  Shape shape;
  Kind kind;
  const char* long_name;
  const char* units11; /* nullptr: none */
  const char* units12;
  float min;
  float max;
};

/* The count ranges admit every count the record holds. */
constexpr std::array<CdfSchema, V_COUNT> schema{{
    {"id", "id", Shape::text, Kind::chars, "Station ID", nullptr, nullptr, 0, 0},
    {"region", "region", Shape::text, Kind::chars, "Region ID", nullptr, nullptr, 0, 0},
    {"type", "type", Shape::text, Kind::chars, "Report Origination", nullptr, nullptr, 0, 0},
    {"idn", "idn", Shape::single, Kind::wmo, "WMO Numeric Station ID", nullptr, nullptr, 0, 0},
    {"lat", "lat", Shape::single, Kind::value, "Latitude", "degrees_N", "degrees_N", -90, 90},
    {"lon", "lon", Shape::single, Kind::value, "Longitude", "degrees_E", "degrees_E", -180, 180},
    {"num_mant", "num_mant", Shape::single, Kind::count, "Number of Mandatory Levels", nullptr, nullptr, 0,
     UPA_NUM_MAN},
    {"num_sigt", "num_sigt", Shape::single, Kind::count, "Number of Significant Levels wrt T", nullptr, nullptr, 0,
     UPA_NUM_SIG},
    {"num_sigw", "num_sigw", Shape::single, Kind::count, "Number of Significant Levels wrt W", nullptr, nullptr, 0,
     UPA_NUM_WND},
    {"p_man", "P_man", Shape::mant, Kind::value, "Pressure - Mandatory Levels", "hectopascals", "hectopascals", 0,
     1500},
    {"z_man", "Z_man", Shape::mant, Kind::value, "Geopotential - Mandatory Levels", "meters", "meters", -150, 100000},
    {"t_man", "T_man", Shape::mant, Kind::value, "Temperature - Mandatory Levels", "celsius", "celsius", -100, 100},
    {"td_man", "TD_man", Shape::mant, Kind::value, "Dew Point - Mandatory Levels", "celsius", "celsius", -100, 100},
    {"dir_man", "DIR_man", Shape::mant, Kind::value, "Wind Direction - Mandatory Levels", "degrees", "degrees", 0, 360},
    {"spd_man", "SPD_man", Shape::mant, Kind::value, "Wind Speed - Mandatory Levels", "knots", "meters/second", 0, 300},
    {"p_sigt", "P_sigt", Shape::sigt, Kind::value, "Pressure - Significant Levels wrt T", "hectopascals",
     "hectopascals", 0, 1500},
    {"t_sigt", "T_sigt", Shape::sigt, Kind::value, "Temperature - Significant Levels wrt T", "celsius", "celsius", -100,
     100},
    {"td_sigt", "TD_sigt", Shape::sigt, Kind::value, "Dew Point - Significant Levels wrt T", "celsius", "celsius", -100,
     100},
    {"z_sigw", "Z_sigw", Shape::sigw, Kind::value, "Altitude - Significant Levels wrt W", "feet", "meters", -150,
     100000},
    {"dir_sigw", "DIR_sigw", Shape::sigw, Kind::value, "Wind Direction - Significant Levels wrt W", "degrees",
     "degrees", 0, 360},
    {"spd_sigw", "SPD_sigw", Shape::sigw, Kind::value, "Wind Speed - Significant Levels wrt W", "knots",
     "meters/second", 0, 300},
}};

/* Wind heights (feet) of the old text layouts' fixed wind groups. */
constexpr std::array<float, 16> old_short_heights{0,    1000, 2000,  3000,  4000,  5000,  6000,  7000,
                                                  8000, 9000, 10000, 12000, 14000, 15000, 16000, 18000};
constexpr std::array<float, 21> old_long_heights{0,     1000,  2000,  3000,  4000,  5000,  6000,
                                                 7000,  8000,  9000,  10000, 12000, 14000, 16000,
                                                 20000, 25000, 30000, 35000, 40000, 45000, 50000};
/* Mandatory slots of the old text layouts, in the order of their triplets. */
constexpr std::array<int, 4> old_short_slots{1, 3, 4, 5};
constexpr std::array<int, 8> old_long_slots{1, 3, 4, 5, 6, 7, 9, 11};
constexpr int old_short_sig = 14;
constexpr int old_long_sig = 21;

struct State {
  Stream cvt_file; /* the open text or binary stream */
  int file_type = UPA_FT_NONE;
  int file_access = UPA_ACC_READ;
  int cdf_fd = CDF_NO_ID; /* the open netCDF file */
  /* Text reading: the index of the report before which the stream stands
   * (-1: not known, the next read rewinds), the index last read and the
   * offset at which it begins (-1: none). */
  int stat_num = -1;
  int last_num = -1;
  long cur_pos = -1;
  float version = 1.1f; /* 1.0: a netCDF file without "version" */
  long num_station = 0;
  std::array<int, V_COUNT> var_id = [] {
    std::array<int, V_COUNT> a{};
    a.fill(CDF_NO_ID);
    return a;
  }();
  char encd_str[10] = "";
} state;

bool is_text(int t) { return t >= UPA_FT_OLD_SHORT && t <= UPA_FT_OPEN_LOC; }
bool is_cdf(int t) { return t == UPA_FT_CDF || t == UPA_FT_CDF_SI; }
bool is_new_text(int t) { return t >= UPA_FT_FIXED && t <= UPA_FT_OPEN_LOC; }
bool missing(float v) { return v == KEZ_FMISS || !std::isfinite(v); }

const char* marker() { return is_new_text(state.file_type) ? "X" : "99999"; }

void put_group(const char* text) { std::snprintf(state.encd_str, sizeof state.encd_str, "%s", text); }

/* ---- group coding ------------------------------------------------------------------ */

/* One integer of at most width characters as a "%Nd" scan reads it: a
 * leading sign counts toward the width. False without a digit. */
bool scan_int(std::string_view s, size_t* pos, size_t width, int* out) {
  size_t i = *pos;
  const size_t end = std::min(s.size(), i + width);
  bool neg = false;
  if (i < end && (s[i] == '-' || s[i] == '+')) neg = s[i++] == '-';
  const size_t digits = i;
  int v = 0;
  while (i < end && std::isdigit(static_cast<unsigned char>(s[i]))) v = v * 10 + (s[i++] - '0');
  if (i == digits) return false;
  *pos = i;
  *out = neg ? -v : v;
  return true;
}

/* A group of at most five characters, its characters those of its kind. */
bool group_ok(std::string_view s, bool slash) {
  if (s.empty() || s.size() > 5) return false;
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (std::isdigit(static_cast<unsigned char>(c))) continue;
    if (c == '-' && i == 0) continue;
    if (c == '/' && slash) continue;
    return false;
  }
  return true;
}

std::string_view view(const char* str) { return str ? std::string_view(str, strnlen(str, token_max)) : ""; }

/* The height that hhh stands for at the pressure code PP. */
float complete_height(int pp, int hhh) {
  const bool high = hhh > 500;
  switch (pp) {
    case 0: return hhh >= 500 ? 500.0f - hhh : static_cast<float>(hhh);
    case 92: return static_cast<float>(hhh);
    case 85: return 1000.0f + hhh;
    case 70: return (high ? 2000.0f : 3000.0f) + hhh;
    case 50:
    case 40: return 10.0f * hhh;
    case 30:
    case 25: return high ? 10.0f * hhh : 10000.0f + 10.0f * hhh;
    case 20:
    case 15:
    case 10:
    case 7: return 10000.0f + 10.0f * hhh;
    case 5: return (high ? 10000.0f : 20000.0f) + 10.0f * hhh;
    case 3:
    case 2: return 20000.0f + 10.0f * hhh;
    case 1: return (high ? 20000.0f : 30000.0f) + 10.0f * hhh;
    case -7:
    case -5: return 30000.0f + 10.0f * hhh;
    case -3:
    case -2: return (high ? 30000.0f : 40000.0f) + 10.0f * hhh;
    case -1: return (high ? 40000.0f : 50000.0f) + 10.0f * hhh;
    default: return static_cast<float>(hhh);
  }
}

} // namespace

int UPA_initialize(UPA_report* report) {
  if (!report) return -1;
  report->id[0] = '\0';
  report->area[0] = '\0';
  report->wmo = KEZ_MISS;
  report->time = KEZ_MISS;
  report->lat = report->lon = report->elev = KEZ_FMISS;
  for (auto& m : report->man) m = {KEZ_FMISS, KEZ_FMISS, KEZ_FMISS, KEZ_FMISS, KEZ_FMISS, KEZ_FMISS};
  for (auto& s : report->sig) s = {KEZ_FMISS, KEZ_FMISS, KEZ_FMISS};
  for (auto& w : report->wnd) w = {KEZ_FMISS, KEZ_FMISS, KEZ_FMISS};
  report->numman = report->numsig = report->numwnd = 0;
  return 0;
}

int UPA_mandatory(float p) {
  constexpr std::array<float, 16> levels{1000, 925, 850, 700, 500, 400, 300, 250, 200, 150, 100, 70, 50, 30, 20, 10};
  for (size_t i = 0; i < levels.size(); ++i)
    if (p == levels[i]) return static_cast<int>(i) + 1;
  return 0;
}

int decd_ph(const char* str, float* pres, float* hght) {
  float p_dummy, h_dummy;
  if (!pres) pres = &p_dummy;
  if (!hght) hght = &h_dummy;
  *pres = *hght = KEZ_FMISS;
  const std::string_view s = view(str);
  if (!group_ok(s, true)) return -1;
  size_t pos = 0;
  int pp = 0;
  if (!scan_int(s, &pos, 2, &pp) || pp == 99) return -1;
  if (pp == 0)
    *pres = 1000.0f;
  else if (pp == 92)
    *pres = 925.0f;
  else
    *pres = pp > 0 ? 10.0f * pp : static_cast<float>(-pp);
  int hhh = 0;
  if (!scan_int(s, &pos, 3, &hhh)) return -1;
  *hght = complete_height(pp, hhh);
  return 0;
}

int decd_td(const char* str, float* temp, float* dewpt) {
  float t_dummy, d_dummy;
  if (!temp) temp = &t_dummy;
  if (!dewpt) dewpt = &d_dummy;
  *temp = *dewpt = KEZ_FMISS;
  const std::string_view s = view(str);
  /* "//" stands for a dew point not measured; the temperature stands. */
  if (!group_ok(s, true) || s[0] == '-' || s.substr(0, 3).find('/') != std::string_view::npos) return -1;
  size_t pos = 0;
  int ttt = 0;
  if (!scan_int(s, &pos, 3, &ttt) || ttt == 999) return -1;
  *temp = (ttt % 2 ? -ttt : ttt) / 10.0f;
  int dd = 99;
  if (!scan_int(s, &pos, 2, &dd) || dd < 0 || dd == 99) return 0;
  *dewpt = dd <= 50 ? *temp - dd / 10.0f : *temp - static_cast<float>(dd - 50);
  return 0;
}

int decd_wd(const char* str, float* dir, float* spd) {
  float d_dummy, s_dummy;
  if (!dir) dir = &d_dummy;
  if (!spd) spd = &s_dummy;
  *dir = *spd = KEZ_FMISS;
  const std::string_view s = view(str);
  if (!s.empty() && s[0] == 'X') return -1;
  if (!group_ok(s, false) || s[0] == '-') return -1;
  size_t pos = 0;
  int ddd = 0, ff = 0;
  if (!scan_int(s, &pos, 3, &ddd) || !scan_int(s, &pos, 2, &ff) || ff < 0) return -1;
  if (ddd == 999) return 0;
  const int speed = (ddd % 5) * 100 + ff;
  const int direction = ddd - ddd % 5;
  if (speed > 250 || direction > 360) return 0;
  *dir = static_cast<float>(direction);
  *spd = static_cast<float>(speed);
  return 0;
}

int encd_ph(float pres, float hght) {
  if (pres == KEZ_FMISS && hght == KEZ_FMISS) {
    put_group(marker());
    return -1;
  }
  /* A group needs the pressure; one that cannot be coded is missing (below
   * 1 hPa the code would be -0, which reads as 1000 hPa). */
  if (missing(pres) || !(pres >= 1) || pres >= 100000) {
    put_group(marker());
    return -1;
  }
  char code[4];
  const int ip = static_cast<int>(pres);
  if (pres < 10)
    std::snprintf(code, sizeof code, "-%1d", ip);
  else
    std::snprintf(code, sizeof code, "%02d", (ip % 1000) / 10);
  if (missing(hght) || std::fabs(hght) >= 1e9f) {
    char group[10];
    std::snprintf(group, sizeof group, "%.2s/", code);
    put_group(group);
    return 0;
  }
  long long h = static_cast<long long>(hght < 0 ? 500.0f - hght : hght);
  const long long digits = pres <= 500 ? (h % 10000) / 10 : h % 1000;
  char group[10];
  std::snprintf(group, sizeof group, "%.2s%03lld", code, digits % 1000);
  put_group(group);
  return 0;
}

int encd_td(float temp, float dewpt) {
  if (temp == KEZ_FMISS && dewpt == KEZ_FMISS) {
    put_group(marker());
    return -1;
  }
  if (missing(temp) || std::fabs(temp) >= 99.9f) {
    put_group(marker());
    return -1;
  }
  int dd = 99;
  if (!missing(dewpt) && std::fabs(dewpt) < 1e6f) {
    const float diff = temp - dewpt;
    int d = static_cast<int>(10.0 * (static_cast<double>(diff) + 0.01));
    if (d < 0) d = 0;
    if (d >= 60)
      d = d / 10 + 50;
    else if (d >= 50)
      d = 50;
    dd = d > 98 ? 99 : d; /* a depression beyond the code's reach is unknown */
  }
  int t = static_cast<int>(10.0 * (static_cast<double>(temp) + 0.01));
  t = t < 0 ? 1 - 2 * (t / 2) : 2 * (t / 2);
  char group[10];
  std::snprintf(group, sizeof group, "%03d%02d", t % 1000, dd);
  put_group(group);
  return 0;
}

int encd_wd(float dir, float spd) {
  if (missing(dir) || missing(spd) || dir < 0 || spd < 0 || dir >= 997.5f || spd >= 499.99f) {
    put_group(marker());
    return -1;
  }
  const int s = static_cast<int>(spd + 0.01);
  const int ddd = 5 * (static_cast<int>(dir + 2.5) / 5) + s / 100;
  char group[10];
  std::snprintf(group, sizeof group, "%03d%02d", ddd, s % 100);
  put_group(group);
  return 0;
}

const char* UPA_encoded() { return state.encd_str; }

namespace {

/* ---- text tokens -------------------------------------------------------------------- */

/* The text reader: tokens are separated by white space; a token longer
 * than token_max is read whole and cut. */
struct Reader {
  FILE* fp;
  bool at_end = false;

  bool token(std::string* out) {
    out->clear();
    int c;
    while ((c = std::getc(fp)) != EOF && std::isspace(c)) {
    }
    if (c == EOF) {
      at_end = true;
      return false;
    }
    do {
      if (out->size() < token_max) *out += static_cast<char>(c);
    } while ((c = std::getc(fp)) != EOF && !std::isspace(c));
    if (c != EOF) std::ungetc(c, fp);
    return true;
  }
  std::string next() {
    std::string t;
    token(&t);
    return t;
  }
  void skip(int n) {
    std::string t;
    for (int i = 0; i < n && !at_end; ++i) token(&t);
  }
  void skip_space() {
    int c;
    while ((c = std::getc(fp)) != EOF && std::isspace(c)) {
    }
    if (c != EOF) std::ungetc(c, fp);
  }
};

/* A number that fills the whole token ("013", "7.5"); missing otherwise. */
float token_value(const std::string& t) {
  if (t.empty()) return KEZ_FMISS;
  char* end = nullptr;
  const double v = std::strtod(t.c_str(), &end);
  if (end == t.c_str() || *end != '\0' || !std::isfinite(v) || std::fabs(v) > 1e6) return KEZ_FMISS;
  return static_cast<float>(v);
}

/* The pressure of a significant entry: three characters at most, and 1000
 * added to a value below 100 written with a leading 0 ("013", not "0.5"). */
float sig_pressure(const std::string& t) {
  if (t.size() > 3) return KEZ_FMISS;
  float p = token_value(t);
  if (!missing(p) && p < 100 && t[0] == '0' && t.find('.') == std::string::npos) p += 1000;
  return p;
}

void set_text(char* dst, std::string_view src, size_t max) {
  const size_t n = std::min(src.size(), max);
  std::memcpy(dst, src.data(), n);
  dst[n] = '\0';
}

/* The first word: the identifier, and in type 5 "wmo:id:lat:lon". */
void first_word(const std::string& word, UPA_report* r) {
  const std::string w = word.substr(0, first_word_max);
  if (state.file_type != UPA_FT_OPEN_LOC) {
    set_text(r->id, w, UPA_ID_LEN - 1);
    return;
  }
  const size_t c1 = w.find(':');
  const float wmo = token_value(w.substr(0, c1));
  if (!missing(wmo) && wmo == std::floor(wmo) && std::fabs(wmo) < 1e6f) r->wmo = static_cast<int>(wmo);
  if (c1 == std::string::npos) return;
  const size_t c2 = w.find(':', c1 + 1);
  set_text(r->id, std::string_view(w).substr(c1 + 1, c2 == std::string::npos ? std::string::npos : c2 - c1 - 1),
           UPA_ID_LEN - 1);
  if (c2 == std::string::npos) return;
  const size_t c3 = w.find(':', c2 + 1);
  const float lat = token_value(w.substr(c2 + 1, c3 == std::string::npos ? std::string::npos : c3 - c2 - 1));
  if (missing(lat) || c3 == std::string::npos) return;
  const float lon = token_value(w.substr(c3 + 1));
  if (missing(lon)) return;
  r->lat = lat;
  r->lon = lon;
}

void read_triplet(Reader& in, UPA_level* m, const std::string& ph) {
  decd_ph(ph.c_str(), &m->p, &m->h);
  const std::string td = in.next();
  decd_td(td.c_str(), &m->t, &m->td);
  const std::string wd = in.next();
  decd_wd(wd.c_str(), &m->dir, &m->spd);
}

/* A whole text report and what the surface read looks at. */
struct TextReport {
  UPA_report rep;
  int sig_count = KEZ_MISS;  /* the count token of types 1 and 2 */
  std::string sig_p, sig_td; /* the first significant entry's tokens */
  std::string wnd_h, wnd_dd; /* the first wind entry's tokens */
};

/* Reads the report at which the stream stands; -1 without a first word. */
int read_text_report(Reader& in, TextReport* out) {
  UPA_report& r = out->rep;
  UPA_initialize(&r);
  const int type = state.file_type;
  const bool old = type == UPA_FT_OLD_SHORT || type == UPA_FT_OLD_LONG;
  const bool fixed = type == UPA_FT_FIXED;
  int nwnd_fixed = 0;
  if (type == UPA_FT_OLD_SHORT) {
    r.numman = 5;
    r.numsig = old_short_sig;
    nwnd_fixed = static_cast<int>(old_short_heights.size());
    for (int i = 0; i < nwnd_fixed; ++i) r.wnd[i].h = old_short_heights[i];
  } else if (type == UPA_FT_OLD_LONG) {
    r.numman = 11;
    r.numsig = old_long_sig;
    nwnd_fixed = static_cast<int>(old_long_heights.size());
    for (int i = 0; i < nwnd_fixed; ++i) r.wnd[i].h = old_long_heights[i];
  } else {
    r.numman = 17;
  }
  r.numwnd = nwnd_fixed;

  std::string word;
  if (!in.token(&word)) return -1;
  first_word(word, &r);

  /* Mandatory triplets. */
  if (old) {
    const int* slots = type == UPA_FT_OLD_SHORT ? old_short_slots.data() : old_long_slots.data();
    const size_t n = type == UPA_FT_OLD_SHORT ? old_short_slots.size() : old_long_slots.size();
    for (size_t i = 0; i < n; ++i) read_triplet(in, &r.man[slots[i]], in.next());
  } else {
    read_triplet(in, &r.man[UPA_SLOT_1000], in.next());
    int slot = UPA_SLOT_925;
    if (fixed) {
      /* The 925 hPa triplet is there only when it says 925. */
      const std::string ph = in.next();
      float p, h;
      decd_ph(ph.c_str(), &p, &h);
      if (p == 925.0f) {
        read_triplet(in, &r.man[UPA_SLOT_925], ph);
      } else {
        read_triplet(in, &r.man[UPA_SLOT_850], ph);
        r.man[UPA_SLOT_850].p = 850.0f;
      }
      slot = p == 925.0f ? UPA_SLOT_850 : UPA_SLOT_850 + 1;
    }
    for (; slot <= UPA_SLOT_10; ++slot) read_triplet(in, &r.man[slot], in.next());
    r.numman = 19;
    std::string t = in.next();
    for (int s = UPA_SLOT_ABOVE; s <= UPA_SLOT_ABOVE_END && !t.empty() && t[0] == '-'; ++s) {
      read_triplet(in, &r.man[s], t);
      t = in.next();
      ++r.numman;
    }
    /* Tropopause and maximum wind: 88PPP and 77PPP carry the pressure. */
    float p, h;
    decd_ph(t.c_str(), &p, &h);
    r.man[UPA_SLOT_TROP].p = h;
    std::string g = in.next();
    decd_td(g.c_str(), &r.man[UPA_SLOT_TROP].t, &r.man[UPA_SLOT_TROP].td);
    g = in.next();
    decd_wd(g.c_str(), &r.man[UPA_SLOT_TROP].dir, &r.man[UPA_SLOT_TROP].spd);
    g = in.next();
    decd_ph(g.c_str(), &p, &h);
    r.man[UPA_SLOT_MAXW].p = h;
    g = in.next();
    decd_wd(g.c_str(), &r.man[UPA_SLOT_MAXW].dir, &r.man[UPA_SLOT_MAXW].spd);
  }

  /* Significant levels. */
  int places = fixed_places;
  bool marker_ended = false;
  if (old) {
    const std::string c = in.next();
    const float v = token_value(c);
    out->sig_count = missing(v) || v < 0 ? 0 : static_cast<int>(std::min(v, 1000.0f));
    places = out->sig_count;
  }
  int nsig = 0;
  for (; (!fixed || nsig < places) && (!old || nsig < places) && !in.at_end; ++nsig) {
    const std::string pt = in.next();
    if (pt == "X" || pt.empty()) {
      marker_ended = pt == "X";
      break;
    }
    const std::string tt = in.next();
    if (nsig == 0) {
      out->sig_p = pt;
      out->sig_td = tt;
    }
    if (nsig >= UPA_NUM_SIG) continue;
    UPA_sig& s = r.sig[nsig];
    s.p = sig_pressure(pt);
    decd_td(tt.c_str(), &s.t, &s.td);
    if (nsig == 0 && !missing(s.p) && s.p > 500) {
      r.man[UPA_SLOT_SFC].p = s.p;
      r.man[UPA_SLOT_SFC].t = s.t;
      r.man[UPA_SLOT_SFC].td = s.td;
    }
  }
  r.numsig = std::min(nsig, UPA_NUM_SIG);
  if (old) {
    const int cap = type == UPA_FT_OLD_SHORT ? old_short_sig : old_long_sig;
    if (nsig < cap) in.skip(2 * (cap - nsig));
    r.numsig = std::min(out->sig_count, UPA_NUM_SIG);
  } else if (fixed && nsig < fixed_places) {
    in.skip(fixed_places - nsig - (marker_ended ? 1 : 0));
  }

  /* Wind levels. */
  if (old) {
    for (int i = 0; i < nwnd_fixed; ++i) {
      const std::string g = in.next();
      if (i == 0) out->wnd_dd = g;
      decd_wd(g.c_str(), &r.wnd[i].dir, &r.wnd[i].spd);
    }
    r.man[UPA_SLOT_SFC].dir = r.wnd[0].dir;
    r.man[UPA_SLOT_SFC].spd = r.wnd[0].spd;
  } else {
    int nwnd = 0;
    bool dollar = false;
    marker_ended = false;
    for (; (!fixed || nwnd < fixed_places) && !in.at_end; ++nwnd) {
      const std::string ht = in.next();
      if (ht == "X" || ht == "$" || ht.empty()) {
        marker_ended = ht == "X";
        dollar = ht == "$";
        break;
      }
      const std::string g = in.next();
      if (nwnd == 0) {
        out->wnd_h = ht;
        out->wnd_dd = g;
      }
      if (nwnd >= UPA_NUM_WND) continue;
      UPA_wnd& w = r.wnd[nwnd];
      const float hv = ht.size() <= 2 ? token_value(ht) : KEZ_FMISS;
      w.h = missing(hv) ? KEZ_FMISS : hv * 1000.0f;
      decd_wd(g.c_str(), &w.dir, &w.spd);
      if (nwnd == 0 && w.h == 0.0f) {
        r.man[UPA_SLOT_SFC].dir = w.dir;
        r.man[UPA_SLOT_SFC].spd = w.spd;
      }
    }
    r.numwnd = std::min(nwnd, UPA_NUM_WND);
    if (fixed) {
      if (nwnd < fixed_places) in.skip(fixed_places - nwnd - (marker_ended ? 1 : 0));
    } else if (!dollar) {
      std::string t;
      while (in.token(&t) && t != "$") {
      }
    }
  }

  /* Without significant levels the surface is the lowest level reported. */
  if (r.numsig == 0 && missing(r.man[UPA_SLOT_1000].t))
    r.man[UPA_SLOT_SFC].p = r.man[UPA_SLOT_1000].p;
  else if (r.numsig == 0 && missing(r.man[UPA_SLOT_925].t))
    r.man[UPA_SLOT_SFC].p = r.man[UPA_SLOT_925].p;
  in.skip_space();
  return 0;
}

void copy_first_word(const UPA_report& from, UPA_report* to) {
  std::memcpy(to->id, from.id, sizeof to->id);
  to->wmo = from.wmo;
  to->lat = from.lat;
  to->lon = from.lon;
}

bool slot_mode(int mode) {
  return (mode >= UPA_SLOT_1000 && mode <= UPA_SLOT_10) || mode == UPA_SLOT_TROP || mode == UPA_SLOT_MAXW;
}

int read_text(UPA_report* report, int mode, int n) {
  FILE* fp = state.cvt_file.get();
  if (!fp || state.file_access != UPA_ACC_READ) return -1;
  if (n < 0) return -1;
  if (n == state.last_num && state.cur_pos > 0 && n < state.stat_num) {
    if (std::fseek(fp, state.cur_pos, SEEK_SET) != 0) return -1;
    state.stat_num = n;
  } else if (state.stat_num < 0 || n < state.stat_num) {
    if (UPA_rewind(0) != 0) return -1;
  }
  Reader in{fp};
  auto scratch = std::make_unique<TextReport>();
  while (state.stat_num < n) {
    in.skip_space();
    if (read_text_report(in, scratch.get()) != 0) return -1;
    ++state.stat_num;
  }
  in.skip_space();
  const long pos = std::ftell(fp);
  TextReport& tr = *scratch;
  if (read_text_report(in, &tr) != 0) {
    state.last_num = -1;
    state.cur_pos = -1;
    return -1;
  }
  state.cur_pos = pos;
  state.last_num = n;
  state.stat_num = n + 1;

  const int keep_type = report->type;
  UPA_initialize(report);
  const UPA_report& full = tr.rep;
  const int type = state.file_type;
  const bool old = type == UPA_FT_OLD_SHORT || type == UPA_FT_OLD_LONG;
  if (mode == UPA_REP_FULL) {
    *report = full;
    report->type = keep_type;
    return 0;
  }
  copy_first_word(full, report);
  if (mode == UPA_REP_ID) return 0;
  UPA_level& sfc = report->man[UPA_SLOT_SFC];
  if (mode == UPA_REP_SFC) {
    report->numsig = old ? tr.sig_count : KEZ_MISS;
    const bool none = tr.sig_p.empty() || tr.sig_p == "X" || (old && tr.sig_count == 0);
    if (!none) {
      const float p = sig_pressure(tr.sig_p);
      if (!missing(p) && p >= 500) {
        sfc.p = p;
        decd_td(tr.sig_td.c_str(), &sfc.t, &sfc.td);
      }
    }
    if (old) {
      decd_wd(tr.wnd_dd.c_str(), &sfc.dir, &sfc.spd);
    } else if (tr.wnd_h.size() >= 2 && token_value(tr.wnd_h) == 0.0f) {
      decd_wd(tr.wnd_dd.c_str(), &sfc.dir, &sfc.spd);
    }
    return 0;
  }
  if (slot_mode(mode)) sfc = full.man[mode];
  report->numman = 1;
  return 0;
}

/* ---- netCDF -------------------------------------------------------------------------- */

void read_cdf_text(int var, char* dst) {
  char buf[UPA_ID_LEN] = "";
  if (CDF_get_str(var, UPA_ID_LEN - 1, buf) == 1) set_text(dst, view(buf), UPA_ID_LEN - 1);
}

int read_count(int var, int max) {
  const long v = CDF_get_long(var);
  if (v < 0 || v == KEZ_MISS) return 0;
  return v > max ? max : static_cast<int>(v);
}

float knots(float v, bool si) { return si && !missing(v) ? v * UPA_MS_TO_KT : v; }

int read_cdf(UPA_report* report, int mode, int n) {
  if (n < 0 || n >= state.num_station) return -1;
  const int keep_type = report->type;
  UPA_initialize(report);
  report->type = keep_type;
  const bool si = state.file_type == UPA_FT_CDF_SI;
  const auto& id = state.var_id;
  const bool level = mode == UPA_REP_SFC || slot_mode(mode);
  if (!level && mode != UPA_REP_FULL && mode != UPA_REP_ID && mode != UPA_REP_LOCATION) return 0;
  CDF_set_fd(state.cdf_fd);
  CDF_set_pos(1, n);
  read_cdf_text(id[V_ID], report->id);
  CDF_set_pos(1, n);
  const long wmo = CDF_get_long(id[V_IDN]);
  report->wmo = wmo > -1000000000L && wmo < 1000000000L ? static_cast<int>(wmo) : KEZ_MISS;
  if (mode == UPA_REP_ID) return 0;

  if (id[V_REGION] == CDF_NO_ID) {
    std::snprintf(report->area, sizeof report->area, "UN");
  } else {
    CDF_set_pos(1, n);
    read_cdf_text(id[V_REGION], report->area);
  }
  CDF_set_pos(1, n);
  report->lat = CDF_get_float(id[V_LAT]);
  report->lon = CDF_get_float(id[V_LON]);
  /* Version-1 files hold longitudes with the opposite sign. */
  if (state.version == 1.0f && !missing(report->lon)) report->lon = -report->lon;
  CDF_set_pos(2, n, 0);
  report->elev = CDF_get_float(id[V_Z_MAN]);
  if (mode == UPA_REP_LOCATION) return 0;

  if (level) {
    CDF_set_pos(2, n, UPA_SLOT_925);
    const float p2 = CDF_get_float(id[V_P_MAN]);
    int slot = mode;
    if (mode > UPA_SLOT_1000 && p2 == 850.0f) slot = mode - 1;
    if (mode == UPA_SLOT_925 && p2 == 850.0f) return 0;
    CDF_set_pos(2, n, slot);
    UPA_level& m = report->man[UPA_SLOT_SFC];
    m.p = CDF_get_float(id[V_P_MAN]);
    m.h = CDF_get_float(id[V_Z_MAN]);
    m.t = CDF_get_float(id[V_T_MAN]);
    m.td = CDF_get_float(id[V_TD_MAN]);
    m.dir = CDF_get_float(id[V_DIR_MAN]);
    m.spd = knots(CDF_get_float(id[V_SPD_MAN]), si);
    return 0;
  }

  CDF_set_pos(1, n);
  const int nman = read_count(id[V_NUM_MANT], UPA_NUM_MAN);
  const int nsig = read_count(id[V_NUM_SIGT], UPA_NUM_SIG);
  const int nwnd = read_count(id[V_NUM_SIGW], UPA_NUM_WND);
  report->numman = nman;
  if (nman > 0) {
    std::array<std::array<float, UPA_NUM_MAN>, 6> v;
    for (auto& a : v) a.fill(KEZ_FMISS);
    constexpr std::array<int, 6> vars{V_P_MAN, V_Z_MAN, V_T_MAN, V_TD_MAN, V_DIR_MAN, V_SPD_MAN};
    for (size_t k = 0; k < vars.size(); ++k) {
      CDF_set_range(2, n, 1, 0, nman);
      CDF_get_float_array(id[vars[k]], v[k].data());
    }
    /* A file without a 925 hPa slot has 850 hPa at index 2. */
    const int shift = nman > UPA_SLOT_925 && v[0][UPA_SLOT_925] == 850.0f ? 1 : 0;
    for (int i = 0; i < nman; ++i) {
      const int slot = i >= UPA_SLOT_925 ? i + shift : i;
      if (slot >= UPA_NUM_MAN) break;
      report->man[slot] = {v[0][i], v[1][i], v[2][i], v[3][i], v[4][i], knots(v[5][i], si)};
    }
  }
  report->numsig = nsig;
  if (nsig > 0) {
    std::array<std::array<float, UPA_NUM_SIG>, 3> v;
    for (auto& a : v) a.fill(KEZ_FMISS);
    constexpr std::array<int, 3> vars{V_P_SIGT, V_T_SIGT, V_TD_SIGT};
    for (size_t k = 0; k < vars.size(); ++k) {
      CDF_set_range(2, n, 1, 0, nsig);
      CDF_get_float_array(id[vars[k]], v[k].data());
    }
    for (int i = 0; i < nsig; ++i) report->sig[i] = {v[0][i], v[1][i], v[2][i]};
  }
  report->numwnd = nwnd;
  if (nwnd > 0) {
    std::array<std::array<float, UPA_NUM_WND>, 3> v;
    for (auto& a : v) a.fill(KEZ_FMISS);
    constexpr std::array<int, 3> vars{V_Z_SIGW, V_DIR_SIGW, V_SPD_SIGW};
    for (size_t k = 0; k < vars.size(); ++k) {
      CDF_set_range(2, n, 1, 0, nwnd);
      CDF_get_float_array(id[vars[k]], v[k].data());
    }
    for (int i = 0; i < nwnd; ++i) {
      /* The exact inverse of the writer's factor: 25,000 m come back as
       * 82,021 ft, not a foot short of a thousand. */
      const float h = si && !missing(v[0][i]) ? v[0][i] / UPA_FT_TO_M : v[0][i];
      report->wnd[i] = {h, v[1][i], knots(v[2][i], si)};
    }
  }
  return 0;
}

/* ---- files ----------------------------------------------------------------------------- */

/* Reads up to the line end, keeping at most max characters. */
std::string read_line(FILE* fp, size_t max) {
  std::string line;
  int c;
  while ((c = std::getc(fp)) != EOF && c != '\n')
    if (line.size() < max) line += static_cast<char>(c);
  return line;
}

void skip_line(FILE* fp) {
  int c;
  while ((c = std::getc(fp)) != EOF && c != '\n') {
  }
}

bool cdf_detect(const char* filename, int* type) {
  CDF_print_errors(0);
  const int fd = CDF_open(filename, CDF_READ);
  bool ok = fd != -1;
  if (ok) {
    *type = CDF_get_dim("station") != -1 ? UPA_FT_CDF : UPA_FT_CDF_SI;
    CDF_close();
  }
  CDF_print_errors(1);
  return ok;
}

} // namespace

int UPA_chktype(const char* filename) {
  if (!filename) return -1;
  FILE* raw = FILE_open(filename, "r");
  if (!raw) return -1;
  Stream fp(raw);
  Reader in{raw};
  std::string word;
  if (!in.token(&word)) return -1;
  skip_line(raw);
  skip_line(raw);
  int number = -1;
  {
    int c1;
    while ((c1 = std::getc(raw)) != EOF && std::isspace(c1)) {
    }
    if (c1 != EOF && std::isdigit(c1)) {
      number = c1 - '0';
      const int c2 = std::getc(raw);
      if (c2 != EOF && std::isdigit(c2)) number = number * 10 + (c2 - '0');
    }
  }
  fp.reset();
  if (word == "KEZUPA+") return UPA_FT_OPEN;
  if (word == "KEZUPAx") return UPA_FT_OPEN_LOC;
  if (word == "KEZUPA") return UPA_FT_FIXED;
  const char c = word[0];
  if (c == '0' || c == '1' || c == '2') return number > 21 ? UPA_FT_OLD_LONG : UPA_FT_OLD_SHORT;
  if (c == 'C') {
    int type = -1;
    return cdf_detect(filename, &type) ? type : -1;
  }
  return -1;
}

int UPA_open(const char* filename, int f_access, int* f_type) {
  if (!filename || !f_type) return -1;
  if (f_access != UPA_ACC_READ && f_access != UPA_ACC_WRITE) return -1;
  /* One file at a time: an open one is closed (and finished) first. */
  if (state.file_type != UPA_FT_NONE) UPA_close(state.cdf_fd);
  int type = *f_type;
  if (type == UPA_FT_NONE) {
    if (f_access != UPA_ACC_READ) return -1;
    type = UPA_chktype(filename);
    if (type < 0) return -1;
    *f_type = type;
  }
  state.file_access = f_access;
  state.stat_num = state.last_num = -1;
  state.cur_pos = -1;
  if (is_text(type) || type == UPA_FT_ELEMENT || type == UPA_FT_BINARY) {
    const bool bin = type == UPA_FT_BINARY;
    const char* mode = f_access == UPA_ACC_READ ? (bin ? "rb" : "r") : (bin ? "wb" : "w");
    FILE* fp = FILE_open(filename, mode);
    if (!fp) return -1;
    state.cvt_file.reset(fp);
    state.file_type = type;
    return fileno(fp);
  }
  if (is_cdf(type)) {
    CDF_print_errors(0);
    const int fd = CDF_open(filename, f_access == UPA_ACC_READ ? CDF_READ : CDF_CREATE);
    CDF_print_errors(1);
    if (fd == -1) return -1;
    state.cdf_fd = fd;
    state.num_station = 0;
    state.file_type = type;
    return fd;
  }
  return -1;
}

int UPA_close(int /*cvt_fd*/) {
  const int type = state.file_type;
  if (type == UPA_FT_NONE) return -1;
  int rc = 0;
  if (type == UPA_FT_ELEMENT && state.file_access == UPA_ACC_WRITE && state.cvt_file)
    if (std::fputs("</kezupa>\n", state.cvt_file.get()) == EOF) rc = -1;
  if (state.cvt_file) {
    if (FILE_close(state.cvt_file.release()) != 0) rc = -1;
  }
  if (is_cdf(type)) {
    /* The module's own file: a wrong handle must not close another user's. */
    CDF_set_fd(state.cdf_fd);
    if (CDF_close() != 0) rc = -1;
    state.cdf_fd = CDF_NO_ID;
  }
  state.file_type = UPA_FT_NONE;
  state.stat_num = state.last_num = -1;
  state.cur_pos = -1;
  return rc;
}

int UPA_getinfo(int /*cvt_fd*/, UPA_info* info) {
  if (!info) return 1;
  const int type = state.file_type;
  if (is_text(type) && state.cvt_file && state.file_access == UPA_ACC_READ) {
    FILE* fp = state.cvt_file.get();
    std::rewind(fp);
    if (is_new_text(type)) skip_line(fp);
    /* A longer label line is cut to what datim holds. */
    const std::string line = read_line(fp, datim_max);
    set_text(info->datim, line, datim_max);
    wsstrip_string(info->datim);
    DATE_decode_label(info->datim, &info->date);
    state.stat_num = 0;
    state.last_num = -1;
    state.cur_pos = -1;
    return 0;
  }
  if (is_cdf(type)) {
    CDF_set_fd(state.cdf_fd);
    const int n = CDF_get_dim_size(CDF_RECORD_DIM);
    state.num_station = n < 0 ? 0 : n;
    for (size_t i = 0; i < schema.size(); ++i)
      state.var_id[i] = CDF_get_var(type == UPA_FT_CDF ? schema[i].name11 : schema[i].name12);
    CDF_print_errors(0);
    char label[sizeof info->datim];
    if (CDF_get_glob_att("filetime", label, sizeof label) != -1 ||
        CDF_get_glob_att("datetime", label, sizeof label) != -1)
      set_text(info->datim, view(label), datim_max);
    char version[16];
    state.version = CDF_get_glob_att("version", version, sizeof version) == -1 ? 1.0f : 1.1f;
    CDF_print_errors(1);
    info->datim[datim_max] = '\0';
    DATE_decode_label(info->datim, &info->date);
    state.stat_num = 0;
    return 1;
  }
  return 1;
}

namespace {

int put_cdf_header(UPA_info* info) {
  const bool si = state.file_type == UPA_FT_CDF_SI;
  CDF_set_fd(state.cdf_fd);
  const int rec = CDF_def_dim(si ? "report" : "station", 0);
  const int mant = CDF_def_dim("mant_level", UPA_NUM_MAN);
  const int sigt = CDF_def_dim("sigt_level", UPA_NUM_SIG);
  const int sigw = CDF_def_dim("sigw_level", UPA_NUM_WND);
  const int slen = CDF_def_dim("string_len", UPA_ID_LEN);
  if (rec < 0 || mant < 0 || sigt < 0 || sigw < 0 || slen < 0) return -1;
  for (size_t i = 0; i < schema.size(); ++i) {
    const CdfSchema& s = schema[i];
    const char* name = si ? s.name12 : s.name11;
    switch (s.shape) {
      case Shape::text: CDF_set_shape(2, rec, slen); break;
      case Shape::single: CDF_set_shape(1, rec); break;
      case Shape::mant: CDF_set_shape(2, rec, mant); break;
      case Shape::sigt: CDF_set_shape(2, rec, sigt); break;
      case Shape::sigw: CDF_set_shape(2, rec, sigw); break;
    }
    int vid = -1;
    switch (s.kind) {
      case Kind::chars: vid = CDF_def_char_var(name); break;
      case Kind::count:
      case Kind::wmo: vid = CDF_def_long_var(name); break;
      case Kind::value: vid = CDF_def_float_var(name); break;
    }
    if (vid < 0) return -1;
    state.var_id[i] = vid;
  }
  for (size_t i = 0; i < schema.size(); ++i) {
    const CdfSchema& s = schema[i];
    const int vid = state.var_id[i];
    CDF_put_base_att(vid, s.long_name, si ? s.units12 : s.units11);
    if (s.kind == Kind::count) {
      CDF_put_long_range_att(vid, static_cast<long>(s.min), static_cast<long>(s.max));
      CDF_put_long_fill_att(vid, 0);
    } else if (s.kind == Kind::value) {
      CDF_put_float_range_att(vid, s.min, s.max);
      CDF_put_fill_att(vid);
    }
  }
  if (!info->cmdline) info->cmdline = default_history;
  const std::string datim(info->datim, strnlen(info->datim, sizeof info->datim));
  const std::string file(info->file, strnlen(info->file, sizeof info->file));
  if (CDF_put_glob_att("title", "Upper Air Observations") < 0 || CDF_put_glob_att("version", "2.0") < 0 ||
      CDF_put_glob_att("history", info->cmdline) < 0 || CDF_put_glob_att("filetime", datim.c_str()) < 0 ||
      CDF_put_glob_att("yymmddhh", file.c_str()) < 0)
    return -1;
  state.num_station = 0;
  return CDF_end_def() == -1 ? -1 : 0;
}

} // namespace

int UPA_putinfo(int /*cvt_fd*/, UPA_info* info) {
  const int type = state.file_type;
  if (!info || state.file_access != UPA_ACC_WRITE) return -1;
  const std::string datim(info->datim, strnlen(info->datim, sizeof info->datim));
  FILE* fp = state.cvt_file.get();
  int rc = 0;
  switch (type) {
    case UPA_FT_OLD_SHORT:
    case UPA_FT_OLD_LONG: rc = std::fprintf(fp, "%s\n", datim.c_str()); break;
    case UPA_FT_FIXED: rc = std::fprintf(fp, "KEZUPA\n%s\n", datim.c_str()); break;
    case UPA_FT_OPEN: rc = std::fprintf(fp, "KEZUPA+\n%s\n", datim.c_str()); break;
    case UPA_FT_OPEN_LOC: rc = std::fprintf(fp, "KEZUPAx\n%s\n", datim.c_str()); break;
    case UPA_FT_ELEMENT: rc = std::fprintf(fp, "<kezupa date=\"%s\">\n", datim.c_str()); break;
    case UPA_FT_BINARY: {
      const Date& d = info->date;
      const char* mon = d.month >= 1 && d.month <= 12 ? DATE_month(d.month) : "";
      rc = std::fprintf(fp, "%2.2d:%2.2dZ XXX %3s %2d %4d", d.hour, d.min, mon ? mon : "", d.day, d.year);
      swap_setup(2);
      break;
    }
    case UPA_FT_CDF:
    case UPA_FT_CDF_SI: return put_cdf_header(info);
    default: return -1;
  }
  return rc < 0 ? -1 : 0;
}

int UPA_rewind(int /*cvt_fd*/) {
  const int type = state.file_type;
  if (is_text(type) && state.cvt_file) {
    FILE* fp = state.cvt_file.get();
    std::rewind(fp);
    if (is_new_text(type)) skip_line(fp);
    skip_line(fp);
    state.stat_num = 0;
    state.last_num = -1;
    state.cur_pos = -1;
    return 0;
  }
  if (is_cdf(type)) {
    state.stat_num = 0;
    return 0;
  }
  return -1;
}

int UPA_read(int /*cvt_fd*/, UPA_report* report, int rep_type, const int* statnum) {
  if (!report || !statnum) return -1;
  if (is_text(state.file_type)) return read_text(report, rep_type, *statnum);
  if (is_cdf(state.file_type) && state.file_access == UPA_ACC_READ) return read_cdf(report, rep_type, *statnum);
  return -1;
}

/* ---- writing ---------------------------------------------------------------------------- */

namespace {

/* Appends printf-style text to a report being built. */
void add(std::string* out, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void add(std::string* out, const char* fmt, ...) {
  char buf[128];
  va_list ap;
  va_start(ap, fmt);
  const int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  if (n > 0) out->append(buf, std::min(static_cast<size_t>(n), sizeof buf - 1));
}

std::string id_text(const char* id) { return std::string(id, strnlen(id, UPA_ID_LEN)); }

/* Pressures, heights and the like cut to an int the way a group wants. */
int int_part(float v) { return std::fabs(v) < 1e9f ? static_cast<int>(v) : 0; }

void triplet(std::string* out, const UPA_level& m) {
  encd_ph(m.p, m.h);
  *out += UPA_encoded();
  *out += ' ';
  encd_td(m.t, m.td);
  *out += UPA_encoded();
  *out += ' ';
  encd_wd(m.dir, m.spd);
  *out += UPA_encoded();
}

/* A report without significant or wind levels carries its surface as the
 * first of each. */
void complete_sig(UPA_report* r) {
  const UPA_level& s = r->man[UPA_SLOT_SFC];
  if (r->numsig == 0 && !missing(s.p)) {
    r->sig[0] = {s.p, s.t, s.td};
    r->numsig = 1;
  }
}
void complete_wnd(UPA_report* r) {
  const UPA_level& s = r->man[UPA_SLOT_SFC];
  if (r->numwnd == 0 && !missing(s.p)) {
    r->wnd[0] = {0.0f, s.dir, s.spd};
    r->numwnd = 1;
  }
}

int clamp_count(int n, int max) { return n < 0 ? 0 : std::min(n, max); }

/* A significant level that repeats a mandatory level with a height. */
bool repeats_mandatory(const UPA_report& r, float p) {
  const int slot = UPA_mandatory(p);
  return slot != 0 && !missing(r.man[slot].h);
}

void write_old_text(UPA_report* r, std::string* out) {
  const bool shorter = state.file_type == UPA_FT_OLD_SHORT;
  const int s = shorter ? old_short_sig : old_long_sig;
  const int w = shorter ? static_cast<int>(old_short_heights.size()) : static_cast<int>(old_long_heights.size());
  const float p_min = shorter ? 500.0f : 100.0f;
  *out += id_text(r->id) + " ";
  const int* slots = shorter ? old_short_slots.data() : old_long_slots.data();
  const size_t nslots = shorter ? old_short_slots.size() : old_long_slots.size();
  for (size_t i = 0; i < nslots; ++i) {
    triplet(out, r->man[slots[i]]);
    *out += slots[i] == 5 || slots[i] == 11 ? '\n' : ' ';
  }
  const int nsig = clamp_count(r->numsig, UPA_NUM_SIG);
  auto candidate = [&](int i) { return !missing(r->sig[i].p) && r->sig[i].p >= p_min; };
  int chosen = 0;
  for (int i = 0; i < nsig && chosen < s; ++i) {
    if (!candidate(i)) continue;
    if (i == 0 || !repeats_mandatory(*r, r->sig[i].p))
      ++chosen;
    else
      r->sig[i].p = KEZ_FMISS; /* dropped (in the writer's copy) */
  }
  int limit = nsig;
  if (chosen == 0 && !missing(r->man[UPA_SLOT_SFC].p)) {
    const UPA_level& sfc = r->man[UPA_SLOT_SFC];
    r->sig[0] = {sfc.p, sfc.t, sfc.td};
    r->numsig = limit = 1;
    chosen = candidate(0) ? 1 : 0;
  }
  add(out, "%2d ", chosen);
  int written = 0;
  for (int i = 0; i < limit && written < s; ++i) {
    if (!candidate(i)) continue;
    ++written;
    add(out, "%3.3d ", int_part(r->sig[i].p) % 1000);
    encd_td(r->sig[i].t, r->sig[i].td);
    *out += UPA_encoded();
    *out += written % 7 == 0 ? '\n' : ' ';
  }
  for (int k = written + 1; k <= s; ++k) {
    *out += "000 00000";
    *out += k % 7 == 0 ? '\n' : ' ';
  }
  complete_wnd(r);
  std::array<int, 21> place;
  place.fill(-1);
  for (int i = 0; i < clamp_count(r->numwnd, UPA_NUM_WND); ++i) {
    const float h = r->wnd[i].h;
    if (missing(h) || h < 0) continue;
    int at = -1;
    if (h <= 10000)
      at = static_cast<int>(h / 1000);
    else if (h == 12000)
      at = 11;
    else if (h == 14000)
      at = 12;
    else if (shorter && h == 15000)
      at = 13;
    else if (h == 16000)
      at = shorter ? 14 : 13;
    else if (shorter && h == 18000)
      at = 15;
    else if (!shorter && h >= 20000 && h <= 50000 && std::fmod(h, 5000.0f) == 0)
      at = 14 + static_cast<int>((h - 20000) / 5000);
    if (at >= 0 && at < w) place[at] = i;
  }
  for (int k = 0; k < w; ++k) {
    if (place[k] < 0) {
      *out += "99999";
    } else {
      encd_wd(r->wnd[place[k]].dir, r->wnd[place[k]].spd);
      *out += UPA_encoded();
    }
    *out += k == 10 || k == 20 || (shorter && k == 15) ? '\n' : ' ';
  }
}

void write_new_text(UPA_report* r, std::string* out) {
  const int type = state.file_type;
  const bool fixed = type == UPA_FT_FIXED;
  if (type == UPA_FT_OPEN_LOC) {
    add(out, "%5.5d:%s", r->wmo, id_text(r->id).c_str());
    if (!missing(r->lat)) add(out, ":%.2f:%.2f", r->lat, r->lon);
    *out += ' ';
  } else {
    *out += id_text(r->id) + " ";
  }
  for (int slot = UPA_SLOT_1000; slot <= UPA_SLOT_10; ++slot) {
    if (fixed && slot == UPA_SLOT_925 && missing(r->man[slot].p)) continue;
    triplet(out, r->man[slot]);
    const bool end = fixed ? (slot == 5 || slot == 9 || slot == 13) : slot % 4 == 0;
    *out += end ? '\n' : ' ';
  }
  bool above = false;
  for (int slot = UPA_SLOT_ABOVE; slot <= UPA_SLOT_ABOVE_END; ++slot) {
    /* Only a level coded "-P" (1 to 10 hPa) reads back as one of these; any
     * other ends the list as a missing one does. */
    if (missing(r->man[slot].p) || !(r->man[slot].p >= 1 && r->man[slot].p < 10)) {
      if (above) *out += '\n';
      break;
    }
    above = true;
    triplet(out, r->man[slot]);
    *out += slot == UPA_SLOT_ABOVE_END ? '\n' : ' ';
  }
  const UPA_level& trop = r->man[UPA_SLOT_TROP];
  if (missing(trop.p)) {
    *out += "X X X ";
  } else {
    triplet(out, {880.0f, trop.p, trop.t, trop.td, trop.dir, trop.spd});
    *out += ' ';
  }
  const UPA_level& maxw = r->man[UPA_SLOT_MAXW];
  if (missing(maxw.p)) {
    *out += "X X\n";
  } else {
    encd_ph(770.0f, maxw.p);
    *out += UPA_encoded();
    *out += ' ';
    encd_wd(maxw.dir, maxw.spd);
    *out += UPA_encoded();
    *out += '\n';
  }

  complete_sig(r);
  const int nsig = clamp_count(r->numsig, UPA_NUM_SIG);
  int written = 0;
  for (int i = 0; i < nsig; ++i) {
    if (fixed && written >= fixed_places) break;
    const UPA_sig& sg = r->sig[i];
    if (i > 0 && repeats_mandatory(*r, sg.p)) continue;
    if (sg.p >= 1000)
      add(out, "%3.3d ", int_part(sg.p) % 1000);
    else if (sg.p < 10 && sg.p >= 0)
      add(out, "%3.1f ", sg.p);
    else
      add(out, "%3d ", int_part(sg.p));
    encd_td(sg.t, sg.td);
    *out += UPA_encoded();
    ++written;
    const bool end = fixed ? written % 7 == 0 : written % 7 == 0 && written - 1 != nsig - 1;
    *out += end ? '\n' : ' ';
  }
  if (fixed) {
    for (int k = written + 1; k <= fixed_places; ++k) *out += k % 7 == 0 ? "X\n" : "X ";
  } else {
    *out += "X\n";
  }

  complete_wnd(r);
  int nwnd = clamp_count(r->numwnd, UPA_NUM_WND);
  if (fixed) nwnd = std::min(nwnd, fixed_places);
  /* The height token has two characters: a wind from 100,000 ft up has no
   * place (a third digit would shift every group after it). */
  auto hh_of = [](const UPA_wnd& wd) { return missing(wd.h) ? -9 : int_part((wd.h + 1) / 1000); };
  int last = nwnd;
  for (int i = 0; i < nwnd; ++i)
    if (hh_of(r->wnd[i]) > 99) --last;
  for (int i = 0, n = 0; i < nwnd; ++i) {
    const UPA_wnd& wd = r->wnd[i];
    const int hh = hh_of(wd);
    if (hh > 99) continue;
    encd_wd(wd.dir, wd.spd);
    add(out, "%2.2d %s", hh, UPA_encoded());
    ++n;
    if (fixed)
      *out += n % 7 == 0 ? "\n " : " ";
    else
      *out += n % 7 == 0 && n != last ? '\n' : ' ';
  }
  if (fixed) {
    for (int k = last + 1; k <= fixed_places; ++k) *out += k % 7 == 0 ? "X\n" : "X ";
  } else {
    *out += "$\n";
  }
}

/* Markup text with its special characters escaped. */
std::string escaped(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += c;
    }
  }
  return out;
}

void element_pressure(std::string* out, float p) { add(out, p < 100 ? " pres.mb=\"%.1f\"" : " pres.mb=\"%.0f\"", p); }

void element_values(std::string* out, const UPA_level& m, bool winds_only) {
  if (!missing(m.h)) add(out, " hght.m=\"%.0f\"", m.h);
  if (!winds_only && !missing(m.t)) add(out, " temp.C=\"%.1f\"", m.t);
  if (!winds_only && !missing(m.td)) add(out, " dewp.C=\"%.1f\"", m.td);
  if (!missing(m.dir)) add(out, " wdir.deg=\"%.0f\"", m.dir);
  if (!missing(m.spd)) add(out, " wspd.knt=\"%.0f\"", m.spd);
  *out += "/>\n";
}

void write_element(UPA_report* r, std::string* out) {
  add(out, "<obs wmo=\"%5.5d\" id=\"", r->wmo);
  *out += escaped(id_text(r->id)) + "\"";
  if (!missing(r->lat)) add(out, " lat=\"%.2f\" lon=\"%.2f\"", r->lat, r->lon);
  *out += ">\n  <mand_level>\n";
  const UPA_level& sfc = r->man[UPA_SLOT_SFC];
  if (!missing(sfc.p)) {
    *out += "    <level type=\"sfc\"";
    element_pressure(out, sfc.p);
    element_values(out, sfc, false);
  }
  for (int slot = UPA_SLOT_1000; slot <= UPA_SLOT_ABOVE_END; ++slot) {
    const UPA_level& m = r->man[slot];
    if (missing(m.p)) continue;
    add(out, "    <level pres.mb=\"%.0f\"", m.p);
    element_values(out, m, false);
  }
  const UPA_level& trop = r->man[UPA_SLOT_TROP];
  if (!missing(trop.p)) {
    *out += "    <level type=\"trop\"";
    element_pressure(out, trop.p);
    element_values(out, trop, false);
  }
  const UPA_level& maxw = r->man[UPA_SLOT_MAXW];
  if (!missing(maxw.p)) {
    *out += "    <level type=\"mwnd\"";
    element_pressure(out, maxw.p);
    element_values(out, maxw, true);
  }
  *out += "  </mand_level>\n";
  complete_sig(r);
  *out += "  <sig_level>\n";
  for (int i = 0; i < clamp_count(r->numsig, UPA_NUM_SIG); ++i) {
    const UPA_sig& s = r->sig[i];
    add(out, s.p < 100 ? "    <level pres.mb=\"%.1f\"" : "    <level pres.mb=\"%.0f\"", s.p);
    if (!missing(s.t)) add(out, " temp.C=\"%.1f\"", s.t);
    if (!missing(s.td)) add(out, " dewp.C=\"%.1f\"", s.td);
    *out += "/>\n";
  }
  *out += "  </sig_level>\n";
  complete_wnd(r);
  *out += "  <wnd_level>\n";
  for (int i = 0; i < clamp_count(r->numwnd, UPA_NUM_WND); ++i) {
    const UPA_wnd& w = r->wnd[i];
    add(out, "    <level hght.m=\"%.0f\"", w.h);
    if (!missing(w.dir)) add(out, " wdir.deg=\"%.0f\"", w.dir);
    if (!missing(w.spd)) add(out, " wspd.knt=\"%.0f\"", w.spd);
    *out += "/>\n";
  }
  *out += "  </wnd_level>\n</obs>\n";
}

/* A 16-bit value of the binary record: 9999 for a missing value, else the
 * low 16 bits of the truncated value. */
uint16_t bin_value(double v) {
  if (!std::isfinite(v) || std::fabs(v) > 1e15) return 9999;
  return static_cast<uint16_t>(static_cast<long long>(v));
}
uint16_t bin_measured(float v, double add_after) {
  return missing(v) ? uint16_t{9999} : bin_value(static_cast<double>(v) + add_after);
}

void write_binary(const UPA_report* r, std::string* out) {
  std::array<unsigned char, UPA_BIN_RECORD> rec{};
  if (std::isalpha(static_cast<unsigned char>(r->id[0])))
    for (size_t i = 0; i < 5 && i < UPA_ID_LEN && r->id[i]; ++i) rec[i] = static_cast<unsigned char>(r->id[i]);
  char wmo[16];
  std::snprintf(wmo, sizeof wmo, "%5.5d", r->wmo == KEZ_MISS ? 99999 : r->wmo);
  for (size_t i = 0; i < 7 && wmo[i]; ++i) rec[5 + i] = static_cast<unsigned char>(wmo[i]);
  size_t at = 12;
  auto put = [&](uint16_t v) {
    rec[at] = static_cast<unsigned char>(v & 0xff);
    rec[at + 1] = static_cast<unsigned char>(v >> 8);
    at += 2;
  };
  const UPA_level& m850 = r->man[UPA_SLOT_850];
  const UPA_level& m700 = r->man[4];
  const UPA_level& m500 = r->man[5];
  put(missing(r->lat) ? 9999 : bin_value(static_cast<double>(100.0f * r->lat) + 0.1));
  put(missing(r->lon) ? 9999 : bin_value(static_cast<double>(100.0f * r->lon) + 0.1));
  put(bin_measured(m850.t, 0.5));
  put(0);
  put(bin_measured(m700.t, 0.5));
  put(bin_measured(m500.t, 0.5));
  put(0);
  for (const UPA_level* m : {&m850, &m700, &m500}) put(bin_measured(m->h, 0));
  for (int i = 0; i < 5; ++i) put(0);
  for (const UPA_level* m : {&m850, &m700, &m500}) put(missing(m->dir) ? 9999 : bin_value(m->dir / 10.0f));
  put(0);
  for (const UPA_level* m : {&m850, &m700, &m500}) put(bin_measured(m->spd, 0));
  put(0);
  for (const UPA_level* m : {&m850, &m700, &m500})
    put(missing(m->t) || missing(m->td) ? 9999 : bin_value(static_cast<double>(m->t - m->td) + 0.5));
  put(bin_measured(r->man[UPA_SLOT_TROP].h, 0));
  const float h1 = r->man[UPA_SLOT_1000].h, h5 = m500.h;
  put(missing(h1) || missing(h5) ? 9999 : bin_value(h5 - h1));
  put(static_cast<uint16_t>(r->time));
  out->assign(reinterpret_cast<const char*>(rec.data()), rec.size());
}

int write_cdf(const UPA_report* r, int n) {
  if (n < 0) return -1;
  const bool si = state.file_type == UPA_FT_CDF_SI;
  const auto& id = state.var_id;
  auto ms = [&](float v) { return si && !missing(v) ? v * UPA_KT_TO_MS : v; };
  int bad = 0;
  auto check = [&](int rc) { bad |= rc < 0; };
  CDF_set_fd(state.cdf_fd);
  CDF_set_pos(1, n);
  check(CDF_put_str(id[V_ID], id_text(r->id).c_str()));
  CDF_set_pos(1, n);
  check(CDF_put_str(id[V_REGION], id_text(r->area).c_str()));
  CDF_set_pos(1, n);
  check(CDF_put_str(id[V_TYPE], "LAND"));
  CDF_set_pos(1, n);
  check(CDF_put_long(id[V_IDN], r->wmo));
  check(CDF_put_float(id[V_LAT], r->lat));
  check(CDF_put_float(id[V_LON], r->lon));
  check(CDF_put_long(id[V_NUM_MANT], r->numman != 0 ? UPA_NUM_MAN : 0));
  std::array<std::array<float, UPA_NUM_MAN>, 6> man;
  for (int i = 0; i < UPA_NUM_MAN; ++i) {
    const UPA_level& m = r->man[i];
    man[0][i] = m.p, man[1][i] = m.h, man[2][i] = m.t, man[3][i] = m.td, man[4][i] = m.dir, man[5][i] = ms(m.spd);
  }
  constexpr std::array<int, 6> man_vars{V_P_MAN, V_Z_MAN, V_T_MAN, V_TD_MAN, V_DIR_MAN, V_SPD_MAN};
  for (size_t k = 0; k < man_vars.size(); ++k) {
    CDF_set_range(2, n, 1, 0, UPA_NUM_MAN);
    check(CDF_put_float_array(id[man_vars[k]], man[k].data()));
  }
  const int nsig = clamp_count(r->numsig, UPA_NUM_SIG);
  const int nwnd = clamp_count(r->numwnd, UPA_NUM_WND);
  CDF_set_pos(1, n);
  check(CDF_put_long(id[V_NUM_SIGT], nsig));
  check(CDF_put_long(id[V_NUM_SIGW], nwnd));
  if (nsig > 0) {
    std::array<std::array<float, UPA_NUM_SIG>, 3> sig;
    for (int i = 0; i < nsig; ++i) sig[0][i] = r->sig[i].p, sig[1][i] = r->sig[i].t, sig[2][i] = r->sig[i].td;
    constexpr std::array<int, 3> vars{V_P_SIGT, V_T_SIGT, V_TD_SIGT};
    for (size_t k = 0; k < vars.size(); ++k) {
      CDF_set_range(2, n, 1, 0, nsig);
      check(CDF_put_float_array(id[vars[k]], sig[k].data()));
    }
  }
  if (nwnd > 0) {
    std::array<std::array<float, UPA_NUM_WND>, 3> wnd;
    for (int i = 0; i < nwnd; ++i) {
      const float h = r->wnd[i].h;
      wnd[0][i] = si && !missing(h) ? h * UPA_FT_TO_M : h;
      wnd[1][i] = r->wnd[i].dir;
      wnd[2][i] = ms(r->wnd[i].spd);
    }
    constexpr std::array<int, 3> vars{V_Z_SIGW, V_DIR_SIGW, V_SPD_SIGW};
    for (size_t k = 0; k < vars.size(); ++k) {
      CDF_set_range(2, n, 1, 0, nwnd);
      check(CDF_put_float_array(id[vars[k]], wnd[k].data()));
    }
  }
  return bad ? -1 : 0;
}

/* A text report's first word is read up to a blank and, in type 5, split
 * at colons: an identifier that is empty or holds either would shift every
 * group of the report (and of the next). */
bool fits_text(const char* id, int type) {
  const std::string text = id_text(id);
  if (text.empty() && type != UPA_FT_OPEN_LOC) return false;
  for (unsigned char c : text)
    if (std::isspace(c) || std::iscntrl(c) || (c == ':' && type == UPA_FT_OPEN_LOC)) return false;
  return true;
}

} // namespace

int UPA_write(int /*cvt_fd*/, const UPA_report* report, int /*rep_type*/, int* statnum) {
  if (!report || !statnum || state.file_access != UPA_ACC_WRITE) return -1;
  const int type = state.file_type;
  if (is_cdf(type)) return write_cdf(report, *statnum);
  if ((type == UPA_FT_OLD_SHORT || type == UPA_FT_OLD_LONG || is_new_text(type)) && !fits_text(report->id, type)) {
    MESS_print(M_error, "UPA_write: Identifier unfit for a text file: \"%s\"\n", id_text(report->id).c_str());
    return -1;
  }
  FILE* fp = state.cvt_file.get();
  if (!fp) return -1;
  /* The writer completes and edits a copy: the caller's record stays as it was. */
  auto copy = std::make_unique<UPA_report>(*report);
  std::string out;
  if (type == UPA_FT_OLD_SHORT || type == UPA_FT_OLD_LONG)
    write_old_text(copy.get(), &out);
  else if (is_new_text(type))
    write_new_text(copy.get(), &out);
  else if (type == UPA_FT_ELEMENT)
    write_element(copy.get(), &out);
  else if (type == UPA_FT_BINARY)
    write_binary(copy.get(), &out);
  else
    return -1;
  if (std::fwrite(out.data(), 1, out.size(), fp) != out.size() || std::fflush(fp) != 0) return -1;
  if (type != UPA_FT_BINARY) ++*statnum;
  return 0;
}
