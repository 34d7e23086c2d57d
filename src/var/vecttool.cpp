/*
 * vecttool: conversions between a wind or vector as direction and speed and
 * as components, and the two vector products.
 *
 * Meteorological directions (wind2vect, vect2wind) name where the wind comes
 * from; polar directions (polar2vect, vect2polar) where the vector points.
 * Both count degrees clockwise from the y axis. The functions know no units.
 * The trigonometry runs in double precision and every stored result is a
 * float, so that a sounding built from grids and a plotted grid wind give the
 * same numbers. A -9999 input is missing; a NaN is not and runs through.
 */
#include "kezcont.h"

#include <cmath>

namespace {

constexpr double TO_RAD = 0.017453292519943334;
constexpr double TO_DEG = 57.295779513082195;
constexpr double CALM = 0.01; /* below this speed the direction is 0 */

bool missing(float v) { return v == KEZ_FMISS; }

int both_missing(float* a, float* b) {
  *a = KEZ_FMISS;
  *b = KEZ_FMISS;
  return -1;
}

float speed_of(float u, float v) {
  const float sum = u * u + v * v;
  return static_cast<float>(std::sqrt(static_cast<double>(sum)));
}

} // namespace

int polar2vect(float dir, float spd, float* u, float* v) {
  if (missing(dir) || missing(spd)) return both_missing(u, v);
  const double r = dir * TO_RAD;
  *u = static_cast<float>(spd * std::sin(r));
  *v = static_cast<float>(spd * std::cos(r));
  return 0;
}

int vect2polar(float u, float v, float* dir, float* spd) {
  if (missing(u) || missing(v)) return both_missing(dir, spd);
  const float s = speed_of(u, v);
  float d = 0.0f;
  if (static_cast<double>(s) >= CALM) d = static_cast<float>(std::atan2(static_cast<double>(u), v) * TO_DEG);
  *dir = d;
  *spd = s;
  return 0;
}

int wind2vect(float dir, float spd, float* u, float* v) {
  if (missing(dir) || missing(spd)) return both_missing(u, v);
  const double r = dir * TO_RAD;
  const double neg = -spd;
  *u = static_cast<float>(neg * std::sin(r));
  *v = static_cast<float>(neg * std::cos(r));
  return 0;
}

int vect2wind(float u, float v, float* dir, float* spd) {
  if (missing(u) || missing(v)) return both_missing(dir, spd);
  const float s = speed_of(u, v);
  float d = 0.0f;
  if (static_cast<double>(s) >= CALM) {
    d = static_cast<float>(std::atan2(-static_cast<double>(u), -static_cast<double>(v)) * TO_DEG);
    if (d < 0.0f) d += 360.0f;
    /* a north wind's atan2(-0, ...) gives -0, which tables print as "-0" */
    if (d == 0.0f) d = 0.0f;
  }
  *dir = d;
  *spd = s;
  return 0;
}

float dot_product(VECT u, VECT v) {
  if (missing(u.x) || missing(v.x)) return KEZ_FMISS;
  const float xy = u.x * v.x + u.y * v.y;
  return xy + u.z * v.z;
}

int cross_product(VECT u, VECT v, VECT* w) {
  if (missing(u.x) || missing(v.x)) {
    *w = VECT{KEZ_FMISS, KEZ_FMISS, KEZ_FMISS};
    return -1;
  }
  const float a = u.y * v.z, b = u.z * v.y;
  const float c = u.z * v.x, d = u.x * v.z;
  const float e = u.x * v.y, f = u.y * v.x;
  *w = VECT{a - b, c - d, e - f};
  return 0;
}
