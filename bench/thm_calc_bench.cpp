/*
 * The sounding analysis run (THERM_calc) over a merged sounding of about
 * 100 levels and over one of 224 levels, the most a report can give. The
 * run works in the caller's arrays and allocates nothing; aim: about 0.1 ms
 * an analysis.
 */
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "kezupa.h"

namespace {

/* A smooth, moist sounding from 1000 hPa up with winds veering aloft. */
void make_sounding(std::vector<UPA_level>* sm, std::vector<UPA_level>* wm, int n) {
  const UPA_level missing{KEZ_FMISS, KEZ_FMISS, KEZ_FMISS, KEZ_FMISS, KEZ_FMISS, KEZ_FMISS};
  sm->assign(UPA_MAX_LEVELS, missing);
  wm->assign(UPA_MAX_LEVELS, missing);
  for (int i = 0; i < n; ++i) {
    const float p = 1000.0f * std::pow(0.01f, static_cast<float>(i) / static_cast<float>(n));
    const float h = 44330.8f * (1.0f - std::pow(p / 1013.25f, 0.1903f));
    const float t = std::max(25.0f - 0.0065f * h, -56.5f);
    (*sm)[i] = {p, h, t, t - 3.0f - 0.002f * h, 180.0f + 0.01f * h, 10.0f + 0.004f * h};
  }
  const int wn = std::min(n, UPA_WM_MAX);
  for (int i = 0; i < wn; ++i) (*wm)[i] = (*sm)[i];
}

void BM_therm_calc(benchmark::State& st) {
  MESS_set_str("none");
  std::vector<UPA_level> sm, wm;
  const int n = static_cast<int>(st.range(0));
  make_sounding(&sm, &wm, n);
  THERM_set_data(1000, sm.data(), n, wm.data(), std::min(n, UPA_WM_MAX));
  for (auto _ : st) {
    THERM_calc();
    benchmark::DoNotOptimize(THERM_get_values()->li);
  }
  st.SetItemsProcessed(st.iterations());
}

} // namespace

BENCHMARK(BM_therm_calc)->Arg(100)->Arg(UPA_SM_MAX)->Arg(UPA_MAX_LEVELS)->Unit(benchmark::kMicrosecond);
