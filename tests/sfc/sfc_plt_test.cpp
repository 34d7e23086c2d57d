#include "kez_test.h"
#include "kezraw.h"
#include "kezsfc.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr float M = KEZ_FMISS;

SFC_report base_report() {
  SFC_report r;
  SFC_initialize(&r);
  std::strcpy(r.id, "KDEN");
  r.elev = 1600;
  r.t = 50;
  r.td = 41;
  r.w_dir = 270;
  r.w_spd = 10;
  r.w_gust = 22;
  r.alt = 29.92f;
  r.pmb = 1013.2f;
  r.vis = 10;
  r.num_cld = 1;
  r.cld_cover[0] = 'S';
  r.cld_height[0] = 2500;
  r.ptend = 1.5f;
  r.ptend_t = 3;
  r.rain1 = 0.01f;
  r.rain3 = 0.03f;
  r.rain6 = 0.06f;
  r.rain12 = 0.12f;
  r.rain24 = 0.24f;
  r.max_t = 60;
  r.min_t = 30;
  r.max6_t = 55;
  r.min6_t = 35;
  r.scover = 2;
  r.solar = 300;
  r.sst = 12;
  r.wav_per = 8;
  r.wav_hgt = 1.5f;
  r.cld_low = '5';
  std::memcpy(r.cld_type, "123", 3);
  std::strcpy(r.weather, "61");
  return r;
}

VAR_data var_of(const char* name, const char* units = "", int time = 0, int ltype = VAR_LEV_SFC) {
  VAR_data v{};
  std::snprintf(v.name, sizeof v.name, "%s", name);
  std::snprintf(v.units, sizeof v.units, "%s", units);
  v.time = time;
  v.ltype = ltype;
  return v;
}

struct Got {
  int rc;
  float v0, v1;
  std::string text, units;
};

Got get(const SFC_report& r, VAR_data v) {
  RAW_data d;
  RAW_data_init(&d);
  d.x = d.y = 0;
  Got g;
  g.rc = SFC_get_data(&r, &v, &d);
  g.v0 = d.value[0];
  g.v1 = d.value[1];
  g.text = d.data;
  g.units = v.units;
  return g;
}

class SfcPlt : public ::testing::Test {
 protected:
  void SetUp() override {
    RES_put("file_path", KEZ_DATA_DIR);
    /* Grid-relative winds turn with the current map: none on a latitude-
     * longitude map, whatever map an earlier test of the process left. */
    Domain d;
    DOM_init(&d);
    d.proj = MAP_LATLON;
    d.clat = 40;
    d.clon = -100;
    d.dx = d.dy = 1;
    d.nx = 21;
    d.ny = 15;
    MAP_domain(&d);
  }
};

double K(double f) { return 273.15 + 5.0 * (f - 32.0) / 9.0; }

/* Every name, from one full report, against the report's fields and the
 * formula library called directly. */
TEST_F(SfcPlt, EveryKeyFromOneReport) {
  const SFC_report r = base_report();
  const float t = static_cast<float>(K(r.t)), td = static_cast<float>(K(r.td));
  const float p = sfc_pr_alt(33.85399f * r.alt, r.elev), ws = 0.5144f * r.w_spd;
  struct Case {
    const char* key;
    float v0, v1;
    const char* text;
    const char* unit;
  };
  const std::vector<Case> cases = {
      {"city", M, M, "KDEN", ""},
      {"temp", 50, M, "", "F"},
      {"ttd", 50, 41, "", "F"},
      {"dewp", 41, M, "", "F"},
      {"dewd", 9, M, "", "dF"},
      {"wdir", 270, M, "", "deg"},
      {"wspd", 10, M, "", "knt"},
      {"wgst", 22, M, "", "knt"},
      {"wbrbc", 270, 10, "", "knt"},
      {"wbrb", 270, 10, "", "knt"},
      {"wind", 270, 10, "", "knt"},
      {"hwind", 270, 0, "", "knt"},
      {"uwnd", 5.144f, M, "", "m/s"},
      {"uwndg", 5.144f, M, "", "m/s"},
      {"vwnd", 0, M, "", "m/s"},
      {"vwndg", 0, M, "", "m/s"},
      {"alt", 29.92f, M, "992", "in_Hg"},
      {"pralt", 1013.2f, M, "132", "mb"},
      {"pres", p, M, "", "mb"},
      {"elev", 1600, M, "", "m"},
      {"wx", 1, M, "R-", ""},
      {"vis", 10, M, "10", "mi"},
      {"cldcl", 25, M, "25", "100 ft"},
      {"cldclc", static_cast<float>(SYN_ceiling_to_code(2500)), M, "", ""},
      {"cldcv", 33, M, "S", "%"},
      {"ptend", 1.5f, M, "3", "mb"},
      {"prec1", 0.01f, M, "", "in"},
      {"prec3", 0.03f, M, "", "in"},
      {"prec6", 0.06f, M, "", "in"},
      {"prec12", 0.12f, M, "", "in"},
      {"prec24", 0.24f, M, "", "in"},
      {"prec", 0.24f, M, "", "in"},
      {"extt", 60, M, "", "F"},
      {"maxt6", 55, M, "", "F"},
      {"maxt24", 60, M, "", "F"},
      {"maxt", M, M, "", "F"},
      {"mint6", 35, M, "", "F"},
      {"mint24", 30, M, "", "F"},
      {"mint", M, M, "", "F"},
      {"snwdp", 2, M, "", "in"},
      {"nlcld", 62.5f, M, "5", "%"},
      {"lcld", M, M, "1", ""},
      {"mcld", M, M, "2", ""},
      {"hcld", M, M, "3", ""},
      {"solar", 300, M, "", "min"},
      {"sst", 12, M, "", "C"},
      {"wavper", 8, M, "", "sec"},
      {"wavhgt", 1.5f, M, "", "m"},
      {"vpres", vapor_pr(td), M, "", "mb"},
      {"svpres", vapor_pr(t), M, "", "mb"},
      {"wchilt", wind_chill_temp(t, ws), M, "", "K"},
      {"wchill", wind_chill_temp(t, ws), M, "", "K"},
      {"wchill2", wind_chill_temp2(t, ws), M, "", "K"},
      {"wchilf", wind_chill(t, ws), M, "", "W/m^2"},
      {"heat", heat_index(t, td), M, "", "K"},
      {"humit", humiture(t, td), M, "", "F"},
      {"mrat", mix_ratio(td, p), M, "", "g/kg"},
      {"smrat", mix_ratio(t, p), M, "", "g/kg"},
      {"shum", spec_hum(td, p), M, "", "g/kg"},
      {"rhum", rel_hum(t, td), M, "", "%"},
      {"wetblb", wet_bulb(t, td, p), M, "", "K"},
      {"thetaw", wet_bulb_pot_temp(t, td, p), M, "", "K"},
      {"thetae", eq_pot_temp(t, td, p), M, "", "K"},
      {"thetav", virt_pot_temp(t, td, p), M, "", "K"},
      {"theta", pot_temp(t, p), M, "", "K"},
      {"vtemp", virt_temp(t, td, p), M, "", "K"},
      {"fr", 0, M, "VFR", ""},
  };
  ASSERT_EQ(cases.size(), 67u);
  int with_default = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    const Got g = get(r, var_of(c.key));
    EXPECT_EQ(g.rc, 1);
    EXPECT_NEAR(g.v0, c.v0, std::fabs(c.v0) * 1e-4 + 1e-3);
    EXPECT_NEAR(g.v1, c.v1, 1e-3);
    EXPECT_EQ(g.text, c.text);
    EXPECT_EQ(g.units, c.unit);
    /* Upper case and a suffix find the same key. */
    std::string upper = std::string(c.key) + "-x";
    for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    EXPECT_EQ(get(r, var_of(upper.c_str())).rc, 1);
    VAR_data v = var_of(c.key);
    with_default += SFC_get_var(&v);
  }
  EXPECT_EQ(with_default, 59);
}

/* Every derived key is missing, not zero or garbage, when its inputs are. */
TEST_F(SfcPlt, MissingInputsGiveMissing) {
  SFC_report r;
  SFC_initialize(&r);
  for (const char* key :
       {"temp",  "ttd",  "dewd", "hwind", "uwnd",   "vwndg", "alt",  "pralt", "pres", "vis",    "cldcl", "cldclc",
        "cldcv", "prec", "extt", "vpres", "wchilt", "heat",  "mrat", "shum",  "rhum", "thetae", "theta", "vtemp"}) {
    SCOPED_TRACE(key);
    const Got g = get(r, var_of(key));
    EXPECT_EQ(g.v0, M);
    EXPECT_EQ(g.v1, M);
    EXPECT_EQ(g.text, "");
  }
  /* A missing wind speed stays missing, never calm. */
  r.w_dir = 200;
  EXPECT_EQ(get(r, var_of("hwind")).v1, M);
  /* Missing temperature alone spoils what needs it. */
  r = base_report();
  r.t = M;
  EXPECT_EQ(get(r, var_of("dewd")).v0, M);
  EXPECT_EQ(get(r, var_of("rhum")).v0, M);
  EXPECT_NE(get(r, var_of("mrat")).v0, M);
}

TEST_F(SfcPlt, UnitsConvertAndFixOnFirstRead) {
  const SFC_report r = base_report();
  Got g = get(r, var_of("temp", "C"));
  EXPECT_NEAR(g.v0, 10, 1e-3);
  EXPECT_EQ(g.units, "C");
  /* The dew point follows the temperature's unit. */
  g = get(r, var_of("ttd", "C"));
  EXPECT_NEAR(g.v0, 10, 1e-3);
  EXPECT_NEAR(g.v1, 5, 1e-3);
  g = get(r, var_of("ttd", "K"));
  EXPECT_NEAR(g.v1, 278.15, 1e-2);
  /* Wind keys keep degrees and knots whatever the unit. */
  g = get(r, var_of("wind", "m/s"));
  EXPECT_EQ(g.v0, 270);
  EXPECT_EQ(g.v1, 10);
  EXPECT_NEAR(get(r, var_of("wspd", "m/s")).v0, 5.1444f, 1e-3);
  EXPECT_NEAR(get(r, var_of("pralt", "in_Hg")).v0, 1013.2f * 0.0295299833f, 1e-3);
  /* The units the surface names use are all in the conversion table. */
  EXPECT_NEAR(get(r, var_of("cldcl", "ft")).v0, 2500, 1e-2);
  EXPECT_NEAR(get(r, var_of("solar", "hr")).v0, 5, 1e-4);
  EXPECT_NEAR(get(r, var_of("prec24", "mm")).v0, 0.24 * 25.4, 1e-3);
  EXPECT_NEAR(get(r, var_of("wavper", "min")).v0, 8.0 / 60, 1e-5);
  EXPECT_NEAR(get(r, var_of("alt", "hPa")).v0, 29.92 * 33.8638864, 1e-2);
  EXPECT_NEAR(get(r, var_of("dewd", "dC")).v0, 5, 1e-4);
  EXPECT_NEAR(get(r, var_of("mrat", "kg/kg")).v0, get(r, var_of("mrat")).v0 / 1000, 1e-6);
  /* Visibility converts at once, its text stays in miles. */
  g = get(r, var_of("vis", "km"));
  EXPECT_NEAR(g.v0, 16.09344, 1e-3);
  EXPECT_EQ(g.text, "10");
  /* An unknown key: 0, missing, unit untouched. */
  g = get(r, var_of("nosuch", "C"));
  EXPECT_EQ(g.rc, 0);
  EXPECT_EQ(g.v0, M);
  EXPECT_EQ(g.units, "C");
  EXPECT_EQ(get(r, var_of("nosuch")).units, "");
  /* Defaults only fill an empty unit. */
  VAR_data v = var_of("alt");
  EXPECT_EQ(SFC_get_var(&v), 1);
  EXPECT_STREQ(v.units, "in_HG");
  v = var_of("temp", "C");
  SFC_get_var(&v);
  EXPECT_STREQ(v.units, "C");
  v = var_of("hwind");
  EXPECT_EQ(SFC_get_var(&v), 0);
  EXPECT_STREQ(v.units, "");
}

TEST_F(SfcPlt, PlotTexts) {
  SFC_report r = base_report();
  r.pmb = M;
  r.alt = 30.00f;
  Got g = get(r, var_of("pralt"));
  EXPECT_NEAR(g.v0, 1015.6, 0.05);
  EXPECT_EQ(g.text, "156");
  struct Vis {
    float vis;
    const char* text;
  };
  for (const Vis& c : {Vis{0.5f, ".5"}, Vis{2.5f, "2.5"}, Vis{10, "10"}, Vis{M, ""}}) {
    r.vis = c.vis;
    EXPECT_EQ(get(r, var_of("vis")).text, c.text) << c.vis;
  }
  r = base_report();
  r.w_dir = 90;
  EXPECT_NEAR(get(r, var_of("uwnd")).v0, -5.144, 1e-3);
  r.w_spd = 30;
  EXPECT_EQ(get(r, var_of("hwind")).v1, 30);
  r.w_spd = 20;
  EXPECT_EQ(get(r, var_of("hwind")).v1, 0);
  /* Weather in its three forms. */
  std::strcpy(r.weather, "!SN");
  g = get(r, var_of("wx"));
  EXPECT_EQ(g.v0, 3);
  EXPECT_EQ(g.text.substr(0, 1), "S");
  std::strcpy(r.weather, "F");
  EXPECT_EQ(get(r, var_of("wx")).text, "F");
  EXPECT_EQ(get(r, var_of("wx")).v0, 0);
}

/* The visibility text is written without printf: it must be printf's for
 * every visibility a report holds, ties of the rounding included. */
TEST_F(SfcPlt, VisibilityTextIsPrintfs) {
  SFC_report r = base_report();
  for (int i = 0; i <= 100000; ++i) {
    const float vis = i < 40000 ? static_cast<float>(i) / 10000.0f : static_cast<float>(i - 40000) / 8.0f;
    r.vis = vis;
    char want[64];
    if (vis >= 3)
      std::snprintf(want, sizeof want, "%.0f", vis);
    else if (vis >= 1)
      std::snprintf(want, sizeof want, "%.1f", vis);
    else
      std::snprintf(want, sizeof want, ".%.0f", 10.0 * vis);
    ASSERT_EQ(get(r, var_of("vis")).text, want) << vis;
  }
}

/* Keys are found in any case, with or without a "-" suffix, and nothing
 * else is one. */
TEST_F(SfcPlt, KeysAreFoundByTheirNameOnly) {
  const struct {
    const char* name;
    bool known;
  } cases[] = {
      {"temp", true},
      {"TEMP", true},
      {"Temp-2m", true},
      {"wchill", true},
      {"wchill2", true},
      {"wchilf", true},
      {"fr", true},
      {"city", true},
      {"vtemp", true},
      {"alt", true},
      {"tem", false},
      {"temps", false},
      {"", false},
      {"-temp", false},
      {"wchill3", false},
      {"zzz", false},
      {"a", false},
      {"prec24x", false},
      {"thetaeeeeeeeeeeeeeeeee", false},
  };
  for (const auto& c : cases) EXPECT_EQ(SFC_is_var(c.name), c.known ? 1 : 0) << c.name;
  EXPECT_EQ(SFC_is_var(nullptr), 0);
}

/* One variable renamed in place between calls, as a new variable list
 * reuses its records: each call reads the name the record holds then. */
TEST_F(SfcPlt, AVariableRenamedInPlaceGivesItsNewKey) {
  SFC_report r = base_report();
  r.rain24 = 0.5f;
  const struct {
    const char* name;
    float want;
  } names[] = {
      {"temp", 50},     {"dewp", 41},    {"temp", 50},     {"TEMP-2m", 50}, {"temp-x", 50},   {"temps", M},
      {"prec24", 0.5f}, {"prec2", M},    {"prec24", 0.5f}, {"wspd", 10},    {"Wspd-max", 10}, {"", M},
      {"dewp", 41},     {"dewp-2m", 41}, {"tem", M},       {"temp", 50},
  };
  VAR_data v = var_of("temp");
  RAW_data d;
  RAW_data_init(&d);
  for (const auto& n : names) {
    /* the whole field rewritten, so what lay past the old name goes too */
    std::memset(v.name, n.name[0] ? 'x' : 0, sizeof v.name);
    std::snprintf(v.name, sizeof v.name, "%s", n.name);
    v.units[0] = '\0';
    SFC_get_data(&r, &v, &d);
    EXPECT_EQ(d.value[0], n.want) << n.name;
  }
}

/* Reports without absurd values give the same datums either way; only
 * SFC_get_data checks, every call, and a report changed between two
 * calls is checked again. */
TEST_F(SfcPlt, CleanReportsNeedNoCheckEachDatumStillGetsOne) {
  const SFC_report clean = base_report();
  for (const char* key : {"temp",  "ttd",   "dewd", "wind", "alt",   "pralt", "pres", "wx",   "vis",    "cldcl",
                          "cldcv", "ptend", "prec", "maxt", "snwdp", "nlcld", "fr",   "mrat", "thetae", "city"}) {
    RAW_data a, b;
    RAW_data_init(&a);
    RAW_data_init(&b);
    VAR_data va = var_of(key), vb = var_of(key);
    EXPECT_EQ(SFC_get_data(&clean, &va, &a), SFC_get_data_clean(&clean, &vb, &b)) << key;
    EXPECT_EQ(std::memcmp(a.value, b.value, sizeof a.value), 0) << key;
    EXPECT_STREQ(a.data, b.data) << key;
    EXPECT_STREQ(va.units, vb.units) << key;
  }
  SFC_report r = base_report();
  VAR_data v = var_of("temp");
  RAW_data d;
  RAW_data_init(&d);
  const float temps[] = {50, 1e10f, 50, NAN, -40};
  const float want[] = {50, M, 50, M, -40};
  for (std::size_t i = 0; i < std::size(temps); ++i) {
    r.t = temps[i];
    SFC_get_data(&r, &v, &d);
    EXPECT_EQ(d.value[0], want[i]) << temps[i];
  }
}

TEST_F(SfcPlt, CloudsAndTimes) {
  SFC_report r = base_report();
  r.cld_cover[0] = 'C';
  r.cld_height[0] = M;
  Got g = get(r, var_of("cldcl"));
  EXPECT_EQ(g.v0, 500);
  EXPECT_EQ(g.text, "");
  EXPECT_EQ(get(r, var_of("cldclc")).v0, M);
  struct Cover {
    char c;
    float pct;
  };
  for (const Cover& c : {Cover{'O', 100}, Cover{'8', 100}, Cover{'4', 50}, Cover{'B', 67}, Cover{'X', 100},
                         Cover{'9', 100}, Cover{'C', 0}, Cover{'F', M}}) {
    r.cld_cover[0] = c.c;
    EXPECT_EQ(get(r, var_of("cldcv")).v0, c.pct) << c.c;
  }
  r = base_report();
  EXPECT_NEAR(get(r, var_of("prec", "", 6000)).v0, 0.06f, 1e-6);
  EXPECT_NEAR(get(r, var_of("prec", "", 3000)).v0, 0.03f, 1e-6);
  r.rain24 = M;
  EXPECT_NEAR(get(r, var_of("prec")).v0, 0.12f, 1e-6);
  r.rain12 = M;
  EXPECT_NEAR(get(r, var_of("prec")).v0, 0.06f, 1e-6);
  EXPECT_EQ(get(r, var_of("maxt", "", 6000)).v0, 55);
  EXPECT_EQ(get(r, var_of("mint", "", 24000)).v0, 30);
  r.max_t = M;
  EXPECT_EQ(get(r, var_of("extt")).v0, 30);
}

TEST_F(SfcPlt, FlightCategoryAndLevels) {
  struct Case {
    char cover;
    float height, vis;
    const char* fr;
  };
  for (const Case& c : {Case{'B', 800, 10, "IFR"}, Case{'S', 800, 10, "VFR"}, Case{'O', 2000, 10, "MVFR"},
                        Case{'4', 800, 10, "IFR"}, Case{'3', 800, 10, "VFR"}, Case{'8', 2500, 10, "MVFR"},
                        Case{'S', 800, 2, "IFR"}, Case{'S', 800, 5, "MVFR"}, Case{'S', 800, M, "VFR"}}) {
    SFC_report r = base_report();
    r.cld_cover[0] = c.cover;
    r.cld_height[0] = c.height;
    r.vis = c.vis;
    EXPECT_EQ(get(r, var_of("fr")).text, c.fr) << c.cover << c.height << " " << c.vis;
  }
  const SFC_report r = base_report();
  const float t = static_cast<float>(K(r.t)), td = static_cast<float>(K(r.td));
  const float p = sfc_pr_alt(33.85399f * r.alt, r.elev);
  Got g = get(r, var_of("pres", "", 0, SFC_LEV_LCL));
  EXPECT_NEAR(g.v0, lcl_pres(t, td, p), 1e-2);
  EXPECT_NEAR(g.v1, lcl_temp(t, p, lcl_pres(t, td, p)), 1e-2);
  g = get(r, var_of("pres", "", 0, VAR_LEV_MSL));
  EXPECT_NEAR(g.v0, 1013.2f, 1e-3);
  EXPECT_EQ(g.text, "132");
}

} // namespace

namespace {

/* The altimeter's text is its hundredths as the files store them: 30.13
 * is held as 30.1299..., and must not read "012". */
TEST_F(SfcPlt, AltimeterTextOverTheWholeRange) {
  SFC_report r = base_report();
  for (int h = 2800; h <= 3100; ++h) {
    r.alt = static_cast<float>(h / 100.0);
    char want[8];
    std::snprintf(want, sizeof want, "%03d", h % 1000);
    EXPECT_EQ(get(r, var_of("alt")).text, want) << h;
  }
}

/* The pressure's code is its tenths of mb modulo 1000 in three digits;
 * a value below zero keeps its sign, as printf's "%3.3d" writes it. */
TEST_F(SfcPlt, PressureCodesKeepThreeDigits) {
  struct Case {
    float pmb;
    const char* text;
  };
  const Case cases[] = {{1000.0f, "000"}, {1001.2f, "012"}, {999.9f, "999"},
                        {1013.2f, "132"}, {0.5f, "005"},    {-12.3f, "-122"}};
  SFC_report r = base_report();
  for (const Case& c : cases) {
    r.pmb = c.pmb;
    EXPECT_EQ(get(r, var_of("pralt")).text, c.text) << c.pmb;
  }
}

/* Values no instrument gives are missing for every key that reads them,
 * values and texts alike, whatever the source handed over. */
TEST_F(SfcPlt, ValuesNoInstrumentGivesAreMissing) {
  struct Case {
    float SFC_report::*member;
    const char* key;
  };
  const Case cases[] = {{&SFC_report::t, "temp"},     {&SFC_report::t, "theta"},  {&SFC_report::td, "dewd"},
                        {&SFC_report::alt, "alt"},    {&SFC_report::alt, "pres"}, {&SFC_report::vis, "vis"},
                        {&SFC_report::w_spd, "uwnd"}, {&SFC_report::elev, "mrat"}};
  for (float absurd : {1e10f, -1e10f, SFC_VALUE_LIMIT, INFINITY, -INFINITY, NAN}) {
    for (const Case& c : cases) {
      SFC_report r = base_report();
      r.*c.member = absurd;
      const Got g = get(r, var_of(c.key));
      EXPECT_EQ(g.v0, M) << c.key << " of " << absurd;
      EXPECT_EQ(g.text, "") << c.key << " of " << absurd;
    }
  }
  /* A sea-level pressure that is no measurement is missing, so the
   * altimeter stands in for it. */
  SFC_report r = base_report();
  r.pmb = 1e10f;
  EXPECT_NEAR(get(r, var_of("pralt")).v0, 29.92 * 33.85399, 0.01);
  /* Large but real values stay. */
  r = base_report();
  r.cld_height[0] = 45000;
  EXPECT_EQ(get(r, var_of("cldcl")).v0, 450);
}

} // namespace
