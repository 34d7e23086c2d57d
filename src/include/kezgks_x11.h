/*
 * kezgks_x11.h: the graphics kernel's calls that carry X types.
 *
 * The window devices and the modules that keep X contexts (line, fill,
 * marker and text contexts, X colours, window events) share the display
 * connection, the drawables and the contexts through these accessors. The
 * header includes <X11/Xlib.h> and kezgks.h itself, so it may be included
 * in any order; modules without X stay with kezgks.h and never see Xlib's
 * macros.
 */
#ifndef KEZGKS_X11_H
#define KEZGKS_X11_H

#include <X11/Xlib.h>

#include <algorithm>
#include <cmath>

#include "kezgks.h"

/* ------------------------------------------------------------------------ */
/* gks_x11: the X connection and the drawables                              */
/* ------------------------------------------------------------------------ */

Display* gget_display();
int gget_screen();
Visual* gget_visual();
Window gget_root_window();
Drawable gget_base_window();
Drawable gget_draw_window();
GC gget_root_gc();
unsigned long gget_red_mask();
unsigned long gget_grn_mask();
unsigned long gget_blu_mask();
int gset_base_window(Drawable drawable);
int gset_draw_window(Drawable drawable);
int Xerror_handler(Display* display, XErrorEvent* event);
int XerrorIO_handler(Display* display);

int gset_def_cmap(Colormap map);
Colormap gget_def_cmap();
int gset_user_cmap(Colormap map);
Colormap gget_user_cmap();
Colormap gget_colormap();

int gget_xviewport(XRectangle* rect);
/* A window coordinate in an X point's 16 bits; the primitives keep
 * non-finite points away, and this keeps the conversion defined anyway. */
inline short gx_pixel(float v) {
  if (!std::isfinite(v)) return 0;
  return static_cast<short>(std::clamp(v, -32768.0f, 32767.0f));
}
/* World points of the current transformation as window pixels rounded to
 * the nearest, as gx_pixel(xW_p(x) + 0.5f) and gx_pixel(yW_p(y) + 0.5f)
 * give them one by one, into out (n points). */
void gW_xpoints(int n, const Gpt* pts, XPoint* out);
/* The common set-up of the primitives' X contexts (ginit_line, ginit_fill,
 * ginit_marker, ginit_text), for the window classes only: GINIT_WINDOW
 * first frees the old context through `release` and makes a new one on
 * `on`; then the context is clipped to the viewport and set white on
 * black. The context for the module to finish, or null when there is none
 * to set up. */
GC ginit_x_gc(int type, GC* gc, Drawable on, int (*release)());
GC gget_line_gc();
GC gget_fill_gc();
GC gget_text_gc();
GC gget_marker_gc();
int gxline(Drawable window, XPoint p1, XPoint p2);
/* A line width of the window contexts, bounded to the window's pixels. */
int gx_line_width(float width);
/* The foreground a colour setter gave a window context, set on the context
 * at its next use instead of at once: a station model sets four colours
 * for each field and draws with one or two. The pixel is taken when the
 * colour is set, so the context draws what it drew when set at once. */
struct GxForeground {
  bool due = false;
  unsigned long pixel = 0;
};
/* A colour setter's part, while a window device is open and gc exists. */
void gx_foreground_due(GxForeground* f, GC gc, int colour);
/* A context's accessor's part: sets a due foreground; gc. */
GC gx_foreground(GC gc, GxForeground* f);
int gxrect(Drawable window, XPoint p1, XPoint p2);

/* ------------------------------------------------------------------------ */
/* gks_evnt: window events                                                  */
/* ------------------------------------------------------------------------ */

int gprocess_x11_event(XEvent* event);

/* ------------------------------------------------------------------------ */
/* gks_img: images into and out of the window                               */
/* ------------------------------------------------------------------------ */

struct IMG_report;
/* Fills the caller's X image so that it shows img at the window's depth:
 * over img's own pixels where they are the window's, else over a block of
 * converted pixels that the caller frees (std::free) when ximg->data is
 * not img->data. 1, or 0 when the image cannot be shown. */
int gset_ximage_params(IMG_report* img, XImage* ximg);
/* A pixmap of the window's depth whose pixels the server keeps in a shared
 * memory segment, so that a grab of it reads them where they lie: its id,
 * or 0 when the server cannot share one (elsewhere, without the extension
 * or its shared pixmaps). One at a time: a new one frees the last. */
Pixmap gcreate_shared_pixmap(Drawable on, int width, int height);
/* The shared pixmap, or 0. */
Pixmap gget_shared_pixmap();
/* Frees the shared pixmap with the server's pixmap and hold on the segment
 * (1), or only this side's memory when the connection is closing (0). */
void gfree_shared_pixmap(int server_too);

#endif /* KEZGKS_X11_H */
