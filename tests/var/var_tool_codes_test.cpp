/*
 * The codes of time, level, plot type and parameter, as the decoders read
 * them from single fields and names.
 */
#include "kez.h"
#include "kez_test.h"
#include "kezgrd.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include <unistd.h>

namespace {

using kez_test::capture;

const std::string kFixtures = KEZ_SOURCE_DIR "/tests/var/var";

class VarCodes : public ::testing::Test {
 protected:
  void SetUp() override {
    FLAG_reset(KEZ_MISS);
    RES_put("file_path", kFixtures.c_str());
    GRD_calc_register();
    VAR_set_def_type(VAR_TYPE_VALUE);
  }
};

/* Decodes a time field outside parsing; "result code" or "result". */
std::string time_of(const char* field) {
  int t = 4242;
  int r = 0;
  capture([&] { r = VAR_dec_time(field, &t); });
  return std::to_string(r) + " " + std::to_string(t);
}

std::string level_of(const char* field) {
  int t = 4242, l = 4242;
  int r = 0;
  capture([&] { r = VAR_dec_level(field, &t, &l); });
  return std::to_string(r) + " " + std::to_string(t) + " " + std::to_string(l);
}

} // namespace

TEST_F(VarCodes, TimeFields) {
  struct Case {
    const char* field;
    const char* want; /* result and code; 4242 untouched */
  };
  const Case cases[] = {
      {"12", "2 12"},
      {"2day", "2 48"},
      {"2d", "2 48"},
      {"2.5day", "2 60"},
      {"2e", "2 60"},
      {"d2", "2 48"},
      {"e1", "2 36"},
      {"h12-6avg", "2 3006012"},
      {"12-6acc", "2 4006012"},
      {"12-6", "2 12"},
      {"miss", "2 -9999"},
      {"in", "2 0"},
      {"init", "2 0"},
      {"INIT", "2 0"},
      {"anal", "2 0"},
      {"anal-12acc", "2 4012000"},
      {"12-6xyz", "2 2006012"},
      {"12hr", "2 12"},
      {"d41", "2 984"},
      {"999", "2 999"},
      {"temp", "0 4242"},
      {"-5", "0 4242"},
      {"", "2 0"},
      {"time", "1 0"},
      {"12-13acc", "-1 4242"},
      {"d42", "-1 4242"},
      {"e42", "-1 4242"},
      {"1000", "-1 4242"},
      {"anal-1000acc", "-1 4242"},
      {"99999999999999999999", "-1 4242"},
      {"time-1", "-1 4242"},
  };
  for (const Case& c : cases) EXPECT_EQ(time_of(c.field), c.want) << c.field;
}

TEST_F(VarCodes, TimeFieldsCountBackFromTheInheritedTime) {
  FLAG_set(6, 24);
  struct Case {
    const char* field;
    const char* want;
  };
  const Case cases[] = {
      {"", "1 24"},
      {"time", "1 24"},
      {"time-12", "1 12"},
      {"time-12avg", "1 3012024"},
      {"time-12xyz", "1 2012024"},
      {"time-24", "1 0"},
      {"time-25", "-1 4242"},
      {"time-x", "-1 4242"},
  };
  for (const Case& c : cases) EXPECT_EQ(time_of(c.field), c.want) << c.field;
  FLAG_set(6, KEZ_MISS);
  EXPECT_EQ(time_of(""), "2 0");
}

TEST_F(VarCodes, LevelFields) {
  struct Case {
    const char* field;
    const char* want; /* result, type, code; 4242 untouched */
  };
  const Case cases[] = {
      {"500mb", "2 100 500"},
      {"500", "2 100 500"},
      {"p500", "2 100 500"},
      {"1000-500mb", "2 101 50100"},
      {"500-1000mb", "2 101 50100"},
      {"p1000-500", "2 101 50100"},
      {"1000-500", "2 101 50100"},
      {"sfc-500mb", "2 101 50190"},
      {"trop-300mb", "2 101 30195"},
      {"maxt-500mb", "2 101 50191"},
      {"sfc[30]-500mb", "2 101 50203"},
      {"2m", "2 103 2"},
      {"h2", "2 103 2"},
      {"10m_ag", "2 105 10"},
      {"a10", "2 105 10"},
      {"1000ft", "2 103 304"},
      {"1000ft_ag", "2 105 304"},
      {"0-3000m", "2 104 30000"},
      {"h0-3000", "2 104 30000"},
      {"a0-3000", "2 106 30000"},
      {"0-3000m_ag", "2 106 30000"},
      {"0-10000ft", "2 104 30000"},
      {"0ft-10000ft_ag", "2 106 30000"},
      {"1000ft-3000m", "2 104 30003"},
      {"sfc[99999999999]", "-1 4242 4242"},
      {"trop+1000m", "2 104 10995"},
      {"trop-1000m", "2 104 10996"},
      {"300K", "2 113 300"},
      {"k300", "2 113 300"},
      {"300-310K", "2 114 310300"},
      {"k300-310", "2 114 310300"},
      {"0.995sig", "2 107 9950"},
      {"s0.995", "2 107 9950"},
      {"0.5-0.995sig", "2 108 995500"},
      {"s0.5-0.995", "2 108 995500"},
      {"0.5-0.995eta", "2 120 995500"},
      {"0.5eta", "2 119 5000"},
      {"5lev", "2 109 5"},
      {"2pv", "2 117 2"},
      {"30mb_ag", "2 115 30"},
      {"0-30mb_ag", "2 116 30000"},
      {"sfc[2]", "2 1 2"},
      {"sea", "2 1 0"},
      {"SFC", "2 1 0"},
      {"sl", "2 102 0"},
      {"none", "2 0 0"},
      {"snd", "2 0 0"},
      {"-", "2 9 0"},
      {"miss", "2 -9999 -9999"},
      {"-5m", "2 103 -5"},
      {"1e12mb", "-1 4242 4242"},
      {"xyz", "-1 4242 4242"},
      {"pxyz", "-1 4242 4242"},
      {"500-1000xyz", "-1 4242 4242"},
      {"p5000-10000", "-1 4242 4242"},
      {"500-", "-1 4242 4242"},
      {"-10-300K", "-1 4242 4242"},
      {"1.0-0.5sig", "-1 4242 4242"},
      {"level", "1 -9999 -9999"},
      {"", "2 4242 4242"},
  };
  for (const Case& c : cases) EXPECT_EQ(level_of(c.field), c.want) << c.field;
  FLAG_set(7, 100);
  FLAG_set(8, 850);
  EXPECT_EQ(level_of(""), "1 100 850");
  EXPECT_EQ(level_of("level"), "1 100 850");
}

TEST_F(VarCodes, EveryLevelWordGivesItsType) {
  struct Case {
    const char* word;
    int type;
  };
  const Case cases[] = {
      {"none", 0},        {"snd", 0},         {"sfc", 1},         {"sf", 1},         {"sea", 1},
      {"se", 1},          {"frz", 4},         {"lcl", 5},         {"mwnd", 6},       {"trop", 7},
      {"sl", 102},        {"whole", 200},     {"top_frz", 204},   {"gcld_bot", 206}, {"gcld_top", 207},
      {"blcld_bot", 209}, {"blcld_top", 210}, {"blcld_lyr", 211}, {"lcld_bot", 212}, {"lcld_top", 213},
      {"lcld_lyr", 214},  {"cld_ceil", 215},  {"mcld_bot", 222},  {"mcld_top", 223}, {"mcld_lyr", 224},
      {"hcld_bot", 232},  {"hcld_top", 233},  {"hcld_lyr", 234},  {"conv_bot", 242}, {"conv_top", 243},
      {"conv_lyr", 244},  {"wbzero", 245},    {"maxepot", 246},   {"equilib", 247},  {"sconv_bot", 248},
      {"sconv_top", 249}, {"dconv_bot", 251}, {"dconv_top", 252}, {"sclw_bot", 253}, {"sclw_top", 254},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(level_of(c.word), "2 " + std::to_string(c.type) + " 0") << c.word;
    std::string upper = c.word;
    for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    EXPECT_EQ(level_of(upper.c_str()), "2 " + std::to_string(c.type) + " 0") << upper;
  }
}

TEST_F(VarCodes, LayerBoundsRoundTrip) {
  struct Case {
    int ltype, level;
    float l1, l2; /* the bounds VAR_get_level gives */
  };
  const Case cases[] = {
      {101, 50100, 1000, 500},
      {101, 50190, 1900, 500},
      {101, 30195, 1950, 300},
      {101, 510, 5100, 0},
      {104, 30000, 3000, 0},
      {104, 10995, 99500, 1000},
      {104, 10996, 99600, 1000},
      {106, 30000, 3000, 0},
      {114, 310300, 310, 300},
      {116, 30000, 30, 0},
      {108, 995500, 995500, KEZ_FMISS},
      {112, 10005, 10005, KEZ_FMISS},
      {120, 995500, 995500, KEZ_FMISS},
      {100, 500, 500, KEZ_FMISS},
  };
  for (const Case& c : cases) {
    float l1 = 0, l2 = 0;
    VAR_get_level(c.ltype, c.level, &l1, &l2);
    EXPECT_EQ(l1, c.l1) << c.ltype << " " << c.level;
    EXPECT_EQ(l2, c.l2) << c.ltype << " " << c.level;
    int t = 0, l = 0;
    VAR_enc_level(c.ltype, l1, l2, &t, &l);
    EXPECT_EQ(t, c.ltype) << c.ltype << " " << c.level;
    EXPECT_EQ(l, c.level) << c.ltype << " " << c.level;
  }
  int t = 0, l = 0;
  VAR_enc_level(100, 1000, 500, &t, &l);
  EXPECT_EQ(t, 101);
  EXPECT_EQ(l, 50100);
  VAR_enc_level(103, 0, 3000, &t, &l);
  EXPECT_EQ(t, 104);
  EXPECT_EQ(l, 30000) << "bounds in either order";
  EXPECT_EQ(VAR_enc_level(100, 1e12f, KEZ_FMISS, &t, &l), -1);
  EXPECT_EQ(l, KEZ_MISS);
}

TEST_F(VarCodes, PlotTypeKeywords) {
  struct Case {
    const char* word;
    int code;
  };
  const Case read[] = {{"data", 1},   {"VALUE", 2},  {"text", 3},   {"mark", 4},   {"mk", 4},     {"cont", 11},
                       {"ln", 12},    {"dln", 13},   {"ndln", 14},  {"cf", 15},    {"lcf", 16},   {"gvalue", 17},
                       {"wind", 20},  {"vect", 21},  {"barb", 22},  {"strm", 23},  {"track", 23}, {"plot", 30},
                       {"cloud", 31}, {"wbarb", 32}, {"cbarb", 33}, {"dbarb", 34}, {"vbarb", 35}, {"symb", 36},
                       {"wx", 36},    {"line", 37},  {"lcont", -1}, {"grid", -1},  {"map", -1},   {"", -1}};
  for (const Case& c : read) EXPECT_EQ(VAR_dec_type(c.word), c.code) << c.word;
  EXPECT_STREQ(VAR_print_type(12), "lcont");
  EXPECT_STREQ(VAR_print_type(15), "fcont");
  EXPECT_STREQ(VAR_print_type(5), "int");
  EXPECT_STREQ(VAR_print_type(40), "const");
  EXPECT_STREQ(VAR_print_type(99), "----");
  EXPECT_STREQ(VAR_print_type(KEZ_MISS), "----");
}

TEST_F(VarCodes, FormatFieldsAndForcedContours) {
  VAR_data d{};
  VAR_data_init(&d);
  EXPECT_EQ(VAR_dec_format("barb", &d), 2);
  EXPECT_EQ(d.type, 22);
  FLAG_set(11, 15);
  EXPECT_EQ(VAR_dec_format("value", &d), 1) << "flag 11 turns it into a contour";
  EXPECT_EQ(d.type, 11);
  EXPECT_EQ(VAR_dec_format("wind", &d), 2) << "wind stays";
  EXPECT_EQ(d.type, 20);
  FLAG_set(11, 99);
  EXPECT_EQ(VAR_dec_format("nothing", &d), 0);
  EXPECT_EQ(d.type, 20);
  VAR_dec_units("", &d);
  EXPECT_STREQ(d.units, "");
  VAR_dec_units("kts", &d);
  EXPECT_STREQ(d.units, "kts");
}

TEST_F(VarCodes, NamesGiveParameterNumbers) {
  struct Case {
    const char* name;
    int result;
    int var1; /* var[1] after a record whose var[1] was 77 */
    const char* record_name;
  };
  const Case cases[] = {
      {"temp", 11, KEZ_MISS, "temp"},
      {"TEMP", 11, KEZ_MISS, "TEMP"},
      {"x-temp", 11, KEZ_MISS, "x-temp"},
      {"+temp", 11, KEZ_MISS, "+temp"},
      {"u", 33, 34, "u"},
      {"ensmean[]temp", 19000011, KEZ_MISS, "ensmean[]temp"},
      {"ensdev[]temp", 19001011, KEZ_MISS, "ensdev[]temp"},
      {"ens[-3]temp", 19323011, KEZ_MISS, "ens[-3]temp"},
      {"ens[+2]temp", 19342011, KEZ_MISS, "ens[+2]temp"},
      {"ens[c1]temp", 19300011, KEZ_MISS, "ens[c1]temp"},
      {"ens[5]temp", 19300011, KEZ_MISS, "ens[5]temp"},
      {"ensprob[<5]temp", 1910111050, KEZ_MISS, "ensprob[<5]temp"},
      {"ensprob[>5]temp", 1910112050, KEZ_MISS, "ensprob[>5]temp"},
      {"ensprob[^-5]temp", 1910118050, KEZ_MISS, "ensprob[^-5]temp"},
      {"ensprob[<5]edgep", 2147471050, KEZ_MISS, "ensprob[<5]edgep"},
      {"11", 11, 77, "temp"},
      {"999", 999, 77, "999"},
      {"nothing", 0, 77, "nothing"},
      {"2m_temp", 0, 77, "2m_temp"},
      {"ensprob[<5]bigp", KEZ_MISS, KEZ_MISS, "ensprob[<5]bigp"},
      {"ensprob[<1e30]temp", KEZ_MISS, KEZ_MISS, "ensprob[<1e30]temp"},
      {"ensmean[]ensp", KEZ_MISS, KEZ_MISS, "ensmean[]ensp"},
      /* Members from 20 on as the GRIB decoder numbers them; a member
       * holds one octet. */
      {"ens[-20]temp", 1300532011, KEZ_MISS, "ens[-20]temp"},
      {"ens[+21]temp", 1300789011, KEZ_MISS, "ens[+21]temp"},
      {"ens[+255]temp", 1301023011, KEZ_MISS, "ens[+255]temp"},
      {"ens[+256]temp", KEZ_MISS, KEZ_MISS, "ens[+256]temp"},
      {"ens[-1000]temp", KEZ_MISS, KEZ_MISS, "ens[-1000]temp"},
      {"ens[x1]temp", KEZ_MISS, KEZ_MISS, "ens[x1]temp"},
      {"ensprob[<5temp", KEZ_MISS, KEZ_MISS, "ensprob[<5temp"},
  };
  for (const Case& c : cases) {
    VAR_data d{};
    VAR_data_init(&d);
    d.var[1] = 77;
    int r = 0;
    capture([&] { r = VAR_dec_var(c.name, &d); });
    EXPECT_EQ(r, c.result) << c.name;
    EXPECT_EQ(d.var[0], c.result) << c.name;
    EXPECT_EQ(d.var[1], c.var1) << c.name;
    EXPECT_STREQ(d.name, c.record_name) << c.name;
  }
  VAR_data d{};
  VAR_data_init(&d);
  EXPECT_EQ(VAR_dec_var("#273.15", &d), 1);
  EXPECT_EQ(d.type, 40);
  EXPECT_EQ(d.var[0], KEZ_MISS);
  EXPECT_EQ(VAR_dec_var("", &d), 0);
}

TEST_F(VarCodes, NamesTakeTheirPlotType) {
  struct Case {
    int flag11;
    int kind;
    const char* name;
    int type;
  };
  const Case cases[] = {
      {KEZ_MISS, 0, "temp", 2},   {15, 0, "temp", 15},         {20, 0, "temp", 2},        {KEZ_MISS, 6, "w", 10},
      {21, 6, "w", 21},           {KEZ_MISS, 2, "thetae", 10}, {KEZ_MISS, 2, "vect", 21}, {22, 2, "dewp", 22},
      {KEZ_MISS, 2, "smooth", 2}, {KEZ_MISS, 2, "Thetae", 2},
  };
  for (const Case& c : cases) {
    FLAG_set(11, c.flag11);
    VAR_data d{};
    VAR_data_init(&d);
    d.flag = c.kind;
    capture([&] { VAR_dec_var(c.name, &d); });
    EXPECT_EQ(d.type, c.type) << c.name << " kind " << c.kind << " flag 11 " << c.flag11;
  }
}

TEST_F(VarCodes, VariableTableLookups) {
  EXPECT_EQ(VAR_search_var_num("temp"), 11);
  EXPECT_EQ(VAR_search_var_num("DEWP"), 17);
  EXPECT_EQ(VAR_search_var_num("bad"), 0) << "a line whose numbers do not read is skipped";
  EXPECT_EQ(VAR_search_var_num("toolongabbr"), 0);
  EXPECT_EQ(VAR_search_var_num("six"), 0) << "more than five numbers";
  EXPECT_EQ(VAR_search_var_num("none"), 0);
}

/* Runs in a process of its own (started by the next test), where the
 * table has not been read yet. */
TEST(VarTablesFresh, MissingTableIsTriedAgain) {
  const char* dir = std::getenv("KEZ_VAR_FRESH_DIR");
  if (!dir) GTEST_SKIP() << "run by VarTables.MissingTableWarnsAndIsTriedAgain";
  RES_put("file_path", dir);
  int a = VAR_search_var_num("temp");
  kez_test::write_file(std::string(dir) + "/variable.lup", "11 temp Temperature\n");
  int b = VAR_search_var_num("temp");
  std::printf("lookups: %d %d\n", a, b);
}

TEST(VarTables, MissingTableWarnsAndIsTriedAgain) {
  kez_test::TempDir dir;
  char self[4096] = {0};
  ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
  std::string out;
  /* The child runs the one case whatever share of the cases this process runs. */
  kez_test::run_command("env -u GTEST_TOTAL_SHARDS -u GTEST_SHARD_INDEX KEZ_VAR_FRESH_DIR=" + dir.path() + " " + self +
                            " --gtest_filter=VarTablesFresh.* 2>&1",
                        &out);
  EXPECT_NE(out.find("lookups: 0 11"), std::string::npos) << out;
  EXPECT_NE(out.find("VAR_read_varfile: Unable to open file: " + dir.path() + "/variable.lup\n"), std::string::npos)
      << out;
}

/* The table follows "file_path": a folder without one must not keep
 * answering with the codes of the folder named before. */
TEST(VarTables, TableOfTheFolderNamedNowIsUsed) {
  kez_test::TempDir with, other, without;
  kez_test::write_file(with.file("variable.lup"), "11 temp Temperature\n");
  kez_test::write_file(other.file("variable.lup"), "12 temp Temperature elsewhere\n");
  auto r = kez_test::run_child([&] {
    std::string out;
    for (const kez_test::TempDir* d : {&with, &without, &other, &with}) {
      RES_put("file_path", d->path().c_str());
      out += std::to_string(VAR_search_var_num("temp")) + " ";
    }
    std::printf("%s", out.c_str());
    return 0;
  });
  EXPECT_EQ(r.out, "11 0 12 11 ");
  EXPECT_NE(r.err.find("VAR_read_varfile: Unable to open file: " + without.path() + "/variable.lup"), std::string::npos)
      << r.err;
}

TEST(VarTables, LabelStyleFromPlotParam) {
  auto r = kez_test::run_child([] {
    std::string out;
    for (const char* p : {"labmin", "x,LABSIMP", "labcomp,labnorm", "labc", "nothing"}) {
      PLT_set_label_type(7);
      RES_put("plot_param", p);
      VAR_param_decode();
      out += std::to_string(PLT_get_label_type()) + " ";
    }
    std::printf("%s", out.c_str());
    return 0;
  });
  EXPECT_EQ(r.out, "-2 -1 0 1 7 ");
}

TEST(VarTables, DefinitionFileByProgramName) {
  kez_test::TempDir dir;
  auto r = kez_test::run_child([&] {
    RES_put("file_path", dir.path().c_str());
    int a = VAR_open_file(nullptr);
    char* prog = RES_get_progname(nullptr);
    kez_test::write_file(dir.file(std::string(prog ? prog : "kez") + ".var"), "x X 1 y\n");
    std::free(prog);
    int b = VAR_open_file("");
    std::string def;
    int c = VAR_lookup("x", &def);
    std::printf("%d %d %d %s", a, b, c, def.c_str());
    return 0;
  });
  EXPECT_EQ(r.out, "0 1 1 y");
  EXPECT_NE(r.err.find("VAR_open_file: Unable to open var file: " + dir.path() + "/"), std::string::npos);
}
