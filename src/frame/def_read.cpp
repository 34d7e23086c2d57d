/*
 * def_read: defaults files and environment names of resources.
 *
 * A defaults file holds one setting per line: a name pattern and a value
 * ("*message: warn", "kezsfc.title \"Surface plot\""). Lines that begin
 * with "#" are comments; DEF and UNDEF define and remove tags, IF, ELIF,
 * ELSE and END select lines by the tags defined, and only the lines of
 * taken branches are handed out. A pattern names resources by their full
 * name for this program (program or title, ".", resource name), where "*"
 * skips forward to the first place at which the rest of the pattern's text
 * occurs, without going back.
 *
 * The resource gathering (resrc) is the caller: it names the program
 * (DEF_prog, DEF_name), defines tags from the search path, opens each
 * defaults file in turn and matches every line it gets against the
 * program's definitions; for the environment it asks DEF_env. The program
 * name, title, tags and open IF levels stay set after the gathering; tags
 * and IF levels carry over from one defaults file to the next.
 */
#include "kez.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr size_t kMaxTags = 10;
/* Lines longer than this are no settings: they are reported and skipped
 * whole, so that no tail of one is read as a line of its own. */
constexpr size_t kMaxLine = 4095;

constexpr const char* defaults_names[] = {"kez.cfg", ".kezdef", "Kez.res"};

struct FileCloser {
  void operator()(FILE* fp) const { FILE_close(fp); }
};

/* The state of one IF level. */
enum Branch : char {
  not_taken = 0,    /* no branch taken yet */
  taken = 1,        /* the current branch is taken */
  taken_before = 99 /* a branch was taken before this one */
};

struct DefaultsState {
  std::unique_ptr<FILE, FileCloser> def_file; /* the defaults file being read */
  std::string prog_name;                      /* base name of the program path */
  std::string prog_title;                     /* from the "name" option; "+" marks a sub-name */
  std::vector<std::string> tags;              /* at most kMaxTags, in order of definition */
  std::vector<Branch> match;                  /* one per open IF level, innermost last */
  bool matches = true;                        /* every open level taken: lines are active */
  int line_num = 0;                           /* lines read from the open file */
};

DefaultsState state;

bool is_blank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

/* The name under which this program's resources go: the title, the program
 * name, or the program name and a "+" sub-name. */
std::string owner_name() {
  if (state.prog_title.empty()) return state.prog_name;
  if (state.prog_title[0] == '+') return state.prog_name + "." + state.prog_title.substr(1);
  return state.prog_title;
}

std::string full_name(const std::string& resrc) { return owner_name() + "." + resrc; }

/* The pattern against a full name: characters compare one by one; "*"
 * moves on to the first place where the pattern's text up to its next "*"
 * occurs, and a "*" that ends the pattern never matches. */
bool pattern_matches(const std::string& pattern, const std::string& name) {
  size_t p = 0, s = 0;
  while (p < pattern.size()) {
    if (pattern[p] == '*') {
      ++p;
      if (p == pattern.size()) return false;
      size_t next = pattern.find('*', p);
      std::string part = pattern.substr(p, next == std::string::npos ? std::string::npos : next - p);
      size_t at = name.find(part, s);
      if (at == std::string::npos) return false;
      s = at;
      continue;
    }
    if (s >= name.size() || name[s] != pattern[p]) return false;
    ++p;
    ++s;
  }
  return s == name.size();
}

std::string parse_name(const std::string& str) {
  size_t last = str.find_last_of(".*");
  if (last != std::string::npos) return str.substr(last + 1);
  return str.empty() ? str : str.substr(1);
}

bool tag_defined(const std::string& tag) {
  for (const std::string& t : state.tags)
    if (stricmp(t.c_str(), tag.c_str()) == 0) return true;
  return false;
}

void recompute_matches() {
  state.matches = true;
  for (Branch b : state.match)
    if (b != taken) state.matches = false;
}

/* ---- directives ---- */

void define_tag(const std::string& tag) {
  if (DEF_tag(tag.c_str()) != 0)
    MESS_print(M_warn, "DEF_get: More than %d tags, %s ignored\n", static_cast<int>(kMaxTags), tag.c_str());
}

void undefine_tag(const std::string& tag) {
  for (auto it = state.tags.begin(); it != state.tags.end(); ++it) {
    if (stricmp(it->c_str(), tag.c_str()) == 0) {
      state.tags.erase(it);
      return;
    }
  }
}

void open_if(const std::string& tag) {
  state.match.push_back(tag_defined(tag) ? taken : not_taken);
  recompute_matches();
}

void next_elif(const std::string& tag) {
  if (state.match.empty()) {
    MESS_print(M_warn, "DEF_get: elif without an if\n");
    return;
  }
  Branch& b = state.match.back();
  b = b != not_taken ? taken_before : tag_defined(tag) ? taken : not_taken;
  recompute_matches();
}

void next_else(const std::string&) {
  if (state.match.empty()) {
    MESS_print(M_warn, "DEF_get: else without an if\n");
    return;
  }
  Branch& b = state.match.back();
  b = b == not_taken ? taken : taken_before;
  recompute_matches();
}

void close_if(const std::string&) {
  if (state.match.empty()) {
    MESS_print(M_warn, "DEF_get: end without an if\n");
    return;
  }
  state.match.pop_back();
  recompute_matches();
}

/* How a directive takes its tag word. */
enum TagUse {
  tag_required,     /* IF, ELIF: without a tag the line is an ordinary one-word line */
  tag_or_no_effect, /* DEF, UNDEF: without a tag the line changes nothing */
  no_tag            /* ELSE, END */
};

struct Directive {
  const char* word;
  TagUse use;
  void (*act)(const std::string& tag);
};

constexpr Directive directives[] = {
    {"DEF", tag_or_no_effect, define_tag}, {"UNDEF", tag_or_no_effect, undefine_tag},
    {"IF", tag_required, open_if},         {"ELIF", tag_required, next_elif},
    {"ELSE", no_tag, next_else},           {"END", no_tag, close_if},
};

/* Acts on a directive line; false when the line is none. Directives act
 * whether or not the lines around them are active. */
bool directive(const std::string& name, const std::string* tag) {
  for (const Directive& d : directives) {
    if (name != d.word) continue;
    if (!tag && d.use == tag_required) return false;
    if (tag || d.use == no_tag) d.act(tag ? *tag : std::string());
    return true;
  }
  return false;
}

/* ---- reading ---- */

/* The next line of the defaults file without its line end; false at the
 * end of the file. */
bool read_line(std::string* line) {
  FILE* fp = state.def_file.get();
  for (;;) {
    line->clear();
    bool too_long = false;
    int c = std::getc(fp);
    if (c == EOF) return false;
    ++state.line_num;
    for (; c != EOF && c != '\n'; c = std::getc(fp)) {
      if (line->size() < kMaxLine)
        line->push_back(static_cast<char>(c));
      else
        too_long = true;
    }
    if (!too_long) return true;
    MESS_print(M_warn, "DEF_get: Line longer than %d characters skipped: %.40s...\n", static_cast<int>(kMaxLine),
               line->c_str());
  }
}

/* Printable ASCII only. */
bool plain_text(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 0x20 && u < 0x7F;
  });
}

size_t skip_blanks(const std::string& line, size_t at) {
  while (at < line.size() && is_blank(line[at])) ++at;
  return at;
}

size_t word_end(const std::string& line, size_t at) {
  while (at < line.size() && !is_blank(line[at])) ++at;
  return at;
}

void copy_bounded(char* out, const std::string& text, size_t size) {
  if (!out) return;
  size_t n = std::min(text.size(), size - 1);
  n = strnlen(text.c_str(), n);
  std::memcpy(out, text.c_str(), n);
  out[n] = '\0';
}

} // namespace

int DEF_prog() {
  char* name = RES_get_progname(nullptr);
  state.prog_name = name ? name : "kez";
  std::free(name);
  return 0;
}

int DEF_name(const char* name) {
  state.prog_title = name ? name : "";
  return 0;
}

int DEF_title(const char* name) { return DEF_name(name); }

int DEF_clr_tag() {
  state.tags.clear();
  return 0;
}

int DEF_tag(const char* str) {
  if (!str) return -1;
  if (state.tags.size() >= kMaxTags) return -1;
  state.tags.emplace_back(str);
  return 0;
}

int DEF_open(const char* filename) {
  DEF_close();
  std::string name = filename && *filename ? filename : ".kezdef";
  if (FILE_is_dir(name.c_str())) {
    if (name.back() != '/') name += '/';
    std::string found;
    for (const char* file : defaults_names) {
      if (FILE_exist((name + file).c_str())) {
        found = name + file;
        break;
      }
    }
    if (found.empty()) return -1;
    name = found;
  }
  /* A regular file, or the output of a "|" command: a device such as
   * /dev/zero never ends, and a FIFO or the standard input would wait. */
  if (name[0] != '|' && !FILE_is_file(name.c_str())) return -1;
  FILE* fp = FILE_open(name.c_str(), "r");
  if (!fp) return -1;
  state.def_file.reset(fp);
  state.line_num = 0;
  return 0;
}

int DEF_get(std::string* resrc, std::string* value) {
  if (!state.def_file || !resrc || !value) return -1;
  std::string line;
  while (read_line(&line)) {
    if (line.empty() || line[0] == '#') continue;
    size_t name_at = skip_blanks(line, 0);
    if (name_at == line.size()) continue;
    size_t name_end = word_end(line, name_at);
    std::string name = line.substr(name_at, name_end - name_at);
    size_t value_at = skip_blanks(line, name_end);
    bool has_value = value_at < line.size();
    std::string word = has_value ? line.substr(value_at, word_end(line, value_at) - value_at) : "";
    if (directive(name, has_value ? &word : nullptr)) continue;
    if (!has_value || !state.matches) continue;
    if (line[value_at] == '"') {
      size_t close = line.find('"', value_at + 1);
      *value = line.substr(value_at + 1, close == std::string::npos ? std::string::npos : close - value_at - 1);
    } else {
      *value = word;
    }
    if (!plain_text(name)) {
      /* Such a name would only be listed raw on the terminal later. */
      MESS_print(M_warn,
                 "DEF_get: Resource name with control characters or bytes that are not text skipped "
                 "(line %d)\n",
                 state.line_num);
      continue;
    }
    name = lower(name);
    if (!name.empty() && name.back() == ':') name.pop_back();
    *resrc = name;
    return 1;
  }
  return -1;
}

int DEF_get(char* resrc, char* value) {
  std::string name, text;
  int got = DEF_get(&name, &text);
  if (got != 1) return got;
  copy_bounded(resrc, name, DEF_NAME_LEN);
  copy_bounded(value, text, DEF_VALUE_LEN);
  return 1;
}

int DEF_close() {
  state.def_file.reset();
  return 0;
}

int DEF_cmp(const char* resrc, const char* string) {
  if (!resrc || !string) return 0;
  return pattern_matches(string, full_name(resrc)) ? 1 : 0;
}

int DEF_valid(const char* string) {
  if (!string) return 0;
  return pattern_matches(string, full_name(parse_name(string))) ? 1 : 0;
}

int DEF_parse_name(const char* str, char* ostr) {
  if (!str || !ostr) return 0;
  std::string name = parse_name(str);
  std::memcpy(ostr, name.c_str(), name.size() + 1);
  return 1;
}

int DEF_env(const char* resrc, const char* env, std::string* value) {
  if (!resrc || !value) return 0;
  const std::string names[] = {"kez" + full_name(resrc), env ? env : "", std::string("kez") + resrc};
  for (const std::string& name : names) {
    if (name.empty()) continue;
    if (const char* text = std::getenv(name.c_str())) {
      *value = text;
      return 1;
    }
  }
  return 0;
}

int DEF_env(const char* resrc, const char* env, char* value) {
  std::string text;
  if (!DEF_env(resrc, env, &text)) return 0;
  copy_bounded(value, text, DEF_ENV_LEN);
  return 1;
}
