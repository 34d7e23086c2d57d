/*
 * Station table throughput: a plot loads the stations of its domain once and
 * then looks up one station per report, by identifier or by position (the
 * value read-out), so both must stay cheap on the shipped database.
 *
 * BM_StoreStations/<stations>/<distinct>: a station database of that many
 * stations over the contiguous United States, with every WMO number
 * missing (99999, as in the shipped database) or all of them distinct,
 * loaded into a table with location keys; beside it the same file read
 * into dictionaries by Python (tools/cty_bench_peer.py, its own time
 * without the interpreter's start-up) and the ratio. The cost per station
 * stays flat from 500 to 50,000 stations whatever the WMO numbers.
 */
#include "kez.h"
#include "kezcty.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <random>
#include <string>

namespace {

Domain us_domain() {
  Domain d;
  DOM_init(&d);
  DOM_get_def_region("us", &d);
  return d;
}

std::string source_dir() {
  std::string d = KEZ_DATA_DIR;
  return d.substr(0, d.rfind('/'));
}

/* Station databases in a folder of their own, made once per kind. */
struct Databases {
  std::string dir;
  std::map<std::pair<int, bool>, std::string> names;
  Databases() {
    char tmpl[] = "/tmp/kez_cty_bench.XXXXXX";
    dir = ::mkdtemp(tmpl) ? tmpl : "/tmp";
  }
  ~Databases() {
    for (const auto& [key, name] : names) std::remove((dir + "/" + name).c_str());
    ::rmdir(dir.c_str());
  }
  const std::string& get(int n, bool distinct) {
    auto& name = names[{n, distinct}];
    if (!name.empty()) return name;
    name = "n" + std::to_string(n) + (distinct ? "w.cty" : ".cty");
    std::mt19937 rng(static_cast<unsigned>(n));
    std::uniform_real_distribution<float> lat(30.0f, 45.0f), lon(-110.0f, -80.0f);
    if (FILE* f = std::fopen((dir + "/" + name).c_str(), "w")) {
      for (int k = 0; k < n; ++k)
        std::fprintf(f, "Station_%-12d XX US K%05d 5 %10.2f %8.2f  9999 %5d 0\n", k, k, static_cast<double>(lat(rng)),
                     static_cast<double>(lon(rng)), distinct ? 10000 + k % 90000 : 99999);
      std::fclose(f);
    }
    return name;
  }
};

Databases& databases() {
  static Databases d;
  return d;
}

/* The peer's time in ms to read the file into its dictionaries, or -1. */
double peer_ms(const std::string& file) {
  const std::string cmd = "/usr/bin/python3 " + source_dir() + "/tools/cty_bench_peer.py " + file;
  double ms = -1;
  if (FILE* p = ::popen(cmd.c_str(), "r")) {
    if (std::fscanf(p, "%lf", &ms) != 1) ms = -1;
    ::pclose(p);
  }
  return ms;
}

void BM_StoreStations(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const bool distinct = state.range(1) != 0;
  Databases& db = databases();
  const std::string name = db.get(n, distinct);
  RES_put("file_path", db.dir.c_str());
  MESS_set(-1, M_mess | M_out3 | M_out4);
  Domain d = us_domain();
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    benchmark::DoNotOptimize(CTY_store(name.c_str(), CTY_TABLE_POS_LOC, &d, 9));
    CTY_clear();
  }
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() /
                    static_cast<double>(state.iterations());
  CTY_store(name.c_str(), CTY_TABLE_POS_LOC, &d, 9);
  int stored = 0;
  TAB_table* tab = CTY_get_table();
  TAB_first(tab);
  while (TAB_next(tab)) ++stored;
  CTY_clear();
  state.counters["stored"] = stored;
  state.counters["us_per_station"] = 1000.0 * ms / n;
  const double peer = peer_ms(db.dir + "/" + name);
  if (peer > 0) {
    state.counters["peer_ms"] = peer;
    state.counters["ratio"] = ms / peer;
  }
}

void BM_StoreContiguousUs(benchmark::State& state) {
  RES_put("file_path", KEZ_DATA_DIR);
  Domain d = us_domain();
  for (auto _ : state) {
    benchmark::DoNotOptimize(CTY_store(nullptr, CTY_TABLE_POS_LOC, &d, 7));
    CTY_clear();
  }
}

void BM_SearchByIdentifier(benchmark::State& state) {
  RES_put("file_path", KEZ_DATA_DIR);
  Domain d = us_domain();
  CTY_store(nullptr, CTY_TABLE_POS, &d, 9);
  const char* ids[] = {"DEN", "ORD", "ATL", "NOPE", "LAX", "SEA"};
  size_t i = 0;
  for (auto _ : state) {
    CTY_locate loc;
    benchmark::DoNotOptimize(CTY_search(ids[i++ % 6], &loc));
  }
  CTY_clear();
}

/* range(0): tenths of a degree away from the nearest station, roughly. */
void BM_NearestStation(benchmark::State& state) {
  RES_put("file_path", KEZ_DATA_DIR);
  Domain d = us_domain();
  RES_put("identifier", "DEN");
  CTY_store(nullptr, CTY_TABLE_POS_LOC, &d, 9);
  RES_put("identifier", "");
  float lat = 39.87f + static_cast<float>(state.range(0)) / 10.0f;
  for (auto _ : state) {
    CTY_locate loc;
    benchmark::DoNotOptimize(CTY_search_loc(lat, -104.67f, &loc));
  }
  CTY_clear();
}

} // namespace

BENCHMARK(BM_StoreStations)
    ->ArgsProduct({{500, 5000, 50000}, {0, 1}})
    ->ArgNames({"stations", "distinct_wmo"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StoreContiguousUs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchByIdentifier);
BENCHMARK(BM_NearestStation)->Arg(1)->Arg(10)->Arg(45)->Arg(60);
