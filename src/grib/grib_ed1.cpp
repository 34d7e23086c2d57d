/*
 * grib_ed1: the GRIB decoder's edition 0 and 1 messages.
 *
 * The section readers of an edition 1 message in the order the grid store
 * calls them: product definition (GRIB_PDB, with the field's name, level,
 * time and ensemble code through GRIB_set_var, which edition 2 shares),
 * grid description (GRIB_GDB, or a predefined grid), bit map (GRIB_BMB) and
 * data (GRIB_BDB). A data section is read into memory and unpacked in one
 * pass (Unpacker), thinned rows stretched over the longest row, with the
 * optional bad-value filter over the packed values. The time, level and
 * threshold codes live here too; edition 2 shares the hours of a time.
 */
#include "grib_impl.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace grib_impl;

/* --- edition 1: shared helpers ------------------------------------------- */

namespace {

constexpr int JUMP_WINDOW = 20; /* values the bad-value filter looks back over */

int signed3(const unsigned char* p) {
  int v = static_cast<int>(be_uint(p, 3) & 0x7FFFFF);
  return (p[0] & 0x80) ? -v : v;
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

} // namespace

/* The time code of h hours: the hours below 800, where the code's days
 * begin; from there whole days (800 plus the days, below 100 of them);
 * -9999 for a time it cannot hold, never another time's code. */
int grib_impl::hour_code(long long h) {
  if (h < 800) return to_int(h);
  if (h % 24 == 0 && h / 24 < 100) return static_cast<int>(800 + h / 24);
  return KEZ_MISS;
}

/* Hours of n counts of a unit that counts in hours or parts of days
 * (minutes, hours, 3, 6 and 12 hours); false for any other unit and for
 * minutes that are no whole hour. */
bool grib_impl::unit_hours(long long n, unsigned unit, long long* h) {
  switch (unit) {
    case 0:
      if (n % 60 != 0) return false;
      *h = n / 60;
      return true;
    case 1: *h = n; return true;
    case 10: *h = 3 * n; return true;
    case 11: *h = 6 * n; return true;
    case 12: *h = 12 * n; return true;
    default: return false;
  }
}

/* Time code of a forecast time in its unit: hours, days as 800 and months
 * as 900 plus the count; -9999 for units the time code cannot hold
 * (minutes that are not whole hours, seconds, unknown units) and for
 * times beyond it. */
int grib_impl::hours_of(long long n, unsigned unit, bool* days_months) {
  *days_months = false;
  if (n < 0 || n > INT_MAX) return KEZ_MISS;
  long long h = 0;
  if (unit_hours(n, unit, &h)) return hour_code(h);
  if (unit == 2 || unit == 3) {
    *days_months = true;
    return n < 100 ? static_cast<int>((unit == 2 ? 800 : 900) + n) : KEZ_MISS;
  }
  return KEZ_MISS;
}

/* The start and end parts of a period's code from its start and end in
 * hours: both hours below 800, else both whole days; false when the code
 * cannot hold them (an end in days after a start in hours would read as
 * another period). */
bool grib_impl::period_codes(long long start, long long end, int* s, int* e) {
  if (start < 0 || end < 0) return false;
  if (start < 800 && end < 800) {
    *s = static_cast<int>(start);
    *e = static_cast<int>(end);
    return true;
  }
  if (start % 24 != 0 || end % 24 != 0 || start / 24 >= 100 || end / 24 >= 100) return false;
  *s = static_cast<int>(800 + start / 24);
  *e = static_cast<int>(800 + end / 24);
  return true;
}

namespace {

/* The code of a period from P1 to P2 of operation op (three digits each
 * for start and end), in the unit of the octets; -9999 when it cannot be
 * held. */
int period_code(int op, long long p1, long long p2, unsigned unit) {
  int s = 0, e = 0;
  long long h1 = 0, h2 = 0;
  if (unit_hours(p1, unit, &h1) && unit_hours(p2, unit, &h2)) {
    if (!period_codes(h1, h2, &s, &e)) return KEZ_MISS;
  } else if ((unit == 2 || unit == 3) && p1 >= 0 && p2 >= 0 && p1 < 100 && p2 < 100) {
    const int base = unit == 2 ? 800 : 900;
    s = static_cast<int>(base + p1);
    e = static_cast<int>(base + p2);
  } else {
    return KEZ_MISS;
  }
  return op * 1000000 + 1000 * s + e;
}

/* Time code of the period octets, in hours whatever unit they count in
 * (days and months as 800 and 900 plus the count), the same for both
 * editions. */
int time_code(int u, int p1, int p2, int r, int n) {
  const auto unit = static_cast<unsigned>(u);
  bool dm = false;
  switch (r) {
    case 0:
    case 1: return hours_of(p1, unit, &dm); /* an initialised analysis valid at P1 */
    case 2:
    case 3:
    case 4:
    case 5: return period_code(r, p1, p2, unit);
    case 10: return hours_of(256L * p1 + p2, unit, &dm);
    case 113: return period_code(13, p1, static_cast<long long>(n) * p2, unit);
    case 118: return period_code(18, p1, static_cast<long long>(n) * p2, unit);
    case 123: {
      const int c = hours_of(static_cast<long long>(n) * p2, unit, &dm);
      return c == KEZ_MISS ? KEZ_MISS : 23000000 + c;
    }
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
    case 109:
    case 111:
    case 113:
    case 119: return 256 * a + b;
    case 117: {
      /* Potential vorticity in 10^-9 K m^2/kg/s; the code counts 10^-6,
       * as edition 2's levels of it do. */
      const int pv = 256 * a + b;
      return pv % 1000 == 0 ? pv / 1000 : KEZ_MISS;
    }
    case 101:
    case 104:
    case 106:
    case 108:
    case 110:
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

/* The year of the year-of-century and century octets: a century of 1 to
 * 100 counts the years from its start (century 20 holds 1901 to 2000);
 * without one (0, or edition 0, which has no century octet) years below
 * 50 are this century's. */
int grib_impl::ed1_year(int year_of_century, int century) {
  if (century >= 1 && century <= 100) return (century - 1) * 100 + year_of_century;
  int year = year_of_century;
  if (year <= 49) year += 2000;
  if (year < 200) year += 1900;
  return year;
}

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
  /* A time the codes cannot hold is missing, and said so. */
  if (grd->time == KEZ_MISS)
    MESS_print(M_warn, "GRIB_PDB: No time code for time range %d of P1 %d, P2 %d in time unit %d\n", o[21], o[19],
               o[20], o[18]);
  grd->date.year = ed1_year(o[13], grd->version == 1 ? o[25] : 0); /* edition 0 has no century octet */
  grd->date.month = o[14];
  grd->date.day = o[15];
  grd->date.hour = o[16];
  grd->date.min = o[17];
  grd->ltype = o[10];
  grd->level = level_code(o[10], o[11], o[12]);
  if (grd->source == 98 && grd->ltype == 210) {
    /* ECMWF's isobaric levels in Pa (NCEP's 210 is a cloud top). */
    const int pa = 256 * o[11] + o[12];
    grd->ltype = 100;
    grd->level = pa % 100 == 0 ? pa / 100 : KEZ_MISS;
  }
  /* Octet 4 of edition 0 holds the edition, 0: not a local table. */
  const int table = o[4];
  grd->var = table < 128 && o[9] == 177 ? 571 : o[9];
  state.var_scale = 1.0f;
  units_of(grd, table);
  state.param = grd->var;
  accumulated_units(grd);
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
  /* Components relative to the grid: resolution and component flag 5. */
  state.uv_earth = (rep == 3 || rep == 5) && !(g[17] & 0x08);
  warn_earth_winds("GRIB_GDB");
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
      /* Increments given and not missing (all ones), else the spacing of
       * the corners: the rows span the latitudes and the columns the
       * longitudes (eastward, or westward for rows that run east to west),
       * each over its own number of points; thinned rows over the longest
       * row, whatever the increment says. */
      const bool given = (g[17] & 0x80) != 0;
      const unsigned long di = be_uint(&g[24], 2), dj = be_uint(&g[26], 2);
      if (given && di != 0xFFFF && !state.thin) {
        d.dx = di / 1000.0f;
      } else {
        const float lo2 = degrees(&g[21]);
        float span = state.xrev ? lo1 - lo2 : lo2 - lo1;
        while (span < 0) span += 360;
        if (span == 0 && d.nx > 1) span = 360;
        d.dx = d.nx > 1 ? span / (d.nx - 1) : MISS;
      }
      if (given && dj != 0xFFFF)
        d.dy = dj / 1000.0f;
      else
        d.dy = d.ny > 1 ? (la2 - la1) * state.ydir / (d.ny - 1) : MISS;
      if (d.dx == MISS) d.dx = d.dy;
      if (d.dy == MISS) d.dy = d.dx; /* one row or column: the other's spacing */
      if (d.dx > 30 && state.grid_id >= 37 && state.grid_id <= 44) d.dx = 1.25f;
      /* Rows that run east to west start at their eastern end. */
      const float xdir = state.xrev ? -1.0f : 1.0f;
      d.clon = d.dx == MISS ? lo1 : lo1 + xdir * d.dx * (d.nx - 1) / 2;
      while (d.clon > 180) d.clon -= 360;
      while (d.clon < -180) d.clon += 360;
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
      /* The exact middle, where the grid store puts the domain's centre;
       * rows that run east to west start at their eastern end. */
      const float xdir = state.xrev ? -1.0f : 1.0f;
      float cx = x1 + xdir * d.dx * (d.nx - 1) / 2.0f;
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
      const float xdir = state.xrev ? -1.0f : 1.0f;
      float cx = x1 + xdir * (d.nx - 1) * d.dx / 2;
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
