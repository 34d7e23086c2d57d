/*
 * numfmt: printf formats that users give for one number.
 *
 * Settings such as a grid file's value format are printf formats typed by
 * users. Handing such a text to printf unchecked lets a stray %s or %n read
 * or write through whatever lies on the stack, so every user format passes
 * through here: it is accepted only when it holds exactly one floating
 * conversion and nothing else that printf would interpret.
 */
#include "kez.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

/* Skips at most two digits; false when a third follows. */
bool skip_digits(const char*& p) {
  int n = 0;
  while (is_digit(*p)) {
    if (++n > 2) return false;
    ++p;
  }
  return true;
}

} // namespace

int FMT_check_float(const char* format) {
  if (!format) return 0;
  int conversions = 0;
  for (const char* p = format; *p; ++p) {
    if (*p != '%') continue;
    ++p;
    if (*p == '%') continue;
    while (*p == '-' || *p == '+' || *p == ' ' || *p == '#' || *p == '0') ++p;
    if (!skip_digits(p)) return 0;
    if (*p == '.') {
      ++p;
      if (!skip_digits(p)) return 0;
    }
    if (*p == 'l') ++p;
    switch (*p) {
      case 'e': case 'E': case 'f': case 'F': case 'g': case 'G':
        ++conversions;
        break;
      default:
        return 0; /* any other conversion, '*' widths, or a lone '%' at the end */
    }
  }
  return conversions == 1 ? 1 : 0;
}

std::string FMT_float(const char* format, double value) {
  if (!FMT_check_float(format)) return {};
  /* Widths and precisions are two digits at most, so a short buffer usually
   * holds the text; a long plain-text part gets a second, exact try. */
  char buf[128];
  int n = std::snprintf(buf, sizeof buf, format, value);
  if (n < 0) return {};
  if (static_cast<size_t>(n) < sizeof buf) return std::string(buf, static_cast<size_t>(n));
  std::vector<char> big(static_cast<size_t>(n) + 1);
  std::snprintf(big.data(), big.size(), format, value);
  return std::string(big.data(), static_cast<size_t>(n));
}
