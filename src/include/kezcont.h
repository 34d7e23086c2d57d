/*
 * kezcont.h: contouring of gridded fields.
 *
 * The contour module (cont) keeps one set of contour settings per process:
 * the type, the interval and base or an explicit list of levels, the fill
 * colour of every band, cut-offs and the options of printed values. A plot
 * runs CONT_plot_setup (which resets and rebuilds the settings from the
 * variable's format, the resources and the prompts) and then CONT_draw,
 * which also labels the contours and marks highs and lows; CONT_draw_bar
 * adds the colour bar. Other plotters borrow the fill colours through
 * CONT_set_fill_colors and CONT_get_fill_attrib, and the bar. Missing or
 * not set is -9999 throughout.
 */
#ifndef KEZCONT_H
#define KEZCONT_H

#include "gks.h"
#include "kez.h"
#include "kezgks.h"
#include "kezgrd.h"

/* Contour types. The variable kinds 13 (all lines dashed) and 14 (lines
 * dashed below the base) are drawn as CONT_LINES; 52 is stored as
 * CONT_FILL. */
enum CONT_type_code {
  CONT_LINES = 12,
  CONT_DASHED = 13,
  CONT_DASHED_BELOW = 14,
  CONT_FILL = 15,
  CONT_LINES_FILL = 16,
  CONT_VALUES = 17,
  CONT_FILL_ALT = 52,
  CONT_NONE = 99
};

constexpr int CONT_MAX_LEVELS = 256;        /* explicit levels and fill entries */
constexpr int CONT_LABEL_LEN = 10;          /* bar text of a level, with its end */
constexpr int CONT_FORMAT_LEN = 100;        /* the variable's format text, with its end */
constexpr int CONT_NUM_FORM_LEN = 10;       /* printf format of printed values, with its end */
constexpr int CONT_MAX_VARS = 60;           /* per-variable memory of a frame sequence */
constexpr float CONT_OPEN_TOP = 1000000.0f; /* band top above the last explicit level */

/* Settings, levels and intervals. */
int CONT_init();
int CONT_set_type(int ind);
int CONT_get_type();
int CONT_set_format(int type, const char* form);
int CONT_set_dash(int ind);
int CONT_set_intrvl(float value);
float CONT_get_intrvl();
int CONT_set_base(float value);
float CONT_get_base();
int CONT_set_range(float max, float min);
int CONT_set_bar_range(float max, float min);
int CONT_set_cutoff(float max, float min);
int CONT_set_bar(int value);
int CONT_get_bar();
int CONT_set_scale(float iscale);
int CONT_set_skip(int x, int y);
int CONT_set_plot_offset(float x, float y);
int CONT_set_label_type(int skip, int rad);
int CONT_set_label_space(int x, int y);
int CONT_set_over(int ind);
int CONT_draw_grid(int value);
int CONT_grid(float* grx, float* gry);
int CONT_set_fill_pat(int type);
int CONT_get_fill_pat();
int CONT_reset_fill_set();
int CONT_set_fill_attribs(const Gattribs* attrib);
int CONT_get_fill_attrib_ind(int ind, Gattribs* attrib);
int CONT_set_values(const float* values, int num);
int CONT_reset_values();
int CONT_get_values(float* values);
int CONT_get_num_cont();
float CONT_calc_intrvl(float max, float min, int num);
int CONT_set_cont_ext(const GRD_report* grid);

/* Fill colours, level lists and the colour of a value. */
int CONT_set_fill_colors(const char* string, int flag);
int CONT_decode_fill_color(char* str);
int CONT_fill_attrib_init(Gattribs* attrib);
int CONT_get_fill_attrib(float value, Gattribs* attrib);

/* The plot set-up, its decoders and prompts. */
int CONT_plot_setup(int plot, int ind, GRD_report* grid, Domain* domain, void (*call)(int, char*, float, float));
int CONT_format_decode_type(const char* format);
int CONT_format_decode_attrib(Gattribs* attr);
int CONT_param_decode();
float CONT_prompt_intrvl();
int CONT_prompt_type();

/* The cell engine, the grid walk and the draw entry. */
int compute_dz(float level);
int compute_lines(float level);
int CONT_draw_lines(int type, int num_pt, Gpt* pts);
int int_xy(Gpt* pt, float x1, float y1, float x2, float y2, float d);
int CONT_draw_contour(GRD_report* grid);
int CONT_draw(GRD_report* grid);
/* Level values along the contours and the cell outlines; highs and lows.
 * Both draw in the coordinates the walk of the same grid chose. 0. */
int CONT_draw_labels(GRD_report* grid);
int CONT_draw_maxmin(GRD_report* grid);

/* The colour bar under the plot frame (inside it with full-window labels):
 * 0, or -1 with nothing drawn when there is no room, range, interval or
 * band, or more than CONT_BAR_MAX_BANDS bands. orient 1 is the only layout;
 * a non-empty label is written beside the bar. */
constexpr int CONT_BAR_MAX_BANDS = 200;
int CONT_draw_bar(int orient, const char* label);
/* The lower level of the band whose box holds the page point, or -9999. */
float CONT_get_bar_value(float x, float y);
/* "f-Alt" at a map point over the bar blinks that band's colour. 0. */
int CONT_flash_value(const char* str, float x, float y);

/* The stand-alone contour plot of one grid: CONT_plot_grid sets up and
 * plots the grid given; CONT_plot is also the plot's zoom and resize
 * function; CONT_callback its window events ("s-Alt" saves slot 0 of the
 * grid store as CONT_SAVE_FILE in the grid directory). 0. */
constexpr const char* CONT_SAVE_FILE = "output.grd";
int CONT_plot_grid(GRD_report* grid, Domain* domain, void (*call)(int, char*, float, float));
int CONT_plot(Domain* domain);
void CONT_callback(int type, char* str, float x, float y);

/* The drawing primitives and band attributes the contour walk goes through: the kernel's
 * unless a test or benchmark installs a recorder. A null record, or a null
 * member, restores the kernel's primitive. */
struct CONT_kernel {
  Gint (*fill)(Gint num_pt, const Gpt* pts);
  Gint (*line)(Gint num_pt, const Gpt* pts);
  Gint (*text)(const Gpt* pos, const Gchar* str);
  Gint (*fill_colr)(Gint ind);
  Gint (*line_colr)(Gint ind);
  Gint (*linetype)(Gint type);
  Gint (*linewidth)(Gfloat width);
  /* the colour bar's flash: its waits and its colour redefinitions */
  int (*sleep)(float secs);
  int (*set_color)(int ind, float red, float grn, float blu);
};
int CONT_set_kernel(const CONT_kernel* ops);

/* A read-only look at one named setting of the table above (its name as
 * the settings are named: "dash", "min_cut", "label_skip", ...), for
 * diagnostics and tests; -9999 for a name it does not know. The texts
 * "format", "num_form" and "cont_label" (entry k) likewise; empty when
 * unknown. */
float CONT_inspect(const char* name);
const char* CONT_inspect_text(const char* name, int k);

/* ---- vecttool: wind and vector arithmetic ------------------------------- */

/* Directions in degrees clockwise from north (up): meteorological ones name
 * where the wind comes from, polar ones where the vector points. 0, or -1
 * with both outputs -9999 when an input is -9999. */
int polar2vect(float dir, float spd, float* u, float* v);
int vect2polar(float u, float v, float* dir, float* spd);
int wind2vect(float dir, float spd, float* u, float* v);
int vect2wind(float u, float v, float* dir, float* spd);
float dot_product(VECT u, VECT v);
int cross_product(VECT u, VECT v, VECT* w);

/* ---- vect_plt: vectors, barbs and streamlines of gridded winds ---------- */

/* Vector types. */
enum VECT_type_code { VECT_ARROWS = 21, VECT_BARBS = 22, VECT_STREAM = 23, VECT_NONE = 99 };

constexpr int VECT_FORMAT_LEN = 100; /* the variable's format text, with its end */
constexpr int VECT_MAX_VARS = 60;    /* per-variable memory of a frame sequence */
constexpr int VECT_DATA_PARAM = 332; /* parameter number of the vector data label */
constexpr int VECT_STREAM_PARAM = 333;

int VECT_init();
int VECT_set_type(int val);
int VECT_get_type();
int VECT_set_format(int type, const char* form);
/* The vector-legend switch: 1 when a vector reference is drawn. */
int VECT_set_vect(int value);
int VECT_get_vect();
int VECT_set_intrvl(float value);
float VECT_get_intrvl();
int VECT_set_max(float max);
int VECT_set_scale(float iscale);
int VECT_set_base(float value);
float VECT_get_vector_size();
int VECT_grid(float* grx, float* gry);
int VECT_format_decode_type();
int VECT_format_decode_attrib(Gattribs* attr);
int VECT_param_decode();
int VECT_prompt_type();

int VECT_plot_setup(int plot, int ind, GRD_report* ugrid, GRD_report* vgrid, Domain* domain,
                    void (*call)(int, char*, float, float));
int VECT_draw(GRD_report* ugrid, GRD_report* vgrid);
int VECT_draw_vect();
int VECT_stream(GRD_report* ugrid, GRD_report* vgrid, int i, int j, float length);
int VECT_plot_grid(GRD_report* ugrid, GRD_report* vgrid, Domain* domain, void (*call)(int, char*, float, float));
int VECT_plot(Domain* domain);

/* The two drawing primitives of arrows, barbs and streamline steps, and the
 * line colour: the wind drawer's and the kernel's unless a test or benchmark
 * installs a recorder; a null record or member restores them. */
struct VECT_kernel {
  int (*vect)(float x, float y, float dir, float spd, float size, float arrow);
  int (*barb)(float x, float y, float dir, float spd, float size, float offset);
  Gint (*line_colr)(Gint ind);
};
int VECT_set_kernel(const VECT_kernel* ops);

/* A read-only look at one named setting ("scale", "xskip", "uvgrid", ...),
 * for diagnostics and tests; -9999 for a name it does not know. */
float VECT_inspect(const char* name);

#endif /* KEZCONT_H */
