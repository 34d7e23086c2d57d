/*
 * ua_level: a variable's vertical position decoded against the current
 * sounding, layers around a level, and layer means for a variable.
 *
 * A variable names its level by a GRIB edition 1 level type and code,
 * extended by the system's own codes for the surface, the freezing level,
 * the condensation level, the maximum wind, the tropopause and layers
 * based on the surface or the tropopause. The decoding turns that into a
 * coordinate code with one or two bounds that the interpolation and the
 * layer quantities understand, reading the surface, tropopause and
 * maximum-wind levels of the current analysis. A bound that cannot be
 * formed (a missing surface or tropopause) is -9999.
 */
#include "kezraw.h"
#include "kezupa.h"

#include <cstring>
#include <string>
#include <utility>

namespace {

constexpr float M = KEZ_FMISS;
constexpr float to_kelvin = 273.15f;
constexpr float sfc_layer_top = 500.0f; /* hPa, top of the type-0 layer */

/* Default half-thicknesses of UPA_make_layer. */
constexpr float half_pres = 25.0f; /* hPa */
constexpr float half_hgt = 200.0f; /* m */
constexpr float half_theta = 5.0f; /* K */

bool missing(float v) { return v == M; }

/* Level types whose code holds two bounds. */
bool layer_type(int ltype) {
  switch (ltype) {
    case VAR_LEV_PLYR:
    case VAR_LEV_HLYR:
    case VAR_LEV_ALYR:
    case VAR_LEV_TLYR:
    case VAR_LEV_PAGLYR: return true;
    default: return false;
  }
}

/* The decoded bounds, bottom first for the coordinate's direction (the
 * decoding gives the larger value first, which is the bottom only for
 * pressure given as pressure). */
void order_bounds(int coord, float* bottom, float* top) {
  if (missing(*bottom) || missing(*top)) return;
  const bool pres = UPA_thick_top(coord, 1000.0f, 1.0f) < 1000.0f;
  if (pres ? *top > *bottom : *top < *bottom) std::swap(*bottom, *top);
}

} // namespace

int UPA_level_decode(const VAR_data* var, int* coord, float* lev1, float* lev2, float* thick) {
  int c = UPA_CO_PRES;
  float l1 = M, l2 = M, th = M;
  int result = UPA_POS_NONE;
  const UPA_level& sfc = *THERM_get_sfc();
  const UPA_level& trop = *THERM_get_trop();
  const int ltype = var ? var->ltype : KEZ_MISS;
  const int code = var ? var->level : 0;
  switch (ltype) {
    case KEZ_MISS: break;
    case UPA_LT_SFC_500:
      l1 = sfc.p;
      l2 = sfc_layer_top;
      result = UPA_POS_LAYER;
      break;
    case UPA_LT_SFC:
      l1 = sfc.p;
      if (code > 0) th = static_cast<float>(code);
      result = UPA_POS_LEVEL;
      break;
    case UPA_LT_FRZ:
      l1 = freezing_level(THERM_get_SM(), THERM_get_SM_num());
      result = UPA_POS_LEVEL;
      break;
    case UPA_LT_LCL: {
      float t = missing(sfc.t) ? M : sfc.t + to_kelvin, td = missing(sfc.td) ? M : sfc.td + to_kelvin;
      l1 = lcl_pres(t, td, sfc.p);
      result = UPA_POS_LEVEL;
      break;
    }
    case UPA_LT_MWND:
      l1 = THERM_get_mwnd()->p;
      result = UPA_POS_LEVEL;
      break;
    case UPA_LT_TROP:
      l1 = trop.p;
      result = UPA_POS_LEVEL;
      break;
    default: {
      c = ltype;
      VAR_get_level(ltype, code, &l1, &l2);
      result = layer_type(ltype) ? UPA_POS_LAYER : UPA_POS_LEVEL;
      const float sfc_h = missing(sfc.h) ? 0.0f : sfc.h;
      auto below_sfc = [&sfc](float d) { return missing(sfc.p) || missing(d) ? M : sfc.p - d; };
      if (ltype == VAR_LEV_PAG) l1 = below_sfc(l1);
      if (ltype == VAR_LEV_PAGLYR) {
        l1 = below_sfc(l1);
        l2 = below_sfc(l2);
      }
      if (ltype == VAR_LEV_AGL && !missing(l1)) l1 += sfc_h;
      if (ltype == VAR_LEV_ALYR) {
        if (!missing(l1)) l1 += sfc_h;
        if (!missing(l2)) l2 += sfc_h;
      }
      if (ltype == VAR_LEV_PLYR && (l1 == UPA_LEV_SFC_LAYER || l1 == UPA_LEV_MAXT_LAYER)) l1 = sfc.p;
      if (ltype == VAR_LEV_PLYR && l1 == UPA_LEV_TROP_LAYER) {
        float top = missing(trop.p) ? M : trop.p - l2;
        l1 = missing(top) || top < 0 ? M : trop.p;
        l2 = l1 == M ? M : top;
      }
      if (ltype == VAR_LEV_HLYR && l1 == UPA_LEV_TROP_HGT) {
        /* Both the tropopause's pressure (that there is one) and its
         * height are needed. */
        float top = missing(trop.p) || missing(trop.h) ? M : trop.h + l2;
        l1 = missing(top) || top < 0 ? M : trop.h;
        l2 = l1 == M ? M : top;
      }
      if (ltype == VAR_LEV_PLYR && l1 >= UPA_LEV_SFC_THICK) {
        th = l1 - UPA_LEV_SFC_THICK;
        l1 = sfc.p;
      }
      break;
    }
  }
  if (coord) *coord = c;
  if (lev1) *lev1 = l1;
  if (lev2) *lev2 = l2;
  if (thick) *thick = th;
  return result;
}

int UPA_is_maxt(const VAR_data* var) {
  if (var == nullptr || var->ltype != VAR_LEV_PLYR) return 0;
  float l1 = M, l2 = M;
  VAR_get_level(var->ltype, var->level, &l1, &l2);
  return l1 == UPA_LEV_MAXT_LAYER ? 1 : 0;
}

int UPA_make_layer(const VAR_data* var, int* /*coord*/, float* lev1, float* lev2, float delta) {
  if (var == nullptr || lev1 == nullptr || lev2 == nullptr) return 0;
  if (delta < 0) delta = 0;
  const float level = static_cast<float>(var->level);
  switch (var->ltype) {
    case UPA_CO_PRES:
      if (delta == 0) delta = half_pres;
      *lev1 = level - delta;
      *lev2 = level + delta;
      break;
    case UPA_CO_HGT:
    case UPA_CO_THETA:
      if (delta == 0) delta = var->ltype == UPA_CO_HGT ? half_hgt : half_theta;
      *lev1 = level + delta;
      *lev2 = level - delta;
      break;
    default: break;
  }
  return 0;
}

int UPA_calc_layer(const VAR_data* var, RAW_data* data) {
  int coord = UPA_CO_PRES;
  float bottom = M, top = M, thick = M;
  UPA_level_decode(var, &coord, &bottom, &top, &thick);
  order_bounds(coord, &bottom, &top);
  float v = M;
  if (var) {
    /* The record's name need not be terminated. */
    std::string name(var->name, strnlen(var->name, sizeof var->name));
    v = mean_value(name.c_str(), THERM_get_SM(), THERM_get_SM_num(), coord, bottom, top);
  }
  if (data) data->value[0] = v;
  return 0;
}

int UPA_calc_wind_layer(const VAR_data* var, WIND* wind) {
  int coord = UPA_CO_PRES;
  float bottom = M, top = M, thick = M;
  UPA_level_decode(var, &coord, &bottom, &top, &thick);
  order_bounds(coord, &bottom, &top);
  WIND w{M, M};
  if (layer_wind_mean(THERM_get_WM(), THERM_get_WM_num(), coord, bottom, top, &w) != 1) w = {M, M};
  if (wind) *wind = w;
  return 0;
}
