/*
 * gks_line: the polyline primitive and its attributes.
 *
 * gpolyline writes at once to the open device: a record on the metafile,
 * else a display-list record and the device's own drawing, found in the
 * table of line writers by device type. The attribute setters store the
 * value and, when it changed, write a metafile record or make a
 * display-list record; an unchanged value costs nothing, so plotters may set
 * attributes before every primitive. The PostScript writer applies the
 * attributes lazily at each polyline through its own cache.
 */
#include <climits>

#include "kez.h"
#include "kezgks.h"

namespace {

struct LineState {
  int line_color = 1;
  int line_type = 1;    /* 1 solid, 2 to 5 dashed */
  float line_width = 1;
  int print_bold = 1;   /* width factor of the file writers, at least 1 */
};

LineState state;

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
    {GWS_PS, ps_polyline},
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

/* Only the window devices have a line context to set up. */
int ginit_line(int) { return 0; }
