/*
 * A surface chart as the surface program makes it: a few thousand stations
 * over the contiguous United States, sea-level pressure analysed from them
 * onto a 300 x 200 grid and contoured every 4 hPa, station values and wind
 * barbs over coastlines and borders, written as PostScript.
 *
 * BM_SurfaceChartStages runs the program's own pipeline in this process
 * and reports each stage: opening the page with the station table,
 * reading the reports, the analysis, the map underlay, contouring, station
 * drawing and the output. BM_SurfaceChartProgram
 * runs the built sfcplot on the same file and settings as a child process
 * and reports its whole time and peak memory.
 *
 * The newest hourly file of data/sample is used when there is one; else a
 * file of up to 2000 stations of the station table is made with smooth
 * fields and a fixed random seed.
 */
#include "kez.h"
#include "kezcty.h"
#include "kezgks.h"
#include "kezgrd.h"
#include "kezsfc.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "bench_shell.h"

namespace {

constexpr int kMaxStations = 2000;
/* The analysis grid over the "us" region (25 x 17 points 2.3 apart). */
constexpr const char* kRegion = "ps::-97,39,-97,25,17,2.3,2.3";
constexpr const char* kGrid = "ps::-97,39,-97,300,200,0.18462,0.18492";
constexpr const char* kList = "pres:sfc:ln,temp,dewp,wind";

/* A folder with the bundled tables and the observations file. */
struct Setup {
  std::string dir, file;
  int stations = 0;
  Setup() {
    char tmpl[] = "/tmp/kez_sfcplot_bench.XXXXXX";
    dir = ::mkdtemp(tmpl) ? tmpl : "/tmp";
    const std::string data = KEZ_DATA_DIR;
    kez_bench::shell("mkdir -p " + dir + "/d && for f in " + data + "/*; do ln -s \"$f\" " + dir + "/d/; done");
    const std::string newest = kez_bench::shell("ls " + data + "/sample/*_sao.wmo 2>/dev/null | sort | tail -n 1");
    if (!newest.empty()) {
      file = newest.substr(0, newest.find('\n'));
    } else {
      file = dir + "/26121012_sao.wmo";
      make_file();
    }
  }
  ~Setup() { kez_bench::shell("rm -rf " + dir); }

  /* Smooth pressure and temperature fields over the stations of the
   * table, with small observation errors. */
  void make_file() {
    std::vector<std::string> lines;
    FILE* cty = std::fopen((std::string(KEZ_DATA_DIR) + "/sao.cty").c_str(), "r");
    std::mt19937 rng(33);
    std::normal_distribution<float> err(0.0f, 0.5f);
    char line[256];
    while (cty && std::fgets(line, sizeof line, cty) && static_cast<int>(lines.size()) < kMaxStations) {
      char name[64], st[8], country[8], id[16];
      int prior = 0;
      float lat = 0, lon = 0;
      if (std::sscanf(line, "%63s %7s %7s %15s %d %f %f", name, st, country, id, &prior, &lat, &lon) != 7) continue;
      if (std::string(country) != "US" || lat < 24 || lat > 50 || lon < -125 || lon > -66) continue;
      const float pmb = 1012 + 12 * std::sin(lat / 6.0f) * std::cos(lon / 9.0f) + err(rng);
      const float t = 80 - 1.2f * (lat - 25) + 5 * std::sin(lon / 7.0f) + err(rng);
      const float td = t - 8 - std::fabs(err(rng)) * 4;
      const int dir = (static_cast<int>(std::fabs(lon * 7)) % 36) + 1;
      const int spd = 5 + static_cast<int>(std::fabs(lat * 3)) % 20;
      const int alt = static_cast<int>(std::lround(pmb / 33.8639 * 100)) % 1000;
      const int pcode = static_cast<int>(std::lround(pmb * 10)) % 1000;
      char out[160];
      std::snprintf(out, sizeof out, "%s %.0f %.0f %02d%02d %03d %03d 10 30S -", id, 10 * t, 10 * td, dir, spd, alt,
                    pcode);
      lines.push_back(std::string(out) + " $\n");
    }
    if (cty) std::fclose(cty);
    if (FILE* f = std::fopen(file.c_str(), "w")) {
      std::fputs("KEZSFC\n12Z 10 DEC 26\n", f);
      for (const std::string& l : lines) std::fputs(l.c_str(), f);
      std::fclose(f);
    }
    stations = static_cast<int>(lines.size());
  }
};

Setup& setup() {
  static Setup s;
  return s;
}

using Clock = std::chrono::steady_clock;
double ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

int read_report(void* report, CTY_locate* loc) { return SFC_read_report(static_cast<SFC_report*>(report), loc); }
int get_data(void* report, VAR_data* var, RAW_data* datum) {
  return SFC_get_data(static_cast<const SFC_report*>(report), var, datum);
}

void BM_SurfaceChartStages(benchmark::State& st) {
  Setup& s = setup();
  MESS_set(-1, M_mess | M_out3 | M_out4);
  RES_put("file_path", (s.dir + "/d").c_str());
  RES_put("grid_domain", kGrid);
  RES_put("con_interval", "4");
  RES_put("device", ("p," + s.dir + "/chart.ps,ps,land,color").c_str());
  Domain dom;
  DOM_init(&dom);
  DOM_decode(kRegion, &dom);
  VAR_set_def_type(2);
  SFC_report report{};
  double t_open = 0, t_read = 0, t_anal = 0, t_map = 0, t_cont = 0, t_stat = 0, t_out = 0;
  int n = 0, reports = 0;
  for (auto _ : st) {
    FLAG_set(SFC_FLAG_LEVEL, 1);
    VAR_setup(nullptr, kList);
    DATA_new_grid();
    const auto t0 = Clock::now();
    PLT_open(DOM_aspect(&dom));
    MAP_setup(&dom);
    CTY_data_size(SFC_STATION_TEXT);
    CTY_store("sao.cty", CTY_TABLE_POS_LOC, &dom, SFC_STATION_PRIOR);
    DATA_plot_init();
    DATA_info data{};
    data.model = KEZ_MISS;
    data.domain = dom;
    data.report = &report;
    data.get_var = SFC_get_var;
    data.read_report = read_report;
    data.rewind = SFC_rewind_file;
    data.get_data = get_data;
    data.plot_data = SFC_plot_data;
    data.grid_data = SFC_grid_data;
    const auto t_opened = Clock::now();
    SFC_open_file(s.file.c_str());
    FILE_get_date(&data.date);
    reports = 0;
    CTY_locate loc{};
    while (SFC_read_report(&report, &loc) >= 0) ++reports;
    const auto t1 = Clock::now();
    DATA_fit_grid(&data);
    const auto t2 = Clock::now();
    DATA_plot_start();
    const auto t3 = Clock::now();
    int ind = DATA_plot_grid(0, &data);
    const auto t4 = Clock::now();
    for (++ind; ind < VAR_get_num(); ++ind) ind = DATA_plot_raw(ind, &data);
    const auto t5 = Clock::now();
    DATA_plot_end();
    SFC_close_file();
    PLT_close();
    if (GRD_report* g = GRD_get_grid(0)) GRD_free(g);
    CTY_clear_data(0);
    CTY_clear();
    const auto t6 = Clock::now();
    t_open += ms(t0, t_opened);
    t_read += ms(t_opened, t1);
    t_anal += ms(t1, t2);
    t_map += ms(t2, t3);
    t_cont += ms(t3, t4);
    t_stat += ms(t4, t5);
    t_out += ms(t5, t6);
    ++n;
  }
  st.counters["stations"] = reports;
  st.counters["open_ms"] = t_open / n;
  st.counters["read_ms"] = t_read / n;
  st.counters["analysis_ms"] = t_anal / n;
  st.counters["map_ms"] = t_map / n;
  st.counters["contour_ms"] = t_cont / n;
  st.counters["stations_ms"] = t_stat / n;
  st.counters["output_ms"] = t_out / n;
}

/* The built program on the same chart; its wall time and peak memory. */
void BM_SurfaceChartProgram(benchmark::State& st) {
  Setup& s = setup();
  char self[4096] = "";
  const ssize_t len = ::readlink("/proc/self/exe", self, sizeof self - 1);
  std::string prog = len > 0 ? std::string(self, static_cast<size_t>(len)) : "";
  prog = prog.substr(0, prog.rfind('/')) + "/../programs/sfcplot";
  if (::access(prog.c_str(), X_OK) != 0) {
    st.SkipWithError("sfcplot is not built");
    return;
  }
  const std::string ps = s.dir + "/program.ps";
  long peak_kb = 0;
  for (auto _ : st) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (FILE* null = std::freopen("/dev/null", "w", stdout)) (void)null;
      ::execl(prog.c_str(), "sfcplot", "-fp", (s.dir + "/d").c_str(), "-pd", kRegion, "-gd", kGrid, "-va", kList, "-in",
              "4", "-de", ("p," + ps + ",ps,land,color").c_str(), "-me", "error", s.file.c_str(),
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    int status = 0;
    struct rusage ru {};
    ::wait4(pid, &status, 0, &ru);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      st.SkipWithError("sfcplot failed");
      return;
    }
    peak_kb = std::max(peak_kb, ru.ru_maxrss);
  }
  st.counters["peak_MB"] = static_cast<double>(peak_kb) / 1024.0;
}

} // namespace

BENCHMARK(BM_SurfaceChartStages)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_SurfaceChartProgram)->Unit(benchmark::kMillisecond)->Iterations(5);
