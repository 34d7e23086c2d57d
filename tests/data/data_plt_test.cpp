#include "kez_test.h"
#include "kezcont.h"
#include "kezcty.h"
#include "kezgrd.h"
#include "kezraw.h"
#include "kezsfc.h"
#include "ps_render.h"
#include "x_server.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

using kez_test::run_child;
using kez_test::TempDir;

/* ---- a recording of what the frame draws and reads ---------------------- */

/* The notes in order; with print also each a line "call X" on the output,
 * in order with the messages of the contour and vector plotters, and with
 * echo on the error stream, in order with the warnings. */
std::vector<std::string> calls;
bool print = false;
bool echo = false;

void note(const std::string& s) {
  calls.push_back(s);
  if (print) std::printf("call %s\n", s.c_str());
  if (echo) std::fprintf(stderr, "call %s\n", s.c_str());
}

/* The contour and vector kernels recorded, a note a primitive: contour
 * drawing in the plot is "lines", on the page (the colour bar) "bar";
 * vectors drawn as barbs "barb", as arrows (the vector legend) "arrow". */
void cont_drawn() {
  Gint err = 0, tran = 0;
  ginq_cur_norm_tran_num(&err, &tran);
  note(tran == 1 ? "bar" : "lines");
}
constexpr CONT_kernel cont_recorder{
    [](Gint, const Gpt*) { return cont_drawn(), 0; },
    [](Gint, const Gpt*) { return cont_drawn(), 0; },
    [](const Gpt*, const Gchar*) { return cont_drawn(), 0; },
    [](Gint) { return 0; },
    [](Gint) { return 0; },
    [](Gint) { return 0; },
    [](Gfloat) { return 0; },
    [](float) { return 0; },
    [](int, float, float, float) { return 0; },
};
constexpr VECT_kernel vect_recorder{
    [](float, float, float, float, float, float) { return note("arrow"), 0; },
    [](float, float, float, float, float, float) { return note("barb"), 0; },
    [](Gint) { return 0; },
};

/* Grid slots 0 to n - 1 on the region hold a sloping field named "slotN",
 * so that each contour record draws lines and the plotter names it
 * ("Contouring data for slotN"); the notes are printed from here on. */
void fill_slots(int n, const Domain& dom) {
  print = true;
  FLAG_set(FLAG_BATCH, 1);
  RES_put("con_interval", "5");
  /* A page of the plot frame, for the colour bar's room on it. */
  RES_put("device", "m,/dev/null");
  Domain page = dom;
  if (PLT_open(DOM_aspect(&page)) != 0) std::abort();
  MAP_setup(&page);
  for (int i = 0; i < n; ++i) {
    GRD_set_grid_domain(i, &dom);
    if (GRD_alloc_grid(i) != 0) std::abort();
    GRD_report* g = GRD_get_grid(i);
    for (int y = 0; y < dom.ny; ++y)
      for (int x = 0; x < dom.nx; ++x) g->grid[y * dom.nx + x] = static_cast<float>(x + 2 * y);
    GRD_set_grid_info(i, ("slot" + std::to_string(i)).c_str());
  }
  CONT_set_type(VAR_TYPE_CONT); /* contour lines, not the station plot's fill */
  CONT_set_kernel(&cont_recorder);
  VECT_set_kernel(&vect_recorder);
}

/* The sequence of a run's output: the notes, a run of one kind of drawing
 * as one, and each contour record's set-up as "cont_setup N" and a vector
 * plot's as "vect_setup". */
std::vector<std::string> sequence(const std::string& out) {
  std::vector<std::string> seq;
  for (size_t a = 0, b; (b = out.find('\n', a)) != std::string::npos; a = b + 1) {
    const std::string line = out.substr(a, b - a);
    if (line.rfind("call ", 0) == 0) {
      const std::string what = line.substr(5);
      const bool drawing = what == "lines" || what == "bar" || what == "barb" || what == "arrow";
      if (!(drawing && !seq.empty() && seq.back() == what)) seq.push_back(what);
    } else if (line.rfind("Contouring data for slot", 0) == 0)
      seq.push_back("cont_setup " + line.substr(24));
    else if (line.rfind("Plotting wind vectors", 0) == 0)
      seq.push_back("vect_setup");
  }
  return seq;
}

/* ---- a source of in-memory surface reports ----------------------------- */

struct Source {
  std::vector<SFC_report> reports;
  std::vector<Gpt> at;
  size_t next = 0;
  SFC_report current{};
  bool record = true;
} src;

int src_rewind() {
  src.next = 0;
  if (src.record) note("rewind");
  return 0;
}

int src_read(void* report, CTY_locate* loc) {
  if (src.next >= src.reports.size()) return -1;
  const size_t k = src.next++;
  *static_cast<SFC_report*>(report) = src.reports[k];
  *loc = CTY_locate{};
  std::snprintf(loc->id, sizeof loc->id, "%s", src.reports[k].id);
  loc->x = src.at[k].x;
  loc->y = src.at[k].y;
  return 1;
}

int src_get_data(void* report, VAR_data* var, RAW_data* data) {
  const SFC_report* r = static_cast<const SFC_report*>(report);
  if (src.record) note(std::string(var->name) + "@" + r->id);
  return SFC_get_data(r, var, data);
}

int src_plot_data(int ind) { return std::strcmp(VAR_get_var(ind)->name, "front") == 0 ? 1 : 0; }

Domain region() {
  Domain d;
  DOM_init(&d);
  d.proj = 2;
  d.clat = 40;
  d.clon = -100;
  d.dx = d.dy = 1;
  d.nx = 21;
  d.ny = 15;
  return d;
}

SFC_report station(const char* id, float t, float td, float dir, float spd) {
  SFC_report r;
  SFC_initialize(&r);
  std::snprintf(r.id, sizeof r.id, "%.10s", id);
  r.t = t, r.td = td, r.w_dir = dir, r.w_spd = spd, r.pmb = 1012, r.alt = 29.9f, r.elev = 100;
  r.num_cld = 1, r.cld_cover[0] = 'B', r.cld_height[0] = 3000;
  std::snprintf(r.weather, sizeof r.weather, "61");
  return r;
}

/* Stations on the region, two of them close enough to share a thinning
 * cell. */
DATA_info source(const Domain& dom) {
  src = Source{};
  MAP_domain(&dom);
  MAP_set_plot_limit(1); /* one station per grid cell */
  const float lats[] = {38, 41.3f, 43, 36, 41.31f};
  const float lons[] = {-104, -100.3f, -95, -98, -100.31f};
  for (int k = 0; k < 5; ++k) {
    char id[16];
    std::snprintf(id, sizeof id, "S%d", k);
    src.reports.push_back(station(id, 40.0f + k, 30.0f + k, 90.0f * k, 5.0f + 10 * k));
    Gpt p{};
    MAP_tran(lats[k], lons[k], &p.x, &p.y);
    src.at.push_back(p);
  }
  DATA_info d{};
  d.model = KEZ_MISS;
  DATE_init(&d.date);
  d.date.year = 2026, d.date.month = 12, d.date.day = 10, d.date.hour = 12;
  d.domain = dom;
  d.report = &src.current;
  d.get_var = SFC_get_var;
  d.read_report = src_read;
  d.rewind = src_rewind;
  d.get_data = src_get_data;
  d.plot_data = src_plot_data;
  return d;
}

/* Replaces the source's stations by 10 x 8 stations 1.9 degrees of
 * longitude and 1.5 of latitude apart, report(i, j) giving each its values;
 * the source stops recording its calls. */
template <class Report>
void station_grid(Report report) {
  src.record = false;
  src.reports.clear();
  src.at.clear();
  for (int j = 0; j < 8; ++j)
    for (int i = 0; i < 10; ++i) {
      SFC_report r = report(i, j);
      std::snprintf(r.id, sizeof r.id, "K%02d", j * 10 + i);
      src.reports.push_back(r);
      Gpt p{};
      MAP_tran(34.5f + 1.5f * j, -109.3f + 1.9f * i, &p.x, &p.y);
      src.at.push_back(p);
    }
}

/* One frame in the order of the surface driver. */
void frame(DATA_info* data) {
  DATA_plot_init();
  DATA_plot_start();
  for (int i = 0; i < VAR_get_num(); ++i) {
    i = DATA_plot_grid(i, data);
    i = DATA_plot_raw(i, data);
    DATA_plot_map(i);
    DATA_plot_control(i, &data->domain);
  }
  DATA_plot_end();
}

int prepare(const char* vars) {
  RES_put("file_path", KEZ_DATA_DIR);
  FLAG_set(FLAG_LEVEL_TYPE, 1);
  return VAR_process(vars);
}

std::string joined(const std::vector<std::string>& v) {
  std::string s;
  for (const auto& x : v) s += x + "\n";
  return s;
}

int count_of(const std::vector<std::string>& v, const std::string& what) {
  int n = 0;
  for (const auto& x : v) n += x == what;
  return n;
}

size_t index_of(const std::vector<std::string>& v, const std::string& what) {
  for (size_t k = 0; k < v.size(); ++k)
    if (v[k] == what) return k;
  return v.size();
}

/* A frame's records in order, each run of station records in one pass with
 * the datum calls in record order, one colour bar. */
TEST(DataFrame, RecordsInOrderGroupInOnePassOneBar) {
  auto r = run_child([] {
    prepare("g{temp:F:value:ul,dewp:F:value:ll},rvort::cont(uwnd,vwnd),front,pralt");
    CONT_set_bar(2); /* as the plot keyword "bar" */
    DATA_info d = source(region());
    fill_slots(VAR_get_num(), d.domain);
    frame(&d);
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> got = sequence(r.out);
  /* The group: one rewind, each station draws temp then dewp; the close
   * pair is thinned to one. */
  const std::vector<std::string> group = {"rewind",  "temp@S0", "dewp@S0", "temp@S1", "dewp@S1",
                                          "temp@S2", "dewp@S2", "temp@S3", "dewp@S3"};
  ASSERT_GE(got.size(), group.size()) << r.out << r.err;
  EXPECT_EQ(std::vector<std::string>(got.begin(), got.begin() + group.size()), group) << r.out;
  /* The function after the group is reached and contoured; its arguments
   * are never station values. */
  const size_t cont = index_of(got, "lines");
  EXPECT_LT(cont, got.size()) << r.out;
  EXPECT_EQ(count_of(got, "uwnd@S0"), 0) << r.out;
  EXPECT_EQ(count_of(got, "vwnd@S0"), 0) << r.out;
  /* "front" is the source's own; "pralt" follows in a pass of its own
   * with the same stations. */
  EXPECT_EQ(count_of(got, "front@S0"), 0);
  const size_t pr = index_of(got, "pralt@S0");
  EXPECT_GT(pr, cont);
  for (const char* s : {"pralt@S1", "pralt@S2", "pralt@S3"}) EXPECT_EQ(count_of(got, s), 1) << s;
  EXPECT_EQ(count_of(got, "pralt@S4"), 0);
  EXPECT_EQ(count_of(got, "temp@S4"), 0);
  EXPECT_EQ(count_of(got, "rewind"), 2);
  /* At most one colour bar a frame (VectorRecordsAndBars draws one). */
  EXPECT_LE(count_of(got, "bar"), 1) << r.out;
}

/* The map goes under the fields and station values and over them: an
 * underlay item ("-") and a plain item before the first contour call, an
 * overlay item ("+") after the last datum. The items name files that are
 * not there, so each drawing shows as its "not found" message. */
TEST(DataFrame, MapUnderlayBeforeFieldsAndValuesOverlayAfter) {
  auto r = run_child([] {
    prepare("g{temp:F:value:ul,dewp:F:value:ll},rvort::cont(uwnd,vwnd),pralt");
    RES_put("map_file", "-under.map,plain.map,+over.map");
    DATA_info d = source(region());
    fill_slots(VAR_get_num(), d.domain);
    echo = true;
    frame(&d);
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::string> seq;
  for (size_t a = 0, b; (b = r.err.find('\n', a)) != std::string::npos; a = b + 1) {
    const std::string line = r.err.substr(a, b - a);
    if (line.rfind("call ", 0) == 0)
      seq.push_back(line.substr(5));
    else if (line.find("Map file not found") != std::string::npos)
      seq.push_back(line.substr(line.rfind('/') + 1));
  }
  const size_t under = index_of(seq, "under.map"), plain = index_of(seq, "plain.map"), over = index_of(seq, "over.map");
  const size_t cont = index_of(seq, "lines"), first = index_of(seq, "temp@S0"), last = index_of(seq, "pralt@S3");
  for (size_t at : {under, plain, over, cont, first, last}) ASSERT_LT(at, seq.size()) << joined(seq) << r.err;
  EXPECT_LT(under, first) << joined(seq);
  EXPECT_LT(plain, first) << "no map record: plain items go under" << joined(seq);
  EXPECT_LT(under, cont) << joined(seq);
  EXPECT_GT(over, last) << joined(seq);
  EXPECT_GT(over, cont) << joined(seq);
  /* The plain items are drawn again over a filled contour, so that the
   * fill does not hide them; the under- and overlay once each. */
  EXPECT_EQ(count_of(seq, "under.map"), 1) << joined(seq);
  EXPECT_EQ(count_of(seq, "over.map"), 1) << joined(seq);
}

TEST(DataFrame, VectorRecordsAndBars) {
  auto r = run_child([] {
    prepare("wnd<uwnd,vwnd>,temp::cont,dewp::cont");
    CONT_set_bar(2); /* as the plot keywords "bar" and "vect" */
    VECT_set_vect(1);
    VAR_get_var(0)->type = VAR_TYPE_BARB; /* barbs drawn from grids */
    src.record = false;
    DATA_info d = source(region());
    src.record = false;
    fill_slots(VAR_get_num(), d.domain);
    frame(&d);
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  /* The vector header draws its components once as barbs, then the bars;
   * two contour records share one colour bar. */
  const std::string seq = joined(sequence(r.out));
  EXPECT_NE(seq.find("vect_setup\nbarb\nbar\narrow\n"), std::string::npos) << seq;
  EXPECT_NE(seq.find("cont_setup 3\nlines\ncont_setup 4\nlines\n"), std::string::npos) << seq;
  EXPECT_EQ(seq.find("\nbar\n"), seq.rfind("\nbar\n")) << seq;
}

/* Raw output that cannot be written does not take the data off the plot. */
TEST(DataFrame, RunIsDrawnWhenRawOutputFails) {
  auto r = run_child([] {
    prepare("temp");
    DATA_info d = source(region());
    /* A file below a device cannot be created. */
    d.out_raw = [] { return FILE_set_name("@/dev/null/no/%v.raw") >= 0 ? 1 : 1; };
    frame(&d);
    std::printf("%d\n", count_of(calls, "temp@S0"));
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "1\n") << r.err;
  EXPECT_NE(r.err.find("raw output"), std::string::npos) << r.err;
}

/* Each run of station records writes its own raw file, named after its
 * variable, whose field list matches the values on its lines; a second
 * batch run finds the files, keeps them and still draws both runs. */
TEST(DataFrame, EachStationRunWritesItsOwnRawFile) {
  TempDir dir;
  const std::string tmpl = "@" + dir.path() + "/%v.raw";
  auto r = run_child([&] {
    prepare("temp:F:value,dewp:F:value");
    FLAG_set(FLAG_BATCH, 1);
    static std::string conv;
    conv = tmpl;
    for (int run = 0; run < 2; ++run) {
      calls.clear();
      DATA_info d = source(region());
      d.out_raw = [] { return FILE_set_name(conv.c_str()) >= 0 ? 1 : 1; };
      frame(&d);
      std::printf("%d %d\n", count_of(calls, "temp@S0"), count_of(calls, "dewp@S0"));
    }
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Opening raw file: " + dir.file("temp.raw") + "\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Opening raw file: " + dir.file("dewp.raw") + "\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("1 1\n1 1\n"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("Unable to overwrite raw file: " + dir.file("dewp.raw")), std::string::npos) << r.err;
  for (const char* var : {"temp", "dewp"}) {
    const std::string path = dir.file(std::string(var) + ".raw");
    int type = 0;
    const int fd = RAW_open(path.c_str(), RAW_READ, &type);
    ASSERT_GE(fd, 0) << path;
    RAW_info info{};
    RAW_getinfo(fd, &info);
    EXPECT_EQ(RAW_get_num_field(fd), 4) << var;
    EXPECT_STREQ(RAW_get_field_name(fd, RAW_sel(RAW_SEL_FIELD)), var);
    /* By selector 1, by number and by name: the same station's value. */
    std::vector<std::string> seen;
    for (int n = 0; n < 10; ++n) {
      RAW_report all{}, num{}, name{};
      int k = n;
      if (RAW_read(fd, &all, RAW_sel(RAW_SEL_ALL), &k) != 1) break;
      RAW_read(fd, &num, RAW_sel(RAW_SEL_FIELD), &k);
      RAW_read(fd, &name, var, &k);
      int rest = n;
      RAW_report end{};
      EXPECT_EQ(RAW_read(fd, &end, RAW_sel(RAW_SEL_ALL), &rest), 0) << "one value a line";
      EXPECT_STREQ(all.id, num.id);
      EXPECT_STREQ(all.id, name.id);
      EXPECT_EQ(all.value[0], num.value[0]);
      EXPECT_EQ(all.value[0], name.value[0]);
      EXPECT_NE(all.lat, KEZ_FMISS);
      seen.push_back(std::string(all.id) + "=" + all.data);
    }
    ASSERT_EQ(seen.size(), 4u) << var << kez_test::read_file(path);
    const bool temp = std::strcmp(var, "temp") == 0;
    EXPECT_EQ(seen[0], temp ? "S0=40.000000" : "S0=30.000000") << var << kez_test::read_file(path);
    RAW_close(fd);
  }
}

/* A naming template that puts the file in "raw_path" itself is not joined
 * to that directory a second time. */
TEST(DataFrame, RawOutputTemplateWithItsOwnPath) {
  TempDir dir;
  auto r = run_child([&] {
    if (chdir(dir.path().c_str()) != 0) return 2;
    RES_put("raw_path", "rel");
    prepare("temp:F:value");
    DATA_info d = source(region());
    d.out_raw = [] { return FILE_set_name("@%R/%v.raw") >= 0 ? 1 : 1; };
    frame(&d);
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(kez_test::read_file(dir.file("rel/temp.raw")).rfind("KEZRAW\n", 0), 0u) << r.out << r.err;
}

TEST(DataFrame, FunctionArgumentsAreNeverStationValues) {
  auto r = run_child([] {
    prepare("vor(uwnd,vwnd)[:cont],temp");
    DATA_info d = source(region());
    frame(&d);
    std::printf("%s", joined(calls).c_str());
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.find("uwnd@"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("vwnd@"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("temp@S0"), std::string::npos) << r.out;
}

int grid_step(DATA_info* data) {
  if (DATA_setup_grid(data)) {
    OBJ_set_filter(1);
    OBJ_set_rad_inf(3);
    DATA_get_data(data);
    DATA_object_analyze();
  }
  DATA_free();
  return 0;
}

/* The whole road with the real plotters: station models and an analysed
 * temperature field, drawn to PostScript and rendered by ghostscript. */
TEST(DataFrame, StationModelsAndAnalysedFieldToPostScript) {
  ASSERT_TRUE(kez_test::have_program("gs")) << "ghostscript is needed";
  TempDir dir;
  const std::string file = dir.file("frame.ps");
  auto r = run_child([&] {
    unsetenv("PSCOLOR");
    RES_put("con_interval", "4");
    RES_put("color_cont", "red");
    for (const char* c : {"color_data", "color_wind", "color_cloud", "color_wx"}) RES_put(c, "black");
    FLAG_set(FLAG_BATCH, 1); /* no prompts */
    prepare("temp::cont,temp:F:value:ul,dewp:F:value:ll,wind::wbarb,pralt::value:ur");
    const Domain dom = region();
    DATA_info d = source(dom);
    /* A grid of stations with a smooth temperature field. */
    station_grid(
        [](int i, int j) { return station("", 30 + 2.0f * i + 1.5f * j, 20.0f + i, 45.0f * (i % 8), 5 + 3.0f * j); });
    d.out_grid = [] { return 0; };
    d.grid_data = grid_step;
    RES_put("device", ("p," + file).c_str());
    MAP_domain(&dom);
    if (PLT_open(0) != 0) return 100;
    MAP_setup(const_cast<Domain*>(&dom));
    DATA_new_grid();
    DATA_fit_grid(&d);
    GRD_report* g = GRD_get_grid(0);
    if (g == nullptr || g->grid == nullptr) return 101;
    frame(&d);
    PLT_close();
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  kez_test::Raster page;
  auto run = kez_test::gs_render(file, 612, 792, &page);
  EXPECT_TRUE(run.clean()) << run.log;
  long ink = 0;
  for (size_t k = 0; k + 2 < page.rgb.size(); k += 3)
    if (page.rgb[k] < 200 || page.rgb[k + 1] < 200 || page.rgb[k + 2] < 200) ++ink;
  EXPECT_GT(ink, 2000);
  const std::string ps = kez_test::read_file(file);
  /* Every station shows its temperature, dew point and pressure: texts
   * of the plot, inside the plot window. */
  int texts = 0;
  for (size_t at = ps.find("%%TE:"); at != std::string::npos; at = ps.find("%%TE:", at + 1)) ++texts;
  EXPECT_GE(texts, 80 * 3) << "texts: " << texts;
  if (const char* keep = std::getenv("KEZ_KEEP_PLOTS")) kez_test::run_command("cp " + file + " " + keep + "/");
}

} // namespace

namespace {

/* An analysed field, a warm centre and a cold one, drawn as lines over
 * colour fill through the contour layer's hooks on a device; the image
 * dump of the plot frame as asked in "plot_param". */
int analysed_lines_over_fill(const std::string& device, const char* plot_param) {
  RES_put("con_interval", "4");
  RES_put("color_cont", "black");
  RES_put("plot_format", "lcf:bar");
  RES_put("plot_param", plot_param);
  FLAG_set(FLAG_BATCH, 1);
  prepare("temp::cont");
  const Domain dom = region();
  DATA_info d = source(dom);
  station_grid([](int i, int j) {
    const float t = 50 + 30 * std::exp(-((i - 2) * (i - 2) + (j - 4) * (j - 4)) / 6.0f) -
                    25 * std::exp(-((i - 7) * (i - 7) + (j - 3) * (j - 3)) / 6.0f);
    return station("", t, 20, 0, 5);
  });
  d.out_grid = [] { return 0; };
  d.grid_data = grid_step;
  RES_put("device", device.c_str());
  MAP_domain(&dom);
  if (PLT_open(0) != 0) return 100;
  MAP_setup(const_cast<Domain*>(&dom));
  DATA_new_grid();
  DATA_fit_grid(&d);
  frame(&d);
  PLT_dump(0);
  PLT_close();
  return 0;
}

/* The field on a PostScript page carries contour labels, highs and lows
 * and the colour bar's levels. */
TEST(DataFrame, AnalysedFieldAsLinesOverFillWithLabelsExtremaAndBar) {
  ASSERT_TRUE(kez_test::have_program("gs")) << "ghostscript is needed";
  TempDir dir;
  const std::string file = std::getenv("KEZ_LCF_PS") ? std::getenv("KEZ_LCF_PS") : dir.file("frame.ps");
  auto r = run_child([&] {
    setenv("PSCOLOR", "1", 1);
    return analysed_lines_over_fill("p," + file, "");
  });
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  kez_test::Raster page;
  auto run = kez_test::gs_render(file, 612, 792, &page);
  EXPECT_TRUE(run.clean()) << run.log;
  /* The texts of the page with where they stand: "%%TE:x y text". */
  struct Text {
    float x, y;
    std::string s;
  };
  std::vector<Text> texts;
  std::istringstream in(kez_test::read_file(file));
  std::string line;
  while (std::getline(in, line)) {
    Text t{};
    int used = 0;
    if (std::sscanf(line.c_str(), "%%%%TE:%f %f %n", &t.x, &t.y, &used) == 2 && used > 0) {
      t.s = line.substr(static_cast<size_t>(used));
      texts.push_back(t);
    }
  }
  int highs = 0, lows = 0, numbers = 0;
  for (const Text& t : texts) {
    highs += t.s == "H";
    lows += t.s == "L";
    char* end = nullptr;
    std::strtod(t.s.c_str(), &end);
    numbers += !t.s.empty() && end && *end == '\0';
  }
  EXPECT_GE(highs, 1) << r.out;
  EXPECT_GE(lows, 1) << r.out;
  /* every extremum's value, the bar's levels and the contour labels */
  EXPECT_GE(numbers, highs + lows + 8) << numbers;
}

/* The same frame in a window, dumped as PNG: a valid image in the colours
 * of the bands. */
TEST(DataFrame, AnalysedFieldAsLinesOverFillDumpsAsPng) {
  kez_test::XServer x(800, 700, 24);
  if (!x.ok()) GTEST_SKIP() << "Xvfb is needed";
  if (!kez_test::have_program("pngcheck") || !kez_test::have_program("convert"))
    GTEST_SKIP() << "pngcheck and ImageMagick are needed";
  TempDir dir;
  auto r = run_child([&] {
    RES_put("image_path", dir.path().c_str());
    return analysed_lines_over_fill("display," + x.display(), "png=frame.png");
  });
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const std::string png = dir.file("frame.png");
  std::string out;
  EXPECT_EQ(kez_test::run_command("pngcheck " + png, &out), 0) << out;
  std::string colours;
  ASSERT_EQ(kez_test::run_command("convert " + png + " -format %k info:", &colours), 0) << colours;
  EXPECT_GE(std::atoi(colours.c_str()), 12) << "the bands, the lines and the background";
  if (const char* keep = std::getenv("KEZ_KEEP_PLOTS")) kez_test::run_command("cp " + png + " " + keep + "/");
}

} // namespace
