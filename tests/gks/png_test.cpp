/*
 * PNG files: what the writer puts in them (checked by pngcheck and
 * ImageMagick), round trips, files of every colour type, depth and
 * interlace that ImageMagick writes, and hostile files.
 */
#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <unordered_map>
#include <vector>

#include "img_band.h"
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

/* What a writer must make of an image: its pixel values in the order in
 * which they first occur (at most 256) and each pixel's entry among them,
 * row by row, 0 for a value past a full palette. */
struct FirstOccurrences {
  std::vector<unsigned int> order;
  std::vector<int> index;
};

FirstOccurrences first_occurrences(Image& img) {
  FirstOccurrences f;
  std::unordered_map<unsigned int, int> entry;
  for (int y = 0; y < img->height; ++y)
    for (int x = 0; x < img->width; ++x) {
      const unsigned int v = IMG_pixel(img.get(), y, x);
      auto at = entry.find(v);
      if (at == entry.end() && f.order.size() < IMG_PALETTE_MAX) {
        at = entry.emplace(v, static_cast<int>(f.order.size())).first;
        f.order.push_back(v);
      }
      f.index.push_back(at == entry.end() ? 0 : at->second);
    }
  return f;
}

RGB rgb_of(unsigned int v) {
  return {static_cast<int>(v >> 16 & 255u), static_cast<int>(v >> 8 & 255u), static_cast<int>(v & 255u)};
}

RGB rgb_of(const IMG_color& c) {
  return {static_cast<int>(std::lround(c.r * 255)), static_cast<int>(std::lround(c.g * 255)),
          static_cast<int>(std::lround(c.b * 255))};
}

/* The image data of a PNG file: its IDAT chunks' contents joined. */
std::string idat_of(const std::string& bytes) {
  std::string data;
  size_t pos = 8;
  while (pos + 12 <= bytes.size()) {
    const size_t n = (static_cast<size_t>(static_cast<unsigned char>(bytes[pos])) << 24) |
                     (static_cast<size_t>(static_cast<unsigned char>(bytes[pos + 1])) << 16) |
                     (static_cast<size_t>(static_cast<unsigned char>(bytes[pos + 2])) << 8) |
                     static_cast<unsigned char>(bytes[pos + 3]);
    if (bytes.compare(pos + 4, 4, "IDAT") == 0) data += bytes.substr(pos + 8, n);
    pos += 12 + n;
  }
  return data;
}

/* The writer's bound on its threads for one scope. */
struct WriterThreads {
  int old;
  explicit WriterThreads(int n) : old(PNG_threads(n)) {}
  ~WriterThreads() { PNG_threads(old); }
  WriterThreads(const WriterThreads&) = delete;
  WriterThreads& operator=(const WriterThreads&) = delete;
};

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

/* An image of 2^18 pixels or more is indexed and packed in bands of rows
 * by up to four threads. Whatever their number (one: the calling thread
 * alone, as when no other can be started), the file holds the same image
 * data, and libpng and ImageMagick decode it to the palette of the values
 * in the order of their first occurrence, then black, and to each pixel's
 * entry. The cases: colours first met in lower bands, each band meeting
 * the old ones in an order of its own; the palette filled in a middle
 * band, so that the bands below meet values both in it and past it; fewer
 * rows than bands; and an image below the split size. */
TEST(PngWrite, BandsPackedByAnyNumberOfThreadsGiveTheFirstOccurrencePalette) {
  TempDir dir;
  const bool magick_ok = have_imagemagick();
  const auto lower = [](int y, int x) {
    const unsigned int k = static_cast<unsigned int>(y / 10 + 3);
    return (static_cast<unsigned int>(x * 7 + y * 3) % k) * 0x050A0Fu;
  };
  const auto middle = [](int y, int x) {
    if (y < 210) return static_cast<unsigned int>((x / 9 + y / 4) % 4) * 0x304050u;
    return static_cast<unsigned int>((x * 7919 + y * 104729) % 900) * 0x010307u;
  };
  struct Case {
    const char* what;
    std::function<void(Image&)> make;
  } cases[] = {
      {"colours first met lower down", [&](Image& i) { make_rgb32(i, 700, 400, lower, 0); }},
      {"the same, most significant byte first", [&](Image& i) { make_rgb32(i, 700, 400, lower, 1); }},
      {"the palette fills in a middle band", [&](Image& i) { make_rgb32(i, 650, 420, middle, 0); }},
      {"fewer rows than bands",
       [](Image& i) {
         make_rgb32(
             i, 40000, 7, [](int y, int x) { return static_cast<unsigned int>((x / 1000 + y) % 6) * 0x2A2A2Au; }, 0);
       }},
      {"below the split size", [&](Image& i) { make_rgb32(i, 120, 70, lower, 0); }},
  };
  for (const Case& c : cases) {
    Image img;
    c.make(img);
    const FirstOccurrences want = first_occurrences(img);
    std::string first_data;
    for (int threads = 1; threads <= 4; ++threads) {
      SCOPED_TRACE(std::string(c.what) + ", " + std::to_string(threads) + " threads");
      const WriterThreads bound(threads);
      const std::string path = write_png(dir, "bands.png", img);
      Image back;
      ASSERT_EQ(PNG_read(path.c_str(), back.get(), 0), 1);
      ASSERT_EQ(back->num_colors, IMG_PALETTE_MAX);
      for (int i = 0; i < IMG_PALETTE_MAX; ++i) {
        const RGB expected =
            static_cast<size_t>(i) < want.order.size() ? rgb_of(want.order[static_cast<size_t>(i)]) : RGB{0, 0, 0};
        ASSERT_EQ(rgb_of(back->colors[i]), expected) << "palette entry " << i;
      }
      size_t wrong = 0, first_wrong = 0;
      for (int y = 0; y < back->height; ++y)
        for (int x = 0; x < back->width; ++x) {
          const size_t k = static_cast<size_t>(y) * static_cast<size_t>(back->width) + static_cast<size_t>(x);
          if (static_cast<int>(IMG_pixel(back.get(), y, x)) != want.index[k] && wrong++ == 0) first_wrong = k;
        }
      EXPECT_EQ(wrong, 0u) << "first at pixel " << first_wrong;
      const std::string data = idat_of(slurp(path));
      if (threads == 1)
        first_data = data;
      else
        EXPECT_TRUE(data == first_data) << "image data differs from one thread's";
      /* ImageMagick's usual policy refuses images over 16K pixels wide. */
      if (magick_ok && threads == 4 && img->width <= 16000) {
        std::vector<RGB> colours;
        for (int k : want.index) colours.push_back(rgb_of(want.order[static_cast<size_t>(k)]));
        EXPECT_TRUE(magick_pixels(path) == colours) << "ImageMagick's decoding";
      }
    }
  }
}

/* The creation time is the clock's, in GMT, as "dd Mon yyyy hh:mm:ss GMT". */
TEST(PngWrite, CreationTimeIsTheClockInGmt) {
  TempDir dir;
  Image img;
  make_indexed(img, 3, 2, 2, [](int y, int x) { return static_cast<unsigned int>(x + y) % 2u; });
  const std::time_t before = std::time(nullptr);
  const std::string path = write_png(dir, "t.png", img);
  const std::time_t after = std::time(nullptr);
  const std::string bytes = slurp(path);
  const std::string key = std::string("Creation Time") + '\0';
  const size_t at = bytes.find(key);
  ASSERT_NE(at, std::string::npos);
  const std::string stamp = bytes.substr(at + key.size(), 24);
  std::tm tm{};
  const char* end = strptime(stamp.c_str(), "%d %b %Y %H:%M:%S GMT", &tm);
  ASSERT_TRUE(end && *end == '\0') << stamp;
  EXPECT_EQ(stamp.substr(0, 2), (tm.tm_mday < 10 ? "0" : "") + std::to_string(tm.tm_mday)) << stamp;
  const std::time_t written = timegm(&tm);
  EXPECT_LE(before, written) << stamp;
  EXPECT_LE(written, after) << stamp;
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
