/* Variable levels decoded against the current sounding, layers around a
 * level, and layer means for a variable. The analysis state is
 * process-wide, so each scenario runs in a child process. */
#include "kez_test.h"
#include "kezraw.h"
#include "kezupa.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

constexpr float M = KEZ_FMISS;

VAR_data var(int ltype, int level, const char* name = "temp") {
  VAR_data v{};
  v.ltype = ltype;
  v.level = level;
  std::snprintf(v.name, sizeof v.name, "%s", name);
  return v;
}

struct DecodeCase {
  int ltype, level;
  float sfc_p, sfc_h, trop_p, trop_h;
  int coord;
  float lev1, lev2, thick;
  int result;
  const char* why;
};

TEST(LevelDecode, Cases) {
  auto r = kez_test::run_child([] {
    const DecodeCase cases[] = {
        {KEZ_MISS, 0, 1000, 100, 250, 10400, 100, M, M, M, 0, "no level type"},
        {0, 0, 1010, 100, 250, 10400, 100, 1010, 500, M, 2, "surface to 500 hPa"},
        {1, 50, 1010, 100, 250, 10400, 100, 1010, M, 50, 1, "surface with a thickness"},
        {1, 0, 1010, 100, 250, 10400, 100, 1010, M, M, 1, "surface without thickness"},
        {6, 0, 1010, 100, 250, 10400, 100, 300, M, M, 1, "maximum wind"},
        {7, 0, 1010, 100, 250, 10400, 100, 250, M, M, 1, "tropopause"},
        {100, 500, 1010, 100, 250, 10400, 100, 500, M, M, 1, "isobaric level"},
        {101, 190050, 1010, 100, 250, 10400, 101, 1010, 500, M, 2, "surface to 500 hPa layer"},
        {101, 191050, 1010, 100, 250, 10400, 101, 1010, 500, M, 2, "maximum-temperature form"},
        {101, 85050, 1010, 100, 250, 10400, 101, 850, 500, M, 2, "plain pressure layer"},
        {101, 195005, 1010, 100, 250, 10400, 101, 250, 200, M, 2, "50 hPa above the tropopause"},
        {101, 195005, 1010, 100, 30, 25000, 101, M, M, M, 2, "above the top of the world"},
        {101, 195005, 1010, 100, M, M, 101, M, M, M, 2, "no tropopause"},
        {101, 205000, 1010, 100, 250, 10400, 101, 1010, 0, 50, 2, "surface layer of 50 hPa"},
        {101, 190050, M, 100, 250, 10400, 101, M, 500, M, 2, "surface layer without surface"},
        {105, 10, 1010, 300, 250, 10400, 105, 310, M, M, 1, "above the ground"},
        {105, 10, 1010, M, 250, 10400, 105, 10, M, M, 1, "above a ground of unknown height"},
        {106, 30010, 1010, 300, 250, 10400, 106, 3300, 1300, M, 2, "height layer above the ground"},
        {115, 30, 1000, 100, 250, 10400, 115, 970, M, M, 1, "pressure difference from the ground"},
        {115, 30, M, 100, 250, 10400, 115, M, M, M, 1, "difference without a surface pressure"},
        {116, 90000, 1000, 100, 250, 10400, 116, 910, 1000, M, 2, "layer of pressure differences"},
        {116, 90000, M, 100, 250, 10400, 116, M, M, M, 2, "layer without a surface pressure"},
        {104, 995010, 1010, 100, 250, 11000, 104, 11000, 12000, M, 2, "1000 m above the tropopause"},
        {104, 995010, 1010, 100, M, 11000, 104, M, M, M, 2, "no tropopause pressure"},
        {104, 995100, 1010, 100, 250, M, 104, M, M, M, 2, "tropopause without height"},
        {113, 300, 1010, 100, 250, 10400, 113, 300, M, M, 1, "isentropic level"},
        {114, 310300, 1010, 100, 250, 10400, 114, 310, 300, M, 2, "isentropic layer"},
    };
    UPA_level mwnd{300, 9000, -40, M, 250, 120};
    THERM_set_mwnd(&mwnd);
    for (const auto& c : cases) {
      *THERM_get_sfc() = {c.sfc_p, c.sfc_h, 20, 10, M, M};
      UPA_level trop{c.trop_p, c.trop_h, -55, M, M, M};
      THERM_set_trop(&trop);
      VAR_data v = var(c.ltype, c.level);
      int coord = 0;
      float l1 = 0, l2 = 0, th = 0;
      EXPECT_EQ(UPA_level_decode(&v, &coord, &l1, &l2, &th), c.result) << c.why;
      EXPECT_EQ(coord, c.coord) << c.why;
      EXPECT_EQ(l1, c.lev1) << c.why;
      EXPECT_EQ(l2, c.lev2) << c.why;
      EXPECT_EQ(th, c.thick) << c.why;
    }
    /* The lifting condensation level of the surface air. */
    *THERM_get_sfc() = {1000, 100, 20, 10, M, M};
    VAR_data lcl = var(5, 0);
    int coord = 0;
    float l1 = 0, l2 = 0, th = 0;
    EXPECT_EQ(UPA_level_decode(&lcl, &coord, &l1, &l2, &th), 1);
    EXPECT_EQ(l1, lcl_pres(293.15f, 283.15f, 1000));
    THERM_get_sfc()->td = M;
    UPA_level_decode(&lcl, &coord, &l1, &l2, &th);
    EXPECT_EQ(l1, M) << "no dew point";
    /* The freezing level with no sounding current. */
    VAR_data frz = var(4, 0);
    EXPECT_EQ(UPA_level_decode(&frz, &coord, &l1, &l2, &th), 1);
    EXPECT_EQ(l1, M);
    EXPECT_EQ(UPA_level_decode(nullptr, &coord, &l1, &l2, &th), 0);
    return ::testing::Test::HasFailure() ? 1 : 0;
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(LevelDecode, IsMaxt) {
  VAR_data a = var(101, 191050), b = var(101, 190050), c = var(100, 191050);
  EXPECT_EQ(UPA_is_maxt(&a), 1);
  EXPECT_EQ(UPA_is_maxt(&b), 0);
  EXPECT_EQ(UPA_is_maxt(&c), 0);
  EXPECT_EQ(UPA_is_maxt(nullptr), 0);
}

TEST(LevelDecode, MakeLayer) {
  struct Case {
    int ltype, level;
    float delta, lev1, lev2;
    const char* why;
  };
  const Case cases[] = {
      {100, 500, 0, 475, 525, "default 25 hPa"},
      {100, 500, 10, 490, 510, "given half-thickness"},
      {103, 1000, -5, 1200, 800, "negative counts as 0: default 200 m"},
      {113, 300, 0, 305, 295, "default 5 K"},
      {113, 300, 2, 302, 298, "given 2 K"},
      {102, 0, 10, -1, -2, "other types change nothing"},
  };
  for (const auto& c : cases) {
    VAR_data v = var(c.ltype, c.level);
    int coord = -3;
    float l1 = -1, l2 = -2;
    EXPECT_EQ(UPA_make_layer(&v, &coord, &l1, &l2, c.delta), 0) << c.why;
    EXPECT_EQ(l1, c.lev1) << c.why;
    EXPECT_EQ(l2, c.lev2) << c.why;
    EXPECT_EQ(coord, -3) << c.why;
  }
}

TEST(CalcLayer, WithoutSoundingGivesMissing) {
  auto r = kez_test::run_child([] {
    *THERM_get_sfc() = {1000, 100, 20, 10, M, M};
    VAR_data v = var(101, 85050);
    RAW_data d{};
    d.value[0] = 5;
    EXPECT_EQ(UPA_calc_layer(&v, &d), 0);
    EXPECT_EQ(d.value[0], M);
    WIND w{1, 1};
    EXPECT_EQ(UPA_calc_wind_layer(&v, &w), 0);
    EXPECT_EQ(w.dir, M);
    EXPECT_EQ(w.spd, M);
    VAR_data none = var(KEZ_MISS, 0);
    UPA_calc_layer(&none, &d);
    EXPECT_EQ(d.value[0], M);
    /* A name that fills the whole field, with no terminator. */
    std::memset(none.name, 't', sizeof none.name);
    UPA_calc_layer(&none, &d);
    EXPECT_EQ(d.value[0], M);
    return ::testing::Test::HasFailure() ? 1 : 0;
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

} // namespace
