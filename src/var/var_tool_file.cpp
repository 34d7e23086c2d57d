/*
 * var_tool_file: the files var_tool reads. The program's definition file
 * ("%s.var") is read whole at opening and walked entry by entry, with its
 * continuation lines joined; "variable.lup" and "mod_name.lup" are read on
 * first use and again when "file_path" comes to name another file. The
 * label style of "plot_param" is taken from the resources here too.
 */
#include "kez.h"
#include "var_tool_impl.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

using namespace var_tool_impl;

namespace {

void strip_blanks(std::string* s) {
  s->erase(std::remove_if(s->begin(), s->end(), [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }),
           s->end());
}
} // namespace

namespace var_tool_impl {

/* The next word of a line from position at; at moves past it. */
std::string next_word(const std::string& line, size_t* at) {
  size_t i = *at;
  while (i < line.size() && is_blank(line[i])) ++i;
  size_t from = i;
  while (i < line.size() && !is_blank(line[i])) ++i;
  *at = i;
  return line.substr(from, i - from);
}

/* Reads the entry that starts at line *i, joining its continuation lines;
 * *i moves past them. False at the end of the file. Lines without a word
 * make entries with an empty abbreviation, which match nothing. */
bool read_def_entry(size_t* i, DefEntry* e) {
  const std::vector<std::string>& lines = state.def_lines;
  if (*i >= lines.size()) return false;
  *e = DefEntry{};
  const std::string& line = lines[*i];
  e->too_long = state.def_cut[*i];
  ++*i;
  size_t at = 0;
  e->abbr = next_word(line, &at);
  e->name = next_word(line, &at);
  e->cond = next_word(line, &at);
  e->def = line.substr(std::min(at, line.size()));
  strip_blanks(&e->def);
  while (!e->def.empty() && e->def.back() == '\\' && *i < lines.size()) {
    e->def.pop_back();
    std::string next = lines[*i];
    if (state.def_cut[*i]) e->too_long = true;
    ++*i;
    strip_blanks(&next);
    e->def += next;
    if (e->def.size() > kMaxDefinition) {
      e->too_long = true;
      e->def.resize(kMaxDefinition); /* keep the backslash test bounded */
    }
  }
  if (e->def.size() > kMaxDefinition) e->too_long = true;
  return true;
}
/* ---- the variable table ---- */

/* An int in a table field; false for anything else. */
bool parse_table_int(std::string_view s, int* value) {
  bool neg = false;
  if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
    neg = s[0] == '-';
    s.remove_prefix(1);
  }
  long long v = 0;
  size_t n = read_uint(s, &v);
  if (n == 0 || n != s.size() || v > INT_MAX) return false;
  *value = static_cast<int>(neg ? -v : v);
  return true;
}

} // namespace var_tool_impl

namespace {

/* One line of "variable.lup"; false for a line that is no entry. */
bool parse_var_line(const std::string& line, VarDesc* d) {
  size_t at = 0;
  std::string nums = next_word(line, &at);
  std::string abbr = next_word(line, &at);
  if (nums.empty() || abbr.empty() || abbr.size() > kVarAbbrLen) return false;
  std::vector<std::string> parts = split_fields(nums, ',');
  if (parts.empty() || parts.size() > 5) return false;
  for (int& v : d->ind) v = KEZ_MISS;
  for (size_t k = 0; k < parts.size(); ++k)
    if (!parse_table_int(parts[k], &d->ind[k])) return false;
  while (at < line.size() && is_blank(line[at])) ++at;
  std::string desc = line.substr(std::min(at, line.size()));
  while (!desc.empty() && (desc.back() == ' ' || desc.back() == '\t' || desc.back() == '\r')) desc.pop_back();
  if (desc.size() > kVarDescLen) desc.resize(kVarDescLen);
  d->abbr = std::move(abbr);
  d->name = std::move(desc);
  return true;
}
} // namespace

/* ------------------------------------------------------------------------ */
/* Files and tables                                                         */
/* ------------------------------------------------------------------------ */

int VAR_open_file(const char* file) {
  state.def_open = false;
  state.def_lines.clear();
  state.def_cut.clear();
  std::string name;
  if (!file || !*file) {
    char* prog = RES_get_progname(nullptr);
    name = std::string(prog ? prog : "kez") + ".var";
    std::free(prog);
  } else {
    name = file;
  }
  std::string path = FILE_add_path(RES_get("file_path"), name.c_str());
  FILE* fp = FILE_open(path.c_str(), "r");
  if (!fp) {
    MESS_print(VAR_WARN, "VAR_open_file: Unable to open var file: %s\n", path.c_str());
    return 0;
  }
  std::string line;
  bool cut = false;
  size_t total = 0;
  while (read_line(fp, &line, &cut)) {
    total += line.size() + 1;
    if (total > kMaxDefFile) {
      MESS_print(VAR_WARN, "VAR_open_file: Only the first %zu bytes are read: %s\n", kMaxDefFile, path.c_str());
      break;
    }
    state.def_lines.push_back(line);
    state.def_cut.push_back(cut);
  }
  FILE_close(fp);
  state.def_open = true;
  return 1;
}

int VAR_read_varfile() {
  /* Read once; again only when "file_path" now names another file. */
  std::string path = FILE_add_path(RES_get("file_path"), "variable.lup");
  if (state.var_read && path == state.var_path) return 1;
  FILE* fp = FILE_open(path.c_str(), "r");
  if (!fp) {
    MESS_print(VAR_WARN, "VAR_read_varfile: Unable to open file: %s\n", path.c_str());
    /* The table of the folder named before must not answer for this one. */
    state.var_list.clear();
    state.var_path.clear();
    state.var_read = false;
    return 0;
  }
  std::vector<VarDesc> list;
  std::string line;
  bool cut = false;
  while (read_line(fp, &line, &cut)) {
    VarDesc d;
    if (!parse_var_line(line, &d)) continue;
    if (list.size() >= kMaxVarEntries) {
      MESS_print(VAR_WARN, "VAR_read_varfile: More than %zu entries, the rest is not read: %s\n", kMaxVarEntries,
                 path.c_str());
      break;
    }
    list.push_back(std::move(d));
  }
  FILE_close(fp);
  state.var_list = std::move(list);
  state.var_path = path;
  state.var_read = true;
  return 1;
}

int VAR_search_var_num(const char* str) {
  if (!str) return 0;
  VAR_read_varfile();
  for (const VarDesc& d : state.var_list)
    if (iequal(str, d.abbr)) return d.ind[0];
  return 0;
}

int VAR_param_decode() {
  int argc = 0;
  char** argv = nullptr;
  RES_getvals("plot_param", &argc, &argv);
  struct Style {
    const char* prefix;
    int style;
  };
  static constexpr Style kStyles[] = {{"labm", -2}, {"labs", -1}, {"labn", 0}, {"labc", 1}};
  for (int i = 0; i < argc; ++i)
    for (const Style& st : kStyles)
      if (istarts(argv[i], st.prefix)) PLT_set_label_type(st.style);
  free_parsed_array(argc, argv);
  return 0;
}
/* ------------------------------------------------------------------------ */
/* Model names                                                              */
/* ------------------------------------------------------------------------ */

namespace {

/* A non-negative integer at p; moves p past it. */
bool read_int(const char*& p, int* value) {
  if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
  long long v = 0;
  for (; std::isdigit(static_cast<unsigned char>(*p)); ++p)
    if (v <= INT_MAX) v = v * 10 + (*p - '0');
  *value = v > INT_MAX ? INT_MAX : static_cast<int>(v);
  return true;
}

/* One table line; false for comments, blank lines, lines without a leading
 * number and lines without a name. */
bool parse_model_line(const std::string& line, ModelEntry* entry) {
  const char* p = line.c_str();
  while (*p == ' ' || *p == '\t') ++p;
  if (*p == '#') return false;
  int first = 0;
  if (!read_int(p, &first)) return false;
  entry->source = -1;
  entry->model = first;
  if (*p == ':') {
    ++p;
    if (!read_int(p, &entry->model)) return false;
    entry->source = first;
  }
  if (*p != ' ' && *p != '\t') return false;
  while (*p == ' ' || *p == '\t') ++p;
  std::string name = p;
  while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back()))) name.pop_back();
  name.erase(std::remove(name.begin(), name.end(), '\r'), name.end());
  if (name.empty()) return false;
  entry->name = std::move(name);
  return true;
}

bool read_models() {
  /* Names from one folder's table are wrong for another's. */
  std::string path = FILE_add_path(RES_get("file_path"), "mod_name.lup");
  if (state.models_read && path == state.models_path) return true;
  FILE* fp = FILE_open(path.c_str(), "r");
  if (!fp) {
    MESS_print(M_warn, "VAR_model: Unable to open file: %s\n", path.c_str());
    return false;
  }
  std::string line;
  state.models.clear();
  while (fget_text_line(fp, &line)) {
    ModelEntry entry;
    if (parse_model_line(line, &entry)) state.models.push_back(std::move(entry));
  }
  FILE_close(fp);
  state.models_read = true;
  state.models_path = path;
  return true;
}

} // namespace

int VAR_model(std::string* name, int rmod) {
  if (!name) return -1;
  if (!read_models()) return -1;
  int source = -1, model = rmod;
  if (rmod > 1000) {
    source = rmod / 1000;
    model = rmod % 1000;
  }
  name->clear();
  for (const ModelEntry& e : state.models) {
    if (e.model == model && (e.source == -1 || e.source == source)) {
      *name = e.name;
      break;
    }
  }
  return 0;
}

char* VAR_model(char* str, int rmod) {
  if (!str) return nullptr;
  std::string name;
  if (VAR_model(&name, rmod) != 0) return nullptr;
  size_t n = std::min(name.size(), static_cast<size_t>(VAR_MODEL_LEN - 1));
  std::memcpy(str, name.data(), n);
  str[n] = '\0';
  return str;
}
