/* The name_conv file: convention lines, their templates and sizes. */
#include "kez_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kez_fuzz::quiet();
  kez_fuzz::write_file("name_conv", data, size);
  RES_put("file_path", kez_fuzz::scratch_dir().c_str());
  RES_put("name_conv", "name_conv");
  Date date{};
  DATE_init(&date);
  date.year = 1998;
  date.month = 1;
  date.day = 5;
  date.hour = 12;
  date.min = 0;
  char name[FILE_PATH_LEN];
  for (const char* type : {"sfc", "sfc_grd_kez", "upa", "x"}) {
    FILE_set_name(type);
    FILE_set_date(&date, name);
    FILE_hdr_set_date(&date, name);
    FILE_get_min_size();
  }
  return 0;
}
