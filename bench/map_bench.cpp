/*
 * Drawing the world map: every outline point of the finest bundled file is
 * read, projected and drawn into a metafile, so this bounds how long a map
 * background adds to a plot.
 */
#include "kez.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

namespace {

void BM_WorldMap(benchmark::State& state) {
  const std::string out = "/tmp/kez-map-bench.ps";
  RES_put("file_path", KEZ_DATA_DIR);
  RES_put("device", ("p," + out).c_str());
  Domain dom{};
  DOM_decode("latlon,0,0,0,2,2,180,90", &dom);
  if (PLT_open(DOM_aspect(&dom)) != 0) {
    state.SkipWithError("no plot");
    return;
  }
  MAP_setup(&dom);
  const std::string file = std::string(KEZ_DATA_DIR) + "/kezfine.map";
  for (auto _ : state) {
    FILE* fp = std::fopen(file.c_str(), "rb");
    benchmark::DoNotOptimize(MAP_map(fp));
    std::fclose(fp);
  }
  PLT_close();
  std::remove(out.c_str());
}
BENCHMARK(BM_WorldMap)->Unit(benchmark::kMillisecond);

} // namespace
