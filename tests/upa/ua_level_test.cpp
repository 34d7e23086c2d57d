/* Variable levels decoded against the current sounding, layers around a
 * level, and layer means for a variable. The analysis state is
 * process-wide, so each scenario runs in a child process. */
#include "kez_test.h"
#include "kezraw.h"
#include "kezupa.h"
#include "sounding_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

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

/* Layer means of variables over the current sounding, made current as a
 * sounding program does, against the NumPy reference of the layer
 * quantities. The decoding gives the larger value first, which for height,
 * potential-temperature and pressure-difference layers is the top: the
 * means must still run from the bottom up. */
struct CurrentCase {
  int ltype, level;
  const char* name;
  int coord;
  float bottom, top; /* as the reference is asked */
  const char* why;
};

const CurrentCase kCurrent[] = {
    {101, 85050, "temp", 101, 850, 500, "pressure layer, bottom first as decoded"},
    {0, 0, "rhum", 100, 965, 500, "surface to 500 hPa"},
    {104, 30010, "theta", 104, 1000, 3000, "height layer given top first"},
    {106, 30005, "mrat", 106, 850, 3350, "height layer above the 350 m ground"},
    {116, 90030, "temp", 116, 935, 875, "layer 30 to 90 hPa above the 965 hPa ground"},
};

TEST(CalcLayer, MeansOverTheCurrentSounding) {
  if (!kez_test::have_program("/usr/bin/python3") || kez_test::run_command("/usr/bin/python3 -c 'import numpy'") != 0)
    GTEST_SKIP() << "no NumPy";
  const std::vector<UPA_level>& s = fixtures::kStrong;
  ASSERT_EQ(s[0].p, 965);
  ASSERT_EQ(s[0].h, 350);
  kez_test::TempDir dir;
  std::ostringstream in;
  in.precision(9);
  for (const auto& l : s)
    in << "L " << l.p << ' ' << l.h << ' ' << l.t << ' ' << l.td << ' ' << l.dir << ' ' << l.spd << '\n';
  for (const auto& c : kCurrent) {
    in << "MEAN " << c.name << ' ' << c.coord << ' ' << c.bottom << ' ' << c.top << '\n';
    in << "WIND " << c.coord << ' ' << c.bottom << ' ' << c.top << '\n';
  }
  const std::string file = dir.file("current");
  kez_test::write_file(file, in.str());
  std::string ref;
  ASSERT_EQ(kez_test::run_command("/usr/bin/python3 " KEZ_SOURCE_DIR "/tests/upa/data/layer_ref.py " + file, &ref), 0)
      << ref;

  /* The child prints what the layer operations give, one case a line. */
  auto r = kez_test::run_child([&] {
    std::vector<UPA_level> sm(s), wm(s);
    sm.resize(UPA_MAX_LEVELS);
    wm.resize(UPA_MAX_LEVELS);
    const int n = static_cast<int>(s.size());
    THERM_set_data(965, sm.data(), n, wm.data(), n);
    for (const auto& c : kCurrent) {
      VAR_data v = var(c.ltype, c.level, c.name);
      RAW_data d{};
      WIND w{0, 0};
      UPA_calc_layer(&v, &d);
      UPA_calc_wind_layer(&v, &w);
      std::printf("%.9g %.9g %.9g\n", static_cast<double>(d.value[0]), static_cast<double>(w.dir),
                  static_cast<double>(w.spd));
    }
    /* Potential-temperature layer (top first as decoded): the bottom is
     * near 700 hPa, the top near 500 hPa. */
    VAR_data v = var(114, 320312, "temp");
    RAW_data d{};
    WIND w{0, 0};
    UPA_calc_layer(&v, &d);
    UPA_calc_wind_layer(&v, &w);
    std::printf("%.9g %.9g %.9g\n", static_cast<double>(d.value[0]), static_cast<double>(w.dir),
                static_cast<double>(w.spd));
    std::printf("%.9g\n", static_cast<double>(mean_value("temp", THERM_get_SM(), n, 114, 312, 320)));
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;

  std::istringstream want(ref), got(r.out);
  for (const auto& c : kCurrent) {
    SCOPED_TRACE(c.why);
    double mean = 0, found = 0, wdir = 0, wspd = 0, gmean = 0, gdir = 0, gspd = 0;
    ASSERT_TRUE(want >> mean >> found >> wdir >> wspd);
    ASSERT_TRUE(got >> gmean >> gdir >> gspd) << r.out;
    ASSERT_EQ(found, 1) << "the reference's top has a wind";
    EXPECT_NEAR(gmean, mean, std::fabs(mean) * 1e-4);
    EXPECT_NEAR(gdir, wdir, 0.01);
    EXPECT_NEAR(gspd, wspd, std::fabs(wspd) * 1e-4);
  }
  double tmean = 0, tdir = 0, tspd = 0, direct = 0;
  ASSERT_TRUE(got >> tmean >> tdir >> tspd >> direct) << r.out;
  EXPECT_EQ(tmean, direct) << "the isentropic layer's mean, bottom first";
  EXPECT_LT(tmean, 9.5) << "below the 700 hPa temperature";
  EXPECT_GT(tmean, -10) << "above the 500 hPa temperature";
  EXPECT_GT(tdir, 235) << "veered past the 700 hPa wind";
  EXPECT_LT(tdir, 255) << "backed from the 500 hPa wind";
  EXPECT_GT(tspd, 42);
  EXPECT_LT(tspd, 60);
}

} // namespace
