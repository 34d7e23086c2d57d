/*
 * spline: natural cubic splines and parametric curves.
 *
 * The front plotter smooths fronts and troughs through a few dozen points, so
 * a spline is its second derivatives at the points, found by the tridiagonal
 * recurrence of the natural end conditions in linear time, and evaluation
 * searches the intervals linearly from the top. Arithmetic runs in double and
 * the results are stored as float. Degenerate input is refused with a
 * message before any division (see spline.h for the rules).
 */
#include "spline.h"

#include "kez.h"

#include <cmath>
#include <cstdlib>
#include <memory>

namespace {

struct FreeDeleter {
  void operator()(float* p) const { std::free(p); }
};
using FloatBuffer = std::unique_ptr<float, FreeDeleter>;

FloatBuffer allocate(int n) {
  return FloatBuffer(static_cast<float*>(std::malloc(sizeof(float) * static_cast<size_t>(n))));
}

/* The points a spline can pass through: finite, x strictly increasing. */
bool usable_points(const char* caller, int n, const float* x, const float* y) {
  if (n < 1 || x == nullptr || y == nullptr) {
    MESS_print(M_error, "%s: No points (%d)\n", caller, n);
    return false;
  }
  for (int i = 0; i < n; ++i) {
    if (!std::isfinite(x[i]) || !std::isfinite(y[i])) {
      MESS_print(M_error, "%s: Point %d is not a number\n", caller, i);
      return false;
    }
    if (i > 0 && !(x[i] > x[i - 1])) {
      MESS_print(M_error, "%s: Point %d does not follow point %d (%g after %g)\n", caller, i, i - 1,
                 static_cast<double>(x[i]), static_cast<double>(x[i - 1]));
      return false;
    }
  }
  return true;
}

} // namespace

float* SPLINE_create(int n, const float* x, const float* y) {
  if (!usable_points("SPLINE_create", n, x, y)) return nullptr;
  FloatBuffer c = allocate(n);
  FloatBuffer u = allocate(n);
  if (!c || !u) {
    MESS_print(M_error, "SPLINE_create: Out of memory for %d points\n", n);
    return nullptr;
  }
  float* cc = c.get();
  float* uu = u.get();
  cc[0] = uu[0] = 0.0f;
  for (int i = 1; i < n - 1; ++i) {
    double sig = (static_cast<double>(x[i]) - x[i - 1]) / (static_cast<double>(x[i + 1]) - x[i - 1]);
    double p = sig * cc[i - 1] + 2.0;
    cc[i] = static_cast<float>((sig - 1.0) / p);
    double du = (static_cast<double>(y[i + 1]) - y[i]) / (static_cast<double>(x[i + 1]) - x[i]) -
                (static_cast<double>(y[i]) - y[i - 1]) / (static_cast<double>(x[i]) - x[i - 1]);
    uu[i] = static_cast<float>((6.0 * du / (static_cast<double>(x[i + 1]) - x[i - 1]) - sig * uu[i - 1]) / p);
  }
  cc[n - 1] = 0.0f;
  for (int k = n - 2; k >= 0; --k) cc[k] = cc[k] * cc[k + 1] + uu[k];
  return c.release();
}

float SPLINE_interp(float x0, int n, const float* coeffs, const float* x, const float* y) {
  if (n < 1 || coeffs == nullptr || x == nullptr || y == nullptr) {
    MESS_print(M_error, "SPLINE_interp: No spline (%d points)\n", n);
    return KEZ_FMISS;
  }
  if (n == 1) return y[0];
  int k = n - 2;
  while (k > 0 && x0 < x[k]) --k;
  if (x0 == x[k + 1]) return y[k + 1];
  double h = static_cast<double>(x[k + 1]) - x[k];
  if (!(h > 0.0)) {
    MESS_print(M_error, "SPLINE_interp: Points %d and %d do not increase\n", k, k + 1);
    return KEZ_FMISS;
  }
  double t = static_cast<double>(x0) - x[k];
  double ck = coeffs[k], ck1 = coeffs[k + 1];
  double v = y[k] + t * ((static_cast<double>(y[k + 1]) - y[k]) / h - (2.0 * ck + ck1) * h / 6.0 +
                         t * (ck / 2.0 + (ck1 - ck) * t / (6.0 * h)));
  return static_cast<float>(v);
}

int SPLINE_create2(int n, const float* x, const float* y, float* d, float** coeffx, float** coeffy) {
  if (coeffx != nullptr) *coeffx = nullptr;
  if (coeffy != nullptr) *coeffy = nullptr;
  if (n < 1 || x == nullptr || y == nullptr || d == nullptr || coeffx == nullptr || coeffy == nullptr) {
    MESS_print(M_error, "SPLINE_create2: No points (%d)\n", n);
    return 0;
  }
  /* Chord lengths summed in double keep d strictly increasing wherever the
   * points differ. */
  double total = 0.0;
  d[0] = 0.0f;
  for (int i = 1; i < n; ++i) {
    total += std::hypot(static_cast<double>(x[i]) - x[i - 1], static_cast<double>(y[i]) - y[i - 1]);
    d[i] = static_cast<float>(total);
  }
  FloatBuffer cx(SPLINE_create(n, d, x));
  FloatBuffer cy(cx ? SPLINE_create(n, d, y) : nullptr);
  if (!cx || !cy) {
    MESS_print(M_error, "SPLINE_create2: No curve through the %d points\n", n);
    return 0;
  }
  *coeffx = cx.release();
  *coeffy = cy.release();
  return 1;
}

int SPLINE_interp2(float d0, int n, const float* coeffx, const float* coeffy, const float* x, const float* y,
                   const float* d, float* x0, float* y0) {
  if (x0 == nullptr || y0 == nullptr) {
    MESS_print(M_error, "SPLINE_interp2: No place for the point\n");
    return 0;
  }
  *x0 = SPLINE_interp(d0, n, coeffx, d, x);
  *y0 = SPLINE_interp(d0, n, coeffy, d, y);
  if (*x0 == KEZ_FMISS || *y0 == KEZ_FMISS) {
    *x0 = *y0 = KEZ_FMISS;
    return 0;
  }
  return 1;
}
