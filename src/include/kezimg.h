/*
 * kezimg.h: the raster image record of the graphics system and its files.
 *
 * An IMG_report holds one image in memory: its header, its colour table and
 * its pixel rows, the top row first. It owns its colour table and pixels
 * (allocated with the C allocator by whoever fills it). The file readers and
 * writers and the window capture fill it; the PostScript writer puts it on a
 * page.
 *
 * Four file formats carry images: the suite's own format (img_tool, which
 * also owns the record and recognises a file by its first bytes), GIF (gif,
 * with a coder of its own), PNG (png, through libpng) and X Window Dump
 * (xdump). Readers return 1 or 0 and leave a failed record emptied; every
 * size a file declares is bounded before anything is allocated for it.
 */
#ifndef KEZIMG_H
#define KEZIMG_H

#include <vector>

#include "kez.h"

/* One colour of an image's colour table. */
struct IMG_color {
  float r; /* 0 to 1 */
  float g;
  float b;
};

struct IMG_report {
  int source; /* 50 the suite's own format, else 0 */
  int type;
  int version;
  char datim[50]; /* date label */
  Date date;
  char info[75]; /* title or description */
  int width;     /* pixels per row */
  int height;    /* rows */
  int depth;     /* bits of colour information per pixel */
  float xres;
  float yres;
  float xoff;
  float yoff;
  int bits_pixel;   /* bits a pixel occupies in data; 0 means one byte */
  int bytes_line;   /* bytes from one row to the next */
  int byte_order;   /* 1 most significant byte first, 0 least first */
  int color_type;   /* 1 pixels index colors; 0 pixels hold masked components */
  int num_colors;   /* entries in colors, 0 without a table */
  unsigned int red; /* component masks of colour type 0 */
  unsigned int grn;
  unsigned int blu;
  IMG_color* colors;
  int trans_color; /* transparent pixel value, -1 none */
  Domain domain;   /* projection -9999 when the image has no map */
  unsigned char* data;
};

/* ------------------------------------------------------------------------ */
/* img_tool: the image record, format dispatch and the suite's own format   */
/* ------------------------------------------------------------------------ */

inline constexpr int IMG_SOURCE_KEZ = 50; /* source of an own-format image */
inline constexpr int IMG_READ_ALL = 0;    /* IMG_read types */
inline constexpr int IMG_READ_HEADER = 1;
inline constexpr int IMG_WRITE_PLAIN = 0; /* IMG_write types */
inline constexpr int IMG_WRITE_ZLIB = 1;
inline constexpr int IMG_COLOR_MASKS = 0; /* color_type values */
inline constexpr int IMG_COLOR_INDEXED = 1;
inline constexpr int IMG_DEPTH_NO_WINDOW = 32; /* deepest image read without a window */

/* Bounds on what a file may declare: a side of at most 65535 pixels (the
 * GIF limit) and a pixel block of at most 256 MiB. */
inline constexpr int IMG_MAX_SIDE = 65535;
inline constexpr long IMG_MAX_BYTES = 1L << 28;

/* Message level of the coders' per-call trace lines. */
inline constexpr M_type IMG_M_trace = 0x40000000;

int IMG_init(IMG_report* image);
int IMG_free(IMG_report* image);
int IMG_copy(IMG_report* image1, const IMG_report* image2);
int IMG_print(M_type lev, const IMG_report* image);
int IMG_read(const char* filename, IMG_report* image, int type);
int IMG_read_kez(const char* filename, IMG_report* image, int type);
int IMG_write(const char* filename, const IMG_report* image, int type);

/* The plot frame describes a dumped window image for the own format: it
 * sets the image's domain, title and date label (null: none). */
int IMG_set_dump_hook(int (*describe)(IMG_report* image));
/* Grabs the window's current drawing target and writes it plain in the own
 * format: 1, or 0. */
int IMG_dump(const char* filename);

/* Pixel access shared by the writers. A stored row holds IMG_row_pixels
 * pixels of IMG_storage_bits bits each (1, 4, 8, 16, 24 or 32); IMG_pixel
 * gives the value of one of them (row and column inside the stored row),
 * 0 beyond the image's width. IMG_check tells whether a record can be
 * written: pixels present, sizes positive and bounded, rows long enough
 * for the width; it prints the reason as who's message when not. */
int IMG_storage_bits(const IMG_report* image);
int IMG_row_pixels(const IMG_report* image);
unsigned int IMG_pixel(const IMG_report* image, int row, int col);
int IMG_check(const IMG_report* image, const char* who);

/* The palette of the GIF and PNG writers: the image's pixel values in the
 * order in which they first occur, at most 256, each with its colour (0 to
 * 255); later new values take index 0. */
inline constexpr int IMG_PALETTE_MAX = 256;
struct IMG_palette {
  int num_color = 0;
  unsigned int value[IMG_PALETTE_MAX] = {};
  int red[IMG_PALETTE_MAX] = {};
  int grn[IMG_PALETTE_MAX] = {};
  int blu[IMG_PALETTE_MAX] = {};
  int trans_index = -1; /* palette index of trans_value, -1 when absent */
};
/* Fills pal and index (width x height palette indexes, top row first).
 * trans_value is a pixel value whose entry becomes trans_index (-1 none). */
int IMG_make_palette(const IMG_report* image, long trans_value, IMG_palette* pal, std::vector<unsigned char>* index);

/* ------------------------------------------------------------------------ */
/* gif: GIF files                                                           */
/* ------------------------------------------------------------------------ */

int GIF_interlace(int val);
int GIF_transparent(int val);
int GIF_write(const char* filename, const IMG_report* image);
int GIF_read(const char* filename, IMG_report* image, int type);
int GIF_dump(const char* filename);

/* ------------------------------------------------------------------------ */
/* png: PNG files                                                           */
/* ------------------------------------------------------------------------ */

int PNG_write(const char* filename, const IMG_report* image);
int PNG_read(const char* filename, IMG_report* image, int type);
int PNG_dump(const char* filename);

/* ------------------------------------------------------------------------ */
/* xdump: X Window Dump files                                               */
/* ------------------------------------------------------------------------ */

int XWD_write(const char* filename, const IMG_report* image);
int XWD_read(const char* filename, IMG_report* image, int type);
int XWD_dump(const char* filename);

/* ------------------------------------------------------------------------ */
/* gks_img: images into and out of the window                               */
/* ------------------------------------------------------------------------ */

/* Formats of gsave_image_file; any other value writes X Window Dump. */
inline constexpr int IMG_SAVE_GIF = 56;
inline constexpr int IMG_SAVE_PNG = 58;

/* Fills image with the picture of the current drawing target over the
 * visible window's size: 1, or 0. The caller frees the arrays (IMG_free). */
int gget_image(IMG_report* image);
/* Grabs as gget_image does and lends the record to use, which may read the
 * pixels and change the header but neither keep nor free them: they stay
 * where the server put them and go when use returns. use's result, or 0
 * when nothing could be grabbed. */
int glend_image(int (*use)(IMG_report* image, void* arg), void* arg);
int gread_image_file(const char* filename, IMG_report* image);
int gquery_image_file(const char* filename, IMG_report* image);
int gset_save_image_type(int val);
int gget_save_image_type();
int gsave_image_file(const char* filename);
/* Gives an indexed image's colours cells of a window of 8 bits or fewer;
 * trans: a pixel whose colour takes the image colours near it, -1 none. */
int gsetup_image_colors(IMG_report* image, int trans);
/* Puts the image at (x, y) pixels from the viewport's left and top edges,
 * or for negative values from its right and bottom edges; on PostScript
 * it goes onto the page. 0, or -1 when the window cannot show it. */
int gload_image(IMG_report* image, int x, int y);
/* 1 when the file was read and shown, else 0. */
int gload_image_file(const char* filename, int x, int y);
/* As gload_image, leaving out the pixels of the background colour (a
 * colour-table name or an X colour name; null or empty: the window's
 * background). 0, or -1 for a background text that names no colour. */
int goverlay_image(IMG_report* image, const char* background, int x, int y);
int goverlay_image_file(const char* filename, const char* background, int x, int y);

#endif /* KEZIMG_H */
