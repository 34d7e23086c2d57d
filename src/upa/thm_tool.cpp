/*
 * thm_tool: the state of the sounding analysis and its options.
 *
 * The analysis works on one current sounding at a time: a temperature and
 * a wind sounding (the caller's arrays, made current without copying),
 * the surface, tropopause and maximum-wind levels, the station identifier
 * and date, the parcel choice and the storm motion. Every other sounding
 * operation reaches that state through the accessors here. THERM_param
 * reads the paging mode and the parcel choice from "plot_param".
 *
 * The module is also the entry for data and the analysis itself: a report
 * becomes the current sounding (UPA_merge_report), any other source hands
 * in its arrays (THERM_set_data), THERM_calc fills the record of values,
 * the table printers turn sounding and record into paged text, and a
 * sounding is written to and read back from a raw point-data file.
 */
#include "kezcont.h"
#include "kezcty.h"
#include "kezraw.h"
#include "kezupa.h"
#include "ua_thetae.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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
  THERM_values values{};
  /* The module's own soundings, made when a merge or a raw read finds no
   * current arrays; they live as long as the process. */
  std::vector<UPA_level> own_sm;
  std::vector<UPA_level> own_wm;
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
    /* "nan" and "inf" read as numbers but are no temperatures */
    if (end == p || !std::isfinite(v)) break;
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
    const float p = std::strtof(name.c_str(), nullptr);
    state.par.p = std::isfinite(p) ? p : 0.0f;
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

/* ------------------------------------------------------------------------ */
/* The record of values and the report-to-sounding driver                   */
/* ------------------------------------------------------------------------ */

namespace {

constexpr const char* station_file = "upa.cty";
constexpr float mean_depth = 6000.0f;   /* m above the surface */
constexpr float storm_veer = 30.0f;     /* degrees right of the mean wind */
constexpr float storm_fraction = 0.75f; /* of the mean speed */
constexpr float layer_depth = 3000.0f;  /* m, shear and helicity */
constexpr float mix_depth = 100.0f;     /* hPa, the lowest mixed layer */
constexpr const char* press_return = "Press return to continue\n";

bool known(float v) { return v != M; }

/* The height above the surface as a height above sea level; missing with
 * the surface height. */
float above_sfc(float d) { return known(state.sfc.h) ? state.sfc.h + d : M; }

float kelvin(float t) { return known(t) ? t + 273.15f : M; }

UPA_level* sm_array() {
  if (state.sm == nullptr) {
    state.own_sm.assign(UPA_MAX_LEVELS, missing_level);
    state.sm = state.own_sm.data();
  }
  return state.sm;
}

UPA_level* wm_array() {
  /* a sounding whose temperature levels served as its winds shares one
   * array; the next winds must not land on the temperatures */
  if (state.wm == nullptr || state.wm == state.sm) {
    state.own_wm.assign(UPA_MAX_LEVELS, missing_level);
    state.wm = state.own_wm.data();
  }
  return state.wm;
}

void calc_storm() {
  state.mean6 = {M, M};
  layer_wind_mean(state.wm, state.wm_num, UPA_CO_HGT, state.sfc.h, above_sfc(mean_depth), &state.mean6);
  if (!known(state.mean6.dir)) {
    state.storm = {M, M};
    return;
  }
  float dir = state.mean6.dir + storm_veer;
  /* 360 stays 360: a storm from the north is printed as 360, not 0 */
  if (dir > 360.0f) dir -= 360.0f;
  state.storm.dir = dir;
  state.storm.spd = known(state.mean6.spd) ? storm_fraction * state.mean6.spd : M;
}

/* No sounding current: what a report without temperature levels leaves,
 * so that no table shows the previous station's data. */
void clear_sounding() {
  state.sm_num = 0;
  state.wm_num = 0;
  state.sfc = missing_level;
  state.trop = missing_level;
  state.mwnd = missing_level;
  state.mean6 = {M, M};
  state.storm = {M, M};
  THERM_init_values(&state.values);
}

bool slot_level(const int* man, int slot, int num) { return man[slot] >= 0 && man[slot] < num; }

/* Wind levels without a pressure take the temperature sounding's at their
 * height, ln p linear in height between its levels: its heights are
 * hydrostatic with the measured temperatures, while the wind sounding on
 * its own can only guess a temperature where no wind level has a
 * pressure. Levels below or above the temperature sounding are left to
 * that guess. */
void pressures_from_temps(const UPA_level* sm, int sm_num, UPA_level* wm, int wm_num) {
  for (int i = 0; i < wm_num; ++i) {
    UPA_level& w = wm[i];
    if (w.p > 0 || !known(w.h)) continue;
    const UPA_level* lo = nullptr;
    for (int k = 0; k < sm_num; ++k) {
      const UPA_level& s = sm[k];
      if (!(s.p > 0) || !known(s.h)) continue;
      if (s.h <= w.h) {
        lo = &s;
        continue;
      }
      if (lo != nullptr) {
        const double f = (static_cast<double>(w.h) - lo->h) / (static_cast<double>(s.h) - lo->h);
        w.p = static_cast<float>(lo->p * std::exp(f * std::log(static_cast<double>(s.p) / lo->p)));
      }
      break;
    }
    if (!(w.p > 0) && lo != nullptr && lo->h == w.h) w.p = lo->p;
  }
}

} // namespace

int THERM_set_id(const char* str, int val) {
  state.id = str ? str : "";
  if (state.id.size() > name_len) state.id.resize(name_len);
  state.values.wmo = val;
  FILE_set_key('i', state.id.c_str());
  return 0;
}

int THERM_get_wmo() { return state.values.wmo; }

THERM_values* THERM_get_values() { return &state.values; }

int UPA_sm_interp(int coord, const float* values, UPA_level* result, int num_result) {
  return UPA_interp_levels(state.sm, state.sm_num, coord, values, result, num_result);
}

int UPA_wm_interp(int coord, const float* values, UPA_level* result, int num_result) {
  return UPA_interp_levels(state.wm, state.wm_num, coord, values, result, num_result);
}

int THERM_init_values(THERM_values* values) {
  if (values == nullptr) return 0;
  values->wmo = KEZ_MISS;
  for (float* f : {&values->lat, &values->lon, &values->elev, &values->plcl, &values->precip, &values->thick,
                   &values->li, &values->si, &values->tt, &values->k, &values->sweat})
    *f = M;
  return 0;
}

int UPA_calc_wind(UPA_level* sm, int sm_num, const UPA_level* wm, int wm_num) {
  if (sm == nullptr) return 0;
  /* interpolation takes a writable sounding only for the theta coordinate */
  auto* wind = const_cast<UPA_level*>(wm);
  for (int i = 0; i < sm_num; ++i) {
    UPA_level& l = sm[i];
    if (known(l.dir)) continue;
    UPA_level at = missing_level;
    if (wind != nullptr && wm_num > 0) UPA_interp(wind, wm_num, UPA_CO_PRES, l.p, &at);
    l.dir = at.dir;
    l.spd = at.spd;
  }
  return 0;
}

int UPA_merge_report(UPA_report* report) {
  if (report == nullptr) return 0;
  UPA_level* sm = sm_array();
  UPA_level* wm = wm_array();

  if (!known(report->elev)) {
    CTY_data city;
    char id[UPA_ID_LEN + 1] = {};
    std::snprintf(id, sizeof id, "%.*s", UPA_ID_LEN - 1, report->id);
    /* The table names a station without a common identifier by its WMO
     * number, which a report may carry beside an identifier of its own. */
    char wmo[16] = {};
    if (report->wmo > 0 && report->wmo < 100000) std::snprintf(wmo, sizeof wmo, "%05d", report->wmo);
    if ((id[0] != '\0' && CTY_get(station_file, id, &city) == 1) ||
        (wmo[0] != '\0' && CTY_get(station_file, wmo, &city) == 1)) {
      /* What the table does not know, the report keeps. */
      if (known(city.el)) report->elev = city.el;
      if (city.wmo > 0 && city.wmo != 99999) report->wmo = city.wmo;
      if (known(city.lat) && known(city.lon)) {
        report->lat = city.lat;
        report->lon = city.lon;
      }
    }
  }
  UPA_print_locate(M_debug_a, report);
  report->man[UPA_SLOT_SFC].h = report->elev;

  std::array<int, UPA_NUM_MAN> sm_man{};
  int sm_num = UPA_sm_merge(report, sm, sm_man.data());
  if (sm_num <= 0) {
    clear_sounding();
    return 0;
  }
  UPA_calc_height(sm, sm_num);
  if (slot_level(sm_man.data(), UPA_SLOT_SFC, sm_num)) report->man[UPA_SLOT_SFC].h = sm[sm_man[UPA_SLOT_SFC]].h;
  if (slot_level(sm_man.data(), UPA_SLOT_TROP, sm_num)) report->man[UPA_SLOT_TROP].h = sm[sm_man[UPA_SLOT_TROP]].h;
  if (slot_level(sm_man.data(), UPA_SLOT_MAXW, sm_num)) {
    const UPA_level& l = sm[sm_man[UPA_SLOT_MAXW]];
    report->man[UPA_SLOT_MAXW].h = l.h;
    report->man[UPA_SLOT_MAXW].t = l.t;
    report->man[UPA_SLOT_MAXW].td = l.td;
  }

  std::array<int, UPA_NUM_MAN> wm_man{};
  int wm_num = UPA_wm_merge(report, wm, wm_man.data());
  if (wm_num < 0) wm_num = 0;
  pressures_from_temps(sm, sm_num, wm, wm_num);
  UPA_calc_press(wm, wm_num);
  UPA_calc_wind(sm, sm_num, wm, wm_num);
  UPA_print_report(M_debug_a, report);

  THERM_set_trop(&report->man[UPA_SLOT_TROP]);
  THERM_set_mwnd(&report->man[UPA_SLOT_MAXW]);
  THERM_set_data(UPA_sfc_pres(sm, sm_man.data()), sm, sm_num, wm, wm_num);
  return 1;
}

int THERM_set_data(float pr, UPA_level* smi, int smi_num, UPA_level* wmi, int wmi_num) {
  state.sm = smi;
  state.sm_num = smi != nullptr && smi_num > 0 ? smi_num : 0;
  state.wm = wmi;
  state.wm_num = wmi != nullptr && wmi_num > 0 ? wmi_num : 0;
  state.sfc.p = pr;
  THERM_param();
  THERM_init_values(&state.values);

  UPA_level sfc = missing_level;
  if (state.sm_num > 0) UPA_interp(state.sm, state.sm_num, UPA_CO_PRES, pr, &sfc);
  sfc.p = pr;
  state.sfc = sfc;
  MESS_print(M_debug_d, "SFCP: %f\n", pr);
  UPA_print_level(M_debug_d, M_debug_d, -1, &state.sfc);

  calc_storm();
  return 0;
}

int THERM_calc_storm() {
  calc_storm();
  return 0;
}

/* ------------------------------------------------------------------------ */
/* The index run                                                            */
/* ------------------------------------------------------------------------ */

namespace {

constexpr float thick_bottom = 1000.0f; /* hPa */
constexpr float mid_level = 500.0f;     /* hPa */
constexpr float lapse_bottom = 700.0f;  /* hPa */
constexpr float showalter_level = 850.0f;
constexpr float max_t_depth = 150.0f; /* hPa of air brought down to the surface */

UPA_level sm_at(float p) {
  UPA_level l = missing_level;
  if (state.sm_num > 0 && known(p)) UPA_interp(state.sm, state.sm_num, UPA_CO_PRES, p, &l);
  return l;
}

} // namespace

int THERM_calc() {
  THERM_values& v = state.values;
  UPA_level* sm = state.sm;
  const int n = state.sm_num;
  UPA_level* wm = state.wm;
  const int wn = state.wm_num;
  const float ps = state.sfc.p;

  v.thick = thickness(sm, n, UPA_CO_PRES, thick_bottom, mid_level);
  /* The levels that start from the sounding's first level begin at the
   * ground: a report's mandatory levels under a high station's ground
   * (with heights only, or values extrapolated down) are no air above it. */
  int under = 0;
  while (known(ps) && under < n && sm[under].p > ps) ++under;
  UPA_level* above = sm + under;
  const int air_n = n - under;
  v.frz = freezing_level(above, air_n);
  /* both read the theta-e of the low levels: formed once */
  LevelThetae thetae(above, air_n);
  v.wb0 = wet_bulb_zero_of(above, air_n, thetae);
  v.precip = precip_water(above, air_n);
  v.mean_rh = mean_value("rhum", sm, n, UPA_CO_PRES, ps, mid_level);

  float tmax = max_temperature(sm, n, UPA_CO_PRES, ps, max_t_depth);
  v.max_t = known(tmax) ? tmax - 273.15f : M;

  /* The inverting formulas give 0, not -9999, for missing input, so the
   * condensation level's temperature is tested here. */
  UPA_level air = sm_at(ps);
  float tk = kelvin(air.t), tdk = kelvin(air.td);
  v.plcl = lcl_pres(tk, tdk, air.p);
  v.tlcl = known(v.plcl) && v.plcl > 0 && known(tk) ? lcl_temp(tk, air.p, v.plcl) : M;

  float lapse = lapse_rate(sm, n, UPA_CO_PRES, lapse_bottom, mid_level);
  v.lapse57 = known(lapse) ? 1000.0f * lapse : M;

  thetae_index_of(above, air_n, &v.thetae, thetae);

  v.wbar = M;
  v.ccl = pr_ccl(sm, n, UPA_CO_PRES, ps, mix_depth, &v.wbar);
  v.ct = known(v.ccl) && v.ccl > 0 && known(v.wbar) && known(ps) ? conv_temp(v.wbar, v.ccl, ps) : M;

  v.li = lifted_index(sm, n, UPA_CO_PRES, ps, mix_depth, mid_level);
  v.cap = cap_strength(sm, n, UPA_CO_PRES, ps, mix_depth);
  v.si = lifted_index(sm, n, UPA_CO_PRES, showalter_level, 0.0f, mid_level);
  v.tt = total_totals(sm, n);
  v.k = k_index(sm, n);
  v.sweat = sweat_index(sm, n);
  v.ei = energy_index(sm, n);

  UPA_level base = missing_level;
  float depth = state.par_thick;
  switch (state.par_type) {
    case THERM_PAR_SFC: depth = 0.0f; break;
    case THERM_PAR_MAXT:
      base = state.sfc;
      base.t = v.max_t;
      break;
    case THERM_PAR_LEVEL:
      base = sm_at(state.par.p);
      base.p = state.par.p;
      if (known(state.par.t)) base.t = state.par.t;
      if (known(state.par.td)) base.td = state.par.td;
      break;
    default: break; /* the mixed layer */
  }
  parcel_calc(sm, n, &base, UPA_CO_PRES, ps, depth, &v.parcel);
  state.par = base;

  shear_layer(wm, wn, UPA_CO_HGT, state.sfc.h, above_sfc(layer_depth), nullptr, &v.shear);
  helicity(wm, wn, UPA_CO_HGT, state.sfc.h, above_sfc(layer_depth), &state.storm, &v.helicity);
  v.brn = M;
  v.bshear = M;
  bulk_richardson(wm, wn, UPA_CO_PRES, ps, v.parcel.Bplus, &v.brn, &v.bshear);
  v.ehi = energy_helicity(wm, wn, UPA_CO_PRES, ps, &state.storm, v.parcel.Bplus);
  return 0;
}

/* ------------------------------------------------------------------------ */
/* The tables                                                               */
/* ------------------------------------------------------------------------ */

namespace {

constexpr float m_to_ft = UPA_M_TO_FT;

float feet(float h) { return known(h) ? h * m_to_ft : M; }
float fahrenheit(float c) { return known(c) ? 32.0f + 9.0f * c / 5.0f : M; }
float milli(float x) { return known(x) ? 1000.0f * x : M; }

/* A risk word: the first row whose test holds, else the last word. */
struct Risk {
  float limit;
  const char* word;
};

enum class Test { above, below };

/* Tests are strict: a value on a limit gets the next row's word. */
template <size_t N>
void risk(M_type level, float value, Test test, const std::array<Risk, N>& rows, const char* last) {
  for (const Risk& r : rows) {
    if (test == Test::above ? value > r.limit : value < r.limit) {
      MESS_print(level, "%s", r.word);
      return;
    }
  }
  MESS_print(level, "%s", last);
}

constexpr std::array<Risk, 4> li_risk{{{2, "None\n"},
                                       {0, "Showers probable\n"},
                                       {-2, "Thunderstorms probable\n"},
                                       {-4, "Severe thunderstorms possible\n"}}};
constexpr std::array<Risk, 4> si_risk{{{3, "None\n"},
                                       {1, "Showers probable\n"},
                                       {-2, "Thunderstorms probable\n"},
                                       {-6, "Severe thunderstorms possible\n"}}};
constexpr std::array<Risk, 3> tt_risk{
    {{44, "None\n"}, {49, "Scattered moderate thunderstorms\n"}, {55, "Scattered heavy thunderstorms\n"}}};
constexpr std::array<Risk, 5> k_risk{{{15, "None\n"},
                                      {20, "< 20 % chance of thunderstorms\n"},
                                      {25, "20-40 % chance of thunderstorms\n"},
                                      {30, "40-60 % chance of thunderstorms\n"},
                                      {35, "60-80 % chance of thunderstorms\n"}}};
constexpr std::array<Risk, 2> sweat_risk{{{300, "None\n"}, {400, "Showers and thunderstorms possible\n"}}};
constexpr std::array<Risk, 2> ei_risk{{{0, "None\n"}, {-2, "Scattered severe thunderstorms\n"}}};

/* A line of a pressure with the sounding's height there in m and feet. */
void level_line(M_type level, const char* format, float p) {
  float h = sm_at(p).h;
  MESS_print(level, format, p, h, feet(h));
}

/* Every crossing of 0 degrees Celsius between neighbouring levels with a
 * temperature; a crossing next to a level without height or pressure has
 * no height. */
void freezing_crossings() {
  const UPA_level* sm = state.sm;
  const int n = state.sm_num;
  for (int i = 0; i < n - 1; ++i) {
    /* none under the ground */
    if (!known(sm[i].t) || (known(state.sfc.p) && sm[i].p > state.sfc.p)) continue;
    int j = i + 1;
    while (j < n && !known(sm[j].t)) ++j;
    if (j >= n) break;
    const UPA_level &a = sm[i], &b = sm[j];
    if ((a.t >= 0) == (b.t >= 0)) continue;
    float p = known(a.p) && known(b.p) ? linear_interp(0.0f, a.t, b.t, a.p, b.p) : M;
    float h = known(p) && known(a.h) && known(b.h) && a.p != b.p ? linear_interp(p, a.p, b.p, a.h, b.h) : M;
    MESS_print(THERM_M_INDEX_X, "Freezing level:         %7.2f mb = %8.2f m = %8.2f ft\n", p, h, feet(h));
  }
}

/* The top of the temperature sounding: its last level with a temperature,
 * where every ascent ends; -9999 without one. */
float sounding_top() {
  for (int k = state.sm_num - 1; k >= 0; --k)
    if (known(state.sm[k].t)) return state.sm[k].p;
  return M;
}

/* The top of the sounding when the parcel is still buoyant there: its
 * CAPE, and what is formed from it, counts up to there only, and the EL
 * lies higher. -9999 otherwise. */
float buoyant_top(const PARCEL_params& pc) {
  const float top = sounding_top();
  if (!(pc.lfc > 0) || !known(pc.Bplus) || !known(pc.Satad) || !known(top) || !(top < pc.plcl)) return M;
  UPA_level at = sm_at(top);
  const float tp = temp_on_satad(pc.Satad, top);
  return known(at.t) && known(tp) && tp - 273.15f > at.t ? top : M;
}

} // namespace

int THERM_sig_table() {
  const int max = MESS_get_max_lines();
  auto pause_after = [max](int i) {
    if (max > 0 && i % max == max - 4) MESS_hold(THERM_M_TABLE, press_return);
  };
  UPA_print_level(THERM_M_TABLE, THERM_M_TABLE_X, 0, nullptr);
  int i = 0;
  for (; i < state.sm_num; ++i) {
    const UPA_level& l = state.sm[i];
    UPA_print_level(THERM_M_TABLE, THERM_M_TABLE_X, l.p == state.sfc.p ? -1 : i, &l);
    pause_after(i);
  }
  UPA_print_level(THERM_M_TABLE, THERM_M_TABLE_X, -2, &state.trop);
  pause_after(state.sm_num + 1);
  UPA_print_level(THERM_M_TABLE, THERM_M_TABLE_X, -3, &state.mwnd);
  MESS_hold(THERM_M_TABLE, press_return);
  return 0;
}

int THERM_indices() {
  const THERM_values& v = state.values;
  constexpr M_type main = THERM_M_INDEX, other = THERM_M_INDEX_X;
  const float ps = state.sfc.p;

  MESS_print(THERM_M_TITLE, "\nSounding variables and indices\n");
  if (known(v.thick)) MESS_print(main, "1000-500 mb thick:      %7.2f m\n", v.thick);
  UPA_level air = sm_at(ps);
  if (known(air.t) && air.t < 0) MESS_print(other, "Freezing level:      Surface below freezing\n");
  freezing_crossings();
  if (v.wb0 == -1.0f)
    MESS_print(other, "Wetbulb zero:        Below ground\n");
  else if (known(v.wb0))
    level_line(other, "Wetbulb zero:           %7.2f mb = %8.2f m = %8.2f ft\n", v.wb0);
  if (known(v.precip)) MESS_print(other, "Precipitable water:     %7.2f inches\n", v.precip);
  if (known(v.mean_rh)) MESS_print(other, "Sfc-500 mean rel hum:   %7.2f %%\n", v.mean_rh);
  if (known(v.max_t)) MESS_print(other, "Est. max temperature:   %7.2f C = %7.2f F\n", v.max_t, fahrenheit(v.max_t));
  if (known(v.plcl) && v.plcl > 0) {
    UPA_level at = sm_at(v.plcl);
    MESS_print(other, "Sfc-Lift cond lev (LCL): %6.2f mb = %8.2f m = %8.2f ft T: %7.2f C\n", v.plcl, at.h, feet(at.h),
               at.t);
  }
  if (known(v.lapse57)) MESS_print(other, "700-500 lapse rate:      %6.2f C/km\n", v.lapse57);
  /* theta-e that never falls has no layer: no top to print */
  if (known(v.thetae.index) && known(v.thetae.top))
    MESS_print(other, "ThetaE index:            %6.2f C Layer %6.1f-%6.1f mb\n", v.thetae.index, v.thetae.base,
               v.thetae.top);
  else if (known(v.thetae.index))
    MESS_print(other, "ThetaE index:            %6.2f C No layer of falling theta-e\n", v.thetae.index);
  if (known(v.ccl) && v.ccl > 0) {
    level_line(other, "Conv cond level (CCL):  %7.2f mb = %8.2f m = %8.2f ft\n", v.ccl);
    MESS_print(other, "  Mean mixing ratio:    %7.2f g/kg\n", v.wbar);
    float ct = known(v.ct) ? v.ct - 273.15f : M;
    MESS_print(other, "  Conv temperature:     %7.2f C = %7.2f F\n", ct, fahrenheit(ct));
  } else if (v.ccl == -1.0f) {
    MESS_print(other, "Conv cond level (CCL): None\n");
  }
  MESS_hold(other, press_return);

  if (known(v.cap)) MESS_print(other, "Cap Strength:            %6.2f C\n", v.cap);
  if (known(v.li)) {
    MESS_print(main, "Lifted Index:            %6.2f C Risk: ", v.li);
    risk(main, v.li, Test::above, li_risk, "Severe thunderstorms probable\n");
  }
  float li300 = lifted_index(state.sm, state.sm_num, UPA_CO_PRES, ps, mix_depth, 300.0f);
  float li700 = lifted_index(state.sm, state.sm_num, UPA_CO_PRES, ps, mix_depth, 700.0f);
  if (known(li300)) MESS_print(other, "Lifted Index @300 mb:    %6.2f C\n", li300);
  if (known(li700)) MESS_print(other, "Lifted Index @700 mb:    %6.2f C\n", li700);
  if (known(v.si)) {
    MESS_print(main, "Showalter Index:         %6.2f C Risk: ", v.si);
    risk(main, v.si, Test::above, si_risk, "Severe thunderstorms probable\n");
  }
  if (known(v.tt)) {
    MESS_print(main, "Total Totals Index:      %6.2f C Risk: ", v.tt);
    risk(main, v.tt, Test::below, tt_risk, "Severe Thunderstorms probable\n");
    MESS_print(other, "  Vertical Totals Index: %6.2f C\n", vertical_totals(state.sm, state.sm_num));
    MESS_print(other, "  Cross Totals Index:    %6.2f C\n", cross_totals(state.sm, state.sm_num));
  }
  if (known(v.k)) {
    MESS_print(main, "K Index:                 %6.2f   Risk: ", v.k);
    risk(main, v.k, Test::below, k_risk, "> 80 % chance of thunderstorms\n");
  }
  if (known(v.sweat)) {
    MESS_print(other, "Sweat Index:             %6.2f   Risk: ", v.sweat);
    risk(other, v.sweat, Test::below, sweat_risk, "Severe Thunderstorms possible\n");
  }
  if (known(v.ei)) {
    MESS_print(other, "Energy Index:            %6.2f   Risk: ", v.ei);
    risk(other, v.ei, Test::above, ei_risk, "Severe Thunderstorms probable\n");
  }
  MESS_hold(main, press_return);

  const PARCEL_params& pc = v.parcel;
  constexpr M_type pmain = THERM_M_PARCEL, pother = THERM_M_PARCEL_X;
  MESS_print(pmain, "\nParcel Indices\n");
  switch (state.par_type) {
    case THERM_PAR_SFC: MESS_print(pmain, "Parcel: using surface\n"); break;
    case THERM_PAR_MIXED: MESS_print(pmain, "Parcel: using %1.0f mb layer\n", state.par_thick); break;
    case THERM_PAR_MAXT: MESS_print(pmain, "Parcel: using max temp\n"); break;
    case THERM_PAR_LEVEL:
      MESS_print(pmain, "Parcel: using P: %1.0f T: %2.1f TD: %2.1f\n", state.par.p, state.par.t, state.par.td);
      break;
    default: break;
  }
  const float open_top = buoyant_top(pc);
  if (known(pc.Bplus)) MESS_print(pmain, "CAPE (B+):             %8.2f J/kg\n", pc.Bplus);
  if (known(open_top))
    MESS_print(pmain, "  counted up to %.0f mb only: the parcel is still buoyant at the top of the sounding\n",
               open_top);
  if (known(pc.wmax)) MESS_print(pother, "Max Up Vert Vel:       %8.2f m/s\n", pc.wmax);
  if (known(pc.Bminus)) MESS_print(pmain, "Conv Inhibition (B-):  %8.2f J/kg\n", pc.Bminus);
  if (known(pc.cap)) MESS_print(pmain, "Cap Strength:          %8.2f C\n", pc.cap);
  if (known(pc.plcl)) level_line(pother, "Lift Cond Lev (LCL):   %8.2f mb = %8.2f m = %8.2f ft\n", pc.plcl);
  if (pc.lfc == -1.0f)
    MESS_print(pother, "Lev Free Conv (LFC):     none up to %.0f mb, the top of the sounding\n", sounding_top());
  else if (known(pc.lfc))
    level_line(pother, "Lev Free Conv (LFC):   %8.2f mb = %8.2f m = %8.2f ft\n", pc.lfc);
  if (known(pc.el)) level_line(pother, "Equ Level (EL):        %8.2f mb = %8.2f m = %8.2f ft\n", pc.el);
  if (known(pc.Bel)) MESS_print(pother, "B at Equ Level:        %8.2f J/kg\n", pc.Bel);
  if (known(pc.mpl)) level_line(pother, "Max Parcel Lev (MPL):  %8.2f mb = %8.2f m = %8.2f ft\n", pc.mpl);
  MESS_hold(pmain, press_return);
  return 0;
}

int THERM_wind_table() {
  const int max = MESS_get_max_lines();
  UPA_print_wind(THERM_M_WTABLE, THERM_M_WTABLE_X, 0, nullptr, &state.storm);
  for (int i = 0; i < state.wm_num; ++i) {
    UPA_print_wind(THERM_M_WTABLE, THERM_M_WTABLE_X, i, &state.wm[i], &state.storm);
    if (max > 0 && i % max == max - 4) MESS_hold(THERM_M_STORM, press_return);
  }
  /* no second pause right after the one of the last row */
  if (max <= 0 || state.wm_num % max != max - 3) MESS_hold(THERM_M_STORM, press_return);
  return 0;
}

int THERM_wind() {
  const THERM_values& v = state.values;
  constexpr M_type main = THERM_M_WIND, other = THERM_M_WIND_X;
  MESS_print(main, "\nWind Parameters\n");
  if (known(state.mean6.dir))
    MESS_print(main, "Mean winds (0-6000m):           %6.1f at %6.1f knts\n", state.mean6.dir, state.mean6.spd);
  if (known(state.storm.dir))
    MESS_print(main, "Storm direction:                %6.1f at %6.1f knts\n", state.storm.dir, state.storm.spd);
  const SHEAR_params& sh = v.shear;
  if (known(sh.pos_shr)) {
    float tot = known(sh.neg_shr) ? sh.pos_shr + sh.neg_shr : M;
    MESS_print(other, "Shear (0-3000m)              pos: %6.1f neg: %6.1f tot: %6.1f 10-3/s\n", milli(sh.pos_shr),
               milli(sh.neg_shr), milli(tot));
  }
  const HELICITY_params& h = v.helicity;
  if (known(h.dir_shr)) MESS_print(other, "Storm rel Dir Shear (0-3000m):    %6.1f deg\n", h.dir_shr);
  if (known(h.pos_hel))
    MESS_print(main, "Storm rel helicity (0-3000m) pos: %6.1f neg: %6.1f tot: %6.1f m^2/s^2\n", h.pos_hel, h.neg_hel,
               h.tot_hel);
  if (known(h.ave_hel))
    MESS_print(other, "                             ave: %6.1f 10^-3 m/s^2 rel: %6.2f\n", milli(h.ave_hel), h.rel_hel);
  if (known(h.hor_vort))
    MESS_print(other, "Storm rel vorticity (0-3000m) horiz: %6.1f stream: %6.1f 10^-3/s\n", milli(h.hor_vort),
               milli(h.stm_vort));
  if (known(v.ehi)) MESS_print(main, "Energy-Hel index:       %7.2f\n", v.ehi);
  if (known(v.brn)) {
    MESS_print(other, "Bulk Rich Number:       %7.2f\n", v.brn);
    MESS_print(other, "Bulk Shear:             %7.2f m/s\n", v.bshear);
  }
  const float open_top = buoyant_top(v.parcel);
  if (known(open_top) && (known(v.ehi) || known(v.brn)))
    MESS_print(main, "  from the CAPE up to %.0f mb only: the parcel is still buoyant at the top of the sounding\n",
               open_top);
  MESS_hold(main, press_return);
  return 0;
}

int THERM_storm_table() {
  constexpr M_type out = THERM_M_STORM;
  float su = M, sv = M;
  wind2vect(state.storm.dir, known(state.storm.spd) ? state.storm.spd * UPA_KT_TO_MS : M, &su, &sv);

  const std::string dashes = std::string(79, '-') + "\n";
  MESS_print(out, "\nStorm Parameters\n");
  MESS_print(out, "%s", dashes.c_str());
  MESS_print(out, "Depth  Mean    Inflow|    Shear      |           Helicity           | Vorticity\n");
  MESS_print(out, " AGL  Dir Spd Dir Spd|  Pos  Neg  Tot|  Pos   Neg   Tot   Ave   Rel |  Hor Strm\n");
  MESS_print(out, "  m       knt     knt|     10^-3/s   |       m^2/s^2     m/s^2      | 10^-3/s\n");
  MESS_print(out, "%s", dashes.c_str());

  constexpr std::array<float, 9> depths{500, 1000, 1500, 2000, 2500, 3000, 4000, 5000, 6000};
  for (float d : depths) {
    const float bottom = state.sfc.h, top = above_sfc(d);
    MESS_print(out, "%4.0f  ", d);

    WIND mean{M, M};
    if (layer_wind_mean(state.wm, state.wm_num, UPA_CO_HGT, bottom, top, &mean) == 1) {
      MESS_print(out, "%3.0f %3.0f ", mean.dir, mean.spd);
      float mu = M, mv = M;
      wind2vect(mean.dir, known(mean.spd) ? mean.spd * UPA_KT_TO_MS : M, &mu, &mv);
      float du = known(mu) && known(su) ? mu - su : M;
      float dv = known(mv) && known(sv) ? mv - sv : M;
      float idir = M, ispd = M;
      vect2wind(du, dv, &idir, &ispd);
      MESS_print(out, "%3.0f %3.0f| ", idir, known(ispd) ? ispd * UPA_MS_TO_KT : M);
    } else {
      MESS_print(out, " NO DATA       | ");
    }

    SHEAR_params sh{M, M};
    if (shear_layer(state.wm, state.wm_num, UPA_CO_HGT, bottom, top, nullptr, &sh) == 1 && known(sh.pos_shr)) {
      float tot = known(sh.neg_shr) ? sh.pos_shr + sh.neg_shr : M;
      MESS_print(out, "%4.1f %4.1f %4.1f|", milli(sh.pos_shr), milli(sh.neg_shr), milli(tot));
    } else {
      MESS_print(out, "              |");
    }

    HELICITY_params h{M, M, M, M, M, M, M, M};
    if (helicity(state.wm, state.wm_num, UPA_CO_HGT, bottom, top, &state.storm, &h) == 1) {
      MESS_print(out, "%5.1f%6.1f%6.1f ", h.pos_hel, h.neg_hel, h.tot_hel);
      const bool shallow = d <= layer_depth;
      MESS_print(out, shallow ? "%6.1f %5.2f|" : "%6.1f %5.2f| ", milli(h.ave_hel), h.rel_hel);
      MESS_print(out, shallow ? "%5.1f%5.1f\n" : "%4.1f %4.1f\n", milli(h.hor_vort), milli(h.stm_vort));
    } else {
      MESS_print(out, "                              |\n");
    }
  }
  return 0;
}

/* ------------------------------------------------------------------------ */
/* Raw sounding files                                                       */
/* ------------------------------------------------------------------------ */

namespace {

constexpr const char* raw_convention = "upa_snd";
constexpr int raw_exit_status = 10;

/* Columns of a level line after the label and the pressure. */
enum Raw_field { RF_HEIGHT = 2, RF_TEMP = 3, RF_DEWP = 4, RF_DIR = 5, RF_SPD = 6 };

struct FileCloser {
  void operator()(FILE* fp) const {
    if (fp) FILE_close(fp);
  }
};

void put_level(FILE* fp, const char* label, const UPA_level& l) {
  std::fprintf(fp, "%s", label);
  std::fprintf(fp, "%4.0f ", l.p);
  if (known(l.h))
    std::fprintf(fp, "%5.0f ", l.h);
  else
    std::fprintf(fp, "    - ");
  if (known(l.t))
    std::fprintf(fp, " %5.1f ", l.t);
  else
    std::fprintf(fp, "     - ");
  if (known(l.td))
    std::fprintf(fp, "%5.1f ", l.td);
  else
    std::fprintf(fp, "    - ");
  if (known(l.dir))
    std::fprintf(fp, "%4.0f ", l.dir);
  else
    std::fprintf(fp, "   - ");
  if (known(l.spd))
    std::fprintf(fp, "%3.0f", l.spd);
  else
    std::fprintf(fp, "  - ");
  std::fprintf(fp, "\n");
}

std::string index_label(int i) {
  char label[16];
  std::snprintf(label, sizeof label, "%4d ", i);
  return label;
}

bool label_is(const char* label, const char* name) { return stricmp(label, name) == 0; }

/* Where the values of the lines read so far go. */
struct Raw_reader {
  UPA_level* sm = nullptr;
  UPA_level* wm = nullptr;
  int sm_num = 0;
  int wm_num = 0;
  bool winds = false;           /* a "wind" line has come */
  UPA_level* current = nullptr; /* the level of the line being read */
  bool dropped = false;         /* levels beyond the arrays were dropped */
};

/* A level line starts with its height column; a line whose first value is
 * not a height has no level and its values are dropped. */
void start_level(Raw_reader& rd, const char* label) {
  rd.current = nullptr;
  if (label_is(label, "mwnd")) {
    state.mwnd = missing_level;
    rd.current = &state.mwnd;
    return;
  }
  if (label_is(label, "trop")) {
    state.trop = missing_level;
    rd.current = &state.trop;
    return;
  }
  if (label_is(label, "wind") && !rd.winds) {
    rd.winds = true;
    rd.wm = wm_array();
  }
  UPA_level* arr = rd.winds ? rd.wm : rd.sm;
  int& num = rd.winds ? rd.wm_num : rd.sm_num;
  if (num >= UPA_MAX_LEVELS) {
    rd.dropped = true;
    return;
  }
  arr[num] = missing_level;
  rd.current = &arr[num++];
}

void store_value(UPA_level* l, int field, float pr, float value) {
  l->p = pr;
  switch (field) {
    case RF_HEIGHT: l->h = value; break;
    case RF_TEMP: l->t = value; break;
    case RF_DEWP: l->td = value; break;
    case RF_DIR: l->dir = value; break;
    case RF_SPD: l->spd = value; break;
    default: break;
  }
}

} // namespace

namespace {

/* An item of "out_file" that asks for an image of the plot, not a file name. */
bool image_item(std::string_view item) {
  for (std::string_view word : {"gif", "png", "img", "xwd"}) {
    if (item.size() < word.size() || !same_name(item.substr(0, word.size()), word)) continue;
    if (item.size() == word.size() || item[word.size()] == '=' || item[word.size()] == ':') return true;
  }
  return false;
}

} // namespace

int THERM_out_raw() {
  FILE_set_name(raw_convention);
  int n = 0;
  char** items = nullptr;
  RES_getvals("out_file", &n, &items);
  for (int i = 0; i < n; ++i) {
    std::string_view item = items[i] ? items[i] : "";
    if (item.empty() || image_item(item)) continue;
    if (item.substr(0, 3) == "raw")
      FILE_set_name(item.size() > 3 ? items[i] + 4 : raw_convention);
    else
      FILE_set_name(items[i]);
  }
  free_parsed_array(n, items);

  std::vector<char> name(FILE_PATH_LEN, '\0');
  FILE_set_date(&state.file_date, name.data());
  std::unique_ptr<FILE, FileCloser> fp(FILE_open(name.data(), "w"));
  if (!fp) {
    MESS_print(M_warn, "THERM_out_raw: Unable to open output file: %s\n", name.data());
    return 0;
  }

  char label[FILE_PATH_LEN];
  label[0] = '\0';
  DATE_make_label(&state.file_date, label);
  std::fprintf(fp.get(), "KEZRAW\n%s\n!%s Sounding\n", label, state.id.c_str());
  std::fprintf(fp.get(), " Lev   P     H     T     Td    Dir Spd $\n");
  UPA_calc_wind(state.sm, state.sm_num, state.wm, state.wm_num);
  for (int i = 0; i < state.sm_num; ++i)
    put_level(fp.get(), state.sm[i].p == state.sfc.p ? " SFC " : index_label(i).c_str(), state.sm[i]);
  for (int i = 0; i < state.wm_num; ++i) put_level(fp.get(), i == 0 ? "WIND " : index_label(i).c_str(), state.wm[i]);
  if (known(state.trop.p)) put_level(fp.get(), "TROP ", state.trop);
  if (known(state.mwnd.p)) put_level(fp.get(), "MWND ", state.mwnd);
  std::fprintf(fp.get(), "\n");
  const bool failed = std::ferror(fp.get()) != 0;
  if (FILE_close(fp.release()) != 0 || failed) {
    MESS_print(M_warn, "THERM_out_raw: Unable to write output file: %s\n", name.data());
    return 0;
  }
  MESS_print(THERM_M_WRITTEN, "Written raw file to: %s\n", name.data());
  return 1;
}

int THERM_read_raw(const char* filename) {
  int type = 0;
  const int fd = filename ? RAW_open(filename, 0, &type) : -1;
  if (fd < 0) {
    MESS_print(M_error, "Unable to open file:%s\n", filename ? filename : "");
    KEZ_exit(raw_exit_status);
  }

  RAW_info info{};
  RAW_getinfo(fd, &info);
  info.info[sizeof info.info - 1] = '\0';
  info.datim[sizeof info.datim - 1] = '\0';
  MESS_print(THERM_M_TABLE, "ID: %s\n", info.info);
  {
    std::string_view text = info.info;
    size_t start = text.find_first_not_of(" \t");
    text = start == std::string_view::npos ? std::string_view() : text.substr(start);
    state.id = std::string(text.substr(0, std::min(text.find_first_of(" \t"), name_len)));
  }
  MESS_print(THERM_M_TABLE, "Date: %s\n", info.datim);
  DATE_decode_label(info.datim, &state.file_date);
  UPA_set_datim(info.datim);
  for (int i = 0; i < RAW_get_num_field(fd); ++i) {
    const char* fname = RAW_get_field_name(fd, RAW_sel(RAW_SEL_FIELD + i));
    MESS_print(M_debug_c, "NAME: %d %s\n", i, fname ? fname : "");
  }

  /* a file without these lines must not keep the previous station's */
  state.trop = missing_level;
  state.mwnd = missing_level;
  float sfc_p = M;
  Raw_reader rd;
  rd.sm = sm_array();

  RAW_report rep{};
  int statnum = 0;
  int got;
  bool line_open = false;
  bool ended = false;
  while ((got = RAW_read(fd, &rep, RAW_sel(RAW_SEL_ALL), &statnum)) != -1) {
    const int call = statnum++;
    if (got == 0) {
      /* every line gives a value or its keys before its end: two ends in a
       * row mean the reader makes no progress */
      if (ended) break;
      ended = true;
      line_open = false;
      continue;
    }
    ended = false;
    rep.id[sizeof rep.id - 1] = '\0';
    MESS_print(M_debug_c, "%d %d %s %f %f %d %s = %f %s\n", call, got, rep.id, rep.lat, rep.lon, rep.type,
               rep.type >= 0 ? "" : "-", rep.value[0], rep.data);
    if (rep.type == KEZ_MISS) continue; /* a line of keys alone */
    if (label_is(rep.id, "sfc")) sfc_p = rep.lat;
    if (rep.type == RF_HEIGHT) {
      start_level(rd, rep.id);
      line_open = true;
    } else if (!line_open) {
      continue;
    }
    if (rd.current) store_value(rd.current, rep.type, rep.lat, rep.value[0]);
  }
  RAW_close(fd);
  if (rd.dropped)
    MESS_print(M_warn, "THERM_read_raw: More than %d levels, the rest dropped: %s\n", UPA_MAX_LEVELS, filename);

  if (!known(sfc_p) && rd.sm_num > 0) sfc_p = rd.sm[0].p;
  if (rd.winds)
    THERM_set_data(sfc_p, rd.sm, rd.sm_num, rd.wm, rd.wm_num);
  else
    THERM_set_data(sfc_p, rd.sm, rd.sm_num, rd.sm, rd.sm_num);
  return 0;
}
