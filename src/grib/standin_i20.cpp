/*
 * STAND-IN (branch i20): the bad-value limit of GRIB edition 1 unpacking
 * that the plot parameter "max_bad" sets, under its real name, until the
 * GRIB decoder lands (the lead drops this file then). The decoder lends it
 * to the plot frame, which lies below it, when it is linked.
 */
#include "kez.h"
#include "kezgrd.h"

namespace {

struct {
  int max_bad = -1; /* 0 or less: no filter */
} state;


} // namespace

int GRIB_set_max_bad(int val) {
  state.max_bad = val;
  return 0;
}
