#include "ps_render.h"

#include <cctype>
#include <cstdio>

#include "kez_test.h"

namespace kez_test {

namespace {

/* Reads one header number of a binary PPM, passing over blanks and comments. */
bool ppm_number(const std::string& data, size_t* pos, int* value) {
  while (*pos < data.size()) {
    char c = data[*pos];
    if (c == '#') {
      while (*pos < data.size() && data[*pos] != '\n') ++*pos;
    } else if (std::isspace(static_cast<unsigned char>(c))) {
      ++*pos;
    } else {
      break;
    }
  }
  size_t start = *pos;
  int v = 0;
  while (*pos < data.size() && std::isdigit(static_cast<unsigned char>(data[*pos])) && v < 100000)
    v = v * 10 + (data[(*pos)++] - '0');
  *value = v;
  return *pos > start;
}

bool read_ppm(const std::string& data, Raster* raster) {
  if (data.size() < 2 || data[0] != 'P' || data[1] != '6') return false;
  size_t pos = 2;
  int w = 0, h = 0, maxval = 0;
  if (!ppm_number(data, &pos, &w) || !ppm_number(data, &pos, &h) || !ppm_number(data, &pos, &maxval)) return false;
  ++pos; /* the one blank after the header */
  const size_t need = static_cast<size_t>(w) * static_cast<size_t>(h) * 3;
  if (maxval != 255 || data.size() < pos + need) return false;
  raster->width = w;
  raster->height = h;
  raster->rgb.assign(data.begin() + static_cast<long>(pos), data.begin() + static_cast<long>(pos + need));
  return true;
}

std::string quoted(const std::string& text) {
  std::string q = "'";
  for (char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

} // namespace

std::array<int, 3> Raster::at(int x, int y) const {
  const int row = height - 1 - y;
  if (x < 0 || x >= width || row < 0 || row >= height) return {-1, -1, -1};
  const size_t i = (static_cast<size_t>(row) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
  return {rgb[i], rgb[i + 1], rgb[i + 2]};
}

bool GsRun::clean() const {
  return status == 0 && log.find("Error") == std::string::npos && log.find("error") == std::string::npos;
}

GsRun gs_render(const std::string& file, int page_w, int page_h, Raster* raster) {
  TempDir dir;
  const std::string out = dir.file("page.ppm");
  GsRun run;
  run.status = run_command("gs -dSAFER -dBATCH -dNOPAUSE -q -sDEVICE=ppmraw -r72 -dFIXEDMEDIA -dDEVICEWIDTHPOINTS=" +
                               std::to_string(page_w) + " -dDEVICEHEIGHTPOINTS=" + std::to_string(page_h) +
                               " -sOutputFile=" + quoted(out) + " " + quoted(file) + " 2>&1",
                           &run.log);
  if (raster && !read_ppm(read_file(out), raster)) {
    run.log += "\n(no readable rendering)";
    if (run.status == 0) run.status = -1;
  }
  return run;
}

GsRun gs_bbox(const std::string& file, std::array<int, 4>* box) {
  GsRun run;
  run.status = run_command(
      "gs -dSAFER -dBATCH -dNOPAUSE -q -sDEVICE=bbox -dFIXEDMEDIA -dDEVICEWIDTHPOINTS=2000"
      " -dDEVICEHEIGHTPOINTS=2000 " +
          quoted(file) + " 2>&1",
      &run.log);
  if (box && !declared_bbox(run.log, box) && run.status == 0) run.status = -1;
  return run;
}

bool declared_bbox(const std::string& text, std::array<int, 4>* box) {
  size_t at = text.find("%%BoundingBox:");
  if (at == std::string::npos) return false;
  return std::sscanf(text.c_str() + at, "%%%%BoundingBox: %d %d %d %d", &(*box)[0], &(*box)[1], &(*box)[2],
                     &(*box)[3]) == 4;
}

} // namespace kez_test
