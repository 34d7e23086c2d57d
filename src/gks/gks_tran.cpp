/*
 * gks_tran: the coordinate core of the graphics kernel.
 *
 * Six normalization transformations (0 to 5) map a world window onto a
 * viewport in normalized device coordinates (NDC); the workstation window
 * (the part of NDC shown) is fitted with one uniform scale into the
 * workstation viewport (the device area), so that it keeps its aspect. Every
 * primitive converts its points here: to window pixels (y down) on the
 * window devices, to device units (y up) on PostScript, HPGL and CGM. The
 * module keeps the device's clip in step with the viewport of the current
 * transformation; each device writes its clip through one entry of the clip
 * table.
 *
 * Invariants: every stored rectangle has a nonzero extent on both axes (zero
 * extents are refused), and the per-axis scales wn_vp and wkwn_plt are
 * recomputed whenever a window, viewport or the current number changes, so
 * a conversion is a subtraction, a multiplication and an addition per stage.
 */
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "kez.h"
#include "kezgks_x11.h"

namespace {

constexpr int NUM_TRAN = 6;
constexpr float PIXEL_LIMIT = 30000.0f;
constexpr float DEVICE_LIMIT = 100000.0f;

/* A rectangle with its extents; extents may be negative (a flipped axis). */
struct Coords {
  float x_min = 0, y_min = 0, x_max = 1, y_max = 1;
  float x_ext = 1, y_ext = 1;
};

struct Scale {
  float x = 1, y = 1;
};

/* The clip rectangle of the window devices, in window pixels, with the
 * field widths of the X rectangle it becomes. */
struct PixelRect {
  std::int16_t x = 0, y = 0;
  std::uint16_t width = 0, height = 0;
};

struct TranState {
  std::array<Coords, NUM_TRAN> wn{}; /* world windows */
  std::array<Coords, NUM_TRAN> vp{}; /* viewports (NDC) */
  int cur_trans = 0;
  Coords cur_wn, cur_vp;
  Coords wkwn;    /* workstation window (NDC) */
  Coords wkvp;    /* workstation viewport (device units) */
  Coords plt;     /* device area that wkwn fills */
  Scale wn_vp;    /* cur_vp extent / cur_wn extent */
  Scale wkwn_plt; /* plt extent / wkwn extent, equal on both axes */
  PixelRect clip_rect;
  float xmult = 1, ymult = 1;
};

TranState state;

/* The batch conversions read and write two points as one 16-byte or
 * 8-byte block. */
static_assert(sizeof(Gpt) == 2 * sizeof(float) && sizeof(XPoint) == 2 * sizeof(short));

Coords make_coords(float x_min, float y_min, float x_max, float y_max) {
  Coords c;
  c.x_min = x_min;
  c.y_min = y_min;
  c.x_max = x_max;
  c.y_max = y_max;
  c.x_ext = x_max - x_min;
  c.y_ext = y_max - y_min;
  return c;
}

Coords from_lim(const Glim& lim) { return make_coords(lim.x_min, lim.y_min, lim.x_max, lim.y_max); }

Glim to_lim(const Coords& c) { return Glim{c.x_min, c.x_max, c.y_min, c.y_max}; }

bool valid_tran(int n) { return n >= 0 && n < NUM_TRAN; }

/* A rectangle that would give infinite or undefined scales is refused. */
bool usable_rect(const Glim* lim) {
  if (!lim) return false;
  const float v[] = {lim->x_min, lim->x_max, lim->y_min, lim->y_max};
  for (float f : v)
    if (!std::isfinite(f)) return false;
  return lim->x_min != lim->x_max && lim->y_min != lim->y_max;
}

float clamp(float v, float limit) { return std::clamp(v, -limit, limit); }

void compute_wn_vp() {
  state.wn_vp.x = state.cur_vp.x_ext / state.cur_wn.x_ext;
  state.wn_vp.y = state.cur_vp.y_ext / state.cur_wn.y_ext;
}

/* Fits the workstation window into the workstation viewport with one scale;
 * spare space stays at the right, or at the bottom of a window (the top of a
 * file page). */
void fit_plot() {
  int ox = 0, oy = 0;
  gget_win_offset(&ox, &oy);
  const Coords& wn = state.wkwn;
  const Coords& vp = state.wkvp;
  Coords& plt = state.plt;
  if (vp.x_ext / wn.x_ext > vp.y_ext / wn.y_ext) {
    plt.y_ext = vp.y_ext;
    plt.x_ext = wn.x_ext * vp.y_ext / wn.y_ext;
  } else {
    plt.x_ext = vp.x_ext;
    plt.y_ext = wn.y_ext * vp.x_ext / wn.x_ext;
  }
  plt.x_min = static_cast<float>(ox) + vp.x_min;
  plt.y_min = static_cast<float>(oy) + vp.y_min;
  plt.x_max = plt.x_min + plt.x_ext;
  plt.y_max = plt.y_min + plt.y_ext;
  state.wkwn_plt.x = plt.x_ext / wn.x_ext;
  state.wkwn_plt.y = plt.y_ext / wn.y_ext;
}

/* Each field is stored in its 16-bit place before the next is computed. */
void compute_clip_rect() {
  PixelRect& r = state.clip_rect;
  r.x = static_cast<std::int16_t>(static_cast<int>(0.5f + xNDC_p(state.cur_vp.x_min)));
  r.width = static_cast<std::uint16_t>(static_cast<int>(xNDC_p(state.cur_vp.x_max) - r.x + 1.5f));
  r.y = static_cast<std::int16_t>(static_cast<int>(0.5f + yNDC_p(state.cur_vp.y_max)));
  r.height = static_cast<std::uint16_t>(static_cast<int>(yNDC_p(state.cur_vp.y_min) - r.y + 1.5f));
}

XRectangle x_clip_rect() {
  const PixelRect& r = state.clip_rect;
  return XRectangle{r.x, r.y, r.width, r.height};
}

/* The device's clip: the current viewport in device units. */
void emit_device_clip() {
  if (const Gdevice& device = gdevice(); device.clip)
    device.clip(xNDC_ps(state.cur_vp.x_min), yNDC_ps(state.cur_vp.y_min), xNDC_ps(state.cur_vp.x_max),
                yNDC_ps(state.cur_vp.y_max));
}

void update_clip() {
  compute_clip_rect();
  emit_device_clip();
}

/* What ginit_tran does for each device class; other classes keep the
 * transformations and write no device clip. */
struct InitClass {
  int type;
  bool reset;       /* workstation window and transformations become unit squares */
  bool device_clip; /* the file device writes its clip */
};

constexpr InitClass init_classes[] = {
    {GINIT_WINDOW, true, false}, {GINIT_WINDOW_AGAIN, true, false}, {GINIT_PS, true, true},
    {GINIT_HPGL, true, true},    {GINIT_META, true, true},          {GINIT_RESIZE, false, false},
};

void reset_transformations() {
  const Coords unit = make_coords(0, 0, 1, 1);
  state.wkwn = unit;
  state.wn.fill(unit);
  state.vp.fill(unit);
  state.cur_trans = 0;
  state.cur_wn = state.wn[0];
  state.cur_vp = state.vp[0];
}

} // namespace

float xW_NDC(float x) { return state.cur_vp.x_min + (x - state.cur_wn.x_min) * state.wn_vp.x; }

float yW_NDC(float y) { return state.cur_vp.y_min + (y - state.cur_wn.y_min) * state.wn_vp.y; }

float xNDC_p(float x) { return clamp(state.plt.x_min + (x - state.wkwn.x_min) * state.wkwn_plt.x, PIXEL_LIMIT); }

float yNDC_p(float y) { return clamp(state.plt.y_min + (state.wkwn.y_max - y) * state.wkwn_plt.y, PIXEL_LIMIT); }

float xNDC_ps(float x) { return clamp(state.plt.x_min + (x - state.wkwn.x_min) * state.wkwn_plt.x, DEVICE_LIMIT); }

float yNDC_ps(float y) { return clamp(state.plt.y_min + (y - state.wkwn.y_min) * state.wkwn_plt.y, DEVICE_LIMIT); }

float xW_p(float x) { return xNDC_p(xW_NDC(x)); }

float yW_p(float y) { return yNDC_p(yW_NDC(y)); }

void gW_xpoints(int n, const Gpt* pts, XPoint* out) {
  /* The two stages of xW_p and yW_p with their terms in locals: the same
   * operations in the same order, so the same pixels, without two calls
   * and a reload of the state per coordinate. */
  const float wn_x = state.cur_wn.x_min, wn_y = state.cur_wn.y_min;
  const float vp_x = state.cur_vp.x_min, vp_y = state.cur_vp.y_min;
  const float sx = state.wn_vp.x, sy = state.wn_vp.y;
  const float plt_x = state.plt.x_min, plt_y = state.plt.y_min;
  const float wk_x = state.wkwn.x_min, wk_y = state.wkwn.y_max;
  const float kx = state.wkwn_plt.x, ky = state.wkwn_plt.y;
  int i = 0;
#if defined(__SSE2__)
  /* Two points a step, as x y x y. The y stage's (wk_y - ny) * ky is
   * (ny - wk_y) * -ky exactly (a difference and a product only change
   * sign), so both axes take one form. The clamp keeps a NaN (the
   * maximum and minimum return their second operand for one), which then
   * becomes 0 as gx_pixel makes it; every other value is within the
   * 16 bits after the clamp, and the conversion truncates as the cast
   * does. */
  const __m128 wn = _mm_setr_ps(wn_x, wn_y, wn_x, wn_y), vp = _mm_setr_ps(vp_x, vp_y, vp_x, vp_y);
  const __m128 s = _mm_setr_ps(sx, sy, sx, sy), wk = _mm_setr_ps(wk_x, wk_y, wk_x, wk_y);
  const __m128 plt = _mm_setr_ps(plt_x, plt_y, plt_x, plt_y), k = _mm_setr_ps(kx, -ky, kx, -ky);
  const __m128 lo = _mm_set1_ps(-PIXEL_LIMIT), hi = _mm_set1_ps(PIXEL_LIMIT), half = _mm_set1_ps(0.5f);
  for (; i + 2 <= n; i += 2) {
    __m128 p;
    std::memcpy(&p, pts + i, sizeof p);
    const __m128 nd = _mm_add_ps(vp, _mm_mul_ps(_mm_sub_ps(p, wn), s));
    __m128 d = _mm_add_ps(plt, _mm_mul_ps(_mm_sub_ps(nd, wk), k));
    d = _mm_add_ps(_mm_min_ps(hi, _mm_max_ps(lo, d)), half);
    d = _mm_and_ps(d, _mm_cmpord_ps(d, d));
    const __m128i words = _mm_packs_epi32(_mm_cvttps_epi32(d), _mm_setzero_si128());
    std::memcpy(out + i, &words, 2 * sizeof(XPoint));
  }
#endif
  for (; i < n; ++i) {
    const float nx = vp_x + (pts[i].x - wn_x) * sx;
    const float ny = vp_y + (pts[i].y - wn_y) * sy;
    out[i].x = gx_pixel(clamp(plt_x + (nx - wk_x) * kx, PIXEL_LIMIT) + 0.5f);
    out[i].y = gx_pixel(clamp(plt_y + (wk_y - ny) * ky, PIXEL_LIMIT) + 0.5f);
  }
}

float xW_ps(float x) { return xNDC_ps(xW_NDC(x)); }

float yW_ps(float y) { return yNDC_ps(yW_NDC(y)); }

/* The steps of xW_ps and yW_ps written out, with the transformation held
 * in locals, so that a batch is converted without a call per number. */
void gW_ps_points(int n, const Gpt* world, Gpt* device) {
  const Coords wn = state.cur_wn, vp = state.cur_vp, wk = state.wkwn, plt = state.plt;
  const Scale a = state.wn_vp, b = state.wkwn_plt;
  int i = 0;
#if defined(__SSE2__)
  /* Two points a step with the same operations; the clamp keeps a NaN as
   * std::clamp does (the maximum and minimum return their second operand
   * for one). */
  const __m128 wn4 = _mm_setr_ps(wn.x_min, wn.y_min, wn.x_min, wn.y_min);
  const __m128 vp4 = _mm_setr_ps(vp.x_min, vp.y_min, vp.x_min, vp.y_min);
  const __m128 wk4 = _mm_setr_ps(wk.x_min, wk.y_min, wk.x_min, wk.y_min);
  const __m128 plt4 = _mm_setr_ps(plt.x_min, plt.y_min, plt.x_min, plt.y_min);
  const __m128 a4 = _mm_setr_ps(a.x, a.y, a.x, a.y), b4 = _mm_setr_ps(b.x, b.y, b.x, b.y);
  const __m128 lo = _mm_set1_ps(-DEVICE_LIMIT), hi = _mm_set1_ps(DEVICE_LIMIT);
  for (; i + 2 <= n; i += 2) {
    __m128 p;
    std::memcpy(&p, world + i, sizeof p);
    const __m128 nd = _mm_add_ps(vp4, _mm_mul_ps(_mm_sub_ps(p, wn4), a4));
    const __m128 d = _mm_add_ps(plt4, _mm_mul_ps(_mm_sub_ps(nd, wk4), b4));
    const __m128 c = _mm_min_ps(hi, _mm_max_ps(lo, d));
    std::memcpy(device + i, &c, sizeof c);
  }
#endif
  for (; i < n; ++i) {
    const float nx = vp.x_min + (world[i].x - wn.x_min) * a.x;
    const float ny = vp.y_min + (world[i].y - wn.y_min) * a.y;
    device[i] = Gpt{clamp(plt.x_min + (nx - wk.x_min) * b.x, DEVICE_LIMIT),
                    clamp(plt.y_min + (ny - wk.y_min) * b.y, DEVICE_LIMIT)};
  }
}

float xp_W(float px) {
  if (state.wkwn_plt.x == 0 || state.wn_vp.x == 0) return KEZ_FMISS;
  return state.cur_wn.x_min +
         (state.wkwn.x_min + (px - state.plt.x_min) / state.wkwn_plt.x - state.cur_vp.x_min) / state.wn_vp.x;
}

float yp_W(float py) {
  if (state.wkwn_plt.y == 0 || state.wn_vp.y == 0) return KEZ_FMISS;
  return state.cur_wn.y_min +
         (state.wkwn.y_max - (py - state.plt.y_min) / state.wkwn_plt.y - state.cur_vp.y_min) / state.wn_vp.y;
}

float xW_trans(float x, int t1, int t2) {
  if (!valid_tran(t1) || !valid_tran(t2)) return KEZ_FMISS;
  const Coords &w1 = state.wn[static_cast<size_t>(t1)], &v1 = state.vp[static_cast<size_t>(t1)];
  const Coords &w2 = state.wn[static_cast<size_t>(t2)], &v2 = state.vp[static_cast<size_t>(t2)];
  float n = v1.x_min + (x - w1.x_min) * v1.x_ext / w1.x_ext;
  return w2.x_min + (n - v2.x_min) / v2.x_ext * w2.x_ext;
}

float yW_trans(float y, int t1, int t2) {
  if (!valid_tran(t1) || !valid_tran(t2)) return KEZ_FMISS;
  const Coords &w1 = state.wn[static_cast<size_t>(t1)], &v1 = state.vp[static_cast<size_t>(t1)];
  const Coords &w2 = state.wn[static_cast<size_t>(t2)], &v2 = state.vp[static_cast<size_t>(t2)];
  float n = v1.y_min + (y - w1.y_min) * v1.y_ext / w1.y_ext;
  return w2.y_min + (n - v2.y_min) / v2.y_ext * w2.y_ext;
}

Gint ginit_tran(int type) {
  const InitClass* cls = nullptr;
  for (const InitClass& c : init_classes)
    if (c.type == type) cls = &c;
  if (cls && cls->reset) reset_transformations();

  int width = 0, height = 0;
  gget_win_size(&width, &height);
  state.wkvp = make_coords(0, 0, static_cast<float>(width - 1), static_cast<float>(height - 1));
  fit_plot();
  compute_wn_vp();
  compute_clip_rect();
  if (cls && cls->device_clip) emit_device_clip();
  return 0;
}

Gint gset_ws_win(Gint ws_id, const Glim* lim) {
  if (!usable_rect(lim)) {
    gerr_printf("gset_ws_win", "invalid workstation window\n");
    return -1;
  }
  grecord("WS_WIN %d %f %f %f %f\n", ws_id, static_cast<double>(lim->x_min), static_cast<double>(lim->y_min),
          static_cast<double>(lim->x_max), static_cast<double>(lim->y_max));
  gnew_obj(GOBJ_WS_WIN, ws_id, sizeof(Glim), lim);
  state.wkwn = from_lim(*lim);
  fit_plot();
  compute_wn_vp();
  update_clip();
  return 0;
}

Gint gset_ws_vp(Gint ws_id, const Glim* lim) {
  if (!usable_rect(lim)) {
    gerr_printf("gset_ws_vp", "invalid workstation viewport\n");
    return -1;
  }
  grecord("WS_VP %d %f %f %f %f\n", ws_id, static_cast<double>(lim->x_min), static_cast<double>(lim->y_min),
          static_cast<double>(lim->x_max), static_cast<double>(lim->y_max));
  gnew_obj(GOBJ_WS_VP, ws_id, sizeof(Glim), lim);
  state.wkvp = from_lim(*lim);
  fit_plot();
  compute_wn_vp();
  update_clip();
  return 0;
}

Gint gsel_norm_tran(Gint n) {
  if (!valid_tran(n)) {
    gerr_printf("gsel_norm_tran", "invalid transformation number: %d\n", n);
    return -1;
  }
  if (n == state.cur_trans) return 0;
  grecord("TR %d\n", n);
  gnew_obj(GOBJ_SEL_TRAN, n, 0, nullptr);
  state.cur_trans = n;
  state.cur_vp = state.vp[static_cast<size_t>(n)];
  state.cur_wn = state.wn[static_cast<size_t>(n)];
  compute_wn_vp();
  update_clip();
  return 0;
}

Gint gset_win(Gint n, const Glim* lim) {
  if (!valid_tran(n)) {
    gerr_printf("gset_win", "invalid transformation number: %d\n", n);
    return -1;
  }
  if (!usable_rect(lim)) {
    gerr_printf("gset_win", "invalid window of transformation %d\n", n);
    return -1;
  }
  grecord("WIN %d %f %f %f %f\n", n, static_cast<double>(lim->x_min), static_cast<double>(lim->y_min),
          static_cast<double>(lim->x_max), static_cast<double>(lim->y_max));
  gnew_obj(GOBJ_WIN, n, sizeof(Glim), lim);
  state.wn[static_cast<size_t>(n)] = from_lim(*lim);
  if (n == state.cur_trans) {
    state.cur_wn = state.wn[static_cast<size_t>(n)];
    compute_wn_vp();
  }
  return 0;
}

Gint gset_vp(Gint n, const Glim* lim) {
  if (!valid_tran(n)) {
    gerr_printf("gset_vp", "invalid transformation number: %d\n", n);
    return -1;
  }
  if (!usable_rect(lim)) {
    gerr_printf("gset_vp", "invalid viewport of transformation %d\n", n);
    return -1;
  }
  grecord("VP %d %f %f %f %f\n", n, static_cast<double>(lim->x_min), static_cast<double>(lim->y_min),
          static_cast<double>(lim->x_max), static_cast<double>(lim->y_max));
  gnew_obj(GOBJ_VP, n, sizeof(Glim), lim);
  state.vp[static_cast<size_t>(n)] = from_lim(*lim);
  if (n == state.cur_trans) {
    state.cur_vp = state.vp[static_cast<size_t>(n)];
    compute_wn_vp();
    update_clip();
  }
  return 0;
}

Gint ginq_norm_tran(Gint n, Gint* err_ind, Gtran* tran) {
  if (!valid_tran(n) || !tran) return -1;
  tran->win = to_lim(state.wn[static_cast<size_t>(n)]);
  tran->vp = to_lim(state.vp[static_cast<size_t>(n)]);
  if (err_ind) *err_ind = 0;
  return 0;
}

Gint ginq_cur_norm_tran_num(Gint* err_ind, Gint* n) {
  if (err_ind) *err_ind = 0;
  if (n) *n = state.cur_trans;
  return 0;
}

Gint ginq_disp_space_size(Gws_type, Gint* err_ind, Gdsp_size* size) {
  int width = 0, height = 0;
  gget_win_size(&width, &height);
  if (size) {
    size->coord_units = GOTHER_UNIT;
    size->coord_size = Gpt{static_cast<Gfloat>(width - 1), static_cast<Gfloat>(height - 1)};
    size->ras_size = Gint_pt{width, height};
  }
  if (err_ind) *err_ind = 0;
  return 0;
}

Gint gget_gviewport(Grectangle* rect) {
  if (!rect || gdevice().record) return 0; /* the metafiles keep world coordinates */
  if (gtype_is_PS() || gtype_is_HPGL()) {
    rect->x = static_cast<int>(xNDC_ps(state.cur_vp.x_min));
    rect->width = static_cast<int>(xNDC_ps(state.cur_vp.x_max) - static_cast<float>(rect->x) + 1.5f);
    rect->y = static_cast<int>(yNDC_ps(state.cur_vp.y_min));
    rect->height = static_cast<int>(yNDC_ps(state.cur_vp.y_max) - static_cast<float>(rect->y) + 1.5f);
    return 0;
  }
  compute_clip_rect();
  rect->x = state.clip_rect.x;
  rect->y = state.clip_rect.y;
  rect->width = state.clip_rect.width;
  rect->height = state.clip_rect.height;
  return 0;
}

/* Touching the window counts as inside. The window's bounds are ordered
 * first, so that a window given from right to left tests the same area. */
Gint gget_xviewport(XRectangle* rect) {
  if (!rect) return 0;
  compute_clip_rect();
  *rect = x_clip_rect();
  return 0;
}

namespace {

/* std::isfinite from the exponent field, so that a pass over a primitive's
 * points is a few integer operations a point without a branch. */
inline bool finite_bits(float v) {
  constexpr std::uint32_t EXPONENT = 0x7f800000u;
  return (std::bit_cast<std::uint32_t>(v) & EXPONENT) != EXPONENT;
}

} // namespace

bool gfinite_pt(const Gpt& p) { return finite_bits(p.x) && finite_bits(p.y); }

int gcount_nonfinite(int n, const Gpt* pts) {
  if (!pts) return 0;
  int bad = 0;
  int i = 0;
#if defined(__SSE2__)
  /* Two points a step: a lane whose exponent field is all ones is not
   * finite, and a point is bad when either of its lanes is; almost every
   * primitive has none. */
  const __m128i exponent = _mm_set1_epi32(0x7f800000);
  for (; i + 2 <= n; i += 2) {
    __m128i p;
    std::memcpy(&p, pts + i, sizeof p);
    const int lanes = _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(_mm_and_si128(p, exponent), exponent)));
    if (lanes != 0) bad += ((lanes & 3) != 0 ? 1 : 0) + ((lanes & 12) != 0 ? 1 : 0);
  }
#endif
  for (; i < n; ++i) bad += (finite_bits(pts[i].x) & finite_bits(pts[i].y)) ? 0 : 1;
  return bad;
}

/* Non-finite points are refused: min and max pass over a NaN that is not
 * first. The bounds and the refusal come from one pass; the bounds of a
 * refused set are not used. */
Gint gpts_in_win(int n, const Gpt* pts) {
  if (n < 1 || !pts) return 0;
  float x_lo = pts[0].x, x_hi = pts[0].x, y_lo = pts[0].y, y_hi = pts[0].y;
  bool finite = true;
  int i = 0;
#if defined(__SSE2__)
  /* Two points a step, lanes x y x y; the bounds of finite points are the
   * same whichever way they are folded. */
  const __m128i exponent = _mm_set1_epi32(0x7f800000);
  __m128 lo = _mm_setr_ps(x_lo, y_lo, x_lo, y_lo), hi = lo;
  __m128i bad = _mm_setzero_si128();
  for (; i + 2 <= n; i += 2) {
    __m128 p;
    std::memcpy(&p, pts + i, sizeof p);
    bad = _mm_or_si128(bad, _mm_cmpeq_epi32(_mm_and_si128(_mm_castps_si128(p), exponent), exponent));
    lo = _mm_min_ps(lo, p);
    hi = _mm_max_ps(hi, p);
  }
  finite = _mm_movemask_epi8(bad) == 0;
  alignas(16) float l[4], h[4];
  _mm_store_ps(l, lo);
  _mm_store_ps(h, hi);
  x_lo = std::min(l[0], l[2]);
  y_lo = std::min(l[1], l[3]);
  x_hi = std::max(h[0], h[2]);
  y_hi = std::max(h[1], h[3]);
#endif
  for (; i < n; ++i) {
    finite &= finite_bits(pts[i].x) & finite_bits(pts[i].y);
    x_lo = std::min(x_lo, pts[i].x);
    x_hi = std::max(x_hi, pts[i].x);
    y_lo = std::min(y_lo, pts[i].y);
    y_hi = std::max(y_hi, pts[i].y);
  }
  if (!finite) return 0;
  const Coords& w = state.cur_wn;
  const float wx_lo = std::min(w.x_min, w.x_max), wx_hi = std::max(w.x_min, w.x_max);
  const float wy_lo = std::min(w.y_min, w.y_max), wy_hi = std::max(w.y_min, w.y_max);
  return (x_hi >= wx_lo && x_lo <= wx_hi && y_hi >= wy_lo && y_lo <= wy_hi) ? 1 : 0;
}

Gint gprint_win() {
  const Coords& c = state.cur_wn;
  MESS_print(M_print, "C-%d: %7.3f %7.3f %7.3f %7.3f\n", state.cur_trans, c.x_min, c.x_max, c.y_min, c.y_max);
  for (int i = 0; i < 4; ++i) {
    const Coords& w = state.wn[static_cast<size_t>(i)];
    MESS_print(M_print, "W-%d: %7.3f %7.3f %7.3f %7.3f\n", i, w.x_min, w.x_max, w.y_min, w.y_max);
  }
  return 0;
}

Gint greset_clip() { return 0; }

Gint gset_tran_mult(float x, float y) {
  state.xmult = x;
  state.ymult = y;
  return 0;
}
