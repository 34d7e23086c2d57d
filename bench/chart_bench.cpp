/*
 * The surface chart beside a matplotlib chart of the same stations, as
 * whole processes, in one run.
 *
 * tools/make_bench_obs.py makes observations of 500, 2000 and 5000
 * stations from the bundled sample hour and station list (each size with
 * its own station table); sfcplot draws them as station models over
 * sea-level isobars analysed onto a 300 x 200 grid, on the demo's Lambert
 * map of North America with its outlines, to PostScript and, through its
 * window on a private Xvfb, to PNG. tools/chart_bench_peer.py draws the
 * same chart with matplotlib, numpy and scipy. The two programs take turns,
 * KEZ_BENCH_ROUNDS times each (5 unless set); medians are compared.
 *
 *   BM_Chart/<stations>/<0 PostScript, 1 PNG>: both programs' times, peak
 *       memory, and the ratio of the medians.
 *   BM_ChartScaling: sfcplot at 500, 2000 and 5000 stations in turn: the
 *       5000-station time over the 500-station one, and the cost of a
 *       station added from 2000 to 5000 over that from 500 to 2000.
 *   BM_ChartPage: the bytes of the 5000-station page, against its paths
 *       written in the plain "x.xx y.yy ln" form, and the peer's page;
 *       same_rendering is 1 when ghostscript draws both forms alike.
 *   BM_ChartThroughput/<N>: N charts at once against one alone, for both
 *       programs: the throughput of N over N times that of one.
 *
 * KEZ_CHART_PROGRAM names another sfcplot (an older build, say) to
 * measure with the same observations and peer.
 */
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "../tests/gks/gks_scenario.h"

#include "bench_shell.h"

namespace {

constexpr int kSizes[] = {500, 2000, 5000};
constexpr const char* kDomain = "lc:40:-95:33:45,40,-95,19,13,3.4,3.4";
/* The plot domain's extent in 300 x 200 points. */
constexpr const char* kGrid = "lc:40:-95:33:45,40,-95,300,200,0.20468,0.20503";
constexpr const char* kObservations = "11101100_sao.wmo";

std::string source_dir() {
  std::string d = KEZ_DATA_DIR;
  return d.substr(0, d.rfind('/'));
}

int rounds() {
  const char* r = std::getenv("KEZ_BENCH_ROUNDS");
  const int n = r ? std::atoi(r) : 5;
  return n > 0 ? n : 5;
}

using kez_bench::shell;

bool executable(const std::string& path) { return ::access(path.c_str(), X_OK) == 0; }

long file_size(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

/* The observation folders, the programs and, when Xvfb is there, a
 * private X server for the PNG charts. */
struct Setup {
  std::string dir, kez, peer_script, map_file;
  std::string display;
  pid_t xvfb = -1;
  bool ready = false;

  Setup() {
    char tmpl[] = "/tmp/kez_chart_bench.XXXXXX";
    if (!::mkdtemp(tmpl)) return;
    dir = tmpl;
    const std::string src = source_dir(), data = KEZ_DATA_DIR;
    std::string sizes;
    for (int n : kSizes) sizes += " " + std::to_string(n);
    shell("/usr/bin/python3 " + src + "/tools/make_bench_obs.py " + dir + sizes + " >/dev/null 2>&1");
    for (int n : kSizes)
      shell("cd " + folder(n) + " && for f in " + data + "/*; do b=$(basename \"$f\"); " +
            "[ \"$b\" = sao.cty ] || [ \"$b\" = sample ] || ln -s \"$f\" .; done");
    if (const char* other = std::getenv("KEZ_CHART_PROGRAM")) {
      kez = other;
    } else {
      char self[4096] = "";
      const ssize_t len = ::readlink("/proc/self/exe", self, sizeof self - 1);
      const std::string exe = len > 0 ? std::string(self, static_cast<size_t>(len)) : "";
      kez = exe.substr(0, exe.rfind('/')) + "/../programs/sfcplot";
    }
    peer_script = src + "/tools/chart_bench_peer.py";
    map_file = data + "/kez.map";
    ready = executable(kez) && file_size(folder(5000) + "/" + kObservations) > 0;
    start_x();
  }

  ~Setup() {
    if (xvfb > 0) {
      ::kill(xvfb, SIGTERM);
      ::waitpid(xvfb, nullptr, 0);
    }
    if (!dir.empty()) shell("rm -rf " + dir);
  }

  std::string folder(int n) const { return dir + "/n" + std::to_string(n); }

  void start_x() {
    if (shell("command -v Xvfb").empty()) return;
    int n = 120;
    while (n < 200 && (file_size("/tmp/.X11-unix/X" + std::to_string(n)) >= 0 ||
                       file_size("/tmp/.X" + std::to_string(n) + "-lock") >= 0))
      ++n;
    const std::string name = ":" + std::to_string(n);
    /* -noreset: a desktop's display always has other clients (the window
     * manager, a panel), so it never starts afresh between two programs.
     * Alone, Xvfb would regenerate itself each time a chart's connection
     * closes, and the next chart would pay for that (some 15 ms on an
     * 8-core machine) although no user does. */
    xvfb = ::fork();
    if (xvfb == 0) {
      const int null = ::open("/dev/null", O_RDWR);
      ::dup2(null, 1);
      ::dup2(null, 2);
      ::execlp("Xvfb", "Xvfb", name.c_str(), "-noreset", "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
               static_cast<char*>(nullptr));
      ::_exit(127);
    }
    const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
    for (int i = 0; i < 600 && file_size(socket) < 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (file_size(socket) >= 0) display = name;
  }

  /* The command of each program for one chart. */
  std::vector<std::string> kez_args(int n, bool png, const std::string& out) const {
    std::vector<std::string> a = {kez,   "-fp", folder(n), "-dp", folder(n), "-pd", kDomain, "-gd",
                                  kGrid, "-va", "stnslp",  "-pr", "9",       "-me", "error"};
    if (png) {
      const std::string dir_of = out.substr(0, out.rfind('/')), name = out.substr(out.rfind('/') + 1);
      for (const std::string& s : {std::string("-de"), std::string("x"), std::string("-ge"), std::string("1100x850"),
                                   std::string("-ip"), dir_of, std::string("-of"), "png=" + name})
        a.push_back(s);
    } else {
      a.push_back("-de");
      a.push_back("p," + out + ",ps,land,color");
    }
    a.push_back(kObservations);
    return a;
  }

  std::vector<std::string> peer_args(int n, const std::string& out) const {
    return {"/usr/bin/python3", peer_script, folder(n), out, map_file};
  }
};

Setup& setup() {
  static Setup s;
  return s;
}

struct Run {
  double seconds = -1;
  long peak_kb = 0;
};

/* Starts a program with its output to /dev/null; its pid. */
pid_t launch(const std::vector<std::string>& args, const std::string& cwd, const std::string& display) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(cwd.c_str()) != 0) ::_exit(126);
    if (!display.empty()) ::setenv("DISPLAY", display.c_str(), 1);
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 0);
    ::dup2(null, 1);
    ::dup2(null, 2);
    std::vector<char*> argv;
    for (const std::string& s : args) argv.push_back(const_cast<char*>(s.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  return pid;
}

using Clock = std::chrono::steady_clock;

/* The programs of one batch at once; the time until the last has ended,
 * or -1 when one failed. */
Run run_together(const std::vector<std::vector<std::string>>& batch, const std::string& cwd,
                 const std::string& display = "") {
  Run r;
  const auto start = Clock::now();
  std::vector<pid_t> pids;
  for (const auto& args : batch) pids.push_back(launch(args, cwd, display));
  bool ok = true;
  for (pid_t pid : pids) {
    int status = 0;
    struct rusage ru {};
    if (::wait4(pid, &status, 0, &ru) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) ok = false;
    r.peak_kb = std::max(r.peak_kb, ru.ru_maxrss);
  }
  r.seconds = ok ? std::chrono::duration<double>(Clock::now() - start).count() : -1;
  return r;
}

Run run_one(const std::vector<std::string>& args, const std::string& cwd, const std::string& display = "") {
  return run_together({args}, cwd, display);
}

double median(std::vector<double> v) {
  if (v.empty()) return -1;
  std::sort(v.begin(), v.end());
  const size_t m = v.size() / 2;
  return v.size() % 2 ? v[m] : 0.5 * (v[m - 1] + v[m]);
}

/* Medians of the PostScript charts, for the peer's growth in the scaling
 * benchmark. */
std::map<int, double>& peer_ps_medians() {
  static std::map<int, double> m;
  return m;
}

void BM_Chart(benchmark::State& st) {
  Setup& s = setup();
  const int n = static_cast<int>(st.range(0));
  const bool png = st.range(1) != 0;
  if (!s.ready) {
    st.SkipWithError("sfcplot or the observations are missing (tools/make_bench_obs.py)");
    return;
  }
  if (png && s.display.empty()) {
    st.SkipWithError("Xvfb is needed for the PNG charts");
    return;
  }
  const std::string ext = png ? ".png" : ".ps";
  const std::string kez_out = s.dir + "/kez" + std::to_string(n) + ext;
  const std::string peer_out = s.dir + "/peer" + std::to_string(n) + ext;
  std::vector<double> kez, peer, ratios;
  long kez_kb = 0, peer_kb = 0;
  for (auto _ : st) {
    for (int k = 0; k < rounds(); ++k) {
      const Run a = run_one(s.kez_args(n, png, kez_out), s.folder(n), png ? s.display : "");
      const Run b = run_one(s.peer_args(n, peer_out), s.folder(n));
      if (a.seconds < 0 || b.seconds < 0) {
        st.SkipWithError(a.seconds < 0 ? "sfcplot failed" : "the peer failed (python3-matplotlib, python3-scipy)");
        return;
      }
      kez.push_back(a.seconds);
      peer.push_back(b.seconds);
      ratios.push_back(a.seconds / b.seconds);
      kez_kb = std::max(kez_kb, a.peak_kb);
      peer_kb = std::max(peer_kb, b.peak_kb);
    }
    st.SetIterationTime(median(kez));
  }
  if (!png) peer_ps_medians()[n] = median(peer);
  st.counters["kez_s"] = median(kez);
  st.counters["peer_s"] = median(peer);
  st.counters["ratio"] = median(kez) / median(peer);
  st.counters["ratio_max"] = *std::max_element(ratios.begin(), ratios.end());
  st.counters["kez_MB"] = static_cast<double>(kez_kb) / 1024.0;
  st.counters["peer_MB"] = static_cast<double>(peer_kb) / 1024.0;
}

void BM_ChartScaling(benchmark::State& st) {
  Setup& s = setup();
  if (!s.ready) {
    st.SkipWithError("sfcplot or the observations are missing");
    return;
  }
  std::map<int, std::vector<double>> times;
  for (auto _ : st) {
    for (int k = 0; k < 2 * rounds(); ++k)
      for (int n : kSizes) {
        const Run r = run_one(s.kez_args(n, false, s.dir + "/scaling.ps"), s.folder(n));
        if (r.seconds < 0) {
          st.SkipWithError("sfcplot failed");
          return;
        }
        times[n].push_back(r.seconds);
      }
    st.SetIterationTime(median(times[5000]));
  }
  const double t500 = median(times[500]), t2000 = median(times[2000]), t5000 = median(times[5000]);
  st.counters["t500_s"] = t500;
  st.counters["t2000_s"] = t2000;
  st.counters["t5000_s"] = t5000;
  st.counters["t5000_over_t500"] = t5000 / t500;
  st.counters["added_cost_ratio"] = ((t5000 - t2000) / 3000) / ((t2000 - t500) / 1500);
  const auto& peer = peer_ps_medians();
  if (peer.count(500) && peer.count(5000)) st.counters["peer_t5000_over_t500"] = peer.at(5000) / peer.at(500);
}

std::string read_all(const std::string& path) {
  std::string text;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buf[1 << 16];
    size_t got;
    while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, got);
    std::fclose(f);
  }
  return text;
}

/* Ghostscript draws the page pixel for pixel as the same page with its
 * paths in the plain form, which is what the writer wrote before the
 * compact form. */
bool same_rendering(const std::string& dir, const std::string& page) {
  const std::string plain = dir + "/plain_page.ps";
  if (FILE* f = std::fopen(plain.c_str(), "wb")) {
    const std::string text = gks_test::plain_paths(page);
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
  std::string pixels[2];
  const char* names[2] = {"page", "plain_page"};
  for (int k = 0; k < 2; ++k) {
    const std::string out = dir + "/" + names[k] + ".ppm";
    shell("gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=ppmraw -r300 -sOutputFile=" + out + " " + dir + "/" + names[k] +
          ".ps >/dev/null 2>&1");
    pixels[k] = read_all(out);
  }
  return pixels[0].size() > 1000000 && pixels[0] == pixels[1];
}

void BM_ChartPage(benchmark::State& st) {
  Setup& s = setup();
  if (!s.ready) {
    st.SkipWithError("sfcplot or the observations are missing");
    return;
  }
  const std::string page = s.dir + "/page.ps", peer_page = s.dir + "/peer_page.ps";
  for (auto _ : st) {
    const Run r = run_one(s.kez_args(5000, false, page), s.folder(5000));
    if (r.seconds < 0) {
      st.SkipWithError("sfcplot failed");
      return;
    }
    st.SetIterationTime(r.seconds);
  }
  const std::string text = read_all(page);
  const double bytes = static_cast<double>(text.size());
  const double plain = static_cast<double>(gks_test::plain_paths(text).size());
  st.counters["page_MB"] = bytes / 1e6;
  st.counters["plain_MB"] = plain / 1e6;
  st.counters["page_over_plain"] = bytes / plain;
  if (!shell("command -v gs").empty()) st.counters["same_rendering"] = same_rendering(s.dir, text) ? 1 : 0;
  if (run_one(s.peer_args(5000, peer_page), s.folder(5000)).seconds > 0)
    st.counters["peer_page_MB"] = static_cast<double>(file_size(peer_page)) / 1e6;
}

/* N charts at once against one alone, turn about; both programs. */
void BM_ChartThroughput(benchmark::State& st) {
  Setup& s = setup();
  const int n = static_cast<int>(st.range(0));
  const int stations = 2000;
  if (!s.ready) {
    st.SkipWithError("sfcplot or the observations are missing");
    return;
  }
  auto batch = [&](bool kez, int count) {
    std::vector<std::vector<std::string>> b;
    for (int i = 0; i < count; ++i) {
      const std::string out = s.dir + "/thr" + std::to_string(i) + ".ps";
      b.push_back(kez ? s.kez_args(stations, false, out) : s.peer_args(stations, out));
    }
    return b;
  };
  std::vector<double> kez1, kezn, peer1, peern;
  for (auto _ : st) {
    for (int k = 0; k < rounds(); ++k) {
      kez1.push_back(run_together(batch(true, 1), s.folder(stations)).seconds);
      kezn.push_back(run_together(batch(true, n), s.folder(stations)).seconds);
    }
    for (int k = 0; k < (rounds() + 1) / 2; ++k) {
      peer1.push_back(run_together(batch(false, 1), s.folder(stations)).seconds);
      peern.push_back(run_together(batch(false, n), s.folder(stations)).seconds);
    }
    for (const auto* v : {&kez1, &kezn, &peer1, &peern})
      if (std::find_if(v->begin(), v->end(), [](double t) { return t < 0; }) != v->end()) {
        st.SkipWithError("a chart failed");
        return;
      }
    st.SetIterationTime(median(kezn));
  }
  /* Throughput of N over N times that of one: N/t_N over N/t_1. */
  st.counters["kez_one_s"] = median(kez1);
  st.counters["kez_n_s"] = median(kezn);
  st.counters["kez_efficiency"] = median(kez1) / median(kezn);
  st.counters["peer_efficiency"] = median(peer1) / median(peern);
}

} // namespace

BENCHMARK(BM_Chart)
    ->ArgsProduct({{500, 2000, 5000}, {0, 1}})
    ->ArgNames({"stations", "png"})
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChartScaling)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChartPage)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChartThroughput)
    ->Arg(2)
    ->Arg(4)
    ->ArgName("plots")
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
