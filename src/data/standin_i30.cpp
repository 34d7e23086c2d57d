/*
 * STAND-IN (branch i30): the variable-table accessors, predicates and the
 * data label that the data pipeline needs, over the stand-in table of
 * records, until the variable parser (var_tool) lands and replaces this
 * file. The label is plain.
 */
#include "kez.h"

#include <cstdio>

namespace {

int kind(int ind) {
  const VAR_data* v = VAR_get_var(ind);
  return v ? v->flag % 10 : -1;
}

} // namespace

VAR_data* VAR_get_vars() { return VAR_get_var(0); }
int VAR_is_REG(int ind) { return kind(ind) == 0 ? 1 : 0; }
int VAR_is_SUBREG(int ind) { return kind(ind) == 1 ? 1 : 0; }

int VAR_make_var_datatype(int ind, char* str) {
  const VAR_data* v = VAR_get_var(ind);
  if (!str) return 0;
  if (!v) {
    str[0] = '\0';
    return 0;
  }
  return VAR_make_datatype(v->time, v->ltype, v->level, v->var[0], v->units, str);
}
