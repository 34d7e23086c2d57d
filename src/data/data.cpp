/*
 * data: the data pipeline's station store and its gridding steps.
 *
 * A source of point observations describes itself in a DATA_info record;
 * its gridding step runs DATA_setup_grid, then (when some grid is to be
 * fitted) DATA_get_data and DATA_object_analyze, then the derived grids,
 * DATA_save_grid and DATA_free. The station store holds, for one gridding,
 * the stations' positions and the first and second value of every stored
 * field (a field index is the variable's index in the variable table); all
 * its arrays always have the same capacity, and a station index runs from
 * 0 upward without gaps.
 *
 * The grids live in the grid store. The file-name convention is
 * saved before and restored after every use of the source's out_grid, so
 * the input files' convention survives gridding.
 */
#include "kez.h"
#include "kezcty.h"
#include "kezgrd.h"
#include "kezraw.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

constexpr float kMiss = KEZ_FMISS;

struct Field {
  bool stored = false;
  std::vector<float> u, v; /* first and second value of every station */
};

struct DataState {
  int limit = 0;     /* capacity in stations */
  int dimension = 0; /* coordinates per station, 1 to 3 */
  std::vector<float> x, y, z;
  std::array<Field, DATA_MAX_FIELDS> fields{};
  VAR_data* var = nullptr; /* the variable table */
  int num_field = 0;       /* highest stored field index plus 1 */
  int num_stats = 0;       /* highest station index plus 1 */
  int grid = 0;            /* 1 once the source's gridding step ran for this frame */
  bool failed = false;     /* the store could not take every report */
};

/* Constant-initialised, so that the grid layer's registration at start-up
 * can never be undone by this module's own initialisation. */
constinit DataState state;

bool field_ok(const char* who, int fld) {
  if (fld >= 0 && fld < DATA_MAX_FIELDS) return true;
  MESS_print(M_warn, "%s: Field %d outside the store\n", who, fld);
  return false;
}

/* Every allocated array of the store at capacity n, keeping contents; new
 * values are missing. False (store untouched in size) when memory fails. */
bool resize_all(int n) {
  try {
    if (state.dimension >= 1) state.x.resize(static_cast<size_t>(n), kMiss);
    if (state.dimension >= 2) state.y.resize(static_cast<size_t>(n), kMiss);
    if (state.dimension >= 3) state.z.resize(static_cast<size_t>(n), kMiss);
    for (Field& f : state.fields)
      if (f.stored) {
        f.u.resize(static_cast<size_t>(n), kMiss);
        f.v.resize(static_cast<size_t>(n), kMiss);
      }
  } catch (const std::bad_alloc&) {
    return false;
  }
  state.limit = n;
  return true;
}

void release_all() {
  std::vector<float>().swap(state.x);
  std::vector<float>().swap(state.y);
  std::vector<float>().swap(state.z);
  for (Field& f : state.fields) {
    std::vector<float>().swap(f.u);
    std::vector<float>().swap(f.v);
    f.stored = false;
  }
}

/* Sets the file-name keys of variable pos and builds its grid file name. */
bool grid_file_name(int pos, const Date* date, char* filename) {
  FILE_set_key('v', VAR_get_name(pos));
  FILE_set_key('l', VAR_get_level_key(pos));
  FILE_set_key('f', VAR_get_time_key(pos));
  return FILE_set_date(date, filename) == 0;
}

int num_vars() {
  int n = VAR_get_num();
  return n < 0 ? 0 : (n > DATA_MAX_FIELDS ? DATA_MAX_FIELDS : n);
}

/* Saves and restores the file-name convention around a scope. */
struct KeepNameConv {
  KeepNameConv() { FILE_save_name_conv(); }
  ~KeepNameConv() { FILE_restore_name_conv(); }
  KeepNameConv(const KeepNameConv&) = delete;
  KeepNameConv& operator=(const KeepNameConv&) = delete;
};

} // namespace

/* ---- the station store ---------------------------------------------------- */

int DATA_init(int lim, int dim) {
  release_all();
  state.limit = 0;
  state.num_field = state.num_stats = 0;
  state.failed = false;
  state.var = VAR_get_vars();
  OBJ_initialize();
  if (lim <= 0) lim = DATA_DEF_LIMIT;
  if (dim < 1 || dim > 3) {
    MESS_print(M_warn, "DATA_init: Invalid dimension %d\n", dim);
    state.dimension = 0;
    state.failed = true;
    return -1;
  }
  if (lim > DATA_MAX_STATIONS) {
    MESS_print(M_warn, "DATA_init: At most %d stations, not %d\n", DATA_MAX_STATIONS, lim);
    state.dimension = 0;
    state.failed = true;
    return -1;
  }
  state.dimension = dim;
  if (!resize_all(lim)) {
    MESS_print(M_warn, "DATA_init: No memory for %d stations\n", lim);
    release_all();
    state.dimension = 0;
    state.failed = true;
    return -1;
  }
  return 0;
}

int DATA_add_field(int fld, const VAR_data* vardata) {
  if (!field_ok("DATA_add_field", fld)) return -1;
  if (state.dimension == 0) {
    MESS_print(M_warn, "DATA_add_field: No station store\n");
    return -1;
  }
  Field& f = state.fields[static_cast<size_t>(fld)];
  if (state.var && vardata && state.var + fld != vardata) state.var[fld] = *vardata;
  if (!f.stored) {
    try {
      f.u.assign(static_cast<size_t>(state.limit), kMiss);
      f.v.assign(static_cast<size_t>(state.limit), kMiss);
    } catch (const std::bad_alloc&) {
      std::vector<float>().swap(f.u);
      std::vector<float>().swap(f.v);
      MESS_print(M_warn, "DATA_add_field: No memory for field %d\n", fld);
      state.failed = true;
      return -1;
    }
    f.stored = true;
  }
  if (state.num_field < fld + 1) state.num_field = fld + 1;
  return 0;
}

int DATA_chk_field(int fld) {
  if (fld < 0 || fld >= DATA_MAX_FIELDS) return 0;
  return state.fields[static_cast<size_t>(fld)].stored ? 1 : 0;
}

int DATA_add_loc(int sta, ...) {
  if (state.dimension == 0) {
    MESS_print(M_warn, "DATA_add_loc: No station store\n");
    return -1;
  }
  if (sta < 0 || sta > state.limit) {
    MESS_print(M_warn, "DATA_add_loc: Station %d outside the store of %d\n", sta, state.limit);
    return -1;
  }
  if (sta == state.limit) {
    const int grown = state.limit + DATA_GROW;
    if (grown > DATA_MAX_STATIONS || !resize_all(grown)) {
      MESS_print(M_warn, "DATA_add_loc: Unable to grow the store beyond %d stations\n", state.limit);
      state.failed = true;
      return -1;
    }
    MESS_print(M_mess, "Increasing arrays to %d\n", state.limit);
  }
  va_list ap;
  va_start(ap, sta);
  const size_t k = static_cast<size_t>(sta);
  state.x[k] = static_cast<float>(va_arg(ap, double));
  if (state.dimension >= 2) state.y[k] = static_cast<float>(va_arg(ap, double));
  if (state.dimension >= 3) state.z[k] = static_cast<float>(va_arg(ap, double));
  va_end(ap);
  return 0;
}

int DATA_add_raw(int sta, int fld, const RAW_data* data) {
  if (!field_ok("DATA_add_raw", fld) || !data) return -1;
  if (sta < 0 || sta >= state.limit) {
    MESS_print(M_warn, "DATA_add_raw: Station %d outside the store of %d\n", sta, state.limit);
    return -1;
  }
  Field& f = state.fields[static_cast<size_t>(fld)];
  if (f.stored) {
    f.u[static_cast<size_t>(sta)] = data->value[0];
    f.v[static_cast<size_t>(sta)] = data->value[1];
  }
  if (state.num_stats < sta + 1) state.num_stats = sta + 1;
  return 0;
}

int DATA_get_raw(int sta, int fld, RAW_data* data) {
  if (!data || sta < 0 || sta >= state.num_stats || fld < 0 || fld >= state.num_field) return 0;
  const size_t k = static_cast<size_t>(sta);
  data->x = state.x[k];
  data->y = state.dimension >= 2 ? state.y[k] : kMiss;
  if (state.var) {
    const VAR_data& v = state.var[fld];
    data->type = v.type;
    const size_t n = strnlen(v.format, std::min(sizeof v.format, sizeof data->format - 1));
    std::memcpy(data->format, v.format, n);
    data->format[n] = '\0';
  }
  const Field& f = state.fields[static_cast<size_t>(fld)];
  if (f.stored) {
    data->value[0] = f.u[k];
    data->value[1] = f.v[k];
  }
  return 1;
}

int DATA_get_num_stats() { return state.num_stats; }

int DATA_inc_num_stats(int inc) {
  long long n = static_cast<long long>(state.num_stats) + inc;
  /* The count never claims stations beyond the arrays. */
  if (n < 0 || n > state.limit) {
    MESS_print(M_warn, "DATA_inc_num_stats: %lld stations do not fit the store of %d\n", n, state.limit);
    n = n < 0 ? 0 : state.limit;
  }
  state.num_stats = static_cast<int>(n);
  return 0;
}

int DATA_print() {
  const Field& f = state.fields[0];
  for (int k = 0; k < state.num_stats; ++k) {
    const size_t i = static_cast<size_t>(k);
    MESS_print(M_print, "%f %f = %f %f\n", state.x[i], state.dimension >= 2 ? state.y[i] : kMiss,
               f.stored ? f.u[i] : kMiss, f.stored ? f.v[i] : kMiss);
  }
  return 0;
}

int DATA_free() {
  release_all();
  state.limit = 0;
  state.dimension = 0;
  state.num_field = state.num_stats = 0;
  return 0;
}

/* ---- gridding --------------------------------------------------------------- */

int DATA_new_grid() {
  for (int i = 0; i < GRD_STORE_SLOTS; ++i)
    if (GRD_report* s = GRD_get_grid(i)) s->source = 0;
  state.grid = 0;
  return 0;
}

int DATA_fit_grid(DATA_info* data) {
  if (state.grid != 0 || !data) return 0;
  bool fit = false;
  for (int i = 0; i < num_vars() && !fit; ++i) fit = VAR_is_fit_GRID(i) != 0;
  if (!fit) return 0;
  if (!data->grid_data) {
    MESS_print(M_warn, "DATA_fit_grid: The source has no gridding step\n");
    return 0;
  }
  data->grid_data(data);
  state.grid = 1;
  return 0;
}

int DATA_setup_grid(DATA_info* data) {
  if (!data) return 0;
  const int nvar = num_vars();
  KeepNameConv keep;
  if (DATA_init(DATA_DEF_LIMIT, 2) != 0) return 0;

  if (DOM_get_grid_domain(&data->grd_domain) <= 0) data->grd_domain = data->domain;
  GRD_set_grid_domain(0, &data->grd_domain);
  /* The analysis grid as the store makes it (refined by "gridx"); a saved
   * file covers the region when it has this grid. */
  Domain analysis = data->grd_domain;
  if (GRD_report* s0 = GRD_get_grid(0)) analysis = s0->domain;
  if (data->out_grid) data->out_grid();
  const int model = data->model == KEZ_MISS ? 1 : data->model;

  bool analyse = false;
  for (int pos = 0; pos < nvar; ++pos) {
    if (!VAR_is_type_GRID(pos)) continue;
    char filename[FILE_PATH_LEN] = "";
    OBJ_decode_format(VAR_get_format(pos));
    const bool named = grid_file_name(pos, &data->date, filename);
    GRD_report* slot = GRD_get_grid(pos);
    if (!slot) continue;
    GRD_info info{};
    int type = 0;
    if (named && GRD_read_check(filename, slot, &info, &type, &analysis)) continue;

    VAR_data* var = VAR_get_var(pos);
    if ((VAR_is_REG(pos) || VAR_is_SUBREG(pos)) && data->get_var) data->get_var(var);
    char text[160] = "";
    VAR_make_var_datatype(pos, text, sizeof text);
    GRD_set_grid_info(pos, text);
    GRD_set_var(pos);
    std::string label;
    DATE_make_label_for_time(var ? var->time : KEZ_MISS, model, &data->date, &label);
    GRD_set_grid_date(pos, &data->date, label.c_str());

    if (VAR_is_fit_GRID(pos)) {
      GRD_set_grid_domain(pos, &data->grd_domain);
      if (GRD_alloc_grid(pos) != 0) {
        MESS_print(M_warn, "DATA_setup_grid: No grid for field %d; it is not analysed\n", pos + 1);
        continue;
      }
      if (DATA_add_field(pos, var) == 0) analyse = true;
    }
  }
  return analyse ? 1 : 0;
}

int DATA_get_data(DATA_info* data) {
  if (!data || !data->read_report || !data->get_data) {
    MESS_print(M_warn, "DATA_get_data: The source cannot read reports\n");
    state.failed = true;
    return -1;
  }
  if (state.dimension == 0) {
    MESS_print(M_warn, "DATA_get_data: No station store\n");
    state.failed = true;
    return -1;
  }
  if (data->rewind) data->rewind();
  MESS_print(M_mess, "Reading in data from converted file...\n");
  CTY_locate loc{};
  int sta = 0;
  for (;;) {
    const int res = data->read_report(data->report, &loc);
    if (res < 0) break;
    if (res == 0) continue;
    float gx = kMiss, gy = kMiss;
    MAP_domain_tran(&data->domain, &data->grd_domain, loc.x, loc.y, &gx, &gy);
    if (DATA_add_loc(sta, static_cast<double>(gx), static_cast<double>(gy)) != 0) {
      MESS_print(M_warn, "DATA_get_data: Gridding given up after %d stations\n", sta);
      state.failed = true;
      return -1;
    }
    RAW_data datum{};
    datum.x = gx;
    datum.y = gy;
    datum.type = KEZ_MISS;
    for (int fld = 0; fld < state.num_field; ++fld) {
      if (!DATA_chk_field(fld)) continue;
      datum.value[0] = datum.value[1] = kMiss;
      datum.data[0] = '\0';
      data->get_data(data->report, state.var ? state.var + fld : VAR_get_var(fld), &datum);
      datum.data[sizeof datum.data - 1] = '\0';
      DATA_add_raw(sta, fld, &datum);
    }
    ++sta;
  }
  return 0;
}

int DATA_object_analyze() {
  GRD_report* grids = GRD_get_grid(0);
  if (state.failed || state.dimension < 2) {
    /* An incomplete store would give grids that look sound but are not:
     * the fitted grids are dropped instead. */
    MESS_print(M_warn, "DATA_object_analyze: The station store is incomplete; no analysis\n");
    for (int f = 0; f < state.num_field; ++f)
      if (state.fields[static_cast<size_t>(f)].stored) GRD_free(grids + f);
    return -1;
  }
  std::array<float*, DATA_MAX_FIELDS> z{};
  for (int f = 0; f < state.num_field; ++f) {
    Field& fl = state.fields[static_cast<size_t>(f)];
    z[static_cast<size_t>(f)] = fl.stored ? fl.u.data() : nullptr;
  }
  OBJ_analyze(state.x.data(), state.y.data(), z.data(), state.num_stats, state.num_field, grids);
  return 0;
}

int DATA_save_grid(DATA_info* data) {
  if (!data) return 0;
  KeepNameConv keep;
  const int type = data->out_grid ? data->out_grid() : 0;
  for (int pos = num_vars() - 1; pos >= 0; --pos) {
    if (!VAR_is_type_GRID(pos)) continue;
    GRD_report* slot = GRD_get_grid(pos);
    if (!slot || !slot->grid) continue; /* nothing to write */
    char filename[FILE_PATH_LEN] = "";
    /* The header takes the grid's own sizes, so that it always agrees
     * with the values written after it. */
    GRD_info info{};
    info.grid_type = 0;
    info.date = data->date;
    info.max_x = slot->domain.nx;
    info.max_y = slot->domain.ny;
    if (!grid_file_name(pos, &data->date, filename)) continue;
    GRD_save_file(filename, slot, &info, type);
  }
  return 0;
}
