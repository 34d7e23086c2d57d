/*
 * map_plt: the map plot driver.
 *
 * A complete map plot of one domain: MAP_plot opens (or, when a plot is
 * already open, lays out again) the page, draws the map background, the
 * stations when nothing else is asked for, the items of resource
 * "filename" (corner labels, free text, markers, range circles, extra map
 * passes, point-data files and metafiles), the labels and a colour bar,
 * writes the image dump and closes what it opened. It registers itself as
 * the zoom and resize function, so zooming and resizing redraw the same
 * items.
 */
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "gks.h"
#include "kez.h"
#include "kezcont.h"
#include "kezcty.h"
#include "kezgks.h"
#include "kezraw.h"

namespace {

/* A raw point-data file and a text metafile as FILE_type names them. */
constexpr int FILE_TYPE_RAW = 5;
constexpr int FILE_TYPE_META = 8;
/* Plot types that analyse point data onto a grid instead of plotting it. */
constexpr int GRID_PLOT_MIN = 10;
constexpr int GRID_PLOT_MAX = 23;
/* Contour type of colour fill. */
constexpr int CONT_TYPE_FILL = 15;

struct Marker {
  std::string_view name;
  std::size_t match; /* leading characters compared */
  int type;
};
constexpr Marker markers[] = {
    {"dot", 3, 8},    {"pnt", 3, 1},  {".", 1, 1},      {"plus", 4, 2}, {"+", 1, 2},    {"star", 4, 3},
    {"*", 1, 3},      {"crcl", 4, 4}, {"circle", 6, 4}, {"o", 1, 4},    {"x", 1, 5},    {"sqr", 3, 6},
    {"square", 6, 6}, {"#", 1, 6},    {"tri", 3, 7},    {"^", 1, 7},    {"itri", 4, 9}, {"v", 1, 9},
};

struct Label {
  std::string_view prefix;
  int (*set)(const char* str);
};
constexpr Label labels[] = {
    {"ul:", PLT_label_up_left},  {"uc:", PLT_label_up_center},  {"ur:", PLT_label_up_right},
    {"ll:", PLT_label_low_left}, {"lc:", PLT_label_low_center}, {"lr:", PLT_label_low_right},
};

bool starts_nocase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && strncasecmp(s.data(), prefix.data(), prefix.size()) == 0;
}

int marker_type(const char* name) {
  const std::string_view n(name);
  for (const Marker& m : markers) {
    const std::size_t len = std::min(m.match, m.name.size());
    if (n.size() >= len && strncasecmp(n.data(), m.name.data(), len) == 0) return m.type;
  }
  return std::atoi(name);
}

const Label* label_of(const char* item) {
  for (const Label& l : labels)
    if (starts_nocase(item, l.prefix)) return &l;
  return nullptr;
}

bool is_label_item(const char* item) {
  if (label_of(item)) return true;
  static constexpr std::string_view others[] = {"xy:", "text:", "mark:", "range:"};
  for (std::string_view o : others)
    if (starts_nocase(item, o)) return true;
  return strcasecmp(item, "map") == 0;
}

void print_corner(const char* form, float x, float y) {
  float lat = 0;
  float lon = 0;
  MAP_untran(x, y, &lat, &lon);
  MESS_print(M_out4, form, x, y, lat, lon);
}

void data_item(const char* item) {
  /* The raw-file requests are cut in place; the plotters get a copy. */
  std::string full = FILE_is_stdio(item) ? std::string(item) : FILE_add_path(RES_get("raw_path"), item);
  const int plot_type = FLAG_get(FLAG_PLOT_TYPE);
  if (plot_type >= GRID_PLOT_MIN && plot_type <= GRID_PLOT_MAX) {
    RAW_grid_file(full.data(), 1);
    return;
  }
  int type = FILE_TYPE_RAW;
  if (!FILE_is_stdio(item)) type = FILE_type(full.substr(0, full.find(':', full.rfind('/') + 1)).c_str());
  if (type == FILE_TYPE_META) {
    gread_metafile(full.c_str());
    return;
  }
  if (type != FILE_TYPE_RAW) MESS_print(M_warn, "File may not be in raw format, trying anyway!\n");
  RAW_plot_file(full.data(), 1);
}

/* Draws the colour bar once it is on; whether it was drawn. */
bool draw_bar() {
  if (CONT_get_bar() <= 0) return false;
  gsel_norm_tran(1);
  CONT_draw_bar(1, "");
  gsel_norm_tran(2);
  return true;
}

} // namespace

int MAP_plot(Domain* domain) {
  if (!domain) return -1;
  bool opened = false;
  if (gchk_graphics()) {
    PLT_reset(DOM_aspect(domain));
  } else {
    float aspect = DOM_aspect(domain);
    if (domain->proj == MAP_SKEWT || domain->proj == MAP_STUVE) {
      PLT_set_view_offsets(0.05f, 0.04f, 0.05f, 0.04f);
      aspect = 1.1f;
    } else if (domain->proj == MAP_XLOGP) {
      PLT_set_view_offsets(0.06f, 0.05f, 0.05f, 0.035f);
      aspect = 1.5f;
    } else if (domain->proj == MAP_CAT) {
      PLT_set_view_offsets(0.06f, 0.05f, 0.05f, 0.035f);
    }
    if (PLT_open(aspect) != 0) return 0;
    opened = true;
    PLT_set_callback(MAP_callback);
    PLT_set_zoom_func(MAP_plot);
    PLT_set_resize_func(MAP_plot);
  }
  MAP_setup(domain);
  MAP_limits lim{};
  MAP_get_limits(&lim);
  print_corner("Up  Left: %8.3f,%8.3f Lat: %8.3f Lon: %8.3f\n", lim.x_min, lim.y_max);
  print_corner("Up  Rght: %8.3f,%8.3f Lat: %8.3f Lon: %8.3f\n", lim.x_max, lim.y_max);
  print_corner("Low Left: %8.3f,%8.3f Lat: %8.3f Lon: %8.3f\n", lim.x_min, lim.y_min);
  print_corner("Low Rght: %8.3f,%8.3f Lat: %8.3f Lon: %8.3f\n", lim.x_max, lim.y_min);
  MAP_draw(5);

  int argc = 0;
  char** argv = nullptr;
  RES_getvals("filename", &argc, &argv);
  bool only_labels = true;
  for (int i = 0; i < argc; ++i)
    if (argv[i] && !is_label_item(argv[i])) only_labels = false;
  const char* prior = RES_get("stat_prior");
  const char* ident = RES_get("identifier");
  if (only_labels && ((prior && *prior) || (ident && *ident))) CTY_plot();

  Gattribs attr;
  ATTRIB_init(&attr);
  ATTRIB_get("color_data", "green", &attr);
  const char* sc = RES_get("plot_scale");
  const float scale = sc && *sc ? static_cast<float>(std::atof(sc)) : 1.0f;
  bool bar = false;
  for (int i = 0; i < argc; ++i) {
    const char* item = argv[i];
    if (!item) continue;
    char text[256] = "";
    float a = 0;
    float b = 0;
    float c = 0;
    if (const Label* l = label_of(item)) {
      l->set(PLT_label_format(item + l->prefix.size()).c_str());
    } else if (starts_nocase(item, "xy:") || starts_nocase(item, "text:")) {
      const bool xy = starts_nocase(item, "xy:");
      if (std::sscanf(item + (xy ? 3 : 5), "%f:%f:%255[^\n]", &a, &b, text) == 3) {
        float x = a;
        float y = b;
        if (xy || MAP_tran(a, b, &x, &y)) {
          Gattribs t = attr;
          t.height = MAP_get_vert() * scale * 0.018f;
          GPH_text_attr(&t, 1.0f);
          GPH_printf(x, y, "%s", text);
        }
      }
    } else if (starts_nocase(item, "mark:")) {
      float x = 0;
      float y = 0;
      if (std::sscanf(item + 5, "%f:%f:%255[^\n]", &a, &b, text) == 3 && MAP_tran(a, b, &x, &y)) {
        GPH_mark_attr(&attr, 1.0f);
        gset_marker_type(marker_type(text));
        GPH_mark(x, y);
      }
    } else if (starts_nocase(item, "range:")) {
      float x = 0;
      float y = 0;
      if (std::sscanf(item + 6, "%f:%f:%f", &a, &b, &c) == 3 && MAP_tran(a, b, &x, &y) && c != KEZ_FMISS) {
        GPH_line_attr(&attr);
        MAP_draw_circle(x, y, c * 1.852f);
      }
    } else if (strcasecmp(item, "map") == 0) {
      MAP_draw(4);
    } else {
      data_item(item);
    }
    float mx = 0;
    float mn = 0;
    if (RAW_get_range(&mx, &mn) == 0) CONT_set_range(mx, mn);
    if (!bar) bar = draw_bar();
  }
  if (argv) free_parsed_array(argc, argv);
  MAP_draw(2);
  PLT_labels();
  if (!bar && CONT_get_bar() > 0) {
    CONT_set_type(CONT_TYPE_FILL);
    CONT_set_fill_colors(nullptr, 0);
    draw_bar();
  }
  PLT_dump(0);
  if (opened) PLT_close();
  return 0;
}

void MAP_callback(int type, char* str, float x, float y) {
  (void)type;
  PLT_print_values(str, x, y);
  PLT_plot_zoom(str, x, y);
  PLT_plot_resize(str, x, y);
}
