/*
 * grd_tool_sound: soundings from grids, for grd_tool.
 *
 * Builds a sounding at a point from the pressure-level and surface grids of
 * an open grid file: heights, temperatures, humidity and winds on standard
 * levels (50 mb apart, or 25 mb), the surface put in its place among them,
 * dew points, winds in knots and the missing heights computed by the
 * upper-air subsystem.
 */
#include "grd_tool_impl.h"
#include "kezcont.h"
#include "kezgrd.h"
#include "kezupa.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace grd_tool_impl;

/* ---- soundings from grids ------------------------------------------------------------- */

namespace {

struct SoundState {
  float dp = GRD_SOUND_DP;
} sound;

/* Where each request's value goes while the file is read. */
enum class Slot { h, t, td, u, v, p };
struct SoundRequest {
  int ltype;
  int level; /* -9999 any */
  int var;
  bool surface;
  Slot slot;
};
constexpr SoundRequest sound_requests[] = {
    {100, KEZ_MISS, 7, false, Slot::h},  {100, KEZ_MISS, 11, false, Slot::t}, {100, KEZ_MISS, 52, false, Slot::td},
    {100, KEZ_MISS, 33, false, Slot::u}, {100, KEZ_MISS, 34, false, Slot::v}, {1, KEZ_MISS, 1, true, Slot::p},
    {105, 2, 11, true, Slot::t},         {105, 2, 52, true, Slot::td},        {105, 10, 33, true, Slot::u},
    {105, 10, 34, true, Slot::v},
};
constexpr int kMinSoundValues = 10;
constexpr int kSurfaceSearch = 10; /* the surface goes among the lowest ten levels */
constexpr float kMsToKnots = 1.944f;
constexpr float kKelvin = 273.15f;

constexpr UPA_level missing_level() {
  return UPA_level{KEZ_FMISS, KEZ_FMISS, KEZ_FMISS, KEZ_FMISS, KEZ_FMISS, KEZ_FMISS};
}

/* The field of a level that a slot names (float* or const float*). */
template <class Level>
auto* slot_of(Level& l, Slot s) {
  switch (s) {
    case Slot::h: return &l.h;
    case Slot::t: return &l.t;
    case Slot::td: return &l.td;
    case Slot::u: return &l.dir;
    case Slot::v: return &l.spd;
    case Slot::p: return &l.p;
  }
  return &l.p;
}

/* A value in the units a sounding is built in: heights in m, temperatures in
 * K, the surface pressure in mb (a grid that states no units is in Pa). */
float sound_units(float v, Slot s, const char* units) {
  switch (s) {
    case Slot::h: return UNIT_cvt(v, units, "m");
    case Slot::t: return UNIT_cvt(v, units, "K");
    case Slot::p: return units && *units ? UNIT_cvt(v, units, "mb") : v / 100.0f;
    default: return v;
  }
}

/* Between the level below and the one above, linear in pressure. */
float between(const UPA_level& below, const UPA_level& above, float below_v, float above_v, float p) {
  if (is_miss(below_v) || is_miss(above_v) || below.p == above.p) return KEZ_FMISS;
  return below_v + (above_v - below_v) * (p - below.p) / (above.p - below.p);
}

} // namespace

int GRD_snd_param() {
  int argc = 0;
  char** argv = nullptr;
  RES_getvals("plot_param", &argc, &argv);
  for (int i = 0; i < argc; ++i)
    if (strnicmp(argv[i], "dpres", 5) == 0 && std::strlen(argv[i]) > 6)
      GRD_set_sound_dp(static_cast<float>(std::atof(argv[i] + 6)));
  free_parsed_array(argc, argv);
  return 0;
}

int GRD_set_sound_dp(float dp) {
  if (dp == GRD_SOUND_DP_FINE) sound.dp = dp;
  return 0;
}

int GRD_get_sound(int grd_fd, float lat, float lon, UPA_level* sm, int* num, float* sfcp) {
  if (!sm || !num || !sfcp) return 0;
  MESS_print(M_mess, "Searching file for grids...\n");
  const float dp = sound.dp;
  const int n_std = dp == GRD_SOUND_DP_FINE ? GRD_SOUND_RECORDS_FINE - 2 : GRD_SOUND_RECORDS - 2;
  if (*num < n_std + 2) {
    MESS_print(M_warn, "GRD_get_sound: Room for %d levels, %d needed\n", *num, n_std + 2);
    return 0;
  }
  const int sfc = n_std + 1;
  for (int i = 0; i < n_std + 2; ++i) {
    sm[i] = missing_level();
    if (i < n_std) sm[i].p = 1000.0f - static_cast<float>(i) * dp;
  }

  const int gtype = resource_int("grid_type");
  const int time = FLAG_get(FLAG_FCST_TIME);
  int count = 0;
  WorkGrid hdr;
  for (int pos = 0;; ++pos) {
    int p = pos;
    const int res = GRD_read(grd_fd, &hdr.r, GRD_READ_HEADER, &p);
    if (res == -1) break;
    if (res != 0) continue;
    for (const SoundRequest& q : sound_requests) {
      VAR_data req{};
      GRD_set_params(&req, time, q.ltype, q.level, q.var);
      /* The request's spare parameters are 0, which a missing record of
       * some readers also carries: only the parameter asked for counts. */
      if (hdr.r.var != q.var || !GRD_test(&hdr.r, &req, gtype)) continue;
      int rec = sfc;
      if (!q.surface) {
        const int level = hdr.r.level;
        if (level <= 49 || level > 1000 || std::fmod(1000.0f - static_cast<float>(level), dp) != 0.0f) break;
        rec = static_cast<int>((1000.0f - static_cast<float>(level)) / dp);
        if (rec < 0 || rec >= n_std) break;
      }
      WorkGrid g;
      int gp = pos;
      if (GRD_read(grd_fd, &g.r, GRD_READ_ALL, &gp) != 0 || !g.r.grid) break;
      if (MAP_domain(&g.r.domain) != 0) break;
      float x = KEZ_FMISS, y = KEZ_FMISS;
      MAP_tran(lat, lon, &x, &y);
      const float v = GRD_get_value_domain(&g.r, nullptr, &x, &y);
      if (is_miss(v)) break;
      *slot_of(sm[rec], q.slot) = sound_units(v, q.slot, g.r.units);
      if (count == 0) UPA_set_datim(g.r.datim);
      ++count;
      break;
    }
  }
  if (count < kMinSoundValues) {
    MESS_print(kWarnLow, "GRD_get_sound: Too few grids to make sounding: %d\n", count);
    return 0;
  }

  int n = n_std;
  const UPA_level surface = sm[sfc];
  if (!is_miss(surface.p)) {
    *sfcp = surface.p;
    int at = -1;
    for (int i = 0; i < kSurfaceSearch && i < n_std; ++i)
      if (sm[i].p < surface.p) {
        at = i;
        break;
      }
    if (at >= 0) {
      for (int i = n_std - 1; i >= at; --i) sm[i + 1] = sm[i];
      sm[at] = surface;
      if (at > 0) {
        const UPA_level &below = sm[at - 1], &above = sm[at + 1];
        for (Slot s : {Slot::t, Slot::td, Slot::u, Slot::v}) {
          float* f = slot_of(sm[at], s);
          if (is_miss(*f)) *f = between(below, above, *slot_of(below, s), *slot_of(above, s), surface.p);
        }
      }
      for (int i = 0; i < kSurfaceSearch && i <= n_std; ++i)
        if (sm[i].p > surface.p) sm[i].t = sm[i].td = sm[i].dir = sm[i].spd = KEZ_FMISS;
    }
    /* A surface that found no place leaves the spare record, all missing,
     * which the sweep below takes out again. */
    ++n;
  } else {
    *sfcp = 1000.0f;
  }

  int kept = 0;
  for (int i = 0; i < n; ++i) {
    const UPA_level& l = sm[i];
    if (is_miss(l.h) && is_miss(l.t) && is_miss(l.dir) && is_miss(l.spd)) continue;
    sm[kept++] = l;
  }
  n = kept;

  for (int i = 0; i < n; ++i) {
    UPA_level& l = sm[i];
    const float rh = l.td;
    l.td = is_miss(l.t) || is_miss(rh) ? KEZ_FMISS : dew_temp(l.t, rh);
    const float u = l.dir, v = l.spd;
    l.dir = l.spd = KEZ_FMISS;
    if (!is_miss(u) && !is_miss(v)) vect2wind(u, v, &l.dir, &l.spd);
    if (!is_miss(l.t)) l.t -= kKelvin;
    if (!is_miss(l.td)) l.td -= kKelvin;
    if (!is_miss(l.spd)) l.spd *= kMsToKnots;
  }
  UPA_calc_height(sm, n);
  *num = n;
  return 1;
}
