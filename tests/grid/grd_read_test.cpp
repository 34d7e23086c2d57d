#include "grid_test_util.h"
#include "kez_test.h"
#include "kezgrd.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using grid_test::domain;
using grid_test::fill;
using grid_test::Grid;
using kez_test::capture;
using kez_test::read_file;
using kez_test::run_child;
using kez_test::run_command;
using kez_test::TempDir;
using kez_test::write_file;

constexpr float M = KEZ_FMISS;

/* A record read from a file; its array is released with it. */
struct Read {
  GRD_report r;
  Read() {
    std::memset(&r, 0, sizeof r);
    GRD_init(&r);
  }
  ~Read() { std::free(r.grid); }
  std::vector<float> values() const {
    if (!r.grid) return {};
    return std::vector<float>(r.grid, r.grid + static_cast<size_t>(r.domain.nx) * r.domain.ny);
  }
};

/* Writes records to a new file of a type; the handle is closed again. */
void write_grids(const std::string& path, int type, std::vector<GRD_report*> grids) {
  int t = type;
  int fd = GRD_open(path.c_str(), GRD_ACCESS_WRITE, &t);
  ASSERT_GE(fd, 0);
  GRD_info info{};
  ASSERT_EQ(GRD_putinfo(fd, &info), 0);
  for (GRD_report* g : grids) ASSERT_EQ(GRD_write(fd, g, 0, nullptr), 0);
  ASSERT_EQ(GRD_close(fd), 0);
}

/* Opens a file for reading with type detection and reads its header. */
int open_read(const std::string& path, int* type = nullptr) {
  int t = 0;
  int fd = GRD_open(path.c_str(), GRD_ACCESS_READ, &t);
  if (fd < 0) return -1;
  GRD_info info{};
  if (GRD_getinfo(fd, &info) != 0) {
    GRD_close(fd);
    return -1;
  }
  if (type) *type = t;
  return fd;
}

/* Reads record n whole; the read's result. */
int read_at(int fd, int n, Read* out, int kind = GRD_READ_ALL) {
  int num = n;
  return GRD_read(fd, &out->r, kind, &num);
}

/* Reads every record of a file; -1 results are returned as a count of 0. */
int count_records(const std::string& path) {
  int fd = open_read(path);
  if (fd < 0) return -1;
  int n = 0;
  for (;; ++n) {
    Read r;
    if (read_at(fd, n, &r) != 0) break;
  }
  GRD_close(fd);
  return n;
}

/* ---- type detection and opening -------------------------------------------------- */

TEST(GridFileType, FirstBytesDecideTheType) {
  TempDir dir;
  std::string grib_at_40(100, 'x');
  grib_at_40.replace(40, 4, "GRIB");
  struct Case {
    std::string bytes;
    int type;
    const char* why;
  };
  const Case cases[] = {
      {" 1200Z\nGRIB", GRD_TYPE_RAW, "a blank first is raw text, GRIB later or not"},
      {"1200Z 10 DEC 26\n0-info\n", GRD_TYPE_RAW, "a digit first"},
      {"KEZGRID4\n", GRD_TYPE_FORMAT4, "format 4 before the text format"},
      {"KEZGRID4B\n", GRD_TYPE_FORMAT4, "its binary variant"},
      {"KEZGRID\n", GRD_TYPE_TEXT, "the text format"},
      {std::string("CDF\x01", 4), GRD_TYPE_NETCDF, "netCDF classic"},
      {"GRIB....", GRD_TYPE_GRIB, "GRIB at the start"},
      {"****", GRD_TYPE_GRIB, "the suite's framing"},
      {std::string("\x01\r\r\n", 4), GRD_TYPE_GRIB, "the bulletin framing"},
      {"GRID 12", GRD_TYPE_GRID, "GRID code"},
      {grib_at_40, GRD_TYPE_GRIB, "GRIB anywhere in the first 200 bytes"},
      {std::string(300, 'y') + "GRIB", GRD_TYPE_GRIB, "GRIB after 200 bytes: a heading of any length"},
      {std::string(65534, 'y') + "GRIB", GRD_TYPE_GRIB, "GRIB across two pieces of the search"},
      {std::string(70000, 'y') + "GRI", GRD_TYPE_BAD, "no magic however far"},
      {"hello", GRD_TYPE_BAD, "no magic"},
      {"", GRD_TYPE_BAD, "empty"},
  };
  int k = 0;
  for (const Case& c : cases) {
    std::string path = dir.file("f" + std::to_string(k++));
    write_file(path, c.bytes);
    EXPECT_EQ(GRD_chktype(path.c_str()), c.type) << c.why;
  }
  EXPECT_EQ(GRD_chktype(dir.file("missing").c_str()), GRD_TYPE_BAD);
}

TEST(GridFileOpen, ForeignTypesOpenForReading) {
  TempDir dir;
  /* A GRID-code or GRIB file without a grid in it opens, and its header
   * read fails with a message. */
  for (const char* text : {"GRID", "GRIB"}) {
    SCOPED_TRACE(text);
    std::string path = dir.file("g");
    write_file(path, text);
    int t = 0;
    int fd = GRD_open(path.c_str(), GRD_ACCESS_READ, &t);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(t, text[3] == 'D' ? GRD_TYPE_GRID : GRD_TYPE_GRIB);
    GRD_info info{};
    auto out = capture([&] { EXPECT_EQ(GRD_getinfo(fd, &info), -1); });
    EXPECT_NE(out.err.find("GRD_getinfo:"), std::string::npos) << out.err;
    GRD_close(fd);
  }
  int t = 0;
  kez_test::ChildResult out;
  /* Explicit types for writing. */
  for (int type : {int{GRD_TYPE_GRID}, 7}) {
    t = type;
    out = capture([&] { EXPECT_EQ(GRD_open(dir.file("new").c_str(), GRD_ACCESS_WRITE, &t), -1); });
    EXPECT_NE(out.err.find("GRD_open:"), std::string::npos);
  }
}

TEST(GridFileOpen, OpeningFailuresLeaveTheTableFree) {
  TempDir dir;
  write_file(dir.file("a"), "KEZGRID\n");
  int t = 0;
  capture([&] {
    EXPECT_EQ(GRD_open(dir.file("missing").c_str(), GRD_ACCESS_READ, &t), -1);
    t = 0;
    EXPECT_EQ(GRD_open(dir.file("a").c_str(), GRD_ACCESS_WRITE, &t), -1) << "type 0 for writing";
    t = GRD_TYPE_TEXT;
    EXPECT_EQ(GRD_open(dir.file("a").c_str(), 3, &t), -1) << "unknown access";
    t = GRD_TYPE_FORMAT4;
    EXPECT_EQ(GRD_open(dir.file("b").c_str(), GRD_ACCESS_WRITE, &t), -1) << "format 4 is read only";
  });
  /* All 15 handles can be had, the 16th cannot. */
  std::vector<int> fds;
  for (int i = 0; i < GRD_MAX_FILES; ++i) {
    t = 0;
    int fd = GRD_open(dir.file("a").c_str(), GRD_ACCESS_READ, &t);
    ASSERT_EQ(fd, i);
    fds.push_back(fd);
  }
  t = 0;
  capture([&] { EXPECT_EQ(GRD_open(dir.file("a").c_str(), GRD_ACCESS_READ, &t), -1); });
  GRD_close(4);
  t = 0;
  EXPECT_EQ(GRD_open(dir.file("a").c_str(), GRD_ACCESS_READ, &t), 4) << "the lowest free slot";
  for (int fd : fds) EXPECT_EQ(GRD_close(fd), 0);
  EXPECT_EQ(GRD_close(3), 0) << "a free slot closes fine";
  EXPECT_EQ(GRD_get_gfile(3), nullptr);
}

TEST(GridFileOpen, HandlesOutsideTheTableAreRefused) {
  GRD_info info{};
  Read r;
  int n = 0;
  for (int fd : {-1, GRD_MAX_FILES, 1000}) {
    auto out = capture([&] {
      EXPECT_EQ(GRD_get_gfile(fd), nullptr);
      EXPECT_EQ(GRD_getinfo(fd, &info), -1);
      EXPECT_EQ(GRD_read(fd, &r.r, 0, &n), -1);
      EXPECT_EQ(GRD_putinfo(fd, &info), -1);
      EXPECT_EQ(GRD_rewind(fd), -1);
      EXPECT_EQ(GRD_close(fd), -1);
    });
    EXPECT_NE(out.err.find("Invalid grid file handle"), std::string::npos);
  }
}

TEST(GridFileOpen, EmptyNameIsStandardInputAndStaysOpen) {
  auto r = run_child(
      [] {
        int t = 0;
        int fd = GRD_open("", GRD_ACCESS_READ, &t);
        GRD_info info{};
        GRD_getinfo(fd, &info);
        Read g;
        int n = 0;
        int res = GRD_read(fd, &g.r, 0, &n);
        int res1 = GRD_read(fd, &g.r, 0, &(n = 1));
        GRD_close(fd);
        /* Standard input was not closed: the rest is still there. */
        char rest[32] = "";
        if (!std::fgets(rest, sizeof rest, stdin)) std::strcpy(rest, "closed");
        std::printf("%d %d [%s] %d %d %g %g|%s", t, fd, info.datim, res, res1, g.r.grid ? g.r.grid[0] : -1.0f,
                    g.r.grid ? g.r.grid[3] : -1.0f, rest);
        return 0;
      },
      "KEZGRID\n1200Z 10 DEC 26\n0-first\nLL 40 -100 1 1 2 2\n1\n2\n3\n4\n"
      "1300Z\n0-second\nLL 40 -100 1 1 2 2\n5\n6\n7\n8\n");
  EXPECT_EQ(r.out, "2 0 [1200Z 10 DEC 26] 0 0 5 8|closed");
}

/* ---- round trips ----------------------------------------------------------------------- */

struct ProjCase {
  Domain d;
  const char* word; /* start of the projection line written */
};

std::vector<ProjCase> projections() {
  std::vector<ProjCase> v;
  v.push_back({domain(2, 40, -100, 1, 1, 4, 3), "LL "});
  Domain ll = domain(2, 40, -100, 0.5f, 0.25f, 4, 3);
  ll.plon = 20;
  v.push_back({ll, "LL:20.000000 "});
  v.push_back({domain(1, 60, -105, 381, 381, 4, 3), "PS "});
  Domain ps = domain(1, 60, -105, 381, 381, 4, 3);
  ps.plon = -80;
  v.push_back({ps, "PS:-80.000000 "});
  Domain lc = domain(4, 35, -95, 40.635f, 40.635f, 4, 3);
  lc.plat = 25;
  lc.plon = -95;
  lc.param[0] = 25;
  lc.param[1] = 25;
  lc.param[2] = 1;
  v.push_back({lc, "LC:25.000000:-95.000000:25.000000:25.000000:1.000000 "});
  Domain lc1 = domain(4, 35, -95, 40, 40, 4, 3);
  lc1.plon = 25;
  v.push_back({lc1, "LC:25.000000 "});
  v.push_back({domain(4, 35, -95, 40, 40, 4, 3), "LC "});
  v.push_back({domain(3, 10, 150, 0.5f, 0.5f, 4, 3), "ME "});
  return v;
}

/* The domain a reader makes of a written one: plon of LL and PS is the
 * centre's when not given. */
Domain as_read(Domain d) {
  if ((d.proj == 1 || d.proj == 2) && d.plon == M) d.plon = d.clon;
  return d;
}

TEST(GridFileRoundTrip, TextAndBinaryCarryEveryProjectionTheyCan) {
  TempDir dir;
  auto vals = fill(4, 3, [](int i, int j) { return 1.25 * i - 7.5 * j + (i == 2 && j == 1 ? 0.001 : 0); });
  vals[5] = M;
  for (int type : {int{GRD_TYPE_RAW}, int{GRD_TYPE_TEXT}, int{GRD_TYPE_BINARY}}) {
    for (const ProjCase& pc : projections()) {
      Grid g(pc.d, vals);
      std::snprintf(g.r.datim, sizeof g.r.datim, "1200Z 10 DEC 26");
      std::snprintf(g.r.info, sizeof g.r.info, "Temperature (deg C)");
      std::snprintf(g.r.units, sizeof g.r.units, "deg C");
      g.r.version = 2;
      g.r.model = 15;
      g.r.type = 211;
      g.r.ltype = 100;
      g.r.level = 500;
      g.r.time = 4000012;
      g.r.var = 11;
      g.r.source = 7;
      std::string path = dir.file("rt");
      write_grids(path, type, {&g.r});
      EXPECT_STREQ(g.r.units, "deg_C") << "the written record carries the underscore";
      std::string text = read_file(path);
      EXPECT_NE(text.find(std::string("\n") + pc.word), std::string::npos) << type << " " << pc.word;
      int t = 0;
      int fd = open_read(path, &t);
      ASSERT_GE(fd, 0);
      EXPECT_EQ(t, type == GRD_TYPE_RAW ? GRD_TYPE_RAW : GRD_TYPE_TEXT);
      Read r;
      ASSERT_EQ(read_at(fd, 0, &r), 0) << type << " " << pc.word;
      GRD_close(fd);
      Domain want = as_read(pc.d);
      EXPECT_EQ(std::memcmp(&r.r.domain, &want, sizeof want), 0) << type << " " << pc.word;
      EXPECT_STREQ(r.r.units, "deg_C");
      EXPECT_STREQ(r.r.info, "Temperature (deg C)");
      EXPECT_STREQ(r.r.datim, "1200Z 10 DEC 26");
      EXPECT_EQ(r.r.version, 2);
      EXPECT_EQ(r.r.source, 7);
      EXPECT_EQ(r.r.model, 15);
      EXPECT_EQ(r.r.type, 211);
      EXPECT_EQ(r.r.ltype, 100);
      EXPECT_EQ(r.r.level, 500);
      EXPECT_EQ(r.r.time, 4000012);
      EXPECT_EQ(r.r.var, 11);
      if (type == GRD_TYPE_BINARY)
        EXPECT_EQ(r.values(), vals);
      else
        for (size_t k = 0; k < vals.size(); ++k) EXPECT_FLOAT_EQ(r.values()[k], vals[k]);
    }
  }
}

TEST(GridFileRoundTrip, OtherProjectionsAreRefusedRatherThanWrittenWrong) {
  TempDir dir;
  for (int proj : {5, 9, 20, KEZ_MISS}) {
    Grid g(domain(proj, 40, -100, 1, 1, 2, 2), {1, 2, 3, 4});
    int t = GRD_TYPE_TEXT;
    int fd = GRD_open(dir.file("p").c_str(), GRD_ACCESS_WRITE, &t);
    ASSERT_GE(fd, 0);
    GRD_putinfo(fd, nullptr);
    auto out = capture([&] { EXPECT_EQ(GRD_write(fd, &g.r, 0, nullptr), -1); });
    GRD_close(fd);
    EXPECT_NE(out.err.find("GRD_write:"), std::string::npos);
    EXPECT_EQ(read_file(dir.file("p")), "KEZGRID\n") << "nothing of the record is written";
  }
  /* No array, read-only types. */
  Grid none(domain(2, 0, 0, 1, 1, 2, 2), {});
  int t = GRD_TYPE_TEXT;
  int fd = GRD_open(dir.file("q").c_str(), GRD_ACCESS_WRITE, &t);
  EXPECT_EQ(GRD_write(fd, &none.r, 0, nullptr), -1);
  EXPECT_EQ(GRD_write(fd, nullptr, 0, nullptr), -1);
  GRD_close(fd);
}

TEST(GridFileRoundTrip, BinaryValuesArePythonBigEndianFloats) {
  TempDir dir;
  std::vector<float> vals = {0.0f, -1.5f, 3.14159265f, 1e-30f, -9999.0f, 12345.678f};
  Grid g(domain(2, 40, -100, 1, 1, 3, 2), vals);
  std::snprintf(g.r.datim, sizeof g.r.datim, "0000Z");
  write_grids(dir.file("b"), GRD_TYPE_BINARY, {&g.r});
  std::string bytes = read_file(dir.file("b"));
  std::ostringstream py;
  py << "import struct,sys\nsys.stdout.write(struct.pack('>6f'";
  for (float v : vals) py << ", " << std::hexfloat << v;
  py << ").hex())\n";
  std::ostringstream script;
  script
      << "import struct,sys\nsys.stdout.write(struct.pack('>6f', *[float.fromhex(x) for x in sys.argv[1:]]).hex())\n";
  write_file(dir.file("p.py"), script.str());
  std::string args;
  for (float v : vals) {
    char b[64];
    std::snprintf(b, sizeof b, " %a", static_cast<double>(v));
    args += b;
  }
  std::string hex;
  ASSERT_EQ(run_command("/usr/bin/python3 " + dir.file("p.py") + args, &hex), 0);
  std::string ours;
  size_t start = bytes.size() - 1 - 24; /* values, then the final newline */
  ASSERT_EQ(bytes.back(), '\n');
  for (size_t i = start; i < start + 24; ++i) {
    char b[3];
    std::snprintf(b, sizeof b, "%02x", static_cast<unsigned char>(bytes[i]));
    ours += b;
  }
  EXPECT_EQ(ours, hex);
  EXPECT_EQ(bytes[start - 1], '\n') << "values begin right after the projection line";
}

TEST(GridFileRoundTrip, BinaryReadsRightWhateverByteOrderTheProcessChose) {
  TempDir dir;
  auto vals = fill(3, 2, [](int i, int j) { return i * 1.5 + j; });
  Grid g(domain(2, 40, -100, 1, 1, 3, 2), vals);
  swap_setup(2); /* as after writing a little-endian surface file */
  write_grids(dir.file("b"), GRD_TYPE_BINARY, {&g.r});
  swap_setup(-1);
  int fd = open_read(dir.file("b"));
  Read r;
  ASSERT_EQ(read_at(fd, 0, &r), 0);
  GRD_close(fd);
  swap_setup(1);
  EXPECT_EQ(r.values(), vals);
  /* And the file itself is big-endian: 1.5 is 3f c0 00 00. */
  std::string bytes = read_file(dir.file("b"));
  EXPECT_NE(bytes.find(std::string("\x3f\xc0\x00\x00", 4)), std::string::npos);
}

TEST(GridFileRoundTrip, RecordsAreReachedByNumberInAnyOrder) {
  TempDir dir;
  std::vector<std::unique_ptr<Grid>> gs;
  std::vector<GRD_report*> ptrs;
  for (int k = 0; k < 6; ++k) {
    gs.push_back(std::make_unique<Grid>(domain(2, 40, -100, 1, 1, 2, 2),
                                        std::vector<float>{float(k), float(k), float(k), float(k)}));
    gs.back()->r.var = 100 + k;
    gs.back()->r.version = 2;
    ptrs.push_back(&gs.back()->r);
  }
  /* Mix binary and text records in one file by appending. */
  std::string path = dir.file("many");
  write_grids(path, GRD_TYPE_TEXT, {ptrs[0], ptrs[1], ptrs[2]});
  int t = GRD_TYPE_BINARY;
  int fd = GRD_open(path.c_str(), GRD_ACCESS_APPEND, &t);
  GRD_putinfo(fd, nullptr); /* the magic line again */
  for (int k = 3; k < 6; ++k) GRD_write(fd, ptrs[k], 0, nullptr);
  GRD_close(fd);
  EXPECT_EQ(count_records(path), 6);

  fd = open_read(path);
  ASSERT_GE(fd, 0);
  for (int n : {5, 0, 3, 3, 1, 4, 2}) {
    Read h;
    ASSERT_EQ(read_at(fd, n, &h, GRD_READ_HEADER), 0);
    EXPECT_EQ(h.r.var, 100 + n);
    EXPECT_EQ(h.r.grid, nullptr);
    Read r;
    int num = n;
    ASSERT_EQ(GRD_read(fd, &r.r, GRD_READ_ALL, &num), 0) << n;
    EXPECT_EQ(num, n);
    EXPECT_EQ(r.r.var, 100 + n) << "the header-only read and the whole read agree";
    EXPECT_EQ(r.values(), std::vector<float>(4, float(n)));
    EXPECT_EQ(GRD_get_gfile(fd)->num, n);
  }
  Read end;
  EXPECT_EQ(read_at(fd, 6, &end), -1);
  ASSERT_EQ(GRD_rewind(fd), 0);
  Read again;
  ASSERT_EQ(read_at(fd, 0, &again), 0);
  EXPECT_EQ(again.r.var, 100);
  GRD_close(fd);
}

TEST(GridFileFormat, UserValueFormatIsCheckedAndApplies) {
  TempDir dir;
  Grid g(domain(2, 0, 0, 1, 1, 2, 1), {1.0f, 2.5f});
  ASSERT_EQ(GRD_set_format("%8.2f"), 0);
  write_grids(dir.file("a"), GRD_TYPE_TEXT, {&g.r});
  write_grids(dir.file("a2"), GRD_TYPE_RAW, {&g.r});
  for (const char* bad : {"%s", "%n%f", "%d", "%f%f", "%123456789012.f"}) {
    auto out = capture([&] { EXPECT_EQ(GRD_set_format(bad), -1) << bad; });
    EXPECT_NE(out.err.find("GRD_set_format:"), std::string::npos);
  }
  write_grids(dir.file("b"), GRD_TYPE_TEXT, {&g.r});
  ASSERT_EQ(GRD_set_format(""), 0);
  write_grids(dir.file("c"), GRD_TYPE_TEXT, {&g.r});
  EXPECT_NE(read_file(dir.file("a")).find("\n    1.00\n    2.50\n"), std::string::npos);
  EXPECT_NE(read_file(dir.file("a2")).find("\n    1.00\n    2.50\n"), std::string::npos);
  EXPECT_NE(read_file(dir.file("b")).find("\n    1.00\n"), std::string::npos) << "a refused format keeps the old";
  EXPECT_NE(read_file(dir.file("c")).find("\n1.00000000e+00\n2.50000000e+00\n"), std::string::npos);
  EXPECT_EQ(read_file(dir.file("a2")).rfind("KEZGRID", 0), std::string::npos) << "raw text has no magic";
}

/* ---- the layouts as written by hand ---------------------------------------------------------- */

TEST(GridFileLayouts, HandWrittenRecordsReadAsTheFormatSays) {
  TempDir dir;
  struct Case {
    std::string record; /* after the magic line */
    int version;
    const char* info;
    const char* units;
    int proj;
    float clon, plat, plon;
    const char* why;
  };
  const Case cases[] = {
      {"d\nplain description\nPS 60 -105 381 381 2 1\n1\n2\n", 0, "plain description", "", 1, -105, M, -105,
       "no number: version 0, no header line; PS without value: plon is clon"},
      {"d\n12-hour forecast\nLL 40 -100 1 1 2 1\n1\n2\n", 0, "12-hour forecast", "", 2, -100, M, -100,
       "a number that is no version stays in the description"},
      {"d\n1-west\nPS 60 105.0 381 381 2 1\n1\n2\n", 1, "west", "", 1, -105, M, -105,
       "version 1 stores clon positive west"},
      {"d\n0-old\n60 -105 381 2 1\n1 2\n", 0, "old", "", 1, -105, M, M, "the old layout: dx = dy"},
      {"d\n0-u\n:deg_F LC:25.0 35 -95 40 40 2 1\n1\n2\n", 0, "u", "deg_F", 4, -95, M, 25,
       "a units word before the projection; LC with one value is plon"},
      {"d\n0-u\n:K\nME 10 150 1 1 2 1\n1\n2\n", 0, "u", "K", 3, 150, M, M, "a units word on its own line"},
      {"d\n2-h\n1 2 3 4 5 6 7 8:m\nLC:25:-95:25:25:1 35 -95 40 40 2 1\n1\n2\n", 2, "h", "m", 4, -95, 25, -95,
       "LC with five values"},
  };
  for (const Case& c : cases) {
    write_file(dir.file("h"), "KEZGRID\n" + c.record);
    int fd = open_read(dir.file("h"));
    ASSERT_GE(fd, 0) << c.why;
    Read r;
    ASSERT_EQ(read_at(fd, 0, &r), 0) << c.why;
    GRD_close(fd);
    EXPECT_EQ(r.r.version, c.version) << c.why;
    EXPECT_STREQ(r.r.info, c.info) << c.why;
    EXPECT_STREQ(r.r.units, c.units) << c.why;
    EXPECT_EQ(r.r.domain.proj, c.proj) << c.why;
    EXPECT_FLOAT_EQ(r.r.domain.clon, c.clon) << c.why;
    EXPECT_EQ(r.r.domain.plat, c.plat) << c.why;
    EXPECT_FLOAT_EQ(r.r.domain.plon, c.plon) << c.why;
    EXPECT_EQ(r.values(), (std::vector<float>{1, 2})) << c.why;
    if (c.version < 2) {
      EXPECT_EQ(r.r.source, 1) << c.why;
      EXPECT_EQ(r.r.model, 1) << c.why;
      EXPECT_EQ(r.r.var, 0) << c.why;
    }
  }
}

TEST(GridFileLayouts, SecondFileValuesFollowTheRowAndColumnOrder) {
  TempDir dir;
  /* A 3 by 2 grid; the second file holds junk, then the values. */
  std::string text_vals = "junk 1 2 3 4 5 6\n";
  write_file(dir.file("vals.txt"), text_vals);
  std::vector<float> raw = {1, 2, 3, 4, 5, 6};
  std::string bin(8, 'z');
  bin.append(reinterpret_cast<const char*>(raw.data()), raw.size() * sizeof(float));
  write_file(dir.file("vals.bin"), bin);
  struct Case {
    std::string ref;
    std::vector<float> want;
  };
  const Case cases[] = {
      {"A " + dir.file("vals.txt") + " 5 1 1", {1, 2, 3, 4, 5, 6}},
      {"A " + dir.file("vals.txt") + " 5 0 1", {4, 5, 6, 1, 2, 3}},
      {"A " + dir.file("vals.txt") + " 5 1 0", {3, 2, 1, 6, 5, 4}},
      {"B " + dir.file("vals.bin") + " 8 0 0", {6, 5, 4, 3, 2, 1}},
  };
  for (const Case& c : cases) {
    write_file(dir.file("g"), "KEZGRID\nd\n4-two\n1 4 1 0 1 0 0 11\nLL 40 -100 1 1 3 2\n" + c.ref + "\n");
    int fd = open_read(dir.file("g"));
    ASSERT_GE(fd, 0);
    Read h;
    ASSERT_EQ(read_at(fd, 0, &h, GRD_READ_HEADER), 0);
    Read r;
    ASSERT_EQ(read_at(fd, 0, &r), 0) << c.ref;
    GRD_close(fd);
    EXPECT_EQ(r.r.version, 4);
    EXPECT_EQ(r.values(), c.want) << c.ref;
  }
}

TEST(GridFileLayouts, FormatFourNeedsADomainItCanDecode) {
  TempDir dir;
  write_file(dir.file("f4"), "KEZGRID4\nd\n7-info\nnot-a-domain\n1\n2\n");
  int t = 0;
  int fd = open_read(dir.file("f4"), &t);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(t, GRD_TYPE_FORMAT4);
  EXPECT_EQ(GRD_get_gfile(fd)->itype, 0);
  Read r;
  auto out = capture([&] { EXPECT_EQ(read_at(fd, 0, &r), -1); });
  EXPECT_NE(out.err.find("GRD_read: Invalid domain"), std::string::npos) << out.err;
  GRD_close(fd);
  write_file(dir.file("f4b"), "KEZGRID4B\nd\ninfo\n1 3 1 0 0 0 0 0\ndom\n");
  fd = open_read(dir.file("f4b"));
  ASSERT_GE(fd, 0);
  EXPECT_EQ(GRD_get_gfile(fd)->itype, 3);
  GRD_close(fd);
}

/* ---- hostile files ------------------------------------------------------------------------------ */

TEST(GridFileHostile, BadRecordsGiveAMessageAndFail) {
  TempDir dir;
  const std::string head = "KEZGRID\nd\n0-x\n";
  std::string garbage("\x00\xff\x13\x80\x7f\x00", 6);
  struct Case {
    std::string bytes;
    const char* message;
    const char* why;
  };
  const Case cases[] = {
      {head + "LL 40 -100 1 1 100000 100000\n1\n", "too large", "a huge size"},
      {head + "LL 40 -100 1 1 2147483647 2147483647\n1\n", "too large", "a size that overflows"},
      {head + "LL 40 -100 1 1 -4 3\n1\n", "Invalid grid size", "a negative size"},
      {head + "LL 40 -100 1 1 0 3\n", "Invalid grid size", "a zero size"},
      {head + "LL 40 -100 1 1 20 20\n1\n2\n", "File too short", "more values than the file holds"},
      {head + "LL 40 -100 1 1 2 2\n1\n2\n3\n", "File too short", "one value short"},
      {head + "LL 40 -100 1 1 2 2\n1\n2\n3\n\n\n\n", "Bad or missing grid value 4 of 4",
       "one value short, padded with blank lines"},
      {head + "LL 40 -100 1 1 2 2\n1\n" + garbage + "\n" + garbage + "\n", "Bad or missing",
       "binary garbage after a text header"},
      {"KEZGRID\nd\n3-bin\n1 3 1 0 0 0 0 0\nLL 40 -100 1 1 4 4\n" + std::string(20, 'x'), "File too short",
       "truncated binary values"},
      {head + "LL 40 -100 one 1 2 2\n1\n2\n3\n4\n", "Invalid projection", "a word for a number"},
      {head + "XX 40 -100 1 1 2 2\n1\n2\n3\n4\n", "Invalid projection", "an unknown projection"},
      {head + "LL:1:2 40 -100 1 1 2 2\n1\n2\n3\n4\n", "Invalid projection", "too many values"},
      {head + std::string(300, 'L') + "\n", "longer than", "a 300-character line"},
      {"KEZGRID\n" + std::string(300, 'd') + "\n0-x\n", "longer than", "a 300-character date line"},
      {"KEZGRID\nd\n2-x\n1 2 3\nLL 40 -100 1 1 1 1\n1\n", "Invalid header line", "a short header line"},
      {"KEZGRID\nd\n", "ends before its info", "a record cut after its date"},
      {head, "ends before its projection", "a record cut after its info"},
      {"KEZGRID\nd\n4-x\n1 4 1 0 0 0 0 0\nLL 40 -100 1 1 2 2\n", "Missing second file", "no reference line"},
      {"KEZGRID\nd\n4-x\n1 4 1 0 0 0 0 0\nLL 40 -100 1 1 2 2\nA /nonexistent/file 0 1 1\n",
       "Unable to open grid file: /nonexistent/file", "a missing second file"},
      {"KEZGRID\nd\n4-x\n1 4 1 0 0 0 0 0\nLL 40 -100 1 1 2 2\nA |touch_pwned 0 1 1\n",
       "Unable to open grid file: |touch_pwned", "a command as second file"},
      {"KEZGRID\nd\n4-x\n1 4 1 0 0 0 0 0\nLL 40 -100 1 1 2 2\nA - 0 1 1\n", "Unable to open grid file: -",
       "standard input as second file"},
      {"KEZGRID\nd\n4-x\n1 4 1 0 0 0 0 0\nLL 40 -100 1 1 2 2\nA f -5 1 1\n", "Invalid second file",
       "a negative offset"},
  };
  for (const Case& c : cases) {
    std::string path = dir.file("bad");
    write_file(path, c.bytes);
    int fd = -1;
    int res = 0;
    auto out = capture([&] {
      fd = open_read(path);
      if (fd >= 0) {
        Read r;
        res = read_at(fd, 0, &r);
        Read h;
        /* A header-only read must fail too, except where the fault lies in
         * a second file that it does not open. */
        if (c.bytes.find("\n4-x\n") == std::string::npos || c.bytes.find("A ") == std::string::npos)
          if (read_at(fd, 0, &h, GRD_READ_HEADER) == 0) res = 1;
        GRD_close(fd);
      }
    });
    if (fd < 0) {
      EXPECT_NE(out.err.find("GRD_"), std::string::npos) << c.why;
      continue;
    }
    EXPECT_EQ(res, -1) << c.why;
    EXPECT_NE(out.err.find(c.message), std::string::npos) << c.why << ": " << out.err;
  }
  EXPECT_FALSE(std::ifstream("touch_pwned").good());
}

TEST(GridFileHostile, ShortSecondFileFillsTheRestWithMissing) {
  TempDir dir;
  write_file(dir.file("vals.txt"), "1 2 3\n");
  write_file(dir.file("g"),
             "KEZGRID\nd\n4-x\n1 4 1 0 0 0 0 0\nLL 40 -100 1 1 3 2\nA " + dir.file("vals.txt") + " 0 1 1\n");
  int fd = open_read(dir.file("g"));
  ASSERT_GE(fd, 0);
  Read r;
  auto out = capture([&] { EXPECT_EQ(read_at(fd, 0, &r), -1); });
  GRD_close(fd);
  EXPECT_NE(out.err.find("GRD_read: Short grid file"), std::string::npos);
  EXPECT_EQ(r.values(), (std::vector<float>{1, 2, 3, M, M, M}));
}

TEST(GridFileHostile, AFailedRecordDoesNotSpoilTheNextRead) {
  TempDir dir;
  write_file(dir.file("g"), "KEZGRID\nd\n0-a\nLL 40 -100 1 1 1 1\n5\nd\n0-b\nLL 40 -100 1 1 1 1\nbad\n");
  int fd = open_read(dir.file("g"));
  Read r;
  capture([&] { EXPECT_EQ(read_at(fd, 1, &r), -1); });
  ASSERT_EQ(read_at(fd, 0, &r), 0);
  EXPECT_EQ(r.values(), std::vector<float>{5});
  GRD_close(fd);
}

} // namespace
