/*
 * The equivalent potential temperature of each level of one sounding,
 * formed on first use. The analysis run's theta-e index and wet-bulb-zero
 * level read it at the same low levels; each is an iteration of the
 * condensation level, so it is formed once per level. Internal to the
 * sounding analysis.
 */
#ifndef UA_THETAE_H
#define UA_THETAE_H

#include "kezupa.h"

#include <array>

class LevelThetae {
 public:
  LevelThetae(const UPA_level* lev, int num) : lev_(lev), num_(num) { seen_.fill(false); }

  /* eq_pot_temp of level k (K); -9999 without temperature, dew point or
   * pressure. */
  float at(int k) {
    if (k < 0 || k >= num_) return KEZ_FMISS;
    if (k >= UPA_MAX_LEVELS) return form(lev_[k]);
    if (!seen_[k]) {
      value_[k] = form(lev_[k]);
      seen_[k] = true;
    }
    return value_[k];
  }

 private:
  static float form(const UPA_level& l) {
    if (l.t == KEZ_FMISS || l.td == KEZ_FMISS || !(l.p > 0)) return KEZ_FMISS;
    return eq_pot_temp(l.t + 273.15f, l.td + 273.15f, l.p);
  }

  const UPA_level* lev_;
  int num_;
  std::array<float, UPA_MAX_LEVELS> value_{};
  std::array<bool, UPA_MAX_LEVELS> seen_{};
};

int thetae_index_of(const UPA_level* lev, int num, THETAE_params* params, LevelThetae& te);
float wet_bulb_zero_of(const UPA_level* lev, int num, LevelThetae& te);

#endif
