/*
 * frt_plt: the coded surface frontal-position bulletin drawn on the map.
 *
 * A bulletin is text in sections: the analysis ("VALID" and its time) and
 * forecasts ("12HR" to "48HR"). Each section holds records led by a keyword
 * (HIGHS, LOWS, COLD, WARM, OCFNT, STNRY, TROF) and continued on following
 * lines that begin with a digit; tropical cyclones are records led by
 * "HURRICANE" or "TROPICAL" with their position in number words. This
 * module reads the one section wanted, draws fronts and troughs as smooth
 * curves through their positions (with pips when asked), merges nearby
 * pressure centres of one kind and draws the survivors as "H" and "L".
 *
 * The front mode of the surface program calls FRT_plot for a whole plot;
 * the surface plot's "front" variable calls FRT_set_date and FRT_plot_file
 * over its own frame. Every bulletin is hostile: lines of any length are
 * read whole (a group is never split), records stop at the first word that
 * is not of their form, and storage is bounded (kezsfc.h) with a warning
 * for what is dropped.
 */
#include "gks.h"
#include "kezgks.h"
#include "kezraw.h"
#include "kezsfc.h"
#include "spline.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct {
  Date file_date{KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS};
  int pr_lab = 1;     /* 1: pressure under each centre */
  float pr_rad = 5.0; /* degrees of the merging box */
  int barb = 0;       /* 1: pips on fronts */
  int hour = 0;       /* 0 analysis, else the forecast section "%dHR" */
} state;

/* A line longer than this is cut here; no group of a real bulletin lies
 * that far out, and the cap keeps a hostile file from filling memory. */
constexpr std::size_t MAX_LINE = 65536;
/* Longest name and number word that a cyclone record carries. */
constexpr std::size_t MAX_NAME = 79;
constexpr std::size_t MAX_WORD = 19;
/* Chord step of the curves in plot units. */
constexpr float STEP = 0.5f;

enum class Curve { cold, warm, occluded, stationary, trough };

/* The curve records: keyword, kind, trace tag of the points and the letter
 * of the side trace. */
struct CurveKind {
  const char* keyword;
  Curve curve;
  const char* tag;
  char letter;
};
constexpr CurveKind curve_kinds[] = {
    {"COLD", Curve::cold, "COLD", 'C'},      {"WARM", Curve::warm, "WARM", 'W'},
    {"OCFNT", Curve::occluded, "OCCL", 'O'}, {"STNRY", Curve::stationary, "STAT", 'S'},
    {"TROF", Curve::trough, "TROF", 'T'},
};

constexpr const char* section_headers[] = {"VALID", "12HR", "24HR", "36HR", "48HR"};

/* Items of "color_front" in order, with their defaults and widths. */
enum Item { ITEM_HIGH, ITEM_LOW, ITEM_COLD, ITEM_WARM, ITEM_OCCL, ITEM_TROF, ITEM_TROP, ITEM_COUNT };
struct ItemDefault {
  const char* colour;
  float width;
};
constexpr ItemDefault item_defaults[ITEM_COUNT] = {
    {"blue", 2}, {"red", 2}, {"blue", 3}, {"red", 3}, {"magenta", 3}, {"brown", 3}, {"red", KEZ_FMISS},
};

struct Attrs {
  Gattribs data{};
  Gattribs item[ITEM_COUNT]{};
  float scale = 1;     /* "plot_scale" */
  float lab_scale = 1; /* map height times "plot_scale" */
};

struct Centre {
  float lat, lon, pres; /* degrees north, east; hPa */
  char kind;            /* 'H' or 'L' */
};

struct Drawing {
  Attrs attrs;
  std::vector<Centre> centres;
  int centres_dropped = 0;
};

std::vector<std::string_view> split_words(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    const std::size_t b = i;
    while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i > b) words.push_back(text.substr(b, i - b));
  }
  return words;
}

bool all_digits(std::string_view w) {
  if (w.empty()) return false;
  for (char c : w)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

/* Five digits: a position. Three or four: a pressure. Telling them apart
 * by form keeps highs above 1050 hPa. */
bool is_group(std::string_view w) { return w.size() == 5 && all_digits(w); }
bool is_pressure(std::string_view w) { return (w.size() == 3 || w.size() == 4) && all_digits(w); }

bool is_header(std::string_view w) {
  for (const char* h : section_headers)
    if (w == h) return true;
  return false;
}

/* One whole line without its line end; false at the end of the file. */
bool read_line(FILE* f, std::string* line) {
  line->clear();
  int c;
  bool any = false;
  while ((c = std::getc(f)) != EOF) {
    any = true;
    if (c == '\n') break;
    if (line->size() < MAX_LINE) line->push_back(static_cast<char>(c));
  }
  while (!line->empty() && (line->back() == '\r' || line->back() == '\n')) line->pop_back();
  return any;
}

/* Lines with one line of push-back: the line that ends a record's
 * continuation is the next line read. */
struct LineSource {
  FILE* f = nullptr;
  std::string pending;
  bool has_pending = false;
  bool next(std::string* line) {
    if (has_pending) {
      *line = std::move(pending);
      has_pending = false;
      return true;
    }
    return read_line(f, line);
  }
  void push_back(std::string line) {
    pending = std::move(line);
    has_pending = true;
  }
};

float parse_float(std::string_view w) {
  const std::string s(w);
  return static_cast<float>(std::atof(s.c_str()));
}

/* ---- pressure centres ---- */

void read_centres(Drawing& dw, const std::vector<std::string_view>& words, char kind) {
  MESS_print(M_out3, "%s\n", kind == 'H' ? "HIGHS" : "LOWS");
  std::size_t i = 1;
  while (i < words.size()) {
    /* A stray group where a pressure belongs has lost its pressure. */
    if (is_group(words[i])) {
      ++i;
      continue;
    }
    if (!is_pressure(words[i]) || i + 1 >= words.size() || !is_group(words[i + 1])) break;
    const float pres = parse_float(words[i]);
    float lat = 0, lon = 0;
    const std::string g(words[i + 1]);
    if (decode_latlon(g.c_str(), &lat, &lon) != 1) break;
    i += 2;
    MESS_print(M_out3, "%2.0f %2.0f %2.0f\n", pres, lat, lon);
    if (static_cast<int>(dw.centres.size()) >= FRT_MAX_CENTRES) {
      ++dw.centres_dropped;
      continue;
    }
    dw.centres.push_back(Centre{lat, -lon, pres, kind});
  }
}

void draw_centres(Drawing& dw) {
  if (dw.centres_dropped > 0)
    MESS_print(M_warn, "FRT_plot_file: %d pressure centres beyond the first %d dropped\n", dw.centres_dropped,
               FRT_MAX_CENTRES);
  const std::size_t n = dw.centres.size();
  std::vector<bool> gone(n, false);
  const float r = state.pr_rad;
  /* Centres merge only with centres of their own kind: a high beside a low
   * is two real features. Of equal centres the later one survives, since
   * the earlier meets it first. */
  for (std::size_t i = 0; i < n; ++i) {
    const Centre& a = dw.centres[i];
    for (std::size_t j = 0; j < n && !gone[i]; ++j) {
      if (j == i || gone[j]) continue;
      const Centre& b = dw.centres[j];
      if (b.kind != a.kind) continue;
      if (std::fabs(a.lat - b.lat) > r || std::fabs(a.lon - b.lon) > r) continue;
      if (a.kind == 'H' ? b.pres >= a.pres : b.pres <= a.pres) gone[i] = true;
    }
  }
  const Attrs& at = dw.attrs;
  GPH_text_align(GCENTER_HOR, GHALF_VERT);
  for (std::size_t i = 0; i < n; ++i) {
    if (gone[i]) continue;
    const Centre& c = dw.centres[i];
    const Gattribs& letter = at.item[c.kind == 'H' ? ITEM_HIGH : ITEM_LOW];
    if (letter.color == -1) continue;
    float x = 0, y = 0;
    if (MAP_tran(c.lat, c.lon, &x, &y) != 1) continue;
    GPH_text_attr(&letter, 0.03f * at.lab_scale);
    GPH_printf(x, y, "%c", c.kind);
    if (state.pr_lab) {
      Gattribs num = at.data;
      num.color = letter.color;
      GPH_text_attr(&num, 0.018f * at.lab_scale);
      GPH_printf(x, y - 0.03f * at.lab_scale, "%1.0f", c.pres);
    }
  }
}

/* ---- fronts and troughs ---- */

struct Pt {
  float x, y;
};

/* Which side the pips stand on, from the first kept point and the last
 * group read (longitudes west-positive as in the groups). */
int pip_side(Curve curve, float lat0, float lon0, float lat1, float lon1) {
  const float dlat = std::fabs(lat0 - lat1);
  const float dlon = std::fabs(lon0 - lon1);
  bool flip = false;
  if (dlon > dlat) {
    switch (curve) {
      case Curve::cold: flip = lon0 > lon1; break;
      case Curve::warm: flip = lon1 > lon0; break;
      case Curve::occluded: flip = lon1 > lon0; break;
      case Curve::stationary: flip = lon0 > lon1; break;
      case Curve::trough: break;
    }
  } else if (dlat > dlon) {
    switch (curve) {
      case Curve::cold: flip = lat1 > lat0; break;
      case Curve::warm: flip = lat1 > lat0; break;
      case Curve::occluded: flip = lat1 != lat0 && lon1 > lon0; break;
      case Curve::stationary: flip = lat1 != lat0 && lon0 > lon1; break;
      case Curve::trough: break;
    }
  }
  return flip ? -1 : 1;
}

void fill(const std::vector<Gpt>& pts) { gfill_area(static_cast<Gint>(pts.size()), pts.data()); }

void triangle(float x0, float y0, float x1, float y1, float s, float side) {
  const float mx = (x0 + x1) / 2, my = (y0 + y1) / 2;
  const float vx = x1 - x0, vy = y1 - y0;
  const float nx = -vy, ny = vx;
  const Gpt a{mx - s * vx, my - s * vy};
  fill({a, {mx + s * vx, my + s * vy}, {mx + 1.5f * s * side * nx, my + 1.5f * s * side * ny}, a});
}

void half_disc(float x0, float y0, float x1, float y1, float s, float side) {
  const float mx = (x0 + x1) / 2, my = (y0 + y1) / 2;
  const float vx = x1 - x0, vy = y1 - y0;
  const float nx = -vy, ny = vx;
  const Gpt a{mx - s * vx, my - s * vy};
  fill({a,
        {mx + s * vx, my + s * vy},
        {mx + 0.5f * s * vx + 0.866f * s * side * nx, my + 0.5f * s * vy + 0.866f * s * side * ny},
        {mx + s * side * nx, my + s * side * ny},
        {mx - 0.5f * s * vx + 0.866f * s * side * nx, my - 0.5f * s * vy + 0.866f * s * side * ny},
        a});
}

/* Line and pip fill of one colour item. */
void use_item(const Attrs& at, Item item) {
  GPH_line_attr(&at.item[item]);
  Gattribs f = at.data;
  f.color = at.item[item].color;
  if (f.fill_pat == KEZ_MISS) f.fill_pat = 0;
  GPH_fill_attr(&f);
}

/* One step of the curve: its line and, for fronts with pips, the pip that
 * segment k carries. */
void segment(const Attrs& at, Curve curve, int k, int side, bool last, float x0, float y0, float x1, float y1) {
  if (curve == Curve::trough) {
    if (k % 2 == 0) GPH_line(x0, y0, x1, y1);
    return;
  }
  if (curve == Curve::stationary) use_item(at, k % 11 <= 5 ? ITEM_COLD : ITEM_WARM);
  GPH_line(x0, y0, x1, y1);
  if (!state.barb || last) return;
  const float s = at.scale;
  switch (curve) {
    case Curve::cold:
      if (k % 4 == 2) triangle(x0, y0, x1, y1, s, side);
      break;
    case Curve::warm:
      if (k % 6 == 3) half_disc(x0, y0, x1, y1, s, side);
      break;
    case Curve::occluded:
      if (k % 11 == 3) triangle(x0, y0, x1, y1, s, side);
      if (k % 11 == 8) half_disc(x0, y0, x1, y1, s, side);
      break;
    case Curve::stationary:
      if (k % 11 == 3) triangle(x0, y0, x1, y1, s, side);
      if (k % 11 == 8) half_disc(x0, y0, x1, y1, s, -side);
      break;
    case Curve::trough: break;
  }
}

void draw_curve(const Attrs& at, const CurveKind& ck, const std::vector<Pt>& pts, int side) {
  const int n = static_cast<int>(pts.size());
  if (n < 2) {
    /* One point gives no direction: nothing a reader could take for a
     * front is drawn. */
    MESS_print(M_out3, "%s: fewer than two points kept, not drawn\n", ck.tag);
    return;
  }
  std::vector<float> x(n), y(n), d(n);
  for (int i = 0; i < n; ++i) {
    x[i] = pts[i].x;
    y[i] = pts[i].y;
  }
  float* cx_raw = nullptr;
  float* cy_raw = nullptr;
  if (SPLINE_create2(n, x.data(), y.data(), d.data(), &cx_raw, &cy_raw) != 1) return;
  const std::unique_ptr<float, decltype(&std::free)> cx(cx_raw, &std::free), cy(cy_raw, &std::free);
  const float len = d[n - 1];
  if (!std::isfinite(len) || len <= 0) return;
  /* A curve longer than this many steps lies far outside any map. */
  constexpr double max_steps = 1e6;
  if (len / STEP > max_steps) return;

  float x0 = x[0], y0 = y[0];
  int k = 0;
  for (int i = 1;; ++i) {
    const float t = STEP * static_cast<float>(i);
    if (t > len + 0.02f) break;
    float x1 = 0, y1 = 0;
    if (SPLINE_interp2(t, n, cx.get(), cy.get(), x.data(), y.data(), d.data(), &x1, &y1) != 1) return;
    MESS_print(M_out3, "%s: %.4f %.4f\n", ck.tag, x1, y1);
    segment(at, ck.curve, k, side, false, x0, y0, x1, y1);
    x0 = x1;
    y0 = y1;
    ++k;
  }
  if (ck.curve == Curve::trough) return;
  float x1 = 0, y1 = 0;
  if (SPLINE_interp2(len, n, cx.get(), cy.get(), x.data(), y.data(), d.data(), &x1, &y1) != 1) return;
  segment(at, ck.curve, k, side, true, x0, y0, x1, y1);
}

void read_curve(const Attrs& at, const CurveKind& ck, const std::vector<std::string_view>& words) {
  std::size_t i = 1;
  if (ck.curve != Curve::trough) {
    const std::string strength = i < words.size() ? std::string(words[i]) : std::string();
    MESS_print(M_out3, "%s %s\n", ck.keyword, strength.c_str());
    ++i;
  } else {
    MESS_print(M_out3, "TROF\n");
  }
  std::vector<Pt> pts;
  int dropped = 0;
  float lat0 = 0, lon0 = 0, lat1 = 0, lon1 = 0;
  for (; i < words.size() && is_group(words[i]); ++i) {
    const std::string g(words[i]);
    float lat = 0, lon = 0;
    if (decode_latlon(g.c_str(), &lat, &lon) != 1) break;
    lat1 = lat;
    lon1 = lon;
    float x = 0, y = 0;
    if (MAP_tran(lat, -lon, &x, &y) != 1) continue;
    if (!pts.empty() && pts.back().x == x && pts.back().y == y) continue;
    MESS_print(M_out3, "%2.0f %2.0f = %.4f %.4f\n", lat, lon, x, y);
    if (pts.empty()) {
      lat0 = lat;
      lon0 = lon;
    }
    if (static_cast<int>(pts.size()) >= FRT_MAX_POINTS) {
      ++dropped;
      continue;
    }
    pts.push_back(Pt{x, y});
  }
  if (dropped > 0)
    MESS_print(M_warn, "FRT_plot_file: %s: %d points beyond the first %d dropped\n", ck.keyword, dropped,
               FRT_MAX_POINTS);
  if (pts.empty()) return;
  int side = 1;
  if (ck.curve != Curve::trough) {
    side = pip_side(ck.curve, lat0, lon0, lat1, lon1);
    MESS_print(M_debug, "%c %.1f %.1f %.1f %.1f %.1f %.1f %d\n", ck.letter, lat0, lat1, lon0, lon1,
               std::fabs(lat0 - lat1), std::fabs(lon0 - lon1), side);
  }
  Item item = ITEM_COLD;
  switch (ck.curve) {
    case Curve::cold: item = ITEM_COLD; break;
    case Curve::warm:
    case Curve::stationary: item = ITEM_WARM; break;
    case Curve::occluded: item = ITEM_OCCL; break;
    case Curve::trough: item = ITEM_TROF; break;
  }
  if (at.item[item].color == -1) return;
  if (ck.curve == Curve::trough)
    GPH_line_attr(&at.item[item]);
  else
    use_item(at, item);
  draw_curve(at, ck, pts, side);
}

/* ---- tropical cyclones ---- */

/* Words from a list or from a stream, each cut to a bound. */
struct WordSource {
  const std::vector<std::string_view>* list = nullptr;
  std::size_t at = 0;
  FILE* f = nullptr;
  bool next(std::string* w, std::size_t bound) {
    w->clear();
    if (list) {
      if (at >= list->size()) return false;
      *w = std::string((*list)[at++].substr(0, bound));
      return true;
    }
    int c;
    while ((c = std::getc(f)) != EOF && std::isspace(c)) {
    }
    if (c == EOF) return false;
    do {
      if (w->size() < bound) w->push_back(static_cast<char>(c));
    } while ((c = std::getc(f)) != EOF && !std::isspace(c));
    return true;
  }
};

struct NumberWord {
  const char* word;
  int value;
};
/* Longer words first where one begins another ("SEVENTEEN", "SEVENTY",
 * "SEVEN"), so that a word takes the longest number it begins with. */
constexpr NumberWord number_words[] = {
    {"TWENTY", 20},  {"THIRTY", 30},  {"FORTY", 40},     {"FIFTY", 50},    {"SIXTY", 60},    {"SEVENTY", 70},
    {"EIGHTY", 80},  {"NINETY", 90},  {"ELEVEN", 11},    {"TWELVE", 12},   {"THIRTEEN", 13}, {"FOURTEEN", 14},
    {"FIFTEEN", 15}, {"SIXTEEN", 16}, {"SEVENTEEN", 17}, {"EIGHTEEN", 18}, {"NINETEEN", 19}, {"TEN", 10},
    {"TWO", 2},      {"THREE", 3},    {"FOUR", 4},       {"FIVE", 5},      {"SIX", 6},       {"SEVEN", 7},
    {"EIGHT", 8},    {"NINE", 9},
};

int number_value(const std::string& w) {
  if (w == "ONE") return 1;
  int best = -1;
  std::size_t best_len = 0;
  for (const NumberWord& n : number_words) {
    const std::size_t len = std::strlen(n.word);
    if (len > best_len && w.compare(0, len, n.word) == 0) {
      best = n.value;
      best_len = len;
    }
  }
  return best;
}

int decode_locate(WordSource& src, float* lat, float* lon) {
  double value = 0;
  bool decimal = false;
  std::string w;
  while (src.next(&w, MAX_WORD)) {
    const int v = number_value(w);
    if (v >= 0) {
      value += decimal ? v / 10.0 : v;
    } else if (w == "POINT") {
      decimal = true;
    } else if (w == "HUNDRED") {
      value *= 100;
    } else if (w == "NORTH") {
      *lat = static_cast<float>(value);
      value = 0;
      decimal = false;
    } else if (w == "WEST") {
      *lon = static_cast<float>(-value);
      value = 0;
      decimal = false;
    } else {
      return 0;
    }
  }
  return -1;
}

void draw_cyclone(const Attrs& at, const std::vector<std::string_view>& words) {
  const bool hurricane = words[0] == "HURRICANE";
  std::string kind, name;
  std::size_t i = 1;
  if (!hurricane && i < words.size()) kind = std::string(words[i++].substr(0, MAX_NAME));
  if (i < words.size()) name = std::string(words[i++].substr(0, MAX_NAME));
  if (hurricane)
    MESS_print(M_out3, "HURRICANE %s\n", name.c_str());
  else
    MESS_print(M_out3, "TROPICAL %s %s\n", kind.c_str(), name.c_str());
  const std::vector<std::string_view> rest(words.begin() + static_cast<std::ptrdiff_t>(i), words.end());
  WordSource src;
  src.list = &rest;
  float lat = KEZ_FMISS, lon = KEZ_FMISS;
  decode_locate(src, &lat, &lon);
  if (lat == KEZ_FMISS || lon == KEZ_FMISS) return;
  MESS_print(M_out3, "%2.0f %2.0f\n", lat, lon);
  const Gattribs& a = at.item[ITEM_TROP];
  if (a.color == -1) return;
  float x = 0, y = 0;
  if (MAP_tran(lat, lon, &x, &y) != 1) return;
  GPH_line_attr(&a);
  GPH_text_attr(&a, 0.018f * at.lab_scale);
  int fill_colour = a.color;
  if (FLAG_get(FLAG_DEVICE) == RES_DEV_PS && !gps_get_colorPS()) fill_colour = CLR_get_ind("black");
  if (fill_colour >= 0) gset_fill_colr_ind(fill_colour);
  GPH_fill_attr(nullptr);
  GPH_text_align(GCENTER_HOR, GHALF_VERT);
  const float size = 0.035f * at.lab_scale;
  if (hurricane)
    WX_symb(x, y, "@+", size);
  else if (kind == "STORM")
    WX_symb(x, y, "@", size);
  else
    GPH_printf(x, y, "L");
  GPH_printf(x, y - 0.03f * at.lab_scale, "%s", name.c_str());
}

/* ---- attributes and labels ---- */

Attrs make_attrs() {
  Attrs at;
  ATTRIB_init(&at.data);
  ATTRIB_get("color_data", nullptr, &at.data);
  int argc = 0;
  char** argv = nullptr;
  RES_getvals("color_front", &argc, &argv);
  for (int i = 0; i < ITEM_COUNT; ++i) {
    Gattribs& g = at.item[i];
    ATTRIB_init(&g);
    g.width = item_defaults[i].width;
    const char* text = i < argc && argv && argv[i] && *argv[i] ? argv[i] : item_defaults[i].colour;
    ATTRIB_parse(text, &g);
  }
  if (argv) free_parsed_array(argc, argv);
  float scale = 1;
  if (const char* s = RES_get("plot_scale"); s && *s) scale = static_cast<float>(std::atof(s));
  if (!(scale > 0) || !std::isfinite(scale)) scale = 1;
  at.scale = scale;
  float vert = MAP_get_vert();
  if (!(vert > 0) || !std::isfinite(vert)) vert = 1;
  at.lab_scale = vert * scale;
  return at;
}

std::string two(int v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%2.2d", v);
  return buf;
}

/* Whether the analysis section's valid time matches file_date; sets the
 * upper-right label either way. */
bool accept_valid(std::string_view valid_word) {
  const std::string valid(valid_word.substr(0, 49));
  Date d = state.file_date;
  if (d.hour != KEZ_MISS) d.hour = d.hour / 3 * 3;
  const std::string forms[] = {two(d.hour) + "00", two(d.day) + two(d.hour), two(d.month) + two(d.day) + two(d.hour)};
  bool ok = false;
  for (const std::string& f : forms)
    if (valid.compare(0, f.size(), f) == 0) ok = true;
  if (!ok) MESS_print(M_warn, "FRT_plot_file: Invalid date in file: %s != %s\n", valid.c_str(), forms[2].c_str());
  if (d.hour != KEZ_MISS) {
    d.min = 0;
    d.sec = 0;
  }
  char label[DATE_LABEL_LEN];
  DATE_make_label(&d, label);
  PLT_label_up_right((std::string("NCEP analysis for ") + label).c_str());
  return ok;
}

void forecast_label() {
  char label[DATE_LABEL_LEN];
  DATE_make_label_valid_time(state.hour, &state.file_date, label);
  char head[64];
  std::snprintf(head, sizeof head, "%d hr NCEP forecast valid ", state.hour);
  PLT_label_up_right((std::string(head) + label).c_str());
}

/* A record and its continuation lines; the line that ends it goes back. */
std::string read_record(LineSource& lines, const std::string& first) {
  std::string text = first;
  std::string line;
  while (lines.next(&line)) {
    const std::vector<std::string_view> w = split_words(line);
    if (w.empty() || !std::isdigit(static_cast<unsigned char>(w[0][0])) || is_header(w[0])) {
      lines.push_back(std::move(line));
      break;
    }
    if (text.size() + 1 + line.size() <= static_cast<std::size_t>(FRT_RECORD_LEN)) {
      text += ' ';
      text += line;
    } else {
      MESS_print(M_warn, "FRT_plot_file: continuation line beyond %d characters dropped\n", FRT_RECORD_LEN);
    }
  }
  return text;
}

void draw_record(Drawing& dw, const std::string& text) {
  MESS_print(M_debug, "DATA: %s\n", text.c_str());
  const std::vector<std::string_view> words = split_words(text);
  if (words.empty()) return;
  const std::string_view key = words[0];
  if (key == "HIGHS" || key == "LOWS") {
    read_centres(dw, words, key == "HIGHS" ? 'H' : 'L');
    return;
  }
  for (const CurveKind& ck : curve_kinds)
    if (key == ck.keyword) {
      read_curve(dw.attrs, ck, words);
      return;
    }
  if (key == "HURRICANE" || key == "TROPICAL") draw_cyclone(dw.attrs, words);
}

} // namespace

int decode_latlon(const char* data, float* lat, float* lon) {
  if (!data || !lat || !lon) return 0;
  /* The two fields by their widths, as the group spells them. */
  char a[3] = {0}, b[4] = {0};
  std::size_t i = 0;
  for (; i < 2 && data[i] && std::isdigit(static_cast<unsigned char>(data[i])); ++i) a[i] = data[i];
  if (i == 0) return 0;
  const std::size_t j0 = i;
  std::size_t j = 0;
  for (; j < 3 && data[j0 + j] && std::isdigit(static_cast<unsigned char>(data[j0 + j])); ++j) b[j] = data[j0 + j];
  *lat = static_cast<float>(std::atoi(a));
  if (j == 0) return 0;
  *lon = static_cast<float>(std::atoi(b));
  return 1;
}

int FRT_decode_locate(FILE* ifile, float* lat, float* lon) {
  if (!ifile || !lat || !lon) return -1;
  WordSource src;
  src.f = ifile;
  return decode_locate(src, lat, lon);
}

int FRT_set_date(const Date* datim) {
  if (datim)
    state.file_date = *datim;
  else
    FILE_get_date(&state.file_date);
  return 0;
}

int FRT_plot_param() {
  int argc = 0;
  char** argv = nullptr;
  RES_getvals("plot_param", &argc, &argv);
  for (int i = 0; i < argc && argv; ++i) {
    const char* p = argv[i];
    if (!p) continue;
    if (stricmp(p, "noprlab") == 0) {
      state.pr_lab = 0;
    } else if (stricmp(p, "barb") == 0) {
      state.barb = 1;
    } else if (strnicmp(p, "prrad", 5) == 0) {
      const float r = std::strlen(p) > 6 ? static_cast<float>(std::atof(p + 6)) : 0.0f;
      if (std::isfinite(r) && r >= 0) state.pr_rad = r;
    } else if (strnicmp(p, "hour", 4) == 0) {
      const long h = std::strlen(p) > 5 ? std::strtol(p + 5, nullptr, 10) : 0;
      if (h >= 0 && h <= 999) state.hour = static_cast<int>(h);
    }
  }
  if (argv) free_parsed_array(argc, argv);
  return 0;
}

int FRT_plot_file(const char* filename) {
  FRT_plot_param();
  std::unique_ptr<FILE, decltype(&std::fclose)> file(filename ? FILE_open(filename, "r") : nullptr, &std::fclose);
  if (!file) {
    MESS_print(M_warn, "FRT_plot_file: Unable to open front file: %s\n", filename ? filename : "(null)");
    return 0;
  }
  Drawing dw;
  dw.attrs = make_attrs();
  GPH_text_align(GCENTER_HOR, GHALF_VERT);
  PLT_label_up_left("Frontal positions");
  char wanted[16];
  std::snprintf(wanted, sizeof wanted, "%dHR", state.hour);

  LineSource lines;
  lines.f = file.get();
  std::string line;
  bool in_section = false, accepted = false;
  while (lines.next(&line)) {
    const std::vector<std::string_view> words = split_words(line);
    if (words.empty()) continue;
    const std::string_view first = words[0];
    if (!in_section) {
      if (state.hour == 0 && first == "VALID") {
        in_section = true;
        accepted = accept_valid(words.size() > 1 ? words[1] : std::string_view());
      } else if (state.hour > 0 && first == wanted) {
        in_section = true;
        accepted = true;
        forecast_label();
      }
      continue;
    }
    if (first.find("VALID") != std::string_view::npos || is_header(first)) break;
    if (!accepted) continue;
    draw_record(dw, read_record(lines, line));
  }
  draw_centres(dw);
  return 0;
}

void FRT_callback(int /*type*/, char* str, float x, float y) {
  PLT_print_location(str, x, y);
  PLT_plot_zoom(str, x, y);
  PLT_plot_resize(str, x, y);
}

int FRT_plot(Domain* domain) {
  if (!domain) return 0;
  bool opened = false;
  if (gchk_graphics()) {
    PLT_reset(DOM_aspect(domain));
  } else {
    FRT_plot_param();
    if (PLT_open(DOM_aspect(domain)) != 0) return 0;
    opened = true;
    PLT_set_callback(FRT_callback);
    PLT_set_zoom_func(FRT_plot);
    PLT_set_resize_func(FRT_plot);
  }
  MAP_setup(domain);
  if (const char* t = RES_get("time"); t && *t) {
    const long h = std::strtol(t, nullptr, 10);
    if (h >= 0 && h <= 999) state.hour = static_cast<int>(h);
  }
  std::vector<std::string> names;
  FILE_first(&state.file_date);
  char name[FILE_PATH_LEN];
  std::vector<Date> dates;
  while (FILE_get_next(name) == 1) {
    names.emplace_back(name);
    Date d{};
    FILE_get_date(&d);
    dates.push_back(d);
  }
  bool several = names.size() > 1;
  if (several && !gtype_is_WIN_PIX()) {
    /* A page has no frames: every bulletin would be drawn over the same
     * page, so the newest one is drawn alone. */
    MESS_print(M_mess, "FRT_plot: %zu files on a device without frames; only the last one is drawn\n", names.size());
    names.erase(names.begin(), names.end() - 1);
    dates.erase(dates.begin(), dates.end() - 1);
    several = false;
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    int frame = static_cast<int>(i);
    if (several) {
      /* A new frame is appended, so that the kernel counts the frames it
       * loops and dumps; a re-run (zoom, resize) redraws the ones it has. */
      frame = gcreate_frame(frame < gget_num_images() ? frame : GFRAME_LAST);
      if (frame < 0) {
        /* Drawn into the last frame, every further file would hide it. */
        MESS_print(M_warn, "FRT_plot: The window holds at most %d frames; %zu files from %s on are not drawn\n",
                   GMAX_FRAMES, names.size() - i, names[i].c_str());
        break;
      }
      gselect_frame(frame);
    }
    state.file_date = dates[i];
    MAP_draw(5);
    FRT_plot_file(names[i].c_str());
    MAP_draw(2);
    PLT_labels();
    if (several) gdisplay_frame(frame);
    PLT_dump(frame);
  }
  if (several) gset_looping(1);
  if (opened) PLT_close();
  return 0;
}
