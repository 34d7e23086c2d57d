/*
 * gks_hpgl: the HPGL writer (device 5), with optional PCL framing.
 *
 * The writer owns the output stream, the prolog and trailer, and the grey,
 * fill shade, pen width and line type in force, with a cache so that an
 * unchanged setting is not written again. The kernel's primitives write
 * their commands through ghpgl_printf and place the pen through ghpgl_move
 * and ghpgl_line. Coordinates are plotter units (1015 to the inch, the plot
 * area offset by 10); a scale option multiplies every coordinate written,
 * the clip window included, about the page origin.
 *
 * The module also fills the device record of HPGL (ghpgl_device): the open
 * with its option table (the page-option grammar of gks_opt), the input
 * window and the writers of the primitives.
 *
 * The options (framing, rotation, scale, base width) are settings that
 * survive from one open to the next, except that ghpgl_init switches the
 * PCL framing back on.
 */
#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "kez.h"
#include "kezgks.h"

namespace {

constexpr int NUM_ENTRIES = 257;

/* What the output has in force. */
struct Cache {
  float gray_level = 0; /* line grey: 0 black, 1 white, 0.7 light grey */
  float fill_level = 0; /* grey of the fill shade */
  float line_width = 1; /* width factor */
  int line_type = 1;
};

struct HpglState {
  FILE* out_file = nullptr;
  std::string name; /* as opened, for the report of a failed write */
  int append = 0;
  int pcl = 1;    /* 0 plain, 1 PCL framing, 2 framing and turned */
  int pr_rot = 0; /* degrees */
  float pr_scale = 1;
  float base_width = 0.2f; /* millimetres */
  int pr_color = 0;        /* kept; the output is grey */
  int pr_rev = 0;
  std::array<float, NUM_ENTRIES> gray{};
  Cache cache;
};

HpglState state;

/* Line greys of the print colours and of every other index. */
struct LineGrey {
  int first, last;
  const char* command;
  float grey;
};

constexpr LineGrey line_greys[] = {
    {503, 505, "SV1,0;\n", 1.0f},
    {506, 508, "SV1,30;\n", 0.7f},
};

constexpr LineGrey black_line{0, 0, "SV;\n", 0.0f};

/* The print colours fill in their own grey as they draw. */
struct PrintGrey {
  int first, last;
  float grey;
};

constexpr PrintGrey print_greys[] = {{500, 502, 0.0f}, {503, 505, 1.0f}, {506, 508, 0.7f}};

struct Dash {
  int type;
  const char* command;
};

constexpr Dash dashes[] = {
    {1, "LT;\n"}, {2, "LT2,5,1;\n"}, {3, "LT5,8,1;\n"}, {4, "LT6,10,1;\n"}, {5, "LT2,1,1;\n"},
};

/* Width factors of the double and quadruple print colours. */
int print_factor(int ind) {
  if (ind == 501 || ind == 504 || ind == 507) return 2;
  if (ind == 502 || ind == 505 || ind == 508) return 4;
  return 0;
}

float scaled(float v) { return v * state.pr_scale; }

void set_fill_level(float g) {
  if (g == state.cache.fill_level) return;
  ghpgl_printf("FT10,%.0f;\n", 100 - 100 * g);
  state.cache.fill_level = g;
}

} // namespace

FILE* ghpgl_open_file(const char* name) {
  if (!name) return nullptr;
  if (state.out_file) {
    MESS_print(M_warn, "ghpgl_open_file: an HPGL file is open already\n");
    return nullptr;
  }
  state.append = 0;
  state.name = name;
  if (name[0] == '|') {
    state.out_file = FILE_open(name, "w");
    if (state.out_file) MESS_print(M_mess, "Spooling to: %s\n", name + 1);
  } else if (name[0] == '+') {
    state.out_file = FILE_open(name + 1, "a");
    state.append = 1;
    if (state.out_file) MESS_print(M_mess, "Appending to: %s\n", name + 1);
  } else {
    state.out_file = FILE_open(name, "w");
    if (state.out_file) MESS_print(M_mess, "Creating: %s\n", name);
  }
  if (std::getenv("PSCOLOR")) state.pr_color = 1;
  return state.out_file;
}

int ghpgl_init() {
  state.pcl = 1;
  state.cache = Cache{};
  return 0;
}

int ghpgl_set_pcl(int val) {
  state.pcl = val;
  return 0;
}

int ghpgl_set_rotate(int val) {
  state.pr_rot = val;
  return 0;
}

int ghpgl_set_scale(float val) {
  if (!std::isfinite(val) || val <= 0) {
    MESS_print(M_warn, "ghpgl_set_scale: invalid scale: %f\n", static_cast<double>(val));
    return -1;
  }
  state.pr_scale = val;
  return 0;
}

int ghpgl_set_base_width(float val) {
  if (std::isfinite(val) && val > 0) state.base_width = val;
  return 0;
}

int ghpgl_set_color_rep(int ind, float red, float green, float blue) {
  if (ind < 0 || ind >= NUM_ENTRIES) return 0;
  const float v = (0.9f * red + green + 0.8f * blue) / 2.7f;
  state.gray[static_cast<std::size_t>(ind)] = state.pr_rev ? 1 - v : v;
  return 0;
}

int ghpgl_set_colorPS(int val) {
  state.pr_color = val;
  return 0;
}

int ghpgl_get_colorPS() { return state.pr_color; }

int ghpgl_set_reverse(int val) {
  state.pr_rev = val;
  return 0;
}

int ghpgl_init_file() {
  if (!state.out_file) return 0;
  if (!state.append) {
    if (state.pcl) ghpgl_printf("\33E\33%%1B\33&l1O\n");
    ghpgl_printf("IN;SP1;PA;\n");
    if (state.pcl == 2) ghpgl_printf("RO90;\n");
    if (state.pr_rot == 90 || state.pr_rot == 180 || state.pr_rot == 270) ghpgl_printf("RO%d;\n", state.pr_rot);
  }
  ghpgl_printf("PW%.1f;SV;LT;\n", state.base_width);
  return 0;
}

int ghpgl_close_file() {
  if (!state.out_file) return -1;
  if (!state.append) {
    ghpgl_printf("SP;PG;\n");
    if (state.pcl) ghpgl_printf("\33%%0A\33E");
  }
  const int result = gclose_output(state.out_file, state.name.c_str(), "HPGL");
  state.out_file = nullptr;
  if (result == 0) MESS_print(M_mess, "Created HPGL file\n");
  return result;
}

int ghpgl_printf(const char* format, ...) {
  if (!state.out_file || !format) return 0;
  va_list args;
  va_start(args, format);
  std::vfprintf(state.out_file, format, args);
  va_end(args);
  return 0;
}

int ghpgl_move(float x, float y) { return ghpgl_move_abs(xW_ps(x), yW_ps(y)); }

int ghpgl_line(float x, float y) { return ghpgl_line_abs(xW_ps(x), yW_ps(y)); }

int ghpgl_move_abs(float x, float y) { return ghpgl_printf("PU%.0f,%.0f;", scaled(x), scaled(y)); }

int ghpgl_line_abs(float x, float y) { return ghpgl_printf("PD%.0f,%.0f;", scaled(x), scaled(y)); }

int ghpgl_clip(float x0, float y0, float x1, float y1) {
  return ghpgl_printf("IW %.0f,%.0f,%.0f,%.0f;\n", scaled(x0 - 0.1f), scaled(y0 - 0.1f), scaled(x1 + 0.1f),
                      scaled(y1 + 0.1f));
}

int ghpgl_set_color(int ind) {
  const LineGrey* grey = &black_line;
  for (const LineGrey& g : line_greys)
    if (ind >= g.first && ind <= g.last) grey = &g;
  if (grey->grey != state.cache.gray_level) ghpgl_printf("%s", grey->command);
  state.cache.gray_level = grey->grey;
  return 0;
}

int ghpgl_set_fill_color(int ind) {
  if (gget_fill_print_solid()) {
    ghpgl_printf("FT1;\n");
    state.cache.fill_level = 0;
    return 0;
  }
  if (ind == -1) {
    set_fill_level(1);
    return 0;
  }
  for (const PrintGrey& p : print_greys) {
    if (ind >= p.first && ind <= p.last) {
      set_fill_level(p.grey);
      return 0;
    }
  }
  set_fill_level(gps_get_gray(ind));
  return 0;
}

int ghpgl_set_width(int ind, float width) {
  if (width == 0) width = 1;
  const float b = state.base_width;
  float factor = 0, pen = 0;
  if (const int k = print_factor(ind)) {
    factor = static_cast<float>(k) * width;
    pen = width * b * static_cast<float>(k);
  } else {
    const float bold = static_cast<float>(gget_line_print_bold());
    factor = bold * width;
    pen = b * bold * width;
  }
  if (factor != state.cache.line_width) ghpgl_printf("PW%.1f;\n", pen);
  state.cache.line_width = factor;
  return 0;
}

int ghpgl_set_type(int type) {
  if (type == state.cache.line_type) return 0;
  for (const Dash& d : dashes) {
    if (d.type != type) continue;
    ghpgl_printf("%s", d.command);
    state.cache.line_type = type;
  }
  return 0;
}

/* ---- the HPGL device -------------------------------------------------- */

namespace {

constexpr int MARGIN = 10; /* plotter units around the plot area */

/* Words first, then the numbers after their keywords. "roll" (roll paper
 * of the given width) counts only in the environment's list. */
constexpr Gpage_option hpgl_options[] = {
    {"pcl", false, false, [](float, Gpage*) { ghpgl_set_pcl(1); }},
    {"nopcl", false, false, [](float, Gpage*) { ghpgl_set_pcl(0); }},
    {"lj", false, false, [](float, Gpage*) { ghpgl_set_pcl(2); }},
    {"port", false, false, [](float, Gpage*) { ghpgl_set_rotate(90); }},
    {"land", false, false, [](float, Gpage*) { ghpgl_set_rotate(0); }},
    {"scale", true, false, [](float v, Gpage*) { ghpgl_set_scale(v); }},
    {"lwidth", true, false, [](float v, Gpage*) { ghpgl_set_base_width(v); }},
    {"rot", true, false, [](float v, Gpage*) { ghpgl_set_rotate(static_cast<int>(std::clamp(v, -360.0f, 360.0f))); }},
    {"roll", true, true,
     [](float v, Gpage* page) {
       if (gusable_page(v, 23.5f)) *page = Gpage{v, 23.5f};
     }},
};

/* Hundredths of an inch to plotter units; whole numbers keep the
 * conversion exact. */
int plotter_units(int hundredths) {
  return static_cast<int>(std::clamp(static_cast<long long>(hundredths) * 1015 / 100, -1000000LL, 1000000LL));
}

/* "WxH+X+Y" in hundredths of an inch (or "WxH", or "+X+Y"); the plot area
 * keeps its margin. */
void hpgl_geometry(const char* text, Garea* area) {
  int w = 0, h = 0, x = 0, y = 0;
  const int n = std::sscanf(text, "%dx%d+%d+%d", &w, &h, &x, &y);
  if (n >= 2) {
    if (w > 0 && h > 0) {
      area->width = plotter_units(w);
      area->height = plotter_units(h);
    }
    if (n == 4) {
      area->x = MARGIN + plotter_units(x);
      area->y = MARGIN + plotter_units(y);
    }
  } else if (std::sscanf(text, "+%d+%d", &x, &y) == 2) {
    area->x = MARGIN + plotter_units(x);
    area->y = MARGIN + plotter_units(y);
  }
}

int open_hpgl(const Gconn_items& items) {
  gset_cache(0);
  gset_redraw(0);
  std::string name = !items.empty() && !items[0].empty() ? items[0] : "";
  if (name.empty()) {
    const char* env = std::getenv("kezhp_out");
    name = env ? env : "kez.hpgl";
  }
  errno = 0;
  if (!ghpgl_open_file(name.c_str())) {
    const int err = errno;
    gerr_printf("gopen_ws", "unable to open HPGL file %s: %s\n", name.c_str(),
                err != 0 ? std::strerror(err) : "refused");
    return -1;
  }
  Gpage page{10.5f, 8};
  ghpgl_init();
  const int n = static_cast<int>(std::size(hpgl_options));
  gpage_options(gsplit_items(std::getenv("kezhp_param")), 0, hpgl_options, n, true, gusable_page, &page);
  gpage_options(items, 1, hpgl_options, n, false, gusable_page, &page);

  Garea area{static_cast<int>(1015 * (page.width - 0.5f)), static_cast<int>(1015 * (page.height - 0.5f)), MARGIN,
             MARGIN};
  const char* geometry = RES_get("geometry");
  if (!geometry) geometry = std::getenv("kezhp_geometry");
  if (geometry && (geometry[0] == 'P' || geometry[0] == 'p'))
    gpanel_geometry(geometry + 1, true, &area);
  else if (geometry)
    hpgl_geometry(geometry, &area);
  gset_xsize(area.width, area.height);
  gset_xoff(area.x, area.y);
  ghpgl_init_file();
  return 0;
}

void hpgl_clip(float x0, float y0, float x1, float y1) { ghpgl_clip(x0, y0, x1, y1); }

/* A line end after every tenth point keeps the lines short. */
int hpgl_polyline(int n, const Gpt* pts, const Gline_attr& a) {
  ghpgl_set_width(a.color, a.width);
  ghpgl_set_color(a.color);
  ghpgl_set_type(a.type);
  ghpgl_move(pts[0].x, pts[0].y);
  for (int i = 1; i < n; ++i) {
    ghpgl_line(pts[i].x, pts[i].y);
    if (i % 10 == 9) ghpgl_printf("\n");
  }
  ghpgl_printf("\n");
  return 0;
}

/* HPGL fills in every style, in the grey shade of the fill colour. */
int hpgl_fill_area(int n, const Gpt* pts, int, int color) {
  ghpgl_set_fill_color(color);
  ghpgl_move(pts[0].x, pts[0].y);
  ghpgl_printf("PM0;");
  for (int i = 1; i < n; ++i) ghpgl_line(pts[i].x, pts[i].y);
  ghpgl_printf("PM1;PM2;FP;\n");
  return 0;
}

void hpgl_stroke_setup(const Gline_attr& a) {
  ghpgl_set_width(a.color, a.width);
  ghpgl_set_color(a.color);
  ghpgl_set_type(1);
}

void hpgl_marker_setup(int, const Gline_attr& a) { hpgl_stroke_setup(a); }

Gpt hpgl_centre(const Gpt& w) { return Gpt{xW_ps(w.x), yW_ps(w.y)}; }

/* The pen put down where it was lifted marks a single point. */
void hpgl_marker_stroke(int npt, const Gpt* pts) {
  ghpgl_move_abs(pts[0].x, pts[0].y);
  if (npt == 1) ghpgl_line_abs(pts[0].x, pts[0].y);
  for (int i = 1; i < npt; ++i) ghpgl_line_abs(pts[i].x, pts[i].y);
  ghpgl_printf("\n");
}

void hpgl_text_setup(const unsigned char*, float, float, const Gline_attr& a) { hpgl_stroke_setup(a); }
void hpgl_pen_up(Gpt at, const Gpt*, int) { ghpgl_move(at.x, at.y); }
void hpgl_pen_down(Gpt at) { ghpgl_line(at.x, at.y); }
void hpgl_split(Gpt, const Gpt*, int) { ghpgl_printf("\n"); }
void hpgl_glyph_end(const Gpt*, int finished) {
  if (finished > 0) ghpgl_printf("\n");
}

} // namespace

const Gdevice ghpgl_device = {
    GWS_HPGL,
    nullptr,
    GINIT_HPGL,
    open_hpgl,
    ghpgl_close_file,
    nullptr,
    hpgl_clip,
    hpgl_polyline,
    hpgl_fill_area,
    {10.15, hpgl_marker_setup, hpgl_centre, hpgl_marker_stroke, nullptr, nullptr},
    {hpgl_text_setup, nullptr, hpgl_pen_up, hpgl_pen_down, hpgl_split, hpgl_glyph_end, nullptr, nullptr, nullptr,
     nullptr},
    nullptr,
    nullptr,
};
