/*
 * gks_loop: animation frames and the loop-window protocol.
 *
 * When a run plots several pictures each becomes a frame: a pixmap of the
 * window's size and depth on the X server. The table keeps up to
 * GMAX_FRAMES of them; the kernel draws into the selected one, shows one at
 * a time through the backing drawable and, in the hold loop, steps through
 * them with a delay per frame (the loop delay for every frame but the last,
 * the end pause for the last). Frames are addressed by index or by the
 * codes GFRAME_LAST, GFRAME_CURRENT, GFRAME_BASE (the backing drawable) and
 * GFRAME_ALL_BUT_LAST.
 *
 * A program draws into another program's window (device 6) by naming it
 * with a window text: an id text, or a window-id file that the
 * owner writes ("kezloop.%d", "kezloop.win" or any name) whose first word is
 * the id text. The two programs talk through client messages to the visible
 * window (GLOOP_ADD_FRAME, GLOOP_END_WAIT) and a busy mark: while a window
 * works on a new frame its name carries the extra text "+".
 *
 * Invariant: no pixmap that is the backing drawable is ever freed here; the
 * workstation's close frees that one.
 */
#include <X11/Xlib.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "kez.h"
#include "kezgks_x11.h"

namespace {

constexpr long MESSAGE_TYPE = 62; /* a predefined atom; receivers read byte 0 only */
constexpr float BUSY_NAP = 0.2f;  /* seconds between looks at the busy mark */
constexpr int MAX_BUSY_NAPS = 300;
constexpr std::size_t MAX_SPEC_LEN = 255;
constexpr float LOOP_NAP = 0.2f; /* longest sleep between event checks while looping */
constexpr float RESET_DELAY = 0.5f;

struct Frame {
  std::string filename;
  std::array<unsigned char, GFRAME_DATA_LEN> data{};
  int data_size = 0;
  Pixmap pixmap = 0;
  Colormap colormap = 0;
  float delay = RESET_DELAY; /* seconds this frame stays while looping */
  int flag = 1;
};

struct LoopState {
  std::array<Frame, GMAX_FRAMES> frames{};
  int num_images = 0; /* frames in use, 0 to GMAX_FRAMES */
  int cur_image = -1; /* the frame shown last, -1 none */
  int looping = 0;
  int loop_direct = GLOOP_FORWARD;
  float loop_delay = 0.5f; /* seconds, every frame but the last */
  float loop_pause = 1.0f; /* seconds, the last frame */
  int loop_title = 1;      /* the window name shows the frame number */
};

LoopState state;

bool have_target() { return gget_display() && gget_draw_window(); }

/* A frame index from an index or a code; -1 when it names no entry. The
 * backing drawable is not an entry. */
int entry_of(int ind) {
  if (ind == GFRAME_LAST)
    ind = state.num_images - 1;
  else if (ind == GFRAME_CURRENT)
    ind = state.cur_image;
  return ind >= 0 && ind < GMAX_FRAMES ? ind : -1;
}

/* The pixmap an index or code names (the backing drawable for
 * GFRAME_BASE); 0 for none. */
Drawable drawable_of(int ind) {
  if (ind == GFRAME_BASE) return gget_base_window();
  const int i = entry_of(ind);
  return i >= 0 ? state.frames[static_cast<std::size_t>(i)].pixmap : 0;
}

void free_pixmap(Pixmap pixmap) {
  Display* d = gget_display();
  if (!d || !pixmap || pixmap == gget_base_window() || pixmap == gget_root_window()) return;
  if (pixmap == gget_draw_window()) gset_draw_window(0);
  XFreePixmap(d, pixmap);
}

void fill_background(Drawable target) {
  Display* d = gget_display();
  GC gc = gget_root_gc();
  if (!d || !gc || !target) return;
  int x = 0, y = 0, width = 0, height = 0;
  gget_win_offset(&x, &y);
  gget_win_size(&width, &height);
  if (width <= 0 || height <= 0) return;
  XGCValues saved{};
  XGetGCValues(d, gc, GCForeground, &saved);
  const int back = gget_back_color();
  if (back >= 0) XSetForeground(d, gc, static_cast<unsigned long>(back));
  XFillRectangle(d, target, gc, x, y, static_cast<unsigned int>(width), static_cast<unsigned int>(height));
  XSetForeground(d, gc, saved.foreground);
}

void show_frame_number(int ind) {
  if (!state.loop_title || state.num_images <= 0) return;
  const std::string mark = "[" + std::to_string(ind) + "]";
  gset_win_title_extra(mark.c_str());
}

void set_loop_cursor_and_say(int on) {
  state.looping = on;
  gset_cursor(on ? 3 : 4);
  MESS_print(M_out4, on ? "Looping initiated\n" : "Looping stopped\n");
}

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

/* The file a window text names: "w" and a number, "w" alone, or a name. */
std::string spec_file_name(const std::string& text) {
  if (text[0] == 'w' || text[0] == 'W') {
    if (text.size() > 1 && std::isdigit(static_cast<unsigned char>(text[1])))
      return "kezloop." + std::to_string(std::atoi(text.c_str() + 1));
    return "kezloop.win";
  }
  return text;
}

} // namespace

int ginit_loop() {
  for (Frame& f : state.frames) f = Frame{};
  state.num_images = 0;
  state.cur_image = -1;
  return 0;
}

int gget_num_images() { return state.num_images; }

int gcreate_frame(int ind) {
  Display* d = gget_display();
  if (!have_target()) return -1;
  const bool append = ind < 0;
  if (append) ind = state.num_images;
  if (ind >= GMAX_FRAMES) return -1;
  Frame& frame = state.frames[static_cast<std::size_t>(ind)];
  if (!frame.pixmap) {
    int width = 0, height = 0;
    gget_root_size(&width, &height);
    if (width <= 0 || height <= 0) return -1;
    frame.pixmap = XCreatePixmap(d, gget_root_window(), static_cast<unsigned int>(width),
                                 static_cast<unsigned int>(height), static_cast<unsigned int>(gget_win_depth()));
  }
  fill_background(frame.pixmap);
  if (ind > 0) state.frames[static_cast<std::size_t>(ind - 1)].delay = state.loop_delay;
  if (state.num_images < GMAX_FRAMES) state.frames[static_cast<std::size_t>(state.num_images)].delay = state.loop_pause;
  XSync(d, False);
  if (append) ++state.num_images;
  MESS_print(M_out4, "Created frame: %d-%ld\n", state.num_images, static_cast<long>(frame.pixmap));
  return ind;
}

int gclear_frame(int ind) {
  if (!gget_display()) return 0;
  fill_background(drawable_of(ind));
  return 0;
}

int gselect_frame(int ind) {
  const Drawable target = drawable_of(ind);
  if (!gget_display() || !target) return 0;
  gset_redraw(0);
  gset_draw_window(target);
  MESS_print(M_out4, "Selected frame: %d\n", ind);
  return 0;
}

int gswitch_frame(int ind1, int ind2) {
  if (!gget_display()) return 0;
  const Drawable p1 = drawable_of(ind1), p2 = drawable_of(ind2);
  const Drawable draw = gget_draw_window();
  auto store = [](int ind, Drawable pixmap) {
    if (ind == GFRAME_BASE) {
      gset_base_window(pixmap);
    } else if (const int i = entry_of(ind); i >= 0) {
      state.frames[static_cast<std::size_t>(i)].pixmap = pixmap;
    }
  };
  if ((ind1 != GFRAME_BASE && entry_of(ind1) < 0) || (ind2 != GFRAME_BASE && entry_of(ind2) < 0)) return 0;
  if (ind1 == GFRAME_BASE && !p2) return 0; /* the workstation always keeps a backing drawable */
  if (ind2 == GFRAME_BASE && !p1) return 0;
  store(ind1, p2);
  store(ind2, p1);
  if (draw && draw == p1)
    gset_draw_window(p2);
  else if (draw && draw == p2)
    gset_draw_window(p1);
  return 0;
}

int gcopy_frame(int dest, int src) {
  Display* d = gget_display();
  const Drawable to = drawable_of(dest), from = drawable_of(src);
  if (!d || !to || !from || !gget_root_gc()) return 0;
  int x = 0, y = 0, width = 0, height = 0;
  gget_win_offset(&x, &y);
  gget_win_size(&width, &height);
  if (width > 0 && height > 0)
    XCopyArea(d, from, to, gget_root_gc(), x, y, static_cast<unsigned int>(width), static_cast<unsigned int>(height), x,
              y);
  MESS_print(M_debug, "Copy frame: %d->%d\n", src, dest);
  return 0;
}

int gdisplay_frame(int ind) {
  Display* d = gget_display();
  if (!d || state.num_images <= 0) return 0;
  if (state.cur_image < 0) state.cur_image = 0;
  if (ind < 0) ind = state.cur_image;
  if (ind >= state.num_images) return 0;
  const Pixmap pixmap = state.frames[static_cast<std::size_t>(ind)].pixmap;
  if (gget_zoom() >= 2) {
    gzoom(ind, -1, -1, -1, 1);
  } else if (pixmap && gget_root_gc() && pixmap != gget_base_window()) {
    int x = 0, y = 0, width = 0, height = 0;
    gget_win_offset(&x, &y);
    gget_win_size(&width, &height);
    if (width > 0 && height > 0)
      XCopyArea(d, pixmap, gget_base_window(), gget_root_gc(), x, y, static_cast<unsigned int>(width),
                static_cast<unsigned int>(height), x, y);
  }
  gupdate_window();
  show_frame_number(ind);
  MESS_print(M_debug, "Display frame: %d\n", ind);
  state.cur_image = ind;
  return 0;
}

int gdelete_all_frames() {
  for (int i = 0; i < state.num_images; ++i) {
    Frame& frame = state.frames[static_cast<std::size_t>(i)];
    free_pixmap(frame.pixmap);
    frame.pixmap = 0;
  }
  return 0;
}

int gdelete_frame(int ind) {
  if (!gget_display()) return 0;
  ind = entry_of(ind);
  if (ind < 0) return 0;
  if (ind >= state.num_images) {
    Frame& stray = state.frames[static_cast<std::size_t>(ind)];
    free_pixmap(stray.pixmap);
    stray.pixmap = 0;
    return 1;
  }
  free_pixmap(state.frames[static_cast<std::size_t>(ind)].pixmap);
  const int last = state.num_images - 1;
  for (int i = ind; i < last; ++i)
    state.frames[static_cast<std::size_t>(i)] = state.frames[static_cast<std::size_t>(i + 1)];
  state.frames[static_cast<std::size_t>(last)].pixmap = 0;
  if (ind == last && state.num_images >= 2) {
    state.frames[static_cast<std::size_t>(last - 1)].delay = state.loop_pause;
    state.frames[static_cast<std::size_t>(last)].delay = state.loop_delay;
  }
  --state.num_images;
  if (state.num_images == 0) {
    state.cur_image = -1;
    fill_background(gget_base_window());
    gupdate_window();
    gset_win_title_extra("");
    return 1;
  }
  if (state.cur_image >= state.num_images) state.cur_image = state.num_images - 1;
  if (ind == state.cur_image) gdisplay_frame(ind);
  return 1;
}

int gset_looping(int ind) {
  set_loop_cursor_and_say(ind == 1 ? 1 : 0);
  return 0;
}

int gtoggle_loop(int val) {
  set_loop_cursor_and_say(val == 1 ? 1 : val == 0 ? 0 : !state.looping);
  gsync();
  return 0;
}

int gget_looping() { return state.looping; }

int gset_loop_direct(int ind) {
  state.loop_direct = ind;
  return 0;
}

int gget_loop_direct() { return state.loop_direct; }

int gset_loop_delay(int ind, float delay) {
  if (ind == GFRAME_ALL_BUT_LAST) {
    for (int i = 0; i + 1 < state.num_images; ++i) state.frames[static_cast<std::size_t>(i)].delay = delay;
    return 0;
  }
  if (const int i = entry_of(ind); i >= 0) state.frames[static_cast<std::size_t>(i)].delay = delay;
  return 0;
}

int ginc_loop_delay(float inc) {
  state.loop_delay = std::max(0.0f, state.loop_delay + inc);
  gset_loop_delay(GFRAME_ALL_BUT_LAST, state.loop_delay);
  MESS_print(M_out4, inc > 0 ? "Loop delay incremented to: %2.2f\n" : "Loop delay decremented to: %2.2f\n",
             static_cast<double>(state.loop_delay));
  return 0;
}

float gget_loop_delay() { return state.loop_delay; }

float gget_frame_delay(int ind) {
  const int i = entry_of(ind);
  return i >= 0 ? state.frames[static_cast<std::size_t>(i)].delay : 0.0f;
}

/* Rocking turns at either end; with fewer than three frames the turn
 * stays inside the frames there are. */
int ginc_frame(int step) {
  if (state.num_images <= 0) return -1;
  if (state.cur_image < 0) return 0;
  const bool rocking = state.loop_direct == GLOOP_ROCK_BACK || state.loop_direct == GLOOP_ROCK_FORWARD;
  const int last = state.num_images - 1;
  int next = state.cur_image + (step != 0 ? step : (state.loop_direct % 2 ? 1 : -1));
  const int candidate = next;
  if (next > last) {
    next = 0;
    if (rocking) {
      state.loop_direct = GLOOP_ROCK_BACK;
      next = last - 1;
    }
  }
  if (next < 0) {
    if (rocking) {
      state.loop_direct = GLOOP_ROCK_FORWARD;
      next = 1;
    } else {
      next = last;
    }
  }
  next = std::clamp(next, 0, last);
  MESS_print(M_debug, "INC: %d-%d %d-%d\n", step, state.loop_direct, state.cur_image, candidate);
  return next;
}

/* Sleeps out the current frame's delay from the last restart of the
 * clock, in naps short enough that the window keeps answering. */
int gloop_sleep() {
  if (state.cur_image < 0 || state.cur_image >= state.num_images) return -1;
  const float delay = state.frames[static_cast<std::size_t>(state.cur_image)].delay;
  for (float left = delay - KEZ_elapse_time(); left > 0; left = delay - KEZ_elapse_time()) {
    if (left >= LOOP_NAP) {
      gcheck_event();
      KEZ_sleep(LOOP_NAP);
    } else {
      KEZ_sleep(left);
    }
  }
  return 0;
}

int gget_cur_frame() { return state.cur_image; }

unsigned long gget_frame_id(int ind) {
  const int i = entry_of(ind);
  return i >= 0 ? state.frames[static_cast<std::size_t>(i)].pixmap : 0;
}

int gset_frame_id(int ind, unsigned long id) {
  if (const int i = entry_of(ind); i >= 0) state.frames[static_cast<std::size_t>(i)].pixmap = id;
  return 0;
}

int gset_image_data(int ind, const void* data, int size) {
  const int i = entry_of(ind);
  if (i < 0 || !data || size < 0) return 0;
  Frame& frame = state.frames[static_cast<std::size_t>(i)];
  frame.data_size = std::min(size, GFRAME_DATA_LEN);
  std::memcpy(frame.data.data(), data, static_cast<std::size_t>(frame.data_size));
  return 0;
}

int gget_image_data(int ind, void* buffer) {
  const int i = entry_of(ind);
  if (i < 0 || !buffer) return 0;
  const Frame& frame = state.frames[static_cast<std::size_t>(i)];
  std::memcpy(buffer, frame.data.data(), static_cast<std::size_t>(frame.data_size));
  return 0;
}

int gprint_frame_ids() {
  std::printf("ROOT: %lu\n", static_cast<unsigned long>(gget_root_window()));
  std::printf(" WIN: %lu\n", static_cast<unsigned long>(gget_base_window()));
  for (int i = 0; i < state.num_images; ++i)
    std::printf("%4d: %lu\n", i, static_cast<unsigned long>(state.frames[static_cast<std::size_t>(i)].pixmap));
  return 0;
}

int gset_loop_title(int val) {
  state.loop_title = val ? 1 : 0;
  return 1;
}

/* Another program asked for a frame: the picture so far becomes the
 * last-but-one frame and the drawable it draws into is cleared for the
 * next one. The busy mark tells it when to draw. */
int gadd_loop_frame() {
  if (!have_target()) return 0;
  gset_win_title_extra("+");
  const int n = state.num_images;
  if (n == 0) {
    if (gcreate_frame(-1) == 0) {
      set_loop_cursor_and_say(1);
      gswitch_frame(0, GFRAME_BASE);
    }
  } else if (gcreate_frame(-1) == n) {
    gcopy_frame(n, n - 1);
    gswitch_frame(n, n - 1);
    gclear_frame(n);
    gsync();
  }
  gset_win_title_extra("");
  return 1;
}

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
