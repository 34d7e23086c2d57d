/*
 * wx_symb: weather symbols from a stroke file, and sky-cover circles.
 *
 * A symbol file ("wx.smb" by default, in the "file_path" folder) lists
 * symbols one after another: a name word, groups of "x,y" points in the
 * unit square each ended by a token ("F..." a filled area, anything else a
 * polyline), and "$". A weather code draws the first symbol, in file order,
 * whose name begins the code, so longer names stand before their prefixes.
 * The file stays open from one selection to the next; its index of names
 * is read on the first symbol drawn after a selection, and a symbol's
 * groups on its first drawing. The file is hostile: names longer
 * than WX_SYMB_NAME_LEN and symbols past WX_SYMB_MAX are dropped from the
 * index, a group of more than WX_SYMB_GROUP_PTS points is not drawn, and
 * each is reported.
 *
 * The cover circle draws a station's sky cover from one character, in
 * oktas ("0" to "9") or letters (C, F, S, B, O, X; lower case thin forms).
 */
#include "kezraw.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr const char* DEFAULT_FILE = "wx.smb";
constexpr size_t WORD_KEEP = 64; /* characters of a word kept; the rest is read and dropped */

struct FileCloser {
  void operator()(FILE* f) const { FILE_close(f); }
};

/* A group of points of a symbol, in the unit square. */
struct Group {
  std::vector<Gpt> pts; /* empty when the file gives more than WX_SYMB_GROUP_PTS */
  size_t count = 0;     /* points the file gives */
  bool fill = false;    /* ended by an "F..." token: a filled area */
};

struct Entry {
  std::string name;
  long pos;                  /* file position just after the name */
  bool read = false;         /* groups below read from the file */
  std::vector<Group> groups; /* up to the first empty or unended group */
};

/* cos and sin of a whole angle from -180 to 360 degrees, each taken once
 * as the circle's points take it and kept: every station's cover circle
 * asks for the same few. */
struct UnitPoint {
  float c = 0, s = 0;
  bool known = false;
};
constexpr int LOWEST_ANGLE = -180, HIGHEST_ANGLE = 360;
using UnitCircle = std::array<UnitPoint, HIGHEST_ANGLE - LOWEST_ANGLE + 1>;

struct {
  std::unique_ptr<FILE, FileCloser> file; /* the open symbol file, or none */
  std::string name;                       /* as the caller named it */
  bool indexed = false;                   /* the index below is that file's */
  std::vector<Entry> index;               /* at most WX_SYMB_MAX names, file order */
  UnitCircle unit;                        /* see Circle::at */
} state;

/* The next whitespace-delimited word, of which at most WORD_KEEP characters
 * are kept (full_len tells the whole length); false at the end. */
bool next_word(FILE* f, std::string* word, size_t* full_len = nullptr) {
  int c;
  while ((c = std::fgetc(f)) != EOF && std::isspace(c)) {
  }
  if (c == EOF) return false;
  word->clear();
  size_t n = 0;
  for (; c != EOF && !std::isspace(c); c = std::fgetc(f), ++n)
    if (word->size() < WORD_KEEP) word->push_back(static_cast<char>(c));
  if (full_len) *full_len = n;
  return true;
}

/* A point written "x,y" with nothing else in the word. */
bool read_pair(const std::string& w, Gpt* p) {
  const char* s = w.c_str();
  char* end = nullptr;
  const float x = std::strtof(s, &end);
  if (end == s || *end != ',') return false;
  const char* t = end + 1;
  const float y = std::strtof(t, &end);
  if (end == t || *end != '\0' || !std::isfinite(x) || !std::isfinite(y)) return false;
  *p = Gpt{x, y};
  return true;
}

void read_index() {
  state.index.clear();
  state.indexed = true;
  FILE* f = state.file.get();
  std::rewind(f);
  std::string word;
  size_t len = 0;
  int long_names = 0;
  bool full = false;
  while (next_word(f, &word, &len)) {
    const long pos = std::ftell(f);
    int c;
    while ((c = std::fgetc(f)) != EOF && c != '$') {
    }
    if (len > static_cast<size_t>(WX_SYMB_NAME_LEN)) {
      ++long_names;
    } else if (state.index.size() < static_cast<size_t>(WX_SYMB_MAX)) {
      state.index.push_back(Entry{word, pos, false, {}});
    } else {
      full = true;
      break;
    }
    if (c == EOF) break;
  }
  if (long_names > 0)
    MESS_print(M_warn, "WX_symb: %d symbols of %s dropped: names longer than %d characters\n", long_names,
               state.name.c_str(), WX_SYMB_NAME_LEN);
  if (full) MESS_print(M_warn, "WX_symb: only the first %d symbols of %s are read\n", WX_SYMB_MAX, state.name.c_str());
}

Entry* find(const char* code) {
  const size_t code_len = std::strlen(code);
  for (Entry& e : state.index)
    if (!e.name.empty() && e.name.size() <= code_len &&
        strnicmp(e.name.c_str(), code, static_cast<int>(e.name.size())) == 0)
      return &e;
  return nullptr;
}

/* Opens the default file when none is open and reads the index once. */
bool ready() {
  if (!state.file) WX_symb_file(nullptr);
  if (!state.file) return false;
  if (!state.indexed) read_index();
  return true;
}

/* The groups of a symbol, read from the file when it is first drawn:
 * stations draw the same few symbols thousands of times. */
const std::vector<Group>& groups_of(Entry& e) {
  if (e.read) return e.groups;
  e.read = true;
  FILE* f = state.file.get();
  if (std::fseek(f, e.pos, SEEK_SET) != 0) return e.groups;
  std::string word;
  for (;;) {
    Group g;
    bool token = false;
    Gpt p{};
    while (next_word(f, &word)) {
      if (!read_pair(word, &p)) {
        token = true;
        break;
      }
      if (++g.count <= static_cast<size_t>(WX_SYMB_GROUP_PTS)) g.pts.push_back(p);
    }
    if (g.count == 0 || !token) return e.groups;
    if (g.count > static_cast<size_t>(WX_SYMB_GROUP_PTS)) g.pts.clear();
    g.fill = word[0] == 'F';
    e.groups.push_back(std::move(g));
  }
}

void draw_groups(Entry& e, float x, float y, float sz) {
  /* On the stack: a group has at most WX_SYMB_GROUP_PTS points, and a
   * station draws a symbol or two. */
  std::array<Gpt, WX_SYMB_GROUP_PTS> pts;
  for (const Group& g : groups_of(e)) {
    if (g.count > static_cast<size_t>(WX_SYMB_GROUP_PTS)) {
      MESS_print(M_warn, "WX_symb: a group of %zu points in symbol %s is not drawn (at most %d)\n", g.count,
                 e.name.c_str(), WX_SYMB_GROUP_PTS);
      continue;
    }
    const size_t count = std::min(g.pts.size(), pts.size()); /* the same when the group was read whole */
    for (size_t k = 0; k < count; ++k) pts[k] = Gpt{x + g.pts[k].x * sz, y + g.pts[k].y * sz};
    const int n = static_cast<int>(count);
    if (g.fill)
      gfill_area(n, pts.data());
    else
      gpolyline(n, pts.data());
  }
}

constexpr float DEG = 3.14159265358979f / 180.0f;

/* The points of one cover figure: an arc of at most a whole turn has 14
 * (its ends and the 12 corners of the outline between), then the centre
 * and the closing point. Held on the stack: a station draws one or two. */
class Figure {
 public:
  void add(Gpt p) {
    if (n_ < pts_.size()) pts_[n_++] = p;
  }
  int size() const { return static_cast<int>(n_); }
  const Gpt* data() const { return pts_.data(); }
  Gpt front() const { return pts_[0]; }

 private:
  std::array<Gpt, 16> pts_{};
  std::size_t n_ = 0;
};

struct Circle {
  float xc, yc, r;
  UnitCircle* unit;

  Gpt at(float deg) const {
    const int whole = static_cast<int>(deg);
    if (static_cast<float>(whole) == deg && whole >= LOWEST_ANGLE && whole <= HIGHEST_ANGLE) {
      UnitPoint& u = (*unit)[static_cast<std::size_t>(whole - LOWEST_ANGLE)];
      if (!u.known) u = UnitPoint{std::cos(deg * DEG), std::sin(deg * DEG), true};
      return Gpt{xc + r * u.c, yc + r * u.s};
    }
    return Gpt{xc + r * std::cos(deg * DEG), yc + r * std::sin(deg * DEG)};
  }

  /* The points of an arc: its ends and the outline's corners between. */
  void arc(Figure* pts, float from, float to) const {
    pts->add(at(from));
    for (float a = std::floor(from / 30.0f) * 30.0f + 30.0f; a < to; a += 30.0f) pts->add(at(a));
    pts->add(at(to));
  }

  void outline() const {
    Figure pts;
    arc(&pts, 0, 360);
    gpolyline(pts.size(), pts.data());
  }

  void line(Gpt a, Gpt b) const {
    const Gpt pts[2] = {a, b};
    gpolyline(2, pts);
  }

  void fill(Figure pts) const {
    gset_fill_int_style(GSOLID);
    pts.add(pts.front());
    gfill_area(pts.size(), pts.data());
  }

  /* An arc, then optionally the centre, filled as one closed area. */
  void fill_sector(float from, float to, bool through_centre) const {
    Figure pts;
    arc(&pts, from, to);
    if (through_centre) pts.add(Gpt{xc, yc});
    fill(pts);
  }
};

} // namespace

int WX_symb_file(const char* file) {
  const std::string name = file ? file : DEFAULT_FILE;
  if (state.file && stricmp(state.name.c_str(), name.c_str()) == 0) return -1;
  const std::string path = FILE_add_path(RES_get("file_path"), name.c_str());
  state.file.reset();
  state.index.clear();
  state.indexed = false;
  state.name.clear();
  FILE* f = FILE_open(path.c_str(), "r");
  if (!f) {
    MESS_print(M_warn, "WX_symb_file: Unable to open file: %s\n", path.c_str());
    return -1;
  }
  state.file.reset(f);
  state.name = name;
  return 0;
}

const char* WX_symb_match(const char* str) {
  if (!str || !*str || *str == ' ' || !ready()) return nullptr;
  const Entry* e = find(str);
  return e ? e->name.c_str() : nullptr;
}

int WX_symb(float x, float y, const char* str, float sz) {
  if (!str || !*str || *str == ' ' || !ready()) return 0;
  Entry* e = find(str);
  if (!e) return 0;
  int hor = GNORMAL_HOR, vert = GNORMAL_VERT;
  GPH_get_text_align(&hor, &vert);
  if (hor == GRIGHT_HOR)
    x -= sz;
  else if (hor == GCENTER_HOR)
    x -= sz / 2;
  if (vert == GTOP_VERT || vert == GCAP_VERT)
    y -= sz;
  else if (vert == GHALF_VERT)
    y -= sz / 2;
  draw_groups(*e, x, y, sz);
  return 1;
}

int WX_cloud(float x_center, float y_center, float rad, char cover) {
  const Circle c{x_center, y_center, rad, &state.unit};
  const Gpt centre{x_center, y_center};
  switch (cover) {
    case '0':
    case 'C':
    case 'b':
    case 'o':
    case 's':
    case 'x': break;
    case '1':
    case 'F': c.line(c.at(90), c.at(270)); break;
    case '2':
    case 'S': c.fill_sector(0, 90, true); break;
    case '3':
      c.fill_sector(0, 90, true);
      c.line(centre, c.at(270));
      break;
    case '4': c.fill_sector(-90, 90, false); break;
    case '5':
      c.fill_sector(-90, 90, false);
      c.line(centre, c.at(180));
      break;
    case '6':
    case 'B': c.fill_sector(-180, 90, true); break;
    case '7':
      c.fill_sector(-75, 75, false);
      c.fill_sector(105, 255, false);
      break;
    case '8':
    case 'O': c.fill_sector(0, 360, false); break;
    case '9':
    case 'X':
      c.line(c.at(45), c.at(225));
      c.line(c.at(135), c.at(315));
      break;
    default: {
      const float a = 0.7f * rad;
      const Gpt m[5] = {{x_center - a, y_center - a},
                        {x_center - a, y_center + a},
                        centre,
                        {x_center + a, y_center + a},
                        {x_center + a, y_center - a}};
      gpolyline(5, m);
      break;
    }
  }
  c.outline();
  return 0;
}
