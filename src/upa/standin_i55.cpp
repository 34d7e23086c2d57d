/*
 * STAND-IN (branch i55): minimal placeholders for the layer quantities,
 * the parcel ascent and the stability and wind-profile indices of ua_calc,
 * which are being built elsewhere. Every function gives the missing value
 * (or "nothing computed") and leaves its sounding alone, so that the
 * analysis run and its tables link and run. Drop this file when ua_calc
 * lands.
 */
#include "kezupa.h"

namespace {

constexpr float M = KEZ_FMISS;

} // namespace

float mean_value(const char*, const UPA_level*, int, int, float, float) { return M; }

int layer_wind_mean(const UPA_level*, int, int, float, float, WIND* wind) {
  if (wind) *wind = {M, M};
  return -1;
}

float pr_ccl(const UPA_level*, int, int, float, float, float* Wbar) {
  if (Wbar) *Wbar = M;
  return M;
}

float thickness(const UPA_level*, int, int, float, float) { return M; }
float lapse_rate(const UPA_level*, int, int, float, float) { return M; }
float precip_water(const UPA_level*, int) { return M; }
float freezing_level(const UPA_level*, int) { return M; }
float wet_bulb_zero(const UPA_level*, int) { return M; }
float max_temperature(const UPA_level*, int, int, float, float) { return M; }

int thetae_index(const UPA_level*, int, THETAE_params* params) {
  if (params) *params = {M, M, M, M, M, M, M};
  return -1;
}

int parcel_calc(const UPA_level*, int, UPA_level*, int, float, float, PARCEL_params* params) {
  if (params) *params = {M, M, M, M, M, M, M, M, M, M, M, M};
  return 0;
}

float cap_strength(const UPA_level*, int, int, float, float) { return M; }
float lifted_index(const UPA_level*, int, int, float, float, float) { return M; }
float total_totals(const UPA_level*, int) { return M; }
float vertical_totals(const UPA_level*, int) { return M; }
float cross_totals(const UPA_level*, int) { return M; }
float k_index(const UPA_level*, int) { return M; }
float sweat_index(const UPA_level*, int) { return M; }
float energy_index(const UPA_level*, int) { return M; }

int helicity(const UPA_level*, int, int, float, float, const WIND*, HELICITY_params* windp) {
  if (windp) *windp = {M, M, M, M, M, M, M, M};
  return 0;
}

int shear_layer(const UPA_level*, int, int, float, float, const WIND*, SHEAR_params* windp) {
  if (windp) *windp = {M, M};
  return 0;
}

int bulk_richardson(const UPA_level*, int, int, float, float, float* brn, float* shear) {
  if (brn) *brn = M;
  if (shear) *shear = M;
  return -1;
}

float energy_helicity(const UPA_level*, int, int, float, const WIND*, float) { return M; }
