/*
 * calc: the meteorological formula library.
 *
 * Pure functions of single float values that every data component shares:
 * saturation vapour pressure and its inverse, mixing ratio and humidities,
 * potential, virtual, equivalent-potential and wet-bulb temperatures, dry and
 * saturated adiabats, the lifting condensation level, the convective
 * temperature, wind chill, heat index and humiture, pressure reductions and
 * pressure altitude, interpolation in the logarithm of pressure and the
 * great-circle distance. Units are kelvin, mb, g/kg, percent, m/s, m and km.
 *
 * Arguments are screened mostly by sign, so -9999 (missing) is caught as a
 * negative value. Each function has one failure result that its callers test
 * for: -9999 for most, 0 for the inverting functions (temp_on_dryad,
 * temp_on_mixrat, temp_vapor_pr, thetae_on_satad, lcl_temp, conv_temp). A
 * humidity argument of 100 or less is read as a vapour pressure (mb) or a
 * mixing ratio (g/kg) where a function says so. No function keeps state.
 */
#include "kez.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

/* Earth radius of the distance formula, km. */
constexpr double dist_earth_rad = 100.0 * 63.713;
constexpr double rad_per_deg = 0.017453292519943334;

/* Poisson exponent R/cp of dry air. */
constexpr double kappa = 0.286;

/* Ratio of the molar masses of water and dry air, in g/kg. */
constexpr double eps_gkg = 622.0;

/* An argument at or below this is a vapour pressure (mb) or a mixing ratio
 * (g/kg) rather than a temperature. */
constexpr double humidity_arg_max = 100.0;

/* Latent heat over specific heat of dry air, times 1e-3 for g/kg (K). */
constexpr double lv_over_cp = 2.6518986;

/* Skin temperature of the wind-chill formulas (K), the calm limit of the
 * wind speed (m/s) and the speed above which the wind adds no more chill. */
constexpr double skin_temp = 306.15;
constexpr double calm_wind = 2.0;
constexpr double max_chill_wind = 26.0;
/* Weight of the wind term and W/m^2 per kcal/(m^2 h) of the cooling power. */
constexpr double chill_wind_weight = 0.0453843;
constexpr double kcal_per_hour_in_watt = 1.1627;

constexpr double kelvin_at_zero_c = 273.15;

/* Screens that also reject a not-a-number argument. */
bool positive(double v) { return v > 0.0; }
bool negative(double v) { return !(v >= 0.0); }
bool is_miss(double v) { return v == KEZ_FMISS; }

/* A result that is not a finite float is the function's failure result. */
float to_float(double v, float fail = KEZ_FMISS) {
  float f = static_cast<float>(v);
  return std::isfinite(f) ? f : fail;
}

double fahrenheit(double kelvin) { return 32.0 + 9.0 * (kelvin - kelvin_at_zero_c) / 5.0; }
double kelvin_of_f(double f) { return kelvin_at_zero_c + 5.0 * (f - 32.0) / 9.0; }

/* The vapour pressure that a humidity-or-temperature argument stands for. */
double vapour_of(double temp) {
  return temp <= humidity_arg_max ? temp : static_cast<double>(vapor_pr(static_cast<float>(temp)));
}

/* The mixing ratio (g/kg) of vapour pressure e at pressure pr (both mb). */
float mix_of(double e, float pr) {
  if (negative(e) || !(e < pr)) return KEZ_FMISS;
  return to_float(eps_gkg * e / (pr - e));
}

/* Temperature (K) whose saturation vapour pressure is e (mb), e > 0. */
double temp_of_vapour(double e) {
  return std::pow(10.0, 0.0498646455 * std::log10(e) + 2.4082965) - 7.08475 +
         38.9114 * std::pow(std::pow(e, 0.0915) - 1.2035, 2.0);
}

} // namespace

float pot_temp(float temp, float pr) {
  if (!(temp > 0.0f) || !(pr > 0.0f)) return KEZ_FMISS;
  return static_cast<float>(temp * std::pow(1000.0 / pr, kappa));
}

float calc_earth_dist(float lat1, float lon1, float lat2, float lon2) {
  if (lat1 == KEZ_FMISS || lon1 == KEZ_FMISS || lat2 == KEZ_FMISS || lon2 == KEZ_FMISS) return KEZ_FMISS;
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

float vapor_pr(float t) {
  if (negative(t)) return KEZ_FMISS;
  if (t < humidity_arg_max) return 0.0f;
  double tk = t;
  double log_e = 23.832241 - 5.02808 * std::log10(tk) - 1.3816e-7 * std::pow(10.0, 11.344 - 0.0303998 * tk) +
                 0.008132801 * std::pow(10.0, 3.49149 - 1302.8844 / tk) - 2949.076 / tk;
  return to_float(std::pow(10.0, log_e));
}

float temp_vapor_pr(float e) {
  if (!positive(e)) return 0.0f;
  return to_float(temp_of_vapour(e), 0.0f);
}

float temp_on_mixrat(float w, float pr) {
  if (!positive(w) || !positive(pr)) return 0.0f;
  double e = static_cast<double>(w) * pr / (eps_gkg + w);
  return to_float(temp_of_vapour(e), 0.0f);
}

/* A vapour pressure at or above the pressure has no mixing ratio: the
 * ratio would be infinite or negative, so it is missing. */
float mix_ratio(float temp, float pr) {
  if (is_miss(temp) || is_miss(pr)) return KEZ_FMISS;
  if (!positive(temp) || !positive(pr)) return 0.0f;
  return mix_of(vapour_of(temp), pr);
}

float spec_hum(float temp, float pr) {
  if (is_miss(temp) || is_miss(pr)) return KEZ_FMISS;
  if (!positive(temp) || !positive(pr)) return 0.0f;
  double e = vapour_of(temp);
  if (negative(e) || !(e < pr)) return KEZ_FMISS;
  return to_float(eps_gkg * e / pr);
}

/* Without a saturation vapour pressure of t (t below 100 K while td is a
 * temperature) there is no ratio to form. */
float rel_hum(float t, float td) {
  if (!positive(t) || !positive(td)) return KEZ_FMISS;
  if (t <= humidity_arg_max && td <= humidity_arg_max) return to_float(100.0 * td / t);
  double es = vapor_pr(t);
  double e = vapor_pr(td);
  if (!positive(es) || negative(e)) return KEZ_FMISS;
  return to_float(100.0 * e / es);
}

float dew_temp(float temp, float rh) {
  if (is_miss(rh) || std::isnan(rh) || !positive(temp)) return KEZ_FMISS;
  double r = std::clamp(static_cast<double>(rh), 2.0, 100.0);
  double es = vapor_pr(temp);
  if (negative(es)) return KEZ_FMISS;
  return temp_vapor_pr(static_cast<float>(es * r / 100.0));
}

float temp_on_dryad(float pot, float pr) {
  if (!positive(pot) || !positive(pr)) return 0.0f;
  return to_float(pot * std::pow(pr / 1000.0, kappa), 0.0f);
}

float virt_temp(float temp, float dewp, float pr) {
  if (!positive(temp) || negative(dewp) || negative(pr)) return KEZ_FMISS;
  if (dewp == 0.0f) return temp;
  double w = dewp <= humidity_arg_max ? static_cast<double>(dewp) : mix_ratio(dewp, pr);
  if (negative(w)) return KEZ_FMISS;
  return to_float(temp * (1.0 + 0.609 * w / 1000.0));
}

float virt_pot_temp(float temp, float dewp, float pr) {
  if (!positive(temp) || negative(dewp) || negative(pr)) return KEZ_FMISS;
  if (dewp == 0.0f) return pot_temp(temp, pr);
  if (!positive(pr)) return KEZ_FMISS;
  double tv = virt_temp(temp, dewp, pr);
  if (is_miss(tv)) return KEZ_FMISS;
  return to_float(tv * std::pow(1000.0 / pr, kappa));
}

float thetae_on_satad(float temp, float pr) {
  if (!positive(temp) || !positive(pr)) return 0.0f;
  double w = mix_ratio(temp, pr);
  if (negative(w)) return 0.0f;
  return to_float(temp * std::pow(1000.0 / pr, kappa) / std::exp(-lv_over_cp * w / temp), 0.0f);
}

namespace {

/* The search along a saturated adiabat starts at the same temperature and
 * halves the same step in every call, so its trial temperatures form one
 * binary tree (node n has the trial below at 2n + 1, the one above at
 * 2n + 2). Their saturation vapour pressures, the costly part of a trial,
 * are computed once, exactly as each trial would compute them. */
constexpr int satad_trials = 12;
constexpr double satad_start = 253.16;
constexpr double satad_step = 120.0;
constexpr int satad_nodes = (1 << satad_trials) - 1;

const std::vector<double>& satad_vapour() {
  static const std::vector<double> e = [] {
    std::vector<double> t(satad_nodes), v(satad_nodes);
    t[0] = satad_start;
    double step = satad_step;
    for (int depth = 0, first = 0; depth < satad_trials; ++depth, first = 2 * first + 1) {
      step /= 2.0;
      for (int n = first; n < 2 * first + 1; ++n) {
        v[n] = vapour_of(static_cast<float>(t[n]));
        if (2 * n + 2 < satad_nodes) {
          t[2 * n + 1] = t[n] + -step;
          t[2 * n + 2] = t[n] + step;
        }
      }
    }
    return v;
  }();
  return e;
}

} // namespace

/* A trial temperature whose vapour pressure reaches the pressure lies far
 * above the adiabat, so the search then steps down. */
float temp_on_satad(float pot, float pr) {
  if (!positive(pot) || !positive(pr) || pr > 2000.0f) return KEZ_FMISS;
  const std::vector<double>& vapour = satad_vapour();
  /* pot_temp of a trial, its pressure's factor formed once */
  const double factor = std::pow(1000.0 / pr, kappa);
  double t = satad_start;
  double step = satad_step;
  int node = 0;
  for (int i = 0; i < satad_trials; ++i) {
    float tf = static_cast<float>(t);
    double w = mix_of(vapour[node], pr);
    double theta = tf > 0.0f ? static_cast<float>(tf * factor) : KEZ_FMISS;
    double x = negative(w) ? -1.0 : pot * std::exp(-lv_over_cp * w / t) - theta;
    if (x * x < 2e-5) return tf;
    step /= 2.0;
    t += x > 0.0 ? step : -step;
    node = 2 * node + (x > 0.0 ? 2 : 1);
  }
  return static_cast<float>(t);
}

float lcl_pres(float ts, float tds, float ps) {
  if (!(ts > humidity_arg_max) || !(tds > humidity_arg_max) || !positive(ps) || ps > 1100.0f) return KEZ_FMISS;
  float w = mix_ratio(tds, ps);
  float theta = pot_temp(ts, ps);
  if (!positive(w) || !positive(theta)) return KEZ_FMISS;
  double p = ps;
  auto gap = [&](double pp) {
    float fp = static_cast<float>(pp);
    return static_cast<double>(temp_on_mixrat(w, fp)) - temp_on_dryad(theta, fp);
  };
  double d = gap(p);
  for (int i = 0; i < 8 && d * d > 1e-4; ++i) {
    p *= std::pow(2.0, 0.02 * d);
    d = gap(p);
  }
  /* Saturated air condenses where it is: the search, whose saturation
   * formula and its inverse differ by a few hundredths of a degree, may
   * step a little below it. */
  return to_float(std::min(p, static_cast<double>(ps)));
}

float lcl_temp(float ts, float ps, float pl) { return temp_on_dryad(pot_temp(ts, ps), pl); }

float conv_temp(float wbar, float pc, float pr) { return temp_on_dryad(pot_temp(temp_on_mixrat(wbar, pc), pc), pr); }

/* Air without a lifting condensation level (a dew point that is no
 * temperature, or more moisture than the pressure holds) has no value. */
float eq_pot_temp(float temp, float dewp, float pr) {
  if (!positive(temp) || negative(dewp) || negative(pr)) return KEZ_FMISS;
  if (dewp == 0.0f) return pot_temp(temp, pr);
  float pl = lcl_pres(temp, dewp, pr);
  if (!positive(pl)) return KEZ_FMISS;
  float te = thetae_on_satad(lcl_temp(temp, pr, pl), pl);
  return positive(te) ? te : KEZ_FMISS;
}

float wet_bulb(float temp, float dewp, float pr) {
  if (!positive(temp) || negative(dewp) || negative(pr)) return KEZ_FMISS;
  if (dewp == 0.0f) return 0.0f;
  return temp_on_satad(eq_pot_temp(temp, dewp, pr), pr);
}

float wet_bulb_pot_temp(float temp, float dewp, float pr) {
  if (!positive(temp) || negative(dewp) || negative(pr)) return KEZ_FMISS;
  if (dewp == 0.0f) return 0.0f;
  return temp_on_satad(eq_pot_temp(temp, dewp, pr), 1000.0f);
}

float wind_chill_temp(float temp, float ws) {
  if (negative(temp) || negative(ws)) return KEZ_FMISS;
  if (ws < calm_wind || temp > skin_temp) return temp;
  double v = std::min(static_cast<double>(ws), max_chill_wind);
  return to_float(skin_temp - (0.474266 + 0.453843 * std::sqrt(v) - chill_wind_weight * v) * (skin_temp - temp));
}

/* The cooling power is tied to the wind-chill temperature in every case:
 * P = 1.1627 (306.15 - Twc) / 0.0453843. In calm air (Twc = T) that is the
 * power of the reference wind of about 1.8 m/s at the temperature; above
 * skin temperature it is negative, a gain of heat. */
float wind_chill(float temp, float ws) {
  float twc = wind_chill_temp(temp, ws);
  if (is_miss(twc)) return KEZ_FMISS;
  return to_float(kcal_per_hour_in_watt * (skin_temp - twc) / chill_wind_weight);
}

float wind_chill_temp2(float temp, float ws) {
  if (negative(temp) || negative(ws)) return KEZ_FMISS;
  double w = 116.514 + 0.6215 * temp + std::pow(static_cast<double>(ws), 0.16) * (0.4863 * temp - 146.774);
  return to_float(std::min(w, static_cast<double>(temp)));
}

namespace {

/* The 16-term regression of the apparent temperature (°F) on temperature
 * (°F) and relative humidity (%). Its constant is 16.923, the published
 * value; 16 would put every index about 0.9 °F low. */
struct HeatTerm {
  int t_pow, rh_pow;
  double coeff;
};
constexpr HeatTerm heat_terms[] = {
    {0, 0, 16.923},     {1, 0, 0.185212},    {0, 1, 5.37941},     {1, 1, -0.100254},
    {2, 0, 0.00941695}, {0, 2, 0.00728898},  {2, 1, 3.45372e-4},  {1, 2, -8.14971e-4},
    {2, 2, 1.02102e-5}, {3, 0, -3.8646e-5},  {0, 3, 2.91583e-5},  {3, 1, 1.42721e-6},
    {1, 3, 1.97483e-7}, {3, 2, -2.18429e-8}, {2, 3, 8.43296e-10}, {3, 3, -4.81975e-11},
};

} // namespace

float heat_index(float temp, float dewp) {
  if (negative(temp) || negative(dewp) || dewp > temp) return KEZ_FMISS;
  double es = vapor_pr(temp);
  double e = vapor_pr(dewp);
  if (!positive(es) || negative(e)) return KEZ_FMISS;
  double tf = fahrenheit(temp);
  double rh = 100.0 * e / es;
  double first = 60.8 + 1.2 * (tf - 68.0) + 0.0936 * rh;
  if (first < 77.0) return to_float(kelvin_of_f(first));
  double hi = 0.0;
  for (const HeatTerm& term : heat_terms) hi += term.coeff * std::pow(tf, term.t_pow) * std::pow(rh, term.rh_pow);
  return to_float(kelvin_of_f(hi));
}

float humiture(float temp, float dewp) {
  if (negative(temp) || negative(dewp)) return KEZ_FMISS;
  double e = vapor_pr(dewp);
  if (negative(e)) return KEZ_FMISS;
  double tf = fahrenheit(temp);
  return to_float(e >= 21.0 ? tf + (e - 21.0) : tf);
}

float temp_hum_index(float temp, float dewp) {
  if (negative(temp) || negative(dewp)) return KEZ_FMISS;
  return to_float(0.55 * temp + 0.2 * dewp + 17.5);
}

/* Above the top of the standard atmosphere's formula (about 44 km) there is
 * no station pressure to give. */
float sfc_pr_alt(float alt, float el) {
  if (!positive(alt) || is_miss(el) || std::isnan(el)) return KEZ_FMISS;
  double ratio = (288.15 - 0.0065 * el) / 288.15;
  if (!positive(ratio)) return KEZ_FMISS;
  return to_float(alt * std::pow(ratio, 5.2558));
}

float pres_alt(float pres) {
  if (!positive(pres)) return KEZ_FMISS;
  if (pres < 226.32f) return to_float(11000.0 + 6341.62 * std::log(226.32 / pres));
  return to_float((288.15 - 288.15 * std::pow(pres / 1013.25, 0.190263)) / 0.0065);
}

/* Equal pressures, or a target pressure that is not positive, leave no
 * logarithmic line to follow: missing. */
float interp_temp(float t1, float t2, float p1, float p2, float pr) {
  if (!positive(p1) || !positive(p2)) return KEZ_FMISS;
  bool miss1 = is_miss(t1), miss2 = is_miss(t2);
  if (miss1 && miss2) return KEZ_FMISS;
  if (miss1) return t2;
  if (miss2) return t1;
  if (!positive(pr) || p1 == p2) return KEZ_FMISS;
  return to_float(t1 + (static_cast<double>(t2) - t1) * std::log(static_cast<double>(pr) / p1) /
                           std::log(static_cast<double>(p2) / p1));
}
