/*
 * gks_zoom: pixel magnification of what the window shows.
 *
 * The plot is not drawn again: a picture of the plot area is read from the
 * server and every pixel repeated magnification times into the backing
 * drawable. The source is always an unmagnified picture (the frame shown,
 * or a copy of the backing drawable taken at the first magnification), so
 * repeated magnifications multiply and the centre stays in pixels of the
 * unmagnified picture: xZ_p and yZ_p give the exact pixel under the
 * pointer however often the window was magnified. Only the own window
 * (device 1) is magnified.
 */
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "kez.h"
#include "kezgks_x11.h"

namespace {

struct ImageDeleter {
  void operator()(XImage* image) const {
    if (image) XDestroyImage(image);
  }
};
using ImagePtr = std::unique_ptr<XImage, ImageDeleter>;

struct MagnifyState {
  int zoom = 1;   /* magnification, 1 none, at most GZOOM_MAX */
  int zoom_x = 0; /* centre of the view in pixels of the unmagnified picture */
  int zoom_y = 0;
  ImagePtr base_image; /* the unmagnified backing drawable, while magnified without frames */
};

MagnifyState state;

struct Area {
  int x = 0, y = 0, width = 0, height = 0;
};

Area plot_area() {
  Area a;
  gget_win_offset(&a.x, &a.y);
  gget_win_size(&a.width, &a.height);
  return a;
}

ImagePtr read_picture(Drawable from, const Area& a) {
  Display* d = gget_display();
  if (!d || !from || a.width <= 0 || a.height <= 0) return nullptr;
  const int print = gset_xerror_print(0);
  XImage* image = XGetImage(d, from, a.x, a.y, static_cast<unsigned int>(a.width), static_cast<unsigned int>(a.height),
                            AllPlanes, ZPixmap);
  XSync(d, False);
  gset_xerror_print(print);
  return ImagePtr(image);
}

/* Start of a view of `side / step` pixels round `centre`, kept inside. */
int view_start(int centre, int side, int step) {
  const int span = side / step;
  int start = std::max(0, centre - span / 2);
  if (start + span > side) start = side - (side + 1) / step;
  return std::max(0, start);
}

void put_picture(XImage* image, const Area& a) {
  Display* d = gget_display();
  XPutImage(d, gget_base_window(), gget_root_gc(), image, 0, 0, a.x, a.y, static_cast<unsigned int>(a.width),
            static_cast<unsigned int>(a.height));
  XSync(d, False);
  gupdate_window();
}

} // namespace

int gzoom(int ind, int x, int y, int factor, int flag) {
  if (!gtype_is_WIN() || !gget_display() || !gget_base_window()) return 0;
  if (flag && state.zoom == 1) return 0;
  if (factor == 0) return 0;
  long next = state.zoom;
  if (factor < -1)
    next = static_cast<long>(state.zoom) * -static_cast<long>(factor);
  else if (factor > 0)
    next = factor;
  if (next > GZOOM_MAX) {
    MESS_print(M_warn, "gzoom: Cannot zoom past %dx\n", GZOOM_MAX);
    return 0;
  }
  const Area a = plot_area();

  /* Frames are unmagnified pictures themselves; without them the first
   * magnification keeps the backing drawable's picture. */
  ImagePtr frame_picture;
  XImage* source = nullptr;
  if (gget_num_images() > 0 && gget_frame_id(ind)) {
    frame_picture = read_picture(gget_frame_id(ind), a);
    source = frame_picture.get();
  } else {
    if (!state.base_image) state.base_image = read_picture(gget_base_window(), a);
    source = state.base_image.get();
  }
  if (!source) return 0;

  int cx = x, cy = y;
  if (x == -1) {
    cx = state.zoom_x;
    cy = state.zoom_y;
  } else if (state.zoom > 1) {
    cx = (x - a.width / 2) / state.zoom + state.zoom_x;
    cy = (y - a.height / 2) / state.zoom + state.zoom_y;
  }
  const int step = static_cast<int>(next);
  const int left = view_start(cx, a.width, step), top = view_start(cy, a.height, step);
  state.zoom = step;
  state.zoom_x = left + a.width / step / 2;
  state.zoom_y = top + a.height / step / 2;

  /* Each window pixel shows the source pixel that xZ_p and yZ_p name, so
   * the pointer and the picture under it always agree. */
  ImagePtr out(XSubImage(source, 0, 0, static_cast<unsigned int>(a.width), static_cast<unsigned int>(a.height)));
  if (!out) return 0;
  auto source_of = [](float p, int side) { return std::clamp(static_cast<int>(std::floor(p)), 0, side - 1); };
  std::vector<int> column(static_cast<std::size_t>(a.width));
  for (int c = 0; c < a.width; ++c)
    column[static_cast<std::size_t>(c)] = source_of(xZ_p(static_cast<float>(c)), a.width);
  for (int r = 0; r < a.height; ++r) {
    const int from_row = source_of(yZ_p(static_cast<float>(r)), a.height);
    for (int c = 0; c < a.width; ++c)
      XPutPixel(out.get(), c, r, XGetPixel(source, column[static_cast<std::size_t>(c)], from_row));
  }
  put_picture(out.get(), a);
  return 1;
}

int gunzoom() {
  if (!gtype_is_WIN() || state.zoom == 1) return 0;
  state.zoom = 1;
  state.zoom_x = state.zoom_y = 0;
  if (state.base_image && gget_display() && gget_base_window()) {
    put_picture(state.base_image.get(), plot_area());
    state.base_image.reset();
  } else {
    state.base_image.reset();
    gdisplay_frame(GFRAME_CURRENT);
  }
  return 0;
}

int greset_zoom() {
  state.zoom = 1;
  state.zoom_x = state.zoom_y = 0;
  state.base_image.reset();
  return 0;
}

int gget_zoom() { return state.zoom; }

float xZ_p(float px) {
  if (state.zoom == 1) return px;
  return static_cast<float>(state.zoom_x) +
         (px - static_cast<float>(gget_window_width() / 2)) / static_cast<float>(state.zoom);
}

float yZ_p(float py) {
  if (state.zoom == 1) return py;
  return static_cast<float>(state.zoom_y) +
         (py - static_cast<float>(gget_window_height() / 2)) / static_cast<float>(state.zoom);
}
