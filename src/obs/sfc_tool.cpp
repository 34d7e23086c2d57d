/*
 * sfc_tool: tools that work on whole surface reports.
 *
 * Emptying a report, comparing two reports of one station, merging a later
 * report into an earlier one group by group, discarding values outside
 * their physical ranges, and finding the dominant cloud layer (cover and
 * ceiling). Also the SYN_ twins of the synoptic code decoders of wx_tool.
 * Tools that combine reports from several sources call them; the readers
 * call SFC_initialize before each report. Nothing here allocates or keeps
 * state (the empty report that SFC_initialize copies is a constant formed on
 * first use); a report's texts are read within their fixed sizes, whether or
 * not they end in a NUL.
 *
 * The comparison and the merge walk one table of the report's groups, in
 * rank order: a difference in group k gives code k, and a merge at level
 * lev takes the groups of rank up to lev.
 */
#include "kezsfc.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <span>
#include <string>
#include <utility>

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
    {4, Kind::number, nullptr, &SFC_report::pmb, "Different SLP pressures\n", "Updated SL pressure\n", nullptr},
    {4, Kind::number, nullptr, &SFC_report::alt, "Different altimeter settings\n", "Updated altimeter setting\n",
     nullptr},
    {5, Kind::number, nullptr, &SFC_report::w_dir, "Different wind direction\n", "Updated wind direction\n", nullptr},
    {5, Kind::number, nullptr, &SFC_report::w_spd, "Different wind speed\n", "Updated wind speed\n", nullptr},
    {5, Kind::number, nullptr, &SFC_report::w_gust, "Different wind gusts\n", "Updated wind gust\n", nullptr},
    {6, Kind::weather, nullptr, nullptr, "Different weather\n", "Updated weather\n", nullptr},
    {7, Kind::clouds, nullptr, nullptr, "", "", nullptr},
    {8, Kind::number, nullptr, &SFC_report::vis, "Different visibility\n", "Updated visibility\n", nullptr},
    {9, Kind::whole, &SFC_report::ptend_t, nullptr, "Different pressure tendency type\n",
     "Updated pressure tendency type\n", nullptr},
    {9, Kind::number, nullptr, &SFC_report::ptend, "Different pressure tendencies\n", "Updated pressure tendency\n",
     nullptr},
    {10, Kind::rain, nullptr, &SFC_report::rain3, "Different 3 hr precip\n", "Updated 3 hr precip\n",
     "Deleted 3 hr precip\n"},
    {10, Kind::rain, nullptr, &SFC_report::rain6, "Different 6 hr precip\n", "Updated 6 hr precip\n",
     "Deleted 6 hr precip\n"},
    {10, Kind::rain, nullptr, &SFC_report::rain12, "Different 12 hr precip\n", "Updated 12 hr precip\n",
     "Deleted 12 hr precip\n"},
    {10, Kind::rain, nullptr, &SFC_report::rain24, "Different 24 hr precip\n", "Updated 24 hr precip\n",
     "Deleted 24 hr precip\n"},
    {11, Kind::number, nullptr, &SFC_report::max_t, "Different max temp\n", "Updated max temp\n", nullptr},
    {11, Kind::number, nullptr, &SFC_report::min_t, "Different min temp\n", "Updated min temp\n", nullptr},
    {11, Kind::number, nullptr, &SFC_report::max6_t, "Different 6 hr max temp\n", "Updated 6 hr max temp\n", nullptr},
    {11, Kind::number, nullptr, &SFC_report::min6_t, "Different 6 hr min temp\n", "Updated 6 hr min temp\n", nullptr},
    {12, Kind::number, nullptr, &SFC_report::scover, "Different snow cover\n", "Updated snow cover\n", nullptr},
    {13, Kind::number, nullptr, &SFC_report::solar, "Different solar duration\n", "Updated solar duration\n", nullptr},
    {14, Kind::number, nullptr, &SFC_report::sst, "Different sea surface temperatures\n",
     "Updated sea surface temperatures\n", nullptr},
    {14, Kind::number, nullptr, &SFC_report::wav_per, "Different wave period\n", "Updated wave period\n", nullptr},
    {14, Kind::number, nullptr, &SFC_report::wav_hgt, "Different wave height\n", "Updated wave height\n", nullptr},
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
    case Kind::whole: note(present(a.*g.whole) && present(b.*g.whole) && a.*g.whole != b.*g.whole, g.differ); break;
    case Kind::number:
    case Kind::temp: note(present(a.*g.number) && present(b.*g.number) && a.*g.number != b.*g.number, g.differ); break;
    case Kind::rain: note(a.*g.number != b.*g.number, g.differ); break;
    case Kind::weather:
      note(has_weather(a) && has_weather(b) && !same_text(a.weather, b.weather, SFC_WEATHER_LEN), g.differ);
      break;
    case Kind::clouds:
      for (int i = 0; i < SFC_MAX_CLOUD; ++i) {
        note(present(a.cld_height[i]) && present(b.cld_height[i]) && a.cld_height[i] != b.cld_height[i],
             "Different cloud heights\n");
        note(!blank(a.cld_cover[i]) && !blank(b.cld_cover[i]) && a.cld_cover[i] != b.cld_cover[i],
             "Different cloud covers\n");
      }
      break;
    case Kind::cld_type:
      for (size_t i = 0; i < std::size(a.cld_type); ++i)
        note(!blank(a.cld_type[i]) && !blank(b.cld_type[i]) && a.cld_type[i] != b.cld_type[i], g.differ);
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
    {&SFC_report::pmb, 850, 1150},    {&SFC_report::alt, 26, 33},       {&SFC_report::w_dir, 0, 360},
    {&SFC_report::w_spd, 0, 250},     {&SFC_report::w_gust, 0, 250},    {&SFC_report::vis, 0, 150},
    {&SFC_report::ptend, -10, 10},    {&SFC_report::rain3, 0, 10},      {&SFC_report::rain6, 0, 15},
    {&SFC_report::rain12, 0, 20},     {&SFC_report::rain24, 0, 20},     {&SFC_report::max_t, -100, 150},
    {&SFC_report::min_t, -100, 150},  {&SFC_report::max6_t, -100, 150}, {&SFC_report::min6_t, -100, 150},
    {&SFC_report::scover, -100, 150}, {&SFC_report::solar, -100, 1440}, {&SFC_report::sst, -100, 150},
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
constexpr float synop_vis_miles[] = {0.0f, 0.03125f, 0.125f, 0.3125f, 0.625f, 1.25f, 2.5f, 6.25f, 12.5f, 31.25f};

/* A number that an instrument may give; the missing value is one (not
 * finite numbers fail the comparison). */
static_assert(-KEZ_FMISS < SFC_VALUE_LIMIT);
bool plausible(float v) { return std::fabs(v) < SFC_VALUE_LIMIT; }

/* The plain numbers of a report, in the record's order. */
template <float SFC_report::*... M>
struct FloatMembers {
  static constexpr float SFC_report::*list[] = {M...};
};
using Floats =
    FloatMembers<&SFC_report::lat, &SFC_report::lon, &SFC_report::elev, &SFC_report::vis, &SFC_report::pmb,
                 &SFC_report::t, &SFC_report::td, &SFC_report::w_dir, &SFC_report::w_spd, &SFC_report::w_gust,
                 &SFC_report::alt, &SFC_report::ptend, &SFC_report::rain1, &SFC_report::rain3, &SFC_report::rain6,
                 &SFC_report::rain12, &SFC_report::rain24, &SFC_report::rain, &SFC_report::max_t, &SFC_report::min_t,
                 &SFC_report::max6_t, &SFC_report::min6_t, &SFC_report::scover, &SFC_report::solar, &SFC_report::sst,
                 &SFC_report::wav_per, &SFC_report::wav_hgt>;
constexpr const auto& float_members = Floats::list;

/* The same numbers and the cloud bases as the runs of adjacent floats they
 * are in the record: a report is checked each time a value is taken from
 * it, and the runs are checked as whole words at once. */
struct FloatRun {
  std::size_t offset; /* bytes from the start of the report */
  std::size_t count;  /* floats */
};
constexpr FloatRun float_runs[] = {
    {offsetof(SFC_report, lat), 3},   {offsetof(SFC_report, cld_height), SFC_MAX_CLOUD},
    {offsetof(SFC_report, vis), 1},   {offsetof(SFC_report, pmb), 7},
    {offsetof(SFC_report, ptend), 7}, {offsetof(SFC_report, max_t), 9},
};
constexpr std::size_t run_floats() {
  std::size_t n = 0;
  for (const FloatRun& r : float_runs) n += r.count;
  return n;
}
constexpr std::size_t checked_floats = run_floats();
/* Each run ends where the record's layout says it does, and together they
 * hold the listed numbers and the cloud bases, no more. */
static_assert(offsetof(SFC_report, elev) == offsetof(SFC_report, lat) + 2 * sizeof(float));
static_assert(offsetof(SFC_report, alt) == offsetof(SFC_report, pmb) + 6 * sizeof(float));
static_assert(offsetof(SFC_report, rain) == offsetof(SFC_report, ptend) + 6 * sizeof(float));
static_assert(offsetof(SFC_report, wav_hgt) == offsetof(SFC_report, max_t) + 8 * sizeof(float));
static_assert(checked_floats == std::size(float_members) + SFC_MAX_CLOUD);
static_assert(sizeof(float) == sizeof(std::uint32_t) && std::numeric_limits<float>::is_iec559);

/* The bits of SFC_VALUE_LIMIT: below them, and only below them, the
 * magnitude's bits (sign cleared) are those of a plausible value, since
 * IEEE floats of one sign order as their bits do, and infinities and NaNs
 * lie above every finite magnitude. */
static_assert(SFC_VALUE_LIMIT > 0 && SFC_VALUE_LIMIT < std::numeric_limits<float>::max());
constexpr std::uint32_t limit_bits = std::bit_cast<std::uint32_t>(SFC_VALUE_LIMIT);

/* Where each run starts among the gathered words. */
constexpr auto run_starts = [] {
  std::array<std::size_t, std::size(float_runs)> at{};
  for (std::size_t i = 1; i < at.size(); ++i) at[i] = at[i - 1] + float_runs[i - 1].count;
  return at;
}();

/* The runs copied side by side, each copy of a constant size so that it
 * is a few moves rather than a call. */
template <std::size_t... I>
void gather(std::uint32_t* bits, const unsigned char* bytes, std::index_sequence<I...>) {
  (std::memcpy(bits + run_starts[I], bytes + float_runs[I].offset, float_runs[I].count * sizeof(float)), ...);
}

bool all_plausible(const SFC_report& r) {
  std::uint32_t bits[checked_floats];
  gather(bits, reinterpret_cast<const unsigned char*>(&r), std::make_index_sequence<std::size(float_runs)>{});
  /* Folded over every value without a branch, so that the compiler
   * checks several at once; the magnitudes fit a signed word, whose
   * comparison the processor has. */
  std::int32_t beyond = 0;
  for (std::uint32_t b : bits)
    beyond |= static_cast<std::int32_t>(b & 0x7fffffffu) >= static_cast<std::int32_t>(limit_bits) ? -1 : 0;
  return beyond == 0;
}

/* The empty report, formed once in place (its padding zero too): a reader
 * empties a report for every one it reads, and a copy is one move of the
 * record. */
struct EmptyReport {
  SFC_report r;
  EmptyReport() {
    std::memset(&r, 0, sizeof r);
    r.wmo = r.prior = r.time = r.ptend_t = r.rain_per = KEZ_MISS;
    for (float SFC_report::*m : float_members) r.*m = KEZ_FMISS;
    for (int i = 0; i < SFC_MAX_CLOUD; ++i) {
      r.cld_height[i] = KEZ_FMISS;
      r.cld_cover[i] = SFC_CLD_NONE;
    }
    r.weather[0] = ' ';
    r.cld_low = ' ';
    std::memset(r.cld_type, ' ', sizeof r.cld_type);
  }
};

} // namespace

int SFC_initialize(SFC_report* report) {
  if (report == nullptr) return -1;
  static const EmptyReport empty;
  std::memcpy(report, &empty.r, sizeof *report);
  return 0;
}

bool SFC_has_absurd(const SFC_report* report) { return report != nullptr && !all_plausible(*report); }

int SFC_drop_absurd(SFC_report* report) {
  if (!SFC_has_absurd(report)) return 0;
  int dropped = 0;
  auto check = [&dropped](float& v) {
    if (plausible(v)) return;
    v = KEZ_FMISS;
    ++dropped;
  };
  for (float SFC_report::*m : float_members) check(report->*m);
  for (float& h : report->cld_height) check(h);
  return dropped;
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
    if (g.rank >= first_additional_rank && g.rank <= last_additional_rank && holds(*rep2, g)) additional = true;
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

/* ------------------------------------------------------------------------ */
/* Listings                                                                 */
/* ------------------------------------------------------------------------ */

namespace {

struct ListState {
  int print_type = SFC_PRINT_TABLE;
  int metric = 0;
  int miss_dash = 0;
  bool have_vars = false; /* the "variable" resource parsed for layout 6 */
} state;

float kelvin(float f) { return present(f) ? (f - 32) * 5 / 9 + 273.15f : KEZ_FMISS; }
float fahrenheit(float k) { return present(k) && k > 0 ? 32 + 9 * (k - 273.15f) / 5 : KEZ_FMISS; }
float metres_per_second(float knots) { return present(knots) ? 0.5144f * knots : KEZ_FMISS; }
float station_pressure(const SFC_report& r) {
  if (!present(r.alt) || !present(r.elev)) return KEZ_FMISS;
  return sfc_pr_alt(33.85399f * r.alt, r.elev);
}
/* A formula's result, missing when any input is. */
template <typename F, typename... A>
float formula(F f, A... args) {
  for (float a : {args...})
    if (!present(a)) return KEZ_FMISS;
  return f(args...);
}

/* One line under construction; every piece is bounded. */
struct Line {
  std::string text;
  template <typename... A>
  void put(const char* fmt, A... args) {
    char buf[400];
    std::snprintf(buf, sizeof buf, fmt, args...);
    text += buf;
  }
  void add(const char* s) { text += s; }
};

bool dash() { return state.miss_dash != 0; }
const char* miss(const char* without, const char* with) { return dash() ? with : without; }
char printable(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return u < 0x20 || u >= 0x7f ? ' ' : c;
}
std::string field(const char* text, int room) {
  std::string s;
  for (size_t i = 0, n = text_len(text, room); i < n; ++i) s += printable(text[i]);
  return s;
}

/* A number column: the format, or the missing text. */
void number(Line& l, const char* fmt, float v, const char* blank_text, const char* dash_text,
            bool non_negative = false) {
  if (present(v) && (!non_negative || v >= 0))
    l.put(fmt, v);
  else
    l.add(miss(blank_text, dash_text));
}

float first_present(std::initializer_list<float> values) {
  for (float v : values)
    if (present(v)) return v;
  return KEZ_FMISS;
}

/* The weather field as a short letter code. */
std::string short_weather(const SFC_report& r) {
  const std::string wx = field(r.weather, SFC_WEATHER_LEN);
  if (wx.empty() || wx[0] == ' ') return {};
  char code[WX_TEXT_LEN] = "";
  if (std::isdigit(static_cast<unsigned char>(wx[0]))) {
    WX_wmo_weather(std::atoi(wx.c_str()), code);
    return code;
  }
  if (wx[0] == '!') {
    WX_metar_weather(wx.c_str(), code);
    return code;
  }
  return wx;
}

std::string weather_words(const SFC_report& r) {
  char words[WX_TEXT_LEN] = "";
  const std::string wx = field(r.weather, SFC_WEATHER_LEN);
  if (wx.empty() || wx[0] == ' ') return {};
  WX_weather_text(wx.c_str(), words);
  return field(words, WX_TEXT_LEN);
}

struct CoverText {
  const char* covers;
  const char* text;
};

const char* cover_text(char c, std::span<const CoverText> table, const char* other) {
  for (const auto& row : table)
    if (c != '\0' && std::strchr(row.covers, c)) return row.text;
  return other;
}

/* The column texts of a cover in layout 2. */
constexpr CoverText table_covers[] = {{"C", " CLR "},  {"F", " FEW "}, {"S", " SCT "}, {"B", " BKN "}, {"O", " OVC "},
                                      {"X9", "  X  "}, {"s", "-SCT "}, {"b", "-BKN "}, {"o", "-OVC "}, {"x", " -X  "}};
/* Layout 5 and the full text read okta digits as covers. */
constexpr CoverText summary_covers[] = {{"C0", " CLR "},  {"F1", " FEW "}, {"S23", " SCT "}, {"B456", " BKN "},
                                        {"O78", " OVC "}, {"X9", "  X  "}, {"f", "-FEW "},   {"s", "-SCT "},
                                        {"b", "-BKN "},   {"o", "-OVC "},  {"x", " -X  "}};
constexpr CoverText cover_words[] = {{"C0", "clear"},         {"F1", "few"},
                                     {"S23", "scattered"},    {"B456", "broken"},
                                     {"O78", "overcast"},     {"X9", "obscured"},
                                     {"b", "thin broken"},    {"o", "thin overcast"},
                                     {"s", "thin scattered"}, {"x", "partially obscured"}};
constexpr CoverText column_covers[] = {{"B", "BKN"}, {"C", "CLR"},  {"F", "FEW"},  {"O", "OVC"},  {"S", "SCT"},
                                       {"X", "X"},   {"b", "-BKN"}, {"o", "-OVC"}, {"s", "-SCT"}, {"x", "-X"}};

struct Ceiling {
  char cover = ' ';
  float height = KEZ_FMISS; /* feet */
};
Ceiling dominant(const SFC_report& r) {
  Ceiling c;
  WX_set_cloud(&r, &c.cover, &c.height);
  return c;
}
float hundreds(float feet) { return present(feet) ? feet / 100 : KEZ_FMISS; }

/* Flight rules: a ceiling is a broken or overcast dominant layer; a single
 * layer reported in oktas counts from 4 oktas on, as the dominant-layer
 * rule maps those digits to broken and overcast. */
const char* flight_rules(const SFC_report& r) {
  const Ceiling c = dominant(r);
  bool ceiling = c.cover == SFC_CLD_BROKEN || c.cover == SFC_CLD_OVERCAST;
  if (r.num_cld == 1 && c.cover >= '4' && c.cover <= '8') ceiling = true;
  const float ceil = ceiling ? c.height : KEZ_FMISS;
  if (present(ceil) && ceil < 1000) return "IFR";
  if (present(r.vis) && r.vis < 3) return "IFR";
  if (present(ceil) && ceil <= 3000) return "MVFR";
  if (!present(r.vis)) return "VFR";
  if (r.vis <= 5) return "MVFR";
  return "VFR";
}

void type_column(Line& l, int type) {
  const bool sa = type & SFC_TYPE_SA, sp = type & SFC_TYPE_SP;
  l.add(sa && sp ? "RS" : sa ? "SA" : sp ? "SP" : "--");
  l.add(type & SFC_TYPE_STAR ? "*" : miss(" ", "-"));
}

std::string id_text(const SFC_report& r) { return field(r.id, SFC_ID_LEN); }

/* ---- layout 2 ---- */
void line_table(Line& l, const SFC_report& r) {
  const std::string id = id_text(r);
  if (id.empty() && dash())
    l.add("  -   ");
  else
    l.put("%-6.6s ", id.c_str());
  if (present(r.time))
    l.put("%4.4d ", r.time);
  else
    l.add(miss("     ", "   - "));
  number(l, "%3.0f ", r.t, "    ", "  - ");
  number(l, "%3.0f ", r.td, "    ", "  - ");
  number(l, "%3.0f ", formula(rel_hum, kelvin(r.t), kelvin(r.td)), "    ", "  - ");
  number(l, "%3.0f ", r.w_dir, "    ", "  - ");
  number(l, "%3.0f ", r.w_spd, "    ", "  - ");
  number(l, "%3.0f ", r.w_gust, "    ", "  - ");
  if (present(r.alt) && std::fabs(r.alt) < 1e6)
    l.put("%03d ", static_cast<int>(100 * (r.alt + 0.002)) % 1000);
  else
    l.add(miss("    ", "  - "));
  if (present(r.pmb) && std::fabs(r.pmb) < 1e6)
    l.put("%03d ", static_cast<int>(10 * (r.pmb + 0.02)) % 1000);
  else
    l.add(miss("    ", "  - "));
  if (present(r.vis))
    l.put(r.vis >= 3 ? "%3.0f " : "%3.1f ", r.vis);
  else
    l.add(miss("    ", "  - "));
  const Ceiling c = dominant(r);
  number(l, "%3.0f ", hundreds(c.height), "    ", "  - ");
  if (c.cover >= '0' && c.cover <= '8')
    l.put("%c/8 ", c.cover);
  else
    l.add(cover_text(c.cover, table_covers, miss("     ", "   - ")));
  const std::string code = short_weather(r);
  if (blank(r.weather[0]))
    l.add(miss("    ", "-   "));
  else if (dash() && (code.empty() || code[0] == ' '))
    l.add("-   ");
  else
    l.put("%-3.3s ", code.c_str());
  number(l, "%3.0f ", first_present({r.max_t, r.max6_t}), "    ", "  - ");
  number(l, "%3.0f ", first_present({r.min_t, r.min6_t}), "    ", "  - ");
  number(l, "%4.2f ", r.rain6, "     ", "   - ");
  number(l, "%4.2f ", r.rain24, "     ", "   - ");
  number(l, "%2.0f", r.scover, "  ", " -");
  l.add("\n");
}

/* ---- layout 1 ---- */
constexpr CoverText cell_letters[] = {{"C", "CLR "}, {"F", "FEW "}, {"S", "SCT "},
                                      {"B", "BKN "}, {"O", "OVC "}, {"X", "X   "}};
constexpr CoverText cell_thin[] = {{"s", "-SCT "}, {"b", "-BKN "}, {"o", "-OVC "}, {"x", "-X   "}};
constexpr CoverText cell_no_height[] = {{"C", "    CLR "}, {"F", "   -FEW "}, {"S", "    SCT "}, {"B", "    BKN "},
                                        {"O", "    OVC "}, {"X", "    X   "}, {"s", "   -SCT "}, {"b", "   -BKN "},
                                        {"o", "   -OVC "}, {"x", "   -X   "}};

void cloud_cell(Line& l, const SFC_report& r, int i) {
  if (i >= r.num_cld) {
    l.add(miss("        ", " -   -  "));
    return;
  }
  const char c = printable(r.cld_cover[i]);
  const float h = r.cld_height[i];
  if (present(h) && h >= 0) {
    if (c == ' ') {
      l.add("    M   ");
    } else if (const char* t = cover_text(c, cell_letters, nullptr)) {
      l.put("%3.0f ", h / 100);
      l.add(t);
    } else if (const char* thin = cover_text(c, cell_thin, nullptr)) {
      l.put("%3.0f", h / 100);
      l.add(thin);
    } else {
      l.put("%3.0f %1c/8 ", h / 100, c);
    }
    return;
  }
  if (const char* t = cover_text(c, cell_no_height, nullptr))
    l.add(t);
  else
    l.put("    %1c/8 ", c);
}

void line_two(Line& l, const SFC_report& r) {
  const std::string id = id_text(r);
  if (id.empty() && dash())
    l.add(" -   ");
  else
    l.put("%4s ", id.c_str());
  type_column(l, r.type);
  if (present(r.time) && r.time >= 0)
    l.put("%4.4d ", r.time);
  else
    l.add(miss("     ", "   - "));
  number(l, "%5.1f  ", r.vis, "       ", "    -  ", true);
  if (blank(r.weather[0])) {
    l.add(miss("      ", "    - "));
  } else {
    const std::string wx = field(r.weather, SFC_WEATHER_LEN);
    l.put("%5.5s ", wx.c_str() + (wx[0] == '!' ? 1 : 0));
  }
  number(l, " %6.1f ", r.pmb, "        ", "      - ", true);
  number(l, "%3.0f ", r.t, "    ", "  - ");
  number(l, "%3.0f ", r.td, "    ", "  - ");
  if (present(r.w_dir) && present(r.w_spd)) {
    l.put(dash() ? " %3.0f %2.0f " : " %3.0f-%2.0f ", r.w_dir, r.w_spd);
    number(l, "%2.0f ", r.w_gust, "   ", " - ", true);
  } else {
    l.add(miss("    -      ", "   -  -  - "));
  }
  number(l, "%5.2f ", r.alt, "      ", "    - ", true);
  number(l, "%4.1f  ", r.ptend, "      ", "    - ");
  number(l, "%3.0f ", first_present({r.max_t, r.max6_t}), "    ", "  - ");
  number(l, "%3.0f ", first_present({r.min_t, r.min6_t}), "    ", "  - ");
  l.add("\n    ");
  for (int i = 0; i < SFC_MAX_CLOUD; ++i) cloud_cell(l, r, i);
  l.put("  %c:%c:%c  ", printable(r.cld_type[0]), printable(r.cld_type[1]), printable(r.cld_type[2]));
  number(l, "%4.2f ", r.rain3, "     ", "     ", true);
  number(l, "%4.2f ", r.rain6, "     ", "   - ", true);
  number(l, "%4.2f ", r.rain12, "     ", "   - ", true);
  number(l, "%4.2f ", r.rain24, "     ", "   - ", true);
  if (present(r.scover) && r.scover >= 0)
    l.put("%2.0f\n", r.scover);
  else
    l.add("  \n");
  if (r.comment[0] != '\0') l.put("   COMMENT: %s\n", field(r.comment, SFC_COMMENT_LEN).c_str());
}

/* ---- layout 4 ---- */
void line_compact(Line& l, const SFC_report& r) {
  const std::string id = id_text(r);
  if (id.empty() && dash())
    l.add(" -    ");
  else
    l.put("%-5s ", id.c_str());
  if (r.num_cld > 0) {
    const char c = printable(r.cld_cover[0]);
    if (present(r.cld_height[0]) && r.cld_height[0] >= 0)
      l.put(" %3.0f %c ", r.cld_height[0] / 100, c);
    else
      l.put("     %c ", c);
  } else {
    l.add("       ");
  }
  number(l, "%5.1f  ", r.vis, "       ", "    -  ", true);
  if (blank(r.weather[0]))
    l.add(miss("    ", "  - "));
  else
    l.put("%4s", field(r.weather, SFC_WEATHER_LEN).c_str());
  number(l, " %6.1f ", r.pmb, "        ", "      - ", true);
  number(l, "%3.0f ", r.t, "    ", "  - ");
  number(l, "%3.0f ", r.td, "    ", "  - ");
  if (present(r.w_dir) && present(r.w_spd)) {
    l.put(dash() ? "%3.0f " : "%3.0f-", r.w_dir);
    l.put("%2.0f ", r.w_spd);
    number(l, "%2.0f ", r.w_gust, "   ", "  - ", true);
  } else {
    l.add(miss("   -      ", "   -  -  - "));
  }
  number(l, "%2.0f ", first_present({r.max_t, r.min_t, r.max6_t, r.min6_t}), "    ", "  - ");
  number(l, "%4.1f", r.ptend, "    ", "  - ");
  number(l, " %4.2f ", r.rain6, "      ", "    - ", true);
  number(l, "%4.2f ", r.rain24, "     ", "   - ", true);
  number(l, "%2.0f", r.scover, "  ", " -", true);
  if (!blank(r.cld_type[0]))
    l.put(" %c:%c:%c", printable(r.cld_type[0]), printable(r.cld_type[1]), printable(r.cld_type[2]));
  l.add("\n");
}

/* ---- layout 5 ---- */
void line_summary(Line& l, const SFC_report& r) {
  l.put("%5s ", id_text(r).c_str());
  for (float v : {r.t, r.td}) {
    if (present(v))
      l.put(" %3.0f ", v);
    else
      l.add(" --- ");
  }
  if (present(r.w_dir) && present(r.w_spd))
    l.put(" %3.0f at %2.0f ", r.w_dir, r.w_spd);
  else
    l.add(" ---    -- ");
  if (present(r.pmb))
    l.put(" %6.1f ", r.pmb);
  else
    l.add(" ------ ");
  const Ceiling c = dominant(r);
  if (present(c.height))
    l.put(" %3.0f ", c.height / 100);
  else
    l.add(" --- ");
  if (blank(c.cover))
    l.add(miss("     ", "   - "));
  else
    l.add(cover_text(c.cover, summary_covers, ""));
  if (present(r.rain6) && r.rain6 >= 0)
    l.put(" %4.2f ", r.rain6);
  else
    l.add(" ---- ");
  if (blank(r.weather[0]))
    l.add(miss("", " - "));
  else
    l.add(weather_words(r).c_str());
  l.add("\n");
}

/* ---- layout 6 ---- */
enum class Col { id, otime, value, text, prec, cover_word, flight };

struct Column {
  const char* name;
  Col kind;
  const char* units; /* the internal unit of a value column */
  float (*value)(const SFC_report&);
  std::string (*text)(const SFC_report&);
};

std::string one_char(char c) { return std::string(1, printable(c)); }

constexpr Column columns[] = {
    {"city", Col::id, "", nullptr, nullptr},
    {"id", Col::id, "", nullptr, nullptr},
    {"otime", Col::otime, "", nullptr, nullptr},
    {"temp", Col::value, "F", [](const SFC_report& r) { return r.t; }, nullptr},
    {"dewp", Col::value, "F", [](const SFC_report& r) { return r.td; }, nullptr},
    {"dewd", Col::value, "F",
     [](const SFC_report& r) { return present(r.t) && present(r.td) ? r.t - r.td : KEZ_FMISS; }, nullptr},
    {"wdir", Col::value, "deg", [](const SFC_report& r) { return r.w_dir; }, nullptr},
    {"wspd", Col::value, "knt", [](const SFC_report& r) { return r.w_spd; }, nullptr},
    {"wgst", Col::value, "knt", [](const SFC_report& r) { return r.w_gust; }, nullptr},
    {"alt", Col::value, "in_Hg", [](const SFC_report& r) { return r.alt; }, nullptr},
    {"pres", Col::value, "mb", [](const SFC_report& r) { return r.pmb; }, nullptr},
    {"wx", Col::text, "", nullptr, [](const SFC_report& r) { return field(r.weather, SFC_WEATHER_LEN); }},
    {"saowx", Col::text, "", nullptr, [](const SFC_report& r) { return short_weather(r); }},
    {"txtwx", Col::text, "", nullptr, nullptr},
    {"vis", Col::value, "mi", [](const SFC_report& r) { return r.vis; }, nullptr},
    {"cldcl", Col::value, "100ft", [](const SFC_report& r) { return hundreds(dominant(r).height); }, nullptr},
    {"cldcv", Col::cover_word, "", nullptr, nullptr},
    {"ptend", Col::value, "mb", [](const SFC_report& r) { return r.ptend; }, nullptr},
    {"prec1", Col::value, "in", [](const SFC_report& r) { return r.rain1; }, nullptr},
    {"prec3", Col::value, "in", [](const SFC_report& r) { return r.rain3; }, nullptr},
    {"prec6", Col::value, "in", [](const SFC_report& r) { return r.rain6; }, nullptr},
    {"prec12", Col::value, "in", [](const SFC_report& r) { return r.rain12; }, nullptr},
    {"prec24", Col::value, "in", [](const SFC_report& r) { return r.rain24; }, nullptr},
    {"prec", Col::prec, "in", nullptr, nullptr},
    {"extt", Col::value, "F",
     [](const SFC_report& r) {
       return first_present({r.max_t, r.min_t});
     },
     nullptr},
    {"maxt", Col::value, "F", [](const SFC_report& r) { return r.max_t; }, nullptr},
    {"maxt6", Col::value, "F", [](const SFC_report& r) { return r.max6_t; }, nullptr},
    {"mint", Col::value, "F", [](const SFC_report& r) { return r.min_t; }, nullptr},
    {"mint6", Col::value, "F", [](const SFC_report& r) { return r.min6_t; }, nullptr},
    {"snwdp", Col::value, "in", [](const SFC_report& r) { return r.scover; }, nullptr},
    {"nlcld", Col::text, "", nullptr, [](const SFC_report& r) { return one_char(r.cld_low); }},
    {"lcld", Col::text, "", nullptr, [](const SFC_report& r) { return one_char(r.cld_type[0]); }},
    {"mcld", Col::text, "", nullptr, [](const SFC_report& r) { return one_char(r.cld_type[1]); }},
    {"hcld", Col::text, "", nullptr, [](const SFC_report& r) { return one_char(r.cld_type[2]); }},
    {"solar", Col::value, "min", [](const SFC_report& r) { return r.solar; }, nullptr},
    {"sst", Col::value, "C", [](const SFC_report& r) { return r.sst; }, nullptr},
    {"wavper", Col::value, "sec", [](const SFC_report& r) { return r.wav_per; }, nullptr},
    {"wavhgt", Col::value, "m", [](const SFC_report& r) { return r.wav_hgt; }, nullptr},
    {"vpres", Col::value, "mb", [](const SFC_report& r) { return formula(vapor_pr, kelvin(r.td)); }, nullptr},
    {"svpres", Col::value, "mb", [](const SFC_report& r) { return formula(vapor_pr, kelvin(r.t)); }, nullptr},
    {"wchilt", Col::value, "K",
     [](const SFC_report& r) { return formula(wind_chill_temp, kelvin(r.t), metres_per_second(r.w_spd)); }, nullptr},
    {"wchill2", Col::value, "K",
     [](const SFC_report& r) { return formula(wind_chill_temp2, kelvin(r.t), metres_per_second(r.w_spd)); }, nullptr},
    {"wchilf", Col::value, "W/m^2",
     [](const SFC_report& r) { return formula(wind_chill, kelvin(r.t), metres_per_second(r.w_spd)); }, nullptr},
    {"heat", Col::value, "K", [](const SFC_report& r) { return formula(heat_index, kelvin(r.t), kelvin(r.td)); },
     nullptr},
    {"humit", Col::value, "F", [](const SFC_report& r) { return formula(humiture, kelvin(r.t), kelvin(r.td)); },
     nullptr},
    {"mrat", Col::value, "g/kg",
     [](const SFC_report& r) { return formula(mix_ratio, kelvin(r.td), station_pressure(r)); }, nullptr},
    {"smrat", Col::value, "g/kg",
     [](const SFC_report& r) { return formula(mix_ratio, kelvin(r.t), station_pressure(r)); }, nullptr},
    {"shum", Col::value, "g/kg",
     [](const SFC_report& r) { return formula(spec_hum, kelvin(r.td), station_pressure(r)); }, nullptr},
    {"rhum", Col::value, "%", [](const SFC_report& r) { return formula(rel_hum, kelvin(r.t), kelvin(r.td)); }, nullptr},
    {"wetblb", Col::value, "K",
     [](const SFC_report& r) { return formula(wet_bulb, kelvin(r.t), kelvin(r.td), station_pressure(r)); }, nullptr},
    {"thetaw", Col::value, "K",
     [](const SFC_report& r) { return formula(wet_bulb_pot_temp, kelvin(r.t), kelvin(r.td), station_pressure(r)); },
     nullptr},
    {"thetae", Col::value, "K",
     [](const SFC_report& r) { return formula(eq_pot_temp, kelvin(r.t), kelvin(r.td), station_pressure(r)); }, nullptr},
    {"thetav", Col::value, "K",
     [](const SFC_report& r) { return formula(virt_pot_temp, kelvin(r.t), kelvin(r.td), station_pressure(r)); },
     nullptr},
    {"vtemp", Col::value, "K",
     [](const SFC_report& r) { return formula(virt_temp, kelvin(r.t), kelvin(r.td), station_pressure(r)); }, nullptr},
    {"theta", Col::value, "K", [](const SFC_report& r) { return formula(pot_temp, kelvin(r.t), station_pressure(r)); },
     nullptr},
    {"fr", Col::flight, "", nullptr, nullptr},
    {"rmk", Col::text, "", nullptr, nullptr},
};

float prec_for(const SFC_report& r, int time) {
  const int h = time == KEZ_MISS ? KEZ_MISS : (time / 1000) % 1000;
  switch (h) {
    case 3: return r.rain3;
    case 6: return r.rain6;
    case 12: return r.rain12;
    case 24: return r.rain24;
    default: return first_present({r.rain24, r.rain12, r.rain6});
  }
}

void line_columns(Line& l, const SFC_report* r) {
  const VAR_data* vars = VAR_get_vars();
  const int num = std::clamp(VAR_get_num(), 0, VAR_MAX_RECORDS);
  if (!vars) return;
  if (!r) {
    for (int i = 0; i < num; ++i) l.put("%6.6s ", field(vars[i].name, sizeof vars[i].name).c_str());
    l.add("\n");
    for (int i = 0; i < num; ++i) l.put("%6.6s ", field(vars[i].units, sizeof vars[i].units).c_str());
    l.add("\n");
    return;
  }
  for (int i = 0; i < num; ++i) {
    const VAR_data& v = vars[i];
    const std::string name = field(v.name, sizeof v.name);
    const Column* col = nullptr;
    for (const auto& c : columns)
      if (stricmp(name.c_str(), c.name) == 0) {
        col = &c;
        break;
      }
    if (!col) {
      l.add(miss("       ", "     - "));
      continue;
    }
    const std::string units = field(v.units, sizeof v.units);
    const std::string format = field(v.format, sizeof v.format);
    auto value = [&](float x) {
      char str[SFC_PRINT_STR_LEN];
      SFC_set_print_str(x, col->units, units.c_str(), format.c_str(), str);
      l.put("%6.6s ", str);
    };
    switch (col->kind) {
      case Col::id: {
        const std::string id = id_text(*r);
        if (id.empty() && dash())
          l.add(" -     ");
        else
          l.put("%-6.6s ", id.c_str());
        break;
      }
      case Col::otime:
        if (present(r->time))
          l.put("  %4.4d ", r->time);
        else
          l.add(miss("       ", "     - "));
        break;
      case Col::value: value(col->value(*r)); break;
      case Col::prec: value(prec_for(*r, v.time)); break;
      case Col::text:
        if (std::strcmp(col->name, "txtwx") == 0)
          l.put("%s ", weather_words(*r).c_str());
        else if (std::strcmp(col->name, "rmk") == 0)
          l.put("%s ", field(r->comment, SFC_COMMENT_LEN).c_str());
        else
          l.put("%6.6s ", col->text(*r).c_str());
        break;
      case Col::cover_word: {
        const char c = printable(dominant(*r).cover);
        if (c == ' ')
          l.put("%6.6s ", "M");
        else if (const char* t = cover_text(c, column_covers, nullptr))
          l.put("%6.6s ", t);
        else {
          char w[8];
          std::snprintf(w, sizeof w, "%1c/8", c);
          l.put("%6.6s ", w);
        }
        break;
      }
      case Col::flight: l.put("%6.6s ", flight_rules(*r)); break;
    }
  }
  l.add("\n");
}

void emit(M_type level, const Line& l) {
  if (!l.text.empty()) MESS_print(level, "%s", l.text.c_str());
}

} // namespace

int SFC_set_print(int type) {
  state.print_type = type;
  return 0;
}

int SFC_set_metric(int value) {
  state.metric = value;
  return 0;
}

int SFC_set_miss_dash() {
  state.miss_dash = 1;
  return 0;
}

int SFC_set_print_str(float val, const char* iunits, const char* ounits, const char* format, char* str) {
  if (!str) return 0;
  std::string text;
  if (present(val) && ounits && *ounits) val = UNIT_cvt(val, iunits ? iunits : "", ounits);
  if (!present(val)) {
    text = dash() ? " -" : "";
  } else {
    /* the format comes from the user's variable options */
    const char* f = format && format[0] == '%' ? format : "%4.0f";
    text = FMT_print_float("SFC_set_print_str", f, "%4.0f", val);
  }
  copy_text(str, text.c_str(), SFC_PRINT_STR_LEN);
  return 0;
}

int SFC_print_line(M_type level, const SFC_report* report) {
  if (!MESS_check(level)) return 0;
  if (!state.have_vars) {
    if (const char* list = RES_get("variable")) {
      const std::string text = list;
      VAR_open_file(nullptr);
      VAR_setup(nullptr, text.c_str());
      state.have_vars = true;
    }
  }
  Line l;
  if (state.print_type == SFC_PRINT_COLUMNS && state.have_vars) {
    line_columns(l, report);
    emit(level, l);
    return 0;
  }
  switch (state.print_type) {
    case SFC_PRINT_TWO_LINE:
      if (!report)
        l.add(
            "  ID Tp Time  Vis    PWx   SLPres   T  Td   WD-WS WG  Alt   PT  Max Min\n"
            "     CHt CCv CHt CCv CHt CCv CHt CCv CHt CCv  L:M:H  Rn3  Rn6 Rn12 Rn24 SC\n");
      else
        line_two(l, *report);
      break;
    case SFC_PRINT_TABLE:
      if (!report)
        l.add("ID     TIME   T  TD  RH DIR SPD GST ALT SLP VIS CIL  COV WX  MAX MIN  PR6 PR24 SC\n");
      else
        line_table(l, *report);
      break;
    case SFC_PRINT_FULL: SFC_print_report(report); return 0;
    case SFC_PRINT_COMPACT:
      if (!report)
        l.add(" ID   Cht Cv  Vis   PWx  SLPres   T  Td  WD-WS WG  Te  PT   Rn6 Rn24 SC L:M:H\n");
      else
        line_compact(l, *report);
      break;
    case SFC_PRINT_SUMMARY:
      if (!report)
        l.add(
            " ID   Temp  Dew  Winds       Press   Clouds   Prec  Weather\n"
            "        F    F   deg   knt     mb  100ft cov   in\n");
      else
        line_summary(l, *report);
      break;
    default: break;
  }
  emit(level, l);
  return 0;
}

int SFC_print_report(const SFC_report* report) {
  if (!report) return -1;
  const SFC_report& r = *report;
  Line l;
  l.put("Data for: %s\n", id_text(r).c_str());
  if (present(r.wmo)) l.put("WMO number: %ld\n", static_cast<long>(r.wmo));
  if (present(r.lat)) l.put("LAT: %7.2f N  LON: %7.2f E\n", r.lat, r.lon);
  if (present(r.elev)) l.put("Elevation: %7.0f m\n", r.elev);
  l.add("-----------------------------------\n");
  if (present(r.time)) l.put("Report time:        %4.4d Z\n", r.time);
  if (present(r.t)) l.put("Temperature:         %3.0f F = %4.1f C\n", r.t, 5 * (r.t - 32) / 9);
  if (present(r.td)) l.put("Dewpoint:            %3.0f F = %4.1f C\n", r.td, 5 * (r.td - 32) / 9);
  if (present(r.w_dir)) {
    if (r.w_spd == 0)
      l.add("Winds:               calm");
    else
      l.put("Winds:               %3.0f deg at %1.0f knt", r.w_dir, r.w_spd);
    if (present(r.w_gust))
      l.put(" Gusts: %1.0f knt\n", r.w_gust);
    else
      l.add("\n");
  }
  if (present(r.alt)) l.put("Altimeter setting:    %5.2f in Hg\n", r.alt);
  if (present(r.pmb)) l.put("Sea level pressure: %5.1f mb\n", r.pmb);
  const int ncld = std::clamp(r.num_cld, 0, SFC_MAX_CLOUD);
  for (int i = 0; i < ncld; ++i) {
    l.add(i == 0 ? "Clouds:" : "       ");
    if (present(r.cld_height[i]))
      l.put("level %d: %6.0f feet ", i + 1, r.cld_height[i]);
    else
      l.add("                    ");
    l.add(cover_text(printable(r.cld_cover[i]), cover_words, ""));
    l.add("\n");
  }
  if (present(r.vis)) l.put("Visibility:           %5.2f miles\n", r.vis);
  if (!blank(r.weather[0])) l.put("Present weather:     %s\n", weather_words(r).c_str());
  if (present(r.ptend)) l.put("Pressure tendency:    %4.1f mb\n", r.ptend);
  if (present(r.rain6) && r.rain6 >= 0) l.put("3/6 hour precip:       %4.2f in\n", r.rain6);
  if (present(r.rain24) && r.rain24 >= 0) l.put("24 hour precip:        %4.2f in\n", r.rain24);
  if (present(r.max_t)) l.put("Max temperature:     %3.0f F\n", r.max_t);
  if (present(r.min_t)) l.put("Min temperature:     %3.0f F\n", r.min_t);
  if (present(r.max6_t)) l.put(" 6 hr Max temp:      %3.0f F\n", r.max6_t);
  if (present(r.min6_t)) l.put(" 6 hr Min temp:      %3.0f F\n", r.min6_t);
  if (present(r.scover) && r.scover >= 0) {
    if (state.metric)
      l.put("Snow cover:          %3.0f cm\n", 2.54 * r.scover);
    else
      l.put("Snow cover:          %3.0f in.\n", r.scover);
  }
  if (present(r.t) && present(r.w_spd)) {
    const float chill = fahrenheit(formula(wind_chill_temp2, kelvin(r.t), metres_per_second(r.w_spd)));
    if (present(chill) && chill < 30) l.put("Wind chill:           %4.1f F\n", chill);
  }
  if (present(r.t) && present(r.td)) {
    const float heat = fahrenheit(formula(heat_index, kelvin(r.t), kelvin(r.td)));
    if (present(heat) && heat > 75) l.put("Heat index:           %4.1f F\n", heat);
  }
  if (!blank(r.cld_type[0]))
    l.put("Cloud types- Low:%c Medium:%c High:%c\n", printable(r.cld_type[0]), printable(r.cld_type[1]),
          printable(r.cld_type[2]));
  if (r.comment[0] != '\0') l.put("Remarks: %s\n", field(r.comment, SFC_COMMENT_LEN).c_str());
  emit(M_print, l);
  return 0;
}

int SFC_set_in_file() {
  FILE_set_name("sfc_cvt");
  int num = 0;
  char** items = nullptr;
  if (RES_getvals("in_file", &num, &items) <= 0 || !items) return 1;
  for (int i = 0; i < num; ++i) {
    const char* item = items[i] ? items[i] : "";
    if (strnicmp(item, "sao", 3) == 0)
      FILE_set_name("sfc_cvt");
    else if (strnicmp(item, "kez", 3) == 0)
      FLAG_set(SFC_FLAG_FILE_KIND, SFC_FT_TAGGED);
    else if (strnicmp(item, "cdf", 3) == 0)
      FLAG_set(SFC_FLAG_FILE_KIND, SFC_FT_CDF);
    else
      FILE_set_name(item); /* "syn..." and any other item name the convention */
  }
  free_parsed_array(num, items);
  return 1;
}
