/* Weather fields in all three forms, METAR groups, compass points, cover
 * letters and the synoptic code numbers. */
#include "kez_fuzz.h"
#include "kezsfc.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kez_fuzz::quiet();
  const std::string field = kez_fuzz::text(data, size);
  char code[WX_CODE_LEN];
  char metar[WX_METAR_CODE_LEN];
  char words[WX_TEXT_LEN];
  WX_metar_weather(field.c_str(), metar);
  /* A text of several groups is read group by group, as the listings do. */
  for (const char* rest = field.c_str(); rest != nullptr && *rest != '\0';) {
    rest = WX_metar_weather_text(rest, words);
    while (rest != nullptr && *rest == ' ') ++rest;
  }
  WX_weather_wmo(field.c_str());
  for (int used = 0, at = 0; at < static_cast<int>(field.size()); at += used) {
    used = WX_weather_text(field.c_str() + at, words);
    if (used <= 0) break;
  }
  dir_decode(field.c_str());
  print_cloud(field.c_str());
  int number = 0;
  std::memcpy(&number, data, size < sizeof number ? size : sizeof number);
  WX_wmo_weather(number, code);
  WX_weather_text(code, words);
  WX_wmo_auto_weather(code, number);
  WX_weather_wmo(code);
  SYN_auto_weather(number, code);
  SYN_weather(number, code);
  WX_wmo_vis(number);
  SYN_visibility(number);
  WX_wmo_cld_base(number);
  SYN_ceiling(number);
  SYN_ceiling_to_code(number);
  return 0;
}
