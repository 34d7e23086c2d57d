/*
 * STAND-IN for the variable-string parser, until the real var_tool parser
 * lands; the lead drops this file then.
 *
 * It knows only plain lists: items separated by ",", each a name with an
 * optional "[units:options]" bracket. Enough for the surface listings'
 * variable columns; nothing else reads it.
 */
#include "kez.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

struct State {
  VAR_data vars[VAR_MAX_RECORDS] = {};
  int num = 0;
} state;

void copy_bounded(char* to, const std::string& from, size_t room) {
  const size_t n = std::min(from.size(), room - 1);
  std::memcpy(to, from.data(), n);
  to[n] = '\0';
}

} // namespace

int VAR_open_file(const char* /* file */) { return 0; }

int VAR_setup(const char* /* filename */, const char* var_str) {
  state.num = 0;
  if (!var_str) return 0;
  const std::string text = var_str;
  size_t start = 0;
  while (start <= text.size() && state.num < VAR_MAX_RECORDS) {
    size_t end = text.find(',', start);
    if (end == std::string::npos) end = text.size();
    const std::string item = text.substr(start, end - start);
    VAR_data& v = state.vars[state.num];
    v = VAR_data{};
    v.type = v.time = v.ltype = v.level = KEZ_MISS;
    for (int& p : v.var) p = KEZ_MISS;
    const size_t open = item.find('[');
    copy_bounded(v.name, item.substr(0, open), sizeof v.name);
    if (open != std::string::npos) {
      std::string inside = item.substr(open + 1);
      if (const size_t close = inside.find(']'); close != std::string::npos) inside.resize(close);
      const size_t colon = inside.find(':');
      copy_bounded(v.units, inside.substr(0, colon), sizeof v.units);
      if (colon != std::string::npos) copy_bounded(v.format, inside.substr(colon + 1), sizeof v.format);
    }
    if (v.name[0]) ++state.num;
    if (end == text.size()) break;
    start = end + 1;
  }
  return state.num > 0 ? 1 : 0;
}

int VAR_get_num() { return state.num; }

VAR_data* VAR_get_vars() { return state.vars; }
