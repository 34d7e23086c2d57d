/* Date texts: labels, sequence texts, month names, label formats, time
 * zones and the decode window. Parts (cut at NUL bytes): a date text, a
 * label format, a time zone or model, four numbers, the "decode_hour"
 * setting and an "hour" setting (the fixed date parts). */
#include "kez_fuzz.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kez_fuzz::quiet();
  const auto p = kez_fuzz::parts(data, size, 6);
  Date date{};
  DATE_init(&date);
  DATE_decode_label(p[0].c_str(), &date);
  DATE_decode_seq(p[0].c_str(), &date);
  DATE_decode_month(p[0].c_str());
  char label[DATE_LABEL_LEN];
  int numbers[4] = {0, 0, 0, 0};
  std::memcpy(numbers, p[3].data(), std::min(p[3].size(), sizeof numbers));
  DATE_format_label(label, p[1].c_str(), numbers[0], p[2].c_str(), &date);
  DATE_fhour_label(label, numbers[0], numbers[1] & 3);
  DATE_make_label(&date, label);
  DATE_make_seq(&date, label);
  DATE_set_TZ(p[2].c_str());
  DATE_make_label(&date, label);
  DATE_set_TZ("Z");
  /* The decode window of the file's date, from the settings. */
  FILE_reset_time();
  if (!p[5].empty()) RES_conv_data(const_cast<char*>(p[5].c_str()), nullptr, CV_hour);
  RES_put("decode_hour", p[4].empty() ? nullptr : p[4].c_str());
  DATE_set_datim(&date);
  Date window{};
  DATE_get_datim(&window);
  for (int obs : {numbers[3], 0, 1215, 2350, numbers[0]}) DATE_chk_range(obs);
  DATE_set_range(numbers[1], numbers[2]);
  DATE_chk_range(numbers[3]);
  DATE_set_range(-15, 10);
  FILE_reset_time();
  std::string text;
  DATE_make_label_for_time_mod(numbers[0], p[2].c_str(), &date, &text);
  return 0;
}
