#include "grid_test_util.h"
#include "kez_test.h"
#include "kezgrd.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using grid_test::domain;
using grid_test::fill;
using grid_test::Grid;
using kez_test::capture;
using kez_test::have_program;
using kez_test::read_file;
using kez_test::run_command;
using kez_test::TempDir;
using kez_test::write_file;

constexpr float M = KEZ_FMISS;

struct Read {
  GRD_report r;
  Read() {
    std::memset(&r, 0, sizeof r);
    GRD_init(&r);
  }
  ~Read() { std::free(r.grid); }
  Read(const Read&) = delete;
  Read& operator=(const Read&) = delete;
  std::vector<float> values() const {
    if (!r.grid) return {};
    return std::vector<float>(r.grid, r.grid + static_cast<size_t>(r.domain.nx) * r.domain.ny);
  }
};

/* Sets an environment variable for the life of the object. */
struct Env {
  const char* name;
  Env(const char* n, const char* v) : name(n) { setenv(n, v, 1); }
  ~Env() { unsetenv(name); }
};

class GridCdf : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!have_program("ncgen") || !have_program("ncdump")) GTEST_SKIP() << "netcdf-bin missing";
    unsetenv("GRIDVAR");
    unsetenv("GRIBQP");
  }
  /* Compiles a CDL text with ncgen; the file's path. */
  std::string compile(const std::string& name, const std::string& cdl) {
    write_file(dir.file(name + ".cdl"), cdl);
    EXPECT_EQ(run_command("ncgen -o " + dir.file(name) + " " + dir.file(name + ".cdl")), 0) << cdl;
    return dir.file(name);
  }
  /* Opens a netCDF grid file (type detected) and reads its header. */
  int open(const std::string& path, GRD_info* info = nullptr) {
    int t = 0;
    int fd = GRD_open(path.c_str(), GRD_ACCESS_READ, &t);
    if (fd < 0) return -1;
    EXPECT_EQ(t, GRD_TYPE_NETCDF);
    GRD_info local{};
    if (GRD_getinfo(fd, info ? info : &local) != 0) {
      GRD_close(fd);
      return -1;
    }
    return fd;
  }
  TempDir dir;
};

int read_at(int fd, int n, Read* out, int kind = GRD_READ_ALL) {
  int num = n;
  return GRD_read(fd, &out->r, kind, &num);
}

/* Writes grids to a new netCDF file of the suite's layout. */
void write_cdf(const std::string& path, int grid_type, const std::vector<GRD_report*>& grids, int max_x, int max_y) {
  int t = GRD_TYPE_NETCDF;
  int fd = GRD_open(path.c_str(), GRD_ACCESS_WRITE, &t);
  ASSERT_GE(fd, 0);
  GRD_info info{};
  info.max_x = max_x;
  info.max_y = max_y;
  info.grid_type = grid_type;
  DATE_init(&info.date);
  info.date.year = 1997;
  info.date.month = 5;
  info.date.day = 1;
  info.date.hour = 12;
  ASSERT_EQ(GRD_putinfo(fd, &info), 0);
  for (size_t i = 0; i < grids.size(); ++i) {
    int n = static_cast<int>(i);
    ASSERT_EQ(GRD_write(fd, grids[i], 0, &n), 0);
  }
  ASSERT_EQ(GRD_close(fd), 0);
}

/* ---- the suite's layout -------------------------------------------------------------- */

TEST_F(GridCdf, EveryProjectionComesBackWithItsValuesAndHeader) {
  struct Case {
    Domain d;
    const char* what;
  };
  Domain lc = domain(4, 40.62f, -100.51f, 0.6263f, 0.6263f, 5, 4);
  lc.plon = -95;
  lc.plat = 25;
  lc.param[0] = 25;
  lc.param[1] = 25;
  lc.param[2] = 1.277f;
  Domain ps = domain(1, 50.8936f, -103.1524f, 0.9075f, 0.9075f, 4, 3);
  ps.plon = -105;
  const Case cases[] = {
      {ps, "polar stereographic"},
      {domain(2, 40, -100, 2.5f, 2.5f, 4, 3), "latitude/longitude"},
      {domain(3, 20, -80, 1, 1, 3, 3), "Mercator"},
      {lc, "Lambert with true latitudes"},
      {domain(5, 45, 10, 1, 1, 2, 2), "orthographic"},
  };
  std::vector<std::unique_ptr<Grid>> grids;
  std::vector<GRD_report*> recs;
  int k = 0;
  for (const Case& c : cases) {
    auto g =
        std::make_unique<Grid>(c.d, fill(c.d.nx, c.d.ny, [k](int i, int j) { return k * 100 + j * 10 + i + 0.25; }));
    g->r.grid[1] = M;
    g->r.source = 7;
    g->r.version = 2;
    g->r.model = 84 + k;
    g->r.type = 211;
    g->r.ltype = 100;
    g->r.level = 50100;       /* a layer 1000-500 mb: beyond 16 bits */
    g->r.time = 4006012;      /* a time code with an operation */
    g->r.var = 1000 + 11 * k; /* an ensemble parameter number */
    std::snprintf(g->r.datim, sizeof g->r.datim, "12Z  1 MAY 97 record %d", k);
    std::snprintf(g->r.info, sizeof g->r.info, "%s",
                  "A description of sixty-nine characters that the file can't hold whole");
    recs.push_back(&g->r);
    grids.push_back(std::move(g));
    ++k;
  }
  const std::string path = dir.file("all.nc");
  write_cdf(path, 0, recs, 5, 4);
  GRD_info info{};
  int fd = open(path, &info);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(info.grid_type, 0);
  EXPECT_EQ(info.max_x, 5);
  EXPECT_EQ(info.max_y, 4);
  EXPECT_EQ(info.date.year, 1997);
  EXPECT_EQ(info.date.month, 5);
  EXPECT_EQ(info.date.hour, 12);
  EXPECT_STREQ(info.datim, "1200Z  1 MAY 97") << "the label of the file's date";
  for (size_t i = 0; i < recs.size(); ++i) {
    SCOPED_TRACE(cases[i].what);
    Read r;
    ASSERT_EQ(read_at(fd, static_cast<int>(i), &r), 0);
    const GRD_report& w = *recs[i];
    EXPECT_EQ(r.values(), grids[i]->values());
    EXPECT_EQ(r.r.source, 7);
    EXPECT_EQ(r.r.version, 2);
    EXPECT_EQ(r.r.model, w.model);
    EXPECT_EQ(r.r.type, 211);
    EXPECT_EQ(r.r.ltype, 100);
    EXPECT_EQ(r.r.level, 50100);
    EXPECT_EQ(r.r.time, 4006012);
    EXPECT_EQ(r.r.var, w.var);
    EXPECT_STREQ(r.r.datim, w.datim);
    EXPECT_EQ(std::string(r.r.info), std::string(w.info).substr(0, 49));
    const Domain& a = r.r.domain;
    const Domain& b = w.domain;
    EXPECT_EQ(a.proj, b.proj);
    EXPECT_EQ(a.clat, b.clat);
    EXPECT_EQ(a.clon, b.clon);
    EXPECT_EQ(a.plat, b.plat);
    EXPECT_EQ(a.plon, b.plon);
    EXPECT_EQ(a.dx, b.dx);
    EXPECT_EQ(a.dy, b.dy);
    EXPECT_EQ(a.nx, b.nx);
    EXPECT_EQ(a.ny, b.ny);
    for (int p = 0; p < 5; ++p) EXPECT_EQ(a.param[p], b.param[p]) << "param " << p;
  }
  Read past;
  EXPECT_EQ(read_at(fd, 5, &past), -1);
  /* -1 reads the file's current record, which a rewind sets to 0. */
  ASSERT_EQ(GRD_rewind(fd), 0);
  Read r0, r1;
  int n = -1;
  ASSERT_EQ(GRD_read(fd, &r0.r, GRD_READ_ALL, &n), 0);
  EXPECT_EQ(n, 0);
  n = -1;
  ASSERT_EQ(GRD_read(fd, &r1.r, GRD_READ_HEADER, &n), 0);
  EXPECT_EQ(n, 1);
  EXPECT_EQ(r1.r.grid, nullptr);
  EXPECT_EQ(r1.r.model, 85);
  char header[GRD_HEADER_LEN];
  EXPECT_EQ(GRD_get_header(fd, header), -1) << "no stream to take a header from";
  EXPECT_EQ(GRD_close(fd), 0);
}

TEST_F(GridCdf, CoordinateLayoutKeepsOnlyTheGridSize) {
  Grid g(domain(2, 40, -100, 1, 1, 3, 2), {1, 2, 3, 4, 5, 6});
  g.r.model = 84;
  const std::string path = dir.file("coord.nc");
  write_cdf(path, 1, {&g.r}, 3, 2);
  GRD_info info{};
  int fd = open(path, &info);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(info.grid_type, 1);
  EXPECT_EQ(GRD_get_gfile(fd)->grid, 1);
  Read r;
  ASSERT_EQ(read_at(fd, 0, &r), 0);
  EXPECT_EQ(r.values(), g.values());
  EXPECT_EQ(r.r.domain.nx, 3);
  EXPECT_EQ(r.r.domain.ny, 2);
  EXPECT_EQ(r.r.domain.proj, KEZ_MISS);
  GRD_close(fd);
  std::string cdl;
  ASSERT_EQ(run_command("ncdump -h " + path, &cdl), 0);
  EXPECT_NE(cdl.find("float x_coord(grid, x, y)"), std::string::npos) << cdl;
  EXPECT_EQ(cdl.find("proj"), std::string::npos) << cdl;
}

const char kExpectedCdl[] = R"(netcdf w {
dimensions:
	grid = UNLIMITED ; // (2 currently)
	x = 3 ;
	y = 2 ;
	string_len = 50 ;
	param_len = 5 ;
variables:
	float values(grid, x, y) ;
		values:name = "VALUES" ;
		values:long_name = "Grid values" ;
		values:_FillValue = -9999.f ;
	int proj(grid) ;
		proj:name = "PROJ" ;
		proj:long_name = "Projection" ;
	float lat1(grid) ;
		lat1:name = "CLAT" ;
		lat1:long_name = "Grid central latitude" ;
		lat1:units = "DEG" ;
	float lat2(grid) ;
		lat2:name = "LAT2" ;
		lat2:long_name = "Grid secondary latitude" ;
		lat2:units = "DEG" ;
	float lon1(grid) ;
		lon1:name = "CLON" ;
		lon1:long_name = "Grid central longitude" ;
		lon1:units = "DEG" ;
	float lon2(grid) ;
		lon2:name = "LON2" ;
		lon2:long_name = "Grid secondary longitude" ;
		lon2:units = "DEG" ;
	float dx(grid) ;
		dx:name = "DX" ;
		dx:long_name = "Grid spacing in X direction" ;
		dx:units = "100 KM" ;
	float dy(grid) ;
		dy:name = "DY" ;
		dy:long_name = "Grid spacing in Y direction" ;
		dy:units = "100 KM" ;
	float param(grid, param_len) ;
		param:name = "PARAM" ;
		param:long_name = "Projection parameters" ;
		param:_FillValue = -9999.f ;
	char datim(grid, string_len) ;
		datim:name = "DATETIME" ;
		datim:long_name = "Grid date/time information" ;
	char info(grid, string_len) ;
		info:name = "INFO" ;
		info:long_name = "Grid variable information" ;
	char units(grid, string_len) ;
		units:name = "UNITS" ;
		units:long_name = "Grid value units" ;
	int source(grid) ;
		source:name = "SOURCE" ;
		source:long_name = "Grid creation source" ;
	int version(grid) ;
		version:name = "VERSION" ;
		version:long_name = "Grid encoding version" ;
	int model(grid) ;
		model:name = "MODEL" ;
		model:long_name = "Model name" ;
	int type(grid) ;
		type:name = "TYPE" ;
		type:long_name = "Model grid type" ;
	int ltype(grid) ;
		ltype:name = "LTYPE" ;
		ltype:long_name = "Vertical level type" ;
	int level(grid) ;
		level:name = "LEVEL" ;
		level:long_name = "Vertical level value" ;
	int time(grid) ;
		time:name = "TIME" ;
		time:long_name = "Forecast time" ;
		time:units = "HOUR" ;
	int var(grid) ;
		var:name = "VAR" ;
		var:long_name = "Grid variable type" ;
	int nx(grid) ;
		nx:name = "NX" ;
		nx:long_name = "Gridpoints in X direction" ;
	int ny(grid) ;
		ny:name = "NY" ;
		ny:long_name = "Gridpoints in Y direction" ;

// global attributes:
		:source = "KEZ" ;
		:version = "1.0" ;
		:grid_type = 0s ;
		:year = 1997s ;
		:month = 5s ;
		:day = 1s ;
		:hour = 12s ;
}
)";

TEST_F(GridCdf, WrittenFileHasTheLayoutOthersRead) {
  Grid a(domain(2, 40, -100, 1, 1, 3, 2), {1, 2, 3, 4, 5, 6});
  Grid b(domain(1, 60, -105, 1, 1, 2, 2), {7, 8, 9, M});
  a.r.level = 50100;
  a.r.var = 11;
  b.r.time = 4006012;
  std::snprintf(b.r.info, sizeof b.r.info, "second");
  const std::string path = dir.file("w");
  write_cdf(path, 0, {&a.r, &b.r}, 3, 2);
  std::string cdl;
  ASSERT_EQ(run_command("ncdump -h " + path, &cdl), 0);
  EXPECT_EQ(cdl, kExpectedCdl);

  const std::string prog =
      "import netCDF4\nd = netCDF4.Dataset('" + path +
      "')\n"
      "v = d['values']\n"
      "print(list(v[0].flatten()), list(v[1].filled(-1).flatten()[:4]))\n"
      "print(int(d['level'][0]), int(d['time'][1]), int(d['var'][0]), int(d['proj'][1]))\n"
      "print(float(d['lat1'][1]), int(d['nx'][0]), int(d['ny'][1]), netCDF4.chartostring(d['info'][1]))\n";
  write_file(path + ".py", prog);
  std::string out;
  ASSERT_EQ(run_command("/usr/bin/python3 " + path + ".py", &out), 0);
  EXPECT_EQ(out,
            "[1.0, 2.0, 3.0, 4.0, 5.0, 6.0] [7.0, 8.0, 9.0, -1.0]\n"
            "50100 4006012 11 1\n"
            "60.0 3 2 second\n");
  if (have_program("cdo")) {
    std::string info;
    EXPECT_EQ(run_command("cdo -s sinfo " + path + " 2>/dev/null", &info), 0) << info;
    EXPECT_NE(info.find("File format : NetCDF"), std::string::npos) << info;
    EXPECT_NE(info.find("points=6 (2x3)"), std::string::npos) << info;
    EXPECT_EQ(run_command("cdo -s infon -selname,values " + path + " 2>/dev/null", &info), 0);
    write_file(dir.file("infon.txt"), info);
    std::string stats;
    EXPECT_EQ(run_command("awk '$1 ~ /^[0-9]+$/ {print $6, $7, $9, $10, $11}' " + dir.file("infon.txt"), &stats), 0);
    /* gridsize, missing, minimum, mean, maximum of each record */
    EXPECT_EQ(stats, "6 0 1.0000 3.5000 6.0000\n6 3 7.0000 8.0000 9.0000\n") << info;
  }
}

TEST_F(GridCdf, OlderFilesWithShortHeaderNumbersStillRead) {
  /* The 16-bit header numbers of files written before, without "param". */
  const std::string path = compile("old.nc", R"(netcdf old {
dimensions: grid = UNLIMITED ; x = 2 ; y = 2 ; string_len = 50 ;
variables:
  float values(grid, x, y) ; values:_FillValue = -9999.f ;
  float lat1(grid) ; float lat2(grid) ; float lon1(grid) ; float lon2(grid) ;
  float dx(grid) ; float dy(grid) ;
  char datim(grid, string_len) ; char info(grid, string_len) ;
  short source(grid) ; short version(grid) ; short model(grid) ; short type(grid) ;
  short ltype(grid) ; short level(grid) ; short time(grid) ; short var(grid) ;
  short nx(grid) ; short ny(grid) ;
  :source = "KEZ" ; :version = "1.0" ; :grid_type = 0s ; :year = 97s ; :month = 5s ;
  :day = 1s ; :hour = 0s ;
data:
  values = 1, 2, 3, 4, 5, 6, 7, 8 ;
  lat1 = 40, 60 ; lat2 = 40, 60 ; lon1 = -100, -105 ; lon2 = -100, -105 ; dx = 1, 2 ; dy = 1, 2 ;
  datim = "0000Z  1 MAY 97", "1200Z  1 MAY 97" ; info = "first", "second" ;
  source = 1, 1 ; version = 1, 1 ; model = 84, 3 ; type = 0, 0 ; ltype = 100, 100 ;
  level = 500, 850 ; time = 0, 12 ; var = 7, 11 ; nx = 2, 2 ; ny = 2, 2 ;
}
)");
  GRD_info info{};
  int fd = open(path, &info);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(info.date.year, 97);
  Read a, b;
  ASSERT_EQ(read_at(fd, 0, &a), 0);
  ASSERT_EQ(read_at(fd, 1, &b), 0);
  EXPECT_EQ(a.values(), (std::vector<float>{1, 2, 3, 4}));
  EXPECT_EQ(b.values(), (std::vector<float>{5, 6, 7, 8}));
  /* Without "proj": latitude/longitude for models above 9, else polar. */
  EXPECT_EQ(a.r.domain.proj, 2);
  EXPECT_EQ(b.r.domain.proj, 1);
  EXPECT_EQ(b.r.domain.dx, 2);
  EXPECT_EQ(b.r.domain.param[0], M);
  EXPECT_EQ(b.r.level, 850);
  EXPECT_EQ(b.r.time, 12);
  EXPECT_STREQ(b.r.info, "second");
  EXPECT_STREQ(a.r.datim, "0000Z  1 MAY 97");
  EXPECT_STREQ(b.r.units, "") << "files without units still read, without them";
  GRD_close(fd);
}

TEST_F(GridCdf, SavedAnalysisIsFoundAgainAndReused) {
  /* What a plot with "out_file" "cdf" does: save the analysed grid, then on
   * the next run reuse it when it covers the same domain. */
  auto r = kez_test::run_child([&] {
    RES_put("grid_path", dir.path().c_str());
    FLAG_set(GRD_FLAG_FILE_PARAM, 3);
    FLAG_set_batch(1);
    Domain d = domain(4, 40, -95, 0.8f, 0.8f, 6, 5);
    d.plat = 25;
    d.plon = -95;
    d.param[0] = 25;
    d.param[1] = 45;
    Grid g(d, fill(6, 5, [](int i, int j) { return i * 1.5 - j; }));
    g.r.model = 50;
    g.r.var = 11;
    g.r.time = 4006012;
    GRD_info info{};
    Date date;
    DATE_init(&date);
    date.year = 2026;
    date.month = 12;
    date.day = 10;
    date.hour = 12;
    GRD_set_info(&info, &date, &d);
    std::printf("saved=%d\n", GRD_save_file("an.nc", &g.r, &info, GRD_TYPE_NETCDF));
    GRD_report back;
    std::memset(&back, 0, sizeof back);
    GRD_init(&back);
    GRD_info binfo{};
    int type = 0;
    int res = GRD_read_check("an.nc", &back, &binfo, &type, &d);
    bool same = back.grid && std::memcmp(back.grid, g.r.grid, sizeof(float) * 30) == 0;
    std::printf("reused=%d type=%d same=%d time=%d param=%g year=%d\n", res, type, same ? 1 : 0, back.time,
                back.domain.param[1], binfo.date.year);
    std::free(back.grid);
    return 0;
  });
  EXPECT_NE(r.out.find("saved=1"), std::string::npos) << r.out << r.err;
  EXPECT_NE(r.out.find("reused=1 type=11 same=1 time=4006012 param=45 year=2026"), std::string::npos) << r.out << r.err;
}

/* ---- foreign model output --------------------------------------------------------------- */

/* A model file over (rtime, frtime 3, level 4, lat 3, lon 4) whose value at
 * time t, level l, file row s, column c is 1000 t + 100 l + 10 s + c. */
std::string model_cdl(const std::string& title, const std::string& extra_vars = "",
                      const std::string& extra_data = "") {
  std::string vals;
  for (int t = 0; t < 3; ++t)
    for (int l = 0; l < 4; ++l)
      for (int s = 0; s < 3; ++s)
        for (int c = 0; c < 4; ++c) vals += std::to_string(1000 * t + 100 * l + 10 * s + c) + ",";
  vals.pop_back();
  return "netcdf m {\ndimensions: rtime = UNLIMITED ; frtime = 3 ; level = 4 ; lat = 3 ; lon = 4 ;\n"
         "variables:\n  int year(rtime) ; int month(rtime) ; int day(rtime) ; int hour(rtime) ;\n"
         "  float lat(lat) ; float lon(lon) ; float level(level) ; float frtime(frtime) ;\n"
         "  int grib_center(rtime) ; int grib_model(rtime) ;\n"
         "  float T(rtime, frtime, level, lat, lon) ; T:units = \"degK\" ;\n"
         "  float u_wind(rtime, frtime, level, lat, lon) ; u_wind:units = \"m/s\" ;\n"
         "  float W(rtime, frtime, level, lat, lon) ; W:long_name = \"Mystery field\" ;\n"
         "    W:units = \"furlongs\" ;\n" +
         extra_vars + "  :title = \"" + title +
         "\" ;\n"
         "data:\n  year = 1997 ; month = 5 ; day = 1 ; hour = 12 ;\n"
         "  lat = 30, 35, 40 ; lon = -110, -105, -100, -95 ; level = 1000, 850, 700, 500 ;\n"
         "  frtime = 0, 12, 24 ; grib_center = 7 ; grib_model = 84 ;\n  T = " +
         vals + " ;\n  u_wind = " + vals + " ;\n  W = " + vals + " ;\n" + extra_data + "}\n";
}

TEST_F(GridCdf, ForeignRecordsStepTimeMajorAcrossTheVariables) {
  const std::string path = compile("m.nc", model_cdl("NMC Early Eta"));
  GRD_info info{};
  int fd = open(path, &info);
  ASSERT_GE(fd, 0);
  const GRD_file* f = GRD_get_gfile(fd);
  ASSERT_EQ(f->var_num, 2);
  EXPECT_EQ(f->var[0], 11);
  EXPECT_EQ(f->var[1], 33);
  EXPECT_EQ(info.date.year, 1997);
  EXPECT_EQ(info.date.hour, 12);

  Read r;
  ASSERT_EQ(read_at(fd, 5, &r), 0); /* time index 1, level index 1 */
  EXPECT_EQ(r.r.var, 11);
  EXPECT_STREQ(r.r.units, "K");
  EXPECT_EQ(r.r.time, 12);
  EXPECT_EQ(r.r.ltype, 10);
  EXPECT_EQ(r.r.level, 850);
  EXPECT_EQ(r.r.source, 7);
  EXPECT_EQ(r.r.model, 84);
  EXPECT_EQ(r.r.version, 1);
  EXPECT_EQ(r.r.domain.proj, 2);
  EXPECT_EQ(r.r.domain.nx, 4);
  EXPECT_EQ(r.r.domain.ny, 3);
  EXPECT_EQ(r.r.domain.dx, 5);
  EXPECT_EQ(r.r.domain.dy, 5);
  EXPECT_EQ(r.r.domain.clat, 35);
  EXPECT_EQ(r.r.domain.clon, -102.5f);
  EXPECT_EQ(r.r.date.year, 1997);
  EXPECT_NE(std::string(r.r.datim), "");
  /* The file's first latitude row is the array's bottom row. */
  EXPECT_EQ(r.values(), (std::vector<float>{1120, 1121, 1122, 1123, 1110, 1111, 1112, 1113, 1100, 1101, 1102, 1103}));
  /* The layout code of "NMC Early" is refined by the first variable. */
  EXPECT_EQ(GRD_get_gfile(fd)->itype, 40);
  Read u;
  ASSERT_EQ(read_at(fd, 12 + 11, &u), 0); /* u_wind, last time, last level */
  EXPECT_EQ(u.r.var, 33);
  EXPECT_STREQ(u.r.units, "m/s");
  EXPECT_EQ(u.r.time, 24);
  EXPECT_EQ(u.r.level, 500);
  EXPECT_EQ(u.values()[8], 2300);
  Read past, back;
  EXPECT_EQ(read_at(fd, 24, &past), -1);
  /* Going back to the first variable restarts the stepping. */
  ASSERT_EQ(read_at(fd, 3, &back, GRD_READ_HEADER), 0);
  EXPECT_EQ(back.r.var, 11);
  EXPECT_EQ(back.r.level, 500);
  EXPECT_EQ(back.r.grid, nullptr);

  /* Searches find fields by time, level and parameter. */
  VAR_data want[1];
  GRD_set_params(&want[0], 24, 10, 700, 33);
  GRD_report found[1];
  std::memset(found, 0, sizeof found);
  GRD_init(&found[0]);
  ASSERT_EQ(GRD_rewind(fd), 0);
  EXPECT_EQ(GRD_search(fd, found, want, KEZ_MISS, -1), 1);
  EXPECT_EQ(found[0].var, 33);
  EXPECT_EQ(found[0].level, 700);
  ASSERT_NE(found[0].grid, nullptr);
  EXPECT_EQ(found[0].grid[11], 2203); /* bottom row: file row 0 */
  std::free(found[0].grid);
  GRD_close(fd);
}

TEST_F(GridCdf, GridvarIsListedFirstWithItsOwnDescription) {
  const std::string path = compile("m.nc", model_cdl("Some model"));
  Env gv("GRIDVAR", "W");
  int fd = open(path);
  ASSERT_GE(fd, 0);
  const GRD_file* f = GRD_get_gfile(fd);
  ASSERT_EQ(f->var_num, 3);
  EXPECT_EQ(f->var[0], 0);
  EXPECT_EQ(f->var[1], 11);
  EXPECT_STREQ(f->var_nm, "W");
  Read r;
  ASSERT_EQ(read_at(fd, 0, &r), 0);
  EXPECT_EQ(r.r.var, 0);
  EXPECT_STREQ(r.r.info, "Mystery field (furlongs)");
  EXPECT_EQ(GRD_get_gfile(fd)->itype, 1) << "a plain title is not refined";
  Read t;
  ASSERT_EQ(read_at(fd, 12, &t), 0);
  EXPECT_EQ(t.r.var, 11);
  GRD_close(fd);
}

/* Older model output names its fields its own way; they are read with the
 * GRIB edition 1 numbers of the variable table and the units of the file,
 * so that "temp" and "uwnd" find them as they find GRIB fields. */
TEST_F(GridCdf, ParameterNumbersAndUnitsOfOlderOutput) {
  struct Case {
    const char* name;
    const char* units;
    int param;
    const char* read_units;
  };
  const Case cases[] = {
      {"Psl", "Pa", 1, "Pa"},
      {"PRESSURE", "hectopascals", 1, "hPa"},
      {"Z", "gp m", 7, "gpm"},
      {"gpt_hgt", "geopotential dekameters", 7, "dam"},
      {"temp", "kelvin", 11, "K"},
      {"T", "degC", 11, "C"},
      {"RH", "percent", 52, "%"},
      {"U", "m/s", 33, "m/s"},
      {"Vsfc", "knots", 34, "knt"},
      {"omega", "Pa/s", 39, "Pa/s"},
      {"vert_vel", "millibars/second", 39, "mb/s"},
      {"SST", "degC", 80, "C"},
      {"sea_temp", "degK", 80, "K"},
      {"SST", "0.5 degC", 80, "0.5 degC"},
      {"wave_hgt", "meters", 100, "m"},
      {"wave_hgt", "0.5 meters", 100, "0.5 meters"},
      {"wave_dir", "degrees true", 107, "deg"},
      {"wave_dir", "10 degrees", 107, "10 degrees"},
      {"precip", "mm", 61, "mm"},
      {"wave_per", "s", 108, "s"},
      {"lift_indx", "K", 131, "K"},
  };
  int k = 0;
  for (const Case& c : cases) {
    /* One file per case: some names recur with other units. */
    const std::string name = c.name;
    const std::string p =
        compile("p" + std::to_string(k) + ".nc",
                "netcdf p { dimensions: lat = 2 ; lon = 2 ;\nvariables: float " + name + "(lat, lon) ; " + name +
                    ":units = \"" + c.units + "\" ;\n float snow(lat, lon) ;\ndata: " + name + " = 1, 2, 3, 4 ;\n}\n");
    int fd = open(p);
    ASSERT_GE(fd, 0) << c.name;
    const GRD_file* f = GRD_get_gfile(fd);
    ASSERT_EQ(f->var_num, 1) << c.name << " " << c.units << " (snow is never read)";
    EXPECT_EQ(f->var[0], c.param) << c.name << " " << c.units;
    Read r;
    ASSERT_EQ(read_at(fd, 0, &r), 0) << c.name;
    EXPECT_EQ(r.r.var, c.param) << c.name;
    EXPECT_STREQ(r.r.units, c.read_units) << c.name << " " << c.units;
    GRD_close(fd);
    ++k;
  }
}

TEST_F(GridCdf, LayoutCodesAndLevelHintsComeFromTheTitle) {
  /* No "rtime": 100 more; "72 hours": a 500 mb field at 72 hours. */
  const std::string path = compile("t.nc", R"(netcdf t {
dimensions: lat = 2 ; lon = 3 ; timelen = 16 ;
variables: float lat(lat) ; float lon(lon) ; char reftime(timelen) ;
  float Z(lat, lon) ; Z:units = "gp m" ;
  :title = "NMC Early 500 mb height 72 hours" ;
data: lat = 40, 50 ; lon = 0, 10, 20 ; reftime = "2005-06-07 18:00" ;
  Z = 1, 2, 3, 4, 5, 6 ;
}
)");
  GRD_info info{};
  int fd = open(path, &info);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(GRD_get_gfile(fd)->itype, 113);
  /* A reference year of 2005 is kept (years through 2099 are taken). */
  EXPECT_EQ(info.date.year, 2005);
  EXPECT_EQ(info.date.month, 6);
  Read r;
  ASSERT_EQ(read_at(fd, 0, &r), 0);
  EXPECT_EQ(r.r.ltype, 10);
  EXPECT_EQ(r.r.level, 500);
  EXPECT_EQ(r.r.time, 72);
  EXPECT_EQ(r.r.var, 7);
  EXPECT_EQ(r.r.date.year, 2005);
  EXPECT_EQ(r.r.date.day, 7);
  EXPECT_EQ(r.r.date.hour, 18);
  EXPECT_EQ(r.values(), (std::vector<float>{4, 5, 6, 1, 2, 3}));
  Read past;
  EXPECT_EQ(read_at(fd, 1, &past), -1);
  GRD_close(fd);

  struct Title {
    const char* title;
    int code;
  };
  const Title titles[] = {{"NMC Extended", 20}, {"ECMWF: analysis", 30},   {"NMC Global", 40},
                          {"NMC Ear", 1},       {"NMC Early Trop", 11},    {"x Maximum wind", 3},
                          {"72 hours Trop", 5}, {"NMC Early 72 hours", 13}};
  int k = 0;
  for (const Title& t : titles) {
    const std::string p =
        compile("t" + std::to_string(k++) + ".nc", std::string("netcdf t { dimensions: rtime = 1 ; lon = 2 ;\n"
                                                               ":title = \"") +
                                                       t.title + "\" ; }\n");
    int h = open(p);
    ASSERT_GE(h, 0);
    EXPECT_EQ(GRD_get_gfile(h)->itype, t.code) << t.title;
    GRD_close(h);
  }
}

TEST_F(GridCdf, TimeOnlyFieldsLevelOnlyFieldsAndMissingRecords) {
  const std::string path = compile("q.nc", R"(netcdf q {
dimensions: rtime = UNLIMITED ; frtime = 2 ; level = 2 ; lat = 2 ; lon = 2 ; timelen = 16 ;
variables: float lat(lat) ; float lon(lon) ; float frtime(frtime) ; float level(level) ;
  char reftime(rtime, timelen) ; int grib_model(rtime) ;
  float precip(rtime, frtime, lat, lon) ; precip:units = "mm" ;
  float Psl(rtime, frtime, lat, lon) ; Psl:units = "Pa" ;
  float RH(rtime, level, lat, lon) ; RH:units = "%" ;
data: lat = 10, 20 ; lon = 100, 110 ; frtime = 12, 24 ; level = 925, 850 ;
  reftime = "1999-12-31 06:00" ; grib_model = 77 ;
  precip = 1, 2, 3, 4, 1.0e35, 1.0e35, 1.0e35, 1.0e35 ;
  Psl = 101000, 101100, 101200, 2.0e30, 1, 2, 3, 4 ;
  RH = 50, 60, 70, 80, 55, 65, 75, 85 ;
}
)");
  Env qp("GRIBQP", "6");
  int fd = open(path);
  ASSERT_GE(fd, 0);
  Read p0, p1, s0, rh1;
  ASSERT_EQ(read_at(fd, 0, &p0), 0);
  EXPECT_EQ(p0.r.var, 61);
  EXPECT_EQ(p0.r.time, 18) << "12 hours and GRIBQP";
  EXPECT_EQ(p0.r.ltype, 1);
  EXPECT_EQ(p0.r.type, 11) << "model 77";
  EXPECT_EQ(p0.r.date.year, 1999);
  ASSERT_EQ(read_at(fd, 1, &p1), 0);
  EXPECT_EQ(p1.r.source, 0) << "a first value of 1e35 marks the record missing";
  EXPECT_EQ(p1.r.var, 0);
  EXPECT_EQ(p1.values(), (std::vector<float>{M, M, M, M}));
  ASSERT_EQ(read_at(fd, 2, &s0), 0);
  EXPECT_EQ(s0.r.var, 1);
  EXPECT_EQ(s0.r.ltype, 12);
  EXPECT_EQ(s0.r.time, 12);
  EXPECT_EQ(s0.values(), (std::vector<float>{101200, M, 101000, 101100}));
  /* A field over levels without times: one record per level. */
  ASSERT_EQ(read_at(fd, 5, &rh1), 0);
  EXPECT_EQ(rh1.r.var, 52);
  EXPECT_EQ(rh1.r.ltype, 10);
  EXPECT_EQ(rh1.r.level, 850);
  EXPECT_EQ(rh1.values(), (std::vector<float>{75, 85, 55, 65}));
  Read past;
  EXPECT_EQ(read_at(fd, 6, &past), -1);
  /* The missing record is not found by a search. */
  VAR_data want[1];
  GRD_set_params(&want[0], 24, KEZ_MISS, KEZ_MISS, 61);
  GRD_report found[1];
  std::memset(found, 0, sizeof found);
  GRD_init(&found[0]);
  EXPECT_EQ(GRD_search(fd, found, want, KEZ_MISS, -1), 0);
  std::free(found[0].grid);
  GRD_close(fd);
}

TEST_F(GridCdf, FixedGeometriesOfTheKnownModels) {
  /* 83 longitudes without latitudes: the polar stereographic grid; model
   * 69 past 72 hours on 72 columns: widened by a copy of the first. */
  std::string ps =
      "netcdf g { dimensions: rtime = 1 ; x = 83 ; y = 83 ;\n"
      "variables: int grib_model(rtime) ; float H(rtime, y, x) ; H:units = \"gp m\" ;\n"
      "data: grib_model = 39 ; H = ";
  for (int i = 0; i < 83 * 83; ++i) ps += std::to_string(i % 83) + (i + 1 < 83 * 83 ? "," : ";\n}\n");
  int fd = open(compile("ps.nc", ps));
  ASSERT_GE(fd, 0);
  Read a;
  ASSERT_EQ(read_at(fd, 0, &a), 0);
  EXPECT_EQ(a.r.domain.proj, 1);
  EXPECT_EQ(a.r.domain.nx, 83);
  EXPECT_EQ(a.r.domain.clat, 50.8936f);
  EXPECT_EQ(a.r.domain.plon, -105.0f);
  EXPECT_EQ(a.r.type, 50) << "model 39";
  EXPECT_EQ(a.r.grid[82], 82);
  GRD_close(fd);

  std::string wide =
      "netcdf w { dimensions: rtime = 1 ; frtime = 1 ; lat = 2 ; lon = 72 ;\n"
      "variables: int grib_model(rtime) ; float frtime(frtime) ;\n"
      "  float lat(lat) ; float lon(lon) ; float V(rtime, frtime, lat, lon) ;\n"
      "data: grib_model = 69 ; frtime = 96 ; lat = 0, 5 ; lon = ";
  for (int i = 0; i < 72; ++i) wide += std::to_string(i * 5) + (i < 71 ? "," : ";\n V = ");
  for (int i = 0; i < 144; ++i) wide += std::to_string(i) + (i < 143 ? "," : ";\n}\n");
  fd = open(compile("wide.nc", wide));
  ASSERT_GE(fd, 0);
  Read w;
  ASSERT_EQ(read_at(fd, 0, &w), 0);
  EXPECT_EQ(w.r.type, 11);
  EXPECT_EQ(w.r.time, 96);
  EXPECT_EQ(w.r.domain.nx, 73);
  EXPECT_EQ(w.r.domain.clon, 177.5f + 2.5f);
  ASSERT_EQ(w.values().size(), 146u);
  EXPECT_EQ(w.r.grid[0], 72);  /* top row: the file's second */
  EXPECT_EQ(w.r.grid[72], 72); /* its copy of the first column */
  EXPECT_EQ(w.r.grid[73 + 72], 0);
  GRD_close(fd);

  /* Model 83 without coordinates: the Lambert grid 211. */
  std::string lc =
      "netcdf l { dimensions: rtime = 1 ; x = 93 ; y = 65 ;\n"
      "variables: int grib_model(rtime) ; float T(rtime, y, x) ;\n"
      "data: grib_model = 83 ; }\n";
  fd = open(compile("lc.nc", lc));
  ASSERT_GE(fd, 0);
  Read l;
  ASSERT_EQ(read_at(fd, 0, &l, GRD_READ_HEADER), 0);
  EXPECT_EQ(l.r.type, 211);
  EXPECT_EQ(l.r.domain.proj, 4);
  EXPECT_EQ(l.r.domain.param[2], 1.277f);
  GRD_close(fd);
}

/* ---- present-day output: what CF says and what is refused -------------------------------- */

/* A small CF file: packed temperatures on two pressure levels at two
 * times (half a day and a day after 12Z 28 February 2020, a forecast from
 * 0Z that day), a field of cdo's tropopause, a sea-level pressure without
 * levels or times, and a field over a dimension of no coordinate. */
const char kCfCdl[] = R"(netcdf cf {
dimensions: time = 2 ; lat = 3 ; lon = 4 ; lev = 2 ; other = 2 ;
variables:
  double time(time) ; time:units = "days since 2020-02-28 12:00:00" ; time:calendar = "standard" ;
  double ref ; ref:standard_name = "forecast_reference_time" ; ref:units = "hours since 2020-02-28T00:00Z" ;
  float lat(lat) ; lat:units = "degrees_north" ;
  float lon(lon) ; lon:units = "degrees_east" ;
  float lev(lev) ; lev:standard_name = "air_pressure" ; lev:units = "hPa" ;
  short q(time, lev, lat, lon) ; q:standard_name = "air_temperature" ; q:units = "degC" ;
    q:scale_factor = 0.5 ; q:add_offset = 10. ; q:_FillValue = -32767s ;
  float w(time, lat, lon) ; w:long_name = "Mystery" ; w:units = "furlongs" ; w:missing_value = 1.e20f ;
    w:level_type = "tropopause" ;
  float p(lat, lon) ; p:standard_name = "air_pressure_at_mean_sea_level" ; p:units = "Pa" ;
  float b(other, lat, lon) ;
  :Conventions = "CF-1.8" ;
data:
  time = 0.5, 1 ; ref = 0 ; lat = 10, 20, 30 ; lon = 170, 175, -180, -175 ; lev = 850, 500 ;
  q = 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, -32767, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23,
      24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47 ;
  w = 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 1.e20, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12 ;
  p = 101000, 101100, 101200, 101300, 101400, 101500, 101600, 101700, 101800, 101900, 102000, 102100 ;
}
)";

TEST_F(GridCdf, PresentDayFieldsTakeLevelsTimesAndPackingFromTheFile) {
  RES_put("file_path", KEZ_DATA_DIR);
  const std::string path = compile("cf.nc", kCfCdl);
  GRD_info info{};
  int fd = -1;
  auto out = capture([&] { fd = open(path, &info); });
  ASSERT_GE(fd, 0) << out.err;
  EXPECT_NE(out.err.find("GRD_getinfo: Not read (a dimension without coordinates): b"), std::string::npos) << out.err;
  std::vector<Read> r(8);
  int n = 0;
  while (n < 8 && read_at(fd, n, &r[static_cast<size_t>(n)]) == 0) ++n;
  GRD_close(fd);
  ASSERT_EQ(n, 7) << "4 temperatures, 2 tropopause fields, 1 sea-level pressure";
  struct Want {
    int var, ltype, level, time, day;
    const char* units;
  };
  const Want want[] = {{11, 100, 850, 24, 28, "C"},   {11, 100, 500, 24, 28, "C"},   {11, 100, 850, 36, 28, "C"},
                       {11, 100, 500, 36, 28, "C"},   {0, 7, 0, 24, 28, "furlongs"}, {0, 7, 0, 36, 28, "furlongs"},
                       {2, 102, 0, 0, KEZ_MISS, "Pa"}};
  for (int k = 0; k < n; ++k) {
    SCOPED_TRACE(k);
    const GRD_report& g = r[static_cast<size_t>(k)].r;
    EXPECT_EQ(g.var, want[k].var);
    EXPECT_EQ(g.ltype, want[k].ltype);
    EXPECT_EQ(g.level, want[k].level);
    EXPECT_EQ(g.time, want[k].time);
    EXPECT_EQ(g.date.day, want[k].day);
    EXPECT_STREQ(g.units, want[k].units);
    EXPECT_EQ(g.source, 1);
    /* Longitudes across the date line: 170 to 185 by 5. */
    EXPECT_FLOAT_EQ(g.domain.clon, 177.5f);
    EXPECT_FLOAT_EQ(g.domain.dx, 5);
    EXPECT_FLOAT_EQ(g.domain.clat, 20);
  }
  EXPECT_EQ(r[0].r.date.month, 2);
  EXPECT_EQ(r[0].r.date.hour, 0);
  /* Unpacked (0.5 a step above 10), the fill value missing, the northern
   * row first. */
  EXPECT_EQ(r[0].values(), (std::vector<float>{14, 14.5f, 15, M, 12, 12.5f, 13, 13.5f, 10, 10.5f, 11, 11.5f}));
  EXPECT_EQ(r[3].values()[0], 10 + 0.5f * 44);
  EXPECT_EQ(r[4].values()[3], M) << "missing_value";
  EXPECT_STREQ(r[4].r.info, "Mystery (furlongs)");
  EXPECT_EQ(r[6].values()[0], 101800);

  /* What the records cannot say is refused with its reason. */
  struct Refusal {
    const char* what;
    std::string from, to;
    const char* message;
  };
  const Refusal refusals[] = {
      {"another calendar", "\"standard\"", "\"noleap\"", "Not read (calendar other than the Gregorian): q w"},
      {"months", "days since", "months since", "Not read (time units not understood): q w"},
      {"half millibars", "lev = 850, 500", "lev = 850.5, 500", "Not read (levels not in whole units): q"},
      {"uneven latitudes", "lat = 10, 20, 30", "lat = 10, 20, 35",
       "Fields not read: not an evenly spaced latitude-longitude grid"},
  };
  int k = 0;
  for (const Refusal& x : refusals) {
    SCOPED_TRACE(x.what);
    std::string cdl = kCfCdl;
    const size_t at = cdl.find(x.from);
    ASSERT_NE(at, std::string::npos);
    cdl.replace(at, x.from.size(), x.to);
    const std::string p = compile("r" + std::to_string(k++) + ".nc", cdl);
    auto o = capture([&] {
      int h = open(p);
      if (h >= 0) GRD_close(h);
    });
    EXPECT_NE(o.err.find(x.message), std::string::npos) << o.err;
  }
}

/* Points no one wrote hold the library's default fill, which without a
 * "_FillValue" attribute is still no measurement (a packed short's unpacks
 * to a number like any other); stored values outside "valid_range" or
 * "valid_min" and "valid_max" are not measurements either. Bytes have no
 * default fill: their -127 is a value. */
TEST_F(GridCdf, DefaultFillsAndValuesOutsideTheValidRangeAreMissing) {
  RES_put("file_path", KEZ_DATA_DIR);
  const std::string path = compile("valid.nc", R"(netcdf valid {
dimensions: lat = 2 ; lon = 3 ;
variables:
  float lat(lat) ; lat:units = "degrees_north" ;
  float lon(lon) ; lon:units = "degrees_east" ;
  short t(lat, lon) ; t:standard_name = "air_temperature" ; t:units = "K" ;
    t:scale_factor = 0.01 ; t:add_offset = 273.15 ;
  byte rh(lat, lon) ; rh:long_name = "Humidity" ; rh:units = "%" ; rh:valid_range = 0b, 100b ;
  float p(lat, lon) ; p:long_name = "Pressure" ; p:units = "Pa" ; p:valid_min = 0.f ; p:valid_max = 110000.f ;
  int n(lat, lon) ; n:long_name = "Count" ; n:units = "1" ; n:valid_max = 10 ;
  byte b(lat, lon) ; b:long_name = "Code" ; b:units = "1" ;
  :Conventions = "CF-1.8" ;
data:
  lat = 40, 45 ; lon = 0, 5, 10 ;
  t = 0, _, 100, 200, 300, _ ;
  rh = 10, 101, -1, _, 50, 100 ;
  p = 100000, -5, 110001, _, 90000, 0 ;
  n = -3, 10, 11, _, 0, 2147483647 ;
  b = -127, 0, 1, 2, 3, 4 ;
}
)");
  int fd = -1;
  auto out = capture([&] { fd = open(path); });
  ASSERT_GE(fd, 0) << out.err;
  std::vector<Read> r(5);
  for (int k = 0; k < 5; ++k) ASSERT_EQ(read_at(fd, k, &r[static_cast<size_t>(k)]), 0) << k << out.err;
  GRD_close(fd);
  /* The northern row first. */
  const std::vector<float> want[] = {{275.15f, 276.15f, M, 273.15f, M, 274.15f},
                                     {M, 50, 100, 10, M, M},
                                     {M, 90000, 0, 100000, M, M},
                                     {M, 0, M, -3, 10, M},
                                     {2, 3, 4, -127, 0, 1}};
  for (size_t k = 0; k < 5; ++k) {
    SCOPED_TRACE(r[k].r.info);
    const std::vector<float> got = r[k].values();
    ASSERT_EQ(got.size(), want[k].size());
    for (size_t i = 0; i < got.size(); ++i) EXPECT_FLOAT_EQ(got[i], want[k][i]) << i;
  }
}

/* Integers marked "_Unsigned", as netCDF-3 files keep unsigned bytes and
 * shorts, hold values from 128 (32768) on that once read as negative ones,
 * with their fill in the same unsigned terms; every value of a
 * "missing_value" list is missing (once only the first). */
TEST_F(GridCdf, UnsignedIntegersAndListsOfMissingValues) {
  RES_put("file_path", KEZ_DATA_DIR);
  const std::string path = compile("unsigned.nc", R"(netcdf unsigned {
dimensions: lat = 2 ; lon = 3 ;
variables:
  float lat(lat) ; lat:units = "degrees_north" ;
  float lon(lon) ; lon:units = "degrees_east" ;
  byte ub(lat, lon) ; ub:long_name = "Brightness" ; ub:units = "K" ; ub:_Unsigned = "true" ;
    ub:scale_factor = 0.5f ; ub:add_offset = 200.f ; ub:_FillValue = -1b ;
  short us(lat, lon) ; us:long_name = "Counts" ; us:units = "1" ; us:_Unsigned = "true" ;
    us:valid_range = 1s, -3s ;
  short ms(lat, lon) ; ms:long_name = "Listed" ; ms:units = "1" ; ms:missing_value = -998s, -997s ;
  byte sb(lat, lon) ; sb:long_name = "Signed" ; sb:units = "1" ;
  :Conventions = "CF-1.8" ;
data:
  lat = 40, 45 ; lon = 0, 5, 10 ;
  ub = 0, 127, -128, -56, -1, 2 ;
  us = 0, 1, 32767, -32768, -2, -3 ;
  ms = 1, -998, -997, -999, 5, 6 ;
  sb = 0, 127, -128, -56, -1, 2 ;
}
)");
  int fd = -1;
  auto out = capture([&] { fd = open(path); });
  ASSERT_GE(fd, 0) << out.err;
  std::vector<Read> r(4);
  for (int k = 0; k < 4; ++k) ASSERT_EQ(read_at(fd, k, &r[static_cast<size_t>(k)]), 0) << k;
  GRD_close(fd);
  /* The northern row first; 255 the byte's fill, the shorts' range 1 to
   * 65533. */
  const std::vector<float> want[] = {{300, M, 201, 200, 263.5f, 264},
                                     {32768, M, 65533, M, 1, 32767},
                                     {-999, 5, 6, 1, M, M},
                                     {-56, -1, 2, 0, 127, -128}};
  for (size_t k = 0; k < 4; ++k) {
    SCOPED_TRACE(r[k].r.info);
    const std::vector<float> got = r[k].values();
    ASSERT_EQ(got.size(), want[k].size());
    for (size_t i = 0; i < got.size(); ++i) EXPECT_FLOAT_EQ(got[i], want[k][i]) << i;
  }
}

/* Times counted from an origin before 1 March 1900 or after 2099 land on
 * their Gregorian dates: 1900 and 2100 have no 29 February (hours since
 * 1900, as reanalyses count them, were once read a day early). */
TEST_F(GridCdf, TimesFromOriginsOfOtherCenturies) {
  RES_put("file_path", KEZ_DATA_DIR);
  struct Case {
    const char* units;
    const char* value;
    int year, month, day, hour, time;
  };
  const Case cases[] = {
      {"hours since 1900-01-01 00:00:00.0", "1000000", 2014, 1, 29, 16, 0},
      {"days since 1850-01-01", "54786.25", 2000, 1, 1, 6, 0},
      {"days since 1900-02-28", "40", 1900, 4, 9, 0, 0},
      {"hours since 2100-02-28 12:00", "36", 2100, 2, 28, 12, 36},
      {"days since 1600-01-01 12:00", "146097", 2000, 1, 1, 12, 0},
  };
  int k = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.units);
    const std::string path = compile("t" + std::to_string(k++) + ".nc", std::string(R"(netcdf t {
dimensions: time = 1 ; lat = 2 ; lon = 2 ;
variables:
  double time(time) ; time:units = ")") + c.units + R"(" ;
  float lat(lat) ; lat:units = "degrees_north" ;
  float lon(lon) ; lon:units = "degrees_east" ;
  float a(time, lat, lon) ; a:standard_name = "air_temperature" ; a:units = "K" ;
  :Conventions = "CF-1.8" ;
data: time = )" + c.value + R"( ; lat = 1, 2 ; lon = 1, 2 ; a = 1, 2, 3, 4 ;
}
)");
    int fd = -1;
    auto out = capture([&] { fd = open(path); });
    ASSERT_GE(fd, 0) << out.err;
    Read r;
    ASSERT_EQ(read_at(fd, 0, &r), 0);
    GRD_close(fd);
    EXPECT_EQ(r.r.date.year, c.year);
    EXPECT_EQ(r.r.date.month, c.month);
    EXPECT_EQ(r.r.date.day, c.day);
    EXPECT_EQ(r.r.date.hour, c.hour);
    EXPECT_EQ(r.r.time, c.time);
  }
}

/* Fields on a rotated or projected grid are not read over latitudes and
 * longitudes they do not lie on: coordinates that name themselves rotated
 * ones are no latitudes, whatever their units, and a variable whose grid
 * mapping is other than the plain one is left out with its reason. A
 * present-day variable named as older output names its fields is taken for
 * that field only where its units agree ("P" in mm once read as pressure,
 * "Z" in m^2/s^2 as heights, "T" in degF as a temperature in C). */
TEST_F(GridCdf, RotatedGridsAndNamesOfOtherUnitsAreNotTakenForOthers) {
  RES_put("file_path", KEZ_DATA_DIR);
  const std::string rotated = compile("rotated.nc", R"(netcdf rotated {
dimensions: rlat = 2 ; rlon = 3 ;
variables:
  float rlat(rlat) ; rlat:units = "degrees_north" ; rlat:standard_name = "grid_latitude" ;
  float rlon(rlon) ; rlon:units = "degrees_east" ; rlon:standard_name = "grid_longitude" ;
  int rp ; rp:grid_mapping_name = "rotated_latitude_longitude" ; rp:grid_north_pole_latitude = 40. ;
  float t(rlat, rlon) ; t:standard_name = "air_temperature" ; t:units = "K" ; t:grid_mapping = "rp" ;
  :Conventions = "CF-1.8" ;
data: rlat = -1, 1 ; rlon = -1, 0, 1 ; t = 1, 2, 3, 4, 5, 6 ;
}
)");
  auto o = capture([&] { EXPECT_EQ(open(rotated), -1); });
  EXPECT_NE(o.err.find("no latitude-longitude coordinates"), std::string::npos) << o.err;

  const std::string mapped = compile("mapped.nc", R"(netcdf mapped {
dimensions: lat = 2 ; lon = 3 ;
variables:
  float lat(lat) ; lat:units = "degrees_north" ;
  float lon(lon) ; lon:units = "degrees_east" ;
  int crs ; crs:grid_mapping_name = "latitude_longitude" ;
  int rp ; rp:grid_mapping_name = "rotated_latitude_longitude" ;
  float a(lat, lon) ; a:standard_name = "air_temperature" ; a:units = "K" ; a:grid_mapping = "crs: lat lon" ;
  float b(lat, lon) ; b:standard_name = "air_temperature" ; b:units = "K" ; b:grid_mapping = "rp" ;
  float c(lat, lon) ; c:standard_name = "air_temperature" ; c:units = "K" ; c:grid_mapping = "nowhere" ;
  float P(lat, lon) ; P:long_name = "Precipitation" ; P:units = "mm" ;
  float Z(lat, lon) ; Z:long_name = "Geopotential" ; Z:units = "m**2 s**-2" ;
  float T(lat, lon) ; T:long_name = "Dew point" ; T:units = "degF" ;
  float Ph(lat, lon) ; Ph:long_name = "Pressure" ; Ph:units = "hPa" ;
  float U(lat, lon) ; U:long_name = "Zonal wind" ; U:units = "m s-1" ;
  :Conventions = "CF-1.8" ;
data: lat = 10, 20 ; lon = 0, 5, 10 ;
  a = 1, 2, 3, 4, 5, 6 ; b = 1, 2, 3, 4, 5, 6 ; c = 1, 2, 3, 4, 5, 6 ;
  P = 1, 2, 3, 4, 5, 6 ; Z = 1, 2, 3, 4, 5, 6 ; T = 1, 2, 3, 4, 5, 6 ; Ph = 1, 2, 3, 4, 5, 6 ;
  U = 1, 2, 3, 4, 5, 6 ;
}
)");
  int fd = -1;
  o = capture([&] { fd = open(mapped); });
  ASSERT_GE(fd, 0) << o.err;
  EXPECT_NE(o.err.find("Not read (grid mapping rotated_latitude_longitude): b"), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("Not read (a grid mapping the file does not describe): c"), std::string::npos) << o.err;
  struct Want {
    int var;
    const char* units;
  };
  const Want want[] = {{11, "K"}, {0, "mm"}, {0, "m**2 s**-2"}, {0, "degF"}, {0, "hPa"}, {33, "m/s"}};
  for (int k = 0; k < 6; ++k) {
    SCOPED_TRACE(k);
    Read r;
    ASSERT_EQ(read_at(fd, k, &r), 0);
    EXPECT_EQ(r.r.var, want[k].var);
    EXPECT_STREQ(r.r.units, want[k].units);
  }
  Read none;
  EXPECT_NE(read_at(fd, 6, &none), 0);
  GRD_close(fd);
}

/* ---- present-day output: cdo's netCDF of python-grib-doc's files ------------------------- */

const char kExamples[] = "/usr/share/doc/python-grib-doc/examples/";

/* The values ecCodes prints of the one field of file that `where` selects
 * (grib_get_data's -w), in its order: rows from the north, each from the
 * west, the order of a grid record's array. */
std::vector<float> eccodes_values(const std::string& file, const std::string& where) {
  std::string out;
  EXPECT_EQ(run_command("grib_get_data -w " + where + " " + file, &out), 0);
  std::vector<float> v;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    float lat = 0, lon = 0, value = 0;
    if (std::sscanf(line.c_str(), "%f %f %f", &lat, &lon, &value) == 3) v.push_back(value);
  }
  return v;
}

class GridCdfReal : public GridCdf {
 protected:
  void SetUp() override {
    GridCdf::SetUp();
    if (IsSkipped()) return;
    if (!std::ifstream(std::string(kExamples) + "gfs.grb")) GTEST_SKIP() << "python-grib-doc not installed";
    if (!have_program("cdo") || !have_program("grib_get_data")) GTEST_SKIP() << "cdo or ecCodes tools missing";
    RES_put("file_path", KEZ_DATA_DIR);
  }
  /* cdo's output of an example file; its path. */
  std::string cdo(const std::string& options, const std::string& example, const std::string& name) {
    const std::string path = dir.file(name);
    std::string out;
    EXPECT_EQ(run_command("cdo -s " + options + " " + kExamples + example + " " + path + " 2>&1", &out), 0) << out;
    return path;
  }
};

/* Every record of a present-day file, header only, with what the reader
 * printed. */
struct Listing {
  std::vector<GRD_report> recs;
  std::string err;
  GRD_info info{};
};

Listing list_records(int fd) {
  Listing l;
  for (int n = 0;; ++n) {
    Read r;
    if (read_at(fd, n, &r, GRD_READ_HEADER) != 0) break;
    l.recs.push_back(r.r);
  }
  return l;
}

const GRD_report* find(const Listing& l, int var, int ltype, int level) {
  for (const GRD_report& g : l.recs)
    if (g.var == var && g.ltype == ltype && g.level == level) return &g;
  return nullptr;
}

/* cdo's netCDF of gfs.grb (a 72-hour forecast from 0Z 8 October 2011):
 * every field on pressure levels or heights comes back with its level,
 * time and date, in the numbers of the variable table, with values as
 * ecCodes gives them; fields on levels the file does not name are left out
 * with one message per reason; nothing is labelled surface that the file
 * does not call so, and no record is an empty store slot. */
TEST_F(GridCdfReal, PresentDayOutputIsReadByItsCoordinates) {
  const std::string path = cdo("-f nc copy", "gfs.grb", "gfs.nc");
  Listing l;
  auto out = capture([&] {
    int fd = open(path, &l.info);
    ASSERT_GE(fd, 0);
    Listing got = list_records(fd);
    l.recs = got.recs;
    GRD_close(fd);
  });
  EXPECT_EQ(l.info.date.year, 2011);
  EXPECT_EQ(l.info.date.month, 10);
  EXPECT_EQ(l.info.date.day, 8);
  EXPECT_EQ(l.info.date.hour, 0);
  /* gh, t, u and absv on 26 levels, r on 25 ... : well over a hundred. */
  ASSERT_GT(l.recs.size(), 150u) << out.err;
  int isobaric_t = 0;
  for (const GRD_report& g : l.recs) {
    EXPECT_NE(g.source, 0) << "an empty store slot";
    EXPECT_EQ(g.time, 72);
    EXPECT_EQ(g.date.day, 8);
    EXPECT_EQ(g.domain.nx, 144);
    EXPECT_EQ(g.domain.ny, 73);
    if (g.var == 11 && g.ltype == 100) ++isobaric_t;
  }
  EXPECT_EQ(isobaric_t, 26);
  const GRD_report* top = find(l, 7, 100, 10);
  ASSERT_NE(top, nullptr) << "the 10 hPa heights";
  EXPECT_STREQ(top->units, "gpm");
  const GRD_report* t2 = find(l, 11, 105, 2);
  ASSERT_NE(t2, nullptr) << "the 2 m temperature";
  const GRD_report* sp = find(l, 1, 1, 0);
  ASSERT_NE(sp, nullptr) << "the surface pressure (standard name surface_air_pressure)";
  EXPECT_STREQ(sp->units, "Pa");
  for (const GRD_report& g : l.recs) {
    if (g.ltype == 1) {
      EXPECT_TRUE(g.var == 1 || g.var == 81 || g.var == 91) << "labelled surface: " << g.var;
    }
  }
  /* The fields on cdo's unnamed levels (tropopause, maximum wind ...) and
   * layers are not read, and the message says which. */
  EXPECT_NE(out.err.find("GRD_getinfo: Not read (levels of no kind the level types name): "), std::string::npos)
      << out.err;
  EXPECT_NE(out.err.find(" t_4 "), std::string::npos) << out.err;
  EXPECT_NE(out.err.find("GRD_getinfo: Not read (layers): "), std::string::npos) << out.err;

  /* The temperature at 500 mb found by the variable table's names, with
   * ecCodes' values. */
  int fd = open(path);
  ASSERT_GE(fd, 0);
  VAR_data want[2] = {};
  GRD_set_params(&want[0], 72, 100, 500, VAR_search_var_num("temp"));
  GRD_set_params(&want[1], 72, 100, 500, VAR_search_var_num("uwnd"));
  GRD_report found[2];
  std::memset(found, 0, sizeof found);
  GRD_init(&found[0]);
  GRD_init(&found[1]);
  EXPECT_EQ(GRD_search(fd, found, want, KEZ_MISS, -2), 1);
  GRD_close(fd);
  const std::string gfs = std::string(kExamples) + "gfs.grb";
  const std::vector<float> t500 = eccodes_values(gfs, "shortName=t,level=500,typeOfLevel=isobaricInhPa");
  const std::vector<float> u500 = eccodes_values(gfs, "shortName=u,level=500,typeOfLevel=isobaricInhPa");
  ASSERT_EQ(t500.size(), 144u * 73u);
  ASSERT_EQ(u500.size(), 144u * 73u);
  for (int k = 0; k < 2; ++k) {
    const GRD_report& g = found[k];
    ASSERT_NE(g.grid, nullptr) << k;
    EXPECT_NE(g.source, 0);
    const std::vector<float>& want_v = k == 0 ? t500 : u500;
    for (size_t i = 0; i < want_v.size(); ++i) ASSERT_NEAR(g.grid[i], want_v[i], 1e-3) << k << " at " << i;
  }
  EXPECT_STREQ(found[0].units, "K");
  EXPECT_STREQ(found[1].units, "m/s");
  /* The calculator takes them as grids. */
  GRD_report diff;
  std::memset(&diff, 0, sizeof diff);
  GRD_init(&diff);
  GRD_report* grds[GRD_MATH_SLOTS + 1] = {&diff, &found[0], &found[1]};
  float values[GRD_MATH_SLOTS + 1];
  for (float& v : values) v = M;
  ASSERT_EQ(GRD_math("sub", grds, values), 1);
  EXPECT_NEAR(diff.grid[1000], t500[1000] - u500[1000], 1e-3);
  std::free(diff.grid);
  std::free(found[0].grid);
  std::free(found[1].grid);
}

/* gfs.grb's fields in the older layout (tests/grid/data/older_layout.py),
 * named "T", "U" and "Z" with their units, without a centre: the variable
 * table's names find temperature, u wind and heights with ecCodes' values,
 * whichever way the latitudes run, and no record is an empty store slot. */
TEST_F(GridCdfReal, OlderLayoutIsFoundByTheVariableTablesNames) {
  if (run_command("/usr/bin/python3 -c 'import netCDF4' 2>/dev/null") != 0) GTEST_SKIP() << "no python3-netcdf4";
  const std::string cf = cdo("-f nc copy -selname,t,u,gh", "gfs.grb", "cf.nc");
  const std::string path = dir.file("older.nc");
  std::string out;
  ASSERT_EQ(run_command("/usr/bin/python3 " + std::string(KEZ_SOURCE_DIR) + "/tests/grid/data/older_layout.py " + cf +
                            " " + path + " 2>&1",
                        &out),
            0)
      << out;
  int fd = open(path);
  ASSERT_GE(fd, 0);
  struct Field {
    const char* abbr;
    const char* eccodes;
    const char* units;
  };
  const Field fields[] = {{"temp", "t", "K"}, {"uwnd", "u", "m/s"}, {"hght", "gh", "gpm"}};
  VAR_data want[3] = {};
  GRD_report found[3];
  for (int k = 0; k < 3; ++k) {
    GRD_set_params(&want[k], 72, KEZ_MISS, 500, VAR_search_var_num(fields[k].abbr));
    std::memset(&found[k], 0, sizeof found[k]);
    GRD_init(&found[k]);
  }
  EXPECT_EQ(GRD_search(fd, found, want, KEZ_MISS, -3), 1);
  GRD_close(fd);
  for (int k = 0; k < 3; ++k) {
    SCOPED_TRACE(fields[k].abbr);
    const GRD_report& g = found[k];
    ASSERT_NE(g.grid, nullptr);
    EXPECT_EQ(g.source, 1);
    EXPECT_STREQ(g.units, fields[k].units);
    EXPECT_EQ(g.date.year, 2011);
    const std::vector<float> v =
        eccodes_values(std::string(kExamples) + "gfs.grb",
                       std::string("shortName=") + fields[k].eccodes + ",level=500,typeOfLevel=isobaricInhPa");
    ASSERT_EQ(v.size(), 144u * 73u);
    for (size_t i = 0; i < v.size(); ++i) ASSERT_NEAR(g.grid[i], v[i], 1e-3) << i;
    std::free(found[k].grid);
  }
}

/* netCDF-4 files are grid files too: a compressed 0.25-degree field, whose
 * file is smaller than its points, reads with the values python-netCDF4
 * gives; a netCDF-4 file cut short is refused before the library reads it. */
TEST_F(GridCdfReal, NetCdf4FilesAreDetectedAndRead) {
  if (run_command("/usr/bin/python3 -c 'import netCDF4' 2>/dev/null") != 0) GTEST_SKIP() << "no python3-netcdf4";
  const std::string path =
      cdo("-f nc4 -z zip_6 remapbil,r1440x721 -setgridtype,regular -selname,lsm", "ecmwf_tigge.grb", "lsm.nc");
  ASSERT_LT(read_file(path).size(), 1440u * 721u) << "compressed below a byte a point";
  EXPECT_EQ(GRD_chktype(path.c_str()), GRD_TYPE_NETCDF);
  GRD_info info{};
  int fd = open(path, &info);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(info.date.year, 2007);
  Read r;
  ASSERT_EQ(read_at(fd, 0, &r), 0);
  GRD_close(fd);
  EXPECT_EQ(r.r.var, 81) << "land-sea mask";
  EXPECT_EQ(r.r.domain.nx, 1440);
  EXPECT_EQ(r.r.domain.ny, 721);
  EXPECT_FLOAT_EQ(r.r.domain.dx, 0.25f);
  EXPECT_FLOAT_EQ(r.r.domain.clat, 0);
  /* The file's latitudes run from the south: its last row is the array's
   * first. */
  write_file(dir.file("v.py"),
             "import netCDF4, sys\nv = netCDF4.Dataset(sys.argv[1])['lsm'][0]\n"
             "for j, i in ((0, 0), (720, 1439), (360, 0), (500, 1000), (150, 700)):\n"
             "    print(j, i, float(v[j, i]))\n");
  std::string ref;
  ASSERT_EQ(run_command("/usr/bin/python3 " + dir.file("v.py") + " " + path, &ref), 0) << ref;
  std::istringstream in(ref);
  int j = 0, i = 0, n = 0;
  float v = 0;
  while (in >> j >> i >> v) {
    EXPECT_NEAR(r.values()[static_cast<size_t>(720 - j) * 1440 + i], v, 1e-6) << j << " " << i;
    ++n;
  }
  EXPECT_EQ(n, 5) << ref;

  const std::string whole = read_file(path);
  write_file(dir.file("cut.nc"), whole.substr(0, whole.size() / 2));
  EXPECT_EQ(GRD_chktype(dir.file("cut.nc").c_str()), GRD_TYPE_NETCDF);
  auto out = capture([&] { EXPECT_EQ(open(dir.file("cut.nc")), -1); });
  EXPECT_NE(out.err.find("GRD_open: Damaged or cut netCDF-4 file"), std::string::npos) << out.err;
}

/* ---- hostile files ---------------------------------------------------------------------- */

/* A netCDF-4 file found by the fuzzer whose group links make the HDF5
 * library free a wild pointer while it opens the file (a crash in the
 * sanitizer build, where frees are checked): it is refused, with its name,
 * and this process lives on. */
TEST_F(GridCdf, NetCdf4FileThatCrashesTheHdf5LibraryIsRefused) {
  const std::string path = std::string(KEZ_SOURCE_DIR) + "/tests/grid/data/hdf5_damaged_links.nc";
  auto out = capture([&] {
    GRD_info info{};
    EXPECT_EQ(open(path, &info), -1);
  });
  EXPECT_NE(out.err.find("hdf5_damaged_links.nc"), std::string::npos) << out.err;
}

TEST_F(GridCdf, HostileFilesFailWithAMessage) {
  struct Case {
    const char* what;
    std::string cdl;
    bool opens; /* the header reads; the first record does not */
  };
  const Case cases[] = {
      {"values of text", R"(netcdf h { dimensions: lat = 2 ; lon = 2 ;
variables: float lat(lat) ; float lon(lon) ; char T(lat, lon) ; T:units = "degK" ;
data: lat = 1, 2 ; lon = 1, 2 ; T = "ab", "cd" ; })",
       true},
      {"a field without latitudes", R"(netcdf h { dimensions: frtime = 2 ; lon = 2 ;
variables: float T(frtime, lon) ;
data: T = 1, 2, 3, 4 ; })",
       true},
      {"a grid larger than its dimensions", R"(netcdf h { dimensions: grid = UNLIMITED ; x = 2 ; y = 2 ;
  string_len = 50 ;
variables: float values(grid, x, y) ; int nx(grid) ; int ny(grid) ;
data: values = 1, 2, 3, 4 ; nx = 3 ; ny = 2 ; })",
       true},
      {"a grid of no size", R"(netcdf h { dimensions: grid = UNLIMITED ; x = 2 ; y = 2 ;
variables: float values(grid, x, y) ; int nx(grid) ; int ny(grid) ;
data: values = 1, 2, 3, 4 ; nx = 0 ; ny = -5 ; })",
       true},
      {"no values", R"(netcdf h { dimensions: grid = UNLIMITED ; x = 2 ; y = 2 ;
variables: int nx(grid) ;
data: nx = 2 ; })",
       false},
  };
  int k = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = compile("h" + std::to_string(k++) + ".nc", c.cdl);
    int fd = -1;
    Read r;
    int res = 0;
    auto out = capture([&] {
      fd = open(path);
      if (fd >= 0) res = read_at(fd, 0, &r);
    });
    if (c.opens) {
      ASSERT_GE(fd, 0) << out.err;
      EXPECT_EQ(res, -1);
      EXPECT_NE(out.err.find("GRD_read: "), std::string::npos) << out.err;
      EXPECT_EQ(r.r.grid, nullptr);
      GRD_close(fd);
    } else {
      EXPECT_EQ(fd, -1);
      EXPECT_NE(out.err.find("GRD_getinfo: "), std::string::npos) << out.err;
    }
  }
}

TEST_F(GridCdf, DamagedAndTruncatedFilesNeverCrash) {
  Grid g(domain(2, 40, -100, 1, 1, 30, 20), fill(30, 20, [](int i, int j) { return i + j; }));
  const std::string path = dir.file("t.nc");
  write_cdf(path, 0, {&g.r, &g.r}, 30, 20);
  const std::string whole = read_file(path);
  /* A huge dimension in the header, and the data cut short. */
  std::string huge = whole;
  size_t at = huge.find(std::string("x\0\0\0", 4));
  ASSERT_NE(at, std::string::npos);
  huge.replace(at + 4, 4, std::string("\x7f\xff\xff\xff", 4));
  struct Case {
    const char* what;
    std::string bytes;
  };
  const Case cases[] = {{"huge x", huge},
                        {"cut in the header", whole.substr(0, 200)},
                        {"cut in the data", whole.substr(0, whole.size() - 2000)}};
  int k = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string p = dir.file("d" + std::to_string(k++) + ".nc");
    write_file(p, c.bytes);
    auto out = capture([&] {
      int fd = open(p);
      if (fd < 0) return;
      for (int n = 0; n < 3; ++n) {
        Read r;
        read_at(fd, n, &r);
        if (r.r.grid) {
          EXPECT_LE(static_cast<long>(r.r.domain.nx) * r.r.domain.ny, 600);
        }
      }
      GRD_close(fd);
    });
    SUCCEED() << out.err;
  }
}

} // namespace
