/*
 * Fuzz target of domain texts and region files: the input's first
 * line is a domain text, the rest a region file "kez.reg". The
 * domain text is decoded and printed back, the region file searched,
 * loaded as the menu and listed. Questions of the decoder (the centre of
 * the "var" region) are answered from a file of answers.
 */
#include "kez.h"

#include <unistd.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string work_dir() {
  static std::string dir = [] {
    char tmpl[] = "/tmp/kez-region-fuzz-XXXXXX";
    const char* made = mkdtemp(tmpl);
    std::string d = made ? made : "/tmp";
    FILE* fp = std::fopen((d + "/answers").c_str(), "w");
    if (fp) {
      for (int i = 0; i < 1000; ++i) std::fputs("40\n", fp);
      std::fclose(fp);
    }
    return d;
  }();
  return dir;
}

void write(const std::string& path, const std::string& text) {
  FILE* fp = std::fopen(path.c_str(), "wb");
  if (!fp) return;
  std::fwrite(text.data(), 1, text.size(), fp);
  std::fclose(fp);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool quiet = [] {
    MESS_set(0, M_none);
    return true;
  }();
  (void)quiet;
  std::string text(reinterpret_cast<const char*>(data), size);
  size_t nl = text.find('\n');
  std::string spec = text.substr(0, nl);
  std::string file = nl == std::string::npos ? "" : text.substr(nl + 1);
  const std::string dir = work_dir();
  write(dir + "/kez.reg", file);
  if (!std::freopen((dir + "/answers").c_str(), "r", stdin)) return 0;
  RES_put("file_path", dir.c_str());

  Domain d;
  if (DOM_decode(spec.c_str(), &d) > 0) DOM_print(M_print, &d);
  char found[DOM_SPEC_LEN];
  DOM_search_file("kez.reg", spec.c_str(), found);
  DOM_search_file("kez.reg", nullptr, found);
  DOM_read_menu("kez.reg");
  for (int i = 0; i < DOM_MENU_SIZE; ++i) DOM_get_region_name(i);
  DOM_print_file("kez.reg");
  return 0;
}
