/*
 * kezresrc.h: the resource keys and the program's resource definitions.
 *
 * A program describes the resources it accepts by lists of keys, each list
 * ended by RES_null: one list of keyed options and one of positional
 * arguments. For every key the resource module knows a definition (resource
 * name, own environment variable, option abbreviation or position,
 * converter) and a help entry; RES_enter fills a definition for the
 * gathering and RES_help_print prints the option help of both lists.
 *
 * The keys are numbered from 0 in this order; stored key lists depend on it,
 * so new keys go at the end.
 */
#ifndef KEZRESRC_H
#define KEZRESRC_H

#include "kez.h"

enum res_type {
  RES_null = 0, /* ends every key list */
  RES_age,
  RES_background,
  RES_batch,
  RES_bin_path,
  RES_bull_file,
  RES_city_file,
  RES_color_cgrid,
  RES_color_clabel,
  RES_color_cloud,
  RES_color_cmap,
  RES_color_cont,
  RES_color_conts,
  RES_color_data,
  RES_color_echo,
  RES_color_fill,
  RES_color_front,
  RES_color_grid,
  RES_color_hodo,
  RES_color_hodtxt,
  RES_color_label,
  RES_color_labels,
  RES_color_line,
  RES_color_map,
  RES_color_pop,
  RES_color_rep,
  RES_color_sound,
  RES_color_table,
  RES_color_text,
  RES_color_therm,
  RES_color_thrmtxt,
  RES_color_wind,
  RES_color_wx,
  RES_command,
  RES_commands,
  RES_con_base,
  RES_con_bases,
  RES_con_interval,
  RES_con_intervals,
  RES_con_path,
  RES_current,
  RES_data_path,
  RES_data_src,
  RES_default,
  RES_draw,
  RES_decode_hour,
  RES_device,
  RES_file_param,
  RES_file_path,
  RES_filename,
  RES_filenames,
  RES_font_list,
  RES_forecast,
  RES_geometry,
  RES_grid_num,
  RES_grid_path,
  RES_grid_type,
  RES_help,
  RES_hour,
  RES_icon,
  RES_identifier,
  RES_identifiers,
  RES_identifierp,
  RES_image_path,
  RES_in_file,
  RES_in_files,
  RES_ingest_port,
  RES_ingestor,
  RES_input,
  RES_label,
  RES_labels,
  RES_level,
  RES_map_file,
  RES_message,
  RES_model,
  RES_name,
  RES_name_conv,
  RES_num_grid,
  RES_num_hour,
  RES_object_param,
  RES_out_file,
  RES_out_files,
  RES_output,
  RES_parameter,
  RES_plot_domain,
  RES_plot_format,
  RES_plot_param,
  RES_plot_range,
  RES_plot_scale,
  RES_plot_type,
  RES_plot_types,
  RES_position,
  RES_product,
  RES_program,
  RES_raw_path,
  RES_read_conf,
  RES_region,
  RES_save_param,
  RES_stat_prior,
  RES_state,
  RES_table,
  RES_time,
  RES_title,
  RES_unit,
  RES_values,
  RES_variable,
  RES_watch_path,
  RES_window_num,
  RES_color_watch,
  RES_log_file,
  RES_grid_domain,
  RES_inputg,
  RES_text_path,
  RES_model_path,
  RES_sat_path /* 114, the last key */
};

/* The start-up of a program: sets every flag to -9999, builds one
 * definition per key of both lists (each ended by RES_null), gathers and
 * converts the settings (RES_decode) and applies "keztz" as the display
 * time zone. 1. */
int RES_init(int argc, char** argv, const res_type* res_key, const res_type* res_pos);
/* Reports each option of the last command line that neither the program
 * nor any resource of the suite knows (a misspelt option, which is kept
 * as a plain resource and would otherwise pass unnoticed); their count. */
int RES_unknown_options();
/* Fills the six fields of a definition; 1. */
int RES_fill_obj(RES_defobj* obj, const char* def, const char* env, const char* cmd, DEF_convert cvt, char* out,
                 int* num);
/* Fills a definition from the key's entry, with no output. A key without a
 * definition gets an empty name (and empty environment and option texts),
 * which the gathering passes over. 1. */
int RES_enter(RES_defobj* obj, res_type key);
/* Prints the help line or lines of one key at the print level; 1. */
int RES_help_item(res_type res);
/* Prints the whole option help of a program; either list may be null. 1. */
int RES_help_print(const char* name, const res_type* res_key, const res_type* res_pos);

#endif /* KEZRESRC_H */
