/*
 * var_tool_field: the name field of an item. The name gives the record its
 * plot type when nothing more specific does, and its parameter numbers
 * from "variable.lup", by abbreviation or by number, with the ensemble and
 * probability forms ('ensmean[]temp', 'ens[+3]hght', 'ensprob[>273]temp')
 * coded on top of the parameter. A form begun but unreadable, or one whose
 * code would not fit, is refused with a warning.
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

bool grid_type(int t) { return t >= VAR_TYPE_GRID && t <= VAR_TYPE_STRM; }
/* Plot types that the plot-type flag forces on every variable. */
bool forcing_type(int t) {
  return (t >= VAR_TYPE_LCONT && t <= VAR_TYPE_GVALUE) || (t >= VAR_TYPE_VECT && t <= VAR_TYPE_STRM);
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
  if (e.kind != '-' && e.kind != '+') {
    *code = p + kEnsCtl;
    return true;
  }
  /* The number the GRIB decoder gives the member: a member holds one
   * octet, and from 20 on the short codes of its kind would reach the
   * next kind's. */
  if (e.number > kEnsMaxMember) return false;
  const int n = static_cast<int>(e.number);
  if (n < kEnsShortMembers)
    *code = p + (e.kind == '-' ? kEnsMinus : kEnsPlus) + n * 1000;
  else
    *code = p + kEnsWide + (e.kind == '-' ? kEnsKindMinus : kEnsKindPlus) * kEnsWideKind + n * 1000;
  return true;
}

} // namespace

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
