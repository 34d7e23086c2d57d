/*
 * STAND-IN (branch i20): the record classes of the variable table that the
 * plot frame's value read-out asks, under their real names, until the
 * variable parser (var_tool) provides them (the lead drops this file then).
 * A record's flag is its function depth times 10 plus its kind.
 */
#include "kez.h"

namespace {

constexpr int KIND_GROUP = 5;
constexpr int TYPE_MAP = 6;

int flag_of(int ind) {
  const VAR_data* r = VAR_get_var(ind);
  return r ? r->flag : KEZ_MISS;
}

int type_of(int ind) {
  const VAR_data* r = VAR_get_var(ind);
  return r ? r->type : KEZ_MISS;
}

} // namespace

int VAR_is_PLOT(int ind) {
  const int f = flag_of(ind);
  return f != KEZ_MISS && f < 5 ? 1 : 0;
}

int VAR_is_COMP(int ind) {
  const int f = flag_of(ind);
  return f != KEZ_MISS && f % 10 == KIND_GROUP ? 1 : 0;
}

int VAR_is_type_MAP(int ind) { return type_of(ind) == TYPE_MAP ? 1 : 0; }

int VAR_is_type_CONT(int ind) {
  const int t = type_of(ind);
  return t >= 10 && t <= 17 ? 1 : 0;
}

int VAR_is_plot_CONT(int ind) {
  const int t = type_of(ind);
  return t >= 11 && t <= 17 ? 1 : 0;
}

int VAR_is_type_VECT(int ind) {
  const int t = type_of(ind);
  return t >= 20 && t <= 23 ? 1 : 0;
}
