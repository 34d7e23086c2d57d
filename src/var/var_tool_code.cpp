/*
 * var_tool_code: the codes of time, level and plot type, and the decoders
 * that read them from the fields of a variable-string item.
 *
 * A time code packs operation, start and end hour; a level is a type and a
 * code, a layer packing its two bounds into one code. The decoders take
 * the words, unit forms and prefix forms of the code tables below; an
 * empty field inherits from the parser's stack, outside a parse from the
 * process flags. A value that its code cannot hold is refused with a
 * warning, never cut.
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

namespace {

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

/* ---- the code tables ---- */

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
} // namespace

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
    lowered[n] = ascii_lower(str[n]);
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
