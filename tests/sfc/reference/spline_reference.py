"""Natural cubic splines through random increasing data, by SciPy.

For each case prints five lines: "x" and "y" with the points, "c" with the
spline's second derivatives at the points, "at" with evaluation positions
(inside the range and a little beyond both ends) and "v" with the values
there.
"""
import numpy as np
from scipy.interpolate import CubicSpline

rng = np.random.default_rng(20261210)


def line(tag, values):
    print(tag, " ".join("%.9g" % v for v in values))


for n in [3, 4, 5, 8, 13, 21, 40]:
    # The library works in float: give it float values to start with.
    x = np.cumsum(rng.uniform(0.1, 2.0, n)).astype(np.float32).astype(np.float64)
    y = rng.normal(0.0, 3.0, n).astype(np.float32).astype(np.float64)
    s = CubicSpline(x, y, bc_type="natural")
    span = x[-1] - x[0]
    at = np.concatenate([np.linspace(x[0] - 0.1 * span, x[-1] + 0.1 * span, 57), x])
    at = at.astype(np.float32).astype(np.float64)
    line("x", x)
    line("y", y)
    line("c", s(x, 2))
    line("at", at)
    line("v", s(at))
