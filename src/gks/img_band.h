/*
 * img_band: the image palette made band by band, shared by img_tool and
 * the PNG writer (which indexes and packs bands of rows on several
 * threads), and the PNG writer's thread limit. Private to the graphics
 * kernel: not installed.
 */
#ifndef IMG_BAND_H
#define IMG_BAND_H

#include <cstddef>

#include "kezimg.h"

/* The same palette made band by band, so that several threads can index
 * bands of rows at once. IMG_index_band gives the rows of a band indexes
 * into the band's own list of values: the num_value values it holds when
 * called (none, or the palette as merged so far, so that the indexes need
 * no map), then the band's other values in the order of their first
 * occurrence (at most 256 in all; later new values take index 0 and mark
 * the band as overflowed). It returns 0, or -1 without memory.
 * IMG_merge_band, called for each band in turn from the top (pal empty at
 * first), adds the band's new values to the image's palette, so that the
 * last call leaves the palette IMG_make_palette makes, and gives the band
 * its map from band index to palette index; a band whose indexes cannot
 * be mapped (some overflowed bands) is marked to be indexed again by
 * IMG_reindex_band against the palette's values as merged up to and with
 * the band, which hold every value of the band that the whole palette
 * holds. The index of row
 * first_row + r, column c is index[r * stride + c]. */
struct IMG_band {
  int first_row = 0; /* rows first_row to last_row - 1 */
  int last_row = 0;
  int num_value = 0;
  unsigned int value[IMG_PALETTE_MAX] = {};
  bool overflow = false;                   /* a value past the band's 256th met */
  unsigned char map[IMG_PALETTE_MAX] = {}; /* band index to palette index, by the merge */
  bool identity = false;                   /* by the merge: the map changes no index */
  bool reindex = false;                    /* by the merge: IMG_reindex_band must run */
};
int IMG_index_band(const IMG_report* image, IMG_band* band, unsigned char* index, std::size_t stride);
void IMG_merge_band(const IMG_report* image, long trans_value, IMG_band* band, IMG_palette* pal);
int IMG_reindex_band(const IMG_report* image, const unsigned int* palette_values, int num_values, IMG_band* band,
                     unsigned char* index, std::size_t stride);

/* The most threads (1 to 4) that PNG_write packs a large image with; 0,
 * the default, takes the machine's processors, at most 4. Returns the
 * previous setting. */
int PNG_threads(int n);

#endif
