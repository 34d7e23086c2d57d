/*
 * Objective analysis of a dense network: 5,000 and 50,000 stations onto a
 * 300 by 200 grid in two passes with a radius of influence of 3 grid
 * lengths, beside the same successive-correction analysis in scipy
 * (tools/object_bench_peer.py: cKDTree pairs of grid points and stations
 * within the radius, weights and sums with numpy), which this benchmark
 * runs on the same stations and values in the same run.
 *
 * BM_Analyse/<stations> reports the analysis time, the peer's time in its
 * own process (without Python's start-up), their ratio, and the largest
 * difference from the peer's grid in hPa. BM_AnalyseDirect/5000 visits
 * every station for every grid point, the way the values are defined, and
 * reports the largest difference of the two grids (0: bit for bit).
 */
#include "kez.h"
#include "kezgrd.h"

#include <benchmark/benchmark.h>

#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kNx = 300;
constexpr int kNy = 200;
constexpr int kPasses = 2;
constexpr float kRadius = 3;

/* Stations spread over the grid and a little beyond it, with a smooth
 * pressure field and small observation errors. */
struct Case {
  Domain dom;
  std::vector<float> x, y, value;
  GRD_report slot;

  explicit Case(int n) {
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
    std::normal_distribution<float> error(0.0f, 0.3f);
    for (int k = 0; k < n; ++k) {
      const float gx = ux(rng), gy = uy(rng);
      float px = 0, py = 0;
      MAP_grid_tran(gx, gy, &px, &py);
      x.push_back(px);
      y.push_back(py);
      value.push_back(1012.0f + 8.0f * std::sin(gx / 40.0f) * std::cos(gy / 30.0f) + error(rng));
    }
    MAP_domain(&saved);
  }
  ~Case() { std::free(slot.grid); }
  Case(const Case&) = delete;
  Case& operator=(const Case&) = delete;

  /* One analysis; the station positions end as grid coordinates. */
  std::vector<float> analyse(std::vector<float>* gx = nullptr, std::vector<float>* gy = nullptr) {
    std::vector<float> px = x, py = y, v = value;
    float* z[1] = {v.data()};
    OBJ_initialize();
    OBJ_set_filter(1);
    OBJ_set_rad_inf(kRadius);
    OBJ_set_num_pass(kPasses);
    OBJ_analyze(px.data(), py.data(), z, static_cast<int>(px.size()), 1, &slot);
    if (gx) *gx = px;
    if (gy) *gy = py;
    return std::vector<float>(slot.grid, slot.grid + kNx * kNy);
  }
};

double largest_difference(const std::vector<float>& a, const std::vector<float>& b) {
  double most = 0;
  for (size_t k = 0; k < a.size() && k < b.size(); ++k) {
    if ((a[k] == KEZ_FMISS) != (b[k] == KEZ_FMISS)) return INFINITY;
    if (a[k] != KEZ_FMISS) most = std::max(most, std::fabs(static_cast<double>(a[k]) - b[k]));
  }
  return most;
}

std::string source_dir() {
  std::string d = KEZ_DATA_DIR;
  return d.substr(0, d.rfind('/'));
}

/* The peer on the same stations (grid coordinates) and values: its time in
 * ms and its grid, or a negative time when it cannot run. */
double run_peer(const std::vector<float>& gx, const std::vector<float>& gy, const std::vector<float>& value, float dx,
                float dy, std::vector<float>* grid) {
  char dir[] = "/tmp/kez_object_bench.XXXXXX";
  if (!::mkdtemp(dir)) return -1;
  const std::string in = std::string(dir) + "/stations.bin", out = std::string(dir) + "/grid.bin";
  if (FILE* f = std::fopen(in.c_str(), "wb")) {
    const int head[4] = {static_cast<int>(gx.size()), kNx, kNy, kPasses};
    const float geometry[4] = {dx, dy, 1.0f, kRadius};
    std::fwrite(head, sizeof head, 1, f);
    std::fwrite(geometry, sizeof geometry, 1, f);
    for (const auto* a : {&gx, &gy, &value}) std::fwrite(a->data(), sizeof(float), a->size(), f);
    std::fclose(f);
  }
  const std::string cmd = "/usr/bin/python3 " + source_dir() + "/tools/object_bench_peer.py " + in + " " + out;
  double ms = -1;
  if (FILE* p = ::popen(cmd.c_str(), "r")) {
    if (std::fscanf(p, "%lf", &ms) != 1) ms = -1;
    ::pclose(p);
  }
  grid->assign(static_cast<size_t>(kNx) * kNy, 0.0f);
  if (FILE* f = std::fopen(out.c_str(), "rb")) {
    if (std::fread(grid->data(), sizeof(float), grid->size(), f) != grid->size()) ms = -1;
    std::fclose(f);
  }
  std::remove(in.c_str());
  std::remove(out.c_str());
  ::rmdir(dir);
  return ms;
}

void BM_Analyse(benchmark::State& st) {
  MESS_set(-1, M_mess | M_out3 | M_out4);
  Case c(static_cast<int>(st.range(0)));
  OBJ_set_search(OBJ_SEARCH_BINNED);
  std::vector<float> grid;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : st) {
    grid = c.analyse();
    benchmark::ClobberMemory();
  }
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() /
                    static_cast<double>(st.iterations());
  std::vector<float> gx, gy, peer;
  c.analyse(&gx, &gy);
  const double peer_ms = run_peer(gx, gy, c.value, c.dom.dx, c.dom.dy, &peer);
  if (peer_ms <= 0) {
    st.SkipWithError("the peer did not run (tools/object_bench_peer.py, python3-scipy)");
    return;
  }
  st.counters["peer_ms"] = peer_ms;
  st.counters["ratio"] = ms / peer_ms;
  st.counters["peer_diff_hPa"] = largest_difference(grid, peer);
}

/* Visiting every station for every grid point: the largest difference
 * from the analysis above (0: the same grid, bit for bit). */
void BM_AnalyseDirect(benchmark::State& st) {
  MESS_set(-1, M_mess | M_out3 | M_out4);
  Case c(static_cast<int>(st.range(0)));
  OBJ_set_search(OBJ_SEARCH_BINNED);
  const std::vector<float> fast = c.analyse();
  OBJ_set_search(OBJ_SEARCH_DIRECT);
  std::vector<float> direct;
  for (auto _ : st) direct = c.analyse();
  OBJ_set_search(OBJ_SEARCH_BINNED);
  st.counters["diff_hPa"] = largest_difference(fast, direct);
}

} // namespace

BENCHMARK(BM_Analyse)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AnalyseDirect)->Arg(5000)->Unit(benchmark::kMillisecond)->Iterations(1);
