/*
 * vect_plt: a pair of u and v grids drawn as arrows, wind barbs or
 * streamlines.
 *
 * The module keeps one set of vector settings per process (type, scale,
 * base speed, interval, cut-offs, skips, whether components are grid- or
 * earth-relative, the legend switch), reset by each set-up, decoded from
 * the variable's format, "plot_param" and a prompt, and saved per variable
 * on the first frame of a sequence. The data pipeline calls
 * VECT_set_format, VECT_plot_setup and VECT_draw per frame; VECT_plot is
 * the stand-alone plot and its zoom and resize function.
 *
 * A draw never changes the grids it is given: it turns a working copy of
 * the components (grid-relative to earth-relative, and for streamlines
 * earth-relative to plot-relative), so a pair drawn again after a zoom or a
 * refresh gives the same picture. Speeds are coloured through the contour
 * module's fill colours. Missing is -9999 throughout.
 */
#include "kezcont.h"
#include "kezraw.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr float MISS = KEZ_FMISS;
constexpr int IMISS = KEZ_MISS;
constexpr int PART_LOWER_RIGHT = 6;       /* plot-part switch of the lower-right text */
constexpr int PART_DATA = 7;              /* plot-part switch of the data */
constexpr int PART_CORNERS = 0;           /* plot-part switch of any corner text */
constexpr int ANSWER_LEN = 10;            /* the prompt's answer, with its end */
constexpr int LABEL_ROOM = PLT_LABEL_MAX; /* characters a corner label keeps */
constexpr float STEP = 0.25f;             /* streamline step in drawing units */
constexpr int VECT_LABEL_LEN = 100;       /* the data label, with its end */

using Event = void (*)(int, char*, float, float);

struct State {
  int plot_type = IMISS;
  int vect_type = IMISS;
  int type_set = 0;
  float intrvl = MISS;
  float scale = 1.0f;
  float arrow_scale = 1.0f;
  float base = MISS;
  float grid_max = MISS;
  float min_cut = MISS, max_cut = MISS;
  int xskip = 1, yskip = 1;
  int uvgrid = 1;
  int plt_vect = 0;
  float vect_size = 0.0f;
  float vert_size = 0.0f;
  std::string format;
  int vect_types[VECT_MAX_VARS] = {};
  float intrvls[VECT_MAX_VARS] = {};
  float bases[VECT_MAX_VARS] = {};

  /* Positions handed over with VECT_grid (the caller's) or made by a draw. */
  float* grdx = nullptr;
  float* grdy = nullptr;
  Glim dis_wind{0, 1, 0, 1};
  std::vector<int> num; /* streamline visit counters of one draw */
  Event callback = nullptr;
  GRD_report* ugrd_ptr = nullptr;
  GRD_report* vgrd_ptr = nullptr;

  /* Per-draw facts the tracer reads. */
  bool colour_by_speed = false;
  int last_colour = 0;
  Domain map_dom{};
  Domain grid_dom{};

  VECT_kernel kernel{WIND_vect, WIND_barb, nullptr};
};

State state;

bool missing(float v) { return v == MISS; }

bool not_chosen(int type) { return type == IMISS || type == 20 || type == 10; }

bool same_word(const char* a, const char* b) { return strcasecmp(a, b) == 0; }

bool same_head(const char* a, const char* b, size_t n) { return strncasecmp(a, b, n) == 0; }

/* What the number conversion yields: 0 for text without digits. */
float number(const char* s) {
  if (!s) return 0.0f;
  const float v = std::strtof(s, nullptr);
  return std::isfinite(v) ? v : 0.0f;
}

/* A skip: at least 1, and small enough that 6 skips still fit an int. */
int skip_of(long v) { return static_cast<int>(std::clamp(v, 1L, 1000000L)); }

int whole(const char* s) {
  const float v = number(s);
  if (v >= 1e9f) return 1000000000;
  if (v <= -1e9f) return -1000000000;
  return static_cast<int>(v);
}

/* The items of a ":"-separated text. */
std::vector<std::string> items(const std::string& text) {
  std::vector<std::string> out;
  size_t pos = 0;
  while (pos <= text.size()) {
    const size_t end = text.find(':', pos);
    const std::string item = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    if (!item.empty()) out.push_back(item);
    if (end == std::string::npos) break;
    pos = end + 1;
  }
  return out;
}

bool has_levels() {
  float levels[CONT_MAX_LEVELS];
  return CONT_get_values(levels) > 0;
}

/* Resource "con_base": ">" a lower cut-off, "<" an upper one, else the base. */
void read_con_base() {
  int argc = 0;
  char** argv = nullptr;
  if (RES_getvals("con_base", &argc, &argv) < 0) return;
  for (int i = 0; i < argc; ++i) {
    const char* item = argv[i];
    if (!item) continue;
    if (item[0] == '>')
      state.min_cut = number(item + 1);
    else if (item[0] == '<')
      state.max_cut = number(item + 1);
    else
      state.base = number(item);
  }
  if (argv) free_parsed_array(argc, argv);
}

void apply_colour(const Gattribs& a) {
  GPH_line_attr(&a);
  GPH_fill_attr(&a);
  if (state.kernel.line_colr) state.kernel.line_colr(a.color);
}

/* Speed band colour; false when the band draws nothing. */
bool band_colour(float spd) {
  Gattribs a{};
  CONT_get_fill_attrib(spd, &a);
  apply_colour(a);
  state.last_colour = a.color;
  return a.color != -1;
}

bool inside_cuts_open(float spd) {
  return (missing(state.min_cut) || state.min_cut < spd) && (missing(state.max_cut) || state.max_cut > spd);
}

bool inside_cuts_closed(float spd) {
  return (missing(state.min_cut) || state.min_cut <= spd) && (missing(state.max_cut) || state.max_cut >= spd);
}

/* Plot position of stored point k (row r from the top, column i). */
bool position(int k, int i, int r, float* x, float* y) {
  if (state.grdx && state.grdy) {
    *x = state.grdx[k];
    *y = state.grdy[k];
  } else {
    MAP_grid_tran(static_cast<float>(i), static_cast<float>(r), x, y);
  }
  return !missing(*x) && !missing(*y);
}

/* Counter of the half cell around a grid position (column gx, row gy from
 * the top). Out of range goes to the last counter. */
size_t counter_index(float gx, float gy, int nx, int ny) {
  const size_t last = static_cast<size_t>(4) * nx * ny;
  const double ix = std::trunc(2.0 * gx / state.xskip + 0.0001);
  const double iy = std::trunc(2.0 * gy / state.yskip + 0.0001);
  const double idx = ix + 2.0 * nx * iy;
  if (!(idx >= 0.0) || idx > static_cast<double>(last) - 2.0) return last;
  return static_cast<size_t>(idx);
}

/* The grid position of a drawing position, and u and v there. */
void sample(const GRD_report* ug, const GRD_report* vg, float x, float y, float* gx, float* gy, float* u, float* v) {
  const int ny = ug->domain.ny;
  if (state.grdx) {
    float x2 = MISS, y2 = MISS;
    MAP_domain_tran(&state.map_dom, &state.grid_dom, x, y, &x2, &y2);
    MAP_domain(&state.grid_dom);
    MAP_grid_untran(x2, y2, gx, gy);
    MAP_domain(&state.map_dom);
  } else {
    *gx = x;
    *gy = static_cast<float>(ny - 1) - y;
  }
  *u = GRD_get_value(ug, *gx, *gy);
  *v = GRD_get_value(vg, *gx, *gy);
}

/* Releases positions this draw made; leaves the caller's alone. */
struct OwnPositions {
  float* x = nullptr;
  float* y = nullptr;
  ~OwnPositions() {
    if (x && state.grdx == x) state.grdx = nullptr;
    if (y && state.grdy == y) state.grdy = nullptr;
    std::free(x);
    std::free(y);
  }
};

/* Streamlines from the skip lattice, each pass from the side its winds
 * come from. */
void seed_streamlines(GRD_report* ug, GRD_report* vg, float length) {
  const int nx = ug->domain.nx, ny = ug->domain.ny;
  const int xs = state.xskip, ys = state.yskip;
  auto try_seed = [&](int i, int j, int su, int sv) {
    const float u = GRD_get_value(ug, static_cast<float>(i), static_cast<float>(ny - 1 - j));
    const float v = GRD_get_value(vg, static_cast<float>(i), static_cast<float>(ny - 1 - j));
    if (missing(u) || missing(v)) return;
    if ((su > 0 ? u > 0 : u < 0) && (sv > 0 ? v > 0 : v < 0)) VECT_stream(ug, vg, i, j, length);
  };
  for (int i = 0; i < nx; i += xs)
    for (int j = 0; j < ny; j += ys) try_seed(i, j, 1, 1);
  for (int i = 0; i < nx; i += xs)
    for (int j = ny - 1; j >= 0; j -= ys) try_seed(i, j, 1, -1);
  for (int i = nx - 1; i >= 0; i -= xs)
    for (int j = 0; j < ny; j += ys) try_seed(i, j, -1, 1);
  for (int i = nx - 1; i >= 0; i -= xs)
    for (int j = ny - 1; j >= 0; j -= ys) try_seed(i, j, -1, -1);
}

} // namespace

/* ------------------------------------------------------------------------ */
/* Settings                                                                 */
/* ------------------------------------------------------------------------ */

int VECT_init() {
  state.intrvl = MISS;
  state.base = MISS;
  state.min_cut = MISS;
  state.max_cut = MISS;
  if (!state.type_set) state.vect_type = IMISS;
  return 0;
}

int VECT_set_type(int val) {
  state.vect_type = val;
  state.type_set = 1;
  return 0;
}

int VECT_get_type() { return state.vect_type; }

int VECT_set_format(int type, const char* form) {
  /* the format holds what the variable's format record can hold */
  state.format = form ? std::string(form).substr(0, VECT_FORMAT_LEN - 1) : std::string();
  state.plot_type = type;
  return 0;
}

int VECT_set_vect(int value) {
  state.plt_vect = value;
  return 0;
}

int VECT_get_vect() { return state.plt_vect; }

int VECT_set_intrvl(float value) {
  state.intrvl = value;
  return 0;
}

float VECT_get_intrvl() { return state.intrvl; }

int VECT_set_max(float max) {
  state.grid_max = max;
  return 0;
}

int VECT_set_scale(float iscale) {
  state.scale = iscale;
  return 0;
}

int VECT_set_base(float value) {
  state.base = value;
  return 0;
}

float VECT_get_vector_size() { return state.vect_size; }

int VECT_grid(float* grx, float* gry) {
  state.grdx = grx;
  state.grdy = gry;
  return 0;
}

int VECT_set_kernel(const VECT_kernel* ops) {
  state.kernel.vect = ops && ops->vect ? ops->vect : WIND_vect;
  state.kernel.barb = ops && ops->barb ? ops->barb : WIND_barb;
  state.kernel.line_colr = ops ? ops->line_colr : nullptr;
  return 0;
}

float VECT_inspect(const char* name) {
  if (!name) return MISS;
  struct Entry {
    const char* name;
    float value;
  };
  const Entry table[] = {
      {"plot_type", static_cast<float>(state.plot_type)},
      {"vect_type", static_cast<float>(state.vect_type)},
      {"type_set", static_cast<float>(state.type_set)},
      {"intrvl", state.intrvl},
      {"scale", state.scale},
      {"arrow_scale", state.arrow_scale},
      {"base", state.base},
      {"grid_max", state.grid_max},
      {"min_cut", state.min_cut},
      {"max_cut", state.max_cut},
      {"xskip", static_cast<float>(state.xskip)},
      {"yskip", static_cast<float>(state.yskip)},
      {"uvgrid", static_cast<float>(state.uvgrid)},
      {"plt_vect", static_cast<float>(state.plt_vect)},
      {"vect_size", state.vect_size},
      {"vert_size", state.vert_size},
  };
  for (const Entry& e : table)
    if (std::strcmp(e.name, name) == 0) return e.value;
  return MISS;
}

/* ------------------------------------------------------------------------ */
/* Format items, "plot_param" and the type prompt                           */
/* ------------------------------------------------------------------------ */

int VECT_format_decode_type() {
  int type = state.plot_type == VECT_STREAM ? VECT_STREAM : state.plot_type == VECT_ARROWS ? VECT_ARROWS : IMISS;
  bool found = false;
  for (const std::string& item : items(state.format)) {
    const char* s = item.c_str();
    const char* value = item.size() > 3 ? s + 3 : "";
    if (same_word(s, "vect")) {
      type = VECT_ARROWS;
      found = true;
    } else if (same_word(s, "stream") || same_word(s, "strm")) {
      type = VECT_STREAM;
      found = true;
    } else if (same_word(s, "barb")) {
      type = VECT_BARBS;
      found = true;
    } else if (same_word(s, "vbar")) {
      VECT_set_vect(1);
    } else if (same_word(s, "nolr")) {
      FLAG_setplot(PART_LOWER_RIGHT, 0);
    } else if (same_head(s, "sk=", 3)) {
      state.xskip = state.yskip = skip_of(whole(value));
    } else if (same_head(s, "sc=", 3)) {
      state.scale = number(value);
    } else if (same_head(s, "ss=", 3)) {
      state.arrow_scale = number(value);
    } else if (same_head(s, "in=", 3)) {
      state.intrvl = number(value);
    } else if (same_head(s, "cb=", 3)) {
      state.base = number(value);
    } else if (same_head(s, "mn=", 3)) {
      state.min_cut = number(value);
    } else if (same_head(s, "mx=", 3)) {
      state.max_cut = number(value);
    }
  }
  /* a kind that preselects a type still counts as found */
  if (found || type != IMISS) VECT_set_type(type);
  return 0;
}

int VECT_format_decode_attrib(Gattribs* attr) {
  if (!attr) return 0;
  for (const std::string& item : items(state.format)) {
    const char* s = item.c_str();
    const char* value = item.size() > 3 ? s + 3 : "";
    if (same_head(s, "co=", 3))
      attr->color = CLR_get_ind(value);
    else if (same_head(s, "wi=", 3))
      attr->width = number(value);
    else if (same_head(s, "st=", 3))
      attr->style = whole(value);
  }
  return 0;
}

int VECT_param_decode() {
  int argc = 0;
  char** argv = nullptr;
  if (RES_getvals("plot_param", &argc, &argv) < 0) return 0;
  for (int i = 0; i < argc; ++i) {
    const char* s = argv[i];
    if (!s) continue;
    const char* value = std::strlen(s) > 8 ? s + 8 : "";
    if (same_word(s, "vect") || same_word(s, "vbar")) {
      VECT_set_vect(1);
    } else if (same_word(s, "uvgrid")) {
      state.uvgrid = 1;
    } else if (same_word(s, "uvew")) {
      state.uvgrid = 0;
    } else if (same_head(s, "strm_sc", 7)) {
      const float v = number(value);
      state.arrow_scale = v > 0.0f ? v : 1.0f;
    } else if (same_head(s, "wv_skip", 7)) {
      char* end = nullptr;
      const long a = std::strtol(value, &end, 10);
      const long b = *end == ':' ? std::strtol(end + 1, nullptr, 10) : a;
      state.xskip = skip_of(a);
      state.yskip = skip_of(b);
    } else if (same_word(s, "bar")) {
      CONT_set_bar(1);
    } else if (same_word(s, "nobar")) {
      CONT_set_bar(-1);
    }
  }
  if (argv) free_parsed_array(argc, argv);
  return 0;
}

int VECT_prompt_type() {
  int type = state.vect_type;
  if (not_chosen(type)) {
    type = FLAG_get(FLAG_PLOT_TYPE);
    if (type <= 0 && FLAG_batch()) type = VECT_ARROWS;
  }
  if (type != VECT_ARROWS && type != VECT_BARBS && type != VECT_STREAM) {
    if (FLAG_batch()) {
      /* batch runs never wait for an answer */
      type = VECT_ARROWS;
    } else {
      char answer[ANSWER_LEN] = "";
      KEZ_prompts("Vectors (V) or Streamlines (S): ", answer, ANSWER_LEN - 1);
      answer[ANSWER_LEN - 1] = '\0';
      std::string word(answer);
      const size_t start = word.find_first_not_of(" \t\r\n");
      word = start == std::string::npos ? std::string() : word.substr(start);
      word = word.substr(0, word.find_first_of(" \t\r\n"));
      const char* w = word.c_str();
      if (same_word(w, "none"))
        type = VECT_NONE;
      else if (same_word(w, "vect"))
        type = VECT_ARROWS;
      else if (same_word(w, "barb"))
        type = VECT_BARBS;
      else if (same_word(w, "stream") || same_word(w, "strm"))
        type = VECT_STREAM;
      else if (w[0] == 's' || w[0] == 'S' || w[0] == 'y' || w[0] == 'Y')
        type = VECT_STREAM;
      else if (w[0] == 'b' || w[0] == 'B')
        type = VECT_BARBS;
      else
        type = VECT_ARROWS;
    }
  }
  VECT_set_type(type);
  state.type_set = 0;
  return type;
}

/* ------------------------------------------------------------------------ */
/* Set-up                                                                   */
/* ------------------------------------------------------------------------ */

int VECT_plot_setup(int plot, int ind, GRD_report* ugrid, GRD_report* vgrid, Domain* domain, Event call) {
  if (FLAG_get(FLAG_PLOT_TYPE) == VECT_NONE || !ugrid || !vgrid) return 0;
  state.callback = call;
  state.ugrd_ptr = ugrid;
  state.vgrd_ptr = vgrid;
  CONT_init();
  VECT_init();
  const bool slot = ind >= 0 && ind < VECT_MAX_VARS;
  if (plot > 0 && slot) {
    state.vect_type = state.vect_types[ind];
    state.intrvl = state.intrvls[ind];
    state.base = state.bases[ind];
  }
  VECT_format_decode_type();
  VECT_param_decode();
  if (!ugrid->grid || !vgrid->grid) return 0;
  if (domain && missing(domain->clat)) *domain = ugrid->domain;

  MESS_print(M_mess, "Plotting wind vectors\n\n");
  CONT_set_fill_colors(nullptr, 0);
  VECT_prompt_type();

  float gmax = MISS;
  GRD_UVmax(ugrid, vgrid, &gmax);
  VECT_set_max(gmax);

  float iv = MISS;
  if (RES_getval("con_interval", &iv, CV_float) == 1) state.intrvl = iv > 0.0f ? iv : MISS;
  if (RES_get("con_base")) {
    read_con_base();
    CONT_set_cutoff(state.max_cut, state.min_cut);
  }
  if (!missing(state.intrvl)) {
    CONT_set_base(0.0f);
    CONT_set_intrvl(state.intrvl);
    CONT_set_range(state.grid_max, 0.0f);
    VECT_set_intrvl(state.intrvl);
    if (CONT_get_type() == IMISS) CONT_set_type(CONT_FILL);
  }
  MAP_fill_cont(0);

  const int flag = FLAG_get(FLAG_PLOT_TYPE);
  std::string label(VECT_LABEL_LEN, '\0');
  VAR_make_datatype(ugrid->time, ugrid->ltype, ugrid->level, flag == VECT_STREAM ? VECT_STREAM_PARAM : VECT_DATA_PARAM,
                    "m/s", label.data(), VECT_LABEL_LEN);
  PLT_label_up_left(label.c_str());
  PLT_label_up_right(ugrid->datim);
  if (flag == VECT_STREAM || !state.plt_vect) {
    char num[SET_NUM_LEN];
    PLT_label_low_right((std::string("MAX: ") + set_num(num, "5.3.1", state.grid_max)).c_str());
  }

  std::string ll;
  float levels[CONT_MAX_LEVELS];
  const int n = CONT_get_values(levels);
  if (n > 0) {
    ll = "LEVELS: ";
    for (int i = 0; i < n && !missing(levels[i]); ++i) {
      char num[SET_NUM_LEN];
      const std::string next = (i > 0 ? "," : "") + std::string(set_num(num, "5.1.1", levels[i]));
      /* stop at a level boundary: never past the label's room */
      if (i > 0 && (ll.size() >= 75 || ll.size() + next.size() > LABEL_ROOM)) break;
      if (i == 0 && ll.size() + next.size() > LABEL_ROOM) break;
      ll += next;
    }
  } else if (!missing(state.intrvl)) {
    CONT_set_intrvl(state.intrvl);
    char num[SET_NUM_LEN];
    ll = std::string("INTERVAL: ") + set_num(num, "5.1.1", state.intrvl);
  }
  if (CONT_get_bar() == 0) PLT_label_low_left(ll.c_str());

  if (plot == 0 && slot) {
    state.vect_types[ind] = state.vect_type;
    state.intrvls[ind] = state.intrvl;
    state.bases[ind] = state.base;
  }
  return 0;
}

/* ------------------------------------------------------------------------ */
/* Drawing                                                                  */
/* ------------------------------------------------------------------------ */

int VECT_draw(GRD_report* ugrid, GRD_report* vgrid) {
  if (!FLAG_getplot(PART_DATA)) return 0;
  if (!ugrid || !vgrid) {
    MESS_print(M_warn, "VECT_draw: Invalid grids\n");
    return -1;
  }
  const int nx = ugrid->domain.nx, ny = ugrid->domain.ny;
  if (!ugrid->grid || !vgrid->grid || nx < 1 || ny < 1 || vgrid->domain.nx != nx || vgrid->domain.ny != ny) {
    MESS_print(M_warn, "VECT_draw: Invalid grid arrays\n");
    return -1;
  }
  const size_t npts = static_cast<size_t>(nx) * static_cast<size_t>(ny);

  Domain map_dom{};
  MAP_get_domain(&map_dom);
  OwnPositions own;
  if (!state.grdx || !state.grdy) {
    state.grdx = state.grdy = nullptr;
    if (!DOM_comp(&ugrid->domain, &map_dom)) {
      if (GRD_proj_XY(ugrid, &map_dom, &own.x, &own.y) != 0) {
        MESS_print(M_warn, "VECT_draw: Unable to allocate grid arrays\n");
        return -1;
      }
      state.grdx = own.x;
      state.grdy = own.y;
    }
  }
  const bool projected = state.grdx != nullptr;

  Glim view{};
  PLT_get_view(&view);
  CONT_set_fill_colors(nullptr, 0);
  read_con_base();
  float sc = MISS;
  if (RES_getval("plot_scale", &sc, CV_float) == 1 && !missing(sc)) state.scale = sc;

  /* The working copy: the grid store's winds stay as read. */
  std::vector<float> uw(ugrid->grid, ugrid->grid + npts);
  std::vector<float> vw(vgrid->grid, vgrid->grid + npts);
  GRD_report wu = *ugrid;
  GRD_report wv = *vgrid;
  wu.grid = uw.data();
  wv.grid = vw.data();

  if (missing(state.grid_max) || state.grid_max <= 0.0f) GRD_UVmax(&wu, &wv, &state.grid_max);
  const bool have_max = !missing(state.grid_max) && state.grid_max > 0.0f;
  state.vect_size = state.scale;
  if (!missing(state.base) && state.base != 0.0f && have_max)
    state.vect_size = state.scale * (state.grid_max / state.base);

  Gattribs attr{};
  ATTRIB_init(&attr);
  ATTRIB_get("color_cont", gget_inverse() ? "black" : "white", &attr);
  VECT_format_decode_attrib(&attr);
  if (attr.color == -1) return 0;

  if (projected) {
    state.vert_size = MAP_get_vert();
    state.vect_size *= ugrid->domain.dx;
  } else {
    state.dis_wind = Glim{0.0f, static_cast<float>(nx - 1), 0.0f, static_cast<float>(ny - 1)};
    gset_vp(3, &view);
    gset_win(3, &state.dis_wind);
    gsel_norm_tran(3);
    state.vert_size = static_cast<float>(ny - 1);
  }
  Gattribs plain{};
  ATTRIB_init(&plain);
  GPH_line_attr(&plain);
  GPH_fill_attr(&plain);
  apply_colour(attr);

  const float length = 4.0f * nx * (missing(state.scale) ? 1.0f : state.scale);

  if (state.uvgrid) {
    MAP_domain(&ugrid->domain);
    for (int r = 0; r < ny; ++r)
      for (int i = 0; i < nx; ++i) {
        const size_t k = static_cast<size_t>(r) * nx + i;
        if (missing(uw[k]) || (uw[k] == 0.0f && vw[k] == 0.0f)) continue;
        float dir = MISS, spd = MISS, x = MISS, y = MISS;
        vect2wind(uw[k], vw[k], &dir, &spd);
        MAP_grid_tran(static_cast<float>(i), static_cast<float>(r), &x, &y);
        if (!missing(dir)) dir = MAP_undir_adj(dir, x, y);
        wind2vect(dir, spd, &uw[k], &vw[k]);
      }
    MAP_domain(&map_dom);
  }

  state.colour_by_speed = has_levels() || !missing(state.intrvl);
  state.last_colour = attr.color;

  if (state.vect_type == VECT_STREAM) {
    /* Every point turns to plot-relative components: the tracer
     * interpolates between all of them. */
    for (int r = 0; r < ny; ++r)
      for (int i = 0; i < nx; ++i) {
        const size_t k = static_cast<size_t>(r) * nx + i;
        if (missing(uw[k]) || missing(vw[k])) continue;
        float dir = MISS, spd = MISS, x = MISS, y = MISS;
        vect2wind(uw[k], vw[k], &dir, &spd);
        if (!position(static_cast<int>(k), i, r, &x, &y)) continue;
        dir = MAP_dir_adj(dir, x, y);
        wind2vect(dir, spd, &uw[k], &vw[k]);
      }
    if (state.base <= 0.0f) state.base = 1.0f;
    state.num.assign(4 * npts + 1, 0);
    state.map_dom = map_dom;
    state.grid_dom = ugrid->domain;
    seed_streamlines(&wu, &wv, length);
    std::vector<int>().swap(state.num);
    return 0;
  }
  if (state.vect_type != VECT_ARROWS && state.vect_type != VECT_BARBS) return 0;

  for (int r = 0; r < ny; r += state.yskip)
    for (int i = 0; i < nx; i += state.xskip) {
      const size_t k = static_cast<size_t>(r) * nx + i;
      if (missing(uw[k]) || missing(vw[k])) continue;
      float dir = MISS, spd = MISS;
      vect2wind(uw[k], vw[k], &dir, &spd);
      if (spd == 0.0f) continue; /* a calm has no arrow or barb */
      bool visible = true;
      if (state.colour_by_speed) visible = band_colour(spd);
      float px = MISS, py = MISS;
      if (!position(static_cast<int>(k), i, r, &px, &py)) continue;
      dir = MAP_dir_adj(dir, px, py);
      if (!visible || !inside_cuts_open(spd) || missing(dir)) continue;
      const float x = projected ? px : static_cast<float>(i);
      const float y = projected ? py : static_cast<float>(ny - 1 - r);
      if (state.vect_type == VECT_BARBS)
        state.kernel.barb(x, y, dir, spd, state.vect_size, 0.0f);
      else if (have_max)
        state.kernel.vect(x, y, dir, spd / state.grid_max, state.vect_size, 1.0f);
    }
  return 0;
}

int VECT_stream(GRD_report* ugrid, GRD_report* vgrid, int i, int j, float length) {
  if (!ugrid || !vgrid || !ugrid->grid || !vgrid->grid || state.num.empty()) return 0;
  const int nx = ugrid->domain.nx, ny = ugrid->domain.ny;
  if (i < 0 || i >= nx || j < 0 || j >= ny) return 0;
  float x = static_cast<float>(i), y = static_cast<float>(j);
  if (state.grdx) {
    const size_t k = static_cast<size_t>(ny - 1 - j) * nx + i;
    x = state.grdx[k];
    y = state.grdy[k];
    if (missing(x) || missing(y)) return 0;
  }
  float gx = MISS, gy = MISS, u = MISS, v = MISS;
  sample(ugrid, vgrid, x, y, &gx, &gy, &u, &v);

  /* a spacing below one step would test heads against 0 */
  const int n = std::max(1, static_cast<int>(std::trunc(10.0f * state.arrow_scale)));
  const float head = 4.0f * state.arrow_scale;
  size_t prev_idx = static_cast<size_t>(-1);
  int same = 0;
  float prev_dir = MISS, px = x, py = y;
  for (int k = 0; static_cast<float>(k) < length; ++k) {
    const size_t idx = counter_index(gx, gy, nx, ny);
    if (idx != prev_idx) {
      ++state.num[idx];
      same = 0;
      prev_idx = idx;
    } else {
      ++same;
    }
    float spd = MISS, dir = MISS;
    if (!missing(u) && !missing(v)) {
      const float sum = u * u + v * v;
      spd = static_cast<float>(std::sqrt(static_cast<double>(sum)));
      dir = spd < 0.01f
                ? 0.0f
                : static_cast<float>(std::atan2(-static_cast<double>(u), -static_cast<double>(v)) * 57.295779513082195);
    }
    bool end = (state.num[idx] > state.base && (k == 0 || k > 5)) || same > 6 * state.xskip || missing(u) ||
               missing(v) || spd < 0.001f;
    if (!end && k > 0 && !missing(prev_dir)) {
      const float turn = std::fabs(prev_dir - dir);
      end = turn > 120.0f && turn < 240.0f;
    }
    const bool valid = !missing(spd) && inside_cuts_closed(spd);
    if (end) {
      if (k > 0 && valid && !missing(prev_dir) && (!state.colour_by_speed || state.last_colour != -1))
        state.kernel.vect(px, py, prev_dir, STEP, 1.0f, head);
      break;
    }
    bool shown = true;
    if (state.colour_by_speed) shown = band_colour(spd);
    if (valid && shown) state.kernel.vect(x, y, dir, STEP, 1.0f, k % n == n - 1 ? head : 0.0f);
    px = x;
    py = y;
    prev_dir = dir;
    x += u / (4.0f * spd);
    y += v / (4.0f * spd);
    sample(ugrid, vgrid, x, y, &gx, &gy, &u, &v);
  }
  return 0;
}

int VECT_draw_vect() {
  Gattribs attr{};
  ATTRIB_init(&attr);
  ATTRIB_get("color_text", gget_inverse() ? "black" : "white", &attr);
  Glim view{};
  PLT_get_view(&view);
  const float ysize = view.y_max - view.y_min;
  const float xsize = view.x_max - view.x_min;
  Gattribs plain{};
  ATTRIB_init(&plain);
  GPH_text_attr(&plain, 1.0f);
  attr.height = 0.015f * ysize;
  GPH_text_attr(&attr, 1.0f);
  GPH_text_align(3, 3);
  const float a = state.vert_size != 0.0f ? state.vect_size * ysize / state.vert_size : 0.0f;
  if ((!FLAG_getplot(PART_CORNERS) && !state.plt_vect) || attr.color == -1) return 0;
  const float y = view.y_min - 0.025f * ysize;
  GPH_line_attr(&attr);
  state.kernel.vect(view.x_max - 0.01f * xsize - a, y, 270.0f, 1.0f, a, 1.0f);
  char num[SET_NUM_LEN];
  const std::string text = std::string("MAX VECTOR: ") + set_num(num, "5.3.1", state.grid_max) + " m/s";
  const Gpt at{view.x_max - 0.02f * xsize - a, y};
  gtext(&at, text.c_str());
  return 0;
}

/* ------------------------------------------------------------------------ */
/* The stand-alone plot                                                     */
/* ------------------------------------------------------------------------ */

int VECT_plot_grid(GRD_report* ugrid, GRD_report* vgrid, Domain* domain, Event call) {
  state.ugrd_ptr = ugrid;
  state.vgrd_ptr = vgrid;
  state.callback = call;
  if (FLAG_get(FLAG_PLOT_TYPE) == VECT_NONE) return 0;
  return VECT_plot(domain);
}

int VECT_plot(Domain* domain) {
  if (FLAG_get(FLAG_PLOT_TYPE) == VECT_NONE || !domain) return 0;
  GRD_report* ug = state.ugrd_ptr;
  GRD_report* vg = state.vgrd_ptr;
  const bool opened_here = !gchk_graphics();
  if (opened_here) {
    if (PLT_open(DOM_aspect(domain)) != 0) return 0;
    PLT_set_callback(state.callback);
    PLT_set_zoom_func(VECT_plot);
    PLT_set_resize_func(VECT_plot);
  } else {
    PLT_reset(DOM_aspect(domain));
  }
  float* gx = nullptr;
  float* gy = nullptr;
  if (ug && !DOM_comp(domain, &ug->domain)) {
    MESS_print(M_mess, "Computing plot domain...\n");
    if (GRD_proj_XY(ug, domain, &gx, &gy) == 0) VECT_grid(gx, gy);
  }
  MAP_domain(domain);
  /* The map's plot coordinates on the plot viewport (transformation 2). */
  MAP_limits lim{};
  MAP_get_limits(&lim);
  Glim view{};
  PLT_get_view(&view);
  const Glim win{lim.x_min, lim.x_max, lim.y_min, lim.y_max};
  gset_vp(2, &view);
  gset_win(2, &win);
  gsel_norm_tran(2);
  VECT_plot_setup(0, 0, ug, vg, domain, state.callback);
  VECT_draw(ug, vg);
  gsel_norm_tran(1);
  if (FLAG_get(FLAG_PLOT_TYPE) != VECT_STREAM && state.plt_vect) VECT_draw_vect();
  PLT_labels();
  MAP_domain(domain);
  PLT_dump(0);
  if (opened_here) PLT_close();
  VECT_grid(nullptr, nullptr);
  std::free(gx);
  std::free(gy);
  return 0;
}
