/*
 * STAND-IN (branch i55): a minimal reader of raw point-data files, with the
 * real names and signatures, until raw_read lands. It keeps one file open
 * (descriptor 0), reads the header and field list and hands out the values
 * of each data line in turn (selector RAW_EVERY only); the line number is
 * not used for positioning, lines are read in order. Drop this file when
 * raw_read lands.
 */
#include "kezraw.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr float M = KEZ_FMISS;

struct FileCloser {
  void operator()(FILE* fp) const {
    if (fp) std::fclose(fp);
  }
};

struct {
  std::unique_ptr<FILE, FileCloser> fp;
  std::vector<std::string> fields;
  int keys = 1;
  std::vector<std::string> tokens; /* of the current line */
  size_t next = 0;                 /* next token of the current line */
  bool in_line = false;
  bool keys_only = false;
} state;

bool get_line(std::string* line) {
  line->clear();
  if (!state.fp) return false;
  int c;
  bool any = false;
  while ((c = std::fgetc(state.fp.get())) != EOF) {
    any = true;
    if (c == '\n') break;
    if (line->size() < 399) line->push_back(static_cast<char>(c));
  }
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return any;
}

void copy(char* dst, size_t size, const std::string& src) { std::snprintf(dst, size, "%s", src.c_str()); }

bool same_nocase(const std::string& a, const char* b) { return stricmp(a.c_str(), b) == 0; }

} // namespace

int RAW_open(const char* filename, int f_access, int* f_type) {
  if (state.fp || !filename || f_access != 0) return -1;
  state.fp.reset(std::fopen(filename, "r"));
  if (!state.fp) return -1;
  state.fields.clear();
  state.keys = 1;
  state.in_line = false;
  if (f_type) *f_type = 1;
  return 0;
}

int RAW_getinfo(int raw_fd, RAW_info* info) {
  if (raw_fd != 0 || !state.fp || !info) return 0;
  std::string line;
  get_line(&line);
  info->num_stat = KEZ_MISS;
  get_line(&line);
  copy(info->datim, sizeof info->datim, line);
  DATE_decode_label(info->datim, &info->date);
  get_line(&line);
  if (line.empty() || line[0] != '!') {
    copy(info->info, sizeof info->info, line);
    return 0;
  }
  copy(info->info, sizeof info->info, line.substr(1));
  bool done = false;
  while (!done && state.fields.size() < 75 && get_line(&line)) {
    std::istringstream in(line);
    for (std::string tok; in >> tok;) {
      if (tok[0] == '$') {
        done = true;
        break;
      }
      state.fields.push_back(tok.substr(0, tok.find(':')).substr(0, 19));
    }
    if (line.empty()) break;
  }
  const auto& f = state.fields;
  if (f.size() >= 4 && (same_nocase(f[1], "lat") || same_nocase(f[1], "x")))
    state.keys = 3;
  else if (f.size() >= 3 && (same_nocase(f[1], "p") || same_nocase(f[1], "pres")))
    state.keys = 2;
  return 0;
}

int RAW_get_num_field(int raw_fd) { return raw_fd == 0 ? static_cast<int>(state.fields.size()) : 0; }

char* RAW_get_field_name(int raw_fd, const char* field) {
  const intptr_t n = reinterpret_cast<intptr_t>(field);
  if (raw_fd != 0 || n < RAW_FIELD_BASE) return nullptr;
  const size_t ind = static_cast<size_t>(n - RAW_FIELD_BASE + 3);
  return ind < state.fields.size() ? state.fields[ind].data() : nullptr;
}

int RAW_read(int raw_fd, RAW_report* report, const char* rep_type, int* /*statnum*/) {
  if (raw_fd != 0 || !state.fp || !report) return 0;
  if (reinterpret_cast<intptr_t>(rep_type) != RAW_EVERY) return 0;
  if (!state.in_line) {
    std::string line;
    if (!get_line(&line) || line.empty()) return -1;
    std::istringstream in(line);
    state.tokens.clear();
    for (std::string tok; in >> tok;) state.tokens.push_back(tok);
    if (state.tokens.empty()) return -1;
    state.in_line = true;
    state.keys_only = true;
    copy(report->id, sizeof report->id, state.tokens[0]);
    report->wmo = state.tokens[0].size() > 4 ? static_cast<int>(std::atol(state.tokens[0].c_str())) : KEZ_MISS;
    report->lat = report->lon = M;
    state.next = 1;
    if (state.keys == 2 && state.tokens.size() > 1) {
      const std::string& p = state.tokens[1];
      report->lat = p == "-" ? M : std::strtof(p.c_str(), nullptr);
      state.next = 2;
    } else if (state.keys == 3) {
      state.next = 3;
    }
  }
  report->value[0] = report->value[1] = M;
  report->data[0] = '\0';
  report->format[0] = '\0';
  if (state.next >= state.tokens.size()) {
    state.in_line = false;
    if (state.keys_only) {
      state.keys_only = false;
      state.in_line = true;
      state.next = state.tokens.size() + 1;
      report->type = KEZ_MISS;
      return 1;
    }
    report->type = KEZ_MISS;
    return 0;
  }
  state.keys_only = false;
  const std::string& tok = state.tokens[state.next];
  report->type = static_cast<int>(state.next); /* the keys come first */
  if (tok != "-" && (std::isdigit(static_cast<unsigned char>(tok[0])) || tok[0] == '-' || tok[0] == '.'))
    report->value[0] = std::strtof(tok.c_str(), nullptr);
  copy(report->data, sizeof report->data, tok);
  ++state.next;
  return 1;
}

int RAW_close(int raw_fd) {
  if (raw_fd == 0) state.fp.reset();
  state.in_line = false;
  return 0;
}
