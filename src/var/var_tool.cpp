/*
 * var_tool: variable records, the variable-string parser, the codes of
 * time, level and plot type, and the variable tables of the suite.
 *
 * A variable string ('12:500mb:temp:F:cont:lc=2,g{a,b},grad(hght)') becomes
 * a table of at most VAR_MAX_RECORDS records, in the order written. Names
 * expand from the program's definition file ("%s.var"); what an item leaves
 * unsaid (time, level, plot type) comes from the item that encloses it
 * through a stack of VAR_STACK_DEPTH entries, and at the outermost level
 * from the process flags. Function, group and vector headers are records
 * followed by their members; option brackets '[units:type:options]' apply
 * to the record before them. Every data, grid and plotting component reads
 * the table afterwards.
 *
 * Guarantees on hostile text: nothing is written outside the table, the
 * stack or a record's fields; nesting deeper than the stack, definitions
 * that expand into each other, lists longer than the table and codes that
 * do not fit their digits are refused with a warning, never cut silently.
 *
 * The tables: "variable.lup" (parameter numbers, abbreviation, description)
 * is read once on first use (again when "file_path" comes to name another
 * file); "mod_name.lup" (model names, lines 'source:model
 * name' or 'model name', comments after "#", a line without a source serving
 * every source) is read whole on its first successful use, and again when
 * "file_path" comes to name another file. All files are
 * found under the "file_path" resource; a table that cannot be opened is
 * tried again on the next use.
 */
#include "kez.h"
#include "var_tool_impl.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

using namespace var_tool_impl;

namespace var_tool_impl {

/* The calculator's name tests, set from a higher layer (src/hooks.cpp).
 * Constant-initialised, so that no module's start-up can undo the
 * registration. */
constinit FuncTests func_tests;

VarToolState state;

/* ---- small text helpers ---- */

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_digit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

bool iequal(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

bool istarts(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && iequal(s.substr(0, prefix.size()), prefix);
}

/* Cuts a text at a delimiter: empty fields stay, trailing delimiters make
 * no fields, an empty text has none. */
std::vector<std::string> split_fields(std::string_view s, char delim) {
  std::vector<std::string> out;
  while (!s.empty() && s.back() == delim) s.remove_suffix(1);
  if (s.empty()) return out;
  size_t from = 0;
  for (;;) {
    size_t at = s.find(delim, from);
    out.emplace_back(s.substr(from, at == std::string_view::npos ? std::string_view::npos : at - from));
    if (at == std::string_view::npos) break;
    from = at + 1;
  }
  return out;
}

/* Copies text into a record field of width len (characters), saying so
 * when it has to cut. */
void set_field(char* field, size_t len, std::string_view text, const char* who, const char* what) {
  if (text.size() > len) {
    MESS_print(VAR_WARN, "%s: %s longer than %zu characters cut: %.*s\n", who, what, len,
               static_cast<int>(std::min<size_t>(text.size(), 200)), text.data());
    text = text.substr(0, len);
  }
  std::memcpy(field, text.data(), text.size());
  field[text.size()] = '\0';
}

/* An unsigned integer at the start of s: its value (capped far above any
 * code) and the digits read; 0 digits when there is none. */
size_t read_uint(std::string_view s, long long* value) {
  size_t i = 0;
  long long v = 0;
  while (i < s.size() && is_digit(s[i])) {
    if (v < 1000000000000LL) v = v * 10 + (s[i] - '0');
    ++i;
  }
  *value = v;
  return i;
}

/* A decimal number at the start of s (sign, digits, fraction, exponent
 * only when digits follow the "e"); the characters read, 0 for none. */
size_t read_real(std::string_view s, double* value) {
  size_t i = 0;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
  size_t digits = 0;
  while (i < s.size() && is_digit(s[i])) ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && is_digit(s[i])) ++i, ++digits;
  }
  if (digits == 0) return 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    size_t j = i + 1;
    if (j < s.size() && (s[j] == '-' || s[j] == '+')) ++j;
    if (j < s.size() && is_digit(s[j])) {
      while (j < s.size() && is_digit(s[j])) ++j;
      i = j;
    }
  }
  std::string text(s.substr(0, i));
  *value = std::strtod(text.c_str(), nullptr);
  return i;
}

/* Reads one line of any length, keeping at most kMaxLine characters and no
 * line end or carriage return; false at the end of the file. */
bool read_line(FILE* fp, std::string* line, bool* cut) {
  line->clear();
  *cut = false;
  bool any = false;
  int c;
  while ((c = std::getc(fp)) != EOF) {
    any = true;
    if (c == '\n') break;
    if (c == '\r') continue;
    if (line->size() < kMaxLine)
      *line += static_cast<char>(c);
    else
      *cut = true;
  }
  return any;
}

/* ---- the parser's inheritance ---- */

const StackEntry* stack_top() {
  return state.base_ind >= 0 && state.base_ind < VAR_STACK_DEPTH ? &state.base[state.base_ind] : nullptr;
}

/* Refuses the current item when a decoder refused one of its fields. */
int refuse(const char* who, const char* why, std::string_view text) {
  MESS_print(VAR_WARN, "%s: %s: %.*s\n", who, why, static_cast<int>(std::min<size_t>(text.size(), 200)), text.data());
  state.refused = true;
  return -1;
}

const VAR_data* record_at(int ind) {
  return ind >= 0 && ind < VAR_MAX_RECORDS ? &state.var[static_cast<size_t>(ind)] : nullptr;
}

} // namespace var_tool_impl

namespace {

/* Removes every backslash, keeping the character after it. */
std::string unescape(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\') {
      if (++i == s.size()) break;
    }
    out += s[i];
  }
  return out;
}
std::string join_fields(const std::vector<std::string>& f, size_t from) {
  std::string out;
  for (size_t i = from; i < f.size(); ++i) {
    if (i > from) out += ':';
    out += f[i];
  }
  return out;
}

struct ItemWord {
  const char* word;
  int type;
};

/* Items that are no variables: map, station-model plot, frame and panel. */
constexpr ItemWord kItemWords[] = {
    {"map", VAR_TYPE_MAP}, {"plot", VAR_TYPE_PLOT}, {"frame", VAR_TYPE_FRAME}, {"panel", VAR_TYPE_PANEL}};

/* Pushes and pops pair up, so entry 0 of a parse is never popped. */
void stack_pop() {
  if (state.base_ind >= 0) --state.base_ind;
}

void abort_list(const char* who, const char* why, std::string_view text) {
  if (!state.abort)
    MESS_print(VAR_WARN, "%s: %s, the rest of the list is dropped: %.*s\n", who, why,
               static_cast<int>(std::min<size_t>(text.size(), 200)), text.data());
  state.abort = true;
}
/* The first bracket of a pair that closes the one opened at position at;
 * escaped brackets do not count. npos when the text ends first. */
size_t matching_close(std::string_view s, size_t at, char open, char close) {
  int depth = 1;
  for (size_t i = at + 1; i < s.size(); ++i) {
    if (s[i - 1] == '\\') continue;
    if (s[i] == open) ++depth;
    if (s[i] == close && --depth == 0) return i;
  }
  return std::string_view::npos;
}

/* The options of a bracket applied to a record at function depth 0. */
void apply_options(VAR_data* rec, const std::string& inside) {
  std::vector<std::string> f = split_fields(inside, ':');
  size_t k = 0;
  if (rec->flag != VAR_KIND_ITEM && k < f.size()) {
    set_field(rec->units, VAR_UNITS_LEN, f[k], "VAR_process", "Units");
    ++k;
  }
  if (k < f.size()) {
    int t = VAR_dec_type(f[k].c_str());
    if (t >= 0) {
      int forced = FLAG_get(kFlagPlotType);
      if (forced == KEZ_MISS || forced == VAR_TYPE_NONE) rec->type = t;
      ++k;
    }
  }
  set_field(rec->format, VAR_FORMAT_LEN, join_fields(f, k), "VAR_process", "Options");
}

bool record_named(int ind) {
  return ind >= 0 && ind < VAR_MAX_RECORDS && state.var[static_cast<size_t>(ind)].name[0] != '\0';
}

/* Decodes one item at a separator and advances the count when it made a
 * record. */
void take_item(std::string_view item) {
  if (state.abort || item.empty()) return;
  if (state.varnum >= VAR_MAX_RECORDS) {
    abort_list("VAR_process", "More than 60 variables", item);
    return;
  }
  std::string text(item);
  MESS_print(VAR_TRACE, "Variable %s\n", text.c_str());
  VAR_process_var(text.c_str(), 1);
  if (record_named(state.varnum)) ++state.varnum;
}

/* Skips a bracket pair that cannot be taken; false when it is unclosed. */
bool skip_bracket(std::string_view s, size_t* i, char open, char close, const char* why) {
  size_t j = matching_close(s, *i, open, close);
  MESS_print(VAR_WARN, "VAR_process: %s: %.*s\n", why, static_cast<int>(std::min<size_t>(s.size(), 200)), s.data());
  if (j == std::string_view::npos) return false;
  *i = j;
  return true;
}

/* A header bracket '(', '{' or '<' at position i; false when the span
 * ends here. */
bool take_header(std::string_view s, size_t* i, size_t start) {
  char open = s[*i];
  char close = open == '(' ? ')' : open == '{' ? '}' : '>';
  const char* unmatched = open == '(' ? "Unmatched ()\n" : open == '{' ? "Unmatched {}\n" : "Unmatched <>\n";
  std::string header(s.substr(start, *i - start));
  if (header.empty()) return skip_bracket(s, i, open, close, "No name before the bracket");
  if (open != '(' && state.vlevel > 0) return skip_bracket(s, i, open, close, "Groups and vectors do not nest");
  if (state.varnum >= VAR_MAX_RECORDS) {
    abort_list("VAR_process", "More than 60 variables", s.substr(start));
    return false;
  }
  int hdr = state.varnum;
  VAR_data& rec = state.var[static_cast<size_t>(hdr)];
  if (VAR_process_var(header.c_str(), 0) < 0 || state.abort) {
    VAR_data_init(&rec);
    return !state.abort && skip_bracket(s, i, open, close, "Header refused");
  }
  int kind = open == '(' ? VAR_KIND_FUNC : open == '{' ? VAR_KIND_COMP : VAR_KIND_VECT;
  rec.flag = state.plevel * 10 + kind;
  if (VAR_base_push() < 0) {
    VAR_data_init(&rec);
    abort_list("VAR_process", "Nested deeper than the stack", s.substr(start));
    return false;
  }
  ++state.varnum;
  if (open == '(' && func_tests.vect_func && func_tests.vect_func(rec.name)) {
    if (state.varnum >= VAR_MAX_RECORDS) {
      --state.varnum;
      VAR_data_init(&rec);
      stack_pop();
      abort_list("VAR_process", "More than 60 variables", s.substr(start));
      return false;
    }
    MESS_print(VAR_TRACE, "VECT FUNC: %s\n", rec.name);
    VAR_data& second = state.var[static_cast<size_t>(state.varnum)];
    second = rec;
    second.flag = state.plevel * 10 + VAR_KIND_FUNC_VECT;
    ++state.varnum;
  }
  size_t j = matching_close(s, *i, open, close);
  if (j == std::string_view::npos) {
    MESS_print(VAR_TRACE | VAR_WARN, "%s", unmatched);
    stack_pop();
    return false;
  }
  std::string inside(s.substr(*i + 1, j - *i - 1));
  const char* fmt = open == '(' ? "Function %s ( %s )\n" : open == '{' ? "Group %s { %s }\n" : "Vector %s < %s >\n";
  MESS_print(VAR_TRACE, fmt, rec.name, inside.c_str());
  int& depth = open == '(' ? state.plevel : state.vlevel;
  ++depth;
  VAR_process(inside.c_str());
  --depth;
  stack_pop();
  *i = j;
  return true;
}

int kind_of(const VAR_data* d) { return d ? d->flag % 10 : -1; }
bool type_in(const VAR_data* d, int lo, int hi) { return d && d->type >= lo && d->type <= hi; }

} // namespace

/* ------------------------------------------------------------------------ */
/* Records and the parser                                                   */
/* ------------------------------------------------------------------------ */

int VAR_set_func_tests(VAR_name_test vect_func, VAR_name_test math_func) {
  func_tests.vect_func = vect_func;
  func_tests.math_func = math_func;
  return 0;
}

int VAR_data_init(VAR_data* data) {
  if (!data) return -1;
  data->type = KEZ_MISS;
  data->name[0] = '\0';
  data->units[0] = '\0';
  for (int& v : data->var) v = KEZ_MISS;
  data->tstat = 0;
  data->time = KEZ_MISS;
  data->lstat = 0;
  data->ltype = KEZ_MISS;
  data->level = KEZ_MISS;
  data->format[0] = '\0';
  data->flag = 0;
  return 0;
}

int VAR_init() {
  for (VAR_data& d : state.var) VAR_data_init(&d);
  return 0;
}

int VAR_copy(VAR_data* dat2, const VAR_data* dat1) {
  if (!dat2 || !dat1) return -1;
  *dat2 = *dat1;
  dat2->type = 0;
  dat2->format[0] = '\0';
  dat2->units[0] = '\0';
  return 0;
}

int VAR_reset() {
  state.varnum = 0;
  return 0;
}

int VAR_get_num() { return state.varnum; }

int VAR_set_num(int num) {
  if (num < 0 || num > VAR_MAX_RECORDS) return -1;
  state.varnum = num;
  return 0;
}

VAR_data* VAR_get_vars() { return state.var.data(); }

VAR_data* VAR_get_var(int ind) {
  return ind >= 0 && ind < VAR_MAX_RECORDS ? &state.var[static_cast<size_t>(ind)] : nullptr;
}

int VAR_set_def_type(int val) {
  state.def_type = val;
  return 0;
}

int VAR_base_push() {
  if (state.base_ind + 1 >= VAR_STACK_DEPTH || state.varnum >= VAR_MAX_RECORDS) return -1;
  const VAR_data& d = state.var[static_cast<size_t>(state.varnum)];
  ++state.base_ind;
  state.base[static_cast<size_t>(state.base_ind)] = {d.type, d.time, d.tstat, d.ltype, d.level, d.lstat};
  MESS_print(VAR_TRACE, "VAR_base_push: %d = %d %d %d %d %d\n", state.base_ind, d.type, d.tstat, d.time, d.lstat,
             d.ltype);
  return 0;
}

int VAR_setup(const char* filename, const char* var_str) {
  VAR_param_decode();
  VAR_init();
  /* The caller's text stays as it is: "fi:" is read from a copy. */
  std::string list = var_str ? var_str : "";
  bool open = filename != nullptr;
  std::string file = filename ? filename : "";
  if (list.compare(0, 3, "fi:") == 0) {
    size_t colon = list.find(':', 3);
    if (colon == std::string::npos) {
      MESS_print(VAR_WARN, "VAR_setup: No variable string after the file name: %s\n", list.c_str());
      state.varnum = 0;
      return 0;
    }
    file = list.substr(3, colon - 3);
    list.erase(0, colon + 1);
    open = true;
  }
  if (open) VAR_open_file(file.c_str());

  state.varnum = 0;
  state.plevel = 0;
  state.vlevel = 0;
  state.abort = false;
  state.refused = false;
  state.expansions = 0;
  for (StackEntry& e : state.base) e = {KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS};
  state.base_ind = -1;
  StackEntry& top = state.base[0];
  top.type = FLAG_get(kFlagPlotType);
  top.tstat = VAR_dec_time("", &top.time);
  top.lstat = VAR_dec_level("", &top.ltype, &top.level);
  state.base_ind = 0;

  VAR_init();
  VAR_process(list.c_str());

  for (int i = 0; i < state.varnum; ++i) {
    if (MESS_check(VAR_TRACE)) {
      MESS_print(VAR_TRACE, "Var: %d -- ", i);
      VAR_print(VAR_TRACE, &state.var[static_cast<size_t>(i)]);
    }
  }
  state.base_ind = -1;
  state.plevel = 0;
  state.vlevel = 0;
  state.abort = false;
  if (state.varnum == 0) {
    MESS_print(VAR_TRACE, "Unable to determine variables\n");
    return 0;
  }
  return 1;
}

int VAR_process(const char* str) {
  if (!str) return 0;
  std::string_view s(str);
  size_t start = 0;
  int target = -1; /* the record the next option bracket applies to */
  for (size_t i = 0; i < s.size() && !state.abort; ++i) {
    char c = s[i];
    if (i > 0 && s[i - 1] == '\\') continue;
    if (c == '(' || c == '{' || c == '<') {
      int hdr = state.varnum;
      if (!take_header(s, &i, start)) return 0;
      if (hdr < state.varnum) target = hdr;
      start = i + 1;
    } else if (c == '[') {
      if (i > start) {
        if (state.varnum >= VAR_MAX_RECORDS) {
          abort_list("VAR_process", "More than 60 variables", s.substr(start));
          return 0;
        }
        target = state.varnum;
        std::string item(s.substr(start, i - start));
        VAR_process_var(item.c_str(), 1);
        if (record_named(state.varnum)) {
          ++state.varnum;
        } else {
          target = -1; /* the item was refused or has no name */
        }
      }
      size_t j = s.find(']', i + 1);
      while (j != std::string_view::npos && s[j - 1] == '\\') j = s.find(']', j + 1);
      if (j == std::string_view::npos) {
        MESS_print(VAR_TRACE | VAR_WARN, "Unmatched []\n");
        return 0;
      }
      std::string inside = unescape(s.substr(i + 1, j - i - 1));
      MESS_print(VAR_TRACE, "Parameter [ %s ]\n", inside.c_str());
      if (state.plevel == 0) {
        if (target < 0 || target >= VAR_MAX_RECORDS)
          MESS_print(VAR_WARN, "VAR_process: No variable before the options: [%s]\n", inside.c_str());
        else
          apply_options(&state.var[static_cast<size_t>(target)], inside);
      }
      i = j;
      start = j + 1;
    } else if (c == ',') {
      take_item(s.substr(start, i - start));
      start = i + 1;
    }
  }
  if (!state.abort && start < s.size()) take_item(s.substr(start));
  return 0;
}

int VAR_process_var(const char* str, int flag) {
  if (!str) return -1;
  if (state.varnum < 0 || state.varnum >= VAR_MAX_RECORDS) {
    abort_list("VAR_process_var", "More than 60 variables", str);
    return -1;
  }
  const int ind = state.varnum;
  VAR_data& rec = state.var[static_cast<size_t>(ind)];
  std::vector<std::string> f = split_fields(unescape(str), ':');
  MESS_print(VAR_TRACE, "VAR_process_var:%d:%d:%s:\n", state.plevel, ind, str);
  state.refused = false;
  auto refused = [&]() {
    VAR_data_init(&rec);
    state.refused = false;
    return -1;
  };
  if (f.empty()) return 0;

  size_t k = 0;
  for (const ItemWord& w : kItemWords) {
    if (iequal(f[0], w.word)) {
      set_field(rec.name, VAR_NAME_LEN, w.word, "VAR_process_var", "Name");
      rec.type = w.type;
      rec.flag = VAR_KIND_ITEM;
      k = 1;
      break;
    }
  }
  if (k == 0) {
    int time = rec.time;
    int tstat = f.size() > 2 ? VAR_dec_time(f[0].c_str(), &time) : 0;
    if (tstat < 0) return refused();
    if (tstat != 0) {
      int ltype = rec.ltype, level = rec.level;
      int lstat = VAR_dec_level(f[1].c_str(), &ltype, &level);
      if (lstat < 0) return refused();
      rec.time = time;
      rec.tstat = tstat;
      rec.ltype = ltype;
      rec.level = level;
      rec.lstat = lstat;
      k = 2;
    } else {
      if (rec.time == KEZ_MISS) rec.tstat = VAR_dec_time("", &rec.time);
      if (rec.ltype == KEZ_MISS) rec.lstat = VAR_dec_level("", &rec.ltype, &rec.level);
    }

    const std::string& field = f[k];
    const int plain_flag = state.plevel * 10 + std::min(state.vlevel, 9);
    std::string cut = field.substr(0, VAR_NAME_LEN);
    if (!field.empty() && field[0] == '+') {
      rec.flag = plain_flag;
      VAR_dec_var(field.c_str() + 1, &rec);
    } else if (flag == 1 && cut != rec.name) {
      std::memcpy(rec.name, cut.c_str(), cut.size() + 1);
      int t = VAR_dec_type(field.c_str());
      if (t >= 0) rec.type = t;
      std::string def;
      if (VAR_lookup(field.c_str(), &def)) {
        if (field.size() > cut.size()) set_field(rec.name, VAR_NAME_LEN, field, "VAR_process_var", "Name");
        if (++state.expansions > kMaxExpansions) {
          VAR_data_init(&rec);
          abort_list("VAR_process_var", "Too many definitions expanded", field);
          return -1;
        }
        if (VAR_base_push() < 0) {
          VAR_data_init(&rec);
          abort_list("VAR_process_var", "Definitions nested deeper than the stack", field);
          return -1;
        }
        VAR_process(def.c_str());
        stack_pop();
        if (state.abort) return -1;
      } else {
        rec.flag = plain_flag;
        VAR_dec_var(field.c_str(), &rec);
      }
    } else {
      rec.flag = plain_flag;
      VAR_dec_var(field.c_str(), &rec);
    }
    if (state.refused) return refused();
    ++k;
    if (k < f.size()) VAR_dec_units(f[k++].c_str(), &rec);
  }
  if (k < f.size()) {
    int t = VAR_dec_type(f[k].c_str());
    if (t >= 0) {
      rec.type = t;
      ++k;
    }
  }
  if (k < f.size()) set_field(rec.format, VAR_FORMAT_LEN, join_fields(f, k), "VAR_process_var", "Options");
  return 0;
}

int VAR_lookup(const char* name, std::string* def) {
  MESS_print(VAR_TRACE, "VAR_lookup: %s\n", name ? name : "");
  if (!name || !*name || !def || !state.def_open) return 0;
  size_t i = 0;
  DefEntry e;
  while (read_def_entry(&i, &e)) {
    if (e.abbr != name) continue;
    if (e.too_long) {
      MESS_print(VAR_WARN, "VAR_lookup: Definition of %s longer than %zu characters, not used\n", name, kMaxDefinition);
      return 0;
    }
    *def = e.def;
    return 1;
  }
  MESS_print(VAR_TRACE, "VAR_lookup: not found\n");
  return 0;
}

/* ------------------------------------------------------------------------ */
/* Accessors and predicates                                                 */
/* ------------------------------------------------------------------------ */

const char* VAR_get_name(int ind) { return record_at(ind) ? record_at(ind)->name : ""; }
const char* VAR_get_units(int ind) { return record_at(ind) ? record_at(ind)->units : ""; }
const char* VAR_get_format(int ind) { return record_at(ind) ? record_at(ind)->format : ""; }
int VAR_get_type(int ind) { return record_at(ind) ? record_at(ind)->type : KEZ_MISS; }
int VAR_get_time(int ind) { return record_at(ind) ? record_at(ind)->time : KEZ_MISS; }
int VAR_get_flag(int ind) { return record_at(ind) ? record_at(ind)->flag : KEZ_MISS; }

const char* VAR_get_level_key(int ind) {
  const VAR_data* d = record_at(ind);
  if (!d) return "";
  std::snprintf(state.level_key, sizeof state.level_key, "%d", d->level);
  return state.level_key;
}

const char* VAR_get_time_key(int ind) {
  const VAR_data* d = record_at(ind);
  if (!d) return "";
  std::snprintf(state.time_key, sizeof state.time_key, "%d", d->time);
  return state.time_key;
}

int VAR_set_type(int ind, int val) {
  if (!record_at(ind)) return 0;
  state.var[static_cast<size_t>(ind)].type = val;
  return 1;
}

int VAR_set_flag(int ind, int val) {
  if (!record_at(ind)) return 0;
  state.var[static_cast<size_t>(ind)].flag = val;
  return 1;
}

int VAR_is_REG(int ind) { return kind_of(record_at(ind)) == VAR_KIND_REG; }
int VAR_is_SUBREG(int ind) { return kind_of(record_at(ind)) == VAR_KIND_SUBREG; }
int VAR_is_FUNC(int ind) { return kind_of(record_at(ind)) == VAR_KIND_FUNC; }
int VAR_is_SUBFUNC(int ind) { return kind_of(record_at(ind)) == VAR_KIND_SUBFUNC; }
int VAR_is_COMP(int ind) { return kind_of(record_at(ind)) == VAR_KIND_COMP; }
int VAR_is_VECT(int ind) { return kind_of(record_at(ind)) == VAR_KIND_VECT; }
int VAR_is_SUBFUNC_VECT(int ind) { return kind_of(record_at(ind)) == VAR_KIND_SUBFUNC_VECT; }

int VAR_is_FUNC_VECT(int ind) {
  int kind = kind_of(record_at(ind));
  /* After the table's last record there is no next record: kind 0. */
  return kind == VAR_KIND_FUNC_VECT || (kind == VAR_KIND_FUNC && kind_of(record_at(ind + 1)) == VAR_KIND_FUNC_VECT);
}

int VAR_is_CALC(int ind) {
  int kind = kind_of(record_at(ind));
  return kind == VAR_KIND_REG || kind == VAR_KIND_SUBREG;
}

int VAR_is_SUBCALC(int ind) { return VAR_is_CALC(ind); }

int VAR_is_LABEL(int ind) {
  const VAR_data* d = record_at(ind);
  return d && (d->flag == 0 || d->flag == VAR_KIND_FUNC || d->flag == VAR_KIND_COMP || d->flag == VAR_KIND_VECT);
}

int VAR_is_PLOT(int ind) {
  const VAR_data* d = record_at(ind);
  return d && d->flag < VAR_KIND_COMP;
}

int VAR_is_SUBPLOT(int ind) {
  const VAR_data* d = record_at(ind);
  return d && (d->flag < VAR_KIND_SUBFUNC || d->flag == 10);
}

int VAR_is_DATA(int ind) {
  const VAR_data* d = record_at(ind);
  return d && d->flag <= 10 && !type_in(d, VAR_TYPE_WIND, VAR_TYPE_STRM);
}

int VAR_is_plot_VECT(int ind) { return VAR_get_flag(ind) <= 9 && VAR_is_VECT(ind); }
int VAR_is_plot_FUNC(int ind) { return VAR_get_flag(ind) <= 9 && VAR_is_FUNC(ind); }
int VAR_is_plot_FUNC_VECT(int ind) { return VAR_get_flag(ind) <= 9 && VAR_is_FUNC_VECT(ind); }
int VAR_is_plot_PLOT(int ind) { return VAR_is_PLOT(ind) && VAR_is_type_PLOT(ind); }
int VAR_is_plot_GRID(int ind) { return VAR_is_PLOT(ind) && type_in(record_at(ind), VAR_TYPE_GRID, VAR_TYPE_STRM); }

int VAR_is_subplot_GRID(int ind) {
  return VAR_is_SUBPLOT(ind) && type_in(record_at(ind), VAR_TYPE_CONT, VAR_TYPE_STRM);
}

int VAR_is_type_MAP(int ind) { return type_in(record_at(ind), VAR_TYPE_MAP, VAR_TYPE_MAP); }
int VAR_is_FRAME(int ind) { return type_in(record_at(ind), VAR_TYPE_FRAME, VAR_TYPE_FRAME); }
int VAR_is_PANEL(int ind) { return type_in(record_at(ind), VAR_TYPE_PANEL, VAR_TYPE_PANEL); }

int VAR_is_type_PLOT(int ind) {
  const VAR_data* d = record_at(ind);
  return d && !type_in(d, VAR_TYPE_MAP, VAR_TYPE_PANEL) && !type_in(d, VAR_TYPE_GRID, VAR_TYPE_STRM);
}

int VAR_is_type_GRID(int ind) {
  const VAR_data* d = record_at(ind);
  return type_in(d, VAR_TYPE_GRID, VAR_TYPE_STRM) && kind_of(d) <= VAR_KIND_SUBFUNC;
}

int VAR_is_type_CONT(int ind) { return type_in(record_at(ind), VAR_TYPE_GRID, VAR_TYPE_GVALUE); }
int VAR_is_plot_CONT(int ind) { return type_in(record_at(ind), VAR_TYPE_CONT, VAR_TYPE_GVALUE); }
int VAR_is_type_VECT(int ind) { return type_in(record_at(ind), VAR_TYPE_WIND, VAR_TYPE_STRM); }

int VAR_is_calc_GRID(int ind) {
  return (VAR_is_FUNC(ind) || VAR_is_SUBFUNC(ind)) && type_in(record_at(ind), VAR_TYPE_GRID, VAR_TYPE_STRM);
}

int VAR_is_fit_GRID(int ind) { return VAR_is_CALC(ind) && type_in(record_at(ind), VAR_TYPE_GRID, VAR_TYPE_STRM); }

int VAR_is_get_GRID(int ind) {
  return record_at(ind) && !VAR_is_FUNC(ind) && type_in(record_at(ind), VAR_TYPE_GRID, VAR_TYPE_STRM);
}
