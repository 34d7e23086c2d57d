#include "gks.h"
#include "kez_test.h"
#include "kezgks.h"
#include "kezsfc.h"
#include "ps_render.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

using kez_test::read_file;
using kez_test::run_child;
using kez_test::TempDir;
using kez_test::write_file;

const std::string fixtures = KEZ_SOURCE_DIR "/tests/sfc/data/";

/* North America on a polar stereographic map, 6000 by 4000 km. */
Domain america() {
  Domain d;
  DOM_init(&d);
  d.proj = MAP_PSTEREO;
  d.plat = 90;
  d.plon = -95;
  d.clat = 42;
  d.clon = -92;
  d.dx = 1;
  d.dy = 1;
  d.nx = 61;
  d.ny = 41;
  return d;
}

/* The page: portrait EPS, the map on the unit square's lower part, one
 * point of the page a 575th of the unit. */
constexpr float PAGE = 575;
constexpr float MAP_H = 40.0f / 60.0f;

struct Plot {
  MAP_limits lim{};
  /* Page point of a position. */
  std::array<int, 2> at(float lat, float lon) const {
    float x = 0, y = 0;
    MAP_tran(lat, lon, &x, &y);
    return {static_cast<int>(std::lround((x - lim.x_min) / (lim.x_max - lim.x_min) * PAGE)),
            static_cast<int>(std::lround((y - lim.y_min) / (lim.y_max - lim.y_min) * PAGE * MAP_H))};
  }
};

/* Opens a colour EPS of the map with the suite's colours; the module's
 * resources from res (name=value pairs). */
Plot open_map(const std::string& file, const std::vector<std::pair<std::string, std::string>>& res = {}) {
  RES_put("file_path", KEZ_DATA_DIR);
  for (const auto& [k, v] : res) RES_put(k.c_str(), v.c_str());
  gopen_gks(nullptr, 0);
  gopen_ws(1, (file + ",eps,port,color").c_str(), GWS_PS);
  CLR_read_table(KEZ_DATA_DIR "/kez.clr");
  for (int i = 0; i < CLR_get_num(); ++i) {
    Gcolr_rep rep{};
    CLR_get_rgb(i, &rep.red, &rep.green, &rep.blue);
    gset_colr_rep(1, i, &rep);
  }
  Domain d = america();
  MAP_domain(&d);
  Plot p;
  MAP_get_limits(&p.lim);
  const Glim win{p.lim.x_min, p.lim.x_max, p.lim.y_min, p.lim.y_max}, vp{0, 1, 0, MAP_H};
  gset_win(2, &win);
  gset_vp(2, &vp);
  gsel_norm_tran(2);
  return p;
}

void close_map() {
  gclose_ws(1);
  gclose_gks();
}

/* Draws a bulletin in a child and renders it; the child's run in *run. */
kez_test::Raster draw(const std::string& bulletin_file, const std::vector<std::pair<std::string, std::string>>& res,
                      kez_test::ChildResult* run = nullptr,
                      const Date& date = Date{2024, 3, 5, KEZ_MISS, KEZ_MISS, 14, 0, 0}) {
  TempDir dir;
  const std::string eps = dir.file("f.eps");
  auto r = run_child([&] {
    open_map(eps, res);
    FRT_set_date(&date);
    FRT_plot_file(bulletin_file.c_str());
    close_map();
    return 0;
  });
  if (run) *run = r;
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  kez_test::Raster page;
  auto gs = kez_test::gs_render(eps, static_cast<int>(PAGE), static_cast<int>(PAGE * MAP_H) + 1, &page);
  EXPECT_TRUE(gs.clean()) << gs.log;
  if (const char* keep = std::getenv("KEZ_KEEP_PLOTS"))
    kez_test::run_command("cp " + eps + " " + keep + "/" + std::to_string(std::rand()) + "_frt.eps");
  return page;
}

constexpr std::array<int, 3> WHITE{255, 255, 255};

bool is_colour(const std::array<int, 3>& c, const char* name) {
  const std::string n = name;
  if (n == "blue") return c[0] < 80 && c[1] < 80 && c[2] > 180;
  if (n == "red") return c[0] > 180 && c[1] < 80 && c[2] < 80;
  if (n == "magenta") return c[0] > 180 && c[1] < 80 && c[2] > 180;
  if (n == "brown") return c[0] > 100 && c[0] < 200 && c[1] < 100 && c[2] < 100;
  return false;
}

/* Pixels of a colour in a box around a page point. */
int count_in(const kez_test::Raster& r, int x0, int y0, int x1, int y1, const char* colour) {
  int n = 0;
  for (int x = x0; x <= x1; ++x)
    for (int y = y0; y <= y1; ++y)
      if (is_colour(r.at(x, y), colour)) ++n;
  return n;
}

int non_white(const kez_test::Raster& r) {
  int n = 0;
  for (int x = 0; x < r.width; ++x)
    for (int y = 0; y < r.height; ++y)
      if (r.at(x, y) != WHITE) ++n;
  return n;
}

/* Runs of a colour along columns x0 to x1 between two heights. */
int runs_in_column(const kez_test::Raster& r, int x0, int x1, int y0, int y1, const char* colour) {
  int runs = 0;
  bool in = false;
  for (int y = y0; y <= y1; ++y) {
    bool c = false;
    for (int x = x0; x <= x1; ++x) c = c || is_colour(r.at(x, y), colour);
    if (c && !in) ++runs;
    in = c;
  }
  return runs;
}

/* The column near x with the most ink between two heights: a thin vertical
 * line there. */
int line_column(const kez_test::Raster& r, int x, int y0, int y1) {
  int best = x, most = -1;
  for (int c = x - 4; c <= x + 4; ++c) {
    int n = 0;
    for (int y = y0; y <= y1; ++y) n += r.at(c, y) != WHITE ? 1 : 0;
    if (n > most) {
      most = n;
      best = c;
    }
  }
  return best;
}

int count_lines(const std::string& text, const std::string& prefix) {
  int n = 0;
  for (size_t at = 0; (at = text.find(prefix, at)) != std::string::npos; at += prefix.size())
    if (at == 0 || text[at - 1] == '\n') ++n;
  return n;
}

Plot plain_plot() {
  Plot q;
  Domain d = america();
  MAP_domain(&d);
  MAP_get_limits(&q.lim);
  return q;
}

std::string bulletin(const std::string& body) { return "VALID 030512Z\n" + body; }

/* ---- positions ---- */

TEST(FrontPositions, FiveDigitGroupsGiveLatitudeAndWestLongitude) {
  struct Case {
    const char* group;
    int ok;
    float lat, lon;
    const char* why;
  };
  const Case cases[] = {
      {"40105", 1, 40, 105, "two and three digits"},
      {"05080", 1, 5, 80, "leading zero"},
      {"4010", 1, 40, 10, "a short longitude is what it reads"},
      {"40", 0, 40, -1, "no longitude"},
      {"", 0, -1, -1, "empty"},
      {"A0105", 0, -1, -1, "a letter first"},
  };
  for (const Case& c : cases) {
    float lat = -1, lon = -1;
    EXPECT_EQ(decode_latlon(c.group, &lat, &lon), c.ok) << c.why;
    EXPECT_EQ(lat, c.lat) << c.why;
    if (c.ok) {
      EXPECT_EQ(lon, c.lon) << c.why;
    }
  }
  float lat = 0, lon = 0;
  EXPECT_EQ(decode_latlon(nullptr, &lat, &lon), 0);
}

TEST(FrontPositions, NumberWordsSpellOutACyclonePosition) {
  struct Case {
    const char* words;
    int result;
    float lat, lon;
    const char* why;
  };
  const Case cases[] = {
      {"FORTY FIVE NORTH NINETY WEST END", 0, 45.0f, -90.0f, "tens and units"},
      {"SIXTEEN POINT TWO NORTH X", 0, 16.2f, -1, "teen and a tenth"},
      {"TWENTY FIVE POINT FIVE NORTH SEVENTY POINT THREE WEST MOVING", 0, 25.5f, -70.3f, "both with tenths"},
      {"ONE HUNDRED NORTH X", 0, 100.0f, -1, "hundred multiplies"},
      {"SIXTYISH NORTH X", 0, 60.0f, -1, "trailing letters after a number word"},
      {"ONES NORTH X", 0, -1, -1, "ONE only as the exact word: ONES ends the reading"},
      {"TWENTY NORTH", -1, 20.0f, -1, "the end of the file"},
  };
  for (const Case& c : cases) {
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    std::fputs(c.words, f);
    std::rewind(f);
    float lat = -1, lon = -1;
    EXPECT_EQ(FRT_decode_locate(f, &lat, &lon), c.result) << c.why;
    EXPECT_NEAR(lat, c.lat, 1e-4) << c.why;
    EXPECT_NEAR(lon, c.lon, 1e-4) << c.why;
    std::fclose(f);
  }
  float lat = 0, lon = 0;
  EXPECT_EQ(FRT_decode_locate(nullptr, &lat, &lon), -1);
}

/* ---- sections and dates ---- */

struct Labelled {
  std::string out;
  std::string right;
  int ink = 0;
};

Labelled label_run(const std::string& file, const std::vector<std::pair<std::string, std::string>>& res,
                   const Date& date) {
  TempDir dir;
  const std::string eps = dir.file("f.eps");
  auto r = run_child([&] {
    open_map(eps, res);
    FRT_set_date(&date);
    FRT_plot_file(file.c_str());
    std::printf("right=[%s]\n", PLT_get_label(2, 0));
    close_map();
    return 0;
  });
  EXPECT_EQ(r.status, 0) << r.err;
  Labelled l;
  l.out = r.out + r.err;
  const size_t at = r.out.find("right=[");
  if (at != std::string::npos) l.right = r.out.substr(at + 7, r.out.find("]\n", at) - at - 7);
  kez_test::Raster page;
  EXPECT_TRUE(kez_test::gs_render(eps, static_cast<int>(PAGE), static_cast<int>(PAGE * MAP_H) + 1, &page).clean());
  l.ink = non_white(page);
  return l;
}

TEST(FrontSections, AnalysisTimeMatchesTheBulletinHourRoundedDownToThree) {
  TempDir dir;
  const Date at14{2024, 3, 5, KEZ_MISS, KEZ_MISS, 14, 0, 0};
  Date at12 = at14;
  at12.hour = 12;
  char want[DATE_LABEL_LEN];
  DATE_make_label(&at12, want);
  struct Case {
    const char* valid;
    bool drawn;
    const char* why;
  };
  const Case cases[] = {
      {"1200Z", true, "hour only"},   {"0512Z", true, "day and hour"},   {"030512Z", true, "month, day, hour"},
      {"1500Z", false, "later hour"}, {"030418Z", false, "another day"}, {"", false, "no valid time"},
  };
  for (const Case& c : cases) {
    const std::string f = dir.file("b.dat");
    write_file(f, std::string("VALID ") + c.valid + "\nLOWS 996 42095\nCOLD WK 42095 40097 38099\n");
    Labelled l = label_run(f, {}, at14);
    EXPECT_EQ(l.right, std::string("NCEP analysis for ") + want) << c.why;
    EXPECT_EQ(l.ink > 50, c.drawn) << c.why << " ink " << l.ink;
    EXPECT_EQ(l.out.find("FRT_plot_file: Invalid date in file: ") != std::string::npos, !c.drawn) << c.why << l.out;
  }
}

TEST(FrontSections, ForecastSectionByOptionOrTimeResourceAndNothingElse) {
  /* The sample's 24-hour section has its low near 48N 77W, the analysis near
   * 47N 87W. */
  const Date date{2024, 3, 5, KEZ_MISS, KEZ_MISS, 12, 0, 0};
  char valid[DATE_LABEL_LEN];
  DATE_make_label_valid_time(24, &date, valid);
  for (const char* param : {"hour=24", "HOUR=24"}) {
    Labelled l = label_run(fixtures + "24030512_frt.dat", {{"plot_param", param}}, date);
    EXPECT_EQ(l.right, std::string("24 hr NCEP forecast valid ") + valid) << param;
  }
  kez_test::ChildResult run;
  auto page = draw(fixtures + "24030512_frt.dat", {{"plot_param", "hour=24"}}, &run, date);
  const Plot q = plain_plot();
  const auto fc = q.at(48, -77), an = q.at(47, -87), h48 = q.at(50, -70);
  EXPECT_GT(count_in(page, fc[0] - 8, fc[1] - 8, fc[0] + 8, fc[1] + 8, "red"), 10) << "24-hour low drawn";
  EXPECT_EQ(count_in(page, an[0] - 6, an[1] - 6, an[0] + 6, an[1] + 6, "red"), 0) << "analysis low not drawn";
  EXPECT_EQ(count_in(page, h48[0] - 6, h48[1] - 6, h48[0] + 6, h48[1] + 6, "red"), 0) << "48-hour section not drawn";
}

TEST(FrontSections, MismatchedValidTimeWarnsAndDrawsNothing) {
  const Date date{2024, 3, 6, KEZ_MISS, KEZ_MISS, 0, 0, 0};
  Labelled l = label_run(fixtures + "24030600_frt.dat", {}, date);
  EXPECT_NE(l.out.find("FRT_plot_file: Invalid date in file: 030418Z != 030600\n"), std::string::npos) << l.out;
  EXPECT_EQ(l.ink, 0);
}

TEST(FrontSections, MissingFileWarnsAndDrawsNothing) {
  Labelled l = label_run("/nonexistent/front.dat", {}, Date{2024, 3, 5, KEZ_MISS, KEZ_MISS, 12, 0, 0});
  EXPECT_NE(l.out.find("FRT_plot_file: Unable to open front file: /nonexistent/front.dat\n"), std::string::npos)
      << l.out;
  EXPECT_EQ(l.ink, 0);
}

/* ---- pressure centres ---- */

TEST(FrontCentres, NearbyCentresOfOneKindMergeWithinTheRadius) {
  TempDir dir;
  const Plot q = plain_plot();
  struct Case {
    const char* body;
    const char* param;
    std::vector<std::array<float, 2>> drawn, gone;
    const char* colour;
    const char* why;
  };
  const std::vector<Case> cases = {
      {"HIGHS 1030 40105 1028 41104\n", "", {{40, -105}}, {{41, -104}}, "blue", "weaker high merged"},
      {"HIGHS 1030 40105 1028 41104\n", "prrad=0.5", {{40, -105}, {41, -104}}, {}, "blue", "small radius keeps both"},
      {"LOWS 1000 40105 996 44101\n", "", {{44, -101}}, {{40, -105}}, "red", "deeper low survives"},
      {"HIGHS 1030 40105 1030 44101\n", "", {{44, -101}}, {{40, -105}}, "blue", "equal: the later survives"},
      {"HIGHS 1062 55112 1051 40090\n", "", {{55, -112}, {40, -90}}, {}, "blue", "pressures above 1050 kept"},
  };
  for (const Case& c : cases) {
    const std::string f = dir.file("b.dat");
    write_file(f, bulletin(c.body));
    auto page = draw(f, {{"plot_param", c.param}});
    for (const auto& ll : c.drawn) {
      const auto at = q.at(ll[0], ll[1]);
      EXPECT_GT(count_in(page, at[0] - 7, at[1] - 7, at[0] + 7, at[1] + 7, c.colour), 10)
          << c.why << " at " << ll[0] << " " << ll[1];
    }
    for (const auto& ll : c.gone) {
      const auto at = q.at(ll[0], ll[1]);
      EXPECT_EQ(count_in(page, at[0] - 5, at[1] - 5, at[0] + 5, at[1] + 5, c.colour), 0)
          << c.why << " at " << ll[0] << " " << ll[1];
    }
  }
}

TEST(FrontCentres, AHighAndANearbyLowAreBothDrawn) {
  TempDir dir;
  const Plot q = plain_plot();
  const std::string f = dir.file("b.dat");
  write_file(f, bulletin("HIGHS 1010 40105\nLOWS 1012 41104\n"));
  auto page = draw(f, {});
  const auto h = q.at(40, -105), l = q.at(41, -104);
  EXPECT_GT(count_in(page, h[0] - 5, h[1] - 5, h[0] + 5, h[1] + 5, "blue"), 5);
  EXPECT_GT(count_in(page, l[0] - 5, l[1] - 5, l[0] + 5, l[1] + 5, "red"), 5);
}

/* ---- fronts ---- */

/* Pip colour on each side of an east-west front along 42N (north, south)
 * or of a north-south front along 95W (east, west). */
struct Sides {
  int first, second;
};

Sides pip_sides(const std::string& body, const char* colour, bool east_west) {
  TempDir dir;
  const std::string f = dir.file("b.dat");
  write_file(f, bulletin(body));
  auto page = draw(f, {{"plot_param", "barb"}});
  const Plot q = plain_plot();
  Sides s{0, 0};
  if (east_west) {
    for (float lon = -104; lon <= -86; lon += 0.1f) {
      const auto at = q.at(42, lon);
      s.first += count_in(page, at[0], at[1] + 3, at[0], at[1] + 14, colour);
      s.second += count_in(page, at[0], at[1] - 14, at[0], at[1] - 3, colour);
    }
  } else {
    for (float lat = 34; lat <= 50; lat += 0.1f) {
      const auto at = q.at(lat, -95);
      s.first += count_in(page, at[0] + 3, at[1], at[0] + 14, at[1], colour);
      s.second += count_in(page, at[0] - 14, at[1], at[0] - 3, at[1], colour);
    }
  }
  return s;
}

TEST(FrontPips, EachKindKeepsItsSideWhicheverWayItIsListed) {
  const std::string we = "42105 42100 42095 42090 42085\n", ew = "42085 42090 42095 42100 42105\n";
  const std::string ns = "50095 46095 42095 38095 34095\n", sn = "34095 38095 42095 46095 50095\n";
  struct Case {
    std::string body;
    const char* colour;
    bool east_west;
    bool on_first; /* north, or east */
    const char* why;
  };
  const Case cases[] = {
      {"COLD WK " + we, "blue", true, false, "cold west to east: triangles south"},
      {"COLD WK " + ew, "blue", true, false, "cold east to west: triangles south"},
      {"WARM WK " + we, "red", true, true, "warm west to east: discs north"},
      {"WARM WK " + ew, "red", true, true, "warm east to west: discs north"},
      {"OCFNT WK " + we, "magenta", true, true, "occluded west to east: north"},
      {"OCFNT WK " + ew, "magenta", true, true, "occluded east to west: north"},
      {"COLD WK " + ns, "blue", false, true, "cold north to south: east"},
      {"COLD WK " + sn, "blue", false, true, "cold south to north: east"},
      {"WARM WK " + ns, "red", false, true, "warm north to south: east"},
      {"WARM WK " + sn, "red", false, true, "warm south to north: east"},
  };
  for (const Case& c : cases) {
    const Sides s = pip_sides(c.body, c.colour, c.east_west);
    const int on = c.on_first ? s.first : s.second, off = c.on_first ? s.second : s.first;
    EXPECT_GT(on, 30) << c.why;
    EXPECT_EQ(off, 0) << c.why;
  }
  /* Stationary: triangles (cold colour) and discs (warm colour) face away
   * from each other, the triangles south whichever way it runs. */
  for (const std::string& dir : {we, ew}) {
    const Sides blue = pip_sides("STNRY WK " + dir, "blue", true);
    const Sides red = pip_sides("STNRY WK " + dir, "red", true);
    EXPECT_GT(blue.second, 30);
    EXPECT_EQ(blue.first, 0);
    EXPECT_GT(red.first, 30);
    EXPECT_EQ(red.second, 0);
  }
}

TEST(FrontPips, WithoutBarbFrontsArePlainCurves) {
  TempDir dir;
  const std::string f = dir.file("b.dat");
  write_file(f, bulletin("COLD WK 42105 42100 42095 42090 42085\n"));
  auto page = draw(f, {});
  const Plot q = plain_plot();
  int off = 0, on = 0;
  for (int lon = -104; lon <= -86; ++lon) {
    const auto at = q.at(42, static_cast<float>(lon));
    off += count_in(page, at[0], at[1] - 14, at[0], at[1] - 4, "blue") +
           count_in(page, at[0], at[1] + 4, at[0], at[1] + 14, "blue");
    on += count_in(page, at[0], at[1] - 2, at[0], at[1] + 2, "blue");
  }
  EXPECT_EQ(off, 0);
  EXPECT_GT(on, 15);
}

/* A north-south front along 95W (a straight line on the map): the number of
 * steps from the trace, the pips counted as runs along a column beside it. */
struct Pattern {
  int steps = 0;
  int east = 0, west = 0;          /* pip runs of the colour */
  int line_blue = 0, line_red = 0; /* runs of the line itself */
};

Pattern pattern(const std::string& keyword, const char* colour, const char* tag) {
  TempDir dir;
  const std::string f = dir.file("b.dat");
  std::string body = keyword + " 52095 50095 48095 46095 44095 42095 40095 38095 36095 34095 32095\n";
  write_file(f, bulletin(body));
  kez_test::ChildResult run;
  TempDir d2;
  const std::string eps = d2.file("p.eps");
  run = run_child([&] {
    open_map(eps, {{"plot_param", "barb"}});
    MESS_set(1, M_out3);
    const Date date{2024, 3, 5, KEZ_MISS, KEZ_MISS, 12, 0, 0};
    FRT_set_date(&date);
    FRT_plot_file(f.c_str());
    close_map();
    return 0;
  });
  EXPECT_EQ(run.status, 0) << run.err;
  kez_test::Raster page;
  EXPECT_TRUE(kez_test::gs_render(eps, static_cast<int>(PAGE), static_cast<int>(PAGE * MAP_H) + 1, &page).clean());
  const Plot q = plain_plot();
  const auto top = q.at(52, -95), bottom = q.at(32, -95);
  const int x = line_column(page, top[0], bottom[1], top[1]);
  Pattern p;
  p.steps = count_lines(run.out, std::string(tag) + ": ");
  p.east = runs_in_column(page, x + 2, x + 3, bottom[1], top[1], colour);
  p.west = runs_in_column(page, x - 3, x - 2, bottom[1], top[1], colour);
  p.line_blue = runs_in_column(page, x, x, bottom[1] + 2, top[1] - 2, "blue");
  p.line_red = runs_in_column(page, x, x, bottom[1] + 2, top[1] - 2, "red");
  return p;
}

int pips(int steps, int period, int at) {
  int n = 0;
  for (int k = 0; k < steps; ++k)
    if (k % period == at) ++n;
  return n;
}

TEST(FrontPips, EachKindPlacesItsPipsBySegmentNumber) {
  {
    const Pattern p = pattern("COLD WK", "blue", "COLD");
    ASSERT_GT(p.steps, 30);
    EXPECT_EQ(p.east, pips(p.steps, 4, 2)) << "a triangle on every fourth segment, from the third";
  }
  {
    const Pattern p = pattern("WARM WK", "red", "WARM");
    EXPECT_EQ(p.east, pips(p.steps, 6, 3)) << "a half-disc on every sixth, from the fourth";
  }
  {
    const Pattern p = pattern("OCFNT WK", "magenta", "OCCL");
    EXPECT_EQ(p.east, pips(p.steps, 11, 3) + pips(p.steps, 11, 8)) << "triangle and half-disc in each eleven";
  }
  {
    const Pattern blue = pattern("STNRY WK", "blue", "STAT");
    const Pattern red = pattern("STNRY WK", "red", "STAT");
    EXPECT_EQ(blue.east, pips(blue.steps, 11, 3)) << "cold triangles on one side";
    EXPECT_EQ(blue.west, 0);
    EXPECT_EQ(red.west, pips(red.steps, 11, 8)) << "warm half-discs on the other";
    EXPECT_EQ(red.east, 0);
    /* The line: six cold segments, then five warm ones. */
    EXPECT_EQ(blue.line_blue, (blue.steps + 10) / 11);
    EXPECT_EQ(blue.line_red, (blue.steps + 5) / 11);
  }
}

TEST(FrontTroughs, OnlyEvenSegmentsAreDrawn) {
  const Pattern p = pattern("TROF", "brown", "TROF");
  ASSERT_GT(p.steps, 30);
  TempDir dir;
  const std::string f = dir.file("b.dat");
  write_file(f, bulletin("TROF 52095 50095 48095 46095 44095 42095 40095 38095 36095 34095 32095\n"));
  auto page = draw(f, {});
  const Plot q = plain_plot();
  const auto top = q.at(52, -95), bottom = q.at(32, -95);
  const int x = line_column(page, top[0], bottom[1], top[1]);
  EXPECT_EQ(runs_in_column(page, x, x, bottom[1] - 4, top[1] + 4, "brown"), (p.steps + 1) / 2);
}

TEST(FrontRecords, RepeatedGroupsContinuationsAndHiddenColours) {
  TempDir dir;
  struct Case {
    std::string body;
    std::vector<std::pair<std::string, std::string>> res;
    int points; /* traced kept points */
    bool drawn;
    const char* why;
  };
  const Case cases[] = {
      {"COLD WK 40100 40100 41099\n", {}, 2, true, "a repeated group adds nothing"},
      {"COLD WK 40100\n41099 42098\n43097 44096\n", {}, 5, true, "continued over three lines: one front"},
      {"COLD WK 40100 40100\n", {}, 1, false, "one kept point: not drawn"},
      {"OCFNT WK 40100 41099 42098\n", {{"color_front", ",,,,none"}}, 3, false, "occluded colour none"},
      {"COLD WK 40100 4Q099 42098\n", {}, 1, false, "a group with a letter ends the record"},
  };
  for (const Case& c : cases) {
    const std::string f = dir.file("b.dat");
    write_file(f, bulletin(c.body));
    TempDir d2;
    const std::string eps = d2.file("p.eps");
    auto run = run_child([&] {
      open_map(eps, c.res);
      MESS_set(1, M_out3);
      const Date date{2024, 3, 5, KEZ_MISS, KEZ_MISS, 12, 0, 0};
      FRT_set_date(&date);
      FRT_plot_file(f.c_str());
      close_map();
      return 0;
    });
    ASSERT_EQ(run.status, 0) << c.why << run.err;
    int kept = 0;
    for (size_t at = 0; (at = run.out.find(" = ", at)) != std::string::npos; ++at) ++kept;
    EXPECT_EQ(kept, c.points) << c.why << run.out;
    kez_test::Raster page;
    ASSERT_TRUE(kez_test::gs_render(eps, static_cast<int>(PAGE), static_cast<int>(PAGE * MAP_H) + 1, &page).clean());
    EXPECT_EQ(non_white(page) > 5, c.drawn) << c.why;
  }
}

TEST(FrontCyclones, HurricaneAndStormAreDrawnAtTheirSpelledPositions) {
  TempDir dir;
  const std::string f = dir.file("b.dat");
  write_file(f, bulletin("HURRICANE ALPHA THIRTY NORTH EIGHTY WEST PSN\n"
                         "TROPICAL STORM BETA FORTY FIVE NORTH NINETY FIVE WEST PSN\n"
                         "TROPICAL DEPRESSION GAMMA FORTY FIVE NORTH EIGHTY WEST PSN\n"));
  auto page = draw(f, {});
  const Plot q = plain_plot();
  for (const auto& ll : {std::array<float, 2>{30, -80}, {45, -95}, {45, -80}}) {
    const auto at = q.at(ll[0], ll[1]);
    EXPECT_GT(count_in(page, at[0] - 8, at[1] - 8, at[0] + 8, at[1] + 8, "red"), 5) << ll[0] << " " << ll[1];
  }
}

/* ---- hostile bulletins ---- */

TEST(FrontHostile, OversizedAndMalformedBulletinsDrawWhatTheyCan) {
  TempDir dir;
  std::string many_centres = "HIGHS";
  for (int i = 0; i < 300; ++i) many_centres += " 1020 " + std::to_string(30 + i % 20) + std::to_string(100 + i % 40);
  std::string long_front = "COLD WK";
  for (int i = 0; i < 500; ++i) {
    char g[32];
    std::snprintf(g, sizeof g, " %02d%03d", 30 + (i % 20), 80 + i / 20);
    long_front += g;
  }
  std::string long_line = "WARM WK";
  while (long_line.size() < 2000) long_line += " 40090 41085 42080";
  struct Case {
    std::string text;
    const char* warning;
    const char* why;
  };
  const Case cases[] = {
      {bulletin(many_centres + "\n"), "centres beyond the first 200 dropped", "300 centres"},
      {bulletin(long_front + "\n"), "points beyond the first 100 dropped", "500 points"},
      {bulletin(long_line + "\n"), "", "2000-character line"},
      {"HIGHS 1030 40105\nCOLD WK 40100 41099\n", "", "no sections"},
      {bulletin("HIGHS 10X0 4O105 1030\nLOWS\nCOLD\nTROF 99999 00000\nHURRICANE\nTROPICAL\n"), "",
       "letters, bare keywords"},
      {bulletin("COLD WK 40100\n" + std::string(600, '4') + "\n"), "continuation line beyond", "long continuation"},
      {std::string("VALID 030512Z\n\r\n\0\0\0COLD WK 40100 41099\n", 39), "", "NULs and a CR"},
  };
  for (const Case& c : cases) {
    const std::string f = dir.file("b.dat");
    write_file(f, c.text);
    kez_test::ChildResult run;
    draw(f, {{"plot_param", "barb"}}, &run, Date{2024, 3, 5, KEZ_MISS, KEZ_MISS, 12, 0, 0});
    EXPECT_EQ(run.status, 0) << c.why;
    if (*c.warning) {
      EXPECT_NE((run.out + run.err).find(c.warning), std::string::npos) << c.why << run.out;
    }
  }
}

/* The whole front-mode plot: the "time" resource choosing the forecast
 * section, PostScript out. A page has no frames, so of a list of files it
 * shows the last one alone, not every bulletin over the others. */
TEST(FrontPlot, TimeResourceChoosesTheForecastOfTheFileDrawn) {
  const std::string first = fixtures + "24030512_frt.dat", second = fixtures + "24030518_frt.dat";
  const struct {
    std::string files;
    const char* drawn;
    std::vector<const char*> not_drawn;
    const char* why;
  } cases[] = {
      {second + "," + first, "990 48 77\n", {"994 47 87\n"}, "the 24-hour low of the 12 h file, not its analysis low"},
      {first + "," + second, nullptr, {"990 48 77\n", "992 48 84\n"}, "the 18 h file has no 24-hour section"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    const std::string eps = dir.file("plot.eps");
    auto run = run_child([&] {
      RES_put("file_path", KEZ_DATA_DIR);
      RES_put("device", ("p," + eps + ",eps,port,color").c_str());
      RES_put("filename", c.files.c_str());
      RES_put("time", "24");
      MESS_set(1, M_out3);
      Domain d = america();
      return FRT_plot(&d);
    });
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("FRT_plot: 2 files on a device without frames; only the last one is drawn"),
              std::string::npos)
        << run.out;
    if (c.drawn) {
      EXPECT_NE(run.out.find(c.drawn), std::string::npos) << c.why << run.out;
    }
    for (const char* text : c.not_drawn) EXPECT_EQ(run.out.find(text), std::string::npos) << c.why << run.out;
    kez_test::Raster page;
    EXPECT_TRUE(kez_test::gs_render(eps, 612, 792, &page).clean());
    EXPECT_GT(non_white(page), 200);
  }
}

/* The sample bulletin, for the eye (KEZ_KEEP_PLOTS=folder keeps it;
 * KEZ_FRT_FILE=bulletin draws another). */
TEST(FrontPicture, SampleBulletinDrawsEveryKindInItsColour) {
  const char* other = std::getenv("KEZ_FRT_FILE");
  auto page = draw(other ? other : fixtures + "24030512_frt.dat", {{"plot_param", "barb"}});
  if (other) return;
  for (const char* colour : {"blue", "red", "magenta", "brown"}) {
    EXPECT_GT(count_in(page, 0, 0, page.width - 1, page.height - 1, colour), 20) << colour;
  }
}

} // namespace
