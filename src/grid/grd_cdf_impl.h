/*
 * grd_cdf_impl.h: what the files of grd_cdf share (grd_cdf.cpp,
 * grd_cdf_axes.cpp, grd_cdf_foreign.cpp).
 *
 * The table of open netCDF grid files is defined once in grd_cdf.cpp,
 * with the readers of values in their stored type; the coordinates of
 * present-day output and the foreign layouts offer the calls declared
 * below.
 */
#ifndef KEZ_GRD_CDF_IMPL_H
#define KEZ_GRD_CDF_IMPL_H

#include "kezgrd.h"

#include "cdf_lib.h"

#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace grd_cdf_impl {

constexpr int kUnitsMax = 79;

/* Copies a text into a fixed field, cut to leave room for its end. */
void cut_copy(char* dst, size_t size, const std::string& src);

/* The library's error option: silent while probing, verbose otherwise. */
void quiet();
void verbose();

struct VarShape {
  nc_type type = NC_NAT;
  std::vector<int> dims;
};

bool var_shape(int nc, int var, VarShape* s);

size_t type_size(nc_type t);

/* Element i of a buffer of values of type t (the netCDF-4 integer types
 * too: they stand in files written by present-day tools). */
double load(nc_type t, const unsigned char* p, size_t i);

/* Numbers of a numeric variable over a slab of exactly n elements. */
bool get_numbers(int nc, int var, const std::vector<long>& start, const std::vector<long>& count,
                 std::vector<double>* out);

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
bool to_int(double v, int* out);

float to_float(double v);

/* A text attribute, at most max characters of it; empty when absent. */
std::string att_text(int nc, int var, const char* name, size_t max);

long dim_len(int nc, int dim);

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

std::string lower(std::string s);

/* A units text by the name of the unit table, or as the file gives it. */
std::string unit_name(const std::string& text);

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

extern GridCdf state;

/* A grid cannot hold more values than its classic file has bytes (a float
 * takes four, the smallest stored type one); compressed files are not
 * bounded so. */
bool fits_file(const OpenFile& of, long long points);

/* Present-day (CF) coordinates, levels and times (grd_cdf_axes.cpp). */

/* The coordinate variable of a dimension (the variable of its name with
 * that one dimension), or -1. */
int coord_var(int nc, int dim);

bool is_lon_coord(int nc, int var);

bool is_lat_coord(int nc, int var);

/* The grid of the latitude and longitude coordinates; false with the
 * reason when they are no evenly spaced latitude-longitude grid. */
bool lat_lon_grid(int nc, int lat_id, int lon_id, Geometry* g, std::string* why);

/* The steps of a time axis; false with the reason. */
bool time_axis(int nc, int dim, std::vector<TimeStep>* steps, std::string* why);

/* The levels of a vertical coordinate; false with the reason. */
bool level_axis(int nc, int dim, LevelAxis* axis, std::string* why);

/* Foreign layouts (grd_cdf_foreign.cpp). */

void restart(GRD_file& f, Foreign& fo);

/* Reads foreign record n. */
int read_foreign(GRD_file& f, OpenFile& of, GRD_report* grd, int rep_type, int n);

int getinfo_foreign(GRD_file& f, Foreign& fo, GRD_info* info);

} // namespace grd_cdf_impl

#endif
