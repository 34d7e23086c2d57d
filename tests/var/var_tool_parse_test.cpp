/*
 * The variable-string parser: records, kinds, inheritance, definitions,
 * option brackets and what it does with hostile lists.
 */
#include "kez.h"
#include "kez_test.h"
#include "kezgrd.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using kez_test::capture;
using kez_test::TempDir;
using kez_test::write_file;

const std::string kFixtures = KEZ_SOURCE_DIR "/tests/var/var";

/* Every test starts with the flags as RES_init leaves them, the fixture
 * tables and the calculator's name tests. */
class VarParse : public ::testing::Test {
 protected:
  void SetUp() override {
    FLAG_reset(KEZ_MISS);
    RES_put("file_path", kFixtures.c_str());
    RES_put("plot_param", "");
    GRD_calc_register();
    VAR_set_def_type(VAR_TYPE_VALUE);
  }
};

/* One record as "name|units|type|flag|time|ltype|level|var0|format". */
std::string record(const VAR_data& d) {
  return std::string(d.name) + "|" + d.units + "|" + std::to_string(d.type) + "|" + std::to_string(d.flag) + "|" +
         std::to_string(d.time) + "|" + std::to_string(d.ltype) + "|" + std::to_string(d.level) + "|" +
         std::to_string(d.var[0]) + "|" + d.format;
}

/* The table as text. */
std::string table_text() {
  std::string out;
  int n = VAR_get_num();
  for (int i = 0; i < n; ++i) out += (i ? "; " : "") + record(*VAR_get_var(i));
  return out;
}

/* Parses a list with the fixture definitions; the table as text. */
std::string parse_list(const std::string& list, int* result = nullptr, std::string* err = nullptr) {
  int r = 0;
  auto c = capture([&] { r = VAR_setup("test.var", list.c_str()); });
  if (result) *result = r;
  if (err) *err = c.err;
  return table_text();
}

} // namespace
TEST_F(VarParse, ItemsBecomeRecordsInTheirOrder) {
  struct Case {
    const char* list;
    const char* records;
    const char* why;
  };
  const Case cases[] = {
      {"temp,dewp", "temp||2|0|0|-9999|-9999|11|; dewp||2|0|0|-9999|-9999|17|", "two plain variables"},
      {"temp, dewp", "temp||2|0|0|-9999|-9999|11|;  dewp||2|0|0|-9999|-9999|0|", "a blank stays in the name"},
      {"12:500mb:temp:F:cont:lc=2", "temp|F|11|0|12|100|500|11|lc=2", "time, level, units, type, options"},
      {"temp:F:cont", "temp|F|11|0|0|-9999|-9999|11|", "first field not a time"},
      {"vor(u,v)[:cont]", "vor||11|2|0|-9999|-9999|0|; u||2|10|0|-9999|-9999|33|; v||2|10|0|-9999|-9999|34|",
       "function header typed by its bracket"},
      {"vor(u,v)[cont]", "vor|cont|2|2|0|-9999|-9999|0|; u||2|10|0|-9999|-9999|33|; v||2|10|0|-9999|-9999|34|",
       "the first field of a bracket is the units"},
      {"grad(a)", "grad||2|2|0|-9999|-9999|0|; grad||2|8|0|-9999|-9999|0|; a||2|10|0|-9999|-9999|0|",
       "a vector-valued function reserves its second output"},
      {"g{a,b}", "g||2|5|0|-9999|-9999|0|; a||2|1|0|-9999|-9999|0|; b||2|1|0|-9999|-9999|0|", "group"},
      {"w<u,v>", "w||2|6|0|-9999|-9999|0|; u||2|1|0|-9999|-9999|33|; v||2|1|0|-9999|-9999|34|", "vector"},
      {"map:lc=1", "map||6|4|-9999|-9999|-9999|-9999|lc=1", "map item with options"},
      {"map[lc=1]", "map||6|4|-9999|-9999|-9999|-9999|lc=1", "a map item has no units field"},
      {"f(a[:cont])", "f||2|2|0|-9999|-9999|0|; a||2|10|0|-9999|-9999|0|", "brackets inside arguments do nothing"},
      {"+tt", "tt||2|0|0|-9999|-9999|0|", "a name after + is never expanded"},
      {"+temp", "temp||2|0|0|-9999|-9999|11|", "the + is not part of the name"},
      {"a\\,b", "a,b||2|0|0|-9999|-9999|0|", "an escaped comma"},
      {"f(a\\)b)", "f||2|2|0|-9999|-9999|0|; a)b||2|10|0|-9999|-9999|0|", "an escaped bracket"},
      {"tt", "tt||11|0|0|-9999|-9999|0|; td||2|0|0|-9999|-9999|0|", "a definition with its own name first"},
      {"ab", "a||2|0|0|-9999|-9999|0|; b||2|0|0|-9999|-9999|0|", "a hidden entry with a continuation line"},
      {"self", "self|F|2|0|0|-9999|-9999|0|", "a definition that repeats its name ends there"},
      {"frame:panel,panel", "frame||7|4|-9999|-9999|-9999|-9999|panel; panel||8|4|-9999|-9999|-9999|-9999|",
       "frame and panel items"},
      {"#273.15", "#273.15||40|0|0|-9999|-9999|-9999|", "a constant"},
      {"temp[F:cont:lc=2],dewp", "temp|F|11|0|0|-9999|-9999|11|lc=2; dewp||2|0|0|-9999|-9999|17|",
       "options after an item"},
      {"g{a,b}[K:cf:x=1]", "g|K|15|5|0|-9999|-9999|0|x=1; a||2|1|0|-9999|-9999|0|; b||2|1|0|-9999|-9999|0|",
       "options after a closing bracket apply to the header"},
  };
  for (const Case& c : cases) {
    int r = 0;
    EXPECT_EQ(parse_list(c.list, &r), c.records) << c.list << ": " << c.why;
    EXPECT_EQ(r, 1) << c.list;
  }
}

TEST_F(VarParse, InheritanceFromFlagsHeadersAndDefinitions) {
  struct Case {
    int f6, f7, f8, f11;
    const char* list;
    const char* records;
    const char* why;
  };
  const Case cases[] = {
      {24, 100, 500, KEZ_MISS, "temp", "temp||2|0|24|100|500|11|", "defaults from flags 6, 7, 8"},
      {KEZ_MISS, KEZ_MISS, 0, KEZ_MISS, "temp", "temp||2|0|0|-9999|-9999|11|", "no default time: analysis"},
      {KEZ_MISS, KEZ_MISS, 0, 15, "temp[:cont]", "temp||15|0|0|-9999|-9999|11|", "flag 11 forces, brackets yield"},
      {KEZ_MISS, KEZ_MISS, 0, 99, "temp[:cont]", "temp||11|0|0|-9999|-9999|11|", "flag 11 at 99 lets brackets type"},
      {24, 100, 500, KEZ_MISS, "12:850mb:g{a,6:700mb:b}",
       "g||2|5|12|100|850|0|; a||2|1|12|100|850|0|; b||2|1|6|100|700|0|", "members inherit from the group"},
      {24, 100, 500, KEZ_MISS, "6:700mb:tt", "tt||11|0|6|100|700|0|; td||2|0|6|100|700|0|",
       "an expansion inherits the item's time and level"},
      {KEZ_MISS, KEZ_MISS, 0, KEZ_MISS, "12:500mb:vor(u,v)",
       "vor||2|2|12|100|500|0|; u||2|10|12|100|500|33|; v||2|10|12|100|500|34|", "arguments inherit"},
      {KEZ_MISS, KEZ_MISS, 0, KEZ_MISS, "pgrid",
       "g||11|5|0|-9999|-9999|0|; a||10|1|0|-9999|-9999|0|; "
       "b||10|1|0|-9999|-9999|0|",
       "members of a grid-typed header become grids"},
      {KEZ_MISS, KEZ_MISS, 0, 13, "pgrid",
       "g||11|5|0|-9999|-9999|0|; a||13|1|0|-9999|-9999|0|; "
       "b||13|1|0|-9999|-9999|0|",
       "flag 11 forces members, not a type the item writes"},
      {KEZ_MISS, KEZ_MISS, 0, KEZ_MISS, "wind(u,v)",
       "wind||2|2|0|-9999|-9999|0|; u||2|10|0|-9999|-9999|33|; "
       "v||2|10|0|-9999|-9999|34|",
       "a header name follows the plain rules in the parser"},
  };
  for (const Case& c : cases) {
    FLAG_set(6, c.f6);
    FLAG_set(7, c.f7);
    FLAG_set(8, c.f8);
    FLAG_set(11, c.f11);
    EXPECT_EQ(parse_list(c.list), c.records) << c.list << ": " << c.why;
  }
}

TEST_F(VarParse, StatusSaysWhereTimeAndLevelCameFrom) {
  FLAG_set(6, 24);
  FLAG_set(7, 100);
  FLAG_set(8, 500);
  parse_list("temp,12:sfc:dewp,g{a}");
  const VAR_data* t = VAR_get_var(0);
  EXPECT_EQ(t->tstat, 1);
  EXPECT_EQ(t->lstat, 1);
  const VAR_data* d = VAR_get_var(1);
  EXPECT_EQ(d->tstat, 2);
  EXPECT_EQ(d->lstat, 2);
  EXPECT_EQ(d->ltype, 1);
  EXPECT_EQ(VAR_get_var(3)->tstat, 1) << "a member inherits the header's status";
}

TEST_F(VarParse, TheCallersTextIsNotWritten) {
  TempDir dir;
  write_file(dir.file("other.var"), "x X 1 temp,dewp\n");
  write_file(dir.file("variable.lup"), kez_test::read_file(kFixtures + "/variable.lup"));
  RES_put("file_path", dir.path().c_str());
  const std::string list = "fi:other.var:x";
  char text[64];
  std::snprintf(text, sizeof text, "%s", list.c_str());
  int r = VAR_setup(nullptr, text);
  EXPECT_EQ(r, 1);
  EXPECT_EQ(std::string(text), list);
  EXPECT_EQ(table_text(), "temp||2|0|0|-9999|-9999|11|; dewp||2|0|0|-9999|-9999|17|");
}

TEST_F(VarParse, RefusalsWarnAndKeepTheTableBounded) {
  std::string many;
  for (int i = 0; i <= 60; ++i) many += (i ? ",a" : "a") + std::to_string(i);
  std::string deep = "x";
  for (int i = 0; i < 12; ++i) deep = "f" + std::to_string(i) + "(" + deep + ")";
  std::string groups = "x";
  for (int i = 0; i < 12; ++i) groups = "g" + std::to_string(i) + "{" + groups + "}";
  std::string long_item(1000, 'n');

  struct Case {
    std::string list;
    int records; /* -1: any number up to the table */
    const char* message;
    const char* why;
  };
  const Case cases[] = {
      {many, 60, "More than 60 variables", "61 items"},
      {many.substr(0, many.rfind(',')) + ",grad(z)", 60, "More than 60 variables",
       "a vector function without room for its second output"},
      {deep, 9, "Nested deeper than the stack", "12 nested functions"},
      {groups, 1, "Groups and vectors do not nest", "nested groups"},
      {"loop1", 0, "Definitions nested deeper than the stack", "mutually expanding definitions"},
      {"fan1", -1, "", "definitions that fan out"},
      {"temp(a,dewp", 1, "Unmatched ()", "unclosed function"},
      {"w<u,v", 1, "Unmatched <>", "unclosed vector"},
      {"g{a", 1, "Unmatched {}", "unclosed group"},
      {"temp[F", 1, "Unmatched []", "unclosed option bracket"},
      {"(a),b", 1, "No name before the bracket", "header without a name"},
      {"a,{b},c", 2, "No name before the bracket", "group without a name"},
      {"[F]temp", 1, "No variable before the options", "option bracket first"},
      {long_item, 1, "Name longer than 19 characters cut", "1000-character item"},
      {"temp:" + long_item, 1, "Units longer than 14 characters cut", "long units"},
      {"temp:F:cont:" + long_item, 1, "Options longer than 100 characters cut", "long options"},
      {"12-24acc:500mb:temp,dewp", 1, "Hour outside 0 to 999", "a range before hour 0"},
      {"12:1e12mb:temp,dewp", 1, "Not a level that a code can hold", "a level beyond an int"},
      {"12:xyz:temp,dewp", 1, "Not a level that a code can hold", "a level of no form"},
      {"ensprob\\[\\<5\\]bigp,temp", 1, "too large for an ensemble code", "a probability code beyond an int"},
  };
  for (const Case& c : cases) {
    int r = 0;
    std::string err;
    parse_list(c.list, &r, &err);
    if (c.records >= 0) {
      EXPECT_EQ(VAR_get_num(), c.records) << c.why;
    }
    EXPECT_LE(VAR_get_num(), VAR_MAX_RECORDS) << c.why;
    EXPECT_NE(err.find(c.message), std::string::npos) << c.why << ": " << err;
    EXPECT_EQ(r, VAR_get_num() > 0 ? 1 : 0) << c.why;
  }
}

TEST_F(VarParse, FileWithoutListAndLongDefinitions) {
  std::string err;
  int r = 1;
  parse_list("fi:test.var", &r, &err);
  EXPECT_EQ(r, 0);
  EXPECT_NE(err.find("No variable string after the file name"), std::string::npos);

  /* Continued lines of 2,000 characters each. */
  TempDir dir;
  std::string piece(1998, 'q');
  std::string text = "big Big 1 a,\\\n";
  for (int i = 0; i < 5; ++i) text += "  " + piece + ",\\\n";
  text += "  z\nsmall Small 1 b,c\n";
  write_file(dir.file("long.var"), text);
  RES_put("file_path", dir.path().c_str());
  auto c = capture([&] { r = VAR_setup("long.var", "big,small"); });
  EXPECT_NE(c.err.find("Definition of big longer than"), std::string::npos) << c.err;
  EXPECT_EQ(r, 1);
  EXPECT_EQ(std::string(VAR_get_var(0)->name), "big") << "an unused definition leaves the name";
  EXPECT_EQ(std::string(VAR_get_var(1)->name), "b");
  EXPECT_EQ(std::string(VAR_get_var(2)->name), "c");
}

TEST_F(VarParse, PrintedListing) {
  parse_list("12:500mb:g{temp:F:value:ul,dewp:F:value:ll},w<u,v>,grad(hght)[:cf],map[lc=1]");
  std::string out;
  auto c = capture([] {
    for (int i = 0; i < VAR_get_num(); ++i) VAR_print(M_print, VAR_get_var(i));
  });
  EXPECT_EQ(c.out,
            "V: g          U:            FH:      12 LT:    100 L:     500 VN:      0 T: value F:  "
            "5 FM: \n"
            "V: temp       U: F          FH:      12 LT:    100 L:     500 VN:     11 T: value F:  "
            "1 FM: ul\n"
            "V: dewp       U: F          FH:      12 LT:    100 L:     500 VN:     17 T: value F:  "
            "1 FM: ll\n"
            "V: w          U:            FH:       0 LT:  -9999 L:   -9999 VN:      0 T: value F:  "
            "6 FM: \n"
            "V: u          U:            FH:       0 LT:  -9999 L:   -9999 VN:     33 T: value F:  "
            "1 FM: \n"
            "V: v          U:            FH:       0 LT:  -9999 L:   -9999 VN:     34 T: value F:  "
            "1 FM: \n"
            "V: grad       U:            FH:       0 LT:  -9999 L:   -9999 VN:      0 T: fcont F:  "
            "2 FM: \n"
            "V: grad       U:            FH:       0 LT:  -9999 L:   -9999 VN:      0 T: value F:  "
            "8 FM: \n"
            "V: hght       U:            FH:       0 LT:  -9999 L:   -9999 VN:      7 T: value F: "
            "10 FM: \n"
            "V: map        U:            FH:   -9999 LT:  -9999 L:   -9999 VN:  -9999 T:   map F:  "
            "4 FM: lc=1\n");
}

TEST_F(VarParse, OutsideAParseTheDecodersFallBackOnTheFlags) {
  parse_list("12:500mb:g{a}");
  FLAG_set(6, 36);
  int t = 0;
  EXPECT_EQ(VAR_dec_time("", &t), 1);
  EXPECT_EQ(t, 36) << "the stack is inactive after VAR_setup";
  VAR_reset();
  VAR_init();
  capture([] { VAR_process("6:850mb:h{b}"); });
  EXPECT_EQ(VAR_get_num(), 2);
  EXPECT_EQ(VAR_get_var(1)->time, 6) << "a member still inherits from its header";
  EXPECT_EQ(VAR_dec_time("", &t), 1);
  EXPECT_EQ(t, 36) << "and the stack is inactive again afterwards";
}
