/*
 * gks.h: the graphics kernel's types and its standard calls.
 *
 * Every plotting component of the suite draws through these calls: it opens
 * the one workstation, sets world windows and viewports of the six
 * normalization transformations, sets colours and attributes, and draws
 * polylines and fill areas in world coordinates of the current
 * transformation. The suite's own extensions of the kernel (device
 * conversions, the display list, the file writers, the workstation
 * accessors) are declared in kezgks.h.
 *
 * Results: 0 on success and -1 on failure unless a call says otherwise.
 */
#ifndef GKS_H
#define GKS_H

#include <cstdint>

using Gint = std::int32_t;
using Gfloat = float;
using Gchar = char;

/* A point in world coordinates of the current transformation. */
struct Gpt {
  Gfloat x;
  Gfloat y;
};

struct Gint_pt {
  Gint x_coord;
  Gint y_coord;
};

/* A rectangle: world windows, viewports (NDC, normally 0 to 1), workstation
 * windows and viewports, panel rectangles. A window given from right to left
 * (x_min above x_max) flips its axis. */
struct Glim {
  Gfloat x_min;
  Gfloat x_max;
  Gfloat y_min;
  Gfloat y_max;
};

/* One normalization transformation as ginq_norm_tran reports it. */
struct Gtran {
  Glim win;
  Glim vp;
};

enum Gcoord_unit { GMETER_UNIT = 0, GOTHER_UNIT = 1 };

/* The display space as ginq_disp_space_size reports it. */
struct Gdsp_size {
  Gcoord_unit coord_units;
  Gpt coord_size; /* width - 1, height - 1 */
  Gint_pt ras_size;
};

using Gws_type = Gint;

/* A colour, each component from 0 to 1. */
struct Gcolr_rep {
  Gfloat red;
  Gfloat green;
  Gfloat blue;
};

enum Gfill_int_style { GHOLLOW = 0, GSOLID = 1, GPAT = 2, GHATCH = 3 };

/* Kernel and workstation. */
int gopen_gks(const char* err_f, int mem);
int gclose_gks();
int gemergency_close_gks();
int gopen_ws(Gint ws_id, const char* conn_id, Gws_type ws_type);
int gclose_ws(Gint ws_id);
int gactivate_ws(Gint ws_id);
int gdeactivate_ws(Gint ws_id);

/* Normalization transformations (numbers 0 to 5). */
Gint gsel_norm_tran(Gint n);
Gint gset_win(Gint n, const Glim* lim);
Gint gset_vp(Gint n, const Glim* lim);
Gint gset_ws_win(Gint ws_id, const Glim* lim);
Gint gset_ws_vp(Gint ws_id, const Glim* lim);
Gint ginq_norm_tran(Gint n, Gint* err_ind, Gtran* tran);
Gint ginq_cur_norm_tran_num(Gint* err_ind, Gint* n);
Gint ginq_disp_space_size(Gws_type ws_type, Gint* err_ind, Gdsp_size* size);

/* Colour table. */
Gint gset_colr_rep(Gint ws_id, Gint ind, const Gcolr_rep* rep);

/* Polylines and fill areas. */
Gint gpolyline(Gint n, const Gpt* pts);
Gint gfill_area(Gint n, const Gpt* pts);
Gint gset_line_colr_ind(Gint ind);
Gint gset_linewidth(Gfloat width);
Gint gset_linetype(Gint type);
Gint gset_fill_colr_ind(Gint ind);
Gint gset_fill_int_style(Gfill_int_style style);
Gint gset_fill_style_ind(Gint ind);

/* ---- text and stroke fonts ---- */

enum Gtext_hor : int { GNORMAL_HOR = 0, GLEFT_HOR = 1, GCENTER_HOR = 2, GRIGHT_HOR = 3 };
enum Gtext_ver : int {
  GNORMAL_VERT = 0,
  GTOP_VERT = 1,
  GCAP_VERT = 2,
  GHALF_VERT = 3,
  GBASE_VERT = 4,
  GBOTTOM_VERT = 5
};

struct Gtext_align {
  Gtext_hor hor;
  Gtext_ver vert;
};

/* The precision is only recorded (metafile). */
enum Gtext_prec : int { GSTRING_PREC = 0, GCHAR_PREC = 1, GSTROKE_PREC = 2 };

struct Gfontprec {
  Gint font; /* 1-based position in the font list */
  Gtext_prec prec;
};

/* Accepted and ignored: text always runs along the up vector's right. */
enum Gtext_path : int { GRIGHT_PATH = 0, GLEFT_PATH = 1, GUP_PATH = 2, GDOWN_PATH = 3 };

Gint gtext(const Gpt* pos, const Gchar* string);
Gint gset_text_colr_ind(Gint ind);
Gint gset_char_ht(Gfloat height);     /* height of a capital, world units */
Gint gset_expan(Gfloat expan);        /* horizontal expansion factor */
Gint gset_text_width(Gfloat width);   /* line width of the strokes */
Gint gset_space(Gfloat space);        /* gap after a character, hundreds of font units */
Gint gset_char_space(Gfloat space);   /* above 0: fixed pitch */
Gint gset_char_up_vec(const Gpt* up); /* stored at unit length */
Gint gset_text_align(const Gtext_align* align);
Gint gset_fontprec(const Gfontprec* fontprec);
Gint gset_text_path(Gtext_path path);
Gint ginq_text_align(Gint* err_ind, Gtext_align* align);

/* ---- polymarkers ---- */

/* Marker types: 1 dot, 2 plus, 3 asterisk, 4 circle, 5 diagonal cross,
 * 6 square, 7 triangle (apex toward device y below the centre), 8 point,
 * 9 triangle (apex above); any other type draws nothing. */
Gint gpolymarker(Gint n, const Gpt* pts);
Gint gset_marker_colr_ind(Gint ind);
Gint gset_marker_size(Gfloat size); /* full size = 10 * size device units (pixels) */
Gint gset_marker_type(Gint type);
Gint gset_marker_width(Gfloat width);

#endif /* GKS_H */
