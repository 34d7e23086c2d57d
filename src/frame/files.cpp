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
 * On top of that it holds the naming state of the process: data-set types
 * select name templates from the "name_conv" file, templates turn dates into
 * file names and typed names back into dates, and time texts find
 * the current, latest or next file of a sequence, or ask the user for one.
 * Listings of the files a template matches read the directory through
 * glob(3): no template, resource or typed text ever reaches a shell.
 */
#include "kez.h"

#include <glob.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr Date kUnsetDate{-9999, -9999, -9999, -9999, -9999, -9999, -9999, -9999};

/* What FILE_save_name_conv keeps: the template with its step, its header
 * template, minimum size and extension, and the current name. */
struct SavedNaming {
  int late_off = 3600;
  std::string conv, hconv;
  int min_size = 0;
  std::string ext;
  std::string filename;
  int filename_type = 0;
};

/* The naming state: the selected template and what it inserts, the fixed
 * date parts that override the date of every name, and what the last name
 * built or read held. */
struct NamingState {
  std::string conv;      /* name template of the selected type; empty none */
  std::string hconv;     /* header template; empty none */
  int min_size = 0;      /* a file must be larger (bytes), from the convention line */
  int rmin_size = 0;     /* run-time minimum; 0 not set */
  std::string ext;       /* text of %e */
  std::string ext_info;  /* extra information cut off a typed grid name */
  std::string filename;  /* the current name */
  int filename_type = 0; /* 1 given or typed, 0 built from the template */
  int header = 0;        /* 1 while a header name is built */
  int file_type = 0;     /* typed names: 0 ordinary, 1 grid files */
  int late_off = 3600;   /* time step of the template (s); -9999 none, never 0 */
  Date set{-9999, -9999, -9999, -9999, -9999, -9999, -9999, 0}; /* fixed date parts */
  Date file_date = kUnsetDate;                                  /* parts read from or written into the last name */
  std::array<std::string, 256> keys;                            /* key texts by key character */
  SavedNaming saved;
};

/* A sequence of files: the names of "filename", or a span of hours. Offsets
 * are seconds from the start date. */
struct SequenceState {
  std::vector<std::string> files; /* names listed in "filename" */
  size_t file_ind = 0;            /* next listed name */
  Date first_date = kUnsetDate;   /* start date */
  int num_hour = 0;               /* span; negative: before the start */
  int skip = 0;                   /* step asked for in "num_hour" */
  int offset = 3600;              /* step of the sequence, always positive */
  int secs = 0;                   /* offset of the first file */
  int nsecs = 0;                  /* offset of the next file */
  int shown = 0;                  /* offset FILE_next_file/FILE_prev_file last named */
  int def_hours = 0;              /* span without "num_hour" */
  std::string typed;              /* a typed full path the sequence started from, "" none */
};

struct FilesState {
  int share_mode = 1;    /* recorded by KEZ_share; nothing reads it */
  std::set<FILE*> pipes; /* streams opened with popen, closed with pclose */
  NamingState naming;
  SequenceState seq;
};

FilesState state;

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

/* Copies text into a caller's buffer of FILE_PATH_LEN bytes. */
void copy_out(const std::string& text, char* out) {
  size_t n = std::min(text.size(), static_cast<size_t>(FILE_PATH_LEN - 1));
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

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

/* ==== naming templates and the name_conv file ============================== */
/*
 * A data-set type selects a line of the naming-convention file: a name
 * template, a header template and a minimum file size. A template is text
 * with codes: "%", an optional width N and a letter. Date codes write and
 * read the parts of a date, path codes a directory resource, %{name} any
 * resource, %e the extension and any other letter a key text. The writer
 * (FILE_set_date), the reader of typed names (FILE_set_file) and the lister
 * (FILE_list_file) walk the same language; each records the date parts it
 * met in the file date and the shortest time step of the template.
 */
namespace {

NamingState& naming = state.naming;

constexpr M_type kTraceNames = M_debug_d;
constexpr M_type kTraceConv = M_debug_a;
constexpr M_type kTracePath = M_debug_c;

/* A date code: characters in a name and the listing pattern that matches
 * them. */
struct DateCode {
  char letter;
  int digits;
  const char* pattern;
};

constexpr DateCode date_codes[] = {
    {'Y', 4, "?[0-9]??"}, {'y', 2, "[0-9]?"},  {'m', 2, "[0-9]?"}, {'b', 3, "?[a-z]?"},
    {'d', 2, "[0-9]?"},   {'j', 3, "?[0-9]?"}, {'h', 2, "[0-9]?"}, {'n', 2, "[0-9]?"},
};

struct PathCode {
  char letter;
  const char* resource;
};

constexpr PathCode path_codes[] = {
    {'C', "con_path"},   {'D', "data_path"},  {'F', "file_path"}, {'R', "raw_path"},   {'G', "grid_path"},
    {'W', "watch_path"}, {'I', "image_path"}, {'T', "text_path"}, {'M', "model_path"}, {'S', "sat_path"},
};

const DateCode* find_date_code(char letter) {
  for (const DateCode& dc : date_codes)
    if (dc.letter == letter) return &dc;
  return nullptr;
}

const PathCode* find_path_code(char letter) {
  for (const PathCode& pc : path_codes)
    if (pc.letter == letter) return &pc;
  return nullptr;
}

/* One "%" code of a template. */
struct Code {
  char letter = '\0'; /* '\0' for a "%" that ends the template */
  int width = 0;      /* 0 when none is given */
  size_t next = 0;    /* template index after the code */
};

constexpr int kMaxWidth = 999;

Code read_code(const std::string& t, size_t at) {
  Code code;
  size_t i = at + 1;
  while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
    code.width = std::min(kMaxWidth, code.width * 10 + (t[i] - '0'));
    ++i;
  }
  if (i < t.size()) {
    code.letter = t[i];
    code.next = i + 1;
  } else {
    code.next = i;
  }
  return code;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

/* Reads an unsigned number of at most max_digits digits at p; moves p. */
bool read_uint(const char*& p, int max_digits, int* value) {
  if (!is_digit(*p)) return false;
  long long v = 0;
  for (int n = 0; n < max_digits && is_digit(*p); ++n, ++p)
    if (v <= INT_MAX) v = v * 10 + (*p - '0');
  *value = static_cast<int>(std::min<long long>(v, INT_MAX));
  return true;
}

/* A number as "%d" reads it from a field of the typed text: leading blanks,
 * a sign, at least one digit. */
bool scan_field(const std::string& field, int* value) {
  const char* p = field.c_str();
  while (*p == ' ' || *p == '\t') ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  int v = 0;
  if (!read_uint(p, INT_MAX, &v)) return false;
  *value = negative ? -v : v;
  return true;
}

int round_down(int value, int step) {
  if (step <= 1) return value;
  return value >= 0 ? value / step * step : -((-value + step - 1) / step) * step;
}

/* The step of a negative fixed hour or minute part -(100 * offset + step);
 * 0 when the part asks for no rounding. */
int fixed_step(int part) {
  return part < 0 && part != -9999 ? static_cast<int>(-static_cast<long long>(part) % 100) : 0;
}

/* The days S of a negative fixed day part -S. */
int day_step(int part) { return static_cast<int>(std::min<long long>(-static_cast<long long>(part), kMaxWidth)); }

int fixed_offset(int part) { return static_cast<int>(-static_cast<long long>(part) / 100); }

int clamp_seconds(long long secs) { return static_cast<int>(std::clamp<long long>(secs, -INT_MAX, INT_MAX)); }

/* Shortens the time step of the template to a code's step; the first code
 * sets it. */
void shorter_step(long long step) {
  int s = clamp_seconds(step);
  if (s <= 0) return;
  naming.late_off = naming.late_off <= 0 ? s : std::min(naming.late_off, s);
}

void take_step(char letter, int width) {
  const int n = width > 0 ? width : 1;
  const Date& set = naming.set;
  switch (letter) {
    case 'd':
    case 'j':
      if (set.day < 0 && set.day != -9999)
        naming.late_off = day_step(set.day) * 86400;
      else
        shorter_step(86400LL * n);
      break;
    case 'h':
      if (int s = fixed_step(set.hour); s > 0)
        naming.late_off = s * 3600;
      else
        shorter_step(3600LL * n);
      break;
    case 'n':
      if (int s = fixed_step(set.min); s > 0)
        naming.late_off = s * 60;
      else
        shorter_step(60LL * n);
      break;
    default: break;
  }
}

/* The directory a path code writes: the resource's value without a
 * trailing "/", or "." when it is not set. */
std::string path_resource(const char* resource) {
  const char* value = RES_get(resource);
  if (!value || !*value || stricmp(value, "none") == 0) return ".";
  std::string dir = value;
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

/* Where the directory part of a full path ends: going back from the end,
 * at its n-th "/" (or after a ":" as second character). */
bool dir_end(const std::string& name, int n, size_t* end) {
  if (n <= 0) return false;
  int found = 0;
  for (size_t i = name.size(); i-- > 0;) {
    if (name[i] == '/' && ++found == n) {
      *end = i;
      return true;
    }
    if (i == 1 && name[i] == ':') {
      *end = 2;
      return true;
    }
  }
  return false;
}

int count_of(const std::string& text, size_t from, const char* chars) {
  int n = 0;
  for (size_t i = from; i < text.size(); ++i)
    if (std::strchr(chars, text[i])) ++n;
  return n;
}

/* The text of key k, or its first width characters. */
std::string key_text(char key, int width) {
  const std::string& text = naming.keys[static_cast<unsigned char>(key)];
  return width > 0 ? text.substr(0, static_cast<size_t>(width)) : text;
}

/* The name of the resource in %{name} and the template index after "}". */
std::string brace_name(const std::string& t, size_t from, size_t* next) {
  size_t close = t.find('}', from);
  if (close == std::string::npos) {
    *next = t.size();
    return t.substr(from);
  }
  *next = close + 1;
  return t.substr(from, close - from);
}

void set_parts_unset(Date* date) { date->year = date->month = date->day = date->hour = date->min = -9999; }

/* ---- the writer ---- */

/* Value of a year or month code: the fixed part, else the date's part
 * rounded down to the width; -9999 unset. */
int plain_part(int fixed, int value, int width) {
  if (fixed >= 0) return fixed;
  if (value < 0) return -9999;
  return round_down(value, width);
}

int day_part(int fixed, int value, int width) {
  if (fixed >= 0) return fixed;
  if (value < 0) return -9999;
  if (fixed != -9999) return round_down(value, day_step(fixed));
  return round_down(value, width);
}

int clock_part(int fixed, int value, int width) {
  if (fixed >= 0) return round_down(fixed, width);
  if (value < 0) return -9999;
  if (fixed != -9999) {
    int step = fixed_step(fixed);
    if (step == 0) return value; /* no rounding asked for */
    return round_down(value, step) + fixed_offset(fixed);
  }
  return round_down(value, width);
}

std::string two_digits(int value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%2.2d", value);
  return buf;
}

void write_date_code(const Code& code, const Date& date, std::string* name) {
  const Date& set = naming.set;
  Date& fd = naming.file_date;
  const int n = code.width > 0 ? code.width : 1;
  char buf[24];
  switch (code.letter) {
    case 'Y': {
      int year = plain_part(set.year, date.year, n);
      std::snprintf(buf, sizeof buf, "%4.4d", year < 0 ? 0 : year);
      *name += buf;
      fd.year = year;
      break;
    }
    case 'y': {
      int full = set.year >= 0 ? set.year : date.year;
      if (full < 0) {
        *name += "00";
        fd.year = -9999;
        break;
      }
      int yy = full % 100;
      if (set.year < 0) yy = round_down(yy, n);
      *name += two_digits(yy);
      fd.year = full - full % 100 + yy;
      break;
    }
    case 'm': {
      int month = plain_part(set.month, date.month, n);
      *name += month < 0 ? "00" : two_digits(month);
      fd.month = month;
      break;
    }
    case 'b': {
      int month = set.month >= 0 ? set.month : date.month;
      if (month >= 1 && month <= 12) {
        *name += DATE_month_lower(month);
        fd.month = month;
      } else {
        *name += "xxx";
        fd.month = -9999;
      }
      break;
    }
    case 'd': {
      int day = day_part(set.day, date.day, n);
      *name += day < 0 ? "00" : two_digits(day);
      fd.day = day;
      break;
    }
    case 'j': {
      int year = set.year >= 0 ? set.year : date.year;
      int month = set.month >= 0 ? set.month : date.month;
      int day = day_part(set.day, date.day, 1);
      if (month < 1 || month > 12 || day < 0 || day > 31) {
        *name += "000";
        fd.jday = -9999;
        break;
      }
      int julian = 0;
      DATE_monday_julian(year, month, day, &julian);
      std::snprintf(buf, sizeof buf, "%3.3d", julian);
      *name += buf;
      fd.jday = julian;
      fd.month = month;
      fd.day = day;
      break;
    }
    case 'h': {
      int hour = clock_part(set.hour, date.hour, n);
      *name += hour < 0 ? "00" : two_digits(hour);
      fd.hour = hour;
      break;
    }
    case 'n': {
      int min = clock_part(set.min, date.min, n);
      *name += min < 0 ? "00" : two_digits(min);
      fd.min = min;
      break;
    }
    default: break;
  }
  take_step(code.letter, code.width);
}

/* Builds the name of a date by the current template (the header template
 * while a header name is built). */
int set_date_impl(const Date* datim, std::string* out) {
  NamingState& nm = naming;
  if (nm.conv.empty()) {
    *out = nm.filename.empty() ? "filename" : nm.filename;
    nm.filename_type = 1;
    return 1;
  }
  if (FILE_is_stdio(nm.conv.c_str())) {
    *out = "-";
    nm.filename_type = 0;
    return 1;
  }

  /* A typed full path keeps its directory for the names built after it. */
  std::string typed_dir;
  bool have_dir = false;
  if (nm.filename_type == 1 && FILE_fullpath(nm.filename.c_str())) {
    size_t end = 0;
    if (dir_end(nm.filename, count_of(nm.conv, 0, "/:"), &end)) {
      typed_dir = nm.filename.substr(0, end);
      have_dir = true;
      MESS_print(kTracePath, "Extracted path: %s\n", typed_dir.c_str());
    }
  }

  nm.late_off = -9999;
  const Date date = datim ? *datim : nm.file_date;
  if (datim) set_parts_unset(&nm.file_date);
  if (date.year < 0 && !nm.filename.empty()) {
    *out = nm.filename;
    nm.filename_type = 1;
    return 1;
  }

  const std::string& t = nm.header ? nm.hconv : nm.conv;
  std::string name;
  for (size_t i = 0; i < t.size();) {
    const char c = t[i];
    if (c == '{' || c == '}') {
      ++i;
      continue;
    }
    if (c != '%') {
      name += c == ' ' ? '_' : c;
      ++i;
      continue;
    }
    const Code code = read_code(t, i);
    i = code.next;
    if (code.letter == '\0' || code.letter == '%') {
      name += '%';
    } else if (find_date_code(code.letter)) {
      write_date_code(code, date, &name);
    } else if (code.letter == 'e') {
      name += nm.ext;
    } else if (const PathCode* pc = find_path_code(code.letter)) {
      name += have_dir ? typed_dir : path_resource(pc->resource);
    } else if (code.letter == '{') {
      std::string resource = brace_name(t, code.next, &i);
      if (have_dir) {
        name += typed_dir;
      } else if (const char* value = RES_get(resource.c_str())) {
        name += value;
      }
    } else {
      std::string text = key_text(code.letter, code.width);
      name += text.empty() ? "0" : text;
    }
  }
  *out = name;
  nm.filename = name;
  nm.filename_type = 0;
  return 0;
}

/* ---- the lister ---- */

std::string glob_escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (std::strchr("*?[]\\", c)) out += '\\';
    out += c;
  }
  return out;
}

/* The listing pattern of the name template: wildcards only where a code
 * stands; every other character matches itself. */
std::string listing_pattern() {
  const std::string& t = naming.conv;
  std::string pattern;
  for (size_t i = 0; i < t.size();) {
    const char c = t[i];
    if (c == '{' || c == '}') {
      ++i;
      continue;
    }
    if (c == '*') {
      pattern += '*';
      ++i;
      continue;
    }
    if (c != '%') {
      pattern += glob_escape(std::string(1, c));
      ++i;
      continue;
    }
    const Code code = read_code(t, i);
    i = code.next;
    if (code.letter == '\0' || code.letter == '%') {
      pattern += '%';
    } else if (const DateCode* dc = find_date_code(code.letter)) {
      pattern += dc->pattern;
    } else if (code.letter == 'e') {
      pattern += naming.ext.empty() ? "*" : glob_escape(naming.ext);
    } else if (const PathCode* pc = find_path_code(code.letter)) {
      pattern += glob_escape(path_resource(pc->resource));
    } else {
      std::string text = key_text(code.letter, code.width);
      if (!text.empty())
        pattern += glob_escape(text);
      else
        pattern += code.width > 0 ? std::string(static_cast<size_t>(code.width), '?') : "*";
    }
  }
  return pattern;
}

/* Prints names across in columns, as wide as the longest name. */
void print_columns(const std::vector<std::string>& names) {
  constexpr size_t kLineWidth = 80;
  size_t widest = 0;
  for (const std::string& n : names) widest = std::max(widest, n.size());
  const size_t column = widest + 2;
  const size_t per_line = std::max<size_t>(1, (kLineWidth + 2) / column);
  std::string line;
  for (size_t i = 0; i < names.size(); ++i) {
    line += names[i];
    const bool last = (i + 1) % per_line == 0 || i + 1 == names.size();
    if (last) {
      MESS_print(M_print, "%s\n", line.c_str());
      line.clear();
    } else {
      line.append(column - names[i].size(), ' ');
    }
  }
}

/* The names of the files of the convention, as the listing shows them. */
std::vector<std::string> listed_names() {
  glob_t found{};
  std::vector<std::string> names;
  if (::glob(listing_pattern().c_str(), GLOB_TILDE, nullptr, &found) == 0)
    for (size_t i = 0; i < found.gl_pathc; ++i) names.emplace_back(found.gl_pathv[i]);
  ::globfree(&found);
  return names;
}

/* ---- selecting a convention ---- */

std::vector<std::string> words_of(const std::string& line) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    size_t start = i;
    while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

/* Sets the keys of ":k=text" suffixes and gives the type without them; the
 * caller's text is never written. */
std::string cut_key_suffixes(const std::string& type) {
  size_t cut = std::string::npos;
  for (size_t i = type.find(':'); i != std::string::npos; i = type.find(':', i + 1)) {
    if (i + 3 >= type.size() || type[i + 2] != '=') continue;
    size_t end = type.find(':', i + 3);
    size_t len = end == std::string::npos ? std::string::npos : end - i - 3;
    std::string text = type.substr(i + 3, len);
    if (text.empty()) continue;
    FILE_set_key(type[i + 1], text.c_str());
    MESS_print(kTraceNames, "KEY: %c = %s\n", type[i + 1], text.c_str());
    cut = std::min(cut, i);
  }
  return type.substr(0, cut);
}

/* The type itself is the template when no line names it: nothing of an
 * earlier convention's header or minimum size belongs to it. */
void type_as_template(const std::string& type) {
  naming.conv = type;
  naming.hconv.clear();
  naming.min_size = 0;
}

/* Reads a typed "#" date suffix into the fixed date parts: year, then
 * month, day, hour and minute while digits follow. */
void fix_date_parts(const char* p) {
  int value = 0;
  if (!read_uint(p, 4, &value)) return;
  naming.set.year = value;
  for (int* part : {&naming.set.month, &naming.set.day, &naming.set.hour, &naming.set.min}) {
    if (!read_uint(p, 2, &value)) break;
    *part = value;
  }
}

long int set_current_impl(const char* cur, std::string* filename);

/* Expands a typed name by the template (see FILE_set_file). */
void set_file_impl(const char* file, std::string* out) {
  NamingState& nm = naming;
  std::string text = file ? file : "";
  set_parts_unset(&nm.file_date);

  auto begins = [&text](const char* word) { return text.size() >= 2 && strnicmp(text.c_str(), word, 2) == 0; };
  const bool by_time = (!text.empty() && text[0] == '#') || begins("la") || begins("cu");
  if (nm.file_type == 0) {
    /* A time request keeps its "#": "la#2" is a count of steps, not a date. */
    size_t hash = by_time ? std::string::npos : text.find('#', 1);
    if (hash != std::string::npos) {
      fix_date_parts(text.c_str() + hash + 1);
      text.resize(hash);
    }
  } else if (text.size() > 1) {
    std::vector<char> rest(text.begin() + 1, text.end());
    rest.push_back('\0');
    FILE_extract_extra_info(rest.data());
    text = text.substr(0, 1) + rest.data();
  }

  for (auto [from, to] : {std::pair{nm.set.year, &nm.file_date.year}, std::pair{nm.set.month, &nm.file_date.month},
                          std::pair{nm.set.day, &nm.file_date.day}, std::pair{nm.set.hour, &nm.file_date.hour},
                          std::pair{nm.set.min, &nm.file_date.min}})
    *to = from >= 0 ? from : -9999;

  if (stricmp(text.c_str(), "exit") == 0) KEZ_exit(0);

  const std::string tmpl = nm.header ? nm.hconv : nm.conv;
  if (!text.empty() && text[0] == '@') {
    *out = text.substr(1);
    nm.filename_type = 1;
    return;
  }
  if (FILE_is_stdio(text.c_str()) || (!tmpl.empty() && FILE_is_stdio(tmpl.c_str()))) {
    *out = "-";
    return;
  }
  if (tmpl.empty()) {
    *out = text;
    nm.filename = text;
    nm.filename_type = 1;
    return;
  }
  if (by_time) {
    set_current_impl(begins("cu") ? text.c_str() + 2 : text.c_str(), out);
    MESS_print(M_mess, "Current filename: %s\n", out->c_str());
    return;
  }
  if (stricmp(text.c_str(), "none") == 0 || (FILE_fullpath(text.c_str()) && FILE_fullpath(tmpl.c_str()))) {
    *out = text;
    return;
  }

  /* Walk the template along the typed text. match: 0 nothing matched yet,
   * 1 a directory part read, 2 a date part read, 3 the text used up after a
   * matching literal. */
  const std::string& typed = text;
  std::string result;
  size_t ti = 0, si = 0;
  int match = 0;
  bool in_brace = false;
  nm.late_off = -9999;
  auto copy_rest = [&] {
    result.append(typed, si, std::string::npos);
    si = typed.size();
  };
  const bool typed_full = FILE_fullpath(typed.c_str()) != 0;
  const bool typed_has_slash = typed.find('/') != std::string::npos;

  while (ti < tmpl.size()) {
    MESS_print(kTraceNames, "FILES:%s:%s:%s:%s:%s:%d\n", tmpl.c_str() + ti, typed.c_str() + si, "", typed.c_str(),
               result.c_str(), match);
    const char c = tmpl[ti];
    if (c == '%') {
      const Code code = read_code(tmpl, ti);
      const size_t code_at = ti;
      ti = code.next;
      if (const DateCode* dc = find_date_code(code.letter)) {
        std::string field = typed.substr(si, static_cast<size_t>(dc->digits));
        int value = 0;
        bool ok = code.letter == 'b' ? (value = DATE_decode_month(field.c_str())) != 0 : scan_field(field, &value);
        if (!ok) {
          copy_rest();
          break;
        }
        result += field;
        si += field.size();
        Date& fd = nm.file_date;
        switch (code.letter) {
          case 'Y': fd.year = value; break;
          case 'y': fd.year = value > 49 ? 1900 + value : 2000 + value; break;
          case 'm':
          case 'b': fd.month = value; break;
          case 'd': fd.day = value; break;
          case 'j':
            DATE_julian_monday(fd.year, value, &fd.month, &fd.day);
            fd.jday = value;
            break;
          case 'h': fd.hour = value; break;
          case 'n': fd.min = value; break;
          default: break;
        }
        match = 2;
        take_step(code.letter, code.width);
      } else if (code.letter == 'e') {
        /* The rest of the template marks where the extension ends. */
        const std::string rest = tmpl.substr(ti);
        size_t at = rest.empty() ? typed.size() : typed.find(rest, si);
        if (!nm.ext.empty()) {
          result += nm.ext;
          if (at != std::string::npos) si = at;
        } else if (at != std::string::npos) {
          nm.ext = typed.substr(si, at - si);
          result += nm.ext;
          si = at;
        } else {
          copy_rest();
          break;
        }
      } else if (code.letter == '%' || code.letter == '\0') {
        result += '%';
      } else if (const PathCode* pc = find_path_code(code.letter)) {
        if (!typed_full) {
          result += path_resource(pc->resource);
          if (ti < tmpl.size() && tmpl[ti] == '/') {
            result += '/';
            ++ti;
          }
        } else {
          size_t end = 0;
          if (dir_end(typed, count_of(tmpl, code_at, "/\\:"), &end) && end >= si) {
            result.append(typed, si, end - si);
            si = end;
          }
        }
        match = 1;
      } else {
        std::string key = key_text(code.letter, code.width);
        if (key.empty()) {
          copy_rest();
          break;
        }
        result += key;
        si = std::min(typed.size(), si + key.size());
      }
      continue;
    }
    if (c == '*') {
      copy_rest();
      break;
    }
    if (c == '{' || c == '}') {
      in_brace = c == '{';
      if (c == '}') match = 1;
      ++ti;
      continue;
    }
    if (in_brace) {
      result += c;
      ++ti;
      continue;
    }
    const bool more = si < typed.size();
    const char t = more ? typed[si] : '\0';
    if (match > 0 && more && t == c) {
      result += c;
      ++si;
      ++ti;
      if (si == typed.size()) match = 3;
    } else if ((match >= 2 && more) || (match == 0 && t != c)) {
      copy_rest();
      break;
    } else {
      result += c;
      ++ti;
      if ((match >= 2 || !typed_has_slash) && more) ++si;
    }
  }
  *out = result;
  MESS_print(kTraceNames, "FILES:%s:%s:%d\n", typed.c_str(), result.c_str(), match);
  DATE_print(M_debug, &nm.file_date);
}

} // namespace

int FILE_set_name(const char* type_in) {
  NamingState& nm = naming;
  std::string type = type_in ? type_in : "";
  nm.filename.clear();
  if (stricmp(type.c_str(), "none") == 0) {
    nm.conv.clear();
    return 0;
  }
  if (!type.empty() && type[0] == '@') {
    nm.conv = type.substr(1);
    return 1;
  }
  type = cut_key_suffixes(type);

  const char* conv_name = RES_get("name_conv");
  if (!conv_name || !*conv_name) conv_name = "name_conv";
  std::string path = FILE_add_path(RES_get("file_path"), conv_name);
  FILE* fp = FILE_is_stdio(path.c_str()) ? nullptr : FILE_open(path.c_str(), "r");
  if (!fp) {
    MESS_print(M_warn, "FILE_set_name: No file name convention file: %s\n", path.c_str());
    type_as_template(type);
    return 0;
  }
  MESS_print(kTraceConv, "Opening name convention file: %s\n", path.c_str());
  nm.ext.clear();

  std::string line;
  while (fget_text_line(fp, &line)) {
    if (!line.empty() && line[0] == '#') continue;
    std::vector<std::string> words = words_of(line);
    if (words.size() < 2) continue;
    const std::string& line_type = words[0];
    bool exact = stricmp(line_type.c_str(), type.c_str()) == 0;
    const int len = static_cast<int>(line_type.size());
    bool partial = !exact && line_type.size() < type.size() && strnicmp(type.c_str(), line_type.c_str(), len) == 0;
    if (!exact && !partial) continue;
    if (exact) {
      MESS_print(kTraceConv, "File name match for: %s\n", type.c_str());
    } else {
      size_t under = type.rfind('_');
      nm.ext = under == std::string::npos ? "" : type.substr(under + 1);
      MESS_print(kTraceConv, "File name partial match for: %s-%s ext: %s\n", type.c_str(), line_type.c_str(),
                 nm.ext.c_str());
    }
    nm.conv = words[1];
    nm.hconv = words.size() > 2 && words[2] != "-" ? words[2] : "";
    nm.min_size = 0;
    if (words.size() > 3) scan_field(words[3], &nm.min_size);
    FILE_close(fp);
    return 1;
  }
  FILE_close(fp);
  type_as_template(type);
  MESS_print(kTraceConv, "No file name conversion for: %s\n", type.c_str());
  return 0;
}

int FILE_set_date(const Date* datim, char* out_file) {
  std::string name;
  int result = set_date_impl(datim, &name);
  if (out_file) copy_out(name, out_file);
  return result;
}

int FILE_hdr_set_date(const Date* datim, char* out_file) {
  Date date = datim ? *datim : naming.file_date;
  if (date.year < 0) return 0;
  naming.header = 1;
  std::string name;
  set_date_impl(&date, &name);
  naming.header = 0;
  if (out_file) copy_out(name, out_file);
  return name.empty() ? 0 : 1;
}

int FILE_list_file() {
  std::string pattern = listing_pattern();
  MESS_print(M_debug, "SEARCH: %s\n", pattern.c_str());
  const std::vector<std::string> names = listed_names();
  if (names.empty())
    MESS_print(M_mess, "No files match: %s\n", pattern.c_str());
  else
    print_columns(names);
  return 0;
}

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

int FILE_set_name_conv(const char* str) {
  naming.hconv.clear();
  std::vector<std::string> words = words_of(str ? str : "");
  int step = 0;
  if (words.empty() || !scan_field(words[0], &step)) return 0;
  int result = FILE_set_late_off(step);
  if (words.size() > 1) naming.conv = words[1];
  if (words.size() > 2) naming.hconv = words[2];
  return result;
}

int FILE_get_name_conv(char* str) {
  if (!str) return -1;
  std::snprintf(str, FILE_PATH_LEN, "%d %s %s", naming.late_off, naming.conv.c_str(), naming.hconv.c_str());
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

/* ==== typed file names ===================================================== */

int FILE_set_file(const char* file, char* out_file) {
  std::string name;
  set_file_impl(file, &name);
  if (out_file) copy_out(name, out_file);
  return 0;
}

int FILE_extract_extra_info(char* file) {
  if (!file) return -1;
  size_t n = std::strlen(file);
  if (n <= 2) return 0;
  size_t at = std::strcspn(file + 2, "#-+:") + 2;
  if (at < n) {
    naming.ext_info = file + at;
    file[at] = '\0';
  }
  return 0;
}

/* ==== current, latest and sequences of files =============================== */
/*
 * A time text names a file by time: a reference ("#" and a date,
 * else "kezcurtime", else now), an offset back or forward, "la" for the
 * latest acceptable file along the template's time step, and a second
 * offset from there. The input-file dialogue and the sequences of files
 * that a plot animates are built on it.
 */
namespace {

SequenceState& seq = state.seq;

constexpr int kRetry = 4;      /* prompts for an input file */
constexpr int kAnswerLen = 79; /* an answer holds 78 characters */
constexpr int kLatestTries = 500;
/* A latest-file search asked for with "#" steps back at most this often
 * (a year of hourly files): each step tests a file. */
constexpr int kMaxLatestTries = 10000;
/* Spans and steps of a sequence ("num_hour"): about eleven years, so that
 * offsets in seconds keep well inside an int. */
constexpr int kMaxSpanHours = 100000;
constexpr int kNoStep = 100000; /* sequence step of a template without a time code */

Date date_of(long int secs) {
  Date date;
  DATE_get_gmdate(&secs, &date);
  return date;
}

/* Reads digits of a date: year (up to 4), then month, day, hour and minute
 * (up to 2 each) while digits follow; a part not given is the start of its
 * period. false when not even a year is given. */
bool read_date_digits(const char*& p, Date* date) {
  *date = Date{-9999, 1, 1, -9999, -9999, 0, 0, 0};
  if (!read_uint(p, 4, &date->year)) return false;
  for (int* part : {&date->month, &date->day, &date->hour, &date->min})
    if (!read_uint(p, 2, part)) break;
  return true;
}

/* The reference time of a time text; moves p past a "#" date. */
long int reference_time(const char*& p) {
  Date date;
  if (*p == '#') {
    ++p;
    if (read_date_digits(p, &date)) return DATE_num_sec(&date);
  }
  if (const char* env = std::getenv("kezcurtime")) {
    const char* q = env;
    if (*q == '#') ++q;
    if (read_date_digits(q, &date)) return DATE_num_sec(&date);
    MESS_print(M_warn, "FILE_set_current: No date in kezcurtime: %s\n", env);
  }
  return DATE_get_time(nullptr);
}

/* Moves the reference back to the latest time that fits the fixed date
 * parts that are 0 or more. */
long int fit_fixed_parts(long int secs) {
  const Date& set = naming.set;
  Date ref = date_of(secs);
  auto settle = [&ref, &secs] {
    secs = DATE_num_sec(&ref);
    ref = date_of(secs);
  };
  if (set.month >= 0 && ref.month < set.month) {
    ref.year -= 1;
    ref.month = set.month;
    settle();
  }
  if (set.day >= 0 && ref.day < set.day) {
    if (--ref.month < 1) {
      ref.month = 12;
      ref.year -= 1;
    }
    ref.day = set.day;
    settle();
  }
  if (set.hour >= 0) {
    if (ref.hour < set.hour) ref = date_of(secs - 86400);
    ref.hour = set.hour;
    settle();
  }
  if (set.min >= 0) {
    if (ref.min < set.min) ref = date_of(secs - 3600);
    ref.min = set.min;
    settle();
  }
  return secs;
}

/* A direction and an offset: "+" forward, "-" or nothing back; then, when a
 * digit follows, N "d" H ":" M or H ":" M. */
struct Offset {
  int dir = -1;
  bool read = false;
  int days = 0, hours = 0, mins = 0;
  long int secs() const { return dir * (86400L * days + 3600L * hours + 60L * mins); }
};

constexpr int kMaxDigits = 6;

int read_direction(const char*& p) {
  if (*p == '+') {
    ++p;
    return 1;
  }
  if (*p == '-') ++p;
  return -1;
}

Offset read_offset(const char*& p) {
  Offset off;
  off.dir = read_direction(p);
  if (!is_digit(*p)) return off;
  int first = 0;
  read_uint(p, kMaxDigits, &first);
  if (*p == 'd') {
    off.days = first;
    ++p;
    read_uint(p, kMaxDigits, &off.hours);
  } else {
    off.hours = first;
  }
  if (*p == ':' && is_digit(p[1])) {
    ++p;
    read_uint(p, kMaxDigits, &off.mins);
  }
  off.read = true;
  return off;
}

/* Seconds rounded down to a multiple of the time step (when there is one). */
long int round_to_step(long int secs) {
  long int step = naming.late_off;
  if (step <= 0) return secs;
  long int r = secs % step;
  return r < 0 ? secs - r - step : secs - r;
}

long int set_current_impl(const char* cur, std::string* filename) {
  const char* p = cur ? cur : "la";
  long int secs = fit_fixed_parts(reference_time(p));

  Offset off = read_offset(p);
  if (off.read) secs += off.secs();
  MESS_print(M_debug, "CUR1:%d %d %d %d\n", off.dir, off.days, off.hours, off.mins);
  MESS_print(M_debug, "CUR1:%s %ld\n", p, secs);
  int dir = off.read ? read_direction(p) : off.dir;

  if (*p == 'l' || *p == 'L') {
    ++p;
    if (*p == 'a' || *p == 'A') ++p;
    int tries = kLatestTries;
    if (*p == '#' && is_digit(p[1])) {
      ++p;
      read_uint(p, kMaxDigits, &tries);
      if (tries > kMaxLatestTries) {
        MESS_print(M_warn, "FILE_set_current: Latest-file search cut to %d steps\n", kMaxLatestTries);
        tries = kMaxLatestTries;
      }
    }
    std::string name;
    for (int i = 0; i < tries; ++i) {
      Date date = date_of(secs);
      set_date_impl(&date, &name);
      MESS_print(M_debug, "LATE:%d %d %d %d %d\n", date.year, date.month, date.day, date.hour, date.min);
      MESS_print(M_debug, "LATE: %s\n", name.c_str());
      if (FILE_size(name.c_str()) > FILE_get_min_size()) break;
      if (naming.late_off <= 0) break; /* no time code: there is nowhere to step */
      secs += static_cast<long int>(dir) * naming.late_off;
    }
    MESS_print(M_debug, "LATEST: %s %s %ld\n", p, name.c_str(), secs);
  }

  Offset again = read_offset(p);
  if (again.read) secs += again.secs();
  MESS_print(M_debug, "CUR2:%d %d %d %d\n", again.dir, again.days, again.hours, again.mins);
  MESS_print(M_debug, "CUR2:%ld\n", secs);

  Date date = date_of(secs);
  set_date_impl(&date, filename);
  MESS_print(M_debug, "%d %d %d %d\n", date.year, date.day, date.hour, date.min);
  return round_to_step(secs);
}

bool is_listed(const char* answer) {
  const std::vector<std::string> names = listed_names();
  return std::find(names.begin(), names.end(), answer) != names.end();
}

/* A name typed as the listing shows it, folder and all. The template
 * builds the folder itself, so the name is read from the part after a
 * folder whose expansion gives the listed name back (its date is then
 * known); failing that, it is taken as it stands. */
void take_listed(const std::string& listed, std::string* name) {
  NamingState& nm = naming;
  for (size_t at = 0;;) {
    std::string built;
    set_file_impl(listed.c_str() + at, &built);
    if (built == listed) {
      *name = built;
      nm.filename = built;
      nm.filename_type = 1;
      return;
    }
    at = listed.find('/', at);
    if (at == std::string::npos) break;
    ++at;
  }
  set_file_impl(("@" + listed).c_str(), name);
  nm.filename = *name;
}

/* The input file: the first item of "filename", else "current" (or the
 * latest file in batch mode), else the dialogue. With only, nothing ends
 * the program and the dialogue asks once. */
int choose_file(const char* prompt, char* outfile, bool only) {
  NamingState& nm = naming;
  int argc = 0;
  char** argv = nullptr;
  if (RES_getvals("filename", &argc, &argv) > 0) {
    std::string item = argv[0];
    free_parsed_array(argc, argv);
    if (stricmp(item.c_str(), "list") == 0) {
      FILE_list_file();
      KEZ_exit(0);
    }
    std::string name;
    set_file_impl(item.c_str(), &name);
    nm.filename = name;
    if (!only) nm.filename_type = 1;
    if (outfile) copy_out(name, outfile);
    return FILE_exist(name.c_str());
  }
  free_parsed_array(argc, argv);

  const char* cur = RES_get("current");
  if (cur || FLAG_batch() > 0) {
    std::string name;
    set_current_impl(cur ? cur : "la", &name);
    if (outfile) copy_out(name, outfile);
    if (FILE_exist(name.c_str())) {
      MESS_print(M_mess, "Current filename: %s\n", name.c_str());
      return 1;
    }
    if (only) return 0;
    MESS_print(M_warn, "File not found: %s\n", name.c_str());
    KEZ_exit(10);
  }

  MESS_print(M_print, "List of available files:\n");
  FILE_list_file();
  MESS_print(M_print, "\nType a name as listed, \"list\" to list the files again or \"exit\" to leave.\n");
  const int tries = only ? 1 : kRetry;
  std::string name;
  for (int t = 0; t < tries; ++t) {
    char answer[kAnswerLen + 1] = "";
    /* No answer at all is no file found, whatever the tries before gave. */
    const int before = KEZ_set_end_status(only ? 0 : 10);
    KEZ_prompts(prompt, answer, kAnswerLen);
    KEZ_set_end_status(before);
    if (stricmp(answer, "exit") == 0) KEZ_exit(0);
    if (stricmp(answer, "list") == 0) {
      FILE_list_file();
      if (only) --t; /* the single question is still to be answered */
      continue;
    }
    if (answer[0] == '\0') {
      /* An empty name would read the standard input: ask again instead. */
      MESS_print(M_warn, "File not found: (no name given)\n");
      continue;
    }
    if (answer[0] == '#' || strnicmp(answer, "la", 2) == 0 || strnicmp(answer, "cu", 2) == 0) {
      const char* spec = strnicmp(answer, "cu", 2) == 0 ? answer + 2 : answer;
      set_current_impl(spec, &name);
      MESS_print(M_mess, "Current filename: %s\n", name.c_str());
    } else if (is_listed(answer)) {
      take_listed(answer, &name);
    } else {
      set_file_impl(answer, &name);
      nm.filename = name;
      nm.filename_type = 1;
    }
    if (outfile) copy_out(name, outfile);
    if (FILE_exist(name.c_str())) return 1;
    MESS_print(M_warn, "File not found: %s\n", name.c_str());
  }
  if (only) return 0;
  KEZ_exit(10);
}

/* Hours and minutes "H:M" (a "-" makes both negative) in seconds; a span
 * beyond kMaxSpanHours is refused with a message. */
bool read_span(const char*& p, int* secs) {
  const char* text = p;
  while (*p == ' ' || *p == '\t') ++p;
  bool negative = false;
  if (*p == '-' || *p == '+') negative = *p++ == '-';
  int hours = 0, mins = 0;
  if (!read_uint(p, kMaxDigits, &hours)) return false;
  if (*p == ':' && is_digit(p[1])) {
    ++p;
    read_uint(p, kMaxDigits, &mins);
  }
  const long long total = 3600LL * hours + 60LL * mins;
  if (total > 3600LL * kMaxSpanHours) {
    MESS_print(M_warn, "FILE_num_hour: Span or step longer than %d hours refused: %s\n", kMaxSpanHours, text);
    return false;
  }
  *secs = static_cast<int>(negative ? -total : total);
  return true;
}

int step_or_none() { return naming.late_off > 0 ? naming.late_off : kNoStep; }

/* The names of a sequence begun from a typed full path are built in its
 * folder: the typed name is the last one typed for each of them. */
void keep_typed_folder() {
  if (seq.typed.empty()) return;
  naming.filename = seq.typed;
  naming.filename_type = 1;
}

int set_date_off_impl(Date* datim, int offset, std::string* out) {
  long int secs = DATE_num_sec(datim) + offset;
  Date date = date_of(secs);
  set_date_impl(&date, out);
  return offset / step_or_none();
}

} // namespace

long int FILE_set_current(const char* cur, char* filename) {
  std::string name;
  long int secs = set_current_impl(cur, &name);
  if (filename) copy_out(name, filename);
  return secs;
}

int FILE_get_file(const char* prompt, char* outfile) { return choose_file(prompt, outfile, false); }

int FILE_get_file_only(const char* prompt, char* outfile) { return choose_file(prompt, outfile, true); }

int FILE_get_date(Date* date) {
  if (!date) return -1;
  *date = naming.file_date;
  return 0;
}

int FILE_first(const Date* datim) {
  seq.files.clear();
  int argc = 0;
  char** argv = nullptr;
  if (RES_getvals("filename", &argc, &argv) > 0) {
    bool by_time = strnicmp(argv[0], "la", 2) == 0 || strnicmp(argv[0], "cu", 2) == 0;
    if (!by_time) seq.files.assign(argv, argv + argc);
  }
  free_parsed_array(argc, argv);
  seq.file_ind = 0;
  seq.first_date = datim ? *datim : naming.file_date;
  seq.num_hour = FILE_num_hour();
  seq.skip = FILE_get_skip();
  seq.offset = FILE_get_offset();
  if (seq.skip > 0 && seq.skip >= seq.offset) seq.offset = seq.skip / seq.offset * seq.offset;
  /* A span before the start begins a whole number of steps back; with a
   * step of decades that is beyond an int. */
  const long long first = (static_cast<long long>(seq.num_hour) - seq.offset + 1) / seq.offset * seq.offset;
  seq.secs = seq.num_hour < 0 ? clamp_seconds(first) : 0;
  seq.nsecs = seq.secs;
  seq.shown = seq.secs;
  /* Every name of a sequence started from a typed full path stays in its
   * folder, not only the first one built. */
  const NamingState& nm = naming;
  seq.typed = nm.filename_type == 1 && FILE_fullpath(nm.filename.c_str()) ? nm.filename : "";
  return 0;
}

int FILE_get_next(char* file) {
  const bool list = !seq.files.empty() && !(seq.files.size() == 1 && seq.num_hour != 0);
  std::string name;
  if (list) {
    if (seq.file_ind >= seq.files.size()) return 0;
    set_file_impl(seq.files[seq.file_ind++].c_str(), &name);
    naming.filename = name;
    naming.filename_type = 1;
    if (file) copy_out(name, file);
    return 1;
  }
  if (seq.num_hour < 0 ? seq.nsecs > 0 : seq.nsecs > seq.num_hour) return 0;
  if (seq.num_hour == 0) {
    name = naming.filename;
  } else {
    FILE_print_first_date(" in: ");
    Date date = seq.first_date;
    keep_typed_folder();
    set_date_off_impl(&date, seq.nsecs, &name);
    FILE_print_first_date("out: ");
    const Date& fd = naming.file_date;
    MESS_print(M_debug_c, "NEXT: %d %d %d %d %d %s\n", fd.year, fd.month, fd.day, fd.hour, seq.nsecs, name.c_str());
  }
  seq.nsecs = clamp_seconds(static_cast<long long>(seq.nsecs) + seq.offset);
  if (file) copy_out(name, file);
  return 1;
}

int FILE_get_num_file() {
  const size_t n = seq.files.size();
  if (n == 0 || (n == 1 && seq.num_hour != 0)) return seq.num_hour;
  return static_cast<int>(n) - 1;
}

int FILE_set_date_off(Date* datim, int offset, char* out_file) {
  if (!datim) return 0;
  std::string name;
  int steps = set_date_off_impl(datim, offset, &name);
  if (out_file) copy_out(name, out_file);
  return steps;
}

int FILE_next_file(char* file) {
  seq.shown = clamp_seconds(static_cast<long long>(seq.shown) + seq.offset);
  Date date = seq.first_date;
  keep_typed_folder();
  FILE_set_date_off(&date, seq.shown, file);
  return 1;
}

int FILE_prev_file(char* file) {
  seq.shown = clamp_seconds(static_cast<long long>(seq.shown) - seq.offset);
  Date date = seq.first_date;
  keep_typed_folder();
  FILE_set_date_off(&date, seq.shown, file);
  return 1;
}

int FILE_get_offset() { return step_or_none(); }

int FILE_num_hour() {
  const char* text = RES_get("num_hour");
  int span = 0;
  if (text && read_span(text, &span)) return span;
  return seq.def_hours;
}

int FILE_get_skip() {
  const char* text = RES_get("num_hour");
  const char* comma = text ? std::strchr(text, ',') : nullptr;
  if (!comma) return naming.late_off;
  const char* p = comma + 1;
  int step = 0;
  return read_span(p, &step) ? step : 0;
}

int FILE_set_def_hours(int hour) {
  seq.def_hours =
      static_cast<int>(std::clamp<long long>(3600LL * hour, -3600LL * kMaxSpanHours, 3600LL * kMaxSpanHours));
  return 0;
}

int FILE_get_num_hour() { return seq.num_hour; }

int FILE_get_nsecs() { return seq.nsecs; }

int FILE_set_nsecs(int val) {
  seq.nsecs = val;
  return 0;
}

int FILE_print_first_date(const char* str) {
  MESS_print(M_debug, "%s", str ? str : "");
  DATE_print(M_debug, &seq.first_date);
  return 0;
}
