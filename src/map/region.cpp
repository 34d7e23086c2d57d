/*
 * region: domain specifications, regions and the region prompt.
 *
 * Turns the texts by which users and settings name a plot domain (a
 * specification, a station identifier or a region abbreviation) into a
 * Domain. Only DOM_decode stands so far, and it decodes nothing yet: the
 * resource converters of "region", "plot_domain" and "grid_domain" call it,
 * and they get an unset domain and an invalid result.
 */
#include "kez.h"

int DOM_decode(const char* str, Domain* domain) {
  (void)str;
  if (domain) {
    domain->proj = MAP_NONE;
    domain->plat = -9999.0f;
    domain->plon = -9999.0f;
    for (float& p : domain->param) p = -9999.0f;
    domain->clat = -9999.0f;
    domain->clon = -9999.0f;
    domain->dx = -9999.0f;
    domain->dy = -9999.0f;
    domain->nx = -9999;
    domain->ny = -9999;
    domain->ellipse = 0;
  }
  MESS_print(M_warn, "DOM_decode: domain specifications are not available\n");
  return -1;
}
