/*
 * grd_read_text: the suite's own grid layouts, for grd_read.
 *
 * Raw text (1), the "KEZGRID" text format with its binary records (2 and 3),
 * records whose values lie in a second file, and "KEZGRID4" (4): the
 * projection lines, reading one record (header, then the values as text or
 * big-endian binary) and the magic line.
 *
 * Every file is hostile: lines are bounded, grid sizes are checked against
 * GRD_MAX_POINTS and against what the file can still hold before anything
 * is allocated, numbers must parse whole, and binary values are decoded
 * big-endian here whatever byte order another reader chose for the process.
 */
#include "grd_read_impl.h"
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

using namespace grd_read_impl;

namespace {

constexpr size_t kMagicLen = 7;
constexpr size_t kRefKindMax = 5;   /* second-file reference: kind */
constexpr size_t kRefNameMax = 159; /* and file name */

/* Bytes left in a regular file from the current position; -1 unknown. */
long bytes_left(FILE* fp) {
  struct stat sb {};
  if (fstat(fileno(fp), &sb) != 0 || !S_ISREG(sb.st_mode)) return -1;
  long pos = std::ftell(fp);
  if (pos < 0) return -1;
  return sb.st_size > pos ? static_cast<long>(sb.st_size - pos) : 0;
}

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

} // namespace

namespace grd_read_impl {

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

} // namespace grd_read_impl

namespace {

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

} // namespace

namespace grd_read_impl {

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

} // namespace grd_read_impl
