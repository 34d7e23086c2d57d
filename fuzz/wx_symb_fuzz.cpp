/*
 * Fuzz target of the weather-symbol file: the input is a symbol file. Its
 * index is read and the symbols of its first word, of a few weather codes
 * and of every name it holds are drawn into a metafile that goes nowhere.
 */
#include "kez.h"
#include "kezraw.h"

#include <unistd.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string work_dir() {
  static std::string dir = [] {
    char tmpl[] = "/tmp/kez-wx-symb-fuzz-XXXXXX";
    const char* made = mkdtemp(tmpl);
    return std::string(made ? made : "/tmp");
  }();
  return dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = [] {
    MESS_set(0, M_none);
    RES_put("file_path", work_dir().c_str());
    gopen_gks(nullptr, 0);
    gopen_ws(1, "/dev/null", GWS_META);
    return true;
  }();
  (void)ready;
  /* Two names in turn, so that every input is opened and indexed anew. */
  static int turn = 0;
  const std::string name = (turn++ % 2) ? "a.smb" : "b.smb";
  const std::string text(reinterpret_cast<const char*>(data), size);
  FILE* fp = std::fopen((work_dir() + "/" + name).c_str(), "wb");
  if (!fp) return 0;
  std::fwrite(text.data(), 1, text.size(), fp);
  std::fclose(fp);
  WX_symb_file(name.c_str());
  const std::string first = text.substr(0, text.find_first_of(" \t\r\n"));
  WX_symb(0.5f, 0.5f, first.c_str(), 0.1f);
  for (const char* code : {"R", "TRW+A", "S-", "F", "x"}) WX_symb(0.5f, 0.5f, code, 0.1f);
  WX_symb_match(first.c_str());
  if (size > 0) WX_cloud(0.5f, 0.5f, 0.1f, static_cast<char>(data[0]));
  return 0;
}
