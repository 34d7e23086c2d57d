/*
 * ua_wind: the wind-profile indices of a sounding.
 *
 * Storm-relative helicity with the horizontal and streamwise vorticity of
 * a layer, the shear of a layer split into veering and backing parts, the
 * bulk Richardson number with the bulk shear, and the energy-helicity
 * index. Plain functions over the caller's wind sounding (levels by rising
 * height, speeds in knots) and a storm motion; they keep no state. Layers
 * may be given in any coordinate, the sums always run in height: 100 m
 * steps for helicity, 500 m steps for shear, the sounding interpolated at
 * each step, components in m/s.
 *
 * The method is the suite's own: helicity is the discrete sum
 * v' u - u' v over the 100 m resampled profile, its top 10 m above the
 * layer's top; between two wind levels the resampled wind is interpolated
 * in u and v, so the hodograph joins them with a straight line (an arc
 * through direction and speed would add helicity no sounding measured); the helicity turning is brought to -180..180
 * while the shear classifies veering by the raw direction difference (so 350 to 10 degrees, a difference of -340,
 * veers); the energy-helicity index takes the positive helicity alone. A storm motion without a speed counts as
 * missing; a step without winds is passed over (helicity pairs the next
 * winds with the last point that had them, or starts from the first winds
 * when the bottom has none; shear drops both steps). A layer in which no
 * step had winds at both ends gives result 0 and missing fields, not sums
 * of zero.
 */
#include "kezcont.h"
#include "kezupa.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float M = KEZ_FMISS;
constexpr float kt_to_ms = 0.5144f;
constexpr float hel_step = 100.0f;   /* m */
constexpr float shear_step = 500.0f; /* m */
constexpr float top_margin = 10.0f;  /* m above the layer's top */
constexpr float max_base = 5000.0f;  /* a wind sounding must start below, m */
constexpr float brn_low = 500.0f;    /* depth of the low mean wind, m */
constexpr float brn_deep = 6000.0f;  /* depth of the deep mean wind, m */
constexpr float ehi_depth = 2000.0f; /* depth of the helicity of the index, m */
constexpr float ehi_scale = 160000.0f;
constexpr float calm = 0.01f; /* m/s: slower has no direction */
constexpr double to_rad = 0.017453292519943334;
/* No sounding reaches this many steps; a longer layer is cut here so a
 * hostile height cannot make the loops endless. */
constexpr int max_steps = 2000;
constexpr M_type trace = M_debug_c;

bool missing(float v) { return v == M; }

struct Vec {
  float u = M;
  float v = M;
  bool ok() const { return !missing(u) && !missing(v); }
};

/* A wind in knots as components in m/s. */
Vec vector_of(float dir, float spd) {
  Vec r;
  if (missing(dir) || missing(spd)) return r;
  wind2vect(dir, spd * kt_to_ms, &r.u, &r.v);
  return r;
}

float wrap180(float d) {
  if (d < -180) return d + 360;
  if (d > 180) return d - 360;
  return d;
}

/* The sounding at height h. */
UPA_level at_height(UPA_level* lev, int num, float h) {
  UPA_level r;
  UPA_interp(lev, num, UPA_CO_HGT, h, &r);
  return r;
}

bool has_wind(const UPA_level& l) { return !missing(l.dir) && !missing(l.spd); }

/* The wind at height h in m/s, linear in u and v between the nearest levels
 * below and above that have one; the levels are found as the interpolation
 * of the sounding finds them (a target just under the ground takes the
 * lowest level, one outside the sounding has no wind). */
Vec wind_at(const UPA_level* lev, int num, float h) {
  constexpr float tolerance = 3.0f; /* m */
  if (num <= 0 || missing(h)) return {};
  const float c0 = lev[0].h;
  if (h < c0 - tolerance) return {};
  if (h < c0) return vector_of(lev[0].dir, lev[0].spd);
  int i = 1;
  while (i < num && lev[i].h < h) ++i;
  int lo = i - 1;
  while (lo >= 0 && !has_wind(lev[lo])) --lo;
  int hi = i;
  while (hi < num && !has_wind(lev[hi])) ++hi;
  if (hi >= num) return {};
  const UPA_level& b = lev[hi];
  if (lo < 0) return b.h == h ? vector_of(b.dir, b.spd) : Vec{};
  const UPA_level& a = lev[lo];
  if (missing(a.h) || missing(b.h)) return {};
  if (a.h == h || b.h == a.h) return vector_of(a.dir, a.spd);
  if (b.h == h) return vector_of(b.dir, b.spd);
  Vec va = vector_of(a.dir, a.spd), vb = vector_of(b.dir, b.spd);
  double f = (static_cast<double>(h) - a.h) / (static_cast<double>(b.h) - a.h);
  return Vec{static_cast<float>(va.u + (static_cast<double>(vb.u) - va.u) * f),
             static_cast<float>(va.v + (static_cast<double>(vb.v) - va.v) * f)};
}

/* The wind of an interpolated level: at its height when it has one. */
Vec wind_of(const UPA_level* lev, int num, const UPA_level& l) {
  return missing(l.h) ? vector_of(l.dir, l.spd) : wind_at(lev, num, l.h);
}

/* The layer's bottom B and its top height; 1 with the top from the top
 * level, 0 with it from the layer's depth, -1 when there is no height. */
int layer_heights(const UPA_level& b, const UPA_level& t, int coord, float bottom, float top, float* top_h) {
  if (missing(b.h)) return -1;
  if (!missing(t.h)) {
    *top_h = t.h + top_margin;
    return 1;
  }
  if (coord != UPA_CO_HGT || missing(top) || missing(bottom)) return -1;
  *top_h = b.h + (top - bottom);
  return 0;
}

int steps_in(float from, float to, float step) {
  if (!(to >= from)) return 0;
  double n = std::floor((static_cast<double>(to) - from) / step);
  return static_cast<int>(std::min(n, static_cast<double>(max_steps)));
}

} // namespace

int helicity(UPA_level* lev, int num, int coord, float bottom, float top, const WIND* storm, HELICITY_params* windp) {
  HELICITY_params& hp = *windp;
  hp = HELICITY_params{M, M, M, M, M, M, M, M};
  if (lev == nullptr || num <= 1 || lev[0].h > max_base || storm == nullptr) return 0;
  Vec s = vector_of(storm->dir, storm->spd);
  if (!s.ok()) return 0;

  UPA_level b, t;
  UPA_interp(lev, num, coord, bottom, &b);
  int lt = UPA_interp(lev, num, coord, top, &t);
  int result = 1;

  /* Storm-relative wind: vector, direction and speed. */
  struct Rel {
    Vec v;
    float dir = M;
    float spd = M;
  };
  auto relative = [&](const Vec& w) {
    Rel r;
    if (!w.ok()) return r;
    r.v = Vec{w.u - s.u, w.v - s.v};
    vect2wind(r.v.u, r.v.v, &r.dir, &r.spd);
    return r;
  };
  Rel rb = relative(wind_of(lev, num, b));
  if (missing(t.dir) && lt == num) {
    result = 0;
    t = at_height(lev, num, lev[num - 1].h);
  }
  Rel rt = relative(wind_of(lev, num, t));
  if (!missing(rb.dir) && !missing(rt.dir)) hp.dir_shr = wrap180(rt.dir - rb.dir);

  float top_h;
  int heights = layer_heights(b, t, coord, bottom, top, &top_h);
  if (heights < 0) {
    hp.dir_shr = M;
    return -1;
  }
  if (heights == 0) result = 0;
  MESS_print(trace, "%f,%f\n", s.u, s.v);

  hp.pos_hel = hp.neg_hel = hp.tot_hel = hp.ave_hel = hp.rel_hel = hp.hor_vort = hp.stm_vort = 0;
  double turn_sum = 0, vort_sum = 0, z = 0, pos = 0, neg = 0;
  int count = 0;
  Rel prev = rb;
  const int n = steps_in(b.h, top_h, hel_step);
  for (int k = 1; k <= n; ++k) {
    float h = static_cast<float>(b.h + static_cast<double>(hel_step) * k);
    Rel cur = relative(wind_at(lev, num, h));
    if (cur.v.ok() && prev.v.ok()) {
      double step = static_cast<double>(prev.v.v) * cur.v.u - static_cast<double>(prev.v.u) * cur.v.v;
      if (step > 0)
        pos += step;
      else
        neg += step;
      double turn = wrap180(cur.dir - prev.dir);
      double turn_term = (static_cast<double>(prev.spd) + cur.spd) * (turn * to_rad / hel_step) / 2;
      double speed_term = (static_cast<double>(cur.spd) - prev.spd) / hel_step;
      turn_sum += turn_term;
      vort_sum += std::sqrt(speed_term * speed_term + turn_term * turn_term);
      z += hel_step;
      prev = cur;
    } else if (cur.v.ok()) {
      /* Nothing below had winds: the sums start from here. */
      prev = cur;
    }
    MESS_print(trace, "%5.1f %5.1f-%5.1f  %5.1f,%5.1f %5.1f,%5.1f = %5.1f %5.1f\n", h, cur.dir, cur.spd, prev.v.u,
               prev.v.v, cur.v.u, cur.v.v, pos, neg);
    ++count;
  }
  if (z == 0) {
    /* No step had winds at both ends: nothing was measured. */
    hp = HELICITY_params{M, M, M, M, M, M, M, M};
    return 0;
  }
  hp.pos_hel = static_cast<float>(pos);
  hp.neg_hel = static_cast<float>(neg);
  hp.tot_hel = static_cast<float>(pos + neg);
  hp.ave_hel = static_cast<float>((pos + neg) / z);
  if (count != 0) {
    hp.hor_vort = static_cast<float>(vort_sum / count);
    hp.stm_vort = static_cast<float>(turn_sum / count);
  }
  if (hp.hor_vort != 0) hp.rel_hel = static_cast<float>(turn_sum / vort_sum);
  return result;
}

int shear_layer(UPA_level* lev, int num, int coord, float bottom, float top, const WIND* storm, SHEAR_params* windp) {
  *windp = SHEAR_params{M, M};
  if (lev == nullptr || num <= 0 || lev[0].h > max_base) return 0;
  UPA_level b, t;
  UPA_interp(lev, num, coord, bottom, &b);
  UPA_interp(lev, num, coord, top, &t);
  float top_h;
  int result = layer_heights(b, t, coord, bottom, top, &top_h);
  if (result < 0) return -1;
  Vec s = storm != nullptr ? vector_of(storm->dir, storm->spd) : Vec{0, 0};
  MESS_print(trace, "%f,%f\n", s.u, s.v);

  double pu = 0, pv = 0, nu = 0, nv = 0, z = 0;
  /* Ground-relative winds with their directions. */
  struct Dir {
    Vec v;
    float dir = M;
    float spd = M;
  };
  auto directed = [](const Vec& w) {
    Dir d{w, M, M};
    if (w.ok()) vect2wind(w.u, w.v, &d.dir, &d.spd);
    return d;
  };
  Dir prev = directed(wind_of(lev, num, b));
  const int n = steps_in(b.h, top_h, shear_step);
  for (int k = 1; k <= n; ++k) {
    float h = static_cast<float>(b.h + static_cast<double>(shear_step) * k);
    Dir cur = directed(wind_at(lev, num, h));
    if (cur.v.ok() && prev.v.ok()) {
      /* A calm has no direction to turn from or to. */
      float d = cur.spd < calm || prev.spd < calm ? 0.0f : cur.dir - prev.dir;
      double du = static_cast<double>(cur.v.u) - prev.v.u, dv = static_cast<double>(cur.v.v) - prev.v.v;
      if ((d > 0 && d < 180) || d < -180) {
        pu += du;
        pv += dv;
      } else {
        nu += du;
        nv += dv;
      }
      z += shear_step;
    }
    float spd = cur.v.ok() ? cur.spd / kt_to_ms : M;
    MESS_print(trace, "%5.1f %5.1f-%5.1f  %5.1f,%5.1f %5.1f,%5.1f = %5.1f,%5.1f %5.1f,%5.1f\n", h, cur.dir, spd,
               prev.v.u, prev.v.v, cur.v.u, cur.v.v, pu, pv, nu, nv);
    prev = cur;
  }
  if (z == 0) {
    result = 0;
  } else {
    windp->pos_shr = static_cast<float>(std::hypot(pu, pv) / z);
    windp->neg_shr = static_cast<float>(std::hypot(nu, nv) / z);
  }
  MESS_print(trace, "%5.1f %5.1f-%5.1f\n", windp->pos_shr, windp->neg_shr,
             missing(t.h) || missing(b.h) ? M : t.h - b.h);
  return result;
}

int bulk_richardson(UPA_level* lev, int num, int coord, float bottom, float cape, float* brn, float* shear) {
  *brn = M;
  *shear = M;
  if (lev == nullptr || num <= 0) return -1;
  UPA_level b;
  UPA_interp(lev, num, coord, bottom, &b);
  if (missing(b.h)) return -1;
  WIND w1, w2;
  int r1 = layer_wind_mean(lev, num, UPA_CO_HGT, b.h, b.h + brn_low, &w1);
  int r2 = layer_wind_mean(lev, num, UPA_CO_HGT, b.h, b.h + brn_deep, &w2);
  if (r1 != 1 && r2 != 1) return -1;
  Vec m1 = vector_of(w1.dir, w1.spd), m2 = vector_of(w2.dir, w2.spd);
  /* One mean without a wind: no difference to form. */
  if (!m1.ok() || !m2.ok()) return -1;
  double du = static_cast<double>(m2.u) - m1.u, dv = static_cast<double>(m2.v) - m1.v;
  double shr = du * du + dv * dv;
  *shear = static_cast<float>(std::sqrt(shr));
  if (!(cape < 0) && *shear != 0) *brn = static_cast<float>(cape / (0.5 * shr));
  return 0;
}

float energy_helicity(UPA_level* lev, int num, int coord, float bottom, const WIND* storm, float cape) {
  if (lev == nullptr || num <= 0 || missing(bottom)) return M;
  UPA_level b;
  UPA_interp(lev, num, coord, bottom, &b);
  if (missing(b.h)) return M;
  HELICITY_params hp;
  helicity(lev, num, UPA_CO_HGT, b.h, b.h + ehi_depth, storm, &hp);
  if (missing(hp.pos_hel) || missing(cape)) return M;
  return hp.pos_hel * cape / ehi_scale;
}
