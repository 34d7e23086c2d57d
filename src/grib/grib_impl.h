/*
 * grib_impl.h: what the files of the GRIB decoder share, and nothing
 * outside the module includes: the decoder state (the message being read,
 * the sections read so far and the buffers kept from field to field), the
 * numbering of ensemble and constituent products, and the small helpers
 * that more than one of its files calls. Each helper that is not defined
 * here is defined once, in the file named beside it.
 */
#ifndef KEZ_GRIB_GRIB_IMPL_H
#define KEZ_GRIB_GRIB_IMPL_H

#include "jpc.h"
#include "kezgrd.h"
#include "unpack.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

namespace grib_impl {

constexpr int IND_ED1 = 8;  /* indicator octets of editions 0 and 1 */
constexpr int IND_ED2 = 16; /* indicator octets of edition 2 */
constexpr float MISS = -9999.0f;

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
  int param = 0;                       /* the suite's parameter of the field, before any product code */
  bool uv_earth = false;               /* wind components of a projected grid given relative to the earth */

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

extern GribState state; /* defined in grib.cpp */

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

/* A text cut to a record's fixed field, always terminated. */
inline void copy_text(char* dst, size_t room, const char* src) {
  size_t n = std::min(std::strlen(src), room - 1);
  std::memcpy(dst, src, n);
  dst[n] = '\0';
}

inline unsigned long be_uint(const unsigned char* p, int n) {
  unsigned long v = 0;
  for (int i = 0; i < n; ++i) v = (v << 8) | p[i];
  return v;
}

/* Fits an int, else the missing value. */
inline int to_int(long long v) { return v >= INT_MIN && v <= INT_MAX ? static_cast<int>(v) : KEZ_MISS; }

/* Reads n octets into out; false when fewer arrive. */
inline bool read_octets(FILE* f, unsigned char* out, size_t n) { return fread(out, 1, n, f) == n; }

/* A field that is not unpacked holds no values, never another field's. */
inline void drop_values(GRD_report* grd) {
  if (!grd) return;
  std::free(grd->grid);
  grd->grid = nullptr;
}

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

/* Octet k of the current edition 2 section (0 beyond its end). */
inline unsigned oct(long k) {
  return k >= 1 && k < static_cast<long>(state.sec.size()) ? state.sec[static_cast<size_t>(k)] : 0;
}

inline unsigned long be_sec(long k, int n) {
  unsigned long v = 0;
  for (int i = 0; i < n; ++i) v = (v << 8) | oct(k + i);
  return v;
}

/* grib.cpp */
FILE* stream_of(int grd_fd);
void warn_earth_winds(const char* who);
bool cut_message(const char* who);
int units_of(GRD_report* grd, int table);
void accumulated_units(GRD_report* grd);
void clear_product();
long read_padded(FILE* f, long n, std::vector<unsigned char>* buf);

/* grib_ed1.cpp */
int hour_code(long long h);
bool unit_hours(long long n, unsigned unit, long long* h);
int hours_of(long long n, unsigned unit, bool* days_months);
bool period_codes(long long start, long long end, int* s, int* e);
int ed1_year(int year_of_century, int century);

/* grib_ed2.cpp */
bool read_section_body(FILE* f, const char* who);

} // namespace grib_impl

#endif /* KEZ_GRIB_GRIB_IMPL_H */
