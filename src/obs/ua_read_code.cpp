/*
 * ua_read_code: the radiosonde code's five-character groups of the
 * upper-air text layouts (PPhhh, TTTDD, dddff).
 *
 * The decoders turn a group into values, and give missing values for a
 * group that is not one of its kind; the encoders write a group into the
 * module's buffer, which UPA_encoded gives until the next encoding, or the
 * open layout's marker for a value the code cannot hold. With them the
 * empty report (UPA_initialize) and the mandatory slot of a pressure.
 */
#include "kezupa.h"

#include "ua_read_impl.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

using namespace ua_read_impl;

namespace {

/* ---- group coding ------------------------------------------------------------------ */

/* What an encoder writes for a value it cannot code, in the open layout. */
const char* marker() { return is_new_text(state.file_type) ? "X" : "99999"; }

void put_group(const char* text) { std::snprintf(state.encd_str, sizeof state.encd_str, "%s", text); }

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
