/*
 * GRIB edition 2 values: simple, complex, spatially differenced, JPEG 2000
 * and run-length packing, bit maps, row orders, and damaged data. Messages
 * made by tools/make_grib2_packed.sh are checked point by point against
 * grib_get_data; run-length fields are hand-built.
 */
#include "grib_driver.h"
#include "kez_test.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using grib_test::Field;
using kez_test::TempDir;

namespace {

const std::string examples = "/usr/share/doc/python-grib-doc/examples/";

std::string data_file(const std::string& name) { return std::string(KEZ_SOURCE_DIR) + "/tests/grib/data/" + name; }

std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void put_bytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<Field> read_fields(const std::string& path, std::string* err = nullptr) {
  std::vector<Field> out;
  if (!grib_test::open_grib(path)) return out;
  auto cap = kez_test::capture([&] {
    GRD_info info{};
    if (grib_test::file_header(&info) == 0) out = grib_test::data_walk();
  });
  if (err) *err = cap.err;
  grib_test::close_grib();
  return out;
}

struct Point {
  double lat, lon, v;
};

/* grib_get_data's points, message by message. */
std::vector<std::vector<Point>> eccodes_points(const std::string& path) {
  std::string out;
  kez_test::run_command("grib_get_data -m -9999 " + path + " 2>/dev/null", &out);
  std::vector<std::vector<Point>> msgs;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    Point p;
    if (std::sscanf(line.c_str(), "%lf %lf %lf", &p.lat, &p.lon, &p.v) == 3) {
      if (msgs.empty()) msgs.emplace_back();
      msgs.back().push_back(p);
    } else if (line.find("Latitude") != std::string::npos) {
      msgs.emplace_back();
    }
  }
  return msgs;
}

/* A latitude/longitude grid's points, northern row first, west to east. */
std::vector<double> by_position(std::vector<Point> pts) {
  std::stable_sort(pts.begin(), pts.end(), [](const Point& a, const Point& b) {
    if (a.lat != b.lat) return a.lat > b.lat;
    return a.lon < b.lon;
  });
  std::vector<double> v;
  for (auto& p : pts) v.push_back(p.v);
  return v;
}

/* Same values within tol, and missing at the same points. */
::testing::AssertionResult same_values(const std::vector<float>& got, const std::vector<double>& want, double tol) {
  if (got.size() != want.size()) return ::testing::AssertionFailure() << "size " << got.size() << " != " << want.size();
  for (size_t i = 0; i < got.size(); ++i) {
    const bool gm = got[i] == -9999.0f, wm = want[i] == -9999.0;
    if (gm != wm || (!gm && std::fabs(got[i] - want[i]) > tol))
      return ::testing::AssertionFailure() << "point " << i << ": " << got[i] << " != " << want[i];
  }
  return ::testing::AssertionSuccess();
}

bool have_eccodes() { return kez_test::have_program("grib_get_data"); }

} // namespace

TEST(GribEd2Data, PackedFixturesMatchEcCodes) {
  if (!have_eccodes()) GTEST_SKIP() << "ecCodes' tools not installed";
  for (const char* packing : {"simple", "complex", "spdiff", "jpeg"}) {
    for (const char* layout : {"plain", "holes", "s2n", "alt"}) {
      const std::string name = std::string("e2p_") + packing + "_" + layout + ".grb";
      SCOPED_TRACE(name);
      auto f = read_fields(data_file(name));
      ASSERT_EQ(f.size(), 1u);
      EXPECT_EQ(f[0].result, 1);
      EXPECT_EQ(f[0].rec.domain.nx, 12);
      EXPECT_EQ(f[0].rec.domain.ny, 9);
      auto e = eccodes_points(data_file(name));
      ASSERT_EQ(e.size(), 1u);
      /* ecCodes' tools list alternating rows in message order, as if
       * every row ran west to east: turn its odd rows round. */
      auto want = by_position(e[0]);
      if (std::string(layout) == "alt")
        for (size_t r = 1; r < 9; r += 2) std::reverse(want.begin() + r * 12, want.begin() + r * 12 + 12);
      /* Half a packing step at 2 decimals, 16 bits. */
      EXPECT_TRUE(same_values(f[0].values, want, 0.006));
      const long missing = std::count(f[0].values.begin(), f[0].values.end(), -9999.0f);
      EXPECT_EQ(missing, std::string(layout) == "holes" ? 20 : 0);
    }
  }
}

TEST(GribEd2Data, ConstantFields) {
  /* Simple packing and JPEG 2000 with 0 bits: the latter has no code stream. */
  for (const char* name : {"e2p_simple_const.grb", "e2p_jpeg_const.grb"}) {
    SCOPED_TRACE(name);
    auto f = read_fields(data_file(name));
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].result, 1);
    ASSERT_EQ(f[0].values.size(), 108u);
    for (float v : f[0].values) EXPECT_NEAR(v, 273.15, 0.006);
  }
}

TEST(GribEd2Data, UnsupportedPackingLeavesNoValuesAndNextFieldReads) {
  /* Each refused field is followed by a good one in the same file. */
  TempDir dir;
  const std::string good = read_all(data_file("e2p_simple_plain.grb"));
  for (const char* name : {"e2p_ieee.grb", "e2p_png.grb", "e2p_ccsds.grb"}) {
    const std::string bad = read_all(data_file(name));
    if (bad.empty()) continue;
    SCOPED_TRACE(name);
    const std::string path = dir.path() + "/two.grb";
    put_bytes(path, good + bad + good);
    std::string err;
    auto f = read_fields(path, &err);
    ASSERT_EQ(f.size(), 3u);
    EXPECT_EQ(f[0].result, 1);
    EXPECT_EQ(f[1].result, 0);
    EXPECT_TRUE(f[1].values.empty());
    EXPECT_NE(err.find("is not supported"), std::string::npos) << err;
    EXPECT_EQ(f[2].result, 1);
    EXPECT_EQ(f[2].values, f[0].values);
  }
}

namespace {

/* A minimal edition 2 message: 4 x 3 latitude/longitude grid, then the
 * given sections 5 to 7. */
std::string be(unsigned long v, int n) {
  std::string s;
  for (int i = n - 1; i >= 0; --i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  return s;
}

std::string section(int num, const std::string& body) { return be(body.size() + 5, 4) + static_cast<char>(num) + body; }

std::string message(const std::string& s5, const std::string& s6, const std::string& s7, int nx = 4, int ny = 3,
                    int scan = 0) {
  std::string s1 = section(
      1, be(7, 2) + be(0, 2) + "\x02\x01\x01" + be(2024, 2) + "\x03\x04\x05\x00\x00" + std::string("\x00\x01", 2));
  std::string g(67, '\0');
  g = be(0, 1) + be(static_cast<unsigned long>(nx * ny), 4) + be(0, 1) + be(0, 1) + be(0, 2);
  g += be(6, 1) + std::string(15, '\0'); /* shape of the earth and its details */
  g += be(static_cast<unsigned long>(nx), 4) + be(static_cast<unsigned long>(ny), 4);
  g += be(0, 4) + be(0xFFFFFFFF, 4);             /* basic angle, subdivisions */
  g += be(50000000, 4) + be(0, 4) + be(0x30, 1); /* La1, Lo1, flags */
  g += be(static_cast<unsigned long>(50000000 - (ny - 1) * 1000000), 4);
  g += be(static_cast<unsigned long>((nx - 1) * 1000000), 4);
  g += be(1000000, 4) + be(1000000, 4) + be(static_cast<unsigned long>(scan), 1); /* Di, Dj, scanning */
  std::string s3 = section(3, g);
  std::string p(29, '\0');
  p[3] = 0; /* category, parameter */
  std::string s4 = section(4, be(0, 2) + be(0, 2) + std::string(29, '\0'));
  std::string body = s1 + s3 + s4 + s5 + s6 + s7;
  std::string all = "GRIB" + std::string("\0\0\0\x02", 4) + be(0, 4) + be(16 + body.size() + 4, 4) + body + "7777";
  return all;
}

/* Section 5 of run-length packing: bits, MV, MVL, scale, level values. */
std::string rle_drs(int points, int bits, int mv, const std::vector<int>& levels, int scale) {
  std::string b = be(static_cast<unsigned long>(points), 4) + be(200, 2) + be(static_cast<unsigned long>(bits), 1) +
                  be(static_cast<unsigned long>(mv), 2) + be(levels.size(), 2) +
                  be(static_cast<unsigned long>(scale), 1);
  for (int l : levels) b += be(static_cast<unsigned long>(l), 2);
  return section(5, b);
}

std::string pack_bits(const std::vector<int>& vals, int bits) {
  std::string out;
  unsigned long long acc = 0;
  int n = 0;
  for (int v : vals) {
    acc = (acc << bits) | static_cast<unsigned>(v);
    n += bits;
    while (n >= 8) {
      out.push_back(static_cast<char>((acc >> (n - 8)) & 0xFF));
      n -= 8;
    }
  }
  if (n) out.push_back(static_cast<char>((acc << (8 - n)) & 0xFF));
  return out;
}

} // namespace

TEST(GribEd2Data, RunLengthPacking) {
  TempDir dir;
  const std::string nobm = section(6, "\xFF");
  struct Case {
    int bits;
    std::vector<int> packed;
    std::vector<float> want;
  };
  /* Levels 1..3 = 1.5, 2.5, 3.5 (scale 1); level 0 missing. MV = 3, so with
   * 4 bits the run digits are 4..15 (base 12), with 8 bits 4..255 (base 252). */
  const float M = -9999;
  const std::vector<Case> cases = {
      /* 4 bits, 12 points: 1 x3 (digit 6 = 2 more), 0, 3 x7 (digit 10 = 6 more), 2 last run of 1 */
      {4, {1, 6, 0, 3, 10, 2}, {1.5f, 1.5f, 1.5f, M, 3.5f, 3.5f, 3.5f, 3.5f, 3.5f, 3.5f, 3.5f, 2.5f}},
      /* 4 bits, the last run filling the rest: 2 then 3 x11 (digits 5,4: 1 + 1*1 + 0*12... ) */
      {4, {2, 3, 14}, {2.5f, 3.5f, 3.5f, 3.5f, 3.5f, 3.5f, 3.5f, 3.5f, 3.5f, 3.5f, 3.5f, 3.5f}},
      /* 8 bits: 1 x5, 2 x7 (digit 10: 6 more) */
      {8, {1, 8, 2, 10}, {1.5f, 1.5f, 1.5f, 1.5f, 1.5f, 2.5f, 2.5f, 2.5f, 2.5f, 2.5f, 2.5f, 2.5f}},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    const Case& c = cases[i];
    const std::string path = dir.path() + "/rle.grb";
    put_bytes(path, message(rle_drs(12, c.bits, 3, {15, 25, 35}, 1), nobm, section(7, pack_bits(c.packed, c.bits))));
    auto f = read_fields(path);
    ASSERT_EQ(f.size(), 1u);
    ASSERT_EQ(f[0].result, 1);
    ASSERT_EQ(f[0].values.size(), 12u);
    for (size_t k = 0; k < 12; ++k) EXPECT_NEAR(f[0].values[k], c.want[k], 1e-5) << k;
  }
  /* Rows from the south, rows from the east, a bit map: the runs cover the
   * present points in message order and are laid out as every packing's
   * values are (once written in message order whatever the order, and
   * over the points the bit map leaves out). */
  struct Layout {
    int scan;
    std::string bitmap;
    std::vector<float> want;
  };
  const std::vector<Layout> layouts = {
      {0x40, "", {3.5f, 3.5f, 3.5f, 2.5f, 3.5f, 3.5f, 3.5f, 3.5f, 1.5f, 1.5f, 1.5f, M}},
      {0x80, "", {M, 1.5f, 1.5f, 1.5f, 3.5f, 3.5f, 3.5f, 3.5f, 2.5f, 3.5f, 3.5f, 3.5f}},
      {0, "\x6F\xF0", {M, 1.5f, 1.5f, M, 1.5f, M, 3.5f, 3.5f, 3.5f, 3.5f, 3.5f, 3.5f}},
  };
  for (const Layout& l : layouts) {
    SCOPED_TRACE(l.scan);
    const std::string path = dir.path() + "/rle.grb";
    const std::string bm = l.bitmap.empty() ? nobm : section(6, std::string(1, '\0') + l.bitmap);
    put_bytes(path,
              message(rle_drs(12, 4, 3, {15, 25, 35}, 1), bm, section(7, pack_bits(cases[0].packed, 4)), 4, 3, l.scan));
    auto f = read_fields(path);
    ASSERT_EQ(f.size(), 1u);
    ASSERT_EQ(f[0].result, 1);
    ASSERT_EQ(f[0].values.size(), 12u);
    for (size_t k = 0; k < 12; ++k) EXPECT_NEAR(f[0].values[k], l.want[k], 1e-5) << k;
  }
  /* A level beyond the list: no values. */
  const std::string path = dir.path() + "/bad.grb";
  put_bytes(path, message(rle_drs(12, 4, 3, {15, 25}, 1), nobm, section(7, pack_bits({3, 14}, 4))));
  std::string err;
  auto f = read_fields(path, &err);
  ASSERT_EQ(f.size(), 1u);
  EXPECT_EQ(f[0].result, 0);
  EXPECT_TRUE(f[0].values.empty());
}

/* A JPEG 2000 image of fewer samples than the field has values is refused:
 * the points past its end were once left missing, unsaid. The 12 x 9
 * field of e2p_jpeg_plain.grb with its grid and value count grown to
 * 12 x 10. */
TEST(GribEd2Data, JpegImageOfAnotherSizeIsRefused) {
  TempDir dir;
  std::string m = read_all(data_file("e2p_jpeg_plain.grb"));
  const size_t s3 = 16 + 21, s5 = s3 + 72 + 34;
  ASSERT_EQ(m[s3 + 4], 3);
  ASSERT_EQ(m[s5 + 4], 5);
  m.replace(s3 + 6, 4, be(120, 4));
  m.replace(s3 + 34, 4, be(10, 4));
  m.replace(s5 + 5, 4, be(120, 4));
  put_bytes(dir.file("j.grb"), m);
  std::string err;
  auto f = read_fields(dir.file("j.grb"), &err);
  ASSERT_EQ(f.size(), 1u);
  EXPECT_EQ(f[0].result, 0);
  EXPECT_TRUE(f[0].values.empty());
  EXPECT_NE(err.find("The image holds 108 values for the field's 120"), std::string::npos) << err;
}

TEST(GribEd2Data, CutAndCorruptedDataGiveNoStaleValues) {
  /* Every fixture with its data section cut at many points (the message
   * length kept), and with random bits flipped in sections 5 to 7: the
   * reader never crashes, and a failed field holds no values. */
  TempDir dir;
  std::mt19937 rng(49);
  for (const char* packing : {"simple", "complex", "spdiff", "jpeg"}) {
    for (const char* layout : {"plain", "holes"}) {
      const std::string name = std::string("e2p_") + packing + "_" + layout + ".grb";
      SCOPED_TRACE(name);
      const std::string good = read_all(data_file(name));
      ASSERT_GT(good.size(), 100u);
      const std::string path = dir.path() + "/bad.grb";
      /* Section 7 claiming more than the file holds. */
      for (size_t cut = good.size() - 4 - 40; cut < good.size() - 4; cut += 7) {
        put_bytes(path, good.substr(0, cut));
        auto f = read_fields(path);
        for (auto& fl : f)
          if (fl.result == 0) {
            EXPECT_TRUE(fl.values.empty());
          }
      }
      for (int trial = 0; trial < 60; ++trial) {
        std::string bad = good;
        for (int k = 0; k < 3; ++k) {
          size_t at = 120 + rng() % (bad.size() - 124);
          bad[at] = static_cast<char>(bad[at] ^ (1 << (rng() % 8)));
        }
        put_bytes(path, good + bad + good);
        auto f = read_fields(path);
        ASSERT_GE(f.size(), 1u);
        for (auto& fl : f)
          if (fl.result == 0) {
            EXPECT_TRUE(fl.values.empty());
          }
      }
    }
  }
}

TEST(GribEd2Data, DamagedCodeStreamsFailQuickly) {
  /* A JPEG 2000 code stream cut at many points or with its size fields
   * claiming a huge image: the warning, and no values. */
  TempDir dir;
  const std::string good = read_all(data_file("e2p_jpeg_plain.grb"));
  const size_t s7 = good.find("\xFF\x4F\xFF\x51");
  ASSERT_NE(s7, std::string::npos);
  const std::string path = dir.path() + "/bad.grb";
  auto check = [&](const std::string& bytes) {
    put_bytes(path, bytes);
    std::string err;
    auto f = read_fields(path, &err);
    ASSERT_EQ(f.size(), 1u);
    if (f[0].result == 0) {
      EXPECT_TRUE(f[0].values.empty());
      EXPECT_FALSE(err.empty());
    }
  };
  for (size_t keep = s7 + 2; keep < good.size() - 4; keep += 9) {
    /* The code stream cut: section 7 and the message shortened to match. */
    std::string b = good.substr(0, keep) + "7777";
    const unsigned long len7 = keep - (s7 - 5);
    b.replace(s7 - 5, 4, be(len7, 4));
    b.replace(8, 8, be(b.size(), 8));
    check(b);
  }
  /* Random bits flipped in the code stream, in a child whose address space
   * is limited (not under the address sanitizer, which reserves far more). */
  std::mt19937 rng(2000);
  std::vector<std::string> flipped;
  for (int t = 0; t < 150; ++t) {
    std::string b = good;
    for (int k = 0; k < 1 + t % 4; ++k) {
      size_t at = s7 + rng() % (good.size() - 4 - s7);
      b[at] = static_cast<char>(b[at] ^ (1 << (rng() % 8)));
    }
    flipped.push_back(b);
  }
  auto child = kez_test::run_child([&] {
#if !defined(__SANITIZE_ADDRESS__)
    struct rlimit lim {};
    lim.rlim_cur = lim.rlim_max = 1024ul << 20;
    setrlimit(RLIMIT_AS, &lim);
#endif
    for (const auto& b : flipped) {
      put_bytes(path, b);
      auto f = read_fields(path);
      if (f.size() != 1 || (f[0].result == 0 && !f[0].values.empty())) return 1;
    }
    return 0;
  });
  EXPECT_EQ(child.status, 0) << child.err;
  /* Image size (Xsiz, Ysiz in the SIZ marker) far beyond the grid. */
  std::string huge = good;
  huge.replace(s7 + 6 + 2, 8, be(60000, 4) + be(60000, 4));
  put_bytes(path, huge);
  std::string err;
  auto f = read_fields(path, &err);
  ASSERT_EQ(f.size(), 1u);
  EXPECT_EQ(f[0].result, 0);
  EXPECT_TRUE(f[0].values.empty());
  EXPECT_NE(err.find("jpc_decode error"), std::string::npos) << err;
}

TEST(GribEd2Data, ThinnedLatLonRowsInterpolated) {
  /* Each row of ecCodes' values (rows told apart by their latitude), laid
   * linearly over the longest row's width; missing where either neighbour is. */
  if (!have_eccodes()) GTEST_SKIP() << "ecCodes' tools not installed";
  const std::string path = examples + "reduced_latlon_surface.grib2";
  if (!std::ifstream(path)) GTEST_SKIP() << "python-grib-doc not installed";
  auto f = read_fields(path);
  auto e = eccodes_points(path);
  ASSERT_EQ(f.size(), 1u);
  ASSERT_EQ(e.size(), 1u);
  ASSERT_EQ(f[0].result, 1);
  TempDir dir;
  put_bytes(dir.path() + "/pl.rules", "print \"[pl!1]\";\n");
  std::string pl_text;
  kez_test::run_command("grib_filter " + dir.path() + "/pl.rules " + path + " 2>/dev/null", &pl_text);
  std::istringstream pl_in(pl_text);
  std::vector<std::vector<double>> rows;
  size_t k = 0;
  for (int n; pl_in >> n;) {
    rows.emplace_back();
    for (int i = 0; i < n && k < e[0].size(); ++i) rows.back().push_back(e[0][k++].v);
  }
  ASSERT_EQ(k, e[0].size());
  const int nx = f[0].rec.domain.nx;
  ASSERT_EQ(static_cast<int>(rows.size()), f[0].rec.domain.ny);
  std::vector<double> want;
  for (auto& r : rows) {
    const int n = static_cast<int>(r.size());
    for (int i = 0; i < nx; ++i) {
      if (n == 0) {
        want.push_back(-9999);
        continue;
      }
      if (n == 1) {
        want.push_back(r[0]);
        continue;
      }
      const long num = static_cast<long>(i) * (n - 1);
      const int a = static_cast<int>(num / (nx - 1));
      const double fr = static_cast<double>(num % (nx - 1)) / (nx - 1);
      if (fr == 0) {
        want.push_back(r[a]);
        continue;
      }
      want.push_back(r[a] == -9999 || r[a + 1] == -9999 ? -9999 : fr * r[a + 1] + (1 - fr) * r[a]);
    }
  }
  EXPECT_TRUE(same_values(f[0].values, want, 1e-3));
}

TEST(GribEd2Data, ComplexMissingManagementAndSecondOrder) {
  /* 12 points in four groups (4-bit references, 2-bit widths, 3-bit
   * lengths of 1 + n): a constant group of reference 15 (primary missing),
   * six 3-bit values 0 0 7 1 6 2 (7 primary, 6 secondary missing under
   * management 2), a constant group of reference 14 (secondary missing),
   * and three 3s; second-order differences from 10 and 12, minimum -1,
   * worked out by hand over the present values only. */
  TempDir dir;
  const float M = -9999;
  struct Case {
    int mt;
    std::vector<float> want;
  };
  const std::vector<Case> cases = {
      {2, {M, M, 10, 12, M, 14, M, 17, M, 22, 29, 38}},
      {1, {M, M, 10, 12, M, 14, 21, 29, 50, 73, 98, 125}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mt);
    const std::string s5 =
        section(5, be(12, 4) + be(3, 2) + be(0, 4) + be(0, 2) + be(0, 2) + be(4, 1) + be(1, 1) + be(1, 1) +
                       be(static_cast<unsigned long>(c.mt), 1) + be(0, 4) + be(0, 4) + be(4, 4) + be(0, 1) + be(2, 1) +
                       be(1, 4) + be(1, 1) + be(3, 4) + be(3, 1) + be(2, 1) + be(2, 1));
    const std::string s7 =
        section(7, be(10, 2) + be(12, 2) + be(0x8001, 2) + pack_bits({15, 0, 14, 3}, 4) + pack_bits({0, 3, 0, 0}, 2) +
                       pack_bits({1, 5, 0, 0}, 3) + pack_bits({0, 0, 7, 1, 6, 2}, 3));
    const std::string path = dir.path() + "/c.grb";
    put_bytes(path, message(s5, section(6, "\xFF"), s7));
    auto f = read_fields(path);
    ASSERT_EQ(f.size(), 1u);
    ASSERT_EQ(f[0].result, 1);
    ASSERT_EQ(f[0].values.size(), 12u);
    for (size_t k = 0; k < 12; ++k) EXPECT_EQ(f[0].values[k], c.want[k]) << k;
    /* Group lengths beyond the field: refused, no values. */
    std::string longer = s5;
    longer.replace(37, 4, be(3, 4)); /* octets 38-41: group length reference */
    put_bytes(path, message(longer, section(6, "\xFF"), s7));
    f = read_fields(path);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].result, 0);
    EXPECT_TRUE(f[0].values.empty());
  }
}
