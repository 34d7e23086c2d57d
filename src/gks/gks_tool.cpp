/*
 * gks_tool: the page and attribute layer over the graphics kernel.
 *
 * The plot frame and every plotter start, lay out and end their plots
 * here: GPH_setup chooses the device (the "device" setting, the batch
 * window, or a prompt), reads the colour table and opens the kernel and
 * its one workstation; GPH_reset starts a page, GPH_panel lays out the
 * plot area of the current panel; GPH_end closes everything and puts the
 * device flag back to what the plot started with, so that a device chosen
 * at the prompt is asked for again next time. Between them the layer
 * applies Gattribs bundles to the kernel's attributes and offers drawing
 * shorthands. It works on workstation 1 only.
 *
 * The page is the display's shape scaled so that its longer side is 1
 * (xvp by yvp). Transformation 1 is the whole page; 2 and 3 are the plot
 * area of the current panel with window equal to viewport, so that world
 * coordinates on them are page coordinates until a plotter sets its own
 * window.
 */
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <string>

#include "kez.h"
#include "kezgks.h"

/* The device flag carries the workstation types. */
static_assert(GWS_WINDOW == RES_DEV_WINDOW && GWS_META == RES_DEV_META && GWS_PS == RES_DEV_PS &&
              GWS_HPGL == RES_DEV_HPGL && GWS_PIXMAP == RES_DEV_PIXMAP);

namespace {

constexpr M_type VIEW_LEVEL = 0xF;
constexpr int PROMPT_LEN = 9;             /* characters of a device answer */
constexpr std::size_t FONT_NAME_LEN = 19; /* characters of the default font name */
constexpr std::size_t PPRINTF_LEN = 59;   /* characters of a GPH_pprintf text */
constexpr std::size_t PRINTF_LEN = 99;    /* characters of a GPH_printf text */
constexpr float CHAR_SPACE = 0.25f;       /* gap after each character */
constexpr const char* DEVICE_PROMPT = "Display (D) or Postscript (P): ";

/* A value GPH_attribs handed to a setter, and whether the setter took it. */
template <class T>
struct Held {
  T value{};
  bool held = false;
};

struct Align {
  int hor = 0, vert = 0;
  bool operator==(const Align&) const = default;
};

/* What GPH_attribs last put in force, setter by setter. The values stand
 * while the kernel's attribute serial is the one read after they were set. */
struct Bundle {
  unsigned long serial = 0;
  Held<int> text_colour, line_colour, marker_colour, fill_colour;
  Held<float> char_ht, text_width, expan, space;
  Held<int> font;
  Held<Align> align;
  Held<int> line_type;
  Held<float> line_width;
  Held<int> marker_type;
  Held<float> marker_size, marker_width;
  Held<int> fill_style, fill_index;
};

struct PageState {
  int ws_open = 0;            /* kernel and workstation open */
  int wk_type = 0;            /* device type of the open workstation */
  int wk_itype = 0;           /* device type GPH_begin received, before any prompt */
  float xvp = 1, yvp = 1;     /* page extents, longer side 1 */
  float sizex = 1, sizey = 1; /* current panel, fractions of the page */
  float offx = 0, offy = 0;   /* its lower-left corner, fractions of the page */
  std::string font_name;      /* default font of GPH_text_font(NULL) */
  Bundle bundle;              /* see GPH_attribs */
};

PageState state;

bool given(Gint v) { return v != KEZ_MISS; }
bool given(Gfloat v) { return v != KEZ_FMISS; }

std::string program_name() {
  char* name = RES_get_progname(nullptr);
  std::string out = name ? name : "";
  std::free(name);
  return out;
}

/* A closed polyline or fill area through the corners of a rectangle. */
void rectangle(Gfloat x1, Gfloat y1, Gfloat x2, Gfloat y2, bool fill) {
  const Gpt pts[5] = {{x1, y1}, {x2, y1}, {x2, y2}, {x1, y2}, {x1, y1}};
  if (fill)
    gfill_area(5, pts);
  else
    gpolyline(5, pts);
}

/* A printf text of at most `max` characters. */
std::string format_text(std::size_t max, const char* format, va_list args) {
  if (!format) return "";
  /* Formatted once into room for the cut text: labels are drawn by the
   * thousand. */
  std::string text(max + 1, '\0');
  const int n = std::vsnprintf(text.data(), text.size(), format, args);
  if (n <= 0) return "";
  text.resize(std::min(static_cast<std::size_t>(n), max));
  return text;
}

void circle(float x, float y, float rad, bool fill) {
  constexpr int N = 37; /* every 10 degrees, the first point repeated */
  Gpt pts[N];
  for (int i = 0; i < N; ++i) {
    const double a = static_cast<double>(i) * 10.0 * std::numbers::pi / 180.0;
    pts[i] = Gpt{static_cast<Gfloat>(x + rad * std::cos(a)), static_cast<Gfloat>(y + rad * std::sin(a))};
  }
  if (fill)
    gfill_area(N, pts);
  else
    gpolyline(N, pts);
}

} // namespace

/* ---- plot start and end ---- */

int GPH_setup(Gint* ws_id, Gws_type* ws_type, float asp_ratio, Glim* offset) {
  char* conn_text = nullptr;
  RES_getval("device", &conn_text, CV_device);
  const std::string conn = conn_text ? conn_text : "";
  Gws_type type = 0;
  if (FLAG_get(FLAG_DEVICE) > 0)
    type = FLAG_get(FLAG_DEVICE);
  else if (FLAG_batch())
    type = GWS_WINDOW;
  GPH_set_win_title();
  CLR_read_table(nullptr);
  int draw = 0;
  RES_getval("draw", &draw, CV_draw);
  Gint id = 1;
  if (!ws_id) ws_id = &id;
  if (!ws_type) ws_type = &type;
  *ws_type = type;
  GPH_begin(ws_id, conn_text ? conn.c_str() : nullptr, ws_type);
  GPH_reset(ws_id, ws_type, asp_ratio, offset);
  return 0;
}

int GPH_begin(Gint* ws_id, Gconn_id conn_id, Gws_type* ws_type) {
  Gws_type local = 0;
  if (!ws_type) ws_type = &local;
  FILE_delete("kezgks.err");
  if (ws_id) *ws_id = 1;
  state.wk_itype = *ws_type;
  if (*ws_type == 0) {
    char answer[PROMPT_LEN + 2] = "";
    KEZ_prompts(DEVICE_PROMPT, answer, PROMPT_LEN + 1);
    *ws_type = RES_set_device(answer);
    FLAG_set(FLAG_DEVICE, *ws_type);
  }
  state.wk_type = *ws_type;
  if (!state.ws_open) {
    if (gopen_gks(nullptr, 10000) != 0) {
      MESS_print(M_error, "GPH_begin: Error opening Kernel System\n");
      gemergency_close_gks();
      KEZ_exit(4);
    }
    if (gopen_ws(1, conn_id, *ws_type) != 0) {
      MESS_print(M_error, "GPH_begin: Error opening workstation\n");
      gemergency_close_gks();
      KEZ_exit(4);
    }
    state.ws_open = 1;
  }
  gactivate_ws(1);
  return 0;
}

int GPH_reset(Gint* ws_id, Gws_type* ws_type, float asp_ratio, Glim* offset) {
  const Gint id = ws_id ? *ws_id : 1;
  ginq_maxview(ws_type ? *ws_type : state.wk_type, &state.xvp, &state.yvp);
  const Glim page{0, state.xvp, 0, state.yvp};
  gset_ws_win(id, &page);
  gset_vp(1, &page);
  gset_win(1, &page);
  GPH_panel(ws_id, ws_type, asp_ratio, offset);
  const int num = CLR_get_num();
  for (int i = 0; i < num; ++i) {
    Gcolr_rep rep{0, 0, 0};
    CLR_get_rgb(i, &rep.red, &rep.green, &rep.blue);
    gset_colr_rep(id, i, &rep);
  }
  GPH_text_font(nullptr);
  return 0;
}

int GPH_panel(Gint*, Gws_type*, float asp_ratio, Glim* offset) {
  const Glim margin = offset ? *offset : Glim{0, 0, 0, 0};
  const Glim panel{state.xvp * (state.offx + margin.x_min * state.sizex),
                   state.xvp * (state.offx + state.sizex - margin.x_max * state.sizex),
                   state.yvp * (state.offy + margin.y_min * state.sizey),
                   state.yvp * (state.offy + state.sizey - margin.y_max * state.sizey)};
  const Gaspect shape =
      asp_ratio != 0 ? Gaspect{asp_ratio, 1} : Gaspect{state.sizex * state.xvp, state.sizey * state.yvp};
  Glim area = panel;
  gset_aspect(&panel, &area, shape, Gcenter{2, 2});
  for (int tran : {2, 3}) {
    gset_vp(tran, &area);
    gset_win(tran, &area);
  }
  GPH_line_attr(nullptr);
  GPH_fill_attr(nullptr);
  GPH_mark_attr(nullptr, 1);
  GPH_text_attr(nullptr, 1);
  if (offset) *offset = area;
  return 0;
}

/* A file page is complete as it is drawn; only the own window holds. */
int GPH_hold(Gint ws_id) {
  gupdate_window();
  if (gtype_is_WIN()) ghold(ws_id);
  return 0;
}

int GPH_end(Gint ws_id) {
  int result = 0;
  if (state.ws_open) {
    gdeactivate_ws(ws_id);
    result = gclose_ws(ws_id);
    gclose_gks();
  }
  state.ws_open = 0;
  FLAG_set(FLAG_DEVICE, state.wk_itype);
  return result;
}

int gclose_output(FILE* fp, const char* name, const char* kind) {
  if (!fp) return -1;
  const bool failed = std::ferror(fp) != 0;
  errno = 0;
  const int closed = FILE_close(fp);
  if (!failed && closed == 0) return 0;
  const int err = errno;
  MESS_print(M_warn, "Unable to write %s file %s: %s\n", kind, name ? name : "",
             err != 0 ? std::strerror(err) : "write error");
  return -1;
}

int GPH_set_win_title() {
  const char* name = RES_get("name");
  const bool has_name = name && *name;
  const char* title = RES_get("title");
  const std::string prog = program_name();
  std::string win_title;
  if (title && *title)
    win_title = title;
  else if (has_name)
    win_title = name[0] == '+' ? name + 1 : name;
  else
    win_title = prog;
  gset_prog_name(has_name ? name : prog.c_str());
  gset_win_title(win_title.c_str());
  return 0;
}

/* ---- page and transformations ---- */

int GPH_set_view_size(float sx, float sy, float ox, float oy) {
  state.sizex = sx;
  state.sizey = sy;
  state.offx = ox;
  state.offy = oy;
  return 0;
}

int GPH_get_view_size(Glim* limit) {
  if (!limit) return 0;
  *limit = Glim{state.offx * state.xvp, (state.offx + state.sizex) * state.xvp, state.offy * state.yvp,
                (state.offy + state.sizey) * state.yvp};
  return 0;
}

float GPH_get_vert_win_size() { return state.yvp; }

int ginq_maxview(Gint ws_type, Gfloat* xvp, Gfloat* yvp) {
  Gint err = 0;
  Gdsp_size size{};
  ginq_disp_space_size(ws_type, &err, &size);
  const float w = static_cast<float>(size.ras_size.x_coord), h = static_cast<float>(size.ras_size.y_coord);
  float x = 1, y = 1;
  if (err == 0 && w > 0 && h > 0) {
    if (w >= h)
      y = h / w;
    else
      x = w / h;
  } else if (err == 0) {
    err = -1; /* no display size: no page shape to take */
  }
  if (xvp) *xvp = x;
  if (yvp) *yvp = y;
  return err;
}

int gset_aspect(const Glim* vin, Glim* vout, Gaspect asp, Gcenter center) {
  if (!vin || !vout) return 0;
  const float w = vin->x_max - vin->x_min, h = vin->y_max - vin->y_min;
  /* A shape or a rectangle without area has nothing to fit. */
  if (!(asp.x > 0) || !(asp.y > 0) || !std::isfinite(asp.x) || !std::isfinite(asp.y) || w == 0 || h == 0) {
    *vout = *vin;
    return 0;
  }
  float aw = w, ah = h;
  if (asp.y / h > asp.x / w)
    aw = asp.x * h / asp.y;
  else
    ah = asp.y * w / asp.x;
  auto place = [](float lo, float hi, float size, Gint code, float* out_lo, float* out_hi) {
    if (code == 2)
      *out_lo = lo + (hi - lo - size) / 2;
    else if (code == 3)
      *out_lo = hi - size;
    else
      *out_lo = lo;
    *out_hi = *out_lo + size;
  };
  place(vin->x_min, vin->x_max, aw, center.x, &vout->x_min, &vout->x_max);
  place(vin->y_min, vin->y_max, ah, center.y, &vout->y_min, &vout->y_max);
  return 0;
}

int GPH_trans(int trans) {
  gsel_norm_tran(trans);
  return 0;
}

int GPH_view(int tran, const Glim* view) { return gset_vp(tran, view); }

int GPH_win(int tran, const Glim* win) { return gset_win(tran, win); }

int GPH_get_view(int tran, Glim* view) {
  Gtran t{};
  Gint err = 0;
  if (view && ginq_norm_tran(tran, &err, &t) == 0) *view = t.vp;
  return 0;
}

int GPH_get_win(int tran, Glim* win) {
  Gtran t{};
  Gint err = 0;
  if (win && ginq_norm_tran(tran, &err, &t) == 0) *win = t.win;
  return 0;
}

int GPH_print_view(const Glim* view) {
  if (view) MESS_print(VIEW_LEVEL, "%5.2f %5.2f %5.2f %5.2f\n", view->x_min, view->x_max, view->y_min, view->y_max);
  return 0;
}

/* ---- attributes ---- */

int GPH_line_attr(const Gattribs* attrib) {
  if (!attrib) {
    gset_linetype(1);
    gset_linewidth(0);
    return 0;
  }
  if (attrib->color >= 0) gset_line_colr_ind(attrib->color);
  if (given(attrib->style)) gset_linetype(attrib->style);
  if (given(attrib->width)) gset_linewidth(attrib->width);
  return 0;
}

int GPH_fill_attr(const Gattribs* attrib) {
  if (!attrib) {
    gset_fill_int_style(GSOLID);
    return 0;
  }
  if (attrib->color >= 0) gset_fill_colr_ind(attrib->color);
  if (attrib->fill_pat == 0) {
    gset_fill_int_style(GSOLID);
  } else if (given(attrib->fill_pat)) {
    gset_fill_int_style(GPAT);
    gset_fill_style_ind(attrib->fill_pat);
  }
  return 0;
}

int GPH_mark_attr(const Gattribs* attrib, float scale) {
  if (!attrib) {
    gset_marker_width(0);
    return 0;
  }
  if (attrib->color >= 0) gset_marker_colr_ind(attrib->color);
  if (given(attrib->style)) gset_marker_type(attrib->style);
  if (given(attrib->height))
    gset_marker_size(attrib->height * scale);
  else if (scale > 0)
    gset_marker_size(scale);
  if (given(attrib->width)) gset_marker_width(attrib->width);
  return 0;
}

int GPH_text_attr(const Gattribs* attrib, float scale) {
  if (!attrib) {
    gset_text_width(0);
    gset_expan(1);
    return -1;
  }
  if (attrib->color >= 0) gset_text_colr_ind(attrib->color);
  gset_char_ht(given(attrib->height) ? attrib->height * scale : scale);
  if (given(attrib->width)) gset_text_width(attrib->width);
  if (given(attrib->expan)) gset_expan(attrib->expan);
  if (given(attrib->font)) {
    const Gfontprec font{attrib->font, GSTROKE_PREC};
    gset_fontprec(&font);
  }
  gset_space(CHAR_SPACE);
  return 0;
}

namespace {

/* Hands v to set (0 when the setter took it) unless v is held and stands. */
template <class T, class Set>
void put_held(Held<T>& h, T v, bool stands, Set set) {
  if (stands && h.held && h.value == v) return;
  h.value = v;
  h.held = set(v) == 0;
}

/* A setter whose reset value stands when it refuses the value given. */
template <class T>
int or_reset(Gint (*set)(T), T v, T reset) {
  if (set(v) == 0) return 0;
  set(reset);
  return -1;
}

} // namespace

int GPH_attribs(const Gattribs* attrib, float text_scale, float mark_scale, int hor, int vert) {
  if (!attrib) return -1;
  Bundle& b = state.bundle;
  const Gattribs& a = *attrib;
  /* Without a workstation every setter is called, as each reports that
   * itself; opening one resets the attributes, which moves the serial. */
  const bool stands = gchk_graphics() && b.serial == gget_attr_serial();
  if (a.color >= 0) put_held(b.text_colour, a.color, stands, gset_text_colr_ind);
  put_held(b.char_ht, given(a.height) ? a.height * text_scale : text_scale, stands, gset_char_ht);
  put_held(b.text_width, given(a.width) ? a.width : 0.0f, stands,
           [](float v) { return or_reset(gset_text_width, v, 0.0f); });
  put_held(b.expan, given(a.expan) ? a.expan : 1.0f, stands, [](float v) { return or_reset(gset_expan, v, 1.0f); });
  if (given(a.font))
    put_held(b.font, a.font, stands, [](int f) {
      const Gfontprec font{f, GSTROKE_PREC};
      return gset_fontprec(&font);
    });
  put_held(b.space, CHAR_SPACE, stands, gset_space);
  put_held(b.align, Align{hor, vert}, stands, [](Align v) { return GPH_text_align(v.hor, v.vert); });
  if (a.color >= 0) put_held(b.line_colour, a.color, stands, gset_line_colr_ind);
  put_held(b.line_type, given(a.style) ? a.style : 1, stands, [](int v) { return or_reset(gset_linetype, v, 1); });
  put_held(b.line_width, given(a.width) ? a.width : 0.0f, stands,
           [](float v) { return or_reset(gset_linewidth, v, 0.0f); });
  if (a.color >= 0) put_held(b.marker_colour, a.color, stands, gset_marker_colr_ind);
  if (given(a.style)) put_held(b.marker_type, a.style, stands, gset_marker_type);
  if (given(a.height))
    put_held(b.marker_size, a.height * mark_scale, stands, gset_marker_size);
  else if (mark_scale > 0)
    put_held(b.marker_size, mark_scale, stands, gset_marker_size);
  put_held(b.marker_width, given(a.width) ? a.width : 0.0f, stands,
           [](float v) { return or_reset(gset_marker_width, v, 0.0f); });
  if (a.color >= 0) put_held(b.fill_colour, a.color, stands, gset_fill_colr_ind);
  const bool pattern = given(a.fill_pat) && a.fill_pat != 0;
  put_held(b.fill_style, static_cast<int>(pattern ? GPAT : GSOLID), stands,
           [](int v) { return gset_fill_int_style(static_cast<Gfill_int_style>(v)); });
  if (pattern) put_held(b.fill_index, a.fill_pat, stands, gset_fill_style_ind);
  b.serial = gget_attr_serial();
  return 0;
}

int GPH_set_color(int ind, float red, float grn, float blu) {
  const Gcolr_rep rep{red, grn, blu};
  gset_colr_rep(1, ind, &rep);
  return 0;
}

/* ---- text settings ---- */

int GPH_text_font(const char* str) {
  const Gfontprec font{gget_font_index(str ? str : state.font_name.c_str()), GSTROKE_PREC};
  gset_fontprec(&font);
  return 0;
}

int GPH_set_def_font(const char* str) {
  state.font_name = str ? std::string(str).substr(0, FONT_NAME_LEN) : std::string();
  return 0;
}

int GPH_text_align(int x, int y) {
  const Gtext_align align{static_cast<Gtext_hor>(x), static_cast<Gtext_ver>(y)};
  gset_text_align(&align);
  return 0;
}

int GPH_get_text_align(int* x, int* y) {
  Gint err = 0;
  Gtext_align align{GNORMAL_HOR, GNORMAL_VERT};
  ginq_text_align(&err, &align);
  if (x) *x = align.hor;
  if (y) *y = align.vert;
  return 0;
}

int GPH_text_rotate(float rot) {
  const double r = static_cast<double>(rot) * std::numbers::pi / 180.0;
  const Gpt up{static_cast<Gfloat>(std::sin(r)), static_cast<Gfloat>(std::cos(r))};
  gset_char_up_vec(&up);
  return 0;
}

/* ---- drawing shorthands ---- */

int GPH_line(Gfloat x1, Gfloat y1, Gfloat x2, Gfloat y2) {
  const Gpt pts[2] = {{x1, y1}, {x2, y2}};
  gpolyline(2, pts);
  return 0;
}

int GPH_border(const Glim* limit) {
  if (limit) rectangle(limit->x_min, limit->y_min, limit->x_max, limit->y_max, false);
  return 0;
}

int GPH_rect(Gfloat x1, Gfloat y1, Gfloat x2, Gfloat y2) {
  rectangle(x1, y1, x2, y2, false);
  return 0;
}

int GPH_frect(Gfloat x1, Gfloat y1, Gfloat x2, Gfloat y2) {
  rectangle(x1, y1, x2, y2, true);
  return 0;
}

int GPH_circle(float x, float y, float rad) {
  circle(x, y, rad, false);
  return 0;
}

int GPH_fcircle(float x, float y, float rad) {
  circle(x, y, rad, true);
  return 0;
}

int GPH_mark(Gfloat x1, Gfloat y1) {
  const Gpt pt{x1, y1};
  gpolymarker(1, &pt);
  return 0;
}

int GPH_pprint(const Gpt* pt, const char* str) {
  if (pt && str) gtext(pt, str);
  return 0;
}

int GPH_pprintf(const Gpt* pt, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = format_text(PPRINTF_LEN, format, args);
  va_end(args);
  return GPH_pprint(pt, text.c_str());
}

int GPH_printf(Gfloat x1, Gfloat y1, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = format_text(PRINTF_LEN, format, args);
  va_end(args);
  const Gpt pt{x1, y1};
  return GPH_pprint(&pt, text.c_str());
}

/* ---- device helpers ---- */

int GPH_device_prompt(int* ws_type) {
  if (!ws_type || *ws_type > 0) return 0;
  MESS_print(M_print, "%s", DEVICE_PROMPT);
  /* Only the first letter of the answer's first word counts. */
  char first = '\0';
  for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar())
    if (first == '\0' && c != ' ' && c != '\t') first = static_cast<char>(c);
  *ws_type = (first == 'P' || first == 'p') ? GWS_PS : GWS_WINDOW;
  return 0;
}

int gdevice_setup(const char* str, char* conn_id) {
  const std::string text = str ? str : "";
  const std::size_t comma = text.find(',');
  const std::string word = text.substr(0, std::min<std::size_t>(comma, PROMPT_LEN));
  if (conn_id) {
    const std::string conn = comma == std::string::npos ? "" : text.substr(comma + 1);
    const std::size_t n = std::min<std::size_t>(conn.size(), FILE_PATH_LEN - 1);
    std::memcpy(conn_id, conn.data(), n);
    conn_id[n] = '\0';
  }
  return RES_set_device(word.c_str());
}
