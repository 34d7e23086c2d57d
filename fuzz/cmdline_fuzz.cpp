/*
 * A program's start-up gathering: command line, defaults files along the
 * search path, environment and a linked loop window. The input is cut at
 * NUL bytes into
 *   0  the arguments, one a line (the first is the program's name),
 *   1  "kez.cfg" in the working folder (the "." of the search path),
 *   2  "more.cfg", read where the search path or "-df" names it,
 *   3  environment settings "NAME=value", one a line (names from "kez"),
 *   4  the bytes a loop window answers with (window "#1" of the path),
 *   5  a byte that chooses the positional definitions.
 * Texts that could reach outside the scratch folder or run a command ("/",
 * "\\", "~", "|") and window numbers other than 1 are refused, so that an
 * input can only read and write its own folder and talk to its own window.
 * Names that no definition knows are cut to three characters before they
 * reach the resource list, which never forgets a name: without that, a long
 * run would fill it with every name the fuzzer ever tried.
 */
#include "kez_fuzz.h"
#include "kezresrc.h"
#include "loop_peer.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr size_t kMaxArgs = 64;
constexpr size_t kMaxEnv = 16;
constexpr size_t kShortName = 3;

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

/* Every key with a definition that is given by an option. */
std::vector<res_type> keyed_keys() {
  std::vector<res_type> keys;
  for (int k = 1; k <= RES_sat_path; ++k) {
    const auto key = static_cast<res_type>(k);
    if (key == RES_command || key == RES_filename || key == RES_filenames || key == RES_values) continue;
    keys.push_back(key);
  }
  keys.push_back(RES_null);
  return keys;
}

/* The names and abbreviations of the definitions, lower case. */
const std::vector<std::string>& known_names() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> out;
    for (int k = 1; k <= RES_sat_path; ++k) {
      RES_defobj def{};
      RES_enter(&def, static_cast<res_type>(k));
      if (def.def && *def.def) out.push_back(lower(def.def));
      if (def.cmd && *def.cmd) out.push_back(lower(def.cmd));
    }
    for (const char* extra : {"name", "default", "df"}) out.push_back(extra);
    return out;
  }();
  return names;
}

/* A name the gathering finds a definition for, by beginning or whole. */
bool known(const std::string& name) {
  const std::string n = lower(name);
  for (const std::string& k : known_names())
    if (k.compare(0, n.size(), n) == 0 || n.compare(0, k.size(), k) == 0) return true;
  return false;
}

/* An option's name cut to three characters when nothing knows it. */
std::string bounded_option(const std::string& arg) {
  const bool dash = arg.size() > 1 && arg[0] == '-';
  if (!dash) return arg;
  const size_t start = arg[1] == '-' ? 2 : 1;
  const size_t eq = arg.find('=', start);
  const std::string name = arg.substr(start, eq == std::string::npos ? std::string::npos : eq - start);
  if (name.size() <= kShortName || known(name)) return arg;
  return arg.substr(0, start) + name.substr(0, kShortName) + (eq == std::string::npos ? "" : arg.substr(eq));
}

/* A defaults line whose pattern names a resource that nothing knows makes
 * a new resource of the name after the pattern's last "." or "*". */
bool bounded_defaults(const std::string& text) {
  for (const std::string& line : kez_fuzz::lines_of(text)) {
    const size_t b = line.find_first_not_of(" \t\r\f\v");
    if (b == std::string::npos || line[b] == '#') continue;
    std::string word = line.substr(b, line.find_first_of(" \t\r\f\v", b) - b);
    if (!word.empty() && word.back() == ':') word.pop_back();
    const size_t last = word.find_last_of(".*");
    const std::string name =
        last == std::string::npos ? word.substr(std::min<size_t>(1, word.size())) : word.substr(last + 1);
    if (name.size() > kShortName && !known(name)) return false;
  }
  return true;
}

/* No path out of the scratch folder, no command, only loop window 1. */
bool safe(const std::string& text) {
  if (text.find_first_of("/\\~|") != std::string::npos) return false;
  for (size_t at = text.find('#'); at != std::string::npos; at = text.find('#', at + 1)) {
    const size_t d = at + 1;
    if (d >= text.size() || !std::isdigit(static_cast<unsigned char>(text[d]))) continue;
    if (text[d] != '1' || (d + 1 < text.size() && std::isdigit(static_cast<unsigned char>(text[d + 1])))) return false;
  }
  return true;
}

kez_fuzz::LoopPeer& peer() {
  static kez_fuzz::LoopPeer p;
  return p;
}

/* Closes the IF levels the defaults files left open (see defaults_fuzz):
 * END lines until a probe line after them is active again. A search path
 * may read a file many times, so the number of open levels is not known. */
void close_levels() {
  std::string ends;
  for (int i = 0; i < 256; ++i) ends += "END\n";
  ends += "kezsfc.probe on\n";
  const std::string path = kez_fuzz::write_file("end.cfg", reinterpret_cast<const uint8_t*>(ends.data()), ends.size());
  for (int round = 0; round < 100000; ++round) {
    if (DEF_open(path.c_str()) != 0) std::abort();
    bool active = false;
    std::string name, value;
    while (DEF_get(&name, &value) == 1) active = active || name == "kezsfc.probe";
    DEF_close();
    if (active) return;
  }
  std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    kez_fuzz::quiet();
    kez_fuzz::restore_fuzzer_timer();
    /* Help and batch-mode messages go to the standard output. */
    if (!std::freopen("/dev/null", "w", stdout)) std::perror("cmdline_fuzz: stdout");
    if (::chdir(kez_fuzz::scratch_dir().c_str()) != 0) std::perror("cmdline_fuzz: chdir");
    if (peer().start()) {
      MQ_settype(1);
      MQ_offset(peer().port() - 1);
    }
    MQ_timeout(5);
    return true;
  }();
  (void)ready;
  const auto p = kez_fuzz::parts(data, size, 6);
  for (size_t i = 0; i < 4; ++i)
    if (!safe(p[i])) return -1;
  if (!bounded_defaults(p[1]) || !bounded_defaults(p[2])) return -1;

  kez_fuzz::write_file("kez.cfg", reinterpret_cast<const uint8_t*>(p[1].data()), p[1].size());
  kez_fuzz::write_file("more.cfg", reinterpret_cast<const uint8_t*>(p[2].data()), p[2].size());

  /* The arguments live as long as the program's would. */
  static std::vector<std::string> args;
  static std::vector<char*> argv;
  args.clear();
  for (const std::string& line : kez_fuzz::lines_of(p[0])) {
    if (args.size() == kMaxArgs) break;
    args.push_back(args.empty() ? line : bounded_option(line));
  }
  if (args.empty() || args[0].empty()) args.insert(args.begin(), "kezsfc");
  argv.clear();
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  std::vector<std::string> env_names;
  for (const std::string& line : kez_fuzz::lines_of(p[3])) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos || eq > 64 || line.compare(0, 3, "kez") != 0 || env_names.size() == kMaxEnv) continue;
    const std::string name = line.substr(0, eq);
    if (::setenv(name.c_str(), line.c_str() + eq + 1, 1) == 0) env_names.push_back(name);
  }
  std::string replies = p[4].substr(0, 16384);
  peer().set_replies(replies);

  /* What an earlier input left: the search path and the program's title. */
  RES_put("default", ".");
  DEF_name("");

  const std::vector<res_type> keys = keyed_keys();
  const unsigned choice = p[5].empty() ? 0 : static_cast<unsigned char>(p[5][0]) % 3;
  const res_type positional[3][3] = {
      {RES_filenames, RES_null, RES_null}, {RES_filename, RES_values, RES_null}, {RES_command, RES_null, RES_null}};
  RES_init(static_cast<int>(args.size()), argv.data(), keys.data(), positional[choice]);

  /* What a program reads next. */
  if (FLAG_help() == 1) RES_help_print(args[0].c_str(), keys.data(), positional[choice]);
  int count = 0;
  char** values = nullptr;
  RES_getvals("filename", &count, &values);
  free_parsed_array(count, values);
  float scale = 0;
  RES_getval("plot_scale", &scale, CV_float);
  char prog[FILE_PATH_LEN];
  RES_get_progname(prog);
  RES_list();

  peer().finish_input();
  kez_fuzz::restore_fuzzer_timer();
  for (const std::string& name : env_names) ::unsetenv(name.c_str());
  MESS_set_str("none");
  MESS_set_out(1);
  close_levels();
  return 0;
}
