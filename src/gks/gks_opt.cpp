/*
 * gks_opt: the page-option grammar of the file devices.
 *
 * PostScript and HPGL read the same kind of option list (the connection
 * string's items after the output name, and an environment list before
 * them): option words from the device's own table, numbers after a keyword
 * and one separator ("scale=0.5"), "sz" with a page size "WxH" in inches,
 * and the paper names. Later items win. The geometry forms are shared by
 * every device that has a plot area: the panel form (columns x rows + column
 * + row, or fractions of the area) and the size form ("WxH+X+Y").
 *
 * The module has no state; its callers own the page and the plot area.
 */
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kez.h"
#include "kezgks.h"

namespace {

/* Page sizes in inches, long side first. */
struct Paper {
  const char* name;
  Gpage page;
};

constexpr Paper papers[] = {
    {"letter", {11, 8.5f}},   {"legal", {14, 8.5f}},    {"11x17", {17, 11}},      {"a4", {11.69f, 8.26f}},
    {"a3", {16.54f, 11.69f}}, {"a2", {23.39f, 16.54f}}, {"a1", {33.11f, 23.39f}}, {"b4", {14.33f, 10.12f}},
    {"b3", {20.27f, 14.33f}}, {"b2", {28.66f, 20.27f}}, {"b1", {40.55f, 28.66f}}, {"ansid", {34, 22}},
};

/* A number after a keyword and one separator. */
bool keyword_number(const std::string& item, const char* key, float* value) {
  const std::size_t len = std::strlen(key);
  if (item.size() <= len + 1 || strnicmp(item.c_str(), key, static_cast<int>(len)) != 0) return false;
  const char* text = item.c_str() + len + 1;
  char* end = nullptr;
  const float v = std::strtof(text, &end);
  if (end == text || !std::isfinite(v)) return false;
  *value = v;
  return true;
}

void page_option(const std::string& item, const Gpage_option* table, int ntable, bool from_env,
                 bool (*usable)(float, float), Gpage* page) {
  const char* s = item.c_str();
  for (int i = 0; i < ntable; ++i) {
    const Gpage_option& o = table[i];
    if (o.env_only && !from_env) continue;
    float v = 0;
    if (o.number ? keyword_number(item, o.word, &v) : stricmp(s, o.word) == 0) {
      o.apply(v, page);
      return;
    }
  }
  if (item.size() > 3 && strnicmp(s, "sz", 2) == 0) {
    float w = 0, h = 0;
    if (std::sscanf(s + 3, "%fx%f", &w, &h) == 2 && usable(w, h)) *page = Gpage{w, h};
    return;
  }
  for (const Paper& p : papers)
    if (stricmp(s, p.name) == 0) *page = p.page;
}

} // namespace

int gdevice_int(double v) {
  if (std::isnan(v)) return 0;
  return static_cast<int>(std::clamp(v, -static_cast<double>(GDEVICE_LIMIT), static_cast<double>(GDEVICE_LIMIT)));
}

bool gusable_page(float w, float h) { return w > 0.5f && h > 0.5f && w <= GMAX_PAGE && h <= GMAX_PAGE; }

void gpage_options(const Gconn_items& items, std::size_t first, const Gpage_option* table, int ntable, bool from_env,
                   bool (*usable)(float w, float h), Gpage* page) {
  for (std::size_t i = first; i < items.size(); ++i) page_option(items[i], table, ntable, from_env, usable, page);
}

Gconn_items gsplit_items(const char* text) {
  Gconn_items items;
  int argc = 0;
  char** argv = nullptr;
  if (text && parse_string(text, ',', &argc, &argv) == 0) {
    for (int i = 0; i < argc; ++i) items.emplace_back(argv[i]);
    free_parsed_array(argc, argv);
  }
  return items;
}

const char* gfirst_env(std::initializer_list<const char*> names) {
  for (const char* name : names)
    if (const char* value = std::getenv(name)) return value;
  return nullptr;
}

/* Row 0 is the top row. Numbers are bounded before they become ints, so a
 * huge or non-finite geometry gives a bounded area, never an overflow. */
void gpanel_geometry(const char* text, bool y_up, Garea* area) {
  float cols = 1, rows = 1, col = 0, row = 0;
  std::sscanf(text, "%fx%f+%f+%f", &cols, &rows, &col, &row);
  for (float* v : {&cols, &rows, &col, &row})
    if (!std::isfinite(*v)) *v = 0;
  const float W = static_cast<float>(area->width), H = static_cast<float>(area->height);
  auto panel_index = [](float v, int last) { return static_cast<int>(std::clamp(v, 0.0f, static_cast<float>(last))); };
  if (cols > 1) {
    const int nc = panel_index(cols, 8), nr = std::max(panel_index(rows, 8), 1);
    const int ic = panel_index(col, nc - 1), ir = panel_index(row, nr - 1);
    area->width = static_cast<int>(W / static_cast<float>(nc));
    area->height = static_cast<int>(H / static_cast<float>(nr));
    area->x = static_cast<int>(static_cast<float>(ic) / static_cast<float>(nc) * W);
    const float fy = y_up ? 1 - static_cast<float>(1 + ir) / static_cast<float>(nr)
                          : static_cast<float>(ir) / static_cast<float>(nr);
    area->y = static_cast<int>(fy * H);
    return;
  }
  if (cols <= 0 || rows <= 0) return;
  if (!y_up) {
    /* On a window the fractions name the same part of the picture as on
     * paper (offsets from the lower left corner), kept inside the window. */
    cols = std::min(cols, 1.0f);
    rows = std::min(rows, 1.0f);
    col = std::clamp(col, 0.0f, 1 - cols);
    row = std::clamp(row, 0.0f, 1 - rows);
    row = 1 - row - rows;
  }
  area->width = gdevice_int(static_cast<double>(cols) * W);
  area->height = gdevice_int(static_cast<double>(rows) * H);
  area->x = gdevice_int(static_cast<double>(col) * W);
  area->y = gdevice_int(static_cast<double>(row) * H);
}

/* Numbers are read as doubles, so that one too long for an int is bounded
 * like any other. */
void gsize_geometry(const char* text, float scale, Garea* area) {
  double w = 0, h = 0, x = 0, y = 0;
  auto units = [scale](double v) { return gdevice_int(v * scale); };
  const int n = std::sscanf(text, "%lfx%lf%lf%lf", &w, &h, &x, &y);
  if (n >= 2) {
    if (units(w) > 0 && units(h) > 0) {
      area->width = units(w);
      area->height = units(h);
    }
    if (n == 4) {
      area->x = units(x);
      area->y = units(y);
    }
  } else if (std::sscanf(text, "%lf%lf", &x, &y) == 2) {
    area->x = units(x);
    area->y = units(y);
  }
}
