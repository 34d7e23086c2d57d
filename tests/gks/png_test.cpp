/*
 * PNG files: what the writer puts in them (checked by pngcheck and
 * ImageMagick), round trips, files of every colour type, depth and
 * interlace that ImageMagick writes, and hostile files.
 */
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "img_images.h"
#include "kez_test.h"
#include "kezimg.h"

using namespace img_test;
using kez_test::TempDir;

namespace {

std::string write_png(const TempDir& dir, const std::string& name, Image& img) {
  const std::string path = dir.file(name);
  EXPECT_EQ(PNG_write(path.c_str(), img.get()), 1);
  return path;
}

} // namespace

TEST(PngWrite, PaletteOf256EntriesInFirstOccurrenceOrderAndThreeTextChunks) {
  if (!kez_test::have_program("pngcheck")) GTEST_SKIP() << "pngcheck not installed";
  TempDir dir;
  Image img;
  /* Values 5, 2, 9 first occur in that order. */
  make_indexed(img, 6, 4, 10, [](int y, int x) { return y == 0 && x == 0 ? 5u : (x + y) % 2 ? 2u : 9u; });
  const std::string path = write_png(dir, "p.png", img);
  std::string out;
  ASSERT_EQ(kez_test::run_command("pngcheck -vt '" + path + "' 2>&1", &out), 0) << out;
  EXPECT_NE(out.find("chunk PLTE"), std::string::npos);
  EXPECT_NE(out.find("256 palette entries"), std::string::npos) << out;
  const size_t title = out.find("keyword: Title");
  const size_t software = out.find("keyword: Software");
  const size_t created = out.find("keyword: Creation Time");
  ASSERT_NE(title, std::string::npos) << out;
  ASSERT_NE(software, std::string::npos);
  ASSERT_NE(created, std::string::npos);
  EXPECT_LT(title, software);
  EXPECT_LT(software, created);
  EXPECT_NE(out.find("KEZ - Nimbrel v5.0"), std::string::npos);
  EXPECT_NE(out.find(" GMT"), std::string::npos);

  Image back;
  ASSERT_EQ(PNG_read(path.c_str(), back.get(), 0), 1);
  ASSERT_EQ(back->num_colors, 256);
  const unsigned int first[3] = {5, 2, 9};
  for (unsigned int i = 0; i < 3; ++i) {
    const RGB want = table_color(static_cast<int>(first[i]));
    const IMG_color& c = back->colors[i];
    EXPECT_EQ((RGB{static_cast<int>(std::lround(c.r * 255)), static_cast<int>(std::lround(c.g * 255)),
                   static_cast<int>(std::lround(c.b * 255))}),
              want);
  }
  EXPECT_EQ(back->colors[3].r + back->colors[255].g + back->colors[100].b, 0.0f) << "the rest black";
  EXPECT_EQ(IMG_pixel(back.get(), 0, 0), 0u) << "each pixel its own index";
  EXPECT_EQ(IMG_pixel(back.get(), 0, 1), 1u);
  EXPECT_EQ(IMG_pixel(back.get(), 0, 2), 2u);
}

TEST(PngRoundTrip, IndexedAndTrueColourImagesKeepTheirColours) {
  TempDir dir;
  const bool magick_ok = have_imagemagick();
  struct Case {
    const char* what;
    std::function<void(Image&)> make;
  } cases[] = {
      {"indexed, padded rows",
       [](Image& i) {
         make_indexed(
             i, 17, 9, 40, [](int y, int x) { return (x * 5 + y) % 40u; }, 3);
       }},
      {"32-bit MSB first",
       [](Image& i) { make_rgb32(i, 12, 7, [](int y, int x) { return x * 0x150000u + y * 0x2200u + 9u; }); }},
      {"32-bit LSB first",
       [](Image& i) {
         make_rgb32(
             i, 12, 7, [](int y, int x) { return x * 0x0A0000u + y * 0x3300u + 1u; }, 0);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Image img;
    c.make(img);
    const std::string path = write_png(dir, "rt.png", img);
    Image back;
    ASSERT_EQ(IMG_read(path.c_str(), back.get(), 0), 1);
    EXPECT_EQ(std::string(back->info), "PNG");
    EXPECT_EQ(colours_of(back.r), colours_of(img.r));
    if (magick_ok) {
      EXPECT_EQ(magick_pixels(path), colours_of(img.r));
    }
  }
}

/* An image of 2^18 pixels or more is packed in bands of rows by two
 * threads, each band a piece of one deflate stream: the whole must inflate
 * in one go (Python's zlib, which checks the Adler-32 sum) to the filtered
 * rows, and read back to the picture through libpng and ImageMagick. */
TEST(PngWrite, ALargeImageIsOneZlibStreamOfItsRows) {
  if (!kez_test::have_program("/usr/bin/python3")) GTEST_SKIP() << "no python3";
  TempDir dir;
  Image img;
  /* Runs of a few colours with a band of one-pixel changes, as a chart. */
  make_rgb32(
      img, 700, 401,
      [](int y, int x) {
        if (y > 150 && y < 250) return static_cast<unsigned int>((x * 31 + y * 17) % 9) * 0x1C1C1Cu;
        return static_cast<unsigned int>((x / 40 + y / 30) % 4) * 0x402010u;
      },
      0);
  const std::string path = write_png(dir, "big.png", img);
  const std::string script = R"PY(
import struct, sys, zlib
data = open(sys.argv[1], 'rb').read()
pos, idat = 8, b''
while pos < len(data):
    n, = struct.unpack('>I', data[pos:pos + 4])
    if data[pos + 4:pos + 8] == b'IDAT':
        idat += data[pos + 8:pos + 8 + n]
    pos += 12 + n
d = zlib.decompressobj()
rows = d.decompress(idat)
assert d.eof and not d.unused_data, 'one complete stream'
w = 700
assert len(rows) == 401 * (w + 1), len(rows)
assert all(rows[y * (w + 1)] == 0 for y in range(401)), 'filter byte 0 on every row'
print('ok')
)PY";
  kez_test::write_file(dir.file("z.py"), script);
  std::string out;
  ASSERT_EQ(kez_test::run_command("/usr/bin/python3 " + dir.file("z.py") + " " + path + " 2>&1", &out), 0) << out;
  EXPECT_EQ(out, "ok\n");
  Image back;
  ASSERT_EQ(PNG_read(path.c_str(), back.get(), 0), 1);
  EXPECT_EQ(colours_of(back.r), colours_of(img.r));
  if (have_imagemagick()) {
    EXPECT_EQ(magick_pixels(path), colours_of(img.r));
  }
}

TEST(PngRead, EveryColourTypeDepthAndInterlaceReadsAsImageMagickDecodesIt) {
  if (!have_imagemagick()) GTEST_SKIP() << "ImageMagick not installed";
  TempDir dir;
  const std::string src = dir.file("src.png");
  const std::string grey = dir.file("grey.png");
  ASSERT_TRUE(magick("-size 23x13 gradient:orange-purple -depth 8 PNG24:'" + src + "'"));
  /* 16-bit files are made from 8-bit ones, so that every way of scaling
   * back to 8 bits agrees. */
  ASSERT_TRUE(magick("'" + src + "' -colorspace gray -depth 8 -define png:color-type=0 PNG:'" + grey + "'"));
  struct Case {
    const char* what;
    std::string args;
    int file_depth; /* bit depth and colour type the file has */
    int file_type;
    int depth; /* what the record gets */
    int bits_pixel;
  } cases[] = {
      {"RGB 8-bit", "'" + src + "' PNG24:", 8, 2, 24, 24},
      {"RGB 16-bit", "'" + src + "' -depth 16 PNG48:", 16, 2, 24, 24},
      {"RGBA 8-bit", "'" + src + "' -alpha set PNG32:", 8, 6, 24, 32},
      {"RGBA 16-bit", "'" + src + "' -alpha set -depth 16 PNG64:", 16, 6, 24, 32},
      {"grey 8-bit", "'" + grey + "' -define png:color-type=0 PNG:", 8, 0, 8, 8},
      {"grey 16-bit", "'" + grey + "' -depth 16 -define png:color-type=0 -define png:bit-depth=16 PNG:", 16, 0, 8, 8},
      {"grey 1-bit",
       "-size 19x7 pattern:checkerboard -colorspace gray -define png:color-type=0 -define png:bit-depth=1 PNG:", 1, 0,
       8, 8},
      {"grey 2-bit",
       "-size 19x7 pattern:checkerboard -colorspace gray -define png:color-type=0 -define png:bit-depth=2 PNG:", 2, 0,
       8, 8},
      {"grey 4-bit",
       "-size 21x5 gradient: -colorspace gray -depth 4 -define png:color-type=0 -define png:bit-depth=4 PNG:", 4, 0, 8,
       8},
      {"grey with alpha", "'" + grey + "' -alpha set -define png:color-type=4 PNG:", 8, 4, 8, 8},
      {"palette 2-bit",
       "-size 11x6 pattern:checkerboard -fill red -draw 'point 1,1' -define png:color-type=3 -define png:bit-depth=2 "
       "PNG8:",
       2, 3, 8, 8},
      {"palette 4-bit",
       "-size 11x6 pattern:checkerboard -fill red -draw 'point 1,1' -fill blue -draw 'point 3,3' -define "
       "png:bit-depth=4 -define png:color-type=3 PNG:",
       4, 3, 8, 8},
      {"palette 8-bit", "'" + src + "' PNG8:", 8, 3, 8, 8},
      {"interlaced RGB", "'" + src + "' -interlace PNG PNG24:", 8, 2, 24, 24},
      {"interlaced palette", "'" + src + "' -interlace PNG PNG8:", 8, 3, 8, 8},
      {"interlaced grey 1-bit",
       "-size 19x7 pattern:checkerboard -colorspace gray -interlace PNG -define png:color-type=0 -define "
       "png:bit-depth=1 PNG:",
       1, 0, 8, 8},
      {"interlaced RGBA 16-bit", "'" + src + "' -alpha set -depth 16 -interlace PNG PNG64:", 16, 6, 24, 32},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir.file("case.png");
    ASSERT_TRUE(magick(c.args + "'" + path + "'"));
    const std::string bytes = slurp(path);
    ASSERT_GT(bytes.size(), 29u);
    ASSERT_EQ(bytes[24], c.file_depth) << "the fixture has the layout it is named for";
    ASSERT_EQ(bytes[25], c.file_type);
    const bool interlaced = std::string(c.what).find("interlaced") == 0;
    ASSERT_EQ(bytes[28], interlaced ? 1 : 0);
    Image img;
    ASSERT_EQ(IMG_read(path.c_str(), img.get(), 0), 1);
    EXPECT_EQ(img->depth, c.depth);
    EXPECT_EQ(img->bits_pixel, c.bits_pixel);
    EXPECT_EQ(colours_of(img.r), magick_pixels(path));
  }
}

TEST(PngRead, RgbaPixelKeepsRedInItsFirstByte) {
  if (!have_imagemagick()) GTEST_SKIP() << "ImageMagick not installed";
  TempDir dir;
  const std::string path = dir.file("rgba.png");
  ASSERT_TRUE(magick("-size 1x1 'xc:rgb(10,20,30)' -alpha set PNG32:'" + path + "'"));
  Image img;
  ASSERT_EQ(PNG_read(path.c_str(), img.get(), 0), 1);
  EXPECT_EQ(std::vector<int>(img->data, img->data + 4), (std::vector<int>{10, 10, 20, 30}));
  EXPECT_EQ(img->color_type, IMG_COLOR_MASKS);
  EXPECT_EQ(img->byte_order, 1);
}

TEST(PngRead, HeaderOnlyGivesSizeDepthAndRowLength) {
  TempDir dir;
  Image img;
  make_rgb32(img, 33, 5, [](int, int x) { return static_cast<unsigned int>(x); });
  Image head;
  ASSERT_EQ(IMG_read(write_png(dir, "h.png", img).c_str(), head.get(), IMG_READ_HEADER), 1);
  EXPECT_EQ(head->width, 33);
  EXPECT_EQ(head->height, 5);
  EXPECT_EQ(head->depth, 8);
  EXPECT_EQ(head->bytes_line, 33);
  EXPECT_EQ(head->data, nullptr);
}

TEST(PngRead, TruncatedAndCorruptFilesFailWithAMessage) {
  TempDir dir;
  Image img;
  make_indexed(img, 40, 30, 30, [](int y, int x) { return (x * y) % 30u; });
  const std::string good = slurp(write_png(dir, "good.png", img));
  const size_t idat = good.find("IDAT");
  ASSERT_NE(idat, std::string::npos);
  std::string bad_crc = good;
  bad_crc[idat + 10] = static_cast<char>(bad_crc[idat + 10] ^ 0x55);
  std::string huge = good;
  huge.replace(16, 8, std::string("\x7f\xff\xff\xff\x00\x00\x00\x01", 8));
  // A text chunk after the pixels that claims two gigabytes: refused before
  // anything is allocated for it.
  std::string long_text =
      good.substr(0, good.size() - 12) + std::string("\x7a\x00\x00\x00tEXtdate", 12) + good.substr(good.size() - 12);
  struct Case {
    const char* what;
    std::string bytes;
    const char* message;
  } cases[] = {
      {"signature only", good.substr(0, 8), "PNG_read:"},
      {"cut in the header", good.substr(0, 20), "PNG_read:"},
      {"cut in the image data", good.substr(0, idat + 30), "PNG_read:"},
      {"no end chunk", good.substr(0, good.size() - 12), "PNG_read:"},
      {"damaged image data", bad_crc, "PNG_read:"},
      {"huge width", huge, "PNG_read:"},
      {"text chunk longer than the file", long_text, "past the end of the file"},
      {"not a PNG", "\x89PNX\r\n\x1a\n", "Not a PNG file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    kez_test::write_file(dir.file("bad.png"), c.bytes);
    Image back;
    int result = -1;
    const auto out = kez_test::capture([&] { result = PNG_read(dir.file("bad.png").c_str(), back.get(), 0); });
    EXPECT_EQ(result, 0);
    EXPECT_NE(out.err.find(c.message), std::string::npos) << out.err;
    EXPECT_EQ(back->data, nullptr);
    EXPECT_EQ(back->colors, nullptr);
  }
}

TEST(PngWrite, UnwritableFileAndMissingPixelsFail) {
  Image empty;
  int result = -1;
  auto out = kez_test::capture([&] { result = PNG_write("/nonexistent-dir/x/y.png", empty.get()); });
  EXPECT_EQ(result, 0);
  EXPECT_NE(out.err.find("PNG_write: The image has no pixels"), std::string::npos);
  Image img;
  make_indexed(img, 2, 2, 2, [](int, int) { return 1u; });
  out = kez_test::capture([&] { result = PNG_write("/proc/no/such/file.png", img.get()); });
  EXPECT_EQ(result, 0);
  EXPECT_NE(out.err.find("Unable to open PNG file"), std::string::npos);
  out = kez_test::capture([&] { result = PNG_dump("/tmp/never.png"); });
  EXPECT_EQ(result, 0);
}
