/*
 * STAND-IN (branch i42): the variable-table accessors that the contour
 * set-up reads, under their real names, over the stand-in table of
 * records, until the variable parser (var_tool) lands and replaces this file.
 */
#include "kez.h"

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
