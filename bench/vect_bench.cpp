/*
 * Streamlines of a 361 x 181 global wind pair (uniform flow, solid-body
 * rotation, a noisy field) with skips 1 and 4, traced in grid coordinates
 * and on a latitude/longitude and a polar stereographic map, into a
 * counting recorder of the wind drawer. Reports steps per second and the
 * time of a whole draw; on a map the per-step cost should stay within a
 * small factor of the grid-coordinate cost.
 */
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "kezcont.h"

namespace {

constexpr int NX = 361, NY = 181;

long steps = 0;

int count_vect(float, float, float, float, float, float) {
  ++steps;
  return 0;
}

struct Pair {
  GRD_report u{}, v{};
  std::vector<float> uv, vv;
  explicit Pair(int kind) : uv(static_cast<size_t>(NX) * NY), vv(uv.size()) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> noise(-10.0f, 10.0f);
    for (int r = 0; r < NY; ++r)
      for (int i = 0; i < NX; ++i) {
        const size_t k = static_cast<size_t>(r) * NX + i;
        const float x = static_cast<float>(i - NX / 2), y = static_cast<float>(NY / 2 - r);
        if (kind == 0) uv[k] = 5, vv[k] = 3;
        if (kind == 1) uv[k] = -0.2f * y + 0.01f, vv[k] = 0.2f * x + 0.01f;
        if (kind == 2) uv[k] = noise(rng), vv[k] = noise(rng);
      }
    for (GRD_report* g : {&u, &v}) {
      DOM_init(&g->domain);
      g->domain.proj = MAP_LATLON;
      g->domain.nx = NX;
      g->domain.ny = NY;
      g->domain.clat = 0;
      g->domain.clon = 0;
      g->domain.dx = g->domain.dy = 1;
    }
    u.grid = uv.data();
    v.grid = vv.data();
  }
};

Domain map_of(int mode, const Domain& grid) {
  if (mode == 0) return grid;
  Domain d;
  DOM_init(&d);
  d.nx = 80;
  d.ny = 60;
  d.dx = d.dy = 1;
  if (mode == 1) {
    d.proj = MAP_LATLON;
    d.clat = 10;
    d.clon = -20;
  } else {
    d.proj = MAP_PSTEREO;
    d.plat = 90;
    d.plon = -105;
    d.clat = 60;
    d.clon = -105;
  }
  return d;
}

void BM_Streamlines(benchmark::State& st) {
  static bool open = false;
  if (!open) {
    gopen_gks(nullptr, 0);
    gopen_ws(1, "/dev/null", GWS_META);
    CLR_read_table(KEZ_DATA_DIR "/kez.clr");
    FLAG_set_batch(1);
    RES_put("color_cont", "red");
    RES_put("plot_param", "uvew");
    open = true;
  }
  const int kind = static_cast<int>(st.range(0)), skip = static_cast<int>(st.range(1));
  const int mode = static_cast<int>(st.range(2));
  Pair p(kind);
  const Domain map = map_of(mode, p.u.domain);
  MAP_domain(&map);
  const std::string form = "strm:sk=" + std::to_string(skip);
  VECT_set_format(VECT_STREAM, form.c_str());
  VECT_plot_setup(0, 0, &p.u, &p.v, nullptr, nullptr);
  const VECT_kernel k{count_vect, nullptr, nullptr};
  VECT_set_kernel(&k);
  steps = 0;
  for (auto _ : st) VECT_draw(&p.u, &p.v);
  st.counters["steps"] = benchmark::Counter(static_cast<double>(steps) / static_cast<double>(st.iterations()));
  st.counters["steps_per_s"] = benchmark::Counter(static_cast<double>(steps), benchmark::Counter::kIsRate);
  VECT_set_kernel(nullptr);
}
/* field (0 uniform, 1 rotation, 2 noise) x skip x (0 grid, 1 lat/lon, 2 polar stereographic) */
BENCHMARK(BM_Streamlines)->ArgsProduct({{0, 1, 2}, {1, 4}, {0, 1, 2}})->Unit(benchmark::kMillisecond);

} // namespace
