/*
 * gks_line: the polyline primitive and its attributes.
 *
 * gpolyline writes at once to the open device through its record: a
 * display-list record (unless the device keeps records of its own, as the
 * metafile does) and the device's polyline with the line attributes in
 * force. The attribute setters go through gset_attr: an unchanged value
 * costs nothing, so plotters may set attributes before every primitive.
 * The PostScript writer applies the attributes lazily at each polyline
 * through its own cache. On the window devices the attributes live in the
 * line context, which is made at the open of a window device and freed at
 * its close.
 */
#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "kez.h"
#include "kezgks_x11.h"

namespace {

/* The window's dash lists of line types 2 to 5, pixels on and off. */
struct Dashes {
  char list[4];
  int length;
};

constexpr Dashes dashes[4] = {{{6, 6}, 2}, {{3, 6}, 2}, {{6, 6, 3, 6}, 4}, {{2, 2}, 2}};

struct LineState {
  int line_color = 1;
  int line_type = 1; /* 1 solid, 2 to 5 dashed */
  float line_width = 1;
  int print_bold = 1; /* width factor of the file writers, at least 1 */
  int line_gc_function = GXcopy;
  GC line_gc = nullptr;    /* the window devices' line context */
  GxForeground foreground; /* line_gc's, when the colour was set */
};

LineState state;

/* The line context with its foreground up to date. */
GC line_context() { return gx_foreground(state.line_gc, &state.foreground); }

/* The line context while a window device is open. */
GC window_gc() { return gtype_is_WIN_PIX() && gget_display() ? line_context() : nullptr; }

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

/* One run of finite points. */
int draw_line(int n, const Gpt* pts) {
  if (!gpts_in_win(n, pts)) return 0;
  const Gdevice& device = gdevice();
  if (!device.record) gnew_obj(GOBJ_POLYLINE, n, n * static_cast<int>(sizeof(Gpt)), pts);
  return device.polyline ? device.polyline(n, pts, Gline_attr{state.line_color, state.line_width, state.line_type}) : 0;
}

} // namespace

/* A non-finite point (a missing value turned into NaN, say) breaks the
 * line: the runs of finite points on either side are drawn, a run of one
 * point is not. */
Gint gpolyline(Gint n, const Gpt* pts) {
  if (!gcheck_open("gpolyline")) return -1;
  if (n < 2 || !pts || n > INT_MAX / static_cast<int>(sizeof(Gpt))) {
    gerr_printf("gpolyline", "invalid number of points: %d\n", n);
    return -1;
  }
  const int bad = gcount_nonfinite(n, pts);
  if (bad == 0) return draw_line(n, pts);
  MESS_print(M_debug, "gpolyline: line broken at %d non-finite points of %d\n", bad, n);
  int result = 0;
  for (int i = 0; i < n;) {
    while (i < n && !gfinite_pt(pts[i])) ++i;
    const int first = i;
    while (i < n && gfinite_pt(pts[i])) ++i;
    if (i - first >= 2 && draw_line(i - first, pts + first) != 0) result = -1;
  }
  return result;
}

Gint gset_line_colr_ind(Gint ind) {
  if (!gcheck_open("gset_line_colr_ind")) return -1;
  if (gcheck_setter_colr("gset_line_colr_ind", &ind) != 0) return -1;
  return gset_attr(&state.line_color, ind, "PL_CLR %d\n", GOBJ_LINE_COLR,
                   [](int v) { gx_foreground_due(&state.foreground, state.line_gc, v); });
}

Gint gset_linewidth(Gfloat width) {
  if (!gcheck_open("gset_linewidth")) return -1;
  if (!std::isfinite(width) || width < 0) {
    gerr_printf("gset_linewidth", "invalid line width: %f\n", width);
    return -1;
  }
  if (width == 0 && gtype_is_PS()) width = 1;
  return gset_attr(&state.line_width, width, "PL_LW %f\n", GOBJ_LINEWIDTH, [](float v) {
    if (GC gc = window_gc()) {
      XGCValues values{};
      values.line_width = gx_line_width(v);
      XChangeGC(gget_display(), gc, GCLineWidth, &values);
    }
  });
}

Gint gset_linetype(Gint type) {
  if (!gcheck_open("gset_linetype")) return -1;
  if (type < 0) {
    gerr_printf("gset_linetype", "invalid line type: %d\n", type);
    return -1;
  }
  return gset_attr(&state.line_type, type, "PL_TYPE %d\n", GOBJ_LINETYPE, [](int) {
    if (GC gc = window_gc()) x_line_style(gc);
  });
}

Gint gset_line_print_bold(int val) {
  state.print_bold = val > 0 ? val : 1;
  gnew_obj(GOBJ_LINE_PRINT_BOLD, state.print_bold, 0, nullptr);
  return 0;
}

int gget_line_colr() { return state.line_color; }

int gget_line_print_bold() { return state.print_bold; }

int greset_line() {
  gattr_changed();
  state.line_color = 1;
  state.line_type = 1;
  state.line_width = 1;
  return 0;
}

/* A window opened makes the context, and the window classes set it up
 * (ginit_x_gc). */
int ginit_line(int type) {
  if (GC gc = ginit_x_gc(type, &state.line_gc, gget_root_window(), gdel_line_gc)) {
    state.foreground.due = false; /* the new set-up's white stands */
    state.line_gc_function = GXcopy;
    XSetFunction(gget_display(), gc, GXcopy);
  }
  return 0;
}

int gdel_line_gc() {
  if (state.line_gc && gget_display()) XFreeGC(gget_display(), state.line_gc);
  state.line_gc = nullptr;
  state.foreground.due = false;
  return 0;
}

GC gget_line_gc() { return line_context(); }

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
