/*
 * cty_plt: station plotting.
 *
 * Draws the station database itself on a map: one text per station (its
 * identifier, WMO number or last number, or a label of the user's) at the
 * station's position, for the stations of the domain's priority that pass
 * the "identifier" filter. An identifier item may carry its own label and
 * position after its first ':'; a listed place that matches no station is
 * drawn where the item puts it, so the list doubles as a list of points to
 * mark. The texts are drawn as station data by the raw-data plotter, and
 * coloured by priority through the contour fill colours.
 */
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kez.h"
#include "kezcont.h"
#include "kezcty.h"
#include "kezgks.h"
#include "kezraw.h"

namespace {

/* What a station's text shows (CTY_plot_param). */
enum Output : int { OUT_ID = 0, OUT_WMO = 1, OUT_NUM = 2 };

struct {
  int marker = 0;      /* marker drawn with each station; 0 none */
  int output = OUT_ID; /* what a station's text is */
  int nzero = 0;       /* leave out stations whose last number is 0 */
  int fill = 0;        /* stations coloured by priority */
} state;

/* One item of resource "identifier": the filter part and what follows its
 * first ':' (a position and label, or a label). */
struct Item {
  std::string filter;
  std::string extra;
  bool has_extra = false;
  bool used = false;
};

std::string blanks(std::string s) {
  for (char& c : s)
    if (c == '_') c = ' ';
  return s;
}

/* Reads "lat:lon[:label]"; false when it does not start with two numbers. */
bool read_place(const std::string& extra, float* lat, float* lon, std::string* label) {
  char text[CTY_LABEL_ROOM] = "";
  const int got = std::sscanf(extra.c_str(), "%f:%f:%79[^\n]", lat, lon, text);
  if (got < 2) return false;
  *label = got == 3 ? text : "";
  return true;
}

std::vector<Item> identifier_items() {
  std::vector<Item> items;
  int argc = 0;
  char** argv = nullptr;
  RES_getvals("identifier", &argc, &argv);
  for (int i = 0; i < argc; ++i) {
    Item it;
    const std::string text = argv[i] ? argv[i] : "";
    char* one[] = {argv[i]};
    /* A filter term of the station database's language keeps its own ':'
     * (as "ST:CO"), as it does when the database filters stations. */
    const bool term = CTY_ids_cmp(1, one, "") == 1 && !text.empty();
    const std::size_t colon = term ? std::string::npos : text.find(':');
    it.filter = text.substr(0, colon);
    if (colon != std::string::npos) {
      it.extra = text.substr(colon + 1);
      it.has_extra = true;
    }
    items.push_back(std::move(it));
  }
  if (argv) free_parsed_array(argc, argv);
  if (items.size() == 1 && strcasecmp(items[0].filter.c_str(), "all") == 0 && !items[0].has_extra) items.clear();
  return items;
}

/* One station's text, drawn as a station datum; attributes at -9999 take
 * the station plot's own. */
void draw(float x, float y, const std::string& text, const Gattribs* attr) {
  RAW_data d;
  RAW_data_init(&d);
  d.x = x;
  d.y = y;
  d.type = VAR_TYPE_DATA;
  d.format[0] = '\0';
  if (attr) d.attr = *attr;
  std::snprintf(d.data, sizeof d.data, "%s", text.c_str());
  RAW_plot_data(&d);
}

} // namespace

int CTY_plot_param() {
  int argc = 0;
  char** argv = nullptr;
  RES_getvals("plot_param", &argc, &argv);
  for (int i = 0; i < argc; ++i) {
    const char* p = argv[i];
    if (!p) continue;
    if (strncasecmp(p, "mark", 4) == 0) {
      const char* eq = std::strchr(p, '=');
      if (eq) {
        const int m = ATTR_parse_marker(eq + 1);
        state.marker = m == KEZ_MISS ? 0 : m;
      }
    } else if (strncasecmp(p, "wmo", 3) == 0) {
      state.output = OUT_WMO;
    } else if (strncasecmp(p, "num", 3) == 0) {
      state.output = OUT_NUM;
    } else if (strncasecmp(p, "id", 2) == 0) {
      state.output = OUT_ID;
    } else if (strncasecmp(p, "nzero", 5) == 0) {
      state.nzero = std::strlen(p) > 6 ? std::atoi(p + 6) : 1;
    }
  }
  if (argv) free_parsed_array(argc, argv);
  return 0;
}

int CTY_plot() {
  int buckets = 0;
  const int fd = CTY_open_file("sao.cty", &buckets);
  if (fd < 0) return 0;
  CTY_plot_param();
  std::vector<Item> items = identifier_items();
  std::vector<char*> filters;
  for (Item& it : items) filters.push_back(it.filter.data());

  Gattribs attr;
  ATTRIB_init(&attr);
  ATTRIB_get("color_data", "green", &attr);
  const char* sc = RES_get("plot_scale");
  const float scale = sc && *sc ? static_cast<float>(std::atof(sc)) : 1.0f;
  RAW_plot_init(&attr, scale);
  const char* fill = RES_get("color_fill");
  if (fill && *fill) {
    CONT_set_fill_colors(nullptr, 0);
    CONT_set_base(0.5f);
    CONT_set_intrvl(1.0f);
    state.fill = 1;
  }
  if (state.marker) RAW_set_marker(state.marker);

  const int prior = DOM_get_prior();
  CTY_rewind(fd);
  CTY_data city;
  while (CTY_read(fd, &city) >= 0) {
    if (city.prior > prior || (state.nzero && city.num == 0)) continue;
    std::string label;
    bool has_label = false;
    float lat = city.lat;
    float lon = city.lon;
    if (!filters.empty()) {
      const int ind = CTY_data_cmp(static_cast<int>(filters.size()), filters.data(), &city);
      if (ind < 0 || ind >= static_cast<int>(items.size())) continue;
      Item& it = items[static_cast<std::size_t>(ind)];
      if (it.has_extra && !it.used) {
        if (!read_place(it.extra, &lat, &lon, &label)) label = it.extra;
        has_label = !label.empty();
        label = blanks(label);
        it.used = true;
      }
    }
    float x = 0;
    float y = 0;
    if (!MAP_tran(lat, lon, &x, &y)) continue;
    Gattribs datum;
    ATTRIB_init(&datum);
    if (state.fill) CONT_get_fill_attrib(static_cast<float>(city.prior), &datum);
    if (!has_label) {
      char text[32];
      if (state.output == OUT_WMO)
        std::snprintf(text, sizeof text, "%5.5d", city.wmo);
      else if (state.output == OUT_NUM)
        std::snprintf(text, sizeof text, "%d", city.num);
      else
        std::snprintf(text, sizeof text, "%s", city.id);
      label = text;
    }
    draw(x, y, label, &datum);
  }
  CTY_close(fd);

  /* Listed places that no station took are drawn where they say. */
  for (const Item& it : items) {
    if (!it.has_extra || it.used) continue;
    float lat = 0;
    float lon = 0;
    std::string label;
    if (!read_place(it.extra, &lat, &lon, &label)) continue;
    float x = 0;
    float y = 0;
    if (!MAP_tran(lat, lon, &x, &y)) continue;
    Gattribs datum;
    ATTRIB_init(&datum);
    draw(x, y, label.empty() ? it.filter : blanks(label), &datum);
  }
  return 0;
}
