/* The analysis tables: exact texts, message levels, risk words, freezing
 * crossings and the pauses. The lines checked here do not depend on the
 * layer and index functions: the record is filled by hand where a line
 * needs a value. Each scenario runs in a child process of its own. */
#include "kez_test.h"
#include "kezupa.h"
#include "sounding_fixtures.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr float M = KEZ_FMISS;
const std::string pause_text = "Press return to continue";

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

bool has_line(const std::string& text, const std::string& line) {
  for (const auto& l : lines_of(text))
    if (l == line) return true;
  return false;
}

size_t count_of(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

/* The lines just before each pause. */
std::vector<std::string> before_pauses(const std::string& text) {
  std::vector<std::string> out;
  auto ls = lines_of(text);
  for (size_t i = 1; i < ls.size(); ++i)
    if (ls[i].rfind(pause_text, 0) == 0) out.push_back(ls[i - 1]);
  return out;
}

/* A sounding of n levels from 1000 hPa falling 15 hPa a level, its surface
 * the first level; the soundings stay alive for the child's life. */
void make_current(int n, int wn) {
  static std::vector<UPA_level> sm(UPA_MAX_LEVELS), wm(UPA_MAX_LEVELS);
  for (int i = 0; i < n; ++i) sm[i] = {1000.0f - 15 * i, 100.0f + 140 * i, 20.0f - i, 10.0f - i, M, M};
  for (int i = 0; i < wn; ++i) wm[i] = {1000.0f - 15 * i, 100.0f + 140 * i, M, M, 200.0f + i, 10.0f + i};
  THERM_set_data(1000, sm.data(), n, wm.data(), wn);
  THERM_calc();
}

const std::string enough_returns(200, '\n');

TEST(LevelTable, PausesEveryPageAndAtTheEnd) {
  struct Case {
    int n;
    std::vector<std::string> labels; /* of the rows before each pause */
    const char* why;
  } cases[] = {
      {45, {" 18", " 40", "WND"}, "rows 18 and 40, then the end"},
      {39, {" 18", "TRP", "WND"}, "sm_num + 1 leaves 18: a pause after the tropopause"},
      {3, {"WND"}, "a short table pauses at its end only"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    auto r = kez_test::run_child(
        [&] {
          make_current(c.n, 1);
          THERM_sig_table();
          return 0;
        },
        enough_returns);
    ASSERT_EQ(r.status, 0) << r.err;
    auto before = before_pauses(r.out);
    ASSERT_EQ(before.size(), c.labels.size()) << r.out;
    for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(before[i].substr(0, 3), c.labels[i]) << before[i];
    auto ls = lines_of(r.out);
    ASSERT_GT(ls.size(), 5u);
    EXPECT_EQ(ls[1].substr(0, 31), "LEV PRES  HGHT  TEMP  DEWP  RH ");
    EXPECT_EQ(ls[4].substr(0, 4), "SFC ") << "the level at the surface pressure";
  }
}

TEST(LevelTable, NoPausesInBatchModeOrWithPagingOff) {
  for (int batch : {1, 0}) {
    auto r = kez_test::run_child([&] {
      if (batch)
        FLAG_set_batch(1);
      else
        MESS_set_page(0);
      MESS_set(0, 0xFFFFF);
      make_current(45, 1);
      THERM_sig_table();
      THERM_indices();
      THERM_wind();
      return 0;
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(count_of(r.out, pause_text), 0u) << r.out;
  }
}

TEST(WindTable, PausesAfterPageRowsWithoutDoubling) {
  struct Case {
    int n;
    size_t pauses;
    const char* why;
  } cases[] = {
      {19, 1, "the row-18 pause is also the last"},
      {20, 2, "row 18, then the end"},
      {5, 1, "the end only"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    auto r = kez_test::run_child(
        [&] {
          MESS_set_str("out3");
          make_current(3, c.n);
          THERM_wind_table();
          return 0;
        },
        enough_returns);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(count_of(r.out, pause_text), c.pauses) << r.out;
    EXPECT_NE(r.out.find("Wind level data"), std::string::npos);
  }
}

TEST(WindTable, StartLevelHidesWindAndStormTables) {
  /* no input: a pause that waited would read end of file, but none may
   * even print */
  auto r = kez_test::run_child([] {
    make_current(3, 25);
    THERM_wind_table();
    THERM_storm_table();
    return 0;
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
}

TEST(Indices, RiskWordsAtTheirThresholds) {
  struct Case {
    float li, si, tt, k, sweat, ei;
    std::vector<std::string> lines;
  } cases[] = {
      {2,
       3,
       44,
       30,
       300,
       0,
       {"Lifted Index:              2.00 C Risk: Showers probable",
        "Showalter Index:           3.00 C Risk: Showers probable",
        "Total Totals Index:       44.00 C Risk: Scattered moderate thunderstorms",
        "K Index:                  30.00   Risk: 60-80 % chance of thunderstorms",
        "Sweat Index:             300.00   Risk: Showers and thunderstorms possible",
        "Energy Index:              0.00   Risk: Scattered severe thunderstorms"}},
      {2.5f,
       -7,
       56,
       35,
       400,
       -2,
       {"Lifted Index:              2.50 C Risk: None",
        "Showalter Index:          -7.00 C Risk: Severe thunderstorms probable",
        "Total Totals Index:       56.00 C Risk: Severe Thunderstorms probable",
        "K Index:                  35.00   Risk: > 80 % chance of thunderstorms",
        "Sweat Index:             400.00   Risk: Severe Thunderstorms possible",
        "Energy Index:             -2.00   Risk: Severe Thunderstorms probable"}},
      {-4,
       -6,
       43.9f,
       14.9f,
       299,
       0.5f,
       {"Lifted Index:             -4.00 C Risk: Severe thunderstorms probable",
        "Showalter Index:          -6.00 C Risk: Severe thunderstorms probable",
        "Total Totals Index:       43.90 C Risk: None", "K Index:                  14.90   Risk: None",
        "Sweat Index:             299.00   Risk: None", "Energy Index:              0.50   Risk: None"}},
      {-1,
       0,
       50,
       19,
       350,
       -1,
       {"Lifted Index:             -1.00 C Risk: Thunderstorms probable",
        "Showalter Index:           0.00 C Risk: Thunderstorms probable",
        "Total Totals Index:       50.00 C Risk: Scattered heavy thunderstorms",
        "K Index:                  19.00   Risk: < 20 % chance of thunderstorms"}},
  };
  for (const auto& c : cases) {
    auto r = kez_test::run_child([&] {
      MESS_set_str("out2");
      MESS_set_page(0);
      make_current(10, 3);
      THERM_values* v = THERM_get_values();
      v->li = c.li;
      v->si = c.si;
      v->tt = c.tt;
      v->k = c.k;
      v->sweat = c.sweat;
      v->ei = c.ei;
      THERM_indices();
      return 0;
    });
    ASSERT_EQ(r.status, 0);
    for (const auto& l : c.lines) EXPECT_TRUE(has_line(r.out, l)) << l << "\n---\n" << r.out;
  }
}

TEST(Indices, MainLinesAloneAtTheirLevel) {
  auto r = kez_test::run_child([] {
    MESS_set_str("out1c");
    MESS_set_page(0);
    make_current(10, 3);
    THERM_values* v = THERM_get_values();
    for (float* f : {&v->li, &v->si, &v->tt, &v->ei}) *f = M;
    v->thick = 5480.5f;
    v->k = 20;
    v->precip = 1.2f;
    v->cap = 1;
    v->sweat = 250;
    THERM_indices();
    return 0;
  });
  EXPECT_EQ(r.out,
            "1000-500 mb thick:      5480.50 m\n"
            "K Index:                  20.00   Risk: 20-40 % chance of thunderstorms\n");
}

TEST(Indices, MissingTotalTotalsHidesItsThreeLines) {
  auto r = kez_test::run_child([] {
    MESS_set_str("out2");
    MESS_set_page(0);
    make_current(10, 3);
    THERM_indices();
    return 0;
  });
  EXPECT_EQ(r.out.find("Totals"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\nSounding variables and indices\n"), std::string::npos);
  EXPECT_NE(r.out.find("\nParcel Indices\nParcel: using 100 mb layer\n"), std::string::npos) << r.out;
}

TEST(Indices, VariableLinesAndParcelSection) {
  auto r = kez_test::run_child([] {
    MESS_set_str("out2");
    MESS_set_page(0);
    RES_put("plot_param", "par:850:12.5:3");
    make_current(10, 3);
    THERM_values* v = THERM_get_values();
    v->wb0 = -1;
    v->precip = 1.25f;
    v->mean_rh = 55;
    v->max_t = 30;
    v->lapse57 = 6.5f;
    v->thetae = {12.5f, 900, 700, M, M, M, M};
    v->ccl = -1;
    v->parcel = {M, 910, M, 1.5f, -1, 250, 150, 900, M, 1500, 25, 54.8f};
    THERM_calc_storm();
    THERM_get_parcel()->p = 850;
    THERM_get_parcel()->t = 12.5f;
    THERM_get_parcel()->td = 3;
    THERM_indices();
    return 0;
  });
  for (const char* l : {
           "Wetbulb zero:        Below ground",
           "Precipitable water:        1.25 inches",
           "Sfc-500 mean rel hum:     55.00 %",
           "Est. max temperature:     30.00 C =   86.00 F",
           "700-500 lapse rate:        6.50 C/km",
           "ThetaE index:             12.50 C Layer  900.0- 700.0 mb",
           "Conv cond level (CCL): None",
           "Parcel: using P: 850 T: 12.5 TD: 3.0",
           "CAPE (B+):              1500.00 J/kg",
           "Max Up Vert Vel:          54.80 m/s",
           "Conv Inhibition (B-):     25.00 J/kg",
           "Cap Strength:              1.50 C",
           "Lev Free Conv (LFC):     none up to 865 mb, the top of the sounding",
           "B at Equ Level:          900.00 J/kg",
       })
    EXPECT_TRUE(has_line(r.out, l)) << l << "\n---\n" << r.out;
  /* heights of levels come from the sounding: 910 hPa is 6 levels up */
  EXPECT_TRUE(has_line(r.out, "Lift Cond Lev (LCL):     910.00 mb =   940.00 m =  3083.95 ft")) << r.out;
  EXPECT_EQ(count_of(r.out, pause_text), 0u);
}

TEST(Indices, CapeOfAnAscentCutShortByTheSoundingSaysSo) {
  /* A sounding that ends at 500 hPa (a balloon burst, a layout that keeps
   * the levels up to 500 hPa) with the parcel still buoyant there: its
   * CAPE is a part of the parcel's, and the tables say so beside it and
   * beside what is formed from it. The whole sounding says nothing. */
  struct Case {
    const char* why;
    size_t levels;
    bool cut;
  };
  const Case cases[] = {{"up to 500 hPa", 11, true}, {"up to 100 hPa", fixtures::kStrong.size(), false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    auto r = kez_test::run_child([&] {
      MESS_set_str("out1,out2,out3");
      MESS_set_page(0);
      std::vector<UPA_level> sm(fixtures::kStrong.begin(), fixtures::kStrong.begin() + c.levels), wm(sm);
      sm.resize(UPA_MAX_LEVELS);
      wm.resize(UPA_MAX_LEVELS);
      const int n = static_cast<int>(c.levels);
      THERM_set_data(sm[0].p, sm.data(), n, wm.data(), n);
      THERM_calc();
      if (!(THERM_get_values()->parcel.Bplus > 0)) return 2;
      THERM_indices();
      THERM_wind();
      return 0;
    });
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string cape = "  counted up to 500 mb only: the parcel is still buoyant at the top of the sounding";
    const std::string from =
        "  from the CAPE up to 500 mb only: the parcel is still buoyant at the top of the sounding";
    EXPECT_EQ(has_line(r.out, cape), c.cut) << r.out;
    EXPECT_EQ(has_line(r.out, from), c.cut) << r.out;
    EXPECT_EQ(r.out.find("still buoyant") != std::string::npos, c.cut) << r.out;
  }
}

TEST(Indices, FreezingLevelCrossings) {
  struct Case {
    std::vector<UPA_level> sm;
    std::vector<std::string> lines;
    bool below;
    const char* why;
  } cases[] = {
      {{{1000, 100, 10, 0, M, M}, {800, 2000, 5, 0, M, M}, {700, 3000, -5, -10, M, M}, {500, 5500, -20, -30, M, M}},
       {"Freezing level:          750.00 mb =  2500.00 m =  8202.00 ft"},
       false,
       "one crossing, height halfway"},
      {{{1000, 100, -2, -5, M, M},
        {850, 1500, 3, 0, M, M},
        {800, 2000, M, M, M, M},
        {750, 2500, -1, -5, M, M},
        {500, 5500, -20, -30, M, M}},
       {"Freezing level:      Surface below freezing", "Freezing level:          940.00 mb =   660.00 m =  2165.33 ft",
        "Freezing level:          775.00 mb =  2250.00 m =  7381.80 ft"},
       true,
       "a warm layer aloft: two crossings, the level without temperature passed over"},
      {{{1000, 100, 10, 0, M, M}, {800, M, 5, 0, M, M}, {700, 3000, -5, -10, M, M}},
       {"Freezing level:          750.00 mb = -9999.00 m = -9999.00 ft"},
       false,
       "next to a level without height the height is missing"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    auto r = kez_test::run_child([&] {
      MESS_set_str("out1");
      MESS_set_page(0);
      auto sm = c.sm;
      sm.resize(UPA_MAX_LEVELS);
      THERM_set_data(1000, sm.data(), static_cast<int>(c.sm.size()), nullptr, 0);
      THERM_indices();
      return 0;
    });
    std::vector<std::string> got;
    for (const auto& l : lines_of(r.out))
      if (l.rfind("Freezing level:", 0) == 0) got.push_back(l);
    EXPECT_EQ(got, c.lines) << r.out;
  }
}

TEST(WindParameters, LinesOfTheRecord) {
  auto r = kez_test::run_child([] {
    MESS_set_str("out2");
    MESS_set_page(0);
    make_current(3, 3);
    WIND storm{250, 22.5f};
    THERM_set_storm(&storm);
    THERM_values* v = THERM_get_values();
    v->shear = {0.004f, -0.001f};
    v->helicity = {35, 180, -20, 160, 0.0533f, 0.75f, 0.0061f, M};
    v->ehi = 1.5f;
    v->brn = 25;
    v->bshear = 14.2f;
    THERM_wind();
    return 0;
  });
  EXPECT_EQ(r.out,
            "\nWind Parameters\n"
            /* the three winds (100 to 380 m) are all the mean has below 6000 m */
            "Mean winds (0-6000m):            201.0 at   11.0 knts\n"
            "Storm direction:                 250.0 at   22.5 knts\n"
            "Shear (0-3000m)              pos:    4.0 neg:   -1.0 tot:    3.0 10-3/s\n"
            "Storm rel Dir Shear (0-3000m):      35.0 deg\n"
            "Storm rel helicity (0-3000m) pos:  180.0 neg:  -20.0 tot:  160.0 m^2/s^2\n"
            "                             ave:   53.3 10^-3 m/s^2 rel:   0.75\n"
            "Storm rel vorticity (0-3000m) horiz:    6.1 stream: -9999.0 10^-3/s\n"
            "Energy-Hel index:          1.50\n"
            "Bulk Rich Number:         25.00\n"
            "Bulk Shear:               14.20 m/s\n");
}

TEST(StormTable, HeadAndOneRowPerDepth) {
  auto r = kez_test::run_child([] {
    MESS_set_str("out3");
    MESS_set_page(0);
    make_current(3, 3);
    THERM_storm_table();
    return 0;
  });
  auto ls = lines_of(r.out);
  ASSERT_EQ(ls.size(), 16u) << r.out;
  const std::string dashes(79, '-');
  EXPECT_EQ(ls[0], "");
  EXPECT_EQ(ls[1], "Storm Parameters");
  EXPECT_EQ(ls[2], dashes);
  EXPECT_EQ(ls[3], "Depth  Mean    Inflow|    Shear      |           Helicity           | Vorticity");
  EXPECT_EQ(ls[4], " AGL  Dir Spd Dir Spd|  Pos  Neg  Tot|  Pos   Neg   Tot   Ave   Rel |  Hor Strm");
  EXPECT_EQ(ls[5], "  m       knt     knt|     10^-3/s   |       m^2/s^2     m/s^2      | 10^-3/s");
  EXPECT_EQ(ls[6], dashes);
  const char* depths[] = {" 500", "1000", "1500", "2000", "2500", "3000", "4000", "5000", "6000"};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(ls[7 + i].substr(0, 6), std::string(depths[i]) + "  ");
}

TEST(StormTable, MissingStormMotionShowsMissingInflow) {
  auto r = kez_test::run_child([] {
    MESS_set_str("out3");
    MESS_set_page(0);
    make_current(3, 30);
    WIND none{M, M};
    THERM_set_storm(&none);
    THERM_storm_table();
    return 0;
  });
  auto ls = lines_of(r.out);
  ASSERT_GE(ls.size(), 8u) << r.out;
  EXPECT_NE(ls[7].find("-9999 -9999| "), std::string::npos) << ls[7];
  EXPECT_EQ(ls[7].find("NO DATA"), std::string::npos) << ls[7];
}

} // namespace
