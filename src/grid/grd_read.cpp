/*
 * grd_read: grid files through one handle interface.
 *
 * Owns the table of 15 open grid files (the handle is the slot index) and
 * the reading state beside it. GRD_open detects or takes a file type;
 * GRD_getinfo, GRD_read, GRD_putinfo, GRD_write, GRD_rewind and GRD_close
 * dispatch on it. The suite's own formats live here: raw text (1), the
 * "KEZGRID" text format with its binary records (2 and 3), records whose
 * values lie in a second file, and "KEZGRID4" (4). GRIB files (21) are
 * read through the decoder's section readers, which the decoder lends
 * (GRD_set_grib_ops): a record is one field, a message holding several
 * fields gives several records; GRIB output files take whole messages only.
 * WMO GRID-code bulletins (22) are decoded here, grid after grid, each on
 * the fixed 19 by 15 latitude-longitude geometry of its identifier.
 *
 * Every file is hostile: lines are bounded, grid sizes are checked against
 * GRD_MAX_POINTS and against what the file can still hold before anything
 * is allocated, numbers must parse whole, and binary values are decoded
 * big-endian here whatever byte order another reader chose for the process.
 * netCDF files (type 11) are passed to grd_cdf, which keeps their layouts.
 * Each handle keeps its own position, so records can be asked for by any
 * number and two files can be read in turn.
 */
#include "kezgrd.h"

#include <sys/stat.h>

#include <array>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr const char kMagic[] = "KEZGRID";
constexpr size_t kMagicLen = 7;
constexpr const char kDefaultFormat[] = "%14.8e";
constexpr size_t kChkBytes = 200;
constexpr size_t kTokenMax = 64;    /* longest text number */
constexpr size_t kRefKindMax = 5;   /* second-file reference: kind */
constexpr size_t kRefNameMax = 159; /* and file name */

/* A GRIB record: field `field` of the message whose framing begins at msg. */
struct GribRec {
  long msg;
  int field;
};

/* A line of a GRIB file's companion header file. */
struct HdrLine {
  long offset;
  std::string text;
};

/* The grid-code state that runs from record to record. */
struct GcCarry {
  int wind_dec = 0; /* 1 east-west, 2 north-south, 0 none */
  int bpval = 3;    /* digits per value */
  bool run22 = false;
};

/* Reading position of one open file. */
struct Slot {
  std::unique_ptr<GRD_file> f;
  bool is_std = false;  /* standard input or output: never seek, never close */
  long first_rec = -1;  /* offset of record 0 (after the magic line), -1 unknown */
  int next_num = 0;     /* number of the record that starts at the stream position */
  long last_start = -1; /* offset of the record read last, -1 none */
  int last_num = -1;    /* its number */
  bool pending = false; /* standard input: record 0's date line already read */
  /* GRIB and GRID code: the records found so far, record grib_base + i
   * being grib[i] (GRID code: grib_base 0, field 0). */
  std::vector<struct GribRec> grib;
  int grib_base = 0;
  long grib_scan = 0;              /* where the next message not yet scanned begins, -1 none */
  std::vector<struct HdrLine> hdr; /* companion header lines read so far */
  bool hdr_end = false;
  GcCarry gc_carry;               /* GRID code: the state after the last record scanned */
  std::vector<GcCarry> gc_starts; /* and the state each record starts from */
};

struct GridFiles {
  std::array<Slot, GRD_MAX_FILES> slots;
  long cur_pos = 0;  /* start of the record read last (any file) */
  long new_pos = -1; /* just past it */
  int use_hdrfile = 1;
  std::string format; /* value format of text files written; empty: default */
};

GridFiles state;

/* What the GRIB decoder lends (src/hooks.cpp). */
constinit struct { GRD_grib_ops grib{}; } hooks;

Slot* handle(const char* who, int fd) {
  if (fd < 0 || fd >= GRD_MAX_FILES) {
    MESS_print(M_warn, "%s: Invalid grid file handle %d\n", who, fd);
    return nullptr;
  }
  Slot& s = state.slots[static_cast<size_t>(fd)];
  return s.f ? &s : nullptr;
}

bool is_stream_type(int t) { return t >= GRD_TYPE_RAW && t <= GRD_TYPE_FORMAT4; }

void copy_field(char* dst, size_t n, const std::string& src) {
  size_t len = std::min(src.size(), n - 1);
  std::memcpy(dst, src.data(), len);
  dst[len] = '\0';
}

/* ---- low-level reading ------------------------------------------------------ */

enum class Line { ok, eof, too_long };

/* One line without its newline and carriage returns, at most GRD_LINE_LEN
 * characters; a longer line is consumed and reported. */
Line read_line(FILE* fp, std::string* line) {
  line->clear();
  int c;
  bool any = false, long_line = false;
  while ((c = std::getc(fp)) != EOF) {
    any = true;
    if (c == '\n') break;
    if (c == '\r') continue;
    if (line->size() < static_cast<size_t>(GRD_LINE_LEN))
      *line += static_cast<char>(c);
    else
      long_line = true;
  }
  if (!any) return Line::eof;
  return long_line ? Line::too_long : Line::ok;
}

/* Bytes left in a regular file from the current position; -1 unknown. */
long bytes_left(FILE* fp) {
  struct stat sb {};
  if (fstat(fileno(fp), &sb) != 0 || !S_ISREG(sb.st_mode)) return -1;
  long pos = std::ftell(fp);
  if (pos < 0) return -1;
  return sb.st_size > pos ? static_cast<long>(sb.st_size - pos) : 0;
}

bool is_space(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

/* The next white-space separated number; false at the end or for a word
 * that is not a number. */
bool read_number(FILE* fp, float* value) {
  int c;
  while ((c = std::getc(fp)) != EOF && is_space(c)) {
  }
  if (c == EOF) return false;
  char tok[kTokenMax + 1];
  size_t n = 0;
  while (c != EOF && !is_space(c)) {
    if (n == kTokenMax) return false;
    tok[n++] = static_cast<char>(c);
    c = std::getc(fp);
  }
  if (c != EOF) std::ungetc(c, fp);
  tok[n] = '\0';
  char* end = nullptr;
  errno = 0;
  float v = std::strtof(tok, &end);
  if (end == tok || *end != '\0') return false;
  *value = v;
  return true;
}

/* After the last text value: blanks up to and including the newline. */
void finish_line(FILE* fp) {
  int c;
  while ((c = std::getc(fp)) != EOF) {
    if (c == '\n') return;
    if (c != ' ' && c != '\t' && c != '\r') {
      std::ungetc(c, fp);
      return;
    }
  }
}

float from_big_endian(const unsigned char* b) {
  std::uint32_t u =
      (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | std::uint32_t{b[3]};
  return std::bit_cast<float>(u);
}

void to_big_endian(float v, unsigned char* b) {
  std::uint32_t u = std::bit_cast<std::uint32_t>(v);
  b[0] = static_cast<unsigned char>(u >> 24);
  b[1] = static_cast<unsigned char>(u >> 16);
  b[2] = static_cast<unsigned char>(u >> 8);
  b[3] = static_cast<unsigned char>(u);
}

/* Splits a line into blank-separated words. */
std::vector<std::string> words(const std::string& line) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    size_t j = i;
    while (j < line.size() && line[j] != ' ' && line[j] != '\t') ++j;
    if (j > i) out.emplace_back(line, i, j - i);
    i = j;
  }
  return out;
}

bool parse_float(const std::string& s, float* v) {
  if (s.empty() || s.size() > kTokenMax) return false;
  char* end = nullptr;
  float x = std::strtof(s.c_str(), &end);
  if (end == s.c_str() || *end != '\0') return false;
  *v = x;
  return true;
}

bool parse_int(const std::string& s, long lo, long hi, long* v) {
  if (s.empty() || s.size() > kTokenMax) return false;
  char* end = nullptr;
  errno = 0;
  long x = std::strtol(s.c_str(), &end, 10);
  if (end == s.c_str() || *end != '\0' || errno == ERANGE || x < lo || x > hi) return false;
  *v = x;
  return true;
}

bool parse_int(const std::string& s, int* v) {
  long x = 0;
  if (!parse_int(s, -2147483647L - 1, 2147483647L, &x)) return false;
  *v = static_cast<int>(x);
  return true;
}

/* ---- record layout ---------------------------------------------------------- */

/* The projection words of the text formats and their codes. */
struct ProjWord {
  const char* word;
  int proj;
};
constexpr ProjWord proj_words[] = {{"PS", 1}, {"LL", 2}, {"ME", 3}, {"LC", 4}};

/* Reads a projection line into d (reset before). */
bool parse_projection(const std::string& line, int version, Domain* d) {
  std::vector<std::string> w = words(line);
  if (w.empty()) return false;
  const std::string& head = w[0];
  std::string name = head.substr(0, head.find(':'));
  const ProjWord* pw = nullptr;
  for (const ProjWord& p : proj_words)
    if (name == p.word) pw = &p;
  if (!pw) {
    /* The old polar-stereographic layout: clat clon dx nx ny. */
    float clat = 0, clon = 0, dx = 0;
    if (w.size() != 5 || !parse_float(w[0], &clat) || !parse_float(w[1], &clon) || !parse_float(w[2], &dx) ||
        !parse_int(w[3], &d->nx) || !parse_int(w[4], &d->ny))
      return false;
    d->proj = 1;
    d->clat = clat;
    d->clon = clon;
    d->dx = d->dy = dx;
  } else {
    d->proj = pw->proj;
    std::vector<float> params;
    size_t p = head.find(':');
    while (p != std::string::npos) {
      size_t q = head.find(':', p + 1);
      float v = 0;
      if (!parse_float(head.substr(p + 1, q == std::string::npos ? std::string::npos : q - p - 1), &v)) return false;
      params.push_back(v);
      p = q;
    }
    if (pw->proj == 3 && !params.empty()) return false;
    if (pw->proj == 4) {
      if (params.size() == 5) {
        d->plat = params[0];
        d->plon = params[1];
        for (int i = 0; i < 3; ++i) d->param[i] = params[static_cast<size_t>(i) + 2];
      } else if (params.size() == 1) {
        d->plon = params[0];
      } else if (!params.empty()) {
        return false;
      }
    } else if (params.size() == 1) {
      d->plon = params[0];
    } else if (!params.empty()) {
      return false;
    }
    if (w.size() != 7 || !parse_float(w[1], &d->clat) || !parse_float(w[2], &d->clon) || !parse_float(w[3], &d->dx) ||
        !parse_float(w[4], &d->dy) || !parse_int(w[5], &d->nx) || !parse_int(w[6], &d->ny))
      return false;
  }
  /* Negate first, so that a central meridian taken from the centre is the
   * centre's real longitude. */
  if (version == 1) d->clon = -d->clon;
  if (pw && (pw->proj == 1 || pw->proj == 2) && d->plon == KEZ_FMISS) d->plon = d->clon;
  return true;
}

/* The projection line of a domain; false for a projection that the text
 * formats cannot carry. */
bool projection_line(const Domain& d, std::string* out) {
  char buf[256];
  auto set = [](float v) { return v != KEZ_FMISS; };
  switch (d.proj) {
    case 1:
    case 2: {
      const char* w = d.proj == 1 ? "PS" : "LL";
      if (set(d.plon) && d.plon != d.clon)
        std::snprintf(buf, sizeof buf, "%s:%f ", w, d.plon);
      else
        std::snprintf(buf, sizeof buf, "%s ", w);
      break;
    }
    case 3: std::snprintf(buf, sizeof buf, "ME "); break;
    case 4:
      if (set(d.param[0]))
        std::snprintf(buf, sizeof buf, "LC:%f:%f:%f:%f:%f ", d.plat, d.plon, d.param[0], d.param[1], d.param[2]);
      else if (set(d.plon))
        std::snprintf(buf, sizeof buf, "LC:%f ", d.plon);
      else
        std::snprintf(buf, sizeof buf, "LC ");
      break;
    default: return false;
  }
  *out = buf;
  std::snprintf(buf, sizeof buf, "%f %f %f %f %d %d\n", d.clat, d.clon, d.dx, d.dy, d.nx, d.ny);
  *out += buf;
  return true;
}

/* Checks a grid size read from a file against the bound and the bytes the
 * file still holds (bytes_per_value for each value); the count, or 0. */
size_t checked_points(const Domain& d, FILE* fp, long bytes_per_value, long extra) {
  if (d.nx <= 0 || d.ny <= 0) {
    MESS_print(M_warn, "GRD_read: Invalid grid size %d by %d\n", d.nx, d.ny);
    return 0;
  }
  long long n = static_cast<long long>(d.nx) * d.ny;
  if (n > GRD_MAX_POINTS) {
    MESS_print(M_warn, "GRD_read: Grid of %d by %d points too large\n", d.nx, d.ny);
    return 0;
  }
  long left = fp ? bytes_left(fp) : -1;
  if (left >= 0 && n * bytes_per_value + extra > left) {
    MESS_print(M_warn, "GRD_read: File too short for a grid of %d by %d points\n", d.nx, d.ny);
    return 0;
  }
  return static_cast<size_t>(n);
}

/* ---- reading one record -------------------------------------------------------- */

struct Record {
  int version = 0; /* decides the layout: header line (2-4), binary (3), second file (4) */
};

/* Values of a version-4 record from its second file. false with the rest
 * of the array set to -9999 when the file is missing or short. */
bool read_second_file(const std::string& ref, GRD_report* g) {
  std::vector<std::string> w = words(ref);
  long offset = 0, rows = 0, cols = 0;
  if (w.size() != 5 || w[0].size() > kRefKindMax || w[1].size() > kRefNameMax ||
      !parse_int(w[2], 0, 2147483647L, &offset) || !parse_int(w[3], -2147483647L, 2147483647L, &rows) ||
      !parse_int(w[4], -2147483647L, 2147483647L, &cols)) {
    MESS_print(M_warn, "GRD_read: Invalid second file reference: %s\n", ref.c_str());
    return false;
  }
  const std::string& name = w[1];
  const size_t n = static_cast<size_t>(g->domain.nx) * static_cast<size_t>(g->domain.ny);
  std::fill(g->grid, g->grid + n, KEZ_FMISS);
  /* A data file must not make the reader run a command or take a stream. */
  if (name[0] == '|' || FILE_is_stdio(name.c_str())) {
    MESS_print(M_warn, "GRD_read: Unable to open grid file: %s\n", name.c_str());
    return false;
  }
  FILE* fp = FILE_open(name.c_str(), "rb");
  if (!fp) {
    MESS_print(M_warn, "GRD_read: Unable to open grid file: %s\n", name.c_str());
    return false;
  }
  std::unique_ptr<FILE, int (*)(FILE*)> guard(fp, FILE_close);
  if (std::fseek(fp, offset, SEEK_SET) != 0) {
    MESS_print(M_warn, "GRD_read: Short grid file: %s\n", name.c_str());
    return false;
  }
  const bool text = w[0][0] == 'A';
  const int nx = g->domain.nx, ny = g->domain.ny;
  for (int r = 0; r < ny; ++r) {
    int row = rows == 1 ? r : ny - 1 - r;
    for (int c = 0; c < nx; ++c) {
      int col = cols == 1 ? c : nx - 1 - c;
      float v = 0;
      bool ok;
      if (text) {
        ok = read_number(fp, &v);
      } else {
        ok = std::fread(&v, sizeof v, 1, fp) == 1; /* the reading machine's order */
      }
      if (!ok) {
        MESS_print(M_warn, "GRD_read: Short grid file: %s\n", name.c_str());
        return false;
      }
      g->grid[static_cast<size_t>(row) * nx + col] = v;
    }
  }
  return true;
}

/* Reads the values of a record (or skips them when g is null). */
bool read_values(FILE* fp, const Record& rec, bool binary, size_t n, GRD_report* g) {
  if (rec.version == 4) {
    std::string line;
    Line got = read_line(fp, &line);
    if (got != Line::ok) {
      MESS_print(M_warn, "GRD_read: Missing second file reference\n");
      return false;
    }
    if (!g) return true;
    return read_second_file(line, g);
  }
  if (binary) {
    if (!g) {
      if (std::fseek(fp, static_cast<long>(n * 4), SEEK_CUR) != 0) return false;
    } else {
      std::vector<unsigned char> buf(n * 4);
      if (std::fread(buf.data(), 1, buf.size(), fp) != buf.size()) {
        MESS_print(M_warn, "GRD_read: Truncated binary grid values\n");
        return false;
      }
      for (size_t i = 0; i < n; ++i) g->grid[i] = from_big_endian(&buf[i * 4]);
    }
    int c = std::getc(fp);
    if (c != '\n' && c != EOF) std::ungetc(c, fp);
    return true;
  }
  for (size_t i = 0; i < n; ++i) {
    float v = 0;
    if (!read_number(fp, &v)) {
      MESS_print(M_warn, "GRD_read: Bad or missing grid value %zu of %zu\n", i + 1, n);
      return false;
    }
    if (g) g->grid[i] = v;
  }
  finish_line(fp);
  return true;
}

bool bad_line(Line got, const char* what) {
  if (got == Line::ok) return false;
  if (got == Line::too_long)
    MESS_print(M_warn, "GRD_read: %s line longer than %d characters\n", what, GRD_LINE_LEN);
  else
    MESS_print(M_warn, "GRD_read: Grid record ends before its %s line\n", what);
  return true;
}

/* Reads the record at the stream position into grd (header only when
 * want_values is false). 0, 1 at the end of the file, -1 for a bad record. */
int read_record(Slot& s, GRD_report* grd, bool want_values) {
  GRD_file& f = *s.f;
  FILE* fp = f.file;
  std::string date_line;
  long start = s.is_std ? -1 : std::ftell(fp);
  if (s.pending) {
    date_line = f.datim;
    s.pending = false;
  } else {
    for (;;) {
      Line got = read_line(fp, &date_line);
      if (got == Line::eof) return 1;
      if (bad_line(got, "date")) return -1;
      if (date_line.compare(0, kMagicLen, kMagic) != 0) break;
      if (!s.is_std) start = std::ftell(fp); /* a magic line again: appended file */
    }
  }
  std::string info_line;
  if (bad_line(read_line(fp, &info_line), "info")) return -1;

  Record rec;
  std::string info = info_line;
  {
    size_t i = 0;
    while (i < info_line.size() && info_line[i] >= '0' && info_line[i] <= '9') ++i;
    if (i > 0 && i < info_line.size() && info_line[i] == '-') {
      int v = i < 3 ? std::atoi(info_line.substr(0, i).c_str()) : -1;
      /* Format 4 takes its version from the magic line; elsewhere only the
       * versions of the format count, so "12-hour ..." stays a description. */
      if (f.type == GRD_TYPE_FORMAT4 || (v >= 0 && v <= 4)) {
        rec.version = v;
        info = info_line.substr(i + 1);
      }
    }
  }
  if (f.type == GRD_TYPE_FORMAT4) rec.version = f.itype;

  std::free(grd->grid);
  grd->grid = nullptr;
  copy_field(grd->datim, sizeof grd->datim, date_line);
  copy_field(grd->info, sizeof grd->info, info);
  grd->source = 1;
  grd->version = rec.version;
  grd->model = 1;
  grd->type = grd->ltype = grd->level = grd->time = grd->var = 0;
  grd->units[0] = '\0';
  DOM_init(&grd->domain);

  if (rec.version >= 2) {
    std::string line;
    if (bad_line(read_line(fp, &line), "header")) return -1;
    std::string nums = line, units;
    size_t colon = line.find(':');
    if (colon != std::string::npos) {
      nums = line.substr(0, colon);
      std::vector<std::string> uw = words(line.substr(colon + 1));
      if (!uw.empty()) units = uw[0];
    }
    std::vector<std::string> w = words(nums);
    int* fields[] = {&grd->source, &grd->version, &grd->model, &grd->type,
                     &grd->ltype,  &grd->level,   &grd->time,  &grd->var};
    bool ok = w.size() == 8;
    for (size_t i = 0; ok && i < 8; ++i) ok = parse_int(w[i], fields[i]);
    if (!ok) {
      MESS_print(M_warn, "GRD_read: Invalid header line: %s\n", line.c_str());
      return -1;
    }
    copy_field(grd->units, sizeof grd->units, units);
  }

  std::string line;
  if (bad_line(read_line(fp, &line), "projection")) return -1;
  if (f.type == GRD_TYPE_FORMAT4) {
    std::vector<std::string> w = words(line);
    if (w.size() != 1 || DOM_decode(w[0].c_str(), &grd->domain) <= 0) {
      MESS_print(M_warn, "GRD_read: Invalid domain: %s\n", line.c_str());
      return -1;
    }
  } else {
    if (rec.version < 2 && !line.empty() && line[0] == ':') {
      std::vector<std::string> w = words(line);
      copy_field(grd->units, sizeof grd->units, w[0].substr(1));
      size_t rest = line.find(w[0]) + w[0].size();
      line = line.substr(rest);
      if (words(line).empty() && bad_line(read_line(fp, &line), "projection")) return -1;
    }
    if (!parse_projection(line, rec.version, &grd->domain)) {
      MESS_print(M_warn, "GRD_read: Invalid projection line: %s\n", line.c_str());
      return -1;
    }
  }

  const bool binary = rec.version == 3;
  size_t n;
  if (rec.version == 4)
    n = checked_points(grd->domain, s.is_std ? nullptr : fp, 0, 0);
  else
    n = checked_points(grd->domain, s.is_std ? nullptr : fp, binary ? 4 : 2, binary ? 0 : -1);
  if (!n) return -1;

  if (!want_values) {
    if (!read_values(fp, rec, binary, n, nullptr)) return -1;
  } else {
    if (!GRD_alloc(grd)) return -1;
    if (!read_values(fp, rec, binary, n, grd)) {
      if (rec.version != 4) {
        std::free(grd->grid);
        grd->grid = nullptr;
      }
      return -1;
    }
  }
  state.cur_pos = start;
  state.new_pos = s.is_std ? -1 : std::ftell(fp);
  return 0;
}

/* Skips the magic line at the start of a file of types 2 to 4. */
bool skip_magic(Slot& s) {
  std::string line;
  if (read_line(s.f->file, &line) != Line::ok || line.compare(0, kMagicLen, kMagic) != 0) {
    MESS_print(M_warn, "GRD_getinfo: Grid file does not begin with its magic line\n");
    return false;
  }
  if (s.f->type == GRD_TYPE_FORMAT4) s.f->itype = line.size() > 8 && line[8] == 'B' ? 3 : 0;
  return true;
}

void close_slot(Slot& s) {
  if (s.f && s.f->type == GRD_TYPE_NETCDF) GRD_cdf_close(s.f.get());
  if (s.f) {
    if (s.f->file && !s.is_std) FILE_close(s.f->file);
    if (s.f->hfile) FILE_close(s.f->hfile);
  }
  s = Slot{};
}

/* ---- GRIB files through the decoder ------------------------------------------- */

/* The most fields one edition 2 message may hold, and the most header
 * text taken from a line of a companion header file. */
constexpr int kMaxGribFields = 10000;
constexpr size_t kHdrTextMax = 128;

bool grib_ready(const char* who) {
  const GRD_grib_ops& g = hooks.grib;
  if (g.header && g.next && g.get_version && g.get_info && g.pdb && g.gdb && g.bmb && g.bdb && g.read_section &&
      g.get_sect && g.skip_section && g.ids && g.gds && g.pds && g.set_domain && g.units)
    return true;
  MESS_print(M_warn, "%s: No GRIB decoder is linked\n", who);
  return false;
}

void grib_reset(Slot& s) {
  s.grib.clear();
  s.grib_base = 0;
  s.grib_scan = 0;
  s.hdr.clear();
  s.hdr_end = false;
  if (s.f->hfile) std::rewind(s.f->hfile);
}

/* Finds the message at or after s.grib_scan and adds its fields to the
 * table; false when no further message can be had. */
bool grib_scan_message(int fd, Slot& s) {
  FILE* fp = s.f->file;
  const long p = s.grib_scan;
  if (p < 0 || std::fseek(fp, p, SEEK_SET) != 0) return false;
  state.cur_pos = p;
  if (hooks.grib.header(fd) < 0) {
    s.grib_scan = -1;
    return false;
  }
  const long after_ind = std::ftell(fp);
  const int version = hooks.grib.get_version();
  const long next = hooks.grib.next(fd, 0);
  /* A message that does not move the reader on ends the file, so that a
   * damaged length cannot make it loop. */
  s.grib_scan = next > p ? next : -1;
  int fields = 1;
  if (version == 2) {
    std::fseek(fp, after_ind, SEEK_SET);
    int n = 0;
    while (hooks.grib.read_section(fd)) {
      if (next > p && std::ftell(fp) > next) break;
      if (hooks.grib.get_sect() == 7 && ++n >= kMaxGribFields) break;
      hooks.grib.skip_section(fd);
    }
    fields = std::max(n, 1);
  }
  for (int i = 0; i < fields; ++i) s.grib.push_back(GribRec{p, i});
  return true;
}

/* The record number n, scanning forward as far as needed. */
const GribRec* grib_locate(int fd, Slot& s, int n) {
  if (n < s.grib_base) {
    s.grib.clear();
    s.grib_base = 0;
    s.grib_scan = 0;
  }
  while (static_cast<long>(s.grib.size()) + s.grib_base <= n)
    if (!grib_scan_message(fd, s)) return nullptr;
  return &s.grib[static_cast<size_t>(n - s.grib_base)];
}

/* Line n of the companion header file (record n is the message of line n). */
const HdrLine* hdr_line(Slot& s, int n) {
  while (static_cast<int>(s.hdr.size()) <= n && !s.hdr_end) {
    std::string line;
    Line got = read_line(s.f->hfile, &line);
    if (got == Line::eof) {
      s.hdr_end = true;
      break;
    }
    size_t i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    size_t j = i;
    while (j < line.size() && line[j] != ' ' && line[j] != '\t') ++j;
    long offset = -1;
    if (got != Line::ok || !parse_int(line.substr(i, j - i), 0, 2147483647L, &offset)) {
      MESS_print(M_warn, "GRD_read: Invalid GRIB header line: %.60s\n", line.c_str());
      s.hdr_end = true;
      break;
    }
    while (j < line.size() && (line[j] == ' ' || line[j] == '\t')) ++j;
    s.hdr.push_back(HdrLine{offset, line.substr(j, kHdrTextMax)});
  }
  if (n >= static_cast<int>(s.hdr.size())) return nullptr;
  const HdrLine& h = s.hdr[static_cast<size_t>(n)];
  MESS_print(M_debug_c, "GRIB HDR1: %ld %s\n", h.offset, h.text.c_str());
  return &h;
}

/* Reads integers separated by blanks (and, where sep is given, that one
 * character) from text; the count read. */
int leading_ints(const char* text, char sep, int* out, int max) {
  int n = 0;
  const char* p = text;
  while (n < max) {
    while (*p == ' ' || *p == '\t' || (sep && *p == sep && n > 0)) ++p;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(p, &end, 10);
    if (end == p || errno == ERANGE || v < -2147483647L || v > 2147483647L) break;
    out[n++] = static_cast<int>(v);
    p = end;
    if (sep && n == 1 && *p != sep) break;
    if (!sep && *p && *p != ' ' && *p != '\t') break;
  }
  return n;
}

/* The header of a record from its header text; true when one of the two
 * slash forms gave the numbers. */
bool parse_grib_text(const std::string& text, GRD_report* grd) {
  size_t at = text.find("/ GRIB");
  if (at != std::string::npos) {
    const char* p = text.c_str() + at + 6;
    char* end = nullptr;
    std::strtol(p, &end, 10); /* the edition */
    p = end;
    for (;;) {
      while (*p == ' ' || *p == '\t') ++p;
      const char key = *p;
      if (!key) break;
      errno = 0;
      long v = std::strtol(p + 1, &end, 10);
      if (end == p + 1 || errno == ERANGE || v < -2147483647L || v > 2147483647L) break;
      int* to = key == 'S'   ? &grd->source
                : key == 'M' ? &grd->model
                : key == 'G' ? &grd->type
                : key == 'T' ? &grd->time
                : key == 'L' ? &grd->ltype
                : key == 'H' ? &grd->level
                : key == 'V' ? &grd->var
                             : nullptr;
      if (!to) break;
      *to = static_cast<int>(v);
      p = end;
    }
    return true;
  }
  at = text.find('/');
  if (at == std::string::npos) return false;
  const char* rest = text.c_str() + at + 1;
  int v[7] = {};
  int n = leading_ints(rest, 0, v, 6);
  if (n == 1) {
    if (leading_ints(rest, ':', v, 7) < 2) return false;
    grd->source = v[0];
    grd->model = v[1];
    grd->type = v[2];
    grd->time = v[3];
    grd->ltype = v[4];
    grd->level = v[5];
    grd->var = v[6];
    return true;
  }
  if (n == 0) return false;
  grd->model = v[0];
  grd->type = v[1];
  grd->time = v[2];
  grd->ltype = v[3];
  grd->level = v[4];
  grd->var = v[5];
  return true;
}

/* A record's header from its header line: nothing of the GRIB file read. */
int grib_header_from_text(const GRD_file& f, const HdrLine& h, GRD_report* grd, int rep_type) {
  std::free(grd->grid);
  GRD_init(grd);
  grd->version = 1;
  grd->source = f.grid == 10 ? 98 : 7;
  grd->date = f.date;
  if (parse_grib_text(h.text, grd)) hooks.grib.units(grd);
  DOM_init(&grd->domain);
  hooks.grib.set_domain(grd->type, &grd->domain);
  MESS_print(M_debug_c, "GRIB HDR--%d %d %d %d %d %d\n", grd->model, grd->type, grd->time, grd->ltype, grd->level,
             grd->var);
  if (rep_type == GRD_READ_HEADER2) {
    VAR_make_datatype(grd->time, grd->ltype, grd->level, grd->var, grd->units, grd->info,
                      static_cast<int>(sizeof grd->info));
    std::string label;
    DATE_make_label_for_time(grd->time, grd->model, &grd->date, &label);
    copy_field(grd->datim, sizeof grd->datim, label);
  }
  return 0;
}

/* Decodes field `field` of the message at msg into grd: 0; 1 when the
 * record has no grid that can be used, no data section, or no values
 * where they were asked for (the reader goes on to the next record); -1
 * when no message is found there or its product cannot be read. */
int grib_decode(int fd, Slot& s, long msg, int field, GRD_report* grd, int rep_type) {
  FILE* fp = s.f->file;
  if (std::fseek(fp, msg, SEEK_SET) != 0) return -1;
  state.cur_pos = msg;
  if (hooks.grib.header(fd) < 0) {
    MESS_print(M_warn, "GRD_read: No GRIB message at offset %ld\n", msg);
    std::fseek(fp, msg, SEEK_SET);
    return -1;
  }
  grd->datim[0] = '\0';
  grd->info[0] = '\0';
  auto done = [&](int r) {
    std::fseek(fp, msg, SEEK_SET);
    return r;
  };
  if (hooks.grib.get_version() != 2) {
    int r = hooks.grib.pdb(fd, grd, rep_type);
    if (r < 1) return done(r < 0 ? -1 : 1);
    r = hooks.grib.gdb(fd, grd);
    if (r < 1) return done(r < 0 ? -1 : 1);
    if (rep_type != GRD_READ_ALL) return done(0);
    std::free(grd->grid);
    grd->grid = nullptr;
    hooks.grib.bmb(fd, grd);
    /* A field that cannot be unpacked is refused like one of edition 2,
     * so that a walk over the file goes on past it. */
    if (hooks.grib.bdb(fd, grd) < 0) return done(1);
    if (!grd->grid) {
      MESS_print(M_warn, "GRD_read: GRIB field without values\n");
      return done(1);
    }
    return done(0);
  }
  const bool want = rep_type != GRD_READ_HEADER;
  if (want && !(hooks.grib.drs && hooks.grib.bms && hooks.grib.ds)) {
    MESS_print(M_warn, "GRD_read: Values of edition 2 GRIB messages cannot be unpacked\n");
    return done(1);
  }
  if (want) {
    std::free(grd->grid);
    grd->grid = nullptr;
  }
  int n = 0;
  bool found = false, bad_grid = false;
  while (hooks.grib.read_section(fd)) {
    MESS_print(M_debug_c, "SECT: %d %ld\n", hooks.grib.get_sect(), std::ftell(fp));
    const int sect = hooks.grib.get_sect();
    switch (sect) {
      case 1: hooks.grib.ids(fd, grd); break;
      case 3:
        /* A later grid definition replaces a refused one for the fields after it. */
        bad_grid = hooks.grib.gds(fd, grd) < 1;
        break;
      case 4: hooks.grib.pds(fd, grd); break;
      case 5:
        if (want && n == field)
          hooks.grib.drs(fd, grd);
        else
          hooks.grib.skip_section(fd);
        break;
      case 6:
        if (want)
          hooks.grib.bms(fd);
        else
          hooks.grib.skip_section(fd);
        break;
      case 7:
        if (n == field) {
          found = true;
          if (want && !bad_grid)
            hooks.grib.ds(fd, grd);
          else
            hooks.grib.skip_section(fd);
        } else {
          hooks.grib.skip_section(fd);
        }
        ++n;
        break;
      default: hooks.grib.skip_section(fd); break;
    }
    if (found) break;
  }
  if (!found) {
    MESS_print(M_warn, "No product found\n");
    return done(1);
  }
  if (bad_grid) return done(1);
  if (want && !grd->grid) {
    MESS_print(M_warn, "GRD_read: GRIB field without values\n");
    return done(1);
  }
  state.new_pos = std::ftell(fp);
  return done(0);
}

int grib_getinfo(int fd, Slot& s, GRD_info* info) {
  if (!grib_ready("GRD_getinfo")) return -1;
  if (s.is_std) {
    MESS_print(M_warn, "GRD_getinfo: GRIB files cannot be read from a stream\n");
    return -1;
  }
  GRD_file& f = *s.f;
  info->grid_type = 0;
  std::rewind(f.file);
  state.cur_pos = 0;
  if (hooks.grib.header(fd) < 0) {
    MESS_print(M_warn, "GRD_getinfo: No GRIB message found\n");
    std::rewind(f.file);
    return -1;
  }
  if (hooks.grib.get_info(fd, info) != 0) {
    MESS_print(M_warn, "GRD_getinfo: Truncated GRIB message\n");
    std::rewind(f.file);
    return -1;
  }
  f.date = info->date;
  copy_field(f.datim, sizeof f.datim, info->datim);
  std::rewind(f.file);
  grib_reset(s);
  s.first_rec = 0;
  f.num = 0;
  state.cur_pos = 0;
  state.new_pos = -1;
  return 0;
}

int grib_read_record(int fd, Slot& s, GRD_report* grd, int rep_type, int* grdnum) {
  if (s.first_rec < 0) {
    GRD_info info{};
    if (grib_getinfo(fd, s, &info) != 0) return -1;
  }
  GRD_file& f = *s.f;
  const int n = *grdnum < 0 ? 0 : *grdnum;
  int r;
  if (f.hfile) {
    const HdrLine* h = hdr_line(s, n);
    if (!h) return -1;
    if (rep_type != GRD_READ_ALL) {
      r = grib_header_from_text(f, *h, grd, rep_type);
      state.cur_pos = h->offset;
    } else {
      r = grib_decode(fd, s, h->offset, 0, grd, rep_type);
    }
  } else {
    const GribRec* g = grib_locate(fd, s, n);
    if (!g) return -1;
    r = grib_decode(fd, s, g->msg, g->field, grd, rep_type);
  }
  if (r != 0) return r;
  f.num = n;
  *grdnum = n;
  return 0;
}

int grib_read(int fd, Slot& s, GRD_report* grd, int rep_type, int* grdnum) {
  if (!grib_ready("GRD_read")) return -1;
  int r = grib_read_record(fd, s, grd, rep_type, grdnum);
  /* A record whose values were asked for and not read keeps none from
   * before, so that no caller takes an old field for the new one. */
  if (r != 0 && rep_type == GRD_READ_ALL) {
    std::free(grd->grid);
    grd->grid = nullptr;
  }
  return r;
}

/* A record holds a raw message when its bytes begin with a message (behind
 * at most a bulletin heading) and are long enough to be one. The bytes
 * looked at are within both the message count and the grid's points, so
 * that a record of values is never read past its array. */
bool holds_raw_message(const GRD_report* grd) {
  constexpr int kMinMessage = 16;
  if (!grd->grid || grd->source < kMinMessage) return false;
  const auto* b = reinterpret_cast<const unsigned char*>(grd->grid);
  size_t look = std::min(static_cast<size_t>(grd->source), kChkBytes);
  /* A record of values holds only its points: look no further than them. */
  const Domain& d = grd->domain;
  if (d.nx > 0 && d.ny > 0 && static_cast<long long>(d.nx) * d.ny <= GRD_MAX_POINTS)
    look = std::min(look, static_cast<size_t>(d.nx) * static_cast<size_t>(d.ny) * sizeof(float));
  for (size_t i = 0; i + 4 <= look; ++i)
    if (std::memcmp(b + i, "GRIB", 4) == 0) return true;
  return false;
}

/* ---- WMO GRID-code bulletins --------------------------------------------------- */

constexpr int kGcCols = 19;
constexpr int kGcRows = 15;
constexpr float kGcSpacing = 5.0f;
constexpr size_t kGcTokenMax = 32;
constexpr int kGcMaxRecords = 100000;

struct GcCentre {
  float clat, clon;
};
/* Centres of the fixed grids by identifier 1 to 12. */
constexpr GcCentre gc_centres[] = {{55, -45}, {55, -135}, {55, 135},  {55, 45},    {0, -45},   {0, -135},
                                   {0, 135},  {0, 45},    {-55, -45}, {-55, -135}, {-55, 135}, {-55, 45}};

struct GcScale {
  char code;
  float factor;
};
constexpr GcScale gc_scales[] = {{'1', 0.1f},   {'2', 0.01f},   {'3', 0.001f},   {'4', 0.0001f},  {'5', 10.0f},
                                 {'6', 100.0f}, {'7', 1000.0f}, {'8', 10000.0f}, {'9', 100000.0f}};

/* The next blank-separated token; false at the end of the file. A token
 * longer than kGcTokenMax is cut there (the rest is consumed). */
bool gc_token(FILE* fp, std::string* tok) {
  tok->clear();
  int c;
  while ((c = std::getc(fp)) != EOF && is_space(c)) {
  }
  while (c != EOF && !is_space(c)) {
    if (tok->size() < kGcTokenMax) *tok += static_cast<char>(c);
    c = std::getc(fp);
  }
  if (c != EOF) std::ungetc(c, fp);
  return !tok->empty();
}

/* Characters from..to (1-based) of a group as a number; -1 when they are
 * not all digits. */
int gc_digits(const std::string& g, size_t from, size_t to) {
  if (g.size() < to) return -1;
  int v = 0;
  for (size_t i = from - 1; i < to; ++i) {
    if (g[i] < '0' || g[i] > '9') return -1;
    v = v * 10 + (g[i] - '0');
  }
  return v;
}

void gc_skip_blanks(FILE* fp) {
  int c;
  while ((c = std::getc(fp)) != EOF && is_space(c)) {
  }
  if (c != EOF) std::ungetc(c, fp);
}

/* width digits in a row as one number; false when one is missing. */
bool gc_packed(FILE* fp, int width, long* v) {
  long x = 0;
  for (int i = 0; i < width; ++i) {
    int c = std::getc(fp);
    if (c < '0' || c > '9') return false;
    x = x * 10 + (c - '0');
  }
  *v = x;
  gc_skip_blanks(fp);
  return true;
}

/* What gc_read gives for a grid whose values cannot be read: the stream
 * is at the "GRID" group of the next bulletin. */
constexpr int kGcSkipped = 1;

/* Passes over the rest of a grid whose rows cannot be told apart, up to the
 * "GRID" group that begins the next bulletin (left unread): true when one
 * follows. Its value groups must not be taken for grids. */
bool gc_skip_to_next(FILE* fp) {
  std::string tok;
  for (;;) {
    const long at = std::ftell(fp);
    if (!gc_token(fp, &tok)) return false;
    if (tok == "GRID") {
      std::fseek(fp, at, SEEK_SET);
      return true;
    }
  }
}

/* Reads the grid at the stream position (values into grd when want, the
 * rows skipped otherwise), leaving the stream after it. 0; -1 when no grid
 * begins there or the grid is cut short; kGcSkipped when its values cannot
 * be read and another bulletin follows. */
int gc_read(FILE* fp, GRD_report* grd, bool want, GcCarry* carry) {
  std::string tok;
  if (!gc_token(fp, &tok)) return -1;
  if (tok == "GRID" && !gc_token(fp, &tok)) return -1;
  const int src = gc_digits(tok, 1, 2);
  const int gid = gc_digits(tok, 3, 5);
  if (src < 0 || gid < 0 || tok.size() != 5) {
    if (tok != "NNNN") MESS_print(M_warn, "GRD_read: Invalid GRID identification group: %s\n", tok.c_str());
    return -1;
  }
  std::free(grd->grid);
  GRD_init(grd);
  grd->version = 1;
  grd->source = src;
  grd->model = src;
  grd->type = gid + 70;
  grd->time = 0;
  std::string g;
  if (!gc_token(fp, &g) || !gc_token(fp, &g)) return -1;
  int var = KEZ_MISS, ltype = KEZ_MISS, level = KEZ_MISS;
  int year = 0, month = 1, day = 1, hour = 0;
  /* The identification groups, each optional, in their order. */
  if (!gc_token(fp, &g)) return -1;
  const char ident_order[] = {'1', '2', '3', '6', '7', '8', '0'};
  for (char key : ident_order) {
    if (g.empty() || g[0] != key) continue;
    if (g.size() != 5 || gc_digits(g, 1, 5) < 0) {
      MESS_print(M_warn, "GRD_read: Invalid GRID group: %s\n", g.c_str());
      return -1;
    }
    switch (key) {
      case '1': var = gc_digits(g, 2, 3); break;
      case '2':
        ltype = 10;
        level = gc_digits(g, 2, 3) * 10;
        break;
      case '3':
        level = gc_digits(g, 2, 3) * 10;
        ltype = level == 0 ? 12 : 13;
        break;
      case '6':
        year = gc_digits(g, 2, 3);
        month = gc_digits(g, 4, 5);
        break;
      case '7':
        day = gc_digits(g, 2, 3);
        hour = gc_digits(g, 4, 5);
        break;
      case '8': grd->time = gc_digits(g, 3, 5); break;
      default: break;
    }
    if (!gc_token(fp, &g)) return -1;
  }
  /* g is the group skipped after them. */
  if (var == 22) {
    carry->wind_dec = carry->run22 ? (carry->wind_dec == 1 ? 2 : 0) : 1;
    carry->run22 = carry->wind_dec != 0;
  } else {
    carry->wind_dec = 0;
    carry->run22 = false;
  }
  if (carry->wind_dec == 1) var = 23;
  if (carry->wind_dec == 2) var = 24;
  /* The bulletin's own numbers in the numbering of every grid record; a
   * third wind field of a run keeps its packed values and is no field
   * that numbering has. */
  const int code = carry->wind_dec == 0 && var == 22 ? 0 : var;
  grd->units[0] = '\0';
  grd->var = var == KEZ_MISS ? KEZ_MISS : GRD_old_param(code, grd->units, sizeof grd->units);
  grd->ltype = ltype;
  grd->level = level;
  int sign_mode = 0;
  float scale = 1.0f, ref = 0.0f;
  if (!gc_token(fp, &g)) return -1;
  if (!g.empty() && g[0] == '1') {
    sign_mode = g.size() >= 5 ? g[4] - '0' : 0;
    if (!gc_token(fp, &g)) return -1;
  }
  if (!g.empty() && g[0] == '2') {
    int d = gc_digits(g, 2, 2);
    carry->bpval = d < 0 ? 0 : (sign_mode == 1 ? d - 1 : d);
    if (!gc_token(fp, &g)) return -1;
  }
  if (!g.empty() && g[0] == '3') {
    for (const GcScale& sc : gc_scales)
      if (g.size() >= 2 && g[1] == sc.code) scale = sc.factor;
    std::string r;
    if (!gc_token(fp, &r) || !parse_float(r, &ref)) {
      MESS_print(M_warn, "GRD_read: Invalid GRID reference value\n");
      return -1;
    }
    if (var == 4) ref = -ref;
    ref *= scale;
    if (!gc_token(fp, &g)) return -1;
  }
  /* g is the first row marker. */
  if (year < 0 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23) {
    MESS_print(M_warn, "GRD_read: Invalid GRID date groups\n");
    return -1;
  }
  struct tm t {};
  t.tm_year = year;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  const long base = DATE_num_sec_tm(&t);
  grd->date.year = 1900 + year;
  grd->date.month = month;
  grd->date.day = day;
  grd->date.hour = hour;
  if (grd->var == 0)
    std::snprintf(grd->info, sizeof grd->info, "GRID parameter %d", var);
  else
    VAR_make_datatype(grd->time, grd->ltype, grd->level, grd->var, grd->units, grd->info,
                      static_cast<int>(sizeof grd->info));
  std::string label;
  DATE_make_label_for(grd->time, grd->model, base, &label);
  copy_field(grd->datim, sizeof grd->datim, label);
  DOM_init(&grd->domain);
  const bool fixed = gid >= 1 && gid <= 12;
  if (fixed) {
    grd->domain.proj = 2;
    grd->domain.nx = kGcCols;
    grd->domain.ny = kGcRows;
    grd->domain.dx = grd->domain.dy = kGcSpacing;
    grd->domain.clat = gc_centres[gid - 1].clat;
    grd->domain.clon = gc_centres[gid - 1].clon;
    grd->domain.plon = grd->domain.clon;
  }
  std::vector<float> vals(static_cast<size_t>(kGcCols) * kGcRows, KEZ_FMISS);
  const int width = carry->bpval;
  for (int row = 0; row < kGcRows; ++row) {
    if (row > 0 && !gc_token(fp, &g)) {
      MESS_print(M_warn, "GRD_read: GRID grid ends after %d rows\n", row);
      return -1;
    }
    std::string label_tok;
    if (!gc_token(fp, &label_tok)) return -1;
    const int at = gid <= 4 ? kGcRows - 1 - row : row;
    float* out = &vals[static_cast<size_t>(at) * kGcCols];
    if (!g.empty() && g[0] == '9') {
      std::string v;
      float x = 0;
      if (!gc_token(fp, &v) || !parse_float(v, &x)) {
        MESS_print(M_warn, "GRD_read: Invalid GRID constant row\n");
        return -1;
      }
      std::fill(out, out + kGcCols, ref + x * scale);
      continue;
    }
    if (width < 3 || width > 5) {
      /* Without the width the values cannot be told from the next rows
       * and grids: the grid is dropped, never read as other grids. */
      if (gc_skip_to_next(fp)) {
        MESS_print(M_warn, "GRD_read: GRID values of %d digits cannot be read; grid skipped\n", width);
        return kGcSkipped;
      }
      MESS_print(M_warn, "GRD_read: GRID values of %d digits cannot be read; the bulletin ends here\n", width);
      return -1;
    }
    gc_skip_blanks(fp);
    for (int c = 0; c < kGcCols; ++c) {
      long sgn = 0, v = 0;
      if ((sign_mode == 1 && !gc_packed(fp, 1, &sgn)) || !gc_packed(fp, width, &v)) {
        MESS_print(M_warn, "GRD_read: Bad GRID value in row %d\n", row + 1);
        return -1;
      }
      if (sign_mode == 3 || sgn == 1) v = -v;
      const double deg = static_cast<double>(v / 100) * M_PI / 180.0;
      const double speed = static_cast<double>(v % 100);
      if (carry->wind_dec == 1)
        out[c] = static_cast<float>(-speed * std::sin(deg));
      else if (carry->wind_dec == 2)
        out[c] = static_cast<float>(-speed * std::cos(deg));
      else
        out[c] = ref + static_cast<float>(v) * scale;
    }
  }
  if (want && fixed) {
    if (!GRD_alloc(grd)) return -1;
    std::copy(vals.begin(), vals.end(), grd->grid);
  }
  return 0;
}

/* Record n of a bulletin, scanning forward as far as needed; the stream is
 * left at its start. */
bool gc_locate(Slot& s, int n, GcCarry* carry) {
  FILE* fp = s.f->file;
  if (n >= kGcMaxRecords) return false;
  while (static_cast<int>(s.grib.size()) <= n) {
    if (s.grib_scan < 0) return false;
    const long start = s.grib_scan;
    std::fseek(fp, start, SEEK_SET);
    GcCarry c = s.gc_carry;
    GRD_report tmp{};
    const int r = gc_read(fp, &tmp, false, &c);
    if (r == kGcSkipped) {
      s.gc_carry = c;
      s.grib_scan = std::ftell(fp);
      continue;
    }
    if (r != 0) {
      s.grib_scan = -1;
      return false;
    }
    s.grib.push_back(GribRec{start, 0});
    s.gc_starts.push_back(s.gc_carry);
    s.gc_carry = c;
    s.grib_scan = std::ftell(fp);
  }
  *carry = s.gc_starts[static_cast<size_t>(n)];
  std::fseek(fp, s.grib[static_cast<size_t>(n)].msg, SEEK_SET);
  return true;
}

int gc_getinfo(Slot& s, GRD_info* info) {
  FILE* fp = s.f->file;
  std::rewind(fp);
  std::string g;
  info->grid_type = 0;
  if (!gc_token(fp, &g)) {
    MESS_print(M_warn, "GRD_getinfo: Empty GRID file\n");
    return -1;
  }
  int skip = g == "GRID" ? 3 : 2;
  for (int i = 0; i < skip; ++i)
    if (!gc_token(fp, &g)) {
      MESS_print(M_warn, "GRD_getinfo: GRID file ends in its identification\n");
      return -1;
    }
  Date d{};
  d.month = d.day = 1;
  bool any = gc_token(fp, &g);
  for (char key : {'1', '2', '3', '6', '7'}) {
    if (!any || g.empty() || g[0] != key) continue;
    if (key == '6') {
      d.year = 1900 + std::max(gc_digits(g, 2, 3), 0);
      d.month = gc_digits(g, 4, 5);
    } else if (key == '7') {
      d.day = gc_digits(g, 2, 3);
      d.hour = gc_digits(g, 4, 5);
    }
    any = gc_token(fp, &g);
  }
  if (d.month < 1 || d.month > 12) d.month = 1;
  if (d.day < 1 || d.day > 31) d.day = 1;
  if (d.hour < 0 || d.hour > 23) d.hour = 0;
  info->date = d;
  char label[DATE_LABEL_LEN] = {};
  DATE_make_label(&info->date, label);
  copy_field(info->datim, sizeof info->datim, label);
  s.f->date = d;
  std::rewind(fp);
  s.grib.clear();
  s.gc_starts.clear();
  s.grib_scan = 0;
  s.gc_carry = GcCarry{};
  s.first_rec = 0;
  s.f->num = 0;
  return 0;
}

int gc_read_record(Slot& s, GRD_report* grd, int rep_type, int* grdnum) {
  if (s.is_std) {
    MESS_print(M_warn, "GRD_read: GRID files cannot be read from a stream\n");
    return -1;
  }
  if (s.first_rec < 0) {
    GRD_info info{};
    if (gc_getinfo(s, &info) != 0) return -1;
  }
  const int n = *grdnum < 0 ? 0 : *grdnum;
  GcCarry carry;
  if (!gc_locate(s, n, &carry)) return -1;
  const long start = std::ftell(s.f->file);
  state.cur_pos = start;
  const bool want = rep_type == GRD_READ_ALL;
  int r = gc_read(s.f->file, grd, want, &carry);
  std::fseek(s.f->file, start, SEEK_SET);
  if (r != 0) return -1;
  s.f->num = n;
  *grdnum = n;
  return 0;
}

} // namespace

int GRD_set_grib_ops(const GRD_grib_ops* ops) {
  if (!ops) return 0;
  auto take = [](auto* to, auto from) {
    if (from) *to = from;
  };
  GRD_grib_ops& g = hooks.grib;
  take(&g.header, ops->header);
  take(&g.next, ops->next);
  take(&g.get_version, ops->get_version);
  take(&g.get_info, ops->get_info);
  take(&g.pdb, ops->pdb);
  take(&g.gdb, ops->gdb);
  take(&g.bmb, ops->bmb);
  take(&g.bdb, ops->bdb);
  take(&g.read_section, ops->read_section);
  take(&g.get_sect, ops->get_sect);
  take(&g.skip_section, ops->skip_section);
  take(&g.ids, ops->ids);
  take(&g.gds, ops->gds);
  take(&g.pds, ops->pds);
  take(&g.drs, ops->drs);
  take(&g.bms, ops->bms);
  take(&g.ds, ops->ds);
  take(&g.set_domain, ops->set_domain);
  take(&g.units, ops->units);
  return 0;
}

/* ---- the file table ---------------------------------------------------------------- */

GRD_file* GRD_get_gfile(int ind) {
  if (ind < 0 || ind >= GRD_MAX_FILES) {
    MESS_print(M_warn, "GRD_get_gfile: Invalid grid file handle %d\n", ind);
    return nullptr;
  }
  return state.slots[static_cast<size_t>(ind)].f.get();
}

namespace {

/* Whether "GRIB" stands anywhere in the file: a GRIB file may carry any
 * amount of heading before its first message, and the framing search
 * looks as far. Three octets of each piece are looked at again with the
 * next, so that a magic across two pieces is found. */
bool grib_anywhere(const char* filename) {
  FILE* fp = FILE_open(filename, "rb");
  if (!fp) return false;
  std::vector<unsigned char> buf(1 << 16);
  size_t keep = 0;
  bool found = false;
  while (!found) {
    size_t got = std::fread(buf.data() + keep, 1, buf.size() - keep, fp);
    if (got == 0) break;
    const size_t have = keep + got;
    for (size_t i = 0; i + 4 <= have && !found; ++i) found = std::memcmp(buf.data() + i, "GRIB", 4) == 0;
    keep = std::min<size_t>(have, 3);
    std::memmove(buf.data(), buf.data() + have - keep, keep);
  }
  FILE_close(fp);
  return found;
}

} // namespace

int GRD_chktype(const char* filename) {
  if (!filename || FILE_is_stdio(filename)) return -1;
  FILE* fp = FILE_open(filename, "rb");
  if (!fp) return -1;
  unsigned char buf[kChkBytes];
  size_t n = std::fread(buf, 1, sizeof buf, fp);
  FILE_close(fp);
  if (n == 0) return -1;
  auto begins = [&](const char* m) {
    size_t len = std::strlen(m);
    return n >= len && std::memcmp(buf, m, len) == 0;
  };
  if (buf[0] == ' ' || (buf[0] >= '0' && buf[0] <= '9')) return GRD_TYPE_RAW;
  if (begins("KEZGRID4")) return GRD_TYPE_FORMAT4;
  if (begins(kMagic)) return GRD_TYPE_TEXT;
  /* netCDF: the classic formats, and netCDF-4 in its HDF5 container. */
  if (begins("CDF") || begins("\x89HDF\r\n\x1a\n")) return GRD_TYPE_NETCDF;
  if (begins("GRIB") || buf[0] == '*' || buf[0] == 0x01) return GRD_TYPE_GRIB;
  if (begins("GRID")) return GRD_TYPE_GRID;
  return grib_anywhere(filename) ? GRD_TYPE_GRIB : GRD_TYPE_BAD;
}

int GRD_open(const char* filename, int f_access, int* f_type) {
  if (!f_type) return -1;
  const char* name = filename ? filename : "";
  size_t free_slot = state.slots.size();
  for (size_t i = 0; i < state.slots.size(); ++i)
    if (!state.slots[i].f) {
      free_slot = i;
      break;
    }
  if (free_slot == state.slots.size()) {
    MESS_print(M_warn, "GRD_open: Too many open grid files\n");
    return -1;
  }
  int type = *f_type;
  const bool is_std = FILE_is_stdio(name);
  if (is_std && type != GRD_TYPE_TEXT && type != GRD_TYPE_BINARY && type != GRD_TYPE_GRIB) type = GRD_TYPE_TEXT;
  if (type == GRD_TYPE_DETECT) {
    if (f_access != GRD_ACCESS_READ) {
      MESS_print(M_warn, "GRD_open: A grid file type is needed for writing: %s\n", name);
      return -1;
    }
    if (!FILE_exist(name)) {
      MESS_print(M_warn, "GRD_open: Unable to open grid file: %s\n", name);
      return -1;
    }
    type = GRD_chktype(name);
    if (type == GRD_TYPE_BAD) {
      MESS_print(M_warn, "GRD_open: Unknown or unreadable grid file: %s\n", name);
      return -1;
    }
  }
  if (type == GRD_TYPE_GRID && f_access != GRD_ACCESS_READ) {
    MESS_print(M_warn, "GRD_open: GRID files are read only: %s\n", name);
    return -1;
  }
  if (type == GRD_TYPE_NETCDF) {
    auto f = std::make_unique<GRD_file>();
    std::memset(f.get(), 0, sizeof(GRD_file));
    f->type = type;
    f->fd = -1;
    if (is_std || GRD_cdf_open(f.get(), name, f_access) != 0) return -1;
    Slot& s = state.slots[free_slot];
    s = Slot{};
    s.f = std::move(f);
    *f_type = type;
    return static_cast<int>(free_slot);
  }
  if (!is_stream_type(type) && type != GRD_TYPE_GRIB && type != GRD_TYPE_GRID) {
    MESS_print(M_warn, "GRD_open: Unknown grid file type %d: %s\n", type, name);
    return -1;
  }
  const char* mode = f_access == GRD_ACCESS_READ     ? "rb"
                     : f_access == GRD_ACCESS_WRITE  ? "wb"
                     : f_access == GRD_ACCESS_APPEND ? "ab"
                                                     : nullptr;
  if (!mode) {
    MESS_print(M_warn, "GRD_open: Invalid access mode %d\n", f_access);
    return -1;
  }
  if (type == GRD_TYPE_FORMAT4 && f_access != GRD_ACCESS_READ) {
    MESS_print(M_warn, "GRD_open: Format 4 grid files are read only: %s\n", name);
    return -1;
  }
  FILE* fp = FILE_open(name, mode);
  if (!fp) {
    MESS_print(M_warn, "GRD_open: Unable to open grid file: %s\n", name);
    return -1;
  }
  auto f = std::make_unique<GRD_file>();
  std::memset(f.get(), 0, sizeof(GRD_file));
  f->file = fp;
  f->hfile = nullptr;
  f->fd = 1;
  f->type = type;
  f->cur_var = -1;
  f->x_size = f->y_size = f->z_size = f->t_size = 0;
  Slot& s = state.slots[free_slot];
  s = Slot{};
  s.f = std::move(f);
  s.is_std = fp == stdin || fp == stdout;
  *f_type = type;
  return static_cast<int>(free_slot);
}

int GRD_hdr_open(int grd_fd, const char* filename) {
  if (!state.use_hdrfile) return -1;
  Slot* s = handle("GRD_hdr_open", grd_fd);
  if (!s || s->f->type != GRD_TYPE_GRIB || !filename || !*filename) return -1;
  FILE* fp = FILE_open(filename, "r");
  if (!fp) return -1;
  if (s->f->hfile) FILE_close(s->f->hfile);
  s->f->hfile = fp;
  return 0;
}

int GRD_use_hdr_file(int val) {
  state.use_hdrfile = val ? 1 : 0;
  return 0;
}

int GRD_set_format(const char* str) {
  if (!str || !*str) {
    state.format.clear();
    return 0;
  }
  if (std::strlen(str) >= static_cast<size_t>(GRD_FORMAT_LEN) || !FMT_check(str, FMT_FLOAT)) {
    MESS_print(M_warn, "GRD_set_format: Invalid value format: %s\n", str);
    return -1;
  }
  state.format = str;
  return 0;
}

int GRD_getinfo(int grd_fd, GRD_info* info) {
  Slot* s = handle("GRD_getinfo", grd_fd);
  if (!s || !info) return -1;
  GRD_file& f = *s->f;
  if (f.type == GRD_TYPE_NETCDF) return GRD_cdf_getinfo(&f, info);
  if (f.type == GRD_TYPE_GRIB) return grib_getinfo(grd_fd, *s, info);
  if (f.type == GRD_TYPE_GRID) return gc_getinfo(*s, info);
  if (!is_stream_type(f.type)) return -1;
  if (!s->is_std) std::rewind(f.file);
  if (f.type != GRD_TYPE_RAW && !skip_magic(*s)) return -1;
  s->first_rec = s->is_std ? -1 : std::ftell(f.file);
  std::string date_line;
  Line got = read_line(f.file, &date_line);
  if (got == Line::too_long) {
    MESS_print(M_warn, "GRD_getinfo: Date line longer than %d characters\n", GRD_LINE_LEN);
    return -1;
  }
  if (got == Line::eof) date_line.clear();
  copy_field(info->datim, sizeof info->datim, date_line);
  copy_field(f.datim, sizeof f.datim, date_line);
  DATE_decode_label(info->datim, &info->date);
  f.date = info->date;
  info->grid_type = 0;
  f.num = 0;
  s->next_num = 0;
  s->last_num = -1;
  s->last_start = -1;
  if (s->is_std)
    s->pending = got == Line::ok;
  else
    std::fseek(f.file, s->first_rec, SEEK_SET);
  state.cur_pos = 0;
  state.new_pos = -1;
  return 0;
}

int GRD_read(int grd_fd, GRD_report* grd, int rep_type, int* grdnum) {
  Slot* s = handle("GRD_read", grd_fd);
  if (!s || !grd || !grdnum) return -1;
  GRD_file& f = *s->f;
  if (f.type == GRD_TYPE_NETCDF) return GRD_cdf_read(&f, grd, rep_type, grdnum);
  if (f.type == GRD_TYPE_GRIB) return grib_read(grd_fd, *s, grd, rep_type, grdnum);
  if (f.type == GRD_TYPE_GRID) {
    int r = gc_read_record(*s, grd, rep_type, grdnum);
    if (r != 0 && rep_type == GRD_READ_ALL) { /* no values left from before */
      std::free(grd->grid);
      grd->grid = nullptr;
    }
    return r;
  }
  if (!is_stream_type(f.type)) return -1;
  if (s->first_rec < 0 && !s->is_std) {
    GRD_info info{};
    if (GRD_getinfo(grd_fd, &info) != 0) return -1;
  }
  const int n = *grdnum < 0 ? 0 : *grdnum;
  if (s->is_std) {
    if (n < s->next_num) {
      MESS_print(M_warn, "GRD_read: Cannot go back to grid %d on a stream\n", n);
      return -1;
    }
  } else if (n == s->last_num && s->last_start >= 0) {
    std::fseek(f.file, s->last_start, SEEK_SET);
    s->next_num = n;
  } else if (n < s->next_num) {
    std::fseek(f.file, s->first_rec, SEEK_SET);
    s->next_num = 0;
  }
  GRD_report skip{};
  GRD_init(&skip);
  while (s->next_num < n) {
    int r = read_record(*s, &skip, false);
    if (r != 0) return -1;
    s->last_num = s->next_num;
    s->last_start = state.cur_pos;
    ++s->next_num;
  }
  const bool values = rep_type == GRD_READ_ALL;
  int r = read_record(*s, grd, values);
  if (r != 0) {
    /* A failed record leaves the position unknown; start over next time. */
    if (!s->is_std) {
      std::fseek(f.file, s->first_rec, SEEK_SET);
      s->next_num = 0;
      s->last_num = -1;
    }
    return -1;
  }
  s->last_num = n;
  s->last_start = state.cur_pos;
  s->next_num = n + 1;
  f.num = n;
  if (values) *grdnum = n;
  return 0;
}

int GRD_putinfo(int grd_fd, const GRD_info* info) {
  Slot* s = handle("GRD_putinfo", grd_fd);
  if (!s) return -1;
  switch (s->f->type) {
    case GRD_TYPE_NETCDF: return GRD_cdf_putinfo(s->f.get(), info);
    case GRD_TYPE_RAW:
    case GRD_TYPE_GRIB:
    case GRD_TYPE_GRID: return 0;
    case GRD_TYPE_TEXT:
    case GRD_TYPE_BINARY: return std::fputs("KEZGRID\n", s->f->file) < 0 ? -1 : 0;
    default: return -1;
  }
}

int GRD_write(int grd_fd, GRD_report* grd, int rep_type, const int* grd_num) {
  (void)rep_type;
  if (!grd || !grd->grid) return -1;
  Slot* s = handle("GRD_write", grd_fd);
  if (!s) return -1;
  const int type = s->f->type;
  if (type == GRD_TYPE_NETCDF) return GRD_cdf_write(s->f.get(), grd, grd_num);
  if (type == GRD_TYPE_GRIB) {
    /* Only whole messages are copied; a field of values is not GRIB. */
    if (!holds_raw_message(grd)) {
      MESS_print(M_warn, "GRD_write: The record holds no GRIB message to copy\n");
      return -1;
    }
    const size_t n = static_cast<size_t>(grd->source);
    if (std::fwrite(grd->grid, 1, n, s->f->file) != n) {
      MESS_print(M_warn, "GRD_write: Write error\n");
      return -1;
    }
    return 0;
  }
  if (type != GRD_TYPE_RAW && type != GRD_TYPE_TEXT && type != GRD_TYPE_BINARY) return -1;
  const Domain& d = grd->domain;
  if (d.nx <= 0 || d.ny <= 0 || static_cast<long long>(d.nx) * d.ny > GRD_MAX_POINTS) {
    MESS_print(M_warn, "GRD_write: Invalid grid size %d by %d\n", d.nx, d.ny);
    return -1;
  }
  std::string proj;
  if (!projection_line(d, &proj) || proj.size() > static_cast<size_t>(GRD_LINE_LEN)) {
    /* Only the text formats' four projections read back as written. */
    MESS_print(M_warn,
               "GRD_write: Domain of projection %d cannot be written to a text or binary "
               "grid file\n",
               d.proj);
    return -1;
  }
  const bool binary = type == GRD_TYPE_BINARY;
  for (char* c = grd->units; *c; ++c)
    if (*c == ' ') *c = '_';
  std::string head = grd->datim;
  head += '\n';
  head += binary ? "3-" : "2-";
  head += grd->info;
  head += '\n';
  char buf[256];
  std::snprintf(buf, sizeof buf, "%d %d %d %d %d %d %d %d", grd->source, grd->version, grd->model, grd->type,
                grd->ltype, grd->level, grd->time, grd->var);
  head += buf;
  if (grd->units[0]) {
    head += ':';
    head += grd->units;
  }
  head += '\n';
  head += proj;
  FILE* fp = s->f->file;
  if (std::fputs(head.c_str(), fp) < 0) return -1;
  const size_t n = static_cast<size_t>(d.nx) * static_cast<size_t>(d.ny);
  if (binary) {
    std::vector<unsigned char> out(n * 4 + 1);
    for (size_t i = 0; i < n; ++i) to_big_endian(grd->grid[i], &out[i * 4]);
    out[n * 4] = '\n';
    if (std::fwrite(out.data(), 1, out.size(), fp) != out.size()) return -1;
  } else {
    const char* fmt = state.format.empty() ? kDefaultFormat : state.format.c_str();
    std::string text;
    for (size_t i = 0; i < n; ++i) {
      text += FMT_print_float("GRD_write", fmt, nullptr, grd->grid[i]);
      text += '\n';
      if (text.size() > 65536) {
        if (std::fputs(text.c_str(), fp) < 0) return -1;
        text.clear();
      }
    }
    if (std::fputs(text.c_str(), fp) < 0) return -1;
  }
  if (std::ferror(fp)) {
    MESS_print(M_warn, "GRD_write: Write error\n");
    return -1;
  }
  return 0;
}

int GRD_rewind(int grd_fd) {
  Slot* s = handle("GRD_rewind", grd_fd);
  if (!s) return -1;
  GRD_file& f = *s->f;
  if (f.type == GRD_TYPE_NETCDF) return GRD_cdf_rewind(&f);
  if (f.type == GRD_TYPE_GRIB) {
    if (!s->is_std) {
      std::rewind(f.file);
      grib_reset(*s);
    }
    f.num = 0;
    state.cur_pos = 0;
    state.new_pos = -1;
    return 0;
  }
  if (f.type == GRD_TYPE_GRID) {
    if (s->is_std) return -1;
    std::rewind(f.file);
    f.num = 0;
    return 0;
  }
  if (!is_stream_type(f.type)) return -1;
  if (!s->is_std) {
    if (s->first_rec >= 0) {
      std::fseek(f.file, s->first_rec, SEEK_SET);
    } else {
      std::rewind(f.file);
      if (f.type != GRD_TYPE_RAW) skip_magic(*s);
      s->first_rec = std::ftell(f.file);
    }
    s->next_num = 0;
    s->last_num = -1;
    s->last_start = -1;
  }
  f.num = 0;
  return 0;
}

int GRD_close(int grd_fd) {
  if (grd_fd < 0 || grd_fd >= GRD_MAX_FILES) {
    MESS_print(M_warn, "GRD_close: Invalid grid file handle %d\n", grd_fd);
    return -1;
  }
  close_slot(state.slots[static_cast<size_t>(grd_fd)]);
  return 0;
}

long int GRD_get_pos(int grd_fd) {
  (void)grd_fd;
  return state.cur_pos;
}

int GRD_get_header(int grd_fd, char* header) {
  Slot* s = handle("GRD_get_header", grd_fd);
  if (!s || !header) return -1;
  std::memset(header, 0, static_cast<size_t>(GRD_HEADER_LEN));
  if (s->is_std || !s->f->file) return -1; /* netCDF handles have no stream */
  FILE* fp = s->f->file;
  if (std::fseek(fp, state.cur_pos, SEEK_SET) != 0) return -1;
  std::fread(header, 1, static_cast<size_t>(GRD_HEADER_LEN), fp);
  std::fseek(fp, state.cur_pos, SEEK_SET);
  return 0;
}

int GRD_setpos(int grd_fd, long int offset, int grdnum) {
  Slot* s = handle("GRD_setpos", grd_fd);
  if (!s || s->f->type != GRD_TYPE_GRIB) return 1;
  if (std::fseek(s->f->file, offset, SEEK_SET) == 0) {
    /* The record about to be read begins here: it is the current one for
     * the decoder's raw copies until the next read. */
    state.cur_pos = offset;
    state.new_pos = offset;
    s->f->num = grdnum;
    /* The table of records starts over: record grdnum begins here. */
    s->grib.clear();
    s->grib_base = grdnum < 0 ? 0 : grdnum;
    s->grib_scan = offset;
  }
  return 1;
}
