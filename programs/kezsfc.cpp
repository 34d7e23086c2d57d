/*
 * kezsfc: the surface weather plotting program.
 *
 * Until the plotting layers stand, the program gathers its settings the way
 * every program of the suite does (defaults files, loop window, environment,
 * command line), prints its help when asked, and otherwise its banner and
 * the resources it was given.
 */
#include "kez.h"
#include "kezresrc.h"

#include <cstdlib>

namespace {

/* The options the program accepts, in the order of its help. */
constexpr res_type res_key[] = {
    RES_help,         RES_batch,        RES_message,    RES_file_path,   RES_data_path,   RES_con_path,
    RES_grid_path,    RES_raw_path,     RES_image_path, RES_watch_path,  RES_text_path,   RES_model_path,
    RES_sat_path,     RES_city_file,    RES_map_file,   RES_inputg,      RES_name_conv,   RES_in_file,
    RES_out_file,     RES_file_param,   RES_current,    RES_hour,        RES_num_hour,    RES_identifier,
    RES_plot_domain,  RES_grid_domain,  RES_region,     RES_stat_prior,  RES_time,        RES_variable,
    RES_object_param, RES_plot_type,    RES_plot_scale, RES_plot_format, RES_plot_param,  RES_draw,
    RES_label,        RES_con_interval, RES_con_base,   RES_font_list,   RES_color_table, RES_color_text,
    RES_color_data,   RES_color_map,    RES_color_grid, RES_color_line,  RES_color_front, RES_color_wind,
    RES_color_cloud,  RES_color_wx,     RES_color_cmap, RES_color_cont,  RES_color_fill,  RES_color_label,
    RES_color_clabel, RES_device,       RES_title,      RES_icon,        RES_background,  RES_geometry,
    RES_null};

/* Every further argument is an input file name. */
constexpr res_type res_pos[] = {RES_filenames, RES_null};

static_assert(sizeof res_key / sizeof res_key[0] == 61);

} // namespace

int main(int argc, char** argv) {
  RES_init(argc, argv, res_key, res_pos);
  if (FLAG_help() == 1) {
    char* name = RES_get_progname(nullptr);
    MESS_print(M_print, "%s: This program plots various types of surface data\n", name ? name : "kezsfc");
    RES_help_print(name ? name : "kezsfc", res_key, res_pos);
    std::free(name);
    KEZ_exit(0);
  }
  MESS_print_prog("SURFACE DATA PLOTTING");
  MESS_print(M_print, "Resources:\n");
  RES_list();
  return 0;
}
