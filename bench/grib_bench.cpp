/*
 * GRIB decoding against ecCodes, on the same messages in one run: each
 * iteration decodes every field of a file once with the suite's decoder
 * (framing search, sections, every value unpacked into the grid) and once
 * with ecCodes' library (a handle read from the same open file, every value
 * fetched as "values"), in alternating order. The table at the end gives
 * the median time of each and the median of the paired ratios, suite over
 * ecCodes: below 1 the suite is faster.
 *
 * Fields: a 1440 x 721 global field of 16-bit values in edition 1 (with
 * and without a bit map) and edition 2 (simple packing, with a bit map,
 * and repacked by ecCodes into complex, spatially differenced and JPEG 2000
 * packing), a second-order field in one group built here, ecCodes' thinned
 * 0.36-degree sample in both editions with values put in, a run-length
 * field built here (ecCodes has no reader for it: the suite alone), and
 * the real python-grib-doc files. Built without ecCodes' library, the suite
 * is timed alone.
 */
#include "kezgrd.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

#ifdef KEZ_HAVE_ECCODES
#include <eccodes.h>
#endif

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int NI = 1440, NJ = 721; /* the 0.25-degree global field */
const std::string examples = "/usr/share/doc/python-grib-doc/examples/";

/* --- messages built here ---------------------------------------------------- */

std::string be(unsigned long long v, int n) {
  std::string s;
  for (int i = n - 1; i >= 0; --i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  return s;
}

void put3(std::string& s, size_t at, unsigned v) {
  s[at] = static_cast<char>(v >> 16);
  s[at + 1] = static_cast<char>(v >> 8);
  s[at + 2] = static_cast<char>(v);
}

std::string pack(const std::vector<unsigned>& v, int bits) {
  std::string out;
  unsigned long long acc = 0;
  int n = 0;
  for (unsigned x : v) {
    acc = (acc << bits) | x;
    n += bits;
    while (n >= 8) {
      out.push_back(static_cast<char>((acc >> (n - 8)) & 0xFF));
      n -= 8;
    }
  }
  if (n) out.push_back(static_cast<char>((acc << (8 - n)) & 0xFF));
  return out;
}

/* Edition 1, 16 bits per value; with a bit map every seventh point is absent. */
std::string make_ed1(bool bitmap) {
  std::string pds(28, '\0');
  put3(pds, 0, 28);
  pds[3] = 2;
  pds[4] = 7;
  pds[5] = 80;
  pds[6] = static_cast<char>(255);
  pds[7] = static_cast<char>(bitmap ? 0xC0 : 0x80);
  pds[8] = 11;
  pds[9] = 100;
  pds[11] = static_cast<char>(244);
  pds[12] = 24;
  pds[13] = 1;
  pds[14] = 1;
  pds[17] = 1;
  std::string gds(32, '\0');
  put3(gds, 0, 32);
  gds[4] = static_cast<char>(255);
  gds[6] = static_cast<char>(NI >> 8);
  gds[7] = static_cast<char>(NI & 0xFF);
  gds[8] = static_cast<char>(NJ >> 8);
  gds[9] = static_cast<char>(NJ & 0xFF);
  put3(gds, 10, 90000);
  gds[16] = static_cast<char>(0x80);
  put3(gds, 17, 0x800000 | 90000);
  put3(gds, 20, 359750);
  gds[24] = static_cast<char>(250);
  gds[26] = static_cast<char>(250);
  std::string bms;
  size_t present = static_cast<size_t>(NI) * NJ;
  if (bitmap) {
    size_t octets = (present + 7) / 8;
    if (octets % 2) ++octets;
    bms.assign(6 + octets, '\0');
    put3(bms, 0, static_cast<unsigned>(bms.size()));
    const size_t n = present;
    present = 0;
    for (size_t i = 0; i < n; ++i)
      if (i % 7 != 3) {
        bms[6 + i / 8] = static_cast<char>(bms[6 + i / 8] | (0x80 >> (i % 8)));
        ++present;
      }
  }
  std::string bds(11 + 2 * present, '\0');
  if (bds.size() % 2) bds += '\0';
  put3(bds, 0, static_cast<unsigned>(bds.size()));
  bds[6] = 0x43; /* reference 200.0 in IBM floating point: 0x43 0x0C 0x80 0x00 */
  bds[7] = 0x0C;
  bds[8] = static_cast<char>(0x80);
  bds[10] = 16;
  for (size_t i = 0; i < present; ++i) {
    unsigned x = static_cast<unsigned>(32768 + 30000 * std::sin(i * 0.001));
    bds[11 + 2 * i] = static_cast<char>(x >> 8);
    bds[12 + 2 * i] = static_cast<char>(x & 0xFF);
  }
  std::string msg = "GRIB" + std::string(4, '\0') + pds + gds + bms + bds + "7777";
  put3(msg, 4, static_cast<unsigned>(msg.size()));
  msg[7] = 1;
  return msg;
}

std::string section(int num, const std::string& body) { return be(body.size() + 5, 4) + static_cast<char>(num) + body; }

std::string ed2_message(const std::string& s5, const std::string& s6, const std::string& s7) {
  const std::string s1 = section(1, be(7, 2) + be(0, 2) + be(2, 1) + be(1, 1) + be(1, 1) + be(2024, 2) + be(1, 1) +
                                        be(1, 1) + be(0, 3) + be(0, 1) + be(1, 1));
  const std::string g = be(0, 1) + be(static_cast<unsigned long long>(NI) * NJ, 4) + be(0, 2) + be(0, 2) + be(6, 1) +
                        std::string(15, '\0') + be(NI, 4) + be(NJ, 4) + be(0, 4) + be(0xFFFFFFFF, 4) + be(90000000, 4) +
                        be(0, 4) + be(0x30, 1) + be(0x80000000u | 90000000, 4) + be(359750000, 4) + be(250000, 4) +
                        be(250000, 4) + be(0, 1);
  const std::string s4 = section(4, be(0, 2) + be(0, 2) + std::string(25, '\0'));
  const std::string body = s1 + section(3, g) + s4 + s5 + s6 + s7;
  return "GRIB" + std::string("\0\0\0\x02", 4) + be(16 + body.size() + 4, 8) + body + "7777";
}

/* The field in hundredths. */
std::vector<long> hundredths() {
  std::vector<long> x(static_cast<size_t>(NI) * NJ);
  for (int j = 0; j < NJ; ++j)
    for (int i = 0; i < NI; ++i)
      x[static_cast<size_t>(j) * NI + i] =
          std::lround(100 * (30 * std::sin(i * 0.01) + 20 * std::cos(j * 0.02) + 5 * std::sin((i + j) * 0.1)));
  return x;
}

/* Edition 2, simple packing of 16 bits (order 0) or second-order spatial
 * differencing in one group (order 2). */
std::string make_ed2(int order) {
  const std::vector<long> x = hundredths();
  const long lo = *std::min_element(x.begin(), x.end());
  const std::string nobm = section(6, be(255, 1));
  if (order == 0) {
    std::vector<unsigned> p(x.size());
    for (size_t k = 0; k < x.size(); ++k) p[k] = static_cast<unsigned>(x[k] - lo);
    const std::string s5 =
        section(5, be(x.size(), 4) + be(0, 2) + be(std::bit_cast<uint32_t>(static_cast<float>(lo)), 4) + be(0, 2) +
                       be(2, 2) + be(16, 1) + be(0, 1));
    return ed2_message(s5, nobm, section(7, pack(p, 16)));
  }
  std::vector<long> d(x.size(), 0);
  for (size_t k = 2; k < x.size(); ++k) d[k] = x[k] - 2 * x[k - 1] + x[k - 2];
  const long dmin = *std::min_element(d.begin() + 2, d.end()), dmax = *std::max_element(d.begin() + 2, d.end());
  int w = 1;
  while ((1L << w) <= dmax - dmin) ++w;
  std::vector<unsigned> p(x.size(), 0);
  for (size_t k = 2; k < x.size(); ++k) p[k] = static_cast<unsigned>(d[k] - dmin);
  auto sm = [](long v) { return be(static_cast<unsigned long long>(v < 0 ? (0x800000L | -v) : v), 3); };
  const std::string s5 =
      section(5, be(x.size(), 4) + be(3, 2) + be(0, 4) + be(0, 2) + be(2, 2) + be(0, 1) + be(0, 1) + be(1, 1) +
                     be(0, 1) + be(0, 4) + be(0, 4) + be(1, 4) + be(static_cast<unsigned long long>(w), 1) + be(0, 1) +
                     be(0, 4) + be(1, 1) + be(x.size(), 4) + be(0, 1) + be(2, 1) + be(3, 1));
  return ed2_message(s5, nobm, section(7, sm(x[0]) + sm(x[1]) + sm(dmin) + pack(p, w)));
}

/* Run-length packing of a radar-like field: 16 levels in runs of 1 to 60
 * points, 8 bits, so most runs take a level and one length digit. */
std::string make_run_length() {
  const int levels = 16, bits = 8, mv = levels;
  std::string s5 =
      be(static_cast<unsigned long long>(NI) * NJ, 4) + be(200, 2) + be(bits, 1) + be(mv, 2) + be(levels, 2) + be(1, 1);
  for (int l = 1; l <= levels; ++l) s5 += be(static_cast<unsigned long long>(l * 5), 2);
  std::vector<unsigned> codes;
  const unsigned base = (1u << bits) - (mv + 1);
  long left = static_cast<long>(NI) * NJ;
  for (long k = 0; left > 0; ++k) {
    const long run = std::min<long>(left, 1 + (k * 37) % 60);
    codes.push_back(static_cast<unsigned>((k * 7) % (levels + 1)));
    for (long more = run - 1; more > 0; more /= base) codes.push_back(static_cast<unsigned>(mv + 1 + more % base));
    left -= run;
  }
  return ed2_message(section(5, s5), section(6, be(255, 1)), section(7, pack(codes, bits)));
}

#ifdef KEZ_HAVE_ECCODES
/* ecCodes' message after changes made through its handle; empty on failure. */
template <class Change>
std::string eccodes_made(codes_handle* h, Change change) {
  std::string out;
  if (h && change(h) == 0) {
    const void* m = nullptr;
    size_t n = 0;
    if (codes_get_message(h, &m, &n) == 0) out.assign(static_cast<const char*>(m), n);
  }
  if (h) codes_handle_delete(h);
  return out;
}

/* The edition 2 field repacked by ecCodes. */
std::string repacked(const char* packing) {
  const std::string simple = make_ed2(0);
  return eccodes_made(codes_handle_new_from_message_copy(nullptr, simple.data(), simple.size()), [&](codes_handle* h) {
    size_t len = std::char_traits<char>::length(packing);
    return codes_set_string(h, "packingType", packing, &len);
  });
}

/* The edition 2 field with a bit map: every seventh point and a block of
 * rows missing. */
std::string with_bitmap() {
  const std::string simple = make_ed2(0);
  return eccodes_made(codes_handle_new_from_message_copy(nullptr, simple.data(), simple.size()), [](codes_handle* h) {
    size_t n = 0;
    if (codes_get_size(h, "values", &n) != 0) return -1;
    std::vector<double> v(n);
    if (codes_get_double_array(h, "values", v.data(), &n) != 0) return -1;
    for (size_t i = 0; i < n; ++i)
      if (i % 7 == 3 || (i >= 100000 && i < 160000)) v[i] = 9999;
    if (codes_set_long(h, "bitmapPresent", 1) != 0 || codes_set_double(h, "missingValue", 9999) != 0) return -1;
    return codes_set_double_array(h, "values", v.data(), n);
  });
}

/* ecCodes' thinned sample of the edition with smooth 16-bit values. */
std::string thinned(int edition) {
  const std::string sample = "reduced_ll_sfc_grib" + std::to_string(edition);
  return eccodes_made(codes_grib_handle_new_from_samples(nullptr, sample.c_str()), [](codes_handle* h) {
    size_t rows = 0;
    if (codes_get_size(h, "pl", &rows) != 0) return -1;
    std::vector<long> pl(rows);
    if (codes_get_long_array(h, "pl", pl.data(), &rows) != 0) return -1;
    std::vector<double> v;
    for (size_t j = 0; j < rows; ++j)
      for (long i = 0; i < pl[j]; ++i) v.push_back(280 + 20 * std::sin(i * 0.05) + 0.01 * static_cast<double>(j));
    if (codes_set_long(h, "bitsPerValue", 16) != 0) return -1;
    return codes_set_double_array(h, "values", v.data(), v.size());
  });
}
#else
std::string repacked(const char*) { return {}; }
std::string with_bitmap() { return {}; }
std::string thinned(int) { return {}; }
#endif

/* --- the files ---------------------------------------------------------------- */

/* A message as a temporary file, removed at exit. */
struct BenchFile {
  std::string path;
  explicit BenchFile(const std::string& name, const std::string& bytes) {
    if (bytes.empty()) return;
    const std::string p = "/tmp/kez-grib-bench-" + std::to_string(getpid()) + "-" + name;
    FILE* f = std::fopen(p.c_str(), "wb");
    if (!f) return;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) == 0 && ok) path = p;
  }
  ~BenchFile() {
    if (!path.empty()) std::remove(path.c_str());
  }
  BenchFile(const BenchFile&) = delete;
  BenchFile& operator=(const BenchFile&) = delete;
};

/* --- the two decoders ---------------------------------------------------------- */

struct Decoded {
  long fields = 0; /* fields with values */
  long points = 0; /* grid points filled */
};

/* Every field of the file through the suite's decoder, section by section
 * as the grid store reads them. */
Decoded kez_decode(int handle, GRD_report* rec) {
  FILE* file = GRD_get_gfile(handle)->file;
  std::rewind(file);
  Decoded d;
  auto count = [&] {
    ++d.fields;
    d.points += static_cast<long>(rec->domain.nx) * rec->domain.ny;
  };
  for (;;) {
    const long start = std::ftell(file);
    GRD_setpos(handle, start, 0);
    if (GRIB_header(handle) < 0) break;
    if (GRIB_get_version() == 2) {
      while (GRIB_read_section(handle)) {
        switch (GRIB_get_sect()) {
          case 1: GRIB_IDS(handle, rec); break;
          case 3: GRIB_GDS(handle, rec); break;
          case 4: GRIB_PDS(handle, rec); break;
          case 5: GRIB_DRS(handle, rec); break;
          case 6: GRIB_BMS(handle); break;
          case 7:
            if (GRIB_DS(handle, rec) == 1) count();
            break;
          default: GRIB_skip_section(handle); break;
        }
      }
    } else if (GRIB_PDB(handle, rec, 0) > 0 && GRIB_GDB(handle, rec) > 0) {
      GRIB_BMB(handle, rec);
      if (GRIB_BDB(handle, rec) == 1) count();
    }
    std::fseek(file, start, SEEK_SET);
    if (GRIB_header(handle) < 0 || GRIB_next(handle, 1) < 0) break;
  }
  return d;
}

#ifdef KEZ_HAVE_ECCODES
/* Every field of the file through ecCodes: a handle per field read from
 * the open file (a message may hold several), and every value decoded. */
Decoded eccodes_decode(FILE* file, std::vector<double>* values) {
  codes_grib_multi_support_on(nullptr);
  std::rewind(file);
  codes_grib_multi_support_reset_file(nullptr, file);
  Decoded d;
  int err = 0;
  while (codes_handle* h = codes_handle_new_from_file(nullptr, file, PRODUCT_GRIB, &err)) {
    size_t n = 0;
    if (codes_get_size(h, "values", &n) == 0) {
      if (values->size() < n) values->resize(n);
      if (codes_get_double_array(h, "values", values->data(), &n) == 0) {
        ++d.fields;
        d.points += static_cast<long>(n);
      }
    }
    codes_handle_delete(h);
  }
  return d;
}
#endif

/* --- timing -------------------------------------------------------------------- */

struct Result {
  std::string packing, field;
  long points = 0;    /* values as packed (ecCodes' count, else the suite's grid) */
  double kez = 0;     /* median ms */
  double eccodes = 0; /* median ms; 0 without the peer */
  double ratio = 0;   /* median of the paired ratios */
};
std::map<std::string, Result> results; /* by case; the last run of each counts */
std::vector<std::string> order;        /* the cases in the order they ran */

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t m = v.size() / 2;
  return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

double ms_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

/* Times the suite and ecCodes on one file, alternately; a case whose file
 * could not be made, or that either side cannot read whole, is skipped. */
void compare(benchmark::State& st, const char* name, const char* packing, const char* field, const std::string& path,
             bool peer) {
  MESS_set(0, M_none);
  int type = GRD_TYPE_GRIB;
  const int handle = path.empty() ? -1 : GRD_open(path.c_str(), GRD_ACCESS_READ, &type);
  if (handle < 0) {
    st.SkipWithError("no file");
    return;
  }
  GRD_report rec{};
  std::vector<double> kez_ms, peer_ms, ratios;
  Decoded ours, theirs;
#ifdef KEZ_HAVE_ECCODES
  FILE* pf = peer ? std::fopen(path.c_str(), "rb") : nullptr;
  std::vector<double> values;
#else
  FILE* pf = nullptr;
  peer = false;
#endif
  bool ours_first = true;
  for (auto _ : st) {
    double tk = 0, tp = 0;
    for (int side = 0; side < 2; ++side) {
      const auto t0 = std::chrono::steady_clock::now();
      if ((side == 0) == ours_first) {
        ours = kez_decode(handle, &rec);
        benchmark::DoNotOptimize(rec.grid);
        tk = ms_since(t0);
      } else if (pf) {
#ifdef KEZ_HAVE_ECCODES
        theirs = eccodes_decode(pf, &values);
        benchmark::DoNotOptimize(values.data());
        tp = ms_since(t0);
#endif
      }
    }
    ours_first = !ours_first;
    st.SetIterationTime(tk / 1000);
    kez_ms.push_back(tk);
    if (pf) {
      peer_ms.push_back(tp);
      ratios.push_back(tk / tp);
    }
  }
  if (pf) std::fclose(pf);
  std::free(rec.grid);
  GRD_close(handle);
  if (ours.fields == 0) {
    st.SkipWithError("nothing decoded");
    return;
  }
  if (pf && ours.fields != theirs.fields) {
    const std::string why =
        "the suite read " + std::to_string(ours.fields) + " fields, ecCodes " + std::to_string(theirs.fields);
    st.SkipWithError(why.c_str());
    return;
  }
  if (std::find(order.begin(), order.end(), name) == order.end()) order.emplace_back(name);
  Result& r = results[name];
  r = Result{packing, field, pf ? theirs.points : ours.points, median(kez_ms), median(peer_ms), median(ratios)};
  st.SetItemsProcessed(st.iterations() * r.points);
  st.counters["kez_ms"] = r.kez;
  if (pf) {
    st.counters["eccodes_ms"] = r.eccodes;
    st.counters["ratio"] = r.ratio;
  }
}

#define GRIB_CASE(name, packing, field, path_expr, peer)                                        \
  void BM_##name(benchmark::State& st) { compare(st, #name, packing, field, path_expr, peer); } \
  BENCHMARK(BM_##name)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0)

const std::string& made(const char* name, std::string (*make)()) {
  static std::map<std::string, BenchFile> files;
  auto it = files.find(name);
  if (it == files.end()) it = files.try_emplace(name, name, make()).first;
  return it->second.path;
}

GRIB_CASE(Ed1Simple, "ed1 simple", "1440x721 16 bits", made("ed1_simple", [] { return make_ed1(false); }), true);
GRIB_CASE(Ed1BitMap, "ed1 simple, bit map", "1440x721 16 bits", made("ed1_bitmap", [] { return make_ed1(true); }),
          true);
GRIB_CASE(Ed1Thinned, "ed1 thinned", "reduced 0.36 deg 16 bits", made("ed1_thin", [] { return thinned(1); }), true);
GRIB_CASE(Ed1Cmc, "ed1 simple", "CMC polar stereographic",
          examples + "CMC_reg_WIND_ISBL_300_ps60km_2010052400_P012.grib", true);
GRIB_CASE(Ed2Simple, "ed2 simple", "1440x721 16 bits", made("ed2_simple", [] { return make_ed2(0); }), true);
GRIB_CASE(Ed2BitMap, "ed2 simple, bit map", "1440x721 16 bits", made("ed2_bitmap", with_bitmap), true);
GRIB_CASE(Ed2Thinned, "ed2 thinned", "reduced 0.36 deg 16 bits", made("ed2_thin", [] { return thinned(2); }), true);
GRIB_CASE(Ed2ThinnedReal, "ed2 thinned, bit map", "reduced_latlon_surface", examples + "reduced_latlon_surface.grib2",
          true);
GRIB_CASE(Ed2Eta, "ed2 simple", "eta, 181 small fields", examples + "eta.grb", true);
GRIB_CASE(Ed2Complex, "ed2 complex", "1440x721 repacked", made("ed2_complex", [] { return repacked("grid_complex"); }),
          true);
GRIB_CASE(Ed2NdfdMaxt, "ed2 complex", "NDFD maxt", examples + "ds.maxt.bin", true);
GRIB_CASE(Ed2ComplexDiff, "ed2 complex, sp. diff.", "1440x721 repacked",
          made("ed2_spdiff", [] { return repacked("grid_complex_spatial_differencing"); }), true);
GRIB_CASE(Ed2OneGroup, "ed2 complex, sp. diff.", "1440x721 one group", made("ed2_order2", [] { return make_ed2(2); }),
          true);
GRIB_CASE(Ed2Gfs, "ed2 complex, sp. diff.", "GFS 2.5 deg, 343 fields", examples + "gfs.t12z.pgrbf120.2p5deg.grib2",
          true);
GRIB_CASE(Ed2NdfdWaveh, "ed2 complex, sp. diff.", "NDFD waveh", examples + "ds.waveh.bin", true);
GRIB_CASE(Ed2Jpeg, "ed2 JPEG 2000", "1440x721 repacked", made("ed2_jpeg", [] { return repacked("grid_jpeg"); }), true);
GRIB_CASE(Ed2JpegReal, "ed2 JPEG 2000", "safrica", examples + "safrica.grib2", true);
GRIB_CASE(Ed2RunLength, "ed2 run-length", "1440x721 8 bits", made("ed2_rle", make_run_length), false);

/* The table of the results, in the order the cases ran. */
void print_table() {
  std::printf("\n%-24s %-28s %10s %10s %11s %7s\n", "packing", "field", "points", "kez ms", "ecCodes ms", "ratio");
  for (const std::string& name : order) {
    const Result& r = results[name];
    if (r.eccodes > 0)
      std::printf("%-24s %-28s %10ld %10.3f %11.3f %7.2f\n", r.packing.c_str(), r.field.c_str(), r.points, r.kez,
                  r.eccodes, r.ratio);
    else
      std::printf("%-24s %-28s %10ld %10.3f %11s %7s\n", r.packing.c_str(), r.field.c_str(), r.points, r.kez, "-", "-");
  }
}

} // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  print_table();
  benchmark::Shutdown();
  return 0;
}
