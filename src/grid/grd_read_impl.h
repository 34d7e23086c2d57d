/*
 * grd_read_impl.h: what the files of grd_read share (grd_read.cpp,
 * grd_read_text.cpp, grd_read_grib.cpp, grd_read_gc.cpp).
 *
 * The table of open grid files and its reading state are defined once in
 * grd_read.cpp; the readers of the file types offer the handle interface
 * the calls declared below.
 */
#ifndef KEZ_GRD_READ_IMPL_H
#define KEZ_GRD_READ_IMPL_H

#include "kezgrd.h"

#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace grd_read_impl {

constexpr const char kMagic[] = "KEZGRID";
constexpr size_t kChkBytes = 200;
constexpr size_t kTokenMax = 64; /* longest text number */

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

extern GridFiles state;

void copy_field(char* dst, size_t n, const std::string& src);

enum class Line { ok, eof, too_long };

/* One line without its newline and carriage returns, at most GRD_LINE_LEN
 * characters; a longer line is consumed and reported. */
Line read_line(FILE* fp, std::string* line);

bool is_space(int c);

bool parse_float(const std::string& s, float* v);

bool parse_int(const std::string& s, long lo, long hi, long* v);

bool parse_int(const std::string& s, int* v);

/* The own text and binary layouts (grd_read_text.cpp). */
/* The projection line of a domain; false for a projection that the text
 * formats cannot carry. */
bool projection_line(const Domain& d, std::string* out);
/* Reads the record at the stream position into grd (header only when
 * want_values is false). 0, 1 at the end of the file, -1 for a bad record. */
int read_record(Slot& s, GRD_report* grd, bool want_values);
/* Skips the magic line at the start of a file of types 2 to 4. */
bool skip_magic(Slot& s);

void close_slot(Slot& s);

/* GRIB files (grd_read_grib.cpp). */

void grib_reset(Slot& s);

int grib_getinfo(int fd, Slot& s, GRD_info* info);

int grib_read(int fd, Slot& s, GRD_report* grd, int rep_type, int* grdnum);
/* A record holds a raw message when its bytes begin with a message (behind
 * at most a bulletin heading) and are long enough to be one. The bytes
 * looked at are within both the message count and the grid's points, so
 * that a record of values is never read past its array. */
bool holds_raw_message(const GRD_report* grd);

/* WMO GRID-code bulletins (grd_read_gc.cpp). */

int gc_getinfo(Slot& s, GRD_info* info);

int gc_read_record(Slot& s, GRD_report* grd, int rep_type, int* grdnum);

} // namespace grd_read_impl

#endif
