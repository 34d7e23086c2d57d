"""Reference values for random soundings: linear interpolation in -ln p,
in height and in potential temperature, and heights from the hypsometric
equation with the end heights restored and the error spread in pressure.

Input lines: "L p h t td dir spd" levels (h -9999 where to be filled),
"Q coord target" queries. Output: one line per query (p h t td), then the
filled heights."""
import sys
import numpy as np

R, G, K = 287.05, 9.8, 0.286
lev, qs = [], []
for line in open(sys.argv[1]):
    w = line.split()
    if w[0] == "L":
        lev.append([float(x) for x in w[1:]])
    elif w[0] == "Q":
        qs.append((int(w[1]), float(w[2])))
a = np.array(lev)
p, h, t, td = a[:, 0], a[:, 1], a[:, 2], a[:, 3]

# Heights: integrate upward from the first level, then restore the last
# known height and spread the difference linearly in pressure.
known = h.copy()
hh = np.empty_like(p)
hh[0] = h[0]
for k in range(1, len(p)):
    tm = (t[k - 1] + t[k]) / 2 + 273.15
    hh[k] = hh[k - 1] + np.log(p[k - 1] / p[k]) * R * tm / G
delta = hh[-1] - known[-1]
hh = hh - (p - p[0]) * delta / (p[-1] - p[0])
hh[-1] = known[-1]

theta = (t + 273.15) * (1000.0 / p) ** K
for coord, v in qs:
    if coord == 100:
        x, tv = -np.log(p), -np.log(v)
    elif coord == 103:
        x, tv = hh, v
    else:
        x, tv = theta, v
    out = [np.interp(tv, x, f) for f in (p, hh, t, td)]
    if coord == 100:
        out[0] = v
    print("%.6f %.6f %.6f %.6f" % tuple(out))
print(" ".join("%.4f" % v for v in hh))
