/*
 * var_tool: the variable tables of the suite.
 *
 * So far the model-name table "mod_name.lup" (found under the "file_path"
 * resource): lines 'source:model name' or 'model name', comments after "#".
 * A line without a source serves every source. The table is read whole on
 * its first successful use and kept for the process; when it cannot be
 * opened, the next call tries again. Date labels name their models here.
 */
#include "kez.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct ModelEntry {
  int source; /* -1: every source */
  int model;
  std::string name;
};

struct VarToolState {
  bool models_read = false;
  std::vector<ModelEntry> models; /* in file order: the first match wins */
};

VarToolState state;

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
  if (state.models_read) return true;
  std::string path = FILE_add_path(RES_get("file_path"), "mod_name.lup");
  FILE* fp = FILE_open(path.c_str(), "r");
  if (!fp) {
    MESS_print(M_warn, "VAR_model: Unable to open file: %s\n", path.c_str());
    return false;
  }
  std::string line;
  while (fget_text_line(fp, &line)) {
    ModelEntry entry;
    if (parse_model_line(line, &entry)) state.models.push_back(std::move(entry));
  }
  FILE_close(fp);
  state.models_read = true;
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
