/*
 * grd_tool_search: naming grids and finding them, for grd_tool.
 *
 * Grid requests ("#3:F", "-1250hh", "+12:500mb:hh:m:211") and their match
 * rule, the input settings ("model.lup", "in_file", "input"), searches that
 * fill slots from one open file or assemble tiled models (the tile table
 * from "model.lup"), and the grid descriptions that are printed and shown.
 *
 * Guarantees: requests and "model.lup" are read with bounds: a request that
 * cannot be read matches nothing, and a model entry the tile table cannot
 * hold is refused whole.
 */
#include "grd_tool_impl.h"
#include "kezgrd.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace grd_tool_impl;

namespace grd_tool_impl {

int resource_int(const char* name) {
  const char* v = RES_get(name);
  if (!v || !*v) return KEZ_MISS;
  char* end = nullptr;
  long x = std::strtol(v, &end, 10);
  if (end == v || x < -2147483647L || x > 2147483647L) return KEZ_MISS;
  return static_cast<int>(x);
}

/* Reads record pos whole into g and converts it to the request's units. */
bool read_whole(int fd, int pos, GRD_report* g, const VAR_data& req) {
  int p = pos;
  if (GRD_read(fd, g, GRD_READ_ALL, &p) != 0) {
    g->source = 0;
    return false;
  }
  if (req.units[0]) GRD_units(g, req.units);
  return true;
}

} // namespace grd_tool_impl

/* ---- grid requests, matching and searches ---------------------------------------- */

namespace {

constexpr M_type kTraceParse = 0x40000000;
constexpr M_type kTraceTest = 0x80000000;
constexpr M_type kTracePiece = 0x10000000;
constexpr size_t kModelMax = 19; /* model names in "model.lup" */
constexpr size_t kTileListMax = 159;

/* Field limits of a request. */
constexpr size_t kTimeMax = 9, kLevelMax = 19, kVarMax = 39, kGridMax = 9, kUnitsMax = 14;

/* The two-letter variable codes of requests. */
struct VarCode {
  const char* code;
  int param;
};
constexpr VarCode var_codes[] = {
    {"pr", 1},  {"hh", 7},  {"st", 11}, {"rh", 52},  {"li", 131}, {"uw", 33},  {"vw", 34},
    {"vv", 39}, {"qp", 61}, {"sc", 66}, {"wh", 100}, {"wp", 108}, {"wd", 107}, {"ss", 80},
};

/* Models known without a "model.lup" entry: the model flag and convention. */
struct KnownModel {
  const char* name;
  int flag;
  const char* conv;
};
constexpr KnownModel known_models[] = {
    {"ngm", 2, "grib_ngm"},  {"ngme", 2, "grib_ngme"}, {"eta", 3, "grib_eta"},  {"ruc", 4, "grib_ruc"},
    {"lfm", 1, "grib_lfm"},  {"avn", 15, "grib_avn"},  {"mrf", 15, "grib_mrf"}, {"ecmwf", 20, "grib_ecmwf"},
    {"sww", 31, "grib_sww"}, {"sst", 32, "grib_sst"},  {"sca", 33, "grib_sca"},
};

/* Input kinds named by "in_file" and "input" items. */
struct InputKind {
  const char* word;
  int kind;
};
constexpr InputKind input_kinds[] = {{"kez", GRD_KIND_KEZ}, {"cdf", GRD_KIND_CDF}, {"grib", GRD_KIND_GRIB}};

void empty_request(VAR_data* p) {
  p->time = p->ltype = p->level = KEZ_MISS;
  for (int& v : p->var) v = KEZ_MISS;
  p->units[0] = '\0';
}

/* The words of "model.lup": comments (a word beginning "#") run to the end
 * of their line. */
std::vector<std::string> lookup_words(FILE* fp) {
  std::vector<std::string> out;
  std::string line;
  while (fget_text_line(fp, &line)) {
    size_t i = 0;
    while (i < line.size()) {
      while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
      if (i >= line.size()) break;
      if (line[i] == '#') break;
      size_t j = i;
      while (j < line.size() && !std::isspace(static_cast<unsigned char>(line[j]))) ++j;
      out.emplace_back(line, i, j - i);
      i = j;
    }
  }
  return out;
}

/* Reads a model's entry (size word and tile list) into the tile table;
 * false, with a message and no tiles, for an entry the table cannot hold. */
bool take_entry(const std::string& model, const std::string& size, const std::string& list, int default_type) {
  state.tiles.clear();
  state.tiles_x = state.tiles_y = 1;
  /* "NxM", or "N" alone for one row of tiles. */
  int nx = 0, ny = 1;
  size_t x_at = size.find('x');
  auto small_int = [](const std::string& t, int* v) {
    if (t.empty() || t.size() > 2 || t.find_first_not_of("0123456789") != std::string::npos) return false;
    *v = std::atoi(t.c_str());
    return true;
  };
  bool ok = x_at == std::string::npos ? small_int(size, &nx)
                                      : small_int(size.substr(0, x_at), &nx) && small_int(size.substr(x_at + 1), &ny);
  if (!ok || nx < 1 || ny < 1 || nx * ny > GRD_MAX_TILES) {
    MESS_print(M_warn, "GRD_in_file: Invalid mosaic size for model %s: %s\n", model.c_str(), size.c_str());
    return false;
  }
  if (list.size() > kTileListMax) {
    MESS_print(M_warn, "GRD_in_file: Tile list of model %s too long\n", model.c_str());
    return false;
  }
  std::vector<Tile> tiles;
  size_t start = 0;
  int x = 0, y = 0;
  while (start <= list.size()) {
    size_t comma = list.find(',', start);
    std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    start = comma == std::string::npos ? list.size() + 1 : comma + 1;
    if (static_cast<int>(tiles.size()) == nx * ny) {
      MESS_print(M_warn, "GRD_in_file: Model %s lists more tiles than its %dx%d mosaic\n", model.c_str(), nx, ny);
      return false;
    }
    Tile t;
    t.x = x;
    t.y = y;
    t.type = default_type;
    size_t hash = item.find('#');
    t.name = item.substr(0, hash);
    if (hash != std::string::npos) {
      char* end = nullptr;
      std::string num = item.substr(hash + 1);
      long v = std::strtol(num.c_str(), &end, 10);
      if (num.empty() || *end || num.size() > kGridMax) {
        MESS_print(M_warn, "GRD_in_file: Invalid grid number in tile %s\n", item.c_str());
        return false;
      }
      t.type = static_cast<int>(v);
    }
    if (t.name.empty() || t.name.size() >= static_cast<size_t>(GRD_TILE_NAME_LEN)) {
      MESS_print(M_warn, "GRD_in_file: Invalid tile name in model %s: %s\n", model.c_str(), item.c_str());
      return false;
    }
    tiles.push_back(t);
    if (++x == nx) {
      x = 0;
      ++y;
    }
  }
  state.tiles = tiles;
  state.tiles_x = nx;
  state.tiles_y = ny;
  return true;
}

} // namespace

int GRD_in_file() {
  std::string model = "ngm";
  VAR_set_model_str(model.c_str());
  std::vector<std::string> words;
  std::string path = FILE_add_path(RES_get("file_path"), "model.lup");
  if (FILE* fp = FILE_open(path.c_str(), "r")) {
    words = lookup_words(fp);
    FILE_close(fp);
    if (!words.empty() && words[0].size() <= kModelMax) {
      model = words[0];
      VAR_set_model_str(model.c_str());
    }
  }
  const int default_type = resource_int("grid_type");
  bool found = false;
  if (const char* m = RES_get("model"); m && *m) {
    model = m;
    VAR_set_model_str(model.c_str());
    state.tiles.clear();
    for (size_t i = 0; i < words.size(); i += 3) {
      if (words[i].size() > kModelMax) {
        MESS_print(M_warn, "GRD_in_file: Model name too long in model.lup: %.40s\n", words[i].c_str());
        continue;
      }
      if (stricmp(words[i].c_str(), model.c_str()) != 0) continue;
      if (i + 2 >= words.size()) {
        MESS_print(M_warn, "GRD_in_file: Incomplete entry of model %s\n", model.c_str());
        break;
      }
      if (take_entry(words[i], words[i + 1], words[i + 2], default_type)) {
        found = true;
        FILE_set_name(state.tiles[0].name.c_str());
      }
      break;
    }
  }
  if (!found) {
    state.tiles.clear();
    const KnownModel* known = nullptr;
    for (const KnownModel& k : known_models)
      if (stricmp(k.name, model.c_str()) == 0) known = &k;
    if (known) {
      FLAG_set(GRD_FLAG_MODEL, known->flag);
      FILE_set_name(known->conv);
    } else {
      FILE_set_name(("grib_" + model).c_str());
    }
  }
  int argc = 0;
  char** argv = nullptr;
  RES_getvals("in_file", &argc, &argv);
  {
    for (int i = 0; i < argc; ++i) {
      const char* item = argv[i];
      if (strnicmp(item, "kez", 3) == 0)
        FLAG_set(GRD_FLAG_FILE_KIND, GRD_KIND_KEZ);
      else if (strnicmp(item, "cdf", 3) == 0)
        FLAG_set(GRD_FLAG_FILE_KIND, GRD_KIND_CDF);
      else if (stricmp(item, "grib") == 0)
        FLAG_set(GRD_FLAG_FILE_KIND, GRD_KIND_GRIB);
      else if (std::strlen(item) > kNameMax)
        MESS_print(M_warn, "GRD_in_file: Input name too long: %.40s\n", item);
      else {
        FILE_set_name(item);
        if (!state.tiles.empty()) {
          if (std::strlen(item) >= static_cast<size_t>(GRD_TILE_NAME_LEN))
            MESS_print(M_warn, "GRD_in_file: Tile name too long: %.40s\n", item);
          else
            state.tiles[0].name = item;
        }
      }
    }
  }
  free_parsed_array(argc, argv);
  argc = 0;
  argv = nullptr;
  RES_getvals("input", &argc, &argv);
  for (int i = 0; i < argc; ++i)
    for (const InputKind& k : input_kinds)
      if (stricmp(argv[i], k.word) == 0) FLAG_set(GRD_FLAG_FILE_KIND, k.kind);
  free_parsed_array(argc, argv);
  if (const char* g = RES_get("grid_num"); g && *g) FILE_set_ext_info(g);
  return 0;
}

int GRD_parse_params(const char* str, VAR_data* params, int* type) {
  if (!params) return GRD_REQ_NONE;
  empty_request(params);
  int gt = resource_int("grid_type");
  if (type && gt != KEZ_MISS) *type = gt;
  if (!str || !*str || std::strcmp(str, "-") == 0) return GRD_REQ_NONE;
  const std::string s = str;
  /* A request that cannot be read matches nothing rather than anything. */
  auto refuse = [&](const char* why) {
    MESS_print(M_warn, "GRD_parse_params: %s: %.60s\n", why, str);
    empty_request(params);
    return GRD_REQ_SELECT;
  };
  auto set_units = [&](const std::string& u) {
    if (u.size() > kUnitsMax) return false;
    std::snprintf(params->units, sizeof params->units, "%s", u.c_str());
    return true;
  };
  if (s[0] == '#') {
    size_t colon = s.find(':');
    std::string num = s.substr(1, colon == std::string::npos ? std::string::npos : colon - 1);
    char* end = nullptr;
    long n = std::strtol(num.c_str(), &end, 10);
    if (num.empty() || *end || num.size() > kTimeMax || n < 0) return refuse("Invalid grid position");
    if (colon != std::string::npos && !set_units(s.substr(colon + 1))) return refuse("Units too long");
    return static_cast<int>(n);
  }
  if (s[0] == ':') {
    if (!set_units(s.substr(1))) return refuse("Units too long");
    return GRD_REQ_NONE;
  }
  std::string tfield, lfield, vfield;
  if (s[0] == '-') {
    size_t colon = s.find(':');
    std::string body = s.substr(1, colon == std::string::npos ? std::string::npos : colon - 1);
    tfield = body.substr(0, std::min<size_t>(2, body.size()));
    if (body.size() > 2) lfield = body.substr(2, 2);
    if (body.size() > 4) vfield = body.substr(4, 2);
    if (colon != std::string::npos && !set_units(s.substr(colon + 1))) return refuse("Units too long");
  } else if (s[0] == '+') {
    std::vector<std::string> f;
    size_t start = 1;
    while (start <= s.size()) {
      size_t colon = s.find(':', start);
      f.push_back(s.substr(start, colon == std::string::npos ? std::string::npos : colon - start));
      start = colon == std::string::npos ? s.size() + 1 : colon + 1;
    }
    if (f.size() > 5) return refuse("Too many request fields");
    f.resize(5);
    tfield = f[0];
    lfield = f[1];
    vfield = f[2];
    if (tfield.size() > kTimeMax || lfield.size() > kLevelMax || vfield.size() > kVarMax || f[4].size() > kGridMax)
      return refuse("Request field too long");
    if (!set_units(f[3])) return refuse("Units too long");
    if (!f[4].empty()) {
      char* end = nullptr;
      long g = std::strtol(f[4].c_str(), &end, 10);
      if (*end) return refuse("Invalid grid number");
      if (type) *type = static_cast<int>(g);
    }
  } else {
    return refuse("Invalid request");
  }
  VAR_dec_time(tfield.c_str(), &params->time);
  VAR_dec_level(lfield.c_str(), &params->ltype, &params->level);
  const VarCode* code = nullptr;
  for (const VarCode& c : var_codes) {
    bool exact = std::strcmp(c.code, "pr") == 0;
    if (exact ? vfield == c.code : stricmp(vfield.c_str(), c.code) == 0) code = &c;
  }
  if (code)
    params->var[0] = code->param;
  else
    VAR_dec_var(vfield.c_str(), params);
  MESS_print(kTraceParse, "GRD_parse: %d %d %d %d\n", params->time, params->ltype, params->level, params->var[0]);
  return GRD_REQ_SELECT;
}

int GRD_set_params(VAR_data* params, int time, int ltype, int level, int var) {
  if (!params) return -1;
  params->time = time;
  params->ltype = ltype;
  params->level = level;
  params->var[0] = var;
  for (int i = 1; i < 5; ++i) params->var[i] = 0;
  return 0;
}

int GRD_test(const GRD_report* grid, const VAR_data* params, int type) {
  if (!grid || !params) return 0;
  bool var_ok = false;
  for (int v : params->var)
    if (v != KEZ_MISS && v == grid->var) var_ok = true;
  bool ltype_ok = params->ltype == KEZ_MISS || params->ltype == grid->ltype;
  bool level_ok = params->level == KEZ_MISS || params->level == grid->level;
  bool time_ok;
  if (params->time == KEZ_MISS)
    time_ok = true;
  else if (params->time > 1000)
    time_ok = params->time == grid->time;
  else
    time_ok = params->time == grid->time % 1000; /* an hour matches every range ending then */
  bool type_ok = type == KEZ_MISS || type == grid->type;
  int res = var_ok && ltype_ok && level_ok && time_ok && type_ok ? 1 : 0;
  MESS_print(kTraceTest, "Searching: T-%d:%d LT-%d:%d L-%d:%d V-%d,%d,%d,%d,%d:%d G-%d:%d = %d\n", params->time,
             grid->time, params->ltype, grid->ltype, params->level, grid->level, params->var[0], params->var[1],
             params->var[2], params->var[3], params->var[4], grid->var, type, grid->type, res);
  return res;
}

namespace {

/* The slots a search wants: all with a negative num, else the grids to read. */
bool wanted(int i, bool all) { return all || VAR_is_get_GRID(i); }

} // namespace

int GRD_search(int grd_fd, GRD_report* grids, const VAR_data* params, int type, int num) {
  if (!grids || !params) return 0;
  const bool all = num < 0;
  const int n = std::min(num < 0 ? -num : num, GRD_STORE_SLOTS);
  int done = 0;
  for (int i = 0; i < n; ++i)
    if (grids[i].source != 0 || !wanted(i, all)) ++done;
  GRD_report hdr;
  GRD_init(&hdr);
  for (int pos = 0; done < n; ++pos) {
    int p = pos;
    const int res = GRD_read(grd_fd, &hdr, GRD_READ_HEADER, &p);
    if (res == -1) break;
    if (res != 0) continue; /* a record without a usable grid */
    for (int i = 0; i < n; ++i) {
      if (!wanted(i, all) || grids[i].source != 0 || !GRD_test(&hdr, &params[i], type)) continue;
      if (read_whole(grd_fd, pos, &grids[i], params[i])) ++done;
    }
  }
  std::free(hdr.grid);
  return done >= n ? 1 : 0;
}

int GRD_search_piece(int grd_fd, int ind, GRD_report* grids, const VAR_data* params, int num) {
  if (!grids || !params || ind < 0 || ind >= static_cast<int>(state.tiles.size())) return 0;
  const Tile tile = state.tiles[static_cast<size_t>(ind)];
  const bool all = num < 0;
  const int n = std::min(num < 0 ? -num : num, GRD_STORE_SLOTS);
  std::vector<bool> got(static_cast<size_t>(n), false);
  int done = 0;
  for (int i = 0; i < n; ++i)
    if (!wanted(i, all)) ++done;
  GRD_report hdr, work;
  GRD_init(&hdr);
  GRD_init(&work);
  for (int pos = 0; done < n; ++pos) {
    int p = pos;
    const int res = GRD_read(grd_fd, &hdr, GRD_READ_HEADER, &p);
    if (res == -1) break;
    if (res != 0) continue; /* a record without a usable grid */
    for (int i = 0; i < n; ++i) {
      if (!wanted(i, all) || !GRD_test(&hdr, &params[i], tile.type)) continue;
      if (!read_whole(grd_fd, pos, &work, params[i])) continue;
      GRD_report& slot_rec = grids[i];
      bool had = got[static_cast<size_t>(i)];
      if (slot_rec.source == 0) {
        /* The mosaic is laid out from the north-west tile, whichever tile
         * comes first. */
        GRD_report nw = work;
        nw.grid = nullptr;
        const Domain& t = work.domain;
        nw.domain.clon = t.clon - static_cast<float>(tile.x * (t.nx - 1)) * t.dx;
        nw.domain.clat = t.clat + static_cast<float>(tile.y * (t.ny - 1)) * t.dy;
        if (GRD_piece_setup(&slot_rec, state.tiles_x, state.tiles_y, &nw) != 0) continue;
      }
      if (GRD_piece_grid(&slot_rec, tile.x, tile.y, &work) != 0)
        MESS_print(M_warn, "GRD_search_piece: Tile %d does not fit its mosaic\n", ind);
      if (!had) {
        got[static_cast<size_t>(i)] = true;
        ++done;
      }
      MESS_print(kTracePiece, "Found: %d T-%d LT-%d L-%d V-%d G-%d = %d %d - %d\n", i, slot_rec.time, slot_rec.ltype,
                 slot_rec.level, slot_rec.var, slot_rec.type, had ? 1 : 0, done, num);
    }
  }
  std::free(hdr.grid);
  std::free(work.grid);
  for (int i = 0; i < n; ++i)
    if (wanted(i, all) && grids[i].source == 0)
      MESS_print(M_warn, "Grid missing: %d %d %d %d\n", params[i].time, params[i].ltype, params[i].level,
                 params[i].var[0]);
  return done >= n ? 1 : 0;
}

/* Room of the labels built for grid descriptions. */
constexpr int grid_label_len = 160;

int GRD_make_datatype(GRD_report* grid, const char* oper) {
  (void)oper;
  if (!grid) return -1;
  char buf[grid_label_len] = "";
  VAR_make_datatype(grid->time, grid->ltype, grid->level, grid->var, grid->units, buf, sizeof buf);
  copy_field(grid->info, sizeof grid->info, buf);
  return 0;
}

int GRD_make_devtype(GRD_report* ogrid, const GRD_report* igrid, const char* str) {
  if (!ogrid || !igrid) return -1;
  const std::string text = str ? str : "";
  char name[grid_label_len] = "";
  if (igrid->var != 0) {
    VAR_str(name, igrid->var, nullptr, sizeof name);
  } else {
    std::vector<char> var(text.size() + 1), units(text.size() + 1);
    UNIT_parse(text.c_str(), var.data(), units.data());
    copy_field(name, sizeof name, var.data());
  }
  std::string full = std::string(name) + " " + text;
  char buf[grid_label_len] = "";
  VAR_make_devtype(ogrid->time, ogrid->ltype, ogrid->level, full.c_str(), ogrid->units, buf, sizeof buf);
  copy_field(ogrid->info, sizeof ogrid->info, buf);
  return 0;
}

int GRD_print_info(M_type level, GRD_report* grid, int type) {
  if (!grid || !MESS_check(level)) return 0;
  switch (type) {
    case 0:
    case -1:
    case -2: {
      if (!grid->info[0]) GRD_make_datatype(grid, nullptr);
      if (!grid->datim[0]) {
        std::string label;
        if (type == -2)
          DATE_make_label_for(grid->time, grid->model, 0L, &label);
        else
          DATE_make_label_for_time(grid->time, type == 0 ? grid->source * 1000 + grid->model : grid->model, &grid->date,
                                   &label);
        copy_field(grid->datim, sizeof grid->datim, label.c_str());
      }
      MESS_print(level, type == 0 ? "%s-%s\n" : "%s - %s\n", grid->datim, grid->info);
      break;
    }
    case 1:
      MESS_print(level, "Model: %d Ltype: %d Level: %d Var: %d [%s] Hour: %d Grid: %d\n", grid->model, grid->ltype,
                 grid->level, grid->var, grid->units, grid->time, grid->type);
      break;
    case 2:
      if (grid->domain.proj != KEZ_MISS)
        MESS_print(level, "Proj: %d Lat: %3.2f Lon: %3.2f NX: %d NY: %d DX: %3.2f DY: %3.2f\n", grid->domain.proj,
                   grid->domain.clat, grid->domain.clon, grid->domain.nx, grid->domain.ny, grid->domain.dx,
                   grid->domain.dy);
      break;
    case 3:
      GRD_make_datatype(grid, nullptr);
      MESS_print(level, "%s\n", grid->info);
      break;
    default: break;
  }
  return 0;
}

int GRD_print(M_type level, GRD_report* grid) {
  if (!grid || !MESS_check(level)) return -1;
  GRD_print_info(level, grid, 1);
  GRD_print_info(level, grid, 2);
  MESS_print(level, "Domain: ");
  DOM_print(level, &grid->domain);
  return 0;
}
