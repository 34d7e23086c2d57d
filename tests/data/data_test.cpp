#include "kez_test.h"
#include "kezcty.h"
#include "kezgrd.h"
#include "kezraw.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using kez_test::capture;
using kez_test::run_child;
using kez_test::TempDir;
using kez_test::write_file;

constexpr float M = KEZ_FMISS;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

int count(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

RAW_data datum(float v0, float v1) {
  RAW_data d{};
  d.x = d.y = M;
  d.type = KEZ_MISS;
  d.value[0] = v0;
  d.value[1] = v1;
  return d;
}

/* ---- the station store ------------------------------------------------------ */

TEST(StationStore, GrowsByFourHundredKeepingWhatItHolds) {
  ASSERT_EQ(DATA_init(0, 2), 0);
  ASSERT_EQ(DATA_add_field(3, VAR_get_var(3)), 0);
  auto out = capture([] {
    for (int sta = 0; sta <= 1200; ++sta) {
      ASSERT_EQ(DATA_add_loc(sta, static_cast<double>(sta), -0.5 * sta), 0) << sta;
      RAW_data d = datum(static_cast<float>(sta), 2.0f * sta);
      ASSERT_EQ(DATA_add_raw(sta, 3, &d), 0);
      if (sta == 799) std::printf("[at 800]\n");
      if (sta == 800) std::printf("[at 801]\n");
    }
  });
  const std::string text = out.out + out.err;
  EXPECT_EQ(count(text, "Increasing arrays to 1200\n"), 1) << text;
  EXPECT_EQ(count(text, "Increasing arrays to 1600\n"), 1) << text;
  EXPECT_LT(text.find("[at 800]"), text.find("Increasing arrays to 1200")) << "the 800th does not grow";
  EXPECT_GT(text.find("[at 801]"), text.find("Increasing arrays to 1200")) << "the 801st does";
  EXPECT_EQ(DATA_get_num_stats(), 1201);
  for (int sta : {0, 5, 799, 800, 1199, 1200}) {
    RAW_data d = datum(M, M);
    ASSERT_EQ(DATA_get_raw(sta, 3, &d), 1);
    EXPECT_EQ(d.x, static_cast<float>(sta));
    EXPECT_EQ(d.y, -0.5f * sta);
    EXPECT_EQ(d.value[0], static_cast<float>(sta));
    EXPECT_EQ(d.value[1], 2.0f * sta);
  }
  EXPECT_EQ(DATA_chk_field(3), 1);
  EXPECT_EQ(DATA_chk_field(2), 0);
  DATA_free();
}

TEST(StationStore, RefusesIndexesOutsideTheStoreAndTheFields) {
  ASSERT_EQ(DATA_init(10, 2), 0);
  ASSERT_EQ(DATA_add_field(0, VAR_get_var(0)), 0);
  ASSERT_EQ(DATA_add_loc(0, 1.0, 2.0), 0);
  RAW_data d = datum(4, 5);
  ASSERT_EQ(DATA_add_raw(0, 0, &d), 0);
  struct Case {
    const char* what;
    std::function<int()> call;
    const char* message;
  };
  const Case cases[] = {
      {"negative field", [&] { return DATA_add_raw(0, -1, &d); }, "DATA_add_raw: Field -1 outside"},
      {"field 60", [&] { return DATA_add_raw(0, 60, &d); }, "DATA_add_raw: Field 60 outside"},
      {"station past the capacity", [&] { return DATA_add_raw(10, 0, &d); },
       "DATA_add_raw: Station 10 outside the store of 10"},
      {"negative station", [&] { return DATA_add_raw(-1, 0, &d); }, "DATA_add_raw: Station -1"},
      {"field 60 stored", [&] { return DATA_add_field(60, VAR_get_var(0)); }, "DATA_add_field: Field 60 outside"},
      {"location past the capacity", [&] { return DATA_add_loc(11, 0.0, 0.0); },
       "DATA_add_loc: Station 11 outside the store of 10"},
      {"negative location", [&] { return DATA_add_loc(-3, 0.0, 0.0); }, "DATA_add_loc: Station -3"},
  };
  for (const Case& c : cases) {
    int res = 0;
    auto out = capture([&] { res = c.call(); });
    EXPECT_EQ(res, -1) << c.what;
    EXPECT_TRUE(has(out.err + out.out, c.message)) << c.what << ": " << out.err;
  }
  /* Reads outside the store leave the datum alone. */
  RAW_data untouched = datum(7, 8);
  EXPECT_EQ(DATA_get_raw(1, 0, &untouched), 0) << "station equal to num_stats";
  EXPECT_EQ(DATA_get_raw(0, 1, &untouched), 0) << "field equal to num_field";
  EXPECT_EQ(DATA_get_raw(-1, 0, &untouched), 0);
  EXPECT_EQ(untouched.value[0], 7.0f);
  EXPECT_EQ(untouched.x, M);
  /* The count never claims stations the arrays do not have. */
  capture([] { DATA_inc_num_stats(100); });
  EXPECT_EQ(DATA_get_num_stats(), 10);
  capture([] { DATA_inc_num_stats(-100); });
  EXPECT_EQ(DATA_get_num_stats(), 0);
  /* Impossible stores are refused. */
  auto out = capture([] {
    EXPECT_EQ(DATA_init(10, 4), -1);
    EXPECT_EQ(DATA_init(DATA_MAX_STATIONS + 1, 2), -1);
    EXPECT_EQ(DATA_add_loc(0, 1.0, 1.0), -1);
  });
  EXPECT_TRUE(has(out.err, "DATA_init: Invalid dimension 4")) << out.err;
  EXPECT_TRUE(has(out.err, "DATA_add_loc: No station store")) << out.err;
  DATA_free();
}

TEST(StationStore, FreeThenInitStartsEmptyAtEightHundred) {
  ASSERT_EQ(DATA_init(2000, 3), 0);
  DATA_add_field(1, VAR_get_var(1));
  DATA_add_loc(0, 1.0, 2.0, 3.0);
  DATA_free();
  EXPECT_EQ(DATA_chk_field(1), 0);
  EXPECT_EQ(DATA_get_num_stats(), 0);
  ASSERT_EQ(DATA_init(-1, 1), 0);
  auto out = capture([] {
    for (int sta = 0; sta <= 800; ++sta) DATA_add_loc(sta, 1.0);
  });
  EXPECT_TRUE(has(out.out + out.err, "Increasing arrays to 1200")) << out.out;
  DATA_free();
}

/* ---- the pipeline with a source of reports in memory ------------------------- */

struct Report {
  float gx, gy; /* grid position in the plot domain */
  float t, p;
  int use; /* what read_report answers */
};

struct TestSource {
  Domain dom;
  std::vector<Report> reports;
  size_t next = 0;
  Report current{};
  int grid_steps = 0;
  int analysed = 0;
};

TestSource src;

int src_rewind() {
  src.next = 0;
  return 0;
}

int src_read(void* report, CTY_locate* loc) {
  if (src.next >= src.reports.size()) return -1;
  Report& r = src.reports[src.next++];
  *static_cast<Report*>(report) = r;
  Domain saved;
  MAP_get_domain(&saved);
  MAP_domain(&src.dom);
  MAP_grid_tran(r.gx, r.gy, &loc->x, &loc->y);
  MAP_domain(&saved);
  std::snprintf(loc->id, sizeof loc->id, "S%zu", src.next);
  loc->el = 0;
  loc->pr = 1;
  return r.use;
}

int src_get_data(void* report, VAR_data* var, RAW_data* data) {
  const Report* r = static_cast<const Report*>(report);
  if (std::strcmp(var->name, "t") == 0) data->value[0] = r->t;
  if (std::strcmp(var->name, "p") == 0) data->value[0] = r->p;
  return 0;
}

int src_out_grid() { return GRD_out_file(0); }

int src_get_var(VAR_data* var) {
  if (!var->units[0]) std::snprintf(var->units, sizeof var->units, "%s", "F");
  return 0;
}

int src_grid_data(DATA_info* data) {
  ++src.grid_steps;
  if (DATA_setup_grid(data)) {
    ++src.analysed;
    OBJ_set_filter(1);
    OBJ_set_rad_inf(3);
    DATA_get_data(data);
    DATA_object_analyze();
  }
  GRD_calc_var();
  DATA_save_grid(data);
  DATA_free();
  return 0;
}

Domain latlon(int nx, int ny) {
  Domain d;
  DOM_init(&d);
  d.proj = 2;
  d.clat = 40;
  d.clon = -100;
  d.dx = d.dy = 1;
  d.nx = nx;
  d.ny = ny;
  return d;
}

void variable(int ind, const char* name, int type, int flag, int var) {
  VAR_data* v = VAR_get_var(ind);
  std::snprintf(v->name, sizeof v->name, "%s", name);
  v->type = type;
  v->flag = flag;
  v->var[0] = var;
  v->time = 0;
  v->ltype = 1;
  v->level = 0;
  v->units[0] = '\0';
  v->format[0] = '\0';
}

DATA_info source_record() {
  src.dom = latlon(20, 15);
  src.reports.clear();
  for (int k = 0; k < 120; ++k) {
    const float gx = static_cast<float>((k * 37) % 200) / 10.0f - 0.5f;
    const float gy = static_cast<float>((k * 53) % 150) / 10.0f - 0.5f;
    src.reports.push_back({gx, gy, 50 + gx - gy, 1000 + gy, k % 9 == 4 ? 0 : 1});
  }
  DATA_info d{};
  d.plot = 0;
  d.model = KEZ_MISS;
  DATE_init(&d.date);
  d.date.year = 2026;
  d.date.month = 12;
  d.date.day = 10;
  d.date.hour = 12;
  d.date.min = 0;
  d.domain = src.dom;
  d.report = &src.current;
  d.get_var = src_get_var;
  d.read_report = src_read;
  d.rewind = src_rewind;
  d.get_data = src_get_data;
  d.out_grid = src_out_grid;
  d.grid_data = src_grid_data;
  return d;
}

void check(const char* name, bool ok) { std::printf("%s %s\n", ok ? "ok" : "BAD", name); }

TEST(DataPipeline, FitsSavesAndReusesGridsAndKeepsTheInputConvention) {
  TempDir dir;
  write_file(dir.file("name_conv"),
             "incv " + dir.path() + "/in_%y%m%d.dat - 0\n" + "outc " + dir.path() + "/out_%v.grd - 0\n");
  auto r = run_child([&] {
    RES_put("file_path", dir.path().c_str());
    RES_put("out_file", "kez:outc");
    FILE_set_name("incv");
    char before[FILE_PATH_LEN], after[FILE_PATH_LEN];
    FILE_get_name_conv(before);
    variable(0, "t", 11, 0, 11);
    variable(1, "x", 1, 0, 500);
    variable(2, "p", 10, 1, 1);
    VAR_set_num(3);
    DATA_info data = source_record();
    DATA_new_grid();
    auto first = capture([&] { DATA_fit_grid(&data); });
    std::printf("%s", first.out.c_str());
    FILE_get_name_conv(after);
    check("one gridding step", src.grid_steps == 1 && src.analysed == 1);
    check("fitting reported", has(first.out, "Fitting to grid"));
    check("convention restored", std::strcmp(before, after) == 0);
    check("grid domain is the plot domain", DOM_comp(&data.grd_domain, &data.domain) != 0);
    GRD_report* t = GRD_get_grid(0);
    GRD_report* p = GRD_get_grid(2);
    check("t analysed", t->grid && t->source == 1 && t->domain.nx == 20 && t->domain.ny == 15);
    check("p analysed", p->grid && p->source == 1);
    check("station slot untouched", GRD_get_grid(1)->grid == nullptr);
    check("units from get_var", std::strcmp(VAR_get_var(0)->units, "F") == 0);
    /* t = 50 + gx - gy is linear: the analysis stays near it inside. */
    const float t_mid = t->grid[7 * 20 + 10];
    check("t plausible", std::fabs(t_mid - (50 + 10 - 7)) < 1.0f);
    std::vector<float> t_values(t->grid, t->grid + 300), p_values(p->grid, p->grid + 300);
    /* The saved file reads back as the slot. */
    int type = 0;
    int fd = GRD_open((dir.path() + "/out_t.grd").c_str(), GRD_ACCESS_READ, &type);
    GRD_report back;
    std::memset(&back, 0, sizeof back);
    GRD_init(&back);
    int pos = 0;
    bool read = fd >= 0 && GRD_read(fd, &back, GRD_READ_ALL, &pos) == 0;
    if (fd >= 0) GRD_close(fd);
    bool same = read && back.domain.nx == 20 && back.domain.ny == 15;
    for (int k = 0; same && k < 300; ++k)
      same = std::fabs(back.grid[k] - t_values[static_cast<size_t>(k)]) <=
             1e-6f * std::fabs(t_values[static_cast<size_t>(k)]) + 1e-6f;
    std::free(back.grid);
    check("file reads back", same);
    check("p saved", FILE_exist((dir.path() + "/out_p.grd").c_str()) == 1);
    /* A second frame of the same file does not grid again. */
    DATA_fit_grid(&data);
    check("second frame no gridding", src.grid_steps == 1);
    /* A new list reuses the saved files. */
    DATA_new_grid();
    GRD_init_grids();
    FLAG_set(GRD_FLAG_FILE_PARAM, 3);
    auto second = capture([&] { DATA_fit_grid(&data); });
    std::printf("%s", second.out.c_str());
    check("second gridding step", src.grid_steps == 2);
    check("no analysis the second time", src.analysed == 1 && !has(second.out, "Fitting to grid"));
    check("reused t", t->grid && std::fabs(t->grid[7 * 20 + 10] - t_mid) < 1e-4f);
    check("reused p", p->grid && std::fabs(p->grid[3] - p_values[3]) < 1e-3f);
    FILE_get_name_conv(after);
    check("convention restored again", std::strcmp(before, after) == 0);
    GRD_init_grids();
    return 0;
  });
  EXPECT_FALSE(has(r.out, "BAD")) << r.out << r.err;
  EXPECT_EQ(count(r.out, "ok "), 17) << r.out << r.err;
}

TEST(DataPipeline, ListsWithoutFittedGridsRunNoGriddingStep) {
  auto r = run_child([] {
    variable(0, "x", 1, 0, 500);    /* station values */
    variable(1, "vort", 10, 2, 41); /* a function: computed, not fitted */
    variable(2, "p", 12, 6, 1);     /* a vector header */
    VAR_set_num(3);
    DATA_info data = source_record();
    DATA_new_grid();
    DATA_fit_grid(&data);
    check("no gridding step", src.grid_steps == 0);
    variable(0, "t", 11, 0, 11);
    DATA_fit_grid(&data);
    check("a fitted grid grids", src.grid_steps == 1);
    GRD_init_grids();
    return 0;
  });
  EXPECT_FALSE(has(r.out, "BAD")) << r.out << r.err;
  EXPECT_EQ(count(r.out, "ok "), 2) << r.out << r.err;
}

TEST(DataPipeline, RefinedGridsAreSavedWithTheirOwnSizesAndReused) {
  TempDir dir;
  write_file(dir.file("name_conv"), "outc " + dir.path() + "/out_%v.grd - 0\n");
  auto r = run_child([&] {
    RES_put("file_path", dir.path().c_str());
    RES_put("out_file", "kez:outc");
    RES_put("plot_param", "gridx2");
    GRD_set_grid_factor(2);
    variable(0, "t", 11, 0, 11);
    VAR_set_num(1);
    DATA_info data = source_record();
    DATA_new_grid();
    capture([&] { DATA_fit_grid(&data); });
    check("refined slot", GRD_get_grid(0)->domain.nx == 39 && GRD_get_grid(0)->domain.ny == 29);
    /* The file as written holds the refined slot's grid. */
    int type = 0;
    const int fd = GRD_open(dir.file("out_t.grd").c_str(), GRD_ACCESS_READ, &type);
    GRD_report back;
    std::memset(&back, 0, sizeof back);
    GRD_init(&back);
    int pos = 0;
    const bool read = fd >= 0 && GRD_read(fd, &back, GRD_READ_ALL, &pos) == 0;
    if (fd >= 0) GRD_close(fd);
    check("written with the slot's sizes",
          read && back.domain.nx == 39 && back.domain.ny == 29 && back.grid != nullptr);
    std::free(back.grid);
    DATA_new_grid();
    GRD_init_grids();
    FLAG_set(GRD_FLAG_FILE_PARAM, 3);
    auto again = capture([&] { DATA_fit_grid(&data); });
    check("refined file reused",
          src.analysed == 1 && !has(again.out, "Fitting to grid") && GRD_get_grid(0)->grid != nullptr);
    GRD_init_grids();
    return 0;
  });
  EXPECT_FALSE(has(r.out, "BAD")) << r.out << r.err;
  EXPECT_EQ(count(r.out, "ok "), 3) << r.out << r.err;
}

TEST(DataPipeline, AStoreThatCannotGrowGivesUpTheAnalysisCleanly) {
  auto r = run_child([] {
    variable(0, "t", 11, 0, 11);
    VAR_set_num(1);
    GRD_report* slot = GRD_get_grid(0);
    slot->domain = latlon(5, 5);
    GRD_alloc_grid(0);
    slot->source = 1;
    DATA_init(DATA_MAX_STATIONS, 2);
    DATA_add_field(0, VAR_get_var(0));
    auto out = capture([] {
      check("growth refused", DATA_add_loc(DATA_MAX_STATIONS, 0.0, 0.0) == -1);
      check("analysis refused", DATA_object_analyze() == -1);
    });
    std::printf("%s%s", out.out.c_str(), out.err.c_str());
    check("fitted grid dropped", slot->grid == nullptr && slot->source == 0);
    DATA_free();
    return 0;
  });
  EXPECT_FALSE(has(r.out, "BAD")) << r.out << r.err;
  EXPECT_EQ(count(r.out, "ok "), 3) << r.out << r.err;
  EXPECT_TRUE(has(r.out, "DATA_add_loc: Unable to grow the store beyond 4000000 stations")) << r.out;
  EXPECT_TRUE(has(r.out, "DATA_object_analyze: The station store is incomplete")) << r.out;
}

} // namespace

namespace {

TEST(DataPipeline, AGridDomainOfItsOwnTakesTheStationsThroughLatitudeAndLongitude) {
  auto r = run_child([] {
    RES_put("grid_domain", "ll,40,-100,10,8,2,2");
    variable(0, "t", 11, 0, 11);
    VAR_set_num(1);
    DATA_info data = source_record();
    DATA_new_grid();
    capture([&] { DATA_fit_grid(&data); });
    const GRD_report* t = GRD_get_grid(0);
    check("grid domain decoded", data.grd_domain.nx == 10 && data.grd_domain.ny == 8 && data.grd_domain.dx == 2.0f);
    check("slot on the grid domain", t->grid && t->domain.nx == 10 && t->domain.ny == 8);
    /* Coarse point (i, j) lies at fine position (2i + 0.5, 2j), where the
     * source's t is 50 + gx - gy. */
    bool near = t->grid != nullptr;
    for (int j = 2; near && j <= 5; ++j)
      for (int i = 2; i <= 7; ++i) {
        const float want = 50.0f + (2.0f * i + 0.5f) - 2.0f * j;
        const float got = t->grid[j * 10 + i];
        if (std::fabs(got - want) > 2.0f) {
          std::printf("at %d,%d: %g, not %g\n", i, j, got, want);
          near = false;
        }
      }
    check("values follow the stations", near);
    GRD_init_grids();
    return 0;
  });
  EXPECT_FALSE(has(r.out, "BAD")) << r.out << r.err;
  EXPECT_EQ(count(r.out, "ok "), 3) << r.out << r.err;
}

} // namespace
