/*
 * gks_line: the polyline primitive and its attributes.
 *
 * gpolyline writes at once to the open device: a record on the metafile,
 * else a display-list record and the device's own drawing, found in the
 * table of line writers by device type. The attribute setters store the
 * value and, when it changed, write a metafile record or make a
 * display-list record; an unchanged value costs nothing, so plotters may set
 * attributes before every primitive. The PostScript writer applies the
 * attributes lazily at each polyline through its own cache. On the window
 * devices the attributes live in the line context, which is made at the
 * open of a window device and freed at its close.
 */
#include <X11/Xlib.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <new>
#include <vector>

#include "kez.h"
#include "kezgks.h"

namespace {

/* The window's dash lists of line types 2 to 5, pixels on and off. */
struct Dashes {
  char list[4];
  int length;
};

constexpr Dashes dashes[4] = {{{6, 6}, 2}, {{3, 6}, 2}, {{6, 6, 3, 6}, 4}, {{2, 2}, 2}};

constexpr int SMALL_LINE = 10; /* points converted without allocating */

struct LineState {
  int line_color = 1;
  int line_type = 1;    /* 1 solid, 2 to 5 dashed */
  float line_width = 1;
  int print_bold = 1;   /* width factor of the file writers, at least 1 */
  int line_gc_function = GXcopy;
  GC line_gc = nullptr; /* the window devices' line context */
};

LineState state;

/* The line context while a window device is open. */
GC window_gc() { return gtype_is_WIN_PIX() && gget_display() ? state.line_gc : nullptr; }

void x_line_style(GC gc) {
  Display* d = gget_display();
  XGCValues values{};
  values.line_style = state.line_type == 1 ? LineSolid : LineOnOffDash;
  XChangeGC(d, gc, GCLineStyle, &values);
  if (state.line_type >= 2 && state.line_type <= 5) {
    const Dashes& dash = dashes[state.line_type - 2];
    XSetDashes(d, gc, 0, dash.list, dash.length);
  }
}

/* The text form writes four points a line; the binary CGM form carries the
 * line as polyline elements. */
int meta_polyline(int n, const Gpt* pts) {
  if (gmeta_get_type() == 1) {
    gcgm_polyline(n, pts);
    return 1;
  }
  gmeta_printf("PL %d ", n);
  for (int i = 0; i < n; ++i) {
    gmeta_printf("%f,%f ", pts[i].x, pts[i].y);
    if (i % 4 == 3 && i != n - 1) gmeta_printf("\n   ");
  }
  gmeta_printf("\n");
  return 1;
}

void ps_polyline(int n, const Gpt* pts) {
  gps_printf("%%%%PL:%d\n", n);
  gps_set_width(state.line_color, state.line_width);
  gps_set_color(state.line_color);
  gps_set_type(state.line_type);
  gps_printf("np\n");
  gps_move(pts[0].x, pts[0].y);
  for (int i = 1; i < n; ++i) gps_line(pts[i].x, pts[i].y);
  gps_printf("stroke\n");
}

/* Window pixels, rounded to the nearest pixel, in a small buffer for short
 * lines. */
void x_polyline(int n, const Gpt* pts) {
  GC gc = window_gc();
  if (!gc) return;
  std::array<XPoint, SMALL_LINE> small{};
  std::vector<XPoint> large;
  XPoint* xp = small.data();
  if (n > SMALL_LINE) {
    try {
      large.resize(static_cast<std::size_t>(n));
    } catch (const std::bad_alloc&) {
      gerr_printf("gpolyline", "malloc error\n");
      return;
    }
    xp = large.data();
  }
  for (int i = 0; i < n; ++i) {
    xp[i].x = static_cast<short>(xW_p(pts[i].x) + 0.5f);
    xp[i].y = static_cast<short>(yW_p(pts[i].y) + 0.5f);
  }
  XDrawLines(gget_display(), gget_draw_window(), gc, xp, n, CoordModeOrigin);
}

/* A line end after every tenth point keeps the lines short. */
void hpgl_polyline(int n, const Gpt* pts) {
  ghpgl_set_width(state.line_color, state.line_width);
  ghpgl_set_color(state.line_color);
  ghpgl_set_type(state.line_type);
  ghpgl_move(pts[0].x, pts[0].y);
  for (int i = 1; i < n; ++i) {
    ghpgl_line(pts[i].x, pts[i].y);
    if (i % 10 == 9) ghpgl_printf("\n");
  }
  ghpgl_printf("\n");
}

struct LineWriter {
  int device;
  void (*draw)(int n, const Gpt* pts);
};

constexpr LineWriter line_writers[] = {
    {GWS_WINDOW, x_polyline},
    {GWS_PS, ps_polyline},
    {GWS_PIXMAP, x_polyline},
    {GWS_HPGL, hpgl_polyline},
};

} // namespace

Gint gpolyline(Gint n, const Gpt* pts) {
  if (!gchk_graphics()) {
    gerr_printf("gpolyline", "GKS not opened\n");
    return -1;
  }
  if (n < 2 || !pts || n > INT_MAX / static_cast<int>(sizeof(Gpt))) {
    gerr_printf("gpolyline", "invalid number of points: %d\n", n);
    return -1;
  }
  if (!gpts_in_win(n, pts)) return 0;
  if (gtype_is_META()) return meta_polyline(n, pts);
  gnew_obj(30, n, n * static_cast<int>(sizeof(Gpt)), pts);
  const int device = gget_win_type();
  for (const LineWriter& w : line_writers)
    if (w.device == device) w.draw(n, pts);
  return 0;
}

Gint gset_line_colr_ind(Gint ind) {
  if (!gchk_graphics()) {
    gerr_printf("gset_line_colr_ind", "GKS not opened\n");
    return -1;
  }
  if (gcheck_setter_colr("gset_line_colr_ind", &ind) != 0) return -1;
  if (ind == state.line_color) return 0;
  state.line_color = ind;
  if (gtype_is_META())
    gmeta_printf("PL_CLR %d\n", ind);
  else
    gnew_obj(35, ind, 0, nullptr);
  if (GC gc = window_gc()) XSetForeground(gget_display(), gc, static_cast<unsigned long>(gget_color_ind(ind)));
  return 0;
}

Gint gset_linewidth(Gfloat width) {
  if (!gchk_graphics()) {
    gerr_printf("gset_linewidth", "GKS not opened\n");
    return -1;
  }
  if (width < 0) {
    gerr_printf("gset_linewidth", "invalid line width: %f\n", width);
    return -1;
  }
  if (width == 0 && gtype_is_PS()) width = 1;
  if (width == state.line_width) return 0;
  state.line_width = width;
  if (gtype_is_META())
    gmeta_printf("PL_LW %f\n", width);
  else
    gnew_obj(34, 1, sizeof(float), &width);
  if (GC gc = window_gc()) {
    XGCValues values{};
    values.line_width = static_cast<int>(width);
    XChangeGC(gget_display(), gc, GCLineWidth, &values);
  }
  return 0;
}

Gint gset_linetype(Gint type) {
  if (!gchk_graphics()) {
    gerr_printf("gset_linetype", "GKS not opened\n");
    return -1;
  }
  if (type < 0) {
    gerr_printf("gset_linetype", "invalid line type: %d\n", type);
    return -1;
  }
  if (type == state.line_type) return 0;
  state.line_type = type;
  if (gtype_is_META())
    gmeta_printf("PL_TYPE %d\n", type);
  else
    gnew_obj(33, type, 0, nullptr);
  if (GC gc = window_gc()) x_line_style(gc);
  return 0;
}

Gint gset_line_print_bold(int val) {
  state.print_bold = val > 0 ? val : 1;
  gnew_obj(36, state.print_bold, 0, nullptr);
  return 0;
}

int gget_line_colr() { return state.line_color; }

int gget_line_print_bold() { return state.print_bold; }

int greset_line() {
  state.line_color = 1;
  state.line_type = 1;
  state.line_width = 1;
  return 0;
}

/* Class 0 (a window opened) makes the context; classes 0 and 1 set it up. */
int ginit_line(int type) {
  Display* d = gget_display();
  if ((type != 0 && type != 1) || !d) return 0;
  if (type == 0) {
    gdel_line_gc();
    state.line_gc = XCreateGC(d, gget_root_window(), 0, nullptr);
  }
  if (!state.line_gc) return 0;
  XRectangle clip{};
  gget_xviewport(&clip);
  XSetClipRectangles(d, state.line_gc, 0, 0, &clip, 1, Unsorted);
  state.line_gc_function = GXcopy;
  XSetFunction(d, state.line_gc, GXcopy);
  XSetForeground(d, state.line_gc, WhitePixel(d, gget_screen()));
  XSetBackground(d, state.line_gc, BlackPixel(d, gget_screen()));
  return 0;
}

int gdel_line_gc() {
  if (state.line_gc && gget_display()) XFreeGC(gget_display(), state.line_gc);
  state.line_gc = nullptr;
  return 0;
}

GC gget_line_gc() { return state.line_gc; }

int gset_line_gc_func(int func) {
  state.line_gc_function = func;
  if (GC gc = window_gc()) XSetFunction(gget_display(), gc, func);
  return 0;
}

int gget_line_gc_func() { return state.line_gc_function; }

int gxline(Drawable window, XPoint p1, XPoint p2) {
  if (GC gc = window_gc()) XDrawLine(gget_display(), window, gc, p1.x, p1.y, p2.x, p2.y);
  return 0;
}

int gxrect(Drawable window, XPoint p1, XPoint p2) {
  GC gc = window_gc();
  if (!gc) return 0;
  const int x = std::min(p1.x, p2.x), y = std::min(p1.y, p2.y);
  XDrawRectangle(gget_display(), window, gc, x, y, static_cast<unsigned int>(std::abs(p1.x - p2.x)),
                 static_cast<unsigned int>(std::abs(p1.y - p2.y)));
  return 0;
}
