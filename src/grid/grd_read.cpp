/*
 * grd_read: grid files through one handle interface.
 *
 * Owns the table of 15 open grid files (the handle is the slot index) and
 * the reading state beside it. GRD_open detects or takes a file type;
 * GRD_getinfo, GRD_read, GRD_putinfo, GRD_write, GRD_rewind and GRD_close
 * dispatch on it. The suite's own formats live here: raw text (1), the
 * "KEZGRID" text format with its binary records (2 and 3), records whose
 * values lie in a second file, and "KEZGRID4" (4). GRIB files (21) are
 * read through the decoder's section readers: a record is one field, a
 * message holding several fields gives several records; GRIB output files
 * take whole messages only.
 * WMO GRID-code bulletins (22) are decoded here, grid after grid, each on
 * the fixed 19 by 15 latitude-longitude geometry of its identifier.
 * This file keeps the table, the low-level reading and the handle
 * interface; the own layouts are in grd_read_text.cpp, GRIB files in
 * grd_read_grib.cpp, GRID-code bulletins in grd_read_gc.cpp, and what they
 * share in grd_read_impl.h.
 *
 * Every file is hostile: lines are bounded, grid sizes are checked against
 * GRD_MAX_POINTS and against what the file can still hold before anything
 * is allocated, numbers must parse whole, and binary values are decoded
 * big-endian here whatever byte order another reader chose for the process.
 * netCDF files (type 11) are passed to grd_cdf, which keeps their layouts.
 * Each handle keeps its own position, so records can be asked for by any
 * number and two files can be read in turn.
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

namespace grd_read_impl {

GridFiles state;

void copy_field(char* dst, size_t n, const std::string& src) {
  size_t len = std::min(src.size(), n - 1);
  std::memcpy(dst, src.data(), len);
  dst[len] = '\0';
}

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

bool is_space(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

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

} // namespace grd_read_impl

namespace {

constexpr const char kDefaultFormat[] = "%14.8e";

Slot* handle(const char* who, int fd) {
  if (fd < 0 || fd >= GRD_MAX_FILES) {
    MESS_print(M_warn, "%s: Invalid grid file handle %d\n", who, fd);
    return nullptr;
  }
  Slot& s = state.slots[static_cast<size_t>(fd)];
  return s.f ? &s : nullptr;
}

bool is_stream_type(int t) { return t >= GRD_TYPE_RAW && t <= GRD_TYPE_FORMAT4; }

void to_big_endian(float v, unsigned char* b) {
  std::uint32_t u = std::bit_cast<std::uint32_t>(v);
  b[0] = static_cast<unsigned char>(u >> 24);
  b[1] = static_cast<unsigned char>(u >> 16);
  b[2] = static_cast<unsigned char>(u >> 8);
  b[3] = static_cast<unsigned char>(u);
}

} // namespace

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
