/* The text toolkit's parsers: item lists, command lines and number formats. */
#include "kez_fuzz.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kez_fuzz::quiet();
  const auto p = kez_fuzz::parts(data, size, 3);
  for (char delim : {',', ' ', ';'}) {
    int argc = 0;
    char** argv = nullptr;
    parse_string(p[0].c_str(), delim, &argc, &argv);
    free_parsed_array(argc, argv);
  }
  int argc = 0;
  char** argv = nullptr;
  parse_command(p[0].c_str(), &argc, &argv);
  free_parsed_array(argc, argv);
  argc = 0;
  argv = nullptr;
  parse_command_line(p[1].c_str(), p[0].c_str(), &argc, &argv);
  free_parsed_array(argc, argv);

  float x = 0.0f;
  if (p[2].size() >= sizeof x) std::memcpy(&x, p[2].data(), sizeof x);
  char num[SET_NUM_LEN];
  set_num(num, p[1].c_str(), x);
  set_num(num, p[1].c_str(), 1234.5678f);

  std::string line = p[0];
  std::vector<char> buf(line.begin(), line.end());
  buf.push_back('\0');
  clean_line(reinterpret_cast<unsigned char*>(buf.data()));
  strip_escape(buf.data());
  wstrim_string(buf.data());
  string_is_float(p[0].c_str());
  string_is_num(p[0].c_str());
  return 0;
}
