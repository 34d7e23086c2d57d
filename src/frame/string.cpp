/*
 * string: the text toolkit of the suite.
 *
 * In-place editing of NUL-ended byte texts, tests on texts, copies,
 * comparison without regard to case, parsed arrays (a text cut at a
 * delimiter), command-line splitting, the number format of plotted values
 * and matching of a typed choice against a list. The module has no state.
 *
 * Parsed arrays: item 0 points at one allocated block holding a copy of the
 * whole text, so it is at once the first item and the owner of the storage;
 * free_parsed_array frees that block and then the pointer array. Everything
 * that allocates for the caller uses malloc, so callers free with free().
 */
#include "kez.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

/* Case folding of ASCII letters only; other bytes keep their signed value,
 * so comparisons of bytes of 128 and more are stable and never reach the C
 * library's tolower with a negative argument. */
int fold(char c) {
  int v = static_cast<signed char>(c);
  return (v >= 'A' && v <= 'Z') ? v - 'A' + 'a' : v;
}

bool is_blank(char c) { return c == ' '; }

/* Allocates a copy of the first n bytes of text (n within the text). */
char* dup_bytes(const char* text, size_t n) {
  char* copy = static_cast<char*>(std::malloc(n + 1));
  if (!copy) return nullptr;
  std::memcpy(copy, text, n);
  copy[n] = '\0';
  return copy;
}

} // namespace

std::vector<std::string> text_words(std::string_view text) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    const size_t start = i;
    while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i > start) words.emplace_back(text.substr(start, i - start));
  }
  return words;
}

/* ---- in-place editors ---------------------------------------------------- */

int fill_string(char* string, char tar, char fill) {
  for (char* p = string; *p; ++p)
    if (*p == tar) *p = fill;
  return 0;
}

int strip_string(char* string, char tar) {
  char* out = string;
  for (const char* in = string; *in; ++in)
    if (*in != tar) *out++ = *in;
  *out = '\0';
  return 0;
}

int wsstrip_string(char* string) {
  char* out = string;
  for (const char* in = string; *in; ++in)
    if (*in != '\n' && *in != '\r') *out++ = *in;
  *out = '\0';
  return 1;
}

int wstrim_string(char* string) {
  wsstrip_string(string);
  trim_string(string);
  return 1;
}

int trim_string(char* string) {
  size_t n = std::strlen(string);
  while (n > 0 && string[n - 1] == ' ') --n;
  string[n] = '\0';
  return 0;
}

int trim_cr_string(char* string) {
  size_t n = std::strlen(string);
  while (n > 0 && string[n - 1] == '\r') --n;
  string[n] = '\0';
  return 0;
}

int strip_spaces(char* string) {
  trim_string(string);
  char* out = string;
  for (const char* in = string; *in; ++in) {
    if (*in == ' ' && out > string && out[-1] == ' ') continue;
    *out++ = *in;
  }
  *out = '\0';
  return 0;
}

int strip_escape(char* string) {
  char* out = string;
  for (const char* in = string; *in; ++in) {
    if (*in == '\\') {
      ++in;
      if (!*in) break;
    }
    *out++ = *in;
  }
  *out = '\0';
  return 0;
}

int shift_string(char* string, int num) {
  size_t len = std::strlen(string);
  if (num < 0) {
    size_t drop = static_cast<size_t>(-static_cast<long>(num));
    if (drop >= len) {
      string[0] = '\0';
    } else {
      std::memmove(string, string + drop, len - drop + 1);
    }
  } else {
    size_t cut = static_cast<size_t>(num);
    string[cut >= len ? 0 : len - cut] = '\0';
  }
  return 0;
}

int up_string(char* string) {
  if (!string || !*string) return 0;
  for (char* p = string; *p; ++p)
    if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
  return 1;
}

int low_string(char* string) {
  if (!string || !*string) return 0;
  for (char* p = string; *p; ++p)
    if (*p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p - 'A' + 'a');
  return 1;
}

int clean_line(unsigned char* line) {
  if (!line || !*line) return 0;
  size_t n = std::strlen(reinterpret_cast<char*>(line));
  while (n > 0 && line[n - 1] < 32) --n;
  line[n] = '\0';
  if (n == 0) return 1;
  if (line[n - 1] >= 128) line[n - 1] = ' ';
  for (size_t i = 0; i + 1 < n; ++i)
    if (line[i] < 32 || line[i] >= 128) line[i] = ' ';
  return 1;
}

/* ---- tests on texts ------------------------------------------------------ */

int string_is_float(const char* string) {
  if (!string || !*string) return 0;
  return (std::strchr(string, '.') || std::strchr(string, 'E')) ? 1 : 0;
}

int string_is_alpha(const char* string) {
  if (!string || !*string) return 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(string); *p; ++p)
    if (!std::isalpha(*p)) return 0;
  return 1;
}

int string_is_num(const char* string) {
  if (!string || !*string) return 0;
  const char* p = string;
  if (*p == '-') ++p;
  for (; *p; ++p)
    if (*p < '0' || *p > '9') return 0;
  return 1;
}

int string_is_num_len(const char* string, int len) {
  if (!string || !*string) return 0;
  for (int i = 0; i < len; ++i)
    if (string[i] < '0' || string[i] > '9') return 0; /* the NUL stops here too */
  return 1;
}

int string_is_blank(const char* string) {
  if (!string || !*string) return 1;
  for (const char* p = string; *p; ++p)
    if (static_cast<signed char>(*p) > 32) return 0;
  return 1;
}

/* ---- copies -------------------------------------------------------------- */

char* create_string(const char* string) {
  if (!string) return nullptr;
  return dup_bytes(string, std::strlen(string));
}

char* create_strcat(const char* oldstr, const char* delim, const char* string) {
  if (!string) return nullptr;
  if (!oldstr) oldstr = "";
  if (!delim) delim = "";
  size_t a = std::strlen(oldstr), b = std::strlen(delim), c = std::strlen(string);
  char* out = static_cast<char*>(std::malloc(a + b + c + 1));
  if (!out) return nullptr;
  std::memcpy(out, oldstr, a);
  std::memcpy(out + a, delim, b);
  std::memcpy(out + a + b, string, c + 1);
  return out;
}

/* Copies n bytes, but never reads past the end of a shorter source: the copy
 * then stops at the source's NUL. str1 needs n + 1 bytes. */
int strntcpy(char* str1, const char* str2, int n) {
  size_t count = n > 0 ? strnlen(str2, static_cast<size_t>(n)) : 0;
  std::memcpy(str1, str2, count);
  str1[count] = '\0';
  return 1;
}

int strmcat(char* s1, const char* s2, int m) {
  if (!s1 || !s2) return 0;
  size_t have = std::strlen(s1);
  if (m < 0 || have >= static_cast<size_t>(m)) return 0;
  size_t room = static_cast<size_t>(m) - have;
  size_t add = strnlen(s2, room);
  std::memcpy(s1 + have, s2, add);
  s1[have + add] = '\0';
  return 1;
}

/* ---- comparison and search ---------------------------------------------- */

int stricmp(const char* s1, const char* s2) {
  if (!s1 || !s2) return 1;
  while (*s1 && *s2 && fold(*s1) == fold(*s2)) {
    ++s1;
    ++s2;
  }
  return fold(*s1) - fold(*s2);
}

int strnicmp(const char* s1, const char* s2, int n) {
  if (!s1 || !s2) return 1;
  int i = 0;
  while (i < n - 1 && s1[i] && s2[i] && fold(s1[i]) == fold(s2[i])) ++i;
  return fold(s1[i]) - fold(s2[i]);
}

int searchstr(char* const* s1, int n, const char* s2) {
  for (int i = 0; i < n; ++i)
    if (stricmp(s1[i], s2) == 0) return 1;
  return 0;
}

char* strlstr(char* s1, const char* s2) {
  size_t len1 = std::strlen(s1), len2 = std::strlen(s2);
  if (len2 == 0) return s1 + (len1 > 0 ? len1 - 1 : 0);
  if (len2 > len1) return nullptr;
  for (size_t i = len1 - len2 + 1; i-- > 0;)
    if (std::strncmp(s1 + i, s2, len2) == 0) return s1 + i;
  return nullptr;
}

/* ---- word lists ---------------------------------------------------------- */

int parse_string(const char* string, char delim, int* argc, char*** argv) {
  *argc = 0;
  *argv = nullptr;
  if (!string || !*string) return -1;
  size_t len = std::strlen(string);
  char* copy = dup_bytes(string, len);
  if (!copy) return -1;
  /* Trailing delimiters make no items. */
  while (len > 0 && copy[len - 1] == delim) copy[--len] = '\0';
  int count = 1;
  for (size_t i = 0; i < len; ++i)
    if (copy[i] == delim) ++count;
  char** items = static_cast<char**>(std::malloc(sizeof(char*) * static_cast<size_t>(count)));
  if (!items) {
    std::free(copy);
    return -1;
  }
  int k = 0;
  items[k++] = copy;
  for (size_t i = 0; i < len; ++i) {
    if (copy[i] == delim) {
      copy[i] = '\0';
      items[k++] = copy + i + 1;
    }
  }
  *argc = count;
  *argv = items;
  return 0;
}

int free_parsed_array(int argc, char** argv) {
  if (argc == 0 || !argv) return 0;
  std::free(argv[0]);
  std::free(argv);
  return 0;
}

int parse_command(const char* string, int* argc, char*** argv) {
  *argc = 0;
  if (!string || !*string) return -1;
  while (is_blank(*string)) ++string;
  size_t len = std::strlen(string);
  char* copy = dup_bytes(string, len);
  if (!copy) return -1;
  while (len > 0 && is_blank(copy[len - 1])) copy[--len] = '\0';

  /* One walk both cuts the words and records where they start, so the
   * pointer array always has room for every word it yields. Text right
   * behind a closing quote forms a word of its own. */
  std::vector<char*> words{copy};
  size_t i = 1;
  while (i < len) {
    char c = copy[i];
    char before = copy[i - 1];
    if (is_blank(c)) {
      if (!is_blank(before) && before != '\0') copy[i] = '\0';
      ++i;
    } else if (c != '\0' && (is_blank(before) || before == '\0')) {
      if (c == '"') {
        words.push_back(copy + i + 1);
        char* close = std::strchr(copy + i + 1, '"');
        if (close) {
          *close = '\0';
          i = static_cast<size_t>(close - copy) + 1;
        } else {
          i = len;
        }
      } else {
        words.push_back(copy + i);
        ++i;
      }
    } else {
      ++i;
    }
  }

  char** items = static_cast<char**>(std::malloc(sizeof(char*) * (words.size() + 1)));
  if (!items) {
    std::free(copy);
    return -1;
  }
  for (size_t k = 0; k < words.size(); ++k) items[k] = words[k];
  items[words.size()] = nullptr;
  *argc = static_cast<int>(words.size());
  *argv = items;
  return 0;
}

int parse_command_line(const char* command, const char* string, int* argc, char*** argv) {
  *argc = 0;
  if (!string) return -1;
  if (!command) command = "";
  while (is_blank(*string)) ++string;
  if (!*command && !*string) return -1;
  char* joined = create_strcat(command, " ", string);
  if (!joined) return -1;
  int result = parse_command(joined, argc, argv);
  std::free(joined);
  return result;
}

/* ---- number format and choices ------------------------------------------- */

constexpr long kMaxFormatNumber = 1000;

char* set_num(char* str, const char* format, float x) {
  if (std::fabs(x) < 0.00001f) x = 0.0f;
  int e = 2;
  if (x != 0.0f && std::isfinite(x)) e = static_cast<int>(std::floor(std::log10(std::fabs(x))));
  /* "w.s.d", read as far as it goes; each number is bounded, so that no
   * width or digit count of a hostile format overflows. */
  int w = 0, s = 0, d = 0;
  if (format) {
    const char* p = format;
    int* parts[] = {&w, &s, &d};
    for (size_t i = 0; i < 3; ++i) {
      char* end = nullptr;
      const long v = std::strtol(p, &end, 10);
      if (end == p) break;
      *parts[i] = static_cast<int>(std::clamp(v, -kMaxFormatNumber, kMaxFormatNumber));
      p = end;
      if (*p != '.') break;
      ++p;
    }
  }
  if (w <= 0) w = s + 1;
  if (w > 9) w = 9;
  int n = s - e - 1;
  if (n < d) n = d;
  if (n < 0) n = 0;
  if (n > 20) n = 20;
  if (w < n) w = n;
  std::snprintf(str, SET_NUM_LEN, "%*.*f", w, n, static_cast<double>(x));
  return str;
}

int chk_arg(const char* arg, char* const* items, int num_items) {
  if (!arg) return -9999;
  for (int i = 0; i < num_items; ++i)
    if (stricmp(items[i], arg) == 0) return i;
  int n = 0;
  if (std::sscanf(arg, "%d", &n) == 1 && n >= 1 && n <= num_items) return n;
  return -9999;
}
