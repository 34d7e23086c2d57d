/*
 * windbarb: wind barbs, wind arrows and storm tracks at one point.
 *
 * A barb's staff points into the wind and carries pennants (50), full barbs
 * (10) and half barbs (5) on the side a quarter turn clockwise from the
 * staff; an arrow points downwind with a length that grows with the speed;
 * a storm track runs along the motion with ticks across it. Everything is
 * polylines and, for pennants, filled areas in world coordinates of the
 * current transformation, in the caller's line and fill attributes. The
 * station drawer uses the map forms, which turn a direction from true north
 * into one from the plot's up direction; gridded winds use the plain forms.
 * Nothing is kept between calls.
 */
#include "kezraw.h"

#include <cmath>

namespace {

constexpr float DEG = 3.14159265358979f / 180.0f;

bool missing(float v) { return v == KEZ_FMISS; }

/* A wind that cannot be drawn: a missing or negative speed, a missing or
 * non-finite direction. */
bool refused(float dir, float spd) {
  return missing(dir) || missing(spd) || !std::isfinite(dir) || !std::isfinite(spd) || spd < 0;
}

/* A frame along a staff from (x, y) with unit vector (u, v); "across" is a
 * quarter turn clockwise, (v, -u). */
struct Staff {
  float x, y, u, v;
  Gpt at(float along, float across = 0) const { return Gpt{x + along * u + across * v, y + along * v - across * u}; }
};

void line(Gpt a, Gpt b) {
  const Gpt pts[2] = {a, b};
  gpolyline(2, pts);
}

} // namespace

int WIND_barb(float x, float y, float dir, float spd, float size, float offset) {
  if (refused(dir, spd)) return -1;
  if (spd > WIND_MAX_BARB) spd = WIND_MAX_BARB;
  if (spd == 0) return -1;
  gset_fill_int_style(GSOLID);
  const float s = spd + 0.01f;
  const float L = size;
  const Staff st{x, y, std::sin(dir * DEG), std::cos(dir * DEG)};
  line(st.at(offset), st.at(L));

  int p = static_cast<int>(std::floor((s + 2) / 50));
  const float r = s - 50.0f * p + 2;
  const int f = static_cast<int>(std::floor(r / 10));
  const int h = static_cast<int>(std::floor(r / 5)) % 2;

  if (h == 1 && f == 0 && p == 0) {
    line(st.at(0.88f * L), st.at(0.94f * L, 0.25f * L));
    return 0;
  }
  for (int i = 0; i < p; ++i) {
    const float g = 0.12f * i;
    const Gpt tri[4] = {st.at((1 - g) * L), st.at((1 - g) * L, 0.5f * L), st.at((0.88f - g) * L), st.at((1 - g) * L)};
    gfill_area(4, tri);
    gpolyline(4, tri);
  }
  if (p == 0) p = -1;
  for (int j = 0; j < f; ++j) {
    const float g = 0.12f * (j + p);
    line(st.at((0.88f - g) * L), st.at((1 - g) * L, 0.5f * L));
  }
  if (h == 1) {
    const float g = 0.12f * (f + p);
    line(st.at((0.88f - g) * L), st.at((0.94f - g) * L, 0.25f * L));
  }
  return 0;
}

int WIND_barb_map(float x, float y, float dir, float spd, float size, float offset) {
  if (refused(dir, spd)) return -1;
  const float adj = MAP_dir_adj(dir, x, y);
  if (missing(adj)) return -1;
  return WIND_barb(x, y, adj, spd, size, offset);
}

int WIND_vect(float x, float y, float dir, float spd, float size, float arrow) {
  if (refused(dir, spd) || spd == 0) return -1;
  const float U = -spd * std::sin(dir * DEG);
  const float V = -spd * std::cos(dir * DEG);
  const float S = size;
  const Gpt tip{x + S * U, y + S * V};
  line(Gpt{x, y}, tip);
  if (arrow > 0) {
    const float g = 0.2f * arrow * S;
    line(tip, Gpt{tip.x - g * U + g * V, tip.y - g * V - g * U});
    line(tip, Gpt{tip.x - g * U - g * V, tip.y - g * V + g * U});
  }
  return 0;
}

int WIND_vect_map(float x, float y, float dir, float spd, float size, float arrow) {
  if (refused(dir, spd) || spd == 0) return -1;
  const float adj = MAP_dir_adj(dir, x, y);
  if (missing(adj)) return -1;
  return WIND_vect(x, y, adj, spd, size, arrow);
}

int WIND_track(float x, float y, float dir, float spd, float arrow, int maj, int /*min*/) {
  if (refused(dir, spd) || spd == 0) return -1;
  const float u = -std::sin(dir * DEG);
  const float v = -std::cos(dir * DEG);
  const float e = 0.2f * arrow;
  const Gpt end{x + spd * u, y + spd * v};
  line(Gpt{x, y}, end);
  for (int i = 0; i < maj; ++i) {
    const float d = i * spd / maj;
    const Gpt c{x + d * u, y + d * v};
    line(Gpt{c.x - e * v, c.y + e * u}, Gpt{c.x + e * v, c.y - e * u});
  }
  if (arrow > 0) {
    line(end, Gpt{end.x - e * u + e * v, end.y - e * v - e * u});
    line(end, Gpt{end.x - e * u - e * v, end.y - e * v + e * u});
  }
  return 0;
}
