/*
 * var_tool_impl.h: what the files of var_tool share. The module's state
 * (the parsed table, the parse's stack and guards, the definition file, the
 * menu and the tables read), the numbers of its codes, and the helpers that
 * more than one of its files uses; defined in var_tool.cpp and the file
 * named at each group. Private to the module: nothing else includes it.
 */
#ifndef VAR_TOOL_IMPL_H
#define VAR_TOOL_IMPL_H

#include "kez.h"

#include <array>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace var_tool_impl {

/* The calculator's name tests, set from a higher layer (src/hooks.cpp).
 * Constant-initialised, so that no module's start-up can undo the
 * registration. */
struct FuncTests {
  VAR_name_test vect_func = nullptr;
  VAR_name_test math_func = nullptr;
};
extern FuncTests func_tests;

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
/* Members 20 to 255, and kinds beyond the three above, as the GRIB decoder
 * numbers them: kind x 256000 + member x 1000 above kEnsWide. Derived
 * forecasts other than mean and deviation (code x 1000) and chemical
 * constituents (constituent x 1000) have ranges of their own; the
 * parameter stays the last three digits of each. */
constexpr int kEnsShortMembers = 20;
constexpr int kEnsMaxMember = 255;
constexpr int kEnsWide = 1300000000;
constexpr int kEnsWideKind = 256000;
constexpr int kEnsWideEnd = kEnsWide + 256 * kEnsWideKind;
constexpr int kEnsKindCtl = 1;
constexpr int kEnsKindMinus = 2;
constexpr int kEnsKindPlus = 3;
constexpr int kEnsDerived = 1400000000;
constexpr int kEnsDerivedEnd = kEnsDerived + 256 * 1000;
constexpr int kChem = 1500000000;
constexpr int kChemEnd = kChem + 65536 * 1000;
/* A constituent's quantity in the edition 2 numbering of parameters
 * without an edition 1 number (discipline 0, category 20). */
constexpr int kChemParam = 20000;
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

extern VarToolState state;

struct TimeOp {
  int code;
  const char* word;
};

constexpr TimeOp kTimeOps[] = {{2, "rng"}, {3, "avg"},   {4, "acc"},  {5, "dif"},  {6, "max"},
                               {7, "min"}, {13, "iavg"}, {18, "var"}, {23, "uavg"}};

struct DefEntry {
  std::string abbr;
  std::string name;
  std::string cond;
  std::string def; /* blanks removed, continuation lines joined */
  bool too_long = false;
};

/* ---- small text helpers (var_tool.cpp) ---- */

bool is_blank(char c);
bool is_digit(char c);
bool iequal(std::string_view a, std::string_view b);
bool istarts(std::string_view s, std::string_view prefix);
std::vector<std::string> split_fields(std::string_view s, char delim);
void set_field(char* field, size_t len, std::string_view text, const char* who, const char* what);
size_t read_uint(std::string_view s, long long* value);
size_t read_real(std::string_view s, double* value);
bool read_line(FILE* fp, std::string* line, bool* cut);

/* ---- the parser's inheritance and the records (var_tool.cpp) ---- */

const StackEntry* stack_top();
int refuse(const char* who, const char* why, std::string_view text);
const VAR_data* record_at(int ind);

/* ---- the definition file and the tables' lines (var_tool_file.cpp) ---- */

std::string next_word(const std::string& line, size_t* at);
bool read_def_entry(size_t* i, DefEntry* e);
bool parse_table_int(std::string_view s, int* value);

} // namespace var_tool_impl

#endif
