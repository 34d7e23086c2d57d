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
 * GRD_free releases it; whole-record copies move the pointer, so an array
 * always has exactly one owner.
 */
#ifndef KEZGRD_H
#define KEZGRD_H

#include <cstddef>
#include <cstdio>

#include "kez.h"

/* Grid file type codes (GRD_file::type, the f_type argument of GRD_open). */
enum GRD_file_type {
  GRD_TYPE_DETECT = 0,  /* detect from the file (GRD_open only) */
  GRD_TYPE_RAW = 1,     /* text records without a magic line */
  GRD_TYPE_TEXT = 2,    /* "KEZGRID" text (and the binary files as detected) */
  GRD_TYPE_BINARY = 3,  /* the suite's binary format (written as 3, read as 2) */
  GRD_TYPE_FORMAT4 = 4, /* "KEZGRID4", optionally "KEZGRID4B" (read only) */
  GRD_TYPE_NETCDF = 11,
  GRD_TYPE_GRIB = 21, /* GRIB editions 1 and 2 */
  GRD_TYPE_GRID = 22, /* WMO character GRID code (read only) */
  GRD_TYPE_BAD = -1   /* cannot be opened or not recognised */
};

constexpr int GRD_STORE_SLOTS = 60; /* one slot per variable-list entry */
constexpr int GRD_MAX_FILES = 15;   /* open grid file handles 0 to 14 */
constexpr int GRD_MAX_FILE_VARS = 15;
/* The most points a grid may have: sizes read from files are refused
 * beyond it, before anything is allocated. */
constexpr long GRD_MAX_POINTS = 100000000L;

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
  int fd;                              /* netCDF id; 1 for an open stream; -1 when nothing is open */
  int grid;                            /* netCDF coordinate layout; GRIB edition of the first message
                                          (10 for edition 0 of centre 98) */
  int type;                            /* GRD_file_type */
  int itype;                           /* sub-type: format 4 binary (3), foreign netCDF layout, GRIB framing */
  char var_nm[50];                     /* "GRIDVAR" variable name (foreign netCDF) */
  int var[GRD_MAX_FILE_VARS];          /* parameter of each variable read (the first 15 of them) */
  int var_num;                         /* entries used in var and values_id */
  int cur_var;                         /* variable being stepped through, -1 before the first */
  int num;                             /* current record, counted from 0 */
  long max_num;                        /* records known so far (netCDF) */
  long x_size, y_size, z_size, t_size; /* dimension lengths, -1 when absent */
  int x_dim, y_dim, z_dim, t_dim;      /* dimension ids, -1 when absent */
  int values_id[GRD_MAX_FILE_VARS];
  int x_coord_id, y_coord_id, proj_id, lat1_id, lat2_id, lon1_id, lon2_id, datim_id, info_id, source_id, version_id,
      model_id, type_id, ltype_id, level_id, time_id, var_id, dx_id, dy_id, nx_id,
      ny_id; /* netCDF header variable ids, -1 when absent */
};

/* Record invariant: every GRD_report handed to the functions below has been
 * emptied with GRD_init (or zeroed) before its first use, so that `grid` is
 * either NULL or an array this record owns (allocated with malloc). A record
 * never shares its array: GRD_copy and GRD_set_grid move it into the target,
 * GRD_alloc releases what the record held before, GRD_free releases it. */

/* ---- grd_tool: grid records and the grid store ---------------------------- */

/* Empties a record; drops the array pointer without releasing it, so that
 * fresh records can be emptied (release an owned array first). */
int GRD_init(GRD_report* grid);
int GRD_alloc(GRD_report* grid);
int GRD_free(GRD_report* grid);
int GRD_copy(GRD_report* grid2, GRD_report* grid1);
int GRD_move(GRD_report* grid2, GRD_report* grid1);
/* The header only; grid2 is left without an array (one it held is dropped,
 * not released: empty it first). */
int GRD_copy_info(GRD_report* grid2, const GRD_report* grid1);
int GRD_set_info(GRD_info* info, const Date* date, const Domain* domain);

/* Store slots are 0 to GRD_STORE_SLOTS - 1; a slot outside gives a message
 * and NULL (pointers) or -1 (results). */
GRD_report* GRD_get_grids();
GRD_report* GRD_get_grid(int ind);
int GRD_init_grids();
int GRD_set_grid(int ind, GRD_report* grd);
int GRD_set_grid_domain(int ind, const Domain* dom);
int GRD_get_grid_domain(int ind, Domain* dom);
int GRD_set_grid_info(int ind, const char* str);
const char* GRD_get_grid_info(int ind);
int GRD_set_grid_date(int ind, const Date* date, const char* str);
int GRD_set_var(int ind);
int GRD_alloc_grid(int ind);
int GRD_set_grid_factor(int fact);
int GRD_get_grid_factor();
int GRD_set_date(const Date* datim);
int GRD_get_date(Date* datim);

/* ---- grd_tool: field utilities --------------------------------------------- */

int GRD_maxmin(const GRD_report* grid, float* max, float* min);
int GRD_UVmax(const GRD_report* ugrid, const GRD_report* vgrid, float* max);
/* *grdx and *grdy are NULL or malloc'ed arrays; they are replaced by new
 * ones of nx * ny plot positions that the caller frees. */
int GRD_proj_XY(const GRD_report* grid, const Domain* domain, float** grdx, float** grdy);
float GRD_get_value(const GRD_report* grid, float gx, float gy);
float GRD_get_value_domain(const GRD_report* grid, const Domain* domain, float* x, float* y);
int GRD_edit_value(const char* str, float x, float y, GRD_report* grid);
int GRD_print_value(float x, float y, const GRD_report* grid);
int GRD_print_value2(float x, float y, const GRD_report* grid1, const GRD_report* grid2);
int GRD_piece_setup(GRD_report* grid, int nx, int ny, GRD_report* igrid);
int GRD_piece_grid(GRD_report* grid, int x, int y, const GRD_report* igrid);
int GRD_remap(GRD_report* ogrid, const Domain* domain, const GRD_report* igrid);
int GRD_cutoff(GRD_report* ogrid, const char* cmd, float cutoff, float nval, const GRD_report* igrid);
int GRD_scale(GRD_report* grid, float scale);
int GRD_offset(GRD_report* grid, float offset);
int GRD_units(GRD_report* grid, const char* unit_out);
/* values holds at least two entries. */
int GRD_stats(const char* oper, const GRD_report* grid, float* values);

/* ---- grd_tool: grid requests, matching and searches ------------------------- */

/* Process flags that the grid layer reads and sets. */
constexpr int GRD_FLAG_MODEL = 4;       /* model number of the gridded input */
constexpr int GRD_FLAG_FILE_PARAM = 15; /* 0 ask, 1 overwrite, 2 append, 3 use */
constexpr int GRD_FLAG_FILE_KIND = 17;  /* grid file kind: 3 kez, 12 cdf, 23 grib */
constexpr int GRD_KIND_KEZ = 3;
constexpr int GRD_KIND_CDF = 12;
constexpr int GRD_KIND_GRIB = 23;

/* The tile table of a model delivered as several files ("model.lup"). */
constexpr int GRD_MAX_TILES = 12;
constexpr int GRD_TILE_NAME_LEN = 20; /* 19 characters and the end */

/* Results of GRD_parse_params besides a grid position (0 or more). */
constexpr int GRD_REQ_SELECT = -1;     /* by time, level and variable */
constexpr int GRD_REQ_NONE = KEZ_MISS; /* no request */

int GRD_in_file();
int GRD_parse_params(const char* str, VAR_data* params, int* type);
int GRD_set_params(VAR_data* params, int time, int ltype, int level, int var);
int GRD_test(const GRD_report* grid, const VAR_data* params, int type);
int GRD_search(int grd_fd, GRD_report* grids, const VAR_data* params, int type, int num);
int GRD_search_piece(int grd_fd, int ind, GRD_report* grids, const VAR_data* params, int num);
int GRD_print(M_type level, GRD_report* grid);
int GRD_print_info(M_type level, GRD_report* grid, int type);
int GRD_make_datatype(GRD_report* grid, const char* oper);
int GRD_make_devtype(GRD_report* ogrid, const GRD_report* igrid, const char* str);

/* ---- grd_tool: grid file wrappers -------------------------------------------- */

int GRD_out_file(int type);
int GRD_get_file_domain(const char* filename, Domain* domain);
int GRD_get_file_date_domain(const Date* date, Domain* domain);
/* filename loses its request (cut off in place). */
int GRD_read_file(char* filename, GRD_report* grid, GRD_info* info, int* type);
int GRD_read_file_date(const Date* date, const char* extra, GRD_report* grid, GRD_info* info, int* type);
/* The name of the file read; the output files' names are written back into
 * filename, which holds size bytes. */
int GRD_search_file(char* filename, size_t size);
int GRD_search_file_date(const Date* date);
int GRD_save_file(const char* filename, GRD_report* grid, const GRD_info* info, int type);
int GRD_open_out_file(const char* filename, int type);
int GRD_save_grid(int grd_fd, GRD_report* grid, const GRD_info* info);
int GRD_read_check(const char* filename, GRD_report* grid, GRD_info* info, int* type, const Domain* domain);

/* ---- grd_derive: derived grids and the calculator's command line ------------ */

/* The operands of a function: from variable record start on, the store
 * slots of the records at function depth level (kinds 0 to 3, 8, 9) in
 * list order, until a shallower record follows the first operand or num
 * operands are found (num below 0: no limit). A constant record ("#2.5",
 * plot type 40) gives a null grid and its number in values when values is
 * given. grds ends with a null entry unless num operands were found: it
 * holds num entries, or VAR_MAX_RECORDS + 1 without a limit. The index at
 * which the search stopped (the last operand taken when num were found,
 * the length of the list when it ran out). */
int GRD_find_param_grids(int start, int num, int level, GRD_report** grds, float* values);
/* Computes every calculator function of the variable list whose slot is
 * empty, deepest first; a function that cannot be computed leaves its slot
 * empty. 1. */
int GRD_calc_var();
/* The argument interpreter of the grid calculator program (the arguments
 * without the program's name): 1 when the command was carried out, 0 with a
 * message when not. */
int GRD_math_command(int num, const char* const* cmd);
/* "max", "min", "sum" or "avg" of store slot 0 and the grids of the file
 * arguments up to the first one beginning "=", into slot 0: the number of
 * file arguments taken, 0 when the grids are unusable, -1 for another name. */
int GRD_math_file(const char* str, const char* const* files, int num);
/* Description (cmd[ind], or "v=" and a variable) and date label
 * (cmd[ind + 1]) of a result grid; "-" or a missing argument keeps it. 0. */
int GRD_set_math_info(GRD_report* grid, const char* const* cmd, int num, int ind);

/* ---- grd_read: grid files ---------------------------------------------------- */

/* What GRD_read reads of a record (its rep_type argument). */
enum GRD_read_kind {
  GRD_READ_ALL = 0,    /* header and values */
  GRD_READ_HEADER = 1, /* header only */
  GRD_READ_HEADER2 = 2 /* header only; its own meaning for GRIB files */
};

/* Access modes of GRD_open. */
enum GRD_access {
  GRD_ACCESS_READ = 0,
  GRD_ACCESS_WRITE = 1, /* create or overwrite */
  GRD_ACCESS_APPEND = 2
};

/* The longest line of a text grid file, and of a value format. */
constexpr int GRD_LINE_LEN = 160;
constexpr int GRD_FORMAT_LEN = 15; /* 14 characters and the end */

GRD_file* GRD_get_gfile(int ind);
int GRD_chktype(const char* filename);
int GRD_open(const char* filename, int f_access, int* f_type);
int GRD_hdr_open(int grd_fd, const char* filename);
int GRD_use_hdr_file(int val);
int GRD_set_format(const char* str);
int GRD_getinfo(int grd_fd, GRD_info* info);
int GRD_read(int grd_fd, GRD_report* grd, int rep_type, int* grdnum);
int GRD_putinfo(int grd_fd, const GRD_info* info);
int GRD_write(int grd_fd, GRD_report* grd, int rep_type, const int* grd_num);
int GRD_rewind(int grd_fd);
int GRD_close(int grd_fd);
long int GRD_get_pos(int grd_fd);
/* header holds GRD_HEADER_LEN bytes. */
constexpr int GRD_HEADER_LEN = 160;
int GRD_get_header(int grd_fd, char* header);
int GRD_setpos(int grd_fd, long int offset, int grdnum);

/* ---- grd_tool: soundings from grids --------------------------------------- */

/* Spacing of the standard levels of a sounding from grids (mb): 50 gives
 * the 20 levels 1000..50 mb, 25 the 40 levels 1000..25 mb. The caller's
 * array holds the standard levels and two records more. */
inline constexpr float GRD_SOUND_DP = 50.0f;
inline constexpr float GRD_SOUND_DP_FINE = 25.0f;
inline constexpr int GRD_SOUND_RECORDS = 22;      /* 20 levels and two */
inline constexpr int GRD_SOUND_RECORDS_FINE = 42; /* 40 levels and two */

int GRD_snd_param();
int GRD_set_sound_dp(float dp);
/* Builds the sounding at lat, lon from the open grid file grd_fd into sm.
 * *num on entry is the room of sm in records (GRD_SOUND_RECORDS, or
 * GRD_SOUND_RECORDS_FINE with 25 mb spacing); on return the level count.
 * *sfcp receives the surface pressure (mb; 1000 when the file has none).
 * 1 with a sounding, 0 when too few grids were found or sm is too small. */
int GRD_get_sound(int grd_fd, float lat, float lon, UPA_level* sm, int* num, float* sfcp);

/* grd_calc: the calculator's names. The recognisers compare the text
 * before the first "-" exactly. GRD_is_vect_func: 1 for the functions with
 * two output grids; GRD_is_plot_func: 1 for the items drawn as a vector
 * plot of their operands; GRD_is_math_func: the plot type of a function's
 * result, 0 for any other name. GRD_calc_register hands the first and the
 * last to the variable parser (src/hooks.cpp calls it at start-up). */
int GRD_is_vect_func(const char* str);
int GRD_is_plot_func(const char* str);
int GRD_is_math_func(const char* str);
int GRD_calc_register();

/* The evaluator: slot 0 (and 1 for "grad", "vdiff") the output, operands
 * after it; a NULL grid with value -9999 ends the operands. The grids and
 * values arrays hold at least GRD_MATH_SLOTS + 1 entries (GRD_find_num_data
 * counts up to GRD_MATH_SLOTS operands, and more than the cursors hold is
 * refused). GRD_math: 1 done, 0 with a message when refused. */
constexpr int GRD_MATH_SLOTS = 20;
int GRD_math(const char* str, GRD_report** grids, float* values);
int GRD_math_setup(float** ptr, int* nx, int* ny, int num, GRD_report** grids, float* values, const char* func,
                   const char* type, const char* units);
float GRD_get_math_val(int ind, float** ptr, const float* values);
int GRD_find_num_data(GRD_report** grids, const float* values);

/* ---- grd_kin: derivatives per 100 km and grid point positions ---------------
 * 0 on success, -1 (with a message) when the grids are missing, differ in
 * size or the output cannot be allocated. */
int GRD_dx(GRD_report* grid, GRD_report* ogrid);
int GRD_dy(GRD_report* grid, GRD_report* ogrid);
int GRD_laplacian(GRD_report* agrid, GRD_report* bgrid);
int GRD_converge(GRD_report* ugrid, GRD_report* vgrid, GRD_report* zgrid, GRD_report* ogrid);
int GRD_vorticity(GRD_report* ugrid, GRD_report* vgrid, GRD_report* ogrid);
int GRD_deformation1(GRD_report* ugrid, GRD_report* vgrid, GRD_report* ogrid);
int GRD_deformation2(GRD_report* ugrid, GRD_report* vgrid, GRD_report* ogrid);
int GRD_advection(GRD_report* ugrid, GRD_report* vgrid, GRD_report* zgrid, GRD_report* agrid);
int GRD_coriolis(GRD_report* grid, const char* oper);
int GRD_point_locate(GRD_report* grid, const char* oper);
int GRD_correct_UV(GRD_report* ugrid, GRD_report* vgrid);

/* ---- grd_cdf: the netCDF branches of the handles above ------------------------ */

/* Called by grd_read for files of type GRD_TYPE_NETCDF; f is the handle's
 * record, whose fd becomes the netCDF id. Results as the handle calls. */
int GRD_cdf_open(GRD_file* f, const char* filename, int f_access);
int GRD_cdf_getinfo(GRD_file* f, GRD_info* info);
int GRD_cdf_read(GRD_file* f, GRD_report* grd, int rep_type, int* grdnum);
int GRD_cdf_putinfo(GRD_file* f, const GRD_info* info);
int GRD_cdf_write(GRD_file* f, const GRD_report* grd, const int* grd_num);
int GRD_cdf_rewind(GRD_file* f);
int GRD_cdf_close(GRD_file* f);
/* The GRIB edition 1 parameter number of a field numbered the older way
 * (older model output in netCDF and the WMO GRID code: 1 pressure, 2
 * height, 4 temperature, 13 humidity, 23 and 24 the wind components ...;
 * above 100 the field in the other unit of a pair), and into units (size
 * bytes) the units that the number implies, empty when it implies none.
 * 0 for a number of no such field. */
int GRD_old_param(int old, char* units, size_t size);
/* ---- grib: the GRIB decoder's switches -------------------------------------- */

/* The bad-value filter limit of edition 1 unpacking (0 or less: off). 0. */
int GRIB_set_max_bad(int val);

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
  int ind;       /* the suite's variable number; -9999 unset */
  int ver;       /* not used */
  int src;       /* centre of the table line; 0 matches any */
  int disc;      /* discipline */
  int cat;       /* parameter category */
  int param;     /* parameter number */
  char name[20]; /* variable name */
  char units[30];
  char lname[80]; /* long name */
};

int GribParam_init(GribParam* param);
GribParam GRIB_get_ver2_param(int src, int disc, int cat, int param);
/* Section 4: 1, or 0 (record untouched) on a short read. */
int GRIB_PDS(int grd_fd, GRD_report* grd);

/* Sections 5 to 7. Packing (1; 0 when it cannot be read, and the next data
 * section is then refused), bit map (1 when one applies, 0 when none or it
 * cannot be had) and data (1 with the values in grd->grid; 0 with no values
 * when the field cannot be unpacked). Each ends at the end of its section. */
float GRIB_ieee_float_conv(const unsigned char* pc);
int GRIB_DRS(int grd_fd, GRD_report* grd);
int GRIB_BMS(int grd_fd);
int GRIB_DS(int grd_fd, GRD_report* grd);

#endif /* KEZGRD_H */
