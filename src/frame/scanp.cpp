/*
 * scanp: a pattern scanner over one line of text, in the manner of
 * formatted input, with a cursor (parse_param) that the caller moves.
 *
 * Readers of record files take a line apart field by field, go back to a
 * remembered offset and read a field again another way. Besides the usual
 * conversions the pattern language has missing texts that stand for an
 * absent number (stored as -9999), alternatives, character sets with class
 * codes, exact and maximum widths, and blank-run conversions.
 *
 * Guarantees that callers rely on:
 * - scanp never moves the cursor's offset and never reads past the text's
 *   length (or an earlier NUL);
 * - a text conversion stores at most SCANP_TEXT_LEN characters (and never
 *   more than its width) plus a terminator, "%c" without one;
 * - a conversion that fails ends the scan, so a later field never lands in
 *   the variable of an earlier one; a number that does not fit its type is
 *   a failure, not a wrapped value.
 */
#include "kez.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

constexpr M_type kTrace = 0x80000000;
constexpr int kNoWidth = 999;

bool is_blank(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }
bool is_c_space(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_alpha(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }

/* One conversion as written in the pattern. */
struct Conversion {
  bool store = true;    /* no "*" */
  bool at_most = false; /* "<" */
  bool has_width = false;
  int width = kNoWidth;
  bool has_missing = false;
  std::string missing; /* the text between "!" and "!" */
  char letter = '\0';
  std::string_view body; /* alternatives or set members, without brackets */
  bool negated = false;  /* "[^" */

  bool exact() const { return has_width && !at_most; }
};

/* The scan of one call: the text from the cursor's offset to its end. */
struct Scan {
  const char* text; /* ptr + off */
  int end;          /* characters available from text */
  int pos = 0;      /* characters consumed so far */

  char at(int i) const { return i < end ? text[i] : '\0'; }
  int left() const { return end - pos; }
};

/* Reads the flags, width, missing text and letter after a "%"; false when
 * the pattern ends before the conversion is complete. */
bool parse_conversion(const char*& p, Conversion& cv) {
  if (*p == '*') {
    cv.store = false;
    ++p;
  }
  if (*p == '<') {
    cv.at_most = true;
    ++p;
  }
  if (is_digit(*p)) {
    cv.has_width = true;
    long w = 0;
    while (is_digit(*p)) {
      if (w < 1000000) w = w * 10 + (*p - '0');
      ++p;
    }
    cv.width = static_cast<int>(w);
  }
  if (*p == '!') {
    const char* close = std::strchr(p + 1, '!');
    if (!close) return false;
    cv.has_missing = true;
    cv.missing.assign(p + 1, static_cast<size_t>(close - p - 1));
    p = close + 1;
  }
  cv.letter = *p;
  if (cv.letter == '\0') return false;
  ++p;
  if (cv.letter == '(' || cv.letter == '[') {
    if (cv.letter == '[' && *p == '^') {
      cv.negated = true;
      ++p;
    }
    const char* close = std::strchr(p, cv.letter == '(' ? ')' : ']');
    if (!close) return false;
    cv.body = std::string_view(p, static_cast<size_t>(close - p));
    p = close + 1;
  }
  return true;
}

bool in_set(std::string_view set, char c) {
  for (size_t i = 0; i < set.size(); ++i) {
    if (set[i] == '/' && i + 1 < set.size()) {
      const char code = set[i + 1];
      if (code == 'A' || code == 'N' || code == '/') {
        ++i;
        if ((code == 'A' && is_alpha(c)) || (code == 'N' && is_digit(c)) || (code == '/' && c == '/')) return true;
        continue;
      }
    }
    if (set[i] == c) return true;
  }
  return false;
}

/* The length of the run from the scan position whose characters pass test,
 * at most limit characters. */
template <class Test>
int run_length(const Scan& s, int limit, Test test) {
  int n = 0;
  while (n < limit && n < s.left() && test(s.text[s.pos + n])) ++n;
  return n;
}

/* A number as d/D or f/F read it: where it starts and ends in the text,
 * and whether any character of it made a number. */
struct NumberSpan {
  int begin = 0;
  int end = 0;   /* after the number */
  int after = 0; /* after trailing whitespace, for D and F */
  bool found = false;
  bool has_digits = false;
};

NumberSpan scan_number(const Scan& s, int limit, bool floating, bool spaces) {
  NumberSpan n;
  const int stop = s.pos + std::min(limit, s.left());
  int i = s.pos;
  if (spaces)
    while (i < stop && is_c_space(s.text[i])) ++i;
  n.begin = i;
  if (i < stop && s.text[i] == '-') ++i;
  bool point = false;
  while (i < stop) {
    const char c = s.text[i];
    if (is_digit(c)) {
      n.has_digits = true;
    } else if (floating && c == '.' && !point) {
      point = true;
    } else {
      break;
    }
    ++i;
  }
  n.found = n.has_digits || point;
  if (floating && n.found && i < stop && (s.text[i] == 'e' || s.text[i] == 'E')) {
    int j = i + 1;
    if (j < stop && (s.text[j] == '+' || s.text[j] == '-')) ++j;
    const int digits = j;
    while (j < stop && is_digit(s.text[j])) ++j;
    if (j > digits) i = j; /* an exponent letter without digits stays unread */
  }
  n.end = i;
  if (spaces)
    while (i < stop && is_c_space(s.text[i])) ++i;
  n.after = i;
  return n;
}

/* What one conversion did. */
enum class Outcome { fail, matched };

class Scanner {
 public:
  Scanner(Scan scan, va_list* args) : s_(scan), args_(args) {}

  int matched = 0;
  int assigned = 0;

  Scan& scan() { return s_; }

  /* Runs one conversion; false ends the scan. */
  bool convert(const Conversion& cv) {
    void* dest = cv.store ? va_arg(*args_, void*) : nullptr;
    switch (convert_to(cv, dest)) {
      case Outcome::fail: return false;
      case Outcome::matched:
        ++matched;
        if (cv.store) ++assigned;
        return true;
    }
    return false;
  }

 private:
  Scan s_;
  va_list* args_;

  /* The most characters a text conversion may take: its width, and for a
   * stored text the room the destination is promised. */
  static int text_limit(const Conversion& cv) { return cv.store ? std::min(cv.width, SCANP_TEXT_LEN) : cv.width; }

  static void store_text(void* dest, const char* from, int n, bool terminate) {
    if (!dest) return;
    char* out = static_cast<char*>(dest);
    std::memcpy(out, from, static_cast<size_t>(n));
    if (terminate) out[n] = '\0';
  }

  /* A run conversion: fails on an empty run and, in exact mode, on a run
   * shorter than the width. */
  template <class Test>
  Outcome text_run(const Conversion& cv, void* dest, Test test, int limit) {
    const int n = run_length(s_, limit, test);
    if (n == 0 || (cv.exact() && n < cv.width)) return Outcome::fail;
    if (cv.store) store_text(dest, s_.text + s_.pos, n, cv.letter != 'c');
    s_.pos += n;
    return Outcome::matched;
  }

  Outcome convert_to(const Conversion& cv, void* dest) {
    const int limit = text_limit(cv);
    switch (cv.letter) {
      case 'n':
        if (cv.store && dest) *static_cast<int*>(dest) = s_.pos;
        return Outcome::matched;
      case '(': return alternatives(cv, dest);
      case '[':
        return text_run(
            cv, dest, [&cv](char c) { return in_set(cv.body, c) != cv.negated; }, limit);
      case 'A': return text_run(cv, dest, is_alpha, limit);
      case 'N': return text_run(cv, dest, is_digit, limit);
      case 's':
        return text_run(
            cv, dest, [](char c) { return !is_c_space(c); }, std::min(limit, SCANP_TEXT_LEN));
      case 'S':
        return text_run(
            cv, dest, [](char) { return true; }, limit);
      case 'c': {
        Conversion c1 = cv;
        if (!cv.has_width) {
          c1.has_width = true;
          c1.width = 1;
        }
        return text_run(
            c1, dest, [](char) { return true; }, text_limit(c1));
      }
      case 'w': return text_run(cv, dest, is_blank, limit);
      case 'W':
        return text_run(
            cv, dest, [](char c) { return c == ' ' || c == '\r' || c == '\t'; }, limit);
      case 'd':
      case 'D':
      case 'f':
      case 'F': return number(cv, dest);
      default: return Outcome::fail;
    }
  }

  Outcome number(const Conversion& cv, void* dest) {
    const bool floating = cv.letter == 'f' || cv.letter == 'F';
    const bool spaces = cv.letter == 'D' || cv.letter == 'F';
    const NumberSpan n = scan_number(s_, cv.width, floating, spaces);
    if (!n.found) return missing_number(cv, dest, floating);
    const int used = n.after - s_.pos;
    if (cv.exact() && used < cv.width) return Outcome::fail;
    const std::string digits(s_.text + n.begin, static_cast<size_t>(n.end - n.begin));
    if (floating) {
      float v = 0.0f;
      if (n.has_digits) {
        v = std::strtof(digits.c_str(), nullptr);
        if (!std::isfinite(v)) return Outcome::fail; /* beyond the range of a float */
      }
      if (cv.store && dest) *static_cast<float*>(dest) = v;
    } else {
      errno = 0;
      const long long v = std::strtoll(digits.c_str(), nullptr, 10);
      if (errno == ERANGE || v > INT32_MAX || v < INT32_MIN) return Outcome::fail;
      if (cv.store && dest) *static_cast<int*>(dest) = static_cast<int>(v);
    }
    s_.pos = n.after;
    return Outcome::matched;
  }

  /* No number: the missing text, compared up to the width, reads as -9999.
   * Without it the conversion fails and the scan ends, so that the fields
   * after it cannot slip into the wrong variables. */
  Outcome missing_number(const Conversion& cv, void* dest, bool floating) {
    if (!cv.has_missing) return Outcome::fail;
    const std::string_view miss = std::string_view(cv.missing).substr(0, static_cast<size_t>(cv.width));
    if (static_cast<int>(miss.size()) > s_.left() || std::memcmp(s_.text + s_.pos, miss.data(), miss.size()) != 0)
      return Outcome::fail;
    if (cv.store && dest) {
      if (floating)
        *static_cast<float*>(dest) = KEZ_FMISS;
      else
        *static_cast<int*>(dest) = KEZ_MISS;
    }
    s_.pos += static_cast<int>(miss.size());
    return Outcome::matched;
  }

  Outcome alternatives(const Conversion& cv, void* dest) {
    std::string_view rest = cv.body;
    for (;;) {
      const size_t bar = rest.find('|');
      const std::string_view alt = rest.substr(0, bar);
      if (static_cast<int>(alt.size()) <= s_.left() && std::memcmp(s_.text + s_.pos, alt.data(), alt.size()) == 0) {
        if (cv.store) {
          const int n = std::min(static_cast<int>(alt.size()), SCANP_TEXT_LEN);
          store_text(dest, alt.data(), n, true);
        }
        s_.pos += static_cast<int>(alt.size());
        return Outcome::matched;
      }
      if (bar == std::string_view::npos) break;
      rest = rest.substr(bar + 1);
    }
    if (cv.has_missing) {
      const int limit = std::min({static_cast<int>(cv.missing.size()), cv.width, s_.left()});
      int n = 0;
      while (n < limit && s_.text[s_.pos + n] == cv.missing[static_cast<size_t>(n)]) ++n;
      if (cv.store) store_text(dest, "", 0, true);
      s_.pos += n;
      return Outcome::matched;
    }
    /* "<" without a width makes the alternatives optional: nothing is
     * consumed and the destination keeps its value. */
    if (cv.at_most && !cv.has_width) return Outcome::matched;
    return Outcome::fail;
  }
};

bool is_conversion_letter(char c) { return std::strchr("n([ANsScdDfFwW", c) != nullptr; }

void trace_element(const char* pat_rest, const Scan& s) {
  if (!MESS_check(kTrace)) return;
  MESS_print(kTrace, "     :%s:%.50s:\n", pat_rest, s.text + s.pos);
}

int run_scan(parse_param* param, const char* pat, va_list* args) {
  param->len = 0;
  param->matched = 0;
  param->assigned = 0;
  param->done = 0;
  if (!param->ptr || !pat || !*pat || param->off < 0 || param->off >= param->length) return -1;

  Scan scan{param->ptr + param->off, 0};
  /* A NUL written into the text ends it there. */
  scan.end = static_cast<int>(strnlen(scan.text, static_cast<size_t>(param->length - param->off)));
  Scanner scanner(scan, args);
  Scan& s = scanner.scan();

  const char* p = pat;
  bool ok = true;
  while (*p && ok) {
    if (is_blank(*p)) {
      while (is_blank(*p)) ++p;
      const int n = run_length(s, s.left(), is_blank);
      if (n == 0) ok = false;
      s.pos += n;
    } else if (*p == '%') {
      const char* start = p++;
      Conversion cv;
      if (!parse_conversion(p, cv)) {
        MESS_print(M_error, "scanp: Unfinished conversion in pattern: %s\n", start);
        ok = false;
        break;
      }
      if (is_conversion_letter(cv.letter)) {
        ok = scanner.convert(cv);
      } else if (s.at(s.pos) == cv.letter && s.left() > 0) {
        ++s.pos; /* not a conversion: the letter stands for itself */
      } else {
        ok = false;
      }
    } else {
      if (s.left() > 0 && s.text[s.pos] == *p)
        ++s.pos;
      else
        ok = false;
      ++p;
    }
    if (ok) trace_element(p, s);
  }
  param->done = (ok && !*p) ? 1 : 0;
  param->len = s.pos;
  param->matched = scanner.matched;
  param->assigned = scanner.assigned;
  if (MESS_check(kTrace))
    MESS_print(kTrace, "SCANP:%.50s:%s:%d:%d:%d:%d:%d\n", param->ptr + param->off, pat, param->off, param->len,
               param->done, param->assigned, param->matched);
  return param->matched;
}

} // namespace

int scanp_set(parse_param* param, char* str) {
  if (!param) return 0;
  param->ptr = str;
  param->length = str ? static_cast<int>(std::strlen(str)) : 0;
  param->off = 0;
  return 1;
}

int scanp_get_off(const parse_param* param) { return param ? param->off : 0; }

int scanp_off(parse_param* param, int off) {
  if (!param) return 0;
  param->off = off;
  return 1;
}

int scanp_inc_off(parse_param* param, int off) {
  if (!param) return 0;
  param->off += off;
  return 1;
}

int scanp_inc(parse_param* param) {
  if (!param) return 0;
  param->off += param->len;
  return 1;
}

char* scanp_str(const parse_param* param) {
  if (!param || !param->ptr) return nullptr;
  const int off = std::clamp(param->off, 0, param->length);
  return param->ptr + off;
}

char scanp_char(const parse_param* param, int off) {
  if (!param || !param->ptr) return '\0';
  const long at = static_cast<long>(param->off) + off;
  if (at < 0 || at >= param->length) return '\0';
  return param->ptr[at];
}

char scanp_replace(parse_param* param, int off, char ch) {
  if (!param || !param->ptr) return '\0';
  const long at = static_cast<long>(param->off) + off;
  if (at < 0 || at >= param->length) {
    MESS_print(M_error, "scanp_replace: Offset %ld outside the text\n", at);
    return '\0';
  }
  param->ptr[at] = ch;
  return ch;
}

int scanp_search(parse_param* param, const char* str) {
  if (!param || !param->ptr || !str) return 0;
  const std::string_view text(param->ptr, strnlen(param->ptr, static_cast<size_t>(param->length)));
  const size_t at = text.find(str);
  if (at == std::string_view::npos) return 0;
  param->off = static_cast<int>(at);
  return 1;
}

int scanp_print(const parse_param* param) {
  if (!param) return 0;
  const char* at = scanp_str(param);
  std::printf("scanp:%s:%d:%d:%d:%d\n", at ? at : "", param->len, param->done, param->assigned, param->matched);
  return 1;
}

int scanp(parse_param* param, const char* pat, ...) {
  if (!param) return -1;
  va_list args;
  va_start(args, pat);
  const int result = run_scan(param, pat, &args);
  va_end(args);
  return result;
}
