/*
 * sfc_read: surface data files.
 *
 * Detects, opens, reads and writes the suite's converted surface files: a
 * header with the date of the data, then one report per station, crossing
 * the module's boundary as an SFC_report in its fixed units. The layouts:
 * the dotted text lines (types 1 and 2), the tagged "KEZSFC" lines (3 and
 * 4), the 64-byte binary records (41, written only) and the element file
 * (51, written only); the netCDF layouts (11 and 12) are sfc_cdf's, called
 * from here. The surface plotting driver opens a file, reads its
 * header and then its reports by index, rewinds for a second pass and
 * closes it; decoders and converters write files.
 *
 * One file is open at a time. Every file is hostile: lines are read within
 * a bound, words and counts are cut to what the record holds, and a line
 * that cannot be read gives -1, never a guess. Every value written is one
 * that reads back as itself or as missing: values a layout has no code for
 * are written missing, with a warning.
 */
#include "kezsfc.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>

namespace {

/* A report line longer than this is cut; the rest of the line is skipped. */
constexpr size_t line_max = 4096;
/* The tagged comment is read up to this many characters before its "$". */
constexpr size_t comment_read_max = SFC_COMMENT_LEN - 1;

struct StreamCloser {
  void operator()(FILE* fp) const { FILE_close(fp); }
};
using Stream = std::unique_ptr<FILE, StreamCloser>;

/* The read stream's buffer: every station plot reads the whole file again,
 * and stdio's 4 KiB made a system call for every 60 or so reports. */
constexpr size_t read_buffer_size = 64 * 1024;

struct State {
  std::unique_ptr<char[]> buffer; /* before file: it outlives the stream that uses it */
  Stream file;                    /* the open stream of a stream layout */
  int file_type = 0;              /* 0: none open */
  int file_access = 0;
  int stat_num = -1; /* index of the report last read; -1 none */
  long cur_pos = -1; /* offset of the report last read */
  Date file_date{KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS};
  std::string line; /* the report line last read, kept for its room */
} state;

bool present(float v) { return v != KEZ_FMISS && std::isfinite(v); }
bool present(int v) { return v != KEZ_MISS; }
bool blank(char c) { return c == ' ' || c == '\0'; }
bool is_text(int t) { return t >= SFC_FT_DOTTED_SHORT && t <= SFC_FT_TAGGED_EXT; }
bool is_tagged(int t) { return t == SFC_FT_TAGGED || t == SFC_FT_TAGGED_EXT; }
bool is_cdf(int t) { return t == SFC_FT_CDF_OLD || t == SFC_FT_CDF; }
bool writing() { return state.file_access != SFC_ACC_READ; }

/* The hour of the file's date picks the minimum (10 to 21 UTC, the day's
 * report) or the maximum temperature in the extreme-temperature groups. */
bool extreme_is_min() { return state.file_date.hour >= 10 && state.file_date.hour <= 21; }

/* Nearest integer, or KEZ_MISS when v is missing or does not fit an int. */
int nearest(double v) {
  if (!std::isfinite(v) || v == KEZ_FMISS || std::fabs(v) > 2e9) return KEZ_MISS;
  return static_cast<int>(std::floor(v + 0.5));
}
int truncated(double v) {
  if (!std::isfinite(v) || std::fabs(v) > 2e9) return KEZ_MISS;
  return static_cast<int>(v);
}

/* id is the report's, which need not end in a NUL. */
void warn_unfit(const char* id, const char* what, double v) {
  const std::string name(id, strnlen(id, SFC_ID_LEN));
  MESS_print(M_warn, "SFC_write: %s: %s %g has no code in this layout; written missing\n", name.c_str(), what, v);
}

/* ---- reading lines ------------------------------------------------------ */

/* One line without its end and carriage returns, cut at line_max; false at
 * the end of the file. */
bool read_line(FILE* fp, std::string* line) { return fget_text_line(fp, line, line_max); }

bool skip_line(FILE* fp) {
  int c = getc_unlocked(fp);
  if (c == EOF) return false;
  while (c != EOF && c != '\n') c = getc_unlocked(fp);
  return true;
}

/* A cursor over one report line, with scanf-like fields that never read
 * past the line. */
struct Cursor {
  static constexpr size_t NUMBER_MAX = 40; /* characters of a number, as "%40f" */
  const std::string& s;
  size_t p = 0;

  bool end() const { return p >= s.size(); }
  char peek() const { return end() ? '\0' : s[p]; }
  void skip_blanks() {
    while (!end() && (s[p] == ' ' || s[p] == '\t')) ++p;
  }
  bool lit(char c) {
    if (peek() != c) return false;
    ++p;
    return true;
  }
  /* A word up to the next blank, cut to max characters (the rest of the
   * word is passed over). */
  bool word(std::string* w, size_t max) {
    skip_blanks();
    w->clear();
    while (!end() && s[p] != ' ' && s[p] != '\t') {
      if (w->size() < max) w->push_back(s[p]);
      ++p;
    }
    return !w->empty();
  }
  /* An integer of at most width characters (sign included) after blanks,
   * as "%<width>d" reads it; width 0 is unbounded (but kept sane). */
  bool integer(int width, long* v) {
    skip_blanks();
    const size_t limit = width > 0 ? static_cast<size_t>(width) : 12;
    size_t q = p, n = 0;
    bool neg = false;
    if (q < s.size() && (s[q] == '-' || s[q] == '+') && n < limit) {
      neg = s[q] == '-';
      ++q;
      ++n;
    }
    long val = 0;
    size_t digits = 0;
    while (q < s.size() && n < limit && std::isdigit(static_cast<unsigned char>(s[q]))) {
      if (digits < 10) val = val * 10 + (s[q] - '0');
      ++digits;
      ++q;
      ++n;
    }
    if (digits == 0 || digits > 10) return false;
    p = q;
    *v = neg ? -val : val;
    return true;
  }
  /* A floating number as "%f" reads it, of at most 40 characters. */
  bool number(double* v) {
    skip_blanks();
    if (end()) return false;
    if (short_decimal(v)) return true;
    char t[NUMBER_MAX + 1];
    const size_t n = std::min(s.size() - p, NUMBER_MAX);
    std::memcpy(t, s.data() + p, n);
    t[n] = '\0';
    char* stop = nullptr;
    const double d = std::strtod(t, &stop);
    const size_t used = static_cast<size_t>(stop - t);
    if (used == 0 || !std::isfinite(d)) return false;
    /* strtod takes hexadecimal and "inf" texts, which no writer makes */
    if (std::find_if(t, t + used, [](char c) { return c == 'x' || c == 'X' || c == 'n' || c == 'N'; }) != t + used)
      return false;
    p += used;
    *v = d;
    return true;
  }
  /* The plain decimals of report files, without strtod (see
   * scan_decimal). */
  bool short_decimal(double* v) {
    std::size_t used = 0;
    if (!scan_decimal(std::string_view(s).substr(p, NUMBER_MAX), v, &used)) return false;
    p += used;
    return true;
  }
};

void copy_text(char* to, const std::string& from, size_t room) {
  const size_t n = std::min(from.size(), room - 1);
  std::memcpy(to, from.data(), n);
  to[n] = '\0';
}

/* The identifier opens every report; the WMO number is its value when it
 * is longer than 4 characters and all digits. */
bool read_id(Cursor& cur, SFC_report* rep) {
  std::string id;
  if (!cur.word(&id, SFC_ID_LEN - 1)) return false;
  copy_text(rep->id, id, SFC_ID_LEN);
  if (id.size() > 4 && id.find_first_not_of("0123456789") == std::string::npos) rep->wmo = std::atoi(id.c_str());
  return true;
}

/* Altimeter and pressure codes shared by the dotted and tagged layouts. */
float alt_from_code(long c) {
  if (c < 0) return KEZ_FMISS;
  if (c >= 1000) return static_cast<float>(c / 100.0);
  if (c > 500) return static_cast<float>(20 + c / 100.0);
  return static_cast<float>(30 + c / 100.0);
}
float pmb_dotted(long c) {
  if (c < 0) return KEZ_FMISS;
  if (c >= 1000) return static_cast<float>(c / 10.0);
  if (c > 500) return static_cast<float>(900 + c / 10.0);
  return static_cast<float>(1000 + c / 10.0);
}
/* The tagged reader corrects the century of the pressure code by the
 * altimeter setting, or without one by the temperature. */
float pmb_tagged(long c, float alt, float t) {
  if (c < 0) return KEZ_FMISS;
  if (c >= 1000) return static_cast<float>(c / 10.0);
  if (c > 500) {
    double p = 900 + c / 10.0;
    if (present(alt) ? alt > 30.7f : (present(t) && t < -10)) p += 100;
    return static_cast<float>(p);
  }
  double p = 1000 + c / 10.0;
  if (present(alt) && alt < 28.4f) p -= 100;
  return static_cast<float>(p);
}

/* Codes of the writers: -99 for missing or for a value the code cannot
 * carry back. The altimeter code reads back in 25.01 to 35.00 inches and
 * the dotted pressure code in 950.1 to 1050.0 mb. */
int alt_code(const SFC_report& r, bool whole_allowed) {
  if (!present(r.alt)) return -99;
  const int h = truncated(100.0 * r.alt + 0.01);
  if (h > 2500 && h <= 3500) return h % 1000;
  if (whole_allowed && h >= 1000 && h < 100000) return h;
  warn_unfit(r.id, "altimeter", r.alt);
  return -99;
}

/* ---- the dotted layout -------------------------------------------------- */

/* The optional groups of a dotted line, in the order written and read. */
enum class DotGroup { location, tendency, rain6, rain24, extreme, snow, cloud_types, gust };

bool read_dotted(const std::string& line, SFC_report* rep, int rep_type) {
  Cursor cur{line};
  if (!read_id(cur, rep)) return false;
  if (rep_type == SFC_REP_ID) {
    rep->wmo = KEZ_MISS; /* the dotted layout gives the identifier alone */
    return true;
  }
  long t = 0, td = 0, wind = 0, alt = 0;
  cur.skip_blanks();
  if (!cur.integer(3, &t) || !cur.lit('.')) return true;
  if (t != -99) rep->t = static_cast<float>(t);
  if (!cur.integer(3, &td) || !cur.lit('.')) return true;
  if (td != -99) rep->td = static_cast<float>(td);
  if (!cur.integer(4, &wind) || !cur.lit('.')) return true;
  if (wind >= 0) {
    rep->w_spd = static_cast<float>(wind % 100);
    rep->w_dir = static_cast<float>((wind / 100) * 10);
  }
  if (!cur.integer(3, &alt) || !cur.lit('.')) return true;
  rep->alt = alt_from_code(alt);

  long pr = 0, vis = 0, ceil = 0;
  if (!cur.integer(3, &pr)) return true;
  rep->pmb = pmb_dotted(pr);
  if (!cur.lit('.') || !cur.integer(3, &vis)) return true;
  if (vis != -99) rep->vis = static_cast<float>(vis / 10.0);
  if (!cur.lit('.') || !cur.integer(3, &ceil)) return true;
  if (ceil != -99) rep->cld_height[0] = static_cast<float>(ceil * 100);
  if (cur.end()) return true;
  const char cover = cur.s[cur.p++];
  if (!blank(cover)) {
    rep->cld_cover[0] = cover;
    rep->num_cld = 1;
  }
  if (!cur.lit('.')) return true;
  std::string wx;
  while (!cur.end() && cur.peek() != '.' && wx.size() < 9) wx.push_back(cur.s[cur.p++]);
  if (!cur.lit('.')) return true;
  if (wx.empty() || wx == " ") wx = " ";
  copy_text(rep->weather, wx, SFC_WEATHER_LEN);

  constexpr struct {
    char letter;
    DotGroup group;
  } groups[] = {{'L', DotGroup::location},    {'P', DotGroup::tendency}, {'r', DotGroup::rain6},
                {'R', DotGroup::rain24},      {'T', DotGroup::extreme},  {'S', DotGroup::snow},
                {'C', DotGroup::cloud_types}, {'G', DotGroup::gust}};
  for (const auto& g : groups) {
    if (cur.peek() != g.letter) continue;
    ++cur.p;
    long a = 0, b = 0;
    switch (g.group) {
      case DotGroup::location:
        if (!cur.integer(4, &a) || !cur.lit('.') || !cur.integer(5, &b) || !cur.lit('.')) return true;
        rep->lat = static_cast<float>(a / 10.0);
        rep->lon = static_cast<float>(b / 10.0);
        rep->elev = 0;
        copy_text(rep->area, "SHIP", SFC_ID_LEN);
        break;
      case DotGroup::tendency:
        if (!cur.integer(3, &a) || !cur.lit('.')) return true;
        rep->ptend = static_cast<float>((a % 100) / 10.0);
        if (a >= 500) rep->ptend = -rep->ptend;
        break;
      case DotGroup::rain6:
      case DotGroup::rain24: {
        if (!cur.integer(0, &a) || !cur.lit('.')) return true;
        double amount = a / 100.0;
        /* "1.25" style: the number, then up to two digits of hundredths */
        if (std::isdigit(static_cast<unsigned char>(cur.peek()))) {
          std::string d;
          while (d.size() < 2 && std::isdigit(static_cast<unsigned char>(cur.peek()))) d.push_back(cur.s[cur.p++]);
          if (!cur.lit('.')) return true;
          amount = a + std::atoi(d.c_str()) / 100.0;
        }
        (g.group == DotGroup::rain6 ? rep->rain6 : rep->rain24) = static_cast<float>(amount);
        break;
      }
      case DotGroup::extreme: {
        if (!cur.integer(0, &a) || !cur.lit('.')) return true;
        /* a value written modulo 100 gets its century from the temperature */
        if (a >= 0 && a <= 29 && present(rep->t) && rep->t > 70) a += 100;
        if (a >= 61 && a <= 99 && present(rep->t) && rep->t < 30) a -= 100;
        (extreme_is_min() ? rep->min_t : rep->max_t) = static_cast<float>(a);
        break;
      }
      case DotGroup::snow:
        if (!cur.integer(0, &a) || !cur.lit('.')) return true;
        rep->scover = static_cast<float>(a);
        break;
      case DotGroup::cloud_types:
        if (cur.p + 4 > cur.s.size() || cur.s[cur.p + 3] != '.') return true;
        std::memcpy(rep->cld_type, cur.s.data() + cur.p, 3);
        cur.p += 4;
        break;
      case DotGroup::gust:
        if (!cur.integer(0, &a) || !cur.lit('.')) return true;
        rep->w_gust = static_cast<float>(a);
        break;
    }
  }
  return true;
}

/* A text field of a text layout: whitespace, control characters and the
 * layout's own separators replaced, cut to max. */
std::string clean_text(const char* text, size_t room, size_t max, const char* breaking, char with) {
  std::string out;
  const size_t n = strnlen(text, room);
  for (size_t i = 0; i < n && out.size() < max; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    out.push_back(c < 0x20 || c == 0x7f || std::strchr(breaking, c) ? with : static_cast<char>(c));
  }
  return out;
}

/* The identifier as written: one word; empty when the report has none. */
std::string id_word(const SFC_report& r) {
  std::string id = clean_text(r.id, SFC_ID_LEN, SFC_ID_LEN - 1, " \t", '_');
  return id;
}

int write_dotted(FILE* fp, const SFC_report& r, int type) {
  const std::string id = id_word(r);
  int t = nearest(r.t), td = nearest(r.td);
  if (!present(t) || t < -98 || t > 999) t = -99;
  if (!present(td) || td < -98 || td > 999) td = -99;
  int wind = -999;
  if (present(r.w_dir) && present(r.w_spd)) {
    const int dir = nearest(r.w_dir / 10.0);
    const int spd = nearest(r.w_spd);
    if (dir >= 0 && dir <= 36 && spd >= 0 && spd <= 99)
      wind = dir * 100 + spd;
    else
      warn_unfit(r.id, spd > 99 ? "wind speed" : "wind direction", spd > 99 ? r.w_spd : r.w_dir);
  }
  std::fprintf(fp, "%s %3d.%3d.%04d.%3d.", id.c_str(), t, td, wind, alt_code(r, false));
  if (type == SFC_FT_DOTTED_SHORT) {
    std::fputc('\n', fp);
    return 0;
  }
  int pr = -99;
  if (present(r.pmb)) {
    if (r.pmb > 950.0f && r.pmb <= 1050.04f)
      pr = truncated(10.0 * r.pmb + 0.1) % 1000;
    else
      warn_unfit(r.id, "pressure", r.pmb);
  }
  int vis = -99;
  if (present(r.vis) && r.vis >= 0) vis = r.vis >= 99 ? 99 : truncated(10.0 * r.vis);
  char cover = ' ';
  float hght = KEZ_FMISS;
  WX_set_cloud(&r, &cover, &hght);
  if (cover == '\0' || cover == '.' || static_cast<unsigned char>(cover) < 0x20) cover = ' ';
  double ceil = -99;
  if (present(hght) && hght >= 0 && hght < 99950) ceil = hght / 100.0;
  std::fprintf(fp, "%3d.%3d.%3.0f%c.", pr, vis, ceil, cover);
  if (blank(r.weather[0]))
    std::fputs(" .", fp);
  else
    std::fprintf(fp, "%s.", clean_text(r.weather, SFC_WEATHER_LEN, 9, ".", ' ').c_str());

  if (present(r.lat) && present(r.lon)) {
    const int la = truncated(10.0 * r.lat), lo = truncated(10.0 * r.lon);
    if (std::abs(la) <= 900 && std::abs(lo) <= 3600) std::fprintf(fp, "L%4d.%5d.", la, lo);
  }
  if (present(r.ptend) && r.ptend_t >= 0 && r.ptend_t <= 8) {
    const int amount = truncated(std::fabs(10.0 * r.ptend) + 0.01);
    if (amount <= 99) std::fprintf(fp, "P%3d.", r.ptend_t * 100 + amount);
  }
  if (present(r.rain6) && r.rain6 >= 0 && r.rain6 < 1e6) std::fprintf(fp, "r%2.0f.", 100 * r.rain6);
  if (present(r.rain24) && r.rain24 >= 0 && r.rain24 < 1e6) std::fprintf(fp, "R%2.0f.", 100 * r.rain24);
  const float extreme = extreme_is_min() ? r.min_t : r.max_t;
  if (present(extreme) && std::fabs(extreme) < 1e6) std::fprintf(fp, "T%2.0f.", extreme);
  if (present(r.scover) && r.scover >= 0 && r.scover < 1e6) std::fprintf(fp, "S%2.0f.", r.scover);
  if (!blank(r.cld_type[0])) {
    char ct[4];
    for (int i = 0; i < 3; ++i) {
      const unsigned char c = static_cast<unsigned char>(r.cld_type[i]);
      ct[i] = c < 0x20 || c == '.' || c >= 0x7f ? ' ' : static_cast<char>(c);
    }
    ct[3] = '\0';
    std::fprintf(fp, "C%s.", ct);
  }
  if (present(r.w_gust) && r.w_gust >= 0 && r.w_gust < 1e6) std::fprintf(fp, "G%3.0f.", r.w_gust);
  std::fputc('\n', fp);
  return 0;
}

/* ---- the tagged layout -------------------------------------------------- */

/* The optional groups of a tagged line in their order. The reader takes
 * each letter as the first group at or after its position that has it, so
 * the "p" of the 1-hour precipitation and of the wave period are told
 * apart by their places. */
enum class Tag {
  time,
  location,
  tendency,
  rain1,
  rain3,
  rain6,
  rain12,
  rain24,
  max_t,
  max6_t,
  min_t,
  min6_t,
  extreme,
  snow,
  cloud_types,
  gust,
  solar,
  sst,
  wave_period,
  wave_height,
  comment
};

struct TagGroup {
  char letter;
  Tag tag;
  float SFC_report::*member; /* for the plain numbers */
  double scale;              /* the member is the number read times scale */
};

constexpr TagGroup tag_groups[] = {
    {'@', Tag::time, nullptr, 1},
    {'L', Tag::location, nullptr, 1},
    {'P', Tag::tendency, nullptr, 1},
    {'p', Tag::rain1, &SFC_report::rain1, 0.01},
    {'Q', Tag::rain3, &SFC_report::rain3, 0.01},
    {'r', Tag::rain6, &SFC_report::rain6, 0.01},
    {'q', Tag::rain12, &SFC_report::rain12, 0.01},
    {'R', Tag::rain24, &SFC_report::rain24, 0.01},
    {'X', Tag::max_t, &SFC_report::max_t, 1},
    {'x', Tag::max6_t, &SFC_report::max6_t, 1},
    {'N', Tag::min_t, &SFC_report::min_t, 1},
    {'n', Tag::min6_t, &SFC_report::min6_t, 1},
    {'T', Tag::extreme, nullptr, 1},
    {'S', Tag::snow, &SFC_report::scover, 1},
    {'C', Tag::cloud_types, nullptr, 1},
    {'G', Tag::gust, &SFC_report::w_gust, 1},
    {'s', Tag::solar, &SFC_report::solar, 1},
    {'t', Tag::sst, &SFC_report::sst, 1},
    {'p', Tag::wave_period, &SFC_report::wav_per, 1},
    {'h', Tag::wave_height, &SFC_report::wav_hgt, 1},
    {'#', Tag::comment, nullptr, 1},
};

/* The cloud field: one item per layer, a height in hundreds of feet and a
 * cover letter, ":" and an okta digit, or "M" for no cover. A first item
 * without cover ("-99M") means no layers; items beyond the record's five
 * layers are passed over. */
void read_clouds(const std::string& field, SFC_report* rep) {
  size_t start = 0;
  int n = 0;
  while (n < SFC_MAX_CLOUD) {
    size_t comma = field.find(',', start);
    if (comma == std::string::npos) comma = field.size();
    const std::string item = field.substr(start, comma - start);
    Cursor c{item};
    long h = 0;
    if (c.integer(0, &h) && h >= 0) rep->cld_height[n] = static_cast<float>(h * 100);
    char cover = ' ';
    if (c.lit(':')) {
      if (std::isdigit(static_cast<unsigned char>(c.peek()))) cover = c.peek();
    } else if (n == 0 && c.peek() == 'M') {
      rep->cld_height[0] = KEZ_FMISS;
      rep->num_cld = 0;
      return;
    } else if (std::strchr("CFSBOXsbox", c.peek()) && c.peek() != '\0') {
      cover = c.peek();
    }
    rep->cld_cover[n++] = cover;
    if (comma == field.size()) break;
    start = comma + 1;
  }
  rep->num_cld = n;
}

bool read_tagged(const std::string& line, SFC_report* rep, int rep_type) {
  Cursor cur{line};
  if (!read_id(cur, rep)) return false;
  if (rep_type == SFC_REP_ID) return true;
  rep->type = SFC_TYPE_SA;
  long v = 0;
  double d = 0;
  if (!cur.number(&d)) return true;
  if (d != -99) rep->t = static_cast<float>(d / 10);
  if (!cur.number(&d)) return true;
  if (d != -99) rep->td = static_cast<float>(d / 10);
  if (!cur.integer(0, &v)) return true;
  if (v > 4999) {
    rep->w_spd = static_cast<float>(v % 1000);
    rep->w_dir = static_cast<float>(v / 1000);
  } else if (v >= 0) {
    rep->w_spd = static_cast<float>(v % 100);
    rep->w_dir = static_cast<float>((v / 100) * 10);
  }
  if (!cur.integer(0, &v)) return true;
  rep->alt = alt_from_code(v);
  if (!cur.integer(0, &v)) return true;
  rep->pmb = pmb_tagged(v, rep->alt, rep->t);
  if (!cur.number(&d)) return true;
  if (d != -99) rep->vis = static_cast<float>(d);
  std::string word;
  if (!cur.word(&word, line_max)) return true;
  read_clouds(word, rep);
  if (!cur.word(&word, SFC_WEATHER_LEN - 2)) return true;
  if (word[0] == '-') word[0] = ' ';
  copy_text(rep->weather, word, SFC_WEATHER_LEN);

  size_t next = 0; /* first group of tag_groups still to be tried */
  for (;;) {
    cur.skip_blanks();
    const char letter = cur.peek();
    if (letter == '\0' || letter == '$') break;
    size_t g = next;
    while (g < std::size(tag_groups) && tag_groups[g].letter != letter) ++g;
    if (g == std::size(tag_groups)) break; /* unknown: the rest is skipped */
    const TagGroup& grp = tag_groups[g];
    next = g + 1;
    ++cur.p;
    if (grp.tag == Tag::comment) {
      std::string text;
      while (!cur.end() && cur.peek() != '$' && text.size() < comment_read_max) text.push_back(cur.s[cur.p++]);
      copy_text(rep->comment, text, SFC_COMMENT_LEN);
      break;
    }
    if (grp.tag == Tag::cloud_types) {
      if (cur.p + 3 > cur.s.size()) break;
      std::memcpy(rep->cld_type, cur.s.data() + cur.p, 3);
      cur.p += 3;
      continue;
    }
    if (grp.tag == Tag::location) {
      long a = 0, b = 0;
      if (!cur.integer(4, &a) || !cur.lit(',') || !cur.integer(5, &b)) break;
      rep->lat = static_cast<float>(a / 10.0);
      rep->lon = static_cast<float>(b / 10.0);
      rep->elev = 0;
      copy_text(rep->area, "SHIP", SFC_ID_LEN);
      continue;
    }
    if (grp.tag == Tag::tendency) {
      if (!std::isdigit(static_cast<unsigned char>(cur.peek()))) break;
      const int kind = cur.s[cur.p++] - '0';
      if (!cur.number(&d)) break;
      rep->ptend_t = kind;
      rep->ptend = static_cast<float>(d / 10);
      continue;
    }
    if (grp.tag == Tag::time) {
      if (!cur.integer(0, &v)) break;
      if (v >= 0 && v <= 9999) rep->time = static_cast<int>(v);
      continue;
    }
    if (!cur.number(&d)) break;
    if (std::fabs(d) > 1e7) continue;
    if (grp.tag == Tag::extreme) {
      (extreme_is_min() ? rep->min_t : rep->max_t) = static_cast<float>(d);
      continue;
    }
    rep->*grp.member = d == KEZ_FMISS ? KEZ_FMISS : static_cast<float>(d * grp.scale);
  }
  return true;
}

/* The tagged pressure: the three-digit code when the reader's century rule
 * gives the value back, the whole value in tenths otherwise. */
int pressure_tagged(const SFC_report& r) {
  if (!present(r.pmb)) return -99;
  const int tenths = truncated(10.0 * r.pmb + 0.1);
  if (tenths < 1000 || tenths > 99999) {
    warn_unfit(r.id, "pressure", r.pmb);
    return -99;
  }
  const int code = tenths % 1000;
  if (r.pmb >= 950 && r.pmb <= 1050 && nearest(10.0 * pmb_tagged(code, r.alt, r.t)) == tenths) return code;
  return tenths;
}

void write_cloud_item(std::string* out, float height, char cover) {
  char buf[32];
  if (present(height) && height >= 0 && height < 1e8)
    std::snprintf(buf, sizeof buf, "%1.0f", height / 100);
  else
    std::snprintf(buf, sizeof buf, "-99");
  *out += buf;
  if (std::isdigit(static_cast<unsigned char>(cover))) {
    *out += ':';
    *out += cover;
  } else if (cover != '\0' && std::strchr("CFSBOXsbox", cover)) {
    *out += cover;
  } else {
    *out += 'M';
  }
}

int write_tagged(FILE* fp, const SFC_report& r, int type) {
  std::string line = id_word(r) + ' ';
  char buf[160];
  auto put = [&](const char* fmt, auto... args) {
    std::snprintf(buf, sizeof buf, fmt, args...);
    line += buf;
  };
  for (float v : {r.t, r.td}) {
    if (present(v) && std::fabs(v) < 1e6)
      put("%3.0f ", 10 * v);
    else
      line += "-99 ";
  }
  bool wind = false;
  if (present(r.w_dir) && present(r.w_spd) && r.w_dir >= 0 && r.w_dir <= 360 && r.w_spd >= 0) {
    const int spd = nearest(r.w_spd);
    if (spd >= 100 && spd <= 999) {
      /* a direction of 0 would make the six digits read as four */
      int dir = (truncated(r.w_dir) / 5) * 5;
      if (dir == 0) dir = 360;
      put("%03d%03d ", dir, spd);
      wind = true;
    } else if (spd < 100) {
      put("%04d ", nearest(r.w_dir / 10.0) * 100 + spd);
      wind = true;
    } else {
      warn_unfit(r.id, "wind speed", r.w_spd);
    }
  }
  if (!wind) line += "-999 ";
  put("%3d ", alt_code(r, true));
  put("%3d ", pressure_tagged(r));
  if (present(r.vis) && r.vis >= 0 && r.vis < 1e6)
    put(r.vis < 5 ? "%.2f " : "%.1f ", r.vis);
  else
    line += "-99 ";
  const int ncld = std::clamp(r.num_cld, 0, SFC_MAX_CLOUD);
  if (ncld == 0) {
    line += "-99M";
  } else {
    for (int i = 0; i < ncld; ++i) {
      if (i) line += ',';
      write_cloud_item(&line, r.cld_height[i], r.cld_cover[i]);
    }
  }
  line += ' ';
  if (blank(r.weather[0])) {
    line += '-';
  } else {
    /* one word: the field is cut at its first blank */
    std::string wx = clean_text(r.weather, SFC_WEATHER_LEN, SFC_WEATHER_LEN - 2, "", ' ');
    line += wx.substr(0, wx.find(' '));
  }
  if (present(r.time) && r.time >= 0 && r.time <= 9999) put(" @%4.4d", r.time);
  if (present(r.lat) && present(r.lon) && std::fabs(r.lat) <= 90 && std::fabs(r.lon) <= 360)
    put(" L%1.0f,%1.0f", 10 * r.lat, 10 * r.lon);
  if (present(r.ptend) && r.ptend_t >= 0 && r.ptend_t <= 9 && std::fabs(r.ptend) < 1000)
    put(" P%d%3.0f", r.ptend_t, 10 * r.ptend);
  const bool ext = type == SFC_FT_TAGGED_EXT;
  auto amount = [&](const char* fmt, float v, bool when) {
    if (when && present(v) && v >= 0 && v < 1e6) put(fmt, 100 * v);
  };
  amount(" p%2.0f", r.rain1, true);
  const size_t after_rain1 = line.size();
  amount(" Q%2.0f", r.rain3, true);
  amount(" r%2.0f", r.rain6, true);
  amount(" q%2.0f", r.rain12, ext);
  amount(" R%2.0f", r.rain24, true);
  auto value = [&](const char* fmt, float v, bool when) {
    if (when && present(v) && std::fabs(v) < 1e6) put(fmt, v);
  };
  value(" X%2.1f", r.max_t, true);
  value(" x%2.1f", r.max6_t, ext);
  value(" N%2.1f", r.min_t, true);
  value(" n%2.1f", r.min6_t, ext);
  if (present(r.scover) && r.scover >= 0 && r.scover < 1e6) put(" S%2.1f", r.scover);
  if (!blank(r.cld_type[0])) {
    line += " C";
    /* read back as exactly three characters, so only line breakers go */
    for (char c : r.cld_type) {
      const unsigned char u = static_cast<unsigned char>(c);
      line += u == 0 ? ' ' : u < 0x20 || u >= 0x7f ? '/' : c;
    }
  }
  if (present(r.w_gust) && r.w_gust >= 0 && r.w_gust < 1e6) put(" G%3.0f", r.w_gust);
  if (present(r.solar) && r.solar >= 0 && r.solar < 1e6) put(" s%3.0f", r.solar);
  const bool wave_p = present(r.wav_per) && std::fabs(r.wav_per) < 1e6;
  if (present(r.sst) && std::fabs(r.sst) < 1e6) {
    put(" t%2.1f", r.sst);
  } else if (wave_p && line.size() == after_rain1) {
    /* Without any group between the 1-hour precipitation and the wave
     * period, a lone "p" would read as precipitation: a missing sea
     * temperature moves the reader past it. */
    put(" t%2.1f", static_cast<double>(KEZ_FMISS));
  }
  if (wave_p) put(" p%2.0f", r.wav_per);
  if (present(r.wav_hgt) && std::fabs(r.wav_hgt) < 1e6) put(" h%2.1f", r.wav_hgt);
  if (r.comment[0] != '\0') line += " #" + clean_text(r.comment, SFC_COMMENT_LEN, SFC_COMMENT_LEN - 1, "$", ' ');
  line += " $\n";
  std::fputs(line.c_str(), fp);
  return 0;
}

/* ---- the binary records ------------------------------------------------- */

void put16(unsigned char* at, int v) {
  if (v == KEZ_MISS || v < -32768 || v > 32767) v = SFC_BINARY_MISS;
  const auto u = static_cast<uint16_t>(static_cast<int16_t>(v));
  at[0] = static_cast<unsigned char>(u & 0xff);
  at[1] = static_cast<unsigned char>(u >> 8);
}

/* A scaled value; 9999 for a missing member. */
int scaled(float v, double scale, double add, bool round_half) {
  if (!present(v)) return SFC_BINARY_MISS;
  const double x = v * scale + add;
  const int n = round_half ? nearest(x) : truncated(x);
  return n == KEZ_MISS ? SFC_BINARY_MISS : n;
}

int cloud_word(const SFC_report& r, int i) {
  if (i >= std::clamp(r.num_cld, 0, SFC_MAX_CLOUD) || !present(r.cld_height[i]) || r.cld_height[i] < 0)
    return SFC_BINARY_MISS;
  const int h = truncated(r.cld_height[i] / 100);
  if (h > 0x0fff) return SFC_BINARY_MISS;
  constexpr struct {
    char cover;
    int bits;
  } covers[] = {{'F', 0x1000}, {'S', 0x4000}, {'B', 0x2000}, {'O', 0x6000}, {'X', 0x7000}};
  if (r.cld_cover[i] == 'C') return 0;
  for (const auto& c : covers)
    if (r.cld_cover[i] == c.cover) return h | c.bits;
  return h;
}

void put_text(unsigned char* at, size_t room, const char* text, size_t text_room) {
  const size_t n = std::min(strnlen(text, text_room), room);
  std::memcpy(at, text, n);
}

int write_binary(FILE* fp, const SFC_report& r) {
  unsigned char rec[SFC_BINARY_RECORD_LEN] = {};
  put_text(rec, 7, r.id, SFC_ID_LEN);
  char wmo[8];
  if (r.wmo >= 0 && r.wmo <= 99999)
    std::snprintf(wmo, sizeof wmo, "%5.5d", r.wmo);
  else
    std::snprintf(wmo, sizeof wmo, "99999");
  put_text(rec + 7, 7, wmo, sizeof wmo);
  if (r.weather[0] != '\0') put_text(rec + 14, 10, r.weather + 1, SFC_WEATHER_LEN - 1);
  const int words[20] = {
      present(r.time) ? r.time : SFC_BINARY_MISS,
      SFC_BINARY_MISS,
      scaled(r.t, 1, 0, true),
      scaled(r.td, 1, 0, true),
      scaled(r.w_dir, 1, 0, false),
      scaled(r.w_spd, 1, 0, false),
      scaled(r.w_gust, 1, 0, false),
      scaled(r.alt, 100, 0.1, false),
      scaled(r.pmb, 10, 0.1, false),
      SFC_BINARY_MISS,
      SFC_BINARY_MISS,
      SFC_BINARY_MISS,
      scaled(r.lat, 100, 0, false),
      scaled(r.lon, 100, 0, false),
      0,
      scaled(r.vis, 100, 0.1, false),
      cloud_word(r, 0),
      cloud_word(r, 1),
      cloud_word(r, 2),
      scaled(r.elev, 1, 0, false),
  };
  for (int i = 0; i < 20; ++i) put16(rec + 24 + 2 * i, words[i]);
  return std::fwrite(rec, 1, sizeof rec, fp) == sizeof rec ? 0 : -1;
}

/* ---- the element file --------------------------------------------------- */

/* Text for an attribute value: markup characters as entities, anything
 * outside printable ASCII as "?" so that every parser takes the file. */
std::string xml_text(const char* text, size_t room) {
  std::string out;
  const size_t n = strnlen(text, room);
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += c < 0x20 ? ' ' : (c >= 0x7f ? '?' : static_cast<char>(c));
    }
  }
  return out;
}

float to_celsius(float f) { return (f - 32) * 5 / 9; }

int write_element(FILE* fp, const SFC_report& r) {
  std::string line = "<obs id=\"" + xml_text(r.id, SFC_ID_LEN) + "\" ";
  char buf[160];
  auto put = [&](const char* fmt, auto... args) {
    std::snprintf(buf, sizeof buf, fmt, args...);
    line += buf;
  };
  auto num = [&](const char* fmt, float v, bool non_negative) {
    if (present(v) && std::fabs(v) < 1e9 && (!non_negative || v >= 0)) put(fmt, v);
  };
  auto celsius = [&](const char* fmt, float v) {
    if (present(v) && std::fabs(v) < 1e9) put(fmt, to_celsius(v));
  };
  if (present(r.time)) put("time.hhmm=\"%4.4d\" ", r.time);
  if (present(r.lat)) put("lat=\"%.2f\" lon=\"%.2f\" ", r.lat, present(r.lon) ? r.lon : KEZ_FMISS);
  celsius("temp.C=\"%.1f\" ", r.t);
  celsius("dewp.C=\"%.1f\" ", r.td);
  num("wdir.deg=\"%.0f\" ", r.w_dir, false);
  num("wspd.knt=\"%.0f\" ", r.w_spd, false);
  num("wgust.knt=\"%.0f\" ", r.w_gust, true);
  num("alt.in=\"%.2f\" ", r.alt, false);
  num("slpr.mb=\"%.1f\" ", r.pmb, false);
  if (present(r.vis)) num(r.vis < 5 ? "vis.mi=\"%.2f\" " : "vis.mi=\"%.1f\" ", r.vis, false);
  const int ncld = std::clamp(r.num_cld, 0, SFC_MAX_CLOUD);
  if (ncld > 0) put("ncld=\"%d\" ", ncld);
  for (int i = 0; i < ncld; ++i)
    if (present(r.cld_height[i])) put("cld_hgt_%d.ft=\"%.0f\" ", i + 1, r.cld_height[i]);
  for (int i = 0; i < ncld; ++i) {
    const char cover[2] = {r.cld_cover[i], '\0'};
    put("cld_cov_%d=\"%s\" ", i + 1, blank(cover[0]) ? "M" : xml_text(cover, 2).c_str());
  }
  if (!blank(r.weather[0])) line += "wx=\"" + xml_text(r.weather, SFC_WEATHER_LEN) + "\" ";
  if (present(r.ptend)) put("ptype=\"%d\" ptend.mb=\"%.1f\" ", r.ptend_t, r.ptend);
  num("prec1.in=\"%.2f\" ", r.rain1, true);
  num("prec3.in=\"%.2f\" ", r.rain3, true);
  num("prec6.in=\"%.2f\" ", r.rain6, true);
  num("prec12.in=\"%.2f\" ", r.rain12, true);
  num("prec24.in=\"%.2f\" ", r.rain24, true);
  celsius("maxt.C=\"%.1f\" ", r.max_t);
  celsius("maxt6.C=\"%.1f\" ", r.max6_t);
  celsius("mint.C=\"%.1f\" ", r.min_t);
  celsius("mint6.C=\"%.1f\" ", r.min6_t);
  num("scover.in=\"%.1f\" ", r.scover, true);
  if (!blank(r.cld_type[0])) {
    const char* names[3] = {"lcld", "mcld", "hcld"};
    for (int i = 0; i < 3; ++i) {
      const char c[2] = {r.cld_type[i] == '\0' ? ' ' : r.cld_type[i], '\0'};
      line += std::string(names[i]) + "=\"" + xml_text(c, 2) + "\" ";
    }
  }
  num("solar.min=\"%.0f\" ", r.solar, true);
  num("sst.C=\"%.1f\" ", r.sst, false);
  num("wave_per.sec=\"%.0f\" ", r.wav_per, false);
  num("wave_hgt.m=\"%.1f\" ", r.wav_hgt, false);
  if (r.comment[0] != '\0') line += "comment=\"" + xml_text(r.comment, SFC_COMMENT_LEN) + "\" ";
  line += "/>\n";
  std::fputs(line.c_str(), fp);
  return 0;
}

/* ---- positioning -------------------------------------------------------- */

bool open_for_reading() { return state.file && is_text(state.file_type) && state.file_access == SFC_ACC_READ; }

/* From the start of the file to before the first report: past the magic
 * line (tagged) and the date. */
void skip_header() {
  FILE* fp = state.file.get();
  if (is_tagged(state.file_type)) skip_line(fp);
  skip_line(fp);
  state.stat_num = -1;
  state.cur_pos = -1;
}

int rewind_text() {
  FILE* fp = state.file.get();
  if (std::fseek(fp, 0, SEEK_SET) != 0) return -1;
  std::clearerr(fp);
  skip_header();
  return 0;
}

void close_file() {
  if (state.file && state.file_type == SFC_FT_ELEMENT && writing()) std::fputs("</kezsfc>\n", state.file.get());
  if (is_cdf(state.file_type)) SFC_cdf_close();
  state.file.reset();
  state.file_type = 0;
  state.file_access = SFC_ACC_READ;
  state.stat_num = -1;
  state.cur_pos = -1;
}

} // namespace

int SFC_chktype(const char* filename) {
  if (!filename || !*filename) return -1;
  Stream fp(FILE_open(filename, "r"));
  if (!fp) return -1;
  const int c = std::getc(fp.get());
  if (c == ' ' || c == '0' || c == '1' || c == '2') return SFC_FT_DOTTED;
  if (c == 'K') return SFC_FT_TAGGED;
  if (c == 'C') {
    fp.reset();
    const int type = SFC_cdf_chktype(filename);
    if (type < 0) MESS_print(M_warn, "SFC_chktype: %s: not a netCDF surface file\n", filename);
    return type;
  }
  MESS_print(M_warn, "SFC_chktype: %s: not a surface data file\n", filename);
  return -1;
}

int SFC_open(const char* filename, int f_access, int* f_type) {
  if (state.file_type != 0) close_file();
  if (!filename || !f_type) return -1;
  int type = *f_type;
  if (f_access < SFC_ACC_READ || f_access > SFC_ACC_APPEND) {
    MESS_print(M_error, "SFC_open: Unknown access %d\n", f_access);
    return -1;
  }
  if (type == 0) {
    if (f_access == SFC_ACC_WRITE) {
      MESS_print(M_error, "SFC_open: %s: a new file needs a layout type\n", filename);
      return -1;
    }
    type = SFC_chktype(filename);
    if (type < 0) return -1;
  }
  const char* mode = nullptr;
  if (is_text(type) || type == SFC_FT_ELEMENT) {
    if (f_access == SFC_ACC_APPEND) {
      const int found = SFC_chktype(filename);
      if (!is_text(found) || !is_text(type)) {
        MESS_print(M_error, "SFC_open: %s: cannot append to a file of another layout\n", filename);
        return -1;
      }
      type = found;
    }
    mode = f_access == SFC_ACC_READ ? "r" : f_access == SFC_ACC_WRITE ? "w" : "a";
  } else if (type == SFC_FT_BINARY) {
    if (f_access == SFC_ACC_APPEND) {
      MESS_print(M_error, "SFC_open: %s: binary surface files cannot be appended to\n", filename);
      return -1;
    }
    mode = f_access == SFC_ACC_READ ? "rb" : "wb";
  } else if (is_cdf(type)) {
    if (f_access == SFC_ACC_APPEND) {
      type = SFC_chktype(filename);
      if (!is_cdf(type)) {
        MESS_print(M_error, "SFC_open: %s: cannot append to a file of another layout\n", filename);
        return -1;
      }
    }
    const int fd = SFC_cdf_open(filename, f_access, type);
    if (fd < 0) {
      MESS_print(M_error, "SFC_open: Unable to open %s\n", filename);
      return -1;
    }
    state.file_type = type;
    state.file_access = f_access;
    *f_type = type;
    return fd;
  } else {
    MESS_print(M_error, "SFC_open: Unknown surface file type %d\n", type);
    return -1;
  }
  Stream fp(FILE_open(filename, mode));
  if (!fp) {
    MESS_print(M_error, "SFC_open: Unable to open %s\n", filename);
    return -1;
  }
  if (f_access == SFC_ACC_READ) {
    if (!state.buffer) state.buffer = std::make_unique_for_overwrite<char[]>(read_buffer_size);
    std::setvbuf(fp.get(), state.buffer.get(), _IOFBF, read_buffer_size);
  }
  state.file = std::move(fp);
  state.file_type = type;
  state.file_access = f_access;
  state.stat_num = -1;
  state.cur_pos = -1;
  if (open_for_reading()) skip_header(); /* a pipe cannot seek, but it starts there */
  *f_type = type;
  return fileno(state.file.get());
}

int SFC_getinfo(int /* cvt_fd */, SFC_info* info) {
  if (is_cdf(state.file_type)) return SFC_cdf_getinfo(info);
  if (!info || !state.file || !is_text(state.file_type)) return -1;
  if (writing()) return 1;
  FILE* fp = state.file.get();
  const long kept = std::ftell(fp);
  if (std::fseek(fp, 0, SEEK_SET) != 0) return -1;
  if (is_tagged(state.file_type)) skip_line(fp);
  info->num_stat = KEZ_MISS;
  std::string line;
  const bool got = read_line(fp, &line);
  copy_text(info->datim, got ? line : std::string(), SFC_DATIM_LEN);
  std::clearerr(fp);
  if (kept >= 0) std::fseek(fp, kept, SEEK_SET);
  DATE_decode_label(info->datim, &info->date);
  state.file_date = info->date;
  return 0;
}

int SFC_putinfo(int /* cvt_fd */, const SFC_info* info) {
  if (state.file_type == SFC_FT_CDF && writing()) return SFC_cdf_putinfo(info);
  if (!info || !state.file || !writing()) return -1;
  state.file_date = info->date;
  FILE* fp = state.file.get();
  const std::string datim = clean_text(info->datim, SFC_DATIM_LEN, SFC_DATIM_LEN - 1, "", ' ');
  switch (state.file_type) {
    case SFC_FT_DOTTED_SHORT:
    case SFC_FT_DOTTED: std::fprintf(fp, "%s\n", datim.c_str()); return 0;
    case SFC_FT_TAGGED:
    case SFC_FT_TAGGED_EXT: std::fprintf(fp, "KEZSFC\n%s\n", datim.c_str()); return 0;
    case SFC_FT_ELEMENT:
      std::fprintf(fp, "<kezsfc date=\"%s\">\n", xml_text(datim.c_str(), datim.size() + 1).c_str());
      return 0;
    case SFC_FT_BINARY: {
      auto two = [](int v) { return v < 0 || v == KEZ_MISS ? 0 : v % 100; };
      const Date& d = info->date;
      char head[SFC_BINARY_HEADER_LEN + 1];
      std::snprintf(head, sizeof head, "DATE:%2.2d/%2.2d/%2.2d %2.2d:%2.2d:%2.2d", two(d.month), two(d.day),
                    two(d.year), two(d.hour), two(d.min), two(d.sec));
      swap_setup(2);
      return std::fwrite(head, 1, SFC_BINARY_HEADER_LEN, fp) == SFC_BINARY_HEADER_LEN ? 0 : -1;
    }
    default: return -1;
  }
}

namespace {

/* One report of an open text file. */
int read_text_report(SFC_report* report, int rep_type, int* statnum) {
  if (!report || !statnum || !open_for_reading()) return -1;
  FILE* fp = state.file.get();
  const int n = std::max(*statnum, 0);
  if (n == state.stat_num && state.cur_pos >= 0) {
    if (std::fseek(fp, state.cur_pos, SEEK_SET) != 0) return -1;
  } else {
    if (n <= state.stat_num && rewind_text() != 0) return -1;
    /* the stream stands before report stat_num + 1 */
    while (state.stat_num + 1 < n) {
      if (!skip_line(fp)) return -1;
      ++state.stat_num;
    }
  }
  const long pos = std::ftell(fp);
  std::string& line = state.line;
  if (!read_line(fp, &line)) return -1;
  state.stat_num = n;
  state.cur_pos = pos;
  SFC_initialize(report);
  const bool ok =
      is_tagged(state.file_type) ? read_tagged(line, report, rep_type) : read_dotted(line, report, rep_type);
  return ok ? 0 : -1;
}

} // namespace

int SFC_read(int /* cvt_fd */, SFC_report* report, int rep_type, int* statnum) {
  const int result =
      is_cdf(state.file_type) ? SFC_cdf_read(report, rep_type, statnum) : read_text_report(report, rep_type, statnum);
  /* Values that no instrument gives (fill values of foreign files) must
   * never be drawn or analysed as measurements. */
  if (result == 0 && SFC_drop_absurd(report) > 0)
    MESS_print(M_debug, "SFC_read: %s: values that are no measurements taken as missing\n", report->id);
  return result;
}

int SFC_write(int /* cvt_fd */, const SFC_report* report, int /* rep_type */, int* statnum) {
  if (!report || !writing() || (!state.file && state.file_type != SFC_FT_CDF)) return -1;
  if (id_word(*report).empty()) {
    MESS_print(M_error, "SFC_write: report without an identifier\n");
    return -1;
  }
  if (state.file_type == SFC_FT_CDF) return SFC_cdf_write(report, statnum);
  FILE* fp = state.file.get();
  switch (state.file_type) {
    case SFC_FT_DOTTED_SHORT:
    case SFC_FT_DOTTED: return write_dotted(fp, *report, state.file_type);
    case SFC_FT_TAGGED:
    case SFC_FT_TAGGED_EXT: return write_tagged(fp, *report, state.file_type);
    case SFC_FT_BINARY: return write_binary(fp, *report);
    case SFC_FT_ELEMENT: return write_element(fp, *report);
    default: return -1;
  }
}

int SFC_rewind(int /* cvt_fd */) {
  if (is_cdf(state.file_type)) return SFC_cdf_rewind();
  if (!open_for_reading()) return -1;
  return rewind_text();
}

int SFC_close(int /* cvt_fd */) {
  if (state.file_type == 0) return -1;
  close_file();
  return 0;
}
