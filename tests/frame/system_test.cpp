#include "kez.h"
#include "kez_test.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

namespace {

using kez_test::read_file;
using kez_test::run_child;
using kez_test::TempDir;

TEST(Prompts, WordPromptTakesTheFirstWord) {
  struct Case {
    const char* input;
    int length;
    const char* word;
  };
  const Case cases[] = {
      {"answer\n", 20, "answer"},        {"  two words\n", 20, "two"}, {"\n", 20, ""},
      {"abcdefghijkl\n", 9, "abcdefgh"}, {"abc", 20, "abc"},           {"exi\n", 20, "exi"},
  };
  for (const Case& c : cases) {
    auto r = run_child(
        [&] {
          char buf[64];
          KEZ_prompts("Word: ", buf, c.length);
          std::printf("[%s]", buf);
          return 0;
        },
        c.input);
    EXPECT_EQ(r.out, std::string("Word: [") + c.word + "]") << c.input;
  }
}

TEST(Prompts, PromptLineFeedsCountForPaging) {
  /* Pages of 2 lines: the prompt's two line feeds and one more line pass it. */
  auto r = run_child(
      [] {
        MESS_set_str("page,line=2");
        char buf[16];
        KEZ_prompts("\nLine 100%\n", buf, 10);
        MESS_print(M_print, "after\n");
        return 0;
      },
      "x\n\n");
  EXPECT_EQ(r.out, "\nLine 100%\nafter\nPress return to continue\n");
}

TEST(Prompts, SetCommandsStoreAndAskAgain) {
  struct Case {
    const char* line;
    const char* value;
  };
  const Case cases[] = {{"set region=us", "us"},
                        {"set region us", "us"},
                        {"set region = us", "us"},
                        {"SET region   ==  us and more", "us and more"},
                        {"set region", ""}};
  for (const Case& c : cases) {
    auto r = run_child(
        [&] {
          char buf[64];
          KEZ_prompts("? ", buf, 40);
          const char* v = RES_get("region");
          std::printf("[%s|%s]", buf, v ? v : "(none)");
          return 0;
        },
        std::string(c.line) + "\nnext\n");
    EXPECT_EQ(r.out, std::string("? ? [next|") + c.value + "]") << c.line;
  }
}

TEST(Prompts, SetAloneListsResources) {
  auto r = run_child(
      [] {
        RES_put("alpha", "1");
        RES_new(-9999, "bare", nullptr, CV_string);
        char buf[16];
        KEZ_prompts("? ", buf, 16);
        return 0;
      },
      "set\nsetup\nok\n");
  EXPECT_EQ(r.out, "? Set resources\nalpha: 1\nbare:\n\n? Set resources\nalpha: 1\nbare:\n\n? ");
}

TEST(Prompts, SetDiffersByCaseMakesASecondResource) {
  auto r = run_child(
      [] {
        RES_put("region", "ne");
        char buf[16];
        KEZ_prompts("", buf, 16);
        RES_list();
        return 0;
      },
      "set Region us\n\n");
  EXPECT_EQ(r.out, "region: ne\nRegion: us\n");
}

TEST(Prompts, MenuPromptOnlyLooksAtTheFirstWord) {
  auto r = run_child(
      [] {
        char buf[81];
        KEZ_promptl("> ", buf);
        std::printf("[%s|%s]", buf, RES_get("region") ? "set" : "unset");
        return 0;
      },
      "set region us\nchoice\n");
  EXPECT_EQ(r.out, "> Set resources\n\n> [choice|unset]");
}

TEST(Prompts, ExitEndsWithStatusZero) {
  for (const char* line : {"exit\n", "EXIT\n", "exit now\n"}) {
    auto r = run_child(
        [] {
          KEZ_promptd("n: ");
          return 5;
        },
        line);
    EXPECT_EQ(r.status, 0) << line;
  }
}

TEST(Prompts, EndOfInputEndsCleanly) {
  auto r = run_child(
      [] {
        char buf[16];
        KEZ_prompts("? ", buf, 16);
        KEZ_prompts("? ", buf, 16);
        return 5;
      },
      "set a 1\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("End of input"), std::string::npos);
}

/* Batch mode has no one to answer: every prompt ends the run with the
 * usage status and names its question, whatever the input holds. */
TEST(Prompts, BatchModeAsksNothing) {
  const struct {
    const char* what;
    std::function<void()> ask;
  } prompts[] = {
      {"Number: ", [] { KEZ_promptf("Number: "); }},
      {"Whole: ", [] { KEZ_promptd("Whole: "); }},
      {"Word: ",
       [] {
         char buf[16];
         KEZ_prompts("Word: ", buf, 16);
       }},
      {"Line: ",
       [] {
         char buf[81];
         KEZ_promptl("Line: ", buf);
       }},
  };
  for (const auto& p : prompts) {
    auto r = run_child(
        [&] {
          FLAG_set_batch(1);
          p.ask();
          return 5;
        },
        "45\n");
    EXPECT_EQ(r.status, KEZ_EXIT_USAGE) << p.what;
    EXPECT_NE(r.err.find(std::string("KEZ_prompt: Batch mode cannot ask: ") + p.what), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find(p.what), std::string::npos) << "the question is not shown";
  }
}

TEST(Prompts, NumberPrompts) {
  struct Case {
    const char* input;
    int value;
    const char* out;
  };
  const Case cases[] = {
      {"12\n", 12, "n: "}, {"\n", 0, "n: "}, {"abc\n12abc\n", 12, "n: n: "}, {"set x 3\n-4\n", -4, "n: n: "}};
  for (const Case& c : cases) {
    auto r = run_child([] { return KEZ_promptd("n: ") & 0xFF; }, c.input);
    EXPECT_EQ(r.status, c.value & 0xFF) << c.input;
    EXPECT_EQ(r.out, c.out) << c.input;
  }
  auto f = run_child(
      [] {
        float v = KEZ_promptf("f: ");
        std::printf("[%.2f]", static_cast<double>(v));
        return 0;
      },
      "x\n2.5\n");
  EXPECT_EQ(f.out, "f: f: [2.50]");
}

TEST(Prompts, AllocateWhenNoBufferIsGiven) {
  auto r = run_child(
      [] {
        char* word = KEZ_prompts("", nullptr, 1);
        std::printf("[%s]", word);
        std::free(word);
        char* menu = KEZ_promptl("", nullptr);
        std::printf("[%s]", menu);
        std::free(menu);
        return 0;
      },
      "xyz\nabc\n");
  EXPECT_EQ(r.out, "[x][abc]") << "a length below 2 counts as 2";
}

TEST(Processes, ForegroundRunReturnsTheStatus) {
  char* args[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), const_cast<char*>("exit 7"), nullptr};
  auto r = run_child([&] { return KEZ_run("sh", args, nullptr, 0); });
  EXPECT_EQ(r.status, 7);

  char* missing[] = {const_cast<char*>("no-such-program-kez"), nullptr};
  auto m = run_child([&] { return KEZ_run("no-such-program-kez", missing, nullptr, 0); });
  EXPECT_EQ(m.status, 2);
  EXPECT_NE(m.err.find("Running no-such-program-kez"), std::string::npos);

  char* killed[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), const_cast<char*>("kill -9 $$"), nullptr};
  auto k = run_child([&] { return KEZ_run("sh", killed, nullptr, 0); });
  EXPECT_EQ(k.status, 128 + 9) << "a child killed by a signal is not a success";
}

TEST(Processes, WaitWithoutAChildReturns) {
  /* With SIGCHLD ignored the child is reaped by the system, and the wait
   * finds no child at all. */
  auto r = run_child([] {
    ::signal(SIGCHLD, SIG_IGN);
    char* args[] = {const_cast<char*>("true"), nullptr};
    int run = KEZ_run("true", args, nullptr, 0);
    int func = KEZ_run_func([](int) { return 0; }, 0);
    return run == -1 && func == -1 ? 0 : 1;
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("No child to wait for"), std::string::npos);
}

TEST(Processes, InputAndOutputFiles) {
  TempDir dir;
  kez_test::write_file(dir.file("in"), "from the file\n");
  char* args[] = {const_cast<char*>("cat"), nullptr};
  auto r = run_child([&] {
    KEZ_set_infile(dir.file("in").c_str());
    KEZ_set_outfile(dir.file("out").c_str());
    return KEZ_run("cat", args, nullptr, 0);
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(read_file(dir.file("out")), "from the file\n");
}

TEST(Processes, BackgroundTableAndRunFunction) {
  auto r = run_child([] {
    char* args[] = {const_cast<char*>("sleep"), const_cast<char*>("5"), nullptr};
    int slot = KEZ_run("sleep", args, nullptr, 2);
    EXPECT_EQ(slot, 0);
    EXPECT_EQ(KEZ_numproc(), 1);
    EXPECT_STREQ(KEZ_proc_name(0), "sleep");
    int pid = KEZ_proc_id(slot);
    EXPECT_EQ(KEZ_proc(pid), 0) << "the slot of the child's id";
    EXPECT_EQ(KEZ_chk_proc(0), 1) << "running";
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    EXPECT_EQ(KEZ_chk_proc(0), 0) << "ended: the slot is freed";
    EXPECT_EQ(KEZ_proc_id(0), -1);
    EXPECT_EQ(KEZ_run_func([](int x) { return x * 2; }, 21), 42);
    return ::testing::Test::HasFailure() ? 1 : 0;
  });
  EXPECT_EQ(r.status, 0) << r.out;
}

TEST(Processes, SlotsStartFreeAndFillLowestFirst) {
  auto r = run_child([] {
    EXPECT_EQ(KEZ_add_proc(100, "a-name-longer-than-fourteen"), 0);
    EXPECT_EQ(std::strlen(KEZ_proc_name(0)), 14u) << "names are cut to 14 characters";
    EXPECT_EQ(KEZ_add_proc(101, "b"), 1);
    EXPECT_EQ(KEZ_numproc(), 2);
    KEZ_clr_proc(0);
    EXPECT_EQ(KEZ_add_proc(102, "c"), 0) << "the freed lowest slot first";
    EXPECT_EQ(KEZ_numproc(), 2);
    for (int i = 2; i < 10; ++i) EXPECT_EQ(KEZ_add_proc(200 + i, "x"), i);
    EXPECT_EQ(KEZ_add_proc(300, "y"), -1) << "ten slots";
    EXPECT_EQ(KEZ_numproc(), 10);
    char* args[] = {const_cast<char*>("true"), nullptr};
    EXPECT_EQ(KEZ_run("true", args, nullptr, 2), 0) << "a full table still runs the child";
    EXPECT_EQ(KEZ_proc_id(99), -1);
    return ::testing::Test::HasFailure() ? 1 : 0;
  });
  EXPECT_EQ(r.status, 0) << r.out;
}

TEST(Processes, BackgroundMoveDetachesTheChild) {
  TempDir dir;
  std::string marker = dir.file("child");
  auto r = run_child([&] {
    if (KEZ_back_proc() != 1) return 3;
    /* The child: standard streams on /dev/null. */
    char link[256] = "";
    ssize_t n = ::readlink("/proc/self/fd/1", link, sizeof link - 1);
    if (n > 0) link[n] = '\0';
    kez_test::write_file(marker + ".tmp", link);
    ::rename((marker + ".tmp").c_str(), marker.c_str());
    ::_exit(0);
  });
  EXPECT_EQ(r.status, 0) << "the parent ends with status 0";
  kez_test::wait_until([&] { return !read_file(marker).empty(); });
  EXPECT_EQ(read_file(marker), "/dev/null");
}

TEST(Timing, SleepAndElapsedTime) {
  EXPECT_EQ(KEZ_sleep(0.0f), -1);
  EXPECT_EQ(KEZ_sleep(-1.0f), -1);
  KEZ_init_time();
  EXPECT_EQ(KEZ_sleep(0.05f), 0);
  EXPECT_GE(KEZ_elapse_time(), 0.05f) << "at least the time slept";
  EXPECT_GT(KEZ_get_virt_mem(), 1000000L);
  EXPECT_EQ(KEZ_get_pid(), static_cast<int>(::getpid()));
}

} // namespace
