/*
 * kezcty.h: the station (city) database and its station table.
 *
 * A station database is a text file, one station a line ("sao.cty" for
 * surface stations). cty_read reads it a record at a time and looks single
 * stations up; cty_tool loads the stations inside a domain into one keyed
 * table for the time of a plot, finds them by identifier, WMO number or
 * position, keeps a block of plotter data per station, and holds the filter
 * language of resource "identifier".
 */
#ifndef KEZCTY_H
#define KEZCTY_H

#include "kez.h"
#include "kezgks.h"

/* Widths of the record's text fields, terminator included. */
inline constexpr int CTY_NAME_LEN = 21;
inline constexpr int CTY_STATE_LEN = 3;
inline constexpr int CTY_REGION_LEN = 3;
inline constexpr int CTY_ID_LEN = 10;
inline constexpr int CTY_LOC_ID_LEN = 11;

/* One record of the database file. */
struct CTY_data {
  char name[CTY_NAME_LEN];     /* one word, '_' for blanks */
  char state[CTY_STATE_LEN];   /* state or province */
  char region[CTY_REGION_LEN]; /* country */
  char id[CTY_ID_LEN];         /* identifier */
  int prior;                   /* 0 to 9, lower is more important */
  char mos;                    /* '*' when the priority text began with '*', else ' ' */
  char ua;                     /* '*' when the priority digit was followed by '*', else ' ' */
  float lat;                   /* degrees */
  float lon;                   /* degrees */
  float el;                    /* m; -9999 missing */
  int wmo;                     /* WMO station number; 99999 or -9999 none */
  int num;                     /* the line's last number, 0 when absent */
};

/* A stored station as the plotters use it. */
struct CTY_locate {
  char id[CTY_LOC_ID_LEN]; /* the station's name in the table (see CTY_set_id_type) */
  int wmo;
  float x; /* plot position in the domain given to CTY_store */
  float y;
  float el;
  int pr; /* priority */
};

struct CTY_info {
  int dtype; /* the type given to CTY_open */
};

/* Table kinds of CTY_store. */
inline constexpr int CTY_TABLE_FULL = 1;    /* CTY_data entries, keys id and WMO */
inline constexpr int CTY_TABLE_POS = 2;     /* CTY_locate entries, keys id and WMO */
inline constexpr int CTY_TABLE_POS_LOC = 3; /* CTY_locate entries, and a location key */

/* Names of position entries (CTY_set_id_type). */
inline constexpr int CTY_ID_IDENT = 0;   /* identifier; the WMO key for unnamed stations */
inline constexpr int CTY_ID_WMO = 1;     /* WMO key; the identifier for WMO 99999 */
inline constexpr int CTY_ID_COD_WMO = 2; /* identifier; one made from the WMO number if unnamed */

/* The WMO number of a station that has none. */
inline constexpr int CTY_NO_WMO = 99999;

/* Stations found by the position search lie within this many rings of
 * tenth-degree cells around the point. */
inline constexpr int CTY_SEARCH_RINGS = 50;

/* Fills a new user-data block from the station's record. */
using CTY_enter_fn = int (*)(const CTY_data* city, void* block);

/* ---- cty_read: the database file ---------------------------------------- */

/* One file is open at a time; the file-number arguments only say which
 * the caller means. */
int CTY_open(const char* filename, int f_access, int f_type);
int CTY_getinfo(int city_fd, CTY_info* info);
int CTY_rewind(int city_fd);
int CTY_close(int city_fd);
/* Fields read (10 for a full line), or -1 at the end or with no file open. */
int CTY_read(int city_fd, CTY_data* city);
int CTY_data_init(CTY_data* data);
/* The database of resource "city_file", else city_file, else "sao.cty",
 * under "file_path"; num_stats gets the table's bucket count. */
int CTY_open_file(const char* city_file, int* num_stats);
int CTY_get(const char* city_file, const char* id, CTY_data* data);
int CTY_get_loc(const char* city_file, const char* id, float* lat, float* lon);

/* ---- cty_tool: the station table and the filter language ---------------- */

int CTY_data_size(int size);
int CTY_enter_func(CTY_enter_fn func);
int CTY_set_id_type(int type);
int CTY_get_prior();
int CTY_store(const char* city_file, int type, const Domain* domain, int prior);
int CTY_search(const char* id, void* data);
int CTY_search_loc(float lat, float lon, CTY_locate* data);
/* As CTY_search_loc, among the stations whose data text is not empty: the
 * ones a plot has drawn. */
int CTY_search_loc_data(float lat, float lon, CTY_locate* data);
void* CTY_get_data(const char* id);
void* CTY_next_data(int next);
int CTY_clear_data(int flag);
int CTY_clear();
TAB_table* CTY_get_table();
int CTY_make_entry_simple(const char* id, const char* wmo);

int CTY_data_cmp(int numid, char* const* ids, const CTY_data* data);
int CTY_ids_cmp(int numid, char* const* ids, const char* id);
int CTY_id_cmp(const char* ids, const char* id);

/* ---- cty_plt: the stations drawn on a map ------------------------------- */

/* Room of a label read from an identifier item (79 characters). */
inline constexpr int CTY_LABEL_ROOM = 80;

/* Draws the stations of the domain's priority that pass the "identifier"
 * filter, with their identifiers, WMO or last numbers, or the items'
 * labels; 0, also without a database. */
int CTY_plot();
/* Reads the station-plot words of resource "plot_param". 0. */
int CTY_plot_param();

#endif /* KEZCTY_H */
