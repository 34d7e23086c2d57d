/*
 * kezraw.h: station data of the suite.
 *
 * RAW_data is one drawable station datum: a data source fills it for one
 * variable at one station, the station plotter draws it, and the data
 * pipeline's station store keeps its two values for the analysis.
 */
#ifndef KEZRAW_H
#define KEZRAW_H

#include <cstdint>

#include "kez.h"
#include "kezgks.h"

inline constexpr int RAW_FORMAT_LEN = 80; /* 79 characters and the end */
inline constexpr int RAW_DATA_LEN = 40;   /* 39 characters and the end */

/* One station datum; -9999 marks what is unset or missing. */
struct RAW_data {
  float x; /* plot position in the current domain */
  float y;
  int type;                    /* plot-type code */
  Gattribs attr;               /* fields at -9999 take the plot's attributes */
  char format[RAW_FORMAT_LEN]; /* plot-format items, ":"-separated */
  char data[RAW_DATA_LEN];     /* text value */
  float value[2];              /* the value (or wind direction, degrees), and the
                                  wind speed (knots) of the wind types */
};

/* ------------------------------------------------------------------------ */
/* raw_plt: station datum drawing and plot formats                          */
/* ------------------------------------------------------------------------ */

/* How a datum is drawn: a value, a text, a marker, a sky-cover circle, a
 * wind barb or arrow, a storm track, a weather symbol or a line to another
 * station, with the attributes of the current station plot (RAW_attribs),
 * steered by the plot-format items. Sizes on station plots are fractions of
 * the plot window's height times the plot scale. For the integer type,
 * RAW_data::value[0] holds the bits of an int, not a float; for the line
 * type the two values are a latitude and a longitude. */

inline constexpr int RAW_SYMBOL_LEN = 40; /* RAW_attribs::symbol, with its end */
inline constexpr int RAW_TEXT_LEN = 10;   /* RAW_attribs::text, with its end */
inline constexpr int RAW_VALFMT_LEN = 60; /* RAW_attribs::format, with its end */

/* The marker number that draws an empty cloud circle. */
inline constexpr int RAW_MARK_CLOUD = 1001;

/* The attributes with which data are drawn. */
struct RAW_attribs {
  Gattribs attrib;             /* all -9999 by default */
  float intrvl;                /* colour interval; -9999 no colouring by value */
  float scale;                 /* size factor of everything drawn */
  float base;                  /* colour base */
  float min;                   /* value[0] below it is not drawn; -9999 none */
  float max;                   /* value[0] above it is not drawn; -9999 none */
  int type;                    /* plot type the plot format asks for */
  char symbol[RAW_SYMBOL_LEN]; /* weather-symbol file name */
  char text[RAW_TEXT_LEN];     /* fixed text drawn instead of the datum */
  char format[RAW_VALFMT_LEN]; /* printf format of values */
  int bar;                     /* y of the base of vertical bars; -9999 no bars */
  int marker;                  /* marker drawn instead of the datum; 0 none */
  int hor;                     /* text alignment, Gtext_hor */
  int vert;                    /* text alignment, Gtext_ver */
  float x;                     /* offset from the station, plot heights x scale */
  float y;
  int line; /* non-zero: a line from the previous station */
  int skip; /* raw-file plots draw every skip-th record */
};

int RAW_plot_init(const Gattribs* attrib, float sc);
int RAW_plot_data(RAW_data* data);
int RAW_parse_format(RAW_attribs* attr, const char* fmt);
int RAW_plot_param();
int RAW_set_attribs(const RAW_attribs* attr);
int RAW_init_attrib(RAW_attribs* attr);
/* The room RAW_data_to_string writes into, with its end. */
inline constexpr int RAW_STRING_LEN = 160;
/* str holds RAW_STRING_LEN bytes; an unknown type leaves it as it was. */
int RAW_data_to_string(char* str, const RAW_data* data);
int RAW_set_marker(int mark);
int RAW_set_intrvl(float value);
float RAW_get_intrvl();
int RAW_set_range(float mx, float mn);
/* The cut-offs of the plot (max, min); -9999 when unset. */
int RAW_get_range(float* mx, float* mn);
int RAW_set_attr(const Gattribs* attr);
int RAW_set_scale(float val);
float RAW_get_scale();
int RAW_set_off(float xoff, float yoff);
int RAW_set_format(const char* str);
char* RAW_get_format();
RAW_data* RAW_set(RAW_data* raw, float x, float y, int type, const char* format, const char* data, const float* value);
int RAW_print(int lev, const RAW_data* data);
/* The attributes the next datum starts from (a copy of the plot's); for
 * diagnostics and tests. */
RAW_attribs RAW_get_base();
/* Forgets the last station positions (raw-file plotting, per file). */
int RAW_reset_line();

/* Raw files on plots: a file's values at their stations (the map list's
 * point-data items and the map plot), a file analysed onto grid slot 0 and
 * saved as a grid file, and the contour plot of listed files. A request is
 * "file[-field][:format]" (RAW_file_open). Each returns 0, also when the
 * file cannot be opened. */
int RAW_plot_file(char* file, int label);
int RAW_grid_file(char* file, int label);
/* Selects the file-naming convention of gridded raw data from "out_file"
 * and returns the grid file type (0 none, 2 text, 3 binary, 11 netCDF). */
int RAW_grd_out_file();
void RAW_callback(int type, char* str, float x, float y);
int RAW_plot(Domain* domain);

/* ------------------------------------------------------------------------ */
/* raw_read: raw point-data files ("KEZRAW")                                */
/* ------------------------------------------------------------------------ */

/* A raw file is text: the line "KEZRAW", a date label, an info line (a
 * leading "!" announces a field list of name[:info[:format]] tokens ended
 * by "$"), then one data line per station or level up to the end of the
 * file or the first empty line. At most RAW_MAX_FILES files are open at
 * once; a descriptor is the slot number, -1 none. */

inline constexpr int RAW_MAX_FILES = 5;
inline constexpr int RAW_MAX_FIELDS = 75;  /* field-list entries kept */
inline constexpr int RAW_LINE_LEN = 400;   /* a data line: 399 characters are read */
inline constexpr int RAW_ID_LEN = 30;      /* RAW_report::id, with its end */
inline constexpr int RAW_VAL_LEN = 30;     /* RAW_report::data, with its end */
inline constexpr int RAW_REP_FMT_LEN = 40; /* RAW_report::format, with its end */
inline constexpr int RAW_LABEL_LEN = 50;   /* RAW_info::datim and info, with their end */
inline constexpr int RAW_INFO_FILE_LEN = 20;
inline constexpr int RAW_FIELD_NAME_LEN = 20; /* field-table entries, with their end */
inline constexpr int RAW_FIELD_INFO_LEN = 60;
inline constexpr int RAW_FIELD_FMT_LEN = 40;

/* File types: with the magic line (2 is given only by callers and handled
 * alike), and headerless (every line is a data line). */
inline constexpr int RAW_TYPE_HEADER = 1;
inline constexpr int RAW_TYPE_HEADER2 = 2;
inline constexpr int RAW_TYPE_PLAIN = 99;

/* Access of RAW_open. */
inline constexpr int RAW_READ = 0;
inline constexpr int RAW_WRITE = 1;
inline constexpr int RAW_APPEND = 2;

/* Field selectors are one pointer-sized argument: a small number or a
 * field name. RAW_SEL_ALL asks for every value of a line in turn;
 * RAW_SEL_FIELD + n for the n-th value after the key fields (in table
 * lookups: table index n plus the file's key count, three keys "id lat lon"
 * while the file has no field list). Numbers below RAW_SEL_LIMIT are never
 * read as addresses. */
inline constexpr int RAW_SEL_ALL = 1;
inline constexpr int RAW_SEL_FIELD = 10;
inline constexpr long RAW_SEL_LIMIT = 4096;
/* The selector of a number (RAW_SEL_ALL, RAW_SEL_FIELD + n, -9999). */
inline char* RAW_sel(long n) { return reinterpret_cast<char*>(n); }

/* RAW_write parts of a data line. */
inline constexpr int RAW_PUT_LINE = 1;  /* a whole one-value line */
inline constexpr int RAW_PUT_START = 3; /* identifier and position */
inline constexpr int RAW_PUT_VALUE = 4; /* one value */
inline constexpr int RAW_PUT_END = 5;   /* the end of the line */

/* One value as read; -9999 marks what is missing. */
struct RAW_report {
  char id[RAW_ID_LEN]; /* identifier token */
  int type;            /* with RAW_SEL_ALL: field-table index of the value; -9999 none */
  int wmo;             /* identifier as a number when longer than 4 characters */
  float lat;           /* degrees, or the pressure (mb) of files with two keys */
  float lon;
  float elev;                   /* m; not filled by the reader */
  int prior;                    /* station priority; not filled by the reader */
  float value[2];               /* the value, or a pair (direction, speed) */
  char data[RAW_VAL_LEN];       /* the value token as text, without name and format */
  char format[RAW_REP_FMT_LEN]; /* the field's format, ":" and the token's own */
};

/* The header of a raw file. */
struct RAW_info {
  char datim[RAW_LABEL_LEN]; /* date label line */
  char info[RAW_LABEL_LEN];  /* info line, without its "!" */
  char file[RAW_INFO_FILE_LEN];
  char* cmdline;
  Date date;    /* decoded from datim */
  int num_stat; /* -9999: not given */
};

int RAW_chktype(const char* filename);
int RAW_open(const char* filename, int f_access, int* f_type);
int RAW_getinfo(int raw_fd, RAW_info* info);
int RAW_get_num_field(int raw_fd);
int RAW_get_field_ind(int raw_fd, const char* field);
/* Texts owned by the file's table, valid until its next change or close. */
char* RAW_get_field_name(int raw_fd, const char* field);
char* RAW_get_field_info(int raw_fd, const char* field);
char* RAW_get_field_fmt(int raw_fd, const char* field);
char* RAW_set_field_name(int raw_fd, const char* field, const char* name);
int RAW_set_field_info(int raw_fd, const char* field, const char* str);
int RAW_set_field_fmt(int raw_fd, const char* field, const char* fmt);
int RAW_putinfo(int raw_fd, const RAW_info* info);
int RAW_putheader(int raw_fd, const char* header);
int RAW_read(int raw_fd, RAW_report* report, const char* rep_type, int* statnum);
int RAW_dec_line(int raw_fd, int ind, RAW_report* report, const char* str);
int RAW_write(int raw_fd, const RAW_report* report, const char* rep_type, int* statnum);
int RAW_rewind(int raw_fd);
int RAW_close(int raw_fd);

/* ------------------------------------------------------------------------ */
/* raw_tool: resetting data and the station text of plotted values          */
/* ------------------------------------------------------------------------ */

/* The room of a station's text of plotted values, with its end. */
inline constexpr int RAW_VAR_STRING_LEN = 120;

int RAW_data_init(RAW_data* data);
int RAW_data_init_val(RAW_data* data);
/* str holds RAW_VAR_STRING_LEN bytes. */
int RAW_set_var_string(const VAR_data* var, const RAW_data* data, char* str);

/* A raw-file request "file[-field][:format]" (file is cut in place):
 * opened under "raw_path" for reading (mode 0) or writing (1); *ind gets
 * the selector (RAW_SEL_ALL, RAW_SEL_FIELD + n, or the field name inside
 * file), *fmt the format items or null. The descriptor, or -1. */
int RAW_file_open(char* file, char** ind, char** fmt, int mode);

/* Raw output of station plots: the file of a date with its fields (their
 * number), a station's line, one datum of it, its end, and the close.
 * Nothing is written while no file is open. RAW_date_open_run makes the
 * file of one run of records beg to end: named after its first station
 * variable, one field per station record; RAW_date_open takes the whole
 * variable list as one run. */
int RAW_date_open_run(const Date* date, int beg, int end);
int RAW_date_open(const Date* date);
int RAW_save_station(const CTY_locate* data);
int RAW_save_data(const RAW_data* data);
int RAW_save_end();
int RAW_close_file();

/* The collection for an analysis: stations with consecutive indexes from
 * 0 (positions in plot coordinates) and value arrays of fields 0 to
 * RAW_OA_FIELDS - 1. Indexes out of bounds and failed allocations are
 * reported and give -1. RAW_run_oa analyses into the grid store slots. */
inline constexpr int RAW_OA_FIELDS = 20;
int RAW_init_oa_data();
int RAW_add_oa_field(int ind);
int RAW_add_oa_loc(int ind, float xx, float yy);
int RAW_chk_oa_data(int ind);
int RAW_add_oa_data(int ind, int num, float val);
int RAW_run_oa(GRD_report* grids);
int RAW_free_oa_data();

/* ------------------------------------------------------------------------ */
/* raw_math: arithmetic on raw files                                        */
/* ------------------------------------------------------------------------ */

/* The commands of the raw-file tool, one command as words:
 *   sum|max|min|copy|merge base file ... = out [info [label]]
 *   ext in = out
 *   series in ... = [out [info [label]]]       ("-" or none: standard output)
 *   a add|sub|mul|div|mod|ge|le b = out [info [label]]
 * where a or b may be a constant "#value". Between two files the result
 * keeps the stations of a that b updated; "mod", "ge" and "le" act as with
 * a constant. Results without meaning (division or remainder by zero) and
 * values cut by "ge"/"le" are missing and written as "-". 1, or 0 for an
 * invalid command or a file that cannot be used. */
int RAW_math_command(int num, const char* const* cmd);
/* Reads "parameter" ("miss=V", "outmiss", "noattr"). 0. */
int RAW_parameter();
/* The substitute of missing input values; -9999 none. 0. */
int RAW_set_miss_val(float val);
/* Output info from word ind and date label from word ind + 1 when given
 * and not "-". 0. */
int RAW_set_info(const char* const* cmd, int num, int ind);
/* The station table (keyed on the whole identifier) of a base file; tbl is
 * zeroed or a table of an earlier call, which is freed first. 1, or 0. */
int RAW_make_table(TAB_table* tbl, const char* file);
/* Applies a file to the table with oper ("sum", "add", "sub", "mul",
 * "scale", "div", "mod", "max", "min", "ge", "le"; any other copies). 1, or 0. */
int RAW_math_table(TAB_table* tbl, const char* oper, const char* file);
/* Writes the table; flag 1 keeps only the stations updated (without a
 * substitute). 1, or 0. */
int RAW_save_table(TAB_table* tbl, const char* file, int flag);
/* Every value of ifile with the constant: "add"/"sum", "sub", "psub",
 * "mul"/"scale", "div", "pdiv", "mod", "pmod", "ge", "le". 1, or 0 (also for
 * a constant that is no finite number). */
int RAW_math(const char* oper, const char* ifile, const char* valstr, const char* ofile);
int RAW_extract(const char* ifile, const char* ofile);
int RAW_series(const char* const* cmd, int num);

/* ------------------------------------------------------------------------ */
/* windbarb: wind barbs, wind arrows and storm tracks                       */
/* ------------------------------------------------------------------------ */

inline constexpr float WIND_MAX_BARB = 300.0f; /* barb speeds are capped here */

int WIND_barb(float x, float y, float dir, float spd, float size, float offset);
int WIND_barb_map(float x, float y, float dir, float spd, float size, float offset);
int WIND_vect(float x, float y, float dir, float spd, float size, float arrow);
int WIND_vect_map(float x, float y, float dir, float spd, float size, float arrow);
int WIND_track(float x, float y, float dir, float spd, float arrow, int maj, int min);

/* ------------------------------------------------------------------------ */
/* wx_symb: weather symbols and sky-cover circles                           */
/* ------------------------------------------------------------------------ */

inline constexpr int WX_SYMB_MAX = 100;      /* symbols read from one file */
inline constexpr int WX_SYMB_NAME_LEN = 14;  /* characters of a name */
inline constexpr int WX_SYMB_GROUP_PTS = 20; /* points of a group */

/* NULL selects "wx.smb". */
int WX_symb_file(const char* file);
int WX_symb(float x, float y, const char* str, float sz);
int WX_cloud(float x_center, float y_center, float rad, char cover);
/* The name of the symbol that the code would draw, or NULL; for tests and
 * listings. */
const char* WX_symb_match(const char* str);

#endif /* KEZRAW_H */
