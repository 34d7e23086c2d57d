/*
 * fmt_check: printf formats that users give, checked before use.
 *
 * Resources, the options of a variable and some files carry printf formats
 * typed by users. Handed to printf unchecked, a stray "%s", "%n" or a
 * second conversion reads or writes through whatever lies on the stack, so
 * every such format passes through here. A format is accepted when it holds
 * exactly one conversion of the kind the caller has a value for, with flags
 * from "-+ #0", a width and a precision of at most two digits each, and
 * otherwise only plain text and "%%". Anything else is refused; the print
 * functions then use the caller's own default format and say so once per
 * call as a warning. Any module of any layer uses it.
 */
#include "kez.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool of_kind(char conv, int kind) {
  switch (kind) {
    case FMT_FLOAT: return std::strchr("eEfFgGaA", conv) != nullptr;
    case FMT_INT: return std::strchr("diouxX", conv) != nullptr;
    case FMT_STRING: return conv == 's';
    case FMT_CHAR: return conv == 'c';
    default: return false;
  }
}

/* The one conversion of format rebuilt with the length modifier that fits
 * the value passed (long for integers, none for the rest), so that "%d"
 * and "%ld" both print a long; empty when the format is refused. */
std::string normalise(const char* format, int kind) {
  if (!format) return {};
  std::string out;
  int conversions = 0;
  for (const char* p = format; *p; ++p) {
    out += *p;
    if (*p != '%') continue;
    if (p[1] == '%') {
      out += *++p;
      continue;
    }
    ++p;
    int flags = 0;
    while (*p && std::strchr("-+ #0", *p)) {
      if (++flags > 5) return {};
      out += *p++;
    }
    for (int n = 0; is_digit(*p); ++n) {
      if (n == 2) return {};
      out += *p++;
    }
    if (*p == '.') {
      out += *p++;
      for (int n = 0; is_digit(*p); ++n) {
        if (n == 2) return {};
        out += *p++;
      }
    }
    if (*p == 'l' && kind != FMT_STRING && kind != FMT_CHAR) ++p;
    if (!*p || !of_kind(*p, kind)) return {};
    if (kind == FMT_INT) out += 'l';
    out += *p;
    ++conversions;
  }
  return conversions == 1 ? out : std::string();
}

/* The text of a checked format; the value arrives as the variadic tail. */
std::string print_checked(const char* format, ...) {
  /* Most texts fit a small buffer, and are formatted once. */
  char first[128];
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(first, sizeof first, format, args);
  va_end(args);
  std::string text;
  if (n > 0 && static_cast<size_t>(n) < sizeof first) {
    text.assign(first, static_cast<size_t>(n));
  } else if (n > 0) {
    text.resize(static_cast<size_t>(n) + 1);
    std::vsnprintf(text.data(), text.size(), format, again);
    text.resize(static_cast<size_t>(n));
  }
  va_end(again);
  return text;
}

/* Powers of ten of the decimals that the short form below writes. */
constexpr std::uint64_t POW10[] = {1, 10, 100, 1000};
constexpr int SHORT_DECIMALS = 3;
/* Magnitudes below 2^50 with up to three decimals: the value in units of
 * its last decimal is then below 2^60, and so is the mantissa times the
 * power of ten. */
constexpr double SHORT_LIMIT = 1125899906842624.0;

/* The short form: a value labels' number, from its exact binary value. Its
 * mantissa times 10^precision, shifted to the binary point with ties to
 * even (printf's rounding of the exact value), is the number in units of
 * the last decimal. */
std::size_t short_fixed(double v, int precision, char* out, std::size_t room) {
  const auto bits = std::bit_cast<std::uint64_t>(v);
  const int biased = static_cast<int>((bits >> 52) & 0x7ff);
  const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
  const std::uint64_t m = biased == 0 ? fraction : fraction | (std::uint64_t{1} << 52);
  const int e = (biased == 0 ? 1 : biased) - 1075;
  const std::uint64_t unit = POW10[precision];
  std::uint64_t q = m * unit;
  if (e >= 0) {
    q <<= e;
  } else if (-e >= 64) {
    q = 0; /* below 2^-4 of the last decimal */
  } else {
    const int k = -e;
    const std::uint64_t r = q & ((std::uint64_t{1} << k) - 1), half = std::uint64_t{1} << (k - 1);
    q >>= k;
    if (r > half || (r == half && (q & 1) != 0)) ++q;
  }
  char text[32];
  std::size_t n = 0;
  if (std::signbit(v)) text[n++] = '-';
  n = static_cast<std::size_t>(std::to_chars(text + n, text + sizeof text, q / unit).ptr - text);
  if (precision > 0) {
    text[n] = '.';
    std::uint64_t f = q % unit;
    for (int i = precision; i >= 1; --i, f /= 10)
      text[n + static_cast<std::size_t>(i)] = static_cast<char>('0' + f % 10);
    n += static_cast<std::size_t>(precision) + 1;
  }
  if (n > room) return 0;
  std::memcpy(out, text, n);
  return n;
}

/* A checked "%<width>.<precision>f" alone, the form of nearly every value
 * label, written without printf: to_chars gives printf's digits for a
 * finite value, which is then right-aligned in the width. False for any
 * other form (flags, text around it, other conversions). */
bool plain_fixed(std::string_view format, double value, std::string* out) {
  if (format.size() < 2 || format[0] != '%' || format.back() != 'f' || format[1] == '0' || !std::isfinite(value))
    return false;
  const size_t last = format.size() - 1;
  size_t i = 1;
  int width = 0, precision = 6;
  /* At most two digits each, as the check allows: such a format is its
   * own checked form. */
  for (int n = 0; is_digit(format[i]); ++i, ++n) {
    if (n == 2) return false;
    width = 10 * width + (format[i] - '0');
  }
  if (format[i] == '.') {
    precision = 0;
    ++i;
    for (int n = 0; is_digit(format[i]); ++i, ++n) {
      if (n == 2) return false;
      precision = 10 * precision + (format[i] - '0');
    }
  }
  if (i != last) return false;
  char digits[512]; /* the widest double with two-digit precision */
  const size_t n = FMT_fixed(value, precision, digits, sizeof digits);
  if (n == 0) return false;
  out->assign(n < static_cast<size_t>(width) ? static_cast<size_t>(width) - n : 0, ' ');
  out->append(digits, n);
  return true;
}

/* The checked form of format, else of fallback (with a warning naming the
 * caller); empty when neither passes. */
std::string choose(const char* caller, const char* format, const char* fallback, int kind) {
  std::string checked = normalise(format, kind);
  if (!checked.empty()) return checked;
  MESS_print(M_warn, "%s: Bad format \"%s\", using \"%s\"\n", caller ? caller : "FMT_check", format ? format : "",
             fallback ? fallback : "");
  return normalise(fallback, kind);
}

} // namespace

std::size_t FMT_fixed(double v, int precision, char* out, std::size_t room) {
  if (!out || precision < 0 || precision > 99 || !std::isfinite(v)) return 0;
  if (precision <= SHORT_DECIMALS && std::fabs(v) < SHORT_LIMIT) return short_fixed(v, precision, out, room);
  const auto r = std::to_chars(out, out + room, v, std::chars_format::fixed, precision);
  return r.ec == std::errc{} ? static_cast<std::size_t>(r.ptr - out) : 0;
}

int FMT_check(const char* format, int kind) { return normalise(format, kind).empty() ? 0 : 1; }

std::string FMT_print_float(const char* caller, const char* format, const char* fallback, double value) {
  /* A plain "%<w>.<p>f" passes the check as it is, so it is written
   * without forming its checked copy first. */
  if (std::string text; format && plain_fixed(format, value, &text)) return text;
  const std::string f = choose(caller, format, fallback, FMT_FLOAT);
  if (f.empty()) return {};
  if (std::string text; plain_fixed(f, value, &text)) return text;
  return print_checked(f.c_str(), value);
}

std::string FMT_print_int(const char* caller, const char* format, const char* fallback, long value) {
  const std::string f = choose(caller, format, fallback, FMT_INT);
  return f.empty() ? std::string() : print_checked(f.c_str(), value);
}

std::string FMT_print_str(const char* caller, const char* format, const char* fallback, const char* value) {
  const std::string f = choose(caller, format, fallback, FMT_STRING);
  return f.empty() ? std::string() : print_checked(f.c_str(), value ? value : "");
}

std::string FMT_print_char(const char* caller, const char* format, const char* fallback, char value) {
  const std::string f = choose(caller, format, fallback, FMT_CHAR);
  return f.empty() ? std::string() : print_checked(f.c_str(), static_cast<int>(value));
}
