/*
 * Helpers of the tests of text, markers and the file devices: a small
 * stroke font written for a test, a world of one point a unit, and counts of
 * ink in a rendering.
 */
#ifndef KEZ_GKS_OUTPUT_H
#define KEZ_GKS_OUTPUT_H

#include <map>
#include <string>
#include <vector>

#include "gks_scenario.h"
#include "kez_test.h"
#include "ps_render.h"

namespace gks_test {

/* A stroke font in the plain form: each glyph a list of (x, y) pairs as
 * stored (x + 128 lifts the pen). */
inline std::string font_text(const std::map<int, std::vector<int>>& glyphs) {
  std::string data = "255";
  std::vector<int> index(256, -1);
  int size = 1;
  for (const auto& [code, pairs] : glyphs) {
    index[static_cast<size_t>(code)] = size;
    for (int v : pairs) data += " " + std::to_string(v);
    data += " 255";
    size += static_cast<int>(pairs.size()) + 1;
  }
  data.resize(data.size() - 3);
  data += "254\n";
  for (int i = 0; i < 256; ++i) data += std::to_string(index[static_cast<size_t>(i)]) + (i % 16 == 15 ? "\n" : " ");
  return data;
}

/* "A" rises from (0, 35) to (60, 140), "B" from (0, 35) to (70, 140): the
 * advance widths 60 and 70. */
inline std::string ab_font() { return font_text({{'A', {128, 35, 60, 140}}, {'B', {128, 35, 70, 140}}}); }

/* Pixels darker than mid grey inside a box of page points. */
inline int ink(const kez_test::Raster& r, int x0, int y0, int x1, int y1) {
  int n = 0;
  for (int x = x0; x <= x1; ++x)
    for (int y = y0; y <= y1; ++y) {
      auto c = r.at(x, y);
      if (c[0] >= 0 && c[0] + c[1] + c[2] < 3 * 128) ++n;
    }
  return n;
}

} // namespace gks_test

#endif
