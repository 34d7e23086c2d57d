/*
 * map: map backgrounds.
 *
 * Every plot on a map projection gets its background from a map list: a
 * comma-separated list of outline files, latitude and longitude lines,
 * image overlays, metafiles and point-data files, each item able to apply
 * only to some regions or plot sizes and only under ('-') or over ('+') the
 * data. The plotters call MAP_setup once per plot and MAP_draw before and
 * after their data. Outline files (text or big-endian binary records of
 * latitude/longitude points) are drawn as runs of visible points, split
 * where the projection hides a point and where an outline jumps across the
 * wrap-around seam, so that no line crosses the whole plot.
 *
 * Point-data files of the list ("rf:") are drawn by the raw-file plotter.
 */
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "gks.h"
#include "kez.h"
#include "kezgks.h"
#include "kezimg.h"
#include "kezraw.h"

namespace {

/* Plot-part switch of the map background. */
constexpr int PART_MAP = 8;
/* Widths of the map list text and the default attribute text. */
constexpr std::size_t NAME_LEN = 249;
constexpr std::size_t FORMAT_LEN = 39;
/* Words of a list file, and names with their directory. */
constexpr std::size_t WORD_LEN = 79;
constexpr std::size_t FILE_LEN = 159;
/* An outline record's header in a binary file. */
constexpr std::size_t BIN_HEADER = 22;
/* A jump between two neighbouring points larger than this (plot units)
 * crosses the seam; for latitude/longitude lines the jump is larger. */
constexpr float SEAM_JUMP = 20.0f;
constexpr float LINE_SEAM_JUMP = 50.0f;
/* Loops over lines and grid values never run longer than this. */
constexpr int MAX_LINES = 100000;

struct {
  std::string map_name;              /* list text used when resource "map_file" is unset */
  std::string format;                /* default attributes of outline items */
  float latln = 0;                   /* latitude line spacing (degrees); 0 none */
  float lonln = 0;                   /* longitude line spacing */
  int dot = 0;                       /* spacing of dot crosses (whole degrees); 0 none */
  int extra = 0;                     /* spacing of repeated labels; 0 none */
  int over = 0;                      /* pass flags: 1 '-' items, 2 '+' items, 4 unmarked */
  int reg_found = 1;                 /* region-block state: 1 none, 0 outside, 2 inside, -1 after */
  int fill_cont = 0;                 /* outlines without attributes take the filled-contour colour */
  int fill = 0;                      /* outlines are filled areas once an item had a fill pattern */
  bool lines_done = false;           /* the lat/lon lines of this plot were drawn */
  std::vector<Gpt> run;              /* the run of visible points being built (reused) */
  std::vector<unsigned char> record; /* the points of one binary outline record (reused) */
} state;

using File = std::unique_ptr<FILE, decltype(&std::fclose)>;

bool is_map_proj(int proj) { return proj >= MAP_PSTEREO && proj <= MAP_SAT; }

bool starts_nocase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(s[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  return true;
}

std::string with_path(const char* resource, const std::string& name) {
  std::string full = FILE_add_path(RES_get(resource), name.c_str());
  if (full.size() > FILE_LEN) full.resize(FILE_LEN);
  return full;
}

/* Width of the plot's seam at height y: what an outline that leaves one
 * edge has to be shifted by to meet the other. 0 where the projection has
 * no seam. */
float seam_width(int proj, float y) {
  switch (proj) {
    case MAP_LATLON: return 360.0f;
    case MAP_MERC: return 400.31555892808814f;
    case MAP_LAMB: return 1000.0f;
    case MAP_MOLL: {
      const double r = static_cast<double>(y) / 63.713;
      return r >= 1.0 || r <= -1.0 ? 0.0f : static_cast<float>(254.852 * std::sqrt(1.0 - r * r));
    }
    default: return 0.0f;
  }
}

void draw_run(const std::vector<Gpt>& run) {
  if (run.size() < 2) return;
  if (state.fill)
    gfill_area(static_cast<Gint>(run.size()), run.data());
  else
    gpolyline(static_cast<Gint>(run.size()), run.data());
}

/* One projected point of an outline into the current run. */
void add_point(int proj, float lat, float lon) {
  float x = 0;
  float y = 0;
  std::vector<Gpt>& run = state.run;
  if (!MAP_tran(lat, lon, &x, &y)) {
    draw_run(run);
    run.clear();
    return;
  }
  if (run.empty()) {
    run.push_back({x, y});
    return;
  }
  const float delta = x - run.back().x;
  if (delta >= -SEAM_JUMP && delta <= SEAM_JUMP) {
    run.push_back({x, y});
    return;
  }
  const float w = seam_width(proj, y);
  if (w > 0) run.push_back({delta < 0 ? x + w : x - w, y});
  draw_run(run);
  run.clear();
  run.push_back({x, y});
}

/* Big-endian numbers of a binary outline file. */
std::uint32_t be32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}
float be_float(const unsigned char* p) {
  const std::uint32_t u = be32(p);
  float f = 0;
  std::memcpy(&f, &u, sizeof f);
  return f;
}

enum class Kind { unknown, text, binary };

/* Reads one record's header: its point count, -1 at the end of the file,
 * -2 for a broken header. */
long read_header(FILE* fp, Kind* kind) {
  if (*kind != Kind::binary) {
    const long start = std::ftell(fp);
    int count = 0;
    float b[4];
    long offset = 0;
    const int n = std::fscanf(fp, "%d %f %f %f %f %ld", &count, &b[0], &b[1], &b[2], &b[3], &offset);
    if (n == EOF && *kind != Kind::unknown) return -1;
    if (n == 6) {
      *kind = Kind::text;
      if (count < 0 || count > 65535) return -2;
      return count;
    }
    if (*kind == Kind::text) return n == EOF ? -1 : -2;
    if (n == EOF) return -1;
    /* Not text: the file is binary from its first byte. */
    *kind = Kind::binary;
    if (start < 0 || std::fseek(fp, start, SEEK_SET) != 0) return -2;
  }
  unsigned char h[BIN_HEADER];
  const std::size_t got = std::fread(h, 1, sizeof h, fp);
  if (got == 0) return -1;
  if (got < sizeof h) return -2;
  return static_cast<long>(h[0]) << 8 | h[1];
}

/* A binary record's points are read in one piece: a read per point cost
 * more than projecting it. */
constexpr std::size_t BIN_POINT = 8;

/* Reads the next point of a record. For a binary file `at` indexes the
 * point in state.record, which holds `have` whole points of it. */
bool read_point(FILE* fp, Kind kind, long at, long have, float* lat, float* lon) {
  if (kind == Kind::text) return std::fscanf(fp, "%f %f", lat, lon) == 2;
  if (at >= have) return false;
  const unsigned char* p = state.record.data() + static_cast<std::size_t>(at) * BIN_POINT;
  *lat = be_float(p);
  *lon = be_float(p + 4);
  return std::isfinite(*lat) && std::isfinite(*lon);
}

/* Loads a binary record's points; how many whole points it got. */
long load_record(FILE* fp, Kind kind, long count) {
  if (kind != Kind::binary) return 0;
  state.record.resize(static_cast<std::size_t>(count) * BIN_POINT);
  const std::size_t got = std::fread(state.record.data(), 1, state.record.size(), fp);
  return static_cast<long>(got / BIN_POINT);
}

/* The world window of the transformation in force, widened by a margin
 * for the width of lines: the devices clip every primitive to it. */
Glim drawing_window() {
  Gint err = 0, tran = 0;
  ginq_cur_norm_tran_num(&err, &tran);
  Glim w{};
  GPH_get_win(tran, &w);
  const float mx = 0.05f * std::fabs(w.x_max - w.x_min), my = 0.05f * std::fabs(w.y_max - w.y_min);
  return Glim{std::min(w.x_min, w.x_max) - mx, std::max(w.x_min, w.x_max) + mx, std::min(w.y_min, w.y_max) - my,
              std::max(w.y_min, w.y_max) + my};
}

/* Whether the loaded points of a binary record, projected, all lie off
 * the window: then the record draws nothing that a device would show, and
 * most of an outline file lies off a regional map, so its points are not
 * projected. A record the projection cannot bound, or one with a point
 * that breaks its line, is drawn as ever; so is one beside the window
 * (level with it) that is wide enough to jump the plot's seam. */
bool off_window(const Glim& window, long have) {
  if (have <= 0) return false;
  float lat_min = 0, lat_max = 0, lon_min = 0, lon_max = 0;
  for (long i = 0; i < have; ++i) {
    const unsigned char* p = state.record.data() + static_cast<std::size_t>(i) * BIN_POINT;
    const float lat = be_float(p), lon = be_float(p + 4);
    if (!std::isfinite(lat) || !std::isfinite(lon) || lat == KEZ_FMISS || lon == KEZ_FMISS) return false;
    if (i == 0) {
      lat_min = lat_max = lat;
      lon_min = lon_max = lon;
      continue;
    }
    lat_min = std::min(lat_min, lat);
    lat_max = std::max(lat_max, lat);
    lon_min = std::min(lon_min, lon);
    lon_max = std::max(lon_max, lon);
  }
  MAP_limits e{};
  if (!MAP_box_extent(lat_min, lat_max, lon_min, lon_max, &e)) return false;
  /* A seam jump draws from a point of the record towards the other edge,
   * at the height of the next point: within the record's band of heights. */
  const bool beside = e.y_max < window.y_min || e.y_min > window.y_max;
  if (beside) return true;
  return e.x_max - e.x_min <= SEAM_JUMP && (e.x_max < window.x_min || e.x_min > window.x_max);
}

/* Attributes of text on a map (a fraction of the plot height) or on a
 * diagram (a page fraction). */
void set_label_attr(Gattribs attr) {
  attr.height = is_map_proj(MAP_get_proj()) ? 0.018f * MAP_get_vert() : 0.015f;
  GPH_text_attr(&attr, 1.0f);
}

/* Applies the attributes and draws the lat/lon lines. */
int draw_latlon(float dlat, float dlon, const Gattribs& attr) {
  GPH_line_attr(nullptr);
  GPH_line_attr(&attr);
  set_label_attr(attr);
  if (attr.color == -1) return -1;
  return MAP_lines(dlat, dlon);
}

/* ---- latitude and longitude lines -------------------------------------- */

struct Frame {
  MAP_limits lim{};
  float off = 0;
  int proj = 0;
};

void put_label(float x, float y, const char* text) { GPH_printf(x, y, "%s", text); }

/* Draws one segment of a latitude circle, splitting it at the seam; the
 * label goes where the last piece crosses the left edge. */
void circle_segment(const Frame& f, float x0, float y0, float x1, float y1, const char* label) {
  const float w = seam_width(f.proj, 0.5f * (y0 + y1));
  const float d = x1 - x0;
  Gpt last[2];
  if (d < -LINE_SEAM_JUMP) {
    GPH_line(x0, y0, x1 + w, y1);
    last[0] = {x0 - w, y0};
    last[1] = {x1, y1};
  } else if (d > LINE_SEAM_JUMP) {
    GPH_line(x0 + w, y0, x1, y1);
    last[0] = {x0, y0};
    last[1] = {x1 - w, y1};
  } else {
    last[0] = {x0, y0};
    last[1] = {x1, y1};
  }
  GPH_line(last[0].x, last[0].y, last[1].x, last[1].y);
  if (last[1].x == last[0].x) return;
  const float t = (f.lim.x_min - last[0].x) / (last[1].x - last[0].x);
  if (t < 0 || t >= 1) return;
  const float y = last[0].y + t * (last[1].y - last[0].y);
  if (y > f.lim.y_min && y < f.lim.y_max) put_label(f.lim.x_min + f.off, y, label);
}

void repeat_label(const Frame& f, float lat, float lon, const char* label) {
  float x = 0;
  float y = 0;
  if (!MAP_tran(lat, lon, &x, &y)) return;
  if (x > f.lim.x_min && x < f.lim.x_max && y > f.lim.y_min && y < f.lim.y_max) put_label(x, y, label);
}

void latitude_circle(const Frame& f, float lat, float dlon, const char* label) {
  GPH_text_align(1, 3);
  float px = 0;
  float py = 0;
  bool prev = MAP_tran(lat, -180.0f, &px, &py) != 0;
  for (int i = 0; i <= 142; ++i) {
    const float lon = -175.0f + 2.5f * static_cast<float>(i);
    float x = 0;
    float y = 0;
    const bool vis = MAP_tran(lat, lon, &x, &y) != 0;
    if (vis && prev) circle_segment(f, px, py, x, y, label);
    prev = vis;
    px = x;
    py = y;
  }
  if (state.extra > 0) {
    GPH_text_align(2, 3);
    const int e = state.extra;
    const float start =
        std::trunc((static_cast<float>(e * (-179 / e)) - 0.5f * static_cast<float>(e)) / dlon) * dlon - 0.5f * dlon;
    for (float lon = start; lon <= 180.0f; lon += static_cast<float>(e)) repeat_label(f, lat, lon, label);
  }
}

void meridian(const Frame& f, float lon, float dlat, const char* label) {
  GPH_text_align(2, 4);
  const bool short_range = f.proj == MAP_PSTEREO || f.proj == MAP_LAMB || f.proj == MAP_SAT;
  const float top = short_range ? std::trunc(89.0f / dlat) * dlat : 90.0f;
  float px = 0;
  float py = 0;
  bool prev = MAP_tran(-top, lon, &px, &py) != 0;
  const int steps = static_cast<int>(std::floor(2.0f * top / dlat + 1e-4f));
  for (int i = 1; i <= steps && i < MAX_LINES; ++i) {
    const float lat = -top + dlat * static_cast<float>(i);
    float x = 0;
    float y = 0;
    const bool vis = MAP_tran(lat, lon, &x, &y) != 0;
    if (vis && prev) {
      GPH_line(px, py, x, y);
      if (y != py) {
        const float t = (f.lim.y_min - py) / (y - py);
        const float lx = px + t * (x - px);
        if (t >= 0 && t < 1 && lx > f.lim.x_min && lx < f.lim.x_max) put_label(lx, f.lim.y_min + f.off, label);
      }
    }
    prev = vis;
    px = x;
    py = y;
  }
  if (state.extra > 0) {
    GPH_text_align(2, 3);
    const int e = state.extra;
    const float start =
        std::trunc((static_cast<float>(e * (-89 / e)) - 0.5f * static_cast<float>(e)) / dlat) * dlat - 0.5f * dlat;
    for (float lat = start; lat < 90.0f; lat += static_cast<float>(e)) repeat_label(f, lat, lon, label);
  }
}

void dot_cross(float lat, float lon) {
  float x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  if (MAP_tran(lat, lon - 0.1f, &x0, &y0) && MAP_tran(lat, lon + 0.1f, &x1, &y1) && std::fabs(x1 - x0) < 5)
    GPH_line(x0, y0, x1, y1);
  if (MAP_tran(lat - 0.1f, lon, &x0, &y0) && MAP_tran(lat + 0.1f, lon, &x1, &y1) && std::fabs(x1 - x0) < 5)
    GPH_line(x0, y0, x1, y1);
}

int map_lines(float dlat, float dlon, int proj) {
  if (!(dlat > 0) || !(dlon > 0) || dlat > 90 || dlon > 360) {
    MESS_print(M_warn, "MAP_lines: Line spacings must be above 0: %g,%g\n", dlat, dlon);
    return -1;
  }
  gsel_norm_tran(2);
  PLT_mess("Map-lalo: %.1f,%.1f", dlat, dlon);
  Frame f;
  MAP_get_limits(&f.lim);
  f.off = 0.01f * (f.lim.x_max - f.lim.x_min);
  f.proj = proj;
  char label[16];
  for (float lat = 0; lat < 90.0f; lat += dlat) {
    if (lat == 0)
      std::snprintf(label, sizeof label, "EQ");
    else
      std::snprintf(label, sizeof label, "%1.0fN", lat);
    latitude_circle(f, lat, dlon, label);
  }
  for (float lat = -dlat; lat > -90.0f; lat -= dlat) {
    std::snprintf(label, sizeof label, "%1.0fS", -lat);
    latitude_circle(f, lat, dlon, label);
  }
  for (float lon = 0; lon <= 180.0f + 1e-3f; lon += dlon) {
    if (lon == 0)
      std::snprintf(label, sizeof label, "PM");
    else if (std::fabs(lon - 180.0f) < 1e-3f)
      std::snprintf(label, sizeof label, "DL");
    else
      std::snprintf(label, sizeof label, "%1.0fE", lon);
    meridian(f, lon, dlat, label);
  }
  for (float lon = -dlon; lon > -180.0f; lon -= dlon) {
    std::snprintf(label, sizeof label, "%1.0fW", -lon);
    meridian(f, lon, dlat, label);
  }
  if (state.dot > 0) {
    const int d = state.dot;
    for (int lat = d * (-79 / d); lat < 80; lat += d)
      for (int lon = d * (-179 / d); lon <= 180; lon += d) dot_cross(static_cast<float>(lat), static_cast<float>(lon));
  }
  GPH_line_attr(nullptr);
  GPH_text_attr(nullptr, 1.0f);
  return 0;
}

/* The value grid of a diagram. */
int diagram_lines(float dlat, float dlon, const Domain& dom) {
  int dir = 0;
  switch (dom.proj) {
    case MAP_XY:
    case MAP_CAT:
    case MAP_PIXEL: dir = 1; break;
    case MAP_XLOGP:
    case MAP_STUVE: dir = -1; break;
    default: MESS_print(M_warn, "MAP_lines: No data grid for diagram %d\n", dom.proj); return -1;
  }
  float x0 = dom.clat;
  float y0 = dom.clon;
  const float x1 = dom.clat + dom.dx;
  const float y1 = dom.clon + dom.dy;
  if (dlat < 0) {
    dlat = -dlat;
    x0 = std::trunc(dom.clat / dlat) * dlat;
  }
  if (dlon < 0) {
    dlon = -dlon;
    y0 = std::trunc(dom.clon / dlon) * dlon;
  }
  if (!(dlat > 0) || !(dlon > 0)) {
    MESS_print(M_warn, "MAP_lines: Line spacings must not be 0: %g,%g\n", dlat, dlon);
    return -1;
  }
  const float fd = static_cast<float>(dir);
  auto line = [](float ax, float ay, float bx, float by) {
    float px = 0, py = 0, qx = 0, qy = 0;
    if (MAP_tran(ax, ay, &px, &py) && MAP_tran(bx, by, &qx, &qy)) GPH_line(px, py, qx, qy);
  };
  int n = 0;
  for (float x = x0; x <= x1 && n < MAX_LINES; x += dlat, ++n) line(x, y0, x, y1);
  n = 0;
  for (float y = y0; fd * y < fd * y1 && n < MAX_LINES; y += fd * dlon, ++n) line(x0, y, x1, y);
  if (dom.proj != MAP_CAT) {
    Glim view{};
    PLT_get_view(&view);
    gsel_norm_tran(1);
    char num[SET_NUM_LEN];
    GPH_text_align(2, 2);
    n = 0;
    for (float x = x0; x <= x1 && n < MAX_LINES; x += dlat, ++n) {
      float px = 0, py = 0;
      if (!MAP_tran(x, y0, &px, &py)) continue;
      const float vx = xW_trans(px, 2, 1);
      if (vx >= view.x_min && vx <= view.x_max) GPH_printf(vx, view.y_min - 0.01f, "%s", set_num(num, "2.2.0", x));
    }
    GPH_text_align(3, 3);
    n = 0;
    for (float y = y0; fd * y <= fd * y1 && n < MAX_LINES; y += fd * dlon, ++n) {
      float px = 0, py = 0;
      if (!MAP_tran(x0, y, &px, &py)) continue;
      const float vy = yW_trans(py, 2, 1);
      if (vy >= view.y_min && vy <= view.y_max) GPH_printf(view.x_min - 0.01f, vy, "%s", set_num(num, "2.2.0", y));
    }
    gsel_norm_tran(2);
  }
  GPH_line_attr(nullptr);
  GPH_text_attr(nullptr, 1.0f);
  return -1;
}

/* ---- map list items ------------------------------------------------------ */

/* A region block; changes the block state and is never drawn. */
void region_block(std::string_view item, const Domain& dom) {
  if (state.reg_found == 2) {
    state.reg_found = -1;
    return;
  }
  float v[5] = {0, 0, 0, 0, 1000.0f};
  int got = 0;
  std::string text(item.substr(1));
  const char* p = text.c_str();
  while (got < 5) {
    char* end = nullptr;
    const float value = std::strtof(p, &end);
    if (end == p) break;
    v[got++] = value;
    p = end;
    if (*p != ',') break;
    ++p;
  }
  if (got < 4) {
    state.reg_found = 2;
    return;
  }
  if (v[0] > v[1]) std::swap(v[0], v[1]);
  if (v[2] > v[3]) std::swap(v[2], v[3]);
  const bool inside =
      dom.clat >= v[0] && dom.clat <= v[1] && dom.clon >= v[2] && dom.clon <= v[3] && v[4] >= MAP_get_vert();
  if (inside)
    state.reg_found = 2;
  else if (state.reg_found == 1)
    state.reg_found = 0;
}

/* Reads a number at the start of s; false when there is none. */
bool number(std::string_view s, std::size_t* pos, float* value) {
  const std::string text(s.substr(*pos));
  char* end = nullptr;
  *value = std::strtof(text.c_str(), &end);
  if (end == text.c_str()) return false;
  *pos += static_cast<std::size_t>(end - text.c_str());
  return true;
}

/* Tests the chained size conditions at the front of item and moves it past
 * them. -1: a condition failed or is broken; 0 all held. */
int conditions(std::string_view* item) {
  struct Cond {
    std::string_view prefix;
    bool at_least; /* height >= the first value */
    bool second;   /* may read a second bound */
  };
  static constexpr Cond order[] = {{"s+", true, false}, {">", true, true},   {"s-", false, false},
                                   {"<", false, true},  {"s+", true, false}, {">", true, false}};
  const float height = MAP_get_vert();
  for (const Cond& c : order) {
    if (!starts_nocase(*item, c.prefix)) continue;
    const std::size_t colon = item->find(':');
    if (colon == std::string_view::npos) {
      MESS_print(M_warn, "MAP_process: Condition without ':': %.*s\n", static_cast<int>(item->size()), item->data());
      return -1;
    }
    std::size_t pos = c.prefix.size();
    float a = 0;
    if (!number(*item, &pos, &a) || pos > colon) {
      MESS_print(M_warn, "MAP_process: Condition without a number: %.*s\n", static_cast<int>(item->size()),
                 item->data());
      return -1;
    }
    bool held = c.at_least ? height >= a : height <= a;
    if (c.second && pos < colon && (*item)[pos] == (c.at_least ? '<' : '>')) {
      ++pos;
      float b = 0;
      if (number(*item, &pos, &b) && pos <= colon) held = held && (c.at_least ? height <= b : height >= b);
    }
    if (!held) return -1;
    item->remove_prefix(colon + 1);
  }
  return 0;
}

int image_item(std::string_view rest, bool page) {
  const std::size_t colon = rest.find(':');
  const std::string file(rest.substr(0, colon));
  const std::string full = with_path("image_path", file);
  PLT_mess("Map-image: %s", full.c_str());
  int result = 0;
  if (page) gsel_norm_tran(1);
  if (colon == std::string_view::npos) {
    result = goverlay_image_file(full.c_str(), nullptr, 0, 0);
  } else {
    const std::string opts(rest.substr(colon));
    char back[10] = "";
    int x = 0;
    int y = 0;
    if (std::sscanf(opts.c_str(), ":%9[^:]:%d:%d", back, &x, &y) < 1) {
      back[0] = '\0';
      std::sscanf(opts.c_str(), "::%d:%d", &x, &y);
    }
    result = goverlay_image_file(full.c_str(), back, x, y);
  }
  if (page) gsel_norm_tran(2);
  return result < 0 ? -1 : 0;
}

int lalo_item(std::string_view item) {
  const std::string rest(item.size() > 5 ? item.substr(5) : std::string_view{});
  float dlat = 5.0f;
  float dlon = 0;
  int n1 = 0;
  int n2 = 0;
  const int got = std::sscanf(rest.c_str(), "%f%n:%f%n", &dlat, &n1, &dlon, &n2);
  std::size_t used = 0;
  if (got < 1)
    dlat = 5.0f;
  else
    used = static_cast<std::size_t>(n1);
  if (got < 2)
    dlon = dlat;
  else
    used = static_cast<std::size_t>(n2);
  PLT_mess("Map-lalo: %.1f,%.1f", dlat, dlon);
  Gattribs attr;
  ATTRIB_init(&attr);
  attr.style = 4;
  if (used < rest.size() && rest[used] == ':')
    ATTRIB_parse(rest.c_str() + used + 1, &attr);
  else
    ATTRIB_get("color_line", "magenta:s4", &attr);
  return draw_latlon(dlat, dlon, attr) < 0 ? -1 : 0;
}

int outline_item(std::string_view item) {
  const std::size_t colon = item.find(':');
  const std::string name(item.substr(0, colon));
  GPH_line_attr(nullptr);
  GPH_fill_attr(nullptr);
  const std::string whole(item);
  PLT_mess("Map: %s", whole.c_str());
  Gattribs attr;
  ATTRIB_init(&attr);
  attr.fill_pat = KEZ_MISS;
  if (colon != std::string_view::npos)
    ATTRIB_parse(std::string(item.substr(colon + 1)).c_str(), &attr);
  else if (!state.format.empty())
    ATTRIB_parse(state.format.c_str(), &attr);
  else if (state.fill_cont)
    ATTRIB_get("color_cmap", "black", &attr);
  else
    ATTRIB_get("color_map", "red", &attr);
  GPH_line_attr(&attr);
  if (attr.fill_pat != KEZ_MISS) {
    GPH_fill_attr(&attr);
    state.fill = 1;
  }
  const std::string full = with_path("file_path", name);
  File fp(std::fopen(full.c_str(), "rb"), &std::fclose);
  if (!fp) {
    MESS_print(M_warn, "MAP_process: Map file not found: %s\n", full.c_str());
    return -1;
  }
  if (attr.color != -1) MAP_map(fp.get());
  return 0;
}

void list_file(std::string_view name) {
  const std::string full = with_path("file_path", std::string(name));
  File fp(std::fopen(full.c_str(), "r"), &std::fclose);
  if (!fp) {
    MESS_print(M_warn, "MAP_draw: Unable to open map list file: %s\n", full.c_str());
    return;
  }
  std::string word;
  int c = 0;
  auto flush = [&word]() {
    if (word.empty()) return;
    if (word.size() > WORD_LEN) word.resize(WORD_LEN);
    MAP_process(word.c_str());
    word.clear();
  };
  while ((c = std::fgetc(fp.get())) != EOF) {
    if (std::isspace(c))
      flush();
    else
      word.push_back(static_cast<char>(c));
  }
  flush();
}

/* The default list: North American outlines for a continental map of it,
 * else the world's coasts and countries. Chosen anew for every plot. */
std::string default_list() {
  Domain dom{};
  MAP_get_domain(&dom);
  if (dom.clat > 25 && dom.clat < 80 && dom.clon > -160 && dom.clon < -65 && MAP_get_vert() < 75) return "kez.map";
  return "cont.map,country.map";
}

} // namespace

int MAP_setup(Domain* domain) {
  if (domain) MAP_domain(domain);
  MAP_limits lim{};
  MAP_get_limits(&lim);
  const Glim win{lim.x_min, lim.x_max, lim.y_min, lim.y_max};
  gset_win(2, &win);
  gsel_norm_tran(2);
  state.lines_done = false;
  return 0;
}

int MAP_draw(int flag) {
  if (!FLAG_getplot(PART_MAP)) return 0;
  state.over = flag;
  gsel_norm_tran(2);
  GPH_line_attr(nullptr);
  GPH_text_font(nullptr);
  std::string list;
  const char* res = RES_get("map_file");
  if (res && *res) {
    state.map_name.assign(res, std::min(std::strlen(res), NAME_LEN));
    list = state.map_name;
  } else if (!state.map_name.empty()) {
    list = state.map_name;
  } else {
    list = default_list();
  }
  state.reg_found = 1;
  std::size_t start = 0;
  while (start <= list.size()) {
    /* A region block's own commas do not split the list. */
    std::size_t end = start;
    bool in_block = false;
    for (; end < list.size(); ++end) {
      if (list[end] == '[')
        in_block = true;
      else if (list[end] == ']')
        in_block = false;
      else if (list[end] == ',' && !in_block)
        break;
    }
    const std::string item = list.substr(start, end - start);
    if (starts_nocase(item, "fi:"))
      list_file(std::string_view(item).substr(3));
    else
      MAP_process(item.c_str());
    start = end + 1;
  }
  if (state.latln > 0 && !state.lines_done) {
    state.lines_done = true;
    Gattribs attr;
    ATTRIB_init(&attr);
    ATTRIB_get("color_line", is_map_proj(MAP_get_proj()) ? "magenta:s4" : "red", &attr);
    draw_latlon(state.latln, state.lonln, attr);
  }
  return 0;
}

int MAP_process(const char* str) {
  if (!str || !*str) return -1;
  std::string_view item(str);
  Domain dom{};
  MAP_get_domain(&dom);
  int need = 4;
  if (item[0] == '-')
    need = 1;
  else if (item[0] == '+')
    need = 2;
  if (need != 4) item.remove_prefix(1);
  if (!(state.over & need) || item.empty()) return -1;
  if (item[0] == '[') {
    region_block(item, dom);
    return -1;
  }
  if (state.reg_found <= 0) return -1;
  if (conditions(&item) < 0 || item.empty()) return -1;
  if (starts_nocase(item, "im:")) return image_item(item.substr(3), false);
  if (starts_nocase(item, "if:")) return image_item(item.substr(3), true);
  if (starts_nocase(item, "mf:")) {
    const std::string name(item.substr(3));
    PLT_mess("Map-metafile: %s", name.c_str());
    return gread_metafile(name.c_str()) < 0 ? -1 : 0;
  }
  if (starts_nocase(item, "rf:")) {
    const std::string full = with_path("file_path", std::string(item.substr(3)));
    PLT_mess("Map-rawfile: %s", full.c_str());
    /* The request is cut in place; the plotter gets a copy. */
    std::string request = full;
    return RAW_plot_file(request.data(), 0) < 0 ? -1 : 0;
  }
  if (starts_nocase(item, "lalo")) return lalo_item(item);
  return outline_item(item);
}

int MAP_map(FILE* map_file) {
  const int proj = MAP_get_proj();
  if (!is_map_proj(proj)) return 1;
  if (!map_file) return -1;
  const Glim window = drawing_window();
  Kind kind = Kind::unknown;
  for (;;) {
    const long count = read_header(map_file, &kind);
    if (count == -1) return -1;
    if (count == -2) {
      MESS_print(M_warn, "MAP_map: Broken outline record\n");
      state.run.clear();
      return -1;
    }
    if (count == 0) return 0;
    state.run.clear();
    const long have = load_record(map_file, kind, count);
    if (have == count && off_window(window, have)) continue;
    for (long i = 0; i < count; ++i) {
      float lat = 0;
      float lon = 0;
      if (!read_point(map_file, kind, i, have, &lat, &lon)) {
        MESS_print(M_warn, "MAP_map: Outline record ends early\n");
        draw_run(state.run);
        state.run.clear();
        return -1;
      }
      add_point(proj, lat, lon);
    }
    draw_run(state.run);
    state.run.clear();
  }
}

int MAP_lines(float dlat, float dlon) {
  if (dlat == KEZ_FMISS || dlon == KEZ_FMISS) return -1;
  Domain dom{};
  MAP_get_domain(&dom);
  if (is_map_proj(dom.proj)) return map_lines(dlat, dlon, dom.proj);
  return diagram_lines(dlat, dlon, dom);
}

int MAP_draw_circle(float x, float y, float rad) {
  if (rad == KEZ_FMISS || !(rad > 0)) return 0;
  Gpt pts[49];
  for (int i = 0; i < 49; ++i) {
    float xf = 0;
    float yf = 0;
    MAP_offset(x, y, 7.5f * static_cast<float>(i), rad, &xf, &yf);
    pts[i] = {xf, yf};
  }
  gpolyline(49, pts);
  return 0;
}

int MAP_latlon(float lat, float lon, int dt, int ex) {
  state.latln = lat;
  state.lonln = lon;
  state.dot = dt < 0 ? 0 : dt;
  state.extra = ex < 0 ? 0 : ex;
  return 0;
}

int MAP_get_latlon(float* lat, float* lon) {
  if (lat) *lat = state.latln;
  if (lon) *lon = state.lonln;
  return 0;
}

int MAP_file(const char* file) {
  state.map_name.assign(file ? file : "", file ? std::min(std::strlen(file), NAME_LEN) : 0);
  return 0;
}

int MAP_set_format(const char* str) {
  state.format.assign(str ? str : "", str ? std::min(std::strlen(str), FORMAT_LEN) : 0);
  return 0;
}

int MAP_fill_cont(int value) {
  state.fill_cont = value;
  if (value) state.lines_done = false;
  return 0;
}

int MAP_get_window(Glim* wind) {
  if (!wind) return -1;
  GPH_get_win(2, wind);
  return 0;
}

float MAP_get_vert() {
  Glim win{};
  GPH_get_win(2, &win);
  /* Domains whose rows run southward have their window upside down. */
  return std::fabs(win.y_max - win.y_min);
}

float MAP_get_hor() {
  Glim win{};
  GPH_get_win(2, &win);
  return std::fabs(win.x_max - win.x_min);
}
