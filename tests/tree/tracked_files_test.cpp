/*
 * The committed files: no output of a run that wrote into the tree (fuzz
 * targets once left grid files named after their random words at the top
 * of it, and they were committed with everything else).
 */
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "kez_test.h"

namespace {

/* Hidden files at the top of the tree are the tools' settings, nothing else. */
const std::set<std::string> kToolSettings = {".clang-format", ".clang-tidy", ".editorconfig", ".gitattributes",
                                             ".gitignore"};

/* Letters, digits and . _ - + /: what the project's own names use. */
bool portable(const std::string& path) {
  for (const unsigned char c : path) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                    c == '_' || c == '-' || c == '+' || c == '/';
    if (!ok) return false;
  }
  return true;
}

TEST(TrackedFiles, HoldNoLeftOversOfARun) {
  if (!kez_test::have_program("git")) GTEST_SKIP() << "git is needed";
  std::string out;
  /* -z: names as they are, not quoted. */
  const std::string git = "git -C " + std::string(KEZ_SOURCE_DIR);
  if (kez_test::run_command(git + " rev-parse --is-inside-work-tree >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "the source tree is no git checkout";
  ASSERT_EQ(kez_test::run_command(git + " ls-files -z", &out), 0) << out;
  size_t count = 0;
  for (size_t a = 0, b; (b = out.find('\0', a)) != std::string::npos; a = b + 1) {
    const std::string path = out.substr(a, b - a);
    ++count;
    EXPECT_TRUE(portable(path)) << "a tracked name no one here would choose: " << path;
    if (path.find('/') == std::string::npos && path[0] == '.') {
      EXPECT_TRUE(kToolSettings.count(path)) << "a hidden file at the top of the tree: " << path;
    }
  }
  EXPECT_GT(count, 100u) << "the listing is of the whole tree";
}

} // namespace
