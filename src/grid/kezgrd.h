/*
 * kezgrd.h: the grid records of the suite.
 *
 * GRD_report is one gridded field with its header, the unit of work of every
 * grid reader, writer, calculator function and plotter. GRD_info is the
 * header of a whole grid file, GRD_file the state of one open grid file in
 * the 15-handle file table. The grid store (60 slots, slot i belonging to
 * entry i of the parsed variable list) lives in grd_tool, the file table in
 * grd_read.
 *
 * Ownership: a record owns its array. GRD_alloc or a reader allocates it,
 * GRD_free releases it; whole-record copies hand the pointer over, so after
 * a copy exactly one of the two records may be freed.
 */
#ifndef KEZGRD_H
#define KEZGRD_H

#include <cstdio>

#include "kez.h"

/* Grid file type codes (GRD_file::type, the f_type argument of GRD_open). */
enum GRD_file_type {
  GRD_TYPE_DETECT = 0,   /* detect from the file (GRD_open only) */
  GRD_TYPE_RAW = 1,      /* text records without a magic line */
  GRD_TYPE_TEXT = 2,     /* "KEZGRID" text (and the binary files as detected) */
  GRD_TYPE_BINARY = 3,   /* the suite's binary format (written as 3, read as 2) */
  GRD_TYPE_FORMAT4 = 4,  /* "KEZGRID4", optionally "KEZGRID4B" (read only) */
  GRD_TYPE_NETCDF = 11,
  GRD_TYPE_GRIB = 21,    /* GRIB editions 1 and 2 */
  GRD_TYPE_GRID = 22,    /* WMO character GRID code (read only) */
  GRD_TYPE_BAD = -1      /* cannot be opened or not recognised */
};

constexpr int GRD_STORE_SLOTS = 60;  /* one slot per variable-list entry */
constexpr int GRD_MAX_FILES = 15;    /* open grid file handles 0 to 14 */
constexpr int GRD_MAX_FILE_VARS = 15;

/* One gridded field with its header. */
struct GRD_report {
  int type;       /* grid number (NMC; 70 + id for GRID code; 1 foreign netCDF; 0 none) */
  int source;     /* centre or data source; 0 marks an empty store slot; byte
                     count of a raw GRIB message held for copying */
  int version;    /* record format version */
  char datim[50]; /* date-time label (up to 49 characters) */
  char info[70];  /* description (up to 69 characters) */
  Date date;      /* date of the grid */
  int model;      /* model or generating process */
  int ltype;      /* level type code */
  int level;      /* level code */
  int time;       /* forecast time code */
  int var;        /* parameter number (GRIB edition 1 numbering) */
  char units[15]; /* units text (up to 14 characters) */
  Domain domain;  /* projection and grid geometry: nx columns, ny rows */
  float* grid;    /* nx * ny values row after row, first row the top (northern)
                     row, -9999 missing; NULL when the record holds none */
};

/* The header of a grid file. */
struct GRD_info {
  char datim[40]; /* date-time label of the file (up to 39 characters) */
  int max_x;      /* grid columns */
  int max_y;      /* grid rows */
  int grid_type;  /* netCDF: 1 coordinate variables, 0 projection variables */
  Date date;
};

/* One open grid file. */
struct GRD_file {
  FILE* file;     /* the open stream (text, binary, GRID code, GRIB); NULL for netCDF */
  FILE* hfile;    /* companion header file of a GRIB file, or NULL */
  char datim[50]; /* date-time label of the file's first record (text formats) */
  Date date;
  int fd;         /* netCDF id; 1 for an open stream; -1 when nothing is open */
  int grid;       /* netCDF coordinate layout; GRIB edition of the first message
                     (10 for edition 0 of centre 98) */
  int type;       /* GRD_file_type */
  int itype;      /* sub-type: format 4 binary (3), foreign netCDF layout, GRIB framing */
  char var_nm[50];               /* "GRIDVAR" variable name (foreign netCDF) */
  int var[GRD_MAX_FILE_VARS];    /* parameter of each variable found */
  int var_num;                   /* entries used in var and values_id */
  int cur_var;                   /* variable being stepped through, -1 before the first */
  int num;                       /* current record, counted from 0 */
  long max_num;                  /* records known so far (netCDF) */
  long x_size, y_size, z_size, t_size; /* dimension lengths, -1 when absent */
  int x_dim, y_dim, z_dim, t_dim;      /* dimension ids, -1 when absent */
  int values_id[GRD_MAX_FILE_VARS];
  int x_coord_id, y_coord_id, proj_id, lat1_id, lat2_id, lon1_id, lon2_id, datim_id,
      info_id, source_id, version_id, model_id, type_id, ltype_id, level_id, time_id,
      var_id, dx_id, dy_id, nx_id, ny_id; /* netCDF header variable ids, -1 when absent */
};

/* grd_calc: the calculator's names. The recognisers compare the text
 * before the first "-" exactly. GRD_is_vect_func: 1 for the functions with
 * two output grids; GRD_is_plot_func: 1 for the items drawn as a vector
 * plot of their operands; GRD_is_math_func: the plot type of a function's
 * result, 0 for any other name. GRD_calc_register hands the first and the
 * last to the variable parser; a program calls it once at start. */
int GRD_is_vect_func(const char* str);
int GRD_is_plot_func(const char* str);
int GRD_is_math_func(const char* str);
int GRD_calc_register();

#endif /* KEZGRD_H */
