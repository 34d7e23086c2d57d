/*
 * Sequences of files and the naming settings behind them. The input is cut
 * at NUL bytes into
 *   0  a data-set type for FILE_set_name, or "@" and a name template,
 *   1  the "name_conv" file that types are looked up in,
 *   2  "num_hour", the span and step of a sequence ("-6,3", "12:30"),
 *   3  "filename", the typed names of a list sequence (comma separated),
 *   4  a naming setting for FILE_set_name_conv ("3600 %y%m%d%h.x %y.hdr"),
 *   5  the current-time text that picks the first file ("la", "#20111010-3"),
 *   6  "kezcurtime", the reference time (a fixed date when empty),
 *   7  bytes: the default span in hours, the name kind, the steps to walk.
 * Two files of the template's names lie in a folder that is made afresh for
 * each input, so that the latest-file search and the listing find them and
 * nothing else. Templates that reach
 * outside the scratch folder (a leading "/", "..", "~") are refused, and so
 * is the typed name "exit", which ends the program.
 */
#include "kez_fuzz.h"

#include <strings.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

namespace {

constexpr int kMaxSteps = 400;

const std::string& folder() {
  static const std::string dir = kez_fuzz::scratch_dir() + "/seq";
  return dir;
}

void fresh_folder() {
  std::error_code error;
  std::filesystem::remove_all(folder(), error);
  std::filesystem::create_directory(folder(), error);
  if (::chdir(folder().c_str()) != 0) std::perror("file_seq_fuzz: chdir");
}

bool inside_scratch(const std::string& text) {
  if (text.find("..") != std::string::npos || text.find('~') != std::string::npos) return false;
  std::istringstream words(text);
  for (std::string w; words >> w;)
    if (w[0] == '/' || (w[0] == '@' && w.size() > 1 && w[1] == '/')) return false;
  return true;
}

bool names_exit(const std::string& list) {
  std::istringstream items(list);
  for (std::string item; std::getline(items, item, ',');) {
    const size_t b = item.find_first_not_of(" \t");
    if (b != std::string::npos && strncasecmp(item.c_str() + b, "exit", 4) == 0) return true;
  }
  return false;
}

/* A latest-file search tests one file a step: a long one only costs time. */
bool short_search(const std::string& text) {
  for (size_t at = text.find('#'); at != std::string::npos; at = text.find('#', at + 1))
    if (at > 0 && (text[at - 1] == 'l' || text[at - 1] == 'L' || text[at - 1] == 'a' || text[at - 1] == 'A') &&
        std::atoi(text.c_str() + at + 1) > 600)
      return false;
  return true;
}

void touch(const char* name, int bytes) {
  if (!*name || name[0] == '-') return;
  if (FILE* fp = std::fopen(name, "wb")) {
    for (int i = 0; i < bytes; ++i) std::fputc('x', fp);
    std::fclose(fp);
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    kez_fuzz::quiet();
    for (const char* path : {"file_path", "data_path", "raw_path", "grid_path", "model_path", "con_path"})
      RES_put(path, folder().c_str());
    return true;
  }();
  (void)ready;
  const auto p = kez_fuzz::parts(data, size, 8);
  if (!inside_scratch(p[0]) || !inside_scratch(p[1]) || !inside_scratch(p[4])) return -1;
  if (names_exit(p[3]) || !short_search(p[5])) return -1;
  const unsigned char b0 = p[7].size() > 0 ? static_cast<unsigned char>(p[7][0]) : 0;
  const unsigned char b1 = p[7].size() > 1 ? static_cast<unsigned char>(p[7][1]) : 0;
  const unsigned char b2 = p[7].size() > 2 ? static_cast<unsigned char>(p[7][2]) : 0;

  /* What an earlier input left in the naming state. */
  FILE_reset_time();
  FILE_set_name("none");
  FILE_set_ext_info("");
  FILE_set_min_size(0);

  fresh_folder();
  if (FILE* fp = std::fopen("name_conv", "wb")) {
    std::fwrite(p[1].data(), 1, p[1].size(), fp);
    std::fclose(fp);
  }
  RES_put("name_conv", "name_conv");
  RES_put("num_hour", p[2].c_str());
  RES_put("filename", p[3].empty() ? nullptr : p[3].c_str());
  ::setenv("kezcurtime", p[6].empty() ? "2011101100" : p[6].c_str(), 1);
  FILE_set_type(b1 & 1);
  FILE_set_def_hours(static_cast<signed char>(b0));

  FILE_set_name(p[0].c_str());
  if (!p[4].empty()) FILE_set_name_conv(p[4].c_str());
  char conv[FILE_PATH_LEN + 64];
  FILE_get_name_conv(conv);
  FILE_save_name_conv();

  /* Two files of the template's names: the reference hour and a step back. */
  char name[FILE_PATH_LEN];
  const int min_size = FILE_get_min_size();
  const int bytes = min_size >= 0 && min_size < 4096 ? min_size + 1 : 1;
  Date date{};
  DATE_init(&date);
  date.year = 2011, date.month = 10, date.day = 10, date.hour = 23, date.min = 0;
  FILE_set_date(&date, name);
  touch(name, bytes);
  FILE_set_date_off(&date, -3600 * 6, name);
  touch(name, bytes);

  const long int secs = FILE_set_current(p[5].c_str(), name);
  FILE_restore_name_conv();
  Date first{};
  FILE_get_date(&first);
  if (first.year < 0) {
    long int s = secs;
    DATE_get_gmdate(&s, &first);
  }
  FILE_first(&first);
  FILE_get_num_file();
  FILE_num_hour();
  FILE_get_skip();
  for (int i = 0; i < kMaxSteps && FILE_get_next(name) == 1; ++i) {
  }
  for (int i = 0; i < (b2 & 7); ++i) FILE_next_file(name);
  for (int i = 0; i < (b2 >> 5); ++i) FILE_prev_file(name);
  FILE_hdr_set_date(nullptr, name);
  FILE_list_file();
  return 0;
}
