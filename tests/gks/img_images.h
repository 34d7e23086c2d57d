/*
 * Helpers of the image-file tests: records that free themselves, small
 * images in each pixel layout, the colour of a pixel as a reader would
 * show it, and ImageMagick's own decoding of a file for comparison.
 */
#ifndef KEZ_IMG_IMAGES_H
#define KEZ_IMG_IMAGES_H

#include <sys/stat.h>
#include <utime.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "kez_test.h"
#include "kezimg.h"

namespace img_test {

/* An IMG_report that starts empty and releases its arrays when it goes. */
struct Image {
  IMG_report r;
  Image() {
    std::memset(&r, 0, sizeof r);
    IMG_init(&r);
  }
  ~Image() { IMG_free(&r); }
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;
  IMG_report* operator->() { return &r; }
  IMG_report* get() { return &r; }
};

struct RGB {
  int r, g, b;
  bool operator==(const RGB&) const = default;
};

/* A colour that differs for each index of a table of 256. */
inline RGB table_color(int i) { return {(i * 37 + 11) % 256, (i * 91 + 3) % 256, (i * 151 + 7) % 256}; }

using PixelFn = std::function<unsigned int(int row, int col)>;

/* An 8-bit indexed image with colours table_color(0 .. ncolors - 1); pad
 * extra bytes end each row. */
inline void make_indexed(Image& img, int w, int h, int ncolors, const PixelFn& f, int pad = 0) {
  IMG_report& r = img.r;
  r.width = w;
  r.height = h;
  r.depth = 8;
  r.bits_pixel = 8;
  r.bytes_line = w + pad;
  r.color_type = IMG_COLOR_INDEXED;
  r.num_colors = ncolors;
  r.colors = ncolors ? static_cast<IMG_color*>(std::calloc(static_cast<size_t>(ncolors), sizeof(IMG_color))) : nullptr;
  for (int i = 0; i < ncolors; ++i) {
    const RGB c = table_color(i);
    r.colors[i] = {c.r / 255.0f, c.g / 255.0f, c.b / 255.0f};
  }
  r.data = static_cast<unsigned char*>(std::calloc(static_cast<size_t>(r.bytes_line) * static_cast<size_t>(h), 1));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) r.data[y * r.bytes_line + x] = static_cast<unsigned char>(f(y, x));
}

/* A true-colour image of 32-bit pixels 0x00RRGGBB, in either byte order. */
inline void make_rgb32(Image& img, int w, int h, const PixelFn& f, int byte_order = 1) {
  IMG_report& r = img.r;
  r.width = w;
  r.height = h;
  r.depth = 24;
  r.bits_pixel = 32;
  r.bytes_line = 4 * w;
  r.byte_order = byte_order;
  r.color_type = IMG_COLOR_MASKS;
  r.red = 0xFF0000;
  r.grn = 0xFF00;
  r.blu = 0xFF;
  r.data = static_cast<unsigned char*>(std::calloc(static_cast<size_t>(r.bytes_line) * static_cast<size_t>(h), 1));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const unsigned int v = f(y, x);
      unsigned char* p = r.data + y * r.bytes_line + 4 * x;
      const unsigned char b[4] = {0, static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 8),
                                  static_cast<unsigned char>(v)};
      for (int k = 0; k < 4; ++k) p[k] = byte_order == 1 ? b[k] : b[3 - k];
    }
}

/* The colour a pixel shows: through the colour table, or its masked
 * components (8-bit masks), or its value as a grey level without a table. */
inline RGB rgb_at(const IMG_report& r, int row, int col) {
  const unsigned int v = IMG_pixel(&r, row, col);
  if (r.color_type == IMG_COLOR_MASKS) {
    auto comp = [&](unsigned int mask) {
      int shift = 0;
      while (shift < 32 && mask && !((mask >> shift) & 1u)) ++shift;
      return mask ? static_cast<int>((v & mask) >> shift) : 0;
    };
    return {comp(r.red), comp(r.grn), comp(r.blu)};
  }
  if (r.colors && v < static_cast<unsigned int>(r.num_colors)) {
    const IMG_color& c = r.colors[v];
    return {static_cast<int>(std::lround(c.r * 255)), static_cast<int>(std::lround(c.g * 255)),
            static_cast<int>(std::lround(c.b * 255))};
  }
  const int g = static_cast<int>(v);
  return {g, g, g};
}

inline std::vector<RGB> colours_of(const IMG_report& r) {
  std::vector<RGB> out;
  for (int y = 0; y < r.height; ++y)
    for (int x = 0; x < r.width; ++x) out.push_back(rgb_at(r, y, x));
  return out;
}

/* ImageMagick's convert (the real one where a wrapper shadows it). */
inline std::string convert_tool() {
  struct stat st {};
  return ::stat("/usr/bin/convert", &st) == 0 ? "/usr/bin/convert" : "convert";
}

inline bool have_imagemagick() { return kez_test::have_program("identify") && kez_test::have_program("convert"); }

/* The pixels of a file as ImageMagick decodes them, 8 bits a component;
 * empty when it cannot. */
inline std::vector<RGB> magick_pixels(const std::string& path) {
  std::string raw;
  if (kez_test::run_command(convert_tool() + " '" + path + "' -depth 8 rgb:- 2>/dev/null", &raw) != 0) return {};
  std::vector<RGB> out;
  for (size_t i = 0; i + 2 < raw.size(); i += 3)
    out.push_back({static_cast<unsigned char>(raw[i]), static_cast<unsigned char>(raw[i + 1]),
                   static_cast<unsigned char>(raw[i + 2])});
  return out;
}

/* Runs ImageMagick's convert with the arguments; true on success. */
inline bool magick(const std::string& args) {
  return kez_test::run_command(convert_tool() + " " + args + " >/dev/null 2>&1") == 0;
}

/* Makes a file look long finished, so that no reader waits for it to grow. */
inline void age_file(const std::string& path) {
  struct utimbuf times {
    1000000000, 1000000000
  };
  ::utime(path.c_str(), &times);
}

inline std::string slurp(const std::string& path) { return kez_test::read_file(path); }

} // namespace img_test

#endif
