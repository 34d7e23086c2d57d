/*
 * raw_plt: drawing one station datum, and the plot-format items.
 *
 * Every station-value plot goes through here: a plot is prepared once
 * (RAW_plot_init builds the plot's attributes from "plot_param",
 * "plot_format" and the contour-colour resources), then RAW_plot_data draws
 * each datum as its type and its own format items say. The attributes of a
 * datum are rebuilt from the plot's for every datum, so nothing one datum
 * asks for reaches the next; the items of a format are parsed once and
 * kept by the format's text. Sizes are fractions of the plot window's
 * height times the scale, so a plot looks alike on every domain.
 *
 * Formats of values come from resources, variable options and files, so
 * they reach printf only through the checked user formatter: one floating
 * conversion for values, one integer conversion for the integer type;
 * anything else falls back to the default format. Texts are cut to the
 * room of their fields. A datum the contour colour scale does not cover is
 * drawn in the plot's own colour.
 *
 */
#include "kezraw.h"

#include "kezcont.h"
#include "kezcty.h"
#include "kezgrd.h"

#include <array>
#include <bit>
#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
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

/* The items whose values are looked up again for every datum. */
enum class Lookup { none, resource, colour, font };

/* A run of pure items as the fields they set and their values, or one
 * item that is not pure, kept as what it looks up and the name it looks
 * up. */
struct FormatStep {
  unsigned fields = 0;
  RAW_attribs values{};
  Lookup lookup = Lookup::none; /* none: a run of pure items */
  std::string name;
};

/* A plot format parsed once: every datum of a station plot carries one of
 * a few formats, and its items were read again for each datum. */
struct ParsedFormat {
  bool used = false;
  std::string text;
  std::vector<FormatStep> steps;
  int result = 0;       /* the plot type the last typed item asks for; 0 none */
  std::size_t then = 0; /* the slot of the format asked for after this one last time */
};

/* Parsed formats by the hash of their text: the memory stays bounded, and
 * a plot of very many formats parses some of them again. */
constexpr std::size_t FORMAT_SLOTS = 64;
constexpr std::size_t FORMAT_WAYS = 4;

struct State {
  RAW_attribs base = defaults();             /* the plot's attributes */
  RAW_attribs cur = defaults();              /* the attributes of the datum being drawn */
  Gpt pts[2] = {{MISS, MISS}, {MISS, MISS}}; /* last two distinct stations, newest first */
  int post_line = 0;                         /* a line to the next station is wanted */
  /* Raw files on plots: the header of the file last opened, and the grid
   * file last written by gridding (for the save key). */
  RAW_info info{};
  GRD_info grid_info{};
  std::string grid_file;
  int grid_type = 0;
  /* Whether each of the file plotter and the gridder loaded the station
   * table, and for which domain. */
  struct TableUse {
    int flag = 0; /* 0 not loaded, 1 asked for by the resources, 2 on demand */
    Domain dom{};
  } plot_table, grid_table;
  std::array<ParsedFormat, FORMAT_SLOTS> formats; /* see parsed_format */
  std::size_t format_victim = 0;                  /* the slot a new format takes next */
  std::size_t format_last = 0;                    /* the slot of the format asked for last */
  /* The value last written in the default format and its text: a datum's
   * value is written for its station's text and again for its label. */
  struct DefaultText {
    bool held = false;
    std::uint32_t bits = 0; /* the value's bits: -0 and 0 write apart */
    std::string text;
  } default_text;
} state;

/* ---- text helpers ---- */

void put(char* dst, size_t room, std::string_view s) {
  const size_t n = s.size() < room - 1 ? s.size() : room - 1;
  if (n > 0) std::memcpy(dst, s.data(), n);
  dst[n] = '\0';
}

bool iequal(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
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

/* The trimmed pieces of a text between delimiters, one at a time, as
 * split gives them but without a vector: every datum's format is read so. */
class Pieces {
 public:
  Pieces(std::string_view s, char delim) : rest_(s), delim_(delim) {}
  bool next(std::string_view* piece) {
    if (done_) return false;
    const size_t k = rest_.find(delim_);
    *piece = trim(rest_.substr(0, k));
    if (k == std::string_view::npos)
      done_ = true;
    else
      rest_.remove_prefix(k + 1);
    return true;
  }

 private:
  std::string_view rest_;
  char delim_;
  bool done_ = false;
};

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
  std::string_view code;
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

/* A value as "%1.0f" writes it, into out; a finite one without printf,
 * as every station's wind is written so. The length. */
constexpr std::size_t WHOLE_ROOM = 64; /* a float's widest whole part, 39 digits, and its sign */
std::size_t whole_chars(float v, char (&out)[WHOLE_ROOM]) {
  if (const std::size_t n = FMT_fixed(static_cast<double>(v), 0, out, sizeof out); n > 0) return n;
  const int n = std::snprintf(out, sizeof out, "%1.0f", static_cast<double>(v));
  return n > 0 ? std::min(static_cast<std::size_t>(n), sizeof out - 1) : 0;
}

/* A value through a user's format: "%1.0f" when none; a "%z" format drops
 * the leading zero (0.5 gives .5, -0.5 gives -.5). A format that is not
 * one floating conversion is reported under caller's name and the default
 * is used. */
std::string value_text(const char* caller, const char* format, float value) {
  if (!format[0]) {
    /* The default format is always accepted, so no caller's warning is
     * lost when its text is taken again. */
    State::DefaultText& d = state.default_text;
    const auto bits = std::bit_cast<std::uint32_t>(value);
    if (!d.held || d.bits != bits) {
      char whole[WHOLE_ROOM];
      d.text.assign(whole, whole_chars(value, whole));
      d.bits = bits;
      d.held = true;
    }
    return d.text;
  }
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

/* The most characters a label draws, as GPH_printf cuts its text. */
constexpr std::size_t LABEL_MAX = 99;

/* The text up to its first NUL and LABEL_MAX characters, drawn as it
 * stands: labels are drawn by the thousand, and a printf of "%.*s" did no
 * more than this. */
void text_at(float x, float y, std::string_view s) {
  s = s.substr(0, std::min(s.find('\0'), LABEL_MAX));
  if (s.empty()) return;
  const std::string text(s);
  const Gpt at{x, y};
  GPH_pprint(&at, text.c_str());
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

/* ---- format items ---- */

/* The fields of RAW_attribs that the pure format items set. */
enum FormatField : unsigned {
  F_FORMAT = 1u << 0,
  F_X = 1u << 1,
  F_Y = 1u << 2,
  F_HOR = 1u << 3,
  F_VERT = 1u << 4,
  F_HEIGHT = 1u << 5,
  F_SCALE = 1u << 6,
  F_WIDTH = 1u << 7,
  F_EXPAN = 1u << 8,
  F_TEXT = 1u << 9,
  F_MARKER = 1u << 10,
  F_SYMBOL = 1u << 11,
  F_MIN = 1u << 12,
  F_MAX = 1u << 13,
  F_SKIP = 1u << 14,
};

/* What one item did: the fields it set, and the plot type it asks for. */
struct ItemEffect {
  unsigned fields = 0;
  bool typed = false; /* the item names a plot type */
  int type = 0;
};

/* The items "rs=" (a resource), "co=" (the colour table, which a colour
 * written as "#rrggbb" extends) and "fo=" (the font list) read state
 * beyond their text; every other item sets its fields from its text
 * alone. */
Lookup lookup_of(std::string_view item) {
  if (item[0] == '%') return Lookup::none;
  if (iprefix(item, "rs=")) return Lookup::resource;
  if (iprefix(item, "co=")) return Lookup::colour;
  if (iprefix(item, "fo=")) return Lookup::font;
  return Lookup::none;
}

/* What one of those items does, with the name after its "xx=". */
void look_up(RAW_attribs* attr, Lookup lookup, const std::string& name) {
  switch (lookup) {
    case Lookup::resource:
      if (!name.empty() && RES_get(name.c_str())) ATTRIB_get(name.c_str(), "green", &attr->attrib);
      break;
    case Lookup::colour: attr->attrib.color = CLR_get_ind(name.c_str()); break;
    case Lookup::font: attr->attrib.font = gget_font_index(name.c_str()); break;
    case Lookup::none: break;
  }
}

/* One item of a plot format, applied to attr. */
ItemEffect apply_item(RAW_attribs* attr, std::string_view item) {
  ItemEffect e;
  const std::string_view val = item.size() > 3 ? item.substr(3) : std::string_view{};
  float f = 0;
  int t = 0;
  if (item[0] == '%') {
    put(attr->format, sizeof attr->format, item);
    e.fields = F_FORMAT;
    e.typed = true;
    e.type = VAR_TYPE_VALUE;
  } else if ((t = VAR_dec_type(std::string(item).c_str())) >= 0) {
    e.typed = true;
    e.type = t;
  } else if (const Position* p = position(item)) {
    attr->x = p->x;
    attr->y = p->y;
    attr->hor = p->hor;
    attr->vert = GHALF_VERT;
    e.fields = F_X | F_Y | F_HOR | F_VERT;
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
      e.fields = F_X | F_Y | F_HOR | F_VERT;
    }
  } else if (iprefix(item, "rs=")) {
    look_up(attr, Lookup::resource, std::string(val));
  } else if (iprefix(item, "co=")) {
    look_up(attr, Lookup::colour, std::string(val));
  } else if (iprefix(item, "fm=")) {
    put(attr->format, sizeof attr->format, val);
    e.fields = F_FORMAT;
    e.typed = true;
    e.type = VAR_TYPE_VALUE;
  } else if (iprefix(item, "hi=")) {
    if (to_float(val, &f)) {
      attr->attrib.height = f;
      e.fields = F_HEIGHT;
    }
  } else if (iprefix(item, "sc=")) {
    if (to_float(val, &f)) {
      attr->scale = (f < 0.01f || f > 1000) ? 1 : f;
      e.fields = F_SCALE;
    }
  } else if (iprefix(item, "wi=")) {
    if (to_float(val, &f)) {
      attr->attrib.width = f;
      e.fields = F_WIDTH;
    }
  } else if (iprefix(item, "fo=")) {
    look_up(attr, Lookup::font, std::string(val));
  } else if (iprefix(item, "te=")) {
    if (to_float(val, &f)) {
      attr->attrib.expan = f;
      e.fields = F_EXPAN;
    }
  } else if (iprefix(item, "tx=")) {
    put(attr->text, sizeof attr->text, val);
    e.fields = F_TEXT;
  } else if (iprefix(item, "ta=")) {
    const char h = val.size() > 0 ? static_cast<char>(std::tolower(static_cast<unsigned char>(val[0]))) : ' ';
    const char v = val.size() > 1 ? static_cast<char>(std::tolower(static_cast<unsigned char>(val[1]))) : ' ';
    attr->hor = h == 'l' ? GLEFT_HOR : h == 'r' ? GRIGHT_HOR : GCENTER_HOR;
    attr->vert = v == 't'   ? GTOP_VERT
                 : v == 'c' ? GCAP_VERT
                 : v == 's' ? GBASE_VERT
                 : v == 'b' ? GBOTTOM_VERT
                            : GHALF_VERT;
    e.fields = F_HOR | F_VERT;
  } else if (iprefix(item, "mk=")) {
    attr->marker = marker_of(val, format_marks);
    e.fields = F_MARKER;
  } else if (iprefix(item, "sf=") || iprefix(item, "wf=")) {
    put(attr->symbol, sizeof attr->symbol, val);
    e.fields = F_SYMBOL;
  } else if (iprefix(item, "mn=")) {
    if (to_float(val, &f)) {
      attr->min = f;
      e.fields = F_MIN;
    }
  } else if (iprefix(item, "mx=")) {
    if (to_float(val, &f)) {
      attr->max = f;
      e.fields = F_MAX;
    }
  } else if (iprefix(item, "sk=")) {
    if (to_int(val, &t)) {
      attr->skip = t;
      e.fields = F_SKIP;
    }
  }
  return e;
}

/* Copies the fields named in fields from one set of attributes to another. */
void copy_fields(RAW_attribs* to, const RAW_attribs& from, unsigned fields) {
  if (fields & F_FORMAT) std::memcpy(to->format, from.format, sizeof to->format);
  if (fields & F_X) to->x = from.x;
  if (fields & F_Y) to->y = from.y;
  if (fields & F_HOR) to->hor = from.hor;
  if (fields & F_VERT) to->vert = from.vert;
  if (fields & F_HEIGHT) to->attrib.height = from.attrib.height;
  if (fields & F_SCALE) to->scale = from.scale;
  if (fields & F_WIDTH) to->attrib.width = from.attrib.width;
  if (fields & F_EXPAN) to->attrib.expan = from.attrib.expan;
  if (fields & F_TEXT) std::memcpy(to->text, from.text, sizeof to->text);
  if (fields & F_MARKER) to->marker = from.marker;
  if (fields & F_SYMBOL) std::memcpy(to->symbol, from.symbol, sizeof to->symbol);
  if (fields & F_MIN) to->min = from.min;
  if (fields & F_MAX) to->max = from.max;
  if (fields & F_SKIP) to->skip = from.skip;
}

ParsedFormat parse_format(std::string_view fmt) {
  ParsedFormat parsed;
  parsed.used = true;
  parsed.text = fmt;
  Pieces items(fmt, ':');
  for (std::string_view item; items.next(&item);) {
    if (item.empty()) continue;
    if (const Lookup lookup = lookup_of(item); lookup != Lookup::none) {
      FormatStep own;
      own.lookup = lookup;
      own.name = item.substr(3);
      parsed.steps.push_back(std::move(own));
      continue;
    }
    if (parsed.steps.empty() || parsed.steps.back().lookup != Lookup::none) parsed.steps.emplace_back();
    FormatStep& run = parsed.steps.back();
    const ItemEffect e = apply_item(&run.values, item);
    run.fields |= e.fields;
    if (e.typed) parsed.result = e.type;
  }
  return parsed;
}

/* A format is looked for in the FORMAT_WAYS slots from its hash on; a new
 * one takes a free slot there, else each of them in turn. */
std::size_t format_slot(std::string_view fmt) {
  const std::size_t first = std::hash<std::string_view>{}(fmt) % FORMAT_SLOTS;
  std::size_t free_slot = FORMAT_SLOTS;
  for (std::size_t i = 0; i < FORMAT_WAYS; ++i) {
    const std::size_t k = (first + i) % FORMAT_SLOTS;
    const ParsedFormat& slot = state.formats[k];
    if (!slot.used) {
      if (free_slot == FORMAT_SLOTS) free_slot = k;
    } else if (slot.text == fmt) {
      return k;
    }
  }
  if (free_slot == FORMAT_SLOTS) free_slot = (first + state.format_victim++ % FORMAT_WAYS) % FORMAT_SLOTS;
  state.formats[free_slot] = parse_format(fmt);
  return free_slot;
}

/* The datums of a station plot ask for their formats in the same order at
 * every station: the format that followed the last one last time is
 * compared first, before any hashing. */
const ParsedFormat& parsed_format(std::string_view fmt) {
  ParsedFormat& last = state.formats[state.format_last];
  const ParsedFormat& guess = state.formats[last.then];
  std::size_t k = last.then;
  if (!guess.used || guess.text != fmt) k = format_slot(fmt);
  last.then = k;
  state.format_last = k;
  return state.formats[k];
}

} // namespace

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
  const ParsedFormat& parsed = parsed_format(fmt);
  for (const FormatStep& step : parsed.steps) {
    if (step.lookup != Lookup::none)
      look_up(attr, step.lookup, step.name);
    else
      copy_fields(attr, step.values, step.fields);
  }
  return parsed.result;
}

namespace {

/* The attributes of a datum put in force; h is the plot window's height,
 * which a datum's drawing reads too. */
void apply_attribs(const RAW_attribs* attr, float h) {
  Gattribs a = attr->attrib;
  if (a.color == KEZ_MISS) ATTRIB_get("color_data", "green", &a);
  GPH_attribs(&a, TEXT_HEIGHT * h * attr->scale, attr->scale, attr->hor, attr->vert);
  if (attr->symbol[0]) WX_symb_file(attr->symbol);
}

} // namespace

int RAW_set_attribs(const RAW_attribs* attr) {
  if (!attr) return -1;
  apply_attribs(attr, MAP_get_vert());
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

  CONT_init();
  CONT_set_fill_colors(nullptr, 0);
  if (CONT_get_type() == KEZ_MISS) CONT_set_type(VAR_TYPE_FCONT);

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
    CONT_set_base(b.base);
    CONT_set_cutoff(b.max, b.min);
  }
  float iv;
  if (const char* ci = RES_get("con_interval"); ci && to_float(ci, &iv)) {
    b.intrvl = iv;
    CONT_set_intrvl(iv);
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

  if (CONT_get_values(nullptr) > 0 || cur.intrvl != MISS) {
    Gattribs band;
    ATTRIB_init(&band);
    const float v = wind_type(data->type) ? data->value[1] : datum_value(data);
    CONT_get_fill_attrib(v, &band);
    given_over(&cur.attrib, band, true);
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

  const float h = MAP_get_vert();
  apply_attribs(&cur, h);
  const float s = h * cur.scale;
  const float px = data->x + cur.x * s;
  const float py = data->y + cur.y * s;
  if (MESS_check(M_debug_b))
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
  /* A datum's own text is copied as it stands, without a string between. */
  const auto own_text = [&] {
    put(str, RAW_STRING_LEN, std::string_view(data->data, strnlen(data->data, sizeof data->data)));
    return 0;
  };
  switch (data->type) {
    case VAR_TYPE_DATA:
      if (data->data[0] || v0 == MISS) return own_text();
      out = value_text("RAW_data_to_string", cur.format, v0);
      break;
    case VAR_TYPE_TEXT:
    case VAR_TYPE_MARK:
    case VAR_TYPE_CLOUD:
    case VAR_TYPE_SYMB: return own_text();
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
      /* Both halves formed in place: a wind is written for every station. */
      char dir[WHOLE_ROOM], spd[WHOLE_ROOM];
      const std::size_t nd = whole_chars(v0, dir), ns = whole_chars(data->value[1], spd);
      char both[2 * WHOLE_ROOM + 1];
      std::memcpy(both, dir, nd);
      both[nd] = '-';
      std::memcpy(both + nd + 1, spd, ns);
      put(str, RAW_STRING_LEN, std::string_view(both, nd + 1 + ns));
      return 0;
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

/* ---- raw files on plots ------------------------------------------------------------------ */

namespace {

constexpr int TABLE_ASKED = 1;  /* the resources asked for the station table */
constexpr int TABLE_DEMAND = 2; /* loaded for a station without a position */
constexpr int DEMAND_PRIOR = 5; /* priority of the table loaded on demand */
constexpr const char* STATION_FILE = "sao.cty";
constexpr float CAT_ID_HEIGHT = 0.015f; /* identifiers under a category diagram, page units */
constexpr float CAT_ID_DROP = 0.01f;
constexpr float OA_FILTER = 1.0f;
constexpr float OA_RADIUS = 3.0f; /* grid lengths */

/* The filled contour types of the contour layer (CONT_FILL, CONT_LINES_FILL,
 * CONT_FILL_ALT in kezcont.h, which this layer cannot include). */
constexpr int FILL_TYPES[] = {15, 16, 52};
bool is_fill_type(int t) {
  for (int f : FILL_TYPES)
    if (t == f) return true;
  return false;
}

Domain current_domain() {
  Domain d;
  DOM_init(&d);
  MAP_get_domain(&d);
  return d;
}

bool table_filled() {
  const TAB_table* tab = CTY_get_table();
  return tab && tab->tab_size > 0 && tab->num_entry > 0;
}

/* A flag is only trusted while the table still holds stations placed for
 * the current domain: the plot frame empties the table when a plot closes,
 * and a zoom or resize re-run places stations anew. */
void check_table(State::TableUse* t) {
  const Domain cur = current_domain();
  if (t->flag != 0 && (!table_filled() || !DOM_comp(&cur, &t->dom))) t->flag = 0;
}

bool load_table(State::TableUse* t, int prior, int flag) {
  Domain cur = current_domain();
  CTY_store(STATION_FILE, CTY_TABLE_POS_LOC, &cur, prior);
  if (!table_filled()) return false;
  t->flag = flag;
  t->dom = cur;
  return true;
}

void load_asked_table(State::TableUse* t) {
  check_table(t);
  if (t->flag != 0) return;
  const char* city = RES_get("city_file");
  const char* prior = RES_get("stat_prior");
  if ((city && *city) || (prior && *prior)) load_table(t, DOM_get_prior(), TABLE_ASKED);
}

/* The identifier list of the "identifier" resource. */
struct Ids {
  int n = 0;
  char** v = nullptr;
  Ids() { RES_getvals("identifier", &n, &v); }
  ~Ids() {
    if (v) free_parsed_array(n, v);
  }
  Ids(const Ids&) = delete;
  Ids& operator=(const Ids&) = delete;
  bool pass(const char* id) const { return n <= 0 || CTY_ids_cmp(n, v, id) >= 0; }
};

/* Closes a raw file when the scope ends. */
struct OpenRaw {
  int fd;
  explicit OpenRaw(int d) : fd(d) {}
  ~OpenRaw() {
    if (fd >= 0) RAW_close(fd);
  }
  OpenRaw(const OpenRaw&) = delete;
  OpenRaw& operator=(const OpenRaw&) = delete;
};

bool named_field(const char* sel) { return reinterpret_cast<std::uintptr_t>(sel) >= RAW_SEL_LIMIT; }

/* The upper-left label: the file's info and the field's description or
 * name. */
std::string file_label(int fd, const char* sel, const RAW_info& info) {
  std::string out(info.info, strnlen(info.info, sizeof info.info));
  const bool all = !named_field(sel) && reinterpret_cast<std::uintptr_t>(sel) == RAW_SEL_ALL;
  const char* desc = all ? nullptr : RAW_get_field_info(fd, sel);
  if (desc && *desc) return out.empty() ? std::string(desc) : out + "-" + desc;
  if (named_field(sel)) return out + "-" + sel;
  return out;
}

void set_labels(int fd, const char* sel, RAW_info* info, bool keep_in_header) {
  const std::string up_left = file_label(fd, sel, *info);
  PLT_label_up_left(up_left.c_str());
  PLT_label_up_right(info->datim);
  if (keep_in_header) put(info->info, sizeof info->info, up_left);
}

void report_init(RAW_report* r) {
  *r = RAW_report{};
  r->type = KEZ_MISS;
  r->lat = r->lon = r->elev = MISS;
  r->value[0] = r->value[1] = MISS;
}

/* Reads record rec; 1 a value, 0 a record to pass over (the end of a line
 * in whole-line reading), -1 the end. */
int read_record(int fd, RAW_report* r, const char* sel, int* rec) {
  report_init(r);
  const int res = RAW_read(fd, r, sel, rec);
  if (res < 0) return -1;
  const bool all = !named_field(sel) && reinterpret_cast<std::uintptr_t>(sel) == RAW_SEL_ALL;
  return all ? (res == 1 ? 1 : 0) : 1;
}

bool whole_line(const char* sel) { return !named_field(sel) && reinterpret_cast<std::uintptr_t>(sel) == RAW_SEL_ALL; }

/* A record's position: on the diagrams made of its values, else its
 * latitude and longitude. The pair is what MAP_tran takes. */
bool record_pair(const RAW_report& r, int proj, int rec, float* a, float* b) {
  if (proj == MAP_CAT) {
    *a = static_cast<float>(rec);
    *b = r.value[0];
  } else if (proj == MAP_XLOGP) {
    *a = r.value[0];
    *b = r.lat;
  } else {
    *a = r.lat;
    *b = r.lon;
  }
  return *a != MISS && *b != MISS && std::isfinite(*a) && std::isfinite(*b);
}

/* The identifier of a category under the frame, on the page. */
void category_label(const char* id, float x, int rec) {
  const Domain d = current_domain();
  float lat_step = 0;
  float lon_step = 0;
  MAP_get_latlon(&lat_step, &lon_step);
  bool shown = false;
  if (lat_step > 0) {
    const int every = static_cast<int>(lat_step);
    shown = every <= 1 || rec % every == 0;
  } else if (d.dx != MISS && d.dx > 0) {
    shown = std::fmod(static_cast<float>(rec), std::ceil(d.dx / 10.0f)) < 0.5f;
  }
  MAP_limits lim{};
  MAP_get_limits(&lim);
  if (!shown || x < lim.x_min || x > lim.x_max) return;
  /* Plot to page through the plot window and its place on the page. */
  Glim win{};
  Glim view{};
  GPH_get_win(2, &win);
  PLT_get_view(&view);
  if (win.x_max == win.x_min) return;
  const float px = view.x_min + (x - win.x_min) / (win.x_max - win.x_min) * (view.x_max - view.x_min);
  const float py = view.y_min;
  GPH_trans(1);
  Gattribs a;
  ATTRIB_init(&a);
  ATTRIB_get("color_line", "magenta", &a);
  GPH_text_attr(nullptr, 1);
  GPH_text_attr(&a, CAT_ID_HEIGHT);
  GPH_text_align(GCENTER_HOR, GTOP_VERT);
  GPH_printf(px, py - CAT_ID_DROP, "%s", id);
  GPH_trans(2);
  Gattribs h;
  ATTRIB_init(&h);
  GPH_text_attr(&h, TEXT_HEIGHT * MAP_get_vert());
}

float plot_scale() {
  const char* sc = RES_get("plot_scale");
  float v = 0;
  return sc && to_float(sc, &v) && v > 0 ? v : 1.0f;
}

/* Saves and restores the file-name convention around a scope. */
struct KeepNameConv {
  KeepNameConv() { FILE_save_name_conv(); }
  ~KeepNameConv() { FILE_restore_name_conv(); }
  KeepNameConv(const KeepNameConv&) = delete;
  KeepNameConv& operator=(const KeepNameConv&) = delete;
};

} // namespace

int RAW_plot_file(char* file, int label) {
  char* sel = nullptr;
  char* fmt = nullptr;
  const OpenRaw raw(RAW_file_open(file, &sel, &fmt, RAW_READ));
  if (raw.fd < 0) return 0;
  RAW_reset_line();

  Gattribs attr;
  ATTRIB_init(&attr);
  ATTRIB_get("color_data", "green", &attr);
  gset_fill_print_solid(1);
  const Ids ids;
  RAW_plot_init(&attr, plot_scale());
  /* Only labelled plots place stations through the table. */
  State::TableUse& table = state.plot_table;
  if (label) load_asked_table(&table);
  const bool asked = table.flag == TABLE_ASKED;

  if (const char* pf = RES_get("plot_format")) {
    const int t = RAW_parse_format(&state.base, pf);
    if (t != 0) state.base.type = t;
  }
  if (fmt) {
    const int t = RAW_parse_format(&state.base, fmt);
    if (t != 0) state.base.type = t;
  }
  RAW_getinfo(raw.fd, &state.info);
  if (label) set_labels(raw.fd, sel, &state.info, false);

  const int proj = current_domain().proj;
  const bool all = whole_line(sel);
  /* Before any datum is drawn the plot's own count applies ("plot_param"
   * and the format items); afterwards that of the datum drawn last, so a
   * record's "sk=" item steers the records after it. */
  int skip = state.base.skip;
  bool tried = false; /* a table that could not be loaded is not read again for every station */
  RAW_report rep;
  for (int rec = 0;;) {
    const int res = read_record(raw.fd, &rep, sel, &rec);
    if (res < 0) break;
    const int this_rec = rec;
    if (!all || res == 0) ++rec;
    if (res == 0) continue;
    if (skip > 1 && this_rec % skip != 0) continue;
    if (label && !ids.pass(rep.id)) continue;

    RAW_data d;
    RAW_data_init(&d);
    float a = MISS;
    float b = MISS;
    bool have = record_pair(rep, proj, this_rec, &a, &b);
    bool placed = false;
    if (label && (table.flag != 0 || rep.lat == MISS)) {
      if (table.flag == 0 && !tried) tried = !load_table(&table, DEMAND_PRIOR, TABLE_DEMAND);
      CTY_locate loc{};
      if (table.flag != 0 && CTY_search(rep.id, &loc) > 0) {
        d.x = loc.x;
        d.y = loc.y;
        placed = have = true;
      } else if (asked) {
        continue;
      }
    }
    if (!have) continue;
    if (!placed && MAP_tran(a, b, &d.x, &d.y) <= 0) continue;
    if (proj == MAP_CAT) category_label(rep.id, d.x, this_rec);

    d.type = state.base.type;
    std::string text(rep.data, strnlen(rep.data, sizeof rep.data));
    for (char& c : text)
      if (c == '_') c = ' ';
    put(d.data, sizeof d.data, text);
    std::string format(rep.format, strnlen(rep.format, sizeof rep.format));
    if (fmt && *fmt) format += std::string(":") + fmt;
    put(d.format, sizeof d.format, format);
    d.value[0] = rep.value[0];
    d.value[1] = rep.value[1];
    RAW_plot_data(&d);
    skip = state.cur.skip;
  }
  return 0;
}

int RAW_grd_out_file() {
  FILE_set_name("raw_grd");
  int type = 0;
  int argc = 0;
  char** argv = nullptr;
  RES_getvals("out_file", &argc, &argv);
  for (int i = 0; i < argc && argv; ++i) {
    const std::string_view item = argv[i] ? trim(argv[i]) : std::string_view{};
    if (item.empty() || iequal(item, "none") || iprefix(item, "gif") || iprefix(item, "png")) continue;
    std::string conv;
    if (iprefix(item, "kezb")) {
      type = GRD_TYPE_BINARY;
      conv = item.size() > 5 ? std::string(item.substr(5)) : "raw_grd_kez";
    } else if (iprefix(item, "kez")) {
      type = GRD_TYPE_TEXT;
      conv = item.size() > 4 ? std::string(item.substr(4)) : "raw_grd_kez";
    } else if (iprefix(item, "cdf")) {
      type = GRD_TYPE_NETCDF;
      conv = item.size() > 4 ? std::string(item.substr(4)) : "raw_grd_cdf";
    } else {
      type = GRD_TYPE_TEXT;
      conv = std::string(item);
    }
    FILE_set_name(conv.c_str());
    FLAG_set(FLAG_FILE_KIND, type);
  }
  if (argv) free_parsed_array(argc, argv);
  return type;
}

int RAW_grid_file(char* file, int label) {
  char* sel = nullptr;
  char* fmt = nullptr;
  const OpenRaw raw(RAW_file_open(file, &sel, &fmt, RAW_READ));
  if (raw.fd < 0) return 0;
  const Ids ids;
  RAW_getinfo(raw.fd, &state.info);
  VAR_set_type(0, VAR_TYPE_CONT);
  if (label) set_labels(raw.fd, sel, &state.info, true);

  const Domain map_dom = current_domain();
  Domain grid_dom;
  if (DOM_get_region(&grid_dom, 2) <= 0) grid_dom = map_dom;
  const bool same_dom = DOM_comp(&grid_dom, &map_dom) != 0;

  GRD_init_grids();
  RAW_init_oa_data();
  GRD_set_grid_domain(0, &grid_dom);
  GRD_report* slot = GRD_get_grid(0);
  if (!slot) {
    RAW_free_oa_data();
    return 0;
  }

  const KeepNameConv keep;
  const int type = RAW_grd_out_file();
  char filename[FILE_PATH_LEN] = "";
  bool reused = false;
  GRD_info read_info{};
  if (type != 0 && FILE_set_date(&state.info.date, filename) == 0) {
    /* The grid as the store made it for the domain; the file is read over
     * the slot, so the comparison needs its own copy. */
    const Domain analysis = slot->domain;
    int got = 0;
    reused = GRD_read_check(filename, slot, &read_info, &got, &analysis) != 0;
  }
  if (!reused) {
    GRD_set_grid_info(0, state.info.info);
    GRD_set_grid_date(0, &state.info.date, state.info.datim);
    RAW_add_oa_field(0);
    GRD_set_grid_domain(0, &grid_dom);
    if (GRD_alloc_grid(0) != 0) {
      MESS_print(M_warn, "RAW_grid_file: No grid for %s\n", file);
      RAW_free_oa_data();
      return 0;
    }
  }
  OBJ_set_filter(OA_FILTER);
  OBJ_set_rad_inf(OA_RADIUS);
  MESS_print(M_mess, "Reading in data from raw file...\n");

  /* Gridding draws nothing: the count of the station plot drawn last
   * applies, or the request's own "sk=" item. */
  RAW_attribs fa = state.base;
  if (fmt) RAW_parse_format(&fa, fmt);
  const int skip = fa.skip;
  State::TableUse& table = state.grid_table;
  check_table(&table);
  const int proj = map_dom.proj;
  const bool all = whole_line(sel);
  bool tried = false;
  RAW_report rep;
  int j = 0;
  for (int rec = 0;;) {
    const int res = read_record(raw.fd, &rep, sel, &rec);
    if (res < 0) break;
    const int this_rec = rec;
    if (!all || res == 0) ++rec;
    if (res == 0) continue;
    if (skip > 1 && this_rec % skip != 0) continue;
    if (!ids.pass(rep.id)) continue;
    float x = MISS;
    float y = MISS;
    bool placed = false;
    if (table.flag != 0 || rep.lat == MISS) {
      if (table.flag == 0 && !tried) tried = !load_table(&table, DEMAND_PRIOR, TABLE_DEMAND);
      CTY_locate loc{};
      if (table.flag != 0 && CTY_search(rep.id, &loc) > 0) {
        x = loc.x;
        y = loc.y;
        placed = true;
      }
    }
    float a = MISS;
    float b = MISS;
    if (!placed && (!record_pair(rep, proj, this_rec, &a, &b) || MAP_tran(a, b, &x, &y) <= 0)) continue;
    if (!same_dom) {
      float gx = MISS;
      float gy = MISS;
      MAP_domain_tran(&map_dom, &grid_dom, x, y, &gx, &gy);
      x = gx;
      y = gy;
    }
    if (!MAP_in_grid_domain(x, y)) continue;
    if (RAW_add_oa_loc(j, x, y) != 0) break;
    if (RAW_chk_oa_data(0)) RAW_add_oa_data(0, j, rep.value[0]);
    ++j;
  }
  if (!reused) RAW_run_oa(slot);

  /* A grid read back from its file is not written over that file. */
  if (!reused && type != 0 && FILE_set_date(&state.info.date, filename) == 0) {
    GRD_info info{};
    put(info.datim, sizeof info.datim, state.info.datim);
    info.date = state.info.date;
    info.max_x = slot->domain.nx;
    info.max_y = slot->domain.ny;
    info.grid_type = 0;
    GRD_save_file(filename, slot, &info, type);
    state.grid_info = info;
    state.grid_file = filename;
    state.grid_type = type;
  } else if (type == 0) {
    /* Nothing was written: the save key must not put this grid under the
     * name of an earlier one. */
    state.grid_file.clear();
    state.grid_type = 0;
  } else if (reused) {
    state.grid_info = read_info;
    state.grid_file = filename;
    state.grid_type = type;
  }
  RAW_free_oa_data();
  return 0;
}

void RAW_callback(int /*type*/, char* str, float x, float y) {
  PLT_print_values(str, x, y);
  PLT_plot_zoom(str, x, y);
  PLT_plot_resize(str, x, y);
  CONT_flash_value(str, x, y);
  if (!str || std::strcmp(str, "s-Alt") != 0) return;
  GRD_report* slot = GRD_get_grid(0);
  if (!slot || !slot->grid || state.grid_file.empty() || state.grid_type == 0) {
    MESS_print(M_warn, "RAW_callback: No gridded file to save\n");
    return;
  }
  GRD_save_file(state.grid_file.c_str(), slot, &state.grid_info, state.grid_type);
}

int RAW_plot(Domain* domain) {
  if (!domain) return 0;
  bool opened = false;
  if (gchk_graphics()) {
    PLT_reset(DOM_aspect(domain));
  } else {
    if (PLT_open(DOM_aspect(domain)) != 0) return 0;
    opened = true;
    PLT_set_callback(RAW_callback);
    PLT_set_zoom_func(RAW_plot);
    PLT_set_resize_func(RAW_plot);
  }
  MAP_setup(domain);
  std::vector<std::string> items;
  {
    int argc = 0;
    char** argv = nullptr;
    RES_getvals("filename", &argc, &argv);
    for (int i = 0; i < argc && argv; ++i)
      if (argv[i] && *argv[i]) items.emplace_back(argv[i]);
    if (argv) free_parsed_array(argc, argv);
  }
  if (items.empty()) {
    const char* cur = FILE_get_filename(nullptr);
    if (cur && *cur) items.emplace_back(cur);
  }
  bool fill = is_fill_type(FLAG_get(FLAG_PLOT_TYPE));
  MAP_fill_cont(0);
  MAP_draw(fill ? 1 : 5);
  bool bar = false;
  for (std::string& item : items) {
    if (iequal(item, "map")) {
      MAP_draw(4);
    } else {
      RAW_grid_file(item.data(), 1);
      GRD_report* slot = GRD_get_grid(0);
      CONT_plot_setup(0, 0, slot, domain, RAW_callback);
      if (is_fill_type(CONT_get_type())) fill = true;
      if (slot && slot->grid) CONT_draw(slot);
      GPH_trans(2);
      if (!bar && CONT_get_bar() > 0) {
        gsel_norm_tran(1);
        CONT_draw_bar(1, "");
        gsel_norm_tran(2);
        bar = true;
      }
    }
    if (fill) {
      MAP_fill_cont(1);
      MAP_draw(6);
    } else {
      MAP_draw(2);
    }
  }
  PLT_labels();
  PLT_dump(0);
  if (opened) PLT_close();
  return 0;
}
