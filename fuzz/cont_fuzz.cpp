/*
 * Fuzz target of the contour module: its readers of user text (fill colour
 * lists, contour level files and format items) and the drawing of a small
 * grid whose values, NaN and infinities included, come from the input. The
 * input's first byte chooses; the rest is the text or the grid.
 */
#include <unistd.h>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "kez_fuzz.h"
#include "kezcont.h"

namespace {

Gint no_points(Gint, const Gpt*) { return 0; }
Gint no_text(const Gpt*, const Gchar*) { return 0; }
Gint no_index(Gint) { return 0; }
Gint no_width(Gfloat) { return 0; }
int no_sleep(float) { return 0; }
int no_colour(int, float, float, float) { return 0; }

/* Bytes 0 and 1 give the size (2 to 8 points each way), byte 2 the type;
 * then the interval and the values as floats, missing ones 0. Drawn with
 * labels and extrema into a kernel record that keeps nothing. */
void draw_grid(const uint8_t* p, size_t n) {
  if (n < 3) return;
  static bool open = false;
  if (!open) {
    gopen_gks(nullptr, 0);
    gopen_ws(1, "/dev/null", GWS_META);
    open = true;
  }
  const int nx = 2 + p[0] % 7, ny = 2 + p[1] % 7;
  constexpr int types[] = {CONT_LINES, CONT_FILL, CONT_LINES_FILL};
  std::vector<float> v(static_cast<size_t>(nx * ny) + 1, 0.0f);
  for (size_t k = 0; k < v.size() && 3 + 4 * k + 4 <= n; ++k) std::memcpy(&v[k], p + 3 + 4 * k, 4);
  GRD_report g{};
  DOM_init(&g.domain);
  g.domain.nx = nx;
  g.domain.ny = ny;
  g.grid = v.data() + 1;
  CONT_init();
  CONT_reset_fill_set();
  CONT_set_type(types[p[2] % 3]);
  CONT_set_fill_colors("1-15", 1);
  CONT_set_intrvl(v[0]);
  CONT_set_label_type(1, 1 + p[2] / 3 % 3);
  MAP_domain(&g.domain);
  const CONT_kernel silent{no_points, no_points, no_text, no_index, no_index, no_index, no_width, no_sleep, no_colour};
  CONT_set_kernel(&silent);
  CONT_draw(&g);
  Gattribs a;
  for (float x : v) CONT_get_fill_attrib(x, &a);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  kez_fuzz::quiet();
  if (data[0] % 4 == 3) {
    draw_grid(data + 1, size - 1);
    return 0;
  }
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (text.find('\0') != std::string::npos) return 0;
  CONT_init();
  CONT_reset_fill_set();
  switch (data[0] % 4) {
    case 0: CONT_set_fill_colors(text.c_str(), 1); break;
    case 1: {
      char path[] = "/tmp/kez_cont_fuzz_XXXXXX";
      const int fd = mkstemp(path);
      if (fd < 0) return 0;
      if (write(fd, text.data(), text.size()) < 0) {
      }
      close(fd);
      RES_put("file_path", "/");
      RES_put("color_fill", path + 1);
      CONT_set_fill_colors(nullptr, 0);
      unlink(path);
      break;
    }
    default:
      CONT_format_decode_type(text.c_str());
      CONT_set_format(CONT_LINES, text.c_str());
      break;
  }
  Gattribs a;
  for (float v : {-1e30f, -5.0f, 0.0f, 3.5f, 1e30f, NAN, INFINITY}) CONT_get_fill_attrib(v, &a);
  CONT_set_range(10, 0);
  CONT_set_cont_ext(nullptr);
  return 0;
}
