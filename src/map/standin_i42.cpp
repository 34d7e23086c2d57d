/*
 * STAND-IN (branch i42): the map-drawing calls that the
 * contour module makes, under their real names, until the map backgrounds
 * (map) land and replace this file.
 */
#include "gks.h"
#include "kez.h"
#include "kezgks.h"

namespace {

struct {
  int fill_cont = 0;
} state;

} // namespace

float MAP_get_vert() {
  Glim win{};
  GPH_get_win(2, &win);
  return win.y_max - win.y_min;
}

int MAP_fill_cont(int value) {
  state.fill_cont = value;
  return 0;
}
