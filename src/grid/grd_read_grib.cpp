/*
 * grd_read_grib: GRIB files through the decoder, for grd_read.
 *
 * GRIB files (21) are read through the decoder's section readers: a record
 * is one field, a message holding several fields gives several records. A
 * companion header file, when the naming convention gives one, supplies the
 * records' header texts.
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

/* ---- GRIB files through the decoder ------------------------------------------- */

/* The most fields one edition 2 message may hold, and the most header
 * text taken from a line of a companion header file. */
constexpr int kMaxGribFields = 10000;
constexpr size_t kHdrTextMax = 128;

} // namespace

namespace grd_read_impl {

void grib_reset(Slot& s) {
  s.grib.clear();
  s.grib_base = 0;
  s.grib_scan = 0;
  s.hdr.clear();
  s.hdr_end = false;
  if (s.f->hfile) std::rewind(s.f->hfile);
}

} // namespace grd_read_impl

namespace {

/* Finds the message at or after s.grib_scan and adds its fields to the
 * table; false when no further message can be had. */
bool grib_scan_message(int fd, Slot& s) {
  FILE* fp = s.f->file;
  const long p = s.grib_scan;
  if (p < 0 || std::fseek(fp, p, SEEK_SET) != 0) return false;
  state.cur_pos = p;
  if (GRIB_header(fd) < 0) {
    s.grib_scan = -1;
    return false;
  }
  const long after_ind = std::ftell(fp);
  const int version = GRIB_get_version();
  const long next = GRIB_next(fd, 0);
  /* A message that does not move the reader on ends the file, so that a
   * damaged length cannot make it loop. */
  s.grib_scan = next > p ? next : -1;
  int fields = 1;
  if (version == 2) {
    std::fseek(fp, after_ind, SEEK_SET);
    int n = 0;
    while (GRIB_read_section(fd)) {
      if (next > p && std::ftell(fp) > next) break;
      if (GRIB_get_sect() == 7 && ++n >= kMaxGribFields) break;
      GRIB_skip_section(fd);
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
  if (parse_grib_text(h.text, grd)) GRIB_units(grd);
  DOM_init(&grd->domain);
  GRIB_set_domain(grd->type, &grd->domain);
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
  if (GRIB_header(fd) < 0) {
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
  if (GRIB_get_version() != 2) {
    int r = GRIB_PDB(fd, grd, rep_type);
    if (r < 1) return done(r < 0 ? -1 : 1);
    r = GRIB_GDB(fd, grd);
    if (r < 1) return done(r < 0 ? -1 : 1);
    if (rep_type != GRD_READ_ALL) return done(0);
    std::free(grd->grid);
    grd->grid = nullptr;
    GRIB_BMB(fd, grd);
    /* A field that cannot be unpacked is refused like one of edition 2,
     * so that a walk over the file goes on past it. */
    if (GRIB_BDB(fd, grd) < 0) return done(1);
    if (!grd->grid) {
      MESS_print(M_warn, "GRD_read: GRIB field without values\n");
      return done(1);
    }
    return done(0);
  }
  const bool want = rep_type != GRD_READ_HEADER;
  if (want) {
    std::free(grd->grid);
    grd->grid = nullptr;
  }
  int n = 0;
  bool found = false, bad_grid = false;
  while (GRIB_read_section(fd)) {
    MESS_print(M_debug_c, "SECT: %d %ld\n", GRIB_get_sect(), std::ftell(fp));
    const int sect = GRIB_get_sect();
    switch (sect) {
      case 1: GRIB_IDS(fd, grd); break;
      case 3:
        /* A later grid definition replaces a refused one for the fields after it. */
        bad_grid = GRIB_GDS(fd, grd) < 1;
        break;
      case 4: GRIB_PDS(fd, grd); break;
      case 5:
        if (want && n == field)
          GRIB_DRS(fd, grd);
        else
          GRIB_skip_section(fd);
        break;
      case 6:
        if (want)
          GRIB_BMS(fd);
        else
          GRIB_skip_section(fd);
        break;
      case 7:
        if (n == field) {
          found = true;
          if (want && !bad_grid)
            GRIB_DS(fd, grd);
          else
            GRIB_skip_section(fd);
        } else {
          GRIB_skip_section(fd);
        }
        ++n;
        break;
      default: GRIB_skip_section(fd); break;
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

} // namespace

namespace grd_read_impl {

int grib_getinfo(int fd, Slot& s, GRD_info* info) {
  if (s.is_std) {
    MESS_print(M_warn, "GRD_getinfo: GRIB files cannot be read from a stream\n");
    return -1;
  }
  GRD_file& f = *s.f;
  info->grid_type = 0;
  std::rewind(f.file);
  state.cur_pos = 0;
  if (GRIB_header(fd) < 0) {
    MESS_print(M_warn, "GRD_getinfo: No GRIB message found\n");
    std::rewind(f.file);
    return -1;
  }
  if (GRIB_get_info(fd, info) != 0) {
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

} // namespace grd_read_impl

namespace {

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

} // namespace

namespace grd_read_impl {

int grib_read(int fd, Slot& s, GRD_report* grd, int rep_type, int* grdnum) {
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

} // namespace grd_read_impl
