#include "kez.h"
#include "kez_test.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using kez_test::capture;
using kez_test::have_program;
using kez_test::run_command;
using kez_test::TempDir;
using kez_test::write_file;

constexpr float M = KEZ_FMISS;
constexpr double R = 63.7122;
constexpr double d2r = M_PI / 180.0;

Domain make(int proj, float plat, float plon, float clat, float clon, float dx = 1.0f, float dy = 1.0f, int nx = 11,
            int ny = 11) {
  Domain d;
  DOM_init(&d);
  d.proj = proj;
  d.plat = plat;
  d.plon = plon;
  d.clat = clat;
  d.clon = clon;
  d.dx = dx;
  d.dy = dy;
  d.nx = nx;
  d.ny = ny;
  return d;
}

Domain with_params(Domain d, float p0, float p1 = M, int ellipse = 0) {
  d.param[0] = p0;
  d.param[1] = p1;
  d.ellipse = ellipse;
  return d;
}

/* Great-circle separation of two points, degrees. */
double separation(double lat1, double lon1, double lat2, double lon2) {
  double a = std::sin((lat2 - lat1) * d2r / 2), b = std::sin((lon2 - lon1) * d2r / 2);
  double h = a * a + std::cos(lat1 * d2r) * std::cos(lat2 * d2r) * b * b;
  return 2.0 * std::asin(std::sqrt(std::min(1.0, h))) / d2r;
}

struct LatLon {
  float lat, lon;
};

struct XY {
  bool shown;
  double x, y;
};

/* Runs PROJ's proj on the points; results in metres, or not shown. */
std::vector<XY> run_proj(const std::string& args, const std::vector<LatLon>& pts) {
  TempDir dir;
  std::string in;
  char line[80];
  for (const LatLon& p : pts) {
    std::snprintf(line, sizeof line, "%.9g %.9g\n", static_cast<double>(p.lon), static_cast<double>(p.lat));
    in += line;
  }
  write_file(dir.file("in"), in);
  std::string out;
  run_command("proj -f %.10f " + args + " < " + dir.file("in") + " 2>/dev/null", &out);
  std::vector<XY> res;
  std::istringstream lines(out);
  std::string l;
  while (std::getline(lines, l)) {
    std::istringstream words(l);
    std::string a, b;
    words >> a >> b;
    if (a == "*" || b.empty())
      res.push_back({false, 0, 0});
    else
      res.push_back({true, std::stod(a), std::stod(b)});
  }
  return res;
}

/* ------------------------------------------------------------------------ */
/* Forward projections against PROJ                                          */
/* ------------------------------------------------------------------------ */

/* How PROJ's metres become the suite's plot units for one domain. */
enum class Scale { metres, sat_tangent, sat_angle };

struct ProjCase {
  const char* why;
  Domain dom;
  std::string args;
  Scale scale;
  double sat_rad; /* plot units; for the satellite scales */
  double sat_h;   /* PROJ's height above the equator, plot units */
  std::vector<LatLon> pts;
};

const std::vector<LatLon> world = {{60, -105}, {45, -80}, {30, 10},  {0, 100},   {-30, 170},
                                   {10, -179}, {70, 60},  {20, 179}, {50, -120}, {35, -95}};

std::vector<ProjCase> proj_cases() {
  const double sat_default = 421.61;
  const double a = 63.781368;
  std::vector<LatLon> south;
  for (LatLon p : world) south.push_back({-p.lat, p.lon});
  std::vector<LatLon> near = {{40, -100}, {55, -80}, {25, -120}, {10, -90}, {60, -150}, {-5, -60}, {70, 10}};
  std::vector<LatLon> disc = {{0, -75}, {30, -60}, {-40, -100}, {50, -75}, {10, -20}, {-60, -50}, {5, -130}};
  std::vector<LatLon> hidden_far = {{-40, 80}, {0, 100}};
  std::vector<LatLon> near_h = near;
  near_h.insert(near_h.end(), hidden_far.begin(), hidden_far.end());
  char h[64];
  char moll[80];
  std::snprintf(moll, sizeof moll, "+proj=moll +lon_0=-100 +R=%.6f", R * 1e5 / std::sqrt(2.0));
  auto sat_args = [&](double rs, const char* earth) {
    std::snprintf(h, sizeof h, " +h=%.3f", rs * 1e5 - (std::string(earth).find("+a=") == 0 ? a : R) * 1e5);
    return std::string("+proj=geos +lon_0=-75 ") + earth + h;
  };
  return {
      {"polar stereographic north, true at 60", make(1, 90, -105, 60, -105),
       "+proj=stere +lat_0=90 +lat_ts=60 +lon_0=-105 +R=6371220", Scale::metres, 0, 0, world},
      {"polar stereographic north, true at 45", with_params(make(1, 90, 10, 60, 10), 45),
       "+proj=stere +lat_0=90 +lat_ts=45 +lon_0=10 +R=6371220", Scale::metres, 0, 0, world},
      {"polar stereographic south, true at -60", make(1, -90, 0, -60, 0),
       "+proj=stere +lat_0=-90 +lat_ts=-60 +lon_0=0 +R=6371220", Scale::metres, 0, 0, south},
      {"polar stereographic south given +45", with_params(make(1, -90, 30, -60, 30), 45),
       "+proj=stere +lat_0=-90 +lat_ts=-45 +lon_0=30 +R=6371220", Scale::metres, 0, 0, south},
      {"latitude/longitude", make(2, 0, -100, 40, -100), "+proj=eqc +lon_0=-100 +R=5729577.951308232", Scale::metres, 0,
       0, world},
      {"Mercator", make(3, 0, -100, 0, -100), "+proj=merc +lon_0=-100 +R=6371220", Scale::metres, 0, 0, world},
      {"Lambert conformal 30/60 north", make(4, 45, -100, 45, -100),
       "+proj=lcc +lat_1=30 +lat_2=60 +lat_0=90 +lon_0=-100 +R=6371220", Scale::metres, 0, 0, world},
      {"Lambert conformal 25/45 north", with_params(make(4, 40, 20, 40, 20), 25, 45),
       "+proj=lcc +lat_1=25 +lat_2=45 +lat_0=90 +lon_0=20 +R=6371220", Scale::metres, 0, 0, world},
      {"Lambert tangent at its one true latitude", with_params(make(4, 40, -100, 40, -100), 25),
       "+proj=lcc +lat_1=25 +lat_2=25 +lat_0=90 +lon_0=-100 +R=6371220", Scale::metres, 0, 0, world},
      {"Lambert south given -30/-60", with_params(make(4, -40, 140, -40, 140), -30, -60),
       "+proj=lcc +lat_1=-30 +lat_2=-60 +lat_0=-90 +lon_0=140 +R=6371220", Scale::metres, 0, 0, south},
      {"Lambert south by default", make(4, -40, 140, -40, 140),
       "+proj=lcc +lat_1=-30 +lat_2=-60 +lat_0=-90 +lon_0=140 +R=6371220", Scale::metres, 0, 0, south},
      {"orthographic", make(5, 40, -100, 40, -100), "+proj=ortho +lat_0=40 +lon_0=-100 +R=6371220", Scale::metres, 0, 0,
       near_h},
      {"gnomonic", make(6, 40, -100, 40, -100), "+proj=gnom +lat_0=40 +lon_0=-100 +R=6371220", Scale::metres, 0, 0,
       near_h},
      {"Mollweide (half the area of the sphere)", make(7, 0, -100, 0, -100), moll, Scale::metres, 0, 0, world},
      {"Lambert azimuthal", make(8, 40, -100, 40, -100), "+proj=laea +lat_0=40 +lon_0=-100 +R=6371220", Scale::metres,
       0, 0, world},
      {"Lambert azimuthal polar", make(8, -90, 0, -90, 0), "+proj=laea +lat_0=-90 +lon_0=0 +R=6371220", Scale::metres,
       0, 0, south},
      {"satellite, sphere, tangents", make(9, 0, -75, 0, -75), sat_args(sat_default, "+R=6371220"), Scale::sat_tangent,
       sat_default, sat_default - R, disc},
      {"satellite, sphere, scan angles", with_params(make(9, 0, -75, 0, -75), 422.0f, 1), sat_args(422.0, "+R=6371220"),
       Scale::sat_angle, 422.0, 422.0 - R, disc},
      {"satellite, ellipsoid, scan angles", with_params(make(9, 0, -75, 0, -75), 422.0f, 1, 1),
       sat_args(422.0, "+a=6378136.8 +b=6356752"), Scale::sat_angle, 422.0, 422.0 - a, disc},
      {"satellite, ellipsoid, tangents", with_params(make(9, 0, -75, 0, -75), M, M, 1),
       sat_args(sat_default, "+a=6378136.8 +b=6356752"), Scale::sat_tangent, sat_default, sat_default - a, disc},
  };
}

TEST(Projections, ForwardAgreesWithProj) {
  if (!have_program("proj")) GTEST_SKIP() << "PROJ's proj is not installed";
  for (const ProjCase& c : proj_cases()) {
    std::vector<XY> ref = run_proj(c.args, c.pts);
    ASSERT_EQ(ref.size(), c.pts.size()) << c.why;
    ASSERT_EQ(MAP_domain(&c.dom), 0);
    for (size_t i = 0; i < c.pts.size(); ++i) {
      float x, y;
      int res = MAP_tran(c.pts[i].lat, c.pts[i].lon, &x, &y);
      std::string where =
          std::string(c.why) + " at " + std::to_string(c.pts[i].lat) + "," + std::to_string(c.pts[i].lon);
      if (!ref[i].shown) {
        EXPECT_EQ(res, 0) << where;
        EXPECT_EQ(x, M) << where;
        EXPECT_EQ(y, M) << where;
        continue;
      }
      double ex = ref[i].x / 1e5, ey = ref[i].y / 1e5;
      if (c.scale == Scale::sat_tangent) {
        ex = c.sat_rad * std::tan(ex / c.sat_h);
        ey = c.sat_rad * std::tan(ey / c.sat_h);
      } else if (c.scale == Scale::sat_angle) {
        ex = c.sat_rad * ex / c.sat_h;
        ey = c.sat_rad * ey / c.sat_h;
      }
      EXPECT_EQ(res, 1) << where;
      EXPECT_NEAR(x, ex, 1e-4) << where;
      EXPECT_NEAR(y, ey, 1e-4) << where;
    }
  }
}

/* ------------------------------------------------------------------------ */
/* Inverse after forward                                                     */
/* ------------------------------------------------------------------------ */

struct RoundCase {
  const char* why;
  Domain dom;
  float lat_min, lat_max;
  float centre_lat, centre_lon, max_dist; /* keep away from a limb: distance from this centre */
};

TEST(Projections, InverseReturnsTheProjectedPoint) {
  const RoundCase cases[] = {
      {"polar stereographic north", make(1, 90, -105, 60, -105), -74, 90, 0, 0, 999},
      {"polar stereographic south", make(1, -90, 20, -60, 20), -90, 74, 0, 0, 999},
      {"latitude/longitude", make(2, 0, -100, 40, -100), -90, 90, 0, 0, 999},
      {"Mercator", make(3, 0, 100, 0, 100), -89, 89, 0, 0, 999},
      {"Lambert north", make(4, 45, -100, 45, -100), -88, 90, 0, 0, 999},
      {"Lambert south", with_params(make(4, -35, 140, -35, 140), -30, -60), -90, 88, 0, 0, 999},
      {"Lambert tangent", with_params(make(4, 40, 0, 40, 0), 45), -88, 90, 0, 0, 999},
      {"orthographic", make(5, 40, -100, 40, -100), -90, 90, 40, -100, 85},
      {"gnomonic", make(6, -20, 30, -20, 30), -90, 90, -20, 30, 80},
      {"Mollweide", make(7, 0, -100, 0, -100), -89.9f, 89.9f, 0, 0, 999},
      {"Lambert azimuthal", make(8, 40, -100, 40, -100), -90, 90, 40, -100, 175},
      {"Lambert azimuthal polar", make(8, 90, 0, 90, 0), -85, 90, 0, 0, 999},
      {"satellite sphere", make(9, 0, -75, 0, -75), -90, 90, 0, -75, 78},
      {"satellite sphere, scan angles", with_params(make(9, 0, -75, 0, -75), 422.0f, 1), -90, 90, 0, -75, 78},
      {"satellite ellipsoid", with_params(make(9, 0, 140, 0, 140), M, M, 1), -90, 90, 0, 140, 78},
  };
  std::mt19937 gen(20240611);
  for (const RoundCase& c : cases) {
    ASSERT_EQ(MAP_domain(&c.dom), 0);
    std::uniform_real_distribution<float> ulat(c.lat_min, c.lat_max), ulon(-180.0f, 180.0f);
    int tried = 0, checked = 0;
    double worst = 0;
    while (checked < 300 && tried < 100000) {
      ++tried;
      float lat = ulat(gen), lon = ulon(gen);
      if (separation(lat, lon, c.centre_lat, c.centre_lon) > c.max_dist) continue;
      float x, y, lat2, lon2;
      if (MAP_tran(lat, lon, &x, &y) != 1) continue;
      ++checked;
      ASSERT_EQ(MAP_untran(x, y, &lat2, &lon2), 1) << c.why << " at " << lat << "," << lon;
      worst = std::max(worst, separation(lat, lon, lat2, lon2));
    }
    EXPECT_EQ(checked, 300) << c.why;
    EXPECT_LT(worst, 2e-4) << c.why;
  }
}

/* ------------------------------------------------------------------------ */
/* Hidden and off-map points                                                 */
/* ------------------------------------------------------------------------ */

TEST(Projections, HiddenPointsGiveZeroAndMissing) {
  struct Case {
    const char* why;
    Domain dom;
    float lat, lon;
  };
  const Case cases[] = {
      {"orthographic just beyond 90 degrees", make(5, 0, 0, 0, 0), 0, 90.01f},
      {"gnomonic at 90 degrees", make(6, 0, 0, 0, 0), 0, 90},
      {"Lambert azimuthal antipode", make(8, 40, -100, 40, -100), -40, 80},
      {"satellite 82 degrees away", make(9, 0, 0, 0, 0), 0, 82},
      {"missing latitude", make(3, 0, 0, 0, 0), M, 10},
      {"missing longitude", make(1, 90, 0, 60, 0), 50, M},
      {"infinite longitude", make(2, 0, 0, 0, 0), 10, INFINITY},
      {"degenerate Lambert cone", with_params(make(4, 40, 0, 40, 0), 0, 0), 40, 10},
      {"satellite inside the earth", with_params(make(9, 0, 0, 0, 0), 10), 0, 0},
      {"code without a rule", make(10, 0, 0, 0, 0), 10, 10},
      {"skew-T at zero pressure", make(40, M, M, -40, 1050, 80, -950), 10, 0},
  };
  for (const Case& c : cases) {
    MAP_domain(&c.dom);
    float x = 1, y = 1;
    EXPECT_EQ(MAP_tran(c.lat, c.lon, &x, &y), 0) << c.why;
    EXPECT_EQ(x, M) << c.why;
    EXPECT_EQ(y, M) << c.why;
  }
}

TEST(Projections, PlotPointsOffTheEarthGiveZeroAndMissing) {
  struct Case {
    const char* why;
    Domain dom;
    float x, y;
  };
  const Case cases[] = {
      {"orthographic outside the globe", make(5, 40, 0, 40, 0), static_cast<float>(R) + 0.01f, 0},
      {"Lambert azimuthal beyond 2R", make(8, 40, 0, 40, 0), 0, static_cast<float>(2 * R) + 0.01f},
      {"Mollweide above the ellipse", make(7, 0, 0, 0, 0), 0, static_cast<float>(1.5 * R)},
      {"Mollweide beside the ellipse", make(7, 0, 0, 0, 0), static_cast<float>(1.9 * R), static_cast<float>(0.5 * R)},
      {"satellite outside the disc", make(9, 0, 0, 0, 0), 70, 0},
      {"satellite ellipsoid outside the disc", with_params(make(9, 0, 0, 0, 0), M, M, 1), 0, 70},
      {"latitude/longitude above the pole", make(2, 0, 0, 0, 0), 0, 95},
      {"Lambert in the cone's gap", make(4, 45, 0, 45, 0), 0, 30},
      {"missing plot point", make(1, 90, 0, 60, 0), M, 0},
      {"code without a rule", make(10, 0, 0, 0, 0), 1, 1},
      {"Stuve above the diagram", make(41, M, M, -40, 1050, 80, -950), 0, 1},
  };
  for (const Case& c : cases) {
    MAP_domain(&c.dom);
    float lat = 1, lon = 1;
    EXPECT_EQ(MAP_untran(c.x, c.y, &lat, &lon), 0) << c.why;
    EXPECT_EQ(lat, M) << c.why;
    EXPECT_EQ(lon, M) << c.why;
  }
}

/* ------------------------------------------------------------------------ */
/* Worked cases of the projections                                           */
/* ------------------------------------------------------------------------ */

TEST(Projections, WorkedCasesHold) {
  struct Case {
    const char* why;
    Domain dom;
    float lat, lon;
    int res;
    double x, y;
  };
  const double k60 = (1 + std::sin(60 * d2r)) * R;
  const double merc_y = -R * std::log(std::tan((45 - 89.9 / 2) * d2r));
  const Case cases[] = {
      {"the pole maps to the origin", make(1, 90, -105, 60, -105), 90, -105, 1, 0, 0},
      {"60N on the central meridian lies straight below the pole", make(1, 90, -105, 60, -105), 60, -105, 1, 0,
       -k60 * std::tan(15 * d2r)},
      {"80N on a southern map is drawn on the 75N circle", make(1, -90, 0, -60, 0), 80, 0, 1, 0,
       k60 * std::tan(82.5 * d2r)},
      {"Mercator at 90 is computed at 89.9", make(3, 0, 0, 0, 0), 90, 0, 1, 0, merc_y},
      {"Mercator 190 degrees east wraps to -170", make(3, 0, 10, 0, 10), 0, 200, 1, -170 * R * d2r, 0},
      {"orthographic: 90 degrees from the centre is visible", make(5, 0, 0, 0, 0), 0, 90, 1, R, 0},
      {"Mollweide north pole", make(7, 0, 0, 0, 0), 90, 30, 1, 0, R},
      {"Mollweide south pole", make(7, 0, 0, 0, 0), -90, 30, 1, 0, -R},
      {"satellite sub-point", make(9, 0, -75, 0, -75), 0, -75, 1, 0, 0},
      {"latitude/longitude wraps once", make(2, 0, -100, 0, -100), 10, 170, 1, -90, 10},
      {"pixel", make(99, M, M, 0, 0), 12, 34, 1, 12, -34},
      {"no projection passes through", make(KEZ_MISS, M, M, 0, 0), 12, 34, 1, 12, 34},
  };
  for (const Case& c : cases) {
    MAP_domain(&c.dom);
    float x, y;
    EXPECT_EQ(MAP_tran(c.lat, c.lon, &x, &y), c.res) << c.why;
    EXPECT_NEAR(x, c.x, 1e-4) << c.why;
    EXPECT_NEAR(y, c.y, 1e-4) << c.why;
  }
}

TEST(Projections, LambertConeConstantAndTrueScale) {
  struct Case {
    const char* why;
    Domain dom;
    double n;
    std::vector<float> true_lats;
  };
  const Case cases[] = {
      {"secant 30/60", make(4, 45, -100, 45, -100), 0.7155668, {30, 60}},
      {"tangent 45/45", with_params(make(4, 45, -100, 45, -100), 45, 45), std::sin(45 * d2r), {45}},
      {"one true latitude: tangent at 25", with_params(make(4, 45, -100, 45, -100), 25), std::sin(25 * d2r), {25}},
      {"southern secant", with_params(make(4, -45, 0, -45, 0), -30, -60), 0.7155668, {-30, -60}},
  };
  for (const Case& c : cases) {
    MAP_domain(&c.dom);
    /* A meridian 90 degrees from the centre leaves the pole at n * 90 degrees. */
    float x, y;
    float lat = c.dom.plat > 0 ? 50.0f : -50.0f;
    ASSERT_EQ(MAP_tran(lat, c.dom.plon + 90, &x, &y), 1);
    double ang = std::atan2(x, c.dom.plat > 0 ? -y : y) / d2r;
    EXPECT_NEAR(ang, c.n * 90, 1e-4) << c.why;
    for (float t : c.true_lats) {
      ASSERT_EQ(MAP_tran(t, c.dom.plon, &x, &y), 1);
      double rho = std::hypot(x, y);
      EXPECT_NEAR(rho * c.n / (R * std::cos(t * d2r)), 1.0, 1e-5) << c.why << " at " << t;
      EXPECT_NEAR(MAP_factor(t, 0), 1.0, 1e-5) << c.why << " at " << t;
    }
  }
}

TEST(Projections, InverseCornerCases) {
  float lat, lon;
  Domain az = make(8, 40, -100, 40, -100);
  MAP_domain(&az);
  EXPECT_EQ(MAP_untran(0, 0, &lat, &lon), 1);
  EXPECT_FLOAT_EQ(lat, 40);
  EXPECT_FLOAT_EQ(lon, -100);

  Domain none = make(KEZ_MISS, M, M, 0, 0);
  MAP_domain(&none);
  EXPECT_EQ(MAP_untran(3, 4, &lat, &lon), 1) << "no projection writes its outputs";
  EXPECT_EQ(lat, 3);
  EXPECT_EQ(lon, 4);

  Domain gn = make(6, 40, -100, 40, -100);
  MAP_domain(&gn);
  EXPECT_EQ(MAP_untran(0, 0, &lat, &lon), 1);
  EXPECT_FLOAT_EQ(lat, 40);
  EXPECT_FLOAT_EQ(lon, -100);
}

TEST(Projections, KeywordCodesLeaveTheOutputsAlone) {
  for (int code : {21, 50, 51}) {
    MAP_proj(code);
    float x = 7, y = 8;
    EXPECT_EQ(MAP_tran(1, 2, &x, &y), 1) << code;
    EXPECT_EQ(MAP_untran(1, 2, &x, &y), 1) << code;
    EXPECT_EQ(x, 7) << code;
    EXPECT_EQ(y, 8) << code;
  }
}

TEST(Projections, PointRecordsCarryTheTransformation) {
  Domain d = make(3, 0, 0, 0, 0);
  MAP_domain(&d);
  Point pt;
  EXPECT_EQ(MAP_tran_ep(EarthPoint{45, 90}, &pt), 1);
  EarthPoint back;
  EXPECT_EQ(MAP_tran_pe(pt, &back), 1);
  EXPECT_NEAR(back.lat, 45, 1e-4);
  EXPECT_NEAR(back.lon, 90, 1e-4);
}

/* ------------------------------------------------------------------------ */
/* The current domain                                                        */
/* ------------------------------------------------------------------------ */

TEST(Domain, MissingReferenceTakesTheCentre) {
  Domain d = make(1, M, M, 50, -100);
  MAP_domain(&d);
  Domain cur;
  MAP_get_domain(&cur);
  EXPECT_EQ(cur.plat, 50);
  EXPECT_EQ(cur.plon, -100);
  EXPECT_EQ(MAP_get_domain(nullptr)->plon, -100);
  EXPECT_EQ(MAP_get_proj(), 1);
  EXPECT_EQ(MAP_get_clat(), 50);
  EXPECT_EQ(MAP_get_clon(), -100);
}

TEST(Domain, TrueLatitudeOfPolarStereographic) {
  struct Case {
    const char* why;
    Domain dom;
    float true_lat;
  };
  const Case cases[] = {
      {"north by default", make(1, 90, 0, 60, 0), 60},
      {"south by default", make(1, -90, 0, -60, 0), -60},
      {"45 in the north", with_params(make(1, 90, 0, 60, 0), 45), 45},
      {"45 in the south counts as 45S", with_params(make(1, -90, 0, -60, 0), 45), -45},
  };
  for (const Case& c : cases) {
    MAP_domain(&c.dom);
    EXPECT_NEAR(MAP_factor(c.true_lat, 0), 1.0, 1e-6) << c.why;
    float x, y;
    MAP_tran(c.true_lat, 0, &x, &y);
    float x2, y2;
    MAP_tran(c.true_lat + (c.true_lat > 0 ? 0.01f : -0.01f), 0, &x2, &y2);
    EXPECT_NEAR(std::hypot(x2 - x, y2 - y), 0.01 * d2r * R, 2e-5) << c.why << ": true scale";
  }
}

TEST(Domain, SatelliteDistance) {
  /* Forward of (0, 10) over plon 0 on the sphere: R sin 10 / (Rs - R cos 10), times Rs. */
  auto x_for = [](double rs) { return rs * R * std::sin(10 * d2r) / (rs - R * std::cos(10 * d2r)); };
  float x, y;
  Domain d = make(9, 0, 0, 0, 0);
  MAP_domain(&d);
  MAP_tran(0, 10, &x, &y);
  EXPECT_NEAR(x, x_for(421.61), 1e-4) << "default distance";
  d.param[0] = 500;
  MAP_domain(&d);
  MAP_tran(0, 10, &x, &y);
  EXPECT_NEAR(x, x_for(500), 1e-4) << "given distance";
  MAP_proj(3);
  MAP_proj(9);
  MAP_tran(0, 10, &x, &y);
  EXPECT_NEAR(x, x_for(500), 1e-4) << "the distance stays with the code";
}

TEST(Domain, NullClearsTheProjection) {
  Domain d = make(3, 0, 0, 0, 0);
  MAP_domain(&d);
  EXPECT_EQ(MAP_domain(nullptr), -1);
  EXPECT_EQ(MAP_get_proj(), KEZ_MISS);
  float x, y;
  EXPECT_EQ(MAP_tran(5, 6, &x, &y), 1);
  EXPECT_EQ(x, 5);
  EXPECT_EQ(y, 6);
  EXPECT_EQ(MAP_in_domain(1e6f, 1e6f), 1);
  EXPECT_EQ(MAP_in_grid_domain(1e6f, 1e6f), 1);
}

TEST(Domain, LimitsSpanTheGridAboutTheCentre) {
  Domain d = make(1, 90, -105, 60, -100, 1.2f, 1.2f, 25, 17);
  MAP_domain(&d);
  float xc, yc;
  ASSERT_EQ(MAP_tran_center(&xc, &yc), 1);
  MAP_limits lim;
  MAP_get_limits(&lim);
  EXPECT_NEAR(lim.x_max - lim.x_min, 28.8, 1e-4);
  EXPECT_NEAR(lim.y_max - lim.y_min, 19.2, 1e-4);
  EXPECT_NEAR((lim.x_max + lim.x_min) / 2, xc, 1e-4);
  EXPECT_NEAR((lim.y_max + lim.y_min) / 2, yc, 1e-4);
  float ux, uy;
  MAP_get_up_left(&ux, &uy);
  EXPECT_EQ(ux, lim.x_min);
  EXPECT_EQ(uy, lim.y_max);

  EXPECT_EQ(MAP_in_domain(xc, yc), 1);
  EXPECT_EQ(MAP_in_domain(lim.x_max + 0.1f, yc), 0);
  EXPECT_EQ(MAP_in_grid_domain(lim.x_max + 3.5f, yc), 1);
  EXPECT_EQ(MAP_in_grid_domain(lim.x_max + 3.7f, yc), 0);
  EXPECT_EQ(MAP_in_grid_domain(xc, lim.y_min - 3.7f), 0);

  Domain nogrid = make(3, 0, 0, 0, 0, M, M, KEZ_MISS, KEZ_MISS);
  MAP_domain(&nogrid);
  MAP_get_limits(&lim);
  EXPECT_EQ(lim.x_min, M) << "a domain without a grid has no limits";
}

TEST(Domain, AspectAndComparison) {
  Domain d = make(1, 90, -105, 60, -100, 1.2f, 1.2f, 25, 17);
  EXPECT_FLOAT_EQ(DOM_aspect(&d), 1.5f);
  Domain one = d;
  one.nx = 1;
  EXPECT_FLOAT_EQ(DOM_aspect(&one), 1.0f);

  Domain noref = make(1, M, M, 60, -100);
  Domain ref = make(1, 60, -100, 60, -100);
  EXPECT_EQ(DOM_comp(&noref, &ref), 1) << "missing plat and plon stand for the centre";
  EXPECT_EQ(DOM_comp(&ref, &noref), 1);
  EXPECT_EQ(DOM_comp(&d, &d), 1);

  struct Change {
    const char* why;
    void (*apply)(Domain&);
    int same_proj;
  };
  const Change changes[] = {
      {"proj", [](Domain& x) { x.proj = 3; }, 0},       {"clat", [](Domain& x) { x.clat = 61; }, 1},
      {"plat", [](Domain& x) { x.plat = 80; }, 0},      {"clon", [](Domain& x) { x.clon = -99; }, 1},
      {"plon", [](Domain& x) { x.plon = -90; }, 0},     {"dx", [](Domain& x) { x.dx = 1.3f; }, 1},
      {"dy", [](Domain& x) { x.dy = 1.3f; }, 1},        {"nx", [](Domain& x) { x.nx = 26; }, 1},
      {"ny", [](Domain& x) { x.ny = 18; }, 1},          {"param[4]", [](Domain& x) { x.param[4] = 1; }, 0},
      {"ellipse", [](Domain& x) { x.ellipse = 1; }, 0},
  };
  for (const Change& c : changes) {
    Domain e = d;
    c.apply(e);
    EXPECT_EQ(DOM_comp(&d, &e), 0) << c.why;
    EXPECT_EQ(DOM_comp_proj(&d, &e), c.same_proj) << c.why;
  }
}

TEST(Domain, PrintsInDomainTextSyntax) {
  Domain d = with_params(make(4, 45, -100, 40, -95, 0.5f, 0.25f, 30, 20), 30, 60);
  d.ellipse = 1;
  MAP_domain(&d);
  auto out = capture([] { MAP_print_domain(); });
  EXPECT_EQ(out.out, "lamb:e:45.000:-100.000:30.000:60.000:,40.000,-95.000,30,20,0.5000,0.2500\n");
  Domain xp = make(25, M, M, 0, -1050, 100, 950, 10, 9);
  MAP_domain(&xp);
  out = capture([] { MAP_print_domain(); });
  EXPECT_EQ(out.out, "xp:0.000:-1050.000:::,0.000,-1050.000,10,9,100.0000,950.0000\n")
      << "the reference point took the centre";
}

TEST(Domain, ProjectionNames) {
  struct Case {
    const char* name;
    int code;
  };
  const Case cases[] = {
      {"LatLon", 2}, {"ps", 1},     {"polar", 1},       {"lambert", 4}, {"lc", 4},     {"laz", 8},
      {"gnom", 6},   {"ortho", 5},  {"moll", 7},        {"merc", 3},    {"sat", 9},    {"pixel", 99},
      {"xy", 20},    {"xlogp", 22}, {"skewt", 40},      {"teph", 43},   {"rteph", 44}, {"stuve", 41},
      {"xp", 25},    {"xpp", -1},   {"miss", KEZ_MISS}, {"zoom", 50},   {"size", 51},  {"nonsense", -1},
      {"lambaz", 8}, {"LAMBAZ", 8}, {"lambazx", 4},     {"xz", 21},     {"hodo", 23},
  };
  for (const Case& c : cases) EXPECT_EQ(MAP_proj_str(c.name), c.code) << c.name;
  EXPECT_EQ(MAP_proj_str(nullptr), -1);
}

TEST(Domain, ReferenceAndTrueLatitudesCanBeSetAlone) {
  Domain d = make(4, 45, -100, 45, -100);
  MAP_domain(&d);
  float t[2] = {45, M};
  MAP_proj_coord(t);
  EXPECT_NEAR(MAP_factor(45, 0), 1.0, 1e-6) << "one true latitude makes a tangent cone";
  MAP_coord(45, 0);
  float x, y;
  MAP_tran(50, 0, &x, &y);
  EXPECT_NEAR(x, 0, 1e-6) << "the new central meridian runs straight up";
}

/* ------------------------------------------------------------------------ */
/* Diagrams                                                                  */
/* ------------------------------------------------------------------------ */

TEST(Diagrams, WorkedCasesHold) {
  struct Case {
    const char* why;
    Domain dom;
    float a, b;
    double x, y;
  };
  const Case cases[] = {
      {"x-y far corner", make(20, M, M, 0, 0, 100, 50, 10, 5), 100, 50, 10, 5},
      {"x-y middle", make(20, M, M, 0, 0, 100, 50, 10, 5), 50, 25, 5, 2.5},
      {"category", make(24, M, M, 10, 20, 100, 50, 10, 5), 60, 45, 15, 22.5},
      {"x-p bottom", make(25, M, M, 0, -1050, 100, 950, 10, 9), 0, 1050, 0, 1050},
      {"x-p top", make(25, M, M, 0, -1050, 100, 950, 10, 9), 100, 100, 10, 1059},
      {"x-log p", make(22, M, M, 0, 1000, 10, -900), 5, 500, 5, -std::log(500.0)},
      {"hodograph east", make(23, M, M, -20, -20, 40, 40), 90, 10, 10, 0},
      {"Stuve", make(41, M, M, -40, 1050, 80, -950), 10, 500, 10, -std::pow(500.0, 0.285714)},
      {"emagram", make(42, M, M, -40, 1050, 80, -950), 10, 500, 10, -std::log(500.0)},
      {"theta, not turned", make(44, M, M, -40, 1050, 80, -950), 0, 500, 0, std::log(273.15 * std::pow(2.0, 0.286))},
  };
  for (const Case& c : cases) {
    MAP_domain(&c.dom);
    float x, y, a, b;
    EXPECT_EQ(MAP_tran(c.a, c.b, &x, &y), 1) << c.why;
    EXPECT_NEAR(x, c.x, 1e-4) << c.why;
    EXPECT_NEAR(y, c.y, 1e-4) << c.why;
    EXPECT_EQ(MAP_untran(x, y, &a, &b), 1) << c.why;
    EXPECT_NEAR(a, c.a, 1e-3) << c.why;
    EXPECT_NEAR(b, c.b, 1e-5 * std::max(1.0f, c.b)) << c.why;
  }
}

/* A diagram without extent has no scale: it is refused where it is set,
 * and no point of it is visible (never an infinite position). */
TEST(Diagrams, ADegenerateDomainIsRefusedAndShowsNothing) {
  struct Case {
    const char* why;
    Domain dom;
  };
  const Case cases[] = {
      {"x-y with dx 0", make(20, M, M, 0, 0, 0, 50, 10, 5)},
      {"x-y with dy 0", make(20, M, M, 0, 0, 100, 0, 10, 5)},
      {"x-y with no plot width", make(20, M, M, 0, 0, 100, 50, 0, 5)},
      {"category with dx 0", make(24, M, M, 10, 20, 0, 50, 10, 5)},
      {"x-p with dy 0", make(25, M, M, 0, -1050, 100, 0, 10, 9)},
      {"x-y with an infinite dx", make(20, M, M, 0, 0, INFINITY, 50, 10, 5)},
      {"x-log p with dx 0", make(22, M, M, 0, 1000, 0, -900)},
      {"skew-T with dy 0", make(40, M, M, -40, 1050, 80, 0)},
      {"hodograph with dx 0", make(23, M, M, -20, -20, 0, 40)},
  };
  for (const Case& c : cases) {
    int set = 0;
    auto out = capture([&] { set = MAP_domain(&c.dom); });
    EXPECT_EQ(set, -1) << c.why;
    EXPECT_NE(out.err.find("MAP_domain: diagram without extent"), std::string::npos) << c.why << ": " << out.err;
    float x = 0, y = 0, a = 0, b = 0;
    EXPECT_EQ(MAP_tran(50, 25, &x, &y), 0) << c.why;
    EXPECT_EQ(x, M) << c.why;
    EXPECT_EQ(y, M) << c.why;
    EXPECT_EQ(MAP_untran(5, 2, &a, &b), 0) << c.why;
    EXPECT_EQ(MAP_in_domain(x, y), 0) << c.why;
    EXPECT_EQ(MAP_in_domain(0, 0), 0) << c.why;
  }
  const Domain fine = make(20, M, M, 0, 0, 100, 50, 10, 5);
  EXPECT_EQ(MAP_domain(&fine), 0) << "a diagram with extent is taken again";
  float x = 0, y = 0;
  EXPECT_EQ(MAP_tran(50, 25, &x, &y), 1);
}

TEST(Diagrams, HodographInverse) {
  Domain d = make(23, M, M, -20, -20, 40, 40);
  MAP_domain(&d);
  float dir, spd;
  MAP_untran(0, -10, &dir, &spd);
  EXPECT_NEAR(dir, 180, 1e-5);
  EXPECT_NEAR(spd, 10, 1e-5);
  MAP_untran(-10, 0, &dir, &spd);
  EXPECT_NEAR(dir, 270, 1e-5) << "directions are 0 to 360";
  MAP_untran(0, 0, &dir, &spd);
  EXPECT_EQ(dir, 0);
  EXPECT_EQ(spd, 0);
}

/* Plot point to viewport point on the current diagram. */
void to_view(const MAP_limits& vp, float x, float y, double& u, double& w) {
  MAP_limits lim;
  MAP_get_limits(&lim);
  u = vp.x_min + (x - lim.x_min) / (lim.x_max - lim.x_min) * (vp.x_max - vp.x_min);
  w = vp.y_min + (y - lim.y_min) / (lim.y_max - lim.y_min) * (vp.y_max - vp.y_min);
}

/* The slope, in degrees on the viewport, of the line that joins two
 * (temperature, pressure) points. */
double slope_on_view(const MAP_limits& vp, float t1, float p1, float t2, float p2) {
  float x1, y1, x2, y2;
  EXPECT_EQ(MAP_tran(t1, p1, &x1, &y1), 1);
  EXPECT_EQ(MAP_tran(t2, p2, &x2, &y2), 1);
  double u1, w1, u2, w2;
  to_view(vp, x1, y1, u1, w1);
  to_view(vp, x2, y2, u2, w2);
  return std::atan2(w2 - w1, u2 - u1) / d2r;
}

const Domain skewt_dom = make(40, M, M, -40, 1050, 80, -950);
const Domain teph_dom = make(43, M, M, -40, 250, 80, 150);

TEST(Diagrams, IsothermsRiseAt45DegreesOnTheViewport) {
  const MAP_limits unset{M, M, M, M};
  const MAP_limits unit{0, 1, 0, 1};
  const MAP_limits wide{0.1f, 0.9f, 0.2f, 0.6f};
  struct Case {
    const char* why;
    const Domain* dom;
    MAP_limits set, seen; /* viewport set, and the one the slopes are seen on */
  };
  const Case cases[] = {
      {"skew-T without a viewport: the whole surface", &skewt_dom, unset, unit},
      {"tephigram without a viewport: the whole surface", &teph_dom, unset, unit},
      {"skew-T on a wide viewport", &skewt_dom, wide, wide},
      {"tephigram on a wide viewport", &teph_dom, wide, wide},
  };
  for (const Case& c : cases) {
    MAP_set_view(&c.set);
    MAP_domain(c.dom);
    EXPECT_NEAR(slope_on_view(c.seen, -10, 900, -10, 400), 45, 1e-3) << c.why;
    if (c.dom->proj == 43) {
      /* Dry adiabats cross them at right angles: one theta at two pressures. */
      auto t_at = [](double p) { return static_cast<float>(300 * std::pow(p / 1000.0, 0.286) - 273.15); };
      double ad = slope_on_view(c.seen, t_at(900), 900, t_at(500), 500);
      EXPECT_NEAR(std::remainder(ad, 180.0), -45, 1e-2) << c.why;
    }
  }
  MAP_set_view(&wide);
  MAP_domain(&skewt_dom);
  MAP_set_view(&unit);
  EXPECT_NEAR(slope_on_view(unit, -10, 900, -10, 400), 45, 1e-3) << "a new viewport rescales";
}

TEST(Diagrams, ThermodynamicRoundTrips) {
  const MAP_limits vp{0.1f, 0.9f, 0.2f, 0.6f};
  const Domain doms[] = {skewt_dom, teph_dom, make(41, M, M, -40, 1050, 80, -950), make(42, M, M, -40, 1050, 80, -950),
                         make(44, M, M, -40, 1050, 80, -950)};
  for (const Domain& d : doms) {
    MAP_domain(&d);
    MAP_set_view(&vp);
    for (float t : {-35.0f, 0.0f, 25.0f})
      for (float p : {1000.0f, 700.0f, 250.0f}) {
        float x, y, t2, p2;
        ASSERT_EQ(MAP_tran(t, p, &x, &y), 1) << d.proj;
        ASSERT_EQ(MAP_untran(x, y, &t2, &p2), 1) << d.proj;
        EXPECT_NEAR(t2, t, 1e-3) << d.proj;
        EXPECT_NEAR(p2, p, 1e-4 * p) << d.proj;
      }
  }
}

TEST(Diagrams, MissingTemperatureGivesMissing) {
  MAP_domain(&teph_dom);
  float x = 0, y = 0;
  EXPECT_EQ(MAP_tran(M, 500, &x, &y), 0);
  EXPECT_EQ(x, M);
  EXPECT_EQ(y, M);
}

/* ------------------------------------------------------------------------ */
/* Grid indices, other domains, offsets                                      */
/* ------------------------------------------------------------------------ */

TEST(Grid, CornersAndMissingPositions) {
  Domain d = make(1, 90, -105, 60, -100, 1.2f, 1.2f, 25, 17);
  MAP_domain(&d);
  MAP_limits lim;
  MAP_get_limits(&lim);
  float x, y, gx, gy;
  EXPECT_EQ(MAP_grid_tran(0, 0, &x, &y), 0);
  EXPECT_EQ(x, lim.x_min);
  EXPECT_EQ(y, lim.y_max);
  EXPECT_EQ(MAP_grid_untran(lim.x_max, lim.y_min, &gx, &gy), 0);
  EXPECT_NEAR(gx, 24, 1e-4);
  EXPECT_NEAR(gy, 16, 1e-4);
  EXPECT_EQ(MAP_grid_tran(M, 3, &x, &y), -1);
  EXPECT_EQ(x, M);
  EXPECT_EQ(y, M);
  EXPECT_EQ(MAP_grid_untran(M, 3, &gx, &gy), -1);
  EXPECT_EQ(gx, M);
  EXPECT_EQ(gy, M);
}

TEST(Grid, ConversionBetweenDomains) {
  Domain ps = make(1, 90, -105, 60, -100, 1.2f, 1.2f, 25, 17);
  Domain ll = make(2, 0, 0, 0, 0, 1, 1, 361, 181);
  Domain ortho = make(5, -40, 100, -40, 100, 1, 1, 11, 11);
  MAP_domain(&ll);
  MAP_limits before;
  MAP_get_limits(&before);

  float x, y;
  MAP_domain(&ps);
  float px, py;
  MAP_tran(50, -90, &px, &py);
  MAP_domain(&ll);
  EXPECT_EQ(MAP_domain_tran(&ps, &ll, px, py, &x, &y), 0);
  EXPECT_NEAR(x, -90, 1e-3);
  EXPECT_NEAR(y, 50, 1e-3);

  EXPECT_EQ(MAP_domain_tran(&ps, &ortho, px, py, &x, &y), -1) << "hidden in the second domain";
  EXPECT_EQ(x, M);
  EXPECT_EQ(y, M);
  EXPECT_EQ(MAP_domain_tran(&ortho, &ps, 100, 100, &x, &y), -1) << "off the first domain's earth";
  EXPECT_EQ(x, M);

  Domain one = make(1, 60, -100, 60, -100, 1.2f, 1.2f, 25, 17);
  Domain same = make(1, M, M, 60, -100, 1.2f, 1.2f, 25, 17);
  EXPECT_EQ(MAP_domain_tran(&one, &same, 1e6f, -1e6f, &x, &y), 0);
  EXPECT_EQ(x, 1e6f) << "equal domains copy the point";
  EXPECT_EQ(y, -1e6f);

  MAP_limits after;
  MAP_get_limits(&after);
  EXPECT_EQ(MAP_get_proj(), 2) << "the current domain is restored";
  EXPECT_EQ(after.x_min, before.x_min);
  EXPECT_EQ(after.y_max, before.y_max);
}

TEST(Grid, SamePlaneOnlyWhereTheWayThroughTheEarthGivesEveryPointBack) {
  struct Case {
    const char* from;
    const char* to;
    MAP_limits box;
    int same;
    const char* why;
  };
  const Case cases[] = {
      {"lc:40:-95:33:45,40,-95,19,13,3.4,3.4",
       "lc:40:-95:33:45,50,-80,10,10,1,1",
       {-40, 40, -60, -10},
       1,
       "one cone, other centres and spacings"},
      {"lc:40:-95:33:45,40,-95,19,13,3.4,3.4",
       "lc:40:-95:30:60,40,-95,19,13,3.4,3.4",
       {-40, 40, -60, -10},
       0,
       "other true latitudes"},
      {"lc:40:-95:33:45,40,-95,19,13,3.4,3.4",
       "lc:40:-90:33:45,40,-95,19,13,3.4,3.4",
       {-40, 40, -60, -10},
       0,
       "another central meridian"},
      {"lc:40:-95:33:45,40,-95,19,13,3.4,3.4",
       "lc:40:-95:33:45,40,-95,19,13,3.4,3.4",
       {-40, 40, -60, 5},
       0,
       "the box reaches past the pole, towards the cone's gap"},
      {"lc:-40:-95:-33:-45,-40,-95,19,13,3.4,3.4",
       "lc:-40:-95:-33:-45,-30,-95,19,13,3.4,3.4",
       {-40, 40, 10, 60},
       1,
       "a southern cone: the map lies on the other side of its pole"},
      {"lc:25:-95:25:25,25,-95,19,13,3.4,3.4",
       "lc:25:-95:25:25,25,-95,19,13,3.4,3.4",
       {-40, 40, -120, -50},
       1,
       "a narrow cone"},
      {"lc:25:-95:25:25,25,-95,19,13,3.4,3.4",
       "lc:25:-95:25:25,25,-95,19,13,3.4,3.4",
       {-300, 300, -120, 50},
       0,
       "a narrow cone's box beyond its edge meridians"},
      {"ps:90:-100,60,-100,25,17,2,2",
       "ps:90:-100,70,-60,25,17,1,1",
       {-50, 50, -50, 50},
       1,
       "polar stereographic about the pole"},
      {"ps:90:-100,60,-100,25,17,2,2",
       "ps:90:-100,70,-60,25,17,1,1",
       {-1000, 1000, -1000, 1000},
       0,
       "past the circle where the far hemisphere is drawn"},
      {"ll:0:-100,40,-100,40,30,1,1", "ll:0:-100,30,-90,40,30,1,1", {-20, 20, 20, 50}, 1, "latitude and longitude"},
      {"ll:0:0,0,180,361,181,1,1",
       "ll:0:0,0,0,361,181,1,1",
       {0, 360, -90, 90},
       0,
       "a grid from 0 to 360 degrees on a map between -180 and 180"},
      {"merc:0:170,0,170,60,40,1.5,1.5", "merc:0:170,10,170,60,40,1.5,1.5", {-40, 40, -30, 30}, 1, "Mercator"},
      {"merc,0,170,60,40,1.5,1.5", "merc,0,170,60,40,1.5,1.5", {-40, 300, -30, 30}, 0, "Mercator past the date line"},
      {"lc:40:-95:33:45,40,-95,19,13,3.4,3.4", "ps,40,-95,19,13,3.4,3.4", {-40, 40, -60, -10}, 0, "another projection"},
  };
  Domain current = make(MAP_LATLON, 0, 0, 0, 0, 1, 1, 361, 181);
  MAP_domain(&current);
  for (const Case& c : cases) {
    Domain a{}, b{};
    ASSERT_EQ(DOM_decode(c.from, &a), DOM_DECODED) << c.from;
    ASSERT_EQ(DOM_decode(c.to, &b), DOM_DECODED) << c.to;
    EXPECT_EQ(MAP_same_plane(&a, &b, &c.box), c.same) << c.why;
    EXPECT_EQ(MAP_get_proj(), MAP_LATLON) << c.why << ": the current domain is kept";
  }
  EXPECT_EQ(MAP_same_plane(nullptr, &current, nullptr), 0);
}

TEST(Grid, BoxExtentHoldsEveryProjectedPointOfTheBox) {
  const char* domains[] = {
      "lc:40:-95:33:45,40,-95,19,13,3.4,3.4",
      "lc:-40:140:-33:-45,-40,140,19,13,3.4,3.4",
      "lc:25:170:25:25,25,170,19,13,3.4,3.4",
      "ps:90:-100,60,-100,25,17,2,2",
      "ps:-90:30,-70,30,25,17,2,2",
      "ll:0:180,0,180,30,20,2,2",
      "ll,40,-100,40,30,1,1",
      "merc:0:-170,10,-170,30,20,2,2",
  };
  std::mt19937 rng(64);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  for (const char* text : domains) {
    Domain d{};
    ASSERT_EQ(DOM_decode(text, &d), DOM_DECODED) << text;
    MAP_domain(&d);
    int bounded = 0, refused = 0;
    for (int b = 0; b < 300; ++b) {
      const float lat0 = 180.0f * u(rng) - 90.0f, lon0 = 360.0f * u(rng) - 180.0f;
      const float lat1 = std::min(90.0f, lat0 + 40.0f * u(rng) * u(rng));
      const float lon1 = std::min(180.0f, lon0 + 60.0f * u(rng) * u(rng));
      MAP_limits e{};
      if (!MAP_box_extent(lat0, lat1, lon0, lon1, &e)) {
        ++refused;
        continue;
      }
      ++bounded;
      for (int i = 0; i <= 12; ++i)
        for (int j = 0; j <= 12; ++j) {
          const float lat = lat0 + (lat1 - lat0) * static_cast<float>(i) / 12.0f;
          const float lon = lon0 + (lon1 - lon0) * static_cast<float>(j) / 12.0f;
          float x = 0, y = 0;
          ASSERT_EQ(MAP_tran(lat, lon, &x, &y), 1) << text;
          EXPECT_TRUE(x >= e.x_min && x <= e.x_max && y >= e.y_min && y <= e.y_max)
              << text << ": " << lat << "," << lon << " at " << x << "," << y << " outside " << e.x_min << ".."
              << e.x_max << ", " << e.y_min << ".." << e.y_max;
        }
    }
    EXPECT_GT(bounded, 150) << text;
    if (d.proj != MAP_PSTEREO) {
      EXPECT_GT(refused, 0) << text << ": boxes across the seam are refused";
    }
  }
  MAP_limits e{};
  Domain ortho{};
  ASSERT_EQ(DOM_decode("or,40,-100,25,17,1,1", &ortho), DOM_DECODED);
  MAP_domain(&ortho);
  EXPECT_EQ(MAP_box_extent(30, 40, -110, -100, &e), 0) << "a projection that hides points";
  Domain ll{};
  ASSERT_EQ(DOM_decode("ll,40,-100,40,30,1,1", &ll), DOM_DECODED);
  MAP_domain(&ll);
  EXPECT_EQ(MAP_box_extent(30, 40, 170, 190, &e), 0) << "longitudes beyond 180";
  EXPECT_EQ(MAP_box_extent(40, 30, -110, -100, &e), 0) << "an empty box";
  EXPECT_EQ(MAP_box_extent(M, 30, -110, -100, &e), 0) << "a missing corner";
}

TEST(Grid, RepeatedConversionsBetweenDomainsAgreeWithTheFirst) {
  /* A station chart carries every station from the plot's domain to the
   * grid's; the answer for a point must not depend on what was converted
   * before, on the domain in force, or on where the domains are kept. */
  Domain plot = make(MAP_LAMB, 40, -95, 40, -95, 3.4f, 3.4f, 19, 13);
  plot.param[0] = 33;
  plot.param[1] = 45;
  Domain grid = plot;
  grid.dx = grid.dy = 0.205f;
  grid.nx = 300;
  grid.ny = 200;
  Domain polar = make(MAP_PSTEREO, 90, -105, 60, -100, 1.2f, 1.2f, 25, 17);
  const float places[][2] = {{40, -95}, {33.3f, -117.1f}, {47.6f, -70.2f}, {25.8f, -80.3f}};
  float points[std::size(places)][2];
  MAP_domain(&plot);
  for (size_t i = 0; i < std::size(places); ++i)
    ASSERT_EQ(MAP_tran(places[i][0], places[i][1], &points[i][0], &points[i][1]), 1);

  std::vector<std::pair<float, float>> first;
  for (const auto& p : points) {
    float x = M, y = M;
    ASSERT_EQ(MAP_domain_tran(&plot, &grid, p[0], p[1], &x, &y), 0);
    first.emplace_back(x, y);
  }
  auto again = [&](const char* why) {
    for (size_t i = 0; i < std::size(points); ++i) {
      float x = M, y = M;
      EXPECT_EQ(MAP_domain_tran(&plot, &grid, points[i][0], points[i][1], &x, &y), 0) << why;
      EXPECT_EQ(x, first[i].first) << why << ", point " << i;
      EXPECT_EQ(y, first[i].second) << why << ", point " << i;
    }
  };
  again("repeated");
  float x, y;
  MAP_domain_tran(&polar, &plot, 1, 1, &x, &y);
  again("after another pair");
  MAP_domain(&polar);
  again("with another domain in force");
  Domain plot_copy = plot, grid_copy = grid;
  for (size_t i = 0; i < std::size(points); ++i) {
    ASSERT_EQ(MAP_domain_tran(&plot_copy, &grid_copy, points[i][0], points[i][1], &x, &y), 0);
    EXPECT_EQ(x, first[i].first) << "copies of the domains, point " << i;
  }

  /* A domain changed where it is kept gives the changed answer. */
  grid.plon = -80;
  Domain moved = grid;
  float moved_x = M, moved_y = M;
  ASSERT_EQ(MAP_domain_tran(&plot, &grid, points[1][0], points[1][1], &x, &y), 0);
  MAP_domain_tran(&polar, &plot, 1, 1, &moved_x, &moved_y);
  ASSERT_EQ(MAP_domain_tran(&plot, &moved, points[1][0], points[1][1], &moved_x, &moved_y), 0);
  EXPECT_NE(x, first[1].first);
  EXPECT_EQ(x, moved_x);
  EXPECT_EQ(y, moved_y);
  EXPECT_EQ(MAP_get_proj(), MAP_PSTEREO) << "the domain in force is kept";
}

TEST(Grid, OffsetsMoveAlongTheEarth) {
  struct Case {
    const char* why;
    Domain dom;
    float lat, lon, dir, km;
    float lat2, lon2;
  };
  const Case cases[] = {
      {"111.195 km north at the equator is one degree", make(3, 0, 0, 0, 0), 0, 20, 0, 111.195f, 1, 20},
      {"east at the equator", make(2, 0, 0, 0, 0), 0, 20, 90, 111.195f, 0, 21},
      {"south from the north pole", make(1, 90, -105, 60, -105), 90, -105, 180, 1111.95f, 80, -105},
      {"from the pole towards plon + 90", make(1, 90, -105, 60, -105), 90, -105, 90, 1111.95f, 80, -15},
      {"from the south pole", make(1, -90, 0, -60, 0), -90, 0, 0, 1111.95f, -80, 0},
  };
  for (const Case& c : cases) {
    MAP_domain(&c.dom);
    float x, y, xf, yf, lat, lon;
    ASSERT_EQ(MAP_tran(c.lat, c.lon, &x, &y), 1) << c.why;
    ASSERT_EQ(MAP_offset(x, y, c.dir, c.km, &xf, &yf), 1) << c.why;
    ASSERT_EQ(MAP_untran(xf, yf, &lat, &lon), 1) << c.why;
    EXPECT_LT(separation(lat, lon, c.lat2, c.lon2), 1e-3) << c.why << ": " << lat << "," << lon;
  }
  Domain o = make(5, 0, 0, 0, 0);
  MAP_domain(&o);
  float xf = 0, yf = 0;
  EXPECT_EQ(MAP_offset(100, 0, 0, 10, &xf, &yf), 0) << "start off the earth";
  EXPECT_EQ(xf, M);
  EXPECT_EQ(MAP_offset(R * 0.999f, 0, 90, 500, &xf, &yf), 0) << "moved behind the globe";
  EXPECT_EQ(xf, M);
}

/* ------------------------------------------------------------------------ */
/* Map factor and directions                                                 */
/* ------------------------------------------------------------------------ */

/* Plot length of a 20 km north-south chord centred on the point over the
 * length of the same arc on the projection's sphere. */
double measured_factor(float lat, float lon) {
  float x, y, xn, yn, xs, ys;
  MAP_tran(lat, lon, &x, &y);
  MAP_offset(x, y, 0, 10, &xn, &yn);
  MAP_offset(x, y, 180, 10, &xs, &ys);
  double arc = 20 / 111.195 * d2r * R;
  return std::hypot(xn - xs, yn - ys) / arc;
}

TEST(Directions, MapFactorMatchesTheProjection) {
  struct Case {
    const char* why;
    Domain dom;
    std::vector<float> lats;
  };
  const Case cases[] = {
      {"polar stereographic true at 45", with_params(make(1, 90, 0, 60, 0), 45), {20, 45, 70}},
      {"southern polar stereographic", make(1, -90, 0, -60, 0), {-30, -60, -80}},
      {"Lambert 30/60", make(4, 45, 0, 45, 0), {20, 45, 70}},
      {"southern Lambert", make(4, -45, 0, -45, 0), {-20, -45, -70}},
      {"Mercator", make(3, 0, 0, 0, 0), {0, 30, -60}},
  };
  for (const Case& c : cases) {
    MAP_domain(&c.dom);
    for (float lat : c.lats) {
      double expect = measured_factor(lat, 0);
      EXPECT_NEAR(MAP_factor(lat, 0), expect, 5e-4 * expect) << c.why << " at " << lat;
    }
  }
  Domain given = with_params(make(4, 45, 0, 45, 0), 30, 60);
  given.param[2] = 1.25f;
  MAP_domain(&given);
  EXPECT_EQ(MAP_factor(45, 0), 1.25f) << "a factor given with the domain stands";
}

/* PROJ's scales at points: h, k, s, omega, a, b of `proj -S`. */
std::vector<std::vector<double>> proj_scales(const std::string& args, const std::vector<LatLon>& pts) {
  TempDir dir;
  std::string in;
  char line[80];
  for (const LatLon& p : pts) {
    std::snprintf(line, sizeof line, "%.9g %.9g\n", static_cast<double>(p.lon), static_cast<double>(p.lat));
    in += line;
  }
  write_file(dir.file("in"), in);
  std::string out;
  run_command("proj -S " + args + " < " + dir.file("in") + " 2>/dev/null", &out);
  std::vector<std::vector<double>> res;
  std::istringstream lines(out);
  std::string l;
  while (std::getline(lines, l)) {
    const std::size_t open = l.find('<'), close = l.find('>');
    std::vector<double> v;
    if (open != std::string::npos && close != std::string::npos) {
      std::istringstream words(l.substr(open + 1, close - open - 1));
      for (double d; words >> d;) v.push_back(d);
    }
    res.push_back(v);
  }
  return res;
}

/* Directions turned and the map factor on the maps that have no formula
 * for them, against PROJ: the plot direction of a bearing is the image of
 * the bearing's unit vector under PROJ's steps north and east (central
 * differences of its forward projection), and the factor is the mean of
 * PROJ's largest and smallest scale. */
TEST(Directions, TurnAndFactorOfTheOtherMapsAgreeWithProj) {
  if (!have_program("proj")) GTEST_SKIP() << "PROJ's proj is not installed";
  struct Case {
    const char* why;
    Domain dom;
    std::string args;
    double scale; /* the suite's scale over PROJ's */
    std::vector<LatLon> pts;
  };
  char moll[80];
  std::snprintf(moll, sizeof moll, "+proj=moll +lon_0=-100 +R=%.6f", R * 1e5 / std::sqrt(2.0));
  const Case cases[] = {
      {"orthographic",
       make(5, 40, -100, 40, -100),
       "+proj=ortho +lat_0=40 +lon_0=-100 +R=6371220",
       1,
       {{40, -100}, {55, -80}, {25, -120}, {60, -150}, {10, -60}}},
      {"gnomonic",
       make(6, 40, -100, 40, -100),
       "+proj=gnom +lat_0=40 +lon_0=-100 +R=6371220",
       1,
       {{40, -100}, {55, -80}, {25, -120}, {60, -150}, {10, -60}}},
      {"Lambert azimuthal",
       make(8, 40, -100, 40, -100),
       "+proj=laea +lat_0=40 +lon_0=-100 +R=6371220",
       1,
       {{40, -100}, {55, -80}, {25, -120}, {-10, -40}, {70, 60}}},
      {"Mollweide",
       make(7, 0, -100, 0, -100),
       moll,
       1 / std::sqrt(2.0),
       {{0, -100}, {30, 10}, {60, -105}, {-45, 170}, {10, -150}}},
  };
  const double step = 0.01; /* degrees of arc */
  for (const Case& c : cases) {
    MAP_domain(&c.dom);
    std::vector<LatLon> around;
    for (LatLon p : c.pts) {
      const float e = static_cast<float>(step / std::cos(p.lat * d2r));
      around.push_back({p.lat + static_cast<float>(step), p.lon});
      around.push_back({p.lat - static_cast<float>(step), p.lon});
      around.push_back({p.lat, p.lon + e});
      around.push_back({p.lat, p.lon - e});
    }
    const std::vector<XY> moved = run_proj(c.args, around);
    const std::vector<std::vector<double>> scales = proj_scales(c.args, c.pts);
    ASSERT_EQ(moved.size(), around.size()) << c.why;
    ASSERT_EQ(scales.size(), c.pts.size()) << c.why;
    for (std::size_t i = 0; i < c.pts.size(); ++i) {
      const LatLon p = c.pts[i];
      const XY* m = &moved[4 * i];
      const double nx = m[0].x - m[1].x, ny = m[0].y - m[1].y, ex = m[2].x - m[3].x, ey = m[2].y - m[3].y;
      float x, y;
      ASSERT_EQ(MAP_tran(p.lat, p.lon, &x, &y), 1) << c.why;
      for (float dir : {0.0f, 45.0f, 90.0f, 200.0f, 300.0f}) {
        const double t = dir * d2r;
        const double want = std::atan2(std::cos(t) * nx + std::sin(t) * ex, std::cos(t) * ny + std::sin(t) * ey) / d2r;
        const double adj = MAP_dir_adj(dir, x, y);
        EXPECT_NEAR(std::remainder(adj - want, 360.0), 0, 0.1)
            << c.why << " at " << p.lat << "," << p.lon << " bearing " << dir;
        EXPECT_NEAR(std::remainder(MAP_undir_adj(static_cast<float>(adj), x, y) - dir, 360.0), 0, 0.1)
            << c.why << " turned back at " << p.lat << "," << p.lon << " bearing " << dir;
      }
      ASSERT_EQ(scales[i].size(), 6u) << c.why;
      const double want = (scales[i][4] + scales[i][5]) / 2 * c.scale;
      EXPECT_NEAR(MAP_factor(p.lat, p.lon), want, 2e-3 * want) << c.why << " factor at " << p.lat << "," << p.lon;
    }
  }
}

/* A barb on the orthographic map far from its centre: north is turned. */
TEST(Directions, NorthIsTurnedFarFromTheOrthographicCentre) {
  Domain orth = make(5, 40, -100, 40, -100);
  MAP_domain(&orth);
  float x, y;
  ASSERT_EQ(MAP_tran(40, -40, &x, &y), 1);
  EXPECT_GT(std::fabs(MAP_dir_adj(0, x, y)), 20) << "north leans toward the pole";
  EXPECT_NEAR(MAP_factor(40, -100), 1, 1e-3) << "true scale at the centre";
  EXPECT_LT(MAP_factor(40, -40), 0.95) << "foreshortened toward the horizon";
}

TEST(Directions, TurnFollowsTheMeridians) {
  struct Case {
    const char* why;
    Domain dom;
    std::vector<LatLon> pts;
  };
  const Case cases[] = {
      {"polar stereographic north", make(1, 90, -105, 60, -105), {{50, -105}, {40, -20}, {60, 150}, {30, -170}}},
      {"polar stereographic south", make(1, -90, 30, -60, 30), {{-50, 30}, {-40, -20}, {-60, 150}}},
      {"Lambert north", make(4, 45, -100, 45, -100), {{45, -100}, {30, -60}, {60, -150}}},
      {"Lambert south", with_params(make(4, -40, 140, -40, 140), -30, -60), {{-40, 140}, {-20, 100}, {-60, 170}}},
      {"satellite", make(9, 0, -75, 0, -75), {{0, -75}, {40, -40}, {-30, -110}}},
  };
  for (const Case& c : cases) {
    MAP_domain(&c.dom);
    for (LatLon p : c.pts)
      for (float dir : {0.0f, 45.0f, 200.0f, 270.0f}) {
        /* A chord centred on the point runs along the tangent. */
        float x, y, x2, y2, x0, y0;
        ASSERT_EQ(MAP_tran(p.lat, p.lon, &x, &y), 1);
        ASSERT_EQ(MAP_offset(x, y, dir, 10, &x2, &y2), 1);
        ASSERT_EQ(MAP_offset(x, y, dir + 180, 10, &x0, &y0), 1);
        double plot_dir = std::atan2(x2 - x0, y2 - y0) / d2r;
        double adj = MAP_dir_adj(dir, x, y);
        double diff = std::remainder(adj - plot_dir, 360.0);
        EXPECT_NEAR(diff, 0, 0.01) << c.why << " at " << p.lat << "," << p.lon << " dir " << dir;
        double back = std::remainder(MAP_undir_adj(static_cast<float>(adj), x, y) - dir, 360.0);
        EXPECT_NEAR(back, 0, 0.01) << c.why << " reverse turn";
        double seg = std::remainder(MAP_dir(x, y, x2, y2) - dir, 360.0);
        if (c.dom.proj == 1) {
          EXPECT_NEAR(seg, 0, 0.1) << c.why << " segment direction";
        }
      }
  }
}

TEST(Directions, PolarStereographicWorkedCases) {
  Domain d = make(1, 90, -105, 60, -105);
  MAP_domain(&d);
  float x, y;
  MAP_tran(50, -105, &x, &y);
  EXPECT_FLOAT_EQ(MAP_dir_adj(270, x, y), 270) << "below the pole on the central meridian";
  EXPECT_FLOAT_EQ(MAP_undir_adj(270, x, y), 270);
  EXPECT_FLOAT_EQ(MAP_dir_adj(90, 0, 0), 195) << "at the pole the central meridian is north";
  EXPECT_FLOAT_EQ(MAP_undir_adj(195, 0, 0), 90);
  MAP_tran(50, -15, &x, &y);
  EXPECT_NEAR(MAP_uvdir_adj(3, 4, x, y), -90, 1e-4);
  Domain m = make(3, 0, 0, 0, 0);
  MAP_domain(&m);
  EXPECT_EQ(MAP_dir_adj(123, 5, 5), 123);
  EXPECT_EQ(MAP_uvdir_adj(3, 4, 5, 5), 0);
  EXPECT_NEAR(MAP_dir(0, 0, -1, 0), -90, 1e-5);
  Domain s = make(9, 0, 0, 0, 0);
  MAP_domain(&s);
  EXPECT_EQ(MAP_dir_adj(0, 70, 0), M) << "off the satellite disc";
}

/* ------------------------------------------------------------------------ */
/* Decluttering grid                                                         */
/* ------------------------------------------------------------------------ */

TEST(Declutter, OneStationPerCell) {
  Domain d = make(2, 0, 0, 0, 0, 1, 1, 3, 3); /* x and y from -1 to 1 */
  struct Case {
    const char* why;
    int n;
    std::vector<LatLon> pts; /* plot points; lat is x, lon is y */
    std::vector<int> expect;
  };
  const Case cases[] = {
      {"off: everything plots", 0, {{0, 0}, {0, 0}}, {1, 1}},
      {"-1 plots everything", -1, {{0, 0}, {0, 0}}, {1, 1}},
      {"whole spacings", 1, {{0.1f, 0.1f}, {0.2f, 0.2f}, {-0.9f, 0.9f}}, {1, 0, 1}},
      {"half spacings: same half cell", 2, {{0.1f, 0.1f}, {0.3f, 0.2f}}, {1, 0}},
      {"half spacings: neighbouring half cells", 2, {{0.1f, 0.1f}, {0.6f, 0.1f}, {0.1f, -0.6f}}, {1, 1, 1}},
      {"outside the grid", 2, {{1.5f, 0}, {0, -1.2f}}, {0, 0}},
      {"two spacings: a pair of columns", -2, {{-0.8f, 0.9f}, {0.7f, 0.9f}}, {1, 0}},
      {"two spacings: the next pair", -2, {{-0.8f, 0.9f}, {1.0f, 0.9f}}, {1, 1}},
  };
  for (const Case& c : cases) {
    MAP_domain(&d);
    MAP_set_plot_limit(c.n);
    MAP_plot_grid_init();
    for (size_t i = 0; i < c.pts.size(); ++i)
      EXPECT_EQ(MAP_plot_grid(c.pts[i].lat, c.pts[i].lon), c.expect[i]) << c.why << " point " << i;
  }
  /* The far corner of the grid lies inside the array of half spacings. */
  MAP_set_plot_limit(2);
  MAP_plot_grid_init();
  EXPECT_EQ(MAP_plot_grid(1.0f, -1.0f), 1);
  EXPECT_EQ(MAP_plot_grid(1.0f, -1.0f), 0);
  MAP_set_plot_limit(100000);
  MAP_plot_grid_init();
  EXPECT_EQ(MAP_plot_grid(0, 0), 1) << "an absurd grid is refused and nothing is held back";
  EXPECT_EQ(MAP_plot_grid(0, 0), 1);
  MAP_set_plot_limit(0);
}

} // namespace
