/*
 * The GRIB tests' way into the decoder: files are opened through the grid
 * file table; the framing walk drives the decoder's message functions
 * directly (the table is told where each record begins, GRD_setpos), while
 * file headers and records are read through GRD_getinfo and GRD_read.
 */
#ifndef GRIB_DRIVER_H
#define GRIB_DRIVER_H

#include "kezgrd.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace grib_test {

/* The handle of the open GRIB file (GRD_open gives the first free one). */
inline int HANDLE = 0;
/* The record the reads below take (record numbers of GRD_read). */
inline int CURRENT = 0;

/* Opens path as grid file HANDLE, framing kind unknown, as the grid store does. */
inline void close_grib() {
  if (GRD_get_gfile(HANDLE)) GRD_close(HANDLE);
}

inline GRD_file* open_grib(const std::string& path) {
  close_grib();
  int type = GRD_TYPE_GRIB;
  const int h = GRD_open(path.c_str(), GRD_ACCESS_READ, &type);
  if (h < 0) return nullptr;
  HANDLE = h;
  CURRENT = 0;
  GRD_file* gf = GRD_get_gfile(h);
  gf->itype = GRIB_FRAME_UNKNOWN;
  return gf;
}

/* Tells the file table where the record about to be read begins. */
inline void set_pos(long start) {
  GRD_file* gf = GRD_get_gfile(HANDLE);
  GRD_setpos(HANDLE, start, gf ? gf->num : 0);
}

/* The file header through the grid files: -1 when no message is found. */
inline int file_header(GRD_info* info) {
  CURRENT = 0;
  return GRD_getinfo(HANDLE, info);
}

/* What the walk learns of one record. */
struct Record {
  long start = 0;      /* where the record (its framing) begins */
  long message = 0;    /* where the message's magic stands */
  int itype = 0;       /* framing kind after the search */
  std::string heading; /* GRIB_get_WMO_header, up to its terminator */
  int version = 0;     /* GRIB_get_version after the next-record offset */
  char type = 0;       /* GRIB_get_type */
  long next = 0;       /* GRIB_next */
};

/* Steps from record to record until the framing search or the next-record
 * offset fails; at most limit steps, so a decoder that loops shows as a
 * walk of limit records. */
inline std::vector<Record> walk(int limit = 1000) {
  std::vector<Record> out;
  GRD_file* gf = GRD_get_gfile(HANDLE);
  for (int i = 0; i < limit; ++i) {
    Record r;
    r.start = std::ftell(gf->file);
    set_pos(r.start);
    if (GRIB_header(HANDLE) < 0) break;
    r.itype = gf->itype;
    char head[GRIB_WMO_LEN + 1] = {};
    GRIB_get_WMO_header(HANDLE, head);
    r.heading = head;
    r.type = GRIB_get_type(HANDLE);
    long after_indicator = std::ftell(gf->file);
    r.next = GRIB_next(HANDLE, 1);
    r.version = GRIB_get_version();
    r.message = after_indicator - (r.version == 2 ? 16 : 8);
    out.push_back(r);
    if (r.next < 0) break;
    gf->num++;
  }
  return out;
}

/* Reads the current record through GRD_read, with values unless only the
 * header is wanted. In the decoder's terms: 1 when the record was read
 * (with values when they were asked for), 0 when it has no usable grid or
 * no values, -1 when the product cannot be read or no record is left. */
inline int read_record(GRD_report* grd, bool header_only = false) {
  int n = CURRENT;
  int r = GRD_read(HANDLE, grd, header_only ? GRD_READ_HEADER : GRD_READ_ALL, &n);
  if (r == 0) return 1;
  return r == 1 ? 0 : r;
}

/* Moves on to the next record; false when there is none. */
inline bool skip_record() {
  ++CURRENT;
  GRD_report rec{};
  int n = CURRENT;
  int r = GRD_read(HANDLE, &rec, GRD_READ_HEADER, &n);
  std::free(rec.grid);
  return r != -1;
}

/* Header-only reads of every field of the file from its start, record
 * after record through GRD_read (a GRIB 2 message gives one record per
 * field); records without a usable grid are left out. Stops at the end
 * of the file or after limit records. */
inline std::vector<GRD_report> header_walk(int limit = 2000) {
  std::vector<GRD_report> out;
  for (int i = 0; i < limit; ++i) {
    GRD_report rec{};
    int n = i;
    int r = GRD_read(HANDLE, &rec, GRD_READ_HEADER, &n);
    if (r == -1) break;
    if (r == 0) out.push_back(rec);
  }
  return out;
}

/* One field of a full read: the record, the result of the data reader and
 * a copy of its values (empty when the record holds none). */
struct Field {
  GRD_report rec{};
  int result = 0;
  std::vector<float> values;
};

/* Reads every edition 2 field of the open file with its values, section by
 * section as the grid store does (sections 5 to 7 through their readers);
 * edition 1 messages are skipped. The record is reused from field to field,
 * so a field without values shows any value left from the one before. */
inline std::vector<Field> data_walk(int limit = 2000) {
  std::vector<Field> out;
  GRD_file* gf = GRD_get_gfile(HANDLE);
  GRD_report rec{};
  bool continuing = false;
  for (int i = 0; i < limit; ++i) {
    long start = std::ftell(gf->file);
    if (!continuing) {
      set_pos(start);
      if (GRIB_header(HANDLE) < 0) break;
      if (GRIB_get_version() != 2) {
        std::fseek(gf->file, start, SEEK_SET);
        if (!skip_record()) break;
        continue;
      }
    }
    continuing = false;
    bool found = false;
    int result = 0;
    while (GRIB_read_section(HANDLE)) {
      if (found) {
        std::fseek(gf->file, -5, SEEK_CUR);
        continuing = true;
        break;
      }
      switch (GRIB_get_sect()) {
        case 1: GRIB_IDS(HANDLE, &rec); break;
        case 3: GRIB_GDS(HANDLE, &rec); break;
        case 4: GRIB_PDS(HANDLE, &rec); break;
        case 5: GRIB_DRS(HANDLE, &rec); break;
        case 6: GRIB_BMS(HANDLE); break;
        case 7:
          found = true;
          result = GRIB_DS(HANDLE, &rec);
          break;
        default: GRIB_skip_section(HANDLE); break;
      }
    }
    if (found) {
      Field fl;
      fl.rec = rec;
      fl.rec.grid = nullptr;
      fl.result = result;
      if (rec.grid) fl.values.assign(rec.grid, rec.grid + static_cast<size_t>(rec.domain.nx) * rec.domain.ny);
      out.push_back(std::move(fl));
    }
    if (!found && GRIB_get_sect() != -1) break;
  }
  std::free(rec.grid);
  return out;
}

} // namespace grib_test

#endif
