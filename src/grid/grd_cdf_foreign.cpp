/*
 * grd_cdf_foreign: foreign model output in netCDF, for grd_cdf.
 *
 * A file without the suite's "grid" dimension: older model output, its
 * fields recognised by name and units, its layout by its title; present-day
 * (CF) output, every variable over its latitude and longitude coordinates
 * named by its standard name. Here are the tables of names and units, the
 * list of the file's field variables (each refused variable reported with
 * its reason), the header of a foreign file and the reading of its
 * records, numbered across the variables, time-major within each, with
 * packed, filled and missing values unpacked.
 */
#include "grd_cdf_impl.h"
#include "kezgrd.h"

#include "cdf_lib.h"

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <map>
#include <string>
#include <vector>

using namespace grd_cdf_impl;

namespace {

constexpr int kTitleMax = 99;
constexpr float kBigValue = 1.0e30f; /* at and above: no data */
constexpr M_type kVarTrace = 0x20000000;

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

bool same_nocase(const std::string& a, const char* b) {
  size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

bool begins(const std::string& s, const char* p) { return s.compare(0, std::strlen(p), p) == 0; }

} // namespace

namespace grd_cdf_impl {

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

} // namespace grd_cdf_impl

namespace {

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

} // namespace

namespace grd_cdf_impl {

std::string unit_name(const std::string& text) {
  const std::string l = lower(text);
  for (const UnitName& u : unit_names)
    for (const char* t : u.texts)
      if (t && l == t) return u.name;
  return text.substr(0, std::min<size_t>(text.size(), sizeof(GRD_report{}.units) - 1));
}

} // namespace grd_cdf_impl

namespace {

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

} // namespace

namespace grd_cdf_impl {

void restart(GRD_file& f, Foreign& fo) {
  f.cur_var = -1;
  f.max_num = 0;
  fo.base = 0;
}

} // namespace grd_cdf_impl

namespace {

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
 * missing values, stored values outside "valid_range" ("valid_min",
 * "valid_max"), not-a-number and values above 1e30 as -9999. Integers
 * marked "_Unsigned" (as netCDF-3 keeps unsigned bytes and shorts) are
 * read without their sign, and so are their fill and range. */
struct Unpack {
  double scale = 1, offset = 0;
  bool has_fill = false;
  double fill = 0;
  std::vector<double> misses;
  double low = -HUGE_VAL, high = HUGE_VAL;
  double wrap = 0; /* 2^bits of an unsigned integer stored signed, else 0 */
  Unpack(int nc, int var) {
    nc_type vt = NC_NAT;
    if (ncvarinq(nc, var, nullptr, &vt, nullptr, nullptr, nullptr) == -1) vt = NC_NAT;
    if (lower(att_text(nc, var, "_Unsigned", 8)) == "true") {
      if (vt == NC_BYTE) wrap = 256.0;
      if (vt == NC_SHORT) wrap = 65536.0;
      if (vt == NC_INT) wrap = 4294967296.0;
    }
    /* Element i of a numeric attribute, and its length. */
    auto att = [&](const char* name, double* v, int i = 0, int* count = nullptr) {
      nc_type t = NC_NAT;
      int len = 0;
      if (ncattinq(nc, var, name, &t, &len) == -1 || len <= i || t == NC_CHAR || t < NC_BYTE || t > NC_UINT64)
        return false;
      std::vector<unsigned char> buf(static_cast<size_t>(len) * type_size(t) + 8);
      if (ncattget(nc, var, name, buf.data()) == -1) return false;
      if (count) *count = len;
      *v = load(t, buf.data(), static_cast<size_t>(i));
      return std::isfinite(*v);
    };
    if (!att("scale_factor", &scale)) scale = 1;
    if (!att("add_offset", &offset)) offset = 0;
    has_fill = att("_FillValue", &fill);
    if (!has_fill) has_fill = default_fill(vt, &fill);
    if (has_fill) fill = unsign(fill);
    int n = 0;
    double m = 0;
    if (att("missing_value", &m, 0, &n)) {
      misses.push_back(unsign(m));
      for (int i = 1; i < n && i < 16; ++i)
        if (att("missing_value", &m, i)) misses.push_back(unsign(m));
    }
    double a = 0, b = 0;
    if (att("valid_range", &a, 0) && att("valid_range", &b, 1)) {
      low = std::min(unsign(a), unsign(b));
      high = std::max(unsign(a), unsign(b));
    } else {
      if (att("valid_min", &a)) low = unsign(a);
      if (att("valid_max", &b)) high = unsign(b);
    }
  }
  double unsign(double raw) const { return wrap != 0 && raw < 0 ? raw + wrap : raw; }
  float operator()(double stored) const {
    const double raw = unsign(stored);
    if (std::isnan(raw) || (has_fill && raw == fill) || raw < low || raw > high) return KEZ_FMISS;
    for (double m : misses)
      if (raw == m) return KEZ_FMISS;
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

} // namespace

namespace grd_cdf_impl {

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

} // namespace grd_cdf_impl

namespace {

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

/* Whether a present-day variable named as older output names its fields
 * is that field, as its units say: older output's names stand for units
 * of their own where the file names others ("P" in hPa where not in Pa),
 * which a present-day file's "P" in mm or "Z" in m^2/s^2 is not. */
bool older_units_agree(int old, const std::string& units) {
  switch (old) {
    case 1: return units == "hPa" || units == "mb";
    case 2: return units == "dam";
    case 4: return units == "C";
    case 40: return units == "mb/s";
    case 61:
    case 64:
    case 75: return false;
    default: return true;
  }
}

/* Why a variable's grid mapping keeps its values off the latitudes and
 * longitudes (a projection or a rotated pole), or empty when it has none
 * or the plain latitude-longitude one. */
std::string grid_mapping_refusal(int nc, int v) {
  std::string name = att_text(nc, v, "grid_mapping", NC_MAX_NAME);
  const size_t b = name.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  name = name.substr(b, name.find_first_of(" :", b) - b);
  const int m = ncvarid(nc, name.c_str());
  if (m < 0) return "a grid mapping the file does not describe";
  const std::string kind = att_text(nc, m, "grid_mapping_name", kUnitsMax);
  if (kind == "latitude_longitude") return "";
  return "grid mapping " + (kind.empty() ? std::string("without a name") : kind);
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
    std::string why = grid_mapping_refusal(nc, v);
    for (int d : s.dims) {
      if (!why.empty()) break;
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
      if (!older_units_agree(fv.old, fv.units)) fv.old = 0;
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

} // namespace

namespace grd_cdf_impl {

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

} // namespace grd_cdf_impl
