/*
 * GRIB files through the grid file handles: records field by field (a
 * message of several fields gives several records), companion header
 * files, copies of whole messages, searches, and hostile files.
 */
#include "kez_test.h"
#include "kezgrd.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

using kez_test::capture;
using kez_test::TempDir;

namespace {

const std::string examples = "/usr/share/doc/python-grib-doc/examples/";

std::string grib_data(const std::string& name) { return std::string(KEZ_SOURCE_DIR) + "/tests/grib/data/" + name; }

void put_bytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

int open_grib(const std::string& path) {
  int type = GRD_TYPE_DETECT;
  int fd = GRD_open(path.c_str(), GRD_ACCESS_READ, &type);
  EXPECT_EQ(type, GRD_TYPE_GRIB) << path;
  return fd;
}

/* A record that frees its array. */
struct Rec {
  GRD_report r{};
  ~Rec() { std::free(r.grid); }
};

VAR_data request(int time, int ltype, int level, int var) {
  VAR_data v{};
  v.time = time;
  v.ltype = ltype;
  v.level = level;
  for (int& p : v.var) p = KEZ_MISS;
  v.var[0] = var;
  return v;
}

} // namespace

/* A message of three fields and an edition 1 message after it: records 0
 * to 2 are the fields (each with the identification and grid of the
 * sections before it), record 3 the next message, record 4 the end. Going
 * back and reading a field again gives the same field. */
TEST(GridGrib, FieldsOfOneMessageAreRecords) {
  int fd = open_grib(grib_data("e2_multi.grb"));
  ASSERT_GE(fd, 0);
  GRD_info info{};
  ASSERT_EQ(GRD_getinfo(fd, &info), 0);
  EXPECT_EQ(info.date.day, 16);
  EXPECT_EQ(GRD_get_gfile(fd)->grid, 2);
  std::vector<GRD_report> recs;
  std::vector<long> pos;
  for (int n = 0; n < 6; ++n) {
    Rec rec;
    int p = n;
    int r = GRD_read(fd, &rec.r, GRD_READ_HEADER, &p);
    if (r == -1) break;
    ASSERT_EQ(r, 0) << n;
    EXPECT_EQ(p, n);
    recs.push_back(rec.r);
    pos.push_back(GRD_get_pos(fd));
  }
  ASSERT_EQ(recs.size(), 4u);
  EXPECT_EQ(recs[0].domain.nx, 5);
  EXPECT_EQ(recs[1].domain.nx, 5);
  EXPECT_EQ(recs[2].domain.nx, 3);
  EXPECT_EQ(recs[2].domain.ny, 6);
  EXPECT_EQ(recs[2].date.day, 16) << "identification carried to the third field";
  EXPECT_EQ(recs[3].version, 1);
  EXPECT_EQ(pos[0], 0);
  EXPECT_EQ(pos[1], 0) << "a later field's message begins where the first's does";
  EXPECT_EQ(pos[2], 0);
  EXPECT_GT(pos[3], 0);

  /* Back to record 1, twice in a row, then on past the end again. */
  for (int k = 0; k < 2; ++k) {
    Rec rec;
    int p = 1;
    ASSERT_EQ(GRD_read(fd, &rec.r, GRD_READ_HEADER, &p), 0);
    EXPECT_EQ(rec.r.domain.nx, recs[1].domain.nx);
    EXPECT_EQ(rec.r.var, recs[1].var);
    EXPECT_EQ(rec.r.level, recs[1].level);
  }
  Rec rec;
  int p = 4;
  EXPECT_EQ(GRD_read(fd, &rec.r, GRD_READ_HEADER, &p), -1);
  p = 3;
  ASSERT_EQ(GRD_read(fd, &rec.r, GRD_READ_ALL, &p), 0) << "edition 1 values";
  ASSERT_NE(rec.r.grid, nullptr);
  ASSERT_EQ(GRD_rewind(fd), 0);
  p = 0;
  EXPECT_EQ(GRD_read(fd, &rec.r, GRD_READ_HEADER, &p), 0);
  GRD_close(fd);
}

/* A message without a data section is a record that is never taken for a
 * grid: result 1 and no values. */
TEST(GridGrib, MessageWithoutDataSection) {
  TempDir dir;
  std::string m = kez_test::read_file(grib_data("e2_ll.grb"));
  /* Cut the message after its grid definition, keep the end marker. */
  size_t at = 16;
  for (;;) {
    size_t len = (static_cast<size_t>(static_cast<unsigned char>(m[at])) << 24) |
                 (static_cast<size_t>(static_cast<unsigned char>(m[at + 1])) << 16) |
                 (static_cast<size_t>(static_cast<unsigned char>(m[at + 2])) << 8) |
                 static_cast<unsigned char>(m[at + 3]);
    int sect = m[at + 4];
    at += len;
    if (sect == 3) break;
  }
  std::string cut = m.substr(0, at) + "7777";
  const unsigned long long total = cut.size();
  for (int i = 0; i < 8; ++i) cut[8 + i] = static_cast<char>(total >> (8 * (7 - i)));
  put_bytes(dir.file("nodata.grb"), cut + m);
  int fd = open_grib(dir.file("nodata.grb"));
  ASSERT_GE(fd, 0);
  GRD_info info{};
  ASSERT_EQ(GRD_getinfo(fd, &info), 0);
  Rec rec;
  int p = 0, r = 0;
  auto out = capture([&] { r = GRD_read(fd, &rec.r, GRD_READ_HEADER, &p); });
  EXPECT_EQ(r, 1);
  EXPECT_NE(out.err.find("No product found"), std::string::npos) << out.err;
  p = 1;
  EXPECT_EQ(GRD_read(fd, &rec.r, GRD_READ_HEADER, &p), 0) << "the message after it";
  p = 2;
  EXPECT_EQ(GRD_read(fd, &rec.r, GRD_READ_HEADER, &p), -1);
  GRD_close(fd);
}

/* The forms of a header line, and record n being the message of line n. */
TEST(GridGrib, HeaderFileLines) {
  TempDir dir;
  const std::string grib = grib_data("framing_raw.grb");
  const std::string hdr = dir.file("f.hdr");
  kez_test::write_file(hdr,
                       "123456 YHXX KWBC / GRIB1 S7 M89 G211 T12 L100 H500 V7\n"
                       "0 somewhere/89 211 12 100 500 7\n"
                       "0 x/7:89 211 12 100 500 7\n"
                       "0 no slash at all\n"
                       "  138   / GRIB1 S9 M3 Vx\n");
  int fd = open_grib(grib);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(GRD_hdr_open(fd, hdr.c_str()), 0);
  GRD_info info{};
  ASSERT_EQ(GRD_getinfo(fd, &info), 0);
  struct Case {
    int line;
    long offset;
    int source, model, type, time, ltype, level, var;
  } cases[] = {
      {0, 123456, 7, 89, 211, 12, 100, 500, 7},
      {1, 0, 7, 89, 211, 12, 100, 500, 7},
      {2, 0, 7, 89, 211, 12, 100, 500, 7},
      {4, 138, 9, 3, 0, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    Rec rec;
    int p = c.line;
    ASSERT_EQ(GRD_read(fd, &rec.r, GRD_READ_HEADER, &p), 0);
    EXPECT_EQ(GRD_get_pos(fd), c.offset);
    EXPECT_EQ(rec.r.source, c.source);
    EXPECT_EQ(rec.r.model, c.model);
    EXPECT_EQ(rec.r.type, c.type);
    EXPECT_EQ(rec.r.time, c.time);
    EXPECT_EQ(rec.r.ltype, c.ltype);
    EXPECT_EQ(rec.r.level, c.level);
    EXPECT_EQ(rec.r.var, c.var);
    EXPECT_EQ(rec.r.grid, nullptr);
  }
  {
    Rec rec;
    int p = 1;
    ASSERT_EQ(GRD_read(fd, &rec.r, GRD_READ_HEADER2, &p), 0);
    EXPECT_NE(rec.r.info[0], '\0') << "the description is made";
    EXPECT_EQ(rec.r.domain.nx, 93) << "grid 211's domain";
  }
  /* With values: the message at the line's offset is decoded. */
  Rec rec;
  int p = 1;
  ASSERT_EQ(GRD_read(fd, &rec.r, GRD_READ_ALL, &p), 0);
  EXPECT_NE(rec.r.grid, nullptr);
  EXPECT_EQ(rec.r.level, 500);
  p = 5;
  EXPECT_EQ(GRD_read(fd, &rec.r, GRD_READ_HEADER, &p), -1) << "beyond the last line";
  p = 0;
  EXPECT_EQ(GRD_read(fd, &rec.r, GRD_READ_HEADER, &p), 0) << "back to the first line";
  EXPECT_EQ(GRD_get_pos(fd), 123456);
  GRD_close(fd);
}

/* Whole messages copied into a GRIB output file are byte-identical to the
 * input's; a record of values is refused. */
TEST(GridGrib, WritingCopiesWholeMessages) {
  TempDir dir;
  const std::string in = grib_data("framing_raw.grb");
  const std::string bytes = kez_test::read_file(in);
  int fd = open_grib(in);
  ASSERT_GE(fd, 0);
  GRD_info info{};
  ASSERT_EQ(GRD_getinfo(fd, &info), 0);
  int out_type = GRD_TYPE_GRIB;
  const std::string out_path = dir.file("out.grb");
  int ofd = GRD_open(out_path.c_str(), GRD_ACCESS_WRITE, &out_type);
  ASSERT_GE(ofd, 0);
  EXPECT_EQ(GRD_putinfo(ofd, &info), 0);
  for (int n = 0;; ++n) {
    Rec hdr;
    int p = n;
    if (GRD_read(fd, &hdr.r, GRD_READ_HEADER, &p) == -1) break;
    char* data = nullptr;
    int size = 0;
    int got = GRIB_get_raw(fd, &data, &size);
    ASSERT_GT(got, 0);
    GRD_report raw{};
    raw.grid = reinterpret_cast<float*>(data);
    raw.source = got;
    EXPECT_EQ(GRD_write(ofd, &raw, 0, &n), 0);
    std::free(data);
  }
  Rec values;
  int p = 0;
  ASSERT_EQ(GRD_read(fd, &values.r, GRD_READ_ALL, &p), 0);
  int r = 0;
  auto err = capture([&] { r = GRD_write(ofd, &values.r, 0, &p); });
  EXPECT_EQ(r, -1) << "a field of values is not a message";
  EXPECT_NE(err.err.find("GRD_write"), std::string::npos);
  GRD_close(ofd);
  GRD_close(fd);
  EXPECT_EQ(kez_test::read_file(out_path), bytes);
  if (kez_test::have_program("grib_ls")) {
    std::string ls;
    kez_test::run_command("grib_ls " + out_path + " 2>&1", &ls);
    EXPECT_NE(ls.find("4 of 4 messages"), std::string::npos) << ls;
  }
}

/* The 500 mb heights of a real file are found by a header search. */
TEST(GridGrib, SearchFindsHeightsOfRealFile) {
  const std::string path = examples + "gfs.grb";
  if (!std::ifstream(path)) GTEST_SKIP() << "python-grib-doc not installed";
  /* The parameter tables load once per process: read them in a child. */
  auto child = kez_test::run_child([&] {
    RES_put("file_path", KEZ_DATA_DIR);
    int type = GRD_TYPE_DETECT;
    int fd = GRD_open(path.c_str(), GRD_ACCESS_READ, &type);
    GRD_info info{};
    if (fd < 0 || GRD_getinfo(fd, &info) != 0) return 2;
    const VAR_data req = request(KEZ_MISS, 100, 500, 7);
    for (int n = 0; n < 1000; ++n) {
      Rec rec;
      int p = n;
      int r = GRD_read(fd, &rec.r, GRD_READ_HEADER, &p);
      if (r == -1) break;
      if (r == 0 && GRD_test(&rec.r, &req, KEZ_MISS)) {
        std::printf("%ld\n", GRD_get_pos(fd));
        break;
      }
    }
    std::fflush(stdout);
    return 0;
  });
  ASSERT_EQ(child.status, 0) << child.err;
  const long found = std::atol(child.out.c_str());
  std::string off;
  if (kez_test::have_program("grib_get")) {
    kez_test::run_command("grib_get -w shortName=gh,level=500 -p offset:i " + path, &off);
    EXPECT_EQ(found, std::atol(off.c_str()));
  } else {
    EXPECT_GT(found, 0);
  }
}

/* Garbage, cut and oversized files: -1 with a message, never a hang. */
TEST(GridGrib, HostileFiles) {
  TempDir dir;
  const std::string m = kez_test::read_file(grib_data("e1_ll12.grb"));
  std::string huge = m;
  huge[4] = static_cast<char>(0x7F); /* length far beyond the file */
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"garbage", "GRIB but nothing else of a message\n"},
      {"half", m.substr(0, m.size() / 2)},
      {"header only", m.substr(0, 12)},
      {"oversized", huge},
      {"oversized twice", huge + huge},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    put_bytes(dir.file("bad.grb"), c.bytes);
    int type = GRD_TYPE_GRIB;
    int fd = GRD_open(dir.file("bad.grb").c_str(), GRD_ACCESS_READ, &type);
    ASSERT_GE(fd, 0);
    int results = 0;
    auto out = capture([&] {
      GRD_info info{};
      GRD_getinfo(fd, &info);
      for (int n = 0; n < 50; ++n) {
        Rec rec;
        rec.r.grid = static_cast<float*>(std::malloc(16));
        int p = n;
        int r = GRD_read(fd, &rec.r, GRD_READ_ALL, &p);
        if (r == -1) break;
        ++results;
        if (r != 0) {
          EXPECT_EQ(rec.r.grid, nullptr) << "no stale values";
        }
      }
    });
    EXPECT_LT(results, 3) << "the reader ends";
    EXPECT_NE(out.err, "");
    GRD_close(fd);
  }
}

/* The date-driven wrappers with a model's "grib_" convention read the
 * model's file of the date; "out_file" "grib" makes the save functions
 * write GRIB copies under the bundled "grd_grib" convention. */
TEST(GridGrib, DateWrappersAndGribOutputUseTheBundledConventions) {
  const std::string path = examples + "gfs.grb";
  if (!std::ifstream(path)) GTEST_SKIP() << "python-grib-doc not installed";
  TempDir dir;
  put_bytes(dir.file("11100800_avn.grb"), kez_test::read_file(path));
  put_bytes(dir.file("framing.grb"), kez_test::read_file(grib_data("framing_raw.grb")));
  auto child = kez_test::run_child([&] {
    RES_put("file_path", KEZ_DATA_DIR);
    RES_put("model_path", dir.path().c_str());
    RES_put("grid_path", dir.path().c_str());
    RES_put("model", "avn");
    RES_put("input", "grib");
    GRD_in_file();
    char conv[FILE_PATH_LEN];
    FILE_get_name_conv(conv);
    std::printf("conv=%s\n", conv);
    Date date{2011, 10, 8, KEZ_MISS, KEZ_MISS, 0, 0, 0};
    Domain dom{};
    const int dres = GRD_get_file_date_domain(&date, &dom);
    std::printf("domain=%d %d %d\n", dres, dom.nx, dom.ny);
    Rec grid;
    GRD_info info{};
    int type = GRD_TYPE_GRIB;
    int r = GRD_read_file_date(&date, "+72:500:hh", &grid.r, &info, &type);
    std::printf("read=%d %d %d %d %d\n", r, grid.r.var, grid.r.ltype, grid.r.level, grid.r.grid != nullptr);

    RES_put("out_file", "grib");
    const int out = GRD_out_file(0);
    FILE_get_name_conv(conv);
    std::printf("out=%d %s\n", out, conv);
    /* A raw message of the second record of a small file, saved as a copy. */
    int in_type = GRD_TYPE_DETECT;
    const int fd = GRD_open(dir.file("framing.grb").c_str(), GRD_ACCESS_READ, &in_type);
    Rec hdr;
    int p = 1;
    GRD_read(fd, &hdr.r, GRD_READ_HEADER, &p);
    char* data = nullptr;
    int size = 0;
    const int got = GRIB_get_raw(fd, &data, &size);
    GRD_report raw{};
    raw.grid = reinterpret_cast<float*>(data);
    raw.source = got;
    GRD_info out_info{};
    GRD_getinfo(fd, &out_info);
    const int saved = GRD_save_file(dir.file("copy.grb").c_str(), &raw, &out_info, out);
    std::printf("saved=%d %d\n", saved, got);
    std::free(data);
    GRD_close(fd);
    std::fflush(stdout);
    return 0;
  });
  ASSERT_EQ(child.status, 0) << child.err;
  EXPECT_NE(child.out.find("%M/%y%m%d%h_%e.grb"), std::string::npos) << child.out;
  EXPECT_NE(child.out.find("domain=1 144 73"), std::string::npos) << child.out << child.err;
  EXPECT_NE(child.out.find("read=1 7 100 500 1"), std::string::npos) << child.out << child.err;
  EXPECT_NE(child.out.find("out=21 "), std::string::npos) << child.out;
  EXPECT_NE(child.out.find("%G/%y%m%d%h_%v.grb"), std::string::npos) << child.out;
  EXPECT_NE(child.out.find("saved="), std::string::npos) << child.out << child.err;
  const std::string copy = kez_test::read_file(dir.file("copy.grb"));
  const std::string all = kez_test::read_file(grib_data("framing_raw.grb"));
  ASSERT_FALSE(copy.empty()) << child.err;
  EXPECT_EQ(copy, all.substr(138, copy.size())) << "the second message, byte for byte";
  if (kez_test::have_program("grib_ls")) {
    std::string ls;
    kez_test::run_command("grib_ls " + dir.file("copy.grb") + " 2>&1", &ls);
    EXPECT_NE(ls.find("1 of 1 messages"), std::string::npos) << ls;
  }
}
