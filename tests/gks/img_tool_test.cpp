/*
 * The image record, format dispatch and the suite's own image format:
 * header lines and domain tokens, reduction of deep pixels, zlib slices
 * (checked with Python's zlib), the reader's options and hostile files.
 */
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "img_band.h"
#include "img_images.h"
#include "kez_test.h"
#include "kezimg.h"

using namespace img_test;
using kez_test::TempDir;

namespace {

/* An image of any layout whose bytes come from fill(byte index). */
void make_raw(Image& img, int w, int h, int depth, int bits_pixel, int bytes_line, int order,
              const std::function<unsigned char(int)>& fill) {
  IMG_report& r = img.r;
  r.width = w;
  r.height = h;
  r.depth = depth;
  r.bits_pixel = bits_pixel;
  r.bytes_line = bytes_line;
  r.byte_order = order;
  r.color_type = IMG_COLOR_MASKS;
  r.data = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(bytes_line * h)));
  for (int i = 0; i < bytes_line * h; ++i) r.data[i] = fill(i);
}

unsigned char noise(int i) { return static_cast<unsigned char>((i * 73 + (i >> 3) * 29 + 5) % 251); }

std::string header_of(const std::string& bytes, int lines) {
  size_t pos = 0;
  for (int i = 0; i < lines; ++i) pos = bytes.find('\n', pos) + 1;
  return bytes.substr(0, pos);
}

std::vector<unsigned char> pixels_of(const IMG_report& r) {
  std::vector<unsigned char> out;
  for (int y = 0; y < r.height; ++y)
    for (int x = 0; x < r.width; ++x) out.push_back(r.data[y * r.bytes_line + x]);
  return out;
}

Domain no_domain() {
  Domain d;
  d.proj = -9999;
  d.plat = d.plon = -9999.0f;
  for (float& p : d.param) p = -9999.0f;
  d.clat = d.clon = d.dx = d.dy = -9999.0f;
  d.nx = d.ny = -9999;
  d.ellipse = 0;
  return d;
}

} // namespace

TEST(ImgRecord, InitGivesEveryFieldItsEmptyValue) {
  IMG_report r;
  std::memset(&r, 0x5A, sizeof r);
  ASSERT_EQ(IMG_init(&r), 0);
  EXPECT_EQ(r.width + r.height + r.depth + r.bits_pixel + r.bytes_line + r.num_colors + r.source, 0);
  EXPECT_EQ(r.byte_order, 1);
  EXPECT_EQ(r.trans_color, -1);
  EXPECT_EQ(r.data, nullptr);
  EXPECT_EQ(r.colors, nullptr);
  EXPECT_EQ(r.domain.proj, -9999);
  EXPECT_EQ(r.date.year, -9999);
  EXPECT_EQ(std::string(r.info), "");
  EXPECT_EQ(r.xres, 0.0f);
  EXPECT_EQ(r.red | r.grn | r.blu, 0u);
}

TEST(ImgRecord, CopyTakesExactlyTheSourcePixelBlock) {
  /* Rows exactly as long as their pixels: a copy sized by the width plus
   * one would read past the block (the sanitizers see it). */
  Image src;
  make_raw(src, 7, 3, 8, 8, 7, 1, noise);
  Image copy;
  ASSERT_EQ(IMG_copy(copy.get(), src.get()), 0);
  ASSERT_NE(copy->data, src->data);
  EXPECT_EQ(std::vector<unsigned char>(copy->data, copy->data + 21),
            std::vector<unsigned char>(src->data, src->data + 21));
  EXPECT_EQ(copy->width, 7);
  copy->colors = nullptr; /* the colour table stays with the source */
}

TEST(ImgRecord, PrintShowsTheFieldsAndTheDomain) {
  Image img;
  make_raw(img, 4, 2, 8, 8, 4, 1, noise);
  ASSERT_EQ(DOM_decode("ps::-95,40,-95,4,2,1.3,1.3", &img->domain), DOM_DECODED);
  std::snprintf(img->info, sizeof img->info, "title");
  const auto out = kez_test::capture([&] { IMG_print(M_print, img.get()); });
  EXPECT_NE(out.out.find("Info: title\n"), std::string::npos);
  EXPECT_NE(out.out.find("Size: 4x2\n"), std::string::npos);
  EXPECT_NE(out.out.find("Bytes per line: 4\n"), std::string::npos);
  EXPECT_NE(out.out.find("Tranparent colors: -1\n"), std::string::npos);
  EXPECT_NE(out.out.find(",40.000,-95.000,4,2,1.3000,1.3000\n"), std::string::npos) << out.out;
}

TEST(ImgRead, FormatIsChosenByTheFirstBytes) {
  TempDir dir;
  Image img;
  make_indexed(img, 5, 4, 3, [](int y, int x) { return (x + y) % 3u; });
  ASSERT_EQ(GIF_write(dir.file("a.gif").c_str(), img.get()), 1);
  ASSERT_EQ(PNG_write(dir.file("a.png").c_str(), img.get()), 1);
  ASSERT_EQ(IMG_write(dir.file("a.kez").c_str(), img.get(), 0), 1);
  ASSERT_EQ(XWD_write(dir.file("a.xwd").c_str(), img.get()), 1);
  kez_test::write_file(dir.file("starred.gif"), "** a comment line\n" + slurp(dir.file("a.gif")));
  kez_test::write_file(dir.file("kez.bad"), "KEZIMX\nx\ny\n1 1\n\1");
  kez_test::write_file(dir.file("other"), std::string(120, 'z'));
  struct Case {
    const char* file;
    int result;
    const char* info_or_message;
  } cases[] = {
      {"a.gif", 1, "GIF"},
      {"starred.gif", 1, "GIF"},
      {"a.png", 1, "PNG"},
      {"a.kez", 1, ""},
      {"a.xwd", 1, ""},
      {"kez.bad", 0, "IMG_read_kez: Invalid image type"},
      {"other", 0, "XWD file format version mismatch"},
      {"missing", 0, "IMG_read: Unable to open image file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    Image back;
    int result = -1;
    const auto out = kez_test::capture([&] { result = IMG_read(dir.file(c.file).c_str(), back.get(), 0); });
    EXPECT_EQ(result, c.result);
    if (c.result) {
      EXPECT_EQ(std::string(back->info), c.info_or_message);
      EXPECT_EQ(IMG_pixel(back.get(), 3, 4), IMG_pixel(img.get(), 3, 4));
    } else {
      EXPECT_NE(out.err.find(c.info_or_message), std::string::npos) << out.err;
      EXPECT_EQ(back->data, nullptr);
    }
  }
}

TEST(KezFormat, ImageWithoutDomainGivesItsSizeOnLineFour) {
  TempDir dir;
  Image img;
  make_raw(img, 640, 480, 8, 8, 640, 1, noise);
  std::snprintf(img->datim, sizeof img->datim, "12Z  5 JAN 98");
  std::snprintf(img->info, sizeof img->info, "a title");
  const std::string path = dir.file("s.kez");
  ASSERT_EQ(IMG_write(path.c_str(), img.get(), IMG_WRITE_PLAIN), 1);
  const std::string bytes = slurp(path);
  const std::string header = "KEZIMG\n12Z  5 JAN 98\na title\n640 480\n";
  EXPECT_EQ(bytes.substr(0, header.size()), header);
  EXPECT_EQ(bytes.size(), header.size() + 640u * 480u);
  Image back;
  ASSERT_EQ(IMG_read(path.c_str(), back.get(), 0), 1);
  EXPECT_EQ(back->source, IMG_SOURCE_KEZ);
  EXPECT_EQ(back->bytes_line, 640);
  EXPECT_EQ(back->depth, 8);
  EXPECT_EQ(back->domain.proj, -9999);
  EXPECT_EQ(back->domain.nx, 640);
  EXPECT_EQ(back->date.year, 1998);
  EXPECT_EQ(back->date.hour, 12);
  EXPECT_EQ(pixels_of(back.r), pixels_of(img.r));
}

TEST(KezFormat, DomainTokensReadBackToTheirProjection) {
  TempDir dir;
  struct Case {
    const char* what;
    std::function<void(Domain&)> set;
    const char* line4_start;
  } cases[] = {
      {"Mercator", [](Domain& d) { d.proj = 3; }, "ME 40.000000 -100.000000 "},
      {"latitude/longitude", [](Domain& d) { d.proj = 2; }, "LL 40.000000"},
      {"polar, meridian at the centre",
       [](Domain& d) {
         d.proj = 1;
         d.plon = -100;
       },
       "PS 40.000000"},
      {"polar, own meridian",
       [](Domain& d) {
         d.proj = 1;
         d.plon = -105;
       },
       "PS:-105.000000 40.000000"},
      {"Lambert, meridian only",
       [](Domain& d) {
         d.proj = 4;
         d.plon = -95;
       },
       "LC:-95.000000 40.000000"},
      {"Lambert, full",
       [](Domain& d) {
         d.proj = 4;
         d.plat = 25;
         d.plon = -95;
         d.param[0] = 25;
         d.param[1] = 25;
         d.param[2] = 1;
       },
       "LC:25.000000:-95.000000:25.000000:25.000000:1.000000 40.000000"},
      {"Lambert, bare", [](Domain& d) { d.proj = 4; }, "LC 40.000000"},
      {"satellite",
       [](Domain& d) {
         d.proj = 9;
         d.plat = 0;
         d.plon = -75;
         d.param[0] = 6.6f;
       },
       "SAT:0.000000:-75.000000:6.600000 40."},
      {"Mollweide",
       [](Domain& d) {
         d.proj = 7;
         d.plon = 10;
       },
       "PJ:7:-9999.000000:10.000000:"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Image img;
    make_raw(img, 8, 6, 8, 8, 8, 1, noise);
    Domain& d = img->domain;
    d = no_domain();
    d.clat = 40;
    d.clon = -100;
    d.dx = 0.5f;
    d.dy = 0.25f;
    d.nx = 8;
    d.ny = 6;
    c.set(d);
    const std::string path = dir.file("d.kez");
    ASSERT_EQ(IMG_write(path.c_str(), img.get(), 0), 1);
    const std::string bytes = slurp(path);
    const std::string line4 = header_of(bytes, 4).substr(header_of(bytes, 3).size());
    EXPECT_EQ(line4.substr(0, std::string(c.line4_start).size()), c.line4_start) << line4;
    Image back;
    ASSERT_EQ(IMG_read_kez(path.c_str(), back.get(), 0), 1);
    const Domain& b = back->domain;
    EXPECT_EQ(b.proj, d.proj);
    EXPECT_FLOAT_EQ(b.clat, 40);
    EXPECT_FLOAT_EQ(b.clon, -100);
    EXPECT_FLOAT_EQ(b.dx, 0.5f);
    EXPECT_FLOAT_EQ(b.dy, 0.25f);
    EXPECT_EQ(b.nx, 8);
    EXPECT_EQ(b.ny, 6);
    if (d.proj == 1 && d.plon == d.clon) {
      EXPECT_EQ(b.plon, -9999.0f);
    } else {
      EXPECT_FLOAT_EQ(b.plon, d.plon);
    }
    EXPECT_FLOAT_EQ(b.plat, d.plat);
    EXPECT_FLOAT_EQ(b.param[0], d.param[0]);
    EXPECT_EQ(back->width, 8);
    EXPECT_EQ(pixels_of(back.r), pixels_of(img.r));
  }
}

TEST(KezFormat, DeepAndIndexedPixelsAreReducedToOneByte) {
  TempDir dir;
  auto mean3 = [](const unsigned char* p) { return static_cast<unsigned char>((p[0] + p[1] + p[2]) / 3); };
  struct Case {
    const char* what;
    int depth, bits, bytes_line, order;
    std::function<unsigned char(const unsigned char* row, int col)> expect;
  } cases[] = {
      {"32-bit, MSB first", 24, 32, 40, 1, [&](const unsigned char* r, int c) { return mean3(r + 4 * c + 1); }},
      {"32-bit, LSB first", 24, 32, 40, 0, [&](const unsigned char* r, int c) { return mean3(r + 4 * c); }},
      {"24-bit in 3 bytes, MSB first", 24, 24, 31, 1, [](const unsigned char* r, int c) { return r[3 * c + 2]; }},
      {"24-bit in 3 bytes, LSB first", 24, 24, 30, 0, [](const unsigned char* r, int c) { return r[3 * c]; }},
      {"16-bit, MSB first", 16, 16, 20, 1, [](const unsigned char* r, int c) { return r[2 * c + 1]; }},
      {"16-bit, LSB first", 16, 16, 22, 0, [](const unsigned char* r, int c) { return r[2 * c]; }},
      {"4-bit", 4, 4, 5, 1,
       [](const unsigned char* r, int c) { return static_cast<unsigned char>(c % 2 ? r[c / 2] & 15 : r[c / 2] >> 4); }},
      {"1-bit", 1, 1, 2, 1,
       [](const unsigned char* r, int c) { return static_cast<unsigned char>((r[c / 8] >> (c % 8)) & 1); }},
      {"8-bit with colours", 8, 8, 12, 1, [](const unsigned char* r, int c) { return r[c]; }},
  };
  for (int type = 0; type <= 1; ++type) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (type ? ", compressed" : ""));
      Image img;
      make_raw(img, 10, 3, c.depth, c.bits, c.bytes_line, c.order, noise);
      if (std::string(c.what) == "8-bit with colours") {
        img->color_type = IMG_COLOR_INDEXED;
        img->num_colors = 1;
        img->colors = static_cast<IMG_color*>(std::calloc(1, sizeof(IMG_color)));
      }
      const std::string path = dir.file("r.kez");
      ASSERT_EQ(IMG_write(path.c_str(), img.get(), type), 1);
      EXPECT_EQ(slurp(path).substr(0, 8), type ? "KEZIMGZ\n" : "KEZIMG\n\n");
      Image back;
      ASSERT_EQ(IMG_read(path.c_str(), back.get(), 0), 1);
      ASSERT_EQ(back->width, 10);
      ASSERT_EQ(back->height, 3);
      for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 10; ++x)
          EXPECT_EQ(back->data[y * 10 + x], c.expect(img->data + y * c.bytes_line, x)) << y << "," << x;
    }
  }
}

TEST(KezFormat, PaddedRowsAreWrittenAtTheDeclaredWidth) {
  TempDir dir;
  Image img;
  make_raw(img, 9, 5, 8, 8, 12, 1, noise);
  const std::string path = dir.file("p.kez");
  ASSERT_EQ(IMG_write(path.c_str(), img.get(), 0), 1);
  EXPECT_EQ(slurp(path).size(), std::string("KEZIMG\n\n\n9 5\n").size() + 45u);
  Image back;
  ASSERT_EQ(IMG_read(path.c_str(), back.get(), 0), 1);
  EXPECT_EQ(pixels_of(back.r), pixels_of(img.r));
}

TEST(KezFormat, CompressedImageIsASeriesOfWholeZlibStreams) {
  if (!kez_test::have_program("/usr/bin/python3")) GTEST_SKIP();
  TempDir dir;
  Image img;
  make_raw(img, 250, 100, 8, 8, 250, 1, noise);
  const std::string path = dir.file("z.kez");
  ASSERT_EQ(IMG_write(path.c_str(), img.get(), IMG_WRITE_ZLIB), 1);
  const std::string script = R"PY(
import sys, zlib
data = open(sys.argv[1], 'rb').read()
pos = 0
for _ in range(4):
    pos = data.index(b'\n', pos) + 1
rest = data[pos:]
sizes, out = [], b''
while rest:
    d = zlib.decompressobj()
    piece = d.decompress(rest)
    assert d.eof, 'stream not complete'
    sizes.append(len(piece))
    out += piece
    rest = d.unused_data
open(sys.argv[2], 'wb').write(out)
print(' '.join(map(str, sizes)))
)PY";
  kez_test::write_file(dir.file("z.py"), script);
  std::string out;
  ASSERT_EQ(kez_test::run_command("/usr/bin/python3 " + dir.file("z.py") + " " + path + " " + dir.file("raw"), &out),
            0);
  EXPECT_EQ(out, "10000 10000 5000\n");
  EXPECT_EQ(slurp(dir.file("raw")), std::string(reinterpret_cast<const char*>(img->data), 25000));
  Image back;
  ASSERT_EQ(IMG_read(path.c_str(), back.get(), 0), 1);
  EXPECT_EQ(pixels_of(back.r), pixels_of(img.r));
}

TEST(KezFormat, CompressedFileStillBeingWrittenIsWaitedFor) {
  TempDir dir;
  Image img;
  make_raw(img, 200, 100, 8, 8, 200, 1, noise);
  const std::string whole = dir.file("whole.kez");
  ASSERT_EQ(IMG_write(whole.c_str(), img.get(), IMG_WRITE_ZLIB), 1);
  const std::string bytes = slurp(whole);
  const std::string path = dir.file("growing.kez");
  kez_test::write_file(path, bytes.substr(0, bytes.size() / 2));
  std::thread writer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::ofstream(path, std::ios::app | std::ios::binary) << bytes.substr(bytes.size() / 2);
  });
  Image back;
  const int result = IMG_read(path.c_str(), back.get(), 0);
  writer.join();
  ASSERT_EQ(result, 1);
  EXPECT_EQ(pixels_of(back.r), pixels_of(img.r));
}

TEST(KezFormat, TruncatedAndCorruptFilesFail) {
  TempDir dir;
  Image img;
  make_raw(img, 120, 100, 8, 8, 120, 1, noise);
  ASSERT_EQ(IMG_write(dir.file("plain.kez").c_str(), img.get(), 0), 1);
  ASSERT_EQ(IMG_write(dir.file("zip.kez").c_str(), img.get(), 1), 1);
  const std::string plain = slurp(dir.file("plain.kez"));
  const std::string zip = slurp(dir.file("zip.kez"));
  const size_t zstart = header_of(zip, 4).size();
  std::string damaged = zip;
  for (size_t i = zstart + 2; i < zstart + 40; ++i) damaged[i] = static_cast<char>(damaged[i] ^ 0xA5);
  struct Case {
    const char* what;
    std::string bytes;
    const char* message;
  } cases[] = {
      {"plain, cut in the pixels", plain.substr(0, plain.size() - 1), "File ends before its pixels"},
      {"plain, no pixels", header_of(plain, 4), "File ends before its pixels"},
      {"compressed, cut", zip.substr(0, zip.size() - 100), "File ends before its pixels"},
      {"compressed, second stream missing", zip.substr(0, zstart + 200), "File ends before its pixels"},
      {"compressed, damaged", damaged, "Corrupt compressed pixels"},
      {"header cut", "KEZIMG\ntitle\n", "Header ends early"},
      {"huge size", "KEZIMG\n\n\n70000 70000\n", "out of range"},
      {"no width", "KEZIMG\n\n\n0 5\n", "out of range"},
      {"negative size", "KEZIMG\n\n\n-3 4\n", "Bad size line"},
      {"words for numbers", "KEZIMG\n\n\nwide high\n", "Bad size line"},
      {"domain with a missing number", "KEZIMG\n\n\nME 40 -100 1 1 8\n", "Bad size line"},
      {"domain of no finite centre", "KEZIMG\n\n\nME nan -100 1 1 8 6\n", "Bad size line"},
      {"overlong line", "KEZIMG\n" + std::string(5000, 'x') + "\n\n1 1\n", "Header ends early"},
      {"version 4 with a text no domain has", "KEZIMG4\n\n\nlambert 40 -100\n", "Bad domain: lambert 40 -100"},
      {"negative C block", "KEZIMGC\n\n\n2 2\n\1\2\3\xF0xxxx", "Bad C block"},
      {"V block cut", "KEZIMGV\n\n\n2 2\nabc", "V block"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir.file("bad.kez");
    kez_test::write_file(path, c.bytes);
    age_file(path);
    Image back;
    int result = -1;
    const auto out = kez_test::capture([&] { result = IMG_read(path.c_str(), back.get(), 0); });
    EXPECT_EQ(result, 0);
    EXPECT_NE(out.err.find(c.message), std::string::npos) << out.err;
    EXPECT_EQ(back->data, nullptr);
  }
}

TEST(KezFormat, HeaderOptionsSkipBlocksAndNameAPixelFile) {
  TempDir dir;
  const std::string pix = "ABCDEF";
  const std::string c_block = std::string("xx\0\3", 4) + std::string(6, 'c');
  kez_test::write_file(dir.file("pixels.raw"), pix);
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"V block", "KEZIMGV\n\n\n3 2\n" + std::string(1024, 'v') + pix},
      {"C block", "KEZIMGC\n\n\n3 2\n" + c_block + pix},
      {"V and C blocks", "KEZIMGVC\n\n\n3 2\n" + std::string(1024, 'v') + std::string("xx\0\1cc", 6) + pix},
      {"pixel file", "KEZIMG*\n\n\n3 2\n " + dir.file("pixels.raw") + "\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    kez_test::write_file(dir.file("o.kez"), c.bytes);
    Image back;
    ASSERT_EQ(IMG_read(dir.file("o.kez").c_str(), back.get(), 0), 1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(back->data), 6), pix);
  }
}

TEST(KezFormat, PixelFileNameIsNeverACommand) {
  TempDir dir;
  const std::string marker = dir.file("ran");
  kez_test::write_file(dir.file("cmd.kez"), "KEZIMG*\n\n\n3 2\n|touch" + std::string("\t") + marker + "\n");
  Image back;
  int result = -1;
  const auto out = kez_test::capture([&] { result = IMG_read(dir.file("cmd.kez").c_str(), back.get(), 0); });
  EXPECT_EQ(result, 0);
  EXPECT_NE(out.err.find("Unable to open pixel file: |touch"), std::string::npos) << out.err;
  struct stat st {};
  EXPECT_NE(::stat(marker.c_str(), &st), 0);
}

TEST(KezFormat, VersionFourHeaderTakesItsSizeFromTheDecodedDomain) {
  const char* text = "ps::-95,40,-95,3,2,1.3,1.3";
  Domain want = no_domain();
  ASSERT_EQ(DOM_decode(text, &want), DOM_DECODED);
  TempDir dir;
  kez_test::write_file(dir.file("v4.kez"), std::string("KEZIMG4\n\n\n") + text + "\nABCDEF");
  Image back;
  ASSERT_EQ(IMG_read(dir.file("v4.kez").c_str(), back.get(), 0), 1);
  EXPECT_EQ(back->width, 3);
  EXPECT_EQ(back->height, 2);
  EXPECT_EQ(back->domain.proj, want.proj);
  kez_test::write_file(dir.file("v4bad.kez"), "KEZIMG4\n\n\nnonsense\nABCDEF");
  Image bad;
  int result = -1;
  const auto out = kez_test::capture([&] { result = IMG_read(dir.file("v4bad.kez").c_str(), bad.get(), 0); });
  EXPECT_EQ(result, 0);
  EXPECT_NE(out.err.find("IMG_read_kez: Bad domain: nonsense"), std::string::npos);
}

TEST(KezFormat, WriterRefusesWhatItCannotStore) {
  Image img;
  make_raw(img, 8, 6, 8, 8, 8, 1, noise);
  img->domain = no_domain();
  img->domain.proj = 3;
  img->domain.nx = 80;
  img->domain.ny = 60;
  int result = -1;
  auto out = kez_test::capture([&] { result = IMG_write("/tmp/never.kez", img.get(), 0); });
  EXPECT_EQ(result, 0);
  EXPECT_NE(out.err.find("IMG_write: Domain grid 80x60 is not the image's 8x6"), std::string::npos);
  img->domain.proj = -9999;
  out = kez_test::capture([&] { result = IMG_write("/proc/no/such/dir/x.kez", img.get(), 0); });
  EXPECT_EQ(result, 0);
  EXPECT_NE(out.err.find("Unable to open: /proc/no/such/dir/x.kez"), std::string::npos);
  img->bytes_line = 4;
  out = kez_test::capture([&] { result = IMG_write("/tmp/never.kez", img.get(), 0); });
  EXPECT_EQ(result, 0);
  EXPECT_NE(out.err.find("IMG_write: Rows of 4 bytes"), std::string::npos);
}

/* Every format: the file reads back to the same colours, ImageMagick's
 * identify takes it at its size, and compare finds no pixel that differs
 * from the same picture written as PNG. */
TEST(ImageFormats, EveryWriterGivesThePictureBackAndToImageMagick) {
  TempDir dir;
  struct Format {
    const char* name;
    std::function<int(const char*, const IMG_report*)> write;
  } formats[] = {
      {"gif", GIF_write},
      {"png", PNG_write},
      {"xwd", XWD_write},
      {"kez", [](const char* f, const IMG_report* i) { return IMG_write(f, i, IMG_WRITE_ZLIB); }},
  };
  Image img;
  make_indexed(img, 31, 17, 12, [](int y, int x) { return (x / 3 + y / 2) % 12u; });
  const std::string reference = dir.file("ref.png");
  ASSERT_EQ(PNG_write(reference.c_str(), img.get()), 1);
  for (const Format& f : formats) {
    SCOPED_TRACE(f.name);
    const std::string path = dir.file(std::string("pic.") + f.name);
    ASSERT_EQ(f.write(path.c_str(), img.get()), 1);
    Image back;
    ASSERT_EQ(IMG_read(path.c_str(), back.get(), 0), 1);
    if (std::string(f.name) == "kez") {
      /* The own format keeps pixel values, not colours. */
      EXPECT_EQ(pixels_of(back.r), pixels_of(img.r));
      continue;
    }
    EXPECT_EQ(colours_of(back.r), colours_of(img.r));
    if (!have_imagemagick()) continue;
    std::string out;
    EXPECT_EQ(kez_test::run_command("identify '" + path + "' 2>&1", &out), 0) << out;
    EXPECT_NE(out.find(" 31x17 "), std::string::npos) << out;
    if (kez_test::have_program("compare")) {
      kez_test::run_command("compare -metric AE '" + path + "' '" + reference + "' null: 2>&1", &out);
      EXPECT_EQ(out, "0") << "pixels that differ from the PNG";
    }
  }
}

/* The palette of the GIF and PNG writers against a plain scan of
 * IMG_pixel: entries in the order values first occur, at most 256 of them,
 * later new values on entry 0, the transparent value's entry noted. The
 * cases take every way the pixels are read (32-bit words of either order,
 * with and without a pad byte, and the other depths through row values),
 * and images of many colours, where the writer's table of values seen
 * fills and collides. */
TEST(ImgPalette, EntriesAreTheValuesInOrderOfFirstOccurrenceInEveryLayout) {
  struct Case {
    const char* what;
    std::function<void(Image&)> make;
    long trans;
  };
  const auto many = [](int y, int x) { return static_cast<unsigned int>((x * 7919 + y * 104729) % 600) * 0x010203u; };
  const auto runs = [](int y, int x) { return static_cast<unsigned int>(((x / 3) + y) % 5) * 0x102030u; };
  const Case cases[] = {
      {"32-bit, host order, runs", [&](Image& i) { make_rgb32(i, 53, 11, runs, 0); }, 0x102030},
      {"32-bit, other order, runs", [&](Image& i) { make_rgb32(i, 53, 11, runs, 1); }, -1},
      {"32-bit, 600 colours", [&](Image& i) { make_rgb32(i, 97, 41, many, 0); }, 0x010203L * 599},
      {"32-bit, pad byte set",
       [](Image& i) {
         make_raw(i, 31, 9, 24, 32, 31 * 4, 0,
                  [](int b) { return static_cast<unsigned char>(b % 4 == 3 ? 0xA5 : b % 11); });
       },
       -1},
      {"24-bit",
       [](Image& i) {
         make_raw(i, 29, 7, 24, 24, 29 * 3 + 1, 1, [](int b) { return static_cast<unsigned char>(b % 13); });
       },
       -1},
      {"16-bit",
       [](Image& i) {
         make_raw(i, 40, 6, 16, 16, 80, 0, [](int b) { return static_cast<unsigned char>(b * 37 % 256); });
       },
       -1},
      {"8-bit indexed",
       [](Image& i) {
         make_indexed(
             i, 23, 9, 200, [](int y, int x) { return (x * 3 + y * 5) % 200u; }, 2);
       },
       7},
      {"4-bit",
       [](Image& i) { make_raw(i, 15, 5, 4, 4, 8, 1, [](int b) { return static_cast<unsigned char>(b * 29 % 256); }); },
       -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Image img;
    c.make(img);
    IMG_palette pal;
    std::vector<unsigned char> index;
    IMG_make_palette(img.get(), c.trans, &pal, &index);

    std::vector<unsigned int> order;
    int trans_index = -1;
    ASSERT_EQ(index.size(), static_cast<size_t>(img->width) * static_cast<size_t>(img->height));
    for (int y = 0; y < img->height; ++y)
      for (int x = 0; x < img->width; ++x) {
        const unsigned int v = IMG_pixel(img.get(), y, x);
        auto at = std::find(order.begin(), order.end(), v);
        if (at == order.end() && order.size() < IMG_PALETTE_MAX) {
          order.push_back(v);
          at = order.end() - 1;
          if (static_cast<long>(v) == c.trans && trans_index < 0) trans_index = static_cast<int>(order.size()) - 1;
        }
        const int want = at == order.end() ? 0 : static_cast<int>(at - order.begin());
        ASSERT_EQ(index[static_cast<size_t>(y) * static_cast<size_t>(img->width) + static_cast<size_t>(x)], want)
            << "pixel " << x << "," << y;
      }
    ASSERT_EQ(pal.num_color, static_cast<int>(order.size()));
    for (size_t i = 0; i < order.size(); ++i) EXPECT_EQ(pal.value[i], order[i]) << "entry " << i;
    EXPECT_EQ(pal.trans_index, trans_index);
  }
}

/* The palette made band by band and merged in order from the top is the
 * whole image's palette, and each band's indexes, put through its map or
 * indexed again where the merge asks for it, are the whole image's: for
 * any split into bands, and whether a band's list starts empty, with the
 * palette merged so far, or with the palette as it stood two bands
 * earlier (a thread that started before the bands above it were merged).
 * The cases fill the palette in a middle band, so that later bands
 * overflow with values both in and out of the palette, or in the first
 * band, and take both ways of reading pixels. */
TEST(ImgPalette, BandsMergedInOrderGiveTheWholeImagesPaletteAndIndexes) {
  struct Case {
    const char* what;
    std::function<void(Image&)> make;
    long trans;
  };
  /* New colours lower down; each band meets the old ones in its own order. */
  const auto lower = [](int y, int x) {
    const unsigned int k = static_cast<unsigned int>(y / 6 + 3);
    return (static_cast<unsigned int>(x * 7 + y * 3) % k) * 0x0A0B0Cu + 0x010000u * static_cast<unsigned int>(y % 2);
  };
  /* Runs of four colours above, 600 colours from row 20 on. */
  const auto middle = [](int y, int x) {
    if (y < 20) return static_cast<unsigned int>((x / 5 + y) % 4) * 0x204060u;
    return static_cast<unsigned int>((x * 7919 + y * 104729) % 600) * 0x010203u;
  };
  const auto noisy = [](int y, int x) { return static_cast<unsigned int>((x * 31 + y * 977) % 700) * 0x030105u; };
  const Case cases[] = {
      {"new colours lower down, host order", [&](Image& i) { make_rgb32(i, 64, 48, lower, 0); }, 0x0A0B0C * 2},
      {"the palette fills in a middle band", [&](Image& i) { make_rgb32(i, 61, 44, middle, 0); }, -1},
      {"the palette fills in the first band, other order", [&](Image& i) { make_rgb32(i, 53, 40, noisy, 1); }, -1},
      {"8-bit indexed",
       [](Image& i) {
         make_indexed(
             i, 37, 30, 200, [](int y, int x) { return static_cast<unsigned int>(x * 3 + y * y) % 200u; }, 2);
       },
       5},
  };
  for (const Case& c : cases) {
    Image img;
    c.make(img);
    IMG_palette want;
    std::vector<unsigned char> want_index;
    IMG_make_palette(img.get(), c.trans, &want, &want_index);
    const int h = img->height;
    const size_t w = static_cast<size_t>(img->width);
    for (int parts : {1, 3, 7, h}) {
      for (int seed : {0, 1, 2}) {
        SCOPED_TRACE(std::string(c.what) + ", " + std::to_string(parts) + " bands, seed " + std::to_string(seed));
        IMG_palette pal;
        std::vector<int> merged_colors = {0}; /* [b]: entries once b bands are merged */
        std::vector<unsigned char> index(w * static_cast<size_t>(h), 0xEE);
        for (int b = 0; b < parts; ++b) {
          IMG_band band;
          band.first_row = h * b / parts;
          band.last_row = h * (b + 1) / parts;
          const int known = seed == 0 ? 0 : merged_colors[static_cast<size_t>(seed == 1 ? b : std::max(b - 2, 0))];
          std::copy_n(pal.value, known, band.value);
          band.num_value = known;
          unsigned char* rows = index.data() + static_cast<size_t>(band.first_row) * w;
          ASSERT_EQ(IMG_index_band(img.get(), &band, rows, w), 0);
          IMG_merge_band(img.get(), c.trans, &band, &pal);
          merged_colors.push_back(pal.num_color);
          if (band.reindex) {
            ASSERT_EQ(IMG_reindex_band(img.get(), pal.value, pal.num_color, &band, rows, w), 0);
          } else {
            for (unsigned char* p = rows; p < index.data() + static_cast<size_t>(band.last_row) * w; ++p)
              *p = band.map[*p];
          }
        }
        ASSERT_EQ(pal.num_color, want.num_color);
        for (int i = 0; i < want.num_color; ++i) {
          ASSERT_EQ(pal.value[i], want.value[i]) << "entry " << i;
          ASSERT_EQ((RGB{pal.red[i], pal.grn[i], pal.blu[i]}), (RGB{want.red[i], want.grn[i], want.blu[i]}));
        }
        EXPECT_EQ(pal.trans_index, want.trans_index);
        const auto first_wrong = std::mismatch(index.begin(), index.end(), want_index.begin());
        EXPECT_TRUE(first_wrong.first == index.end()) << "pixel " << (first_wrong.first - index.begin());
      }
    }
  }
}
