/* The format check over formats of arbitrary text: whatever it accepts
 * must print one value of its kind safely. */
#include "kez_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kez_fuzz::quiet();
  const std::string format = kez_fuzz::text(data, size);
  for (int kind : {FMT_FLOAT, FMT_INT, FMT_STRING, FMT_CHAR}) FMT_check(format.c_str(), kind);
  FMT_print_float("fuzz", format.c_str(), "%g", 3.25);
  FMT_print_int("fuzz", format.c_str(), "%d", -7);
  FMT_print_str("fuzz", format.c_str(), "%s", "text");
  FMT_print_char("fuzz", format.c_str(), "%c", 'c');
  return 0;
}
