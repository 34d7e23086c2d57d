/*
 * The set-up commands of the Makefile, read with "make -n" (which prints
 * the commands without running them): "make", "make demo" and "make check"
 * configure the one build folder alike, so that none of them recompiles
 * what another one built.
 */
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "kez_test.h"

namespace {

/* The commands of a target that configure the build folder "build". */
std::set<std::string> configures_of(const std::string& target) {
  std::string out;
  const int status = kez_test::run_command("make -n -C " + std::string(KEZ_SOURCE_DIR) + " " + target + " 2>&1", &out);
  EXPECT_EQ(status, 0) << target << "\n" << out;
  std::set<std::string> lines;
  for (size_t a = 0, b; (b = out.find('\n', a)) != std::string::npos; a = b + 1) {
    const std::string line = out.substr(a, b - a);
    if (line.find("cmake -S . -B build ") != std::string::npos) lines.insert(line);
  }
  return lines;
}

TEST(Makefile, DemoBuildAndCheckConfigureTheBuildFolderAlike) {
  if (!kez_test::have_program("make")) GTEST_SKIP() << "make is needed";
  const std::set<std::string> build = configures_of("build");
  ASSERT_EQ(build.size(), 1u) << "one configuration";
  EXPECT_NE(build.begin()->find("-DKEZ_WERROR=ON"), std::string::npos) << *build.begin();
  for (const char* target : {"demo", "check"}) EXPECT_EQ(configures_of(target), build) << target;
}

} // namespace
