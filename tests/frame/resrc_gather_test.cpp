#include "kez.h"
#include "kez_test.h"
#include "kezresrc.h"
#include "loop_window.h"

#include <gtest/gtest.h>

#include <sys/ipc.h>
#include <sys/msg.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

using kez_test::ChildResult;
using kez_test::LoopWindow;
using kez_test::run_child;
using kez_test::TempDir;
using kez_test::write_file;

constexpr res_type test_keys[] = {RES_help,       RES_batch,      RES_message,      RES_device,
                                  RES_title,      RES_icon,       RES_con_interval, RES_inputg,
                                  RES_color_map,  RES_color_text, RES_color_data,   RES_color_grid,
                                  RES_color_line, RES_color_wx,   RES_label,        RES_age /* no definition */,
                                  RES_null};
constexpr res_type test_pos[] = {RES_filenames, RES_null};

using Env = std::vector<std::pair<std::string, std::string>>;

/* Runs the start-up of a program "kezsfc" with these arguments in a child
 * working in cwd, then report. */
ChildResult gather(const std::vector<std::string>& args, const std::string& cwd, const Env& env,
                   const std::function<void()>& report, const std::string& input = "") {
  return run_child(
      [&] {
        ::alarm(60); /* a start-up that hangs ends the child, not the test run */
        ::unsetenv("kezdefault");
        ::unsetenv("keztz");
        for (const auto& [name, value] : env) ::setenv(name.c_str(), value.c_str(), 1);
        if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) return 2;
        static std::vector<std::string> storage;
        storage = {"/opt/kez/bin/kezsfc"};
        storage.insert(storage.end(), args.begin(), args.end());
        static std::vector<char*> argv;
        for (std::string& a : storage) argv.push_back(a.data());
        argv.push_back(nullptr);
        RES_init(static_cast<int>(storage.size()), argv.data(), test_keys, test_pos);
        report();
        return 0;
      },
      input);
}

/* "name=value;" for each name, "(none)" for an absent resource. */
void show(std::initializer_list<const char*> names) {
  for (const char* name : names) {
    const char* value = RES_get(name);
    std::printf("%s=%s;", name, value ? value : "(none)");
  }
}

TEST(ResourceGathering, LaterSourcesWin) {
  TempDir dir;
  write_file(dir.file("kez.cfg"),
             "*color_map: file\n*color_text: file\n*color_data: file\n*color_grid: file\n"
             "*color_line: file\n*label: file\n*filename: old\n");
  const Env env = {
      {"kezcolor_text", "env3"}, {"kezclrdata", "own"},     {"kezcolor_data", "env3"}, {"kezkezsfc.color_grid", "prog"},
      {"kezclrgrid", "own"},     {"kezcolor_grid", "env3"}, {"kezclrln", "own"},       {"kezclrwx", ""}};
  auto r = gather({"one", "-coln", "cmd", "-la=cmdlabel", "two"}, dir.path(), env, [] { RES_list(); });
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "color_map: file\n"
            "color_text: env3\n" /* the third variable over the file */
            "color_data: own\n"  /* the resource's own over the third */
            "color_grid: prog\n" /* program and name over both */
            "color_line: cmd\n"  /* the command line over all */
            "label: cmdlabel\n"
            "filename: one\ntwo\n" /* the first name replaces the file's, the next joins it */
            "color_wx: \n")        /* an empty variable counts */
      << "a resource keeps the place where its name first appeared";
}

TEST(ResourceGathering, SetAtAPromptShowsInTheListing) {
  TempDir dir;
  auto r = gather(
      {"-ti=First"}, dir.path(), {},
      [] {
        char answer[20];
        KEZ_prompts("Enter: ", answer, 20);
        std::printf("<%s>", answer);
      },
      "set color_map red\nset\nanswer\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("Set resources\ntitle: First\ncolor_map: red\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("<answer>"), std::string::npos);
}

TEST(ResourceGathering, CommandLineForms) {
  TempDir dir;
  const std::string long_name(60, 'q');
  struct Case {
    std::vector<std::string> args;
    std::vector<const char*> names;
    std::string expected; /* the names shown, then batch and device flags */
  };
  const Case cases[] = {
      {{"-ba", "f1"}, {"batch", "filename"}, "batch=;filename=f1;|b1d-9999"},
      {{"-ba=no"}, {"batch"}, "batch=no;|b1d-9999"},
      {{"-tit", "X"}, {"title", "tit"}, "title=X;tit=(none);|b-9999d-9999"},
      {{"-color_m=blue"}, {"color_map"}, "color_map=blue;|b-9999d-9999"},
      {{"-n", "x"}, {"name", "n", "filename"}, "name=x;n=(none);filename=(none);|b-9999d-9999"},
      {{"-NAME=x"}, {"name", "NAME"}, "name=(none);NAME=(none);|b-9999d-9999"},
      {{"-misspelt", "v", "-bare"}, {"misspelt", "bare"}, "misspelt=v;bare=;|b-9999d-9999"},
      {{"--de=p"}, {"device"}, "device=p;|b-9999d-9999"}, /* the workstation converts it */
      {{"-in", "5"}, {"con_interval", "input"}, "con_interval=5;input=(none);|b-9999d-9999"},
      {{"-inp", "front"}, {"con_interval", "input"}, "con_interval=(none);input=front;|b-9999d-9999"},
      {{"--", "a", "-5", "-"}, {"filename"}, "filename=a\n-5\n-;|b-9999d-9999"},
      {{"-ic", "file"}, {"icon", "filename"}, "icon=;filename=file;|b-9999d-9999"},
      {{"-ic=off"}, {"icon"}, "icon=off;|b-9999d-9999"},
      {{"-ti", "-x"}, {"title", "x"}, "title=;x=;|b-9999d-9999"},
      {{"-" + long_name + "=v"}, {}, std::string(49, 'q') + "=v;|b-9999d-9999"},
  };
  for (const Case& c : cases) {
    auto r = gather(c.args, dir.path(), {}, [&c, &long_name] {
      for (const char* name : c.names) show({name});
      if (c.names.empty()) show({std::string(49, 'q').c_str()});
      (void)long_name;
      std::printf("|b%dd%d", FLAG_get(19), FLAG_get(2));
    });
    EXPECT_EQ(r.out, c.expected) << c.args[0];
  }
}

/* The options that name no resource at all are reported, each once, as
 * the program's own check asks; a resource of the suite that the program
 * does not list, "name" and "default" are no such options. */
TEST(ResourceGathering, UnknownOptionsAreReported) {
  TempDir dir;
  const struct {
    std::vector<std::string> args;
    int unknown;
    const char* shown;
  } cases[] = {
      {{"-misspelt", "v", "-bare", "-ti", "x"},
       2,
       "RES_decode: Unknown option: -misspelt\nRES_decode: Unknown option: -bare\n"},
      {{"--zz=1", "f1"}, 1, "RES_decode: Unknown option: -zz\n"},
      {{"-level", "3", "-model", "eta", "-plot_domain", "mw"}, 0, ""}, /* resources of the suite */
      {{"-n", "x", "-df", "nofile", "-co", "red", "-5", "-"}, 0, ""},
  };
  for (const auto& c : cases) {
    auto r = gather(c.args, dir.path(), {}, [] { std::printf("<%d>", RES_unknown_options()); });
    EXPECT_NE(r.out.find("<" + std::to_string(c.unknown) + ">"), std::string::npos) << c.args[0] << r.out;
    EXPECT_EQ(
        r.err.find("Unknown option") == std::string::npos ? std::string() : r.err.substr(r.err.find("RES_decode")),
        c.shown)
        << c.args[0];
  }
}

TEST(ResourceGathering, SearchPathElements) {
  TempDir dir;
  write_file(dir.file("kez.cfg"), "*title cwd\n");
  write_file(dir.file(".kezdef"), "*title dot\n");
  write_file(dir.file("other"), "*title other\n*unknown_res: plain\nkezsfc.Mixed: yes\nelse.only: no\n");
  write_file(dir.file("tagged"), "IF alpha\n*label: tagged\nEND\n");
  struct Case {
    std::vector<std::string> args;
    Env env;
    std::string expected;
  };
  const Case cases[] = {
      {{}, {}, "title=cwd;label=(none);unknown_res=(none);"},
      {{"-df", "other"}, {}, "title=other;label=(none);unknown_res=plain;"},
      {{"-df", ""}, {}, "title=dot;label=(none);unknown_res=(none);"},
      {{}, {{"kezdefault", "other"}}, "title=other;label=(none);unknown_res=plain;"},
      {{"-default=.kezdef"}, {{"kezdefault", "other"}}, "title=dot;label=(none);unknown_res=(none);"},
      {{"-df", "+alpha:tagged"}, {}, "title=(none);label=tagged;unknown_res=(none);"},
      {{"-df", "tagged"}, {}, "title=(none);label=(none);unknown_res=(none);"},
      {{"-df", "other:."}, {}, "title=cwd;label=(none);unknown_res=plain;"},
      {{"-df=missing:"}, {}, "title=(none);label=(none);unknown_res=(none);"},
  };
  for (const Case& c : cases) {
    auto r = gather(c.args, dir.path(), c.env, [] { show({"title", "label", "unknown_res"}); });
    EXPECT_EQ(r.out, c.expected) << (c.args.empty() ? "(no option)" : c.args[0] + " " + c.args.back());
  }
  auto plain = gather({"-df", "other"}, dir.path(), {}, [] { show({"mixed", "only", "default"}); });
  EXPECT_EQ(plain.out, "mixed=yes;only=(none);default=other;");
}

TEST(ResourceGathering, NamedDefaultsFileThatCannotBeReadWarns) {
  TempDir dir;
  write_file(dir.file("other"), "*title other\n");
  struct Case {
    std::vector<std::string> args;
    Env env;
    std::string warned; /* the file named in the warning, "" none */
    const char* why;
  };
  const Case cases[] = {
      {{"-df", "/dev/zero"}, {}, "/dev/zero", "a device is no defaults file, and reading it never ends"},
      {{"-df", "missing"}, {}, "missing", "a missing file the user named"},
      {{"-df", "other:missing"}, {}, "missing", "each element the user named"},
      {{}, {{"kezdefault", "gone"}}, "gone", "named through the environment"},
      {{"-df", "other:."}, {}, "", "a folder without a defaults file is usual"},
      {{}, {}, "", "the search path's own places stay silent"},
  };
  for (const Case& c : cases) {
    auto r = gather(c.args, dir.path(), c.env, [] { show({"title"}); });
    const std::string what = c.args.empty() ? "(no option)" : c.args.back();
    EXPECT_EQ(r.status, 0) << what << ": " << c.why;
    if (c.warned.empty())
      EXPECT_EQ(r.err.find("Unable to read defaults file"), std::string::npos) << what << ": " << r.err;
    else
      EXPECT_NE(r.err.find("RES_decode: Unable to read defaults file: " + c.warned + "\n"), std::string::npos)
          << what << ": " << c.why << "\n"
          << r.err;
  }
}

TEST(ResourceGathering, MessageValuesThatShowNothingByMistake) {
  /* A misspelt level word or an empty value must not silence the errors
   * (and the help) of a run; "none" still does. */
  TempDir dir;
  struct Case {
    std::vector<std::string> args;
    Env env;
    const char* level;
    bool warned;
  };
  const Case cases[] = {
      {{"-me", "bogus", "-h"}, {}, "fffff", true}, {{"-me=", "-h"}, {}, "fffff", false},
      {{}, {{"kezmess", ""}}, "fffff", false},     {{"-me", "warn,bogus"}, {}, "ff", true},
      {{"-me", "none"}, {}, "0", false},
  };
  for (const Case& c : cases) {
    auto r = gather(c.args, dir.path(), c.env, [] {
      std::printf("%x", MESS_get());
      MESS_print(M_error, "an error\n");
    });
    const std::string what = c.args.empty() ? "kezmess=" : c.args[0] + " " + c.args.back();
    EXPECT_EQ(r.out, c.level) << what;
    EXPECT_EQ(r.err.find("MESS_set_str: Unknown message level: bogus\n") != std::string::npos, c.warned)
        << what << ": " << r.err;
    EXPECT_EQ(r.err.find("an error\n") != std::string::npos, std::string(c.level) != "0") << what << ": " << r.err;
  }
}

TEST(ResourceGathering, ConvertsOnceIntoOutputs) {
  auto r = run_child([] {
    char** names = nullptr;
    int count = 0;
    int icon = 0;
    RES_defobj defs[4];
    RES_fill_obj(&defs[0], "icon", "kezicon", "ic", CV_bool, reinterpret_cast<char*>(&icon), nullptr);
    RES_enter(&defs[1], RES_age);
    RES_fill_obj(&defs[2], "filename", "kezfilename", "10", CV_strings, reinterpret_cast<char*>(&names), &count);
    RES_fill_obj(&defs[3], nullptr, nullptr, nullptr, CV_none, nullptr, nullptr);
    char a0[] = "prog", a1[] = "a", a2[] = "-ic", a3[] = "b";
    char* argv[] = {a0, a1, a2, a3, nullptr};
    RES_decode("prog", "Kez", 4, argv, defs);
    std::printf("%d %s %s %d", count, count > 0 ? names[0] : "", count > 1 ? names[1] : "", icon);
    free_parsed_array(count, names);
    return 0;
  });
  EXPECT_EQ(r.out, "2 a b 1");
}

TEST(ResourceGathering, DisplayZoneFromTheEnvironment) {
  TempDir dir;
  auto r = gather({}, dir.path(), {{"keztz", "-EST:-5"}},
                  [] { std::printf("%s %d %d", DATE_get_tz_str(), DATE_get_tz_off(), DATE_get_tz_pm()); });
  EXPECT_EQ(r.out, " EST -18000 -1");
}

/* ---- linked loop windows ---- */

std::string uid_text() { return std::to_string(static_cast<long>(::getuid())); }

TEST(LoopWindowGathering, WindowValuesWinAndLocalOnesAreSentBack) {
  LoopWindow window({"-v", "title=From the window", "-v", "label=!"});
  ASSERT_TRUE(window.running());
  TempDir dir;
  write_file(dir.file("local"), "*title: local\n*color_map: file\n");
  auto r = gather({"-df", "local:#" + std::to_string(window.number()), "-cot", "blue"}, dir.path(), {}, [] {
    show({"title", "color_map", "color_text", "label"});
  });
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "title=From the window;color_map=file;color_text=blue;label=(none);");
  std::string expected = "/|" + uid_text() + "\n";
  for (const res_type* key = test_keys; *key != RES_null; ++key) {
    RES_defobj def;
    RES_enter(&def, *key);
    if (*def.def) expected += std::string("3|query res ") + def.def + "\n";
  }
  expected += "3|query res filename\n";
  expected += "3|set res color_map file\n3|set res color_text blue\n3|quit\n";
  EXPECT_EQ(window.log(), expected);
  EXPECT_EQ(window.wait_exit(kez_test::kPatience), 0) << "the window ends after quit";
  EXPECT_LT(::msgget(window.number(), 0), 0) << "and its queue is gone";
}

TEST(LoopWindowGathering, SilentWindowEndsTheProgramWithStatus7) {
  LoopWindow window({"-silent"});
  ASSERT_TRUE(window.running());
  TempDir dir;
  const std::string element = "#" + std::to_string(window.number());
  auto r = run_child([&] {
    MQ_timeout(1);
    char a0[] = "kezsfc", a1[] = "-df";
    static std::string path = element;
    char* argv[] = {a0, a1, path.data(), nullptr};
    RES_init(3, argv, test_keys, test_pos);
    return 0;
  });
  EXPECT_EQ(r.status, 7);
  EXPECT_EQ(r.err, "Queue not responding!!\n");
}

TEST(LoopWindowGathering, MissingOrStoppedWindowOnlyWarns) {
  TempDir dir;
  const int free_number = MQ_find(740000 + static_cast<int>(::getpid() % 50000) * 20);
  ASSERT_GT(free_number, 0);
  auto missing =
      gather({"-df", "#" + std::to_string(free_number), "-ti", "x"}, dir.path(), {}, [] { show({"title"}); });
  EXPECT_EQ(missing.status, 0);
  EXPECT_EQ(missing.out, "title=x;") << "a failed link is no link: nothing is sent";
  EXPECT_EQ(missing.err,
            "KEZloop window: " + std::to_string(free_number) + " not running or no message queue exists\n");

  LoopWindow stopped({"-stopped", "-v", "title=w"});
  ASSERT_TRUE(stopped.running());
  auto r = gather({"-df", "#" + std::to_string(stopped.number())}, dir.path(), {}, [] { show({"title"}); });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "title=w;");
  EXPECT_NE(r.err.find("KEZloop not running!\n"), std::string::npos);
}

} // namespace
