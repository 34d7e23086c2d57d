/*
 * standin_i46: STAND-IN for the field labels of var_tool until they land
 * (the lead drops this file then).
 *
 * The time-and-level text is the bare codes ("t12 l100/500"), the parameter
 * label "v%d" of the parameter modulo 1000 with " (units)"; enough for the
 * GRIB decoder to compose its descriptions.
 */
#include "kez.h"

#include <cstdio>
#include <string>

int VAR_make_datalevel(int time, int ltype, int level, char* str) {
  std::snprintf(str, VAR_LABEL_LEN, "t%d l%d/%d", time, ltype, level);
  return 0;
}

char* VAR_str(char* str, int variable, const char* units) {
  if (units && units[0])
    std::snprintf(str, VAR_LABEL_LEN, "v%d (%s)", variable % 1000, units);
  else
    std::snprintf(str, VAR_LABEL_LEN, "v%d", variable % 1000);
  return str;
}

int VAR_make_datatype(int time, int ltype, int level, int variable, const char* units, char* str) {
  char lev[VAR_LABEL_LEN];
  char par[VAR_LABEL_LEN];
  VAR_make_datalevel(time, ltype, level, lev);
  VAR_str(par, variable, units);
  std::string text = std::string(lev) + " " + par;
  std::snprintf(str, VAR_LABEL_LEN, "%s", text.c_str());
  return 0;
}
