/*
 * tools: small tools of the runtime frame.
 *
 * Line readers with their newline convention, byte order and the swapping
 * read and write helpers, small numeric tools, and the conversion between
 * WMO station numbers and station identifiers.
 */
#include "kez.h"

/* ---- line readers, byte order and small numeric tools -------------------- */

#include <bit>
#include <cstddef>
#include <cmath>
#include <cstring>
#include <utility>

namespace {

struct ByteOrderState {
  bool swap = true; /* whether the swap functions act; only swap_setup sets it */
};

ByteOrderState byte_order;

/* One line of text, at most limit bytes, into buf. A newline standing at the
 * reading position ends the previous line and is taken away first; the
 * newline that ends this line stays for the next call. Gives EOF (buffer
 * untouched), 0 for an empty line or 1 with the bytes taken in *taken. */
int read_line(FILE* ifile, char* buf, int limit, int* taken) {
  *taken = 0;
  int c = std::getc(ifile);
  if (c == '\n') c = std::getc(ifile);
  if (c == EOF) return EOF;
  if (c == '\n') {
    std::ungetc(c, ifile);
    buf[0] = '\0';
    return 0;
  }
  int n = 0;
  for (;;) {
    buf[n++] = static_cast<char>(c);
    if (n == limit) break;
    c = std::getc(ifile);
    if (c == EOF) break;
    if (c == '\n') {
      std::ungetc(c, ifile);
      break;
    }
  }
  buf[n] = '\0';
  *taken = n;
  return 1;
}

bool reader_args_ok(const char* who, FILE* ifile, const char* string, int len) {
  if (ifile && string && len >= 1) return true;
  MESS_print(M_error, "%s: No file, no buffer or a length below 1 (%d)\n", who, len);
  return false;
}

int reverse_bytes(unsigned char* ptr, int size, int num) {
  if (!byte_order.swap || !ptr) return -1;
  for (int i = 0; i < num; ++i) {
    unsigned char* word = ptr + static_cast<std::ptrdiff_t>(i) * size;
    for (int lo = 0, hi = size - 1; lo < hi; ++lo, --hi) std::swap(word[lo], word[hi]);
  }
  return 0;
}

int fread_swap(unsigned char* data, FILE* ifile, int size) {
  if (!data || !ifile) return 0;
  int got = static_cast<int>(std::fread(data, static_cast<size_t>(size), 1, ifile));
  if (got == 1) reverse_bytes(data, size, 1);
  return got;
}

int fwrite_swap(unsigned char* data, FILE* ofile, int size) {
  if (!data || !ofile) return 0;
  reverse_bytes(data, size, 1);
  return static_cast<int>(std::fwrite(data, static_cast<size_t>(size), 1, ofile));
}

} // namespace

int fgetline(FILE* ifile, char* string) {
  if (!reader_args_ok("fgetline", ifile, string, FGETLINE_LEN)) return EOF;
  int taken = 0;
  int got = read_line(ifile, string, FGETLINE_LEN, &taken);
  return got == EOF ? EOF : static_cast<int>(std::strlen(string));
}

int fgetnline(FILE* ifile, char* string, int len) {
  if (!reader_args_ok("fgetnline", ifile, string, len)) return EOF;
  int taken = 0;
  int got = read_line(ifile, string, len, &taken);
  return got == EOF ? EOF : taken;
}

int fgetstring(FILE* ifile, char* string, int len) {
  if (!reader_args_ok("fgetstring", ifile, string, len)) return EOF;
  int taken = 0;
  return read_line(ifile, string, len, &taken);
}

int fget_rawstring(FILE* ifile, char* string, int len) {
  int got = fgetstring(ifile, string, len);
  if (got == EOF) return EOF;
  /* From the end: the text ends at its first carriage return, and control
   * and non-ASCII bytes become blanks. */
  for (size_t i = std::strlen(string); i-- > 0;) {
    if (string[i] == '\r')
      string[i] = '\0';
    else if (static_cast<signed char>(string[i]) <= 32)
      string[i] = ' ';
  }
  return got;
}

int fskipline(FILE* ifile) {
  if (!ifile) return EOF;
  int c = std::getc(ifile);
  if (c == EOF) return EOF;
  if (c == '\n') {
    /* Already at the end of a line: the next reader takes this newline. */
    std::ungetc(c, ifile);
    return 0;
  }
  while ((c = std::getc(ifile)) != EOF)
    if (c == '\n') return 0;
  return EOF;
}

int swap_setup(int flag) {
  constexpr bool little = std::endian::native == std::endian::little;
  switch (flag) {
  case 1: byte_order.swap = little; break;
  case 2: byte_order.swap = !little; break;
  case -1: byte_order.swap = false; break;
  default: byte_order.swap = true; break;
  }
  return 0;
}

int swap_long(unsigned char* ptr) { return reverse_bytes(ptr, 4, 1); }
int swap_double(unsigned char* ptr) { return reverse_bytes(ptr, 8, 1); }
int swap_longs(unsigned char* ptr, int num) { return reverse_bytes(ptr, 4, num); }
int swap_short(unsigned char* ptr) { return reverse_bytes(ptr, 2, 1); }
int swap_shorts(unsigned char* ptr, int num) { return reverse_bytes(ptr, 2, num); }

int fread_double_swap(unsigned char* data, FILE* ifile) { return fread_swap(data, ifile, 8); }
int fread_long_swap(unsigned char* data, FILE* ifile) { return fread_swap(data, ifile, 4); }
int fread_short_swap(unsigned char* data, FILE* ifile) { return fread_swap(data, ifile, 2); }
int fwrite_long_swap(unsigned char* data, FILE* ofile) { return fwrite_swap(data, ofile, 4); }
int fwrite_short_swap(unsigned char* data, FILE* ofile) { return fwrite_swap(data, ofile, 2); }

float linear_interp(float x, float x1, float x2, float y1, float y2) {
  return (x - x1) * (y2 - y1) / (x2 - x1) + y1;
}

int fswap(float* x, float* y) {
  std::swap(*x, *y);
  return 0;
}

int float2int(float x) {
  if (x == 0.0f) return 0;
  if (!std::isfinite(x)) return -9999;
  float value = std::fabs(x);
  /* Codes in stored variable names were made with exactly these steps: the
   * logarithm in double, the scaling in single precision (0.01 -> 799). */
  int e = static_cast<int>(std::log10(static_cast<double>(value)) + 5.0) - 5;
  if (e >= 1) {
    for (int i = 0; i < e - 1; ++i) value /= 10.0f;
  } else {
    for (int i = 0; i < 1 - e; ++i) value *= 10.0f;
  }
  int digits = static_cast<int>(value) % 100;
  int field = e >= 0 ? e : e + 10;
  return x > 0.0f ? 100 * field + digits : -(100 * field) - digits;
}

/* ---- WMO station numbers and station identifiers ------------------------- */
