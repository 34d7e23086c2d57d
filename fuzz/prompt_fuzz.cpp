/*
 * Typed answers: numbered menus and the line prompts, answered from the
 * input. The input is cut at NUL bytes into
 *   0  a menu, one entry a line: "name|abbreviation|index|shown" where shown
 *      holds one digit per menu number ("1" shows the entry there); the first
 *      line is the return entry,
 *   1  the typed answers, one a line,
 *   2  the menu's title,
 *   3  bytes: the menu's flags, the menu number, the answer length of the
 *      word prompt.
 * The answers run through the menu, the number prompts, the word and line
 * prompts, the overwrite question and the device question in turn. Lines
 * that would end the program are refused (kez_fuzz::feed_answers).
 */
#include "kez_fuzz.h"
#include "kezgks.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr size_t kMaxEntries = 100;

std::vector<std::string> split(const std::string& text, char sep) {
  std::vector<std::string> out;
  size_t at = 0;
  for (;;) {
    const size_t end = text.find(sep, at);
    out.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    kez_fuzz::quiet();
    /* The menus and questions are printed on the standard output. */
    if (!std::freopen("/dev/null", "w", stdout)) std::perror("prompt_fuzz: stdout");
    kez_fuzz::write_file("exists", reinterpret_cast<const uint8_t*>("x"), 1);
    return true;
  }();
  (void)ready;
  const auto p = kez_fuzz::parts(data, size, 4);
  if (!kez_fuzz::feed_answers(p[1])) return -1;
  const unsigned char flag = p[3].size() > 0 ? static_cast<unsigned char>(p[3][0]) : 7;
  const int menu_num = p[3].size() > 1 ? static_cast<signed char>(p[3][1]) % 12 : 0;
  const int word_len = p[3].size() > 2 ? static_cast<unsigned char>(p[3][2]) % 100 : 20;

  /* The entries' texts live beside the array; an entry without a name ends it. */
  std::vector<std::vector<std::string>> fields;
  for (const std::string& line : split(p[0], '\n')) {
    if (fields.size() == kMaxEntries) break;
    fields.push_back(split(line, '|'));
  }
  std::vector<MENU_item> menu;
  for (size_t i = 0; i < fields.size(); ++i) {
    const auto& f = fields[i];
    MENU_item item{f[0].c_str(),
                   f.size() > 1 ? f[1].c_str() : nullptr,
                   f.size() > 2 ? std::atoi(f[2].c_str()) : static_cast<int>(i),
                   {}};
    const std::string shown = f.size() > 3 ? f[3] : "1";
    for (size_t m = 0; m < 10 && m < shown.size(); ++m) item.disp[m] = shown[m] - '0';
    menu.push_back(item);
  }
  menu.push_back(MENU_item{nullptr, nullptr, 0, {}});

  const std::string& title = p[2];
  MENU_print(title.c_str(), menu.data(), menu_num, flag);
  char answer[MENU_STRING_LEN] = "";
  const int chosen = MENU_process(title.c_str(), menu.data(), menu_num, "Choice: ", answer, flag);
  MENU_search(answer, menu.data());
  MENU_get_abbr(chosen, menu.data());
  MENU_check(chosen, menu.data(), menu_num);

  KEZ_promptf("Value: ");
  KEZ_promptd("Number: ");
  std::vector<char> word(static_cast<size_t>(word_len) + 2);
  KEZ_prompts("Word: ", word.data(), word_len);
  char line[81];
  KEZ_promptl("Line: ", line);
  FLAG_set(FLAG_FILE_PARAM, KEZ_MISS);
  FLAG_set_batch(0);
  const std::string exists = kez_fuzz::scratch_dir() + "/exists";
  FILE_overwrite(exists.c_str(), 1 + (flag >> 7));
  int ws_type = 0;
  GPH_device_prompt(&ws_type);
  return 0;
}
