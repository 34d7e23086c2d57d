/*
 * mess: every line of output of the suite.
 *
 * MESS_print writes a message when its level mask shares a bit with the
 * current level: to the copy file, to the log file and to the terminal
 * (standard error for errors and warnings, standard output for the rest).
 * The level, the log file and paging come from the "message" resource
 * (MESS_set_str), from batch mode (MESS_set) and from the plot parameters
 * "page" and "nopage" (MESS_set_page).
 */
#include "kez.h"

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int kDefaultPageLines = 22;
constexpr long kMaxPageLines = 1000000;

struct MessState {
  M_type level = 0xFFFFF; /* print, error, warn, mess, out1 and out2 */
  int set = 0;            /* explicit settings of the level so far */
  /* Terminal and log mode: 1 terminal on, plain log; 0 terminal off;
   * -1 terminal on, time-stamped log; 2 log opened and closed per message. */
  int out = 1;
  int page = 1;  /* 0 never wait, 1 only at MESS_hold, 2 also every max_lines */
  int lines = 0; /* terminal lines since the last wait */
  int max_lines = kDefaultPageLines;
  FILE* ofile = nullptr; /* copy file */
  FILE* pfile = nullptr; /* log file */
  std::string filename;  /* log file of mode 2 */
  bool opening = false;  /* the log file of mode 2 is being opened */
};

MessState state;

struct LevelWord {
  const char* word;
  M_type mask;
};

constexpr LevelWord level_words[] = {
    {"none", M_none}, {"print", M_print}, {"error", M_error}, {"warn", M_warn}, {"mess", M_mess},
    {"out1", M_out1}, {"out2", M_out2},   {"out3", M_out3},   {"out4", M_out4}, {"debug", M_debug},
};

/* The mask with every bit below its highest set bit also set. */
M_type fill_below(M_type mask) {
  if (mask == 0) return 0;
  M_type high = M_type{1} << (31 - __builtin_clz(mask));
  return high | (high - 1);
}

bool begins_with(const char* text, const char* key) {
  size_t n = std::strlen(key);
  return std::strlen(text) >= n && strnicmp(text, key, static_cast<int>(n)) == 0;
}

void close_log() {
  if (state.pfile) FILE_close(state.pfile);
  state.pfile = nullptr;
}

/* Opens a log file for an item; a file that cannot be opened leaves the
 * terminal on, so that no message, errors included, is lost. */
void open_log(const char* item, const char* name, const char* access, int mode) {
  if (!*name) {
    MESS_print(M_warn, "MESS_set_str: No log file name in: %s\n", item);
    return;
  }
  FILE* fp = FILE_open(name, access);
  if (!fp) {
    /* The terminal comes back first, so that the failure is seen there and
     * not only in the log that was in use. */
    if (state.out == 0) state.out = 1;
    MESS_print(M_warn, "MESS_set_str: Unable to open log file: %s\n", name);
    return;
  }
  close_log();
  state.pfile = fp;
  state.out = mode;
}

void apply_level_item(const char* item) {
  char sign = 0;
  if (*item == '+' || *item == '-') sign = *item++;
  M_type mask = 0;
  bool known = *item == '\0'; /* an empty item is the empty mask */
  for (const LevelWord& lw : level_words) {
    if (begins_with(item, lw.word)) {
      mask = lw.mask;
      known = true;
      break;
    }
  }
  if (!known) {
    /* A misspelt word must not silence every error: it changes nothing. */
    MESS_print(M_warn, "MESS_set_str: Unknown message level: %s\n", item);
    return;
  }
  size_t len = std::strlen(item);
  if (len > 0) {
    switch (item[len - 1]) {
      case 'a': mask &= 0x11111111; break;
      case 'b': mask &= 0x22222222; break;
      case 'c': mask &= 0x44444444; break;
      case 'd': mask &= 0x88888888; break;
      default: break;
    }
  }
  if (sign == '+')
    state.level |= mask;
  else if (sign == '-')
    state.level &= ~mask;
  else
    state.level = fill_below(mask);
}

/* "line=N": N of 0 or less, or no number, gives the default page; a number
 * too large for a page length is refused and the page stays as it was. */
void set_max_lines(const char* item) {
  const char* text = std::strlen(item) > 5 ? item + 5 : "";
  errno = 0;
  char* end = nullptr;
  const long n = std::strtol(text, &end, 10);
  if (end != text && (errno == ERANGE || n > kMaxPageLines)) {
    MESS_print(M_warn, "MESS_set_str: Page length too large in: %s\n", item);
    return;
  }
  state.max_lines = n > 0 ? static_cast<int>(n) : kDefaultPageLines;
}

void apply_item(const char* item) {
  const char* after3 = std::strlen(item) > 3 ? item + 4 : "";
  if (begins_with(item, "@fi")) {
    open_log(item, after3, "a", -1);
  } else if (begins_with(item, "+fi")) {
    open_log(item, after3, "a", 1);
  } else if (begins_with(item, "-fi")) {
    open_log(item, after3, "w", 1);
  } else if (begins_with(item, "dfi")) {
    if (!*after3) {
      MESS_print(M_warn, "MESS_set_str: No log file name in: %s\n", item);
      return;
    }
    close_log();
    state.filename = after3;
    state.out = 2;
  } else if (begins_with(item, "fi")) {
    open_log(item, std::strlen(item) > 2 ? item + 3 : "", "a", 0);
  } else if (stricmp(item, "nopage") == 0) {
    state.page = 0;
  } else if (stricmp(item, "page") == 0) {
    state.page = 2;
  } else if (begins_with(item, "line")) {
    set_max_lines(item);
  } else {
    apply_level_item(item);
  }
}

int count_line_feeds(const char* text) {
  int n = 0;
  for (const char* p = text; *p; ++p)
    if (*p == '\n') ++n;
  return n;
}

} // namespace

int MESS_print(M_type type, const char* mess, ...) {
  if (!(type & state.level) || !mess) return 0;
  va_list args;
  if (state.ofile) {
    va_start(args, mess);
    std::vfprintf(state.ofile, mess, args);
    va_end(args);
  }
  bool opened_here = false;
  if (state.out == 2 && !state.pfile && !state.filename.empty() && !state.opening) {
    /* Opening may itself report (a folder that cannot be made): that
     * message must not try to open the log again. */
    state.opening = true;
    state.pfile = FILE_open(state.filename.c_str(), "a");
    state.opening = false;
    opened_here = state.pfile != nullptr;
  }
  if (state.pfile) {
    if (state.out == -1) {
      char stamp[32];
      DATE_get_current_str(stamp);
      std::fprintf(state.pfile, "%s -- ", stamp);
    }
    va_start(args, mess);
    std::vfprintf(state.pfile, mess, args);
    va_end(args);
    std::fflush(state.pfile);
  }
  if (state.out == 2 && opened_here) close_log();
  if (state.out == 0) return 0;

  FILE* term = (type & (M_error | M_warn)) ? stderr : stdout;
  va_start(args, mess);
  std::vfprintf(term, mess, args);
  va_end(args);

  if (state.page == 2) {
    state.lines += count_line_feeds(mess);
    if (state.lines > state.max_lines) MESS_hold(type, "Press return to continue\n");
  }
  return 1;
}

int MESS_check(M_type level) { return (level & state.level) ? 1 : 0; }

int MESS_hold(M_type type, const char* mess) {
  if (!(type & state.level) || state.out == 0 || FLAG_batch() || state.page == 0) return 0;
  FILE* term = ((type & M_error) && (type & M_warn)) ? stderr : stdout;
  std::fprintf(term, "%s", mess);
  std::fflush(term);
  std::getchar();
  state.lines = 0;
  return 0;
}

int MESS_set(int oper, M_type level) {
  if (oper <= 4) ++state.set;
  if (oper >= 16 && state.set != 0) return 0;
  switch (oper) {
    case 0:
    case 10:
    case 20: state.level = fill_below(level); break;
    case 1:
    case 11:
    case 21: state.level |= level; break;
    case -1:
    case 9:
    case 19: state.level &= ~level; break;
    default: break;
  }
  return 0;
}

int MESS_set_str(const char* str) {
  ++state.set;
  int argc = 0;
  char** argv = nullptr;
  if (!str || parse_string(str, ',', &argc, &argv) != 0) {
    /* An empty value holds no items: the level stays. */
    free_parsed_array(argc, argv);
    return 0;
  }
  for (int i = 0; i < argc; ++i) apply_item(argv[i]);
  free_parsed_array(argc, argv);
  return 0;
}

M_type MESS_get() { return state.level; }

int MESS_check_set() { return state.set; }

int MESS_set_page(int val) {
  state.page = val;
  return 0;
}

int MESS_get_max_lines() { return state.max_lines; }

int MESS_file(const char* filename, const char* access) {
  MESS_file_close();
  state.ofile = FILE_open(filename, access);
  return 0;
}

int MESS_file_close() {
  if (state.ofile) FILE_close(state.ofile);
  state.ofile = nullptr;
  return 0;
}

int MESS_set_out(int val) {
  state.out = val;
  return 0;
}

int MESS_print_prog(const char* string) {
  MESS_print(M_mess, "      %s (Ver %s)\n\n", string, KEZ_version());
  return 0;
}

int MESS_print_text(M_type type, const char* text) {
  if (!text) return 0;
  int shown = 0;
  const char* p = text;
  /* One line a call, each with its line feed in the format, where paging
   * counts it. */
  for (const char* nl; (nl = std::strchr(p, '\n')) != nullptr; p = nl + 1)
    shown = MESS_print(type, "%.*s\n", static_cast<int>(nl - p), p);
  if (*p) shown = MESS_print(type, "%s", p);
  return shown;
}
