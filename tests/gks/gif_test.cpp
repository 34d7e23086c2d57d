/*
 * GIF files: the writer's layout, round trips of every pixel layout, files
 * written by ImageMagick (interlaced, many colours) and by an encoder that
 * never clears its string table, and hostile files.
 */
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "img_images.h"
#include "kez_test.h"
#include "kezgks.h"
#include "kezimg.h"

using namespace img_test;
using kez_test::TempDir;

namespace {

struct GifFlags {
  GifFlags(int inter, int trans) {
    GIF_interlace(inter);
    GIF_transparent(trans);
  }
  ~GifFlags() {
    GIF_interlace(0);
    GIF_transparent(0);
  }
};

std::string write_gif(const TempDir& dir, const std::string& name, Image& img) {
  const std::string path = dir.file(name);
  EXPECT_EQ(GIF_write(path.c_str(), img.get()), 1);
  return path;
}

/* An image in each layout the writer takes, with its expected colours. */
struct Layout {
  const char* what;
  std::function<void(Image&)> make;
};

const std::vector<Layout>& layouts() {
  static const std::vector<Layout> list = {
      {"one colour", [](Image& i) { make_indexed(i, 7, 5, 4, [](int, int) { return 2u; }); }},
      {"three colours, odd size",
       [](Image& i) { make_indexed(i, 13, 11, 3, [](int y, int x) { return (x + y) % 3u; }); }},
      {"256 colours",
       [](Image& i) { make_indexed(i, 64, 40, 256, [](int y, int x) { return (x * 7 + y * 13) % 256u; }); }},
      {"one pixel", [](Image& i) { make_indexed(i, 1, 1, 2, [](int, int) { return 1u; }); }},
      {"padded rows",
       [](Image& i) {
         make_indexed(
             i, 9, 4, 5, [](int y, int x) { return (x * y) % 5u; }, 3);
       }},
      {"32-bit MSB first",
       [](Image& i) {
         make_rgb32(i, 20, 9, [](int y, int x) { return (x % 4) * 0x400000u + (y % 3) * 0x5000u + 0x11u; });
       }},
      {"32-bit LSB first",
       [](Image& i) {
         make_rgb32(
             i, 20, 9, [](int y, int x) { return (x % 5) * 0x300000u + (y % 2) * 0x7000u + 3u; }, 0);
       }},
      {"long noisy image",
       [](Image& i) {
         unsigned int seed = 1;
         make_indexed(i, 300, 200, 200, [&](int, int) {
           seed = seed * 1103515245u + 12345u;
           return (seed >> 16) % 200u;
         });
       }},
  };
  return list;
}

} // namespace

TEST(GifWrite, OneColourImageHasTwoEntryTableAndStartsWithClearCode) {
  TempDir dir;
  Image img;
  make_indexed(img, 4, 3, 1, [](int, int) { return 0u; });
  const std::string bytes = slurp(write_gif(dir, "one.gif", img));
  ASSERT_GT(bytes.size(), 26u);
  EXPECT_EQ(bytes.substr(0, 6), "GIF89a");
  EXPECT_EQ(static_cast<unsigned char>(bytes[10]), 0x80);
  const RGB c = table_color(0);
  EXPECT_EQ(static_cast<unsigned char>(bytes[13]), c.r);
  EXPECT_EQ(bytes.substr(16, 3), std::string(3, '\0')) << "second entry black";
  EXPECT_EQ(bytes[19], 0x2C) << "no extension without transparency";
  EXPECT_EQ(bytes[29], 2) << "code size";
  EXPECT_EQ(static_cast<unsigned char>(bytes[31]) & 7, 4) << "clear code 4 in 3 bits";
  EXPECT_EQ(bytes.substr(bytes.size() - 2), std::string("\0;", 2));
}

TEST(GifWrite, LeavesTheImageAsItIs) {
  TempDir dir;
  Image img;
  make_rgb32(img, 6, 6, [](int y, int x) { return static_cast<unsigned int>(x * 40 + y); });
  const std::vector<unsigned char> before(img->data, img->data + img->bytes_line * img->height);
  write_gif(dir, "a.gif", img);
  EXPECT_EQ(std::vector<unsigned char>(img->data, img->data + img->bytes_line * img->height), before);
}

TEST(GifWrite, BackgroundPixelBecomesTransparentIndex) {
  const int background = gget_color_ind(-1);
  if (background < 0 || background > 255) GTEST_SKIP() << "no background pixel value";
  TempDir dir;
  GifFlags flags(0, 1);
  Image img;
  const unsigned int other = background == 7 ? 8u : 7u;
  make_indexed(img, 5, 2, 256, [&](int, int x) { return x < 2 ? other : static_cast<unsigned int>(background); });
  const std::string bytes = slurp(write_gif(dir, "t.gif", img));
  /* Two colours: a 2-entry table, then the control extension. */
  const std::string control("\x21\xF9\x04\x01\x0A\x00\x01\x00", 8);
  EXPECT_EQ(bytes.substr(19, 8), control);

  Image none;
  make_indexed(none, 5, 2, 256, [&](int, int) { return other; });
  EXPECT_EQ(slurp(write_gif(dir, "n.gif", none))[19], 0x2C) << "no background pixel: no extension";
}

TEST(GifWrite, ValuesBeyondTheFirst256TakeIndexZero) {
  TempDir dir;
  Image img;
  make_rgb32(img, 300, 1, [](int, int x) { return static_cast<unsigned int>(x) * 0x010101u; });
  Image back;
  ASSERT_EQ(GIF_read(write_gif(dir, "many.gif", img).c_str(), back.get(), 0), 1);
  EXPECT_EQ(IMG_pixel(back.get(), 0, 255), 255u);
  EXPECT_EQ(IMG_pixel(back.get(), 0, 256), 0u);
  EXPECT_EQ(IMG_pixel(back.get(), 0, 299), 0u);
}

TEST(GifWrite, InterlacedRowsComeInTheFourPasses) {
  TempDir dir;
  GifFlags flags(1, 0);
  Image img;
  make_indexed(img, 3, 10, 10, [](int y, int) { return static_cast<unsigned int>(y); });
  const std::string path = write_gif(dir, "i.gif", img);
  EXPECT_EQ(slurp(path)[28] & 0x40, 0x40);
  Image back;
  ASSERT_EQ(GIF_read(path.c_str(), back.get(), 0), 1);
  EXPECT_EQ(colours_of(back.r), colours_of(img.r));
}

TEST(GifRoundTrip, EveryLayoutReadsBackWithItsColours) {
  TempDir dir;
  const bool magick_ok = have_imagemagick();
  for (int inter = 0; inter <= 1; ++inter) {
    GifFlags flags(inter, 0);
    for (const Layout& l : layouts()) {
      SCOPED_TRACE(std::string(l.what) + (inter ? ", interlaced" : ""));
      Image img;
      l.make(img);
      const std::string path = write_gif(dir, "rt.gif", img);
      Image back;
      ASSERT_EQ(GIF_read(path.c_str(), back.get(), 0), 1);
      EXPECT_EQ(back->width, img->width);
      EXPECT_EQ(back->height, img->height);
      EXPECT_EQ(colours_of(back.r), colours_of(img.r));
      if (magick_ok) {
        EXPECT_EQ(magick_pixels(path), colours_of(img.r)) << "ImageMagick decodes the same picture";
        if (kez_test::have_program("giftext")) {
          EXPECT_EQ(kez_test::run_command("giftext '" + path + "' >/dev/null 2>&1"), 0);
        }
      }
    }
  }
}

TEST(GifRead, FilesWrittenByImageMagickReadAsItDecodesThem) {
  if (!have_imagemagick()) GTEST_SKIP() << "ImageMagick not installed";
  TempDir dir;
  struct Case {
    const char* what;
    std::string args;
  } cases[] = {
      {"plain gradient", "-size 40x30 gradient:red-blue"},
      {"interlaced", "-size 37x23 gradient:yellow-navy -interlace GIF"},
      {"many colours, long data", "-size 256x256 plasma:fractal -seed 3 -colors 256"},
      {"two colours", "-size 17x9 xc:white -fill black -draw 'rectangle 2,2 9,5'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir.file("im.gif");
    ASSERT_TRUE(magick(c.args + " '" + path + "'"));
    Image img;
    ASSERT_EQ(IMG_read(path.c_str(), img.get(), 0), 1);
    EXPECT_EQ(std::string(img->info), "GIF");
    EXPECT_EQ(colours_of(img.r), magick_pixels(path));
  }
}

/* A GIF whose encoder lets the string table fill and goes on with 12-bit
 * codes without a clear code: written by a small independent encoder. */
TEST(GifRead, StringTableFullWithoutClearCodeStopsGrowing) {
  if (!kez_test::have_program("/usr/bin/python3")) GTEST_SKIP();
  TempDir dir;
  const std::string path = dir.file("deferred.gif");
  const std::string script = R"PY(
import struct, sys
W, H = 200, 150
seed = 7
pix = []
for i in range(W * H):
    seed = (seed * 1103515245 + 12345) & 0x7fffffff
    pix.append((seed >> 16) % 16)
out = bytearray(b'GIF89a' + struct.pack('<HHBBB', W, H, 0xF3, 0, 0))
for i in range(16):
    out += bytes([i * 16, 255 - i * 16, (i * 77) % 256])
out += b'\x2c' + struct.pack('<HHHHB', 0, 0, W, H, 0) + bytes([4])
clear, eoi = 16, 17
codes, width, nxt, table = [clear], 5, 18, {}
full_seen = False
prefix = pix[0]
def emit(c):
    codes.append((c, width))
codes = [(clear, 5)]
for p in pix[1:]:
    key = (prefix, p)
    if key in table:
        prefix = table[key]
        continue
    emit(prefix)
    if nxt < 4096:
        table[key] = nxt
        nxt += 1
        if nxt > (1 << width) and width < 12:
            width += 1
    else:
        full_seen = True
    prefix = p
emit(prefix)
emit(eoi)
acc = nbits = 0
data = bytearray()
for c, w in codes:
    acc |= c << nbits
    nbits += w
    while nbits >= 8:
        data.append(acc & 255); acc >>= 8; nbits -= 8
if nbits:
    data.append(acc & 255)
for i in range(0, len(data), 255):
    chunk = data[i:i + 255]
    out += bytes([len(chunk)]) + chunk
out += b'\x00\x3b'
open(sys.argv[1], 'wb').write(out)
print('full' if full_seen else 'not full')
print(' '.join(str(p) for p in pix))
)PY";
  kez_test::write_file(dir.file("enc.py"), script);
  std::string out;
  ASSERT_EQ(kez_test::run_command("/usr/bin/python3 " + dir.file("enc.py") + " " + path, &out), 0);
  ASSERT_EQ(out.substr(0, 5), "full\n") << "the fixture must fill the table";
  std::vector<unsigned int> expect;
  for (size_t pos = 5; pos < out.size();) {
    size_t end = out.find_first_of(" \n", pos);
    if (end == std::string::npos) end = out.size();
    if (end > pos) expect.push_back(static_cast<unsigned int>(std::stoi(out.substr(pos, end - pos))));
    pos = end + 1;
  }
  Image img;
  ASSERT_EQ(GIF_read(path.c_str(), img.get(), 0), 1);
  ASSERT_EQ(img->width * img->height, static_cast<int>(expect.size()));
  std::vector<unsigned int> got;
  for (int y = 0; y < img->height; ++y)
    for (int x = 0; x < img->width; ++x) got.push_back(IMG_pixel(img.get(), y, x));
  EXPECT_EQ(got, expect);
  if (have_imagemagick()) {
    EXPECT_EQ(colours_of(img.r), magick_pixels(path)) << "ImageMagick agrees";
  }
}

TEST(GifRead, HeaderOnlyGivesSizeAndColourCount) {
  TempDir dir;
  Image img;
  make_indexed(img, 30, 20, 5, [](int y, int x) { return (x + y) % 5u; });
  Image head;
  ASSERT_EQ(GIF_read(write_gif(dir, "h.gif", img).c_str(), head.get(), IMG_READ_HEADER), 1);
  EXPECT_EQ(head->width, 30);
  EXPECT_EQ(head->height, 20);
  EXPECT_EQ(head->num_colors, 8);
  EXPECT_EQ(head->data, nullptr);
}

TEST(GifRead, LocalColourTableGivesTheImageItsColours) {
  if (!have_imagemagick()) GTEST_SKIP();
  TempDir dir;
  Image img;
  make_indexed(img, 8, 8, 4, [](int y, int x) { return (x / 2 + y) % 4u; });
  const std::string path = write_gif(dir, "g.gif", img);
  /* Move the global table into the image descriptor. */
  std::string b = slurp(path);
  const std::string table = b.substr(13, 12);
  std::string local = b.substr(0, 13) + b.substr(25);
  local[10] = 0;
  const size_t sep = 13;
  ASSERT_EQ(local[sep], 0x2C);
  local[sep + 9] = static_cast<char>(0x81);
  local.insert(sep + 10, table);
  kez_test::write_file(dir.file("local.gif"), local);
  Image back;
  ASSERT_EQ(GIF_read(dir.file("local.gif").c_str(), back.get(), 0), 1);
  EXPECT_EQ(back->num_colors, 4);
  EXPECT_EQ(colours_of(back.r), colours_of(img.r));
  EXPECT_EQ(magick_pixels(dir.file("local.gif")), colours_of(img.r));
}

TEST(GifRead, HostileFilesFailWithAMessage) {
  TempDir dir;
  Image img;
  make_indexed(img, 50, 40, 16, [](int y, int x) { return (x * 3 + y) % 16u; });
  const std::string good = slurp(write_gif(dir, "good.gif", img));
  const size_t data_start = 13 + 48 + 10 + 1;
  struct Case {
    const char* what;
    std::string bytes;
    const char* message;
  } cases[] = {
      {"not a GIF", "PNG....", "Not a GIF file"},
      {"cut in the screen descriptor", good.substr(0, 9), "screen descriptor"},
      {"cut in the colour table", good.substr(0, 30), "colour table"},
      {"trailer before any image", good.substr(0, 13 + 48) + ";", "No image"},
      {"no image at all", good.substr(0, 13 + 48), "No image"},
      {"cut in the image descriptor", good.substr(0, 13 + 48 + 5), "image descriptor"},
      {"cut in the image data", good.substr(0, data_start + 40), "end before the last pixel"},
      {"data ended by an empty block", good.substr(0, data_start + 20) + std::string("\0;", 2),
       "end before the last pixel"},
      {"bad code size", good.substr(0, data_start - 1) + std::string("\x0c", 1) + good.substr(data_start),
       "Bad code size"},
      {"code beyond the table", good.substr(0, data_start - 1) + std::string("\x04\x02\x10\xFF\0;", 6),
       "Corrupt image data"},
      {"screen of no pixels", good.substr(0, 6) + std::string("\0\0\x05\0", 4) + good.substr(10), "Bad screen size"},
      {"huge screen", good.substr(0, 6) + std::string("\xff\xff\xff\xff", 4) + good.substr(10), "Bad screen size"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    kez_test::write_file(dir.file("bad.gif"), c.bytes);
    Image back;
    int result = -1;
    const auto out = kez_test::capture([&] { result = GIF_read(dir.file("bad.gif").c_str(), back.get(), 0); });
    EXPECT_EQ(result, 0);
    EXPECT_NE(out.err.find(c.message), std::string::npos) << out.err;
    EXPECT_EQ(back->data, nullptr);
    EXPECT_EQ(back->colors, nullptr);
  }
}

TEST(GifDump, FailsWithoutAWindowCapture) {
  TempDir dir;
  int result = -1;
  const auto out = kez_test::capture([&] { result = GIF_dump(dir.file("d.gif").c_str()); });
  EXPECT_EQ(result, 0);
  struct stat st {};
  EXPECT_NE(::stat(dir.file("d.gif").c_str(), &st), 0);
}
