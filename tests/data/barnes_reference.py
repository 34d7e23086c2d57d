"""Barnes successive-correction analysis from its textbook definition.

Reads a case from the file named first: a line "nx ny dx dy k radius passes
gamma", then one line "gx gy value" per station (grid coordinates: column
from the left, row from the top). Writes the analysed grid, row after row,
one value a line, to the file named second ("nan" where no station reaches).

Pass 1: g = sum(w v) / sum(w), w = exp(-d^2 / k) over the stations with
d <= radius * dx. Pass n: k is multiplied by gamma and g gains the weighted
mean of the residuals v - g(station), the grid interpolated bilinearly.
"""
import sys

import numpy as np
from scipy.ndimage import map_coordinates


def main():
    with open(sys.argv[1]) as f:
        head = f.readline().split()
        nx, ny = int(head[0]), int(head[1])
        dx, dy, k, rad = (float(v) for v in head[2:6])
        passes, gamma = int(head[6]), float(head[7])
        st = np.loadtxt(f, ndmin=2)
    gx, gy, val = st[:, 0], st[:, 1], st[:, 2]
    jj, ii = np.mgrid[0:ny, 0:nx]
    d2 = (dx * (gx[None, None, :] - ii[..., None])) ** 2 + (dy * (gy[None, None, :] - jj[..., None])) ** 2
    inside = d2 <= (rad * dx) ** 2

    def weighted_mean(values, kk):
        w = np.where(inside, np.exp(-d2 / kk), 0.0)
        wsum = w.sum(axis=2)
        with np.errstate(invalid="ignore", divide="ignore"):
            return np.where(wsum > 0, (w * values[None, None, :]).sum(axis=2) / wsum, np.nan)

    grid = weighted_mean(val, k)
    on_grid = (gx >= 0) & (gy >= 0) & (gx <= nx - 1) & (gy <= ny - 1)
    for _ in range(2, passes + 1):
        k *= gamma
        at = map_coordinates(grid, [gy, gx], order=1, mode="nearest")
        res = np.where(on_grid, val - at, np.nan)
        use = np.isfinite(res)
        w = np.where(inside & use[None, None, :], np.exp(-d2 / k), 0.0)
        wsum = w.sum(axis=2)
        with np.errstate(invalid="ignore", divide="ignore"):
            corr = (w * np.nan_to_num(res)[None, None, :]).sum(axis=2) / wsum
        grid = np.where(wsum > 0, grid + corr, np.nan)
    with open(sys.argv[2], "w") as f:
        for v in grid.ravel():
            f.write("nan\n" if not np.isfinite(v) else "%.9g\n" % v)


main()
