/*
 * gks_colr: the kernel's colour table.
 *
 * 257 entries: 0 to 255 drawing colours and 256 the background, each with
 * its components and the device's pixel value. The page layer copies the
 * named colours into the table with gset_colr_rep; the image module asks
 * galloc_colr for an index near a colour; the primitives and writers read
 * the components back. On the file devices an entry that was never marked
 * undefined (-1) counts as defined, so a fresh process starts with 257 black
 * entries.
 *
 * Invariant: no index outside 0 to 256 is ever stored; the find-or-append
 * path of galloc_colr appends only up to 255 and takes the nearest defined
 * colour once the drawing colours are used up.
 */
#include <array>
#include <cmath>
#include <string>

#include "kez.h"
#include "kezgks.h"

namespace {

constexpr int NUM_ENTRIES = 257;
constexpr int BACKGROUND = 256;
constexpr int LAST_DRAWING = 255;
constexpr M_type DEBUG_LEVEL = 0x40000000;
constexpr int UNDEFINED = -1;
constexpr int DEFINED_ON_PS = -2; /* defined while PostScript is the device: no pixel */

struct ColourState {
  std::array<int, NUM_ENTRIES> color_ind{}; /* pixel value; -1 undefined */
  std::array<float, NUM_ENTRIES> red{}, grn{}, blu{};
  int max_color_ind = 0;  /* highest drawing colour (0 to 255) defined so far */
  std::string background; /* background text from gset_background */
  int local_cmap = 0;
  int rw_colors = 1;
  int inverse = 0;
};

ColourState state;

bool is_print_colour(int ind) { return ind >= 500 && ind <= 508; }

/* -1 names the background. */
int entry_of(int ind) { return ind == -1 ? BACKGROUND : ind; }

bool in_table(int ind) { return ind >= 0 && ind < NUM_ENTRIES; }

float unit(float v) { return v > 0 ? (v < 1 ? v : 1.0f) : 0.0f; }

float distance(int ind, float r, float g, float b) {
  const size_t i = static_cast<size_t>(ind);
  return std::fabs(r - state.red[i]) + std::fabs(g - state.grn[i]) + std::fabs(b - state.blu[i]);
}

/* An index for a colour: the last defined entry within 0.01, else a new
 * one after the highest so far, else (the drawing colours used up) the
 * nearest defined entry. */
int find_or_append(float r, float g, float b) {
  int found = -1;
  for (int i = 0; i <= state.max_color_ind; ++i)
    if (state.color_ind[static_cast<size_t>(i)] != UNDEFINED && gis_color_near(i, r, g, b, 0)) found = i;
  if (found >= 0) {
    MESS_print(DEBUG_LEVEL, "Used existing ind: %d (%.2f %.2f %.2f)\n", found, r, g, b);
    return found;
  }
  if (state.max_color_ind < LAST_DRAWING) {
    int ind = ++state.max_color_ind;
    MESS_print(DEBUG_LEVEL, "Allocated new ind: %d (%.2f %.2f %.2f)\n", ind, r, g, b);
    return ind;
  }
  int nearest = 0;
  float best = 4;
  for (int i = 0; i <= LAST_DRAWING; ++i) {
    if (state.color_ind[static_cast<size_t>(i)] == UNDEFINED) continue;
    float d = distance(i, r, g, b);
    if (d < best) {
      best = d;
      nearest = i;
    }
  }
  MESS_print(DEBUG_LEVEL, "Used nearest ind: %d (%.2f %.2f %.2f)\n", nearest, r, g, b);
  return nearest;
}

} // namespace

Gint gset_colr_rep(Gint ws_id, Gint ind, const Gcolr_rep* rep) {
  if (!gchk_graphics()) {
    gerr_printf("gset_colr_rep", "GKS not opened\n");
    return -1;
  }
  if (is_print_colour(ind)) return 0;
  if (!gis_valid_colr(ind) || !rep) {
    gerr_printf("gset_colr_rep", "invalid color index: %d\n", ind);
    return -1;
  }
  ind = entry_of(ind);
  if (gtype_is_META()) {
    gmeta_printf("CLR %d %d %f %f %f\n", ws_id, ind, rep->red, rep->green, rep->blue);
    return 0;
  }
  gnew_obj(20, ind, sizeof(Gcolr_rep), rep);
  galloc_colr(ind, rep->red, rep->green, rep->blue);
  return 0;
}

int galloc_colr(int ind, float r, float g, float b) {
  if (ind >= NUM_ENTRIES) {
    gerr_printf("galloc_colr", "invalid color index: %d\n", ind);
    return -1;
  }
  r = unit(r);
  g = unit(g);
  b = unit(b);
  /* The background is no drawing colour: defining it leaves the room for
   * appended colours as it was. */
  if (ind > state.max_color_ind && ind <= LAST_DRAWING) state.max_color_ind = ind;
  if (ind < 0) ind = find_or_append(r, g, b);
  const size_t i = static_cast<size_t>(ind);
  state.red[i] = r;
  state.grn[i] = g;
  state.blu[i] = b;
  gps_set_color_rep(ind, r, g, b);
  if (gtype_is_PS() && state.color_ind[i] == UNDEFINED) state.color_ind[i] = DEFINED_ON_PS;
  return 1;
}

int gis_valid_colr(int ind) { return (in_table(ind) || ind == -1 || is_print_colour(ind)) ? 1 : 0; }

int gis_color_near(int ind, float r, float g, float b, int flag) {
  if (ind == -1) return 0;
  if (flag) {
    int pixel = ind;
    ind = -1;
    for (int i = 0; i < NUM_ENTRIES; ++i)
      if (state.color_ind[static_cast<size_t>(i)] == pixel) ind = i;
  }
  if (!in_table(ind)) return 0;
  return distance(ind, r, g, b) < 0.01f ? 1 : 0;
}

int gget_color_ind(int ind) {
  ind = entry_of(ind);
  return in_table(ind) ? state.color_ind[static_cast<size_t>(ind)] : UNDEFINED;
}

int gget_color_rgb(int ind, float* r, float* g, float* b) {
  ind = entry_of(ind);
  if (!in_table(ind)) {
    if (r) *r = 0;
    if (g) *g = 0;
    if (b) *b = 0;
    return 0;
  }
  const size_t i = static_cast<size_t>(ind);
  if (r) *r = state.red[i];
  if (g) *g = state.grn[i];
  if (b) *b = state.blu[i];
  return 1;
}

int gget_color_rgb256(int ind, int* r, int* g, int* b) {
  float fr = 0, fg = 0, fb = 0;
  int ok = gget_color_rgb(ind, &fr, &fg, &fb);
  if (r) *r = static_cast<int>(fr * 255);
  if (g) *g = static_cast<int>(fg * 255);
  if (b) *b = static_cast<int>(fb * 255);
  return ok;
}

int gget_back_color() { return state.color_ind[BACKGROUND]; }

int gget_max_colr() { return state.max_color_ind; }

/* PostScript draws on white paper; the window devices take the colour text
 * of the "background" setting. */
int ginit_background() {
  if (gtype_is_PS()) {
    state.red[BACKGROUND] = 1;
    state.grn[BACKGROUND] = 1;
    state.blu[BACKGROUND] = 1;
  }
  return 1;
}

int gset_background(const char* text) {
  state.background = text ? std::string(text).substr(0, 49) : std::string();
  return 1;
}

int gset_local_colormap(int val) {
  state.local_cmap = val;
  return 1;
}

int gset_rw_colors(int val) {
  state.rw_colors = val;
  return 0;
}

int gset_inverse(int val) {
  state.inverse = val;
  return 0;
}

int gget_inverse() { return state.inverse; }

int gcheck_setter_colr(const char* setter, int* ind) {
  if (!gis_valid_colr(*ind)) {
    gerr_printf(setter, "invalid color index: %d\n", *ind);
    return -1;
  }
  if (gtype_is_WIN_PIX() && is_print_colour(*ind)) *ind = 1;
  if (!is_print_colour(*ind) && gget_color_ind(*ind) == UNDEFINED) {
    gerr_printf(setter, "color index not initialized\n");
    return -1;
  }
  return 0;
}
