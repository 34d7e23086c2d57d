#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "gks_scenario.h"
#include "kez_test.h"

namespace {

using gks_test::Checks;
using kez_test::ChildResult;
using kez_test::run_child;
using kez_test::TempDir;
using kez_test::write_file;

/* A slot as a test expects it: its name and, for named slots, colour. */
struct Slot {
  int ind;
  const char* name;
  float r, g, b;
};

std::string slot_text(int ind) {
  float r = 0, g = 0, b = 0;
  CLR_get_rgb(ind, &r, &g, &b);
  char text[96];
  std::snprintf(text, sizeof text, "slot %d '%s' %.3f %.3f %.3f", ind, CLR_get_name(ind), r, g, b);
  return text;
}

void check_slot(Checks& check, const Slot& s, const std::string& why) {
  float r = -1, g = -1, b = -1;
  CLR_get_rgb(s.ind, &r, &g, &b);
  const bool ok = std::string(CLR_get_name(s.ind)) == s.name && std::fabs(r - s.r) < 1e-4f &&
                  std::fabs(g - s.g) < 1e-4f && std::fabs(b - s.b) < 1e-4f;
  check(ok, why + ": " + slot_text(s.ind));
}

/* Reads one table from text in a child; the checks run on the result. */
ChildResult with_table(const std::string& text, const std::function<void(Checks&)>& checks) {
  TempDir dir;
  write_file(dir.file("t.clr"), text);
  return run_child([&] {
    Checks check;
    CLR_read_table(dir.file("t.clr").c_str());
    checks(check);
    return check.status();
  });
}

TEST(ColourTableFile, LinesFillSlotsByTheRunningIndex) {
  struct Case {
    std::string text;
    int count;
    std::vector<Slot> slots;
    const char* why;
  };
  const std::string long_comment = "#" + std::string(150, 'x') + "\n";
  const Case cases[] = {
      {"# colours\nblack 0 0 0\nwhite 1 1 1\n",
       2,
       {{0, "black", 0, 0, 0}, {1, "white", 1, 1, 1}},
       "a comment fills no slot"},
      {"0 black 0 0 0\nblack #000000\n",
       2,
       {{0, "black", 0, 0, 0}, {1, "black", 0, 0, 0}},
       "a leading index and the hex form"},
      {"tint #FF8000\nTint2 #00ff80\n",
       2,
       {{0, "tint", 1, 128 / 255.0f, 0}, {1, "Tint2", 0, 1, 128 / 255.0f}},
       "hex digits in either case, each pair divided by 255"},
      {"bright 1.5 -0.25 0.5\n", 1, {{0, "bright", 1.5f, -0.25f, 0.5f}}, "decimal intensities stored as read"},
      {"red 1 0 0\n5 blue 0 0 1\ngreen 0 1 0\n",
       7,
       {{0, "red", 1, 0, 0}, {5, "blue", 0, 0, 1}, {6, "green", 0, 1, 0}},
       "a leading index moves the running index"},
      {"red 1 0 0 \r\nblue\t0 0 1\r\n",
       2,
       {{0, "red", 1, 0, 0}, {1, "blue", 0, 0, 1}},
       "carriage returns and trailing blanks go"},
      {long_comment + "red 1 0 0\n", 1, {{0, "red", 1, 0, 0}}, "a long line stays one line"},
      {"red 1 0 0\n\nblue 0 0 1\n",
       3,
       {{0, "red", 1, 0, 0}, {1, "", 0, 0, 0}, {2, "blue", 0, 0, 1}},
       "an empty line keeps its place as a black slot without a name"},
      {"red 1 0 0\n10 blue 0 0 1\n", 11, {{10, "blue", 0, 0, 1}}, "a leading index on the last line is counted"},
      {"red 1 0 0\n# trailing\n", 2, {{0, "red", 1, 0, 0}}, "a trailing comment still reaches a slot"},
      {"3dgreen 0 0.5 0\n", 1, {{0, "3dgreen", 0, 0.5f, 0}}, "a name may begin with a digit"},
      {"red 1 0 0 # comment\n", 1, {{0, "red", 1, 0, 0}}, "text after the colour is passed over"},
  };
  for (const Case& c : cases) {
    auto r = with_table(c.text, [&](Checks& check) {
      check(CLR_get_num() == c.count, std::string(c.why) + ": count " + std::to_string(CLR_get_num()));
      for (const Slot& s : c.slots) check_slot(check, s, c.why);
    });
    EXPECT_EQ(r.status, 0) << c.why << "\n" << r.out << r.err;
    EXPECT_EQ(r.err, "") << c.why;
  }
}

TEST(ColourTableFile, BadLinesAreReportedAndLeaveNamelessBlackSlots) {
  struct Case {
    const char* line;
    const char* why;
  };
  const Case cases[] = {
      {"red 1 x 0", "a component that is no number"},
      {"red 1 0", "two components"},
      {"red #FF00", "a short hex colour"},
      {"red #GG0000", "hex digits that are not hex"},
      {"red nan 0 0", "a component that is not finite"},
      {"LightGoldenrodYellow 0.98 0.98 0.82", "a name longer than 19 characters"},
  };
  for (const Case& c : cases) {
    auto r = with_table(std::string("white 1 1 1\n") + c.line + "\nblue 0 0 1\n", [&](Checks& check) {
      check(CLR_get_num() == 3, std::string(c.why) + ": count");
      check_slot(check, {1, "", 0, 0, 0}, c.why);
      check_slot(check, {2, "blue", 0, 0, 1}, std::string(c.why) + ": the next line keeps its place");
      check(CLR_get_ind("red") == -1, std::string(c.why) + ": the bad name is not found");
    });
    EXPECT_EQ(r.status, 0) << c.why << "\n" << r.out;
    EXPECT_NE(r.err.find("CLR_read_table: Bad colour line 2 in "), std::string::npos) << c.why << ": " << r.err;
  }
}

TEST(ColourTableFile, NothingIsStoredPastTheLastSlot) {
  std::string text;
  for (int i = 0; i < 260; ++i) text += "c" + std::to_string(i) + " 0 0 0\n";
  auto r = with_table(text, [](Checks& check) {
    check(CLR_get_num() == 256, "count stops at 256: " + std::to_string(CLR_get_num()));
    check(CLR_get_ind("c255") == 255 && CLR_get_ind("c256") == -1, "line 257 skipped");
    check(CLR_add("more", 1, 1, 1) == -1 && CLR_get_num() == 256, "a full table takes no appended colour");
    check(CLR_get_ind("#FF0000") == -1, "nor a hex colour");
  });
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.err.find("CLR_add: Colour table full, more not added\n"), std::string::npos) << r.err;

  /* A leading index past the table moves the running index there, so the
   * lines after it are skipped too. */
  r = with_table("red 1 0 0\n300 far 1 1 1\nnear 0 0 0\n99999999999 huge 0 0 0\n", [](Checks& check) {
    check(CLR_get_num() == 2 && CLR_get_ind("far") == -1 && CLR_get_ind("near") == -1, slot_text(1));
  });
  EXPECT_EQ(r.status, 0) << r.out;

  /* A file that never ends its line is no endless read. */
  r = run_child([] {
    CLR_read_table("/dev/zero");
    return CLR_get_num() <= 1 ? 0 : 1;
  });
  EXPECT_EQ(r.status, 0);
}

TEST(ColourTableFile, FillSetComesOnlyFromTheSettingsFirstFile) {
  TempDir dir;
  const std::string five_end_three =
      "c0 0 0 0\nc1 0 0 0\nc2 0 0 0\nc3 0 0 0\nc4 0 0 0\nEND\nc5 1 1 1\nc6 1 1 1\nc7 1 1 1\n";
  write_file(dir.file("fill.clr"), five_end_three);
  write_file(dir.file("kez.clr"), five_end_three);
  write_file(dir.file("noend.clr"), "a 0 0 0\nb 0 0 0\nc 0 0 0\n");
  write_file(dir.file("late.clr"), "x 0 0 0\nend\ny 0 0 0\n");
  struct Case {
    const char* setting; /* "color_table", or null */
    const char* argument;
    int count, fill;
    const char* why;
  };
  const Case cases[] = {
      {"fill.clr", nullptr, 8, 5, "END after five colours, named by the setting"},
      {nullptr, nullptr, 8, 0, "the same file as the default kez.clr"},
      {nullptr, "fill.clr", 8, 0, "the same file named by the caller"},
      {"fill.clr", "fill.clr", 8, 0, "a caller's name wins over the setting"},
      {"noend.clr", nullptr, 3, 2, "no END: the highest slot"},
      {"noend.clr,late.clr", nullptr, 5, 2, "END in a later file counts for nothing"},
      {"missing.clr,fill.clr", nullptr, 8, 0, "the first file did not open"},
  };
  for (const Case& c : cases) {
    auto r = run_child([&] {
      Checks check;
      RES_put("file_path", dir.path().c_str());
      if (c.setting) RES_put("color_table", c.setting);
      CLR_read_table(c.argument);
      check(CLR_get_num() == c.count, std::string(c.why) + ": count " + std::to_string(CLR_get_num()));
      check(CLR_get_num_fill() == c.fill, std::string(c.why) + ": fill " + std::to_string(CLR_get_num_fill()));
      check(CLR_get_ind("END") == -2, "END is no colour name");
      return check.status();
    });
    EXPECT_EQ(r.status, 0) << c.why << "\n" << r.out << r.err;
  }
}

TEST(ColourTableFile, ListedFilesFollowOneAnother) {
  TempDir dir;
  write_file(dir.file("a.clr"), "a0 0 0 0\na1 0 0 0\na2 0 0 0\n");
  write_file(dir.file("b.clr"), "b0 1 1 1\n1 b1 1 1 1\n");
  auto r = run_child([&] {
    Checks check;
    RES_put("file_path", dir.path().c_str());
    CLR_read_table("a.clr,nothere.clr,b.clr,");
    check(CLR_get_num() == 5, "count " + std::to_string(CLR_get_num()));
    const char* names[] = {"a0", "a1", "a2", "b0", "b1"};
    for (int i = 0; i < 5; ++i) check(CLR_get_ind(names[i]) == i, slot_text(i));

    /* A list of which nothing opens leaves the table as it was. */
    CLR_read_table("gone.clr,nothere.clr");
    check(CLR_get_num() == 5 && CLR_get_ind("b1") == 4, "kept after a failed read");
    /* Appended colours go with the next read. */
    CLR_get_ind("#123456");
    check(CLR_get_num() == 6, "appended");
    CLR_read_table("b.clr");
    check(CLR_get_num() == 2, "dropped by the next read");
    check(CLR_get_ind("#123456") == 2, "and appended again at the new end");
    CLR_clear_table();
    check(CLR_get_num() == 0 && CLR_get_ind("b0") == -1, "cleared");
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(ColourNames, TextsResolveByTheRulesInOrder) {
  auto r = with_table("black 0 0 0\nRed 1 0 0\nw3 0 0 1\n", [](Checks& check) {
    struct Case {
      const char* text;
      int want;
      const char* why;
    };
    const Case cases[] = {
        {"", -1, "empty"},
        {"end", -2, "end"},
        {"End", -2, "end in any case"},
        {"none", -1, "none"},
        {"OFF", -1, "off"},
        {"back", -1, "back"},
        {"pblk", 500, "print"},
        {"pbblk", 501, "print"},
        {"ptblk", 502, "print"},
        {"pwht", 503, "print"},
        {"pbwht", 504, "print"},
        {"ptwht", 505, "print"},
        {"pgry", 506, "print"},
        {"pbgry", 507, "print"},
        {"PTGRY", 508, "print in any case"},
        {"red", 1, "a name in any case"},
        {"BLACK", 0, "a name in any case"},
        {"12", 12, "a number"},
        {"7abc", 7, "the leading integer"},
        {"#12", -1, "a short # text"},
        {"#GG0000", -1, "not hex digits"},
        {"#256000000", -1, "a decimal part above 255"},
        {"#25500000x", -1, "not decimal digits"},
        {"purple", -1, "an unknown name"},
        {"-3", -1, "a minus sign"},
        {"99999999999", -1, "a number past any index"},
    };
    for (const Case& c : cases)
      check(CLR_get_ind(c.text) == c.want,
            std::string(c.why) + ": '" + c.text + "' gives " + std::to_string(CLR_get_ind(c.text)));
    check(CLR_get_ind(nullptr) == -1, "no text");
    check(CLR_get_num() == 3, "nothing appended by the failures");

    const int hex = CLR_get_ind("#FF0000");
    check(hex == 3 && CLR_get_num() == 4, "a # text is appended");
    check_slot(check, {3, "#FF0000", 1, 0, 0}, "under its own text");
    check(CLR_get_ind("#ff0000") == 3 && CLR_get_num() == 4, "a second use finds it by name");
    const int dec = CLR_get_ind("#255000000");
    check(dec == 4, "the decimal triple appends too");
    check_slot(check, {4, "#255000000", 1, 0, 0}, "pure red");
    check_slot(check, {5, "#255000000", 1, 0, 0}, "past the count: the last slot");
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

/* A name looked up again after the table changed gives what the new table
 * holds: plots look the same few names up for every datum. */
TEST(ColourNames, RepeatedLookupsFollowTheTable) {
  TempDir dir;
  write_file(dir.file("a.clr"), "x 0 0 0\ny 1 1 1\n");
  write_file(dir.file("b.clr"), "y 0 0 0\nx 1 1 1\n");
  auto r = run_child([&] {
    Checks check;
    RES_put("file_path", dir.path().c_str());
    struct Step {
      const char* read; /* a table to read first, "-" to clear it, or null */
      const char* name;
      int want;
    };
    const Step steps[] = {
        {"a.clr", "x", 0},       {nullptr, "y", 1},       {nullptr, "x", 0},  {"b.clr", "x", 1},
        {nullptr, "y", 0},       {nullptr, "X", 1},       {"-", "x", -1},     {"a.clr", "x", 0},
        {nullptr, "z", -1},      {"+z", "z", 2},          {"b.clr", "z", -1}, {nullptr, "#010203", 2},
        {nullptr, "#010203", 2}, {"a.clr", "#010203", 2},
    };
    for (const Step& s : steps) {
      if (s.read && s.read[0] == '-')
        CLR_clear_table();
      else if (s.read && s.read[0] == '+')
        CLR_add(s.read + 1, 0, 0, 1);
      else if (s.read)
        CLR_read_table(s.read);
      const int got = CLR_get_ind(s.name);
      check(got == s.want, std::string(s.read ? s.read : "") + " " + s.name + " gives " + std::to_string(got));
    }
    check(CLR_get_num() == 3, "a # colour appended once per table");
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;

  /* A full table refuses a # colour, and says so, every time. */
  std::string text;
  for (int i = 0; i < 256; ++i) text += "c" + std::to_string(i) + " 0 0 0\n";
  r = with_table(text, [](Checks& check) {
    for (int i = 0; i < 3; ++i) check(CLR_get_ind("#FF0000") == -1, "refused");
  });
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(gks_test::count(r.err, "CLR_add: Colour table full, #FF0000 not added"), 3) << r.err;
}

TEST(ColourNames, LookupsOutsideTheTableFailCleanly) {
  auto r = run_child([] {
    Checks check;
    float c[3] = {0.5f, 0.5f, 0.5f};
    check(CLR_get_num() == 0, "empty at start");
    check(CLR_get_rgb(0, &c[0], &c[1], &c[2]) == -1 && c[0] == 0 && c[1] == 0 && c[2] == 0, "empty table");
    check(std::string(CLR_get_name(3)) == "", "no name in an empty table");
    CLR_add("one", 0.25f, 0.5f, 0.75f);
    check(CLR_get_rgb(-1, &c[0], &c[1], &c[2]) == -1 && c[0] == 0, "negative index");
    check(std::string(CLR_get_name(-1)) == "", "no name for a negative index");
    check(CLR_get_rgb(7, &c[0], &c[1], &c[2]) == 0 && c[2] == 0.75f, "past the count: the last slot");
    check(std::string(CLR_get_name(7)) == "one", "its name");
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

/* ---- attribute strings ---- */

Gattribs fresh() {
  Gattribs a;
  ATTRIB_init(&a);
  return a;
}

std::string attrib_text(const Gattribs& a) {
  char text[160];
  std::snprintf(text, sizeof text, "co %d wi %g hi %g ex %g st %d fp %d fo %d", a.color, a.width, a.height, a.expan,
                a.style, a.fill_pat, a.font);
  return text;
}

bool same(const Gattribs& a, const Gattribs& b) { return attrib_text(a) == attrib_text(b); }

TEST(AttributeStrings, ItemsChangeOnlyTheFieldsTheyName) {
  auto r = with_table("white 1 1 1\nred 1 0 0\nblue 0 0 1\n", [](Checks& check) {
    struct Case {
      const char* text;
      Gattribs start;
      Gattribs want;
      const char* why;
    };
    constexpr int M = KEZ_MISS;
    constexpr float F = KEZ_FMISS;
    const Gattribs none = fresh();
    const Gattribs some{0, 5, 5, 5, 5, 5, 5};
    const Case cases[] = {
        {"red:wi=2:st=dsh", none, {1, 2, F, F, 2, M, M}, "colour, width and style"},
        {"co=blue:fp=hat:hi=1.5", none, {2, F, 1.5f, F, M, 9, M}, "keyed colour, pattern word, height"},
        {"red:w3:s4:fM", some, {1, 3, 5, 5, 4, M, 5}, "short items; fM takes the pattern away"},
        {"red:W3", some, {1, 5, 5, 5, 5, 5, 5}, "an upper-case short item is ignored"},
        {"w3:s4", none, {-1, F, F, F, 4, M, M}, "a first item without = is a colour name"},
        {"wi=2", some, {0, 2, 5, 5, 5, 5, 5}, "a first item with = sets no colour"},
        {":wi=2", some, {0, 2, 5, 5, 5, 5, 5}, "an empty first item sets no colour"},
        {"ST=LLSDSH:CO=red", none, {1, F, F, F, 4, M, M}, "keys and style words in any case"},
        {"st=7:sc=2:te=1.25", none, {M, F, 2, 1.25f, 7, M, M}, "style number, scale, expansion"},
        {"fi=//:h0.5:e2:t3", none, {M, F, 0.5f, 2, M, 7, 3}, "fill word, short height, expansion, font"},
        {"fp=12:f3", none, {M, F, F, F, M, 3, M}, "the later item wins"},
        {"fo=3:t2", none, {M, F, F, F, M, M, 2}, "a font by number, then the short form"},
        {"FO=nonesuch", some, {0, 5, 5, 5, 5, 5, 1}, "an unknown font name: the first font"},
        {"none:wi=1", some, {-1, 1, 5, 5, 5, 5, 5}, "none keeps the current colour"},
        {"end", some, {-2, 5, 5, 5, 5, 5, 5}, "end"},
        {"pbblk:wi=2:", none, {501, 2, F, F, M, M, M}, "print colour; a trailing : makes no item"},
        {"", some, some, "an empty string changes nothing"},
        {"red::x1:wi=3", none, {1, 3, F, F, M, M, M}, "empty and unknown items are passed over"},
        {"red:width=2", none, {1, F, F, F, M, M, M}, "a misspelt key is no width"},
        {"red:wi=abc:st=x:fp=zz:s", some, {1, 5, 5, 5, 5, 5, 5}, "bad values leave their fields"},
    };
    for (const Case& c : cases) {
      Gattribs a = c.start;
      check(ATTRIB_parse(c.text, &a) == 0, c.why);
      check(same(a, c.want),
            std::string(c.why) + ": '" + c.text + "' gives " + attrib_text(a) + ", want " + attrib_text(c.want));
    }
    Gattribs a = none;
    ATTRIB_parse(nullptr, &a);
    check(same(a, none), "no string");
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  for (const char* item : {"width=2", "wi=abc", "st=x", "s"}) {
    const std::string want = std::string("ATTRIB_parse: Bad attribute item: ") + item + "\n";
    EXPECT_NE(r.err.find(want), std::string::npos) << item << ": " << r.err;
  }
  EXPECT_NE(r.err.find("ATTR_parse_fill_pat: Unknown fill pattern: zz\n"), std::string::npos) << r.err;
}

TEST(AttributeStrings, FirstItemNamesAColourWhenTheTableHasIt) {
  auto r = with_table("w3 0 0 1\n", [](Checks& check) {
    Gattribs a = fresh();
    ATTRIB_parse("w3:s4", &a);
    check(a.color == 0 && a.style == 4 && a.width == KEZ_FMISS, attrib_text(a));
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(AttributeStrings, SettingGoesOverTheDefault) {
  auto r = with_table("white 1 1 1\nred 1 0 0\n", [](Checks& check) {
    Gattribs a = fresh();
    check(ATTRIB_get("color_data", "white:st=3", &a) == 0, "unset setting gives 0");
    check(a.color == 0 && a.style == 3 && a.width == KEZ_FMISS, attrib_text(a));
    RES_put("color_data", "red:wi=2");
    a = fresh();
    check(ATTRIB_get("color_data", "white:st=3", &a) == 1, "set setting gives 1");
    check(a.color == 1 && a.width == 2 && a.style == 3, "red and width 2 over the default: " + attrib_text(a));
    RES_put("color_empty", "");
    a = fresh();
    check(ATTRIB_get("color_empty", "red", &a) == 0 && a.color == 1, "an empty setting counts as unset");

    Gattribs base{1, 2, 3, 4, 5, 6, 7};
    Gattribs over = fresh();
    over.width = 9;
    over.font = 0;
    ATTRIB_update(&base, &over);
    check(same(base, Gattribs{1, 9, 3, 4, 5, 6, 0}), "update copies the given fields: " + attrib_text(base));
    ATTRIB_print(&base);
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out, "Color: 1\nStyle: 5\nHeight:  3.00\nWidth:  9.00\nExpansion:  4.00\nFill: 6\nFont: 0\n");
}

TEST(AttributeStrings, PatternAndMarkerWords) {
  struct Case {
    const char* text;
    int want;
  };
  const Case patterns[] = {
      {"sol", 0},  {"ST", 1},  {"ost", 2}, {"rst", 3}, {"lst", 4}, {"vln", 5}, {"||", 5},       {"dlr", 6},
      {"\\\\", 6}, {"drl", 7}, {"//", 7},  {"hln", 8}, {"--", 8},  {"hat", 9}, {"xx", 9},       {"clr", 10},
      {"0%", 10},  {"1%", 11}, {"5%", 15}, {"9%", 19}, {"17", 17}, {"-3", -3}, {"sold", -9999}, {"", -9999},
  };
  for (const Case& c : patterns) EXPECT_EQ(ATTR_parse_fill_pat(c.text), c.want) << c.text;
  const Case markers[] = {
      {"pnt", 1},  {".", 1},    {"plus", 2}, {"+", 2},    {"star", 3},   {"*", 3},      {"crcl", 4}, {"Circle", 4},
      {"o", 4},    {"open", 4}, {"x", 5},    {"sqr", 6},  {"square", 6}, {"#", 6},      {"tri", 7},  {"^", 7},
      {"itri", 9}, {"v", 9},    {"dot", 8},  {"DOTS", 8}, {"12", 12},    {"zz", -9999},
  };
  for (const Case& c : markers) EXPECT_EQ(ATTR_parse_marker(c.text), c.want) << c.text;
  EXPECT_EQ(ATTR_parse_fill_pat(nullptr), -9999);
  EXPECT_EQ(ATTR_parse_marker(nullptr), -9999);
}

/* ---- the X11 colour database and the shipped tables ---- */

struct X11Colour {
  std::string name;
  int r, g, b;
};

/* The one-word names of rgb.txt, each once (names compare in any case). */
std::vector<X11Colour> x11_colours(bool* found) {
  std::ifstream in("/etc/X11/rgb.txt");
  *found = static_cast<bool>(in);
  std::vector<X11Colour> out;
  std::set<std::string> seen;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '!') continue;
    std::istringstream words(line);
    X11Colour c;
    std::string rest;
    words >> c.r >> c.g >> c.b >> c.name;
    if (!words || (words >> rest)) continue; /* names with blanks */
    std::string key = c.name;
    for (char& ch : key) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (seen.insert(key).second) out.push_back(c);
  }
  return out;
}

TEST(ColourTableFile, TablesFromTheX11DatabaseRoundTripEveryName) {
  bool found = false;
  const std::vector<X11Colour> all = x11_colours(&found);
  ASSERT_TRUE(found) << "/etc/X11/rgb.txt is needed (x11-common, tools/install-deps.sh)";
  ASSERT_GT(all.size(), 400u);
  /* Tables of at most 256 colours; every other colour written in decimal. */
  for (std::size_t from = 0; from < all.size(); from += 256) {
    TempDir dir;
    std::string text = "# from rgb.txt\n";
    const std::size_t to = std::min(all.size(), from + 256);
    for (std::size_t i = from; i < to; ++i) {
      char line[96];
      const X11Colour& c = all[i];
      if (i % 2)
        std::snprintf(line, sizeof line, "%s %.6f %.6f %.6f\n", c.name.c_str(), c.r / 255.0, c.g / 255.0, c.b / 255.0);
      else
        std::snprintf(line, sizeof line, "%s #%02X%02X%02X\n", c.name.c_str(), c.r, c.g, c.b);
      text += line;
    }
    write_file(dir.file("x11.clr"), text);
    auto r = run_child([&] {
      Checks check;
      CLR_read_table(dir.file("x11.clr").c_str());
      for (std::size_t i = from; i < to; ++i) {
        const X11Colour& c = all[i];
        const bool too_long = c.name.size() > 19;
        const int ind = CLR_get_ind(c.name.c_str());
        if (too_long) {
          check(ind == -1, c.name + ": a name past 19 characters is refused");
          continue;
        }
        float r = 0, g = 0, b = 0;
        CLR_get_rgb(ind, &r, &g, &b);
        check(ind == static_cast<int>(i - from) && std::lround(r * 255) == c.r && std::lround(g * 255) == c.g &&
                  std::lround(b * 255) == c.b,
              c.name + " comes back as " + slot_text(ind));
      }
      return check.status();
    });
    EXPECT_EQ(r.status, 0) << r.out;
  }
}

TEST(ShippedColourTables, NamesOfTheDefaultsHaveTheirX11Colours) {
  bool found = false;
  std::map<std::string, X11Colour> x11;
  for (const X11Colour& c : x11_colours(&found)) {
    std::string key = c.name;
    for (char& ch : key) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    x11[key] = c;
  }
  auto r = run_child([&] {
    Checks check;
    RES_put("file_path", KEZ_DATA_DIR);
    CLR_read_table(nullptr);
    check(CLR_get_num() > 16 && CLR_get_num_fill() == 0, "kez.clr read, no fill set");
    check(CLR_get_ind("black") == 0 && CLR_get_ind("white") == 1, "black and white lead");
    /* The plotting defaults and the contour fill's built-in names. */
    const char* names[] = {"black",  "white", "red",   "green", "blue",    "yellow",   "brown", "magenta",
                           "cyan",   "tan",   "gray",  "grey",  "Magenta", "LMagenta", "LBlue", "LCyan",
                           "LGreen", "LRed",  "DGray", "LGray", "orange",  "gray50"};
    for (const char* name : names) check(CLR_get_ind(name) >= 0, std::string(name) + " is in kez.clr");
    /* Every name that the X11 database knows has its colour there. */
    for (int i = 0; i < CLR_get_num(); ++i) {
      std::string key = CLR_get_name(i);
      for (char& ch : key) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
      auto it = x11.find(key);
      if (it == x11.end()) continue;
      float r = 0, g = 0, b = 0;
      CLR_get_rgb(i, &r, &g, &b);
      check(std::lround(r * 255) == it->second.r && std::lround(g * 255) == it->second.g &&
                std::lround(b * 255) == it->second.b,
            slot_text(i) + " differs from X11");
    }
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.err, "");
}

TEST(ShippedColourTables, FillScaleLeadsWhenNamedFirstInTheSetting) {
  auto r = run_child([&] {
    Checks check;
    RES_put("file_path", KEZ_DATA_DIR);
    RES_put("color_table", "kezfill.clr,kez.clr");
    CLR_read_table(nullptr);
    const int n = CLR_get_num_fill();
    check(n >= 12, "a fill set of " + std::to_string(n));
    check(CLR_get_ind("white") >= n && CLR_get_ind("LGray") > n, "the named colours follow");
    for (int i = 1; i < n; ++i) {
      float a[3], b[3];
      CLR_get_rgb(i - 1, &a[0], &a[1], &a[2]);
      CLR_get_rgb(i, &b[0], &b[1], &b[2]);
      const float d =
          std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
      check(d > 0.15f, "neighbours " + slot_text(i - 1) + " and " + slot_text(i) + " are close");
    }
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.err, "");
}

} // namespace
