/*
 * kezgks.h: the suite's extensions of the graphics kernel.
 *
 * The kernel has one workstation, opened on one device at a time (flag 2):
 * 1 the program's own X11 window, 3 a metafile, 4 PostScript or EPS, 5 HPGL,
 * 6 another program's window. This header declares, one section per module,
 * what the kernel's own modules and the plotting layers above them share:
 * the device record through which the kernel draws on every device, the
 * device conversions of the transformations, the colour table, the line
 * and fill state, the display list, the PostScript and metafile writers and
 * the workstation with its accessors. The standard calls are in gks.h; the
 * calls that carry X types in kezgks_x11.h.
 *
 * Colour indexes: 0 to 255 drawing colours, 256 the background (-1 names it
 * in inquiries), 500 to 508 the nine print colours (black, white and light
 * grey, each in normal, double and quadruple width).
 */
#ifndef KEZGKS_H
#define KEZGKS_H

#include <cstddef>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "gks.h"

struct IMG_report;

/* A device rectangle. */
struct Grectangle {
  Gint x;
  Gint y;
  Gint width;
  Gint height;
};

/* Workstation device types (flag 2). */
inline constexpr int GWS_WINDOW = 1;
inline constexpr int GWS_META = 3;
inline constexpr int GWS_PS = 4;
inline constexpr int GWS_HPGL = 5;
inline constexpr int GWS_PIXMAP = 6;

/* Device classes of ginit_plot and ginit_tran: what a device open (or a
 * new window size) asks the transformations and attribute modules to set
 * up. */
inline constexpr int GINIT_WINDOW = 0;       /* a window device opened */
inline constexpr int GINIT_WINDOW_AGAIN = 1; /* the window set up again */
inline constexpr int GINIT_PS = 2;
inline constexpr int GINIT_HPGL = 3;
inline constexpr int GINIT_META = 4;
inline constexpr int GINIT_RESIZE = 10; /* new window size, transformations kept */

/* ------------------------------------------------------------------------ */
/* gks_dev: the device record                                               */
/* ------------------------------------------------------------------------ */

/* The items of a connection string: [0] the output name, then the options. */
using Gconn_items = std::vector<std::string>;

/* The line attributes a device draws a primitive with. */
struct Gline_attr {
  int color;   /* colour index, 500 to 508 the print colours */
  float width; /* width factor */
  int type;    /* 1 solid, 2 to 5 dashed */
};

/* How a device draws marker strokes. Null members do nothing; a device
 * without a stroke draws no markers. */
struct Gmarker_ops {
  double factor; /* device units per pixel of marker size */
  void (*setup)(int n, const Gline_attr& attr);
  Gpt (*centre)(const Gpt& world);         /* device coordinates of a world point */
  void (*stroke)(int npt, const Gpt* pts); /* one stroke in device coordinates */
  void (*shadow)(bool on, int color);      /* shadows in their own colour */
  /* A device that keeps the call itself (the metafile) sets this instead;
   * the call's result. */
  int (*whole)(int n, const Gpt* pts);
};

/* The most points of a stroke handed to a device at once: a longer one is
 * split, each piece going on from the last point of the piece before. */
inline constexpr int GTEXT_PENDING = 30;

/* How a device draws the strokes of the stroke-font renderer. A stroke is
 * finished at a pen-up pair, at the limit of pending points (split) and at
 * the end of a glyph; `finished` then holds it when it has two or more
 * points, else it is empty. Points are world coordinates. Null members do
 * nothing. */
struct Gtext_ops {
  void (*setup)(const unsigned char* string, float ox, float oy, const Gline_attr& attr);
  void (*glyph_begin)();
  void (*pen_up)(Gpt at, const Gpt* finished, int nfinished);
  void (*pen_down)(Gpt at);
  void (*split)(Gpt at, const Gpt* finished, int nfinished);
  void (*glyph_end)(const Gpt* finished, int nfinished);
  void (*shadow)(bool on, int color);
  /* A device that keeps the call itself sets this instead; true when it
   * did (the text is then not drawn). */
  bool (*whole)(const Gpt& pos, const char* string);
  /* After the last glyph of a string whose set-up was called. */
  void (*end)();
  /* A device that draws a glyph's strokes all at once sets this, and is
   * then called instead of glyph_begin, pen_up, split and glyph_end (not
   * instead of pen_down): the glyph's n points, stroke k from
   * pts[starts[k]] up to the next stroke's start (the last up to n). The
   * device splits a stroke as the renderer would (GTEXT_PENDING). */
  void (*strokes)(const Gpt* pts, int n, const int* starts, int nstrokes);
};

/* One graphics device: everything the kernel asks of an output. Each
 * device module fills its record(s); gks_x11's table of devices lists them,
 * and the kernel calls through the record of the open workstation, so it
 * never asks which device it is drawing on. Null members do nothing. */
struct Gdevice {
  int type;         /* GWS_* code */
  const char* form; /* option item choosing this row among the rows of one
                     * type (the last such item wins; without one, the
                     * type's first row); null when the row has none */
  int init_class;   /* GINIT_* class of ginit_plot */
  /* Set-up from the connection string (the plot area through gset_xsize
   * and gset_xoff); 0, or -1 after the message. */
  int (*open)(const Gconn_items& items);
  int (*close)();
  /* A device that keeps the kernel's calls as records of its own (the
   * metafile forms) takes each setter's record here, and the display list
   * keeps nothing; the CGM form writes nothing for them. */
  int (*record)(const char* format, ...) __attribute__((format(printf, 1, 2)));
  /* The current viewport in device units. */
  void (*clip)(float x0, float y0, float x1, float y1);
  /* The primitives in world coordinates; the primitive's result. */
  int (*polyline)(int n, const Gpt* pts, const Gline_attr& attr);
  int (*fill_area)(int n, const Gpt* pts, int style, int color);
  Gmarker_ops marker;
  Gtext_ops text;
  void (*clear_region)(const Glim& lim);
  void (*message)(const char* text);
};

/* The record of the open workstation's device (a record that does nothing
 * while none is open). */
const Gdevice& gdevice();
/* Makes a record the current one (null: none), as a print of the display
 * list does for its time; gset_win_type does the same with a type's first
 * row. 0. */
int gset_device(const Gdevice* device);
/* Hands a setter's record to a device that keeps records; 1 when it did
 * (then no display-list record is made), else 0. */
int grecord(const char* format, ...) __attribute__((format(printf, 1, 2)));
/* The guard of every kernel call that needs an open kernel: 1 when open,
 * else the "GKS not opened" report under the caller's name and 0. */
int gcheck_open(const char* caller);

/* The device records, each filled in its own module. */
extern const Gdevice gws_window_device; /* gks_x11 */
extern const Gdevice gws_pixmap_device; /* gks_x11 */
extern const Gdevice gps_device;        /* gks_ps */
extern const Gdevice ghpgl_device;      /* gks_hpgl */
extern const Gdevice gmeta_device;      /* gks_meta: the text metafile */
extern const Gdevice gcgm_device;       /* gks_meta: the binary CGM */

/* ------------------------------------------------------------------------ */
/* gks_opt: the page-option grammar of the file devices                     */
/* ------------------------------------------------------------------------ */

/* A plot area: width by height device units at x, y. */
struct Garea {
  int width;
  int height;
  int x;
  int y;
};

/* A page in inches, long side first. */
struct Gpage {
  float width;
  float height;
};

/* One option word of a device: an item equal to `word` (without regard to
 * case), or, with `number`, the word, one separator and a number. */
struct Gpage_option {
  const char* word;
  bool number;
  bool env_only; /* counts only in the environment's list */
  void (*apply)(float value, Gpage* page);
};

/* Device units of every device stay within this bound, so that every
 * conversion to int is defined whatever a setting or file asks for. */
inline constexpr int GDEVICE_LIMIT = 1000000;
/* Pages beyond this many inches are refused. */
inline constexpr float GMAX_PAGE = 1000;

/* A number of device units as an int within +-GDEVICE_LIMIT; 0 for NaN. */
int gdevice_int(double v);
/* A page the file devices take: more than half an inch (the margin) and at
 * most GMAX_PAGE on both sides. */
bool gusable_page(float w, float h);

/* Applies option items to a page and a device's option table; later items
 * win. Beside the table: "sz" and a separator and "WxH", and the paper
 * names, where `usable` accepts the page. */
void gpage_options(const Gconn_items& items, std::size_t first, const Gpage_option* table, int ntable, bool from_env,
                   bool (*usable)(float w, float h), Gpage* page);
/* The items of a comma list (an environment value); none for null. */
Gconn_items gsplit_items(const char* text);
/* A panel geometry ('P' stripped): columns x rows + column + row, or with a
 * first number of 1 or less the plot area as fractions; y_up for the file
 * devices, else a window. */
void gpanel_geometry(const char* text, bool y_up, Garea* area);
/* "WxH+X+Y" (or "WxH", or "+X+Y") in units that scale turns into device
 * units. */
void gsize_geometry(const char* text, float scale, Garea* area);
/* The first of some environment variables that is set; null for none. */
const char* gfirst_env(std::initializer_list<const char*> names);

/* ------------------------------------------------------------------------ */
/* gks_tran: normalization transformations and device coordinates          */
/* ------------------------------------------------------------------------ */

/* World to NDC of the current transformation. */
float xW_NDC(float x);
float yW_NDC(float y);
/* World to window pixels (y down), clamped to -30000..30000, and back. */
float xW_p(float x);
float yW_p(float y);
float xp_W(float px);
float yp_W(float py);
/* World to device units (y up), clamped to -100000..100000. */
float xW_ps(float x);
float yW_ps(float y);
/* n world points to device units, each as xW_ps and yW_ps convert it. */
void gW_ps_points(int n, const Gpt* world, Gpt* device);
/* NDC to window pixels and to device units, clamped as above. */
float xNDC_p(float x);
float yNDC_p(float y);
float xNDC_ps(float x);
float yNDC_ps(float y);
/* World x (y) of transformation t1 to world x (y) of t2; -9999 for a
 * transformation number outside 0 to 5. */
float xW_trans(float x, int t1, int t2);
float yW_trans(float y, int t1, int t2);

/* type: a GINIT_* device class. */
Gint ginit_tran(int type);
Gint gget_gviewport(Grectangle* rect);
/* 1 when the points' bounding box meets the current world window (touching
 * counts), 0 when it does not or when any point is not finite. */
Gint gpts_in_win(int n, const Gpt* pts);
/* Non-finite points never reach a device: the primitives test their points
 * here before the device records see them. */
bool gfinite_pt(const Gpt& p);
int gcount_nonfinite(int n, const Gpt* pts);
Gint gprint_win();
Gint greset_clip();
Gint gset_tran_mult(float x, float y);

/* ------------------------------------------------------------------------ */
/* gks_colr: the colour table                                               */
/* ------------------------------------------------------------------------ */

int galloc_colr(int ind, float r, float g, float b);
int gis_valid_colr(int ind);
int gis_color_near(int ind, float r, float g, float b, int flag);
int gget_color_ind(int ind);
int gget_color_rgb(int ind, float* r, float* g, float* b);
int gget_color_rgb256(int ind, int* r, int* g, int* b);
int gget_back_color();
int gget_max_colr();
int ginit_background();
int gset_background(const char* text);
int gset_local_colormap(int val);
int gset_rw_colors(int val);
int gset_inverse(int val);
int gget_inverse();
/* The colour rules of the attribute setters: a valid index, print colours
 * as index 1 on the window devices, a defined entry. Reports under the
 * setter's name; returns 0 with *ind the index to store, or -1. */
int gcheck_setter_colr(const char* setter, int* ind);

/* ------------------------------------------------------------------------ */
/* gks_line: polyline state                                                 */
/* ------------------------------------------------------------------------ */

Gint gset_line_print_bold(int val);
int gget_line_colr();
int gget_line_print_bold();
int greset_line();
int ginit_line(int type);

/* ------------------------------------------------------------------------ */
/* gks_fill: fill-area state and the fill patterns                          */
/* ------------------------------------------------------------------------ */

Gint gset_fill_print_solid(int val);
int gget_fill_colr();
int gget_fill_print_solid();
/* Nonzero when pixel (x, y) of pattern pat (0 to 19) is set. */
int gfill_test(int pat, int x, int y);
int greset_fill();
int ginit_fill(int type);

/* ------------------------------------------------------------------------ */
/* gks_obj: the display list                                                */
/* ------------------------------------------------------------------------ */

/* Display-list record kinds: the kernel call each record replays. */
enum Gobj_kind : int {
  GOBJ_MESSAGE = 5,
  GOBJ_WS_VP = 10,
  GOBJ_WS_WIN = 11,
  GOBJ_SEL_TRAN = 15,
  GOBJ_VP = 16,
  GOBJ_WIN = 17,
  GOBJ_COLR_REP = 20,
  GOBJ_CLEAR_REGION = 25,
  GOBJ_POLYLINE = 30,
  GOBJ_LINETYPE = 33,
  GOBJ_LINEWIDTH = 34,
  GOBJ_LINE_COLR = 35,
  GOBJ_LINE_PRINT_BOLD = 36,
  GOBJ_POLYMARKER = 40,
  GOBJ_MARKER_TYPE = 43,
  GOBJ_MARKER_SIZE = 44,
  GOBJ_MARKER_COLR = 45,
  GOBJ_MARKER_WIDTH = 46,
  GOBJ_TEXT = 50,
  GOBJ_TEXT_SPACE = 53,
  GOBJ_CHAR_SPACE = 54,
  GOBJ_EXPAN = 55,
  GOBJ_TEXT_COLR = 56,
  GOBJ_CHAR_HT = 57,
  GOBJ_UP_VEC = 58,
  GOBJ_FONTPREC = 59,
  GOBJ_TEXT_ALIGN = 60,
  GOBJ_TEXT_WIDTH = 61,
  GOBJ_FILL_AREA = 70,
  GOBJ_FILL_STYLE = 73,
  GOBJ_FILL_STYLE_IND = 74,
  GOBJ_FILL_COLR = 75,
  GOBJ_FILL_PRINT_SOLID = 76,
  GOBJ_SEG_OPEN = 81,
  GOBJ_SEG_CLOSE = 82,
  GOBJ_CALLBACK = 999,
};

/* One recorded kernel call. */
struct drawobj {
  int type;      /* record kind: the kernel call that made it */
  drawobj* next; /* next record, null at the end */
  int values;    /* the call's integer argument (count, index, number) */
  char* data;    /* copy of the call's data block, owned; null when none */
};

/* Called every 500th kernel call that reaches the display list to serve
 * pending window events; none until a window device installs one. */
using Gevent_poll = int (*)();

int ginit_objs();
void* gnew_obj(int type, int values, int size, const void* data);
int gclear_objs();
int gdel_seg_objs(Gint seg);
int gset_redraw(int val);
int gget_redraw();
int gset_cache(int val);
int gget_cache();
/* Appends a callback record while recording. The list takes the user data
 * (allocated with malloc) in every case and frees it with the record, or at
 * once when nothing is recorded. */
int gset_redraw_func(void (*func)(char*), char* data);
int gobj_redraw_funcs(const drawobj* rec);
int gobj_print_plot();
int gobj_print_meta();
Gevent_poll gset_event_poll(Gevent_poll poll);

/* The common steps of the attribute setters after their guard and their
 * own checks: an unchanged value costs nothing; a changed one is stored,
 * recorded (a device that keeps records gets `meta` with the value, else
 * the display list a record of `kind`, a float as its data) and handed to
 * the device through `tell` (may be null). 0. */
int gset_attr(int* slot, int value, const char* meta, Gobj_kind kind, void (*tell)(int value));
int gset_attr(float* slot, float value, const char* meta, Gobj_kind kind, void (*tell)(float value));
/* The attribute serial: a number that changes whenever an attribute of
 * text, lines, markers or fills may have changed (a setter stored a new
 * value, a reset, as at every workstation's open, a device made current).
 * Whoever finds it as it was after its own setter calls, on the same open
 * workstation, knows that the values it set still stand. gattr_changed
 * advances it for a store that does not go through gset_attr. */
unsigned long gget_attr_serial();
void gattr_changed();

/* ------------------------------------------------------------------------ */
/* gks_ps: PostScript and EPS writer                                        */
/* ------------------------------------------------------------------------ */

/* The option setters return 0, or -1 (and report) for a value refused. */
FILE* gps_open_file(const char* name);
int gps_init();
int gps_set_size(float width, float height);
int gps_set_EPS(int val);
int gps_set_orient(int val);
int gps_set_scale(float val);
int gps_set_colorPS(int val);
int gps_get_colorPS();
int gps_set_reverse(int val);
int gps_set_base_width(int val);
int gps_set_color_rep(int ind, float red, float green, float blue);
float gps_get_gray(int ind);
int gps_init_file();
int gps_close_file();
/* Closes a file device's output; a write that failed on the way (a full
 * disk, a closed pipe) is reported naming the file, and gives -1, since the
 * drawing calls do not check each write. */
int gclose_output(FILE* fp, const char* name, const char* kind);
int gps_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
int gps_move(float x, float y);
int gps_line(float x, float y);
int gps_move_abs(float x, float y);
int gps_line_abs(float x, float y);
int gps_set_color(int ind);
int gps_set_fill_color(int ind);
int gps_set_width(int ind, float width);
int gps_set_type(int type);
int gps_image(const IMG_report* image, int x, int y);

/* ------------------------------------------------------------------------ */
/* gks_meta: the text metafile writer                                       */
/* ------------------------------------------------------------------------ */

int gmeta_set_type(int type);
int gmeta_get_type();
FILE* gmeta_open_file(const char* name);
int gmeta_init_file();
int gmeta_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
int gmeta_close_file();

/* ------------------------------------------------------------------------ */
/* gks_x11: workstation open and close, devices and accessors               */
/* ------------------------------------------------------------------------ */

int ginit_plot(int type);
/* The kernel's error report: "name: " and the message through MESS_print at
 * the warn level in one piece, and a copy in the error file that gopen_gks
 * named; nothing while the kernel is closed. 0. */
int gerr_printf(const char* name, const char* format, ...) __attribute__((format(printf, 2, 3)));

int gchk_graphics();
int gget_win_type();
int gset_win_type(int type);
int gtype_is_WIN();
int gtype_is_PIX();
int gtype_is_WIN_PIX();
int gtype_is_PS();
int gtype_is_HPGL();
int gtype_is_META();
int gget_ws_id();
int gget_win_depth();
int gget_win_size(int* width, int* height);
int gset_win_size(int width, int height);
int gget_win_offset(int* x, int* y);
int gset_xsize(int x, int y);
int gset_xoff(int x, int y);
int gget_window_width();
int gget_window_height();
int gset_prog_name(const char* name);
const char* gget_prog_name();
int gset_win_title(const char* title);
const char* gget_win_title();
int gset_cursor(int type);
int gset_cursor_type(int type);
int gget_cursor_type();
int gbell(int len);
int gsync();

/* ------------------------------------------------------------------------ */
/* gks_text: text and stroke fonts                                         */
/* ------------------------------------------------------------------------ */

/* The stroke renderer: draws a string at a world position with the text
 * attributes in force and the loaded stroke font. */
int text(float ox, float oy, const unsigned char* string);
/* Loads a stroke-font file (searched along "file_path"), or an X server
 * font when the name begins with "#"; 0 or -1. */
int read_font(const char* name);
/* Builds the font list and loads the current font; called at every
 * workstation open. */
int gsetup_fonts();
/* A font number from a number text or a font-list abbreviation; 1 when
 * nothing matches. */
int gget_font_index(const char* str);
int gset_font_list(const char* list);
/* The drop-shadow count, shared by text and markers. */
int gset_font_drop(int n);
int gget_font_drop();
int gset_font_drop_color(int n);
int gget_text_colr();
int greset_text();
int ginit_text(int type);

/* ------------------------------------------------------------------------ */
/* gks_mark: polymarkers                                                   */
/* ------------------------------------------------------------------------ */

/* One marker of the current type at a device position, full size in
 * device units. */
int draw_marker(float x, float y, float size);
/* One stroke through npt points in device coordinates. */
int mark_draw(int npt, const Gpt* pts);
int gget_marker_colr();
int greset_marker();
int ginit_marker(int type);

/* ------------------------------------------------------------------------ */
/* gks_hpgl: HPGL and PCL writer                                           */
/* ------------------------------------------------------------------------ */

FILE* ghpgl_open_file(const char* name);
int ghpgl_init();
/* 0 plain HPGL, 1 PCL framing, 2 PCL framing with the plot turned. */
int ghpgl_set_pcl(int val);
int ghpgl_set_rotate(int val);
/* Factor on every plotter coordinate written, about the page origin. */
int ghpgl_set_scale(float val);
int ghpgl_set_base_width(float val); /* pen width of factor 1, millimetres */
int ghpgl_set_color_rep(int ind, float red, float green, float blue);
int ghpgl_set_colorPS(int val);
int ghpgl_get_colorPS();
int ghpgl_set_reverse(int val);
int ghpgl_init_file();
int ghpgl_close_file();
int ghpgl_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
int ghpgl_move(float x, float y);
int ghpgl_line(float x, float y);
int ghpgl_move_abs(float x, float y);
int ghpgl_line_abs(float x, float y);
/* The input window: the current viewport in plotter units. */
int ghpgl_clip(float x0, float y0, float x1, float y1);
int ghpgl_set_color(int ind);
int ghpgl_set_fill_color(int ind);
int ghpgl_set_width(int ind, float width);
int ghpgl_set_type(int type);

/* ------------------------------------------------------------------------ */
/* gks_meta: metafile reader and binary CGM                                */
/* ------------------------------------------------------------------------ */

/* Replays a text metafile through the kernel; 0, or -1 when the file
 * cannot be read or is no metafile. */
int gread_metafile(const char* name);
/* One CGM element header (class, id, parameter length in bytes; 31 is the
 * long form) and, for a positive value or the long form, one value word. */
int gcgm_control(int cls, int id, int length, int value);
int gcgm_ps_point(float x, float y); /* device coordinates */
int gcgm_point(float x, float y);    /* world coordinates */
/* A polyline of world points as one or more polyline elements. */
int gcgm_polyline(int n, const Gpt* pts);
int gcgm_set_color(int ind);
int gcgm_set_fill_color(int ind);
int gcgm_set_width(int ind, float width);
int gcgm_set_type(int type);

/* ------------------------------------------------------------------------ */
/* colors: colour-table files, colour names and attribute strings          */
/* ------------------------------------------------------------------------ */

/* A bundle of drawing attributes; -9999 in any field means "not given". */
struct Gattribs {
  Gint color;    /* colour index; -1 keep the current colour, -2 "end",
                  * 500 to 508 the print colours */
  Gfloat width;  /* line, marker line or text stroke width */
  Gfloat height; /* marker size or character height, times the caller's scale */
  Gfloat expan;  /* character expansion factor */
  Gint style;    /* line type for lines, marker type for markers */
  Gint fill_pat; /* 0 solid, 1 to 19 the named patterns, else a pattern index */
  Gint font;     /* font number */
};

/* Loads the colour table from filename, else the "color_table" setting,
 * else "kez.clr" (a comma list of files); 0. */
int CLR_read_table(const char* filename);
/* Colour index of a colour text; -1 no colour, -2 "end". */
int CLR_get_ind(const char* name);
/* Appends a named colour; its index, or -1 when the table is full. */
int CLR_add(const char* name, float red, float grn, float blu);
/* Name and intensities of a slot (past the count: the last slot); an empty
 * table or a negative index gives "" and black with -1. */
const char* CLR_get_name(int ind);
int CLR_get_rgb(int ind, float* red, float* grn, float* blu);
int CLR_get_num();
int CLR_get_num_fill();
int CLR_clear_table();
/* Fill-pattern and marker numbers of their words; -9999 for a text that is
 * neither a word nor a number. */
int ATTR_parse_fill_pat(const char* str);
int ATTR_parse_marker(const char* str);
int ATTRIB_init(Gattribs* attrib);
int ATTRIB_parse(const char* str, Gattribs* attrib);
int ATTRIB_update(Gattribs* attr1, const Gattribs* attr2);
/* Applies def, then the setting resrc over it; 1 when the setting is set. */
int ATTRIB_get(const char* resrc, const char* def, Gattribs* attrib);
int ATTRIB_print(const Gattribs* attrib);

/* ------------------------------------------------------------------------ */
/* gks_tool: page and attribute layer                                      */
/* ------------------------------------------------------------------------ */

/* A wanted width-to-height shape. */
struct Gaspect {
  Gfloat x;
  Gfloat y;
};

/* Placement per axis: 2 centred, 3 flush with the upper edge, any other
 * code flush with the lower edge. */
struct Gcenter {
  Gint x;
  Gint y;
};

/* The connection string of a workstation: output name and options. */
using Gconn_id = const char*;

/* Plot start and end. The page is the display's shape with its longer side
 * 1; transformation 1 is the whole page, 2 and 3 the plot area of the
 * current panel, their world coordinates page coordinates. */
int GPH_setup(Gint* ws_id, Gws_type* ws_type, float asp_ratio, Glim* offset);
int GPH_begin(Gint* ws_id, Gconn_id conn_id, Gws_type* ws_type);
int GPH_reset(Gint* ws_id, Gws_type* ws_type, float asp_ratio, Glim* offset);
/* offset enters as margins (fractions of the panel: left x_min, right
 * x_max, bottom y_min, top y_max) and leaves as the plot area. */
int GPH_panel(Gint* ws_id, Gws_type* ws_type, float asp_ratio, Glim* offset);
int GPH_hold(Gint ws_id);
int GPH_end(Gint ws_id);
int GPH_set_win_title();

/* Page and transformations. */
int GPH_set_view_size(float sx, float sy, float ox, float oy);
int GPH_get_view_size(Glim* limit);
float GPH_get_vert_win_size();
int ginq_maxview(Gint ws_type, Gfloat* xvp, Gfloat* yvp);
int gset_aspect(const Glim* vin, Glim* vout, Gaspect asp, Gcenter center);
int GPH_trans(int trans);
int GPH_view(int tran, const Glim* view);
int GPH_win(int tran, const Glim* win);
int GPH_get_view(int tran, Glim* view);
int GPH_get_win(int tran, Glim* win);
int GPH_print_view(const Glim* view);

/* Attributes: a colour applies when given and not negative, every other
 * field when given; NULL resets (see each). */
int GPH_line_attr(const Gattribs* attrib);
int GPH_fill_attr(const Gattribs* attrib);
int GPH_mark_attr(const Gattribs* attrib, float scale);
/* Returns -1 for NULL, which resets only the width and the expansion. */
int GPH_text_attr(const Gattribs* attrib, float scale);
/* The attributes of all four primitives as GPH_text_attr, GPH_line_attr,
 * GPH_mark_attr and GPH_fill_attr each called with NULL and then with
 * attrib (text_scale and mark_scale their scales), with the text alignment
 * hor, vert between them, leave them. A setter whose value GPH_attribs
 * handed over last time, and which still stands (gget_attr_serial), is not
 * called again: a plot that puts a bundle in force for each of thousands
 * of datums calls only the setters of what differs. -1 for NULL, else 0. */
int GPH_attribs(const Gattribs* attrib, float text_scale, float mark_scale, int hor, int vert);
int GPH_set_color(int ind, float red, float grn, float blu);

/* Text settings. A font is named by its abbreviation or number; NULL
 * selects the default font of GPH_set_def_font (at most 19 characters). */
int GPH_text_font(const char* str);
int GPH_set_def_font(const char* str);
int GPH_text_align(int x, int y);
int GPH_get_text_align(int* x, int* y);
int GPH_text_rotate(float rot);

/* Drawing shorthands in world coordinates of the selected transformation. */
int GPH_line(Gfloat x1, Gfloat y1, Gfloat x2, Gfloat y2);
int GPH_border(const Glim* limit);
int GPH_rect(Gfloat x1, Gfloat y1, Gfloat x2, Gfloat y2);
int GPH_frect(Gfloat x1, Gfloat y1, Gfloat x2, Gfloat y2);
int GPH_circle(float x, float y, float rad);
int GPH_fcircle(float x, float y, float rad);
int GPH_mark(Gfloat x1, Gfloat y1);
int GPH_pprint(const Gpt* pt, const char* str);
/* Formatted text, cut at 59 (GPH_pprintf) and 99 (GPH_printf) characters. */
int GPH_pprintf(const Gpt* pt, const char* format, ...) __attribute__((format(printf, 2, 3)));
int GPH_printf(Gfloat x1, Gfloat y1, const char* format, ...) __attribute__((format(printf, 3, 4)));

/* Device helpers. conn_id must hold FILE_PATH_LEN bytes. */
int GPH_device_prompt(int* ws_type);
int gdevice_setup(const char* str, char* conn_id);

/* ------------------------------------------------------------------------ */
/* gks_x11: the X11 window, X colours and window control                   */
/* ------------------------------------------------------------------------ */

/* The window devices draw into a backing pixmap (device 1) or another
 * program's drawable (device 6) and copy it to the visible window. The
 * declarations that carry X types are in kezgks_x11.h, which includes Xlib
 * itself, so that the rest of the system never sees Xlib's macros and no
 * include order matters. */

/* Room that the buffer of gget_win_title_extra must have. */
inline constexpr int GTITLE_EXTRA_LEN = 88;
/* Bytes of the 48 by 48 icon bitmap, eight pixels a byte, rows from the top. */
inline constexpr int GICON_BITS_LEN = 288;

/* The hold loop's refresh function, and the application's event callback
 * (kind 2 keys and "size", 3 buttons; x, y world coordinates, or the new
 * size in pixels for "size"). */
using Grefresh_func = int (*)();
using Gmouse_func = void (*)(int kind, char* text, float x, float y);

/* Window control and the hold loop. */
int ghold(Gint ws_id);
int gset_refresh_callback(int val, Grefresh_func func);
int gclear_ws(Gint ws_id, int flag);
int gupdate_window();
/* width > 0: the program orders a size; 0 or less: adopt the size the user
 * gave the window. 1 when the size changed, else 0. */
int gresize_window(int width, int height);
int gclear_region(const Glim* lim);
int gmessage(Gint ws_id, const char* message);
int gcreate_seg(Gint name);
int gclose_seg(Gint name);
int gdel_seg(Gint name);
int gset_win_title_extra(const char* text);
/* buffer: GTITLE_EXTRA_LEN bytes. */
int gget_win_title_extra(char* buffer);
int gget_root_size(int* width, int* height);
int gset_pix_mode(int mode);
int gset_iconic(int flag);
int gset_fixed_size();
/* The next own window (device 1) will only be drawn and dumped, never
 * held (1), or may be held (0, the default): a transient window is mapped
 * at the end of the open without waiting for the server to show it, and
 * keeps the size asked for. */
int gset_transient(int flag);
int gset_geometry(const char* text);
int gset_icon_bitmap(const unsigned char* bits);
/* X errors are printed (1, the default) or only noted (0); returns the
 * previous setting. */
int gset_xerror_print(int val);

/* X colours of the colour table. */
int ginit_xcolr();
/* Frees a private colormap made by ginit_xcolr and forgets the colormap in
 * use; at the close of a window device. */
int gdel_xcolr();
int gquery_xcolor(int ind);
/* A true-colour pixel from 16-bit components and the visual's masks. */
unsigned long gget_color_rgb_Xval(unsigned int red, unsigned int grn, unsigned int blu);

/* Line and fill contexts and the fill patterns on the server. */
int gset_line_gc_func(int func);
int gget_line_gc_func();
int gdel_line_gc();
int gdel_fill_gc();
int gdel_fill_pat();
/* Frees the text context and a loaded server font. */
int gdel_text_gc();
int gdel_marker_gc();

/* ------------------------------------------------------------------------ */
/* gks_evnt: window events                                                  */
/* ------------------------------------------------------------------------ */

int gset_mouse_callback(Gmouse_func func);
int ginit_event(int type);
int gis_mapped();
int gset_input_mode(int val);
/* 1 while the hold goes on, 0 once it is to end. */
int gget_input_mode();
/* Band kinds of gset_rubber_band: none, a line or a rectangle from the
 * press point, or a polyline whose first point follows the pointer. */
inline constexpr int GBAND_NONE = 0;
inline constexpr int GBAND_LINE = 1;
inline constexpr int GBAND_RECT = 2;
inline constexpr int GBAND_POLY = 3;
inline constexpr int GBAND_MAX_POINTS = 5;
/* Constraints of the moving point: free, keeps its x, keeps its y. */
inline constexpr int GBAND_FREE = 0;
inline constexpr int GBAND_KEEP_X = 1;
inline constexpr int GBAND_KEEP_Y = 2;
int gset_rubber_band(int val);
int gset_rubber_band_points(const Gpt* pts, int num_pt, int constraint);
/* lim[0]: the lower bounds, lim[1] the upper bounds in window pixels. */
int gset_rubber_band_limits(const Gpt* lim);
int gcheck_event();
int gwait_event();
/* Runs the hold's refresh function as an event is served: the events its
 * drawing polls for wait and are answered after it, in order. */
int gserve_refresh(Grefresh_func func);
/* Reads, prints at the debug level and discards the pending window events;
 * their number. */
int gprint_event();

/* ------------------------------------------------------------------------ */
/* gks_zoom: pixel magnification of the window                              */
/* ------------------------------------------------------------------------ */

inline constexpr int GZOOM_MAX = 1024;
/* ind: the frame magnified while frames exist (GFRAME_CURRENT the current
 * one); x, y: the window pixel to centre on, -1 keeps the centre; factor:
 * -1 keeps the magnification, below -1 multiplies it, 1 or more sets it;
 * flag: a redisplay, done only while magnified. 1 when done, else 0. */
int gzoom(int ind, int x, int y, int factor, int flag);
int gunzoom();
/* Drops the magnification without drawing (the window changed size). */
int greset_zoom();
int gget_zoom();
/* The pixel of the unmagnified picture under a window pixel. */
float xZ_p(float px);
float yZ_p(float py);

/* ------------------------------------------------------------------------ */
/* gks_loop: animation frames and the loop-window protocol                  */
/* ------------------------------------------------------------------------ */

inline constexpr int GMAX_FRAMES = 128;
inline constexpr int GFRAME_DATA_LEN = 50;
/* Frame index codes besides 0 to GMAX_FRAMES - 1. */
inline constexpr int GFRAME_LAST = -1;
inline constexpr int GFRAME_CURRENT = -2;
inline constexpr int GFRAME_BASE = -3;         /* the backing drawable */
inline constexpr int GFRAME_ALL_BUT_LAST = -4; /* gset_loop_delay only */
/* Loop directions; odd ones step forward. */
inline constexpr int GLOOP_BACKWARD = 0;
inline constexpr int GLOOP_FORWARD = 1;
inline constexpr int GLOOP_ROCK_BACK = 2;
inline constexpr int GLOOP_ROCK_FORWARD = 3;
/* Data byte 0 of the loop window's client messages. */
inline constexpr int GLOOP_ADD_FRAME = 2;
inline constexpr int GLOOP_END_WAIT = 9;

/* A window named by a window text: the visible window, the
 * drawable to draw into (X ids), its size and a colormap (0 none). */
struct Gwindow_spec {
  unsigned long window;
  unsigned long drawable;
  int width;
  int height;
  unsigned long colormap;
};

int ginit_loop();
int gget_num_images();
/* The frame's index, or -1 when refused (no window, index or table full). */
int gcreate_frame(int ind);
int gclear_frame(int ind);
int gselect_frame(int ind);
int gswitch_frame(int ind1, int ind2);
int gcopy_frame(int dest, int src);
int gdisplay_frame(int ind);
int gdelete_all_frames();
int gdelete_frame(int ind);
int gset_looping(int ind);
int gtoggle_loop(int val);
int gget_looping();
int gset_loop_direct(int ind);
int gget_loop_direct();
int gset_loop_delay(int ind, float delay);
int ginc_loop_delay(float inc);
float gget_loop_delay();
float gget_frame_delay(int ind);
int ginc_frame(int step);
int gloop_sleep();
int gget_cur_frame();
unsigned long gget_frame_id(int ind);
int gset_frame_id(int ind, unsigned long id);
/* At most GFRAME_DATA_LEN bytes; the buffer of gget_image_data must hold
 * that many. */
int gset_image_data(int ind, const void* data, int size);
int gget_image_data(int ind, void* buffer);
int gprint_frame_ids();
int gset_loop_title(int val);
/* Serves the add-a-frame message on the own window. */
int gadd_loop_frame();
/* Resolves a window text (a window-id file or the id forms);
 * spec->width and height keep their values when the text gives none.
 * 0, or -1 after the open's message. */
int gget_window_spec(const char* text, Gwindow_spec* spec);
/* Sends the client message with data byte code (GLOOP_ADD_FRAME,
 * GLOOP_END_WAIT) to the visible window. */
int gsend_loop_message(int code);
/* Waits while the visible window's name shows the busy mark "+". */
int gwait_loop_window();

#endif /* KEZGKS_H */

/* Files written when the X declarations came with this header keep
 * working, whichever header they include first. */
#if defined(_X11_XLIB_H_) && !defined(KEZGKS_X11_H)
#include "kezgks_x11.h"
#endif
