/*
 * STAND-IN (branch i32): the map drawing calls under their real names,
 * until the map module lands (the lead drops this file then). A domain is
 * made current with its plot limits as the window of transformation 2; nothing of the map
 * list is drawn.
 */
#include "kez.h"
#include "kezgks.h"

#include <cstdio>

namespace {

struct {
  char format[40] = "";
} state;

} // namespace

int MAP_setup(Domain* domain) {
  if (domain != nullptr) MAP_domain(domain);
  MAP_set_limits();
  MAP_limits lim{};
  MAP_get_limits(&lim);
  const Glim win{lim.x_min, lim.x_max, lim.y_min, lim.y_max};
  gset_win(2, &win);
  gsel_norm_tran(2);
  return 0;
}

int MAP_draw(int /*mode*/) { return 0; }

int MAP_draw_circle(float /*x*/, float /*y*/, float /*rad*/) { return 0; }

int MAP_set_format(const char* str) {
  std::snprintf(state.format, sizeof state.format, "%s", str != nullptr ? str : "");
  return 0;
}
