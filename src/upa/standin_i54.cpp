/*
 * STAND-IN (branch i54): the two layer means of the sounding layer
 * quantities (ua_calc) that the parcel and wind-profile indices call,
 * under their real names, until that module lands (the lead drops this
 * file then). Both integrate segment by segment in ln p between the
 * sounding interpolated at the layer's bottom and top, passing over levels
 * without the selecting field; nothing else of that module is here.
 */
#include "kezcont.h"
#include "kezupa.h"

#include <cmath>

namespace {

constexpr float M = KEZ_FMISS;
constexpr float to_kelvin = 273.15f;

bool missing(float v) { return v == M; }
float kelvin(float c) { return missing(c) ? M : c + to_kelvin; }

bool pressure_family(int coord) {
  switch (coord) {
    case UPA_CO_SFC:
    case UPA_CO_PRES:
    case UPA_CO_PRES_LAYER:
    case UPA_CO_PRES_102:
    case UPA_CO_PRES_115:
    case UPA_CO_PRES_116: return true;
    default: return false;
  }
}

/* Visits the segments of the walk from B (index lb) to T (index lt):
 * opening, inner and closing, with the levels selected by has(). */
template <class Has, class Seg>
void walk(const UPA_level* lev, int num, const UPA_level& B, int lb, const UPA_level& T, int lt, Has has, Seg seg) {
  if (lb > 0 && lb <= num && lev[lb - 1].p == B.p) --lb;
  UPA_level cur = B;
  int ci = lb;
  if (lb < num && lev[lb].p != B.p) {
    int k = lb;
    while (k < lt && k < num && !has(lev[k])) ++k;
    if (k < num) {
      seg(cur, lev[k]);
      cur = lev[k];
      ci = k;
    }
  }
  for (;;) {
    int k = ci + 1;
    while (k < lt && k < num && !has(lev[k])) ++k;
    if (k >= lt || k >= num) break;
    seg(cur, lev[k]);
    cur = lev[k];
    ci = k;
  }
  if (T.p != cur.p) seg(cur, T);
}

double log_ratio(float pa, float pb) {
  if (!(pa > 0) || !(pb > 0)) return 0;
  return std::log(static_cast<double>(pa) / pb);
}

} // namespace

int layer_parcel_mean(UPA_level* lev, int num, int coord, float bottom, float top, float* Wbar, float* Obar) {
  if (lev == nullptr || num <= 0) return 0;
  if (num == 1) {
    *Wbar = mix_ratio(kelvin(lev[0].td), lev[0].p);
    *Obar = pot_temp(kelvin(lev[0].t), lev[0].p);
    return 0;
  }
  *Wbar = 0;
  *Obar = 0;
  UPA_level B, T;
  int lb = UPA_interp(lev, num, coord, bottom, &B);
  int lt = UPA_interp(lev, num, coord == UPA_CO_SFC ? UPA_CO_PRES : coord, top, &T);
  double depth = log_ratio(B.p, T.p);
  if (depth == 0) return 0;
  double osum = 0, wsum = 0;
  walk(
      lev, num, B, lb, T, lt, [](const UPA_level& l) { return !missing(l.t); },
      [&](const UPA_level& a, const UPA_level& b) {
        float va = pot_temp(kelvin(a.t), a.p), vb = pot_temp(kelvin(b.t), b.p);
        if (!missing(va) && !missing(vb)) osum += (static_cast<double>(va) + vb) * log_ratio(a.p, b.p);
      });
  walk(
      lev, num, B, lb, T, lt, [](const UPA_level& l) { return !missing(l.td); },
      [&](const UPA_level& a, const UPA_level& b) {
        float va = mix_ratio(kelvin(a.td), a.p), vb = mix_ratio(kelvin(b.td), b.p);
        if (!missing(va) && !missing(vb)) wsum += (static_cast<double>(va) + vb) * log_ratio(a.p, b.p);
      });
  *Obar = static_cast<float>(osum / (2 * depth));
  *Wbar = static_cast<float>(wsum / (2 * depth));
  return 0;
}

int layer_wind_mean(UPA_level* lev, int num, int coord, float bottom, float top, WIND* wind) {
  *wind = WIND{M, M};
  bool upside = !missing(top) && (pressure_family(coord) ? top > bottom : top < bottom);
  if (lev == nullptr || num <= 0 || upside) return -1;
  if (num == 1) {
    *wind = WIND{lev[0].dir, lev[0].spd};
    return 0;
  }
  UPA_level B, T;
  int lb = UPA_interp(lev, num, coord, bottom, &B);
  if (missing(top) || top == bottom) {
    *wind = WIND{B.dir, B.spd};
    return 1;
  }
  int lt = UPA_interp(lev, num, coord, top, &T);
  double su = 0, sv = 0, ss = 0, sw = 0;
  walk(
      lev, num, B, lb, T, lt, [](const UPA_level& l) { return !missing(l.dir); },
      [&](const UPA_level& a, const UPA_level& b) {
        float ua, va, ub, vb;
        wind2vect(a.dir, a.spd, &ua, &va);
        wind2vect(b.dir, b.spd, &ub, &vb);
        if (missing(ua) || missing(ub)) return;
        float w = static_cast<float>(log_ratio(a.p, b.p));
        su += (static_cast<double>(ua) + ub) * w;
        sv += (static_cast<double>(va) + vb) * w;
        ss += (static_cast<double>(a.spd) + b.spd) * w;
        sw += w;
      });
  if (sw == 0) return 0;
  float d, s;
  vect2wind(static_cast<float>(su / (2 * sw)), static_cast<float>(sv / (2 * sw)), &d, &s);
  *wind = WIND{d, static_cast<float>(ss / (2 * sw))};
  return missing(T.dir) ? 0 : 1;
}
