/*
 * hooks: the registrations of the calls that go up a layer.
 *
 * A lower layer never names a function of a higher one. Where a lower
 * layer's work needs one (the frame's domain converters decode through the
 * map layer, its date labels name models through the data layer's
 * variable tables, the variable parser asks the grid calculator which names
 * are functions), the lower layer keeps a hook and this file, linked as
 * an object into every program and test (not from an archive, so that it
 * is always part of the program), sets the hooks at start-up. A new upward
 * call is a hook in the lower module and one line here, and is listed in
 * docs/architecture.md.
 */
#include <cstdio>
#include <string>

#include "kez.h"
#include "kezcont.h"
#include "kezcty.h"
#include "kezgrd.h"
#include "kezraw.h"
#include "kezsfc.h"
#include "kezupa.h"

namespace {

/* The data pipeline sits below the grid layer; the store lends it these. */
constexpr DATA_grid_ops data_grid_ops = {GRD_get_grid,      GRD_set_grid_domain, GRD_alloc_grid,
                                         GRD_free,          GRD_set_grid_info,   GRD_set_var,
                                         GRD_set_grid_date, GRD_read_check,      GRD_save_file};

/* VAR_model has a C-string form too; the hook takes the string form. */
int model_namer(std::string* name, int model) { return VAR_model(name, model); }

/* The plot frame sits below the grid store, contouring and the GRIB
 * decoder: they lend it the value read-out, the grid edit and the switches
 * that its plot keywords set. */
constexpr PLT_grid_hooks plot_grid_hooks{GRD_get_grid,   GRD_find_param_grids, GRD_print_value, GRD_print_value2,
                                         GRD_edit_value, GRD_set_grid_factor,  GRD_set_format,  GRD_use_hdr_file};
constexpr PLT_cont_hooks plot_cont_hooks{CONT_get_bar,  CONT_set_bar,         CONT_set_bar_range,
                                         CONT_set_skip, CONT_set_plot_offset, VECT_get_vect};
constexpr PLT_grib_hooks plot_grib_hooks{GRIB_set_max_bad};
constexpr PLT_var_hooks plot_var_hooks{VAR_get_num,     VAR_get_name,     VAR_is_PLOT,      VAR_is_COMP,
                                       VAR_is_type_MAP, VAR_is_type_VECT, VAR_is_type_CONT, VAR_is_plot_CONT};

/* The frame drawing of the data pipeline hands grids to the contour and
 * vector plotters and draws the contour colour bar. */
constexpr DATA_plot_hooks data_plot_hooks{
    CONT_plot_setup,      CONT_draw,       CONT_get_type,    CONT_get_bar,     CONT_draw_bar,  VECT_set_type,
    VECT_set_format,      VECT_plot_setup, VECT_draw,        VECT_get_vect,    VECT_draw_vect, GRD_get_grid,
    GRD_find_param_grids, GRD_units,       GRD_is_plot_func, GRD_get_grid_info};

/* The grid files read GRIB messages through the decoder above them. */
constexpr GRD_grib_ops grid_grib_ops{GRIB_header,       GRIB_next, GRIB_get_version, GRIB_get_info,     GRIB_PDB,
                                     GRIB_GDB,          GRIB_BMB,  GRIB_BDB,         GRIB_read_section, GRIB_get_sect,
                                     GRIB_skip_section, GRIB_IDS,  GRIB_GDS,         GRIB_PDS,          GRIB_DRS,
                                     GRIB_BMS,          GRIB_DS,   GRIB_set_domain,  GRIB_units};
/* The station plot of the map layer draws each station's text as one
 * datum of the data layer. */
int station_text(float x, float y, const char* text, const Gattribs* attr) {
  RAW_data d;
  RAW_data_init(&d);
  d.x = x;
  d.y = y;
  d.type = VAR_TYPE_DATA;
  d.format[0] = '\0';
  if (attr) d.attr = *attr;
  std::snprintf(d.data, sizeof d.data, "%s", text ? text : "");
  return RAW_plot_data(&d);
}
constexpr CTY_plot_hooks station_plot_hooks{RAW_plot_init, RAW_set_marker,  station_text,        CONT_set_fill_colors,
                                            CONT_set_base, CONT_set_intrvl, CONT_get_fill_attrib};

/* The map plot draws and grids raw point-data files, reads the station
 * plot's range into the contour settings and draws their colour bar. The
 * hooks take constant texts while the raw-file requests are cut in place,
 * so a copy is handed on. */
int plot_raw_file(const char* file, int label) {
  std::string request(file ? file : "");
  return RAW_plot_file(request.data(), label);
}
int grid_raw_file(const char* file, int label) {
  std::string request(file ? file : "");
  return RAW_grid_file(request.data(), label);
}
constexpr MAP_data_hooks map_data_hooks{plot_raw_file, grid_raw_file, RAW_get_range, CONT_set_range,
                                        CONT_get_bar,  CONT_draw_bar, CONT_set_type, CONT_set_fill_colors};

/* Raw files are analysed into the grid store and contoured, both a layer
 * above the raw-file plotter. */
constexpr RAW_grid_hooks raw_grid_hooks{GRD_init_grids,    GRD_get_grid,      GRD_set_grid_domain, GRD_alloc_grid,
                                        GRD_set_grid_info, GRD_set_grid_date, GRD_read_check,      GRD_save_file,
                                        CONT_plot_setup,   CONT_draw,         CONT_get_bar,        CONT_draw_bar,
                                        CONT_flash_value};

/* A sounding from grids is finished by the upper-air subsystem (heights,
 * date label) and turns wind components through the vector tools. */
constexpr GRD_sound_hooks grid_sound_hooks{UPA_calc_height, UPA_set_datim, vect2wind};

/* The surface plot driver sits below the grid store, the grid calculator
 * and contouring: they free, derive and save its analysed grids and flash
 * the colour bar's values. */
constexpr SFC_grid_hooks sfc_grid_hooks{GRD_get_grid, GRD_free, GRD_calc_var, GRD_save_file, CONT_flash_value};

struct Registrations {
  Registrations() {
    RES_set_domain_decoder(DOM_decode);
    /* Station data are coloured by value through the contour settings. */
    static constexpr RAW_contour_ops contour_ops{CONT_init,       CONT_set_fill_colors, CONT_get_type,
                                                 CONT_set_type,   CONT_set_base,        CONT_set_cutoff,
                                                 CONT_set_intrvl, CONT_get_values,      CONT_get_fill_attrib};
    RAW_set_contour_ops(&contour_ops);
    DATE_set_model_namer(model_namer);
    GRD_calc_register();
    DATA_set_grid_ops(&data_grid_ops);
    DATA_set_plot_hooks(&data_plot_hooks);
    PLT_set_grid_hooks(&plot_grid_hooks);
    PLT_set_cont_hooks(&plot_cont_hooks);
    PLT_set_grib_hooks(&plot_grib_hooks);
    PLT_set_var_hooks(&plot_var_hooks);
    GRD_set_grib_ops(&grid_grib_ops);
    GRD_set_sound_hooks(&grid_sound_hooks);
    CTY_set_plot_hooks(&station_plot_hooks);
    MAP_set_data_hooks(&map_data_hooks);
    RAW_set_grid_hooks(&raw_grid_hooks);
    SFC_set_grid_hooks(&sfc_grid_hooks);
  }
};

const Registrations registrations;

} // namespace
