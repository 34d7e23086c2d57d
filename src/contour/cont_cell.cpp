/*
 * cont_cell: the contour module's cell engine and the drawing of what it
 * makes.
 *
 * The cell engine (compute_dz, compute_lines) contours one level in one
 * cell and fills the band between it and the previous level from tables of
 * polygons, so that the bands of a cell tile it exactly; close_top closes
 * the top band over the rest of the cell. CONT_draw_lines splits what it
 * draws at the seam of world-wide projections.
 */
#include "cont_impl.h"

#include <algorithm>
#include <cmath>

using namespace cont_impl;

namespace {

/* Points of a polygon recipe: this level's crossing on side n (C), the
 * previous level's (P), a cell corner (K); END closes one polygon. */
enum Token : signed char { C0, C1, C2, C3, P0, P1, P2, P3, K0, K1, K2, K3, END };

constexpr int MAX_TOKENS = 20;
struct Recipe {
  signed char tok[MAX_TOKENS];
  int n;
};

constexpr Recipe recipe(const char* text) {
  Recipe r{{}, 0};
  for (const char* p = text; *p;) {
    if (*p == ' ' || *p == ',') {
      ++p;
      continue;
    }
    if (*p == ';') {
      r.tok[r.n++] = END;
      ++p;
      continue;
    }
    const int k = p[1] - '0';
    r.tok[r.n++] = static_cast<signed char>(*p == 'C' ? C0 + k : *p == 'P' ? P0 + k : K0 + k);
    p += 2;
  }
  r.tok[r.n++] = END;
  return r;
}

/* Key of the two sides a level crosses. */
constexpr int pair_key(int a, int b) { return a * 4 + b; }

/* The part of the cell below the level when no lower level crosses it: the
 * first test that holds chooses the polygon (C the first listed side's
 * crossing, D the second's). */
struct BelowRow {
  int a, b;
  int corner1;
  bool strict1; /* level > z[corner1], else level >= */
  Recipe first;
  int corner2;
  bool strict2;
  Recipe second;
  bool clear_list; /* neither holds: the level counts as not crossing */
};

#define R(x) recipe(x)
constexpr BelowRow below_rows[] = {
    {0, 1, 1, true, R("C0 C1 K2 K3 K1"), 0, false, R("C0 C1 K0"), false},
    {0, 2, 1, true, R("C0 C2 K3 K1"), 2, true, R("C0 C2 K2 K0"), true},
    {1, 2, 0, true, R("C1 C2 K3 K1 K0"), 2, false, R("C1 C2 K2"), false},
    {0, 3, 1, true, R("C0 C3 K1"), 0, false, R("C0 C3 K3 K2 K0"), false},
    {1, 3, 0, true, R("C1 C3 K1 K0"), 3, true, R("C1 C3 K3 K2"), true},
    {2, 3, 2, true, R("C2 C3 K1 K0 K2"), 3, false, R("C2 C3 K3"), false},
};

/* The band between the previous level's line and this one, both crossing
 * two sides. */
struct PairRow {
  int pa, pb, ca, cb;
  Recipe ring;
};

constexpr PairRow pair_rows[] = {
    {0, 1, 0, 1, R("C0 C1 P1 P0")},       {0, 1, 0, 2, R("C0 C2 K2 P1 P0")},    {0, 1, 0, 3, R("C0 C3 K3 K2 P1 P0")},
    {0, 1, 1, 2, R("C1 C2 K3 K1 P0 P1")}, {0, 1, 1, 3, R("C1 C3 K1 P0 P1")},    {0, 1, 2, 3, R("C2 C3 K1 P0 P1 K2")},
    {0, 2, 0, 1, R("C0 C1 K2 P2 P0")},    {0, 2, 0, 2, R("C0 C2 P2 P0")},       {0, 2, 0, 3, R("C0 C3 K3 P2 P0")},
    {0, 2, 1, 2, R("C1 C2 P2 P0 K0")},    {0, 2, 2, 3, R("C2 C3 K1 P0 P2")},    {0, 3, 0, 1, R("C0 C1 K2 K3 P3 P0")},
    {0, 3, 0, 2, R("C0 C2 K3 P3 P0")},    {0, 3, 0, 3, R("C0 C3 P3 P0")},       {0, 3, 1, 2, R("C1 C2 K3 P3 P0 K0")},
    {0, 3, 1, 3, R("C1 C3 P3 P0 K0")},    {0, 3, 2, 3, R("C2 C3 P3 P0 K0 K2")}, {1, 2, 0, 1, R("C0 C1 P1 P2 K3 K1")},
    {1, 2, 0, 2, R("C0 C2 P2 P1 K0")},    {1, 2, 0, 3, R("C0 C3 K3 P2 P1 K0")}, {1, 2, 1, 2, R("C1 C2 P2 P1")},
    {1, 2, 1, 3, R("C1 C3 K3 P2 P1")},    {1, 2, 2, 3, R("C2 C3 K1 K0 P1 P2")}, {1, 3, 0, 1, R("C0 C1 P1 P3 K1")},
    {1, 3, 0, 3, R("C0 C3 P3 P1 K0")},    {1, 3, 1, 2, R("C1 C2 K3 P3 P1")},    {1, 3, 1, 3, R("C1 C3 P3 P1")},
    {1, 3, 2, 3, R("C2 C3 P3 P1 K2")},    {2, 3, 0, 1, R("C0 C1 K2 P2 P3 K1")}, {2, 3, 0, 2, R("C0 C2 P2 P3 K1")},
    {2, 3, 0, 3, R("C0 C3 P3 P2 K2 K0")}, {2, 3, 1, 2, R("C1 C2 P2 P3 K1 K0")}, {2, 3, 1, 3, R("C1 C3 P3 P2 K2")},
    {2, 3, 2, 3, R("C2 C3 P3 P2")},
};

/* Bands where either level is a saddle. prev: -1 none, a pair key, or
 * SADDLE; cur likewise; the saddle sums pick the resolution, and where two
 * rows share them the value of corner 0 (at or above this level, or not)
 * picks the corner pattern. ANY matches either. */
constexpr int SADDLE = 100;
constexpr int ANY = -1;
struct SaddleRow {
  int prev;
  int ptotal_high; /* previous saddle sum 2 or more: 1, below: 0, ANY */
  int cur;
  int total_high;
  int c0_high; /* corner 0 at or above this level: 1, below: 0, ANY */
  Recipe polys;
};

constexpr SaddleRow saddle_rows[] = {
    {-1, ANY, SADDLE, 1, 1, R("C3 C0 K1; C1 C2 K2")},
    {-1, ANY, SADDLE, 1, 0, R("C1 C2 K3 C3 C0 K0")},
    {-1, ANY, SADDLE, 0, 1, R("C0 C1 K2 C2 C3 K1")},
    {-1, ANY, SADDLE, 0, 0, R("C2 C3 K3; C0 C1 K0")},
    {pair_key(0, 1), ANY, SADDLE, 1, ANY, R("C1 C2 K3 C3 C0 P0 P1")},
    {pair_key(0, 1), ANY, SADDLE, 0, ANY, R("C2 C3 K3; C0 C1 P1 P0")},
    {pair_key(0, 3), ANY, SADDLE, 1, ANY, R("C3 C0 P0 P3; C1 C2 K2")},
    {pair_key(0, 3), ANY, SADDLE, 0, ANY, R("C0 C1 K2 C2 C3 P3 P0")},
    {pair_key(1, 2), ANY, SADDLE, 1, ANY, R("C3 C0 K1; C1 C2 P2 P1")},
    {pair_key(1, 2), ANY, SADDLE, 0, ANY, R("C0 C1 P1 P2 C2 C3 K1")},
    {pair_key(2, 3), ANY, SADDLE, 1, ANY, R("C1 C2 P2 P3 C3 C0 K0")},
    {pair_key(2, 3), ANY, SADDLE, 0, ANY, R("C2 C3 P3 P2; C0 C1 K0")},
    {SADDLE, 1, pair_key(0, 1), ANY, ANY, R("C0 C1 P1 P2 K3 P3 P0")},
    {SADDLE, 1, pair_key(0, 3), ANY, ANY, R("P1 P2 K2; C0 C3 P3 P0")},
    {SADDLE, 1, pair_key(1, 2), ANY, ANY, R("P3 P0 K1; C1 C2 P2 P1")},
    {SADDLE, 1, pair_key(2, 3), ANY, ANY, R("C2 C3 P3 P0 K0 P1 P2")},
    {SADDLE, 1, SADDLE, 1, 1, R("C3 C0 P0 P3; C1 C2 P2 P1")},
    {SADDLE, 1, SADDLE, 1, 0, R("C1 C2 P2 P1; C3 C0 P0 P3")},
    {SADDLE, 1, SADDLE, 0, ANY, R("C0 C1 P1 P2 C2 C3 P3 P0")},
    {SADDLE, 0, pair_key(0, 1), ANY, ANY, R("P2 P3 K3; C0 C1 P1 P0")},
    {SADDLE, 0, pair_key(0, 3), ANY, ANY, R("C0 C3 P3 P2 K2 P1 P0")},
    {SADDLE, 0, pair_key(1, 2), ANY, ANY, R("C1 C2 P2 P3 K1 P0 P1")},
    {SADDLE, 0, pair_key(2, 3), ANY, ANY, R("P0 P1 K0; C2 C3 P3 P2")},
    {SADDLE, 0, SADDLE, 1, ANY, R("C1 C2 P2 P3 C3 C0 P0 P1")},
    {SADDLE, 0, SADDLE, 0, 1, R("C0 C1 P1 P0; C2 C3 P3 P2")},
    {SADDLE, 0, SADDLE, 0, 0, R("C2 C3 P3 P2; C0 C1 P1 P0")},
};

/* The part of the cell above the level the engine last worked, closing the
 * top band of a cell (L0, L1 are that level's crossings, written C here). */
constexpr BelowRow above_rows[] = {
    {0, 1, 1, true, R("C0 C1 K2 K3 K1"), 0, false, R("C0 C1 K0"), false},
    {0, 2, 2, true, R("C0 C2 K2 K0"), 1, true, R("C0 C2 K3 K1"), false},
    {1, 2, 0, true, R("C1 C2 K3 K1 K0"), 2, false, R("C1 C2 K2"), false},
    {0, 3, 1, true, R("C0 C3 K1"), 0, false, R("C0 C3 K3 K2 K0"), false},
    {1, 3, 3, true, R("C1 C3 K3 K2"), 0, true, R("C1 C3 K1 K0"), false},
    {2, 3, 2, true, R("C2 C3 K1 K0 K2"), 3, false, R("C2 C3 K3"), false},
};
#undef R

/* Whole-cell and saddle closures. */
constexpr Recipe saddle_above_joined = recipe("C2 K3 C3 C0 K0 C1");   /* total >= 2, c0 above */
constexpr Recipe saddle_above_split = recipe("C2 K2 C1; C0 K1 C3");   /* total >= 2, c0 below */
constexpr Recipe saddle_above_corners = recipe("C2 K3 C3; C0 K0 C1"); /* total < 2, c2 below */
constexpr Recipe saddle_above_middle = recipe("C2 C3 K1 C0 C1 K2");   /* total < 2, c2 above */

/* Lookup tables built once from the rows. */
struct Tables {
  const BelowRow* below[16] = {};
  const BelowRow* above[16] = {};
  const PairRow* pair[16][16] = {};
  Tables() {
    for (const BelowRow& r : below_rows) below[pair_key(r.a, r.b)] = &r;
    for (const BelowRow& r : above_rows) above[pair_key(r.a, r.b)] = &r;
    for (const PairRow& r : pair_rows) pair[pair_key(r.pa, r.pb)][pair_key(r.ca, r.cb)] = &r;
  }
};
const Tables tables;

/* The points of a recipe. */
struct Points {
  Gpt c[4];
  Gpt p[4];
};

/* Fills each polygon of a recipe. */
void fill_recipe(const Recipe& r, const Points& pts) {
  Gpt poly[MAX_TOKENS + 1];
  int n = 0;
  for (int i = 0; i < r.n; ++i) {
    const int t = r.tok[i];
    if (t == END) {
      if (n >= 3) {
        poly[n] = poly[0];
        CONT_draw_lines(CONT_FILL, n + 1, poly);
      }
      n = 0;
      continue;
    }
    if (t <= C3)
      poly[n++] = pts.c[t - C0];
    else if (t <= P3)
      poly[n++] = pts.p[t - P0];
    else
      poly[n++] = corner(t - K0);
  }
}

/* The previous level's crossings, by side, from where the engine left them. */
void previous_points(Points* pts) {
  Cell& c = state.cell;
  if (c.cross[6] >= 0) {
    if (c.ptotal >= 2.0f) {
      pts->p[1] = c.pt[10];
      pts->p[2] = c.pt[11];
      pts->p[3] = c.pt[12];
      pts->p[0] = c.pt[13];
    } else {
      pts->p[0] = c.pt[10];
      pts->p[1] = c.pt[11];
      pts->p[2] = c.pt[12];
      pts->p[3] = c.pt[13];
    }
  } else if (c.cross[4] >= 0 && c.cross[5] >= 0) {
    pts->p[c.cross[4]] = c.pt[10];
    pts->p[c.cross[5]] = c.pt[11];
  }
}

int level_kind(const int* list) {
  if (list[0] < 0) return -1;
  if (list[2] >= 0) return SADDLE;
  return pair_key(list[0], list[1]);
}

bool matches(int want, int got) { return want == ANY || want == got; }

/* Fills the band below this level and above the previous one. */
void fill_band(float level, const Points& pts) {
  Cell& c = state.cell;
  const int cur = level_kind(c.cross);
  const int prev = c.cross[4] < 0 ? -1 : level_kind(c.cross + 4);
  if (cur == -1) return;
  if (prev == -1 && cur != SADDLE) {
    const BelowRow* r = tables.below[cur];
    if (!r) return;
    const float z1 = c.z[r->corner1], z2 = c.z[r->corner2];
    if (r->strict1 ? level > z1 : level >= z1)
      fill_recipe(r->first, pts);
    else if (r->strict2 ? level > z2 : level >= z2)
      fill_recipe(r->second, pts);
    else if (r->clear_list)
      c.cross[0] = c.cross[1] = -1;
    return;
  }
  if (prev != SADDLE && cur != SADDLE) {
    if (const PairRow* r = tables.pair[prev][cur]) fill_recipe(r->ring, pts);
    return;
  }
  const int th = c.total >= 2.0f ? 1 : 0;
  const int ph = c.ptotal >= 2.0f ? 1 : 0;
  const int c0 = c.z[0] >= level ? 1 : 0;
  for (const SaddleRow& r : saddle_rows)
    if (r.prev == prev && r.cur == cur && matches(r.ptotal_high, prev == SADDLE ? ph : ANY) &&
        matches(r.total_high, cur == SADDLE ? th : ANY) && matches(r.c0_high, c0)) {
      fill_recipe(r.polys, pts);
      return;
    }
}

} // namespace

namespace cont_impl {

/* Closes the top band of a cell: the part above `level`, from the crossings
 * that the engine left for it. */
void close_top(float level) {
  Cell& c = state.cell;
  Points pts{};
  if (c.numsides == 2 && c.cross[0] >= 0 && c.cross[1] >= 0) {
    const BelowRow* r = tables.above[pair_key(c.cross[0], c.cross[1])];
    if (!r) return;
    pts.c[c.cross[0]] = c.pt[0];
    pts.c[c.cross[1]] = c.pt[1];
    const float z1 = c.z[r->corner1], z2 = c.z[r->corner2];
    if (r->strict1 ? z1 > level : z1 >= level)
      fill_recipe(r->first, pts);
    else if (r->strict2 ? z2 > level : z2 >= level)
      fill_recipe(r->second, pts);
  } else if (c.numsides == 4) {
    for (int s = 0; s < 4; ++s) pts.c[s] = crossing(s, c.dz[s]);
    if (c.total >= 2.0f)
      fill_recipe(c.z[0] >= level && c.dz[0] != 0.0f ? saddle_above_joined : saddle_above_split, pts);
    else
      fill_recipe(c.z[2] <= level ? saddle_above_corners : saddle_above_middle, pts);
  }
}

} // namespace cont_impl

int compute_dz(float level) {
  Cell& c = state.cell;
  for (int s = 0; s < 4; ++s) {
    const float za = c.z[side_from[s]], zb = c.z[side_to[s]];
    if (zb == za) {
      c.dz[s] = -3.0f;
      continue;
    }
    c.dz[s] = (level - za) / (zb - za);
    if (c.z[side_mark[s]] == level)
      c.dz[s] = -1.0f;
    else if (c.dz[s] < 0.0f || c.dz[s] > 1.0f)
      c.dz[s] = -2.0f;
  }
  c.numsides = 0;
  for (float d : c.dz)
    if (d >= 0.0f) ++c.numsides;
  /* A crossing exactly at a corner that another crossed side also reaches
   * counts once. */
  constexpr float drop_at[4] = {0.0f, 1.0f, 0.0f, 1.0f};
  int n = 0;
  for (int s = 0; s < 4; ++s) {
    if (!(c.dz[s] >= 0.0f)) continue;
    if (c.numsides == 3 && c.dz[s] == drop_at[s]) continue;
    c.cross[n++] = s;
  }
  for (int i = n; i < 4; ++i) c.cross[i] = -1;
  c.ptotal = c.total;
  c.total = ((2.0f - c.dz[2]) - c.dz[3]) + (c.dz[0] + c.dz[1]);
  if (c.numsides == 3) {
    c.numsides = 2;
    c.cross[2] = -1;
  } else if (c.numsides == 1) {
    c.numsides = 0;
    c.cross[0] = -1;
  }
  return 0;
}

int compute_lines(float level) {
  Cell& c = state.cell;
  const int type = state.cont_type;
  const bool draw = c.cross[4] >= -1;
  const bool lines = is_line(type) && !state.walk_lines;
  if (lines && draw)
    for (int s = 0; s < 4; ++s) {
      const int a = side_from[s], b = side_to[s];
      if (c.dz[s] != -3.0f || c.z[a] != level) continue;
      c.pt[0] = corner(a);
      c.pt[1] = corner(b);
      draw_segment(c.pt[0], c.pt[1]);
    }
  Points pts{};
  if (c.numsides == 2) {
    const int s0 = c.cross[0], s1 = c.cross[1];
    if (s0 < 0 || s1 < 0) return 0;
    pts.c[s0] = crossing(s0, c.dz[s0]);
    pts.c[s1] = crossing(s1, c.dz[s1]);
    if (draw && is_fill(type)) {
      previous_points(&pts);
      fill_band(level, pts);
    }
    c.pt[0] = pts.c[s0];
    c.pt[1] = pts.c[s1];
    if (draw && lines) draw_segment(c.pt[0], c.pt[1]);
  } else if (c.numsides == 4) {
    for (int s = 0; s < 4; ++s) pts.c[s] = crossing(s, c.dz[s]);
    if (draw && is_fill(type)) {
      previous_points(&pts);
      fill_band(level, pts);
    }
    const Gpt B = pts.c[0], W = pts.c[1], T = pts.c[2], R = pts.c[3];
    if (c.total >= 2.0f) {
      c.pt[0] = W;
      c.pt[1] = T;
      c.pt[12] = R;
      c.pt[13] = B;
    } else {
      c.pt[0] = B;
      c.pt[1] = W;
      c.pt[12] = T;
      c.pt[13] = R;
    }
    if (draw && lines) {
      if (c.total >= 2.0f) {
        draw_segment(R, B);
        draw_segment(T, W);
      } else {
        draw_segment(T, R);
        draw_segment(B, W);
      }
    }
  }
  return 0;
}

namespace {

constexpr float LATLON_SEAM = 360.0f;
constexpr float MERC_SEAM = 400.3155517578125f;
constexpr double MERC_SEAM_D = 400.31555892808814;
constexpr float MERC_HALF = 200.16029273816693f;
constexpr float MOLL_HALF = 127.426f;
constexpr float MOLL_FULL = 254.852f;
constexpr float MOLL_R = 63.713f;
constexpr int PROJ_LATLON = 2, PROJ_MERC = 3, PROJ_LAMBERT = 4, PROJ_MOLL = 7;

float moll_width(float full, float y) {
  const float r = 1.0f - (y / MOLL_R) * (y / MOLL_R);
  return full * std::sqrt(std::max(r, 0.0f));
}

void emit_line(float x0, float y0, float x1, float y1) {
  const Gpt seg[2] = {{x0, y0}, {x1, y1}};
  state.kernel.line(2, seg);
}

} // namespace

int CONT_draw_lines(int type, int num_pt, Gpt* pts) {
  const int off = state.cell.con_off;
  if (off >= 0 && off <= CONT_MAX_LEVELS && state.fill_attrib[off].color == NO_COLOUR) return -1;
  if (!pts || num_pt < 2) return 0;
  const int proj = state.proj != IMISS ? state.proj : MAP_get_proj();
  if (is_fill(type) && num_pt >= 3) {
    bool split = false;
    const float jump = proj == PROJ_MOLL ? 10.0f : 50.0f;
    if (proj == PROJ_LATLON || proj == PROJ_MERC || proj == PROJ_LAMBERT || proj == PROJ_MOLL)
      for (int i = 1; i < num_pt && !split; ++i)
        if (std::fabs(pts[i].x - pts[i - 1].x) > jump) split = true;
    if (!split && (proj == PROJ_LATLON || proj == PROJ_MERC)) {
      float lo = proj == PROJ_LATLON ? -180.0f : -MERC_HALF, hi = -lo;
      if (state.x_min != MISS) lo = state.x_min, hi = state.x_max;
      for (int i = 0; i < num_pt && !split; ++i)
        if (pts[i].x < lo || pts[i].x > hi) split = true;
    }
    if (!split) {
      state.kernel.fill(num_pt, pts);
    } else if (proj == PROJ_MOLL) {
      for (int i = 0; i < num_pt; ++i)
        if (pts[i].x < 0.0f) pts[i].x += 2.0f * moll_width(MOLL_HALF, pts[i].y);
      state.kernel.fill(num_pt, pts);
      for (int i = 0; i < num_pt; ++i) pts[i].x -= 2.0f * moll_width(MOLL_HALF, pts[i].y);
      state.kernel.fill(num_pt, pts);
    } else if (proj == PROJ_LATLON || proj == PROJ_MERC) {
      const float seam = proj == PROJ_LATLON ? LATLON_SEAM : MERC_SEAM;
      for (int i = 0; i < num_pt; ++i)
        if (pts[i].x < -150.0f) pts[i].x += seam;
      state.kernel.fill(num_pt, pts);
      for (int i = 0; i < num_pt; ++i)
        if (pts[i].x > 150.0f) pts[i].x -= seam;
      state.kernel.fill(num_pt, pts);
    }
    /* Lambert conformal: a polygon across the cut is dropped. */
  }
  if (is_line(type)) {
    const float x0 = pts[0].x, y0 = pts[0].y, x1 = pts[1].x, y1 = pts[1].y;
    const float d = x1 - x0;
    if (proj == PROJ_MOLL) {
      const float w = moll_width(MOLL_FULL, y0);
      if (x0 < 0.0f && x1 > 0.0f && d > 10.0f) {
        emit_line(x0 + w, y0, x1, y1);
        emit_line(x0, y0, x1 - w, y1);
      } else if (x0 > 0.0f && x1 < 0.0f && -d > 10.0f) {
        emit_line(x0, y0, x1 + w, y1);
        emit_line(x0 - w, y0, x1, y1);
      } else {
        emit_line(x0, y0, x1, y1);
      }
    } else if (proj == PROJ_LATLON || proj == PROJ_MERC) {
      const float s = proj == PROJ_LATLON ? LATLON_SEAM : MERC_SEAM;
      if (d < -50.0f) {
        emit_line(x0, y0, x1 + s, y1);
        emit_line(x0 - s, y0, x1, y1);
      } else if (d > 50.0f) {
        emit_line(x0, y0, x1 - s, y1);
        emit_line(x0 + s, y0, x1, y1);
      } else {
        emit_line(x0, y0, x1, y1);
      }
    } else if (proj == PROJ_LAMBERT) {
      if (std::fabs(d) < 50.0f) emit_line(x0, y0, x1, y1);
    } else {
      emit_line(x0, y0, x1, y1);
    }
  }
  return 0;
}

int int_xy(Gpt* pt, float x1, float y1, float x2, float y2, float d) {
  if (!pt) return 0;
  const int proj = state.proj != IMISS ? state.proj : MAP_get_proj();
  if (proj == PROJ_LATLON) {
    if (x1 - x2 < -50.0f) x1 += LATLON_SEAM;
    if (x1 - x2 > 50.0f) x1 -= LATLON_SEAM;
  } else if (proj == PROJ_MERC) {
    if (x1 - x2 < -50.0f) x1 = static_cast<float>(x1 + MERC_SEAM_D);
    if (x1 - x2 > 50.0f) x1 = static_cast<float>(x1 - MERC_SEAM_D);
  } else if (proj == PROJ_MOLL) {
    if (x1 < 0.0f && x2 > 0.0f && x2 - x1 > 10.0f) x1 += moll_width(MOLL_FULL, y1);
    if (x1 > 0.0f && x2 < 0.0f && x1 - x2 > 10.0f) x2 += moll_width(MOLL_FULL, y2);
  }
  pt->x = (x2 - x1) * d + x1;
  pt->y = (y2 - y1) * d + y1;
  return 0;
}
