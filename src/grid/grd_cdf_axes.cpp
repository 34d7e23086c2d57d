/*
 * grd_cdf_axes: the coordinates of present-day (CF) output, for grd_cdf.
 *
 * The latitude-longitude grid from the coordinates that say they are
 * latitudes and longitudes (evenly spaced, longitudes west to east, across
 * the date line too), the times of a time coordinate from its units and
 * calendar (a forecast hour from the reference time where one is given),
 * and the levels of a vertical coordinate as the level types name them.
 * What cannot be expressed is refused with its reason, for the variable
 * list to report.
 */
#include "grd_cdf_impl.h"
#include "kezgrd.h"

#include "cdf_lib.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

using namespace grd_cdf_impl;

namespace {

/* The longest coordinate read whole (times, levels, latitudes, longitudes). */
constexpr long kMaxAxis = 1000000;
/* Forecast hours below this are plain hours; from 800 on a time code
 * counts days and months. */
constexpr double kMaxForecastHour = 800.0;

} // namespace

namespace grd_cdf_impl {

/* ---- present-day (CF) output: coordinates, levels and times ---------------------------- */

/* The coordinate variable of a dimension (the variable of its name with
 * that one dimension), or -1. */
int coord_var(int nc, int dim) {
  char name[NC_MAX_NAME + 1] = "";
  if (dim < 0 || ncdiminq(nc, dim, name, nullptr) == -1) return -1;
  const int v = ncvarid(nc, name);
  VarShape s;
  if (v < 0 || !var_shape(nc, v, &s) || s.dims.size() != 1 || s.dims[0] != dim || s.type == NC_CHAR) return -1;
  return v;
}

} // namespace grd_cdf_impl

namespace {

/* All numbers of a one-dimensional variable, at most kMaxAxis of them. */
bool axis_values(int nc, int var, std::vector<double>* out) {
  VarShape s;
  if (!var_shape(nc, var, &s) || s.dims.size() != 1) return false;
  const long len = dim_len(nc, s.dims[0]);
  if (len < 1 || len > kMaxAxis) return false;
  return get_numbers(nc, var, {0}, {len}, out);
}

} // namespace

namespace grd_cdf_impl {

/* Longitudes and latitudes by their standard name or units; the
 * coordinates of a rotated grid are none, whatever units they give. */
bool is_lon_coord(int nc, int var) {
  const std::string u = lower(att_text(nc, var, "units", kUnitsMax));
  const std::string sn = att_text(nc, var, "standard_name", kUnitsMax);
  if (sn == "grid_longitude") return false;
  return sn == "longitude" || u == "degrees_east" || u == "degree_east" || u == "degrees_e" || u == "degree_e";
}

bool is_lat_coord(int nc, int var) {
  const std::string u = lower(att_text(nc, var, "units", kUnitsMax));
  const std::string sn = att_text(nc, var, "standard_name", kUnitsMax);
  if (sn == "grid_latitude") return false;
  return sn == "latitude" || u == "degrees_north" || u == "degree_north" || u == "degrees_n" || u == "degree_n";
}

} // namespace grd_cdf_impl

namespace {

/* Evenly spaced values (equal steps within a small part of a step). */
bool evenly_spaced(const std::vector<double>& v, double* step) {
  if (v.size() < 2) return false;
  *step = v[1] - v[0];
  if (!std::isfinite(*step) || *step == 0) return false;
  for (size_t i = 1; i < v.size(); ++i) {
    const double d = v[i] - v[i - 1];
    if (!std::isfinite(d) || std::fabs(d - *step) > 1e-3 * std::fabs(*step)) return false;
  }
  return true;
}

} // namespace

namespace grd_cdf_impl {

/* The grid of the latitude and longitude coordinates: evenly spaced,
 * longitudes from west to east (across the date line too); latitudes in
 * either order. False with the reason otherwise. */
bool lat_lon_grid(int nc, int lat_id, int lon_id, Geometry* g, std::string* why) {
  std::vector<double> lat, lon;
  if (!axis_values(nc, lat_id, &lat) || !axis_values(nc, lon_id, &lon) || lat.size() < 2 || lon.size() < 2) {
    *why = "latitudes or longitudes cannot be read";
    return false;
  }
  for (size_t i = 1; i < lon.size(); ++i)
    if (lon[i] < lon[i - 1] - 180.0) lon[i] += 360.0 * std::ceil((lon[i - 1] - lon[i] - 180.0) / 360.0);
  double dy = 0, dx = 0;
  if (!evenly_spaced(lat, &dy) || !evenly_spaced(lon, &dx) || dx < 0 || std::fabs(lat.front()) > 90.0 ||
      std::fabs(lat.back()) > 90.0 || dx * (static_cast<double>(lon.size()) - 1) > 360.0 + 1e-3 * dx) {
    *why = "not an evenly spaced latitude-longitude grid";
    return false;
  }
  Domain& d = g->d;
  DOM_init(&d);
  d.proj = 2;
  d.nx = static_cast<int>(lon.size());
  d.ny = static_cast<int>(lat.size());
  d.dx = to_float(dx);
  d.dy = to_float(std::fabs(dy));
  d.clat = to_float((lat.front() + lat.back()) / 2.0);
  d.clon = to_float((lon.front() + lon.back()) / 2.0);
  g->south_first = dy > 0;
  g->known = true;
  return true;
}

} // namespace grd_cdf_impl

namespace {

/* Seconds of a CF time unit, 0 for none. */
double time_unit(const std::string& word) {
  const std::string w = lower(word);
  for (const char* s : {"seconds", "second", "secs", "sec", "s"})
    if (w == s) return 1;
  for (const char* s : {"minutes", "minute", "mins", "min"})
    if (w == s) return 60;
  for (const char* s : {"hours", "hour", "hrs", "hr", "h"})
    if (w == s) return 3600;
  for (const char* s : {"days", "day", "d"})
    if (w == s) return 86400;
  return 0;
}

/* Days from 1970-01-01 to a date of the Gregorian calendar, before 1901
 * and after 2099 too (the suite's own day count takes every fourth year
 * for a leap year: "hours since 1900-01-01" would be a day off). */
long long civil_days(long long y, int m, int d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yoe = y - era * 400;
  const long long doy = (153LL * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

/* "UNIT since YYYY-MM-DD[ hh[:mm[:ss]]]" (a "T" for the blank, a "Z",
 * "UTC" or a zero offset after it): the unit in seconds and the origin in
 * seconds. */
bool time_units(const std::string& text, double* unit, long* origin) {
  const size_t since = lower(text).find(" since ");
  if (since == std::string::npos) return false;
  *unit = time_unit(text.substr(0, since));
  if (*unit == 0) return false;
  std::string rest = text.substr(since + 7);
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, used = 0;
  double sec = 0;
  const char* p = rest.c_str();
  while (*p == ' ') ++p;
  if (std::sscanf(p, "%d-%d-%d%n", &y, &mo, &d, &used) != 3) return false;
  p += used;
  if (*p == 'T' || *p == ' ') {
    const char* q = p + 1;
    while (*q == ' ') ++q;
    int n = std::sscanf(q, "%d:%d:%lf%n", &h, &mi, &sec, &used);
    if (n == 3) {
      p = q + used;
    } else if (std::sscanf(q, "%d:%d%n", &h, &mi, &used) == 2) {
      p = q + used;
    } else if (std::sscanf(q, "%d%n", &h, &used) == 1) {
      p = q + used;
    }
  }
  std::string tail = p;
  tail.erase(0, tail.find_first_not_of(' '));
  tail.erase(tail.find_last_not_of(' ') + 1);
  bool utc = tail.empty();
  for (const char* z : {"Z", "UTC", "GMT", "+00:00", "+0000", "+00", "-00:00", "+0:00", "0:00"})
    if (tail == z) utc = true;
  if (!utc || y < 1 || y > 9999 || mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 || mi > 59 ||
      !(sec >= 0 && sec < 61))
    return false;
  *origin = static_cast<long>(civil_days(y, mo, d) * 86400LL + h * 3600LL + mi * 60LL + static_cast<long long>(sec));
  return true;
}

bool gregorian(int nc, int var) {
  const std::string cal = lower(att_text(nc, var, "calendar", kUnitsMax));
  return cal.empty() || cal == "standard" || cal == "gregorian" || cal == "proleptic_gregorian";
}

/* Seconds of each index of a time coordinate; false with the reason. */
bool valid_times(int nc, int var, std::vector<long>* out, std::string* why) {
  double unit = 0;
  long origin = 0;
  std::vector<double> v;
  if (!time_units(att_text(nc, var, "units", kUnitsMax), &unit, &origin)) {
    *why = "time units not understood";
    return false;
  }
  if (!gregorian(nc, var)) {
    *why = "calendar other than the Gregorian";
    return false;
  }
  if (!axis_values(nc, var, &v)) {
    *why = "times cannot be read";
    return false;
  }
  out->clear();
  for (double x : v) {
    const double s = x * unit;
    if (!std::isfinite(s) || std::fabs(s) > 1e13) {
      *why = "times out of range";
      return false;
    }
    out->push_back(origin + std::lround(s));
  }
  return true;
}

} // namespace

namespace grd_cdf_impl {

/* The steps of a time axis. A field is a forecast from its reference time:
 * the "forecast_reference_time" when the file gives one, else the origin
 * of the time units, as model output writes them, when the time is a whole
 * forecast hour from it; any other time is its own valid time (hour 0). */
bool time_axis(int nc, int dim, std::vector<TimeStep>* steps, std::string* why) {
  const int var = coord_var(nc, dim);
  if (var < 0) {
    *why = "times without a coordinate";
    return false;
  }
  std::vector<long> valid;
  if (!valid_times(nc, var, &valid, why)) return false;
  double unit = 0;
  long origin = 0;
  time_units(att_text(nc, var, "units", kUnitsMax), &unit, &origin);
  std::vector<long> refs;
  int nvars = 0;
  if (ncinquire(nc, nullptr, &nvars, nullptr, nullptr) == -1) nvars = 0;
  for (int v = 0; v < nvars && refs.empty(); ++v) {
    if (att_text(nc, v, "standard_name", kUnitsMax) != "forecast_reference_time") continue;
    VarShape s;
    std::string ignore;
    std::vector<long> r;
    if (!var_shape(nc, v, &s) || s.type == NC_CHAR) continue;
    if (s.dims.empty()) {
      double u = 0;
      long o = 0;
      std::vector<double> x;
      if (time_units(att_text(nc, v, "units", kUnitsMax), &u, &o) && get_numbers(nc, v, {}, {}, &x) && x.size() == 1 &&
          std::isfinite(x[0] * u))
        refs.assign(valid.size(), o + std::lround(x[0] * u));
    } else if (s.dims.size() == 1 && s.dims[0] == dim && valid_times(nc, v, &r, &ignore) && r.size() == valid.size()) {
      refs = r;
    }
  }
  steps->clear();
  for (size_t i = 0; i < valid.size(); ++i) {
    const long ref = refs.empty() ? origin : refs[i];
    const double hours = static_cast<double>(valid[i] - ref) / 3600.0;
    TimeStep t;
    const bool forecast = hours >= 0 && hours < kMaxForecastHour && hours == std::floor(hours);
    t.ref = forecast ? ref : valid[i];
    t.time = forecast ? static_cast<int>(hours) : 0;
    DATE_get_gmdate(&t.ref, &t.date);
    steps->push_back(t);
  }
  return true;
}

} // namespace grd_cdf_impl

namespace {

/* Pressure units in mb, 0 for none. */
double pressure_unit(const std::string& units) {
  const std::string u = unit_name(units);
  if (u == "Pa") return 0.01;
  if (u == "hPa" || u == "mb") return 1;
  if (u == "kPa") return 10;
  return 0;
}

} // namespace

namespace grd_cdf_impl {

/* The levels of a vertical coordinate, as the level types name them:
 * pressure (mb), height above the ground or above sea level (m), potential
 * temperature (K) and sigma. Layers, other coordinates and levels that are
 * no whole number of their unit are not named. */
bool level_axis(int nc, int dim, LevelAxis* axis, std::string* why) {
  const int var = coord_var(nc, dim);
  if (var < 0) {
    *why = "a dimension without coordinates";
    return false;
  }
  const std::string std_name = att_text(nc, var, "standard_name", kUnitsMax);
  const std::string units = att_text(nc, var, "units", kUnitsMax);
  const std::string u = unit_name(units);
  double scale = 1;
  if (!att_text(nc, var, "bounds", kUnitsMax).empty()) {
    *why = "layers";
    return false;
  }
  if (std_name == "air_pressure" || (std_name.empty() && pressure_unit(units) > 0)) {
    axis->ltype = 100;
    scale = pressure_unit(units);
  } else if ((std_name == "height" || std_name == "altitude") && u == "m") {
    axis->ltype = std_name == "height" ? 105 : 103;
  } else if (std_name == "air_potential_temperature" && u == "K") {
    axis->ltype = 113;
  } else if (std_name == "atmosphere_sigma_coordinate") {
    axis->ltype = 107;
    scale = 10000;
  } else {
    *why = "levels of no kind the level types name";
    return false;
  }
  std::vector<double> v;
  if (scale == 0 || !axis_values(nc, var, &v)) {
    *why = "levels that cannot be read";
    return false;
  }
  axis->codes.clear();
  for (double x : v) {
    const double c = x * scale;
    if (!std::isfinite(c) || std::fabs(c - std::round(c)) > 1e-3 || std::fabs(c) > 1e8) {
      *why = "levels not in whole units";
      return false;
    }
    axis->codes.push_back(static_cast<int>(std::lround(c)));
  }
  return true;
}

} // namespace grd_cdf_impl
