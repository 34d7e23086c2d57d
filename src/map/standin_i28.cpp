/*
 * STAND-IN (branch i28): the domain printer that the grid printers call
 * before the region module provides it. Prints the fields plainly. Drop
 * this file when region provides DOM_print.
 */
#include "kez.h"

int DOM_print(M_type mess, const Domain* domain) {
  if (!domain) return 0;
  MESS_print(mess, "%d,%g,%g,%g,%g,%g,%g,%d,%d\n", domain->proj, domain->plat, domain->plon,
             domain->clat, domain->clon, domain->dx, domain->dy, domain->nx, domain->ny);
  return 0;
}
