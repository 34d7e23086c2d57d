/*
 * files: the file layer of the suite.
 *
 * Every file the system reads or writes is named by a text that may stand
 * for a standard stream ("", "-", "std", "stdn"), a shell command (a leading
 * "|"), a path under a home directory (a leading "~") or a plain path. This
 * module turns such names into open streams, answers questions about the
 * entries they name, joins search directories and file names, makes missing
 * directories before a file is written, asks what to do with an existing
 * output file, and tells the suite's own formats apart by their magic text.
 * Names starting with "/", "." or "~" are full paths and are never joined to
 * a search directory.
 *
 * On top of that it holds the naming state of the process, set and read
 * here: data-set types select name templates from the "name_conv" file,
 * templates turn dates into file names and typed names back into dates
 * (files_template.cpp), and time texts find the current, latest or next
 * file of a sequence, or ask the user for one (files_date.cpp). What the
 * three files share is in files_impl.h.
 */
#include "files_impl.h"
#include "kez.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace files_impl;

namespace files_impl {

FilesState state;

/* Copies text into a caller's buffer of FILE_PATH_LEN bytes. */
void copy_out(const std::string& text, char* out) {
  size_t n = std::min(text.size(), static_cast<size_t>(FILE_PATH_LEN - 1));
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

} // namespace files_impl

namespace {

struct Magic {
  const char* text;
  int length; /* characters compared */
  int type;
};

/* Compared in this order; longer magics that share a start ("KEZGRID4",
 * "KEZUPA+", "KEZIMGZ") match the shorter entry. */
constexpr Magic magics[] = {
    {"KEZSFC", 6, 11}, {"KEZUPA", 6, 12}, {"KEZRAW", 6, 5}, {"KEZGRID", 7, 6}, {"KEZMETA", 7, 8}, {"KEZIMG", 6, 9},
};

bool stat_of(const char* file, struct stat* st) {
  if (!file) return false;
  std::string name = FILE_add_user_path(file);
  return ::stat(name.c_str(), st) == 0;
}

/* Makes the missing directories of a path (in place: backslashes become
 * slashes). flag is the number of trailing components that are not
 * directories. Returns 1 when nothing had to be made. */
int make_dir(std::string& dir, int flag) {
  std::replace(dir.begin(), dir.end(), '\\', '/');
  size_t slash = dir.rfind('/');
  if (slash != std::string::npos && slash > 0 && FILE_exist(dir.substr(0, slash).c_str())) return 1;

  std::vector<std::string> items;
  size_t start = 0;
  for (;;) {
    size_t next = dir.find('/', start);
    items.push_back(dir.substr(start, next == std::string::npos ? std::string::npos : next - start));
    if (next == std::string::npos) break;
    start = next + 1;
  }
  while (items.size() > 1 && items.back().empty()) items.pop_back(); /* trailing "/" */

  std::string path;
  int count = static_cast<int>(items.size()) - flag;
  for (int i = 0; i < count; ++i) {
    const std::string& item = items[static_cast<size_t>(i)];
    if (item.empty()) {
      if (path.empty() || path.back() != '/') path += '/';
      continue;
    }
    path += item;
    path += '/';
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
      MESS_print(M_warn, "FILE_make_dir: Unable to make directory: %s (%s)\n", path.c_str(), std::strerror(errno));
  }
  return 0;
}

} // namespace

int FILE_is_stdio(const char* file) {
  if (!file) return 0;
  if (!*file || std::strcmp(file, "-") == 0) return 1;
  return (stricmp(file, "std") == 0 || stricmp(file, "stdn") == 0) ? 1 : 0;
}

std::string FILE_add_user_path(const char* file) {
  if (!file) return {};
  if (file[0] != '~') return file;
  const char* slash = std::strchr(file, '/');
  std::string user(file + 1, slash ? static_cast<size_t>(slash - file - 1) : std::strlen(file + 1));
  struct passwd* pw = user.empty() ? ::getpwuid(::getuid()) : ::getpwnam(user.c_str());
  if (!pw || !pw->pw_dir) return file;
  std::string out = pw->pw_dir;
  if (slash) out += slash;
  return out;
}

int FILE_add_user_path(const char* file, char* filename) {
  copy_out(FILE_add_user_path(file), filename);
  return 0;
}

int FILE_fullpath(const char* filename) {
  if (!filename) return 0;
  return (filename[0] == '/' || filename[0] == '.' || filename[0] == '~') ? 1 : 0;
}

int FILE_add_path_delim(char* path) {
  size_t n = std::strlen(path);
  if (n > 0 && path[n - 1] != '/') {
    path[n] = '/';
    path[n + 1] = '\0';
  }
  return 0;
}

std::string FILE_add_path(const char* path, const char* file) {
  if (!file) file = "";
  if (FILE_is_stdio(file) || FILE_fullpath(file)) return file;
  std::string out = path ? path : "";
  if (!out.empty() && out.back() != '/') out += '/';
  out += file;
  return out;
}

char* FILE_add_path(const char* path, const char* file, char* filename) {
  copy_out(FILE_add_path(path, file), filename);
  return filename;
}

FILE* FILE_open(const char* file, const char* access) {
  if (!file || !access || !*access) return nullptr;
  if (FILE_is_stdio(file)) return access[0] == 'r' ? stdin : stdout;
  if (file[0] == '|') {
    FILE* fp = ::popen(file + 1, access[0] == 'r' ? "r" : "w");
    if (fp) state.pipes.insert(fp);
    return fp;
  }
  std::string name = FILE_add_user_path(file);
  if (access[0] == 'w' || access[0] == 'a') make_dir(name, 1);
  return std::fopen(name.c_str(), access);
}

int FILE_close(FILE* fp) {
  if (!fp) return -1;
  if (fp == stdin || fp == stdout || fp == stderr) return std::fflush(fp) == 0 ? 0 : -1;
  auto it = state.pipes.find(fp);
  if (it != state.pipes.end()) {
    state.pipes.erase(it);
    return ::pclose(fp) == -1 ? -1 : 0;
  }
  return std::fclose(fp) == 0 ? 0 : -1;
}

int FILE_type(const char* filename) {
  if (!filename) return -1;
  FILE* fp = FILE_open(filename, "r");
  if (!fp) {
    const char* dash = std::strchr(filename, '-');
    if (!dash) return -1;
    std::string part(filename, static_cast<size_t>(dash - filename));
    fp = FILE_open(part.c_str(), "r");
    if (!fp) return -1;
  }
  char head[10];
  size_t got = std::fread(head, 1, sizeof head, fp);
  FILE_close(fp);
  for (const Magic& m : magics)
    if (got >= static_cast<size_t>(m.length) && std::memcmp(head, m.text, static_cast<size_t>(m.length)) == 0)
      return m.type;
  return -1;
}

int FILE_exist(const char* file) {
  if (FILE_is_stdio(file)) return 1;
  struct stat st;
  return stat_of(file, &st) ? 1 : 0;
}

int FILE_is_dir(const char* file) {
  struct stat st;
  return (stat_of(file, &st) && S_ISDIR(st.st_mode)) ? 1 : 0;
}

int FILE_is_file(const char* file) {
  struct stat st;
  return (stat_of(file, &st) && S_ISREG(st.st_mode)) ? 1 : 0;
}

int FILE_is_fifo(const char* file) {
  struct stat st;
  return (stat_of(file, &st) && S_ISFIFO(st.st_mode)) ? 1 : 0;
}

int FILE_is_device(const char* file) {
  struct stat st;
  return (stat_of(file, &st) && (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))) ? 1 : 0;
}

long int FILE_size(const char* file) {
  struct stat st;
  return stat_of(file, &st) ? static_cast<long int>(st.st_size) : -1;
}

time_t FILE_modtime(const char* file) {
  struct stat st;
  return stat_of(file, &st) ? st.st_mtime : static_cast<time_t>(-1);
}

int FILE_delete(const char* file) {
  if (!file) return -1;
  std::string name = FILE_add_user_path(file);
  return ::unlink(name.c_str()) == 0 ? 0 : -1;
}

int FILE_make_dir(char* dir, int flag) {
  std::string work = dir;
  int result = make_dir(work, flag);
  std::replace(dir, dir + std::strlen(dir), '\\', '/');
  return result;
}

int FILE_overwrite(const char* filename, int flag) {
  if (FILE_is_stdio(filename) || !FILE_exist(filename)) return 1;
  int param = FLAG_get(FLAG_FILE_PARAM);
  if (param > 0) return param;
  if (FLAG_batch()) return 3;
  char answer[16] = "";
  /* Without an answer the file is neither kept nor written: the end of the
   * input must not look like success. */
  struct EndStatus {
    int before = KEZ_set_end_status(1);
    ~EndStatus() { KEZ_set_end_status(before); }
  } end_status;
  if (flag == 2) {
    std::string prompt = std::string(filename) + ": exists overwrite (Y,N,Use,Over,App): ";
    KEZ_prompts(prompt.c_str(), answer, 9);
    switch (answer[0]) {
      case 'Y':
      case 'y':
      case 'O':
      case 'o': return 1;
      case 'A':
      case 'a': return 2;
      default: return 3;
    }
  }
  if (flag == 1) {
    std::string prompt = std::string(filename) + ": exists overwrite (Y,N,Use,Over): ";
    KEZ_prompts(prompt.c_str(), answer, 9);
    switch (answer[0]) {
      case 'Y':
      case 'y':
      case 'O':
      case 'o': return 1;
      default: return 3;
    }
  }
  return 0;
}

int KEZ_share(int mode) {
  state.share_mode = mode;
  return 0;
}

/* ==== the naming state ===================================================== */

int FILE_set_key(char key, const char* str) {
  std::string text = str ? str : "";
  if (text.size() > static_cast<size_t>(FILE_KEY_LEN - 1)) text.resize(FILE_KEY_LEN - 1);
  std::replace_if(
      text.begin(), text.end(), [](char c) { return c == ' ' || c == '\t'; }, '_');
  naming.keys[static_cast<unsigned char>(key)] = text;
  return 0;
}

int FILE_get_key(char key, char* str) {
  if (!str) return -1;
  const std::string& text = naming.keys[static_cast<unsigned char>(key)];
  std::memcpy(str, text.c_str(), text.size() + 1);
  return 0;
}

int FILE_save_name_conv() {
  const NamingState& nm = naming;
  naming.saved = SavedNaming{nm.late_off, nm.conv, nm.hconv, nm.min_size, nm.ext, nm.filename, nm.filename_type};
  return 0;
}

int FILE_restore_name_conv() {
  NamingState& nm = naming;
  const SavedNaming& s = nm.saved;
  nm.late_off = s.late_off;
  nm.conv = s.conv;
  nm.hconv = s.hconv;
  nm.min_size = s.min_size;
  nm.ext = s.ext;
  nm.filename = s.filename;
  nm.filename_type = s.filename_type;
  return 0;
}

int FILE_set_filename(const char* str) {
  naming.filename = str ? str : "";
  naming.filename_type = 1;
  return 0;
}

const char* FILE_get_filename(char* str) {
  if (str) copy_out(naming.filename, str);
  return naming.filename.c_str();
}

int FILE_set_late_off(int val) {
  if (val <= 0 && val != -9999) {
    MESS_print(M_warn, "FILE_set_late_off: Time step of %d seconds refused\n", val);
    return -1;
  }
  naming.late_off = val;
  return 0;
}

int FILE_get_late_off() { return naming.late_off; }

int FILE_set_min_size(int val) {
  naming.rmin_size = val;
  return 0;
}

int FILE_get_min_size() { return naming.rmin_size != 0 ? naming.rmin_size : naming.min_size; }

int FILE_set_time(const Date* datim) {
  if (!datim) return -1;
  naming.set = *datim;
  return 0;
}

int FILE_get_time(Date* datim) {
  if (!datim) return -1;
  *datim = naming.set;
  return 0;
}

int FILE_reset_time() {
  set_parts_unset(&naming.set);
  return 0;
}

int FILE_set_type(int type) {
  naming.file_type = type;
  return 0;
}

const char* FILE_get_ext_info() { return naming.ext_info.c_str(); }

int FILE_set_ext_info(const char* str) {
  naming.ext_info = str ? str : "";
  return 0;
}
