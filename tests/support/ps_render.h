/*
 * Ghostscript as the independent judge of PostScript and EPS output: a
 * rendering at 72 dots per inch (one pixel a point) whose pixels a test can
 * sample, and the bounding box that ghostscript measures.
 */
#ifndef KEZ_PS_RENDER_H
#define KEZ_PS_RENDER_H

#include <array>
#include <string>
#include <vector>

namespace kez_test {

/* An RGB raster, row 0 at the top as ghostscript writes it. */
struct Raster {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgb;

  /* The pixel at page point (x, y), y counted upward from the bottom edge
   * as PostScript counts it; {-1, -1, -1} outside the raster. */
  std::array<int, 3> at(int x, int y) const;
};

/* Ghostscript's verdict on one file. */
struct GsRun {
  int status = -1;    /* exit status of gs */
  std::string log;    /* what gs printed */
  bool clean() const; /* status 0 and no error reported */
};

/* Renders a file on a page of page_w by page_h points. */
GsRun gs_render(const std::string& file, int page_w, int page_h, Raster* raster);

/* The %%BoundingBox that the bbox device measures for a file. */
GsRun gs_bbox(const std::string& file, std::array<int, 4>* box);

/* The four numbers of the first "%%BoundingBox:" line of a file's text. */
bool declared_bbox(const std::string& text, std::array<int, 4>* box);

} // namespace kez_test

#endif
