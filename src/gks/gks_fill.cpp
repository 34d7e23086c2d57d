/*
 * gks_fill: the fill-area primitive, its attributes and the fill patterns.
 *
 * gfill_area follows gpolyline: a record on the metafile, else a
 * display-list record and the device's own drawing from the table of fill
 * writers. PostScript fills only in the solid style; the patterns are drawn
 * by the window devices, as stipples of the fill context, and tested pixel
 * by pixel with gfill_test. The context and the 20 pattern bitmaps exist on
 * the server from the open of a window device to its close.
 */
#include <X11/Xlib.h>

#include <array>
#include <climits>
#include <cstdint>
#include <new>
#include <vector>

#include "kez.h"
#include "kezgks.h"

namespace {

constexpr int NUM_PATTERNS = 20;

/* Eight rows from the top, one byte a row, bit 0 the leftmost pixel; a set
 * bit is drawn in the fill colour. 11 to 18 are dots of rising density,
 * 0 and 19 full, 10 empty. */
constexpr std::uint8_t bitmap[NUM_PATTERNS][8] = {
    {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff}, {0xaa, 0x55, 0xaa, 0x55, 0xaa, 0x55, 0xaa, 0x55},
    {0x55, 0x00, 0x55, 0x00, 0x55, 0x00, 0x55, 0x00}, {0x24, 0x11, 0x82, 0x48, 0x42, 0x11, 0x28, 0x84},
    {0x33, 0x33, 0x00, 0x00, 0xcc, 0xcc, 0x00, 0x00}, {0x33, 0x33, 0x33, 0x33, 0x33, 0x33, 0x33, 0x33},
    {0x03, 0x06, 0x0c, 0x18, 0x30, 0x60, 0xc0, 0x81}, {0x81, 0xc0, 0x60, 0x30, 0x18, 0x0c, 0x06, 0x03},
    {0xff, 0xff, 0x00, 0x00, 0xff, 0xff, 0x00, 0x00}, {0xc3, 0x66, 0x3c, 0x18, 0x3c, 0x66, 0xc3, 0x81},
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, {0x40, 0x10, 0x20, 0x01, 0x00, 0x04, 0x08, 0x02},
    {0x08, 0xa0, 0x44, 0x11, 0x22, 0x10, 0x81, 0x44}, {0x45, 0x28, 0x94, 0x43, 0x50, 0x09, 0x52, 0xa8},
    {0x19, 0xca, 0x34, 0x1a, 0xe1, 0x32, 0xa5, 0xcc}, {0x55, 0xdc, 0x3b, 0xe2, 0x97, 0xaa, 0x65, 0x3e},
    {0x7a, 0xe5, 0x5f, 0xab, 0xf5, 0xeb, 0x5e, 0xb5}, {0xfe, 0xbb, 0xf5, 0x6f, 0xfe, 0xd7, 0xbd, 0xeb},
    {0xfd, 0xff, 0xef, 0x7f, 0xdf, 0xfe, 0xf7, 0xaf}, {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff},
};

constexpr int SMALL_AREA = 10; /* points converted without allocating */

struct FillState {
  int fill_inter_style = GSOLID;
  int fill_inter_index = 1; /* pattern 0 to 19 */
  int fill_color = 1;
  int print_solid = 0;      /* file writers fill in black */
  GC fill_gc = nullptr;     /* the window devices' fill context */
  std::array<Pixmap, NUM_PATTERNS> fill_pat{};
};

FillState state;

/* The fill context while a window device is open. */
GC window_gc() { return gtype_is_WIN_PIX() && gget_display() ? state.fill_gc : nullptr; }

/* The polygon and then its outline, both in the fill colour and pattern. */
void x_fill_area(int n, const Gpt* pts) {
  GC gc = window_gc();
  if (!gc) return;
  std::array<XPoint, SMALL_AREA> small{};
  std::vector<XPoint> large;
  XPoint* xp = small.data();
  if (n > SMALL_AREA) {
    try {
      large.resize(static_cast<std::size_t>(n));
    } catch (const std::bad_alloc&) {
      gerr_printf("gfill_area", "malloc error\n");
      return;
    }
    xp = large.data();
  }
  for (int i = 0; i < n; ++i) {
    xp[i].x = static_cast<short>(xW_p(pts[i].x) + 0.5f);
    xp[i].y = static_cast<short>(yW_p(pts[i].y) + 0.5f);
  }
  Display* d = gget_display();
  XFillPolygon(d, gget_draw_window(), gc, xp, n, Complex, CoordModeOrigin);
  XDrawLines(d, gget_draw_window(), gc, xp, n, CoordModeOrigin);
}

/* Four points a line; the break also follows the last point, so the final
 * newline comes only after an incomplete line. */
int meta_fill_area(int n, const Gpt* pts) {
  gmeta_printf("FA %d ", n);
  for (int i = 0; i < n; ++i) {
    gmeta_printf("%f,%f ", pts[i].x, pts[i].y);
    if (i % 4 == 3) gmeta_printf("\n   ");
  }
  if (n % 4 != 0) gmeta_printf("\n");
  return 1;
}

void ps_fill_area(int n, const Gpt* pts) {
  if (state.fill_inter_style != GSOLID) return;
  gps_printf("%%%%FA:%d\n", n);
  gps_printf("np\n");
  gps_move(pts[0].x, pts[0].y);
  for (int i = 1; i < n; ++i) gps_line(pts[i].x, pts[i].y);
  gps_printf("cp\n");
  gps_set_fill_color(state.fill_color);
  gps_printf("fill\n");
}

/* HPGL fills in every style, in the grey shade of the fill colour. */
void hpgl_fill_area(int n, const Gpt* pts) {
  ghpgl_set_fill_color(state.fill_color);
  ghpgl_move(pts[0].x, pts[0].y);
  ghpgl_printf("PM0;");
  for (int i = 1; i < n; ++i) ghpgl_line(pts[i].x, pts[i].y);
  ghpgl_printf("PM1;PM2;FP;\n");
}

struct FillWriter {
  int device;
  void (*draw)(int n, const Gpt* pts);
};

constexpr FillWriter fill_writers[] = {
    {GWS_WINDOW, x_fill_area},
    {GWS_PS, ps_fill_area},
    {GWS_PIXMAP, x_fill_area},
    {GWS_HPGL, hpgl_fill_area},
};

} // namespace

Gint gfill_area(Gint n, const Gpt* pts) {
  if (!gchk_graphics()) {
    gerr_printf("gfill_area", "GKS not opened\n");
    return -1;
  }
  if (n < 3 || !pts || n > INT_MAX / static_cast<int>(sizeof(Gpt))) {
    gerr_printf("gfill_area", "invalid number of points: %d\n", n);
    return -1;
  }
  if (!gpts_in_win(n, pts)) return 0;
  if (gtype_is_META()) return meta_fill_area(n, pts);
  gnew_obj(70, n, n * static_cast<int>(sizeof(Gpt)), pts);
  const int device = gget_win_type();
  for (const FillWriter& w : fill_writers)
    if (w.device == device) w.draw(n, pts);
  return 0;
}

Gint gset_fill_colr_ind(Gint ind) {
  if (ind == state.fill_color) return 0;
  if (!gchk_graphics()) {
    gerr_printf("gset_fill_colr_ind", "GKS not opened\n");
    return -1;
  }
  if (gcheck_setter_colr("gset_fill_colr_ind", &ind) != 0) return -1;
  state.fill_color = ind;
  if (gtype_is_META())
    gmeta_printf("FA_CLR %d\n", ind);
  else
    gnew_obj(75, ind, 0, nullptr);
  if (GC gc = window_gc()) XSetForeground(gget_display(), gc, static_cast<unsigned long>(gget_color_ind(ind)));
  return 0;
}

Gint gset_fill_int_style(Gfill_int_style style) {
  if (style == state.fill_inter_style) return 0;
  if (!gchk_graphics()) {
    gerr_printf("gset_fill_int_style", "GKS not opened\n");
    return -1;
  }
  state.fill_inter_style = style;
  if (gtype_is_META())
    gmeta_printf("FA_INT %d\n", static_cast<int>(style));
  else
    gnew_obj(73, style, 0, nullptr);
  /* The hollow and hatch styles keep whatever the context does. */
  if (GC gc = window_gc()) {
    if (style == GSOLID) {
      XSetFillStyle(gget_display(), gc, FillSolid);
    } else if (style == GPAT) {
      if (const Pixmap pattern = state.fill_pat[static_cast<std::size_t>(state.fill_inter_index)])
        XSetStipple(gget_display(), gc, pattern);
      XSetFillStyle(gget_display(), gc, FillStippled);
    }
  }
  return 0;
}

Gint gset_fill_style_ind(Gint ind) {
  if (ind == state.fill_inter_index) return 0;
  if (!gchk_graphics()) {
    gerr_printf("gset_fill_style_ind", "GKS not opened\n");
    return -1;
  }
  if (ind < 0 || ind >= NUM_PATTERNS) {
    gerr_printf("gset_fill_style_ind", "invalid style index: %d\n", ind);
    return -1;
  }
  state.fill_inter_index = ind;
  if (gtype_is_META())
    gmeta_printf("FA_ST %d\n", ind);
  else
    gnew_obj(74, ind, 0, nullptr);
  if (GC gc = window_gc())
    if (const Pixmap pattern = state.fill_pat[static_cast<std::size_t>(ind)])
      XSetStipple(gget_display(), gc, pattern);
  return 0;
}

Gint gset_fill_print_solid(int val) {
  state.print_solid = val;
  gnew_obj(76, val, 0, nullptr);
  return 0;
}

int gget_fill_colr() { return state.fill_color; }

int gget_fill_print_solid() { return state.print_solid; }

int gfill_test(int pat, int x, int y) {
  if (pat < 0 || pat >= NUM_PATTERNS) return 0;
  const int row = ((y % 8) + 8) % 8, bit = ((x % 8) + 8) % 8;
  return (bitmap[pat][row] >> bit) & 1;
}

int greset_fill() {
  state.fill_color = 1;
  state.fill_inter_style = GSOLID;
  state.fill_inter_index = 1;
  return 0;
}

/* Class 0 (a window opened) makes the context and the pattern bitmaps;
 * classes 0 and 1 set the context up. */
int ginit_fill(int type) {
  Display* d = gget_display();
  if ((type != 0 && type != 1) || !d) return 0;
  if (type == 0) {
    gdel_fill_gc();
    gdel_fill_pat();
    const Window window = gget_root_window();
    state.fill_gc = XCreateGC(d, window, 0, nullptr);
    for (int i = 0; i < NUM_PATTERNS; ++i)
      state.fill_pat[static_cast<std::size_t>(i)] =
          XCreateBitmapFromData(d, window, reinterpret_cast<const char*>(bitmap[i]), 8, 8);
  }
  if (!state.fill_gc) return 0;
  XRectangle clip{};
  gget_xviewport(&clip);
  XSetClipRectangles(d, state.fill_gc, 0, 0, &clip, 1, Unsorted);
  XSetFillStyle(d, state.fill_gc, FillSolid);
  XSetForeground(d, state.fill_gc, WhitePixel(d, gget_screen()));
  XSetBackground(d, state.fill_gc, BlackPixel(d, gget_screen()));
  return 0;
}

int gdel_fill_gc() {
  if (state.fill_gc && gget_display()) XFreeGC(gget_display(), state.fill_gc);
  state.fill_gc = nullptr;
  return 0;
}

int gdel_fill_pat() {
  for (Pixmap& p : state.fill_pat) {
    if (p && gget_display()) XFreePixmap(gget_display(), p);
    p = 0;
  }
  return 0;
}

GC gget_fill_gc() { return state.fill_gc; }
