/*
 * unittool: conversion of values between units named by free texts.
 *
 * A unit text may carry a numeric factor in front ('1000 m', '10^-5 s^-1',
 * a leading minus sign); the rest is a unit name, looked up as a pair in the
 * units file "units.lup" (in the folder of the resource "file_path"), whose
 * entries give a scale and an offset:
 *
 *     C  F  *1.8+32        # input name, output name, conversion
 *
 * Names are written with "_" for blanks and compared without regard to
 * case. The surface data tools convert single values; the grid store
 * converts whole grids, so the last pair is remembered and the file is read
 * once per change of the pair. A pair that cannot be converted (no units
 * file, no entry) leaves values unchanged, with one warning per pair: a grid
 * is never turned into zeros or scaled by a guess.
 *
 * The module also rewrites the factor of a unit text (UNIT_scale) and splits
 * and rewrites labels of the form 'name (units)'.
 */
#include "kez.h"

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr M_type kTrace = 0x40000000;
constexpr int kLabelNameMax = 49; /* characters of a label's name kept by UNIT_change */

/* The last pair of unit texts converted and what it converts with. */
struct UnitPair {
  bool set = false;
  std::string in, out;     /* the whole unit texts, "_" read as blanks */
  bool convertible = true; /* false: values pass unchanged */
  double in_factor = 1.0, out_factor = 1.0;
  double scale = 1.0, offset = 0.0;
};

struct UnitState {
  UnitPair last;
};

UnitState state;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

/* A decimal number at the start of text (optional sign, digits with at most
 * one point, optional exponent with digits); its length, 0 for none. Only
 * decimal forms count, so that names such as 'nanometre' or 'infinity'
 * are never read as numbers. */
size_t number_length(const std::string& text, size_t from, double* value) {
  size_t i = from;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  bool digits = false, point = false;
  while (i < text.size() && (is_digit(text[i]) || (text[i] == '.' && !point))) {
    if (text[i] == '.')
      point = true;
    else
      digits = true;
    ++i;
  }
  if (!digits) return 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    if (j < text.size() && is_digit(text[j])) {
      while (j < text.size() && is_digit(text[j])) ++j;
      i = j;
    }
  }
  *value = std::strtod(text.substr(from, i - from).c_str(), nullptr);
  return i - from;
}

size_t skip_blanks(const std::string& text, size_t i) {
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  return i;
}

/* The numeric factor in front of a unit text and the text after it. */
struct Factor {
  double value = 1.0;
  std::string rest;
};

Factor take_factor(const std::string& text, const char* who) {
  Factor f;
  double a = 0.0, b = 0.0;
  const size_t na = number_length(text, 0, &a);
  if (na > 0 && na < text.size() && text[na] == '^') {
    const size_t nb = number_length(text, na + 1, &b);
    if (nb > 0) {
      f.value = std::pow(a, b);
      f.rest = text.substr(skip_blanks(text, na + 1 + nb));
      MESS_print(kTrace, "%s^: %f^%f %f %s\n", who, a, b, f.value, f.rest.c_str());
      return f;
    }
  }
  if (na > 0) {
    f.value = a;
    f.rest = text.substr(skip_blanks(text, na));
    MESS_print(kTrace, "%s: %f %s\n", who, f.value, f.rest.c_str());
  } else if (!text.empty() && text[0] == '-') {
    f.value = -1.0;
    f.rest = text.substr(skip_blanks(text, 1));
    MESS_print(kTrace, "%s-: %f %s\n", who, f.value, f.rest.c_str());
  } else {
    f.rest = text;
  }
  return f;
}

/* A unit text as compared: "_" read as a blank, outer blanks dropped. */
std::string unit_text(const char* unit) {
  std::string s = unit ? unit : "";
  for (char& c : s)
    if (c == '_') c = ' ';
  const size_t first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const size_t last = s.find_last_not_of(" \t");
  return s.substr(first, last - first + 1);
}

/* A unit name as the units file writes it: blanks as "_". */
std::string file_name(std::string name) {
  for (char& c : name)
    if (c == ' ') c = '_';
  return name;
}

bool same(const std::string& a, const std::string& b) { return stricmp(a.c_str(), b.c_str()) == 0; }

struct FileCloser {
  void operator()(FILE* fp) const { FILE_close(fp); }
};
using File = std::unique_ptr<FILE, FileCloser>;

/* Reads whitespace-separated tokens, telling whether a token ended its
 * line, so that a comment can take the rest of its line. */
class TokenReader {
 public:
  explicit TokenReader(FILE* fp) : fp_(fp) {}

  /* The next token; false at the end of the file. */
  bool next(std::string& token) {
    token.clear();
    int c;
    while ((c = std::getc(fp_)) != EOF && std::isspace(c)) {
    }
    if (c == EOF) return false;
    do {
      token += static_cast<char>(c);
    } while ((c = std::getc(fp_)) != EOF && !std::isspace(c));
    ended_line_ = (c == '\n' || c == EOF);
    return true;
  }

  void skip_line() {
    if (ended_line_) return;
    int c;
    while ((c = std::getc(fp_)) != EOF && c != '\n') {
    }
    ended_line_ = true;
  }

 private:
  FILE* fp_;
  bool ended_line_ = true;
};

/* A conversion token: optionally "*" and a scale, then optionally "+" or
 * "-" and an offset, and nothing else. */
bool parse_conversion(const std::string& token, double* scale, double* offset) {
  *scale = 1.0;
  *offset = 0.0;
  size_t i = 0;
  if (i < token.size() && token[i] == '*') {
    double v = 0.0;
    const size_t n = number_length(token, i + 1, &v);
    if (n == 0) return false;
    *scale = v;
    i += 1 + n;
    MESS_print(kTrace, "SC: %f %s\n", *scale, token.c_str());
  }
  if (i < token.size() && (token[i] == '+' || token[i] == '-')) {
    const bool negative = token[i] == '-';
    double v = 0.0;
    const size_t n = number_length(token, i + 1, &v);
    if (n == 0 || token[i + 1] == '+' || token[i + 1] == '-') return false;
    *offset = negative ? -v : v;
    i += 1 + n;
    MESS_print(kTrace, negative ? "OF-: %f %s\n" : "OF: %f %s\n", *offset, token.c_str());
  }
  return i == token.size() && std::isfinite(*scale) && std::isfinite(*offset);
}

enum class Lookup { found, absent, bad_entry };

/* Looks the pair of names up in the units file; the first matching entry
 * counts. */
Lookup find_entry(FILE* fp, const std::string& path, const std::string& iname, const std::string& oname, double* scale,
                  double* offset) {
  TokenReader reader(fp);
  std::string in, out, cvt;
  while (reader.next(in)) {
    if (in[0] == '#') {
      reader.skip_line();
      continue;
    }
    if (!reader.next(out) || !reader.next(cvt)) {
      MESS_print(M_warn, "UNIT_cvt: Incomplete entry at the end of %s: %s\n", path.c_str(), in.c_str());
      return Lookup::absent;
    }
    if (!same(in, iname) || !same(out, oname)) continue;
    if (!parse_conversion(cvt, scale, offset)) {
      MESS_print(M_error, "UNIT_cvt: Bad conversion in %s: %s %s %s\n", path.c_str(), in.c_str(), out.c_str(),
                 cvt.c_str());
      return Lookup::bad_entry;
    }
    MESS_print(kTrace, "%s %s %s %f %f\n", in.c_str(), out.c_str(), cvt.c_str(), *scale, *offset);
    return Lookup::found;
  }
  return Lookup::absent;
}

/* Works out how a pair converts, reading the units file. */
UnitPair resolve(const std::string& in, const std::string& out) {
  UnitPair pair;
  pair.set = true;
  pair.in = in;
  pair.out = out;
  const Factor fi = take_factor(in, "ISC");
  const Factor fo = take_factor(out, "OSC");
  pair.in_factor = fi.value;
  pair.out_factor = fo.value;
  const std::string iname = file_name(fi.rest), oname = file_name(fo.rest);
  if (fo.value == 0.0 || !std::isfinite(fo.value) || !std::isfinite(fi.value)) {
    MESS_print(M_warn, "UNIT_cvt: Bad unit factor in %s or %s\n", in.c_str(), out.c_str());
    pair.convertible = false;
    return pair;
  }
  if (same(iname, oname)) return pair; /* only the factors differ */

  const char* dir = RES_get("file_path");
  const std::string path = FILE_add_path(dir, "units.lup");
  File fp(FILE_open(path.c_str(), "r"));
  if (!fp) {
    MESS_print(M_warn, "UNIT_cvt: Unable to open units file: %s; %s to %s left unconverted\n", path.c_str(), in.c_str(),
               out.c_str());
    pair.convertible = false;
    return pair;
  }
  switch (find_entry(fp.get(), path, iname, oname, &pair.scale, &pair.offset)) {
    case Lookup::found: break;
    case Lookup::absent:
      MESS_print(M_warn, "UNIT_cvt: No conversion from %s to %s in %s; values left unconverted\n", iname.c_str(),
                 oname.c_str(), path.c_str());
      pair.convertible = false;
      break;
    case Lookup::bad_entry: pair.convertible = false; break;
  }
  return pair;
}

} // namespace

namespace {

/* The double nearest the shortest decimal text that reads back as value. */
double decimal_of(float value) {
  char text[64];
  const auto res = std::to_chars(text, text + sizeof text - 1, value);
  if (res.ec != std::errc()) return static_cast<double>(value);
  *res.ptr = '\0';
  return std::strtod(text, nullptr);
}

} // namespace

float UNIT_cvt(float value, const char* iunit, const char* ounit) {
  if (value == KEZ_FMISS) return value;
  /* The same text is the same unit: a station plot asks so for every datum. */
  if (iunit && ounit && std::strcmp(iunit, ounit) == 0) return value;
  const std::string in = unit_text(iunit), out = unit_text(ounit);
  if (same(in, out) || (!in.empty() && out.empty())) return value;

  /* The remembered pair is keyed on the whole texts, factors included. */
  UnitPair& last = state.last;
  if (!last.set || !same(last.in, in) || !same(last.out, out)) last = resolve(in, out);
  if (!last.convertible) return value;
  /* The value stands for its shortest decimal (273.15, not 273.149994):
   * the sum is then made in double and rounded to float once, and a result
   * that only the input's own rounding keeps from zero is zero. */
  const double term = last.in_factor * decimal_of(value) * last.scale;
  double v = last.offset + term;
  if (std::fabs(v) <= std::max(std::fabs(term), std::fabs(last.offset)) * FLT_EPSILON) v = 0.0;
  return static_cast<float>(v / last.out_factor);
}

int UNIT_scale(const char* in, float scale, const char* mstr, char* out) {
  if (!out) return -1;
  const std::string text = in ? in : "";
  const Factor f = take_factor(text, "SC-ISC");
  const double product = f.value * static_cast<double>(scale);
  char number[64];
  std::snprintf(number, sizeof number, "%.0e", product);
  const std::string result = std::string(number) + " " + f.rest + (mstr ? mstr : "");
  MESS_print(kTrace, "SC: %s %e = %e = %s %s = %s\n", text.c_str(), static_cast<double>(scale), product, number,
             f.rest.c_str(), result.c_str());
  std::memcpy(out, result.c_str(), result.size() + 1);
  return 0;
}

namespace {

/* A label 'name (units)': the name before the first "(" without trailing
 * blanks, and the units up to the next ")". */
void split_label(const std::string& label, std::string& name, std::string& units) {
  name.clear();
  units.clear();
  const size_t open = label.find('(');
  if (open == 0) return;
  name = label.substr(0, open);
  const size_t last = name.find_last_not_of(" \t");
  name.erase(last == std::string::npos ? 0 : last + 1);
  if (open == std::string::npos) return;
  const size_t close = label.find(')', open + 1);
  units = label.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
}

} // namespace

int UNIT_parse(const char* str, char* var, char* units) {
  std::string name, unit;
  split_label(str ? str : "", name, unit);
  if (var) std::memcpy(var, name.c_str(), name.size() + 1);
  if (units) std::memcpy(units, unit.c_str(), unit.size() + 1);
  MESS_print(kTrace, "%s = %s %s\n", str ? str : "", name.c_str(), unit.c_str());
  return 0;
}

int UNIT_change(char* str, const char* units) {
  if (!str) return -1;
  std::string name, old_units;
  split_label(str, name, old_units);
  if (name.size() > static_cast<size_t>(kLabelNameMax)) name.resize(static_cast<size_t>(kLabelNameMax));
  const std::string label = name + " (" + (units ? units : "") + ")";
  std::memcpy(str, label.c_str(), label.size() + 1);
  return 0;
}
