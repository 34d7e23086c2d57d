/*
 * What a shell command writes to its standard output, for the benchmarks
 * that set up their folders and peers through the shell.
 */
#ifndef KEZ_BENCH_SHELL_H
#define KEZ_BENCH_SHELL_H

#include <cstdio>
#include <string>

namespace kez_bench {

/* The command's output; empty when it cannot be started. */
inline std::string shell(const std::string& cmd) {
  std::string out;
  if (FILE* p = ::popen(cmd.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    ::pclose(p);
  }
  return out;
}

} // namespace kez_bench

#endif
