/*
 * raw_plt: drawing one station datum, and the plot-format items.
 *
 * Every station-value plot goes through here: a plot is prepared once
 * (RAW_plot_init builds the plot's attributes from "plot_param",
 * "plot_format" and the contour-colour resources), then RAW_plot_data draws
 * each datum as its type and its own format items say. The attributes of a
 * datum are rebuilt from the plot's for every datum, so nothing one datum
 * asks for reaches the next. Sizes are fractions of the plot window's
 * height times the scale, so a plot looks alike on every domain.
 *
 * Formats of values come from resources, variable options and files, so
 * they reach printf only through the checked user formatter: one floating
 * conversion for values, one integer conversion for the integer type;
 * anything else falls back to the default format. Texts are cut to the
 * room of their fields. A datum the contour colour scale does not cover is
 * drawn in the plot's own colour.
 *
 * The contour settings live a layer above; their calls come through the
 * hook record RAW_contour_ops (registered in src/hooks.cpp).
 */
#include "kezraw.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr float MISS = KEZ_FMISS;
constexpr int PART_DATA = 7; /* plot-part switch of station data */
constexpr int PART_ALL = 12; /* plot-part switch of all station plotting */
constexpr float TEXT_HEIGHT = 0.018f;
constexpr float CLOUD_RADIUS = 0.01f;
constexpr float BARB_LENGTH = 0.05f;
constexpr float CALM_RADIUS = 0.003f;
constexpr float CALM_CLOUD_RADIUS = 0.013f;
constexpr float CALM_DOT_RADIUS = 0.006f;
constexpr float SYMBOL_SIZE = 0.03f;
constexpr float KNOT_KM = 1.852f;
constexpr const char* DEFAULT_FLOAT = "%1.0f";
constexpr const char* DEFAULT_INT = "%d";

RAW_attribs defaults() {
  RAW_attribs a{};
  RAW_init_attrib(&a);
  return a;
}

struct {
  RAW_attribs base = defaults();             /* the plot's attributes */
  RAW_attribs cur = defaults();              /* the attributes of the datum being drawn */
  Gpt pts[2] = {{MISS, MISS}, {MISS, MISS}}; /* last two distinct stations, newest first */
  int post_line = 0;                         /* a line to the next station is wanted */
} state;

constinit struct { RAW_contour_ops ops{}; /* null members: no contour layer */ } hooks;

/* ---- the contour calls, answering "nothing set" without the layer ---- */

int cont_get_type() { return hooks.ops.get_type ? hooks.ops.get_type() : KEZ_MISS; }
int cont_get_values() { return hooks.ops.get_values ? hooks.ops.get_values(nullptr) : 0; }
bool cont_fill_attrib(float v, Gattribs* a) {
  if (!hooks.ops.get_fill_attrib) return false;
  hooks.ops.get_fill_attrib(v, a);
  return true;
}

/* ---- text helpers ---- */

void put(char* dst, size_t room, std::string_view s) {
  const size_t n = s.size() < room - 1 ? s.size() : room - 1;
  if (n > 0) std::memcpy(dst, s.data(), n);
  dst[n] = '\0';
}

bool iequal(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

bool iprefix(std::string_view s, std::string_view p) {
  return s.size() >= p.size() && iequal(s.substr(0, p.size()), p);
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

std::vector<std::string_view> split(std::string_view s, char delim) {
  std::vector<std::string_view> items;
  while (true) {
    const size_t k = s.find(delim);
    items.push_back(trim(s.substr(0, k)));
    if (k == std::string_view::npos) break;
    s.remove_prefix(k + 1);
  }
  return items;
}

/* A whole text that is a finite number. */
bool to_float(std::string_view s, float* out) {
  const std::string t(trim(s));
  if (t.empty()) return false;
  char* end = nullptr;
  const float v = std::strtof(t.c_str(), &end);
  if (*end != '\0' || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

/* A number held in an int: truncated, and kept within the int's range. */
bool to_int(std::string_view s, int* out) {
  float v;
  if (!to_float(s, &v)) return false;
  if (v >= static_cast<float>(INT_MAX) || v <= static_cast<float>(INT_MIN)) return false;
  *out = static_cast<int>(v);
  return true;
}

/* ---- position codes ---- */

struct Position {
  const char* code;
  float x, y;
  int hor;
};

constexpr Position positions[] = {
    {"ul", -0.012f, 0.02f, GRIGHT_HOR},   {"uc", 0, 0.02f, GCENTER_HOR},   {"ur", 0.012f, 0.02f, GLEFT_HOR},
    {"tl", -0.012f, 0.012f, GRIGHT_HOR},  {"tc", 0, 0.012f, GCENTER_HOR},  {"tr", 0.012f, 0.012f, GLEFT_HOR},
    {"cl", -0.012f, 0, GRIGHT_HOR},       {"cc", 0, 0, GCENTER_HOR},       {"cr", 0.012f, 0, GLEFT_HOR},
    {"bl", -0.012f, -0.012f, GRIGHT_HOR}, {"bc", 0, -0.012f, GCENTER_HOR}, {"br", 0.012f, -0.012f, GLEFT_HOR},
    {"ll", -0.012f, -0.02f, GRIGHT_HOR},  {"lc", 0, -0.02f, GCENTER_HOR},  {"lr", 0.012f, -0.02f, GLEFT_HOR},
};

/* In "plot_param" the centre-line sides stand a little further out. */
constexpr float PARAM_SIDE = 0.015f;

const Position* position(std::string_view item) {
  for (const Position& p : positions)
    if (iequal(item, p.code)) return &p;
  return nullptr;
}

/* ---- markers ---- */

struct MarkName {
  const char* name;
  int marker;
};

/* Names of "mk=" items, tested in this order, each by its own length. */
constexpr MarkName format_marks[] = {{"dot", 8}, {"pnt", 1}, {"plus", 2},   {"star", 3}, {"crcl", 4}, {"circle", 4},
                                     {"x", 5},   {"sqr", 6}, {"square", 6}, {"tri", 7},  {"itri", 9}};

/* Names of marker data (type 4), likewise. */
constexpr MarkName data_marks[] = {{"dot", 8},    {"pnt", 1},  {".", 1},      {"plus", 2}, {"+", 2},    {"star", 3},
                                   {"*", 3},      {"crcl", 4}, {"circle", 4}, {"o", 4},    {"x", 5},    {"sqr", 6},
                                   {"square", 6}, {"#", 6},    {"tri", 7},    {"^", 7},    {"itri", 9}, {"v", 9}};

template <size_t N>
int marker_of(std::string_view s, const MarkName (&table)[N]) {
  for (const MarkName& m : table)
    if (iprefix(s, m.name)) return m.marker;
  int n = 0;
  return to_int(s, &n) ? n : 0;
}

/* ---- values as text ---- */

/* A value through a user's format: "%1.0f" when none; a "%z" format drops
 * the leading zero (0.5 gives .5, -0.5 gives -.5). A format that is not
 * one floating conversion is reported under caller's name and the default
 * is used. */
std::string value_text(const char* caller, const char* format, float value) {
  if (!format[0]) return FMT_print_float(caller, DEFAULT_FLOAT, DEFAULT_FLOAT, value);
  if (format[0] == '%' && (format[1] == 'z' || format[1] == 'Z')) {
    const std::string plain = std::string("%") + (format + 2);
    std::string s = FMT_print_float(caller, plain.c_str(), DEFAULT_FLOAT, value);
    const size_t k = s.find_first_not_of(' ');
    if (k != std::string::npos) {
      if (s.compare(k, 2, "0.") == 0)
        s.erase(k, 1);
      else if (s.compare(k, 3, "-0.") == 0)
        s.erase(k + 1, 1);
    }
    return s;
  }
  return FMT_print_float(caller, format, DEFAULT_FLOAT, value);
}

/* The integer whose bits value[0] holds. */
int int_bits(float v) {
  int i;
  static_assert(sizeof i == sizeof v);
  std::memcpy(&i, &v, sizeof i);
  return i;
}

std::string int_text(const char* caller, const char* format, int value) {
  return FMT_print_int(caller, format[0] ? format : DEFAULT_INT, DEFAULT_INT, value);
}

bool wind_type(int t) {
  return t == VAR_TYPE_VECT || t == VAR_TYPE_BARB || t == VAR_TYPE_STRM || t == VAR_TYPE_WBARB || t == VAR_TYPE_CBARB ||
         t == VAR_TYPE_DBARB || t == VAR_TYPE_VBARB;
}

/* The value a datum is coloured and cut off by; the integer type's bits
 * are read as the integer they are. */
float datum_value(const RAW_data* d) {
  if (d->type == VAR_TYPE_INT) return d->value[0] == MISS ? MISS : static_cast<float>(int_bits(d->value[0]));
  return d->value[0];
}

/* ---- drawing ---- */

void draw_pts() {
  const Gpt* p = state.pts;
  if (p[0].x == MISS || p[0].y == MISS || p[1].x == MISS || p[1].y == MISS) return;
  gpolyline(2, p);
}

void text_at(float x, float y, std::string_view s) {
  if (s.empty()) return;
  GPH_printf(x, y, "%.*s", static_cast<int>(s.size()), s.data());
}

void given_over(Gattribs* to, const Gattribs& from, bool keep_colour) {
  const int colour = to->color;
  ATTRIB_update(to, &from);
  if (keep_colour && from.color < 0) to->color = colour;
}

void draw_by_type(RAW_data* d, float px, float py, float s) {
  const float dir = d->value[0], spd = d->value[1];
  const bool calm = spd == 0;
  switch (d->type) {
    case VAR_TYPE_DATA:
    case VAR_TYPE_TEXT: text_at(px, py, d->data); break;
    case VAR_TYPE_VALUE:
      if (d->value[0] != MISS)
        text_at(px, py, value_text("RAW_plot_data", state.cur.format, d->value[0]));
      else
        text_at(px, py, d->data);
      break;
    case VAR_TYPE_INT: text_at(px, py, int_text("RAW_plot_data", state.cur.format, int_bits(d->value[0]))); break;
    case VAR_TYPE_MARK:
      gset_marker_type(marker_of(d->data, data_marks));
      GPH_mark(px, py);
      break;
    case VAR_TYPE_CLOUD: WX_cloud(px, py, CLOUD_RADIUS * s, d->data[0]); break;
    case VAR_TYPE_WBARB:
      if (calm)
        WX_cloud(px, py, CALM_RADIUS * s, '0');
      else if (dir >= 0)
        WIND_barb_map(px, py, dir, spd, BARB_LENGTH * s, 0);
      break;
    case VAR_TYPE_CBARB:
      if (calm)
        WX_cloud(px, py, CALM_CLOUD_RADIUS * s, '0');
      else if (dir >= 0)
        WIND_barb_map(px, py, dir, spd, BARB_LENGTH * s, CLOUD_RADIUS * s);
      break;
    case VAR_TYPE_DBARB:
      WX_cloud(px, py, CALM_RADIUS * s, '0');
      if (calm)
        WX_cloud(px, py, CALM_DOT_RADIUS * s, '0');
      else if (dir >= 0)
        WIND_barb_map(px, py, dir, spd, BARB_LENGTH * s, CALM_RADIUS * s);
      break;
    case VAR_TYPE_VBARB:
      if (spd > 0) WIND_vect_map(px, py, dir, spd * KNOT_KM / 100, state.cur.scale, 1);
      break;
    case VAR_TYPE_STRM:
      if (spd > 0) {
        const float f = MAP_factor(MAP_get_clat(), MAP_get_clon());
        WIND_track(px, py, dir, f * spd * KNOT_KM * 2 / 100, 0.1f * s, 4, 0);
      }
      break;
    case VAR_TYPE_SYMB: WX_symb(px, py, d->data, SYMBOL_SIZE * s); break;
    case VAR_TYPE_LINE:
      if (iequal(d->data, "pre")) {
        draw_pts();
      } else if (iequal(d->data, "post")) {
        state.post_line = 1;
      } else {
        state.pts[0] = Gpt{d->x, d->y};
        if (d->value[0] != MISS && d->value[1] != MISS)
          MAP_tran(d->value[0], d->value[1], &state.pts[1].x, &state.pts[1].y);
        draw_pts();
      }
      break;
    default: break;
  }
}

} // namespace

int RAW_set_contour_ops(const RAW_contour_ops* ops) {
  hooks.ops = ops ? *ops : RAW_contour_ops{};
  return 0;
}

int RAW_init_attrib(RAW_attribs* attr) {
  if (!attr) return -1;
  *attr = RAW_attribs{};
  ATTRIB_init(&attr->attrib);
  attr->intrvl = MISS;
  attr->scale = 1;
  attr->base = 0;
  attr->min = MISS;
  attr->max = MISS;
  attr->type = 1;
  attr->bar = KEZ_MISS;
  attr->marker = 0;
  attr->hor = GCENTER_HOR;
  attr->vert = GHALF_VERT;
  attr->x = 0;
  attr->y = 0;
  attr->line = 0;
  attr->skip = 1;
  return 0;
}

int RAW_plot_param() {
  const char* param = RES_get("plot_param");
  if (!param) return 0;
  RAW_attribs& b = state.base;
  for (std::string_view item : split(param, ',')) {
    /* The value of "skip", "text" and "mark" stands after a separator. */
    const std::string_view rest = item.size() > 5 ? item.substr(5) : std::string_view{};
    int n = 0;
    if (iprefix(item, "skip")) {
      if (to_int(rest, &n)) b.skip = n;
    } else if (iprefix(item, "text")) {
      put(b.text, sizeof b.text, rest);
    } else if (iprefix(item, "mark")) {
      if (iequal(rest, "cld")) {
        b.marker = RAW_MARK_CLOUD;
      } else if (!rest.empty()) {
        const int m = ATTR_parse_marker(std::string(rest).c_str());
        if (m != KEZ_MISS) b.marker = m;
      }
    } else if (iequal(item, "line")) {
      b.line = 1;
    } else if (iprefix(item, "yba")) {
      b.bar = 0;
      if (item.size() > 4 && to_int(item.substr(4), &n)) b.bar = n;
    } else if (iprefix(item, "xy=")) {
      const auto xy = split(item.substr(3), ':');
      float fx, fy;
      if (xy.size() == 2 && to_float(xy[0], &fx) && to_float(xy[1], &fy)) {
        b.x = 0.012f * fx;
        b.y = 0.02f * fy;
      }
    } else if (const Position* p = position(item)) {
      b.x = iequal(item, "cl") ? -PARAM_SIDE : iequal(item, "cr") ? PARAM_SIDE : p->x;
      b.y = p->y;
    }
  }
  return 0;
}

int RAW_parse_format(RAW_attribs* attr, const char* fmt) {
  if (!attr || !fmt || !*fmt) return 0;
  int result = 0;
  for (std::string_view item : split(fmt, ':')) {
    if (item.empty()) continue;
    const std::string whole(item);
    const std::string_view val = item.size() > 3 ? item.substr(3) : std::string_view{};
    float f = 0;
    int t = 0;
    if (item[0] == '%') {
      put(attr->format, sizeof attr->format, item);
      result = VAR_TYPE_VALUE;
    } else if ((t = VAR_dec_type(whole.c_str())) >= 0) {
      result = t;
    } else if (const Position* p = position(item)) {
      attr->x = p->x;
      attr->y = p->y;
      attr->hor = p->hor;
      attr->vert = GHALF_VERT;
    } else if (iprefix(item, "xy=")) {
      std::vector<std::string_view> xy;
      for (std::string_view w : split(val, ' '))
        if (!w.empty()) xy.push_back(w);
      float fx, fy;
      if (xy.size() == 2 && to_float(xy[0], &fx) && to_float(xy[1], &fy)) {
        attr->x = 0.012f * fx;
        attr->y = 0.02f * fy;
        attr->vert = GHALF_VERT;
        attr->hor = attr->x < 0 ? GRIGHT_HOR : attr->x == 0 ? GCENTER_HOR : GLEFT_HOR;
      }
    } else if (iprefix(item, "rs=")) {
      const std::string name(val);
      if (!name.empty() && RES_get(name.c_str())) ATTRIB_get(name.c_str(), "green", &attr->attrib);
    } else if (iprefix(item, "co=")) {
      attr->attrib.color = CLR_get_ind(std::string(val).c_str());
    } else if (iprefix(item, "fm=")) {
      put(attr->format, sizeof attr->format, val);
      result = VAR_TYPE_VALUE;
    } else if (iprefix(item, "hi=")) {
      if (to_float(val, &f)) attr->attrib.height = f;
    } else if (iprefix(item, "sc=")) {
      if (to_float(val, &f)) attr->scale = (f < 0.01f || f > 1000) ? 1 : f;
    } else if (iprefix(item, "wi=")) {
      if (to_float(val, &f)) attr->attrib.width = f;
    } else if (iprefix(item, "fo=")) {
      attr->attrib.font = gget_font_index(std::string(val).c_str());
    } else if (iprefix(item, "te=")) {
      if (to_float(val, &f)) attr->attrib.expan = f;
    } else if (iprefix(item, "tx=")) {
      put(attr->text, sizeof attr->text, val);
    } else if (iprefix(item, "ta=")) {
      const char h = val.size() > 0 ? static_cast<char>(std::tolower(static_cast<unsigned char>(val[0]))) : ' ';
      const char v = val.size() > 1 ? static_cast<char>(std::tolower(static_cast<unsigned char>(val[1]))) : ' ';
      attr->hor = h == 'l' ? GLEFT_HOR : h == 'r' ? GRIGHT_HOR : GCENTER_HOR;
      attr->vert = v == 't'   ? GTOP_VERT
                   : v == 'c' ? GCAP_VERT
                   : v == 's' ? GBASE_VERT
                   : v == 'b' ? GBOTTOM_VERT
                              : GHALF_VERT;
    } else if (iprefix(item, "mk=")) {
      attr->marker = marker_of(val, format_marks);
    } else if (iprefix(item, "sf=") || iprefix(item, "wf=")) {
      put(attr->symbol, sizeof attr->symbol, val);
    } else if (iprefix(item, "mn=")) {
      if (to_float(val, &f)) attr->min = f;
    } else if (iprefix(item, "mx=")) {
      if (to_float(val, &f)) attr->max = f;
    } else if (iprefix(item, "sk=")) {
      if (to_int(val, &t)) attr->skip = t;
    }
  }
  return result;
}

int RAW_set_attribs(const RAW_attribs* attr) {
  if (!attr) return -1;
  Gattribs a = attr->attrib;
  if (a.color == KEZ_MISS) ATTRIB_get("color_data", "green", &a);
  const float h = MAP_get_vert();
  GPH_text_attr(nullptr, 1);
  GPH_text_attr(&a, TEXT_HEIGHT * h * attr->scale);
  GPH_text_align(attr->hor, attr->vert);
  GPH_line_attr(nullptr);
  GPH_line_attr(&a);
  GPH_mark_attr(nullptr, 1);
  GPH_mark_attr(&a, attr->scale);
  GPH_fill_attr(nullptr);
  GPH_fill_attr(&a);
  if (attr->symbol[0]) WX_symb_file(attr->symbol);
  return 0;
}

int RAW_plot_init(const Gattribs* attrib, float sc) {
  if (!FLAG_getplot(PART_ALL) || FLAG_get(FLAG_PLOT_TYPE) == VAR_TYPE_NONE) return -1;
  RAW_attribs& b = state.base;
  RAW_init_attrib(&b);
  b.scale = std::isfinite(sc) && sc > 0 ? sc : 1;
  if (attrib) b.attrib = *attrib;
  RAW_plot_param();

  GPH_text_attr(nullptr, 1);
  GPH_line_attr(nullptr);
  GPH_mark_attr(nullptr, 1);
  GPH_fill_attr(nullptr);
  GPH_trans(2);

  if (hooks.ops.init) hooks.ops.init();
  if (hooks.ops.set_fill_colors) hooks.ops.set_fill_colors(nullptr, 0);
  if (cont_get_type() == KEZ_MISS && hooks.ops.set_type) hooks.ops.set_type(VAR_TYPE_FCONT);

  if (const char* pf = RES_get("plot_format")) {
    const int t = RAW_parse_format(&b, pf);
    if (t != 0) b.type = t;
  }
  if (const char* cb = RES_get("con_base")) {
    for (std::string_view item : split(cb, ',')) {
      float v;
      if (!item.empty() && item[0] == '>') {
        if (to_float(item.substr(1), &v)) b.min = b.base = v;
      } else if (!item.empty() && item[0] == '<') {
        if (to_float(item.substr(1), &v)) b.max = v;
      } else if (to_float(item, &v)) {
        b.base = v;
      }
    }
    if (hooks.ops.set_base) hooks.ops.set_base(b.base);
    if (hooks.ops.set_cutoff) hooks.ops.set_cutoff(b.max, b.min);
  }
  float iv;
  if (const char* ci = RES_get("con_interval"); ci && to_float(ci, &iv)) {
    b.intrvl = iv;
    if (hooks.ops.set_intrvl) hooks.ops.set_intrvl(iv);
  }
  RAW_set_attribs(&b);
  b.hor = b.x < 0 ? GRIGHT_HOR : b.x > 0 ? GLEFT_HOR : GCENTER_HOR;
  GPH_text_align(b.hor, b.vert);
  return 0;
}

int RAW_plot_data(RAW_data* data) {
  if (!data) return -1;
  if (!FLAG_getplot(PART_DATA) || FLAG_get(FLAG_PLOT_TYPE) == VAR_TYPE_NONE) return -1;
  RAW_attribs& cur = state.cur;
  cur = state.base;
  if (data->x != state.pts[0].x || data->y != state.pts[0].y) {
    state.pts[1] = state.pts[0];
    state.pts[0] = Gpt{data->x, data->y};
  }
  if (state.post_line) {
    draw_pts();
    state.post_line = 0;
  }
  ATTRIB_update(&cur.attrib, &data->attr);

  if (cont_get_values() > 0 || cur.intrvl != MISS) {
    Gattribs band;
    ATTRIB_init(&band);
    const float v = wind_type(data->type) ? data->value[1] : datum_value(data);
    if (cont_fill_attrib(v, &band)) given_over(&cur.attrib, band, true);
  }
  const float v0 = datum_value(data);
  if (v0 != MISS) {
    if (cur.min != MISS && v0 < cur.min) return -1;
    if (cur.max != MISS && v0 > cur.max) return -1;
  }
  data->format[RAW_FORMAT_LEN - 1] = '\0';
  data->data[RAW_DATA_LEN - 1] = '\0';
  const int t = RAW_parse_format(&cur, data->format);
  if (t != 0) data->type = t;

  RAW_set_attribs(&cur);
  const float s = MAP_get_vert() * cur.scale;
  const float px = data->x + cur.x * s;
  const float py = data->y + cur.y * s;
  MESS_print(M_debug_b, "PLOT: %8.3f %8.3f %-5s %-10s %-10s %8.3f\n", static_cast<double>(data->x),
             static_cast<double>(data->y), VAR_print_type(data->type), cur.format, data->data,
             static_cast<double>(data->value[0]));

  if (cur.text[0]) {
    text_at(px, py, cur.text);
  } else if (cur.marker != 0 && (data->data[0] || data->value[0] != MISS)) {
    if (cur.marker == RAW_MARK_CLOUD) {
      WX_cloud(px, py, CLOUD_RADIUS * s, '0');
    } else {
      gset_marker_type(cur.marker);
      GPH_mark(px, py);
    }
  } else if (cur.line) {
    draw_pts();
  } else if (cur.bar != KEZ_MISS) {
    state.pts[0] = Gpt{px, py};
    state.pts[1] = Gpt{px, static_cast<float>(cur.bar)};
    draw_pts();
  } else {
    draw_by_type(data, px, py, s);
  }
  return 0;
}

int RAW_data_to_string(char* str, const RAW_data* data) {
  if (!str || !data) return -1;
  const RAW_attribs& cur = state.cur;
  std::string out;
  const float v0 = data->value[0];
  switch (data->type) {
    case VAR_TYPE_DATA:
      out = (data->data[0] || v0 == MISS) ? std::string(data->data) : value_text("RAW_data_to_string", cur.format, v0);
      break;
    case VAR_TYPE_TEXT:
    case VAR_TYPE_MARK:
    case VAR_TYPE_CLOUD:
    case VAR_TYPE_SYMB: out = data->data; break;
    case VAR_TYPE_VALUE:
      if (v0 == MISS) return 0;
      out = value_text("RAW_data_to_string", cur.format, v0);
      break;
    case VAR_TYPE_INT: out = int_text("RAW_data_to_string", cur.format, int_bits(v0)); break;
    case VAR_TYPE_VECT:
    case VAR_TYPE_BARB:
    case VAR_TYPE_WBARB:
    case VAR_TYPE_CBARB:
    case VAR_TYPE_DBARB:
    case VAR_TYPE_VBARB: {
      char buf[RAW_STRING_LEN];
      std::snprintf(buf, sizeof buf, "%1.0f-%1.0f", static_cast<double>(v0), static_cast<double>(data->value[1]));
      out = buf;
      break;
    }
    default: return 0;
  }
  put(str, RAW_STRING_LEN, out);
  return 0;
}

int RAW_set_marker(int mark) {
  state.base.marker = mark;
  return 0;
}

int RAW_set_intrvl(float value) {
  state.base.intrvl = value;
  return 0;
}

float RAW_get_intrvl() { return state.base.intrvl; }

int RAW_set_range(float mx, float mn) {
  state.base.max = mx;
  state.base.min = mn;
  return 0;
}

int RAW_get_range(float* mx, float* mn) {
  if (mx) *mx = state.base.max;
  if (mn) *mn = state.base.min;
  return 0;
}

int RAW_set_attr(const Gattribs* attr) {
  if (attr) ATTRIB_update(&state.cur.attrib, attr);
  return 0;
}

int RAW_set_scale(float val) {
  state.cur.scale = val;
  return 0;
}

float RAW_get_scale() { return state.cur.scale; }

int RAW_set_off(float xoff, float yoff) {
  state.cur.x = xoff;
  state.cur.y = yoff;
  return 0;
}

int RAW_set_format(const char* str) {
  put(state.cur.format, sizeof state.cur.format, str ? str : "");
  return 0;
}

char* RAW_get_format() { return state.cur.format; }

RAW_data* RAW_set(RAW_data* raw, float x, float y, int type, const char* format, const char* data, const float* value) {
  if (!raw) return nullptr;
  RAW_data_init(raw);
  raw->x = x;
  raw->y = y;
  raw->type = type;
  put(raw->format, sizeof raw->format, format ? format : "");
  put(raw->data, sizeof raw->data, data ? data : "");
  if (value) {
    raw->value[0] = value[0];
    raw->value[1] = value[1];
  }
  return raw;
}

int RAW_print(int lev, const RAW_data* data) {
  if (!data) return -1;
  const auto l = static_cast<M_type>(lev);
  MESS_print(l, "Location: %f %f\n", static_cast<double>(data->x), static_cast<double>(data->y));
  MESS_print(l, "Type: %d\n", data->type);
  MESS_print(l, "Format: %.*s\n", RAW_FORMAT_LEN - 1, data->format);
  MESS_print(l, "Data: %.*s\n", RAW_DATA_LEN - 1, data->data);
  MESS_print(l, "Value: %f\n", static_cast<double>(data->value[0]));
  return 0;
}

RAW_attribs RAW_get_base() { return state.base; }

int RAW_reset_line() {
  state.pts[0] = Gpt{MISS, MISS};
  return 0;
}
