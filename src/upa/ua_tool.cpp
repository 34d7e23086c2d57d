/*
 * ua_tool: the upper-air prompt layer and the report and level printers.
 *
 * A sounding program works on one upper-air file at a time: this module
 * keeps it current (handle, header, date label), lists its stations, finds
 * one by identifier or WMO number, asks for the station and for the level
 * (from the "identifier" and "level" resources, the batch default or the
 * level menu, which a "<program>.lev" file can replace), and prints reports
 * and single levels as the analysis tables want them. Texts from resources,
 * prompts and the menu file are held in strings and cut where a record
 * field demands it; the menu's storage is replaced whole at every read.
 */
#include "kezupa.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int lev_menu_rows = 40;
/* Rows a menu file may fill: row 0 stays and one row ends the menu. */
constexpr int lev_menu_file_rows = lev_menu_rows - 2;
constexpr size_t abbr_max = 8;
constexpr size_t name_max = 30;
constexpr int station_len = 10;
constexpr int station_attempts = 4;
constexpr int upa_input_kind = 20;
constexpr int status_no_station = 31;
constexpr float kt_to_ms = UPA_KT_TO_MS;
constexpr double deg = 3.14159265358979323846 / 180.0;

struct MenuRow {
  const char* name;
  const char* abbr;
  int value;
};

constexpr std::array<MenuRow, 22> builtin_levels{{
    {"Back to previous menu", "back", 0},
    {"Sea level", "sl", 2000},
    {"Surface", "sfc", 2000},
    {"1000 mb", "1000mb", 1000},
    {"925 mb", "925mb", 925},
    {"850 mb", "850mb", 850},
    {"700 mb", "700mb", 700},
    {"500 mb", "500mb", 500},
    {"400 mb", "400mb", 400},
    {"300 mb", "300mb", 300},
    {"250 mb", "250mb", 250},
    {"200 mb", "200mb", 200},
    {"150 mb", "150mb", 150},
    {"100 mb", "100mb", 100},
    {"70 mb", "70mb", 70},
    {"50 mb", "50mb", 50},
    {"30 mb", "30mb", 30},
    {"20 mb", "20mb", 20},
    {"10 mb", "10mb", 10},
    {"Tropopause", "trop", 1900},
    {"Max wind", "wind", 1800},
    {"Whole sounding", "snd", 1600},
}};

/* The level menu: the rows and the texts they point into. */
struct LevelMenu {
  std::vector<std::string> names, abbrs; /* storage of the rows read from a file */
  std::array<MENU_item, lev_menu_rows> items{};

  LevelMenu() {
    for (size_t i = 0; i < builtin_levels.size(); ++i)
      set(static_cast<int>(i), builtin_levels[i].name, builtin_levels[i].abbr, builtin_levels[i].value);
  }
  void set(int row, const char* name, const char* abbr, int value) {
    MENU_item& m = items[static_cast<size_t>(row)];
    m = MENU_item{};
    m.name = name;
    m.abbr = abbr;
    m.index = value;
    m.disp[0] = name ? 1 : 0;
  }
};

struct State {
  int cvt_fd = 0;
  UPA_info info{};
  Date file_date{};
  int stat_num = 0;
  int prompt = 1;
  int level_prompt = 1;
  LevelMenu lev_menu;
  int lev_menu_type = 0;
  int miss_dash = 0;
} state;

bool missing(float v) { return v == KEZ_FMISS || !std::isfinite(v); }

/* Prints at a message level; the text is formatted in full first. */
void out(M_type level, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void out(M_type level, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  char buf[512];
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  MESS_print(level, "%s", buf);
}

std::string field(const char* s, size_t max) { return std::string(s, strnlen(s, max)); }

bool same_nocase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

} // namespace

/* ---- the current file ------------------------------------------------------------------ */

int UPA_in_file() {
  FILE_set_name("upa_cvt");
  FLAG_set(FLAG_INPUT_KIND, upa_input_kind);
  int num = 0;
  char** items = nullptr;
  if (RES_getvals("in_file", &num, &items) <= 0 || !items) return 0;
  for (int i = 0; i < num; ++i) {
    const std::string item = items[i] ? items[i] : "";
    if (same_nocase(item, "upa")) {
      FLAG_set(FLAG_INPUT_KIND, upa_input_kind);
      FILE_set_name("upa_cvt");
    } else {
      FILE_set_name(item.c_str());
    }
  }
  free_parsed_array(num, items);
  return 0;
}

int UPA_open_file(const char* filename) {
  int type = 0;
  const int fd = filename ? UPA_open(filename, UPA_ACC_READ, &type) : -1;
  if (fd < 0) {
    MESS_print(M_warn, "UPA_open_file: Unable to open file:%s\n", filename ? filename : "");
    return 0;
  }
  state.cvt_fd = fd;
  state.stat_num = 0;
  UPA_getinfo(fd, &state.info);
  state.info.datim[sizeof state.info.datim - 1] = '\0';
  state.file_date = state.info.date;
  PLT_label_up_right(state.info.datim);
  MESS_print(M_mess, "Date: %s\n", state.info.datim);
  return 1;
}

int UPA_rewind_file() {
  UPA_rewind(state.cvt_fd);
  state.stat_num = 0;
  return 0;
}

int UPA_close_file() {
  UPA_close(state.cvt_fd);
  return 0;
}

const char* UPA_get_datim() { return state.info.datim; }

int UPA_set_datim(const char* str) {
  std::snprintf(state.info.datim, sizeof state.info.datim, "%s", str ? str : "");
  return 0;
}

int UPA_set_date(const Date* datim) {
  if (datim)
    state.file_date = *datim;
  else
    FILE_get_date(&state.file_date);
  return 0;
}

int UPA_get_date(Date* datim) {
  if (datim) *datim = state.file_date;
  return 0;
}

/* ---- stations --------------------------------------------------------------------------- */

int UPA_list_stations() {
  UPA_rewind_file();
  MESS_print(M_print, "Possible stations\n");
  auto r = std::make_unique<UPA_report>();
  UPA_initialize(r.get());
  for (int n = 0; UPA_read(state.cvt_fd, r.get(), UPA_REP_ID, &n) == 0; ++n) {
    MESS_print(M_print, "%4s ", field(r->id, UPA_ID_LEN).c_str());
    if ((n + 1) % 15 == 0) MESS_print(M_print, "\n");
  }
  MESS_print(M_print, "\n\n");
  return 0;
}

int UPA_read_station(UPA_report* report) {
  if (!report) return -1;
  const int n = state.stat_num;
  const int rc = UPA_read(state.cvt_fd, report, UPA_REP_FULL, &n);
  ++state.stat_num;
  return rc;
}

int UPA_get_station(const char* id, UPA_report* report) {
  if (!id || !report) return 0;
  const std::string text = id;
  const bool numeric = std::isdigit(static_cast<unsigned char>(text.empty() ? 'x' : text[0]));
  const int wmo = numeric ? std::atoi(text.c_str()) : KEZ_MISS;
  MESS_print(M_mess, "Searching for %s...\n", text.c_str());
  auto r = std::make_unique<UPA_report>();
  UPA_initialize(r.get());
  for (int n = 0; UPA_read(state.cvt_fd, r.get(), UPA_REP_ID, &n) == 0; ++n) {
    const bool by_id = same_nocase(field(r->id, UPA_ID_LEN), text);
    const bool by_wmo = numeric && r->wmo != KEZ_MISS && r->wmo == wmo;
    if (by_id || by_wmo) return UPA_read(state.cvt_fd, report, UPA_REP_FULL, &n) == 0 ? 1 : 0;
  }
  MESS_print(M_warn, "UPA_get_station: No such station:%s\n", text.c_str());
  return 0;
}

int UPA_set_prompt(int val) {
  state.prompt = val;
  return 0;
}

int UPA_prompt_station(UPA_report* report) {
  if (state.prompt == 0) return 0;
  const char* res = RES_get("identifier");
  if (res && !*res) res = nullptr;
  const std::string given = res ? field(res, station_len) : "";
  if (res && same_nocase(res, "list")) {
    UPA_list_stations();
    KEZ_exit(0);
  }
  if (!res) UPA_list_stations();
  UPA_rewind_file();
  int found = 0;
  for (int attempt = 0; attempt < station_attempts && !found; ++attempt) {
    std::string text = given;
    if (!res) {
      char answer[station_len + 1] = "";
      KEZ_prompts("Enter station to be used in the analysis: ", answer, station_len + 1);
      MESS_print(M_print, "\n");
      text = field(answer, station_len);
    }
    if (same_nocase(text, "exit")) KEZ_exit(0);
    std::vector<char> buf(text.begin(), text.end());
    buf.push_back('\0');
    if (text.size() == 3 || text.empty() || !std::islower(static_cast<unsigned char>(text[0]))) up_string(buf.data());
    found = UPA_get_station(buf.data(), report);
    if (res) break;
  }
  state.prompt = 0;
  if (!found) {
    MESS_print(M_error, "Unable to find a station\n");
    KEZ_exit(status_no_station);
  }
  return 1;
}

/* ---- levels ----------------------------------------------------------------------------- */

int UPA_set_prompt_level(int val) {
  state.level_prompt = val;
  return 0;
}

namespace {

/* A row's display condition: alternatives split by ",", items by "&". */
bool condition_holds(const std::string& cond) {
  if (cond.empty()) return false;
  if (cond[0] == '1') return true;
  if (cond[0] == '0') return false;
  const std::string model = VAR_get_model_str() ? VAR_get_model_str() : "";
  const std::string time = VAR_get_time_str() ? VAR_get_time_str() : "";
  size_t from = 0;
  for (;;) {
    const size_t comma = cond.find(',', from);
    const std::string alt = cond.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
    bool all = !alt.empty();
    size_t at = 0;
    while (all) {
      const size_t amp = alt.find('&', at);
      const std::string item = alt.substr(at, amp == std::string::npos ? std::string::npos : amp - at);
      if (item.rfind("mo=", 0) == 0)
        all = VAR_menu_display(item.c_str() + 3, model.c_str()) == 1;
      else if (item.rfind("ft=", 0) == 0)
        all = VAR_menu_display(item.c_str() + 3, time.c_str()) == 1;
      else
        all = false;
      if (amp == std::string::npos) break;
      at = amp + 1;
    }
    if (all) return true;
    if (comma == std::string::npos) return false;
    from = comma + 1;
  }
}

std::string menu_file_name() {
  char prog[FILE_PATH_LEN] = "";
  RES_get_progname(prog);
  const std::string name = std::string(prog) + ".lev";
  const char* path = RES_get("file_path");
  return path && *path ? FILE_add_path(path, name.c_str()) : name;
}

} // namespace

int UPA_read_level_menu() {
  FILE* fp = FILE_open(menu_file_name().c_str(), "r");
  if (!fp) return 0;
  LevelMenu& menu = state.lev_menu;
  /* The rows' texts are replaced whole: the new storage is filled first and
   * the rows point into it, the old storage goes with the assignment. */
  std::vector<std::string> names, abbrs;
  names.reserve(lev_menu_file_rows);
  abbrs.reserve(lev_menu_file_rows);
  std::string line;
  while (static_cast<int>(names.size()) < lev_menu_file_rows && fget_text_line(fp, &line)) {
    std::vector<std::string> words;
    size_t at = 0;
    while (words.size() < 3) {
      const size_t b = line.find_first_not_of(" \t", at);
      if (b == std::string::npos) break;
      const size_t e = line.find_first_of(" \t", b);
      words.push_back(line.substr(b, e == std::string::npos ? std::string::npos : e - b));
      at = e == std::string::npos ? line.size() : e;
    }
    if (words.size() < 3 || !condition_holds(words[2])) continue;
    std::string name = words[1].substr(0, name_max);
    std::replace(name.begin(), name.end(), '_', ' ');
    while (!name.empty() && name.back() == ' ') name.pop_back();
    names.push_back(name);
    abbrs.push_back(words[0].substr(0, abbr_max));
  }
  FILE_close(fp);
  menu.names = std::move(names);
  menu.abbrs = std::move(abbrs);
  for (int row = 1; row < lev_menu_rows; ++row) menu.set(row, nullptr, nullptr, 0);
  for (size_t i = 0; i < menu.names.size(); ++i)
    menu.set(static_cast<int>(i) + 1, menu.names[i].c_str(), menu.abbrs[i].c_str(), 1);
  return 1;
}

int UPA_prompt_level() {
  UPA_read_level_menu();
  if (state.level_prompt == 0) return 0;
  char text[MENU_STRING_LEN] = "";
  const char* res = RES_get("level");
  if (res && !*res) res = nullptr;
  if (res) {
    std::snprintf(text, sizeof text, "%s", res);
    state.level_prompt = 0;
  } else if (FLAG_get(FLAG_BATCH) > 0) {
    std::snprintf(text, sizeof text, "500");
    state.level_prompt = 0;
  } else {
    /* A text that names no level is said so and asked again: taken as it
     * stands it would set type 0, the surface-to-500 hPa layer. */
    for (;;) {
      const int value = MENU_process("\n        Vertical Level Menu\n", state.lev_menu.items.data(),
                                     state.lev_menu_type, "Enter the level: ", text, 3);
      if (value == 0) return 0;
      if (value < 0 && value != KEZ_MISS) KEZ_exit(0);
      int ltype = 0, level = 0;
      if (VAR_dec_level(text, &ltype, &level) > 0) break;
    }
  }
  int ltype = 0, level = 0;
  if (VAR_dec_level(text, &ltype, &level) <= 0) return 0;
  FLAG_set(FLAG_LEVEL_VALUE, level);
  FLAG_set(FLAG_LEVEL_TYPE, ltype);
  VAR_set_level_str(text);
  return 1;
}

/* ---- report printers -------------------------------------------------------------------- */

namespace {

void station_line(M_type mess, const UPA_report& r) {
  out(mess, "STA: %5s WMO: %05ld LAT: %7.2f LON: %7.2f\n", field(r.id, UPA_ID_LEN).c_str(), static_cast<long>(r.wmo),
      r.lat, r.lon);
}

void man_block(M_type mess, const UPA_report& r) {
  out(mess, "     Press    Height   Temp    Dewpt     Dir    Spd\n");
  for (int i = 0; i < UPA_NUM_MAN; ++i) {
    const UPA_level& m = r.man[i];
    if (missing(m.p)) continue;
    const char* label = i == UPA_SLOT_SFC    ? "SFC  "
                        : i == UPA_SLOT_TROP ? "TROP "
                        : i == UPA_SLOT_MAXW ? "MWND "
                                             : "     ";
    out(mess, "%s%6.1f  %7.0f  %7.1f %7.1f  %6.0f %6.0f\n", label, m.p, m.h, m.t, m.td, m.dir, m.spd);
  }
}

/* Two columns read downwards; a negative count has no rows. */
template <typename Row>
void two_columns(int n, int max, Row row) {
  n = std::clamp(n, 0, max);
  const int k = (n + 1) / 2;
  for (int j = 0; j < n / 2; ++j) {
    row(j, false);
    row(j + k, true);
  }
  if (n % 2) row(k - 1, true);
}

void sig_block(M_type mess, const UPA_report& r) {
  out(mess, "Press    Temp    Dewpt     Press    Temp    Dewpt\n");
  two_columns(r.numsig, UPA_NUM_SIG, [&](int i, bool last) {
    const UPA_sig& s = r.sig[i];
    out(mess, last ? "%6.1f  %7.1f %7.1f\n" : "%6.1f  %7.1f %7.1f    ", s.p, s.t, s.td);
  });
}

void wnd_block(M_type mess, const UPA_report& r) {
  out(mess, "Height    Dir    Spd     Height    Dir    Spd\n");
  two_columns(r.numwnd, UPA_NUM_WND, [&](int i, bool last) {
    const UPA_wnd& w = r.wnd[i];
    out(mess, last ? "%6.0f  %6.0f %6.0f\n" : "%6.0f  %6.0f %6.0f    ", w.h, w.dir, w.spd);
  });
}

} // namespace

int UPA_print_locate(M_type mess, const UPA_report* report) {
  if (!report) return 0;
  out(mess, "Date:%s\n", state.info.datim);
  out(mess, "Station: %s\n", field(report->id, UPA_ID_LEN).c_str());
  if (report->wmo != KEZ_MISS) out(mess, "WMO ident: %6ld\n", static_cast<long>(report->wmo));
  if (!missing(report->lat)) out(mess, "Latitude:  %6.2f\n", report->lat);
  if (!missing(report->lon)) out(mess, "Longitude: %6.2f\n", report->lon);
  if (!missing(report->elev)) out(mess, "Elevation: %6.2f\n", report->elev);
  return 0;
}

int UPA_print_report(M_type mess, const UPA_report* report) {
  if (!report) return 0;
  man_block(mess, *report);
  sig_block(mess, *report);
  wnd_block(mess, *report);
  out(mess, "\n");
  return 0;
}

int UPA_print_man(M_type mess, const UPA_report* report) {
  if (!report) return 0;
  station_line(mess, *report);
  man_block(mess, *report);
  return 0;
}

int UPA_print_sig(M_type mess, const UPA_report* report) {
  if (!report) return 0;
  station_line(mess, *report);
  sig_block(mess, *report);
  return 0;
}

int UPA_print_wnd(M_type mess, const UPA_report* report) {
  if (!report) return 0;
  station_line(mess, *report);
  wnd_block(mess, *report);
  out(mess, "\n");
  return 0;
}

int UPA_set_miss_dash() {
  state.miss_dash = 1;
  return 0;
}

/* ---- level and wind rows ---------------------------------------------------------------- */

namespace {

/* One field of a row: the value in its format, or the missing text of the
 * field's width: blanks, or with dash a "-" at the field's end. */
void cell(M_type mess, float v, const char* fmt, int width, bool trailing_blank, bool dash) {
  if (!missing(v)) {
    out(mess, fmt, v);
    return;
  }
  std::string t(static_cast<size_t>(width), ' ');
  if (dash) t[static_cast<size_t>(width - 1 - (trailing_blank ? 1 : 0))] = '-';
  out(mess, "%s", t.c_str());
}

float kelvin(float c) { return missing(c) ? KEZ_FMISS : c + 273.15f; }

float derived(float v) { return v == KEZ_FMISS || !std::isfinite(v) ? KEZ_FMISS : v; }

const char* level_label(int ind, float p) {
  static constexpr std::array<const char*, 10> labels{"SFC ", "TRP ", "WND ", "PAR ", "LCL ",
                                                      "LFC ", " EL ", "MPL ", "WBZ ", "FRZ "};
  if (ind == -1) return !missing(p) && p > 500 ? labels[0] : nullptr;
  if (ind <= -2 && ind >= -10) return labels[static_cast<size_t>(-ind - 1)];
  return nullptr;
}

struct Vec {
  float u, v;
  bool known;
};

Vec components(float dir, float spd) {
  if (missing(dir) || missing(spd)) return {0, 0, false};
  return {static_cast<float>(-spd * std::sin(dir * deg)), static_cast<float>(-spd * std::cos(dir * deg)), true};
}

} // namespace

int UPA_print_level(M_type mess1, M_type mess2, int ind, const UPA_level* level) {
  if (!level) {
    const std::string d39(39, '-'), d40(40, '-');
    out(mess1, "%s", d39.c_str());
    out(mess2, "%s", d40.c_str());
    out(mess1, "\n");
    out(mess1, "LEV PRES  HGHT  TEMP  DEWP  RH ");
    out(mess2, " DD   WETB ");
    out(mess1, "DIR SPD");
    out(mess2, " THETA THE-V THE-W THE-E   W");
    out(mess1, "\n");
    out(mess1, "     mb     m     C     C    %% ");
    out(mess2, "  C     C  ");
    out(mess1, "deg knt");
    out(mess2, "   K     K     K     K    g/kg");
    out(mess1, "\n");
    out(mess1, "%s", d39.c_str());
    out(mess2, "%s", d40.c_str());
    out(mess1, "\n");
    return 0;
  }
  const UPA_level& l = *level;
  const bool dash = state.miss_dash != 0;
  if (const char* label = level_label(ind, l.p))
    out(mess1, "%s", label);
  else
    out(mess1, "%3d ", ind);
  cell(mess1, l.p, !missing(l.p) && l.p < 10 ? "%4.1f " : "%4.0f ", 5, true, dash);
  cell(mess1, l.h, "%5.0f ", 6, true, dash);
  cell(mess1, l.t, "%5.1f ", 6, true, dash);
  cell(mess1, l.td, "%5.1f ", 6, true, dash);
  const float tk = kelvin(l.t), tdk = kelvin(l.td);
  const bool moist = !missing(tk) && !missing(tdk);
  const bool with_p = !missing(l.p) && l.p > 0;
  cell(mess1, moist ? derived(rel_hum(tk, tdk)) : KEZ_FMISS, "%3.0f ", 4, true, dash);
  cell(mess2, moist ? l.t - l.td : KEZ_FMISS, "%4.1f ", 5, true, dash);
  const float wb = moist && with_p ? derived(wet_bulb(tk, tdk, l.p)) : KEZ_FMISS;
  cell(mess2, missing(wb) || wb == 0 ? KEZ_FMISS : wb - 273.15f, "%5.1f ", 6, true, dash);
  cell(mess1, l.dir, "%3.0f ", 4, true, dash);
  cell(mess1, l.spd, "%3.0f ", 4, true, dash);
  cell(mess2, !missing(tk) && with_p ? derived(pot_temp(tk, l.p)) : KEZ_FMISS, "%5.1f ", 6, true, dash);
  cell(mess2, moist && with_p ? derived(virt_pot_temp(tk, tdk, l.p)) : KEZ_FMISS, "%5.1f ", 6, true, dash);
  cell(mess2, moist && with_p ? derived(wet_bulb_pot_temp(tk, tdk, l.p)) : KEZ_FMISS, "%5.1f ", 6, true, dash);
  cell(mess2, moist && with_p ? derived(eq_pot_temp(tk, tdk, l.p)) : KEZ_FMISS, "%5.1f ", 6, true, dash);
  cell(mess2, !missing(tdk) && with_p ? derived(mix_ratio(tdk, l.p)) : KEZ_FMISS, "%5.2f", 5, false, dash);
  out(mess1, "\n");
  return 0;
}

int UPA_print_wind(M_type mess1, M_type mess2, int ind, const UPA_level* level, const WIND* storm) {
  const bool storm_known = storm && !missing(storm->dir);
  if (!level) {
    out(mess1, "\nWind level data\n");
    if (storm_known) out(mess2, "   Storm motion: %3.0f at %3.0f knt\n", storm->dir, storm->spd);
    const std::string d36(36, '-'), d22 = std::string(22, '-') + "\n";
    const std::array<std::pair<std::string, std::string>, 5> lines{{
        {d36, d22},
        {"                   TRUE/GROUND REL   ", "|     STORM REL\n"},
        {" LEV   P    H    DIR SPD   U     V   ", "| DIR SPD   U     V\n"},
        {"       mb   m        knt     m/s     ", "|     knt     m/s\n"},
        {d36, d22},
    }};
    for (const auto& [first, second] : lines) {
      out(mess1, "%s", first.c_str());
      if (storm_known)
        out(mess2, "%s", second.c_str());
      else
        out(mess1, "\n");
    }
    return 0;
  }
  const UPA_level& l = *level;
  out(mess1, "%3d  ", ind);
  const bool dash = false; /* the wind rows show blanks for missing values */
  cell(mess1, l.p, "%4.0f ", 5, true, dash);
  cell(mess1, l.h, "%5.0f  ", 7, true, dash);
  cell(mess1, l.dir, "%3.0f ", 4, true, dash);
  cell(mess1, l.spd, "%3.0f ", 4, true, dash);
  const Vec w = components(l.dir, l.spd);
  cell(mess1, w.known ? w.u * kt_to_ms : KEZ_FMISS, "%5.1f ", 6, true, dash);
  cell(mess1, w.known ? w.v * kt_to_ms : KEZ_FMISS, "%5.1f", 5, false, dash);
  const Vec s = storm_known ? components(storm->dir, storm->spd) : Vec{0, 0, false};
  if (w.known && s.known) {
    const float du = w.u - s.u, dv = w.v - s.v;
    const float spd = std::hypot(du, dv);
    float dir = static_cast<float>(std::atan2(-du, -dv) / deg);
    if (dir < 0) dir += 360;
    if (spd == 0) dir = 0;
    out(mess2, " | %3.0f ", dir);
    out(mess2, "%3.0f ", spd);
    out(mess2, "%5.1f ", du * kt_to_ms);
    out(mess2, "%5.1f ", dv * kt_to_ms);
    out(mess2, "\n");
  } else {
    out(mess1, "\n");
  }
  return 0;
}
