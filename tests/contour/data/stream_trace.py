"""Fixed-step streamline tracer in NumPy single precision, for comparing
with the vector plotter's: same bilinear sampler, seeds, 0.25 steps, visit
counters and end rules, in grid coordinates. Reads nx ny xskip yskip base
arrow_scale length, then u and v (rows from the top); prints one mark per
line: x y head."""
import math
import sys

import numpy as np

f32 = np.float32


def sample(g, gx, gy):
    ny, nx = g.shape
    limx, limy = nx - 0.9999, ny - 0.9999
    gx, gy = float(gx), float(gy)
    if not (0.0 <= gx <= limx and 0.0 <= gy <= limy):
        return None
    ix, iy = int(gx), int(gy)
    fx, fy = f32(gx) - f32(ix), f32(gy) - f32(iy)
    east, south = ix + 1 > limx, iy + 1 > limy
    z00 = g[iy, ix]
    z10 = z00 if east else g[iy, ix + 1]
    z01 = z00 if south else g[iy + 1, ix]
    z11 = z00 if (east or south) else g[iy + 1, ix + 1]
    one = f32(1)
    return f32(f32(f32(f32((one - fy) * (one - fx)) * z00) + f32(f32((one - fy) * fx) * z10))
               + f32(f32((one - fx) * fy) * z01)) + f32(f32(fy * fx) * z11)


def main():
    words = open(sys.argv[1]).read().split()
    nx, ny, xs, ys = (int(w) for w in words[:4])
    base, ascale, length = (float(w) for w in words[4:7])
    vals = np.array([float(w) for w in words[7:]], dtype=np.float32)
    u = vals[: nx * ny].reshape(ny, nx)
    v = vals[nx * ny:].reshape(ny, nx)
    counts = [0] * (4 * nx * ny + 1)
    last = 4 * nx * ny
    n = max(1, int(math.trunc(10.0 * f32(ascale))))
    head = f32(4) * f32(ascale)
    out = []

    def index(gx, gy):
        ix = math.trunc(2.0 * float(gx) / xs + 0.0001)
        iy = math.trunc(2.0 * float(gy) / ys + 0.0001)
        idx = ix + 2.0 * nx * iy
        return last if (idx < 0 or idx > last - 2) else int(idx)

    def trace(i, j):
        x, y = f32(i), f32(j)
        gx, gy = x, f32(ny - 1) - y
        uu, vv = sample(u, gx, gy), sample(v, gx, gy)
        prev, same, pdir, px, py = -1, 0, None, x, y
        k = 0
        while k < length:
            idx = index(gx, gy)
            if idx != prev:
                counts[idx] += 1
                same, prev = 0, idx
            else:
                same += 1
            spd = dirn = None
            if uu is not None and vv is not None:
                spd = f32(math.sqrt(float(f32(uu * uu) + f32(vv * vv))))
                dirn = f32(0) if spd < 0.01 else f32(math.atan2(-float(uu), -float(vv)) * 57.295779513082195)
            end = (counts[idx] > base and (k == 0 or k > 5)) or same > 6 * xs or spd is None or spd < 0.001
            if not end and k > 0 and pdir is not None:
                t = abs(float(f32(pdir - dirn)))
                end = 120.0 < t < 240.0
            if end:
                if k > 0 and spd is not None and pdir is not None:
                    out.append((px, py, head))
                return
            out.append((x, y, head if k % n == n - 1 else 0.0))
            px, py, pdir = x, y, dirn
            x = f32(x + f32(uu / f32(f32(4) * spd)))
            y = f32(y + f32(vv / f32(f32(4) * spd)))
            gx, gy = x, f32(ny - 1) - y
            uu, vv = sample(u, gx, gy), sample(v, gx, gy)
            k += 1

    def at(i, j):
        return sample(u, i, ny - 1 - j), sample(v, i, ny - 1 - j)

    passes = [
        (range(0, nx, xs), lambda: range(0, ny, ys), 1, 1),
        (range(0, nx, xs), lambda: range(ny - 1, -1, -ys), 1, -1),
        (range(nx - 1, -1, -xs), lambda: range(0, ny, ys), -1, 1),
        (range(nx - 1, -1, -xs), lambda: range(ny - 1, -1, -ys), -1, -1),
    ]
    for cols, rows, su, sv in passes:
        for i in cols:
            for j in rows():
                a, b = at(i, j)
                if a is None or b is None:
                    continue
                if (a > 0 if su > 0 else a < 0) and (b > 0 if sv > 0 else b < 0):
                    trace(i, j)
    for x, y, h in out:
        print("%.7f %.7f %g" % (x, y, h))


main()
