/*
 * spline.h: natural cubic splines and parametric curves built from them.
 *
 * A natural cubic spline through n points with strictly increasing x is
 * described by its second derivatives at the points (zero at both ends);
 * SPLINE_create hands them out in memory the caller frees with free(). A
 * parametric curve through plot points is a pair of such splines, x(d) and
 * y(d), over the cumulative chord length d. The front plotter smooths fronts
 * with the parametric form.
 *
 * Rules for degenerate input: one point gives a constant (its coefficient
 * is 0), two points the straight line; no points, null arrays, x that does
 * not increase strictly (a repeated point of a parametric curve is a zero
 * chord) and non-finite values are refused with a message, as is a failed
 * allocation. No call reads outside its n-element arrays or divides by zero.
 */
#ifndef KEZ_SPLINE_H
#define KEZ_SPLINE_H

/* Second derivatives of the natural cubic spline through (x[i], y[i]), n
 * floats the caller frees with free(); null when refused. */
float* SPLINE_create(int n, const float* x, const float* y);

/* The spline's value at x0; outside x[0]..x[n-1] the end cubics continue.
 * Exactly y[i] at x0 = x[i]. -9999 when refused. */
float SPLINE_interp(float x0, int n, const float* coeffs, const float* x, const float* y);

/* Fills d with the cumulative chord lengths of the points (d[0] = 0) and
 * sets *coeffx and *coeffy to the coefficients of x(d) and y(d), both freed
 * by the caller with free(). 1, or 0 with both set to null when refused. */
int SPLINE_create2(int n, const float* x, const float* y, float* d, float** coeffx, float** coeffy);

/* The curve's point at chord length d0 into *x0 and *y0. 1, or 0 (outputs
 * -9999) when refused. */
int SPLINE_interp2(float d0, int n, const float* coeffx, const float* coeffy, const float* x, const float* y,
                   const float* d, float* x0, float* y0);

#endif
