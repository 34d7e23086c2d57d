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
 * below; the file is reached through its handle on every call, so the file
 * position is the only link between calls.
 *
 * The module holds, in this order: the framing search and next-record
 * offsets; the unit and remapping tables; edition 1 product definition,
 * grid description, bit map and unpacking (a data section is read into
 * memory and unpacked in one pass); edition 2 section headers,
 * identification, grid definition and product definition with its
 * parameter table "grib2_var.lup". One file, because every part reads and
 * writes the same decoder state.
 *
 * Every file is taken as hostile: lengths are checked against the indicator,
 * the end marker and the offsets the grid store can keep, and a search never
 * revisits an offset it has passed, so a damaged file ends a walk instead of
 * looping. A field that cannot be unpacked leaves its record without values
 * (grid NULL, the array released with free), never with another field's.
 */
#include "jpc.h"
#include "kezgrd.h"
#include "unpack.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int SOH = 0x01;
constexpr int ETX = 0x03;
constexpr int IND_ED1 = 8;           /* indicator octets of editions 0 and 1 */
constexpr int IND_ED2 = 16;          /* indicator octets of edition 2 */
constexpr int END_MARK = 4;          /* "7777" */
constexpr int INFO_OCTETS = 40;      /* octets the file-header read takes */
constexpr long MAX_OFFSET = INT_MAX; /* the grid store keeps offsets as int */

struct GribState {
  GRD_file* gfile = nullptr;                  /* record of the file being read */
  std::array<unsigned char, IND_ED2> ind{};   /* indicator of the current message */
  char wmo_header[GRIB_HEADING_LEN + 1] = {}; /* heading of the current message */
  int version = -1;                           /* edition of the current message; 0 after a length-less product */
  int discipline = -1;                        /* edition 2 discipline (indicator octet 7) */
  long new_pos = -1;                          /* GRIB_get_raw: where the next record begins */
  long cur_pos = 0;                           /* GRIB_get_raw: where the current record begins */
  long grid_size = 0;                         /* old KEZ framing: end of the product */
  int prev = 0;                               /* a file's own framing kind, kept aside for one search */
  long msg_start = -1;                        /* offset of the current message's magic */
  long msg_len = 0;                           /* its declared length; 0 when it has none */
  bool end_ok = true;                         /* "7777" stands at its declared end */
  long warned_start = -1;                     /* the message cut short that was reported last, */
  const GRD_file* warned_file = nullptr;      /* while the walk stays on it */
  int bad_max = -1;                           /* bad-value filter: jumps allowed; 0 or less: off */

  /* The edition 1 message being decoded (product definition to data). */
  std::vector<unsigned char> pds;      /* pds[k] is octet k of the product definition */
  int grid_id = 0;                     /* grid number */
  float lat = 0;                       /* latitude of the next row, stepped while unpacking */
  int ydir = 0;                        /* 1 rows run south to north, -1 north to south */
  int xalt = 0;                        /* alternating row direction (edition 2) */
  bool xrev = false;                   /* points of a row run east to west */
  int pole = 0;                        /* single-value pole rows */
  int thin = 0;                        /* rows of different lengths */
  std::vector<int> thin_rows;          /* their lengths, in the order of the message */
  float ref = 0, sfac = 0, dscale = 0; /* reference, 2^E, 10^-D */
  float var_scale = 1.0f;              /* a remapped parameter's values to its units */

  /* Bit map in force. */
  std::vector<unsigned char> bmb;
  bool bmb_on = false;     /* a bit map applies to the field */
  bool bmb_failed = false; /* the announced bit map could not be had */
  long bmoff = 0;          /* next bit */

  /* Stream bit reader (edition 2) and the bad-value filter. */
  int bpval = 0, data_bits = 0;
  long data_bytes = 0;
  unsigned long long bit_mask = 0, temp_data = 0;
  int bad = -9, bad_limit = 0, bad_test = 0;
  std::array<int, 20> valid_data{};
  long prev_val = -1;

  /* Edition 2: the section read last and what carries over to later
   * fields of a message (identification, grid). */
  int sect = 0, slen = 0;
  int source = -1;
  Date date{};
  Domain dv{};
  int gds_templ = -1;             /* grid definition template of dv */
  std::vector<unsigned char> sec; /* sec[k] is octet k of the current section */

  /* Ensemble and probability details of the current product; every
   * product definition sets them afresh, so that no field is named after
   * the one read before it. */
  int ens = 0, ens_type = 0, ens_id = 0, ens_prod = 0, ens_smooth = 0;
  int ens_prob_var = 0, ens_prob_type = 0;
  float ens_prob_low = 0, ens_prob_up = 0;
  int ens_derived = -1; /* edition 2 derived forecast the suite has no product number for */
  int chem = -1;        /* constituent type of a chemical constituent's field */
  int chem_param = 0;   /* its parameter number in the category of constituents */

  /* Edition 2 packing (section 5) and bit map (section 6), in force until
   * the next section of the kind. */
  bool drs_ok = false; /* the last section 5 was read whole */
  long data_pnts = 0;
  int drs_temp = -1;
  int num_bits = 0, data_type = 0, split_method = 0, miss_type = 0;
  float miss1 = 0, miss2 = 0;
  long num_group = 0;
  int num_bits_gref = 0, ref_gwidth = 0, num_bits_gwidth = 0;
  long ref_glen = 0, last_glen = 0;
  int inc_glen = 0, num_bits_glen = 0;
  int order = -1, spat_bytes = -1;
  int max_val = 0, num_map = 0;
  std::vector<float> map; /* level values of run-length data, level 1 first */
  bool bms_bad = false;   /* the field's bit map cannot be had */

  /* Buffers kept from field to field, so that decoding a file does not
   * allocate (and the system zero) fresh memory for every field. */
  std::vector<unsigned char> packed; /* the data section read, padded */
  std::vector<float> row_in;         /* values of the present points of a row */
  std::vector<float> row_vals;       /* every point of a row, before it is laid out */
  JpcImage image;                    /* a JPEG 2000 code stream decoded */

  /* Positions of the points of edition 1 thinned rows by row length, for
   * rows stretched to steps_nx points; the fields of a file share them. */
  int steps_nx = 0;
  long steps_points = 0;
  std::map<int, grib_unpack::Steps> steps;
};

GribState state;

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
  std::array<short, 21> params; /* 0 ends a short row */
};
constexpr UnitRow ed1_units[] = {
    {"Pa", {1, 2, 26, 55, 56, 128, 129, 130}},
    {"Pa/s", {3, 39}},
    {"m^2/s^2", {6, 37, 190}},
    {"m", {7, 8, 9, 20, 66, 83, 100, 221}},
    {"Dobson", {10}},
    {"K", {11, 12, 13, 14, 15, 16, 17, 80, 85, 133}},
    {"dK", {18, 24, 25, 131, 132}},
    {"K/m", {19}},
    {"Dbz", {21}},
    {"", {22, 23, 28, 29, 30, 81, 91, 134, 140, 141, 142, 143, 144, 191, 192, 209}},
    {"gpm", {27, 222, 230}},
    {"deg", {31, 47, 107, 571}},
    {"m/s", {32, 33, 34, 40, 48, 49, 196, 197}},
    {"m^2/s", {35, 36}},
    {"/s", {38, 41, 42, 43, 44, 45, 46, 136}},
    {"kg/kg", {50, 51, 53, 76, 153, 154}},
    {"%", {52, 60, 71, 84, 193, 194, 195, 201, 207, 213}},
    {"kg/m^2", {54, 57, 58, 61, 62, 63, 65, 86, 90, 223}},
    {"kg/m^2/s", {59, 214}},
    {"kg/m^3", {77}},
    {"s", {108}},
    {"W/m^2",
     {111, 112, 113, 114, 121, 122, 145, 155, 160, 161, 162, 163, 164, 165, 166, 167, 168, 204, 205, 211, 212}},
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

/* --- reading helpers ----------------------------------------------------- */

enum class Match { yes, no, end };

/* The stream of the handle, refreshing gfile; null when there is none. */
FILE* stream_of(int grd_fd) {
  state.gfile = GRD_get_gfile(grd_fd);
  return state.gfile ? state.gfile->file : nullptr;
}

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

/* A text cut to a record's fixed field, always terminated. */
void copy_text(char* dst, size_t room, const char* src) {
  size_t n = std::min(std::strlen(src), room - 1);
  std::memcpy(dst, src, n);
  dst[n] = '\0';
}

unsigned long be_uint(const unsigned char* p, int n) {
  unsigned long v = 0;
  for (int i = 0; i < n; ++i) v = (v << 8) | p[i];
  return v;
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
    int year = pds(13);
    if (year <= 49) year += 2000;
    if (year < 200) year += 1900;
    info->date.year = year;
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

/* Ensemble members: the short code holds the member in one of twenty
 * places per kind, and every kind below the edition 2 numbers; members
 * beyond it (and kinds beyond it) are numbered in a range of their own,
 * kind and member in their own digits. Edition 2 derived forecasts
 * without a product number and chemical constituents have ranges of their
 * own too. The parameter stays the last three digits of each. */
constexpr long long ENS_SHORT_BASE = 19280000LL;
constexpr long long ENS_SHORT_END = 20000000LL;
constexpr long long ENS_TYPE_STEP = 20000LL;
constexpr long long ENS_MEMBER_STEP = 1000LL;
constexpr int ENS_SHORT_MEMBERS = 20;
constexpr long long ENS_WIDE_BASE = 1300000000LL;
constexpr long long ENS_WIDE_TYPE_STEP = 256LL * ENS_MEMBER_STEP;
constexpr long long ENS_DERIVED_BASE = 1400000000LL;
constexpr long long CHEM_BASE = 1500000000LL;
constexpr unsigned CHEM_CATEGORY = 20; /* atmospheric chemical constituents */

bool is_local_param(int var) { return var >= LOCAL_PARAM_BASE && var < LOCAL_PARAM_END; }

void name_unknown(GRD_report* grd, int table) {
  MESS_print(M_warn, "Invalid GRIB variable: %d\n", grd->var);
  if (grd->source < 0 || grd->source > 255 || table < 0 || table > 255 || grd->var < 0 || grd->var > 999) {
    grd->var = KEZ_MISS;
    return;
  }
  grd->var = static_cast<int>(LOCAL_PARAM_BASE + grd->source * 1000000LL + table * 1000LL + grd->var);
}

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

/* GRIB_units for a parameter of the given table version (0 unknown).
 * Versions from 128 on are a centre's own tables, whose numbers need not
 * mean what the WMO's do (ECMWF's 31 is sea ice, not wind direction): only
 * the parameters known there are named. */
int units_of(GRD_report* grd, int table) {
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

} // namespace

int GRIB_units(GRD_report* grd) { return grd ? units_of(grd, 0) : 0; }

const char* GRIB_cdf_units(int var_id) {
  for (const CdfRow& row : cdf_units)
    if (row.var == var_id) return row.name;
  return nullptr;
}

/* --- edition 1: shared helpers ------------------------------------------- */

namespace {

constexpr float MISS = -9999.0f;
constexpr int JUMP_WINDOW = 20; /* values the bad-value filter looks back over */

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

/* A field that is not unpacked holds no values, never another field's. */
void drop_values(GRD_report* grd) {
  if (!grd) return;
  std::free(grd->grid);
  grd->grid = nullptr;
}

int signed3(const unsigned char* p) {
  int v = static_cast<int>(be_uint(p, 3) & 0x7FFFFF);
  return (p[0] & 0x80) ? -v : v;
}

/* Fits an int, else the missing value. */
int to_int(long long v) { return v >= INT_MIN && v <= INT_MAX ? static_cast<int>(v) : KEZ_MISS; }

/* Reads n octets into out; false when fewer arrive. */
bool read_octets(FILE* f, unsigned char* out, size_t n) { return fread(out, 1, n, f) == n; }

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

/* Points of thinned-row positions kept at most (8 octets each). */
constexpr long KEEP_STEPS = 4L << 20;

/* An edition 1 thinned row of n values stretched over the nx points of
 * row, with the positions of its length worked out once. */
void stretch_row(const float* vals, int n, float* row, int nx) {
  if (n < 2 || nx < 2) return grib_unpack::stretch_stepped(vals, n, row, nx, MISS);
  if (state.steps_nx != nx) {
    state.steps.clear();
    state.steps_points = 0;
    state.steps_nx = nx;
  }
  auto it = state.steps.find(n);
  if (it == state.steps.end()) {
    if (state.steps_points + nx > KEEP_STEPS) return grib_unpack::stretch_stepped(vals, n, row, nx, MISS);
    it = state.steps.try_emplace(n).first;
    grib_unpack::stepped_positions(n, nx, &it->second);
    state.steps_points += nx;
  }
  grib_unpack::stretch_by(vals, it->second, row, nx, MISS);
}

/* The bad-value filter over packed values: a row start clears its window. */
void row_start() {
  state.bad_test = 0;
  state.valid_data.fill(0);
}

void run_filter(long x) {
  if (state.bad_max > 0) {
    int slot = state.bad_test % JUMP_WINDOW;
    state.valid_data[slot] = 0;
    if (state.bad_test > 0 && state.prev_val >= 0) {
      long long jump = static_cast<long long>(state.prev_val) - x;
      if (jump < 0) jump = -jump;
      if (jump > state.bad_limit) {
        state.valid_data[slot] = 1;
        int count = 0;
        for (int m : state.valid_data) count += m;
        if (count > state.bad_max) state.bad = 1;
        MESS_print(M_debug & 0x80000000u, "BAD: %6d %6ld %6ld %2d %2d\n", state.bad_limit, state.prev_val, x, count,
                   state.bad);
      }
    }
    ++state.bad_test;
  }
  state.prev_val = x;
}

/* Unpacks a field held in memory: packed values of bpval bits one after the
 * other, a bit map choosing which points have one. Reads never pass the end
 * of either; running out marks the field cut short. */
class Unpacker {
 public:
  /* octets of packed data, padded as read_padded pads them */
  Unpacker(const unsigned char* packed, long octets, int bpval)
      : packed_(packed), bpval_(bpval), avail_bits_(static_cast<unsigned long long>(octets) * 8) {}
  bool short_data() const { return short_; }
  /* Octets the values read so far began in. */
  long octets_used() const { return static_cast<long>((bitpos_ + 7) / 8); }

  /* The next packed value; 0 once the data has run out. */
  unsigned long long raw() {
    if (bitpos_ + static_cast<unsigned>(bpval_) > avail_bits_) {
      short_ = true;
      return 0;
    }
    if (bpval_ == 0) return 0;
    const unsigned char* p = packed_ + (bitpos_ >> 3);
    unsigned long long w = 0;
    for (int i = 0; i < 8; ++i) w = (w << 8) | p[i];
    unsigned long long x = (w << (bitpos_ & 7)) >> (64 - bpval_);
    bitpos_ += static_cast<unsigned>(bpval_);
    return x;
  }

  /* A field packed without bits is its reference value, unscaled: that is
   * how the common encoders write a constant (287.25 with D = 2 as
   * R = 287.25) and how they read it back. */
  float value(unsigned long long x) const {
    if (bpval_ == 0) return state.ref * state.var_scale;
    return state.dscale * (static_cast<float>(x) * state.sfac + state.ref);
  }

  /* The next point value: the bit map, the packed value and the filter. */
  float point() {
    if (state.bmb_on) {
      if (state.bmoff >= static_cast<long>(state.bmb.size()) * 8) {
        short_ = true;
        return MISS;
      }
      if (!GRIB_BMB_read()) return MISS;
    }
    unsigned long long x = raw();
    if (short_) return MISS;
    if (state.bad_max > 0) {
      run_filter(static_cast<long>(x));
      if (state.bad == 1) return MISS;
    } else {
      state.prev_val = static_cast<long>(x);
    }
    return value(x);
  }

  /* n point values into out, as n calls of point() would give them; the
   * common cases (no filter) in tight loops. */
  void points(float* out, int n) {
    if (state.bmb_on && state.bad_max <= 0 && bpval_ > 0 &&
        state.bmoff + n <= static_cast<long>(state.bmb.size()) * 8) {
      masked_points(out, n);
      return;
    }
    if (state.bmb_on || state.bad_max > 0 || bpval_ == 0 ||
        bitpos_ + static_cast<unsigned long long>(n) * bpval_ > avail_bits_) {
      for (int i = 0; i < n; ++i) out[i] = point();
      return;
    }
    const grib_unpack::Scale scale{state.dscale, state.sfac, state.ref};
    grib_unpack::to_values(packed_, bitpos_, bpval_, n, scale, out);
    if (n > 0) state.prev_val = -1;
    bitpos_ += static_cast<unsigned long long>(n) * bpval_;
  }

  /* The bit map's points without the filter: bits tested in place. */
  void masked_points(float* out, int n) {
    const unsigned char* bits = state.bmb.data();
    long off = state.bmoff;
    const unsigned char* base = packed_;
    unsigned long long pos = bitpos_;
    const int shift = 64 - bpval_;
    for (int i = 0; i < n; ++i, ++off) {
      if (!((bits[off >> 3] >> (7 - (off & 7))) & 1)) {
        out[i] = MISS;
        continue;
      }
      if (pos + static_cast<unsigned>(bpval_) > avail_bits_) {
        short_ = true;
        out[i] = MISS;
        continue;
      }
      unsigned long long w;
      std::memcpy(&w, base + (pos >> 3), 8);
      w = __builtin_bswap64(w);
      out[i] = value((w << (pos & 7)) >> shift);
      pos += static_cast<unsigned>(bpval_);
    }
    state.bmoff = off;
    bitpos_ = pos;
  }

 private:
  const unsigned char* packed_;
  int bpval_;
  unsigned long long bitpos_ = 0;
  unsigned long long avail_bits_ = 0;
  bool short_ = false;
};

/* Predefined NMC grids. */
struct PredefinedGrid {
  int number;
  int proj;
  int nx, ny;
  float dx, dy;
  float clat, clon;
};
constexpr PredefinedGrid predefined_grids[] = {
    {21, 2, 37, 37, 5, 2.5f, 45, 90},
    {22, 2, 37, 37, 5, 2.5f, 45, -90},
    {23, 2, 37, 37, 5, 2.5f, -45, 90},
    {24, 2, 37, 37, 5, 2.5f, -45, -90},
    {25, 2, 73, 19, 5, 5, 45, 180},
    {26, 2, 73, 19, 5, 5, -45, 180},
    {37, 2, 73, 73, 1.5f, 1.5f, 45, 15},
    {38, 2, 73, 73, 1.5f, 1.5f, 45, 105},
    {39, 2, 73, 73, 1.5f, 1.5f, 45, -165},
    {40, 2, 73, 73, 1.5f, 1.5f, 45, -75},
    {41, 2, 73, 73, 1.5f, 1.5f, -45, 15},
    {42, 2, 73, 73, 1.5f, 1.5f, -45, 105},
    {43, 2, 73, 73, 1.5f, 1.5f, -45, -165},
    {44, 2, 73, 73, 1.5f, 1.5f, -45, -75},
    {50, 2, 36, 33, 2.5f, 1.25f, 40, -96.25f},
    {61, 2, 91, 46, 2, 2, 45, 90},
    {62, 2, 91, 46, 2, 2, 45, -90},
    {63, 2, 91, 46, 2, 2, -45, 90},
    {64, 2, 91, 46, 2, 2, -45, -90},
    {211, 4, 93, 65, 0.8127f, 0.8127f, 40.607f, -100.553f},
    {212, 4, 185, 129, 0.4063f, 0.4063f, 40.606f, -100.554f},
    {215, 4, 369, 257, 0.2032f, 0.2032f, 40.607f, -100.553f},
};

/* Grids whose pole rows hold one value, and the latitude of their first row
 * (-9999: left as the grid description sets it). */
struct PoleGrid {
  int number;
  float first_lat;
};
constexpr PoleGrid pole_grids[] = {{21, 0},   {22, 0}, {23, -90}, {24, -90}, {25, 0},
                                   {26, -90}, {61, 0}, {62, 0},   {63, -90}, {64, -90}};

/* Hours of a forecast time in its unit; -9999 for units the time code
 * cannot hold (minutes that are not whole hours, seconds, unknown units). */
int hours_of(long long n, unsigned unit, bool* days_months) {
  *days_months = false;
  switch (unit) {
    case 0: return n % 60 == 0 ? to_int(n / 60) : KEZ_MISS;
    case 1: return to_int(n);
    case 2: *days_months = true; return to_int(800 + n);
    case 3: *days_months = true; return to_int(900 + n);
    case 10: return to_int(3 * n);
    case 11: return to_int(6 * n);
    case 12: return to_int(12 * n);
    default: return KEZ_MISS;
  }
}

/* Time code of the period octets, in hours whatever unit they count in
 * (days and months as 800 and 900 plus the count), the same for both
 * editions. */
int time_code(int u, int p1, int p2, int r, int n) {
  bool dm = false;
  const int q1 = hours_of(p1, static_cast<unsigned>(u), &dm);
  const int q2 = hours_of(p2, static_cast<unsigned>(u), &dm);
  const int s = hours_of(static_cast<long long>(n) * p2, static_cast<unsigned>(u), &dm);
  /* Start and end share a code of three digits each. */
  auto fits = [](int h) { return h != KEZ_MISS && h >= 0 && h <= 999; };
  switch (r) {
    case 0:
    case 1: return q1; /* an initialised analysis valid at P1 */
    case 2:
    case 3:
    case 4:
    case 5: return fits(q1) && fits(q2) ? r * 1000000 + 1000 * q1 + q2 : KEZ_MISS;
    case 10: return hours_of(256L * p1 + p2, static_cast<unsigned>(u), &dm);
    case 113: return fits(q1) && fits(s) ? 13000000 + 1000 * q1 + s : KEZ_MISS;
    case 118: return fits(q1) && fits(s) ? 18000000 + 1000 * q1 + s : KEZ_MISS;
    case 123: return fits(s) ? 23000000 + s : KEZ_MISS;
    default: return KEZ_MISS; /* never another field's time */
  }
}

/* Level code of the level octets a and b. */
int level_code(int ltype, int a, int b) {
  switch (ltype) {
    case 1:
    case 4:
    case 6:
    case 7:
    case 102:
    case 200: return 0;
    case 5:
    case 100:
    case 103:
    case 105:
    case 107:
    case 111:
    case 113:
    case 117:
    case 119: return 256 * a + b;
    case 101:
    case 104:
    case 106:
    case 108:
    case 109:
    case 112:
    case 114:
    case 116:
    case 120: return 1000 * a + b;
    default: return KEZ_MISS; /* never another field's level */
  }
}

int threshold_code(float x) {
  int c = float2int(x);
  return c < 0 ? 5000 - c : c;
}

} // namespace

/* --- edition 1: conversions ---------------------------------------------- */

float GRIB_flt_conv(const unsigned char* pc) {
  if (pc[0] == 0) return 0.0f;
  float frac = pc[1] / 256.0f + pc[2] / 65536.0f + pc[3] / 16777216.0f;
  float v = static_cast<float>(frac * std::pow(16.0, (pc[0] & 0x7F) - 64));
  return (pc[0] & 0x80) ? -v : v;
}

float GRIB_scl_conv(const unsigned char* pc) {
  if (pc[0] == 0 && pc[1] == 0) return 1.0f;
  int e = (pc[0] & 0x7F) * 256 + pc[1];
  if (pc[0] & 0x80) e = -e;
  return static_cast<float>(std::pow(2.0, e));
}

/* --- edition 1: product definition --------------------------------------- */

int GRIB_PDB(int grd_fd, GRD_report* grd, int rep_type) {
  (void)rep_type;
  FILE* f = stream_of(grd_fd);
  if (!f || !grd) return -1;
  if (cut_message("GRIB_PDB")) {
    drop_values(grd);
    return 0;
  }
  const int edition = state.ind[7];
  /* Octets 1-4 of an edition 0 section stand in the indicator. */
  const int have = edition == 0 ? 4 : 0;
  std::vector<unsigned char>& pds = state.pds;
  pds.assign(1 + have + 20, 0);
  if (edition == 0) std::memcpy(&pds[1], &state.ind[4], 4);
  if (!read_octets(f, &pds[1 + have], 20)) {
    MESS_print(M_warn, "GRIB_PDB: Product definition cut short\n");
    drop_values(grd);
    return -1;
  }
  grd->version = edition;
  long len = static_cast<long>(be_uint(&pds[1], 3));
  const long least = edition == 0 ? 24 : 28;
  if (len < least) {
    MESS_print(M_warn, "GRIB_PDB: Invalid product definition length %ld\n", len);
    drop_values(grd);
    return -1;
  }
  long got = have + 20;
  /* The whole section, however long, so the next reader starts at the next
   * section; room up to octet 55 for the ensemble octets read as zeros. */
  pds.resize(static_cast<size_t>(std::max(len, 55L) + 1), 0);
  if (len > got && !read_octets(f, &pds[1 + got], static_cast<size_t>(len - got))) {
    MESS_print(M_warn, "GRIB_PDB: Product definition cut short\n");
    drop_values(grd);
    return -1;
  }
  GRIB_decode_PDB(pds.data(), grd);
  GRIB_set_var(grd);
  char label[DATE_LABEL_LEN] = {};
  DATE_make_label_for_time(grd->time, grd->source * 1000 + grd->model, &grd->date, label);
  copy_text(grd->datim, sizeof grd->datim, label);
  return 1;
}

int GRIB_decode_PDB(const unsigned char* data, GRD_report* grd) {
  const unsigned char* o = data; /* o[k] is octet k */
  grd->source = o[5];
  grd->model = o[6];
  grd->type = state.grid_id = o[7];
  grd->time = time_code(o[18], o[19], o[20], o[21], static_cast<int>(be_uint(o + 22, 2)));
  int year = o[13];
  if (year <= 49) year += 2000;
  if (year < 200) year += 1900;
  grd->date.year = year;
  grd->date.month = o[14];
  grd->date.day = o[15];
  grd->date.hour = o[16];
  grd->date.min = o[17];
  grd->ltype = o[10];
  grd->level = level_code(o[10], o[11], o[12]);
  /* Octet 4 of edition 0 holds the edition, 0: not a local table. */
  const int table = o[4];
  grd->var = table < 128 && o[9] == 177 ? 571 : o[9];
  state.var_scale = 1.0f;
  units_of(grd, table);
  state.dscale = 1.0f;
  clear_product();
  if (grd->source == 7 && o[26] == 2) {
    state.ens = 1;
    state.ens_type = o[42];
    state.ens_id = o[43];
    state.ens_prod = o[44];
    state.ens_smooth = o[45];
    if (grd->var == 191 || grd->var == 192) {
      state.ens_prob_var = o[46];
      int var = grd->var;
      grd->var = state.ens_prob_var;
      units_of(grd, table);
      grd->var = var;
      state.ens_prob_type = o[47];
      state.ens_prob_low = GRIB_flt_conv(o + 48);
      state.ens_prob_up = GRIB_flt_conv(o + 52);
    }
  }
  if (grd->version == 1) {
    if (grd->ltype == 1 && grd->model == 44 && grd->var == 7) grd->var = 161;
    int d = ((o[27] & 0x7F) << 8) | o[28];
    if (o[27] & 0x80) d = -d;
    state.dscale = static_cast<float>(std::pow(10.0, -d));
  }
  state.dscale *= state.var_scale;
  DOM_init(&grd->domain);
  state.ydir = 1;
  state.xalt = 0;
  state.pole = 0;
  GRIB_set_domain(state.grid_id, &grd->domain);
  for (const PoleGrid& g : pole_grids)
    if (g.number == state.grid_id) {
      state.pole = 1;
      state.lat = g.first_lat;
    }
  return 1;
}

/* Room of the labels that name a decoded field. */
constexpr int grib_label_len = 256;

int GRIB_set_var(GRD_report* grd) {
  char buf[grib_label_len];
  std::string t;
  VAR_make_datalevel(grd->time, grd->ltype, grd->level, buf, sizeof buf);
  t = buf;
  if (!t.empty()) t += ' ';
  auto label = [&](int v, const char* units) { return std::string(VAR_str(buf, v, units, sizeof buf)); };
  std::string info;
  long long var = grd->var;
  /* A product's number holds its parameter in three digits; a parameter
   * beyond them would read as another parameter of another product. */
  auto three_digits = [](long long v) { return v >= 0 && v <= 999; };
  bool fits = three_digits(grd->var);
  if (state.chem >= 0) {
    char tag[32];
    std::snprintf(tag, sizeof tag, "Chem[%d] ", state.chem);
    info = t + tag + label(grd->var, grd->units);
    var = CHEM_BASE + state.chem * ENS_MEMBER_STEP + state.chem_param;
    fits = true;
  } else if (state.ens == 1 && state.ens_prod == 1) {
    static constexpr const char* tags[] = {"Ens[%d] ", "Ens[-%d] ", "Ens[+%d] ", "Ens[c%d] ", "Ens[w%d] "};
    char tag[32];
    if (state.ens_type >= 1 && state.ens_type <= 5)
      std::snprintf(tag, sizeof tag, tags[state.ens_type - 1], state.ens_id);
    else
      std::snprintf(tag, sizeof tag, "Ens[?%d] ", state.ens_id);
    info = t + tag + label(grd->var, grd->units);
    const long long type = state.ens_type, id = state.ens_id;
    const long long short_code = ENS_SHORT_BASE + ENS_TYPE_STEP * type + ENS_MEMBER_STEP * id;
    if (id >= 0 && id < ENS_SHORT_MEMBERS && type >= 0 && short_code + 999 < ENS_SHORT_END)
      var += short_code;
    else
      var += ENS_WIDE_BASE + ENS_WIDE_TYPE_STEP * type + ENS_MEMBER_STEP * id;
  } else if (state.ens == 1 && state.ens_derived >= 0) {
    char tag[32];
    std::snprintf(tag, sizeof tag, "Ens derived[%d] ", state.ens_derived);
    info = t + tag + label(grd->var, grd->units);
    var += ENS_DERIVED_BASE + ENS_MEMBER_STEP * state.ens_derived;
  } else if (state.ens == 1 && state.ens_prod == 2) {
    info = t + "Ens mean " + label(grd->var, grd->units);
    var += 19000000LL;
  } else if (state.ens == 1 && (state.ens_prod == 11 || state.ens_prod == 12)) {
    info = t + "Ens std dev " + label(grd->var, grd->units);
    var += 19001000LL;
  } else if (grd->var == 191 || grd->var == 192) {
    info = t;
    if (state.ens_prob_type < 4)
      info += grd->var == 191 ? "Ens prob (%) " : "Ens norm prob (%) ";
    else
      info += "Prob (%) ";
    long long c = grd->var * 10000000LL + state.ens_prob_var * 10000LL + state.ens_prob_type * 1000LL;
    fits = three_digits(state.ens_prob_var);
    info += label(state.ens_prob_var, nullptr);
    char part[96] = {};
    switch (state.ens_prob_type) {
      case 1:
      case 4:
        std::snprintf(part, sizeof part, " below %.2f", state.ens_prob_low);
        c += threshold_code(state.ens_prob_low);
        break;
      case 2:
      case 5:
        std::snprintf(part, sizeof part, " above %.2f", state.ens_prob_up);
        c += threshold_code(state.ens_prob_up);
        break;
      case 3:
      case 6:
        std::snprintf(part, sizeof part, " in %.2f-%.2f", state.ens_prob_low, state.ens_prob_up);
        c += threshold_code(state.ens_prob_low);
        break;
      case 7:
        std::snprintf(part, sizeof part, " above %.2f", state.ens_prob_low);
        c += threshold_code(state.ens_prob_low);
        break;
      case 8:
        std::snprintf(part, sizeof part, " below %.2f", state.ens_prob_up);
        c += threshold_code(state.ens_prob_up);
        break;
      default: break;
    }
    info += part;
    if (grd->units[0]) info += std::string(" ") + grd->units;
    std::snprintf(grd->units, sizeof grd->units, "%%");
    var = c;
  } else {
    VAR_make_datatype(grd->time, grd->ltype, grd->level, grd->var, grd->units, buf, sizeof buf);
    info = buf;
    fits = true;
  }
  if (grd->var != KEZ_MISS) grd->var = fits ? to_int(var) : KEZ_MISS;
  copy_text(grd->info, sizeof grd->info, info.c_str());
  return 0;
}

/* --- edition 1: grid description ----------------------------------------- */

int GRIB_set_domain(int type, Domain* domain) {
  for (const PredefinedGrid& g : predefined_grids) {
    if (g.number != type) continue;
    domain->proj = g.proj;
    domain->nx = g.nx;
    domain->ny = g.ny;
    domain->dx = g.dx;
    domain->dy = g.dy;
    domain->clat = g.clat;
    domain->clon = g.clon;
    if (g.proj == 4) {
      domain->plon = -95;
      domain->param[0] = domain->param[1] = 25;
      domain->param[2] = 1;
    }
  }
  return 1;
}

namespace {

/* Borrows the current map domain while a projected grid is described. */
class BorrowedDomain {
 public:
  BorrowedDomain() { MAP_get_domain(&kept_); }
  ~BorrowedDomain() { MAP_domain(&kept_); }
  BorrowedDomain(const BorrowedDomain&) = delete;
  BorrowedDomain& operator=(const BorrowedDomain&) = delete;

 private:
  Domain kept_{};
};

float degrees(const unsigned char* p) { return signed3(p) / 1000.0f; }

int refuse_grid(GRD_report* grd, const char* why) {
  MESS_print(M_warn, "GRIB_GDB: %s\n", why);
  drop_values(grd);
  return 0;
}

/* Names of the grid types of edition 1 that the suite has no projection
 * for, so that a refusal says which grid it met. */
const char* ed1_grid_name(int type) {
  switch (type) {
    case 2: return "gnomonic";
    case 4: return "Gaussian latitude/longitude";
    case 6: return "UTM";
    case 8: return "Albers equal-area";
    case 10: return "rotated latitude/longitude";
    case 13: return "oblique Lambert conformal";
    case 14: return "rotated Gaussian latitude/longitude";
    case 20: return "stretched latitude/longitude";
    case 24: return "stretched Gaussian latitude/longitude";
    case 30: return "stretched and rotated latitude/longitude";
    case 34: return "stretched and rotated Gaussian latitude/longitude";
    case 50: return "spherical harmonic coefficients";
    case 60: return "rotated spherical harmonic coefficients";
    case 70: return "stretched spherical harmonic coefficients";
    case 80: return "stretched and rotated spherical harmonic coefficients";
    case 90: return "space view";
    default: return "unknown";
  }
}

} // namespace

int GRIB_GDB(int grd_fd, GRD_report* grd) {
  FILE* f = stream_of(grd_fd);
  state.thin = 0;
  state.thin_rows.clear();
  state.xrev = false;
  if (!f || !grd) return -1;
  if (state.pds.size() < 9 || !(state.pds[8] & 0x80)) {
    if (grd->domain.proj != KEZ_MISS) return 1;
    MESS_print(M_warn, "GRIB_GDB: Grid %d is not a predefined grid, and the message describes no grid\n",
               state.grid_id);
    drop_values(grd);
    return 0;
  }
  std::vector<unsigned char> g(1 + 32, 0); /* g[k] is octet k */
  if (!read_octets(f, &g[1], 32)) {
    MESS_print(M_warn, "GRIB_GDB: Grid description cut short\n");
    drop_values(grd);
    return -1;
  }
  long len = static_cast<long>(be_uint(&g[1], 3));
  const int rep = g[6];
  const long least = (rep == 1 || rep == 3) ? 42 : 32;
  if (len < least) {
    MESS_print(M_warn, "GRIB_GDB: Invalid grid description length %ld\n", len);
    drop_values(grd);
    return -1;
  }
  g.resize(static_cast<size_t>(len) + 1, 0);
  if (!read_octets(f, &g[33], static_cast<size_t>(len - 32))) {
    MESS_print(M_warn, "GRIB_GDB: Grid description cut short\n");
    drop_values(grd);
    return -1;
  }
  if (rep != 0 && rep != 1 && rep != 3 && rep != 5) {
    MESS_print(M_warn, "GRIB_GDB: Grid type %d (%s) is not supported\n", rep, ed1_grid_name(rep));
    drop_values(grd);
    return 0;
  }
  const int scan = g[28];
  state.ydir = (scan & 0x40) || (scan & 0x02) ? 1 : -1;
  if (scan & 0x20) return refuse_grid(grd, "Grids stored column by column are not supported");
  state.xrev = (scan & 0x80) != 0;
  Domain& d = grd->domain;
  const int ni = static_cast<int>(be_uint(&g[7], 2));
  const int nj = static_cast<int>(be_uint(&g[9], 2));
  d.nx = ni;
  d.ny = nj;
  if (nj > GRIB_MAX_SIDE) return refuse_grid(grd, "Too many rows");
  if (nj < 1) return refuse_grid(grd, "A grid without rows");
  /* A row-length list stands after the vertical coordinates that octet 4
   * counts, where octet 5 says; only a grid whose Ni is all ones has one. */
  const int pv = g[5];
  if (ni == 0xFFFF) {
    long pl = pv == 0 || pv == 255 ? 0 : pv + 4L * g[4];
    if (pl == 0 || pl + 2L * nj - 1 > len) return refuse_grid(grd, "Thinned grid without row lengths");
    state.thin = 1;
    state.thin_rows.resize(static_cast<size_t>(nj));
    int longest = 0;
    for (int j = 0; j < nj; ++j) {
      int n = static_cast<int>(be_uint(&g[static_cast<size_t>(pl + 2L * j)], 2));
      state.thin_rows[static_cast<size_t>(j)] = n;
      longest = std::max(longest, n);
    }
    d.nx = longest;
  }
  if (d.nx > GRIB_MAX_SIDE) return refuse_grid(grd, "Too many points in a row");
  if (d.nx < 1) return refuse_grid(grd, "A grid without points");
  const float la1 = degrees(&g[11]);
  const float lo1 = degrees(&g[14]);
  switch (rep) {
    case 0: { /* latitude/longitude */
      d.proj = 2;
      const float la2 = degrees(&g[18]);
      state.lat = la1;
      if (g[17] & 0x80) {
        d.dx = be_uint(&g[24], 2) / 1000.0f;
        d.dy = be_uint(&g[26], 2) / 1000.0f;
      } else if (d.ny > 1) {
        d.dx = d.dy = (la2 - la1) * state.ydir / (d.ny - 1);
      } else {
        d.dx = d.dy = MISS; /* one row and no increments: no spacing */
      }
      if (d.dx > 30 && state.grid_id >= 37 && state.grid_id <= 44) d.dx = 1.25f;
      /* Rows that run east to west start at their eastern end. */
      const float xdir = state.xrev ? -1.0f : 1.0f;
      d.clon = d.dx == MISS ? lo1 : lo1 + xdir * d.dx * (d.nx - 1) / 2;
      if (d.clon > 180) d.clon -= 360;
      if (d.clon < -180) d.clon += 360;
      d.clat = d.dy == MISS ? la1 : la1 + d.dy * (d.ny - 1) * state.ydir / 2;
      break;
    }
    case 1: { /* Mercator */
      BorrowedDomain borrow;
      d.proj = 3;
      const float la2 = degrees(&g[18]);
      const float lo2 = degrees(&g[21]);
      /* The western and eastern ends, whichever way the rows run. */
      const float lo_w = state.xrev ? lo2 : lo1;
      const float lo_e = state.xrev ? lo1 : lo2;
      d.plon = (lo_w + lo_e) / 2;
      if (lo_w > lo_e) {
        d.plon = (lo_w - 360 + lo_e) / 2;
        if (d.plon < -180) d.plon += 360;
      }
      d.plat = 0;
      MAP_domain(&d);
      float x1, y1, x2, y2;
      MAP_tran(la1, lo1, &x1, &y1);
      MAP_tran(la2, lo2, &x2, &y2);
      /* Spacings are positive whichever way the rows run. */
      d.dx = d.nx > 1 ? std::fabs(x2 - x1) / (d.nx - 1) : MISS;
      d.dy = d.ny > 1 ? std::fabs(y2 - y1) / (d.ny - 1) : MISS;
      MAP_untran((x1 + x2) / 2, (y1 + y2) / 2, &d.clat, &d.clon);
      break;
    }
    case 3: { /* Lambert conformal */
      BorrowedDomain borrow;
      d.proj = 4;
      float lov = degrees(&g[18]);
      if (lov > 180) lov -= 360;
      d.plon = lov;
      d.plat = (g[27] & 0x80) ? -90.0f : 90.0f;
      d.param[0] = degrees(&g[29]);
      d.param[1] = degrees(&g[32]);
      d.param[2] = 1;
      MAP_domain(&d);
      float x1, y1;
      MAP_tran(la1, lo1, &x1, &y1);
      d.dx = be_uint(&g[21], 3) / 100000.0f;
      d.dy = be_uint(&g[24], 3) / 100000.0f;
      /* The exact middle, where the grid store puts the domain's centre. */
      float cx = x1 + d.dx * (d.nx - 1) / 2.0f;
      float cy = y1 + d.dy * state.ydir * (d.ny - 1) / 2.0f;
      MAP_untran(cx, cy, &d.clat, &d.clon);
      break;
    }
    case 5: { /* polar stereographic */
      BorrowedDomain borrow;
      d.proj = 1;
      float lov = degrees(&g[18]);
      if (lov > 180) lov -= 360;
      if (grd->source == 98 && state.grid_id == 45) lov = 0;
      d.plon = lov;
      if (g[27] & 0x80) {
        d.plat = -90;
        d.param[0] = -60;
      } else {
        d.plat = 90;
        d.param[0] = 60;
      }
      MAP_domain(&d);
      float x1, y1;
      MAP_tran(la1, lo1, &x1, &y1);
      d.dx = be_uint(&g[21], 3) / 100000.0f;
      d.dy = be_uint(&g[24], 3) / 100000.0f;
      float cx = x1 + (d.nx - 1) * d.dx / 2;
      float cy = y1 + (d.ny - 1) * state.ydir * d.dy / 2;
      MAP_untran(cx, cy, &d.clat, &d.clon);
      break;
    }
    default: break;
  }
  return 1;
}

/* --- edition 1: bit map and data ----------------------------------------- */

int GRIB_BMB_read() {
  if (!state.bmb_on) return 1;
  if (state.bmoff < 0 || state.bmoff >= static_cast<long>(state.bmb.size()) * 8) return 0;
  int octet = state.bmb[static_cast<size_t>(state.bmoff / 8)];
  int bit = (octet >> (7 - state.bmoff % 8)) & 1;
  ++state.bmoff;
  return bit;
}

int GRIB_BMB(int grd_fd, GRD_report* grd) {
  (void)grd;
  FILE* f = stream_of(grd_fd);
  state.bmb.clear();
  state.bmb_on = false;
  state.bmb_failed = false;
  state.bmoff = 0;
  if (state.pds.size() < 9 || !(state.pds[8] & 0x40)) return 1;
  state.bmb_failed = true; /* until the whole bit map is in */
  unsigned char h[6];
  if (!f || !read_octets(f, h, 6)) {
    MESS_print(M_warn, "GRIB_BMB: Bit map cut short\n");
    return -1;
  }
  long len = static_cast<long>(be_uint(h, 3));
  if (len < 6) {
    MESS_print(M_warn, "GRIB_BMB: Invalid bit map length %ld\n", len);
    return -1;
  }
  if (be_uint(h + 4, 2) != 0) {
    MESS_print(M_warn, "GRIB_BMB: Predefined bit map %lu is not known\n", be_uint(h + 4, 2));
    return -1;
  }
  state.bmb.resize(static_cast<size_t>(len - 6));
  if (!read_octets(f, state.bmb.data(), state.bmb.size())) {
    MESS_print(M_warn, "GRIB_BMB: Bit map cut short\n");
    state.bmb.clear();
    return -1;
  }
  state.bmb_on = true;
  state.bmb_failed = false;
  return 1;
}

long GRIB_bit_read(int grd_fd) {
  FILE* f = stream_of(grd_fd);
  while (state.data_bits < state.bpval) {
    int c = f ? getc(f) : EOF;
    if (c == EOF) return -1;
    ++state.data_bytes;
    state.temp_data = (state.temp_data << 8) | static_cast<unsigned>(c);
    state.data_bits += 8;
  }
  int s = state.data_bits - state.bpval;
  long x = static_cast<long>((state.temp_data >> s) & state.bit_mask);
  state.data_bits = s;
  state.temp_data &= (1ull << s) - 1;
  run_filter(x);
  return x;
}

namespace {

int refuse_data(GRD_report* grd, const char* why) {
  MESS_print(M_warn, "GRIB_BDB: %s\n", why);
  drop_values(grd);
  state.bmb.clear();
  state.bmb_on = false;
  state.thin_rows.clear();
  return -1;
}

} // namespace

int GRIB_BDB(int grd_fd, GRD_report* grd) {
  FILE* f = stream_of(grd_fd);
  if (!f || !grd) return -1;
  state.bmoff = 0;
  if (state.bmb_failed) return refuse_data(grd, "The field's bit map could not be read");
  long start = ftell(f);
  unsigned char h[11];
  if (!read_octets(f, h, 11)) return refuse_data(grd, "Data section cut short");
  const int flags = h[3];
  if (flags & 0x80) return refuse_data(grd, "Spherical harmonic coefficients are not supported");
  if (flags & 0x40) return refuse_data(grd, "Complex or second-order packing is not supported");
  if ((flags & 0x30) == 0x30) return refuse_data(grd, "IEEE floating-point values are not supported");
  if (flags & 0x10) return refuse_data(grd, "Matrix values are not supported");
  state.sfac = GRIB_scl_conv(h + 4);
  state.ref = GRIB_flt_conv(h + 6);
  state.bpval = h[10];
  if (state.bpval > GRIB_MAX_BITS) return refuse_data(grd, "More than 32 bits per value");
  state.bit_mask = (1ull << state.bpval) - 1;
  /* One jump limit for every field, whichever came first. */
  state.bad_limit = state.bpval > 0 ? 1 << (state.bpval - 1) : 0;
  state.bad = 0;
  row_start();
  state.temp_data = 0;
  state.data_bits = 0;
  const Domain& d = grd->domain;
  const int nx = d.nx, ny = d.ny;
  if (nx < 1 || ny < 1 || nx > GRIB_MAX_SIDE || ny > GRIB_MAX_SIDE)
    return refuse_data(grd, "The grid has no usable size");
  const bool grid50 = state.grid_id == 50;
  if (grid50 && (nx != 36 || ny != 33)) return refuse_data(grd, "Grid 50 is not 36 by 33");
  if (state.thin && static_cast<int>(state.thin_rows.size()) != ny)
    return refuse_data(grd, "Row lengths do not match the rows");
  /* The most values the layout can read, and so the most octets. */
  long long values = static_cast<long long>(nx) * ny;
  if (state.thin) {
    values = 0;
    for (int n : state.thin_rows) values += n;
  }
  const long long want = (values * state.bpval + 7) / 8;
  const long got = read_padded(f, static_cast<long>(want), &state.packed);
  float* grid = static_cast<float*>(std::realloc(grd->grid, sizeof(float) * nx * ny));
  if (!grid) {
    MESS_print(M_error, "GRIB_BDB: Unable to allocate the grid\n");
    drop_values(grd);
    return 0;
  }
  grd->grid = grid;
  Unpacker up(state.packed.data(), got, state.bpval);
  auto target = [&](int k) { return state.ydir == 1 ? ny - 1 - k : k; };
  if (grid50) {
    for (int r = 32; r >= 0; --r) {
      row_start();
      int k = 0;
      while (4 * (k + 1) < r) ++k;
      float* row = grid + static_cast<size_t>(r) * nx;
      for (int i = 0; i < k; ++i) row[i] = MISS;
      for (int i = k; i < 36 - k; ++i) row[i] = up.point();
      for (int i = 36 - k; i < 36; ++i) row[i] = MISS;
    }
  } else if (state.thin) {
    std::vector<float>& vals = state.row_vals;
    for (int k = 0; k < ny; ++k) {
      const int n = std::max(state.thin_rows[static_cast<size_t>(k)], 0);
      float* row = grid + static_cast<size_t>(target(k)) * nx;
      if (vals.size() < static_cast<size_t>(n)) vals.resize(static_cast<size_t>(n));
      /* The filter starts again after the first two values of a row. */
      row_start();
      if (state.bad_max > 0) {
        for (int i = 0; i < n && i < 2; ++i) vals[static_cast<size_t>(i)] = up.point();
        row_start();
        for (int i = 2; i < n; ++i) vals[static_cast<size_t>(i)] = up.point();
      } else {
        up.points(vals.data(), n);
      }
      stretch_row(vals.data(), n, row, nx);
    }
  } else {
    const bool repeat_first = state.grid_id == 25 || state.grid_id == 26;
    auto at_pole = [&] { return state.pole && (state.lat == -90.0f || state.lat == 90.0f); };
    int k = 0;
    if (at_pole() && k < ny) {
      float v = up.point();
      float* row = grid + static_cast<size_t>(target(k)) * nx;
      for (int i = 0; i < nx; ++i) row[i] = v;
      state.lat += state.ydir * d.dy;
      ++k;
    }
    for (; k < ny && !at_pole(); ++k) {
      row_start();
      float* row = grid + static_cast<size_t>(target(k)) * nx;
      if (repeat_first && nx > 1) {
        up.points(row, nx - 1);
        row[nx - 1] = row[0];
      } else {
        up.points(row, nx);
      }
      state.lat += state.ydir * d.dy;
    }
    if (at_pole() && k < ny) {
      float v = up.point();
      float* row = grid + static_cast<size_t>(target(k)) * nx;
      for (int i = 0; i < nx; ++i) row[i] = v;
      ++k;
    }
    for (; k < ny; ++k) { /* rows the layout did not reach */
      float* row = grid + static_cast<size_t>(target(k)) * nx;
      for (int i = 0; i < nx; ++i) row[i] = MISS;
    }
  }
  if (up.short_data()) {
    bool no_bits = state.bmb_on && state.bmoff >= static_cast<long>(state.bmb.size()) * 8;
    return refuse_data(grd, no_bits ? "The bit map is shorter than the grid" : "Data section cut short");
  }
  if (state.xrev)
    for (int r = 0; r < ny; ++r)
      std::reverse(grid + static_cast<size_t>(r) * nx, grid + static_cast<size_t>(r + 1) * nx);
  state.data_bytes = up.octets_used();
  fseek(f, start + 11 + state.data_bytes, SEEK_SET);
  state.bmb.clear();
  state.bmb_on = false;
  state.thin_rows.clear();
  return 1;
}

/* --- edition 2: sections, identification, grid definition ---------------- */

namespace {

/* Reads octets 6 to the end of the current section into state.sec; false
 * (nothing kept) on a short read or an absurd length. */
bool read_section_body(FILE* f, const char* who) {
  long len = state.slen;
  if (len < 5 || len > GRIB2_MAX_SECTION) {
    MESS_print(M_warn, "%s: Invalid section length %ld\n", who, len);
    return false;
  }
  std::vector<unsigned char> body(static_cast<size_t>(len) + 1, 0);
  if (len > 5 && !read_octets(f, &body[6], static_cast<size_t>(len - 5))) {
    MESS_print(M_warn, "%s: Section %d cut short\n", who, state.sect);
    return false;
  }
  body[5] = static_cast<unsigned char>(state.sect);
  state.sec = std::move(body);
  return true;
}

/* Octet k of the current section (0 beyond its end). */
unsigned oct(long k) {
  return k >= 1 && k < static_cast<long>(state.sec.size()) ? state.sec[static_cast<size_t>(k)] : 0;
}

unsigned long be_sec(long k, int n) {
  unsigned long v = 0;
  for (int i = 0; i < n; ++i) v = (v << 8) | oct(k + i);
  return v;
}

/* A 4-octet sign-and-magnitude angle in millionths of a degree. */
long angle_raw(long k) {
  long v = static_cast<long>(be_sec(k, 4) & 0x7FFFFFFFul);
  return (oct(k) & 0x80) ? -v : v;
}

float angle_deg(long k) { return static_cast<float>(angle_raw(k) / 1e6); }

float norm_lon(float lon) { return lon > 180 ? lon - 360 : lon; }

/* The grid number composed from the grid definition, or -9999 when it does
 * not fit an int. */
int composed_grid_number(int templ) {
  const bool ll = templ == 0;
  long la1 = angle_raw(ll ? 47 : 39);
  long lo1 = angle_raw(ll ? 51 : 43);
  long long a = std::labs(la1) / 10000000;
  long long b = std::labs(lo1) / 10000000;
  if (lo1 < 0) b = 36 - b;
  if (la1 < 0) b += 36;
  long long n = static_cast<int32_t>(be_sec(31, 4));
  long long c = (n / 10) * 100;
  long long d;
  if (ll) {
    float l1 = norm_lon(angle_deg(51));
    float l2 = norm_lon(angle_deg(60));
    if (l2 <= l1) l2 += 360;
    d = n == 1 ? 0 : static_cast<long long>(((l2 - l1) / static_cast<float>(n - 1)) * 10.0f);
  } else {
    d = static_cast<int32_t>(be_sec(56, 4)) / 1000000;
  }
  long long t = templ * 10000000LL + a * 1000000LL + b * 10000LL + c + d;
  return to_int(t);
}

int refuse_gds(const char* why) {
  MESS_print(M_warn, "GRIB_GDS: %s\n", why);
  return 0;
}

} // namespace

int GRIB_read_section(int grd_fd) {
  FILE* f = stream_of(grd_fd);
  if (!f) return 0;
  if (cut_message("GRIB_read_section")) {
    state.sect = -1;
    return 0;
  }
  unsigned char h[5];
  if (fread(h, 1, 4, f) != 4) return 0;
  if (h[0] == '7' && h[1] == '7') {
    state.sect = -1;
    return 0;
  }
  int c = getc(f);
  if (c == EOF) return 0;
  h[4] = static_cast<unsigned char>(c);
  unsigned long len = be_uint(h, 4);
  state.sect = h[4];
  state.slen = len > static_cast<unsigned long>(INT_MAX) ? INT_MAX : static_cast<int>(len);
  if (len < 5) {
    /* A length that does not cover its own header would step backwards. */
    MESS_print(M_warn, "GRIB_read_section: Invalid length %lu of section %d\n", len, state.sect);
    return 0;
  }
  return state.sect <= 8 ? 1 : 0;
}

int GRIB_get_sect() { return state.sect; }

int GRIB_get_slen() { return state.slen; }

int GRIB_skip_section(int grd_fd) {
  FILE* f = stream_of(grd_fd);
  if (f && state.slen >= 5) fseek(f, state.slen - 5, SEEK_CUR);
  return 1;
}

int GRIB_IDS(int grd_fd, GRD_report* grd) {
  FILE* f = stream_of(grd_fd);
  if (!f || !grd || !read_section_body(f, "GRIB_IDS")) return 0;
  grd->version = state.version;
  state.source = static_cast<int>(be_sec(6, 2));
  grd->source = state.source;
  state.date = Date{};
  state.date.year = static_cast<int>(be_sec(13, 2));
  state.date.month = static_cast<int>(oct(15));
  state.date.day = static_cast<int>(oct(16));
  state.date.hour = static_cast<int>(oct(17));
  state.date.min = static_cast<int>(oct(18));
  grd->date = state.date;
  grd->type = 0;
  /* A bit map serves the fields of its own message only. */
  state.bmb.clear();
  state.bmb_on = false;
  state.bms_bad = false;
  return 1;
}

int GRIB_GDS(int grd_fd, GRD_report* grd) {
  FILE* f = stream_of(grd_fd);
  if (!f || !grd || !read_section_body(f, "GRIB_GDS")) return 0;
  const int templ = static_cast<int>(be_sec(13, 2));
  BorrowedDomain borrow;
  Domain dv;
  DOM_init(&dv);
  int ydir = 1, xalt = 0;
  bool xrev = false;
  std::vector<int> rows;
  const long ni_raw = static_cast<int32_t>(be_sec(31, 4));
  const long nj = static_cast<long>(be_sec(35, 4));
  auto scanning = [&](long k) -> bool {
    unsigned scan = oct(k);
    ydir = (scan & 0x40) || (scan & 0x02) ? 1 : -1;
    xalt = (scan & 0x10) ? 1 : 0;
    xrev = (scan & 0x80) != 0;
    return (scan & 0x20) == 0;
  };
  auto spacing = [](float span, long n) { return n > 1 ? std::fabs(span) / (n - 1) : MISS; };
  switch (templ) {
    case 0: { /* latitude/longitude */
      if (nj > 10000) return refuse_gds("Too many rows");
      if (!scanning(72)) return refuse_gds("Grids stored column by column are not supported");
      dv.proj = 2;
      float la1 = angle_deg(47), la2 = angle_deg(56);
      float lo1 = norm_lon(angle_deg(51)), lo2 = norm_lon(angle_deg(60));
      /* Rows that run east to west start at their eastern end. */
      if (xrev) std::swap(lo1, lo2);
      if (lo2 < lo1) lo2 += 360;
      long nx = ni_raw;
      if (ni_raw == -1) {
        /* Row lengths after the template, each as wide as octet 11 says. */
        const int width = static_cast<int>(oct(11));
        if (width < 1 || width > 4 || 73 + width * nj - 1 > state.slen)
          return refuse_gds("Thinned grid without row lengths");
        rows.resize(static_cast<size_t>(nj));
        nx = 0;
        for (long j = 0; j < nj; ++j) {
          rows[static_cast<size_t>(j)] = static_cast<int>(be_sec(73 + width * j, width));
          nx = std::max<long>(nx, rows[static_cast<size_t>(j)]);
        }
      }
      dv.nx = static_cast<int>(std::min<long>(nx, INT_MAX));
      dv.ny = static_cast<int>(nj);
      dv.plat = 0;
      dv.plon = dv.clon = (lo1 + lo2) / 2;
      dv.clat = (la1 + la2) / 2;
      dv.dx = spacing(lo2 - lo1, dv.nx);
      dv.dy = spacing(la2 - la1, dv.ny);
      break;
    }
    case 10: { /* Mercator */
      if (nj > GRIB_MAX_SIDE) return refuse_gds("Too many rows");
      if (!scanning(60)) return refuse_gds("Grids stored column by column are not supported");
      dv.proj = 3;
      dv.nx = static_cast<int>(std::min<long>(ni_raw, INT_MAX));
      dv.ny = static_cast<int>(nj);
      float la1 = angle_deg(39), la2 = angle_deg(52);
      float lo1 = norm_lon(angle_deg(43)), lo2 = norm_lon(angle_deg(56));
      if (xrev) std::swap(lo1, lo2);
      /* A grid across 180 degrees ends east of where it starts. */
      if (lo2 < lo1) lo2 += 360;
      dv.plat = 0;
      dv.plon = norm_lon((lo1 + lo2) / 2);
      MAP_domain(&dv);
      float x1, y1, x2, y2;
      MAP_tran(la1, lo1, &x1, &y1);
      MAP_tran(la2, lo2, &x2, &y2);
      MAP_untran((x1 + x2) / 2, (y1 + y2) / 2, &dv.clat, &dv.clon);
      dv.dx = spacing(x2 - x1, dv.nx);
      dv.dy = spacing(y2 - y1, dv.ny);
      break;
    }
    case 20:   /* polar stereographic */
    case 30: { /* Lambert conformal */
      if (nj > GRIB_MAX_SIDE) return refuse_gds("Too many rows");
      if (!scanning(65)) return refuse_gds("Grids stored column by column are not supported");
      dv.proj = templ == 20 ? 1 : 4;
      dv.nx = static_cast<int>(std::min<long>(ni_raw, INT_MAX));
      dv.ny = static_cast<int>(nj);
      float la1 = angle_deg(39), lo1 = norm_lon(angle_deg(43));
      float lov = norm_lon(angle_deg(52));
      dv.plon = lov;
      dv.plat = (oct(64) & 0x80) ? -90.0f : 90.0f;
      if (templ == 20) {
        dv.param[0] = angle_deg(48);
      } else {
        dv.clon = lov;
        dv.param[0] = angle_deg(66);
        dv.param[1] = angle_deg(70);
        dv.param[2] = 1;
      }
      MAP_domain(&dv);
      float x1, y1;
      MAP_tran(la1, lo1, &x1, &y1);
      dv.dx = static_cast<float>(be_sec(56, 4) * 1e-8);
      dv.dy = static_cast<float>(be_sec(60, 4) * 1e-8);
      /* The exact middle, where the grid store puts the domain's centre. */
      const float cx = x1 + (dv.nx - 1) * dv.dx / 2;
      const float cy = y1 + (dv.ny - 1) * ydir * dv.dy / 2;
      MAP_untran(cx, cy, &dv.clat, &dv.clon);
      break;
    }
    default: break; /* a template not described: no domain */
  }
  if (dv.proj != KEZ_MISS) {
    if (dv.nx < 1 || dv.ny < 1 || ni_raw > INT_MAX || static_cast<long long>(dv.nx) * dv.ny > GRIB2_MAX_POINTS)
      return refuse_gds("The grid has no usable size");
  }
  state.dv = dv;
  state.gds_templ = templ;
  state.ydir = ydir;
  state.xalt = xalt;
  state.xrev = xrev;
  state.thin = rows.empty() ? 0 : 1;
  state.thin_rows = std::move(rows);
  grd->domain = dv;
  grd->type = composed_grid_number(templ);
  return 1;
}

/* --- edition 2: product definition and the parameter table --------------- */

int GribParam_init(GribParam* param) {
  param->ind = param->src = param->disc = param->cat = param->param = KEZ_MISS;
  param->name[0] = param->units[0] = param->lname[0] = '\0';
  return 1;
}

GribParam GRIB_get_ver2_param(int src, int disc, int cat, int param) {
  GribParam p;
  p.ver = 0;
  GribParam_init(&p);
  const char* dir = RES_get("file_path");
  std::string path = FILE_add_path(dir ? dir : "", "grib2_var.lup");
  FILE* f = FILE_open(path.c_str(), "r");
  if (!f) return p;
  MESS_print(M_debug, "get_ver2_param %d %d %d %d\n", src, disc, cat, param);
  char line[201];
  bool named = false;
  while (fgetnline(f, line, sizeof line) > 0) {
    if (line[0] == '#') continue;
    int s, d, c, n;
    char name[20] = {}, units[30] = {}, lname[80] = {};
    if (std::sscanf(line, "%d %d %d %d %19s %29s %79[^\n]", &s, &d, &c, &n, name, units, lname) < 6) continue;
    if (d != disc || c != cat || n != param || (s != 0 && s != src)) continue;
    p.src = s;
    p.disc = d;
    p.cat = c;
    p.param = n;
    copy_text(p.name, sizeof p.name, name);
    copy_text(p.units, sizeof p.units, units);
    copy_text(p.lname, sizeof p.lname, lname);
    int num = VAR_search_var_num(name);
    named = num != 0;
    p.ind = named ? num : KEZ_MISS;
    break;
  }
  FILE_close(f);
  if (!named) {
    MESS_print(M_debug, "VER2: %d %d %d %d\n", src, disc, cat, param);
    p.ind = to_int(disc * 1000000LL + cat * 1000LL + param);
  }
  MESS_print(M_debug, "GPARAM: %s %s %d\n", p.name, p.units, p.ind);
  return p;
}

namespace {

/* A scale factor octet: above 128 stands for 128 minus it; 255 missing. */
int scale_factor(unsigned o) { return o > 128 ? 128 - static_cast<int>(o) : static_cast<int>(o); }

/* A scaled value at octet k with its scale factor at octet e. */
float scaled_value(long e, long k) {
  if (oct(k) == 255 && oct(k + 1) == 255) return MISS;
  int f = scale_factor(oct(e));
  if (f == -127) return MISS;
  double v = static_cast<double>(be_sec(k, 4) & 0x7FFFFFFFul);
  if (oct(k) & 0x80) v = -v;
  if (f != 0) v *= std::pow(10.0, -f);
  return static_cast<float>(v);
}

/* Truncation toward zero; -9999 for a value no int can hold. */
int trunc_i(double v) {
  if (!(v > INT_MIN - 1.0 && v < INT_MAX + 1.0)) return KEZ_MISS;
  return static_cast<int>(v);
}

/* Level type and code of the fixed surfaces, which stand sh octets
 * further on in templates with more octets before them. */
void set_surfaces(GRD_report* grd, long sh) {
  const int t1 = static_cast<int>(oct(23 + sh)), t2 = static_cast<int>(oct(29 + sh));
  /* Each value is scaled by its own factor. */
  const float v1 = scaled_value(24 + sh, 25 + sh);
  const float v2 = scaled_value(30 + sh, 31 + sh);
  const bool layer = t2 != 255;
  MESS_print(M_debug, "LEV %d %d %f %f\n", t1, t2, v1, v2);
  int ltype = t1, level = v1 == MISS ? KEZ_MISS : trunc_i(v1);
  /* A layer is coded top * 1000 + bottom; a part that is missing, negative
   * or (the bottom) of four digits would make another layer's code. */
  auto pair = [](int top, int bottom) {
    if (top == KEZ_MISS || bottom == KEZ_MISS || top < 0 || bottom < 0 || bottom > 999) return KEZ_MISS;
    const long long code = top * 1000LL + bottom;
    return code > INT_MAX ? KEZ_MISS : static_cast<int>(code);
  };
  auto hundreds = [&](float a, float b) { return pair(trunc_i(a / 100), trunc_i(b / 100)); };
  auto cm = [](float v) { return trunc_i(v * 100 + 0.01); };
  switch (t1) {
    case 100:
      ltype = layer ? 101 : 100;
      level = layer ? pair(trunc_i(v1 / 1000), trunc_i(v2 / 1000)) : trunc_i(v1 / 100);
      break;
    case 101:
      ltype = 102;
      level = 0;
      break;
    case 102:
      ltype = layer ? 104 : 103;
      level = layer ? hundreds(v1, v2) : trunc_i(v1);
      break;
    case 103:
      ltype = layer ? 106 : 105;
      level = layer ? hundreds(v1, v2) : trunc_i(v1 + 0.5);
      break;
    case 104:
      ltype = layer ? 108 : 107;
      level = layer ? pair(cm(v1), cm(v2)) : trunc_i(v1 * 10000 + 0.01);
      break;
    case 105:
      ltype = 109;
      level = trunc_i(v1);
      break;
    case 106:
      ltype = layer ? 112 : 111;
      level = layer ? pair(cm(v1), cm(v2)) : cm(v1);
      break;
    case 107:
      ltype = layer ? 114 : 113;
      level = trunc_i(v1);
      break;
    case 108:
      ltype = layer ? 116 : 115;
      level = layer ? pair(trunc_i(v1 / 100), trunc_i(v2 / 100)) : trunc_i(v1 / 100);
      break;
    case 109:
      ltype = 117;
      level = v1 > 0 ? trunc_i(v1 * 1000000.0 + 0.01) : trunc_i(v1 * 1000000.0 - 0.01);
      break;
    case 111:
      ltype = layer ? 120 : 119;
      level = trunc_i(v1);
      break;
    default: break;
  }
  if (v1 == MISS ||
      (layer && v2 == MISS && (t1 == 100 || t1 == 102 || t1 == 103 || t1 == 104 || t1 == 106 || t1 == 108)))
    level = (t1 < 100 || t1 == 101 || t1 >= 200) ? 0 : KEZ_MISS; /* surfaces without a value are level 0 */
  grd->ltype = ltype;
  grd->level = level;
}

int process_code(unsigned p) {
  switch (p) {
    case 0: return 3000000;
    case 1: return 4000000;
    case 2: return 6000000;
    case 3: return 7000000;
    case 4: return 5000000;
    default: return 0;
  }
}

/* Time code of a statistical product: process at octet pk, length at lk
 * (its unit in the octet before). A process without a code of its own is
 * a period all the same, from its start to its end. */
int range_time(long pk, long lk) {
  const unsigned unit = oct(18);
  const unsigned lunit = oct(lk - 1);
  const long long s = static_cast<long long>(be_sec(19, 4));
  const long long l = static_cast<long long>(be_sec(lk, 4));
  const unsigned proc = oct(pk);
  MESS_print(M_debug, "TIM %u %lld %lld\n", proc, s, l);
  int k = process_code(proc);
  if (k == 0) k = 2000000;
  /* Start and length in hours, whatever unit they were given in. */
  bool dm = false;
  int hs = hours_of(s, unit, &dm);
  int hl = KEZ_MISS;
  if (dm) {
    hl = lunit == unit ? to_int(l) : KEZ_MISS; /* days or months on from a start in the same unit */
  } else {
    bool ldm = false;
    hl = lunit == 2 ? to_int(24 * l) : hours_of(l, lunit, &ldm);
    if (ldm) hl = KEZ_MISS;
  }
  if (hs == KEZ_MISS || hl == KEZ_MISS) return KEZ_MISS;
  long long end = static_cast<long long>(hs) + hl;
  if (hs > 999 || end > 999) return KEZ_MISS; /* the code holds three digits each */
  return to_int(k + hs * 1000LL + end);
}

} // namespace

int GRIB_PDS(int grd_fd, GRD_report* grd) {
  FILE* f = stream_of(grd_fd);
  if (!f || !grd || !read_section_body(f, "GRIB_PDS")) return 0;
  grd->version = state.version;
  grd->source = state.source;
  grd->date = state.date;
  clear_product();
  state.var_scale = 1.0f;
  const int templ = static_cast<int>(be_sec(8, 2));
  const bool known = templ == 0 || templ == 1 || templ == 2 || templ == 5 || templ == 8 || templ == 9 || templ == 11 ||
                     templ == 12 || templ == 15 || templ == 40;
  /* A chemical constituent's type stands before the process, time and
   * surfaces, two octets later than in the other templates. */
  const long sh = templ == 40 ? 2 : 0;
  if (templ == 50008) {
    grd->time = 0;
    grd->ltype = 1;
    grd->level = 0;
  }
  if (!known) {
    /* Never another field's name, level or time; the parameter is still
     * named from octets 10-11, which every template shares. */
    GribParam p =
        GRIB_get_ver2_param(grd->source, state.discipline, static_cast<int>(oct(10)), static_cast<int>(oct(11)));
    grd->var = p.ind;
    copy_text(grd->units, sizeof grd->units, p.units);
    if (templ != 50008) {
      grd->model = KEZ_MISS;
      grd->ltype = grd->level = grd->time = KEZ_MISS;
    }
  } else {
    GribParam p =
        GRIB_get_ver2_param(grd->source, state.discipline, static_cast<int>(oct(10)), static_cast<int>(oct(11)));
    grd->var = p.ind;
    copy_text(grd->units, sizeof grd->units, p.units);
    grd->model = static_cast<int>(oct(14 + sh));
    auto member = [&] {
      state.ens = 1;
      /* Control, negatively and positively perturbed; a kind without a
       * tag of its own (multi-model, a centre's own) is type 0. */
      switch (oct(35)) {
        case 0:
        case 1: state.ens_type = 1; break;
        case 2: state.ens_type = 2; break;
        case 3: state.ens_type = 3; break;
        default: state.ens_type = 0; break;
      }
      state.ens_id = static_cast<int>(oct(36));
      state.ens_prod = 1;
      state.ens_smooth = 0;
    };
    auto derived = [&] {
      state.ens = 1;
      state.ens_type = 5;
      state.ens_id = 0;
      state.ens_smooth = 0;
      /* Unweighted and weighted means, the standard deviation; any other
       * derived forecast keeps its own code. */
      const unsigned code = oct(35);
      if (code == 0 || code == 1)
        state.ens_prod = 2;
      else if (code == 2)
        state.ens_prod = 11;
      else
        state.ens_derived = static_cast<int>(code);
    };
    auto probability = [&] {
      state.ens = 1;
      state.ens_type = 5;
      state.ens_id = 0;
      state.ens_prod = 0;
      state.ens_smooth = 0;
      state.ens_prob_var = p.ind;
      grd->var = 191;
      static constexpr int table[][5] = {{1, 2, 3, 0, 0}, {4, 5, 6, 0, 0}, {4, 5, 6, 7, 8}};
      const unsigned process = oct(12), ptype = oct(37);
      int row = -1;
      if (templ == 5 && (process == 2 || process == 4 || process == 5)) row = 0;
      if (templ == 9) row = process == 4 ? 0 : process == 5 ? 1 : process == 2 ? 2 : -1;
      if (row >= 0 && ptype < 5 && table[row][ptype] != 0) state.ens_prob_type = table[row][ptype];
      state.ens_prob_low = scaled_value(38, 39);
      state.ens_prob_up = scaled_value(43, 44);
    };
    bool dm = false;
    const int forecast = hours_of(static_cast<long long>(be_sec(19 + sh, 4)), oct(18 + sh), &dm);
    switch (templ) {
      case 0:
      case 15: /* a statistic over an area, at one time */
      case 40:
        /* One quantity of many constituents: each its own number. */
        if (state.discipline == 0 && oct(10) == CHEM_CATEGORY) {
          state.chem = static_cast<int>(be_sec(12, 2));
          state.chem_param = static_cast<int>(oct(11));
        }
        grd->time = forecast;
        break;
      case 1:
        member();
        grd->time = forecast;
        break;
      case 2:
        derived();
        grd->time = forecast;
        break;
      case 5:
        probability();
        grd->time = forecast;
        break;
      case 8: grd->time = range_time(47, 50); break;
      case 9:
        probability();
        grd->time = range_time(60, 63);
        break;
      case 11:
        member();
        grd->time = range_time(50, 53);
        break;
      case 12:
        derived();
        grd->time = range_time(49, 52);
        break;
      default: break;
    }
    set_surfaces(grd, sh);
  }
  GRIB_set_var(grd);
  char label[DATE_LABEL_LEN] = {};
  DATE_make_label_for_time(grd->time, grd->source * 1000 + grd->model, &grd->date, label);
  copy_text(grd->datim, sizeof grd->datim, label);
  return 1;
}

/* --- edition 2: data representation, bit map and data -------------------- */

namespace {

/* A data section read whole: octets, then grib_unpack::PAD zero octets. */
struct Packed {
  const unsigned char* data = nullptr;
  long octets = 0;
};

/* The n octets of the data section into state.packed; false when fewer
 * arrive. */
bool read_payload(FILE* f, long n, Packed* out) {
  if (read_padded(f, n, &state.packed) != n) return false;
  *out = Packed{state.packed.data(), n};
  return true;
}

/* Puts the file at the end of the section that began at start. */
void end_section(FILE* f, long start) {
  if (start >= 0) std::fseek(f, start + state.slen, SEEK_SET);
}

/* Bits of a padded data section, most significant first. */
class BitIn {
 public:
  BitIn(const Packed& d, long first_octet)
      : p_(d.data),
        avail_(static_cast<unsigned long long>(d.octets) * 8),
        pos_(static_cast<unsigned long long>(first_octet) * 8) {}
  bool over() const { return over_; }
  unsigned long long pos() const { return pos_; }
  void skip(unsigned long long count, int nb) { pos_ += count * static_cast<unsigned>(nb); }
  void align() { pos_ = (pos_ + 7) & ~7ull; }
  bool has(unsigned long long count, int nb) const {
    return pos_ <= avail_ && count * static_cast<unsigned>(nb) <= avail_ - pos_;
  }
  uint64_t get(int nb) {
    if (nb == 0) return 0;
    if (pos_ + static_cast<unsigned>(nb) > avail_) {
      over_ = true;
      return 0;
    }
    const unsigned char* q = p_ + (pos_ >> 3);
    uint64_t w = 0;
    for (int i = 0; i < 8; ++i) w = (w << 8) | q[i];
    uint64_t x = (w << (pos_ & 7)) >> (64 - nb);
    pos_ += static_cast<unsigned>(nb);
    return x;
  }

 private:
  const unsigned char* p_;
  unsigned long long avail_;
  unsigned long long pos_;
  bool over_ = false;
};

/* A sign-and-magnitude integer of n octets (top bit of the first the sign). */
long long sign_mag(const unsigned char* p, int n) {
  unsigned long long v = 0;
  for (int i = 0; i < n; ++i) v = (v << 8) | p[i];
  const unsigned long long top = 1ull << (8 * n - 1);
  return (v & top) ? -static_cast<long long>(v & (top - 1)) : static_cast<long long>(v);
}

/* Octets per section 5 template the reader needs. */
int drs_min_length(int templ) {
  switch (templ) {
    case 0: return 21;
    case 2: return 47;
    case 3: return 49;
    case 40:
    case 40000: return 21;
    case 200: return 17;
    default: return 11;
  }
}

/* Names of grid definition and data representation templates the suite
 * does not read, so that a refusal says what it met. */
const char* grid_template_name(int templ) {
  switch (templ) {
    case 1: return "rotated latitude/longitude";
    case 2: return "stretched latitude/longitude";
    case 3: return "stretched and rotated latitude/longitude";
    case 4:
    case 5: return "variable resolution latitude/longitude";
    case 12: return "transverse Mercator";
    case 40: return "Gaussian latitude/longitude";
    case 41: return "rotated Gaussian latitude/longitude";
    case 42: return "stretched Gaussian latitude/longitude";
    case 43: return "stretched and rotated Gaussian latitude/longitude";
    case 50:
    case 51:
    case 52:
    case 53: return "spherical harmonic coefficients";
    case 90: return "space view";
    case 100: return "triangular";
    case 101: return "unstructured";
    case 110: return "equatorial azimuthal equidistant";
    case 120: return "azimuth-range";
    case 61:
    case 62:
    case 63: return "bi-Fourier coefficients";
    case 140: return "Lambert azimuthal equal area";
    case 32768:
    case 32769: return "rotated latitude/longitude of the Arakawa grids";
    default: return "unknown";
  }
}

const char* packing_template_name(int templ) {
  switch (templ) {
    case 1: return "matrix values";
    case 4: return "IEEE floating point";
    case 41:
    case 40010: return "PNG";
    case 42: return "CCSDS";
    case 50:
    case 51: return "spherical harmonic coefficients";
    case 61: return "simple packing with logarithm";
    default: return "unknown";
  }
}

int refuse_ds(FILE* f, long start, GRD_report* grd, const char* why) {
  if (why) MESS_print(M_warn, "GRIB_DS: %s\n", why);
  drop_values(grd);
  end_section(f, start);
  return 0;
}

/* Grid row of message row k: the grid runs north to south. */
float* grid_row(float* grid, int k) {
  const int ny = state.dv.ny;
  return grid + static_cast<size_t>(state.ydir == 1 ? ny - 1 - k : k) * static_cast<size_t>(state.dv.nx);
}

/* Whether message row k runs east to west. */
bool row_reversed(int k) { return state.xrev != (state.xalt && (k & 1)); }

/* Where the values of an edition 2 field go: message row k (a thinned
 * row's points, else nx) into grid_row(k), turned when it runs east to
 * west, a thinned row stretched to nx points at exact positions, points
 * the bit map leaves out missing. Values arrive for the present points
 * only, in message order, through a window on the present points left in
 * the current row: the grid row itself when the row needs nothing more,
 * else a row buffer laid out when the row is full. A row without present
 * points is laid out as soon as it is reached. */
class FieldSink {
 public:
  explicit FieldSink(float* grid) : grid_(grid) {
    const size_t longest = static_cast<size_t>(state.dv.nx);
    if (state.row_in.size() < longest) state.row_in.resize(longest);
    if (state.row_vals.size() < longest) state.row_vals.resize(longest);
    start_row();
  }
  bool done() const { return k_ >= state.dv.ny; }
  long room() const { return end_ - cur_; }
  float* at() const { return cur_; }
  /* The next m slots of the window have been written (m <= room()). */
  void filled(long m) {
    cur_ += m;
    if (cur_ == end_) next_row();
  }
  /* The next m present points take the value v; the rest of the field
   * when m runs past it. */
  void fill(long m, float v) {
    while (m > 0 && !done()) {
      const long k = std::min(m, room());
      std::fill(cur_, cur_ + k, v);
      filled(k);
      m -= k;
    }
  }
  /* Present points no value reached are missing. */
  void finish() {
    while (!done()) fill(room(), MISS);
  }

 private:
  int row_length(int k) const {
    return state.thin ? std::max(state.thin_rows[static_cast<size_t>(k)], 0) : state.dv.nx;
  }

  void start_row() {
    for (; k_ < state.dv.ny; p0_ += static_cast<uint64_t>(n_), ++k_) {
      n_ = row_length(k_);
      const long present = state.bmb_on ? grib_unpack::count_bits(state.bmb.data(), p0_, n_) : n_;
      direct_ = !state.bmb_on && !state.thin;
      cur_ = direct_ ? grid_row(grid_, k_) : state.row_in.data();
      end_ = cur_ + present;
      if (present > 0) return;
      lay_out();
    }
    cur_ = end_ = nullptr;
  }

  void next_row() {
    lay_out();
    p0_ += static_cast<uint64_t>(n_);
    ++k_;
    start_row();
  }

  void lay_out() {
    float* row = grid_row(grid_, k_);
    const int nx = state.dv.nx;
    if (direct_) {
      if (row_reversed(k_)) std::reverse(row, row + nx);
      return;
    }
    float* vals = state.thin ? state.row_vals.data() : row;
    if (state.bmb_on)
      grib_unpack::expand(state.bmb.data(), p0_, n_, state.row_in.data(), MISS, vals);
    else
      vals = state.row_in.data();
    if (row_reversed(k_)) std::reverse(vals, vals + n_);
    if (state.thin) grib_unpack::stretch_exact(vals, n_, row, nx, MISS);
  }

  float* grid_;
  int k_ = 0;       /* message row */
  int n_ = 0;       /* its points */
  uint64_t p0_ = 0; /* message point of its first */
  bool direct_ = false;
  float* cur_ = nullptr;
  float* end_ = nullptr;
};

/* Simple packing: the n present points in turn. */
bool unpack_simple(const Packed& data, FieldSink& sink, long n) {
  if (state.num_bits > GRIB_MAX_BITS) return false;
  BitIn in(data, 0);
  if (!in.has(static_cast<unsigned long long>(n), state.num_bits)) return false;
  const int nb = state.num_bits;
  /* No bits is a constant, the reference value unscaled. */
  const grib_unpack::Scale scale{nb == 0 ? 1.0f : state.dscale, state.sfac, state.ref};
  uint64_t pos = 0;
  for (long left = n; left > 0 && !sink.done();) {
    const long m = std::min(left, sink.room());
    grib_unpack::to_values(data.data, pos, nb, m, scale, sink.at());
    sink.filled(m);
    pos += static_cast<uint64_t>(m) * static_cast<unsigned>(nb);
    left -= m;
  }
  sink.finish();
  return true;
}

/* Complex packing, with or without spatial differencing: groups of values
 * of their own width over their own reference. The group references,
 * widths and lengths are read in step with the values, each from its own
 * place; the lengths are checked against the field first. */
const char* unpack_complex(const Packed& data, FieldSink& sink, long npts, long present) {
  const long ng = state.num_group;
  if (ng < 0 || ng > npts) return "More groups than grid points";
  if (ng == 0) {
    /* No groups: a constant field, the reference value at every present
     * point, unscaled as in every field packed without bits. */
    sink.fill(present, state.ref);
    sink.finish();
    return nullptr;
  }
  if (state.num_bits_gref > GRIB_MAX_BITS || state.num_bits_gwidth > GRIB_MAX_BITS ||
      state.num_bits_glen > GRIB_MAX_BITS)
    return "More than 32 bits per group value";
  long long first[2] = {0, 0}, minimum = 0;
  int nfirst = 0;
  long pos = 0;
  if (state.drs_temp == 3 && (state.order == 1 || state.order == 2)) {
    const int sb = state.spat_bytes;
    if (sb < 1 || sb > 4) return "Extra descriptors of that width are not supported";
    nfirst = state.order;
    if (data.octets < (nfirst + 1) * sb) return "Data section cut short";
    for (int i = 0; i < nfirst; ++i) first[i] = sign_mag(data.data + i * sb, sb);
    minimum = sign_mag(data.data + nfirst * sb, sb);
    pos = (nfirst + 1) * sb;
    MESS_print(M_debug, "DS1 %lld %lld %lld\n", first[0], first[1], minimum);
  }
  const unsigned long long groups = static_cast<unsigned long long>(ng);
  BitIn refs(data, pos);
  if (!refs.has(groups, state.num_bits_gref)) return "Data section cut short";
  BitIn widths = refs;
  widths.skip(groups, state.num_bits_gref);
  widths.align();
  if (!widths.has(groups, state.num_bits_gwidth)) return "Data section cut short";
  BitIn lengths = widths;
  lengths.skip(groups, state.num_bits_gwidth);
  lengths.align();
  if (!lengths.has(groups, state.num_bits_glen)) return "Data section cut short";
  auto group_length = [&](long g, uint64_t v) {
    return g == ng - 1 ? static_cast<long long>(state.last_glen)
                       : state.ref_glen + static_cast<long long>(v) * state.inc_glen;
  };
  BitIn in = lengths;
  long long total = 0;
  for (long g = 0; g < ng; ++g) {
    const long long len = group_length(g, in.get(state.num_bits_glen));
    if (len < 0 || len > npts) return "Group lengths do not fit the field";
    total += len;
    if (total > npts) return "Group lengths do not fit the field";
  }
  in.align();
  const int mt = state.miss_type;
  /* One value for each present point, flagged missing or not. */
  if (total != present) return "Group lengths do not fit the field";
  /* Each value, differenced over the present values in message order,
   * goes to the next present point; a value flagged missing leaves its
   * point missing. */
  const uint64_t gmiss1 = (1ull << state.num_bits_gref) - 1, gmiss2 = gmiss1 - 1;
  const uint64_t mn = static_cast<uint64_t>(minimum);
  const grib_unpack::Scale scale{state.dscale, state.sfac, state.ref};
  auto value = [&](uint64_t x) {
    return scale.ds * (static_cast<float>(static_cast<int64_t>(x)) * scale.sf + scale.rf);
  };
  uint64_t p1 = 0, p2 = 0; /* unsigned: damaged data wrap instead of overflowing */
  long seen = 0;
  auto undifference = [&](uint64_t x) {
    if (seen < nfirst)
      x = static_cast<uint64_t>(first[seen]);
    else if (nfirst == 1)
      x = x + mn + p1;
    else
      x = x + mn + 2 * p1 - p2;
    p2 = p1;
    p1 = x;
    ++seen;
    return x;
  };
  uint32_t raw[512];
  const long raw_room = static_cast<long>(sizeof raw / sizeof raw[0]);
  for (long g = 0; g < ng; ++g) {
    const uint64_t ref = refs.get(state.num_bits_gref);
    const uint64_t w = widths.get(state.num_bits_gwidth) + static_cast<unsigned>(state.ref_gwidth);
    long left = static_cast<long>(group_length(g, lengths.get(state.num_bits_glen)));
    if (w > GRIB_MAX_BITS) return "A group wider than 32 bits";
    if (w == 0) {
      if (mt && (ref == gmiss1 || (mt == 2 && ref == gmiss2))) {
        sink.fill(left, MISS);
      } else if (nfirst == 0) {
        sink.fill(left, value(ref));
      } else {
        for (; left > 0 && !sink.done();) {
          const long m = std::min(left, sink.room());
          float* out = sink.at();
          for (long i = 0; i < m; ++i) out[i] = value(undifference(ref));
          sink.filled(m);
          left -= m;
        }
      }
      continue;
    }
    const int wb = static_cast<int>(w);
    if (!in.has(static_cast<unsigned long long>(left), wb)) return "Data section cut short";
    const uint64_t m1 = (1ull << wb) - 1, m2 = m1 - 1;
    while (left > 0 && !sink.done()) {
      const long m = std::min({left, sink.room(), raw_room});
      float* out = sink.at();
      if (mt == 0 && nfirst == 0) {
        grib_unpack::to_values_over(data.data, in.pos(), wb, m, ref, scale, out);
      } else {
        grib_unpack::to_integers(data.data, in.pos(), wb, m, raw);
        for (long i = 0; i < m; ++i) {
          const uint64_t v = raw[i];
          if (mt && (v == m1 || (mt == 2 && v == m2)))
            out[i] = MISS;
          else
            out[i] = value(nfirst ? undifference(v + ref) : v + ref);
        }
      }
      in.skip(static_cast<unsigned long long>(m), wb);
      sink.filled(m);
      left -= m;
    }
  }
  sink.finish();
  return nullptr;
}

/* JPEG 2000: the samples of the code stream's image, decoded into
 * state.image. An image of several rows on a grid of whole rows is laid
 * out row by row, past the sink. */
const char* unpack_jpeg(const Packed& data, FieldSink& sink, float* grid, long npts, long present) {
  if (state.num_bits == 0) {
    /* A constant field: no code stream at all, the reference unscaled. */
    sink.fill(present, state.ref);
    sink.finish();
    return nullptr;
  }
  const long n = std::min<long>(present, std::max<long>(state.data_pnts, 0));
  JpcImage& img = state.image;
  if (!JPC_decode(data.data, static_cast<size_t>(data.octets), npts, &img)) {
    MESS_print(M_warn, "jpc_decode error\n");
    return "";
  }
  MESS_print(M_debug, "JAS %ld %ld = %ld %ld = %d %d = %ld\n", img.x0, img.y0, img.width, img.height, state.dv.nx,
             state.dv.ny, n);
  const grib_unpack::Scale scale{state.dscale, state.sfac, state.ref};
  const long nx = state.dv.nx, ny = state.dv.ny;
  if (img.height > 1 && !state.thin) {
    /* Image rows are grid rows in message order; no bit map. */
    if (img.width > nx || img.y0 < 0 || img.y0 + img.height > ny) return "The image does not fit the grid";
    for (int k = 0; k < ny; ++k) {
      float* row = grid_row(grid, k);
      const long r = k - img.y0;
      long filled = 0;
      if (r >= 0 && r < img.height) {
        grib_unpack::scale_signed(img.samples.data() + r * img.width, img.width, scale, row);
        filled = img.width;
      }
      std::fill(row + filled, row + nx, MISS);
      if (row_reversed(k)) std::reverse(row, row + nx);
    }
    return nullptr;
  }
  /* One row of the present points, from the image's corner on. */
  const long startp = state.thin ? 0 : img.y0 * nx + img.x0;
  if (startp < 0 || startp >= npts) return "The image does not fit the grid";
  sink.fill(state.bmb_on ? grib_unpack::count_bits(state.bmb.data(), 0, startp) : startp, MISS);
  const int32_t* samples = img.samples.data();
  for (long left = img.width * img.height; left > 0 && !sink.done();) {
    const long m = std::min(left, sink.room());
    grib_unpack::scale_signed(samples, m, scale, sink.at());
    sink.filled(m);
    samples += m;
    left -= m;
  }
  sink.finish();
  return nullptr;
}

const char* unpack_run_length(const Packed& data, float* grid, long npts) {
  const int nb = state.num_bits;
  if (nb < 1 || nb > 16) return "Run-length values of that width are not supported";
  MESS_print(M_debug, "Template 7.200\n");
  const long long count = data.octets * 8LL / nb;
  const long long base = (1LL << nb) - (state.max_val + 1LL);
  BitIn in(data, 0);
  long pos = 0;
  int cur = -1;
  long long num = 1, mult = 1;
  const char* bad = nullptr;
  auto run = [&] {
    float v = cur == 0 ? MISS : state.map[static_cast<size_t>(cur - 1)];
    long long k = std::min<long long>(num, npts - pos);
    for (long long i = 0; i < k; ++i) grid[pos++] = v;
  };
  for (long long i = 0; i < count && pos < npts; ++i) {
    const long long v = static_cast<long long>(in.get(nb));
    if (v > state.max_val) {
      if (cur < 0) continue; /* a run length before any level */
      num = std::min<long long>(num + (v - (state.max_val + 1)) * mult, npts);
      mult = std::min<long long>(mult * base, npts + 1LL);
    } else {
      if (v > state.num_map) {
        bad = "A level beyond the level list";
        break;
      }
      if (cur >= 0) run();
      cur = static_cast<int>(v);
      num = 1;
      mult = 1;
    }
  }
  if (bad) return bad;
  if (cur >= 0 && pos < npts) run();
  return nullptr;
}

} // namespace

float GRIB_ieee_float_conv(const unsigned char* pc) {
  if (pc[0] == 0) return 0;
  const int e = (((pc[0] & 0x7F) << 1) | (pc[1] >> 7)) - 127;
  const long frac = ((pc[1] & 0x7FL) << 16) | (pc[2] << 8) | pc[3];
  const double v = std::ldexp(1.0 + frac / 8388608.0, e);
  return static_cast<float>((pc[0] & 0x80) ? -v : v);
}

int GRIB_DRS(int grd_fd, GRD_report* grd) {
  (void)grd;
  FILE* f = stream_of(grd_fd);
  if (!f) return 0;
  const long start = std::ftell(f) - 5;
  state.drs_ok = false;
  if (!read_section_body(f, "GRIB_DRS")) {
    end_section(f, start);
    return 0;
  }
  state.data_pnts = static_cast<long>(be_sec(6, 4) & 0x7FFFFFFFul);
  state.drs_temp = static_cast<int>(be_sec(10, 2));
  const int templ = state.drs_temp;
  if (state.slen < drs_min_length(templ)) {
    MESS_print(M_warn, "GRIB_DRS: Section 5 too short for template %d\n", templ);
    return 0;
  }
  if (templ != 200) {
    const unsigned char r[4] = {static_cast<unsigned char>(oct(12)), static_cast<unsigned char>(oct(13)),
                                static_cast<unsigned char>(oct(14)), static_cast<unsigned char>(oct(15))};
    const unsigned char e[2] = {static_cast<unsigned char>(oct(16)), static_cast<unsigned char>(oct(17))};
    state.ref = GRIB_ieee_float_conv(r);
    state.sfac = GRIB_scl_conv(e);
    const int d = static_cast<int>(be_sec(18, 2) & 0x7FFF) * ((oct(18) & 0x80) ? -1 : 1);
    state.dscale = static_cast<float>(std::pow(10.0, -d));
    if (!std::isfinite(state.ref) || !std::isfinite(state.sfac)) {
      MESS_print(M_warn, "GRIB_DRS: Reference value or scale out of range\n");
      return 0;
    }
  }
  switch (templ) {
    case 0:
      MESS_print(M_debug, "Grid point - simple packing\n");
      state.num_bits = static_cast<int>(oct(20));
      state.data_type = static_cast<int>(oct(21));
      break;
    case 2:
    case 3:
      MESS_print(M_debug, templ == 2 ? "Grid point - complex packing\n"
                                     : "Grid point - complex packing and spatial differencing\n");
      state.num_bits_gref = static_cast<int>(oct(20));
      state.data_type = static_cast<int>(oct(21));
      state.split_method = static_cast<int>(oct(22));
      state.miss_type = static_cast<int>(oct(23));
      if (state.miss_type > 2) {
        MESS_print(M_warn, "GRIB_DRS: Missing-value management %d is not known\n", state.miss_type);
        return 0;
      }
      if (state.miss_type > 0) {
        unsigned char m[4] = {static_cast<unsigned char>(oct(24)), static_cast<unsigned char>(oct(25)),
                              static_cast<unsigned char>(oct(26)), static_cast<unsigned char>(oct(27))};
        state.miss1 = GRIB_ieee_float_conv(m);
      }
      if (state.miss_type > 1) {
        unsigned char m[4] = {static_cast<unsigned char>(oct(28)), static_cast<unsigned char>(oct(29)),
                              static_cast<unsigned char>(oct(30)), static_cast<unsigned char>(oct(31))};
        state.miss2 = GRIB_ieee_float_conv(m);
      }
      state.num_group = static_cast<long>(be_sec(32, 4) & 0x7FFFFFFFul);
      state.ref_gwidth = static_cast<int>(oct(36));
      state.num_bits_gwidth = static_cast<int>(oct(37));
      state.ref_glen = static_cast<long>(be_sec(38, 4) & 0x7FFFFFFFul);
      state.inc_glen = static_cast<int>(oct(42));
      state.last_glen = static_cast<long>(be_sec(43, 4) & 0x7FFFFFFFul);
      state.num_bits_glen = static_cast<int>(oct(47));
      state.order = templ == 3 ? static_cast<int>(oct(48)) : -1;
      state.spat_bytes = templ == 3 ? static_cast<int>(oct(49)) : -1;
      MESS_print(M_debug, "SPLIT: %d NGRP: %ld - MTYPE: %d MISS: %f\n", state.split_method, state.num_group,
                 state.miss_type, static_cast<double>(state.miss1));
      break;
    case 40:
    case 40000:
      MESS_print(M_debug, "JPEG2000 data compression\n");
      state.num_bits = static_cast<int>(oct(20));
      break;
    case 200: {
      state.num_bits = static_cast<int>(oct(12));
      state.max_val = static_cast<int>(be_sec(13, 2));
      state.num_map = static_cast<int>(be_sec(15, 2));
      state.dscale = static_cast<float>(std::pow(10.0, -static_cast<int>(oct(17))));
      if (17 + 2L * state.num_map > state.slen) {
        MESS_print(M_warn, "GRIB_DRS: Level list longer than section 5\n");
        return 0;
      }
      state.map.resize(static_cast<size_t>(state.num_map));
      for (int i = 0; i < state.num_map; ++i)
        state.map[static_cast<size_t>(i)] = state.dscale * static_cast<float>(be_sec(18 + 2 * i, 2));
      break;
    }
    default: break;
  }
  state.drs_ok = true;
  return 1;
}

int GRIB_BMS(int grd_fd) {
  FILE* f = stream_of(grd_fd);
  if (!f) return 0;
  const long start = std::ftell(f) - 5;
  int ind = state.slen >= 6 ? getc(f) : EOF;
  if (ind == EOF) {
    MESS_print(M_warn, "GRIB_BMS: Bit map section cut short\n");
    state.bms_bad = true;
    end_section(f, start);
    return 0;
  }
  if (ind == 254) {
    MESS_print(M_debug, "BMS reuse: %d %ld %zu\n", state.slen, state.data_pnts, state.bmb.size());
    end_section(f, start);
    if (state.bmb_on || state.bms_bad) return state.bmb_on ? 1 : 0;
    /* Without one, the field would fill whatever points its values reach. */
    MESS_print(M_warn, "GRIB_BMS: The field refers to the bit map defined before, and its message defines none\n");
    state.bms_bad = true;
    return 0;
  }
  state.bmb.clear();
  state.bmb_on = false;
  state.bms_bad = false;
  if (ind == 255) {
    end_section(f, start);
    return 0;
  }
  if (ind != 0) {
    MESS_print(M_warn, "GRIB_BMS: Predefined bit map %d is not known\n", ind);
    state.bms_bad = true;
    end_section(f, start);
    return 0;
  }
  const long len = state.slen - 6L;
  if (len > GRIB2_MAX_POINTS / 8 + 1) {
    MESS_print(M_warn, "GRIB_BMS: Bit map longer than any grid\n");
    state.bms_bad = true;
    end_section(f, start);
    return 0;
  }
  MESS_print(M_debug, "BMS: %d %ld %ld\n", state.slen, state.data_pnts, len);
  state.bmb.resize(static_cast<size_t>(len));
  if (len > 0 && !read_octets(f, state.bmb.data(), static_cast<size_t>(len))) {
    MESS_print(M_warn, "GRIB_BMS: Bit map cut short\n");
    state.bmb.clear();
    state.bms_bad = true;
    return 0;
  }
  state.bmb_on = true;
  return 1;
}

int GRIB_DS(int grd_fd, GRD_report* grd) {
  FILE* f = stream_of(grd_fd);
  if (!f || !grd) return 0;
  const long start = std::ftell(f) - 5;
  grd->domain = state.dv;
  state.bmoff = 0;
  const int nx = state.dv.nx, ny = state.dv.ny;
  if (state.dv.proj == KEZ_MISS || nx < 1 || ny < 1) {
    if (state.gds_templ < 0) return refuse_ds(f, start, grd, "The field has no grid definition");
    MESS_print(M_warn, "GRIB_DS: Grid definition template 3.%d (%s) is not supported\n", state.gds_templ,
               grid_template_name(state.gds_templ));
    return refuse_ds(f, start, grd, nullptr);
  }
  if (!state.drs_ok) return refuse_ds(f, start, grd, "The field's packing could not be read");
  if (state.bms_bad) return refuse_ds(f, start, grd, "The field's bit map could not be read");
  const int templ = state.drs_temp;
  if (templ != 0 && templ != 2 && templ != 3 && templ != 40 && templ != 40000 && templ != 200) {
    MESS_print(M_warn, "GRIB_DS: Data representation template 5.%d (%s) is not supported\n", templ,
               packing_template_name(templ));
    return refuse_ds(f, start, grd, nullptr);
  }
  if (state.thin && static_cast<int>(state.thin_rows.size()) != ny)
    return refuse_ds(f, start, grd, "Row lengths do not match the rows");
  long long npts = static_cast<long long>(nx) * ny;
  if (state.thin) {
    npts = 0;
    for (int n : state.thin_rows) {
      /* Rows are laid out in buffers of the longest row's length. */
      if (n < 0 || n > nx) return refuse_ds(f, start, grd, "A row length out of range");
      npts += n;
    }
  }
  if (state.bmb_on && templ != 200 && static_cast<long long>(state.bmb.size()) * 8 < npts)
    return refuse_ds(f, start, grd, "The bit map is shorter than the grid");
  long present = static_cast<long>(npts);
  if (state.bmb_on && templ != 200) present = grib_unpack::count_bits(state.bmb.data(), 0, present);
  if (templ != 200 && state.data_pnts != present) {
    MESS_print(M_warn, "GRIB_DS: The field packs %ld values for its %ld points\n", state.data_pnts, present);
    return refuse_ds(f, start, grd, nullptr);
  }
  const long plen = state.slen - 5L;
  /* Simple packing says how many octets it needs: no grid for less. */
  if (templ == 0 && state.num_bits <= GRIB_MAX_BITS &&
      (std::min<long long>(present, state.data_pnts) * state.num_bits + 7) / 8 > plen)
    return refuse_ds(f, start, grd, "Data section cut short");
  Packed data;
  if (!read_payload(f, plen, &data)) return refuse_ds(f, start, grd, "Data section cut short");
  float* grid = static_cast<float*>(std::realloc(grd->grid, sizeof(float) * static_cast<size_t>(nx) * ny));
  if (!grid) {
    MESS_print(M_error, "GRIB_DS: Unable to allocate the grid\n");
    return refuse_ds(f, start, grd, nullptr);
  }
  grd->grid = grid;
  if (templ == 200) {
    std::fill(grid, grid + static_cast<size_t>(nx) * ny, MISS);
    const char* why = unpack_run_length(data, grid, static_cast<long>(nx) * ny);
    if (why) return refuse_ds(f, start, grd, why);
    return 1;
  }
  FieldSink sink(grid);
  const char* why = nullptr;
  switch (templ) {
    case 0:
      if (!unpack_simple(data, sink, std::min<long>(present, state.data_pnts))) why = "Data section cut short";
      break;
    case 2:
    case 3: why = unpack_complex(data, sink, static_cast<long>(npts), present); break;
    default: why = unpack_jpeg(data, sink, grid, static_cast<long>(npts), present); break;
  }
  if (why) return refuse_ds(f, start, grd, *why ? why : nullptr);
  return 1;
}
