/*
 * gks_fill: the fill-area primitive, its attributes and the fill patterns.
 *
 * gfill_area follows gpolyline: a display-list record unless the device
 * keeps records of its own, and the device's fill area with the style and
 * colour in force. PostScript fills only in the solid style; the patterns are drawn
 * by the window devices, as stipples of the fill context, and tested pixel
 * by pixel with gfill_test. The context and the 20 pattern bitmaps exist on
 * the server from the open of a window device to its close.
 */
#include <array>
#include <climits>
#include <cstdint>

#include "kez.h"
#include "kezgks_x11.h"

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

struct FillState {
  int fill_inter_style = GSOLID;
  int fill_inter_index = 1; /* pattern 0 to 19 */
  int fill_color = 1;
  int print_solid = 0;     /* file writers fill in black */
  GC fill_gc = nullptr;    /* the window devices' fill context */
  GxForeground foreground; /* fill_gc's, when the colour was set */
  std::array<Pixmap, NUM_PATTERNS> fill_pat{};
};

FillState state;

/* The fill context with its foreground up to date. */
GC fill_context() { return gx_foreground(state.fill_gc, &state.foreground); }

/* The fill context while a window device is open. */
GC window_gc() { return gtype_is_WIN_PIX() && gget_display() ? fill_context() : nullptr; }

} // namespace

Gint gfill_area(Gint n, const Gpt* pts) {
  if (!gcheck_open("gfill_area")) return -1;
  if (n < 3 || !pts || n > INT_MAX / static_cast<int>(sizeof(Gpt))) {
    gerr_printf("gfill_area", "invalid number of points: %d\n", n);
    return -1;
  }
  /* An area with a hole in its outline has no shape to fill. */
  if (const int bad = gcount_nonfinite(n, pts); bad > 0) {
    MESS_print(M_debug, "gfill_area: area with %d non-finite points of %d skipped\n", bad, n);
    return 0;
  }
  if (!gpts_in_win(n, pts)) return 0;
  const Gdevice& device = gdevice();
  if (!device.record) gnew_obj(GOBJ_FILL_AREA, n, n * static_cast<int>(sizeof(Gpt)), pts);
  return device.fill_area ? device.fill_area(n, pts, state.fill_inter_style, state.fill_color) : 0;
}

/* The fill setters compare with the current value before the guard. */
Gint gset_fill_colr_ind(Gint ind) {
  if (ind == state.fill_color) return 0;
  if (!gcheck_open("gset_fill_colr_ind")) return -1;
  if (gcheck_setter_colr("gset_fill_colr_ind", &ind) != 0) return -1;
  return gset_attr(&state.fill_color, ind, "FA_CLR %d\n", GOBJ_FILL_COLR,
                   [](int v) { gx_foreground_due(&state.foreground, state.fill_gc, v); });
}

/* The hollow and hatch styles keep whatever the context does. */
Gint gset_fill_int_style(Gfill_int_style style) {
  if (style == state.fill_inter_style) return 0;
  if (!gcheck_open("gset_fill_int_style")) return -1;
  return gset_attr(&state.fill_inter_style, style, "FA_INT %d\n", GOBJ_FILL_STYLE, [](int v) {
    GC gc = window_gc();
    if (!gc) return;
    if (v == GSOLID) {
      XSetFillStyle(gget_display(), gc, FillSolid);
    } else if (v == GPAT) {
      if (const Pixmap pattern = state.fill_pat[static_cast<std::size_t>(state.fill_inter_index)])
        XSetStipple(gget_display(), gc, pattern);
      XSetFillStyle(gget_display(), gc, FillStippled);
    }
  });
}

Gint gset_fill_style_ind(Gint ind) {
  if (ind == state.fill_inter_index) return 0;
  if (!gcheck_open("gset_fill_style_ind")) return -1;
  if (ind < 0 || ind >= NUM_PATTERNS) {
    gerr_printf("gset_fill_style_ind", "invalid style index: %d\n", ind);
    return -1;
  }
  return gset_attr(&state.fill_inter_index, ind, "FA_ST %d\n", GOBJ_FILL_STYLE_IND, [](int v) {
    if (GC gc = window_gc())
      if (const Pixmap pattern = state.fill_pat[static_cast<std::size_t>(v)]) XSetStipple(gget_display(), gc, pattern);
  });
}

Gint gset_fill_print_solid(int val) {
  state.print_solid = val;
  gnew_obj(GOBJ_FILL_PRINT_SOLID, val, 0, nullptr);
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
  gattr_changed();
  state.fill_color = 1;
  state.fill_inter_style = GSOLID;
  state.fill_inter_index = 1;
  return 0;
}

/* A window opened makes the context and the pattern bitmaps, and the
 * window classes set the context up (ginit_x_gc). */
int ginit_fill(int type) {
  Display* d = gget_display();
  if (type == GINIT_WINDOW && d) {
    gdel_fill_pat();
    for (int i = 0; i < NUM_PATTERNS; ++i)
      state.fill_pat[static_cast<std::size_t>(i)] =
          XCreateBitmapFromData(d, gget_root_window(), reinterpret_cast<const char*>(bitmap[i]), 8, 8);
  }
  if (GC gc = ginit_x_gc(type, &state.fill_gc, gget_root_window(), gdel_fill_gc)) {
    state.foreground.due = false; /* the new set-up's white stands */
    XSetFillStyle(d, gc, FillSolid);
  }
  return 0;
}

int gdel_fill_gc() {
  if (state.fill_gc && gget_display()) XFreeGC(gget_display(), state.fill_gc);
  state.fill_gc = nullptr;
  state.foreground.due = false;
  return 0;
}

int gdel_fill_pat() {
  for (Pixmap& p : state.fill_pat) {
    if (p && gget_display()) XFreePixmap(gget_display(), p);
    p = 0;
  }
  return 0;
}

GC gget_fill_gc() { return fill_context(); }
