/*
 * Contour labels and highs and lows, observed through the recorder of
 * kernel primitives: labels stand on the contour they name, only where
 * the level crosses a cell from side to opposite side on a label row or
 * column; the spacing follows the grid's size; highs and lows agree with a
 * brute-force window test in NumPy.
 */
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
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
  Grid(int nx, int ny) : v(static_cast<size_t>(nx) * ny, 0.0f) {
    DOM_init(&g.domain);
    g.domain.nx = nx;
    g.domain.ny = ny;
    g.grid = v.data();
  }
  float& at(int i, int j) { return v[static_cast<size_t>(g.domain.ny - 1 - j) * g.domain.nx + i]; }
};

/* Kernel and a metafile device in this (child) process; settings fresh. */
void open_kernel(const std::string& meta) {
  gopen_gks(nullptr, 0);
  gopen_ws(1, meta.c_str(), GWS_META);
  CLR_read_table(KEZ_DATA_DIR "/kez.clr");
  RES_put("color_cont", "off");
  CONT_init();
  CONT_reset_fill_set();
}

/* Lines, then labels and extrema of a grid in grid coordinates. */
int draw(Grid& grid, int type = CONT_LINES) {
  CONT_set_type(type);
  MAP_domain(&grid.g.domain);
  cont_rec::install();
  return CONT_draw(&grid.g);
}

/* The recorded texts, one "x y text" a line. */
void print_words() {
  for (const auto& w : cont_rec::rec().words)
    std::printf("%.6f %.6f %s\n", static_cast<double>(w.pos.x), static_cast<double>(w.pos.y), w.text.c_str());
}

struct Word {
  float x, y;
  std::string text;
};

std::vector<Word> read_words(const std::string& out) {
  std::vector<Word> words;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream f(line);
    Word w{};
    if (f >> w.x >> w.y >> w.text) words.push_back(w); /* not the kernel's own lines */
  }
  return words;
}

TEST(ContourLabels, SpacingFollowsTheGridSize) {
  struct Case {
    int nx, ny, xs, ys;
  };
  constexpr Case cases[] = {{20, 10, 4, 2}, {4, 4, 1, 1}, {3, 12, 1, 2}, {50, 2, 10, 1}};
  for (const Case& c : cases) {
    TempDir dir;
    ChildResult r = run_child([&] {
      open_kernel(dir.file("a.meta"));
      CONT_set_intrvl(1.0f);
      Grid g(c.nx, c.ny);
      for (int j = 0; j < c.ny; ++j)
        for (int i = 0; i < c.nx; ++i) g.at(i, j) = static_cast<float>(i + j) + 0.5f;
      draw(g);
      std::printf("spacing %g %g\n", static_cast<double>(CONT_inspect("x_label_space")),
                  static_cast<double>(CONT_inspect("y_label_space")));
      return 0;
    });
    ASSERT_EQ(r.status, 0) << r.err;
    int xs = 0, ys = 0;
    const size_t at = r.out.find("spacing ");
    ASSERT_NE(at, std::string::npos) << r.out;
    std::sscanf(r.out.c_str() + at, "spacing %d %d", &xs, &ys);
    EXPECT_EQ(xs, c.xs) << c.nx << " x " << c.ny;
    EXPECT_EQ(ys, c.ys) << c.nx << " x " << c.ny;
  }
}

/* A tilted plane: every contour is a straight line, so a label at the
 * midpoint of its two crossings lies exactly on the level it names. */
TEST(ContourLabels, StandOnTheirContoursAlongLabelRowsAndColumns) {
  TempDir dir;
  for (const float tilt : {0.3f, 3.0f}) {
    ChildResult r = run_child([&] {
      open_kernel(dir.file("a.meta"));
      CONT_set_intrvl(1.0f);
      Grid g(20, 10);
      for (int j = 0; j < 10; ++j)
        for (int i = 0; i < 20; ++i) g.at(i, j) = 0.7f * static_cast<float>(i) + tilt * static_cast<float>(j) + 0.1f;
      CONT_set_label_type(1, 0);
      draw(g);
      print_words();
      return 0;
    });
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<Word> words = read_words(r.out);
    /* Labels this far apart never overlap: every one is drawn, those of
     * contours that pass through grid points on their level too. */
    EXPECT_EQ(words.size(), tilt < 1.0f ? 46u : 108u) << r.out;
    int across = 0, upward = 0;
    for (const Word& w : words) {
      const float level = std::strtof(w.text.c_str(), nullptr);
      EXPECT_NEAR(0.7f * w.x + tilt * w.y + 0.1f, level, 1e-3f) << w.x << " " << w.y << " " << w.text;
      const bool mid_row = std::fabs(w.y - std::floor(w.y) - 0.5f) < 1e-4f;
      const bool mid_col = std::fabs(w.x - std::floor(w.x) - 0.5f) < 1e-4f;
      ASSERT_TRUE(mid_row || mid_col) << w.x << " " << w.y;
      /* bottom-to-top crossings on rows 0, 2, 4, ...; left-to-right on
       * columns 0, 4, 8, ... */
      if (mid_row) {
        ++upward;
        EXPECT_EQ(static_cast<int>(std::floor(w.y)) % 2, 0) << w.y;
      } else {
        ++across;
        EXPECT_EQ(static_cast<int>(std::floor(w.x)) % 4, 0) << w.x;
      }
    }
    /* The gentle tilt crosses cells from bottom to top, the steep one from
     * left to right. */
    if (tilt < 1.0f) {
      EXPECT_GT(upward, across);
    } else {
      EXPECT_GT(across, upward);
    }
  }
}

TEST(ContourLabels, OnlyCrossingsFromSideToOppositeSide) {
  struct Case {
    float z0, z1, z2, z3; /* bottom left, bottom right, top left, top right */
    bool labelled;
    const char* why;
    float x = 0.5f, y = 0.5f, text = 5;
  };
  constexpr Case cases[] = {
      {1, 9, 1, 9, true, "bottom to top"},
      {1, 1, 9, 9, true, "left to right"},
      {0, 9, 9, 9, false, "cuts off the bottom-left corner"},
      {9, 9, 9, 0, false, "cuts off the top-right corner"},
      {1, 9, 9, 1, false, "saddle"},
      /* values on the level (a field in whole units): a crossing at a
       * corner lies on both its sides, as the lines drawn through it */
      {0, 5, 0, 6, true, "from the bottom-right corner to the top", 11.0f / 12, 0.5f},
      {0, 5, 0, 5, true, "along the right side, bottom to top", 1.0f, 0.5f},
      {0, 0, 5, 5, true, "along the top side, left to right", 0.5f, 1.0f},
      {0, 10, 10, 10, true, "corner to corner across the cell", 0.5f, 0.5f, 10},
      {0, 5, 0, 4, false, "only touches the bottom-right corner"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    ChildResult r = run_child([&] {
      open_kernel(dir.file("a.meta"));
      CONT_set_intrvl(5.0f);
      CONT_set_base(0.0f);
      CONT_set_label_type(1, 0);
      Grid g(2, 2);
      g.at(0, 0) = c.z0, g.at(1, 0) = c.z1, g.at(0, 1) = c.z2, g.at(1, 1) = c.z3;
      draw(g);
      print_words();
      return 0;
    });
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<Word> words = read_words(r.out);
    if (c.labelled) {
      ASSERT_EQ(words.size(), 1u) << c.why << "\n" << r.out;
      EXPECT_NEAR(words[0].x, c.x, 1e-5) << c.why;
      EXPECT_NEAR(words[0].y, c.y, 1e-5) << c.why;
      EXPECT_EQ(std::strtof(words[0].text.c_str(), nullptr), c.text) << c.why;
    } else {
      EXPECT_TRUE(words.empty()) << c.why << "\n" << r.out;
    }
  }
}

/* Labels and outlines with settings that must draw none, and never hang. */
TEST(ContourLabels, SettingsWithoutLabels) {
  struct Case {
    int skip;
    float intrvl; /* set after the walk */
    bool outlines, labels;
    const char* why;
  };
  constexpr Case cases[] = {
      {1, 1.0f, true, true, "the reference"},
      {0, 1.0f, false, false, "label_skip 0: neither labels nor outlines"},
      {-2, 1.0f, false, false, "a negative skip never steps"},
      {1, 0.0f, true, false, "an interval of 0"},
      {1, -3.0f, true, false, "a negative interval"},
      {1, KEZ_FMISS, true, false, "no interval"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    ChildResult r = run_child([&] {
      open_kernel(dir.file("a.meta"));
      CONT_set_intrvl(1.0f);
      CONT_set_base(0.0f);
      CONT_draw_grid(1);
      Grid g(6, 5);
      for (int j = 0; j < 5; ++j)
        for (int i = 0; i < 6; ++i) g.at(i, j) = static_cast<float>(i * 2 + j) + 0.5f;
      CONT_set_type(CONT_FILL);
      MAP_domain(&g.g.domain);
      cont_rec::install();
      CONT_draw_contour(&g.g);
      cont_rec::install();
      CONT_set_label_type(c.skip, 0);
      CONT_set_intrvl(c.intrvl);
      CONT_draw_labels(&g.g);
      std::printf("drawn %zu %zu\n", cont_rec::rec().segs.size(), cont_rec::rec().words.size());
      return 0;
    });
    ASSERT_EQ(r.status, 0) << c.why << r.err;
    size_t outlines = 0, labels = 0;
    const size_t at = r.out.find("drawn ");
    ASSERT_NE(at, std::string::npos) << r.out;
    std::sscanf(r.out.c_str() + at, "drawn %zu %zu", &outlines, &labels);
    EXPECT_EQ(outlines, c.outlines ? 20u : 0u) << c.why;
    EXPECT_EQ(labels > 0, c.labels) << c.why;
  }
}

/* Bar texts name their levels; automatic level indexes past the 256 texts
 * get numbers. */
TEST(ContourLabels, TextsFromBarTextsThenNumbers) {
  TempDir dir;
  ChildResult r = run_child([&] {
    open_kernel(dir.file("a.meta"));
    /* 256 colours, each with a text; no levels */
    std::string list;
    for (int k = 0; k < 256; ++k) list += (k ? ",red:la=T" : "red:la=T") + std::to_string(k);
    CONT_set_fill_colors(list.c_str(), 1);
    CONT_set_intrvl(1.0f);
    CONT_set_base(0.0f);
    CONT_set_label_type(1, 0);
    Grid g(401, 2);
    /* level k crosses the cell left of column k, from bottom to top */
    for (int i = 0; i < 401; ++i) g.at(i, 0) = g.at(i, 1) = static_cast<float>(i) + 0.5f;
    draw(g);
    print_words();
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<Word> words = read_words(r.out);
  ASSERT_EQ(words.size(), 400u) << r.out.substr(0, 400) << r.err;
  for (const Word& w : words) {
    const int k = static_cast<int>(std::lround(w.x + 0.5f));
    if (k <= 255) {
      EXPECT_EQ(w.text, "T" + std::to_string(k));
    } else {
      EXPECT_EQ(std::strtof(w.text.c_str(), nullptr), static_cast<float>(k)) << w.text;
    }
  }

  /* explicit levels: their own texts, the number where the text is empty */
  ChildResult e = run_child([&] {
    open_kernel(dir.file("b.meta"));
    CONT_set_fill_colors("0.5:1:la=low,1.5:2:la=,2.5:3:la=high,3.5:4", 1);
    CONT_set_label_type(1, 0);
    Grid g(5, 2);
    for (int i = 0; i < 5; ++i) g.at(i, 0) = g.at(i, 1) = static_cast<float>(i) + 0.25f;
    draw(g, CONT_LINES_FILL);
    print_words();
    return 0;
  });
  ASSERT_EQ(e.status, 0) << e.err;
  std::set<std::string> texts;
  for (const Word& w : read_words(e.out)) texts.insert(w.text);
  EXPECT_TRUE(texts.count("low") && texts.count("high") && texts.count("3.5")) << e.out;
  EXPECT_EQ(texts.size(), 4u) << e.out;
}

/* ---- highs and lows ---------------------------------------------------- */

struct Mark {
  char kind;
  int row, col;
  bool operator<(const Mark& o) const { return std::tie(kind, row, col) < std::tie(o.kind, o.row, o.col); }
  bool operator==(const Mark& o) const { return kind == o.kind && row == o.row && col == o.col; }
};

/* The marks drawn for a grid (values by stored row), as grid points. */
std::set<Mark> drawn_marks(const std::vector<float>& v, int nx, int ny, int radius, std::string* values = nullptr) {
  TempDir dir;
  ChildResult r = run_child([&] {
    open_kernel(dir.file("a.meta"));
    CONT_set_intrvl(1.0f);
    CONT_set_label_type(0, radius);
    Grid g(nx, ny);
    g.v = v;
    g.g.grid = g.v.data();
    if (draw(g) != 0) return 1;
    print_words();
    return 0;
  });
  EXPECT_EQ(r.status, 0) << r.err;
  std::set<Mark> marks;
  const std::vector<Word> words = read_words(r.out);
  for (size_t k = 0; k < words.size(); ++k) {
    const Word& w = words[k];
    if (w.text != "H" && w.text != "L") continue;
    const int col = static_cast<int>(std::lround(w.x));
    const int row = ny - 1 - static_cast<int>(std::lround(w.y));
    marks.insert(Mark{w.text[0], row, col});
    if (values && k + 1 < words.size()) *values += words[k + 1].text + " ";
  }
  return marks;
}

std::set<Mark> numpy_marks(const std::vector<float>& v, int nx, int ny, int radius) {
  TempDir dir;
  std::ostringstream in;
  in << nx << " " << ny << " " << radius << "\n";
  for (float x : v) in << x << "\n";
  kez_test::write_file(dir.file("in"), in.str());
  std::string out;
  const int status = kez_test::run_command(
      "/usr/bin/python3 " KEZ_SOURCE_DIR "/tests/contour/data/extrema.py " + dir.file("in"), &out);
  EXPECT_EQ(status, 0) << out;
  std::set<Mark> marks;
  std::istringstream s(out);
  Mark m{};
  while (s >> m.kind >> m.row >> m.col) marks.insert(m);
  return marks;
}

TEST(HighsAndLows, AgreeWithABruteForceWindowTest) {
  if (!kez_test::have_program("/usr/bin/python3")) GTEST_SKIP() << "no python3";
  std::mt19937 rng(44);
  int compared = 0;
  for (const int radius : {1, 2, 5}) {
    for (int trial = 0; trial < 4; ++trial) {
      const int nx = 9 + trial * 4, ny = 7 + trial * 3;
      std::vector<float> v(static_cast<size_t>(nx) * ny);
      /* few distinct values give ties; a flat patch a plateau; holes */
      std::uniform_int_distribution<int> value(0, trial < 2 ? 5 : 40);
      std::uniform_int_distribution<int> hole(0, 12);
      for (float& x : v) x = static_cast<float>(value(rng));
      for (int r = 1; r < 3 && r < ny; ++r)
        for (int c = 1; c < 3; ++c) v[static_cast<size_t>(r) * nx + c] = 50.0f;
      for (float& x : v)
        if (hole(rng) == 0) x = KEZ_FMISS;
      const std::set<Mark> got = drawn_marks(v, nx, ny, radius);
      const std::set<Mark> want = numpy_marks(v, nx, ny, radius);
      EXPECT_EQ(got.size(), want.size()) << "radius " << radius << " trial " << trial;
      for (const Mark& m : want)
        EXPECT_TRUE(got.count(m)) << m.kind << " at " << m.row << "," << m.col << " radius " << radius;
      for (const Mark& m : got)
        EXPECT_TRUE(want.count(m)) << "extra " << m.kind << " at " << m.row << "," << m.col << " radius " << radius;
      compared += static_cast<int>(want.size());
    }
  }
  EXPECT_GT(compared, 20);
}

TEST(HighsAndLows, EdgeCases) {
  constexpr float M = KEZ_FMISS;
  struct Case {
    int nx, ny, radius;
    std::vector<float> v; /* stored rows, top first */
    std::set<Mark> want;
    const char* why;
  };
  const Case cases[] = {
      {1, 1, 2, {7}, {{'H', 0, 0}}, "a 1 x 1 grid is a high"},
      /* equal values form plateaus: the flat rim around a peak is one
       * plateau of lows, marked once at its point nearest its middle */
      {3, 3, 1, {1, 1, 1, 1, 9, 1, 1, 1, 1}, {{'H', 1, 1}, {'L', 0, 1}}, "a peak and its flat rim"},
      {3, 3, 1, {1, 1, 1, 1, 9, 1, 1, 1, M}, {{'H', 1, 1}, {'L', 0, 1}}, "one missing neighbour is allowed"},
      {3, 3, 1, {1, 1, 1, 1, 9, 1, M, 1, M}, {}, "two missing neighbours are not, for a plateau's point neither"},
      {4,
       3,
       1,
       {1, 1, 1, 1, 1, 9, 9, 1, 1, 1, 1, 1},
       {{'H', 1, 1}, {'L', 0, 1}},
       "a plateau of two equal tops: one mark"},
      {4, 4, 1, {5, 5, 5, 5, 5, 2, 2, 5, 5, 2, 2, 5, 5, 5, 5, 5}, {{'H', 0, 1}, {'L', 1, 1}}, "four equal bottoms"},
      {3, 3, 1, {4, 4, 4, 4, 4, 4, 4, 4, 4}, {}, "a constant field marks nothing"},
      {4, 3, 1, {1, 1, 1, 1, 1, 9, 9, 12, 1, 1, 1, 1}, {{'H', 1, 3}, {'L', 0, 1}}, "a plateau beside a higher top"},
      {5,
       3,
       1,
       {1, 3, 3, 3, 5, 1, 3, 3, 3, 5, 1, 3, 3, 3, 5},
       {{'H', 1, 4}, {'L', 1, 0}},
       "a terrace on a slope is none"},
      {5,
       5,
       2,
       {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 5, 1, 1, 1, 1, 1, 1, 1, 6, 1, 1, 1, 1},
       {{'H', 4, 0}, {'L', 1, 2}},
       "radius 2: the centre loses to one corner of its window"},
      {3, 2, 1, {0, 5, 9, 3, 5, 7}, {{'L', 0, 0}, {'H', 0, 2}}, "corners judged on the neighbours that exist"},
  };
  for (const Case& c : cases) {
    std::string values;
    const std::set<Mark> got = drawn_marks(c.v, c.nx, c.ny, c.radius, &values);
    EXPECT_EQ(got, c.want) << c.why;
    if (c.nx == 1) {
      EXPECT_EQ(std::strtof(values.c_str(), nullptr), 7.0f) << values;
    }
  }
}

/* A smooth field and the same field in whole units, as a 2 m temperature
 * or a sea-level pressure comes: the rounding makes plateaus of its highs
 * and lows and lays its contours through grid points, yet marks the same
 * centres and labels its contours as often. */
TEST(HighsAndLows, FieldInWholeUnitsMarksTheSameCentres) {
  constexpr int nx = 80, ny = 60;
  std::vector<float> smooth(nx * ny), whole(nx * ny);
  for (int row = 0; row < ny; ++row)
    for (int i = 0; i < nx; ++i) {
      const double j = ny - 1 - row;
      smooth[row * nx + i] = static_cast<float>(15 + 10 * std::sin(i / 8.0) * std::cos(j / 6.0) + 0.05 * i);
      whole[row * nx + i] = std::round(smooth[row * nx + i]);
    }
  const std::set<Mark> a = drawn_marks(smooth, nx, ny, 2), b = drawn_marks(whole, nx, ny, 2);
  EXPECT_EQ(a.size(), 16u);
  EXPECT_EQ(b.size(), a.size());
  for (const Mark& m : a) {
    int nearest = 1000;
    for (const Mark& n : b)
      if (n.kind == m.kind) nearest = std::min(nearest, std::max(std::abs(n.row - m.row), std::abs(n.col - m.col)));
    EXPECT_LE(nearest, 2) << m.kind << " at " << m.row << "," << m.col;
  }
}

TEST(ContourLabels, FieldInWholeUnitsIsLabelled) {
  /* Contours of a field in whole units run through its grid points and
   * along cell sides: labelled there as anywhere, each on its line. */
  struct Case {
    const char* why;
    float (*value)(int i, int j);
  };
  const Case cases[] = {
      {"columns on the levels", [](int i, int) { return static_cast<float>(i); }},
      {"columns between the levels", [](int i, int) { return i + 0.5f; }},
      {"rows on the levels", [](int, int j) { return static_cast<float>(j); }},
      {"a rounded wave", [](int i, int j) { return std::round(10 * std::sin(i / 6.0f) + 0.5f * j); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    TempDir dir;
    ChildResult r = run_child([&] {
      open_kernel(dir.file("a.meta"));
      CONT_set_intrvl(2.0f);
      CONT_set_base(0.0f);
      CONT_set_label_type(1, 0);
      Grid g(40, 30);
      for (int j = 0; j < 30; ++j)
        for (int i = 0; i < 40; ++i) g.at(i, j) = c.value(i, j);
      draw(g);
      print_words();
      /* the drawn lines, to find each label on one */
      for (const auto& l : cont_rec::rec().segs)
        std::printf("S %.6f %.6f %.6f %.6f\n", static_cast<double>(l.a.x), static_cast<double>(l.a.y),
                    static_cast<double>(l.b.x), static_cast<double>(l.b.y));
      return 0;
    });
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::array<float, 4>> segs;
    std::istringstream in(r.out);
    std::string line;
    while (std::getline(in, line)) {
      std::array<float, 4> s{};
      if (std::sscanf(line.c_str(), "S %f %f %f %f", &s[0], &s[1], &s[2], &s[3]) == 4) segs.push_back(s);
    }
    int labels = 0;
    for (const Word& w : read_words(r.out)) {
      ++labels;
      bool on = false;
      for (const auto& s : segs) {
        const float dx = s[2] - s[0], dy = s[3] - s[1], len = std::hypot(dx, dy);
        const float t = ((w.x - s[0]) * dx + (w.y - s[1]) * dy) / (len * len);
        on = on || (std::fabs((w.x - s[0]) * dy - (w.y - s[1]) * dx) < 1e-4f * len && t >= -1e-4f && t <= 1 + 1e-4f);
      }
      EXPECT_TRUE(on) << w.text << " at " << w.x << "," << w.y;
    }
    /* every label row or column the levels cross has its labels */
    EXPECT_GE(labels, 40) << r.out;
  }
}

TEST(ContourLabels, SmallValuesKeepTheirDigits) {
  /* A field of small values (vorticity in 1/s) and the same field in
   * other units: the labels name the same levels and the highs and lows
   * the same values, none "0" and none with the noise of a float's digits. */
  struct Named {
    std::set<long> levels;      /* the levels labelled, in intervals */
    std::vector<double> values; /* of the highs and lows, in the unit */
  };
  std::map<double, Named> got;
  for (const double unit : {1e-12, 1e-6, 1.0, 1e12}) {
    TempDir dir;
    ChildResult r = run_child([&] {
      open_kernel(dir.file("a.meta"));
      CONT_set_intrvl(static_cast<float>(2 * unit));
      CONT_set_base(0.0f);
      Grid g(40, 30);
      for (int j = 0; j < 30; ++j)
        for (int i = 0; i < 40; ++i)
          g.at(i, j) = static_cast<float>(unit * (15 + 10 * std::sin(i / 8.0) * std::cos(j / 6.0) + 0.05 * i));
      draw(g);
      print_words();
      return 0;
    });
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<Word> words = read_words(r.out);
    for (size_t k = 0; k < words.size(); ++k) {
      const bool mark = words[k].text == "H" || words[k].text == "L";
      if (mark && k + 1 < words.size()) {
        got[unit].values.push_back(std::strtod(words[++k].text.c_str(), nullptr) / unit);
        continue;
      }
      const double v = std::strtod(words[k].text.c_str(), nullptr) / unit;
      /* no digits beyond those of a float */
      EXPECT_LE(words[k].text.size(), 8u) << unit << ": " << words[k].text;
      EXPECT_NEAR(v / 2, std::round(v / 2), 1e-3) << unit << ": " << words[k].text;
      EXPECT_GT(v, 5) << unit << ": " << words[k].text;
      got[unit].levels.insert(std::lround(v / 2));
    }
  }
  for (const double unit : {1e-12, 1e-6, 1e12}) {
    EXPECT_EQ(got[unit].levels, got[1.0].levels) << unit;
    ASSERT_EQ(got[unit].values.size(), got[1.0].values.size()) << unit;
    for (size_t k = 0; k < got[unit].values.size(); ++k)
      EXPECT_NEAR(got[unit].values[k], got[1.0].values[k], 0.01 * got[1.0].values[k]) << unit;
  }
}

TEST(HighsAndLows, RadiusZeroAndPrintedValuesDrawNone) {
  TempDir dir;
  ChildResult r = run_child([&] {
    open_kernel(dir.file("a.meta"));
    CONT_set_intrvl(1.0f);
    Grid g(3, 3);
    g.at(1, 1) = 9.0f;
    CONT_set_label_type(0, 0);
    int bad = draw(g) != 0 ? 1 : 0;
    if (!cont_rec::rec().words.empty()) bad |= 2;
    CONT_set_label_type(1, 1);
    if (draw(g, CONT_VALUES) != -1) bad |= 4;
    for (const auto& w : cont_rec::rec().words)
      if (w.text == "H") bad |= 8;
    return bad;
  });
  EXPECT_EQ(r.status, 0) << r.err;
}

} // namespace

namespace {

/* A label colour of "off": the line labels of lines go (their extrema
 * stay, in the current text colour); the fill label colour off silences
 * labels and extrema of every type. */
TEST(ContourLabels, LabelColoursSwitchedOff) {
  struct Case {
    const char* resource;
    int type;
    bool labels, marks;
  };
  constexpr Case cases[] = {
      {"", CONT_LINES, true, true},
      {"color_label", CONT_LINES, false, true},
      {"color_label", CONT_FILL, true, true},
      {"color_clabel", CONT_LINES, false, false},
      {"color_clabel", CONT_FILL, false, false},
  };
  for (const Case& c : cases) {
    TempDir dir;
    ChildResult r = run_child([&] {
      open_kernel(dir.file("a.meta"));
      if (*c.resource) RES_put(c.resource, "off");
      CONT_set_intrvl(1.0f);
      CONT_set_label_type(1, 1);
      Grid g(6, 5);
      for (int j = 0; j < 5; ++j)
        for (int i = 0; i < 6; ++i) g.at(i, j) = 5.0f - std::fabs(static_cast<float>(i) - 2.5f) - std::fabs(j - 2.2f);
      draw(g, c.type);
      size_t marks = 0, labels = 0;
      for (const auto& w : cont_rec::rec().words) (w.text == "H" || w.text == "L" ? marks : labels) += 1;
      std::printf("seen %zu %zu\n", labels, marks);
      return 0;
    });
    ASSERT_EQ(r.status, 0) << r.err;
    size_t labels = 0, marks = 0;
    const size_t at = r.out.find("seen ");
    ASSERT_NE(at, std::string::npos) << r.out;
    std::sscanf(r.out.c_str() + at, "seen %zu %zu", &labels, &marks);
    /* each mark also writes its value */
    if (c.marks) labels -= std::min(labels, marks);
    EXPECT_EQ(labels > 0, c.labels) << c.resource << " type " << c.type << ": " << labels;
    EXPECT_EQ(marks > 0, c.marks) << c.resource << " type " << c.type;
  }
}

} // namespace

namespace {

/* The ink of each text of a PostScript file (its glyph strokes after the
 * text's comment line), as a box in points. */
struct Ink {
  std::string text;
  double x0 = 1e9, x1 = -1e9, y0 = 1e9, y1 = -1e9;
};

std::vector<Ink> text_ink(const std::string& ps) {
  std::vector<Ink> inks;
  std::istringstream in(ps);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("%%TE:", 0) == 0) {
      std::istringstream f(line.substr(5));
      double x, y;
      Ink ink;
      f >> x >> y >> ink.text;
      inks.push_back(ink);
      continue;
    }
    double x, y;
    char op[4] = {};
    if (inks.empty() || std::sscanf(line.c_str(), "%lf %lf %3s", &x, &y, op) != 3) continue;
    if (std::string(op) != "mv" && std::string(op) != "ln") continue;
    Ink& ink = inks.back();
    ink.x0 = std::min(ink.x0, x), ink.x1 = std::max(ink.x1, x);
    ink.y0 = std::min(ink.y0, y), ink.y1 = std::max(ink.y1, y);
  }
  return inks;
}

/* A front: 60 degrees across a few columns, wavy along the rows; levels
 * every 2 crowd along it. On a page, the labels of neighbouring lines
 * would stack into one another. */
TEST(ContourLabels, NoTwoLabelsOverlapAlongATightFront) {
  ASSERT_TRUE(kez_test::have_program("gs")) << "ghostscript is needed";
  for (const int rotated : {0, 1}) {
    TempDir dir;
    const std::string file = dir.file("front.ps");
    ChildResult r = run_child([&] {
      unsetenv("PSCOLOR");
      RES_put("file_path", KEZ_DATA_DIR);
      gopen_gks(nullptr, 0);
      if (gopen_ws(1, file.c_str(), GWS_PS) != 0) return 100;
      CLR_read_table(KEZ_DATA_DIR "/kez.clr");
      RES_put("color_cont", "black");
      CONT_init();
      CONT_reset_fill_set();
      CONT_set_intrvl(2.0f);
      CONT_set_base(0.0f);
      CONT_set_label_type(2, 0);
      RES_put("plot_param", rotated ? "rlab" : "hlab");
      CONT_param_decode();
      Grid g(61, 41);
      for (int j = 0; j < 41; ++j)
        for (int i = 0; i < 61; ++i)
          g.at(i, j) = static_cast<float>(30 * std::tanh((i - 30 - 4 * std::sin(j / 5.0)) / 3));
      CONT_set_type(CONT_LINES);
      MAP_domain(&g.g.domain);
      cont_rec::install(true);
      CONT_draw(&g.g);
      std::printf("labels %zu\n", cont_rec::rec().words.size());
      gclose_ws(1);
      gclose_gks();
      return 0;
    });
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::vector<Ink> inks = text_ink(kez_test::read_file(file));
    ASSERT_GT(inks.size(), 10u) << r.out;
    int overlaps = 0;
    for (size_t a = 0; a < inks.size(); ++a)
      for (size_t b = a + 1; b < inks.size(); ++b) {
        const Ink &p = inks[a], &q = inks[b];
        if (p.x0 < q.x1 && q.x0 < p.x1 && p.y0 < q.y1 && q.y0 < p.y1) {
          if (overlaps++ < 5)
            ADD_FAILURE() << p.text << " at " << p.x0 << "," << p.y0 << " overlaps " << q.text << " at " << q.x0 << ","
                          << q.y0 << (rotated ? " (along the lines)" : "");
        }
      }
    EXPECT_EQ(overlaps, 0) << inks.size() << " labels";
    kez_test::Raster page;
    const kez_test::GsRun run = kez_test::gs_render(file, 612, 792, &page);
    EXPECT_TRUE(run.clean()) << run.log;
  }
}

} // namespace
