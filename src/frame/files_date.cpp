/*
 * files_date: current, latest and sequences of files.
 *
 * A time text names a file by time: a reference ("#" and a date,
 * else "kezcurtime", else now), an offset back or forward, "la" for the
 * latest acceptable file along the template's time step, and a second
 * offset from there. The input-file dialogue and the sequences of files
 * that a plot animates are built on it.
 */
#include "files_impl.h"
#include "kez.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace files_impl;

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

} // namespace

namespace files_impl {

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

} // namespace files_impl

namespace {

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
