/*
 * The surface variables taken from reports, and the surface program's file
 * lists. The input is cut at its first two NUL bytes into
 *   0  variables, one a line: "name [units [level-type [time-code]]]",
 *   1  settings "name=value", one a line, for "input", "in_file",
 *      "out_file" and "plot_param" (other names are ignored),
 *   2  a surface file of any layout, read report by report both directly
 *      and as the program reads it (placed through the station table over
 *      North America); its first bytes also make one report of their own,
 *      so that every field takes values no reader would give.
 * Each variable is asked of every report; a value that is not finite or a
 * text without its terminator is a fault.
 */
#include "kez_fuzz.h"
#include "kezcty.h"
#include "kezraw.h"
#include "kezsfc.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr size_t kMaxVars = 32;
constexpr int kMaxReports = 200;
constexpr int kStationTable = 3; /* positions and priorities */

std::vector<VAR_data> variables(const std::string& text) {
  std::vector<VAR_data> out;
  std::istringstream in(text);
  std::string line;
  while (out.size() < kMaxVars && std::getline(in, line)) {
    std::istringstream words(line);
    std::string name, units;
    int ltype = VAR_LEV_SFC, time = KEZ_MISS;
    if (!(words >> name)) continue;
    words >> units >> ltype >> time;
    VAR_data v{};
    VAR_data_init(&v);
    std::strncpy(v.name, name.c_str(), sizeof v.name - 1);
    if (units != "-") std::strncpy(v.units, units.c_str(), sizeof v.units - 1);
    v.ltype = ltype;
    v.time = time;
    SFC_is_var(v.name);
    VAR_data def = v;
    SFC_get_var(&def);
    if (std::memchr(def.units, '\0', sizeof def.units) == nullptr) std::abort();
    out.push_back(v);
  }
  return out;
}

void check(const RAW_data& d) {
  for (float v : d.value)
    if (!std::isfinite(v)) std::abort();
  if (std::memchr(d.data, '\0', sizeof d.data) == nullptr) std::abort();
}

/* Variable by variable over all reports, as the plot asks them (a unit
 * pair is then looked up once per variable, not once per datum). */
void ask(const std::vector<SFC_report>& reports, const std::vector<VAR_data>& vars) {
  for (VAR_data v : vars) {
    for (const SFC_report& r : reports) {
      RAW_data d{};
      SFC_get_data(&r, &v, &d);
      check(d);
      if (std::memchr(v.units, '\0', sizeof v.units) == nullptr) std::abort();
    }
  }
}

/* A report of raw bytes with its texts ended and its layer count in range,
 * as every reader leaves them. */
SFC_report raw_report(const uint8_t* data, size_t size) {
  SFC_report r{};
  std::memcpy(&r, data, std::min(size, sizeof r));
  r.id[sizeof r.id - 1] = '\0';
  r.area[sizeof r.area - 1] = '\0';
  r.weather[sizeof r.weather - 1] = '\0';
  r.comment[sizeof r.comment - 1] = '\0';
  r.num_cld = std::abs(r.num_cld % (SFC_MAX_CLOUD + 1));
  return r;
}

void settings(const std::string& text) {
  for (const char* name : {"input", "in_file", "out_file", "plot_param"}) RES_put(name, "");
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string name = line.substr(0, eq);
    for (const char* known : {"input", "in_file", "out_file", "plot_param"})
      if (name == known) RES_put(known, line.substr(eq + 1).c_str());
  }
  SFC_cvt_in_file();
  SFC_raw_out_file();
  SFC_grd_out_file();
  SFC_plot_param();
}

void stations() {
  RES_put("file_path", KEZ_DATA_DIR);
  Domain d;
  DOM_init(&d);
  d.proj = MAP_PSTEREO;
  d.plat = 90;
  d.plon = -95;
  d.clat = 42;
  d.clon = -92;
  d.dx = 1;
  d.dy = 1;
  d.nx = 61;
  d.ny = 41;
  MAP_setup(&d);
  CTY_data_size(SFC_STATION_TEXT);
  CTY_store("sao.cty", kStationTable, &d, SFC_STATION_PRIOR);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    kez_fuzz::quiet();
    stations();
    return true;
  }();
  (void)ready;
  const auto* end = data + size;
  const auto* nul1 = static_cast<const uint8_t*>(std::memchr(data, 0, size));
  if (nul1 == nullptr) return 0;
  const auto* nul2 = static_cast<const uint8_t*>(std::memchr(nul1 + 1, 0, static_cast<size_t>(end - nul1 - 1)));
  if (nul2 == nullptr) return 0;
  const std::vector<VAR_data> vars = variables(std::string(reinterpret_cast<const char*>(data), nul1 - data));
  settings(std::string(reinterpret_cast<const char*>(nul1 + 1), nul2 - nul1 - 1));

  const uint8_t* file = nul2 + 1;
  const size_t file_size = static_cast<size_t>(end - file);
  std::vector<SFC_report> reports{raw_report(file, file_size)};

  const std::string path = kez_fuzz::write_file("sfc", file, file_size);
  int type = 0;
  SFC_report rep;
  if (const int fd = SFC_open(path.c_str(), SFC_ACC_READ, &type); fd >= 0) {
    for (int n = 0; n < kMaxReports; ++n) {
      int at = n;
      if (SFC_read(fd, &rep, SFC_REP_FULL, &at) != 0) break;
      reports.push_back(rep);
    }
    SFC_close(fd);
  }
  if (SFC_open_file(path.c_str()) == 1) {
    CTY_locate loc{};
    for (int n = 0; n < kMaxReports; ++n) {
      if (SFC_read_report(&rep, &loc) < 0) break;
      reports.push_back(rep);
    }
    SFC_rewind_file();
    SFC_read_report(&rep, &loc);
    SFC_close_file();
  }
  ask(reports, vars);
  return 0;
}
