/*
 * Fuzz target of the plot-format language: the input's lines are the
 * "plot_format" and "plot_param" resources, a datum's own format items and
 * its text. A plot is prepared with them and the datum drawn as every plot
 * type into a metafile that goes nowhere, then written as text.
 */
#include "kez.h"
#include "kezraw.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = [] {
    MESS_set(0, M_none);
    gopen_gks(nullptr, 0);
    gopen_ws(1, "/dev/null", GWS_META);
    const Glim win{0, 100, 0, 100}, vp{0, 1, 0, 1};
    gset_win(2, &win);
    gset_vp(2, &vp);
    return true;
  }();
  (void)ready;
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> lines;
  for (size_t at = 0; lines.size() < 4;) {
    const size_t end = text.find('\n', at);
    lines.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
    if (end == std::string::npos) break;
    at = end + 1;
  }
  lines.resize(4);
  RES_put("plot_format", lines[0].c_str());
  RES_put("plot_param", lines[1].c_str());
  Gattribs a;
  ATTRIB_init(&a);
  RAW_plot_init(&a, 1);
  RAW_attribs attr;
  RAW_init_attrib(&attr);
  RAW_parse_format(&attr, lines[2].c_str());
  float v[2] = {12.5f, 15};
  if (size >= 8) std::memcpy(v, data + size - 8, 8);
  static const int types[] = {1, 2, 3, 4, 5, 23, 31, 32, 33, 34, 35, 36, 37};
  for (int type : types) {
    RAW_data d;
    RAW_set(&d, 50, 50, type, lines[2].c_str(), lines[3].c_str(), v);
    RAW_plot_data(&d);
    char str[RAW_STRING_LEN] = "";
    RAW_data_to_string(str, &d);
    char station[RAW_VAR_STRING_LEN] = "";
    VAR_data var{};
    std::strncpy(var.name, "T", sizeof var.name - 1);
    RAW_set_var_string(&var, &d, station);
  }
  return 0;
}
