/*
 * kezimg.h: the raster image record of the graphics system.
 *
 * An IMG_report holds one image in memory: its header, its colour table and
 * its pixel rows, the top row first. It owns its colour table and pixels
 * (allocated with the C allocator by whoever fills it). The file readers and
 * writers and the window capture fill it; the PostScript writer puts it on a
 * page.
 */
#ifndef KEZIMG_H
#define KEZIMG_H

#include "kez.h"

/* One colour of an image's colour table. */
struct IMG_color {
  float r; /* 0 to 1 */
  float g;
  float b;
};

struct IMG_report {
  int source;       /* 50 the suite's own format, else 0 */
  int type;
  int version;
  char datim[50];   /* date label */
  Date date;
  char info[75];    /* title or description */
  int width;        /* pixels per row */
  int height;       /* rows */
  int depth;        /* bits of colour information per pixel */
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
  int trans_color;  /* transparent pixel value, -1 none */
  Domain domain;    /* projection -9999 when the image has no map */
  unsigned char* data;
};

#endif /* KEZIMG_H */
