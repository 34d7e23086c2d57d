/*
 * STAND-IN (branch i28): the parts of the variable layer that the grid
 * store, grid requests and grid file wrappers need before the variable
 * parser, its accessors and its label builders land. The table holds
 * VAR_MAX_RECORDS records, every field unset, that tests fill through the
 * returned pointers; the decoders know plain hours and a few levels; the
 * labels are plain. Drop this file when var_tool provides these functions.
 */
#include "kez.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct StandinState {
  std::array<VAR_data, VAR_MAX_RECORDS> vars = [] {
    std::array<VAR_data, VAR_MAX_RECORDS> v{};
    for (VAR_data& d : v) {
      d.type = d.tstat = d.time = d.lstat = d.ltype = d.level = KEZ_MISS;
      for (int& p : d.var) p = KEZ_MISS;
      d.flag = 0;
    }
    return v;
  }();
  int num = 0;
  char model[20] = "";
  char level_key[16] = "";
  char time_key[16] = "";
};

StandinState state;

VAR_data* rec(int ind) {
  if (ind < 0 || ind >= VAR_MAX_RECORDS) return nullptr;
  return &state.vars[static_cast<size_t>(ind)];
}

bool grid_type(int ind) {
  const VAR_data* v = rec(ind);
  return v && v->type >= 10 && v->type <= 23;
}

int kind(int ind) {
  const VAR_data* v = rec(ind);
  return v ? v->flag % 10 : -1;
}

/* A whole decimal integer. */
bool whole_int(const std::string& s, int* v) {
  if (s.empty() || s.size() > 9) return false;
  char* end = nullptr;
  long x = std::strtol(s.c_str(), &end, 10);
  if (*end != '\0') return false;
  *v = static_cast<int>(x);
  return true;
}

void bounded(char* dst, const std::string& text) {
  size_t n = std::min(text.size(), static_cast<size_t>(VAR_LABEL_LEN - 1));
  std::memcpy(dst, text.data(), n);
  dst[n] = '\0';
}

} // namespace

VAR_data* VAR_get_var(int ind) { return rec(ind); }
int VAR_get_num() { return state.num; }
int VAR_set_num(int num) {
  state.num = num;
  return 0;
}
char* VAR_get_name(int ind) {
  VAR_data* v = rec(ind);
  return v ? v->name : nullptr;
}
char* VAR_get_level_key(int ind) {
  VAR_data* v = rec(ind);
  std::snprintf(state.level_key, sizeof state.level_key, "%d", v ? v->level : KEZ_MISS);
  return state.level_key;
}
char* VAR_get_time_key(int ind) {
  VAR_data* v = rec(ind);
  std::snprintf(state.time_key, sizeof state.time_key, "%d", v ? v->time : KEZ_MISS);
  return state.time_key;
}
int VAR_is_type_GRID(int ind) { return grid_type(ind) && kind(ind) <= 3 ? 1 : 0; }
int VAR_is_fit_GRID(int ind) { return grid_type(ind) && (kind(ind) == 0 || kind(ind) == 1) ? 1 : 0; }
int VAR_is_get_GRID(int ind) { return grid_type(ind) && kind(ind) != 2 ? 1 : 0; }

int VAR_dec_time(const char* str, int* time) {
  int v = 0;
  if (!str || !whole_int(str, &v)) return 0;
  *time = v;
  return 2;
}

int VAR_dec_level(const char* str, int* ltype, int* level) {
  std::string s = str ? str : "";
  int v = 0;
  if (s == "sfc") {
    *ltype = 1;
    *level = 0;
  } else if (s == "sl") {
    *ltype = 102;
    *level = 0;
  } else if (s.size() > 2 && s.compare(s.size() - 2, 2, "mb") == 0 &&
             whole_int(s.substr(0, s.size() - 2), &v)) {
    *ltype = 100;
    *level = v;
  } else if (whole_int(s, &v)) {
    *ltype = 100;
    *level = v;
  }
  return 2;
}

int VAR_dec_var(const char* str, VAR_data* data) {
  if (!str || !*str || !data) return 0;
  std::snprintf(data->name, sizeof data->name, "%s", str);
  return data->var[0];
}

int VAR_set_model_str(const char* str) {
  std::snprintf(state.model, sizeof state.model, "%s", str ? str : "");
  return 0;
}
char* VAR_get_model_str() { return state.model; }

char* VAR_str(char* str, int variable, const char* units) {
  std::string s = "v" + std::to_string(variable % 1000);
  if (units && *units) s += std::string(" (") + units + ")";
  bounded(str, s);
  return str;
}

int VAR_make_datatype(int time, int ltype, int level, int variable, const char* units, char* str) {
  char buf[VAR_LABEL_LEN];
  std::snprintf(buf, sizeof buf, "%d %d %d ", time, ltype, level);
  std::string s = buf;
  VAR_str(buf, variable, units);
  bounded(str, s + buf);
  return 0;
}

int VAR_make_devtype(int time, int ltype, int level, const char* variable, const char* units,
                     char* str) {
  char buf[VAR_LABEL_LEN];
  std::snprintf(buf, sizeof buf, "%d %d %d ", time, ltype, level);
  bounded(str, std::string(buf) + (variable ? variable : "") + " (" + (units ? units : "") + ")");
  return 0;
}

int VAR_print(M_type lev, const VAR_data* data) {
  if (!data) return 0;
  MESS_print(lev, "%s %d %d %d %d\n", data->name, data->time, data->ltype, data->level, data->var[0]);
  return 0;
}

int VAR_print_info(M_type lev, const VAR_data* data) {
  if (!data) return 0;
  char buf[VAR_LABEL_LEN];
  VAR_make_datatype(data->time, data->ltype, data->level, data->var[0], data->units, buf);
  MESS_print(lev, "%s\n", buf);
  return 0;
}
