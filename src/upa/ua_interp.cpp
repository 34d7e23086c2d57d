/*
 * ua_interp: reading a sounding at any level, and filling in the heights
 * and pressures a freshly merged sounding lacks.
 *
 * A sounding can be read off in three vertical coordinates (pressure,
 * interpolated in ln p; height; potential temperature); every field is
 * found from its own nearest pair of levels that have it, and winds turn
 * the short way round. The hydrostatic fill-ins give heights to a
 * temperature sounding and pressures to a wind sounding. Nothing here
 * allocates: coordinate values are computed as they are needed, so a
 * sounding of any length is handled. A value is never built from a missing
 * one: where no reference exists the field stays missing.
 */
#include "kezupa.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float M = KEZ_FMISS;
constexpr double r_dry = 287.05; /* J/(kg K) */
constexpr double gravity = 9.8;  /* m/s^2 */
constexpr double g_over_r = 0.03414039365964118;
constexpr float to_kelvin = 273.15f;
constexpr float lapse = 0.0065f;    /* K/m, standard atmosphere */
constexpr float sea_temp = 288.15f; /* K, standard atmosphere */
constexpr float wide_gap = 300.0f;  /* hPa: no pressure interpolated across more */
/* Relative pressure difference beyond which -ln p surely differs as a float
 * (a float step of ln p near 7 is under 1e-6). */
constexpr float pres_margin = 1e-5f;

bool missing(float v) { return v == M; }

enum class Group { pres, hgt, theta, none };

struct Family {
  Group group;
  float tolerance;
  float top_thick;
  float bottom_thick;
};

constexpr Family families[] = {
    {Group::pres, 0.01f, 10.0f, 20.0f},
    {Group::hgt, 3.0f, 50.0f, 200.0f},
    {Group::theta, 1.0f, 5.0f, 2.0f},
};

Group table_group(int coord) {
  switch (coord) {
    case UPA_CO_SFC:
    case UPA_CO_PRES:
    case UPA_CO_PRES_LAYER:
    case UPA_CO_PRES_102:
    case UPA_CO_PRES_115:
    case UPA_CO_PRES_116: return Group::pres;
    case UPA_CO_HGT:
    case UPA_CO_HGT_LAYER:
    case UPA_CO_HGT_105:
    case UPA_CO_HGT_106: return Group::hgt;
    case UPA_CO_THETA:
    case UPA_CO_THETA_LAYER: return Group::theta;
    default: return Group::none;
  }
}

const Family* family(Group g) {
  for (const auto& f : families)
    if (f.group == g) return &f;
  return nullptr;
}

float coord_value(Group g, const UPA_level& l) {
  switch (g) {
    case Group::pres: return l.p > 0 ? static_cast<float>(-std::log(static_cast<double>(l.p))) : M;
    case Group::hgt: return l.h;
    case Group::theta: return (missing(l.t) || !(l.p > 0)) ? M : pot_temp(l.t + to_kelvin, l.p);
    default: return M;
  }
}

float& field(UPA_level& l, int f) {
  switch (f) {
    case 0: return l.p;
    case 1: return l.h;
    case 2: return l.t;
    case 3: return l.td;
    case 4: return l.dir;
    default: return l.spd;
  }
}

float field(const UPA_level& l, int f) { return field(const_cast<UPA_level&>(l), f); }

constexpr int num_fields = 6;
constexpr int f_p = 0, f_h = 1, f_dir = 4;

float short_way(float dlo, float dhi, double f) {
  double d = static_cast<double>(dhi) - dlo;
  double r;
  if (d > 180) {
    r = dlo + (d - 360) * f;
    if (r < 0) r += 360;
  } else if (d < -180) {
    r = dlo + (d + 360) * f;
    if (r > 360) r -= 360;
  } else {
    r = dlo + d * f;
  }
  return static_cast<float>(r);
}

/* Fills result with the sounding at coordinate value v (target in the
 * coordinate's own unit); returns false when the whole level is missing
 * because the pressure spans too wide a gap. */
bool interp_at(const UPA_level* levels, int n, Group g, float tau, float target, float v, int i, UPA_level& result) {
  /* The fields mostly share their pair of levels: each side keeps the
   * coordinate (a logarithm in pressure) of the level it used last. */
  int memo_k[2] = {-1, -1};
  float memo_c[2] = {0, 0};
  auto coord_of = [&](int side, int k) {
    if (memo_k[side] != k) {
      memo_k[side] = k;
      memo_c[side] = coord_value(g, levels[k]);
    }
    return memo_c[side];
  };
  for (int f = 0; f < num_fields; ++f) {
    if ((g == Group::pres && f == f_p) || (g == Group::hgt && f == f_h)) {
      field(result, f) = target;
      continue;
    }
    int lo = i - 1;
    while (lo >= 0 && missing(field(levels[lo], f))) --lo;
    int hi = i;
    while (hi < n && missing(field(levels[hi], f))) ++hi;
    bool has_lo = lo >= 0, has_hi = hi < n;
    float x = M;
    if (!has_lo && has_hi && coord_of(1, hi) == v) {
      x = field(levels[hi], f);
    } else if (has_lo && has_hi) {
      float clo = coord_of(0, lo), chi = coord_of(1, hi);
      float xlo = field(levels[lo], f), xhi = field(levels[hi], f);
      if (missing(clo) || missing(chi)) {
        x = M;
      } else if (clo == v) {
        x = xlo;
      } else if (chi == v) {
        x = xhi;
      } else if (chi == clo) {
        x = xlo;
      } else if (f == f_p && xlo - xhi > wide_gap) {
        if (v < clo + tau) {
          x = xlo;
        } else if (v > chi - tau) {
          x = xhi;
        } else {
          UPA_level_init(&result);
          return false;
        }
      } else if (f == f_dir && (levels[lo].spd == 0 || levels[hi].spd == 0)) {
        /* A calm has no direction (its 0 is no north): the wind between
         * it and a wind blows from that wind's direction. */
        x = levels[lo].spd == 0 && levels[hi].spd != 0 ? xhi : xlo;
      } else {
        double frac = (static_cast<double>(v) - clo) / (static_cast<double>(chi) - clo);
        x = f == f_dir ? short_way(xlo, xhi, frac) : static_cast<float>(xlo + (static_cast<double>(xhi) - xlo) * frac);
      }
    }
    field(result, f) = x;
  }
  return true;
}

bool positive(float v) { return v > 0; }

} // namespace

float UPA_get_level(int coord, const UPA_level* level) {
  if (level == nullptr) return M;
  return coord_value(table_group(coord), *level);
}

float UPA_thick_top(int coord, float bottom, float thick) {
  const Family* f = family(table_group(coord));
  if (missing(bottom) || f == nullptr) return M;
  if (missing(thick)) thick = f->top_thick;
  return f->group == Group::pres ? bottom - thick : bottom + thick;
}

float UPA_thick_bottom(int coord, float top, float thick) {
  const Family* f = family(table_group(coord));
  if (missing(top) || f == nullptr) return M;
  if (missing(thick)) thick = f->bottom_thick;
  return f->group == Group::pres ? top + thick : top - thick;
}

namespace {

/* UPA_interp_levels, its search for the level above each target starting
 * at level from (at least 1): the caller knows the levels below lie under
 * every target, as in a walk upward. */
int interp_levels(UPA_level* levels, int num_level, int coord, const float* values, UPA_level* result, int num_result,
                  int from) {
  if (result == nullptr || num_result <= 0) return 0;
  if (levels == nullptr || num_level < 0) num_level = 0;
  if (coord == UPA_CO_SFC) {
    const UPA_level* sfc = THERM_get_sfc();
    result[0] = *sfc;
    for (int k = 0; k < num_level; ++k)
      if (levels[k].p == sfc->p) return k;
    return 0;
  }
  Group g = table_group(coord);
  if (g == Group::none || g == Group::pres) g = Group::pres;
  const float tau = family(g)->tolerance;

  int n = num_level;
  int ret = num_level;
  if (g == Group::theta) {
    UPA_calc_temp(levels, num_level);
    bool seen = false;
    for (int k = 0; k < num_level; ++k) {
      bool has = !missing(coord_value(g, levels[k]));
      if (!has && seen) {
        n = k;
        ret = k + 1;
        break;
      }
      seen = seen || has;
    }
  }
  if (values == nullptr) return ret;

  for (int j = 0; j < num_result; ++j) {
    UPA_level_init(&result[j]);
    float target = values[j];
    if (missing(target) || (g == Group::pres && !(target > 0))) continue;
    float v = g == Group::pres ? static_cast<float>(-std::log(static_cast<double>(target))) : target;
    if (n == 0) {
      ret = 0;
      continue;
    }
    float c0 = coord_value(g, levels[0]);
    if (v < c0 - tau) {
      ret = 0;
      continue;
    }
    if (v < c0) {
      result[j] = levels[0];
      ret = 0;
      continue;
    }
    int i = g == Group::theta ? 1 : std::max(1, std::min(from, n));
    if (g == Group::pres) {
      /* -ln p falls as p rises: a level well below the target (a pressure
       * more than a few float steps of ln p above it) needs no logarithm. */
      const float clear = target * (1 + pres_margin);
      while (i < n && (!(levels[i].p > 0) || levels[i].p > clear || coord_value(g, levels[i]) < v)) ++i;
    } else {
      while (i < n && coord_value(g, levels[i]) < v) ++i;
    }
    interp_at(levels, n, g, tau, target, v, i, result[j]);
    ret = i;
  }
  return ret;
}

} // namespace

int UPA_interp_levels(UPA_level* levels, int num_level, int coord, const float* values, UPA_level* result,
                      int num_result) {
  return interp_levels(levels, num_level, coord, values, result, num_result, 1);
}

int UPA_interp(UPA_level* levels, int num_level, int coord, float value, UPA_level* result) {
  return interp_levels(levels, num_level, coord, &value, result, 1, 1);
}

int UPA_interp_from(UPA_level* levels, int num_level, int coord, float value, UPA_level* result, int from) {
  return interp_levels(levels, num_level, coord, &value, result, 1, from);
}

int UPA_calc_temp(UPA_level* levels, int num) {
  if (levels == nullptr) return 0;
  for (int k = 0; k < num; ++k) {
    UPA_level& l = levels[k];
    if (!missing(l.t) || missing(l.p)) continue;
    int lo = k - 1;
    while (lo >= 0 && missing(levels[lo].t)) --lo;
    int hi = k + 1;
    while (hi < num && missing(levels[hi].t)) ++hi;
    if (lo < 0 || hi >= num) continue;
    const UPA_level &a = levels[lo], &b = levels[hi];
    if (missing(a.p) || missing(b.p) || a.p == b.p) continue;
    l.t = static_cast<float>(a.t + (static_cast<double>(b.t) - a.t) * (l.p - a.p) / (static_cast<double>(b.p) - a.p));
  }
  return 0;
}

namespace {

/* Temperature (K) at height h where no level of a step has one: the first
 * level's temperature carried along the standard lapse rate, or the
 * standard atmosphere when the first level has none. */
double estimate_temp(const UPA_level* level, double h) {
  const UPA_level& first = level[0];
  if (!missing(first.t) && !missing(first.h)) return first.t + to_kelvin - lapse * (h - first.h);
  return sea_temp - lapse * h;
}

/* The height of level b stepped from level a (which has one), or from b's
 * known height down to a when down is set. The step's mean temperature is
 * the two levels' mean, the one known, or the estimate at the middle of
 * the step. Missing when no temperature can be had. */
float hydro_step(const UPA_level* level, const UPA_level& a, const UPA_level& b, bool down) {
  auto step = [&](double tk) -> float {
    if (!(tk > 0)) return M;
    double dh = std::log(static_cast<double>(a.p / b.p)) * r_dry * tk / gravity;
    return static_cast<float>(down ? b.h - dh : a.h + dh);
  };
  if (!missing(a.t) && !missing(b.t)) return step((static_cast<double>(a.t) + b.t) / 2 + to_kelvin);
  if (!missing(a.t)) return step(static_cast<double>(a.t) + to_kelvin);
  if (!missing(b.t)) return step(static_cast<double>(b.t) + to_kelvin);
  float known = down ? b.h : a.h;
  if (missing(known)) return M;
  float rough = step(estimate_temp(level, known));
  if (missing(rough)) return M;
  return step(estimate_temp(level, (static_cast<double>(known) + rough) / 2));
}

/* Builds heights upward from level start to level end (inclusive) of the
 * sounding; a level without a usable pressure keeps a missing height and
 * the next level steps from the last level that has both. */
void build_up(UPA_level* level, int start, int end) {
  int anchor = start;
  for (int k = start + 1; k <= end; ++k) {
    const UPA_level& a = level[anchor];
    UPA_level& b = level[k];
    b.h = M;
    if (missing(a.h) || !positive(a.p) || !positive(b.p)) continue;
    b.h = hydro_step(level, a, b, false);
    if (!missing(b.h)) anchor = k;
  }
}

} // namespace

int UPA_calc_height(UPA_level* level, int num) {
  if (level == nullptr || num <= 0) return 0;
  int first_known = -1;
  for (int k = 1; k < num; ++k)
    if (!missing(level[k].h)) {
      first_known = k;
      break;
    }
  if (first_known < 0) return -1;

  if (missing(level[0].h)) {
    const UPA_level& e = level[first_known];
    if (positive(level[0].p) && positive(e.p)) level[0].h = hydro_step(level, level[0], e, true);
  }

  /* Spans between known heights; a first level still without height
   * leaves the levels up to the first known one without heights. */
  int start = missing(level[0].h) ? first_known : 0;
  while (start < num - 1) {
    int end = start + 1;
    while (end < num && missing(level[end].h)) ++end;
    if (end >= num) {
      build_up(level, start, num - 1);
      break;
    }
    float known = level[end].h;
    build_up(level, start, end);
    float built = level[end].h;
    level[end].h = known;
    float ps = level[start].p, pe = level[end].p;
    if (!missing(built) && positive(ps) && positive(pe) && ps != pe) {
      double delta = static_cast<double>(built) - known;
      for (int k = start + 1; k < end; ++k) {
        UPA_level& l = level[k];
        if (missing(l.h) || !positive(l.p)) continue;
        l.h = static_cast<float>(l.h - (static_cast<double>(l.p) - ps) * delta / (static_cast<double>(pe) - ps));
      }
    }
    start = end;
  }
  return 0;
}

int UPA_calc_press(UPA_level* level, int num) {
  if (level == nullptr || num <= 0) return 0;
  const float t0 = level[0].t;
  int first_p = -1;
  for (int k = 0; k < num; ++k)
    if (positive(level[k].p)) {
      first_p = k;
      break;
    }
  if (first_p < 0) return 0; /* no reference: every pressure stays missing */

  /* The lowest level from the first known pressure above it, across a
   * layer whose mean temperature is the lowest level's carried half way
   * up the standard lapse rate. */
  if (first_p > 0) {
    UPA_level& s = level[0];
    const UPA_level& e = level[first_p];
    if (!missing(s.h) && !missing(e.h)) {
      double tk = missing(t0) ? sea_temp - lapse * static_cast<double>(e.h)
                              : t0 + to_kelvin - lapse * (static_cast<double>(e.h) - s.h) / 2;
      if (tk > 0) s.p = static_cast<float>(e.p * std::exp((static_cast<double>(e.h) - s.h) * gravity / (r_dry * tk)));
    }
    if (!positive(s.p)) s.p = M;
  }

  int start = positive(level[0].p) ? 0 : first_p;
  while (start < num) {
    int end = start + 1;
    while (end < num && !positive(level[end].p)) ++end;
    UPA_level& s = level[start];
    bool has_end = end < num;
    if (missing(s.h) && has_end && !missing(level[end].h)) {
      const UPA_level& e = level[end];
      double tk = (!missing(s.t) && !missing(e.t)) ? (s.t + to_kelvin + e.t + to_kelvin) / 2.0 : to_kelvin;
      s.h = static_cast<float>(e.h + std::log(static_cast<double>(e.p) / s.p) * r_dry * tk / gravity);
    }
    double tbar = 0;
    if (has_end && !missing(s.h) && !missing(level[end].h) && s.p != level[end].p) {
      const UPA_level& e = level[end];
      tbar = (static_cast<double>(e.h) - s.h) * g_over_r / std::log(static_cast<double>(s.p) / e.p);
      if (!std::isfinite(tbar)) tbar = 0;
    }
    for (int k = start + 1; k < end; ++k) {
      UPA_level& l = level[k];
      if (missing(l.h) || missing(s.h)) continue;
      if (tbar == 0)
        tbar = missing(t0) ? sea_temp - lapse * static_cast<double>(l.h)
                           : t0 + to_kelvin - lapse * static_cast<double>(l.h);
      if (!(tbar > 0)) {
        tbar = 0;
        continue;
      }
      l.p = static_cast<float>(s.p * std::exp((static_cast<double>(s.h) - l.h) * gravity / (r_dry * tbar)));
    }
    start = end;
  }
  return 0;
}
