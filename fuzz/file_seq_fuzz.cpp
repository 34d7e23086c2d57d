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
 *   7  bytes (no byte is 0: a NUL ends the part): the default span in
 *      hours, the name kind, the steps to walk, the fixed date parts (a bit
 *      each for month, day, hour and minute) and their value, the
 *      question's settings (bit 1 batch mode, bit 2 ask for the input file,
 *      bits 3-4 the answer that FLAG_FILE_PARAM gives, bits 5-6 the
 *      overwrite question's kind), the template's time step in tens of
 *      minutes (signed; -128 none),
 *   8  typed answers to the input-file and overwrite questions,
 *   9  key texts for the template's %{...} codes, "k=text" one a line.
 * Two files of the template's names lie in a folder that is made afresh for
 * each input, so that the latest-file search and the listing find them and
 * nothing else. Templates that reach
 * outside the scratch folder (a leading "/", "..", "~") are refused, and so
 * is the typed name "exit", which ends the program, and with the dialogue
 * a first listed name "list", which lists and ends it too. The file tests,
 * the folder maker and the deleter only see names inside the scratch folder.
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

bool names_exit(const std::string& list, bool dialogue) {
  std::istringstream items(list);
  for (std::string item; std::getline(items, item, ',');) {
    const size_t b = item.find_first_not_of(" \t");
    if (b == std::string::npos) continue;
    if (strncasecmp(item.c_str() + b, "exit", 4) == 0) return true;
    if (dialogue && strncasecmp(item.c_str() + b, "list", 4) == 0) return true;
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

/* A built name that the target may write, open, make folders for or
 * delete: relative (the working folder is the scratch folder) or under it,
 * and no command or home folder. A template's %{resource} inserts any
 * resource's text, so the name is tested, not only the template. */
bool scratch_name(const char* name) {
  const std::string n = name;
  if (n.empty() || n[0] == '|' || n[0] == '~' || n[0] == '-' || n.find("..") != std::string::npos) return false;
  return n[0] != '/' || n.compare(0, folder().size() + 1, folder() + "/") == 0;
}

void touch(const char* name, int bytes) {
  if (!scratch_name(name)) return;
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
  const auto p = kez_fuzz::parts(data, size, 10);
  if (!inside_scratch(p[0]) || !inside_scratch(p[1]) || !inside_scratch(p[4]) ||
      p[9].find_first_of("/~") != std::string::npos || p[9].find("..") != std::string::npos)
    return -1;
  auto byte = [&](size_t i) { return p[7].size() > i ? static_cast<unsigned char>(p[7][i]) : 0; };
  const unsigned char b0 = byte(0), b1 = byte(1), b2 = byte(2);
  const unsigned char fixed = byte(3), fixed_value = byte(4), dialogue = byte(5);
  const signed char step = static_cast<signed char>(byte(6));
  const bool ask = dialogue & 4;
  if (names_exit(p[3], ask) || !short_search(p[5]) || !short_search(p[8])) return -1;

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

  /* Key texts live on in the naming state: an earlier input's are cleared. */
  static std::string keys_set;
  for (char k : keys_set) FILE_set_key(k, "");
  keys_set.clear();
  for (const std::string& line : kez_fuzz::lines_of(p[9])) {
    if (line.size() > 1 && line[1] == '=') {
      FILE_set_key(line[0], line.c_str() + 2);
      keys_set += line[0];
    }
  }

  FILE_set_name(p[0].c_str());
  if (!p[4].empty()) FILE_set_name_conv(p[4].c_str());
  if (step != 0 && step != -128) FILE_set_late_off(step * 600);
  if (fixed & 15) {
    /* Fixed date parts: the reference moves back to the latest time that
     * fits them. */
    Date set{};
    FILE_get_time(&set);
    if (fixed & 1) set.month = 1 + fixed_value % 12;
    if (fixed & 2) set.day = 1 + fixed_value % 28;
    if (fixed & 4) set.hour = fixed_value % 24;
    if (fixed & 8) set.min = fixed_value % 60;
    FILE_set_time(&set);
  }
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

  /* What the programs ask of a file they are about to read or write. */
  FILE_set_date(&date, name);
  if (scratch_name(name)) {
    FILE_exist(name);
    FILE_is_file(name);
    FILE_is_dir(name);
    FILE_is_fifo(name);
    FILE_is_device(name);
    FILE_size(name);
    FILE_modtime(name);
    FILE_type(name);
    char path[FILE_PATH_LEN + 2];
    FILE_add_path(folder().c_str(), name, path);
    FILE_add_path_delim(path);
    FILE_fullpath(path);
    FILE_is_stdio(path);
    FILE_set_nsecs(FILE_get_nsecs());
    FILE_print_first_date("first: ");
    FILE_set_filename(name);
    FILE_get_filename(path);
    FILE_get_key('v', path);
    FILE_get_ext_info();
    for (const std::string& line : kez_fuzz::lines_of(p[3]))
      if (!line.empty() && line[0] == '~') FILE_add_user_path(line.c_str());
    FLAG_set_batch((dialogue >> 1) & 1);
    FLAG_set(FLAG_FILE_PARAM, (dialogue >> 3) & 3);
    const int kind = (dialogue >> 5) & 3;
    if (kind != 0 && kez_fuzz::feed_answers(p[8])) FILE_overwrite(name, kind);
    /* An output file in a folder that is still to be made. */
    std::string deeper = std::string(name) + ".d/out";
    if (FILE* fp = FILE_open(deeper.c_str(), "w")) {
      FILE_type(deeper.c_str());
      FILE_close(fp);
    }
    FILE_delete(deeper.c_str());
    std::vector<char> dir(deeper.begin(), deeper.end());
    dir.push_back('\0');
    FILE_make_dir(dir.data(), 0);
    FILE_delete(name);
    FLAG_set(FLAG_FILE_PARAM, 0);
  }

  /* The input file as the programs choose it: the list, the latest file
   * in batch mode, else a question answered from part 8. (The "current"
   * resource is never set: once made, a resource stays, and every later
   * input would take its branch.) */
  if (ask) {
    FLAG_set_batch((dialogue >> 1) & 1);
    if (kez_fuzz::feed_answers(p[8])) FILE_get_file_only("File: ", name);
  }
  FLAG_set_batch(0);
  return 0;
}
