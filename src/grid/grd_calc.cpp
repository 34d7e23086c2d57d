/*
 * grd_calc: the grid calculator's vocabulary.
 *
 * A calculator item is written 'name' or 'name-type' (the type names the
 * result's variable). The three recognisers answer for the name part,
 * compared exactly, case counting: whether a function gives two output
 * grids, whether an item is drawn as a vector plot of its operands, and
 * the plot type that a function's result takes in the variable parser.
 * The variable parser sits a layer below the grid store, so it reaches the
 * recognisers through the name tests that GRD_calc_register hands it.
 */
#include "kezgrd.h"

#include <array>
#include <cstring>
#include <string_view>

namespace {

/* A function text's name part holds at most this many characters; a longer
 * name is no calculator function. */
constexpr size_t kNameLen = 9;

struct FuncType {
  const char* name;
  int type; /* plot type of the result */
};

/* Functions with two output grids. */
constexpr std::array<const char*, 2> kVectFuncs = {"grad", "vdiff"};

/* Items drawn as a vector plot of their operands. */
constexpr std::array<const char*, 4> kPlotFuncs = {"wind", "vect", "stream", "strm"};

/* The functions whose result the parser types; every other name, also one
 * the evaluator knows ("smooth", "grad", "pr_alt" ...), gives 0. */
constexpr FuncType kMathFuncs[] = {
    {"wind", VAR_TYPE_WIND},    {"vect", VAR_TYPE_VECT},   {"stream", VAR_TYPE_STRM},
    {"strm", VAR_TYPE_STRM},    {"copy", VAR_TYPE_GRID},   {"max", VAR_TYPE_GRID},
    {"min", VAR_TYPE_GRID},     {"add", VAR_TYPE_GRID},    {"sum", VAR_TYPE_GRID},
    {"avg", VAR_TYPE_GRID},     {"interp", VAR_TYPE_GRID}, {"sub", VAR_TYPE_GRID},
    {"thick", VAR_TYPE_GRID},   {"mul", VAR_TYPE_GRID},    {"mod", VAR_TYPE_GRID},
    {"sqrt", VAR_TYPE_GRID},    {"pow", VAR_TYPE_GRID},    {"exp", VAR_TYPE_GRID},
    {"log", VAR_TYPE_GRID},     {"log10", VAR_TYPE_GRID},  {"abs", VAR_TYPE_GRID},
    {"div", VAR_TYPE_GRID},     {"sin", VAR_TYPE_GRID},    {"cos", VAR_TYPE_GRID},
    {"tan", VAR_TYPE_GRID},     {"asin", VAR_TYPE_GRID},   {"acos", VAR_TYPE_GRID},
    {"atan", VAR_TYPE_GRID},    {"atan2", VAR_TYPE_GRID},  {"dx", VAR_TYPE_GRID},
    {"dy", VAR_TYPE_GRID},      {"dewp", VAR_TYPE_GRID},   {"rhum", VAR_TYPE_GRID},
    {"wetblb", VAR_TYPE_GRID},  {"show", VAR_TYPE_GRID},   {"wchill", VAR_TYPE_GRID},
    {"wchill2", VAR_TYPE_GRID}, {"heat", VAR_TYPE_GRID},   {"theta", VAR_TYPE_GRID},
    {"thetae", VAR_TYPE_GRID},  {"vtemp", VAR_TYPE_GRID},  {"thetav", VAR_TYPE_GRID},
    {"vapor", VAR_TYPE_GRID},   {"shum", VAR_TYPE_GRID},   {"mixrat", VAR_TYPE_GRID},
    {"wspd", VAR_TYPE_GRID},    {"spd", VAR_TYPE_GRID},    {"mag", VAR_TYPE_GRID},
    {"wdir", VAR_TYPE_GRID},    {"dir", VAR_TYPE_GRID},    {"dot", VAR_TYPE_GRID},
    {"cross", VAR_TYPE_GRID},   {"ugeos", VAR_TYPE_GRID},  {"vgeos", VAR_TYPE_GRID},
    {"uq", VAR_TYPE_GRID},      {"vq", VAR_TYPE_GRID},     {"lapl", VAR_TYPE_GRID},
    {"conv", VAR_TYPE_GRID},    {"diverg", VAR_TYPE_GRID}, {"def1", VAR_TYPE_GRID},
    {"def2", VAR_TYPE_GRID},    {"vconv", VAR_TYPE_GRID},  {"rvort", VAR_TYPE_GRID},
    {"avort", VAR_TYPE_GRID},   {"adv", VAR_TYPE_GRID},
};

/* The name part of a function text: before the first "-"; empty for a
 * null text or a name too long to be a function. */
std::string_view func_name(const char* str) {
  if (!str) return {};
  std::string_view text(str);
  std::string_view name = text.substr(0, text.find('-'));
  return name.size() > kNameLen ? std::string_view{} : name;
}

} // namespace

int GRD_is_vect_func(const char* str) {
  std::string_view name = func_name(str);
  if (name.empty()) return 0;
  for (const char* f : kVectFuncs)
    if (name == f) return 1;
  return 0;
}

int GRD_is_plot_func(const char* str) {
  std::string_view name = func_name(str);
  if (name.empty()) return 0;
  for (const char* f : kPlotFuncs)
    if (name == f) return 1;
  return 0;
}

int GRD_is_math_func(const char* str) {
  std::string_view name = func_name(str);
  if (name.empty()) return 0;
  for (const FuncType& f : kMathFuncs)
    if (name == f.name) return f.type;
  return 0;
}

int GRD_calc_register() { return VAR_set_func_tests(GRD_is_vect_func, GRD_is_math_func); }
