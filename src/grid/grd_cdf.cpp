/*
 * grd_cdf: grid files in netCDF, the suite's layout and foreign model output.
 *
 * The netCDF branches of the grid file handles of grd_read. The suite's
 * layout keeps one grid per entry of the unlimited dimension "grid", with
 * its header numbers and units beside the values; it is written and read.
 * Foreign model output (a file without "grid") holds fields over time and
 * level: older output in variables recognised by name, present-day (CF)
 * output in every variable over its latitude and longitude coordinates,
 * named by its standard name, its levels and times taken from their
 * coordinates. Fields are numbered in GRIB edition 1 numbers with the
 * units of the file; their records are numbered across the variables and
 * stepped through forward, time-major within a variable. A field whose
 * level or time the records cannot express is left out with its reason.
 *
 * Classic files and netCDF-4 files (HDF5) are read; the suite writes the
 * classic format.
 *
 * The library is used through its classic interface, its error option never
 * fatal: silent while optional names are probed, verbose afterwards. Every
 * file is hostile: headers are checked before the library reads them, every
 * value is read in the variable's own stored type and converted here (the
 * library would copy its own type's width into the buffer), dimension
 * counts and lengths bound every read and allocation, and texts are cut to
 * the record's fields.
 */
#include "kezgrd.h"

#include "cdf_lib.h"
#include "kezcdf.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kStringLen = 50; /* "datim" and "info" in the file */
constexpr int kParamLen = 5;   /* the projection parameters kept per grid */
constexpr int kTitleMax = 99;
constexpr int kUnitsMax = 79;
constexpr int kMaxVarDims = 10;
constexpr float kBigValue = 1.0e30f; /* at and above: no data */
constexpr M_type kVarTrace = 0x20000000;

/* Copies a text into a fixed field, cut to leave room for its end. */
void cut_copy(char* dst, size_t size, const std::string& src) {
  const size_t n = std::min(src.size(), size - 1);
  std::memcpy(dst, src.data(), n);
  dst[n] = '\0';
}

/* The library's error option: silent while probing, verbose otherwise. */
void quiet() { ncopts = 0; }
void verbose() { ncopts = NC_VERBOSE; }

/* ---- reading values in their stored type ------------------------------------------ */

struct VarShape {
  nc_type type = NC_NAT;
  std::vector<int> dims;
};

bool var_shape(int nc, int var, VarShape* s) {
  if (var < 0) return false;
  int nd = 0;
  nc_type t = NC_NAT;
  if (ncvarinq(nc, var, nullptr, &t, &nd, nullptr, nullptr) == -1) return false;
  if (nd < 0 || nd > kMaxVarDims || t < NC_BYTE || t > NC_UINT64) return false;
  std::array<int, kMaxVarDims> ids{};
  if (nd > 0 && ncvarinq(nc, var, nullptr, nullptr, nullptr, ids.data(), nullptr) == -1) return false;
  s->type = t;
  s->dims.assign(ids.begin(), ids.begin() + nd);
  return true;
}

size_t type_size(nc_type t) {
  switch (t) {
    case NC_SHORT:
    case NC_USHORT: return 2;
    case NC_INT:
    case NC_UINT:
    case NC_FLOAT: return 4;
    case NC_DOUBLE:
    case NC_INT64:
    case NC_UINT64: return 8;
    default: return 1;
  }
}

/* Element i of a buffer of values of type t (the netCDF-4 integer types
 * too: they stand in files written by present-day tools). */
double load(nc_type t, const unsigned char* p, size_t i) {
  auto as = [&](auto v) {
    std::memcpy(&v, p + sizeof v * i, sizeof v);
    return static_cast<double>(v);
  };
  switch (t) {
    case NC_BYTE: return reinterpret_cast<const signed char*>(p)[i];
    case NC_UBYTE: return p[i];
    case NC_USHORT: return as(static_cast<unsigned short>(0));
    case NC_UINT: return as(0u);
    case NC_INT64: return as(0LL);
    case NC_UINT64: return as(0ULL);
    case NC_SHORT: {
      short v;
      std::memcpy(&v, p + 2 * i, 2);
      return v;
    }
    case NC_INT: {
      int v;
      std::memcpy(&v, p + 4 * i, 4);
      return v;
    }
    case NC_FLOAT: {
      float v;
      std::memcpy(&v, p + 4 * i, 4);
      return v;
    }
    case NC_DOUBLE: {
      double v;
      std::memcpy(&v, p + 8 * i, 8);
      return v;
    }
    default: return NAN;
  }
}

/* Numbers of a numeric variable over a slab of exactly n elements. */
bool get_numbers(int nc, int var, const std::vector<long>& start, const std::vector<long>& count,
                 std::vector<double>* out) {
  VarShape s;
  if (!var_shape(nc, var, &s) || s.type == NC_CHAR || start.size() != s.dims.size()) return false;
  size_t n = 1;
  for (long c : count) {
    if (c < 0 || __builtin_mul_overflow(n, static_cast<size_t>(c), &n)) return false;
  }
  std::vector<unsigned char> buf(n * type_size(s.type) + 8);
  if (n > 0 && ncvarget(nc, var, start.data(), count.data(), buf.data()) == -1) return false;
  out->resize(n);
  for (size_t i = 0; i < n; ++i) (*out)[i] = load(s.type, buf.data(), i);
  return true;
}

/* Floats of a numeric variable over a slab of exactly n elements, read
 * straight into out when the file stores floats. */
bool get_floats(int nc, int var, const std::vector<long>& start, const std::vector<long>& count, float* out, size_t n) {
  VarShape s;
  if (!var_shape(nc, var, &s) || s.type == NC_CHAR || start.size() != s.dims.size()) return false;
  size_t m = 1;
  for (long c : count)
    if (c < 0 || __builtin_mul_overflow(m, static_cast<size_t>(c), &m)) return false;
  if (m != n) return false;
  if (s.type == NC_FLOAT) return n == 0 || ncvarget(nc, var, start.data(), count.data(), out) != -1;
  std::vector<double> v;
  if (!get_numbers(nc, var, start, count, &v)) return false;
  for (size_t i = 0; i < n; ++i)
    out[i] =
        std::isnan(v[i]) || std::fabs(v[i]) > FLT_MAX ? (v[i] > 0 ? HUGE_VALF : KEZ_FMISS) : static_cast<float>(v[i]);
  return true;
}

/* One number at an index built from the variable's own dimensions. */
template <class Index>
bool get_number(int nc, int var, Index index_of_dim, double* v) {
  VarShape s;
  if (!var_shape(nc, var, &s)) return false;
  std::vector<long> start, count;
  for (int d : s.dims) {
    start.push_back(index_of_dim(d));
    count.push_back(1);
  }
  std::vector<double> out;
  if (!get_numbers(nc, var, start, count, &out) || out.size() != 1) return false;
  *v = out[0];
  return true;
}

/* An int from a double, false when it does not fit. */
bool to_int(double v, int* out) {
  if (std::isnan(v) || v < INT_MIN || v > INT_MAX) return false;
  *out = static_cast<int>(v);
  return true;
}

float to_float(double v) {
  if (std::isnan(v) || std::fabs(v) > FLT_MAX) return KEZ_FMISS;
  return static_cast<float>(v);
}

/* A text attribute, at most max characters of it; empty when absent. */
std::string att_text(int nc, int var, const char* name, size_t max) {
  nc_type t = NC_NAT;
  int len = 0;
  if (ncattinq(nc, var, name, &t, &len) == -1 || len <= 0) return {};
  if (t == NC_STRING && len == 1) {
    char* str = nullptr;
    if (nc_get_att_string(nc, var, name, &str) != NC_NOERR || !str) return {};
    std::string text(str, strnlen(str, max));
    nc_free_string(1, &str);
    return text;
  }
  if (t != NC_CHAR) return {};
  std::string text(static_cast<size_t>(len), '\0');
  if (ncattget(nc, var, name, text.data()) == -1) return {};
  text.resize(std::min(std::strlen(text.c_str()), max));
  return text;
}

/* The first element of a numeric attribute. */
bool att_int(int nc, int var, const char* name, int* v) {
  nc_type t = NC_NAT;
  int len = 0;
  if (ncattinq(nc, var, name, &t, &len) == -1 || len < 1 || t < NC_BYTE || t > NC_UINT64 || t == NC_CHAR) return false;
  std::vector<unsigned char> buf(static_cast<size_t>(len) * type_size(t) + 8);
  if (ncattget(nc, var, name, buf.data()) == -1) return false;
  return to_int(load(t, buf.data(), 0), v);
}

long dim_len(int nc, int dim) {
  long len = -1;
  if (dim < 0 || ncdiminq(nc, dim, nullptr, &len) == -1) return -1;
  return len;
}

int find_dim(int nc, std::initializer_list<const char*> names) {
  for (const char* n : names) {
    int id = ncdimid(nc, n);
    if (id >= 0) return id;
  }
  return -1;
}

int find_var(int nc, std::initializer_list<const char*> names) {
  for (const char* n : names) {
    int id = ncvarid(nc, n);
    if (id >= 0) return id;
  }
  return -1;
}

/* ---- the suite's layout ------------------------------------------------------------- */

/* One header variable of the suite's layout, its place in the record. */
enum class Field {
  proj,
  clat,
  plat,
  clon,
  plon,
  dx,
  dy,
  source,
  version,
  model,
  type,
  ltype,
  level,
  time,
  var,
  nx,
  ny
};

struct HeaderVar {
  const char* name;
  int GRD_file::*id;
  nc_type type;
  const char* att_name;
  const char* long_name;
  const char* units;
  Field field;
  bool projection; /* only in the projection layout */
};

/* Header numbers are 32-bit in the files written here; older files hold
 * 16-bit ones, which read the same way. */
constexpr HeaderVar proj_vars[] = {
    {"proj", &GRD_file::proj_id, NC_INT, "PROJ", "Projection", nullptr, Field::proj, true},
    {"lat1", &GRD_file::lat1_id, NC_FLOAT, "CLAT", "Grid central latitude", "DEG", Field::clat, true},
    {"lat2", &GRD_file::lat2_id, NC_FLOAT, "LAT2", "Grid secondary latitude", "DEG", Field::plat, true},
    {"lon1", &GRD_file::lon1_id, NC_FLOAT, "CLON", "Grid central longitude", "DEG", Field::clon, true},
    {"lon2", &GRD_file::lon2_id, NC_FLOAT, "LON2", "Grid secondary longitude", "DEG", Field::plon, true},
    {"dx", &GRD_file::dx_id, NC_FLOAT, "DX", "Grid spacing in X direction", "100 KM", Field::dx, true},
    {"dy", &GRD_file::dy_id, NC_FLOAT, "DY", "Grid spacing in Y direction", "100 KM", Field::dy, true},
};
constexpr HeaderVar number_vars[] = {
    {"source", &GRD_file::source_id, NC_INT, "SOURCE", "Grid creation source", nullptr, Field::source, false},
    {"version", &GRD_file::version_id, NC_INT, "VERSION", "Grid encoding version", nullptr, Field::version, false},
    {"model", &GRD_file::model_id, NC_INT, "MODEL", "Model name", nullptr, Field::model, false},
    {"type", &GRD_file::type_id, NC_INT, "TYPE", "Model grid type", nullptr, Field::type, false},
    {"ltype", &GRD_file::ltype_id, NC_INT, "LTYPE", "Vertical level type", nullptr, Field::ltype, false},
    {"level", &GRD_file::level_id, NC_INT, "LEVEL", "Vertical level value", nullptr, Field::level, false},
    {"time", &GRD_file::time_id, NC_INT, "TIME", "Forecast time", "HOUR", Field::time, false},
    {"var", &GRD_file::var_id, NC_INT, "VAR", "Grid variable type", nullptr, Field::var, false},
    {"nx", &GRD_file::nx_id, NC_INT, "NX", "Gridpoints in X direction", nullptr, Field::nx, false},
    {"ny", &GRD_file::ny_id, NC_INT, "NY", "Gridpoints in Y direction", nullptr, Field::ny, false},
};

/* Writes a header value of the record into / reads it from a double. */
double field_value(const GRD_report& g, Field f) {
  const Domain& d = g.domain;
  switch (f) {
    case Field::proj: return d.proj;
    case Field::clat: return d.clat;
    case Field::plat: return d.plat;
    case Field::clon: return d.clon;
    case Field::plon: return d.plon;
    case Field::dx: return d.dx;
    case Field::dy: return d.dy;
    case Field::source: return g.source;
    case Field::version: return g.version;
    case Field::model: return g.model;
    case Field::type: return g.type;
    case Field::ltype: return g.ltype;
    case Field::level: return g.level;
    case Field::time: return g.time;
    case Field::var: return g.var;
    case Field::nx: return d.nx;
    case Field::ny: return d.ny;
  }
  return 0;
}

bool set_field(GRD_report* g, Field f, double v) {
  Domain& d = g->domain;
  int i = 0;
  switch (f) {
    case Field::clat: d.clat = to_float(v); return true;
    case Field::plat: d.plat = to_float(v); return true;
    case Field::clon: d.clon = to_float(v); return true;
    case Field::plon: d.plon = to_float(v); return true;
    case Field::dx: d.dx = to_float(v); return true;
    case Field::dy: d.dy = to_float(v); return true;
    default: break;
  }
  if (!to_int(v, &i)) return false;
  switch (f) {
    case Field::proj: d.proj = i; break;
    case Field::source: g->source = i; break;
    case Field::version: g->version = i; break;
    case Field::model: g->model = i; break;
    case Field::type: g->type = i; break;
    case Field::ltype: g->ltype = i; break;
    case Field::level: g->level = i; break;
    case Field::time: g->time = i; break;
    case Field::var: g->var = i; break;
    case Field::nx: d.nx = i; break;
    case Field::ny: d.ny = i; break;
    default: break;
  }
  return true;
}

/* ---- foreign layouts ----------------------------------------------------------------- */

/* Recognised field variables of older model output: names (without regard
 * to case), and the older parameter number chosen by the units text. */
enum class Units { any, pascals, gpm, kelvin, pa_per_s, sst, meters, degrees, never };
struct FieldName {
  const char* names[6];
  Units units;
  int other; /* with units of the other kind */
  int match; /* with the units named */
};
constexpr FieldName field_names[] = {
    {{"pressure", "Psl", "Ptrop", "Pmaxwind", "P", nullptr}, Units::pascals, 1, 101},
    {{"gpt_hgt", "H", "Zsfc", "Ztrop", "Zwind", "Z"}, Units::gpm, 2, 102},
    {{"temp", "Ttrop", "T", nullptr, nullptr, nullptr}, Units::kelvin, 4, 104},
    {{"rel_hum", "RH", nullptr, nullptr, nullptr, nullptr}, Units::any, 13, 13},
    {{"lift_indx", "LI", nullptr, nullptr, nullptr, nullptr}, Units::any, 15, 15},
    {{"u_wind", "Utrop", "Umaxwind", "Usfc", "U", nullptr}, Units::any, 23, 23},
    {{"v_wind", "Vtrop", "Vmaxwind", "Vsfc", "V", nullptr}, Units::any, 24, 24},
    {{"vert_vel", "omega", nullptr, nullptr, nullptr, nullptr}, Units::pa_per_s, 40, 140},
    {{"precip", nullptr, nullptr, nullptr, nullptr, nullptr}, Units::any, 50, 50},
    {{"snow", nullptr, nullptr, nullptr, nullptr, nullptr}, Units::never, 51, 51},
    {{"sea_temp", "SST", nullptr, nullptr, nullptr, nullptr}, Units::sst, 61, 62},
    {{"wave_hgt", nullptr, nullptr, nullptr, nullptr, nullptr}, Units::meters, 64, 164},
    {{"wave_per", nullptr, nullptr, nullptr, nullptr, nullptr}, Units::any, 76, 76},
    {{"wave_dir", nullptr, nullptr, nullptr, nullptr, nullptr}, Units::degrees, 75, 175},
};

/* The older numbering of those fields (and of the WMO GRID code) in the
 * GRIB edition 1 numbers that every grid record carries; above 100 the
 * field in the other unit of a pair. The units are those the number
 * itself implies, for files that state none. */
struct OldParam {
  int old;
  int param;
  const char* units;
};
constexpr OldParam old_params[] = {
    {1, 1, "hPa"}, {101, 1, "Pa"}, {2, 7, ""},    {102, 7, "gpm"}, {4, 11, "C"},      {104, 11, "K"}, {13, 52, "%"},
    {15, 131, ""}, {23, 33, ""},   {24, 34, ""},  {40, 39, ""},    {140, 39, "Pa/s"}, {50, 61, ""},   {61, 80, ""},
    {62, 80, "C"}, {161, 80, "K"}, {64, 100, ""}, {164, 100, "m"}, {75, 107, ""},     {175, 107, ""}, {76, 108, ""},
};

bool same_nocase(const std::string& a, const char* b) {
  size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

bool begins(const std::string& s, const char* p) { return s.compare(0, std::strlen(p), p) == 0; }

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

/* The older parameter number of a variable, or 0 when it is not read. */
int field_param(const std::string& name, const std::string& units) {
  for (const FieldName& f : field_names) {
    bool hit = false;
    for (const char* n : f.names)
      if (n && same_nocase(name, n)) hit = true;
    if (!hit) continue;
    switch (f.units) {
      case Units::any: return f.match;
      case Units::never: return 0;
      case Units::pascals: return units == "pascals" || units == "Pa" ? f.match : f.other;
      case Units::gpm: return units == "geopotential meters" || units == "gp m" ? f.match : f.other;
      case Units::kelvin: return begins(units, "kelvin") || units == "degK" ? f.match : f.other;
      case Units::pa_per_s:
        return units == "pascals/second" || units == "Pa/second" || units == "Pa/s" ? f.match : f.other;
      case Units::sst:
        if (units == "degC" || units == "celsius") return f.match;
        return units == "degK" ? 161 : f.other;
      case Units::meters: return units == "meters" ? f.match : f.other;
      case Units::degrees: return begins(units, "degrees") && !begins(units, "10 degrees") ? f.match : f.other;
    }
  }
  return 0;
}

/* Units texts of files by the names of the unit table (compared in lower
 * case); a text not listed is kept as the file gives it. */
struct UnitName {
  const char* name;
  const char* texts[7];
};
constexpr UnitName unit_names[] = {
    {"K", {"k", "degk", "deg k", "kelvin", "kelvins", "degrees_k"}},
    {"C", {"c", "degc", "deg c", "celsius", "degrees_c", "degree_celsius", "degrees_celsius"}},
    {"Pa", {"pa", "pascal", "pascals"}},
    {"hPa", {"hpa", "hectopascal", "hectopascals"}},
    {"mb", {"mb", "mbar", "millibar", "millibars"}},
    {"kPa", {"kpa"}},
    {"m/s", {"m s**-1", "m s-1", "m s^-1", "m/s", "meters/second", "metres/second"}},
    {"knt", {"knots", "kt", "kts"}},
    {"gpm", {"gpm", "gp m", "geopotential meters", "geopotential metres"}},
    {"dam", {"dam", "gpdm", "geopotential dekameters", "geopotential decameters"}},
    {"m", {"m", "meter", "meters", "metre", "metres"}},
    {"%", {"%", "percent"}},
    {"Pa/s", {"pa s**-1", "pa s-1", "pa/s", "pa/second", "pascals/second"}},
    {"mb/s", {"mb/s", "millibars/second"}},
    {"kg/kg", {"kg kg**-1", "kg kg-1", "kg/kg"}},
    {"kg/m^2", {"kg m**-2", "kg m-2", "kg/m^2", "kg/m2"}},
    {"mm", {"mm"}},
    {"/s", {"s**-1", "s-1", "1/s"}},
    {"W/m^2", {"w m**-2", "w m-2", "w/m^2"}},
    {"deg", {"deg", "degrees", "degrees true", "degrees_true"}},
};

std::string unit_name(const std::string& text) {
  const std::string l = lower(text);
  for (const UnitName& u : unit_names)
    for (const char* t : u.texts)
      if (t && l == t) return u.name;
  return text.substr(0, std::min<size_t>(text.size(), sizeof(GRD_report{}.units) - 1));
}

/* Fields of present-day output by their CF standard name: the parameter
 * number, and the level of a field that has no level dimension (0: not
 * given by the name). */
struct StdName {
  const char* name;
  int param;
  int ltype;
};
constexpr StdName std_names[] = {
    {"air_temperature", 11, 0},
    {"air_potential_temperature", 13, 0},
    {"equivalent_potential_temperature", 14, 0},
    {"dew_point_temperature", 17, 0},
    {"geopotential", 6, 0},
    {"geopotential_height", 7, 0},
    {"relative_humidity", 52, 0},
    {"specific_humidity", 51, 0},
    {"humidity_mixing_ratio", 53, 0},
    {"eastward_wind", 33, 0},
    {"northward_wind", 34, 0},
    {"wind_speed", 32, 0},
    {"wind_from_direction", 31, 0},
    {"lagrangian_tendency_of_air_pressure", 39, 0},
    {"upward_air_velocity", 40, 0},
    {"air_pressure", 1, 0},
    {"surface_air_pressure", 1, 1},
    {"air_pressure_at_mean_sea_level", 2, 102},
    {"air_pressure_at_sea_level", 2, 102},
    {"surface_temperature", 11, 1},
    {"sea_surface_temperature", 80, 1},
    {"atmosphere_absolute_vorticity", 41, 0},
    {"atmosphere_relative_vorticity", 43, 0},
    {"divergence_of_wind", 44, 0},
    {"atmosphere_mass_content_of_water_vapor", 54, 200},
    {"precipitation_amount", 61, 1},
    {"convective_precipitation_amount", 63, 1},
    {"precipitation_flux", 59, 1},
    {"surface_snow_amount", 65, 1},
    {"cloud_area_fraction", 71, 0},
    {"land_binary_mask", 81, 1},
    {"sea_ice_area_fraction", 91, 1},
    {"sea_surface_wave_significant_height", 100, 1},
};

/* Level types of fields without a level dimension, from the "level_type"
 * attribute that cdo writes for them. */
struct LevelTypeName {
  const char* name;
  int ltype;
};
constexpr LevelTypeName level_type_names[] = {
    {"surface", 1}, {"cloudbase", 2},  {"cloudtop", 3}, {"isotherm0", 4},
    {"maxwind", 6}, {"tropopause", 7}, {"toa", 8},      {"meansea", 102},
};

struct TitleCode {
  const char* begin;
  size_t compared;
  int code;
};
constexpr TitleCode title_codes[] = {
    {"NMC Early", 8, 10}, {"NMC Exten", 8, 20}, {"ECMWF:", 6, 30}, {"NMC Globa", 8, 40}};

int layout_code(const std::string& title, bool has_rtime) {
  int code = 1;
  for (const TitleCode& t : title_codes)
    if (title.compare(0, t.compared, t.begin, t.compared) == 0) {
      code = t.code;
      break;
    }
  if (title.find("Trop") != std::string::npos) code += 1;
  if (title.find("Maximum") != std::string::npos) code += 2;
  if (title.find("72 hours") != std::string::npos) code += 3;
  if (!has_rtime) code += 100;
  return code;
}

/* Grid numbers of the models whose output comes on a known grid. */
struct ModelGrid {
  int model;
  int type;
};
constexpr ModelGrid model_grids[] = {{39, 50}, {64, 50}, {69, 11}, {78, 11}, {77, 11},
                                     {10, 11}, {25, 11}, {31, 11}, {40, 11}, {44, 11}};

/* The longest coordinate read whole (times, levels, latitudes, longitudes). */
constexpr long kMaxAxis = 1000000;
/* Forecast hours below this are plain hours; from 800 on a time code
 * counts days and months. */
constexpr double kMaxForecastHour = 800.0;
/* The level type of a field whose level the file does not give. */
constexpr int kLevelNotGiven = 9;

/* The time of one index of a time axis. */
struct TimeStep {
  Date date{};  /* reference date */
  long ref = 0; /* the reference in seconds, for the date label */
  int time = 0; /* forecast hour from the reference */
};

/* The levels of a vertical axis: one type, a code per index. */
struct LevelAxis {
  int ltype = KEZ_MISS;
  std::vector<int> codes;
};

/* One field variable of a foreign file. */
struct FieldVar {
  int id = -1;
  int param = 0; /* GRIB edition 1 parameter; 0: described by its long name */
  int old = 0;   /* older number of the layouts named by title (level rules) */
  std::string units;
  int t_dim = -1, z_dim = -1; /* its time and level dimensions, -1 none */
  long t_len = 1, z_len = 1;
  int flat_ltype = kLevelNotGiven; /* level type without a level dimension (CF) */
};

/* The latitude-longitude grid of a foreign file. */
struct Geometry {
  bool known = false;
  bool south_first = true; /* the file's first latitude row is the southern one */
  Domain d{};
};

/* What a foreign file keeps beside its GRD_file. */
struct Foreign {
  bool cf = false; /* present-day output: levels, times and names as CF says */
  int rtime_dim = -1;
  int lat_id = -1, lon_id = -1, center_id = -1, model_id = -1, level_id = -1, ftime_id = -1;
  int year_id = -1, month_id = -1, day_id = -1, hour_id = -1, reftime_id = -1;
  std::vector<FieldVar> vars;
  std::map<int, std::vector<TimeStep>> times; /* CF time axes by dimension */
  std::map<int, LevelAxis> levels;            /* CF level axes by dimension */
  Geometry geo;
  long base = 0; /* first record number of the current variable */
};

/* Per open file: whether its header was read, and the foreign layout. */
struct OpenFile {
  bool have_info = false;
  long long file_size = -1; /* bytes of a classic file, to bound the grids it can hold; -1 unknown */
  int param_id = -1;        /* projection parameters of the suite's layout */
  int units_id = -1;        /* units of the suite's layout (absent from older files) */
  Foreign foreign;
};

struct GridCdf {
  std::map<const GRD_file*, OpenFile> files;
};

GridCdf state;

/* A grid cannot hold more values than its classic file has bytes (a float
 * takes four, the smallest stored type one); compressed files are not
 * bounded so. */
bool fits_file(const OpenFile& of, long long points) {
  if (of.file_size < 0 || points <= of.file_size) return true;
  MESS_print(M_warn, "GRD_read: File too short for a grid of %lld points\n", points);
  return false;
}

/* A Date from the "year", "month", "day", "hour" variables or "reftime". */
bool file_date(int nc, const Foreign& fo, struct tm* tm) {
  std::memset(tm, 0, sizeof *tm);
  int year = 0, month = 1, day = 1, hour = 0;
  auto first = [](int) { return 0L; };
  if (fo.year_id >= 0) {
    double v = 0;
    if (get_number(nc, fo.year_id, first, &v)) to_int(v, &year);
    if (get_number(nc, fo.month_id, first, &v)) to_int(v, &month);
    if (get_number(nc, fo.day_id, first, &v)) to_int(v, &day);
    if (get_number(nc, fo.hour_id, first, &v)) to_int(v, &hour);
  } else if (fo.reftime_id >= 0) {
    VarShape s;
    if (!var_shape(nc, fo.reftime_id, &s) || s.type != NC_CHAR || s.dims.empty()) return false;
    long len = dim_len(nc, s.dims.back());
    if (len <= 0) return false;
    std::vector<long> start(s.dims.size(), 0), count(s.dims.size(), 1);
    count.back() = std::min(len, 16L);
    char text[17] = {};
    if (ncvarget(nc, fo.reftime_id, start.data(), count.data(), text) == -1) return false;
    text[16] = '\0';
    Date d;
    DATE_decode_label(text, &d);
    if (d.year != KEZ_MISS && d.month != KEZ_MISS) {
      year = d.year;
      month = d.month;
      day = d.day;
      hour = d.hour == KEZ_MISS ? 0 : d.hour;
    } else if (std::sscanf(text, "%d%*[^0-9]%d%*[^0-9]%d%*[^0-9]%d", &year, &month, &day, &hour) < 3) {
      return false;
    }
  } else {
    return false;
  }
  /* Years counted from 1900 as the date functions take them, through 2099. */
  year -= 1900;
  month -= 1;
  if (year < 0 || year > 199) year = 80;
  if (month < 0 || month > 11) month = 0;
  if (day < 1 || day > 31) day = 1;
  if (hour < 0 || hour > 23) hour = 0;
  tm->tm_year = year;
  tm->tm_mon = month;
  tm->tm_mday = day;
  tm->tm_hour = hour;
  return true;
}

/* ---- present-day (CF) output: coordinates, levels and times ---------------------------- */

/* The coordinate variable of a dimension (the variable of its name with
 * that one dimension), or -1. */
int coord_var(int nc, int dim) {
  char name[NC_MAX_NAME + 1] = "";
  if (dim < 0 || ncdiminq(nc, dim, name, nullptr) == -1) return -1;
  const int v = ncvarid(nc, name);
  VarShape s;
  if (v < 0 || !var_shape(nc, v, &s) || s.dims.size() != 1 || s.dims[0] != dim || s.type == NC_CHAR) return -1;
  return v;
}

/* All numbers of a one-dimensional variable, at most kMaxAxis of them. */
bool axis_values(int nc, int var, std::vector<double>* out) {
  VarShape s;
  if (!var_shape(nc, var, &s) || s.dims.size() != 1) return false;
  const long len = dim_len(nc, s.dims[0]);
  if (len < 1 || len > kMaxAxis) return false;
  return get_numbers(nc, var, {0}, {len}, out);
}

bool is_lon_coord(int nc, int var) {
  const std::string u = lower(att_text(nc, var, "units", kUnitsMax));
  return att_text(nc, var, "standard_name", kUnitsMax) == "longitude" || u == "degrees_east" || u == "degree_east" ||
         u == "degrees_e" || u == "degree_e";
}

bool is_lat_coord(int nc, int var) {
  const std::string u = lower(att_text(nc, var, "units", kUnitsMax));
  return att_text(nc, var, "standard_name", kUnitsMax) == "latitude" || u == "degrees_north" || u == "degree_north" ||
         u == "degrees_n" || u == "degree_n";
}

/* Evenly spaced values (equal steps within a small part of a step). */
bool evenly_spaced(const std::vector<double>& v, double* step) {
  if (v.size() < 2) return false;
  *step = v[1] - v[0];
  if (!std::isfinite(*step) || *step == 0) return false;
  for (size_t i = 1; i < v.size(); ++i) {
    const double d = v[i] - v[i - 1];
    if (!std::isfinite(d) || std::fabs(d - *step) > 1e-3 * std::fabs(*step)) return false;
  }
  return true;
}

/* The grid of the latitude and longitude coordinates: evenly spaced,
 * longitudes from west to east (across the date line too); latitudes in
 * either order. False with the reason otherwise. */
bool lat_lon_grid(int nc, int lat_id, int lon_id, Geometry* g, std::string* why) {
  std::vector<double> lat, lon;
  if (!axis_values(nc, lat_id, &lat) || !axis_values(nc, lon_id, &lon) || lat.size() < 2 || lon.size() < 2) {
    *why = "latitudes or longitudes cannot be read";
    return false;
  }
  for (size_t i = 1; i < lon.size(); ++i)
    if (lon[i] < lon[i - 1] - 180.0) lon[i] += 360.0 * std::ceil((lon[i - 1] - lon[i] - 180.0) / 360.0);
  double dy = 0, dx = 0;
  if (!evenly_spaced(lat, &dy) || !evenly_spaced(lon, &dx) || dx < 0 || std::fabs(lat.front()) > 90.0 ||
      std::fabs(lat.back()) > 90.0 || dx * (static_cast<double>(lon.size()) - 1) > 360.0 + 1e-3 * dx) {
    *why = "not an evenly spaced latitude-longitude grid";
    return false;
  }
  Domain& d = g->d;
  DOM_init(&d);
  d.proj = 2;
  d.nx = static_cast<int>(lon.size());
  d.ny = static_cast<int>(lat.size());
  d.dx = to_float(dx);
  d.dy = to_float(std::fabs(dy));
  d.clat = to_float((lat.front() + lat.back()) / 2.0);
  d.clon = to_float((lon.front() + lon.back()) / 2.0);
  g->south_first = dy > 0;
  g->known = true;
  return true;
}

/* Seconds of a CF time unit, 0 for none. */
double time_unit(const std::string& word) {
  const std::string w = lower(word);
  for (const char* s : {"seconds", "second", "secs", "sec", "s"})
    if (w == s) return 1;
  for (const char* s : {"minutes", "minute", "mins", "min"})
    if (w == s) return 60;
  for (const char* s : {"hours", "hour", "hrs", "hr", "h"})
    if (w == s) return 3600;
  for (const char* s : {"days", "day", "d"})
    if (w == s) return 86400;
  return 0;
}

/* "UNIT since YYYY-MM-DD[ hh[:mm[:ss]]]" (a "T" for the blank, a "Z",
 * "UTC" or a zero offset after it): the unit in seconds and the origin in
 * seconds. */
bool time_units(const std::string& text, double* unit, long* origin) {
  const size_t since = lower(text).find(" since ");
  if (since == std::string::npos) return false;
  *unit = time_unit(text.substr(0, since));
  if (*unit == 0) return false;
  std::string rest = text.substr(since + 7);
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, used = 0;
  double sec = 0;
  const char* p = rest.c_str();
  while (*p == ' ') ++p;
  if (std::sscanf(p, "%d-%d-%d%n", &y, &mo, &d, &used) != 3) return false;
  p += used;
  if (*p == 'T' || *p == ' ') {
    const char* q = p + 1;
    while (*q == ' ') ++q;
    int n = std::sscanf(q, "%d:%d:%lf%n", &h, &mi, &sec, &used);
    if (n == 3) {
      p = q + used;
    } else if (std::sscanf(q, "%d:%d%n", &h, &mi, &used) == 2) {
      p = q + used;
    } else if (std::sscanf(q, "%d%n", &h, &used) == 1) {
      p = q + used;
    }
  }
  std::string tail = p;
  tail.erase(0, tail.find_first_not_of(' '));
  tail.erase(tail.find_last_not_of(' ') + 1);
  bool utc = tail.empty();
  for (const char* z : {"Z", "UTC", "GMT", "+00:00", "+0000", "+00", "-00:00", "+0:00", "0:00"})
    if (tail == z) utc = true;
  if (!utc || y < 1 || y > 9999 || mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 || mi > 59 ||
      !(sec >= 0 && sec < 61))
    return false;
  Date date{y, mo, d, KEZ_MISS, KEZ_MISS, h, mi, static_cast<int>(sec)};
  *origin = DATE_num_sec(&date);
  return true;
}

bool gregorian(int nc, int var) {
  const std::string cal = lower(att_text(nc, var, "calendar", kUnitsMax));
  return cal.empty() || cal == "standard" || cal == "gregorian" || cal == "proleptic_gregorian";
}

/* Seconds of each index of a time coordinate; false with the reason. */
bool valid_times(int nc, int var, std::vector<long>* out, std::string* why) {
  double unit = 0;
  long origin = 0;
  std::vector<double> v;
  if (!time_units(att_text(nc, var, "units", kUnitsMax), &unit, &origin)) {
    *why = "time units not understood";
    return false;
  }
  if (!gregorian(nc, var)) {
    *why = "calendar other than the Gregorian";
    return false;
  }
  if (!axis_values(nc, var, &v)) {
    *why = "times cannot be read";
    return false;
  }
  out->clear();
  for (double x : v) {
    const double s = x * unit;
    if (!std::isfinite(s) || std::fabs(s) > 1e13) {
      *why = "times out of range";
      return false;
    }
    out->push_back(origin + std::lround(s));
  }
  return true;
}

/* The steps of a time axis. A field is a forecast from its reference time:
 * the "forecast_reference_time" when the file gives one, else the origin
 * of the time units, as model output writes them, when the time is a whole
 * forecast hour from it; any other time is its own valid time (hour 0). */
bool time_axis(int nc, int dim, std::vector<TimeStep>* steps, std::string* why) {
  const int var = coord_var(nc, dim);
  if (var < 0) {
    *why = "times without a coordinate";
    return false;
  }
  std::vector<long> valid;
  if (!valid_times(nc, var, &valid, why)) return false;
  double unit = 0;
  long origin = 0;
  time_units(att_text(nc, var, "units", kUnitsMax), &unit, &origin);
  std::vector<long> refs;
  int nvars = 0;
  if (ncinquire(nc, nullptr, &nvars, nullptr, nullptr) == -1) nvars = 0;
  for (int v = 0; v < nvars && refs.empty(); ++v) {
    if (att_text(nc, v, "standard_name", kUnitsMax) != "forecast_reference_time") continue;
    VarShape s;
    std::string ignore;
    std::vector<long> r;
    if (!var_shape(nc, v, &s) || s.type == NC_CHAR) continue;
    if (s.dims.empty()) {
      double u = 0;
      long o = 0;
      std::vector<double> x;
      if (time_units(att_text(nc, v, "units", kUnitsMax), &u, &o) && get_numbers(nc, v, {}, {}, &x) && x.size() == 1 &&
          std::isfinite(x[0] * u))
        refs.assign(valid.size(), o + std::lround(x[0] * u));
    } else if (s.dims.size() == 1 && s.dims[0] == dim && valid_times(nc, v, &r, &ignore) && r.size() == valid.size()) {
      refs = r;
    }
  }
  steps->clear();
  for (size_t i = 0; i < valid.size(); ++i) {
    const long ref = refs.empty() ? origin : refs[i];
    const double hours = static_cast<double>(valid[i] - ref) / 3600.0;
    TimeStep t;
    const bool forecast = hours >= 0 && hours < kMaxForecastHour && hours == std::floor(hours);
    t.ref = forecast ? ref : valid[i];
    t.time = forecast ? static_cast<int>(hours) : 0;
    DATE_get_gmdate(&t.ref, &t.date);
    steps->push_back(t);
  }
  return true;
}

/* Pressure units in mb, 0 for none. */
double pressure_unit(const std::string& units) {
  const std::string u = unit_name(units);
  if (u == "Pa") return 0.01;
  if (u == "hPa" || u == "mb") return 1;
  if (u == "kPa") return 10;
  return 0;
}

/* The levels of a vertical coordinate, as the level types name them:
 * pressure (mb), height above the ground or above sea level (m), potential
 * temperature (K) and sigma. Layers, other coordinates and levels that are
 * no whole number of their unit are not named. */
bool level_axis(int nc, int dim, LevelAxis* axis, std::string* why) {
  const int var = coord_var(nc, dim);
  if (var < 0) {
    *why = "a dimension without coordinates";
    return false;
  }
  const std::string std_name = att_text(nc, var, "standard_name", kUnitsMax);
  const std::string units = att_text(nc, var, "units", kUnitsMax);
  const std::string u = unit_name(units);
  double scale = 1;
  if (!att_text(nc, var, "bounds", kUnitsMax).empty()) {
    *why = "layers";
    return false;
  }
  if (std_name == "air_pressure" || (std_name.empty() && pressure_unit(units) > 0)) {
    axis->ltype = 100;
    scale = pressure_unit(units);
  } else if ((std_name == "height" || std_name == "altitude") && u == "m") {
    axis->ltype = std_name == "height" ? 105 : 103;
  } else if (std_name == "air_potential_temperature" && u == "K") {
    axis->ltype = 113;
  } else if (std_name == "atmosphere_sigma_coordinate") {
    axis->ltype = 107;
    scale = 10000;
  } else {
    *why = "levels of no kind the level types name";
    return false;
  }
  std::vector<double> v;
  if (scale == 0 || !axis_values(nc, var, &v)) {
    *why = "levels that cannot be read";
    return false;
  }
  axis->codes.clear();
  for (double x : v) {
    const double c = x * scale;
    if (!std::isfinite(c) || std::fabs(c - std::round(c)) > 1e-3 || std::fabs(c) > 1e8) {
      *why = "levels not in whole units";
      return false;
    }
    axis->codes.push_back(static_cast<int>(std::lround(c)));
  }
  return true;
}

/* ---- the variable list ---------------------------------------------------------------------- */

/* Makes the next listed variable current; false when none is left. */
bool next_variable(GRD_file& f, Foreign& fo) {
  const int nc = f.fd;
  while (f.cur_var + 1 < static_cast<int>(fo.vars.size())) {
    ++f.cur_var;
    fo.base = f.max_num;
    const FieldVar& v = fo.vars[static_cast<size_t>(f.cur_var)];
    char name[NC_MAX_NAME + 1] = "";
    if (ncvarinq(nc, v.id, name, nullptr, nullptr, nullptr, nullptr) == -1) continue;
    const int last2 = f.itype % 100;
    if (!fo.cf && (last2 == 10 || last2 == 20 || last2 == 30 || (last2 >= 40 && last2 <= 49))) {
      std::string tail = name[0] ? std::string(name + 1) : std::string();
      int code = same_nocase(tail, "trop") ? 41 : same_nocase(tail, "maxwind") ? 42 : 40;
      f.itype = f.itype - last2 + code;
    }
    long n = 0;
    if (__builtin_mul_overflow(v.t_len, v.z_len, &n) || __builtin_add_overflow(fo.base, n, &n)) {
      MESS_print(M_warn, "GRD_read: Variable %s has too many records\n", name);
      continue;
    }
    f.max_num = n;
    return true;
  }
  return false;
}

void restart(GRD_file& f, Foreign& fo) {
  f.cur_var = -1;
  f.max_num = 0;
  fo.base = 0;
}

/* The value the library stores where nothing was written, when the
 * variable names no "_FillValue"; none for bytes, whose every value may be
 * data. */
bool default_fill(nc_type t, double* fill) {
  switch (t) {
    case NC_SHORT: *fill = NC_FILL_SHORT; return true;
    case NC_USHORT: *fill = NC_FILL_USHORT; return true;
    case NC_INT: *fill = NC_FILL_INT; return true;
    case NC_UINT: *fill = NC_FILL_UINT; return true;
    case NC_INT64: *fill = static_cast<double>(NC_FILL_INT64); return true;
    case NC_UINT64: *fill = static_cast<double>(NC_FILL_UINT64); return true;
    case NC_FLOAT: *fill = NC_FILL_FLOAT; return true;
    case NC_DOUBLE: *fill = NC_FILL_DOUBLE; return true;
    default: return false;
  }
}

/* Values as stored, unpacked: CF packing (scale_factor, add_offset), and
 * the fill value (the library's default one when none is named), the
 * missing value, stored values outside "valid_range" ("valid_min",
 * "valid_max"), not-a-number and values above 1e30 as -9999. */
struct Unpack {
  double scale = 1, offset = 0;
  bool has_fill = false, has_miss = false;
  double fill = 0, miss = 0;
  double low = -HUGE_VAL, high = HUGE_VAL;
  Unpack(int nc, int var) {
    /* Element i of a numeric attribute. */
    auto att = [&](const char* name, double* v, int i = 0) {
      nc_type t = NC_NAT;
      int len = 0;
      if (ncattinq(nc, var, name, &t, &len) == -1 || len <= i || t == NC_CHAR || t < NC_BYTE || t > NC_UINT64)
        return false;
      std::vector<unsigned char> buf(static_cast<size_t>(len) * type_size(t) + 8);
      if (ncattget(nc, var, name, buf.data()) == -1) return false;
      *v = load(t, buf.data(), static_cast<size_t>(i));
      return std::isfinite(*v);
    };
    if (!att("scale_factor", &scale)) scale = 1;
    if (!att("add_offset", &offset)) offset = 0;
    has_fill = att("_FillValue", &fill);
    nc_type t = NC_NAT;
    if (!has_fill && ncvarinq(nc, var, nullptr, &t, nullptr, nullptr, nullptr) != -1) has_fill = default_fill(t, &fill);
    has_miss = att("missing_value", &miss);
    double a = 0, b = 0;
    if (att("valid_range", &a, 0) && att("valid_range", &b, 1)) {
      low = std::min(a, b);
      high = std::max(a, b);
    } else {
      if (att("valid_min", &a)) low = a;
      if (att("valid_max", &b)) high = b;
    }
  }
  float operator()(double raw) const {
    if (std::isnan(raw) || (has_fill && raw == fill) || (has_miss && raw == miss) || raw < low || raw > high)
      return KEZ_FMISS;
    const double v = raw * scale + offset;
    if (!std::isfinite(v) || v > kBigValue || std::fabs(v) > FLT_MAX) return KEZ_FMISS;
    return static_cast<float>(v);
  }
};

/* The level and time of record r of the current variable in an older
 * layout, as its title and the variable's dimensions say. */
void older_header(const GRD_file& f, const Foreign& fo, const FieldVar& v, GRD_report* grd,
                  const std::function<int(int, int)>& number) {
  grd->level = grd->ltype = grd->time = 0;
  if (v.z_dim >= 0) {
    grd->level = number(fo.level_id, 0);
    grd->ltype = 10;
    grd->time = number(fo.ftime_id, 0);
  } else if (v.t_dim >= 0) {
    const int p = v.old;
    if (p == 1 || p == 101)
      grd->ltype = 12;
    else if (p == 2 || p == 102 || p == 50)
      grd->ltype = 1;
    else if (grd->model == 10)
      grd->ltype = p == 23 ? 1 : 12;
    else
      grd->ltype = 9;
    const int last = f.itype % 10, last2 = f.itype % 100;
    if (last == 1 && last2 > 9) grd->ltype = 7;
    if (last == 2 && last2 > 9) grd->ltype = 6;
    grd->time = number(fo.ftime_id, 0);
  } else {
    grd->ltype = 1;
    if (f.itype % 100 == 13) {
      grd->ltype = 10;
      grd->level = 500;
      grd->time = 72;
    }
  }
}

/* Reads foreign record n. */
int read_foreign(GRD_file& f, OpenFile& of, GRD_report* grd, int rep_type, int n) {
  const int nc = f.fd;
  Foreign& fo = of.foreign;
  if (n < 1 || n < fo.base) restart(f, fo);
  if (f.cur_var < 0 && !next_variable(f, fo)) return -1;
  while (n >= f.max_num)
    if (!next_variable(f, fo)) return -1;
  const FieldVar& v = fo.vars[static_cast<size_t>(f.cur_var)];
  const int var = v.id;
  const long r = n - fo.base;
  long hour = 0, lev = 0;
  if (v.t_dim >= 0 && v.z_dim >= 0) {
    hour = r / v.z_len;
    lev = r % v.z_len;
  } else if (v.t_dim >= 0) {
    hour = r;
  } else if (v.z_dim >= 0) {
    lev = r; /* a field over levels only */
  }
  auto at = [&](int dim) -> long {
    if (dim == v.t_dim) return hour;
    if (dim == v.z_dim) return lev;
    return 0;
  };
  auto number = [&](int id, int fallback) {
    double x = 0;
    int i = fallback;
    if (id >= 0 && get_number(nc, id, at, &x) && to_int(x, &i)) return i;
    return fallback;
  };

  std::free(grd->grid);
  grd->grid = nullptr;
  grd->var = v.param;
  grd->datim[0] = grd->info[0] = '\0';
  cut_copy(grd->units, sizeof grd->units, v.units);
  grd->type = 1;
  /* 0 marks an empty store slot: without a centre the source is 1, as in
   * the text formats. */
  grd->source = number(fo.center_id, 1);
  if (grd->source <= 0) grd->source = 1;
  grd->model = number(fo.model_id, 0);
  long base_time = 0;
  bool dated = false;
  if (fo.cf) {
    grd->ltype = v.flat_ltype;
    grd->level = 0;
    grd->time = 0;
    if (v.z_dim >= 0) {
      const LevelAxis& a = fo.levels.at(v.z_dim);
      grd->ltype = a.ltype;
      grd->level = a.codes.at(static_cast<size_t>(lev));
    }
    if (v.t_dim >= 0) {
      const TimeStep& t = fo.times.at(v.t_dim).at(static_cast<size_t>(hour));
      grd->time = t.time;
      grd->date = t.date;
      base_time = t.ref;
      dated = true;
    }
  } else {
    older_header(f, fo, v, grd, number);
  }

  /* Geometry. */
  Domain& d = grd->domain;
  DOM_init(&d);
  if (fo.geo.known) d = fo.geo.d;
  if (!fo.cf && !fo.geo.known && fo.lat_id < 0 && f.x_size == 83) {
    d.proj = 1;
    d.clat = 50.8936f;
    d.clon = -103.1524f;
    d.plon = -105.0f;
    d.nx = d.ny = 83;
    d.dx = d.dy = 0.9075464f;
  }
  bool widened = false;
  if (!fo.cf) {
    for (const ModelGrid& m : model_grids)
      if (grd->model == m.model) grd->type = m.type;
    if (grd->model == 83 && d.proj == KEZ_MISS) {
      grd->type = 211;
      d.proj = 4;
      d.clat = 40.62f;
      d.clon = -100.51f;
      d.nx = 93;
      d.ny = 65;
      d.dx = d.dy = 0.6263f;
      d.plon = -95.0f;
      d.param[0] = d.param[1] = 25.0f;
      d.param[2] = 1.277f;
    }
    if ((grd->model == 69 || grd->model == 78) && grd->time > 72 && d.nx == 72) {
      widened = true;
      d.nx = 73;
      d.clon += d.dx / 2;
    }
  }
  if (d.nx == KEZ_MISS || d.ny == KEZ_MISS) {
    /* No known geometry: the dimensions still give the array. */
    d.nx = static_cast<int>(std::min<long>(f.x_size, INT_MAX));
    d.ny = static_cast<int>(std::min<long>(f.y_size, INT_MAX));
  }
  grd->version = 1;

  /* The field's index in every dimension it has: the hour, the level, row s
   * of the latitudes, the longitudes from 0, 0 in any other. */
  VarShape s;
  if (!var_shape(nc, var, &s)) return -1;
  int x_pos = -1, y_pos = -1;
  for (size_t i = 0; i < s.dims.size(); ++i) {
    if (s.dims[i] == f.x_dim) x_pos = static_cast<int>(i);
    if (s.dims[i] == f.y_dim) y_pos = static_cast<int>(i);
  }
  const long read_nx = widened ? 72 : d.nx;
  if (x_pos < 0 || y_pos < 0 || d.nx <= 0 || d.ny <= 0 || read_nx > f.x_size || d.ny > f.y_size ||
      static_cast<long long>(d.nx) * d.ny > GRD_MAX_POINTS) {
    MESS_print(M_warn,
               "GRD_read: Field %d of the file has no grid of %d by %d points over its "
               "latitudes and longitudes\n",
               var, d.nx, d.ny);
    return -1;
  }
  std::vector<long> start(s.dims.size()), count(s.dims.size(), 1);
  for (size_t i = 0; i < s.dims.size(); ++i) start[i] = at(s.dims[i]);
  quiet();
  const Unpack unpack(nc, var);
  verbose();
  if (!fo.cf) {
    std::vector<double> first;
    if (get_numbers(nc, var, start, count, &first) && first[0] >= kBigValue)
      grd->source = grd->var = grd->ltype = grd->level = grd->time = 0;
    struct tm tm {};
    if (file_date(nc, fo, &tm)) {
      base_time = DATE_num_sec_tm(&tm);
      dated = true;
    }
    DATE_get_gmdate(&base_time, &grd->date);
    if (v.old == 50) {
      const char* qp = std::getenv("GRIBQP");
      char* end = nullptr;
      long add = qp ? std::strtol(qp, &end, 10) : 0;
      if (qp && end != qp && add > -100000 && add < 100000) grd->time += static_cast<int>(add);
    }
  } else if (!dated) {
    DATE_init(&grd->date);
  }
  if (rep_type != GRD_READ_ALL) return 0;

  std::string info;
  if (v.param != 0) {
    char buf[160] = "";
    VAR_make_datatype(grd->time, grd->ltype, grd->level, grd->var, grd->units, buf, sizeof buf);
    info = buf;
  } else {
    info = att_text(nc, var, "long_name", sizeof grd->info) + " (" + att_text(nc, var, "units", kUnitsMax) + ")";
  }
  cut_copy(grd->info, sizeof grd->info, info.c_str());
  if (dated) {
    std::string label;
    DATE_make_label_for(grd->time, grd->model, base_time, &label);
    cut_copy(grd->datim, sizeof grd->datim, label.c_str());
  }

  if (!fits_file(of, static_cast<long long>(read_nx) * d.ny) || !GRD_alloc(grd)) return -1;
  count[static_cast<size_t>(x_pos)] = read_nx;
  std::vector<double> row;
  const bool south_first = !fo.geo.known || fo.geo.south_first;
  for (long r2 = 0; r2 < d.ny; ++r2) {
    start[static_cast<size_t>(y_pos)] = r2;
    verbose();
    if (!get_numbers(nc, var, start, count, &row) || static_cast<long>(row.size()) != read_nx) {
      MESS_print(M_warn, "GRD_read: Unable to read row %ld of field %d\n", r2, var);
      std::free(grd->grid);
      grd->grid = nullptr;
      return -1;
    }
    const long out_row = south_first ? d.ny - 1 - r2 : r2;
    float* out = grd->grid + static_cast<size_t>(out_row) * static_cast<size_t>(d.nx);
    for (long i = 0; i < read_nx; ++i) out[i] = unpack(row[static_cast<size_t>(i)]);
    if (widened) out[d.nx - 1] = out[0];
  }
  return 0;
}

/* Every reason a variable of a present-day file is not read, with the
 * variables, for one message each. */
using Refused = std::map<std::string, std::string>;

void refuse(Refused* refused, const std::string& why, const char* name) {
  std::string& list = (*refused)[why];
  if (list.size() > 200) {
    if (list.compare(list.size() - 3, 3, "...") != 0) list += " ...";
    return;
  }
  if (!list.empty()) list += ' ';
  list += name;
}

/* The fields of a present-day file: every variable over its latitudes and
 * longitudes whose other dimensions are a time, a level that the level
 * types name, or of length 1. */
void list_cf_fields(GRD_file& f, Foreign& fo, int gridvar) {
  const int nc = f.fd;
  int nvars = 0;
  if (ncinquire(nc, nullptr, &nvars, nullptr, nullptr) == -1) nvars = 0;
  Refused refused;
  std::map<int, std::string> bad_time, bad_level;
  for (int v = 0; v < nvars; ++v) {
    char name[NC_MAX_NAME + 1] = "";
    VarShape s;
    if (ncvarinq(nc, v, name, nullptr, nullptr, nullptr, nullptr) == -1) continue;
    MESS_print(kVarTrace, "VAR: %d %s\n", v, name);
    if (!var_shape(nc, v, &s)) {
      int nd = 0;
      if (nc_inq_varndims(nc, v, &nd) == NC_NOERR && nd >= 2) refuse(&refused, "values of a type not read", name);
      continue;
    }
    bool has_x = false, has_y = false;
    for (int d : s.dims) {
      has_x = has_x || d == f.x_dim;
      has_y = has_y || d == f.y_dim;
    }
    if (!has_x || !has_y || s.type == NC_CHAR) continue;
    FieldVar fv;
    fv.id = v;
    std::string why;
    for (int d : s.dims) {
      if (d == f.x_dim || d == f.y_dim) continue;
      const long len = dim_len(nc, d);
      const int cv = coord_var(nc, d);
      const bool is_time = cv >= 0 && lower(att_text(nc, cv, "units", kUnitsMax)).find(" since ") != std::string::npos;
      if (is_time && fv.t_dim < 0) {
        if (!fo.times.count(d) && !bad_time.count(d)) {
          std::vector<TimeStep> steps;
          std::string w;
          if (time_axis(nc, d, &steps, &w))
            fo.times[d] = steps;
          else
            bad_time[d] = w;
        }
        if (bad_time.count(d)) {
          why = bad_time[d];
          break;
        }
        fv.t_dim = d;
        fv.t_len = static_cast<long>(fo.times[d].size());
      } else if (cv < 0 && len == 1) {
        continue; /* a dimension of one, read at its only index */
      } else if (!is_time && fv.z_dim < 0) {
        if (!fo.levels.count(d) && !bad_level.count(d)) {
          LevelAxis a;
          std::string w;
          if (level_axis(nc, d, &a, &w))
            fo.levels[d] = a;
          else
            bad_level[d] = w;
        }
        if (bad_level.count(d)) {
          why = bad_level[d];
          break;
        }
        fv.z_dim = d;
        fv.z_len = static_cast<long>(fo.levels[d].codes.size());
      } else {
        why = "more than one time or level";
        break;
      }
    }
    if (!why.empty()) {
      refuse(&refused, why, name);
      continue;
    }
    if (v == gridvar) {
      fv.param = 0;
      fo.vars.insert(fo.vars.begin(), fv);
      continue;
    }
    const std::string units = att_text(nc, v, "units", kUnitsMax);
    const std::string std_name = att_text(nc, v, "standard_name", kUnitsMax);
    fv.units = unit_name(units);
    for (const StdName& sn : std_names)
      if (std_name == sn.name) {
        fv.param = sn.param;
        if (sn.ltype) fv.flat_ltype = sn.ltype;
      }
    const std::string level_type = lower(att_text(nc, v, "level_type", kUnitsMax));
    for (const LevelTypeName& lt : level_type_names)
      if (level_type == lt.name) fv.flat_ltype = lt.ltype;
    if (fv.param == 0 && std_name.empty()) {
      fv.old = field_param(name, units);
      for (const OldParam& o : old_params)
        if (o.old == fv.old) fv.param = o.param;
    }
    fo.vars.push_back(fv);
  }
  for (const auto& [why, names] : refused)
    MESS_print(M_warn, "GRD_getinfo: Not read (%s): %s\n", why.c_str(), names.c_str());
}

/* The fields of older model output, recognised by name. */
void list_older_fields(GRD_file& f, Foreign& fo, int gridvar) {
  const int nc = f.fd;
  if (gridvar >= 0) {
    FieldVar fv;
    fv.id = gridvar;
    fo.vars.push_back(fv);
  }
  int nvars = 0;
  if (ncinquire(nc, nullptr, &nvars, nullptr, nullptr) == -1) nvars = 0;
  for (int v = 0; v < nvars; ++v) {
    char name[NC_MAX_NAME + 1] = "";
    if (ncvarinq(nc, v, name, nullptr, nullptr, nullptr, nullptr) == -1) continue;
    MESS_print(kVarTrace, "VAR: %d %s\n", v, name);
    if (v == gridvar) continue;
    const std::string units = att_text(nc, v, "units", kUnitsMax);
    FieldVar fv;
    fv.old = field_param(name, units);
    if (fv.old == 0) continue;
    fv.id = v;
    for (const OldParam& o : old_params)
      if (o.old == fv.old) fv.param = o.param;
    fv.units = unit_name(units);
    fo.vars.push_back(fv);
  }
  /* The time and level of each, as the file names them. */
  for (FieldVar& fv : fo.vars) {
    VarShape s;
    if (!var_shape(nc, fv.id, &s)) continue;
    for (int d : s.dims) {
      if (d == f.t_dim) fv.t_dim = d;
      if (d == f.z_dim) fv.z_dim = d;
    }
    fv.t_len = fv.t_dim >= 0 ? std::max(0L, f.t_size) : 1;
    fv.z_len = fv.z_dim >= 0 ? std::max(0L, f.z_size) : 1;
  }
}

/* Present-day output says that it follows CF. (Older output under other
 * conventions keeps its own names for times and levels.) */
bool is_cf(int nc) { return begins(lower(att_text(nc, NC_GLOBAL, "Conventions", kTitleMax)), "cf"); }

int getinfo_foreign(GRD_file& f, Foreign& fo, GRD_info* info) {
  const int nc = f.fd;
  quiet();
  fo = Foreign{};
  fo.cf = is_cf(nc);
  fo.rtime_dim = ncdimid(nc, "rtime");
  f.x_dim = find_dim(nc, {"lon", "x"});
  f.y_dim = find_dim(nc, {"lat", "y"});
  f.z_dim = find_dim(nc, {"level", "plevl"});
  f.t_dim = find_dim(nc, {"frtime", "anltime"});
  find_dim(nc, {"name_len", "timelen"});
  fo.lat_id = ncvarid(nc, "lat");
  fo.lon_id = ncvarid(nc, "lon");
  if (fo.cf) {
    /* The latitudes and longitudes are the coordinates that say so. */
    f.z_dim = f.t_dim = -1;
    int ndims = 0;
    if (ncinquire(nc, &ndims, nullptr, nullptr, nullptr) == -1) ndims = 0;
    int lat = -1, lon = -1;
    for (int d = 0; d < ndims; ++d) {
      const int cv = coord_var(nc, d);
      if (cv < 0) continue;
      if (lon < 0 && is_lon_coord(nc, cv)) lon = d, fo.lon_id = cv;
      if (lat < 0 && is_lat_coord(nc, cv)) lat = d, fo.lat_id = cv;
    }
    if (lat >= 0 && lon >= 0) {
      f.x_dim = lon;
      f.y_dim = lat;
    }
  }
  f.x_size = dim_len(nc, f.x_dim);
  f.y_size = dim_len(nc, f.y_dim);
  f.z_size = dim_len(nc, f.z_dim);
  f.t_size = dim_len(nc, f.t_dim);

  std::string why;
  if (fo.lat_id >= 0 && fo.lon_id >= 0 && f.x_size >= 2 && f.y_size >= 2 &&
      !lat_lon_grid(nc, fo.lat_id, fo.lon_id, &fo.geo, &why)) {
    verbose();
    MESS_print(M_warn, "GRD_getinfo: Fields not read: %s\n", why.c_str());
    return -1;
  }
  if (fo.geo.known && (fo.geo.d.nx != f.x_size || fo.geo.d.ny != f.y_size)) {
    verbose();
    MESS_print(M_warn, "GRD_getinfo: Fields not read: the coordinates do not match the grid's dimensions\n");
    return -1;
  }
  if (fo.cf && !fo.geo.known) {
    verbose();
    MESS_print(M_warn, "GRD_getinfo: Fields not read: no latitude-longitude coordinates\n");
    return -1;
  }

  const char* gv = std::getenv("GRIDVAR");
  cut_copy(f.var_nm, sizeof f.var_nm, gv ? gv : "");
  const int gridvar = f.var_nm[0] ? ncvarid(nc, f.var_nm) : -1;
  if (fo.cf)
    list_cf_fields(f, fo, gridvar);
  else
    list_older_fields(f, fo, gridvar);
  /* The handle's own list holds the first of them. */
  f.var_num = static_cast<int>(std::min<size_t>(fo.vars.size(), GRD_MAX_FILE_VARS));
  for (int k = 0; k < f.var_num; ++k) {
    f.values_id[k] = fo.vars[static_cast<size_t>(k)].id;
    f.var[k] = fo.vars[static_cast<size_t>(k)].param;
  }
  f.cur_var = -1;
  f.max_num = 0;
  fo.center_id = ncvarid(nc, "grib_center");
  fo.model_id = ncvarid(nc, "grib_model");
  DATE_init(&info->date);
  if (fo.cf) {
    if (!fo.times.empty() && !fo.times.begin()->second.empty()) info->date = fo.times.begin()->second.front().date;
    f.itype = 1;
  } else {
    fo.level_id = find_var(nc, {"level", "plevl"});
    fo.ftime_id = find_var(nc, {"frtime", "anlhour"});
    fo.year_id = ncvarid(nc, "year");
    if (fo.year_id >= 0) {
      fo.month_id = ncvarid(nc, "month");
      fo.day_id = ncvarid(nc, "day");
      fo.hour_id = ncvarid(nc, "hour");
    } else {
      fo.reftime_id = ncvarid(nc, "reftime");
    }
    struct tm tm {};
    if (file_date(nc, fo, &tm)) {
      info->date.year = tm.tm_year + 1900;
      info->date.month = tm.tm_mon + 1;
      info->date.day = tm.tm_mday;
      info->date.hour = tm.tm_hour;
      info->date.min = 0;
      info->date.sec = 0;
    }
    f.itype = layout_code(att_text(nc, NC_GLOBAL, "title", kTitleMax), fo.rtime_dim >= 0);
  }
  f.date = info->date;
  char label[DATE_LABEL_LEN] = "";
  if (info->date.year != KEZ_MISS) DATE_make_label(&info->date, label);
  cut_copy(info->datim, sizeof info->datim, label);
  info->max_x = static_cast<int>(std::clamp<long>(f.x_size, -1, INT_MAX));
  info->max_y = static_cast<int>(std::clamp<long>(f.y_size, -1, INT_MAX));
  info->grid_type = 0;
  verbose();
  return 0;
}

int getinfo_suite(GRD_file& f, OpenFile& of, GRD_info* info) {
  const int nc = f.fd;
  quiet();
  int grid_type = 0;
  if (!att_int(nc, NC_GLOBAL, "grid_type", &grid_type)) grid_type = 0;
  info->grid_type = grid_type;
  f.grid = grid_type == 1 ? 1 : 0;
  f.t_dim = ncdimid(nc, "grid");
  f.x_dim = ncdimid(nc, "x");
  f.y_dim = ncdimid(nc, "y");
  f.z_dim = ncdimid(nc, "string_len");
  f.x_size = dim_len(nc, f.x_dim);
  f.y_size = dim_len(nc, f.y_dim);
  f.z_size = dim_len(nc, f.z_dim);
  f.t_size = dim_len(nc, f.t_dim);
  f.values_id[0] = ncvarid(nc, "values");
  f.var_num = 1;
  f.x_coord_id = ncvarid(nc, "x_coord");
  f.y_coord_id = ncvarid(nc, "y_coord");
  for (const HeaderVar& h : proj_vars) f.*(h.id) = ncvarid(nc, h.name);
  for (const HeaderVar& h : number_vars) f.*(h.id) = ncvarid(nc, h.name);
  of.param_id = ncvarid(nc, "param");
  of.units_id = ncvarid(nc, "units");
  f.datim_id = ncvarid(nc, "datim");
  f.info_id = ncvarid(nc, "info");
  int year = KEZ_MISS, month = KEZ_MISS, day = KEZ_MISS, hour = KEZ_MISS;
  att_int(nc, NC_GLOBAL, "year", &year);
  att_int(nc, NC_GLOBAL, "month", &month);
  att_int(nc, NC_GLOBAL, "day", &day);
  att_int(nc, NC_GLOBAL, "hour", &hour);
  DATE_init(&info->date);
  /* Full years stay whole; short ones are completed by the date functions. */
  info->date.year = year;
  info->date.month = month;
  info->date.day = day;
  info->date.hour = hour;
  if (hour != KEZ_MISS) info->date.min = info->date.sec = 0;
  f.date = info->date;
  char label[DATE_LABEL_LEN] = "";
  if (year != KEZ_MISS && month >= 1 && month <= 12) DATE_make_label(&info->date, label);
  cut_copy(info->datim, sizeof info->datim, label);
  info->max_x = static_cast<int>(std::clamp<long>(f.x_size, -1, INT_MAX));
  info->max_y = static_cast<int>(std::clamp<long>(f.y_size, -1, INT_MAX));
  verbose();
  return 0;
}

/* A text of the record: kStringLen characters at record n, cut and ended. */
void read_text(int nc, int var, long n, char* out, size_t size) {
  out[0] = '\0';
  VarShape s;
  if (!var_shape(nc, var, &s) || s.type != NC_CHAR || s.dims.size() != 2) return;
  long len = std::min<long>(dim_len(nc, s.dims[1]), static_cast<long>(size) - 1);
  if (len <= 0) return;
  const long start[2] = {n, 0}, count[2] = {1, len};
  if (ncvarget(nc, var, start, count, out) == -1) {
    out[0] = '\0';
    return;
  }
  out[len] = '\0';
}

int read_suite(GRD_file& f, OpenFile& of, GRD_report* grd, int rep_type, int n) {
  const int nc = f.fd;
  if (n < 0 || n >= f.max_num) return -1;
  std::free(grd->grid);
  grd->grid = nullptr;
  read_text(nc, f.datim_id, n, grd->datim, std::min<size_t>(sizeof grd->datim, kStringLen));
  read_text(nc, f.info_id, n, grd->info, std::min<size_t>(sizeof grd->info, kStringLen));
  /* Older files keep no units: the record then has none, as before. */
  read_text(nc, of.units_id, n, grd->units, sizeof grd->units);
  DOM_init(&grd->domain);
  DATE_init(&grd->date);
  grd->date = f.date;
  auto at_n = [n](int) { return n; };
  auto read_var = [&](const HeaderVar& h) {
    double v = 0;
    const int id = f.*(h.id);
    if (id >= 0 && get_number(nc, id, at_n, &v)) set_field(grd, h.field, v);
  };
  grd->source = grd->version = grd->model = grd->type = 0;
  grd->ltype = grd->level = grd->time = grd->var = 0;
  for (const HeaderVar& h : number_vars) read_var(h);
  if (!f.grid) {
    for (const HeaderVar& h : proj_vars) read_var(h);
    if (f.proj_id < 0) grd->domain.proj = grd->model > 9 ? 2 : 1;
    std::vector<double> p;
    if (of.param_id >= 0 && get_numbers(nc, of.param_id, {n, 0}, {1, kParamLen}, &p))
      for (int i = 0; i < kParamLen; ++i) {
        double v = p[static_cast<size_t>(i)];
        if (v != KEZ_FMISS) grd->domain.param[i] = to_float(v);
      }
  }
  const Domain& d = grd->domain;
  if (d.nx <= 0 || d.ny <= 0 || d.nx > f.x_size || d.ny > f.y_size ||
      static_cast<long long>(d.nx) * d.ny > GRD_MAX_POINTS) {
    MESS_print(M_warn, "GRD_read: Grid %d of %d by %d points does not fit the file's %ld by %ld\n", n, d.nx, d.ny,
               f.x_size, f.y_size);
    return -1;
  }
  if (rep_type != GRD_READ_ALL) return 0;
  if (!fits_file(of, static_cast<long long>(d.nx) * d.ny) || !GRD_alloc(grd)) return -1;
  if (!get_floats(nc, f.values_id[0], {n, 0, 0}, {1, d.nx, d.ny}, grd->grid,
                  static_cast<size_t>(d.nx) * static_cast<size_t>(d.ny))) {
    MESS_print(M_warn, "GRD_read: Unable to read the values of grid %d\n", n);
    std::free(grd->grid);
    grd->grid = nullptr;
    return -1;
  }
  return 0;
}

/* ---- writing the suite's layout ------------------------------------------------------ */

int def_var(int nc, const char* name, nc_type type, std::initializer_list<int> dims, const char* att_name,
            const char* long_name, const char* units, bool fill) {
  std::vector<int> d(dims);
  int id = ncvardef(nc, name, type, static_cast<int>(d.size()), d.data());
  if (id < 0) return -1;
  ncattput(nc, id, "name", NC_CHAR, static_cast<int>(std::strlen(att_name)), att_name);
  ncattput(nc, id, "long_name", NC_CHAR, static_cast<int>(std::strlen(long_name)), long_name);
  if (units) ncattput(nc, id, "units", NC_CHAR, static_cast<int>(std::strlen(units)), units);
  if (fill) {
    const float miss = KEZ_FMISS;
    ncattput(nc, id, "_FillValue", NC_FLOAT, 1, &miss);
  }
  return id;
}

int put_short_att(int nc, const char* name, int v) {
  short s = static_cast<short>(std::clamp(v, SHRT_MIN, SHRT_MAX));
  return ncattput(nc, NC_GLOBAL, name, NC_SHORT, 1, &s);
}

/* The text of a record into a string variable: cut to leave room for its end. */
int put_text(int nc, int var, long n, const char* text, size_t field) {
  size_t len = strnlen(text, field);
  len = std::min<size_t>(len, kStringLen - 1);
  std::string s(text, len);
  s += '\0';
  const long start[2] = {n, 0}, count[2] = {1, static_cast<long>(s.size())};
  return ncvarput(nc, var, start, count, s.data());
}

OpenFile& open_file(const GRD_file* f) { return state.files[f]; }

/* The container of a file to be read: classic netCDF (whose values take
 * their full size), netCDF-4 in HDF5 (values may be compressed), or
 * something the library is left to judge. */
enum class Container { classic, hdf5, damaged, other };

/* A little-endian address of `size` bytes. */
unsigned long long le_address(const unsigned char* p, size_t size) {
  unsigned long long v = 0;
  for (size_t i = size; i-- > 0;) v = (v << 8) | p[i];
  return v;
}

/* An HDF5 superblock at the start of the file that the file can hold: a
 * known version and sizes, and an end of file no further than the file
 * goes (a cut file is refused before the library reads past its end). */
bool hdf5_sane(const unsigned char* b, size_t n, long long size) {
  if (n < 16) return false;
  const int version = b[8];
  size_t base_at = 0, offsets = 0;
  if (version == 0 || version == 1) {
    offsets = b[13];
    base_at = version == 0 ? 24 : 28;
  } else if (version == 2 || version == 3) {
    offsets = b[9];
    base_at = 12;
  } else {
    return false;
  }
  if (offsets != 4 && offsets != 8) return false;
  const size_t eof_at = base_at + 2 * offsets;
  if (n < eof_at + offsets) return false;
  const unsigned long long base = le_address(b + base_at, offsets);
  const unsigned long long eof = le_address(b + eof_at, offsets);
  return base <= static_cast<unsigned long long>(size) && eof <= static_cast<unsigned long long>(size) - base;
}

Container container(const char* filename) {
  FILE* fp = std::fopen(filename, "rb");
  if (!fp) return Container::other;
  std::array<unsigned char, 64> b{};
  const size_t n = std::fread(b.data(), 1, b.size(), fp);
  struct stat sb {};
  const bool regular = fstat(fileno(fp), &sb) == 0 && S_ISREG(sb.st_mode);
  std::fclose(fp);
  if (n >= 3 && std::memcmp(b.data(), "CDF", 3) == 0) return Container::classic;
  if (n >= 8 && std::memcmp(b.data(), "\x89HDF\r\n\x1a\n", 8) == 0)
    return regular && hdf5_sane(b.data(), n, static_cast<long long>(sb.st_size)) ? Container::hdf5 : Container::damaged;
  return Container::other;
}

} // namespace

/* ---- the netCDF branches of the handle interface --------------------------------------- */

int GRD_cdf_open(GRD_file* f, const char* filename, int f_access) {
  if (!f || !filename) return -1;
  quiet();
  int nc = -1;
  Container kind = Container::other;
  if (f_access == GRD_ACCESS_READ) {
    kind = container(filename);
    if (kind == Container::damaged)
      MESS_print(M_warn, "GRD_open: Damaged or cut netCDF-4 file: %s\n", filename);
    else if (CDF_check_header(filename))
      nc = ncopen(filename, NC_NOWRITE);
  } else if (f_access == GRD_ACCESS_WRITE) {
    nc = nccreate(filename, NC_CLOBBER);
  } else {
    MESS_print(M_warn, "GRD_open: netCDF grid files are read or created, not appended: %s\n", filename);
    return -1;
  }
  if (nc < 0) {
    MESS_print(M_warn, "GRD_open: Unable to open grid file: %s\n", filename);
    return -1;
  }
  verbose();
  f->fd = nc;
  f->file = nullptr;
  f->cur_var = -1;
  f->max_num = 0;
  f->num = 0;
  f->x_dim = f->y_dim = f->z_dim = f->t_dim = -1;
  f->x_size = f->y_size = f->z_size = f->t_size = -1;
  OpenFile of;
  struct stat sb {};
  if (kind == Container::classic && stat(filename, &sb) == 0 && S_ISREG(sb.st_mode))
    of.file_size = static_cast<long long>(sb.st_size);
  state.files[f] = of;
  return 0;
}

int GRD_cdf_getinfo(GRD_file* f, GRD_info* info) {
  if (!f || !info || f->fd < 0) return -1;
  OpenFile& of = open_file(f);
  const int nc = f->fd;
  quiet();
  int unlim = -1;
  if (ncinquire(nc, nullptr, nullptr, nullptr, &unlim) == -1) {
    verbose();
    MESS_print(M_warn, "GRD_getinfo: Unable to read the netCDF header\n");
    return -1;
  }
  f->max_num = std::max(0L, dim_len(nc, unlim));
  const bool suite = ncdimid(nc, "grid") >= 0;
  f->itype = suite ? 0 : 1;
  int r = suite ? getinfo_suite(*f, of, info) : getinfo_foreign(*f, of.foreign, info);
  if (suite) {
    f->max_num = std::max(0L, f->t_size);
    if (f->values_id[0] < 0 || f->x_size <= 0 || f->y_size <= 0) {
      MESS_print(M_warn, "GRD_getinfo: Grid file without values or grid dimensions\n");
      return -1;
    }
  }
  f->num = 0;
  of.have_info = r == 0;
  return r;
}

int GRD_cdf_read(GRD_file* f, GRD_report* grd, int rep_type, int* grdnum) {
  if (!f || !grd || !grdnum || f->fd < 0) return -1;
  OpenFile& of = open_file(f);
  if (!of.have_info) {
    GRD_info info{};
    if (GRD_cdf_getinfo(f, &info) != 0) return -1;
  }
  const int n = *grdnum == -1 ? f->num : *grdnum;
  if (n < 0) return -1;
  verbose();
  int r = f->itype == 0 ? read_suite(*f, of, grd, rep_type, n) : read_foreign(*f, of, grd, rep_type, n);
  if (r != 0) return -1;
  f->num = n + 1;
  *grdnum = n;
  return 0;
}

int GRD_cdf_putinfo(GRD_file* f, const GRD_info* info) {
  if (!f || !info || f->fd < 0) return -1;
  const int nc = f->fd;
  if (info->max_x <= 0 || info->max_y <= 0 || static_cast<long long>(info->max_x) * info->max_y > GRD_MAX_POINTS) {
    MESS_print(M_warn, "GRD_putinfo: Invalid grid size %d by %d\n", info->max_x, info->max_y);
    return -1;
  }
  verbose();
  const int grid = ncdimdef(nc, "grid", 0);
  const int x = ncdimdef(nc, "x", info->max_x);
  const int y = ncdimdef(nc, "y", info->max_y);
  const int slen = ncdimdef(nc, "string_len", kStringLen);
  if (grid < 0 || x < 0 || y < 0 || slen < 0) return -1;
  f->grid = info->grid_type == 1 ? 1 : 0;
  f->values_id[0] = def_var(nc, "values", NC_FLOAT, {grid, x, y}, "VALUES", "Grid values", nullptr, true);
  f->var_num = 1;
  OpenFile& of = open_file(f);
  if (f->grid) {
    f->x_coord_id =
        def_var(nc, "x_coord", NC_FLOAT, {grid, x, y}, "X_COORD", "X coordinate gridpoint locations", "DEG", true);
    f->y_coord_id =
        def_var(nc, "y_coord", NC_FLOAT, {grid, x, y}, "Y_COORD", "Y coordinate gridpoint locations", "DEG", true);
  } else {
    for (const HeaderVar& h : proj_vars)
      f->*(h.id) = def_var(nc, h.name, h.type, {grid}, h.att_name, h.long_name, h.units, false);
    /* The projection parameters (true latitudes and the like), absent from
     * older files. */
    const int plen = ncdimdef(nc, "param_len", kParamLen);
    of.param_id = def_var(nc, "param", NC_FLOAT, {grid, plen}, "PARAM", "Projection parameters", nullptr, true);
  }
  f->datim_id = def_var(nc, "datim", NC_CHAR, {grid, slen}, "DATETIME", "Grid date/time information", nullptr, false);
  f->info_id = def_var(nc, "info", NC_CHAR, {grid, slen}, "INFO", "Grid variable information", nullptr, false);
  /* The units of the values, absent from older files. */
  of.units_id = def_var(nc, "units", NC_CHAR, {grid, slen}, "UNITS", "Grid value units", nullptr, false);
  for (const HeaderVar& h : number_vars)
    f->*(h.id) = def_var(nc, h.name, h.type, {grid}, h.att_name, h.long_name, h.units, false);
  ncattput(nc, NC_GLOBAL, "source", NC_CHAR, 3, "KEZ");
  ncattput(nc, NC_GLOBAL, "version", NC_CHAR, 3, "1.0");
  put_short_att(nc, "grid_type", info->grid_type);
  put_short_att(nc, "year", info->date.year);
  put_short_att(nc, "month", info->date.month);
  put_short_att(nc, "day", info->date.day);
  put_short_att(nc, "hour", info->date.hour);
  if (ncendef(nc) == -1) return -1;
  f->x_size = info->max_x;
  f->y_size = info->max_y;
  f->max_num = 0;
  f->itype = 0;
  of.have_info = true;
  return 0;
}

int GRD_cdf_write(GRD_file* f, const GRD_report* grd, const int* grd_num) {
  if (!f || !grd || !grd->grid || f->fd < 0) return -1;
  const int nc = f->fd;
  OpenFile& of = open_file(f);
  if (!of.have_info || f->values_id[0] < 0) {
    MESS_print(M_warn, "GRD_write: The grid file's header was not written\n");
    return -1;
  }
  const Domain& d = grd->domain;
  if (d.nx <= 0 || d.ny <= 0 || d.nx > f->x_size || d.ny > f->y_size) {
    MESS_print(M_warn, "GRD_write: Grid of %d by %d points does not fit the file's %ld by %ld\n", d.nx, d.ny, f->x_size,
               f->y_size);
    return -1;
  }
  const long n = grd_num && *grd_num >= 0 ? *grd_num : f->max_num;
  verbose();
  const long start[3] = {n, 0, 0}, count[3] = {1, d.nx, d.ny};
  if (ncvarput(nc, f->values_id[0], start, count, grd->grid) == -1) return -1;
  int bad = 0;
  bad |= put_text(nc, f->datim_id, n, grd->datim, sizeof grd->datim);
  bad |= put_text(nc, f->info_id, n, grd->info, sizeof grd->info);
  if (of.units_id >= 0) bad |= put_text(nc, of.units_id, n, grd->units, sizeof grd->units);
  auto put = [&](const HeaderVar& h) {
    const int id = f->*(h.id);
    if (id < 0) return;
    const long at[1] = {n};
    const double v = field_value(*grd, h.field);
    if (h.type == NC_FLOAT) {
      float x = to_float(v);
      bad |= ncvarput1(nc, id, at, &x);
    } else {
      nclong x = static_cast<nclong>(v);
      bad |= ncvarput1(nc, id, at, &x);
    }
  };
  if (!f->grid) {
    for (const HeaderVar& h : proj_vars) put(h);
    if (of.param_id >= 0) {
      const long ps[2] = {n, 0}, pc[2] = {1, kParamLen};
      bad |= ncvarput(nc, of.param_id, ps, pc, d.param);
    }
  }
  for (const HeaderVar& h : number_vars) put(h);
  if (bad) return -1;
  f->max_num = std::max(f->max_num, n + 1);
  return 0;
}

int GRD_cdf_rewind(GRD_file* f) {
  if (!f) return -1;
  f->num = 0;
  if (f->itype != 0) {
    OpenFile& of = open_file(f);
    restart(*f, of.foreign);
  }
  return 0;
}

int GRD_old_param(int old, char* units, size_t size) {
  for (const OldParam& o : old_params)
    if (o.old == old) {
      if (units && size) cut_copy(units, size, o.units);
      return o.param;
    }
  if (units && size) units[0] = '\0';
  return 0;
}

int GRD_cdf_close(GRD_file* f) {
  if (!f) return -1;
  state.files.erase(f);
  if (f->fd < 0) return 0;
  verbose();
  int r = ncclose(f->fd);
  f->fd = -1;
  return r == -1 ? -1 : 0;
}
