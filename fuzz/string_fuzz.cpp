/* The text toolkit: item lists, command lines, number formats, choices and
 * the text editors and copies. */
#include "kez_fuzz.h"

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kez_fuzz::quiet();
  const auto p = kez_fuzz::parts(data, size, 3);
  for (char delim : {',', ' ', ';'}) {
    int argc = 0;
    char** argv = nullptr;
    parse_string(p[0].c_str(), delim, &argc, &argv);
    free_parsed_array(argc, argv);
  }
  /* An answer against a list of choices, by name or by number. */
  {
    int n = 0;
    char** items = nullptr;
    parse_string(p[0].c_str(), ',', &n, &items);
    const int at = chk_arg(p[1].c_str(), items, n);
    if (at != -9999 && (at < 0 || at > n)) std::abort();
    free_parsed_array(n, items);
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

  /* The in-place editors and the copies, each on a fresh copy of the text,
   * with buffers exactly as large as each is told. */
  auto fresh = [&](const std::string& t) { return std::vector<char>(t.c_str(), t.c_str() + t.size() + 1); };
  const char c1 = p[1].empty() ? '_' : p[1][0];
  const char c2 = p[1].size() < 2 ? ' ' : p[1][1];
  for (int (*edit)(char*) : {wsstrip_string, trim_string, trim_cr_string, strip_spaces, up_string, low_string}) {
    auto b = fresh(p[0]);
    edit(b.data());
  }
  {
    auto b = fresh(p[0]);
    fill_string(b.data(), c1, c2);
    strip_string(b.data(), c2);
  }
  const int n = static_cast<int>(p[0].size());
  for (int shift : {-n - 1, -1, 0, 1, n}) {
    auto b = fresh(p[0]);
    shift_string(b.data(), shift);
  }
  string_is_alpha(p[0].c_str());
  string_is_blank(p[0].c_str());
  string_is_num_len(p[0].c_str(), static_cast<int>(p[1].size()));
  std::free(create_string(p[0].c_str()));
  std::free(create_strcat(p[0].c_str(), p[1].c_str(), p[2].c_str()));
  std::vector<char> copy(p[0].size() + 1);
  strntcpy(copy.data(), p[0].c_str(), n);
  const int m = static_cast<int>(p[0].size() + p[1].size()) / 2;
  std::vector<char> joined(static_cast<size_t>(std::max(m, n)) + 1);
  std::memcpy(joined.data(), p[0].c_str(), p[0].size() + 1);
  strmcat(joined.data(), p[1].c_str(), m);
  auto hay = fresh(p[0]);
  strlstr(hay.data(), p[1].c_str());
  {
    int count = 0;
    char** list = nullptr;
    parse_string(p[2].c_str(), ',', &count, &list);
    searchstr(list, count, p[1].c_str());
    free_parsed_array(count, list);
  }
  return 0;
}
