/*
 * Fuzz target of the raw point-data reader: the input is a raw file, read
 * through its header, value by value, by field number and by name (the
 * names of its own field list and "name=" searches), back and forth, and
 * its values written again into a file that goes nowhere: once as whole
 * lines, once in parts under a header copied from the file's own, with the
 * first field's format as the plot format.
 */
#include "kez.h"
#include "kez_fuzz.h"
#include "kezraw.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kez_fuzz::quiet();
  const std::string path = kez_fuzz::write_file("raw_read.raw", data, size);
  int type = 0;
  const int fd = RAW_open(path.c_str(), RAW_READ, &type);
  if (fd < 0) return 0;
  int out_type = RAW_TYPE_HEADER;
  const int out = RAW_open("/dev/null", RAW_WRITE, &out_type);
  RAW_info info{};
  RAW_getinfo(fd, &info);
  const int nf = RAW_get_num_field(fd);
  RAW_report r{};
  /* Every value in turn, each written out again. */
  for (int n = 0; n < 400; ++n) {
    int k = n;
    const int res = RAW_read(fd, &r, RAW_sel(RAW_SEL_ALL), &k);
    if (res < 0) break;
    RAW_write(out, &r, RAW_sel(RAW_PUT_LINE), nullptr);
  }
  /* Fields by number and by name, lines back and forth. */
  static const int lines[] = {0, 3, 1, 1, 7, 0, 2};
  for (int line : lines) {
    for (int f = -2; f < nf + 2 && f < 20; ++f) {
      int k = line;
      RAW_read(fd, &r, RAW_sel(RAW_SEL_FIELD + f), &k);
      if (const char* name = RAW_get_field_name(fd, RAW_sel(RAW_SEL_FIELD + f))) {
        const std::string copy(name);
        RAW_read(fd, &r, copy.c_str(), &k);
        RAW_get_field_info(fd, copy.c_str());
        RAW_get_field_fmt(fd, copy.c_str());
      }
    }
    int k = line;
    RAW_read(fd, &r, "wx", &k);
    RAW_read(fd, &r, "id", &k);
  }
  RAW_rewind(fd);
  RAW_dec_line(fd, nf, &r, info.info);
  RAW_close(out);

  int header_type = RAW_TYPE_HEADER;
  const int copy = RAW_open("/dev/null", RAW_WRITE, &header_type);
  for (int f = 0; f < nf && f < 20; ++f) {
    char* sel = RAW_sel(RAW_SEL_FIELD + f);
    const char* name = RAW_get_field_name(fd, sel);
    RAW_set_field_name(copy, sel, name);
    RAW_set_field_info(copy, sel, RAW_get_field_info(fd, sel));
    RAW_set_field_fmt(copy, sel, RAW_get_field_fmt(fd, sel));
  }
  RAW_putinfo(copy, &info);
  RAW_putheader(copy, info.info);
  const char* first_fmt = nf > 0 ? RAW_get_field_fmt(fd, RAW_sel(RAW_SEL_FIELD)) : nullptr;
  RES_put("plot_format", first_fmt ? std::string(first_fmt).c_str() : "");
  for (int n = 0; n < 100; ++n) {
    int k = n;
    if (RAW_read(fd, &r, RAW_sel(RAW_SEL_ALL), &k) < 0) break;
    RAW_write(copy, &r, RAW_sel(RAW_PUT_START), nullptr);
    RAW_write(copy, &r, RAW_sel(RAW_PUT_VALUE), nullptr);
    RAW_write(copy, &r, RAW_sel(RAW_PUT_END), nullptr);
  }
  RAW_close(copy);
  RAW_close(fd);
  return 0;
}
