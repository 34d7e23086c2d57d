/*
 * raw_math: arithmetic on raw point-data files.
 *
 * A small command language of the suite's raw-file tool: files combined
 * station by station through a station table (sum, max, min, copy, merge,
 * an operation between two files), an operation between a file and a
 * constant, one field extracted into a file of its own, and one value of a
 * series of files gathered into one file. Every result is a raw file of one
 * value per line; its header's info and date label come from the first
 * input unless the command gives them.
 *
 * The station table is keyed on the whole identifier as read, so that
 * stations whose identifiers share a long prefix stay apart. A value that
 * has no meaning (division or remainder by zero, a value cut off by "ge" or
 * "le") becomes the missing value and is written as "-". Values are written
 * through RAW_write, whose "plot_format" value format is checked before use.
 *
 * Options ("parameter" resource, read at every command): "miss=V" sets the
 * substitute of missing values (-9999: none), "outmiss" saves values equal
 * to it, "noattr" drops a field's plot format from extracted values. The
 * "identifier" resource, when set, limits every operation to the stations
 * it lists.
 */
#include "kezraw.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int kTableBuckets = 800;
constexpr int kSeriesIdLen = 10; /* characters of a format suffix kept as identifier */
constexpr M_type kTrace = M_out3;

/* One station of the table; flag 0 from the base file, else the pass of
 * its last update plus one. */
struct stat_data {
  char id[RAW_ID_LEN];
  float lat;
  float lon;
  float value; /* -9999: missing */
  int flag;
};

struct {
  float miss = KEZ_FMISS; /* substitute of missing values; -9999 none */
  bool outmiss = false;
  bool noattr = false;
  std::vector<std::string> ids; /* station filter; empty: every station */
  RAW_info info{};              /* header of every output */
  TAB_table table{};
  stat_data* current = nullptr; /* last entry touched */
  int pass = 0;                 /* files applied to the table */
} state;

bool missing(float v) { return v == KEZ_FMISS || !std::isfinite(v); }

bool has_miss() { return state.miss != KEZ_FMISS; }

void put(char* dst, size_t room, std::string_view s) {
  const size_t n = s.size() < room - 1 ? s.size() : room - 1;
  std::memcpy(dst, s.data(), n);
  dst[n] = '\0';
}

bool wanted(const char* id) {
  if (state.ids.empty()) return true;
  for (const std::string& s : state.ids)
    if (s == id) return true;
  return false;
}

std::vector<std::string> split(const char* text) {
  std::vector<std::string> out;
  std::string cur;
  for (const char* p = text ? text : ""; *p; ++p) {
    if (*p == ',' || std::isspace(static_cast<unsigned char>(*p))) {
      if (!cur.empty()) out.push_back(cur);
      cur.clear();
    } else {
      cur += *p;
    }
  }
  if (!cur.empty()) out.push_back(cur);
  return out;
}

void read_identifiers() { state.ids = split(RES_get("identifier")); }

/* The file a command word names: its file part through the naming layer
 * (a data-set type's current file or template), its "-field:format"
 * request suffix kept as it came. */
std::string resolve(const char* word) {
  std::string base = word ? word : "";
  std::string suffix;
  for (size_t i = 2; i < base.size(); ++i) {
    if (base[i] == '-' || base[i] == ':') {
      suffix = base.substr(i);
      base.resize(i);
      break;
    }
  }
  /* The naming layer takes "exit" as a request to end the program. */
  if (base.empty() || FILE_is_stdio(base.c_str()) || stricmp(base.c_str(), "exit") == 0) return base + suffix;
  FILE_save_name_conv();
  if (FILE_set_name(base.c_str()) == 1) {
    std::vector<char> out(FILE_PATH_LEN, '\0');
    const char* cur = RES_get("current");
    if (cur && *cur)
      FILE_set_current(cur, out.data());
    else
      FILE_set_file(base.c_str(), out.data());
    if (out[0]) base = out.data();
  }
  FILE_restore_name_conv();
  return base + suffix;
}

/* An open raw-file request; the selector may point into `word`. */
struct Request {
  std::string word;
  int fd = -1;
  char* sel = nullptr;
  char* fmt = nullptr;
  bool by_name = false; /* the field was given by name */

  Request(const char* w, int mode) : word(resolve(w)) {
    fd = RAW_file_open(word.data(), &sel, &fmt, mode);
    const auto n = reinterpret_cast<std::intptr_t>(sel);
    by_name = n >= RAW_SEL_LIMIT;
    /* A whole-line request reads the first value of each line. */
    if (!by_name && n == RAW_SEL_ALL) sel = RAW_sel(RAW_SEL_FIELD);
  }
  ~Request() {
    if (fd >= 0) RAW_close(fd);
  }
  Request(const Request&) = delete;
  Request& operator=(const Request&) = delete;
  bool ok() const { return fd >= 0; }

  /* Record n; false at the end of the data. */
  bool read(int n, RAW_report* rep) const {
    int k = n;
    return RAW_read(fd, rep, sel, &k) >= 0;
  }
};

/* The value of a record after the substitute; false when still missing. */
bool value_of(const RAW_report& rep, float* v) {
  *v = missing(rep.value[0]) ? state.miss : rep.value[0];
  return !missing(*v);
}

bool is_word(const char* s, const char* w) { return s && stricmp(s, w) == 0; }

/* t op v for the table operations; the missing value where the result has
 * no meaning. */
float table_op(const char* op, float t, float v) {
  if (is_word(op, "sum") || is_word(op, "add")) return t + v;
  if (is_word(op, "sub")) return t - v;
  if (is_word(op, "mul") || is_word(op, "scale")) return t * v;
  if (is_word(op, "div")) return v == 0.0f ? KEZ_FMISS : t / v;
  if (is_word(op, "mod")) return v == 0.0f ? KEZ_FMISS : std::fmod(t, v);
  if (is_word(op, "max")) return t > v ? t : v;
  if (is_word(op, "min")) return t < v ? t : v;
  if (is_word(op, "ge")) return t > v ? KEZ_FMISS : t;
  if (is_word(op, "le")) return t < v ? KEZ_FMISS : t;
  return v; /* copy, merge */
}

/* v op c for the constant operations (p-forms: the constant first). */
float const_op(const char* op, float v, float c) {
  if (is_word(op, "sum") || is_word(op, "add")) return v + c;
  if (is_word(op, "psub")) return c - v;
  if (is_word(op, "sub")) return v - c;
  if (is_word(op, "mul") || is_word(op, "scale")) return v * c;
  if (is_word(op, "div")) return c == 0.0f ? KEZ_FMISS : v / c;
  if (is_word(op, "pdiv")) return v == 0.0f ? KEZ_FMISS : c / v;
  if (is_word(op, "mod")) return c == 0.0f ? KEZ_FMISS : std::fmod(v, c);
  if (is_word(op, "pmod")) return v == 0.0f ? KEZ_FMISS : std::fmod(c, v);
  if (is_word(op, "ge")) return v > c ? KEZ_FMISS : v;
  if (is_word(op, "le")) return v < c ? KEZ_FMISS : v;
  return v;
}

float number(const char* s) {
  if (!s) return KEZ_FMISS;
  char* end = nullptr;
  const float v = std::strtof(s, &end);
  return end == s || !std::isfinite(v) ? KEZ_FMISS : v;
}

bool empty_label(const char* s) { return !s[0]; }

constexpr const char* kTwoOperand[] = {"add", "sub", "mul", "div", "mod", "ge", "le"};
constexpr const char* kTableOps[] = {"sum", "max", "min", "copy", "merge"};

template <size_t N>
bool one_of(const char* word, const char* const (&list)[N]) {
  for (const char* w : list)
    if (is_word(word, w)) return true;
  return false;
}

/* The index of the first word from `from` on that begins with "=", or num. */
int equals_at(int num, const char* const* cmd, int from) {
  for (int i = from; i < num; ++i)
    if (cmd[i] && cmd[i][0] == '=') return i;
  return num;
}

void clear_info() {
  state.info.info[0] = '\0';
  state.info.datim[0] = '\0';
}

int table_command(int num, const char* const* cmd) {
  if (num < 2 || !cmd[1] || cmd[1][0] == '=') {
    MESS_print(M_warn, "RAW_math_command: Invalid operation\n");
    return 0;
  }
  const int eq = equals_at(num, cmd, 2);
  int res = RAW_make_table(&state.table, cmd[1]);
  if (res) {
    for (int i = 2; i < eq; ++i)
      if (cmd[i]) RAW_math_table(&state.table, cmd[0], cmd[i]);
    if (eq + 1 < num && cmd[eq + 1]) {
      RAW_set_info(cmd, num, eq + 2);
      res = RAW_save_table(&state.table, cmd[eq + 1], 0);
    }
  }
  TAB_clear(&state.table);
  state.current = nullptr;
  return res;
}

int two_operand(int num, const char* const* cmd) {
  if (num < 5 || !one_of(cmd[1], kTwoOperand)) {
    MESS_print(M_warn, "RAW_math_command: Invalid operation\n");
    return 0;
  }
  const char* a = cmd[0];
  const char* b = cmd[2];
  std::string op = cmd[1];
  for (char& c : op) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (a[0] == '#') {
    if (op == "sub" || op == "div" || op == "mod") op = "p" + op;
    clear_info();
    RAW_set_info(cmd, num, 5);
    return RAW_math(op.c_str(), b, a + 1, cmd[4]);
  }
  if (b[0] == '#') {
    clear_info();
    RAW_set_info(cmd, num, 5);
    return RAW_math(op.c_str(), a, b + 1, cmd[4]);
  }
  int res = RAW_make_table(&state.table, a);
  if (res) {
    RAW_math_table(&state.table, op.c_str(), b);
    RAW_set_info(cmd, num, 5);
    res = RAW_save_table(&state.table, cmd[4], 1);
  }
  TAB_clear(&state.table);
  state.current = nullptr;
  return res;
}

} // namespace

int RAW_parameter() {
  state.miss = KEZ_FMISS;
  state.outmiss = false;
  state.noattr = false;
  for (const std::string& item : split(RES_get("parameter"))) {
    if (strnicmp(item.c_str(), "miss", 4) == 0) {
      if (item.size() > 5) state.miss = number(item.c_str() + 5);
    } else if (stricmp(item.c_str(), "outmiss") == 0) {
      state.outmiss = true;
    } else if (stricmp(item.c_str(), "noattr") == 0) {
      state.noattr = true;
    }
  }
  return 0;
}

int RAW_set_miss_val(float val) {
  state.miss = std::isfinite(val) ? val : KEZ_FMISS;
  return 0;
}

int RAW_set_info(const char* const* cmd, int num, int ind) {
  if (!cmd || ind < 0) return 0;
  auto usable = [&](int i) { return i < num && cmd[i] && cmd[i][0] && std::strcmp(cmd[i], "-") != 0; };
  if (usable(ind)) put(state.info.info, sizeof state.info.info, cmd[ind]);
  if (usable(ind + 1)) put(state.info.datim, sizeof state.info.datim, cmd[ind + 1]);
  return 0;
}

int RAW_make_table(TAB_table* tbl, const char* file) {
  if (!tbl) return 0;
  TAB_clear(tbl);
  state.current = nullptr;
  state.pass = 0;
  if (TAB_create(tbl, kTableBuckets, sizeof(stat_data), 1) != 0) {
    MESS_print(M_warn, "RAW_make_table: Unable to create search table\n");
    return 0;
  }
  Request in(file, RAW_READ);
  if (!in.ok()) return 0;
  clear_info();
  RAW_getinfo(in.fd, &state.info);
  RAW_report rep{};
  for (int n = 0; in.read(n, &rep); ++n) {
    float v = 0.0f;
    if (!wanted(rep.id) || !value_of(rep, &v)) continue;
    if (TAB_search(tbl, 1, rep.id)) continue;
    stat_data d{};
    put(d.id, sizeof d.id, rep.id);
    d.lat = rep.lat;
    d.lon = rep.lon;
    d.value = v;
    d.flag = 0;
    if (TAB_enter(tbl, reinterpret_cast<const char*>(&d), d.id) != 0) break;
    MESS_print(kTrace, "Entered: %s %f\n", d.id, static_cast<double>(v));
  }
  return 1;
}

int RAW_math_table(TAB_table* tbl, const char* oper, const char* file) {
  if (!tbl || tbl->tab_size < 1) return 0;
  Request in(file, RAW_READ);
  if (!in.ok()) return 0;
  RAW_info info{};
  RAW_getinfo(in.fd, &info);
  const int p = state.pass;
  RAW_report rep{};
  for (int n = 0; in.read(n, &rep); ++n) {
    float v = 0.0f;
    if (!wanted(rep.id) || !value_of(rep, &v)) continue;
    auto* d = reinterpret_cast<stat_data*>(TAB_search(tbl, 1, rep.id));
    if (d && d->flag > p) continue;
    const float t = d ? d->value : state.miss;
    if (missing(t)) continue;
    const float nv = table_op(oper, t, v);
    if (d) {
      d->value = nv;
      d->flag = p + 1;
      state.current = d;
      MESS_print(kTrace, "Updated: %s %f\n", d->id, static_cast<double>(nv));
    } else {
      stat_data e{};
      put(e.id, sizeof e.id, rep.id);
      e.lat = rep.lat;
      e.lon = rep.lon;
      e.value = nv;
      e.flag = p + 1;
      if (TAB_enter(tbl, reinterpret_cast<const char*>(&e), e.id) != 0) break;
      MESS_print(kTrace, "Added: %s %f\n", e.id, static_cast<double>(nv));
    }
  }
  ++state.pass;
  return 1;
}

int RAW_save_table(TAB_table* tbl, const char* file, int flag) {
  if (!tbl || tbl->tab_size < 1) return 0;
  Request out(file, RAW_WRITE);
  if (!out.ok()) return 0;
  RAW_putinfo(out.fd, &state.info);
  TAB_first(tbl);
  while (const char* rec = TAB_next(tbl)) {
    stat_data d{};
    std::memcpy(&d, rec, sizeof d);
    if (d.flag < flag && !has_miss()) continue;
    /* Entries are never entered missing: a missing value here is a result
     * without meaning, written as "-". */
    if (!missing(d.value) && d.value == state.miss && !state.outmiss) continue;
    RAW_report rep{};
    put(rep.id, sizeof rep.id, d.id);
    rep.lat = d.lat;
    rep.lon = d.lon;
    rep.type = VAR_TYPE_VALUE;
    rep.value[0] = d.value;
    rep.value[1] = KEZ_FMISS;
    RAW_write(out.fd, &rep, RAW_sel(RAW_PUT_LINE), nullptr);
    MESS_print(kTrace, "Saved: %s %d %f\n", d.id, d.flag, static_cast<double>(d.value));
  }
  return 1;
}

int RAW_math(const char* oper, const char* ifile, const char* valstr, const char* ofile) {
  const float c = number(valstr);
  if (missing(c)) {
    MESS_print(M_warn, "RAW_math: Invalid constant: %.40s\n", valstr ? valstr : "");
    return 0;
  }
  MESS_print(M_debug, "ifile: %s\n", ifile ? ifile : "");
  Request in(ifile, RAW_READ);
  if (!in.ok()) return 0;
  Request out(ofile, RAW_WRITE);
  if (!out.ok()) return 0;
  RAW_info info{};
  RAW_getinfo(in.fd, &info);
  if (empty_label(state.info.info)) put(state.info.info, sizeof state.info.info, info.info);
  if (empty_label(state.info.datim)) put(state.info.datim, sizeof state.info.datim, info.datim);
  RAW_putinfo(out.fd, &state.info);
  RAW_report rep{};
  for (int n = 0; in.read(n, &rep); ++n) {
    float v = 0.0f;
    if (!wanted(rep.id) || !value_of(rep, &v)) continue;
    rep.type = VAR_TYPE_VALUE;
    rep.value[0] = const_op(oper, v, c);
    rep.value[1] = KEZ_FMISS;
    MESS_print(kTrace, "Updated: %s %f\n", rep.id, static_cast<double>(rep.value[0]));
    RAW_write(out.fd, &rep, RAW_sel(RAW_PUT_LINE), nullptr);
  }
  return 1;
}

int RAW_extract(const char* ifile, const char* ofile) {
  Request in(ifile, RAW_READ);
  if (!in.ok()) return 0;
  Request out(ofile, RAW_WRITE);
  if (!out.ok()) return 0;
  RAW_info info{};
  RAW_getinfo(in.fd, &info);
  const char* desc = RAW_get_field_info(in.fd, in.sel);
  const std::string field_fmt = [&] {
    const char* f = RAW_get_field_fmt(in.fd, in.sel);
    return std::string(f ? f : "");
  }();
  std::string text;
  if (desc)
    text = std::string(info.info) + " - " + desc;
  else if (in.by_name)
    text = std::string(info.info) + " - " + in.sel;
  if (!text.empty())
    put(state.info.info, sizeof state.info.info, text);
  else if (empty_label(state.info.info))
    put(state.info.info, sizeof state.info.info, info.info);
  if (empty_label(state.info.datim)) put(state.info.datim, sizeof state.info.datim, info.datim);
  RAW_putinfo(out.fd, &state.info);
  RAW_report rep{};
  for (int n = 0; in.read(n, &rep); ++n) {
    float v = 0.0f;
    if (!wanted(rep.id)) continue;
    rep.type = VAR_TYPE_VALUE;
    if (!value_of(rep, &v)) continue;
    rep.value[0] = v;
    if (state.noattr && !field_fmt.empty()) {
      /* The field's own format leads the value's format. */
      std::string f = rep.format;
      if (f.compare(0, field_fmt.size(), field_fmt) == 0) {
        f.erase(0, field_fmt.size());
        if (!f.empty() && f[0] == ':') f.erase(0, 1);
      }
      put(rep.format, sizeof rep.format, f);
    }
    MESS_print(kTrace, "Saved: %s %f\n", rep.id, static_cast<double>(v));
    RAW_write(out.fd, &rep, RAW_sel(RAW_PUT_LINE), nullptr);
  }
  return 1;
}

int RAW_series(const char* const* cmd, int num) {
  if (!cmd || num < 1) return 0;
  const int eq = equals_at(num, cmd, 1);
  const char* ofile = eq + 1 < num && cmd[eq + 1] ? cmd[eq + 1] : "-";
  Request out(ofile, RAW_WRITE);
  if (!out.ok()) return 0;
  for (int i = 1; i < eq; ++i) {
    if (!cmd[i]) continue;
    MESS_print(kTrace, "Opening file: %s\n", cmd[i]);
    Request in(cmd[i], RAW_READ);
    if (!in.ok()) return 0;
    RAW_info info{};
    RAW_getinfo(in.fd, &info);
    if (i == 1) {
      if (const char* desc = RAW_get_field_info(in.fd, in.sel)) put(state.info.info, sizeof state.info.info, desc);
      RAW_set_info(cmd, num, eq + 2);
      if (empty_label(state.info.info)) put(state.info.info, sizeof state.info.info, info.info);
      if (empty_label(state.info.datim)) put(state.info.datim, sizeof state.info.datim, info.datim);
      RAW_putinfo(out.fd, &state.info);
    }
    char id[RAW_ID_LEN];
    if (in.fmt && in.fmt[0])
      put(id, sizeof id, std::string_view(in.fmt).substr(0, kSeriesIdLen));
    else
      std::snprintf(id, sizeof id, "%d", i);
    RAW_report rep{};
    for (int n = 0; in.read(n, &rep); ++n) {
      float v = 0.0f;
      if (!wanted(rep.id)) continue;
      rep.type = VAR_TYPE_VALUE;
      if (!value_of(rep, &v)) continue;
      rep.value[0] = v;
      put(rep.id, sizeof rep.id, id);
      MESS_print(kTrace, "Saved: %s %f\n", rep.id, static_cast<double>(v));
      RAW_write(out.fd, &rep, RAW_sel(RAW_PUT_LINE), nullptr);
    }
  }
  return 1;
}

int RAW_math_command(int num, const char* const* cmd) {
  if (!cmd || num < 1 || !cmd[0]) {
    MESS_print(M_warn, "RAW_math_command: Invalid operation\n");
    return 0;
  }
  RAW_parameter();
  read_identifiers();
  for (int i = 0; i < num; ++i) MESS_print(M_debug_c, "Cmd: %d %s\n", i, cmd[i] ? cmd[i] : "");
  for (int i = 0; i < num; ++i)
    if (!cmd[i]) return 0;
  clear_info();
  if (one_of(cmd[0], kTableOps)) return table_command(num, cmd);
  if (is_word(cmd[0], "ext")) {
    if (num < 4) {
      MESS_print(M_warn, "RAW_math_command: Invalid operation\n");
      return 0;
    }
    return RAW_extract(cmd[1], cmd[3]);
  }
  if (is_word(cmd[0], "series")) return RAW_series(cmd, num);
  return two_operand(num, cmd);
}
