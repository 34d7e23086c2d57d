/*
 * standin_i17: STAND-IN for the window capture of gks_img until that module
 * lands (the lead drops this file then).
 *
 * gget_image captures nothing yet: the dumps that start with it (GIF_dump,
 * PNG_dump, XWD_dump) report the failure and write no file.
 */
#include "kez.h"
#include "kezimg.h"

int gget_image(IMG_report* image) {
  (void)image;
  MESS_print(M_warn, "gget_image: Window capture is not available\n");
  return 0;
}
