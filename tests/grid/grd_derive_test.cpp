/*
 * Derived grids of a variable list (nested functions computed deepest
 * first, constants, two-result functions, failures that leave slots empty)
 * and the grid calculator's command line, driven with word lists the way
 * the suite's calculator program hands them over, on KEZGRID fixtures whose
 * outputs are read back.
 *
 * Each scenario runs in a child process (the variable list, the store and
 * the resources are process state); its checks fail the child, and the
 * parent shows what the child printed.
 */
#include "grid_test_util.h"
#include "kez_test.h"
#include "kezgrd.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using grid_test::domain;
using grid_test::fill;
using kez_test::read_file;
using kez_test::run_child;
using kez_test::TempDir;
using kez_test::write_file;

constexpr float M = KEZ_FMISS;
constexpr double kCoriolis = 14.584;
constexpr double kDegRad = 0.017453292519943295;

/* Runs body in a child; the child fails when a check inside it failed. */
kez_test::ChildResult in_child(const std::function<void()>& body) {
  return run_child([&] {
    body();
    return ::testing::Test::HasFailure() ? 1 : 0;
  });
}

/* ---- derived grids ---------------------------------------------------------------- */

/* Parses a variable list and empties the store, as a plot does per list. */
void setup_list(const char* list) {
  RES_put("file_path", KEZ_DATA_DIR);
  FLAG_set(7, 1);
  ASSERT_EQ(VAR_setup(nullptr, list), 1) << list;
  GRD_init_grids();
  for (int i = 0; i < VAR_get_num(); ++i) GRD_set_var(i);
}

/* Fills a slot as the analysis would: values, domain, source. */
void put_grid(int slot, const Domain& d, const std::vector<float>& v, const char* units = "K") {
  GRD_report* g = GRD_get_grid(slot);
  g->domain = d;
  ASSERT_EQ(GRD_alloc(g), 1);
  std::memcpy(g->grid, v.data(), v.size() * sizeof(float));
  g->source = 7;
  std::snprintf(g->units, sizeof g->units, "%s", units);
}

std::vector<float> slot_values(int slot) {
  const GRD_report* g = GRD_get_grid(slot);
  if (!g->grid) return {};
  return std::vector<float>(g->grid, g->grid + static_cast<size_t>(g->domain.nx) * g->domain.ny);
}

TEST(DerivedGrids, NestedFunctionsComputeDeepestFirst) {
  auto r = in_child([] {
    /* 0 mul, 1 #2.5, 2 sub, 3 add, 4 temp, 5 dewp, 6 temp: add at depth 2
     * feeds sub at depth 1, which feeds mul at depth 0. */
    setup_list("mul::cont(#2.5,sub(add(temp,dewp),temp))");
    ASSERT_EQ(VAR_get_num(), 7);
    const Domain d = domain(MAP_LATLON, 40, -100, 1, 1, 2, 2);
    put_grid(4, d, {1, 2, 3, 4});
    put_grid(5, d, {10, 20, 30, 40});
    put_grid(6, d, {100, 100, 100, 100});
    /* What an earlier list left in the result slot: another domain. */
    GRD_get_grid(0)->domain = domain(MAP_LATLON, 10, 10, 2, 2, 5, 5);
    EXPECT_EQ(GRD_calc_var(), 1);
    EXPECT_EQ(slot_values(3), (std::vector<float>{11, 22, 33, 44}));
    EXPECT_EQ(slot_values(2), (std::vector<float>{-89, -78, -67, -56}));
    EXPECT_EQ(slot_values(0), (std::vector<float>{-222.5f, -195, -167.5f, -140}));
    const GRD_report* out = GRD_get_grid(0);
    EXPECT_EQ(out->domain.nx, 2) << "the result takes its first grid operand's header";
    EXPECT_EQ(out->domain.ny, 2);
    EXPECT_FLOAT_EQ(out->domain.clat, 40);
    EXPECT_NE(out->datim[0], '\0') << "the result gets a date label";

    /* The constant's operand entry: null grid, its value at the same index. */
    GRD_report* grds[VAR_MAX_RECORDS + 1];
    float values[VAR_MAX_RECORDS + 1];
    for (float& v : values) v = M;
    EXPECT_EQ(GRD_find_param_grids(1, -1, 1, grds, values), 7) << "ran out of the list";
    EXPECT_EQ(grds[0], nullptr);
    EXPECT_FLOAT_EQ(values[0], 2.5f);
    EXPECT_EQ(grds[1], GRD_get_grid(2));
    EXPECT_EQ(grds[2], nullptr) << "the list ends with a null entry";

    /* A second call computes nothing again: the filled slots stay. */
    float* before = GRD_get_grid(0)->grid;
    GRD_calc_var();
    EXPECT_EQ(GRD_get_grid(0)->grid, before);
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(DerivedGrids, OperandSearchStopsAtShallowerRecordOrLimit) {
  auto r = in_child([] {
    /* 0 add, 1 temp, 2 dewp, 3 temp: the third record is at depth 0. */
    setup_list("add::cont(temp,dewp),temp::cont");
    GRD_report* grds[VAR_MAX_RECORDS + 1] = {};
    float values[VAR_MAX_RECORDS + 1];
    EXPECT_EQ(GRD_find_param_grids(1, -1, 1, grds, values), 3);
    EXPECT_EQ(grds[0], GRD_get_grid(1));
    EXPECT_EQ(grds[1], GRD_get_grid(2));
    EXPECT_EQ(grds[2], nullptr);
    /* A limit of one: the index of the operand taken, nothing written past it. */
    GRD_report* one[1] = {};
    EXPECT_EQ(GRD_find_param_grids(1, 1, 1, one, nullptr), 1);
    EXPECT_EQ(one[0], GRD_get_grid(1));
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(DerivedGrids, TwoResultOperandAndKinematicFunctionOfAnalysedWinds) {
  auto r = in_child([] {
    /* 0 mag, 1 grad, 2 its second result, 3 temp, then 4 adv, 5 uwnd,
     * 6 vwnd, 7 temp. mag is a one-result function of the two gradient
     * components, although a vector function header follows it. */
    setup_list("mag::cont(grad(temp)),adv::cont(uwnd,vwnd,temp),wind::wind(uwnd,vwnd)");
    ASSERT_EQ(VAR_get_num(), 11);
    const Domain d = domain(MAP_LATLON, 40, -100, 1, 1, 4, 3);
    const std::vector<float> t = fill(4, 3, [](int i, int j) { return 280 + 2 * i - j; });
    put_grid(3, d, t);
    put_grid(5, d, std::vector<float>(12, 10.0f), "m/s");
    put_grid(6, d, std::vector<float>(12, -5.0f), "m/s");
    put_grid(7, d, t);
    GRD_calc_var();
    const std::vector<float> gx = slot_values(1), gy = slot_values(2), mag = slot_values(0);
    ASSERT_EQ(gx.size(), 12u);
    ASSERT_EQ(gy.size(), 12u);
    ASSERT_EQ(mag.size(), 12u);
    for (size_t k = 0; k < 12; ++k) {
      if (gx[k] == M || gy[k] == M) continue;
      EXPECT_NEAR(mag[k], std::hypot(gx[k], gy[k]), 1e-3) << k;
    }
    /* The advection slot equals the kinematic routine on the same grids. */
    grid_test::Grid u(d, std::vector<float>(12, 10.0f)), v(d, std::vector<float>(12, -5.0f)), z(d, t), a(d, {});
    a.r.domain = d;
    ASSERT_EQ(GRD_alloc(&a.r), 1);
    ASSERT_EQ(GRD_advection(&u.r, &v.r, &z.r, &a.r), 0);
    const std::vector<float> adv = slot_values(4);
    ASSERT_EQ(adv.size(), 12u);
    bool some = false;
    for (size_t k = 0; k < 12; ++k) {
      EXPECT_NEAR(adv[k], a.r.grid[k], 1e-4) << k;
      some = some || (adv[k] != M && adv[k] != 0);
    }
    EXPECT_TRUE(some) << "a temperature gradient across the wind is advected";
    /* A wind item is drawn from its components: its own slot stays empty. */
    put_grid(9, d, std::vector<float>(12, 1.0f), "m/s");
    put_grid(10, d, std::vector<float>(12, 1.0f), "m/s");
    GRD_calc_var();
    EXPECT_EQ(GRD_get_grid(8)->source, 0);
    EXPECT_EQ(GRD_get_grid(8)->grid, nullptr);
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(DerivedGrids, FailedOrRefusedFunctionsLeaveTheirSlotsEmpty) {
  auto r = in_child([] {
    std::string many = "max::cont(";
    for (int k = 0; k < 20; ++k) many += std::string(k ? "," : "") + "temp";
    many += ")";
    /* 0 add 1 temp 2 dewp (never filled), 3 max with 20 operands 4..23,
     * 24 mul with constants only. */
    setup_list(("add::cont(temp,dewp)," + many + ",mul::cont(#2,#3)").c_str());
    ASSERT_EQ(VAR_get_num(), 27);
    const Domain d = domain(MAP_LATLON, 40, -100, 1, 1, 2, 2);
    put_grid(1, d, {1, 2, 3, 4});
    for (int k = 4; k < 24; ++k) put_grid(k, d, {1, 2, 3, 4});
    GRD_get_grid(24)->domain = d; /* a stale domain must not make it a grid */
    GRD_calc_var();
    for (int slot : {0, 3, 24}) {
      EXPECT_EQ(GRD_get_grid(slot)->source, 0) << slot;
      EXPECT_EQ(GRD_get_grid(slot)->grid, nullptr) << slot;
    }
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.err.find("GRD_math: Invalid grids"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("GRD_calc_var: max has 20 operands"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("GRD_calc_var: No operand grid for mul"), std::string::npos) << r.err;
}

/* A record of the variable list as the parser leaves it. */
void set_record(int i, const char* name, int type, int flag, int var) {
  VAR_data* v = VAR_get_var(i);
  VAR_data_init(v);
  std::snprintf(v->name, sizeof v->name, "%s", name);
  v->type = type;
  v->flag = flag;
  v->time = 12;
  v->ltype = 100;
  v->level = 850;
  for (int& p : v->var) p = KEZ_MISS;
  v->var[0] = var;
}

TEST(DerivedGrids, SearchedFilesSaveComputedGridsOnly) {
  TempDir dir;
  write_file(dir.file("in.grd"),
             "KEZGRID\n1200Z 10 DEC 26\n2-t\n1 2 1 0 100 850 12 11:K\nLL 40 -100 1 1 2 2\n"
             "280\n281\n282\n283\n");
  write_file(dir.file("name_conv"), "outc " + dir.path() + "/out_%v.grd - 0\n");
  for (const bool dewp_missing : {false, true}) {
    auto r = in_child([&] {
      RES_put("file_path", dir.path().c_str());
      RES_put("out_file", "kez:outc");
      FLAG_set(GRD_FLAG_FILE_PARAM, 1);
      /* add(t, t) or add(t, dewp) with no dew point in the file. */
      set_record(0, "add", VAR_TYPE_CONT, VAR_KIND_FUNC, 0);
      set_record(1, "t", VAR_TYPE_GRID, 10, 11);
      set_record(2, dewp_missing ? "dewp" : "t", VAR_TYPE_GRID, 10, dewp_missing ? 17 : 11);
      VAR_set_num(3);
      std::string name = dir.file("in.grd");
      std::vector<char> buf(name.begin(), name.end());
      buf.resize(buf.size() + FILE_PATH_LEN, '\0');
      EXPECT_EQ(GRD_search_file(buf.data(), buf.size()), 1);
      GRD_init_grids();
    });
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    std::FILE* fp = std::fopen(dir.file("out_add.grd").c_str(), "r");
    if (dewp_missing) {
      EXPECT_EQ(fp, nullptr) << "a function that could not be computed is not saved";
    } else {
      ASSERT_NE(fp, nullptr) << r.out << r.err;
      std::fclose(fp);
      EXPECT_NE(read_file(dir.file("out_add.grd")).find("5.60000000e+02"), std::string::npos);
      std::remove(dir.file("out_add.grd").c_str());
    }
  }
}

/* ---- the command line -------------------------------------------------------------- */

/* A KEZGRID file of one record on a latitude-longitude grid. */
std::string grid_file(int nx, int ny, float clat, float clon, const std::vector<float>& v, const char* units = "K",
                      int var = 11) {
  char head[256];
  std::snprintf(head, sizeof head, "KEZGRID\n1200Z 10 DEC 26\n2-rec\n1 2 1 0 100 500 0 %d:%s\nLL %g %g 1 1 %d %d\n",
                var, units, clat, clon, nx, ny);
  std::string s = head;
  for (float x : v) s += std::to_string(x) + "\n";
  return s;
}

/* The fixture folder: grid files, station file, tables and an empty naming
 * convention file. */
struct Fixture {
  TempDir dir;
  Fixture() {
    write_file(dir.file("f1"), grid_file(2, 2, 40, -100, {1, 2, 3, 4}));
    write_file(dir.file("f2"), grid_file(2, 2, 40, -100, {10, 20, 30, 40}));
    write_file(dir.file("f3"), grid_file(2, 2, 40, -100, {100, M, 300, 400}));
    write_file(dir.file("big"), grid_file(3, 3, 40, -100, std::vector<float>(9, 1.0f)));
    write_file(dir.file("field"),
               grid_file(21, 11, 40, -90, fill(21, 11, [](int i, int j) { return i + 100 * j; }), "K"));
    write_file(dir.file("name_conv"), "");
    write_file(dir.file("sao.cty"), "Test_Station         -- US ABC       1      41.00   -91.00  9999 99999 0\n");
    for (const char* table : {"units.lup", "variable.lup"})
      write_file(dir.file(table), read_file(std::string(KEZ_DATA_DIR) + "/" + table));
  }
  std::string path(const std::string& name) const { return dir.file(name); }
};

/* Hands a line of words to the interpreter, as the calculator program
 * hands it its arguments. */
int run_words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  return GRD_math_command(static_cast<int>(argv.size()), argv.data());
}

/* Runs one command in a child with the fixture's settings; "result=N" ends
 * the child's output. */
kez_test::ChildResult command(const Fixture& fx, const std::string& line,
                              const std::function<void()>& settings = nullptr) {
  return run_child([&] {
    RES_put("grid_path", fx.dir.path().c_str());
    RES_put("file_path", fx.dir.path().c_str());
    if (settings) settings();
    int res = run_words(line);
    std::fflush(stdout);
    std::printf("result=%d\n", res);
    return 0;
  });
}

/* A grid file read back through the readers. */
struct Back {
  bool ok = false;
  int nx = 0, ny = 0;
  std::vector<float> v;
  std::string info, datim;
};

Back read_back(const std::string& path) {
  Back b;
  int type = 0;
  int fd = GRD_open(path.c_str(), GRD_ACCESS_READ, &type);
  if (fd < 0) return b;
  GRD_info info{};
  GRD_getinfo(fd, &info);
  GRD_report g;
  std::memset(&g, 0, sizeof g);
  GRD_init(&g);
  int pos = 0;
  if (GRD_read(fd, &g, GRD_READ_ALL, &pos) == 0 && g.grid) {
    b.ok = true;
    b.nx = g.domain.nx;
    b.ny = g.domain.ny;
    b.v.assign(g.grid, g.grid + static_cast<size_t>(b.nx) * b.ny);
    b.info = g.info;
    b.datim = g.datim;
  }
  std::free(g.grid);
  GRD_close(fd);
  return b;
}

bool exists(const std::string& path) {
  std::FILE* fp = std::fopen(path.c_str(), "r");
  if (!fp) return false;
  std::fclose(fp);
  return true;
}

void expect_values(const std::vector<float>& got, const std::vector<float>& want, const std::string& why) {
  ASSERT_EQ(got.size(), want.size()) << why;
  for (size_t k = 0; k < got.size(); ++k) {
    if (want[k] == M)
      EXPECT_EQ(got[k], M) << why << " at " << k;
    else
      EXPECT_NEAR(got[k], want[k], 1e-3 * std::max(1.0f, std::fabs(want[k]))) << why << " at " << k;
  }
}

/* The Coriolis parameter of the rows of the 2 by 2 fixtures (40.5 N, 39.5 N). */
std::vector<float> coriolis() {
  float n = static_cast<float>(kCoriolis * std::sin(40.5 * kDegRad));
  float s = static_cast<float>(kCoriolis * std::sin(39.5 * kDegRad));
  return {n, n, s, s};
}

TEST(GridCommand, ArithmeticFormsWriteTextGridFiles) {
  const std::vector<float> f = coriolis();
  struct Case {
    const char* line;
    std::vector<float> want;
    const char* why;
  };
  const Case cases[] = {
      {"f1 add f2 = out", {11, 22, 33, 44}, "two grids"},
      {"f2 SUB f1 = out", {9, 18, 27, 36}, "operation without regard to case"},
      {"f1 add f3 = out", {101, M, 303, 404}, "a missing point stays missing"},
      {"f1 mul #2.5 = out", {2.5f, 5, 7.5f, 10}, "grid and constant"},
      {"#10 sub f1 = out", {9, 8, 7, 6}, "constant and grid"},
      {"#cor sub f1 = out", {f[0] - 1, f[1] - 2, f[2] - 3, f[3] - 4}, "Coriolis parameter minus the grid"},
      {"f1 sub #cor = out", {1 - f[0], 2 - f[1], 3 - f[2], 4 - f[3]}, "grid minus the Coriolis parameter"},
      {"#cor div f1 = out", {f[0] / 1, f[1] / 2, f[2] / 3, f[3] / 4}, "parameter divided by the grid"},
      {"f2 mod #7 = out", {3, 6, 2, 5}, "remainder"},
  };
  for (const Case& c : cases) {
    Fixture fx;
    auto r = command(fx, c.line);
    EXPECT_NE(r.out.find("result=1"), std::string::npos) << c.line << "\n" << r.out << r.err;
    EXPECT_EQ(read_file(fx.path("out")).rfind("KEZGRID\n", 0), 0u) << c.why << ": written as a text grid file";
    Back b = read_back(fx.path("out"));
    ASSERT_TRUE(b.ok) << c.line;
    expect_values(b.v, c.want, c.why);
  }
}

TEST(GridCommand, UnusableOperandsWriteNothing) {
  const char* lines[] = {
      "f1 add none = out",           /* an unreadable second grid */
      "none add f1 = out",           /* an unreadable first grid */
      "f1 add big = out",            /* sizes differ */
      "#cor mod f1 = out",           /* the parameter has no remainder */
      "unit f1",                     /* no units */
      "remap f1 nowhere = out",      /* an undecodable domain */
      "cutoff f1 lower 2",           /* too few arguments */
      "cutoff f1 lower two 0 = out", /* not a number */
      "piece 2x2 f1 f2 f3 = out",    /* too few tiles: "out" would be a tile */
      "piece 0x2 f1 f2 = out",       /* no tiles */
      "piece 2x1 none none = out",   /* no tile can be read */
      "max f1 big = out",            /* a file of another size */
      "max none = out",              /* the first grid unreadable */
      "f1",                          /* too few arguments */
  };
  for (const char* line : lines) {
    Fixture fx;
    auto r = command(fx, line);
    EXPECT_NE(r.out.find("result=0"), std::string::npos) << line << "\n" << r.out << r.err;
    EXPECT_FALSE(exists(fx.path("out"))) << line;
    EXPECT_FALSE(r.err.empty()) << line << ": says why";
  }
}

TEST(GridCommand, DescriptionAndLabelArguments) {
  struct Case {
    const char* line;
    const char* info; /* expected description, or null: the one of the input */
    const char* datim;
  };
  const Case cases[] = {
      {"f1 add f2 = out Sum_of_two My_label", "Sum_of_two", "My_label"},
      {"f1 add f2 = out - My_label", nullptr, "My_label"},
      {"f1 add f2 = out v=dewp", "Dew", nullptr},
  };
  for (const Case& c : cases) {
    Fixture fx;
    auto r = command(fx, c.line);
    ASSERT_NE(r.out.find("result=1"), std::string::npos) << c.line << "\n" << r.out << r.err;
    Back b = read_back(fx.path("out"));
    ASSERT_TRUE(b.ok) << c.line;
    if (c.info) {
      EXPECT_NE(b.info.find(c.info), std::string::npos) << c.line << ": " << b.info;
    } else {
      EXPECT_EQ(b.info, "rec") << c.line << ": the description is kept";
    }
    if (c.datim) {
      EXPECT_EQ(b.datim, c.datim) << c.line;
    }
  }
}

TEST(GridCommand, TilesUnitsRemapAndCutoff) {
  struct Case {
    const char* line;
    int nx, ny;
    std::vector<float> want;
    const char* why;
  };
  const Case cases[] = {
      {"piece 2x1 f1 f2 = out", 3, 2, {1, 10, 20, 3, 30, 40}, "two tiles side by side share a column"},
      {"piece 1x2 f1 none = out", 2, 3, {1, 2, 3, 4, M, M}, "an unreadable tile leaves its place missing"},
      {"unit f1 C out", 2, 2, {-272.15f, -271.15f, -270.15f, -269.15f}, "kelvin to Celsius"},
      {"remap f1 latlon,40,-100,3,3,0.5,0.5 = out", 3, 3, {1, 1.5f, 2, 2, 2.5f, 3, 3, 3.5f, 4}, "a finer grid"},
      {"cutoff f1 lower 2.5 0 = out", 2, 2, {0, 0, 3, 4}, "values below the cut-off replaced"},
      {"cutoff f1 higher 2.5 -1 out", 2, 2, {1, 2, -1, -1}, "values above the cut-off replaced"},
  };
  for (const Case& c : cases) {
    Fixture fx;
    auto r = command(fx, c.line);
    ASSERT_NE(r.out.find("result=1"), std::string::npos) << c.line << "\n" << r.out << r.err;
    Back b = read_back(fx.path("out"));
    ASSERT_TRUE(b.ok) << c.line;
    EXPECT_EQ(b.nx, c.nx) << c.why;
    EXPECT_EQ(b.ny, c.ny) << c.why;
    expect_values(b.v, c.want, c.why);
  }
}

TEST(GridCommand, FileFunctionsOverSeveralFiles) {
  struct Case {
    const char* line;
    std::vector<float> want;
    const char* why;
  };
  const Case cases[] = {
      {"max f1 f2 = out", {10, 20, 30, 40}, "point-wise maximum"},
      {"min f2 f1 = out", {1, 2, 3, 4}, "point-wise minimum"},
      {"sum f1 f2 f3 = out", {111, M, 333, 444}, "missing anywhere, missing in the sum"},
      {"avg f1 f2 f3 = out", {37, M, 111, 148}, "divided by three where all are present"},
      {"avg f1 none f2 = out", {5.5f, 11, 16.5f, 22}, "an unreadable file does not count"},
  };
  for (const Case& c : cases) {
    Fixture fx;
    auto r = command(fx, c.line);
    ASSERT_NE(r.out.find("result=1"), std::string::npos) << c.line << "\n" << r.out << r.err;
    Back b = read_back(fx.path("out"));
    ASSERT_TRUE(b.ok) << c.line;
    expect_values(b.v, c.want, c.why);
  }
}

TEST(GridCommand, ReadOutsPrintWithoutWriting) {
  struct Case {
    const char* line;
    const char* printed;
  };
  const Case cases[] = {
      {"max f1", "4.000000 \n"},
      {"max f3 = out", "400.000000 \n"},
      {"maxmin f1", "4.000000 1.000000 \n"},
      {"avgnum f3", "266.666656 3.000000 \n"},
      {"domain f1", "latlon"},
      {"info f1 =", "Domain: "},
      {"val field id ABC ll 40,-90 10.5,3", "409.00\n510.00\n310.50\n"},
      {"val field id:ABC ll=40,-90", "409.00\n510.00\n"},
      {"loc field ll 40,-90", "10.000000 5.000000\n"},
      {"loc field 10,5", "40.000000 -90.000000\n"},
  };
  for (const Case& c : cases) {
    Fixture fx;
    auto r = command(fx, c.line, [] { RES_put("plot_format", "%.2f"); });
    EXPECT_NE(r.out.find("result=1"), std::string::npos) << c.line << "\n" << r.out << r.err;
    EXPECT_NE(r.out.find(c.printed), std::string::npos) << c.line << "\n" << r.out;
    EXPECT_FALSE(exists(fx.path("out"))) << c.line;
  }
}

TEST(GridCommand, HostilePointsAndFormatsAreRefused) {
  struct Case {
    const char* line;
    const char* message;
  };
  const Case cases[] = {
      {"val field id NOPE", "Unknown station: NOPE"},
      {"val field id", "No station after"},
      {"val field ll 40", "Invalid latitude and longitude"},
      {"val field 3", "Invalid point"},
      {"val field 1e99,3", "Invalid point"},
      {"loc field ll x,y", "Invalid latitude and longitude"},
  };
  for (const Case& c : cases) {
    Fixture fx;
    auto r = command(fx, c.line);
    EXPECT_NE(r.out.find("result=0"), std::string::npos) << c.line << "\n" << r.out << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.line << "\n" << r.err;
  }
  /* A user's value format goes through the checked formatter. */
  Fixture fx;
  auto r = command(fx, "val field 1,1", [] { RES_put("plot_format", "%s%n"); });
  EXPECT_NE(r.out.find("result=1"), std::string::npos) << r.out << r.err;
  EXPECT_NE(r.out.find("101.000000\n"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("GRD_math_command"), std::string::npos) << r.err;
}

TEST(GridCommand, GridFormatItemSetsTheTextFormat) {
  {
    Fixture fx;
    auto r = command(fx, "f1 add f2 = out", [] { RES_put("parameter", "grdfmt=%.1f"); });
    ASSERT_NE(r.out.find("result=1"), std::string::npos) << r.out << r.err;
    const std::string text = read_file(fx.path("out"));
    EXPECT_NE(text.find("\n11.0\n"), std::string::npos) << text;
  }
  {
    Fixture fx;
    auto r = command(fx, "f1 add f2 = out", [] { RES_put("parameter", "GRDFMT:%s%n"); });
    ASSERT_NE(r.out.find("result=1"), std::string::npos) << r.out << r.err;
    EXPECT_NE(r.err.find("GRD_set_format: Invalid value format"), std::string::npos) << r.err;
    EXPECT_TRUE(read_back(fx.path("out")).ok);
  }
}

TEST(GridCommand, CalculatorFunctionsTakeFilesAndConstants) {
  struct Case {
    const char* line;
    std::vector<float> want;
    const char* why;
  };
  const Case cases[] = {
      {"interp f1 #0.5 f2 = out", {5.5f, 11, 16.5f, 22}, "a constant and a further file"},
      {"sqrt f2 = out", {std::sqrt(10.0f), std::sqrt(20.0f), std::sqrt(30.0f), std::sqrt(40.0f)}, "one grid"},
      {"copy f3 = out", {100, M, 300, 400}, "missing values carried"},
  };
  for (const Case& c : cases) {
    Fixture fx;
    auto r = command(fx, c.line);
    ASSERT_NE(r.out.find("result=1"), std::string::npos) << c.line << "\n" << r.out << r.err;
    Back b = read_back(fx.path("out"));
    ASSERT_TRUE(b.ok) << c.line;
    expect_values(b.v, c.want, c.why);
  }
  /* More operands than the evaluator holds are refused, not cut. */
  Fixture fx;
  std::string line = "add f1";
  for (int k = 0; k < 20; ++k) line += " #1";
  line += " = out";
  auto r = command(fx, line);
  EXPECT_NE(r.out.find("result=0"), std::string::npos) << r.out << r.err;
  EXPECT_NE(r.err.find("takes at most"), std::string::npos) << r.err;
  EXPECT_FALSE(exists(fx.path("out")));
}

TEST(GridCommand, StandardOutputByDefault) {
  Fixture fx;
  auto r = command(fx, "f1 add f2");
  EXPECT_NE(r.out.find("result=1"), std::string::npos) << r.out << r.err;
  EXPECT_NE(r.out.find("KEZGRID"), std::string::npos) << r.out;
}

/* ---- the command line on real grids ------------------------------------------------- */

const char kGfs[] = "/usr/share/doc/python-grib-doc/examples/gfs.grb";

/* Every record of a grid file, with its header. */
struct Record {
  std::vector<float> v;
  int var = 0, ltype = 0, level = 0;
  std::string units, info;
};

std::vector<Record> read_all(const std::string& path) {
  std::vector<Record> out;
  int type = 0;
  int fd = GRD_open(path.c_str(), GRD_ACCESS_READ, &type);
  if (fd < 0) return out;
  GRD_info info{};
  GRD_getinfo(fd, &info);
  for (int n = 0;; ++n) {
    GRD_report g;
    std::memset(&g, 0, sizeof g);
    GRD_init(&g);
    int pos = n;
    const bool ok = GRD_read(fd, &g, GRD_READ_ALL, &pos) == 0 && g.grid;
    if (ok) {
      Record r;
      r.v.assign(g.grid, g.grid + static_cast<size_t>(g.domain.nx) * g.domain.ny);
      r.var = g.var;
      r.ltype = g.ltype;
      r.level = g.level;
      r.units = g.units;
      r.info = g.info;
      out.push_back(r);
    }
    std::free(g.grid);
    if (!ok) break;
  }
  GRD_close(fd);
  return out;
}

/* The fixture with the 500 mb fields of gfs.grb (a 72-hour forecast) as
 * grid files: t (K), h (gpm), r (%), u and v (m/s). */
struct RealFixture : Fixture {
  bool have = false; /* python-grib-doc is installed */
  bool ok = false;
  std::string err;
  RealFixture() {
    have = static_cast<bool>(std::ifstream(kGfs));
    if (!have) return;
    /* A name of the fixture's own: "-" in a path would begin a request. */
    if (symlink(kGfs, dir.file("gfs.grb").c_str()) != 0) return;
    /* The tables by which GRIB fields are named. */
    for (const char* table : {"grib2_var.lup", "source.lup", "mod_name.lup"})
      write_file(dir.file(table), read_file(std::string(KEZ_DATA_DIR) + "/" + table));
    auto r = run_child([&] {
      RES_put("grid_path", dir.path().c_str());
      RES_put("file_path", dir.path().c_str());
      FLAG_set(GRD_FLAG_FILE_PARAM, 1);
      for (const char* line :
           {"temp K = t.grd", "hght gpm = h.grd", "rh % = r.grd", "uwnd m/s = u.grd", "vwnd m/s = v.grd"})
        if (run_words(std::string("unit gfs.grb+72:500mb:") + line) != 1) return 1;
      return 0;
    });
    ok = r.status == 0;
    err = r.err;
  }
};

/* Runs command lines in one child; "result=N" after each. */
kez_test::ChildResult commands(const Fixture& fx, const std::vector<std::string>& lines,
                               const std::function<void()>& settings = nullptr) {
  return run_child([&] {
    RES_put("grid_path", fx.dir.path().c_str());
    RES_put("file_path", fx.dir.path().c_str());
    FLAG_set(GRD_FLAG_FILE_PARAM, 1);
    if (settings) settings();
    for (const std::string& line : lines) {
      const int res = run_words(line);
      std::fflush(stdout);
      std::printf("result=%d %s\n", res, line.c_str());
      std::fflush(stdout);
    }
    return 0;
  });
}

/* Grids in the suite's netCDF layout keep their units: a temperature saved
 * in C converts back to the K that ecCodes gives, and is labelled so. */
TEST(GridCommandReal, UnitsSurviveTheNetCdfLayout) {
  RealFixture fx;
  if (!fx.have) GTEST_SKIP() << "python-grib-doc not installed";
  ASSERT_TRUE(fx.ok) << fx.err;
  auto r = commands(fx, {"unit t.grd C = tc.nc"}, [] { RES_put("out_file", "cdf"); });
  ASSERT_NE(r.out.find("result=1"), std::string::npos) << r.out << r.err;
  r = commands(fx, {"unit tc.nc K = tk.grd"});
  ASSERT_NE(r.out.find("result=1"), std::string::npos) << r.out << r.err;
  const std::vector<Record> tk = read_all(fx.path("tk.grd"));
  const std::vector<Record> t = read_all(fx.path("t.grd"));
  ASSERT_EQ(tk.size(), 1u);
  ASSERT_EQ(t.size(), 1u);
  EXPECT_EQ(tk[0].units, "K");
  EXPECT_NE(tk[0].info.find("(K)"), std::string::npos) << tk[0].info;
  std::string ref;
  ASSERT_EQ(kez_test::run_command(std::string("grib_get_data -w shortName=t,level=500,typeOfLevel=isobaricInhPa ") +
                                      kGfs + " | awk 'NR > 1 {print $3}'",
                                  &ref),
            0);
  std::istringstream in(ref);
  std::vector<float> want;
  for (float x; in >> x;) want.push_back(x);
  expect_values(tk[0].v, want, "500 mb temperature through a netCDF copy in C");
  if (kez_test::have_program("ncdump")) {
    std::string dump;
    ASSERT_EQ(kez_test::run_command("ncdump -v units " + fx.path("tc.nc"), &dump), 0);
    EXPECT_NE(dump.find("units =\n  \"C\""), std::string::npos) << dump;
  }
}

/* grad and vdiff give two grids, written as the first and second record
 * of the output file: grad's are the x and y derivatives dx and dy give. */
TEST(GridCommandReal, TwoResultFunctionsWriteBothRecords) {
  RealFixture fx;
  if (!fx.have) GTEST_SKIP() << "python-grib-doc not installed";
  ASSERT_TRUE(fx.ok) << fx.err;
  auto r = commands(fx, {"grad t.grd = g.grd", "dx t.grd = x.grd", "dy t.grd = y.grd",
                         "vdiff u.grd v.grd u.grd v.grd = o.grd", "grad t.grd t.grd = g2.grd"});
  EXPECT_EQ(r.out.find("result=0"), std::string::npos) << r.out << r.err;
  const std::vector<Record> g = read_all(fx.path("g.grd"));
  const std::vector<Record> x = read_all(fx.path("x.grd"));
  const std::vector<Record> y = read_all(fx.path("y.grd"));
  ASSERT_EQ(g.size(), 2u) << r.err;
  ASSERT_EQ(x.size(), 1u);
  ASSERT_EQ(y.size(), 1u);
  expect_values(g[0].v, x[0].v, "x component");
  expect_values(g[1].v, y[0].v, "y component");
  for (const Record& rec : g) EXPECT_EQ(rec.units, "1e-05_K/m");
  int present = 0;
  for (float v : g[1].v) present += v != M;
  EXPECT_GT(present, 144 * 70) << "only the poles' rows have no y derivative";
  const std::vector<Record> o = read_all(fx.path("o.grd"));
  ASSERT_EQ(o.size(), 2u) << r.err;
  for (const Record& rec : o)
    for (float v : rec.v) ASSERT_EQ(v, 0.0f) << "a wind less itself";
  /* grad takes one field; an operand more changes nothing. */
  const std::vector<Record> g2 = read_all(fx.path("g2.grd"));
  ASSERT_EQ(g2.size(), 2u);
  expect_values(g2[1].v, y[0].v, "y component");
}

/* The Q-vector of 500 mb heights and temperatures, through the command
 * line and straight through the evaluator with an output of no header:
 * the pressure is the level, the units those of the product of two
 * derivatives per 100 km. A dew point in C gives the wet-bulb temperature
 * a dew point in K gives; heights in gpm convert to m. */
TEST(GridCommandReal, QVectorWetBulbAndGeopotentialMetres) {
  RealFixture fx;
  if (!fx.have) GTEST_SKIP() << "python-grib-doc not installed";
  ASSERT_TRUE(fx.ok) << fx.err;
  auto r = commands(
      fx, {"uq h.grd t.grd = uq.grd", "vq h.grd t.grd = vq.grd", "dewp t.grd r.grd = td.grd", "unit td.grd C = tdc.grd",
           "wetblb t.grd td.grd = wk.grd", "wetblb t.grd tdc.grd = wc.grd", "unit h.grd m = hm.grd"});
  EXPECT_EQ(r.out.find("result=0"), std::string::npos) << r.out << r.err;
  EXPECT_EQ(r.err.find("No conversion"), std::string::npos) << r.err;
  for (const char* name : {"uq.grd", "vq.grd"}) {
    const std::vector<Record> q = read_all(fx.path(name));
    ASSERT_EQ(q.size(), 1u) << name;
    EXPECT_EQ(q[0].units, "1e-10_m^2/kg/s") << name;
    int present = 0;
    for (float v : q[0].v) present += v != M;
    EXPECT_GT(present, 144 * 40) << name;
  }
  const std::vector<Record> wk = read_all(fx.path("wk.grd")), wc = read_all(fx.path("wc.grd"));
  ASSERT_EQ(wk.size(), 1u);
  ASSERT_EQ(wc.size(), 1u);
  EXPECT_EQ(read_all(fx.path("tdc.grd")).at(0).units, "C");
  expect_values(wc[0].v, wk[0].v, "wet bulb from a dew point in C");
  int present = 0;
  for (float v : wc[0].v) present += v != M;
  EXPECT_EQ(present, 144 * 73);
  expect_values(read_all(fx.path("hm.grd")).at(0).v, read_all(fx.path("h.grd")).at(0).v, "gpm as m");

  /* The evaluator alone: the output takes the height's header. */
  auto e = run_child([&] {
    RES_put("file_path", fx.dir.path().c_str());
    RES_put("grid_path", fx.dir.path().c_str());
    GRD_report hr, tr, out;
    for (GRD_report* g : {&hr, &tr, &out}) {
      std::memset(g, 0, sizeof *g);
      GRD_init(g);
    }
    int ty = 0;
    std::string hp = "h.grd", tp = "t.grd";
    GRD_info info{};
    if (GRD_read_file(hp.data(), &hr, &info, &ty) != 1 || GRD_read_file(tp.data(), &tr, &info, &ty) != 1) return 2;
    GRD_report* grds[GRD_MATH_SLOTS + 1] = {&out, &hr, &tr};
    float values[GRD_MATH_SLOTS + 1];
    for (float& v : values) v = M;
    const int res = GRD_math("vq", grds, values);
    std::printf("res=%d units=%s same=%d\n", res, out.units,
                out.grid && std::memcmp(out.grid, read_all(fx.path("vq.grd")).at(0).v.data(), 144 * 73 * 4) == 0);
    return 0;
  });
  EXPECT_NE(e.out.find("res=1 units=1e-10 m^2/kg/s same=1"), std::string::npos) << e.out << e.err;
}

} // namespace
