/*
 * xdump: X Window Dump files (file version 7).
 *
 * XWD_write puts an image record into the published layout of the X Window
 * System: a header of 25 big-endian 32-bit fields, the window name with
 * its terminating zero, the colour entries (12 bytes each: pixel, red,
 * green, blue, flags, pad) and the rows as they stand. XWD_read takes such
 * a file back; it is also the reader of last resort of IMG_read.
 *
 * The reader checks every size the header declares against the record's
 * layouts and the file before allocating, and brings sub-byte pixels into
 * the record's order (the first 4-bit pixel in the high half of a byte,
 * the first 1-bit pixel in the least significant bit). Dumps whose colour
 * entries take 16 bytes (as this suite once wrote them) are recognised by
 * their size. Failure messages go straight to the standard error stream.
 */
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "kez.h"
#include "kezgks.h"
#include "kezimg.h"

namespace {

constexpr std::uint32_t FILE_VERSION = 7;
constexpr std::uint32_t HEADER_BYTES = 100;
constexpr std::uint32_t Z_PIXMAP = 2;
constexpr std::uint32_t PSEUDO_COLOR = 3;
constexpr std::uint32_t TRUE_COLOR = 4;
constexpr std::uint32_t DIRECT_COLOR = 5;
constexpr std::uint32_t MSB_FIRST = 1;
constexpr std::uint32_t BITMAP_UNIT = 32;
constexpr std::uint32_t BITMAP_PAD = 32;
constexpr std::uint32_t BITS_PER_RGB = 8;
constexpr long COLOR_BYTES = 12;        /* the published colour entry */
constexpr long LEGACY_COLOR_BYTES = 16; /* the entry of older dumps of this suite */
constexpr std::uint32_t MAX_COLORS = 65536;
constexpr unsigned char DO_RGB = 7; /* red, green and blue present */
constexpr int NAME_MAX_CHARS = 74;

/* The header fields in file order. */
enum Field {
  header_size,
  file_version,
  pixmap_format,
  pixmap_depth,
  pixmap_width,
  pixmap_height,
  xoffset,
  byte_order,
  bitmap_unit,
  bitmap_bit_order,
  bitmap_pad,
  bits_per_pixel,
  bytes_per_line,
  visual_class,
  red_mask,
  green_mask,
  blue_mask,
  bits_per_rgb,
  colormap_entries,
  ncolors,
  window_width,
  window_height,
  window_x,
  window_y,
  window_bdrwidth,
  FIELD_COUNT
};
using Header = std::array<std::uint32_t, FIELD_COUNT>;

struct PlainCloser {
  void operator()(FILE* fp) const { std::fclose(fp); }
};
using File = std::unique_ptr<FILE, PlainCloser>;

/* Releases what a failed read had allocated. */
struct Discard {
  IMG_report* image;
  ~Discard() {
    if (image) IMG_free(image);
  }
};

/* The module's failures are written straight to the standard error stream. */
__attribute__((format(printf, 1, 2))) void fail(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
}

void put32(std::vector<unsigned char>* out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<unsigned char>(v >> shift));
}
void put16(std::vector<unsigned char>* out, std::uint32_t v) {
  out->push_back(static_cast<unsigned char>(v >> 8));
  out->push_back(static_cast<unsigned char>(v));
}
std::uint32_t get32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}
std::uint32_t get16(const unsigned char* p) { return static_cast<std::uint32_t>(p[0]) << 8 | p[1]; }

std::uint16_t to_16bit(float v) {
  if (!(v > 0)) return 0;
  return v >= 1 ? 65535 : static_cast<std::uint16_t>(std::lround(65535.0 * v));
}

bool write_all(FILE* fp, const std::vector<unsigned char>& bytes) {
  return std::fwrite(bytes.data(), 1, bytes.size(), fp) == bytes.size();
}

long file_size(FILE* fp) {
  struct stat st {};
  if (fstat(fileno(fp), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<long>(st.st_size);
}

unsigned char reverse_bits(unsigned char b) {
  b = static_cast<unsigned char>((b & 0xF0) >> 4 | (b & 0x0F) << 4);
  b = static_cast<unsigned char>((b & 0xCC) >> 2 | (b & 0x33) << 2);
  return static_cast<unsigned char>((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

/* The header's sizes against the record's layouts and the bounds. */
bool check_header(const Header& h) {
  const std::uint32_t bpp = h[bits_per_pixel];
  if (h[pixmap_format] != Z_PIXMAP) {
    fail("XWD_read: Only ZPixmap dumps are read, not format %u\n", h[pixmap_format]);
    return false;
  }
  if (!(bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32) || h[pixmap_depth] < 1 ||
      h[pixmap_depth] > bpp) {
    fail("XWD_read: Depth %u in %u bits per pixel is not supported\n", h[pixmap_depth], bpp);
    return false;
  }
  if (h[pixmap_width] < 1 || h[pixmap_height] < 1 || h[pixmap_width] > IMG_MAX_SIDE ||
      h[pixmap_height] > IMG_MAX_SIDE) {
    fail("XWD_read: Image size %ux%u out of range\n", h[pixmap_width], h[pixmap_height]);
    return false;
  }
  const std::uint64_t row = (static_cast<std::uint64_t>(h[pixmap_width]) * bpp + 7) / 8;
  if (h[bytes_per_line] < row ||
      static_cast<std::uint64_t>(h[bytes_per_line]) * h[pixmap_height] > static_cast<std::uint64_t>(IMG_MAX_BYTES)) {
    fail("XWD_read: Rows of %u bytes do not hold %u pixels\n", h[bytes_per_line], h[pixmap_width]);
    return false;
  }
  if (h[ncolors] > MAX_COLORS || h[byte_order] > 1 || h[bitmap_bit_order] > 1) {
    fail("XWD_read: Bad colour count or byte order\n");
    return false;
  }
  return true;
}

} // namespace

int XWD_write(const char* filename, const IMG_report* image) {
  if (!IMG_check(image, "XWD_write")) return 0;
  File fp(filename ? std::fopen(filename, "wb") : nullptr);
  if (!fp) {
    fail("Unable to open dump file\n");
    return 0;
  }
  const int bits = IMG_storage_bits(image);
  const std::string name(image->info, strnlen(image->info, sizeof image->info - 1));
  const std::uint32_t colors = image->colors ? static_cast<std::uint32_t>(std::max(image->num_colors, 0)) : 0;
  const std::uint32_t order = image->byte_order == 1 ? 1 : 0;
  Header h{};
  h[header_size] = HEADER_BYTES + static_cast<std::uint32_t>(name.size()) + 1;
  h[file_version] = FILE_VERSION;
  h[pixmap_format] = Z_PIXMAP;
  h[pixmap_depth] = static_cast<std::uint32_t>(image->depth);
  h[pixmap_width] = static_cast<std::uint32_t>(image->width);
  h[pixmap_height] = static_cast<std::uint32_t>(image->height);
  /* The record keeps the first 4-bit pixel in a byte's high half and the
   * first 1-bit pixel in its low bit: say so in X's terms. */
  h[byte_order] = bits == 4 ? MSB_FIRST : order;
  /* Rows are padded as far as bytes_line says, not always to 32 bits. */
  const std::uint32_t pad = image->bytes_line % 4 == 0 ? BITMAP_PAD : image->bytes_line % 2 == 0 ? 16 : 8;
  h[bitmap_unit] = std::min(BITMAP_UNIT, pad);
  h[bitmap_bit_order] = bits == 1 ? 0 : order;
  h[bitmap_pad] = pad;
  h[bits_per_pixel] = static_cast<std::uint32_t>(bits);
  h[bytes_per_line] = static_cast<std::uint32_t>(image->bytes_line);
  h[visual_class] = image->color_type ? PSEUDO_COLOR : TRUE_COLOR;
  h[red_mask] = image->red;
  h[green_mask] = image->grn;
  h[blue_mask] = image->blu;
  h[bits_per_rgb] = BITS_PER_RGB;
  h[colormap_entries] = colors;
  h[ncolors] = colors;
  h[window_width] = static_cast<std::uint32_t>(image->width);
  h[window_height] = static_cast<std::uint32_t>(image->height);

  std::vector<unsigned char> bytes;
  for (std::uint32_t v : h) put32(&bytes, v);
  if (!write_all(fp.get(), bytes)) {
    fail("Unable to write dump file header\n");
    return 0;
  }
  MESS_print(M_debug, "width: %d\n", image->width);
  MESS_print(M_debug, "height: %d\n", image->height);
  MESS_print(M_debug, "byte_order: %d\n", image->byte_order);
  MESS_print(M_debug, "bits_pixel: %d\n", image->bits_pixel);
  MESS_print(M_debug, "depth: %d\n", image->depth);
  MESS_print(M_debug, "bytes_per_line: %d\n", image->bytes_line);
  MESS_print(M_debug, "num colors: %u\n", colors);

  bytes.assign(name.begin(), name.end());
  bytes.push_back(0);
  if (!write_all(fp.get(), bytes)) {
    fail("Unable to write window name to dump file.\n");
    return 0;
  }
  bytes.clear();
  for (std::uint32_t i = 0; i < colors; ++i) {
    put32(&bytes, i);
    put16(&bytes, to_16bit(image->colors[i].r));
    put16(&bytes, to_16bit(image->colors[i].g));
    put16(&bytes, to_16bit(image->colors[i].b));
    bytes.push_back(DO_RGB);
    bytes.push_back(0);
  }
  if (!write_all(fp.get(), bytes)) {
    fail("Unable to write color map to dump file.\n");
    return 0;
  }
  const std::size_t size = static_cast<std::size_t>(image->bytes_line) * static_cast<std::size_t>(image->height);
  bool ok = std::fwrite(image->data, 1, size, fp.get()) == size;
  if (ok) ok = std::fclose(fp.release()) == 0;
  if (!ok) {
    fail("Unable to write to XWD file.\n");
    return 0;
  }
  return 1;
}

int XWD_read(const char* filename, IMG_report* image, int type) {
  (void)type; /* the whole file is always read */
  if (!image) return 0;
  const int allowed = image->depth;
  image->data = nullptr;
  image->colors = nullptr;
  image->num_colors = 0;
  Discard discard{image};
  File fp(filename ? std::fopen(filename, "rb") : nullptr);
  if (!fp) {
    fail("Unable to open dump file\n");
    return 0;
  }
  unsigned char raw[HEADER_BYTES];
  if (std::fread(raw, 1, sizeof raw, fp.get()) != sizeof raw) {
    fail("Unable to read dump file header\n");
    return 0;
  }
  Header h{};
  for (int i = 0; i < FIELD_COUNT; ++i) h[static_cast<std::size_t>(i)] = get32(raw + 4 * i);
  if (h[file_version] != FILE_VERSION) {
    fail("XWD file format version mismatch\n");
    return 0;
  }
  if (h[header_size] < HEADER_BYTES) {
    fail("XWD header size is too small.\n");
    return 0;
  }
  if (static_cast<long>(h[pixmap_depth]) > allowed) {
    fail("Incorrect depth: %u > %d\n", h[pixmap_depth], allowed);
    return 0;
  }
  if (!check_header(h)) return 0;

  /* The name: the first characters up to its zero, the rest passed over. */
  std::string name;
  bool ended = false;
  for (std::uint32_t i = HEADER_BYTES; i < h[header_size]; ++i) {
    const int c = std::getc(fp.get());
    if (c == EOF) {
      fail("Unable to read window name from dump file.\n");
      return 0;
    }
    if (c == 0) ended = true;
    if (!ended && name.size() < NAME_MAX_CHARS) name.push_back(static_cast<char>(c));
  }
  std::snprintf(image->info, sizeof image->info, "%s", name.c_str());

  image->width = static_cast<int>(h[pixmap_width]);
  image->height = static_cast<int>(h[pixmap_height]);
  image->byte_order = static_cast<int>(h[byte_order]);
  image->depth = static_cast<int>(h[pixmap_depth]);
  image->bytes_line = static_cast<int>(h[bytes_per_line]);
  image->bits_pixel = static_cast<int>(h[bits_per_pixel]);
  /* A direct-colour dump without colour entries holds its components as
   * they stand, as a true-colour one does. */
  const bool masked = h[visual_class] == TRUE_COLOR || (h[visual_class] == DIRECT_COLOR && h[ncolors] == 0);
  if (masked) {
    image->color_type = IMG_COLOR_MASKS;
    image->red = h[red_mask];
    image->grn = h[green_mask];
    image->blu = h[blue_mask];
  } else {
    image->color_type = IMG_COLOR_INDEXED;
  }
  image->num_colors = 0;
  MESS_print(M_debug, "width: %d\n", image->width);
  MESS_print(M_debug, "height: %d\n", image->height);
  MESS_print(M_debug, "byte_order: %d\n", image->byte_order);
  MESS_print(M_debug, "depth: %d\n", image->depth);
  MESS_print(M_debug, "bytes_per_line: %d\n", image->bytes_line);
  MESS_print(M_debug, "bits_per_pixel: %d\n", image->bits_pixel);
  MESS_print(M_debug, "color type: %d\n", image->color_type);
  MESS_print(M_debug, "num_colors: %u\n", h[ncolors]);

  const long pixels = static_cast<long>(h[bytes_per_line]) * static_cast<long>(h[pixmap_height]);
  long entry = COLOR_BYTES;
  const long size = file_size(fp.get());
  if (size >= 0) {
    const long base = static_cast<long>(h[header_size]) + pixels;
    const long n = static_cast<long>(h[ncolors]);
    if (size == base + n * LEGACY_COLOR_BYTES && size != base + n * COLOR_BYTES) entry = LEGACY_COLOR_BYTES;
    if (size < base + n * entry) {
      fail("Unable to read pixmap from dump file.\n");
      return 0;
    }
  }

  if (h[ncolors] > 0) {
    image->colors = static_cast<IMG_color*>(std::calloc(h[ncolors], sizeof(IMG_color)));
    if (!image->colors) {
      fail("Unable to allocate data buffer.\n");
      return 0;
    }
    image->num_colors = static_cast<int>(h[ncolors]);
    const long rgb = entry == COLOR_BYTES ? 4 : 8; /* where red starts in an entry */
    unsigned char e[LEGACY_COLOR_BYTES];
    for (std::uint32_t i = 0; i < h[ncolors]; ++i) {
      if (std::fread(e, 1, static_cast<std::size_t>(entry), fp.get()) != static_cast<std::size_t>(entry)) {
        fail("Unable to read color map from dump file.\n");
        return 0;
      }
      const std::uint32_t pixel = get32(e);
      if (pixel >= h[ncolors]) continue;
      image->colors[pixel].r = static_cast<float>(get16(e + rgb)) / 65535.0f;
      image->colors[pixel].g = static_cast<float>(get16(e + rgb + 2)) / 65535.0f;
      image->colors[pixel].b = static_cast<float>(get16(e + rgb + 4)) / 65535.0f;
    }
  }

  image->data = static_cast<unsigned char*>(std::malloc(static_cast<std::size_t>(pixels)));
  if (!image->data) {
    fail("Unable to allocate data buffer.\n");
    return 0;
  }
  if (std::fread(image->data, 1, static_cast<std::size_t>(pixels), fp.get()) != static_cast<std::size_t>(pixels)) {
    fail("Unable to read pixmap from dump file.\n");
    return 0;
  }
  if (h[bits_per_pixel] == 1 && h[bitmap_bit_order] == MSB_FIRST) {
    for (long i = 0; i < pixels; ++i) image->data[i] = reverse_bits(image->data[i]);
  } else if (h[bits_per_pixel] == 4 && h[byte_order] != MSB_FIRST) {
    for (long i = 0; i < pixels; ++i)
      image->data[i] = static_cast<unsigned char>(image->data[i] << 4 | image->data[i] >> 4);
  }
  discard.image = nullptr;
  return 1;
}

int XWD_dump(const char* filename) {
  return glend_image([](IMG_report* image, void* name) { return XWD_write(static_cast<const char*>(name), image); },
                     const_cast<char*>(filename));
}
