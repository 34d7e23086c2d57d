#include "kez.h"
#include "kez_test.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

namespace {

using kez_test::run_child;

/* Each scenario runs in a child, so the module starts at its start values. */

TEST(MessageLevel, ResourceItemsGiveTheirLevels) {
  struct Case {
    const char* value;
    M_type level;
    const char* why;
  };
  const Case cases[] = {
      {"print", 0xF, "plain word includes lower levels"},
      {"error", 0x3F, ""},
      {"warn", 0xFF, ""},
      {"mess", 0xFFF, ""},
      {"out1", 0xFFFF, ""},
      {"out2", 0xFFFFF, ""},
      {"out3", 0xFFFFFF, ""},
      {"out4", 0xFFFFFFF, ""},
      {"debug", 0xFFFFFFFF, ""},
      {"none", 0, ""},
      {"out2a", 0x1FFFF, "sub-level a"},
      {"warnc", 0x7F, "sub-level c"},
      {"warna", 0, "warn has no a bit"},
      {"warning", 0xFF, "a word that goes on counts as its beginning"},
      {"WARN", 0xFF, "case does not matter"},
      {"-out2", 0xFFFFF & ~0xF0000u, "removed from the start level"},
      {"+debug", 0xFFFFF | 0xF0000000u, "added to the start level"},
      {"bogus", 0, "unknown word"},
      {"warn,,", 0xFF, "trailing empty items make no items"},
      {"warn,,mess", 0xFFF, "the empty item sets 0, then mess"},
      {"mess,+debugb", 0xFFF | 0x20000000u, ""},
  };
  for (const Case& c : cases) {
    auto r = run_child([&] {
      MESS_set_str(c.value);
      return MESS_get() == c.level ? 0 : 1;
    });
    EXPECT_EQ(r.status, 0) << c.value << ": " << c.why;
  }
}

TEST(MessageLevel, EmptyItemBetweenCommasShowsNothing) {
  auto r = run_child([] {
    MESS_set_str("warn,,");
    MESS_set_str(",");
    return MESS_get() == 0 ? 0 : 1;
  });
  EXPECT_EQ(r.status, 0);
}

TEST(MessagePrint, ShownByMaskAndRoutedByKind) {
  auto r = run_child([] {
    int shown = MESS_print(M_print, "print %d\n", 1);
    MESS_print(M_error, "error\n");
    MESS_print(M_warn, "warn\n");
    MESS_print(M_mess, "mess\n");
    int hidden = MESS_print(0x80000000, "debug trace\n");
    return (shown == 1 && hidden == 0) ? 0 : 1;
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "print 1\nmess\n");
  EXPECT_EQ(r.err, "error\nwarn\n");
}

TEST(MessagePrint, DebugAfterPlusDebug) {
  auto r = run_child([] {
    MESS_set_str("+debug");
    MESS_print(0x80000000, "trace\n");
    return 0;
  });
  EXPECT_EQ(r.out, "trace\n");
}

TEST(MessagePrint, WarnLevelHidesTheBanner) {
  auto r = run_child([] {
    MESS_set_str("warn");
    MESS_print_prog("TITLE");
    MESS_print(M_warn, "w\n");
    MESS_print(M_error, "e\n");
    return 0;
  });
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "w\ne\n");
}

TEST(MessagePrint, BannerLayout) {
  auto r = run_child([] { return MESS_print_prog("SURFACE DATA PLOTTING"); });
  EXPECT_EQ(r.out, std::string("      SURFACE DATA PLOTTING (Ver ") + KEZ_version() + ")\n\n");
}

TEST(LogFiles, TimeStampedLogKeepsTheTerminal) {
  kez_test::TempDir dir;
  std::string log = dir.file("sub/run.log");
  auto r = run_child([&] {
    MESS_set_str(("@fi=" + log).c_str());
    MESS_print(M_print, "hello %s\n", "log");
    MESS_print(0x80000000, "not shown\n");
    return 0;
  });
  EXPECT_EQ(r.out, "hello log\n");
  std::string text = kez_test::read_file(log);
  EXPECT_TRUE(std::regex_match(text, std::regex(R"(\d\d [A-Z]{3} \d\d  \d\d:\d\d:\d\dZ -- hello log\n)")))
      << text;
}

TEST(LogFiles, FileOnlyItemSilencesTheTerminal) {
  kez_test::TempDir dir;
  std::string log = dir.file("only.log");
  auto r = run_child([&] {
    MESS_set_str(("fi=" + log).c_str());
    int shown = MESS_print(M_error, "to the log\n");
    return shown;
  });
  EXPECT_EQ(r.status, 0) << "MESS_print returns 0 when the terminal is off";
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(kez_test::read_file(log), "to the log\n");
}

TEST(LogFiles, UnopenableFileOnlyLogKeepsTheTerminal) {
  auto r = run_child([] {
    MESS_set_str("fi=/proc/no/such/dir/x.log");
    return MESS_print(M_error, "still seen\n");
  });
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("still seen\n"), std::string::npos);
  EXPECT_NE(r.err.find("Unable to open log file"), std::string::npos);
}

TEST(LogFiles, AppendOverwriteAndPerMessageModes) {
  kez_test::TempDir dir;
  std::string plus = dir.file("plus.log"), minus = dir.file("minus.log"), d = dir.file("d.log");
  kez_test::write_file(plus, "old\n");
  kez_test::write_file(minus, "old\n");
  run_child([&] {
    MESS_set_str(("+fi=" + plus).c_str());
    MESS_print(M_print, "a\n");
    MESS_set_str(("-fi=" + minus).c_str());
    MESS_print(M_print, "b\n");
    MESS_set_str(("dfi=" + d).c_str());
    MESS_print(M_print, "c\n");
    MESS_print(M_print, "d\n");
    return 0;
  });
  EXPECT_EQ(kez_test::read_file(plus), "old\na\n");
  EXPECT_EQ(kez_test::read_file(minus), "b\n");
  EXPECT_EQ(kez_test::read_file(d), "c\nd\n");
}

TEST(LogFiles, CopyFileTakesEveryShownMessage) {
  kez_test::TempDir dir;
  std::string copy = dir.file("copy.txt");
  run_child([&] {
    MESS_file(copy.c_str(), "w");
    MESS_print(M_print, "one\n");
    MESS_print(0x80000000, "hidden\n");
    MESS_file_close();
    MESS_print(M_print, "two\n");
    return 0;
  });
  EXPECT_EQ(kez_test::read_file(copy), "one\n");
}

TEST(Paging, WaitComesWhenTheCountPassesMaxLines) {
  auto r = run_child(
      [] {
        MESS_set_str("page,line=5");
        for (int i = 1; i <= 6; ++i) MESS_print(M_print, "line %d\n", i);
        MESS_print(M_print, "no line feed %s", "\n\n\n");
        return 0;
      },
      "\n");
  EXPECT_EQ(r.out, "line 1\nline 2\nline 3\nline 4\nline 5\nline 6\nPress return to continue\n"
                   "no line feed \n\n\n");
}

TEST(Paging, LineItemWithoutNumberKeeps22) {
  auto r = run_child([] {
    MESS_set_str("line=0");
    int a = MESS_get_max_lines();
    MESS_set_str("line");
    int b = MESS_get_max_lines();
    MESS_set_str("line=7");
    return (a == 22 && b == 22 && MESS_get_max_lines() == 7) ? 0 : 1;
  });
  EXPECT_EQ(r.status, 0);
}

TEST(Paging, BatchAndNoPageNeverWait) {
  auto r = run_child([] {
    MESS_set_page(2);
    FLAG_set_batch(1);
    for (int i = 0; i < 30; ++i) MESS_print(M_print, "x\n");
    FLAG_set_batch(0);
    MESS_set_str("nopage");
    for (int i = 0; i < 30; ++i) MESS_print(M_print, "y\n");
    return 0;
  });
  EXPECT_EQ(r.out.find("Press return"), std::string::npos);
}

TEST(BatchLevel, DefaultOperationsYieldToExplicitSettings) {
  /* A batch run with message "mess" has 0xFFF whichever comes first. */
  auto first_batch = run_child([] {
    RES_conv_data(nullptr, nullptr, CV_batch);
    MESS_set_str("mess");
    return MESS_get() == 0xFFF ? 0 : 1;
  });
  EXPECT_EQ(first_batch.status, 0);
  auto first_message = run_child([] {
    MESS_set_str("mess");
    RES_conv_data(nullptr, nullptr, CV_batch);
    return MESS_get() == 0xFFF ? 0 : 1;
  });
  EXPECT_EQ(first_message.status, 0);
  auto defaults = run_child([] {
    MESS_set(20, 0xF);
    bool applied = MESS_get() == 0xF;
    MESS_set(0, 0xFF);
    MESS_set(21, 0xF000);
    return (applied && MESS_get() == 0xFF && MESS_check_set() == 1) ? 0 : 1;
  });
  EXPECT_EQ(defaults.status, 0);
}

} // namespace
