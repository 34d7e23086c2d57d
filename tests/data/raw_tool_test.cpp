#include "kez_test.h"
#include "kezcty.h"
#include "kezgrd.h"
#include "kezraw.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using kez_test::capture;
using kez_test::run_child;
using kez_test::TempDir;

/* Raw-file requests: the file under "raw_path", the selector and the format. */
TEST(RawFileRequest, PartsOfTheRequest) {
  TempDir dir;
  kez_test::write_file(dir.file("sfc.raw"), "KEZRAW\nl\n!i\nid lat lon T\n$\nA 1 2 3\n");
  kez_test::write_file(dir.file("a"), "KEZRAW\nl\ni\n");
  RES_put("raw_path", dir.path().c_str());
  struct Case {
    const char* request;
    long sel;         /* a number, or 0 for a name */
    const char* name; /* the field name */
    const char* fmt;  /* null: none */
  };
  const Case cases[] = {
      {"sfc.raw-3:value", RAW_SEL_FIELD + 3, nullptr, "value"},
      {"sfc.raw-T", 0, "T", nullptr},
      {"sfc.raw:mk=dot", RAW_SEL_ALL, nullptr, "mk=dot"},
      {"sfc.raw", RAW_SEL_ALL, nullptr, nullptr},
  };
  for (const Case& c : cases) {
    char buf[200];
    std::snprintf(buf, sizeof buf, "%s", c.request);
    char* ind = nullptr;
    char* fmt = nullptr;
    const int fd = RAW_file_open(buf, &ind, &fmt, 0);
    ASSERT_GE(fd, 0) << c.request;
    if (c.name)
      EXPECT_STREQ(ind, c.name) << c.request;
    else
      EXPECT_EQ(ind, RAW_sel(c.sel)) << c.request;
    if (c.fmt)
      EXPECT_STREQ(fmt, c.fmt) << c.request;
    else
      EXPECT_EQ(fmt, nullptr) << c.request;
    RAW_close(fd);
  }
  /* A field number that would look like an address, and a missing file. */
  for (const char* bad : {"sfc.raw-99999999", "none.raw-2"}) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s", bad);
    char* ind = nullptr;
    char* fmt = nullptr;
    auto out = capture([&] { EXPECT_EQ(RAW_file_open(buf, &ind, &fmt, 0), -1) << bad; });
    EXPECT_NE(out.err.find("RAW_file_open: "), std::string::npos) << out.err;
  }
  /* A "-" after the second character separates, even inside a name. */
  auto c = run_child([&] {
    if (chdir(dir.path().c_str()) != 0) return 2;
    char req[] = "./a-b.raw";
    char* ind = nullptr;
    const int fd = RAW_file_open(req, &ind, nullptr, 0);
    std::printf("%d %s %s\n", fd, req, fd >= 0 ? ind : "");
    return 0;
  });
  EXPECT_EQ(c.out, "0 ./a b.raw\n") << c.err;
  char buf[64] = "none.raw";
  auto out = capture([&] { RAW_file_open(buf, nullptr, nullptr, 0); });
  EXPECT_NE(out.err.find("RAW_file_open: Unable to open file:" + dir.file("none.raw")), std::string::npos) << out.err;
  RES_put("raw_path", "");
}

/* The save functions write nothing while no output is open. */
TEST(RawOutput, NothingOpenNothingWritten) {
  CTY_locate loc{};
  RAW_data d;
  RAW_data_init(&d);
  EXPECT_EQ(RAW_save_station(&loc), -1);
  EXPECT_EQ(RAW_save_data(&d), -1);
  EXPECT_EQ(RAW_save_end(), -1);
  EXPECT_EQ(RAW_close_file(), -1);
}

/* The collection grows past its first 800 stations and gives the analysis
 * exactly what the analysis gets directly. */
TEST(RawCollection, FeedsTheAnalysisAndGrows) {
  Domain dom;
  DOM_init(&dom);
  dom.proj = 2;
  dom.clat = 40;
  dom.clon = -100;
  dom.dx = dom.dy = 0.5f;
  dom.nx = 41;
  dom.ny = 31;
  MAP_domain(&dom);
  const int n = 900;
  std::vector<float> x(n), y(n), a(n), b(n);
  unsigned r = 7;
  auto rnd = [&] {
    r = r * 1103515245u + 12345u;
    return static_cast<float>((r >> 8) & 0xFFFF) / 65535.0f;
  };
  for (int k = 0; k < n; ++k) {
    MAP_grid_tran(rnd() * 40, rnd() * 30, &x[k], &y[k]);
    a[k] = 10 + 5 * std::sin(x[k]);
    b[k] = k % 7 == 0 ? KEZ_FMISS : 1000 + y[k];
  }
  auto grids = [&](bool collect) {
    std::vector<GRD_report> g(GRD_STORE_SLOTS);
    for (GRD_report& s : g) {
      std::memset(&s, 0, sizeof s);
      GRD_init(&s);
      s.domain = dom;
    }
    GRD_alloc(&g[0]);
    GRD_alloc(&g[1]);
    std::string err;
    if (collect) {
      auto out = capture([&] {
        RAW_init_oa_data();
        OBJ_set_filter(1);
        OBJ_set_rad_inf(3);
        RAW_add_oa_field(0);
        RAW_add_oa_field(1);
        for (int k = 0; k < n; ++k) {
          RAW_add_oa_loc(k, x[k], y[k]);
          RAW_add_oa_data(0, k, a[k]);
          RAW_add_oa_data(1, k, b[k]);
        }
        RAW_run_oa(g.data());
        RAW_free_oa_data();
      });
      err = out.out + out.err;
      EXPECT_NE(out.out.find("Increasing arrays to 1200\n"), std::string::npos) << out.out;
    } else {
      capture([&] {
        OBJ_initialize();
        OBJ_set_filter(1);
        OBJ_set_rad_inf(3);
        std::vector<float> xx = x, yy = y, aa = a, bb = b;
        float* z[2] = {aa.data(), bb.data()};
        OBJ_analyze(xx.data(), yy.data(), z, n, 2, g.data());
      });
    }
    std::vector<float> v(g[0].grid, g[0].grid + dom.nx * dom.ny);
    v.insert(v.end(), g[1].grid, g[1].grid + dom.nx * dom.ny);
    for (GRD_report& s : g) std::free(s.grid);
    return v;
  };
  const M_type old = MESS_get();
  MESS_set(1, M_mess);
  const std::vector<float> direct = grids(false);
  const std::vector<float> collected = grids(true);
  MESS_set(-1, M_mess & ~old);
  ASSERT_EQ(direct.size(), collected.size());
  EXPECT_EQ(std::memcmp(direct.data(), collected.data(), direct.size() * sizeof(float)), 0);
}

TEST(RawCollection, BoundsAreRefused) {
  auto out = capture([] {
    EXPECT_EQ(RAW_add_oa_field(0), -1); /* not started */
    RAW_init_oa_data();
    EXPECT_EQ(RAW_add_oa_field(RAW_OA_FIELDS), -1);
    EXPECT_EQ(RAW_add_oa_field(-1), -1);
    EXPECT_EQ(RAW_add_oa_field(3), 0);
    EXPECT_EQ(RAW_chk_oa_data(3), 1);
    EXPECT_EQ(RAW_chk_oa_data(2), 0);
    EXPECT_EQ(RAW_chk_oa_data(25), 0);
    EXPECT_EQ(RAW_add_oa_data(25, 0, 1), -1);
    EXPECT_EQ(RAW_add_oa_data(2, 0, 1), 0); /* no array: nothing stored */
    EXPECT_EQ(RAW_add_oa_data(3, 5000, 1), -1);
    EXPECT_EQ(RAW_add_oa_loc(1, 0, 0), -1); /* a gap */
    for (int k = 0; k < 10; ++k) EXPECT_EQ(RAW_add_oa_loc(k, k, k), 0);
    EXPECT_EQ(RAW_add_oa_loc(-1, 0, 0), -1);
    RAW_free_oa_data();
    EXPECT_EQ(RAW_chk_oa_data(3), 0);
  });
  EXPECT_NE(out.err.find("RAW_add_oa_field: Field index 20 outside 0 to 19"), std::string::npos) << out.err;
  EXPECT_NE(out.err.find("RAW_add_oa_loc: Station 1 out of order"), std::string::npos) << out.err;
  EXPECT_NE(out.err.find("RAW_add_oa_data: Station 5000 outside"), std::string::npos) << out.err;
}

} // namespace
