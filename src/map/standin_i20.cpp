/*
 * STAND-IN (branch i20): the latitude/longitude line settings of the map
 * backgrounds that the plot parameter "lalo" sets, under their real name,
 * until the map module lands (the lead drops this file then).
 */
#include "kez.h"

namespace {

struct {
  float latln = 0;
  float lonln = 0;
  int dot = 0;
  int extra = 0;
} state;

} // namespace

int MAP_latlon(float lat, float lon, int dt, int ex) {
  state.latln = lat;
  state.lonln = lon;
  state.dot = dt;
  state.extra = ex;
  return 0;
}
