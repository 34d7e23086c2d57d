/*
 * gks_mark: the marker primitive and its attributes.
 *
 * gpolymarker draws a marker shape centred on each world point: short line
 * strokes in device coordinates, from the shape table below. How a device
 * converts a centre, how large a marker is in its units and how it draws a
 * stroke is one row of the table of marker writers, so a device is added by
 * adding its row. The drop-shadow count of the text module puts shadow
 * markers one device unit apart under each marker. On the window devices
 * the marker context, made at the open and freed at the close, holds the
 * colour and width.
 */
#include <X11/Xlib.h>

#include <climits>
#include <cmath>

#include "kez.h"
#include "kezgks.h"

namespace {

struct MarkState {
  int marker_color = 1;
  int marker_type = 1;
  float marker_width = 1;
  float marker_height = 10; /* full size = 10 * height device pixels */
  GC mark_gc = nullptr;     /* the window devices' marker context */
};

MarkState state;

/* The marker context while a window device is open. */
GC window_gc() { return gtype_is_WIN_PIX() && gget_display() ? state.mark_gc : nullptr; }

/* A point of a shape: the centre plus k times the half size s plus a fixed
 * offset in device units. */
struct MarkPoint {
  double kx, ky;
  int dx, dy;
};

constexpr int MAX_STROKE_POINTS = 13;
constexpr int MAX_STROKES = 4;

struct Stroke {
  int npts;
  MarkPoint pts[MAX_STROKE_POINTS];
};

struct Shape {
  int type;
  int nstrokes;
  Stroke strokes[MAX_STROKES];
};

constexpr double C = 0.866, H = 0.5;

constexpr Shape shapes[] = {
    {1, 1, {{5, {{0, 0, 0, 0}, {0, 0, 1, 0}, {0, 0, 1, 1}, {0, 0, 0, 1}, {0, 0, 0, 0}}}}},
    {2, 2, {{2, {{-1, 0, 0, 0}, {1, 0, 0, 0}}}, {2, {{0, 1, 0, 0}, {0, -1, 0, 0}}}}},
    {3,
     4,
     {{2, {{-1, 0, 0, 0}, {1, 0, 0, 0}}},
      {2, {{-1, -1, 0, 0}, {1, 1, 0, 0}}},
      {2, {{0, 1, 0, 0}, {0, -1, 0, 0}}},
      {2, {{1, -1, 0, 0}, {-1, 1, 0, 0}}}}},
    {4,
     1,
     {{13,
       {{-1, 0, 0, 0},
        {-C, H, 0, 0},
        {-H, C, 0, 0},
        {0, 1, 0, 0},
        {H, C, 0, 0},
        {C, H, 0, 0},
        {1, 0, 0, 0},
        {C, -H, 0, 0},
        {H, -C, 0, 0},
        {0, -1, 0, 0},
        {-H, -C, 0, 0},
        {-C, -H, 0, 0},
        {-1, 0, 0, 0}}}}},
    {5, 2, {{2, {{-1, -1, 0, 0}, {1, 1, 0, 0}}}, {2, {{1, -1, 0, 0}, {-1, 1, 0, 0}}}}},
    {6, 1, {{5, {{-1, 1, 0, 0}, {1, 1, 0, 0}, {1, -1, 0, 0}, {-1, -1, 0, 0}, {-1, 1, 0, 0}}}}},
    {7, 1, {{4, {{-1, 1, 0, 0}, {1, 1, 0, 0}, {0, -1, 0, 0}, {-1, 1, 0, 0}}}}},
    {8, 1, {{1, {{0, 0, 0, 0}}}}},
    {9, 1, {{4, {{-1, -1, 0, 0}, {1, -1, 0, 0}, {0, 1, 0, 0}, {-1, -1, 0, 0}}}}},
};

/* ---- the marker writers of the devices ------------------------------- */

/* A window device adds its row here: centres in pixels (y down), a factor
 * of 1 and the shadows in black. */
struct MarkWriter {
  int device;
  double factor;                    /* device units per pixel of marker size */
  void (*setup)(int n);             /* colour, width and line type */
  Gpt (*centre)(const Gpt& world);  /* device coordinates of a world point */
  void (*stroke)(int npt, const Gpt* pts);
  void (*shadow)(bool on);          /* shadows in their own colour */
};

void ps_setup(int n) {
  gps_printf("%%%%PM:%d\n", n);
  gps_set_width(state.marker_color, state.marker_width);
  gps_set_color(state.marker_color);
  gps_set_type(1);
}

Gpt ps_centre(const Gpt& w) { return Gpt{xW_ps(w.x), yW_ps(w.y)}; }

/* A single point is a zero-length line, which PostScript paints only with
 * round caps. */
void ps_stroke(int npt, const Gpt* pts) {
  gps_printf("np\n");
  gps_move_abs(pts[0].x, pts[0].y);
  if (npt == 1) {
    gps_line_abs(pts[0].x, pts[0].y);
    gps_printf("1 setlinecap\nstroke\n0 setlinecap\n");
    return;
  }
  for (int i = 1; i < npt; ++i) gps_line_abs(pts[i].x, pts[i].y);
  gps_printf("stroke\n");
}

void hpgl_setup(int) {
  ghpgl_set_width(state.marker_color, state.marker_width);
  ghpgl_set_color(state.marker_color);
  ghpgl_set_type(1);
}

/* The pen put down where it was lifted marks a single point. */
void hpgl_stroke(int npt, const Gpt* pts) {
  ghpgl_move_abs(pts[0].x, pts[0].y);
  if (npt == 1) ghpgl_line_abs(pts[0].x, pts[0].y);
  for (int i = 1; i < npt; ++i) ghpgl_line_abs(pts[i].x, pts[i].y);
  ghpgl_printf("\n");
}

/* Centres stay fractional until a stroke is drawn. */
Gpt x_centre(const Gpt& w) { return Gpt{xW_p(w.x) + 0.5f, yW_p(w.y) + 0.5f}; }

void x_stroke(int npt, const Gpt* pts) {
  GC gc = window_gc();
  if (!gc) return;
  Display* d = gget_display();
  XPoint xp[MAX_STROKE_POINTS];
  const int n = npt < MAX_STROKE_POINTS ? npt : MAX_STROKE_POINTS;
  for (int i = 0; i < n; ++i) {
    xp[i].x = static_cast<short>(std::fmax(std::fmin(pts[i].x, 32767.0f), -32768.0f));
    xp[i].y = static_cast<short>(std::fmax(std::fmin(pts[i].y, 32767.0f), -32768.0f));
  }
  if (n == 1)
    XDrawPoint(d, gget_draw_window(), gc, xp[0].x, xp[0].y);
  else
    XDrawLines(d, gget_draw_window(), gc, xp, n, CoordModeOrigin);
}

void x_shadow(bool on) {
  if (GC gc = window_gc())
    XSetForeground(gget_display(), gc,
                   on ? BlackPixel(gget_display(), gget_screen())
                      : static_cast<unsigned long>(gget_color_ind(state.marker_color)));
}

constexpr MarkWriter mark_writers[] = {
    {GWS_WINDOW, 1, nullptr, x_centre, x_stroke, x_shadow},
    {GWS_PS, 0.72, ps_setup, ps_centre, ps_stroke, nullptr},
    {GWS_HPGL, 10.15, hpgl_setup, ps_centre, hpgl_stroke, nullptr},
    {GWS_PIXMAP, 1, nullptr, x_centre, x_stroke, x_shadow},
};

const MarkWriter* writer_of(int device) {
  for (const MarkWriter& w : mark_writers)
    if (w.device == device) return &w;
  return nullptr;
}

const Shape* shape_of(int type) {
  for (const Shape& s : shapes)
    if (s.type == type) return &s;
  return nullptr;
}

/* The text metafile writes four points a line; the break also follows the
 * last point. */
void meta_polymarker(int n, const Gpt* pts) {
  gmeta_printf("PM %d ", n);
  for (int i = 0; i < n; ++i) {
    gmeta_printf("%f,%f ", pts[i].x, pts[i].y);
    if (i % 4 == 3) gmeta_printf("\n   ");
  }
  if (n % 4 != 0) gmeta_printf("\n");
}

} // namespace

Gint gpolymarker(Gint n, const Gpt* pts) {
  if (!gchk_graphics()) {
    gerr_printf("gpolymarker", "GKS not opened\n");
    return -1;
  }
  if (n < 1 || !pts || n > INT_MAX / static_cast<int>(sizeof(Gpt))) {
    gerr_printf("gpolymarker", "invalid number of points: %d\n", n);
    return -1;
  }
  if (gtype_is_META()) {
    if (gmeta_get_type() == 0) meta_polymarker(n, pts);
    return 0;
  }
  gnew_obj(40, n, n * static_cast<int>(sizeof(Gpt)), pts);
  const MarkWriter* w = writer_of(gget_win_type());
  if (!w) return 0;
  if (w->setup) w->setup(n);
  const float size = static_cast<float>(static_cast<double>(10.0f * state.marker_height) * w->factor);
  const int k = gget_font_drop();
  for (int i = 0; i < n; ++i) {
    const Gpt c = w->centre(pts[i]);
    if (k > 0) {
      if (w->shadow) w->shadow(true);
      for (int j = 0; j < k; ++j)
        draw_marker(c.x + static_cast<float>(j), c.y + static_cast<float>(j), size);
      if (w->shadow) w->shadow(false);
    }
    draw_marker(c.x, c.y, size);
  }
  return 0;
}

int draw_marker(float x, float y, float size) {
  const Shape* shape = shape_of(state.marker_type);
  if (!shape || !std::isfinite(size)) return 0;
  const int s = static_cast<int>(std::fmax(std::fmin(size / 2, 1e6f), -1e6f));
  for (int i = 0; i < shape->nstrokes; ++i) {
    const Stroke& stroke = shape->strokes[i];
    Gpt pts[MAX_STROKE_POINTS];
    for (int j = 0; j < stroke.npts; ++j) {
      const MarkPoint& p = stroke.pts[j];
      pts[j] = Gpt{static_cast<float>(x + p.kx * s + p.dx), static_cast<float>(y + p.ky * s + p.dy)};
    }
    mark_draw(stroke.npts, pts);
  }
  return 0;
}

int mark_draw(int npt, const Gpt* pts) {
  if (npt < 1 || !pts) return 0;
  if (const MarkWriter* w = writer_of(gget_win_type())) w->stroke(npt, pts);
  return 0;
}

Gint gset_marker_colr_ind(Gint ind) {
  if (!gchk_graphics()) {
    gerr_printf("gset_marker_colr_ind", "GKS not opened\n");
    return -1;
  }
  if (gcheck_setter_colr("gset_marker_colr_ind", &ind) != 0) return -1;
  if (ind == state.marker_color) return 0;
  state.marker_color = ind;
  if (gtype_is_META())
    gmeta_printf("PM_CLR %d\n", ind);
  else
    gnew_obj(45, ind, 0, nullptr);
  if (GC gc = window_gc()) XSetForeground(gget_display(), gc, static_cast<unsigned long>(gget_color_ind(ind)));
  return 0;
}

Gint gset_marker_size(Gfloat size) {
  if (!gchk_graphics()) {
    gerr_printf("gset_marker_size", "GKS not opened\n");
    return -1;
  }
  if (!std::isfinite(size) || size < 0) {
    gerr_printf("gset_marker_size", "invalid marker size: %f\n", size);
    return -1;
  }
  if (size == state.marker_height) return 0;
  state.marker_height = size;
  if (gtype_is_META())
    gmeta_printf("PM_SIZE %f\n", size);
  else
    gnew_obj(44, 1, sizeof size, &size);
  return 0;
}

Gint gset_marker_type(Gint type) {
  if (!gchk_graphics()) {
    gerr_printf("gset_marker_type", "GKS not opened\n");
    return -1;
  }
  if (type == state.marker_type) return 0;
  state.marker_type = type;
  if (gtype_is_META())
    gmeta_printf("PM_TYPE %d\n", type);
  else
    gnew_obj(43, type, 0, nullptr);
  return 0;
}

Gint gset_marker_width(Gfloat width) {
  if (!gchk_graphics()) {
    gerr_printf("gset_marker_width", "GKS not opened\n");
    return -1;
  }
  if (!std::isfinite(width) || width < 0) {
    gerr_printf("gset_marker_width", "invalid marker width: %f\n", width);
    return -1;
  }
  if (width == 0 && gtype_is_PS()) width = 1;
  if (width == state.marker_width) return 0;
  state.marker_width = width;
  if (gtype_is_META())
    gmeta_printf("PM_WDTH %f\n", width);
  else
    gnew_obj(46, 1, sizeof width, &width);
  if (GC gc = window_gc()) {
    XGCValues values{};
    values.line_width = static_cast<int>(width);
    XChangeGC(gget_display(), gc, GCLineWidth, &values);
  }
  return 0;
}

int gget_marker_colr() { return state.marker_color; }

int greset_marker() {
  state.marker_color = 1;
  state.marker_type = 1;
  state.marker_width = 1;
  state.marker_height = 10;
  return 0;
}

/* Class 0 (a window opened) makes the context; classes 0 and 1 set it up. */
int ginit_marker(int type) {
  Display* d = gget_display();
  if ((type != 0 && type != 1) || !d) return 0;
  if (type == 0) {
    gdel_marker_gc();
    state.mark_gc = XCreateGC(d, gget_base_window(), 0, nullptr);
  }
  if (!state.mark_gc) return 0;
  XRectangle clip{};
  gget_xviewport(&clip);
  XSetClipRectangles(d, state.mark_gc, 0, 0, &clip, 1, Unsorted);
  XSetForeground(d, state.mark_gc, WhitePixel(d, gget_screen()));
  XSetBackground(d, state.mark_gc, BlackPixel(d, gget_screen()));
  return 0;
}

int gdel_marker_gc() {
  if (state.mark_gc && gget_display()) XFreeGC(gget_display(), state.mark_gc);
  state.mark_gc = nullptr;
  return 0;
}

GC gget_marker_gc() { return state.mark_gc; }
