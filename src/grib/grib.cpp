/*
 * grib: the GRIB decoder.
 *
 * Reads GRIB editions 0, 1 and 2 from a grid file that the grid store has
 * opened, one message at a time, behind whichever bulletin framing the file
 * uses (the suite's "**" heading line, the LDM feed's SOH/ETX framing, the
 * older "GRIB:" size line, or none). The grid store's reader drives it: the
 * framing search (GRIB_header) leaves the file right after a message's
 * indicator, GRIB_next tells where the following record begins, the section
 * readers fill a GRD_report. All decoder state is the one `state` record
 * (grib_impl.h); the file is reached through its handle on every call, so
 * the file position is the only link between calls.
 *
 * The decoder spans four files, which read and write that one state: this
 * one holds the state, the framing search and next-record offsets, the
 * file header, raw copies and accessors, and the unit and remapping
 * tables; grib_ed1.cpp edition 1 (product definition, grid description,
 * bit map and unpacking: a data section is read into memory and unpacked
 * in one pass); grib_ed2.cpp the edition 2 section headers,
 * identification, grid definition and product definition with its
 * parameter table "grib2_var.lup"; grib_ed2_data.cpp the edition 2 data
 * representation, bit map and unpacking.
 *
 * Every file is taken as hostile: lengths are checked against the indicator,
 * the end marker and the offsets the grid store can keep, and a search never
 * revisits an offset it has passed, so a damaged file ends a walk instead of
 * looping. A field that cannot be unpacked leaves its record without values
 * (grid NULL, the array released with free), never with another field's.
 */
#include "grib_impl.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace grib_impl;

namespace {

constexpr int SOH = 0x01;
constexpr int ETX = 0x03;
constexpr int END_MARK = 4;          /* "7777" */
constexpr int INFO_OCTETS = 40;      /* octets the file-header read takes */
constexpr long MAX_OFFSET = INT_MAX; /* the grid store keeps offsets as int */

/* Parameter remapping of the ECMWF's local table (centre 98). The units
 * are those of ECMWF's values: its fluxes and stresses are accumulated
 * (J/m^2, N-s/m^2) under the numbers of the WMO's rates. Cloud cover comes
 * as a fraction and is scaled to the percent of the WMO parameter, so
 * that every field of that number means the same. */
constexpr int GRIB_KEEP = INT_MIN; /* level fields the remap leaves alone */
struct EcmwfRow {
  int param;
  int var;
  const char* units;
  int ltype;
  int level;
  float scale = 1.0f; /* values times this give the units */
};
constexpr EcmwfRow ecmwf_table[] = {
    {129, 6, "m^2/s^2", GRIB_KEEP, GRIB_KEEP},
    {130, 11, "K", GRIB_KEEP, GRIB_KEEP},
    {131, 33, "m/s", GRIB_KEEP, GRIB_KEEP},
    {132, 34, "m/s", GRIB_KEEP, GRIB_KEEP},
    {134, 1, "Pa", GRIB_KEEP, GRIB_KEEP},
    {135, 39, "Pa/s", GRIB_KEEP, GRIB_KEEP},
    {139, 11, "K", GRIB_KEEP, GRIB_KEEP},
    {146, 122, "J/m^2", GRIB_KEEP, GRIB_KEEP},
    {147, 121, "J/m^2", GRIB_KEEP, GRIB_KEEP},
    {151, 1, "Pa", 102, GRIB_KEEP},
    {157, 52, "%", GRIB_KEEP, GRIB_KEEP},
    {164, 71, "%", 200, 0, 100.0f},
    {165, 33, "m/s", 105, 10},
    {166, 34, "m/s", 105, 10},
    {167, 11, "K", 105, 2},
    {168, 17, "K", 105, 2},
    {172, 81, "", GRIB_KEEP, GRIB_KEEP},
    {176, 111, "J/m^2", GRIB_KEEP, GRIB_KEEP},
    {177, 112, "J/m^2", GRIB_KEEP, GRIB_KEEP},
    {180, 326, "N-s/m^2", GRIB_KEEP, GRIB_KEEP},
    {181, 327, "N-s/m^2", GRIB_KEEP, GRIB_KEEP},
    {228, 61, "m", GRIB_KEEP, GRIB_KEEP},
};

/* Parameter numbers of edition 0. */
struct Ed0Row {
  int param;
  int var;
  const char* units;
};
constexpr Ed0Row ed0_table[] = {
    {1, 1, "hPa"},    {2, 7, "10 m"},      {3, 8, "10 m"},         {4, 11, "C"},         {5, 15, "C"},
    {6, 16, "C"},     {8, 13, "C"},        {10, 17, "C"},          {11, 18, "dC"},       {12, 51, ".1 g/kg"},
    {13, 52, "%"},    {14, 53, ".1 g/kg"}, {15, 131, "dC"},        {17, 132, "dC"},      {21, 32, "m/s"},
    {23, 33, "m/s"},  {24, 34, "m/s"},     {29, 35, "10^5 m^2/s"}, {30, 43, "10^-5 /s"}, {31, 41, "10^-5 /s"},
    {40, 38, "mb/s"}, {44, 136, "m/s/km"}, {47, 54, "mm"},         {48, 63, "mm"},       {50, 61, "mm"},
    {51, 66, "cm"},   {55, 62, "mm"},      {61, 80, ".1 C"},       {64, 100, ".5 m"},    {75, 107, "10 deg"},
    {76, 108, "s"},
};

/* Units of the edition 1 parameters, looked up by parameter modulo 1000. */
struct UnitRow {
  const char* units;
  std::array<short, 26> params; /* 0 ends a short row */
};
constexpr UnitRow ed1_units[] = {
    {"Pa", {1, 2, 26, 55, 56, 128, 129, 130}},
    {"Pa/s", {3, 39}},
    {"K-m^2/kg/s", {4}},
    {"m^2/s^2", {6, 37, 190}},
    {"m", {5, 7, 8, 9, 20, 66, 67, 68, 69, 70, 82, 83, 92, 100, 102, 105, 221}},
    {"Dobson", {10}},
    {"K", {11, 12, 13, 14, 15, 16, 17, 80, 85, 118, 133}},
    {"dK", {18, 24, 25, 77, 131, 132}},
    {"K/m", {19}},
    {"Dbz", {21}},
    {"", {22, 23, 28, 29, 30, 81, 91, 134, 140, 141, 142, 143, 144, 191, 192, 209}},
    {"gpm", {27, 222, 230}},
    {"deg", {31, 47, 93, 101, 104, 107, 109, 571}},
    {"m/s", {32, 33, 34, 40, 48, 49, 50, 94, 95, 96, 97, 180, 196, 197}},
    {"m^2/s", {35, 36}},
    {"/s", {38, 41, 42, 43, 44, 45, 46, 98, 136}},
    {"kg/kg", {51, 53, 76, 88, 153, 154}},
    {"%", {52, 60, 71, 72, 73, 74, 75, 84, 87, 193, 194, 195, 201, 207, 213}},
    {"kg/m^2", {54, 57, 58, 61, 62, 63, 65, 78, 79, 86, 90, 99, 223}},
    {"kg/m^2/s", {59, 64, 214}},
    {"kg/m^3", {89}},
    {"s", {103, 106, 108, 110}},
    {"W/m^2", {111, 112, 113, 114, 115, 116, 117, 121, 122, 123, 145, 155, 160,
               161, 162, 163, 164, 165, 166, 167, 168, 204, 205, 211, 212}},
    {"N/m^2", {124, 125, 147, 148, 172, 226, 227}},
    {"kg/kg/s", {135}},
    {"/s^2", {138}},
    {"/s/m", {139}},
    {"J/kg", {146, 156, 157, 158}},
    {"m^2/s/kg", {149}},
    {"km/s", {151}},
    {"kg-m/m^2-s", {208}},
    {"K/s", {216}},
    {"dBZ", {491}},
};

/* netCDF unit names of the suite's variables. */
struct CdfRow {
  int var;
  const char* name;
};
constexpr CdfRow cdf_units[] = {
    {1, "hectopascals"},   {2, "geopotential dekameters"},
    {4, "celsius"},        {15, "celsius"},
    {13, "percent"},       {23, "meters/second"},
    {24, "meters/second"}, {40, "millibars/second"},
    {50, "kg/m2"},         {61, "0.5 degC"},
    {62, "degC"},          {64, "0.5 meters"},
    {75, "10 degrees"},    {76, "seconds"},
    {101, "pascals"},      {102, "geopotential meters"},
    {104, "kelvin"},       {140, "pascals/second"},
    {161, "degK"},         {164, "meters"},
    {175, "degrees"},
};

} // namespace

/* --- state and the helpers the decoder's files share ------------------ */

namespace grib_impl {

GribState state;

/* The stream of the handle, refreshing gfile; null when there is none. */
FILE* stream_of(int grd_fd) {
  state.gfile = GRD_get_gfile(grd_fd);
  return state.gfile ? state.gfile->file : nullptr;
}

/* A message cut short is refused wherever it is read; the reason is told
 * once for each visit of the walk to it (the grid store looks at a message
 * to find its fields, then reads the one asked for). */
bool cut_message(const char* who) {
  if (state.end_ok) return false;
  if (state.warned_start != state.msg_start)
    MESS_print(M_warn, "%s: GRIB message at offset %ld has no end marker \"7777\" at its length of %ld octets\n", who,
               state.msg_start, state.msg_len);
  state.warned_start = state.msg_start;
  state.warned_file = state.gfile;
  return true;
}

/* Wind components of a Lambert conformal or polar stereographic grid are
 * taken as relative to the grid, as NCEP gives them: components relative
 * to the earth would be turned once more, by the angle between the grid's
 * north and the meridian. Said where a field has them. */
void warn_earth_winds(const char* who) {
  if (!state.uv_earth || (state.param != 33 && state.param != 34)) return;
  MESS_print(M_warn,
             "%s: Wind components relative to the earth on a projected grid; the vector plot takes them as the "
             "grid's unless plot_param says uvew\n",
             who);
}

/* The ensemble state of a product definition about to be read. */
void clear_product() {
  state.ens = 0;
  state.ens_type = state.ens_id = state.ens_prod = state.ens_smooth = 0;
  state.ens_prob_var = state.ens_prob_type = 0;
  state.ens_prob_low = state.ens_prob_up = 0;
  state.ens_derived = -1;
  state.chem = -1;
  state.chem_param = 0;
}

constexpr long READ_CHUNK = 1L << 20;
/* Buffers larger than this are given back after use. */
constexpr size_t KEEP_BUFFER = size_t{64} << 20;

/* Up to n octets of the file into buf, followed by zero padding for the
 * bit readers; the octets read. The buffer grows chunk by chunk as data
 * arrives, so a false length costs no more memory than the file holds. */
long read_padded(FILE* f, long n, std::vector<unsigned char>* buf) {
  if (buf->capacity() > KEEP_BUFFER) std::vector<unsigned char>().swap(*buf);
  long got = 0;
  while (got < n) {
    const long k = std::min(READ_CHUNK, n - got);
    if (buf->size() < static_cast<size_t>(got + k) + grib_unpack::PAD)
      buf->resize(static_cast<size_t>(got + k) + grib_unpack::PAD);
    const size_t r = fread(buf->data() + got, 1, static_cast<size_t>(k), f);
    got += static_cast<long>(r);
    if (r < static_cast<size_t>(k)) break;
  }
  if (buf->size() < static_cast<size_t>(got) + grib_unpack::PAD)
    buf->resize(static_cast<size_t>(got) + grib_unpack::PAD);
  std::memset(buf->data() + got, 0, grib_unpack::PAD);
  return got;
}

} // namespace grib_impl

/* --- reading helpers ----------------------------------------------------- */

namespace {

enum class Match { yes, no, end };

/* One character that must be ch; a different one is left unread. */
Match match_char(FILE* f, int ch) {
  int c = getc(f);
  if (c == EOF) return Match::end;
  if (c == ch) return Match::yes;
  ungetc(c, f);
  return Match::no;
}

Match match_text(FILE* f, const char* text) {
  for (; *text; ++text) {
    Match m = match_char(f, static_cast<unsigned char>(*text));
    if (m != Match::yes) return m;
  }
  return Match::yes;
}

/* Any run of white space, also an empty one; end only when the file ends. */
Match skip_space(FILE* f) {
  int c;
  while ((c = getc(f)) != EOF && std::isspace(c)) {
  }
  if (c == EOF) return Match::end;
  ungetc(c, f);
  return Match::yes;
}

/* An optionally signed decimal integer, at least one digit. */
Match match_int(FILE* f, long* value) {
  int c = getc(f);
  if (c == EOF) return Match::end;
  bool neg = false;
  if (c == '-' || c == '+') {
    neg = c == '-';
    c = getc(f);
    if (c == EOF) return Match::end;
  }
  if (!std::isdigit(c)) {
    ungetc(c, f);
    return Match::no;
  }
  long v = 0;
  while (c != EOF && std::isdigit(c)) {
    if (v < LONG_MAX / 10 - 10) v = v * 10 + (c - '0');
    c = getc(f);
  }
  if (c != EOF) ungetc(c, f);
  *value = neg ? -v : v;
  return Match::yes;
}

/* A heading: 1 to GRIB_HEADING_LEN characters up to one of the stop
 * characters (LF; or CR and LF). */
Match match_heading(FILE* f, bool stop_cr, std::string* heading) {
  heading->clear();
  int c = 0;
  while (static_cast<int>(heading->size()) < GRIB_HEADING_LEN) {
    c = getc(f);
    if (c == EOF || c == '\n' || (stop_cr && c == '\r')) break;
    heading->push_back(static_cast<char>(c));
  }
  if (heading->empty()) {
    if (c == EOF) return Match::end;
    ungetc(c, f);
    return Match::no;
  }
  if (c == '\n' || (stop_cr && c == '\r')) ungetc(c, f);
  return Match::yes;
}

/* Keeps a new heading; the old one is cleared first so none of it shows. */
void set_heading(const std::string& heading) {
  std::memset(state.wmo_header, 0, sizeof state.wmo_header);
  heading.copy(state.wmo_header, GRIB_HEADING_LEN);
}

bool is_magic(const unsigned char* p, const char* magic) { return std::memcmp(p, magic, 4) == 0; }

/* Whether "7777" stands in the four octets that end at offset end; the
 * file is left where it was. */
bool end_marker_at(FILE* f, long end) {
  const long here = ftell(f);
  unsigned char m[END_MARK] = {};
  bool ok = end >= END_MARK && fseek(f, end - END_MARK, SEEK_SET) == 0 && fread(m, 1, END_MARK, f) == END_MARK &&
            std::memcmp(m, "7777", END_MARK) == 0;
  fseek(f, here, SEEK_SET);
  return ok;
}

/* Reads indicator octets 5-8 (and 9-16 of edition 2) after a found magic,
 * and checks that the message ends where its length says: a message cut
 * short must not take its end from the message after it. The octets of
 * the last read, or 0 when the file ends first. */
int read_indicator_rest(FILE* f) {
  unsigned char* ind = state.ind.data();
  state.msg_start = ftell(f) - 4;
  state.msg_len = 0;
  state.end_ok = true;
  if (state.msg_start != state.warned_start || state.gfile != state.warned_file) state.warned_start = -1;
  if (fread(ind + 4, 1, 4, f) != 4) return 0;
  bool grib = is_magic(ind, "GRIB");
  if (ind[7] == 2 && grib) {
    if (fread(ind + 8, 1, 8, f) != 8) return 0;
    state.discipline = ind[6];
    state.version = 2;
    unsigned long long len = 0;
    for (int i = 8; i < 16; ++i) len = (len << 8) | ind[i];
    state.msg_len = len > static_cast<unsigned long long>(MAX_OFFSET) ? MAX_OFFSET : static_cast<long>(len);
    state.end_ok = end_marker_at(f, state.msg_start + state.msg_len);
    return 8;
  }
  if (ind[7] == 1 && (grib || is_magic(ind, "BUFR"))) state.version = 1;
  if (ind[7] == 1 && grib) {
    state.msg_len = static_cast<long>(be_uint(ind + 4, 3));
    state.end_ok = end_marker_at(f, state.msg_start + state.msg_len);
  }
  return 4;
}

/* Where a product without a usable length ends: after the first run of three
 * to seven '7', the first '*', 'G' or 'B' (or just after the first ETX). */
long scan_product_end(FILE* f) {
  int run = 0;
  int c;
  while ((c = getc(f)) != EOF) {
    if (c == '7') {
      ++run;
      continue;
    }
    bool ended = run >= 3 && run <= 7;
    run = 0;
    if (ended) break;
  }
  while (c != EOF) {
    if (c == '*' || c == 'G' || c == 'B') return ftell(f) - 1;
    if (c == ETX) return ftell(f);
    c = getc(f);
  }
  return -1;
}

int invalid_size(long long size) {
  MESS_print(M_warn, "Invalid product size: %lld\n", size);
  return -1;
}

} // namespace

/* --- framing search ------------------------------------------------------ */

int GRIB_search(int grd_fd) {
  FILE* f = stream_of(grd_fd);
  if (!f) return 0;
  state.ind.fill(0);
  /* A window over the last four characters read: every offset is tried as
   * the start of a magic, so a 'G' or 'B' just before one cannot hide it. */
  unsigned char* ind = state.ind.data();
  int have = 0;
  int c;
  while ((c = getc(f)) != EOF) {
    if (have < 4) {
      ind[have++] = static_cast<unsigned char>(c);
    } else {
      std::memmove(ind, ind + 1, 3);
      ind[3] = static_cast<unsigned char>(c);
    }
    if (have == 4 && (is_magic(ind, "GRIB") || is_magic(ind, "GRID") || is_magic(ind, "BUFR")))
      return read_indicator_rest(f);
  }
  state.ind.fill(0);
  return 0;
}

int GRIB_header_kez(int grd_fd) {
  FILE* f = stream_of(grd_fd);
  if (!f) return -1;
  std::string heading;
  auto rest = [&]() -> Match {
    Match m = match_text(f, "**");
    if (m != Match::yes) return m;
    if (skip_space(f) == Match::end) return Match::end;
    m = match_heading(f, false, &heading);
    if (m != Match::yes) return m;
    skip_space(f);
    return Match::yes;
  };
  Match m = Match::no;
  int c = getc(f);
  if (c == EOF) return -1;
  if (c == '\r' || c == '\n' || c == ETX) {
    while ((c = getc(f)) == '\r' || c == '\n' || c == ETX) {
    }
    if (c == EOF) return -1;
    ungetc(c, f);
    m = rest();
  } else {
    ungetc(c, f);
  }
  if (m == Match::no) m = rest();
  if (m == Match::end) return -1;
  if (m == Match::no) return 0;
  heading.resize(heading.size() > 3 ? heading.size() - 3 : 0);
  set_heading(heading);
  if (state.gfile) state.gfile->itype = GRIB_FRAME_KEZ;
  return GRIB_search(grd_fd) > 0 ? 1 : -1;
}

int GRIB_header_ldm(int grd_fd, long int old_pos) {
  FILE* f = stream_of(grd_fd);
  if (!f) return 0;
  auto after_soh = [&]() -> bool {
    long seq = 0;
    std::string heading;
    if (skip_space(f) != Match::yes || match_int(f, &seq) != Match::yes || skip_space(f) != Match::yes ||
        match_heading(f, true, &heading) != Match::yes)
      return false;
    skip_space(f);
    set_heading(heading);
    return true;
  };
  bool found = false;
  if (ftell(f) == old_pos) {
    Match m = match_char(f, SOH);
    if (m == Match::yes) found = after_soh();
  }
  if (!found && ftell(f) == old_pos) {
    if (skip_space(f) == Match::yes && match_char(f, ETX) == Match::yes && match_char(f, SOH) == Match::yes)
      found = after_soh();
  }
  if (!found) return 0;
  state.gfile->itype = GRIB_FRAME_LDM;
  return GRIB_search(grd_fd) > 0 ? 1 : 0;
}

int GRIB_header_old_kez(int grd_fd) {
  FILE* f = stream_of(grd_fd);
  if (!f) return -1;
  long start = ftell(f);
  Match m = match_text(f, "GRIB:");
  if (m == Match::no && ftell(f) == start + 4) {
    /* The letters were the magic of an unframed message: give them back so
     * that the magic search still finds it. */
    fseek(f, start, SEEK_SET);
    return 0;
  }
  long n = 0;
  if (m == Match::yes) m = skip_space(f);
  if (m == Match::yes) m = match_int(f, &n);
  if (m == Match::end) return -1;
  if (m == Match::no) return 0;
  skip_space(f);
  state.grid_size = n + ftell(f);
  std::string heading;
  std::string line;
  if (match_char(f, SOH) == Match::yes && skip_space(f) == Match::yes) {
    int c;
    while ((c = getc(f)) != EOF && c != '\n') line.push_back(static_cast<char>(c));
    if (c != EOF) ungetc(c, f);
    if (!line.empty() && skip_space(f) == Match::yes && match_heading(f, true, &heading) == Match::yes) skip_space(f);
  }
  set_heading(heading);
  state.gfile->itype = GRIB_FRAME_OLD_KEZ;
  return GRIB_search(grd_fd) > 0 ? 1 : -1;
}

int GRIB_header_raw(int grd_fd, long int old_pos) {
  (void)old_pos; /* the size-line attempt gives back a magic it read */
  if (!stream_of(grd_fd)) return 0;
  state.gfile->itype = GRIB_FRAME_RAW;
  set_heading(GRIB_DEFAULT_HEADING);
  return GRIB_search(grd_fd) > 0 ? 1 : 0;
}

int GRIB_header(int grd_fd) {
  FILE* f = stream_of(grd_fd);
  if (!f) {
    MESS_print(M_error, "GRIB_header: No open file for handle %d\n", grd_fd);
    return -1;
  }
  GRD_file* gf = state.gfile;
  long old_pos = ftell(f);
  if (state.prev != 0) {
    gf->itype = state.prev;
    state.prev = 0;
  }
  int result = 0;
  switch (gf->itype) {
    case GRIB_FRAME_KEZ: result = GRIB_header_kez(grd_fd); break;
    case GRIB_FRAME_LDM: result = GRIB_header_ldm(grd_fd, old_pos); break;
    case GRIB_FRAME_OLD_KEZ: result = GRIB_header_old_kez(grd_fd); break;
    case GRIB_FRAME_RAW: result = GRIB_header_raw(grd_fd, old_pos); break;
    default: gf->itype = GRIB_FRAME_UNKNOWN; break;
  }
  if (result == 0 && gf->itype != GRIB_FRAME_UNKNOWN) {
    if (gf->itype != GRIB_FRAME_RAW) state.prev = gf->itype;
    gf->itype = GRIB_FRAME_UNKNOWN;
  } else if (gf->itype != GRIB_FRAME_UNKNOWN) {
    return result;
  }
  if ((result = GRIB_header_kez(grd_fd)) != 0) return result;
  if ((result = GRIB_header_ldm(grd_fd, old_pos)) != 0) return result;
  if ((result = GRIB_header_old_kez(grd_fd)) != 0) return result;
  if ((result = GRIB_header_raw(grd_fd, old_pos)) != 0) return result;
  /* The raw search reads to the end of the file when it finds nothing. */
  return -1;
}

/* --- next record --------------------------------------------------------- */

int GRIB_next(int grd_fd, int where) {
  FILE* f = stream_of(grd_fd);
  if (!f) return -1;
  long pos = ftell(f);
  if (pos < 0) return -1;
  long long next = -1;
  const unsigned char* ind = state.ind.data();
  if (state.gfile->itype == GRIB_FRAME_OLD_KEZ) {
    /* The size line counts from the SOH; one separator follows the product. */
    if (state.grid_size - pos > GRIB_MAX_PRODUCT || state.grid_size < 0) return -1;
    if (state.grid_size < pos + END_MARK) return invalid_size(state.grid_size - pos);
    next = state.grid_size + 1;
  } else {
    int trailer = state.gfile->itype == GRIB_FRAME_LDM ? 4 : 0;
    bool grib = is_magic(ind, "GRIB");
    if (grib && ind[7] == 2) {
      unsigned long long len = 0;
      for (int i = 8; i < 16; ++i) len = (len << 8) | ind[i];
      if (len < IND_ED2 + END_MARK || len > static_cast<unsigned long long>(MAX_OFFSET))
        return invalid_size(static_cast<long long>(len));
      if (state.gfile->itype == GRIB_FRAME_KEZ) trailer = 4;
      next = pos + static_cast<long long>(len) - IND_ED2 + trailer;
    } else if ((grib || is_magic(ind, "BUFR")) && ind[7] == 1) {
      long len = static_cast<long>(be_uint(ind + 4, 3));
      if (len > GRIB_MAX_PRODUCT || len < IND_ED1 + END_MARK) return invalid_size(len);
      if (state.gfile->itype == GRIB_FRAME_KEZ) trailer = 1;
      next = pos + len - IND_ED1 + trailer;
    } else {
      next = scan_product_end(f);
      state.version = 0;
      if (next < 0) {
        fseek(f, pos, SEEK_SET);
        return -1;
      }
    }
  }
  if (next > MAX_OFFSET) {
    fseek(f, pos, SEEK_SET);
    return invalid_size(next - pos);
  }
  /* A message cut short: the next one may begin anywhere inside the
   * length it claims. */
  if (!state.end_ok && state.msg_start >= 0) next = state.msg_start + 1;
  fseek(f, where == 1 ? static_cast<long>(next) : pos, SEEK_SET);
  return static_cast<int>(next);
}

/* --- file header, raw copies, accessors ---------------------------------- */

int GRIB_get_info(int grd_fd, GRD_info* info) {
  FILE* f = stream_of(grd_fd);
  if (!f || !info) return -1;
  std::array<unsigned char, INFO_OCTETS> buf{};
  if (fread(buf.data(), 1, buf.size(), f) != buf.size()) return -1;
  const unsigned char* ind = state.ind.data();
  int edition = ind[7];
  state.gfile->grid = edition;
  if (edition == 0 || edition == 1) {
    /* Octet k of the product definition; edition 0 starts it inside the
     * indicator, at its octet 5. */
    auto pds = [&](int k) -> int {
      if (edition == 1) return buf[k - 1];
      return k <= 4 ? ind[k + 3] : buf[k - 5];
    };
    if (edition == 0 && pds(5) == 98) state.gfile->grid = 10;
    int month = pds(14);
    /* Edition 0 has no century octet. */
    info->date.year = ed1_year(pds(13), edition == 1 ? pds(25) : 0);
    info->date.month = month > 12 ? 1 : month;
    info->date.day = pds(15);
    info->date.hour = pds(16);
    info->date.min = 0;
  } else if (edition == 2) {
    const unsigned char* s1 = buf.data();
    info->date.year = static_cast<int>(be_uint(s1 + 12, 2));
    info->date.month = s1[14];
    info->date.day = s1[15];
    info->date.hour = s1[16];
    info->date.min = s1[17];
  }
  char label[DATE_LABEL_LEN] = {};
  DATE_make_label(&info->date, label);
  copy_text(info->datim, sizeof info->datim, label);
  return 0;
}

int GRIB_get_raw(int grd_fd, char** data, int* size) {
  FILE* f = stream_of(grd_fd);
  if (!f || !data || !size) return -1;
  long capacity = *data ? *size : 0;
  state.cur_pos = GRD_get_pos(grd_fd);
  if (fseek(f, state.cur_pos, SEEK_SET) != 0) return -1;
  if (GRIB_header(grd_fd) < 0 || cut_message("GRIB_get_raw")) return -1;
  state.new_pos = GRIB_next(grd_fd, 1);
  fseek(f, state.cur_pos, SEEK_SET);
  if (state.new_pos < 0) return -1;
  long n = state.new_pos - state.cur_pos;
  if (n < 1 || n > GRIB_MAX_PRODUCT) return -1;
  *size = static_cast<int>(n);
  char* buf = *data;
  if (!buf) {
    buf = static_cast<char*>(std::malloc(static_cast<size_t>(n)));
    if (!buf) {
      MESS_print(M_error, "GRIB_get_raw: Unable to allocate %ld octets\n", n);
      return -1;
    }
    *data = buf;
  } else if (n > capacity) {
    MESS_print(M_warn, "GRIB_get_raw: Record of %ld octets does not fit %ld\n", n, capacity);
    return -1;
  }
  size_t got = fread(buf, 1, static_cast<size_t>(n), f);
  return got == 0 ? -1 : static_cast<int>(got);
}

int GRIB_get_WMO_header(int grd_fd, char* header) {
  (void)grd_fd;
  if (header) std::memcpy(header, state.wmo_header, GRIB_WMO_LEN);
  return 0;
}

char GRIB_get_type(int grd_fd) {
  (void)grd_fd;
  return static_cast<char>(state.ind[3]);
}

int GRIB_get_version() { return state.version; }

int GRIB_set_max_bad(int val) {
  state.bad_max = val;
  return 0;
}

/* --- units and remapping ------------------------------------------------- */

namespace {

void set_units(GRD_report* grd, const char* units) { copy_text(grd->units, sizeof grd->units, units); }

} // namespace

namespace {

/* The number of a parameter the suite cannot name: centre, table and
 * parameter in their own digits above every number the suite gives, so
 * that it is never read as another quantity. */
constexpr long long LOCAL_PARAM_BASE = 1000000000LL;
constexpr long long LOCAL_PARAM_END = LOCAL_PARAM_BASE + 256LL * 1000000LL;

bool is_local_param(int var) { return var >= LOCAL_PARAM_BASE && var < LOCAL_PARAM_END; }

void name_unknown(GRD_report* grd, int table) {
  MESS_print(M_warn, "Invalid GRIB variable: %d\n", grd->var);
  if (grd->source < 0 || grd->source > 255 || table < 0 || table > 255 || grd->var < 0 || grd->var > 999) {
    grd->var = KEZ_MISS;
    return;
  }
  grd->var = static_cast<int>(LOCAL_PARAM_BASE + grd->source * 1000000LL + table * 1000LL + grd->var);
}

/* Centres that number their own parameters as NCEP's table 2 does: NCEP,
 * the National Weather Service, the US Air Force and Navy, NOAA's
 * laboratories and NCAR. */
bool ncep_numbered(int centre) { return centre == 7 || centre == 8 || centre == 9 || (centre >= 57 && centre <= 60); }

bool ecmwf_remap(GRD_report* grd) {
  for (const EcmwfRow& row : ecmwf_table) {
    if (row.param != grd->var) continue;
    grd->var = row.var;
    set_units(grd, row.units);
    state.var_scale = row.scale;
    if (row.ltype != GRIB_KEEP) grd->ltype = row.ltype;
    if (row.level != GRIB_KEEP) grd->level = row.level;
    return true;
  }
  return false;
}

} // namespace

/* GRIB_units for a parameter of the given table version (0 unknown).
 * Versions from 128 on are a centre's own tables, whose numbers need not
 * mean what the WMO's do (ECMWF's 31 is sea ice, not wind direction): only
 * the parameters known there are named. */
int grib_impl::units_of(GRD_report* grd, int table) {
  grd->units[0] = '\0';
  if (is_local_param(grd->var)) return 0;
  if (table >= 128) {
    if (grd->source == 98 && table == 128 && ecmwf_remap(grd)) return 0;
    if (grd->source == 98 && table == 140 && grd->var == 229) {
      grd->var = 100; /* the height of waves and swell */
    } else if (grd->source == 7 && table == 129 && grd->var == 212) {
      grd->var = 491;
    } else {
      name_unknown(grd, table);
      return 0;
    }
  } else if (grd->source == 98 && grd->var > 128) {
    if (!ecmwf_remap(grd)) name_unknown(grd, table);
    return 0;
  } else if (grd->version == 1 && grd->var >= 128 && grd->var <= 254 && !ncep_numbered(grd->source)) {
    /* Numbers from 128 on are each centre's own in any table; the suite
     * names them as NCEP's, whose table the US centres share. */
    name_unknown(grd, table);
    return 0;
  } else if (grd->version == 0 && grd->source != 98) {
    for (const Ed0Row& row : ed0_table) {
      if (row.param != grd->var) continue;
      grd->var = row.var;
      set_units(grd, row.units);
      return 0;
    }
    name_unknown(grd, table);
    return 0;
  }
  if (grd->version == 1) {
    const int param = grd->var % 1000;
    for (const UnitRow& row : ed1_units)
      for (short p : row.params)
        if (p != 0 && p == param) {
          set_units(grd, row.units);
          return 0;
        }
    set_units(grd, "-");
  }
  return 0;
}

/* A flux accumulated over a period is energy or momentum per area, not a
 * rate: its values are J/m^2 (N-s/m^2), whatever its parameter's rate. */
void grib_impl::accumulated_units(GRD_report* grd) {
  if (grd->time == KEZ_MISS || grd->time / 1000000 != 4) return;
  if (std::strcmp(grd->units, "W/m^2") == 0) set_units(grd, "J/m^2");
  if (std::strcmp(grd->units, "N/m^2") == 0) set_units(grd, "N-s/m^2");
}

int GRIB_units(GRD_report* grd) { return grd ? units_of(grd, 0) : 0; }

const char* GRIB_cdf_units(int var_id) {
  for (const CdfRow& row : cdf_units)
    if (row.var == var_id) return row.name;
  return nullptr;
}
