/*
 * X Window Dump files: the published layout (checked against ImageMagick
 * both ways), round trips, the header's limits and hostile headers.
 */
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "img_images.h"
#include "kez_test.h"
#include "kezimg.h"

using namespace img_test;
using kez_test::TempDir;

namespace {

std::string write_xwd(const TempDir& dir, const std::string& name, Image& img) {
  const std::string path = dir.file(name);
  EXPECT_EQ(XWD_write(path.c_str(), img.get()), 1);
  return path;
}

std::uint32_t field(const std::string& bytes, int index) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + 4 * index;
  return static_cast<std::uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

void set_field(std::string* bytes, int index, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) (*bytes)[static_cast<size_t>(4 * index + k)] = static_cast<char>(v >> (24 - 8 * k));
}

/* Reads with no window limit on the depth, as IMG_read does then. */
int read_xwd(const std::string& path, Image& img, int allowed_depth = 32) {
  img->depth = allowed_depth;
  return XWD_read(path.c_str(), img.get(), 0);
}

enum {
  HEADER_SIZE = 0,
  VERSION = 1,
  FORMAT = 2,
  DEPTH = 3,
  WIDTH = 4,
  HEIGHT = 5,
  BITS_PER_PIXEL = 11,
  BYTES_PER_LINE = 12,
  VISUAL = 13,
  NCOLORS = 19
};

} // namespace

TEST(XwdWrite, IndexedDumpHasTwelveByteColourEntriesThatImageMagickReads) {
  TempDir dir;
  Image img;
  make_indexed(img, 20, 16, 256, [](int y, int x) { return (x * 16 + y) % 256u; });
  std::snprintf(img->info, sizeof img->info, "kez window");
  const std::string path = write_xwd(dir, "i.xwd", img);
  const std::string bytes = slurp(path);
  EXPECT_EQ(field(bytes, HEADER_SIZE), 100u + 11u);
  EXPECT_EQ(field(bytes, VISUAL), 3u);
  EXPECT_EQ(field(bytes, NCOLORS), 256u);
  EXPECT_EQ(bytes.size(), 111u + 256u * 12u + 20u * 16u);
  EXPECT_EQ(bytes.substr(100, 11), std::string("kez window\0", 11));
  if (have_imagemagick()) {
    EXPECT_EQ(magick_pixels(path), colours_of(img.r));
  }
}

TEST(XwdWrite, TrueColourDumpHasNoColourEntries) {
  TempDir dir;
  for (int order = 0; order <= 1; ++order) {
    SCOPED_TRACE(order ? "MSB first" : "LSB first");
    Image img;
    make_rgb32(
        img, 9, 7, [](int y, int x) { return x * 0x1C0000u + y * 0x2400u + 0x40u; }, order);
    const std::string path = write_xwd(dir, "t.xwd", img);
    const std::string bytes = slurp(path);
    EXPECT_EQ(field(bytes, VISUAL), 4u);
    EXPECT_EQ(bytes.size(), 101u + 4u * 9u * 7u);
    if (have_imagemagick()) {
      EXPECT_EQ(magick_pixels(path), colours_of(img.r));
    }
    Image back;
    ASSERT_EQ(read_xwd(path, back), 1);
    EXPECT_EQ(back->color_type, IMG_COLOR_MASKS);
    EXPECT_EQ(colours_of(back.r), colours_of(img.r));
  }
}

TEST(XwdRoundTrip, IndexedImageAndLongNameReadBack) {
  TempDir dir;
  Image img;
  make_indexed(
      img, 11, 5, 7, [](int y, int x) { return (x + 2 * y) % 7u; }, 1);
  std::memset(img->info, 'w', 74);
  img->info[74] = '\0';
  Image back;
  ASSERT_EQ(read_xwd(write_xwd(dir, "r.xwd", img), back), 1);
  EXPECT_EQ(std::string(back->info), std::string(74, 'w'));
  EXPECT_EQ(back->num_colors, 7);
  EXPECT_EQ(back->bytes_line, 12);
  EXPECT_EQ(colours_of(back.r), colours_of(img.r));
}

TEST(XwdRead, DumpsWrittenByImageMagickReadAsItDecodesThem) {
  if (!have_imagemagick()) GTEST_SKIP() << "ImageMagick not installed";
  TempDir dir;
  const std::string src = dir.file("src.png");
  ASSERT_TRUE(magick("-size 23x13 gradient:orange-purple -depth 8 PNG24:'" + src + "'"));
  const char* variants[] = {"", "-colors 16", "-colorspace gray", "-monochrome"};
  for (const char* v : variants) {
    SCOPED_TRACE(v);
    const std::string path = dir.file("im.xwd");
    ASSERT_TRUE(magick("'" + src + "' " + v + " xwd:'" + path + "'"));
    Image img;
    ASSERT_EQ(IMG_read(path.c_str(), img.get(), 0), 1) << "read with no window open";
    EXPECT_EQ(colours_of(img.r), magick_pixels(path));
  }
}

TEST(XwdRead, NamesAreCutAndAnEmptyNameIsAllowed) {
  TempDir dir;
  Image img;
  make_indexed(img, 3, 2, 2, [](int, int x) { return x % 2u; });
  std::string bytes = slurp(write_xwd(dir, "n.xwd", img));
  /* A name of 100 characters. */
  std::string long_name = bytes.substr(0, 100) + std::string(100, 'n') + '\0' + bytes.substr(101);
  set_field(&long_name, HEADER_SIZE, 201);
  kez_test::write_file(dir.file("long.xwd"), long_name);
  Image a;
  ASSERT_EQ(read_xwd(dir.file("long.xwd"), a), 1);
  EXPECT_EQ(std::string(a->info), std::string(74, 'n'));
  EXPECT_EQ(colours_of(a.r), colours_of(img.r));
  /* No name bytes at all. */
  std::string no_name = bytes.substr(0, 100) + bytes.substr(101);
  set_field(&no_name, HEADER_SIZE, 100);
  kez_test::write_file(dir.file("none.xwd"), no_name);
  Image b;
  ASSERT_EQ(read_xwd(dir.file("none.xwd"), b), 1);
  EXPECT_EQ(std::string(b->info), "");
  EXPECT_EQ(colours_of(b.r), colours_of(img.r));
}

TEST(XwdRead, SixteenByteColourEntriesOfOlderDumpsAreRecognised) {
  TempDir dir;
  Image img;
  make_indexed(img, 4, 3, 3, [](int y, int x) { return (x + y) % 3u; });
  const std::string bytes = slurp(write_xwd(dir, "o.xwd", img));
  const size_t colours = field(bytes, HEADER_SIZE);
  std::string legacy = bytes.substr(0, colours);
  for (int i = 0; i < 3; ++i) {
    const std::string e = bytes.substr(colours + 12 * static_cast<size_t>(i), 12);
    legacy += e.substr(0, 4) + std::string(4, '\0') + e.substr(4, 6) + "\x07";
    legacy += '\0';
  }
  legacy += bytes.substr(colours + 36);
  kez_test::write_file(dir.file("legacy.xwd"), legacy);
  Image back;
  ASSERT_EQ(read_xwd(dir.file("legacy.xwd"), back), 1);
  EXPECT_EQ(colours_of(back.r), colours_of(img.r));
}

TEST(XwdRead, HostileHeadersFailWithAMessage) {
  TempDir dir;
  Image img;
  make_rgb32(img, 6, 4, [](int y, int x) { return static_cast<unsigned int>(x * 9 + y); });
  const std::string good = slurp(write_xwd(dir, "g.xwd", img));
  struct Case {
    const char* what;
    int index; /* header field to change, -1 for a cut */
    std::uint32_t value;
    int allowed_depth;
    const char* message;
  } cases[] = {
      {"version 6", VERSION, 6, 32, "XWD file format version mismatch"},
      {"header too small", HEADER_SIZE, 99, 32, "XWD header size is too small."},
      {"deeper than the window", -2, 0, 8, "Incorrect depth: 24 > 8"},
      {"huge width", WIDTH, 0x7FFFFFFF, 32, "XWD_read: Image size"},
      {"no rows", HEIGHT, 0, 32, "XWD_read: Image size"},
      {"rows too short", BYTES_PER_LINE, 8, 32, "XWD_read: Rows of 8 bytes"},
      {"bits per pixel 7", BITS_PER_PIXEL, 7, 32, "XWD_read: Depth"},
      {"depth beyond bits per pixel", BITS_PER_PIXEL, 16, 32, "XWD_read: Depth"},
      {"bitmap format", FORMAT, 1, 32, "XWD_read: Only ZPixmap"},
      {"millions of colours", NCOLORS, 0x1000000, 32, "XWD_read: Bad colour count"},
      {"name beyond the file", HEADER_SIZE, 0x7FFFFFF0, 32, "Unable to read window name"},
      {"colours beyond the file", NCOLORS, 60000, 32, "Unable to read pixmap"},
      {"cut in the header", -1, 50, 32, "Unable to read dump file header"},
      {"cut in the pixels", -1, static_cast<std::uint32_t>(good.size() - 5), 32, "Unable to read pixmap"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bytes = good;
    if (c.index == -1)
      bytes.resize(c.value);
    else if (c.index >= 0)
      set_field(&bytes, c.index, c.value);
    kez_test::write_file(dir.file("bad.xwd"), bytes);
    Image back;
    int result = -1;
    const auto out = kez_test::capture([&] { result = read_xwd(dir.file("bad.xwd"), back, c.allowed_depth); });
    EXPECT_EQ(result, 0);
    EXPECT_NE(out.err.find(c.message), std::string::npos) << out.err;
    EXPECT_EQ(back->data, nullptr);
    EXPECT_EQ(back->colors, nullptr);
  }
}

TEST(XwdWrite, FailuresAreReported) {
  Image img;
  make_indexed(img, 2, 2, 2, [](int, int) { return 0u; });
  int result = -1;
  auto out = kez_test::capture([&] { result = XWD_write("/proc/no/such/dir/x.xwd", img.get()); });
  EXPECT_EQ(result, 0);
  EXPECT_NE(out.err.find("Unable to open dump file"), std::string::npos);
  out = kez_test::capture([&] { result = XWD_dump("/tmp/never.xwd"); });
  EXPECT_EQ(result, 0);
}

/* The record keeps the first 4-bit pixel in a byte's high half and the
 * first 1-bit pixel in its low bit; the header says so, so other readers
 * see the same picture. */
TEST(XwdWrite, SubBytePixelsKeepTheirOrderForOtherReaders) {
  if (!have_imagemagick()) GTEST_SKIP() << "ImageMagick not installed";
  /* 1-bit: pixel 0 in the least significant bit of byte 0. */
  TempDir dir;
  for (int depth : {1, 4}) {
    SCOPED_TRACE(depth);
    Image img;
    const int w = 13, h = 5, bytes_line = depth == 1 ? 4 : 8;
    const int colours = 1 << depth;
    make_indexed(img, 1, 1, colours, [](int, int) { return 0u; });
    std::free(img->data);
    img->width = w;
    img->height = h;
    img->depth = depth;
    img->bits_pixel = depth;
    img->bytes_line = bytes_line;
    img->data = static_cast<unsigned char*>(std::calloc(static_cast<size_t>(bytes_line * h), 1));
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const unsigned int v = static_cast<unsigned int>(x * 3 + y) % static_cast<unsigned int>(colours);
        unsigned char& b = img->data[y * bytes_line + x * depth / 8];
        if (depth == 1)
          b = static_cast<unsigned char>(b | v << (x % 8));
        else
          b = static_cast<unsigned char>(b | (x % 2 ? v : v << 4));
      }
    const std::string path = write_xwd(dir, "sub.xwd", img);
    /* ImageMagick's reading of 1-bit dumps is no judge: it misplaces
     * pixels of dumps of every bit and byte order. */
    if (depth == 4) {
      EXPECT_EQ(magick_pixels(path), colours_of(img.r));
    }
    Image back;
    ASSERT_EQ(read_xwd(path, back), 1);
    EXPECT_EQ(colours_of(back.r), colours_of(img.r));
  }
}
