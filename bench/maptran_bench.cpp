/*
 * Projection throughput: every station, outline point and grid point of a
 * plot passes through MAP_tran, so its cost per point bounds the plot time.
 */
#include "kez.h"

#include <benchmark/benchmark.h>

namespace {

void make_current(int proj) {
  Domain dom;
  DOM_init(&dom);
  dom.proj = proj;
  dom.plat = 40.0f;
  dom.plon = -97.0f;
  dom.param[0] = 33.0f;
  dom.param[1] = 45.0f;
  dom.clat = 38.5f;
  dom.clon = -97.0f;
  dom.dx = dom.dy = 0.4f;
  dom.nx = 126;
  dom.ny = 76;
  MAP_domain(&dom);
}

void BM_ForwardAndInverse(benchmark::State& state) {
  make_current(static_cast<int>(state.range(0)));
  float lat = 20.0f, lon = -120.0f;
  for (auto _ : state) {
    float x, y, la, lo;
    MAP_tran(lat, lon, &x, &y);
    MAP_untran(x, y, &la, &lo);
    benchmark::DoNotOptimize(la + lo);
    lat = lat > 55.0f ? 20.0f : lat + 0.37f;
    lon = lon > -70.0f ? -120.0f : lon + 0.53f;
  }
  state.SetItemsProcessed(state.iterations());
}

/* Polar stereographic, lat/lon, Mercator, Lambert conformal. */
BENCHMARK(BM_ForwardAndInverse)->Arg(1)->Arg(2)->Arg(3)->Arg(4);

} // namespace
