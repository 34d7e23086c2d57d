/*
 * maptran: the current domain, map projections and diagram coordinates.
 *
 * Every map and diagram is drawn in one current Domain. This module owns a
 * copy of it, its plot limits and the constants derived from it, and turns
 * positions between latitude and longitude (or a diagram's pair of data
 * values) and plot coordinates: MAP_tran forward, MAP_untran back. Map
 * projections work in plot units of 100 km on a sphere of radius 63.7122
 * (the satellite view may use an ellipsoid), the latitude/longitude
 * projection in degrees.
 *
 * Each projection and diagram is a small unit below (its constants, a
 * forward and an inverse function) and one record of the table `rules`:
 * its code, the name printed for it, the names read for it, its kind and
 * its functions.
 * Constants are computed by the first transformation after the current
 * domain changes and kept until the next change. Both directions answer 1
 * with their outputs set, or 0 with both outputs -9999 for a point that the
 * projection hides or that lies off the projected earth; a missing (-9999)
 * or non-finite input is never pushed through a formula.
 *
 * The module also keeps the grid-index conversions, conversion between two
 * domains, offsets by distance and bearing, the map factor, the turning of
 * directions between true north and the plot's up direction, and the
 * decluttering grid of the station plotters.
 */
#include "kez.h"
#include "maptran_impl.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

using namespace maptran_impl;

namespace maptran_impl {

MapState st;

} // namespace maptran_impl

namespace {

bool is_miss(double v) { return v == miss; }

/* Results of the units: the point is placed, or hidden / off the map. */
constexpr int shown = 1;

int hidden(double& x, double& y) {
  x = miss;
  y = miss;
  return 0;
}

double clamp1(double v) { return std::max(-1.0, std::min(1.0, v)); }

/* A longitude difference brought once into [-180, 180]. */
double wrap_once(double d) {
  if (d > 180.0) return d - 360.0;
  if (d < -180.0) return d + 360.0;
  return d;
}

/* A longitude brought into [-180, 180]. */
double norm_lon(double lon) {
  if (lon >= -180.0 && lon <= 180.0) return lon;
  return wrap_once(std::fmod(lon, 360.0));
}

/* The viewport of the skew-T and tephigram scalings: the one set through
 * MAP_set_view, or the unit square of the whole plot surface while none is
 * set, so that the scales never come from an unset viewport. */
MAP_limits diagram_view(const Frame& f) {
  const MAP_limits& v = f.view;
  bool unset = is_miss(v.x_min) || is_miss(v.x_max) || is_miss(v.y_min) || is_miss(v.y_max) || v.x_max == v.x_min ||
               v.y_max == v.y_min;
  if (unset) return MAP_limits{0.0f, 1.0f, 0.0f, 1.0f};
  return v;
}

/* ---- -9999: no projection, positions pass through ----------------------- */

/* ---- 1: polar stereographic --------------------------------------------- */
namespace stereo {

/* The true latitude counts in the domain's own hemisphere, whatever its
 * sign: a far-hemisphere true latitude would scale the map by a factor of
 * up to 14. */
void init(Frame& f) {
  f.hemi = f.dom.plat >= 0.0f ? -1.0 : 1.0;
  f.k = (1.0 + std::sin(std::fabs(f.tlat1) * rad)) * f.earth_rad;
}

int fwd(Frame& f, double lat, double lon, double& x, double& y) {
  double s = f.hemi;
  if (s * lat > 75.0) lat = 75.0 * s; /* far hemisphere drawn on the 75-degree circle */
  double r = f.k * std::tan((90.0 + s * lat) / 2.0 * rad);
  double a = (lon - f.dom.plon) * rad;
  x = r * std::sin(a);
  y = s * r * std::cos(a);
  return shown;
}

int inv(Frame& f, double x, double y, double& lat, double& lon) {
  double s = f.hemi;
  double r = std::hypot(x, y);
  double ang = (x == 0.0 && y == 0.0) ? 0.0 : std::atan2(x, s * y) * deg;
  lat = (2.0 * std::atan(r / f.k) * deg - 90.0) * s;
  lon = f.dom.plon + ang;
  return shown;
}

} // namespace stereo

/* ---- 2: latitude/longitude, plot units of degrees ------------------------ */
namespace latlon {

int fwd(Frame& f, double lat, double lon, double& x, double& y) {
  x = wrap_once(lon - f.dom.plon);
  y = lat;
  return shown;
}

int inv(Frame& f, double x, double y, double& lat, double& lon) {
  if (std::fabs(y) > 90.0) return hidden(lat, lon);
  lon = wrap_once(f.dom.plon + x);
  lat = y;
  return shown;
}

} // namespace latlon

/* ---- 3: Mercator ---------------------------------------------------------- */
namespace merc {

int fwd(Frame& f, double lat, double lon, double& x, double& y) {
  double R = f.earth_rad;
  x = R * (lon - f.dom.plon) * pi / 180.0;
  if (x > 180.0 * R * pi / 180.0)
    x -= 360.0 * R * pi / 180.0;
  else if (x < -180.0 * R * pi / 180.0)
    x += 360.0 * R * pi / 180.0;
  lat = std::max(-89.9, std::min(89.9, lat));
  y = -R * std::log(std::tan((45.0 - lat / 2.0) * rad));
  return shown;
}

int inv(Frame& f, double x, double y, double& lat, double& lon) {
  double R = f.earth_rad;
  lon = wrap_once(f.dom.plon + x / (R * pi / 180.0));
  lat = 90.0 - 2.0 * deg * std::atan(std::exp(-y / R));
  return shown;
}

} // namespace merc

/* ---- 4: Lambert conformal conic -------------------------------------------- */
namespace lambert {

/* True latitudes count in the domain's own hemisphere, whatever their sign,
 * so a southern domain may give them as -30:-60 or 30:60 alike. */
void init(Frame& f) {
  f.hemi = f.dom.plat >= 0.0f ? 1.0 : -1.0;
  double t1 = std::fabs(f.tlat1) * rad;
  double t2 = std::fabs(f.tlat2) * rad;
  double n;
  if (f.tlat1 == f.tlat2 || std::fabs(t1 - t2) < 1e-12) {
    n = std::sin(t1);
  } else {
    n = (std::log(std::cos(t1)) - std::log(std::cos(t2))) /
        (std::log(std::tan(pi / 4.0 - t1 / 2.0)) - std::log(std::tan(pi / 4.0 - t2 / 2.0)));
  }
  double F = std::cos(t1) / (n * std::pow(std::tan(pi / 4.0 - t1 / 2.0), n));
  f.cone = n;
  f.cone_f = F;
  f.usable = std::isfinite(n) && n > 0.0 && std::isfinite(F) && F > 0.0;
}

double radius(const Frame& f, double lat) {
  return f.cone_f * f.earth_rad * std::pow(std::tan((45.0 - f.hemi * lat / 2.0) * rad), f.cone);
}

/* The far pole is drawn at 89 degrees. */
double clamp_lat(const Frame& f, double lat) {
  if (f.hemi > 0.0 && lat < -89.0) return -89.0;
  if (f.hemi < 0.0 && lat > 89.0) return 89.0;
  return lat;
}

int fwd(Frame& f, double lat, double lon, double& x, double& y) {
  if (!f.usable) return hidden(x, y);
  double rho = radius(f, clamp_lat(f, lat));
  double theta = f.cone * wrap_once(lon - f.dom.plon) * rad;
  x = rho * std::sin(theta);
  y = -f.hemi * rho * std::cos(theta);
  return shown;
}

int inv(Frame& f, double x, double y, double& lat, double& lon) {
  if (!f.usable) return hidden(lat, lon);
  double s = f.hemi;
  double rho = std::hypot(x, y);
  double ang = (x == 0.0 && y == 0.0) ? 0.0 : std::atan2(x, -s * y + 0.0) * deg;
  /* Beyond the cone's edges lies the gap that no longitude reaches; the
   * margin keeps the edges themselves against float rounding. */
  if (std::fabs(ang) > f.cone * (180.0 + edge_margin)) return hidden(lat, lon);
  lat = 90.0 * s - 2.0 * s * std::atan(std::pow(rho / (f.cone_f * f.earth_rad), 1.0 / f.cone)) * deg;
  lon = f.dom.plon + ang / f.cone;
  return shown;
}

/* The map factor: true scale on the true latitudes. */
double factor(const Frame& f, double lat) {
  lat = clamp_lat(f, lat);
  double c = std::cos(lat * rad);
  if (c < 1e-10) return miss;
  return f.cone * radius(f, lat) / (f.earth_rad * c);
}

} // namespace lambert

/* ---- centre of view, shared by the azimuthal projections ------------------ */
void view_centre(Frame& f) {
  if (is_miss(f.dom.plat)) f.dom.plat = 0.0f;
  f.cos_plat = std::cos(f.dom.plat * rad);
  f.sin_plat = std::sin(f.dom.plat * rad);
}

/* cos of the angular distance from the centre of view. */
double cos_from_centre(const Frame& f, double lat, double dlon) {
  return std::cos(lat) * f.cos_plat * std::cos(dlon) + std::sin(lat) * f.sin_plat;
}

/* ---- 5: orthographic ---------------------------------------------------------- */
namespace ortho {

/* The horizon itself (cos c = 0) is visible, also through the rounding of
 * the degree factor. */
constexpr double horizon = -1e-12;

int fwd(Frame& f, double lat, double lon, double& x, double& y) {
  double p = lat * rad;
  double dl = (lon - f.dom.plon) * rad;
  if (cos_from_centre(f, p, dl) < horizon) return hidden(x, y);
  double R = f.earth_rad;
  x = R * std::cos(p) * std::sin(dl);
  y = R * (std::sin(p) * f.cos_plat - std::cos(p) * std::cos(dl) * f.sin_plat);
  return shown;
}

int inv(Frame& f, double x, double y, double& lat, double& lon) {
  double R = f.earth_rad;
  double q2 = R * R - x * x - y * y;
  if (q2 < 0.0) return hidden(lat, lon);
  double q = std::sqrt(q2);
  lat = std::asin(clamp1((f.cos_plat * y + f.sin_plat * q) / R)) * deg;
  lon = f.dom.plon + std::atan2(x, f.cos_plat * q - f.sin_plat * y) * deg;
  return shown;
}

} // namespace ortho

/* ---- 6: gnomonic (great circles drawn straight) ------------------------------- */
namespace gnomonic {

/* Points within this cosine of the horizon would leave the float range. */
constexpr double min_cos = 1e-10;

int fwd(Frame& f, double lat, double lon, double& x, double& y) {
  double p = lat * rad;
  double dl = (lon - f.dom.plon) * rad;
  double cc = cos_from_centre(f, p, dl);
  if (cc < min_cos) return hidden(x, y);
  double R = f.earth_rad;
  x = R * std::cos(p) * std::sin(dl) / cc;
  y = R * (f.cos_plat * std::sin(p) - f.sin_plat * std::cos(p) * std::cos(dl)) / cc;
  return shown;
}

int inv(Frame& f, double x, double y, double& lat, double& lon) {
  double rho = std::hypot(x, y);
  if (rho < 1e-10) {
    lat = f.dom.plat;
    lon = f.dom.plon;
    return shown;
  }
  double c = std::atan(rho / f.earth_rad);
  double sc = std::sin(c);
  double cc = std::cos(c);
  lat = std::asin(clamp1(cc * f.sin_plat + y * sc * f.cos_plat / rho)) * deg;
  lon = f.dom.plon + std::atan2(x * sc, rho * f.cos_plat * cc - y * f.sin_plat * sc) * deg;
  return shown;
}

} // namespace gnomonic

/* ---- 7: Mollweide, the whole earth in an ellipse 4R wide and 2R high ---------- */
namespace moll {

int fwd(Frame& f, double lat, double lon, double& x, double& y) {
  double theta = lat * rad;
  double target = 3.1415926535898 * std::sin(lat * rad);
  for (int i = 0; i < 15; ++i) {
    double den = std::cos(theta) + 1.0;
    if (den < 1e-15) break; /* at a pole: theta is already pi */
    double delta = -(theta + std::sin(theta) - target) / den;
    theta += delta;
    if (std::fabs(delta) < 1e-10) break;
  }
  theta /= 2.0;
  double R = f.earth_rad;
  double d = wrap_once(lon - f.dom.plon);
  x = R * (d / 90.0) * std::cos(theta);
  if (std::fabs(lat) > 89.99) x = 0.0;
  y = R * std::sin(theta);
  return shown;
}

int inv(Frame& f, double x, double y, double& lat, double& lon) {
  double R = f.earth_rad;
  double t = y / R;
  if (t < -1.0 || t > 1.0) return hidden(lat, lon);
  double theta = std::asin(t);
  double c = std::cos(theta);
  /* Outside the ellipse the longitude would run past the map's edge. */
  double d = (x == 0.0) ? 0.0 : 90.0 * x / (R * c);
  if (!std::isfinite(d) || std::fabs(d) > 180.0 + edge_margin) return hidden(lat, lon);
  double u = (2.0 * theta + std::sin(2.0 * theta)) / pi;
  if (u < -1.0 - 1e-12 || u > 1.0 + 1e-12) return hidden(lat, lon);
  lat = std::asin(clamp1(u)) * deg;
  lon = f.dom.plon + d;
  return shown;
}

} // namespace moll

/* ---- 8: Lambert azimuthal equal-area -------------------------------------------- */
namespace lambaz {

int fwd(Frame& f, double lat, double lon, double& x, double& y) {
  double p = lat * rad;
  double dl = (lon - f.dom.plon) * rad;
  double kp = cos_from_centre(f, p, dl);
  /* The antipode spreads over the whole rim; points within rounding of it too. */
  if (kp + 1.0 < 1e-12) return hidden(x, y);
  double m = f.earth_rad * std::sqrt(2.0 / (kp + 1.0));
  x = m * std::cos(p) * std::sin(dl);
  y = m * (f.cos_plat * std::sin(p) - f.sin_plat * std::cos(p) * std::cos(dl));
  return shown;
}

int inv(Frame& f, double x, double y, double& lat, double& lon) {
  double rho = std::hypot(x, y);
  double h = rho / (2.0 * f.earth_rad);
  if (h > 1.0) return hidden(lat, lon);
  lon = f.dom.plon;
  if (std::fabs(rho) < 1e-10) {
    lat = f.dom.plat;
    return shown;
  }
  double c = 2.0 * std::asin(h);
  double sc = std::sin(c);
  double cc = std::cos(c);
  double slat = clamp1(cc * f.sin_plat + y * sc * f.cos_plat / rho);
  lat = std::asin(slat) * deg;
  double plat = f.dom.plat;
  if (std::fabs(std::fabs(plat) - 90.0) > 1e-10) {
    double m2 = cc - f.sin_plat * slat;
    if (m2 != 0.0) lon = f.dom.plon + std::atan2(x * sc * f.cos_plat, m2 * rho) * deg;
  } else if (plat < 0.0) {
    lon = f.dom.plon - std::atan2(-x, y) * deg;
  } else {
    lon = f.dom.plon + std::atan2(x, -y) * deg;
  }
  return shown;
}

} // namespace lambaz

/* ---- 9: satellite view, a geostationary scanner over (0, plon) ------------------ */
namespace sat {

void init(Frame& f) {
  f.sat_ratio = f.earth_rad / f.sat_rad;
  f.usable = f.sat_rad > f.earth_maj;
}

/* Plot coordinates are the tangents of the east-west scan angle and of the
 * north-south angle seen after it, or with param[1] = 1 the angles, times
 * the satellite distance. */
bool scan_angles(const Frame& f) { return f.dom.param[1] == 1.0f; }

int fwd(Frame& f, double lat, double lon, double& x, double& y) {
  if (!f.usable) return hidden(x, y);
  bool ell = f.dom.ellipse == 1;
  double p = lat * rad;
  if (ell) p = std::atan(std::tan(p) * f.earth_ratio2); /* geocentric latitude */
  double c = std::cos(p);
  double s = std::sin(p);
  double dl = (lon - f.dom.plon) * rad;
  double cl = std::cos(dl);
  double sl = std::sin(dl);
  if (f.sat_ratio > c * cl) return hidden(x, y);
  double r = ell ? f.earth_min / std::sqrt(1.0 - (1.0 - f.earth_ratio2) * c * c) : f.earth_rad;
  double fx = f.sat_rad - r * c * cl;
  double q = std::hypot(r * sl * c, fx);
  x = r * sl * c / fx;
  y = r * s / q;
  if (scan_angles(f)) {
    x = std::atan(x);
    y = std::atan(y);
  }
  x *= f.sat_rad;
  y *= f.sat_rad;
  return shown;
}

/* Follows the viewing ray of the scan back to the first point where it
 * meets the earth, on the sphere and on the ellipsoid alike. */
int inv(Frame& f, double x, double y, double& lat, double& lon) {
  if (!f.usable) return hidden(lat, lon);
  bool ell = f.dom.ellipse == 1;
  double Rs = f.sat_rad;
  double alpha = scan_angles(f) ? x / Rs : std::atan(x / Rs);
  double beta = scan_angles(f) ? y / Rs : std::atan(y / Rs);
  double e2 = ell ? f.earth_ratio2 : 1.0;
  double a = ell ? f.earth_maj : f.earth_rad;
  double ca = std::cos(alpha), sa = std::sin(alpha);
  double cb = std::cos(beta), sb = std::sin(beta);
  double p = Rs * ca * cb;
  double A = cb * cb + sb * sb / e2;
  double D = p * p - (Rs * Rs - a * a) * A;
  if (D < 0.0) return hidden(lat, lon);
  double t = (p - std::sqrt(D)) / A;
  double X = Rs - t * ca * cb;
  double Y = t * sa * cb;
  double Z = t * sb;
  lat = std::atan2(Z, e2 * std::hypot(X, Y)) * deg;
  lon = f.dom.plon + std::atan2(Y, X) * deg;
  return shown;
}

} // namespace sat

/* ---- 99: pixel, y growing downward -------------------------------------------- */
namespace pixel {

int fwd(Frame&, double a, double b, double& x, double& y) {
  x = a;
  y = -b;
  return shown;
}

int inv(Frame&, double x, double y, double& a, double& b) {
  a = x;
  b = -y;
  return shown;
}

} // namespace pixel

/* ---- 20, 24: x-y and category diagrams; 25: x-p (pressure down) ------------------ */
namespace linear {

/* Plot extents over data extents; kept from the limits, or recomputed
 * after a cache reset. */
void scales(Frame& f) {
  if (!is_miss(f.xfactor)) return;
  f.xfactor = static_cast<double>(f.dom.nx) / f.dom.dx;
  f.yfactor = static_cast<double>(f.dom.ny) / f.dom.dy;
}

bool invertible(const Frame& f) {
  return f.xfactor != 0.0 && f.yfactor != 0.0 && std::isfinite(f.xfactor) && std::isfinite(f.yfactor);
}

int fwd(Frame& f, double a, double b, double& x, double& y) {
  scales(f);
  const MAP_limits& L = f.limits;
  x = L.x_min + (a - L.x_min) * f.xfactor;
  y = L.y_min + (b - L.y_min) * f.yfactor;
  return shown;
}

int inv(Frame& f, double x, double y, double& a, double& b) {
  scales(f);
  if (!invertible(f)) return hidden(a, b);
  const MAP_limits& L = f.limits;
  a = L.x_min + (x - L.x_min) / f.xfactor;
  b = L.y_min + (y - L.y_min) / f.yfactor;
  return shown;
}

int fwd_p(Frame& f, double a, double p, double& x, double& y) {
  scales(f);
  const MAP_limits& L = f.limits;
  x = L.x_min + (a - L.x_min) * f.xfactor;
  y = L.y_min + (L.y_min - p) * f.yfactor;
  return shown;
}

int inv_p(Frame& f, double x, double y, double& a, double& p) {
  scales(f);
  if (!invertible(f)) return hidden(a, p);
  const MAP_limits& L = f.limits;
  a = L.x_min + (x - L.x_min) / f.xfactor;
  p = L.y_min + (L.y_min - y) / f.yfactor;
  return shown;
}

} // namespace linear

/* ---- 22: x-log p; 42: emagram (y = -ln p) ---------------------------------------- */
namespace logp {

int fwd(Frame&, double a, double p, double& x, double& y) {
  if (!(p > 0.0)) return hidden(x, y);
  x = a;
  y = -std::log(p);
  return shown;
}

int inv(Frame&, double x, double y, double& a, double& p) {
  a = x;
  p = std::exp(-y);
  return shown;
}

} // namespace logp

/* ---- 23: hodograph, direction and speed ------------------------------------------ */
namespace hodo {

int fwd(Frame&, double dir, double spd, double& x, double& y) {
  x = spd * std::sin(dir * rad);
  y = spd * std::cos(dir * rad);
  return shown;
}

int inv(Frame&, double x, double y, double& dir, double& spd) {
  dir = (x == 0.0 && y == 0.0) ? 0.0 : std::atan2(x, y) * deg;
  if (dir < 0.0) dir += 360.0;
  spd = std::hypot(x, y);
  return shown;
}

} // namespace hodo

/* ---- 40: skew-T log p ------------------------------------------------------------- */
namespace skewt {

/* The skew that makes isotherms rise at 45 degrees on the viewport. */
void scales(Frame& f) {
  if (!is_miss(f.xfactor)) return;
  const MAP_limits& L = f.limits;
  MAP_limits v = diagram_view(f);
  f.scale = L.y_min;
  f.xfactor = (L.x_max - L.x_min) * ((v.y_max - v.y_min) / (v.x_max - v.x_min)) / (L.y_max - L.y_min);
}

int fwd(Frame& f, double t, double p, double& x, double& y) {
  if (!(p > 0.0)) return hidden(x, y);
  scales(f);
  y = -std::log(p);
  x = t + f.xfactor * (y - f.scale);
  return shown;
}

int inv(Frame& f, double x, double y, double& t, double& p) {
  scales(f);
  t = x - f.xfactor * (y - f.scale);
  p = std::exp(-y);
  return shown;
}

} // namespace skewt

/* ---- 41: Stuve (y = -p^(2/7)) ------------------------------------------------------ */
namespace stuve {

int fwd(Frame&, double t, double p, double& x, double& y) {
  if (!(p >= 0.0)) return hidden(x, y);
  x = t;
  y = -std::pow(p, 0.285714);
  return shown;
}

int inv(Frame&, double x, double y, double& t, double& p) {
  if (y > 0.0) return hidden(t, p);
  t = x;
  p = std::pow(-y, 3.5);
  return shown;
}

} // namespace stuve

/* The potential temperature (K) of a temperature (K) at a pressure (mb),
 * in single precision as the formula library gives it; -9999 when either
 * is not positive. The diagram axes keep their own copy beside its
 * inverse, so that geography needs nothing of the formula library. */
double theta_of(float temp, float pr) {
  if (!(temp > 0.0f) || !(pr > 0.0f)) return miss;
  return static_cast<float>(temp * std::pow(1000.0 / pr, kappa));
}

/* The pressure at which temperature t (deg C) has potential temperature
 * theta (K): the inverse of theta_of. */
int theta_pressure(double t, double theta, double& p) {
  double tk = t + 273.15;
  if (!(tk > 0.0) || !(theta > 0.0)) return 0;
  p = 1000.0 * std::pow(tk / theta, 1.0 / kappa);
  return 1;
}

/* ---- 43: tephigram (temperature against ln theta, turned 45 degrees) ------------- */
namespace teph {

void scales(Frame& f) {
  if (!is_miss(f.xfactor)) return;
  const MAP_limits& L = f.limits;
  MAP_limits v = diagram_view(f);
  f.xfactor = (v.x_max - v.x_min) / (L.x_max - L.x_min);
  f.yfactor = (v.y_max - v.y_min) / (L.y_max - L.y_min);
}

int fwd(Frame& f, double t, double p, double& x, double& y) {
  if (f.xfactor == 0.0) {
    /* While the limits are computed the corners are a temperature and a
     * potential temperature. */
    if (!(p > 0.0)) return hidden(x, y);
    x = t;
    y = std::log(p);
    return 0;
  }
  scales(f);
  double theta = theta_of(static_cast<float>(t + 273.15), static_cast<float>(p));
  if (is_miss(theta)) return hidden(x, y);
  const MAP_limits& L = f.limits;
  MAP_limits v = diagram_view(f);
  double u = f.xfactor * (t - L.x_min) + v.x_min;
  double w = f.yfactor * (std::log(theta) - L.y_min) + v.y_min;
  double u2 = 0.5 * (u + v.x_min) + 0.5 * (w - v.y_min);
  double w2 = w - (u2 - v.x_min);
  x = L.x_min + (u2 - v.x_min) / f.xfactor;
  y = L.y_min + (w2 - v.y_min) / f.yfactor;
  return shown;
}

int inv(Frame& f, double x, double y, double& t, double& p) {
  scales(f);
  const MAP_limits& L = f.limits;
  MAP_limits v = diagram_view(f);
  double u = f.xfactor * (x - L.x_min) + v.x_min;
  double w = f.yfactor * (y - L.y_min) + v.y_min;
  double w2 = (u - v.x_min) + w;
  double u2 = 2.0 * u - (w2 - v.y_min) - v.x_min;
  double tt = L.x_min + (u2 - v.x_min) / f.xfactor;
  double theta = std::exp(L.y_min + (w2 - v.y_min) / f.yfactor);
  if (!theta_pressure(tt, theta, p)) return hidden(t, p);
  t = tt;
  return shown;
}

} // namespace teph

/* ---- 44: temperature against ln theta, not turned ------------------------------- */
namespace lntheta {

int fwd(Frame&, double t, double p, double& x, double& y) {
  double theta = theta_of(static_cast<float>(t + 273.15), static_cast<float>(p));
  if (is_miss(theta)) return hidden(x, y);
  x = t;
  y = std::log(theta);
  return shown;
}

int inv(Frame&, double x, double y, double& t, double& p) {
  if (!theta_pressure(x, std::exp(y), p)) return hidden(t, p);
  t = x;
  return shown;
}

} // namespace lntheta

/* ---- the dispatch table ------------------------------------------------------ */
} // namespace

namespace maptran_impl {

enum class Kind {
  pass,    /* no projection: positions pass through both ways */
  keep,    /* a domain-text keyword: outputs stay as they were, result 1 */
  earth,   /* map projection of latitude and longitude */
  diagram, /* a pair of data values */
};

using Unit = int (*)(Frame&, double, double, double&, double&);

/* A name read for a projection: len 0 asks for the whole word, otherwise
 * the first len characters decide. */
struct ReadName {
  const char* text;
  int len;
};

/* One projection or diagram: its code, the name printed for it (none for
 * some), the names read for it (tried in table order, projection by
 * projection, so "lat" and "lamb" are tried before "la"), its kind and its
 * constants, forward and inverse. */
struct Rule {
  int code;
  const char* print_name;
  ReadName names[4];
  Kind kind;
  void (*init)(Frame&); /* constants of the current domain, or null */
  Unit fwd;
  Unit inv;
};

} // namespace maptran_impl

namespace {

constexpr Rule rules[] = {
    {MAP_NONE, nullptr, {{"miss", 0}}, Kind::pass, nullptr, nullptr, nullptr},
    {MAP_PSTEREO, "pstereo", {{"polar", 5}, {"ps", 2}}, Kind::earth, stereo::init, stereo::fwd, stereo::inv},
    {MAP_LATLON, "latlon", {{"ll", 2}, {"lat", 3}}, Kind::earth, nullptr, latlon::fwd, latlon::inv},
    {MAP_MERC, "merc", {{"me", 2}}, Kind::earth, nullptr, merc::fwd, merc::inv},
    {MAP_LAMB, "lamb", {{"lamb", 4}, {"lc", 2}}, Kind::earth, lambert::init, lambert::fwd, lambert::inv},
    {MAP_ORTHO, "ortho", {{"or", 2}}, Kind::earth, view_centre, ortho::fwd, ortho::inv},
    {MAP_GNOM, "gnom", {{"gn", 2}}, Kind::earth, view_centre, gnomonic::fwd, gnomonic::inv},
    {MAP_MOLL, "moll", {{"mo", 2}}, Kind::earth, nullptr, moll::fwd, moll::inv},
    {MAP_LAMBAZ, "lambaz", {{"lambaz", 0}, {"la", 2}}, Kind::earth, view_centre, lambaz::fwd, lambaz::inv},
    {MAP_SAT, "sat", {{"sat", 3}}, Kind::earth, sat::init, sat::fwd, sat::inv},
    {MAP_XY, "xy", {{"xy", 2}}, Kind::diagram, nullptr, linear::fwd, linear::inv},
    {MAP_XZ, "xz", {{"xz", 0}}, Kind::keep, nullptr, nullptr, nullptr},
    {MAP_XLOGP, "xlogp", {{"xlogy", 5}, {"xlogp", 5}, {"vert", 4}}, Kind::diagram, nullptr, logp::fwd, logp::inv},
    {MAP_POLAR, "hodo", {{"hodo", 4}}, Kind::diagram, nullptr, hodo::fwd, hodo::inv},
    {MAP_CAT, "cat", {{"cat", 3}}, Kind::diagram, nullptr, linear::fwd, linear::inv},
    {MAP_XP, "xp", {{"xp", 0}}, Kind::diagram, nullptr, linear::fwd_p, linear::inv_p},
    {MAP_SKEWT, "skewt", {{"skewt", 5}, {"therm", 5}}, Kind::diagram, nullptr, skewt::fwd, skewt::inv},
    {MAP_STUVE, "stuve", {{"stuve", 5}}, Kind::diagram, nullptr, stuve::fwd, stuve::inv},
    {MAP_EMA, "ema", {{"ema", 3}}, Kind::diagram, nullptr, logp::fwd, logp::inv},
    {MAP_TEPH, "teph", {{"teph", 4}}, Kind::diagram, nullptr, teph::fwd, teph::inv},
    {MAP_RTEPH, "rteph", {{"rteph", 5}}, Kind::diagram, nullptr, lntheta::fwd, lntheta::inv},
    {MAP_ZOOM, "zoom", {{"zoom", 4}}, Kind::keep, nullptr, nullptr, nullptr},
    {MAP_SIZE, "size", {{"size", 4}}, Kind::keep, nullptr, nullptr, nullptr},
    {MAP_PIXEL, "pixel", {{"pix", 3}}, Kind::diagram, nullptr, pixel::fwd, pixel::inv},
};

const Rule* find_rule(int code) {
  for (const Rule& r : rules)
    if (r.code == code) return &r;
  return nullptr;
}

/* Forget every constant of the current domain; the next transformation
 * computes them again. */
void reset_caches(Frame& f) {
  f.rule = find_rule(f.dom.proj);
  f.rule_code = f.dom.proj;
  f.ready = false;
  f.usable = true;
  f.xfactor = miss;
  f.sat_ratio = miss;
}

/* A code written straight into the record that MAP_get_domain hands out
 * is noticed here. */
void sync(Frame& f) {
  if (f.rule_code != f.dom.proj) reset_caches(f);
}

void prepare(Frame& f) {
  sync(f);
  if (f.ready) return;
  f.ready = true;
  if (f.rule && f.rule->init) f.rule->init(f);
}

/* A diagram whose data extents are zero or not finite (or whose plot
 * extents are zero) has no scale: every point of it is hidden. */
bool degenerate_diagram(const Domain& d) {
  const Rule* r = find_rule(d.proj);
  if (!r || r->kind != Kind::diagram || d.proj == MAP_PIXEL) return false;
  auto flat = [](float v) { return !std::isfinite(v) || v == 0.0f; };
  if (flat(d.dx) || flat(d.dy)) return true;
  const bool linear = d.proj == MAP_XY || d.proj == MAP_CAT || d.proj == MAP_XP;
  return linear && (d.nx == 0 || d.ny == 0);
}

bool usable_input(double a, double b) { return std::isfinite(a) && std::isfinite(b) && !is_miss(a) && !is_miss(b); }

/* Forward and inverse in double precision; a keyword code leaves the
 * outputs as they were. */
int forward(Frame& f, double a, double b, double* x, double* y) {
  sync(f);
  const Rule* r = f.rule;
  if (!r) return hidden(*x, *y);
  switch (r->kind) {
    case Kind::pass:
      *x = a;
      *y = b;
      return shown;
    case Kind::keep: return shown;
    case Kind::earth:
    case Kind::diagram: break;
  }
  /* Only a diagram can lack a scale; an earth projection skips the lookup
   * that would tell, since outlines come through here point by point. */
  if (!usable_input(a, b) || (r->kind == Kind::diagram && degenerate_diagram(f.dom))) return hidden(*x, *y);
  if (r->kind == Kind::earth) b = norm_lon(b);
  prepare(f);
  return r->fwd(f, a, b, *x, *y);
}

int inverse(Frame& f, double x, double y, double* a, double* b) {
  sync(f);
  const Rule* r = f.rule;
  if (!r) return hidden(*a, *b);
  switch (r->kind) {
    case Kind::pass:
      *a = x;
      *b = y;
      return shown;
    case Kind::keep: return shown;
    case Kind::earth:
    case Kind::diagram: break;
  }
  if (!usable_input(x, y) || (r->kind == Kind::diagram && degenerate_diagram(f.dom))) return hidden(*a, *b);
  prepare(f);
  return r->inv(f, x, y, *a, *b);
}

/* ---- moving along the earth ----------------------------------------------- */

/* The point reached from (lat, lon) along a great circle with initial
 * bearing dir (degrees) after km kilometres. The local north and east of a
 * pole are taken from the longitude given with it, so the step is defined
 * there too. */
void step_along(double lat, double lon, double dir, double km, double& lat2, double& lon2) {
  double d = km / km_per_deg * rad;
  double p = lat * rad, l = lon * rad, t = dir * rad;
  double cp = std::cos(p), sp = std::sin(p), cl = std::cos(l), sl = std::sin(l);
  double cd = std::cos(d), sd = std::sin(d), ct = std::cos(t), stt = std::sin(t);
  /* position, local north and local east as unit vectors */
  double P[3] = {cp * cl, cp * sl, sp};
  double N[3] = {-sp * cl, -sp * sl, cp};
  double E[3] = {-sl, cl, 0.0};
  double Q[3];
  for (int i = 0; i < 3; ++i) Q[i] = cd * P[i] + sd * (ct * N[i] + stt * E[i]);
  lat2 = std::atan2(Q[2], std::hypot(Q[0], Q[1])) * deg;
  lon2 = std::atan2(Q[1], Q[0]) * deg;
}

/* Initial great-circle bearing (degrees) from point 1 to point 2. */
double bearing(double lat1, double lon1, double lat2, double lon2) {
  double p1 = lat1 * rad, p2 = lat2 * rad, dl = (lon2 - lon1) * rad;
  return std::atan2(std::sin(dl) * std::cos(p2),
                    std::cos(p1) * std::sin(p2) - std::sin(p1) * std::cos(p2) * std::cos(dl)) *
         deg;
}

/* ---- names of the projections ---------------------------------------------- */

int proj_code_of_name(const char* name) {
  if (!name) return -1;
  /* Whole words first, so that a printed name such as "lambaz" is not
   * taken by a shorter beginning of another projection ("lamb"). */
  for (bool whole : {true, false})
    for (const Rule& r : rules)
      for (const ReadName& n : r.names) {
        if (!n.text) break;
        if ((n.len == 0) != whole) continue;
        if (whole ? stricmp(name, n.text) == 0 : strnicmp(name, n.text, n.len) == 0) return r.code;
      }
  return -1;
}

/* Whether two reference values match, a missing one standing for the
 * other domain's centre value. */
bool same_ref(float r1, float c1, float r2, float c2) {
  return r1 == r2 || (is_miss(r1) && r2 == c1) || (is_miss(r2) && r1 == c2);
}

bool same_params(const Domain& a, const Domain& b) {
  for (int i = 0; i < 5; ++i)
    if (a.param[i] != b.param[i]) return false;
  return a.ellipse == b.ellipse;
}

/* ---- directions ------------------------------------------------------------- */

/* The angle (degrees) by which a direction from true north turns into one
 * from the plot's up direction on a polar stereographic domain. */
double stereo_turn(const Frame& f, double x, double y) {
  bool north = f.dom.plat >= 0.0f;
  if (x == 0.0 && y == 0.0) return north ? -f.dom.plon : f.dom.plon;
  return north ? -std::atan2(x, -y + 0.0) * deg : std::atan2(x, y) * deg;
}

/* The same on a Lambert conformal domain: north points to the cone's apex
 * on a northern domain and away from it on a southern one. */
double lambert_turn(Frame& f, double x, double y) {
  prepare(f);
  return -f.hemi * std::atan2(x, -f.hemi * y + 0.0) * deg;
}

/* The projections without a formula for their turn (or whose turn depends
 * on the direction, not being conformal) are measured by stepping a short
 * distance along the earth. */
bool turned_by_steps(int proj) {
  return proj == MAP_SAT || proj == MAP_ORTHO || proj == MAP_GNOM || proj == MAP_LAMBAZ || proj == MAP_MOLL;
}

constexpr double step_km = 1.0;

/* The plot vector of a step of step_km from (lat, lon) along bearing dir;
 * where the step forward leaves the map (at a horizon or an edge), the
 * step backward gives it. False where neither is on the map. */
bool plot_step(Frame& f, double lat, double lon, double dir, double& dx, double& dy) {
  double x, y, lat2, lon2, x2, y2;
  if (forward(f, lat, lon, &x, &y) != shown) return false;
  for (double sign : {1.0, -1.0}) {
    step_along(lat, lon, sign > 0 ? dir : dir + 180.0, step_km, lat2, lon2);
    if (forward(f, lat2, lon2, &x2, &y2) != shown) continue;
    dx = sign * (x2 - x);
    dy = sign * (y2 - y);
    return dx != 0.0 || dy != 0.0;
  }
  return false;
}

/* The earth bearing of a plot direction at (x, y): a step of about a
 * kilometre on the plot, taken back to the earth. */
bool earth_bearing(Frame& f, double x, double y, double dir, double& bear) {
  const double step = f.earth_rad * step_km / km_per_deg * rad;
  double lat, lon, lat2, lon2;
  if (inverse(f, x, y, &lat, &lon) != shown) return false;
  for (double sign : {1.0, -1.0}) {
    const double x2 = x + sign * step * std::sin(dir * rad), y2 = y + sign * step * std::cos(dir * rad);
    if (inverse(f, x2, y2, &lat2, &lon2) != shown) continue;
    bear = bearing(lat, lon, lat2, lon2) + (sign > 0 ? 0.0 : 180.0);
    return true;
  }
  return false;
}

/* The mean of the largest and the smallest scale at a point (on a
 * conformal map the scale in every direction), from steps north and east:
 * the singular values a, b of the step matrix have a^2 + b^2 the sum of the
 * squared lengths and a b its determinant. */
double stepped_factor(Frame& f, double lat, double lon) {
  double nx, ny, ex, ey;
  if (!plot_step(f, lat, lon, 0.0, nx, ny) || !plot_step(f, lat, lon, 90.0, ex, ey)) return miss;
  const double nominal = f.earth_rad * step_km / km_per_deg * rad;
  const double sum = (nx * nx + ny * ny + ex * ex + ey * ey) / (nominal * nominal);
  const double det = std::fabs(nx * ey - ny * ex) / (nominal * nominal);
  return std::sqrt(sum + 2.0 * det) / 2.0;
}

} // namespace

/* ======================================================================== */
/* The current domain                                                        */
/* ======================================================================== */

int MAP_domain(const Domain* dom) {
  Frame& f = st.frame;
  if (!dom) {
    f.dom.proj = MAP_NONE;
    reset_caches(f);
    return -1;
  }
  f.dom = *dom;
  Domain& d = f.dom;
  if (is_miss(d.plat)) d.plat = d.clat;
  if (is_miss(d.plon)) d.plon = d.clon;
  switch (d.proj) {
    case MAP_PSTEREO:
      f.tlat1 = d.plat < 0.0f ? -60.0f : 60.0f;
      if (!is_miss(d.param[0])) f.tlat1 = d.param[0];
      break;
    case MAP_LAMB:
      f.tlat1 = 30.0f;
      f.tlat2 = 60.0f;
      if (!is_miss(d.param[0])) {
        /* One true latitude makes a tangent cone. */
        f.tlat1 = d.param[0];
        f.tlat2 = is_miss(d.param[1]) ? d.param[0] : d.param[1];
      }
      break;
    case MAP_SAT: f.sat_rad = is_miss(d.param[0]) ? 421.61 : d.param[0]; break;
    default: break;
  }
  reset_caches(f);
  f.earth_ratio2 = (f.earth_min * f.earth_min) / (f.earth_maj * f.earth_maj);
  MAP_set_limits();
  if (degenerate_diagram(d)) {
    MESS_print(M_warn, "MAP_domain: diagram without extent (dx %g, dy %g, nx %d, ny %d): nothing is visible\n",
               static_cast<double>(d.dx), static_cast<double>(d.dy), d.nx, d.ny);
    return -1;
  }
  return 0;
}

Domain* MAP_get_domain(Domain* dom) {
  if (!dom) return &st.frame.dom;
  *dom = st.frame.dom;
  return dom;
}

int MAP_print_domain() { return DOM_print(M_print, &st.frame.dom); }

int MAP_proj(int proj) {
  st.frame.dom.proj = proj;
  reset_caches(st.frame);
  return 0;
}

int MAP_get_proj() { return st.frame.dom.proj; }
float MAP_get_clat() { return st.frame.dom.clat; }
float MAP_get_clon() { return st.frame.dom.clon; }

int MAP_coord(float rlat, float rlon) {
  st.frame.dom.plat = rlat;
  st.frame.dom.plon = rlon;
  reset_caches(st.frame);
  return 0;
}

int MAP_proj_coord(const float* value) {
  Frame& f = st.frame;
  if (!value) return -1;
  if (f.dom.proj != MAP_LAMB) return 0;
  f.dom.param[0] = value[0];
  f.dom.param[1] = value[1];
  f.tlat1 = value[0];
  f.tlat2 = is_miss(value[1]) ? value[0] : value[1];
  reset_caches(f);
  return 0;
}

int MAP_proj_str(const char* proj) { return proj_code_of_name(proj); }

const char* MAP_proj_name(int proj) {
  const Rule* r = find_rule(proj);
  return r && r->print_name ? r->print_name : "";
}

int MAP_tran_center(float* x, float* y) { return MAP_tran(st.frame.dom.clat, st.frame.dom.clon, x, y); }

int MAP_set_limits() {
  Frame& f = st.frame;
  const Domain& d = f.dom;
  MAP_limits& L = f.limits;
  L = MAP_limits{KEZ_FMISS, KEZ_FMISS, KEZ_FMISS, KEZ_FMISS};
  if (is_miss(d.clat) || is_miss(d.clon) || is_miss(d.dx) || is_miss(d.dy) || degenerate_diagram(d)) return 0;
  int code = d.proj;
  const Rule* rule = find_rule(code);
  const bool earth = rule && rule->kind == Kind::earth;
  bool needs_grid = earth || code == MAP_XY || code == MAP_CAT || code == MAP_XP;
  if (needs_grid && (d.nx == KEZ_MISS || d.ny == KEZ_MISS)) return 0;

  if (earth) {
    double xc = miss, yc = miss;
    if (forward(f, d.clat, d.clon, &xc, &yc) != 1) return 0;
    double hx = d.dx * ((d.nx - 1) / 2.0);
    double hy = d.dy * ((d.ny - 1) / 2.0);
    L = MAP_limits{static_cast<float>(xc - hx), static_cast<float>(xc + hx), static_cast<float>(yc - hy),
                   static_cast<float>(yc + hy)};
    return 0;
  }

  double x1 = miss, y1 = miss, x2 = miss, y2 = miss;
  switch (code) {
    case MAP_SKEWT:
    case MAP_TEPH:
    case MAP_RTEPH: {
      /* The corners are taken on the unskewed, unturned axes. */
      f.xfactor = 0.0;
      f.yfactor = 0.0;
      double tx = miss, ty = miss;
      forward(f, d.clat, d.clon, &x1, &y1);
      forward(f, d.clat + d.dx, d.clon, &x2, &ty);
      forward(f, d.clat, d.clon + d.dy, &tx, &y2);
      f.xfactor = miss;
      f.yfactor = miss;
      break;
    }
    case MAP_POLAR:
      x1 = d.clat;
      y1 = d.clon;
      x2 = d.clat + d.dx;
      y2 = d.clon + d.dy;
      break;
    case MAP_XY:
    case MAP_CAT:
    case MAP_XP:
      x1 = d.clat;
      x2 = d.clat + d.nx;
      y1 = code == MAP_XP ? -d.clon : d.clon;
      y2 = y1 + d.ny;
      f.xfactor = static_cast<double>(d.nx) / d.dx;
      f.yfactor = static_cast<double>(d.ny) / d.dy;
      break;
    default:
      forward(f, d.clat, d.clon, &x1, &y1);
      forward(f, d.clat + d.dx, d.clon + d.dy, &x2, &y2);
      break;
  }
  if (is_miss(x1) || is_miss(y1) || is_miss(x2) || is_miss(y2)) return 0;
  L = MAP_limits{static_cast<float>(std::min(x1, x2)), static_cast<float>(std::max(x1, x2)),
                 static_cast<float>(std::min(y1, y2)), static_cast<float>(std::max(y1, y2))};
  return 0;
}

int MAP_get_limits(MAP_limits* lim) {
  if (!lim) return -1;
  *lim = st.frame.limits;
  return 0;
}

int MAP_set_view(const MAP_limits* vp) {
  if (!vp) return -1;
  Frame& f = st.frame;
  f.view = *vp;
  /* The skew-T and tephigram scales follow the new viewport. */
  if (f.dom.proj == MAP_SKEWT || f.dom.proj == MAP_TEPH) f.xfactor = miss;
  return 0;
}

int MAP_get_up_left(float* x, float* y) {
  *x = st.frame.limits.x_min;
  *y = st.frame.limits.y_max;
  return 0;
}

int MAP_in_domain(float x, float y) {
  const Frame& f = st.frame;
  if (f.dom.proj == MAP_NONE) return 1;
  if (degenerate_diagram(f.dom)) return 0;
  const MAP_limits& L = f.limits;
  return (x >= L.x_min && x <= L.x_max && y >= L.y_min && y <= L.y_max) ? 1 : 0;
}

int MAP_in_grid_domain(float x, float y) {
  const Frame& f = st.frame;
  if (f.dom.proj == MAP_NONE) return 1;
  if (degenerate_diagram(f.dom)) return 0;
  const MAP_limits& L = f.limits;
  double wx = 3.0 * f.dom.dx, wy = 3.0 * f.dom.dy;
  return (x >= L.x_min - wx && x <= L.x_max + wx && y >= L.y_min - wy && y <= L.y_max + wy) ? 1 : 0;
}

int DOM_init(Domain* domain) {
  if (!domain) return -1;
  domain->proj = MAP_NONE;
  domain->nx = KEZ_MISS;
  domain->ny = KEZ_MISS;
  domain->plat = domain->plon = KEZ_FMISS;
  for (float& p : domain->param) p = KEZ_FMISS;
  domain->clat = domain->clon = KEZ_FMISS;
  domain->dx = domain->dy = KEZ_FMISS;
  domain->ellipse = 0;
  return 0;
}

int DOM_comp(const Domain* dom1, const Domain* dom2) {
  if (!dom1 || !dom2) return 0;
  const Domain& a = *dom1;
  const Domain& b = *dom2;
  bool same = a.proj == b.proj && a.clat == b.clat && same_ref(a.plat, a.clat, b.plat, b.clat) && a.clon == b.clon &&
              same_ref(a.plon, a.clon, b.plon, b.clon) && a.dx == b.dx && a.dy == b.dy && a.nx == b.nx &&
              a.ny == b.ny && same_params(a, b);
  return same ? 1 : 0;
}

int DOM_comp_proj(const Domain* dom1, const Domain* dom2) {
  if (!dom1 || !dom2) return 0;
  const Domain& a = *dom1;
  const Domain& b = *dom2;
  bool same = a.proj == b.proj && same_ref(a.plat, a.clat, b.plat, b.clat) &&
              same_ref(a.plon, a.clon, b.plon, b.clon) && same_params(a, b);
  return same ? 1 : 0;
}

float DOM_aspect(const Domain* domain) {
  if (!domain || domain->nx <= 1 || domain->ny <= 1) return 1.0f;
  return static_cast<float>(domain->nx - 1) / static_cast<float>(domain->ny - 1);
}

/* ======================================================================== */
/* Forward and inverse                                                       */
/* ======================================================================== */

int MAP_tran(float lat, float lon, float* x, float* y) {
  Frame& f = st.frame;
  sync(f);
  if (f.rule && f.rule->kind == Kind::keep) return shown;
  double xd = miss, yd = miss;
  int res = forward(f, lat, lon, &xd, &yd);
  *x = static_cast<float>(xd);
  *y = static_cast<float>(yd);
  return res;
}

int MAP_untran(float x, float y, float* lat, float* lon) {
  Frame& f = st.frame;
  sync(f);
  if (f.rule && f.rule->kind == Kind::keep) return shown;
  double a = miss, b = miss;
  int res = inverse(f, x, y, &a, &b);
  *lat = static_cast<float>(a);
  *lon = static_cast<float>(b);
  return res;
}

int MAP_tran_ep(EarthPoint ept, Point* pt) { return MAP_tran(ept.lat, ept.lon, &pt->x, &pt->y); }

int MAP_tran_pe(Point pt, EarthPoint* ept) { return MAP_untran(pt.x, pt.y, &ept->lat, &ept->lon); }

/* ======================================================================== */
/* Grid indices, other domains, offsets, map factor                          */
/* ======================================================================== */

int MAP_grid_tran(float gx, float gy, float* x, float* y) {
  const Frame& f = st.frame;
  if (is_miss(gx) || is_miss(gy)) {
    *x = *y = KEZ_FMISS;
    return -1;
  }
  *x = f.limits.x_min + f.dom.dx * gx;
  *y = f.limits.y_max - f.dom.dy * gy; /* row 0 along the top edge */
  return 0;
}

int MAP_grid_untran(float x, float y, float* gx, float* gy) {
  const Frame& f = st.frame;
  if (is_miss(x) || is_miss(y)) {
    *gx = *gy = KEZ_FMISS;
    return -1;
  }
  *gx = (x - f.limits.x_min) / f.dom.dx;
  *gy = (f.limits.y_max - y) / f.dom.dy;
  return 0;
}

int MAP_domain_tran(const Domain* domain1, const Domain* domain2, float x1, float y1, float* x2, float* y2) {
  if (!domain1 || !domain2) {
    *x2 = *y2 = KEZ_FMISS;
    return -1;
  }
  if (DOM_comp(domain1, domain2)) {
    *x2 = x1;
    *y2 = y1;
    return 0;
  }
  Frame saved = st.frame;
  double lat = miss, lon = miss, xd = miss, yd = miss;
  int res = 0;
  DomainPair& pair = st.pair;
  if (pair.holds(saved, *domain1, *domain2)) {
    res = inverse(pair.from, x1, y1, &lat, &lon);
    if (res == 1 && !is_miss(lat)) res = forward(pair.to, lat, lon, &xd, &yd);
  } else {
    pair.valid = false;
    const int set1 = MAP_domain(domain1);
    res = inverse(st.frame, x1, y1, &lat, &lon);
    if (res == 1 && !is_miss(lat)) {
      const Frame from = st.frame;
      const int set2 = MAP_domain(domain2);
      res = forward(st.frame, lat, lon, &xd, &yd);
      if (set1 == 0 && set2 == 0 && res == 1) pair.keep(saved, *domain1, *domain2, from, st.frame);
    }
  }
  st.frame = saved;
  if (res != 1 || is_miss(xd) || is_miss(yd)) {
    *x2 = *y2 = KEZ_FMISS;
    return -1;
  }
  *x2 = static_cast<float>(xd);
  *y2 = static_cast<float>(yd);
  return 0;
}

namespace {

/* Whether two prepared frames put every earth point at the same plot
 * position: the same projection with the same constants, whatever the
 * domains' centres, spacings and sizes. */
bool same_projection(const Frame& a, const Frame& b) {
  const Domain &p = a.dom, &q = b.dom;
  return a.rule && a.rule == b.rule && p.proj == q.proj && p.plat == q.plat && p.plon == q.plon &&
         p.ellipse == q.ellipse && std::equal(std::begin(p.param), std::end(p.param), std::begin(q.param)) &&
         a.tlat1 == b.tlat1 && a.tlat2 == b.tlat2 && a.hemi == b.hemi && a.k == b.k && a.cone == b.cone &&
         a.cone_f == b.cone_f && a.earth_rad == b.earth_rad && a.usable && b.usable;
}

} // namespace

int MAP_same_plane(const Domain* domain1, const Domain* domain2, const MAP_limits* box) {
  if (!domain1 || !domain2 || !box) return 0;
  const Frame saved = st.frame;
  MAP_domain(domain1);
  Frame from = st.frame;
  MAP_domain(domain2);
  Frame to = st.frame;
  st.frame = saved;
  prepare(from);
  prepare(to);
  if (!same_projection(from, to)) return 0;
  /* Where a projection gives a position back is, for these, a convex part
   * of the plane (a strip between the date lines, a disc inside the
   * clamped far pole), so a box whose corners come back comes back whole.
   * A Lambert cone narrower than a half-plane leaves a gap beyond its pole
   * that no longitude reaches, and the rest is not convex: the box must
   * then lie on the map's side of the pole (the pole is the origin). */
  switch (from.dom.proj) {
    case MAP_PSTEREO:
    case MAP_LATLON:
    case MAP_MERC: break;
    case MAP_LAMB:
      if (from.cone > 0.5 && !(from.hemi * box->y_min < 0.0 && from.hemi * box->y_max < 0.0)) return 0;
      break;
    default: return 0;
  }
  for (const float x : {box->x_min, box->x_max})
    for (const float y : {box->y_min, box->y_max}) {
      double lat = miss, lon = miss, x2 = miss, y2 = miss;
      if (inverse(from, x, y, &lat, &lon) != shown || is_miss(lat) ||
          forward(to, static_cast<float>(lat), static_cast<float>(lon), &x2, &y2) != shown)
        return 0;
      const double tol = 1e-4 * (1.0 + std::fabs(x) + std::fabs(y));
      if (!(std::fabs(x2 - x) <= tol && std::fabs(y2 - y) <= tol)) return 0;
    }
  return 1;
}

namespace {

/* The range of sin and of cos over the angles a..b (radians, a <= b). */
void trig_range(double a, double b, double* smin, double* smax, double* cmin, double* cmax) {
  *smin = std::min(std::sin(a), std::sin(b));
  *smax = std::max(std::sin(a), std::sin(b));
  *cmin = std::min(std::cos(a), std::cos(b));
  *cmax = std::max(std::cos(a), std::cos(b));
  /* The extremes inside the range: sin at odd, cos at all multiples of
   * a right angle. */
  for (double k = std::ceil(a / (pi / 2)); k * (pi / 2) <= b; k += 1) {
    const long q = std::lround(std::fmod(std::fmod(k, 4.0) + 4.0, 4.0));
    if (q == 0) *cmax = 1;
    if (q == 1) *smax = 1;
    if (q == 2) *cmin = -1;
    if (q == 3) *smin = -1;
  }
}

/* The longitude differences lon_min - plon .. lon_max - plon as the
 * projections wrap them (once, into -180..180): false when the range
 * crosses the wrap, where the box is cut in two. */
bool wrapped_range(double lon_min, double lon_max, double plon, double* d1, double* d2) {
  double a = lon_min - plon, b = lon_max - plon;
  if (a > 180.0 && b > 180.0) {
    a -= 360.0;
    b -= 360.0;
  } else if (a < -180.0 && b < -180.0) {
    a += 360.0;
    b += 360.0;
  }
  if (a < -180.0 || b > 180.0) return false;
  *d1 = a;
  *d2 = b;
  return true;
}

/* x = r sin t, y = sy r cos t over r in r1..r2 (both >= 0) and t in
 * t1..t2: the extremes lie at the corners of the r and trig ranges. */
MAP_limits polar_extent(double r1, double r2, double t1, double t2, double sy) {
  double smin, smax, cmin, cmax;
  trig_range(t1, t2, &smin, &smax, &cmin, &cmax);
  double xs[4] = {r1 * smin, r1 * smax, r2 * smin, r2 * smax};
  double ys[4] = {sy * r1 * cmin, sy * r1 * cmax, sy * r2 * cmin, sy * r2 * cmax};
  return MAP_limits{
      static_cast<float>(*std::min_element(xs, xs + 4)), static_cast<float>(*std::max_element(xs, xs + 4)),
      static_cast<float>(*std::min_element(ys, ys + 4)), static_cast<float>(*std::max_element(ys, ys + 4))};
}

} // namespace

int MAP_box_extent(float lat_min, float lat_max, float lon_min, float lon_max, MAP_limits* extent) {
  if (!extent || !usable_input(lat_min, lon_min) || !usable_input(lat_max, lon_max) || lat_min > lat_max ||
      lon_min > lon_max || lon_min < -180.0f || lon_max > 180.0f)
    return 0;
  Frame& f = st.frame;
  sync(f);
  if (!f.rule || f.rule->kind != Kind::earth) return 0;
  prepare(f);
  const double plon = f.dom.plon;
  double d1 = 0, d2 = 0;
  MAP_limits e{};
  switch (f.dom.proj) {
    case MAP_LATLON:
      if (!wrapped_range(lon_min, lon_max, plon, &d1, &d2)) return 0;
      e = MAP_limits{static_cast<float>(d1), static_cast<float>(d2), lat_min, lat_max};
      break;
    case MAP_MERC: {
      if (!wrapped_range(lon_min, lon_max, plon, &d1, &d2)) return 0;
      double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
      merc::fwd(f, lat_min, plon + d1, x1, y1);
      merc::fwd(f, lat_max, plon + d2, x2, y2);
      e = MAP_limits{static_cast<float>(x1), static_cast<float>(x2), static_cast<float>(y1), static_cast<float>(y2)};
      break;
    }
    case MAP_LAMB: {
      if (!f.usable || !wrapped_range(lon_min, lon_max, plon, &d1, &d2)) return 0;
      const double ra = lambert::radius(f, lambert::clamp_lat(f, lat_min));
      const double rb = lambert::radius(f, lambert::clamp_lat(f, lat_max));
      e = polar_extent(std::min(ra, rb), std::max(ra, rb), f.cone * d1 * rad, f.cone * d2 * rad, -f.hemi);
      break;
    }
    case MAP_PSTEREO: {
      /* The far hemisphere is drawn on its 75-degree circle. */
      const double s = f.hemi;
      auto radius = [&](double lat) { return f.k * std::tan((90.0 + std::min(s * lat, 75.0)) / 2.0 * rad); };
      const double ra = radius(lat_min), rb = radius(lat_max);
      e = polar_extent(std::min(ra, rb), std::max(ra, rb), (lon_min - plon) * rad, (lon_max - plon) * rad, s);
      break;
    }
    default: return 0;
  }
  /* Against the rounding of the forward projection's own arithmetic. */
  const float pad =
      1e-5f * (1.0f + std::max({std::fabs(e.x_min), std::fabs(e.x_max), std::fabs(e.y_min), std::fabs(e.y_max)}));
  *extent = MAP_limits{std::min(e.x_min, e.x_max) - pad, std::max(e.x_min, e.x_max) + pad,
                       std::min(e.y_min, e.y_max) - pad, std::max(e.y_min, e.y_max) + pad};
  return 1;
}

int MAP_offset(float xi, float yi, float dir, float rad_km, float* xf, float* yf) {
  Frame& f = st.frame;
  double lat = miss, lon = miss, x = miss, y = miss;
  int res = 0;
  if (inverse(f, xi, yi, &lat, &lon) == 1 && usable_input(lat, lon) && usable_input(dir, rad_km)) {
    double lat2, lon2;
    step_along(lat, lon, dir, rad_km, lat2, lon2);
    res = forward(f, lat2, lon2, &x, &y);
  }
  if (res != 1) x = y = miss;
  *xf = static_cast<float>(x);
  *yf = static_cast<float>(y);
  return res == 1 ? 1 : 0;
}

float MAP_factor(float lat, float lon) {
  Frame& f = st.frame;
  if (!usable_input(lat, 0.0)) return KEZ_FMISS;
  sync(f);
  if (turned_by_steps(f.dom.proj)) {
    if (!usable_input(lat, lon)) return KEZ_FMISS;
    const double factor = stepped_factor(f, lat, norm_lon(lon));
    return is_miss(factor) ? KEZ_FMISS : static_cast<float>(factor);
  }
  switch (f.dom.proj) {
    case MAP_PSTEREO: {
      prepare(f);
      double s = f.hemi;
      double p = s * lat > 75.0 ? 75.0 * s : static_cast<double>(lat);
      return static_cast<float>((f.k / f.earth_rad) / (1.0 - s * std::sin(p * rad)));
    }
    case MAP_MERC: {
      double p = std::max(-89.9, std::min(89.9, static_cast<double>(lat)));
      return static_cast<float>(1.0 / std::cos(p * rad));
    }
    case MAP_LAMB: {
      /* A factor given with the domain stands. */
      if (!is_miss(f.dom.param[2])) return f.dom.param[2];
      prepare(f);
      if (!f.usable) return KEZ_FMISS;
      return static_cast<float>(lambert::factor(f, lat));
    }
    default: return 1.0f;
  }
}

/* ======================================================================== */
/* Directions                                                                */
/* ======================================================================== */

float MAP_dir_adj(float dir, float x, float y) {
  Frame& f = st.frame;
  sync(f);
  if (turned_by_steps(f.dom.proj)) {
    /* Step along the direction and see where the step goes. */
    double lat, lon, dx, dy;
    if (!usable_input(dir, 0.0) || inverse(f, x, y, &lat, &lon) != shown || !plot_step(f, lat, lon, dir, dx, dy))
      return KEZ_FMISS;
    return static_cast<float>(std::atan2(dx, dy) * deg);
  }
  switch (f.dom.proj) {
    case MAP_PSTEREO: return static_cast<float>(dir + stereo_turn(f, x, y));
    case MAP_LAMB: return static_cast<float>(dir + lambert_turn(f, x, y));
    default: return dir;
  }
}

float MAP_undir_adj(float dir, float x, float y) {
  Frame& f = st.frame;
  sync(f);
  if (turned_by_steps(f.dom.proj)) {
    double bear;
    if (!usable_input(dir, 0.0) || !earth_bearing(f, x, y, dir, bear)) return KEZ_FMISS;
    return static_cast<float>(bear);
  }
  switch (f.dom.proj) {
    case MAP_PSTEREO: return static_cast<float>(dir - stereo_turn(f, x, y));
    case MAP_LAMB: return static_cast<float>(dir - lambert_turn(f, x, y));
    default: return dir;
  }
}

float MAP_uvdir_adj(float u, float v, float x, float y) {
  (void)u;
  (void)v;
  if (st.frame.dom.proj == MAP_PSTEREO) return MAP_dir_adj(0.0f, x, y);
  return 0.0f;
}

float MAP_dir(float x1, float y1, float x2, float y2) {
  float d = static_cast<float>(std::atan2(static_cast<double>(x2) - x1, static_cast<double>(y2) - y1) * deg);
  if (st.frame.dom.proj == MAP_PSTEREO) return MAP_undir_adj(d, x1, y1);
  return d;
}
