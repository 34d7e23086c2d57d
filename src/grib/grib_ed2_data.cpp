/*
 * grib_ed2_data: the GRIB decoder's edition 2 values.
 *
 * The data representation (GRIB_DRS: simple, complex and spatially
 * differenced, JPEG 2000 and run-length packing), the bit map (GRIB_BMS,
 * its reuse within a message) and the data section (GRIB_DS). A data
 * section is read whole, padded for the bit readers, and unpacked straight
 * into the grid through one sink (FieldSink) that lays out the rows: north
 * to south, turned where a row runs east to west, thinned rows stretched,
 * points the bit map leaves out missing.
 */
#include "grib_impl.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace grib_impl;

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
  /* An image of more or fewer samples than the field's values would leave
   * points missing or values at other points. */
  if (static_cast<long long>(img.width) * img.height != present) {
    MESS_print(M_warn, "GRIB_DS: The image holds %lld values for the field's %ld\n",
               static_cast<long long>(img.width) * img.height, present);
    return "";
  }
  if (img.height > 1 && !state.thin && !state.bmb_on) {
    /* Image rows are grid rows in message order (with a bit map, the
     * samples are the present points, whatever the image's shape). */
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

/* Run-length packing: runs of level numbers over the present points in
 * message order, laid out by the sink like any other values. */
const char* unpack_run_length(const Packed& data, FieldSink& sink, long npts) {
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
    const float v = cur == 0 ? MISS : state.map[static_cast<size_t>(cur - 1)];
    const long long k = std::min<long long>(num, npts - pos);
    sink.fill(static_cast<long>(k), v);
    pos += static_cast<long>(k);
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
  sink.finish();
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
  if (state.bmb_on && static_cast<long long>(state.bmb.size()) * 8 < npts)
    return refuse_ds(f, start, grd, "The bit map is shorter than the grid");
  long present = static_cast<long>(npts);
  if (state.bmb_on) present = grib_unpack::count_bits(state.bmb.data(), 0, present);
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
  FieldSink sink(grid);
  const char* why = nullptr;
  switch (templ) {
    case 200: why = unpack_run_length(data, sink, present); break;
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
