/*
 * STAND-IN (branch i34): the map module's setup and background calls that
 * the front plotter makes, under their real names, until the map module
 * lands (the lead drops this file then). MAP_setup makes the domain current
 * and puts transformation 2 on its plot limits; MAP_draw draws nothing.
 */
#include "gks.h"
#include "kez.h"
#include "kezgks.h"

int MAP_setup(Domain* domain) {
  if (!domain) return 0;
  MAP_domain(domain);
  MAP_limits lim{};
  MAP_get_limits(&lim);
  if (lim.x_min != KEZ_FMISS && lim.x_max > lim.x_min && lim.y_max > lim.y_min) {
    const Glim win{lim.x_min, lim.x_max, lim.y_min, lim.y_max};
    GPH_win(2, &win);
  }
  GPH_trans(2);
  return 0;
}

int MAP_draw(int /*flag*/) { return 0; }
