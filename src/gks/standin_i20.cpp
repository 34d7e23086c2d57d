/*
 * STAND-IN (branch i20): the rubber band, window zoom and frame selection
 * that the plot frame calls, under their real names, until gks_zoom and
 * the frames of gks_loop land (the lead drops this file then). No band is
 * drawn, the window is never magnified, and the one drawing target is the
 * backing pixmap.
 */
#include "kez.h"
#include "kezgks.h"

namespace {

struct {
  int band = 0;
  int loop_title = 1;
} state;

} // namespace

int gset_rubber_band(int val) {
  state.band = val;
  return 1;
}

int gget_zoom() { return 1; }

int gselect_frame(int ind) {
  MESS_print(M_out4, "Selected frame: %d\n", ind);
  return 0;
}

int gget_cur_frame() { return 0; }

int gset_loop_title(int val) {
  state.loop_title = val;
  return 1;
}
