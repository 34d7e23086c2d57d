/*
 * GRIB unpacking throughput. Edition 1: a 1440 x 721 field of 16-bit values
 * (with and without a bit map) and the real edition 1 files of the
 * python-grib-doc examples, each read as the grid store reads a record
 * (framing search, product definition, grid description, bit map, data).
 * Edition 2: a 1440 x 721 field in simple packing, the same repacked by
 * ecCodes' grib_set into complex and spatially differenced packing (when
 * the tool is there), one with second-order differencing built here, and
 * the real GFS, NDFD and JPEG 2000 files. Items per second are grid points
 * per second. tools/grib_bench_eccodes.sh times ecCodes' command-line tools
 * on the same messages.
 */
#include "kezgrd.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

int HANDLE = 0; /* the grid file handle of the file being decoded */

void put3(std::string& s, size_t at, unsigned v) {
  s[at] = static_cast<char>(v >> 16);
  s[at + 1] = static_cast<char>(v >> 8);
  s[at + 2] = static_cast<char>(v);
}

/* A regular 0.25-degree global field, 16 bits per value; with a bit map
 * every seventh point is absent. */
std::string make_message(bool bitmap) {
  const int ni = 1440, nj = 721;
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
  pds[16] = 0;
  pds[17] = 1;
  std::string gds(32, '\0');
  put3(gds, 0, 32);
  gds[4] = static_cast<char>(255);
  gds[6] = static_cast<char>(ni >> 8);
  gds[7] = static_cast<char>(ni & 0xFF);
  gds[8] = static_cast<char>(nj >> 8);
  gds[9] = static_cast<char>(nj & 0xFF);
  put3(gds, 10, 90000);
  gds[16] = static_cast<char>(0x80);
  put3(gds, 17, 0x800000 | 90000);
  put3(gds, 20, 359750);
  gds[23] = 0;
  gds[24] = static_cast<char>(250);
  gds[25] = 0;
  gds[26] = static_cast<char>(250);
  std::string bms;
  size_t present = static_cast<size_t>(ni) * nj;
  if (bitmap) {
    size_t octets = (present + 7) / 8;
    if (octets % 2) ++octets;
    bms.assign(6 + octets, '\0');
    put3(bms, 0, static_cast<unsigned>(bms.size()));
    size_t n = present;
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
  std::string body = pds + gds + bms + bds + "7777";
  std::string msg = "GRIB" + std::string(4, '\0') + body;
  put3(msg, 4, static_cast<unsigned>(msg.size()));
  msg[7] = 1;
  return msg;
}

/* The message as a file: kept in $KEZ_GRIB_BENCH_DIR (for timing other
 * tools on the same bytes), else a temporary file removed at exit. */
struct BenchFile {
  std::string path;
  bool keep = false;
  BenchFile(const std::string& name, const std::string& bytes) {
    const char* dir = std::getenv("KEZ_GRIB_BENCH_DIR");
    keep = dir != nullptr;
    path = keep ? std::string(dir) + "/" + name : "/tmp/kez-grib-bench-" + std::to_string(getpid()) + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  ~BenchFile() {
    if (!keep) std::remove(path.c_str());
  }
};

/* Decodes every record of the file once; the points decoded. */
long decode_all(GRD_report* rec) {
  FILE* file = GRD_get_gfile(HANDLE)->file;
  std::rewind(file);
  long points = 0;
  for (;;) {
    long start = std::ftell(file);
    GRD_setpos(HANDLE, start, 0);
    if (GRIB_header(HANDLE) < 0) break;
    if (GRIB_PDB(HANDLE, rec, 0) > 0 && GRIB_GDB(HANDLE, rec) > 0) {
      GRIB_BMB(HANDLE, rec);
      if (GRIB_BDB(HANDLE, rec) == 1) points += static_cast<long>(rec->domain.nx) * rec->domain.ny;
    }
    std::fseek(file, start, SEEK_SET);
    if (GRIB_header(HANDLE) < 0 || GRIB_next(HANDLE, 1) < 0) break;
  }
  return points;
}

/* Times one decoder over every message of a file; nothing decoded is a
 * skipped benchmark rather than a rate of zero. */
void run_decoder(benchmark::State& st, const std::string& path, long (*decode)(GRD_report*)) {
  MESS_set(0, M_none);
  int type = GRD_TYPE_GRIB;
  HANDLE = GRD_open(path.c_str(), GRD_ACCESS_READ, &type);
  if (HANDLE < 0) {
    st.SkipWithError("file not found");
    return;
  }
  GRD_report rec{};
  long points = 0;
  for (auto _ : st) {
    points = decode(&rec);
    benchmark::DoNotOptimize(rec.grid);
  }
  if (points == 0) st.SkipWithError("nothing decoded");
  st.SetItemsProcessed(st.iterations() * points);
  std::free(rec.grid);
  GRD_close(HANDLE);
}

void run(benchmark::State& st, const std::string& path) { run_decoder(st, path, decode_all); }

void BM_Field16(benchmark::State& st) {
  static const BenchFile file("field16.grb", make_message(false));
  run(st, file.path);
}

void BM_Field16BitMap(benchmark::State& st) {
  static const BenchFile file("field16_bitmap.grb", make_message(true));
  run(st, file.path);
}

const std::string examples = "/usr/share/doc/python-grib-doc/examples/";

/* --- edition 2 ------------------------------------------------------------ */

std::string be(unsigned long long v, int n) {
  std::string s;
  for (int i = n - 1; i >= 0; --i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  return s;
}

std::string section(int num, const std::string& body) { return be(body.size() + 5, 4) + static_cast<char>(num) + body; }

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

/* The 1440 x 721 field in hundredths, simple packing (order 0) or
 * second-order spatial differencing in one group (order 2). */
std::string make_ed2(int order) {
  const int ni = 1440, nj = 721;
  std::vector<long> x(static_cast<size_t>(ni) * nj);
  for (int j = 0; j < nj; ++j)
    for (int i = 0; i < ni; ++i)
      x[static_cast<size_t>(j) * ni + i] =
          std::lround(100 * (30 * std::sin(i * 0.01) + 20 * std::cos(j * 0.02) + 5 * std::sin((i + j) * 0.1)));
  const long lo = *std::min_element(x.begin(), x.end());
  std::string s1 = section(1, be(7, 2) + be(0, 2) + be(2, 1) + be(1, 1) + be(1, 1) + be(2024, 2) + be(1, 1) + be(1, 1) +
                                  be(0, 3) + be(0, 1) + be(1, 1));
  std::string g = be(0, 1) + be(static_cast<unsigned long long>(ni) * nj, 4) + be(0, 2) + be(0, 2) + be(6, 1) +
                  std::string(15, '\0') + be(ni, 4) + be(nj, 4) + be(0, 4) + be(0xFFFFFFFF, 4) + be(90000000, 4) +
                  be(0, 4) + be(0x30, 1) + be(0x80000000u | 90000000, 4) + be(359750000, 4) + be(250000, 4) +
                  be(250000, 4) + be(0, 1);
  std::string s3 = section(3, g);
  std::string s4 = section(4, be(0, 2) + be(0, 2) + std::string(25, '\0'));
  const std::string ref = be(0, 4); /* R = 0, E = 0, D = 2 */
  std::string s5, s7;
  if (order == 0) {
    std::vector<unsigned> p(x.size());
    for (size_t k = 0; k < x.size(); ++k) p[k] = static_cast<unsigned>(x[k] - lo);
    s5 = section(5, be(x.size(), 4) + be(0, 2) + be(std::bit_cast<uint32_t>(static_cast<float>(lo)), 4) + be(0, 2) +
                        be(2, 2) + be(16, 1) + be(0, 1));
    s7 = section(7, pack(p, 16));
  } else {
    std::vector<long> d(x.size(), 0);
    for (size_t k = 2; k < x.size(); ++k) d[k] = x[k] - 2 * x[k - 1] + x[k - 2];
    long dmin = *std::min_element(d.begin() + 2, d.end()), dmax = *std::max_element(d.begin() + 2, d.end());
    int w = 1;
    while ((1L << w) <= dmax - dmin) ++w;
    std::vector<unsigned> p(x.size(), 0);
    for (size_t k = 2; k < x.size(); ++k) p[k] = static_cast<unsigned>(d[k] - dmin);
    auto sm = [](long v) { return be(static_cast<unsigned long long>(v < 0 ? (0x800000L | -v) : v), 3); };
    s5 = section(5, be(x.size(), 4) + be(3, 2) + ref + be(0, 2) + be(2, 2) + be(0, 1) + be(0, 1) + be(1, 1) + be(0, 1) +
                        be(0, 4) + be(0, 4) + be(1, 4) + be(static_cast<unsigned long long>(w), 1) + be(0, 1) +
                        be(0, 4) + be(1, 1) + be(x.size(), 4) + be(0, 1) + be(2, 1) + be(3, 1));
    s7 = section(7, sm(x[0]) + sm(x[1]) + sm(dmin) + pack(p, w));
  }
  std::string body = s1 + s3 + s4 + s5 + section(6, be(255, 1)) + s7;
  return "GRIB" + std::string("\0\0\0\x02", 4) + be(16 + body.size() + 4, 8) + body + "7777";
}

/* Decodes every edition 2 field of the file once; the points decoded. */
long decode_all_ed2(GRD_report* rec) {
  FILE* file = GRD_get_gfile(HANDLE)->file;
  std::rewind(file);
  long points = 0;
  for (;;) {
    long start = std::ftell(file);
    GRD_setpos(HANDLE, start, 0);
    if (GRIB_header(HANDLE) < 0) break;
    if (GRIB_get_version() == 2) {
      while (GRIB_read_section(HANDLE)) {
        switch (GRIB_get_sect()) {
          case 1: GRIB_IDS(HANDLE, rec); break;
          case 3: GRIB_GDS(HANDLE, rec); break;
          case 5: GRIB_DRS(HANDLE, rec); break;
          case 6: GRIB_BMS(HANDLE); break;
          case 7:
            if (GRIB_DS(HANDLE, rec) == 1) points += static_cast<long>(rec->domain.nx) * rec->domain.ny;
            break;
          default: GRIB_skip_section(HANDLE); break;
        }
      }
    }
    std::fseek(file, start, SEEK_SET);
    if (GRIB_header(HANDLE) < 0 || GRIB_next(HANDLE, 1) < 0) break;
  }
  return points;
}

void run2(benchmark::State& st, const std::string& path) { run_decoder(st, path, decode_all_ed2); }

const BenchFile& simple2() {
  static const BenchFile file("field2_simple.grb", make_ed2(0));
  return file;
}

/* The simple field repacked by grib_set; empty when the tool fails. */
std::string repacked(const char* name, const char* packing) {
  const std::string path = simple2().path + name;
  const std::string cmd =
      "grib_set -r -s packingType=" + std::string(packing) + " " + simple2().path + " " + path + " 2>/dev/null";
  return std::system(cmd.c_str()) == 0 ? path : std::string();
}

void BM_Ed2Simple(benchmark::State& st) { run2(st, simple2().path); }

void BM_Ed2Complex(benchmark::State& st) {
  static const std::string path = repacked(".complex", "grid_complex");
  run2(st, path);
}

void BM_Ed2ComplexDiff(benchmark::State& st) {
  static const std::string path = repacked(".spdiff", "grid_complex_spatial_differencing");
  run2(st, path);
}

void BM_Ed2SecondOrder(benchmark::State& st) {
  static const BenchFile file("field2_order2.grb", make_ed2(2));
  run2(st, file.path);
}

void BM_Ed2Gfs(benchmark::State& st) { run2(st, examples + "gfs.t12z.pgrbf120.2p5deg.grib2"); }
void BM_Ed2NdfdMaxt(benchmark::State& st) { run2(st, examples + "ds.maxt.bin"); }
void BM_Ed2NdfdWaveh(benchmark::State& st) { run2(st, examples + "ds.waveh.bin"); }
void BM_Ed2Jpeg(benchmark::State& st) { run2(st, examples + "safrica.grib2"); }

void BM_RotatedLatLon(benchmark::State& st) { run(st, examples + "rotated_ll.grib1"); }
void BM_Ecoclimap(benchmark::State& st) { run(st, examples + "cl00010000_ecoclimap_rot.grib1"); }

} // namespace

BENCHMARK(BM_Field16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Field16BitMap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RotatedLatLon)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ecoclimap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ed2Simple)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ed2Complex)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ed2ComplexDiff)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ed2SecondOrder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ed2Gfs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ed2NdfdMaxt)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ed2NdfdWaveh)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ed2Jpeg)->Unit(benchmark::kMillisecond);
