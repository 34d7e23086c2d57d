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
 *
 * This file keeps values in their stored type, the suite's layout and the
 * handle interface; present-day (CF) coordinates, levels and times are in
 * grd_cdf_axes.cpp, foreign layouts, their variable list and records in
 * grd_cdf_foreign.cpp, and what they share in grd_cdf_impl.h.
 */
#include "grd_cdf_impl.h"
#include "kezgrd.h"

#include "cdf_lib.h"
#include "kezcdf.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace grd_cdf_impl;

namespace {

constexpr int kStringLen = 50; /* "datim" and "info" in the file */
constexpr int kParamLen = 5;   /* the projection parameters kept per grid */
constexpr int kMaxVarDims = 10;

} // namespace

namespace grd_cdf_impl {

GridCdf state;

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

} // namespace grd_cdf_impl

namespace {

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

} // namespace

namespace grd_cdf_impl {

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

} // namespace grd_cdf_impl

namespace {

/* The first element of a numeric attribute. */
bool att_int(int nc, int var, const char* name, int* v) {
  nc_type t = NC_NAT;
  int len = 0;
  if (ncattinq(nc, var, name, &t, &len) == -1 || len < 1 || t < NC_BYTE || t > NC_UINT64 || t == NC_CHAR) return false;
  std::vector<unsigned char> buf(static_cast<size_t>(len) * type_size(t) + 8);
  if (ncattget(nc, var, name, buf.data()) == -1) return false;
  return to_int(load(t, buf.data(), 0), v);
}

} // namespace

namespace grd_cdf_impl {

long dim_len(int nc, int dim) {
  long len = -1;
  if (dim < 0 || ncdiminq(nc, dim, nullptr, &len) == -1) return -1;
  return len;
}

/* A grid cannot hold more values than its classic file has bytes (a float
 * takes four, the smallest stored type one); compressed files are not
 * bounded so. */
bool fits_file(const OpenFile& of, long long points) {
  if (of.file_size < 0 || points <= of.file_size) return true;
  MESS_print(M_warn, "GRD_read: File too short for a grid of %lld points\n", points);
  return false;
}

} // namespace grd_cdf_impl

namespace {

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
