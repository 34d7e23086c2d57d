/* The analysis state and its options. The state is process-wide, so each
 * scenario runs in a child process of its own. */
#include "kez_test.h"
#include "kezupa.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

constexpr float M = KEZ_FMISS;

void expect_missing(const UPA_level* l) {
  ASSERT_NE(l, nullptr);
  for (float v : {l->p, l->h, l->t, l->td, l->dir, l->spd}) EXPECT_EQ(v, M);
}

TEST(ThermState, StartsWithoutSounding) {
  auto r = kez_test::run_child([] {
    EXPECT_EQ(THERM_get_SM(), nullptr);
    EXPECT_EQ(THERM_get_WM(), nullptr);
    EXPECT_EQ(THERM_get_SM_num(), 0);
    EXPECT_EQ(THERM_get_WM_num(), 0);
    expect_missing(THERM_get_sfc());
    expect_missing(THERM_get_trop());
    expect_missing(THERM_get_mwnd());
    expect_missing(THERM_get_parcel());
    EXPECT_EQ(THERM_get_par_type(), THERM_PAR_MIXED);
    EXPECT_EQ(THERM_get_par_thick(), 100.0f);
    EXPECT_STREQ(THERM_get_id(), "");
    return ::testing::Test::HasFailure() ? 1 : 0;
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(ThermState, SurfaceInEachCoordinate) {
  auto r = kez_test::run_child([] {
    *THERM_get_sfc() = {1000, 110, 20, 10, M, M};
    EXPECT_NEAR(THERM_get_sfc_level(UPA_CO_THETA), 293.15f, 0.01);
    EXPECT_NEAR(THERM_get_sfc_level(UPA_CO_THETA_LAYER), 293.15f, 0.01);
    EXPECT_EQ(THERM_get_sfc_level(UPA_CO_HGT), 110);
    EXPECT_EQ(THERM_get_sfc_level(UPA_CO_HGT_LAYER), 110);
    EXPECT_EQ(THERM_get_sfc_level(UPA_CO_PRES), 1000);
    EXPECT_EQ(THERM_get_sfc_level(UPA_CO_SFC), 1000);
    THERM_get_sfc()->t = M;
    EXPECT_EQ(THERM_get_sfc_level(UPA_CO_THETA), M);
    UPA_level trop{250, 10400, -55, M, 280, 50};
    THERM_set_trop(&trop);
    EXPECT_EQ(THERM_get_trop()->h, 10400);
    WIND storm{240, 30};
    THERM_set_storm(&storm);
    EXPECT_EQ(THERM_get_storm().dir, 240);
    return ::testing::Test::HasFailure() ? 1 : 0;
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

struct ParCase {
  const char* items;
  int type;
  float thick, p, t, td;
  const char* why;
};

TEST(ThermParam, ParcelItems) {
  /* The surface of the "previous" sounding carries 25/15 at 1000 hPa. */
  constexpr ParCase cases[] = {
      {"par:layer:50", THERM_PAR_MIXED, 50, 1000, M, M, "mixed layer of a given depth"},
      {"par:LAYER", THERM_PAR_MIXED, 100, 1000, M, M, "no depth keeps the depth"},
      {"par:maxt", THERM_PAR_MAXT, 100, 1000, M, M, "maximum temperature"},
      {"par:sfc", THERM_PAR_SFC, 100, 1000, M, M, "surface"},
      {"par::10", THERM_PAR_SFC, 100, 1000, M, M, "no name"},
      {"par", THERM_PAR_SFC, 100, 1000, M, M, "item alone"},
      {"par:", THERM_PAR_SFC, 100, 1000, M, M, "separator alone"},
      {"par:700:5:-2", THERM_PAR_LEVEL, 100, 700, 5, -2, "given level"},
      {"par:700", THERM_PAR_LEVEL, 100, 700, M, M, "the new sounding's values, not the old surface's"},
      {"par:700:5", THERM_PAR_LEVEL, 100, 700, 5, M, "temperature only"},
      {"par:abc", THERM_PAR_LEVEL, 100, 0, M, M, "a name that is no number"},
      {"par:layer:50,par:sfc", THERM_PAR_SFC, 50, 1000, M, M, "later items win"},
      {"par:12345678901234567890123:5:1", THERM_PAR_LEVEL, 100, 1234567890123456789.0f, 5, 1,
       "a long name is cut, its numbers still read"},
      {"par:700:nan:inf", THERM_PAR_LEVEL, 100, 700, M, M, "no temperature is not a number"},
      {"par:nan:5:1", THERM_PAR_LEVEL, 100, 0, 5, 1, "nor a pressure"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    auto r = kez_test::run_child([&] {
      RES_put("plot_param", c.items);
      *THERM_get_sfc() = {1000, 110, 25, 15, M, M};
      THERM_param();
      EXPECT_EQ(THERM_get_par_type(), c.type);
      EXPECT_EQ(THERM_get_par_thick(), c.thick);
      if (c.type == THERM_PAR_LEVEL) {
        const UPA_level* p = THERM_get_parcel();
        EXPECT_FLOAT_EQ(p->p, c.p);
        EXPECT_EQ(p->t, c.t);
        EXPECT_EQ(p->td, c.td);
      }
      return ::testing::Test::HasFailure() ? 1 : 0;
    });
    EXPECT_EQ(r.status, 0) << r.out << r.err;
  }
}

TEST(ThermParam, AbsentResourceChangesNothing) {
  auto r = kez_test::run_child([] {
    THERM_param();
    EXPECT_EQ(THERM_get_par_type(), THERM_PAR_MIXED);
    expect_missing(THERM_get_parcel());
    return ::testing::Test::HasFailure() ? 1 : 0;
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

/* "page" and "nopage" set the paging mode that the analysis tables pause
 * by: a hold shows (and waits for Return) only with paging on, and the mode
 * they set is 1, which pauses at holds alone and never after a page of
 * lines. */
TEST(ThermParam, PagingItems) {
  struct Case {
    const char* items;
    bool holds;
  } cases[] = {{"nopage", false}, {"page", true}, {"nopage,page", true}, {"page,nopage", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.items);
    auto r = kez_test::run_child(
        [&] {
          MESS_set(0, M_print);
          MESS_set_page(0);
          RES_put("plot_param", c.items);
          THERM_param();
          for (int i = 0; i < 200; ++i) MESS_print(M_print, "line %d\n", i);
          MESS_hold(M_print, "HOLD\n");
          return 0;
        },
        "\n\n\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("HOLD") != std::string::npos, c.holds) << r.out;
    EXPECT_EQ(r.out.find("Press return"), std::string::npos) << "no pause after a page of lines";
  }
}

} // namespace
