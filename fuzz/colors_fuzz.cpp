/* Colour-table files, colour names and attribute strings. */
#include "kez_fuzz.h"
#include "kezgks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kez_fuzz::quiet();
  const auto p = kez_fuzz::parts(data, size, 3);
  const std::string table =
      kez_fuzz::write_file("fuzz.clr", reinterpret_cast<const uint8_t*>(p[0].data()), p[0].size());
  CLR_clear_table();
  CLR_read_table(table.c_str());
  CLR_get_ind(p[1].c_str());
  CLR_get_ind(p[2].c_str());
  const int n = CLR_get_num();
  float r, g, b;
  CLR_get_rgb(n - 1, &r, &g, &b);
  CLR_get_name(n);
  Gattribs attr;
  ATTRIB_init(&attr);
  ATTRIB_parse(p[1].c_str(), &attr);
  Gattribs over;
  ATTRIB_init(&over);
  ATTRIB_parse(p[2].c_str(), &over);
  ATTRIB_update(&attr, &over);
  ATTR_parse_fill_pat(p[2].c_str());
  ATTR_parse_marker(p[2].c_str());
  return 0;
}
