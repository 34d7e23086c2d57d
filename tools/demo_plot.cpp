/*
 * The demo job: a batch plot of the sample station list on a Lambert
 * conformal map of the United States, with latitude and longitude lines,
 * coastlines, borders and states, station marks and identifiers, a title and a date label, written to the
 * device named by the "device" setting (PostScript by default).
 *
 * It runs the suite's start-up, page layer, projections, stroke text and
 * markers end to end until the surface plotting program draws its own maps.
 */
#include "gks.h"
#include "kez.h"
#include "kezgks.h"
#include "kezresrc.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr res_type res_key[] = {RES_help,        RES_batch,     RES_message,  RES_file_path, RES_device,
                                RES_color_table, RES_font_list, RES_geometry, RES_title,     RES_null};
constexpr res_type res_pos[] = {RES_filename, RES_null};

struct Station {
  std::string id;
  float lat = 0, lon = 0;
};

std::vector<Station> read_stations(const char* name) {
  std::vector<Station> stations;
  FILE* fp = FILE_open(name, "r");
  if (!fp) {
    MESS_print(M_error, "demo_plot: Unable to open station list: %s\n", name);
    return stations;
  }
  char line[256];
  int got;
  while ((got = fgetstring(fp, line, sizeof line)) != EOF) {
    if (got == 0 || line[0] == '#') continue;
    parse_param pp;
    scanp_set(&pp, line);
    char id[SCANP_TEXT_LEN + 1] = "";
    Station s;
    if (scanp(&pp, "%<8s %f %f", id, &s.lat, &s.lon) != 3) {
      MESS_print(M_warn, "demo_plot: Bad station line: %s\n", line);
      continue;
    }
    s.id = id;
    stations.push_back(s);
  }
  FILE_close(fp);
  return stations;
}

/* Draws a line of constant latitude or longitude, broken where the
 * projection hides a point. */
void draw_geo_line(float lat0, float lon0, float lat1, float lon1, int steps) {
  std::vector<Gpt> pts;
  auto flush = [&] {
    if (pts.size() > 1) gpolyline(static_cast<Gint>(pts.size()), pts.data());
    pts.clear();
  };
  for (int i = 0; i <= steps; ++i) {
    float t = static_cast<float>(i) / static_cast<float>(steps);
    Gpt p;
    if (MAP_tran(lat0 + t * (lat1 - lat0), lon0 + t * (lon1 - lon0), &p.x, &p.y) == 1)
      pts.push_back(p);
    else
      flush();
  }
  flush();
}

void apply(const char* attr, void (*fn)(const Gattribs*)) {
  Gattribs a;
  ATTRIB_init(&a);
  ATTRIB_parse(attr, &a);
  fn(&a);
}

} // namespace

int main(int argc, char** argv) {
  RES_init(argc, argv, res_key, res_pos);
  const char* list = RES_get("filename");
  std::vector<Station> stations = read_stations(list && *list ? list : "data/sample/stations.txt");
  if (stations.empty()) KEZ_exit(1);

  Domain dom;
  DOM_init(&dom);
  dom.proj = MAP_LAMB;
  dom.plat = 40.0f;
  dom.plon = -97.0f;
  dom.param[0] = 33.0f;
  dom.param[1] = 45.0f;
  dom.clat = 38.5f;
  dom.clon = -97.0f;
  dom.dx = dom.dy = 0.4f;
  dom.nx = 126;
  dom.ny = 76;
  MAP_domain(&dom);

  Gint ws_id = 0, ws_type = 0;
  Glim area = {0.03f, 0.03f, 0.03f, 0.1f};
  if (GPH_setup(&ws_id, &ws_type, DOM_aspect(&dom), &area) != 0) KEZ_exit(4);
  MAP_limits lim;
  MAP_get_limits(&lim);
  Glim win = {lim.x_min, lim.x_max, lim.y_min, lim.y_max};
  GPH_win(2, &win);
  GPH_trans(2);

  apply("lightblue:wi=1", [](const Gattribs* a) { GPH_line_attr(a); });
  for (int lat = 15; lat <= 60; lat += 5)
    draw_geo_line(static_cast<float>(lat), -140, static_cast<float>(lat), -50, 90);
  for (int lon = -140; lon <= -50; lon += 10)
    draw_geo_line(10, static_cast<float>(lon), 65, static_cast<float>(lon), 55);

  /* Coastlines, borders and states from the bundled outline file. */
  apply("brown:wi=1", [](const Gattribs* a) { GPH_line_attr(a); });
  const char* path = RES_get("file_path");
  const std::string outlines = std::string(path && *path ? path : "data") + "/kez.map";
  if (FILE* fp = FILE_open(outlines.c_str(), "rb")) {
    while (MAP_map(fp) == 0) {
    }
    FILE_close(fp);
  } else {
    MESS_print(M_warn, "demo_plot: Unable to open outline file: %s\n", outlines.c_str());
  }
  apply("red:wi=2", [](const Gattribs* a) { GPH_mark_attr(a, 1.0f); });
  gset_marker_type(4);
  /* Text heights are in world units of the current transformation: plot
   * units (100 km) on the map. */
  apply("black", [](const Gattribs* a) { GPH_text_attr(a, 0.45f); });
  GPH_text_align(2, 5);
  for (const Station& s : stations) {
    float x, y;
    if (MAP_tran(s.lat, s.lon, &x, &y) != 1 || !MAP_in_domain(x, y)) continue;
    GPH_mark(x, y);
    GPH_printf(x, y + 0.4f, "%s", s.id.c_str());
  }

  apply("black:wi=2", [](const Gattribs* a) { GPH_line_attr(a); });
  GPH_border(&win);

  GPH_trans(1);
  Date now;
  DATE_get_gmdate(nullptr, &now);
  char label[64] = "";
  DATE_make_label(&now, label);
  const char* title = RES_get("title");
  apply("black", [](const Gattribs* a) { GPH_text_attr(a, 0.025f); });
  GPH_text_align(1, 5);
  GPH_printf(area.x_min, area.y_max + 0.03f, "%s", title && *title ? title : "KEZ sample stations");
  GPH_text_align(3, 5);
  GPH_printf(area.x_max, area.y_max + 0.03f, "%s", label);
  GPH_end(ws_id);
  MESS_print(M_mess, "demo_plot: %zu stations plotted\n", stations.size());
  return 0;
}
