/*
 * Fuzz target of the variable table reader: the input is a "variable.lup"
 * file. Two folders take turns so that every input is read afresh.
 */
#include "kez.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static int turn = 0;
  static std::string folder[2];
  if (folder[0].empty()) {
    MESS_set(0, 0);
    for (std::string& d : folder) {
      char tmpl[] = "/tmp/kez-lup-fuzz-XXXXXX";
      const char* made = mkdtemp(tmpl);
      d = made ? made : "/tmp";
    }
  }
  turn ^= 1;
  const std::string& dir = folder[turn];
  if (FILE* fp = std::fopen((dir + "/variable.lup").c_str(), "wb")) {
    std::fwrite(data, 1, size, fp);
    std::fclose(fp);
  }
  RES_put("file_path", dir.c_str());
  VAR_read_varfile();
  VAR_search_var_num("temp");
  VAR_data rec;
  VAR_data_init(&rec);
  VAR_dec_var("ensprob[<5]temp", &rec);
  VAR_dec_var("11", &rec);
  if (std::char_traits<char>::length(rec.name) > VAR_NAME_LEN) std::abort();
  return 0;
}
