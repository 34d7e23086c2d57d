/*
 * Soundings from grids: standard levels by the spacing, the surface placed
 * among them with the levels below ground blanked, conversions to a
 * sounding's units, the grids never taken (other levels, parameter 0, a
 * grid that misses the point), and the room of the caller's array.
 */
#include "kez_test.h"
#include "kezgrd.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using kez_test::run_child;
using kez_test::TempDir;

namespace {

constexpr float M = KEZ_FMISS;

struct G {
  int ltype, level, var;
  float value;
  const char* units = "";
};

/* A KEZGRID text file of 3 x 3 constant grids around 40N 100W. */
std::string grid_file(const std::vector<G>& grids) {
  std::string s = "KEZGRID\n";
  for (const G& g : grids) {
    char head[256];
    std::snprintf(head, sizeof head, "1200Z 10 DEC 26\n2-field\n1 2 1 0 %d %d 0 %d:%s\nLL 40 -100 1 1 3 3\n", g.ltype,
                  g.level, g.var, g.units);
    s += head;
    for (int k = 0; k < 9; ++k) s += std::to_string(g.value) + "\n";
  }
  return s;
}

/* Heights, temperatures (K), humidities and winds at the given levels. */
std::vector<G> upper(std::initializer_list<int> levels) {
  std::vector<G> v;
  for (int l : levels) {
    const float f = static_cast<float>(1000 - l);
    v.push_back({100, l, 7, 100.0f + 10.0f * f, "m"});
    v.push_back({100, l, 11, 290.0f - 0.08f * f, "K"});
    v.push_back({100, l, 52, 80.0f, "%"});
    v.push_back({100, l, 33, -10.0f, "m/s"});
    v.push_back({100, l, 34, 0.0f, "m/s"});
  }
  return v;
}

std::vector<G> surface(float p, const char* p_units = "") {
  return {{1, 0, 1, p, p_units},
          {105, 2, 11, 291.0f, "K"},
          {105, 2, 52, 60.0f, "%"},
          {105, 10, 33, 0.0f, "m/s"},
          {105, 10, 34, -5.0f, "m/s"}};
}

std::vector<G> join(std::vector<G> a, const std::vector<G>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct Sounding {
  int result = 0, num = 0;
  float sfcp = 0;
  std::vector<UPA_level> levels;
  std::string err;
};

/* Builds the sounding in a child (the spacing and the map are process state). */
Sounding sound(const std::vector<G>& grids, float dp = 50, int room = GRD_SOUND_RECORDS, float lat = 40,
               float lon = -100) {
  TempDir dir;
  kez_test::write_file(dir.file("g.grd"), grid_file(grids));
  auto r = run_child([&] {
    RES_put("file_path", KEZ_DATA_DIR);
    GRD_set_sound_dp(dp);
    int type = GRD_TYPE_DETECT;
    const int fd = GRD_open(dir.file("g.grd").c_str(), GRD_ACCESS_READ, &type);
    if (fd < 0) return 2;
    GRD_info info{};
    GRD_getinfo(fd, &info);
    std::vector<UPA_level> sm(static_cast<size_t>(room) + 8, UPA_level{-1, -1, -1, -1, -1, -1});
    int num = room;
    float sfcp = 0;
    const int res = GRD_get_sound(fd, lat, lon, sm.data(), &num, &sfcp);
    std::printf("%d %d %g\n", res, num, sfcp);
    for (size_t i = 0; i < sm.size(); ++i)
      std::printf("%g %g %g %g %g %g\n", sm[i].p, sm[i].h, sm[i].t, sm[i].td, sm[i].dir, sm[i].spd);
    GRD_close(fd);
    return 0;
  });
  Sounding s;
  s.err = r.err;
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string searching = "Searching file for grids...\n";
  EXPECT_EQ(r.out.rfind(searching, 0), 0u) << r.out;
  const char* at = r.out.c_str() + (r.out.rfind(searching, 0) == 0 ? searching.size() : 0);
  int used = 0;
  if (std::sscanf(at, "%d %d %f\n%n", &s.result, &s.num, &s.sfcp, &used) < 3) return s;
  at += used;
  UPA_level l{};
  while (std::sscanf(at, "%f %f %f %f %f %f\n%n", &l.p, &l.h, &l.t, &l.td, &l.dir, &l.spd, &used) == 6) {
    s.levels.push_back(l);
    at += used;
  }
  return s;
}

TEST(GridSounding, SurfaceGoesBetweenStandardLevelsAndBlanksWhatIsBelowGround) {
  const Sounding s = sound(join(upper({1000, 950, 850, 500}), surface(98500)));
  ASSERT_EQ(s.result, 1) << s.err;
  EXPECT_FLOAT_EQ(s.sfcp, 985);
  ASSERT_EQ(s.num, 5) << "1000, the surface, 950, 850, 500 mb";
  const std::vector<float> want_p = {1000, 985, 950, 850, 500};
  for (int i = 0; i < 5; ++i) EXPECT_FLOAT_EQ(s.levels[i].p, want_p[i]) << i;
  /* Below ground: the height stays, nothing else. */
  EXPECT_FLOAT_EQ(s.levels[0].h, 100);
  for (float v : {s.levels[0].t, s.levels[0].td, s.levels[0].dir, s.levels[0].spd}) EXPECT_EQ(v, M);
  /* The surface in a sounding's units: 291 K, 60 %, a 5 m/s north wind. */
  const UPA_level& sfc = s.levels[1];
  EXPECT_NEAR(sfc.t, 17.85f, 1e-3);
  EXPECT_NEAR(sfc.td, dew_temp(291.0f, 60.0f) - 273.15f, 1e-3);
  EXPECT_NEAR(sfc.dir, 0, 1e-3);
  EXPECT_NEAR(sfc.spd, 5 * 1.944f, 1e-3);
  EXPECT_NE(sfc.h, M) << "filled hydrostatically";
  EXPECT_GT(sfc.h, 100);
  EXPECT_LT(sfc.h, s.levels[2].h);
  /* A standard level: 850 mb, an east wind of 10 m/s. */
  const UPA_level& l850 = s.levels[3];
  EXPECT_NEAR(l850.t, 290.0f - 12.0f - 273.15f, 1e-3);
  EXPECT_NEAR(l850.td, dew_temp(278.0f, 80.0f) - 273.15f, 1e-3);
  EXPECT_NEAR(l850.dir, 90, 1e-3);
  EXPECT_NEAR(l850.spd, 19.44f, 1e-3);
  EXPECT_FLOAT_EQ(l850.h, 1600);
}

TEST(GridSounding, MissingSurfaceValuesComeFromTheLevelsAround) {
  std::vector<G> sfc = surface(97500);
  sfc.erase(sfc.begin() + 1); /* no 2 m temperature */
  const Sounding s = sound(join(upper({1000, 950, 900, 850}), sfc));
  ASSERT_EQ(s.result, 1) << s.err;
  ASSERT_GE(s.levels.size(), 3u);
  EXPECT_FLOAT_EQ(s.levels[1].p, 975);
  /* Halfway in pressure between 950 (286 K) and... the level below is 1000
   * mb (290 K): 288 K. */
  EXPECT_NEAR(s.levels[1].t, 288.0f - 273.15f, 1e-3);
}

TEST(GridSounding, SpacingDecidesTheLevelsTaken) {
  const std::vector<G> grids = join(upper({1000, 975, 850, 25}), surface(101000));
  struct Case {
    float dp;
    int room;
    int levels;
    const char* why;
  } cases[] = {
      {10, GRD_SOUND_RECORDS, 2, "10 mb is refused: 50 mb spacing, 975 and 25 dropped"},
      {25, GRD_SOUND_RECORDS_FINE, 3, "25 mb spacing: 975 taken, 25 mb never"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    const Sounding s = sound(grids, c.dp, c.room);
    ASSERT_EQ(s.result, 1) << s.err;
    /* A surface above 1000 mb goes first, with nothing to interpolate from. */
    EXPECT_EQ(s.num, c.levels + 1);
    EXPECT_FLOAT_EQ(s.levels[0].p, 1010);
    EXPECT_EQ(s.levels[1].p, 1000);
    if (c.dp == 25) {
      EXPECT_EQ(s.levels[2].p, 975);
    }
    for (int i = 0; i < s.num; ++i) EXPECT_NE(s.levels[i].p, 25) << i;
  }
  /* 25 mb spacing needs the larger array. */
  const Sounding small = sound(grids, 25, GRD_SOUND_RECORDS);
  EXPECT_EQ(small.result, 0);
  EXPECT_NE(small.err.find("GRD_get_sound: Room for 22 levels, 42 needed"), std::string::npos) << small.err;
  for (int i = 0; i < 30; ++i) EXPECT_EQ(small.levels[i].p, -1) << "nothing written: " << i;
}

TEST(GridSounding, TenValuesMakeASoundingNineDoNot) {
  const std::vector<G> ten = upper({850, 700});
  Sounding s = sound(ten);
  EXPECT_EQ(s.result, 1) << s.err;
  EXPECT_EQ(s.num, 2);
  EXPECT_FLOAT_EQ(s.sfcp, 1000) << "no surface pressure";
  /* Nine, and a parameter-0 grid at a requested level (as a missing record
   * of a foreign file is marked): still nine. */
  std::vector<G> nine(ten.begin(), ten.end() - 1);
  nine.push_back({100, 700, 0, 5000.0f});
  s = sound(nine);
  EXPECT_EQ(s.result, 0);
  EXPECT_NE(s.err.find("GRD_get_sound: Too few grids to make sounding: 9"), std::string::npos) << s.err;
  /* A point outside the grids: nothing counts. */
  s = sound(ten, 50, GRD_SOUND_RECORDS, 10, 20);
  EXPECT_EQ(s.result, 0);
}

TEST(GridSounding, SurfacePressureInAnyUnitsGivesOneSounding) {
  const char* units[] = {"", "Pa", "hPa", "mb"};
  const float value[] = {98500, 98500, 985, 985};
  std::vector<Sounding> got;
  for (int k = 0; k < 4; ++k) {
    SCOPED_TRACE(units[k]);
    got.push_back(sound(join(upper({1000, 950, 850}), surface(value[k], units[k]))));
    ASSERT_EQ(got.back().result, 1) << got.back().err;
    EXPECT_FLOAT_EQ(got.back().sfcp, 985);
    EXPECT_EQ(got.back().num, got[0].num);
  }
}

TEST(GridSounding, ASurfaceWithoutAPlaceLeavesNoSpareLevel) {
  /* 500 mb lies above the ten lowest standard levels (1000..550 mb). */
  const Sounding s = sound(join(upper({1000, 850, 700}), surface(50000)));
  ASSERT_EQ(s.result, 1) << s.err;
  EXPECT_FLOAT_EQ(s.sfcp, 500);
  ASSERT_EQ(s.num, 3) << "the spare record is taken out again";
  for (int i = 0; i < 3; ++i) EXPECT_NE(s.levels[i].t, M) << "not placed, so nothing blanked: " << i;
}

TEST(GridSounding, DpresItemSetsTheSpacing) {
  auto r = run_child([] {
    RES_put("plot_param", "barb,DPRES=25");
    GRD_snd_param();
    RES_put("plot_param", "dpres=50,dpres:10");
    GRD_snd_param();
    /* Still 25: the next sounding needs 42 records. */
    UPA_level sm[GRD_SOUND_RECORDS];
    int num = GRD_SOUND_RECORDS;
    float sfcp = 0;
    std::printf("%d\n", GRD_get_sound(-1, 40, -100, sm, &num, &sfcp));
    return 0;
  });
  EXPECT_EQ(r.out, "Searching file for grids...\n0\n");
  EXPECT_NE(r.err.find("42 needed"), std::string::npos) << r.err;
}

} // namespace

namespace {

/* A real model file: the sounding at Denver agrees level by level with the
 * same fields interpolated independently (ecCodes' values, bilinear in
 * Python), the surface from the 2 m and 10 m fields. */
const char kGfs[] = "/usr/share/doc/python-grib-doc/examples/gfs.grb";

/* The grids of gfs.grb that a sounding is made of, copied record by record
 * into a grid file of the suite's netCDF layout. */
int copy_sounding_grids(const std::string& to) {
  int type = GRD_TYPE_DETECT;
  const int in = GRD_open(kGfs, GRD_ACCESS_READ, &type);
  GRD_info info{};
  if (in < 0 || GRD_getinfo(in, &info) != 0) return -1;
  type = GRD_TYPE_NETCDF;
  const int out = GRD_open(to.c_str(), GRD_ACCESS_WRITE, &type);
  info.max_x = 144;
  info.max_y = 73;
  info.grid_type = 0;
  if (out < 0 || GRD_putinfo(out, &info) != 0) return -1;
  int written = 0;
  for (int n = 0;; ++n) {
    GRD_report g{};
    GRD_init(&g);
    int p = n;
    if (GRD_read(in, &g, GRD_READ_ALL, &p) != 0) break;
    const bool wanted = g.var == 1 || g.var == 7 || g.var == 11 || g.var == 52 || g.var == 33 || g.var == 34;
    if (wanted && g.grid && GRD_write(out, &g, 0, &written) == 0) ++written;
    std::free(g.grid);
  }
  GRD_close(in);
  GRD_close(out);
  return written;
}

/* Soundings from gfs.grb and from copies of it in other files, compared
 * with a bilinear interpolation of the values ecCodes prints: at Denver, and
 * at points between the grid's last and first column (London, 10N 1.2W),
 * where a grid round the globe has its values too. The netCDF copy of the
 * suite's layout keeps the units (a surface pressure in Pa, heights in
 * gpm); cdo's present-day netCDF is read by its coordinates (cdo drops the
 * v component, so that copy has no winds). */
TEST(GridSounding, AgreesWithAnIndependentInterpolationOfRealFiles) {
  if (!std::ifstream(kGfs)) GTEST_SKIP() << "python-grib-doc not installed";
  if (!kez_test::have_program("grib_get_data")) GTEST_SKIP() << "ecCodes tools not installed";
  TempDir dir;
  const bool cdo = kez_test::have_program("cdo");
  if (cdo) {
    const std::string fields = " copy -selname,gh,t,r,u,sp,2t,2r,10u " + std::string(kGfs) + " ";
    ASSERT_EQ(kez_test::run_command("cdo -s -f nc" + fields + dir.file("cdo.nc") + " 2>&1"), 0);
    ASSERT_EQ(kez_test::run_command("cdo -s -f nc4 -z zip_6" + fields + dir.file("cdo4.nc") + " 2>&1"), 0);
  }
  struct Point {
    float lat, lon;
    const char* text;
  };
  const Point denver{39.75f, -104.87f, "39.75 -104.87"}, london{51.5f, -0.45f, "51.5 -0.45"},
      west_of_0{10.0f, -1.2f, "10 -1.2"};
  /* The reference of every point from one run of ecCodes. */
  std::string all;
  ASSERT_EQ(kez_test::run_command("/usr/bin/python3 " + std::string(KEZ_SOURCE_DIR) + "/tests/grid/data/sound_ref.py " +
                                      kGfs + " " + denver.text + " " + london.text + " " + west_of_0.text,
                                  &all),
            0)
      << all;
  auto reference = [&](const Point& p) {
    const std::string head = std::string("point ") + p.text + "\n";
    const size_t at = all.find(head);
    if (at == std::string::npos) return std::string();
    const size_t from = at + head.size();
    return all.substr(from, all.find("point", from) - from);
  };
  struct Case {
    const char* what;
    std::string path; /* empty: the KEZ netCDF copy */
    Point at;
    bool winds;
  };
  const Case cases[] = {
      {"GRIB at Denver", kGfs, denver, true},
      {"GRIB at London", kGfs, london, true},
      {"GRIB at 10N 1.2W", kGfs, west_of_0, true},
      {"KEZ netCDF copy at Denver", "", denver, true},
      {"cdo netCDF at Denver", cdo ? dir.file("cdo.nc") : "-", denver, false},
      {"cdo netCDF-4 at London", cdo ? dir.file("cdo4.nc") : "-", london, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.path == "-") continue;
    const std::string ref = reference(c.at);
    ASSERT_FALSE(ref.empty()) << all;
    auto r = run_child([&] {
      RES_put("file_path", KEZ_DATA_DIR);
      FLAG_set(FLAG_FCST_TIME, 72); /* the file is a 72-hour forecast */
      std::string path = c.path;
      if (path.empty()) {
        path = dir.file("copy.nc");
        if (copy_sounding_grids(path) < 100) return 3;
      }
      int type = GRD_TYPE_DETECT;
      const int fd = GRD_open(path.c_str(), GRD_ACCESS_READ, &type);
      GRD_info info{};
      if (fd < 0 || GRD_getinfo(fd, &info) != 0) return 2;
      UPA_level sm[GRD_SOUND_RECORDS];
      int num = GRD_SOUND_RECORDS;
      float sfcp = 0;
      const int res = GRD_get_sound(fd, c.at.lat, c.at.lon, sm, &num, &sfcp);
      std::printf("%d %d %.3f\n", res, num, sfcp);
      for (int i = 0; i < num; ++i)
        std::printf("%.3f %.3f %.4f %.4f %.3f %.4f\n", sm[i].p, sm[i].h, sm[i].t, sm[i].td, sm[i].dir, sm[i].spd);
      return 0;
    });
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("No conversion"), std::string::npos) << "gpm is a unit of height: " << r.err;
    const size_t head = r.out.find("Searching file for grids...\n");
    ASSERT_NE(head, std::string::npos) << r.out;
    std::istringstream got(r.out.substr(head + 28));
    int res = 0, num = 0;
    float sfcp = 0;
    got >> res >> num >> sfcp;
    ASSERT_EQ(res, 1) << r.out << r.err;
    std::vector<UPA_level> s(static_cast<size_t>(num));
    for (UPA_level& l : s) got >> l.p >> l.h >> l.t >> l.td >> l.dir >> l.spd;

    std::istringstream want(ref);
    std::string tag;
    double sp = 0, t2 = 0, r2 = 0, u10 = 0, v10 = 0;
    want >> tag >> sp >> t2 >> r2 >> u10 >> v10;
    ASSERT_EQ(tag, "sfc") << ref;
    EXPECT_NEAR(sfcp, sp / 100, 0.01);
    auto expect_level = [&](const UPA_level& l, double t, double rh, double u, double v, const std::string& what) {
      EXPECT_NEAR(l.t, t - 273.15, 0.01) << what;
      EXPECT_NEAR(l.td, dew_temp(static_cast<float>(t), static_cast<float>(rh)) - 273.15f, 0.01) << what;
      if (!c.winds) {
        EXPECT_EQ(l.spd, M) << what;
        return;
      }
      EXPECT_NEAR(l.spd, 1.944 * std::hypot(u, v), 0.01) << what;
      const double turn = l.dir - std::atan2(-u, -v) * 180 / M_PI; /* the angle between, -180..180 */
      EXPECT_NEAR(std::fmod(turn + 900, 360) - 180, 0, 0.1) << what;
    };
    int checked = 0;
    bool surface_seen = false;
    for (const UPA_level& l : s)
      if (std::fabs(l.p - sp / 100) < 0.01) {
        surface_seen = true;
        expect_level(l, t2, r2, u10, v10, "surface");
      }
    EXPECT_TRUE(surface_seen) << r.out;
    double p = 0, gh = 0, t = 0, rh = 0, u = 0, v = 0;
    while (want >> tag >> p >> gh >> t >> rh >> u >> v) {
      if (static_cast<int>(p) % 50 != 0 || p < 50) continue;
      const UPA_level* l = nullptr;
      for (const UPA_level& x : s)
        if (x.p == static_cast<float>(p)) l = &x;
      ASSERT_NE(l, nullptr) << p << " mb\n" << r.out;
      EXPECT_NEAR(l->h, gh, 0.05) << p;
      if (p > sp / 100) {
        /* Below ground: the height stays, nothing else. */
        EXPECT_EQ(l->t, M) << p;
        EXPECT_EQ(l->spd, M) << p;
      } else {
        expect_level(*l, t, rh, u, v, std::to_string(p) + " mb");
      }
      ++checked;
    }
    EXPECT_GE(checked, 15) << ref;
  }
}

} // namespace
