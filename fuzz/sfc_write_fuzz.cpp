/* The surface file writers over reports of arbitrary bytes (texts without
 * their NUL, counts out of range, not-a-number values) in every layout,
 * then the text layouts read back and the report listed. */
#include "kez_fuzz.h"
#include "kezsfc.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kez_fuzz::quiet();
  SFC_report rep;
  SFC_initialize(&rep);
  std::memcpy(&rep, data, size < sizeof rep ? size : sizeof rep);
  SFC_info info;
  std::memset(&info, 0, sizeof info);
  if (size > sizeof rep) std::memcpy(&info, data + sizeof rep, std::min(size - sizeof rep, sizeof info));
  info.cmdline = nullptr;
  const std::string path = kez_fuzz::scratch_dir() + "/sfc_out";
  for (int type :
       {SFC_FT_DOTTED_SHORT, SFC_FT_DOTTED, SFC_FT_TAGGED, SFC_FT_TAGGED_EXT, SFC_FT_BINARY, SFC_FT_ELEMENT}) {
    int t = type;
    if (SFC_open(path.c_str(), SFC_ACC_WRITE, &t) < 0) continue;
    SFC_putinfo(0, &info);
    int n = 0;
    SFC_write(0, &rep, 0, &n);
    SFC_write(0, &rep, 0, &n);
    SFC_close(0);
    t = 0;
    if (SFC_open(path.c_str(), SFC_ACC_READ, &t) < 0) continue;
    SFC_info back;
    SFC_getinfo(0, &back);
    SFC_report got;
    for (int i = 0; i < 3; ++i) SFC_read(0, &got, 0, &i);
    SFC_close(0);
  }
  for (int layout = SFC_PRINT_TWO_LINE; layout <= SFC_PRINT_SUMMARY; ++layout) {
    SFC_set_print(layout);
    SFC_print_line(M_none, &rep);
  }
  SFC_print_report(&rep);
  char str[SFC_PRINT_STR_LEN];
  SFC_set_print_str(rep.t, "F", "", rep.comment[0] == '%' ? "%6.1f" : "", str);
  return 0;
}
