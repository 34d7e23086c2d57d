/*
 * gks_text: the text primitive, its attributes and the stroke fonts.
 *
 * gtext draws a string at a world position. With a stroke font (font type
 * 1) the string becomes short line strokes, scaled, expanded, spaced,
 * aligned and turned by the text attributes; the strokes reach the device
 * through the text operations of its device record. An X server font (font type 2, a font-list name
 * beginning with "#") draws the string whole on the window devices; without
 * a window such a font cannot load.
 *
 * The module also keeps the font list (from "kez.fnl", the "font_list"
 * setting or gset_font_list), the loaded stroke font and the drop-shadow
 * count that markers share.
 *
 * Stroke-font files are text: whitespace-separated integers. The glyph data
 * runs up to the first 254; each value is one byte (the end mark is stored
 * as 255); 255 separates the glyphs. In the labelled form (a first number
 * other than 255 and a name) every 255 is followed by a label word. Then 256
 * offsets into the glyph data, one per character code, -1 for none. A glyph
 * is a run of byte pairs (x, y): x of 128 or more lifts the pen and starts a
 * stroke at x - 128. Font units: baseline at y 35, capitals 105 high. Every
 * read is bounded: a file that exceeds the format is refused whole.
 *
 * On the window devices the strokes and the server fonts are drawn with the
 * text context, made at the open of a window device and freed at its close.
 *
 * Invariants: every offset in font_index is -1 or inside font_db, and every
 * walk over a glyph stops at the end of font_db. The glyphs' decoded points
 * (glyph_points) are made from font_db with it, and stroke_points holds the
 * longest glyph.
 */
#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "kez.h"
#include "kezgks_x11.h"

namespace {

constexpr int MAX_FONTS = 40;      /* entries of the font list */
constexpr int MAX_FILE_FONTS = 10; /* entries read from a "fi:" file */
constexpr std::size_t ABBR_LEN = 9;
constexpr std::size_t NAME_LEN = 99;
constexpr std::size_t FONT_DB_SIZE = 15000; /* glyph bytes, end mark included */
constexpr int NUM_CODES = 256;
constexpr int SPACE = 32;
constexpr int SPACE_WIDTH = 40;    /* advance of the space, font units */
constexpr float FONT_HEIGHT = 105; /* font units in one character height */
constexpr std::size_t MAX_PENDING = GTEXT_PENDING;
constexpr unsigned char SEPARATOR = 255;
constexpr int PEN_UP = 128;

enum FontType { NO_FONT = 0, STROKE_FONT = 1, SERVER_FONT = 2 };

struct FontEntry {
  std::string abbr; /* one word, at most ABBR_LEN characters; may be empty */
  std::string name; /* a stroke-font file, or "#" and a server font */
};

struct TextState {
  int text_color = 1;
  float text_width = 1;
  float text_height = 0.01f; /* height of a capital, world units */
  float text_expan = 1;
  float text_space = 0.25f;  /* hundreds of font units after each character */
  float text_char_space = 0; /* above 0: fixed pitch */
  int horiz_align = 0;
  int vert_align = 0;
  float upx = 0, upy = 1; /* unit length */
  int font_ind = 1;
  int drop_shadow = 0; /* lives for the process */
  int drop_color = 1;
  std::vector<FontEntry> fonts;
  std::string font_list; /* from gset_font_list */
  int font_type = NO_FONT;
  std::vector<unsigned char> font_db;
  std::array<int, NUM_CODES> font_index = filled_index();
  std::array<unsigned char, NUM_CODES> font_size{};
  /* The glyphs' points as the strokes take them, prepared once per font:
   * glyph code c has glyph_count[c] points from glyph_first[c] on, in font
   * units (exact in a float), and strokes_count[c] strokes whose first
   * points (indexes in the glyph) are listed from strokes_first[c] on; the
   * first stroke begins at the glyph's first point. */
  std::vector<float> glyph_x, glyph_y;
  std::vector<int> stroke_starts;
  std::array<int, NUM_CODES> glyph_first{};
  std::array<int, NUM_CODES> glyph_count{};
  std::array<int, NUM_CODES> strokes_first{};
  std::array<int, NUM_CODES> strokes_count{};
  std::vector<Gpt> stroke_points;   /* a glyph's points in world units; as long as the longest glyph */
  GC text_gc = nullptr;             /* the window devices' text context */
  GxForeground foreground;          /* text_gc's, when the colour was set */
  XFontStruct* font_info = nullptr; /* the loaded server font */

  static std::array<int, NUM_CODES> filled_index() {
    std::array<int, NUM_CODES> a{};
    a.fill(-1);
    return a;
  }
};

TextState state;

/* ---- the window ------------------------------------------------------ */

/* The text context with its foreground up to date. */
GC text_context() { return gx_foreground(state.text_gc, &state.foreground); }

/* The text context while a window device is open. */
GC window_gc() { return gtype_is_WIN_PIX() && gget_display() ? text_context() : nullptr; }

unsigned long text_pixel() { return static_cast<unsigned long>(gget_color_ind(state.text_color)); }

/* Shadows are black on the window, whatever the text colour. */
void x_shadow(bool on) {
  if (GC gc = window_gc())
    XSetForeground(gget_display(), gc, on ? BlackPixel(gget_display(), gget_screen()) : text_pixel());
}

void free_server_font() {
  if (state.font_info && gget_display()) XFreeFont(gget_display(), state.font_info);
  state.font_info = nullptr;
}

/* Server fonts need the window's display; the font becomes the text
 * context's. */
bool load_server_font(const char* name) {
  Display* d = gget_display();
  if (!d || !gtype_is_WIN_PIX()) return false;
  XFontStruct* font = XLoadQueryFont(d, name);
  if (!font) return false;
  free_server_font();
  state.font_info = font;
  if (state.text_gc) XSetFont(d, state.text_gc, font->fid);
  return true;
}

struct ServerOffset {
  int align;
  int (*offset)(const XFontStruct& font);
};

constexpr ServerOffset server_offsets[] = {
    {GTOP_VERT, [](const XFontStruct& f) { return f.ascent; }},
    {GCAP_VERT, [](const XFontStruct& f) { return f.ascent; }},
    {GHALF_VERT, [](const XFontStruct& f) { return f.ascent / 2; }},
    {GBOTTOM_VERT, [](const XFontStruct& f) { return -f.descent; }},
};

/* The string in the server font at the anchor pixel, aligned by the font's
 * measures; height, expansion, spacing and turn do not apply. */
void draw_server_text(const Gpt& pos, const char* string) {
  GC gc = window_gc();
  if (!gc || !state.font_info) return;
  Display* d = gget_display();
  const int len = static_cast<int>(std::min<std::size_t>(std::strlen(string), INT_MAX));
  const int width = XTextWidth(state.font_info, string, len);
  int dx = 0, dy = 0;
  if (state.horiz_align == GCENTER_HOR) dx = -(width / 2);
  if (state.horiz_align == GRIGHT_HOR) dx = -width;
  for (const ServerOffset& o : server_offsets)
    if (o.align == state.vert_align) dy = o.offset(*state.font_info);
  const int x = static_cast<int>(xW_p(pos.x) + 0.5f) + dx, y = static_cast<int>(yW_p(pos.y) + 0.5f) + dy;
  const int k = state.drop_shadow;
  if (k > 0) {
    x_shadow(true);
    for (int i = 0; i < k; ++i) XDrawString(d, gget_draw_window(), gc, x + i, y + i, string, len);
    x_shadow(false);
  }
  XDrawString(d, gget_draw_window(), gc, x, y, string, len);
}

const char* x_default_font_list() {
  return gget_display() ? XGetDefault(gget_display(), gget_prog_name(), "font_list") : nullptr;
}

/* ---- font units -------------------------------------------------------- */

/* Truncation toward zero into a range no later sum can overflow. */
int units(double v) {
  if (!(v == v)) return 0;
  return static_cast<int>(std::clamp(v, -1e9, 1e9));
}

/* The advance of a character with a glyph. */
double advance(int code) {
  if (state.text_char_space > 0) return (100.0 * state.text_space + 100.0) * state.text_char_space;
  return state.font_size[static_cast<std::size_t>(code)] + 100.0 * state.text_space;
}

/* The length of a string in font units. */
int string_length(const unsigned char* s, std::size_t n) {
  int length = 0;
  for (std::size_t i = 0; i + 1 < n; ++i) {
    const double add = state.text_char_space > 0 ? state.text_char_space * (100.0 * state.text_space + 100.0)
                                                 : 100.0 * state.text_space + state.font_size[s[i]];
    length = units(length + add);
  }
  if (n > 0) {
    const double last = state.text_char_space > 0 ? 100.0 * state.text_char_space : state.font_size[s[n - 1]];
    length = units(length + last);
  }
  return units(state.text_expan * length);
}

int horizontal_offset(int length) {
  switch (state.horiz_align) {
    case GCENTER_HOR: return -(length / 2);
    case GRIGHT_HOR: return -length;
    default: return 0;
  }
}

/* Font y of the anchor for each vertical alignment. */
struct VerticalOffset {
  int align;
  int offset;
};

constexpr VerticalOffset vertical_offsets[] = {
    {GNORMAL_VERT, -35}, {GTOP_VERT, -160}, {GCAP_VERT, -140}, {GHALF_VERT, -85}, {GBASE_VERT, -35}, {GBOTTOM_VERT, 0},
};

int vertical_offset() {
  for (const VerticalOffset& v : vertical_offsets)
    if (v.align == state.vert_align) return v.offset;
  return 0;
}

/* ---- reading font files ----------------------------------------------- */

/* Whitespace-separated words of a text. */
class Words {
 public:
  explicit Words(std::string_view text) : text_(text) {}

  bool next(std::string_view* word) {
    while (at_ < text_.size() && is_blank(text_[at_])) ++at_;
    if (at_ >= text_.size()) return false;
    const std::size_t from = at_;
    while (at_ < text_.size() && !is_blank(text_[at_])) ++at_;
    *word = text_.substr(from, at_ - from);
    return true;
  }

  /* The next word as an integer; false at the end or for any other word. */
  bool integer(long* value) {
    std::string_view word;
    if (!next(&word)) return false;
    const char* end = word.data() + word.size();
    auto [ptr, ec] = std::from_chars(word.data(), end, *value);
    return ec == std::errc() && ptr == end;
  }

 private:
  static bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }
  std::string_view text_;
  std::size_t at_ = 0;
};

bool read_all(FILE* fp, std::string* out) {
  char buf[8192];
  std::size_t got = 0;
  while ((got = std::fread(buf, 1, sizeof buf, fp)) > 0) out->append(buf, got);
  return !std::ferror(fp);
}

/* A loaded font: its glyph bytes and offsets. */
struct StrokeFont {
  std::vector<unsigned char> db;
  std::array<int, NUM_CODES> index{};
};

/* Parses a stroke-font file; on failure *why says what exceeds the format. */
bool parse_font(std::string_view text, StrokeFont* font, const char** why) {
  Words words(text);
  long first = 0;
  if (!words.integer(&first)) {
    *why = "no glyph data";
    return false;
  }
  const bool labelled = first != SEPARATOR;
  std::string_view word;
  if (labelled) {
    if (!words.next(&word)) {
      *why = "no font header";
      return false;
    }
  } else {
    font->db.push_back(SEPARATOR);
  }
  for (;;) {
    long v = 0;
    if (!words.integer(&v)) {
      *why = "glyph data without its end mark";
      return false;
    }
    if (font->db.size() >= FONT_DB_SIZE) {
      *why = "more glyph data than a font holds";
      return false;
    }
    if (v == 254) {
      font->db.push_back(SEPARATOR);
      break;
    }
    if (v < 0 || v > 255) {
      *why = "a glyph value outside 0 to 255";
      return false;
    }
    font->db.push_back(static_cast<unsigned char>(v));
    if (labelled && v == SEPARATOR && !words.next(&word)) {
      *why = "a glyph label missing";
      return false;
    }
  }
  const long size = static_cast<long>(font->db.size());
  for (int& offset : font->index) {
    long v = 0;
    if (!words.integer(&v)) {
      *why = "an incomplete glyph index";
      return false;
    }
    if (v < -1 || v >= size) {
      *why = "a glyph offset outside the glyph data";
      return false;
    }
    offset = static_cast<int>(v);
  }
  return true;
}

/* The advance width of a glyph: its largest x. The first pair always
 * counts; the walk ends at a pair that begins a new glyph. */
unsigned char glyph_width(const std::vector<unsigned char>& db, int offset) {
  int widest = 0;
  for (std::size_t i = static_cast<std::size_t>(offset); i + 1 < db.size(); i += 2) {
    if (db[i] == SEPARATOR && i != static_cast<std::size_t>(offset)) break;
    const int x = db[i] >= PEN_UP ? db[i] - PEN_UP : db[i];
    widest = std::max(widest, x);
  }
  return static_cast<unsigned char>(widest);
}

void clear_font() {
  state.font_index.fill(-1);
  state.font_size.fill(0);
  state.font_db.clear();
  state.glyph_x.clear();
  state.glyph_y.clear();
  state.stroke_starts.clear();
  state.glyph_first.fill(0);
  state.glyph_count.fill(0);
  state.strokes_first.fill(0);
  state.strokes_count.fill(0);
}

/* Decodes each glyph's pairs once, as the stroke walk reads them: from the
 * glyph's offset, a pair at a time, up to a separator or the end of the
 * data. A stroke begins at the first point and at every pen lift. */
void prepare_glyphs() {
  const std::vector<unsigned char>& db = state.font_db;
  std::size_t longest = 0;
  for (std::size_t c = 0; c < NUM_CODES; ++c) {
    const int offset = state.font_index[c];
    state.glyph_first[c] = static_cast<int>(state.glyph_x.size());
    state.strokes_first[c] = static_cast<int>(state.stroke_starts.size());
    if (offset < 0) continue;
    int n = 0;
    for (std::size_t i = static_cast<std::size_t>(offset); i + 1 < db.size() && db[i] != SEPARATOR; i += 2, ++n) {
      const bool up = db[i] >= PEN_UP;
      if (up || n == 0) state.stroke_starts.push_back(n);
      state.glyph_x.push_back(static_cast<float>(up ? db[i] - PEN_UP : db[i]));
      state.glyph_y.push_back(static_cast<float>(db[i + 1]));
    }
    state.glyph_count[c] = n;
    state.strokes_count[c] = static_cast<int>(state.stroke_starts.size()) - state.strokes_first[c];
    longest = std::max(longest, static_cast<std::size_t>(n));
  }
  state.stroke_points.assign(std::max<std::size_t>(longest, 1), Gpt{0, 0});
}

/* The points of a glyph in world units: font point k at (x[k], y[k]) is
 * moved by h along the baseline and v across it, scaled by s (and x by
 * expan), and turned by the up vector. The operations and their order are
 * those of one point at a time, so the four-wide steps give the same
 * numbers. */
struct GlyphPlace {
  float s, expan, hf, vf, ox, oy, upx, upy;
};

void place_glyph(const GlyphPlace& g, const float* x, const float* y, int m, Gpt* out) {
  int k = 0;
#if defined(__SSE2__)
  const __m128 s = _mm_set1_ps(g.s), expan = _mm_set1_ps(g.expan), hf = _mm_set1_ps(g.hf), vf = _mm_set1_ps(g.vf);
  const __m128 ox = _mm_set1_ps(g.ox), oy = _mm_set1_ps(g.oy), upx = _mm_set1_ps(g.upx), upy = _mm_set1_ps(g.upy);
  for (; k + 4 <= m; k += 4) {
    const __m128 u = _mm_mul_ps(s, _mm_add_ps(_mm_mul_ps(_mm_loadu_ps(x + k), expan), hf));
    const __m128 wv = _mm_mul_ps(s, _mm_add_ps(_mm_loadu_ps(y + k), vf));
    const __m128 px = _mm_add_ps(_mm_add_ps(ox, _mm_mul_ps(upy, u)), _mm_mul_ps(upx, wv));
    const __m128 py = _mm_add_ps(_mm_sub_ps(oy, _mm_mul_ps(upx, u)), _mm_mul_ps(upy, wv));
    float pair[8];
    _mm_storeu_ps(pair, _mm_unpacklo_ps(px, py));
    _mm_storeu_ps(pair + 4, _mm_unpackhi_ps(px, py));
    std::memcpy(out + k, pair, sizeof pair);
  }
#endif
  for (; k < m; ++k) {
    const float u = g.s * (x[k] * g.expan + g.hf);
    const float wv = g.s * (y[k] + g.vf);
    out[k] = Gpt{g.ox + g.upy * u + g.upx * wv, g.oy - g.upx * u + g.upy * wv};
  }
}

/* ---- the font list ------------------------------------------------------ */

/* Adds an entry unless the list is full or a name exceeds its field. */
bool add_font(std::string abbr, std::string name, int limit, const char* source) {
  if (static_cast<int>(state.fonts.size()) >= limit) {
    MESS_print(M_warn, "gsetup_fonts: more than %d fonts in %s; the rest are not used\n", limit, source);
    return false;
  }
  if (abbr.size() > ABBR_LEN || name.size() > NAME_LEN || name.empty()) {
    MESS_print(M_warn, "gsetup_fonts: font entry refused (abbreviation up to %zu, name 1 to %zu characters): %s %s\n",
               ABBR_LEN, NAME_LEN, abbr.c_str(), name.c_str());
    return true;
  }
  state.fonts.push_back(FontEntry{std::move(abbr), std::move(name)});
  return true;
}

std::string trimmed(std::string_view s) {
  const char* blanks = " \t\r\n\f\v";
  const std::size_t from = s.find_first_not_of(blanks);
  if (from == std::string_view::npos) return "";
  return std::string(s.substr(from, s.find_last_not_of(blanks) - from + 1));
}

std::string along_file_path(const char* name) { return FILE_add_path(RES_get("file_path"), name); }

/* "fi:" and a file: words in pairs, abbreviation and name. */
void fonts_from_list_file(const char* file) {
  const std::string path = along_file_path(file);
  FILE* fp = FILE_open(path.c_str(), "r");
  if (!fp) {
    MESS_print(M_warn, "gsetup_fonts: unable to load font list file: %s\n", path.c_str());
    return;
  }
  std::string content;
  read_all(fp, &content);
  FILE_close(fp);
  Words words(content);
  std::string_view abbr, name;
  while (words.next(&abbr) && words.next(&name))
    if (!add_font(std::string(abbr), std::string(name), MAX_FILE_FONTS, path.c_str())) break;
}

/* A comma-separated list of font names. */
void fonts_from_names(const std::string& list) {
  int argc = 0;
  char** argv = nullptr;
  if (parse_string(list.c_str(), ',', &argc, &argv) != 0) return;
  for (int i = 0; i < argc; ++i)
    if (!add_font("", trimmed(argv[i]), MAX_FONTS, "font_list")) break;
  free_parsed_array(argc, argv);
}

/* "kez.fnl": an abbreviation and a name a line; a missing file is no
 * error. */
void fonts_from_default_list() {
  const std::string path = along_file_path("kez.fnl");
  FILE* fp = FILE_open(path.c_str(), "r");
  if (!fp) return;
  std::string content;
  read_all(fp, &content);
  FILE_close(fp);
  std::string_view rest(content);
  while (!rest.empty()) {
    const std::size_t eol = rest.find('\n');
    const std::string line = trimmed(rest.substr(0, eol));
    rest = eol == std::string_view::npos ? std::string_view() : rest.substr(eol + 1);
    if (line.empty()) continue;
    const std::size_t gap = line.find_first_of(" \t");
    const std::string abbr = line.substr(0, gap);
    const std::string name = gap == std::string::npos ? "" : trimmed(std::string_view(line).substr(gap));
    if (!add_font(abbr, name, MAX_FONTS, path.c_str())) break;
  }
}

/* ---- shared setter steps ---------------------------------------------- */

/* A number a setter can store: finite and not negative. */
bool usable_size(float v) { return std::isfinite(v) && v >= 0; }

} // namespace

/* ---- the primitive ------------------------------------------------------ */

Gint gtext(const Gpt* pos, const Gchar* string) {
  if (!gcheck_open("gtext")) return -1;
  if (!pos || !string || !*string) return 0;
  if (!gfinite_pt(*pos)) {
    MESS_print(M_debug, "gtext: text at a non-finite position not drawn\n");
    return 0;
  }
  const Gtext_ops& ops = gdevice().text;
  if (ops.whole && ops.whole(*pos, string)) return 0;
  const std::size_t len = std::strlen(string);
  if (!gget_redraw()) {
    gnew_obj(GOBJ_TEXT, 1, 0, nullptr); /* counted, not recorded */
  } else if (len < INT_MAX - sizeof(Gpt) - 1) {
    /* The record's block, filled in place: the position, then the string. */
    if (auto* data = static_cast<char*>(gnew_obj(GOBJ_TEXT, 1, static_cast<int>(sizeof(Gpt) + len + 1), nullptr))) {
      std::memcpy(data, pos, sizeof(Gpt));
      std::memcpy(data + sizeof(Gpt), string, len + 1);
    }
  }
  const auto* s = reinterpret_cast<const unsigned char*>(string);
  if (state.font_type == STROKE_FONT) {
    const int k = state.drop_shadow;
    if (k > 0) {
      /* One device unit in world units; a step of zero (a clamped or
       * degenerate transformation) puts the shadows on the text. */
      const double step_x = static_cast<double>(xW_p(pos->x + 1)) - xW_p(pos->x);
      const double step_y = static_cast<double>(yW_p(pos->y + 1)) - yW_p(pos->y);
      const double dx = step_x != 0 ? 1 / step_x : 0, dy = step_y != 0 ? 1 / step_y : 0;
      if (ops.shadow) ops.shadow(true, state.text_color);
      for (int i = 0; i < k; ++i) text(static_cast<float>(pos->x + i * dx), static_cast<float>(pos->y + i * dy), s);
      if (ops.shadow) ops.shadow(false, state.text_color);
    }
    text(pos->x, pos->y, s);
  } else if (state.font_type == SERVER_FONT) {
    draw_server_text(*pos, string);
  }
  return 0;
}

/* The renderer hands each device the strokes of the glyphs. */
int text(float ox, float oy, const unsigned char* string) {
  if (!string || !*string) return 0;
  const Gtext_ops& ops = gdevice().text;
  const std::size_t n = std::strlen(reinterpret_cast<const char*>(string));
  const float s = state.text_height / FONT_HEIGHT;
  const float expan = state.text_expan;
  int h = horizontal_offset(string_length(string, n));
  const int v = vertical_offset();
  if (ops.setup) ops.setup(string, ox, oy, Gline_attr{state.text_color, state.text_width, 1});

  /* Held apart from the state, which the device calls cannot change. */
  GlyphPlace place{s, expan, 0, static_cast<float>(v), ox, oy, state.upx, state.upy};
  Gpt* const pts = state.stroke_points.data();
  /* HPGL takes each point as it comes; the others take finished strokes. */
  const bool each_point = ops.pen_down != nullptr;
  const bool whole_glyph = ops.strokes && !each_point;

  for (std::size_t c = 0; c < n; ++c) {
    const int code = string[c];
    const auto at_code = static_cast<std::size_t>(code);
    const int offset = state.font_index[at_code];
    if (offset < 0) {
      if (code == SPACE) {
        const double gap = state.text_char_space > 0 ? (100.0 * state.text_space + 100.0) * state.text_char_space
                                                     : 100.0 * state.text_space + SPACE_WIDTH;
        h = units(h + units(expan * gap));
      }
      continue;
    }
    if (ops.glyph_begin && !whole_glyph) ops.glyph_begin();
    place.hf = static_cast<float>(h);
    const int m = state.glyph_count[at_code];
    place_glyph(place, state.glyph_x.data() + state.glyph_first[at_code],
                state.glyph_y.data() + state.glyph_first[at_code], m, pts);
    const int* const starts = state.stroke_starts.data() + state.strokes_first[at_code];
    const int strokes = state.strokes_count[at_code];
    if (whole_glyph) {
      ops.strokes(pts, m, starts, strokes);
      h = units(h + units(expan * advance(code)));
      continue;
    }
    /* The points held for the device are always a run of the glyph's:
     * `count` of them from `first` on. A stroke begins with a pen lift
     * (the glyph's first point too), and a stroke of MAX_PENDING points
     * is handed over and goes on from its last point. */
    int first = 0, count = 0;
    auto finished = [&]() { return count > 1 ? count : 0; };
    for (int j = 0; j < strokes; ++j) {
      const int a = starts[j], b = j + 1 < strokes ? starts[j + 1] : m;
      if (ops.pen_up) ops.pen_up(pts[a], pts + first, finished());
      first = a;
      count = 1;
      if (each_point) {
        for (int k = a + 1; k < b; ++k) {
          ops.pen_down(pts[k]);
          if (++count == static_cast<int>(MAX_PENDING)) {
            if (ops.split) ops.split(pts[k], pts + first, finished());
            first = k;
            count = 1;
          }
        }
        continue;
      }
      for (int k = a + static_cast<int>(MAX_PENDING) - 1; k < b; k += static_cast<int>(MAX_PENDING) - 1) {
        count = static_cast<int>(MAX_PENDING);
        if (ops.split) ops.split(pts[k], pts + first, finished());
        first = k;
        count = 1;
      }
      count = b - first;
    }
    h = units(h + units(expan * advance(code)));
    if (ops.glyph_end) ops.glyph_end(pts + first, finished());
  }
  if (ops.setup && ops.end) ops.end();
  return 0;
}

/* ---- fonts --------------------------------------------------------------- */

int read_font(const char* name) {
  if (!gchk_graphics() || !name) return -1;
  clear_font();
  if (name[0] == '#') {
    if (!load_server_font(name + 1)) {
      state.font_type = NO_FONT;
      MESS_print(M_warn, "read_font: unable to load font: %s\n", name + 1);
      return -1;
    }
    state.font_type = SERVER_FONT;
    return 0;
  }
  state.font_type = NO_FONT;
  const std::string path = along_file_path(name);
  FILE* fp = FILE_open(path.c_str(), "r");
  if (!fp) {
    MESS_print(M_warn, "read_font: unable to load font file: %s\n", path.c_str());
    return -1;
  }
  std::string content;
  const bool read = read_all(fp, &content);
  FILE_close(fp);
  StrokeFont font;
  const char* why = "a read error";
  if (!read || !parse_font(content, &font, &why)) {
    MESS_print(M_warn, "read_font: font file refused (%s): %s\n", why, path.c_str());
    return -1;
  }
  state.font_db = std::move(font.db);
  state.font_index = font.index;
  for (int c = 0; c < NUM_CODES; ++c) {
    const int offset = state.font_index[static_cast<std::size_t>(c)];
    if (offset >= 0) state.font_size[static_cast<std::size_t>(c)] = glyph_width(state.font_db, offset);
  }
  state.font_size[SPACE] = SPACE_WIDTH;
  prepare_glyphs();
  state.font_type = STROKE_FONT;
  return 0;
}

int gsetup_fonts() {
  state.fonts.clear();
  std::string list;
  if (const char* res = RES_get("font_list")) list = res;
  if (!state.font_list.empty()) list = state.font_list;
  if (list.empty())
    if (const char* x = x_default_font_list()) list = x;
  if (list.size() >= 3 && strnicmp(list.c_str(), "fi:", 3) == 0)
    fonts_from_list_file(list.c_str() + 3);
  else if (!list.empty())
    fonts_from_names(list);
  else
    fonts_from_default_list();
  if (state.fonts.empty()) return read_font("modern.fnt");
  int entry = state.font_ind - 1;
  if (entry < 0 || entry >= static_cast<int>(state.fonts.size())) entry = 0;
  return read_font(state.fonts[static_cast<std::size_t>(entry)].name.c_str());
}

int gget_font_index(const char* str) {
  if (!str) return 1;
  if (*str >= '0' && *str <= '9') {
    long v = std::strtol(str, nullptr, 10);
    return static_cast<int>(std::clamp(v, 0L, static_cast<long>(INT_MAX)));
  }
  for (std::size_t i = 0; i < state.fonts.size(); ++i)
    if (stricmp(state.fonts[i].abbr.c_str(), str) == 0) return static_cast<int>(i) + 1;
  return 1;
}

int gset_font_list(const char* list) {
  state.font_list = list ? list : "";
  return 1;
}

int gset_font_drop(int n) {
  state.drop_shadow = n;
  return 0;
}

int gget_font_drop() { return state.drop_shadow; }

int gset_font_drop_color(int n) {
  state.drop_color = n;
  return 0;
}

int gget_text_colr() { return state.text_color; }

Gint ginq_text_align(Gint* err_ind, Gtext_align* align) {
  if (align) *align = Gtext_align{static_cast<Gtext_hor>(state.horiz_align), static_cast<Gtext_ver>(state.vert_align)};
  if (err_ind) *err_ind = 0;
  return 0;
}

Gint gset_text_path(Gtext_path) { return 0; }

int greset_text() {
  gattr_changed();
  state.text_color = 1;
  state.text_width = 1;
  state.text_height = 0.01f;
  state.text_expan = 1;
  state.text_space = 0.25f;
  state.text_char_space = 0;
  state.horiz_align = 0;
  state.vert_align = 0;
  state.upx = 0;
  state.upy = 1;
  state.font_ind = 1;
  return 0;
}

/* A window opened makes the context, and the window classes set it up
 * (ginit_x_gc). */
int ginit_text(int type) {
  if (GC gc = ginit_x_gc(type, &state.text_gc, gget_base_window(), gdel_text_gc)) {
    state.foreground.due = false; /* the new set-up's white stands */
    Display* d = gget_display();
    XSetLineAttributes(d, gc, 1, LineSolid, CapProjecting, JoinBevel);
    if (state.font_info) XSetFont(d, gc, state.font_info->fid);
  }
  return 0;
}

int gdel_text_gc() {
  free_server_font();
  if (state.text_gc && gget_display()) XFreeGC(gget_display(), state.text_gc);
  state.text_gc = nullptr;
  state.foreground.due = false;
  if (state.font_type == SERVER_FONT) state.font_type = NO_FONT;
  return 0;
}

GC gget_text_gc() { return text_context(); }

/* ---- setters ------------------------------------------------------------- */

Gint gset_text_colr_ind(Gint ind) {
  if (!gcheck_open("gset_text_colr_ind")) return -1;
  if (gcheck_setter_colr("gset_text_colr_ind", &ind) != 0) return -1;
  return gset_attr(&state.text_color, ind, "TE_CLR %d\n", GOBJ_TEXT_COLR,
                   [](int v) { gx_foreground_due(&state.foreground, state.text_gc, v); });
}

/* The text sizes need no open kernel: a plotter may set them first. */
Gint gset_char_ht(Gfloat height) {
  if (!usable_size(height)) {
    gerr_printf("gset_char_ht", "invalid character height: %f\n", height);
    return -1;
  }
  return gset_attr(&state.text_height, height, "TE_HGHT %f\n", GOBJ_CHAR_HT, nullptr);
}

Gint gset_expan(Gfloat expan) {
  if (!usable_size(expan)) {
    gerr_printf("gset_expan", "invalid expansion factor: %f\n", expan);
    return -1;
  }
  return gset_attr(&state.text_expan, expan, "TE_EXP %f\n", GOBJ_EXPAN, nullptr);
}

Gint gset_text_width(Gfloat width) {
  if (!usable_size(width)) {
    gerr_printf("gset_text_width", "invalid text width: %f\n", width);
    return -1;
  }
  if (width == 0 && gtype_is_PS()) width = 1;
  return gset_attr(&state.text_width, width, "TE_WDTH %f\n", GOBJ_TEXT_WIDTH, [](float v) {
    if (GC gc = window_gc()) {
      XGCValues values{};
      values.line_width = gx_line_width(v);
      XChangeGC(gget_display(), gc, GCLineWidth, &values);
    }
  });
}

Gint gset_space(Gfloat space) {
  if (!std::isfinite(space)) {
    gerr_printf("gset_space", "invalid spacing: %f\n", space);
    return -1;
  }
  return gset_attr(&state.text_space, space, "TE_SPC %f\n", GOBJ_TEXT_SPACE, nullptr);
}

Gint gset_char_space(Gfloat space) {
  if (!std::isfinite(space)) {
    gerr_printf("gset_char_space", "invalid character spacing: %f\n", space);
    return -1;
  }
  return gset_attr(&state.text_char_space, space, "TE_CSPC %f\n", GOBJ_CHAR_SPACE, nullptr);
}

/* A vector without a direction cannot turn the text. */
Gint gset_char_up_vec(const Gpt* up) {
  if (!up) return -1;
  const double length = std::sqrt(static_cast<double>(up->x) * up->x + static_cast<double>(up->y) * up->y);
  if (!(length > 0) || !std::isfinite(length)) {
    gerr_printf("gset_char_up_vec", "invalid up vector: %f,%f\n", up->x, up->y);
    return -1;
  }
  if (up->x == state.upx && up->y == state.upy) return 0;
  if (!grecord("TE_UP %f,%f\n", static_cast<double>(up->x), static_cast<double>(up->y)))
    gnew_obj(GOBJ_UP_VEC, 1, sizeof(Gpt), up);
  state.upx = static_cast<float>(up->x / length);
  state.upy = static_cast<float>(up->y / length);
  gattr_changed();
  return 0;
}

Gint gset_text_align(const Gtext_align* align) {
  if (!align) return -1;
  if (align->hor == state.horiz_align && align->vert == state.vert_align) return 0;
  state.horiz_align = align->hor;
  state.vert_align = align->vert;
  gattr_changed();
  if (!grecord("TE_ALGN %d %d\n", static_cast<int>(align->hor), static_cast<int>(align->vert)))
    gnew_obj(GOBJ_TEXT_ALIGN, 1, sizeof(Gtext_align), align);
  return 0;
}

/* A device that keeps records records the number as given; elsewhere a
 * number outside the font list is refused and the current font stays. */
Gint gset_fontprec(const Gfontprec* fontprec) {
  if (!fontprec) return -1;
  if (fontprec->font == state.font_ind) return 0;
  if (gdevice().record) {
    state.font_ind = fontprec->font;
    gattr_changed();
    grecord("TE_FNT %d %d\n", fontprec->font, static_cast<int>(fontprec->prec));
    return 0;
  }
  const int num_fonts = static_cast<int>(state.fonts.size());
  if (num_fonts > 0 && (fontprec->font < 1 || fontprec->font > num_fonts)) {
    MESS_print(M_warn, "gset_fontprec: invalid font id: %d\n", fontprec->font);
    return -1;
  }
  state.font_ind = fontprec->font;
  gattr_changed();
  gnew_obj(GOBJ_FONTPREC, 1, sizeof(Gfontprec), fontprec);
  if (num_fonts > 0) read_font(state.fonts[static_cast<std::size_t>(fontprec->font - 1)].name.c_str());
  return 0;
}
