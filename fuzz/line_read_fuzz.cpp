/*
 * The shared line readers and binary readers of the runtime frame, and the
 * small converters beside them. The first byte of the input chooses the
 * order of reader calls and their lengths; the rest is the file they read.
 * Each reader must stay inside its buffer (the buffers are exactly as large
 * as the readers are told, so that the sanitizer sees a byte too many) and
 * must end at the end of the file.
 */
#include "kez_fuzz.h"

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kez_fuzz::quiet();
  if (size < 1) return 0;
  const unsigned char plan = data[0];
  const std::string path = kez_fuzz::write_file("lines", data + 1, size - 1);
  FILE* fp = std::fopen(path.c_str(), "rb");
  if (!fp) return 0;
  const int len = 1 + plan % 40;
  std::vector<char> buf(static_cast<size_t>(len) + 1);
  std::vector<char> line(FGETLINE_LEN + 1);
  /* Every call takes at least one byte or reports the end; two calls a byte
   * bound the loop. */
  const size_t limit = 2 * size + 8;
  for (size_t call = 0; call < limit; ++call) {
    int got = EOF;
    switch ((plan >> 5) + call % 5) {
      case 0: got = fgetline(fp, line.data()); break;
      case 1: got = fgetnline(fp, buf.data(), len); break;
      case 2: got = fgetstring(fp, buf.data(), len); break;
      case 3: got = fget_rawstring(fp, buf.data(), len); break;
      case 4: got = fskipline(fp); break;
      default: {
        std::string text;
        got = fget_text_line(fp, &text) ? 1 : EOF;
      }
    }
    if (got == EOF) break;
  }
  std::fclose(fp);

  /* The binary readers over the same bytes, in both byte orders. */
  for (int order : {1, 2, -1, 0}) {
    swap_setup(order);
    fp = std::fopen(path.c_str(), "rb");
    if (!fp) break;
    unsigned char item[8];
    while (fread_double_swap(item, fp) == 1 && fread_long_swap(item, fp) == 1 && fread_short_swap(item, fp) == 1) {
    }
    std::fclose(fp);
  }
  std::vector<unsigned char> words(data + 1, data + size);
  swap_setup(0);
  swap_longs(words.data(), static_cast<int>(words.size() / 4));
  swap_shorts(words.data(), static_cast<int>(words.size() / 2));
  swap_setup(1);

  /* Numbers and station texts from the bytes. */
  for (size_t at = 1; at + 4 <= size; at += 4) {
    float x = 0;
    std::memcpy(&x, data + at, sizeof x);
    float2int(x);
    int wmo = 0;
    std::memcpy(&wmo, data + at, sizeof wmo);
    char id[WMO_ID_LEN];
    wmo_to_id(id, wmo);
    int back = 0;
    id_to_wmo(id, &back);
    /* The identifier made for a number reads back as that number. */
    if (wmo >= 0 && wmo <= 99999 && back != wmo) std::abort();
  }
  const std::string text = kez_fuzz::text(data + 1, std::min<size_t>(size - 1, 8));
  int wmo = 0;
  id_to_wmo(text.c_str(), &wmo);
  return 0;
}
