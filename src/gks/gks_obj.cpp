/*
 * gks_obj: the kernel's display list.
 *
 * While recording is on, every kernel call that changes the picture
 * (transformations, colours, attributes, primitives, segments, redraw
 * callbacks) appends one record to a singly linked list, from which the
 * picture can be printed to PostScript or written as a text metafile. Every
 * call that reaches gnew_obj, recorded or not, is counted, and every 500th
 * serves the pending window events through the poll that a window device
 * installs, so a window answers while a long plot is drawn.
 *
 * Invariants: root.next is the first record and last the final one (the
 * head itself when the list is empty); last is null only after an
 * allocation failed, which stops recording until the list is cleared. The
 * list owns every record, its data block and a callback's user data.
 */
#include <X11/Xlib.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "kez.h"
#include "kezgks_x11.h"

namespace {

constexpr int POLL_EVERY = 500;

/* The data block of a callback record. */
struct Callback {
  void (*func)(char*);
  char* user; /* owned by the list */
};

void free_record(drawobj* rec) {
  if (rec->type == GOBJ_CALLBACK && rec->data) {
    Callback cb;
    std::memcpy(&cb, rec->data, sizeof cb);
    std::free(cb.user);
  }
  std::free(rec->data);
  std::free(rec);
}

void free_chain(drawobj* first) {
  while (first) {
    drawobj* next = first->next;
    free_record(first);
    first = next;
  }
}

struct ObjState {
  drawobj root{};              /* list head */
  drawobj* last = &root;       /* record after which the next is appended */
  drawobj* prev = nullptr;     /* record before last */
  int until_poll = POLL_EVERY; /* calls to gnew_obj before the next poll */
  int action = 1;              /* window events are handled while set */
  int redraw = 0;              /* recording switch */
  int redrawn = 0;             /* a replay or print has finished */
  Gevent_poll poll = nullptr;

  ~ObjState() { free_chain(root.next); }
};

ObjState state;

void serve_events() {
  if (state.poll) state.poll();
}

/* After records were removed, last and prev point at the new end. */
void find_end() {
  if (!state.last) return;
  state.prev = nullptr;
  state.last = &state.root;
  while (state.last->next) {
    state.prev = state.last;
    state.last = state.last->next;
  }
}

template <class T>
bool data_of(const drawobj& rec, T* out) {
  if (!rec.data) return false;
  std::memcpy(out, rec.data, sizeof(T));
  return true;
}

const Gpt* points_of(const drawobj& rec) { return reinterpret_cast<const Gpt*>(rec.data); }

void replay_ws_vp(const drawobj& rec) {
  Glim lim;
  if (data_of(rec, &lim)) gset_ws_vp(1, &lim);
}
void replay_ws_win(const drawobj& rec) {
  Glim lim;
  if (data_of(rec, &lim)) gset_ws_win(1, &lim);
}
void replay_sel_tran(const drawobj& rec) { gsel_norm_tran(rec.values); }
void replay_vp(const drawobj& rec) {
  Glim lim;
  if (data_of(rec, &lim)) gset_vp(rec.values, &lim);
}
void replay_win(const drawobj& rec) {
  Glim lim;
  if (data_of(rec, &lim)) gset_win(rec.values, &lim);
}
void replay_colr_rep(const drawobj& rec) {
  Gcolr_rep rep;
  if (data_of(rec, &rep)) gset_colr_rep(1, rec.values, &rep);
}
void replay_polyline(const drawobj& rec) {
  if (rec.data) gpolyline(rec.values, points_of(rec));
}
void replay_linetype(const drawobj& rec) { gset_linetype(rec.values); }
void replay_linewidth(const drawobj& rec) {
  float width;
  if (data_of(rec, &width)) gset_linewidth(width);
}
void replay_line_colr(const drawobj& rec) { gset_line_colr_ind(rec.values); }
void replay_print_bold(const drawobj& rec) { gset_line_print_bold(rec.values); }
void replay_polymarker(const drawobj& rec) {
  if (rec.data) gpolymarker(rec.values, points_of(rec));
}
void replay_marker_type(const drawobj& rec) { gset_marker_type(rec.values); }
void replay_marker_size(const drawobj& rec) {
  float size;
  if (data_of(rec, &size)) gset_marker_size(size);
}
void replay_marker_colr(const drawobj& rec) { gset_marker_colr_ind(rec.values); }
void replay_marker_width(const drawobj& rec) {
  float width;
  if (data_of(rec, &width)) gset_marker_width(width);
}
/* The position, then the string with its terminating zero. */
void replay_text(const drawobj& rec) {
  Gpt pos;
  if (data_of(rec, &pos)) gtext(&pos, rec.data + sizeof(Gpt));
}
template <Gint (*Set)(Gfloat)>
void replay_text_float(const drawobj& rec) {
  float v;
  if (data_of(rec, &v)) Set(v);
}
void replay_text_colr(const drawobj& rec) { gset_text_colr_ind(rec.values); }
void replay_up_vec(const drawobj& rec) {
  Gpt up;
  if (data_of(rec, &up)) gset_char_up_vec(&up);
}
void replay_fontprec(const drawobj& rec) {
  Gfontprec fp;
  if (data_of(rec, &fp)) gset_fontprec(&fp);
}
void replay_text_align(const drawobj& rec) {
  Gtext_align align;
  if (data_of(rec, &align)) gset_text_align(&align);
}
void replay_fill_area(const drawobj& rec) {
  if (rec.data) gfill_area(rec.values, points_of(rec));
}
void replay_fill_style(const drawobj& rec) { gset_fill_int_style(static_cast<Gfill_int_style>(rec.values)); }
void replay_fill_pattern(const drawobj& rec) { gset_fill_style_ind(rec.values); }
void replay_fill_colr(const drawobj& rec) { gset_fill_colr_ind(rec.values); }
void replay_print_solid(const drawobj& rec) { gset_fill_print_solid(rec.values); }
void replay_callback(const drawobj& rec) {
  Callback cb;
  if (data_of(rec, &cb) && cb.func) cb.func(cb.user);
}

/* Record kinds and the kernel call that replays each; kinds without a row
 * replay nothing (segment marks among them). */
struct Replay {
  int type;
  void (*run)(const drawobj& rec);
};

constexpr Replay replays[] = {
    {GOBJ_WS_VP, replay_ws_vp},
    {GOBJ_WS_WIN, replay_ws_win},
    {GOBJ_SEL_TRAN, replay_sel_tran},
    {GOBJ_VP, replay_vp},
    {GOBJ_WIN, replay_win},
    {GOBJ_COLR_REP, replay_colr_rep},
    {GOBJ_POLYLINE, replay_polyline},
    {GOBJ_LINETYPE, replay_linetype},
    {GOBJ_LINEWIDTH, replay_linewidth},
    {GOBJ_LINE_COLR, replay_line_colr},
    {GOBJ_LINE_PRINT_BOLD, replay_print_bold},
    {GOBJ_POLYMARKER, replay_polymarker},
    {GOBJ_MARKER_TYPE, replay_marker_type},
    {GOBJ_MARKER_SIZE, replay_marker_size},
    {GOBJ_MARKER_COLR, replay_marker_colr},
    {GOBJ_MARKER_WIDTH, replay_marker_width},
    {GOBJ_TEXT, replay_text},
    {GOBJ_TEXT_SPACE, replay_text_float<gset_space>},
    {GOBJ_CHAR_SPACE, replay_text_float<gset_char_space>},
    {GOBJ_EXPAN, replay_text_float<gset_expan>},
    {GOBJ_TEXT_COLR, replay_text_colr},
    {GOBJ_CHAR_HT, replay_text_float<gset_char_ht>},
    {GOBJ_UP_VEC, replay_up_vec},
    {GOBJ_FONTPREC, replay_fontprec},
    {GOBJ_TEXT_ALIGN, replay_text_align},
    {GOBJ_TEXT_WIDTH, replay_text_float<gset_text_width>},
    {GOBJ_FILL_AREA, replay_fill_area},
    {GOBJ_FILL_STYLE, replay_fill_style},
    {GOBJ_FILL_STYLE_IND, replay_fill_pattern},
    {GOBJ_FILL_COLR, replay_fill_colr},
    {GOBJ_FILL_PRINT_SOLID, replay_print_solid},
    {GOBJ_CALLBACK, replay_callback},
};

/* The state a print changes and gives back. */
struct Saved {
  const Gdevice* device;
  int redraw, action, cursor, width, height;
};

Saved save_for_print() {
  Saved s{};
  s.device = &gdevice();
  s.redraw = state.redraw;
  s.action = state.action;
  s.cursor = gget_cursor_type();
  gget_win_size(&s.width, &s.height);
  gset_cursor(8);
  return s;
}

void restore_after_print(const Saved& s) {
  gset_device(s.device);
  gset_cursor(s.cursor);
  state.redraw = s.redraw;
  state.action = s.action;
  gset_win_size(s.width, s.height);
  serve_events();
  gbell(50);
  state.redrawn = 1;
}

/* Event handling is held off so that no handler changes the list or draws
 * into a half-replayed picture. The print switches start from their
 * opening values, as the other attributes do after ginit_plot, so that a
 * print shows what was recorded; the live values come back afterwards. */
void replay_all() {
  state.redraw = 0;
  state.action = 0;
  const int bold = gget_line_print_bold(), solid = gget_fill_print_solid();
  gset_line_print_bold(1);
  gset_fill_print_solid(0);
  for (const drawobj* rec = state.root.next; rec; rec = rec->next) gobj_redraw_funcs(rec);
  gset_line_print_bold(bold);
  gset_fill_print_solid(solid);
}

const char* env_name(const char* first, const char* second, const char* fallback) {
  const char* name = std::getenv(first);
  if (!name && second) name = std::getenv(second);
  return name ? name : fallback;
}

} // namespace

int ginit_objs() {
  gclear_objs();
  state.until_poll = POLL_EVERY;
  const char* env = std::getenv("kezredraw");
  if (!env && gget_display()) env = XGetDefault(gget_display(), gget_prog_name(), "redraw");
  if (env && stricmp(env, "no") == 0) state.redraw = 0;
  return 0;
}

void* gnew_obj(int type, int values, int size, const void* data) {
  /* A count down, not a division, on every call. */
  if (--state.until_poll == 0) {
    state.until_poll = POLL_EVERY;
    serve_events();
  }
  if (!state.redraw || !state.last) return nullptr;
  auto* rec = static_cast<drawobj*>(std::calloc(1, sizeof(drawobj)));
  if (!rec) {
    gerr_printf("newobj", "malloc error\n");
    state.last = nullptr;
    return nullptr;
  }
  state.last->next = rec;
  state.prev = state.last;
  state.last = rec;
  rec->type = type;
  rec->values = values;
  if (size > 0) {
    rec->data = static_cast<char*>(std::malloc(static_cast<size_t>(size)));
    if (!rec->data)
      gerr_printf("newobj", "data malloc error\n");
    else if (data)
      std::memcpy(rec->data, data, static_cast<size_t>(size));
  }
  return rec->data;
}

int gclear_objs() {
  free_chain(state.root.next);
  state.root.next = nullptr;
  state.last = &state.root;
  state.prev = nullptr;
  return 0;
}

int gdel_seg_objs(Gint seg) {
  if (!state.redraw) return -1;
  const int redraw = state.redraw, action = state.action;
  state.redraw = 0;
  state.action = 0;
  drawobj* before = &state.root;
  while (drawobj* rec = before->next) {
    if (rec->type != GOBJ_SEG_OPEN || rec->values != seg) {
      before = rec;
      continue;
    }
    drawobj* close = rec->next;
    while (close && !(close->type == GOBJ_SEG_CLOSE && close->values == seg)) close = close->next;
    before->next = close ? close->next : nullptr;
    if (close) close->next = nullptr;
    free_chain(rec);
  }
  find_end();
  state.redraw = redraw;
  state.action = action;
  return 0;
}

int gset_redraw(int val) {
  int old = state.redraw;
  state.redraw = val;
  return old;
}

int gget_redraw() { return state.redraw; }

int gset_cache(int val) {
  state.action = val;
  return 0;
}

int gget_cache() { return state.action; }

int gset_redraw_func(void (*func)(char*), char* data) {
  Callback cb{func, data};
  /* Without a data block in the list nothing holds the user data. */
  if (!gnew_obj(GOBJ_CALLBACK, 1, sizeof cb, &cb)) std::free(data);
  return 0;
}

int gobj_redraw_funcs(const drawobj* rec) {
  if (!rec) return 0;
  for (const Replay& r : replays)
    if (r.type == rec->type) r.run(*rec);
  return 0;
}

int gobj_print_plot() {
  if (!gcheck_open("gprint_plot")) return -1;
  const Saved saved = save_for_print();
  gset_win_type(GWS_PS);
  const std::string name = env_name("kezps_print", "PSPRINT", "kez.ps");
  if (!gps_open_file(name.c_str())) {
    gset_device(saved.device);
    gset_cursor(saved.cursor);
    gerr_printf("gprint_plot", "unable to open postscript file\n");
    return -1;
  }
  gps_init();
  /* The page size comes first so that an EPS bounding box fits it. */
  gset_win_size(757, 577);
  gps_init_file();
  ginit_plot(GINIT_PS);
  if (!state.root.next) MESS_print(M_warn, "gobj_print_plot: No redraw data to make Postscript file from\n");
  replay_all();
  gps_close_file();
  restore_after_print(saved);
  return 0;
}

int gobj_print_meta() {
  if (!gcheck_open("gprint_meta")) return -1;
  /* A metafile of nothing is no answer to the key: say so instead. */
  if (!state.root.next) {
    MESS_print(M_warn, "gobj_print_meta: No redraw data to make metafile from; nothing written\n");
    return -1;
  }
  const Saved saved = save_for_print();
  gset_win_type(GWS_META);
  /* Beside the window's other image files unless METAOUT names one. */
  const char* env = std::getenv("METAOUT");
  const std::string name = env ? std::string(env) : FILE_add_path(RES_get("image_path"), "kez.meta");
  if (!gmeta_open_file(name.c_str())) {
    gset_device(saved.device);
    gset_cursor(saved.cursor);
    gerr_printf("gprint_meta", "unable to open metafile\n");
    return -1;
  }
  /* The header lets a reader, which passes over the first line, find the
   * first record; the reset makes every attribute record reach the file. */
  gmeta_init_file();
  ginit_plot(GINIT_META);
  replay_all();
  gmeta_close_file();
  restore_after_print(saved);
  return 0;
}

Gevent_poll gset_event_poll(Gevent_poll poll) {
  Gevent_poll old = state.poll;
  state.poll = poll;
  return old;
}
