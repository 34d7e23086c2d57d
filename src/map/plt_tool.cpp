/*
 * plt_tool: the frame of every plot.
 *
 * A plotter opens its plot with PLT_open (which decodes "plot_param" and
 * "out_file" and opens the page layer on the device), draws, puts on its
 * corner labels (plt_labl), writes an image of each frame with PLT_dump and
 * ends with PLT_close, which holds the window until the user is done, or
 * first detaches the process in batch mode. A re-run on the open window
 * (zoom, resize, refresh) goes through PLT_reset instead of PLT_open.
 *
 * While the window holds, the plotter's event callback hands each event to
 * PLT_print_values, PLT_plot_zoom and PLT_plot_resize; zoom, resize and
 * refresh re-run a registered plot function with a domain. Its plot
 * keywords set switches of the grid store, contouring and the GRIB
 * decoder, and its value read-out reads the grids of the plot.
 *
 * The plot frame also serves the graphics system's image files: at open it
 * registers the description of dumped images (domain, corner labels) in
 * img_tool.
 */
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "gks.h"
#include "kez.h"
#include "kezcont.h"
#include "kezcty.h"
#include "kezgks.h"
#include "kezgrd.h"
#include "kezimg.h"

namespace {

/* Process flags and plot-part switches the frame reads. */
constexpr int PLOT_TYPE_NONE = 99;
constexpr int PART_ALL = 12;
/* Transformations of the page layer. */
constexpr int TRAN_DEVICE = 0;
constexpr int TRAN_PLOT = 2;
constexpr int CURSOR_WAIT = 8;
constexpr int RUBBER_BOX = 2;
/* Message levels of the interactive read-out and the zoom. */
constexpr M_type M_readout = 0x8;
constexpr M_type M_domain = 0x100;
constexpr M_type M_zoom = 0x200;
/* Images of plots with wider margins than this carry no map domain. */
constexpr float IMG_DOMAIN_MAX_OFFSET = 0.7f;
/* Panel grids hold at most this many columns and rows. */
constexpr int PANEL_MAX = 8;
/* Vector variables: two component grids at function depth 1. */
constexpr int VECT_OPERANDS = 2;
constexpr int VECT_LEVEL = 1;

constexpr Glim DEFAULT_MARGINS{0.0f, 0.0f, 0.04f, 0.04f};

struct {
  Gint work_id = 0;
  Gws_type wk_type = 0;
  Glim view_off = DEFAULT_MARGINS;
  float view_offset = 0.0f;
  Glim dis_view{};
  int border = 1;
  int dump = PLT_DUMP_NONE;
  std::string dump_file;
  int full_lab = 0;

  PLT_event_func callback = nullptr;
  PLT_plot_func zoom_func = nullptr;
  PLT_plot_func resize_func = nullptr;
  PLT_plot_func refresh_func = nullptr;
  int zoom = 0;
  int bar = 0;
  /* The zoom box: press point, whether a box is started, and the domain
   * in force before the first zoom. */
  float xp = 0.0f;
  float yp = 0.0f;
  int code = 0;
  Domain orig_dom{};
} state;

/* ---- the plot parameters ------------------------------------------------ */

/* Numbers of a value part "a:b:c"; false when a field is no number. */
bool numbers(const char* text, std::vector<double>* out) {
  out->clear();
  if (!text || !*text) return false;
  std::string s = text;
  size_t start = 0;
  while (start <= s.size()) {
    size_t end = s.find(':', start);
    if (end == std::string::npos) end = s.size();
    const std::string field = s.substr(start, end - start);
    char* stop = nullptr;
    errno = 0;
    const double v = std::strtod(field.c_str(), &stop);
    if (field.empty() || *stop != '\0' || errno != 0 || !std::isfinite(v)) return false;
    out->push_back(v);
    start = end + 1;
  }
  return true;
}

bool whole(const std::vector<double>& v) {
  for (double d : v)
    if (d != std::floor(d) || std::fabs(d) > 1e9) return false;
  return true;
}

int as_int(double d) { return static_cast<int>(d); }

/* How an item must begin to be a keyword's. */
enum Match {
  WHOLE,  /* the item is the keyword */
  VALUE,  /* the keyword, then nothing or "=" and a value */
  DUMP,   /* the keyword, then nothing or "=" or ":" and a name */
  DIGITS, /* the keyword, then nothing or digits */
};

/* value: the text after the separator, or null when the item is the bare
 * keyword. Returns false for an item whose values are missing or bad. */
using Handler = bool (*)(const char* value);

bool set_int_list(const char* value, size_t min, size_t max, std::vector<double>* v) {
  return value && numbers(value, v) && v->size() >= min && v->size() <= max && whole(*v);
}

bool h_full(const char*) { return PLT_set_view_offset(0) == 0; }
bool h_fullab(const char*) {
  PLT_set_view_offset(0);
  state.full_lab = 1;
  return true;
}
bool h_nopage(const char*) { return MESS_set_page(0), true; }
bool h_page(const char*) { return MESS_set_page(1), true; }
bool h_noredraw(const char*) { return gset_redraw(0), true; }
bool h_id(const char*) { return CTY_set_id_type(CTY_ID_IDENT), true; }
bool h_wmo(const char*) { return CTY_set_id_type(CTY_ID_WMO), true; }
bool h_cod_wmo(const char*) { return CTY_set_id_type(CTY_ID_COD_WMO), true; }
bool h_tz(const char* value) {
  if (!value || !*value) return false;
  DATE_set_TZ(value);
  return true;
}
bool h_over(const char* value) {
  std::vector<double> v;
  if (!set_int_list(value, 1, 2, &v)) return false;
  PLT_set_overlay_base(as_int(v[0]));
  if (v.size() > 1) PLT_set_num_overlay(as_int(v[1]));
  return true;
}
bool h_lalo(const char* value) {
  std::vector<double> v;
  if (!value || !numbers(value, &v) || v.size() > 4) return false;
  if (v.size() > 2 && !whole({v.begin() + 2, v.end()})) return false;
  const float lat = static_cast<float>(v[0]);
  const float lon = v.size() > 1 ? static_cast<float>(v[1]) : lat;
  MAP_latlon(lat, lon, v.size() > 2 ? as_int(v[2]) : 0, v.size() > 3 ? as_int(v[3]) : 0);
  return true;
}
bool h_gridx(const char* value) {
  if (value) GRD_set_grid_factor(std::atoi(value));
  return true;
}
bool h_plt_skip(const char* value) {
  std::vector<double> v;
  if (!set_int_list(value, 1, 2, &v)) return false;
  CONT_set_skip(as_int(v[0]), as_int(v.back()));
  return true;
}
bool h_plt_off(const char* value) {
  std::vector<double> v;
  if (!value || !numbers(value, &v) || v.size() > 2) return false;
  CONT_set_plot_offset(static_cast<float>(v[0]), static_cast<float>(v.back()));
  return true;
}
bool h_plt_grid(const char* value) {
  std::vector<double> v;
  if (value && !set_int_list(value, 1, 1, &v)) return false;
  MAP_set_plot_limit(value ? as_int(v[0]) : 1);
  return true;
}
bool h_loc_pr(const char* value) {
  std::vector<double> v;
  if (!value) return true;
  if (!set_int_list(value, 1, 1, &v)) return false;
  DOM_set_loc_prior(as_int(v[0]));
  return true;
}
bool h_vp_size(const char* value) {
  if (!value || !*value) return false;
  PLT_panel_decode(value);
  return true;
}
bool h_font(const char* value) {
  if (!value || !*value) return false;
  GPH_set_def_font(value);
  return true;
}
bool h_gif_inter(const char*) { return GIF_interlace(1), true; }
bool h_gif_norm(const char*) { return GIF_interlace(0), true; }
bool h_gif_trans(const char*) { return GIF_transparent(1), true; }
bool h_inv(const char*) { return gset_inverse(1), true; }
bool h_lcmap(const char*) { return gset_local_colormap(1), true; }
bool h_nolcmap(const char*) { return gset_local_colormap(0), true; }
bool h_rwclr(const char*) { return gset_rw_colors(1), true; }
bool h_norwclr(const char*) { return gset_rw_colors(0), true; }
bool h_nolooptitle(const char*) { return gset_loop_title(0), true; }
bool h_pscolor(const char*) {
  gps_set_colorPS(1);
  gset_inverse(1);
  return true;
}
bool h_psrev(const char*) { return gps_set_reverse(1), true; }
bool h_clear(const char*) { return gset_pix_mode(1), true; }
bool h_new(const char*) { return gset_pix_mode(2), true; }
bool h_kill(const char*) { return gset_pix_mode(9), true; }
bool h_bar(const char* value) {
  std::vector<double> v;
  if (value && (!numbers(value, &v) || v.size() != 2)) return false;
  CONT_set_bar(2);
  if (value) CONT_set_bar_range(static_cast<float>(v[1]), static_cast<float>(v[0]));
  return true;
}
bool h_nobar(const char*) {
  CONT_set_bar(-2);
  return true;
}
bool h_nohdr(const char*) {
  GRD_use_hdr_file(0);
  return true;
}
bool h_shadow(const char* value) {
  std::vector<double> v;
  if (value && !set_int_list(value, 1, 1, &v)) return false;
  const int n = value ? as_int(v[0]) : 0;
  gset_font_drop(n < 1 ? 4 : n);
  return true;
}
bool h_max_bad(const char* value) {
  std::vector<double> v;
  if (!set_int_list(value, 1, 1, &v)) return false;
  const int n = as_int(v[0]);
  GRIB_set_max_bad(n < 1 ? 5 : n);
  return true;
}
bool h_min_size(const char* value) {
  std::vector<double> v;
  if (!set_int_list(value, 1, 1, &v)) return false;
  const int n = as_int(v[0]);
  FILE_set_min_size(n < 1 ? 0 : n);
  return true;
}
bool h_grdfmt(const char* value) {
  if (!value) return true;
  if (!*value) return false;
  GRD_set_format(value);
  return true;
}
bool dump_item(int kind, const char* value) { return PLT_set_dump(kind, value ? value : "") == 0; }
bool h_gif(const char* value) { return dump_item(PLT_DUMP_GIF, value); }
bool h_png(const char* value) { return dump_item(PLT_DUMP_PNG, value); }
bool h_img(const char* value) { return dump_item(PLT_DUMP_IMG, value); }
bool h_xwd(const char* value) { return dump_item(PLT_DUMP_XWD, value); }

struct Keyword {
  const char* name;
  Match match;
  Handler handle;
};

/* Tested in this order; exact words come before the prefixes they share. */
constexpr Keyword KEYWORDS[] = {
    {"full", WHOLE, h_full},
    {"fullab", WHOLE, h_fullab},
    {"nopage", WHOLE, h_nopage},
    {"page", WHOLE, h_page},
    {"noredraw", WHOLE, h_noredraw},
    {"id", WHOLE, h_id},
    {"wmo", WHOLE, h_wmo},
    {"cod_wmo", WHOLE, h_cod_wmo},
    {"tz", VALUE, h_tz},
    {"over", VALUE, h_over},
    {"lalo", VALUE, h_lalo},
    {"gridx", DIGITS, h_gridx},
    {"plt_skip", VALUE, h_plt_skip},
    {"plt_off", VALUE, h_plt_off},
    {"plt_grid", VALUE, h_plt_grid},
    {"loc_pr", VALUE, h_loc_pr},
    {"vp_size", VALUE, h_vp_size},
    {"font", VALUE, h_font},
    {"gif_inter", WHOLE, h_gif_inter},
    {"gif_norm", WHOLE, h_gif_norm},
    {"gif_trans", WHOLE, h_gif_trans},
    {"inv", WHOLE, h_inv},
    {"lcmap", WHOLE, h_lcmap},
    {"nolcmap", WHOLE, h_nolcmap},
    {"rwclr", WHOLE, h_rwclr},
    {"norwclr", WHOLE, h_norwclr},
    {"nolooptitle", WHOLE, h_nolooptitle},
    {"pscolor", WHOLE, h_pscolor},
    {"psrev", WHOLE, h_psrev},
    {"clear", WHOLE, h_clear},
    {"new", WHOLE, h_new},
    {"kill", WHOLE, h_kill},
    {"bar", VALUE, h_bar},
    {"nobar", WHOLE, h_nobar},
    {"nohdr", WHOLE, h_nohdr},
    {"shadow", VALUE, h_shadow},
    {"max_bad", VALUE, h_max_bad},
    {"min_size", VALUE, h_min_size},
    {"grdfmt", VALUE, h_grdfmt},
    {"gif", DUMP, h_gif},
    {"png", DUMP, h_png},
    {"img", DUMP, h_img},
    {"xwd", DUMP, h_xwd},
};

/* Whether item is keyword k's; value gets the text after the separator,
 * or null for the bare keyword. A longer word that merely begins with the
 * keyword is another module's and does not match. */
bool matches(const Keyword& k, const char* item, const char** value) {
  const size_t n = std::strlen(k.name);
  *value = nullptr;
  if (strnicmp(item, k.name, static_cast<int>(n)) != 0) return false;
  const char next = item[n];
  if (next == '\0') return true;
  switch (k.match) {
    case WHOLE: return false;
    case VALUE:
      if (next != '=') return false;
      *value = item + n + 1;
      return true;
    case DUMP:
      if (next != '=' && next != ':') return false;
      *value = item + n + 1;
      return true;
    case DIGITS:
      for (const char* p = item + n; *p; ++p)
        if (*p < '0' || *p > '9') return false;
      *value = item + n;
      return true;
  }
  return false;
}

void decode_list(const char* resource, bool dumps_only) {
  int paramc = 0;
  char** paramv = nullptr;
  RES_getvals(resource, &paramc, &paramv);
  for (int i = 0; i < paramc; ++i) {
    const char* item = paramv[i];
    for (const Keyword& k : KEYWORDS) {
      if (dumps_only && k.match != DUMP) continue;
      const char* value = nullptr;
      if (!matches(k, item, &value)) continue;
      if (!k.handle(value))
        MESS_print(M_warn, "PLT_param_decode: Missing or invalid value in %s item: %s\n", resource, item);
      break;
    }
  }
  free_parsed_array(paramc, paramv);
}

/* ---- the page ----------------------------------------------------------- */

bool no_plot() { return FLAG_getplot(PART_ALL) == 0 || FLAG_get(FLAG_PLOT_TYPE) == PLOT_TYPE_NONE; }

/* Diagrams scale to the plot area; map projections ignore it. */
void tell_map_view() {
  const MAP_limits vp{state.dis_view.x_min, state.dis_view.x_max, state.dis_view.y_min, state.dis_view.y_max};
  MAP_set_view(&vp);
}

/* The own image format describes a dumped image with the map domain and
 * the corner labels. */
int describe_image(IMG_report* image) {
  if (!image) return 0;
  if (PLT_get_view_offset() <= IMG_DOMAIN_MAX_OFFSET) {
    Domain dom{};
    MAP_get_domain(&dom);
    if (dom.nx != image->width && image->width > 1 && image->height > 1 && dom.nx > 1 && dom.ny > 1) {
      dom.dx = static_cast<float>(dom.nx - 1) / static_cast<float>(image->width - 1) * dom.dx;
      dom.dy = static_cast<float>(dom.ny - 1) / static_cast<float>(image->height - 1) * dom.dy;
      dom.nx = image->width;
      dom.ny = image->height;
    }
    image->domain = dom;
  }
  std::snprintf(image->info, sizeof image->info, "%s [%s]", PLT_get_label(0, 0), PLT_get_label(5, 0));
  std::snprintf(image->datim, sizeof image->datim, "%s", PLT_get_label(2, 0));
  return 1;
}

void register_image_hooks() { IMG_set_dump_hook(describe_image); }

/* ---- dumps -------------------------------------------------------------- */

struct DumpWriter {
  int kind;
  int (*write)(const char* filename);
  const char* name;
};

constexpr DumpWriter WRITERS[] = {
    {PLT_DUMP_GIF, GIF_dump, "GIF"},
    {PLT_DUMP_IMG, IMG_dump, "IMG"},
    {PLT_DUMP_PNG, PNG_dump, "PNG"},
    {PLT_DUMP_XWD, XWD_dump, "xdump"},
};

/* A dump whose file cannot be written ends a batch run: its images are
 * all it makes, and a status of 0 would report them written. On a window
 * the user still has the picture, and the warning is enough; so it is for
 * a device that has no image to give (a page). */
void write_dump(const std::string& filename) {
  for (const DumpWriter& w : WRITERS) {
    if (w.kind != state.dump) continue;
    errno = 0;
    if (w.write(filename.c_str())) {
      MESS_print(M_mess, "Wrote %s file: %s\n", w.name, filename.c_str());
      return;
    }
    const int err = errno;
    if (err != 0)
      MESS_print(M_warn, "PLT_dump: Unable to write %s file: %s: %s\n", w.name, filename.c_str(), std::strerror(err));
    else
      MESS_print(M_warn, "PLT_dump: Unable to write %s file: %s\n", w.name, filename.c_str());
    if (FLAG_batch() && err != 0) PLT_exit(KEZ_EXIT_GRAPHICS);
    return;
  }
}

/* The dump's file name for the file date, with keys "i" and "p" set. */
std::string dump_name(const Date& date, const std::string& index) {
  const std::string& t = state.dump_file;
  const bool literal = t.find_first_of("%./") != std::string::npos;
  FILE_set_name(literal ? ("@" + t).c_str() : t.c_str());
  FILE_set_key('i', index.c_str());
  const char* title = gget_win_title();
  FILE_set_key('p', title ? title : "");
  std::vector<char> name(FILE_PATH_LEN, '\0');
  FILE_set_date(&date, name.data());
  if (!name[0]) std::snprintf(name.data(), name.size(), "%s", t.c_str());
  return FILE_add_path(RES_get("image_path"), name.data());
}

std::string two_digits(int i) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%2.2d", i);
  return buf;
}

/* ---- re-runs ------------------------------------------------------------ */

void rerun(PLT_plot_func func, Domain* dom, bool device_tran) {
  if (device_tran) gsel_norm_tran(TRAN_DEVICE);
  const int cursor = gget_cursor_type();
  gset_cursor(CURSOR_WAIT);
  if (func) func(dom);
  gsel_norm_tran(TRAN_PLOT);
  gupdate_window();
  gset_cursor(cursor);
}

bool is_map_proj(int proj) { return proj >= 1 && proj <= 9; }

constexpr int PROJ_SKEWT = 40;
constexpr int PROJ_HODOGRAPH = 23;
} // namespace

/* ---- open, reset, panels, close ----------------------------------------- */

int PLT_open(float aspect) {
  register_image_hooks();
  /* A new plot starts unzoomed: the zoom of an earlier plot has no domain
   * to go back to here. */
  state.zoom = 0;
  state.code = 0;
  DOM_init(&state.orig_dom);
  PLT_param_decode();
  state.dis_view = state.view_off;
  if (no_plot()) return -1;
  /* A run that dumps its images closes the window without holding it. */
  gset_transient(state.dump != PLT_DUMP_NONE);
  GPH_setup(&state.work_id, &state.wk_type, aspect, &state.dis_view);
  tell_map_view();
  return 0;
}

int PLT_reset(float aspect) {
  state.dis_view = state.view_off;
  const int type = PLT_get_label_type();
  if (type < 0) PLT_set_label_type(PLT_LAB_SIMP);
  if (type > 0) PLT_set_label_type(PLT_LAB_COMP);
  if (no_plot()) return -1;
  /* A re-run draws a new picture: on the window the old one must go, or
   * a zoom or redraw lands on top of it. */
  gclear_ws(state.work_id, 1);
  GPH_reset(&state.work_id, &state.wk_type, aspect, &state.dis_view);
  tell_map_view();
  return 0;
}

int PLT_panel(float aspect) {
  if (aspect == 0.0f) {
    const float h = state.dis_view.y_max - state.dis_view.y_min;
    if (h > 0) aspect = (state.dis_view.x_max - state.dis_view.x_min) / h;
  }
  state.dis_view = state.view_off;
  GPH_panel(&state.work_id, &state.wk_type, aspect, &state.dis_view);
  tell_map_view();
  return 0;
}

int PLT_close() {
  if (FLAG_batch() && KEZ_back_proc() < 0) KEZ_exit(1);
  if (FLAG_get(FLAG_PLOT_TYPE) == PLOT_TYPE_NONE) return -1;
  GPH_trans(TRAN_PLOT);
  if (state.dump == PLT_DUMP_NONE) GPH_hold(state.work_id);
  /* No clear before the end: the close frees the window's picture and its
   * display list, and a clear of the whole window would only make the
   * close wait for the server to paint it. */
  /* A page or plot file that could not be written leaves the run with
   * nothing it was asked for; a status of 0 would say it was made. */
  const int closed = GPH_end(state.work_id);
  PLT_init_labels();
  if (closed != 0) KEZ_exit(KEZ_EXIT_GRAPHICS);
  return closed == 0 ? 0 : -1;
}

void PLT_exit(int val) {
  GPH_end(state.work_id);
  KEZ_exit(val);
}

int PLT_mess(const char* mess, ...) {
  if (!mess) return 0;
  char buf[PLT_MESS_LEN];
  va_list ap;
  va_start(ap, mess);
  std::vsnprintf(buf, sizeof buf, mess, ap);
  va_end(ap);
  gmessage(state.work_id, buf);
  return 0;
}

int PLT_border(int val) {
  state.border = val;
  return 0;
}

int PLT_get_border() { return state.border; }

int PLT_set_view_offset(float offset) {
  state.view_offset = offset;
  state.view_off = Glim{0.0f, 0.0f, offset, offset};
  return 0;
}

int PLT_set_view_offsets(float xn, float xx, float yn, float yx) {
  state.view_off = Glim{xn, xx, yn, yx};
  return 0;
}

float PLT_get_view_offset() { return state.view_offset; }

int PLT_get_view_offsets(Glim* view) {
  if (view) *view = state.view_off;
  return 0;
}

int PLT_get_view(Glim* view) {
  if (view) *view = state.dis_view;
  return 0;
}

int PLT_get_work_type() { return state.wk_type; }
int PLT_get_full_lab() { return state.full_lab; }

/* ---- dumps -------------------------------------------------------------- */

int PLT_set_dump(int type, const char* filename) {
  if (filename && std::strlen(filename) >= static_cast<size_t>(PLT_DUMP_FILE_LEN)) {
    MESS_print(M_warn, "PLT_set_dump: Image file name too long: %.40s...\n", filename);
    return -1;
  }
  state.dump = type;
  /* Each kind has a default name of its own, so that an own-format image
   * is never taken for an X Window Dump by its name. */
  if (filename && *filename)
    state.dump_file = filename;
  else if (type == PLT_DUMP_GIF)
    state.dump_file = "kez.gif";
  else if (type == PLT_DUMP_PNG)
    state.dump_file = "kez.png";
  else if (type == PLT_DUMP_IMG)
    state.dump_file = "kez.img";
  else
    state.dump_file = "kez.xwd";
  return 0;
}

int PLT_get_dump() { return state.dump; }

int PLT_dump(int frame) {
  if (state.dump == PLT_DUMP_NONE) return -1;
  Date date{KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS};
  FILE_get_date(&date);
  FILE_save_name_conv();
  const int frames = gget_num_images();
  if (frame == PLT_DUMP_ALL_FRAMES && frames > 1) {
    for (int i = 0; i < frames; ++i) {
      const std::string name = dump_name(date, two_digits(i));
      gselect_frame(i);
      write_dump(name);
    }
  } else if (frames > 0) {
    const std::string name = dump_name(date, two_digits(gget_cur_frame()));
    gselect_frame(frame);
    write_dump(name);
  } else {
    write_dump(dump_name(date, "win"));
  }
  FILE_restore_name_conv();
  return 0;
}

int PLT_param_decode() {
  decode_list("plot_param", false);
  decode_list("out_file", true);
  return 0;
}

/* ---- interactive control ------------------------------------------------ */

int PLT_set_callback(PLT_event_func func) {
  state.callback = func;
  if (func) gset_mouse_callback(func);
  return 0;
}

int PLT_set_zoom_func(PLT_plot_func func) {
  state.zoom_func = func;
  return 0;
}

int PLT_set_resize_func(PLT_plot_func func) {
  state.resize_func = func;
  return 0;
}

int PLT_set_refresh_func(int sec, PLT_plot_func func) {
  state.refresh_func = func;
  gset_refresh_callback(sec, PLT_plot_refresh);
  return 0;
}

int PLT_set_zoom(int val) {
  state.zoom = val;
  return 0;
}

int PLT_get_zoom() { return state.zoom; }

int PLT_set_bar(int val) {
  state.bar = val;
  return 0;
}

int PLT_bar() {
  if (state.bar == 0 && CONT_get_bar() > 0) {
    ++state.bar;
    return 1;
  }
  return 0;
}

int PLT_print_location(const char* event, float x, float y) {
  if (!event || std::strcmp(event, "v-Alt") != 0) return 0;
  float lat = KEZ_FMISS, lon = KEZ_FMISS;
  MAP_untran(x, y, &lat, &lon);
  MESS_print(M_readout, "Lat: %6.2f Lon: %7.2f XY: %6.2f %6.2f Pixel: %6.2f %6.2f\n", lat, lon, x, y, xW_p(x), yW_p(y));
  return 0;
}

int PLT_print_values(const char* event, float x, float y) {
  if (!event) return 0;
  const int n = VAR_get_num();
  if (std::strcmp(event, "v-Alt") == 0) {
    PLT_print_location(event, x, y);
    float lat = KEZ_FMISS, lon = KEZ_FMISS;
    MAP_untran(x, y, &lat, &lon);
    CTY_locate loc{};
    /* The nearest station drawn, whose values the user points at; a
     * thinned-out or silent station nearer to the pointer has none. */
    const bool found = CTY_search_loc_data(lat, lon, &loc) > 0 || CTY_search_loc(lat, lon, &loc) > 0;
    if (found) {
      float slat = KEZ_FMISS, slon = KEZ_FMISS;
      MAP_untran(loc.x, loc.y, &slat, &slon);
      MESS_print(M_readout, "Id: %s Lat: %6.2f Lon: %7.2f ", loc.id, slat, slon);
    }
    const char* data = found ? static_cast<const char*>(CTY_get_data(loc.id)) : nullptr;
    if (FILE_get_num_file() != 0 && found) {
      MESS_print(M_readout, "\n");
    } else if (n >= 2) {
      if (found) MESS_print(M_readout, "\n");
      bool station_done = false;
      for (int i = 0; i < n && i < VAR_MAX_RECORDS; ++i) {
        if (!(VAR_is_PLOT(i) || VAR_is_COMP(i)) || VAR_is_type_MAP(i)) continue;
        const char* name = VAR_get_name(i);
        auto heading = [&] {
          if (name && *name)
            MESS_print(M_readout, "Var: %6.6s - ", name);
          else
            MESS_print(M_readout, "Var: #%5d - ", i);
        };
        if (VAR_is_type_VECT(i)) {
          heading();
          GRD_report* grds[VAR_MAX_RECORDS + 1] = {};
          float values[VAR_MAX_RECORDS + 1] = {};
          const int last = GRD_find_param_grids(i, VECT_OPERANDS, VECT_LEVEL, grds, values);
          if (grds[0] && grds[1]) GRD_print_value2(x, y, grds[0], grds[1]);
          if (last > i) i = last;
        } else if (VAR_is_type_CONT(i)) {
          heading();
          GRD_print_value(x, y, GRD_get_grid(i));
        } else if (!station_done && found) {
          station_done = true;
          heading();
          MESS_print(M_readout, "%s\n", data ? data : "");
        }
      }
    } else if (n >= 1) {
      if (VAR_is_plot_CONT(0)) {
        GRD_print_value(x, y, GRD_get_grid(0));
      } else if (VAR_is_PLOT(0) && found) {
        MESS_print(M_readout, "= %s\n", data ? data : "");
      }
    }
  } else if (std::strcmp(event, "e-Alt") == 0) {
    if (FILE_get_num_file() == 0 && n == 1) GRD_edit_value(event, x, y, GRD_get_grid(0));
  }
  return 0;
}

int PLT_plot_zoom(const char* event, float x, float y) {
  if (!event) return 0;
  if (std::strcmp(event, "B1-P-Shft") == 0) {
    state.xp = x;
    state.yp = y;
    state.code = 1;
    gset_rubber_band(RUBBER_BOX);
    return 0;
  }
  if (std::strncmp(event, "B1-R", 4) == 0 && state.code) {
    if (x == state.xp || y == state.yp) return -1;
    Domain cur{};
    MAP_get_domain(&cur);
    Domain dom = cur;
    const float x0 = std::min(x, state.xp), x1 = std::max(x, state.xp);
    const float y0 = std::min(y, state.yp), y1 = std::max(y, state.yp);
    const float w = x1 - x0, h = y1 - y0;
    if (is_map_proj(cur.proj)) {
      DOM_print(M_domain, &cur);
      float lat = KEZ_FMISS, lon = KEZ_FMISS;
      MAP_untran(0.5f * (x0 + x1), 0.5f * (y0 + y1), &lat, &lon);
      dom.clat = lat;
      dom.clon = lon;
      const float dx = cur.nx > 1 ? w / static_cast<float>(cur.nx - 1) : w;
      const float dy = cur.ny > 1 ? h / static_cast<float>(cur.ny - 1) : h;
      dom.dx = dom.dy = std::max(dx, dy);
      DOM_set_base_prior(h);
    } else {
      float ur_a = KEZ_FMISS, ur_b = KEZ_FMISS, ll_a = x0, ll_b = y0;
      MAP_untran(x1, y1, &ur_a, &ur_b);
      if (cur.proj != PROJ_HODOGRAPH) MAP_untran(x0, y0, &ll_a, &ll_b);
      dom.clat = ll_a;
      dom.clon = ll_b;
      dom.dx = (cur.proj == PROJ_SKEWT || cur.proj == PROJ_HODOGRAPH) ? w : ur_a - ll_a;
      dom.dy = cur.proj == PROJ_HODOGRAPH ? h : ur_b - ll_b;
    }
    if (state.zoom == 0) state.orig_dom = cur;
    ++state.zoom;
    MESS_print(M_zoom, "New domain: ");
    DOM_print(M_domain, &dom);
    rerun(state.zoom_func, &dom, true);
    state.code = 0;
    return 0;
  }
  if (std::strcmp(event, "u-Alt") == 0) {
    if (gget_zoom() == 1 && state.zoom != 0) {
      MESS_print(M_zoom, "Original domain: ");
      Domain dom = state.orig_dom;
      if (is_map_proj(MAP_get_proj())) DOM_set_base_prior(static_cast<float>(dom.ny - 1) * dom.dy);
      DOM_print(M_domain, &dom);
      rerun(state.zoom_func, &dom, false);
      state.zoom = 0;
    }
    state.code = 0;
    return 0;
  }
  if (std::strcmp(event, "r-Alt") == 0) {
    Domain dom{};
    MAP_get_domain(&dom);
    rerun(state.zoom_func, &dom, false);
    return 0;
  }
  state.code = 0;
  return 0;
}

int PLT_plot_resize(const char* event, float, float) {
  if (!event || std::strcmp(event, "size") != 0) return 0;
  Domain dom{};
  MAP_get_domain(&dom);
  rerun(state.resize_func, &dom, true);
  return 0;
}

int PLT_plot_refresh() {
  Domain dom{};
  MAP_get_domain(&dom);
  rerun(state.refresh_func, &dom, true);
  return 0;
}

int PLT_panel_decode(const char* str) {
  if (!str) return 0;
  float v[4] = {};
  char tail = '\0';
  if (std::sscanf(str, "%fx%f+%f+%f%c", &v[0], &v[1], &v[2], &v[3], &tail) != 4) return 0;
  for (float f : v)
    if (!std::isfinite(f)) return 0;
  const bool grid = v[0] > 1.0f || (v[1] > 1.0f && v[0] == std::floor(v[0]) && v[1] == std::floor(v[1]));
  float sx = 0, sy = 0, ox = 0, oy = 0;
  if (grid) {
    /* Clamped as floats first: a huge count must not overflow an int. */
    auto whole = [](float f, int lo, int hi) {
      return static_cast<int>(std::clamp(f, static_cast<float>(lo), static_cast<float>(hi)));
    };
    const int cols = whole(v[0], 1, PANEL_MAX);
    const int rows = whole(v[1], 1, PANEL_MAX);
    const int col = whole(v[2], 0, cols - 1);
    const int row = whole(v[3], 0, rows - 1);
    sx = 1.0f / static_cast<float>(cols);
    sy = 1.0f / static_cast<float>(rows);
    ox = static_cast<float>(col) * sx;
    oy = 1.0f - static_cast<float>(1 + row) * sy;
  } else {
    /* Fractions of the page: the panel stays on it. */
    if (v[0] <= 0.0f || v[1] <= 0.0f) {
      MESS_print(M_warn, "PLT_panel_decode: Invalid panel size: %s\n", str);
      return 0;
    }
    sx = std::min(v[0], 1.0f);
    sy = std::min(v[1], 1.0f);
    ox = std::clamp(v[2], 0.0f, 1.0f - sx);
    oy = std::clamp(v[3], 0.0f, 1.0f - sy);
  }
  GPH_set_view_size(sx, sy, ox, oy);
  return 0;
}
