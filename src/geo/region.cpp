/*
 * region: domain texts, regions and the region prompt.
 *
 * Turns the texts by which users and settings name a plot domain into a
 * Domain: a comma-separated domain text ("ps,40,-100,25,17,1.2"), a
 * station ("id:DEN"), or a region abbreviation ("mw") that the region file
 * "kez.reg" or the built-in regions turn into a domain text. The
 * domain text layouts are one table tried in order, the first whose
 * items all read winning. Region entries may name other regions; the
 * decoder follows them to a bounded depth.
 *
 * The module also keeps the region menu and the prompt through which a
 * plotting program gets each domain, prints a domain back in domain text
 * syntax (the printed text decodes to the same domain), and sets the
 * station plotting priority from the height of the last decoded domain.
 */
#include "kez.h"
#include "kezcty.h"

#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr M_type mask_parse = M_debug_c; /* decoding trace */
constexpr M_type mask_file = M_debug_d;  /* region files that cannot be opened */
constexpr int exit_invalid_domain = 43;
constexpr int max_nesting = 8; /* region entries naming regions */
constexpr int menu_attempts = 5;
constexpr int menu_name_len = 20;
constexpr int menu_flags = 3; /* exit and main-menu choices */

/* What the projection-name lookup gives for a name it does not know. */
constexpr int proj_unknown = -1;

constexpr int default_nx = 25;
constexpr int default_ny = 17;
constexpr float default_spacing = 1.2f;
constexpr float zoom_spacing = 1.0f;

const char* const region_file = "kez.reg";

/* ---- module state --------------------------------------------------------- */

struct BuiltIn {
  const char* abbr;
  const char* name;
  float clat;
  float clon;
  float spacing;
  bool ask; /* the centre is asked for */
};

constexpr BuiltIn built_ins[] = {
    {"us", "Contiguous US", 39.0f, -97.0f, 2.3f, false},   {"ne", "New England", 42.0f, -76.0f, 0.9f, false},
    {"at", "Atlantic", 37.0f, -82.0f, 0.9f, false},        {"se", "Southeastern", 31.0f, -88.0f, 1.1f, false},
    {"mw", "Midwestern", 43.0f, -93.0f, 1.1f, false},      {"sp", "Southern Plains", 32.5f, -100.0f, 1.2f, false},
    {"nw", "Northwestern", 44.0f, -112.0f, 1.0f, false},   {"sw", "Southwestern", 37.0f, -112.0f, 1.0f, false},
    {"var", "Variable", KEZ_FMISS, KEZ_FMISS, 1.2f, true},
};

struct Menu {
  std::array<MENU_item, DOM_MENU_SIZE> items{};
  std::array<std::string, DOM_MENU_SIZE> names; /* texts the items point into */
  std::array<std::string, DOM_MENU_SIZE> abbrs;

  Menu() {
    set(0, "Return to previous menu", "back", 0, 0);
    int i = 1;
    for (const BuiltIn& b : built_ins) set(i++, b.name, b.abbr, 1, 1);
  }
  void set(int i, std::string name, std::string abbr, int index, int disp0) {
    names[static_cast<size_t>(i)] = std::move(name);
    abbrs[static_cast<size_t>(i)] = std::move(abbr);
    MENU_item& item = items[static_cast<size_t>(i)];
    item = MENU_item{};
    item.name = names[static_cast<size_t>(i)].c_str();
    item.abbr = abbrs[static_cast<size_t>(i)].c_str();
    item.index = index;
    item.disp[0] = disp0;
  }
  void end_at(int i) { items[static_cast<size_t>(i)] = MENU_item{}; }
};

struct {
  int priority = 3;  /* stations plotted up to this priority */
  int loc_prior = 4; /* the same for reports that carry their own position */
  int prompt_region = 1;
  Menu menu;
  int menu_num = 0;
  int num_regs = 0; /* loaded file entries plus one; 0 until a file is loaded */
  int depth = 0;    /* region entries being followed */
} state;

/* ---- small readers ----------------------------------------------------------- */

bool starts_nocase(const char* text, const char* head) {
  return strnicmp(text, head, static_cast<int>(std::strlen(head))) == 0;
}

/* "%f": a text that begins with a number reads it; an empty item leaves
 * the field missing. Numbers that are not finite read nothing. */
bool read_float_item(const char* text, float* value) {
  if (!*text) return true;
  char* end = nullptr;
  errno = 0;
  double v = std::strtod(text, &end);
  if (end == text || !std::isfinite(v) || std::fabs(v) > 3.0e38) return false;
  *value = static_cast<float>(v);
  return true;
}

bool read_int_item(const char* text, int* value) {
  if (!*text) return true;
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(text, &end, 10);
  if (end == text || errno == ERANGE || v > 2147483647L || v < -2147483647L) return false;
  *value = static_cast<int>(v);
  return true;
}

/* A part of a projection item: empty is missing, any other text reads as
 * a number or 0. */
bool read_part(const std::string& part, float* value) {
  if (part.empty()) return true;
  double v = std::atof(part.c_str());
  if (!std::isfinite(v) || std::fabs(v) > 3.0e38) return false;
  *value = static_cast<float>(v);
  return true;
}

std::vector<std::string> split(std::string_view text, char delim) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t at = text.find(delim, start);
    parts.emplace_back(text.substr(start, at == std::string_view::npos ? at : at - start));
    if (at == std::string_view::npos) return parts;
    start = at + 1;
  }
}

/* A whole word that is an int. */
bool is_int_word(const std::string& word) {
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(word.c_str(), &end, 10);
  return !word.empty() && *end == '\0' && errno != ERANGE && v <= 2147483647L && v >= -2147483647L;
}

/* ---- region files -------------------------------------------------------------- */

struct FileCloser {
  void operator()(FILE* fp) const { FILE_close(fp); }
};
using File = std::unique_ptr<FILE, FileCloser>;

/* A region file under "file_path"; never a command, a standard stream, a
 * device or a pipe, since a name may come from a domain text. */
File open_region_file(const char* file) {
  std::string path = FILE_add_path(RES_get("file_path"), file ? file : "");
  if (!file || !*file || path[0] == '|' || FILE_is_stdio(path.c_str()) ||
      (FILE_exist(path.c_str()) && !FILE_is_file(path.c_str()))) {
    MESS_print(M_warn, "DOM_decode: Not a region file: %s\n", file ? file : "");
    return nullptr;
  }
  File fp(FILE_open(path.c_str(), "r"));
  if (!fp) MESS_print(mask_file, "Unable to open region file: %s\n", path.c_str());
  return fp;
}

/* The domain text of an abbreviation (any entry for a null name). The
 * search ends at the first empty line. A line of one word is a
 * domain text by itself and answers only the search for any entry; a
 * line without an abbreviation, name, menu number and domain text is
 * passed over. */
bool search_file(const char* file, const char* name, std::string* spec) {
  File fp = open_region_file(file);
  if (!fp) return false;
  std::string line;
  while (fget_text_line(fp.get(), &line)) {
    if (line.empty()) return false;
    if (line[0] == '#') continue;
    std::vector<std::string> words = text_words(line);
    if (words.empty()) return false;
    if (words.size() == 1) {
      if (name) continue;
      *spec = words[0];
      return true;
    }
    if (words.size() < 4 || !is_int_word(words[2])) {
      MESS_print(M_warn, "DOM_search_file: Malformed region entry in %s: %s\n", file, line.c_str());
      continue;
    }
    if (name && stricmp(words[0].c_str(), name) != 0) continue;
    *spec = words[3];
    return true;
  }
  return false;
}

/* ---- layouts -------------------------------------------------------------------- */

enum Defaults : unsigned {
  d_none = 0,
  d_proj1 = 1,      /* projection 1 */
  d_grid = 2,       /* 25 x 17 points */
  d_dy_dx = 4,      /* dy = dx */
  d_spacing = 8,    /* dx = dy = 1.2 */
  d_proj_item = 16, /* by the projection: size, zoom or the common defaults */
};

struct Layout {
  int codes[8];
  unsigned defaults;
  const char* debug;
};

constexpr int P = DOM_ITEM_PROJ, PLON = DOM_ITEM_PLON, ST = DOM_ITEM_STATION, LAT = DOM_ITEM_CLAT, LON = DOM_ITEM_CLON,
              NX = DOM_ITEM_NX, NY = DOM_ITEM_NY, DX = DOM_ITEM_DX, DY = DOM_ITEM_DY, REG = DOM_ITEM_REGION;

/* In the order tried; the first is only for a domain text that begins
 * with "size", the last is the region layout. */
constexpr Layout layouts[] = {
    {{P, NX, NY}, d_none, "%2d proj,nx,ny\n"},
    {{P, PLON, LAT, LON, NX, NY, DX, DY}, d_none, "%2d proj,plon,clat,clon,nx,ny,dx,dy\n"},
    {{P, LAT, LON, NX, NY, DX, DY}, d_none, "%2d proj,clat,clon,nx,ny,dx,dy\n"},
    {{P, PLON, LAT, LON, DX, DY}, d_grid, "%2d proj,plon,clat,clon,dx,dy\n"},
    {{P, LAT, LON, NX, NY, DX}, d_dy_dx, "%2d proj,clat,clon,nx,ny,dx\n"},
    {{LAT, LON, NX, NY, DX, DY}, d_proj1, "%2d clat,clon,nx,ny,dx,dy\n"},
    {{P, LAT, LON, DX, DY}, d_grid, "%2d proj,clat,clon,dx,dy\n"},
    {{LAT, LON, NX, NY, DX}, d_proj1 | d_dy_dx, "%2d clat,clon,nx,ny,dx\n"},
    {{P, LAT, LON, DX}, d_grid | d_dy_dx, "%2d proj,clat,clon,dx\n"},
    {{LAT, LON, NX, NY}, d_proj1 | d_spacing, "%2d clat,clon,nx,ny\n"},
    {{LAT, LON, DX}, d_proj1 | d_grid | d_dy_dx, "%2d clat,clon,dx\n"},
    {{P, LAT, LON}, d_proj_item, "%2d proj,clat,clon\n"},
    {{LAT, LON}, d_proj1 | d_grid | d_spacing, "%2d clat,clon\n"},
    {{ST}, d_proj1 | d_grid | d_spacing, "%2d id:###\n"},
    {{REG}, d_none, "%2d reg:REG\n"},
};
constexpr size_t size_layout = 0;
constexpr size_t region_layout = std::size(layouts) - 1;

int clamp_to_int(float v) {
  if (v == KEZ_FMISS || !(std::fabs(v) < 2.0e9f)) return KEZ_MISS;
  return static_cast<int>(v);
}

void apply_defaults(unsigned defaults, Domain* d) {
  if (defaults & d_proj1) d->proj = MAP_PSTEREO;
  if (defaults & d_grid) {
    d->nx = default_nx;
    d->ny = default_ny;
  }
  if (defaults & d_spacing) d->dx = d->dy = default_spacing;
  if (defaults & d_dy_dx) d->dy = d->dx;
  if (defaults & d_proj_item) {
    if (d->proj == MAP_SIZE) {
      d->nx = clamp_to_int(d->clat);
      d->ny = clamp_to_int(d->clon);
      d->clat = d->clon = KEZ_FMISS;
    } else {
      d->dx = d->dy = d->proj == MAP_ZOOM ? zoom_spacing : default_spacing;
      d->nx = default_nx;
      d->ny = default_ny;
    }
  }
}

/* A projection item: name[:e][:plat[:plon[:p0[:p1[:p2[:p3]]]]]]. */
bool read_projection(const char* item, Domain* d) {
  std::string_view text(item);
  /* One trailing ":" makes no part, so that a printed domain whose last
   * fields are missing keeps its count of parts. */
  if (!text.empty() && text.back() == ':') text.remove_suffix(1);
  std::vector<std::string> parts = split(text, ':');
  int code = DOM_proj_str(parts[0].c_str());
  if (code == proj_unknown) {
    d->proj = MAP_PSTEREO;
    return false;
  }
  d->proj = code;
  if (parts.size() == 2) return read_part(parts[1], &d->plon);
  size_t i = 1;
  if (parts.size() > 1 && parts[1] == "e") {
    d->ellipse = 1;
    ++i;
  }
  float* fields[] = {&d->plat, &d->plon, &d->param[0], &d->param[1], &d->param[2], &d->param[3]};
  for (float* f : fields) {
    if (i >= parts.size()) break;
    if (!read_part(parts[i++], f)) return false;
  }
  return true;
}

bool read_station(const char* item, Domain* d) {
  if (!starts_nocase(item, "id:")) return false;
  std::string rest(item + 3);
  std::string file, id = rest;
  size_t colon = rest.rfind(':');
  if (colon != std::string::npos) {
    file = rest.substr(0, colon);
    id = rest.substr(colon + 1);
  }
  if (id.empty()) return false;
  float lat = KEZ_FMISS, lon = KEZ_FMISS;
  if (!CTY_get_loc(file.empty() ? "sao.cty" : file.c_str(), id.c_str(), &lat, &lon)) {
    MESS_print(M_warn, "DOM_decode: Station not found: %s\n", id.c_str());
    return false;
  }
  d->clat = lat;
  d->clon = lon;
  return true;
}

/* The domain of a region entry's own domain text. */
bool decode_entry(const std::string& spec, Domain* d) {
  ++state.depth;
  int result = DOM_decode(spec.c_str(), d);
  --state.depth;
  return result > 0;
}

bool read_region(const char* item, Domain* d) {
  if (std::strncmp(item, "id:", 3) == 0) return false;
  std::string spec;
  if (std::strncmp(item, "fi:", 3) == 0) {
    if (!search_file(item + 3, nullptr, &spec)) {
      MESS_print(M_warn, "DOM_decode: No region entry in %s\n", item + 3);
      return false;
    }
    return decode_entry(spec, d);
  }
  const char* colon = std::strrchr(item, ':');
  if (colon) {
    std::string file(item, static_cast<size_t>(colon - item));
    if (!colon[1]) {
      /* The menu is loaded, but no domain comes of it. */
      if (DOM_read_menu(file.c_str()))
        MESS_print(M_warn, "DOM_decode: Region menu loaded from %s; it names no domain\n", file.c_str());
      return false;
    }
    if (!search_file(file.c_str(), colon + 1, &spec)) {
      MESS_print(M_warn, "DOM_decode: Region %s not found in %s\n", colon + 1, file.c_str());
      return false;
    }
    return decode_entry(spec, d);
  }
  /* An entry that names itself stands for the built-in region of that name
   * ("var Variable 1 var" puts the asked-for region in a file's menu). */
  if (search_file(region_file, item, &spec) && stricmp(spec.c_str(), item) != 0) return decode_entry(spec, d);
  if (DOM_get_def_region(item, d)) return true;
  MESS_print(M_warn, "DOM_decode: Unknown region: %s\n", item);
  return false;
}

/* ---- the region prompt ------------------------------------------------------------ */

/* Why a decoded map domain can draw nothing, or null when it can: a
 * latitude beyond a pole, a longitude beyond a turn, fewer than two grid
 * points or a spacing that is not positive. Diagrams hold data values in
 * these fields and are not judged. */
const char* unplottable(const Domain& d) {
  auto lat_bad = [](float v) { return v != KEZ_FMISS && std::fabs(v) > 90.0f; };
  auto lon_bad = [](float v) { return v != KEZ_FMISS && std::fabs(v) > 360.0f; };
  if (d.proj == MAP_SIZE)
    return (d.nx != KEZ_MISS && d.nx < 1) || (d.ny != KEZ_MISS && d.ny < 1) ? "a size below 1" : nullptr;
  if (d.proj < MAP_PSTEREO || d.proj > MAP_SAT) return nullptr;
  if (lat_bad(d.clat) || lat_bad(d.plat)) return "a latitude beyond a pole";
  if (d.proj == MAP_LAMB && (lat_bad(d.param[0]) || lat_bad(d.param[1]))) return "a true latitude beyond a pole";
  if (lon_bad(d.clon) || lon_bad(d.plon)) return "a longitude beyond 360 degrees";
  if ((d.nx != KEZ_MISS && d.nx < 2) || (d.ny != KEZ_MISS && d.ny < 2)) return "fewer than 2 grid points";
  if ((d.dx != KEZ_FMISS && !(d.dx > 0)) || (d.dy != KEZ_FMISS && !(d.dy > 0))) return "a spacing that is not positive";
  return nullptr;
}

/* A plot domain: a decoded text that can draw a map, or DOM_INVALID. */
int plot_domain(const char* text, Domain* domain) {
  int result = DOM_decode(text, domain);
  if (result > 0) {
    if (const char* why = unplottable(*domain)) {
      MESS_print(M_warn, "DOM_prompt_region: %s: %s\n", text, why);
      result = DOM_INVALID;
    }
  }
  return result;
}

/* A domain from a resource: an invalid one ends the program. */
int resource_domain(const char* value, Domain* domain) {
  int result = plot_domain(value, domain);
  if (result == DOM_INVALID) {
    MESS_print(M_error, "Invalid domain\n");
    KEZ_exit(exit_invalid_domain);
  }
  state.prompt_region = 0;
  return result;
}

const char* set_resource(const char* name) {
  const char* value = RES_get(name);
  return value && *value ? value : nullptr;
}

void load_menu_once() {
  if (state.num_regs == 0) DOM_read_menu(region_file);
}

const char* first_region() {
  const MENU_item& item = state.menu.items[1];
  return item.name ? item.abbr : nullptr;
}

} // namespace

int DOM_proj_str(const char* proj) { return MAP_proj_str(proj); }

int DOM_set_params(int paramc, char* const* paramv, Domain* domain, int i1, int i2, int i3, int i4, int i5, int i6,
                   int i7, int i8) {
  std::vector<int> codes;
  for (int c : {i1, i2, i3, i4, i5, i6, i7, i8}) {
    if (c == 0) break;
    codes.push_back(c);
  }
  /* A station stands in for the centre latitude and longitude. */
  for (size_t k = 0; k < codes.size(); ++k) {
    if (codes[k] != DOM_ITEM_CLAT || static_cast<int>(k) >= paramc || !paramv || !paramv[k] ||
        !starts_nocase(paramv[k], "id:"))
      continue;
    codes[k] = DOM_ITEM_STATION;
    if (k + 1 < codes.size() && codes[k + 1] == DOM_ITEM_CLON) codes.erase(codes.begin() + static_cast<long>(k) + 1);
  }
  if (static_cast<int>(codes.size()) != paramc || !paramv || !domain) return -1;
  DOM_init(domain);
  if (stricmp(paramv[0], "miss") == 0 || stricmp(paramv[0], "none") == 0) return 0;
  for (int k = 0; k < paramc; ++k) {
    const char* item = paramv[k] ? paramv[k] : "";
    int code = codes[static_cast<size_t>(k)];
    bool ok = false;
    switch (code) {
      case DOM_ITEM_PROJ: ok = read_projection(item, domain); break;
      case DOM_ITEM_PLON: ok = read_float_item(item, &domain->plon); break;
      case DOM_ITEM_CLAT: ok = read_float_item(item, &domain->clat); break;
      case DOM_ITEM_CLON: ok = read_float_item(item, &domain->clon); break;
      case DOM_ITEM_NX: ok = read_int_item(item, &domain->nx); break;
      case DOM_ITEM_NY: ok = read_int_item(item, &domain->ny); break;
      case DOM_ITEM_DX: ok = read_float_item(item, &domain->dx); break;
      case DOM_ITEM_DY: ok = read_float_item(item, &domain->dy); break;
      case DOM_ITEM_STATION: ok = read_station(item, domain); break;
      case DOM_ITEM_REGION: ok = read_region(item, domain); break;
      default: ok = false; break;
    }
    if (!ok) return code;
  }
  return 0;
}

int DOM_decode(const char* str, Domain* domain) {
  if (!domain) {
    MESS_print(M_warn, "DOM_decode: No domain to fill\n");
    return DOM_INVALID;
  }
  DOM_init(domain);
  if (!str || !*str || stricmp(str, "miss") == 0) return KEZ_MISS;
  if (state.depth >= max_nesting) {
    MESS_print(M_warn, "DOM_decode: Region entries nest too deeply: %s\n", str);
    return DOM_INVALID;
  }
  int argc = 0;
  char** argv = nullptr;
  if (parse_string(str, ',', &argc, &argv) != 0 || argc < 1) {
    free_parsed_array(argc, argv);
    MESS_print(M_warn, "DOM_decode: Invalid plot domain\n");
    FLAG_set(FLAG_DOMAIN, DOM_INVALID);
    return DOM_INVALID;
  }
  MESS_print(mask_parse, "******** PARSING DOMAIN: %d %s\n", argc, str);
  int result = DOM_INVALID;
  for (size_t n = 0; n < std::size(layouts); ++n) {
    const Layout& lay = layouts[n];
    if (n == size_layout && !starts_nocase(argv[0], "size")) continue;
    const int* c = lay.codes;
    if (DOM_set_params(argc, argv, domain, c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]) != 0) continue;
    apply_defaults(lay.defaults, domain);
    MESS_print(mask_parse, lay.debug, 0);
    result = n == region_layout ? DOM_REGION : DOM_DECODED;
    break;
  }
  free_parsed_array(argc, argv);
  if (result == DOM_INVALID) {
    DOM_init(domain);
    MESS_print(M_warn, "DOM_decode: Invalid plot domain\n");
  }
  FLAG_set(FLAG_DOMAIN, result);
  FILE_set_key('r', str);
  if (domain->ny != KEZ_MISS && domain->dy != KEZ_FMISS)
    DOM_set_base_prior(static_cast<float>(domain->ny - 1) * domain->dy);
  return result;
}

int DOM_get_def_region(const char* region, Domain* domain) {
  if (!domain) return 0;
  DOM_init(domain);
  domain->proj = MAP_PSTEREO;
  domain->nx = default_nx;
  domain->ny = default_ny;
  domain->dx = domain->dy = default_spacing;
  const BuiltIn* found = nullptr;
  for (const BuiltIn& b : built_ins)
    if (region && stricmp(region, b.abbr) == 0) found = &b;
  if (!found) return 0;
  domain->dx = domain->dy = found->spacing;
  if (found->ask) {
    domain->clat = KEZ_promptf("Enter the central latitude: ");
    domain->clon = KEZ_promptf("Enter the central longitude: ");
  } else {
    domain->clat = found->clat;
    domain->clon = found->clon;
  }
  domain->plon = domain->clon;
  DOM_set_base_prior(static_cast<float>(domain->ny - 1) * domain->dy);
  FLAG_set(FLAG_DOMAIN, DOM_DECODED);
  return 1;
}

int DOM_search_file(const char* file, const char* str, char* domstr) {
  std::string spec;
  if (!search_file(file, str, &spec)) return 0;
  if (spec.size() > static_cast<size_t>(DOM_SPEC_LEN - 1)) {
    MESS_print(M_warn, "DOM_search_file: Domain text longer than %d characters: %s\n", DOM_SPEC_LEN - 1, spec.c_str());
    return 0;
  }
  if (domstr) std::memcpy(domstr, spec.c_str(), spec.size() + 1);
  return 1;
}

int DOM_read_menu(const char* file) {
  File fp = open_region_file(file);
  if (!fp) return 0;
  Menu& m = state.menu;
  if (state.num_regs == 0)
    for (int i = 1; i <= DOM_MENU_REGIONS; ++i) m.end_at(i);
  int i = 1;
  std::string line;
  while (i <= DOM_MENU_REGIONS && fget_text_line(fp.get(), &line)) {
    std::vector<std::string> words = text_words(line);
    if (words.empty() || line[0] == '#') continue;
    if (words.size() < 3 || !is_int_word(words[2])) {
      MESS_print(M_warn, "DOM_read_menu: Malformed region entry in %s: %s\n", file, line.c_str());
      continue;
    }
    int disp = std::atoi(words[2].c_str());
    if (disp == 0) continue;
    std::string name = words[1].substr(0, menu_name_len);
    for (char& ch : name)
      if (ch == '_') ch = ' ';
    m.set(i, name, words[0], i, disp);
    ++i;
  }
  state.num_regs = i;
  m.end_at(i);
  return 1;
}

int DOM_print_file(const char* file) {
  File fp = open_region_file(file);
  if (!fp) return 0;
  MESS_print(M_print, " Abbr    Description\n");
  std::string line;
  while (fget_text_line(fp.get(), &line)) {
    std::vector<std::string> words = text_words(line);
    if (words.size() < 2 || line[0] == '#') continue;
    MESS_print(M_print, "%-8s %-50s\n", words[0].c_str(), words[1].c_str());
  }
  return 0;
}

int DOM_get_region(Domain* domain, int flag) {
  if (!domain) return 0;
  DOM_init(domain);
  const char* value = nullptr;
  if (flag == 1 || flag == 3 || flag == 4) value = set_resource("plot_domain");
  if (!value) value = set_resource("region");
  if (value) return DOM_decode(value, domain);
  if (flag != 4) return 0;
  load_menu_once();
  const char* abbr = first_region();
  return abbr ? DOM_decode(abbr, domain) : 0;
}

int DOM_get_grid_domain(Domain* domain) {
  if (!domain) return 0;
  DOM_init(domain);
  for (const char* name : {"grid_domain", "region", "plot_domain"})
    if (const char* value = set_resource(name)) return DOM_decode(value, domain);
  return 0;
}

int DOM_prompt_region(Domain* domain, int flag) {
  if (state.prompt_region == 0 || !domain) return 0;
  DOM_init(domain);
  const char* value = flag == 1 ? set_resource("plot_domain") : nullptr;
  if (value) {
    int result = resource_domain(value, domain);
    if (result > 0) return result;
  }
  if ((value = set_resource("region"))) {
    int result = resource_domain(value, domain);
    if (result > 0) return result;
  }
  load_menu_once();
  if (FLAG_batch() > 0) {
    const char* abbr = first_region();
    std::string text = abbr ? abbr : "";
    return resource_domain(text.c_str(), domain);
  }
  for (int attempt = 0; attempt < menu_attempts; ++attempt) {
    char answer[MENU_STRING_LEN] = "";
    int choice = MENU_process("\n        Region Menu\n", state.menu.items.data(), state.menu_num,
                              "Enter the region: ", answer, menu_flags);
    if (stricmp(answer, "list") == 0) {
      DOM_print_file(region_file);
      continue;
    }
    if (choice == -1) KEZ_exit(0);
    if (choice == 0) return 0;
    if (choice == KEZ_MISS && std::strlen(answer) >= static_cast<std::size_t>(KEZ_PROMPT_WORD)) {
      /* The prompt may have cut the domain into another one that decodes. */
      MESS_print(M_warn,
                 "DOM_prompt_region: A typed domain of %d or more characters may have been cut; "
                 "give a long domain with the \"plot_domain\" setting\n",
                 KEZ_PROMPT_WORD);
      continue;
    }
    std::string text = answer;
    int result = plot_domain(text.c_str(), domain);
    if (result == DOM_INVALID) {
      MESS_print(M_warn, "Invalid domain\n");
      continue;
    }
    return result;
  }
  return DOM_INVALID;
}

int DOM_set_prompt_region(int val) {
  state.prompt_region = val;
  return 0;
}

const char* DOM_get_region_name(int region) {
  if (region < 0 || region >= DOM_MENU_SIZE) return nullptr;
  return state.menu.items[static_cast<size_t>(region)].name;
}

int DOM_print(M_type mess, const Domain* domain) {
  if (!domain || !MESS_check(mess)) return 0;
  const Domain& d = *domain;
  std::string text = MAP_proj_name(d.proj);
  if (d.ellipse) text += ":e";
  char buf[512]; /* room for the widest float that %f prints */
  auto add = [&](float v) {
    if (v == KEZ_FMISS) {
      text += ":";
    } else {
      std::snprintf(buf, sizeof buf, ":%3.3f", static_cast<double>(v));
      text += buf;
    }
  };
  for (float v : {d.plat, d.plon, d.param[0], d.param[1], d.param[2]}) add(v);
  /* The fourth parameter only when set, so that common domains print as
   * they always have. */
  if (d.param[3] != KEZ_FMISS) add(d.param[3]);
  std::snprintf(buf, sizeof buf, ",%3.3f,%3.3f,%d,%d,%4.4f,%4.4f\n", static_cast<double>(d.clat),
                static_cast<double>(d.clon), d.nx, d.ny, static_cast<double>(d.dx), static_cast<double>(d.dy));
  text += buf;
  MESS_print(mess, "%s", text.c_str());
  return 0;
}

int DOM_set_base_prior(float size) {
  int prior = size > 50.0f ? 1 : size > 25.0f ? 2 : size > 12.5f ? 3 : size > 6.25f ? 4 : size > 3.0f ? 5 : 6;
  const char* adjust = RES_get("stat_prior");
  if (adjust && *adjust) {
    bool digit_next = std::isdigit(static_cast<unsigned char>(adjust[1])) != 0;
    if (adjust[0] == '+' && digit_next)
      prior += adjust[1] - '0';
    else if (adjust[0] == '-' && digit_next)
      prior -= adjust[1] - '0';
    else if (std::isdigit(static_cast<unsigned char>(adjust[0])))
      prior = adjust[0] - '0';
  }
  state.priority = prior;
  return 0;
}

int DOM_set_prior(int prior) {
  state.priority = prior;
  return 0;
}

int DOM_get_prior() { return state.priority; }

int DOM_set_loc_prior(int prior) {
  state.loc_prior = prior;
  return 0;
}

int DOM_get_loc_prior() { return state.loc_prior; }
