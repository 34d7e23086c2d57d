/*
 * Objective analysis of a dense network: 5,000 stations onto a 300 by 200
 * grid in two passes with a radius of influence of 3 grid lengths, once
 * through the binned station search and once visiting every station for
 * every grid point. The two give the same grids; only the time differs.
 */
#include "kez.h"
#include "kezgrd.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int kStations = 5000;
constexpr int kNx = 300;
constexpr int kNy = 200;

struct Case {
  Domain dom;
  std::vector<float> x, y, value;
  GRD_report slot;

  Case() {
    DOM_init(&dom);
    dom.proj = 2;
    dom.clat = 40;
    dom.clon = -100;
    dom.dx = dom.dy = 0.25f;
    dom.nx = kNx;
    dom.ny = kNy;
    std::memset(&slot, 0, sizeof slot);
    GRD_init(&slot);
    slot.domain = dom;
    GRD_alloc(&slot);
    Domain saved;
    MAP_get_domain(&saved);
    MAP_domain(&dom);
    std::mt19937 rng(42);
    std::uniform_real_distribution<float> ux(-2.0f, kNx + 1.0f), uy(-2.0f, kNy + 1.0f);
    for (int k = 0; k < kStations; ++k) {
      const float gx = ux(rng), gy = uy(rng);
      float px = 0, py = 0;
      MAP_grid_tran(gx, gy, &px, &py);
      x.push_back(px);
      y.push_back(py);
      value.push_back(1000.0f + gx * 0.1f - gy * 0.05f);
    }
    MAP_domain(&saved);
  }
  ~Case() { std::free(slot.grid); }
};

void analyse(benchmark::State& st, int mode) {
  MESS_set(-1, M_mess | M_out3 | M_out4);
  Case c;
  OBJ_set_search(mode);
  for (auto _ : st) {
    std::vector<float> x = c.x, y = c.y, v = c.value;
    float* z[1] = {v.data()};
    OBJ_initialize();
    OBJ_set_filter(1);
    OBJ_set_rad_inf(3);
    OBJ_set_num_pass(2);
    benchmark::DoNotOptimize(OBJ_analyze(x.data(), y.data(), z, kStations, 1, &c.slot));
    benchmark::ClobberMemory();
  }
  OBJ_set_search(OBJ_SEARCH_BINNED);
}

void BM_AnalyseBinned(benchmark::State& st) { analyse(st, OBJ_SEARCH_BINNED); }
void BM_AnalyseDirect(benchmark::State& st) { analyse(st, OBJ_SEARCH_DIRECT); }

} // namespace

BENCHMARK(BM_AnalyseBinned)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AnalyseDirect)->Unit(benchmark::kMillisecond)->Iterations(1);
