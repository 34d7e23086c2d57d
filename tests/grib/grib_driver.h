/*
 * A small reader that drives the GRIB decoder the way the grid store's
 * reader does: the file header first (framing search, file-header read,
 * rewind), then record after record by framing search and next-record
 * offset. The file is opened through the grid file table, which is told
 * where the current record begins (GRD_setpos).
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
  GRD_file* gf = GRD_get_gfile(h);
  gf->itype = GRIB_FRAME_UNKNOWN;
  return gf;
}

/* Tells the file table where the record about to be read begins. */
inline void set_pos(long start) {
  GRD_file* gf = GRD_get_gfile(HANDLE);
  GRD_setpos(HANDLE, start, gf ? gf->num : 0);
}

/* The grid store's file header read: -1 when no message is found. */
inline int file_header(GRD_info* info) {
  GRD_file* gf = GRD_get_gfile(HANDLE);
  info->grid_type = 0;
  if (GRIB_header(HANDLE) < 0) return -1;
  GRIB_get_info(HANDLE, info);
  gf->date = info->date;
  std::rewind(gf->file);
  gf->num = 0;
  set_pos(0);
  return 0;
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

/* The grid store's read of the record at the current position, edition 1:
 * framing search, product definition, grid description, then (unless only
 * the header is wanted) bit map and data; the file is put back at the
 * record's start. The result of the first reader that fails, else that of
 * the data reader (the real reader reports it); -1 at the end of the file. */
inline int read_record(GRD_report* grd, bool header_only = false) {
  GRD_file* gf = GRD_get_gfile(HANDLE);
  long start = std::ftell(gf->file);
  set_pos(start);
  if (GRIB_header(HANDLE) < 0) return -1;
  grd->datim[0] = '\0';
  grd->info[0] = '\0';
  int result = 1;
  if (GRIB_get_version() != 2) {
    int r = GRIB_PDB(HANDLE, grd, 0);
    if (r > 0) r = GRIB_GDB(HANDLE, grd);
    if (r <= 0) {
      result = r;
    } else if (!header_only) {
      GRIB_BMB(HANDLE, grd);
      result = GRIB_BDB(HANDLE, grd);
    }
  }
  std::fseek(gf->file, start, SEEK_SET);
  return result;
}

/* Moves past the record at the current position; false at the end. */
inline bool skip_record() {
  if (GRIB_header(HANDLE) < 0) return false;
  return GRIB_next(HANDLE, 1) >= 0;
}

/* Header-only reads of every field of the file from its start, as the grid
 * store walks it: edition 2 messages section by section, field after field
 * (a later field of a message continues from the sections before it), and
 * edition 1 messages through read_record. The record is reused from field
 * to field as the grid store reuses its slot. Stops after limit fields. */
inline std::vector<GRD_report> header_walk(int limit = 2000) {
  std::vector<GRD_report> out;
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
        int r = read_record(&rec, true);
        if (r > 0) out.push_back(rec);
        if (!skip_record()) break;
        continue;
      }
    }
    continuing = false;
    bool found = false, failed = false;
    while (GRIB_read_section(HANDLE)) {
      if (found) { /* the next field of the same message */
        std::fseek(gf->file, -5, SEEK_CUR);
        continuing = true;
        break;
      }
      switch (GRIB_get_sect()) {
        case 1: GRIB_IDS(HANDLE, &rec); break;
        case 3: failed = GRIB_GDS(HANDLE, &rec) < 1; break;
        case 4: GRIB_PDS(HANDLE, &rec); break;
        case 7: found = true; GRIB_skip_section(HANDLE); break;
        default: GRIB_skip_section(HANDLE); break;
      }
      if (failed) break;
    }
    if (found && !failed) out.push_back(rec);
    if (failed) { /* give up on the message: on to the next one */
      set_pos(start);
      continuing = false;
      if (GRIB_header(HANDLE) < 0 || GRIB_next(HANDLE, 1) < 0) break;
    }
    if (!found && !failed && GRIB_get_sect() != -1) break; /* no product: the file ends */
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
        case 7: found = true; result = GRIB_DS(HANDLE, &rec); break;
        default: GRIB_skip_section(HANDLE); break;
      }
    }
    if (found) {
      Field fl;
      fl.rec = rec;
      fl.rec.grid = nullptr;
      fl.result = result;
      if (rec.grid)
        fl.values.assign(rec.grid, rec.grid + static_cast<size_t>(rec.domain.nx) * rec.domain.ny);
      out.push_back(std::move(fl));
    }
    if (!found && GRIB_get_sect() != -1) break;
  }
  std::free(rec.grid);
  return out;
}

} // namespace grib_test

#endif
