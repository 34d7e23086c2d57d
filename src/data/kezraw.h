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

/* The contour settings that colour data by value. The contour layer lies
 * above this one, so it registers its calls here (src/hooks.cpp); without
 * them no contour type, interval or levels are known and no datum is
 * coloured by value. */
struct RAW_contour_ops {
  int (*init)();
  int (*set_fill_colors)(const char* string, int flag);
  int (*get_type)();
  int (*set_type)(int ind);
  int (*set_base)(float value);
  int (*set_cutoff)(float max, float min);
  int (*set_intrvl)(float value);
  int (*get_values)(float* values);
  int (*get_fill_attrib)(float value, Gattribs* attrib);
};
int RAW_set_contour_ops(const RAW_contour_ops* ops);

/* ------------------------------------------------------------------------ */
/* raw_read: raw point-data files                                           */
/* ------------------------------------------------------------------------ */

/* One value as read from a raw point-data file; -9999 when missing. */
struct RAW_report {
  char id[30];     /* identifier token */
  int type;        /* field-table index of the value; -9999 none */
  int wmo;         /* the identifier as a number when longer than 4 characters */
  float lat;       /* latitude, or the pressure with two key fields */
  float lon;       /* longitude */
  float elev;      /* not filled by the reader */
  int prior;       /* not filled by the reader */
  float value[2];  /* the value, or the two numbers of a pair */
  char data[30];   /* the value token as text */
  char format[40]; /* the field's format and the token's own */
};

/* The header of a raw point-data file. */
struct RAW_info {
  char datim[50];      /* the date label line */
  char info[50];       /* the info line without "!" */
  char file[20];       /* not read or written by the reader */
  const char* cmdline; /* not owned */
  Date date;           /* decoded from datim */
  int num_stat;        /* -9999: not given */
};

/* A field selector: every value of a line in turn (RAW_EVERY), a number
 * n + 10 (the n-th value after the key fields), or a field name. */
inline constexpr intptr_t RAW_EVERY = 1;
inline constexpr intptr_t RAW_FIELD_BASE = 10;

int RAW_open(const char* filename, int f_access, int* f_type);
int RAW_getinfo(int raw_fd, RAW_info* info);
int RAW_get_num_field(int raw_fd);
char* RAW_get_field_name(int raw_fd, const char* field);
int RAW_read(int raw_fd, RAW_report* report, const char* rep_type, int* statnum);
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

/* Raw output of station plots: the file of a date with its fields (their
 * number), a station's line, one datum of it, its end, and the close.
 * Nothing is written while no file is open. */
int RAW_date_open(const Date* date);
int RAW_save_station(const CTY_locate* data);
int RAW_save_data(const RAW_data* data);
int RAW_save_end();
int RAW_close_file();

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
