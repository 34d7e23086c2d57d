/*
 * sfc_tool: tools that work on whole surface reports.
 *
 * Emptying a report, comparing two reports of one station, merging a later
 * report into an earlier one group by group, discarding values outside
 * their physical ranges, and finding the dominant cloud layer (cover and
 * ceiling). Also the SYN_ twins of the synoptic code decoders of wx_tool.
 * Tools that combine reports from several sources call them; the readers
 * call SFC_initialize before each report. Nothing here allocates or keeps
 * state; a report's texts are read within their fixed sizes, whether or not
 * they end in a NUL.
 *
 * The comparison and the merge walk one table of the report's groups, in
 * rank order: a difference in group k gives code k, and a merge at level
 * lev takes the groups of rank up to lev.
 */
#include "kezsfc.h"

#include <cstring>
#include <iterator>

namespace {

bool present(float v) { return v != KEZ_FMISS; }
bool present(int v) { return v != KEZ_MISS; }
/* A character slot without a value: blank, or never filled. */
bool blank(char c) { return c == ' ' || c == '\0'; }

enum class Kind { type, whole, number, temp, rain, weather, clouds, cld_type, comment };

struct Group {
  int rank;
  Kind kind;
  int SFC_report::*whole;
  float SFC_report::*number;
  const char* differ;
  const char* updated;
  const char* deleted;
};

constexpr Group groups[] = {
    {1, Kind::type, &SFC_report::type, nullptr, "", "Updated type\n", nullptr},
    {2, Kind::whole, &SFC_report::time, nullptr, "Different times\n", "Updated time\n", nullptr},
    {3, Kind::temp, nullptr, &SFC_report::t, "Different temperatures\n", "Updated temp\n", nullptr},
    {3, Kind::temp, nullptr, &SFC_report::td, "Different dewpoints\n", "Updated dewpoint\n", nullptr},
    {4, Kind::number, nullptr, &SFC_report::pmb, "Different SLP pressures\n", "Updated SL pressure\n",
     nullptr},
    {4, Kind::number, nullptr, &SFC_report::alt, "Different altimeter settings\n",
     "Updated altimeter setting\n", nullptr},
    {5, Kind::number, nullptr, &SFC_report::w_dir, "Different wind direction\n",
     "Updated wind direction\n", nullptr},
    {5, Kind::number, nullptr, &SFC_report::w_spd, "Different wind speed\n", "Updated wind speed\n",
     nullptr},
    {5, Kind::number, nullptr, &SFC_report::w_gust, "Different wind gusts\n", "Updated wind gust\n",
     nullptr},
    {6, Kind::weather, nullptr, nullptr, "Different weather\n", "Updated weather\n", nullptr},
    {7, Kind::clouds, nullptr, nullptr, "", "", nullptr},
    {8, Kind::number, nullptr, &SFC_report::vis, "Different visibility\n", "Updated visibility\n",
     nullptr},
    {9, Kind::whole, &SFC_report::ptend_t, nullptr, "Different pressure tendency type\n",
     "Updated pressure tendency type\n", nullptr},
    {9, Kind::number, nullptr, &SFC_report::ptend, "Different pressure tendencies\n",
     "Updated pressure tendency\n", nullptr},
    {10, Kind::rain, nullptr, &SFC_report::rain3, "Different 3 hr precip\n", "Updated 3 hr precip\n",
     "Deleted 3 hr precip\n"},
    {10, Kind::rain, nullptr, &SFC_report::rain6, "Different 6 hr precip\n", "Updated 6 hr precip\n",
     "Deleted 6 hr precip\n"},
    {10, Kind::rain, nullptr, &SFC_report::rain12, "Different 12 hr precip\n",
     "Updated 12 hr precip\n", "Deleted 12 hr precip\n"},
    {10, Kind::rain, nullptr, &SFC_report::rain24, "Different 24 hr precip\n",
     "Updated 24 hr precip\n", "Deleted 24 hr precip\n"},
    {11, Kind::number, nullptr, &SFC_report::max_t, "Different max temp\n", "Updated max temp\n",
     nullptr},
    {11, Kind::number, nullptr, &SFC_report::min_t, "Different min temp\n", "Updated min temp\n",
     nullptr},
    {11, Kind::number, nullptr, &SFC_report::max6_t, "Different 6 hr max temp\n",
     "Updated 6 hr max temp\n", nullptr},
    {11, Kind::number, nullptr, &SFC_report::min6_t, "Different 6 hr min temp\n",
     "Updated 6 hr min temp\n", nullptr},
    {12, Kind::number, nullptr, &SFC_report::scover, "Different snow cover\n", "Updated snow cover\n",
     nullptr},
    {13, Kind::number, nullptr, &SFC_report::solar, "Different solar duration\n",
     "Updated solar duration\n", nullptr},
    {14, Kind::number, nullptr, &SFC_report::sst, "Different sea surface temperatures\n",
     "Updated sea surface temperatures\n", nullptr},
    {14, Kind::number, nullptr, &SFC_report::wav_per, "Different wave period\n",
     "Updated wave period\n", nullptr},
    {14, Kind::number, nullptr, &SFC_report::wav_hgt, "Different wave height\n",
     "Updated wave height\n", nullptr},
    {15, Kind::cld_type, nullptr, nullptr, "Different cloud types\n", "", nullptr},
    {16, Kind::comment, nullptr, nullptr, "Different comments\n", "Updated comments\n", nullptr},
};

/* The ranks of the additional groups, whose presence in a later report says
 * that its precipitation amounts are complete. */
constexpr int first_additional_rank = 9;
constexpr int last_additional_rank = 15;

void say(const char* text) { MESS_print(SFC_MESS_REPORT, "%s", text); }

size_t text_len(const char* text, int room) { return strnlen(text, static_cast<size_t>(room)); }

bool same_text(const char* a, const char* b, int room) {
  size_t la = text_len(a, room), lb = text_len(b, room);
  return la == lb && std::memcmp(a, b, la) == 0;
}

/* A bounded copy that always ends in a NUL. */
void copy_text(char* to, const char* from, int room) {
  size_t n = text_len(from, room - 1);
  std::memcpy(to, from, n);
  to[n] = '\0';
}

bool has_weather(const SFC_report& r) { return !blank(r.weather[0]); }

/* Whether a report holds any value of a group row. */
bool holds(const SFC_report& r, const Group& g) {
  switch (g.kind) {
  case Kind::type: return r.type != 0;
  case Kind::whole: return present(r.*g.whole);
  case Kind::number:
  case Kind::temp:
  case Kind::rain: return present(r.*g.number);
  case Kind::weather: return has_weather(r);
  case Kind::clouds:
    for (int i = 0; i < SFC_MAX_CLOUD; ++i)
      if (present(r.cld_height[i]) || !blank(r.cld_cover[i])) return true;
    return false;
  case Kind::cld_type:
    for (char c : r.cld_type)
      if (!blank(c)) return true;
    return false;
  case Kind::comment: return text_len(r.comment, SFC_COMMENT_LEN) > 0;
  }
  return false;
}

/* The differences of one group row, each printed; true when any. */
bool differs(const SFC_report& a, const SFC_report& b, const Group& g) {
  bool found = false;
  auto note = [&found](bool differ, const char* text) {
    if (!differ) return;
    say(text);
    found = true;
  };
  switch (g.kind) {
  case Kind::type:
    if (a.type != 0 && b.type != 0 && a.type != b.type) {
      MESS_print(SFC_MESS_REPORT, "Different types: %d %d\n", a.type, b.type);
      found = true;
    }
    break;
  case Kind::whole:
    note(present(a.*g.whole) && present(b.*g.whole) && a.*g.whole != b.*g.whole, g.differ);
    break;
  case Kind::number:
  case Kind::temp:
    note(present(a.*g.number) && present(b.*g.number) && a.*g.number != b.*g.number, g.differ);
    break;
  case Kind::rain: note(a.*g.number != b.*g.number, g.differ); break;
  case Kind::weather:
    note(has_weather(a) && has_weather(b) && !same_text(a.weather, b.weather, SFC_WEATHER_LEN),
         g.differ);
    break;
  case Kind::clouds:
    for (int i = 0; i < SFC_MAX_CLOUD; ++i) {
      note(present(a.cld_height[i]) && present(b.cld_height[i]) &&
               a.cld_height[i] != b.cld_height[i],
           "Different cloud heights\n");
      note(!blank(a.cld_cover[i]) && !blank(b.cld_cover[i]) && a.cld_cover[i] != b.cld_cover[i],
           "Different cloud covers\n");
    }
    break;
  case Kind::cld_type:
    for (size_t i = 0; i < std::size(a.cld_type); ++i)
      note(!blank(a.cld_type[i]) && !blank(b.cld_type[i]) && a.cld_type[i] != b.cld_type[i],
           g.differ);
    break;
  case Kind::comment:
    note(text_len(a.comment, SFC_COMMENT_LEN) > 0 && text_len(b.comment, SFC_COMMENT_LEN) > 0 &&
             !same_text(a.comment, b.comment, SFC_COMMENT_LEN),
         g.differ);
    break;
  }
  return found;
}

/* Takes one group row from the later report. */
void merge(SFC_report& keep, const SFC_report& later, const Group& g, bool complete) {
  switch (g.kind) {
  case Kind::type:
    if (later.type != 0) {
      keep.type = later.type;
      say(g.updated);
    }
    break;
  case Kind::whole:
    if (present(later.*g.whole)) {
      keep.*g.whole = later.*g.whole;
      say(g.updated);
    }
    break;
  case Kind::temp: {
    bool kept = (keep.flag & SFC_FLAG_KEEP_TEMP) && !(later.flag & SFC_FLAG_KEEP_TEMP);
    if (present(later.*g.number) && !kept) {
      keep.*g.number = later.*g.number;
      say(g.updated);
    }
    break;
  }
  case Kind::number:
  case Kind::rain:
    if (present(later.*g.number)) {
      keep.*g.number = later.*g.number;
      say(g.updated);
    }
    if (g.kind == Kind::rain && complete && !present(later.*g.number) && present(keep.*g.number)) {
      keep.*g.number = KEZ_FMISS;
      say(g.deleted);
    }
    break;
  case Kind::weather:
    if (has_weather(later)) {
      copy_text(keep.weather, later.weather, SFC_WEATHER_LEN);
      say(g.updated);
    }
    break;
  case Kind::clouds:
    for (int i = 0; i < SFC_MAX_CLOUD; ++i) {
      if (present(later.cld_height[i])) {
        keep.cld_height[i] = later.cld_height[i];
        keep.num_cld = i + 1;
        MESS_print(SFC_MESS_REPORT, "Updated cloud height: %d\n", i);
      }
      if (!blank(later.cld_cover[i])) {
        keep.cld_cover[i] = later.cld_cover[i];
        keep.num_cld = i + 1;
        MESS_print(SFC_MESS_REPORT, "Updated cloud cover: %d\n", i);
      }
    }
    break;
  case Kind::cld_type:
    for (size_t i = 0; i < std::size(later.cld_type); ++i)
      if (!blank(later.cld_type[i])) {
        keep.cld_type[i] = later.cld_type[i];
        MESS_print(SFC_MESS_REPORT, "Updated cloud type: %d\n", static_cast<int>(i));
      }
    break;
  case Kind::comment:
    if (text_len(later.comment, SFC_COMMENT_LEN) > 0) {
      copy_text(keep.comment, later.comment, SFC_COMMENT_LEN);
      say(g.updated);
    }
    break;
  }
}

/* Physical limits of the range check, inclusive. Sunshine, wave period,
 * wind, gust and sea-level pressure reach what real observations do
 * (a whole day of sunshine, long swell, the strongest tropical cyclones). */
struct Limit {
  float SFC_report::*member;
  float lower, upper;
};

constexpr Limit temperature_limits[] = {
    {&SFC_report::t, -100, 150},
    {&SFC_report::td, -100, 150},
};

constexpr Limit other_limits[] = {
    {&SFC_report::pmb, 850, 1150},    {&SFC_report::alt, 26, 33},
    {&SFC_report::w_dir, 0, 360},     {&SFC_report::w_spd, 0, 250},
    {&SFC_report::w_gust, 0, 250},    {&SFC_report::vis, 0, 150},
    {&SFC_report::ptend, -10, 10},    {&SFC_report::rain3, 0, 10},
    {&SFC_report::rain6, 0, 15},      {&SFC_report::rain12, 0, 20},
    {&SFC_report::rain24, 0, 20},     {&SFC_report::max_t, -100, 150},
    {&SFC_report::min_t, -100, 150},  {&SFC_report::max6_t, -100, 150},
    {&SFC_report::min6_t, -100, 150}, {&SFC_report::scover, -100, 150},
    {&SFC_report::solar, -100, 1440}, {&SFC_report::sst, -100, 150},
    {&SFC_report::wav_per, 0, 30},    {&SFC_report::wav_hgt, 0, 20},
};

constexpr float cloud_height_max = 35000;

/* Keeps v only within [lower, upper]; not-a-number goes too. */
void bound(float& v, float lower, float upper) {
  if (!(v >= lower && v <= upper)) v = KEZ_FMISS;
}
void bound(int& v, int lower, int upper) {
  if (v < lower || v > upper) v = KEZ_MISS;
}

/* Cloud-base codes h by their upper bounds in feet (the code's metre limits
 * in whole feet); above the last, 9. */
struct CeilingBound {
  int feet;
  int code;
};
constexpr CeilingBound ceiling_bounds[] = {
    {163, 0}, {327, 1}, {655, 2}, {983, 3}, {1967, 4}, {3280, 5}, {4920, 6}, {6561, 7}, {8201, 8},
};

/* Visibility codes 90 to 99 in statute miles (0.05 to 50 km at 1.6 km a
 * mile; 90 is under 0.05 km). */
constexpr float synop_vis_miles[] = {0.0f,  0.03125f, 0.125f, 0.3125f, 0.625f,
                                     1.25f, 2.5f,     6.25f,  12.5f,   31.25f};

} // namespace

int SFC_initialize(SFC_report* report) {
  if (report == nullptr) return -1;
  SFC_report& r = *report;
  std::memset(&r, 0, sizeof r);
  r.wmo = r.prior = r.time = r.ptend_t = r.rain_per = KEZ_MISS;
  for (float* f : {&r.lat, &r.lon, &r.elev, &r.vis, &r.pmb, &r.t, &r.td, &r.w_dir, &r.w_spd,
                   &r.w_gust, &r.alt, &r.ptend, &r.rain1, &r.rain3, &r.rain6, &r.rain12, &r.rain24,
                   &r.rain, &r.max_t, &r.min_t, &r.max6_t, &r.min6_t, &r.scover, &r.solar, &r.sst,
                   &r.wav_per, &r.wav_hgt})
    *f = KEZ_FMISS;
  for (int i = 0; i < SFC_MAX_CLOUD; ++i) {
    r.cld_height[i] = KEZ_FMISS;
    r.cld_cover[i] = SFC_CLD_NONE;
  }
  r.weather[0] = ' ';
  r.cld_low = ' ';
  std::memset(r.cld_type, ' ', sizeof r.cld_type);
  return 0;
}

int SFC_compare(const SFC_report* rep1, const SFC_report* rep2) {
  if (rep1 == nullptr || rep2 == nullptr) return 0;
  int result = 0;
  for (const Group& g : groups)
    if (differs(*rep1, *rep2, g) && result == 0) result = g.rank;
  return result;
}

int SFC_update(SFC_report* rep1, const SFC_report* rep2, int lev) {
  if (rep1 == nullptr || rep2 == nullptr) return 0;
  bool additional = false;
  for (const Group& g : groups)
    if (g.rank >= first_additional_rank && g.rank <= last_additional_rank && holds(*rep2, g))
      additional = true;
  for (const Group& g : groups)
    if (lev > g.rank - 1) merge(*rep1, *rep2, g, additional);
  return 0;
}

int SFC_check_valid(SFC_report* rep, int /* flag */) {
  if (rep == nullptr) return 0;
  bound(rep->time, 0, 2400);
  for (const Limit& l : temperature_limits) bound(rep->*l.member, l.lower, l.upper);
  if (rep->td > rep->t) rep->td = rep->t;
  for (const Limit& l : other_limits) bound(rep->*l.member, l.lower, l.upper);
  for (float& h : rep->cld_height) bound(h, 0, cloud_height_max);
  bound(rep->ptend_t, 0, 9);
  return 0;
}

int WX_set_cloud(const SFC_report* report, char* cover, float* hght) {
  char c_out = SFC_CLD_NONE;
  float h_out = KEZ_FMISS;
  int result = -1;
  int n = report != nullptr ? report->num_cld : 0;
  if (n < 0) n = 0;
  if (n > SFC_MAX_CLOUD) n = SFC_MAX_CLOUD;
  if (n == 1) {
    c_out = report->cld_cover[0];
    h_out = report->cld_height[0];
  } else if (n > 1) {
    result = 0;
    for (int i = 0; i < n; ++i) {
      char c = report->cld_cover[i];
      float h = report->cld_height[i];
      auto below = [c_out](const char* covers) {
        return c_out == SFC_CLD_NONE || std::strchr(covers, c_out) != nullptr;
      };
      if (c == 'F' || c == '1') {
        if (below("C")) h_out = h;
        c_out = SFC_CLD_FEW;
      } else if (c == 'S' || c == '2' || c == '3') {
        if (below("CF")) h_out = h;
        c_out = SFC_CLD_SCATTERED;
      } else if (c == 'B' || (c >= '4' && c <= '6')) {
        if (below("CFS")) h_out = h;
        c_out = SFC_CLD_BROKEN;
      } else if (c == 'O' || c == '7' || c == '8') {
        if (below("CFS")) h_out = h;
        c_out = SFC_CLD_OVERCAST;
      } else if (c == 'X' || c == '9') {
        h_out = h;
        c_out = SFC_CLD_OBSCURED;
      } else if (c_out <= '1') {
        h_out = KEZ_FMISS;
        c_out = SFC_CLD_CLEAR;
      }
    }
  }
  if (cover != nullptr) *cover = c_out;
  if (hght != nullptr) *hght = h_out;
  return result;
}

float SYN_visibility(int vis) {
  if (vis >= 90 && vis <= 99) return synop_vis_miles[vis - 90];
  return WX_wmo_vis(vis);
}

float SYN_ceiling(int cb) { return WX_wmo_cld_base(cb); }

int SYN_ceiling_to_code(int cb) {
  for (const CeilingBound& b : ceiling_bounds)
    if (cb <= b.feet) return b.code;
  return 9;
}

int SYN_weather(int wx, char* wx_str) { return WX_wmo_weather(wx, wx_str); }

int SYN_auto_weather(int wx, char* wx_str) { return WX_wmo_auto_weather(wx_str, wx); }
