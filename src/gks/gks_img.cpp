/*
 * gks_img: raster images into and out of the window.
 *
 * gget_image captures the current drawing target (the backing drawable or
 * a selected frame, over the visible window's size) into an image record;
 * every image dump starts with it. The record keeps the server's pixels as
 * they are (depth, bits per pixel, row length, byte order) and describes
 * their colours either by the visual's masks (true and direct colour) or
 * by a table read from the window's colormap.
 */
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "kez.h"
#include "kezgks_x11.h"
#include "kezimg.h"

namespace {

constexpr std::size_t INFO_CHARS = 74;
constexpr M_type M_image_trace = M_debug;

struct ImageDeleter {
  void operator()(XImage* image) const {
    if (image) XDestroyImage(image);
  }
};
using ImagePtr = std::unique_ptr<XImage, ImageDeleter>;

struct ImgState {
  int output_type = IMG_SAVE_GIF; /* format of gsave_image_file */
};

ImgState state;

void trace_ximage(const XImage& x) {
  if (!MESS_check(M_image_trace)) return;
  MESS_print(M_image_trace, "width: %d\n", x.width);
  MESS_print(M_image_trace, "height: %d\n", x.height);
  MESS_print(M_image_trace, "xoffset: %d\n", x.xoffset);
  MESS_print(M_image_trace, "format: %d\n", x.format);
  MESS_print(M_image_trace, "byte_order: %d\n", x.byte_order);
  MESS_print(M_image_trace, "bitmap_unit: %d\n", x.bitmap_unit);
  MESS_print(M_image_trace, "bitmap_bit_order: %d\n", x.bitmap_bit_order);
  MESS_print(M_image_trace, "bitmap_pad: %d\n", x.bitmap_pad);
  MESS_print(M_image_trace, "depth: %d\n", x.depth);
  MESS_print(M_image_trace, "bits_per_pixel: %d\n", x.bits_per_pixel);
  MESS_print(M_image_trace, "bytes_per_line: %d\n", x.bytes_per_line);
  MESS_print(M_image_trace, "red_mask: %lX\n", x.red_mask);
  MESS_print(M_image_trace, "green_mask: %lX\n", x.green_mask);
  MESS_print(M_image_trace, "blue_mask: %lX\n", x.blue_mask);
}

/* The record's order of sub-byte pixels: the first 4-bit pixel in the high
 * half of a byte, the first 1-bit pixel in the lowest bit. */
void to_record_order(const XImage& x, unsigned char* data, long bytes) {
  if (x.bits_per_pixel == 1 && x.bitmap_bit_order == MSBFirst) {
    for (long i = 0; i < bytes; ++i) {
      unsigned char b = data[i], r = 0;
      for (int k = 0; k < 8; ++k) r = static_cast<unsigned char>(r | (((b >> k) & 1) << (7 - k)));
      data[i] = r;
    }
  } else if (x.bits_per_pixel == 4 && x.byte_order == LSBFirst) {
    for (long i = 0; i < bytes; ++i) data[i] = static_cast<unsigned char>(data[i] << 4 | data[i] >> 4);
  }
}

unsigned long lowest_bit(unsigned long mask) { return mask & (~mask + 1); }

/* The colours of pixels 0 to n - 1 from the colormap; for direct colour
 * the pixel of entry i holds i in each of the three fields. */
void read_colormap(Display* d, Colormap map, const Visual& visual, IMG_report* image) {
  const int n = visual.map_entries;
  if (n <= 0) return;
  std::vector<XColor> cells(static_cast<std::size_t>(n));
  const unsigned long r_step = lowest_bit(visual.red_mask), g_step = lowest_bit(visual.green_mask),
                      b_step = lowest_bit(visual.blue_mask);
  unsigned long r = 0, g = 0, b = 0;
  for (int i = 0; i < n; ++i) {
    XColor& c = cells[static_cast<std::size_t>(i)];
    if (visual.c_class == DirectColor) {
      c.pixel = r | g | b;
      if ((r += r_step) > visual.red_mask) r = 0;
      if ((g += g_step) > visual.green_mask) g = 0;
      if ((b += b_step) > visual.blue_mask) b = 0;
    } else {
      c.pixel = static_cast<unsigned long>(i);
    }
  }
  XQueryColors(d, map, cells.data(), n);
  auto* colors = static_cast<IMG_color*>(std::malloc(sizeof(IMG_color) * static_cast<std::size_t>(n)));
  if (!colors) {
    MESS_print(M_warn, "gget_image: Unable to allocate memory for colors\n");
    return;
  }
  auto unit = [](unsigned short v) {
    const float f = static_cast<float>(v) / 65535.0f;
    return f > 0.99f ? 1.0f : f;
  };
  for (int i = 0; i < n; ++i) {
    const XColor& c = cells[static_cast<std::size_t>(i)];
    colors[i] = IMG_color{unit(c.red), unit(c.green), unit(c.blue)};
  }
  image->colors = colors;
  image->num_colors = n;
}

} // namespace

int gget_image(IMG_report* image) {
  if (!image) return 0;
  IMG_init(image);
  Display* d = gget_display();
  const Drawable target = gget_draw_window();
  if (!d || !target) return 0;

  XWindowAttributes attrs{};
  const int print = gset_xerror_print(0);
  const Status got_attrs = XGetWindowAttributes(d, gget_root_window(), &attrs);
  XSync(d, False);
  gset_xerror_print(print);
  if (!got_attrs || attrs.width <= 0 || attrs.height <= 0) {
    MESS_print(M_warn, "gget_image: Can't get target window attributes\n");
    return 0;
  }
  const int width = attrs.width, height = attrs.height;

  char* name = nullptr;
  const std::string info = XFetchName(d, gget_root_window(), &name) && name && *name ? name : "xwdump";
  if (name) XFree(name);
  std::snprintf(image->info, sizeof image->info, "%.*s", static_cast<int>(INFO_CHARS), info.c_str());

  ImagePtr x(XGetImage(d, target, 0, 0, static_cast<unsigned int>(width), static_cast<unsigned int>(height),
                       AllPlanes, ZPixmap));
  if (!x) {
    MESS_print(M_warn, "gget_image: Unable to get image at %dx%d+%d+%d\n", width, height, 0, 0);
    return 0;
  }
  const long bytes = static_cast<long>(x->bytes_per_line) * height;
  image->data = static_cast<unsigned char*>(std::malloc(static_cast<std::size_t>(bytes)));
  if (!image->data) {
    MESS_print(M_warn, "gget_image: Unable to allocate data buffer.\n");
    return 0;
  }
  std::memcpy(image->data, x->data, static_cast<std::size_t>(bytes));
  to_record_order(*x, image->data, bytes);
  image->width = width;
  image->height = height;
  image->bits_pixel = x->bits_per_pixel;
  image->bytes_line = x->bytes_per_line;
  image->byte_order = x->byte_order == MSBFirst ? 1 : 0;
  image->depth = x->depth;
  image->red = static_cast<unsigned int>(x->red_mask);
  image->grn = static_cast<unsigned int>(x->green_mask);
  image->blu = static_cast<unsigned int>(x->blue_mask);
  trace_ximage(*x);

  const Visual* visual = attrs.visual ? attrs.visual : gget_visual();
  if (MESS_check(M_image_trace) && visual) {
    MESS_print(M_image_trace, "num colors: %d\n", visual->map_entries);
    MESS_print(M_image_trace, "red_mask: %lX\n", visual->red_mask);
    MESS_print(M_image_trace, "green_mask: %lX\n", visual->green_mask);
    MESS_print(M_image_trace, "blue_mask: %lX\n", visual->blue_mask);
  }
  const bool masked = visual && (visual->c_class == TrueColor);
  image->color_type = masked ? IMG_COLOR_MASKS : IMG_COLOR_INDEXED;
  image->num_colors = 0;
  if (masked && image->red == 0) {
    image->red = static_cast<unsigned int>(visual->red_mask);
    image->grn = static_cast<unsigned int>(visual->green_mask);
    image->blu = static_cast<unsigned int>(visual->blue_mask);
  }
  /* A window without a colormap has no colour table; its pixels are then
   * taken as indexes without colours (grey levels to the writers). */
  if (!masked && visual && attrs.colormap) read_colormap(d, attrs.colormap, *visual, image);
  XFlush(d);
  return 1;
}

int gread_image_file(const char* filename, IMG_report* image) {
  return IMG_read(filename, image, IMG_READ_ALL);
}

int gquery_image_file(const char* filename, IMG_report* image) {
  return IMG_read(filename, image, IMG_READ_HEADER);
}

int gset_save_image_type(int val) {
  state.output_type = val;
  return 0;
}

int gget_save_image_type() { return state.output_type; }

int gsave_image_file(const char* filename) {
  IMG_report image;
  if (!gget_image(&image)) {
    IMG_free(&image);
    return 0;
  }
  int result = 0;
  if (state.output_type == IMG_SAVE_GIF) result = GIF_write(filename, &image);
  else if (state.output_type == IMG_SAVE_PNG) result = PNG_write(filename, &image);
  else result = XWD_write(filename, &image);
  IMG_free(&image);
  return result;
}
