/*
 * STAND-IN (branch i20): the search for the component grids of a variable
 * that the plot frame's value read-out makes, under its real name, until
 * the grid store provides it (the lead drops this file then).
 */
#include "kez.h"
#include "kezgrd.h"

namespace {

/* Record kinds that hold an operand grid. */
bool operand_kind(int kind) { return kind <= 3 || kind == 8 || kind == 9; }

} // namespace

int GRD_find_param_grids(int start, int num, int level, GRD_report** grds, float* values) {
  int taken = 0;
  int last = start;
  const int total = VAR_get_num();
  for (int i = start + 1; i < total && i < VAR_MAX_RECORDS && i - start <= num; ++i) {
    const VAR_data* r = VAR_get_var(i);
    if (!r) break;
    if (r->flag / 10 == level && operand_kind(r->flag % 10)) {
      if (grds) grds[taken] = GRD_get_grid(i);
      if (values) values[taken] = 0;
      ++taken;
      last = i;
    } else if (taken > 0 && r->flag < level * 10) {
      break;
    }
  }
  if (grds) grds[taken] = nullptr;
  return last;
}
