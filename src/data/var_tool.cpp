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

namespace {

/* The calculator's name tests, set from a higher layer (src/hooks.cpp).
 * Constant-initialised, so that no module's start-up can undo the
 * registration. */
struct FuncTests {
  VAR_name_test vect_func = nullptr;
  VAR_name_test math_func = nullptr;
};
constinit FuncTests func_tests;

/* Process flags read here. */
constexpr int kFlagTime = 6;      /* default time code */
constexpr int kFlagLtype = 7;     /* default level type */
constexpr int kFlagLevel = 8;     /* default level code */
constexpr int kFlagPlotType = 11; /* forced plot type; 99 nothing drawn */

/* Work bounds of one parse: definition expansions, and the text of one
 * definition with its continuation lines. */
constexpr int kMaxExpansions = 1000;
constexpr size_t kMaxDefinition = 8191;
/* A line of a table or definition file is read whole but kept to this. */
constexpr size_t kMaxLine = 65536;
/* A definition file is read into memory up to this size. */
constexpr size_t kMaxDefFile = 16u << 20;

/* The variable table's limits: entries, abbreviation and description. */
constexpr size_t kMaxVarEntries = 749;
constexpr size_t kVarAbbrLen = 9;
constexpr size_t kVarDescLen = 49;

/* Time codes: three digits each of operation, start and end hour. */
constexpr int kTimeOp = 1000000;
constexpr int kTimeStart = 1000;
constexpr int kMaxHour = 999;

/* Lower-bound codes of type 101 layers with a meaning of their own (mb). */
constexpr int kPlyrSfc = 1900;
constexpr int kPlyrMaxt = 1910;
constexpr int kPlyrTrop = 1950;
constexpr int kPlyrSfcOff = 2000;
/* Lower bounds of type 104 layers above and below the tropopause (m). */
constexpr int kHlyrTropUp = 99500;
constexpr int kHlyrTropDown = 99600;

/* Ensemble and probability offsets of var[0]. */
constexpr int kEnsMean = 19000000;
constexpr int kEnsDev = 19001000;
constexpr int kEnsCtl = 19300000;
constexpr int kEnsMinus = 19320000;
constexpr int kEnsPlus = 19340000;
constexpr long long kProbBase = 1910000000;
constexpr int kProbStep = 10000; /* p times this */
/* Every ensemble composition (mean, deviation, members) lies in this range;
 * numbers outside it keep their own digits, since edition 2 parameters
 * without an edition 1 number are discipline x 1,000,000 + category x 1000
 * + number, whose last three digits name another quantity. */
constexpr int kEnsLow = kEnsMean;
constexpr int kEnsHigh = 20000000;

struct ModelEntry {
  int source; /* -1: every source */
  int model;
  std::string name;
};

/* One entry of the inheritance stack. */
struct StackEntry {
  int type;
  int time;
  int tstat;
  int ltype;
  int level;
  int lstat;
};

/* One entry of "variable.lup". */
struct VarDesc {
  int ind[5];       /* parameter numbers; -9999 missing */
  std::string name; /* description, at most kVarDescLen characters */
  std::string abbr; /* abbreviation, at most kVarAbbrLen characters */
};

struct VarToolState {
  bool models_read = false;
  std::string models_path;        /* the file the model names were read from */
  std::vector<ModelEntry> models; /* in file order: the first match wins */

  /* The parsed table. */
  std::array<VAR_data, VAR_MAX_RECORDS> var{};
  int varnum = 0; /* records in use */
  int plevel = 0; /* function depth while parsing */
  int vlevel = 0; /* group and vector depth while parsing */
  std::array<StackEntry, VAR_STACK_DEPTH> base{};
  int base_ind = -1; /* top of the stack while parsing, -1 otherwise */
  int def_type = VAR_TYPE_VALUE;
  /* Guards of one parse. */
  bool abort = false; /* a refusal that ends the whole list */
  int expansions = 0;
  bool refused = false; /* a decoder refused a field of the current item */

  /* The definition file, read whole at opening. */
  bool def_open = false;
  std::vector<std::string> def_lines;
  std::vector<bool> def_cut; /* the line was longer than kMaxLine */

  /* The variable menu: entry 0 returns, the shown file entries follow and
   * an entry without a name ends it. The texts live beside the entries. */
  std::array<MENU_item, VAR_MENU_ENTRIES + 2> menu{};
  std::array<std::string, VAR_MENU_ENTRIES + 2> menu_names;
  std::array<std::string, VAR_MENU_ENTRIES + 2> menu_abbrs;
  bool menu_made = false;
  /* The texts that display conditions test. */
  std::string model_str, level_str, time_str;
  /* The last key texts of VAR_get_level_key and VAR_get_time_key. */
  char level_key[16] = "";
  char time_key[16] = "";

  /* The variable table. */
  bool var_read = false;
  std::string var_path; /* the file the table was read from */
  std::vector<VarDesc> var_list;
};

VarToolState state;

/* ---- small text helpers ---- */

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_digit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool iequal(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

bool istarts(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && iequal(s.substr(0, prefix.size()), prefix);
}

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

std::string join_fields(const std::vector<std::string>& f, size_t from) {
  std::string out;
  for (size_t i = from; i < f.size(); ++i) {
    if (i > from) out += ':';
    out += f[i];
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

/* ---- the code tables ---- */

struct TimeOp {
  int code;
  const char* word;
};

constexpr TimeOp kTimeOps[] = {{2, "rng"}, {3, "avg"},   {4, "acc"},  {5, "dif"},  {6, "max"},
                               {7, "min"}, {13, "iavg"}, {18, "var"}, {23, "uavg"}};

/* The operation of a word; any other word is a range. */
int time_op(std::string_view word) {
  for (const TimeOp& op : kTimeOps)
    if (iequal(word, op.word)) return op.code;
  return 2;
}

struct LevelWord {
  const char* word;
  int type;
};

/* Level words that stand for a whole level (code 0). */
constexpr LevelWord kLevelWords[] = {
    {"none", 0},        {"snd", 0},         {"sfc", 1},         {"sf", 1},         {"sea", 1},
    {"se", 1},          {"frz", 4},         {"lcl", 5},         {"mwnd", 6},       {"trop", 7},
    {"sl", 102},        {"whole", 200},     {"top_frz", 204},   {"gcld_bot", 206}, {"gcld_top", 207},
    {"blcld_bot", 209}, {"blcld_top", 210}, {"blcld_lyr", 211}, {"lcld_bot", 212}, {"lcld_top", 213},
    {"lcld_lyr", 214},  {"cld_ceil", 215},  {"mcld_bot", 222},  {"mcld_top", 223}, {"mcld_lyr", 224},
    {"hcld_bot", 232},  {"hcld_top", 233},  {"hcld_lyr", 234},  {"conv_bot", 242}, {"conv_top", 243},
    {"conv_lyr", 244},  {"wbzero", 245},    {"maxepot", 246},   {"equilib", 247},  {"sconv_bot", 248},
    {"sconv_top", 249}, {"dconv_bot", 251}, {"dconv_top", 252}, {"sclw_bot", 253}, {"sclw_top", 254},
};

struct LevelUnit {
  const char* unit;
  int type;
  double scale; /* value to code */
};

/* Unit words of a single level. */
constexpr LevelUnit kLevelUnits[] = {
    {"ft", VAR_LEV_HGT, 0.3048}, {"ft_ag", VAR_LEV_AGL, 0.3048}, {"m", VAR_LEV_HGT, 1},
    {"m_ag", VAR_LEV_AGL, 1},    {"k", VAR_LEV_THETA, 1},        {"mb", VAR_LEV_PRES, 1},
    {"mb_ag", VAR_LEV_PAG, 1},   {"sig", VAR_LEV_SIG, 10000},    {"lev", VAR_LEV_HYB, 1},
    {"pv", VAR_LEV_PV, 1},       {"eta", VAR_LEV_ETA, 10000},
};

/* Unit words of a layer, in the order they are tested (a later match
 * overrides an earlier one). */
constexpr LevelUnit kLayerUnits[] = {
    {"ft", VAR_LEV_HLYR, 0.3048}, {"m", VAR_LEV_HLYR, 1},       {"ft_ag", VAR_LEV_ALYR, 0.3048},
    {"m_ag", VAR_LEV_ALYR, 1},    {"mb_ag", VAR_LEV_PAGLYR, 1}, {"k", VAR_LEV_TLYR, 1},
    {"mb", VAR_LEV_PLYR, 1},      {"sig", VAR_LEV_SLYR, 1},     {"eta", VAR_LEV_ELYR, 1},
};

struct PlotType {
  int code;
  const char* printed;
  const char* read[2]; /* keywords read, null when none */
};

constexpr PlotType kPlotTypes[] = {
    {VAR_TYPE_DATA, "data", {"data", nullptr}},    {VAR_TYPE_VALUE, "value", {"value", nullptr}},
    {VAR_TYPE_TEXT, "text", {"text", nullptr}},    {VAR_TYPE_MARK, "mark", {"mark", "mk"}},
    {VAR_TYPE_INT, "int", {nullptr, nullptr}},     {VAR_TYPE_MAP, "map", {nullptr, nullptr}},
    {VAR_TYPE_FRAME, "frame", {nullptr, nullptr}}, {VAR_TYPE_PANEL, "panel", {nullptr, nullptr}},
    {VAR_TYPE_GRID, "grid", {nullptr, nullptr}},   {VAR_TYPE_CONT, "cont", {"cont", nullptr}},
    {VAR_TYPE_LCONT, "lcont", {"ln", nullptr}},    {VAR_TYPE_DLN, "dln", {"dln", nullptr}},
    {VAR_TYPE_NDLN, "ndln", {"ndln", nullptr}},    {VAR_TYPE_FCONT, "fcont", {"cf", nullptr}},
    {VAR_TYPE_BCONT, "bcont", {"lcf", nullptr}},   {VAR_TYPE_GVALUE, "gvalue", {"gvalue", nullptr}},
    {VAR_TYPE_WIND, "wind", {"wind", nullptr}},    {VAR_TYPE_VECT, "vect", {"vect", nullptr}},
    {VAR_TYPE_BARB, "barb", {"barb", nullptr}},    {VAR_TYPE_STRM, "strm", {"strm", "track"}},
    {VAR_TYPE_PLOT, "plot", {"plot", nullptr}},    {VAR_TYPE_CLOUD, "cloud", {"cloud", nullptr}},
    {VAR_TYPE_WBARB, "wbarb", {"wbarb", nullptr}}, {VAR_TYPE_CBARB, "cbarb", {"cbarb", nullptr}},
    {VAR_TYPE_DBARB, "dbarb", {"dbarb", nullptr}}, {VAR_TYPE_VBARB, "vbarb", {"vbarb", nullptr}},
    {VAR_TYPE_SYMB, "symb", {"symb", "wx"}},       {VAR_TYPE_LINE, "line", {"line", nullptr}},
    {VAR_TYPE_CONST, "const", {nullptr, nullptr}},
};

/* The keywords read, sorted for a binary search: every plot-format item
 * of every station datum is tried as a keyword. */
struct TypeWord {
  std::string_view word;
  int code;
};

constexpr std::size_t count_type_words() {
  std::size_t n = 0;
  for (const PlotType& p : kPlotTypes)
    for (const char* w : p.read) n += w ? 1 : 0;
  return n;
}

constexpr auto kTypeWords = [] {
  std::array<TypeWord, count_type_words()> words{};
  std::size_t n = 0;
  for (const PlotType& p : kPlotTypes)
    for (const char* w : p.read)
      if (w) words[n++] = TypeWord{w, p.code};
  std::sort(words.begin(), words.end(), [](const TypeWord& a, const TypeWord& b) { return a.word < b.word; });
  return words;
}();

constexpr std::size_t kLongestTypeWord = [] {
  std::size_t n = 0;
  for (const TypeWord& t : kTypeWords) n = std::max(n, t.word.size());
  return n;
}();

static_assert(std::adjacent_find(kTypeWords.begin(), kTypeWords.end(),
                                 [](const TypeWord& a, const TypeWord& b) { return a.word == b.word; }) ==
                  kTypeWords.end(),
              "a keyword names one plot type");

struct ItemWord {
  const char* word;
  int type;
};

/* Items that are no variables: map, station-model plot, frame and panel. */
constexpr ItemWord kItemWords[] = {
    {"map", VAR_TYPE_MAP}, {"plot", VAR_TYPE_PLOT}, {"frame", VAR_TYPE_FRAME}, {"panel", VAR_TYPE_PANEL}};

bool grid_type(int t) { return t >= VAR_TYPE_GRID && t <= VAR_TYPE_STRM; }
/* Plot types that the plot-type flag forces on every variable. */
bool forcing_type(int t) {
  return (t >= VAR_TYPE_LCONT && t <= VAR_TYPE_GVALUE) || (t >= VAR_TYPE_VECT && t <= VAR_TYPE_STRM);
}

/* ---- the definition file ---- */

struct DefEntry {
  std::string abbr;
  std::string name;
  std::string cond;
  std::string def; /* blanks removed, continuation lines joined */
  bool too_long = false;
};

void strip_blanks(std::string* s) {
  s->erase(std::remove_if(s->begin(), s->end(), [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }),
           s->end());
}

/* The next word of a line from position at; at moves past it. */
std::string next_word(const std::string& line, size_t* at) {
  size_t i = *at;
  while (i < line.size() && is_blank(line[i])) ++i;
  size_t from = i;
  while (i < line.size() && !is_blank(line[i])) ++i;
  *at = i;
  return line.substr(from, i - from);
}

/* Reads the entry that starts at line *i, joining its continuation lines;
 * *i moves past them. False at the end of the file. Lines without a word
 * make entries with an empty abbreviation, which match nothing. */
bool read_def_entry(size_t* i, DefEntry* e) {
  const std::vector<std::string>& lines = state.def_lines;
  if (*i >= lines.size()) return false;
  *e = DefEntry{};
  const std::string& line = lines[*i];
  e->too_long = state.def_cut[*i];
  ++*i;
  size_t at = 0;
  e->abbr = next_word(line, &at);
  e->name = next_word(line, &at);
  e->cond = next_word(line, &at);
  e->def = line.substr(std::min(at, line.size()));
  strip_blanks(&e->def);
  while (!e->def.empty() && e->def.back() == '\\' && *i < lines.size()) {
    e->def.pop_back();
    std::string next = lines[*i];
    if (state.def_cut[*i]) e->too_long = true;
    ++*i;
    strip_blanks(&next);
    e->def += next;
    if (e->def.size() > kMaxDefinition) {
      e->too_long = true;
      e->def.resize(kMaxDefinition); /* keep the backslash test bounded */
    }
  }
  if (e->def.size() > kMaxDefinition) e->too_long = true;
  return true;
}

/* ---- the variable table ---- */

/* An int in a table field; false for anything else. */
bool parse_table_int(std::string_view s, int* value) {
  bool neg = false;
  if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
    neg = s[0] == '-';
    s.remove_prefix(1);
  }
  long long v = 0;
  size_t n = read_uint(s, &v);
  if (n == 0 || n != s.size() || v > INT_MAX) return false;
  *value = static_cast<int>(neg ? -v : v);
  return true;
}

/* One line of "variable.lup"; false for a line that is no entry. */
bool parse_var_line(const std::string& line, VarDesc* d) {
  size_t at = 0;
  std::string nums = next_word(line, &at);
  std::string abbr = next_word(line, &at);
  if (nums.empty() || abbr.empty() || abbr.size() > kVarAbbrLen) return false;
  std::vector<std::string> parts = split_fields(nums, ',');
  if (parts.empty() || parts.size() > 5) return false;
  for (int& v : d->ind) v = KEZ_MISS;
  for (size_t k = 0; k < parts.size(); ++k)
    if (!parse_table_int(parts[k], &d->ind[k])) return false;
  while (at < line.size() && is_blank(line[at])) ++at;
  std::string desc = line.substr(std::min(at, line.size()));
  while (!desc.empty() && (desc.back() == ' ' || desc.back() == '\t' || desc.back() == '\r')) desc.pop_back();
  if (desc.size() > kVarDescLen) desc.resize(kVarDescLen);
  d->abbr = std::move(abbr);
  d->name = std::move(desc);
  return true;
}

/* ---- the parser's inheritance ---- */

const StackEntry* stack_top() {
  return state.base_ind >= 0 && state.base_ind < VAR_STACK_DEPTH ? &state.base[state.base_ind] : nullptr;
}

/* Pushes and pops pair up, so entry 0 of a parse is never popped. */
void stack_pop() {
  if (state.base_ind >= 0) --state.base_ind;
}

/* The time an empty field stands for, and its status. */
int inherited_time(int* time) {
  if (const StackEntry* top = stack_top()) {
    *time = top->time;
    return top->tstat;
  }
  int f = FLAG_get(kFlagTime);
  if (f != KEZ_MISS) {
    *time = f;
    return 1;
  }
  *time = 0;
  return 2;
}

/* Refuses the current item when a decoder refused one of its fields. */
int refuse(const char* who, const char* why, std::string_view text) {
  MESS_print(VAR_WARN, "%s: %s: %.*s\n", who, why, static_cast<int>(std::min<size_t>(text.size(), 200)), text.data());
  state.refused = true;
  return -1;
}

void abort_list(const char* who, const char* why, std::string_view text) {
  if (!state.abort)
    MESS_print(VAR_WARN, "%s: %s, the rest of the list is dropped: %.*s\n", who, why,
               static_cast<int>(std::min<size_t>(text.size(), 200)), text.data());
  state.abort = true;
}

/* ---- level decoding ---- */

struct LevelPart {
  bool has_num = false;
  double value = 0;
  std::string unit; /* lowered; the whole text when there is no number */
};

bool read_level_part(std::string_view s, LevelPart* p) {
  if (s.size() > 29) return false;
  size_t n = read_real(s, &p->value);
  p->has_num = n > 0;
  p->unit = lower(s.substr(n));
  return p->has_num ? p->unit.size() <= 9 : true;
}

/* A value as a code part: false when it is not finite or beyond the range. */
bool code_part(double v, long long lo, long long hi, long long* out) {
  if (!std::isfinite(v)) return false;
  double t = std::trunc(v);
  if (t < static_cast<double>(lo) || t > static_cast<double>(hi)) return false;
  *out = static_cast<long long>(t);
  return true;
}

/* Packs a layer code: upper * 1000 + lower with lower in 0 to 999. */
bool pack_layer(double upper, double lower, int* level) {
  long long u = 0, l = 0;
  if (!code_part(upper, 0, INT_MAX / 1000 - 1, &u) || !code_part(lower, 0, 999, &l)) return false;
  *level = static_cast<int>(u * 1000 + l);
  return true;
}

/* 'sfc' or 'sfc[N]' (lower bound 2000 + N for layers). */
bool sfc_offset(std::string_view s, long long* n) {
  *n = -1;
  if (!istarts(s, "sfc")) return false;
  s.remove_prefix(3);
  if (s.size() >= 3 && s[0] == '[') {
    long long v = 0;
    size_t d = read_uint(s.substr(1), &v);
    if (d > 0 && d + 1 < s.size() && s[d + 1] == ']') *n = v;
  }
  return true;
}

/* The prefix forms 'pN', 'pA-B', 'hN', ... ; -1 refused, 0 not this form, 2 decoded. */
int level_prefix(std::string_view s, int* ltype, int* level) {
  if (s.size() < 2 || std::strchr("phaks", s[0]) == nullptr || !is_digit(s[1])) return 0;
  char letter = s[0];
  std::string_view rest = s.substr(1);
  double a = 0, b = 0;
  bool two = false;
  size_t n = 0;
  if (letter == 's') {
    n = read_real(rest, &a);
  } else {
    long long v = 0;
    n = read_uint(rest, &v);
    a = static_cast<double>(v);
  }
  rest.remove_prefix(n);
  if (!rest.empty() && rest[0] == '-' && rest.size() > 1 && is_digit(rest[1])) {
    rest.remove_prefix(1);
    if (letter == 's') {
      n = read_real(rest, &b);
    } else {
      long long v = 0;
      n = read_uint(rest, &v);
      b = static_cast<double>(v);
    }
    rest.remove_prefix(n);
    two = true;
  }
  if (!rest.empty()) return -1;
  long long code = 0;
  switch (letter) {
    case 'p':
      if (two) {
        *ltype = VAR_LEV_PLYR;
        return pack_layer(std::min(a, b) / 10, std::max(a, b) / 10, level) ? 2 : -1;
      }
      *ltype = VAR_LEV_PRES;
      break;
    case 'h':
    case 'a':
      if (two) {
        *ltype = letter == 'h' ? VAR_LEV_HLYR : VAR_LEV_ALYR;
        return pack_layer(std::trunc(b / 100), std::trunc(a / 100), level) ? 2 : -1;
      }
      *ltype = letter == 'h' ? VAR_LEV_HGT : VAR_LEV_AGL;
      break;
    case 'k':
      if (two) {
        *ltype = VAR_LEV_TLYR;
        return pack_layer(b, a, level) ? 2 : -1;
      }
      *ltype = VAR_LEV_THETA;
      break;
    default: /* 's': as the sigma unit forms */
      if (two) {
        *ltype = VAR_LEV_SLYR;
        return pack_layer(std::trunc(1000 * b), std::trunc(1000 * a), level) ? 2 : -1;
      }
      *ltype = VAR_LEV_SIG;
      a *= 10000;
      break;
  }
  if (!code_part(a, INT_MIN + 1, INT_MAX, &code)) return -1;
  *level = static_cast<int>(code);
  return 2;
}

/* Decodes a non-empty level field; 1 or 2 as VAR_dec_level, -1 refused. */
int level_form(const std::string& s, int* ltype, int* level) {
  std::string low = lower(s);
  if (low == "level") {
    *ltype = FLAG_get(kFlagLtype);
    *level = FLAG_get(kFlagLevel);
    return 1;
  }
  if (low == "miss") {
    *ltype = KEZ_MISS;
    *level = KEZ_MISS;
    return 2;
  }
  for (const LevelWord& w : kLevelWords) {
    if (low == w.word) {
      *ltype = w.type;
      *level = 0;
      return 2;
    }
  }
  if (int r = level_prefix(s, ltype, level); r != 0) return r;
  if (s == "-") {
    *ltype = VAR_LEV_DASH;
    *level = 0;
    return 2;
  }

  /* Split into two bounds: at the first "-" after the first character
   * (the first bound may be negative), else at the first "+" there. */
  size_t split = std::string::npos;
  if (s.size() > 1 && (s[1] == '-' || s[1] == '+'))
    split = 1;
  else if ((split = s.find('-', 1)) == std::string::npos)
    split = s.find('+', 1);
  if (split != std::string::npos && split + 1 >= s.size()) return -1;

  if (split == std::string::npos) {
    LevelPart p;
    if (!read_level_part(s, &p)) return -1;
    if (!p.has_num) {
      long long n = 0;
      if (!sfc_offset(s, &n)) return -1;
      if (n > INT_MAX) return -1;
      *ltype = VAR_LEV_SFC;
      *level = n >= 0 ? static_cast<int>(n) : 0;
      return 2;
    }
    int type = VAR_LEV_PRES;
    double scale = 1;
    if (!p.unit.empty()) {
      type = -1;
      for (const LevelUnit& u : kLevelUnits) {
        if (p.unit == u.unit) {
          type = u.type;
          scale = u.scale;
        }
      }
      if (type < 0) return -1;
    }
    long long code = 0;
    if (!code_part(p.value * scale, INT_MIN + 1, INT_MAX, &code)) return -1;
    *ltype = type;
    *level = static_cast<int>(code);
    return 2;
  }

  LevelPart first, second;
  if (!read_level_part(std::string_view(s).substr(0, split), &first) ||
      !read_level_part(std::string_view(s).substr(split + 1), &second) || !second.has_num)
    return -1;
  int type = -1;
  double scale[2] = {1, 1};
  const LevelPart* parts[2] = {&first, &second};
  for (int k = 0; k < 2; ++k) {
    const LevelPart* p = parts[k];
    if (!p->has_num || p->unit.empty()) continue;
    bool known = false;
    for (const LevelUnit& u : kLayerUnits) {
      if (p->unit == u.unit) {
        type = u.type;
        scale[k] = u.scale;
        known = true;
      }
    }
    if (!known) return -1;
  }
  if (type < 0 && first.has_num && first.unit.empty() && second.unit.empty()) type = VAR_LEV_PLYR;
  if (type < 0) return -1;
  /* Heights in feet become metres, truncated; a bare bound takes the unit
   * of the other bound. */
  if (first.has_num && first.unit.empty()) scale[0] = scale[1];
  if (second.unit.empty()) scale[1] = scale[0];
  if (first.has_num && scale[0] != 1) first.value = std::trunc(first.value * scale[0]);
  if (scale[1] != 1) second.value = std::trunc(second.value * scale[1]);
  double a = first.value, b = second.value;
  if (!first.has_num) {
    long long n = 0;
    if (type == VAR_LEV_HLYR && first.unit == "trop") {
      a = s[split] == '+' ? kHlyrTropUp : kHlyrTropDown;
    } else if (type == VAR_LEV_PLYR && sfc_offset(first.unit, &n)) {
      a = n >= 0 ? kPlyrSfcOff + static_cast<double>(n) : kPlyrSfc;
    } else if (type == VAR_LEV_PLYR && first.unit == "maxt") {
      a = kPlyrMaxt;
    } else if (type == VAR_LEV_PLYR && first.unit == "trop") {
      a = kPlyrTrop;
    } else {
      return -1;
    }
  }
  bool ok = false;
  switch (type) {
    case VAR_LEV_HLYR:
    case VAR_LEV_ALYR: ok = pack_layer(std::trunc(b / 100), std::trunc(a / 100), level); break;
    case VAR_LEV_PLYR:
      if (first.has_num && a < b) std::swap(a, b);
      ok = pack_layer(std::trunc(b / 10), std::trunc(a / 10), level);
      break;
    case VAR_LEV_SLYR:
    case VAR_LEV_ELYR: ok = pack_layer(std::trunc(1000 * b), std::trunc(1000 * a), level); break;
    default: ok = pack_layer(b, a, level); break;
  }
  if (!ok) return -1;
  *ltype = type;
  return 2;
}

/* ---- name decoding ---- */

enum class EnsForm { none, mean, dev, member, prob };

struct Ensemble {
  EnsForm form = EnsForm::none;
  char kind = 'c';   /* member: '-', '+', 'c'; prob: '<', '>', '^' */
  double number = 0; /* member number or threshold */
  std::string abbr;
};

/* Reads an ensemble form of a name; false with a warning for a form that is
 * begun but cannot be read. */
bool read_ensemble(std::string_view name, Ensemble* e) {
  auto after_bracket = [&](std::string_view rest) -> bool {
    size_t close = rest.find(']');
    if (close == std::string_view::npos) return false;
    e->abbr = std::string(rest.substr(close + 1));
    return true;
  };
  if (name.substr(0, 8) == "ensmean[") {
    e->form = EnsForm::mean;
    return after_bracket(name.substr(8));
  }
  if (name.substr(0, 7) == "ensdev[") {
    e->form = EnsForm::dev;
    return after_bracket(name.substr(7));
  }
  if (name.substr(0, 8) == "ensprob[") {
    e->form = EnsForm::prob;
    std::string_view rest = name.substr(8);
    if (rest.empty() || std::strchr("<>^", rest[0]) == nullptr) return false;
    e->kind = rest[0];
    size_t n = read_real(rest.substr(1), &e->number);
    if (n == 0 || rest.size() < n + 2 || rest[n + 1] != ']') return false;
    e->abbr = std::string(rest.substr(n + 2));
    return true;
  }
  if (name.substr(0, 4) == "ens[") {
    e->form = EnsForm::member;
    std::string_view rest = name.substr(4);
    if (!rest.empty() && !is_digit(rest[0])) {
      e->kind = rest[0];
      rest.remove_prefix(1);
    }
    long long v = 0;
    size_t n = read_uint(rest, &v);
    if (n == 0 || rest.size() <= n || rest[n] != ']') return false;
    if (e->kind != '-' && e->kind != '+' && e->kind != 'c') return false;
    e->number = static_cast<double>(v);
    e->abbr = std::string(rest.substr(n + 1));
    return true;
  }
  return true;
}

/* The ensemble or probability code of parameter p; false when the code
 * cannot hold it. */
bool ensemble_code(const Ensemble& e, int p, int* code) {
  if (e.form == EnsForm::prob) {
    int c = float2int(static_cast<float>(e.number));
    if (c == KEZ_MISS || c < -999 || c > 999 || p < 0) return false;
    int op = e.kind == '<' ? 1 : e.kind == '>' ? 2 : 3;
    long long v = static_cast<long long>(p) * kProbStep + kProbBase;
    v += c >= 0 ? op * 1000LL + c : (op + 5) * 1000LL - c;
    if (v > INT_MAX) return false;
    *code = static_cast<int>(v);
    return true;
  }
  if (p < 0 || p > 999) return false;
  switch (e.form) {
    case EnsForm::mean: *code = p + kEnsMean; return true;
    case EnsForm::dev: *code = p + kEnsDev; return true;
    default: break;
  }
  int n = static_cast<int>(e.number);
  if (e.kind == '-') {
    /* Members below 20, or the code reaches the '+' family. */
    if (n > 19) return false;
    *code = p + kEnsMinus + n * 1000;
  } else if (e.kind == '+') {
    if (n > 999) return false;
    *code = p + kEnsPlus + n * 1000;
  } else {
    *code = p + kEnsCtl;
  }
  return true;
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
/* Field decoders                                                           */
/* ------------------------------------------------------------------------ */

int VAR_dec_time(const char* str, int* time) {
  if (!time) return 0;
  std::string_view s = str ? str : "";
  if (s.empty()) return inherited_time(time);

  size_t dash = s.find('-');
  std::string head = lower(s.substr(0, dash));
  bool has_len = false;
  long long len = 0;
  std::string op;
  if (dash != std::string_view::npos) {
    std::string_view rest = s.substr(dash + 1);
    size_t n = read_uint(rest, &len);
    has_len = n > 0;
    op = std::string(rest.substr(n));
    /* The short time texts end their operation word with a blank. */
    while (!op.empty() && op.back() == ' ') op.pop_back();
  }
  auto pack = [&](long long o, long long start, long long end, int result) -> int {
    if (start < 0 || start > kMaxHour || end < 0 || end > kMaxHour)
      return refuse("VAR_dec_time", "Hour outside 0 to 999", s);
    *time = static_cast<int>(o * kTimeOp + start * kTimeStart + end);
    return result;
  };
  /* An hour with an optional range 'N-Mop'; a range without its word is
   * no range. */
  auto hour_range = [&](long long hour) -> int {
    if (has_len && !op.empty()) return pack(time_op(op), hour - len, hour, 2);
    return pack(0, 0, hour, 2);
  };

  if (head == "time") {
    int base = 0;
    if (stack_top())
      base = stack_top()->time;
    else if (FLAG_get(kFlagTime) != KEZ_MISS)
      base = FLAG_get(kFlagTime);
    if (dash == std::string_view::npos) {
      *time = base;
      return 1;
    }
    if (!has_len) return refuse("VAR_dec_time", "No hours after time-", s);
    if (base < 0) return refuse("VAR_dec_time", "No time to count back from", s);
    long long end = base % kTimeStart;
    if (op.empty()) return pack(0, 0, end - len, 1);
    return pack(time_op(op), end - len, end, 1);
  }
  if (head == "anal") {
    if (has_len && !op.empty()) return pack(time_op(op), len, 0, 2);
    *time = 0;
    return 2;
  }
  if (head == "miss") {
    *time = KEZ_MISS;
    return 2;
  }
  if (head == "init" || head == "in") {
    *time = 0;
    return 2;
  }
  if (head.size() > 1 && (head[0] == 'h' || head[0] == 'd' || head[0] == 'e') && is_digit(head[1])) {
    long long n = 0;
    read_uint(std::string_view(head).substr(1), &n);
    if (head[0] == 'h') return hour_range(n);
    return pack(0, 0, head[0] == 'd' ? n * 24 : n * 24 + 12, 2);
  }
  if (!head.empty() && is_digit(head[0])) {
    long long n = 0;
    size_t d = read_uint(head, &n);
    std::string unit = head.substr(d);
    if (unit == "day" || unit == "d")
      n *= 24;
    else if (unit == ".5day" || unit == "e")
      n = n * 24 + 12;
    return hour_range(n);
  }
  return 0;
}

int VAR_dec_level(const char* str, int* ltype, int* level) {
  if (!ltype || !level) return 0;
  std::string s = str ? str : "";
  if (s.empty()) {
    if (const StackEntry* top = stack_top()) {
      *ltype = top->ltype;
      *level = top->level;
      return top->lstat;
    }
    if (FLAG_get(kFlagLtype) != KEZ_MISS) {
      *ltype = FLAG_get(kFlagLtype);
      *level = FLAG_get(kFlagLevel);
      return 1;
    }
    return 2;
  }
  int t = *ltype, c = *level;
  int r = level_form(s, &t, &c);
  if (r < 0) return refuse("VAR_dec_level", "Not a level that a code can hold", s);
  *ltype = t;
  *level = c;
  MESS_print(VAR_TRACE, "Level: %s = %d %ld\n", s.c_str(), t, static_cast<long>(c));
  return r;
}

int VAR_dec_units(const char* str, VAR_data* data) {
  if (str && *str && data) set_field(data->units, VAR_UNITS_LEN, str, "VAR_dec_units", "Units");
  return 0;
}

int VAR_dec_type(const char* str) {
  if (!str) return -1;
  /* Keywords are lower case: the word lowered is looked up as it is. */
  char lowered[kLongestTypeWord];
  std::size_t n = 0;
  for (; str[n] != '\0'; ++n) {
    if (n == sizeof lowered) return -1;
    lowered[n] = static_cast<char>(std::tolower(static_cast<unsigned char>(str[n])));
  }
  const std::string_view word(lowered, n);
  const auto at = std::lower_bound(kTypeWords.begin(), kTypeWords.end(), word,
                                   [](const TypeWord& t, std::string_view w) { return t.word < w; });
  return at != kTypeWords.end() && at->word == word ? at->code : -1;
}

const char* VAR_print_type(int type) {
  for (const PlotType& p : kPlotTypes)
    if (p.code == type) return p.printed;
  return "----";
}

int VAR_dec_format(const char* str, VAR_data* data) {
  if (!data) return 0;
  int result = 0;
  int t = VAR_dec_type(str);
  if (t >= 0) {
    data->type = t;
    result = 2;
  }
  int forced = FLAG_get(kFlagPlotType);
  if (data->type == VAR_TYPE_PLOT || data->type == VAR_TYPE_WIND || data->type == VAR_TYPE_VECT ||
      data->type == VAR_TYPE_STRM || forced == KEZ_MISS || forced == 0 || forced == VAR_TYPE_NONE)
    return result;
  data->type = VAR_TYPE_CONT;
  return 1;
}

int VAR_get_level(int ltype, int level, float* l1, float* l2) {
  if (!l1 || !l2) return -1;
  float scale = 0;
  switch (ltype) {
    case VAR_LEV_PLYR: scale = 10; break;
    case VAR_LEV_HLYR:
    case VAR_LEV_ALYR: scale = 100; break;
    case VAR_LEV_TLYR:
    case VAR_LEV_PAGLYR: scale = 1; break;
    default: break;
  }
  if (scale == 0 || level < 0) {
    *l1 = static_cast<float>(level);
    *l2 = KEZ_FMISS;
    return 0;
  }
  float upper = static_cast<float>(level / 1000) * scale;
  float lower_part = static_cast<float>(level % 1000) * scale;
  *l1 = std::max(upper, lower_part);
  *l2 = std::min(upper, lower_part);
  return 0;
}

int VAR_enc_level(int coord, float l1, float l2, int* ltype, int* level) {
  if (!ltype || !level) return -1;
  *ltype = coord;
  long long a = 0, b = 0;
  if (!code_part(l1, INT_MIN + 1, INT_MAX, &a)) {
    *level = KEZ_MISS;
    return -1;
  }
  *level = static_cast<int>(a);
  bool two = l2 != KEZ_FMISS;
  if (!two) return 0;
  if (!code_part(l2, INT_MIN + 1, INT_MAX, &b)) {
    *level = KEZ_MISS;
    return -1;
  }
  long long hi = std::max(a, b), lo = std::min(a, b);
  bool ok = true;
  switch (coord) {
    case VAR_LEV_PRES:
    case VAR_LEV_PLYR:
      /* The smaller pressure (the top) goes to the thousands. */
      *ltype = VAR_LEV_PLYR;
      ok = pack_layer(static_cast<double>(lo / 10), static_cast<double>(hi / 10), level);
      break;
    case VAR_LEV_HGT:
    case VAR_LEV_HLYR:
    case VAR_LEV_AGL:
    case VAR_LEV_ALYR: {
      *ltype = coord == VAR_LEV_HGT || coord == VAR_LEV_HLYR ? VAR_LEV_HLYR : VAR_LEV_ALYR;
      /* The top height goes to the thousands, except the tropopause bounds,
       * which always code the lower part. */
      long long top = hi, bottom = lo;
      if (hi == kHlyrTropUp || hi == kHlyrTropDown) std::swap(top, bottom);
      ok = pack_layer(static_cast<double>(top / 100), static_cast<double>(bottom / 100), level);
      break;
    }
    case VAR_LEV_THETA:
    case VAR_LEV_TLYR:
      *ltype = VAR_LEV_TLYR;
      ok = pack_layer(static_cast<double>(hi), static_cast<double>(lo), level);
      break;
    case VAR_LEV_PAG:
    case VAR_LEV_PAGLYR:
      *ltype = VAR_LEV_PAGLYR;
      ok = pack_layer(static_cast<double>(hi), static_cast<double>(lo), level);
      break;
    case VAR_LEV_SIG:
    case VAR_LEV_SLYR:
      *ltype = VAR_LEV_SLYR;
      ok = pack_layer(static_cast<double>(b), static_cast<double>(a), level);
      break;
    default: break;
  }
  if (!ok) {
    *level = KEZ_MISS;
    return -1;
  }
  return 0;
}

int VAR_dec_var(const char* str, VAR_data* data) {
  if (!data) return 0;
  std::string_view s = str ? str : "";
  set_field(data->name, VAR_NAME_LEN, s, "VAR_dec_var", "Name");
  const StackEntry* top = stack_top();
  int forced = FLAG_get(kFlagPlotType);
  MESS_print(VAR_TRACE, "TYPE: %d cur:%d def:%d fl: %d plt: %d\n", top ? top->type : KEZ_MISS, data->type,
             state.def_type, data->flag, forced);
  if (!s.empty() && s[0] == '#') {
    data->type = VAR_TYPE_CONST;
    return 1;
  }
  int kind = data->flag % 10;
  int math = kind == VAR_KIND_FUNC && func_tests.math_func ? func_tests.math_func(data->name) : 0;
  if (kind == VAR_KIND_VECT)
    data->type = grid_type(forced) ? forced : VAR_TYPE_GRID;
  else if (math != 0)
    data->type = grid_type(forced) ? forced : math;
  else if (top && grid_type(top->type))
    data->type = forcing_type(forced) ? forced : VAR_TYPE_GRID;
  else if (forcing_type(forced))
    data->type = forced;
  else if (data->type == KEZ_MISS)
    data->type = state.def_type;
  MESS_print(VAR_TRACE, "DATA TYPE: %d\n", data->type);
  if (s.empty()) return 0;

  Ensemble ens;
  if (!read_ensemble(s, &ens)) {
    refuse("VAR_dec_var", "Not an ensemble form", s);
    for (int& v : data->var) v = KEZ_MISS;
    return KEZ_MISS;
  }
  std::string look;
  int number = 0;
  if (ens.form != EnsForm::none) {
    look = ens.abbr;
  } else {
    size_t dash = s.find('-');
    look = std::string(dash == std::string_view::npos ? s : s.substr(dash + 1));
    /* A name written as a whole number is the parameter number itself. */
    long long v = 0;
    size_t n = read_uint(s, &v);
    if (n > 0 && n == s.size() && v <= INT_MAX) number = static_cast<int>(v);
  }
  if (!look.empty() && look[0] == '+') look.erase(0, 1);
  data->var[0] = number;
  VAR_read_varfile();
  for (const VarDesc& d : state.var_list) {
    if (number != 0 && number == d.ind[0]) {
      set_field(data->name, VAR_NAME_LEN, d.abbr, "VAR_dec_var", "Name");
      break;
    }
    if (!look.empty() && iequal(look, d.abbr)) {
      std::copy(std::begin(d.ind), std::end(d.ind), data->var);
      break;
    }
  }
  if (ens.form != EnsForm::none) {
    int code = 0;
    if (!ensemble_code(ens, data->var[0], &code)) {
      refuse("VAR_dec_var", "Parameter or member too large for an ensemble code", s);
      for (int& v : data->var) v = KEZ_MISS;
      return KEZ_MISS;
    }
    data->var[0] = code;
  }
  return data->var[0];
}

/* ------------------------------------------------------------------------ */
/* Files and tables                                                         */
/* ------------------------------------------------------------------------ */

int VAR_open_file(const char* file) {
  state.def_open = false;
  state.def_lines.clear();
  state.def_cut.clear();
  std::string name;
  if (!file || !*file) {
    char* prog = RES_get_progname(nullptr);
    name = std::string(prog ? prog : "kez") + ".var";
    std::free(prog);
  } else {
    name = file;
  }
  std::string path = FILE_add_path(RES_get("file_path"), name.c_str());
  FILE* fp = FILE_open(path.c_str(), "r");
  if (!fp) {
    MESS_print(VAR_WARN, "VAR_open_file: Unable to open var file: %s\n", path.c_str());
    return 0;
  }
  std::string line;
  bool cut = false;
  size_t total = 0;
  while (read_line(fp, &line, &cut)) {
    total += line.size() + 1;
    if (total > kMaxDefFile) {
      MESS_print(VAR_WARN, "VAR_open_file: Only the first %zu bytes are read: %s\n", kMaxDefFile, path.c_str());
      break;
    }
    state.def_lines.push_back(line);
    state.def_cut.push_back(cut);
  }
  FILE_close(fp);
  state.def_open = true;
  return 1;
}

int VAR_read_varfile() {
  /* Read once; again only when "file_path" now names another file. */
  std::string path = FILE_add_path(RES_get("file_path"), "variable.lup");
  if (state.var_read && path == state.var_path) return 1;
  FILE* fp = FILE_open(path.c_str(), "r");
  if (!fp) {
    MESS_print(VAR_WARN, "VAR_read_varfile: Unable to open file: %s\n", path.c_str());
    /* The table of the folder named before must not answer for this one. */
    state.var_list.clear();
    state.var_path.clear();
    state.var_read = false;
    return 0;
  }
  std::vector<VarDesc> list;
  std::string line;
  bool cut = false;
  while (read_line(fp, &line, &cut)) {
    VarDesc d;
    if (!parse_var_line(line, &d)) continue;
    if (list.size() >= kMaxVarEntries) {
      MESS_print(VAR_WARN, "VAR_read_varfile: More than %zu entries, the rest is not read: %s\n", kMaxVarEntries,
                 path.c_str());
      break;
    }
    list.push_back(std::move(d));
  }
  FILE_close(fp);
  state.var_list = std::move(list);
  state.var_path = path;
  state.var_read = true;
  return 1;
}

int VAR_search_var_num(const char* str) {
  if (!str) return 0;
  VAR_read_varfile();
  for (const VarDesc& d : state.var_list)
    if (iequal(str, d.abbr)) return d.ind[0];
  return 0;
}

int VAR_param_decode() {
  int argc = 0;
  char** argv = nullptr;
  RES_getvals("plot_param", &argc, &argv);
  struct Style {
    const char* prefix;
    int style;
  };
  static constexpr Style kStyles[] = {{"labm", -2}, {"labs", -1}, {"labn", 0}, {"labc", 1}};
  for (int i = 0; i < argc; ++i)
    for (const Style& st : kStyles)
      if (istarts(argv[i], st.prefix)) PLT_set_label_type(st.style);
  free_parsed_array(argc, argv);
  return 0;
}

int VAR_print(M_type lev, const VAR_data* data) {
  if (!data) return -1;
  MESS_print(lev, "V: %-10s U: %-10s FH: %7ld LT: %6d L: %7ld VN: %6d T: %5s F: %2d FM: %s\n", data->name, data->units,
             static_cast<long>(data->time), data->ltype, static_cast<long>(data->level), data->var[0],
             VAR_print_type(data->type), data->flag, data->format);
  return 0;
}

/* ------------------------------------------------------------------------ */
/* The variable menu and the definition file's other readers                */
/* ------------------------------------------------------------------------ */

namespace {

/* Widths of the menu's texts and of the listing's columns. */
constexpr size_t kMenuAbbrLen = 8;
constexpr size_t kMenuNameLen = 30;
constexpr size_t kListAbbrLen = 9;
constexpr size_t kListNameLen = 79;
constexpr size_t kSourceNameLen = 40;

/* Copies a text into a caller's buffer of len bytes, cutting it there. */
char* copy_out(char* str, int len, std::string_view text) {
  if (!str || len <= 0) return str;
  size_t n = std::min(text.size(), static_cast<size_t>(len - 1));
  std::memcpy(str, text.data(), n);
  str[n] = '\0';
  return str;
}

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
  char buf[256];
  va_list ap;
  va_start(ap, fmt);
  int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  if (n < 0) return {};
  if (static_cast<size_t>(n) < sizeof buf) return std::string(buf, static_cast<size_t>(n));
  std::string out(static_cast<size_t>(n) + 1, '\0');
  va_start(ap, fmt);
  std::vsnprintf(out.data(), out.size(), fmt, ap);
  va_end(ap);
  out.resize(static_cast<size_t>(n));
  return out;
}

/* One alternative of a display pattern against the whole text. */
bool match_alternative(std::string_view p, std::string_view t) {
  size_t i = 0, j = 0;
  while (i < p.size()) {
    char c = p[i];
    if (c == '[') {
      size_t close = p.find(']', i + 1);
      if (close == std::string_view::npos || j >= t.size()) return false;
      std::string_view set = p.substr(i + 1, close - i - 1);
      bool hit = false;
      for (size_t k = 0; k < set.size() && !hit; ++k) {
        /* 'a-z' between two listed characters is a range; a "-" first or
         * last is itself. */
        if (set[k] == '-' && k > 0 && k + 1 < set.size())
          hit = t[j] >= set[k - 1] && t[j] <= set[k + 1];
        else
          hit = t[j] == set[k];
      }
      if (!hit) return false;
      ++j;
      i = close + 1;
    } else if (c == '?' || c == '.') {
      if (j >= t.size()) return false;
      ++i;
      ++j;
    } else if (c == '*') {
      ++i;
      if (i == p.size()) {
        j = t.size();
      } else {
        size_t at = t.find(p[i], j);
        if (at == std::string_view::npos) return false;
        j = at;
      }
    } else {
      if (j >= t.size() || t[j] != c) return false;
      ++i;
      ++j;
    }
  }
  return j == t.size();
}

/* A display condition: alternatives at ",", each a list of tests at "&". */
bool condition_holds(const std::string& cond) {
  if (cond.empty()) return false;
  if (cond[0] == '1') return true;
  if (cond[0] == '0') return false;
  for (const std::string& alt : split_fields(cond, ',')) {
    bool all = true;
    for (const std::string& test : split_fields(alt, '&')) {
      const std::string* text = istarts(test, "mo=")   ? &state.model_str
                                : istarts(test, "ft=") ? &state.time_str
                                : istarts(test, "le=") ? &state.level_str
                                                       : nullptr;
      if (!text || !VAR_menu_display(test.c_str() + 3, text->c_str())) {
        all = false;
        break;
      }
    }
    if (all && !alt.empty()) return true;
  }
  return false;
}

void menu_init() {
  for (MENU_item& m : state.menu) m = MENU_item{nullptr, nullptr, 0, {}};
  state.menu[0] = MENU_item{"Return to previous menu", "back", 0, {1}};
  state.menu_made = true;
}

void set_context(std::string* field, const char* str) {
  std::string_view text = str ? str : "";
  *field = std::string(text.substr(0, VAR_CONTEXT_LEN - 1));
}

/* ---- labels ---- */

struct TimeParts {
  int op;    /* operation */
  int start; /* start hour */
  int end;   /* end hour */
};

TimeParts time_parts(int code) { return {code / kTimeOp, (code % kTimeOp) / kTimeStart, code % kTimeStart}; }

const char* op_word(int op) {
  for (const TimeOp& t : kTimeOps)
    if (t.code == op) return t.word;
  return nullptr;
}

enum class LevelForm {
  fixed,       /* a text of its own */
  value,       /* the code */
  layer,       /* lower and upper part times scale */
  ratio,       /* the code / 10000 */
  ratio_layer, /* the parts / 100 (long), / 1000 (short) */
  real_layer   /* lower and upper part as reals */
};

struct LevelText {
  int type;
  LevelForm form;
  const char* short_text; /* text or format of the variable string */
  const char* long_text;  /* text or format of labels */
  int scale;
};

/* Level types 1, 101 and 104 have rules of their own (level_texts). */
constexpr LevelText kLevelTexts[] = {
    {0, LevelForm::fixed, "", "", 0},
    {2, LevelForm::fixed, "cld_bot", "Cloud base", 0},
    {3, LevelForm::fixed, "cld_top", "Cloud top", 0},
    {4, LevelForm::fixed, "frz", "Frz level", 0},
    {5, LevelForm::fixed, "lcl", "LCL", 0},
    {6, LevelForm::fixed, "mwnd", "Max wind", 0},
    {7, LevelForm::fixed, "trop", "Tropopause", 0},
    {8, LevelForm::fixed, "top", "Top", 0},
    {9, LevelForm::fixed, "", "", 0},
    {10, LevelForm::fixed, "", "", 0},
    {100, LevelForm::value, "%dmb", "%d mb", 0},
    {102, LevelForm::fixed, "sl", "Sea level", 0},
    {103, LevelForm::value, "%dm", "%d m", 0},
    {105, LevelForm::value, "%dm_ag", "%d m AG", 0},
    {106, LevelForm::layer, "%d-%dm_ag", "%d-%d m AG", 100},
    {107, LevelForm::ratio, "sig", " sigma", 0},
    {108, LevelForm::ratio_layer, "sig", " sigma", 0},
    {109, LevelForm::value, "%dlev", "%d lev", 0},
    {111, LevelForm::value, "%dcm_bg", "%d cm BG", 0},
    {112, LevelForm::layer, "%d-%dcm_bg", "%d-%d cm BG", 1},
    {113, LevelForm::value, "%dK", "%d K", 0},
    {114, LevelForm::real_layer, "%3.0f-%3.0fK", "%3.0f-%3.0f K", 1},
    {115, LevelForm::value, "%dmb_ag", "%d mb AG", 0},
    {116, LevelForm::layer, "%d-%dmb_ag", "%d-%d mb AG", 1},
    {117, LevelForm::value, "%d*10^-6Km2/kgs", "%d*10^-6 Km2/kgs", 0},
    {119, LevelForm::ratio, "eta", " Eta", 0},
    {120, LevelForm::ratio_layer, "eta", " Eta", 0},
    {200, LevelForm::fixed, "whole", "Whole atms", 0},
    {204, LevelForm::fixed, "top_frz", "Top frz level", 0},
    {206, LevelForm::fixed, "gscld_bot", "Grid cld bot lvl", 0},
    {207, LevelForm::fixed, "gscld_top", "Grid cld top lvl", 0},
    {209, LevelForm::fixed, "blcld_bot", "Bound lyr cld bot", 0},
    {210, LevelForm::fixed, "blcld_top", "Bound lyr cld top", 0},
    {211, LevelForm::fixed, "blcld_lyr", "Bound lyr cld lyr", 0},
    {212, LevelForm::fixed, "lcld_bot", "Low cld bot lvl", 0},
    {213, LevelForm::fixed, "lcld_top", "Low cld top lvl", 0},
    {214, LevelForm::fixed, "lcld_lyr", "Low cld lyr", 0},
    {215, LevelForm::fixed, "cld_ceil", "Cld ceiling", 0},
    {222, LevelForm::fixed, "mcld_bot", "Mid cld bot lvl", 0},
    {223, LevelForm::fixed, "mcld_top", "Mid cld top lvl", 0},
    {224, LevelForm::fixed, "mcld_lyr", "Mid cld lyr", 0},
    {232, LevelForm::fixed, "hcld_bot", "High cld bot lvl", 0},
    {233, LevelForm::fixed, "hcld_top", "High cld top lvl", 0},
    {234, LevelForm::fixed, "hcld_lyr", "High cld lyr", 0},
    {242, LevelForm::fixed, "conv_bot", "Conv cld bot lvl", 0},
    {243, LevelForm::fixed, "conv_top", "Conv cld top lvl", 0},
    {244, LevelForm::fixed, "conv_lyr", "Conv cld lyr", 0},
    {245, LevelForm::fixed, "wbzero", "Wet bulb zero lvl", 0},
    {246, LevelForm::fixed, "maxepot", "Max eq pot temp lvl", 0},
    {247, LevelForm::fixed, "equilib", "Equilibrium lvl", 0},
    {248, LevelForm::fixed, "sccld_bot", "Shal Conv cld bot lvl", 0},
    {249, LevelForm::fixed, "sccld_top", "Shal Conv cld top lvl", 0},
    {251, LevelForm::fixed, "dccld_bot", "Deep Conv cld bot lvl", 0},
    {252, LevelForm::fixed, "dccld_top", "Deep Conv cld top lvl", 0},
    {253, LevelForm::fixed, "sclw_bot", "Supercool liq wat bot", 0},
    {254, LevelForm::fixed, "sclw_top", "Supercool liq wat top", 0},
};

/* A ratio with two to four decimals: as many as the code needs, so that
 * the text reads back to the same code. */
std::string ratio_text(double value, int decimals) {
  std::string out = format("%.*f", decimals, value);
  size_t dot = out.find('.');
  while (out.size() > dot + 3 && out.back() == '0') out.pop_back();
  return out;
}

/* The short (variable-string) or long (label) text of a level; false for a
 * type the table does not hold. */
bool level_text(int ltype, int level, bool long_form, std::string* out) {
  out->clear();
  if (ltype < 0) return true;
  const int upper = level / 1000, lower_part = level % 1000;
  if (ltype == VAR_LEV_SFC) {
    const char* word = long_form ? "Surface" : "sfc";
    if (level >= 1 && level <= kPlyrSfcOff)
      *out = format("%s[%d]", word, level);
    else if (level > kPlyrSfcOff)
      *out = format("%s[%d]", word, level - kPlyrSfcOff);
    else
      *out = word;
    return true;
  }
  if (ltype == VAR_LEV_PLYR) {
    if (level == KEZ_MISS) return true;
    if (level <= 1000) {
      if (long_form) {
        if (level == 510) *out = "1000-500 mb";
        if (level == 508) *out = "850-500 mb";
        if (level == 599) *out = "SFC-500 mb";
      }
      return true;
    }
    const int l = lower_part * 10, u = upper * 10;
    if (long_form) {
      if (l == kPlyrSfc || l == kPlyrSfcOff)
        *out = format("sfc-%d mb", u);
      else if (l == kPlyrTrop)
        *out = format("trop-%d mb", u);
      else if (l > kPlyrSfcOff)
        *out = format("sfc[%d]-%d mb", l - kPlyrSfcOff, u);
      else
        *out = format("%d-%d mb", l, u);
    } else {
      if (u == kPlyrSfc || u == kPlyrSfcOff)
        *out = format("sfc-%dmb", l);
      else if (u > kPlyrSfcOff)
        *out = format("sfc[%d]-%dmb", u - kPlyrSfcOff, l);
      else
        *out = format("%d-%dmb", u, l);
    }
    return true;
  }
  if (ltype == VAR_LEV_HLYR) {
    if (level == KEZ_MISS) return true;
    if (long_form && lower_part == kHlyrTropUp / 100)
      *out = format("trop+%d m", upper * 100);
    else
      *out = format(long_form ? "%d-%d m" : "%d-%dm", lower_part * 100, upper * 100);
    return true;
  }
  for (const LevelText& t : kLevelTexts) {
    if (t.type != ltype) continue;
    const char* f = long_form ? t.long_text : t.short_text;
    if (t.form == LevelForm::fixed) {
      *out = f;
      return true;
    }
    if (level == KEZ_MISS) return true;
    switch (t.form) {
      case LevelForm::value: *out = format(f, level); break;
      case LevelForm::layer: *out = format(f, lower_part * t.scale, upper * t.scale); break;
      case LevelForm::real_layer: *out = format(f, static_cast<double>(lower_part), static_cast<double>(upper)); break;
      case LevelForm::ratio:
        *out = (long_form ? format("%3.2f", level / 10000.0) : ratio_text(level / 10000.0, 4)) + f;
        break;
      default: /* ratio_layer */
        if (long_form)
          *out = format("%3.2f-%3.2f", lower_part / 100.0, upper / 100.0) + f;
        else
          *out = ratio_text(lower_part / 1000.0, 3) + "-" + ratio_text(upper / 1000.0, 3) + f;
        break;
    }
    return true;
  }
  return false;
}

std::string datalevel(int time, int ltype, int level) {
  std::string out;
  TimeParts t = time_parts(time);
  if (time != KEZ_MISS && t.op > 1) {
    int period = t.op > 9 ? t.end : std::abs(t.end - t.start);
    /* End values from 800 count days and from 900 months: a period that
     * still carries that offset is counted in the unit. */
    if (t.end > 899)
      out = format("%d month ", period > 899 ? period - 900 : period);
    else if (t.end > 799)
      out = format("%d day ", period > 799 ? period - 800 : period);
    else
      out = format("%d hour ", period);
    if (const char* w = op_word(t.op)) out += std::string(w) + " ";
  }
  std::string lv;
  if (!level_text(ltype, level, true, &lv)) MESS_print(M_warn, "VAR_make_datatype: no ltype: %d\n", ltype);
  return out + lv;
}

/* The name of a parameter in the label style, with its units (an ensemble
 * or probability composition by its base parameter). A record
 * whose name is no parameter (a group's, say) is labelled by that name,
 * '_' read as a blank, rather than by the empty number 0. */
std::string param_label(int variable, const char* units, std::string_view name = {}) {
  int p = variable;
  if (variable >= kProbBase + 1000)
    p = static_cast<int>((variable - kProbBase) / kProbStep);
  else if (variable >= kEnsLow && variable < kEnsHigh)
    p = variable % 1000;
  VAR_read_varfile();
  std::string out;
  bool found = false;
  for (const VarDesc& d : state.var_list) {
    if (d.ind[0] == p) {
      out = PLT_get_label_type() < 0 ? d.abbr : d.name;
      found = true;
      break;
    }
  }
  if (!found && variable == 0 && !name.empty()) {
    out = name;
    std::replace(out.begin(), out.end(), '_', ' ');
  } else if (!found) {
    out = format("v%d", p);
    MESS_print(VAR_TRACE, "VAR_str: no var: %d\n", p);
  }
  if (units && *units) out += format(" (%s)", units);
  return out;
}

/* The time-and-level prefix of a data label in the current style. */
std::string label_prefix(int time, int ltype, int level) {
  int style = PLT_get_label_type();
  if (style < -1 || style > 1) return {};
  std::string lv = datalevel(time, ltype, level);
  return lv.empty() ? lv : lv + " ";
}

std::string data_label(int time, int ltype, int level, int variable, const char* units) {
  return label_prefix(time, ltype, level) + param_label(variable, units);
}

/* The data label of a record. */
std::string record_label(const VAR_data& d) {
  return label_prefix(d.time, d.ltype, d.level) +
         param_label(d.var[0], d.units, std::string_view(d.name, strnlen(d.name, sizeof d.name)));
}

std::string form_label(const VAR_data& d) {
  std::string out = record_label(d);
  if (d.format[0] && PLT_get_label_type() > 0) out += format(" - %s", d.format);
  return out;
}

const VAR_data* record_at(int ind) {
  return ind >= 0 && ind < VAR_MAX_RECORDS ? &state.var[static_cast<size_t>(ind)] : nullptr;
}

int kind_of(const VAR_data* d) { return d ? d->flag % 10 : -1; }
bool type_in(const VAR_data* d, int lo, int hi) { return d && d->type >= lo && d->type <= hi; }

} // namespace

int VAR_read_menu() {
  if (!state.menu_made) menu_init();
  if (!state.def_open) return 0;
  size_t i = 0;
  int filled = 0;
  DefEntry e;
  while (filled < VAR_MENU_ENTRIES && read_def_entry(&i, &e)) {
    if (e.abbr.empty() || !condition_holds(e.cond)) continue;
    /* A cut abbreviation would choose another definition, or none. */
    if (e.abbr.size() > kMenuAbbrLen) {
      MESS_print(VAR_WARN, "VAR_read_menu: Abbreviation longer than %zu characters, not shown: %s\n", kMenuAbbrLen,
                 e.abbr.c_str());
      continue;
    }
    std::string name = e.name.substr(0, kMenuNameLen);
    while (!name.empty() && name.back() == ' ') name.pop_back();
    std::replace(name.begin(), name.end(), '_', ' ');
    size_t k = static_cast<size_t>(++filled);
    state.menu_names[k] = std::move(name);
    state.menu_abbrs[k] = e.abbr;
    state.menu[k] = MENU_item{state.menu_names[k].c_str(), state.menu_abbrs[k].c_str(), 1, {1}};
  }
  for (size_t k = static_cast<size_t>(filled) + 1; k < state.menu.size(); ++k)
    state.menu[k] = MENU_item{nullptr, nullptr, 0, {}};
  return 1;
}

int VAR_menu(const char* title, const char* prompt, char* string, int flag) {
  VAR_init();
  if (!string) return KEZ_MISS;
  if (!state.menu_made) menu_init();
  if (FLAG_batch()) {
    copy_out(string, MENU_STRING_LEN, state.menu[1].name ? state.menu[1].abbr : "def");
    return 1;
  }
  for (;;) {
    int r = MENU_process(title, state.menu.data(), 0, prompt, string, flag);
    if (stricmp(string, "list") != 0) return r;
    VAR_print_file();
  }
}

int VAR_menu_display(const char* fstr, const char* ustr) {
  if (!fstr || !*fstr || !ustr || !*ustr) return 0;
  std::string_view pattern(fstr);
  size_t from = 0;
  for (;;) {
    size_t bar = pattern.find('|', from);
    std::string_view alt = pattern.substr(from, bar == std::string_view::npos ? std::string_view::npos : bar - from);
    bool negated = !alt.empty() && alt[0] == '~';
    if (negated) alt.remove_prefix(1);
    if (match_alternative(alt, ustr) != negated) return 1;
    if (bar == std::string_view::npos) return 0;
    from = bar + 1;
  }
}

int VAR_print_file() {
  if (!state.def_open) return -1;
  MESS_print(M_print, " Abbr    Description\n");
  size_t i = 0;
  DefEntry e;
  while (read_def_entry(&i, &e)) {
    if (e.abbr.empty()) continue;
    MESS_print(M_print, "%-8s %-50s\n", e.abbr.substr(0, kListAbbrLen).c_str(), e.name.substr(0, kListNameLen).c_str());
  }
  return -1;
}

int VAR_search_name_file(const char* str, char* name, int len) {
  if (!str || !state.def_open) return 0;
  size_t i = 0;
  DefEntry e;
  while (read_def_entry(&i, &e)) {
    if (!e.abbr.empty() && iequal(e.abbr, str)) {
      copy_out(name, len, e.name);
      return 1;
    }
  }
  return 0;
}

int VAR_set_model_str(const char* str) {
  set_context(&state.model_str, str);
  return 0;
}

int VAR_set_level_str(const char* str) {
  set_context(&state.level_str, str);
  return 0;
}

int VAR_set_time_str(const char* str) {
  set_context(&state.time_str, str);
  return 0;
}

const char* VAR_get_model_str() { return state.model_str.c_str(); }
const char* VAR_get_level_str() { return state.level_str.c_str(); }
const char* VAR_get_time_str() { return state.time_str.c_str(); }

char* VAR_str(char* str, int variable, const char* units, int len) {
  return copy_out(str, len, param_label(variable, units));
}

char* VAR_abbr(char* str, int variable, int len) {
  VAR_read_varfile();
  for (const VarDesc& d : state.var_list)
    if (d.ind[0] == variable) return copy_out(str, len, d.abbr);
  MESS_print(VAR_TRACE, "VAR_abbr: no var: %d\n", variable);
  return copy_out(str, len, "");
}

char* VAR_source(char* str, int source, int len) {
  std::string path = FILE_add_path(RES_get("file_path"), "source.lup");
  FILE* fp = FILE_open(path.c_str(), "r");
  if (!fp) {
    MESS_print(VAR_WARN, "VAR_source: Unable to open file: %s\n", path.c_str());
    copy_out(str, len, "");
    return nullptr;
  }
  std::string line, name;
  bool cut = false;
  while (read_line(fp, &line, &cut)) {
    int number = 0;
    size_t at = 0;
    std::string first = next_word(line, &at);
    if (!parse_table_int(first, &number) || number != source) continue;
    while (at < line.size() && is_blank(line[at])) ++at;
    name = line.substr(std::min(at, line.size()));
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
    if (name.size() > kSourceNameLen) name.resize(kSourceNameLen);
    break;
  }
  FILE_close(fp);
  return copy_out(str, len, name);
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

/* ------------------------------------------------------------------------ */
/* Labels                                                                   */
/* ------------------------------------------------------------------------ */

int VAR_make_datalevel(int time, int ltype, int level, char* str, int len) {
  copy_out(str, len, datalevel(time, ltype, level));
  return 0;
}

int VAR_make_datatype(int time, int ltype, int level, int variable, const char* units, char* str, int len) {
  copy_out(str, len, data_label(time, ltype, level, variable, units));
  return 0;
}

int VAR_make_var_datatype(int ind, char* str, int len) {
  const VAR_data* d = record_at(ind);
  copy_out(str, len, d ? record_label(*d) : "");
  return 0;
}

int VAR_make_var_form_datatype(int ind, char* str, int len) {
  const VAR_data* d = record_at(ind);
  copy_out(str, len, d ? form_label(*d) : "");
  return 0;
}

int VAR_make_vardata_form_datatype(const VAR_data* var, char* str, int len) {
  copy_out(str, len, var ? form_label(*var) : "");
  return 0;
}

int VAR_make_devtype(int time, int ltype, int level, const char* variable, const char* units, char* str, int len) {
  copy_out(str, len,
           label_prefix(time, ltype, level) + format("%s (%s)", variable ? variable : "", units ? units : ""));
  return 0;
}

char* VAR_time(char* str, int time, int len) {
  if (time == KEZ_MISS) return copy_out(str, len, "miss");
  TimeParts t = time_parts(time);
  if (t.op <= 1) return copy_out(str, len, t.end == 0 ? std::string("init") : format("%dhr", t.end));
  std::string word = op_word(t.op) ? std::string(op_word(t.op)) + " " : std::string();
  /* A period that starts after its end is the analysis form. */
  if (t.start > t.end && t.end == 0) return copy_out(str, len, format("anal-%d", t.start) + word);
  return copy_out(str, len, format("%dhr-%d", t.end, std::abs(t.end - t.start)) + word);
}

char* VAR_level(char* str, int ltype, int level, int len) {
  std::string text;
  if (!level_text(ltype, level, false, &text)) MESS_print(M_warn, "VAR_make_datatype: no ltype: %d\n", ltype);
  return copy_out(str, len, text);
}

int VAR_print_all(M_type lev) {
  for (int i = 0; i < state.varnum; ++i) VAR_print(lev, &state.var[static_cast<size_t>(i)]);
  return 0;
}

int VAR_print_info(M_type lev, const VAR_data* data) {
  if (!data) return -1;
  MESS_print(lev, "%s\n", data_label(data->time, data->ltype, data->level, data->var[0], data->units).c_str());
  return 0;
}

/* ------------------------------------------------------------------------ */
/* Model names                                                              */
/* ------------------------------------------------------------------------ */

namespace {

/* A non-negative integer at p; moves p past it. */
bool read_int(const char*& p, int* value) {
  if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
  long long v = 0;
  for (; std::isdigit(static_cast<unsigned char>(*p)); ++p)
    if (v <= INT_MAX) v = v * 10 + (*p - '0');
  *value = v > INT_MAX ? INT_MAX : static_cast<int>(v);
  return true;
}

/* One table line; false for comments, blank lines, lines without a leading
 * number and lines without a name. */
bool parse_model_line(const std::string& line, ModelEntry* entry) {
  const char* p = line.c_str();
  while (*p == ' ' || *p == '\t') ++p;
  if (*p == '#') return false;
  int first = 0;
  if (!read_int(p, &first)) return false;
  entry->source = -1;
  entry->model = first;
  if (*p == ':') {
    ++p;
    if (!read_int(p, &entry->model)) return false;
    entry->source = first;
  }
  if (*p != ' ' && *p != '\t') return false;
  while (*p == ' ' || *p == '\t') ++p;
  std::string name = p;
  while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back()))) name.pop_back();
  name.erase(std::remove(name.begin(), name.end(), '\r'), name.end());
  if (name.empty()) return false;
  entry->name = std::move(name);
  return true;
}

bool read_models() {
  /* Names from one folder's table are wrong for another's. */
  std::string path = FILE_add_path(RES_get("file_path"), "mod_name.lup");
  if (state.models_read && path == state.models_path) return true;
  FILE* fp = FILE_open(path.c_str(), "r");
  if (!fp) {
    MESS_print(M_warn, "VAR_model: Unable to open file: %s\n", path.c_str());
    return false;
  }
  std::string line;
  state.models.clear();
  while (fget_text_line(fp, &line)) {
    ModelEntry entry;
    if (parse_model_line(line, &entry)) state.models.push_back(std::move(entry));
  }
  FILE_close(fp);
  state.models_read = true;
  state.models_path = path;
  return true;
}

} // namespace

int VAR_model(std::string* name, int rmod) {
  if (!name) return -1;
  if (!read_models()) return -1;
  int source = -1, model = rmod;
  if (rmod > 1000) {
    source = rmod / 1000;
    model = rmod % 1000;
  }
  name->clear();
  for (const ModelEntry& e : state.models) {
    if (e.model == model && (e.source == -1 || e.source == source)) {
      *name = e.name;
      break;
    }
  }
  return 0;
}

char* VAR_model(char* str, int rmod) {
  if (!str) return nullptr;
  std::string name;
  if (VAR_model(&name, rmod) != 0) return nullptr;
  size_t n = std::min(name.size(), static_cast<size_t>(VAR_MODEL_LEN - 1));
  std::memcpy(str, name.data(), n);
  str[n] = '\0';
  return str;
}
