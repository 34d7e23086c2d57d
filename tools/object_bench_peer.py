#!/usr/bin/python3
"""The peer of bench/object_bench.cpp: the same successive-correction
analysis with Gaussian weights in scipy and numpy.

    /usr/bin/python3 tools/object_bench_peer.py STATIONS GRID

STATIONS holds four int32 (stations, nx, ny, passes), four float32 (dx, dy
of the grid in plot units, the filter in squared plot units, the radius of
influence in grid lengths) and three float32 arrays of the stations: grid
column, grid row (from the top) and value. GRID receives the nx by ny
analysis as float32, row after row, -9999 where no station is within reach.
Prints the time of the analysis in ms (reading and writing not counted).

Pass 1 gives each grid point the mean of the values of the stations within
the radius weighted by exp(-d^2/filter); each further pass narrows the
filter by 0.2 and adds the weighted mean of the stations' residuals (value
minus the grid interpolated bilinearly to the station; none off the grid).
The pairs of grid points and stations within the radius come from scipy's
cKDTree once for all passes.
"""

import sys
import time

import numpy as np
from scipy.spatial import cKDTree

CONVERGENCE = 0.2
MISSING = -9999.0


def residuals(grid, col, row, value, nx, ny):
    inside = (col >= 0) & (row >= 0) & (col <= nx - 1) & (row <= ny - 1)
    i0 = np.clip(np.floor(col), 0, nx - 1).astype(np.int64)
    j0 = np.clip(np.floor(row), 0, ny - 1).astype(np.int64)
    i1, j1 = np.minimum(i0 + 1, nx - 1), np.minimum(j0 + 1, ny - 1)
    fx, fy = col - i0, row - j0
    g = grid
    est = ((1 - fx) * (1 - fy) * g[j0, i0] + fx * (1 - fy) * g[j0, i1] + (1 - fx) * fy * g[j1, i0] +
           fx * fy * g[j1, i1])
    res = value - est
    res[~inside | np.isnan(est)] = np.nan
    return res


def analyse(col, row, value, nx, ny, passes, dx, dy, filt, radius):
    stations = cKDTree(np.column_stack((col * dx, row * dy)))
    jj, ii = np.mgrid[0:ny, 0:nx]
    points = cKDTree(np.column_stack((ii.ravel() * dx, jj.ravel() * dy)))
    pairs = points.sparse_distance_matrix(stations, radius * dx, output_type="ndarray")
    at, k, d2 = pairs["i"], pairs["j"], pairs["v"] ** 2
    grid = None
    values = value
    for n in range(passes):
        w = np.exp(-d2 / filt)
        ok = ~np.isnan(values[k])
        wsum = np.bincount(at[ok], weights=w[ok] * values[k[ok]], minlength=nx * ny)
        wtot = np.bincount(at[ok], weights=w[ok], minlength=nx * ny)
        with np.errstate(invalid="ignore", divide="ignore"):
            mean = np.where(wtot > 0, wsum / wtot, np.nan).reshape(ny, nx)
        grid = mean if grid is None else grid + mean
        if n + 1 < passes:
            values = residuals(grid, col, row, value, nx, ny)
            filt *= CONVERGENCE
    return grid


def main():
    raw = open(sys.argv[1], "rb").read()
    n, nx, ny, passes = np.frombuffer(raw, dtype=np.int32, count=4)
    dx, dy, filt, radius = (float(v) for v in np.frombuffer(raw, dtype=np.float32, count=4, offset=16))
    arrays = np.frombuffer(raw, dtype=np.float32, count=3 * n, offset=32).astype(np.float64).reshape(3, n)
    col, row, value = arrays
    start = time.perf_counter()
    grid = analyse(col, row, value, int(nx), int(ny), int(passes), dx, dy, filt, radius)
    ms = (time.perf_counter() - start) * 1000.0
    np.where(np.isnan(grid), MISSING, grid).astype(np.float32).tofile(sys.argv[2])
    print("%.3f" % ms)


if __name__ == "__main__":
    main()
