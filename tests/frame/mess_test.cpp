#include "kez.h"
#include "kez_test.h"

#include <gtest/gtest.h>

#include <cstdio>
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
      {"bogus", 0xFFFFF, "an unknown word keeps the level"},
      {"warn,bogus", 0xFF, "a misspelt word after a good one keeps it"},
      {"+bogus", 0xFFFFF, "an unknown word with a sign keeps the level"},
      {"", 0xFFFFF, "an empty value holds no items"},
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
  /* The empty item sets the level to 0; only what follows it counts. */
  auto between = run_child([] {
    MESS_set_str("warn,,+print");
    return MESS_get() == 0xF ? 0 : 1;
  });
  EXPECT_EQ(between.status, 0);
  auto last = run_child([] {
    MESS_set_str("mess,,");
    MESS_set_str("mess,,,warn,,");
    MESS_set_str("mess,,+print,,");
    MESS_print(M_error, "hidden\n");
    return MESS_get() == 0xF ? 0 : 1;
  });
  EXPECT_EQ(last.status, 0) << "trailing commas add no empty item, inner ones do";
  EXPECT_EQ(last.err, "");
}

TEST(MessageLevel, EmptyValueKeepsTheLevelAndMessagesShow) {
  for (const char* value : {static_cast<const char*>(""), static_cast<const char*>(nullptr)}) {
    auto r = run_child([&] {
      MESS_set_str("warn");
      MESS_set_str(value);
      MESS_print(M_error, "still shown\n");
      return MESS_get() == 0xFF ? 0 : 1;
    });
    EXPECT_EQ(r.status, 0) << (value ? "empty" : "null");
    EXPECT_EQ(r.err, "still shown\n");
  }
}

TEST(MessageLevel, UnknownWordWarnsAndKeepsErrorsVisible) {
  auto r = run_child([] {
    MESS_set_str("bogus");
    MESS_print(M_error, "an error\n");
    return 0;
  });
  EXPECT_NE(r.err.find("MESS_set_str: Unknown message level: bogus\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("an error\n"), std::string::npos) << r.err;
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
  EXPECT_TRUE(std::regex_match(text, std::regex(R"(\d\d [A-Z]{3} \d\d  \d\d:\d\d:\d\dZ -- hello log\n)"))) << text;
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

TEST(LogFiles, UnopenableLogWhileSilentIsSaidOnTheTerminal) {
  kez_test::TempDir dir;
  const std::string first = dir.file("first.log");
  auto r = run_child([&] {
    MESS_set_str(("fi=" + first).c_str());
    MESS_set_str("fi=/proc/no/such/dir/x.log");
    return 0;
  });
  EXPECT_NE(r.err.find("MESS_set_str: Unable to open log file: /proc/no/such/dir/x.log"), std::string::npos)
      << "the terminal is on again: say so there\n"
      << r.err;
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

TEST(LogFiles, PerMessageLogInAFolderThatCannotBeMade) {
  /* Opening the log reports the folder it cannot make; that report must not
   * open the log again (it recursed until the stack ran out). */
  kez_test::TempDir dir;
  kez_test::write_file(dir.file("plain"), "");
  const std::string log = dir.file("plain/sub/run.log");
  auto r = run_child([&] {
    MESS_set_str(("dfi=" + log).c_str());
    return MESS_print(M_print, "still seen\n");
  });
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(r.out, "still seen\n");
  EXPECT_NE(r.err.find("FILE_make_dir: Unable to make directory"), std::string::npos) << r.err;
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
  EXPECT_EQ(r.out,
            "line 1\nline 2\nline 3\nline 4\nline 5\nline 6\nPress return to continue\n"
            "no line feed \n\n\n");
}

TEST(Paging, LineItemsGiveThePageLength) {
  struct Case {
    const char* value;
    int max_lines;
    bool warned;
    const char* why;
  };
  const Case cases[] = {
      {"line=0", 22, false, "0 gives the default"},
      {"line", 22, false, "no number gives the default"},
      {"line=-5", 22, false, "a negative number gives the default"},
      {"line=7", 7, false, ""},
      {"line=7,line=99999999999", 7, true, "a number past int is refused"},
      {"line=7,line=2147483648", 7, true, "one past the largest int"},
      {"line=7,line=5000000", 7, true, "far more lines than any terminal"},
  };
  for (const Case& c : cases) {
    auto r = run_child([&] {
      MESS_set_str(c.value);
      std::printf("%d", MESS_get_max_lines());
      return 0;
    });
    EXPECT_EQ(r.out, std::to_string(c.max_lines)) << c.value << ": " << c.why;
    EXPECT_EQ(r.err.find("MESS_set_str: Page length too large") != std::string::npos, c.warned)
        << c.value << ": " << r.err;
  }
}

TEST(Paging, HoldWritesItsTextAndTakesOneCharacter) {
  struct Case {
    const char* setting;
    M_type type;
    bool batch;
    bool waits;
    bool on_stderr;
    const char* why;
  };
  const Case cases[] = {
      {"page", M_print, false, true, false, ""},
      {"page", M_error | M_warn, false, true, true, "both error and warn bits: standard error"},
      {"page", M_error, false, true, false, "an error bit alone: standard output"},
      {"page", 0x80000000, false, false, false, "a type outside the level"},
      {"nopage", M_print, false, false, false, "paging off"},
      {"page", M_print, true, false, false, "batch mode"},
      {"page,fi=/dev/null", M_print, false, false, false, "terminal off"},
  };
  for (const Case& c : cases) {
    auto r = run_child(
        [&] {
          MESS_set_str(c.setting);
          FLAG_set_batch(c.batch ? 1 : 0);
          const int result = MESS_hold(c.type, "HOLD\n");
          std::printf("[%c]", static_cast<char>(std::getchar()));
          return result;
        },
        "ab");
    EXPECT_EQ(r.status, 0) << c.why;
    const std::string text = c.waits ? "HOLD\n" : "";
    EXPECT_EQ(r.out, (c.on_stderr ? "" : text) + (c.waits ? "[b]" : "[a]")) << c.setting << ": " << c.why;
    EXPECT_EQ(r.err, c.on_stderr ? text : "") << c.why;
  }
}

TEST(Paging, HoldStartsTheCountAgain) {
  auto r = run_child(
      [] {
        MESS_set_str("page,line=2");
        MESS_print(M_print, "1\n2\n");
        MESS_hold(M_print, "");
        MESS_print(M_print, "3\n4\n");
        MESS_print(M_print, "5\n");
        return 0;
      },
      "xy");
  EXPECT_EQ(r.out, "1\n2\n3\n4\n5\nPress return to continue\n") << "the wait comes at the third line after the hold";
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
