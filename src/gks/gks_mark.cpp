/*
 * gks_mark: the marker primitive and its attributes.
 *
 * gpolymarker draws a marker shape centred on each world point: short line
 * strokes in device coordinates, from the shape table below. How a device
 * converts a centre, how large a marker is in its units and how it draws a
 * stroke are the marker operations of its device record. The drop-shadow
 * count of the text module puts shadow
 * markers one device unit apart under each marker. On the window devices
 * the marker context, made at the open and freed at the close, holds the
 * colour and width.
 */
#include <climits>
#include <cmath>
#include <vector>

#include "kez.h"
#include "kezgks_x11.h"

namespace {

struct MarkState {
  int marker_color = 1;
  int marker_type = 1;
  float marker_width = 1;
  float marker_height = 10; /* full size = 10 * height device pixels */
  GC mark_gc = nullptr;     /* the window devices' marker context */
  GxForeground foreground;  /* mark_gc's, when the colour was set */
};

MarkState state;

/* The marker context with its foreground up to date. */
GC mark_context() { return gx_foreground(state.mark_gc, &state.foreground); }

/* The marker context while a window device is open. */
GC window_gc() { return gtype_is_WIN_PIX() && gget_display() ? mark_context() : nullptr; }

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

const Shape* shape_of(int type) {
  for (const Shape& s : shapes)
    if (s.type == type) return &s;
  return nullptr;
}

} // namespace

Gint gpolymarker(Gint n, const Gpt* pts) {
  if (!gcheck_open("gpolymarker")) return -1;
  if (n < 1 || !pts || n > INT_MAX / static_cast<int>(sizeof(Gpt))) {
    gerr_printf("gpolymarker", "invalid number of points: %d\n", n);
    return -1;
  }
  /* Markers at non-finite points are left out; the rest are drawn. */
  std::vector<Gpt> finite;
  if (const int bad = gcount_nonfinite(n, pts); bad > 0) {
    MESS_print(M_debug, "gpolymarker: %d markers at non-finite points of %d skipped\n", bad, n);
    for (int i = 0; i < n; ++i)
      if (gfinite_pt(pts[i])) finite.push_back(pts[i]);
    n = static_cast<int>(finite.size());
    pts = finite.data();
    if (n == 0) return 0;
  }
  if (!gpts_in_win(n, pts)) return 0;
  const Gdevice& device = gdevice();
  const Gmarker_ops& ops = device.marker;
  if (ops.whole) return ops.whole(n, pts);
  if (!device.record) gnew_obj(GOBJ_POLYMARKER, n, n * static_cast<int>(sizeof(Gpt)), pts);
  if (!ops.stroke || !ops.centre) return 0;
  if (ops.setup) ops.setup(n, Gline_attr{state.marker_color, state.marker_width, 1});
  const float size = static_cast<float>(static_cast<double>(10.0f * state.marker_height) * ops.factor);
  const int k = gget_font_drop();
  for (int i = 0; i < n; ++i) {
    const Gpt c = ops.centre(pts[i]);
    if (k > 0) {
      if (ops.shadow) ops.shadow(true, state.marker_color);
      for (int j = 0; j < k; ++j) draw_marker(c.x + static_cast<float>(j), c.y + static_cast<float>(j), size);
      if (ops.shadow) ops.shadow(false, state.marker_color);
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
  if (const Gmarker_ops& ops = gdevice().marker; ops.stroke) ops.stroke(npt, pts);
  return 0;
}

Gint gset_marker_colr_ind(Gint ind) {
  if (!gcheck_open("gset_marker_colr_ind")) return -1;
  if (gcheck_setter_colr("gset_marker_colr_ind", &ind) != 0) return -1;
  return gset_attr(&state.marker_color, ind, "PM_CLR %d\n", GOBJ_MARKER_COLR,
                   [](int v) { gx_foreground_due(&state.foreground, state.mark_gc, v); });
}

Gint gset_marker_size(Gfloat size) {
  if (!gcheck_open("gset_marker_size")) return -1;
  if (!std::isfinite(size) || size < 0) {
    gerr_printf("gset_marker_size", "invalid marker size: %f\n", size);
    return -1;
  }
  return gset_attr(&state.marker_height, size, "PM_SIZE %f\n", GOBJ_MARKER_SIZE, nullptr);
}

Gint gset_marker_type(Gint type) {
  if (!gcheck_open("gset_marker_type")) return -1;
  return gset_attr(&state.marker_type, type, "PM_TYPE %d\n", GOBJ_MARKER_TYPE, nullptr);
}

Gint gset_marker_width(Gfloat width) {
  if (!gcheck_open("gset_marker_width")) return -1;
  if (!std::isfinite(width) || width < 0) {
    gerr_printf("gset_marker_width", "invalid marker width: %f\n", width);
    return -1;
  }
  if (width == 0 && gtype_is_PS()) width = 1;
  return gset_attr(&state.marker_width, width, "PM_WDTH %f\n", GOBJ_MARKER_WIDTH, [](float v) {
    if (GC gc = window_gc()) {
      XGCValues values{};
      values.line_width = gx_line_width(v);
      XChangeGC(gget_display(), gc, GCLineWidth, &values);
    }
  });
}

int gget_marker_colr() { return state.marker_color; }

int greset_marker() {
  gattr_changed();
  state.marker_color = 1;
  state.marker_type = 1;
  state.marker_width = 1;
  state.marker_height = 10;
  return 0;
}

/* A window opened makes the context, and the window classes set it up
 * (ginit_x_gc). */
int ginit_marker(int type) {
  if (ginit_x_gc(type, &state.mark_gc, gget_base_window(), gdel_marker_gc))
    state.foreground.due = false; /* the new set-up's white stands */
  return 0;
}

int gdel_marker_gc() {
  if (state.mark_gc && gget_display()) XFreeGC(gget_display(), state.mark_gc);
  state.mark_gc = nullptr;
  state.foreground.due = false;
  return 0;
}

GC gget_marker_gc() { return mark_context(); }
