/*
 * data_plt: drawing one frame of a plot from a data source.
 *
 * The frame walks the parsed variable list in order: gridded records go to
 * the contour and vector plotters, runs of station records read every
 * report of the source once and draw one datum per record and station,
 * map and panel records place the map outlines and open panels. Around the
 * records come the map underlay and overlay, one colour bar and one vector
 * reference per frame or panel, and the corner labels.
 */
#include "kez.h"

#include "kezcont.h"
#include "kezcty.h"
#include "kezgks.h"
#include "kezgrd.h"
#include "kezraw.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr M_type kTrace = M_debug;
constexpr int kLabelLen = 200;

/* Map drawing modes: bits of the map list's item kinds. */
constexpr int kMapUnder = 1;
constexpr int kMapOver = 2;
constexpr int kMapPlain = 4;

/* The size of a range circle's nautical mile, and the least range drawn. */
constexpr float kKmPerNmi = 1.852f;
constexpr float kMinRange = 10.0f;

/* World transformations: the page, and the plot area. */
constexpr int kTransPage = 1;
constexpr int kTransPlot = 2;

struct {
  int fill = 0;
  int map = 0;
  int panel = 0;
  int bar = 0;
  int vbar = 0;
  int vfunc = 0;
  Gattribs data_attr{};
  Gattribs wind_attr{};
  Gattribs cld_attr{};
  Gattribs wx_attr{};
  float scale = 1.0f;
  int plt_site = 0;
  float plt_dist = 0.0f;
} state;

bool past_end(int ind) { return ind < 0 || ind >= VAR_get_num(); }

/* The contour types that fill: colour fill, bands, and the contour
 * plotter's filled-line kind. */
constexpr int kFillLines = 52;
bool is_fill_type(int type) { return type == VAR_TYPE_FCONT || type == VAR_TYPE_BCONT || type == kFillLines; }
bool is_vector_type(int type) { return type >= VAR_TYPE_WIND && type <= VAR_TYPE_STRM; }
bool is_contour_type(int type) { return type >= VAR_TYPE_GRID && type <= VAR_TYPE_GVALUE; }

int depth(int ind) { return VAR_get_flag(ind) / 10; }

const Gattribs& attr_of(int type) {
  if (type >= VAR_TYPE_WBARB && type <= VAR_TYPE_VBARB) return state.wind_attr;
  if (type == VAR_TYPE_CLOUD) return state.cld_attr;
  if (type == VAR_TYPE_SYMB) return state.wx_attr;
  return state.data_attr;
}

/* A station record that a run may draw: a station type outside any
 * function (arguments of a function are the function's, never stations). */
bool station_record(int ind) { return VAR_is_type_PLOT(ind) && depth(ind) == 0; }

/* The members of a run that began at a record inside a group or vector:
 * the following plain members of it, at no function depth. */
bool run_member(int ind) { return VAR_get_flag(ind) == VAR_KIND_SUBREG; }

std::string format_of(int ind) {
  const char* f = VAR_get_format(ind);
  return f != nullptr ? f : "";
}

void set_vect_type(int type) { VECT_set_type(type); }

void label_time(const DATA_info* data, int time) {
  PLT_label_date(&data->date);
  PLT_label_for_time(time);
}

} // namespace

int DATA_plot_init() {
  const int ptype = FLAG_get(FLAG_PLOT_TYPE);
  state.fill = is_fill_type(ptype) ? 1 : 0;
  state.map = 0;
  for (int i = 0; i < VAR_get_num(); ++i)
    if (VAR_get_type(i) == VAR_TYPE_MAP) state.map = 1;
  const bool inverse = gget_inverse() != 0;
  for (Gattribs* a : {&state.data_attr, &state.wind_attr, &state.cld_attr, &state.wx_attr}) ATTRIB_init(a);
  ATTRIB_get("color_data", "green", &state.data_attr);
  ATTRIB_get("color_wind", inverse ? "black" : "white", &state.wind_attr);
  ATTRIB_get("color_cloud", inverse ? "black" : "white", &state.cld_attr);
  ATTRIB_get("color_wx", inverse ? "brown" : "yellow", &state.wx_attr);
  state.scale = 1.0f;
  float sc = KEZ_FMISS;
  if (RES_getval("plot_scale", &sc, CV_float) == 1 && sc != KEZ_FMISS && sc > 0) state.scale = sc;
  return 0;
}

int DATA_plot_start() {
  GPH_trans(kTransPlot);
  DATA_new_frame();
  DATA_map_underlay();
  state.panel = 0;
  return 0;
}

int DATA_plot_begin() {
  DATA_new_frame();
  DATA_map_underlay();
  return 0;
}

int DATA_plot_end() {
  DATA_map_overlay();
  PLT_labels();
  return 0;
}

int DATA_new_frame() {
  PLT_set_overlay(0);
  state.bar = 0;
  state.vbar = 0;
  return 0;
}

int DATA_map_underlay() {
  MAP_draw(state.map == 1 || state.fill ? kMapUnder : kMapUnder | kMapPlain);
  return 0;
}

int DATA_map_overlay() {
  if (state.map != 1 && state.fill) {
    MAP_fill_cont(1);
    MAP_draw(kMapOver | kMapPlain);
  } else {
    MAP_draw(kMapOver);
  }
  return 0;
}

int DATA_plot_cont(int ind, DATA_info* data, const char* /*form*/) {
  if (data == nullptr || past_end(ind)) return ind;
  label_time(data, VAR_get_var(ind)->time);
  GRD_report* grid = GRD_get_grid(ind);
  CONT_plot_setup(data->plot, ind, grid, &data->domain, data->callback);
  if (is_fill_type(CONT_get_type())) state.fill = 1;
  CONT_draw(grid);
  /* The contour plotter may leave its grid transformation selected; what
   * follows is drawn in plot coordinates. */
  GPH_trans(kTransPlot);
  return ind;
}

int DATA_plot_vect(int ind, DATA_info* data, char* units, const char* form) {
  if (data == nullptr || past_end(ind)) return ind;
  const std::string fmt = form != nullptr ? std::string(form) : format_of(ind);
  label_time(data, VAR_get_var(ind)->time);
  VECT_set_format(VAR_get_type(ind), fmt.c_str());
  GRD_report* grids[2] = {nullptr, nullptr};
  float values[2] = {KEZ_FMISS, KEZ_FMISS};
  int last = ind;
  if (const int r = GRD_find_param_grids(ind, 2, state.vfunc, grids, values); r >= ind) last = r;
  if (units != nullptr && grids[0] != nullptr && grids[1] != nullptr) {
    if (units[0] != '\0') {
      GRD_units(grids[0], units);
      GRD_units(grids[1], units);
    } else {
      /* The caller's buffer is a variable's units field. */
      std::snprintf(units, sizeof(VAR_data::units), "%.*s", static_cast<int>(sizeof grids[0]->units), grids[0]->units);
    }
  }
  VECT_plot_setup(data->plot, ind, grids[0], grids[1], &data->domain, data->callback);
  VECT_draw(grids[0], grids[1]);
  GPH_trans(kTransPlot);
  return last;
}

int DATA_plot_bar() {
  if (state.bar != 0 || CONT_get_bar() <= 0) return -1;
  GPH_trans(kTransPage);
  CONT_draw_bar(1, "");
  GPH_trans(kTransPlot);
  state.bar = 1;
  return 0;
}

int DATA_plot_vect_bar() {
  if (state.vbar != 0 || VECT_get_vect() <= 0) return -1;
  GPH_trans(kTransPage);
  VECT_draw_vect();
  GPH_trans(kTransPlot);
  state.vbar = 1;
  return 0;
}

int DATA_plot_grid(int ind, DATA_info* data) {
  if (past_end(ind) || data == nullptr) return ind;
  VAR_data* var = VAR_get_var(ind);
  const int type = var->type;
  int last = ind;
  bool drawn = true;
  if (VAR_is_plot_VECT(ind) && is_vector_type(type)) {
    set_vect_type(type);
    last = DATA_plot_vect(ind + 1, data, var->units, var->format);
    DATA_plot_bar();
    DATA_plot_vect_bar();
  } else if (VAR_is_plot_FUNC_VECT(ind)) {
    set_vect_type(type);
    last = DATA_plot_vect(ind, data, var->units, var->format);
    DATA_plot_bar();
    DATA_plot_vect_bar();
  } else if (VAR_is_plot_FUNC(ind) && is_vector_type(type)) {
    set_vect_type(type);
    if (GRD_is_plot_func(var->name) > 0) {
      state.vfunc = 1;
      last = DATA_plot_vect(ind + 1, data, var->units, var->format);
      state.vfunc = 0;
    } else {
      last = DATA_plot_vect(ind, data, nullptr, nullptr);
    }
    DATA_plot_bar();
    DATA_plot_vect_bar();
  } else if (VAR_is_plot_GRID(ind)) {
    if (is_vector_type(type))
      last = DATA_plot_vect(ind, data, nullptr, nullptr);
    else if (is_contour_type(type))
      last = DATA_plot_cont(ind, data, nullptr);
    DATA_plot_bar();
    if (is_vector_type(type)) DATA_plot_vect_bar();
  } else {
    drawn = false;
  }
  if (!drawn) return ind;
  if (VAR_is_LABEL(ind)) {
    char text[kLabelLen] = "";
    if (is_vector_type(type) || PLT_get_label_type() < 0) {
      VAR_make_var_form_datatype(ind, text, sizeof text);
    } else {
      const char* info = GRD_get_grid_info(ind);
      std::snprintf(text, sizeof text, "%s", info != nullptr ? info : "");
    }
    PLT_label_up_left(text);
    PLT_next_overlay();
  }
  MESS_print(kTrace, "GRID--BEG: %d END: %d\n", ind, last);
  return last < ind ? ind : last;
}

int DATA_plot_raw_label(int beg, int end, DATA_info* data) {
  if (data == nullptr) return 0;
  for (int i = beg; i <= end && !past_end(i); ++i) {
    if (!VAR_is_type_PLOT(i) || !VAR_is_LABEL(i)) continue;
    VAR_data* var = VAR_get_var(i);
    if (data->get_var) data->get_var(var);
    char text[kLabelLen] = "";
    VAR_make_var_form_datatype(i, text, sizeof text);
    PLT_label_up_left(text);
    label_time(data, var->time);
    std::string tlabel;
    DATE_make_label_for_time(var->time, data->model, &data->date, &tlabel);
    PLT_label_up_right(tlabel.c_str());
    PLT_next_overlay();
  }
  return 0;
}

int DATA_plot_raw(int ind, DATA_info* data) {
  if (past_end(ind) || data == nullptr || !station_record(ind)) return ind;
  if (data->plot_data && data->plot_data(ind) != 0) return ind;
  if (VAR_is_COMP(ind)) {
    DATA_plot_raw_label(ind, ind, data);
    return ind;
  }
  /* A run is one plain record, or the members of one group or vector:
   * whatever follows them (a header, a function) is not the run's. */
  int end = ind;
  if (!VAR_is_REG(ind))
    while (!past_end(end + 1) && run_member(end + 1)) ++end;
  MESS_print(kTrace, "PLOT--BEG: %d END: %d\n", ind, end);

  FILE_save_name_conv();
  if (data->out_raw && data->out_raw() != 0 && RAW_date_open_run(&data->date, ind, end) <= 0)
    MESS_print(M_warn, "DATA_plot_raw: raw output of the station data not written\n");
  FILE_restore_name_conv();

  RAW_plot_init(&attr_of(VAR_get_type(ind)), state.scale);
  MAP_plot_grid_init();
  gset_fill_print_solid(1);
  if (data->rewind) data->rewind();

  CTY_locate loc{};
  RAW_data datum;
  for (;;) {
    if (!data->read_report) break;
    const int r = data->read_report(data->report, &loc);
    if (r < 0) break;
    if (r == 0) continue;
    RAW_data_init(&datum);
    if (MAP_plot_grid(loc.x, loc.y) == 0) continue;
    datum.x = loc.x;
    datum.y = loc.y;
    char* text = static_cast<char*>(CTY_get_data(loc.id));
    RAW_save_station(&loc);
    if (state.plt_dist >= kMinRange) MAP_draw_circle(loc.x, loc.y, state.plt_dist * kKmPerNmi);
    if (state.plt_site) {
      RAW_data site = datum;
      site.type = VAR_TYPE_MARK;
      std::snprintf(site.data, sizeof site.data, "plus");
      RAW_plot_data(&site);
    }
    int prev_type = KEZ_MISS;
    for (int i = ind; i <= end; ++i) {
      if (!station_record(i)) continue;
      VAR_data* var = VAR_get_var(i);
      if (i == ind || var->type != prev_type) datum.attr = attr_of(var->type);
      prev_type = var->type;
      datum.type = var->type;
      if (data->get_data) data->get_data(data->report, var, &datum);
      /* A datum's format holds less than a record's: the rest is cut. */
      const std::size_t n = strnlen(var->format, sizeof datum.format - 1);
      std::memcpy(datum.format, var->format, n);
      datum.format[n] = '\0';
      RAW_save_data(&datum);
      if (text != nullptr) RAW_set_var_string(var, &datum, text);
      RAW_plot_data(&datum);
    }
    RAW_save_end();
  }

  gset_fill_print_solid(0);
  DATA_plot_raw_label(ind, end, data);
  DATA_plot_bar();
  RAW_close_file();
  return end;
}

int DATA_plot_map(int ind) {
  if (past_end(ind)) return -1;
  if (VAR_get_type(ind) != VAR_TYPE_MAP) return 0;
  MAP_set_format(format_of(ind).c_str());
  MAP_draw(kMapPlain);
  return 0;
}

int DATA_plot_panel(int ind, Domain* domain) {
  if (state.panel > 0) DATA_plot_end();
  PLT_panel_decode(format_of(ind).c_str());
  PLT_panel(0);
  if (domain != nullptr) MAP_setup(domain);
  DATA_plot_begin();
  ++state.panel;
  return 0;
}

int DATA_plot_control(int ind, Domain* domain) {
  if (past_end(ind)) return -1;
  if (VAR_get_type(ind) != VAR_TYPE_PANEL) return 0;
  MESS_print(M_mess, "New panel: %s\n", format_of(ind).c_str());
  return DATA_plot_panel(ind, domain);
}

int DATA_set_site(int val) {
  state.plt_site = val;
  return 0;
}

int DATA_set_dist(float val) {
  state.plt_dist = val;
  return 0;
}
