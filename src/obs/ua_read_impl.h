/*
 * ua_read_impl: what the files of the upper-air file module share
 * (ua_read.cpp, ua_read_code.cpp, ua_read_write.cpp): the state of the one
 * open file, the netCDF variables of its layouts, the fixed places of the
 * old text layouts, and the small tests of a file type and a value.
 * Internal to the module; the state is defined in ua_read.cpp.
 */
#ifndef UA_READ_IMPL_H
#define UA_READ_IMPL_H

#include "kezupa.h"

#include "kezcdf.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

namespace ua_read_impl {

/* The longest token kept; the rest of a longer one is read and dropped. */
inline constexpr size_t token_max = 64;
/* Lists of the fixed-place text layout. */
inline constexpr int fixed_places = 28;

struct StreamCloser {
  void operator()(FILE* fp) const { FILE_close(fp); }
};
using Stream = std::unique_ptr<FILE, StreamCloser>;

/* The netCDF variables of the two layouts, in the order of their schema. */
enum CdfVar {
  V_ID,
  V_REGION,
  V_TYPE,
  V_IDN,
  V_LAT,
  V_LON,
  V_NUM_MANT,
  V_NUM_SIGT,
  V_NUM_SIGW,
  V_P_MAN,
  V_Z_MAN,
  V_T_MAN,
  V_TD_MAN,
  V_DIR_MAN,
  V_SPD_MAN,
  V_P_SIGT,
  V_T_SIGT,
  V_TD_SIGT,
  V_Z_SIGW,
  V_DIR_SIGW,
  V_SPD_SIGW,
  V_COUNT
};

/* Wind heights (feet) of the old text layouts' fixed wind groups. */
inline constexpr std::array<float, 16> old_short_heights{0,    1000, 2000,  3000,  4000,  5000,  6000,  7000,
                                                         8000, 9000, 10000, 12000, 14000, 15000, 16000, 18000};
inline constexpr std::array<float, 21> old_long_heights{0,     1000,  2000,  3000,  4000,  5000,  6000,
                                                        7000,  8000,  9000,  10000, 12000, 14000, 16000,
                                                        20000, 25000, 30000, 35000, 40000, 45000, 50000};
/* Mandatory slots of the old text layouts, in the order of their triplets. */
inline constexpr std::array<int, 4> old_short_slots{1, 3, 4, 5};
inline constexpr std::array<int, 8> old_long_slots{1, 3, 4, 5, 6, 7, 9, 11};
inline constexpr int old_short_sig = 14;
inline constexpr int old_long_sig = 21;

struct State {
  Stream cvt_file; /* the open text or binary stream */
  int file_type = UPA_FT_NONE;
  int file_access = UPA_ACC_READ;
  int cdf_fd = CDF_NO_ID; /* the open netCDF file */
  /* Text reading: the index of the report before which the stream stands
   * (-1: not known, the next read rewinds), the index last read and the
   * offset at which it begins (-1: none). */
  int stat_num = -1;
  int last_num = -1;
  long cur_pos = -1;
  float version = 1.1f; /* 1.0: a netCDF file without "version" */
  long num_station = 0;
  std::array<int, V_COUNT> var_id = [] {
    std::array<int, V_COUNT> a{};
    a.fill(CDF_NO_ID);
    return a;
  }();
  char encd_str[10] = "";
};
extern State state;

inline bool is_cdf(int t) { return t == UPA_FT_CDF || t == UPA_FT_CDF_SI; }
inline bool is_new_text(int t) { return t >= UPA_FT_FIXED && t <= UPA_FT_OPEN_LOC; }
inline bool missing(float v) { return v == KEZ_FMISS || !std::isfinite(v); }

inline std::string_view view(const char* str) { return str ? std::string_view(str, strnlen(str, token_max)) : ""; }

} // namespace ua_read_impl

#endif
