/*
 * The definition file as the variable menu: display conditions and
 * patterns, continuation lines, the entry limit, batch answers and piped
 * answers; the listing and the name search.
 */
#include "kez.h"
#include "kez_test.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using kez_test::run_child;
using kez_test::TempDir;
using kez_test::write_file;

const char* const kMenuFile =
    "temp Temperature_(F) 1 temp:F\n"
    "hide Hidden 0 dewp\n"
    "both Eta_or_ngm_at_500 mo=eta|ngm&le=500mb temp\n"
    "either Eta_or_500 mo=eta,le=500mb temp\n"
    "noeta Not_eta mo=~eta temp\n"
    "ft Forecast_12 FT=12 temp\n"
    "odd Odd_test xx=1 temp\n"
    "ab Pair 1 a,\\\n"
    "   b\n"
    "verylongab Too_long 1 temp\n"
    "last Last_one 1 temp\n";

/* The shown menu entries as "abbr=name|" after reading the file with the
 * given model, level and forecast-time texts. */
std::string shown(const char* model, const char* level, const char* time) {
  TempDir dir;
  write_file(dir.file("menu.var"), kMenuFile);
  auto r = run_child(
      [&] {
        RES_put("file_path", dir.path().c_str());
        VAR_set_model_str(model);
        VAR_set_level_str(level);
        VAR_set_time_str(time);
        VAR_open_file("menu.var");
        VAR_read_menu();
        FLAG_set_batch(0);
        /* "?" lists the abbreviations of the shown entries. */
        char answer[MENU_STRING_LEN] = "";
        VAR_menu("Variable Menu", "Enter: ", answer, 0);
        return 0;
      },
      "?\n\n");
  size_t at = r.out.find("back,");
  if (at == std::string::npos) return "no listing: " + r.out;
  return r.out.substr(at, r.out.find('\n', at) - at);
}

} // namespace

TEST(VarMenu, DisplayConditionsChooseTheEntries) {
  struct Case {
    const char *model, *level, *time;
    const char* abbrs;
    const char* why;
  };
  const Case cases[] = {
      {"", "", "", "back,temp,ab,last", "empty texts satisfy no test"},
      {"eta", "500mb", "", "back,temp,both,either,ab,last", "model and level hold"},
      {"ngm", "500mb", "", "back,temp,both,either,noeta,ab,last", "ngm is not eta"},
      {"ngm", "700mb", "12", "back,temp,noeta,ft,ab,last", "no alternative of either list holds"},
      {"etax", "", "", "back,temp,noeta,ab,last", "a pattern uses up the whole text"},
  };
  for (const Case& c : cases) EXPECT_EQ(shown(c.model, c.level, c.time), c.abbrs) << c.why;
}

TEST(VarMenu, DisplayPatterns) {
  struct Case {
    const char* pattern;
    const char* text;
    int want;
  };
  const Case cases[] = {
      {"a*c", "abc", 1},       {"a*c", "ac", 1},   {"a*c", "ab", 0},       {"a*", "abcdef", 1},   {"[0-9]?", "5x", 1},
      {"[0-9]?", "x5", 0},     {"[0-9]?", "5", 0}, {"eta|ngm", "etax", 0}, {"eta|ngm", "ngm", 1}, {"~eta", "ngm", 1},
      {"~eta", "eta", 0},      {"[-a]b", "-b", 1}, {"[a-]b", "-b", 1},     {"e.a", "eta", 1},     {"ETA", "eta", 0},
      {"a*b*c", "axxbyyc", 1}, {"", "eta", 0},     {"eta", "", 0},         {"[abc", "a", 0},      {"a*cd", "acxcd", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(VAR_menu_display(c.pattern, c.text), c.want) << c.pattern << " ~ " << c.text;
  EXPECT_EQ(VAR_menu_display(nullptr, "a"), 0);
  EXPECT_EQ(VAR_menu_display("a", nullptr), 0);
}

TEST(VarMenu, EntriesNamesLimitAndLongAbbreviations) {
  TempDir dir;
  std::string many;
  for (int i = 1; i <= 50; ++i) many += "e" + std::to_string(i) + " Entry_" + std::to_string(i) + " 1 temp\n";
  write_file(dir.file("many.var"), many);
  write_file(dir.file("menu.var"), kMenuFile);
  auto r = run_child(
      [&] {
        RES_put("file_path", dir.path().c_str());
        VAR_open_file("many.var");
        VAR_read_menu();
        VAR_menu("Variable Menu", "Enter: ", nullptr, 0);
        char answer[MENU_STRING_LEN] = "";
        FLAG_set_batch(0);
        VAR_menu("Variable Menu", "Enter: ", answer, 0);
        std::printf("\nANSWER %s\n", answer);
        VAR_open_file("menu.var");
        VAR_read_menu();
        char name[64];
        int found = VAR_search_name_file("TEMP", name, sizeof name);
        std::printf("NAME %d %s\n", found, name);
        std::printf("NAME %d\n", VAR_search_name_file("none", name, sizeof name));
        std::string def;
        std::printf("HIDDEN %d %s\n", VAR_lookup("hide", &def), def.c_str());
        std::printf("JOINED %d %s\n", VAR_lookup("ab", &def), def.c_str());
        return 0;
      },
      "48\n");
  EXPECT_NE(r.out.find("Entry 48"), std::string::npos);
  EXPECT_EQ(r.out.find("Entry 49"), std::string::npos) << "the menu ends after the 48th entry";
  EXPECT_NE(r.out.find("ANSWER e48\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("NAME 1 Temperature_(F)\n"), std::string::npos);
  EXPECT_NE(r.out.find("NAME 0\n"), std::string::npos);
  EXPECT_NE(r.out.find("HIDDEN 1 dewp\n"), std::string::npos) << "a hidden entry still expands";
  EXPECT_NE(r.out.find("JOINED 1 a,b\n"), std::string::npos);
  EXPECT_NE(r.err.find("VAR_read_menu: Abbreviation longer than 8 characters, not shown: verylongab"),
            std::string::npos)
      << r.err;
}

TEST(VarMenu, PipedAnswers) {
  TempDir dir;
  write_file(dir.file("menu.var"), kMenuFile);
  struct Case {
    const char* input;
    int flag;
    const char* want; /* result and answer */
    const char* why;
  };
  const Case cases[] = {
      {"1\n", 0, "1 temp", "by number"},
      {"ab\n", 0, "1 ab", "by abbreviation"},
      {"PAIR\n", 0, "1 ab", "by name, any case"},
      {"temp:C,dewp\n", 0, "-9999 temp:C,dewp", "a variable string typed directly"},
      {"list\n3\n", 0, "1 last", "list prints the file and asks again"},
      {"main\n", 2, "0 main", "main goes back"},
  };
  for (const Case& c : cases) {
    auto r = run_child(
        [&] {
          RES_put("file_path", dir.path().c_str());
          VAR_open_file("menu.var");
          VAR_read_menu();
          char answer[MENU_STRING_LEN] = "";
          int got = VAR_menu("Variable Menu", "Enter: ", answer, c.flag);
          std::printf("\nRESULT %d %s\n", got, answer);
          return 0;
        },
        c.input);
    EXPECT_NE(r.out.find(std::string("RESULT ") + c.want + "\n"), std::string::npos) << c.why << "\n" << r.out;
    if (std::string(c.input).rfind("list", 0) == 0) {
      EXPECT_NE(r.out.find(" Abbr    Description\n"), std::string::npos);
      char row[80];
      std::snprintf(row, sizeof row, "%-8s %-50s\n", "hide", "Hidden");
      EXPECT_NE(r.out.find(row), std::string::npos) << "the listing shows every entry:\n" << r.out;
    }
  }
  auto r = run_child(
      [&] {
        RES_put("file_path", dir.path().c_str());
        VAR_open_file("menu.var");
        VAR_read_menu();
        char answer[MENU_STRING_LEN] = "";
        VAR_menu("Variable Menu", "Enter: ", answer, 0);
        std::printf("NOT REACHED\n");
        return 3;
      },
      "exit\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.find("NOT REACHED"), std::string::npos);
}

TEST(VarMenu, BatchTakesTheFirstEntryOrDef) {
  TempDir dir;
  write_file(dir.file("menu.var"), kMenuFile);
  write_file(dir.file("empty.var"), "hide Hidden 0 temp\n");
  auto r = run_child([&] {
    RES_put("file_path", dir.path().c_str());
    FLAG_set_batch(1);
    char answer[MENU_STRING_LEN] = "";
    int a = VAR_menu("T", "P", answer, 0);
    std::printf("%d %s|", a, answer);
    VAR_open_file("menu.var");
    VAR_read_menu();
    VAR_menu("T", "P", answer, 0);
    std::printf("%s|", answer);
    VAR_open_file("empty.var");
    VAR_read_menu();
    VAR_menu("T", "P", answer, 0);
    std::printf("%s|", answer);
    return 0;
  });
  EXPECT_EQ(r.out, "1 def|temp|def|") << "no file, a file, a file with nothing shown";
}

TEST(VarMenu, ListingWithoutFile) {
  auto r = run_child([] { return VAR_print_file() == -1 && VAR_read_menu() == 0 ? 0 : 1; });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
}
