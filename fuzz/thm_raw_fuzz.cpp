/* Raw sounding files of arbitrary bytes read into the current sounding,
 * then the index run and every table over whatever came in. */
#include "kez_fuzz.h"
#include "kezupa.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kez_fuzz::quiet();
  const std::string path = kez_fuzz::write_file("snd", data, size);
  THERM_read_raw(path.c_str());
  THERM_calc();
  THERM_sig_table();
  THERM_indices();
  THERM_wind_table();
  THERM_wind();
  THERM_storm_table();
  return 0;
}
