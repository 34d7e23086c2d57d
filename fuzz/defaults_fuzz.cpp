/* Defaults files: settings lines, comments and the DEF/IF tag lines, the
 * resource names that the gathering takes from their patterns, and the
 * environment names of a resource. */
#include "kez_fuzz.h"

#include <algorithm>
#include <cstdlib>

namespace {

/* IF levels rightly carry over from one defaults file to the next; the next
 * input starts with none open, so that its lines are not all switched off
 * by an IF that an earlier input left open. Each line opens at most one
 * level, so as many END lines as the input has lines close them all. */
void close_levels(const uint8_t* data, size_t size, int passes) {
  const size_t lines = 1 + static_cast<size_t>(std::count(data, data + size, '\n'));
  std::string ends;
  for (size_t i = 0; i < lines * static_cast<size_t>(passes); ++i) ends += "END\n";
  ends += "kezsfc.probe on\n";
  const std::string path = kez_fuzz::write_file("end.cfg", reinterpret_cast<const uint8_t*>(ends.data()), ends.size());
  if (DEF_open(path.c_str()) != 0) std::abort();
  std::string resrc, value;
  bool active = false;
  while (DEF_get(&resrc, &value) == 1) active = active || resrc == "kezsfc.probe";
  DEF_close();
  /* With every level closed the probe line is active again. */
  if (!active) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kez_fuzz::quiet();
  static const bool named = [] {
    DEF_name("kezsfc");
    return true;
  }();
  (void)named;
  const std::string path = kez_fuzz::write_file("kez.cfg", data, size);
  DEF_clr_tag();
  DEF_tag("tagA");
  if (DEF_open(path.c_str()) != 0) return 0;
  std::string resrc, value;
  for (int lines = 0; DEF_get(&resrc, &value) == 1 && lines < 100000; ++lines) {
    DEF_cmp("message", resrc.c_str());
    if (DEF_valid(resrc.c_str())) {
      std::string name(resrc.size() + 1, '\0');
      DEF_parse_name(resrc.c_str(), name.data());
      std::string env;
      DEF_env(name.c_str(), nullptr, &env);
    }
  }
  char name[DEF_NAME_LEN], val[DEF_VALUE_LEN];
  DEF_close();
  if (DEF_open(path.c_str()) == 0) {
    while (DEF_get(name, val) == 1) {
    }
    DEF_close();
  }
  close_levels(data, size, 2);
  return 0;
}
