/* Feeds the grid calculator's command line with arbitrary words over grid
 * files of arbitrary bytes. The input is cut at NUL bytes: the words of the
 * command, then the files "a" and "b"; "g" is always a small valid grid.
 * Words that would leave the scratch folder (a "/", a name beginning with
 * ".", a pipe) are dropped. */
#include "kez_fuzz.h"
#include "kezgrd.h"

#include <strings.h>

#include <unistd.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace {
constexpr long long kMaxRemapPoints = 1000000;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    kez_fuzz::quiet();
    const std::string& dir = kez_fuzz::scratch_dir();
    /* Outputs named without a folder land in the scratch folder too. */
    if (::chdir(dir.c_str()) != 0) std::perror("grd_derive_fuzz: chdir");
    RES_put("grid_path", dir.c_str());
    RES_put("file_path", dir.c_str());
    /* Outputs are overwritten without asking; nothing prompts. */
    FLAG_set(GRD_FLAG_FILE_PARAM, 1);
    FLAG_set_batch(1);
    /* Results without an output argument go to the standard output. */
    if (!std::freopen("/dev/null", "w", stdout)) std::perror("grd_derive_fuzz: /dev/null");
    const std::string grid = "KEZGRID\n1200Z 10 DEC 26\n2-g\n1 2 1 0 100 500 0 11:K\nLL 40 -100 1 1 2 2\n1\n2\n3\n4\n";
    kez_fuzz::write_file("g", reinterpret_cast<const uint8_t*>(grid.data()), grid.size());
    const std::string city = "Test_Station         -- US ABC       1      41.00   -91.00  9999 99999 0\n";
    kez_fuzz::write_file("sao.cty", reinterpret_cast<const uint8_t*>(city.data()), city.size());
    kez_fuzz::write_file("name_conv", nullptr, 0);
    return true;
  }();
  (void)ready;
  const std::vector<std::string> p = kez_fuzz::parts(data, size, 3);
  kez_fuzz::write_file("a", reinterpret_cast<const uint8_t*>(p[1].data()), p[1].size());
  kez_fuzz::write_file("b", reinterpret_cast<const uint8_t*>(p[2].data()), p[2].size());
  std::istringstream in(p[0]);
  std::vector<std::string> words;
  for (std::string w; in >> w && words.size() < 64;)
    if (kez_fuzz::local_name(w) && w != "-") words.push_back(w);
  /* A remap to a domain of millions of points is the user's choice, and
   * only slow: keep the runs short. */
  if (words.size() > 2 && strcasecmp(words[0].c_str(), "remap") == 0) {
    Domain d;
    DOM_decode(words[2].c_str(), &d);
    if (static_cast<long long>(d.nx) * d.ny > kMaxRemapPoints) return 0;
  }
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  GRD_math_command(static_cast<int>(argv.size()), argv.data());
  GRD_init_grids();
  return 0;
}
