/*
 * GRIB edition 1 unpacking throughput: a 1440 x 721 field of 16-bit values
 * (with and without a bit map) and the real edition 1 files of the
 * python-grib-doc examples, each read as the grid store reads a record
 * (framing search, product definition, grid description, bit map, data).
 * Items per second are grid points per second. tools/grib_bench_eccodes.sh
 * times ecCodes' command-line tools on the same messages.
 */
#include "kezgrd.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
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

void run(benchmark::State& st, const std::string& path) {
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
    points = decode_all(&rec);
    benchmark::DoNotOptimize(rec.grid);
  }
  st.SetItemsProcessed(st.iterations() * points);
  std::free(rec.grid);
  GRD_close(HANDLE);
}

void BM_Field16(benchmark::State& st) {
  static const BenchFile file("field16.grb", make_message(false));
  run(st, file.path);
}

void BM_Field16BitMap(benchmark::State& st) {
  static const BenchFile file("field16_bitmap.grb", make_message(true));
  run(st, file.path);
}

const std::string examples = "/usr/share/doc/python-grib-doc/examples/";

void BM_RotatedLatLon(benchmark::State& st) { run(st, examples + "rotated_ll.grib1"); }
void BM_Ecoclimap(benchmark::State& st) { run(st, examples + "cl00010000_ecoclimap_rot.grib1"); }

} // namespace

BENCHMARK(BM_Field16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Field16BitMap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RotatedLatLon)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ecoclimap)->Unit(benchmark::kMillisecond);
