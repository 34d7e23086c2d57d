/*
 * Fuzz target of the plot frame's user texts: the input's first line is the
 * "plot_param" list, the second the "out_file" list, the third a "label"
 * list and the rest a panel layout. The lists are decoded as at a plot
 * start, each label item is expanded as the corner labels do, and the
 * layout is decoded.
 */
#include "kez.h"

#include <cstdint>
#include <string>

namespace {

std::string next_line(const std::string& text, size_t* at) {
  if (*at >= text.size()) return "";
  size_t end = text.find('\n', *at);
  if (end == std::string::npos) end = text.size();
  std::string line = text.substr(*at, end - *at);
  *at = end + 1;
  return line;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = [] {
    MESS_set(0, M_none);
    return true;
  }();
  (void)quiet;
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (text.find('\0') != std::string::npos) return 0;
  size_t at = 0;
  const std::string plot_param = next_line(text, &at);
  const std::string out_file = next_line(text, &at);
  const std::string label = next_line(text, &at);
  const std::string layout = at < text.size() ? text.substr(at) : "";
  RES_put("plot_param", plot_param.c_str());
  RES_put("out_file", out_file.c_str());
  PLT_param_decode();
  int paramc = 0;
  char** paramv = nullptr;
  RES_put("label", label.c_str());
  RES_getvals("label", &paramc, &paramv);
  char out[PLT_FORMAT_LEN];
  for (int i = 0; i < paramc; ++i) PLT_label_format(paramv[i], out);
  free_parsed_array(paramc, paramv);
  PLT_label_up_left(label.c_str());
  PLT_panel_decode(layout.c_str());
  return 0;
}
