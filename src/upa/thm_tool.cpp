/*
 * thm_tool: the state of the sounding analysis and its options.
 *
 * The analysis works on one current sounding at a time: a temperature and
 * a wind sounding (the caller's arrays, made current without copying),
 * the surface, tropopause and maximum-wind levels, the station identifier
 * and date, the parcel choice and the storm motion. Every other sounding
 * operation reaches that state through the accessors here. THERM_param
 * reads the paging mode and the parcel choice from "plot_param".
 */
#include "kezupa.h"

#include <cctype>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

constexpr float M = KEZ_FMISS;
constexpr UPA_level missing_level{M, M, M, M, M, M};
/* Identifier and parcel-name texts keep at most this many characters. */
constexpr size_t name_len = 19;

struct {
  UPA_level* sm = nullptr;
  UPA_level* wm = nullptr;
  int sm_num = 0;
  int wm_num = 0;
  std::string id;
  Date file_date{0, 0, 0, 0, 0, 0, 0, 0};
  UPA_level sfc = missing_level;
  UPA_level trop = missing_level;
  UPA_level mwnd = missing_level;
  int par_type = THERM_PAR_MIXED;
  float par_thick = 100.0f;
  UPA_level par = missing_level;
  WIND mean6{M, M};
  WIND storm{M, M};
} state;

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

/* A parcel item's text: a name, then up to two numbers, ":"-separated. A
 * number that does not read ends the list. */
void read_parcel(std::string_view text) {
  state.par_type = THERM_PAR_LEVEL;
  /* The surface pressure is the new sounding's; its temperature and dew
   * point would still be the previous station's, so the parcel starts
   * without them unless the item gives them. */
  state.par = state.sfc;
  state.par.t = M;
  state.par.td = M;

  size_t colon = text.find(':');
  std::string name(text.substr(0, colon));
  if (name.size() > name_len) name.resize(name_len);
  float num[2] = {M, M};
  int nnum = 0;
  std::string rest = colon == std::string_view::npos ? std::string() : std::string(text.substr(colon + 1));
  const char* p = rest.c_str();
  while (!name.empty() && nnum < 2 && colon != std::string_view::npos) {
    char* end = nullptr;
    float v = std::strtof(p, &end);
    if (end == p) break;
    num[nnum++] = v;
    if (*end != ':') break;
    p = end + 1;
  }

  if (name.empty() || same_name(name, "sfc")) {
    state.par_type = THERM_PAR_SFC;
  } else if (same_name(name, "maxt")) {
    state.par_type = THERM_PAR_MAXT;
  } else if (same_name(name, "layer")) {
    state.par_type = THERM_PAR_MIXED;
    if (nnum >= 1) state.par_thick = num[0];
  } else {
    state.par.p = std::strtof(name.c_str(), nullptr);
    if (nnum >= 1) state.par.t = num[0];
    if (nnum >= 2) state.par.td = num[1];
  }
}

} // namespace

const char* THERM_get_id() { return state.id.c_str(); }

int THERM_set_date(const Date* date) {
  if (date != nullptr)
    state.file_date = *date;
  else
    FILE_get_date(&state.file_date);
  return 0;
}

int THERM_set_storm(const WIND* wind) {
  if (wind != nullptr) state.storm = *wind;
  return 0;
}

WIND THERM_get_storm() { return state.storm; }

UPA_level* THERM_get_SM() { return state.sm; }
int THERM_get_SM_num() { return state.sm_num; }
UPA_level* THERM_get_WM() { return state.wm; }
int THERM_get_WM_num() { return state.wm_num; }

UPA_level* THERM_get_sfc() { return &state.sfc; }
UPA_level* THERM_get_trop() { return &state.trop; }
UPA_level* THERM_get_mwnd() { return &state.mwnd; }
UPA_level* THERM_get_parcel() { return &state.par; }

int THERM_set_trop(const UPA_level* lev) {
  if (lev != nullptr) state.trop = *lev;
  return 0;
}

int THERM_set_mwnd(const UPA_level* lev) {
  if (lev != nullptr) state.mwnd = *lev;
  return 0;
}

int THERM_get_par_type() { return state.par_type; }
float THERM_get_par_thick() { return state.par_thick; }

float THERM_get_sfc_level(int ltype) {
  const UPA_level& s = state.sfc;
  switch (ltype) {
    case UPA_CO_HGT:
    case UPA_CO_HGT_LAYER: return s.h;
    case UPA_CO_THETA:
    case UPA_CO_THETA_LAYER: return s.t == M ? M : pot_temp(s.t + 273.15f, s.p);
    default: return s.p;
  }
}

int THERM_param() {
  int n = 0;
  char** items = nullptr;
  RES_getvals("plot_param", &n, &items);
  for (int i = 0; i < n; ++i) {
    std::string_view item = items[i] ? items[i] : "";
    if (item == "page")
      MESS_set_page(1);
    else if (item == "nopage")
      MESS_set_page(0);
    else if (item.substr(0, 3) == "par")
      read_parcel(item.size() > 4 ? item.substr(4) : std::string_view());
  }
  free_parsed_array(n, items);
  return 0;
}
