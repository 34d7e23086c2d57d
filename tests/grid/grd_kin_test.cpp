/*
 * Grid derivatives on analytic fields (solid rotation, pure divergence, a
 * paraboloid, a sloping height) on a map projection and on a
 * latitude/longitude grid, the one-sided differences at edges and gaps,
 * pole and equator rows, and the refusal of mismatched grids.
 */
#include "grid_test_util.h"
#include "kez_test.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>

using grid_test::domain;
using grid_test::fill;
using grid_test::Grid;

namespace {

constexpr float kMiss = -9999;
constexpr double kDegLen = 1.11195;

/* A Mercator grid of 7 by 5 with a grid length of 1 (100 km): X grows to
 * the right, Y toward the top row. */
Domain merc() { return domain(MAP_MERC, 40, -100, 1, 1, 7, 5); }
double X(int i) { return i - 3.0; }
double Y(int j) { return 2.0 - j; }

/* A latitude/longitude grid of 1-degree steps centred at 45N. */
Domain ll(float clat = 45, int ny = 5) { return domain(MAP_LATLON, clat, -100, 1, 1, 7, ny); }
double ll_lat(const Domain& d, int j) { return d.clat - d.dy * (d.ny - 1) / 2.0 + d.dy * (d.ny - 1 - j); }

Grid empty_like(const Domain& d) { return Grid(d, {}); }

void expect_all(const Grid& g, double want, double tol, const char* what) {
  for (float v : g.values()) EXPECT_NEAR(v, want, tol) << what;
}

} // namespace

TEST(GridKinematics, SolidRotationDivergenceAndParaboloidOnAMapProjection) {
  Domain d = merc();
  Grid u(d, fill(7, 5, [](int, int j) { return -Y(j); }));
  Grid v(d, fill(7, 5, [](int i, int) { return X(i); }));
  Grid out = empty_like(d);
  ASSERT_EQ(GRD_vorticity(&u.r, &v.r, &out.r), 0);
  expect_all(out, 2, 1e-5, "vorticity");

  Grid ux(d, fill(7, 5, [](int i, int) { return X(i); }));
  Grid zero(d, fill(7, 5, [](int, int) { return 0; }));
  ASSERT_EQ(GRD_converge(&ux.r, &zero.r, nullptr, &out.r), 0);
  expect_all(out, -1, 1e-5, "convergence of u = x");
  ASSERT_EQ(GRD_deformation1(&ux.r, &zero.r, &out.r), 0);
  expect_all(out, 1, 1e-5, "stretching");
  /* u growing toward the top row: a negative shearing deformation. */
  Grid uy(d, fill(7, 5, [](int, int j) { return Y(j); }));
  ASSERT_EQ(GRD_deformation2(&uy.r, &zero.r, &out.r), 0);
  expect_all(out, -1, 1e-5, "shearing");

  Grid z(d, fill(7, 5, [](int i, int j) { return X(i) * X(i) + Y(j) * Y(j); }));
  ASSERT_EQ(GRD_laplacian(&z.r, &out.r), 0);
  expect_all(out, 4, 1e-4, "Laplacian, edges included");

  /* A field constant along the wind is not advected. */
  Grid along(d, fill(7, 5, [](int, int j) { return 3 * Y(j); }));
  ASSERT_EQ(GRD_advection(&ux.r, &zero.r, &along.r, &out.r), 0);
  expect_all(out, 0, 1e-6, "advection along the isolines");
}

TEST(GridKinematics, GridLengthFactorScalesTheDifferences) {
  Domain d = merc();
  d.param[2] = 2;
  Grid z(d, fill(7, 5, [](int i, int) { return X(i); }));
  Grid out = empty_like(d);
  ASSERT_EQ(GRD_dx(&z.r, &out.r), 0);
  expect_all(out, 0.5, 1e-6, "dx with grid length 2");
}

TEST(GridKinematics, SolidRotationOnALatLonGrid) {
  Domain d = ll();
  /* Local distances in 100 km: x along each row, y along the meridian. */
  auto x = [&](int i, int j) { return (i - 3) * kDegLen * std::cos(ll_lat(d, j) * M_PI / 180); };
  auto y = [&](int j) { return ll_lat(d, j) * kDegLen; };
  Grid u(d, fill(7, 5, [&](int, int j) { return -y(j); }));
  Grid v(d, fill(7, 5, [&](int i, int j) { return x(i, j); }));
  Grid out = empty_like(d);
  ASSERT_EQ(GRD_vorticity(&u.r, &v.r, &out.r), 0);
  expect_all(out, 2, 1e-3, "vorticity");
  Grid ux(d, fill(7, 5, [&](int i, int j) { return x(i, j); }));
  Grid zero(d, fill(7, 5, [](int, int) { return 0; }));
  ASSERT_EQ(GRD_converge(&ux.r, &zero.r, nullptr, &out.r), 0);
  expect_all(out, -1, 1e-4, "convergence");
}

TEST(GridKinematics, FirstDifferencesAtEdgesAndGaps) {
  /* One row: centred inside, one-sided at the ends and next to a gap. */
  Domain d = domain(MAP_MERC, 40, -100, 2, 2, 6, 1);
  Grid z(d, {1, 3, 7, kMiss, 5, 4});
  Grid out = empty_like(d);
  ASSERT_EQ(GRD_dx(&z.r, &out.r), 0);
  std::vector<float> want = {1, 1.5, 2, kMiss, -0.5, -0.5};
  EXPECT_EQ(out.values(), want);
  ASSERT_EQ(GRD_dy(&z.r, &out.r), 0);
  EXPECT_EQ(out.values(), (std::vector<float>{0, 0, 0, kMiss, 0, 0})) << "one row";

  /* Both neighbours missing, and a grid of one column. */
  Grid lone(domain(MAP_MERC, 40, -100, 1, 1, 3, 1), {kMiss, 4, kMiss});
  Grid o2 = empty_like(lone.r.domain);
  GRD_dx(&lone.r, &o2.r);
  EXPECT_EQ(o2.values(), (std::vector<float>{kMiss, 0, kMiss}));

  /* A column: top row (z - z below) / h, bottom row (z above - z) / h. */
  Grid col(domain(MAP_MERC, 40, -100, 1, 1, 1, 4), {10, 6, 4, 3});
  Grid o3 = empty_like(col.r.domain);
  GRD_dy(&col.r, &o3.r);
  EXPECT_EQ(o3.values(), (std::vector<float>{4, 3, 1.5, 1}));
  GRD_dx(&col.r, &o3.r);
  EXPECT_EQ(o3.values(), (std::vector<float>{0, 0, 0, 0}));

  /* The Laplacian on the right edge takes the two points to its left;
   * missing when one of them is a gap. */
  Grid row(domain(MAP_MERC, 40, -100, 1, 1, 4, 3), fill(4, 3, [](int i, int) { return i * i; }));
  row.r.grid[4 + 1] = kMiss;
  Grid o4 = empty_like(row.r.domain);
  GRD_laplacian(&row.r, &o4.r);
  EXPECT_FLOAT_EQ(o4.values()[3], 2);
  EXPECT_FLOAT_EQ(o4.values()[8 + 3], 2);
  EXPECT_EQ(o4.values()[4 + 3], kMiss) << "second point to the left is a gap";
  EXPECT_EQ(o4.values()[4 + 0], kMiss);
  EXPECT_EQ(o4.values()[4 + 2], kMiss) << "one side a gap, the other the edge";
}

TEST(GridKinematics, MissingThirdGridOnlyMattersWhenGiven) {
  Domain d = merc();
  Grid u(d, fill(7, 5, [](int i, int) { return X(i); }));
  Grid v(d, fill(7, 5, [](int, int) { return 0; }));
  Grid z(d, fill(7, 5, [](int, int) { return 2; }));
  z.r.grid[10] = kMiss;
  Grid out = empty_like(d);
  GRD_converge(&u.r, &v.r, &z.r, &out.r);
  EXPECT_EQ(out.values()[10], kMiss);
  EXPECT_FLOAT_EQ(out.values()[11], -2);
  GRD_converge(&u.r, &v.r, nullptr, &out.r);
  EXPECT_FLOAT_EQ(out.values()[10], -1);
}

TEST(GridKinematics, PoleRowsAndCoriolis) {
  /* Rows at 90, 89, 88: the pole row is missing but for GRD_dy. */
  Domain d = ll(89, 3);
  Grid z(d, fill(7, 3, [](int i, int j) { return i + j; }));
  Grid out = empty_like(d);
  GRD_dx(&z.r, &out.r);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(out.values()[i], kMiss);
  EXPECT_NEAR(out.values()[7 + 3], 1 / (kDegLen * std::cos(89 * M_PI / 180)), 1e-2);
  GRD_dy(&z.r, &out.r);
  for (float v : out.values()) EXPECT_NEAR(v, -1 / kDegLen, 1e-5);

  /* avort where the relative vorticity is 0: the Coriolis parameter. */
  Domain e = ll(0, 3); /* rows at 1, 0, -1 */
  Grid f(e, fill(7, 3, [](int, int) { return 0; }));
  GRD_coriolis(&f.r, "ADD");
  EXPECT_NEAR(f.values()[0], 14.584 * std::sin(M_PI / 180), 1e-5);
  EXPECT_FLOAT_EQ(f.values()[7], 0);
  Grid g(e, fill(7, 3, [](int, int) { return 1; }));
  g.r.grid[1] = kMiss;
  GRD_coriolis(&g.r, "Div");
  EXPECT_EQ(g.values()[1], kMiss);
  EXPECT_NEAR(g.values()[0], 1 / (14.584 * std::sin(M_PI / 180)), 1e-4);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(g.values()[7 + i], kMiss) << "equator row";
  GRD_coriolis(&g.r, "none");
  EXPECT_EQ(g.values()[7], kMiss);
}

TEST(GridKinematics, PointLocation) {
  Domain d = domain(MAP_LATLON, 10, 179, 1, 1, 5, 3);
  Grid lon(d, fill(5, 3, [](int, int) { return 0; }));
  lon.r.grid[2] = kMiss;
  ASSERT_EQ(GRD_point_locate(&lon.r, "lon"), 0);
  EXPECT_STREQ(lon.r.info, "Longitude (deg)");
  EXPECT_STREQ(lon.r.units, "deg");
  std::vector<float> v = lon.values();
  EXPECT_EQ(v[2], kMiss);
  EXPECT_NEAR(v[0], 177, 1e-3);
  EXPECT_NEAR(v[4], -179, 1e-3) << "across the date line";
  for (float x : v) EXPECT_TRUE(x == kMiss || (x >= -180 && x <= 180));
  Grid lat(d, fill(5, 3, [](int, int) { return 0; }));
  GRD_point_locate(&lat.r, "LAT");
  EXPECT_NEAR(lat.values()[0], 11, 1e-3);
  EXPECT_NEAR(lat.values()[14], 9, 1e-3);
}

TEST(GridKinematics, RefusesMismatchedGrids) {
  Grid a(merc(), fill(7, 5, [](int, int) { return 1; }));
  Grid b(domain(MAP_MERC, 40, -100, 1, 1, 6, 5), fill(6, 5, [](int, int) { return 1; }));
  Grid out = empty_like(merc());
  kez_test::capture([&] {
    EXPECT_EQ(GRD_vorticity(&a.r, &b.r, &out.r), -1);
    EXPECT_EQ(GRD_advection(&a.r, &a.r, &b.r, &out.r), -1);
    EXPECT_EQ(GRD_advection(&a.r, &a.r, nullptr, &out.r), -1);
    EXPECT_EQ(GRD_dx(&b.r, &a.r), -1) << "output of another size";
  });
  EXPECT_EQ(out.r.grid, nullptr);
}

TEST(GridKinematics, FirstDifferencesAgreeWithNumpy) {
  if (kez_test::run_command("/usr/bin/python3 -c 'import numpy' 2>/dev/null") != 0)
    GTEST_SKIP() << "numpy not available";
  Domain d = domain(MAP_MERC, 40, -100, 0.5, 0.8, 6, 4);
  std::vector<float> z = fill(6, 4, [](int i, int j) { return std::sin(0.7 * i) * (j + 1) + 0.3 * i * j * j; });
  std::string list;
  for (float v : z) list += std::to_string(v) + ",";
  std::string out;
  ASSERT_EQ(kez_test::run_command("/usr/bin/python3 -c 'import numpy as n; z=n.array([" + list +
                                      "]).reshape(4,6); gx=n.gradient(z,0.5,axis=1,edge_order=1); "
                                      "gy=-n.gradient(z,0.8,axis=0,edge_order=1); "
                                      "print(\" \".join(\"%.9g\" % v for v in list(gx.ravel())+list(gy.ravel())))'",
                                  &out),
            0);
  std::istringstream in(out);
  std::vector<double> want;
  for (double v; in >> v;) want.push_back(v);
  ASSERT_EQ(want.size(), 48u);
  Grid g(d, z);
  Grid gx = empty_like(d), gy = empty_like(d);
  ASSERT_EQ(GRD_dx(&g.r, &gx.r), 0);
  ASSERT_EQ(GRD_dy(&g.r, &gy.r), 0);
  for (int k = 0; k < 24; ++k) {
    EXPECT_NEAR(gx.values()[k], want[k], 1e-4) << "x at " << k;
    EXPECT_NEAR(gy.values()[k], want[24 + k], 1e-4) << "y at " << k;
  }
}

TEST(GridKinematics, WindTurningKeepsSpeedsAndGaps) {
  Domain d = domain(MAP_LATLON, 45, -100, 1, 1, 3, 1);
  Grid u(d, {3, 0.001f, kMiss});
  Grid v(d, {4, 0, 1});
  ASSERT_EQ(GRD_correct_UV(&u.r, &v.r), 0);
  std::vector<float> uu = u.values(), vv = v.values();
  EXPECT_NEAR(std::hypot(uu[0], vv[0]), 5, 1e-4);
  /* A calm point becomes a wind from direction 0 with its own speed. */
  EXPECT_NEAR(std::hypot(uu[1], vv[1]), 0.001, 1e-6);
  EXPECT_EQ(uu[2], kMiss);
  EXPECT_EQ(vv[2], 1);
}
