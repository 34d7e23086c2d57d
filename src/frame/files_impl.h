/*
 * files_impl.h: what the files of the file layer share (files.cpp,
 * files_template.cpp, files_date.cpp), and nothing outside the module
 * includes: its state (open pipes, the naming state and the sequence of
 * files) and the helpers that more than one of its files calls. The state
 * is defined once, in files.cpp; each helper that is not defined here is
 * defined once, in the file named beside it.
 */
#ifndef KEZ_FRAME_FILES_IMPL_H
#define KEZ_FRAME_FILES_IMPL_H

#include "kez.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace files_impl {

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

extern FilesState state;

/* The naming state, which every file of the module reads and sets. */
inline NamingState& naming = state.naming;

/* Copies text into a caller's buffer of FILE_PATH_LEN bytes (files.cpp). */
void copy_out(const std::string& text, char* out);

/* files_template.cpp: reading digits, the writer, the lister and the
 * reader of typed names. */
bool read_uint(const char*& p, int max_digits, int* value);
int set_date_impl(const Date* datim, std::string* out);
std::vector<std::string> listed_names();
void set_file_impl(const char* file, std::string* out);

/* The file of a time text and its time, as FILE_set_current
 * (files_date.cpp). */
long int set_current_impl(const char* cur, std::string* filename);

inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

inline int clamp_seconds(long long secs) { return static_cast<int>(std::clamp<long long>(secs, -INT_MAX, INT_MAX)); }

inline void set_parts_unset(Date* date) { date->year = date->month = date->day = date->hour = date->min = -9999; }

} // namespace files_impl

#endif
