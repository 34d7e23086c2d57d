/*
 * Checks inside a child process (kez_test::run_child): each failed check
 * prints what it was on the child's standard output, and the child's exit
 * status says whether any failed, so the parent's expectation on the status
 * shows the output that names every check that broke.
 */
#ifndef KEZ_CHECKS_H
#define KEZ_CHECKS_H

#include <cstdio>
#include <string>

namespace kez_test {

struct Checks {
  int failed = 0;
  void operator()(bool ok, const std::string& what) {
    if (ok) return;
    ++failed;
    std::printf("FAILED: %s\n", what.c_str());
    std::fflush(stdout);
  }
  int status() const { return failed ? 1 : 0; }
};

} // namespace kez_test

#endif
