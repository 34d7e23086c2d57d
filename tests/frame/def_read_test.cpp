#include "kez.h"
#include "kez_test.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using kez_test::run_child;
using kez_test::TempDir;
using kez_test::write_file;

char prog_path[] = "/usr/local/bin/kezsfc";
char* prog_argv[] = {prog_path, nullptr};

/* The program is "kezsfc", with the given title. */
void name_program(const char* title) {
  RES_setCL(1, prog_argv);
  DEF_prog();
  DEF_name(title);
}

/* Every active line of a defaults file as "name=value;". */
std::string read_all(const std::string& file) {
  std::string out;
  if (DEF_open(file.c_str()) != 0) return "(not opened)";
  std::string name, value;
  while (DEF_get(&name, &value) == 1) out += name + "=" + value + ";";
  DEF_close();
  return out;
}

TEST(DefaultsPattern, MatchesFullNamesWithoutGoingBack) {
  auto r = run_child([] {
    struct Case {
      const char* title;
      const char* pattern;
      const char* resource;
      int match;
    };
    const Case cases[] = {
        {"", "*message", "message", 1},
        {"", "*.message", "message", 1},
        {"", "kezsfc.message", "message", 1},
        {"", "other.message", "message", 0},
        {"", "message", "message", 0}, /* no program part */
        {"", "*", "message", 0},       /* a trailing "*" never matches */
        {"", "kezsfc.*", "message", 0},
        {"", "*e", "message", 0}, /* the first "e" is in the program name */
        {"", "*sfc.message", "message", 1},
        {"", "k*.message", "message", 1},
        {"", "*mess*age", "message", 1},
        {"", "*message", "message_x", 0},
        {"", "*MESSAGE", "message", 0},
        {"Plot", "Plot.message", "message", 1},
        {"Plot", "kezsfc.message", "message", 0},
        {"+sub", "kezsfc.sub.message", "message", 1},
        {"+sub", "*sub.message", "message", 1},
        {"+sub", "kezsfc.message", "message", 0},
    };
    for (const Case& c : cases) {
      name_program(c.title);
      if (DEF_cmp(c.resource, c.pattern) != c.match) std::printf("%s %s %s\n", c.title, c.pattern, c.resource);
    }
    name_program("");
    struct Valid {
      const char* pattern;
      int valid;
    };
    const Valid valid[] = {{"*foo", 1}, {"kezsfc.foo", 1}, {"other.foo", 0}, {"foo", 0}, {"*", 0}};
    for (const Valid& v : valid)
      if (DEF_valid(v.pattern) != v.valid) std::printf("valid %s\n", v.pattern);
    char out[32];
    for (const auto& [in, want] : {std::pair{"*.Foo", "Foo"}, {"a.b*c", "c"}, {"word", "ord"}, {"", ""}}) {
      DEF_parse_name(in, out);
      if (std::strcmp(out, want) != 0) std::printf("parse %s: %s\n", in, out);
    }
    return 0;
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
}

TEST(DefaultsFile, CommentsQuotesAndTags) {
  TempDir dir;
  const std::string file = dir.file("kez.cfg");
  write_file(file,
             "# a comment line\n"
             "*Message: warn\n"
             "*title \"A quoted  title\" trailing\n"
             "*label \"unterminated  value\n"
             "*device word1 word2\r\n"
             "lonely\n"
             "   \n"
             "IF\n"
             "DEF alpha\n"
             "IF alpha\n"
             "*in_alpha: yes\n"
             "ELIF beta\n"
             "*in_beta: no\n"
             "ELSE\n"
             "*in_else: no\n"
             "END\n"
             "IF gamma\n"
             "*g: no\n"
             "DEF inside\n"
             "ELIF ALPHA\n"
             "*elif_taken: yes\n"
             "ELSE\n"
             "*else_not: no\n"
             "END\n"
             "IF inside\n"
             "*inside: yes\n"
             "END\n"
             "UNDEF alpha\n"
             "UNDEF never\n"
             "IF alpha\n"
             "*undefined: no\n"
             "ELSE\n"
             "IF gamma\n"
             "*nested: no\n"
             "END\n"
             "*else_after_undef: yes\n"
             "END\n"
             "ELSE\n"
             "END\n"
             "ELIF x\n"
             "DEF\n"
             "UNDEF\n"
             "def lower\n"
             "*value_" +
                 std::string(5000, 'x') +
                 " long\n"
                 "*after_long: yes\n");
  auto r = run_child([file] {
    name_program("");
    std::printf("%s", read_all(file).c_str());
    return 0;
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "*message=warn;*title=A quoted  title;*label=unterminated  value;*device=word1;"
            "*in_alpha=yes;*elif_taken=yes;*inside=yes;*else_after_undef=yes;def=lower;"
            "*after_long=yes;");
  EXPECT_EQ(r.err,
            "DEF_get: else without an if\nDEF_get: end without an if\nDEF_get: elif without an if\n"
            "DEF_get: Line longer than 4095 characters skipped: *value_" +
                std::string(33, 'x') + "...\n");
}

TEST(DefaultsFile, TagsAndLevelsBeyondTen) {
  TempDir dir;
  std::string text;
  for (int i = 1; i <= 11; ++i) text += "DEF t" + std::to_string(i) + "\n";
  text += "IF t10\n*tenth: yes\nEND\nIF t11\n*eleventh: no\nEND\n";
  for (int i = 0; i < 12; ++i) text += "IF t1\n";
  text += "*deep: yes\n";
  for (int i = 0; i < 12; ++i) text += "END\n";
  text += "IF t12\n";
  for (int i = 0; i < 11; ++i) text += "IF t1\n";
  text += "*deep_off: no\n";
  for (int i = 0; i < 12; ++i) text += "END\n";
  text += "*after: yes\n";
  const std::string file = dir.file("tags");
  write_file(file, text);
  auto r = run_child([file] {
    name_program("");
    std::printf("%s", read_all(file).c_str());
    return 0;
  });
  EXPECT_EQ(r.out, "*tenth=yes;*deep=yes;*after=yes;");
  EXPECT_EQ(r.err, "DEF_get: More than 10 tags, t11 ignored\n");
}

TEST(DefaultsFile, OpeningFilesAndDirectories) {
  TempDir dir;
  write_file(dir.file(".kezdef"), "*title dot\n");
  write_file(dir.file("Kez.res"), "*title res\n");
  auto r = run_child([&dir] {
    name_program("");
    std::string out = read_all(dir.path()) + "|" + read_all(dir.path() + "/") + "|";
    write_file(dir.file("kez.cfg"), "*title cfg\n");
    out += read_all(dir.path()) + "|";
    if (::chdir(dir.path().c_str()) != 0) return 2;
    out += read_all("") + "|" + read_all("missing") + "|" + read_all("|echo '*title piped'");
    char name[DEF_NAME_LEN], value[DEF_VALUE_LEN];
    DEF_open("kez.cfg");
    int got = DEF_get(name, value);
    out += "|" + std::to_string(got) + name + value + std::to_string(DEF_get(name, value));
    DEF_close();
    out += std::to_string(DEF_get(name, value));
    std::printf("%s", out.c_str());
    return 0;
  });
  EXPECT_EQ(r.out, "*title=dot;|*title=dot;|*title=cfg;|*title=dot;|(not opened)|*title=piped;|1*titlecfg-1-1");
}

TEST(DefaultsFile, OnlyRegularFilesAndCommandsAreRead) {
  TempDir dir;
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  struct Case {
    std::string name;
    std::string expected;
    const char* why;
  };
  const Case cases[] = {
      {"/dev/zero", "(not opened)", "a device that never ends"},
      {"/dev/null", "(not opened)", "a device"},
      {fifo, "(not opened)", "a FIFO would wait for a writer"},
      {"-", "(not opened)", "the standard input would wait"},
      {"|echo '*title piped'", "*title=piped;", "a command's output"},
  };
  for (const Case& c : cases) {
    auto r = run_child([&] {
      ::alarm(60); /* a hang ends the child instead of the test run */
      name_program("");
      std::printf("%s", read_all(c.name).c_str());
      return 0;
    });
    EXPECT_EQ(r.status, 0) << c.name << ": " << c.why;
    EXPECT_EQ(r.out, c.expected) << c.name << ": " << c.why;
  }
}

TEST(DefaultsFile, NamesWithControlCharactersAreRefused) {
  TempDir dir;
  write_file(dir.file("bad.cfg"), "*ti\x01tle: one\n*label\x1b[2J: two\n*col\xc3\xa9: three\n*title: ok \x01\n");
  auto r = run_child([&] {
    name_program("");
    std::printf("%s", read_all(dir.file("bad.cfg")).c_str());
    return 0;
  });
  EXPECT_EQ(r.out, "*title=ok;") << "values are the program's business; names must be text";
  EXPECT_NE(r.err.find("DEF_get: Resource name with control characters or bytes that are not text skipped (line 1)"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("(line 3)"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << "nothing raw reaches the terminal";
}

TEST(DefaultsEnvironment, NamesTriedInOrder) {
  auto r = run_child([] {
    name_program("");
    std::string out;
    std::string value;
    out += std::to_string(DEF_env("title", "ownvar", &value)) + ";";
    ::setenv("keztitle", "three", 1);
    DEF_env("title", "ownvar", &value);
    out += value + ";";
    ::setenv("ownvar", "two", 1);
    DEF_env("title", "ownvar", &value);
    out += value + ";";
    ::setenv("ownvar", "", 1);
    DEF_env("title", "ownvar", &value);
    out += "[" + value + "];";
    ::setenv("kezkezsfc.title", "one", 1);
    DEF_env("title", "ownvar", &value);
    out += value + ";";
    ::setenv("kezkezsfc.sub.title", "sub", 1);
    DEF_name("+sub");
    DEF_env("title", "ownvar", &value);
    out += value + ";";
    DEF_name("Plot");
    ::setenv("kezPlot.title", std::string(300, 'p').c_str(), 1);
    char cut[DEF_ENV_LEN];
    DEF_env("title", nullptr, cut);
    out += std::to_string(std::strlen(cut));
    std::printf("%s", out.c_str());
    return 0;
  });
  EXPECT_EQ(r.out, "0;three;two;[];one;sub;207");
}

} // namespace
