/*
 * sfcplot: the surface weather plotting program.
 *
 * It gathers its settings (defaults files, loop window, environment,
 * command line), prints its help when asked, and then plots either coded
 * front bulletins or decoded surface observations: it finds the file, asks
 * for (or takes) a region, and for every variable list of the region makes
 * one plot. Everything that draws lives in the library; this file only
 * sequences the run.
 */
#include "kez.h"
#include "kezresrc.h"
#include "kezsfc.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

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

/* A data file the run needs is missing. */
constexpr int exit_missing_data = 3;

/* The stroke font the kernel loads first unless "font_list" names the
 * fonts: the first entry of the font list file, else its fallback; empty
 * for a font of the X server, which lies in no folder. */
std::string first_font() {
  std::string name = "modern.fnt";
  const std::string list = FILE_add_path(RES_get("file_path"), "kez.fnl");
  if (FILE* fp = FILE_open(list.c_str(), "r")) {
    std::string line;
    while (fget_text_line(fp, &line)) {
      const size_t abbr = line.find_first_not_of(" \t\r");
      if (abbr == std::string::npos) continue;
      const size_t gap = line.find_first_of(" \t\r", abbr);
      const size_t from = gap == std::string::npos ? gap : line.find_first_not_of(" \t\r", gap);
      if (from == std::string::npos) continue;
      name = line.substr(from, line.find_last_not_of(" \t\r") + 1 - from);
      break;
    }
    FILE_close(fp);
  }
  return name[0] == '#' ? "" : name;
}

/* A name as the user can find it, whatever the working folder. */
std::string absolute(const std::string& path) {
  std::error_code error;
  const std::filesystem::path full = std::filesystem::absolute(FILE_add_user_path(path.c_str()), error);
  return error ? path : full.lexically_normal().string();
}

/* The files without which a run draws nothing or a wrong chart: the naming
 * conventions, and for surface data the variable menu, the first font and
 * the station table. Each missing one is named with the place looked in,
 * and the run ends before it draws. */
void check_data_files(int input) {
  const char* folder = RES_get("file_path");
  std::vector<std::string> names;
  const char* conv = RES_get("name_conv");
  names.push_back(conv && *conv ? conv : "name_conv");
  if (input == SFC_INPUT_SFC) {
    char* prog = RES_get_progname(nullptr);
    names.push_back(std::string(prog ? prog : "sfcplot") + ".var");
    std::free(prog);
    const char* city = RES_get("city_file");
    if (!city || !*city)
      names.push_back("sao.cty");
    else if (stricmp(city, "none") != 0)
      names.push_back(city);
  }
  if (!RES_get("font_list")) names.push_back(first_font());

  std::vector<std::string> missing;
  for (const std::string& name : names) {
    /* Commands and the standard streams are not files to look for. */
    if (name.empty() || name[0] == '|' || FILE_is_stdio(name.c_str())) continue;
    const std::string path = FILE_add_path(folder, name.c_str());
    if (!FILE_is_file(path.c_str())) missing.push_back(path);
  }
  if (missing.empty()) return;
  if (folder && *folder && !FILE_is_dir(folder))
    MESS_print(M_error, "sfcplot: Data folder not found: %s\n", absolute(folder).c_str());
  else
    for (const std::string& path : missing)
      MESS_print(M_error, "sfcplot: Data file not found: %s\n", absolute(path).c_str());
  MESS_print(M_error,
             "sfcplot: Give the folder of the naming conventions, variable menu, fonts and station "
             "table with -fp or the \"file_path\" setting\n");
  KEZ_exit(exit_missing_data);
}

void front_loop() {
  std::vector<char> name(FILE_PATH_LEN, '\0');
  FILE_get_file("Enter the front filename: ", name.data());
  FRT_set_date(nullptr);
  Domain domain;
  DOM_init(&domain);
  while (DOM_prompt_region(&domain, 1) > 0) FRT_plot(&domain);
}

void surface_loop() {
  std::vector<char> name(FILE_PATH_LEN, '\0');
  FILE_get_file("Enter the surface filename: ", name.data());
  SFC_set_date(nullptr);
  for (;;) {
    Domain domain;
    DOM_init(&domain);
    const int r = DOM_prompt_region(&domain, 1);
    if (r == KEZ_MISS) continue;
    if (r <= 0) return;
    SFC_set_prompt_variable(1);
    while (SFC_prompt_variable() != 0) SFC_plot(&domain);
  }
}

} // namespace

int main(int argc, char** argv) {
  RES_init(argc, argv, res_key, res_pos);
  /* A misspelt option would otherwise be dropped without a word. */
  if (RES_unknown_options() > 0) KEZ_exit(KEZ_EXIT_USAGE);
  if (FLAG_help() == 1) {
    char* name = RES_get_progname(nullptr);
    MESS_print(M_print, "%s: This program plots various types of surface data\n", name ? name : "sfcplot");
    RES_help_print(name ? name : "sfcplot", res_key, res_pos);
    std::free(name);
    KEZ_exit(0);
  }
  /* Without a "file_path" from any source the installed data are used. */
  if (!RES_get("file_path")) RES_put("file_path", RES_data_folder().c_str());
  SFC_cvt_in_file();
  const int input = FLAG_get(SFC_FLAG_INPUT);
  check_data_files(input);
  VAR_set_def_type(2);
  MESS_print_prog("SURFACE DATA PLOTTING");
  if (input == SFC_INPUT_FRONT)
    front_loop();
  else if (input == SFC_INPUT_SFC)
    surface_loop();
  return 0;
}
