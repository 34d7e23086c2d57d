/*
 * STAND-IN (branch i42): the variable-table accessors that the contour
 * set-up reads, under their real names, over a plain table of records,
 * until the variable parser (var_tool) lands and replaces this file.
 */
#include <cstring>

#include "kez.h"

namespace {

struct VarTable {
  VAR_data rec[VAR_MAX_RECORDS];
  VarTable() {
    for (VAR_data& r : rec) {
      std::memset(&r, 0, sizeof r);
      r.type = -9999;
    }
  }
};

struct {
  VarTable table;
} state;

} // namespace

VAR_data* VAR_get_var(int ind) {
  if (ind < 0 || ind >= VAR_MAX_RECORDS) return nullptr;
  return &state.table.rec[ind];
}

int VAR_get_type(int ind) {
  const VAR_data* r = VAR_get_var(ind);
  return r ? r->type : -9999;
}

char* VAR_get_format(int ind) {
  VAR_data* r = VAR_get_var(ind);
  return r ? r->format : nullptr;
}

int VAR_set_type(int ind, int val) {
  if (VAR_data* r = VAR_get_var(ind)) r->type = val;
  return 1;
}
