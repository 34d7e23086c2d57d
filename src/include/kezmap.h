/*
 * kezmap.h: geography and the plot frame: the current domain and the map
 * projections and diagram coordinates (maptran), map backgrounds (map), the
 * plot frame (plt_tool), corner labels and overlays (plt_labl), and domain
 * texts and regions (region).
 *
 * kez.h includes this header at its end, so every module that includes
 * kez.h sees it; a module that includes it alone gets kez.h with it.
 */
#ifndef KEZMAP_H
#define KEZMAP_H

#include "kez.h"

#include <cstdio>
#include <string>
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
/* 1 when every point of box, a rectangle of plot positions in domain1, is
 * the same position in domain2 (the way through the earth gives it back,
 * within rounding), else 0. Neither domain becomes current. */
int MAP_same_plane(const Domain* domain1, const Domain* domain2, const MAP_limits* box);
/* The plot extent of the earth box lat_min..lat_max, lon_min..lon_max
 * (degrees, longitudes within -180..180) in the current domain: 1 with
 * every forward-projected point of the box inside *extent, 0 where the
 * projection cannot bound it that way (the box crosses the plot's seam,
 * a projection that may hide points, a diagram). */
int MAP_box_extent(float lat_min, float lat_max, float lon_min, float lon_max, MAP_limits* extent);
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

#endif /* KEZMAP_H */
