/*
 * kezdata.h: variables and the data pipeline: the meteorological formula
 * library (calc), variable records and the variable-string parser
 * (var_tool), the data pipeline's source record, station store and
 * gridding (data), drawing one frame from a data source (data_plt), and
 * objective analysis onto grids (object).
 *
 * kez.h includes this header at its end, so every module that includes
 * kez.h sees it; a module that includes it alone gets kez.h with it.
 */
#ifndef KEZDATA_H
#define KEZDATA_H

#include "kez.h"

#include <string>
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

#endif /* KEZDATA_H */
