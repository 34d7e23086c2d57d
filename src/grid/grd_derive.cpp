/*
 * grd_derive: derived grids of a variable list and the grid calculator's
 * command line.
 *
 * A variable list may hold calculator functions of other variables, nested
 * to any depth. GRD_calc_var fills their store slots from the deepest
 * functions outwards, so that every operand (a plain grid, the result of a
 * deeper function or a constant) is in the store before its function is
 * evaluated; GRD_find_param_grids gathers a function's operands and also
 * finds the component grids of vector records for plotting and read-out.
 * The data pipeline calls GRD_calc_var after the analysis, the grid-file
 * searches after reading.
 *
 * GRD_math_command interprets the argument list of the suite's grid
 * calculator program: it reads the grid files that the arguments name into
 * the first store slots, combines them (arithmetic, tiles, units, remap,
 * cut-off, statistics, read-outs, functions over several files or any
 * calculator function) and writes one result file.
 *
 * Guarantees: operand lists never hold more than the evaluator takes (a
 * longer list is refused with a message); a derived slot whose evaluation
 * fails is left empty, so that no later save writes it; arguments are
 * hostile text: counts, sizes and numbers are checked before use, and a
 * refused command writes nothing. Every function that selects another
 * naming convention restores the caller's afterwards.
 */
#include "kezcty.h"
#include "kezgrd.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

constexpr M_type kTraceMath = 0x40000000;
constexpr M_type kWarnLow = 0x40;
/* Print masks of the "info" read-out: description, codes, geometry, domain. */
constexpr M_type kInfoMask[3] = {0x1, 0x2, 0x4};
constexpr M_type kDomainMask = 0x8;

/* "No limit" of GRD_find_param_grids. */
constexpr int kNoLimit = 1000;
/* Room of an operand list: two results, one entry per record of the list,
 * the ending null. */
constexpr size_t kOperandRoom = VAR_MAX_RECORDS + 3;
/* Longest calculator name, and longest "plot_format" taken. */
constexpr size_t kFuncNameLen = 9;
constexpr size_t kPlotFormatLen = 79;
/* A "parameter" item "grdfmt", then one separator and the format. */
constexpr const char* kFormatItem = "grdfmt";
constexpr size_t kFormatItemLen = 6;
/* Store slots of the command line: the result, the first operand, then
 * the further operands of a calculator function (one with two results
 * keeps its second result in slot 1, its first operand in slot 2). */
constexpr int kResult = 0;
constexpr int kFirst = 1;
constexpr int kFurther = 2;

struct DeriveState {
  GRD_info info{};  /* header of the first grid a command read */
  GRD_info info2{}; /* header of the further operands */
};

DeriveState state;

bool is_miss(float v) { return v == KEZ_FMISS; }

bool has_values(const GRD_report* g) {
  return g && g->source != 0 && g->grid && g->domain.nx > 0 && g->domain.ny > 0 &&
         static_cast<long long>(g->domain.nx) * g->domain.ny <= GRD_MAX_POINTS;
}

size_t points(const GRD_report* g) { return static_cast<size_t>(g->domain.nx) * static_cast<size_t>(g->domain.ny); }

void copy_field(char* dst, size_t n, const std::string& src) {
  size_t len = std::min(src.size(), n - 1);
  std::memcpy(dst, src.data(), len);
  dst[len] = '\0';
}

/* A whole text as a finite float. */
bool read_float(const char* text, float* out) {
  if (!text || !*text) return false;
  char* end = nullptr;
  errno = 0;
  double v = std::strtod(text, &end);
  if (end == text || *end != '\0' || errno != 0 || !std::isfinite(v) || std::fabs(v) > 3.0e38) return false;
  *out = static_cast<float>(v);
  return true;
}

/* "lat,lon" or "x,y": two whole numbers joined by a comma. */
bool read_pair(const char* text, float* a, float* b) {
  if (!text) return false;
  const char* comma = std::strchr(text, ',');
  if (!comma) return false;
  std::string first(text, static_cast<size_t>(comma - text));
  return read_float(first.c_str(), a) && read_float(comma + 1, b);
}

/* "#" and a number: a constant operand. */
bool is_constant(const char* arg, float* value) { return arg && arg[0] == '#' && read_float(arg + 1, value); }

bool starts_with_equal(const char* arg) { return arg && arg[0] == '='; }

int kind_at(int ind) {
  int flag = VAR_get_flag(ind);
  return flag < 0 ? -1 : flag % 10;
}

/* The records of a list the store can hold. */
int list_length() { return std::clamp(VAR_get_num(), 0, GRD_STORE_SLOTS); }

/* Gathers operands (see GRD_find_param_grids); count gets their number. */
int gather(int start, int num, int level, GRD_report** grds, float* values, int* count) {
  *count = 0;
  if (!grds) return start;
  const int limit = num < 0 ? kNoLimit : num;
  const int n = list_length();
  int j = 0;
  bool found = false;
  int i = std::max(start, 0);
  if (limit == 0) {
    grds[0] = nullptr;
    return i;
  }
  for (; i < n; ++i) {
    const VAR_data* rec = VAR_get_var(i);
    if (!rec) break;
    if (found && rec->flag < level * 10) break;
    const int kind = rec->flag - level * 10;
    const bool operand = kind == VAR_KIND_REG || kind == VAR_KIND_SUBREG || kind == VAR_KIND_FUNC ||
                         kind == VAR_KIND_SUBFUNC || kind == VAR_KIND_FUNC_VECT || kind == VAR_KIND_SUBFUNC_VECT;
    if (!operand) continue;
    found = true;
    if (rec->type == VAR_TYPE_CONST && values) {
      float v = 0;
      if (!read_float(rec->name + 1, &v))
        MESS_print(M_warn, "GRD_find_param_grids: Constant is not a number: %s\n", rec->name);
      grds[j] = nullptr;
      values[j] = v;
    } else {
      GRD_report* s = GRD_get_grid(i);
      grds[j] = s;
      /* A vector's first component is drawn with the vector's parameter. */
      if (s && i > 0 && VAR_is_VECT(i - 1))
        if (const GRD_report* head = GRD_get_grid(i - 1)) s->var = head->var;
    }
    if (++j >= limit) break;
  }
  /* With a limit the caller's list holds num entries: no room for the end. */
  if (j < limit) grds[j] = nullptr;
  *count = j;
  return i;
}

/* Empties a result slot whose evaluation failed. */
void leave_empty(GRD_report* g) {
  std::free(g->grid);
  g->grid = nullptr;
  g->source = 0;
}

/* The date label of a computed slot from its record's time. */
void label_slot(GRD_report* g, int time) {
  std::string label;
  DATE_make_label_for_time(time, g->model, &g->date, &label);
  copy_field(g->datim, sizeof g->datim, label);
}

/* Evaluates function record j at depth d into its slot (and the next one
 * for a function with two results); true when record j + 1 was that
 * second result. */
bool derive(int j, int d) {
  const VAR_data* rec = VAR_get_var(j);
  MESS_print(kTraceMath, "GRIDMATH: %d %d %s\n", j, rec->flag, rec->name);
  /* The record itself says whether it is the second result of this
   * function; a deeper function's second result after it does not. */
  const int next_kind = kind_at(j + 1);
  const bool two = j + 1 < list_length() && VAR_get_flag(j + 1) / 10 == d &&
                   (next_kind == VAR_KIND_FUNC_VECT || next_kind == VAR_KIND_SUBFUNC_VECT);
  const int first = two ? 2 : 1;
  std::array<GRD_report*, kOperandRoom> grds{};
  std::array<float, kOperandRoom> values{};
  values.fill(KEZ_FMISS);
  grds[0] = GRD_get_grid(j);
  if (two) grds[1] = GRD_get_grid(j + 1);
  int count = 0;
  gather(j + first, -1, d + 1, grds.data() + first, values.data() + first, &count);
  if (first + count > GRD_MATH_SLOTS) {
    MESS_print(M_warn, "GRD_calc_var: %s has %d operands, more than the %d the calculator takes\n", rec->name, count,
               GRD_MATH_SLOTS - first);
    return two;
  }
  /* The result takes the header of its first grid operand: the slot may
   * still hold the domain of an earlier list. */
  const GRD_report* like = nullptr;
  for (int k = first; k < first + count && !like; ++k)
    if (has_values(grds[static_cast<size_t>(k)])) like = grds[static_cast<size_t>(k)];
  if (!like) {
    MESS_print(kWarnLow, "GRD_calc_var: No operand grid for %s\n", rec->name);
    return two;
  }
  for (int k = 0; k < first; ++k) {
    GRD_report* out = grds[static_cast<size_t>(k)];
    std::free(out->grid);
    out->grid = nullptr;
    GRD_copy_info(out, like);
    GRD_make_datatype(out, nullptr);
  }
  MESS_print(M_mess, "Performing grid math: %s\n", rec->name);
  if (!GRD_math(rec->name, grds.data(), values.data())) {
    for (int k = 0; k < first; ++k) leave_empty(grds[static_cast<size_t>(k)]);
    return two;
  }
  for (int k = 0; k < first; ++k) {
    GRD_report* out = grds[static_cast<size_t>(k)];
    /* Items drawn from their operands (wind, vect, stream) compute no
     * grid of their own: a filled slot always holds values. */
    if (!out->grid) {
      leave_empty(out);
      continue;
    }
    if (rec->units[0]) GRD_units(out, rec->units);
    label_slot(out, VAR_get_time(j + k));
  }
  return two;
}

/* ---- the command line ------------------------------------------------------ */

/* Restores the naming convention of the caller when it goes. */
struct KeepNaming {
  KeepNaming() { FILE_save_name_conv(); }
  ~KeepNaming() { FILE_restore_name_conv(); }
  KeepNaming(const KeepNaming&) = delete;
  KeepNaming& operator=(const KeepNaming&) = delete;
};

const char* arg_at(const char* const* cmd, int num, int i) { return i >= 0 && i < num ? cmd[i] : nullptr; }

/* A grid argument split at its first "+": the file part and the request
 * ("+" and the request, or empty). */
struct Argument {
  std::string base, request;
  explicit Argument(const char* arg) {
    const std::string text = arg ? arg : "";
    const size_t plus = text.find('+');
    base = text.substr(0, plus);
    request = plus == std::string::npos ? "" : text.substr(plus);
  }
};

/* Selects the file part as naming convention and makes the file name from
 * resource "current" when it is set, else from the file part. The caller
 * keeps its own convention around this. */
std::string name_of(const Argument& a) {
  FILE_set_name(a.base.c_str());
  std::vector<char> buf(static_cast<size_t>(FILE_PATH_LEN), '\0');
  const char* current = RES_get("current");
  if (current && *current)
    FILE_set_current(current, buf.data());
  else
    FILE_set_file(a.base.c_str(), buf.data());
  return buf.data();
}

/* Reads the grid of a file argument into g; true when it has values. */
bool read_argument(const char* arg, GRD_report* g, GRD_info* info) {
  if (!arg || !*arg || !g) return false;
  const Argument a(arg);
  std::string name;
  {
    KeepNaming keep;
    name = name_of(a) + a.request;
  }
  std::vector<char> buf(name.begin(), name.end());
  buf.push_back('\0');
  int type = GRD_TYPE_DETECT;
  return GRD_read_file(buf.data(), g, info, &type) == 1 && has_values(g);
}

/* Reads a file argument by the date of its name, through its convention. */
bool read_by_date(const char* arg, GRD_report* g, GRD_info* info) {
  if (!arg || !*arg || !g) return false;
  const Argument a(arg);
  KeepNaming keep;
  name_of(a);
  Date date{};
  FILE_get_date(&date);
  int type = GRD_TYPE_DETECT;
  return GRD_read_file_date(&date, a.request.c_str(), g, info, &type) == 1 && has_values(g);
}

/* Writes a result: the type from "out_file" (text files by default), key
 * "v", description and label from the two arguments after the output, the
 * output argument as naming convention of the name made from the date. A
 * function with two results (grad, vdiff) writes both, as the first and
 * second record of the one file. */
int write_results(std::initializer_list<GRD_report*> grids, const char* const* cmd, int num, int out, const char* key) {
  KeepNaming keep;
  const int type = GRD_out_file(GRD_TYPE_TEXT);
  if (key) FILE_set_key('v', key);
  for (GRD_report* g : grids) GRD_set_math_info(g, cmd, num, out + 1);
  const char* target = arg_at(cmd, num, out);
  FILE_set_name(target && *target ? target : "-");
  std::vector<char> buf(static_cast<size_t>(FILE_PATH_LEN), '\0');
  FILE_set_date(&state.info.date, buf.data());
  GRD_report* first = *grids.begin();
  GRD_set_info(&state.info, nullptr, &first->domain);
  if (grids.size() == 1) return GRD_save_file(buf.data(), first, &state.info, type) == 1 ? 1 : 0;
  const int fd = GRD_open_out_file(buf.data(), type);
  if (fd < 0) return 0;
  bool ok = GRD_putinfo(fd, &state.info) == 0;
  int pos = 0;
  for (GRD_report* g : grids) {
    ok = ok && GRD_write(fd, g, 0, &pos) == 0;
    ++pos;
  }
  if (!ok) MESS_print(M_warn, "GRD_math_command: Unable to write the results to %s\n", buf.data());
  GRD_close(fd);
  return ok ? 1 : 0;
}

int write_result(GRD_report* g, const char* const* cmd, int num, int out, const char* key) {
  return write_results({g}, cmd, num, out, key);
}

/* The output argument's index after the arguments before it, skipping an
 * "=" just before it. */
int output_index(const char* const* cmd, int num, int at) {
  return starts_with_equal(arg_at(cmd, num, at)) ? at + 1 : at;
}

bool is_op(const char* s) {
  for (const char* op : {"add", "sub", "mul", "div", "mod"})
    if (stricmp(s, op) == 0) return true;
  return false;
}

bool is_cor(const char* arg) { return arg && arg[0] == '#' && stricmp(arg + 1, "cor") == 0; }

int refuse(const char* why, const char* what) {
  MESS_print(M_warn, "GRD_math_command: %s: %s\n", why, what ? what : "");
  return 0;
}

/* "A op B = output": arithmetic of two grids, a grid and a constant, or a
 * grid and the Coriolis parameter. */
int arithmetic(const char* const* cmd, int num) {
  GRD_report* res = GRD_get_grid(kResult);
  GRD_report* second = GRD_get_grid(kFirst);
  const std::string op = cmd[1];
  std::string lower = op;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::array<GRD_report*, GRD_MATH_SLOTS + 1> grds{};
  std::array<float, GRD_MATH_SLOTS + 1> values{};
  values.fill(KEZ_FMISS);
  float number = 0;
  const bool a_const = is_constant(cmd[0], &number) || is_cor(cmd[0]);
  const bool b_const = !a_const && (is_constant(cmd[2], &number) || is_cor(cmd[2]));
  bool done = false;
  if (a_const) {
    if (!read_argument(cmd[2], res, &state.info)) return refuse("Unable to read grid", cmd[2]);
    if (is_cor(cmd[0])) {
      if (lower == "mod") return refuse("The Coriolis parameter takes add, sub, mul or div", op.c_str());
      const std::string oper = lower == "sub" ? "sub-" : lower == "div" ? "div-" : lower;
      done = GRD_coriolis(res, oper.c_str()) == 0;
    } else {
      grds = {res, nullptr, res};
      values[1] = number;
      done = GRD_math(lower.c_str(), grds.data(), values.data()) == 1;
    }
  } else if (b_const) {
    if (!read_argument(cmd[0], res, &state.info)) return refuse("Unable to read grid", cmd[0]);
    if (is_cor(cmd[2])) {
      if (lower == "mod") return refuse("The Coriolis parameter takes add, sub, mul or div", op.c_str());
      done = GRD_coriolis(res, lower.c_str()) == 0;
    } else {
      grds = {res, res, nullptr};
      values[2] = number;
      done = GRD_math(lower.c_str(), grds.data(), values.data()) == 1;
    }
  } else {
    if (!read_argument(cmd[0], res, &state.info)) return refuse("Unable to read grid", cmd[0]);
    if (!read_argument(cmd[2], second, &state.info2)) return refuse("Unable to read grid", cmd[2]);
    grds = {res, res, second};
    done = GRD_math(lower.c_str(), grds.data(), values.data()) == 1;
  }
  if (!done) return refuse("Unable to compute", op.c_str());
  return write_result(res, cmd, num, 4, op.c_str());
}

/* "piece NXxNY tile ... = output": a mosaic of NX by NY tiles, row by row
 * from the north-west. Every tile argument must be there, before any "=":
 * an output argument taken for a tile would be read, and the result
 * written to the wrong place. */
int piece(const char* const* cmd, int num) {
  int nx = 0, ny = 0;
  char tail = '\0';
  const char* size = arg_at(cmd, num, 1);
  if (!size || std::sscanf(size, "%dx%d%c", &nx, &ny, &tail) != 2 || nx < 1 || ny < 1)
    return refuse("Invalid tile count", size);
  const long long wanted = static_cast<long long>(nx) * ny;
  int given = 0;
  while (2 + given < num && given < wanted && !starts_with_equal(cmd[2 + given])) ++given;
  if (given < wanted) {
    MESS_print(M_warn, "GRD_math_command: piece %s needs %lld tile arguments, %d given\n", size, wanted, given);
    return 0;
  }
  const int tiles = static_cast<int>(wanted);
  GRD_report* res = GRD_get_grid(kResult);
  GRD_report* tile = GRD_get_grid(kFirst);
  bool set_up = false;
  for (int k = 0; k < tiles; ++k) {
    const char* arg = cmd[2 + k];
    if (!read_argument(arg, tile, &state.info)) continue; /* its place stays -9999 */
    if (!set_up) {
      std::free(res->grid);
      res->grid = nullptr;
      if (GRD_piece_setup(res, nx, ny, tile) != 0) return refuse("Unable to set up the mosaic", arg);
      set_up = true;
    }
    if (GRD_piece_grid(res, k % nx, k / nx, tile) != 0)
      MESS_print(M_warn, "GRD_math_command: Tile does not fit the mosaic: %s\n", arg);
  }
  if (!set_up) return refuse("No tile could be read", size);
  const int out = output_index(cmd, num, 2 + tiles);
  return write_result(res, cmd, num, out, arg_at(cmd, num, out));
}

/* "unit file units = output". */
int unit(const char* const* cmd, int num) {
  if (num < 3 || !*cmd[2]) return refuse("No units given", arg_at(cmd, num, 1));
  GRD_report* g = GRD_get_grid(kFirst);
  if (!read_argument(cmd[1], g, &state.info)) return refuse("Unable to read grid", cmd[1]);
  GRD_units(g, cmd[2]);
  const int out = output_index(cmd, num, 3);
  return write_result(g, cmd, num, out, arg_at(cmd, num, out));
}

/* "remap file domain = output". */
int remap(const char* const* cmd, int num) {
  if (num < 3) return refuse("No domain given", arg_at(cmd, num, 1));
  GRD_report* in = GRD_get_grid(kFirst);
  GRD_report* res = GRD_get_grid(kResult);
  if (!read_argument(cmd[1], in, &state.info)) return refuse("Unable to read grid", cmd[1]);
  Domain dom{};
  DOM_init(&dom);
  if (DOM_decode(cmd[2], &dom) < 1) return refuse("Invalid domain", cmd[2]);
  if (GRD_remap(res, &dom, in) != 0) return refuse("Unable to remap", cmd[1]);
  const int out = output_index(cmd, num, 3);
  return write_result(res, cmd, num, out, arg_at(cmd, num, out));
}

/* "cutoff file lower|higher cutoff value = output". */
int cutoff(const char* const* cmd, int num) {
  if (num < 6) return refuse("cutoff needs a file, lower or higher, a cut-off and a value", arg_at(cmd, num, 1));
  float cut = 0, value = 0;
  if (!read_float(cmd[3], &cut) || !read_float(cmd[4], &value)) return refuse("Invalid cut-off numbers", cmd[3]);
  GRD_report* in = GRD_get_grid(kFirst);
  GRD_report* res = GRD_get_grid(kResult);
  if (!read_argument(cmd[1], in, &state.info)) return refuse("Unable to read grid", cmd[1]);
  if (GRD_cutoff(res, cmd[2], cut, value, in) != 0) return refuse("Unable to cut off", cmd[2]);
  const int out = output_index(cmd, num, 5);
  return write_result(res, cmd, num, out, arg_at(cmd, num, out));
}

/* The text of a point form "id" or "ll" at cmd[*at]: the next argument
 * after the word alone (*at moves to it), or the text after the word and
 * one separator; null when the argument is not that form. */
const char* point_text(const char* const* cmd, int num, int* at, const char* word) {
  const char* arg = cmd[*at];
  if (strnicmp(arg, word, 2) != 0) return nullptr;
  if (arg[2] == '\0') {
    ++*at;
    const char* next = arg_at(cmd, num, *at);
    return next ? next : "";
  }
  return arg[3] ? arg + 3 : "";
}

/* Grid position in g of the point argument at cmd[*at] (moved past it):
 * "id" and a station of the station file, "ll" and "lat,lon", or "x,y" in
 * grid coordinates (column from the left, row from the top). *place tells
 * a station or latitude-longitude point from grid coordinates. */
bool read_point(const char* const* cmd, int num, int* at, const GRD_report* g, float* gx, float* gy, bool* place) {
  const char* arg = cmd[*at];
  const char* id = point_text(cmd, num, at, "id");
  const char* ll = id ? nullptr : point_text(cmd, num, at, "ll");
  ++*at;
  float lat = KEZ_FMISS, lon = KEZ_FMISS;
  *place = id || ll;
  if (id) {
    if (!*id) return refuse("No station after", arg) != 0;
    if (!CTY_get_loc(nullptr, id, &lat, &lon)) return refuse("Unknown station", id) != 0;
  } else if (ll) {
    if (!read_pair(ll, &lat, &lon)) return refuse("Invalid latitude and longitude", *ll ? ll : arg) != 0;
  } else {
    if (!read_pair(arg, gx, gy)) return refuse("Invalid point", arg) != 0;
    return true;
  }
  Domain saved{};
  MAP_get_domain(&saved);
  MAP_domain(&g->domain);
  float x = KEZ_FMISS, y = KEZ_FMISS;
  *gx = *gy = KEZ_FMISS;
  if (MAP_tran(lat, lon, &x, &y)) MAP_grid_untran(x, y, gx, gy);
  MAP_domain(&saved);
  return true;
}

/* "val file point ...": one value a line. */
int values_at(const char* const* cmd, int num, const GRD_report* g) {
  std::string format = "%f";
  if (const char* f = RES_get("plot_format"); f && *f) format.assign(f, std::min(std::strlen(f), kPlotFormatLen));
  for (int at = 2; at < num;) {
    float gx = KEZ_FMISS, gy = KEZ_FMISS;
    bool place = false;
    if (!read_point(cmd, num, &at, g, &gx, &gy, &place)) return 0;
    float v = GRD_get_value(g, gx, gy);
    MESS_print(M_print, "%s\n", FMT_print_float("GRD_math_command", format.c_str(), "%f", v).c_str());
  }
  return 1;
}

/* "loc file point": grid coordinates of a place, or the place of grid
 * coordinates. */
int location(const char* const* cmd, int num, const GRD_report* g) {
  if (num < 3) return refuse("No point given", cmd[1]);
  int at = 2;
  float gx = KEZ_FMISS, gy = KEZ_FMISS;
  bool place = false;
  if (!read_point(cmd, num, &at, g, &gx, &gy, &place)) return 0;
  if (place) {
    MESS_print(M_print, "%f %f\n", gx, gy);
    return 1;
  }
  Domain saved{};
  MAP_get_domain(&saved);
  MAP_domain(&g->domain);
  float x = KEZ_FMISS, y = KEZ_FMISS, lat = KEZ_FMISS, lon = KEZ_FMISS;
  MAP_grid_tran(gx, gy, &x, &y);
  if (!is_miss(x)) MAP_untran(x, y, &lat, &lon);
  MAP_domain(&saved);
  MESS_print(M_print, "%f %f\n", lat, lon);
  return 1;
}

/* Statistics and descriptions printed when nothing or "=" follows. -1:
 * not one of them. */
int print_form(const char* name, GRD_report* g) {
  if (stricmp(name, "info") == 0) {
    for (int k = 0; k < 3; ++k) GRD_print_info(kInfoMask[k], g, k);
    MESS_print(kDomainMask, "Domain: ");
    DOM_print(kDomainMask, &g->domain);
    return 1;
  }
  if (stricmp(name, "domain") == 0) {
    DOM_print(kDomainMask, &g->domain);
    return 1;
  }
  float v[2] = {KEZ_FMISS, KEZ_FMISS};
  if (!GRD_stats(name, g, v)) return -1;
  if (is_miss(v[0]))
    MESS_print(M_print, "-- ");
  else
    MESS_print(M_print, "%f ", v[0]);
  if (!is_miss(v[1])) MESS_print(M_print, "%f ", v[1]);
  MESS_print(M_print, "\n");
  return 1;
}

/* Any calculator function of the first grid and the following operands.
 * The operand list's entry k is store slot k: the result (and, for a
 * function with two results, the second result in slot 1), then the first
 * grid, then the further operands. */
int calculate(const char* const* cmd, int num) {
  const char* name = cmd[0];
  const bool two = GRD_is_vect_func(name) != 0;
  GRD_report* res = GRD_get_grid(kResult);
  GRD_report* second = two ? GRD_get_grid(kFirst) : nullptr;
  const int first_entry = two ? kFurther : kFirst;
  GRD_report* first = GRD_get_grid(first_entry);
  std::free(first->grid);
  first->grid = nullptr;
  GRD_copy(first, res);
  res->grid = nullptr;
  if (!GRD_alloc(res)) return refuse("No memory for the result of", name);
  if (second) {
    std::free(second->grid);
    GRD_init(second);
    GRD_copy_info(second, first);
    if (!GRD_alloc(second)) return refuse("No memory for the result of", name);
  }
  std::array<GRD_report*, GRD_MATH_SLOTS + 1> grds{};
  std::array<float, GRD_MATH_SLOTS + 1> values{};
  values.fill(KEZ_FMISS);
  grds[0] = res;
  if (second) grds[1] = second;
  grds[static_cast<size_t>(first_entry)] = first;
  int entry = first_entry + 1;
  int at = 2;
  for (; at < num && !starts_with_equal(cmd[at]); ++at) {
    if (entry >= GRD_MATH_SLOTS) {
      MESS_print(M_warn, "GRD_math_command: %s takes at most %d operands\n", name, GRD_MATH_SLOTS - first_entry);
      return 0;
    }
    float number = 0;
    if (is_constant(cmd[at], &number)) {
      values[static_cast<size_t>(entry++)] = number;
      continue;
    }
    GRD_report* g = GRD_get_grid(entry);
    if (!read_argument(cmd[at], g, &state.info2)) {
      MESS_print(M_warn, "GRD_math_command: Operand skipped: %s\n", cmd[at]);
      continue;
    }
    grds[static_cast<size_t>(entry++)] = g;
  }
  if (!GRD_math(name, grds.data(), values.data())) return 0;
  const int out = output_index(cmd, num, at);
  if (second) return write_results({res, second}, cmd, num, out, name);
  return write_result(res, cmd, num, out, name);
}

} // namespace

int GRD_find_param_grids(int start, int num, int level, GRD_report** grds, float* values) {
  int count = 0;
  return gather(start, num, level, grds, values, &count);
}

int GRD_calc_var() {
  const int n = list_length();
  int deepest = 0;
  for (int j = 0; j < n; ++j) deepest = std::max(deepest, VAR_get_flag(j) / 10);
  for (int d = deepest - 1; d >= 0; --d)
    for (int j = 0; j < n; ++j) {
      const GRD_report* s = GRD_get_grid(j);
      if (!s || s->source != 0 || !VAR_is_calc_GRID(j) || VAR_get_flag(j) / 10 != d) continue;
      if (derive(j, d)) ++j;
    }
  return 1;
}

int GRD_set_math_info(GRD_report* grid, const char* const* cmd, int num, int ind) {
  if (!grid || !cmd) return 0;
  const char* info = arg_at(cmd, num, ind);
  if (info && *info && std::strcmp(info, "-") != 0) {
    if (strnicmp(info, "v=", 2) == 0) {
      grid->var = VAR_search_var_num(info + 2);
      FILE_set_key('v', info + 2);
      char buf[160] = "";
      VAR_make_datatype(grid->time, grid->ltype, grid->level, grid->var, grid->units, buf, sizeof buf);
      copy_field(grid->info, sizeof grid->info, buf);
    } else {
      copy_field(grid->info, sizeof grid->info, info);
    }
  }
  const char* label = arg_at(cmd, num, ind + 1);
  if (label && *label && std::strcmp(label, "-") != 0) copy_field(grid->datim, sizeof grid->datim, label);
  return 0;
}

int GRD_math_file(const char* str, const char* const* files, int num) {
  if (!str) return -1;
  const std::string text = str;
  const size_t dash = text.find('-');
  const std::string name = text.substr(0, dash);
  const std::string option = dash == std::string::npos ? "" : text.substr(dash + 1);
  enum { kMax, kMin, kSum, kAvg } func;
  if (name.size() > kFuncNameLen) return -1;
  if (name == "max")
    func = kMax;
  else if (name == "min")
    func = kMin;
  else if (name == "sum")
    func = kSum;
  else if (name == "avg")
    func = kAvg;
  else
    return -1;
  GRD_report* res = GRD_get_grid(kResult);
  GRD_report* in = GRD_get_grid(kFirst);
  std::array<GRD_report*, GRD_MATH_SLOTS + 1> grds{};
  std::array<float, GRD_MATH_SLOTS + 1> values{};
  values.fill(KEZ_FMISS);
  grds[0] = res;
  std::array<float*, GRD_MATH_SLOTS> ptr{};
  int nx = 0, ny = 0;
  if (!has_values(res) ||
      !GRD_math_setup(ptr.data(), &nx, &ny, 0, grds.data(), values.data(), name.c_str(), option.c_str(), nullptr)) {
    MESS_print(kWarnLow, "GRD_math_file: Invalid grids\n");
    return 0;
  }
  const size_t n = points(res);
  int taken = 0;
  int read = 0;
  for (; files && taken < num && files[taken] && !starts_with_equal(files[taken]); ++taken) {
    if (!read_argument(files[taken], in, &state.info)) continue;
    if (in->domain.nx != nx || in->domain.ny != ny) {
      MESS_print(M_warn, "GRD_math_file: Grid of %s is %d by %d, the result %d by %d\n", files[taken], in->domain.nx,
                 in->domain.ny, nx, ny);
      return 0;
    }
    ++read;
    for (size_t k = 0; k < n; ++k) {
      float& r = res->grid[k];
      const float v = in->grid[k];
      if (is_miss(r) || is_miss(v)) {
        r = KEZ_FMISS;
        continue;
      }
      if (func == kMax)
        r = std::max(r, v);
      else if (func == kMin)
        r = std::min(r, v);
      else
        r += v;
    }
  }
  if (func == kAvg)
    for (size_t k = 0; k < n; ++k)
      if (!is_miss(res->grid[k])) res->grid[k] /= static_cast<float>(1 + read);
  return taken;
}

int GRD_math_command(int num, const char* const* cmd) {
  if (!cmd) return 0;
  {
    int argc = 0;
    char** argv = nullptr;
    RES_getvals("parameter", &argc, &argv);
    for (int i = 0; i < argc; ++i)
      if (strnicmp(argv[i], kFormatItem, static_cast<int>(kFormatItemLen)) == 0 &&
          std::strlen(argv[i]) > kFormatItemLen + 1)
        GRD_set_format(argv[i] + kFormatItemLen + 1);
    free_parsed_array(argc, argv);
  }
  /* Two arguments are enough for the read-outs ("max file"); every other
   * form needs three. */
  if (num < 2) {
    MESS_print(M_warn, "GRD_math_command: Too few arguments\n");
    return 0;
  }
  for (int i = 0; i < num; ++i)
    if (!cmd[i]) return refuse("Missing argument", "");
  if (num >= 3 && is_op(cmd[1])) return arithmetic(cmd, num);
  if (stricmp(cmd[0], "piece") == 0) return piece(cmd, num);
  if (stricmp(cmd[0], "unit") == 0) return unit(cmd, num);
  if (stricmp(cmd[0], "remap") == 0) return remap(cmd, num);
  if (stricmp(cmd[0], "cutoff") == 0) return cutoff(cmd, num);

  GRD_report* g = GRD_get_grid(kResult);
  if (!read_by_date(cmd[1], g, &state.info)) return refuse("Unable to read grid", cmd[1]);
  const char* name = cmd[0];
  if (num == 2 || starts_with_equal(cmd[2])) {
    int res = print_form(name, g);
    if (res >= 0) return res;
  }
  if (num < 3) {
    MESS_print(M_warn, "GRD_math_command: Too few arguments\n");
    return 0;
  }
  if (stricmp(name, "val") == 0) return values_at(cmd, num, g);
  if (stricmp(name, "loc") == 0) return location(cmd, num, g);
  const int taken = GRD_math_file(name, cmd + 2, num - 2);
  if (taken == 0) return 0;
  if (taken > 0) {
    const int out = output_index(cmd, num, 2 + taken);
    return write_result(g, cmd, num, out, name);
  }
  return calculate(cmd, num);
}
