/*
 * gks_loop: animation frames and the loop-window protocol.
 *
 * A program draws into another program's window (device 6) by naming it
 * with a window specification: an id text, or a window-id file that the
 * owner writes ("kezloop.%d", "kezloop.win" or any name) whose first word is
 * the id text. The two programs talk through client messages to the visible
 * window (data byte 2 add a frame, 9 end the wait) and a busy mark: while a
 * window works on a new frame its name carries the extra text "+".
 *
 * The frame table is not built yet: the workstation has no frames, draws
 * into its backing drawable, and the frame operations that the window needs
 * act on that drawable alone.
 */
#include <X11/Xlib.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "kez.h"
#include "kezgks_x11.h"

namespace {

constexpr int BACKING_DRAWABLE = -3;
constexpr long MESSAGE_TYPE = 62; /* a predefined atom; receivers read byte 0 only */
constexpr float BUSY_NAP = 0.2f;  /* seconds between looks at the busy mark */
constexpr int MAX_BUSY_NAPS = 300;
constexpr std::size_t MAX_SPEC_LEN = 255;

/* The first blank-delimited word of a window-id file. */
bool read_spec_file(const std::string& name, std::string* word) {
  const std::string path = FILE_add_path(RES_get("file_path"), name.c_str());
  FILE* fp = FILE_open(path.c_str(), "r");
  if (!fp) return false;
  word->clear();
  int c;
  while ((c = std::fgetc(fp)) != EOF && std::isspace(c)) {
  }
  while (c != EOF && !std::isspace(c) && word->size() < MAX_SPEC_LEN) {
    word->push_back(static_cast<char>(c));
    c = std::fgetc(fp);
  }
  FILE_close(fp);
  return true;
}

/* The file a specification names: "w" and a number, "w" alone, or a name. */
std::string spec_file_name(const std::string& text) {
  if (text[0] == 'w' || text[0] == 'W') {
    if (text.size() > 1 && std::isdigit(static_cast<unsigned char>(text[1])))
      return "kezloop." + std::to_string(std::atoi(text.c_str() + 1));
    return "kezloop.win";
  }
  return text;
}

} // namespace

int ginit_loop() { return 0; }

int gget_num_images() { return 0; }

int gget_looping() { return 0; }

/* Only the backing drawable exists to be cleared: its plot area becomes the
 * background colour. */
int gclear_frame(int ind) {
  Display* d = gget_display();
  GC gc = gget_root_gc();
  const Drawable target = gget_base_window();
  if (ind != BACKING_DRAWABLE || !d || !gc || !target) return 0;
  int x = 0, y = 0, width = 0, height = 0;
  gget_win_offset(&x, &y);
  gget_win_size(&width, &height);
  if (width <= 0 || height <= 0) return 0;
  XGCValues saved{};
  XGetGCValues(d, gc, GCForeground, &saved);
  const int back = gget_back_color();
  if (back >= 0) XSetForeground(d, gc, static_cast<unsigned long>(back));
  XFillRectangle(d, target, gc, x, y, static_cast<unsigned int>(width), static_cast<unsigned int>(height));
  XSetForeground(d, gc, saved.foreground);
  return 0;
}

int gdelete_all_frames() { return 0; }

int ginc_frame(int) { return -1; }

int gdisplay_frame(int) { return 0; }

int gloop_sleep() { return -1; }

int gget_window_spec(const char* text, Gwindow_spec* spec) {
  if (!spec) return -1;
  std::string s = text ? text : "";
  if (!s.empty() && !std::isdigit(static_cast<unsigned char>(s[0])) && s[0] != '+') {
    if (!read_spec_file(spec_file_name(s), &s)) {
      MESS_print(M_warn, "gopen_ws: unable to open window id file\n");
      return -1;
    }
  }
  unsigned long window = 0, drawable = 0, colormap = 0;
  int width = spec->width, height = spec->height;
  int n = 0;
  if (!s.empty() && s[0] == '+') {
    n = std::sscanf(s.c_str() + 1, "%lu:%lu:%dx%d:%lu", &window, &drawable, &width, &height, &colormap);
    if (n < 5) colormap = 0;
  } else if (s.size() > 1 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    n = std::sscanf(s.c_str() + 2, "%lx:%dx%d:%lu", &drawable, &width, &height, &colormap);
    colormap = 0;
  } else {
    n = std::sscanf(s.c_str(), "%lu:%dx%d:%lu", &drawable, &width, &height, &colormap);
    colormap = 0;
  }
  if (n < 1 || drawable == 0) {
    MESS_print(M_warn, "gopen_ws: window id not specified\n");
    return -1;
  }
  spec->window = window ? window : drawable;
  spec->drawable = drawable;
  spec->width = width;
  spec->height = height;
  spec->colormap = colormap;
  return 0;
}

int gsend_loop_message(int code) {
  Display* d = gget_display();
  const Window window = gget_root_window();
  if (!d || !window) return -1;
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.send_event = True;
  event.xclient.window = window;
  event.xclient.message_type = MESSAGE_TYPE;
  event.xclient.format = 8;
  event.xclient.data.b[0] = static_cast<char>(code);
  XSendEvent(d, window, True, NoEventMask, &event);
  XSync(d, False);
  return 0;
}

/* A window that never becomes ready is drawn into after a minute all the
 * same, so that a hung peer cannot hold a batch plot for ever. */
int gwait_loop_window() {
  char extra[GTITLE_EXTRA_LEN] = "";
  for (int i = 0; i < MAX_BUSY_NAPS; ++i) {
    KEZ_sleep(BUSY_NAP);
    if (gget_win_title_extra(extra) != 0 || extra[0] != '+') return 0;
  }
  MESS_print(M_warn, "gwait_loop_window: the window is still busy; drawing anyway\n");
  return -1;
}
