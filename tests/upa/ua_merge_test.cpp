/* Soundings woven from report levels: whole level arrays and index tables
 * written out for each case. */
#include "kez_test.h"
#include "kezupa.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr float M = KEZ_FMISS;
constexpr int X = KEZ_MISS;

std::unique_ptr<UPA_report> blank() {
  auto r = std::make_unique<UPA_report>();
  UPA_initialize(r.get());
  r->numman = 1;
  return r;
}

struct Run {
  std::vector<UPA_level> lev;
  std::array<int, UPA_NUM_MAN> ind;
};

template <class F>
Run run(F merge, const UPA_report& r) {
  std::array<UPA_level, UPA_MAX_LEVELS> out{};
  Run res;
  res.ind.fill(12345);
  int n = merge(&r, out.data(), res.ind.data());
  res.lev.assign(out.begin(), out.begin() + n);
  return res;
}

void expect_levels(const std::vector<UPA_level>& got, const std::vector<UPA_level>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_NEAR(got[i].p, want[i].p, 0.01);
    EXPECT_NEAR(got[i].h, want[i].h, 0.05);
    EXPECT_NEAR(got[i].t, want[i].t, 0.01);
    EXPECT_NEAR(got[i].td, want[i].td, 0.01);
    EXPECT_EQ(got[i].dir, want[i].dir);
    EXPECT_EQ(got[i].spd, want[i].spd);
  }
}

/* Table entries 0 to 23 given as (slot, index) pairs; all others -9999. */
void expect_index(const std::array<int, UPA_NUM_MAN>& got, std::initializer_list<std::pair<int, int>> want) {
  std::array<int, UPA_NUM_MAN> exp;
  exp.fill(X);
  exp[24] = 12345; /* never written */
  for (auto [k, v] : want) exp[k] = v;
  for (int k = 0; k < UPA_NUM_MAN; ++k) EXPECT_EQ(got[k], exp[k]) << "slot " << k;
}

/* Temperature at p (hPa) on the dry adiabat of theta (K), in degrees C. */
float t_theta(float theta, float p) { return temp_on_dryad(theta, p) - 273.15f; }

TEST(UpaSmMerge, SurfaceAppearsOnceAndSignificantLevelsSitBetweenSlots) {
  auto r = blank();
  r->man[0] = {1010, 100, 20, 10, 180, 5};
  r->man[1] = {1000, 180, 19, 9, 190, 10};
  r->man[3] = {850, 1500, 12, 5, 250, 20};
  r->numsig = 2;
  r->sig[0] = {1010, 20, 10};
  r->sig[1] = {900, 15, 8};
  auto res = run(UPA_sm_merge, *r);
  expect_levels(
      res.lev,
      {{1010, 100, 20, 10, 180, 5}, {1000, 180, 19, 9, 190, 10}, {900, M, 15, 8, M, M}, {850, 1500, 12, 5, 250, 20}});
  expect_index(res.ind, {{0, 0}, {1, 1}, {3, 3}});
  EXPECT_EQ(UPA_sfc_pres(res.lev.data(), res.ind.data()), 1010);

  /* Without significant levels: the surface, then the slots above it. */
  r->numsig = 0;
  res = run(UPA_sm_merge, *r);
  expect_levels(res.lev, {{1010, 100, 20, 10, 180, 5}, {1000, 180, 19, 9, 190, 10}, {850, 1500, 12, 5, 250, 20}});
  expect_index(res.ind, {{0, 0}, {1, 1}, {3, 2}});
}

TEST(UpaSmMerge, HighStationSharesItsLevelWithTheSlotAtItsPressure) {
  auto r = blank();
  r->man[0] = {850, 1500, 12, 5, 200, 8};
  r->man[1] = {1000, 110, M, M, M, M};
  r->man[2] = {925, 780, M, M, M, M};
  r->man[3] = {850, 1500, 12.5f, 6, 210, 9};
  r->man[4] = {700, 3050, 4, -2, 250, 20};
  auto res = run(UPA_sm_merge, *r);
  expect_levels(
      res.lev,
      {{1000, 110, M, M, M, M}, {925, 780, M, M, M, M}, {850, 1500, 12, 5, 200, 8}, {700, 3050, 4, -2, 250, 20}});
  expect_index(res.ind, {{0, 2}, {1, 0}, {2, 1}, {3, 2}, {4, 3}});
}

TEST(UpaSmMerge, SurfaceSlotWithoutPressure) {
  auto r = blank();
  r->man[0] = {M, 50, M, M, M, M};
  r->man[1] = {1000, 110, 19, 9, 190, 10};
  r->numsig = 2;
  r->sig[0] = {1013, 20, 10};
  r->sig[1] = {900, 15, 8};
  auto res = run(UPA_sm_merge, *r);
  expect_levels(res.lev, {{1013, 50, 20, 10, M, M}, {1000, 110, 19, 9, 190, 10}, {900, M, 15, 8, M, M}});
  expect_index(res.ind, {{1, 1}});
  EXPECT_EQ(UPA_sfc_pres(res.lev.data(), res.ind.data()), 1000);

  /* A first significant level above every slot and below 600 hPa becomes
   * the surface. */
  r->sig[0] = {950, 17, 9};
  res = run(UPA_sm_merge, *r);
  expect_levels(res.lev, {{1000, 110, 19, 9, 190, 10}, {950, 50, 17, 9, M, M}, {900, M, 15, 8, M, M}});
  expect_index(res.ind, {{0, 1}, {1, 0}});
}

TEST(UpaSmMerge, StabilityTestDropsColdLevelsAndShiftsTheTable) {
  auto r = blank();
  r->man[0] = {1000, 100, 20, 10, 180, 5};
  r->man[1] = {1000, 100, 20, 10, 180, 5};
  r->man[3] = {850, 1500, M, M, 250, 20}; /* no temperature above one with */
  r->man[4] = {700, 3050, t_theta(300, 700), -20, 260, 25};
  r->numsig = 4;
  r->sig[0] = {1000, 20, 10};
  r->sig[1] = {950, t_theta(293.15f, 950), 5};
  r->sig[2] = {900, t_theta(293.15f - 3.5f, 900), 0}; /* 3.5 K colder: dropped */
  r->sig[3] = {800, t_theta(293.15f - 2.5f, 800), 0}; /* 2.5 K colder: kept */
  auto res = run(UPA_sm_merge, *r);
  expect_levels(res.lev, {{1000, 100, 20, 10, 180, 5},
                          {950, M, t_theta(293.15f, 950), 5, M, M},
                          {800, M, t_theta(290.65f, 800), 0, M, M},
                          {700, 3050, t_theta(300, 700), -20, 260, 25}});
  expect_index(res.ind, {{0, 0}, {1, 0}, {4, 3}});
}

TEST(UpaSmMerge, HotGroundKeepsTheMixedLayerAboveIt) {
  /* Desert afternoon: the screen 4 K warmer in potential temperature
   * than the deep mixed layer above; the layer is data, not error. A cold
   * level within it is still dropped. */
  auto r = blank();
  r->man[0] = {950, 550, t_theta(322, 950), -2, 200, 10};
  r->man[3] = {850, 1560, t_theta(318, 850), -6, 220, 20};
  r->man[4] = {700, 3240, t_theta(318.5f, 700), -9, 230, 25};
  r->numsig = 4;
  r->sig[0] = {950, t_theta(322, 950), -2};
  r->sig[1] = {925, t_theta(318, 925), -4};
  r->sig[2] = {800, t_theta(314.5f, 800), -7}; /* 3.5 K colder than 850 hPa: dropped */
  r->sig[3] = {600, t_theta(319.5f, 600), -12};
  auto res = run(UPA_sm_merge, *r);
  expect_levels(res.lev, {{950, 550, t_theta(322, 950), -2, 200, 10},
                          {925, M, t_theta(318, 925), -4, M, M},
                          {850, 1560, t_theta(318, 850), -6, 220, 20},
                          {700, 3240, t_theta(318.5f, 700), -9, 230, 25},
                          {600, M, t_theta(319.5f, 600), -12, M, M}});
  expect_index(res.ind, {{0, 0}, {3, 2}, {4, 3}});
}

TEST(UpaMerge, LevelsOutOfOrderAreWovenInByPressureAndHeight) {
  /* Parts of a report decoded out of order: the significant levels and
   * the winds in a shuffled order give the sounding of the ordered report. */
  auto r = blank();
  r->man[0] = {1000, 100, 20, 10, 180, 5};
  r->man[3] = {850, 1500, 12, 5, 250, 20};
  r->numsig = 4;
  r->sig[0] = {1000, 20, 10};
  r->sig[1] = {700, 2, -10};
  r->sig[2] = {900, 15, 8};
  r->sig[3] = {950, 17, 9};
  r->numwnd = 4;
  r->wnd[0] = {0, 180, 5};
  r->wnd[1] = {9000, 260, 30};
  r->wnd[2] = {3000, 230, 15};
  r->wnd[3] = {2000, 220, 10};
  auto sorted = blank();
  *sorted = *r;
  sorted->sig[1] = r->sig[3];
  sorted->sig[2] = r->sig[2];
  sorted->sig[3] = r->sig[1];
  sorted->wnd[1] = r->wnd[3];
  sorted->wnd[2] = r->wnd[2];
  sorted->wnd[3] = r->wnd[1];
  for (auto merge : {UPA_sm_merge, UPA_wm_merge}) {
    auto got = run(merge, *r), want = run(merge, *sorted);
    expect_levels(got.lev, want.lev);
    EXPECT_EQ(got.ind, want.ind);
  }
  auto res = run(UPA_sm_merge, *r);
  ASSERT_EQ(res.lev.size(), 5u);
  for (size_t i = 1; i < res.lev.size(); ++i) EXPECT_LT(res.lev[i].p, res.lev[i - 1].p) << i;
  res = run(UPA_wm_merge, *r);
  for (size_t i = 1; i < res.lev.size(); ++i) EXPECT_GT(res.lev[i].h, res.lev[i - 1].h) << i;
}

TEST(UpaSmMerge, TropopauseAndMaximumWindSlotIn) {
  auto r = blank();
  r->man[0] = {1000, 100, 20, 10, 180, 5};
  r->man[1] = {1000, 100, 20, 10, 180, 5};
  r->man[5] = {500, 5600, -10, -20, 250, 30};
  r->man[6] = {400, 7200, -20, -30, 260, 40};
  r->man[8] = {250, 10400, -45, -55, 270, 60};
  r->numsig = 1;
  r->sig[0] = {300, -35, -45};
  /* At a significant level's pressure: its values, the level's height. */
  r->man[22] = {300, 9100, -36, -46, 265, 50};
  /* Between 400 and 300 hPa: temperature and dew point from those two. */
  r->man[23] = {350, 8100, 99, 99, 262, 70};
  auto res = run(UPA_sm_merge, *r);
  float t350 = interp_temp(-20, -36, 400, 300, 350), td350 = interp_temp(-30, -46, 400, 300, 350);
  expect_levels(res.lev, {{1000, 100, 20, 10, 180, 5},
                          {500, 5600, -10, -20, 250, 30},
                          {400, 7200, -20, -30, 260, 40},
                          {350, M, t350, td350, 262, 70},
                          {300, M, -36, -46, 265, 50},
                          {250, 10400, -45, -55, 270, 60}});
  expect_index(res.ind, {{0, 0}, {1, 0}, {5, 1}, {6, 2}, {8, 5}, {22, 4}, {23, 3}});

  /* Above the top: absent. Below every level: no level below to take the
   * temperature from, so it stays missing. */
  r->man[22].p = 100;
  r->man[23] = {1010, M, 99, 99, 170, 10};
  res = run(UPA_sm_merge, *r);
  ASSERT_EQ(res.lev.size(), 6u);
  EXPECT_EQ(res.ind[22], X);
  EXPECT_EQ(res.ind[23], 0);
  expect_levels({res.lev[0]}, {{1010, M, M, M, 170, 10}});
  EXPECT_EQ(res.ind[0], 1);
}

TEST(UpaSmMerge, ReportWithoutMandatoryLevels) {
  auto r = blank();
  r->numman = 0;
  r->man[0].h = 1600;
  r->numsig = 2;
  r->sig[0] = {840, 10, 5};
  r->sig[1] = {700, 2, -4};
  auto res = run(UPA_sm_merge, *r);
  expect_levels(res.lev, {{840, 1600, 10, 5, M, M}, {700, M, 2, -4, M, M}});
  expect_index(res.ind, {});
}

std::unique_ptr<UPA_report> wind_report() {
  auto r = blank();
  r->man[0] = {980, 300, 20, 10, 180, 5};
  r->man[1] = {1000, 100, 21, 11, 200, 6}; /* below the ground */
  r->man[3] = {850, M, 12, 5, 250, 20};    /* standard-atmosphere height */
  r->man[22] = {250, 10400, -55, M, 280, 50};
  r->man[23] = {300, M, -40, M, 290, 90}; /* no height: left out */
  r->numsig = 1;
  r->sig[0] = {980, 20, 10};
  r->numwnd = 5;
  r->wnd[0] = {0, 170, 4};      /* the surface wind */
  r->wnd[1] = {1000, 190, 8};   /* 304.8 m */
  r->wnd[2] = {2000, M, 9};     /* no direction */
  r->wnd[3] = {3000, 230, 12};  /* 914.4 m */
  r->wnd[4] = {40000, 260, 30}; /* 12192 m */
  return r;
}

TEST(UpaWmMerge, WindSoundingByRisingHeight) {
  auto r = wind_report();
  auto res = run(UPA_wm_merge, *r);
  expect_levels(res.lev, {{980, 300, 20, 10, 180, 5},
                          {M, 304.8f, M, M, 190, 8},
                          {M, 914.4f, M, M, 230, 12},
                          {850, 1457.3f, 12, 5, 250, 20},
                          {250, 10400, -55, M, 280, 50},
                          {M, 12192, M, M, 260, 30}});
  expect_index(res.ind, {{0, 0}, {3, 3}, {22, 4}});
}

TEST(UpaWmMerge, WindsWithoutMandatoryLevelsStartAtTheStation) {
  auto r = wind_report();
  r->numman = 0;
  r->man[0].h = 1600;
  r->numwnd = 2;
  auto res = run(UPA_wm_merge, *r);
  expect_levels(res.lev, {{M, 1600, M, M, 170, 4}, {M, 304.8f, M, M, 190, 8}});
  expect_index(res.ind, {});
}

TEST(UpaWmMerge, WindsOnHeightsOnlyStartAtTheSurface) {
  /* A report whose slots carry no wind (its winds all on heights): the
   * surface wind of the list is the surface level's, at the station, not
   * a level at 0 m under the ground. */
  auto r = wind_report();
  for (int k : {0, 1, 3, 23}) r->man[k].dir = r->man[k].spd = M;
  auto res = run(UPA_wm_merge, *r);
  expect_levels(res.lev, {{980, 300, 20, 10, 170, 4},
                          {M, 304.8f, M, M, 190, 8},
                          {M, 914.4f, M, M, 230, 12},
                          {250, 10400, -55, M, 280, 50},
                          {M, 12192, M, M, 260, 30}});
  EXPECT_EQ(res.ind[0], 0);
}

TEST(UpaWmMerge, TracesEachStep) {
  auto r = wind_report();
  auto out = kez_test::run_child([&] {
    MESS_set(1, M_debug_d);
    run(UPA_wm_merge, *r);
    return 0;
  });
  /* Every slot that gives no level is traced, the empty ones too. */
  std::string gaps;
  for (int k = 4; k <= 21; ++k) gaps += "bad mand: " + std::to_string(k) + " = -9999\n";
  EXPECT_EQ(out.out,
            "SFC: 980\n"
            "HM: 0 = 300 180 5\n"
            "bad mand: 1 = 1000\n"
            "bad mand: 2 = -9999\n"
            "HW: 1 = 305 190 8\n"
            "HW: 2 = 610 -9999 9\n"
            "HW: 2 = 914 230 12\n"
            "HM: 3 = 1457 250 20\n" +
                gaps + "HW+ 4 = 12192 260 30\n")
      << out.err;
}

TEST(UpaSwMerge, SlotsKeepTheirReportedHeights) {
  auto r = wind_report();
  r->numsig = 0;
  /* The first significant level's pressure is missing: the surface
   * pressure is that of the first slot with a temperature. */
  auto res = run(UPA_sw_merge, *r);
  expect_levels(res.lev, {{980, 300, 20, 10, 180, 5},
                          {850, M, 12, 5, 250, 20},
                          {M, 304.8f, M, M, 190, 8},
                          {M, 914.4f, M, M, 230, 12},
                          {M, 12192, M, M, 260, 30}});
  EXPECT_EQ(res.ind[0], 0);
  EXPECT_EQ(res.ind[1], X);
  EXPECT_EQ(res.ind[3], 1);
  EXPECT_EQ(res.ind[22], 12345); /* not written */
}

TEST(UpaMergeArray, PressureListsInterleave) {
  std::vector<UPA_level> a{{1000, 100, 20, M, M, M}, {850, M, 10, 5, M, M}, {700, 3000, 0, M, M, M}};
  std::vector<UPA_level> b{{925, 800, 15, M, M, M}, {850, 1500, 99, 99, 250, 20}, {600, M, -5, M, M, M}};
  std::vector<UPA_level> out(6);
  int n = UPA_merge_array(a.data(), 3, b.data(), 3, out.data());
  out.resize(n);
  expect_levels(
      out, {{1000, 100, 20, M, M, M}, {925, 800, 15, M, M, M}, {850, 1500, 10, 5, 250, 20}, {700, 3000, 0, M, M, M}});
}

TEST(UpaMergeArray, WindListsInterleaveByHeight) {
  std::vector<UPA_level> a{
      {M, 100, M, M, 180, 5}, {M, 500, M, M, M, 9}, {M, 900, M, M, 200, 10}, {M, 1500, M, M, 220, 15}};
  std::vector<UPA_level> b{{M, 300, M, M, 190, 7},
                           {M, 400, M, M, M, 8},
                           {M, 900, M, M, 99, 99},
                           {M, 1500, M, M, M, 1},
                           {M, 2000, M, M, 250, 20}};
  std::vector<UPA_level> out(9);
  int n = UPA_wnd_merge_array(a.data(), 4, b.data(), 5, out.data());
  out.resize(n);
  expect_levels(out, {{M, 100, M, M, 180, 5}, {M, 300, M, M, 190, 7}, {M, 900, M, M, 200, 10}});
}

} // namespace
