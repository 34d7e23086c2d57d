#include "kez.h"
#include "kez_test.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace {

using kez_test::read_file;
using kez_test::run_child;
using kez_test::TempDir;
using kez_test::write_file;

std::string home() {
  struct passwd* pw = ::getpwuid(::getuid());
  return pw ? pw->pw_dir : "";
}

TEST(FileNames, StandardStreamNames) {
  struct Case {
    const char* name;
    int stdio;
  };
  const Case cases[] = {{"", 1},   {"-", 1},    {"std", 1},  {"STD", 1},  {"StdN", 1},
                        {"--", 0}, {"stdx", 0}, {"file", 0}, {nullptr, 0}};
  for (const Case& c : cases) EXPECT_EQ(FILE_is_stdio(c.name), c.stdio) << (c.name ? c.name : "(null)");
  EXPECT_EQ(FILE_open("", "r"), stdin);
  EXPECT_EQ(FILE_open("-", "r"), stdin);
  EXPECT_EQ(FILE_open("STD", "r"), stdin);
  EXPECT_EQ(FILE_open("-", "w"), stdout);
  EXPECT_EQ(FILE_open("stdn", "a"), stdout);
  EXPECT_EQ(FILE_exist("-"), 1);
}

TEST(FileNames, JoiningDirectoriesAndNames) {
  struct Case {
    const char* path;
    const char* file;
    const char* joined;
  };
  const Case cases[] = {
      {"/data", "sfc.dat", "/data/sfc.dat"},
      {"/data/", "sfc.dat", "/data/sfc.dat"},
      {nullptr, "sfc.dat", "sfc.dat"},
      {"", "sfc.dat", "sfc.dat"},
      {"/data", "./sfc.dat", "./sfc.dat"},
      {"/data", ".kezdef", ".kezdef"},
      {"/data", "-", "-"},
      {"/data", "/abs/x", "/abs/x"},
      {"/data", "~/x", "~/x"},
  };
  for (const Case& c : cases) {
    char out[FILE_PATH_LEN];
    EXPECT_STREQ(FILE_add_path(c.path, c.file, out), c.joined) << c.file;
    EXPECT_EQ(FILE_add_path(c.path, c.file), c.joined);
  }
  char path[8] = "/data";
  FILE_add_path_delim(path);
  EXPECT_STREQ(path, "/data/");
  FILE_add_path_delim(path);
  EXPECT_STREQ(path, "/data/");
  char empty[2] = "";
  FILE_add_path_delim(empty);
  EXPECT_STREQ(empty, "");
  EXPECT_EQ(FILE_fullpath("./a"), 1);
  EXPECT_EQ(FILE_fullpath("a/b"), 0);
}

TEST(FileNames, HomeExpansion) {
  ASSERT_FALSE(home().empty());
  EXPECT_EQ(FILE_add_user_path("~/x"), home() + "/x");
  EXPECT_EQ(FILE_add_user_path("~"), home());
  EXPECT_EQ(FILE_add_user_path("~root/y"), std::string(::getpwnam("root")->pw_dir) + "/y");
  EXPECT_EQ(FILE_add_user_path("~nosuchuser42/x"), "~nosuchuser42/x");
  EXPECT_EQ(FILE_add_user_path("plain/x"), "plain/x");
  char out[FILE_PATH_LEN];
  FILE_add_user_path("~/z", out);
  EXPECT_EQ(out, home() + "/z");
}

TEST(FileOpen, WritingMakesMissingDirectories) {
  TempDir dir;
  std::string name = dir.file("a/b/c.dat");
  FILE* fp = FILE_open(name.c_str(), "w");
  ASSERT_NE(fp, nullptr);
  std::fputs("x", fp);
  FILE_close(fp);
  EXPECT_EQ(FILE_is_dir(dir.file("a").c_str()), 1);
  EXPECT_EQ(FILE_is_dir(dir.file("a/b").c_str()), 1);
  EXPECT_EQ(FILE_is_file(name.c_str()), 1);
  EXPECT_EQ(FILE_size(name.c_str()), 1);

  char again[FILE_PATH_LEN];
  std::strcpy(again, name.c_str());
  EXPECT_EQ(FILE_make_dir(again, 1), 1) << "the parent exists: nothing is made";
  std::string deeper = dir.file("p\\q\\r.dat");
  char work[FILE_PATH_LEN];
  std::strcpy(work, deeper.c_str());
  EXPECT_EQ(FILE_make_dir(work, 1), 0);
  EXPECT_EQ(std::string(work), dir.file("p/q/r.dat")) << "backslashes become slashes";
  EXPECT_EQ(FILE_is_dir(dir.file("p/q").c_str()), 1);
}

TEST(FileOpen, DirectoryThatCannotBeMadeIsReported) {
  TempDir dir;
  write_file(dir.file("plain"), "");
  std::string name = dir.file("plain/sub/x.dat");
  auto r = run_child([&] { return FILE_open(name.c_str(), "w") == nullptr ? 0 : 1; });
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("FILE_make_dir: Unable to make directory"), std::string::npos) << r.err;
}

TEST(FileOpen, PipesRunTheCommand) {
  TempDir dir;
  std::string target = dir.file("piped.txt");
  std::string command = "|cat > " + target;
  FILE* fp = FILE_open(command.c_str(), "w");
  ASSERT_NE(fp, nullptr);
  std::fputs("through the pipe\n", fp);
  EXPECT_EQ(FILE_close(fp), 0);
  EXPECT_EQ(read_file(target), "through the pipe\n");

  FILE* in = FILE_open("|echo ~", "r");
  ASSERT_NE(in, nullptr);
  char line[256] = "";
  ASSERT_NE(std::fgets(line, sizeof line, in), nullptr);
  FILE_close(in);
  EXPECT_EQ(std::string(line), home() + "\n") << "the shell, not the file layer, expands ~ in commands";
}

TEST(FileTests, EntriesOfEachKind) {
  TempDir dir;
  std::string file = dir.file("f"), fifo = dir.file("fifo"), missing = dir.file("none");
  write_file(file, "12345");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(FILE_is_file(file.c_str()), 1);
  EXPECT_EQ(FILE_is_dir(file.c_str()), 0);
  EXPECT_EQ(FILE_is_dir(dir.path().c_str()), 1);
  EXPECT_EQ(FILE_is_fifo(fifo.c_str()), 1);
  EXPECT_EQ(FILE_is_device("/dev/null"), 1);
  EXPECT_EQ(FILE_is_device(file.c_str()), 0);
  EXPECT_EQ(FILE_exist(file.c_str()), 1);
  EXPECT_EQ(FILE_exist(missing.c_str()), 0);
  EXPECT_EQ(FILE_size(file.c_str()), 5);
  EXPECT_EQ(FILE_size(missing.c_str()), -1);
  EXPECT_GT(FILE_modtime(file.c_str()), 0);
  EXPECT_EQ(FILE_modtime(missing.c_str()), -1);
  FILE_delete(file.c_str());
  EXPECT_EQ(FILE_exist(file.c_str()), 0);
}

TEST(FileMagic, TypesOfTheSuitesFormats) {
  TempDir dir;
  struct Case {
    const char* head;
    int type;
  };
  const Case cases[] = {
      {"KEZSFC\n", 11}, {"KEZUPA+\n", 12}, {"KEZUPAx", 12}, {"KEZRAW 1", 5}, {"KEZGRID4", 6},
      {"KEZGRID", 6},   {"KEZMETA", 8},    {"KEZIMGZ", 9},  {"KEZIMG", 9},   {"KEZGRI", -1},
      {"", -1},         {"kezsfc", -1},    {"GRIB", -1},
  };
  int n = 0;
  for (const Case& c : cases) {
    std::string name = dir.file("f" + std::to_string(n++));
    write_file(name, c.head);
    EXPECT_EQ(FILE_type(name.c_str()), c.type) << c.head;
  }
  write_file(dir.file("sfc.raw"), "KEZRAW\n");
  EXPECT_EQ(FILE_type(dir.file("sfc.raw-x").c_str()), -1) << "the directory name holds a dash";
  auto r = run_child([&] {
    if (::chdir(dir.path().c_str()) != 0) return 99;
    return (FILE_type("sfc.raw-x") == 5 && FILE_type("nothing-x") == -1) ? 0 : 1;
  });
  EXPECT_EQ(r.status, 0) << "a missing name is retried without its part from the first dash";
}

TEST(Overwrite, DecisionWithoutAndWithPrompt) {
  TempDir dir;
  std::string existing = dir.file("out.dat");
  write_file(existing, "x");
  std::string missing = dir.file("new.dat");
  EXPECT_EQ(FILE_overwrite(missing.c_str(), 2), 1);
  EXPECT_EQ(FILE_overwrite("-", 2), 1);

  auto param = run_child([&] {
    FLAG_set(15, 2);
    return FILE_overwrite(existing.c_str(), 1);
  });
  EXPECT_EQ(param.status, 2);
  auto batch = run_child([&] {
    FLAG_reset(-9999);
    FLAG_set_batch(1);
    return FILE_overwrite(existing.c_str(), 2);
  });
  EXPECT_EQ(batch.status, 3);

  struct Case {
    int flag;
    const char* answer;
    int result;
  };
  const Case cases[] = {{2, "y\n", 1}, {2, "Over\n", 1}, {2, "app\n", 2}, {2, "n\n", 3}, {2, "\n", 3},
                        {2, "U\n", 3}, {1, "O\n", 1},    {1, "a\n", 3},   {7, "y\n", 0}};
  for (const Case& c : cases) {
    auto r = run_child([&] { return FILE_overwrite(existing.c_str(), c.flag); }, c.answer);
    EXPECT_EQ(r.status, c.result) << c.flag << " " << c.answer;
    if (c.flag == 2) {
      EXPECT_EQ(r.out, existing + ": exists overwrite (Y,N,Use,Over,App): ");
    } else if (c.flag == 1) {
      EXPECT_EQ(r.out, existing + ": exists overwrite (Y,N,Use,Over): ");
    }
  }
}

TEST(Overwrite, EndOfInputIsNoSuccess) {
  /* Neither kept nor written: the program ends with status 1, not 0. */
  TempDir dir;
  std::string existing = dir.file("out.dat");
  write_file(existing, "x");
  for (int flag : {1, 2}) {
    auto r = run_child([&] {
      int result = FILE_overwrite(existing.c_str(), flag);
      std::printf("[returned %d]", result);
      return 0;
    });
    EXPECT_EQ(r.status, 1) << flag;
    EXPECT_EQ(r.out.find("[returned"), std::string::npos) << flag;
    EXPECT_NE(r.err.find("End of input"), std::string::npos) << flag << r.err;
    EXPECT_EQ(read_file(existing), "x");
  }
  auto later = run_child(
      [&] {
        FILE_overwrite(existing.c_str(), 2);
        char word[8];
        KEZ_prompts("next: ", word, 8);
        return 3;
      },
      "y\n");
  EXPECT_EQ(later.status, 0) << "other prompts keep their own end of input";
}

} // namespace
