/*
 * gks_x11: the kernel's one workstation: open and close, its devices and
 * their options, and the accessors through which the rest of the graphics
 * system reads the workstation's state.
 *
 * gopen_ws chooses a device by type from the device table, lets the device
 * set itself up from the connection string (the output name and its option
 * items), then initialises the display list, the transformations and the
 * attributes for the device's class and sets the background. Every later
 * primitive is written at once to that device. gclose_ws lets the device
 * finish its output. A device is one row of the table: its type, the class
 * the kernel is initialised with, and its set-up and finish.
 *
 * The plot area (win_width by win_height device units at win_x, win_y) is
 * what the transformations fit the workstation window into.
 */
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kez.h"
#include "kezgks.h"

namespace {

constexpr std::size_t PROG_NAME_LEN = 19;
constexpr std::size_t WIN_TITLE_LEN = 59;

struct WsState {
  int win_type = 0;            /* device type of the open (or last) workstation */
  int depth = 0;               /* bit planes; 10 on the file devices */
  int win_width = 640;         /* plot area in device units */
  int win_height = 512;
  int win_x = 0;               /* plot area offset in the device */
  int win_y = 0;
  int open_graphics = 0;       /* a workstation is open */
  int cursor = 0;              /* cursor type shown, 0 to 8 */
  std::string prog_name = "X11_Graph";
  std::string win_title = "X11_Graph";
  FILE* err_file = nullptr;    /* the kernel's error stream; none: silent */
};

WsState state;

using Items = std::vector<std::string>;

Items split(const char* text) {
  Items items;
  int argc = 0;
  char** argv = nullptr;
  if (text && parse_string(text, ',', &argc, &argv) == 0) {
    for (int i = 0; i < argc; ++i) items.emplace_back(argv[i]);
    free_parsed_array(argc, argv);
  }
  return items;
}

const char* first_env(std::initializer_list<const char*> names) {
  for (const char* name : names)
    if (const char* value = std::getenv(name)) return value;
  return nullptr;
}

/* A number after a keyword of `len` letters and one separator. */
bool keyword_number(const std::string& item, const char* key, std::size_t len, float* value) {
  if (item.size() <= len + 1 || strnicmp(item.c_str(), key, static_cast<int>(len)) != 0) return false;
  const char* text = item.c_str() + len + 1;
  char* end = nullptr;
  float v = std::strtof(text, &end);
  if (end == text || !std::isfinite(v)) return false;
  *value = v;
  return true;
}

/* Page sizes in inches, long side first. */
struct Paper {
  const char* name;
  float width, height;
};

constexpr Paper papers[] = {
    {"letter", 11, 8.5f},     {"legal", 14, 8.5f},      {"11x17", 17, 11},        {"a4", 11.69f, 8.26f},
    {"a3", 16.54f, 11.69f},   {"a2", 23.39f, 16.54f},   {"a1", 33.11f, 23.39f},   {"b4", 14.33f, 10.12f},
    {"b3", 20.27f, 14.33f},   {"b2", 28.66f, 20.27f},   {"b1", 40.55f, 28.66f},   {"ansid", 34, 22},
};

/* A panel geometry: 'P' and columns x rows + column + row, or with a first
 * number of 1 or less the plot area as fractions of the device's area. Row
 * 0 is the top row; y_up says that the device's y axis points up. */
void panel_geometry(const char* text, bool y_up) {
  float cols = 1, rows = 1, col = 0, row = 0;
  std::sscanf(text, "%fx%f+%f+%f", &cols, &rows, &col, &row);
  const float W = static_cast<float>(state.win_width), H = static_cast<float>(state.win_height);
  if (cols > 1) {
    const int nc = std::clamp(static_cast<int>(cols), 1, 8), nr = std::clamp(static_cast<int>(rows), 1, 8);
    const int ic = std::clamp(static_cast<int>(col), 0, nc - 1), ir = std::clamp(static_cast<int>(row), 0, nr - 1);
    state.win_width = static_cast<int>(W / static_cast<float>(nc));
    state.win_height = static_cast<int>(H / static_cast<float>(nr));
    state.win_x = static_cast<int>(static_cast<float>(ic) / static_cast<float>(nc) * W);
    const float fy = y_up ? 1 - static_cast<float>(1 + ir) / static_cast<float>(nr)
                          : static_cast<float>(ir) / static_cast<float>(nr);
    state.win_y = static_cast<int>(fy * H);
    return;
  }
  if (cols <= 0 || rows <= 0) return;
  state.win_width = static_cast<int>(cols * W);
  state.win_height = static_cast<int>(rows * H);
  state.win_x = static_cast<int>(col * W);
  state.win_y = static_cast<int>(row * H);
}

/* A size and offset given as "WxH+X+Y" (or "WxH", or "+X+Y") in units that
 * `scale` turns into device units. */
void size_geometry(const char* text, float scale) {
  int w = 0, h = 0, x = 0, y = 0;
  int n = std::sscanf(text, "%dx%d%d%d", &w, &h, &x, &y);
  if (n >= 2) {
    if (w > 0 && h > 0) {
      state.win_width = static_cast<int>(static_cast<float>(w) * scale);
      state.win_height = static_cast<int>(static_cast<float>(h) * scale);
    }
    if (n == 4) {
      state.win_x = static_cast<int>(static_cast<float>(x) * scale);
      state.win_y = static_cast<int>(static_cast<float>(y) * scale);
    }
  } else if (std::sscanf(text, "%d%d", &x, &y) == 2) {
    state.win_x = static_cast<int>(static_cast<float>(x) * scale);
    state.win_y = static_cast<int>(static_cast<float>(y) * scale);
  }
}

/* PostScript page options; later items win. */
struct PsPage {
  float sx = 11, sy = 8.5f;
};

void ps_option(const std::string& item, PsPage& page) {
  const char* s = item.c_str();
  float v = 0;
  if (stricmp(s, "port") == 0) {
    gps_set_orient(1);
  } else if (stricmp(s, "land") == 0) {
    gps_set_orient(0);
  } else if (stricmp(s, "eps") == 0) {
    gps_set_EPS(1);
  } else if (stricmp(s, "noeps") == 0) {
    gps_set_EPS(0);
  } else if (stricmp(s, "color") == 0) {
    gps_set_colorPS(1);
    gset_inverse(1);
  } else if (stricmp(s, "gray") == 0) {
    gps_set_colorPS(0);
  } else if (keyword_number(item, "scale", 5, &v)) {
    gps_set_scale(v);
  } else if (keyword_number(item, "lwidth", 6, &v)) {
    gps_set_base_width(static_cast<int>(v));
  } else if (item.size() > 3 && strnicmp(s, "sz", 2) == 0) {
    float w = 0, h = 0;
    if (std::sscanf(s + 3, "%fx%f", &w, &h) == 2 && w > 0 && h > 0) page = PsPage{w, h};
  } else {
    for (const Paper& p : papers)
      if (stricmp(s, p.name) == 0) page = PsPage{p.width, p.height};
  }
}

int open_postscript(const Items& items) {
  gset_cache(0);
  gset_redraw(0);
  state.win_type = GWS_PS;
  std::string name = !items.empty() && !items[0].empty() ? items[0] : "";
  if (name.empty()) {
    const char* env = first_env({"kezps_print", "PSPRINT"});
    name = env ? env : "kez.ps";
  }
  state.depth = 10;
  if (!gps_open_file(name.c_str())) {
    state.win_type = 0;
    gerr_printf("gopen_ws", "unable to open postscript file\n");
    return -1;
  }
  PsPage page;
  gps_init();
  for (const std::string& item : split(std::getenv("kezps_param"))) ps_option(item, page);
  for (std::size_t i = 1; i < items.size(); ++i) ps_option(items[i], page);

  state.win_width = static_cast<int>(72 * (page.sx - 0.5f));
  state.win_height = static_cast<int>(72 * (page.sy - 0.5f));
  state.win_x = 0;
  state.win_y = 0;

  const char* geometry = RES_get("geometry");
  if (!geometry) geometry = first_env({"kezps_geometry", "PSGEOMETRY"});
  if (geometry && (geometry[0] == 'P' || geometry[0] == 'p'))
    panel_geometry(geometry + 1, true);
  else if (geometry)
    size_geometry(geometry, 0.72f);

  /* The prolog follows the geometry, so that an EPS bounding box holds the
   * plot area as it will be drawn. */
  gps_set_size(page.sx, page.sy);
  gps_init_file();
  return 0;
}

int close_postscript() { return gps_close_file(); }

/* HPGL page options. "roll" (roll paper of the given width) counts only in
 * the environment's list. Pages beyond 1000 inches would leave the plotter
 * units' integer range. */
struct HpPage {
  float sx = 10.5f, sy = 8;
};

constexpr float MAX_PAGE = 1000;

bool usable_page(float w, float h) { return w > 0.5f && h > 0.5f && w <= MAX_PAGE && h <= MAX_PAGE; }

void hpgl_option(const std::string& item, HpPage& page, bool from_env) {
  const char* s = item.c_str();
  float v = 0;
  if (stricmp(s, "pcl") == 0) {
    ghpgl_set_pcl(1);
  } else if (stricmp(s, "nopcl") == 0) {
    ghpgl_set_pcl(0);
  } else if (stricmp(s, "lj") == 0) {
    ghpgl_set_pcl(2);
  } else if (stricmp(s, "port") == 0) {
    ghpgl_set_rotate(90);
  } else if (stricmp(s, "land") == 0) {
    ghpgl_set_rotate(0);
  } else if (keyword_number(item, "scale", 5, &v)) {
    ghpgl_set_scale(v);
  } else if (keyword_number(item, "lwidth", 6, &v)) {
    ghpgl_set_base_width(v);
  } else if (keyword_number(item, "rot", 3, &v)) {
    ghpgl_set_rotate(static_cast<int>(std::clamp(v, -360.0f, 360.0f)));
  } else if (from_env && keyword_number(item, "roll", 4, &v)) {
    if (usable_page(v, 23.5f)) page = HpPage{v, 23.5f};
  } else if (item.size() > 3 && strnicmp(s, "sz", 2) == 0) {
    float w = 0, h = 0;
    if (std::sscanf(s + 3, "%fx%f", &w, &h) == 2 && usable_page(w, h)) page = HpPage{w, h};
  } else {
    for (const Paper& p : papers)
      if (stricmp(s, p.name) == 0) page = HpPage{p.width, p.height};
  }
}

/* "WxH+X+Y" in hundredths of an inch (or "WxH", or "+X+Y"); the plot area
 * keeps its margin of 10 plotter units. Whole numbers keep the conversion
 * exact. */
int plotter_units(int hundredths) {
  return static_cast<int>(std::clamp(static_cast<long long>(hundredths) * 1015 / 100, -1000000LL, 1000000LL));
}

void hpgl_geometry(const char* text) {
  int w = 0, h = 0, x = 0, y = 0;
  const int n = std::sscanf(text, "%dx%d+%d+%d", &w, &h, &x, &y);
  if (n >= 2) {
    if (w > 0 && h > 0) {
      state.win_width = plotter_units(w);
      state.win_height = plotter_units(h);
    }
    if (n == 4) {
      state.win_x = 10 + plotter_units(x);
      state.win_y = 10 + plotter_units(y);
    }
  } else if (std::sscanf(text, "+%d+%d", &x, &y) == 2) {
    state.win_x = 10 + plotter_units(x);
    state.win_y = 10 + plotter_units(y);
  }
}

int open_hpgl(const Items& items) {
  gset_cache(0);
  gset_redraw(0);
  state.win_type = GWS_HPGL;
  std::string name = !items.empty() && !items[0].empty() ? items[0] : "";
  if (name.empty()) {
    const char* env = std::getenv("kezhp_out");
    name = env ? env : "kez.hpgl";
  }
  state.depth = 10;
  if (!ghpgl_open_file(name.c_str())) {
    state.win_type = 0;
    gerr_printf("gopen_ws", "unable to open HPGL file\n");
    return -1;
  }
  HpPage page;
  ghpgl_init();
  for (const std::string& item : split(std::getenv("kezhp_param"))) hpgl_option(item, page, true);
  for (std::size_t i = 1; i < items.size(); ++i) hpgl_option(items[i], page, false);

  state.win_width = static_cast<int>(1015 * (page.sx - 0.5f));
  state.win_height = static_cast<int>(1015 * (page.sy - 0.5f));
  state.win_x = 10;
  state.win_y = 10;

  const char* geometry = RES_get("geometry");
  if (!geometry) geometry = std::getenv("kezhp_geometry");
  if (geometry && (geometry[0] == 'P' || geometry[0] == 'p'))
    panel_geometry(geometry + 1, true);
  else if (geometry)
    hpgl_geometry(geometry);
  ghpgl_init_file();
  return 0;
}

int close_hpgl() { return ghpgl_close_file(); }

/* The metafile: the text form unless the item "cgm" asks for the CGM; the
 * choice holds while this workstation is open. */
int open_meta(const Items& items) {
  gset_cache(0);
  gset_redraw(0);
  gmeta_set_type(0);
  for (std::size_t i = 1; i < items.size(); ++i) {
    if (stricmp(items[i].c_str(), "cgm") == 0) gmeta_set_type(1);
    if (stricmp(items[i].c_str(), "kez") == 0) gmeta_set_type(0);
  }
  state.win_width = 1000;
  state.win_height = 800;
  state.win_x = 0;
  state.win_y = 0;
  state.win_type = GWS_META;
  if (const char* geometry = RES_get("geometry")) {
    if (geometry[0] == 'P' || geometry[0] == 'p')
      panel_geometry(geometry + 1, true);
    else
      size_geometry(geometry, 100);
  }
  std::string name = !items.empty() && !items[0].empty() ? items[0] : "";
  if (name.empty()) {
    const char* env = std::getenv("kezmeta_out");
    name = env ? env : (gmeta_get_type() == 1 ? "kez.cgm" : "kez.meta");
  }
  state.depth = 10;
  if (!gmeta_open_file(name.c_str())) {
    state.win_type = 0;
    gmeta_set_type(0);
    gerr_printf("gopen_ws", "unable to open metafile\n");
    return -1;
  }
  gmeta_init_file();
  return 0;
}

int close_meta() {
  const int result = gmeta_close_file();
  gmeta_set_type(0);
  return result;
}

/* The devices of the workstation. */
struct Device {
  int type;
  int init_class;                    /* class of ginit_plot */
  int (*open)(const Items& items);   /* set-up from the connection string */
  int (*close)();                    /* finish the output */
};

constexpr Device devices[] = {
    {GWS_PS, 2, open_postscript, close_postscript},
    {GWS_HPGL, 3, open_hpgl, close_hpgl},
    {GWS_META, 4, open_meta, close_meta},
};

const Device* device_of(int type) {
  for (const Device& d : devices)
    if (d.type == type) return &d;
  return nullptr;
}

} // namespace

int gopen_gks(const char* err_f, int) {
  if (state.err_file && state.err_file != stderr) FILE_close(state.err_file);
  state.err_file = stderr;
  if (err_f && *err_f) {
    FILE* fp = FILE_open(err_f, "w");
    if (!fp) return 1;
    state.err_file = fp;
  }
  return 0;
}

int gclose_gks() {
  if (state.err_file && state.err_file != stderr) FILE_close(state.err_file);
  state.err_file = nullptr;
  return 0;
}

int gemergency_close_gks() { return 0; }

int gopen_ws(Gint, const char* conn_id, Gws_type ws_type) {
  if (state.open_graphics) {
    MESS_print(M_warn, "gopen_ws: workstation already open\n");
    return -1;
  }
  const Items items = split(conn_id);
  const char* redirect = std::getenv("kezprint");
  if (ws_type == GWS_PS && redirect && stricmp(redirect, "hpgl") == 0) ws_type = GWS_HPGL;
  const Device* device = device_of(ws_type);
  if (!device) {
    MESS_print(M_warn, "gopen_ws: unsupported device type: %d\n", ws_type);
    return -1;
  }
  if (device->open(items) != 0) return -1;
  state.open_graphics = 1;
  ginit_objs();
  ginit_plot(device->init_class);
  gsetup_fonts();
  ginit_background();
  gset_cursor(8);
  return 0;
}

int gclose_ws(Gint) {
  if (!state.open_graphics) return -1;
  state.win_width = 0;
  state.win_height = 0;
  if (const Device* device = device_of(state.win_type)) device->close();
  state.open_graphics = 0;
  return 0;
}

int gactivate_ws(Gint) { return 0; }

int gdeactivate_ws(Gint) { return 0; }

int ginit_plot(int type) {
  if (type == -1) return -1;
  greset_text();
  greset_line();
  greset_marker();
  greset_fill();
  ginit_tran(type);
  ginit_text(type);
  ginit_line(type);
  ginit_marker(type);
  ginit_fill(type);
  return 0;
}

int gerr_printf(const char* name, const char* format, ...) {
  if (!state.err_file || !format) return 0;
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
  if (n > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
  va_end(args);
  MESS_print(M_warn, "%s: ", name ? name : "");
  MESS_print(M_warn, "%s\n", text.c_str());
  return 0;
}

int gchk_graphics() { return state.open_graphics; }

int gget_win_type() { return state.win_type; }

int gset_win_type(int type) {
  state.win_type = type;
  return 0;
}

int gtype_is_WIN() { return state.win_type == GWS_WINDOW ? 1 : 0; }

int gtype_is_PIX() { return state.win_type == GWS_PIXMAP ? 1 : 0; }

int gtype_is_WIN_PIX() { return (state.win_type == GWS_WINDOW || state.win_type == GWS_PIXMAP) ? 1 : 0; }

int gtype_is_PS() { return state.win_type == GWS_PS ? 1 : 0; }

int gtype_is_HPGL() { return state.win_type == GWS_HPGL ? 1 : 0; }

int gtype_is_META() { return state.win_type == GWS_META ? 1 : 0; }

int gget_ws_id() { return 1; }

int gget_win_depth() { return state.depth; }

int gget_win_size(int* width, int* height) {
  if (width) *width = state.win_width;
  if (height) *height = state.win_height;
  return 0;
}

int gset_win_size(int width, int height) {
  state.win_width = width;
  state.win_height = height;
  ginit_tran(10);
  return 0;
}

int gget_win_offset(int* x, int* y) {
  if (x) *x = state.win_x;
  if (y) *y = state.win_y;
  return 0;
}

int gset_xsize(int x, int y) {
  state.win_width = x;
  state.win_height = y;
  return 0;
}

int gset_xoff(int x, int y) {
  state.win_x = x;
  state.win_y = y;
  return 0;
}

int gget_window_width() { return state.win_width; }

int gget_window_height() { return state.win_height; }

int gset_prog_name(const char* name) {
  state.prog_name = name ? std::string(name).substr(0, PROG_NAME_LEN) : std::string();
  return 0;
}

const char* gget_prog_name() { return state.prog_name.c_str(); }

/* The file devices write the title into their headers; without a window
 * nothing shows it. */
int gset_win_title(const char* title) {
  state.win_title = title ? std::string(title).substr(0, WIN_TITLE_LEN) : std::string();
  return -1;
}

const char* gget_win_title() { return state.win_title.c_str(); }

int gset_cursor(int type) {
  if (!gtype_is_WIN_PIX()) return 0;
  return gset_cursor_type(type);
}

int gset_cursor_type(int type) {
  int old = state.cursor;
  state.cursor = type;
  return old;
}

int gget_cursor_type() { return state.cursor; }

int gbell(int) { return 0; }

int gsync() { return 0; }
