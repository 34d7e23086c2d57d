/*
 * gks_evnt: the X events of the program's own window (device 1).
 *
 * The kernel reads its window's events itself: at every 500th call that
 * reaches the display list (the poll the workstation installs), at the end
 * of the workstation open and in the hold loop. Serving an event keeps the
 * window up to date on exposure, adopts a size the user gave the window,
 * ends the hold on Return, Alt-q or the end-of-wait client message, and
 * hands every key in the hold, every button and every resize to the
 * application's callback with a world position. Events are served only on
 * device 1 while event processing (the display list's cache switch) is on.
 *
 * The bindings of the frames, the zoom and the image keys, and the rubber
 * band, are not served yet: those keys and buttons reach the callback only.
 */
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <string>

#include "kez.h"
#include "kezgks_x11.h"

namespace {

constexpr int KEY_TEXT_LEN = 80;
constexpr int HOLD_END = 3;
constexpr unsigned char END_OF_WAIT = 9;
constexpr unsigned char ADD_FRAME = 2;

struct EventState {
  Gmouse_func mouse_CB = nullptr;
  int input_mode = 0; /* 0 not holding, 1 holding, 2 holding after a key, 3 end the hold */
  int user_event = 0; /* the event served was a key press or a button release */
  int mapped = 0;
  int Expose_cnt = 0; /* an exposure was answered; the next ones of the run are not */
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
  const int cursor = gset_cursor(1);
  state.mouse_CB(kind, buffer.data(), x, y);
  gset_cursor(cursor);
}

void key_press(XKeyEvent* event) {
  state.user_event = 1;
  if (state.input_mode != 1 && state.input_mode != 2) return;
  if (state.input_mode == 1) state.input_mode = 2;
  char text[KEY_TEXT_LEN + 1] = "";
  KeySym sym = NoSymbol;
  int n = XLookupString(event, text, KEY_TEXT_LEN, &sym, nullptr);
  text[n < 0 ? 0 : (n > KEY_TEXT_LEN ? KEY_TEXT_LEN : n)] = '\0';
  std::string name = text;
  const bool alt = (event->state & Mod1Mask) != 0;
  if (sym == XK_Return || sym == XK_KP_Enter) {
    state.input_mode = HOLD_END;
    name = "Ret";
  } else if (alt && (sym == XK_q || sym == XK_Q)) {
    state.input_mode = HOLD_END;
  }
  Window root = 0, child = 0;
  int root_x = 0, root_y = 0, x = event->x, y = event->y;
  unsigned int mask = 0;
  XQueryPointer(event->display, event->window, &root, &child, &root_x, &root_y, &x, &y, &mask);
  report(2, with_modifiers(name, event->state), xp_W(static_cast<float>(x)), yp_W(static_cast<float>(y)));
}

/* Buttons 1 to 3; others have no text to report. */
void button(XButtonEvent* event, bool press) {
  if (!press) state.user_event = 1;
  if (event->button < 1 || event->button > 3) return;
  const std::string text = "B" + std::to_string(event->button) + (press ? "-P" : "-R");
  report(3, with_modifiers(text, event->state), xp_W(static_cast<float>(event->x)),
         yp_W(static_cast<float>(event->y)));
}

void resized(XConfigureEvent* event) {
  if (event->window != gget_root_window()) return;
  if (!gresize_window(-1, -1)) return;
  ginit_plot(GINIT_WINDOW_AGAIN);
  int width = 0, height = 0;
  gget_win_size(&width, &height);
  report(2, "size", static_cast<float>(width), static_cast<float>(height));
}

/* Another program asks to end the hold or to add a frame; the window shows
 * the busy mark while it works. */
void client_message(XClientMessageEvent* event) {
  const unsigned char code = static_cast<unsigned char>(event->data.b[0]);
  if (code == END_OF_WAIT) state.input_mode = HOLD_END;
  if (code == ADD_FRAME) gset_win_title_extra("+");
  gset_win_title_extra("");
}

bool is_structure_event(int type) {
  return type == ConfigureNotify || type == MapNotify || type == UnmapNotify || type == ReparentNotify ||
         type == GravityNotify || type == CirculateNotify || type == DestroyNotify;
}

} // namespace

int gset_mouse_callback(Gmouse_func func) {
  state.mouse_CB = func;
  return 1;
}

int ginit_event(int type) {
  if (type == GINIT_WINDOW) state.input_mode = 0;
  return 1;
}

int gis_mapped() { return state.mapped; }

int gset_input_mode(int val) {
  state.input_mode = val == 1 ? 1 : 0;
  return 0;
}

int gget_input_mode() { return state.input_mode != HOLD_END ? 1 : 0; }

int gprocess_x11_event(XEvent* event) {
  state.user_event = 0;
  if (!event || !serving()) return 0;
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
  case ButtonPress: button(&event->xbutton, true); break;
  case ButtonRelease: button(&event->xbutton, false); break;
  default: break;
  }
  return 0;
}

int gcheck_event() {
  int users = 0;
  while (serving() && XPending(gget_display()) > 0) {
    XEvent event;
    XNextEvent(gget_display(), &event);
    gprocess_x11_event(&event);
    users += state.user_event;
  }
  return users;
}

int gwait_event() {
  if (!serving()) return 0;
  XEvent event;
  XNextEvent(gget_display(), &event);
  gprocess_x11_event(&event);
  return state.user_event + gcheck_event();
}

/* The window is never magnified yet, so there is nothing to drop. */
int greset_zoom() { return 0; }
