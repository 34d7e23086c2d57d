/*
 * standin_i46: STAND-IN for the field labels of var_tool until they land
 * (the lead drops this file then).
 *
 * The time-and-level text is the bare codes ("t12 l100/500"), the parameter
 * label "v%d" of the parameter modulo 1000 with " (units)"; enough for the
 * GRIB decoder to compose its descriptions. VAR_search_var_num reads the
 * variable table "variable.lup" under "file_path" on every call.
 */
#include "kez.h"

#include <cstdio>
#include <cstdlib>
#include <strings.h>
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

int VAR_search_var_num(const char* str) {
  const char* path = RES_get("file_path");
  std::string name = std::string(path ? path : ".") + "/variable.lup";
  FILE* f = std::fopen(name.c_str(), "r");
  if (!f || !str) {
    if (f) std::fclose(f);
    return 0;
  }
  char line[256];
  int found = 0;
  while (!found && std::fgets(line, sizeof line, f)) {
    char nums[64], abbr[16];
    if (std::sscanf(line, "%63s %15s", nums, abbr) == 2 && strcasecmp(abbr, str) == 0)
      found = std::atoi(nums);
  }
  std::fclose(f);
  return found;
}
