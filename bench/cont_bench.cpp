/*
 * Contouring a large grid: a smooth 1440 x 721 field (a sum of Gaussians
 * with light noise) at 20 levels, as lines, fill and lines over fill, into
 * a counting recorder of the kernel; and the same fill drawn to PostScript
 * end to end. tools/cont_bench_contourpy.py times contourpy's serial
 * algorithm on the same field and levels.
 */
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "../tests/contour/cont_record.h"
#include "kezcont.h"

namespace {

constexpr int NX = 1440, NY = 721;

struct Field {
  GRD_report g{};
  std::vector<float> v;
  std::vector<float> levels;
  Field() : v(static_cast<size_t>(NX) * NY) {
    DOM_init(&g.domain);
    g.domain.nx = NX;
    g.domain.ny = NY;
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> noise(-0.01f, 0.01f);
    const float cx[] = {300, 700, 1100, 900, 200}, cy[] = {200, 500, 300, 100, 600};
    const float amp[] = {1, -0.8f, 0.6f, 0.9f, -0.5f}, rad[] = {150, 220, 120, 180, 90};
    float lo = 1e9f, hi = -1e9f;
    for (int r = 0; r < NY; ++r)
      for (int c = 0; c < NX; ++c) {
        float z = noise(rng);
        for (int k = 0; k < 5; ++k) {
          const float dx = (c - cx[k]) / rad[k], dy = (r - cy[k]) / rad[k];
          z += amp[k] * std::exp(-(dx * dx + dy * dy));
        }
        v[static_cast<size_t>(r) * NX + c] = z;
        lo = std::fmin(lo, z), hi = std::fmax(hi, z);
      }
    g.grid = v.data();
    for (int k = 0; k < 20; ++k) levels.push_back(lo + (hi - lo) * (k + 0.5f) / 20);
    if (const char* dump = std::getenv("KEZ_CONT_BENCH_DUMP")) {
      /* The field and levels for the contourpy timing script. */
      if (FILE* f = std::fopen(dump, "wb")) {
        std::fwrite(v.data(), sizeof(float), v.size(), f);
        std::fwrite(levels.data(), sizeof(float), levels.size(), f);
        std::fclose(f);
      }
    }
  }
};

Field& field() {
  static Field f;
  return f;
}

std::string level_list() {
  std::string s;
  char buf[64];
  const auto& lv = field().levels;
  for (size_t k = 0; k < lv.size(); ++k) {
    std::snprintf(buf, sizeof buf, "%s%.9g:%d", k ? "," : "", static_cast<double>(lv[k]), static_cast<int>(k % 15) + 1);
    s += buf;
  }
  return s;
}

void setup(int type) {
  static bool open = false;
  if (!open) {
    gopen_gks(nullptr, 0);
    gopen_ws(1, "/dev/null", GWS_META);
    CLR_read_table(KEZ_DATA_DIR "/kez.clr");
    open = true;
  }
  CONT_init();
  CONT_reset_fill_set();
  CONT_set_type(type);
  CONT_set_fill_colors(level_list().c_str(), 1);
  MAP_domain(&field().g.domain);
}

void BM_Contour(benchmark::State& st) {
  Field& f = field();
  const int type = static_cast<int>(st.range(0));
  setup(type);
  cont_rec::install(false, true);
  for (auto _ : st) {
    CONT_draw_contour(&f.g);
    CONT_reset_fill_set();
    CONT_set_fill_colors(level_list().c_str(), 1);
  }
  st.counters["fills"] = static_cast<double>(cont_rec::rec().fills) / static_cast<double>(st.iterations());
  st.counters["lines"] = static_cast<double>(cont_rec::rec().lines) / static_cast<double>(st.iterations());
  cont_rec::remove();
}
BENCHMARK(BM_Contour)->Arg(CONT_LINES)->Arg(CONT_FILL)->Arg(CONT_LINES_FILL)->Unit(benchmark::kMillisecond);

void BM_ContourPostScript(benchmark::State& st) {
  Field& f = field();
  for (auto _ : st) {
    gopen_gks(nullptr, 0);
    gopen_ws(1, "/tmp/kez_cont_bench.ps,color", GWS_PS);
    CLR_read_table(KEZ_DATA_DIR "/kez.clr");
    for (int i = 0; i < CLR_get_num(); ++i) {
      Gcolr_rep rep{};
      CLR_get_rgb(i, &rep.red, &rep.green, &rep.blue);
      gset_colr_rep(1, i, &rep);
    }
    CONT_init();
    CONT_reset_fill_set();
    CONT_set_type(CONT_FILL);
    CONT_set_fill_colors(level_list().c_str(), 1);
    MAP_domain(&f.g.domain);
    CONT_set_kernel(nullptr);
    CONT_draw_contour(&f.g);
    gclose_ws(1);
    gclose_gks();
  }
}
BENCHMARK(BM_ContourPostScript)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace
