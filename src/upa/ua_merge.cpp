/*
 * ua_merge: soundings woven from the three level lists of one report.
 *
 * A report keeps mandatory slots, significant temperature levels and
 * significant winds apart; everything that computes or prints a sounding
 * wants plain arrays of UPA_level instead. The temperature merge orders the
 * levels by falling pressure and drops superadiabatic ones, the wind merge
 * orders them by rising height; both slot the tropopause and the maximum
 * wind in and keep a table (man_index) that says for each mandatory slot
 * where its level ended up, moved along through every insertion and
 * deletion. Nothing here allocates or keeps state: the caller owns the
 * report, the arrays and the table, and the report is only read.
 */
#include "kezupa.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float M = KEZ_FMISS;
constexpr M_type trace = M_debug_d;

/* Slots of man_index the merges write; entry 24 is never touched. */
constexpr int index_slots = UPA_SLOT_MAXW + 1;

bool missing(float v) { return v == M; }

int clamp_count(int n, int max) { return std::clamp(n, 0, max); }

/* Height of a pressure in the standard atmosphere, m. */
float std_height(float p) { return static_cast<float>((288.15 - 288.15 * std::pow(p / 1013.25, 0.190263)) / 0.0065); }

float feet_to_m(float h) { return missing(h) ? M : h * UPA_FT_TO_M; }

void clear_index(int* man_index) { std::fill(man_index, man_index + index_slots, KEZ_MISS); }

/* Opens a gap at index at by moving the levels from there up one place;
 * table entries at or above it follow their levels. */
void open_gap(UPA_level* merge, int& count, int at, int* man_index) {
  std::copy_backward(merge + at, merge + count, merge + count + 1);
  ++count;
  for (int k = 0; k < index_slots; ++k)
    if (man_index[k] != KEZ_MISS && man_index[k] >= at) ++man_index[k];
}

/* Removes level at; entries that pointed at it lose their level. */
void close_gap(UPA_level* merge, int& count, int at, int* man_index) {
  std::copy(merge + at + 1, merge + count, merge + at);
  --count;
  for (int k = 0; k < index_slots; ++k) {
    if (man_index[k] == at)
      man_index[k] = KEZ_MISS;
    else if (man_index[k] != KEZ_MISS && man_index[k] > at)
      --man_index[k];
  }
}

/* Slots the tropopause or maximum wind into a sounding by falling
 * pressure. The maximum wind takes its temperature and dew point from the
 * levels around it; where one of them does not exist the values stay
 * missing rather than come from outside the array. */
void place_by_pressure(UPA_level* merge, int& count, int* man_index, const UPA_level& lev, int slot, bool interpolate) {
  if (missing(lev.p)) return;
  for (int j = 0; j < count; ++j) {
    bool same = merge[j].p == lev.p;
    if (!same && !(merge[j].p < lev.p)) continue;
    UPA_level put = lev;
    if (interpolate) {
      int above = same ? j + 1 : j;
      if (j > 0 && above < count) {
        const UPA_level& lo = merge[j - 1];
        const UPA_level& hi = merge[above];
        put.t = interp_temp(lo.t, hi.t, lo.p, hi.p, lev.p);
        put.td = interp_temp(lo.td, hi.td, lo.p, hi.p, lev.p);
      } else {
        put.t = M;
        put.td = M;
      }
    }
    if (same) {
      put.h = merge[j].h;
    } else {
      open_gap(merge, count, j, man_index);
      put.h = M;
    }
    merge[j] = put;
    man_index[slot] = j;
    return;
  }
}

/* The same by rising height, all six fields taken. A slot without height
 * has no place in a height-ordered sounding and is left out. */
void place_by_height(UPA_level* merge, int& count, int* man_index, const UPA_level& lev, int slot) {
  if (missing(lev.p) || missing(lev.h)) return;
  for (int j = 0; j < count; ++j) {
    if (merge[j].h == lev.h) {
      merge[j] = lev;
    } else if (merge[j].h > lev.h) {
      open_gap(merge, count, j, man_index);
      merge[j] = lev;
    } else {
      continue;
    }
    man_index[slot] = j;
    return;
  }
}

float theta(const UPA_level& lev) { return missing(lev.t) ? M : pot_temp(lev.t + 273.15f, lev.p); }

/* Drops every level that is more than 3 K colder in potential temperature
 * than the last level kept below it, and every level without temperature
 * above one with. The surface observation is no reference for the levels
 * above it: over hot ground the air of the screen is often several K
 * warmer in potential temperature than the mixed layer above, and that
 * layer is no error. */
void drop_unstable(UPA_level* merge, int& count, int* man_index) {
  if (count <= 0) return;
  const int sfc = man_index[UPA_SLOT_SFC];
  float ref = sfc == 0 ? M : theta(merge[0]);
  bool seen = !missing(theta(merge[0])); /* a level with temperature kept */
  int j = 1;
  while (j < count) {
    float th = theta(merge[j]);
    const bool no_temp = missing(th) && seen;
    if (no_temp || (!missing(ref) && !missing(th) && th - ref < -3.0f)) {
      MESS_print(trace, "BAD: %d = %1.0f\n", j, merge[j].p);
      close_gap(merge, count, j, man_index);
    } else {
      seen = seen || !missing(th);
      ref = j == man_index[UPA_SLOT_SFC] ? M : th;
      ++j;
    }
  }
}

/* The surface pressure used to reject wind slots below the ground. */
float wind_sfc_pres(const UPA_report& r, bool plain) {
  float first = r.numsig > 0 ? r.sig[0].p : M;
  bool from_sfc = plain ? first >= 500.0f : (missing(first) || first >= 500.0f);
  if (from_sfc) return (!plain && missing(r.man[0].p)) ? 1000.0f : r.man[0].p;
  for (int k = UPA_SLOT_SFC; k <= UPA_SLOT_10; ++k)
    if (!missing(r.man[k].t)) return r.man[k].p;
  return r.man[UPA_SLOT_ABOVE].p;
}

/* The report with its significant levels by falling pressure and its wind
 * levels by rising height, as the merges walk them: a report assembled
 * from parts that came out of order would otherwise give a sounding that
 * doubles back. Levels of equal pressure or height keep their order. */
UPA_report in_order(const UPA_report& r) {
  UPA_report c = r;
  const int ns = clamp_count(c.numsig, UPA_NUM_SIG), nw = clamp_count(c.numwnd, UPA_NUM_WND);
  /* a missing value (-9999) sorts last either way */
  std::stable_sort(c.sig, c.sig + ns, [](const UPA_sig& a, const UPA_sig& b) { return a.p > b.p; });
  std::stable_sort(c.wnd, c.wnd + nw,
                   [](const UPA_wnd& a, const UPA_wnd& b) { return !missing(a.h) && (missing(b.h) || a.h < b.h); });
  return c;
}

/* Wind levels of a report without mandatory levels. */
int winds_only(const UPA_report& r, UPA_level* merge, int* man_index) {
  int n = clamp_count(r.numwnd, UPA_NUM_WND);
  for (int i = 0; i < n; ++i) merge[i] = {M, feet_to_m(r.wnd[i].h), M, M, r.wnd[i].dir, r.wnd[i].spd};
  if (n > 0 && merge[0].h < 300.0f && !missing(r.man[0].h)) merge[0].h = r.man[0].h;
  clear_index(man_index);
  return n;
}

/* Steps shared by both wind merges; plain leaves out the substitute
 * heights and uses the short traces. Returns the count. */
int merge_winds(const UPA_report& report, UPA_level* merge, int* man_index, bool plain) {
  UPA_report r = in_order(report);
  if (r.numman == 0) return winds_only(r, merge, man_index);
  /* The surface wind of the wind list (height 0) is the surface slot's
   * wind when that slot has none of its own: a report whose winds all lie
   * on heights would otherwise leave it under the ground, at 0 m. */
  if (r.numwnd > 0 && r.wnd[0].h == 0.0f && !missing(r.man[0].p) && missing(r.man[0].dir) && !missing(r.wnd[0].dir)) {
    r.man[0].dir = r.wnd[0].dir;
    r.man[0].spd = r.wnd[0].spd;
  }
  int nw = clamp_count(r.numwnd, UPA_NUM_WND);
  float sfc_p = wind_sfc_pres(r, plain);
  MESS_print(trace, "SFC: %1.0f\n", sfc_p);
  int i = 0, b = 0;
  auto put_wind = [&](float h) {
    merge[b] = {M, h, M, M, r.wnd[i].dir, r.wnd[i].spd};
    if (plain)
      MESS_print(trace, "HW: %d = %1.0f\n", b, h);
    else
      MESS_print(trace, "HW: %d = %.0f %.0f %.0f\n", b, h, r.wnd[i].dir, r.wnd[i].spd);
  };
  for (int k = UPA_SLOT_SFC; k <= UPA_SLOT_ABOVE_END; ++k) {
    const UPA_level& s = r.man[k];
    if (missing(s.p) || missing(s.dir) || s.p > sfc_p) {
      man_index[k] = KEZ_MISS;
      MESS_print(trace, "bad mand: %d = %1.0f\n", k, s.p);
      continue;
    }
    float hk = (plain || !missing(s.h)) ? s.h : std_height(s.p);
    /* The mandatory surface level stands for the surface wind. */
    if (i == 0 && nw > 0 && r.wnd[0].h == 0.0f && !missing(r.man[0].p)) i = 1;
    for (; i < nw; ++i) {
      float h = feet_to_m(r.wnd[i].h);
      if (!(h < hk)) break;
      put_wind(h);
      if (!missing(r.wnd[i].dir) && h > r.man[0].h) ++b;
    }
    if (i < nw && feet_to_m(r.wnd[i].h) == s.h) ++i;
    merge[b] = {s.p, hk, s.t, s.td, s.dir, s.spd};
    if (plain)
      MESS_print(trace, "HM: %d = %1.0f\n", b, hk);
    else
      MESS_print(trace, "HM: %d = %1.0f %.0f %.0f\n", b, hk, s.dir, s.spd);
    man_index[k] = b++;
  }
  for (; i < nw; ++i) {
    float h = feet_to_m(r.wnd[i].h);
    merge[b] = {M, h, M, M, r.wnd[i].dir, r.wnd[i].spd};
    MESS_print(trace, "HW+ %d = %1.0f %.0f %.0f\n", b, h, r.wnd[i].dir, r.wnd[i].spd);
    if (!missing(r.wnd[i].dir)) ++b;
  }
  return b;
}

} // namespace

int UPA_level_init(UPA_level* lev) {
  if (lev == nullptr) return -1;
  *lev = {M, M, M, M, M, M};
  return 0;
}

int UPA_sm_merge(const UPA_report* report, UPA_level* merge, int* man_index) {
  if (report == nullptr || merge == nullptr || man_index == nullptr) return 0;
  const UPA_report r = in_order(*report);
  const int ns = clamp_count(r.numsig, UPA_NUM_SIG);
  const float sfc_h = r.man[0].h;
  auto sig_level = [&](int i, float h) { return UPA_level{r.sig[i].p, h, r.sig[i].t, r.sig[i].td, M, M}; };

  if (r.numman == 0) {
    for (int i = 0; i < ns; ++i) merge[i] = sig_level(i, M);
    if (ns > 0 && merge[0].p > 500.0f && !missing(sfc_h)) merge[0].h = sfc_h;
    clear_index(man_index);
    return ns;
  }

  man_index[0] = KEZ_MISS;
  {
    float first = ns > 0 ? r.sig[0].p : M;
    float sfc_p = r.man[UPA_SLOT_ABOVE].p;
    if (first >= 500.0f) {
      sfc_p = r.man[0].p;
    } else {
      for (int k = UPA_SLOT_SFC; k <= UPA_SLOT_10; ++k)
        if (!missing(r.man[k].t)) {
          sfc_p = r.man[k].p;
          break;
        }
    }
    MESS_print(trace, "SFC: %1.0f\n", sfc_p);
  }

  int i = 0, b = 0;
  bool sfc_placed = false;
  for (int k = UPA_SLOT_1000; k <= UPA_SLOT_ABOVE_END; ++k) {
    const UPA_level& s = r.man[k];
    if (missing(s.p)) {
      man_index[k] = KEZ_MISS;
      MESS_print(trace, "bad mand: %d = %1.0f\n", k, s.p);
      continue;
    }
    UPA_level_init(&merge[b]);
    bool shared = false;
    if (!sfc_placed && i == 0 && r.man[0].p >= s.p) {
      merge[b] = r.man[0];
      MESS_print(trace, "P-: %d = %1.0f\n", b, merge[b].p);
      man_index[0] = b;
      sfc_placed = true;
      if (ns > 0 && r.sig[0].p == r.man[0].p) i = 1;
      if (r.man[0].p > s.p)
        ++b;
      else
        shared = true;
    }
    for (; i < ns && r.sig[i].p > s.p; ++i) {
      /* A level below the surface would overwrite the shared level. */
      if (shared) {
        ++b;
        shared = false;
      }
      merge[b] = sig_level(i, (i == 0 && r.sig[i].p > 700.0f) ? sfc_h : M);
      MESS_print(trace, "PS: %d = %1.0f\n", b, merge[b].p);
      ++b;
    }
    if (i < ns && r.sig[i].p == s.p) ++i;
    if (!shared) merge[b] = s;
    MESS_print(trace, "PM: %d = %1.0f\n", b, merge[b].p);
    man_index[k] = b++;
  }
  for (; i < ns; ++i) {
    bool ground = i == 0 && r.sig[i].p > 600.0f;
    merge[b] = sig_level(i, ground ? sfc_h : M);
    if (ground && !sfc_placed) man_index[0] = b;
    MESS_print(trace, "PS: %d = %1.0f\n", b, merge[b].p);
    ++b;
  }

  int count = b;
  man_index[UPA_SLOT_TROP] = KEZ_MISS;
  man_index[UPA_SLOT_MAXW] = KEZ_MISS;
  place_by_pressure(merge, count, man_index, r.man[UPA_SLOT_TROP], UPA_SLOT_TROP, false);
  place_by_pressure(merge, count, man_index, r.man[UPA_SLOT_MAXW], UPA_SLOT_MAXW, true);
  drop_unstable(merge, count, man_index);
  return count;
}

int UPA_wm_merge(const UPA_report* report, UPA_level* merge, int* man_index) {
  if (report == nullptr || merge == nullptr || man_index == nullptr) return 0;
  int count = merge_winds(*report, merge, man_index, false);
  if (report->numman == 0) return count;
  man_index[UPA_SLOT_TROP] = KEZ_MISS;
  man_index[UPA_SLOT_MAXW] = KEZ_MISS;
  place_by_height(merge, count, man_index, report->man[UPA_SLOT_TROP], UPA_SLOT_TROP);
  place_by_height(merge, count, man_index, report->man[UPA_SLOT_MAXW], UPA_SLOT_MAXW);
  return count;
}

int UPA_sw_merge(const UPA_report* report, UPA_level* merge, int* man_index) {
  if (report == nullptr || merge == nullptr || man_index == nullptr) return 0;
  return merge_winds(*report, merge, man_index, true);
}

namespace {

/* One level of two at the same place: the first list's fields, the
 * second's where the first has none. */
UPA_level merged(const UPA_level& a, const UPA_level& b) {
  auto pick = [](float x, float y) { return missing(x) ? y : x; };
  return {a.p, pick(a.h, b.h), pick(a.t, b.t), pick(a.td, b.td), pick(a.dir, b.dir), pick(a.spd, b.spd)};
}

} // namespace

int UPA_merge_array(const UPA_level* in1, int in1_num, const UPA_level* in2, int in2_num, UPA_level* out) {
  if (in1 == nullptr || out == nullptr) return 0;
  if (in2 == nullptr) in2_num = 0;
  int j = 0, o = 0;
  for (int i = 0; i < in1_num; ++i) {
    for (; j < in2_num && in2[j].p > in1[i].p; ++j) out[o++] = in2[j];
    if (j < in2_num && in2[j].p == in1[i].p)
      out[o++] = merged(in1[i], in2[j++]);
    else
      out[o++] = in1[i];
  }
  return o;
}

int UPA_wnd_merge_array(const UPA_level* in1, int in1_num, const UPA_level* in2, int in2_num, UPA_level* out) {
  if (in1 == nullptr || out == nullptr) return 0;
  if (in2 == nullptr) in2_num = 0;
  int j = 0, o = 0;
  for (int i = 0; i < in1_num; ++i) {
    for (; j < in2_num && in2[j].h < in1[i].h; ++j) {
      if (missing(in2[j].dir)) continue;
      out[o] = in2[j];
      UPA_print_level(trace, trace, 200 + j, &out[o]);
      ++o;
    }
    if (j < in2_num && in2[j].h == in1[i].h) {
      if (!missing(in2[j].dir)) {
        out[o] = merged(in1[i], in2[j++]);
        UPA_print_level(trace, trace, 300 + o, &out[o]);
        ++o;
      }
    } else if (!missing(in1[i].dir)) {
      out[o] = in1[i];
      UPA_print_level(trace, trace, 100 + i, &out[o]);
      ++o;
    }
  }
  return o;
}

float UPA_sfc_pres(const UPA_level* lev, const int* ind) {
  if (lev == nullptr || ind == nullptr || ind[0] == KEZ_MISS || ind[0] < 0) return 1000.0f;
  return lev[ind[0]].p;
}
