/*
 * raw_tool: station data between plots, raw files and the analysis.
 *
 * Data sources reset their datum before filling it; the data pipeline keeps
 * for every station a text of the values plotted there ("T=54 TD=40 "),
 * which the value read-out shows. That text has a fixed room
 * (RAW_VAR_STRING_LEN) and every addition is cut to it.
 *
 * A run of station records may write what it plots to a raw file: one file
 * per run, named after the run's first station variable, whose field list
 * holds exactly the values each station line carries (one per station
 * record of the run, in order). Raw-file requests ("file-field:format")
 * open through the "raw_path" directory.
 *
 * The collection gathers station positions and up to RAW_OA_FIELDS value
 * arrays for one objective analysis; stations come with consecutive
 * indexes and the arrays grow as they come. Missing values are -9999.
 */
#include "kezraw.h"

#include "kezcty.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

constexpr int kOaStart = 800; /* stations the collection starts with */
constexpr int kOaGrow = 400;  /* and grows by */

struct {
  /* Station-value output. */
  int out_fd = -1;
  int out_fields = 0;
  /* The collection. */
  bool oa_ready = false;
  int oa_cap = 0;
  int oa_fields = 0;
  int oa_stations = 0;
  std::vector<float> oa_x;
  std::vector<float> oa_y;
  std::vector<std::vector<float>> oa_z;
  std::vector<bool> oa_has;
} state;

} // namespace

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
  constexpr size_t ROOM = RAW_VAR_STRING_LEN - 1;
  if (!str || !var || !data) return 0;
  str[ROOM] = '\0';
  if (str[0] && var->flag > 4) return 0;
  char text[RAW_STRING_LEN];
  text[0] = '\0';
  RAW_data_to_string(text, data);
  /* Formed in place, every piece cut to the room left: the text of each
   * station grows by a datum at a time. */
  size_t at = 0;
  auto add = [&](const char* piece, size_t n) {
    n = std::min(n, ROOM - at);
    std::memcpy(str + at, piece, n);
    at += n;
  };
  const size_t text_len = strnlen(text, sizeof text);
  const size_t held = var->flag > 4 ? 0 : std::strlen(str);
  if (var->flag > 4 || held >= FULL) {
    add(text, text_len);
  } else {
    const size_t n = strnlen(var->name, sizeof var->name);
    /* The station's first datum starts the text again. */
    at = n > 0 && std::strncmp(str, var->name, n) == 0 ? 0 : held;
    add(var->name, n);
    add("=", 1);
    add(text, text_len);
    add(" ", 1);
  }
  str[at] = '\0';
  return 0;
}

/* ---- raw-file requests ------------------------------------------------------------------------ */

int RAW_file_open(char* file, char** ind, char** fmt, int mode) {
  if (ind) *ind = RAW_sel(RAW_SEL_ALL);
  if (fmt) *fmt = nullptr;
  if (!file) return -1;
  char* field = nullptr;
  char* format = nullptr;
  const size_t len = std::strlen(file);
  /* Field and format follow the file's own name: a directory may hold
   * either character. */
  const char* slash = std::strrchr(file, '/');
  size_t start = slash ? static_cast<size_t>(slash - file) + 1 : 0;
  if (start < 2) start = 2;
  for (size_t i = start; i < len; ++i) {
    if (file[i] == '-' || file[i] == ':') {
      const bool has_field = file[i] == '-';
      file[i] = '\0';
      char* rest = file + i + 1;
      if (has_field) {
        field = rest;
        if (char* c = std::strchr(rest, ':')) {
          *c = '\0';
          format = c + 1;
        }
      } else {
        format = rest;
      }
      break;
    }
  }
  char* sel = RAW_sel(RAW_SEL_ALL);
  if (field && *field) {
    if (std::isdigit(static_cast<unsigned char>(field[0]))) {
      const long n = std::strtol(field, nullptr, 10);
      if (n < 0 || n >= RAW_SEL_LIMIT - RAW_SEL_FIELD) {
        MESS_print(M_warn, "RAW_file_open: Field number out of range: %.20s\n", field);
        return -1;
      }
      sel = RAW_sel(n + RAW_SEL_FIELD);
    } else {
      sel = field;
    }
  }
  const std::string name = FILE_add_path(RES_get("raw_path"), file);
  int type = mode == RAW_WRITE ? RAW_TYPE_HEADER : 0;
  const int fd = RAW_open(name.c_str(), mode == RAW_WRITE ? RAW_WRITE : RAW_READ, &type);
  if (fd < 0) {
    MESS_print(M_warn, "RAW_file_open: Unable to open file:%s\n", name.c_str());
    return -1;
  }
  if (ind) *ind = sel;
  if (fmt) *fmt = format;
  return fd;
}

/* ---- station-value output ------------------------------------------------------------------- */

namespace {

/* The station records that a run writes: station types outside any
 * function. */
bool written(int ind) { return VAR_is_type_PLOT(ind) && VAR_get_flag(ind) / 10 == 0; }

/* The output name in the "raw_path" directory; a template that already
 * put the name there (with its "%R") is not joined a second time. */
std::string output_path(const std::string& built) {
  const char* rp = RES_get("raw_path");
  if (rp && *rp) {
    std::string dir = rp;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    if (built.compare(0, dir.size() + 1, dir + "/") == 0) return built;
  }
  return FILE_add_path(rp, built.c_str());
}

bool create_output(const Date* date, int ind) {
  const char* name = VAR_get_name(ind);
  FILE_set_key('v', name ? name : "");
  char built[FILE_PATH_LEN] = "";
  FILE_set_date(date, built);
  const std::string file = output_path(built);
  const int answer = FILE_overwrite(file.c_str(), 1);
  if (answer != 1 && answer != 0) {
    MESS_print(M_warn, "RAW_date_open: Unable to overwrite raw file: %s\n", file.c_str());
    return false;
  }
  int type = RAW_TYPE_HEADER;
  state.out_fd = RAW_open(file.c_str(), RAW_WRITE, &type);
  state.out_fields = 0;
  if (state.out_fd < 0) {
    MESS_print(M_warn, "RAW_date_open: Unable to create raw file: %s\n", file.c_str());
    return false;
  }
  MESS_print(M_mess, "Opening raw file: %s\n", file.c_str());
  return true;
}

} // namespace

int RAW_date_open_run(const Date* date, int beg, int end) {
  if (!date) return 0;
  if (beg < 0) beg = 0;
  if (end >= VAR_get_num()) end = VAR_get_num() - 1;
  RAW_info info{};
  bool opened = false;
  for (int i = beg; i <= end; ++i) {
    if (!written(i)) continue;
    if (state.out_fd < 0) {
      if (!create_output(date, i)) return 0;
      opened = true;
      char label[DATE_LABEL_LEN] = "";
      DATE_make_label(date, label);
      std::snprintf(info.datim, sizeof info.datim, "%.*s", RAW_LABEL_LEN - 1, label);
      char text[RAW_FIELD_INFO_LEN] = "";
      VAR_make_var_form_datatype(i, text, sizeof text);
      std::snprintf(info.info, sizeof info.info, "%.*s", RAW_LABEL_LEN - 1, text);
    }
    char* sel = RAW_sel(RAW_SEL_FIELD + state.out_fields);
    const char* name = VAR_get_name(i);
    RAW_set_field_name(state.out_fd, sel, name && *name ? name : "-");
    char text[RAW_FIELD_INFO_LEN] = "";
    VAR_make_var_form_datatype(i, text, sizeof text);
    RAW_set_field_info(state.out_fd, sel, text);
    const char* options = VAR_get_format(i);
    std::string fmt = VAR_print_type(VAR_get_type(i));
    if (options && *options) fmt.append(":").append(options);
    RAW_set_field_fmt(state.out_fd, sel, fmt.c_str());
    ++state.out_fields;
  }
  if (opened) RAW_putinfo(state.out_fd, &info);
  return state.out_fd >= 0 ? state.out_fields : 0;
}

int RAW_date_open(const Date* date) { return RAW_date_open_run(date, 0, VAR_get_num() - 1); }

int RAW_save_station(const CTY_locate* data) {
  if (state.out_fd < 0 || !data) return -1;
  RAW_report r{};
  std::snprintf(r.id, sizeof r.id, "%.*s", static_cast<int>(sizeof r.id - 1), data->id);
  r.lat = r.lon = KEZ_FMISS;
  if (MAP_untran(data->x, data->y, &r.lat, &r.lon) != 1) r.lat = r.lon = KEZ_FMISS;
  RAW_write(state.out_fd, &r, RAW_sel(RAW_PUT_START), nullptr);
  return 0;
}

int RAW_save_data(const RAW_data* data) {
  if (state.out_fd < 0 || !data) return -1;
  RAW_report r{};
  r.type = data->type;
  r.value[0] = data->value[0];
  r.value[1] = data->value[1];
  /* The integer type's datum holds the bits of an int. */
  if (data->type == VAR_TYPE_INT && data->value[0] != KEZ_FMISS) {
    int bits = 0;
    std::memcpy(&bits, &data->value[0], sizeof bits);
    r.value[0] = static_cast<float>(bits);
  }
  std::snprintf(r.data, sizeof r.data, "%.*s", static_cast<int>(sizeof r.data - 1), data->data);
  RAW_write(state.out_fd, &r, RAW_sel(RAW_PUT_VALUE), nullptr);
  return 0;
}

int RAW_save_end() {
  if (state.out_fd < 0) return -1;
  RAW_report r{};
  RAW_write(state.out_fd, &r, RAW_sel(RAW_PUT_END), nullptr);
  return 0;
}

int RAW_close_file() {
  if (state.out_fd < 0) return -1;
  RAW_close(state.out_fd);
  state.out_fd = -1;
  state.out_fields = 0;
  return 0;
}

/* ---- the collection for an analysis ------------------------------------------------------- */

namespace {

bool oa_field_ok(const char* who, int ind) {
  if (ind >= 0 && ind < RAW_OA_FIELDS) return true;
  MESS_print(M_warn, "%s: Field index %d outside 0 to %d\n", who, ind, RAW_OA_FIELDS - 1);
  return false;
}

bool oa_started(const char* who) {
  if (state.oa_ready) return true;
  MESS_print(M_warn, "%s: No collection started\n", who);
  return false;
}

} // namespace

int RAW_init_oa_data() {
  OBJ_initialize();
  RAW_free_oa_data();
  try {
    state.oa_x.assign(kOaStart, KEZ_FMISS);
    state.oa_y.assign(kOaStart, KEZ_FMISS);
    state.oa_z.assign(RAW_OA_FIELDS, {});
    state.oa_has.assign(RAW_OA_FIELDS, false);
  } catch (const std::bad_alloc&) {
    RAW_free_oa_data();
    MESS_print(M_warn, "RAW_init_oa_data: Out of memory\n");
    return -1;
  }
  state.oa_cap = kOaStart;
  state.oa_ready = true;
  return 0;
}

int RAW_add_oa_field(int ind) {
  if (!oa_started("RAW_add_oa_field") || !oa_field_ok("RAW_add_oa_field", ind)) return -1;
  try {
    state.oa_z[ind].assign(state.oa_cap, KEZ_FMISS);
  } catch (const std::bad_alloc&) {
    MESS_print(M_warn, "RAW_add_oa_field: Out of memory for field %d\n", ind);
    return -1;
  }
  state.oa_has[ind] = true;
  if (state.oa_fields < ind + 1) state.oa_fields = ind + 1;
  return 0;
}

int RAW_add_oa_loc(int ind, float xx, float yy) {
  if (!oa_started("RAW_add_oa_loc")) return -1;
  /* Stations come in order: a gap would leave positions unset. */
  if (ind < 0 || ind > state.oa_stations) {
    MESS_print(M_warn, "RAW_add_oa_loc: Station %d out of order (next %d)\n", ind, state.oa_stations);
    return -1;
  }
  if (ind >= state.oa_cap) {
    if (state.oa_cap > INT32_MAX - kOaGrow) {
      MESS_print(M_warn, "RAW_add_oa_loc: Too many stations\n");
      return -1;
    }
    const int cap = state.oa_cap + kOaGrow;
    try {
      state.oa_x.resize(cap, KEZ_FMISS);
      state.oa_y.resize(cap, KEZ_FMISS);
      for (int f = 0; f < RAW_OA_FIELDS; ++f)
        if (state.oa_has[f]) state.oa_z[f].resize(cap, KEZ_FMISS);
    } catch (const std::bad_alloc&) {
      MESS_print(M_warn, "RAW_add_oa_loc: Out of memory for %d stations\n", cap);
      return -1;
    }
    state.oa_cap = cap;
    MESS_print(M_mess, "Increasing arrays to %d\n", cap);
  }
  state.oa_x[ind] = xx;
  state.oa_y[ind] = yy;
  if (state.oa_stations < ind + 1) state.oa_stations = ind + 1;
  return 0;
}

int RAW_chk_oa_data(int ind) { return state.oa_ready && ind >= 0 && ind < RAW_OA_FIELDS && state.oa_has[ind] ? 1 : 0; }

int RAW_add_oa_data(int ind, int num, float val) {
  if (!oa_started("RAW_add_oa_data") || !oa_field_ok("RAW_add_oa_data", ind)) return -1;
  if (!state.oa_has[ind]) return 0;
  if (num < 0 || num >= state.oa_cap) {
    MESS_print(M_warn, "RAW_add_oa_data: Station %d outside the collection (%d)\n", num, state.oa_cap);
    return -1;
  }
  state.oa_z[ind][num] = val;
  if (state.oa_stations < num + 1) state.oa_stations = num + 1;
  return 0;
}

int RAW_run_oa(GRD_report* grids) {
  if (!oa_started("RAW_run_oa") || !grids) return -1;
  float* z[RAW_OA_FIELDS] = {};
  for (int f = 0; f < state.oa_fields; ++f)
    if (state.oa_has[f]) z[f] = state.oa_z[f].data();
  return OBJ_analyze(state.oa_x.data(), state.oa_y.data(), z, state.oa_stations, state.oa_fields, grids);
}

int RAW_free_oa_data() {
  state.oa_x = {};
  state.oa_y = {};
  state.oa_z = {};
  state.oa_has = {};
  state.oa_ready = false;
  state.oa_cap = state.oa_fields = state.oa_stations = 0;
  return 0;
}
