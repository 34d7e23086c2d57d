/*
 * ua_calc: the quantities of one sounding that belong to a level or a
 * layer.
 *
 * Named variables at a level, layer means of a variable, of a mixed
 * parcel and of the wind, the convective condensation level, thickness,
 * lapse rates, static stability, precipitable water, the freezing and
 * wet-bulb-zero levels and the estimated maximum temperature. Every
 * function reads the caller's levels 0 to num - 1 and nothing else, keeps
 * no state and allocates nothing. Layer means integrate segment by
 * segment in ln p whatever coordinate the layer was given in, so every
 * level they use must carry a pressure; a segment with a missing end or
 * without two positive pressures adds nothing. No NaN leaves this module:
 * a quantity that cannot be formed is -9999.
 */
#include "kezcont.h"
#include "kezupa.h"
#include "ua_thetae.h"

#include <cmath>
#include <cstring>
#include <string_view>

namespace {

constexpr float M = KEZ_FMISS;
constexpr float to_kelvin = 273.15f;
/* Soundings starting above this pressure (hPa) are not analysed. */
constexpr float min_ground_pres = 500.0f;
/* Precipitable water: hPa times g/kg over this gives inches. */
constexpr float pw_factor = 2.4892f;
constexpr float r_dry = 287.05f; /* J/(kg K) */
constexpr int ccl_steps = 12;
constexpr float ccl_close = 0.00002f; /* K^2 */

bool missing(float v) { return v == M; }
bool positive(float v) { return v > 0; }
float kelvin(float c) { return missing(c) ? M : c + to_kelvin; }

struct Kind_name {
  std::string_view name;
  int kind;
};

/* Names of the variable kinds; the first matching row wins. */
constexpr Kind_name kind_names[] = {
    {"temp", UPA_VAR_TEMP},     {"dewp", UPA_VAR_DEWP},     {"rhum", UPA_VAR_RHUM},     {"theta", UPA_VAR_THETA},
    {"dewd", UPA_VAR_DEWD},     {"mrat", UPA_VAR_MRAT},     {"shum", UPA_VAR_SHUM},     {"vpres", UPA_VAR_VPRES},
    {"wetblb", UPA_VAR_WETBLB}, {"thetaw", UPA_VAR_THETAW}, {"thetae", UPA_VAR_THETAE}, {"thetav", UPA_VAR_THETAV},
    {"vtemp", UPA_VAR_VTEMP},   {"hght", UPA_VAR_HGHT},     {"hag", UPA_VAR_HGHT},      {"pres", UPA_VAR_PRES},
};

int kind_of(const char* val) {
  if (val == nullptr) return 0;
  for (const auto& k : kind_names)
    if (k.name == val) return k.kind;
  return 0;
}

bool has_levels(const UPA_level* lev, int num) { return lev != nullptr && num > 0; }

/* The sounding at value in coordinate coord, and the index of the first
 * level at or above it. */
UPA_level interp(UPA_level* lev, int num, int coord, float value, int* index) {
  UPA_level r{M, M, M, M, M, M};
  int i = UPA_interp(lev, num, coord, value, &r);
  if (index) *index = i;
  return r;
}

/* Whether value (hPa, m or K) is the level's own coordinate value: the
 * interpolation finds nothing at the only level of a one-level sounding,
 * which has no second level to pair it with. */
bool at_level(const UPA_level& l, int coord, float value) {
  if (missing(value)) return false;
  float own = UPA_get_level(coord, &l);
  if (coord == UPA_CO_SFC || UPA_thick_top(coord, 1000.0f, 1.0f) < 1000.0f)
    return positive(value) && own == static_cast<float>(-std::log(static_cast<double>(value)));
  return own == value;
}

/* One walk's running sums. The value at a point is up to three numbers
 * (a wind carries u, v and its speed); the first decides whether it is
 * present. */
struct Seg_end {
  const UPA_level* level; /* where the values were formed */
  float v[3];
};

struct Sums {
  double sum[3] = {0, 0, 0};
  double weight = 0;
};

/* A walk over the layer between B and T. has(level) is the selecting
 * field; value(level, v) forms the point's numbers; trace(kind, ia, ib, a,
 * b) prints a segment (kind 0 opening, 1 inner, 2 closing). */
template <class Has, class Value, class Trace>
Sums walk(const UPA_level* lev, int num, const UPA_level& B, int lb, const UPA_level& T, int lt, Has has, Value value,
          Trace trace, bool single_weight = false) {
  Sums s;
  auto point = [&](const UPA_level& l) {
    Seg_end p{&l, {M, M, M}};
    value(l, p.v);
    return p;
  };
  auto segment = [&](int kind, int ia, int ib, const Seg_end& a, const Seg_end& b) {
    trace(kind, ia, ib, a, b);
    float pa = a.level->p, pb = b.level->p;
    if (missing(a.v[0]) || missing(b.v[0]) || !positive(pa) || !positive(pb)) return;
    double w = single_weight ? static_cast<double>(std::log(pa / pb)) : std::log(static_cast<double>(pa) / pb);
    for (int k = 0; k < 3; ++k)
      if (!missing(a.v[k]) && !missing(b.v[k])) s.sum[k] += (static_cast<double>(a.v[k]) + b.v[k]) * w;
    s.weight += w;
  };

  Seg_end cur = point(B);
  int next; /* the first level the inner search looks at */
  if (lb >= 0 && lb < num && lev[lb].p == B.p) {
    next = lb + 1; /* B is level lb: no opening segment */
  } else {
    int k = lb < 0 ? 0 : lb;
    while (k < lt && k < num && !has(lev[k])) ++k;
    if (k < num) {
      Seg_end p = point(lev[k]);
      segment(0, k, k, cur, p);
      cur = p;
      next = k + 1;
    } else {
      next = num; /* the top lies past the sounding */
    }
  }
  int cur_index = next - 1;
  for (int k = next; k < lt && k < num; ++k) {
    if (!has(lev[k])) continue;
    Seg_end p = point(lev[k]);
    segment(1, cur_index, k, cur, p);
    cur = p;
    cur_index = k;
  }
  if (T.p != cur.level->p) segment(2, cur_index, cur_index, cur, point(T));
  return s;
}

/* The segment traces of the variable and parcel means: the temperatures
 * (dew points in a mixing-ratio walk), pressures and values at both ends. */
auto scalar_trace(bool dew) {
  return [dew](int kind, int ia, int ib, const Seg_end& a, const Seg_end& b) {
    if (!MESS_check(M_debug_c)) return;
    double ta = dew ? a.level->td : a.level->t, tb = dew ? b.level->td : b.level->t;
    double pa = a.level->p, pb = b.level->p, va = a.v[0], vb = b.v[0];
    if (kind == 0)
      MESS_print(M_debug_c, "LB,%2d  %5.1f,%5.1f %5.1f,%5.1f %5.1f,%5.1f\n", ib, ta, tb, pa, pb, va, vb);
    else if (kind == 1)
      MESS_print(M_debug_c, "%2d,%2d  %5.1f,%5.1f %5.1f,%5.1f %5.1f,%5.1f\n", ia, ib, ta, tb, pa, pb, va, vb);
    else
      MESS_print(M_debug_c, "%2d,LT  %5.1f,%5.1f %5.1f,%5.1f %5.1f,%5.1f\n", ia, ta, tb, pa, pb, va, vb);
  };
}

float theta_of(const UPA_level& l) {
  if (missing(l.t) || !positive(l.p)) return M;
  return pot_temp(kelvin(l.t), l.p);
}

float mixrat_of(const UPA_level& l) {
  if (missing(l.td) || !positive(l.p)) return M;
  return mix_ratio(kelvin(l.td), l.p);
}

/* Pressure-family codes count a layer from high to low values. */
bool pressure_family(int coord) {
  switch (coord) {
    case UPA_CO_HGT:
    case UPA_CO_HGT_LAYER:
    case UPA_CO_HGT_105:
    case UPA_CO_HGT_106:
    case UPA_CO_THETA:
    case UPA_CO_THETA_LAYER: return false;
    default: return true;
  }
}

/* The bottom and top of a layer, with their indexes. */
struct Layer {
  UPA_level B, T;
  int lb, lt;
};

Layer bounds(UPA_level* lev, int num, int coord, float bottom, float top) {
  Layer y{};
  y.B = interp(lev, num, coord, bottom, &y.lb);
  y.T = interp(lev, num, coord, top, &y.lt);
  return y;
}

/* The wet-bulb temperature of a level in degrees C, -9999 when it cannot
 * be formed, from the level's theta-e te (eq_pot_temp of the level) as
 * wet_bulb forms it: the saturated adiabat of te at the level. */
float wet_bulb_c(const UPA_level& l, float te) {
  if (missing(l.t) || missing(l.td) || !positive(l.p)) return M;
  const float tk = kelvin(l.t), tdk = kelvin(l.td);
  if (!positive(tk) || !(tdk >= 0)) return M;
  float wb = tdk == 0.0f ? 0.0f : temp_on_satad(te, l.p);
  return positive(wb) ? wb - to_kelvin : M;
}

} // namespace

float variable_calc(int type, const UPA_level* lev) {
  if (lev == nullptr) return M;
  const UPA_level& l = *lev;
  const bool t = !missing(l.t), td = !missing(l.td), p = positive(l.p);
  const float tk = kelvin(l.t), tdk = kelvin(l.td);
  switch (type) {
    case UPA_VAR_TEMP: return l.t;
    case UPA_VAR_DEWP: return l.td;
    case UPA_VAR_RHUM: return t && td ? rel_hum(tk, tdk) : M;
    case UPA_VAR_THETA:
    case UPA_VAR_THETA2: return t && p ? pot_temp(tk, l.p) : M;
    case UPA_VAR_DEWD: return t && td ? l.t - l.td : M;
    case UPA_VAR_MRAT: return td && p ? mix_ratio(tdk, l.p) : M;
    case UPA_VAR_SHUM: return td && p ? spec_hum(tdk, l.p) : M;
    case UPA_VAR_VPRES: return td ? vapor_pr(tdk) : M;
    case UPA_VAR_WETBLB: return t && td && p ? wet_bulb(tk, tdk, l.p) : M;
    case UPA_VAR_THETAW: return t && td && p ? wet_bulb_pot_temp(tk, tdk, l.p) : M;
    case UPA_VAR_THETAE: return t && td && p ? eq_pot_temp(tk, tdk, l.p) : M;
    case UPA_VAR_THETAV: return t && td && p ? virt_pot_temp(tk, tdk, l.p) : M;
    case UPA_VAR_VTEMP: return t && td && p ? virt_temp(tk, tdk, l.p) : M;
    case UPA_VAR_HGHT: return l.h;
    case UPA_VAR_PRES: return l.p;
    default: return M;
  }
}

float mean_value(const char* val, UPA_level* lev, int num, int coord, float bottom, float top) {
  const int kind = kind_of(val);
  if (kind == 0 || !has_levels(lev, num) || lev[0].p < min_ground_pres || missing(bottom)) return M;
  int lb = 0;
  UPA_level B = interp(lev, num, coord, bottom, &lb);
  if (num == 1) return missing(top) ? variable_calc(kind, at_level(lev[0], coord, bottom) ? &lev[0] : &B) : M;
  if (missing(top) || top == bottom) return variable_calc(kind, &B);
  int lt = 0;
  UPA_level T = interp(lev, num, coord, top, &lt);
  if (MESS_check(M_debug_c))
    MESS_print(M_debug_c, "%d-%d  %5.1f %5.1f  %5.1f %5.1f\n", lb, lt, static_cast<double>(B.t),
               static_cast<double>(B.td), static_cast<double>(T.t), static_cast<double>(T.td));
  Sums s = walk(
      lev, num, B, lb, T, lt, [](const UPA_level& l) { return !missing(l.t); },
      [kind](const UPA_level& l, float* v) { v[0] = variable_calc(kind, &l); }, scalar_trace(false));
  if (s.weight == 0) return M;
  float r = static_cast<float>(s.sum[0] / (2 * s.weight));
  return std::isfinite(r) ? r : M;
}

int layer_parcel_mean(UPA_level* lev, int num, int coord, float bottom, float top, float* Wbar, float* Obar) {
  float w = M, o = M;
  if (has_levels(lev, num) && num == 1) {
    w = mixrat_of(lev[0]);
    o = theta_of(lev[0]);
  } else if (has_levels(lev, num)) {
    int lb = 0, lt = 0;
    UPA_level B = interp(lev, num, coord, bottom, &lb);
    UPA_level T = interp(lev, num, coord == UPA_CO_SFC ? UPA_CO_PRES : coord, top, &lt);
    if (MESS_check(M_debug_c))
      MESS_print(M_debug_c, "%2d-%2d  %5.1f %5.1f  %5.1f %5.1f\n", lb, lt, static_cast<double>(B.t),
                 static_cast<double>(B.td), static_cast<double>(T.t), static_cast<double>(T.td));
    Sums st = walk(
        lev, num, B, lb, T, lt, [](const UPA_level& l) { return !missing(l.t); },
        [](const UPA_level& l, float* v) { v[0] = theta_of(l); }, scalar_trace(false));
    Sums sw = walk(
        lev, num, B, lb, T, lt, [](const UPA_level& l) { return !missing(l.td); },
        [](const UPA_level& l, float* v) { v[0] = mixrat_of(l); }, scalar_trace(true));
    /* Each mean over the part of the layer with data: a segment without
     * a value at one end is left out, not counted as zero (a surface
     * without a dew point would otherwise dry the whole mixed layer). */
    if (positive(B.p) && positive(T.p) && B.p != T.p) {
      if (st.weight > 0) o = static_cast<float>(st.sum[0] / (2 * st.weight));
      if (sw.weight > 0) w = static_cast<float>(sw.sum[0] / (2 * sw.weight));
    }
    if (MESS_check(M_debug_c)) MESS_print(M_debug_c, "%f %f\n", static_cast<double>(w), static_cast<double>(o));
  }
  if (Wbar) *Wbar = w;
  if (Obar) *Obar = o;
  return 0;
}

int layer_wind_mean(UPA_level* lev, int num, int coord, float bottom, float top, WIND* wind) {
  WIND out{M, M};
  int result = 0;
  const bool upside_down = !missing(top) && (pressure_family(coord) ? top > bottom : top < bottom);
  if (upside_down || !has_levels(lev, num)) {
    result = -1;
  } else if (num == 1) {
    out = {lev[0].dir, lev[0].spd};
  } else {
    int lb = 0;
    UPA_level B = interp(lev, num, coord, bottom, &lb);
    if (missing(top) || top == bottom) {
      out = {B.dir, B.spd};
      result = 1;
    } else {
      int lt = 0;
      UPA_level T = interp(lev, num, coord, top, &lt);
      if (MESS_check(M_debug_c))
        MESS_print(M_debug_c, "%2d-%2d  %5.1f %5.1f  %5.1f %5.1f\n", lb, lt, static_cast<double>(B.dir),
                   static_cast<double>(B.spd), static_cast<double>(T.dir), static_cast<double>(T.spd));
      if (MESS_check(M_debug_d)) {
        UPA_print_level(M_debug_d, M_debug_d, 1, &B);
        UPA_print_level(M_debug_d, M_debug_d, 2, &T);
      }
      auto trace = [](int kind, int ia, int ib, const Seg_end& a, const Seg_end& b) {
        if (!MESS_check(M_debug_c)) return;
        double sa = a.level->spd, sb = b.level->spd, pa = a.level->p, pb = b.level->p;
        double ua = a.v[0], va = a.v[1], ub = b.v[0], vb = b.v[1];
        if (kind == 0)
          MESS_print(M_debug_c, "LB,%2d  %5.1f,%5.1f %5.1f,%5.1f %5.1f,%5.1f %5.1f,%5.1f\n", ib, sa, sb, pa, pb, ua, va,
                     ub, vb);
        else if (kind == 1)
          MESS_print(M_debug_c, "%2d,%2d  %5.1f,%5.1f %5.1f,%5.1f %5.1f,%5.1f %5.1f,%5.1f\n", ia, ib, sa, sb, pa, pb,
                     ua, va, ub, vb);
        else
          MESS_print(M_debug_c, "%2d,LT  %5.1f,%5.1f %5.1f,%5.1f %5.1f,%5.1f %5.1f,%5.1f\n", ia, sa, sb, pa, pb, ua, va,
                     ub, vb);
      };
      Sums s = walk(
          lev, num, B, lb, T, lt, [](const UPA_level& l) { return !missing(l.dir); },
          [](const UPA_level& l, float* v) {
            if (wind2vect(l.dir, l.spd, &v[0], &v[1]) != 0 || missing(v[1])) v[0] = M;
            v[2] = missing(v[0]) ? M : l.spd;
          },
          trace, true);
      if (s.weight != 0) {
        float u = static_cast<float>(s.sum[0] / (2 * s.weight)), v = static_cast<float>(s.sum[1] / (2 * s.weight));
        float spd = static_cast<float>(s.sum[2] / (2 * s.weight));
        if (std::isfinite(u) && std::isfinite(v) && std::isfinite(spd)) {
          vect2wind(u, v, &out.dir, &out.spd);
          out.spd = spd;
          result = missing(T.dir) ? 0 : 1;
        }
      }
      if (MESS_check(M_debug_c))
        MESS_print(M_debug_c, "%f %f\n", static_cast<double>(out.dir), static_cast<double>(out.spd));
    }
  }
  if (wind) *wind = out;
  return result;
}

float pr_ccl(UPA_level* lev, int num, int coord, float bottom, float thick, float* Wbar) {
  auto done = [Wbar](float w, float r) {
    if (Wbar) *Wbar = w;
    return r;
  };
  if (!has_levels(lev, num)) return done(M, M);
  int lb = 0;
  UPA_level B = interp(lev, num, coord, bottom, &lb);
  if (B.p < min_ground_pres) return done(M, M);

  float w = M;
  if (thick > 0) {
    float o = M;
    layer_parcel_mean(lev, num, coord, bottom, UPA_thick_top(coord, bottom, thick), &w, &o);
  } else {
    w = mixrat_of(B);
  }
  if (num == 1) w = mixrat_of(lev[0]);
  /* A missing or zero mixing ratio (no dew points) has no condensation
   * level to look for; neither has a single level. */
  if (!positive(w) || num == 1) return done(w, M);

  /* The line meets the temperature curve at the bottom itself when it is
   * already as warm there; otherwise between the bottom (or the last
   * level below) and the first level where it is warmer, which may be
   * the first level above the bottom: the bottom is not always a level of
   * the sounding, and the first level is not always the bottom. */
  if (!missing(B.t) && positive(B.p) && temp_on_mixrat(w, B.p) > B.t + to_kelvin) return done(w, B.p);
  const UPA_level* low = &B; /* the last level below the crossing */
  int c = -1;
  for (int k = lb; k < num; ++k) {
    const UPA_level& l = lev[k];
    if (missing(l.t) || !positive(l.p)) continue;
    if (temp_on_mixrat(w, l.p) > l.t + to_kelvin) {
      c = k;
      break;
    }
    low = &l;
  }
  if (c < 0) return done(w, -1);
  if (missing(low->t)) return done(w, lev[c].p);

  const UPA_level& hi = lev[c];
  float pc = (low->p + hi.p) / 2, d = (low->p - hi.p) / 2;
  for (int step = 0; step < ccl_steps; ++step) {
    float tm = temp_on_mixrat(w, pc);
    float te = interp_temp(low->t, hi.t, low->p, hi.p, pc);
    te = missing(te) ? M : te + to_kelvin;
    float diff = tm - te;
    if (diff * diff < ccl_close) break;
    pc += diff > 0 ? d : -d;
    d /= 2;
  }
  return done(w, pc);
}

float thickness(UPA_level* lev, int num, int coord, float bottom, float top) {
  if (!has_levels(lev, num)) return M;
  Layer y = bounds(lev, num, coord, bottom, top);
  if (missing(y.B.h) || missing(y.T.h)) return M;
  return std::fabs(y.T.h - y.B.h);
}

float lapse_rate(UPA_level* lev, int num, int coord, float bottom, float top) {
  if (!has_levels(lev, num)) return M;
  Layer y = bounds(lev, num, coord, bottom, top);
  if (missing(y.B.t) || missing(y.T.t) || missing(y.B.h) || missing(y.T.h) || y.B.h == y.T.h) return M;
  return -(y.T.t - y.B.t) / (y.T.h - y.B.h);
}

float theta_lapse_rate(UPA_level* lev, int num, int coord, float bottom, float top) {
  if (!has_levels(lev, num)) return M;
  Layer y = bounds(lev, num, coord, bottom, top);
  float ob = theta_of(y.B), ot = theta_of(y.T);
  if (missing(ob) || missing(ot) || missing(y.B.h) || missing(y.T.h) || y.B.h == y.T.h) return M;
  return (ot - ob) / (y.T.h - y.B.h);
}

float theta_pres_lapse_rate(UPA_level* lev, int num, int coord, float bottom, float top) {
  if (!has_levels(lev, num)) return M;
  Layer y = bounds(lev, num, coord, bottom, top);
  float ob = theta_of(y.B), ot = theta_of(y.T);
  if (missing(ob) || missing(ot) || y.B.p == y.T.p) return M;
  return (ot - ob) / (y.B.p - y.T.p);
}

float static_stability(UPA_level* lev, int num, int coord, float level) {
  if (!has_levels(lev, num)) return M;
  const float upper = UPA_thick_top(coord, level, M), lower = UPA_thick_bottom(coord, level, M);
  UPA_level m = interp(lev, num, coord, level, nullptr);
  UPA_level L = interp(lev, num, coord, lower, nullptr);
  UPA_level U = interp(lev, num, coord, upper, nullptr);
  if (missing(L.t) || missing(U.t) || missing(L.h) || missing(U.h) || L.p == U.p) return M;
  float ol = theta_of(L), ou = theta_of(U), om = theta_of(m);
  if (missing(ol) || missing(ou) || missing(om)) return M;
  double tm = static_cast<double>(m.t) + to_kelvin;
  double sigma = (static_cast<double>(ou) - ol) * (-r_dry * tm / (static_cast<double>(m.p) * 10000 * om)) /
                 (static_cast<double>(U.p) - L.p);
  return std::isfinite(sigma) ? static_cast<float>(sigma) : M;
}

float precip_water(const UPA_level* lev, int num) {
  /* Levels under the ground (a merged report's mandatory levels below a
   * high station carry heights only) come before the sounding starts. */
  while (has_levels(lev, num) && missing(lev[0].t) && missing(lev[0].td)) {
    ++lev;
    --num;
  }
  if (!has_levels(lev, num) || num <= 2 || lev[0].p < min_ground_pres) return M;
  auto wet = [lev](int k) { return !missing(lev[k].td) && positive(lev[k].p); };
  if (!wet(0) && !wet(1) && !wet(2)) return M;
  auto q = [lev](int k) -> double { return spec_hum(kelvin(lev[k].td), lev[k].p); };
  double sum = 0;
  int i = 0;
  while (i < num - 1 && !wet(i)) ++i;
  double qi = i < num - 1 ? q(i) : 0;
  while (i < num - 1) {
    int j = i + 1;
    while (j < num && !wet(j)) ++j;
    if (j >= num) break;
    /* each level's humidity once: the top of one pair is the bottom of the next */
    const double qj = q(j);
    sum += (static_cast<double>(lev[i].p) - lev[j].p) * ((qi + qj) / 2000) / pw_factor;
    i = j;
    qi = qj;
  }
  return static_cast<float>(sum);
}

float freezing_level(const UPA_level* lev, int num) {
  if (!has_levels(lev, num) || lev[0].p < min_ground_pres) return M;
  auto has_t = [lev](int k) { return !missing(lev[k].t) && positive(lev[k].p); };
  int i = 0;
  while (i < num - 1 && !has_t(i)) ++i;
  if (i < num - 1 && lev[i].p > min_ground_pres && lev[i].t < 0) return -1;
  while (i < num - 1) {
    int j = i + 1;
    while (j < num && !has_t(j)) ++j;
    if (j >= num) break;
    float ti = lev[i].t, tj = lev[j].t;
    if ((ti >= 0 && tj < 0) || (ti < 0 && tj >= 0)) return linear_interp(0, ti, tj, lev[i].p, lev[j].p);
    i = j;
  }
  return M;
}

float wet_bulb_zero(const UPA_level* lev, int num) {
  if (!has_levels(lev, num)) return M;
  LevelThetae te(lev, num);
  return wet_bulb_zero_of(lev, num, te);
}

float wet_bulb_zero_of(const UPA_level* lev, int num, LevelThetae& thetae) {
  if (!has_levels(lev, num)) return M;
  /* A level whose wet-bulb temperature cannot be formed is passed over,
   * so that a missing value never reads as below freezing. */
  auto next = [lev, num, &thetae](int k, float* wb) {
    for (; k < num; ++k) {
      *wb = wet_bulb_c(lev[k], thetae.at(k));
      if (!missing(*wb)) return k;
    }
    return num;
  };
  float wi = M, wj = M;
  int i = next(0, &wi);
  while (i < num - 1) {
    if (wi < 0) return -1;
    int j = next(i + 1, &wj);
    if (j >= num) break;
    if ((wi >= 0 && wj < 0) || (wi < 0 && wj >= 0)) return linear_interp(0, wi, wj, lev[i].p, lev[j].p);
    i = j;
    wi = wj;
  }
  return M;
}

float max_temperature(UPA_level* lev, int num, int coord, float bottom, float thick) {
  if (missing(bottom) || !has_levels(lev, num)) return M;
  UPA_level B = interp(lev, num, coord, bottom, nullptr);
  UPA_level T = interp(lev, num, coord, UPA_thick_top(coord, bottom, thick), nullptr);
  if (missing(T.t) || !positive(T.p) || !positive(B.p)) return M;
  return temp_on_dryad(pot_temp(kelvin(T.t), T.p), B.p);
}
