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

/* ---- polymarkers ---- */

#endif /* GKS_H */
