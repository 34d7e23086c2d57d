/*
 * kezsfc.h: surface observations and their codes.
 *
 * SFC_report is the one in-memory form of a surface observation: one
 * station at one time, every quantity in a fixed unit, -9999 for a missing
 * number and a blank for a missing character. Every surface file layout is
 * read into it and written from it; it is a plain value, copied whole.
 *
 * The report tools (sfc_tool) empty, compare, merge and range-check reports
 * and find the dominant cloud layer; the code conversions (wx_tool, and the
 * SYN_ twins in sfc_tool) turn WMO present-weather numbers, METAR groups and
 * the suite's short letter code into one another and into English words,
 * and decode visibility, cloud-base and compass codes.
 */
#ifndef KEZSFC_H
#define KEZSFC_H

#include "kez.h"

/* Message level of the report tools' comparison and merge lines. */
inline constexpr M_type SFC_MESS_REPORT = 0x08000000;

inline constexpr int SFC_ID_LEN = 11;      /* id and area, with the NUL */
inline constexpr int SFC_MAX_CLOUD = 5;    /* cloud layers of a report */
inline constexpr int SFC_WEATHER_LEN = 21; /* weather text, with the NUL */
inline constexpr int SFC_COMMENT_LEN = 100;

/* Bits of SFC_report.type and SFC_report.flag. */
inline constexpr int SFC_TYPE_SA = 1;        /* listed "SA"; with SP "RS" */
inline constexpr int SFC_TYPE_SP = 2;        /* listed "SP" */
inline constexpr int SFC_TYPE_STAR = 4;      /* listed "*" */
inline constexpr int SFC_FLAG_KEEP_TEMP = 1; /* t and td win a merge */

/* Cloud-cover characters. Covers come in two alphabets, which every
 * consumer handles: the letters below (lower case "s", "b", "o", "x" for
 * the thin or partial forms) and the okta digits "0" to "8", with "9" for
 * an obscured sky. A blank means no cover. */
inline constexpr char SFC_CLD_CLEAR = 'C';
inline constexpr char SFC_CLD_FEW = 'F';
inline constexpr char SFC_CLD_SCATTERED = 'S';
inline constexpr char SFC_CLD_BROKEN = 'B';
inline constexpr char SFC_CLD_OVERCAST = 'O';
inline constexpr char SFC_CLD_OBSCURED = 'X';
inline constexpr char SFC_CLD_NONE = ' ';

struct SFC_report {
  char id[SFC_ID_LEN];                       /* station identifier, NUL-terminated */
  char area[SFC_ID_LEN];                     /* region identifier of the station */
  int type;                                  /* SFC_TYPE_ bits; 0 none */
  int wmo;                                   /* WMO station number */
  float lat;                                 /* degrees north */
  float lon;                                 /* degrees east */
  float elev;                                /* m */
  int prior;                                 /* station priority */
  int time;                                  /* hhmm UTC */
  float cld_height[SFC_MAX_CLOUD];           /* base of each layer, ft, lowest first */
  char cld_cover[SFC_MAX_CLOUD];             /* cover characters, not NUL-terminated */
  int num_cld;                               /* layers in use, 0 to 5 */
  float vis;                                 /* statute miles */
  char weather[SFC_WEATHER_LEN];             /* ww digits, "!" and METAR groups, or
                                                the letter code; " " when none */
  float pmb;                                 /* sea-level pressure, mb */
  float t;                                   /* degrees F */
  float td;                                  /* degrees F */
  float w_dir;                               /* degrees, from which the wind blows */
  float w_spd;                               /* knots; 0 calm */
  float w_gust;                              /* knots */
  float alt;                                 /* altimeter setting, inches of mercury */
  int ptend_t;                               /* tendency characteristic, 0 to 8 */
  float ptend;                               /* 3-hourly pressure change, mb */
  float rain1, rain3, rain6, rain12, rain24; /* inches over 1..24 hours */
  float rain;                                /* inches over rain_per hours */
  int rain_per;                              /* hours */
  char cld_low;                              /* low cloud amount, okta digit */
  char cld_type[3];                          /* low, middle, high cloud type figures */
  float max_t, min_t;                        /* degrees F */
  float max6_t, min6_t;                      /* 6-hour extremes, degrees F */
  float scover;                              /* snow depth, inches */
  float solar;                               /* sunshine, minutes */
  float sst;                                 /* sea-surface temperature, degrees C */
  float wav_per;                             /* wave period, s */
  float wav_hgt;                             /* wave height, m */
  char comment[SFC_COMMENT_LEN];             /* remarks, NUL-terminated */
  int flag;                                  /* SFC_FLAG_KEEP_TEMP; no other bit */
};

/* ------------------------------------------------------------------------ */
/* sfc_tool: report tools and listings                                      */
/* ------------------------------------------------------------------------ */

/* Every member to its missing value. 0. */
int SFC_initialize(SFC_report* report);
/* Prints each difference of two reports of one station; the code (1 to 16)
 * of the first, or 0 when they agree. */
int SFC_compare(const SFC_report* rep1, const SFC_report* rep2);
/* Merges the groups of rank up to lev of a later report rep2 into rep1. 0. */
int SFC_update(SFC_report* rep1, const SFC_report* rep2, int lev);
/* Sets values outside their physical range (limits inclusive) to missing
 * and caps the dew point at the temperature. flag has no effect. 0. */
int SFC_check_valid(SFC_report* rep, int flag);
/* The dominant cloud cover character and its base (ft); -1 when the report
 * has fewer than two layers, else 0. */
int WX_set_cloud(const SFC_report* report, char* cover, float* hght);
/* No quantity of a report reaches this magnitude in the report's units: a
 * larger value is a fill value or a broken file, never a measurement. */
inline constexpr float SFC_VALUE_LIMIT = 1.0e6f;
/* Sets every number that no instrument gives (not finite, or of magnitude
 * SFC_VALUE_LIMIT or more) to missing; the count of values so dropped. */
int SFC_drop_absurd(SFC_report* report);
/* Whether SFC_drop_absurd would drop a value of the report. */
bool SFC_has_absurd(const SFC_report* report);

/* Listing layouts of SFC_print_line. */
inline constexpr int SFC_PRINT_TWO_LINE = 1;
inline constexpr int SFC_PRINT_TABLE = 2; /* the default */
inline constexpr int SFC_PRINT_FULL = 3;  /* SFC_print_report */
inline constexpr int SFC_PRINT_COMPACT = 4;
inline constexpr int SFC_PRINT_SUMMARY = 5;
inline constexpr int SFC_PRINT_COLUMNS = 6; /* the "variable" list's columns */
/* Room of SFC_set_print_str's str; longer texts are cut. */
inline constexpr int SFC_PRINT_STR_LEN = 128;
/* The process flag that holds the kind of input file. */
inline constexpr int SFC_FLAG_FILE_KIND = 17;

/* Listing settings: the layout, snow depth in cm, dashes for missing. 0. */
int SFC_set_print(int type);
int SFC_set_metric(int value);
int SFC_set_miss_dash();
/* One value converted from iunits to ounits (when ounits is given) and
 * printed with the user's format when it begins with "%" and passes the
 * format check, else with "%4.0f"; missing gives "" or " -". 0. */
int SFC_set_print_str(float val, const char* iunits, const char* ounits, const char* format, char* str);
/* A report as a line of the current layout, or the layout's header lines
 * for NULL, at a message level; nothing when the level is not shown. 0. */
int SFC_print_line(M_type level, const SFC_report* report);
/* The full text of a report at level "print"; 0, or -1 for NULL. */
int SFC_print_report(const SFC_report* report);
/* The input naming convention and file kind from "in_file". 1. */
int SFC_set_in_file();

/* Twins of the wx_tool conversions of the same meaning. */
float SYN_visibility(int vis);
float SYN_ceiling(int cb);
int SYN_ceiling_to_code(int cb);
int SYN_weather(int wx, char* wx_str);
int SYN_auto_weather(int wx, char* wx_str);

/* ------------------------------------------------------------------------ */
/* sfc_plt: surface variables from reports                                  */
/* ------------------------------------------------------------------------ */

/* The level type that makes "pres" the lifting condensation level. */
inline constexpr int SFC_LEV_LCL = 5;

/* Fills the datum for the variable from the report, converted to the
 * variable's unit, or gives the variable the unit of the values when it
 * has none. 1 for a known name, else 0 (the datum stays missing). */
int SFC_get_data(const SFC_report* report, VAR_data* var, RAW_data* data);
/* As SFC_get_data, for a report that holds no absurd value (SFC_read and
 * SFC_read_report give no other): the check of every call is left out. */
int SFC_get_data_clean(const SFC_report* report, VAR_data* var, RAW_data* data);
/* Gives a variable without a unit the default unit of its name; 1 for a
 * name with a default (empty for text variables), else 0. */
int SFC_get_var(VAR_data* var);
/* 1 when name (its key up to the first "-", any case) is one of the
 * surface variables that SFC_get_data fills, else 0. */
int SFC_is_var(const char* name);

/* ------------------------------------------------------------------------ */
/* sfc_plot: the surface plotting program's prompts and its plot driver     */
/* ------------------------------------------------------------------------ */

/* Input kinds of process flag 14. */
inline constexpr int SFC_FLAG_INPUT = 14;
inline constexpr int SFC_INPUT_SFC = 10;
inline constexpr int SFC_INPUT_FRONT = 11;
/* The process flag that the variable parser reads as the default level
 * type; the program sets it to surface before each list. */
inline constexpr int SFC_FLAG_LEVEL = 7;
/* Seconds between two looks for a newer file under "refresh". */
inline constexpr int SFC_REFRESH_SECONDS = 60;
/* Stations loaded from "sao.cty" up to this priority, with this many bytes
 * of text each for the read-out of a held window. */
inline constexpr int SFC_STATION_PRIOR = 7;
inline constexpr int SFC_STATION_TEXT = 120;
/* Grid file types the grid output chooser gives. */
inline constexpr int SFC_GRD_TEXT = 2;
inline constexpr int SFC_GRD_BINARY = 3;
inline constexpr int SFC_GRD_CDF = 11;

/* The program's prompts. SFC_prompt_variable gives 0 when there is no
 * further list for the region, else 1 (a list from the settings or batch
 * mode), a menu entry, or -9999 for a list typed in full. */
int SFC_cvt_in_file();
int SFC_set_date(const Date* datim);
int SFC_set_prompt_variable(int val);
int SFC_prompt_variable();
/* The current variable list (as last taken or typed). */
const char* SFC_get_var_str();

/* The plot driver; the source callbacks of the data pipeline. */
int SFC_plot(Domain* rdomain);
int SFC_plot_frame();
int SFC_plot_refresh();
int SFC_plot_param();
void SFC_callback(int type, char* str, float x, float y);
int SFC_open_file(const char* filename); /* 1, or 0 */
int SFC_rewind_file();
int SFC_close_file();
/* The next report of the open file, its station placed; the report holds
 * no absurd value. 1 drawn, 0 not drawn, -1 at the end. */
int SFC_read_report(SFC_report* report, CTY_locate* data);
int SFC_plot_data(int ind);
int SFC_grid_data(DATA_info* data);
int SFC_raw_out_file(); /* 1 when raw output is asked for */
int SFC_grd_out_file(); /* the grid file type, 0 none */

/* ------------------------------------------------------------------------ */
/* sfc_read: surface data files                                             */
/* ------------------------------------------------------------------------ */

/* Layout types of surface files. The dotted and tagged text layouts and
 * the netCDF layout 2.0 are read and written; the old netCDF layout is only
 * read; the binary records and the element file are written only. */
inline constexpr int SFC_FT_DOTTED_SHORT = 1; /* dotted, up to the altimeter */
inline constexpr int SFC_FT_DOTTED = 2;       /* dotted, full lines */
inline constexpr int SFC_FT_TAGGED = 3;       /* "KEZSFC" tagged lines */
inline constexpr int SFC_FT_TAGGED_EXT = 4;   /* tagged, with 12-hour and 6-hour groups */
inline constexpr int SFC_FT_CDF_OLD = 11;     /* netCDF, dimension "station" */
inline constexpr int SFC_FT_CDF = 12;         /* netCDF, dimension "report" */
inline constexpr int SFC_FT_BINARY = 41;      /* 64-byte little-endian records */
inline constexpr int SFC_FT_ELEMENT = 51;     /* <kezsfc> element file */

/* Access of SFC_open. */
inline constexpr int SFC_ACC_READ = 0;
inline constexpr int SFC_ACC_WRITE = 1; /* create or truncate */
inline constexpr int SFC_ACC_APPEND = 2;

/* rep_type of SFC_read. */
inline constexpr int SFC_REP_FULL = 0;
inline constexpr int SFC_REP_ID = 1;       /* identifier (and WMO number) only */
inline constexpr int SFC_REP_LOCATION = 2; /* identifier and location */

inline constexpr int SFC_DATIM_LEN = 40; /* date label, with the NUL */
inline constexpr int SFC_BINARY_HEADER_LEN = 22;
inline constexpr int SFC_BINARY_RECORD_LEN = 64;
inline constexpr int SFC_BINARY_MISS = 9999; /* any missing or unfit value */

/* The header of one surface file. */
struct SFC_info {
  char datim[SFC_DATIM_LEN]; /* date label; a longer first line is cut */
  char file[20];             /* not used by these layouts */
  char* cmdline;             /* netCDF "history" text; not read */
  Date date;                 /* decoded from datim */
  int num_stat;              /* reports; -9999 for text layouts */
};

/* One file is open at a time, and every call acts on it: cvt_fd, the
 * handle SFC_open gave, is not needed to find it. */
/* The layout of an existing file from its first byte: 2 (blank, "0", "1",
 * "2"), 3 ("K"), and for netCDF ("C") 11 when it has the dimension
 * "station", else 12; -1 for anything else. */
int SFC_chktype(const char* filename);
/* f_type 0 detects (reading, appending) and receives the type used. A
 * non-negative handle, or -1. An open file is closed first. */
int SFC_open(const char* filename, int f_access, int* f_type);
/* 0; 1 for a text file open for writing (nothing read); -1 otherwise. A
 * netCDF file gives its header whenever it has one (read, or appended to),
 * num_stat being its number of records. */
int SFC_getinfo(int cvt_fd, SFC_info* info);
int SFC_putinfo(int cvt_fd, const SFC_info* info);
/* The report of index *statnum (from 0; -1 rewinds a text file and
 * re-reads the index last asked for in a netCDF file): 0, or -1 at the end
 * of the file, for a line without identifier or a layout that is not
 * read. A netCDF file reads nothing for an unknown rep_type (0, the report
 * emptied). */
int SFC_read(int cvt_fd, SFC_report* report, int rep_type, int* statnum);
/* Appends one report (netCDF: writes it at index *statnum): 0, or -1
 * (layout not written, no identifier, netCDF without its header). */
int SFC_write(int cvt_fd, const SFC_report* report, int rep_type, int* statnum);
int SFC_rewind(int cvt_fd);
/* Closes the file (an element file written ends with "</kezsfc>"); 0, or
 * -1 when none is open. */
int SFC_close(int cvt_fd);

/* ------------------------------------------------------------------------ */
/* sfc_cdf: the netCDF branches of the surface file calls above             */
/* ------------------------------------------------------------------------ */

/* Called by sfc_read for the types SFC_FT_CDF_OLD and SFC_FT_CDF, with the
 * results of the calls above. The module keeps its own netCDF file: one at
 * a time, its header read when it is opened for reading or appending. */
int SFC_cdf_chktype(const char* filename);                        /* 11, 12 or -1 */
int SFC_cdf_open(const char* filename, int f_access, int f_type); /* the netCDF id, or -1 */
int SFC_cdf_getinfo(SFC_info* info);
int SFC_cdf_putinfo(const SFC_info* info);
int SFC_cdf_read(SFC_report* report, int rep_type, const int* statnum);
int SFC_cdf_write(const SFC_report* report, const int* statnum);
int SFC_cdf_rewind();
int SFC_cdf_close(); /* -1 when none is open */

/* ------------------------------------------------------------------------ */
/* wx_tool: weather and synoptic code conversions                           */
/* ------------------------------------------------------------------------ */

/* Room of the output texts, with the NUL: a letter code from a WMO number
 * (at least 7 bytes), from a METAR group (at least 5), and words. */
inline constexpr int WX_CODE_LEN = 7;
inline constexpr int WX_METAR_CODE_LEN = 5;
inline constexpr int WX_TEXT_LEN = 320;

/* Visibility code VV to statute miles; -9999 from 90 on and for negative
 * codes. */
float WX_wmo_vis(int vis);
/* Cloud-base code h (0 to 9) to feet; -9999 otherwise. */
float WX_wmo_cld_base(int cb);
/* Manned present weather ww to the letter code (" " when none); 0, or -1
 * without a buffer. */
int WX_wmo_weather(int wx, char* wx_str);
/* Automatic-station present weather wawa to the letter code. */
int WX_wmo_auto_weather(char* wx_str, int wx);
/* One METAR group (a leading "!" skipped) to the letter code. */
int WX_metar_weather(const char* wx, char* wx_str);
/* One METAR group to words; the first unread character of wx, or null when
 * nothing was recognised. */
const char* WX_metar_weather_text(const char* wx, char* wx_str);
/* A weather field in any form to a ww number; 0 when it gives none. */
int WX_weather_wmo(const char* str);
/* A weather field's leading element to words; the number of code
 * characters they account for, 0 (empty words) for an unknown code. */
int WX_weather_text(const char* str, char* out_str);
/* A 16-point compass direction ("N" ... "NNW") to degrees; else -9999. */
float dir_decode(const char* dir);
/* The word of a cover letter, "" for any other character. */
const char* print_cloud(const char* str);

/* ------------------------------------------------------------------------ */
/* frt_plt: the coded front bulletin drawn on the current map               */
/* ------------------------------------------------------------------------ */

/* Storage of one drawing: pressure centres of a bulletin and points of one
 * front or trough; what lies beyond is dropped with a warning. */
inline constexpr int FRT_MAX_CENTRES = 200;
inline constexpr int FRT_MAX_POINTS = 100;
/* Room of a record's text with its continuation lines. */
inline constexpr int FRT_RECORD_LEN = 499;

int FRT_plot(Domain* domain);
int FRT_plot_file(const char* filename);
int FRT_set_date(const Date* datim);
void FRT_callback(int type, char* str, float x, float y);
int FRT_plot_param();
/* A position spelled out in number words; 0, or -1 at the end of the file. */
int FRT_decode_locate(FILE* ifile, float* lat, float* lon);
/* A five-digit group: two digits of latitude north, three of longitude
 * west; 1 when both parts were read, else 0. */
int decode_latlon(const char* data, float* lat, float* lon);

#endif
