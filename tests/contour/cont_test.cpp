/*
 * Contour settings: the automatic interval and the level range, explicit
 * levels, fill colour lists and level files, the colour of a value, and the
 * plot set-up driven through resources, variable records and prompts.
 */
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>

#include "kez_test.h"
#include "kezcont.h"

namespace {

using kez_test::ChildResult;
using kez_test::run_child;
using kez_test::TempDir;

void load_colours() { CLR_read_table(KEZ_DATA_DIR "/kez.clr"); }

/* Fresh settings for a test that runs in this process. */
void fresh() {
  CONT_init();
  CONT_reset_fill_set();
}

int fill_colour(float value) {
  Gattribs a;
  CONT_get_fill_attrib(value, &a);
  return a.color;
}

TEST(ContourInterval, FollowsTheDecimalSteps) {
  struct Case {
    float max, min;
    int num;
    float want;
    const char* why;
  } cases[] = {
      {75, 0, 10, 8, "7.5 rounds up to whole units"},
      {125, 0, 10, 20, "12.5 rounds up to tens"},
      {1234, 0, 1, 2000, "thousands"},
      {0.34f, 0, 10, 0.04f, "hundredths"},
      {0.0005f, 0, 10, 0.00005f, "below the smallest step unchanged"},
      {5, 5, 10, 1, "an empty range gives 1"},
      {10, 0, 0, 10, "a count of 0 is 1"},
      {50, 0, 10, 5, "exact"},
      {2.5f, 0, 10, 0.3f, "0.25 goes to tenths"},
      {6000, 5000, 14, 80, "71.43 goes to tens"},
      {0, 10, 1, -10, "an upside-down range stays negative"},
  };
  for (const Case& c : cases) EXPECT_FLOAT_EQ(CONT_calc_intrvl(c.max, c.min, c.num), c.want) << c.why;
}

TEST(ContourInterval, AgreesWithAnIndependentRecomputation) {
  if (!kez_test::have_program("/usr/bin/python3")) GTEST_SKIP() << "no python3";
  TempDir dir;
  std::mt19937 rng(42);
  std::uniform_real_distribution<double> mag(-6, 5);
  std::uniform_int_distribution<int> count(0, 30);
  std::ostringstream in;
  std::vector<float> ours;
  char buf[128];
  for (int i = 0; i < 4000; ++i) {
    const float min = static_cast<float>(std::pow(10.0, mag(rng))) * (i % 3 == 0 ? -1.0f : 1.0f);
    const float max = min + static_cast<float>(std::pow(10.0, mag(rng)));
    const int n = count(rng);
    std::snprintf(buf, sizeof buf, "%a %a %d\n", static_cast<double>(max), static_cast<double>(min), n);
    in << buf;
    ours.push_back(CONT_calc_intrvl(max, min, n));
  }
  kez_test::write_file(dir.file("in.txt"), in.str());
  kez_test::write_file(dir.file("calc.py"),
                       "import sys, math, numpy as np\n"
                       "f=np.float32\n"
                       "for l in open(sys.argv[1]):\n"
                       "  a,b,n=l.split(); n=int(n) or 1; x=f(f(float.fromhex(a))-f(float.fromhex(b)))/f(n)\n"
                       "  r=None\n"
                       "  for s in (1000,100,10,1):\n"
                       "    if r is None and x>=s: r=f(s)*f(math.ceil(x/f(s)))\n"
                       "  for s in (10.,100.,1000.,10000.):\n"
                       "    if r is None and float(x)>=1/s: r=f(math.ceil(float(f(f(s)*x)))/s)\n"
                       "  print(float(r if r is not None else (f(1) if x==0 else x)).hex())\n");
  std::string out;
  ASSERT_EQ(kez_test::run_command("/usr/bin/python3 " + dir.file("calc.py") + " " + dir.file("in.txt"), &out), 0);
  std::istringstream lines(out);
  std::string line;
  int i = 0, wrong = 0;
  while (std::getline(lines, line) && i < static_cast<int>(ours.size())) {
    const float theirs = static_cast<float>(std::strtod(line.c_str(), nullptr));
    if (theirs != ours[i]) ++wrong;
    ++i;
  }
  EXPECT_EQ(i, 4000);
  EXPECT_EQ(wrong, 0);
}

TEST(ContourLevels, AlignToTheBase) {
  fresh();
  CONT_set_fill_attribs(nullptr);
  struct Case {
    float base, conlo, conhi;
    int bands;
  } cases[] = {{-9999, 0, 30, 6}, {2, 2, 32, 6}, {-5, 0, 30, 6}};
  for (const Case& c : cases) {
    fresh();
    CONT_set_base(c.base);
    CONT_set_intrvl(5);
    CONT_set_range(27, 3);
    ASSERT_EQ(CONT_set_cont_ext(nullptr), 0);
    EXPECT_FLOAT_EQ(CONT_inspect("conlo"), c.conlo) << c.base;
    EXPECT_FLOAT_EQ(CONT_inspect("conhi"), c.conhi) << c.base;
    EXPECT_EQ(CONT_get_num_cont(), c.bands) << c.base;
    EXPECT_FLOAT_EQ(CONT_inspect("cbase"), c.base == -9999 ? 0 : c.base);
  }
}

TEST(ContourLevels, SmallValuesGetAsManyLevelsAsLargeOnes) {
  /* The same range and interval in any unit: a vorticity in 1/s, a rate
   * in kg/(m^2 s), a pressure in Pa. */
  for (const double unit : {1e-12, 1e-6, 1e-3, 1.0, 1e6}) {
    fresh();
    CONT_set_fill_attribs(nullptr);
    CONT_set_base(0);
    CONT_set_intrvl(static_cast<float>(5 * unit));
    CONT_set_range(static_cast<float>(27 * unit), static_cast<float>(3 * unit));
    ASSERT_EQ(CONT_set_cont_ext(nullptr), 0) << unit;
    EXPECT_EQ(CONT_get_num_cont(), 6) << unit;
    EXPECT_NEAR(CONT_inspect("conhi") / unit, 30, 1e-4) << unit;
  }
}

TEST(ContourLevels, AutomaticIntervalAndMissingRange) {
  fresh();
  CONT_set_fill_attribs(nullptr); /* one entry */
  Gattribs six[7];
  for (int i = 0; i < 6; ++i) {
    CONT_fill_attrib_init(&six[i]);
    six[i].color = i + 1;
  }
  six[6].color = -2;
  CONT_set_fill_attribs(six);
  CONT_set_intrvl(0);
  CONT_set_range(50, 0);
  ASSERT_EQ(CONT_set_cont_ext(nullptr), 0);
  EXPECT_FLOAT_EQ(CONT_get_intrvl(), 10) << "50 over 5 bands";

  fresh();
  EXPECT_EQ(CONT_set_cont_ext(nullptr), -1) << "no range at all";

  fresh();
  CONT_set_type(CONT_VALUES);
  CONT_set_range(10, 0);
  CONT_set_cont_ext(nullptr);
  EXPECT_FLOAT_EQ(CONT_get_intrvl(), -9999) << "printed values need no interval";
}

TEST(ContourLevels, ExplicitValues) {
  fresh();
  const float three[] = {0, 10, 20};
  ASSERT_EQ(CONT_set_values(three, 3), 0);
  float got[4] = {};
  EXPECT_EQ(CONT_get_values(got), 3);
  EXPECT_FLOAT_EQ(CONT_get_intrvl(), 10);
  EXPECT_FLOAT_EQ(CONT_inspect("grid_max"), 20);

  const float one[] = {7};
  fresh();
  ASSERT_EQ(CONT_set_values(one, 1), 0) << "one level reads nothing past it";
  EXPECT_EQ(CONT_get_values(nullptr), 1);
  EXPECT_GT(CONT_get_intrvl(), 0);

  const float stop[] = {0, 5, -9999, 30};
  fresh();
  CONT_set_values(stop, 4);
  EXPECT_EQ(CONT_get_values(nullptr), 2);
  EXPECT_FLOAT_EQ(CONT_inspect("grid_max"), 5) << "the range ends at the last level copied";

  const float shuffled[] = {20, 0, 10};
  fresh();
  kez_test::ChildResult r = kez_test::capture([&] { CONT_set_values(shuffled, 3); });
  EXPECT_NE(r.err.find("not ascending"), std::string::npos);
  EXPECT_EQ(CONT_get_values(got), 3);
  EXPECT_FLOAT_EQ(got[0], 0);
  EXPECT_FLOAT_EQ(got[2], 20);
  EXPECT_FLOAT_EQ(CONT_get_intrvl(), 10) << "never a negative interval";

  CONT_set_fill_colors("1-3", 1);
  EXPECT_EQ(CONT_set_values(three, 3), -1) << "refused once the colours are set";
  CONT_reset_values();
  EXPECT_EQ(CONT_get_values(nullptr), 0);
}

TEST(FillColours, ListsRangesAndLevels) {
  load_colours();
  struct Case {
    const char* list;
    std::vector<int> colours;
    std::vector<float> levels; /* empty: no explicit levels */
    std::vector<std::string> labels;
  } cases[] = {
      {"1-5", {1, 2, 3, 4, 5}, {}, {}},
      {"5-1", {5, 4, 3, 2, 1}, {}, {}},
      {"0:Blue,Green,Yellow,30:Red", {4, 3, 5, 2}, {0, 10, 20, 30}, {"0", "", "", "30"}},
      {"10:Red:la=Ten,20:Blue", {2, 4}, {10, 20}, {"Ten", "20"}},
      {"Blue,10:Red,20:Green", {4, 2, 3}, {}, {}},
      {"0:Blue,10:Red,Green,Yellow", {4, 2, 3, 5}, {0, 10, 20, 30}, {}},
      {"5:Red:la=AVeryLongBarText,6:Red", {2, 2}, {5, 6}, {"AVeryLong"}},
      {"0:la=x,10:Red", {-1, 2}, {0, 10}, {"x", "10"}},
  };
  for (const Case& c : cases) {
    fresh();
    ASSERT_EQ(CONT_set_fill_colors(c.list, 1), 0) << c.list;
    ASSERT_EQ(static_cast<int>(CONT_inspect("color_num")), static_cast<int>(c.colours.size())) << c.list;
    for (size_t i = 0; i < c.colours.size(); ++i) {
      Gattribs a;
      CONT_get_fill_attrib_ind(static_cast<int>(i), &a);
      EXPECT_EQ(a.color, c.colours[i]) << c.list << " entry " << i;
    }
    std::vector<float> levels(256);
    const int n = CONT_get_values(levels.data());
    levels.resize(n);
    EXPECT_EQ(levels, c.levels) << c.list;
    for (size_t i = 0; i < c.labels.size(); ++i)
      EXPECT_STREQ(CONT_inspect_text("cont_label", static_cast<int>(i)), c.labels[i].c_str()) << c.list;
    if (c.levels.size() > 1) {
      EXPECT_FLOAT_EQ(CONT_get_intrvl(), c.levels[1] - c.levels[0]) << c.list;
    }
    EXPECT_EQ(CONT_set_fill_colors("1-2", 1), -1) << "set once per plot";
  }
}

TEST(FillColours, SourcesInOrder) {
  TempDir dir;
  kez_test::write_file(dir.file("levels.txt"),
                       "# contour levels" + std::string(120, 'x') + "\n@ comment\n\n0:Blue\n5:Red\n");
  ChildResult r = run_child([&] {
    load_colours();
    int bad = 0;
    CONT_init();
    CONT_set_fill_colors(nullptr, 0);
    Gattribs a;
    CONT_get_fill_attrib_ind(0, &a);
    if (CONT_inspect("color_num") != 15 || a.color != CLR_get_ind("Magenta") || CONT_get_values(nullptr) != 0) bad |= 1;
    RES_put("color_fill", "Miss");
    CONT_init();
    CONT_set_fill_colors(nullptr, 0);
    if (CONT_inspect("color_num") != 15) bad |= 2;
    RES_put("color_fill", "default");
    CONT_init();
    CONT_set_fill_colors(nullptr, 0);
    if (CONT_inspect("color_num") != 15) bad |= 4;
    RES_put("file_path", dir.path().c_str());
    RES_put("color_fill", "levels.txt");
    CONT_init();
    CONT_set_fill_colors(nullptr, 0);
    float lv[4];
    if (CONT_get_values(lv) != 2 || lv[0] != 0 || lv[1] != 5) bad |= 8;
    RES_put("color_fill", "missing.txt");
    CONT_init();
    CONT_set_fill_colors(nullptr, 0); /* warns, keeps the table */
    if (CONT_inspect("color_num") != 2) bad |= 16;
    CONT_init();
    CONT_set_fill_colors("3-4", 1); /* the format's list wins over the resource */
    if (CONT_inspect("color_num") != 2 || CONT_get_values(nullptr) != 0) bad |= 32;
    return bad;
  });
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("CONT_set_fill_colors: Unable to read contour level file: " + dir.file("missing.txt")),
            std::string::npos);
}

TEST(FillColours, ColourOfAValue) {
  load_colours();
  fresh();
  CONT_set_fill_colors("1-15", 1);
  CONT_set_base(0);
  CONT_set_intrvl(5);
  CONT_set_range(100, 0);
  CONT_set_cont_ext(nullptr);
  struct Case {
    float v;
    int colour;
  } banded[] = {{4.96f, 2}, {-3, 15}, {80, 2}, {0, 1}, {-9999, -1}};
  for (const Case& c : banded) EXPECT_EQ(fill_colour(c.v), c.colour) << c.v;
  CONT_set_cutoff(50, 10);
  EXPECT_EQ(fill_colour(9), -1);
  EXPECT_EQ(fill_colour(10), 3) << "equal to a cut-off keeps its colour";
  EXPECT_EQ(fill_colour(51), -1);

  for (float bad : {0.0f, -9999.0f}) {
    fresh();
    CONT_set_fill_colors("1-15", 1);
    CONT_set_intrvl(bad);
    EXPECT_EQ(fill_colour(12), -1) << "interval " << bad << " gives no colour";
  }

  fresh();
  CONT_set_fill_colors("0:1,10:2,20:3", 1);
  struct Case leveled[] = {{-1, -1}, {0, 1}, {9.99f, 1}, {10, 2}, {25, 3}};
  for (const Case& c : leveled) EXPECT_EQ(fill_colour(c.v), c.colour) << c.v;
}

/* NaN and infinities are missing values: they get no colour whatever the
 * levels, and a setting given as one is not set. */
TEST(FillColours, NonFiniteValuesAreMissing) {
  load_colours();
  struct Case {
    const char* list;
    float intrvl; /* automatic levels from base 0 when the list has none */
    float value;
    int colour;
    const char* why;
  } cases[] = {
      {"0:1,10:2,20:3", 0, NAN, -1, "NaN above every level"},
      {"0:1,10:2,20:3", 0, INFINITY, -1, "infinity above every level"},
      {"0:1,10:2,20:3", 0, -INFINITY, -1, "minus infinity"},
      {"0:1,10:2,20:3", 0, 1e30f, 3, "a huge number is above the last level"},
      {"1-15", 5, NAN, -1, "NaN in automatic bands"},
      {"1-15", 5, INFINITY, -1, "infinity in automatic bands"},
      {"1-15", 1e-30f, 1e30f, -1, "a band number beyond any number"},
      {"1-15", 1e-30f, 1e-30f, 2, "the same interval near the base"},
  };
  for (const Case& c : cases) {
    fresh();
    CONT_set_fill_colors(c.list, 1);
    if (c.intrvl > 0) {
      CONT_set_base(0);
      CONT_set_intrvl(c.intrvl);
      CONT_set_range(100, 0);
      CONT_set_cont_ext(nullptr);
    }
    EXPECT_EQ(fill_colour(c.value), c.colour) << c.why;
  }

  fresh();
  CONT_set_range(NAN, 0);
  EXPECT_EQ(CONT_inspect("grid_max"), KEZ_FMISS);
  EXPECT_EQ(CONT_set_cont_ext(nullptr), -1) << "no range";
  CONT_set_bar_range(INFINITY, -INFINITY);
  EXPECT_EQ(CONT_inspect("bar_max"), KEZ_FMISS);
  CONT_set_cutoff(NAN, 5);
  EXPECT_EQ(CONT_inspect("max_cut"), KEZ_FMISS);
  EXPECT_EQ(CONT_inspect("min_cut"), 5);
  CONT_set_intrvl(NAN);
  CONT_set_base(INFINITY);
  EXPECT_EQ(CONT_get_intrvl(), KEZ_FMISS);
  EXPECT_EQ(CONT_get_base(), KEZ_FMISS);

  /* a level list ends at a level that is no number, with a word */
  const float levels[] = {0, 10, NAN, 30, 40};
  fresh();
  kez_test::ChildResult r = kez_test::capture([&] { CONT_set_values(levels, 5); });
  EXPECT_EQ(CONT_get_values(nullptr), 2);
  EXPECT_FLOAT_EQ(CONT_inspect("grid_max"), 10);
  EXPECT_NE(r.err.find("CONT_set_values: Level 3 is not a number; it and the 2 levels after it are dropped"),
            std::string::npos)
      << r.err;
}

/* Lists longer than the 256 entries of the tables: the first 256 are
 * kept, and a warning says how many went and which was the first. */
TEST(FillColours, MoreThan256EntriesAreDroppedWithAWord) {
  TempDir dir;
  std::string levels, ranges, file;
  for (int k = 0; k < 300; ++k) levels += (k ? "," : "") + std::to_string(k) + ":1";
  for (int k = 0; k < 18; ++k) ranges += k ? ",1-15" : "1-15";
  for (int k = 0; k < 300; ++k) file += std::to_string(10 * k) + ":2\n";
  kez_test::write_file(dir.file("levels.txt"), "# 300 levels\n" + file);
  struct Case {
    std::string list;
    bool from_file;
    int levels;
    std::string warning;
  } cases[] = {
      {levels, false, 256, "CONT_set_fill_colors: Only 256 fill colours are kept; 44 dropped, from \"256:1\" on\n"},
      {ranges, false, 0,
       "CONT_set_fill_colors: Only 256 fill colours are kept; 14 dropped, from colour 2 of \"1-15\" on\n"},
      {"levels.txt", true, 256,
       "CONT_set_fill_colors: Only 256 fill colours are kept; 44 dropped from " + dir.file("levels.txt") +
           ", from \"2560:2\" on\n"},
  };
  for (const Case& c : cases) {
    ChildResult r = run_child([&] {
      load_colours();
      fresh();
      RES_put("file_path", dir.path().c_str());
      if (c.from_file) RES_put("color_fill", c.list.c_str());
      CONT_set_fill_colors(c.from_file ? nullptr : c.list.c_str(), c.from_file ? 0 : 1);
      std::printf("%g %d\n", static_cast<double>(CONT_inspect("color_num")), CONT_get_values(nullptr));
      return 0;
    });
    EXPECT_EQ(r.out, "256 " + std::to_string(c.levels) + "\n") << c.warning;
    EXPECT_NE(r.err.find(c.warning), std::string::npos) << r.err;
  }

  std::vector<float> many(300);
  for (int k = 0; k < 300; ++k) many[k] = static_cast<float>(k);
  fresh();
  kez_test::ChildResult r = kez_test::capture([&] { CONT_set_values(many.data(), 300); });
  EXPECT_EQ(CONT_get_values(nullptr), 256);
  EXPECT_FLOAT_EQ(CONT_inspect("grid_max"), 255);
  EXPECT_NE(r.err.find("CONT_set_values: Only 256 levels are kept; the 44 levels from 256 to 299 are dropped"),
            std::string::npos)
      << r.err;
  fresh();
  r = kez_test::capture([&] { CONT_set_values(many.data(), 256); });
  EXPECT_EQ(r.err, "") << "256 levels fit";
}

/* A grid whose first value is NaN: the levels come from the others. */
TEST(ContourLevels, RangeOfAGridWithNonFiniteValues) {
  fresh();
  std::vector<float> v = {NAN, 3, 27, INFINITY, 11, -INFINITY};
  GRD_report g{};
  DOM_init(&g.domain);
  g.domain.nx = 3, g.domain.ny = 2;
  g.grid = v.data();
  CONT_set_intrvl(5);
  ASSERT_EQ(CONT_set_cont_ext(&g), 0);
  EXPECT_EQ(CONT_inspect("conlo"), 0);
  EXPECT_EQ(CONT_inspect("conhi"), 30);
  EXPECT_EQ(CONT_get_num_cont(), 6);
}

/* --- the plot set-up ---------------------------------------------------- */

struct Field {
  GRD_report g{};
  std::vector<float> values;
  Field(int nx, int ny, float lo, float hi) : values(static_cast<size_t>(nx) * ny) {
    DOM_init(&g.domain);
    g.domain.nx = nx;
    g.domain.ny = ny;
    for (size_t i = 0; i < values.size(); ++i)
      values[i] = lo + (hi - lo) * static_cast<float>(i) / static_cast<float>(values.size() - 1);
    g.grid = values.data();
    std::snprintf(g.info, sizeof g.info, "TEMP");
    std::snprintf(g.datim, sizeof g.datim, "12Z");
  }
};

void set_var(int ind, int type, const char* format) {
  VAR_data* v = VAR_get_var(ind);
  v->type = type;
  std::snprintf(v->format, sizeof v->format, "%s", format);
}

/* Runs a set-up scenario in a child (fresh settings and resources); the
 * body returns a bit for each failed check. */
ChildResult scenario(const std::function<int()>& body, const std::string& input = "") {
  return run_child(
      [&] {
        load_colours();
        return body();
      },
      input);
}

TEST(PlotSetup, FormatsAndParameters) {
  ChildResult r = scenario([] {
    int bad = 0;
    FLAG_set_batch(1);
    Field f(5, 4, 0, 40);
    set_var(0, CONT_DASHED_BELOW, "cf");
    CONT_plot_setup(0, 0, &f.g, nullptr, nullptr);
    if (CONT_get_type() != CONT_FILL || CONT_inspect("dash") != -1) bad |= 1;

    set_var(1, CONT_LINES, "ln:in=5:cb=2:nolr");
    CONT_plot_setup(0, 1, &f.g, nullptr, nullptr);
    if (CONT_get_type() != CONT_LINES || CONT_get_intrvl() != 5 || CONT_get_base() != 2 || FLAG_getplot(6) != 0)
      bad |= 2;
    if (CONT_inspect("conlo") != -3) bad |= 4;

    set_var(2, CONT_VALUES, "xy=1 -1:sk=2:%5.2f");
    CONT_plot_setup(0, 2, &f.g, nullptr, nullptr);
    if (std::fabs(CONT_inspect("x_off") - 0.012f) > 1e-6 || std::fabs(CONT_inspect("y_off") + 0.02f) > 1e-6) bad |= 8;
    if (CONT_inspect("x_skip") != 2 || std::string(CONT_inspect_text("num_form", 0)) != "%5.2f") bad |= 16;
    set_var(2, CONT_VALUES, "xy=3");
    CONT_plot_setup(0, 2, &f.g, nullptr, nullptr);
    CONT_plot_setup(0, 2, &f.g, nullptr, nullptr);
    if (std::fabs(CONT_inspect("x_off") - 0.036f) > 1e-6 || CONT_inspect("y_off") != 0) bad |= 32;
    set_var(2, CONT_VALUES, "%s:%n");
    CONT_plot_setup(0, 2, &f.g, nullptr, nullptr);
    if (CONT_inspect_text("num_form", 0)[0] != '\0') bad |= 64;

    RES_put("plot_param", "lab=23");
    set_var(3, CONT_LINES, "");
    CONT_plot_setup(0, 3, &f.g, nullptr, nullptr);
    if (CONT_inspect("label_skip") != 2 || CONT_inspect("ext_radius") != 3) bad |= 128;
    RES_put("plot_param", "lab=2:3:5:4,rlab,maxl=3");
    CONT_plot_setup(0, 3, &f.g, nullptr, nullptr);
    if (CONT_inspect("x_label_space") != 5 || CONT_inspect("y_label_space") != 4) bad |= 256;
    RES_put("plot_param", "");
    RES_put("con_base", ">0,<100");
    CONT_plot_setup(0, 3, &f.g, nullptr, nullptr);
    if (CONT_inspect("min_cut") != 0 || CONT_get_base() != 0 || CONT_inspect("max_cut") != 100) bad |= 512;
    if (CONT_inspect("rot_label") != 1 || CONT_inspect("max_line_fact") != 3) bad |= 1024; /* kept */
    return bad;
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(PlotSetup, PromptsAndBatch) {
  struct Case {
    const char* input;
    int type;
    float interval;
  } cases[] = {
      {"-5\nC\n", CONT_FILL, 3}, {"-5\nyes\n", CONT_FILL, 3},  {"4\nlines\n", CONT_LINES, 4},
      {"4\n\n", CONT_LINES, 4},  {"4\nndln\n", CONT_LINES, 4}, {"4\nnone\n", CONT_NONE, 4},
  };
  for (const Case& c : cases) {
    ChildResult r = scenario(
        [&] {
          Field f(5, 4, 0, 40);
          set_var(0, -9999, "");
          CONT_plot_setup(0, 0, &f.g, nullptr, nullptr);
          return (CONT_get_type() == c.type ? 0 : 1) | (CONT_get_intrvl() == c.interval ? 0 : 2);
        },
        c.input);
    EXPECT_EQ(r.status, 0) << c.input << r.out;
    EXPECT_NE(r.out.find("Maximum value: 40.000000"), std::string::npos);
    EXPECT_NE(r.out.find("Enter the contour interval: "), std::string::npos);
    EXPECT_NE(r.out.find("Color fill (C) or Line (L) contours: "), std::string::npos);
  }
  ChildResult b = scenario([] {
    FLAG_set_batch(1);
    Field f(5, 4, 0, 40);
    CONT_plot_setup(0, 0, &f.g, nullptr, nullptr);
    return CONT_get_type() == CONT_FILL ? 0 : 1;
  });
  EXPECT_EQ(b.status, 0);
  EXPECT_EQ(b.out.find("Enter"), std::string::npos) << "batch mode never prompts";
  EXPECT_EQ(b.out.find("contours:"), std::string::npos);
}

TEST(PlotSetup, SequencesLevelsAndLabels) {
  ChildResult r = scenario(
      [] {
        int bad = 0;
        Field f(5, 4, 0, 40);
        set_var(0, -9999, "");
        CONT_plot_setup(0, 0, &f.g, nullptr, nullptr); /* asks: 5, L */
        if (CONT_get_type() != CONT_LINES || CONT_get_intrvl() != 5) bad |= 1;
        if (std::string(PLT_get_label(3, 0)) != "INTERVAL:   5.0") bad |= 2;
        if (std::string(PLT_get_label(5, 0)) != "LO:   0.0  HI:  40.0") {
          std::printf("[%s]\n", PLT_get_label(5, 0));
          bad |= 4;
        }
        if (std::string(PLT_get_label(0, 0)) != "TEMP" || std::string(PLT_get_label(2, 0)) != "12Z") bad |= 8;
        CONT_plot_setup(1, 0, &f.g, nullptr, nullptr); /* restores, asks nothing */
        if (CONT_get_type() != CONT_LINES || CONT_get_intrvl() != 5) bad |= 16;

        FLAG_set_batch(1);
        RES_put("color_fill", "0:Blue,10:Red,20:Green,30:Yellow");
        CONT_set_bar(0);
        CONT_plot_setup(0, 1, &f.g, nullptr, nullptr);
        if (CONT_get_bar() != 1) bad |= 32;
        if (std::string(PLT_get_label(3, 0)) != "LEVELS: 0.0,10.0,20.0,30.0") bad |= 64;
        set_var(1, -9999, "nobar");
        CONT_plot_setup(0, 1, &f.g, nullptr, nullptr);
        if (CONT_get_bar() != 0) bad |= 128;
        CONT_init();
        if (CONT_get_bar() != 0) bad |= 256; /* the bar switch is kept */

        std::string list;
        for (int i = 0; i < 40; ++i) list += (i ? "," : "") + std::to_string(i * 1000) + ":Red";
        RES_put("color_fill", list.c_str());
        CONT_plot_setup(0, 2, &f.g, nullptr, nullptr);
        const std::string ll = PLT_get_label(3, 0);
        if (ll.compare(0, 8, "LEVELS: ") != 0 || ll.size() > 74 + 9 || ll.size() < 70) bad |= 512;
        return bad;
      },
      "5\nL\n");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out.find("Enter the contour interval: ", r.out.find("Enter the contour interval: ") + 1),
            std::string::npos)
      << "the second frame asks nothing";
}

TEST(PlotSetup, CornerLabelsOfSmallValuesKeepTheirDigits) {
  ChildResult r = scenario(
      [] {
        Field f(5, 4, 2e-6f, 4e-5f);
        set_var(0, -9999, "");
        CONT_plot_setup(0, 0, &f.g, nullptr, nullptr); /* asks: 5e-6, L */
        std::printf("[%s] [%s]\n", PLT_get_label(3, 0), PLT_get_label(5, 0));
        return std::string(PLT_get_label(3, 0)) == "INTERVAL: 5e-06" &&
                       std::string(PLT_get_label(5, 0)) == "LO: 2e-06  HI: 0.0000400"
                   ? 0
                   : 1;
      },
      "5e-6\nL\n");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(PlotSetup, PlotTypeNoneAndEmptyGrid) {
  ChildResult r = scenario([] {
    int bad = 0;
    FLAG_set_batch(1);
    FLAG_set(11, 99);
    CONT_set_type(12);
    CONT_plot_setup(0, 0, nullptr, nullptr, nullptr);
    if (CONT_get_type() != 12) bad |= 1;
    FLAG_set(11, -9999);
    GRD_report empty{};
    DOM_init(&empty.domain);
    CONT_plot_setup(0, 0, &empty, nullptr, nullptr);
    if (CONT_inspect("color_fill_set") != 1 || CONT_inspect("grid_max") != -9999) bad |= 2;
    return bad;
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

} // namespace

namespace {
TEST(ContourLevels, NoExtraLevelBelowZeroBase) {
  /* The level range never gains the optional extra level: bar and map
   * share one rule. */
  fresh();
  CONT_set_base(-5);
  CONT_set_intrvl(10);
  CONT_set_range(0, -20);
  CONT_set_cont_ext(nullptr);
  EXPECT_FLOAT_EQ(CONT_inspect("conlo"), -25);
  EXPECT_FLOAT_EQ(CONT_inspect("conhi"), 5);
  EXPECT_EQ(CONT_get_num_cont(), 3);
}
} // namespace

namespace {
TEST(PlotSetup, IntervalAndScaleFromResources) {
  ChildResult r = scenario(
      [] {
        int bad = 0;
        Field f(5, 4, 0, 40);
        set_var(0, CONT_LINES, "");
        RES_put("con_interval", "4");
        RES_put("plot_scale", "2.5");
        CONT_plot_setup(0, 0, &f.g, nullptr, nullptr);
        if (CONT_get_intrvl() != 4 || CONT_inspect("scale") != 2.5f) bad |= 1;
        RES_put("plot_scale", "0");
        RES_put("con_interval", "-3");
        CONT_plot_setup(0, 0, &f.g, nullptr, nullptr);
        if (CONT_inspect("scale") != 1) bad |= 2;
        if (CONT_get_intrvl() != 3) bad |= 4; /* below 0: the automatic interval, 40 over 14 bands */
        return bad;
      },
      "");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out.find("Enter the contour interval"), std::string::npos) << "the resource answers";
  EXPECT_EQ(r.out.find("Maximum value"), std::string::npos);
}
} // namespace

namespace {

/* The plot frame's keywords set the contour bar and the vector legend. */
TEST(PlotFrameKeywords, PlotKeywordsReachContouring) {
  auto r = run_child([] {
    RES_put("plot_param", "bar=1:9");
    PLT_param_decode();
    std::printf("bar %d\n", CONT_get_bar());
    RES_put("plot_param", "nobar");
    PLT_param_decode();
    std::printf("bar %d vect %d\n", CONT_get_bar(), VECT_get_vect());
    return 0;
  });
  EXPECT_EQ(r.out, "bar 2\nbar -2 vect 0\n") << r.err;
}

} // namespace
