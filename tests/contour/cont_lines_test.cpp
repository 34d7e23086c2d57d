/*
 * Contour lines of fields whose values sit exactly on the levels, as
 * meteorologists contour them: a 2 m temperature in whole degrees and a
 * sea-level pressure in whole hectopascals read from a model file, and a
 * rounded synthetic field, drawn as lines and as lines over fill, with and
 * without missing points. Each level is one set of lines: no segment drawn
 * twice, the same set in both types, every vertex on its level, every line
 * end on the grid's edge, next to a missing point or where the field only
 * touches the level; and the length per level agrees with contourpy's.
 */
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "cont_record.h"
#include "kez_test.h"
#include "kezcont.h"
#include "kezgrd.h"

namespace {

using kez_test::ChildResult;
using kez_test::run_child;
using kez_test::TempDir;

constexpr float M = KEZ_FMISS;
const std::string gfs = "/usr/share/doc/python-grib-doc/examples/gfs.grb";

/* A field in grid order: rows top first, as a grid record holds them. */
struct Field {
  std::string name;
  int nx = 0, ny = 0;
  float interval = 2;
  std::vector<float> v;
  /* the value at column i and walk row j (row 0 at the bottom) */
  float at(int i, int j) const { return v[static_cast<size_t>(ny - 1 - j) * nx + i]; }
  float& at(int i, int j) { return v[static_cast<size_t>(ny - 1 - j) * nx + i]; }
  bool usable(int i, int j) const { return at(i, j) != M && std::isfinite(at(i, j)); }
};

/* The same field with holes: an interior block, a lone point, and a strip
 * along the bottom edge. */
Field with_holes(Field f) {
  f.name += " with missing points";
  for (int j = f.ny / 2; j < f.ny / 2 + 3; ++j)
    for (int i = f.nx / 3; i < f.nx / 3 + 4; ++i) f.at(i, j) = M;
  f.at(2 * f.nx / 3, f.ny / 4) = M;
  for (int i = 5; i < 9; ++i) f.at(i, 0) = M;
  return f;
}

/* Fields of the model file, read with the grid reader in a child (the
 * parameter tables load once per process) and rounded to whole units. */
struct GribPick {
  const char* name;
  int var, ltype, level;
  float scale, offset; /* value = round(raw * scale + offset) */
  float interval;
};

constexpr GribPick picks[] = {
    {"2 m temperature in whole degrees", 11, 105, 2, 1.0f, -273.15f, 2.0f},
    {"sea-level pressure in whole hPa", 2, 102, 0, 0.01f, 0.0f, 4.0f},
};

bool read_gfs(std::vector<Field>* out) {
  TempDir dir;
  ChildResult r = run_child([&] {
    RES_put("file_path", KEZ_DATA_DIR);
    int type = GRD_TYPE_DETECT;
    const int fd = GRD_open(gfs.c_str(), GRD_ACCESS_READ, &type);
    GRD_info info{};
    if (fd < 0 || GRD_getinfo(fd, &info) != 0) return 2;
    int found = 0;
    for (int n = 0; n < 1000; ++n) {
      GRD_report rec{};
      int p = n;
      const int res = GRD_read(fd, &rec, GRD_READ_ALL, &p);
      if (res == -1) break;
      for (size_t k = 0; k < std::size(picks); ++k) {
        const GribPick& g = picks[k];
        if (res != 0 || rec.var != g.var || rec.ltype != g.ltype || rec.level != g.level || !rec.grid) continue;
        std::ofstream f(dir.file(std::to_string(k)));
        f << rec.domain.nx << " " << rec.domain.ny << "\n";
        for (int i = 0; i < rec.domain.nx * rec.domain.ny; ++i)
          f << std::lround(rec.grid[i] * g.scale + g.offset) << "\n";
        ++found;
      }
      std::free(rec.grid);
    }
    GRD_close(fd);
    return found == static_cast<int>(std::size(picks)) ? 0 : 3;
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  if (r.status != 0) return false;
  for (size_t k = 0; k < std::size(picks); ++k) {
    Field f;
    f.name = picks[k].name;
    f.interval = picks[k].interval;
    std::ifstream in(dir.file(std::to_string(k)));
    in >> f.nx >> f.ny;
    f.v.resize(static_cast<size_t>(f.nx) * f.ny);
    for (float& x : f.v) in >> x;
    if (!in || f.nx < 10 || f.ny < 10) return false;
    out->push_back(f);
  }
  return true;
}

/* T = round(15 + 10 sin(x/8) cos(y/6) + 0.05 x) on 80 x 60 points. */
Field synthetic() {
  Field f;
  f.name = "rounded waves";
  f.nx = 80, f.ny = 60;
  f.v.resize(80 * 60);
  for (int j = 0; j < 60; ++j)
    for (int i = 0; i < 80; ++i) f.at(i, j) = std::round(15 + 10 * std::sin(i / 8.0) * std::cos(j / 6.0) + 0.05 * i);
  return f;
}

using Point = std::pair<float, float>;
using Segment = std::pair<Point, Point>;            /* ends in ascending order */
using Levels = std::map<int, std::vector<Segment>>; /* by level index (level / interval) */

/* contourpy's lines of every level (interval, base 0) as segments, with
 * missing points masked. A value equal to a level counts as above it, as
 * it does in the bands, so contourpy is given the negated field and levels
 * (-z > -L where z < L). contourpy outlines a ridge lying on a level by a
 * loop of no area, along the ridge and back: its segments count once, as a
 * set, and points that only touch a level give none. */
Levels contourpy_lines(const Field& f, const TempDir& dir) {
  const std::string data = dir.file("field.txt");
  std::ostringstream text;
  text << f.nx << " " << f.ny << " " << f.interval << "\n";
  for (float x : f.v) text << x << "\n";
  kez_test::write_file(data, text.str());
  const std::string py =
      "import sys, numpy as np, contourpy\n"
      "raw=open(sys.argv[1]).read().split()\n"
      "nx,ny,step=int(raw[0]),int(raw[1]),float(raw[2])\n"
      "z=np.array([float(s) for s in raw[3:]]).reshape(ny,nx)[::-1]\n"
      "z=np.ma.masked_equal(z,-9999.0)\n"
      "g=contourpy.contour_generator(z=-z,name='serial',line_type='Separate',corner_mask=False)\n"
      "for k in range(int(np.floor(z.min()/step)),int(np.ceil(z.max()/step))+1):\n"
      "  segs=set()\n"
      "  for l in g.lines(-k*step):\n"
      "    for a,b in zip(l[:-1],l[1:]):\n"
      "      a=(round(a[0],6),round(a[1],6)); b=(round(b[0],6),round(b[1],6))\n"
      "      if a!=b: segs.add((min(a,b),max(a,b)))\n"
      "  for a,b in segs: print(k,a[0],a[1],b[0],b[1])\n";
  kez_test::write_file(dir.file("cp.py"), py);
  std::string out;
  EXPECT_EQ(kez_test::run_command("/usr/bin/python3 " + dir.file("cp.py") + " " + data, &out), 0) << out;
  Levels levels;
  std::istringstream in(out);
  int k;
  Segment g;
  while (in >> k >> g.first.first >> g.first.second >> g.second.first >> g.second.second) levels[k].push_back(g);
  return levels;
}

/* --- what was drawn ------------------------------------------------------ */

/* The field's value at a point on a side of a cell, by linear
 * interpolation along that side; NaN when the point is on no side. */
double value_on_side(const Field& f, Point p) {
  const float x = p.first, y = p.second;
  const bool col = x == std::floor(x), row = y == std::floor(y);
  if (!col && !row) return NAN;
  const int i = static_cast<int>(std::floor(x)), j = static_cast<int>(std::floor(y));
  if (i < 0 || j < 0 || i >= f.nx || j >= f.ny) return NAN;
  if (col && row) return f.at(i, j);
  if (col) {
    if (j + 1 >= f.ny) return NAN;
    const double t = y - j;
    return f.at(i, j) + t * (f.at(i, j + 1) - f.at(i, j));
  }
  if (i + 1 >= f.nx) return NAN;
  const double t = x - i;
  return f.at(i, j) + t * (f.at(i + 1, j) - f.at(i, j));
}

/* True when the point lies on the closed square of a cell with a missing
 * corner. */
bool by_a_hole(const Field& f, Point p) {
  const int i0 = static_cast<int>(std::ceil(p.first)) - 1, j0 = static_cast<int>(std::ceil(p.second)) - 1;
  for (int i = i0; i <= static_cast<int>(std::floor(p.first)); ++i)
    for (int j = j0; j <= static_cast<int>(std::floor(p.second)); ++j) {
      if (i < 0 || j < 0 || i + 1 >= f.nx || j + 1 >= f.ny) continue;
      if (!f.usable(i, j) || !f.usable(i + 1, j) || !f.usable(i, j + 1) || !f.usable(i + 1, j + 1)) return true;
    }
  return false;
}

/* True when the point is a grid point on the level around which the field
 * does not cross it: every neighbour on one side. */
bool touches(const Field& f, Point p, double level) {
  if (p.first != std::floor(p.first) || p.second != std::floor(p.second)) return false;
  const int i = static_cast<int>(p.first), j = static_cast<int>(p.second);
  if (f.at(i, j) != level) return false;
  bool above = false, below = false;
  const int di[] = {1, -1, 0, 0}, dj[] = {0, 0, 1, -1};
  for (int k = 0; k < 4; ++k) {
    const int a = i + di[k], b = j + dj[k];
    if (a < 0 || b < 0 || a >= f.nx || b >= f.ny || !f.usable(a, b)) continue;
    if (f.at(a, b) > level) above = true;
    if (f.at(a, b) < level) below = true;
  }
  return !(above && below);
}

/* The lines of one draw, sorted per level, and the faults found in them. */
struct LineSet {
  Levels levels;
  std::vector<std::string> faults;
  int twice = 0;
  void fault(const std::string& what) {
    if (faults.size() < 12) faults.push_back(what);
  }
};

std::string show(Point p) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "(%g, %g)", static_cast<double>(p.first), static_cast<double>(p.second));
  return buf;
}

/* Sorts the recorded lines into levels and checks them: each vertex on a
 * level whose colour the segment has (automatic levels, base 0, colours
 * 1 to 15 in turn), no segment twice, and every odd end where a line may
 * end. */
LineSet analyse(const Field& f, const std::vector<cont_rec::Line>& lines) {
  LineSet s;
  for (const cont_rec::Line& l : lines) {
    Point a{l.a.x, l.a.y}, b{l.b.x, l.b.y};
    if (b < a) std::swap(a, b);
    if (a == b) {
      s.fault("a segment of no length at " + show(a));
      continue;
    }
    const double va = value_on_side(f, a), vb = value_on_side(f, b);
    const int k = static_cast<int>(std::lround(va / f.interval));
    const double level = k * static_cast<double>(f.interval);
    const double tol = 1e-4 * std::max(1.0, std::fabs(level));
    if (!(std::fabs(va - level) <= tol) || !(std::fabs(vb - level) <= tol)) {
      s.fault("a segment off its level: " + show(a) + " " + std::to_string(va) + " to " + show(b) + " " +
              std::to_string(vb));
      continue;
    }
    const int colour = ((k % 15) + 15) % 15 + 1;
    if (l.colour != colour) s.fault("level " + std::to_string(level) + " in colour " + std::to_string(l.colour));
    s.levels[k].push_back({a, b});
  }
  for (auto& [k, segs] : s.levels) {
    std::sort(segs.begin(), segs.end());
    for (size_t n = 1; n < segs.size(); ++n)
      if (segs[n] == segs[n - 1]) {
        if (s.twice++ < 3)
          s.fault("drawn twice at level " + std::to_string(k * f.interval) + ": " + show(segs[n].first));
      }
    std::map<Point, int> degree;
    for (const Segment& g : segs) ++degree[g.first], ++degree[g.second];
    const double level = k * static_cast<double>(f.interval);
    for (const auto& [p, d] : degree) {
      const bool edge = p.first == 0 || p.second == 0 || p.first == f.nx - 1 || p.second == f.ny - 1;
      if (d == 1 && !edge && !by_a_hole(f, p) && !touches(f, p, level))
        s.fault("an open end inside the grid at level " + std::to_string(level) + ": " + show(p));
      /* A ridge on the level may join the edge of an area above it, at a
       * grid point on the level; lines meet nowhere else. */
      const bool grid_point = p.first == std::floor(p.first) && p.second == std::floor(p.second);
      if (d > 2 && !(grid_point && value_on_side(f, p) == level))
        s.fault("lines meet at level " + std::to_string(level) + ": " + show(p));
    }
  }
  return s;
}

/* Draws a field with automatic levels every `interval` from base 0. */
std::vector<cont_rec::Line> draw(const Field& f, int type) {
  GRD_report g{};
  DOM_init(&g.domain);
  g.domain.nx = f.nx;
  g.domain.ny = f.ny;
  std::vector<float> v = f.v;
  g.grid = v.data();
  CONT_init();
  CONT_reset_fill_set();
  CONT_set_type(type);
  CONT_set_fill_colors("1-15", 1);
  CONT_set_intrvl(f.interval);
  CONT_set_base(0);
  MAP_domain(&g.domain);
  cont_rec::install();
  CONT_draw_contour(&g);
  return cont_rec::rec().segs;
}

double length(const Segment& g) {
  return std::hypot(static_cast<double>(g.second.first) - g.first.first,
                    static_cast<double>(g.second.second) - g.first.second);
}

/* The segments of one level by the cell they lie in. */
std::map<std::pair<int, int>, std::vector<Segment>> by_cell(const std::vector<Segment>& segs) {
  std::map<std::pair<int, int>, std::vector<Segment>> cells;
  for (const Segment& g : segs) {
    const int i = static_cast<int>(std::floor((g.first.first + g.second.first) / 2));
    const int j = static_cast<int>(std::floor((g.first.second + g.second.second) / 2));
    cells[{i, j}].push_back(g);
  }
  return cells;
}

bool close(const std::vector<Segment>& a, std::vector<Segment> b) {
  if (a.size() != b.size()) return false;
  auto near = [](Point p, Point q) {
    return std::fabs(p.first - q.first) < 1e-4 && std::fabs(p.second - q.second) < 1e-4;
  };
  for (const Segment& g : a) {
    auto it = std::find_if(b.begin(), b.end(),
                           [&](const Segment& h) { return near(g.first, h.first) && near(g.second, h.second); });
    if (it == b.end()) return false;
    b.erase(it);
  }
  return true;
}

/* A cell that the level crosses on all four sides. */
bool saddle(const Field& f, int i, int j, double level) {
  if (i < 0 || j < 0 || i + 1 >= f.nx || j + 1 >= f.ny) return false;
  const bool a0 = f.at(i, j) >= level, a1 = f.at(i + 1, j) >= level;
  const bool a2 = f.at(i, j + 1) >= level, a3 = f.at(i + 1, j + 1) >= level;
  return a0 == a3 && a1 == a2 && a0 != a1;
}

/* Compares the lines of each level with contourpy's, cell by cell: they
 * may differ only where a saddle is resolved the other way (the sum of the
 * crossings here, the mean of the corners there). The lengths per level,
 * those saddles left out on both sides, agree within 1 %. */
int compare_with_contourpy(const Field& f, const Levels& ours, const Levels& theirs) {
  int bad = 0, saddles = 0;
  std::map<int, bool> all;
  for (const auto& [k, s] : ours) all[k] = true;
  for (const auto& [k, s] : theirs) all[k] = true;
  for (const auto& [k, unused] : all) {
    const double level = k * static_cast<double>(f.interval);
    const auto a = by_cell(ours.count(k) ? ours.at(k) : std::vector<Segment>{});
    const auto b = by_cell(theirs.count(k) ? theirs.at(k) : std::vector<Segment>{});
    std::map<std::pair<int, int>, bool> cells;
    for (const auto& [c, s] : a) cells[c] = true;
    for (const auto& [c, s] : b) cells[c] = true;
    double la = 0, lb = 0;
    for (const auto& [c, unused2] : cells) {
      const std::vector<Segment> none;
      const std::vector<Segment>& sa = a.count(c) ? a.at(c) : none;
      const std::vector<Segment>& sb = b.count(c) ? b.at(c) : none;
      if (!close(sa, sb)) {
        if (saddle(f, c.first, c.second, level)) {
          ++saddles;
          continue;
        }
        if (bad < 4)
          std::printf("level %g, cell %d %d: %zu segments, contourpy %zu\n", level, c.first, c.second, sa.size(),
                      sb.size());
        bad |= 32;
      }
      for (const Segment& g : sa) la += length(g);
      for (const Segment& g : sb) lb += length(g);
    }
    if (std::fabs(la - lb) > 0.01 * lb) {
      std::printf("level %g: length %.3f, contourpy %.3f\n", level, la, lb);
      bad |= 16;
    }
  }
  std::printf("saddles resolved the other way: %d\n", saddles);
  return bad;
}

void check_field(const Field& f, const Levels* contourpy) {
  TempDir dir;
  ChildResult r = run_child([&] {
    gopen_gks(nullptr, 0);
    gopen_ws(1, dir.file("a.meta").c_str(), GWS_META);
    CLR_read_table(KEZ_DATA_DIR "/kez.clr");
    RES_put("color_cont", "off");
    const LineSet lines = analyse(f, draw(f, CONT_LINES));
    const LineSet over = analyse(f, draw(f, CONT_LINES_FILL));
    int bad = 0;
    for (const auto* s : {&lines, &over}) {
      for (const std::string& w : s->faults)
        std::printf("%s: %s\n", s == &lines ? "lines" : "lines over fill", w.c_str());
      if (!s->faults.empty()) bad |= s == &lines ? 1 : 2;
    }
    if (lines.levels != over.levels) {
      std::printf("the two types draw different lines\n");
      bad |= 4;
    }
    if (lines.levels.size() < 5) bad |= 8; /* the field is contoured at all */
    if (contourpy) bad |= compare_with_contourpy(f, lines.levels, *contourpy);
    return bad;
  });
  EXPECT_EQ(r.status, 0) << f.name << "\n" << r.out << r.err;
}

TEST(ContourLines, RoundedRealFieldsOneLineSetPerLevel) {
  if (!std::ifstream(gfs)) GTEST_SKIP() << "python-grib-doc not installed";
  std::vector<Field> fields;
  ASSERT_TRUE(read_gfs(&fields));
  const bool cp = kez_test::run_command("/usr/bin/python3 -c 'import contourpy'") == 0;
  for (const Field& base : fields)
    for (const Field& f : {base, with_holes(base)}) {
      TempDir dir;
      Levels want;
      if (cp) want = contourpy_lines(f, dir);
      check_field(f, cp ? &want : nullptr);
    }
}

TEST(ContourLines, RoundedSyntheticFieldOneLineSetPerLevel) {
  const bool cp = kez_test::run_command("/usr/bin/python3 -c 'import contourpy'") == 0;
  for (const Field& f : {synthetic(), with_holes(synthetic())}) {
    TempDir dir;
    Levels want;
    if (cp) want = contourpy_lines(f, dir);
    check_field(f, cp ? &want : nullptr);
  }
}

} // namespace
