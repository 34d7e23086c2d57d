/* A report becomes the current sounding: location from the station
 * database, winds on the temperature levels, surface, mean wind and storm
 * motion. The analysis state is process-wide, so each scenario runs in a
 * child process of its own. */
#include "kez_test.h"
#include "kezcont.h"
#include "kezupa.h"
#include "sounding_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr float M = KEZ_FMISS;
const std::string data_dir = std::string(KEZ_SOURCE_DIR) + "/tests/upa/data/";

void expect_missing(const UPA_level* l) {
  ASSERT_NE(l, nullptr);
  for (float v : {l->p, l->h, l->t, l->td, l->dir, l->spd}) EXPECT_EQ(v, M);
}

int verdict() { return ::testing::Test::HasFailure() ? 1 : 0; }

/* A report of the fixture file, with "upa.cty" of the fixtures at hand. */
std::unique_ptr<UPA_report> fixture_report(const char* id) {
  RES_put("file_path", data_dir.c_str());
  auto r = std::make_unique<UPA_report>();
  UPA_initialize(r.get());
  EXPECT_EQ(UPA_open_file((data_dir + "open.txt").c_str()), 1);
  EXPECT_EQ(UPA_get_station(id, r.get()), 1) << id;
  return r;
}

/* A wind sounding of one wind at every height up to 8 km. */
std::vector<UPA_level> steady_wind(float dir, float spd) {
  std::vector<UPA_level> wm(UPA_MAX_LEVELS);
  const float p[] = {1000, 900, 800, 700, 600, 500, 400, 350};
  const float h[] = {100, 990, 1950, 3010, 4200, 5570, 7180, 8110};
  for (int i = 0; i < 8; ++i) wm[i] = {p[i], h[i], M, M, dir, spd};
  return wm;
}

std::vector<UPA_level> plain_temps() {
  std::vector<UPA_level> sm(UPA_MAX_LEVELS);
  sm[0] = {1000, 100, 20, 10, M, M};
  sm[1] = {850, 1500, 12, 5, M, M};
  sm[2] = {700, 3000, 2, -8, M, M};
  sm[3] = {500, 5600, -15, -30, M, M};
  return sm;
}

TEST(MergeReport, MissingElevationComesFromStationDatabase) {
  auto r = kez_test::run_child([] {
    auto rep = fixture_report("GHI");
    EXPECT_EQ(rep->elev, M) << "the text layout carries no elevation";
    EXPECT_EQ(UPA_merge_report(rep.get()), 1);
    EXPECT_EQ(rep->elev, 287);
    EXPECT_EQ(rep->wmo, 72649);
    EXPECT_FLOAT_EQ(rep->lat, 44.85f);
    EXPECT_FLOAT_EQ(rep->lon, -93.57f);
    EXPECT_EQ(rep->man[UPA_SLOT_SFC].h, 287) << "the surface slot's height is the elevation";
    if (THERM_get_SM_num() <= 3) return 2;
    const UPA_level* sm = THERM_get_SM();
    EXPECT_EQ(THERM_get_sfc()->p, 965) << "the report's surface pressure";
    EXPECT_EQ(THERM_get_sfc()->h, 287);
    for (int i = 1; i < THERM_get_SM_num(); ++i) {
      if (sm[i].p >= 100) {
        EXPECT_NE(sm[i].h, M) << "level " << i << " got its height";
      }
    }
    EXPECT_GT(THERM_get_WM_num(), 0);
    EXPECT_EQ(THERM_get_trop()->p, 250) << "slot 22 became the tropopause";
    EXPECT_EQ(THERM_get_mwnd()->p, 200) << "slot 23 became the maximum wind";
    return verdict();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(MergeReport, KnownElevationIsNeverLookedUp) {
  auto r = kez_test::run_child([] {
    auto rep = fixture_report("GHI");
    rep->elev = 300;
    EXPECT_EQ(UPA_merge_report(rep.get()), 1);
    EXPECT_EQ(rep->lat, M) << "location stays the report's own, missing as it is";
    EXPECT_EQ(rep->lon, M);
    EXPECT_EQ(rep->elev, 300);
    return verdict();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out.find("Searching the city database"), std::string::npos) << r.out;
}

TEST(MergeReport, StationFoundByItsWmoNumber) {
  auto r = kez_test::run_child([] {
    /* An identifier the table does not know, a WMO number it does. */
    auto rep = fixture_report("GHI");
    std::snprintf(rep->id, sizeof rep->id, "ZZZ");
    rep->wmo = 72558;
    EXPECT_EQ(UPA_merge_report(rep.get()), 1);
    EXPECT_EQ(rep->elev, 350);
    EXPECT_FLOAT_EQ(rep->lat, 41.32f);
    /* What the table lacks (an elevation here) the report keeps. */
    rep = fixture_report("GHI");
    std::snprintf(rep->id, sizeof rep->id, "QHL");
    rep->wmo = 12345;
    EXPECT_EQ(UPA_merge_report(rep.get()), 1);
    EXPECT_EQ(rep->wmo, 72662);
    EXPECT_FLOAT_EQ(rep->lat, 44.07f);
    EXPECT_EQ(rep->elev, M);
    return verdict();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(MergeReport, UnknownStationKeepsItsOwnLocation) {
  auto r = kez_test::run_child([] {
    auto rep = fixture_report("GHI");
    std::snprintf(rep->id, sizeof rep->id, "ZZZ");
    rep->lat = 10;
    EXPECT_EQ(UPA_merge_report(rep.get()), 1);
    EXPECT_EQ(rep->lat, 10);
    EXPECT_EQ(rep->elev, M);
    return verdict();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

/* The report of a fixture sounding: the mandatory levels, every level as
 * a significant one, and the winds of whole thousands of feet above sea
 * level (linear in u and v between the levels) with the surface wind. */
std::unique_ptr<UPA_report> report_of(const std::vector<UPA_level>& s) {
  auto r = std::make_unique<UPA_report>();
  UPA_initialize(r.get());
  std::snprintf(r->id, sizeof r->id, "ZZZ");
  r->elev = s[0].h;
  r->numman = UPA_NUM_MAN;
  r->man[UPA_SLOT_SFC] = s[0];
  for (const UPA_level& l : s) {
    if (UPA_mandatory(l.p) > 0) r->man[UPA_mandatory(l.p)] = l;
    r->sig[r->numsig++] = {l.p, l.t, l.td};
  }
  r->wnd[r->numwnd++] = {0, s[0].dir, s[0].spd};
  for (float ft = 2000; r->numwnd < UPA_NUM_WND; ft += 1000) {
    const float h = ft / UPA_M_TO_FT;
    size_t k = 1;
    while (k < s.size() && s[k].h < h) ++k;
    if (k >= s.size()) break;
    float u1, v1, u2, v2, dir, spd;
    wind2vect(s[k - 1].dir, s[k - 1].spd, &u1, &v1);
    wind2vect(s[k].dir, s[k].spd, &u2, &v2);
    const float f = (h - s[k - 1].h) / (s[k].h - s[k - 1].h);
    vect2wind(u1 + (u2 - u1) * f, v1 + (v2 - v1) * f, &dir, &spd);
    r->wnd[r->numwnd++] = {ft, dir, spd};
  }
  return r;
}

TEST(MergeReport, WindsOnHeightsOnlyGiveTheWindIndices) {
  /* A report whose levels carry no winds, its winds all on heights (as a
   * pilot balloon gives them): the wind levels take their pressures from
   * the temperature sounding, so the temperature levels get winds and
   * the storm motion, helicity, SWEAT and bulk Richardson number come as
   * from the report with winds at its levels too. */
  auto r = kez_test::run_child([] {
    MESS_set_str("warn");
    const auto& s = fixtures::kStrong;
    struct Got {
      WIND storm;
      float hel, sweat, brn;
    } got[2];
    for (int heights_only = 0; heights_only < 2; ++heights_only) {
      auto rep = report_of(s);
      if (heights_only)
        for (UPA_level& l : rep->man) l.dir = l.spd = M;
      EXPECT_EQ(UPA_merge_report(rep.get()), 1);
      const UPA_level* wm = THERM_get_WM();
      EXPECT_EQ(wm[0].h, s[0].h) << "the surface wind at the station";
      EXPECT_EQ(wm[0].p, s[0].p);
      for (int i = 0; i < THERM_get_WM_num(); ++i) EXPECT_GT(wm[i].p, 0) << i;
      THERM_calc();
      const THERM_values& v = *THERM_get_values();
      got[heights_only] = {THERM_get_storm(), v.helicity.tot_hel, v.sweat, v.brn};
    }
    EXPECT_NE(got[1].storm.dir, M);
    EXPECT_NEAR(got[1].storm.dir, got[0].storm.dir, 1);
    EXPECT_NEAR(got[1].storm.spd, got[0].storm.spd, 0.5);
    EXPECT_NEAR(got[1].hel, got[0].hel, 0.03 * std::fabs(got[0].hel));
    EXPECT_NEAR(got[1].sweat, got[0].sweat, 10);
    EXPECT_NEAR(got[1].brn, got[0].brn, 0.03 * got[0].brn);
    return verdict();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(MergeReport, ReportWithoutTemperatureLeavesNoSoundingCurrent) {
  auto r = kez_test::run_child([] {
    auto good = fixture_report("GHI");
    if (UPA_merge_report(good.get()) != 1) return 2;
    THERM_set_id("GHI", 72649);
    THERM_calc();
    WIND storm{250, 30};
    THERM_set_storm(&storm);

    auto winds = std::make_unique<UPA_report>();
    UPA_initialize(winds.get());
    std::snprintf(winds->id, sizeof winds->id, "WND");
    winds->elev = 200;
    winds->numwnd = 2;
    winds->wnd[0] = {0, 270, 15};
    winds->wnd[1] = {1000, 280, 20};
    EXPECT_EQ(UPA_merge_report(winds.get()), 0);
    EXPECT_EQ(THERM_get_SM_num(), 0);
    EXPECT_EQ(THERM_get_WM_num(), 0);
    expect_missing(THERM_get_sfc());
    expect_missing(THERM_get_trop());
    expect_missing(THERM_get_mwnd());
    EXPECT_EQ(THERM_get_storm().dir, M);
    EXPECT_EQ(THERM_get_storm().spd, M);
    EXPECT_EQ(THERM_get_wmo(), KEZ_MISS);
    EXPECT_EQ(THERM_get_values()->thick, M);
    EXPECT_EQ(THERM_get_values()->li, M);
    return verdict();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(MergeReport, AllMissingStationGivesNoSounding) {
  auto r = kez_test::run_child([] {
    auto rep = fixture_report("JKL");
    EXPECT_EQ(UPA_merge_report(rep.get()), 0);
    EXPECT_EQ(rep->elev, 350) << "the location was still looked up";
    EXPECT_EQ(THERM_get_SM_num(), 0);
    return verdict();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(CalcWind, TemperatureLevelsTakeMissingWindsOnly) {
  std::vector<UPA_level> wm = {{1000, 100, M, M, 180, 10}, {850, 1500, M, M, 220, 30}, {700, 3000, M, M, M, M}};
  std::vector<UPA_level> sm = {
      {1000, 100, 20, 10, M, M},   /* takes the wind sounding's wind */
      {925, 800, 15, 8, 200, M},   /* a direction without speed stays so */
      {850, 1500, 10, 2, 90, 5},   /* a wind of its own stays */
      {700, 3000, 0, -10, M, 12},  /* no wind there: both become missing */
      {300, 9000, -40, -50, M, M}, /* above the wind sounding */
  };
  EXPECT_EQ(UPA_calc_wind(sm.data(), static_cast<int>(sm.size()), wm.data(), static_cast<int>(wm.size())), 0);
  EXPECT_EQ(sm[0].dir, 180);
  EXPECT_EQ(sm[0].spd, 10);
  EXPECT_EQ(sm[1].dir, 200);
  EXPECT_EQ(sm[1].spd, M);
  EXPECT_EQ(sm[2].dir, 90);
  EXPECT_EQ(sm[2].spd, 5);
  EXPECT_EQ(sm[3].dir, M);
  EXPECT_EQ(sm[3].spd, M);
  EXPECT_EQ(sm[4].dir, M);
  /* nothing to take from */
  std::vector<UPA_level> lone = {{1000, 100, 20, 10, M, 7}};
  EXPECT_EQ(UPA_calc_wind(lone.data(), 1, nullptr, 0), 0);
  EXPECT_EQ(lone[0].spd, M);
}

TEST(SetData, SurfaceFromSoundingAndRecordReset) {
  auto r = kez_test::run_child([] {
    auto sm = plain_temps();
    auto wm = steady_wind(M, M);
    THERM_values* v = THERM_get_values();
    v->frz = 5;
    v->thick = 5;
    v->k = 5;
    v->lat = 5;
    THERM_set_id("OLD", 1);
    THERM_set_data(850, sm.data(), 4, wm.data(), 8);
    const UPA_level* s = THERM_get_sfc();
    EXPECT_EQ(s->p, 850);
    EXPECT_EQ(s->t, 12);
    EXPECT_EQ(s->td, 5);
    EXPECT_EQ(s->h, 1500);
    EXPECT_EQ(THERM_get_SM(), sm.data()) << "the caller's arrays, not copies";
    EXPECT_EQ(THERM_get_WM(), wm.data());
    EXPECT_EQ(THERM_get_SM_num(), 4);
    EXPECT_EQ(THERM_get_WM_num(), 8);
    EXPECT_EQ(v->wmo, KEZ_MISS);
    EXPECT_EQ(v->thick, M);
    EXPECT_EQ(v->k, M);
    EXPECT_EQ(v->lat, M);
    EXPECT_EQ(v->frz, 5) << "fields outside the reset wait for the index run";
    EXPECT_EQ(THERM_get_storm().dir, M) << "no winds, no storm motion";
    THERM_calc_storm();
    EXPECT_EQ(THERM_get_storm().dir, M);
    EXPECT_EQ(THERM_get_storm().spd, M);
    return verdict();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(SetData, IdentifierAndFileKey) {
  auto r = kez_test::run_child([] {
    THERM_set_id("ABCDEFGHIJKLMNOPQRSTUVWXYZ", 72649);
    EXPECT_STREQ(THERM_get_id(), "ABCDEFGHIJKLMNOPQRS");
    EXPECT_EQ(THERM_get_wmo(), 72649);
    char key[FILE_KEY_LEN] = {};
    FILE_get_key('i', key);
    EXPECT_STREQ(key, "ABCDEFGHIJKLMNOPQRS");
    return verdict();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

struct StormCase {
  float mean_dir, mean_spd, storm_dir, storm_spd;
  const char* why;
};

TEST(SetData, StormMotionIsMeanWindVeeredAndSlowed) {
  constexpr StormCase cases[] = {
      {340, 20, 10, 15, "past north wraps round"},
      {330, 20, 360, 15, "exactly 360 stays 360"},
      {200, 40, 230, 30, "plain case"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    auto r = kez_test::run_child([&] {
      auto sm = plain_temps();
      auto wm = steady_wind(c.mean_dir, c.mean_spd);
      THERM_set_data(1000, sm.data(), 4, wm.data(), 8);
      EXPECT_NEAR(THERM_get_storm().dir, c.storm_dir, 0.01);
      EXPECT_NEAR(THERM_get_storm().spd, c.storm_spd, 0.01);
      WIND other{1, 1};
      THERM_set_storm(&other);
      THERM_calc_storm();
      EXPECT_NEAR(THERM_get_storm().dir, c.storm_dir, 0.01) << "recomputed";
      return verdict();
    });
    EXPECT_EQ(r.status, 0) << r.out << r.err;
  }
}

TEST(ThermCalc, GivenParcelLevelIsTheLevelLifted) {
  auto r = kez_test::run_child([] {
    RES_put("plot_param", "par:700:5:-2");
    auto sm = plain_temps();
    auto wm = steady_wind(M, M);
    THERM_set_data(1000, sm.data(), 4, wm.data(), 8);
    THERM_get_values()->lat = 44.5f;
    THERM_set_id("XYZ", 12345);
    THERM_calc();
    const UPA_level* par = THERM_get_parcel();
    EXPECT_EQ(par->p, 700);
    EXPECT_EQ(par->t, 5);
    EXPECT_EQ(par->td, -2);
    EXPECT_EQ(par->h, 3000) << "the rest from the sounding at that pressure";
    EXPECT_EQ(THERM_get_values()->lat, 44.5f) << "the location is the caller's";
    EXPECT_EQ(THERM_get_wmo(), 12345);
    return verdict();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(ThermCalc, LevelsUnderTheGroundAreNoAir) {
  /* A high station's report may carry values extrapolated down to the
   * mandatory levels under its ground: warm and moist, or cold. The
   * quantities that walk the sounding from its first level start at the
   * ground all the same, and the index table is that of the sounding
   * without them. */
  struct Case {
    const char* why;
    UPA_level under;
  };
  const Case cases[] = {
      {"warm, moist air under the ground", {1000, 30, 35, 26, M, M}},
      {"freezing air under the ground", {1000, 30, -3, -6, M, M}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    auto r = kez_test::run_child([&] {
      MESS_set_str("none");
      MESS_set(1, THERM_M_INDEX | THERM_M_INDEX_X);
      const std::vector<UPA_level>& s = fixtures::kStrong;
      const int n = static_cast<int>(s.size());
      std::vector<UPA_level> plain(s), with(s), wm(s);
      with.insert(with.begin(), c.under);
      for (auto* v : {&plain, &with, &wm}) v->resize(UPA_MAX_LEVELS);
      THERM_set_data(s[0].p, plain.data(), n, wm.data(), n);
      THERM_calc();
      const THERM_values want = *THERM_get_values();
      THERM_indices();
      std::printf("====\n");
      THERM_set_data(s[0].p, with.data(), n + 1, wm.data(), n);
      THERM_calc();
      const THERM_values& got = *THERM_get_values();
      THERM_indices();
      EXPECT_NE(want.precip, M);
      EXPECT_EQ(got.precip, want.precip);
      EXPECT_EQ(got.frz, want.frz);
      EXPECT_EQ(got.wb0, want.wb0);
      EXPECT_EQ(got.thetae.index, want.thetae.index);
      EXPECT_EQ(got.thetae.base, want.thetae.base);
      EXPECT_EQ(got.thetae.top, want.thetae.top);
      return verdict();
    });
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    const size_t split = r.out.find("====\n");
    ASSERT_NE(split, std::string::npos) << r.out;
    /* the 1000 hPa level's height gives the thickness, its only use */
    std::string got = r.out.substr(split + 5);
    const std::string thick = "1000-500 mb thick:      5764.00 m\n";
    ASSERT_EQ(got.compare(0, thick.size(), thick), 0) << got;
    EXPECT_EQ(got.substr(thick.size()), r.out.substr(0, split));
  }
}

TEST(ThermCalc, EmptySoundingComputesNothing) {
  auto r = kez_test::run_child([] {
    THERM_set_data(M, nullptr, 0, nullptr, 0);
    THERM_calc();
    const THERM_values* v = THERM_get_values();
    for (float f : {v->thick, v->plcl, v->tlcl, v->max_t, v->lapse57, v->ct, v->li, v->si, v->tt, v->k})
      EXPECT_EQ(f, M);
    THERM_sig_table();
    THERM_indices();
    THERM_wind_table();
    THERM_wind();
    THERM_storm_table();
    return verdict();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

/* The record of a whole index run on a realistic sounding against the two
 * NumPy references: the layer quantities' and the parcel and wind-profile
 * indices'. The analysis lifts its default parcel, the lowest 100 hPa
 * mixed. */
std::map<std::string, double> numbers(const std::string& text) {
  std::map<std::string, double> m;
  std::istringstream in(text);
  std::string name;
  double v;
  while (in >> name >> v) m[name] = v;
  return m;
}

TEST(ThermCalc, RecordAgreesWithTheNumpyReferences) {
  if (!kez_test::have_program("/usr/bin/python3") || kez_test::run_command("/usr/bin/python3 -c 'import numpy'") != 0)
    GTEST_SKIP() << "no NumPy";
  const std::vector<UPA_level>& s = fixtures::kWeak;
  const float ps = s[0].p;
  ASSERT_GT(ps, 1000) << "the 1000-500 hPa thickness needs 1000 hPa above the ground";

  auto r = kez_test::run_child([&] {
    std::vector<UPA_level> sm(s), wm(s);
    sm.resize(UPA_MAX_LEVELS);
    wm.resize(UPA_MAX_LEVELS);
    const int n = static_cast<int>(s.size());
    THERM_set_data(ps, sm.data(), n, wm.data(), n);
    THERM_calc();
    const THERM_values& v = *THERM_get_values();
    const PARCEL_params& pp = v.parcel;
    const HELICITY_params& h = v.helicity;
    const std::pair<const char*, float> out[] = {
        {"thick", v.thick},
        {"frz", v.frz},
        {"wb0", v.wb0},
        {"precip", v.precip},
        {"mean_rh", v.mean_rh},
        {"max_t", v.max_t},
        {"plcl", v.plcl},
        {"tlcl", v.tlcl},
        {"lapse57", v.lapse57},
        {"ccl", v.ccl},
        {"wbar", v.wbar},
        {"li", v.li},
        {"cap", v.cap},
        {"si", v.si},
        {"tt", v.tt},
        {"k", v.k},
        {"sweat", v.sweat},
        {"ei", v.ei},
        {"p_plcl", pp.plcl},
        {"p_tlcl", pp.tlcl},
        {"p_lfc", pp.lfc},
        {"p_el", pp.el},
        {"p_cap", pp.cap},
        {"p_bplus", pp.Bplus},
        {"p_bminus", pp.Bminus},
        {"p_wmax", pp.wmax},
        {"dir_shr", h.dir_shr},
        {"pos_hel", h.pos_hel},
        {"neg_hel", h.neg_hel},
        {"tot_hel", h.tot_hel},
        {"ave_hel", h.ave_hel},
        {"rel_hel", h.rel_hel},
        {"hor_vort", h.hor_vort},
        {"stm_vort", h.stm_vort},
        {"pos_shr", v.shear.pos_shr},
        {"neg_shr", v.shear.neg_shr},
        {"brn", v.brn},
        {"bshear", v.bshear},
        {"ehi", v.ehi},
        {"storm_dir", THERM_get_storm().dir},
        {"storm_spd", THERM_get_storm().spd},
    };
    for (const auto& [name, x] : out) std::printf("%s %.9g\n", name, static_cast<double>(x));
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  auto got = numbers(r.out);
  ASSERT_EQ(got.size(), 41u) << r.out;

  /* The parcel and wind indices, with the storm motion the analysis chose. */
  auto ref = fixtures::reference(s, WIND{static_cast<float>(got["storm_dir"]), static_cast<float>(got["storm_spd"])});
  ASSERT_FALSE(ref.empty()) << "the parcel reference did not run";

  /* The layer quantities. */
  kez_test::TempDir dir;
  std::ostringstream in;
  in.precision(9);
  for (const auto& l : s)
    in << "L " << l.p << ' ' << l.h << ' ' << l.t << ' ' << l.td << ' ' << l.dir << ' ' << l.spd << '\n';
  in << "THICK 100 1000 500\nFRZ\nWBZ\nPW\nMEAN rhum 100 " << ps << " 500\nMAXT 100 " << ps
     << " 150\nLAPSE 100 700 500\nCCL 100 " << ps << " 100\n";
  const std::string file = dir.file("layers");
  kez_test::write_file(file, in.str());
  std::string text;
  ASSERT_EQ(kez_test::run_command("/usr/bin/python3 " KEZ_SOURCE_DIR "/tests/upa/data/layer_ref.py " + file, &text), 0)
      << text;
  std::istringstream lr(text);
  double thick, frz, wb0, pw, rh, maxt, lapse, ccl, wbar;
  ASSERT_TRUE(lr >> thick >> frz >> wb0 >> pw >> rh >> maxt >> lapse >> ccl >> wbar) << text;

  auto rel = [](double got_v, double want, double r, const char* what) {
    EXPECT_NEAR(got_v, want, std::fabs(want) * r) << what;
  };
  rel(got["thick"], thick, 1e-4, "1000-500 hPa thickness");
  EXPECT_NEAR(got["frz"], frz, 0.1) << "freezing level";
  EXPECT_NEAR(got["wb0"], wb0, 0.1) << "wet-bulb zero";
  EXPECT_NEAR(got["precip"], pw, 1e-4) << "precipitable water";
  rel(got["mean_rh"], rh, 1e-4, "mean relative humidity");
  EXPECT_NEAR(got["max_t"], maxt - 273.15, 0.01) << "estimated maximum temperature";
  rel(got["lapse57"], 1000 * lapse, 1e-4, "700-500 hPa lapse rate");
  EXPECT_NEAR(got["ccl"], ccl, 0.1) << "convective condensation level";
  rel(got["wbar"], wbar, 1e-4, "its mixing ratio");

  EXPECT_NEAR(got["plcl"], ref.at("sfc_plcl"), 1.0) << "surface LCL";
  EXPECT_NEAR(got["tlcl"], ref.at("sfc_tlcl"), 0.05) << "its temperature";
  EXPECT_NEAR(got["li"], ref.at("li_ml"), 0.05) << "lifted index of the lowest 100 hPa";
  EXPECT_NEAR(got["cap"], ref.at("capstr_ml"), 0.05) << "cap strength of the lowest 100 hPa";
  EXPECT_NEAR(got["si"], ref.at("si"), 0.05) << "Showalter";
  for (const char* k : {"tt", "k", "sweat", "ei"}) EXPECT_NEAR(got[k], ref.at(k), 0.01) << k;

  EXPECT_NEAR(got["p_plcl"], ref.at("ml_plcl"), 1.0) << "parcel LCL";
  EXPECT_NEAR(got["p_tlcl"], ref.at("ml_tlcl"), 0.05);
  EXPECT_NEAR(got["p_lfc"], ref.at("ml_lfc"), 1.0) << "LFC";
  EXPECT_NEAR(got["p_el"], ref.at("ml_el"), 1.0) << "EL";
  EXPECT_NEAR(got["p_cap"], ref.at("ml_cap"), 0.05);
  const double cape = ref.at("ml_bplus");
  ASSERT_GT(cape, 100) << "the fixture should have some CAPE";
  rel(got["p_bplus"], cape, 0.005, "CAPE");
  rel(got["p_bminus"], ref.at("ml_bminus"), 0.005, "CIN");
  rel(got["p_wmax"], ref.at("ml_wmax"), 0.005, "wmax");

  EXPECT_NEAR(got["dir_shr"], ref.at("hel_dir_shr"), 0.1);
  for (const char* k : {"pos", "neg", "tot"})
    EXPECT_NEAR(got[std::string(k) + "_hel"], ref.at(std::string("hel_") + k), 0.5) << k << " helicity";
  for (const char* k : {"ave", "rel"})
    EXPECT_NEAR(got[std::string(k) + "_hel"], ref.at(std::string("hel_") + k), 1e-3) << k << " helicity";
  EXPECT_NEAR(got["hor_vort"], ref.at("hel_hor"), 1e-4);
  EXPECT_NEAR(got["stm_vort"], ref.at("hel_stm"), 1e-4);
  EXPECT_NEAR(got["pos_shr"], ref.at("pos_shr"), 1e-5);
  EXPECT_NEAR(got["neg_shr"], ref.at("neg_shr"), 1e-5);
  /* The bulk Richardson number and energy-helicity index take the lifted
   * parcel's CAPE. */
  const double shear = ref.at("shear");
  rel(got["bshear"], shear, 1e-3, "bulk shear");
  rel(got["brn"], cape / (0.5 * shear * shear), 0.01, "bulk Richardson number");
  rel(got["ehi"], ref.at("hel2_pos") * cape / 160000, 0.01, "energy-helicity index");
}

} // namespace
