#include "kez.h"
#include "kez_test.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

using kez_test::capture;
using kez_test::run_child;

/* Menu 0 shows 13 items (the third a separator), menu 1 the first 12;
 * "Hidden" is in no menu and "Twice" has the display value 2 in menu 0, so
 * that it counts for MENU_check but is not shown. */
const MENU_item kMenu[] = {
    {"Return to previous menu", "back", 0, {1, 1}},
    {"Alpha", "a", 11, {1, 1}},
    {"Bravo", "b", 12, {1, 1}},
    {"-", "sep", 13, {1, 1}},
    {"Delta", "d", 14, {1, 1}},
    {"Hidden", "x", 40, {0, 0}},
    {"Echo", "e", 15, {1, 1}},
    {"Foxtrot", "f", 16, {1, 1}},
    {"Twice", "t", 41, {2, 0}},
    {"Golf", "g", 17, {1, 1}},
    {"Hotel", "h", 18, {1, 1}},
    {"India", "i", 19, {1, 1}},
    {"Juliett", "j", 20, {1, 1}},
    {"Kilo", "k", 21, {1, 1}},
    {"Lima", "l", 22, {1, 1}},
    {"Mike", "m", 23, {1, 0}},
    {nullptr, nullptr, 0, {}},
};

const char* const kTitle = "\n        Test Menu\n";

std::string printed(int menu_num, int flag) {
  return capture([&] { MENU_print(kTitle, kMenu, menu_num, flag); }).out;
}

TEST(MenuPrint, ThirteenItemsFillTwoColumnsWithTheOddItemAlone) {
  EXPECT_EQ(printed(0, 3),
            "\n        Test Menu\n\n"
            "  1: Alpha                            8: Hotel                         \n"
            "  2: Bravo                            9: India                         \n"
            " --------------------                10: Juliett                       \n"
            "  4: Delta                           11: Kilo                          \n"
            "  5: Echo                            12: Lima                          \n"
            "  6: Foxtrot                         13: Mike                          \n"
            "  7: Golf                          \n"
            "  0: Return to previous menu         -1: Exit program                  \n"
            "\n");
}

TEST(MenuPrint, TwelveItemsPrintOneColumn) {
  EXPECT_EQ(printed(1, 3),
            "\n        Test Menu\n\n"
            "  1: Alpha                         \n"
            "  2: Bravo                         \n"
            " --------------------               \n"
            "  4: Delta                         \n"
            "  5: Echo                          \n"
            "  6: Foxtrot                       \n"
            "  7: Golf                          \n"
            "  8: Hotel                         \n"
            "  9: India                         \n"
            " 10: Juliett                       \n"
            " 11: Kilo                          \n"
            " 12: Lima                          \n"
            "  0: Return to previous menu       \n"
            " -1: Exit program                  \n"
            "\n");
}

TEST(MenuPrint, EvenCountFillsTheLastRowAndFlagsChooseTheClosingLines) {
  MENU_item menu[17];
  std::memcpy(menu, kMenu, sizeof menu);
  menu[8].disp[0] = 1; /* "Twice" now shown: 14 items */
  std::string out = capture([&] { MENU_print("T", menu, 0, 2); }).out;
  EXPECT_NE(out.find("  7: Twice                           14: Mike                          \n"), std::string::npos)
      << out;

  const std::string head = "T\n  1: Alpha                         \n";
  struct Case {
    int flag;
    const char* tail;
  };
  const Case cases[] = {
      {0, "\n"},
      {1, "  0: Exit program                  \n\n"},
      {2, "  0: Return to previous menu       \n\n"},
      {4, " 99: Help                          \n\n"},
  };
  const MENU_item one[] = {kMenu[0], kMenu[1], {nullptr, nullptr, 0, {}}};
  for (const Case& c : cases) EXPECT_EQ(capture([&] { MENU_print("T", one, 0, c.flag); }).out, head + c.tail) << c.flag;
}

TEST(MenuPrint, TitleIsShownAsText) {
  const MENU_item one[] = {kMenu[0], {nullptr, nullptr, 0, {}}};
  EXPECT_EQ(capture([&] { MENU_print("100% %s", one, 0, 0); }).out, "100% %s\n\n");
}

TEST(MenuPrint, TitleLineFeedsCountForPaging) {
  /* With pages of 3 lines, the title's three line feeds and the line after
   * it pass the page: the wait comes before the first item line would. */
  const MENU_item one[] = {kMenu[0], {nullptr, nullptr, 0, {}}};
  auto r = run_child(
      [&] {
        MESS_set_str("page,line=3");
        MENU_print("\n  Title\n%d\n", one, 0, 0);
        return 0;
      },
      "\n");
  EXPECT_EQ(r.out, "\n  Title\n%d\n\nPress return to continue\n\n");
}

/* Runs MENU_process in a child with the given answer lines; returns the
 * result and the answer buffer. */
struct Answer {
  int result;
  std::string string;
  std::string out;
};

Answer ask(const std::string& input, int flag, int menu_num = 0, const MENU_item* menu = kMenu) {
  auto r = run_child(
      [&] {
        char string[MENU_STRING_LEN];
        int result = MENU_process(kTitle, menu, menu_num, "Choice: ", string, flag);
        std::printf("\n[%d|%s]", result, string);
        return 0;
      },
      input);
  Answer a{-12345, "", r.out};
  size_t at = r.out.rfind("\n[");
  if (at != std::string::npos) {
    char buf[256] = "";
    std::sscanf(r.out.c_str() + at + 2, "%d|%255[^]]", &a.result, buf);
    a.string = buf;
  }
  return a;
}

TEST(MenuProcess, AnswersByNumberNameAbbreviationAndKeyword) {
  struct Case {
    const char* input;
    int flag;
    int result;
    const char* string;
    const char* why;
  };
  const Case cases[] = {
      {"1\n", 3, 11, "a", "number of a shown item"},
      {"13\n", 3, 23, "m", "right-column number"},
      {"alpha\n", 3, 11, "a", "name"},
      {"FOXTROT\n", 3, 16, "f", "name in other case"},
      {"D\n", 3, 14, "d", "abbreviation in other case"},
      {"back\n", 3, 0, "back", "entry 0 by abbreviation"},
      {"0\n", 3, 0, "0", "main choice by number"},
      {"-1\n", 3, -1, "-1", "exit choice by number"},
      {"main\n", 3, 0, "main", "main keyword"},
      {"MAIN\n", 3, 0, "MAIN", "main keyword in other case"},
      {"main\n", 1, -9999, "main", "main keyword needs flag 2"},
      {"-2\n", 3, -9999, "-2", "below the smallest choice"},
      {"14\n", 3, -9999, "14", "above the shown items"},
      {"0\n", 0, -9999, "0", "no main or exit choice"},
      {"-1\n", 2, -9999, "-1", "no exit choice"},
      {"0\n", 1, -1, "0", "the menu offers 0 as its exit"},
      {"x\n", 3, -9999, "x", "an item no menu shows"},
      {"t\n", 3, -9999, "t", "display value 2 is not shown"},
      {"40,-105,5\n", 3, -9999, "40,-105,5", "a free answer stays"},
      {"3\n", 3, -9999, "3", "a separator's number"},
      {"sep\n", 3, -9999, "sep", "a separator's abbreviation"},
      {"?\n2\n", 3, 12, "b", "help, then a number"},
      {"99\n5\n", 7, 15, "e", "the help line's choice, then a number"},
      {"99\n", 3, -9999, "99", "99 without the help line"},
  };
  for (const Case& c : cases) {
    Answer a = ask(c.input, c.flag);
    EXPECT_EQ(a.result, c.result) << c.why;
    EXPECT_EQ(a.string, c.string) << c.why;
  }
}

TEST(MenuProcess, HelpListsTheChoosableAbbreviationsAndAsksAgain) {
  Answer a = ask("?\nlima\n", 3);
  EXPECT_EQ(a.result, 22);
  EXPECT_NE(a.out.find("back,a,b,d,e,f,g,h,i,j,k,l,m\n\n"), std::string::npos) << a.out;
  size_t first = a.out.find("Choice: ");
  EXPECT_NE(a.out.find("Choice: ", first + 1), std::string::npos) << "asks again";
}

TEST(MenuProcess, LongAbbreviationIsCutToTheAnswerBuffer) {
  const std::string abbr(200, 'z');
  const MENU_item menu[] = {kMenu[0], {"Long", abbr.c_str(), 5, {1}}, {nullptr, nullptr, 0, {}}};
  Answer a = ask("1\n", 3, 0, menu);
  EXPECT_EQ(a.result, 5);
  EXPECT_EQ(a.string, std::string(MENU_STRING_LEN - 1, 'z'));
}

TEST(MenuSearch, FindsAnyEntryButSeparators) {
  struct Case {
    const char* item;
    int index;
  };
  const Case cases[] = {{"x", 40},         {"HIDDEN", 40}, {"back", 0},    {"Return to previous menu", 0},
                        {"t", 41},         {"Mike", 23},   {"sep", -9999}, {"-", -9999},
                        {"nothing", -9999}};
  for (const Case& c : cases) EXPECT_EQ(MENU_search(c.item, kMenu), c.index) << c.item;
}

TEST(MenuLookups, AbbreviationAndShownCheckByIndex) {
  EXPECT_STREQ(MENU_get_abbr(15, kMenu), "e");
  EXPECT_STREQ(MENU_get_abbr(0, kMenu), "back");
  EXPECT_EQ(MENU_get_abbr(99, kMenu), nullptr);

  struct Case {
    int index;
    int menu_num;
    int shown;
  };
  const Case cases[] = {{41, 0, 1}, {40, 0, 0}, {23, 1, 0}, {23, 0, 1}, {99, 0, 0}, {11, 10, 0}, {11, -1, 0}};
  for (const Case& c : cases) EXPECT_EQ(MENU_check(c.index, kMenu, c.menu_num), c.shown) << c.index;
}

} // namespace
