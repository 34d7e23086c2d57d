/*
 * colors: colour names and drawing-attribute strings.
 *
 * Every plotting component names its colours the way users write them: a
 * name from the colour-table files ("kez.clr" unless the "color_table"
 * setting names a comma list of files), a print-colour word, a colour index,
 * or a "#" text that is appended to the table on first use. The table has
 * one slot per drawing colour of the kernel (0 to 255); the page layer copies
 * slots 0 to CLR_get_num() - 1 into the kernel at every plot start. A file
 * named by "color_table" may close its leading colours with an "END" line:
 * they form the fill set that colour-filled contours use.
 *
 * Attribute strings such as 'red:wi=2:st=dsh' are applied over a Gattribs
 * bundle; only the fields an item names change.
 *
 * Guarantees: nothing is ever stored past slot 255 (lines beyond it are
 * skipped, appends to a full table fail with a message); every slot below
 * the count holds a defined colour, black when its line gave none; a table
 * read that opens no file leaves the table as it was; lookups outside the
 * table fail with an empty name or -1 instead of reading past it.
 */
#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "kez.h"
#include "kezgks.h"

namespace {

constexpr int NUM_SLOTS = 256;
constexpr int LAST_SLOT = NUM_SLOTS - 1;
constexpr std::size_t NAME_LEN = 19;  /* characters of a colour name */
constexpr std::size_t LINE_LEN = 100; /* characters of a table line that count */
constexpr int KEPT_NAMES = 16;        /* slots whose names survive a new read */

/* One named colour; intensities 0 to 1 as the file gave them. */
struct RGB {
  std::string name; /* empty: the slot has no name */
  float red = 0, grn = 0, blu = 0;
};

struct ColorTable {
  std::array<RGB, NUM_SLOTS> colors{};
  int num_colors = 0; /* slots in use */
  int num_fill = 0;   /* leading slots that form the fill set; 0 none */
};

/* Recent lookups of CLR_get_ind: plots name the same few colours for
 * every datum. A result stands while the table is unchanged. */
struct Found {
  std::string name;
  int ind = -1;
  unsigned long changes = 0;
  bool used = false;
};

struct State {
  ColorTable table;
  unsigned long changes = 0; /* changes of the table so far */
  std::array<Found, 8> found;
} state;

bool same_text(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  return true;
}

bool starts_with_text(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && same_text(text.substr(0, prefix.size()), prefix);
}

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

bool is_digit(char c) { return c >= '0' && c <= '9'; }

/* Items of a text cut at delim; trailing delimiters make no items. */
std::vector<std::string_view> split(std::string_view text, char delim) {
  while (!text.empty() && text.back() == delim) text.remove_suffix(1);
  std::vector<std::string_view> items;
  if (text.empty()) return items;
  std::size_t from = 0;
  for (;;) {
    std::size_t at = text.find(delim, from);
    items.push_back(text.substr(from, at == std::string_view::npos ? std::string_view::npos : at - from));
    if (at == std::string_view::npos) break;
    from = at + 1;
  }
  return items;
}

std::vector<std::string_view> words(std::string_view text) {
  std::vector<std::string_view> out;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && is_blank(text[i])) ++i;
    std::size_t from = i;
    while (i < text.size() && !is_blank(text[i])) ++i;
    if (i > from) out.push_back(text.substr(from, i - from));
  }
  return out;
}

/* A whole text as a finite decimal number. */
bool read_float(std::string_view text, float* value) {
  if (text.empty()) return false;
  std::string copy(text);
  char* end = nullptr;
  errno = 0;
  float v = std::strtof(copy.c_str(), &end);
  if (end == copy.c_str() || *end != '\0' || errno == ERANGE || !std::isfinite(v)) return false;
  *value = v;
  return true;
}

/* A whole text as an integer that fits an int. */
bool read_int(std::string_view text, int* value) {
  if (text.empty()) return false;
  std::string copy(text);
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(copy.c_str(), &end, 10);
  if (end == copy.c_str() || *end != '\0' || errno == ERANGE || v < -2147483647L || v > 2147483647L) return false;
  *value = static_cast<int>(v);
  return true;
}

/* The value of one digit in base 16 or 10; -1 for any other character. */
int digit_value(char c, int base) {
  if (c >= '0' && c <= '9') return c - '0';
  if (base == 16 && c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (base == 16 && c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

/* Three numbers of `width` digits each in `base` (16 or 10), each at most
 * 255; the intensities are the numbers divided by 255. */
bool read_triple(std::string_view digits, std::size_t width, int base, float rgb[3]) {
  if (digits.size() != 3 * width) return false;
  for (std::size_t k = 0; k < 3; ++k) {
    int v = 0;
    for (char c : digits.substr(k * width, width)) {
      const int d = digit_value(c, base);
      if (d < 0) return false;
      v = v * base + d;
    }
    if (v > 255) return false;
    rgb[k] = static_cast<float>(v) / 255.0f;
  }
  return true;
}

/* ---- the table file ---- */

/* The next line of a file, its first LINE_LEN characters kept and the rest
 * of it dropped, so that a long line never turns into extra colours. A
 * line longer than any table line could be (a device or a binary file)
 * ends the reading. */
bool next_line(FILE* fp, std::string* line) {
  constexpr long MAX_LINE = 1L << 20;
  line->clear();
  int c = std::getc(fp);
  if (c == EOF) return false;
  for (long n = 0; c != EOF && c != '\n'; c = std::getc(fp)) {
    if (++n > MAX_LINE) return false;
    if (line->size() < LINE_LEN) line->push_back(static_cast<char>(c));
  }
  while (!line->empty() && is_blank(line->back())) line->pop_back();
  return true;
}

/* The colour part of a line: three decimal intensities, or "#RRGGBB". */
bool read_colour(const std::vector<std::string_view>& w, std::size_t at, float rgb[3]) {
  if (w.size() >= at + 3 && read_float(w[at], &rgb[0]) && read_float(w[at + 1], &rgb[1]) &&
      read_float(w[at + 2], &rgb[2]))
    return true;
  return w.size() > at && w[at].size() == 7 && w[at][0] == '#' && read_triple(w[at].substr(1), 2, 16, rgb);
}

/* Reading one list of table files into a working copy of the table. */
struct TableRead {
  ColorTable work;
  int highest = 0; /* highest slot reached */
  int offset = 0;  /* slot of the current file's running index 0 */
  bool opened = false;

  void store(int slot, std::string name, float r, float g, float b) {
    RGB& c = work.colors[static_cast<std::size_t>(slot)];
    c.name = std::move(name);
    c.red = r;
    c.grn = g;
    c.blu = b;
    if (slot > highest) highest = slot;
  }

  /* Reads one file; returns the END mark (the running index at the END
   * line), or -1 when the file has none. */
  int read_file(FILE* fp, const std::string& path) {
    int run = 0, end_mark = -1, line_no = 0;
    std::string line;
    while (next_line(fp, &line)) {
      ++line_no;
      int slot = run + offset;
      if (slot > LAST_SLOT) break; /* every later line is past it too */
      if (slot > highest) highest = slot;
      if (!line.empty() && line[0] == '#') continue;
      if (same_text(line, "END")) {
        end_mark = run;
        continue;
      }
      std::vector<std::string_view> w = words(line);
      std::size_t at = 0;
      if (!w.empty() && std::all_of(w[0].begin(), w[0].end(), is_digit) && w.size() > 1) {
        /* Past the last slot the index only needs to stay past it. */
        int index = NUM_SLOTS;
        if (!read_int(w[0], &index)) index = NUM_SLOTS;
        run = std::min(index, NUM_SLOTS);
        slot = run + offset;
        if (slot > LAST_SLOT) break;
        at = 1;
      }
      float rgb[3] = {0, 0, 0};
      std::string name;
      if (at < w.size()) {
        if (w[at].size() <= NAME_LEN && read_colour(w, at + 1, rgb)) {
          name = std::string(w[at]);
        } else {
          MESS_print(M_warn, "CLR_read_table: Bad colour line %d in %s: %s\n", line_no, path.c_str(), line.c_str());
          rgb[0] = rgb[1] = rgb[2] = 0;
        }
      }
      /* An empty or bad line keeps its place as a nameless black slot. */
      store(slot, std::move(name), rgb[0], rgb[1], rgb[2]);
      ++run;
    }
    return end_mark;
  }
};

/* Print colours: black, white and light grey in three widths. */
struct PrintColour {
  std::string_view word;
  int index;
};

constexpr PrintColour print_colours[] = {
    {"pblk", 500},  {"pbblk", 501}, {"ptblk", 502}, {"pwht", 503},  {"pbwht", 504},
    {"ptwht", 505}, {"pgry", 506},  {"pbgry", 507}, {"ptgry", 508},
};

/* Words that name no colour: drawing keeps the current one. */
constexpr std::string_view no_colour_words[] = {"none", "off", "back"};

int find_name(std::string_view name) {
  for (int i = 0; i < state.table.num_colors; ++i)
    if (same_text(state.table.colors[static_cast<std::size_t>(i)].name, name)) return i;
  return -1;
}

/* ---- attribute strings ---- */

using ItemSetter = void (*)(std::string_view item, std::string_view value, Gattribs* attrib);

void bad_item(std::string_view item) {
  MESS_print(M_warn, "ATTRIB_parse: Bad attribute item: %.*s\n", static_cast<int>(item.size()), item.data());
}

void set_float(std::string_view item, std::string_view value, Gfloat* field) {
  float v = 0;
  if (read_float(value, &v))
    *field = v;
  else
    bad_item(item);
}

void set_int(std::string_view item, std::string_view value, Gint* field) {
  int v = 0;
  if (read_int(value, &v))
    *field = v;
  else
    bad_item(item);
}

struct StyleWord {
  const char* word;
  int style;
};

constexpr StyleWord style_words[] = {{"sol", 1}, {"dsh", 2}, {"lsdsh", 3}, {"llsdsh", 4}, {"dot", 5}};

void item_color(std::string_view, std::string_view v, Gattribs* a) { a->color = CLR_get_ind(std::string(v).c_str()); }
void item_width(std::string_view i, std::string_view v, Gattribs* a) { set_float(i, v, &a->width); }
void item_height(std::string_view i, std::string_view v, Gattribs* a) { set_float(i, v, &a->height); }
void item_expan(std::string_view i, std::string_view v, Gattribs* a) { set_float(i, v, &a->expan); }
void item_int_style(std::string_view i, std::string_view v, Gattribs* a) { set_int(i, v, &a->style); }
void item_style(std::string_view i, std::string_view v, Gattribs* a) {
  for (const StyleWord& s : style_words)
    if (same_text(v, s.word)) {
      a->style = s.style;
      return;
    }
  set_int(i, v, &a->style);
}
void item_int_font(std::string_view i, std::string_view v, Gattribs* a) { set_int(i, v, &a->font); }
void item_font(std::string_view, std::string_view v, Gattribs* a) { a->font = gget_font_index(std::string(v).c_str()); }
void item_fill(std::string_view, std::string_view v, Gattribs* a) {
  int pat = ATTR_parse_fill_pat(std::string(v).c_str());
  if (pat != KEZ_MISS) a->fill_pat = pat;
}
void item_fill_short(std::string_view i, std::string_view v, Gattribs* a) {
  if (v == "M" || v == "m")
    a->fill_pat = KEZ_MISS;
  else
    set_int(i, v, &a->fill_pat);
}

/* Keyed items, matched on their first three characters in any case. */
struct KeyedItem {
  const char* key;
  ItemSetter set;
};

constexpr KeyedItem keyed_items[] = {
    {"co=", item_color}, {"wi=", item_width},  {"st=", item_style},  {"fo=", item_font},  {"fi=", item_fill},
    {"fp=", item_fill},  {"sc=", item_height}, {"hi=", item_height}, {"te=", item_expan},
};

/* Short items: a lower-case letter and the value. */
struct ShortItem {
  char letter;
  ItemSetter set;
};

constexpr ShortItem short_items[] = {
    {'w', item_width},      {'s', item_int_style}, {'t', item_int_font},
    {'f', item_fill_short}, {'h', item_height},    {'e', item_expan},
};

void parse_item(std::string_view item, Gattribs* attrib) {
  for (const KeyedItem& k : keyed_items)
    if (starts_with_text(item, k.key)) {
      k.set(item, item.substr(3), attrib);
      return;
    }
  if (item.empty()) return;
  for (const ShortItem& s : short_items)
    if (item[0] == s.letter) {
      s.set(item, item.substr(1), attrib);
      return;
    }
}

} // namespace

int CLR_read_table(const char* filename) {
  const bool named = filename && *filename;
  const char* resource = RES_get("color_table");
  const bool from_resource = !named && resource && *resource;
  std::string text = named ? filename : (from_resource ? resource : "kez.clr");

  TableRead read;
  read.work = state.table;
  for (int i = KEPT_NAMES; i < NUM_SLOTS; ++i) read.work.colors[static_cast<std::size_t>(i)] = RGB{};

  const std::vector<std::string_view> files = split(text, ',');
  for (std::size_t f = 0; f < files.size(); ++f) {
    const std::string path = FILE_add_path(RES_get("file_path"), std::string(files[f]).c_str());
    FILE* fp = FILE_open(path.c_str(), "r");
    if (!fp) continue;
    read.opened = true;
    int end_mark = read.read_file(fp, path);
    FILE_close(fp);
    read.work.num_colors = read.highest + 1;
    if (f == 0 && from_resource) read.work.num_fill = end_mark >= 0 ? end_mark : read.highest;
    read.offset = read.work.num_colors;
  }
  if (read.opened) {
    state.table = read.work;
    ++state.changes;
  }
  return 0;
}

namespace {

int index_of(const char* name) {
  const std::string_view text(name);
  if (same_text(text, "end")) return -2;
  for (std::string_view word : no_colour_words)
    if (same_text(text, word)) return -1;
  for (const PrintColour& p : print_colours)
    if (same_text(text, p.word)) return p.index;
  int found = find_name(text);
  if (found >= 0) return found;
  float rgb[3];
  if (text[0] == '#') {
    if ((text.size() == 7 && read_triple(text.substr(1), 2, 16, rgb)) ||
        (text.size() == 10 && read_triple(text.substr(1), 3, 10, rgb)))
      return CLR_add(name, rgb[0], rgb[1], rgb[2]);
    return -1;
  }
  if (is_digit(text[0])) {
    std::size_t n = 0;
    while (n < text.size() && is_digit(text[n])) ++n;
    int ind = -1;
    return read_int(text.substr(0, n), &ind) ? ind : -1;
  }
  return -1;
}

} // namespace

int CLR_get_ind(const char* name) {
  if (!name || !*name) return -1;
  const std::string_view text(name);
  Found& f = state.found[(text.size() + static_cast<unsigned char>(text[0])) % state.found.size()];
  if (f.used && f.changes == state.changes && f.name == text) return f.ind;
  const int ind = index_of(name);
  /* A "#" colour appended here changed the table: the result stands from
   * now on. One the full table refused is tried (and reported) again. */
  if (ind < 0 && text[0] == '#') return ind;
  f.name = text;
  f.ind = ind;
  f.changes = state.changes;
  f.used = true;
  return ind;
}

int CLR_add(const char* name, float red, float grn, float blu) {
  if (state.table.num_colors >= NUM_SLOTS) {
    MESS_print(M_warn, "CLR_add: Colour table full, %s not added\n", name ? name : "");
    return -1;
  }
  const int ind = state.table.num_colors;
  RGB& c = state.table.colors[static_cast<std::size_t>(ind)];
  c.name = name ? std::string(name).substr(0, NAME_LEN) : std::string();
  c.red = red;
  c.grn = grn;
  c.blu = blu;
  ++state.table.num_colors;
  ++state.changes;
  /* Without an open workstation the next plot start defines it. */
  if (gchk_graphics()) GPH_set_color(ind, red, grn, blu);
  return ind;
}

const char* CLR_get_name(int ind) {
  if (state.table.num_colors <= 0 || ind < 0) return "";
  if (ind >= state.table.num_colors) ind = state.table.num_colors - 1;
  return state.table.colors[static_cast<std::size_t>(ind)].name.c_str();
}

int CLR_get_rgb(int ind, float* red, float* grn, float* blu) {
  const RGB black;
  const RGB* c = &black;
  if (state.table.num_colors > 0 && ind >= 0)
    c = &state.table.colors[static_cast<std::size_t>(std::min(ind, state.table.num_colors - 1))];
  if (red) *red = c->red;
  if (grn) *grn = c->grn;
  if (blu) *blu = c->blu;
  return c == &black ? -1 : 0;
}

int CLR_get_num() { return state.table.num_colors; }

int CLR_get_num_fill() { return state.table.num_fill; }

int CLR_clear_table() {
  state.table.num_colors = 0;
  ++state.changes;
  return 0;
}

namespace {

struct PatternWord {
  const char* word;
  int pattern;
};

constexpr PatternWord pattern_words[] = {
    {"sol", 0}, {"st", 1},  {"ost", 2}, {"rst", 3}, {"lst", 4}, {"vln", 5}, {"||", 5},   {"dlr", 6}, {"\\\\", 6},
    {"drl", 7}, {"//", 7},  {"hln", 8}, {"--", 8},  {"hat", 9}, {"XX", 9},  {"clr", 10}, {"0%", 10}, {"1%", 11},
    {"2%", 12}, {"3%", 13}, {"4%", 14}, {"5%", 15}, {"6%", 16}, {"7%", 17}, {"8%", 18},  {"9%", 19},
};

struct MarkerWord {
  const char* prefix;
  int marker;
};

/* Tested in this order as beginnings of the text. */
constexpr MarkerWord marker_words[] = {
    {"pnt", 1}, {".", 1},   {"plus", 2},   {"+", 2}, {"star", 3}, {"*", 3}, {"crcl", 4}, {"circle", 4}, {"o", 4},
    {"x", 5},   {"sqr", 6}, {"square", 6}, {"#", 6}, {"tri", 7},  {"^", 7}, {"itri", 9}, {"v", 9},      {"dot", 8},
};

} // namespace

int ATTR_parse_fill_pat(const char* str) {
  if (!str) return KEZ_MISS;
  for (const PatternWord& p : pattern_words)
    if (same_text(str, p.word)) return p.pattern;
  int pat = 0;
  if (read_int(str, &pat)) return pat;
  MESS_print(M_warn, "ATTR_parse_fill_pat: Unknown fill pattern: %s\n", str);
  return KEZ_MISS;
}

int ATTR_parse_marker(const char* str) {
  if (!str) return KEZ_MISS;
  for (const MarkerWord& m : marker_words)
    if (starts_with_text(str, m.prefix)) return m.marker;
  int marker = 0;
  if (read_int(str, &marker)) return marker;
  MESS_print(M_warn, "ATTR_parse_marker: Unknown marker: %s\n", str);
  return KEZ_MISS;
}

int ATTRIB_init(Gattribs* attrib) {
  if (!attrib) return 0;
  *attrib = Gattribs{KEZ_MISS, KEZ_FMISS, KEZ_FMISS, KEZ_FMISS, KEZ_MISS, KEZ_MISS, KEZ_MISS};
  return 0;
}

int ATTRIB_parse(const char* str, Gattribs* attrib) {
  if (!str || !*str || !attrib) return 0;
  const std::vector<std::string_view> items = split(str, ':');
  std::size_t first = 0;
  if (!items.empty() && !items[0].empty() && items[0].find('=') == std::string_view::npos) {
    attrib->color = CLR_get_ind(std::string(items[0]).c_str());
    first = 1;
  }
  for (std::size_t i = first; i < items.size(); ++i) parse_item(items[i], attrib);
  return 0;
}

int ATTRIB_update(Gattribs* attr1, const Gattribs* attr2) {
  if (!attr1 || !attr2) return 0;
  if (attr2->color != KEZ_MISS) attr1->color = attr2->color;
  if (attr2->width != KEZ_FMISS) attr1->width = attr2->width;
  if (attr2->height != KEZ_FMISS) attr1->height = attr2->height;
  if (attr2->font != KEZ_MISS) attr1->font = attr2->font;
  if (attr2->expan != KEZ_FMISS) attr1->expan = attr2->expan;
  if (attr2->style != KEZ_MISS) attr1->style = attr2->style;
  if (attr2->fill_pat != KEZ_MISS) attr1->fill_pat = attr2->fill_pat;
  return 0;
}

int ATTRIB_get(const char* resrc, const char* def, Gattribs* attrib) {
  ATTRIB_parse(def, attrib);
  const char* value = resrc ? RES_get(resrc) : nullptr;
  if (!value || !*value) return 0;
  ATTRIB_parse(value, attrib);
  return 1;
}

int ATTRIB_print(const Gattribs* attrib) {
  if (!attrib) return 0;
  MESS_print(M_print, "Color: %d\n", attrib->color);
  MESS_print(M_print, "Style: %d\n", attrib->style);
  MESS_print(M_print, "Height: %5.2f\n", attrib->height);
  MESS_print(M_print, "Width: %5.2f\n", attrib->width);
  MESS_print(M_print, "Expansion: %5.2f\n", attrib->expan);
  MESS_print(M_print, "Fill: %d\n", attrib->fill_pat);
  MESS_print(M_print, "Font: %d\n", attrib->font);
  return 0;
}
