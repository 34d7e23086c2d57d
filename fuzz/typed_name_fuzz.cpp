/* Name templates, typed file names and the time texts of the current and
 * latest file. */
#include "kez_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kez_fuzz::quiet();
  const auto p = kez_fuzz::parts(data, size, 4);
  RES_put("file_path", kez_fuzz::scratch_dir().c_str());
  RES_put("data_path", kez_fuzz::scratch_dir().c_str());
  RES_put("kezcurtime", "1998010512");
  FILE_set_name(("@" + p[0]).c_str());
  RES_conv_data(const_cast<char*>(p[3].c_str()), nullptr, CV_hour);
  char name[FILE_PATH_LEN];
  FILE_set_file(p[1].c_str(), name);
  Date date{};
  FILE_get_date(&date);
  FILE_set_date(&date, name);
  DATE_init(&date);
  date.year = 1998;
  date.month = 1;
  date.day = 5;
  date.hour = 6;
  date.min = 0;
  FILE_set_date(&date, name);
  std::vector<char> extra(p[1].begin(), p[1].end());
  extra.push_back('\0');
  FILE_extract_extra_info(extra.data());
  /* The latest-file search stats a file at each step: keep it short. */
  if (p[2].find('l') == std::string::npos && p[2].find('L') == std::string::npos) FILE_set_current(p[2].c_str(), name);
  FILE_reset_time();
  return 0;
}
