/*
 * var_tool_text: what var_tool prints and shows. Records printed for
 * tracing, the data labels of records and codes in the label style of the
 * corner labels, the level and time texts of the variable string, the
 * variable menu built from the definition file under its display
 * conditions, and the names found in the definition file, "variable.lup"
 * and "source.lup". Every text handed to a caller is cut to the caller's
 * buffer.
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

/* A number of the ranges of members from 20 on, other derived forecasts
 * and chemical constituents: the GRIB decoder's tag of it, the parameter
 * it is of, and for a perturbed member the sign of the name that asks for
 * it ('ens[+21]temp'). */
struct RangeForm {
  std::string tag;
  int param = 0;
  char sign = 0;
  int member = 0;
};

bool range_form(int variable, RangeForm* f) {
  if (variable >= kEnsWide && variable < kEnsWideEnd) {
    const int rest = variable - kEnsWide;
    const int kind = rest / kEnsWideKind;
    static constexpr const char* marks[] = {"?", "", "-", "+", "c", "w"};
    f->member = rest % kEnsWideKind / 1000;
    f->param = rest % 1000;
    f->tag = std::string("Ens[") + (kind <= 5 ? marks[kind] : "?") + std::to_string(f->member) + "]";
    if (kind == kEnsKindMinus) f->sign = '-';
    if (kind == kEnsKindPlus) f->sign = '+';
    return true;
  }
  if (variable >= kEnsDerived && variable < kEnsDerivedEnd) {
    f->tag = "Ens derived[" + std::to_string((variable - kEnsDerived) / 1000) + "]";
    f->param = variable % 1000;
    return true;
  }
  if (variable >= kChem && variable < kChemEnd) {
    f->tag = "Chem[" + std::to_string((variable - kChem) / 1000) + "]";
    f->param = kChemParam + variable % 1000;
    return true;
  }
  return false;
}

/* The name of a parameter in the label style, with its units (an ensemble
 * or probability composition by its base parameter; one of the ranges
 * above by the decoder's tag, or in abbreviations by the name that reads
 * back). A record
 * whose name is no parameter (a group's, say) is labelled by that name,
 * '_' read as a blank, rather than by the empty number 0. */
std::string param_label(int variable, const char* units, std::string_view name = {}) {
  RangeForm range;
  if (range_form(variable, &range)) {
    VAR_read_varfile();
    if (range.sign && PLT_get_label_type() < 0)
      for (const VarDesc& d : state.var_list)
        if (d.ind[0] == range.param) {
          std::string out = format("ens[%c%d]", range.sign, range.member) + d.abbr;
          if (units && *units) out += format(" (%s)", units);
          return out;
        }
    return range.tag + " " + param_label(range.param, units);
  }
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
