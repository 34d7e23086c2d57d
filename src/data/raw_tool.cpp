/*
 * raw_tool: resetting station data, and a station's text of plotted values.
 *
 * Data sources reset their datum before filling it; the data pipeline keeps
 * for every station a text of the values plotted there ("T=54 TD=40 "),
 * which the value read-out shows. That text has a fixed room
 * (RAW_VAR_STRING_LEN) and every addition is cut to it.
 */
#include "kezraw.h"

#include <cstring>
#include <string>

int RAW_data_init(RAW_data* data) {
  if (!data) return -1;
  data->x = KEZ_FMISS;
  data->y = KEZ_FMISS;
  data->value[0] = KEZ_FMISS;
  data->value[1] = KEZ_FMISS;
  data->data[0] = '\0';
  data->format[0] = '\0';
  ATTRIB_init(&data->attr);
  return 0;
}

int RAW_data_init_val(RAW_data* data) {
  if (!data) return -1;
  data->value[0] = KEZ_FMISS;
  data->value[1] = KEZ_FMISS;
  data->data[0] = '\0';
  return 0;
}

int RAW_set_var_string(const VAR_data* var, const RAW_data* data, char* str) {
  constexpr size_t FULL = 110; /* a text this long starts again */
  if (!str || !var || !data) return 0;
  str[RAW_VAR_STRING_LEN - 1] = '\0';
  if (str[0] && var->flag > 4) return 0;
  char text[RAW_STRING_LEN] = "";
  RAW_data_to_string(text, data);
  std::string out;
  if (var->flag > 4 || std::strlen(str) >= FULL) {
    out = text;
  } else {
    const size_t n = strnlen(var->name, sizeof var->name);
    if (n > 0 && std::strncmp(str, var->name, n) == 0) str[0] = '\0';
    out = str;
    out.append(var->name, n).append("=").append(text).append(" ");
  }
  std::snprintf(str, RAW_VAR_STRING_LEN, "%s", out.c_str());
  return 0;
}
