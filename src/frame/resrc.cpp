/*
 * resrc: the resource store.
 *
 * A resource is a name with a value text, kept in one process-wide list in
 * the order in which names first appeared and read by name at the point of
 * use. No resource has a built-in value: each reader states its own
 * fallback. The converters turn a value into a typed value for a caller or
 * act on the process (flags, message level, plot-part switches, output
 * device, fixed date parts of file names, domains). Nothing is ever removed
 * from the list; replacing a value frees the old value text.
 *
 * The module also knows, for every resource key of kezresrc.h, the
 * definition that a program's gathering uses (name, own environment
 * variable, option abbreviation or position, converter) and the key's help
 * entry.
 *
 * At start-up RES_init gathers every setting of a program into the list,
 * a later source replacing an earlier value: "kezdefault", a first look at
 * the command line for the title and the search path, each element of the
 * search path (tags, defaults files through def_read, linked loop windows
 * through mqueue), the environment, the command line; then each defined
 * resource is converted once.
 */
#include "kezresrc.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <vector>

namespace {

struct Resource {
  int index = -9999; /* definition position, -9999 without one */
  std::string name;
  bool has_data = false; /* a resource can exist without a value */
  std::string data;
  DEF_convert cvt = CV_string;
};

struct ResourceState {
  std::vector<std::unique_ptr<Resource>> list; /* in order of first appearance */
  int clargc = 0;
  char** clargv = nullptr;
  std::vector<std::string> unknown_options; /* options of the last command line that name no resource at all */
};

ResourceState state;

/* Registered from above at start-up; constant-initialised, so that no
 * dynamic initialisation of this module can undo a registration. */
struct ResourceHooks {
  RES_domain_decoder domain_decoder = nullptr;
};

constinit ResourceHooks hooks;

Resource* find(const char* name) {
  if (!name) return nullptr;
  for (auto& res : state.list)
    if (res->name == name) return res.get();
  return nullptr;
}

Resource* find_or_add(const char* name) {
  Resource* res = find(name);
  if (res) return res;
  auto made = std::make_unique<Resource>();
  made->name = name;
  state.list.push_back(std::move(made));
  return state.list.back().get();
}

/* ---- resource definitions and help ---- */

/* The definition and help entry of one key. The position of a positional
 * resource stands in place of the option: "1" the first argument that is
 * not an option, "10" every such argument. */
struct ResDef {
  res_type key;
  const char* name;
  const char* env;
  const char* cmd;
  DEF_convert cvt;
  const char* option; /* option text of the help line */
  const char* help;   /* description of the help line */
};

/* In key order; keys that are not here have no definition and no help. */
constexpr ResDef res_defs[] = {
    {RES_background, "background", "kezback", "bg", CV_string, "-bg clr", "Background color"},
    {RES_batch, "batch", "kezbatch", "ba", CV_batch, "-ba", "Run program in batch mode"},
    {RES_bull_file, "bull_file", "kezbullfile", "bf", CV_string, "-bf file", "Bulletin file name"},
    {RES_city_file, "city_file", "kezcity", "cf", CV_string, "-cf file", "City database file name"},
    {RES_color_clabel, "color_clabel", "kezclrclab", "cocl", CV_string, "-cocl clr", "Fill label color"},
    {RES_color_cloud, "color_cloud", "kezclrcld", "cocd", CV_string, "-cocd clr", "Cloud cover symbol colors"},
    {RES_color_cmap, "color_cmap", "kezclrcmap", "cocm", CV_string, "-cocm clr", "Fill map color"},
    {RES_color_cont, "color_cont", "kezclrcont", "coco", CV_string, "-coco clr", "Line contour color"},
    {RES_color_data, "color_data", "kezclrdata", "cod", CV_string, "-cod clr", "Data plotting color"},
    {RES_color_fill, "color_fill", "kezclrfill", "cof", CV_string, "-cof clr[,...]", "Fill contour colors"},
    {RES_color_front, "color_front", "kezclrfront", "cofr", CV_string, "-cofr hclr,lclr,cclr,wclr,oclr,tclr",
     "Front colors"},
    {RES_color_grid, "color_grid", "kezclrgrid", "cogr", CV_string, "-cogr clr", "grid color"},
    {RES_color_hodo, "color_hodo", "kezclrhodo", "coh", CV_string, "-coh dclr,sclr,hclr", "Hodograph colors"},
    {RES_color_hodtxt, "color_hodtxt", "kezclrhdtxt", "coht", CV_string, "-coht dclr,sclr,hclr",
     "Hodograph text colors"},
    {RES_color_label, "color_label", "kezclrlab", "cola", CV_string, "-cola clr", "Line label color"},
    {RES_color_line, "color_line", "kezclrln", "coln", CV_string, "-coln clr", "Lat-lon line color"},
    {RES_color_map, "color_map", "kezclrmap", "com", CV_string, "-com clr", "line map color"},
    {RES_color_pop, "color_pop", "kezclrpop", "copp", CV_string, "-copp clr", "Probablilty of precipitation color"},
    {RES_color_sound, "color_sound", "kezclrsnd", "cosd", CV_string, "-cosd tclr,tdclr", "Sounding colors"},
    {RES_color_table, "color_table", "kezclrtbl", "ct", CV_string, "-ct file", "Color table file name"},
    {RES_color_text, "color_text", "kezclrtext", "cot", CV_string, "-cot clr", "Text color"},
    {RES_color_therm, "color_therm", "kezclrtherm", "coth", CV_string, "-coth pclr,tclr,daclr,maclr,mrclr",
     "Thermodynamic diagram colors"},
    {RES_color_thrmtxt, "color_thrmtxt", "kezclrthtxt", "cott", CV_string, "-cott pclr,tclr,daclr,maclr,mrclr",
     "Thermodynamic diagram text colors"},
    {RES_color_wind, "color_wind", "kezclrwind", "cowd", CV_string, "-cowd clr", "Wind barb colors"},
    {RES_color_wx, "color_wx", "kezclrwx", "cowx", CV_string, "-cowx clr", "Weather symbol colors"},
    {RES_command, "command", "kezcommand", "10", CV_strings, "command", "Commands to be run"},
    {RES_commands, "command", "kezcommand", "cd", CV_string, "-cd cmd[;cmd]", "Commands to be run"},
    {RES_con_base, "con_base", "kezconbase", "cb", CV_float, "-cb base", "Color fill contour/vector base value"},
    {RES_con_interval, "con_interval", "kezconint", "in", CV_float, "-in intrvl", "Contour interval"},
    {RES_con_path, "con_path", "kezcon", "cp", CV_path, "-cp path", "Converted data path"},
    {RES_current, "current", "kezcurrent", "cu", CV_current, "-cu [hour]", "Use current data file"},
    {RES_data_path, "data_path", "kezdata", "dp", CV_path, "-dp path", "Raw data path"},
    {RES_draw, "draw", "kezdraw", "dr", CV_draw, "-dr param[,...]", "Draw components: text,data,sum,map,none"},
    {RES_decode_hour, "decode_hour", "kezdecode", "dh", CV_string, "-dh hour", "Actual hour to decode"},
    {RES_device, "device", "kezdevice", "de", CV_device, "-de dev[,name]", "Output device: d,p,q,w,m"},
    {RES_file_param, "file_param", "kezfileparam", "pf", CV_file_param, "-pf param",
     "File parameters: use,calc,over,app"},
    {RES_file_path, "file_path", "kezfile", "fp", CV_path, "-fp path", "File path"},
    {RES_filename, "filename", "kezfilename", "1", CV_strcpy, "file", "Input file name"},
    {RES_filenames, "filename", "kezfilename", "10", CV_strings, "file [file...]", "Input file names"},
    {RES_font_list, "font_list", "kezfontlist", "fl", CV_string, "-fl list", "List of fonts to use"},
    {RES_forecast, "forecast", "kezforecast", "fc", CV_string, "-fc type", "Specific forecast product"},
    {RES_geometry, "geometry", "kezgeometry", "ge", CV_string, "-ge wxh+x+y", "Window geometry"},
    {RES_grid_num, "grid_num", "kezgridnum", "gn", CV_string, "-gn number", "Specific grid index in file to use"},
    {RES_grid_path, "grid_path", "kezgrid", "gp", CV_path, "-gp path", "Gridded data path"},
    {RES_grid_type, "grid_type", "kezgridtype", "gt", CV_int, "-gt number", "Specific grid type (number) to use"},
    {RES_help, "help", "kezhelp", "h", CV_help, "-h", "Print this help"},
    {RES_hour, "hour", "kezhour", "ho", CV_hour, "-ho hour", "Actual hour of the file"},
    {RES_icon, "icon", "kezicon", "ic", CV_bool, "-ic", "Open window iconified"},
    {RES_identifier, "identifier", "kezident", "id", CV_string, "-id ident", "Specific station identifier"},
    {RES_image_path, "image_path", "kezimage", "ip", CV_string, "-ip path", "Image file path"},
    {RES_in_file, "in_file", "kezinfile", "if", CV_string, "-if type", "Input data file type"},
    {RES_in_files, "in_file", "kezinfile", "if", CV_string, "-if type[,...]", "Input data file type"},
    {RES_ingestor, "ingestor", "kezingestor", "di", CV_ingestor, "-di name", "Ingestor type: kez,whole,split,ldm,none"},
    {RES_input, "input", "kezin", "in", CV_string, "-in type", "Type of input"},
    {RES_label, "label", "kezlabel", "la", CV_string, "-la label", "Plot labels"},
    {RES_level, "level", "kezlevel", "le", CV_string, "-le level", "Vertical level to be plotted or contoured"},
    {RES_map_file, "map_file", "kezmap", "mf", CV_string, "-mf file[,file]", "Map database files"},
    {RES_message, "message", "kezmess", "me", CV_mess, "-me level", "Message level to be displayed:"},
    {RES_model, "model", "kezmodel", "mo", CV_string, "-mo model", "Specific model to use"},
    {RES_name_conv, "name_conv", "keznameconv", "nc", CV_name, "-nc type", "Naming convention file name"},
    {RES_num_hour, "num_hour", "keznumhour", "nh", CV_string, "-nh hour[,step]", "Number of hours to view"},
    {RES_object_param, "object_param", "kezobject", "oa", CV_string, "-oa smooth[,radinf,pass,conv,min]",
     "Objective analysis parameters"},
    {RES_out_file, "out_file", "kezoutfile", "of", CV_string, "-of type", "Output file type"},
    {RES_output, "output", "kezout", "ou", CV_string, "-ou type", "Type of output"},
    {RES_parameter, "parameter", "kezparam", "pa", CV_string, "-pa param[,...]", "Program parameters"},
    {RES_plot_domain, "plot_domain", "kezdomain", "pd", CV_domain, "-pd region or [proj],clat,clon[,nx,ny][,dx,dy]",
     "Output plot domain"},
    {RES_plot_format, "plot_format", "kezformat", "fm", CV_string, "-fm format", "Numeric format"},
    {RES_plot_param, "plot_param", "kezpltparam", "pp", CV_string, "-pp param", "Plot parameters"},
    {RES_plot_scale, "plot_scale", "kezscale", "sc", CV_float, "-sc scale", "Text and wind vector scale factor"},
    {RES_plot_type, "plot_type", "kezplot", "pl", CV_plot_type, "-pl type", "Plot type: cf,lcf,ln,dln,ndln,value,none"},
    {RES_product, "product", "kezproduct", "ph", CV_string, "-ph header", "Specific product header"},
    {RES_raw_path, "raw_path", "kezraw", "rp", CV_path, "-rp path", "Raw files path"},
    {RES_region, "region", "kezregion", "re", CV_region, "-re region or [proj],clat,clon[,nx,ny][,dx,dy]",
     "Region to be used for plotting and gridding"},
    {RES_stat_prior, "stat_prior", "kezprior", "pr", CV_int, "-pr prior", "Priority of stations used in the plot"},
    {RES_state, "state", "kezstate", "st", CV_string, "-st state", "Specific state to parse"},
    {RES_table, "table", "keztable", "ta", CV_bool, "-ta", "Prints a table"},
    {RES_time, "time", "keztime", "ft", CV_string, "-ft time", "Forecast time to be plotted or contoured"},
    {RES_title, "title", "keztitle", "ti", CV_string, "-ti title", "Window title"},
    {RES_values, "value", "kezvalue", "10", CV_strings, "val1 val2 ...", "Input values:"},
    {RES_variable, "variable", "kezvar", "va", CV_string, "-va var", "Variable to be plotted or contoured"},
    {RES_watch_path, "watch_path", "kezwatch", "wp", CV_path, "-wp path", "Watch file data path"},
    {RES_window_num, "window_num", "kezwindownum", "wn", CV_int, "-wn number", "KEZLoop window number"},
    {RES_color_watch, "color_watch", "kezclrwatch", "cowa", CV_string, "-cowa sclr,tclr", "Watch box colors"},
    {RES_log_file, "log_file", "kezlog", "lf", CV_string, "-lf file", "Log file name"},
    {RES_grid_domain, "grid_domain", "kezgrddomain", "gd", CV_domain, "-gd region or [proj],clat,clon[,nx,ny][,dx,dy]",
     "Grid domain"},
    {RES_inputg, "input", "kezin", "inp", CV_string, "-inp type", "Type of input"},
    {RES_text_path, "text_path", "keztext", "tp", CV_path, "-tp path", "Text file path"},
    {RES_model_path, "model_path", "kezmpath", "mp", CV_path, "-mp path", "Model file path"},
    {RES_sat_path, "sat_path", "kezsat", "sp", CV_path, "-sp path", "Satellite file path"},
};

constexpr int kNumKeys = RES_sat_path + 1;

static_assert(std::size(res_defs) == 89);

constexpr bool defs_in_key_order() {
  for (size_t i = 1; i < std::size(res_defs); ++i)
    if (res_defs[i - 1].key >= res_defs[i].key) return false;
  return true;
}
static_assert(defs_in_key_order(), "one entry per key, in key order");

/* The entry of each key in res_defs, -1 for a key without one. */
constexpr std::array<int, kNumKeys> def_of_key = [] {
  std::array<int, kNumKeys> pos{};
  pos.fill(-1);
  for (size_t i = 0; i < std::size(res_defs); ++i) pos[static_cast<size_t>(res_defs[i].key)] = static_cast<int>(i);
  return pos;
}();

const ResDef* def_of(res_type key) {
  int k = static_cast<int>(key);
  if (k < 0 || k >= kNumKeys || def_of_key[static_cast<size_t>(k)] < 0) return nullptr;
  return &res_defs[def_of_key[static_cast<size_t>(k)]];
}

/* Help entries of more than one line. With option_alone the option text has
 * a line of its own and the description follows on the next; the further
 * lines are printed as they stand. */
struct HelpMore {
  res_type key;
  bool option_alone;
  std::array<const char*, 5> lines;
};

constexpr const char* domain_lines[] = {
    "               region=predefined region:\n",
    "                  us,ne,at,se,mw,sp,nw,sw,etc\n",
    "               proj=projection, clat=central latitude, clon=central longitude,\n",
    "               nx,ny=number of gridpoints and dx,dy=grid spacing\n",
};

constexpr HelpMore help_more[] = {
    {RES_message,
     false,
     {"               none,print,error,warn,mess,out1,*out2,out3,out4,debug\n", nullptr, nullptr, nullptr, nullptr}},
    {RES_object_param, true, {nullptr, nullptr, nullptr, nullptr, nullptr}},
    {RES_plot_domain, true, {domain_lines[0], domain_lines[1], domain_lines[2], domain_lines[3], nullptr}},
    {RES_region,
     true,
     {domain_lines[0], domain_lines[1], domain_lines[2], domain_lines[3],
      "               us,ne,at,se,mw,sp,nw,sw,var\n"}},
    {RES_grid_domain, true, {domain_lines[0], domain_lines[1], domain_lines[2], domain_lines[3], nullptr}},
};

struct PlotTypeWord {
  const char* word;
  int type;
};

constexpr PlotTypeWord plot_type_words[] = {
    {"raw", 0},     {"none", 99}, {"value", 17},  {"gvalue", 17}, {"cf", 15},    {"lcf", 16},
    {"ln", 12},     {"dln", 13},  {"ndln", 14},   {"vect", 21},   {"barb", 22},  {"strm", 23},
    {"stream", 23}, {"an", 54},   {"number", 54}, {"pm", 55},     {"stuve", 61}, {"skewt", 62},
    {"ema", 63},    {"teph", 64}, {"rteph", 65},  {"hodo", 69},
};

struct DrawWord {
  const char* word;
  int part;
};

constexpr DrawWord draw_words[] = {
    {"text_ul", 1}, {"text_uc", 2}, {"text_ur", 3}, {"text_ll", 4}, {"text_lc", 5}, {"text_lr", 6},
    {"data", 7},    {"map", 8},     {"grid", 9},    {"sum", 10},    {"bord", 11},
};

void convert_draw(const char* value) {
  int argc = 0;
  char** argv = nullptr;
  if (parse_string(value, ',', &argc, &argv) != 0) return;
  for (int i = 0; i < argc; ++i) {
    const char* item = argv[i];
    int on = 1;
    if (*item == '+' || *item == '-') {
      on = *item == '+' ? 1 : 0;
      ++item;
    } else if (i == 0) {
      FLAG_resetplot(0);
    }
    if (stricmp(item, "none") == 0) {
      FLAG_setplot(12, 0);
    } else if (stricmp(item, "all") == 0) {
      FLAG_setplot(12, 1);
    } else if (stricmp(item, "text") == 0) {
      FLAG_setplot(0, on);
      FLAG_setplot(11, on);
    } else {
      for (const DrawWord& dw : draw_words) {
        if (stricmp(item, dw.word) == 0) {
          FLAG_setplot(dw.part, on);
          break;
        }
      }
    }
  }
  free_parsed_array(argc, argv);
}

bool starts_number(const char* text) { return (*text >= '0' && *text <= '9') || *text == '+' || *text == '-'; }

bool is_digit(char c) { return c >= '0' && c <= '9'; }

/* A whole number as scanf's "%d" (or "%<width>d" with a width) reads it:
 * blanks, a sign and digits. Moves p past it; false, with p and value left,
 * when there is none. */
bool scan_int(const char*& p, size_t width, int* value) {
  const char* s = p;
  while (*s == ' ' || *s == '\t') ++s;
  const size_t limit = width ? width : SIZE_MAX;
  size_t n = 0;
  bool negative = false;
  if (n < limit && (s[n] == '+' || s[n] == '-')) negative = s[n++] == '-';
  const size_t first = n;
  long long v = 0;
  for (; n < limit && is_digit(s[n]); ++n)
    if (v <= INT_MAX) v = v * 10 + (s[n] - '0');
  if (n == first) return false;
  if (v > INT_MAX) v = INT_MAX;
  *value = static_cast<int>(negative ? -v : v);
  p = s + n;
  return true;
}

/* A field of at most width characters at a fixed place; unset when it does
 * not parse. */
void field_at(const char* at, size_t width, int* value) {
  const char* p = at;
  scan_int(p, width, value);
}

/* The fixed date parts of file names from the "hour" resource: a full date
 * after "#", day and hour forms by length, a day-hour-minute form with "d",
 * and minute or hour-minute forms; a leading "-" asks for rounding. Parts
 * that a form does not give stay unset. */
void convert_hour(const char* text) {
  Date date;
  DATE_init(&date);
  const size_t len = std::strlen(text);
  const bool colon = std::strchr(text, ':') != nullptr;
  if (text[0] == '#' && is_digit(text[1])) {
    const char* p = text + 1;
    field_at(p, 4, &date.year);
    p += std::min<size_t>(4, std::strlen(p));
    for (int* part : {&date.month, &date.day, &date.hour, &date.min}) {
      if (!is_digit(*p)) break;
      field_at(p, 2, part);
      p += std::min<size_t>(2, std::strlen(p));
    }
  } else if (len == 6 && !colon) {
    field_at(text, 2, &date.month);
    field_at(text + 2, 2, &date.day);
    field_at(text + 4, 2, &date.hour);
  } else if (len == 4 && is_digit(text[0]) && !colon) {
    field_at(text, 2, &date.day);
    field_at(text + 2, 2, &date.hour);
  } else if (len == 3 && is_digit(text[0]) && !colon) {
    field_at(text, 1, &date.day);
    field_at(text + 1, 2, &date.hour);
  } else if (std::strchr(text, 'd')) {
    const char* p = text;
    if (scan_int(p, 0, &date.day) && *p++ == 'd' && scan_int(p, 0, &date.hour) && *p++ == ':')
      scan_int(p, 0, &date.min);
  } else if (text[0] == ':') {
    field_at(text + 1, 0, &date.min);
  } else if (text[0] == '-' && text[1] == ':') {
    const char* p = text + 2;
    if (scan_int(p, 0, &date.min)) date.min = -date.min;
  } else {
    const char* p = text;
    if (scan_int(p, 0, &date.hour) && *p++ == ':') scan_int(p, 0, &date.min);
    if (text[0] == '-' && date.hour == 0) {
      /* "-0:30": no hour, the minute rounded down to half hours. */
      date.hour = -9999;
      if (date.min != -9999) date.min = -date.min;
    }
  }
  FILE_set_time(&date);
}

} // namespace

/* ---- gathering ---- */

namespace {

/* The site folders, then the installed data folder (RES_data_folder). */
constexpr const char* kDefaultPath = ".:/home/kez/etc:/usr/local/kez/etc";
constexpr size_t kMaxOptionName = 49;

/* The link to a loop window; kept apart from the queue id, which may be 0. */
struct LoopLink {
  bool linked = false;
  int qid = -1;
  int conn = -1;
};

/* One option of the command line. */
struct Option {
  std::string name;
  bool has_value = false;
  std::string value;
  bool value_from_next = false; /* the value is the next argument */
};

bool is_letter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }

/* "-" and a letter: an option, and an argument that no option takes as its
 * value. */
bool dash_letter(const char* arg) { return arg[0] == '-' && is_letter(arg[1]); }

bool is_option(const char* arg) { return dash_letter(arg) || (arg[0] == '-' && arg[1] == '-' && is_letter(arg[2])); }

/* Reads the option at argv[*i]; a value taken from the next argument moves
 * *i on. */
Option read_option(int argc, char** argv, int* i) {
  const char* arg = argv[*i];
  const char* text = arg + (arg[1] == '-' ? 2 : 1);
  Option opt;
  const char* eq = std::strchr(text, '=');
  opt.name = eq ? std::string(text, static_cast<size_t>(eq - text)) : std::string(text);
  if (opt.name.size() > kMaxOptionName) opt.name.resize(kMaxOptionName);
  if (eq) {
    opt.has_value = true;
    opt.value = eq + 1;
  } else if (*i + 1 < argc && !dash_letter(argv[*i + 1])) {
    opt.has_value = true;
    opt.value = argv[++*i];
    opt.value_from_next = true;
  }
  return opt;
}

/* "n", "na", "nam" or "name". */
bool begins_name(const std::string& name, bool ignore_case) {
  if (name.empty() || name.size() > 4) return false;
  return ignore_case ? strnicmp(name.c_str(), "name", static_cast<int>(name.size())) == 0
                     : std::strncmp(name.c_str(), "name", name.size()) == 0;
}

bool begins_default(const std::string& name, bool ignore_case) {
  auto starts = [&](const char* key) {
    size_t n = std::strlen(key);
    if (name.size() < n) return false;
    return ignore_case ? strnicmp(name.c_str(), key, static_cast<int>(n)) == 0
                       : std::strncmp(name.c_str(), key, n) == 0;
  };
  return starts("default") || starts("df");
}

/* The position of a positional definition, 1 to 10; 0 for an option. */
int position_of(const RES_defobj& def) {
  const char* cmd = def.cmd;
  if (!cmd || !*cmd) return 0;
  int value = 0;
  for (const char* p = cmd; *p; ++p) {
    if (!is_digit(*p) || value > 10) return 0;
    value = value * 10 + (*p - '0');
  }
  return value >= 1 && value <= 10 ? value : 0;
}

/* The program's definition table, without its null end. */
struct Definitions {
  const RES_defobj* table = nullptr;
  int count = 0;
  bool defined(int i) const { return table[i].def && table[i].def[0]; }
};

bool has_local_value(const char* name) {
  const Resource* res = find(name);
  return res && res->has_data;
}

/* Reads replies until one whose flag is not 0; that flag. */
int read_to_end(const LoopLink& link) {
  char item[MQ_ITEM_LEN];
  int flag;
  while ((flag = MQ_get(link.qid, link.conn, item)) == 0) {
  }
  return flag;
}

/* Links to loop window number text (after "#") and exchanges settings:
 * its values replace the local ones, and it gets the local values it lacks. */
void exchange_with_window(const char* text, const Definitions& defs, LoopLink* link) {
  int qid = MQ_open(std::atoi(text));
  if (qid < 0) {
    MESS_print(M_warn, "KEZloop window: %s not running or no message queue exists\n", text);
    return;
  }
  int conn = MQ_connect(qid);
  if (conn < 0) {
    MESS_print(M_warn, "KEZloop window: %s unable to connect\n", text);
    return;
  }
  *link = LoopLink{true, qid, conn};
  for (int i = 0; i < defs.count; ++i)
    if (defs.defined(i)) MQ_put(qid, conn, "query res %s", defs.table[i].def);
  int sets = 0;
  char item[MQ_ITEM_LEN];
  for (int i = 0; i < defs.count; ++i) {
    if (!defs.defined(i)) continue;
    const RES_defobj& def = defs.table[i];
    bool got = false;
    int flag;
    while ((flag = MQ_get(qid, conn, item)) == 0) {
      if (item[0] == '\0' || item[0] == '!' || item[0] == '\n') continue;
      size_t len = std::strlen(item);
      if (item[len - 1] == '\n') item[len - 1] = '\0';
      RES_new(i, def.def, item, def.cvt);
      got = true;
    }
    if (flag == -3) MESS_print(M_warn, "KEZloop not running!\n");
    if (!got && has_local_value(def.def)) {
      MQ_put(qid, conn, "set res %s %s", def.def, RES_get(def.def));
      ++sets;
    }
  }
  for (int k = 0; k < sets; ++k) read_to_end(*link);
}

/* Matches every active line of one defaults file against the definitions. */
void read_defaults(const std::string& element, const Definitions& defs, bool named) {
  if (DEF_open(element.c_str()) != 0) {
    /* A file the user named is worth a word; a folder of the search path
     * without a defaults file is the usual case. */
    if (named && !element.empty() && !FILE_is_dir(element.c_str()))
      MESS_print(M_warn, "RES_decode: Unable to read defaults file: %s\n", element.c_str());
    return;
  }
  std::string pattern, value;
  while (DEF_get(&pattern, &value) == 1) {
    bool matched = false;
    for (int i = 0; i < defs.count; ++i) {
      if (!defs.defined(i) || !DEF_cmp(defs.table[i].def, pattern.c_str())) continue;
      RES_new(i, defs.table[i].def, value.c_str(), defs.table[i].cvt);
      MESS_print(M_debug_d, "RESRC: %s=%s\n", pattern.c_str(), value.c_str());
      matched = true;
    }
    if (!matched && DEF_valid(pattern.c_str())) {
      std::string name(pattern.size() + 1, '\0');
      DEF_parse_name(pattern.c_str(), name.data());
      RES_new(-9999, name.c_str(), value.c_str(), CV_string);
    }
  }
  DEF_close();
}

/* The search path cut at ":", empty elements kept, trailing ":" dropped;
 * an empty path is one empty element. */
std::vector<std::string> split_path(const std::string& path) {
  std::string text = path;
  while (!text.empty() && text.back() == ':') text.pop_back();
  std::vector<std::string> elements;
  size_t start = 0;
  for (;;) {
    size_t colon = text.find(':', start);
    elements.push_back(text.substr(start, colon == std::string::npos ? std::string::npos : colon - start));
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  return elements;
}

void first_look(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (!dash_letter(argv[i])) continue;
    Option opt = read_option(argc, argv, &i);
    if (!opt.has_value) continue;
    if (begins_name(opt.name, false)) {
      RES_new(-9999, "name", opt.value.c_str(), CV_string);
      DEF_name(opt.value.c_str());
    } else if (begins_default(opt.name, false)) {
      RES_new(-9999, "default", opt.value.c_str(), CV_string);
    }
  }
}

void search_path(const Definitions& defs, LoopLink* link) {
  const char* path = RES_get("default");
  const bool named = path != nullptr; /* from -df or "kezdefault" */
  DEF_clr_tag();
  for (const std::string& element : split_path(path ? path : std::string(kDefaultPath) + ":" + RES_data_folder())) {
    if (element[0] == '+') {
      if (element.size() > 1) DEF_tag(element.c_str() + 1); /* an eleventh is ignored */
    } else if (element[0] == '#' && is_digit(element[1])) {
      exchange_with_window(element.c_str() + 1, defs, link);
    } else {
      read_defaults(element, defs, named);
    }
  }
}

void environment(const Definitions& defs) {
  std::string value;
  for (int i = 0; i < defs.count; ++i) {
    const RES_defobj& def = defs.table[i];
    if (defs.defined(i) && DEF_env(def.def, def.env, &value)) RES_new(i, def.def, value.c_str(), def.cvt);
  }
}

/* The keyed definition an option names: by abbreviation, by full name, or
 * by a beginning of the name in table order; -1 for none. */
int find_option(const Definitions& defs, const std::string& name, bool* name_or_default) {
  *name_or_default = false;
  auto keyed = [&](int i) { return defs.defined(i) && position_of(defs.table[i]) == 0; };
  for (int i = 0; i < defs.count; ++i)
    if (keyed(i) && defs.table[i].cmd && stricmp(defs.table[i].cmd, name.c_str()) == 0) return i;
  for (int i = 0; i < defs.count; ++i)
    if (keyed(i) && stricmp(defs.table[i].def, name.c_str()) == 0) return i;
  if (begins_name(name, true) || begins_default(name, true)) {
    *name_or_default = true;
    return -1;
  }
  for (int i = 0; i < defs.count; ++i)
    if (keyed(i) && strnicmp(defs.table[i].def, name.c_str(), static_cast<int>(name.size())) == 0) return i;
  return -1;
}

/* Whether a name is the full name of one of the suite's resources, which a
 * module may read although the program does not list it. */
bool suite_resource(const std::string& name) {
  for (const ResDef& d : res_defs)
    if (stricmp(d.name, name.c_str()) == 0) return true;
  return false;
}

void command_line(int argc, char** argv, const Definitions& defs, const LoopLink& link) {
  int positional = 0;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--") == 0) continue;
    if (is_option(arg)) {
      const int at = i;
      Option opt = read_option(argc, argv, &i);
      bool skip = false;
      int d = find_option(defs, opt.name, &skip);
      if (skip) continue; /* the first look took it */
      if (d < 0) {
        RES_new(-9999, opt.name.c_str(), opt.has_value ? opt.value.c_str() : nullptr, CV_string);
        if (!suite_resource(opt.name)) state.unknown_options.push_back(opt.name);
        continue;
      }
      const RES_defobj& def = defs.table[d];
      if ((def.cvt == CV_bool || def.cvt == CV_batch || def.cvt == CV_help) && opt.value_from_next) {
        /* A switch takes no value: the next argument is read in its own right. */
        i = at;
        opt.has_value = false;
      }
      RES_new(d, def.def, opt.has_value ? opt.value.c_str() : nullptr, def.cvt);
      if (link.linked) {
        MQ_put(link.qid, link.conn, "set res %s %s", def.def, opt.has_value ? opt.value.c_str() : "");
        read_to_end(link);
      }
      continue;
    }
    ++positional;
    int d = -1;
    for (int k = 0; k < defs.count && d < 0; ++k)
      if (defs.defined(k) && position_of(defs.table[k]) == positional) d = k;
    for (int k = 0; k < defs.count && d < 0; ++k)
      if (defs.defined(k) && position_of(defs.table[k]) == 10) d = k;
    if (d < 0) continue;
    const RES_defobj& def = defs.table[d];
    if (position_of(def) == 10 && positional >= 2)
      RES_append(d, def.def, arg, def.cvt);
    else
      RES_new(d, def.def, arg, def.cvt);
  }
}

/* Converts each defined resource once, in list order. */
void convert_all(const Definitions& defs) {
  for (size_t k = 0; k < state.list.size(); ++k) {
    Resource* res = state.list[k].get();
    if (res->index < 0 || res->index >= defs.count) continue;
    const RES_defobj& def = defs.table[res->index];
    char* data = res->has_data ? res->data.data() : nullptr;
    if (res->cvt == CV_strings && def.out) {
      int count = 0;
      parse_string(data, '\n', &count, reinterpret_cast<char***>(def.out));
      if (def.num) *def.num = count;
    } else {
      RES_conv_data(data, def.out, res->cvt);
    }
  }
}

} // namespace

int RES_decode(const char* progname, const char* class_name, int argc, char** argv, const RES_defobj* def_table) {
  (void)progname;   /* the kept arguments name the program */
  (void)class_name; /* plays no part */
  if (argc < 0 || !argv) argc = 0;
  RES_setCL(argc, argv);
  state.unknown_options.clear();
  DEF_prog();
  Definitions defs;
  defs.table = def_table;
  while (def_table && def_table[defs.count].def) ++defs.count;

  if (const char* dflt = std::getenv("kezdefault")) RES_new(-9999, "default", dflt, CV_string);
  first_look(argc, argv);
  LoopLink link;
  search_path(defs, &link);
  environment(defs);
  command_line(argc, argv, defs, link);
  if (link.linked) {
    MQ_put(link.qid, link.conn, "quit");
    read_to_end(link);
  }
  convert_all(defs);
  return 0;
}

int RES_unknown_options() {
  for (const std::string& name : state.unknown_options)
    MESS_print(M_error, "RES_decode: Unknown option: -%s\n", name.c_str());
  return static_cast<int>(state.unknown_options.size());
}

int RES_init(int argc, char** argv, const res_type* res_key, const res_type* res_pos) {
  FLAG_reset(-9999);
  std::vector<RES_defobj> table;
  for (const res_type* list : {res_key, res_pos}) {
    for (const res_type* key = list; key && *key != RES_null; ++key) {
      RES_defobj def{};
      RES_enter(&def, *key);
      table.push_back(def);
    }
  }
  table.push_back(RES_defobj{nullptr, nullptr, nullptr, CV_none, nullptr, nullptr});
  RES_decode(argc > 0 && argv ? argv[0] : nullptr, "Kez", argc, argv, table.data());
  if (const char* tz = std::getenv("keztz")) DATE_set_TZ(tz);
  return 1;
}

int RES_new(int index, const char* name, const char* data, DEF_convert cvt) {
  if (!name) return -1;
  try {
    /* The value is copied first, so that a failed allocation stores nothing. */
    std::string value = data ? data : "";
    Resource* res = find_or_add(name);
    res->has_data = data != nullptr;
    res->data = std::move(value);
    res->index = index;
    res->cvt = cvt;
  } catch (const std::bad_alloc&) {
    return -1;
  }
  return 0;
}

int RES_append(int index, const char* name, const char* data, DEF_convert cvt) {
  if (!name) return -1;
  Resource* res = find(name);
  if (!res) return RES_new(index, name, data, cvt);
  if (!data) return 0;
  try {
    if (res->has_data)
      res->data += std::string("\n") + data;
    else
      res->data = data;
    res->has_data = true;
  } catch (const std::bad_alloc&) {
    return -1;
  }
  return 0;
}

int RES_put(const char* name, const char* value) { return RES_new(-9999, name, value, CV_string); }

char* RES_get(const char* name) {
  Resource* res = find(name);
  return res ? res->data.data() : nullptr;
}

int RES_getval(const char* name, void* data, DEF_convert cvt) {
  Resource* res = find(name);
  if (!res || !data) return 0;
  return RES_conv_data(res->has_data ? res->data.data() : nullptr, data, cvt);
}

int RES_getvals(const char* name, int* paramc, char*** paramv) {
  if (paramc) *paramc = 0;
  if (!paramv) return 0;
  *paramv = nullptr;
  Resource* res = find(name);
  if (!res || !res->has_data) return 0;
  int argc = 0;
  if (parse_string(res->data.c_str(), res->cvt == CV_strings ? '\n' : ',', &argc, paramv) != 0) return 0;
  if (paramc) *paramc = argc;
  return argc;
}

int RES_conv_data(char* data, void* out, DEF_convert cvt) {
  switch (cvt) {
    case CV_batch:
      FLAG_set(FLAG_BATCH, 1);
      if (MESS_check_set() == 0) MESS_set(0, 0xFF);
      return 1;
    case CV_help: FLAG_set(FLAG_HELP, 1); return 1;
    case CV_bool:
      if (out) {
        int* flag = static_cast<int*>(out);
        if (!data) {
          *flag = 1;
        } else if (stricmp(data, "true") == 0 || stricmp(data, "on") == 0 || stricmp(data, "yes") == 0) {
          *flag = 1;
        } else if (stricmp(data, "false") == 0 || stricmp(data, "off") == 0 || stricmp(data, "no") == 0) {
          *flag = 0;
        }
        return 1;
      }
      break;
    default: break;
  }
  if (!data) return 0;

  switch (cvt) {
    case CV_mess: MESS_set_str(data); return 1;
    case CV_hour: convert_hour(data); return 1;
    case CV_file_param:
      if (stricmp(data, "over") == 0 || stricmp(data, "calc") == 0 || stricmp(data, "recalc") == 0)
        FLAG_set(FLAG_FILE_PARAM, FILE_PARAM_OVERWRITE);
      else if (stricmp(data, "app") == 0)
        FLAG_set(FLAG_FILE_PARAM, FILE_PARAM_APPEND);
      else if (stricmp(data, "use") == 0 || stricmp(data, "reuse") == 0)
        FLAG_set(FLAG_FILE_PARAM, FILE_PARAM_USE);
      return 1;
    case CV_plot_type:
      for (const PlotTypeWord& pw : plot_type_words) {
        if (stricmp(data, pw.word) == 0) {
          FLAG_set(FLAG_PLOT_TYPE, pw.type);
          break;
        }
      }
      return 1;
    case CV_draw: convert_draw(data); return 1;
    default: break;
  }
  if (!out) return 0;

  switch (cvt) {
    /* Numbers too large for the output are bounded to its range, never
     * wrapped into another value. */
    case CV_int:
      if (starts_number(data)) {
        const int base = data[0] != '\0' && (data[1] == 'x' || data[1] == 'X') ? 16 : 10;
        *static_cast<int*>(out) =
            static_cast<int>(std::clamp<long>(std::strtol(data, nullptr, base), INT_MIN, INT_MAX));
      }
      return 1;
    case CV_short:
      if (*data >= '0' && *data <= '9')
        *static_cast<short*>(out) =
            static_cast<short>(std::clamp<long>(std::strtol(data, nullptr, 10), SHRT_MIN, SHRT_MAX));
      return 1;
    case CV_long:
      if (*data >= '0' && *data <= '9') *static_cast<long int*>(out) = std::strtol(data, nullptr, 10);
      return 1;
    case CV_float: *static_cast<float*>(out) = static_cast<float>(std::atof(data)); return 1;
    case CV_color: *static_cast<long int*>(out) = std::strtol(data, nullptr, 10); return 1;
    case CV_string: *static_cast<char**>(out) = data; return 1;
    case CV_strcpy: {
      size_t n = strnlen(data, RES_STRCPY_LEN - 1);
      std::memcpy(out, data, n);
      static_cast<char*>(out)[n] = '\0';
      return 1;
    }
    case CV_path: {
      /* The caller always owns the text, "none" giving an empty one. */
      const char* value = stricmp(data, "none") == 0 ? "" : data;
      size_t n = std::strlen(value);
      char* copy = static_cast<char*>(std::malloc(n + 2));
      if (copy) {
        std::memcpy(copy, value, n + 1);
        FILE_add_path_delim(copy);
      }
      *static_cast<char**>(out) = copy;
      return 1;
    }
    case CV_region:
    case CV_domain:
      if (hooks.domain_decoder)
        hooks.domain_decoder(data, static_cast<Domain*>(out));
      else
        MESS_print(M_warn, "RES_conv_data: domain texts are not available\n");
      return 1;
    case CV_device: {
      int argc = 0;
      char** argv = nullptr;
      parse_string(data, ',', &argc, &argv);
      FLAG_set(FLAG_DEVICE, argc > 0 ? RES_set_device(argv[0]) : RES_DEV_WINDOW);
      if (argc >= 2) *static_cast<char**>(out) = std::strchr(data, ',') + 1;
      free_parsed_array(argc, argv);
      return 1;
    }
    default: return 1;
  }
}

int RES_list() {
  for (const auto& res : state.list) {
    if (res->has_data)
      MESS_print(M_print_d, "%s: %s\n", res->name.c_str(), res->data.c_str());
    else
      MESS_print(M_print_d, "%s:\n", res->name.c_str());
  }
  return 0;
}

RES_domain_decoder RES_set_domain_decoder(RES_domain_decoder decoder) {
  const RES_domain_decoder old = hooks.domain_decoder;
  hooks.domain_decoder = decoder;
  return old;
}

int RES_set_device(const char* str) {
  switch (str ? str[0] : '\0') {
    case 'P':
    case 'p': return RES_DEV_PS;
    case 'H':
    case 'h':
    case 'Q':
    case 'q': return RES_DEV_HPGL;
    case 'M':
    case 'm': return RES_DEV_META;
    case 'W':
    case 'w': return RES_DEV_PIXMAP;
    default: return RES_DEV_WINDOW;
  }
}

int RES_setCL(int argc, char** argv) {
  state.clargc = argc;
  state.clargv = argv;
  return 1;
}

char* RES_get_prog() { return state.clargc > 0 && state.clargv ? state.clargv[0] : nullptr; }

std::string RES_data_folder() {
  const std::string configured = KEZ_DATA_FOLDER;
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error || self.parent_path().filename() != KEZ_BIN_NAME) return configured;
  const std::string beside = (self.parent_path() / KEZ_DATA_FROM_BIN).lexically_normal().string();
  /* A copy of the program elsewhere still finds the configured folder. */
  if (FILE_is_dir(beside.c_str()) || !FILE_is_dir(configured.c_str())) return beside;
  return configured;
}

char* RES_get_progname(char* prog) {
  const char* path = RES_get_prog();
  if (!path) path = "kez";
  const char* slash = std::strrchr(path, '/');
  const char* base = slash ? slash + 1 : path;
  if (prog) {
    size_t n = strnlen(base, FILE_PATH_LEN - 1);
    std::memcpy(prog, base, n);
    prog[n] = '\0';
    return prog;
  }
  return create_string(base);
}

int RES_fill_obj(RES_defobj* obj, const char* def, const char* env, const char* cmd, DEF_convert cvt, char* out,
                 int* num) {
  if (!obj) return 0;
  obj->def = def;
  obj->env = env;
  obj->cmd = cmd;
  obj->cvt = cvt;
  obj->out = out;
  obj->num = num;
  return 1;
}

int RES_enter(RES_defobj* obj, res_type key) {
  if (!obj) return 0;
  const ResDef* def = def_of(key);
  if (!def) {
    MESS_print(M_debug, "RES_enter: No definition for resource key %d\n", static_cast<int>(key));
    return RES_fill_obj(obj, "", "", "", CV_none, nullptr, nullptr);
  }
  return RES_fill_obj(obj, def->name, def->env, def->cmd, def->cvt, nullptr, nullptr);
}

int RES_help_item(res_type res) {
  const ResDef* def = def_of(res);
  if (!def) {
    MESS_print(M_debug, "RES_help_item: No help for resource key %d\n", static_cast<int>(res));
    return 1;
  }
  const HelpMore* more = nullptr;
  for (const HelpMore& hm : help_more)
    if (hm.key == res) more = &hm;
  if (more && more->option_alone) {
    MESS_print(M_print, " %-10s\n", def->option);
    MESS_print(M_print, "             %s\n", def->help);
  } else {
    MESS_print(M_print, " %-10s  %s\n", def->option, def->help);
  }
  if (more)
    for (const char* line : more->lines)
      if (line) MESS_print(M_print, "%s", line);
  return 1;
}

int RES_help_print(const char* name, const res_type* res_key, const res_type* res_pos) {
  if (!name) name = "";
  MESS_print(M_print, "%s syntax (version:%s)\n", name, KEZ_version());
  MESS_print(M_print, "   %s [options...]\n", name);
  MESS_print(M_print, "Keyed options...\n");
  MESS_print(M_print, " %-10s  Resource/defaults file name\n", "-df file");
  MESS_print(M_print, " %-10s  Program name\n", "-na name");
  for (const res_type* key = res_key; key && *key != RES_null; ++key) RES_help_item(*key);
  MESS_print(M_print, "Positional options...\n");
  for (const res_type* key = res_pos; key && *key != RES_null; ++key) RES_help_item(*key);
  return 1;
}
