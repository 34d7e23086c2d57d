/* Domains shared by the map and plotting tests. */
#ifndef KEZ_TEST_DOMAINS_H
#define KEZ_TEST_DOMAINS_H

#include "kez.h"

namespace kez_test {

/* The contiguous United States on a Lambert conformal map (true at 33 and
 * 45 N), 126 x 76 points of spacing dx. */
inline Domain us_domain(float dx = 0.4f) {
  Domain d;
  DOM_init(&d);
  d.proj = MAP_LAMB;
  d.plon = -97.0f;
  d.param[0] = 33.0f;
  d.param[1] = 45.0f;
  d.clat = 38.5f;
  d.clon = -97.0f;
  d.dx = d.dy = dx;
  d.nx = 126;
  d.ny = 76;
  return d;
}

} // namespace kez_test

#endif
