/* A program of someone else's built against the installed library: it
 * decodes a domain through the frame's converter, which only the map
 * layer's decoder (a registration of the hooks object) can answer. */
#include <cstdio>

#include "kez.h"

int main() {
  Domain domain;
  DOM_init(&domain);
  char text[] = "lc:40:-95:33:45,40,-95,19,13,3.4,3.4";
  RES_conv_data(text, &domain, CV_domain);
  std::printf("KEZ %s: projection %d, %d x %d\n", KEZ_version(), domain.proj, domain.nx, domain.ny);
  return domain.proj == MAP_LAMB && domain.nx == 19 && domain.ny == 13 ? 0 : 1;
}
