/*
 * object: objective analysis of scattered station values onto the grids of
 * the grid store.
 *
 * A successive-correction analysis with Gaussian weights exp(-d^2/filter):
 * the first pass gives each grid point the weighted mean of the station
 * values within the radius of influence, each further pass adds the
 * weighted mean of the stations' residuals (value minus the grid
 * interpolated bilinearly to the station) with the filter narrowed by the
 * convergence factor. All fields share one distance and weight computation
 * per station and grid point. The data pipeline and the raw-file gridding
 * call it; both set filter and radius before each analysis.
 *
 * Each station is taken in index order and adds its weight to the grid
 * points of the box around it that the radius can reach (all of them for a
 * radius as wide as the grid), with the distance test and arithmetic of a
 * grid point visiting every station. So each grid point sums the same
 * stations in the same order, and the values are exactly those of visiting
 * every station for every grid point (kept for comparison), at a cost of
 * stations times the points within reach instead of stations times the
 * whole grid.
 */
#include "kez.h"
#include "kezgrd.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

constexpr float kMiss = KEZ_FMISS;
constexpr int kMaxPasses = 4;
constexpr float kTiny = 1e-10f; /* smaller magnitudes are stored as 0 */

struct ObjState {
  float filter = 1.0f;     /* squared plot units of the analysis grid */
  float rad_inf = 1000.0f; /* grid lengths */
  int num_pass = 1;
  float converg = 0.2f;
  float miss_val = kMiss; /* -9999: missing values stay missing */
  int min_sta = 1;
  int grid_factor = 1; /* last "gridx" refinement; kept for the process */
  int search = OBJ_SEARCH_BINNED;
};

ObjState state;

/* A number as the decoders read one: leading text that is no number reads
 * as 0, and so does anything that is not finite. */
double number(const char* item) {
  double v = std::strtod(item, nullptr);
  return std::isfinite(v) ? v : 0.0;
}

const char* skip_blanks(const char* s) {
  while (*s == ' ' || *s == '\t') ++s;
  return s;
}

bool is_blank(const char* s) { return *skip_blanks(s) == '\0'; }

/* Items of a resource or option text, empty ones kept in place. */
struct Items {
  int argc = 0;
  char** argv = nullptr;
  Items(const char* text, char delim) {
    if (text) parse_string(text, delim, &argc, &argv);
  }
  ~Items() { free_parsed_array(argc, argv); }
  Items(const Items&) = delete;
  Items& operator=(const Items&) = delete;
};

int clamp_int(double v) {
  if (v > 1e9) return 1000000000;
  if (v < -1e9) return -1000000000;
  return static_cast<int>(v);
}

/* One pass over the grid: the stations' grid positions, the values to weigh
 * per analysed field, and where the results go. */
struct Pass {
  const float* gx = nullptr;
  const float* gy = nullptr;
  float dx = 1, dy = 1, r2 = 0, filter = 1;
  std::vector<float*> values; /* per analysed field, one per station */
  std::vector<float*> out;    /* per analysed field, the slot's array */
  int nx = 0;
  bool replace = false; /* missing station values become miss_val */
  float miss_val = kMiss;
  int min_sta = 1;
  bool correction = false; /* add to the grid instead of setting it */
  /* sums of the grid point being computed, one entry per field */
  std::vector<double> wsum, wtot;
  std::vector<int> count;
};

/* One grid point from the candidate stations, in index order. */
void grid_point(Pass& p, int i, int j, const int* cand, size_t ncand) {
  const size_t nf = p.values.size();
  std::fill(p.wsum.begin(), p.wsum.end(), 0.0);
  std::fill(p.wtot.begin(), p.wtot.end(), 0.0);
  std::fill(p.count.begin(), p.count.end(), 0);
  const float fi = static_cast<float>(i), fj = static_cast<float>(j);
  for (size_t c = 0; c < ncand; ++c) {
    const int k = cand[c];
    const float ex = p.dx * (p.gx[k] - fi);
    const float ey = p.dy * (p.gy[k] - fj);
    const float d2 = ex * ex + ey * ey;
    if (!(d2 <= p.r2)) continue; /* beyond the radius (or no position) */
    const float q = d2 / p.filter;
    const double w = std::exp(-static_cast<double>(q));
    for (size_t f = 0; f < nf; ++f) {
      float& v = p.values[f][k];
      if (p.replace && v == kMiss) v = p.miss_val;
      if (v != kMiss) {
        p.wsum[f] += w * v;
        p.wtot[f] += w;
        ++p.count[f];
      }
    }
  }
  const size_t at = static_cast<size_t>(j) * static_cast<size_t>(p.nx) + static_cast<size_t>(i);
  for (size_t f = 0; f < nf; ++f) {
    float& g = p.out[f][at];
    float v;
    if (p.wtot[f] == 0.0 || p.count[f] < p.min_sta || (p.correction && g == kMiss))
      v = kMiss;
    else if (p.correction)
      v = static_cast<float>(g + p.wsum[f] / p.wtot[f]);
    else
      v = static_cast<float>(p.wsum[f] / p.wtot[f]);
    if (v != kMiss && std::fabs(v) < kTiny) v = 0.0f;
    g = v;
  }
}

/* One pass visiting every station for every grid point. */
void run_pass_direct(Pass& p, int n, int nx, int ny) {
  const size_t nf = p.values.size();
  p.wsum.assign(nf, 0.0);
  p.wtot.assign(nf, 0.0);
  p.count.assign(nf, 0);
  std::vector<int> all(static_cast<size_t>(n));
  for (int k = 0; k < n; ++k) all[static_cast<size_t>(k)] = k;
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) grid_point(p, i, j, all.data(), all.size());
}

/* The sums of one grid point for one field. */
struct Sum {
  double wsum = 0, wtot = 0;
  int count = 0;
};

/* A station's reach is widened against the rounding of the float distance
 * test by this part of the numbers involved: far more than that rounding,
 * far less than a grid length. Each point in reach still passes the exact
 * test. */
constexpr double kReachSlack = 1e-4;

/* The columns (or rows) within reach grid lengths of grid position g,
 * within 0 .. last; false when none. */
bool reach(double g, double reach, int last, int* from, int* to) {
  const double slack = kReachSlack * (1.0 + std::fabs(g) + reach);
  const double lo = std::ceil(g - reach - slack);
  const double hi = std::floor(g + reach + slack);
  if (!(hi >= 0.0 && lo <= last && lo <= hi)) return false; /* also for a NaN position */
  *from = lo < 0.0 ? 0 : static_cast<int>(lo);
  *to = hi > last ? last : static_cast<int>(hi);
  return true;
}

/* Every station in index order adds itself to the sums of the grid points
 * within its reach in rows row0 .. row1 - 1: the sums of a grid point are
 * those of grid_point over every station, term for term. One field (the
 * usual case) is written out as its own loop. */
template <bool OneField>
void scatter(Pass& p, int n, int nx, int row0, int row1, std::vector<Sum>& sums) {
  const size_t nf = OneField ? 1 : p.values.size();
  const double r = std::sqrt(static_cast<double>(p.r2));
  const double reach_x = r / static_cast<double>(p.dx), reach_y = r / static_cast<double>(p.dy);
  const double near_rows = reach_y + 1.0; /* a first test, wider than reach() */
  for (int k = 0; k < n; ++k) {
    const float sx = p.gx[k], sy = p.gy[k];
    if (!(sy + near_rows >= row0 && sy - near_rows <= row1 - 1)) continue; /* also for a NaN position */
    int i0 = 0, i1 = 0, j0 = 0, j1 = 0;
    if (!reach(sy, reach_y, row1 - 1, &j0, &j1) || j1 < row0 || !reach(sx, reach_x, nx - 1, &i0, &i1)) continue;
    j0 = std::max(j0, row0);
    bool replaced = !p.replace;
    for (int j = j0; j <= j1; ++j) {
      const float ey = p.dy * (sy - static_cast<float>(j));
      const float ey2 = ey * ey;
      Sum* row = sums.data() + static_cast<size_t>(j - row0) * static_cast<size_t>(nx) * nf;
      for (int i = i0; i <= i1; ++i) {
        const float ex = p.dx * (sx - static_cast<float>(i));
        const float d2 = ex * ex + ey2;
        if (!(d2 <= p.r2)) continue;
        if (!replaced) {
          /* A station within reach of the grid gives a missing value the
           * substitute, as the first grid point to see it would. */
          for (size_t f = 0; f < nf; ++f)
            if (p.values[f][k] == kMiss) p.values[f][k] = p.miss_val;
          replaced = true;
        }
        const float q = d2 / p.filter;
        const double w = std::exp(-static_cast<double>(q));
        Sum* at = row + static_cast<size_t>(i) * nf;
        for (size_t f = 0; f < nf; ++f) {
          const float value = p.values[f][k];
          if (value == kMiss) continue;
          at[f].wsum += w * value;
          at[f].wtot += w;
          ++at[f].count;
        }
      }
    }
  }
}

/* The sums of a band of rows at a time: they stay in the cache, and the
 * memory of all of them at once, touched once, would cost more than the
 * sums themselves. */
constexpr size_t kBandBytes = 1 << 18;

/* One pass: band by band, the stations' sums, then each grid point's
 * value. */
void run_pass(Pass& p, int n, int nx, int ny, std::vector<Sum>& sums) {
  const size_t nf = p.values.size();
  const size_t row_sums = static_cast<size_t>(nx) * nf;
  const int band = static_cast<int>(std::max<size_t>(1, kBandBytes / (row_sums * sizeof(Sum))));
  for (int row0 = 0; row0 < ny; row0 += band) {
    const int row1 = std::min(ny, row0 + band);
    sums.assign(static_cast<size_t>(row1 - row0) * row_sums, Sum{});
    if (nf == 1)
      scatter<true>(p, n, nx, row0, row1, sums);
    else
      scatter<false>(p, n, nx, row0, row1, sums);
    const size_t first = static_cast<size_t>(row0) * static_cast<size_t>(nx);
    const size_t points = static_cast<size_t>(row1 - row0) * static_cast<size_t>(nx);
    for (size_t pt = 0; pt < points; ++pt)
      for (size_t f = 0; f < nf; ++f) {
        const Sum& s = sums[pt * nf + f];
        float& g = p.out[f][first + pt];
        float value;
        if (s.wtot == 0.0 || s.count < p.min_sta || (p.correction && g == kMiss))
          value = kMiss;
        else if (p.correction)
          value = static_cast<float>(g + s.wsum / s.wtot);
        else
          value = static_cast<float>(s.wsum / s.wtot);
        if (value != kMiss && std::fabs(value) < kTiny) value = 0.0f;
        g = value;
      }
  }
}

/* Station value minus the grid interpolated bilinearly to the station;
 * -9999 off the grid or where a value it needs is missing. A station on
 * the last column or row uses only the points inside the grid. */
float residual(float value, float sx, float sy, const float* g, int nx, int ny) {
  if (value == kMiss || !std::isfinite(sx) || !std::isfinite(sy)) return kMiss;
  if (sx < 0 || sy < 0 || sx > static_cast<float>(nx - 1) || sy > static_cast<float>(ny - 1)) return kMiss;
  const int i0 = static_cast<int>(sx), j0 = static_cast<int>(sy);
  const float fx = sx - static_cast<float>(i0), fy = sy - static_cast<float>(j0);
  const int i1 = std::min(i0 + 1, nx - 1), j1 = std::min(j0 + 1, ny - 1);
  auto at = [&](int i, int j) { return g[static_cast<size_t>(j) * static_cast<size_t>(nx) + static_cast<size_t>(i)]; };
  const float g00 = at(i0, j0), g10 = at(i1, j0), g01 = at(i0, j1), g11 = at(i1, j1);
  if (g00 == kMiss || g10 == kMiss || g01 == kMiss || g11 == kMiss) return kMiss;
  return value - ((1 - fx) * (1 - fy) * g00 + fx * (1 - fy) * g10 + (1 - fx) * fy * g01 + fx * fy * g11);
}

void residuals(const std::vector<int>& fields, float** z, const GRD_report* grid, const float* gx, const float* gy,
               int n, std::vector<std::vector<float>>& res) {
  for (size_t f = 0; f < fields.size(); ++f) {
    const int fld = fields[f];
    const GRD_report& s = grid[fld];
    double sum = 0;
    int count = 0;
    for (int k = 0; k < n; ++k) {
      float r = residual(z[fld][k], gx[k], gy[k], s.grid, s.domain.nx, s.domain.ny);
      res[f][static_cast<size_t>(k)] = r;
      if (r != kMiss) {
        sum += static_cast<double>(r) * r;
        ++count;
      }
    }
    if (count == 0)
      MESS_print(M_out3, "RMS Error for field %d: no stations\n", fld + 1);
    else
      MESS_print(M_out3, "RMS Error for field %d: %f\n", fld + 1, std::sqrt(sum / count));
  }
}

bool positive_finite(float v) { return std::isfinite(v) && v > 0; }

} // namespace

int OBJ_initialize() {
  const int factor = state.grid_factor, search = state.search;
  state = ObjState{};
  state.grid_factor = factor;
  state.search = search;
  return 0;
}

int OBJ_set_filter(float fil) {
  state.filter = fil;
  return 0;
}

int OBJ_set_rad_inf(float rad) {
  state.rad_inf = rad;
  return 0;
}

int OBJ_set_num_pass(int pass) {
  state.num_pass = pass;
  return 0;
}

int OBJ_set_converg(float conv) {
  state.converg = conv;
  return 0;
}

int OBJ_set_min_sta(int min) {
  state.min_sta = min;
  return 0;
}

int OBJ_set_miss_val(float val) {
  state.miss_val = val;
  return 0;
}

int OBJ_set_search(int mode) {
  const int old = state.search;
  if (mode == OBJ_SEARCH_BINNED || mode == OBJ_SEARCH_DIRECT) state.search = mode;
  return old;
}

int OBJ_decode_params() {
  {
    Items plot(RES_get("plot_param"), ',');
    for (int a = 0; a < plot.argc; ++a) {
      const char* item = skip_blanks(plot.argv[a]);
      if (strnicmp(item, "miss", 4) == 0) {
        /* The item's own number, which is 0: missing values count as 0. */
        state.miss_val = static_cast<float>(number(item));
      } else if (strnicmp(item, "gridx", 5) == 0) {
        if (std::strlen(item) > 5) {
          double f = number(item + 5);
          if (f >= 1 && f <= 1000)
            state.grid_factor = static_cast<int>(f);
          else
            MESS_print(M_warn, "OBJ_decode_params: Invalid grid factor: %s\n", item);
        }
        state.rad_inf *= static_cast<float>(state.grid_factor);
      }
    }
  }
  const char* obj = RES_get("object_param");
  if (!obj) return 0;
  Items p(obj, ',');
  if (p.argc > 0) {
    if (!is_blank(p.argv[0])) state.filter = static_cast<float>(number(p.argv[0]));
    if (!(state.filter > 0)) state.filter = 1.0f;
  }
  if (p.argc > 1 && !is_blank(p.argv[1])) {
    state.rad_inf = static_cast<float>(number(p.argv[1]));
    if (!(state.rad_inf > 0)) state.rad_inf = 1000.0f;
  }
  if (p.argc > 2) {
    state.num_pass = clamp_int(number(p.argv[2]));
    if (state.num_pass > kMaxPasses || state.num_pass <= 0) state.num_pass = 1;
  }
  if (p.argc > 3) {
    state.converg = static_cast<float>(number(p.argv[3]));
    if (state.converg < 0.01f || state.converg >= 1.0f) state.converg = 0.2f;
  }
  if (p.argc > 4) {
    state.min_sta = clamp_int(number(p.argv[4]));
    if (state.min_sta <= 0) state.min_sta = 1;
  }
  return 0;
}

int OBJ_decode_format(const char* fmt) {
  Items items(fmt, ':');
  for (int a = 0; a < items.argc; ++a) {
    const char* item = skip_blanks(items.argv[a]);
    if (strnicmp(item, "miss", 4) == 0) state.miss_val = static_cast<float>(number(item));
  }
  return 0;
}

namespace {

int analyze(float* x, float* y, float** z, int numdata, int num_fields, GRD_report* grid) {
  if (!z || num_fields <= 0) return -1;
  if (num_fields > GRD_STORE_SLOTS) {
    MESS_print(M_warn, "OBJ_analyze: Only %d fields fit the grid store\n", GRD_STORE_SLOTS);
    num_fields = GRD_STORE_SLOTS;
  }
  bool any = false;
  for (int f = 0; f < num_fields; ++f) any = any || z[f] != nullptr;
  if (!any) return -1;
  if (!grid) {
    MESS_print(M_warn, "OBJ_analyze: No grids to analyse into\n");
    return -1;
  }
  if (numdata < 0) numdata = 0;
  if (numdata > 0 && (!x || !y)) {
    MESS_print(M_warn, "OBJ_analyze: No station positions\n");
    return -1;
  }
  OBJ_decode_params();

  const Domain g0 = grid[0].domain;
  const int nx = g0.nx, ny = g0.ny;
  if (nx <= 0 || ny <= 0 || static_cast<long long>(nx) * ny > GRD_MAX_POINTS || !positive_finite(g0.dx) ||
      !positive_finite(g0.dy)) {
    MESS_print(M_warn, "OBJ_analyze: Invalid analysis grid %d by %d\n", nx, ny);
    return -1;
  }
  /* Every field is written with slot 0's size: refuse one that differs. */
  std::vector<int> fields;
  for (int f = 0; f < num_fields; ++f) {
    if (!z[f]) continue;
    const GRD_report& s = grid[f];
    if (!s.grid || s.domain.nx != nx || s.domain.ny != ny) {
      MESS_print(M_warn, "OBJ_analyze: Field %d does not fit the %d by %d analysis grid\n", f + 1, nx, ny);
      continue;
    }
    fields.push_back(f);
  }
  if (fields.empty()) return -1;

  MESS_print(M_mess, "Fitting to grid...\n");
  for (int f : fields) MESS_print(M_mess, "   Data field [%d] = %s\n", f + 1, grid[f].info);
  MESS_print(M_out4, "Time and date are            = %s\n", grid[0].datim);
  MESS_print(M_out4, "Number of stations           = %4d stats\n", numdata);
  MESS_print(M_out4, "Number of passes             = %4d\n", state.num_pass);
  MESS_print(M_out4, "Filter parameter             = %9.4f cm**2\n", state.filter);
  if (state.num_pass > 1) MESS_print(M_out4, "Convergence parameter        = %9.4f\n", state.converg);
  MESS_print(M_out4, "Radius of influence          = %7.2f grids\n", state.rad_inf);
  MESS_print(M_out4, "Minimum stations at gridpt   = %4d stats\n\n", state.min_sta);

  Domain saved;
  DOM_init(&saved);
  MAP_get_domain(&saved);
  MAP_domain(&g0);
  for (int k = 0; k < numdata; ++k) MAP_grid_untran(x[k], y[k], &x[k], &y[k]);
  MAP_domain(&saved);

  for (int f : fields) {
    grid[f].source = 1;
    grid[f].version = 1;
    grid[f].model = 1;
    grid[f].type = 2;
  }
  if (!positive_finite(state.filter)) {
    MESS_print(M_warn, "OBJ_analyze: Filter parameter %g is not positive; 1 is used\n",
               static_cast<double>(state.filter));
    state.filter = 1.0f;
  }

  const float r = state.rad_inf * g0.dx;
  Pass p;
  p.gx = x;
  p.gy = y;
  p.dx = g0.dx;
  p.dy = g0.dy;
  p.r2 = r * r;
  p.nx = nx;
  p.min_sta = state.min_sta;
  p.filter = state.filter;
  for (int f : fields) {
    p.values.push_back(z[f]);
    p.out.push_back(grid[f].grid);
  }
  p.replace = state.miss_val != kMiss;
  p.miss_val = state.miss_val;

  /* Without room for the sums of every grid point, each grid point visits
   * every station. */
  std::vector<Sum> sums;
  bool direct = state.search == OBJ_SEARCH_DIRECT;
  auto analyse_pass = [&] {
    if (!direct) {
      try {
        run_pass(p, numdata, nx, ny, sums);
        return;
      } catch (const std::bad_alloc&) {
        std::vector<Sum>().swap(sums);
        direct = true;
      }
    }
    run_pass_direct(p, numdata, nx, ny);
  };

  MESS_print(M_out3, "Pass: %d...\n", 1);
  analyse_pass();
  if (state.num_pass <= 1 && !MESS_check(M_out3)) return -1;

  std::vector<std::vector<float>> res;
  try {
    res.assign(fields.size(), std::vector<float>(static_cast<size_t>(numdata)));
  } catch (const std::bad_alloc&) {
    MESS_print(M_warn, "OBJ_analyze: No memory for residual data\n");
    return -1;
  }
  MESS_print(M_out3, "Computing residuals...\n");
  residuals(fields, z, grid, x, y, numdata, res);

  for (int pass = 2; pass <= state.num_pass; ++pass) {
    MESS_print(M_out3, "Pass: %d...\n", pass);
    state.filter = state.converg * state.filter;
    p.filter = positive_finite(state.filter) ? state.filter : 1.0f;
    p.replace = false;
    p.correction = true;
    for (size_t f = 0; f < fields.size(); ++f) p.values[f] = res[f].data();
    analyse_pass();
    residuals(fields, z, grid, x, y, numdata, res);
  }
  return 0;
}

} // namespace

int OBJ_analyze(float* x, float* y, float** z, int numdata, int num_fields, GRD_report* grid) {
  try {
    return analyze(x, y, z, numdata, num_fields, grid);
  } catch (const std::bad_alloc&) {
    MESS_print(M_warn, "OBJ_analyze: No memory for the analysis\n");
    return -1;
  }
}
