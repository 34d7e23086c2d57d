/*
 * kez.h: the core header of the suite's runtime frame.
 *
 * Every module of the suite includes this header. It declares the shared
 * records (Date, Domain, MAP_limits, UPA_level, VECT, WIND), the message
 * levels, and the functions of the runtime frame, one section per module:
 * text toolkit, messages, flags, resources, processes and prompts, calendar,
 * file layer, pattern scanner, small tools, keyed table, units, menus, the
 * loop-window queue link and defaults files. At its end it includes the
 * two interfaces that every program of the suite calls beside the frame's:
 * kezmap.h (projections, regions, map backgrounds, the plot frame, labels)
 * and kezdata.h (formulas, variables, the data pipeline, objective
 * analysis), so that including kez.h gives all three.
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
#include <vector>

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
/* The words of a text, as white space separates them. */
std::vector<std::string> text_words(std::string_view text);
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
/* The domain converters decode through the geography layer, which
 * registers its decoder here (src/hooks.cpp); without one a domain is
 * reported as not available and left as it is. Returns the decoder
 * replaced. */
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
/* The date labels name models through the model table of the variable
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
  char* key;       /* copy of the key text, kept behind the record; null in an empty bucket head */
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
  void* pool;          /* the blocks the records, key copies and chained entries are cut from */
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

/* The layers above the frame that every program calls; each includes this
 * header first, so either order of inclusion declares everything. */
#include "kezdata.h"
#include "kezmap.h"

#endif /* KEZ_H */
