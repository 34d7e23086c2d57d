/*
 * ua_parcel: parcel ascent and the thermodynamic indices of a temperature
 * sounding.
 *
 * The theta-e index (largest fall of equivalent potential temperature in a
 * layer based at or below 700 hPa), the ascent of a surface, mixed-layer or
 * given parcel with its LCL, LFC, EL, MPL, CAPE, inhibition and maximum
 * updraft, the cap strength, the lifted index, and the fixed-level indices
 * (total, vertical and cross totals, K, SWEAT, energy index). Plain
 * functions over the caller's sounding (levels by falling pressure, t and
 * td in degrees C); they keep no state and fill only the records handed in.
 * The sounding analysis runs them once per sounding.
 *
 * The method is the suite's own and departs from common practice in ways
 * its users' numbers rely on:
 * - buoyancy uses the temperature, not the virtual temperature;
 * - the dry part of the ascent follows the sounding's levels up to the LCL,
 *   the moist part steps 10 hPa at a time on the saturated adiabat, its
 *   last step ending at the top of the sounding;
 * - CAPE (Bplus) is the positive area between the LFC and the EL, the EL
 *   being the top-most crossing back to negative buoyancy above the LFC (a
 *   cap between two buoyant layers does not end the ascent there);
 *   inhibition (Bminus) counts the negative dry steps and the negative
 *   moist steps below the LFC; a parcel that never becomes buoyant has
 *   neither (both 0): the stable air above is no inhibition of anything;
 * - a moist step of exactly zero energy starts the level of free
 *   convection;
 * - SWEAT's shear term needs an 850 hPa direction from 135 degrees on.
 * Where the data do not allow a value: a step whose environment or parcel
 * temperature (or a height) is missing contributes no energy and moves no
 * level; a parcel without a condensation level (no dew point or no
 * temperature) has no ascent and no cap strength (-9999); an LCL where the
 * sounding has no temperature (above its top) leaves CAPE, inhibition,
 * LFC and updraft unknown (-9999); a theta-e layer still falling where
 * the sounding ends tops at the last level used.
 */
#include "kezupa.h"
#include "ua_thetae.h"

#include <cmath>
#include <cstdio>
#include <initializer_list>

namespace {

constexpr float M = KEZ_FMISS;
constexpr float to_kelvin = 273.15f;
constexpr float gravity = 9.8f;        /* m/s^2 */
constexpr float base_limit = 700.0f;   /* a theta-e layer must be based at or below, hPa */
constexpr float cap_top = 500.0f;      /* the cap is looked for below, hPa */
constexpr float min_sfc_pres = 500.0f; /* a sounding starting above is no sounding, hPa */
constexpr double moist_step = 10.0;    /* hPa */
constexpr int thetae_slots = 5;        /* layers of falling theta-e kept */
constexpr double to_rad = 0.017453292519943334;
constexpr M_type trace = M_debug_c;

bool missing(float v) { return v == M; }
float kelvin(float c) { return missing(c) ? M : c + to_kelvin; }
/* The inverting formulas fail with 0; a temperature back in degrees C. */
float celsius(float k) { return k > 0 ? k - to_kelvin : M; }

UPA_level at_pressure(UPA_level* lev, int num, float p, int* index = nullptr) {
  UPA_level r;
  int i = UPA_interp(lev, num, UPA_CO_PRES, p, &r);
  if (index != nullptr) *index = i;
  return r;
}

/* The parcel made at bottom: the sounding there, or with thick above 0
 * the mixed layer up to thick above it (its mean potential temperature
 * and mixing ratio brought to the bottom's pressure). */
UPA_level start_parcel(UPA_level* lev, int num, int coord, float bottom, float thick, UPA_level* env = nullptr,
                       int* index = nullptr) {
  UPA_level b;
  int i = UPA_interp(lev, num, coord, bottom, &b);
  if (env != nullptr) *env = b;
  if (index != nullptr) *index = i;
  if (!(thick > 0)) return b;
  float top = UPA_thick_top(coord, bottom, thick);
  float w = 0, o = 0;
  if (!missing(top)) layer_parcel_mean(lev, num, coord, bottom, top, &w, &o);
  b.t = celsius(temp_on_dryad(o, b.p));
  b.td = celsius(temp_on_mixrat(w, b.p));
  return b;
}

/* The lifting condensation level of a parcel: pressure and temperature
 * (K), both missing when the parcel has none. */
struct Lcl {
  float p = M;
  float t = M;
};

Lcl condensation(const UPA_level& parcel) {
  Lcl l;
  float p = lcl_pres(kelvin(parcel.t), kelvin(parcel.td), parcel.p);
  float t = p > 0 ? lcl_temp(kelvin(parcel.t), parcel.p, p) : 0.0f;
  if (p > 0 && t > 0) {
    l.p = p;
    l.t = t;
  }
  return l;
}

/* Temperature (degrees C) of the saturated adiabat satad at p. */
float on_satad(float satad, float p) {
  if (!(satad > 0)) return M;
  float t = temp_on_satad(satad, p);
  return missing(t) ? M : celsius(t);
}

/* The ascent's running record: the parcel and environment at the last
 * point, and the sums of the ascent. The EL is not known until the top
 * (the last crossing wins), so CAPE is kept as it stood at each crossing. */
struct Ascent {
  PARCEL_params* pp;
  UPA_level p1;
  UPA_level e1;
  int state = 0;      /* 0 below the LFC, 1 above it, 2 above an EL */
  bool seen = false;  /* a positive step since the last negative one */
  double below = 0;   /* negative energy below the LFC */
  double pos = 0;     /* positive energy above the LFC */
  double neg = 0;     /* negative energy above the LFC */
  double cape_el = 0; /* pos at the last EL */

  void cap(const UPA_level& p2, const UPA_level& e2) {
    if (e2.p > cap_top && !missing(e2.t) && !missing(p2.t)) pp->cap = std::fmax(pp->cap, e2.t - p2.t);
  }

  /* A positive dry step is no free convection: it counts nowhere. */
  float dry_step(const UPA_level& p2, const UPA_level& e2) {
    float e = energy_calc(&p1, &p2, &e1, &e2);
    if (!missing(e) && e < 0) below -= e;
    return e;
  }

  void moist_step(float e, float p2) {
    if (missing(e)) return;
    float m = (p1.p + p2) / 2;
    if (state == 0) {
      if (e < 0) {
        below -= e;
        return;
      }
      pp->lfc = m;
      state = 1;
    }
    if (e > 0) {
      pos += e;
      seen = true;
    } else if (e < 0) {
      neg -= e;
      if (seen) {
        /* A crossing back to negative buoyancy: the EL so far. */
        pp->el = m;
        pp->Bel = static_cast<float>(pos - neg);
        pp->mpl = pp->Bmpl = M;
        cape_el = pos;
        state = 2;
      }
      seen = false;
    }
    if (state == 2 && missing(pp->mpl) && neg >= pos) {
      pp->mpl = m;
      pp->Bmpl = static_cast<float>(pos - neg);
    }
  }

  /* The sums into the record once the ascent has ended. */
  void finish() {
    if (state == 0) {
      pp->Bplus = pp->Bminus = 0;
      return;
    }
    pp->Bplus = static_cast<float>(state == 2 ? cape_el : pos);
    pp->Bminus = static_cast<float>(below);
  }
};

void trace_step(const char* head, const Ascent& a, const UPA_level& p2, const UPA_level& e2, float e) {
  MESS_print(trace, "%s%5.1f,%5.1f %5.1f,%5.1f %5.1f,%5.1f = %5.1f\n", head, a.e1.t, e2.t, a.e1.p, e2.p, a.p1.t, p2.t,
             e);
}

/* The dry part: the points of the layer walk from the start (index l1) to
 * the LCL (index l2), levels without temperature passed over, each point
 * lifted along the dry adiabat theta. */
void dry_ascent(UPA_level* lev, int num, Ascent& a, int l1, const Lcl& lcl, int l2, float theta) {
  auto step_to = [&](float p, const char* head) {
    UPA_level e2 = at_pressure(lev, num, p);
    UPA_level p2 = e2;
    p2.t = celsius(temp_on_dryad(theta, e2.p));
    a.cap(p2, e2);
    float e = a.dry_step(p2, e2);
    trace_step(head, a, p2, e2, e);
    a.p1 = p2;
    a.e1 = e2;
  };
  auto has = [&](int k) { return !missing(lev[k].t); };
  char head[32];
  float cur_p = a.e1.p;
  int ci = l1;
  if (l1 < num && lev[l1].p != a.e1.p) {
    int k = l1;
    while (k < l2 && k < num && !has(k)) ++k;
    if (k < num) {
      std::snprintf(head, sizeof head, "LB,%2d  ", k);
      step_to(lev[k].p, head);
      cur_p = lev[k].p;
      ci = k;
    }
  }
  for (;;) {
    int k = ci + 1;
    while (k < l2 && k < num && !has(k)) ++k;
    if (k >= l2 || k >= num) break;
    std::snprintf(head, sizeof head, "%2d,%2d  ", ci, k);
    step_to(lev[k].p, head);
    cur_p = lev[k].p;
    ci = k;
  }
  if (lcl.p != cur_p) {
    std::snprintf(head, sizeof head, "%2d,LT  ", ci);
    step_to(lcl.p, head);
  }
}

} // namespace

int thetae_index(const UPA_level* lev, int num, THETAE_params* params) {
  LevelThetae te(lev, num);
  return thetae_index_of(lev, num, params, te);
}

int thetae_index_of(const UPA_level* lev, int num, THETAE_params* params, LevelThetae& thetae) {
  *params = THETAE_params{M, M, M, M, M, M, M};
  if (lev == nullptr || num <= 0) return -1;
  struct Slot {
    float base = M;
    float top = M;
    float fall = 0;
  } slot[thetae_slots];

  /* A level is used when it has a theta-e: temperature, dew point and a
   * condensation level. */
  auto next_used = [&](int from, float* te) {
    for (int k = from; k < num; ++k) {
      *te = thetae.at(k);
      if (!missing(*te)) return k;
    }
    return num;
  };
  float prev;
  int last = next_used(0, &prev);
  if (last >= num) return -1;
  params->max = params->min = prev;
  params->maxp = params->minp = lev[last].p;
  slot[0].base = lev[last].p;

  /* A layer runs from the level where theta-e starts to fall (last, when
   * the step from it to k falls) to the last level of the fall. */
  int cur = 0, closed = 0;
  bool open = false;
  while (slot[cur].base >= base_limit && closed < thetae_slots) {
    float te;
    int k = next_used(last + 1, &te);
    if (k >= num) break;
    if (te > params->max) {
      params->max = te;
      params->maxp = lev[k].p;
    }
    if (te < params->min) {
      params->min = te;
      params->minp = lev[k].p;
    }
    if (prev >= te) {
      if (!open) {
        open = true;
        slot[cur].base = lev[last].p;
      }
      slot[cur].fall += prev - te;
    } else if (open) {
      open = false;
      slot[cur].top = lev[last].p;
      ++closed;
      if (closed < thetae_slots) {
        ++cur;
        slot[cur].base = lev[last].p;
      }
    }
    prev = te;
    last = k;
  }
  /* A layer still falling where the sounding ends tops at the last level
   * used. */
  if (open && missing(slot[cur].top)) slot[cur].top = lev[last].p;

  if (slot[0].base < base_limit) return -1;
  int chosen = 0;
  for (int s = 1; s < thetae_slots; ++s)
    if (slot[s].base >= base_limit && slot[s].fall > slot[chosen].fall) chosen = s;
  params->index = slot[chosen].fall;
  params->base = slot[chosen].base;
  params->top = slot[chosen].top;
  return 0;
}

float energy_calc(const UPA_level* par1, const UPA_level* par2, const UPA_level* env1, const UPA_level* env2) {
  if (par1 == nullptr || par2 == nullptr || env1 == nullptr || env2 == nullptr) return M;
  if (missing(env1->t) || missing(env2->t) || missing(par1->t) || missing(par2->t) || missing(env1->h) ||
      missing(env2->h))
    return M;
  float te = (env1->t + env2->t) / 2;
  float tp = (par1->t + par2->t) / 2;
  float tk = te + to_kelvin;
  if (!(tk > 0)) return M;
  return (env2->h - env1->h) * (tp - te) * gravity / tk;
}

int parcel_calc(UPA_level* lev, int num, UPA_level* blev, int coord, float bottom, float thick, PARCEL_params* params) {
  PARCEL_params& pp = *params;
  pp.plcl = pp.el = pp.mpl = pp.Bel = pp.Bmpl = M;
  pp.lfc = -1;
  pp.Bplus = pp.Bminus = pp.wmax = pp.cap = 0;
  auto no_ascent = [&]() {
    pp.Bplus = pp.Bminus = pp.wmax = pp.cap = pp.lfc = M;
    return 0;
  };
  if (lev == nullptr || num <= 0 || missing(bottom)) return no_ascent();

  Ascent a{&pp, {}, {}};
  int l1;
  if (blev != nullptr && blev->p > 0) {
    a.p1 = *blev;
    a.e1 = at_pressure(lev, num, blev->p, &l1);
  } else {
    a.p1 = start_parcel(lev, num, coord, bottom, thick, &a.e1, &l1);
    if (blev != nullptr) *blev = a.p1;
  }
  MESS_print(trace, "P:%6.1f H:%7.0f T:%7.1f Td:%7.1f Dir:%6.0f Spd:%6.0f\n", a.p1.p, a.p1.h, a.p1.t, a.p1.td, a.p1.dir,
             a.p1.spd);

  /* A start at a sounding level walks on from that level. */
  if (l1 > 0 && l1 <= num && lev[l1 - 1].p == a.e1.p) --l1;
  Lcl lcl = condensation(a.p1);
  if (missing(lcl.p)) {
    /* No dew point or temperature: no adiabat to lift along. */
    pp.tlcl = pp.Satad = M;
    return no_ascent();
  }
  pp.plcl = lcl.p;
  pp.tlcl = lcl.t;
  float theta = pot_temp(lcl.t, lcl.p);
  int l2;
  const bool env_at_lcl = !missing(at_pressure(lev, num, lcl.p, &l2).t);
  if (!missing(a.e1.t) && !missing(a.p1.t)) pp.cap = std::fmax(pp.cap, a.e1.t - a.p1.t);

  dry_ascent(lev, num, a, l1, lcl, l2, theta);

  pp.Satad = thetae_on_satad(lcl.t, lcl.p);
  if (!(pp.Satad > 0)) pp.Satad = M;
  const float top = lev[num - 1].p;
  /* The last step ends at the sounding's top, so that an ascent still
   * buoyant there keeps the area of the sounding's last few hPa. */
  bool at_top = false;
  int above = 1; /* the level above the last step: the search starts there */
  for (int k = 1; !missing(pp.Satad) && !at_top; ++k) {
    double pd = lcl.p - moist_step * k;
    if (!(pd > top)) {
      if (!(a.p1.p > top) || !(top > 0)) break;
      pd = top;
      at_top = true;
    }
    if (!(pd > 0)) break;
    float p = static_cast<float>(pd);
    UPA_level e2;
    above = UPA_interp_from(lev, num, UPA_CO_PRES, p, &e2, above);
    if (missing(e2.t)) break;
    UPA_level p2 = e2;
    p2.t = on_satad(pp.Satad, p);
    a.cap(p2, e2);
    float e = energy_calc(&a.p1, &p2, &a.e1, &e2);
    a.moist_step(e, p);
    trace_step("", a, p2, e2, e);
    MESS_print(trace, "   %5.1f-%5.1f-%5.1f %5.1f,%5.1f,%5.1f %5.1f-%5.1f\n", a.pos, a.below, a.neg, pp.lfc, pp.el,
               pp.mpl, pp.Bel, pp.Bmpl);
    a.p1 = p2;
    a.e1 = e2;
  }
  a.finish();
  if (!env_at_lcl) {
    /* The sounding ends below the LCL (or has no temperature there): the
     * moist ascent never starts, so free convection is unknown. */
    pp.Bplus = pp.Bminus = pp.wmax = pp.lfc = M;
    return 1;
  }
  if (pp.Bplus > 0) pp.wmax = std::sqrt(2 * pp.Bplus);
  return 1;
}

float cap_strength(UPA_level* lev, int num, int coord, float bottom, float thick) {
  if (lev == nullptr || num <= 0 || missing(bottom)) return M;
  Lcl lcl = condensation(start_parcel(lev, num, coord, bottom, thick));
  if (missing(lcl.p)) return M;
  float satad = M;
  if (lcl.p >= cap_top) {
    satad = thetae_on_satad(lcl.t, lcl.p);
    if (!(satad > 0)) satad = M;
  }
  int ll;
  UPA_level l = at_pressure(lev, num, lcl.p, &ll);
  /* Without a temperature at the LCL the cap starts from the levels
   * above it; missing when none has one. */
  float cap = missing(l.t) ? M : l.t - celsius(lcl.t);
  for (int k = ll; k < num && lev[k].p > cap_top; ++k) {
    float tp = on_satad(satad, lev[k].p);
    if (missing(lev[k].t) || missing(tp)) continue;
    float d = lev[k].t - tp;
    if (missing(cap) || d > cap) cap = d;
  }
  return cap;
}

float lifted_index(UPA_level* lev, int num, int coord, float bottom, float thick, float top) {
  if (lev == nullptr || num <= 0 || lev[0].p < min_sfc_pres) return M;
  UPA_level b;
  UPA_interp(lev, num, coord, bottom, &b);
  if (missing(b.t)) return M;
  UPA_level t;
  UPA_interp(lev, num, coord, top, &t);
  if (missing(t.t) || !(t.p > 0)) return M;
  UPA_level parcel = start_parcel(lev, num, coord, bottom, thick);
  Lcl lcl = condensation(parcel);
  float tp;
  if (t.p > lcl.p)
    tp = celsius(temp_on_dryad(pot_temp(kelvin(parcel.t), parcel.p), t.p));
  else
    tp = on_satad(thetae_on_satad(lcl.t, lcl.p), t.p);
  return missing(tp) ? M : t.t - tp;
}

namespace {

struct Fixed {
  UPA_level l850, l700, l500;
};

Fixed fixed_levels(UPA_level* lev, int num) {
  Fixed f{};
  f.l850 = at_pressure(lev, num, 850);
  f.l700 = at_pressure(lev, num, 700);
  f.l500 = at_pressure(lev, num, 500);
  return f;
}

bool any_missing(std::initializer_list<float> v) {
  for (float x : v)
    if (missing(x)) return true;
  return false;
}

float energy_at(const UPA_level& l) {
  float w = mix_ratio(kelvin(l.td), l.p);
  if (missing(w)) return M;
  return 0.24f * kelvin(l.t) + l.h * 980.0f * 100.0f / 4.2e7f + 0.6f * w;
}

} // namespace

float total_totals(UPA_level* lev, int num) {
  if (lev == nullptr || num <= 0) return M;
  Fixed f = fixed_levels(lev, num);
  if (any_missing({f.l850.t, f.l850.td, f.l500.t})) return M;
  return f.l850.t + f.l850.td - 2 * f.l500.t;
}

float vertical_totals(UPA_level* lev, int num) {
  if (lev == nullptr || num <= 0) return M;
  Fixed f = fixed_levels(lev, num);
  if (any_missing({f.l850.t, f.l500.t})) return M;
  return f.l850.t - f.l500.t;
}

float cross_totals(UPA_level* lev, int num) {
  if (lev == nullptr || num <= 0) return M;
  Fixed f = fixed_levels(lev, num);
  if (any_missing({f.l850.td, f.l500.t})) return M;
  return f.l850.td - f.l500.t;
}

float k_index(UPA_level* lev, int num) {
  if (lev == nullptr || num <= 0) return M;
  Fixed f = fixed_levels(lev, num);
  if (any_missing({f.l850.t, f.l850.td, f.l500.t, f.l700.t, f.l700.td})) return M;
  return f.l850.t + f.l850.td - f.l500.t - (f.l700.t - f.l700.td);
}

float sweat_index(UPA_level* lev, int num) {
  if (lev == nullptr || num <= 0) return M;
  Fixed f = fixed_levels(lev, num);
  const UPA_level &a = f.l850, &b = f.l500;
  if (any_missing({b.t, b.dir, a.t, a.dir, a.td})) return M;
  float sweat = a.td > 0 ? 12 * a.td : 0;
  float tt = a.t + a.td - 2 * b.t;
  if (tt > 49) sweat += 20 * (tt - 49);
  if (!missing(a.spd)) sweat += 2 * a.spd;
  if (!missing(b.spd)) sweat += b.spd;
  float turn = b.dir - a.dir;
  if (a.dir >= 135 && a.dir <= 250 && b.dir >= 210 && b.dir <= 310 && turn > 0 && a.spd >= 15 && b.spd >= 15)
    sweat += static_cast<float>(125 * (std::sin(turn * to_rad) + 0.2));
  return sweat;
}

float energy_index(UPA_level* lev, int num) {
  if (lev == nullptr || num <= 0) return M;
  Fixed f = fixed_levels(lev, num);
  const UPA_level &a = f.l850, &b = f.l500;
  if (any_missing({a.t, a.td, a.h, b.t, b.td, b.h})) return M;
  float e5 = energy_at(b), e8 = energy_at(a);
  if (missing(e5) || missing(e8)) return M;
  return e5 - e8;
}
