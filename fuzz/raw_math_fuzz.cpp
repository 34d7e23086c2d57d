/*
 * Fuzz target of the raw-file tool's commands: the input is a command line,
 * two raw files it may name ("a.raw", "b.raw"), the "parameter" options and
 * the identifier list, cut at NUL bytes. Words that would reach outside the
 * scratch folder (paths, names beginning with ".", pipes, home folders)
 * become "a.raw", so that the commands read and write only there.
 */
#include "kez.h"
#include "kez_fuzz.h"
#include "kezraw.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kez_fuzz::quiet();
  static const bool once = [] {
    /* A series without an output writes to the standard output. */
    if (!std::freopen("/dev/null", "w", stdout)) std::perror("raw_math_fuzz: stdout");
    /* Outputs named without a folder land in the scratch folder too. */
    if (::chdir(kez_fuzz::scratch_dir().c_str()) != 0) std::perror("raw_math_fuzz: chdir");
    RES_put("raw_path", kez_fuzz::scratch_dir().c_str());
    RES_put("file_path", kez_fuzz::scratch_dir().c_str());
    RES_put("name_conv", "no_name_conv");
    RES_put("current", "");
    return true;
  }();
  (void)once;
  const std::vector<std::string> p = kez_fuzz::parts(data, size, 5);
  kez_fuzz::write_file("a.raw", reinterpret_cast<const uint8_t*>(p[1].data()), p[1].size());
  kez_fuzz::write_file("b.raw", reinterpret_cast<const uint8_t*>(p[2].data()), p[2].size());
  RES_put("parameter", p[3].c_str());
  RES_put("identifier", p[4].c_str());
  std::istringstream in(p[0]);
  std::vector<std::string> words;
  for (std::string w; in >> w && words.size() < 40;) {
    if (!kez_fuzz::local_name(w)) w = "a.raw";
    words.push_back(w);
  }
  std::vector<const char*> ptrs;
  for (const std::string& w : words) ptrs.push_back(w.c_str());
  RAW_math_command(static_cast<int>(ptrs.size()), ptrs.data());
  return 0;
}
