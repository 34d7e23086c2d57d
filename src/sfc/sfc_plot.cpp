/*
 * sfc_plot: the surface plotting program's prompts and its plot driver.
 *
 * The program takes a file, a region and variable lists through the
 * prompts here (or its settings in batch mode); each list becomes one plot.
 * A plot opens the window or file device, loads the stations of the region
 * and hands the surface file to the data pipeline through a DATA_info
 * record whose callbacks read and place the reports. The pipeline walks
 * the reports of a file once for the analysis and once more for each
 * station plot, each walk reading the file anew: kept, a walk's reports
 * would cost more in fresh memory than reading them again. One file gives
 * one picture, a list or span of files one animation frame each. While the
 * window holds, zoom and resize re-run SFC_plot on the open window (the
 * stations and analysed grids are kept), "s-Alt" saves the analysed grid,
 * and with "refresh" a newer or grown input file is drawn into the frames.
 *
 * The input files' naming convention is the current one between uses:
 * whatever selects another (output choosers, front overlay, grid save)
 * saves and restores it, so the refresh always finds the newest input file.
 */
#include "kezsfc.h"

#include "kezcont.h"
#include "kezcty.h"
#include "kezgks.h"
#include "kezgrd.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kTransPlot = 2;
constexpr int kMenuFlags = 3; /* the variable menu offers "exit" and "main" */
constexpr M_type kDebug = 0xF0000000;

struct State {
  int cvt_fd = -1;
  DATA_info data{};
  SFC_report report{};
  SFC_info info{};
  int stat_num = 0;
  Date file_date{KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS};
  int refresh = 0;
  Domain domain{};
  std::int64_t fsecs = 0;  /* data time of the newest plotted file */
  std::int64_t pmsecs = 0; /* its modification time */
  int variable_prompt = 1;
  bool var_file_open = false;
  std::string var_str;
};
State state;

/* The items of a comma-separated resource. */
std::vector<std::string> items_of(const char* resource) {
  std::vector<std::string> out;
  int argc = 0;
  char** argv = nullptr;
  RES_getvals(resource, &argc, &argv);
  for (int i = 0; i < argc && argv; ++i)
    if (argv[i]) out.emplace_back(argv[i]);
  if (argv) free_parsed_array(argc, argv);
  return out;
}

bool begins(const std::string& item, const char* word) {
  return strnicmp(item.c_str(), word, static_cast<int>(std::strlen(word))) == 0;
}

/* Items that neither output chooser takes: no output, and the plot
 * frame's image dumps. */
bool not_a_convention(const std::string& item) {
  return stricmp(item.c_str(), "none") == 0 || begins(item, "gif") || begins(item, "png") || begins(item, "xwd") ||
         begins(item, "img");
}

/* The text after n characters, or the fallback when nothing follows. */
std::string after(const std::string& item, std::size_t n, const char* fallback) {
  return item.size() > n ? item.substr(n) : std::string(fallback);
}

std::int64_t data_seconds(const Date& date) {
  Date d = date;
  const std::int64_t secs = DATE_num_sec(&d);
  const std::int64_t step = FILE_get_late_off();
  return step > 0 ? secs / step * step : secs;
}

int refresh_entry(Domain* /*domain*/) { return SFC_plot_refresh(); }

void fill_source() {
  DATA_info& d = state.data;
  d.plot = 0;
  d.model = KEZ_MISS;
  d.date = state.file_date;
  d.out_raw = SFC_raw_out_file;
  d.out_grid = SFC_grd_out_file;
  d.domain = state.domain;
  d.report = &state.report;
  d.get_var = SFC_get_var;
  d.read_report = [](void* report, CTY_locate* loc) { return SFC_read_report(static_cast<SFC_report*>(report), loc); };
  d.rewind = SFC_rewind_file;
  /* The reports come from SFC_read_report, which gives none with an
   * absurd value. */
  d.get_data = [](void* report, VAR_data* var, RAW_data* datum) {
    return SFC_get_data_clean(static_cast<const SFC_report*>(report), var, datum);
  };
  d.plot_data = SFC_plot_data;
  d.grid_data = SFC_grid_data;
  d.callback = SFC_callback;
}

/* The files of the plot with the file layer's date of each. */
struct PlotFile {
  std::string name;
  Date date;
};

std::vector<PlotFile> plot_files() {
  std::vector<PlotFile> files;
  FILE_first(&state.file_date);
  std::vector<char> name(FILE_PATH_LEN, '\0');
  while (FILE_get_next(name.data()) == 1) {
    PlotFile f{name.data(), {}};
    FILE_get_date(&f.date);
    files.push_back(f);
  }
  return files;
}

/* Whether a name gave the file's time; a name the convention does not
 * describe (a copied sample, say) leaves the parts unset. */
bool dated(const Date& d) {
  return d.year != KEZ_MISS && d.month != KEZ_MISS && d.day != KEZ_MISS && d.hour != KEZ_MISS;
}

/* Draws one opened file into the current frame or page, dated by its name
 * or, when the name holds no date, by its header. */
void draw_file(const PlotFile& f, int plot) {
  const Date date = dated(f.date) ? f.date : state.info.date;
  state.pmsecs = FILE_modtime(f.name.c_str());
  state.fsecs = data_seconds(date);
  state.data.plot = plot;
  state.data.date = date;
  SFC_plot_frame();
  SFC_close_file();
}

/* Opens a surface file that holds at least one report; the warning of a
 * failure is printed when loud. */
bool open_reports(const char* filename, bool loud) {
  int type = 0;
  state.cvt_fd = filename ? SFC_open(filename, SFC_ACC_READ, &type) : -1;
  if (state.cvt_fd >= 0 && SFC_getinfo(state.cvt_fd, &state.info) < 0) SFC_close_file();
  if (state.cvt_fd < 0) {
    if (loud) MESS_print(M_warn, "SFC_open_file: Unable to open file:%s\n", filename ? filename : "");
    return false;
  }
  SFC_report first;
  int at = 0;
  if (SFC_read(state.cvt_fd, &first, SFC_REP_ID, &at) != 0) {
    SFC_close_file();
    if (loud) MESS_print(M_warn, "SFC_open_file: No report in file:%s\n", filename);
    return false;
  }
  SFC_rewind(state.cvt_fd);
  return true;
}

/* A plot with no usable file ends before its window or page opens, so no
 * empty page is left behind that looks like a result. */
void require_usable(const std::vector<PlotFile>& files) {
  const bool single = files.size() == 1;
  for (const PlotFile& f : files) {
    if (open_reports(f.name.c_str(), single)) {
      SFC_close_file();
      return;
    }
  }
  if (!single) MESS_print(M_warn, "SFC_plot: None of the %zu files holds surface reports\n", files.size());
  KEZ_exit(KEZ_EXIT_NO_INPUT);
}

/* Every plain variable of the list must be one the reports give; a
 * misspelt name would otherwise draw an empty map. The first unknown name,
 * or an empty text. */
std::string unknown_variable() {
  for (int i = 0; i < VAR_get_num(); ++i) {
    if (!VAR_is_REG(i) && !VAR_is_SUBREG(i)) continue;
    const char* name = VAR_get_name(i);
    if (!name || name[0] == '#' || VAR_get_type(i) == VAR_TYPE_CONST || stricmp(name, "front") == 0) continue;
    if (!SFC_is_var(name)) return name;
  }
  return {};
}

/* "s-Alt": the analysed grid of a plot of one file saved to a grid file.
 * A group such as the station model is several records but no grid, so
 * the test is on the grids the plot holds, not on the number of records;
 * whatever cannot be saved is said. */
void save_grid() {
  if (FILE_get_num_file() != 0) {
    MESS_print(M_warn, "SFC_callback: A plot of several files keeps no grid to save; nothing saved\n");
    return;
  }
  std::vector<int> analysed;
  for (int i = 0; i < VAR_get_num() && i < VAR_MAX_RECORDS; ++i)
    if (const GRD_report* g = GRD_get_grid(i); g && g->grid) analysed.push_back(i);
  if (analysed.empty()) {
    MESS_print(M_warn, "SFC_callback: The plot holds no analysed grid; nothing saved\n");
    return;
  }
  if (analysed.size() > 1) {
    MESS_print(M_warn, "SFC_callback: The plot holds %zu analysed grids; plot one alone to save it; nothing saved\n",
               analysed.size());
    return;
  }
  const int ind = analysed.front();
  GRD_report* grid = GRD_get_grid(ind);
  FILE_save_name_conv();
  int type = SFC_grd_out_file();
  if (type == 0) type = SFC_GRD_TEXT;
  FILE_set_key('v', VAR_get_name(ind));
  FILE_set_key('l', VAR_get_level_key(ind));
  FILE_set_key('f', VAR_get_time_key(ind));
  std::vector<char> name(FILE_PATH_LEN, '\0');
  FILE_set_date(&state.file_date, name.data());
  /* The header takes the grid's own sizes so that it agrees with the
   * values written after it. */
  GRD_info info{};
  info.grid_type = 0;
  info.date = state.file_date;
  info.max_x = grid->domain.nx;
  info.max_y = grid->domain.ny;
  const int saved = name[0] ? GRD_save_file(name.data(), grid, &info, type) : 0;
  FILE_restore_name_conv();
  if (saved == 1)
    MESS_print(M_mess, "Grid saved: %s\n", name.data());
  else
    MESS_print(M_warn, "SFC_callback: Unable to save the grid: %s\n", name.data());
}

} // namespace

/* ---- the program's prompts ---------------------------------------------- */

int SFC_cvt_in_file() {
  FILE_set_name("sfc_cvt");
  FLAG_set(SFC_FLAG_INPUT, SFC_INPUT_SFC);
  for (const char* res : {"input", "in_file"}) {
    for (const std::string& item : items_of(res)) {
      if (item.find("forfront") != std::string::npos) {
        FLAG_set(SFC_FLAG_INPUT, SFC_INPUT_FRONT);
        FILE_set_name("frf_dat");
      } else if (item.find("front") != std::string::npos) {
        FLAG_set(SFC_FLAG_INPUT, SFC_INPUT_FRONT);
        FILE_set_name("frt_dat");
      } else {
        FILE_set_name(item.c_str());
        if (item.find("sfc") != std::string::npos) FLAG_set(SFC_FLAG_INPUT, SFC_INPUT_SFC);
      }
    }
  }
  return 0;
}

int SFC_set_date(const Date* datim) {
  if (datim)
    state.file_date = *datim;
  else
    FILE_get_date(&state.file_date);
  return 0;
}

int SFC_set_prompt_variable(int val) {
  state.variable_prompt = val;
  return 0;
}

const char* SFC_get_var_str() { return state.var_str.c_str(); }

int SFC_prompt_variable() {
  if (!state.var_file_open) {
    VAR_open_file(nullptr);
    state.var_file_open = true;
  }
  VAR_read_menu();
  if (state.variable_prompt == 0) return 0;
  int result = 0;
  for (;;) {
    bool asked = false;
    const char* setting = RES_get("variable");
    if (setting && *setting) {
      /* Any length: the parser's own bounds apply. */
      state.var_str = setting;
      state.variable_prompt = 0;
      result = 1;
    } else {
      char answer[MENU_STRING_LEN] = "";
      result = VAR_menu("\n        Variable Menu\n", "Enter the variable: ", answer, kMenuFlags);
      if (FLAG_batch()) {
        state.var_str = answer;
        state.variable_prompt = 0;
        result = 1;
      } else {
        if (result == 0) return 0;
        if (result < 0 && result != KEZ_MISS) KEZ_exit(0);
        if (result == KEZ_MISS && answer[0] == '\0') continue;
        if (result == KEZ_MISS && std::strlen(answer) >= static_cast<std::size_t>(KEZ_PROMPT_WORD)) {
          /* The prompt may have cut the list into another one. */
          MESS_print(M_warn,
                     "SFC_prompt_variable: A typed list of %d or more characters may have been cut; "
                     "give a long list with the \"variable\" setting\n",
                     KEZ_PROMPT_WORD);
          continue;
        }
        state.var_str = answer;
        asked = true;
      }
    }
    FLAG_set(SFC_FLAG_LEVEL, 1);
    VAR_setup(nullptr, state.var_str.c_str());
    const std::string bad = unknown_variable();
    if (bad.empty()) break;
    MESS_print(M_error, "SFC_prompt_variable: Unknown variable: %s\n", bad.c_str());
    /* A list from the settings or of batch mode cannot be asked again. */
    if (!asked) KEZ_exit(KEZ_EXIT_USAGE);
  }
  DATA_new_grid();
  return result;
}

/* ---- the plot ------------------------------------------------------------ */

int SFC_plot(Domain* rdomain) {
  if (!rdomain) return 0;
  state.domain = *rdomain;
  const bool rerun = gchk_graphics() != 0;
  std::vector<PlotFile> files = plot_files();
  if (!rerun) require_usable(files);
  if (rerun) {
    PLT_reset(DOM_aspect(&state.domain));
  } else {
    SFC_plot_param();
    if (PLT_open(DOM_aspect(&state.domain)) != 0) return 0;
    PLT_set_callback(SFC_callback);
    PLT_set_zoom_func(SFC_plot);
    PLT_set_resize_func(SFC_plot);
    if (state.refresh) PLT_set_refresh_func(SFC_REFRESH_SECONDS, refresh_entry);
  }
  MAP_setup(&state.domain);
  if (!rerun) {
    /* A station's text and the location key answer a pointer on a held
     * window (the read-out of the station nearest to it); on a page, or a
     * window that only dumps its images, nobody points, and for each of
     * thousands of stations they would cost more fresh memory than the
     * rest of its table entry. */
    const bool pointed = gtype_is_WIN_PIX() && PLT_get_dump() == PLT_DUMP_NONE;
    CTY_data_size(pointed ? SFC_STATION_TEXT : 0);
    CTY_store("sao.cty", pointed ? CTY_TABLE_POS_LOC : CTY_TABLE_POS, &state.domain, SFC_STATION_PRIOR);
  }
  CTY_clear_data(1);
  DATA_plot_init();
  fill_source();
  MAP_fill_cont(0);

  const bool several = FILE_get_num_file() != 0 || files.size() > 1;
  const bool frames = several && gtype_is_WIN_PIX() != 0;
  if (several && !frames && !files.empty()) {
    /* Without animation frames every file would draw over the same page:
     * the newest file that opens is drawn alone. */
    MESS_print(M_mess, "SFC_plot: %zu files on a device without frames; only the last readable one is drawn\n",
               files.size());
    while (!files.empty() && !SFC_open_file(files.back().name.c_str())) files.pop_back();
    if (!files.empty()) {
      GPH_trans(kTransPlot);
      draw_file(files.back(), 0);
      PLT_dump(0);
    }
  } else {
    int plot = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
      const PlotFile& f = files[i];
      GPH_trans(kTransPlot);
      if (!SFC_open_file(f.name.c_str())) {
        if (several) continue;
        PLT_exit(10);
      }
      /* The frame is made once the file opened, so an unreadable file
       * leaves no empty frame in the loop; a re-run redraws its frames. */
      if (frames) {
        if (gcreate_frame(plot < gget_num_images() ? plot : GFRAME_LAST) < 0) {
          /* Drawn into the last frame, every further file would hide it. */
          SFC_close_file();
          MESS_print(M_warn, "SFC_plot: The window holds at most %d frames; %zu files from %s on are not drawn\n",
                     GMAX_FRAMES, files.size() - i, f.name.c_str());
          break;
        }
        gselect_frame(plot);
      }
      draw_file(f, plot);
      if (frames) {
        gdisplay_frame(plot);
        DATA_new_grid();
      }
      PLT_dump(plot);
      ++plot;
    }
    if (frames && plot > 0) gset_looping(1);
  }
  if (rerun) return 0;

  PLT_close();
  for (int i = 0; i < VAR_MAX_RECORDS; ++i)
    if (GRD_report* g = GRD_get_grid(i)) GRD_free(g);
  CTY_clear_data(0);
  CTY_clear();
  return 0;
}

int SFC_plot_frame() {
  DATA_fit_grid(&state.data);
  DATA_plot_start();
  for (int ind = 0; ind < VAR_get_num(); ++ind) {
    ind = DATA_plot_grid(ind, &state.data);
    ind = DATA_plot_raw(ind, &state.data);
    DATA_plot_map(ind);
    DATA_plot_control(ind, &state.domain);
  }
  DATA_plot_end();
  return 0;
}

int SFC_open_file(const char* filename) {
  if (!open_reports(filename, true)) return 0;
  state.stat_num = 0;
  state.file_date = state.info.date;
  PLT_label_up_right(state.info.datim);
  MESS_print(M_mess, "Date: %s\n", state.info.datim);
  return 1;
}

int SFC_rewind_file() {
  state.stat_num = 0;
  return SFC_rewind(state.cvt_fd);
}

int SFC_close_file() {
  const int r = SFC_close(state.cvt_fd);
  state.cvt_fd = -1;
  return r;
}

namespace {

/* Whether the plot draws a station of the entry's priority. */
int drawn(const CTY_locate& loc) { return loc.pr <= DOM_get_prior() ? 1 : 0; }

void copy_id(CTY_locate* loc, const SFC_report& report) {
  const std::size_t n = strnlen(report.id, std::min(sizeof report.id, sizeof loc->id - 1));
  std::memcpy(loc->id, report.id, n);
  loc->id[n] = '\0';
}

bool has_position(const SFC_report& r) { return r.lat != KEZ_FMISS && r.lon != KEZ_FMISS; }

} // namespace

/* Reads the next report and places its station. */
int SFC_read_report(SFC_report* report, CTY_locate* data) {
  if (!report || !data) return -1;
  if (SFC_read(state.cvt_fd, report, SFC_REP_FULL, &state.stat_num) < 0) return -1;
  ++state.stat_num;
  const bool placed = has_position(*report);
  if (CTY_search(report->id, data) == 1) {
    /* The table's elevation wins only when it has one; like the file's
     * values, it is no measurement when absurd (SFC_read dropped theirs). */
    if (data->el != KEZ_FMISS) {
      report->elev = data->el;
      SFC_drop_absurd(report);
    } else {
      data->el = report->elev;
    }
    if (placed) MAP_tran(report->lat, report->lon, &data->x, &data->y);
  } else {
    if (!placed) {
      MESS_print(kDebug, "Not in database: %s\n", report->id);
      return 0;
    }
    MAP_tran(report->lat, report->lon, &data->x, &data->y);
    data->wmo = report->wmo;
    data->el = report->elev;
    data->pr = DOM_get_loc_prior();
  }
  copy_id(data, *report);
  return drawn(*data);
}

int SFC_plot_data(int ind) {
  if (stricmp(VAR_get_name(ind), "front") != 0) return 0;
  FILE_save_name_conv();
  FILE_set_name("frt_dat");
  std::vector<char> name(FILE_PATH_LEN, '\0');
  FILE_set_date(&state.file_date, name.data());
  FRT_set_date(&state.file_date);
  FRT_plot_file(name.data());
  FILE_restore_name_conv();
  return 1;
}

int SFC_grid_data(DATA_info* data) {
  if (DATA_setup_grid(data) == 1) {
    OBJ_set_filter(1.0f);
    OBJ_set_rad_inf(3.0f);
    DATA_get_data(data);
    DATA_object_analyze();
  }
  GRD_calc_var();
  DATA_save_grid(data);
  DATA_free();
  return 0;
}

int SFC_raw_out_file() {
  FILE_set_name("sfc_raw");
  int result = 0;
  std::string conv;
  for (const std::string& item : items_of("out_file")) {
    if (not_a_convention(item)) continue;
    conv = begins(item, "kez") || begins(item, "raw") ? after(item, 4, "sfc_raw") : item;
    result = 1;
  }
  if (result) FILE_set_name(conv.c_str());
  return result;
}

int SFC_grd_out_file() {
  FILE_set_name("sfc_grd");
  int type = 0;
  bool taken = false;
  std::string conv;
  for (const std::string& item : items_of("out_file")) {
    if (not_a_convention(item)) continue;
    taken = true;
    if (begins(item, "kezb")) {
      conv = after(item, 5, "sfc_grd_kez");
      type = SFC_GRD_BINARY;
    } else if (begins(item, "kez")) {
      conv = after(item, 4, "sfc_grd_kez");
      type = SFC_GRD_TEXT;
    } else if (begins(item, "cdf")) {
      conv = after(item, 4, "sfc_grd_cdf");
      type = SFC_GRD_CDF;
    } else {
      conv = item;
    }
  }
  if (taken) {
    FILE_set_name(conv.c_str());
    if (type == 0) type = SFC_GRD_TEXT;
  }
  if (type != 0) FLAG_set(SFC_FLAG_FILE_KIND, type);
  return type;
}

int SFC_plot_param() {
  for (const std::string& item : items_of("plot_param"))
    if (stricmp(item.c_str(), "refresh") == 0) state.refresh = 1;
  return 0;
}

void SFC_callback(int /*type*/, char* str, float x, float y) {
  PLT_print_values(str, x, y);
  PLT_plot_zoom(str, x, y);
  PLT_plot_resize(str, x, y);
  CONT_flash_value(str, x, y);
  if (str && std::strcmp(str, "s-Alt") == 0) save_grid();
}

int SFC_plot_refresh() {
  std::vector<char> name(FILE_PATH_LEN, '\0');
  const std::int64_t secs = FILE_set_current(nullptr, name.data());
  const std::int64_t msecs = name[0] ? static_cast<std::int64_t>(FILE_modtime(name.data())) : 0;
  MESS_print(kDebug, "File: %lld %s\n", static_cast<long long>(secs), name.data());
  const bool fresh = secs != state.fsecs;
  const bool grown = msecs != state.pmsecs;
  if (!name[0] || (!fresh && !grown)) return 0;
  if (!SFC_open_file(name.data())) return 0;
  state.data.date = state.file_date;
  SFC_set_date(nullptr);
  state.fsecs = secs;
  state.pmsecs = msecs;

  const int n = gget_num_images();
  if (n <= 0) {
    gclear_frame(GFRAME_BASE);
  } else if (fresh) {
    for (int i = 0; i < n - 1; ++i) gcopy_frame(i, i + 1);
    gcreate_frame(n - 1);
    gselect_frame(n - 1);
  } else {
    gselect_frame(n - 1);
    gclear_frame(n - 1);
  }
  DATA_new_grid();
  MESS_print(M_print, "plot frame\n");
  SFC_plot_frame();
  SFC_close_file();
  if (n > 0) gdisplay_frame(fresh ? n - 1 : GFRAME_CURRENT);
  return 0;
}
