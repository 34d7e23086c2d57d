/* The pattern scanner: patterns and the text they scan. */
#include "kez_fuzz.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kez_fuzz::quiet();
  const auto p = kez_fuzz::parts(data, size, 2);
  /* Every conversion stores through one of these; a pattern with more
   * conversions than places would read past the arguments. */
  constexpr int kPlaces = 12;
  if (std::count(p[0].begin(), p[0].end(), '%') > kPlaces) return 0;
  alignas(16) static char places[kPlaces][SCANP_TEXT_LEN + 16];
  std::vector<char> line(p[1].begin(), p[1].end());
  line.push_back('\0');
  parse_param param;
  scanp_set(&param, line.data());
  for (int i = 0; i < 4 && scanp_get_off(&param) < static_cast<int>(p[1].size()); ++i) {
    scanp(&param, p[0].c_str(), places[0], places[1], places[2], places[3], places[4], places[5], places[6], places[7],
          places[8], places[9], places[10], places[11]);
    if (param.len <= 0) break;
    scanp_inc_off(&param, param.len);
  }
  scanp_search(&param, p[0].c_str());
  return 0;
}
