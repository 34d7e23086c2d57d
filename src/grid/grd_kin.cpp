/*
 * grd_kin: horizontal derivatives of gridded fields and the earth position
 * of grid points.
 *
 * Differences are taken per grid length in plot units of 100 km, so a first
 * derivative comes out in units of 1e-5 per metre and the Laplacian in
 * 1e-10 per square metre; the calculator names these factors in the units
 * text. On latitude/longitude grids the east-west length shrinks with the
 * cosine of the row's latitude and a pole row has no x difference. Every
 * result that is not a finite number is stored as -9999, the one "no value"
 * every consumer of a grid knows. Grids of differing sizes are refused
 * before anything is read.
 */
#include "kezgrd.h"

#include <strings.h>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr float kMiss = KEZ_MISS;
/* Hundreds of km per degree of latitude. */
constexpr double kDegLen = 1.11195;
/* Twice the earth's rotation rate in 1e-5 per second. */
constexpr double kCoriolis = 14.584;
constexpr double kDegRad = 0.017453292519943334;
constexpr double kRadDeg = 57.295779513082195;
constexpr int kLatLon = 2;

float finite_or_miss(double v) { return std::isfinite(v) ? static_cast<float>(v) : kMiss; }

/* The geometry of the difference routines, from the first input grid. */
struct Geom {
  int nx = 0, ny = 0;
  bool latlon = false;
  double hx = 0, hy = 0;
  double clat = 0, dlat = 0;

  explicit Geom(const GRD_report* g) {
    const Domain& d = g->domain;
    nx = d.nx;
    ny = d.ny;
    latlon = d.proj == kLatLon;
    if (latlon) {
      hy = d.dy * kDegLen;
      hx = d.dx * kDegLen;
      clat = d.clat;
      dlat = d.dy;
    } else {
      double f = d.param[2] != kMiss ? d.param[2] : 1.0;
      hx = d.dx * f;
      hy = d.dy * f;
    }
  }
  double row_lat(int j) const { return clat - dlat * (ny - 1) / 2.0 + dlat * (ny - 1 - j); }
  /* East-west length of row j; 0 marks a pole row. */
  double row_hx(int j) const {
    if (!latlon) return hx;
    double lat = row_lat(j);
    if (lat == 90.0 || lat == -90.0) return 0;
    return hx * std::cos(lat * kDegRad);
  }
  size_t points() const { return static_cast<size_t>(nx) * static_cast<size_t>(ny); }
};

bool has_data(const GRD_report* g) { return g && g->grid && g->domain.nx > 0 && g->domain.ny > 0; }

/* All inputs present and of the first one's size; the output gets an array
 * when it has none. */
int frame(const char* who, std::initializer_list<const GRD_report*> in, GRD_report* out) {
  const GRD_report* first = *in.begin();
  for (const GRD_report* g : in) {
    if (!has_data(g) || g->domain.nx != first->domain.nx || g->domain.ny != first->domain.ny) {
      MESS_print(M_warn, "%s: Invalid grids\n", who);
      return -1;
    }
  }
  if (!out) {
    MESS_print(M_warn, "%s: Invalid grids\n", who);
    return -1;
  }
  if (out->grid) {
    if (out->domain.nx != first->domain.nx || out->domain.ny != first->domain.ny) {
      MESS_print(M_warn, "%s: Invalid grids\n", who);
      return -1;
    }
    return 0;
  }
  size_t n = static_cast<size_t>(first->domain.nx) * first->domain.ny;
  out->grid = static_cast<float*>(std::malloc(n * sizeof(float)));
  if (!out->grid) {
    MESS_print(M_warn, "%s: No memory for grid field\n", who);
    return -1;
  }
  return 0;
}

/* First difference along x (plus side: next column) at point (i, j). */
double diff_x(const float* a, int nx, int i, int j, double h) {
  const float* p = a + static_cast<size_t>(j) * nx + i;
  bool plus = i + 1 < nx && p[1] != kMiss;
  bool minus = i > 0 && p[-1] != kMiss;
  if (plus && minus) return (p[1] - p[-1]) / (2 * h);
  if (plus) return (p[1] - p[0]) / h;
  if (minus) return (p[0] - p[-1]) / h;
  return 0;
}

/* First difference along y (plus side: the row above) at point (i, j). */
double diff_y(const float* a, int nx, int ny, int i, int j, double h) {
  const float* p = a + static_cast<size_t>(j) * nx + i;
  bool plus = j > 0 && p[-nx] != kMiss;
  bool minus = j + 1 < ny && p[nx] != kMiss;
  if (plus && minus) return (p[-nx] - p[nx]) / (2 * h);
  if (plus) return (p[-nx] - p[0]) / h;
  if (minus) return (p[0] - p[nx]) / h;
  return 0;
}

/* Second difference along one axis; `at(k)` gives the value k steps along
 * the axis, `inside(k)` whether that step stays in the grid. */
template <class At, class Inside>
bool second_diff(At at, Inside inside, double h, double* out) {
  auto usable = [&](int k) { return inside(k) && at(k) != kMiss; };
  double a0 = at(0);
  if (usable(-1) && usable(1)) {
    *out = (at(-1) + at(1) - 2 * a0) / (h * h);
  } else if (!usable(1)) {
    if (!usable(-1) || !usable(-2)) return false;
    *out = (a0 + at(-2) - 2 * at(-1)) / (h * h);
  } else {
    if (!usable(2)) return false;
    *out = (a0 + at(2) - 2 * at(1)) / (h * h);
  }
  return true;
}

/* The shared walk of the wind routines: f(i, j, hx) gives the value at a
 * point where the inputs are present. */
template <class F>
int wind_walk(const char* who, GRD_report* u, GRD_report* v, GRD_report* z, GRD_report* out, F f) {
  int rc = z ? frame(who, {u, v, z}, out) : frame(who, {u, v}, out);
  if (rc) return rc;
  Geom g(u);
  for (int j = 0; j < g.ny; ++j) {
    double hx = g.row_hx(j);
    for (int i = 0; i < g.nx; ++i) {
      size_t k = static_cast<size_t>(j) * g.nx + i;
      bool miss = u->grid[k] == kMiss || v->grid[k] == kMiss || (z && z->grid[k] == kMiss);
      out->grid[k] = (miss || hx == 0) ? kMiss : finite_or_miss(f(i, j, hx, g));
    }
  }
  return 0;
}

/* Plot position of grid point (i, j) in the current domain, which must be
 * the grid's own. */
struct Placer {
  float xc = 0, yc = 0;
  const Domain& d;
  bool ok;
  explicit Placer(const Domain& dom) : d(dom) { ok = MAP_tran(d.clat, d.clon, &xc, &yc) != 0; }
  float x(int i) const { return xc - d.dx * (d.nx - 1) / 2.0f + i * d.dx; }
  float y(int j) const { return yc + d.dy * (d.ny - 1) / 2.0f - j * d.dy; }
};

/* Makes a domain current for the life of the object and restores the one
 * current before. */
struct DomainSwap {
  Domain saved;
  explicit DomainSwap(const Domain& d) {
    MAP_get_domain(&saved);
    MAP_domain(&d);
  }
  ~DomainSwap() { MAP_domain(&saved); }
  DomainSwap(const DomainSwap&) = delete;
  DomainSwap& operator=(const DomainSwap&) = delete;
};

} // namespace

int GRD_dx(GRD_report* grid, GRD_report* ogrid) {
  if (int rc = frame("GRD_dx", {grid}, ogrid)) return rc;
  Geom g(grid);
  for (int j = 0; j < g.ny; ++j) {
    double hx = g.row_hx(j);
    for (int i = 0; i < g.nx; ++i) {
      size_t k = static_cast<size_t>(j) * g.nx + i;
      ogrid->grid[k] = (grid->grid[k] == kMiss || hx == 0) ? kMiss : finite_or_miss(diff_x(grid->grid, g.nx, i, j, hx));
    }
  }
  return 0;
}

int GRD_dy(GRD_report* grid, GRD_report* ogrid) {
  if (int rc = frame("GRD_dy", {grid}, ogrid)) return rc;
  Geom g(grid);
  for (int j = 0; j < g.ny; ++j)
    for (int i = 0; i < g.nx; ++i) {
      size_t k = static_cast<size_t>(j) * g.nx + i;
      ogrid->grid[k] = grid->grid[k] == kMiss ? kMiss : finite_or_miss(diff_y(grid->grid, g.nx, g.ny, i, j, g.hy));
    }
  return 0;
}

int GRD_laplacian(GRD_report* agrid, GRD_report* bgrid) {
  if (int rc = frame("GRD_laplacian", {agrid}, bgrid)) return rc;
  Geom g(agrid);
  const float* a = agrid->grid;
  for (int j = 0; j < g.ny; ++j) {
    double hx = g.row_hx(j);
    for (int i = 0; i < g.nx; ++i) {
      size_t k = static_cast<size_t>(j) * g.nx + i;
      double tx = 0, ty = 0;
      bool ok =
          a[k] != kMiss && hx != 0 &&
          second_diff([&](int s) { return a[k + s]; }, [&](int s) { return i + s >= 0 && i + s < g.nx; }, hx, &tx) &&
          second_diff([&](int s) { return a[k + static_cast<ptrdiff_t>(s) * g.nx]; },
                      [&](int s) { return j + s >= 0 && j + s < g.ny; }, g.hy, &ty);
      bgrid->grid[k] = ok ? finite_or_miss(tx + ty) : kMiss;
    }
  }
  return 0;
}

int GRD_converge(GRD_report* ugrid, GRD_report* vgrid, GRD_report* zgrid, GRD_report* ogrid) {
  return wind_walk("GRD_converge", ugrid, vgrid, zgrid, ogrid, [&](int i, int j, double hx, const Geom& g) {
    double c = -diff_x(ugrid->grid, g.nx, i, j, hx) - diff_y(vgrid->grid, g.nx, g.ny, i, j, g.hy);
    if (zgrid) c *= zgrid->grid[static_cast<size_t>(j) * g.nx + i];
    return c;
  });
}

int GRD_vorticity(GRD_report* ugrid, GRD_report* vgrid, GRD_report* ogrid) {
  return wind_walk("GRD_vorticity", ugrid, vgrid, nullptr, ogrid, [&](int i, int j, double hx, const Geom& g) {
    return diff_x(vgrid->grid, g.nx, i, j, hx) - diff_y(ugrid->grid, g.nx, g.ny, i, j, g.hy);
  });
}

int GRD_deformation1(GRD_report* ugrid, GRD_report* vgrid, GRD_report* ogrid) {
  return wind_walk("GRD_deformation1", ugrid, vgrid, nullptr, ogrid, [&](int i, int j, double hx, const Geom& g) {
    return diff_x(ugrid->grid, g.nx, i, j, hx) - diff_y(vgrid->grid, g.nx, g.ny, i, j, g.hy);
  });
}

int GRD_deformation2(GRD_report* ugrid, GRD_report* vgrid, GRD_report* ogrid) {
  return wind_walk("GRD_deformation2", ugrid, vgrid, nullptr, ogrid, [&](int i, int j, double hx, const Geom& g) {
    return -diff_x(vgrid->grid, g.nx, i, j, hx) - diff_y(ugrid->grid, g.nx, g.ny, i, j, g.hy);
  });
}

int GRD_advection(GRD_report* ugrid, GRD_report* vgrid, GRD_report* zgrid, GRD_report* agrid) {
  if (!zgrid) {
    MESS_print(M_warn, "GRD_advection: Invalid grids\n");
    return -1;
  }
  return wind_walk("GRD_advection", ugrid, vgrid, zgrid, agrid, [&](int i, int j, double hx, const Geom& g) {
    size_t k = static_cast<size_t>(j) * g.nx + i;
    return -ugrid->grid[k] * diff_x(zgrid->grid, g.nx, i, j, hx) -
           vgrid->grid[k] * diff_y(zgrid->grid, g.nx, g.ny, i, j, g.hy);
  });
}

int GRD_coriolis(GRD_report* grid, const char* oper) {
  if (!has_data(grid) || !oper) return -1;
  enum { kAdd, kSub, kSubRev, kMul, kDiv, kDivRev, kNone } op = kNone;
  if (!strcasecmp(oper, "add"))
    op = kAdd;
  else if (!strcasecmp(oper, "sub"))
    op = kSub;
  else if (!strcasecmp(oper, "sub-"))
    op = kSubRev;
  else if (!strcasecmp(oper, "mul"))
    op = kMul;
  else if (!strcasecmp(oper, "div"))
    op = kDiv;
  else if (!strcasecmp(oper, "div-"))
    op = kDivRev;
  if (op == kNone) return 0;
  const Domain& d = grid->domain;
  Geom g(grid);
  auto combine = [&](float v, double lat) -> float {
    if (v == kMiss || lat == kMiss) return kMiss;
    double f = kCoriolis * std::sin(lat * kDegRad);
    double r = v;
    switch (op) {
      case kAdd: r = v + f; break;
      case kSub: r = v - f; break;
      case kSubRev: r = f - v; break;
      case kMul: r = v * f; break;
      case kDiv: r = v / f; break;
      case kDivRev: r = f / v; break;
      case kNone: break;
    }
    return finite_or_miss(r);
  };
  if (d.proj == kLatLon) {
    for (int j = 0; j < g.ny; ++j) {
      double lat = g.row_lat(j);
      for (int i = 0; i < g.nx; ++i) {
        float& v = grid->grid[static_cast<size_t>(j) * g.nx + i];
        v = combine(v, lat);
      }
    }
    return 0;
  }
  DomainSwap swap(d);
  Placer place(d);
  for (int j = 0; j < g.ny; ++j)
    for (int i = 0; i < g.nx; ++i) {
      float& v = grid->grid[static_cast<size_t>(j) * g.nx + i];
      float lat = kMiss, lon = kMiss;
      if (v != kMiss && place.ok) MAP_untran(place.x(i), place.y(j), &lat, &lon);
      v = combine(v, lat);
    }
  return 0;
}

int GRD_point_locate(GRD_report* grid, const char* oper) {
  if (!has_data(grid) || !oper) return -1;
  int what;
  const char* info;
  const char* units;
  if (!strcasecmp(oper, "lat"))
    what = 0, info = "Latitude (deg)", units = "deg";
  else if (!strcasecmp(oper, "lon"))
    what = 1, info = "Longitude (deg)", units = "deg";
  else if (!strcasecmp(oper, "projx"))
    what = 2, info = "Projection X", units = "";
  else if (!strcasecmp(oper, "projy"))
    what = 3, info = "Projection Y", units = "";
  else
    return 0;
  std::snprintf(grid->info, sizeof grid->info, "%s", info);
  std::snprintf(grid->units, sizeof grid->units, "%s", units);
  grid->var = 0;
  const Domain d = grid->domain;
  DomainSwap swap(d);
  Placer place(d);
  const int nx = d.nx, ny = d.ny;
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) {
      float& v = grid->grid[static_cast<size_t>(j) * nx + i];
      if (v == kMiss) continue;
      float x = place.x(i), y = place.y(j);
      if (what == 2)
        v = place.ok ? x : kMiss;
      else if (what == 3)
        v = place.ok ? y : kMiss;
      else {
        float lat = kMiss, lon = kMiss;
        if (place.ok) MAP_untran(x, y, &lat, &lon);
        if (what == 0)
          v = lat;
        else if (lon == kMiss)
          v = kMiss;
        else
          v = lon > 180 ? lon - 360 : (lon < -180 ? lon + 360 : lon);
      }
    }
  return 0;
}

int GRD_correct_UV(GRD_report* ugrid, GRD_report* vgrid) {
  if (!has_data(ugrid) || !has_data(vgrid) || ugrid->domain.nx != vgrid->domain.nx ||
      ugrid->domain.ny != vgrid->domain.ny) {
    MESS_print(M_warn, "GRD_correct_UV: Invalid grids\n");
    return -1;
  }
  DomainSwap swap(ugrid->domain);
  const int nx = ugrid->domain.nx, ny = ugrid->domain.ny;
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) {
      size_t k = static_cast<size_t>(j) * nx + i;
      float& u = ugrid->grid[k];
      float& v = vgrid->grid[k];
      if (u == kMiss || v == kMiss) continue;
      float x = 0, y = 0;
      MAP_grid_tran(static_cast<float>(i), static_cast<float>(j), &x, &y);
      double s = std::sqrt(static_cast<double>(u) * u + static_cast<double>(v) * v);
      double dir = s < 0.01 ? 0 : std::atan2(-u, -v) * kRadDeg;
      double a = MAP_dir_adj(static_cast<float>(dir), x, y) * kDegRad;
      u = finite_or_miss(-s * std::sin(a));
      v = finite_or_miss(-s * std::cos(a));
    }
  return 0;
}
