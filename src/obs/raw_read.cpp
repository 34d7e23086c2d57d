/*
 * raw_read: raw point-data files ("KEZRAW"), read value by value or field
 * by field, and written with their field lists.
 *
 * The module owns the table of RAW_MAX_FILES open files. Each slot keeps
 * its stream, the field table of its header, and the data line it last
 * read with the positions of that line's key tokens, so that several
 * fields asked for the same line number come from the same station, and
 * every file can be read value by value independently of the others.
 *
 * Files are hostile: lines are cut at RAW_LINE_LEN - 1 characters (the
 * rest of a long line is dropped, never read as a line of its own), field
 * lists keep their first RAW_MAX_FIELDS entries but are read to their "$",
 * every text is cut to the room of its record field, and numbers that are
 * not finite count as missing. Selectors below RAW_SEL_LIMIT are numbers
 * and are never dereferenced.
 */
#include "kezraw.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

constexpr size_t kMaxLine = RAW_LINE_LEN - 1;
constexpr size_t kMaxToken = 1023;   /* field-list tokens are cut here */
constexpr int kMaxNameSearch = 1000; /* tokens examined for "name=" */
constexpr int kWriterKeys = 3;       /* "id lat lon": the keys this writer always writes */
constexpr int kOpen = 1;

struct Field {
  char name[RAW_FIELD_NAME_LEN];
  char info[RAW_FIELD_INFO_LEN];
  char fmt[RAW_FIELD_FMT_LEN];
  size_t pos; /* the token's place in the current line */
};

struct RawFile {
  bool used = false;
  FILE* fp = nullptr;
  bool seekable = false; /* not a standard stream or a pipe */
  int state = -1;
  int type = 0;
  int access = RAW_READ;
  bool header_read = false;
  long data_start = 0; /* stream offset of the first data line */
  int next_line = 0;   /* number of the next line the stream gives */
  int held = -1;       /* number of the line in `line`, -1 none */
  bool ended = false;  /* the data ended (end of file or empty line) */
  long pos = 0;        /* value by value: 0 new line, -1 keys given, else offset */
  int ind = 0;         /* field index of the last value given */
  int num_field = 0;
  int keys = 0; /* key count of the field list, 0 without one */
  Field fields[RAW_MAX_FIELDS];
  std::string line;
  /* The keys of the held line. */
  char id[RAW_ID_LEN];
  int wmo = KEZ_MISS;
  float lat = KEZ_FMISS;
  float lon = KEZ_FMISS;
  size_t key_pos[3];
  bool key_have[3];
  size_t after_keys = 0;
};

struct {
  RawFile files[RAW_MAX_FILES];
  /* "plot_format" as RAW_write last read it, and what it gave. */
  std::string plot_format;
  bool plot_format_read = false;
  std::string value_fmt;
  std::string int_fmt;
  int format_type = 0;
} state;

/* ---- small text helpers ---------------------------------------------------------------- */

void put(char* dst, size_t room, std::string_view s) {
  const size_t n = s.size() < room - 1 ? s.size() : room - 1;
  if (n > 0) std::memcpy(dst, s.data(), n);
  dst[n] = '\0';
}

bool blank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

std::string_view next_token(std::string_view s, size_t* at) {
  size_t i = *at;
  while (i < s.size() && blank(s[i])) ++i;
  const size_t b = i;
  while (i < s.size() && !blank(s[i])) ++i;
  *at = i;
  return s.substr(b, i - b);
}

/* Whitespace and control characters of a written token become "_", so that
 * one value stays one token. */
std::string token_text(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (blank(c) || static_cast<unsigned char>(c) < 0x20) c = '_';
  return out;
}

/* A header line: newlines or control characters would end it early. */
std::string line_text(std::string_view s, size_t room) {
  std::string out(s.substr(0, room - 1));
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  return out;
}

/* A number token: "-" is missing; otherwise the whole token must be a
 * finite number. */
bool key_number(std::string_view tok, float* v) {
  if (tok == "-") {
    *v = KEZ_FMISS;
    return true;
  }
  if (tok.empty() || tok.size() > 63) return false;
  const std::string t(tok);
  char* end = nullptr;
  const float f = std::strtof(t.c_str(), &end);
  if (end != t.c_str() + t.size() || !std::isfinite(f)) return false;
  *v = f;
  return true;
}

/* One or two numbers joined by ",", read from the start of the text. */
void read_pair(const char* s, float* v0, float* v1) {
  char* end = nullptr;
  const float a = std::strtof(s, &end);
  if (end == s || !std::isfinite(a)) return;
  *v0 = a;
  if (*end != ',') return;
  const char* b = end + 1;
  const float c = std::strtof(b, &end);
  if (end != b && std::isfinite(c)) *v1 = c;
}

/* ---- slots and selectors ----------------------------------------------------------------- */

RawFile* slot(int fd) {
  if (fd < 0 || fd >= RAW_MAX_FILES || !state.files[fd].used) return nullptr;
  return &state.files[fd];
}

/* A selector holding a number gives true and the number. */
bool sel_number(const char* sel, long* n) {
  const auto v = reinterpret_cast<intptr_t>(sel);
  if (v < RAW_SEL_LIMIT) {
    *n = static_cast<long>(v);
    return true;
  }
  return false;
}

/* The keys that table lookups by number count: the file's own, or the
 * writer's "id lat lon" while it has no field list. */
int lookup_keys(const RawFile* f) { return f && f->keys > 0 ? f->keys : kWriterKeys; }

int find_name(const RawFile& f, const char* name, bool dash) {
  for (int i = 0; i < f.num_field; ++i) {
    const char* n = f.fields[i].name;
    if (std::strcmp(n, name) == 0) return i;
    if (dash && n[0] == '-' && std::strcmp(n + 1, name) == 0) return i;
  }
  return -1;
}

int field_index(const RawFile* f, const char* sel) {
  long n = 0;
  if (sel_number(sel, &n)) {
    if (n == KEZ_MISS) return -1;
    const long i = n - RAW_SEL_FIELD + lookup_keys(f);
    return i >= 0 && i < RAW_MAX_FIELDS ? static_cast<int>(i) : -1;
  }
  return f ? find_name(*f, sel, true) : -1;
}

void reset_file(RawFile& f) { f = RawFile(); }

/* ---- reading lines ------------------------------------------------------------------------ */

/* Reads one line, keeping its first `room` characters (NUL bytes become
 * blanks, a final carriage return goes). False at the end of the file. */
bool read_line(FILE* fp, std::string* out, size_t room) {
  out->clear();
  int c = std::getc(fp);
  if (c == EOF) return false;
  for (; c != EOF && c != '\n'; c = std::getc(fp))
    if (out->size() < room) out->push_back(c == '\0' ? ' ' : static_cast<char>(c));
  while (!out->empty() && out->back() == '\r') out->pop_back();
  return true;
}

/* The next whitespace-separated token of the stream, cut at kMaxToken;
 * *eol tells whether a newline (or the end) ended it. False at the end. */
bool read_token(FILE* fp, std::string* tok, bool* eol) {
  tok->clear();
  int c;
  do c = std::getc(fp);
  while (c != EOF && (blank(static_cast<char>(c)) || c == '\0'));
  if (c == EOF) return false;
  for (; c != EOF && c != '\0' && !blank(static_cast<char>(c)); c = std::getc(fp))
    if (tok->size() < kMaxToken) tok->push_back(static_cast<char>(c));
  *eol = c == EOF || c == '\n';
  return true;
}

void skip_rest(FILE* fp) {
  int c;
  do c = std::getc(fp);
  while (c != EOF && c != '\n');
}

void set_key_count(RawFile& f) {
  auto is = [&](int i, const char* a, const char* b) {
    return i < f.num_field && (stricmp(f.fields[i].name, a) == 0 || (b && stricmp(f.fields[i].name, b) == 0));
  };
  if (f.num_field >= 4 && is(1, "lat", "x"))
    f.keys = 3;
  else if (f.num_field >= 3 && is(1, "p", "pres"))
    f.keys = 2;
  else
    f.keys = 1;
}

/* The field list after a "!" info line: tokens up to one whose name begins
 * with "$". Entries beyond the table are read and dropped. */
void read_fields(RawFile& f) {
  std::string tok;
  bool eol = true;
  f.num_field = 0;
  while (read_token(f.fp, &tok, &eol)) {
    if (tok[0] == '$') {
      if (!eol) skip_rest(f.fp);
      break;
    }
    if (f.num_field >= RAW_MAX_FIELDS) continue;
    Field& e = f.fields[f.num_field++];
    const std::string_view t(tok);
    const size_t c1 = t.find(':');
    put(e.name, sizeof e.name, t.substr(0, c1));
    std::string_view rest = c1 == std::string_view::npos ? std::string_view{} : t.substr(c1 + 1);
    const size_t c2 = rest.find(':');
    std::string info(rest.substr(0, c2));
    for (char& c : info)
      if (c == '_') c = ' ';
    put(e.info, sizeof e.info, info);
    put(e.fmt, sizeof e.fmt, c2 == std::string_view::npos ? std::string_view{} : rest.substr(c2 + 1));
  }
  set_key_count(f);
}

int read_header(RawFile& f, RAW_info* info) {
  RAW_info scratch{};
  if (!info) info = &scratch;
  std::string line;
  f.header_read = true;
  info->num_stat = KEZ_MISS;
  info->datim[0] = info->info[0] = '\0';
  DATE_decode_label(nullptr, &info->date);
  read_line(f.fp, &line, kMaxLine); /* the magic line */
  if (read_line(f.fp, &line, kMaxLine)) put(info->datim, sizeof info->datim, line);
  DATE_decode_label(info->datim, &info->date);
  if (read_line(f.fp, &line, kMaxLine)) {
    const bool list = !line.empty() && line[0] == '!';
    put(info->info, sizeof info->info, std::string_view(line).substr(list ? 1 : 0));
    if (list) read_fields(f);
  }
  if (f.seekable) f.data_start = std::ftell(f.fp);
  return 0;
}

/* Back to the first data line. */
int rewind_file(RawFile& f) {
  if (!f.seekable || !f.fp) return -1;
  if ((f.type == RAW_TYPE_HEADER || f.type == RAW_TYPE_HEADER2) && !f.header_read) {
    if (std::fseek(f.fp, 0, SEEK_SET) != 0) return -1;
    read_header(f, nullptr);
  }
  if (std::fseek(f.fp, f.data_start, SEEK_SET) != 0) return -1;
  f.next_line = 0;
  f.held = -1;
  f.ended = false;
  f.pos = 0;
  return 0;
}

/* Decodes the keys of the held line. */
void decode_keys(RawFile& f) {
  const std::string_view s(f.line);
  size_t at = 0;
  for (bool& h : f.key_have) h = false;
  while (at < s.size() && blank(s[at])) ++at;
  f.key_pos[0] = at;
  f.key_have[0] = at < s.size();
  const std::string_view id = next_token(s, &at);
  put(f.id, sizeof f.id, id);
  f.wmo = KEZ_MISS;
  if (id.size() > 4) {
    const long long w = std::atoll(std::string(id.substr(0, 30)).c_str());
    if (w > -2147483647LL && w < 2147483647LL) f.wmo = static_cast<int>(w);
  }
  f.lat = f.lon = KEZ_FMISS;
  f.after_keys = at;
  if (f.keys == 3 || f.keys == 0) {
    size_t p = at;
    while (p < s.size() && blank(s[p])) ++p;
    const size_t p1 = p;
    const std::string_view t1 = next_token(s, &p);
    while (p < s.size() && blank(s[p])) ++p;
    const size_t p2 = p;
    const std::string_view t2 = next_token(s, &p);
    float a = 0, b = 0;
    const bool both = key_number(t1, &a) && key_number(t2, &b);
    f.key_pos[1] = p1;
    f.key_pos[2] = p2;
    f.key_have[1] = !t1.empty();
    f.key_have[2] = !t2.empty();
    if (both) {
      f.lat = a;
      f.lon = b;
      f.after_keys = p;
    } else if (f.keys == 3) {
      f.after_keys = p;
    } else {
      f.key_have[1] = f.key_have[2] = false;
    }
  } else if (f.keys == 2) {
    size_t p = at;
    while (p < s.size() && blank(s[p])) ++p;
    f.key_pos[1] = p;
    const std::string_view t1 = next_token(s, &p);
    f.key_have[1] = !t1.empty();
    float a = 0;
    if (key_number(t1, &a)) f.lat = a;
    f.after_keys = p;
  }
}

/* Reads the next line of the stream as data line number next_line: 1, or
 * -1 when the data end there (end of file, or an empty line). */
int read_data_line(RawFile& f) {
  if (f.ended || !read_line(f.fp, &f.line, kMaxLine) || f.line.find_first_not_of(" \t\r\v\f") == std::string::npos) {
    f.ended = true;
    f.held = -1;
    return -1;
  }
  f.held = f.next_line++;
  f.pos = 0;
  decode_keys(f);
  return 1;
}

bool skip_data_line(RawFile& f) {
  std::string scratch;
  if (!read_line(f.fp, &scratch, kMaxLine) || scratch.find_first_not_of(" \t\r\v\f") == std::string::npos) {
    f.ended = true;
    return false;
  }
  ++f.next_line;
  return true;
}

/* Makes data line `target` the held line: the held one again when it is
 * the same number; an earlier one by rewinding (a stream that cannot be
 * rewound gives its next line); a later one by skipping. 1, or -1 when
 * the data end first. */
int position(RawFile& f, int target) {
  if (target < 0) target = 0;
  if (f.held >= 0 && target == f.held) return 1;
  if (target < f.next_line) {
    if (f.seekable) {
      if (rewind_file(f) != 0) return -1;
    } else {
      target = f.next_line;
    }
  }
  if (f.ended) return -1;
  while (f.next_line < target)
    if (!skip_data_line(f)) return -1;
  return read_data_line(f);
}

void fill_keys(const RawFile& f, RAW_report* r) {
  put(r->id, sizeof r->id, f.id);
  r->wmo = f.wmo;
  r->lat = f.lat;
  r->lon = f.lon;
  r->type = KEZ_MISS;
  r->value[0] = r->value[1] = KEZ_FMISS;
  r->data[0] = '\0';
  r->format[0] = '\0';
}

void decode(const RawFile* f, int ind, RAW_report* r, std::string_view tok) {
  std::string format;
  if (f && ind >= 0 && ind < f->num_field) format = f->fields[ind].fmt;
  const size_t colon = tok.find(':');
  if (colon != std::string_view::npos) {
    if (!format.empty()) format += ':';
    format.append(tok.substr(colon + 1));
    tok = tok.substr(0, colon);
  }
  const size_t eq = tok.find('=');
  if (eq != std::string_view::npos) tok = tok.substr(eq + 1);
  put(r->format, sizeof r->format, format);
  r->value[0] = r->value[1] = KEZ_FMISS;
  r->data[0] = '\0';
  if (tok == "-") return;
  put(r->data, sizeof r->data, tok);
  if (!tok.empty() && (tok[0] == '-' || tok[0] == '.' || std::isdigit(static_cast<unsigned char>(tok[0]))))
    read_pair(r->data, &r->value[0], &r->value[1]);
}

/* Every value of the held line in turn. */
int read_next_value(RawFile& f, RAW_report* r) {
  fill_keys(f, r);
  if (f.pos == -1) {
    f.pos = 0;
    return 0;
  }
  const bool first = f.pos == 0;
  size_t at = first ? f.after_keys : static_cast<size_t>(f.pos);
  f.ind = first ? f.keys : f.ind + 1;
  const std::string_view tok = next_token(f.line, &at);
  if (!tok.empty()) {
    decode(&f, f.ind, r, tok);
    r->type = f.ind;
    f.pos = static_cast<long>(at);
    return 1;
  }
  if (first) {
    f.pos = -1;
    return 1;
  }
  f.pos = 0;
  return 0;
}

/* One field of the held line, by number or by name. */
void read_field(RawFile& f, RAW_report* r, const char* sel) {
  fill_keys(f, r);
  long value_num = 0;
  const char* search = nullptr;
  long n = 0;
  if (sel_number(sel, &n)) {
    if (n == KEZ_MISS) return;
    value_num = n - RAW_SEL_FIELD;
  } else {
    const int i = find_name(f, sel, false);
    if (i >= 0)
      value_num = i - f.keys;
    else if (stricmp(sel, "id") == 0)
      value_num = -f.keys - (f.keys == 0 ? 1 : 0);
    else
      search = sel;
  }
  const std::string_view s(f.line);
  if (search) {
    const size_t len = std::strlen(search);
    if (len == 0) return;
    size_t at = f.after_keys;
    for (int k = 0; k < kMaxNameSearch; ++k) {
      const std::string_view tok = next_token(s, &at);
      if (tok.empty()) return;
      if (tok.size() > len && tok.compare(0, len, search) == 0 && tok[len] == '=') {
        decode(&f, find_name(f, search, false), r, tok);
        return;
      }
    }
    return;
  }
  if (value_num < 0) {
    /* A key: the identifier, the position or the pressure. */
    const long key = value_num + (f.keys > 0 ? f.keys : 1);
    if (key < 0 || key > 2 || !f.key_have[key]) return;
    size_t at = f.key_pos[key];
    decode(&f, static_cast<int>(key), r, next_token(s, &at));
    r->type = static_cast<int>(key);
    return;
  }
  size_t at = f.after_keys;
  std::string_view tok;
  for (long k = 0; k <= value_num; ++k) {
    tok = next_token(s, &at);
    if (tok.empty()) return;
  }
  const int ind = static_cast<int>(value_num + f.keys);
  decode(&f, ind, r, tok);
  r->type = ind;
}

/* ---- writing ----------------------------------------------------------------------------- */

/* The value format and plot type of "plot_format", read again when the
 * resource changed; a "%" item that prints no number is reported once. */
void read_plot_format() {
  const char* pf = RES_get("plot_format");
  const std::string text = pf ? pf : "";
  if (state.plot_format_read && text == state.plot_format) return;
  state.plot_format_read = true;
  state.plot_format = text;
  state.value_fmt = "%f";
  state.int_fmt = "%d";
  state.format_type = 0;
  std::string_view rest(text);
  while (!rest.empty()) {
    const size_t c = rest.find(':');
    const std::string item(rest.substr(0, c));
    rest = c == std::string_view::npos ? std::string_view{} : rest.substr(c + 1);
    if (item.empty()) continue;
    if (item[0] == '%') {
      const bool f = FMT_check(item.c_str(), FMT_FLOAT) != 0;
      const bool i = FMT_check(item.c_str(), FMT_INT) != 0;
      if (f) state.value_fmt = item;
      if (i) state.int_fmt = item;
      if (!f && !i)
        MESS_print(M_warn, "RAW_write: plot_format item %.40s is no number format, using %%f\n", item.c_str());
    } else if (const int t = VAR_dec_type(item.c_str()); t >= 0) {
      state.format_type = t;
    }
  }
}

bool missing(float v) { return v == KEZ_FMISS || !std::isfinite(v); }

std::string value_text(const RAW_report* r, int type) {
  switch (type) {
    case VAR_TYPE_DATA:
    case VAR_TYPE_TEXT:
    case VAR_TYPE_MARK:
    case VAR_TYPE_CLOUD:
    case VAR_TYPE_SYMB: {
      const std::string_view d(r->data, strnlen(r->data, sizeof r->data));
      return d.empty() || d[0] == ' ' ? "-" : token_text(d);
    }
    case VAR_TYPE_VALUE:
      return missing(r->value[0]) ? "-" : FMT_print_float("RAW_write", state.value_fmt.c_str(), "%f", r->value[0]);
    case VAR_TYPE_INT: {
      const float v = r->value[0];
      if (missing(v) || std::fabs(v) >= 2147483647.0f) return "-";
      return FMT_print_int("RAW_write", state.int_fmt.c_str(), "%d", static_cast<long>(static_cast<int>(v)));
    }
    case VAR_TYPE_VECT:
    case VAR_TYPE_BARB:
    case VAR_TYPE_WBARB:
    case VAR_TYPE_CBARB:
    case VAR_TYPE_DBARB:
    case VAR_TYPE_VBARB:
      if (missing(r->value[0])) return "-";
      return FMT_print_float("RAW_write", state.value_fmt.c_str(), "%f", r->value[0]) + "," +
             (missing(r->value[1]) ? std::string("-")
                                   : FMT_print_float("RAW_write", state.value_fmt.c_str(), "%f", r->value[1]));
    default: return "-"; /* a value of no written kind still holds its column */
  }
}

std::string line_start(const RAW_report* r) {
  const std::string_view id(r->id, strnlen(r->id, sizeof r->id));
  std::string out = id.empty() ? "-" : token_text(id);
  char pos[64];
  /* A missing position is written as two "-" so that readers of either
   * kind never take the first values for it. */
  if (missing(r->lat))
    std::snprintf(pos, sizeof pos, " %6s %7s", "-", "-");
  else if (missing(r->lon))
    std::snprintf(pos, sizeof pos, " %6.2f %7s", static_cast<double>(r->lat), "-");
  else
    std::snprintf(pos, sizeof pos, " %6.2f %7.2f", static_cast<double>(r->lat), static_cast<double>(r->lon));
  return out + pos;
}

bool writable(const RawFile* f) {
  return f && f->fp && f->access != RAW_READ && (f->type == RAW_TYPE_HEADER || f->type == RAW_TYPE_HEADER2);
}

} // namespace

/* ---- opening and closing ------------------------------------------------------------------- */

int RAW_chktype(const char* filename) {
  if (!filename) return -1;
  if (FILE_is_stdio(filename)) return stricmp(filename, "stdn") == 0 ? RAW_TYPE_PLAIN : RAW_TYPE_HEADER;
  FILE* fp = FILE_open(filename, "r");
  if (!fp) return -1;
  /* The whole magic, not its first letter: headerless files often begin
   * with a station called K..., whose first lines must not be taken for a
   * header. */
  static constexpr char kMagic[] = "KEZRAW";
  char head[sizeof kMagic - 1] = {};
  const size_t n = std::fread(head, 1, sizeof head, fp);
  FILE_close(fp);
  return n == sizeof head && std::memcmp(head, kMagic, sizeof head) == 0 ? RAW_TYPE_HEADER : RAW_TYPE_PLAIN;
}

int RAW_open(const char* filename, int f_access, int* f_type) {
  int fd = -1;
  for (int i = 0; i < RAW_MAX_FILES && fd < 0; ++i)
    if (!state.files[i].used) fd = i;
  if (fd < 0) return -1;
  RawFile& f = state.files[fd];
  reset_file(f);
  int type = f_type ? *f_type : 0;
  std::string name = filename ? filename : "";
  const bool std_stream = FILE_is_stdio(name.c_str()) != 0;
  if (name.empty() || name == "-" || stricmp(name.c_str(), "std") == 0) {
    type = RAW_TYPE_HEADER;
  } else if (stricmp(name.c_str(), "stdn") == 0) {
    name = "-";
    type = RAW_TYPE_PLAIN;
  }
  if (type == 0) {
    if (f_access != RAW_READ) return -1;
    type = RAW_chktype(name.c_str());
    if (type < 0) return -1;
  }
  if (type != RAW_TYPE_HEADER && type != RAW_TYPE_HEADER2 && type != RAW_TYPE_PLAIN) return -1;
  const char* mode = nullptr;
  switch (f_access) {
    case RAW_READ: mode = "r"; break;
    case RAW_WRITE: mode = "w"; break;
    case RAW_APPEND:
      if (std_stream || RAW_chktype(name.c_str()) != RAW_TYPE_HEADER) return -1;
      type = RAW_TYPE_HEADER;
      mode = "a";
      break;
    default: return -1;
  }
  f.fp = FILE_open(name.c_str(), mode);
  if (!f.fp) return -1;
  f.used = true;
  f.seekable = !std_stream && name[0] != '|' && f_access == RAW_READ && std::fseek(f.fp, 0, SEEK_CUR) == 0;
  f.state = kOpen;
  f.type = type;
  f.access = f_access;
  f.header_read = type == RAW_TYPE_PLAIN;
  f.data_start = 0;
  if (f_type) *f_type = type;
  return fd;
}

int RAW_close(int raw_fd) {
  RawFile* f = slot(raw_fd);
  if (!f) return 0;
  if (f->fp) {
    if (f->access == RAW_WRITE) std::fputc('\n', f->fp);
    FILE_close(f->fp);
  }
  reset_file(*f);
  return 0;
}

/* ---- header and field table -------------------------------------------------------------- */

int RAW_getinfo(int raw_fd, RAW_info* info) {
  RawFile* f = slot(raw_fd);
  if (!f || f->access != RAW_READ) return 0;
  if (f->type == RAW_TYPE_PLAIN) return -1;
  if (f->type != RAW_TYPE_HEADER && f->type != RAW_TYPE_HEADER2) return -1;
  return read_header(*f, info);
}

int RAW_get_num_field(int raw_fd) {
  const RawFile* f = slot(raw_fd);
  return f ? f->num_field : 0;
}

int RAW_get_field_ind(int raw_fd, const char* field) { return field_index(slot(raw_fd), field); }

namespace {

Field* entry(int raw_fd, const char* field, bool in_list) {
  RawFile* f = slot(raw_fd);
  if (!f) return nullptr;
  const int i = field_index(f, field);
  if (i < 0 || (in_list && i >= f->num_field)) return nullptr;
  return &f->fields[i];
}

char* nonempty(char* s) { return s[0] ? s : nullptr; }

/* The entry a writer fills: its file is open for writing, and the field
 * count then covers it. */
Field* write_entry(int raw_fd, const char* field) {
  RawFile* f = slot(raw_fd);
  if (!f || f->access == RAW_READ) return nullptr;
  const int i = field_index(f, field);
  if (i < 0) return nullptr;
  if (f->num_field < i + 1) f->num_field = i + 1;
  return &f->fields[i];
}

} // namespace

char* RAW_get_field_name(int raw_fd, const char* field) {
  Field* e = entry(raw_fd, field, true);
  return e ? nonempty(e->name) : nullptr;
}

char* RAW_get_field_info(int raw_fd, const char* field) {
  Field* e = entry(raw_fd, field, true);
  return e ? nonempty(e->info) : nullptr;
}

char* RAW_get_field_fmt(int raw_fd, const char* field) {
  Field* e = entry(raw_fd, field, true);
  return e ? nonempty(e->fmt) : nullptr;
}

char* RAW_set_field_name(int raw_fd, const char* field, const char* name) {
  if (Field* e = write_entry(raw_fd, field)) put(e->name, sizeof e->name, name ? name : "");
  return nullptr;
}

int RAW_set_field_info(int raw_fd, const char* field, const char* str) {
  Field* e = write_entry(raw_fd, field);
  if (!e) return 0;
  put(e->info, sizeof e->info, str ? str : "");
  return 1;
}

int RAW_set_field_fmt(int raw_fd, const char* field, const char* fmt) {
  Field* e = write_entry(raw_fd, field);
  if (!e) return 0;
  put(e->fmt, sizeof e->fmt, fmt ? fmt : "");
  return 1;
}

int RAW_putinfo(int raw_fd, const RAW_info* info) {
  RawFile* f = slot(raw_fd);
  if (!f) return 0;
  if (!writable(f) || !info) return -1;
  const std::string datim =
      line_text(std::string_view(info->datim, strnlen(info->datim, sizeof info->datim)), RAW_LABEL_LEN);
  const std::string text =
      line_text(std::string_view(info->info, strnlen(info->info, sizeof info->info)), RAW_LABEL_LEN);
  if (f->num_field <= 0) {
    std::fprintf(f->fp, "KEZRAW\n%s\n%s\n", datim.c_str(), text.c_str());
    return 0;
  }
  std::fprintf(f->fp, "KEZRAW\n%s\n!%s\nid lat lon\n", datim.c_str(), text.c_str());
  for (int i = kWriterKeys; i < f->num_field; ++i) {
    Field& e = f->fields[i];
    put(e.name, sizeof e.name, token_text(e.name));
    put(e.info, sizeof e.info, token_text(e.info));
    put(e.fmt, sizeof e.fmt, token_text(e.fmt));
    std::fprintf(f->fp, "%s:%s:%s\n", e.name, e.info, e.fmt);
  }
  std::fputs("$\n", f->fp);
  return 0;
}

int RAW_putheader(int raw_fd, const char* header) {
  RawFile* f = slot(raw_fd);
  if (!f) return 0;
  if (!writable(f)) return -1;
  std::fprintf(f->fp, "%s $\n", line_text(header ? header : "", RAW_LINE_LEN * 4).c_str());
  return 0;
}

/* ---- reading data ---------------------------------------------------------------------------- */

int RAW_read(int raw_fd, RAW_report* report, const char* rep_type, int* statnum) {
  RawFile* f = slot(raw_fd);
  if (!f) return 0;
  if (f->type != RAW_TYPE_HEADER && f->type != RAW_TYPE_HEADER2 && f->type != RAW_TYPE_PLAIN) return -1;
  if (f->access != RAW_READ || !f->fp || !report) return -1;
  if (!f->header_read) read_header(*f, nullptr);
  long n = 0;
  const bool all = sel_number(rep_type, &n) && n == RAW_SEL_ALL;
  if (all) {
    if (f->pos == 0 || f->held < 0) {
      /* Lines come in order; a number at or before the last line read
       * (0 above all) starts again there. */
      const int asked = statnum ? *statnum : f->held + 1;
      const int target = (asked <= 0 || asked < f->held) ? asked : f->held + 1;
      if (position(*f, target) < 0) return -1;
    }
    return read_next_value(*f, report);
  }
  if (position(*f, statnum ? *statnum : f->held + 1) < 0) return -1;
  read_field(*f, report, rep_type);
  return 0;
}

int RAW_dec_line(int raw_fd, int ind, RAW_report* report, const char* str) {
  if (!report) return 0;
  decode(slot(raw_fd), ind, report, str ? std::string_view(str) : std::string_view{});
  return 0;
}

int RAW_rewind(int raw_fd) {
  RawFile* f = slot(raw_fd);
  if (!f || f->access != RAW_READ) return -1;
  return rewind_file(*f);
}

/* ---- writing data ---------------------------------------------------------------------------- */

int RAW_write(int raw_fd, const RAW_report* report, const char* rep_type, int* /*statnum*/) {
  RawFile* f = slot(raw_fd);
  if (!writable(f) || !report) return 0;
  read_plot_format();
  long part = 0;
  if (!sel_number(rep_type, &part)) part = RAW_PUT_VALUE;
  if (part == RAW_PUT_START) {
    std::fputs(line_start(report).c_str(), f->fp);
    return 0;
  }
  if (part == RAW_PUT_END) {
    std::fputc('\n', f->fp);
    return 0;
  }
  const int type = state.format_type != 0 ? state.format_type : report->type;
  std::string value = " " + value_text(report, type);
  const std::string_view fmt(report->format, strnlen(report->format, sizeof report->format));
  if (!fmt.empty()) value += ":" + token_text(fmt);
  if (part == RAW_PUT_LINE) {
    std::fprintf(f->fp, "%s%s\n", line_start(report).c_str(), value.c_str());
  } else {
    std::fputs(value.c_str(), f->fp);
  }
  return 1;
}
