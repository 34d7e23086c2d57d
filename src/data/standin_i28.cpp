/*
 * STAND-IN (branch i28): the variable-list accessor that the grid store
 * needs before the variable parser lands. It gives a table of
 * VAR_MAX_RECORDS records, every field unset, that tests may fill through
 * the returned pointers. Drop this file when var_tool provides VAR_get_var.
 */
#include "kez.h"

#include <array>

namespace {

struct StandinState {
  std::array<VAR_data, VAR_MAX_RECORDS> vars = [] {
    std::array<VAR_data, VAR_MAX_RECORDS> v{};
    for (VAR_data& d : v) {
      d.type = d.tstat = d.time = d.lstat = d.ltype = d.level = KEZ_MISS;
      for (int& p : d.var) p = KEZ_MISS;
      d.flag = 0;
    }
    return v;
  }();
};

StandinState state;

} // namespace

VAR_data* VAR_get_var(int ind) {
  if (ind < 0 || ind >= VAR_MAX_RECORDS) return nullptr;
  return &state.vars[static_cast<size_t>(ind)];
}
