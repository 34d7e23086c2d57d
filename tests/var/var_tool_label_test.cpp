/*
 * Record predicates and accessors, labels in the label styles, the short
 * texts of times and levels, and the shipped variable, source and model
 * tables.
 */
#include "kez.h"
#include "kez_test.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using kez_test::capture;
using kez_test::run_child;
using kez_test::TempDir;
using kez_test::write_file;

/* The shipped tables. */
class VarLabel : public ::testing::Test {
 protected:
  void SetUp() override {
    FLAG_reset(KEZ_MISS);
    RES_put("file_path", KEZ_DATA_DIR);
    PLT_set_label_type(0);
  }
  void TearDown() override { PLT_set_label_type(0); }
};

struct Predicate {
  const char* name;
  int (*test)(int);
};

const Predicate kPredicates[] = {
    {"REG", VAR_is_REG},
    {"SUBREG", VAR_is_SUBREG},
    {"FUNC", VAR_is_FUNC},
    {"SUBFUNC", VAR_is_SUBFUNC},
    {"COMP", VAR_is_COMP},
    {"VECT", VAR_is_VECT},
    {"SUBFUNC_VECT", VAR_is_SUBFUNC_VECT},
    {"FUNC_VECT", VAR_is_FUNC_VECT},
    {"CALC", VAR_is_CALC},
    {"SUBCALC", VAR_is_SUBCALC},
    {"LABEL", VAR_is_LABEL},
    {"PLOT", VAR_is_PLOT},
    {"SUBPLOT", VAR_is_SUBPLOT},
    {"DATA", VAR_is_DATA},
    {"plot_VECT", VAR_is_plot_VECT},
    {"plot_FUNC", VAR_is_plot_FUNC},
    {"plot_FUNC_VECT", VAR_is_plot_FUNC_VECT},
    {"plot_PLOT", VAR_is_plot_PLOT},
    {"plot_GRID", VAR_is_plot_GRID},
    {"subplot_GRID", VAR_is_subplot_GRID},
    {"type_MAP", VAR_is_type_MAP},
    {"FRAME", VAR_is_FRAME},
    {"PANEL", VAR_is_PANEL},
    {"type_PLOT", VAR_is_type_PLOT},
    {"type_GRID", VAR_is_type_GRID},
    {"type_CONT", VAR_is_type_CONT},
    {"plot_CONT", VAR_is_plot_CONT},
    {"type_VECT", VAR_is_type_VECT},
    {"calc_GRID", VAR_is_calc_GRID},
    {"fit_GRID", VAR_is_fit_GRID},
    {"get_GRID", VAR_is_get_GRID},
};

std::string holding(int ind) {
  std::string out;
  for (const Predicate& p : kPredicates)
    if (p.test(ind)) out += (out.empty() ? "" : " ") + std::string(p.name);
  return out;
}

std::string label(int time, int ltype, int level, int var, const char* units) {
  char str[256];
  capture([&] { VAR_make_datatype(time, ltype, level, var, units, str, sizeof str); });
  return str;
}

} // namespace

TEST_F(VarLabel, PredicatesOverRepresentativeRecords) {
  struct Case {
    int flag, type;
    const char* holds;
    const char* why;
  };
  const Case cases[] = {
      {2, KEZ_MISS, "FUNC LABEL PLOT SUBPLOT DATA plot_FUNC plot_PLOT type_PLOT", "top-level function, type unset"},
      {1, 2, "SUBREG CALC SUBCALC PLOT SUBPLOT DATA plot_PLOT type_PLOT", "group member"},
      {10, 2, "REG CALC SUBCALC SUBPLOT DATA type_PLOT", "function argument"},
      {4, 6, "PLOT DATA type_MAP", "map item"},
      {6, 10, "VECT LABEL DATA plot_VECT type_CONT get_GRID", "vector header"},
      {2, 11,
       "FUNC FUNC_VECT LABEL PLOT SUBPLOT DATA plot_FUNC plot_FUNC_VECT plot_GRID subplot_GRID "
       "type_GRID type_CONT "
       "plot_CONT calc_GRID",
       "vector-valued function"},
      {8, 11, "FUNC_VECT DATA plot_FUNC_VECT type_CONT plot_CONT get_GRID", "its second output"},
      {0, 20,
       "REG CALC SUBCALC LABEL PLOT SUBPLOT plot_GRID subplot_GRID type_GRID type_VECT fit_GRID "
       "get_GRID",
       "wind fitted from stations"},
      {0, 40, "REG CALC SUBCALC LABEL PLOT SUBPLOT DATA plot_PLOT type_PLOT", "constant"},
      {3, 10, "SUBFUNC PLOT DATA plot_GRID type_GRID type_CONT calc_GRID get_GRID", "sub-function"},
      {10, 21, "REG CALC SUBCALC SUBPLOT subplot_GRID type_GRID type_VECT fit_GRID get_GRID", "vector argument"},
      {5, 2, "COMP LABEL DATA type_PLOT", "group header"},
      {4, 7, "PLOT DATA FRAME", "frame item"},
      {4, 8, "PLOT DATA PANEL", "panel item"},
      {9, 10, "SUBFUNC_VECT DATA type_CONT get_GRID", "second output of a sub-function"},
  };
  VAR_init();
  int n = static_cast<int>(sizeof cases / sizeof cases[0]);
  VAR_set_num(n);
  for (int i = 0; i < n; ++i) {
    EXPECT_EQ(VAR_set_flag(i, cases[i].flag), 1);
    EXPECT_EQ(VAR_set_type(i, cases[i].type), 1);
  }
  for (int i = 0; i < n; ++i) EXPECT_EQ(holding(i), cases[i].holds) << cases[i].why;

  /* The last record of the table has no next record. */
  VAR_set_flag(VAR_MAX_RECORDS - 1, 2);
  EXPECT_EQ(VAR_is_FUNC_VECT(VAR_MAX_RECORDS - 1), 0);
  for (int bad : {-1, VAR_MAX_RECORDS, 1 << 30}) {
    EXPECT_EQ(holding(bad), "") << bad;
    EXPECT_EQ(VAR_get_var(bad), nullptr);
    EXPECT_STREQ(VAR_get_name(bad), "");
    EXPECT_STREQ(VAR_get_units(bad), "");
    EXPECT_STREQ(VAR_get_format(bad), "");
    EXPECT_STREQ(VAR_get_level_key(bad), "");
    EXPECT_EQ(VAR_get_type(bad), KEZ_MISS);
    EXPECT_EQ(VAR_set_type(bad, 2), 0);
    EXPECT_EQ(VAR_set_flag(bad, 2), 0);
  }
  VAR_init();
}

TEST_F(VarLabel, AccessorsAndKeys) {
  capture([] { VAR_setup(nullptr, "12:500mb:+temp:F:cont:lc=2"); });
  EXPECT_STREQ(VAR_get_name(0), "temp");
  EXPECT_STREQ(VAR_get_units(0), "F");
  EXPECT_STREQ(VAR_get_format(0), "lc=2");
  EXPECT_EQ(VAR_get_type(0), 11);
  EXPECT_EQ(VAR_get_time(0), 12);
  EXPECT_EQ(VAR_get_flag(0), 0);
  EXPECT_STREQ(VAR_get_level_key(0), "500");
  EXPECT_STREQ(VAR_get_time_key(0), "12");
  VAR_data* v = VAR_get_var(0);
  v->level = INT_MIN;
  EXPECT_STREQ(VAR_get_level_key(0), "-2147483648") << "the widest code fits the key";
  EXPECT_EQ(VAR_get_vars(), VAR_get_var(0));
}

TEST_F(VarLabel, DataLabelsInEachStyle) {
  EXPECT_EQ(label(4000012, 1, 0, 61, "in"), "12 hour acc Surface Total precipitation (in)");
  PLT_set_label_type(-1);
  EXPECT_EQ(label(4000012, 1, 0, 61, "in"), "12 hour acc Surface prec (in)");
  PLT_set_label_type(-2);
  EXPECT_EQ(label(4000012, 1, 0, 61, "in"), "prec (in)");
  PLT_set_label_type(0);

  struct Case {
    int time, ltype, level;
    const char* want;
  };
  const Case cases[] = {
      {12, 100, 500, "500 mb Temperature"},
      {12, 101, 50100, "1000-500 mb Temperature"},
      {12, 101, 50190, "sfc-500 mb Temperature"},
      {12, 101, 30195, "trop-300 mb Temperature"},
      {12, 101, 50203, "sfc[30]-500 mb Temperature"},
      {12, 101, 510, "1000-500 mb Temperature"},
      {12, 101, 599, "SFC-500 mb Temperature"},
      {12, 101, 123, "Temperature"},
      {3006012, 100, 500, "6 hour avg 500 mb Temperature"},
      {13006024, 1, 0, "24 hour iavg Surface Temperature"},
      {2000810, 1, 0, "10 day rng Surface Temperature"},
      {12, 104, 10995, "trop+1000 m Temperature"},
      {12, 104, 30000, "0-3000 m Temperature"},
      {12, 106, 30000, "0-3000 m AG Temperature"},
      {12, 107, 9950, "0.99 sigma Temperature"},
      {12, 114, 310300, "300-310 K Temperature"},
      {12, 1, 2, "Surface[2] Temperature"},
      {12, 1, 2500, "Surface[500] Temperature"},
      {12, 206, 0, "Grid cld bot lvl Temperature"},
      {12, 0, 0, "Temperature"},
      {12, KEZ_MISS, KEZ_MISS, "Temperature"},
      {12, 150, 0, "Temperature"},
  };
  for (const Case& c : cases) EXPECT_EQ(label(c.time, c.ltype, c.level, 11, ""), c.want) << c.want;

  auto c = capture([] {
    char str[64];
    VAR_make_datalevel(12, 150, 0, str, sizeof str);
  });
  EXPECT_EQ(c.err, "VAR_make_datatype: no ltype: 150\n");
}

TEST_F(VarLabel, RecordAndQuantityLabels) {
  capture([] { VAR_setup(nullptr, "12-12acc:sfc:+prec:in:value:lc=2"); });
  char str[256];
  VAR_make_var_datatype(0, str, sizeof str);
  EXPECT_STREQ(str, "12 hour acc Surface Total precipitation (in)");
  VAR_make_var_form_datatype(0, str, sizeof str);
  EXPECT_STREQ(str, "12 hour acc Surface Total precipitation (in)") << "style 0 shows no options";
  PLT_set_label_type(1);
  VAR_make_var_form_datatype(0, str, sizeof str);
  EXPECT_STREQ(str, "12 hour acc Surface Total precipitation (in) - lc=2");
  VAR_make_vardata_form_datatype(VAR_get_var(0), str, sizeof str);
  EXPECT_STREQ(str, "12 hour acc Surface Total precipitation (in) - lc=2");
  VAR_make_var_form_datatype(VAR_MAX_RECORDS, str, sizeof str);
  EXPECT_STREQ(str, "");
  PLT_set_label_type(0);
  VAR_make_devtype(0, 100, 500, "thickness", "", str, sizeof str);
  EXPECT_STREQ(str, "500 mb thickness ()");
  /* A small text takes the beginning of the label. */
  char small[8] = "xxxxxxx";
  VAR_make_datatype(4000012, 1, 0, 61, "in", small, sizeof small);
  EXPECT_STREQ(small, "12 hour");
  VAR_make_datatype(4000012, 1, 0, 61, "in", small, 0);
  EXPECT_STREQ(small, "12 hour") << "no room: nothing written";

  auto info = capture([] { VAR_print_info(M_print, VAR_get_var(0)); });
  EXPECT_EQ(info.out, "12 hour acc Surface Total precipitation (in)\n");
  auto all = capture([] { VAR_print_all(M_print); });
  EXPECT_EQ(all.out.find("V: prec"), 0u);
}

/* A record whose name is no parameter, such as a group's, is labelled by
 * its name rather than by the empty number 0; a number written directly
 * keeps its "v" label. */
TEST_F(VarLabel, RecordsWithoutAParameterAreLabelledByName) {
  FLAG_set(7, 1); /* the surface, as the surface program sets it */
  capture([] { VAR_setup(nullptr, "Station_model{+temp,+dewp},+999,Plain"); });
  char str[128];
  const struct {
    int ind;
    const char* want;
  } cases[] = {{0, "Surface Station model"}, {1, "Surface Temperature"}, {3, "Surface v999"}, {4, "Surface Plain"}};
  for (const auto& c : cases) {
    capture([&] { VAR_make_var_datatype(c.ind, str, sizeof str); });
    EXPECT_STREQ(str, c.want) << c.ind << " " << VAR_get_name(c.ind);
    capture([&] { VAR_make_var_form_datatype(c.ind, str, sizeof str); });
    EXPECT_STREQ(str, c.want) << c.ind;
  }
  /* Loose codes have no name to fall back on. */
  capture([&] { VAR_make_datatype(0, 1, 0, 0, "", str, sizeof str); });
  EXPECT_STREQ(str, "Surface v0");
}

TEST_F(VarLabel, ParameterNames) {
  char str[64];
  struct Case {
    int code;
    const char* units;
    const char* want;
  };
  const Case cases[] = {
      {19000011, "K", "Temperature (K)"},
      {11, nullptr, "Temperature"},
      {999, nullptr, "v999"},
      {1910111050, "%", "Temperature (%)"},
      {1910118050, "", "Temperature"},
      {19323011, "", "Temperature"},
      {61, "in", "Total precipitation (in)"},
      /* Edition 2 parameters without an edition 1 number keep their own
       * digits: 1008 is not "Geometrical height" (8), 10003000 not 0. */
      {1008, "kg m-2", "v1008 (kg m-2)"},
      {10003000, "", "v10003000"},
      /* Members from 20 on, other derived forecasts and chemical
       * constituents by the GRIB decoder's tags. */
      {1300789011, "K", "Ens[+21] Temperature (K)"},
      {1300532011, "", "Ens[-20] Temperature"},
      {1301045011, "", "Ens[c21] Temperature"},
      {1300021011, "", "Ens[?21] Temperature"},
      {1400004011, "", "Ens derived[4] Temperature"},
      {1510000002, "", "Chem[10000] v20002"},
  };
  for (const Case& c : cases) {
    capture([&] { VAR_str(str, c.code, c.units, sizeof str); });
    EXPECT_STREQ(str, c.want) << c.code;
  }
  PLT_set_label_type(-1);
  EXPECT_STREQ(VAR_str(str, 1910111050, "", sizeof str), "temp");
  /* A perturbed member's abbreviation is the name that asks for it. */
  EXPECT_STREQ(VAR_str(str, 1300789011, "K", sizeof str), "ens[+21]temp (K)");
  EXPECT_STREQ(VAR_str(str, 1400004011, "", sizeof str), "Ens derived[4] temp");
  PLT_set_label_type(0);
  EXPECT_STREQ(VAR_abbr(str, 17, sizeof str), "dewp");
  capture([&] { VAR_abbr(str, 19000011, sizeof str); });
  EXPECT_STREQ(str, "") << "no modulo in abbreviations";
}

TEST_F(VarLabel, ShortTimeTextsReadBack) {
  struct Case {
    int code;
    const char* text;
  };
  const Case cases[] = {
      {0, "init"},
      {12, "12hr"},
      {999, "999hr"},
      {4006012, "12hr-6acc "},
      {3012024, "24hr-12avg "},
      {2012024, "24hr-12rng "},
      {13006024, "24hr-18iavg "},
      {23000024, "24hr-24uavg "},
      {4012000, "anal-12acc "},
      {18000006, "6hr-6var "},
      {KEZ_MISS, "miss"},
      {7999999, "999hr-0min "},
  };
  for (const Case& c : cases) {
    char str[32];
    EXPECT_STREQ(VAR_time(str, c.code, sizeof str), c.text) << c.code;
    int back = 4242;
    int r = VAR_dec_time(str, &back);
    EXPECT_EQ(r, 2) << str;
    EXPECT_EQ(back, c.code) << str;
  }
}

TEST_F(VarLabel, ShortLevelTextsReadBack) {
  struct Case {
    int ltype, level;
    const char* text;
  };
  const Case cases[] = {
      {1, 0, "sfc"},
      {1, 2, "sfc[2]"},
      {4, 0, "frz"},
      {5, 0, "lcl"},
      {6, 0, "mwnd"},
      {7, 0, "trop"},
      {100, 500, "500mb"},
      {101, 50100, "500-1000mb"},
      {101, 50190, "500-1900mb"},
      {101, 30195, "300-1950mb"},
      {102, 0, "sl"},
      {103, 2, "2m"},
      {104, 30000, "0-3000m"},
      {104, 10995, "99500-1000m"},
      {105, 10, "10m_ag"},
      {106, 30000, "0-3000m_ag"},
      {107, 9950, "0.995sig"},
      {107, 5000, "0.50sig"},
      {108, 995500, "0.50-0.995sig"},
      {109, 5, "5lev"},
      {113, 300, "300K"},
      {114, 310300, "300-310K"},
      {115, 30, "30mb_ag"},
      {116, 30000, "0-30mb_ag"},
      {119, 5000, "0.50eta"},
      {120, 995500, "0.50-0.995eta"},
      {200, 0, "whole"},
      {204, 0, "top_frz"},
      {209, 0, "blcld_bot"},
      {215, 0, "cld_ceil"},
      {245, 0, "wbzero"},
      {254, 0, "sclw_top"},
  };
  for (const Case& c : cases) {
    char str[64] = "junk";
    EXPECT_STREQ(VAR_level(str, c.ltype, c.level, sizeof str), c.text) << c.ltype;
    int t = 4242, l = 4242;
    capture([&] { VAR_dec_level(str, &t, &l); });
    EXPECT_EQ(t, c.ltype) << str;
    EXPECT_EQ(l, c.level) << str;
  }
  char str[16] = "junk";
  auto c = capture([&] { VAR_level(str, 150, 0, sizeof str); });
  EXPECT_STREQ(str, "") << "the text is emptied first";
  EXPECT_EQ(c.err, "VAR_make_datatype: no ltype: 150\n");
  EXPECT_STREQ(VAR_level(str, 101, 510, sizeof str), "");
  EXPECT_STREQ(VAR_level(str, 206, 0, sizeof str), "gscld_bot");
}

TEST_F(VarLabel, ShippedTablesHoldEveryNameTheSystemLooksUp) {
  const std::vector<std::string> names = {
      /* surface variable keys */
      "city", "temp", "ttd", "dewp", "dewd", "wdir", "wspd", "wgst", "wbrbc", "wbrb", "wind", "hwind", "uwnd", "uwndg",
      "vwnd", "vwndg", "alt", "pralt", "pres", "elev", "wx", "vis", "cldcl", "cldclc", "cldcv", "ptend", "prec1",
      "prec3", "prec6", "prec12", "prec24", "prec", "extt", "maxt6", "maxt24", "maxt", "mint6", "mint24", "mint",
      "snwdp", "nlcld", "lcld", "mcld", "hcld", "solar", "sst", "wavper", "wavhgt", "vpres", "svpres", "wchilt",
      "wchill", "wchill2", "wchilf", "heat", "humit", "mrat", "smrat", "shum", "rhum", "wetblb", "thetaw", "thetae",
      "thetav", "theta", "vtemp", "fr",
      /* grid request codes */
      "pr", "hh", "st", "rh", "li", "uw", "vw", "vv", "qp", "sc", "wh", "wp", "wd", "ss",
      /* calculator functions */
      "copy", "max", "min", "add", "sum", "avg", "interp", "sub", "thick", "mul", "mod", "sqrt", "pow", "exp", "log",
      "log10", "abs", "div", "sin", "cos", "tan", "asin", "acos", "atan", "atan2", "smooth", "lat", "lon", "projx",
      "projy", "show", "pr_alt", "wind", "vect", "stream", "strm", "spd", "mag", "dir", "ewdir", "uwnd", "vwnd",
      "uwndg", "vwndg", "dot", "cross", "dx", "dy", "grad", "vdiff", "lapl", "conv", "diverg", "vconv", "rvort",
      "avort", "def1", "def2", "adv", "ugeos", "vgeos", "uq", "vq", "vapor", "mixrat"};
  EXPECT_EQ(names.size(), 67u + 14u + 65u);
  for (const std::string& n : names) EXPECT_GT(VAR_search_var_num(n.c_str()), 0) << n;
  struct Case {
    const char* abbr;
    int number;
  };
  const Case fixed[] = {{"dewp", 17}, {"wspd", 32}, {"spd", 32}, {"wdir", 31}, {"temp", 11}, {"prec", 61}, {"pr", 1},
                        {"hh", 7},    {"st", 11},   {"rh", 52},  {"li", 131},  {"uw", 33},   {"vw", 34},   {"vv", 39},
                        {"qp", 61},   {"sc", 66},   {"wh", 100}, {"wp", 108},  {"wd", 107},  {"ss", 80}};
  for (const Case& c : fixed) EXPECT_EQ(VAR_search_var_num(c.abbr), c.number) << c.abbr;
}

TEST(VarShippedTables, ScriptRegeneratesThemIdentically) {
  const std::string defs = "/usr/share/eccodes/definitions";
  if (!kez_test::have_program("/usr/bin/python3") ||
      kez_test::run_command("test -r " + defs + "/grib1/2.0.3.table") != 0)
    GTEST_SKIP() << "the WMO tables of libeccodes-data are not installed";
  TempDir dir;
  ASSERT_EQ(kez_test::run_command("/usr/bin/python3 " KEZ_SOURCE_DIR "/tools/make_variable_lup.py " + defs + " " +
                                  dir.path()),
            0);
  for (const char* f : {"variable.lup", "source.lup"})
    EXPECT_EQ(kez_test::read_file(dir.file(f)), kez_test::read_file(std::string(KEZ_DATA_DIR "/") + f)) << f;
}

TEST(VarShippedTables, SourcesAndModels) {
  auto r = run_child([] {
    RES_put("file_path", KEZ_DATA_DIR);
    char str[64];
    std::string out;
    for (int s : {7, 98, 4242}) out += std::string(VAR_source(str, s, sizeof str)) + "|";
    char small[5];
    out += std::string(VAR_source(small, 7, sizeof small)) + "|";
    for (int m : {1, 2, 3, 4, 15, 20, 31, 32, 33}) {
      std::string name;
      VAR_model(&name, m);
      out += name + "|";
    }
    std::printf("%s", out.c_str());
    return 0;
  });
  EXPECT_EQ(r.out,
            "US National Weather Service - NCEP (WMC)|European Centre for Medium-Range Weather||US N|"
            "|ngm|eta|ruc|avn|ecmwf|sww|sst|sca|");
  TempDir dir;
  auto m = run_child([&] {
    RES_put("file_path", dir.path().c_str());
    char str[16] = "kept";
    const char* got = VAR_source(str, 7, sizeof str);
    std::printf("%s|%s", got ? "found" : "null", str);
    return 0;
  });
  EXPECT_EQ(m.out, "null|");
  EXPECT_EQ(m.err, "VAR_source: Unable to open file: " + dir.path() + "/source.lup\n");
}

TEST(VarShippedTables, ModelNamesDoNotDependOnEarlierRequests) {
  TempDir dir;
  write_file(dir.file("mod_name.lup"), "7:2 seven two\n2 any two\n");
  auto r = run_child([&] {
    RES_put("file_path", dir.path().c_str());
    std::string out;
    for (int code : {2, 7002, 2, 8002, 7002}) {
      std::string name;
      VAR_model(&name, code);
      out += name + "|";
    }
    std::printf("%s", out.c_str());
    return 0;
  });
  EXPECT_EQ(r.out, "any two|seven two|any two|any two|seven two|");
}
