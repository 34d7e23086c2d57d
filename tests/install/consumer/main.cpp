/* A program of someone else's built against the installed library: it
 * decodes a domain through the frame's converter, which only the map
 * layer's decoder (a registration of the hooks object) can answer. Built
 * with KEZ_CONSUMER_USES_NETCDF, it also links the netCDF library and
 * calls it itself, beside the suite's own netCDF calls. */
#include <cstdio>

#include "kez.h"
#include "kezcdf.h"

#ifdef KEZ_CONSUMER_USES_NETCDF
#include <netcdf.h>

/* The suite's calls never end the process and leave the program's error
 * option as it was; the program's own calls reach the library. */
static bool netcdf_shared(const char* missing) {
  ncopts = NC_FATAL | NC_VERBOSE;
  if (CDF_open(missing, CDF_READ) != -1 || ncopts != (NC_FATAL | NC_VERBOSE)) return false;
  ncopts = NC_VERBOSE;
  return ncopen(missing, NC_NOWRITE) == -1;
}
#endif

int main() {
  Domain domain;
  DOM_init(&domain);
  char text[] = "lc:40:-95:33:45,40,-95,19,13,3.4,3.4";
  RES_conv_data(text, &domain, CV_domain);
  std::printf("KEZ %s: projection %d, %d x %d\n", KEZ_version(), domain.proj, domain.nx, domain.ny);
#ifdef KEZ_CONSUMER_USES_NETCDF
  if (!netcdf_shared("no_such_file.nc")) return 1;
#endif
  return domain.proj == MAP_LAMB && domain.nx == 19 && domain.ny == 13 ? 0 : 1;
}
