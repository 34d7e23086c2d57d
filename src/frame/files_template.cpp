/*
 * files_template: naming templates, the "name_conv" file and typed names.
 *
 * A data-set type selects a line of the naming-convention file: a name
 * template, a header template and a minimum file size. A template is text
 * with codes: "%", an optional width N and a letter. Date codes write and
 * read the parts of a date, path codes a directory resource, %{name} any
 * resource, %e the extension and any other letter a key text. The writer
 * (FILE_set_date), the reader of typed names (FILE_set_file) and the lister
 * (FILE_list_file) walk the same language; each records the date parts it
 * met in the file date and the shortest time step of the template.
 * Listings of the files a template matches read the directory through
 * glob(3): no template, resource or typed text ever reaches a shell.
 */
#include "files_impl.h"
#include "kez.h"

#include <glob.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace files_impl;

namespace {

constexpr M_type kTraceNames = M_debug_d;
constexpr M_type kTraceConv = M_debug_a;
constexpr M_type kTracePath = M_debug_c;

/* A date code: characters in a name and the listing pattern that matches
 * them. */
struct DateCode {
  char letter;
  int digits;
  const char* pattern;
};

constexpr DateCode date_codes[] = {
    {'Y', 4, "?[0-9]??"}, {'y', 2, "[0-9]?"},  {'m', 2, "[0-9]?"}, {'b', 3, "?[a-z]?"},
    {'d', 2, "[0-9]?"},   {'j', 3, "?[0-9]?"}, {'h', 2, "[0-9]?"}, {'n', 2, "[0-9]?"},
};

struct PathCode {
  char letter;
  const char* resource;
};

constexpr PathCode path_codes[] = {
    {'C', "con_path"},   {'D', "data_path"},  {'F', "file_path"}, {'R', "raw_path"},   {'G', "grid_path"},
    {'W', "watch_path"}, {'I', "image_path"}, {'T', "text_path"}, {'M', "model_path"}, {'S', "sat_path"},
};

const DateCode* find_date_code(char letter) {
  for (const DateCode& dc : date_codes)
    if (dc.letter == letter) return &dc;
  return nullptr;
}

const PathCode* find_path_code(char letter) {
  for (const PathCode& pc : path_codes)
    if (pc.letter == letter) return &pc;
  return nullptr;
}

/* One "%" code of a template. */
struct Code {
  char letter = '\0'; /* '\0' for a "%" that ends the template */
  int width = 0;      /* 0 when none is given */
  size_t next = 0;    /* template index after the code */
};

constexpr int kMaxWidth = 999;

Code read_code(const std::string& t, size_t at) {
  Code code;
  size_t i = at + 1;
  while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
    code.width = std::min(kMaxWidth, code.width * 10 + (t[i] - '0'));
    ++i;
  }
  if (i < t.size()) {
    code.letter = t[i];
    code.next = i + 1;
  } else {
    code.next = i;
  }
  return code;
}

} // namespace

namespace files_impl {

/* Reads an unsigned number of at most max_digits digits at p; moves p. */
bool read_uint(const char*& p, int max_digits, int* value) {
  if (!is_digit(*p)) return false;
  long long v = 0;
  for (int n = 0; n < max_digits && is_digit(*p); ++n, ++p)
    if (v <= INT_MAX) v = v * 10 + (*p - '0');
  *value = static_cast<int>(std::min<long long>(v, INT_MAX));
  return true;
}

} // namespace files_impl

namespace {

/* A number as "%d" reads it from a field of the typed text: leading blanks,
 * a sign, at least one digit. */
bool scan_field(const std::string& field, int* value) {
  const char* p = field.c_str();
  while (*p == ' ' || *p == '\t') ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  int v = 0;
  if (!read_uint(p, INT_MAX, &v)) return false;
  *value = negative ? -v : v;
  return true;
}

int round_down(int value, int step) {
  if (step <= 1) return value;
  return value >= 0 ? value / step * step : -((-value + step - 1) / step) * step;
}

/* The step of a negative fixed hour or minute part -(100 * offset + step);
 * 0 when the part asks for no rounding. */
int fixed_step(int part) {
  return part < 0 && part != -9999 ? static_cast<int>(-static_cast<long long>(part) % 100) : 0;
}

/* The days S of a negative fixed day part -S. */
int day_step(int part) { return static_cast<int>(std::min<long long>(-static_cast<long long>(part), kMaxWidth)); }

int fixed_offset(int part) { return static_cast<int>(-static_cast<long long>(part) / 100); }

/* Shortens the time step of the template to a code's step; the first code
 * sets it. */
void shorter_step(long long step) {
  int s = clamp_seconds(step);
  if (s <= 0) return;
  naming.late_off = naming.late_off <= 0 ? s : std::min(naming.late_off, s);
}

void take_step(char letter, int width) {
  const int n = width > 0 ? width : 1;
  const Date& set = naming.set;
  switch (letter) {
    case 'd':
    case 'j':
      if (set.day < 0 && set.day != -9999)
        naming.late_off = day_step(set.day) * 86400;
      else
        shorter_step(86400LL * n);
      break;
    case 'h':
      if (int s = fixed_step(set.hour); s > 0)
        naming.late_off = s * 3600;
      else
        shorter_step(3600LL * n);
      break;
    case 'n':
      if (int s = fixed_step(set.min); s > 0)
        naming.late_off = s * 60;
      else
        shorter_step(60LL * n);
      break;
    default: break;
  }
}

/* The directory a path code writes: the resource's value without a
 * trailing "/", or "." when it is not set. */
std::string path_resource(const char* resource) {
  const char* value = RES_get(resource);
  if (!value || !*value || stricmp(value, "none") == 0) return ".";
  std::string dir = value;
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

/* Where the directory part of a full path ends: going back from the end,
 * at its n-th "/" (or after a ":" as second character). */
bool dir_end(const std::string& name, int n, size_t* end) {
  if (n <= 0) return false;
  int found = 0;
  for (size_t i = name.size(); i-- > 0;) {
    if (name[i] == '/' && ++found == n) {
      *end = i;
      return true;
    }
    if (i == 1 && name[i] == ':') {
      *end = 2;
      return true;
    }
  }
  return false;
}

int count_of(const std::string& text, size_t from, const char* chars) {
  int n = 0;
  for (size_t i = from; i < text.size(); ++i)
    if (std::strchr(chars, text[i])) ++n;
  return n;
}

/* The text of key k, or its first width characters. */
std::string key_text(char key, int width) {
  const std::string& text = naming.keys[static_cast<unsigned char>(key)];
  return width > 0 ? text.substr(0, static_cast<size_t>(width)) : text;
}

/* The name of the resource in %{name} and the template index after "}". */
std::string brace_name(const std::string& t, size_t from, size_t* next) {
  size_t close = t.find('}', from);
  if (close == std::string::npos) {
    *next = t.size();
    return t.substr(from);
  }
  *next = close + 1;
  return t.substr(from, close - from);
}

/* ---- the writer ---- */

/* Value of a year or month code: the fixed part, else the date's part
 * rounded down to the width; -9999 unset. */
int plain_part(int fixed, int value, int width) {
  if (fixed >= 0) return fixed;
  if (value < 0) return -9999;
  return round_down(value, width);
}

int day_part(int fixed, int value, int width) {
  if (fixed >= 0) return fixed;
  if (value < 0) return -9999;
  if (fixed != -9999) return round_down(value, day_step(fixed));
  return round_down(value, width);
}

int clock_part(int fixed, int value, int width) {
  if (fixed >= 0) return round_down(fixed, width);
  if (value < 0) return -9999;
  if (fixed != -9999) {
    int step = fixed_step(fixed);
    if (step == 0) return value; /* no rounding asked for */
    return round_down(value, step) + fixed_offset(fixed);
  }
  return round_down(value, width);
}

std::string two_digits(int value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%2.2d", value);
  return buf;
}

void write_date_code(const Code& code, const Date& date, std::string* name) {
  const Date& set = naming.set;
  Date& fd = naming.file_date;
  const int n = code.width > 0 ? code.width : 1;
  char buf[24];
  switch (code.letter) {
    case 'Y': {
      int year = plain_part(set.year, date.year, n);
      std::snprintf(buf, sizeof buf, "%4.4d", year < 0 ? 0 : year);
      *name += buf;
      fd.year = year;
      break;
    }
    case 'y': {
      int full = set.year >= 0 ? set.year : date.year;
      if (full < 0) {
        *name += "00";
        fd.year = -9999;
        break;
      }
      int yy = full % 100;
      if (set.year < 0) yy = round_down(yy, n);
      *name += two_digits(yy);
      fd.year = full - full % 100 + yy;
      break;
    }
    case 'm': {
      int month = plain_part(set.month, date.month, n);
      *name += month < 0 ? "00" : two_digits(month);
      fd.month = month;
      break;
    }
    case 'b': {
      int month = set.month >= 0 ? set.month : date.month;
      if (month >= 1 && month <= 12) {
        *name += DATE_month_lower(month);
        fd.month = month;
      } else {
        *name += "xxx";
        fd.month = -9999;
      }
      break;
    }
    case 'd': {
      int day = day_part(set.day, date.day, n);
      *name += day < 0 ? "00" : two_digits(day);
      fd.day = day;
      break;
    }
    case 'j': {
      int year = set.year >= 0 ? set.year : date.year;
      int month = set.month >= 0 ? set.month : date.month;
      int day = day_part(set.day, date.day, 1);
      if (month < 1 || month > 12 || day < 0 || day > 31) {
        *name += "000";
        fd.jday = -9999;
        break;
      }
      int julian = 0;
      DATE_monday_julian(year, month, day, &julian);
      std::snprintf(buf, sizeof buf, "%3.3d", julian);
      *name += buf;
      fd.jday = julian;
      fd.month = month;
      fd.day = day;
      break;
    }
    case 'h': {
      int hour = clock_part(set.hour, date.hour, n);
      *name += hour < 0 ? "00" : two_digits(hour);
      fd.hour = hour;
      break;
    }
    case 'n': {
      int min = clock_part(set.min, date.min, n);
      *name += min < 0 ? "00" : two_digits(min);
      fd.min = min;
      break;
    }
    default: break;
  }
  take_step(code.letter, code.width);
}

} // namespace

namespace files_impl {

/* Builds the name of a date by the current template (the header template
 * while a header name is built). */
int set_date_impl(const Date* datim, std::string* out) {
  NamingState& nm = naming;
  if (nm.conv.empty()) {
    *out = nm.filename.empty() ? "filename" : nm.filename;
    nm.filename_type = 1;
    return 1;
  }
  if (FILE_is_stdio(nm.conv.c_str())) {
    *out = "-";
    nm.filename_type = 0;
    return 1;
  }

  /* A typed full path keeps its directory for the names built after it. */
  std::string typed_dir;
  bool have_dir = false;
  if (nm.filename_type == 1 && FILE_fullpath(nm.filename.c_str())) {
    size_t end = 0;
    if (dir_end(nm.filename, count_of(nm.conv, 0, "/:"), &end)) {
      typed_dir = nm.filename.substr(0, end);
      have_dir = true;
      MESS_print(kTracePath, "Extracted path: %s\n", typed_dir.c_str());
    }
  }

  nm.late_off = -9999;
  const Date date = datim ? *datim : nm.file_date;
  if (datim) set_parts_unset(&nm.file_date);
  if (date.year < 0 && !nm.filename.empty()) {
    *out = nm.filename;
    nm.filename_type = 1;
    return 1;
  }

  const std::string& t = nm.header ? nm.hconv : nm.conv;
  std::string name;
  for (size_t i = 0; i < t.size();) {
    const char c = t[i];
    if (c == '{' || c == '}') {
      ++i;
      continue;
    }
    if (c != '%') {
      name += c == ' ' ? '_' : c;
      ++i;
      continue;
    }
    const Code code = read_code(t, i);
    i = code.next;
    if (code.letter == '\0' || code.letter == '%') {
      name += '%';
    } else if (find_date_code(code.letter)) {
      write_date_code(code, date, &name);
    } else if (code.letter == 'e') {
      name += nm.ext;
    } else if (const PathCode* pc = find_path_code(code.letter)) {
      name += have_dir ? typed_dir : path_resource(pc->resource);
    } else if (code.letter == '{') {
      std::string resource = brace_name(t, code.next, &i);
      if (have_dir) {
        name += typed_dir;
      } else if (const char* value = RES_get(resource.c_str())) {
        name += value;
      }
    } else {
      std::string text = key_text(code.letter, code.width);
      name += text.empty() ? "0" : text;
    }
  }
  *out = name;
  nm.filename = name;
  nm.filename_type = 0;
  return 0;
}

} // namespace files_impl

namespace {

/* ---- the lister ---- */

std::string glob_escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (std::strchr("*?[]\\", c)) out += '\\';
    out += c;
  }
  return out;
}

/* The listing pattern of the name template: wildcards only where a code
 * stands; every other character matches itself. */
std::string listing_pattern() {
  const std::string& t = naming.conv;
  std::string pattern;
  for (size_t i = 0; i < t.size();) {
    const char c = t[i];
    if (c == '{' || c == '}') {
      ++i;
      continue;
    }
    if (c == '*') {
      pattern += '*';
      ++i;
      continue;
    }
    if (c != '%') {
      pattern += glob_escape(std::string(1, c));
      ++i;
      continue;
    }
    const Code code = read_code(t, i);
    i = code.next;
    if (code.letter == '\0' || code.letter == '%') {
      pattern += '%';
    } else if (const DateCode* dc = find_date_code(code.letter)) {
      pattern += dc->pattern;
    } else if (code.letter == 'e') {
      pattern += naming.ext.empty() ? "*" : glob_escape(naming.ext);
    } else if (const PathCode* pc = find_path_code(code.letter)) {
      pattern += glob_escape(path_resource(pc->resource));
    } else {
      std::string text = key_text(code.letter, code.width);
      if (!text.empty())
        pattern += glob_escape(text);
      else
        pattern += code.width > 0 ? std::string(static_cast<size_t>(code.width), '?') : "*";
    }
  }
  return pattern;
}

/* Prints names across in columns, as wide as the longest name. */
void print_columns(const std::vector<std::string>& names) {
  constexpr size_t kLineWidth = 80;
  size_t widest = 0;
  for (const std::string& n : names) widest = std::max(widest, n.size());
  const size_t column = widest + 2;
  const size_t per_line = std::max<size_t>(1, (kLineWidth + 2) / column);
  std::string line;
  for (size_t i = 0; i < names.size(); ++i) {
    line += names[i];
    const bool last = (i + 1) % per_line == 0 || i + 1 == names.size();
    if (last) {
      MESS_print(M_print, "%s\n", line.c_str());
      line.clear();
    } else {
      line.append(column - names[i].size(), ' ');
    }
  }
}

} // namespace

namespace files_impl {

/* The names of the files of the convention, as the listing shows them. */
std::vector<std::string> listed_names() {
  glob_t found{};
  std::vector<std::string> names;
  if (::glob(listing_pattern().c_str(), GLOB_TILDE, nullptr, &found) == 0)
    for (size_t i = 0; i < found.gl_pathc; ++i) names.emplace_back(found.gl_pathv[i]);
  ::globfree(&found);
  return names;
}

} // namespace files_impl

namespace {

/* ---- selecting a convention ---- */

/* Sets the keys of ":k=text" suffixes and gives the type without them; the
 * caller's text is never written. */
std::string cut_key_suffixes(const std::string& type) {
  size_t cut = std::string::npos;
  for (size_t i = type.find(':'); i != std::string::npos; i = type.find(':', i + 1)) {
    if (i + 3 >= type.size() || type[i + 2] != '=') continue;
    size_t end = type.find(':', i + 3);
    size_t len = end == std::string::npos ? std::string::npos : end - i - 3;
    std::string text = type.substr(i + 3, len);
    if (text.empty()) continue;
    FILE_set_key(type[i + 1], text.c_str());
    MESS_print(kTraceNames, "KEY: %c = %s\n", type[i + 1], text.c_str());
    cut = std::min(cut, i);
  }
  return type.substr(0, cut);
}

/* The type itself is the template when no line names it: nothing of an
 * earlier convention's header or minimum size belongs to it. */
void type_as_template(const std::string& type) {
  naming.conv = type;
  naming.hconv.clear();
  naming.min_size = 0;
}

/* Reads a typed "#" date suffix into the fixed date parts: year, then
 * month, day, hour and minute while digits follow. */
void fix_date_parts(const char* p) {
  int value = 0;
  if (!read_uint(p, 4, &value)) return;
  naming.set.year = value;
  for (int* part : {&naming.set.month, &naming.set.day, &naming.set.hour, &naming.set.min}) {
    if (!read_uint(p, 2, &value)) break;
    *part = value;
  }
}

} // namespace

namespace files_impl {

/* Expands a typed name by the template (see FILE_set_file). */
void set_file_impl(const char* file, std::string* out) {
  NamingState& nm = naming;
  std::string text = file ? file : "";
  set_parts_unset(&nm.file_date);

  auto begins = [&text](const char* word) { return text.size() >= 2 && strnicmp(text.c_str(), word, 2) == 0; };
  const bool by_time = (!text.empty() && text[0] == '#') || begins("la") || begins("cu");
  if (nm.file_type == 0) {
    /* A time request keeps its "#": "la#2" is a count of steps, not a date. */
    size_t hash = by_time ? std::string::npos : text.find('#', 1);
    if (hash != std::string::npos) {
      fix_date_parts(text.c_str() + hash + 1);
      text.resize(hash);
    }
  } else if (text.size() > 1) {
    std::vector<char> rest(text.begin() + 1, text.end());
    rest.push_back('\0');
    FILE_extract_extra_info(rest.data());
    text = text.substr(0, 1) + rest.data();
  }

  for (auto [from, to] : {std::pair{nm.set.year, &nm.file_date.year}, std::pair{nm.set.month, &nm.file_date.month},
                          std::pair{nm.set.day, &nm.file_date.day}, std::pair{nm.set.hour, &nm.file_date.hour},
                          std::pair{nm.set.min, &nm.file_date.min}})
    *to = from >= 0 ? from : -9999;

  if (stricmp(text.c_str(), "exit") == 0) KEZ_exit(0);

  const std::string tmpl = nm.header ? nm.hconv : nm.conv;
  if (!text.empty() && text[0] == '@') {
    *out = text.substr(1);
    nm.filename_type = 1;
    return;
  }
  if (FILE_is_stdio(text.c_str()) || (!tmpl.empty() && FILE_is_stdio(tmpl.c_str()))) {
    *out = "-";
    return;
  }
  if (tmpl.empty()) {
    *out = text;
    nm.filename = text;
    nm.filename_type = 1;
    return;
  }
  if (by_time) {
    set_current_impl(begins("cu") ? text.c_str() + 2 : text.c_str(), out);
    MESS_print(M_mess, "Current filename: %s\n", out->c_str());
    return;
  }
  if (stricmp(text.c_str(), "none") == 0 || (FILE_fullpath(text.c_str()) && FILE_fullpath(tmpl.c_str()))) {
    *out = text;
    return;
  }

  /* Walk the template along the typed text. match: 0 nothing matched yet,
   * 1 a directory part read, 2 a date part read, 3 the text used up after a
   * matching literal. */
  const std::string& typed = text;
  std::string result;
  size_t ti = 0, si = 0;
  int match = 0;
  bool in_brace = false;
  nm.late_off = -9999;
  auto copy_rest = [&] {
    result.append(typed, si, std::string::npos);
    si = typed.size();
  };
  const bool typed_full = FILE_fullpath(typed.c_str()) != 0;
  const bool typed_has_slash = typed.find('/') != std::string::npos;

  while (ti < tmpl.size()) {
    MESS_print(kTraceNames, "FILES:%s:%s:%s:%s:%s:%d\n", tmpl.c_str() + ti, typed.c_str() + si, "", typed.c_str(),
               result.c_str(), match);
    const char c = tmpl[ti];
    if (c == '%') {
      const Code code = read_code(tmpl, ti);
      const size_t code_at = ti;
      ti = code.next;
      if (const DateCode* dc = find_date_code(code.letter)) {
        std::string field = typed.substr(si, static_cast<size_t>(dc->digits));
        int value = 0;
        bool ok = code.letter == 'b' ? (value = DATE_decode_month(field.c_str())) != 0 : scan_field(field, &value);
        if (!ok) {
          copy_rest();
          break;
        }
        result += field;
        si += field.size();
        Date& fd = nm.file_date;
        switch (code.letter) {
          case 'Y': fd.year = value; break;
          case 'y': fd.year = value > 49 ? 1900 + value : 2000 + value; break;
          case 'm':
          case 'b': fd.month = value; break;
          case 'd': fd.day = value; break;
          case 'j':
            DATE_julian_monday(fd.year, value, &fd.month, &fd.day);
            fd.jday = value;
            break;
          case 'h': fd.hour = value; break;
          case 'n': fd.min = value; break;
          default: break;
        }
        match = 2;
        take_step(code.letter, code.width);
      } else if (code.letter == 'e') {
        /* The rest of the template marks where the extension ends. */
        const std::string rest = tmpl.substr(ti);
        size_t at = rest.empty() ? typed.size() : typed.find(rest, si);
        if (!nm.ext.empty()) {
          result += nm.ext;
          if (at != std::string::npos) si = at;
        } else if (at != std::string::npos) {
          nm.ext = typed.substr(si, at - si);
          result += nm.ext;
          si = at;
        } else {
          copy_rest();
          break;
        }
      } else if (code.letter == '%' || code.letter == '\0') {
        result += '%';
      } else if (const PathCode* pc = find_path_code(code.letter)) {
        if (!typed_full) {
          result += path_resource(pc->resource);
          if (ti < tmpl.size() && tmpl[ti] == '/') {
            result += '/';
            ++ti;
          }
        } else {
          size_t end = 0;
          if (dir_end(typed, count_of(tmpl, code_at, "/\\:"), &end) && end >= si) {
            result.append(typed, si, end - si);
            si = end;
          }
        }
        match = 1;
      } else {
        std::string key = key_text(code.letter, code.width);
        if (key.empty()) {
          copy_rest();
          break;
        }
        result += key;
        si = std::min(typed.size(), si + key.size());
      }
      continue;
    }
    if (c == '*') {
      copy_rest();
      break;
    }
    if (c == '{' || c == '}') {
      in_brace = c == '{';
      if (c == '}') match = 1;
      ++ti;
      continue;
    }
    if (in_brace) {
      result += c;
      ++ti;
      continue;
    }
    const bool more = si < typed.size();
    const char t = more ? typed[si] : '\0';
    if (match > 0 && more && t == c) {
      result += c;
      ++si;
      ++ti;
      if (si == typed.size()) match = 3;
    } else if ((match >= 2 && more) || (match == 0 && t != c)) {
      copy_rest();
      break;
    } else {
      result += c;
      ++ti;
      if ((match >= 2 || !typed_has_slash) && more) ++si;
    }
  }
  *out = result;
  MESS_print(kTraceNames, "FILES:%s:%s:%d\n", typed.c_str(), result.c_str(), match);
  DATE_print(M_debug, &nm.file_date);
}

} // namespace files_impl

int FILE_set_name(const char* type_in) {
  NamingState& nm = naming;
  std::string type = type_in ? type_in : "";
  nm.filename.clear();
  if (stricmp(type.c_str(), "none") == 0) {
    nm.conv.clear();
    return 0;
  }
  if (!type.empty() && type[0] == '@') {
    nm.conv = type.substr(1);
    return 1;
  }
  type = cut_key_suffixes(type);

  const char* conv_name = RES_get("name_conv");
  if (!conv_name || !*conv_name) conv_name = "name_conv";
  std::string path = FILE_add_path(RES_get("file_path"), conv_name);
  FILE* fp = FILE_is_stdio(path.c_str()) ? nullptr : FILE_open(path.c_str(), "r");
  if (!fp) {
    MESS_print(M_warn, "FILE_set_name: No file name convention file: %s\n", path.c_str());
    type_as_template(type);
    return 0;
  }
  MESS_print(kTraceConv, "Opening name convention file: %s\n", path.c_str());
  nm.ext.clear();

  std::string line;
  while (fget_text_line(fp, &line)) {
    if (!line.empty() && line[0] == '#') continue;
    std::vector<std::string> words = text_words(line);
    if (words.size() < 2) continue;
    const std::string& line_type = words[0];
    bool exact = stricmp(line_type.c_str(), type.c_str()) == 0;
    const int len = static_cast<int>(line_type.size());
    bool partial = !exact && line_type.size() < type.size() && strnicmp(type.c_str(), line_type.c_str(), len) == 0;
    if (!exact && !partial) continue;
    if (exact) {
      MESS_print(kTraceConv, "File name match for: %s\n", type.c_str());
    } else {
      size_t under = type.rfind('_');
      nm.ext = under == std::string::npos ? "" : type.substr(under + 1);
      MESS_print(kTraceConv, "File name partial match for: %s-%s ext: %s\n", type.c_str(), line_type.c_str(),
                 nm.ext.c_str());
    }
    nm.conv = words[1];
    nm.hconv = words.size() > 2 && words[2] != "-" ? words[2] : "";
    nm.min_size = 0;
    if (words.size() > 3) scan_field(words[3], &nm.min_size);
    FILE_close(fp);
    return 1;
  }
  FILE_close(fp);
  type_as_template(type);
  MESS_print(kTraceConv, "No file name conversion for: %s\n", type.c_str());
  return 0;
}

int FILE_set_date(const Date* datim, char* out_file) {
  std::string name;
  int result = set_date_impl(datim, &name);
  if (out_file) copy_out(name, out_file);
  return result;
}

int FILE_hdr_set_date(const Date* datim, char* out_file) {
  Date date = datim ? *datim : naming.file_date;
  if (date.year < 0) return 0;
  naming.header = 1;
  std::string name;
  set_date_impl(&date, &name);
  naming.header = 0;
  if (out_file) copy_out(name, out_file);
  return name.empty() ? 0 : 1;
}

int FILE_list_file() {
  std::string pattern = listing_pattern();
  MESS_print(M_debug, "SEARCH: %s\n", pattern.c_str());
  const std::vector<std::string> names = listed_names();
  if (names.empty())
    MESS_print(M_mess, "No files match: %s\n", pattern.c_str());
  else
    print_columns(names);
  return 0;
}

int FILE_set_name_conv(const char* str) {
  naming.hconv.clear();
  std::vector<std::string> words = text_words(str ? str : "");
  int step = 0;
  if (words.empty() || !scan_field(words[0], &step)) return 0;
  int result = FILE_set_late_off(step);
  if (words.size() > 1) naming.conv = words[1];
  if (words.size() > 2) naming.hconv = words[2];
  return result;
}

int FILE_get_name_conv(char* str) {
  if (!str) return -1;
  std::snprintf(str, FILE_PATH_LEN, "%d %s %s", naming.late_off, naming.conv.c_str(), naming.hconv.c_str());
  return 0;
}

/* ==== typed file names ===================================================== */

int FILE_set_file(const char* file, char* out_file) {
  std::string name;
  set_file_impl(file, &name);
  if (out_file) copy_out(name, out_file);
  return 0;
}

int FILE_extract_extra_info(char* file) {
  if (!file) return -1;
  size_t n = std::strlen(file);
  if (n <= 2) return 0;
  size_t at = std::strcspn(file + 2, "#-+:") + 2;
  if (at < n) {
    naming.ext_info = file + at;
    file[at] = '\0';
  }
  return 0;
}
