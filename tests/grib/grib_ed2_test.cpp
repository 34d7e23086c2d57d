/*
 * GRIB edition 2: section headers, identification and grid definition, and
 * the walk of messages that hold several fields. Domains are checked against
 * grib_get's grid keys and PROJ on the sphere of 6371.22 km.
 */
#include "grib_driver.h"
#include "kez_test.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

using grib_test::HANDLE;
using kez_test::TempDir;

namespace {

const std::string examples = "/usr/share/doc/python-grib-doc/examples/";

std::string data_file(const std::string& name) { return std::string(KEZ_SOURCE_DIR) + "/tests/grib/data/" + name; }

void put_bytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<GRD_report> walk_headers(const std::string& path, std::string* err = nullptr) {
  std::vector<GRD_report> out;
  if (!grib_test::open_grib(path)) return out;
  auto cap = kez_test::capture([&] {
    GRD_info info{};
    if (grib_test::file_header(&info) == 0) out = grib_test::header_walk();
  });
  if (err) *err = cap.err;
  grib_test::close_grib();
  return out;
}

std::vector<std::vector<std::string>> grib_get(const std::string& path, const std::string& keys) {
  std::string out;
  kez_test::run_command("grib_get -p " + keys + " " + path + " 2>/dev/null", &out);
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream l(line);
    std::vector<std::string> row;
    std::string w;
    while (l >> w) row.push_back(w);
    if (!row.empty()) rows.push_back(row);
  }
  return rows;
}

/* Plot centre by PROJ: the first point moved by (fx, fy) grid lengths. */
bool proj_centre(const std::string& proj, double lat1, double lon1, double dxm, double fx, double fy, double* clat,
                 double* clon) {
  const std::string p = proj + " +R=6371220";
  std::string xy, ll;
  kez_test::run_command("echo '" + std::to_string(lon1) + " " + std::to_string(lat1) + "' | proj -f '%.6f' " + p, &xy);
  double x, y;
  if (std::sscanf(xy.c_str(), "%lf %lf", &x, &y) != 2) return false;
  kez_test::run_command(
      "echo '" + std::to_string(x + fx * dxm) + " " + std::to_string(y + fy * dxm) + "' | invproj -f '%.6f' " + p, &ll);
  return std::sscanf(ll.c_str(), "%lf %lf", clon, clat) == 2;
}

} // namespace

TEST(GribEd2Grid, LatLonDomainAndComposedNumber) {
  auto f = walk_headers(data_file("e2_ll.grb"));
  ASSERT_EQ(f.size(), 1u);
  const Domain& d = f[0].domain;
  EXPECT_EQ(d.proj, 2);
  EXPECT_EQ(d.nx, 720);
  EXPECT_EQ(d.ny, 361);
  EXPECT_FLOAT_EQ(d.plon, 179.75f);
  EXPECT_FLOAT_EQ(d.clon, 179.75f);
  EXPECT_FLOAT_EQ(d.clat, 0);
  EXPECT_FLOAT_EQ(d.dx, 0.5f);
  EXPECT_FLOAT_EQ(d.dy, 0.5f);
  EXPECT_EQ(f[0].type, 9007205);
  EXPECT_EQ(f[0].version, 2);
  EXPECT_EQ(f[0].source, 98);
}

TEST(GribEd2Grid, ProjectedCentresAgreeWithProj) {
  if (!kez_test::have_program("proj")) GTEST_SKIP() << "PROJ not installed";
  auto lam = walk_headers(data_file("e2_lambert.grb"));
  ASSERT_EQ(lam.size(), 1u);
  EXPECT_EQ(lam[0].type, 301221840);
  EXPECT_EQ(lam[0].domain.proj, 4);
  EXPECT_FLOAT_EQ(lam[0].domain.plon, -95);
  EXPECT_FLOAT_EQ(lam[0].domain.param[0], 25);
  EXPECT_NEAR(lam[0].domain.dx, 0.4063525, 1e-6);
  double clat, clon;
  /* 184 / 2 and 128 / 2 grid lengths from the first point: the middle. */
  ASSERT_TRUE(
      proj_centre("+proj=lcc +lat_1=25 +lat_2=25 +lon_0=-95", 12.19, 226.541 - 360, 40635.25, 92, 64, &clat, &clon));
  EXPECT_NEAR(lam[0].domain.clat, clat, 0.01);
  EXPECT_NEAR(lam[0].domain.clon, clon, 0.01);

  auto ps = walk_headers(data_file("e2_ps.grb"));
  ASSERT_EQ(ps.size(), 1u);
  EXPECT_EQ(ps[0].domain.proj, 1);
  EXPECT_FLOAT_EQ(ps[0].domain.plon, -105);
  EXPECT_FLOAT_EQ(ps[0].domain.param[0], 60);
  ASSERT_TRUE(proj_centre("+proj=stere +lat_0=90 +lat_ts=60 +lon_0=-105", 40, -100, 100000, 2.5, 2, &clat, &clon));
  EXPECT_NEAR(ps[0].domain.clat, clat, 0.01);
  EXPECT_NEAR(ps[0].domain.clon, clon, 0.01);

  auto merc = walk_headers(data_file("e2_merc.grb"));
  ASSERT_EQ(merc.size(), 1u);
  EXPECT_EQ(merc[0].domain.proj, 3);
  EXPECT_FLOAT_EQ(merc[0].domain.plon, 120);
  std::string xy1, xy2, mid;
  const std::string p = "+proj=merc +lon_0=120 +R=6371220";
  kez_test::run_command("echo '100 -10' | proj -f '%.6f' " + p, &xy1);
  kez_test::run_command("echo '140 20' | proj -f '%.6f' " + p, &xy2);
  double x1, y1, x2, y2;
  ASSERT_EQ(std::sscanf(xy1.c_str(), "%lf %lf", &x1, &y1), 2);
  ASSERT_EQ(std::sscanf(xy2.c_str(), "%lf %lf", &x2, &y2), 2);
  kez_test::run_command(
      "echo '" + std::to_string((x1 + x2) / 2) + " " + std::to_string((y1 + y2) / 2) + "' | invproj -f '%.6f' " + p,
      &mid);
  ASSERT_EQ(std::sscanf(mid.c_str(), "%lf %lf", &clon, &clat), 2);
  EXPECT_NEAR(merc[0].domain.clat, clat, 0.01);
  EXPECT_NEAR(merc[0].domain.clon, clon, 0.01);
}

/* Sections 4 to 7 repeated keep the identification and grid; sections 3 to
 * 7 bring another grid; an edition 1 message follows. */
TEST(GribEd2Walk, SeveralFieldsInOneMessage) {
  auto f = walk_headers(data_file("e2_multi.grb"));
  ASSERT_EQ(f.size(), 4u);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(f[i].version, 2);
    EXPECT_EQ(f[i].domain.nx, 5);
    EXPECT_EQ(f[i].domain.ny, 4);
    EXPECT_EQ(f[i].date.day, 16);
  }
  EXPECT_EQ(f[1].type, f[0].type);
  EXPECT_EQ(f[2].domain.nx, 3);
  EXPECT_EQ(f[2].domain.ny, 6);
  EXPECT_NE(f[2].type, f[0].type);
  EXPECT_EQ(f[2].date.day, 16); /* identification carried over */
  EXPECT_EQ(f[3].version, 1);
}

TEST(GribEd2Sections, HeadersAndEndMarker) {
  TempDir dir;
  struct Case {
    std::string bytes;
    int result, sect;
  } cases[] = {
      {"7777", 0, -1},
      {std::string("77\x00\x01", 4), 0, -1}, /* two 7s are the end marker */
      {std::string("\x00\x00\x00\x15\x01", 5), 1, 1},
      {std::string("\x00\x00\x00\x15\x09", 5), 0, 9},
      {std::string("\x00\x00\x00\x04\x03", 5), 0, 3}, /* length below its header */
      {std::string("\x00\x00", 2), 0, 3},             /* end of file: sect kept */
  };
  for (const Case& c : cases) {
    put_bytes(dir.file("s.grb"), c.bytes);
    ASSERT_NE(grib_test::open_grib(dir.file("s.grb")), nullptr);
    int r = 0;
    kez_test::capture([&] { r = GRIB_read_section(HANDLE); });
    EXPECT_EQ(r, c.result);
    EXPECT_EQ(GRIB_get_sect(), c.sect);
    grib_test::close_grib();
  }
}

/* Row limits: exactly the limit is accepted, one more refused; column-first
 * scanning is refused; a refused grid leaves the record's domain alone. */
TEST(GribEd2Grid, LimitsAndRefusals) {
  TempDir dir;
  auto patch = [&](const std::string& name, size_t sect3_octet, int n, unsigned long v) {
    std::string m = kez_test::read_file(data_file(name));
    size_t at = 16;
    for (;;) {
      size_t len = (static_cast<unsigned char>(m[at]) << 24) | (static_cast<unsigned char>(m[at + 1]) << 16) |
                   (static_cast<unsigned char>(m[at + 2]) << 8) | static_cast<unsigned char>(m[at + 3]);
      if (m[at + 4] == 3) break;
      at += len;
    }
    for (int i = 0; i < n; ++i) m[at + sect3_octet - 1 + i] = static_cast<char>(v >> (8 * (n - 1 - i)));
    put_bytes(dir.file("p.grb"), m);
    return dir.file("p.grb");
  };
  struct Case {
    const char* file;
    size_t octet;
    int n;
    unsigned long value;
    bool accepted;
  } cases[] = {
      {"e2_ll.grb", 35, 4, 10000, true},     {"e2_ll.grb", 35, 4, 10001, false},
      {"e2_lambert.grb", 35, 4, 2000, true}, {"e2_lambert.grb", 35, 4, 2001, false},
      {"e2_ps.grb", 35, 4, 2001, false},     {"e2_merc.grb", 35, 4, 2001, false},
      {"e2_ll.grb", 72, 1, 0x20, false},     {"e2_lambert.grb", 65, 1, 0x60, false},
      {"e2_ll.grb", 31, 4, 200000, false}, /* too many points */
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.file << " " << c.octet << " " << c.value);
    std::string err;
    auto f = walk_headers(patch(c.file, c.octet, c.n, c.value), &err);
    EXPECT_EQ(f.size(), c.accepted ? 1u : 0u);
    if (!c.accepted) {
      EXPECT_NE(err.find("GRIB_GDS"), std::string::npos);
    }
  }
}

/* python-grib-doc's edition 2 files: every field is found; the templates
 * described get grib_get's grid sizes (thinned rows with two-octet lengths
 * included); other templates give no domain and no crash. */
TEST(GribEd2Grid, RealFiles) {
  if (!kez_test::have_program("grib_get")) GTEST_SKIP() << "ecCodes' tools not installed";
  for (const char* name : {"regular_latlon_surface.grib2", "reduced_latlon_surface.grib2",
                           "gfs.t12z.pgrbf120.2p5deg.grib2", "eta.grb", "ngm.grb", "flux.grb", "ds.maxt.bin",
                           "dspr.temp.bin", "safrica.grib2", "rap.wrfnat.grib2", "no-radius-shapeOfEarth-7.grb2"}) {
    SCOPED_TRACE(name);
    const std::string path = examples + name;
    if (!std::ifstream(path)) continue;
    auto f = walk_headers(path);
    auto keys = grib_get(path, "gridDefinitionTemplateNumber,Nx,Ny");
    ASSERT_EQ(f.size(), keys.size());
    for (size_t i = 0; i < f.size(); ++i) {
      int templ = std::atoi(keys[i][0].c_str());
      if (templ == 0 || templ == 10 || templ == 20 || templ == 30) {
        ASSERT_EQ(keys[i].size(), 3u);
        EXPECT_EQ(f[i].domain.ny, std::atol(keys[i][2].c_str())) << i;
        if (keys[i][1] != "MISSING") {
          EXPECT_EQ(f[i].domain.nx, std::atol(keys[i][1].c_str())) << i;
        }
        EXPECT_NE(f[i].domain.proj, -9999);
      } else {
        EXPECT_EQ(f[i].domain.proj, -9999) << i;
      }
    }
  }
}

TEST(GribEd2Grid, ThinnedRowsUseTheirOwnWidth) {
  if (!kez_test::have_program("grib_get")) GTEST_SKIP() << "ecCodes' tools not installed";
  const std::string path = examples + "reduced_latlon_surface.grib2";
  if (!std::ifstream(path)) GTEST_SKIP() << "python-grib-doc not installed";
  auto f = walk_headers(path);
  ASSERT_FALSE(f.empty());
  std::string pl;
  kez_test::run_command("grib_dump -O " + path + " | grep -A2 'pl(' | head -1", &pl);
  std::string out;
  kez_test::run_command("grib_get -p numberOfDataPoints,Nj " + path, &out);
  long points = 0, nj = 0;
  ASSERT_EQ(std::sscanf(out.c_str(), "%ld %ld", &points, &nj), 2);
  EXPECT_EQ(f[0].domain.ny, nj);
  /* The longest of its rows: more than the mean, at most all the points. */
  EXPECT_GE(static_cast<long>(f[0].domain.nx) * nj, points);
  EXPECT_GT(f[0].domain.nx, 255); /* one-octet lengths could not say this */
}

/* Cut at every octet and with damaged section lengths: the walk ends. */
TEST(GribEd2Hostile, CutAndDamagedSections) {
  TempDir dir;
  const std::string m = kez_test::read_file(data_file("e2_multi.grb"));
  std::vector<std::string> wrong;
  for (size_t cut = 0; cut < m.size(); cut += 1) {
    put_bytes(dir.file("c.grb"), m.substr(0, cut));
    auto f = walk_headers(dir.file("c.grb"));
    if (f.size() > 4) wrong.push_back(std::to_string(cut));
  }
  EXPECT_TRUE(wrong.empty()) << wrong.front();
  for (size_t at = 16; at < 16 + 21 + 72; ++at)
    for (unsigned char v : {0x00, 0x01, 0x04, 0xFF}) {
      std::string d = m;
      d[at] = static_cast<char>(v);
      put_bytes(dir.file("d.grb"), d);
      auto f = walk_headers(dir.file("d.grb"));
      EXPECT_LE(f.size(), 10u);
    }
}

namespace {

/* An edition 2 indicator (discipline 0) and one section 4 built from its
 * octets 6 on (o[k] is octet k), read through the framing search and the
 * section header as the walk reads it. */
struct Pds {
  unsigned char o[80] = {};
  int len = 58;
  Pds(int templ) {
    o[8] = static_cast<unsigned char>(templ >> 8);
    o[9] = static_cast<unsigned char>(templ & 0xFF);
    o[14] = 96;
    o[18] = 1;
    o[29] = 255;
    o[30] = 255;
    for (int k = 31; k <= 34; ++k) o[k] = 255;
  }
  void put4(int k, unsigned long v) {
    for (int i = 0; i < 4; ++i) o[k + i] = static_cast<unsigned char>(v >> (8 * (3 - i)));
  }
  std::string bytes() const {
    const int total = 16 + len + 4;
    std::string s = std::string("GRIB\0\0\0\2", 8) + std::string(6, '\0') + static_cast<char>(total >> 8) +
                    static_cast<char>(total & 0xFF);
    s += std::string{static_cast<char>(len >> 24), static_cast<char>(len >> 16), static_cast<char>(len >> 8),
                     static_cast<char>(len), '\4'};
    for (int k = 6; k <= len; ++k) s += static_cast<char>(o[k]);
    return s + "7777";
  }
};

GRD_report read_pds(const TempDir& dir, const Pds& p, GRD_report rec = GRD_report{}, std::string* err = nullptr) {
  put_bytes(dir.file("pds.grb"), p.bytes());
  EXPECT_NE(grib_test::open_grib(dir.file("pds.grb")), nullptr);
  auto cap = kez_test::capture([&] {
    EXPECT_GT(GRIB_header(HANDLE), 0);
    EXPECT_EQ(GRIB_read_section(HANDLE), 1);
    EXPECT_EQ(GRIB_get_sect(), 4);
    EXPECT_EQ(GRIB_PDS(HANDLE, &rec), 1);
  });
  if (err) *err = cap.err;
  grib_test::close_grib();
  return rec;
}

} // namespace

TEST(GribEd2Product, TimeAndLevelCodes) {
  TempDir dir;
  RES_put("file_path", dir.path().c_str()); /* no parameter table there */
  struct Case {
    int templ, unit;
    unsigned long fc;
    int process;
    unsigned long length;
    int t1, e1;
    unsigned long v1;
    int t2, e2;
    unsigned long v2;
    int time, ltype, level;
  } cases[] = {
      {0, 1, 12, 0, 0, 100, 0, 50000, 255, 255, 0xFFFFFFFF, 12, 100, 500},
      {0, 2, 3, 0, 0, 103, 0, 2, 255, 255, 0xFFFFFFFF, 803, 105, 2},
      {0, 10, 2, 0, 0, 103, 0, 2, 255, 255, 0xFFFFFFFF, 6, 105, 2}, /* hours, not units */
      {0, 0, 90, 0, 0, 1, 0, 0, 255, 255, 0xFFFFFFFF, -9999, 1, 0}, /* not whole hours */
      {0, 0, 120, 0, 0, 1, 0, 0, 255, 255, 0xFFFFFFFF, 2, 1, 0},
      {0, 13, 3600, 0, 0, 1, 0, 0, 255, 255, 0xFFFFFFFF, -9999, 1, 0}, /* seconds */
      {8, 1, 6, 1, 6, 1, 0, 0, 255, 255, 0xFFFFFFFF, 4006012, 1, 0},
      {8, 10, 2, 2, 2, 1, 0, 0, 255, 255, 0xFFFFFFFF, 6006012, 1, 0},
      {8, 1, 6, 9, 6, 1, 0, 0, 255, 255, 0xFFFFFFFF, 2006012, 1, 0},
      /* A period whose process has no code of its own: from start to end. */
      {11, 1, 6, 7, 6, 1, 0, 0, 255, 255, 0xFFFFFFFF, 2006012, 1, 0},
      {9, 1, 0, 255, 6, 1, 0, 0, 255, 255, 0xFFFFFFFF, 2000006, 1, 0},
      {8, 1, 0, 255, 300, 1, 0, 0, 255, 255, 0xFFFFFFFF, 2000300, 1, 0},
      {9, 1, 6, 1, 6, 1, 0, 0, 255, 255, 0xFFFFFFFF, 4006012, 1, 0},
      {11, 11, 1, 0, 2, 1, 0, 0, 255, 255, 0xFFFFFFFF, 3006018, 1, 0},
      {0, 1, 0, 0, 0, 106, 1, 1, 106, 1, 4, 0, 112, 10040},
      {0, 1, 0, 0, 0, 106, 1, 1, 106, 2, 40, 0, 112, 10040}, /* own scale factor */
      {0, 1, 0, 0, 0, 100, 0, 100000, 100, 0, 85000, 0, 101, 100085},
      {0, 1, 0, 0, 0, 101, 0, 0, 255, 255, 0xFFFFFFFF, 0, 102, 0},
      {0, 1, 0, 0, 0, 104, 4, 9950, 255, 255, 0xFFFFFFFF, 0, 107, 9950},
      {0, 1, 0, 0, 0, 109, 9, 2000, 255, 255, 0xFFFFFFFF, 0, 117, 2}, /* 2 PVU */
      {0, 1, 0, 0, 0, 160, 0, 30, 255, 255, 0xFFFFFFFF, 0, 160, 30},
      {0, 1, 0, 0, 0, 103, 130, 0x7FFFFFFF, 255, 255, 0xFFFFFFFF, 0, 105, -9999}, /* no int holds it */
      /* Layers whose code top * 1000 + bottom no int holds or another layer has. */
      {0, 1, 0, 0, 0, 103, 0, 981168700, 103, 0, 1000, 0, 106, -9999},
      {0, 1, 0, 0, 0, 100, 130, 0x7FFFFFFF, 100, 0, 85000, 0, 101, -9999},
      {0, 1, 0, 0, 0, 106, 0, 0, 106, 0, 15, 0, 112, -9999}, /* 0 to 1500 cm */
      {0, 1, 0, 0, 0, 106, 0, 0, 106, 0, 9, 0, 112, 900},
      /* A statistic over an area at one time; a chemical constituent, whose
       * type comes before the time and surfaces. */
      {15, 1, 6, 0, 0, 100, 0, 50000, 255, 255, 0xFFFFFFFF, 6, 100, 500},
      {40, 1, 6, 0, 0, 103, 0, 2, 255, 255, 0xFFFFFFFF, 6, 105, 2},
      {40, 11, 2, 0, 0, 100, 0, 100000, 100, 0, 85000, 12, 101, 100085},
      {20, 1, 6, 0, 0, 100, 0, 50000, 255, 255, 0xFFFFFFFF, -9999, -9999, -9999}, /* unknown */
      /* Hours from 800 on, where the codes' days begin: whole days, else
       * no code; a period too (its start in days as well). */
      {0, 1, 799, 0, 0, 1, 0, 0, 255, 255, 0xFFFFFFFF, 799, 1, 0},
      {0, 1, 816, 0, 0, 1, 0, 0, 255, 255, 0xFFFFFFFF, 834, 1, 0},
      {0, 1, 1104, 0, 0, 1, 0, 0, 255, 255, 0xFFFFFFFF, 846, 1, 0},
      {0, 1, 999, 0, 0, 1, 0, 0, 255, 255, 0xFFFFFFFF, -9999, 1, 0},
      {0, 1, 2400, 0, 0, 1, 0, 0, 255, 255, 0xFFFFFFFF, -9999, 1, 0}, /* 100 days */
      {0, 2, 120, 0, 0, 1, 0, 0, 255, 255, 0xFFFFFFFF, -9999, 1, 0},
      {8, 1, 0, 1, 840, 1, 0, 0, 255, 255, 0xFFFFFFFF, 4800835, 1, 0},
      {8, 1, 720, 1, 96, 1, 0, 0, 255, 255, 0xFFFFFFFF, 4830834, 1, 0},
      {8, 1, 6, 1, 834, 1, 0, 0, 255, 255, 0xFFFFFFFF, -9999, 1, 0},
      {8, 2, 1, 1, 2, 1, 0, 0, 255, 255, 0xFFFFFFFF, 4801803, 1, 0},
      {8, 2, 60, 1, 50, 1, 0, 0, 255, 255, 0xFFFFFFFF, -9999, 1, 0}, /* ends after 99 days */
      /* Levels no whole number of their code's unit, layers of two kinds
       * of surface: no level, never a neighbour's. */
      {0, 1, 0, 0, 0, 100, 0, 50, 255, 255, 0xFFFFFFFF, 0, 100, -9999},
      {0, 1, 0, 0, 0, 100, 0, 250, 255, 255, 0xFFFFFFFF, 0, 100, -9999},
      {0, 1, 0, 0, 0, 100, 0, 92500, 100, 0, 100000, 0, 101, -9999},
      {0, 1, 0, 0, 0, 103, 0, 10, 103, 0, 0, 0, 106, -9999},
      {0, 1, 0, 0, 0, 109, 9, 1500, 255, 255, 0xFFFFFFFF, 0, 117, -9999},
      {0, 1, 0, 0, 0, 100, 0, 50000, 103, 0, 10, 0, 101, -9999},
      {0, 1, 0, 0, 0, 160, 0, 2, 160, 0, 1000, 0, 160, -9999}, /* a layer of no layer type: not its top */
      /* Layers of hybrid, isentropic and eta surfaces; eta levels in
       * ten-thousandths, as edition 1 gives them. */
      {0, 1, 0, 0, 0, 105, 0, 10, 105, 0, 11, 0, 110, 10011},
      {0, 1, 0, 0, 0, 107, 0, 300, 107, 0, 320, 0, 114, -9999},
      {0, 1, 0, 0, 0, 111, 4, 5000, 255, 255, 0xFFFFFFFF, 0, 119, 5000},
      {0, 1, 0, 0, 0, 111, 2, 50, 111, 2, 60, 0, 120, 50060},
      /* The whole atmosphere, from the ground to the nominal top or as
       * one layer; not the surface. */
      {0, 1, 0, 0, 0, 1, 255, 0xFFFFFFFF, 8, 255, 0xFFFFFFFF, 0, 200, 0},
      {0, 1, 0, 0, 0, 10, 255, 0xFFFFFFFF, 255, 255, 0xFFFFFFFF, 0, 200, 0},
      /* Surfaces whose edition 1 numbers are other surfaces: a mixed layer
       * depth, hybrid pressure. */
      {0, 1, 0, 0, 0, 117, 0, 100, 255, 255, 0xFFFFFFFF, 0, -9999, -9999},
      {0, 1, 0, 0, 0, 119, 4, 5000, 255, 255, 0xFFFFFFFF, 0, -9999, -9999},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "4." << c.templ << " unit " << c.unit << " t1 " << c.t1);
    Pds p(c.templ);
    const int sh = c.templ == 40 ? 2 : 0;
    p.o[18 + sh] = static_cast<unsigned char>(c.unit);
    p.put4(19 + sh, c.fc);
    p.o[23 + sh] = static_cast<unsigned char>(c.t1);
    p.o[24 + sh] = static_cast<unsigned char>(c.e1);
    p.put4(25 + sh, c.v1);
    p.o[29 + sh] = static_cast<unsigned char>(c.t2);
    p.o[30 + sh] = static_cast<unsigned char>(c.e2);
    p.put4(31 + sh, c.v2);
    const int proc_at = c.templ == 8 ? 47 : c.templ == 11 ? 50 : c.templ == 9 ? 60 : 0;
    const int len_at = proc_at ? proc_at + 3 : 0;
    if (c.templ == 9) p.len = 70;
    if (proc_at) {
      p.o[proc_at] = static_cast<unsigned char>(c.process);
      p.o[len_at - 1] = static_cast<unsigned char>(c.unit); /* the length's own unit */
      p.put4(len_at, c.length);
    }
    GRD_report prev{};
    prev.time = prev.ltype = prev.level = 4242; /* another field's codes */
    GRD_report r = read_pds(dir, p, prev);
    EXPECT_EQ(r.time, c.time);
    EXPECT_EQ(r.ltype, c.ltype);
    EXPECT_EQ(r.level, c.level);
    EXPECT_EQ(r.var, -9999); /* no parameter table */
  }
}

/* A statistic without a time code of its own (a standard deviation, a
 * ratio) is read as a period of its parameter, and said to be another
 * statistic; a time or level the codes cannot hold is said too. */
TEST(GribEd2Product, WhatTheCodesCannotSayIsSaid) {
  TempDir dir;
  RES_put("file_path", dir.path().c_str());
  struct Case {
    int templ, process, unit;
    unsigned long fc;
    int t1;
    unsigned long v1;
    const char* said;
  } cases[] = {
      {8, 6, 1, 0, 1, 0, "Statistical process 6 (standard deviation) has no time code of its own"},
      {8, 9, 1, 0, 1, 0, "Statistical process 9 (ratio)"},
      {8, 1, 1, 0, 1, 0, ""},
      {0, 0, 1, 999, 1, 0, "No time code for the time of product template 4.0 (forecast time 999 in unit 1)"},
      {0, 0, 1, 12, 100, 50, "No level code for surface type 100"},
      {0, 0, 1, 12, 117, 5, "Surface type 117 has no level type of the suite"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.said);
    Pds p(c.templ);
    p.o[18] = static_cast<unsigned char>(c.unit);
    p.put4(19, c.fc);
    p.o[23] = static_cast<unsigned char>(c.t1);
    p.put4(25, c.v1);
    if (c.templ == 8) {
      p.o[47] = static_cast<unsigned char>(c.process);
      p.o[49] = 1;
      p.put4(50, 6);
    }
    std::string err;
    read_pds(dir, p, GRD_report{}, &err);
    if (*c.said) {
      EXPECT_NE(err.find(c.said), std::string::npos) << err;
    } else {
      EXPECT_EQ(err.find("GRIB_PDS"), std::string::npos) << err;
    }
  }
  RES_put("file_path", "");
}

TEST(GribEd2Product, ParameterTable) {
  TempDir dir;
  kez_test::write_file(dir.file("variable.lup"), "11 temp Temperature\n7 hgt Height\n52 rh Humidity\n");
  kez_test::write_file(dir.file("grib2_var.lup"),
                       "# centre disc cat num name units long name\n"
                       "7 0 0 0 hgt K centre seven only\n"
                       "0 0 0 0 temp K Temperature\n"
                       "0 0 0 0 rh % second match never used\n"
                       "  # 0 3 5 hgt gpm a blank before the hash\n"
                       "0 0 3 5 hgt gpm Geopotential height\n"
                       "0 0 1 1 nosuch % not a suite variable\n"
                       "0 0 2 2 temp a_unit_longer_than_fourteen_characters long units\n"
                       "\n"
                       "0 0 1 8 temp kg/m^2 after the empty line\n");
  RES_put("file_path", dir.path().c_str());
  struct Case {
    int src, disc, cat, num;
    int ind;
    const char* units;
  } cases[] = {
      {7, 0, 0, 0, 7, "K"},                                 /* the centre's own line first */
      {98, 0, 0, 0, 11, "K"},                               /* centre 0 for any other */
      {7, 0, 3, 5, 7, "gpm"},      {7, 0, 1, 1, 1001, "%"}, /* not a variable of the suite */
      {7, 0, 1, 8, 1008, ""},                               /* behind the empty line */
      {7, 10, 3, 0, 10003000, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.src << " " << c.disc << " " << c.cat << " " << c.num);
    GribParam p = GRIB_get_ver2_param(c.src, c.disc, c.cat, c.num);
    EXPECT_EQ(p.ind, c.ind);
    EXPECT_STREQ(p.units, c.units);
  }
  /* Units longer than the record's field are cut. */
  Pds p(0);
  p.o[10] = 2;
  p.o[11] = 2;
  p.o[23] = 1;
  GRD_report r = read_pds(dir, p);
  EXPECT_EQ(r.var, 11);
  EXPECT_EQ(std::string(r.units), std::string("a_unit_longer_than_fourteen_characters").substr(0, 14));
  RES_put("file_path", "");
}

TEST(GribEd2Product, EnsembleAndProbability) {
  TempDir dir;
  kez_test::write_file(dir.file("variable.lup"), "11 temp Temperature\n");
  kez_test::write_file(dir.file("grib2_var.lup"), "0 0 0 0 temp K Temperature\n");
  RES_put("file_path", dir.path().c_str());
  Pds member(1);
  member.o[23] = 1;
  member.o[35] = 3;
  member.o[36] = 2;
  GRD_report m = read_pds(dir, member);
  EXPECT_EQ(m.var, 19342011);
  EXPECT_NE(std::string(m.info).find("Ens[+2] "), std::string::npos) << m.info;
  Pds det(0);
  det.o[23] = 1;
  GRD_report d = read_pds(dir, det, m);
  EXPECT_EQ(d.var, 11); /* not named as a member */
  EXPECT_EQ(std::string(d.info).find("Ens"), std::string::npos);

  Pds prob(5);
  prob.o[12] = 4;
  prob.o[23] = 1;
  prob.o[37] = 1; /* above the upper limit */
  prob.o[43] = 2;
  prob.put4(44, 635); /* 6.35 */
  GRD_report pr = read_pds(dir, prob);
  EXPECT_EQ(pr.var, 1910000000 + 11 * 10000 + 2 * 1000 + float2int(6.35f));
  EXPECT_NE(std::string(pr.info).find(" above 6.35"), std::string::npos) << pr.info;
  EXPECT_STREQ(pr.units, "%");

  /* A parameter without a number of three digits has no product number:
   * 1008 would read as the normalised probability of parameter 8, and in
   * a member's number as another member. */
  prob.o[10] = 1;
  prob.o[11] = 8;
  EXPECT_EQ(read_pds(dir, prob).var, -9999);
  member.o[10] = 1;
  member.o[11] = 8;
  EXPECT_EQ(read_pds(dir, member).var, -9999);

  /* A composed parameter as the probability's variable does not fit. */
  Pds big(5);
  big.o[10] = 30;
  big.o[11] = 0;
  big.o[12] = 4;
  big.o[23] = 1;
  big.o[37] = 0;
  big.o[38] = 129;          /* scale -1 */
  big.put4(39, 0x80000005); /* -5 x 10 */
  GRD_report b = read_pds(dir, big);
  EXPECT_EQ(b.var, -9999);
  EXPECT_NE(std::string(b.info).find(" below -50.00"), std::string::npos) << b.info;
  RES_put("file_path", "");
}

/* Every kind of probability of a parameter, of an ensemble or of another
 * process, at a time or over a period, keeps its kind and limit in its
 * number: the kinds above the lower and below the upper limit, and those
 * of a process other than a forecast, once shared one number without a
 * limit. */
TEST(GribEd2Product, ProbabilitiesKeepTheirKindAndLimit) {
  TempDir dir;
  kez_test::write_file(dir.file("variable.lup"), "11 temp Temperature\n");
  kez_test::write_file(dir.file("grib2_var.lup"), "0 0 0 0 temp K Temperature\n");
  RES_put("file_path", dir.path().c_str());
  struct Kind {
    int ptype, code;
    float limit;
    const char* text;
  };
  const Kind kinds[] = {
      {0, 1, 273, " below 273.00"}, {1, 2, 283, " above 283.00"}, {2, 3, 273, " in 273.00-283.00"},
      {3, 7, 273, " above 273.00"}, {4, 8, 283, " below 283.00"},
  };
  for (int templ : {5, 9})
    for (int process : {4, 0}) {
      std::set<int> numbers;
      for (const Kind& k : kinds) {
        SCOPED_TRACE(testing::Message() << "4." << templ << " process " << process << " kind " << k.ptype);
        Pds p(templ);
        if (templ == 9) {
          p.len = 70;
          p.o[60] = 1; /* accumulated */
          p.o[62] = 1;
          p.put4(63, 6);
        }
        p.o[12] = static_cast<unsigned char>(process);
        p.o[23] = 1;
        p.o[37] = static_cast<unsigned char>(k.ptype);
        p.put4(39, 273);
        p.put4(44, 283);
        const GRD_report r = read_pds(dir, p);
        const int code = process == 4 || k.code > 3 ? k.code : k.code + 3;
        EXPECT_EQ(r.var, 1910000000 + 11 * 10000 + code * 1000 + float2int(k.limit));
        EXPECT_NE(std::string(r.info).find(k.text), std::string::npos) << r.info;
        numbers.insert(r.var);
      }
      EXPECT_EQ(numbers.size(), 5u);
    }
  RES_put("file_path", "");
}

/* Rows or columns offset by half a step (scanning bits 5 to 7) are refused:
 * bit 7 once read as rows from the south, the others were taken as plain
 * rows. */
TEST(GribEd2Grid, OffsetRowsAndColumnsAreRefused) {
  TempDir dir;
  const std::string m = kez_test::read_file(data_file("e2_ll.grb"));
  const size_t s3 = 16 + 21;
  ASSERT_EQ(m[s3 + 4], 3);
  for (unsigned scan : {0x02u, 0x04u, 0x08u, 0x0Au, 0x00u, 0x40u}) {
    SCOPED_TRACE(scan);
    std::string d = m;
    d[s3 + 71] = static_cast<char>(scan);
    put_bytes(dir.file("t.grb"), d);
    std::string err;
    auto f = walk_headers(dir.file("t.grb"), &err);
    if (scan & 0x0E) {
      EXPECT_TRUE(f.empty());
      EXPECT_NE(err.find("offset by half a step"), std::string::npos) << err;
    } else {
      ASSERT_EQ(f.size(), 1u);
      EXPECT_EQ(f[0].domain.proj, 2);
    }
  }
}

/* Composed numbers that no int holds are missing; a grid of one row has no
 * row spacing; a template not described gives no domain but a number. */
TEST(GribEd2Grid, ComposedNumberBoundsAndOneRow) {
  TempDir dir;
  std::string m = kez_test::read_file(data_file("e2_ll.grb"));
  const size_t s3 = 16 + 21; /* section 1 of the sample is 21 octets */
  ASSERT_EQ(m[s3 + 4], 3);
  struct Case {
    int templ;
    unsigned long nj;
    int type;
    int proj;
    bool dy_missing;
  } cases[] = {
      {0, 361, 9007205, 2, false},
      {215, 361, -9999, -9999, false}, /* 2,150,000,000 and more */
      {40, 361, 0, -9999, false},      /* composed from other octets: not checked */
      {0, 1, 9007205, 2, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.templ << " " << c.nj);
    std::string d = m;
    d[s3 + 12] = static_cast<char>(c.templ >> 8);
    d[s3 + 13] = static_cast<char>(c.templ & 0xFF);
    for (int i = 0; i < 4; ++i) d[s3 + 34 + i] = static_cast<char>(c.nj >> (8 * (3 - i)));
    put_bytes(dir.file("t.grb"), d);
    auto f = walk_headers(dir.file("t.grb"));
    ASSERT_EQ(f.size(), 1u);
    if (c.type != 0) {
      EXPECT_EQ(f[0].type, c.type);
    } else {
      EXPECT_NE(f[0].type, -9999);
    }
    EXPECT_EQ(f[0].domain.proj, c.proj);
    if (c.dy_missing) {
      EXPECT_EQ(f[0].domain.dy, -9999.0f);
      EXPECT_FLOAT_EQ(f[0].domain.dx, 0.5f);
    }
  }
}
