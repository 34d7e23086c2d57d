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

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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
    {"wind", VAR_TYPE_WIND},    {"vect", VAR_TYPE_VECT},   {"stream", VAR_TYPE_STRM}, {"strm", VAR_TYPE_STRM},
    {"copy", VAR_TYPE_GRID},    {"max", VAR_TYPE_GRID},    {"min", VAR_TYPE_GRID},    {"add", VAR_TYPE_GRID},
    {"sum", VAR_TYPE_GRID},     {"avg", VAR_TYPE_GRID},    {"interp", VAR_TYPE_GRID}, {"sub", VAR_TYPE_GRID},
    {"thick", VAR_TYPE_GRID},   {"mul", VAR_TYPE_GRID},    {"mod", VAR_TYPE_GRID},    {"sqrt", VAR_TYPE_GRID},
    {"pow", VAR_TYPE_GRID},     {"exp", VAR_TYPE_GRID},    {"log", VAR_TYPE_GRID},    {"log10", VAR_TYPE_GRID},
    {"abs", VAR_TYPE_GRID},     {"div", VAR_TYPE_GRID},    {"sin", VAR_TYPE_GRID},    {"cos", VAR_TYPE_GRID},
    {"tan", VAR_TYPE_GRID},     {"asin", VAR_TYPE_GRID},   {"acos", VAR_TYPE_GRID},   {"atan", VAR_TYPE_GRID},
    {"atan2", VAR_TYPE_GRID},   {"dx", VAR_TYPE_GRID},     {"dy", VAR_TYPE_GRID},     {"dewp", VAR_TYPE_GRID},
    {"rhum", VAR_TYPE_GRID},    {"wetblb", VAR_TYPE_GRID}, {"show", VAR_TYPE_GRID},   {"wchill", VAR_TYPE_GRID},
    {"wchill2", VAR_TYPE_GRID}, {"heat", VAR_TYPE_GRID},   {"theta", VAR_TYPE_GRID},  {"thetae", VAR_TYPE_GRID},
    {"vtemp", VAR_TYPE_GRID},   {"thetav", VAR_TYPE_GRID}, {"vapor", VAR_TYPE_GRID},  {"shum", VAR_TYPE_GRID},
    {"mixrat", VAR_TYPE_GRID},  {"wspd", VAR_TYPE_GRID},   {"spd", VAR_TYPE_GRID},    {"mag", VAR_TYPE_GRID},
    {"wdir", VAR_TYPE_GRID},    {"dir", VAR_TYPE_GRID},    {"dot", VAR_TYPE_GRID},    {"cross", VAR_TYPE_GRID},
    {"ugeos", VAR_TYPE_GRID},   {"vgeos", VAR_TYPE_GRID},  {"uq", VAR_TYPE_GRID},     {"vq", VAR_TYPE_GRID},
    {"lapl", VAR_TYPE_GRID},    {"conv", VAR_TYPE_GRID},   {"diverg", VAR_TYPE_GRID}, {"def1", VAR_TYPE_GRID},
    {"def2", VAR_TYPE_GRID},    {"vconv", VAR_TYPE_GRID},  {"rvort", VAR_TYPE_GRID},  {"avort", VAR_TYPE_GRID},
    {"adv", VAR_TYPE_GRID},
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

/* ---- the evaluator --------------------------------------------------------
 *
 * GRD_math walks the output in storage order with one cursor per operand
 * slot (a grid's data, or none for a constant) and computes each point from
 * the operands under the cursors. Every result that is not a finite number
 * is stored as -9999, the only "no value" the consumers of grids know.
 * Operand grids of another size than the output, a constant where a grid
 * is needed and more operands than the cursors hold are refused before
 * anything is read. */

namespace {

constexpr float kMiss = KEZ_MISS;
constexpr M_type kCalcMess = 0x40;
constexpr double kDegRad = 0.017453292519943334;
constexpr double kRadDeg = 57.295779513082195;
constexpr int kIsobaric = 100;
/* Gravity (m/s^2) of the geostrophic winds; dry-air gas constant (J/kg/K). */
constexpr double kGravity = 9.8;
constexpr double kGasDry = 287.05;
/* Scale factors of the derivative units texts. */
constexpr float kScale1 = 1e-5f;
constexpr float kScale2 = 1e-10f;
/* The Q-vector, a product of two derivatives per 100 km with the pressure
 * in Pa: R/p times per second times K per metre, scaled by 1e10. */
constexpr const char* kQUnits = "1e-10 m^2/kg/s";

float finite_or_miss(double v) { return std::isfinite(v) ? static_cast<float>(v) : kMiss; }

bool is_grid(const GRD_report* g) { return g && g->source != 0 && g->grid; }

void set_units(GRD_report* g, const char* units) { std::snprintf(g->units, sizeof g->units, "%s", units ? units : ""); }

/* The scaled units text of a derivative of a field in `src` units. */
std::string scaled_units(const char* src, float scale, const char* suffix) {
  std::string in = src ? src : "";
  std::vector<char> out(in.size() + std::strlen(suffix) + 16);
  UNIT_scale(in.c_str(), scale, suffix, out.data());
  return out.data();
}

/* A grid with the header of another and an array of its own, freed when
 * the object goes. */
struct Temp {
  GRD_report r;
  bool ok = false;
  explicit Temp(const GRD_report* like) {
    std::memset(&r, 0, sizeof r);
    GRD_init(&r);
    GRD_copy_info(&r, like);
    ok = GRD_alloc(&r) != 0;
  }
  ~Temp() { std::free(r.grid); }
  Temp(const Temp&) = delete;
  Temp& operator=(const Temp&) = delete;
};

/* Makes a domain current while it lives. */
struct DomainSwap {
  Domain saved;
  explicit DomainSwap(const Domain& d) {
    MAP_get_domain(&saved);
    MAP_domain(&d);
  }
  ~DomainSwap() { MAP_domain(&saved); }
  DomainSwap(const DomainSwap&) = delete;
  DomainSwap& operator=(const DomainSwap&) = delete;
};

/* One call of the evaluator. */
struct Call {
  std::string name, type;
  GRD_report** grids;
  float* values;
  float* ptr[GRD_MATH_SLOTS] = {};
  int nx = 0, ny = 0;
  int first = 1; /* slot of operand 1 */

  GRD_report* out(int k = 0) const { return grids[k]; }
  GRD_report* op(int n) const { return grids[first + n - 1]; }
  bool op_is_grid(int n) const { return first + n - 1 < GRD_MATH_SLOTS && is_grid(op(n)); }
  float val(int n) { return GRD_get_math_val(first + n - 1, ptr, values); }
  size_t points() const { return static_cast<size_t>(nx) * static_cast<size_t>(ny); }
  void step() {
    for (float*& p : ptr)
      if (p) ++p;
  }
  bool invalid() const {
    MESS_print(kCalcMess, "GRD_math: Invalid grids\n");
    return false;
  }
  /* Operands 1 to n must be grids. */
  bool need_grids(int n) const {
    for (int k = 1; k <= n; ++k)
      if (!op_is_grid(k)) return invalid();
    return true;
  }
  bool setup(int num, const char* units) {
    if (!GRD_math_setup(ptr, &nx, &ny, num, grids, values, name.c_str(), type.c_str(), units)) return invalid();
    return true;
  }
  /* Walks the points: f(v) with v[1..num] the operands gives the value;
   * a missing operand gives -9999 unless `any_missing` is set. */
  template <class F>
  void walk(int num, F f, bool any_missing = false) {
    std::vector<float> v(static_cast<size_t>(num) + 1);
    for (size_t k = 0; k < points(); ++k) {
      bool miss = false;
      for (int n = 1; n <= num; ++n) {
        v[n] = val(n);
        if (v[n] == kMiss) miss = true;
      }
      *ptr[0] = (miss && !any_missing) ? kMiss : finite_or_miss(f(v.data(), num));
      step();
    }
  }
  void rename(int from, const char* word) {
    if (type.empty() && op_is_grid(from)) GRD_make_devtype(out(), op(from), word);
  }
  int var_of(const char* abbr) const { return VAR_search_var_num(abbr); }
};

/* Plot position of grid point (i, j) of the current domain. */
struct Placer {
  float xc = 0, yc = 0;
  Domain d;
  bool ok;
  explicit Placer(const Domain& dom) : d(dom) { ok = MAP_tran(d.clat, d.clon, &xc, &yc) != 0; }
  float x(size_t k) const { return xc - d.dx * (d.nx - 1) / 2.0f + static_cast<float>(k % d.nx) * d.dx; }
  float y(size_t k) const { return yc + d.dy * (d.ny - 1) / 2.0f - static_cast<float>(k / d.nx) * d.dy; }
};

double wind_dir(double u, double v) {
  if (u == 0 && v == 0) return 0;
  double a = std::atan2(-u, -v) * kRadDeg;
  return a < 0 ? a + 360 : a;
}

/* ---- function groups; each returns 1 done, 0 failed, -1 not its name ---- */

int arithmetic(Call& c) {
  using Fn = double (*)(const float*, int);
  struct Row {
    const char* name;
    int num;   /* -1: counted */
    int units; /* 0 unchanged, 1 units of operand 1 */
    Fn fn;
    bool any_missing;
  };
  static constexpr Row rows[] = {
      {"copy", 1, 0, [](const float* v, int) -> double { return v[1]; }, false},
      {"add", 2, 0, [](const float* v, int) -> double { return v[1] + v[2]; }, false},
      {"sub", 2, 1, [](const float* v, int) -> double { return v[1] - v[2]; }, false},
      {"thick", 2, 1, [](const float* v, int) -> double { return v[1] - v[2]; }, false},
      {"mul", 2, 0, [](const float* v, int) -> double { return v[1] * v[2]; }, false},
      {"div", 2, 0, [](const float* v, int) -> double { return v[1] / v[2]; }, false},
      {"mod", 2, 0, [](const float* v, int) -> double { return std::fmod(v[1], v[2]); }, false},
      {"pow", 2, 0, [](const float* v, int) -> double { return std::pow(v[1], v[2]); }, false},
      {"sqrt", 1, 0, [](const float* v, int) -> double { return std::sqrt(v[1]); }, false},
      {"exp", 1, 0, [](const float* v, int) -> double { return std::exp(v[1]); }, false},
      {"log", 1, 0, [](const float* v, int) -> double { return v[1] <= 0 ? kMiss : std::log(v[1]); }, false},
      {"log10", 1, 0, [](const float* v, int) -> double { return v[1] <= 0 ? kMiss : std::log10(v[1]); }, false},
      {"abs", 1, 0, [](const float* v, int) -> double { return std::fabs(v[1]); }, false},
      {"sin", 1, 0, [](const float* v, int) -> double { return std::sin(v[1] * kDegRad); }, false},
      {"cos", 1, 0, [](const float* v, int) -> double { return std::cos(v[1] * kDegRad); }, false},
      {"tan", 1, 0, [](const float* v, int) -> double { return std::tan(v[1] * kDegRad); }, false},
      {"asin", 1, 0, [](const float* v, int) -> double { return std::asin(v[1]) * kRadDeg; }, false},
      {"acos", 1, 0, [](const float* v, int) -> double { return std::acos(v[1]) * kRadDeg; }, false},
      {"atan", 1, 0, [](const float* v, int) -> double { return std::atan(v[1]) * kRadDeg; }, false},
      {"atan2", 2, 0, [](const float* v, int) -> double { return std::atan2(v[1], v[2]) * kRadDeg; }, false},
      {"interp", 3, 1, [](const float* v, int) -> double { return (v[3] - v[1]) * v[2] + v[1]; }, false},
      {"max", -1, 0,
       [](const float* v, int n) -> double {
         double m = kMiss;
         for (int k = 1; k <= n; ++k)
           if (v[k] != kMiss && (m == kMiss || v[k] > m)) m = v[k];
         return m;
       },
       true},
      {"min", -1, 0,
       [](const float* v, int n) -> double {
         double m = kMiss;
         for (int k = 1; k <= n; ++k)
           if (v[k] != kMiss && (m == kMiss || v[k] < m)) m = v[k];
         return m;
       },
       true},
      {"sum", -1, 1,
       [](const float* v, int n) -> double {
         double s = 0;
         for (int k = 1; k <= n; ++k)
           if (v[k] != kMiss) s += v[k];
         return s;
       },
       true},
      {"avg", -1, 1,
       [](const float* v, int n) -> double {
         if (n == 0) return kMiss;
         float s = 0;
         for (int k = 1; k <= n; ++k) {
           if (v[k] == kMiss) return kMiss;
           s += v[k];
         }
         return s == kMiss ? kMiss : s / static_cast<float>(n);
       },
       true},
  };
  for (const Row& r : rows) {
    if (c.name != r.name) continue;
    int num = r.num >= 0 ? r.num : GRD_find_num_data(c.grids, c.values);
    std::string units;
    if (r.units && c.op_is_grid(1)) units = c.op(1)->units;
    if (!c.setup(num, units.empty() ? nullptr : units.c_str())) return 0;
    c.walk(num, r.fn, r.any_missing);
    return 1;
  }
  return -1;
}

int smooth(Call& c) {
  if (c.name != "smooth") return -1;
  if (!c.need_grids(1) || !c.setup(2, nullptr)) return 0;
  const float* a = c.op(1)->grid;
  const int nx = c.nx, ny = c.ny;
  for (size_t k = 0; k < c.points(); ++k) {
    float r = c.val(2);
    const int i = static_cast<int>(k % nx), j = static_cast<int>(k / nx);
    double sum = 0, wsum = 0;
    if (a[k] != kMiss && r != kMiss) {
      for (int dj = -4; dj <= 4; ++dj)
        for (int di = -4; di <= 4; ++di) {
          int ii = i + di, jj = j + dj;
          if (ii < 0 || ii >= nx || jj < 0 || jj >= ny) continue;
          float z = a[static_cast<size_t>(jj) * nx + ii];
          if (z == kMiss) continue; /* gaps are left out, not averaged in */
          double w = std::exp(static_cast<float>(di * di + dj * dj) / r);
          sum += w * z;
          wsum += w;
        }
    }
    *c.ptr[0] = (a[k] == kMiss || r == kMiss) ? kMiss : finite_or_miss(sum / wsum);
    c.step();
  }
  return 1;
}

int geographic(Call& c) {
  if (c.name != "lat" && c.name != "lon" && c.name != "projx" && c.name != "projy") return -1;
  if (!c.need_grids(1) || !c.setup(1, nullptr)) return 0;
  GRD_report* o = c.out();
  if (o != c.op(1)) {
    float* keep = o->grid;
    GRD_copy_info(o, c.op(1));
    o->grid = keep;
    std::memcpy(o->grid, c.op(1)->grid, c.points() * sizeof(float));
  }
  GRD_point_locate(o, c.name.c_str());
  return 1;
}

/* Pressure of a thermodynamic function: the output's level on an isobaric
 * output, else operand `n` when given, else 1000 mb. */
struct Pressure {
  bool isobaric;
  float level;
  int slot; /* operand number of a given pressure, 0 for none */
};

int thermo(Call& c) {
  static constexpr const char* names[] = {"dewp",   "rhum",  "wetblb", "show",  "wchill", "wchill2", "heat",  "theta",
                                          "thetae", "vtemp", "thetav", "vapor", "pr_alt", "shum",    "mixrat"};
  bool known = false;
  for (const char* n : names) known = known || c.name == n;
  if (!known) return -1;
  const std::string& f = c.name;
  const GRD_report* o = c.out();
  const bool isobaric = o && o->ltype == kIsobaric;
  const float out_p = isobaric ? static_cast<float>(o->level) : 1000.0f;
  const int dewp_var = c.var_of("dewp");
  int num;
  if (f == "dewp" || f == "rhum" || f == "heat")
    num = 2;
  else if (f == "show")
    num = 3;
  else if (f == "pr_alt")
    num = 1;
  else
    num = GRD_find_num_data(c.grids, c.values);
  /* Forms and the operand that holds a pressure. */
  int min = 1, p_slot = 0;
  bool td_first = false; /* operand 1 is a dew point (vapor, shum, mixrat) */
  if (f == "wetblb" || f == "thetae" || f == "vtemp" || f == "thetav")
    min = 2, p_slot = 3;
  else if (f == "theta")
    min = 1, p_slot = 2;
  else if (f == "wchill" || f == "wchill2")
    min = 2;
  else if (f == "vapor") {
    td_first = c.op_is_grid(1) && c.op(1)->var == dewp_var && dewp_var > 0;
    min = td_first ? 1 : 2;
    if (td_first) num = 1;
  } else if (f == "shum" || f == "mixrat") {
    td_first = c.op_is_grid(1) && c.op(1)->var == dewp_var && dewp_var > 0;
    p_slot = td_first ? 2 : 3;
    min = td_first ? 1 : 2;
  }
  if (p_slot && isobaric && num >= p_slot) num = p_slot - 1;
  if (num < min) num = min;
  if (f == "vapor" && num > 2) num = 2;
  if (f == "wchill" || f == "wchill2") num = std::min(num, 3);
  if (p_slot) num = std::min(num, p_slot);
  if (!c.need_grids(num)) return 0;
  const char* units = "K";
  if (f == "rhum")
    units = "%";
  else if (f == "show")
    units = "dC";
  else if (f == "vapor")
    units = "mb";
  else if (f == "pr_alt")
    units = "m";
  else if (f == "shum" || f == "mixrat")
    units = "gm/kg";
  if (!c.setup(num, units)) return 0;
  const bool has_p = p_slot && num >= p_slot;
  /* Conversions stay in the operand grids. */
  auto to = [&](int n, const char* u) {
    if (n <= num) GRD_units(c.op(n), u);
  };
  auto h_is_td = [&](int n) { return c.op(n)->var == dewp_var && dewp_var > 0; };
  if (f == "pr_alt")
    to(1, "mb");
  else if (td_first)
    to(1, "K");
  else
    to(1, "K");
  if (f == "rhum") to(2, "K");
  if (f == "show") {
    if (h_is_td(2)) to(2, "K");
    to(3, "K");
  }
  /* A dew point is used in kelvin by every function, the wet-bulb
   * temperature too: in other units it would fall outside the formulas'
   * range and give -9999 everywhere. */
  if ((f == "heat" || f == "wetblb" || f == "thetae" || f == "vtemp" || f == "thetav" || f == "shum" || f == "mixrat" ||
       f == "vapor") &&
      !td_first && num >= 2 && h_is_td(2))
    to(2, "K");
  if (f == "wchill" || f == "wchill2") {
    to(2, "m/s");
    to(3, "m/s");
  }
  if (has_p) to(p_slot, "mb");
  const bool td2 = num >= 2 && h_is_td(2);
  const int spd_var1 = c.var_of("wspd"), spd_var2 = c.var_of("spd");
  const bool speed_given = (f == "wchill" || f == "wchill2") && (c.op(2)->var == spd_var1 || c.op(2)->var == spd_var2);
  if ((f == "wchill" || f == "wchill2") && !speed_given && num < 3) return c.invalid();
  c.walk(num, [&](const float* v, int) -> double {
    const float t = v[1];
    const float p = has_p ? v[p_slot] : out_p;
    auto td_of = [&](float h) { return td2 ? h : dew_temp(t, h); };
    if (f == "dewp") return dew_temp(t, v[2]);
    if (f == "rhum") return rel_hum(t, v[2]);
    if (f == "wetblb") return wet_bulb(t, td_of(v[2]), p);
    if (f == "show") {
      float td = td_of(v[2]);
      float pl = lcl_pres(t, td, 850);
      float tl = lcl_temp(t, 850, pl);
      float tp = pl >= 500 ? temp_on_satad(thetae_on_satad(tl, pl), 500) : temp_on_dryad(pot_temp(t, 850), 500);
      return tp == kMiss ? kMiss : v[3] - tp;
    }
    if (f == "wchill" || f == "wchill2") {
      double s = speed_given ? v[2] : std::sqrt(double(v[2]) * v[2] + double(v[3]) * v[3]);
      return f == "wchill" ? wind_chill_temp(t, static_cast<float>(s)) : wind_chill_temp2(t, static_cast<float>(s));
    }
    if (f == "heat") return heat_index(t, td_of(v[2]));
    if (f == "theta") return pot_temp(t, p);
    if (f == "thetae") return eq_pot_temp(t, td_of(v[2]), p);
    if (f == "vtemp") return virt_temp(t, td_of(v[2]), p);
    if (f == "thetav") return virt_pot_temp(t, td_of(v[2]), p);
    if (f == "vapor") return vapor_pr(td_first ? t : td_of(v[2]));
    if (f == "pr_alt") return pres_alt(t);
    const float td = td_first ? t : td_of(v[2]);
    return f == "shum" ? spec_hum(td, p) : mix_ratio(td, p);
  });
  return 1;
}

int wind(Call& c) {
  const std::string& f = c.name;
  const bool speed = f == "wspd" || f == "spd" || f == "mag";
  const bool dir = f == "wdir" || f == "dir" || f == "ewdir";
  const bool comp = f == "uwnd" || f == "vwnd" || f == "uwndg" || f == "vwndg";
  const bool prod = f == "dot" || f == "cross";
  if (!speed && !dir && !comp && !prod) return -1;
  const int num = prod ? 4 : 2;
  if (!c.need_grids(num)) return 0;
  const char* units = dir ? "deg" : (prod ? "m^2/s^2" : "m/s");
  if (!c.setup(num, units)) return 0;
  if (speed || dir) {
    GRD_units(c.op(1), "m/s");
    GRD_units(c.op(2), "m/s");
  } else if (comp) {
    GRD_units(c.op(2), "m/s");
  }
  if (dir && c.type.empty()) {
    c.out()->var = c.var_of("wdir");
    GRD_make_datatype(c.out(), nullptr);
  }
  if (f == "spd") c.rename(1, "Speed");
  if (f == "mag") c.rename(1, "Magnitude");
  const bool turn = f == "ewdir" || f == "uwndg" || f == "vwndg";
  std::unique_ptr<DomainSwap> swap;
  std::unique_ptr<Placer> place;
  if (turn) {
    swap = std::make_unique<DomainSwap>(c.out()->domain);
    place = std::make_unique<Placer>(c.out()->domain);
  }
  size_t k = 0;
  c.walk(num, [&](const float* v, int) -> double {
    const size_t at = k++;
    if (speed) return std::sqrt(double(v[1]) * v[1] + double(v[2]) * v[2]);
    if (f == "dot") return double(v[1]) * v[3] + double(v[2]) * v[4];
    if (f == "cross") return double(v[1]) * v[4] - double(v[2]) * v[3];
    if (dir) {
      double a = wind_dir(v[1], v[2]);
      if (f != "ewdir") return a > 360 ? a - 360 : a;
      if (v[1] == 0 && v[2] == 0) return 0;
      if (!place->ok) return kMiss;
      double t = MAP_undir_adj(static_cast<float>(a), place->x(at), place->y(at));
      if (t < 0) t += 360;
      if (t > 360) t -= 360;
      return t;
    }
    double d = v[1];
    if (f == "uwndg" || f == "vwndg") {
      if (!place->ok) return kMiss;
      d = MAP_dir_adj(v[1], place->x(at), place->y(at));
    }
    const bool u = f == "uwnd" || f == "uwndg";
    return u ? -v[2] * std::sin(d * kDegRad) : -v[2] * std::cos(d * kDegRad);
  });
  return 1;
}

/* Sets the scaled units text on the outputs from operand `from`. */
void derivative_units(Call& c, int outs, int from, float scale, const char* suffix) {
  std::string u = scaled_units(c.op(from)->units, scale, suffix);
  for (int k = 0; k < outs; ++k) {
    set_units(c.out(k), u.c_str());
    GRD_make_datatype(c.out(k), nullptr);
  }
}

/* Geostrophic wind component from the height grid h into g: u from the y
 * gradient, v from the x gradient. */
bool geostrophic(GRD_report* h, GRD_report* g, bool u) {
  if ((u ? GRD_dy(h, g) : GRD_dx(h, g)) != 0) return false;
  GRD_coriolis(g, "div");
  GRD_scale(g, static_cast<float>(u ? -kGravity : kGravity));
  return true;
}

int kinematic(Call& c) {
  const std::string& f = c.name;
  static constexpr const char* names[] = {"dx",     "dy",    "grad",  "vdiff", "lapl", "conv",
                                          "diverg", "vconv", "rvort", "avort", "def1", "def2",
                                          "adv",    "ugeos", "vgeos", "uq",    "vq"};
  bool known = false;
  for (const char* n : names) known = known || f == n;
  if (!known) return -1;
  int num = 1;
  if (f == "vdiff")
    num = 4;
  else if (f == "conv" || f == "diverg" || f == "def1" || f == "def2")
    num = GRD_find_num_data(c.grids, c.values);
  else if (f == "vconv" || f == "adv")
    num = 3;
  else if (f == "rvort" || f == "avort" || f == "uq" || f == "vq")
    num = 2;
  if (f == "conv" || f == "diverg") num = std::clamp(num, 2, 3);
  if (f == "def1" || f == "def2") num = 2;
  if (!c.need_grids(num)) return 0;
  int q_level = 0; /* mb */
  if (f == "uq" || f == "vq") {
    /* The pressure is the output's level, or the height's when the output
     * takes the height's header. */
    const GRD_report* o = c.out();
    const GRD_report* lv = !o->grid && o->domain.nx <= 0 ? c.op(1) : o;
    if (lv->ltype != kIsobaric || lv->level <= 0) {
      MESS_print(kCalcMess, "GRD_math: %s needs grids on a pressure level\n", f.c_str());
      return 0;
    }
    q_level = lv->level;
  }
  const char* fixed = (f == "ugeos" || f == "vgeos") ? "m/s" : (f == "uq" || f == "vq") ? kQUnits : nullptr;
  if (!c.setup(num, fixed)) return 0;
  GRD_report* o = c.out();
  GRD_report* a = c.op(1);
  auto done = [](int rc) { return rc == 0 ? 1 : 0; };
  if (f == "dx" || f == "dy") {
    derivative_units(c, 1, 1, kScale1, "/m");
    return done(f == "dx" ? GRD_dx(a, o) : GRD_dy(a, o));
  }
  if (f == "grad") {
    derivative_units(c, 2, 1, kScale1, "/m");
    c.rename(1, "Gradient");
    return done(GRD_dx(a, o) | GRD_dy(a, c.out(1)));
  }
  if (f == "vdiff") {
    c.rename(1, "Vector Diff");
    for (size_t k = 0; k < c.points(); ++k) {
      float v[5];
      bool miss = false;
      for (int n = 1; n <= 4; ++n) {
        v[n] = c.val(n);
        miss = miss || v[n] == kMiss;
      }
      *c.ptr[0] = miss ? kMiss : finite_or_miss(double(v[1]) - v[3]);
      *c.ptr[1] = miss ? kMiss : finite_or_miss(double(v[2]) - v[4]);
      c.step();
    }
    return 1;
  }
  if (f == "lapl") {
    derivative_units(c, 1, 1, kScale2, "/m^2");
    c.rename(1, "Laplacian");
    return done(GRD_laplacian(a, o));
  }
  GRD_report* b = num >= 2 ? c.op(2) : nullptr;
  GRD_report* z = num >= 3 ? c.op(3) : nullptr;
  if (f == "conv" || f == "diverg" || f == "vconv") {
    derivative_units(c, 1, 1, kScale1, "/m");
    if (f != "vconv") c.rename(z ? 3 : 1, f == "conv" ? "Convergence" : "Divergence");
    if (GRD_converge(a, b, z, o) != 0) return 0;
    if (f == "diverg") GRD_scale(o, -1);
    return 1;
  }
  if (f == "rvort" || f == "avort") {
    derivative_units(c, 1, 1, kScale1, "/m");
    if (GRD_vorticity(a, b, o) != 0) return 0;
    if (f == "avort") GRD_coriolis(o, "add");
    return 1;
  }
  if (f == "def1" || f == "def2") {
    derivative_units(c, 1, 1, kScale1, "/m");
    return done(f == "def1" ? GRD_deformation1(a, b, o) : GRD_deformation2(a, b, o));
  }
  if (f == "adv") {
    derivative_units(c, 1, 3, kScale1, "/s");
    c.rename(3, "Advection");
    return done(GRD_advection(a, b, z, o));
  }
  GRD_units(a, "m");
  if (f == "ugeos" || f == "vgeos") return geostrophic(a, o, f == "ugeos") ? 1 : 0;
  /* Q-vector: six temporaries with the height's header. */
  GRD_units(b, "K");
  Temp ug(a), vg(a), da(a), db(a), tx(a), ty(a);
  if (!ug.ok || !vg.ok || !da.ok || !db.ok || !tx.ok || !ty.ok) return 0;
  if (!geostrophic(a, &ug.r, true) || !geostrophic(a, &vg.r, false)) return 0;
  const bool uq = f == "uq";
  if ((uq ? GRD_dx(&ug.r, &da.r) : GRD_dy(&ug.r, &da.r)) != 0) return 0;
  if ((uq ? GRD_dx(&vg.r, &db.r) : GRD_dy(&vg.r, &db.r)) != 0) return 0;
  if (GRD_dx(b, &tx.r) != 0 || GRD_dy(b, &ty.r) != 0) return 0;
  const double factor = -kGasDry / (100.0 * q_level);
  for (size_t k = 0; k < c.points(); ++k) {
    float A = da.r.grid[k], B = db.r.grid[k], Tx = tx.r.grid[k], Ty = ty.r.grid[k];
    bool miss = A == kMiss || B == kMiss || Tx == kMiss || Ty == kMiss;
    o->grid[k] = miss ? kMiss : finite_or_miss((double(Ty) * B + double(A) * Tx) * factor);
  }
  return 1;
}

} // namespace

float GRD_get_math_val(int ind, float** ptr, const float* values) {
  if (ind < 0 || ind >= GRD_MATH_SLOTS || !ptr || !values) return kMiss;
  return ptr[ind] ? *ptr[ind] : values[ind];
}

int GRD_find_num_data(GRD_report** grids, const float* values) {
  if (!grids || !values) return 0;
  int n = 0;
  for (int i = 1; i <= GRD_MATH_SLOTS; ++i, ++n)
    if (!grids[i] && values[i] == kMiss) break;
  return n;
}

int GRD_math_setup(float** ptr, int* nx, int* ny, int num, GRD_report** grids, float* values, const char* func,
                   const char* type, const char* units) {
  if (!ptr || !nx || !ny || !grids || !values || !func) return 0;
  const int outs = GRD_is_vect_func(func) ? 2 : 1;
  const int first = outs;
  if (num < 0 || first + num > GRD_MATH_SLOTS) return 0;
  for (int k = 0; k < outs; ++k)
    if (!grids[k]) return 0;
  for (int i = 0; i < GRD_MATH_SLOTS; ++i) ptr[i] = nullptr;
  for (int i = first; i < first + num; ++i) {
    if (is_grid(grids[i]))
      ptr[i] = grids[i]->grid;
    else if (values[i] == kMiss)
      return 0;
  }
  /* Sizes are checked before an output is touched: an output without a
   * header will take operand 1's. */
  auto takes_header = [&](const GRD_report* o) { return !o->grid && o->domain.nx <= 0; };
  for (int k = 0; k < outs; ++k)
    if (takes_header(grids[k]) && (num < 1 || !is_grid(grids[first]))) return 0;
  auto size_of = [&](const GRD_report* o) { return takes_header(o) ? grids[first]->domain : o->domain; };
  const int onx = size_of(grids[0]).nx, ony = size_of(grids[0]).ny;
  if (onx <= 0 || ony <= 0) return 0;
  for (int k = 1; k < outs; ++k)
    if (size_of(grids[k]).nx != onx || size_of(grids[k]).ny != ony) return 0;
  for (int i = first; i < first + num; ++i)
    if (ptr[i] && (grids[i]->domain.nx != onx || grids[i]->domain.ny != ony)) return 0;
  for (int k = 0; k < outs; ++k)
    if (takes_header(grids[k])) GRD_copy_info(grids[k], grids[first]);
  for (int k = 0; k < outs; ++k) {
    GRD_report* o = grids[k];
    if (!o->grid && !GRD_alloc(o)) return 0;
    o->var = VAR_search_var_num(type && *type ? type : func);
    if (units && *units) {
      std::string u = units; /* may be an operand's own text */
      set_units(o, u.c_str());
      GRD_make_datatype(o, nullptr);
    }
    ptr[k] = o->grid;
  }
  *nx = onx;
  *ny = ony;
  return 1;
}

int GRD_math(const char* str, GRD_report** grids, float* values) {
  if (!str) return 0;
  std::string_view text(str);
  size_t dash = text.find('-');
  Call c;
  c.name = std::string(text.substr(0, dash));
  c.type = dash == std::string_view::npos ? "" : std::string(text.substr(dash + 1));
  if (GRD_is_plot_func(str)) return 1;
  if (c.name.size() > kNameLen || c.type.size() > kNameLen) {
    MESS_print(kCalcMess, "GRD_math: Math function not available: %s\n", c.name.c_str());
    return 0;
  }
  if (!grids || !values || !grids[0]) {
    MESS_print(kCalcMess, "GRD_math: Invalid grids\n");
    return 0;
  }
  c.grids = grids;
  c.values = values;
  c.first = GRD_is_vect_func(str) ? 2 : 1;
  if (c.first == 2 && !grids[1]) {
    MESS_print(kCalcMess, "GRD_math: Invalid grids\n");
    return 0;
  }
  for (int (*group)(Call&) : {arithmetic, smooth, geographic, thermo, wind, kinematic}) {
    int rc = group(c);
    if (rc >= 0) return rc;
  }
  MESS_print(kCalcMess, "GRD_math: Math function not available: %s\n", c.name.c_str());
  return 0;
}
