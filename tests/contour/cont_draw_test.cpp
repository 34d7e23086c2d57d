/*
 * The cell engine and the grid walk, observed through the recorder of
 * kernel primitives: band polygons tile every cell, saddles resolve
 * consistently, lines and areas agree with contourpy, seams of world-wide
 * projections split what crosses them, and the walk's edge cases hold.
 */
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "cont_record.h"
#include "kez_test.h"
#include "kezcont.h"
#include "ps_render.h"

namespace {

using kez_test::ChildResult;
using kez_test::run_child;
using kez_test::TempDir;

/* A grid whose values the test writes by column i and walk row j (row 0 at
 * the bottom). */
struct Grid {
  GRD_report g{};
  std::vector<float> v;
  Grid(int nx, int ny, int proj = -9999) : v(static_cast<size_t>(nx) * ny, 0.0f) {
    DOM_init(&g.domain);
    g.domain.proj = proj;
    g.domain.nx = nx;
    g.domain.ny = ny;
    g.grid = v.data();
  }
  float& at(int i, int j) { return v[static_cast<size_t>(g.domain.ny - 1 - j) * g.domain.nx + i]; }
};

/* Kernel, colour table and a metafile device in this (child) process. */
void open_kernel(const std::string& meta) {
  gopen_gks(nullptr, 0);
  gopen_ws(1, meta.c_str(), GWS_META);
  CLR_read_table(KEZ_DATA_DIR "/kez.clr");
  RES_put("color_cont", "off");
}

std::string level_list(const std::vector<float>& levels) {
  std::string s;
  char buf[64];
  for (size_t k = 0; k < levels.size(); ++k) {
    std::snprintf(buf, sizeof buf, "%s%.9g:%d", k ? "," : "", static_cast<double>(levels[k]), static_cast<int>(k) + 1);
    s += buf;
  }
  return s;
}

/* Draws a grid with the given type and explicit levels (band k in colour
 * k + 1), in grid coordinates. */
void draw(Grid& grid, int type, const std::vector<float>& levels) {
  CONT_init();
  CONT_reset_fill_set();
  CONT_set_type(type);
  if (!levels.empty()) CONT_set_fill_colors(level_list(levels).c_str(), 1);
  MAP_domain(&grid.g.domain);
  cont_rec::install();
  CONT_draw_contour(&grid.g);
}

bool inside(const std::vector<Gpt>& poly, float x, float y) {
  bool in = false;
  const size_t n = poly.size();
  for (size_t a = 0, b = n - 1; a < n; b = a++) {
    const Gpt& p = poly[a];
    const Gpt& q = poly[b];
    if ((p.y > y) != (q.y > y) && x < (q.x - p.x) * (y - p.y) / (q.y - p.y) + p.x) in = !in;
  }
  return in;
}

float near_edge(const std::vector<Gpt>& poly, float x, float y) {
  float best = 1e9f;
  for (size_t a = 0, b = poly.size() - 1; a < poly.size(); b = a++) {
    const float dx = poly[b].x - poly[a].x, dy = poly[b].y - poly[a].y;
    const float len2 = dx * dx + dy * dy;
    float t = len2 > 0 ? ((x - poly[a].x) * dx + (y - poly[a].y) * dy) / len2 : 0;
    t = std::fmax(0.0f, std::fmin(1.0f, t));
    best = std::fmin(best, std::hypot(x - (poly[a].x + t * dx), y - (poly[a].y + t * dy)));
  }
  return best;
}

double area(const std::vector<Gpt>& p) {
  double s = 0;
  for (size_t a = 0, b = p.size() - 1; a < p.size(); b = a++)
    s += static_cast<double>(p[b].x) * p[a].y - static_cast<double>(p[a].x) * p[b].y;
  return std::fabs(s) / 2;
}

/* --- the cell engine ---------------------------------------------------- */

TEST(CellEngine, BandsOfTheSpecimenCells) {
  TempDir dir;
  ChildResult r = run_child([&] {
    open_kernel(dir.file("a.meta"));
    int bad = 0;
    /* corners 0, 10, 5, 20 at levels 3 then 8 */
    Grid g(2, 2);
    g.at(0, 0) = 0, g.at(1, 0) = 10, g.at(0, 1) = 5, g.at(1, 1) = 20;
    draw(g, CONT_FILL, {-5, 3, 8, 30});
    const auto& polys = cont_rec::rec().polys;
    /* level 3 with nothing below: the triangle C0, C1, c0 (closed) */
    if (polys.size() < 3 || polys[0].colour != 1 || polys[0].pts.size() != 4) bad |= 1;
    if (polys.size() >= 2 && std::fabs(area(polys[0].pts) - 0.5 * 0.3 * 0.6) > 1e-5) bad |= 4;
    /* level 8 over level 3: C0, C2, c2, P1, P0 (closed) */
    if (polys.size() >= 2 && (polys[1].colour != 2 || polys[1].pts.size() != 6)) bad |= 2;
    /* the 0, 10, 10, 0 saddle: two segments each at 3 (around corners 0
     * and 3) and at 7 (cutting off corners 1 and 2); one octagon between */
    Grid s(2, 2);
    s.at(0, 0) = 0, s.at(1, 0) = 10, s.at(0, 1) = 10, s.at(1, 1) = 0;
    draw(s, CONT_LINES_FILL, {-5, 3, 7, 20});
    int octagons = 0;
    for (const auto& p : cont_rec::rec().polys)
      if (p.colour == 2 && p.pts.size() == 9) ++octagons;
    if (octagons != 1) bad |= 8;
    double total = 0;
    for (const auto& p : cont_rec::rec().polys) total += area(p.pts);
    if (std::fabs(total - 1.0) > 1e-5) bad |= 16;
    if (cont_rec::rec().segs.size() != 4) bad |= 32;
    /* a flat side on the level is a line where the field falls away from
     * it, once; where the field rises from it the level is not crossed */
    Grid f(2, 2);
    f.at(0, 0) = 5, f.at(1, 0) = 5, f.at(0, 1) = 1, f.at(1, 1) = 1;
    draw(f, CONT_LINES, {5, 7});
    if (cont_rec::rec().segs.size() != 1 || cont_rec::rec().segs[0].a.y != 0 || cont_rec::rec().segs[0].b.y != 0)
      bad |= 64;
    f.at(0, 1) = f.at(1, 1) = 9;
    draw(f, CONT_LINES, {5, 7});
    for (const auto& l : cont_rec::rec().segs)
      if (l.a.y == 0 && l.b.y == 0) bad |= 64;
    /* colour -1 draws neither the band nor its line */
    CONT_init();
    CONT_reset_fill_set();
    CONT_set_type(CONT_LINES_FILL);
    CONT_set_fill_colors("3:off,8:2,30:3", 1);
    cont_rec::install();
    CONT_draw_contour(&g.g);
    for (const auto& p : cont_rec::rec().polys)
      if (p.colour == -1 || p.colour == 0) bad |= 128;
    if (!cont_rec::rec().segs.empty()) bad |= 256; /* nor the line at 8 drawn with that band */
    return bad;
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(CellEngine, BandsTileEveryCellExactlyOnce) {
  TempDir dir;
  ChildResult r = run_child([&] {
    open_kernel(dir.file("a.meta"));
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> val(-10, 10);
    std::uniform_int_distribution<int> nlev(1, 7);
    int wrong_cells = 0;
    for (int cell = 0; cell < 10000; ++cell) {
      Grid g(2, 2);
      float lo = 1e9f, hi = -1e9f;
      for (int k = 0; k < 4; ++k) {
        float z = val(rng);
        if (cell % 5 == 0) z = std::round(z); /* corners sometimes on a level */
        g.v[k] = z;
        lo = std::fmin(lo, z), hi = std::fmax(hi, z);
      }
      std::vector<float> levels{lo - 1 - val(rng) * 0.05f - 0.5f};
      const int n = nlev(rng);
      for (int k = 1; k <= n; ++k) levels.push_back(lo + (hi - lo) * (k - 0.5f + 0.3f * val(rng) / 10) / n);
      levels.push_back(hi + 1);
      if (cell % 7 == 0) levels.push_back(g.v[static_cast<size_t>(cell / 7) % 4]); /* a corner on a level */
      if (cell % 11 == 0) levels.push_back(hi);
      if (cell % 13 == 0) levels.push_back(lo);
      std::sort(levels.begin(), levels.end());
      levels.erase(std::unique(levels.begin(), levels.end()), levels.end());
      draw(g, cell % 2 ? CONT_FILL : CONT_LINES_FILL, levels);
      const auto& polys = cont_rec::rec().polys;
      bool ok = true;
      for (int a = 0; a < 64 && ok; ++a)
        for (int b = 0; b < 64 && ok; ++b) {
          const float x = (a + 0.5f) / 64, y = (b + 0.5f) / 64;
          int count = 0;
          bool edge = false;
          for (const auto& p : polys) {
            if (near_edge(p.pts, x, y) < 1e-4f) edge = true;
            if (inside(p.pts, x, y)) ++count;
          }
          if (!edge && count != 1) ok = false;
        }
      if (!ok) {
        if (wrong_cells < 5)
          std::printf("cell %d: %g %g %g %g, %zu polygons\n", cell, double(g.v[0]), double(g.v[1]), double(g.v[2]),
                      double(g.v[3]), polys.size());
        ++wrong_cells;
      }
    }
    return wrong_cells == 0 ? 0 : 1;
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

/* --- agreement with contourpy ------------------------------------------- */

TEST(GridWalk, AreasAndLengthsAgreeWithContourpy) {
  if (kez_test::run_command("/usr/bin/python3 -c 'import contourpy'") != 0) GTEST_SKIP() << "no contourpy";
  TempDir dir;
  const int nx = 200, ny = 100;
  std::vector<float> levels;
  for (int k = 0; k < 20; ++k) levels.push_back(10.0f + 14.0f * k);
  std::string py =
      "import numpy as np, contourpy\nnx,ny=200,100\n"
      "x=np.arange(nx,dtype=np.float64); y=np.arange(ny,dtype=np.float64)\n"
      "X,Y=np.meshgrid(x,y)\n"
      "z=(X+2*Y+0.3*np.sin(X/7)).astype(np.float32).astype(np.float64)\n"
      "lv=[10.0+14.0*k for k in range(20)]\n"
      "g=contourpy.contour_generator(x,y,z,name='serial',fill_type='OuterOffset',line_type='Separate')\n"
      "def ar(p):\n  return 0.5*(np.dot(p[:,0],np.roll(p[:,1],-1))-np.dot(p[:,1],np.roll(p[:,0],-1)))\n"
      "for a,b in zip(lv[:-1],lv[1:]):\n"
      "  pts,offs=g.filled(a,b); s=0.0\n"
      "  for P,O in zip(pts,offs):\n"
      "    for i in range(len(O)-1): s+=ar(P[O[i]:O[i+1]])\n"
      "  print('A',abs(s))\n"
      "for a in lv:\n"
      "  print('L',sum(np.sum(np.hypot(*np.diff(l,axis=0).T)) for l in g.lines(a)))\n";
  kez_test::write_file(dir.file("cp.py"), py);
  std::string out;
  ASSERT_EQ(kez_test::run_command("/usr/bin/python3 " + dir.file("cp.py"), &out), 0);
  std::vector<double> want_area, want_len;
  std::istringstream in(out);
  std::string tag;
  double v;
  while (in >> tag >> v) (tag == "A" ? want_area : want_len).push_back(v);
  ASSERT_EQ(want_area.size(), 19u);
  ASSERT_EQ(want_len.size(), 20u);

  ChildResult r = run_child([&] {
    open_kernel(dir.file("a.meta"));
    Grid g(nx, ny);
    for (int j = 0; j < ny; ++j)
      for (int i = 0; i < nx; ++i) g.at(i, j) = static_cast<float>(i + 2.0 * j + 0.3 * std::sin(i / 7.0));
    int bad = 0;
    draw(g, CONT_FILL, levels);
    std::map<int, double> areas;
    for (const auto& p : cont_rec::rec().polys) areas[p.colour] += area(p.pts);
    for (int k = 0; k < 19; ++k)
      if (std::fabs(areas[k + 1] - want_area[k]) > 1e-5 * want_area[k]) {
        std::printf("band %d: %.9g want %.9g\n", k, areas[k + 1], want_area[k]);
        bad = 1;
      }
    draw(g, CONT_LINES, levels);
    std::map<int, double> lens;
    for (const auto& l : cont_rec::rec().segs) lens[l.colour] += std::hypot(l.b.x - l.a.x, l.b.y - l.a.y);
    for (int k = 0; k < 20; ++k)
      if (std::fabs(lens[k + 1] - want_len[k]) > 1e-5 * want_len[k]) {
        std::printf("level %d: %.9g want %.9g\n", k, lens[k + 1], want_len[k]);
        bad |= 2;
      }
    return bad;
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

} // namespace

namespace {

TEST(GridWalk, EdgeCases) {
  TempDir dir;
  ChildResult r = run_child([&] {
    open_kernel(dir.file("a.meta"));
    int bad = 0;
    Grid row(5, 1);
    for (int i = 0; i < 5; ++i) row.at(i, 0) = static_cast<float>(i);
    draw(row, CONT_FILL, {0, 2, 4});
    if (!cont_rec::rec().polys.empty()) bad |= 1;
    Grid flat(4, 3);
    for (float& v : flat.v) v = 5;
    draw(flat, CONT_LINES, {0, 5, 10});
    if (!cont_rec::rec().segs.empty()) bad |= 2;
    draw(flat, CONT_FILL, {0, 5, 10});
    if (cont_rec::rec().polys.size() != 6 || cont_rec::rec().polys[0].colour != 1)
      bad |= 4; /* the band whose top it reaches */
    Grid hole(3, 3);
    for (int j = 0; j < 3; ++j)
      for (int i = 0; i < 3; ++i) hole.at(i, j) = static_cast<float>(i + j);
    hole.at(0, 0) = -9999;
    draw(hole, CONT_FILL, {-1, 10});
    double total = 0;
    for (const auto& p : cont_rec::rec().polys) total += area(p.pts);
    if (std::fabs(total - 3.0) > 1e-5) bad |= 8; /* four cells less the one with the missing corner */
    /* automatic levels with an interval of 0 or a huge span never hang */
    CONT_init();
    CONT_reset_fill_set();
    CONT_set_fill_colors("1-15", 1);
    CONT_set_type(CONT_FILL);
    CONT_set_intrvl(1e-30f);
    MAP_domain(&hole.g.domain);
    cont_rec::install();
    CONT_draw_contour(&hole.g);
    if (!cont_rec::rec().polys.empty()) bad |= 16; /* every cell spans too many intervals */
    /* printed values on the skip lattice from the bottom-left point */
    Grid pts(5, 5);
    for (int j = 0; j < 5; ++j)
      for (int i = 0; i < 5; ++i) pts.at(i, j) = static_cast<float>(10 * i + j);
    CONT_init();
    CONT_reset_fill_set();
    CONT_set_fill_colors("1-15", 1);
    CONT_set_type(CONT_VALUES);
    CONT_set_skip(2, 2);
    MAP_domain(&pts.g.domain);
    cont_rec::install();
    CONT_draw_contour(&pts.g);
    const auto& w = cont_rec::rec().words;
    if (w.size() != 9) bad |= 32;
    for (const auto& t : w)
      if (std::fmod(t.pos.x, 2.0f) != 0 || std::fmod(t.pos.y, 2.0f) != 0) bad |= 64;
    RES_put("color_label", "off");
    cont_rec::install();
    CONT_draw_contour(&pts.g);
    if (!cont_rec::rec().words.empty() || !cont_rec::rec().polys.empty()) bad |= 128;
    return bad;
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(GridWalk, GridlocTracesOneCell) {
  TempDir dir;
  ChildResult r = run_child([&] {
    setenv("gridloc", "1,0", 1);
    open_kernel(dir.file("a.meta"));
    Grid g(3, 3);
    for (int j = 0; j < 3; ++j)
      for (int i = 0; i < 3; ++i) g.at(i, j) = static_cast<float>(i * 3 + j);
    draw(g, CONT_FILL, {0, 4, 8});
    return 0;
  });
  EXPECT_EQ(r.status, 0);
  int points = 0;
  for (size_t at = r.out.find("GRIDPOINT:"); at != std::string::npos; at = r.out.find("GRIDPOINT:", at + 1)) ++points;
  EXPECT_EQ(points, 1);
  EXPECT_NE(r.out.find("GRIDPOINT: 3.000000 6.000000 4.000000 7.000000"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("AA-val: 0.000000"), std::string::npos);
  EXPECT_NE(r.out.find("CC-val:"), std::string::npos);
}

TEST(GridWalk, DateLineSeamIsSplitNotSmeared) {
  TempDir dir;
  ChildResult r = run_child([&] {
    open_kernel(dir.file("a.meta"));
    /* A lat/lon grid crossing the date line drawn on a lat/lon map centred
     * on it: plot coordinates jump from 180 to -180. */
    Domain map;
    DOM_init(&map);
    map.proj = 2;
    map.clat = 0, map.clon = 0, map.dx = map.dy = 10, map.nx = 37, map.ny = 19;
    Grid g(9, 5, 2);
    g.g.domain.clat = 0, g.g.domain.clon = 180, g.g.domain.dx = g.g.domain.dy = 10;
    for (int j = 0; j < 5; ++j)
      for (int i = 0; i < 9; ++i) g.at(i, j) = static_cast<float>(i + 0.5 * j);
    CONT_init();
    CONT_reset_fill_set();
    CONT_set_type(CONT_LINES_FILL);
    CONT_set_fill_colors("0:1,2:2,4:3,6:4,8:5,10:6", 1);
    MAP_domain(&map);
    cont_rec::install();
    CONT_draw_contour(&g.g);
    int bad = 0, split = 0;
    for (const auto& p : cont_rec::rec().polys)
      for (size_t k = 1; k < p.pts.size(); ++k) {
        if (std::fabs(p.pts[k].x - p.pts[k - 1].x) > 180) bad |= 1;
        if (std::fabs(p.pts[k].x) > 180) ++split;
      }
    for (const auto& l : cont_rec::rec().segs)
      if (std::fabs(l.b.x - l.a.x) > 180) bad |= 2;
    if (cont_rec::rec().polys.empty() || split == 0) bad |= 4;
    /* a polygon with points at 179 and -179 is filled twice, once on each
     * side of the seam */
    map.proj = 2, map.clat = 0, map.clon = 0, map.dx = map.dy = 10, map.nx = 37, map.ny = 19;
    MAP_domain(&map);
    cont_rec::install();
    Gpt seam[4] = {{179, 0}, {-179, 0}, {-179, 2}, {179, 0}};
    CONT_draw_lines(CONT_FILL, 4, seam);
    const auto& twice = cont_rec::rec().polys;
    if (twice.size() != 2 || twice[0].pts[1].x != 181 || twice[1].pts[0].x != -181) bad |= 16;
    /* on Lambert conformal the seam polygons are dropped */
    Gpt jump[4] = {{-30, 0}, {40, 0}, {40, 5}, {-30, 0}};
    map.proj = 4, map.clat = 40, map.clon = -100, map.dx = map.dy = 1, map.nx = 20, map.ny = 20;
    map.param[0] = 30, map.param[1] = 60;
    MAP_domain(&map);
    cont_rec::install();
    CONT_draw_lines(CONT_FILL, 4, jump);
    if (!cont_rec::rec().polys.empty()) bad |= 8;
    return bad;
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

} // namespace

namespace {

TEST(GridWalk, GlobeWithoutARepeatedColumnClosesItsSeam) {
  /* A 10 degree grid from 0 to 350 E, as global models give them: the cell
   * from 350 E back to 0 E is contoured too, so no line ends at the grid's
   * seam, wherever the map puts it; a grid that repeats 0 E as 360 E, and
   * a grid short of the globe, get no extra cell. */
  struct Case {
    const char* why;
    int nx;
    float map_clon, gap_lo, gap_hi; /* the seam cell on the map */
    bool closed;
  };
  const Case cases[] = {
      {"seam in the middle of the map", 36, 0, -10, 0, true},
      {"seam at the map's edge", 36, 180, 170, 180, true},
      {"0 E repeated at 360 E", 37, 0, -10, 0, true},
      {"a grid short of the globe", 35, 0, -20, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    TempDir dir;
    ChildResult r = run_child([&] {
      open_kernel(dir.file("a.meta"));
      Domain map;
      DOM_init(&map);
      map.proj = 2, map.clat = 0, map.clon = c.map_clon, map.dx = map.dy = 10, map.nx = 37, map.ny = 17;
      Grid g(c.nx, 17, 2);
      g.g.domain.clat = 0, g.g.domain.clon = 5.0f * (c.nx - 1), g.g.domain.dx = g.g.domain.dy = 10;
      for (int j = 0; j < 17; ++j)
        for (int i = 0; i < c.nx; ++i) {
          const double lat = -80 + 10.0 * j, lon = 10.0 * i;
          g.at(i, j) = static_cast<float>(20 * std::cos(lat * M_PI / 180) + 6 * std::cos(lon * M_PI / 180) +
                                          3 * std::sin(2 * lon * M_PI / 180));
        }
      CONT_init();
      CONT_reset_fill_set();
      CONT_set_type(CONT_LINES);
      CONT_set_fill_colors("1-15", 1);
      CONT_set_intrvl(2);
      CONT_set_base(0);
      MAP_domain(&map);
      cont_rec::install();
      CONT_draw_contour(&g.g);
      /* line ends on the seam's meridians, away from the grid's top and
       * bottom rows, must pair up; the map's seam is one meridian, at -180
       * and at 180, and a line across it is drawn twice, 360 apart */
      auto meridian = [](float x) { return std::round(1000 * std::fmod(x + 540.0f, 360.0f)) / 1000 - 180; };
      using End = std::pair<float, float>;
      std::set<std::tuple<End, End, int>> segs;
      int in_gap = 0;
      for (const auto& l : cont_rec::rec().segs) {
        End a{meridian(l.a.x), l.a.y}, b{meridian(l.b.x), l.b.y};
        if (b < a) std::swap(a, b);
        segs.insert({a, b, l.colour});
        const float mid = (l.a.x + l.b.x) / 2;
        if (mid > c.gap_lo && mid < c.gap_hi && std::fabs(l.b.x - l.a.x) < 20) ++in_gap;
      }
      std::map<std::tuple<float, float, int>, int> ends;
      for (const auto& [a, b, colour] : segs)
        for (const End& p : {a, b})
          if (std::fabs(p.second) < 75 && (p.first == meridian(c.gap_lo) || p.first == meridian(c.gap_hi)))
            ++ends[{p.first, p.second, colour}];
      int open = 0;
      for (const auto& [p, n] : ends) open += n % 2;
      std::printf("%s: open %d in the gap %d\n", c.why, open, in_gap);
      return (open == 0) == c.closed && (in_gap > 0) == c.closed ? 0 : 1;
    });
    EXPECT_EQ(r.status, 0) << r.out << r.err;
  }
}

TEST(DrawEntry, ChecksTheDataSwitchAndTheGrid) {
  TempDir dir;
  ChildResult r = run_child([&] {
    open_kernel(dir.file("a.meta"));
    int bad = 0;
    Grid g(3, 3);
    for (int k = 0; k < 9; ++k) g.v[k] = static_cast<float>(k);
    CONT_init();
    CONT_reset_fill_set();
    CONT_set_type(CONT_FILL);
    CONT_set_fill_colors("1-15", 1);
    MAP_domain(&g.g.domain);
    cont_rec::install();
    if (CONT_draw(&g.g) != 0 || cont_rec::rec().polys.empty()) bad |= 1;
    if (CONT_draw(nullptr) != -1) bad |= 2;
    GRD_report empty{};
    if (CONT_draw(&empty) != -1) bad |= 4;
    CONT_set_type(CONT_VALUES);
    if (CONT_draw(&g.g) != -1) bad |= 8;
    FLAG_setplot(7, 0);
    cont_rec::install();
    if (CONT_draw(&g.g) != -1 || !cont_rec::rec().words.empty()) bad |= 16;
    return bad;
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.err.find("CONT_draw: Invalid grids\n"), std::string::npos);
  EXPECT_NE(r.err.find("CONT_draw: Invalid grid arrays\n"), std::string::npos);
}

TEST(GridWalk, DashingBelowZeroOrTheBase) {
  TempDir dir;
  ChildResult r = run_child([&] {
    open_kernel(dir.file("a.meta"));
    Grid g(2, 2);
    g.at(0, 0) = -10, g.at(1, 0) = 10, g.at(0, 1) = -10, g.at(1, 1) = 10;
    int bad = 0;
    struct Case {
      float base;
      float level;
      int type;
    } cases[] = {{-9999, -3, 2}, {-9999, 0, 1}, {-9999, 3, 1}, {5, 3, 2}, {5, 7, 1}, {5, -3, 2}};
    for (const Case& c : cases) {
      CONT_init();
      CONT_reset_fill_set();
      CONT_set_format(CONT_DASHED_BELOW, "");
      CONT_set_fill_colors((std::to_string(c.level) + ":1," + std::to_string(c.level + 50) + ":2").c_str(), 1);
      CONT_set_base(c.base);
      MAP_domain(&g.g.domain);
      cont_rec::install();
      CONT_draw_contour(&g.g);
      const auto& segs = cont_rec::rec().segs;
      if (segs.size() != 1 || segs[0].type != c.type) {
        std::printf("base %g level %g: %zu lines, type %d\n", double(c.base), double(c.level), segs.size(),
                    segs.empty() ? 0 : segs[0].type);
        bad = 1;
      }
    }
    return bad;
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(GridWalk, CutOffsAndTheSpanLimit) {
  TempDir dir;
  ChildResult r = run_child([&] {
    open_kernel(dir.file("a.meta"));
    int bad = 0;
    Grid g(2, 2);
    g.at(0, 0) = 0, g.at(1, 0) = 10, g.at(0, 1) = 0, g.at(1, 1) = 10; /* a ramp along x */
    auto run = [&](float min_cut, float max_cut, float intrvl, int fact) {
      CONT_init();
      CONT_reset_fill_set();
      CONT_set_type(CONT_FILL);
      CONT_set_fill_colors("1-15", 1);
      CONT_set_intrvl(intrvl);
      CONT_set_base(0);
      CONT_set_cutoff(max_cut, min_cut);
      CONT_set_range(10, 0);
      CONT_set_cont_ext(nullptr);
      CONT_draw_grid(0);
      /* the cell-span factor is a kept setting, set through the keyword */
      RES_put("plot_param", ("maxl=" + std::to_string(fact)).c_str());
      CONT_param_decode();
      MAP_domain(&g.g.domain);
      cont_rec::install();
      CONT_draw_contour(&g.g);
      double a = 0;
      for (const auto& p : cont_rec::rec().polys) a += area(p.pts);
      return a;
    };
    if (std::fabs(run(-9999, -9999, 2, -2) - 1.0) > 1e-5) bad |= 1;
    if (run(11, -9999, 2, -2) != 0) bad |= 2;                           /* above the cell */
    if (std::fabs(run(-9999, 5, 2, -2) - 0.5) > 1e-5) bad |= 4;         /* band cut at 5 */
    if (std::fabs(run(3, -9999, 2, -2) - 0.7) > 1e-5) bad |= 8;         /* from 3 up */
    if (run(-9999, -9999, 0.0001f, -2) != 0) bad |= 16;                 /* 100000 intervals: left out */
    if (std::fabs(run(-9999, -9999, 0.01f, 0) - 1.0) > 1e-4) bad |= 32; /* 1000 within 10000 */
    if (run(-9999, -9999, 2, 4) != 0) bad |= 64;                        /* 5 intervals over 4 */
    return bad;
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(GridWalk, PrintedValuesTakeTheirBandColourAndFormat) {
  TempDir dir;
  ChildResult r = run_child([&] {
    open_kernel(dir.file("a.meta"));
    int bad = 0;
    Grid g(3, 2);
    for (int i = 0; i < 3; ++i) g.at(i, 0) = 1.25f + 10 * i, g.at(i, 1) = -9999;
    CONT_init();
    CONT_reset_fill_set();
    CONT_set_format(CONT_VALUES, "%6.2f");
    CONT_format_decode_type("%6.2f");
    CONT_set_fill_colors("1-15", 1);
    CONT_set_intrvl(10);
    CONT_set_base(0);
    CONT_set_range(30, 0);
    CONT_set_cont_ext(nullptr);
    MAP_domain(&g.g.domain);
    cont_rec::install();
    CONT_draw_contour(&g.g);
    const auto& w = cont_rec::rec().words;
    if (w.size() != 3 || w[0].text != "  1.25" || w[2].text != " 21.25") bad |= 1;
    if (gget_text_colr() != 3) bad |= 2; /* the last value's band, colour index 3 */
    return bad;
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

} // namespace

namespace {

/* The colour table, on the workstation too. */
void load_ws_colours() {
  CLR_read_table(KEZ_DATA_DIR "/kez.clr");
  for (int i = 0; i < CLR_get_num(); ++i) {
    Gcolr_rep rep{};
    CLR_get_rgb(i, &rep.red, &rep.green, &rep.blue);
    gset_colr_rep(1, i, &rep);
  }
}

/* A global field at 5 degrees, longitudes 0 to 360, on four world maps. */
struct WorldMap {
  const char* name;
  int proj;
  float dx;
  int nx, ny;
  float jump; /* the largest edge that is no smear */
};

constexpr WorldMap world_maps[] = {
    {"latlon", 2, 5, 73, 29, 180},
    {"mercator", 3, 4, 101, 56, 200},
    {"mollweide", 7, 2.55f, 101, 51, 127},
    {"lambert", 4, 4, 61, 51, 50},
};

TEST(GridWalk, WorldMapsSplitTheirSeams) {
  ASSERT_TRUE(kez_test::have_program("gs")) << "ghostscript is needed";
  for (const WorldMap& m : world_maps) {
    TempDir dir;
    const std::string file = dir.file(std::string(m.name) + ".ps");
    ChildResult r = run_child([&] {
      unsetenv("PSCOLOR");
      gopen_gks(nullptr, 0);
      if (gopen_ws(1, (file + ",color").c_str(), GWS_PS) != 0) return 100;
      load_ws_colours();
      Domain map;
      DOM_init(&map);
      map.proj = m.proj, map.clat = m.proj == 4 ? 45 : 0, map.clon = m.proj == 4 ? -100 : 0;
      map.param[0] = 30, map.param[1] = 60;
      map.dx = map.dy = m.dx, map.nx = m.nx, map.ny = m.ny;
      MAP_domain(&map);
      MAP_set_limits();
      MAP_limits lim{};
      MAP_get_limits(&lim);
      const Glim win{lim.x_min, lim.x_max, lim.y_min, lim.y_max};
      const float aspect = (lim.x_max - lim.x_min) / (lim.y_max - lim.y_min);
      const Glim vp{0.02f, 0.98f, 0.02f, 0.02f + 0.96f / aspect};
      gset_win(2, &win);
      gset_vp(2, &vp);
      gsel_norm_tran(2);
      Grid g(73, 33, 2);
      g.g.domain.clat = 0, g.g.domain.clon = 180, g.g.domain.dx = g.g.domain.dy = 5;
      for (int j = 0; j < 33; ++j)
        for (int i = 0; i < 73; ++i) {
          const double lat = -80 + 5.0 * j, lon = 5.0 * i;
          g.at(i, j) = static_cast<float>(20 * std::cos(lat * M_PI / 180) + 8 * std::sin(lon * M_PI / 90));
        }
      CONT_init();
      CONT_reset_fill_set();
      CONT_set_type(CONT_LINES_FILL);
      CONT_set_fill_colors("2-12", 1);
      CONT_set_intrvl(3);
      RES_put("color_cont", "black");
      cont_rec::install(true);
      CONT_draw_contour(&g.g);
      int bad = 0;
      const float half = (lim.x_max - lim.x_min) / 2;
      for (const auto& p : cont_rec::rec().polys)
        for (size_t k = 1; k < p.pts.size(); ++k)
          if (std::fabs(p.pts[k].x - p.pts[k - 1].x) > std::fmin(half, m.jump)) bad |= 1;
      for (const auto& l : cont_rec::rec().segs)
        if (std::fabs(l.b.x - l.a.x) > std::fmin(half, m.jump)) bad |= 2;
      if (cont_rec::rec().polys.size() < 100) bad |= 4;
      gclose_ws(1);
      gclose_gks();
      return bad;
    });
    ASSERT_EQ(r.status, 0) << m.name << r.out << r.err;
    kez_test::Raster page;
    auto run = kez_test::gs_render(file, 612, 792, &page);
    EXPECT_TRUE(run.clean()) << m.name << ": " << run.log;
    /* Lines over fill stay visible: the fills of a cell never cover its
     * lines. */
    long dark = 0;
    for (size_t k = 0; k + 2 < page.rgb.size(); k += 3)
      if (page.rgb[k] < 60 && page.rgb[k + 1] < 60 && page.rgb[k + 2] < 60) ++dark;
    EXPECT_GT(dark, 2000) << m.name;
    if (const char* keep = std::getenv("KEZ_KEEP_PLOTS")) kez_test::run_command("cp " + file + " " + keep + "/");
  }
}

} // namespace

namespace {

TEST(GridWalk, TopBandStartingInsideACellUsesThatCell) {
  TempDir dir;
  ChildResult r = run_child([&] {
    open_kernel(dir.file("a.meta"));
    Grid g(3, 2);
    g.at(0, 0) = 0, g.at(1, 0) = 10, g.at(2, 0) = 20;
    g.at(0, 1) = 10, g.at(1, 1) = 0, g.at(2, 1) = 6;
    /* a range from outside the grid puts the only level, 5, inside both
     * cells, the first of them a saddle */
    CONT_init();
    CONT_reset_fill_set();
    CONT_set_type(CONT_FILL);
    CONT_set_fill_colors("1-15", 1);
    CONT_set_base(5);
    CONT_set_intrvl(100);
    CONT_set_range(30, 12);
    CONT_set_cont_ext(nullptr);
    MAP_domain(&g.g.domain);
    cont_rec::install();
    CONT_draw_contour(&g.g);
    int bad = 0;
    double automatic = 0;
    for (const auto& p : cont_rec::rec().polys) {
      float lo = 1e9f, hi = -1e9f;
      for (const Gpt& q : p.pts) lo = std::fmin(lo, q.x), hi = std::fmax(hi, q.x);
      if (hi - lo > 1.0f + 1e-6f) bad |= 1; /* a polygon spans more than its cell */
      automatic += area(p.pts);
    }
    draw(g, CONT_FILL, {5, 105});
    double explicit_area = 0;
    for (const auto& p : cont_rec::rec().polys) explicit_area += area(p.pts);
    if (std::fabs(automatic - explicit_area) > 1e-5 || automatic <= 0) bad |= 2;
    return bad;
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

} // namespace

namespace {

/* NaN and infinities in a grid are missing everywhere: no line, band,
 * label, extremum or printed value comes from them, and the levels come
 * from the other values. */
TEST(GridWalk, NonFiniteValuesAreMissing) {
  TempDir dir;
  ChildResult r = run_child([&] {
    open_kernel(dir.file("a.meta"));
    int bad = 0;
    Grid g(8, 6);
    for (int j = 0; j < 6; ++j)
      for (int i = 0; i < 8; ++i) g.at(i, j) = static_cast<float>(3 * i + 2 * j) + 0.5f;
    g.v[0] = NAN; /* the first stored point: top left */
    g.at(4, 2) = INFINITY;
    g.at(6, 4) = -INFINITY;
    auto usable_cell = [&](int i, int j) {
      for (int k = 0; k < 4; ++k)
        if (!std::isfinite(g.at(i + (k & 1), j + (k >> 1)))) return false;
      return true;
    };
    auto automatic = [&](int type) {
      CONT_init();
      CONT_reset_fill_set();
      CONT_set_type(type);
      CONT_set_fill_colors("1-15", 1);
      CONT_set_intrvl(2);
      MAP_domain(&g.g.domain);
      cont_rec::install();
      return CONT_draw(&g.g);
    };
    /* the levels span the finite values */
    automatic(CONT_LINES);
    if (CONT_inspect("conlo") != 0 || CONT_inspect("conhi") != 32 || CONT_inspect("num_cont") != 16) bad |= 1;
    const auto& segs = cont_rec::rec().segs;
    if (segs.size() < 20) bad |= 2;
    for (const auto& l : segs) {
      const float mx = (l.a.x + l.b.x) / 2, my = (l.a.y + l.b.y) / 2;
      const int i = static_cast<int>(mx), j = static_cast<int>(my);
      /* a segment on a side may belong to either cell beside it */
      const bool ok = usable_cell(std::min(i, 6), std::min(j, 4)) ||
                      (mx == i && i > 0 && usable_cell(i - 1, std::min(j, 4))) ||
                      (my == j && j > 0 && usable_cell(std::min(i, 6), j - 1));
      if (!ok || !std::isfinite(l.a.x + l.a.y + l.b.x + l.b.y)) bad |= 4;
    }
    for (const auto& w : cont_rec::rec().words)
      if (w.text.find("nan") != std::string::npos || w.text.find("inf") != std::string::npos) bad |= 8;
    /* bands cover exactly the cells whose corners are all finite */
    automatic(CONT_FILL);
    double total = 0;
    for (const auto& p : cont_rec::rec().polys) total += area(p.pts);
    int cells = 0;
    for (int j = 0; j < 5; ++j)
      for (int i = 0; i < 7; ++i) cells += usable_cell(i, j);
    if (std::fabs(total - cells) > 1e-4) bad |= 16;
    /* printed values: one per finite point */
    automatic(CONT_VALUES);
    if (cont_rec::rec().words.size() != 45) bad |= 32;
    for (const auto& w : cont_rec::rec().words)
      if (w.text.find("nan") != std::string::npos || w.text.find("inf") != std::string::npos) bad |= 32;
    /* explicit levels draw nothing from an infinite corner either */
    draw(g, CONT_LINES, {0, 4, 8, 12, 16, 20, 24, 28});
    for (const auto& l : cont_rec::rec().segs)
      if (!std::isfinite(l.a.x + l.a.y + l.b.x + l.b.y)) bad |= 64;
    return bad;
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

} // namespace
