/*
 * kez.h: the core header of the suite's runtime frame.
 *
 * Every module of the suite includes this header. It declares the shared
 * records (Date, Domain, MAP_limits, UPA_level, VECT, WIND), the message
 * levels, and the functions of the runtime frame, one section per module:
 * text toolkit, messages, flags, resources, processes and prompts, calendar,
 * file layer, pattern scanner, small tools, keyed table, units, menus and the
 * loop-window queue link.
 *
 * Conventions that hold throughout: -9999 is the missing value of every int
 * and float; functions report failure through their result (0/-1, 1/0,
 * -9999), never by exceptions; every line of output goes through MESS_print.
 */
#ifndef KEZ_H
#define KEZ_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>

/* The missing value of every record, file, grid, formula and setting. */
inline constexpr int KEZ_MISS = -9999;
inline constexpr float KEZ_FMISS = -9999.0f;

/* ------------------------------------------------------------------------ */
/* Shared records                                                           */
/* ------------------------------------------------------------------------ */

/* A calendar date and time in UTC; -9999 in any field means unset.
 * jday and wday are filled only when a Date is built from seconds. */
struct Date {
  int year;  /* with century; DATE_num_sec completes short forms */
  int month; /* 1-12 */
  int day;   /* 1-31 */
  int jday;  /* day of the year, 1-366 */
  int wday;  /* day of the week, 0 Sunday */
  int hour;  /* 0-23 */
  int min;   /* 0-59 */
  int sec;   /* 0-59 */
};

/* A plot domain: a projection (or diagram kind), its reference point and
 * parameters, the plot centre and a grid of points that fixes the extent.
 * Map projections work in plot units of 100 km (degrees for lat/lon). */
struct Domain {
  int proj;       /* projection or diagram code; -9999 none */
  float plat;     /* reference latitude (degrees); missing: clat when made current */
  float plon;     /* central meridian (degrees); missing: clon when made current */
  float param[5]; /* true latitudes, satellite distance, scan-angle switch */
  float clat;     /* centre latitude; diagrams: data value at one corner */
  float clon;     /* centre longitude; diagrams: data value at one corner */
  float dx;       /* grid spacing in plot units; diagrams: data extents */
  float dy;
  int nx; /* grid points; diagrams 20, 24, 25: plot extents */
  int ny;
  int ellipse; /* 1 ellipsoidal earth (satellite view), 0 sphere */
};

/* Plot limits of a domain, or a diagram viewport. */
struct MAP_limits {
  float x_min;
  float x_max;
  float y_min;
  float y_max;
};

/* One sounding level; -9999 when missing. */
struct UPA_level {
  float p;   /* hPa */
  float h;   /* m */
  float t;   /* degrees Celsius */
  float td;  /* degrees Celsius */
  float dir; /* degrees */
  float spd; /* knots */
};

/* A three-component vector, missing when x is -9999. */
struct VECT {
  float x;
  float y;
  float z;
};

/* A wind: the direction it blows from (degrees) and its speed;
 * u = -spd sin(dir), v = -spd cos(dir). */
struct WIND {
  float dir;
  float spd;
};

/* ------------------------------------------------------------------------ */
/* string: text toolkit and parsed arrays                                   */
/* ------------------------------------------------------------------------ */

int fill_string(char* string, char tar, char fill);
int strip_string(char* string, char tar);
int wsstrip_string(char* string);
int wstrim_string(char* string);
int trim_string(char* string);
int trim_cr_string(char* string);
int strip_spaces(char* string);
int strip_escape(char* string);
int shift_string(char* string, int num);
int up_string(char* string);
int low_string(char* string);
int clean_line(unsigned char* line);

int string_is_float(const char* string);
int string_is_alpha(const char* string);
int string_is_num(const char* string);
int string_is_num_len(const char* string, int len);
int string_is_blank(const char* string);

char* create_string(const char* string);
char* create_strcat(const char* oldstr, const char* delim, const char* string);
int strntcpy(char* str1, const char* str2, int n);
int strmcat(char* s1, const char* s2, int m);

int stricmp(const char* s1, const char* s2);
int strnicmp(const char* s1, const char* s2, int n);
/* An ASCII capital to its small letter, any other byte as it is: what
 * tolower gives in the C locale, which the suite never leaves, without a
 * library call (keywords are matched by the thousand). */
inline char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
int searchstr(char* const* s1, int n, const char* s2);
char* strlstr(char* s1, const char* s2);

int parse_string(const char* string, char delim, int* argc, char*** argv);
int free_parsed_array(int argc, char** argv);
int parse_command(const char* string, int* argc, char*** argv);
int parse_command_line(const char* command, const char* string, int* argc, char*** argv);
/* set_num writes at most SET_NUM_LEN - 1 characters into str. */
inline constexpr int SET_NUM_LEN = 32;
char* set_num(char* str, const char* format, float x);
int chk_arg(const char* arg, char* const* items, int num_items);

/* ------------------------------------------------------------------------ */
/* fmt_check: printf formats that users give, checked before use            */
/* ------------------------------------------------------------------------ */

/* The kind of value a user's format is for. */
enum FMT_kind { FMT_FLOAT = 1, FMT_INT = 2, FMT_STRING = 3, FMT_CHAR = 4 };

/* 1 when format holds exactly one conversion of that kind (float: e f g a
 * and their capitals; int: d i o u x X; string: s; char: c), with flags
 * from "-+ #0", width and precision of at most two digits each, and an "l"
 * for numbers, besides plain text and "%%"; 0 otherwise (also for NULL). */
int FMT_check(const char* format, int kind);
/* The value printed with format when FMT_check accepts it; otherwise with
 * the caller's fallback, after a warning that begins with caller's name.
 * The empty text when neither format passes. */
std::string FMT_print_float(const char* caller, const char* format, const char* fallback, double value);
std::string FMT_print_int(const char* caller, const char* format, const char* fallback, long value);
std::string FMT_print_str(const char* caller, const char* format, const char* fallback, const char* value);
std::string FMT_print_char(const char* caller, const char* format, const char* fallback, char value);
/* v as "%.<precision>f" writes it (precision 0 to 99), into out without
 * its end; the length, or 0 when the text does not fit room. */
std::size_t FMT_fixed(double v, int precision, char* out, std::size_t room);

/* ------------------------------------------------------------------------ */
/* mess: messages and log files                                             */
/* ------------------------------------------------------------------------ */

/* A message-level mask: one nibble per named level, its four bits the
 * sub-levels a to d (lowest bit first). */
using M_type = std::uint32_t;

inline constexpr M_type M_none = 0x00000000;
inline constexpr M_type M_print = 0x0000000F;
inline constexpr M_type M_error = 0x00000030;
inline constexpr M_type M_warn = 0x000000C0;
inline constexpr M_type M_mess = 0x00000F00;
inline constexpr M_type M_out1 = 0x0000F000;
inline constexpr M_type M_out2 = 0x000F0000;
inline constexpr M_type M_out3 = 0x00F00000;
inline constexpr M_type M_out4 = 0x0F000000;
inline constexpr M_type M_debug = 0xF0000000;

/* Single sub-levels (letters a to d of a level) used for traces. */
inline constexpr M_type M_print_d = 0x00000008;
inline constexpr M_type M_mess_d = 0x00000800;
inline constexpr M_type M_debug_a = 0x10000000;
inline constexpr M_type M_debug_b = 0x20000000;
inline constexpr M_type M_debug_c = 0x40000000;
inline constexpr M_type M_debug_d = 0x80000000;

int MESS_print(M_type type, const char* mess, ...) __attribute__((format(printf, 2, 3)));
int MESS_check(M_type level);
int MESS_hold(M_type type, const char* mess);
int MESS_set(int oper, M_type level);
int MESS_set_str(const char* str);
M_type MESS_get();
int MESS_check_set();
int MESS_set_page(int val);
int MESS_get_max_lines();
int MESS_file(const char* filename, const char* access);
int MESS_file_close();
int MESS_set_out(int val);
int MESS_print_prog(const char* string);
/* Prints a text as it stands (a "%" in it is no conversion) and counts its
 * line feeds for paging, as a format text's are counted; MESS_print's
 * result. */
int MESS_print_text(M_type type, const char* text);

/* ------------------------------------------------------------------------ */
/* flag: process flags and plot-part switches                               */
/* ------------------------------------------------------------------------ */

/* The flags in use (indexes of FLAG_get and FLAG_set); no component uses
 * the others. A flag nobody set reads -9999 after RES_init. */
enum FLAG_index : int {
  FLAG_DEVICE = 2,      /* output device: RES_device codes */
  FLAG_MODEL = 4,       /* model of the gridded input */
  FLAG_DOMAIN = 5,      /* outcome of the last domain decoding */
  FLAG_FCST_TIME = 6,   /* default forecast-time code of variables */
  FLAG_LEVEL_TYPE = 7,  /* default level type of variables */
  FLAG_LEVEL_VALUE = 8, /* default level value, with FLAG_LEVEL_TYPE */
  FLAG_PLOT_TYPE = 11,  /* plot type; 99 none */
  FLAG_INPUT_KIND = 14, /* 10 surface data, 11 front bulletins, 20 upper air */
  FLAG_FILE_PARAM = 15, /* FILE_PARAM_* */
  FLAG_FILE_KIND = 17,  /* kind of grid or point-data file */
  FLAG_BATCH = 19,      /* batch mode when above 0 */
  FLAG_HELP = 20,       /* help asked for when above 0 */
};

/* Values of FLAG_FILE_PARAM. */
inline constexpr int FILE_PARAM_OVERWRITE = 1; /* "over", "calc", "recalc" */
inline constexpr int FILE_PARAM_APPEND = 2;    /* "app" */
inline constexpr int FILE_PARAM_USE = 3;       /* "use", "reuse" */

int FLAG_get(int flag);
long int FLAG_getl(int flag);
int FLAG_set(int flag, int value);
int FLAG_setl(int flag, long int value);
int FLAG_reset(int value);
int FLAG_resetl(long int value);
int FLAG_batch();
int FLAG_set_batch(int val);
int FLAG_help();
int FLAG_setplot(int type, int val);
int FLAG_getplot(int type);
int FLAG_resetplot(int val);

/* ------------------------------------------------------------------------ */
/* resrc: the resource store                                                */
/* ------------------------------------------------------------------------ */

/* The converters of resource values. */
enum DEF_convert {
  CV_none = 0,
  CV_bool = 1,
  CV_int = 2,
  CV_short = 3,
  CV_long = 4,
  CV_float = 5,
  CV_string = 6,
  CV_strcpy = 7,
  CV_path = 8,
  CV_mess = 9,
  CV_draw = 10,
  CV_current = 11,
  CV_hour = 12,
  CV_region = 13,
  CV_name = 14,
  CV_ingestor = 15,
  CV_file_param = 16,
  CV_device = 17,
  CV_plot_type = 18,
  CV_color = 19,
  CV_domain = 20,
  CV_strings = 21,
  CV_batch = 22,
  CV_help = 23
};

/* One resource definition of a program. */
struct RES_defobj {
  const char* def; /* resource name; null ends a table, "" marks no definition */
  const char* env; /* the resource's own environment variable */
  const char* cmd; /* option abbreviation, or "1".."10" for a position */
  DEF_convert cvt; /* converter */
  char* out;       /* where the gathering stores the converted value, or null */
  int* num;        /* item count of a CV_strings value, or null */
};

int RES_new(int index, const char* name, const char* data, DEF_convert cvt);
int RES_append(int index, const char* name, const char* data, DEF_convert cvt);
int RES_put(const char* name, const char* value);
char* RES_get(const char* name);
int RES_getval(const char* name, void* data, DEF_convert cvt);
int RES_getvals(const char* name, int* paramc, char*** paramv);
/* CV_strcpy copies at most RES_STRCPY_LEN - 1 characters into its output. */
inline constexpr int RES_STRCPY_LEN = 4096;
int RES_conv_data(char* data, void* out, DEF_convert cvt);
/* The domain converters decode through the map layer, which registers its
 * decoder here (src/hooks.cpp); without one a domain is reported as not
 * available and left as it is. Returns the decoder replaced. */
using RES_domain_decoder = int (*)(const char* text, Domain* domain);
RES_domain_decoder RES_set_domain_decoder(RES_domain_decoder decoder);
int RES_list();
/* Output-device codes of RES_set_device and FLAG_DEVICE (the workstation
 * types of the graphics kernel). */
enum RES_device : int {
  RES_DEV_WINDOW = 1, /* the program's own window */
  RES_DEV_META = 3,   /* metafile */
  RES_DEV_PS = 4,     /* PostScript or EPS */
  RES_DEV_HPGL = 5,
  RES_DEV_PIXMAP = 6, /* another program's window */
};
int RES_set_device(const char* str);
int RES_setCL(int argc, char** argv);
char* RES_get_prog();
/* With a buffer (FILE_PATH_LEN bytes) the name is copied into it; without,
 * it is allocated for the caller (null when that fails). */
char* RES_get_progname(char* prog);
/* The folder of the installed data files (tables, fonts, maps, stations):
 * the one beside the running program when it runs from an installed tree
 * (prefix/bin and prefix/share/kez), so that a tree installed under any
 * prefix finds its own, else the one chosen when the suite was configured.
 * It ends the defaults search path, and a program's "file_path" defaults
 * to it. */
std::string RES_data_folder();
/* Gathers every setting of a program (defaults files along the search
 * path, linked loop windows, the environment, the command line) into the
 * list and converts each defined resource once. def_table ends with a null
 * name. 0. */
int RES_decode(const char* progname, const char* class_name, int argc, char** argv, const RES_defobj* def_table);

/* ------------------------------------------------------------------------ */
/* system: processes, prompts and timing                                    */
/* ------------------------------------------------------------------------ */

const char* KEZ_version();
[[noreturn]] void KEZ_exit(int status);
/* Exit statuses that scripts tell apart (README.md lists every status). */
inline constexpr int KEZ_EXIT_USAGE = 2;     /* an invalid command line, or a question batch mode cannot ask */
inline constexpr int KEZ_EXIT_GRAPHICS = 4;  /* the kernel, a workstation or an output file cannot open */
inline constexpr int KEZ_EXIT_NO_INPUT = 10; /* no usable input file */
int KEZ_get_pid();
int KEZ_back_proc();
int KEZ_run(const char* filename, char** argv, char** env, int flag);
int KEZ_run_func(int (*func)(int), int arg);
int KEZ_add_proc(int pid, const char* name);
int KEZ_numproc();
int KEZ_proc(int pid);
int KEZ_proc_id(int proc);
const char* KEZ_proc_name(int proc);
int KEZ_set_proc(int proc, int value);
int KEZ_clr_proc(int proc);
int KEZ_chk_proc(int proc);
int KEZ_set_infile(const char* name);
int KEZ_set_outfile(const char* name);
int KEZ_set_command(const char* string);
char* KEZ_prompts(const char* prompt, char* str, int length);
/* The exit status with which a prompt ends the program when its input has
 * ended (0 at start), for questions whose unanswered end is a failure;
 * returns the status set before. */
int KEZ_set_end_status(int status);
/* The first word of the answer, at most KEZ_PROMPT_WORD characters of it:
 * an answer of that length may have been cut. */
inline constexpr int KEZ_PROMPT_WORD = 19;
char* KEZ_promptl(const char* prompt, char* str);
float KEZ_promptf(const char* prompt);
int KEZ_promptd(const char* prompt);
int KEZ_sleep(float secs);
int KEZ_init_time();
float KEZ_elapse_time();
long int KEZ_get_virt_mem();

/* ------------------------------------------------------------------------ */
/* date: calendar, time zones, decode window and date labels                */
/* ------------------------------------------------------------------------ */

int DATE_init(Date* date);
const char* DATE_month(int month);
const char* DATE_month_lower(int month);
const char* DATE_month_long(int month);
int DATE_print_current(M_type level);
int DATE_get_current_str(char* str);
int DATE_get_gmdate(const long int* secs, Date* date);

/* Current time and the C library's records. DATE_get_gmtime and
 * DATE_get_localtime hand out the C library's shared record; a null secs
 * means now. */
int DATE_print(M_type level, const Date* date);
int DATE_get_simple_current_str(char* str); /* "DD-HH:MMZ": str holds 10 bytes */
int DATE_get_current_gmdate(Date* date);
long int DATE_get_time(long int* secs);
struct tm* DATE_get_gmtime(const long int* secs);
struct tm* DATE_get_localtime(const long int* secs);
int DATE_get_localdate(const long int* secs, Date* date);

/* Seconds since 1970-01-01 00:00 UTC after normalising the fields in place:
 * a negative year becomes 1980, 0-49 become 2000-2049 and 50-199
 * 1950-2099; a month outside 1-12 becomes 1, a day outside 0-31 becomes 1
 * (day 0 is the last day of the month before), an hour, minute or second
 * out of range 0. Every fourth year counts as a leap year here. */
long int DATE_num_sec(Date* date);
long int DATE_num_sec_tm(const struct tm* datim);
int DATE_is_leap(int year); /* Gregorian */
/* Day numbers: 1970-01-01 is day 1; DATE_days_date counts 0 and below back
 * into the years before 1970. */
int DATE_date_days(int year, int month, int day);
int DATE_days_date(int days, int* year, int* month, int* day);
int DATE_time_date(int rsecs, int* hour, int* min, int* sec);
int DATE_julian_monday(int year, int julian, int* month, int* day);
int DATE_monday_julian(int year, int month, int day, int* julian);
/* One module-owned Date that the next call overwrites. */
Date* DATE_to_struct(int year, int month, int day, int hour, int min);

/* The display time zone: an optional sign ("-" 12-hour style with the UTC
 * time in brackets, "+" 12-hour style), a name of up to four characters,
 * and ":" with the offset in hours. Only label texts use it. */
int DATE_set_TZ(const char* str);
int DATE_get_tz_off();         /* seconds added to UTC */
const char* DATE_get_tz_str(); /* "Z", or a blank and the zone name */
int DATE_get_tz_pm();          /* 0 24-hour, 1 12-hour, -1 12-hour with UTC */

/* The decode window: a base time from a file's date and "decode_hour",
 * and a window of minutes around it (-15 to +10 at start). */
int DATE_set_datim(const Date* date);
int DATE_get_datim(Date* date);
int DATE_set_range(int pre, int post);
int DATE_chk_range(int date); /* hour * 100 + minute; 1 inside the window */

/* Date labels ('12Z  5 JAN 98'), sequence texts (YYYYMMDDHHNN), forecast
 * periods and forecast labels, in the display time zone. Every str of the
 * C forms holds DATE_LABEL_LEN bytes; longer labels are cut. The forms with
 * a std::string take model names of any length. */
inline constexpr int DATE_LABEL_LEN = 256;

int DATE_make_label(const Date* date, char* str);
int DATE_make_seq(Date* date, char* str); /* normalises date in place */
int DATE_decode_seq(const char* str, Date* date);
int DATE_decode_label(const char* str, Date* date);
int DATE_decode_month(const char* str);
char* DATE_fhour_label(char* str, int fhour, int flag);
int DATE_format_label(char* str, const char* format, int fhour, const char* model, const Date* date);
int DATE_make_label_for(int fhour, int model, long int seconds, char* str);
int DATE_make_label_for_time(int fhour, int model, const Date* date, char* str);
int DATE_make_label_for_time_mod(int fhour, const char* model, const Date* date, char* str);
int DATE_make_label_valid_time(int fhour, const Date* date, char* str);
int DATE_make_label_for(int fhour, int model, long int seconds, std::string* str);
int DATE_make_label_for_time(int fhour, int model, const Date* date, std::string* str);
int DATE_make_label_for_time_mod(int fhour, const char* model, const Date* date, std::string* str);
/* The date labels name models through the variable tables of the data
 * layer, which registers its namer here (src/hooks.cpp); without one the
 * labels carry no model name. Returns the namer replaced. */
using DATE_model_namer = int (*)(std::string* name, int model);
DATE_model_namer DATE_set_model_namer(DATE_model_namer namer);

/* ------------------------------------------------------------------------ */
/* files: paths, file tests, opening and file magics                        */
/* ------------------------------------------------------------------------ */

/* Room that a caller gives every path buffer the file layer writes into;
 * longer names are cut at FILE_PATH_LEN - 1 characters (no file system
 * path can be longer). */
inline constexpr int FILE_PATH_LEN = 4096;

FILE* FILE_open(const char* file, const char* access);
/* Closes a stream from FILE_open: pipes through pclose, the standard streams
 * are only flushed. Returns 0, or -1 when closing failed. */
int FILE_close(FILE* fp);
int FILE_type(const char* filename);
int FILE_exist(const char* file);
int FILE_is_stdio(const char* file);
int FILE_is_dir(const char* file);
int FILE_is_file(const char* file);
int FILE_is_fifo(const char* file);
int FILE_is_device(const char* file);
long int FILE_size(const char* file);
time_t FILE_modtime(const char* file);
int FILE_delete(const char* file);
int FILE_make_dir(char* dir, int flag);
int FILE_fullpath(const char* filename);
char* FILE_add_path(const char* path, const char* file, char* filename);
std::string FILE_add_path(const char* path, const char* file);
std::string FILE_add_user_path(const char* file);
int FILE_add_path_delim(char* path);
int FILE_add_user_path(const char* file, char* filename);
int FILE_overwrite(const char* filename, int flag);
int KEZ_share(int mode);

/* ------------------------------------------------------------------------ */
/* files: naming templates, current and latest files                        */
/* ------------------------------------------------------------------------ */

/* The naming state of the process: a data-set type selects a name template
 * (and a header template and a minimum file size) from the "name_conv" file;
 * the template turns a date into a file name and a typed name back into a
 * date. Every out_file buffer holds FILE_PATH_LEN bytes. */

/* Key texts hold at most FILE_KEY_LEN - 1 characters. */
inline constexpr int FILE_KEY_LEN = 30;

/* 1 when a convention line matched or "@" gave the template, 0 otherwise. */
int FILE_set_name(const char* type);
/* 0 when the name was built from the template, 1 otherwise. */
int FILE_set_date(const Date* datim, char* out_file);
/* 1 when a non-empty header name resulted; 0 (out_file untouched when the
 * date has no year). */
int FILE_hdr_set_date(const Date* datim, char* out_file);
/* Lists the existing files that the template matches; no shell is run. */
int FILE_list_file();
int FILE_set_key(char key, const char* str);
int FILE_get_key(char key, char* str); /* str holds FILE_KEY_LEN bytes */
/* One save slot: a second save overwrites the first. */
int FILE_save_name_conv();
int FILE_restore_name_conv();
/* "step template header"; a step of 0 or below is refused (0, or -1). */
int FILE_set_name_conv(const char* str);
int FILE_get_name_conv(char* str); /* str holds FILE_PATH_LEN bytes */
int FILE_set_filename(const char* str);
const char* FILE_get_filename(char* str); /* str may be null */
/* The time step of the template in seconds (-9999 none); a step of 0 or
 * below is refused (-1). */
int FILE_set_late_off(int val);
int FILE_get_late_off();
int FILE_set_min_size(int val);
int FILE_get_min_size();
/* The fixed date parts of file names: -9999 in a field leaves the date's own
 * part; a negative day -S rounds the day down to a multiple of S, a negative
 * hour or minute -(100 * offset + step) rounds down to step and adds offset.
 * Set from the "hour" resource. Both return 0 (-1 for a null date). */
int FILE_set_time(const Date* datim);
int FILE_get_time(Date* datim);
int FILE_reset_time();
int FILE_set_type(int type); /* 0 ordinary names, 1 grid names */
const char* FILE_get_ext_info();
int FILE_set_ext_info(const char* str);

/* Typed names: the template walked along the text, a "#date" suffix fixing
 * the date parts, "la", "cu" and "#" asking for a file by time. The date
 * parts the text holds become the file date. 0. */
int FILE_set_file(const char* file, char* out_file);
/* Cuts the text from the first "#", "-", "+" or ":" at or after the third
 * character off into the extra information. 0. */
int FILE_extract_extra_info(char* file);

/* The file of a time text ("#" date, offsets "-6", "+1d6:30",
 * "la" or "la#N" for the latest acceptable file); the time in seconds,
 * rounded down to the template's step. A null text is "la". */
long int FILE_set_current(const char* cur, char* filename);
/* The program's input file: "filename", "current" (or the latest file in
 * batch mode), else a listing and up to four questions. 1 found, 0 for a
 * missing "filename" item; ends with status 10 when nothing is found. */
int FILE_get_file(const char* prompt, char* outfile);
/* The same without ending the program and with one question: 1 or 0. */
int FILE_get_file_only(const char* prompt, char* outfile);
int FILE_get_date(Date* date); /* the date parts of the last name */
/* Sequences: the names listed in "filename", or a span of hours from
 * "num_hour" ("H:M[,H:M]", a negative span before the start). */
int FILE_first(const Date* datim);
int FILE_get_next(char* file); /* 1, or 0 when the sequence is used up */
int FILE_get_num_file();
/* Offsets are seconds from the date; the result is offset / step. */
int FILE_set_date_off(Date* datim, int offset, char* out_file);
/* One step on or back from the file these two named last. 1. */
int FILE_next_file(char* file);
int FILE_prev_file(char* file);
int FILE_get_offset(); /* the template's step, or 100000 without one */
int FILE_num_hour();
int FILE_get_skip();
int FILE_set_def_hours(int hour);
int FILE_get_num_hour();
int FILE_get_nsecs();
int FILE_set_nsecs(int val);
int FILE_print_first_date(const char* str);

/* ------------------------------------------------------------------------ */
/* scanp: pattern scanner                                                   */
/* ------------------------------------------------------------------------ */

/* The cursor of the pattern scanner over one line of text. */
struct parse_param {
  char* ptr;    /* the text scanned; not copied, not owned, must outlive the cursor */
  int length;   /* its length when the cursor was set */
  int off;      /* where the next scanp call starts; scanp never moves it */
  int len;      /* characters consumed by the last scanp call */
  int assigned; /* conversions of the last call that stored a value */
  int matched;  /* conversions of the last call that matched */
  int done;     /* 1 when the last call used up its whole pattern */
};

/* The most characters a text conversion of scanp stores: a destination of
 * SCANP_TEXT_LEN + 1 bytes (or the conversion's width + 1, when smaller) is
 * always enough; "%c" stores no terminator. */
inline constexpr int SCANP_TEXT_LEN = 80;

int scanp_set(parse_param* param, char* str);
int scanp_get_off(const parse_param* param);
int scanp_off(parse_param* param, int off);
int scanp_inc_off(parse_param* param, int off);
int scanp_inc(parse_param* param);
char* scanp_str(const parse_param* param);
char scanp_char(const parse_param* param, int off);
char scanp_replace(parse_param* param, int off, char ch);
int scanp_search(parse_param* param, const char* str);
int scanp_print(const parse_param* param);
int scanp(parse_param* param, const char* pat, ...);

/* ------------------------------------------------------------------------ */
/* tools: line readers, byte order and small numeric tools                  */
/* ------------------------------------------------------------------------ */

/* Line readers. Each leaves the newline that ends a line unread and takes it
 * away at the next call, so an empty line at the reading position (the first
 * line of a file, or the one after fskipline) is passed over. A line longer
 * than the limit comes in pieces. At the end of the file they give EOF and
 * leave the buffer as it was. */
inline constexpr int FGETLINE_LEN = 160;                /* fgetline's buffer needs 161 bytes */
int fgetline(FILE* ifile, char* string);                /* length, 0 empty, EOF */
int fgetnline(FILE* ifile, char* string, int len);      /* bytes taken, 0 empty, EOF */
int fgetstring(FILE* ifile, char* string, int len);     /* 1 text, 0 empty, EOF */
int fget_rawstring(FILE* ifile, char* string, int len); /* fgetstring, then cleaned */
int fskipline(FILE* ifile);                             /* 0, or EOF */
/* Reads one whole line of any length into line, without its line end and
 * without carriage returns; false at the end of the file. With max, only
 * the first max characters are kept and the rest of the line is passed
 * over. */
bool fget_text_line(FILE* ifile, std::string* line);
bool fget_text_line(FILE* ifile, std::string* line, std::size_t max);
/* A plain decimal at the start of text ("-12", "7.5", ".5", "3."), of at
 * most 15 digits, read as strtod reads it: true with the value and the
 * characters it took. False, with nothing read, for any other text (no
 * digit, more digits, an exponent, hexadecimal), which strtod then has to
 * read. */
bool scan_decimal(std::string_view text, double* value, std::size_t* used);

/* Byte order. swap_setup takes the byte order of a file's data: 1
 * big-endian, 2 little-endian, -1 never swap, anything else always swap.
 * Until it is first called the swap functions swap. They return 0, or -1
 * with the bytes untouched when swapping is off. */
int swap_setup(int flag);
int swap_long(unsigned char* ptr);
int swap_double(unsigned char* ptr);
int swap_longs(unsigned char* ptr, int num);
int swap_short(unsigned char* ptr);
int swap_shorts(unsigned char* ptr, int num);
/* Read one item and swap it when one was read; the read's item count. */
int fread_double_swap(unsigned char* data, FILE* ifile);
int fread_long_swap(unsigned char* data, FILE* ifile);
int fread_short_swap(unsigned char* data, FILE* ifile);
/* Swap the caller's item in place (it stays swapped) and write it; the
 * write's item count. */
int fwrite_long_swap(unsigned char* data, FILE* ofile);
int fwrite_short_swap(unsigned char* data, FILE* ofile);

float linear_interp(float x, float x1, float x2, float y1, float y2);
int fswap(float* x, float* y);
/* The threshold code of a value: 100 times an exponent field plus its two
 * leading digits (850 -> 285, 0.25 -> 925); -9999 for a value that is not
 * finite. */
int float2int(float x);

/* ------------------------------------------------------------------------ */
/* tools: WMO station numbers and station identifiers                       */
/* ------------------------------------------------------------------------ */

/* Identifiers are five characters: id buffers hold WMO_ID_LEN bytes. */
inline constexpr int WMO_ID_LEN = 6;

int wmo_to_id(char* id, int wmo);
int id_to_wmo(const char* id, int* wmo);

/* ------------------------------------------------------------------------ */
/* table: multi-key hashed table                                            */
/* ------------------------------------------------------------------------ */

/* Records of one fixed size, found by up to four text keys at once (each
 * key with its own buckets) and walked in the order of entry. Records with
 * equal keys all stay. The table owns every key copy, record and chained
 * entry; TAB_clear frees them and leaves the table not set up. */

/* One record's entry under one key. */
struct TAB_entry {
  char* key;       /* copy of the key text; null in an empty bucket head */
  char* data;      /* the record, shared by the entries of all its keys */
  TAB_entry* link; /* next entry in the same bucket, in order of entry */
  TAB_entry* next; /* next record in order of entry (entries of key 1) */
  TAB_entry* last; /* in a bucket head: the chain's last entry; null while the head is alone */
};

struct TAB_table {
  int tab_size;        /* buckets per key; 0: not set up */
  int data_size;       /* bytes of a record */
  TAB_entry* data_ptr; /* iteration cursor */
  TAB_entry* head_ptr; /* first record in order of entry */
  TAB_entry* last_ptr; /* last record in order of entry */
  int num_entry;       /* records entered */
  int numkey;          /* keys per record, 1 to 4 */
  TAB_entry* table[4]; /* per key, tab_size bucket heads */
};

inline constexpr int TAB_MAX_KEYS = 4;

/* 0, or -1 (table not set up) for bad sizes or a failed allocation. */
int TAB_create(TAB_table* tab, int tsize, int dsize, int nkey);
int TAB_init(TAB_table* tab);
/* Copies data_size bytes from data, then one key text per key follows; a
 * null text for a key after the first leaves the record out of that key.
 * 0, or -1 with nothing entered. */
int TAB_enter(TAB_table* tab, const char* data, ...);
/* The first record entered with this key text under key keynum (1 to
 * numkey), compared exactly; null when none. */
char* TAB_search(const TAB_table* tab, int keynum, const char* key);
/* Up to max such records in order of entry; their number. */
int TAB_searches(const TAB_table* tab, int keynum, const char* key, char** ptrs, int max);
int TAB_first(TAB_table* tab);
char* TAB_next(TAB_table* tab);
int TAB_clear(TAB_table* tab);

/* ------------------------------------------------------------------------ */
/* unittool: unit conversion                                                */
/* ------------------------------------------------------------------------ */

float UNIT_cvt(float value, const char* iunit, const char* ounit);
/* out needs strlen(in) + strlen(mstr) + 16 bytes. */
int UNIT_scale(const char* in, float scale, const char* mstr, char* out);
/* var and units need as many bytes as str. */
int UNIT_parse(const char* str, char* var, char* units);
/* str needs min(strlen(name), 49) + strlen(units) + 4 bytes. */
int UNIT_change(char* str, const char* units);

/* ------------------------------------------------------------------------ */
/* menu: text menus                                                         */
/* ------------------------------------------------------------------------ */

/* One entry of a menu array. Entry 0 is the return entry; the array ends
 * with an entry whose name is null; an item is shown in menu m (0-9) when
 * disp[m] is exactly 1, and at most MENU_MAX_ITEMS are shown in one menu. */
struct MENU_item {
  const char* name; /* text shown; a leading "-" makes a separator line */
  const char* abbr; /* the answer that chooses the entry, handed back */
  int index;        /* value returned when the entry is chosen */
  int disp[10];     /* 1 where the entry is shown in that menu number */
};

inline constexpr int MENU_MAX_ITEMS = 79;
/* The answer buffer of MENU_process: MENU_process writes at most
 * MENU_STRING_LEN - 1 characters into it. */
inline constexpr int MENU_STRING_LEN = 80;

/* Menu flags: 1 offers the exit choice, 2 the main-menu choice (entry 0),
 * 4 a help line. */
int MENU_print(const char* title, const MENU_item* menu, int menu_num, int flag);
int MENU_process(const char* title, const MENU_item* menu, int menu_num, const char* prompt, char* string, int flag);
int MENU_search(const char* item, const MENU_item* menu);
const char* MENU_get_abbr(int index, const MENU_item* menu);
int MENU_check(int index, const MENU_item* menu, int menu_num);

/* ------------------------------------------------------------------------ */
/* mqueue: loop-window message-queue link                                   */
/* ------------------------------------------------------------------------ */

/* A message carries a flag and a text of at most MQ_ITEM_LEN - 2
 * characters (longer texts are cut); an item buffer that receives a text
 * holds MQ_ITEM_LEN bytes. */
inline constexpr int MQ_ITEM_LEN = 120;

/* Client half. MQ_open gives the queue id (0 is a valid id) or, on the
 * socket, 1; -1 for every failure. MQ_connect gives the connection number
 * or -1. MQ_get gives the message's flag with its text in item, or -1. */
int MQ_open(int num);
int MQ_connect(int msgqid);
int MQ_put(int msgqid, int conn_id, const char* format, ...) __attribute__((format(printf, 3, 4)));
int MQ_get(int msgqid, int conn_id, char* item);

/* Server half. MQ_sget: 1 a request, 2 a connection request answered
 * (conn_id -1 when it was refused), -1 nothing waiting. */
int MQ_create(int num);
int MQ_sget(int msgqid, int* conn_id, char* item);
int MQ_sput(int msgqid, int conn_id, int flag, const char* format, ...) __attribute__((format(printf, 4, 5)));
int MQ_clear(int msgqid, int index);
int MQ_del(int msgqid);
int MQ_find(int ind);

/* Settings: transport (0 queue, 1 loopback socket), key or port offset,
 * time-out in seconds (20 at start) and a handler of the caller's own that
 * replaces the end of the program on time-out. */
int MQ_settype(int ind);
int MQ_offset(int ind);
int MQ_timeout(int val);
int MQ_timeout_func(void (*func)(int));
int MQ_params();
int MQ_enable_alarm();
int MQ_disable_alarm();
/* Prints "Queue not responding!!" and ends the program with status 7. */
[[noreturn]] void MQ_intrp();

/* ------------------------------------------------------------------------ */
/* maptran: current domain, map projections and diagram coordinates         */
/* ------------------------------------------------------------------------ */

/* Projection and diagram codes of Domain.proj, as stored in files and
 * written in domain texts (the values never change). */
enum MAP_proj_code : int {
  MAP_NONE = KEZ_MISS, /* no projection: positions pass unchanged */
  MAP_PSTEREO = 1,     /* polar stereographic */
  MAP_LATLON = 2,
  MAP_MERC = 3,
  MAP_LAMB = 4, /* Lambert conformal */
  MAP_ORTHO = 5,
  MAP_GNOM = 6,
  MAP_MOLL = 7,
  MAP_LAMBAZ = 8, /* Lambert azimuthal equal-area */
  MAP_SAT = 9,    /* satellite view */
  MAP_XY = 20,    /* linear diagram */
  MAP_XZ = 21,
  MAP_XLOGP = 22, /* x against log pressure */
  MAP_POLAR = 23, /* hodograph */
  MAP_CAT = 24,
  MAP_XP = 25, /* x against pressure, pressure down */
  MAP_SKEWT = 40,
  MAP_STUVE = 41,
  MAP_EMA = 42,
  MAP_TEPH = 43,
  MAP_RTEPH = 44,
  MAP_ZOOM = 50,
  MAP_SIZE = 51,
  MAP_PIXEL = 99,
};

/* A plot position in plot units of the current domain; -9999 when hidden. */
struct Point {
  float x;
  float y;
};

/* An earth position in degrees. */
struct EarthPoint {
  float lat;
  float lon;
};

/* The current domain and its plot limits. */
int MAP_domain(const Domain* dom);
Domain* MAP_get_domain(Domain* dom);
int MAP_print_domain();
int MAP_proj(int proj);
int MAP_get_proj();
float MAP_get_clat();
float MAP_get_clon();
int MAP_coord(float rlat, float rlon);
int MAP_proj_coord(const float* value);
int MAP_proj_str(const char* proj);
/* The name that DOM_print writes for a projection code; "" for none. */
const char* MAP_proj_name(int proj);
int MAP_tran_center(float* x, float* y);
int MAP_set_limits();
int MAP_get_limits(MAP_limits* lim);
int MAP_set_view(const MAP_limits* vp);
int MAP_get_up_left(float* x, float* y);
int MAP_in_domain(float x, float y);
int MAP_in_grid_domain(float x, float y);
int DOM_init(Domain* domain);
int DOM_comp(const Domain* dom1, const Domain* dom2);
int DOM_comp_proj(const Domain* dom1, const Domain* dom2);
float DOM_aspect(const Domain* domain);

/* Forward (degrees or diagram values to plot units) and inverse. Both give
 * 1 with their outputs set, or 0 with both outputs -9999 for a point that
 * the projection hides or that lies off the projected earth. */
int MAP_tran(float lat, float lon, float* x, float* y);
int MAP_untran(float x, float y, float* lat, float* lon);
int MAP_tran_ep(EarthPoint ept, Point* pt);
int MAP_tran_pe(Point pt, EarthPoint* ept);

/* Grid indices, conversion between domains, offsets and directions. */
int MAP_grid_tran(float gx, float gy, float* x, float* y);
int MAP_grid_untran(float x, float y, float* gx, float* gy);
int MAP_domain_tran(const Domain* domain1, const Domain* domain2, float x1, float y1, float* x2, float* y2);
int MAP_offset(float xi, float yi, float dir, float rad, float* xf, float* yf);
float MAP_factor(float lat, float lon);
float MAP_dir_adj(float dir, float x, float y);
float MAP_undir_adj(float dir, float x, float y);
float MAP_uvdir_adj(float u, float v, float x, float y);
float MAP_dir(float x1, float y1, float x2, float y2);

/* The decluttering grid of the station plotters. */
int MAP_set_plot_limit(int val);
int MAP_plot_grid_init();
int MAP_plot_grid(float x, float y);

/* ------------------------------------------------------------------------ */
/* map: map backgrounds                                                     */
/* ------------------------------------------------------------------------ */

struct Glim;
/* A plot's background: MAP_setup once per plot, then MAP_draw with pass
 * flags (1 '-' items, 2 '+' items, 4 unmarked items) before and after the
 * data. */
int MAP_setup(Domain* domain);
int MAP_draw(int flag);
/* One map-list item: 0 drawn or set, -1 skipped or failed. */
int MAP_process(const char* str);
/* An outline file: 0 at its zero-count record, -1 at its end (or broken),
 * 1 without a map projection. */
int MAP_map(FILE* map_file);
/* Latitude/longitude lines (a diagram's value grid on diagrams): 0 drawn
 * on a map projection, -1 on a diagram, for a missing or refused spacing. */
int MAP_lines(float dlat, float dlon);
/* A range circle of rad km around plot point (x, y). 0. */
int MAP_draw_circle(float x, float y, float rad);
/* The height of transformation 2's world window (the plot's height in plot
 * units). */
float MAP_get_vert();
float MAP_get_hor();
int MAP_get_window(Glim* wind);
/* Tells the map drawer whether colour-filled contours lie under it. 0. */
int MAP_fill_cont(int value);
/* Latitude and longitude line spacing (degrees), dotting and the extra
 * switch of the map backgrounds. 0. */
int MAP_latlon(float lat, float lon, int dt, int ex);
int MAP_get_latlon(float* lat, float* lon);
/* The map list used without resource "map_file" (at most 249 characters),
 * and the attributes of outline items without their own (at most 39). */
int MAP_file(const char* file);
int MAP_set_format(const char* str);
/* Point-data files of a map list ("rf:") are plotted by the data layer,
 * which lends its plotter here (src/hooks.cpp); without it they are
 * reported and skipped. A null member keeps what was set. 0. */
struct MAP_data_hooks {
  int (*plot_raw_file)(const char* file, int label);
  /* The map plot: point data analysed onto a grid, the station plot's
   * value range, and the contour layer's range and colour bar. */
  int (*grid_raw_file)(const char* file, int label);
  int (*get_range)(float* mx, float* mn);
  int (*set_range)(float max, float min);
  int (*get_bar)();
  int (*draw_bar)(int orient, const char* label);
  int (*set_type)(int type);
  int (*set_fill_colors)(const char* string, int flag);
};
int MAP_set_data_hooks(const MAP_data_hooks* hooks);
const MAP_data_hooks& MAP_get_data_hooks();

/* A complete map plot of a domain (also the zoom and resize function it
 * registers); 0. MAP_callback is its window event callback. */
int MAP_plot(Domain* domain);
void MAP_callback(int type, char* str, float x, float y);

/* ------------------------------------------------------------------------ */
/* plt_tool: plot frame: open, reset, panels, close, dumps, plot parameters */
/* ------------------------------------------------------------------------ */

struct Glim;

/* Image dump kinds of PLT_set_dump. */
inline constexpr int PLT_DUMP_NONE = 0;
inline constexpr int PLT_DUMP_XWD = 1;
inline constexpr int PLT_DUMP_GIF = 2;
inline constexpr int PLT_DUMP_IMG = 3;
inline constexpr int PLT_DUMP_PNG = 4;
/* PLT_dump's frame for every animation frame. */
inline constexpr int PLT_DUMP_ALL_FRAMES = -4;
/* Room of the dump template (characters beyond it are cut) and of a
 * workstation message of PLT_mess. */
inline constexpr int PLT_DUMP_FILE_LEN = 160;
inline constexpr int PLT_MESS_LEN = 80;

/* The plot: -1 (nothing opened) when plot-part switch 12 is off or the plot
 * type is 99, else 0. */
int PLT_open(float aspect);
int PLT_reset(float aspect);
int PLT_panel(float aspect);
int PLT_close();
[[noreturn]] void PLT_exit(int val);
int PLT_mess(const char* mess, ...) __attribute__((format(printf, 1, 2)));
int PLT_border(int val);
int PLT_get_border();
/* Page margins of the plot area, fractions of the panel. */
int PLT_set_view_offset(float offset);
int PLT_set_view_offsets(float xn, float xx, float yn, float yx);
float PLT_get_view_offset();
int PLT_get_view_offsets(Glim* view);
/* The current plot area on the page. 0. */
int PLT_get_view(Glim* view);
/* The label style: -2 minimal, -1 simple, 0 normal, 1 complete. */
int PLT_get_work_type();
int PLT_set_dump(int type, const char* filename);
int PLT_get_dump();
int PLT_dump(int frame);
int PLT_param_decode();

/* Interactive control. The plotter's event callback hands every event to
 * PLT_print_values, PLT_plot_zoom and PLT_plot_resize; zoom, resize and
 * refresh re-run the registered plot function with a domain. */
using PLT_event_func = void (*)(int kind, char* event, float x, float y);
using PLT_plot_func = int (*)(Domain* domain);
/* Seconds between refreshes that the surface program asks for. */
inline constexpr int PLT_REFRESH_PERIOD = 60;
int PLT_set_callback(PLT_event_func func);
int PLT_set_zoom_func(PLT_plot_func func);
int PLT_set_resize_func(PLT_plot_func func);
int PLT_set_refresh_func(int sec, PLT_plot_func func);
int PLT_set_zoom(int val);
int PLT_get_zoom();
int PLT_set_bar(int val);
int PLT_bar();
int PLT_get_full_lab();
int PLT_print_location(const char* event, float x, float y);
int PLT_print_values(const char* event, float x, float y);
int PLT_plot_zoom(const char* event, float x, float y);
int PLT_plot_resize(const char* event, float x, float y);
int PLT_plot_refresh();
int PLT_panel_decode(const char* str);

/* The plot frame reads and sets switches of the grid store, contouring and
 * the GRIB decoder, which lie above the map layer: each of those layers
 * lends its functions here when its module is linked (a null entry is the
 * least behaviour: nothing set, nothing printed, switches 0). */
struct GRD_report;
struct PLT_grid_hooks {
  GRD_report* (*get_grid)(int ind);
  int (*find_param_grids)(int start, int num, int level, GRD_report** grds, float* values);
  int (*print_value)(float x, float y, const GRD_report* grid);
  int (*print_value2)(float x, float y, const GRD_report* grid1, const GRD_report* grid2);
  int (*edit_value)(const char* str, float x, float y, GRD_report* grid);
  int (*set_grid_factor)(int fact);
  int (*set_format)(const char* str);
  int (*use_hdr_file)(int val);
};
struct PLT_cont_hooks {
  int (*get_bar)();
  int (*set_bar)(int value);
  int (*set_bar_range)(float max, float min);
  int (*set_skip)(int x, int y);
  int (*set_plot_offset)(float x, float y);
  int (*get_vect)();
};
struct PLT_grib_hooks {
  int (*set_max_bad)(int val);
};
/* The variable table's count, names and record classes, which the value
 * read-out walks; lent by the variable layer, which lies above the map. */
struct PLT_var_hooks {
  int (*get_num)();
  const char* (*get_name)(int ind);
  int (*is_PLOT)(int ind);
  int (*is_COMP)(int ind);
  int (*is_type_MAP)(int ind);
  int (*is_type_VECT)(int ind);
  int (*is_type_CONT)(int ind);
  int (*is_plot_CONT)(int ind);
};
/* Any member left null keeps what was registered before. 0. */
int PLT_set_grid_hooks(const PLT_grid_hooks* hooks);
int PLT_set_cont_hooks(const PLT_cont_hooks* hooks);
int PLT_set_grib_hooks(const PLT_grib_hooks* hooks);
int PLT_set_var_hooks(const PLT_var_hooks* hooks);
/* The colour-bar and vector-legend switches through those hooks (0 when
 * contouring is not linked). */
int PLT_cont_get_bar();
int PLT_cont_get_vect();

/* ------------------------------------------------------------------------ */
/* plt_labl: corner labels and overlays                                     */
/* ------------------------------------------------------------------------ */

/* Positions: 0 upper left, 1 upper centre, 2 upper right, 3 lower left,
 * 4 lower centre, 5 lower right; overlays 0 to 5. */
inline constexpr int PLT_NUM_LABELS = 6;
inline constexpr int PLT_NUM_OVERLAYS = 6;
/* A label text holds at most this many characters; longer ones are cut. */
inline constexpr int PLT_LABEL_MAX = 69;
/* PLT_label_format writes at most PLT_FORMAT_LEN - 1 characters. */
inline constexpr int PLT_FORMAT_LEN = 80;
/* Label types (PLT_set_label_type). */
inline constexpr int PLT_LAB_MIN = -2;
inline constexpr int PLT_LAB_SIMP = -1;
inline constexpr int PLT_LAB_NORM = 0;
inline constexpr int PLT_LAB_COMP = 1;

int PLT_init_labels();
int PLT_set_num_overlay(int ind);
int PLT_set_overlay(int ind);
int PLT_get_overlay();
int PLT_set_overlay_base(int ind);
int PLT_get_overlay_base();
int PLT_next_overlay();
int PLT_get_num_over();
int PLT_get_label_type();
int PLT_set_label_type(int val);
int PLT_label_strcpy(int lab, const char* str);
int PLT_label_strcat(int lab, const char* str);
/* The text of label position lab of overlay over; empty when none. */
const char* PLT_get_label(int lab, int over);
int PLT_label_up_left(const char* str);
int PLT_label_up_center(const char* str);
int PLT_label_up_right(const char* str);
int PLT_label_low_left(const char* str);
int PLT_label_low_center(const char* str);
int PLT_label_low_right(const char* str);
int PLT_label_date(const Date* datim);
int PLT_label_for_time(long int val);
/* str holds PLT_FORMAT_LEN bytes. */
int PLT_label_format(const char* form, char* str);
std::string PLT_label_format(const char* form);
int PLT_labels();

/* ------------------------------------------------------------------------ */
/* region: domain texts, regions and the region prompt              */
/* ------------------------------------------------------------------------ */

/* Results of DOM_decode. */
inline constexpr int DOM_DECODED = 1;  /* a domain text */
inline constexpr int DOM_REGION = 2;   /* a region of a region file or a built-in one */
inline constexpr int DOM_INVALID = -1; /* nothing decodes it */
/* -9999 (KEZ_MISS): no domain text */

/* Item codes of a domain text layout (DOM_set_params); 0 ends a layout. */
inline constexpr int DOM_ITEM_PROJ = 1;
inline constexpr int DOM_ITEM_PLON = 3;
inline constexpr int DOM_ITEM_STATION = 4;
inline constexpr int DOM_ITEM_CLAT = 5;
inline constexpr int DOM_ITEM_CLON = 6;
inline constexpr int DOM_ITEM_NX = 7;
inline constexpr int DOM_ITEM_NY = 8;
inline constexpr int DOM_ITEM_DX = 9;
inline constexpr int DOM_ITEM_DY = 10;
inline constexpr int DOM_ITEM_REGION = 11;

/* The region menu: entry 0 the return entry, at most DOM_MENU_REGIONS
 * regions, then the entry without a name. */
inline constexpr int DOM_MENU_SIZE = 23;
inline constexpr int DOM_MENU_REGIONS = 19;
/* DOM_search_file's answer buffer holds DOM_SPEC_LEN bytes. */
inline constexpr int DOM_SPEC_LEN = 80;

/* Fills a domain from a text: 1 a domain text, 2 a region,
 * -9999 none, -1 invalid. */
int DOM_decode(const char* str, Domain* domain);
/* Tries one layout of up to eight item codes on the items: 0 on a match,
 * -1 when the counts differ, else the code of the item that failed. */
int DOM_set_params(int paramc, char* const* paramv, Domain* domain, int i1, int i2 = 0, int i3 = 0, int i4 = 0,
                   int i5 = 0, int i6 = 0, int i7 = 0, int i8 = 0);
int DOM_proj_str(const char* proj);
int DOM_get_def_region(const char* region, Domain* domain);
/* The domain text of abbreviation str (any entry for a null str) in a
 * region file under "file_path", into domstr (DOM_SPEC_LEN bytes): 1, or 0. */
int DOM_search_file(const char* file, const char* str, char* domstr);
int DOM_read_menu(const char* file);
int DOM_print_file(const char* file);
int DOM_get_region(Domain* domain, int flag);
int DOM_get_grid_domain(Domain* domain);
int DOM_prompt_region(Domain* domain, int flag);
int DOM_set_prompt_region(int val);
const char* DOM_get_region_name(int region);
int DOM_print(M_type mess, const Domain* domain);

/* Station priorities: stations of priority up to DOM_get_prior() are
 * plotted; reported stations that carry their own position use the
 * location priority. */
int DOM_set_base_prior(float size);
int DOM_set_prior(int prior);
int DOM_get_prior();
int DOM_set_loc_prior(int prior);
int DOM_get_loc_prior();

/* ------------------------------------------------------------------------ */
/* calc: meteorological formula library                                     */
/* ------------------------------------------------------------------------ */

/* Units: K, mb, g/kg, percent, m/s, m, km. The failure result is -9999
 * unless a line says 0. "t or e" arguments read a value of 100 or less as a
 * vapour pressure (mb); "td or w" arguments as a mixing ratio (g/kg). */

/* Potential temperature (K) of a temperature (K) at a pressure (mb);
 * -9999 when either is not positive. */
float pot_temp(float temp, float pr);
/* Great-circle distance in km between two points given in degrees. */
float calc_earth_dist(float lat1, float lon1, float lat2, float lon2);

/* Saturation vapour pressure over water (mb); 0 below 100 K. */
float vapor_pr(float t);
/* Temperature whose saturation vapour pressure is e; 0 when e <= 0. */
float temp_vapor_pr(float e);
/* Mixing ratio and specific humidity of t or e at pr; 0 when either is not
 * positive, -9999 when either is missing or e reaches pr. */
float mix_ratio(float temp, float pr);
float spec_hum(float temp, float pr);
/* Relative humidity of two temperatures, or of two vapour pressures. */
float rel_hum(float t, float td);
/* Dew point of a temperature and relative humidity (held within 2..100). */
float dew_temp(float temp, float rh);
float virt_temp(float temp, float dewp, float pr);     /* dewp: td or w */
float virt_pot_temp(float temp, float dewp, float pr); /* dewp: td or w */
/* Adiabats: temperature at pr on a dry adiabat (0 on failure), on a
 * saturated adiabat of equivalent potential temperature pot, and the
 * equivalent potential temperature of saturated air at (temp, pr) (0 on
 * failure); the temperature at which w saturates at pr (0 on failure). */
float temp_on_dryad(float pot, float pr);
float temp_on_satad(float pot, float pr);
float thetae_on_satad(float temp, float pr);
float temp_on_mixrat(float w, float pr);
/* Lifting condensation level: its pressure, and its temperature at pl
 * (0 on failure). */
float lcl_pres(float ts, float tds, float ps);
float lcl_temp(float ts, float ps, float pl);
/* Convective temperature at pr for a mean mixing ratio wbar and a
 * convective condensation level pc (0 on failure). */
float conv_temp(float wbar, float pc, float pr);
float eq_pot_temp(float temp, float dewp, float pr);
float wet_bulb(float temp, float dewp, float pr);          /* 0 for dewp 0 */
float wet_bulb_pot_temp(float temp, float dewp, float pr); /* 0 for dewp 0 */
/* Wind chill: temperature (K), cooling power (W/m^2), and the temperature
 * of the 2001 index (K). */
float wind_chill_temp(float temp, float ws);
float wind_chill(float temp, float ws);
float wind_chill_temp2(float temp, float ws);
float heat_index(float temp, float dewp);     /* K */
float humiture(float temp, float dewp);       /* degrees F */
float temp_hum_index(float temp, float dewp); /* in the arguments' unit */
/* Station pressure from an altimeter setting (mb) and elevation (m). */
float sfc_pr_alt(float alt, float el);
/* Pressure altitude (m) of a pressure. */
float pres_alt(float pres);
/* Value at pr, linear in ln p between (p1, t1) and (p2, t2); the one value
 * present when the other is missing. */
float interp_temp(float t1, float t2, float p1, float p2, float pr);

/* ------------------------------------------------------------------------ */
/* var_tool: variable records, the variable-string parser, codes and tables  */
/* ------------------------------------------------------------------------ */

/* One parsed variable of the variable string. The parser owns a table of
 * VAR_MAX_RECORDS of them; -9999 in an int field means unset. */
inline constexpr int VAR_MAX_RECORDS = 60;
struct VAR_data {
  int type;         /* plot-type code; -9999 unset */
  char name[20];    /* name as written (up to 19 characters), or "map", "plot",
                       "frame", "panel" */
  char units[15];   /* units as written (up to 14 characters); empty when none */
  int var[5];       /* parameter numbers; var[0] with the ensemble offsets added */
  int tstat;        /* time: 0 not given, 1 inherited or default, 2 written */
  int time;         /* time code: operation * 1000000 + start * 1000 + end hour */
  char tunits[5];   /* time units (the parser neither sets nor reads it) */
  int lstat;        /* level: coded like tstat */
  int ltype;        /* level type */
  int level;        /* level code (layers: top * 1000 + bottom) */
  char lunits[5];   /* level units (the parser neither sets nor reads it) */
  char format[101]; /* the item's remaining options joined by ":" (up to 100) */
  int flag;         /* function depth * 10 + record kind */
};

/* Record kinds: the flag of a record modulo 10 (the flag is the function
 * depth times 10 plus the kind). */
enum VAR_kind {
  VAR_KIND_REG = 0,         /* plain variable outside groups and vectors */
  VAR_KIND_SUBREG = 1,      /* plain variable inside a group or vector */
  VAR_KIND_FUNC = 2,        /* function header 'name( ... )' */
  VAR_KIND_SUBFUNC = 3,     /* set only through VAR_set_flag */
  VAR_KIND_ITEM = 4,        /* "map", "plot", "frame", "panel" (flag exactly 4) */
  VAR_KIND_COMP = 5,        /* group header 'name{ ... }' */
  VAR_KIND_VECT = 6,        /* vector header 'name< ... >' */
  VAR_KIND_FUNC_VECT = 8,   /* second output of a vector-valued function */
  VAR_KIND_SUBFUNC_VECT = 9 /* set only through VAR_set_flag */
};

/* Plot-type codes of VAR_data::type. 10 to 17 are the contour class, 20 to
 * 23 the vector class, 10 to 23 together the grid types. */
enum VAR_plot_type {
  VAR_TYPE_DATA = 1,
  VAR_TYPE_VALUE = 2, /* the default type of a station datum */
  VAR_TYPE_TEXT = 3,
  VAR_TYPE_MARK = 4,
  VAR_TYPE_INT = 5,
  VAR_TYPE_MAP = 6,
  VAR_TYPE_FRAME = 7,
  VAR_TYPE_PANEL = 8,
  VAR_TYPE_GRID = 10,
  VAR_TYPE_CONT = 11,
  VAR_TYPE_LCONT = 12,
  VAR_TYPE_DLN = 13,
  VAR_TYPE_NDLN = 14,
  VAR_TYPE_FCONT = 15,
  VAR_TYPE_BCONT = 16,
  VAR_TYPE_GVALUE = 17,
  VAR_TYPE_WIND = 20,
  VAR_TYPE_VECT = 21,
  VAR_TYPE_BARB = 22,
  VAR_TYPE_STRM = 23,
  VAR_TYPE_PLOT = 30,
  VAR_TYPE_CLOUD = 31,
  VAR_TYPE_WBARB = 32,
  VAR_TYPE_CBARB = 33,
  VAR_TYPE_DBARB = 34,
  VAR_TYPE_VBARB = 35,
  VAR_TYPE_SYMB = 36,
  VAR_TYPE_LINE = 37,
  VAR_TYPE_CONST = 40,
  VAR_TYPE_NONE = 99 /* as the plot-type flag: nothing is drawn */
};

/* Level types with a meaning of their own in the codes (GRIB edition 1). */
enum VAR_level_type {
  VAR_LEV_NONE = 0,
  VAR_LEV_SFC = 1,
  VAR_LEV_DASH = 9,   /* the level field '-' */
  VAR_LEV_PRES = 100, /* mb */
  VAR_LEV_PLYR = 101, /* layer, parts in tens of mb */
  VAR_LEV_MSL = 102,
  VAR_LEV_HGT = 103,  /* m above sea level */
  VAR_LEV_HLYR = 104, /* layer, parts in hundreds of m */
  VAR_LEV_AGL = 105,  /* m above ground */
  VAR_LEV_ALYR = 106, /* layer, parts in hundreds of m */
  VAR_LEV_SIG = 107,  /* sigma times 10000 */
  VAR_LEV_SLYR = 108,
  VAR_LEV_HYB = 109,
  VAR_LEV_BG = 111, /* cm below ground */
  VAR_LEV_BGLYR = 112,
  VAR_LEV_THETA = 113, /* K */
  VAR_LEV_TLYR = 114,
  VAR_LEV_PAG = 115, /* mb above ground */
  VAR_LEV_PAGLYR = 116,
  VAR_LEV_PV = 117,
  VAR_LEV_ETA = 119, /* eta times 10000 */
  VAR_LEV_ELYR = 120
};

/* Tracing of the parser (debug sub-level) and its warnings. */
inline constexpr M_type VAR_TRACE = 0x40000000;
inline constexpr M_type VAR_WARN = 0x40;
/* The inheritance stack: entry 0 and nine nested headers or expansions. */
inline constexpr int VAR_STACK_DEPTH = 10;
/* The field widths of VAR_data (characters, without the terminator). */
inline constexpr int VAR_NAME_LEN = 19;
inline constexpr int VAR_UNITS_LEN = 14;
inline constexpr int VAR_FORMAT_LEN = 100;

/* The variable-string parser. VAR_setup parses a whole list ("fi:file:"
 * first names a definition file) into the table and gives 1 when records
 * were made; a list that had to be refused or cut says so at the warning
 * level. VAR_process parses one span, VAR_process_var one item into the
 * record at the count (0, or -1 when the item was refused). */
int VAR_setup(const char* filename, const char* var_str);
int VAR_init();
int VAR_data_init(VAR_data* data);
int VAR_copy(VAR_data* dat2, const VAR_data* dat1);
int VAR_reset();
int VAR_get_num();
int VAR_set_num(int num); /* 0, or -1 outside 0 to VAR_MAX_RECORDS */
int VAR_set_def_type(int val);
/* The table and one record (null outside the table). */
VAR_data* VAR_get_vars();
VAR_data* VAR_get_var(int ind);
int VAR_process(const char* str);
int VAR_process_var(const char* str, int flag);
int VAR_base_push(); /* 0, or -1 when the stack is full */
/* The definition of a name from the open definition file (blanks removed,
 * continuation lines joined): 1 with the text in def, else 0. */
int VAR_lookup(const char* name, std::string* def);

/* The calculator's name tests, registered by the grid layer: whether a
 * function gives two output grids, and the plot type of a function's
 * result (0 for no such function). Without them no name is a function. */
using VAR_name_test = int (*)(const char*);
int VAR_set_func_tests(VAR_name_test vect_func, VAR_name_test math_func);

/* Field decoders. VAR_dec_time and VAR_dec_level give 0 (not a time), 1
 * (inherited or default), 2 (written), or -1 for a field that is a time or
 * level form whose code cannot be held (an hour outside 0 to 999, a value
 * beyond the int range, a layer part that does not fit its three digits)
 * or, for levels, a field of no form; -1 writes nothing and warns. */
int VAR_dec_time(const char* str, int* time);
int VAR_dec_level(const char* str, int* ltype, int* level);
int VAR_dec_units(const char* str, VAR_data* data);
int VAR_dec_type(const char* str);
const char* VAR_print_type(int type);
int VAR_dec_format(const char* str, VAR_data* data);
int VAR_get_level(int ltype, int level, float* l1, float* l2);
int VAR_enc_level(int coord, float l1, float l2, int* ltype, int* level);
/* The parameter numbers of a name: var[0] (1 for a constant "#...", 0 for
 * an empty name, -9999 with the numbers unset when an ensemble or
 * probability code cannot be held). */
int VAR_dec_var(const char* str, VAR_data* data);

/* The definition file ("%s.var" of the program name when file is null or
 * empty, on "file_path"): 1, or 0 when it cannot be read. */
int VAR_open_file(const char* file);
/* The variable table "variable.lup" on "file_path": 1, 0 when it cannot be
 * opened (tried again on the next use). */
int VAR_read_varfile();
int VAR_search_var_num(const char* str);
int VAR_param_decode();
int VAR_print(M_type lev, const VAR_data* data);

/* The definition file as the variable menu. Entries whose display
 * condition holds against the current model, forecast-time and level texts
 * (at most VAR_CONTEXT_LEN - 1 characters each) are shown, at most
 * VAR_MENU_ENTRIES of them; VAR_menu asks (or in batch mode takes the first
 * entry, else "def") and leaves the answer in string, which holds
 * MENU_STRING_LEN bytes. */
inline constexpr int VAR_MENU_ENTRIES = 48;
inline constexpr int VAR_CONTEXT_LEN = 20;
int VAR_read_menu();
int VAR_menu(const char* title, const char* prompt, char* string, int flag);
int VAR_menu_display(const char* fstr, const char* ustr);
int VAR_print_file();
/* The menu name field (as written) of an abbreviation: 1, or 0. name holds
 * len bytes; a longer name is cut. */
int VAR_search_name_file(const char* str, char* name, int len);
int VAR_set_model_str(const char* str);
int VAR_set_level_str(const char* str);
int VAR_set_time_str(const char* str);
const char* VAR_get_model_str();
const char* VAR_get_level_str();
const char* VAR_get_time_str();

/* Names of parameters and data sources. Each writes into str, which holds
 * len bytes (longer texts are cut), and returns str. VAR_str takes the base
 * parameter of ensemble and probability codes; VAR_source returns null
 * (str empty) when "source.lup" cannot be opened. */
char* VAR_str(char* str, int variable, const char* units, int len);
char* VAR_abbr(char* str, int variable, int len);
char* VAR_source(char* str, int source, int len);

/* Accessors and predicates of the records. An index outside the table
 * gives null, an empty text, -9999 or false; the setters then give 0. */
const char* VAR_get_name(int ind);
const char* VAR_get_units(int ind);
const char* VAR_get_format(int ind);
int VAR_get_type(int ind);
int VAR_get_time(int ind);
int VAR_get_flag(int ind);
/* The level and time codes as key texts; each call overwrites the text. */
const char* VAR_get_level_key(int ind);
const char* VAR_get_time_key(int ind);
int VAR_set_type(int ind, int val);
int VAR_set_flag(int ind, int val);
int VAR_is_REG(int ind);
int VAR_is_SUBREG(int ind);
int VAR_is_FUNC(int ind);
int VAR_is_SUBFUNC(int ind);
int VAR_is_COMP(int ind);
int VAR_is_VECT(int ind);
int VAR_is_SUBFUNC_VECT(int ind);
int VAR_is_FUNC_VECT(int ind);
int VAR_is_CALC(int ind);
int VAR_is_SUBCALC(int ind);
int VAR_is_LABEL(int ind);
int VAR_is_PLOT(int ind);
int VAR_is_SUBPLOT(int ind);
int VAR_is_DATA(int ind);
int VAR_is_plot_VECT(int ind);
int VAR_is_plot_FUNC(int ind);
int VAR_is_plot_FUNC_VECT(int ind);
int VAR_is_plot_PLOT(int ind);
int VAR_is_plot_GRID(int ind);
int VAR_is_subplot_GRID(int ind);
int VAR_is_type_MAP(int ind);
int VAR_is_FRAME(int ind);
int VAR_is_PANEL(int ind);
int VAR_is_type_PLOT(int ind);
int VAR_is_type_GRID(int ind);
int VAR_is_type_CONT(int ind);
int VAR_is_plot_CONT(int ind);
int VAR_is_type_VECT(int ind);
int VAR_is_calc_GRID(int ind);
int VAR_is_fit_GRID(int ind);
int VAR_is_get_GRID(int ind);

/* Labels in the label style of the plot frame. Every builder empties str
 * first and writes at most len - 1 characters. VAR_time and VAR_level give
 * the short texts of the variable string, which the decoders read back. */
int VAR_make_datalevel(int time, int ltype, int level, char* str, int len);
int VAR_make_datatype(int time, int ltype, int level, int variable, const char* units, char* str, int len);
int VAR_make_var_datatype(int ind, char* str, int len);
int VAR_make_var_form_datatype(int ind, char* str, int len);
int VAR_make_vardata_form_datatype(const VAR_data* var, char* str, int len);
int VAR_make_devtype(int time, int ltype, int level, const char* variable, const char* units, char* str, int len);
char* VAR_time(char* str, int time, int len);
char* VAR_level(char* str, int ltype, int level, int len);
int VAR_print_all(M_type lev);
int VAR_print_info(M_type lev, const VAR_data* data);

/* The name of a model number from "mod_name.lup" under "file_path"; a
 * number above 1000 is source * 1000 + model. Empty when no line lists it.
 * The C form writes at most VAR_MODEL_LEN - 1 characters and returns str,
 * or null (str untouched) when the table cannot be opened; the std::string
 * form takes names of any length and returns 0, or -1 likewise. */
inline constexpr int VAR_MODEL_LEN = 80;
char* VAR_model(char* str, int rmod);
int VAR_model(std::string* name, int rmod);

/* ------------------------------------------------------------------------ */
/* data: the data pipeline's source record, station store and gridding       */
/* ------------------------------------------------------------------------ */

struct CTY_locate;
struct RAW_data;
struct GRD_report;
struct GRD_info;

/* A source of point observations as the pipeline sees it. The source owns
 * report; the pipeline hands it back to read_report and get_data. */
struct DATA_info {
  int plot;                      /* current animation frame, 0 for the first file */
  int model;                     /* model of the grids' time labels; -9999 is taken as 1 */
  Date date;                     /* date of the data: names output files, dates grids */
  int (*out_raw)();              /* sets the raw output convention; nonzero: write raw output; may be null */
  int (*out_grid)();             /* sets the grid file convention; the grid file type to write, 0 none */
  Domain domain;                 /* plot domain; report positions are in its plot units */
  Domain grd_domain;             /* analysis grid's domain, set by DATA_setup_grid */
  void* report;                  /* the source's own report record */
  int (*get_var)(VAR_data* var); /* default units; may be null */
  int (*read_report)(void* report, CTY_locate* loc);            /* <0 end, 0 skip, >0 use */
  int (*rewind)();                                              /* back before the first report */
  int (*get_data)(void* report, VAR_data* var, RAW_data* data); /* one datum */
  int (*plot_data)(int ind);                                    /* nonzero: drawn by the source; may be null */
  int (*grid_data)(DATA_info* data);                            /* the source's gridding step */
  void (*callback)(int type, char* str, float x, float y);      /* window events of the plotters */
};

/* Capacity of a fresh station store, its growth step, and the most
 * stations it ever holds (beyond that a store refuses to grow). */
inline constexpr int DATA_DEF_LIMIT = 800;
inline constexpr int DATA_GROW = 400;
inline constexpr int DATA_MAX_STATIONS = 4000000;
/* Fields of the store: one per entry of the variable table. */
inline constexpr int DATA_MAX_FIELDS = VAR_MAX_RECORDS;

/* The station store. Results 0, or -1 (with a message) for an index outside
 * the store, a dimension outside 1 to 3, or a store that cannot grow. */
int DATA_init(int lim, int dim);
int DATA_add_field(int fld, const VAR_data* vardata);
int DATA_chk_field(int fld);
/* The coordinates follow as doubles: x, then y (dimension 2 or more), then
 * z (dimension 3). sta may be at most the capacity, which then grows. */
int DATA_add_loc(int sta, ...);
int DATA_add_raw(int sta, int fld, const RAW_data* data);
int DATA_get_raw(int sta, int fld, RAW_data* data); /* 1, or 0 outside the store */
int DATA_get_num_stats();
int DATA_inc_num_stats(int inc);
int DATA_print();
int DATA_free();

/* Gridding. */
int DATA_new_grid();
int DATA_fit_grid(DATA_info* data);
int DATA_setup_grid(DATA_info* data); /* 1 when a field is to be analysed */
int DATA_get_data(DATA_info* data);   /* 0, or -1 when the store could not hold the reports */
int DATA_object_analyze();            /* 0, or -1 when there was nothing sound to analyse */
int DATA_save_grid(DATA_info* data);

/* The grid store that the pipeline fills lives in a higher layer, which
 * registers these operations (the grid layer does so when it is linked).
 * Without them the gridding steps report it and do nothing. */
struct DATA_grid_ops {
  GRD_report* (*get_grid)(int ind);
  int (*set_grid_domain)(int ind, const Domain* dom);
  int (*alloc_grid)(int ind);
  int (*free_grid)(GRD_report* grid);
  int (*set_grid_info)(int ind, const char* str);
  int (*set_var)(int ind);
  int (*set_grid_date)(int ind, const Date* date, const char* str);
  int (*read_check)(const char* filename, GRD_report* grid, GRD_info* info, int* type, const Domain* domain);
  int (*save_file)(const char* filename, GRD_report* grid, const GRD_info* info, int type);
};
int DATA_set_grid_ops(const DATA_grid_ops* ops);

/* ------------------------------------------------------------------------ */
/* data_plt: drawing one frame from a data source                           */
/* ------------------------------------------------------------------------ */

/* Frames and panels; each returns 0. */
int DATA_plot_init();
int DATA_plot_start();
int DATA_plot_begin();
int DATA_plot_end();
int DATA_new_frame();
int DATA_map_underlay();
int DATA_map_overlay();
/* Records: the index of the last record consumed (ind when none). */
int DATA_plot_grid(int ind, DATA_info* data);
int DATA_plot_raw(int ind, DATA_info* data);
/* 0, or -1 when ind is past the last record. */
int DATA_plot_map(int ind);
int DATA_plot_control(int ind, Domain* domain);
int DATA_plot_panel(int ind, Domain* domain);
int DATA_plot_cont(int ind, DATA_info* data, const char* form);
/* units: null, a units text to convert both grids to, or an empty
 * variable units field that gets the first grid's units. */
int DATA_plot_vect(int ind, DATA_info* data, char* units, const char* form);
int DATA_plot_bar();      /* 0, or -1 when nothing was drawn */
int DATA_plot_vect_bar(); /* 0, or -1 when nothing was drawn */
int DATA_plot_raw_label(int beg, int end, DATA_info* data);
int DATA_set_site(int val);
int DATA_set_dist(float val);

/* The contour and vector plotters and the grid store sit above the
 * pipeline; they lend it these calls. A null call draws nothing. */
struct DATA_plot_hooks {
  int (*cont_plot_setup)(int plot, int ind, GRD_report* grid, Domain* domain, void (*call)(int, char*, float, float));
  int (*cont_draw)(GRD_report* grid);
  int (*cont_get_type)();
  int (*cont_get_bar)();
  int (*cont_draw_bar)(int orient, const char* label);
  int (*vect_set_type)(int type);
  int (*vect_set_format)(int type, const char* format);
  int (*vect_plot_setup)(int plot, int ind, GRD_report* ugrid, GRD_report* vgrid, Domain* domain,
                         void (*call)(int, char*, float, float));
  int (*vect_draw)(GRD_report* ugrid, GRD_report* vgrid);
  int (*vect_get_vect)();
  int (*vect_draw_vect)();
  GRD_report* (*get_grid)(int ind);
  int (*find_param_grids)(int start, int num, int level, GRD_report** grds, float* values);
  int (*grid_units)(GRD_report* grid, const char* unit_out);
  int (*is_plot_func)(const char* str);
  const char* (*get_grid_info)(int ind);
};
int DATA_set_plot_hooks(const DATA_plot_hooks* hooks);

/* ------------------------------------------------------------------------ */
/* object: objective analysis of station values onto grids                  */
/* ------------------------------------------------------------------------ */

int OBJ_initialize();
int OBJ_set_filter(float fil);
int OBJ_set_rad_inf(float rad);
int OBJ_set_num_pass(int pass);
int OBJ_set_converg(float conv);
int OBJ_set_min_sta(int min);
int OBJ_set_miss_val(float val);
int OBJ_decode_params();
int OBJ_decode_format(const char* fmt);
/* Successive corrections of fields z[0..num_fields-1] (null: not analysed)
 * of numdata stations at plot positions x, y (turned into grid coordinates
 * in place) into the store slots grid[f]; the geometry is slot 0's. */
int OBJ_analyze(float* x, float* y, float** z, int numdata, int num_fields, GRD_report* grid);

/* How OBJ_analyze finds the stations of a grid point: each station adds
 * itself to the grid points within its radius of influence (the default),
 * or each grid point visits every station. Both give the same values; the
 * direct way is kept for comparison. */
inline constexpr int OBJ_SEARCH_BINNED = 0;
inline constexpr int OBJ_SEARCH_DIRECT = 1;
int OBJ_set_search(int mode); /* the previous mode */

/* ------------------------------------------------------------------------ */
/* def_read: defaults files and environment names of resources              */
/* ------------------------------------------------------------------------ */

/* Room of the C-style buffers: a name field, a value and an environment
 * value are cut to one less than these. The std::string forms take texts
 * whole. */
inline constexpr int DEF_NAME_LEN = 64;
inline constexpr int DEF_VALUE_LEN = 200;
inline constexpr int DEF_ENV_LEN = 208;

int DEF_prog();
int DEF_name(const char* name);
int DEF_title(const char* name);
int DEF_clr_tag();
int DEF_tag(const char* str); /* 0, or -1 when ten tags are defined */
/* A defaults file, or the first "kez.cfg", ".kezdef" or "Kez.res" of a
 * directory; an empty name is ".kezdef". 0, or -1. */
int DEF_open(const char* filename);
/* The next active resource line: its lowered name field without a trailing
 * ":" and its value (a word, or the text in double quotes). 1, or -1 at the
 * end of the file. */
int DEF_get(char* resrc, char* value);
int DEF_get(std::string* resrc, std::string* value);
int DEF_close();
/* 1 when the pattern names the resource for this program. */
int DEF_cmp(const char* resrc, const char* string);
/* 1 when the pattern is meant for this program at all. */
int DEF_valid(const char* string);
/* The text after the last "." or "*" (without either, all but the first
 * character); ostr needs the length of str. 1. */
int DEF_parse_name(const char* str, char* ostr);
/* The value of "kez" + program (or title) + "." + name, then of env, then
 * of "kez" + name, whichever is set first: 1, or 0 when none is. */
int DEF_env(const char* resrc, const char* env, char* value);
int DEF_env(const char* resrc, const char* env, std::string* value);

#endif /* KEZ_H */
