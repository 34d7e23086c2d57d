/*
 * gks_evnt: the X events of the program's own window (device 1).
 *
 * The kernel reads its window's events itself: at every 500th call that
 * reaches the display list (the poll the workstation installs), at the end
 * of the workstation open and in the hold loop. Serving an event keeps the
 * window up to date on exposure, adopts a size the user gave the window,
 * runs the kernel's own key and button bindings (ending the hold, stepping
 * and looping frames, magnifying, writing images and metafiles), draws a
 * rubber band while a button is held, and hands every key in the hold,
 * every button and every resize to the application's callback with a world
 * position. Events are served only on device 1 while event processing (the
 * display list's cache switch) is on.
 */
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "kez.h"
#include "kezgks_x11.h"
#include "kezimg.h"

namespace {

constexpr int KEY_TEXT_LEN = 80;
constexpr int HOLD_END = 3;
constexpr short UNSET = -9999;
constexpr int CURSOR_POINTER = 1;
constexpr int CURSOR_BUSY = 8;
constexpr std::size_t TITLE_PART = 5; /* characters of the title in image names */

struct EventState {
  Gmouse_func mouse_CB = nullptr;
  int input_mode = 0; /* 0 not holding, 1 holding, 2 holding after a key, 3 end the hold */
  int user_event = 0; /* the event served was a key press or a button release */
  int mapped = 0;
  int Expose_cnt = 0; /* an exposure was answered; the next ones of the run are not */
  int in_event = 0;   /* an event is being served: the ones its work polls for wait */

  /* The rubber band of the button held now. */
  int rubber_band = GBAND_NONE;
  int rubber_band_con = GBAND_FREE;
  int rubber_band_num = 0;
  std::array<XPoint, GBAND_MAX_POINTS> pts{}; /* window pixels; UNSET x: no point */
  int pt_ind = 0;                             /* a button was pressed */
  std::array<XPoint, 2> rubber_band_lim{};    /* bounds of the moving point; UNSET x: none */
};

EventState state;

bool serving() { return gtype_is_WIN() && gget_cache() && gget_display(); }

/* Modifier suffixes in their fixed order; Alt is the first modifier. */
std::string with_modifiers(std::string text, unsigned int mods) {
  if (mods & Mod1Mask) text += "-Alt";
  if (mods & ShiftMask) text += "-Shft";
  if (mods & ControlMask) text += "-Cntrl";
  return text;
}

/* The application's callback, with the pointer cursor while it runs. */
void report(int kind, const std::string& text, float x, float y) {
  if (!state.mouse_CB) return;
  std::string buffer = text;
  const int cursor = gset_cursor(CURSOR_POINTER);
  state.mouse_CB(kind, buffer.data(), x, y);
  gset_cursor(cursor);
}

/* A window pixel as a world position, through the magnification. */
float world_x(int px) { return xp_W(xZ_p(static_cast<float>(px))); }
float world_y(int py) { return yp_W(yZ_p(static_cast<float>(py))); }

short to_pixel(float v) { return static_cast<short>(std::clamp(std::floor(v + 0.5f), -32768.0f, 32767.0f)); }

/* ---- frames and images --------------------------------------------------- */

void previous_or_slower() {
  if (gget_looping()) {
    ginc_loop_delay(gget_loop_delay() < 0.09f ? 0.05f : 0.1f);
  } else {
    gdisplay_frame(ginc_frame(-1));
  }
}

void next_or_faster() {
  if (gget_looping()) {
    ginc_loop_delay(gget_loop_delay() <= 0.11f ? -0.05f : -0.1f);
  } else {
    gdisplay_frame(ginc_frame(1));
  }
}

/* An image file name in the "image_path" directory: the first characters
 * of the title, a frame number when there are frames, blanks as "_". */
std::string image_name(const char* suffix, int frame) {
  std::string name = std::string(gget_win_title()).substr(0, TITLE_PART);
  if (frame >= 0) {
    char number[16];
    std::snprintf(number, sizeof number, "-%2.2d", frame);
    name += number;
  }
  name += suffix;
  std::replace(name.begin(), name.end(), ' ', '_');
  return FILE_add_path(RES_get("image_path"), name.c_str());
}

struct ImageKind {
  const char* suffix;
  const char* label;
  int (*dump)(const char* filename);
};

constexpr ImageKind gif_kind{".gif", "GIF", GIF_dump};
constexpr ImageKind xwd_kind{".xwd", "XWD", XWD_dump};

bool dump_one(const ImageKind& kind, const std::string& path) {
  if (kind.dump(path.c_str())) return true;
  MESS_print(M_warn, "gprocess_x11_event: Unable to write %s file: %s\n", kind.label, path.c_str());
  return false;
}

void write_images(const ImageKind& kind) {
  const int cursor = gset_cursor(CURSOR_BUSY);
  const int frames = gget_num_images();
  if (frames >= 2 && gget_looping()) {
    MESS_print(M_mess, "Creating %s files:\n", kind.label);
    for (int i = 0; i < frames; ++i) {
      gselect_frame(i);
      const std::string path = image_name(kind.suffix, i);
      if (dump_one(kind, path)) MESS_print(M_mess, "%s\n", path.c_str());
    }
  } else {
    const int cur = frames >= 2 ? std::max(gget_cur_frame(), 0) : -1;
    if (cur >= 0) gselect_frame(cur);
    const std::string path = image_name(kind.suffix, cur);
    if (dump_one(kind, path)) MESS_print(M_mess, "Created %s file: %s\n", kind.label, path.c_str());
  }
  gset_cursor(cursor);
}

/* ---- keys ----------------------------------------------------------------- */

/* The kernel's own action of an Alt key; false when the key's callback is
 * to be left out. */
bool alt_binding(KeySym sym, const XKeyEvent& event) {
  switch (sym) {
    case XK_q:
    case XK_Q: state.input_mode = HOLD_END; break;
    case XK_d:
    case XK_D: gdelete_frame(GFRAME_CURRENT); break;
    case XK_z:
    case XK_Z: gzoom(GFRAME_CURRENT, event.x, event.y, -2, 0); break;
    case XK_u:
    case XK_U:
      if (gget_zoom() > 1) {
        gunzoom();
        return false;
      }
      break;
    case XK_m:
    case XK_M: {
      const int cursor = gset_cursor(CURSOR_BUSY);
      gobj_print_meta();
      gset_cursor(cursor);
      break;
    }
    case XK_g:
    case XK_G: write_images(gif_kind); break;
    case XK_x:
    case XK_X: write_images(xwd_kind); break;
    case XK_l:
    case XK_L: gtoggle_loop(-1); break;
    case XK_bracketright: next_or_faster(); break;
    case XK_bracketleft: previous_or_slower(); break;
    default: break;
  }
  return true;
}

void key_press(XKeyEvent* event) {
  state.user_event = 1;
  if (state.input_mode != 1 && state.input_mode != 2) return;
  if (state.input_mode == 1) state.input_mode = 2;
  char text[KEY_TEXT_LEN + 1] = "";
  KeySym sym = NoSymbol;
  const int n = XLookupString(event, text, KEY_TEXT_LEN, &sym, nullptr);
  text[std::clamp(n, 0, KEY_TEXT_LEN)] = '\0';
  std::string name = text;
  bool call = true;
  if (sym == XK_Return || sym == XK_KP_Enter) {
    state.input_mode = HOLD_END;
    name = "Ret";
  } else if (event->state & Mod1Mask) {
    call = alt_binding(sym, *event);
  }
  Window root = 0, child = 0;
  int root_x = 0, root_y = 0, x = event->x, y = event->y;
  unsigned int mask = 0;
  XQueryPointer(event->display, event->window, &root, &child, &root_x, &root_y, &x, &y, &mask);
  if (call) report(2, with_modifiers(name, event->state), world_x(x), world_y(y));
}

/* ---- buttons and the rubber band -------------------------------------------- */

bool has_limits() { return state.rubber_band_lim[0].x != UNSET; }

/* The pointer limited to the band's bounds. */
XPoint limited(int x, int y) {
  if (has_limits()) {
    const XPoint lo = state.rubber_band_lim[0], hi = state.rubber_band_lim[1];
    x = std::min(std::max(x, static_cast<int>(lo.x)), static_cast<int>(hi.x));
    y = std::min(std::max(y, static_cast<int>(lo.y)), static_cast<int>(hi.y));
  }
  return XPoint{static_cast<short>(std::clamp(x, -32768, 32767)), static_cast<short>(std::clamp(y, -32768, 32767))};
}

/* The band's points follow the pointer: the end point of a line or
 * rectangle, or the first point of a polyline within its constraint. */
void move_band(int x, int y) {
  const XPoint p = limited(x, y);
  if (state.rubber_band == GBAND_POLY) {
    if (state.rubber_band_con != GBAND_KEEP_X) state.pts[0].x = p.x;
    if (state.rubber_band_con != GBAND_KEEP_Y) state.pts[0].y = p.y;
  } else {
    state.pts[1] = p;
  }
}

void draw_band() {
  if (state.pts[0].x == UNSET || state.pts[1].x == UNSET) return;
  const Window window = gget_root_window();
  switch (state.rubber_band) {
    case GBAND_LINE: gxline(window, state.pts[0], state.pts[1]); break;
    case GBAND_RECT: gxrect(window, state.pts[0], state.pts[1]); break;
    case GBAND_POLY:
      gxline(window, state.pts[0], state.pts[1]);
      if (state.rubber_band_num > 2 && state.pts[2].x != UNSET) gxline(window, state.pts[0], state.pts[2]);
      break;
    default: break;
  }
}

void forget_band() {
  state.rubber_band = GBAND_NONE;
  state.rubber_band_lim[0].x = UNSET;
}

void button_press(XButtonEvent* event) {
  const bool alt = (event->state & Mod1Mask) != 0;
  if (!alt) {
    if (event->button == Button1)
      previous_or_slower();
    else if (event->button == Button2)
      gtoggle_loop(-1);
    else if (event->button == Button3)
      next_or_faster();
  }
  state.pts[0] = XPoint{static_cast<short>(event->x), static_cast<short>(event->y)};
  state.pts[1].x = UNSET;
  state.pt_ind = 1;
  const std::string text = "B" + std::to_string(event->button) + "-P";
  report(3, with_modifiers(text, event->state), world_x(event->x), world_y(event->y));
}

/* Only the newest of the queued motions counts. */
void motion(XMotionEvent* event) {
  XEvent newer;
  while (XCheckTypedWindowEvent(event->display, event->window, MotionNotify, &newer)) *event = newer.xmotion;
  if (state.rubber_band == GBAND_NONE || !state.pt_ind) return;
  draw_band();
  move_band(event->x, event->y);
  draw_band();
  XFlush(event->display);
}

void button_release(XButtonEvent* event) {
  state.user_event = 1;
  int x = event->x, y = event->y;
  if (state.rubber_band != GBAND_NONE && state.pt_ind) {
    draw_band();
    gset_line_gc_func(GXcopy);
    move_band(x, y);
    draw_band();
    XFlush(event->display);
    if (state.rubber_band == GBAND_POLY) {
      x = state.pts[0].x;
      y = state.pts[0].y;
    }
  } else if (state.rubber_band != GBAND_NONE) {
    gset_line_gc_func(GXcopy);
  }
  forget_band();
  state.pt_ind = 0;
  const std::string text = "B" + std::to_string(event->button) + "-R";
  report(3, with_modifiers(text, event->state), world_x(x), world_y(y));
}

/* Buttons beyond 3 (a wheel) have no text and no binding. */
bool named_button(unsigned int button) { return button >= Button1 && button <= Button3; }

/* ---- the window ---------------------------------------------------------- */

void resized(XConfigureEvent* event) {
  if (event->window != gget_root_window()) return;
  if (!gresize_window(-1, -1)) return;
  ginit_plot(GINIT_WINDOW_AGAIN);
  int width = 0, height = 0;
  gget_win_size(&width, &height);
  report(2, "size", static_cast<float>(width), static_cast<float>(height));
}

/* Another program asks to end the hold or to add a frame. */
void client_message(XClientMessageEvent* event) {
  const int code = static_cast<unsigned char>(event->data.b[0]);
  if (code == GLOOP_END_WAIT) state.input_mode = HOLD_END;
  if (code == GLOOP_ADD_FRAME) gadd_loop_frame();
  gset_win_title_extra("");
}

bool is_structure_event(int type) {
  return type == ConfigureNotify || type == MapNotify || type == UnmapNotify || type == ReparentNotify ||
         type == GravityNotify || type == CirculateNotify || type == DestroyNotify;
}

/* Events stay queued while one is served (a binding or the callback may
 * draw, and drawing polls for events), so they are answered in order. */
struct Serving {
  Serving() { ++state.in_event; }
  ~Serving() { --state.in_event; }
  Serving(const Serving&) = delete;
  Serving& operator=(const Serving&) = delete;
};

} // namespace

int gset_mouse_callback(Gmouse_func func) {
  state.mouse_CB = func;
  return 1;
}

int ginit_event(int type) {
  forget_band();
  state.rubber_band_con = GBAND_FREE;
  state.rubber_band_num = 0;
  state.pt_ind = 0;
  for (XPoint& p : state.pts) p = XPoint{UNSET, UNSET};
  if (type == GINIT_WINDOW) {
    state.input_mode = 0;
    greset_zoom();
  }
  return 1;
}

int gis_mapped() { return state.mapped; }

int gset_input_mode(int val) {
  state.input_mode = val == 1 ? 1 : 0;
  return 0;
}

int gget_input_mode() { return state.input_mode != HOLD_END ? 1 : 0; }

int gset_rubber_band(int val) {
  state.rubber_band = std::clamp(val, GBAND_NONE, GBAND_POLY);
  if (state.rubber_band != GBAND_NONE) gset_line_gc_func(GXxor);
  return 1;
}

int gset_rubber_band_points(const Gpt* pts, int num_pt, int constraint) {
  if (!pts || num_pt < 0) return 1;
  state.rubber_band_num = std::min(num_pt, GBAND_MAX_POINTS);
  for (int i = 0; i < state.rubber_band_num; ++i)
    state.pts[static_cast<std::size_t>(i)] = XPoint{to_pixel(xW_p(pts[i].x)), to_pixel(yW_p(pts[i].y))};
  state.rubber_band_con = constraint;
  return 1;
}

int gset_rubber_band_limits(const Gpt* lim) {
  if (!lim) return 1;
  for (std::size_t i = 0; i < 2; ++i)
    state.rubber_band_lim[i] = XPoint{to_pixel(xW_p(lim[i].x)), to_pixel(yW_p(lim[i].y))};
  /* The corners may come in any order; the first holds the lower bounds. */
  XPoint& lo = state.rubber_band_lim[0];
  XPoint& hi = state.rubber_band_lim[1];
  if (lo.x > hi.x) std::swap(lo.x, hi.x);
  if (lo.y > hi.y) std::swap(lo.y, hi.y);
  return 1;
}

int gprocess_x11_event(XEvent* event) {
  state.user_event = 0;
  if (!event || !serving()) return 0;
  const Serving serving_one;
  if (event->type != Expose && !is_structure_event(event->type)) state.Expose_cnt = 0;
  switch (event->type) {
    case Expose:
      if (state.Expose_cnt == 0) {
        state.Expose_cnt = 1;
        gupdate_window();
      }
      break;
    case MapNotify: state.mapped = 1; break;
    case UnmapNotify: state.mapped = 0; break;
    case ConfigureNotify: resized(&event->xconfigure); break;
    case ClientMessage: client_message(&event->xclient); break;
    case KeyPress: key_press(&event->xkey); break;
    case ButtonPress:
      if (named_button(event->xbutton.button)) button_press(&event->xbutton);
      break;
    case ButtonRelease:
      if (named_button(event->xbutton.button)) button_release(&event->xbutton);
      break;
    case MotionNotify: motion(&event->xmotion); break;
    default: break;
  }
  return 0;
}

int gcheck_event() {
  int users = 0;
  while (serving() && !state.in_event && XPending(gget_display()) > 0) {
    XEvent event;
    XNextEvent(gget_display(), &event);
    gprocess_x11_event(&event);
    users += state.user_event;
  }
  return users;
}

int gserve_refresh(Grefresh_func func) {
  if (!func) return 0;
  const Serving serving_one;
  return func();
}

int gwait_event() {
  if (!serving() || state.in_event) return 0;
  XEvent event;
  XNextEvent(gget_display(), &event);
  gprocess_x11_event(&event);
  return state.user_event + gcheck_event();
}

int gprint_event() {
  Display* d = gget_display();
  int n = 0;
  while (d && XPending(d) > 0) {
    XEvent event;
    XNextEvent(d, &event);
    MESS_print(M_debug, "gprint_event: type %d window %lu\n", event.type,
               static_cast<unsigned long>(event.xany.window));
    ++n;
  }
  return n;
}
