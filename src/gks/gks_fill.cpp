/*
 * gks_fill: the fill-area primitive, its attributes and the fill patterns.
 *
 * gfill_area follows gpolyline: a record on the metafile, else a
 * display-list record and the device's own drawing from the table of fill
 * writers. PostScript fills only in the solid style; the patterns are drawn
 * by the window devices and tested pixel by pixel with gfill_test.
 */
#include <climits>
#include <cstdint>

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

struct FillState {
  int fill_inter_style = GSOLID;
  int fill_inter_index = 1; /* pattern 0 to 19 */
  int fill_color = 1;
  int print_solid = 0;      /* file writers fill in black */
};

FillState state;

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
    {GWS_PS, ps_fill_area},
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

/* Only the window devices have a fill context and pattern pixmaps. */
int ginit_fill(int) { return 0; }
