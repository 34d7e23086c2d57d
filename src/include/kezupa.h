/*
 * kezupa.h: upper-air reports and the files that hold them.
 *
 * One decoded radiosonde report of one station is one UPA_report: 25 slots
 * of mandatory and special levels, up to 200 significant temperature levels
 * and up to 100 wind levels, every missing value -9999. The file module
 * (ua_read) keeps one upper-air file open per process, detects its layout,
 * reads and writes its header and reads its reports by index into the
 * record, from the text layouts and the netCDF layouts, and writes them in
 * every layout. The prompt layer and the printers (ua_tool) keep the
 * current file of a sounding program, ask for its station and level, and
 * print reports and single levels.
 */
#ifndef KEZUPA_H
#define KEZUPA_H

#include "kez.h"

/* Sizes of the report record. */
inline constexpr int UPA_ID_LEN = 11;   /* identifier texts with their terminator */
inline constexpr int UPA_NUM_MAN = 25;  /* mandatory and special slots */
inline constexpr int UPA_NUM_SIG = 200; /* significant temperature levels */
inline constexpr int UPA_NUM_WND = 100; /* wind levels */

/* Slots of UPA_report::man with a meaning of their own. */
enum UPA_slot {
  UPA_SLOT_SFC = 0, /* the surface */
  UPA_SLOT_1000 = 1,
  UPA_SLOT_925 = 2,
  UPA_SLOT_850 = 3,
  UPA_SLOT_10 = 16,    /* the last mandatory level, 10 hPa */
  UPA_SLOT_ABOVE = 17, /* 17 to 21: levels above 10 hPa */
  UPA_SLOT_ABOVE_END = 21,
  UPA_SLOT_TROP = 22, /* tropopause */
  UPA_SLOT_MAXW = 23  /* maximum wind */
};

/* File types (layouts). */
enum UPA_ftype {
  UPA_FT_NONE = 0,
  UPA_FT_OLD_SHORT = 1, /* old text, levels up to 500 hPa */
  UPA_FT_OLD_LONG = 2,  /* old text, levels up to 100 hPa */
  UPA_FT_FIXED = 3,     /* "KEZUPA": lists of 28 places */
  UPA_FT_OPEN = 4,      /* "KEZUPA+": open lists ended by "$" */
  UPA_FT_OPEN_LOC = 5,  /* "KEZUPAx": as 4, WMO number and location in the first word */
  UPA_FT_CDF = 11,      /* netCDF, record dimension "station", knots and feet */
  UPA_FT_CDF_SI = 12,   /* netCDF, record dimension "report", m/s and metres */
  UPA_FT_BINARY = 41,   /* binary station records, written only */
  UPA_FT_ELEMENT = 51   /* element (markup) file, written only */
};

/* File access of UPA_open. */
enum UPA_access { UPA_ACC_READ = 0, UPA_ACC_WRITE = 1 };

/* Read modes of UPA_read besides the slot numbers 0 (surface), 1 to 16,
 * 22 and 23 (one level, returned in man[0]). */
enum UPA_mode { UPA_REP_SFC = 0, UPA_REP_FULL = 30, UPA_REP_ID = 31, UPA_REP_LOCATION = 32 };

/* Unit factors of the netCDF layout with the record dimension "report". */
inline constexpr float UPA_MS_TO_KT = 1.944f;
inline constexpr float UPA_M_TO_FT = 3.2808f;
inline constexpr float UPA_KT_TO_MS = 0.5144f;
inline constexpr float UPA_FT_TO_M = 0.3048f;

/* Bytes of one binary station record (type 41) and of that file's header. */
inline constexpr int UPA_BIN_RECORD = 78;
inline constexpr int UPA_BIN_HEADER = 22;

/* A significant temperature level. */
struct UPA_sig {
  float p;  /* hPa */
  float t;  /* degrees Celsius */
  float td; /* degrees Celsius */
};

/* A significant wind level. */
struct UPA_wnd {
  float h;   /* feet above the ground; 0 is the surface wind */
  float dir; /* degrees from which the wind blows */
  float spd; /* knots */
};

/* One report of one station; -9999 (-9999.0) for every missing value. */
struct UPA_report {
  char id[UPA_ID_LEN];        /* station identifier */
  char area[UPA_ID_LEN];      /* region identifier (netCDF files only) */
  int wmo;                    /* WMO station number */
  float lat;                  /* degrees north */
  float lon;                  /* degrees east, negative west */
  float elev;                 /* m */
  int time;                   /* observation time */
  int type;                   /* report kind; left alone by the initialiser and the readers */
  UPA_level man[UPA_NUM_MAN]; /* slots: see UPA_slot; 1 to 16 are 1000 ... 10 hPa */
  int numman;                 /* 0 without mandatory data, else the layout's count */
  UPA_sig sig[UPA_NUM_SIG];   /* falling pressure */
  int numsig;
  UPA_wnd wnd[UPA_NUM_WND]; /* rising height */
  int numwnd;
};

/* The header of an open upper-air file. */
struct UPA_info {
  char datim[40];      /* the date label, at most 39 characters */
  char file[20];       /* short date code ("yymmddhh" attribute) */
  const char* cmdline; /* history text; not owned */
  Date date;           /* decoded from datim */
};

int UPA_initialize(UPA_report* report);
int UPA_mandatory(float p);

/* The coded groups PPhhh, TTTDD and dddff. The encoders leave the group in
 * a module buffer that UPA_encoded gives until the next encoding; their
 * missing marker follows the open file's layout ("X" in types 3 to 5,
 * "99999" otherwise). */
int decd_ph(const char* str, float* pres, float* hght);
int decd_td(const char* str, float* temp, float* dewpt);
int decd_wd(const char* str, float* dir, float* spd);
int encd_ph(float pres, float hght);
int encd_td(float temp, float dewpt);
int encd_wd(float dir, float spd);
const char* UPA_encoded();

/* Files. */
int UPA_chktype(const char* filename);
int UPA_open(const char* filename, int f_access, int* f_type);
int UPA_close(int cvt_fd);
int UPA_getinfo(int cvt_fd, UPA_info* info);
int UPA_putinfo(int cvt_fd, UPA_info* info);
int UPA_rewind(int cvt_fd);
int UPA_read(int cvt_fd, UPA_report* report, int rep_type, const int* statnum);
/* Appends one report in the open file's layout; the caller's record is
 * left as it was. Text and element files count *statnum up, netCDF files
 * write record *statnum. 0, or -1 when no file is open for writing or the
 * write fails. */
int UPA_write(int cvt_fd, const UPA_report* report, int rep_type, int* statnum);

/* The prompt layer: the current file, its stations and the level. */
int UPA_in_file();
int UPA_open_file(const char* filename); /* 1 opened, 0 not */
int UPA_rewind_file();
int UPA_close_file();
const char* UPA_get_datim();
int UPA_set_datim(const char* str); /* cut to 39 characters */
int UPA_set_date(const Date* datim);
int UPA_get_date(Date* datim);
int UPA_list_stations();
int UPA_read_station(UPA_report* report);
int UPA_get_station(const char* id, UPA_report* report);
int UPA_set_prompt(int val);
int UPA_prompt_station(UPA_report* report);
int UPA_set_prompt_level(int val);
int UPA_read_level_menu();
int UPA_prompt_level();

/* Printers. The report printers print missing values as -9999; a negative
 * significant or wind count prints no rows. The level printers take two
 * message levels: the short table at mess1, the extra columns at mess2. */
int UPA_print_locate(M_type mess, const UPA_report* report);
int UPA_print_report(M_type mess, const UPA_report* report);
int UPA_print_man(M_type mess, const UPA_report* report);
int UPA_print_sig(M_type mess, const UPA_report* report);
int UPA_print_wnd(M_type mess, const UPA_report* report);
int UPA_set_miss_dash();
int UPA_print_level(M_type mess1, M_type mess2, int ind, const UPA_level* level);
int UPA_print_wind(M_type mess1, M_type mess2, int ind, const UPA_level* level, const WIND* storm);

/* Soundings from report levels (ua_merge). The caller owns every array:
 * a temperature merge writes at most UPA_SM_MAX levels, a wind merge at
 * most UPA_WM_MAX, the array merges at most in1_num + in2_num. man_index
 * has UPA_NUM_MAN entries; 0 to 23 are written (the array index of each
 * slot's level, -9999 for none) and kept pointing at their levels through
 * every insertion and deletion. Traces go to M_debug_d. */
inline constexpr int UPA_SM_MAX = 1 + 21 + UPA_NUM_SIG + 2;
inline constexpr int UPA_WM_MAX = 22 + UPA_NUM_WND + 2;
/* Room the analysis keeps for one sounding. */
inline constexpr int UPA_MAX_LEVELS = 300;

int UPA_level_init(UPA_level* lev);
int UPA_sm_merge(const UPA_report* report, UPA_level* merge, int* man_index);
int UPA_wm_merge(const UPA_report* report, UPA_level* merge, int* man_index);
int UPA_sw_merge(const UPA_report* report, UPA_level* merge, int* man_index);
int UPA_merge_array(const UPA_level* in1, int in1_num, const UPA_level* in2, int in2_num, UPA_level* out);
int UPA_wnd_merge_array(const UPA_level* in1, int in1_num, const UPA_level* in2, int in2_num, UPA_level* out);
/* The surface level's pressure, 1000 when the table has no surface. */
float UPA_sfc_pres(const UPA_level* lev, const int* ind);

/* Vertical coordinates of soundings: level-type codes in three families.
 * Pressure (hPa, interpolated in ln p): 1 (the surface), 100, 101, 102,
 * 115, 116; height above sea level (m): 103 to 106; potential
 * temperature (K): 113, 114. */
enum UPA_coord {
  UPA_CO_SFC = 1,
  UPA_CO_PRES = 100,
  UPA_CO_PRES_LAYER = 101,
  UPA_CO_PRES_102 = 102,
  UPA_CO_HGT = 103,
  UPA_CO_HGT_LAYER = 104,
  UPA_CO_HGT_105 = 105,
  UPA_CO_HGT_106 = 106,
  UPA_CO_THETA = 113,
  UPA_CO_THETA_LAYER = 114,
  UPA_CO_PRES_115 = 115,
  UPA_CO_PRES_116 = 116
};

/* The result records of the parcel and wind-profile indices (ua_parcel,
 * ua_wind), kept by the analysis. */
struct THETAE_params {
  float index; /* largest fall of theta-e in one layer based at or below 700 hPa, K */
  float base;  /* hPa */
  float top;   /* hPa */
  float max;   /* largest theta-e met, K */
  float maxp;  /* hPa */
  float min;   /* smallest theta-e met, K */
  float minp;  /* hPa */
};

struct PARCEL_params {
  float Satad;  /* theta-e of the saturated adiabat through the LCL, K */
  float plcl;   /* lifting condensation level, hPa */
  float tlcl;   /* its temperature, K */
  float cap;    /* largest excess of environment over parcel below 500 hPa, degrees C */
  float lfc;    /* level of free convection, hPa; -1 none */
  float el;     /* equilibrium level, hPa */
  float mpl;    /* maximum parcel level, hPa */
  float Bel;    /* net buoyant energy up to the EL, J/kg */
  float Bmpl;   /* net buoyant energy up to the MPL, J/kg */
  float Bplus;  /* positive buoyant energy (CAPE), J/kg */
  float Bminus; /* inhibition below the LFC, positive, J/kg */
  float wmax;   /* maximum updraft, m/s */
};

struct HELICITY_params {
  float dir_shr;  /* turning of the storm-relative wind, -180 to 180 degrees */
  float pos_hel;  /* m^2/s^2 */
  float neg_hel;  /* m^2/s^2 */
  float tot_hel;  /* storm-relative helicity, m^2/s^2 */
  float ave_hel;  /* per metre of steps with winds, m/s^2 */
  float rel_hel;  /* streamwise over total vorticity */
  float hor_vort; /* mean horizontal vorticity, 1/s */
  float stm_vort; /* mean streamwise term, 1/s */
};

struct SHEAR_params {
  float pos_shr; /* shear of the veering steps, 1/s */
  float neg_shr; /* shear of the other steps, 1/s */
};

/* The sounding analysis (thm_tool): one current sounding per process.
 * The temperature and wind soundings are the caller's arrays, made current
 * without copying: the caller keeps them alive, with room for
 * UPA_MAX_LEVELS levels, for as long as they are current, and later
 * merges and reads write into whatever arrays are current. Before any
 * sounding the arrays are null, the counts 0 and the surface, tropopause,
 * maximum-wind and parcel levels missing in every field. The parcel
 * choice lasts from one sounding to the next. */
enum THERM_par {
  THERM_PAR_SFC = 1,   /* surface air */
  THERM_PAR_MIXED = 2, /* mixed layer of par_thick hPa above the surface */
  THERM_PAR_MAXT = 3,  /* surface air at the estimated maximum temperature */
  THERM_PAR_LEVEL = 5  /* the parcel level's pressure, temperature, dew point */
};

const char* THERM_get_id();
/* A null date takes the file layer's current date. */
int THERM_set_date(const Date* date);
int THERM_set_storm(const WIND* wind);
WIND THERM_get_storm();
UPA_level* THERM_get_SM();
int THERM_get_SM_num();
UPA_level* THERM_get_WM();
int THERM_get_WM_num();
UPA_level* THERM_get_sfc();
UPA_level* THERM_get_trop();
UPA_level* THERM_get_mwnd();
UPA_level* THERM_get_parcel();
int THERM_set_trop(const UPA_level* lev);
int THERM_set_mwnd(const UPA_level* lev);
int THERM_get_par_type();    /* a THERM_par */
float THERM_get_par_thick(); /* hPa */
/* The surface in a level type's coordinate: height, potential temperature
 * (K, missing without a temperature) or pressure. */
float THERM_get_sfc_level(int ltype);
/* Reads "page", "nopage" and "par..." items of "plot_param"; later items
 * override earlier ones. A parcel item starts from the surface level with
 * its temperature and dew point missing unless the item gives them; names
 * are cut to 19 characters. 0. */
int THERM_param();

/* The record of one sounding analysis; -9999 for what is missing. THERM_calc
 * fills every field but lat, lon, elev and par_lev; wmo comes from
 * THERM_set_id, the location from a caller through THERM_get_values. */
struct THERM_values {
  int wmo;
  float lat;     /* degrees */
  float lon;     /* degrees */
  float elev;    /* m */
  float plcl;    /* LCL of the surface air, hPa */
  float tlcl;    /* its temperature, K */
  float frz;     /* freezing level, hPa; -1 surface below freezing */
  float wb0;     /* wet-bulb zero, hPa; -1 below ground */
  float lapse57; /* 700-500 hPa lapse rate, degrees Celsius per km */
  float max_t;   /* estimated maximum temperature, degrees Celsius */
  float precip;  /* precipitable water, inches */
  float mean_rh; /* surface to 500 hPa, % */
  float thick;   /* 1000-500 hPa thickness, m */
  THETAE_params thetae;
  float ccl;  /* convective condensation level, hPa; -1 none */
  float wbar; /* mean mixing ratio of the lowest 100 hPa, g/kg */
  float ct;   /* convective temperature, K */
  float li;   /* lifted index, degrees Celsius */
  float cap;  /* cap strength, degrees Celsius */
  float si;   /* Showalter index, degrees Celsius */
  float tt;
  float k;
  float sweat;
  float ei;
  UPA_level par_lev; /* kept for the record's layout; nothing fills it */
  PARCEL_params parcel;
  HELICITY_params helicity; /* lowest 3000 m */
  SHEAR_params shear;       /* lowest 3000 m, 1/s */
  float brn;
  float bshear; /* m/s */
  float ehi;
};

/* Cuts the identifier to 19 characters and makes it the file-name key
 * letter 'i'. 0. */
int THERM_set_id(const char* str, int val);
int THERM_get_wmo();
THERM_values* THERM_get_values();
int UPA_sm_interp(int coord, const float* values, UPA_level* result, int num_result);
int UPA_wm_interp(int coord, const float* values, UPA_level* result, int num_result);
/* wmo and the location become missing, and plcl, precip, thick, li, si,
 * tt, k and sweat; the rest waits for the next index run. 0. */
int THERM_init_values(THERM_values* values);

/* Makes a report the current sounding: its elevation (and WMO number and
 * location) from "upa.cty" when missing, the merged temperature and wind
 * soundings with heights, pressures and winds filled in, the tropopause
 * and maximum wind, the surface, mean wind and storm motion. The report
 * gets its computed slot heights back. 1; 0 when the report has no
 * temperature level, which leaves no sounding current (counts 0, surface,
 * tropopause, maximum wind, storm motion and values missing). */
int UPA_merge_report(UPA_report* report);
/* Temperature levels without a direction take the wind sounding's wind at
 * their pressure, missing or not. 0. */
int UPA_calc_wind(UPA_level* sm, int sm_num, const UPA_level* wm, int wm_num);
/* Makes the caller's arrays current (no copy) with pr (hPa) the surface
 * pressure; re-reads the options; resets the values; computes the surface,
 * the 0-6 km mean wind and the storm motion (mean direction + 30 degrees,
 * 0.75 of the speed). 0. */
int THERM_set_data(float pr, UPA_level* smi, int smi_num, UPA_level* wmi, int wmi_num);
int THERM_calc_storm();

/* The index run over the current sounding, and its tables. Every line goes
 * through MESS_print at a level of its own: the level table at
 * THERM_M_TABLE and THERM_M_TABLE_X, the main index lines at
 * THERM_M_INDEX, the others at THERM_M_INDEX_X, the parcel section at
 * THERM_M_PARCEL and THERM_M_PARCEL_X, the wind parameters at THERM_M_WIND
 * and THERM_M_WIND_X, the wind level table and storm table at
 * THERM_M_WTABLE, THERM_M_WTABLE_X and THERM_M_STORM. All return 0. */
inline constexpr M_type THERM_M_TABLE = 0x1000;
inline constexpr M_type THERM_M_TABLE_X = 0x2000;
inline constexpr M_type THERM_M_INDEX = 0x4000;
inline constexpr M_type THERM_M_INDEX_X = 0x8000;
inline constexpr M_type THERM_M_TITLE = 0xF0000;
inline constexpr M_type THERM_M_PARCEL = 0x10000;
inline constexpr M_type THERM_M_PARCEL_X = 0x20000;
inline constexpr M_type THERM_M_WIND = 0x40000;
inline constexpr M_type THERM_M_WIND_X = 0x80000;
inline constexpr M_type THERM_M_WTABLE = 0x100000;
inline constexpr M_type THERM_M_WTABLE_X = 0x200000;
inline constexpr M_type THERM_M_STORM = 0x400000;
int THERM_calc();
int THERM_sig_table();
int THERM_indices();
int THERM_wind_table();
int THERM_wind();
int THERM_storm_table();

/* Raw sounding files: a "KEZRAW" point-data file with the fields " Lev",
 * "P", "H", "T", "Td", "Dir", "Spd", one line per level: the temperature
 * levels (the surface labelled "SFC"), the wind levels from the line
 * labelled "WIND", then "TROP" and "MWND". THERM_out_raw names the file
 * through the "upa_snd" convention (or the one an "out_file" item names)
 * and the sounding's date, gives the temperature levels their winds first,
 * and returns 1, or 0 when the file cannot be written. THERM_read_raw makes
 * the file's sounding current (the temperature levels serve as winds too
 * when the file has no wind section) and ENDS THE PROCESS with status 10
 * when the file does not open; at most UPA_MAX_LEVELS levels of each kind
 * are kept, values of a line that does not start with its height column
 * are dropped, and the identifier is the info line's first word cut to 19
 * characters. 0. */
inline constexpr M_type THERM_M_WRITTEN = 0x200;
int THERM_out_raw();
int THERM_read_raw(const char* filename);

/* Reading soundings (ua_interp). A sounding is ordered from the ground up
 * (falling pressure, rising height); nothing here allocates, and a
 * sounding of any length is handled. */
/* The coordinate value of a level: -ln p, h or theta (K); -9999 for a code
 * outside the families or a level without it. */
float UPA_get_level(int coord, const UPA_level* level);
/* A layer's top from its bottom and thickness, or its bottom from its top;
 * a missing thickness takes the family's default (top: 10 hPa, 50 m, 5 K;
 * bottom: 20 hPa, 200 m, 2 K). -9999 for a missing input or a code outside
 * the families. */
float UPA_thick_top(int coord, float bottom, float thick);
float UPA_thick_bottom(int coord, float top, float thick);
/* The sounding at each target value (hPa, m or K); code 1 gives the
 * analysis's surface level. Returns the index of the first level at or
 * above the last target handled (0 below the ground, num_level above the
 * top). The potential-temperature coordinate fills the sounding's missing
 * temperatures in place first. */
int UPA_interp_levels(UPA_level* levels, int num_level, int coord, const float* values, UPA_level* result,
                      int num_result);
int UPA_interp(UPA_level* levels, int num_level, int coord, float value, UPA_level* result);
/* UPA_interp for a walk upward: levels 1 to from - 1 are known to lie
 * below the target (from being what the last, lower target returned), so
 * the search starts at from. */
int UPA_interp_from(UPA_level* levels, int num_level, int coord, float value, UPA_level* result, int from);
/* Missing temperatures linear in pressure between their neighbours. 0. */
int UPA_calc_temp(UPA_level* levels, int num);
/* Missing heights of a temperature sounding, hydrostatically between the
 * known ones; 0, or -1 (nothing changed) when no level after the first has
 * a height. */
int UPA_calc_height(UPA_level* level, int num);
/* Missing pressures of a wind sounding from its known ones; without any
 * known pressure, height or temperature to start from a field stays
 * missing. 0. */
int UPA_calc_press(UPA_level* level, int num);

/* Level and layer quantities of one sounding (ua_calc). Every function
 * reads levels 0 to num - 1 of the caller's array and keeps no state;
 * -9999 marks a quantity that cannot be formed. Temperatures and dew
 * points are in degrees Celsius, pressures in hPa, heights in m. Bounds
 * are in the unit of their coordinate (a UPA_coord); the functions that
 * interpolate take a writable array because the potential-temperature
 * coordinate fills missing temperatures in place. Layer means are taken
 * in ln p. Debug traces go to M_debug_c (and the wind mean's bounds to
 * M_debug_d). */
enum UPA_var_kind {
  UPA_VAR_TEMP = 1,    /* "temp", degrees C */
  UPA_VAR_DEWP = 2,    /* "dewp", degrees C */
  UPA_VAR_RHUM = 3,    /* "rhum", % */
  UPA_VAR_THETA = 4,   /* "theta", K */
  UPA_VAR_DEWD = 5,    /* "dewd", dew-point depression, degrees C */
  UPA_VAR_MRAT = 6,    /* "mrat", g/kg */
  UPA_VAR_SHUM = 7,    /* "shum", g/kg */
  UPA_VAR_VPRES = 8,   /* "vpres", hPa */
  UPA_VAR_WETBLB = 9,  /* "wetblb", K */
  UPA_VAR_THETAW = 10, /* "thetaw", K */
  UPA_VAR_THETAE = 11, /* "thetae", K */
  UPA_VAR_THETAV = 12, /* "thetav", K */
  UPA_VAR_THETA2 = 13, /* no name: potential temperature again, K */
  UPA_VAR_VTEMP = 14,  /* "vtemp", K */
  UPA_VAR_HGHT = 15,   /* "hght" or "hag", m */
  UPA_VAR_PRES = 16    /* "pres", hPa */
};

/* The value of kind type at one level; -9999 for a kind outside 1 to 16
 * or a missing input. */
float variable_calc(int type, const UPA_level* lev);
/* Mean of the named variable over the layer (its value at bottom when top
 * is missing or equals bottom); -9999 for an unknown name, no sounding, a
 * sounding starting above 500 hPa, a missing bottom, or no segment with
 * values at both ends. */
float mean_value(const char* val, UPA_level* lev, int num, int coord, float bottom, float top);
/* Mean mixing ratio (g/kg) and potential temperature (K) of the layer,
 * each over the part of the layer with that value at both ends of a
 * segment; -9999 when the layer has no depth or no such segment. 0. */
int layer_parcel_mean(UPA_level* lev, int num, int coord, float bottom, float top, float* Wbar, float* Obar);
/* Mean wind: vector-mean direction, scalar-mean speed. 1 a mean whose top
 * has a wind (or the wind at bottom for a layer without depth), 0 one
 * level only, no segment with winds or a top without wind, -1 no levels
 * or a layer upside down; the wind is -9999, -9999 when it cannot be
 * formed. */
int layer_wind_mean(UPA_level* lev, int num, int coord, float bottom, float top, WIND* wind);
/* Convective condensation level (hPa) of the mixing ratio at bottom, or
 * of the layer of depth thick above it; -1 when the mixing-ratio line
 * never meets the temperature curve, -9999 when it cannot be computed.
 * Wbar gets the mixing ratio used (g/kg). */
float pr_ccl(UPA_level* lev, int num, int coord, float bottom, float thick, float* Wbar);
float thickness(UPA_level* lev, int num, int coord, float bottom, float top);             /* m */
float lapse_rate(UPA_level* lev, int num, int coord, float bottom, float top);            /* degrees C per m, fall */
float theta_lapse_rate(UPA_level* lev, int num, int coord, float bottom, float top);      /* K per m */
float theta_pres_lapse_rate(UPA_level* lev, int num, int coord, float bottom, float top); /* K per hPa */
float static_stability(UPA_level* lev, int num, int coord, float level);
/* Precipitable water of the whole sounding, inches. */
float precip_water(const UPA_level* lev, int num);
/* Pressure (hPa) of the 0 degrees C level, and of the 0 degrees C wet-bulb
 * level; -1 when the ground is already below freezing, -9999 when there
 * is no crossing or no sounding. */
float freezing_level(const UPA_level* lev, int num);
float wet_bulb_zero(const UPA_level* lev, int num);
/* The air at the top of the layer of depth thick above bottom brought
 * down the dry adiabat to bottom, K. */
float max_temperature(UPA_level* lev, int num, int coord, float bottom, float thick);

/* Variable levels against the current sounding (ua_level). Level types
 * are GRIB edition 1 types with the system's own special codes. */
enum UPA_ltype {
  UPA_LT_SFC_500 = 0, /* surface to 500 hPa */
  UPA_LT_SFC = 1,     /* the surface; the code is a thickness (hPa) */
  UPA_LT_FRZ = 4,     /* freezing level */
  UPA_LT_LCL = 5,     /* lifting condensation level */
  UPA_LT_MWND = 6,    /* maximum wind */
  UPA_LT_TROP = 7     /* tropopause */
};
/* Special first bounds of a decoded type-101 or type-104 layer. */
inline constexpr float UPA_LEV_SFC_LAYER = 1900.0f;  /* surface to lev2 */
inline constexpr float UPA_LEV_MAXT_LAYER = 1910.0f; /* the same, for the maximum-temperature parcel */
inline constexpr float UPA_LEV_TROP_LAYER = 1950.0f; /* lev2 hPa above the tropopause */
inline constexpr float UPA_LEV_SFC_THICK = 2000.0f;  /* and above: a surface layer of (lev1 - 2000) hPa */
inline constexpr float UPA_LEV_TROP_HGT = 99500.0f;  /* lev2 m above the tropopause */
/* Results of UPA_level_decode. */
enum UPA_pos { UPA_POS_NONE = 0, UPA_POS_LEVEL = 1, UPA_POS_LAYER = 2 };

int UPA_level_decode(const VAR_data* var, int* coord, float* lev1, float* lev2, float* thick);
int UPA_is_maxt(const VAR_data* var);
int UPA_make_layer(const VAR_data* var, int* coord, float* lev1, float* lev2, float delta);
int UPA_calc_layer(const VAR_data* var, RAW_data* data);
int UPA_calc_wind_layer(const VAR_data* var, WIND* wind);

/* Parcel ascent and stability indices (ua_parcel). */
/* 0, or -1 when no level has temperature and dew point or the first
 * layer of falling theta-e is based above 700 hPa. */
int thetae_index(const UPA_level* lev, int num, THETAE_params* params);
/* Buoyant energy of one step, J/kg; -9999 when a temperature or height
 * it needs is missing. */
float energy_calc(const UPA_level* par1, const UPA_level* par2, const UPA_level* env1, const UPA_level* env2);
/* 1 after an ascent, 0 without levels, bottom or condensation level. */
int parcel_calc(UPA_level* lev, int num, UPA_level* blev, int coord, float bottom, float thick, PARCEL_params* params);
float cap_strength(UPA_level* lev, int num, int coord, float bottom, float thick);
float lifted_index(UPA_level* lev, int num, int coord, float bottom, float thick, float top);
float total_totals(UPA_level* lev, int num);
float vertical_totals(UPA_level* lev, int num);
float cross_totals(UPA_level* lev, int num);
float k_index(UPA_level* lev, int num);
float sweat_index(UPA_level* lev, int num);
float energy_index(UPA_level* lev, int num);

/* Wind-profile indices (ua_wind). Winds in knots; the sums in m/s. */
/* 1 full layer, 0 nothing computed or the top taken from the sounding's
 * end or the layer depth, -1 no heights. */
int helicity(UPA_level* lev, int num, int coord, float bottom, float top, const WIND* storm, HELICITY_params* windp);
int shear_layer(UPA_level* lev, int num, int coord, float bottom, float top, const WIND* storm, SHEAR_params* windp);
/* 0, or -1 without levels or a usable pair of mean winds. */
int bulk_richardson(UPA_level* lev, int num, int coord, float bottom, float cape, float* brn, float* shear);
float energy_helicity(UPA_level* lev, int num, int coord, float bottom, const WIND* storm, float cape);

#endif /* KEZUPA_H */
