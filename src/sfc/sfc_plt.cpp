/*
 * sfc_plt: the surface variables, as the data pipeline reads them.
 *
 * Each of the surface program's variable names yields a value (two for the
 * temperature-and-dew-point and wind keys), a text, and a unit from one
 * surface report. SFC_get_data fills one station datum from the current
 * report, the pipeline calling it once per station and variable both for
 * drawing and for the objective analysis; SFC_get_var gives a variable its
 * default unit before any report is read so that labels show it.
 *
 * Reports hold fixed units (F, knots, mb, inches of mercury, miles, feet);
 * the derived quantities go through the formula library in kelvin, mb and
 * m/s. The only state is a cache of the keys of recent variable names,
 * each entry checked against the whole name it was found for.
 */
#include "kezsfc.h"

#include "kezraw.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>

namespace {

enum class Key {
  city,
  temp,
  ttd,
  dewp,
  dewd,
  wdir,
  wspd,
  wgst,
  wind,
  hwind,
  uwnd,
  uwndg,
  vwnd,
  vwndg,
  alt,
  pralt,
  pres,
  elev,
  wx,
  vis,
  cldcl,
  cldclc,
  cldcv,
  ptend,
  prec1,
  prec3,
  prec6,
  prec12,
  prec24,
  prec,
  extt,
  maxt6,
  maxt24,
  maxt,
  mint6,
  mint24,
  mint,
  snwdp,
  nlcld,
  lcld,
  mcld,
  hcld,
  solar,
  sst,
  wavper,
  wavhgt,
  vpres,
  svpres,
  wchilt,
  wchill2,
  wchilf,
  heat,
  humit,
  mrat,
  smrat,
  shum,
  rhum,
  wetblb,
  thetaw,
  thetae,
  thetav,
  theta,
  vtemp,
  fr
};

/* One variable name: the unit of its values ("" none) and the default unit
 * a variable gets before reading (null: no default known). */
struct KeyDef {
  std::string_view name;
  Key key;
  const char* unit;
  const char* def;
};

constexpr KeyDef keys[] = {
    {"city", Key::city, "", ""},
    {"temp", Key::temp, "F", "F"},
    {"ttd", Key::ttd, "F", "F"},
    {"dewp", Key::dewp, "F", "F"},
    {"dewd", Key::dewd, "dF", "dF"},
    {"wdir", Key::wdir, "deg", "deg"},
    {"wspd", Key::wspd, "knt", "knt"},
    {"wgst", Key::wgst, "knt", "knt"},
    {"wbrbc", Key::wind, "knt", "knt"},
    {"wbrb", Key::wind, "knt", "knt"},
    {"wind", Key::wind, "knt", "knt"},
    {"hwind", Key::hwind, "knt", nullptr},
    {"uwnd", Key::uwnd, "m/s", "m/s"},
    {"uwndg", Key::uwndg, "m/s", "m/s"},
    {"vwnd", Key::vwnd, "m/s", "m/s"},
    {"vwndg", Key::vwndg, "m/s", "m/s"},
    {"alt", Key::alt, "in_Hg", "in_HG"},
    {"pralt", Key::pralt, "mb", "mb"},
    {"pres", Key::pres, "mb", "mb"},
    {"elev", Key::elev, "m", "m"},
    {"wx", Key::wx, "", ""},
    {"vis", Key::vis, "mi", "mi"},
    {"cldcl", Key::cldcl, "100 ft", "100 ft"},
    {"cldclc", Key::cldclc, "", nullptr},
    {"cldcv", Key::cldcv, "%", "%"},
    {"ptend", Key::ptend, "mb", "mb"},
    {"prec1", Key::prec1, "in", nullptr},
    {"prec3", Key::prec3, "in", "in"},
    {"prec6", Key::prec6, "in", "in"},
    {"prec12", Key::prec12, "in", "in"},
    {"prec24", Key::prec24, "in", "in"},
    {"prec", Key::prec, "in", "in"},
    {"extt", Key::extt, "F", "F"},
    {"maxt6", Key::maxt6, "F", "F"},
    {"maxt24", Key::maxt24, "F", "F"},
    {"maxt", Key::maxt, "F", "F"},
    {"mint6", Key::mint6, "F", "F"},
    {"mint24", Key::mint24, "F", "F"},
    {"mint", Key::mint, "F", "F"},
    {"snwdp", Key::snwdp, "in", "in"},
    {"nlcld", Key::nlcld, "%", nullptr},
    {"lcld", Key::lcld, "", ""},
    {"mcld", Key::mcld, "", ""},
    {"hcld", Key::hcld, "", ""},
    {"solar", Key::solar, "min", "min"},
    {"sst", Key::sst, "C", "C"},
    {"wavper", Key::wavper, "sec", "sec"},
    {"wavhgt", Key::wavhgt, "m", "m"},
    {"vpres", Key::vpres, "mb", "mb"},
    {"svpres", Key::svpres, "mb", nullptr},
    {"wchilt", Key::wchilt, "K", "K"},
    {"wchill", Key::wchilt, "K", nullptr},
    {"wchill2", Key::wchill2, "K", nullptr},
    {"wchilf", Key::wchilf, "W/m^2", "W/m^2"},
    {"heat", Key::heat, "K", "K"},
    {"humit", Key::humit, "F", "F"},
    {"mrat", Key::mrat, "g/kg", "g/kg"},
    {"smrat", Key::smrat, "g/kg", nullptr},
    {"shum", Key::shum, "g/kg", "g/kg"},
    {"rhum", Key::rhum, "%", "%"},
    {"wetblb", Key::wetblb, "K", "K"},
    {"thetaw", Key::thetaw, "K", "K"},
    {"thetae", Key::thetae, "K", "K"},
    {"thetav", Key::thetav, "K", "K"},
    {"theta", Key::theta, "K", "K"},
    {"vtemp", Key::vtemp, "K", "K"},
    {"fr", Key::fr, "", ""},
};

constexpr float kMiss = KEZ_FMISS;
constexpr double kDegToRad = 0.017453292519943334;
constexpr double kKnotToMs = 0.5144;
constexpr double kInHgToHpa = 33.85399;
/* A clear sky's "ceiling" in hundreds of feet. */
constexpr float kClearCeiling = 500.0f;

bool present(float v) { return v != kMiss; }
template <typename... T>
bool all_present(T... v) {
  return (present(v) && ...);
}

/* The keys grouped by their first letter: every datum of every station
 * looks its key up, among the few of its letter. */
struct KeyGroups {
  std::array<const KeyDef*, std::size(keys)> order{};
  std::array<std::uint8_t, 27> first{}; /* order[first[c]] to order[first[c + 1]] begin with 'a' + c */
};

constexpr KeyGroups key_groups = [] {
  KeyGroups g;
  std::size_t n = 0;
  for (int c = 0; c < 26; ++c) {
    g.first[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(n);
    for (const KeyDef& k : keys)
      if (k.name[0] == 'a' + c) g.order[n++] = &k;
  }
  g.first[26] = static_cast<std::uint8_t>(n);
  return g;
}();
static_assert(key_groups.first[26] == std::size(keys), "every key begins with a small letter");

/* The key is the name up to its first "-", compared without regard to
 * case (the table's names are in small letters). */
const KeyDef* find_key(const char* name) {
  if (name == nullptr) return nullptr;
  const std::string_view full(name, strnlen(name, sizeof(VAR_data::name)));
  const std::string_view key = full.substr(0, full.find('-'));
  if (key.empty()) return nullptr;
  const char c = ascii_lower(key[0]);
  if (c < 'a' || c > 'z') return nullptr;
  const auto group = static_cast<std::size_t>(c - 'a');
  for (std::size_t i = key_groups.first[group]; i < key_groups.first[group + 1]; ++i) {
    const KeyDef& k = *key_groups.order[i];
    if (k.name.size() != key.size()) continue;
    bool same = true;
    for (std::size_t j = 1; j < key.size() && same; ++j) same = ascii_lower(key[j]) == k.name[j];
    if (same) return &k;
  }
  return nullptr;
}

/* The keys of recent variable names, in a slot chosen by the variable's
 * place in memory: a station plot asks for the key of the same few
 * variables for every station. An entry holds the name's whole field, so a
 * variable renamed in place is looked up again. */
struct KeyEntry {
  bool used = false;
  char name[sizeof(VAR_data::name)] = {};
  const KeyDef* key = nullptr;
};

struct State {
  std::array<KeyEntry, 8> keys;
} state;

const KeyDef* key_of(const VAR_data& var) {
  const auto slot = reinterpret_cast<std::uintptr_t>(&var) / sizeof(VAR_data) % state.keys.size();
  KeyEntry& e = state.keys[slot];
  if (e.used && std::memcmp(e.name, var.name, sizeof e.name) == 0) return e.key;
  e.key = find_key(var.name);
  std::memcpy(e.name, var.name, sizeof e.name);
  e.used = true;
  return e.key;
}

float kelvin(float f) { return present(f) ? static_cast<float>(273.15 + 5.0 * (f - 32.0) / 9.0) : kMiss; }
float ms(float knots) { return present(knots) ? static_cast<float>(kKnotToMs * knots) : kMiss; }
float alt_hpa(float alt) { return present(alt) ? static_cast<float>(kInHgToHpa * alt) : kMiss; }

/* Station pressure from the altimeter setting and the elevation. */
float station_pres(const SFC_report& r) {
  const float a = alt_hpa(r.alt);
  return all_present(a, r.elev) ? sfc_pr_alt(a, r.elev) : kMiss;
}

/* The variable's unit, bounded by its field. */
std::string_view var_units(const VAR_data& var) { return {var.units, strnlen(var.units, sizeof var.units)}; }
/* As "%s" writes the unit into the field, cut to its room. */
void set_var_units(VAR_data& var, std::string_view units) {
  const std::size_t n = std::min(units.size(), sizeof var.units - 1);
  if (n > 0) std::memcpy(var.units, units.data(), n);
  var.units[n] = '\0';
}

void set_text(RAW_data& d, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void set_text(RAW_data& d, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(d.data, sizeof d.data, fmt, ap);
  va_end(ap);
}

/* A plain text as "%s" writes it, cut to the datum's room: the texts of
 * every station need no printf. */
void put_text(RAW_data& d, std::string_view text) {
  const std::size_t n = std::min(text.size(), sizeof d.data - 1);
  std::memcpy(d.data, text.data(), n);
  d.data[n] = '\0';
}

/* A text and a number as "<text>%.<decimals>f" writes them: every
 * station's visibility is written so. */
void fixed_text(RAW_data& d, std::string_view text, double v, int decimals) {
  char out[sizeof d.data];
  const std::size_t n = text.size() < sizeof out ? text.size() : 0;
  std::memcpy(out, text.data(), n);
  const std::size_t m = FMT_fixed(v, decimals, out + n, sizeof out - n);
  if (m == 0) {
    set_text(d, "%.*s%.*f", static_cast<int>(text.size()), text.data(), decimals, v);
    return;
  }
  put_text(d, std::string_view(out, n + m));
}

/* "%3.3d" of a code: three digits for 0 to 999 (printf for the rest). */
void code_text(RAW_data& d, int v) {
  if (v < 0 || v > 999) {
    set_text(d, "%3.3d", v);
    return;
  }
  const char digits[3] = {static_cast<char>('0' + v / 100), static_cast<char>('0' + v / 10 % 10),
                          static_cast<char>('0' + v % 10)};
  put_text(d, std::string_view(digits, sizeof digits));
}

/* The start hour of a time code. */
int start_hour(int time) { return time == KEZ_MISS ? 0 : (time / 1000) % 1000; }

float first_present(std::initializer_list<float> v) {
  for (float x : v)
    if (present(x)) return x;
  return kMiss;
}

/* Cloud amount in percent of an okta digit; missing for anything else. */
float okta_percent(char c) { return c >= '0' && c <= '8' ? 12.5f * (c - '0') : kMiss; }

struct Cloud {
  char cover = SFC_CLD_NONE;
  float height = kMiss;
};
Cloud lowest_cloud(const SFC_report& r) {
  Cloud c;
  WX_set_cloud(&r, &c.cover, &c.height);
  return c;
}
bool clear_sky(char c) { return c == SFC_CLD_CLEAR || c == '0'; }

/* Flight category; the single okta digits 4 to 8 count as a ceiling, as
 * the dominant-layer rule reads them as broken and overcast. */
int flight_category(const SFC_report& r) {
  const Cloud c = lowest_cloud(r);
  const bool ceiling = c.cover == SFC_CLD_BROKEN || c.cover == SFC_CLD_OVERCAST || (c.cover >= '4' && c.cover <= '8');
  const float ceil = ceiling ? c.height : kMiss;
  if (present(ceil) && ceil < 1000) return 2;
  if (present(r.vis) && r.vis < 3) return 2;
  if (present(ceil) && ceil <= 3000) return 1;
  if (present(r.vis) && r.vis <= 5) return 1;
  return 0;
}

/* The text of a pressure in tens of mb, as on station plots. */
void pressure_text(RAW_data& d, float v) {
  if (present(v)) code_text(d, static_cast<int>(0.1 + 10.0 * v) % 1000);
}

void weather_code(const SFC_report& r, RAW_data& d) {
  const std::string w(r.weather, strnlen(r.weather, sizeof r.weather));
  char code[WX_CODE_LEN + WX_METAR_CODE_LEN] = "";
  if (!w.empty() && std::isdigit(static_cast<unsigned char>(w[0]))) {
    WX_wmo_weather(std::atoi(w.c_str()), code);
    put_text(d, code);
  } else if (!w.empty() && w[0] == '!') {
    WX_metar_weather(w.c_str(), code);
    put_text(d, code);
  } else {
    put_text(d, w.c_str());
  }
  switch (d.data[0]) {
    case 'S': d.value[0] = 3; break;
    case 'Z': d.value[0] = 2; break;
    case 'R':
    case 'T': d.value[0] = 1; break;
    default: d.value[0] = 0;
  }
}

void cloud_char_text(RAW_data& d, char c) {
  if (c != ' ' && c != '\0') put_text(d, std::string_view(&c, 1));
}

/* The wind components, with the direction turned to the grid's when asked. */
float wind_component(const SFC_report& r, const RAW_data& d, bool u, bool grid) {
  if (!all_present(r.w_dir, r.w_spd)) return kMiss;
  float dir = r.w_dir;
  if (grid) dir = MAP_dir_adj(dir, d.x, d.y);
  const double a = dir * kDegToRad;
  const double s = ms(r.w_spd);
  return static_cast<float>(-s * (u ? std::sin(a) : std::cos(a)));
}

/* A derived quantity of the temperature, dew point and station pressure;
 * missing when an input it needs is. */
float thermo(const SFC_report& r, Key key) {
  const float t = kelvin(r.t), td = kelvin(r.td), p = station_pres(r), ws = ms(r.w_spd);
  auto of = [](float (*f)(float, float), float a, float b) { return all_present(a, b) ? f(a, b) : kMiss; };
  auto of3 = [](float (*f)(float, float, float), float a, float b, float c) {
    return all_present(a, b, c) ? f(a, b, c) : kMiss;
  };
  switch (key) {
    case Key::vpres: return present(td) ? vapor_pr(td) : kMiss;
    case Key::svpres: return present(t) ? vapor_pr(t) : kMiss;
    case Key::wchilt: return of(wind_chill_temp, t, ws);
    case Key::wchill2: return of(wind_chill_temp2, t, ws);
    case Key::wchilf: return of(wind_chill, t, ws);
    case Key::heat: return of(heat_index, t, td);
    case Key::humit: return of(humiture, t, td);
    case Key::mrat: return of(mix_ratio, td, p);
    case Key::smrat: return of(mix_ratio, t, p);
    case Key::shum: return of(spec_hum, td, p);
    case Key::rhum: return of(rel_hum, t, td);
    case Key::wetblb: return of3(wet_bulb, t, td, p);
    case Key::thetaw: return of3(wet_bulb_pot_temp, t, td, p);
    case Key::thetae: return of3(eq_pot_temp, t, td, p);
    case Key::thetav: return of3(virt_pot_temp, t, td, p);
    case Key::theta: return of(pot_temp, t, p);
    case Key::vtemp: return of3(virt_temp, t, td, p);
    default: return kMiss;
  }
}

/* Fills the datum for a known key; value_unit may be replaced (visibility
 * converts at once). */
void fill(const SFC_report& r, VAR_data& var, const KeyDef& k, RAW_data& d, std::string_view& value_unit) {
  float& v = d.value[0];
  float& v2 = d.value[1];
  switch (k.key) {
    case Key::city: put_text(d, std::string_view(r.id, strnlen(r.id, sizeof r.id))); break;
    case Key::temp: v = r.t; break;
    case Key::ttd:
      v = r.t;
      v2 = r.td;
      break;
    case Key::dewp: v = r.td; break;
    case Key::dewd: v = all_present(r.t, r.td) ? r.t - r.td : kMiss; break;
    case Key::wdir: v = r.w_dir; break;
    case Key::wspd: v = r.w_spd; break;
    case Key::wgst: v = r.w_gust; break;
    case Key::wind:
      v = r.w_dir;
      v2 = r.w_spd;
      break;
    case Key::hwind:
      v = r.w_dir;
      /* Only strong winds are drawn, but a missing wind must not look calm. */
      v2 = !present(r.w_spd) ? kMiss : r.w_spd >= 25 ? r.w_spd : 0.0f;
      break;
    case Key::uwnd: v = wind_component(r, d, true, false); break;
    case Key::uwndg: v = wind_component(r, d, true, true); break;
    case Key::vwnd: v = wind_component(r, d, false, false); break;
    case Key::vwndg: v = wind_component(r, d, false, true); break;
    case Key::alt:
      v = r.alt;
      /* Rounded as the files write it: 30.13 is stored as 30.1299... */
      if (present(v)) code_text(d, static_cast<int>(100.0 * v + 0.01) % 1000);
      break;
    case Key::pralt:
      v = present(r.pmb) ? r.pmb : alt_hpa(r.alt);
      pressure_text(d, v);
      break;
    case Key::pres:
      if (var.ltype == VAR_LEV_SFC) {
        v = station_pres(r);
      } else if (var.ltype == SFC_LEV_LCL) {
        const float t = kelvin(r.t), td = kelvin(r.td), p = station_pres(r);
        v = all_present(t, td, p) ? lcl_pres(t, td, p) : kMiss;
        v2 = all_present(t, p, v) ? lcl_temp(t, p, v) : kMiss;
      } else {
        v = r.pmb;
        pressure_text(d, v);
      }
      break;
    case Key::elev: v = r.elev; break;
    case Key::wx: weather_code(r, d); break;
    case Key::vis: {
      const std::string_view unit = var_units(var);
      v = r.vis;
      if (!unit.empty()) {
        v = UNIT_cvt(r.vis, k.unit, std::string(unit).c_str());
        value_unit = unit;
      }
      if (present(r.vis)) {
        if (r.vis >= 3)
          fixed_text(d, "", r.vis, 0);
        else if (r.vis >= 1)
          fixed_text(d, "", r.vis, 1);
        else
          fixed_text(d, ".", 10.0 * r.vis, 0);
      }
      break;
    }
    case Key::cldcl: {
      const Cloud c = lowest_cloud(r);
      if (clear_sky(c.cover)) {
        v = kClearCeiling;
      } else if (present(c.height)) {
        v = c.height / 100;
        set_text(d, "%.0f", v);
      }
      break;
    }
    case Key::cldclc: {
      const Cloud c = lowest_cloud(r);
      if (!clear_sky(c.cover) && present(c.height))
        v = static_cast<float>(SYN_ceiling_to_code(static_cast<int>(c.height)));
      break;
    }
    case Key::cldcv: {
      const Cloud c = lowest_cloud(r);
      cloud_char_text(d, c.cover);
      switch (c.cover) {
        case 'C': v = 0; break;
        case 'S': v = 33; break;
        case 'B': v = 67; break;
        case 'O':
        case 'X':
        case '9': v = 100; break;
        default: v = okta_percent(c.cover);
      }
      break;
    }
    case Key::ptend:
      v = r.ptend;
      if (r.ptend_t >= 0 && r.ptend_t <= 9) set_text(d, "%d", r.ptend_t);
      break;
    case Key::prec1: v = r.rain1; break;
    case Key::prec3: v = r.rain3; break;
    case Key::prec6: v = r.rain6; break;
    case Key::prec12: v = r.rain12; break;
    case Key::prec24: v = r.rain24; break;
    case Key::prec:
      switch (start_hour(var.time)) {
        case 3: v = r.rain3; break;
        case 6: v = r.rain6; break;
        case 12: v = r.rain12; break;
        case 24: v = r.rain24; break;
        default: v = first_present({r.rain24, r.rain12, r.rain6});
      }
      break;
    case Key::extt: v = first_present({r.max_t, r.min_t}); break;
    case Key::maxt6: v = r.max6_t; break;
    case Key::maxt24: v = r.max_t; break;
    case Key::maxt: {
      const int h = start_hour(var.time);
      v = h == 6 ? r.max6_t : h == 24 ? r.max_t : kMiss;
      break;
    }
    case Key::mint6: v = r.min6_t; break;
    case Key::mint24: v = r.min_t; break;
    case Key::mint: {
      const int h = start_hour(var.time);
      v = h == 6 ? r.min6_t : h == 24 ? r.min_t : kMiss;
      break;
    }
    case Key::snwdp: v = r.scover; break;
    case Key::nlcld:
      cloud_char_text(d, r.cld_low);
      v = okta_percent(r.cld_low);
      break;
    case Key::lcld: cloud_char_text(d, r.cld_type[0]); break;
    case Key::mcld: cloud_char_text(d, r.cld_type[1]); break;
    case Key::hcld: cloud_char_text(d, r.cld_type[2]); break;
    case Key::solar: v = r.solar; break;
    case Key::sst: v = r.sst; break;
    case Key::wavper: v = r.wav_per; break;
    case Key::wavhgt: v = r.wav_hgt; break;
    case Key::fr: {
      static constexpr const char* names[] = {"VFR", "MVFR", "IFR"};
      const int cat = flight_category(r);
      v = static_cast<float>(cat);
      put_text(d, names[cat]);
      break;
    }
    default: v = thermo(r, k.key);
  }
}

/* Keys whose speed rides as the second value: the direction is an angle and
 * the barb plotter reads the speed in knots, so a unit converts neither. */
bool is_wind(Key k) { return k == Key::wind || k == Key::hwind; }

/* The datum of a variable from a report that holds no absurd value. */
int get_data(const SFC_report& r, VAR_data* var, const KeyDef* k, RAW_data* data) {
  std::string_view value_unit;
  if (k != nullptr) {
    value_unit = k->unit;
    fill(r, *var, *k, *data, value_unit);
  }
  const std::string_view unit = var_units(*var);
  if (unit.empty()) {
    set_var_units(*var, value_unit);
  } else if (!value_unit.empty() && value_unit != unit && !(k && is_wind(k->key))) {
    const std::string from(value_unit), to(unit);
    data->value[0] = UNIT_cvt(data->value[0], from.c_str(), to.c_str());
    /* The dew point shares the temperature's unit. */
    if (k && k->key == Key::ttd) data->value[1] = UNIT_cvt(data->value[1], from.c_str(), to.c_str());
  }
  for (float& v : data->value)
    if (!std::isfinite(v)) v = kMiss;
  return k != nullptr ? 1 : 0;
}

} // namespace

int SFC_get_data(const SFC_report* report, VAR_data* var, RAW_data* data) {
  if (data == nullptr) return 0;
  RAW_data_init_val(data);
  if (report == nullptr || var == nullptr) return 0;
  const KeyDef* k = key_of(*var);
  /* Whatever the source, a value no instrument gives is missing, and a
   * text is never made of one. */
  if (k != nullptr && SFC_has_absurd(report)) {
    SFC_report checked = *report;
    SFC_drop_absurd(&checked);
    return get_data(checked, var, k, data);
  }
  return get_data(*report, var, k, data);
}

int SFC_get_data_clean(const SFC_report* report, VAR_data* var, RAW_data* data) {
  if (data == nullptr) return 0;
  RAW_data_init_val(data);
  if (report == nullptr || var == nullptr) return 0;
  return get_data(*report, var, key_of(*var), data);
}

int SFC_is_var(const char* name) { return find_key(name) != nullptr ? 1 : 0; }

int SFC_get_var(VAR_data* var) {
  if (var == nullptr) return 0;
  const KeyDef* k = find_key(var->name);
  if (k == nullptr || k->def == nullptr) return 0;
  if (var->units[0] == '\0') set_var_units(*var, k->def);
  return 1;
}
