/*
 * Station table throughput: a plot loads the stations of its domain once and
 * then looks up one station per report, by identifier or by position (the
 * value read-out), so both must stay cheap on the shipped database.
 */
#include "kez.h"
#include "kezcty.h"

#include <benchmark/benchmark.h>

namespace {

Domain us_domain() {
  Domain d;
  DOM_init(&d);
  DOM_get_def_region("us", &d);
  return d;
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

BENCHMARK(BM_StoreContiguousUs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchByIdentifier);
BENCHMARK(BM_NearestStation)->Arg(1)->Arg(10)->Arg(45)->Arg(60);
