/*
 * calc: the meteorological formula library.
 *
 * Plain functions of plain values in kelvin, mb and km; every formula gives
 * -9999 for an input it cannot use. The map module reads potential
 * temperature for its thermodynamic diagrams, and the station search orders
 * stations by the great-circle distance.
 */
#include "kez.h"

#include <cmath>

namespace {

/* Earth radius of the distance formula, km. */
constexpr double dist_earth_rad = 100.0 * 63.713;
constexpr double rad_per_deg = 0.017453292519943334;

/* Poisson exponent R/cp of dry air. */
constexpr double kappa = 0.286;

} // namespace

float pot_temp(float temp, float pr) {
  if (!(temp > 0.0f) || !(pr > 0.0f)) return KEZ_FMISS;
  return static_cast<float>(temp * std::pow(1000.0 / pr, kappa));
}

float calc_earth_dist(float lat1, float lon1, float lat2, float lon2) {
  if (lat1 == KEZ_FMISS || lon1 == KEZ_FMISS || lat2 == KEZ_FMISS || lon2 == KEZ_FMISS)
    return KEZ_FMISS;
  /* The haversine form keeps its precision for short distances, where the
   * arc cosine of a dot product near 1 loses it. */
  double p1 = lat1 * rad_per_deg;
  double p2 = lat2 * rad_per_deg;
  double sdlat = std::sin(0.5 * (p2 - p1));
  double sdlon = std::sin(0.5 * (static_cast<double>(lon2) - lon1) * rad_per_deg);
  double h = sdlat * sdlat + std::cos(p1) * std::cos(p2) * sdlon * sdlon;
  h = std::fmin(1.0, std::fmax(0.0, h));
  return static_cast<float>(2.0 * dist_earth_rad * std::asin(std::sqrt(h)));
}
