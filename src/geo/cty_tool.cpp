/*
 * cty_tool: the station table of a plot and the station filter language.
 *
 * CTY_store loads the stations of the database that lie inside a domain,
 * pass the priority limit and pass the filter of resource "identifier" into
 * one keyed table: full records (kind 1) or plot positions (kinds 2 and 3),
 * found by identifier, by WMO key and, for kind 3, by a location key of
 * tenth-degree cells. Each station may carry a block of plotter data that
 * the table owns. A new table replaces the old one, blocks and all.
 *
 * The filter language: a list of items, a station passing when any item
 * matches it; an item is terms joined by ":", all of which must match
 * ("ST=CO", "CN=US:P<3", "RA<39.75:-104.87:100"), or a bare WMO number,
 * identifier or beginning of a name.
 */
#include "kezcty.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace {

/* What the table holds per station: the record or position, then the
 * station's user-data block (null when none). Position entries also keep
 * the earth position for the nearest-station search. */
struct FullEntry {
  CTY_data city;
  void* block;
};

struct PosEntry {
  CTY_locate loc;
  void* block;
  float lat;
  float lon;
};

struct {
  TAB_table table{};
  int store = 0; /* table kind of the last CTY_store; 0 none */
  int id_type = CTY_ID_IDENT;
  int data_size = 0; /* bytes of each user-data block; 0 none */
  CTY_enter_fn enter_func = nullptr;
} state;

constexpr int default_prior = 10;
constexpr double earth_rad_km = 6371.22; /* the map projections' sphere */
constexpr double rad_per_deg = 0.017453292519943334;

/* ---- keys -------------------------------------------------------------- */

/* An integer right-aligned in width characters as "%<width>d" writes it,
 * or as "%0<width>d" when zero_fill, at `at`; the end of what was
 * written (width + 11 characters of room at most). Keys are made for
 * every station stored, so not through printf. */
char* put_padded(char* at, int v, int width, bool zero_fill) {
  char digits[16];
  const auto r = std::to_chars(digits, digits + sizeof digits, v);
  std::string_view d(digits, static_cast<size_t>(r.ptr - digits));
  const int pad = width - static_cast<int>(d.size());
  if (pad > 0 && zero_fill && v < 0) {
    *at++ = '-';
    d.remove_prefix(1);
  }
  if (pad > 0) {
    std::memset(at, zero_fill ? '0' : ' ', static_cast<size_t>(pad));
    at += pad;
  }
  std::memcpy(at, d.data(), d.size());
  return at + d.size();
}

/* A key text: room for the longest, "b" and a sign and ten digits, or two
 * padded numbers. */
struct Key {
  char text[32];
};

Key wmo_key(int wmo, const char* region) {
  Key key;
  char* at = key.text;
  if (std::strcmp(region, "B_") == 0) *at++ = 'b';
  *put_padded(at, wmo, 5, true) = '\0';
  return key;
}

/* A station without a WMO number is not filed under the WMO key: "99999"
 * would find whichever such station came first, and every such station
 * would share one ever longer chain. */
bool has_wmo(int wmo) { return wmo != CTY_NO_WMO && wmo != KEZ_MISS; }

/* Cells are tenth degrees, longitudes taken into [-180, 180). */
int lat_cell(float lat) { return static_cast<int>(std::nearbyint(static_cast<double>(lat * 10.0f))); }

int lon_cell(float lon) {
  double l = static_cast<double>(lon);
  l = std::fmod(l + 180.0, 360.0);
  if (l < 0.0) l += 360.0;
  int cell = static_cast<int>(std::nearbyint(l * 10.0)) - 1800;
  return cell >= 1800 ? cell - 3600 : cell;
}

Key cell_key(int lat10, int lon10) {
  Key key;
  *put_padded(put_padded(key.text, lat10, 5, false), lon10, 6, false) = '\0';
  return key;
}

bool unnamed(const char* id) { return id[0] && id[1] == '-'; }

void copy_text(char* out, int size, std::string_view text) {
  size_t n = std::min(text.size(), static_cast<size_t>(size - 1));
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

/* The name of a position entry by the identifier kind, into out (size
 * bytes); wkey is the station's WMO key. */
void locate_id(const CTY_data& city, const Key& wkey, char* out, int size) {
  const char* id = city.id;
  char coded[WMO_ID_LEN];
  switch (state.id_type) {
    case CTY_ID_WMO:
      if (city.wmo != CTY_NO_WMO) id = wkey.text;
      break;
    case CTY_ID_COD_WMO:
      if (!unnamed(city.id)) break;
      if (std::strcmp(city.region, "B_") == 0) {
        id = wkey.text;
      } else {
        wmo_to_id(coded, city.wmo);
        id = coded;
      }
      break;
    default:
      if (unnamed(city.id)) id = wkey.text;
  }
  copy_text(out, size, id);
}

bool is_position_kind(int kind) { return kind == CTY_TABLE_POS || kind == CTY_TABLE_POS_LOC; }

/* The block pointer of a table record, wherever its kind keeps it. */
void** block_of(char* record) {
  if (state.store == CTY_TABLE_FULL) return &reinterpret_cast<FullEntry*>(record)->block;
  if (is_position_kind(state.store)) return &reinterpret_cast<PosEntry*>(record)->block;
  return nullptr;
}

void free_table() {
  if (state.table.tab_size > 0) {
    TAB_first(&state.table);
    while (char* record = TAB_next(&state.table)) {
      void** block = block_of(record);
      if (block) {
        std::free(*block);
        *block = nullptr;
      }
    }
  }
  TAB_clear(&state.table);
  state.store = 0;
}

/* A new block for a station, filled by the plotter's function. */
void* new_block(const CTY_data& city) {
  if (state.data_size <= 0) return nullptr;
  void* block = std::calloc(1, static_cast<size_t>(state.data_size));
  if (!block) {
    MESS_print(M_error, "CTY_store: Unable to allocate station data\n");
    return nullptr;
  }
  if (state.enter_func) state.enter_func(&city, block);
  return block;
}

/* ---- the filter language ----------------------------------------------- */

enum class Term { name, state_eq, state_sep, country_eq, country_sep, id_eq, range, prior, lat, lon, elev, wmo };

/* A keyword and the comparison it makes ('=', '<', '>', or 0 for the
 * separated forms that take the next term). */
struct Keyword {
  const char* text;
  Term term;
  char op;
};

constexpr Keyword keywords[] = {
    {"Name=", Term::name, '='},     {"ST=", Term::state_eq, '='}, {"ST", Term::state_sep, 0},
    {"CN=", Term::country_eq, '='}, {"CN", Term::country_sep, 0}, {"ID=", Term::id_eq, '='},
    {"RA<", Term::range, '<'},      {"P=", Term::prior, '='},     {"P<", Term::prior, '<'},
    {"P>", Term::prior, '>'},       {"Lat=", Term::lat, '='},     {"Lat<", Term::lat, '<'},
    {"Lat>", Term::lat, '>'},       {"Lon=", Term::lon, '='},     {"Lon<", Term::lon, '<'},
    {"Lon>", Term::lon, '>'},       {"Elev=", Term::elev, '='},   {"Elev<", Term::elev, '<'},
    {"Elev>", Term::elev, '>'},     {"WMO=", Term::wmo, '='},     {"WMO<", Term::wmo, '<'},
    {"WMO>", Term::wmo, '>'},
};

bool starts_nocase(std::string_view text, std::string_view head) {
  if (text.size() < head.size()) return false;
  for (size_t i = 0; i < head.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(head[i])))
      return false;
  return true;
}

bool equal_nocase(std::string_view a, std::string_view b) { return a.size() == b.size() && starts_nocase(a, b); }

/* The keyword a term begins with; the separated forms ("ST", "CN") only as
 * the whole term. */
const Keyword* keyword_of(std::string_view term) {
  for (const Keyword& k : keywords) {
    bool separated = k.op == 0;
    if (separated ? equal_nocase(term, k.text) : starts_nocase(term, k.text)) return &k;
  }
  return nullptr;
}

bool number_of(std::string_view text, double* value) {
  std::string s(text);
  char* end = nullptr;
  errno = 0;
  double v = std::strtod(s.c_str(), &end);
  if (end == s.c_str() || errno == ERANGE || !std::isfinite(v)) return false;
  *value = v;
  return true;
}

bool compare(double value, char op, double limit) {
  switch (op) {
    case '=': return static_cast<float>(value) == static_cast<float>(limit);
    case '<': return value <= limit;
    default: return value >= limit;
  }
}

std::string state_country(const CTY_data& city) {
  char text[16];
  std::snprintf(text, sizeof text, "%2s_%2s", city.state, city.region);
  return text;
}

/* Great-circle distance (km) on the formula library's sphere. Geography
 * lies below the formula library, so the range test keeps its own haversine
 * (short distances keep their precision with it). */
double distance_km(double lat1, double lon1, double lat2, double lon2) {
  constexpr double earth_radius_km = 6371.3;
  constexpr double rad = 3.14159265358979323846 / 180.0;
  const double sdlat = std::sin(0.5 * (lat2 - lat1) * rad);
  const double sdlon = std::sin(0.5 * (lon2 - lon1) * rad);
  double h = sdlat * sdlat + std::cos(lat1 * rad) * std::cos(lat2 * rad) * sdlon * sdlon;
  h = std::fmin(1.0, std::fmax(0.0, h));
  return 2.0 * earth_radius_km * std::asin(std::sqrt(h));
}

/* Whether all terms of an item match the record. */
bool terms_match(const std::vector<std::string_view>& terms, const CTY_data& city) {
  if (terms.empty()) return false;
  for (size_t i = 0; i < terms.size(); ++i) {
    const Keyword* k = keyword_of(terms[i]);
    if (!k) return false;
    std::string_view arg = terms[i].substr(std::strlen(k->text));
    double v = 0.0;
    bool ok = false;
    switch (k->term) {
      case Term::name: ok = starts_nocase(city.name, arg); break;
      case Term::state_eq:
        if (terms[i].size() == 5)
          ok = equal_nocase(arg, city.state);
        else if (terms[i].size() == 8)
          ok = equal_nocase(arg, state_country(city));
        break;
      case Term::state_sep:
        if (++i >= terms.size()) return false;
        if (terms[i].size() == 2)
          ok = equal_nocase(terms[i], city.state);
        else if (terms[i].size() == 5)
          ok = equal_nocase(terms[i], state_country(city));
        break;
      case Term::country_eq: ok = equal_nocase(arg, city.region); break;
      case Term::country_sep:
        if (++i >= terms.size()) return false;
        ok = equal_nocase(terms[i], city.region);
        break;
      case Term::id_eq: ok = equal_nocase(arg, city.id); break;
      case Term::range: {
        double lat = 0.0, lon = 0.0, range = 0.0;
        if (i + 2 >= terms.size()) return false;
        bool read = number_of(arg, &lat) && number_of(terms[i + 1], &lon) && number_of(terms[i + 2], &range);
        i += 2;
        if (!read || city.lat == KEZ_FMISS || city.lon == KEZ_FMISS) return false;
        ok = distance_km(lat, lon, city.lat, city.lon) <= range;
        break;
      }
      case Term::prior: ok = number_of(arg, &v) && compare(city.prior, k->op, v); break;
      case Term::lat: ok = number_of(arg, &v) && city.lat != KEZ_FMISS && compare(city.lat, k->op, v); break;
      case Term::lon: ok = number_of(arg, &v) && city.lon != KEZ_FMISS && compare(city.lon, k->op, v); break;
      case Term::elev: ok = number_of(arg, &v) && city.el != KEZ_FMISS && compare(city.el, k->op, v); break;
      case Term::wmo:
        if (city.wmo == KEZ_MISS || city.wmo == CTY_NO_WMO) return false;
        if (k->op == '=') {
          char text[24];
          std::snprintf(text, sizeof text, "%5.5d", city.wmo);
          ok = arg == text;
        } else {
          ok = number_of(arg, &v) && compare(city.wmo, k->op, v);
        }
        break;
    }
    if (!ok) return false;
  }
  return true;
}

std::vector<std::string_view> split_terms(std::string_view item) {
  std::vector<std::string_view> terms;
  size_t start = 0;
  for (;;) {
    size_t colon = item.find(':', start);
    terms.push_back(item.substr(start, colon == std::string_view::npos ? colon : colon - start));
    if (colon == std::string_view::npos) break;
    start = colon + 1;
  }
  return terms;
}

bool item_matches(std::string_view item, const CTY_data& city) {
  if (terms_match(split_terms(item), city)) return true;
  if (item.size() == 5 && city.wmo != KEZ_MISS) {
    char text[24];
    std::snprintf(text, sizeof text, "%5.5d", city.wmo);
    if (item == text) return true;
  }
  if (equal_nocase(item, city.id)) return true;
  return item.size() > 4 && starts_nocase(city.name, item);
}

/* An item that the bare-identifier test must let pass: it filters by
 * something an identifier alone cannot show. */
bool is_filter_item(const char* item) {
  for (const Keyword& k : keywords) {
    std::string head = k.text;
    if (k.op == 0) head += ':';
    if (starts_nocase(item, head)) return true;
  }
  return false;
}

/* The filter list of resource "identifier"; "all" is no filter. */
struct Filter {
  int argc = 0;
  char** argv = nullptr;
  Filter() {
    const char* text = RES_get("identifier");
    if (text && *text) parse_string(text, ',', &argc, &argv);
    if (argc == 1 && stricmp(argv[0], "all") == 0) {
      free_parsed_array(argc, argv);
      argc = 0;
      argv = nullptr;
    }
  }
  ~Filter() {
    if (argv) free_parsed_array(argc, argv);
  }
  Filter(const Filter&) = delete;
  Filter& operator=(const Filter&) = delete;
};

/* ---- the nearest station ------------------------------------------------- */

constexpr int max_per_cell = 32;

/* The stations of one cell (at most max_per_cell of them); their number. */
int probe(int lat10, int lon10, char** found) {
  if (lat10 < -900 || lat10 > 900) return 0;
  if (lon10 >= 1800) lon10 -= 3600;
  if (lon10 < -1800) lon10 += 3600;
  return TAB_searches(&state.table, 3, cell_key(lat10, lon10).text, found, max_per_cell);
}

/* No station in ring r (cells r tenths of a degree away in latitude or
 * longitude) lies nearer than this to (lat, lon). */
double ring_bound_km(double lat, int r) {
  if (r <= 1) return 0.0;
  double step = (r - 1) * 0.1 * rad_per_deg;
  double along_lat = earth_rad_km * step;
  double top = std::min(90.0, std::fabs(lat) + (r + 1) * 0.1) * rad_per_deg;
  double along_lon = 2.0 * earth_rad_km * std::asin(std::min(1.0, std::cos(top) * std::sin(0.5 * step)));
  return std::min(along_lat, along_lon);
}

} // namespace

int CTY_data_size(int size) {
  state.data_size = size > 0 ? size : 0;
  return 0;
}

int CTY_enter_func(CTY_enter_fn func) {
  state.enter_func = func;
  return 0;
}

int CTY_set_id_type(int type) {
  state.id_type = type;
  return 0;
}

int CTY_get_prior() {
  const char* text = RES_get("stat_prior");
  if (!text || !*text) return default_prior;
  char* end = nullptr;
  long v = std::strtol(text, &end, 10);
  if (end == text || v > 1000 || v < -1000) return default_prior;
  return static_cast<int>(v);
}

int CTY_store(const char* city_file, int type, const Domain* domain, int prior) {
  free_table();
  if (type != CTY_TABLE_FULL && !is_position_kind(type)) {
    MESS_print(M_warn, "CTY_store: Invalid table kind: %d\n", type);
    return 0;
  }
  int buckets = 0;
  int fd = CTY_open_file(city_file, &buckets);
  if (fd < 0) return 0;
  if (domain) MAP_domain(domain);
  MESS_print(M_mess, "Reading the city database file...\n");
  Filter filter;
  if (prior == KEZ_MISS) prior = CTY_get_prior();
  CTY_rewind(fd);
  int nkey = type == CTY_TABLE_POS_LOC ? 3 : 2;
  int size = type == CTY_TABLE_FULL ? sizeof(FullEntry) : sizeof(PosEntry);
  if (TAB_create(&state.table, std::max(1, buckets), size, nkey) != 0) return fd;
  state.store = type;

  CTY_data city;
  int count;
  while ((count = CTY_read(fd, &city)) > 0) {
    if (count < 7) {
      MESS_print(M_debug, "CTY_store: Station line without a position skipped: %s\n", city.name);
      continue;
    }
    if (city.prior > prior) continue;
    if (CTY_data_cmp(filter.argc, filter.argv, &city) < 0) continue;
    float x = KEZ_FMISS, y = KEZ_FMISS;
    if (!MAP_tran(city.lat, city.lon, &x, &y) || !MAP_in_grid_domain(x, y)) continue;
    const Key wkey = wmo_key(city.wmo, city.region);
    const char* wmo_text = has_wmo(city.wmo) ? wkey.text : nullptr;
    int entered;
    if (type == CTY_TABLE_FULL) {
      FullEntry e{city, new_block(city)};
      entered = TAB_enter(&state.table, reinterpret_cast<const char*>(&e), city.id, wmo_text);
      if (entered != 0) std::free(e.block);
    } else {
      PosEntry e{};
      locate_id(city, wkey, e.loc.id, CTY_LOC_ID_LEN);
      e.loc.wmo = city.wmo;
      e.loc.x = x;
      e.loc.y = y;
      e.loc.el = city.el;
      e.loc.pr = city.prior;
      e.lat = city.lat;
      e.lon = city.lon;
      e.block = new_block(city);
      const Key lkey = cell_key(lat_cell(city.lat), lon_cell(city.lon));
      entered = TAB_enter(&state.table, reinterpret_cast<const char*>(&e), e.loc.id, wmo_text, lkey.text);
      if (entered != 0) std::free(e.block);
    }
  }
  return fd;
}

int CTY_search(const char* id, void* data) {
  if (!id || !data || state.store == 0) return 0;
  size_t len = std::strlen(id);
  auto digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
  bool digits = len == 5 && std::all_of(id, id + 5, digit);
  const char* record = nullptr;
  if (digits || (len == 6 && id[0] == 'b')) {
    record = TAB_search(&state.table, 2, id);
  } else if (len == 5 && std::isupper(static_cast<unsigned char>(id[0])) && digit(id[2]) && digit(id[3]) &&
             digit(id[4])) {
    int wmo = KEZ_MISS;
    id_to_wmo(id, &wmo);
    char key[24];
    std::snprintf(key, sizeof key, "%5.5d", wmo);
    record = TAB_search(&state.table, 2, key);
  } else {
    record = TAB_search(&state.table, 1, id);
  }
  if (!record) return 0;
  if (state.store == CTY_TABLE_FULL)
    std::memcpy(data, record, sizeof(CTY_data));
  else
    std::memcpy(data, record, sizeof(CTY_locate));
  return 1;
}

namespace {

/* The stored station nearest to (lat, lon) that passes keep; null for
 * none. */
template <typename Keep>
const PosEntry* nearest_station(float lat, float lon, Keep keep) {
  if (state.store != CTY_TABLE_POS_LOC || !std::isfinite(lat) || !std::isfinite(lon) || std::fabs(lat) > 90.0f ||
      lat == KEZ_FMISS || lon == KEZ_FMISS)
    return nullptr;
  const int L = lat_cell(lat);
  const int M = lon_cell(lon);
  const PosEntry* best = nullptr;
  double best_km = std::numeric_limits<double>::infinity();
  auto consider = [&](int a, int b) {
    char* found[max_per_cell];
    int n = probe(L + a, M + b, found);
    for (int k = 0; k < n; ++k) {
      const auto* e = reinterpret_cast<const PosEntry*>(found[k]);
      if (!keep(*e)) continue;
      double d = distance_km(lat, lon, e->lat, e->lon);
      if (d < best_km) {
        best_km = d;
        best = e;
      }
    }
  };
  /* Ring by ring, every cell of each ring; once a station is found, go on
   * only while a farther ring could still hold a nearer one. */
  for (int r = 0; r < CTY_SEARCH_RINGS; ++r) {
    if (best && ring_bound_km(lat, r) > best_km) break;
    if (r == 0) {
      consider(0, 0);
      continue;
    }
    for (int j = -r; j <= r; ++j) {
      consider(r, j);
      consider(-r, j);
    }
    for (int j = -r + 1; j <= r - 1; ++j) {
      consider(j, r);
      consider(j, -r);
    }
  }
  return best;
}

} // namespace

int CTY_search_loc(float lat, float lon, CTY_locate* data) {
  if (!data) return 0;
  const PosEntry* best = nearest_station(lat, lon, [](const PosEntry&) { return true; });
  if (!best) return 0;
  *data = best->loc;
  return 1;
}

int CTY_search_loc_data(float lat, float lon, CTY_locate* data) {
  if (!data) return 0;
  const PosEntry* best = nearest_station(
      lat, lon, [](const PosEntry& e) { return e.block && static_cast<const char*>(e.block)[0] != '\0'; });
  if (!best) return 0;
  *data = best->loc;
  return 1;
}

void* CTY_get_data(const char* id) {
  if (!id || state.store == 0) return nullptr;
  bool wmo = std::strlen(id) == 5 && std::isdigit(static_cast<unsigned char>(id[0]));
  char* record = TAB_search(&state.table, wmo ? 2 : 1, id);
  if (!record) return nullptr;
  void** block = block_of(record);
  return block ? *block : nullptr;
}

void* CTY_next_data(int next) {
  if (state.store == 0) return nullptr;
  if (next == 0) TAB_first(&state.table);
  char* record = TAB_next(&state.table);
  if (!record) return nullptr;
  void** block = block_of(record);
  return block ? *block : nullptr;
}

int CTY_clear_data(int flag) {
  if (state.store == 0) return 0;
  TAB_first(&state.table);
  while (char* record = TAB_next(&state.table)) {
    void** block = block_of(record);
    if (!block || !*block) continue;
    if (flag == 0) {
      std::free(*block);
      *block = nullptr;
    } else {
      static_cast<char*>(*block)[0] = '\0';
    }
  }
  return 0;
}

int CTY_clear() {
  free_table();
  return 0;
}

TAB_table* CTY_get_table() { return &state.table; }

int CTY_make_entry_simple(const char* id, const char* wmo) {
  if (state.store != CTY_TABLE_FULL || !id || !wmo) return 0;
  CTY_data city;
  CTY_data_init(&city);
  copy_text(city.id, CTY_ID_LEN, id);
  city.wmo = std::atoi(wmo);
  FullEntry e{city, new_block(city)};
  if (TAB_enter(&state.table, reinterpret_cast<const char*>(&e), id, has_wmo(city.wmo) ? wmo : nullptr) != 0)
    std::free(e.block);
  return 0;
}

int CTY_data_cmp(int numid, char* const* ids, const CTY_data* data) {
  if (numid <= 0) return 1;
  if (!ids || !data) return -1;
  for (int i = 0; i < numid; ++i)
    if (ids[i] && item_matches(ids[i], *data)) return i;
  return -1;
}

int CTY_ids_cmp(int numid, char* const* ids, const char* id) {
  if (numid <= 0) return 1;
  if (!ids || !id) return 0;
  for (int i = 0; i < numid; ++i)
    if (ids[i] && is_filter_item(ids[i])) return 1;
  for (int i = 0; i < numid; ++i)
    if (ids[i] && stricmp(ids[i], id) == 0) return 1;
  return 0;
}

int CTY_id_cmp(const char* ids, const char* id) {
  if (!ids) return 1;
  char* list[] = {const_cast<char*>(ids)};
  return CTY_ids_cmp(1, list, id);
}
