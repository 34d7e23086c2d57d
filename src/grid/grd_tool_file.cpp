/*
 * grd_tool_file: the grid file wrappers of grd_tool.
 *
 * Reading, searching, saving and reusing grid files by name or by date: the
 * output settings ("out_file"), the domain of a file, one grid read by its
 * request, the store filled from a file or from the tiles of a model (with
 * the derived grids computed and the results saved), and the create, append
 * or overwrite decision of the save functions.
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

/* ---- grid file wrappers ----------------------------------------------------------------- */

namespace {

constexpr M_type kPrintGrids = 0xF000000;

/* Output keywords of "out_file": prefix, type, default convention. */
struct OutKind {
  const char* word;
  int type;
  const char* conv;
};
constexpr OutKind out_kinds[] = {
    {"kezb", GRD_TYPE_BINARY, "grd_kez"},
    {"kez", GRD_TYPE_TEXT, "grd_kez"},
    {"cdf", GRD_TYPE_NETCDF, "grd_cdf"},
    {"grib", GRD_TYPE_GRIB, "grd_grib"},
};

/* Items of "out_file" that belong to other outputs (image dumps). */
constexpr const char* out_skipped[] = {"gif", "png"};

std::string grid_path(const char* name) { return FILE_add_path(RES_get("grid_path"), name); }

/* The open type of the domain and date readers: GRIB for GRIB input, else detected. */
int input_type() { return FLAG_get(GRD_FLAG_FILE_KIND) == GRD_KIND_GRIB ? GRD_TYPE_GRIB : 0; }

/* Closes a handle when it goes out of scope. */
struct Handle {
  int fd;
  explicit Handle(int f) : fd(f) {}
  ~Handle() {
    if (fd >= 0) GRD_close(fd);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
};

std::string dated_name(const Date* date) {
  std::vector<char> buf(static_cast<size_t>(FILE_PATH_LEN), '\0');
  FILE_set_date(date, buf.data());
  return buf.data();
}

/* Opens the companion header file of a date when the convention names one. */
void open_header_file(int fd, const Date* date) {
  std::vector<char> buf(static_cast<size_t>(FILE_PATH_LEN), '\0');
  if (FILE_hdr_set_date(date, buf.data()) == 1) GRD_hdr_open(fd, buf.data());
}

/* Scans the headers of an open file for the grid number wanted (any when
 * -9999); the position of the chosen grid, or -1 when the file holds none. */
int scan_for_type(int fd, int want, GRD_report* hdr) {
  int last = -1;
  for (int pos = 0;; ++pos) {
    int p = pos;
    const int res = GRD_read(fd, hdr, GRD_READ_HEADER, &p);
    if (res == -1) break;
    if (res != 0) continue; /* a record without a usable grid */
    last = pos;
    if (want == KEZ_MISS || hdr->type == want) return pos;
  }
  if (last >= 0) {
    int p = last;
    GRD_read(fd, hdr, GRD_READ_HEADER, &p);
  }
  return last;
}

/* Reads one grid of an open file by the request. 1 read, 0 not there. */
int read_requested(int fd, int req, const VAR_data& params, int gtype, GRD_report* grid) {
  if (req == GRD_REQ_NONE) return read_whole(fd, 0, grid, params) ? 1 : 0;
  if (req >= 0) return read_whole(fd, req, grid, params) ? 1 : 0;
  return GRD_search(fd, grid, &params, gtype, -1);
}

/* The create-or-append decision of the save functions; the handle or -1. */
int open_for_saving(const char* who, const std::string& name, int type) {
  int decision = FILE_overwrite(name.c_str(), 1);
  int fd = -1;
  int t = type;
  if (decision == 1 || decision == 0) {
    fd = GRD_open(name.c_str(), GRD_ACCESS_WRITE, &t);
    if (fd < 0) {
      MESS_print(kWarnLow, "%s: Unable to create grid file: %s\n", who, name.c_str());
      return -1;
    }
    MESS_print(M_mess, "Creating grid file: %s\n", name.c_str());
  } else if (decision == 2) {
    fd = GRD_open(name.c_str(), GRD_ACCESS_APPEND, &t);
    if (fd < 0) {
      MESS_print(kWarnLow, "%s: Unable to %s grid file: %s\n", who,
                 std::strcmp(who, "GRD_open_out_file") == 0 ? "create" : "open", name.c_str());
      return -1;
    }
    MESS_print(M_mess, "Appending to grid file: %s\n", name.c_str());
  } else {
    MESS_print(kWarnLow, "%s: Unable to overwrite grid file: %s\n", who, name.c_str());
  }
  return fd;
}

/* Saves every grid record of the variable list to the files that "out_file"
 * names; the last name written goes to out (size bytes) when given. */
void save_results(char* out, size_t size) {
  FILE_save_name_conv();
  GRD_report* grids = GRD_get_grids();
  for (int i = VAR_get_num() - 1; i >= 0; --i) {
    if (!VAR_is_type_GRID(i)) continue;
    /* A grid that was neither read nor computed has nothing to save. */
    if (i >= GRD_STORE_SLOTS || grids[i].source == 0 || !grids[i].grid) continue;
    int type = GRD_out_file(0);
    FILE_set_key('x', VAR_get_model_str());
    FILE_set_key('f', VAR_get_time_key(i));
    FILE_set_key('l', VAR_get_level_key(i));
    FILE_set_key('v', VAR_get_name(i));
    std::string name = dated_name(&state.info.date);
    if (out && size > 0) {
      size_t n = std::min(name.size(), size - 1);
      std::memcpy(out, name.data(), n);
      out[n] = '\0';
    }
    GRD_save_file(name.c_str(), &grids[i], &state.info, type);
  }
  FILE_restore_name_conv();
}

/* Empties the store and gives each slot its variable's codes. */
void prepare_store() {
  GRD_init_grids();
  for (int i = 0; i < VAR_get_num() && i < GRD_STORE_SLOTS; ++i) GRD_set_var(i);
}

/* Reports the grids to be fitted that a search left empty. */
void report_missing(const char* what) {
  GRD_report* grids = GRD_get_grids();
  for (int i = 0; i < VAR_get_num() && i < GRD_STORE_SLOTS; ++i) {
    if (grids[i].source != 0 || !VAR_is_fit_GRID(i)) continue;
    MESS_print(M_warn, "%s: %d ", what, i);
    VAR_print_info(M_warn, VAR_get_var(i));
  }
}

} // namespace

int GRD_out_file(int type) {
  FILE_set_name("grd_grd");
  int result = type;
  bool taken = false, typed = false;
  int argc = 0;
  char** argv = nullptr;
  RES_getvals("out_file", &argc, &argv);
  for (int i = 0; i < argc; ++i) {
    const char* item = argv[i];
    if (stricmp(item, "none") == 0) continue;
    bool skip = false;
    for (const char* w : out_skipped)
      if (strnicmp(item, w, static_cast<int>(std::strlen(w))) == 0) skip = true;
    if (skip) continue;
    if (std::strlen(item) > kNameMax) {
      MESS_print(M_warn, "GRD_out_file: Output name too long: %.40s\n", item);
      continue;
    }
    const OutKind* kind = nullptr;
    for (const OutKind& k : out_kinds)
      if (strnicmp(item, k.word, static_cast<int>(std::strlen(k.word))) == 0) {
        kind = &k;
        break;
      }
    taken = true;
    if (kind) {
      size_t len = std::strlen(kind->word);
      /* One separator character, then the convention's name. */
      FILE_set_name(std::strlen(item) > len + 1 ? item + len + 1 : kind->conv);
      result = kind->type;
      typed = true;
    } else {
      FILE_set_name(item);
    }
  }
  free_parsed_array(argc, argv);
  if (taken && !typed) result = GRD_TYPE_TEXT;
  if (result != 0) FLAG_set(GRD_FLAG_FILE_KIND, result);
  return result;
}

int GRD_get_file_domain(const char* filename, Domain* domain) {
  if (!filename || !domain) return -1;
  int type = input_type();
  Handle h(GRD_open(filename, GRD_ACCESS_READ, &type));
  if (h.fd < 0) {
    MESS_print(M_warn, "GRD_get_file_domain: Unable to open grid file:%s\n", filename);
    return -1;
  }
  MESS_print(M_mess, "Getting domain from grid file:%s\n", filename);
  GRD_getinfo(h.fd, &state.info);
  WorkGrid hdr;
  if (scan_for_type(h.fd, resource_int("grid_type"), &hdr.r) < 0) {
    MESS_print(M_warn, "GRD_get_file_domain: No grid in file: %s\n", filename);
    return -1;
  }
  *domain = hdr.r.domain;
  return 1;
}

int GRD_get_file_date_domain(const Date* date, Domain* domain) {
  if (!domain) return -1;
  Date d{};
  if (date)
    d = *date;
  else
    GRD_get_date(&d);
  int want = resource_int("grid_type");
  const bool tiled = !state.tiles.empty();
  if (tiled) {
    FILE_set_name(state.tiles[0].name.c_str());
    if (want == KEZ_MISS) want = state.tiles[0].type;
  }
  std::string name = dated_name(&d);
  int type = input_type();
  Handle h(GRD_open(name.c_str(), GRD_ACCESS_READ, &type));
  if (h.fd < 0) {
    MESS_print(M_warn, "GRD_get_file_date_domain: Unable to open grid file:%s\n", name.c_str());
    return -1;
  }
  MESS_print(M_mess, "Getting domain from grid file:%s\n", name.c_str());
  open_header_file(h.fd, &d);
  GRD_info info{};
  GRD_getinfo(h.fd, &info);
  WorkGrid g;
  int pos = scan_for_type(h.fd, want, &g.r);
  if (pos < 0 || GRD_read(h.fd, &g.r, GRD_READ_ALL, &pos) != 0) {
    MESS_print(M_warn, "GRD_get_file_date_domain: No grid in file: %s\n", name.c_str());
    return -1;
  }
  if (tiled && GRD_piece_setup(&g.r, state.tiles_x, state.tiles_y, nullptr) != 0) return -1;
  *domain = g.r.domain;
  return 1;
}

int GRD_read_file(char* filename, GRD_report* grid, GRD_info* info, int* type) {
  if (!filename || !grid || !info || !type) return -1;
  int gtype = resource_int("grid_type");
  FILE_extract_extra_info(filename);
  VAR_data params{};
  int req = GRD_parse_params(FILE_get_ext_info(), &params, &gtype);
  std::string name = grid_path(filename);
  std::free(grid->grid);
  GRD_init(grid);
  Handle h(GRD_open(name.c_str(), GRD_ACCESS_READ, type));
  if (h.fd < 0) {
    MESS_print(M_warn, "GRD_read_file: Unable to open grid file: %s\n", name.c_str());
    return -1;
  }
  MESS_print(M_mess, "Reading from grid file: %s\n", name.c_str());
  GRD_getinfo(h.fd, info);
  grid->source = 0;
  if (read_requested(h.fd, req, params, gtype, grid) != 1) {
    MESS_print(M_warn, "GRD_read_file: Grid not found in file\n");
    return 0;
  }
  return 1;
}

int GRD_read_file_date(const Date* date, const char* extra, GRD_report* grid, GRD_info* info, int* type) {
  if (!grid || !info || !type) return -1;
  int gtype = resource_int("grid_type");
  VAR_data params{};
  int req = GRD_parse_params(extra, &params, &gtype);
  std::string plain = dated_name(date);
  std::string name = grid_path(plain.c_str());
  std::free(grid->grid);
  GRD_init(grid);
  Handle h(GRD_open(name.c_str(), GRD_ACCESS_READ, type));
  if (h.fd < 0) {
    MESS_print(M_warn, "GRD_read_file_date: Unable to open grid file: %s\n", name.c_str());
    return -1;
  }
  MESS_print(M_mess, "Reading from grid file: %s\n", plain.c_str());
  open_header_file(h.fd, date);
  GRD_getinfo(h.fd, info);
  grid->source = 0;
  if (read_requested(h.fd, req, params, gtype, grid) != 1) {
    MESS_print(M_warn, "GRD_read_file_date: Grid not found in file\n");
    return 0;
  }
  return 1;
}

int GRD_search_file(char* filename, size_t size) {
  if (!filename || size == 0) return -1;
  const int gtype = resource_int("grid_type");
  prepare_store();
  const std::string name(filename, strnlen(filename, size));
  int type = 0;
  {
    Handle h(GRD_open(name.c_str(), GRD_ACCESS_READ, &type));
    if (h.fd < 0) {
      MESS_print(M_warn, "GRD_search_file: Unable to open grid file: %s\n", name.c_str());
      return -1;
    }
    MESS_print(M_mess, "Reading from grid file: %s\n", name.c_str());
    GRD_getinfo(h.fd, &state.info);
    if (!GRD_search(h.fd, GRD_get_grids(), VAR_get_var(0), gtype, VAR_get_num()))
      report_missing("GRD_search_file: Grid not found in file");
  }
  GRD_calc_var();
  save_results(filename, size);
  return 1;
}

int GRD_search_file_date(const Date* date) {
  const int gtype = resource_int("grid_type");
  prepare_store();
  MESS_print(kPrintGrids, "Grids used:\n");
  for (int i = 0; i < VAR_get_num() && i < GRD_STORE_SLOTS; ++i) {
    MESS_print(kPrintGrids, "%3d: ", i);
    VAR_print(kPrintGrids, VAR_get_var(i));
  }
  Date d{};
  if (date)
    d = *date;
  else
    GRD_get_date(&d);
  if (state.tiles.empty()) {
    std::string name = dated_name(&d);
    int type = input_type();
    Handle h(GRD_open(name.c_str(), GRD_ACCESS_READ, &type));
    if (h.fd < 0) {
      MESS_print(M_warn, "GRD_search_file_date: unable to open file: %s\n", name.c_str());
      return -1;
    }
    MESS_print(M_mess, "Reading from grid file: %s\n", name.c_str());
    open_header_file(h.fd, &d);
    GRD_getinfo(h.fd, &state.info);
    if (!GRD_search(h.fd, GRD_get_grids(), VAR_get_var(0), gtype, VAR_get_num()))
      report_missing("GRD_search_file_date: grid not found in file");
  } else {
    for (size_t t = 0; t < state.tiles.size(); ++t) {
      FILE_set_name(state.tiles[t].name.c_str());
      std::string name = dated_name(&d);
      int type = input_type();
      Handle h(GRD_open(name.c_str(), GRD_ACCESS_READ, &type));
      if (h.fd < 0) {
        /* The mosaic keeps -9999 where this tile would go. */
        MESS_print(M_warn, "GRD_search_file_date: unable to open file: %s\n", name.c_str());
        MESS_print(M_warn, "Grid missing: tile %s\n", state.tiles[t].name.c_str());
        continue;
      }
      MESS_print(M_mess, "Reading from grid file: %s\n", name.c_str());
      open_header_file(h.fd, &d);
      GRD_getinfo(h.fd, &state.info);
      GRD_search_piece(h.fd, static_cast<int>(t), GRD_get_grids(), VAR_get_var(0), VAR_get_num());
    }
  }
  GRD_calc_var();
  save_results(nullptr, 0);
  return 1;
}

int GRD_save_file(const char* filename, GRD_report* grid, const GRD_info* info, int type) {
  if (type == 0 || !filename || !grid) return 0;
  std::string name = grid_path(filename);
  int fd = open_for_saving("GRD_save_file", name, type);
  if (fd < 0) return 0;
  return GRD_save_grid(fd, grid, info) == 0 ? 1 : 0;
}

int GRD_open_out_file(const char* filename, int type) {
  if (type == 0 || !filename) return -1;
  return open_for_saving("GRD_open_out_file", grid_path(filename), type);
}

int GRD_save_grid(int grd_fd, GRD_report* grid, const GRD_info* info) {
  int res = 0;
  if (GRD_putinfo(grd_fd, info) != 0) res = -1;
  int pos = 0;
  if (res == 0 && GRD_write(grd_fd, grid, 0, &pos) != 0) res = -1;
  if (res != 0) MESS_print(M_warn, "GRD_save_grid: Unable to write the grid\n");
  GRD_close(grd_fd);
  return res;
}

int GRD_read_check(const char* filename, GRD_report* grid, GRD_info* info, int* type, const Domain* domain) {
  if (!filename || !*filename || !grid || !info || !type || !domain) return 0;
  /* Joined as GRD_save_file joins it, so that a saved grid is found again. */
  std::string name = grid_path(filename);
  if (FILE_is_stdio(name.c_str()) || !FILE_exist(name.c_str())) return 0;
  const int param = FLAG_get(GRD_FLAG_FILE_PARAM);
  if (param == 1) return 0;
  if (param == 0 && !FLAG_batch()) {
    std::string prompt = name + ": exists overwrite (Y/N): ";
    char answer[4] = "";
    KEZ_prompts(prompt.c_str(), answer, 3);
    if (answer[0] == 'Y' || answer[0] == 'y') return 0;
  }
  *type = 0;
  Handle h(GRD_open(name.c_str(), GRD_ACCESS_READ, type));
  if (h.fd < 0) {
    MESS_print(M_warn, "GRD_read_check: Grid file does not exist: %s\n", name.c_str());
    return 0;
  }
  GRD_getinfo(h.fd, info);
  grid->source = 0;
  int pos = 0;
  if (GRD_read(h.fd, grid, GRD_READ_ALL, &pos) != 0) {
    MESS_print(M_warn, "GRD_read_check: No grid in file: %s\n", name.c_str());
    std::free(grid->grid);
    grid->grid = nullptr;
    grid->source = 0;
    return 0;
  }
  if (DOM_comp(&grid->domain, domain)) return 1;
  MESS_print(M_warn, "GRD_read_check: %s file does not correspond to selected region\n", name.c_str());
  std::free(grid->grid);
  grid->grid = nullptr;
  grid->source = 0;
  return 0;
}
