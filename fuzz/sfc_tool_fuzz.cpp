/* Report tools over reports of arbitrary bytes: texts without their NUL,
 * layer counts out of range, not-a-number values. */
#include "kez_fuzz.h"
#include "kezsfc.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kez_fuzz::quiet();
  SFC_report rep[2];
  SFC_initialize(&rep[0]);
  SFC_initialize(&rep[1]);
  int lev = size > 0 ? data[0] % 20 : 0;
  if (size > 0) {
    ++data;
    --size;
  }
  std::memcpy(rep, data, size < sizeof rep ? size : sizeof rep);
  SFC_compare(&rep[0], &rep[1]);
  SFC_update(&rep[0], &rep[1], lev);
  char cover;
  float height;
  WX_set_cloud(&rep[0], &cover, &height);
  WX_set_cloud(&rep[1], &cover, &height);
  SFC_check_valid(&rep[1], 0);
  SFC_compare(&rep[1], &rep[0]);
  return 0;
}
