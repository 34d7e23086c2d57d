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


/* ------------------------------------------------------------------------ */
/* grd_read: the file table as the GRIB decoder reaches it                  */
/* ------------------------------------------------------------------------ */

/* The open-file record of handle ind (no range check; NULL for a free slot). */
GRD_file* GRD_get_gfile(int ind);
/* The offset at which the record read last begins (one value for the module). */
long GRD_get_pos(int grd_fd);

/* ------------------------------------------------------------------------ */
/* grib: GRIB decoder (editions 0, 1 and 2 behind four bulletin framings)   */
/* ------------------------------------------------------------------------ */

/* Framing kinds kept in GRD_file::itype of a GRIB file. */
enum GRIB_framing {
  GRIB_FRAME_UNKNOWN = 0, /* not yet known (as opened) */
  GRIB_FRAME_KEZ = 1,     /* "**" heading line */
  GRIB_FRAME_LDM = 2,     /* SOH, sequence number, heading ... CR CR LF ETX */
  GRIB_FRAME_OLD_KEZ = 3, /* "GRIB:" size line, then SOH and a heading */
  GRIB_FRAME_RAW = 4      /* no framing */
};

/* Longest edition 1 message and longest whole record copied. */
constexpr long GRIB_MAX_PRODUCT = 2000000;
/* Room of a kept WMO heading (without its terminator), and the part of it
 * that GRIB_get_WMO_header hands out (TTAAii CCCC YYGGgg). */
constexpr int GRIB_HEADING_LEN = 30;
constexpr int GRIB_WMO_LEN = 18;
/* The heading given to a message found without framing. */
inline constexpr const char* GRIB_DEFAULT_HEADING = "GRIB01 KXXX 010000";

/* Framing search: >0 a message was found (file after its indicator),
 * 0 nothing recognised, -1 end of file. */
int GRIB_header(int grd_fd);
int GRIB_header_kez(int grd_fd);
int GRIB_header_ldm(int grd_fd, long int old_pos);
int GRIB_header_old_kez(int grd_fd);
int GRIB_header_raw(int grd_fd, long int old_pos);
/* Magic search: octets of the last indicator read (4, 8 for edition 2),
 * 0 at the end of the file. */
int GRIB_search(int grd_fd);
/* Offset at which the next record begins (with where 1 the file is moved
 * there), or -1 when there is no usable next product. */
int GRIB_next(int grd_fd, int where);
int GRIB_get_info(int grd_fd, GRD_info* info);
/* Copies the current record. *data null: a new buffer (caller frees with
 * free); otherwise *size on entry is the capacity of *data. The octets
 * copied, or -1. */
int GRIB_get_raw(int grd_fd, char** data, int* size);
int GRIB_get_WMO_header(int grd_fd, char* header); /* writes GRIB_WMO_LEN chars */
char GRIB_get_type(int grd_fd);
int GRIB_get_version();

/* Units of a record from its parameter (remapping ECMWF and edition 0
 * parameters); the netCDF unit name of a suite variable, or NULL. */
int GRIB_units(GRD_report* grd);
const char* GRIB_cdf_units(int var_id);
/* Jumps allowed in the bad-value filter's window; 0 or less turns it off. */
int GRIB_set_max_bad(int val);

/* Edition 1 (and 0), in the order the grid store's reader calls them:
 * product definition (1, or -1), grid description (1; 0 for a grid that
 * cannot be used; -1 on a short or damaged section), bit map (1; 0 when it
 * cannot be had; -1 on a short or damaged section), data (1; 0 when the grid
 * cannot be allocated; -1 when the field cannot be unpacked). A field that
 * is not unpacked leaves the record without values (grid NULL). */
int GRIB_PDB(int grd_fd, GRD_report* grd, int rep_type);
int GRIB_decode_PDB(const unsigned char* data, GRD_report* grd); /* data[k] is octet k */
int GRIB_set_var(GRD_report* grd);
int GRIB_GDB(int grd_fd, GRD_report* grd);
int GRIB_set_domain(int type, Domain* domain);
int GRIB_BMB(int grd_fd, GRD_report* grd);
int GRIB_BDB(int grd_fd, GRD_report* grd);
/* IBM single precision; 2^E of a sign-and-magnitude 16-bit E. */
float GRIB_flt_conv(const unsigned char* pc);
float GRIB_scl_conv(const unsigned char* pc);
/* The next bit of the bit map in force (1 without one; 0 past its end). */
int GRIB_BMB_read();
/* The next packed value from the file (-1 at its end), through the
 * bad-value filter. */
long GRIB_bit_read(int grd_fd);

/* Largest grid side the edition 1 description accepts. */
constexpr int GRIB_MAX_SIDE = 2000;
/* Widest packed value. */
constexpr int GRIB_MAX_BITS = 32;

/* Edition 2, section by section: a section header (1 for sections 0 to 8,
 * 0 at the end marker, at the end of the file, for a larger number or a
 * damaged length), the skipper, identification (1, or 0 on a short read)
 * and grid definition (1; 0 on a short read or a grid it refuses). */
int GRIB_read_section(int grd_fd);
int GRIB_get_sect();
int GRIB_get_slen();
int GRIB_skip_section(int grd_fd);
int GRIB_IDS(int grd_fd, GRD_report* grd);
int GRIB_GDS(int grd_fd, GRD_report* grd);

/* Longest edition 2 section read whole (identification, grid, product and
 * data representation), and the largest edition 2 grid. */
constexpr long GRIB2_MAX_SECTION = 1L << 20;
constexpr long long GRIB2_MAX_POINTS = 50000000;

/* A parameter of "grib2_var.lup" (the edition 2 parameter table). */
struct GribParam {
  int ind;        /* the suite's variable number; -9999 unset */
  int ver;        /* not used */
  int src;        /* centre of the table line; 0 matches any */
  int disc;       /* discipline */
  int cat;        /* parameter category */
  int param;      /* parameter number */
  char name[20];  /* variable name */
  char units[30];
  char lname[80]; /* long name */
};

int GribParam_init(GribParam* param);
GribParam GRIB_get_ver2_param(int src, int disc, int cat, int param);
/* Section 4: 1, or 0 (record untouched) on a short read. */
int GRIB_PDS(int grd_fd, GRD_report* grd);

#endif /* KEZGRD_H */
