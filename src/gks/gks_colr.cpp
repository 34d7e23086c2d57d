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
 * On the window devices every entry also holds an X pixel: a read-write
 * cell where the visual allows it (so that redefining a colour recolours
 * what was drawn in it), else a shared colour, in the screen's default
 * colormap or a private one. ginit_xcolr marks every pixel undefined at each
 * open of a window device. On a true-colour visual the colormap is fixed, so
 * the pixel and the colour the server would give are computed here without
 * a round trip (see fixed_colour); a server whose fixed colormap answers a
 * probe otherwise is asked for every colour instead.
 *
 * Invariant: no index outside 0 to 256 is ever stored; the find-or-append
 * path of galloc_colr appends only up to 255 and takes the nearest defined
 * colour once the drawing colours are used up.
 */
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "kez.h"
#include "kezgks_x11.h"

namespace {

constexpr int NUM_ENTRIES = 257;
constexpr int BACKGROUND = 256;
constexpr int LAST_DRAWING = 255;
constexpr M_type DEBUG_LEVEL = 0x40000000;
constexpr int UNDEFINED = -1;
constexpr int DEFINED_ON_PS = -2; /* defined while PostScript is the device: no pixel */

/* Computing true-colour pixels: not yet compared with the server on this
 * colormap, compared and equal, compared and different (ask the server). */
constexpr int TC_UNPROBED = 0;
constexpr int TC_LOCAL = 1;
constexpr int TC_ASK = 2;

struct ColourState {
  std::array<int, NUM_ENTRIES> color_ind{}; /* pixel value; -1 undefined */
  std::array<float, NUM_ENTRIES> red{}, grn{}, blu{};
  int max_color_ind = 0;  /* highest drawing colour (0 to 255) defined so far */
  std::string background; /* background text from gset_background */
  int local_cmap = 0;
  int rw_colors = 1; /* read-write cells; falls to 0 when none can be had */
  int inverse = 0;
  Colormap def_colormap = 0;     /* the screen's default colormap */
  Colormap user_colormap = 0;    /* a private colormap, or the foreign window's */
  bool own_colormap = false;     /* user_colormap was made here */
  int true_colour = TC_UNPROBED; /* whether true-colour pixels are computed here */
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

/* ---- X colours ----------------------------------------------------------- */

bool on_window() { return gtype_is_WIN_PIX() && gget_display(); }

unsigned short x_component(float v) { return static_cast<unsigned short>(static_cast<int>(v * 65535.0f)); }

/* One read-write cell, where the visual has writable colormaps at all. The
 * server's refusal is expected there and is not printed. */
Status alloc_rw_cell(Display* d, Colormap cmap, unsigned long* pixel) {
  const Visual* visual = gget_visual();
  if (!visual || !(visual->c_class & 1)) return 0;
  const int print = gset_xerror_print(0);
  const Status status = XAllocColorCells(d, cmap, False, nullptr, 0, pixel, 1);
  XSync(d, False);
  gset_xerror_print(print);
  return status;
}

/* A shared colour; when the colormap has no room for it, the nearest colour
 * that the colormap holds. */
void alloc_shared(Display* d, Colormap cmap, XColor* color) {
  /* The server refuses a full colormap with an error that is expected here. */
  const int print = gset_xerror_print(0);
  const Status allocated = XAllocColor(d, cmap, color);
  gset_xerror_print(print);
  if (allocated) return;
  const Visual* visual = gget_visual();
  const int n = visual ? std::clamp(visual->map_entries, 0, 4096) : 0;
  if (n <= 0) return;
  std::vector<XColor> cells(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) cells[static_cast<std::size_t>(i)].pixel = static_cast<unsigned long>(i);
  XQueryColors(d, cmap, cells.data(), n);
  auto dist = [color](const XColor& c) {
    const long long dr = c.red - color->red, dg = c.green - color->green, db = c.blue - color->blue;
    return dr * dr + dg * dg + db * db;
  };
  const XColor* best = &cells[0];
  for (const XColor& c : cells)
    if (dist(c) < dist(*best)) best = &c;
  XColor nearest = *best;
  nearest.flags = DoRed | DoGreen | DoBlue;
  /* A reference to the cell when it is shareable; else its pixel all the same. */
  gset_xerror_print(0);
  color->pixel = XAllocColor(d, cmap, &nearest) ? nearest.pixel : best->pixel;
  gset_xerror_print(print);
  MESS_print(DEBUG_LEVEL, "Used nearest X Color: %d (%5d %5d %5d) for (%5d %5d %5d)\n", static_cast<int>(color->pixel),
             best->red, best->green, best->blue, color->red, color->green, color->blue);
}

/* ---- true-colour pixels without a round trip ------------------------------
 *
 * A TrueColor visual's colormap is read-only: each channel is a ramp of
 * levels 0 to top (the mask shifted down), level i holding the 16-bit value
 * ((i * 65535 / top) >> (16 - bits)) * 65535 / lim, where bits is the
 * visual's bits per RGB value and lim = 2^bits - 1. A request is first
 * resolved to those bits and then takes, channel by channel, the nearest
 * level, the lower one on a tie. That is what the server answers to
 * XAllocColor, so the kernel computes pixel and colour itself. Once per
 * colormap a probe colour is also asked of the server; should it answer
 * otherwise (a server with a corrected ramp), the server is asked for
 * every colour from then on. */

constexpr unsigned long MAX_RAMP_TOP = 0xFFFF;
/* Components just off the levels of 5-, 6-, 8- and 10-bit ramps, where
 * truncating, rounding and the nearest resolved level disagree. */
constexpr unsigned short PROBE_RED = 0xFF00, PROBE_GREEN = 0x0508, PROBE_BLUE = 0x8180;

struct Channel {
  int shift = 0;
  unsigned long top = 0; /* highest level; 0 for an empty mask */
};

Channel channel_of(unsigned long mask) {
  Channel c;
  if (!mask) return c;
  while (!((mask >> c.shift) & 1)) ++c.shift;
  c.top = mask >> c.shift;
  return c;
}

unsigned short ramp_level(unsigned long i, unsigned long top, int bits) {
  const unsigned long lim = (1ul << bits) - 1;
  return static_cast<unsigned short>((((i * 65535) / top) >> (16 - bits)) * 65535 / lim);
}

/* The level nearest to a resolved request, and its value in *value. */
unsigned long nearest_level(unsigned short want, const Channel& c, int bits, unsigned short* value) {
  const unsigned long lim = (1ul << bits) - 1;
  const long resolved = static_cast<long>((static_cast<unsigned long>(want) >> (16 - bits)) * 65535 / lim);
  unsigned long best = 0;
  long best_d = -1;
  for (unsigned long i = 0; i <= c.top; ++i) {
    const long level = ramp_level(i, c.top, bits);
    const long d = (level - resolved) * (level - resolved);
    if (best_d < 0 || d < best_d) {
      best_d = d;
      best = i;
      *value = static_cast<unsigned short>(level);
    }
  }
  return best;
}

/* The visual's three channels and bits per RGB value, when its colormap is
 * a fixed true-colour one that fits the computation. */
bool true_colour_channels(std::array<Channel, 3>* channels, int* bits) {
  const Visual* visual = gget_visual();
  if (!visual || visual->c_class != TrueColor || visual->bits_per_rgb < 1 || visual->bits_per_rgb > 16) return false;
  *channels = {channel_of(visual->red_mask), channel_of(visual->green_mask), channel_of(visual->blue_mask)};
  for (const Channel& c : *channels)
    if (c.top == 0 || c.top > MAX_RAMP_TOP) return false;
  *bits = visual->bits_per_rgb;
  return true;
}

/* Pixel and colour of a true-colour request, as the server computes them. */
bool compute_true_colour(XColor* color) {
  std::array<Channel, 3> ch;
  int bits = 0;
  if (!true_colour_channels(&ch, &bits)) return false;
  const unsigned short want[3] = {color->red, color->green, color->blue};
  unsigned short got[3] = {0, 0, 0};
  unsigned long pixel = 0;
  for (std::size_t k = 0; k < 3; ++k) pixel |= nearest_level(want[k], ch[k], bits, &got[k]) << ch[k].shift;
  color->pixel = pixel;
  color->red = got[0];
  color->green = got[1];
  color->blue = got[2];
  return true;
}

/* The colour of a true-colour pixel. */
bool compute_pixel_colour(XColor* color) {
  std::array<Channel, 3> ch;
  int bits = 0;
  if (!true_colour_channels(&ch, &bits)) return false;
  unsigned short* out[3] = {&color->red, &color->green, &color->blue};
  for (std::size_t k = 0; k < 3; ++k) *out[k] = ramp_level((color->pixel >> ch[k].shift) & ch[k].top, ch[k].top, bits);
  return true;
}

/* Whether true-colour pixels of the current colormap are computed here;
 * the first call per colormap asks the server for the probe colour. */
bool computes_true_colour() {
  if (state.true_colour == TC_ASK) return false;
  XColor mine{};
  mine.red = PROBE_RED;
  mine.green = PROBE_GREEN;
  mine.blue = PROBE_BLUE;
  mine.flags = DoRed | DoGreen | DoBlue;
  XColor server = mine;
  if (!compute_true_colour(&mine)) return false;
  if (state.true_colour == TC_LOCAL) return true;
  const int print = gset_xerror_print(0);
  const Status allocated = XAllocColor(gget_display(), gget_colormap(), &server);
  gset_xerror_print(print);
  const bool same = allocated && server.pixel == mine.pixel && server.red == mine.red && server.green == mine.green &&
                    server.blue == mine.blue;
  state.true_colour = same ? TC_LOCAL : TC_ASK;
  MESS_print(DEBUG_LEVEL, "True colour computed here: %d\n", same ? 1 : 0);
  return same;
}

/* A shared colour without asking the server, where the colormap is fixed:
 * pixel and obtained components in *color. */
bool fixed_colour(XColor* color) { return computes_true_colour() && compute_true_colour(color); }

/* The X side of galloc_colr: the entry's pixel for (r, g, b). */
int x_alloc(int ind, float r, float g, float b) {
  Display* d = gget_display();
  const Colormap cmap = gget_colormap();
  XColor want{};
  want.red = x_component(r);
  want.green = x_component(g);
  want.blue = x_component(b);
  want.flags = DoRed | DoGreen | DoBlue;
  int& entry = state.color_ind[static_cast<std::size_t>(ind)];
  const char* what = nullptr;
  if (entry < 0) {
    if (state.rw_colors) {
      unsigned long pixel = 0;
      const Status status = alloc_rw_cell(d, cmap, &pixel);
      MESS_print(DEBUG_LEVEL, "Allocated RW Cells: %d\n", static_cast<int>(status));
      if (status)
        want.pixel = pixel;
      else
        state.rw_colors = 0;
    }
    if (state.rw_colors) {
      XStoreColor(d, cmap, &want);
      what = "Stored new RW Cells";
    } else {
      if (!fixed_colour(&want)) alloc_shared(d, cmap, &want);
      what = "Allocated new RW Cells";
    }
  } else if (state.rw_colors) {
    want.pixel = static_cast<unsigned long>(entry);
    XStoreColor(d, cmap, &want);
    what = "Stored RW Cells";
  } else {
    if (!fixed_colour(&want)) alloc_shared(d, cmap, &want);
    what = "Allocated RW Cells";
  }
  /* The read-back only feeds the trace: two round trips per colour. */
  if (MESS_check(DEBUG_LEVEL)) {
    gsync();
    XColor got{};
    got.pixel = want.pixel;
    XQueryColor(d, cmap, &got);
    MESS_print(DEBUG_LEVEL, "%s: %d %d (%.2f %.2f %.2f) (%5d %5d %5d)\n", what, ind, static_cast<int>(want.pixel), r, g,
               b, got.red, got.green, got.blue);
  }
  entry = static_cast<int>(want.pixel);
  return entry;
}

/* The attribute contexts whose colour follows a redefined entry. */
struct ColourContext {
  int (*colour)();
  GC (*gc)();
};

constexpr ColourContext colour_contexts[] = {
    {gget_line_colr, gget_line_gc},
    {gget_text_colr, gget_text_gc},
    {gget_marker_colr, gget_marker_gc},
    {gget_fill_colr, gget_fill_gc},
};

void recolour_contexts(int ind) {
  Display* d = gget_display();
  const int pixel = state.color_ind[static_cast<std::size_t>(ind)];
  for (const ColourContext& c : colour_contexts) {
    GC gc = c.gc();
    if (gc && c.colour() == ind) XSetForeground(d, gc, static_cast<unsigned long>(pixel));
  }
}

/* The background when no colour text gives one: the screen's black, or
 * white with inverse colours. */
XColor default_background(Display* d) {
  XColor color{};
  const int screen = gget_screen();
  color.pixel = state.inverse ? WhitePixel(d, screen) : BlackPixel(d, screen);
  if (!(computes_true_colour() && compute_pixel_colour(&color))) XQueryColor(d, state.def_colormap, &color);
  return color;
}

/* A colour name of the colour table first, then the server's colour
 * names and forms. */
void x_background(const std::string& text) {
  Display* d = gget_display();
  XColor color{};
  const int named = text.empty() ? -1 : CLR_get_ind(text.c_str());
  float r = 0, g = 0, b = 0;
  if (text.empty()) {
    color = default_background(d);
  } else if (named >= 0 && named < CLR_get_num() && CLR_get_rgb(named, &r, &g, &b) == 0) {
    color.red = x_component(r);
    color.green = x_component(g);
    color.blue = x_component(b);
  } else if (!XParseColor(d, state.def_colormap, text.c_str(), &color)) {
    MESS_print(M_warn, "ginit_background: unknown background colour: %s\n", text.c_str());
    color = default_background(d);
  }
  color.flags = DoRed | DoGreen | DoBlue;
  const Colormap cmap = gget_colormap();
  if (fixed_colour(&color)) {
    MESS_print(DEBUG_LEVEL, "Allocated BG Color: %d (%5d %5d %5d)\n", static_cast<int>(color.pixel), color.red,
               color.green, color.blue);
  } else {
    alloc_shared(d, cmap, &color);
    MESS_print(DEBUG_LEVEL, "Allocated BG Color: %d (%5d %5d %5d)\n", static_cast<int>(color.pixel), color.red,
               color.green, color.blue);
    /* The nearest colour of a full colormap differs from the one asked for. */
    XQueryColor(d, cmap, &color);
    MESS_print(DEBUG_LEVEL, "Queried BG Color: %d (%5d %5d %5d)\n", static_cast<int>(color.pixel), color.red,
               color.green, color.blue);
  }
  state.color_ind[BACKGROUND] = static_cast<int>(color.pixel);
  state.red[BACKGROUND] = color.red / 65535.0f;
  state.grn[BACKGROUND] = color.green / 65535.0f;
  state.blu[BACKGROUND] = color.blue / 65535.0f;
}

} // namespace

Gint gset_colr_rep(Gint ws_id, Gint ind, const Gcolr_rep* rep) {
  if (!gcheck_open("gset_colr_rep")) return -1;
  if (is_print_colour(ind)) return 0;
  if (!gis_valid_colr(ind) || !rep) {
    gerr_printf("gset_colr_rep", "invalid color index: %d\n", ind);
    return -1;
  }
  ind = entry_of(ind);
  if (grecord("CLR %d %d %f %f %f\n", ws_id, ind, static_cast<double>(rep->red), static_cast<double>(rep->green),
              static_cast<double>(rep->blue)))
    return 0;
  gnew_obj(GOBJ_COLR_REP, ind, sizeof(Gcolr_rep), rep);
  galloc_colr(ind, rep->red, rep->green, rep->blue);
  if (on_window()) recolour_contexts(ind);
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
  if (on_window()) return x_alloc(ind, r, g, b);
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

/* The background entry: the colour text of gset_background, else the
 * "background" setting, else the X default; "none", "def" and "over" ask for
 * the default colour and leave the window as it is. PostScript draws on
 * white paper. */
int ginit_background() {
  std::string text;
  if (const char* setting = RES_get("background")) text = setting;
  if (!state.background.empty()) text = state.background;
  Display* d = gget_display();
  if (text.empty() && d)
    if (const char* x = XGetDefault(d, gget_prog_name(), "background")) text = x;
  bool clear = true;
  for (const char* word : {"none", "def", "over"})
    if (stricmp(text.c_str(), word) == 0) {
      text.clear();
      clear = false;
    }
  if (on_window()) x_background(text);
  if (gtype_is_PS()) {
    state.red[BACKGROUND] = 1;
    state.grn[BACKGROUND] = 1;
    state.blu[BACKGROUND] = 1;
  }
  if (clear && gtype_is_WIN()) gclear_frame(-3);
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
  /* As gis_valid_colr and gget_color_ind, inline: every colour setter of
   * every datum comes here. */
  if (!in_table(*ind) && *ind != -1 && !is_print_colour(*ind)) {
    gerr_printf(setter, "invalid color index: %d\n", *ind);
    return -1;
  }
  if (is_print_colour(*ind)) {
    if (gtype_is_WIN_PIX()) *ind = 1;
  }
  if (!is_print_colour(*ind) && state.color_ind[static_cast<size_t>(entry_of(*ind))] == UNDEFINED) {
    gerr_printf(setter, "color index not initialized\n");
    return -1;
  }
  return 0;
}

/* ---- X colours ----------------------------------------------------------- */

int ginit_xcolr() {
  Display* d = gget_display();
  if (gtype_is_WIN() && d) {
    if (state.local_cmap || std::getenv("LOCAL_CMAP") || std::getenv("kezlocal_cmap")) {
      state.user_colormap = XCreateColormap(d, RootWindow(d, gget_screen()), gget_visual(), AllocNone);
      state.own_colormap = state.user_colormap != 0;
    }
    if (state.user_colormap) XSetWindowColormap(d, gget_root_window(), state.user_colormap);
  }
  if (gtype_is_WIN_PIX()) state.color_ind.fill(UNDEFINED);
  state.true_colour = TC_UNPROBED;
  /* The probe's round trip now, before the window's pixels are painted:
   * asked at the first colour, it would wait for that painting. */
  if (on_window()) computes_true_colour();
  return 0;
}

int gdel_xcolr() {
  if (state.own_colormap && state.user_colormap && gget_display()) XFreeColormap(gget_display(), state.user_colormap);
  state.user_colormap = 0;
  state.own_colormap = false;
  return 0;
}

int gquery_xcolor(int ind) {
  ind = entry_of(ind);
  if (!state.rw_colors || !in_table(ind) || !on_window()) return 0;
  const size_t i = static_cast<size_t>(ind);
  if (state.color_ind[i] < 0) return 0;
  XColor got{};
  got.pixel = static_cast<unsigned long>(state.color_ind[i]);
  XQueryColor(gget_display(), gget_colormap(), &got);
  MESS_print(DEBUG_LEVEL, "Query X Color: %d=%d (%.2f %.2f %.2f) (%5d %5d %5d)\n", ind, state.color_ind[i],
             state.red[i], state.grn[i], state.blu[i], got.red, got.green, got.blue);
  return 0;
}

/* Each channel: the zero bits below its mask give the shift, the one bits
 * above them the width, both counted within the window's depth. */
unsigned long gget_color_rgb_Xval(unsigned int red, unsigned int grn, unsigned int blu) {
  const int depth = std::clamp(gget_win_depth(), 0, 32);
  const unsigned long masks[3] = {gget_red_mask(), gget_grn_mask(), gget_blu_mask()};
  const unsigned int values[3] = {red & 0xFFFFu, grn & 0xFFFFu, blu & 0xFFFFu};
  int shift[3] = {0, 0, 0}, width[3] = {0, 0, 0};
  unsigned long pixel = 0;
  for (int c = 0; c < 3; ++c) {
    while (shift[c] < depth && !((masks[c] >> shift[c]) & 1)) ++shift[c];
    while (shift[c] + width[c] < depth && ((masks[c] >> (shift[c] + width[c])) & 1)) ++width[c];
    width[c] = std::min(width[c], 16);
    pixel |= static_cast<unsigned long>(values[c] >> (16 - width[c])) << shift[c];
  }
  MESS_print(DEBUG_LEVEL, "mask: %d-%d-%d %d-%d-%d %d-%d-%d\n", shift[0], 16 - width[0], (1 << width[0]) - 1, shift[1],
             16 - width[1], (1 << width[1]) - 1, shift[2], 16 - width[2], (1 << width[2]) - 1);
  return pixel;
}

int gset_def_cmap(Colormap map) {
  state.def_colormap = map;
  state.true_colour = TC_UNPROBED;
  return 0;
}

Colormap gget_def_cmap() { return state.def_colormap; }

int gset_user_cmap(Colormap map) {
  state.user_colormap = map;
  state.own_colormap = false;
  state.true_colour = TC_UNPROBED;
  return 0;
}

Colormap gget_user_cmap() { return state.user_colormap; }

Colormap gget_colormap() { return state.user_colormap ? state.user_colormap : state.def_colormap; }
