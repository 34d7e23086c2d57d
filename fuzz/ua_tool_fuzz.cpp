/* The upper-air prompt layer and the sounding options: the level menu file,
 * the conditions of its rows (the model and forecast-time texts), the level
 * prompt (the "level" resource, batch mode or answers typed to the menu),
 * the "in_file" conventions, the station prompt (the "identifier" resource
 * or typed answers) over an upper-air file, and the parcel items of
 * "plot_param" with the analysis of the chosen station's sounding.
 *
 * The input is six texts ended by NUL bytes, then the upper-air file:
 *   level menu file, model and time texts (one a line), level answers,
 *   station answers, "plot_param", "in_file", file bytes.
 * Level answers beginning with "=" set "level" to the rest, with "!" run in
 * batch mode; station answers beginning with "=" give the "identifier".
 * Answers are typed through standard input, one a line. A prompt ends the
 * program at "exit", at the menu's exit and at the end of its input, and
 * the station prompt when no station is found: typed answers that would end
 * it are left out, the menu's last answer returns to the main menu, and the
 * station prompt's last answer (or the identifier) is a station of the file
 * that the station search finds. */
#include "kez_fuzz.h"
#include "kezupa.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr size_t texts = 6;
constexpr size_t max_answers = 8;
constexpr size_t station_attempts = 4;
constexpr size_t station_len = 10;

bool begins_nocase(const std::string& s, const char* p) {
  const size_t n = std::strlen(p);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(s[i])) != p[i]) return false;
  return true;
}

/* Answers that would end the program at a prompt: the commands "exit" and
 * "set" (which changes settings for every later input), and the menu's
 * negative choices. */
bool ends_program(const std::string& line) {
  std::istringstream in(line);
  std::string word;
  in >> word;
  const size_t lead = line.find_first_not_of(" \t\v\f\r");
  const std::string rest = lead == std::string::npos ? "" : line.substr(lead);
  return begins_nocase(rest, "set") || begins_nocase(rest, "exi") || begins_nocase(word, "exi") ||
         (!word.empty() && word[0] == '-');
}

std::vector<std::string> lines(const std::string& text, size_t max) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string line;
  while (out.size() < max && std::getline(in, line))
    if (!ends_program(line)) out.push_back(line);
  return out;
}

/* Makes the lines the answers of the next prompts. */
void type_answers(const std::vector<std::string>& answers) {
  const std::string path = kez_fuzz::scratch_dir() + "/answers";
  if (FILE* fp = std::fopen(path.c_str(), "w")) {
    for (const std::string& a : answers) std::fprintf(fp, "%s\n", a.c_str());
    std::fclose(fp);
  }
  if (!std::freopen(path.c_str(), "r", stdin)) std::abort();
}

/* An identifier of the open file, typed as it stands, that the station
 * search finds: one word of at most ten characters that no prompt takes
 * for a command. Empty when the file has none. */
std::string findable_station() {
  auto r = std::make_unique<UPA_report>();
  for (int n = 0; n < 50; ++n) {
    if (UPA_read(0, r.get(), UPA_REP_ID, &n) != 0) break;
    const std::string id(r->id, strnlen(r->id, sizeof r->id));
    bool plain = !id.empty() && id.size() <= station_len && !ends_program(id) && !begins_nocase(id, "list");
    for (unsigned char c : id) plain = plain && std::isgraph(c);
    if (!plain) continue;
    std::vector<char> up(id.begin(), id.end());
    up.push_back('\0');
    if (UPA_get_station(up.data(), r.get()) == 1) return id;
  }
  return {};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kez_fuzz::quiet();
  std::vector<std::string> t;
  size_t at = 0;
  while (t.size() < texts && at < size) {
    const uint8_t* end = static_cast<const uint8_t*>(std::memchr(data + at, 0, size - at));
    const size_t len = end ? static_cast<size_t>(end - (data + at)) : size - at;
    t.emplace_back(reinterpret_cast<const char*>(data + at), len);
    at += len + 1;
  }
  if (t.size() < texts) return 0;
  const std::string& dir = kez_fuzz::scratch_dir();
  RES_put("file_path", dir.c_str());

  char prog[FILE_PATH_LEN] = "";
  RES_get_progname(prog);
  kez_fuzz::write_file(std::string(prog) + ".lev", reinterpret_cast<const uint8_t*>(t[0].data()), t[0].size());
  const size_t nl = t[1].find('\n');
  VAR_set_model_str(t[1].substr(0, nl).c_str());
  VAR_set_time_str(nl == std::string::npos ? "" : t[1].substr(nl + 1).c_str());

  /* The level. */
  const std::string& level = t[2];
  RES_put("level", !level.empty() && level[0] == '=' ? level.c_str() + 1 : "");
  FLAG_set(FLAG_BATCH, !level.empty() && level[0] == '!' ? 1 : 0);
  std::vector<std::string> answers = lines(level, max_answers);
  answers.emplace_back("main");
  type_answers(answers);
  UPA_set_prompt_level(1);
  UPA_prompt_level();
  type_answers({"main"});
  UPA_prompt_level(); /* again: the file read anew, the prompt off or on */
  FLAG_set(FLAG_BATCH, 0);

  RES_put("in_file", t[5].c_str());
  UPA_in_file();

  /* The station, then its sounding with the parcel items. */
  const std::string path = kez_fuzz::write_file("upa", data + std::min(at, size), size - std::min(at, size));
  if (UPA_open_file(path.c_str()) != 1) return 0;
  auto report = std::make_unique<UPA_report>();
  UPA_initialize(report.get());
  const std::string known = findable_station();
  if (!known.empty()) {
    const std::string& station = t[3];
    const bool given = !station.empty() && station[0] == '=';
    RES_put("identifier", given ? known.c_str() : "");
    std::vector<std::string> typed = lines(station, station_attempts - 1);
    typed.push_back(known);
    type_answers(typed);
    UPA_set_prompt(1);
    UPA_prompt_station(report.get());
    UPA_prompt_station(report.get()); /* asked once */
  } else {
    UPA_rewind_file();
    UPA_read_station(report.get());
  }
  RES_put("plot_param", t[4].c_str());
  UPA_merge_report(report.get());
  THERM_calc();
  THERM_indices();
  UPA_close_file();
  return 0;
}
