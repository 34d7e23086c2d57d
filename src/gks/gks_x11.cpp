/*
 * gks_x11: the kernel's one workstation: open and close, the dispatch to
 * the device records, the kernel's error report and guard, the window
 * devices with the window control and the hold loop, and the accessors
 * through which the rest of the graphics system reads the workstation's
 * state.
 *
 * gopen_ws chooses a device record by type (and form item) from the table
 * of devices, lets the device set itself up from the connection string
 * (the output name and its option items), then initialises the display
 * list, the transformations and the attributes for the device's class and
 * sets the background. Every later primitive is written at once through
 * that record (gdevice). gclose_ws lets the device finish its output. The
 * file devices fill their records in their own modules (gks_ps, gks_hpgl,
 * gks_meta); this module fills those of the two window devices.
 *
 * The window devices connect to the X server at each open and disconnect at
 * each close. Device 1 makes its own window and draws into a backing pixmap
 * of the window's size that is copied to the window on demand and on
 * exposure; device 6 draws straight into a drawable that another program
 * owns and names (a window-id file or an id text). While a workstation is
 * open the X ids below are valid; after the close they are all 0.
 *
 * The plot area (win_width by win_height device units at win_x, win_y) is
 * what the transformations fit the workstation window into.
 */
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <string>
#include <vector>

#include <unistd.h>

#include "kez.h"
#include "kezgks_x11.h"

namespace {

constexpr std::size_t PROG_NAME_LEN = 19;
constexpr std::size_t WIN_TITLE_LEN = 59;
constexpr std::size_t GEOMETRY_LEN = 39;
constexpr std::size_t TITLE_EXTRA_MAX = GTITLE_EXTRA_LEN - 1;
constexpr int DEFAULT_WIDTH = 640;
constexpr int DEFAULT_HEIGHT = 512;
constexpr int MAX_PIXELS = 30000; /* window coordinates stay 16-bit */
constexpr int BORDER_WIDTH = 5;
constexpr int MAX_X_ERRORS = 25;
constexpr int ICON_SIZE = 48;
constexpr int NUM_CURSORS = 9;
constexpr int CURSOR_BUSY = 8; /* shown by every open */
constexpr long EVENT_MASK = KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask | EnterWindowMask |
                            LeaveWindowMask | ButtonMotionMask | ExposureMask | StructureNotifyMask | FocusChangeMask;

/* Cursor-font shapes of the cursor types: 0 default, 1 pointer in a
 * callback, 2 move, 3 frames looping, 4 frames stopped, 5 draw, 6 waiting in
 * the hold loop, 7 text, 8 busy. */
constexpr unsigned int cursor_shapes[NUM_CURSORS] = {0, 68, 52, 50, 38, 86, 130, 152, 150};

using IconBits = std::array<unsigned char, GICON_BITS_LEN>;

/* The default icon: a framed letter K. */
constexpr IconBits make_icon() {
  IconBits bits{};
  auto set = [&bits](int x, int y) {
    bits[static_cast<std::size_t>(y * ICON_SIZE / 8 + x / 8)] |= static_cast<unsigned char>(1 << (x % 8));
  };
  for (int i = 0; i < ICON_SIZE; ++i)
    for (int t = 0; t < 2; ++t) {
      set(i, t);
      set(i, ICON_SIZE - 1 - t);
      set(t, i);
      set(ICON_SIZE - 1 - t, i);
    }
  for (int y = 9; y < 39; ++y)
    for (int x = 12; x < 17; ++x) set(x, y);
  for (int i = 0; i < 15; ++i)
    for (int w = 0; w < 4; ++w) {
      set(17 + i + w, 24 - i);
      set(17 + i + w, 24 + i);
    }
  return bits;
}

struct WsState {
  int win_type = 0;                /* device type of the open (or last) workstation */
  const Gdevice* device = nullptr; /* its record; null before the first open */
  int depth = 0;                   /* bit planes; 10 on the file devices */
  int win_width = DEFAULT_WIDTH;   /* plot area in device units */
  int win_height = DEFAULT_HEIGHT;
  int win_x = 0; /* plot area offset in the device */
  int win_y = 0;
  int root_width = 0; /* the whole window in pixels */
  int root_height = 0;
  int open_graphics = 0; /* a workstation is open */
  int cursor = 0;        /* cursor type shown, 0 to 8 */
  /* Counts the changes of the primitives' attributes (gget_attr_serial). */
  unsigned long attr_serial = 0;
  std::string prog_name = "X11_Graph";
  std::string win_title = "X11_Graph";
  FILE* err_file = nullptr; /* the kernel's error stream: stderr (messages through
                             * MESS_print only) or the file gopen_gks named (a
                             * copy there too); none while closed: silent */

  /* The X side, valid from the open of a window device to its close. */
  Display* display = nullptr;
  int screen = 0;
  Visual* visual = nullptr;
  Window root_window = 0;   /* the visible window */
  Drawable base_window = 0; /* the backing drawable */
  Drawable draw_window = 0; /* where primitives are drawn now */
  GC root_gc = nullptr;     /* clears and copies */
  std::array<Cursor, NUM_CURSORS> cursors{};
  Pixmap icon_pixmap = 0;
  unsigned long fore_colr = 0, back_colr = 0;
  unsigned long red_mask = 0, grn_mask = 0, blu_mask = 0;
  Gevent_poll saved_poll = nullptr;

  /* Settings for the next open. */
  int fixed_size = 0;
  int transient = 0; /* the own window is only drawn and dumped, never held */
  int icon = 0;
  int pix_mode = 0; /* device 6: 1 clear, 2 new frame, 9 end of wait */
  std::string geometry;
  IconBits kez_bits = make_icon();

  /* X errors. */
  int Xerror = 0; /* an error was reported */
  int Xerror_print = 1;
  int num_error = 0;

  std::vector<XPoint> points; /* the window writers' converted points */

  /* The hold loop. */
  int refresh = 0; /* seconds, 0 none */
  Grefresh_func refresh_CB = nullptr;
};

WsState state;

/* A formatted text of any length. */
std::string vformat(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
  if (n > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
  return text;
}

/* ---- the window devices ------------------------------------------------ */

bool have_window() { return state.display && state.root_window; }

/* Waits for the server to have done every request sent, except on a
 * transient window: nobody watches it, and a wait would only stall the
 * run behind the server's work of showing the window (the requests are
 * sent, so the server works on while the run goes on). */
void sync_display() {
  if (!state.display) return;
  if (state.transient && gtype_is_WIN())
    XFlush(state.display);
  else
    XSync(state.display, False);
}

/* The background pixel of the colour table, or the window's own before the
 * table has one. */
unsigned long back_pixel() {
  const int pixel = gget_back_color();
  return pixel >= 0 ? static_cast<unsigned long>(pixel) : state.back_colr;
}

void fill_with_background(Drawable target, int x, int y, int width, int height) {
  if (!state.display || !state.root_gc || !target || width <= 0 || height <= 0) return;
  XSetForeground(state.display, state.root_gc, back_pixel());
  XFillRectangle(state.display, target, state.root_gc, x, y, static_cast<unsigned int>(width),
                 static_cast<unsigned int>(height));
  XSetForeground(state.display, state.root_gc, state.fore_colr);
}

/* Xlib's output buffer, in KiB, unless the user's environment names one.
 * A chart sends megabytes of requests; Xlib's 16 KiB default writes them
 * in hundreds of pieces, each a wake-up of the server that, on a busy
 * machine, may take the processor from this program. Four times that
 * still lets the server draw while the program goes on. */
constexpr const char* OUTPUT_BUFFER_KIB = "64";

Display* open_display(const char* name) {
  /* Xlib reads the size from the environment, and only when it connects. */
  const bool set_here = std::getenv("XLIBBUFFERSIZE") == nullptr;
  if (set_here) setenv("XLIBBUFFERSIZE", OUTPUT_BUFFER_KIB, 0);
  Display* d = XOpenDisplay(name);
  if (set_here) unsetenv("XLIBBUFFERSIZE");
  return d;
}

int connect_display(const Gconn_items& items) {
  XSetErrorHandler(Xerror_handler);
  XSetIOErrorHandler(XerrorIO_handler);
  const char* name = !items.empty() && !items[0].empty() ? items[0].c_str() : nullptr;
  state.display = open_display(name);
  if (!state.display) {
    MESS_print(M_warn, "gopen_ws: unable to connect to display\n");
    return -1;
  }
  state.screen = DefaultScreen(state.display);
  state.visual = DefaultVisual(state.display, state.screen);
  state.depth = DefaultDepth(state.display, state.screen);
  state.red_mask = state.visual->red_mask;
  state.grn_mask = state.visual->green_mask;
  state.blu_mask = state.visual->blue_mask;
  gset_def_cmap(DefaultColormap(state.display, state.screen));
  return 0;
}

/* Frees what both window devices made on the server; the window and the
 * backing pixmap of device 1 are its own close's. */
void release_server_resources() {
  Display* d = state.display;
  if (!d) return;
  gdel_line_gc();
  gdel_marker_gc();
  gdel_fill_gc();
  gdel_text_gc();
  gdel_fill_pat();
  if (state.root_gc) XFreeGC(d, state.root_gc);
  state.root_gc = nullptr;
  for (Cursor& c : state.cursors) {
    if (c) XFreeCursor(d, c);
    c = 0;
  }
  if (state.icon_pixmap) XFreePixmap(d, state.icon_pixmap);
  state.icon_pixmap = 0;
  gdel_xcolr();
}

/* Closes the connection; every X id of the workstation becomes 0. */
void disconnect() {
  gfree_shared_pixmap(0);
  if (state.display) XCloseDisplay(state.display);
  state.display = nullptr;
  state.visual = nullptr;
  state.root_window = 0;
  state.base_window = 0;
  state.draw_window = 0;
  state.root_gc = nullptr;
  gset_def_cmap(0);
}

/* Black on white with inverse colours, else white on black. */
void choose_window_colours() {
  Display* d = state.display;
  const unsigned long black = BlackPixel(d, state.screen), white = WhitePixel(d, state.screen);
  state.back_colr = gget_inverse() ? white : black;
  state.fore_colr = gget_inverse() ? black : white;
}

const char* x_default(const char* option) {
  return state.display ? XGetDefault(state.display, state.prog_name.c_str(), option) : nullptr;
}

/* The geometry text of the next open: gset_geometry's, the "geometry"
 * setting, else (own window only) the X default. */
std::string geometry_text(bool with_x_default) {
  if (!state.geometry.empty()) return state.geometry;
  if (const char* g = RES_get("geometry")) return g;
  if (with_x_default)
    if (const char* g = x_default("geometry")) return g;
  return "";
}

/* Position, size and size hints of the own window from an X geometry. */
void window_geometry(int* x, int* y, int* width, int* height, XSizeHints* hints) {
  const std::string text = geometry_text(true);
  if (text.empty()) return;
  int gx = 0, gy = 0;
  unsigned int gw = 0, gh = 0;
  const int flags = XParseGeometry(text.c_str(), &gx, &gy, &gw, &gh);
  if ((flags & WidthValue) && (flags & HeightValue) && gw > 0 && gh > 0) {
    *width = static_cast<int>(std::min(gw, static_cast<unsigned int>(MAX_PIXELS)));
    *height = static_cast<int>(std::min(gh, static_cast<unsigned int>(MAX_PIXELS)));
    hints->flags |= USSize;
  }
  if ((flags & XValue) && (flags & YValue)) {
    *x = (flags & XNegative) ? gx + DisplayWidth(state.display, state.screen) - *width : gx;
    *y = (flags & YNegative) ? gy + DisplayHeight(state.display, state.screen) - *height : gy;
    hints->flags |= USPosition;
  }
}

/* A context for clears and copies; copies between drawables of our own
 * make no exposure events. */
GC plain_gc(Drawable drawable) {
  XGCValues values{};
  values.graphics_exposures = False;
  return XCreateGC(state.display, drawable, GCGraphicsExposures, &values);
}

/* Waits, at most five seconds, for the new window's first exposure or
 * structure event and leaves it queued for the event handling. */
void wait_first_event() {
  XEvent event;
  XFlush(state.display);
  for (int i = 0; i < 500; ++i) {
    if (XCheckWindowEvent(state.display, state.root_window, ExposureMask | StructureNotifyMask, &event)) {
      XPutBackEvent(state.display, &event);
      return;
    }
    ::usleep(10000);
  }
}

void set_window_hints(const XSizeHints& size_hints) {
  Display* d = state.display;
  std::string title = state.win_title;
  std::replace(title.begin(), title.end(), '_', ' ');
  state.win_title = title;
  XSizeHints hints = size_hints;
  XStoreName(d, state.root_window, title.c_str());
  XSetIconName(d, state.root_window, title.c_str());
  XSetWMNormalHints(d, state.root_window, &hints);

  int icon = state.icon;
  if (const char* iconic = x_default("iconic"); iconic && stricmp(iconic, "on") == 0) icon = 1;
  RES_getval("icon", &icon, CV_bool);
  state.icon_pixmap =
      XCreatePixmapFromBitmapData(d, state.root_window, reinterpret_cast<char*>(state.kez_bits.data()), ICON_SIZE,
                                  ICON_SIZE, BlackPixel(d, state.screen), WhitePixel(d, state.screen), 1);
  XWMHints wm{};
  wm.flags = InputHint | StateHint | IconPixmapHint;
  wm.input = True;
  wm.initial_state = icon ? IconicState : NormalState;
  wm.icon_pixmap = state.icon_pixmap;
  XSetWMHints(d, state.root_window, &wm);

  std::string instance = state.prog_name, kez_class = "Kez";
  XClassHint class_hint{instance.data(), kez_class.data()};
  XSetClassHint(d, state.root_window, &class_hint);
}

/* A cursor type's cursor, made when it is first shown: a run that draws
 * and dumps shows one or two of the nine, and each one made costs reads of
 * the cursor theme and a request carrying its images. */
Cursor cursor_of(int type) {
  Cursor& c = state.cursors[static_cast<std::size_t>(type)];
  if (!c) c = XCreateFontCursor(state.display, cursor_shapes[type]);
  return c;
}

/* The backing pixmap of a new window: in shared memory where the server
 * offers it, so that dumps read the picture where it lies, else a plain
 * one. */
Pixmap new_backing_pixmap(int width, int height) {
  if (const Pixmap shared = gcreate_shared_pixmap(state.root_window, width, height)) return shared;
  return XCreatePixmap(state.display, state.root_window, static_cast<unsigned int>(width),
                       static_cast<unsigned int>(height), static_cast<unsigned int>(state.depth));
}

void free_backing_pixmap(Pixmap pixmap) {
  if (!pixmap) return;
  if (pixmap == gget_shared_pixmap())
    gfree_shared_pixmap(1);
  else
    XFreePixmap(state.display, pixmap);
}

/* The display list's poll of the own window while it draws: events that
 * have come are served as gcheck_event serves them. Unlike its XPending,
 * the look does not send the requests drawn so far: the output buffer goes
 * out when it is full, not in a small write (and a wake-up of the server)
 * at every poll. */
int poll_events() {
  if (!state.display || XEventsQueued(state.display, QueuedAfterReading) <= 0) return 0;
  return gcheck_event();
}

int close_window();

/* Device 1: the program's own window with its backing pixmap. */
int open_window(const Gconn_items& items) {
  if (connect_display(items) != 0) return -1;
  Display* d = state.display;
  gset_cache(1);

  int x = 100, y = 100;
  int width = state.win_width > 0 ? state.win_width : DEFAULT_WIDTH;
  int height = state.win_height > 0 ? state.win_height : DEFAULT_HEIGHT;
  XSizeHints hints{};
  hints.flags = PPosition | PSize;
  window_geometry(&x, &y, &width, &height, &hints);
  hints.x = x;
  hints.y = y;
  hints.width = width;
  hints.height = height;
  if (state.fixed_size) {
    hints.flags |= PMinSize | PMaxSize;
    hints.min_width = hints.max_width = width;
    hints.min_height = hints.max_height = height;
  }

  if (std::getenv("kezinverse")) gset_inverse(1);
  choose_window_colours();

  XSetWindowAttributes attrs{};
  attrs.background_pixel = state.back_colr;
  attrs.border_pixel = state.fore_colr;
  attrs.backing_store = Always;
  attrs.colormap = DefaultColormap(d, state.screen);
  attrs.event_mask = EVENT_MASK;
  const int print = gset_xerror_print(0);
  state.Xerror = 0;
  state.root_window =
      XCreateWindow(d, RootWindow(d, state.screen), x, y, static_cast<unsigned int>(width),
                    static_cast<unsigned int>(height), BORDER_WIDTH, state.depth, InputOutput, state.visual,
                    CWBackPixel | CWBorderPixel | CWBackingStore | CWColormap | CWEventMask, &attrs);
  XSync(d, False);
  gset_xerror_print(print);
  if (state.Xerror || !state.root_window) {
    MESS_print(M_warn, "gopen_ws: unable to open window\n");
    close_window();
    return -1;
  }
  set_window_hints(hints);
  /* The busy cursor that the open shows is made while the server is idle:
   * the cursor library's round trips then pass at once, rather than behind
   * the painting of the window's pixels. */
  cursor_of(CURSOR_BUSY);

  state.root_gc = plain_gc(state.root_window);
  state.base_window = new_backing_pixmap(width, height);
  state.draw_window = state.base_window;
  /* A transient window is mapped at the end of the open, and nothing waits
   * for the server to show it (see show_transient_window). */
  if (!state.transient) {
    XMapWindow(d, state.root_window);
    XSync(d, False);
    wait_first_event();
  }

  ginit_xcolr();

  /* A window manager may have given another size: the pixmap follows. */
  Window root = 0;
  int gx = 0, gy = 0;
  unsigned int real_w = 0, real_h = 0, border = 0, real_depth = 0;
  if (!state.transient && XGetGeometry(d, state.root_window, &root, &gx, &gy, &real_w, &real_h, &border, &real_depth) &&
      (static_cast<int>(real_w) != width || static_cast<int>(real_h) != height)) {
    free_backing_pixmap(state.base_window);
    width = static_cast<int>(real_w);
    height = static_cast<int>(real_h);
    state.base_window = new_backing_pixmap(width, height);
    state.draw_window = state.base_window;
  }
  state.win_width = state.root_width = width;
  state.win_height = state.root_height = height;
  state.win_x = state.win_y = 0;

  XClearWindow(d, state.root_window);
  XSetForeground(d, state.root_gc, state.back_colr);
  XFillRectangle(d, state.base_window, state.root_gc, 0, 0, static_cast<unsigned int>(width),
                 static_cast<unsigned int>(height));
  XSetForeground(d, state.root_gc, state.fore_colr);
  sync_display();
  state.saved_poll = gset_event_poll(poll_events);
  return 0;
}

/* Maps a transient window once the open has done all its round trips.
 * Mapping makes the server allocate and paint the window; waiting for that
 * here would stall a run that only draws and dumps, so the server does it
 * while the run reads its data, and the exposure is served with the other
 * events as they come. The size is the one asked for: a window manager's
 * change arrives as an event like any later one. */
void show_transient_window() {
  if (!have_window() || !state.transient) return;
  XMapWindow(state.display, state.root_window);
  XFlush(state.display);
}

int close_window() {
  Display* d = state.display;
  if (!d) return 0;
  gdelete_all_frames();
  /* The window and its backing pixmap go with the connection: the server
   * destroys them after the disconnect below, when nothing waits for it,
   * instead of inside the disconnect's round trip. */
  state.root_window = state.base_window = state.draw_window = 0;
  release_server_resources();
  gset_event_poll(state.saved_poll);
  state.saved_poll = nullptr;
  gclear_objs();
  disconnect();
  return 0;
}

/* The window text of device 6: item 2 of the connection string,
 * else the environment. */
bool window_spec_text(const Gconn_items& items, std::string* text) {
  if (items.size() >= 2) {
    *text = items[1];
    return true;
  }
  if (const char* env = gfirst_env({"kezwindow", "WINDOW"})) {
    *text = env;
    return true;
  }
  return false;
}

/* A foreign drawable is usable when the server knows it and the visible
 * window, and it has the screen's depth (the contexts are made for that). */
bool usable_foreign_window() {
  Display* d = state.display;
  const int print = gset_xerror_print(0);
  state.Xerror = 0;
  Window root = 0;
  int gx = 0, gy = 0;
  unsigned int w = 0, h = 0, border = 0, depth = 0;
  Status drawable_ok = XGetGeometry(d, state.draw_window, &root, &gx, &gy, &w, &h, &border, &depth);
  XWindowAttributes attrs{};
  Status window_ok =
      state.root_window == state.draw_window ? drawable_ok : XGetWindowAttributes(d, state.root_window, &attrs);
  XSync(d, False);
  gset_xerror_print(print);
  return !state.Xerror && drawable_ok && window_ok && static_cast<int>(depth) == state.depth;
}

/* The foreign window's current name up to its frame mark becomes the title;
 * a drawable that is no window has none. */
void title_from_window() {
  char* name = nullptr;
  const int print = gset_xerror_print(0);
  const Status fetched = XFetchName(state.display, state.root_window, &name);
  XSync(state.display, False);
  gset_xerror_print(print);
  if (!fetched || !name) return;
  std::string title = name;
  XFree(name);
  if (std::size_t at = title.find(" ["); at != std::string::npos) title.resize(at);
  state.win_title = title.substr(0, WIN_TITLE_LEN);
}

void foreign_geometry() {
  const std::string text = geometry_text(false);
  if (text.empty()) return;
  if (text[0] == 'P' || text[0] == 'p') {
    Garea area{state.win_width, state.win_height, state.win_x, state.win_y};
    gpanel_geometry(text.c_str() + 1, false, &area);
    state.win_width = area.width;
    state.win_height = area.height;
    state.win_x = area.x;
    state.win_y = area.y;
    return;
  }
  int w = 0, h = 0, x = 0, y = 0;
  const int n = std::sscanf(text.c_str(), "%dx%d+%d+%d", &w, &h, &x, &y);
  if (n < 2 || w <= 0 || h <= 0) return;
  state.win_width = std::min(w, state.win_width);
  state.win_height = std::min(h, state.win_height);
  if (n == 4) {
    state.win_x = x;
    state.win_y = y;
  }
}

int close_foreign();

/* Device 6: a drawable of another program, named by a window
 * text. */
int open_foreign(const Gconn_items& items) {
  if (connect_display(items) != 0) return -1;
  gset_cache(0);
  gset_redraw(0);
  auto fail = [](const char* message) {
    if (message) MESS_print(M_warn, "%s", message);
    close_foreign();
    return -1;
  };
  std::string text;
  if (!window_spec_text(items, &text)) return fail("gopen_ws: window parameters not specified\n");
  if (text.empty()) return fail("gopen_ws: window id not specified\n");
  Gwindow_spec spec{0, 0, DEFAULT_WIDTH, DEFAULT_HEIGHT, 0};
  if (gget_window_spec(text.c_str(), &spec) != 0) return fail(nullptr);
  state.draw_window = state.base_window = spec.drawable;
  state.root_window = spec.window ? spec.window : spec.drawable;
  state.root_width = state.win_width = std::clamp(spec.width, 1, MAX_PIXELS);
  state.root_height = state.win_height = std::clamp(spec.height, 1, MAX_PIXELS);
  state.win_x = state.win_y = 0;
  if (!usable_foreign_window()) return fail("gopen_ws: unable to open window\n");
  if (spec.colormap) gset_user_cmap(spec.colormap);
  title_from_window();

  state.root_gc = plain_gc(state.root_window);
  choose_window_colours();
  XSetForeground(state.display, state.root_gc, state.fore_colr);
  XSetBackground(state.display, state.root_gc, state.back_colr);
  if (state.pix_mode == 2) {
    gsend_loop_message(2);
    gwait_loop_window();
  }
  ginit_xcolr();
  foreign_geometry();
  return 0;
}

int close_foreign() {
  if (!state.display) return 0;
  release_server_resources();
  XSync(state.display, False);
  if (state.pix_mode == 9 && state.root_window) gsend_loop_message(9);
  disconnect();
  return 0;
}

/* Line width 0, solid lines and bevel joins in the contexts of the
 * primitives, whatever their modules set up. */
void window_line_attributes() {
  XGCValues values{};
  values.line_width = 0;
  values.line_style = LineSolid;
  values.join_style = JoinBevel;
  for (GC gc : {gget_line_gc(), gget_marker_gc(), gget_text_gc(), gget_fill_gc()})
    if (gc) XChangeGC(state.display, gc, GCLineWidth | GCLineStyle | GCJoinStyle, &values);
}

/* ---- the window devices' writers --------------------------------------- */

/* World points as window pixels, rounded to the nearest pixel, in a
 * buffer of the module that grows to the longest line drawn; ok() is
 * false when a long line found no memory. One is alive at a time: the
 * writers below convert, draw and return. */
class XPoints {
 public:
  XPoints(int n, const Gpt* pts) {
    std::vector<XPoint>& buffer = state.points;
    const std::size_t need = static_cast<std::size_t>(std::max(n, 1));
    if (buffer.size() < need) {
      try {
        buffer.resize(need);
      } catch (const std::bad_alloc&) {
        return;
      }
    }
    ok_ = true;
    if (n > 0) gW_xpoints(n, pts, buffer.data());
  }
  XPoint* data() { return state.points.data(); }
  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
};

/* A context of the primitives while a window is connected. */
GC drawing_gc(GC gc) { return state.display ? gc : nullptr; }

int x_polyline(int n, const Gpt* pts, const Gline_attr&) {
  GC gc = drawing_gc(gget_line_gc());
  if (!gc) return 0;
  XPoints xp(n, pts);
  if (!xp.ok()) {
    gerr_printf("gpolyline", "malloc error\n");
    return 0;
  }
  XDrawLines(state.display, state.draw_window, gc, xp.data(), n, CoordModeOrigin);
  return 0;
}

/* The polygon and then its outline, both in the fill colour and pattern of
 * the fill context. */
int x_fill_area(int n, const Gpt* pts, int, int) {
  GC gc = drawing_gc(gget_fill_gc());
  if (!gc) return 0;
  XPoints xp(n, pts);
  if (!xp.ok()) {
    gerr_printf("gfill_area", "malloc error\n");
    return 0;
  }
  XFillPolygon(state.display, state.draw_window, gc, xp.data(), n, Complex, CoordModeOrigin);
  XDrawLines(state.display, state.draw_window, gc, xp.data(), n, CoordModeOrigin);
  return 0;
}

/* The window devices clip the contexts of the primitives. */
void x_clip(float, float, float, float) {
  if (!state.display || !state.open_graphics) return;
  XRectangle rect{};
  gget_xviewport(&rect);
  for (GC gc : {gget_line_gc(), gget_marker_gc(), gget_fill_gc(), gget_text_gc()})
    if (gc) XSetClipRectangles(state.display, gc, 0, 0, &rect, 1, Unsorted);
}

/* Marker centres stay fractional until a stroke is drawn. */
Gpt x_centre(const Gpt& w) { return Gpt{xW_p(w.x) + 0.5f, yW_p(w.y) + 0.5f}; }

constexpr int MAX_MARKER_POINTS = 13;

void x_marker_stroke(int npt, const Gpt* pts) {
  GC gc = drawing_gc(gget_marker_gc());
  if (!gc) return;
  XPoint xp[MAX_MARKER_POINTS];
  const int n = std::min(npt, MAX_MARKER_POINTS);
  for (int i = 0; i < n; ++i) {
    xp[i].x = gx_pixel(pts[i].x);
    xp[i].y = gx_pixel(pts[i].y);
  }
  if (n == 1)
    XDrawPoint(state.display, state.draw_window, gc, xp[0].x, xp[0].y);
  else
    XDrawLines(state.display, state.draw_window, gc, xp, n, CoordModeOrigin);
}

/* Shadows are black on the window, whatever the colour. */
void shadow_colour(GC gc, bool on, int color) {
  if (!(gc = drawing_gc(gc))) return;
  XSetForeground(state.display, gc,
                 on ? BlackPixel(state.display, state.screen) : static_cast<unsigned long>(gget_color_ind(color)));
}

void x_marker_shadow(bool on, int color) { shadow_colour(gget_marker_gc(), on, color); }
void x_text_shadow(bool on, int color) { shadow_colour(gget_text_gc(), on, color); }

/* The window draws each finished text stroke as one connected line. */
void x_text_stroke(const Gpt* finished, int n) {
  GC gc = drawing_gc(gget_text_gc());
  if (!gc || n < 2) return;
  XPoints xp(n, finished);
  if (!xp.ok()) return;
  XDrawLines(state.display, state.draw_window, gc, xp.data(), n, CoordModeOrigin);
}
void x_text_pen_up(Gpt, const Gpt* finished, int n) { x_text_stroke(finished, n); }

/* A glyph's strokes drawn as x_text_stroke draws them piece by piece, from
 * one conversion of the glyph's points. */
void x_text_strokes(const Gpt* pts, int n, const int* starts, int nstrokes) {
  GC gc = drawing_gc(gget_text_gc());
  if (!gc || n < 2 || nstrokes <= 0) return;
  XPoints xp(n, pts);
  if (!xp.ok()) return;
  auto draw = [&](int first, int count) {
    if (count > 1) XDrawLines(state.display, state.draw_window, gc, xp.data() + first, count, CoordModeOrigin);
  };
  constexpr int PIECE = GTEXT_PENDING - 1;
  for (int j = 0; j < nstrokes; ++j) {
    const int a = starts[j], b = j + 1 < nstrokes ? starts[j + 1] : n;
    int first = a;
    for (; first + PIECE < b; first += PIECE) draw(first, PIECE + 1);
    draw(first, b - first);
  }
}

void x_clear_region(const Glim& lim) {
  if (!state.display) return;
  const int x = static_cast<int>(std::floor(xW_p(lim.x_min) + 0.5f));
  const int y = static_cast<int>(std::floor(yW_p(lim.y_max) + 0.5f));
  const int w = static_cast<int>(xW_p(lim.x_max) - static_cast<float>(x) + 0.5f);
  const int h = static_cast<int>(yW_p(lim.y_min) - static_cast<float>(y) + 0.5f);
  fill_with_background(state.draw_window, x, y, w, h);
}

/* ---- the table of devices -------------------------------------------- */

/* Every device of the workstation; the first row of a type is its default,
 * a row with a form is chosen by that option item. Adding a device is its
 * module and one row here. */
constexpr const Gdevice* devices[] = {
    &gws_window_device, &gps_device, &gws_pixmap_device, &ghpgl_device, &gmeta_device, &gcgm_device,
};

const Gdevice* default_device(int type) {
  for (const Gdevice* d : devices)
    if (d->type == type) return d;
  return nullptr;
}

/* The row of a type that the last form item of the connection string
 * names, else the type's default. */
const Gdevice* device_for(int type, const Gconn_items& items) {
  const Gdevice* chosen = default_device(type);
  for (std::size_t i = 1; chosen && i < items.size(); ++i)
    for (const Gdevice* d : devices)
      if (d->type == type && d->form && stricmp(items[i].c_str(), d->form) == 0) chosen = d;
  return chosen;
}

const Gdevice no_device{};

} // namespace

const Gdevice gws_window_device = {
    GWS_WINDOW,
    nullptr,
    GINIT_WINDOW,
    open_window,
    close_window,
    nullptr,
    x_clip,
    x_polyline,
    x_fill_area,
    {1, nullptr, x_centre, x_marker_stroke, x_marker_shadow, nullptr},
    {nullptr, nullptr, x_text_pen_up, nullptr, x_text_pen_up, x_text_stroke, x_text_shadow, nullptr, nullptr,
     x_text_strokes},
    x_clear_region,
    nullptr,
};

const Gdevice gws_pixmap_device = {
    GWS_PIXMAP,
    nullptr,
    GINIT_WINDOW,
    open_foreign,
    close_foreign,
    nullptr,
    x_clip,
    x_polyline,
    x_fill_area,
    {1, nullptr, x_centre, x_marker_stroke, x_marker_shadow, nullptr},
    {nullptr, nullptr, x_text_pen_up, nullptr, x_text_pen_up, x_text_stroke, x_text_shadow, nullptr, nullptr,
     x_text_strokes},
    x_clear_region,
    nullptr,
};

const Gdevice& gdevice() { return state.device ? *state.device : no_device; }

int gset_device(const Gdevice* device) {
  state.device = device;
  state.win_type = device ? device->type : 0;
  gattr_changed();
  return 0;
}

int grecord(const char* format, ...) {
  const Gdevice& dev = gdevice();
  if (!dev.record || !format) return 0;
  va_list args;
  va_start(args, format);
  std::string text = vformat(format, args);
  va_end(args);
  dev.record("%s", text.c_str());
  return 1;
}

GC ginit_x_gc(int type, GC* gc, Drawable on, int (*release)()) {
  Display* d = state.display;
  if ((type != GINIT_WINDOW && type != GINIT_WINDOW_AGAIN) || !d || !gc) return nullptr;
  if (type == GINIT_WINDOW) {
    if (release) release();
    *gc = XCreateGC(d, on, 0, nullptr);
  }
  if (!*gc) return nullptr;
  XRectangle clip{};
  gget_xviewport(&clip);
  XSetClipRectangles(d, *gc, 0, 0, &clip, 1, Unsorted);
  XSetForeground(d, *gc, WhitePixel(d, state.screen));
  XSetBackground(d, *gc, BlackPixel(d, state.screen));
  return *gc;
}

/* The setters' common step; the record's formatting is skipped where no
 * device keeps records (grecord would do nothing). */
int gset_attr(int* slot, int value, const char* meta, Gobj_kind kind, void (*tell)(int)) {
  if (value == *slot) return 0;
  *slot = value;
  ++state.attr_serial;
  if (!(gdevice().record && grecord(meta, value))) gnew_obj(kind, value, 0, nullptr);
  if (tell) tell(value);
  return 0;
}

int gset_attr(float* slot, float value, const char* meta, Gobj_kind kind, void (*tell)(float)) {
  if (value == *slot) return 0;
  *slot = value;
  ++state.attr_serial;
  if (!(gdevice().record && grecord(meta, static_cast<double>(value)))) gnew_obj(kind, 1, sizeof value, &value);
  if (tell) tell(value);
  return 0;
}

void gattr_changed() { ++state.attr_serial; }

unsigned long gget_attr_serial() { return state.attr_serial; }

int gcheck_open(const char* caller) {
  if (state.open_graphics) return 1;
  gerr_printf(caller, "GKS not opened\n");
  return 0;
}

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
  const Gconn_items items = gsplit_items(conn_id);
  const char* redirect = std::getenv("kezprint");
  if (ws_type == GWS_PS && redirect && stricmp(redirect, "hpgl") == 0) ws_type = GWS_HPGL;
  const Gdevice* device = device_for(ws_type, items);
  if (!device) {
    MESS_print(M_warn, "gopen_ws: unsupported device type: %d\n", ws_type);
    return -1;
  }
  state.win_type = device->type;
  state.device = device;
  state.depth = 10; /* a window device takes the screen's */
  if (device->open(items) != 0) {
    state.win_type = 0;
    state.device = nullptr;
    return -1;
  }
  state.open_graphics = 1;
  ginit_objs();
  ginit_plot(device->init_class);
  gsetup_fonts();
  ginit_background();
  if (gtype_is_PIX() && state.pix_mode == 1) gclear_frame(-3);
  if (gtype_is_WIN_PIX()) {
    gsync();
    gcheck_event();
  }
  gset_cursor(CURSOR_BUSY);
  if (gtype_is_WIN()) show_transient_window();
  return 0;
}

int gclose_ws(Gint) {
  if (!state.open_graphics) return -1;
  state.win_width = 0;
  state.win_height = 0;
  int result = 0;
  if (const Gdevice& device = gdevice(); device.close) result = device.close() < 0 ? -1 : 0;
  state.open_graphics = 0;
  return result;
}

int gactivate_ws(Gint) { return 0; }

int gdeactivate_ws(Gint) { return 0; }

int ginit_plot(int type) {
  if (type == -1) return -1;
  gattr_changed();
  greset_text();
  greset_line();
  greset_marker();
  greset_fill();
  ginit_loop();
  ginit_tran(type);
  ginit_text(type);
  ginit_line(type);
  ginit_marker(type);
  ginit_fill(type);
  /* Another program's colormap is not ours to store cells into. */
  if (type == GINIT_WINDOW && gtype_is_PIX()) gset_rw_colors(0);
  if ((type == GINIT_WINDOW || type == GINIT_WINDOW_AGAIN) && state.display) {
    ginit_event(type);
    window_line_attributes();
    gsync();
  }
  return 0;
}

/* One message through the frame's message path, as one piece, and a copy
 * in the error file that gopen_gks named. */
int gerr_printf(const char* name, const char* format, ...) {
  if (!state.err_file || !format) return 0;
  va_list args;
  va_start(args, format);
  const std::string text = vformat(format, args);
  va_end(args);
  MESS_print(M_warn, "%s: %s\n", name ? name : "", text.c_str());
  if (state.err_file != stderr) {
    std::fprintf(state.err_file, "%s: %s\n", name ? name : "", text.c_str());
    std::fflush(state.err_file);
  }
  return 0;
}
/* The frames are pixmaps of this connection: the server frees them with it
 * when the process ends, so no request is made from inside the handlers. */
int Xerror_handler(Display* display, XErrorEvent* event) {
  state.Xerror = 1;
  if (!state.Xerror_print || !event) return 0;
  char text[81] = "";
  XGetErrorText(display, event->error_code, text, sizeof text);
  char request[61] = "";
  const std::string number = std::to_string(static_cast<int>(event->request_code));
  XGetErrorDatabaseText(display, "XRequest", number.c_str(), "", request, sizeof request);
  MESS_print(M_warn, "X11 error: %s in %s\n", text, request);
  if (++state.num_error >= MAX_X_ERRORS) {
    MESS_print(M_error, "X11 error: too many errors\n");
    KEZ_exit(4);
  }
  return 0;
}

int XerrorIO_handler(Display*) {
  MESS_print(M_error, "Fatal X11 Error\n");
  KEZ_exit(4);
}

int gset_xerror_print(int val) {
  const int old = state.Xerror_print;
  state.Xerror_print = val;
  return old;
}

/* ---- the hold loop and window control ---------------------------------- */

int ghold(Gint) {
  /* Without event handling nothing could end the hold. */
  if (!gtype_is_WIN() || !have_window() || !gget_cache()) return 0;
  gcheck_event();
  gsync();
  if (gget_looping()) KEZ_init_time();
  gset_input_mode(1);
  std::time_t due = std::time(nullptr) + state.refresh;
  int quiet = 0; /* polls since the last user event */
  while (gget_input_mode()) {
    const bool frames = gget_num_images() >= 2;
    if (frames && gget_looping()) {
      gset_cursor(3);
      gloop_sleep();
      if (gis_mapped()) gdisplay_frame(ginc_frame(0));
      KEZ_init_time();
      gcheck_event();
      quiet = 0;
    } else if (state.refresh > 0) {
      gset_cursor(frames ? 4 : 6);
      KEZ_sleep(quiet < 50 ? 0.1f : 0.5f);
      if (quiet < 50) ++quiet;
      if (gcheck_event() > 0) quiet = 0;
    } else {
      gset_cursor(frames ? 4 : 6);
      gwait_event();
    }
    const std::time_t now = std::time(nullptr);
    if (state.refresh > 0 && state.refresh_CB && due < now) {
      /* A key or button served inside the refresh's drawing would re-plot
       * in the middle of it, and the refresh would then finish the old
       * picture over the new one. */
      gserve_refresh(state.refresh_CB);
      due += state.refresh;
    }
  }
  gset_input_mode(0);
  gbell(50);
  gset_cursor(0);
  gsync();
  return 0;
}

int gset_refresh_callback(int val, Grefresh_func func) {
  state.refresh = val > 0 ? val : 0;
  state.refresh_CB = func;
  return 0;
}

int gclear_ws(Gint, int) {
  if (!gtype_is_WIN() || !have_window()) return 0;
  fill_with_background(state.base_window, state.win_x, state.win_y, state.win_width, state.win_height);
  gclear_objs();
  return 0;
}

int gupdate_window() {
  if (!have_window() || !state.base_window || !state.root_gc) return -1;
  if (state.base_window != state.root_window)
    XCopyArea(state.display, state.base_window, state.root_window, state.root_gc, 0, 0,
              static_cast<unsigned int>(state.root_width), static_cast<unsigned int>(state.root_height), 0, 0);
  sync_display();
  return 0;
}

/* A new backing pixmap of the given size, cleared to the background, with
 * the old picture copied in from the top left corner over copy_w by copy_h. */
void replace_backing_pixmap(int width, int height, int copy_w, int copy_h) {
  Display* d = state.display;
  const Pixmap pixmap = XCreatePixmap(d, state.root_window, static_cast<unsigned int>(width),
                                      static_cast<unsigned int>(height), static_cast<unsigned int>(state.depth));
  fill_with_background(pixmap, 0, 0, width, height);
  const int w = std::min(width, copy_w), h = std::min(height, copy_h);
  if (state.base_window && w > 0 && h > 0)
    XCopyArea(d, state.base_window, pixmap, state.root_gc, 0, 0, static_cast<unsigned int>(w),
              static_cast<unsigned int>(h), 0, 0);
  const bool drawing_on_base = state.draw_window == state.base_window;
  free_backing_pixmap(state.base_window);
  state.base_window = pixmap;
  if (drawing_on_base || !state.draw_window) state.draw_window = pixmap;
}

/* The backing pixmap follows every change of size, whoever made it. */
int gresize_window(int width, int height) {
  if (!gtype_is_WIN() || !have_window()) return 0;
  Display* d = state.display;
  if (width > 0) {
    height = std::clamp(height, 1, MAX_PIXELS);
    width = std::min(width, MAX_PIXELS);
    const int old_w = state.win_width, old_h = state.win_height;
    XClearWindow(d, state.root_window);
    state.win_width = state.root_width = width;
    state.win_height = state.root_height = height;
    XResizeWindow(d, state.root_window, static_cast<unsigned int>(width), static_cast<unsigned int>(height));
    replace_backing_pixmap(width, height, old_w, old_h);
  } else {
    Window root = 0;
    int gx = 0, gy = 0;
    unsigned int w = 0, h = 0, border = 0, depth = 0;
    if (!XGetGeometry(d, state.root_window, &root, &gx, &gy, &w, &h, &border, &depth)) return 0;
    const int new_w = static_cast<int>(w), new_h = static_cast<int>(h);
    if (new_w == state.win_width && new_h == state.win_height) return 0;
    XClearWindow(d, state.root_window);
    replace_backing_pixmap(new_w, new_h, state.win_width, state.win_height);
    state.win_width = state.root_width = new_w;
    state.win_height = state.root_height = new_h;
  }
  XSync(d, False);
  greset_zoom();
  gdelete_all_frames();
  return 1;
}

int gclear_region(const Glim* lim) {
  if (!lim) return 0;
  const Gdevice& device = gdevice();
  if (!device.record) gnew_obj(GOBJ_CLEAR_REGION, 1, sizeof(Glim), lim);
  if (device.clear_region) device.clear_region(*lim);
  return 0;
}

int gmessage(Gint ws_id, const char* message) {
  if (!message) return 0;
  gnew_obj(GOBJ_MESSAGE, ws_id, static_cast<int>(std::strlen(message)) + 1, message);
  if (const Gdevice& device = gdevice(); device.message) device.message(message);
  return 0;
}

/* Segments exist in the display list only; a device that keeps records
 * records them and reports that it keeps none. */
int gcreate_seg(Gint name) {
  if (grecord("SEG_CR %d\n", name)) return -1;
  gnew_obj(GOBJ_SEG_OPEN, name, 0, nullptr);
  return 0;
}

int gclose_seg(Gint name) {
  if (grecord("SEG_CL %d\n", name)) return -1;
  gnew_obj(GOBJ_SEG_CLOSE, name, 0, nullptr);
  return 0;
}

int gdel_seg(Gint name) {
  if (grecord("SEG_DE %d\n", name)) return -1;
  gdel_seg_objs(name);
  return 0;
}

/* ---- accessors ---------------------------------------------------------- */

int gchk_graphics() { return state.open_graphics; }

int gget_win_type() { return state.win_type; }

int gset_win_type(int type) {
  state.win_type = type;
  state.device = default_device(type);
  gattr_changed();
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
  ginit_tran(GINIT_RESIZE);
  return 0;
}

int gget_root_size(int* width, int* height) {
  if (width) *width = state.root_width;
  if (height) *height = state.root_height;
  return 0;
}

int gget_win_offset(int* x, int* y) {
  if (x) *x = state.win_x;
  if (y) *y = state.win_y;
  return 0;
}

/* Only the own window is resized; another program's keeps its size. */
int gset_xsize(int x, int y) {
  state.win_width = x;
  state.win_height = y;
  if (gtype_is_WIN() && have_window() && x > 0 && y > 0) {
    XResizeWindow(state.display, state.root_window, static_cast<unsigned int>(std::min(x, MAX_PIXELS)),
                  static_cast<unsigned int>(std::min(y, MAX_PIXELS)));
    XSync(state.display, False);
  }
  return 0;
}

void gx_foreground_due(GxForeground* f, GC gc, int colour) {
  if (!gc || !state.display || !gtype_is_WIN_PIX()) return;
  f->due = true;
  f->pixel = static_cast<unsigned long>(gget_color_ind(colour));
}

GC gx_foreground(GC gc, GxForeground* f) {
  if (f->due) {
    f->due = false;
    if (gc && state.display) XSetForeground(state.display, gc, f->pixel);
  }
  return gc;
}

int gx_line_width(float width) {
  if (!std::isfinite(width)) return 0;
  return static_cast<int>(std::clamp(width, 0.0f, static_cast<float>(MAX_PIXELS)));
}

int gset_xoff(int x, int y) {
  state.win_x = x;
  state.win_y = y;
  return 0;
}

int gget_window_width() { return state.win_width; }

int gget_window_height() { return state.win_height; }

int gset_pix_mode(int mode) {
  state.pix_mode = mode;
  return 0;
}

int gset_iconic(int flag) {
  state.icon = flag ? 1 : 0;
  return 1;
}

int gset_transient(int flag) {
  state.transient = flag ? 1 : 0;
  return 0;
}

int gset_fixed_size() {
  state.fixed_size = 1;
  return 1;
}

int gset_geometry(const char* text) {
  state.geometry = text ? std::string(text).substr(0, GEOMETRY_LEN) : std::string();
  return 1;
}

int gset_icon_bitmap(const unsigned char* bits) {
  if (bits) std::copy(bits, bits + GICON_BITS_LEN, state.kez_bits.begin());
  return 0;
}

int gset_prog_name(const char* name) {
  state.prog_name = name ? std::string(name).substr(0, PROG_NAME_LEN) : std::string();
  return 0;
}

const char* gget_prog_name() { return state.prog_name.c_str(); }

/* Without a window the title is kept for the next one and for the file
 * devices' headers. */
int gset_win_title(const char* title) {
  state.win_title = title ? std::string(title).substr(0, WIN_TITLE_LEN) : std::string();
  if (!have_window()) return -1;
  XStoreName(state.display, state.root_window, state.win_title.c_str());
  XSetIconName(state.display, state.root_window, state.win_title.c_str());
  XSync(state.display, False);
  return 0;
}

const char* gget_win_title() { return state.win_title.c_str(); }

int gset_win_title_extra(const char* text) {
  if (!have_window()) return -1;
  std::string name = state.win_title;
  if (text && *text) name += std::string(" ") + text;
  if (name.size() > TITLE_EXTRA_MAX) name.resize(TITLE_EXTRA_MAX);
  XStoreName(state.display, state.root_window, name.c_str());
  XSync(state.display, False);
  return 0;
}

int gget_win_title_extra(char* buffer) {
  if (!buffer) return -1;
  buffer[0] = '\0';
  if (!have_window()) return -1;
  char* name = nullptr;
  if (!XFetchName(state.display, state.root_window, &name) || !name) return -1;
  const std::size_t skip = state.win_title.size() + 1;
  if (std::strlen(name) > skip) {
    std::strncpy(buffer, name + skip, TITLE_EXTRA_MAX);
    buffer[TITLE_EXTRA_MAX] = '\0';
  }
  XFree(name);
  return 0;
}

int gset_cursor(int type) {
  if (!gtype_is_WIN_PIX()) return 0;
  const int old = gset_cursor_type(type);
  gsync();
  return old;
}

/* Another program's window keeps its own cursor; only the type is noted. */
int gset_cursor_type(int type) {
  const int old = state.cursor;
  if (type >= 0 && type < NUM_CURSORS && have_window() && gtype_is_WIN()) {
    if (const Cursor c = cursor_of(type)) XDefineCursor(state.display, state.root_window, c);
  }
  state.cursor = type;
  return old;
}

int gget_cursor_type() { return state.cursor; }

int gbell(int len) {
  if (!gtype_is_WIN_PIX() || !state.display) return 0;
  XBell(state.display, std::clamp(len ? len : 50, -100, 100));
  XSync(state.display, False);
  return 0;
}

int gsync() {
  if (gtype_is_WIN_PIX()) sync_display();
  return 0;
}

Display* gget_display() { return state.display; }

int gget_screen() { return state.screen; }

Visual* gget_visual() { return state.visual; }

Window gget_root_window() { return state.root_window; }

Drawable gget_base_window() { return state.base_window; }

Drawable gget_draw_window() { return state.draw_window; }

GC gget_root_gc() { return state.root_gc; }

unsigned long gget_red_mask() { return state.red_mask; }

unsigned long gget_grn_mask() { return state.grn_mask; }

unsigned long gget_blu_mask() { return state.blu_mask; }

int gset_base_window(Drawable drawable) {
  state.base_window = drawable;
  return 0;
}

int gset_draw_window(Drawable drawable) {
  state.draw_window = drawable ? drawable : state.base_window;
  return 0;
}
