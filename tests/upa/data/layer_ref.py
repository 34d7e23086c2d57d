"""Reference values for the layer quantities of a sounding.

Written from the definitions: each field interpolated from its own nearest
pair of levels (linear in -ln p, or in height), layer means summed segment
by segment in ln p over the levels that carry the walk's selecting field,
the formula library's formulas, the trapezoid of specific humidity for
precipitable water and the 12-step search for the convective condensation
level.

Input lines: "L p h t td dir spd" (degrees C, -9999 missing), then queries:
  MEAN name coord bottom top | PARCEL coord bottom top | WIND coord bottom top
  CCL coord bottom thick | THICK/LAPSE/TLAPSE/TPLAPSE coord bottom top
  SS coord level | MAXT coord bottom thick | PW | FRZ | WBZ
Output: one line of numbers per query.
"""
import math
import sys

import numpy as np

MISS = -9999.0
K0 = 273.15


def miss(x):
    return x == MISS


# --- formulas (temperatures in K, pressures in hPa) ---
def pot_temp(t, p):
    if t <= 0 or p <= 0:
        return MISS
    return t * (1000.0 / p) ** 0.286


def vapor_pr(t):
    if t < 0:
        return MISS
    if t < 100:
        return 0.0
    return 10 ** (23.832241 - 5.02808 * math.log10(t) - 1.3816e-7 * 10 ** (11.344 - 0.0303998 * t)
                  + 0.008132801 * 10 ** (3.49149 - 1302.8844 / t) - 2949.076 / t)


def vap(t):
    return t if t <= 100 else vapor_pr(t)


def mix_ratio(t, p):
    if miss(t) or miss(p):
        return MISS
    if t <= 0 or p <= 0:
        return 0.0
    e = vap(t)
    return 622.0 * e / (p - e)


def spec_hum(t, p):
    if miss(t) or miss(p):
        return MISS
    if t <= 0 or p <= 0:
        return 0.0
    return 622.0 * vap(t) / p


def temp_on_dryad(pot, p):
    if pot <= 0 or p <= 0:
        return 0.0
    return pot * (p / 1000.0) ** 0.286


def temp_on_mixrat(w, p):
    if w <= 0 or p <= 0:
        return 0.0
    e = w * p / (622.0 + w)
    return 10 ** (0.0498646455 * math.log10(e) + 2.4082965) - 7.08475 + 38.9114 * (e ** 0.0915 - 1.2035) ** 2


def rel_hum(t, td):
    return 100.0 * vapor_pr(td) / vapor_pr(t)


def virt_temp(t, td, p):
    return t * (1 + 0.609 * mix_ratio(td, p) / 1000.0)


def virt_pot_temp(t, td, p):
    return virt_temp(t, td, p) * (1000.0 / p) ** 0.286


def lcl_pres(ts, tds, ps):
    w, th, p = mix_ratio(tds, ps), pot_temp(ts, ps), ps
    for _ in range(8):
        d = temp_on_mixrat(w, p) - temp_on_dryad(th, p)
        if d * d <= 0.0001:
            break
        p *= 2 ** (0.02 * d)
    return p


def thetae_on_satad(t, p):
    return pot_temp(t, p) * math.exp(2.6518986 * mix_ratio(t, p) / t)


def temp_on_satad(pot, p):
    t, step = 253.16, 120.0
    for _ in range(12):
        diff = pot * math.exp(-2.6518986 * mix_ratio(t, p) / t) - pot_temp(t, p)
        if diff * diff < 0.00002:
            break
        step /= 2
        t += step if diff > 0 else -step
    return t


def eq_pot_temp(t, td, p):
    pl = lcl_pres(t, td, p)
    return thetae_on_satad(temp_on_dryad(pot_temp(t, p), pl), pl)


def wet_bulb(t, td, p):
    return temp_on_satad(eq_pot_temp(t, td, p), p)


# --- the sounding ---
L = []
Q = []
for line in open(sys.argv[1]):
    w = line.split()
    if not w:
        continue
    if w[0] == "L":
        L.append([float(x) for x in w[1:]])
    else:
        Q.append(w)
S = np.array(L)
N = len(S)
P, H, T, TD, DIR, SPD = range(6)


def coordinate(c, lev):
    if c in (103, 104, 105, 106):
        return lev[H]
    return -math.log(lev[P]) if lev[P] > 0 else MISS


def interp(c, value):
    """The sounding at value (hPa or m): every field from its own pair."""
    height = c in (103, 104, 105, 106)
    v = value if height else -math.log(value)
    cs = [coordinate(c, S[k]) for k in range(N)]
    r = [MISS] * 6
    if v < cs[0] - (3.0 if height else 0.01):
        return r, 0
    if v < cs[0]:
        return list(S[0]), 0
    i = 1
    while i < N and cs[i] < v:
        i += 1
    for f in range(6):
        if (f == P and not height) or (f == H and height):
            r[f] = value
            continue
        lo = i - 1
        while lo >= 0 and miss(S[lo][f]):
            lo -= 1
        hi = i
        while hi < N and miss(S[hi][f]):
            hi += 1
        if lo < 0 and hi < N and cs[hi] == v:
            r[f] = S[hi][f]
        elif lo >= 0 and hi < N:
            clo, chi, xlo, xhi = cs[lo], cs[hi], S[lo][f], S[hi][f]
            if clo == v:
                r[f] = xlo
            elif chi == v:
                r[f] = xhi
            else:
                fr = (v - clo) / (chi - clo)
                if f == DIR:
                    d = xhi - xlo
                    if d > 180:
                        x = xlo + (d - 360) * fr
                        r[f] = x + 360 if x < 0 else x
                    elif d < -180:
                        x = xlo + (d + 360) * fr
                        r[f] = x - 360 if x > 360 else x
                    else:
                        r[f] = xlo + d * fr
                else:
                    r[f] = xlo + (xhi - xlo) * fr
    return r, i


def kelvin(x):
    return MISS if miss(x) else x + K0


def value_of(name, lv):
    t, td, p = kelvin(lv[T]), kelvin(lv[TD]), lv[P]
    need_t = name in ("theta", "rhum", "vtemp", "thetav", "dewd", "thetae", "wetblb")
    need_td = name in ("mrat", "shum", "rhum", "vtemp", "thetav", "dewd", "thetae", "wetblb", "vpres")
    if (need_t and miss(t)) or (need_td and miss(td)):
        return MISS
    return {
        "temp": lambda: lv[T], "dewp": lambda: lv[TD], "pres": lambda: p, "hght": lambda: lv[H],
        "theta": lambda: pot_temp(t, p), "mrat": lambda: mix_ratio(td, p), "shum": lambda: spec_hum(td, p),
        "rhum": lambda: rel_hum(t, td), "vtemp": lambda: virt_temp(t, td, p), "dewd": lambda: lv[T] - lv[TD],
        "thetav": lambda: virt_pot_temp(t, td, p), "thetae": lambda: eq_pot_temp(t, td, p),
        "wetblb": lambda: wet_bulb(t, td, p), "vpres": lambda: vapor_pr(td),
    }[name]()


def walk(c, bottom, top, select, value):
    """Sums of value (a tuple) and the weight over the layer."""
    B, lb = interp(c, bottom)
    Tp, lt = interp(c, top)
    n = len(value(B))
    sums, weight = [0.0] * n, 0.0

    def seg(a, b):
        nonlocal weight
        va, vb = value(a), value(b)
        if miss(va[0]) or miss(vb[0]):
            return
        w = math.log(a[P] / b[P])
        for k in range(n):
            sums[k] += (va[k] + vb[k]) * w
        weight += w

    cur = B
    if lb < N and S[lb][P] == B[P]:
        nxt = lb + 1
    else:
        k = lb
        while k < lt and k < N and miss(S[k][select]):
            k += 1
        if k < N:
            seg(B, list(S[k]))
            cur = list(S[k])
            nxt = k + 1
        else:
            nxt = N
    for k in range(nxt, min(lt, N)):
        if not miss(S[k][select]):
            seg(cur, list(S[k]))
            cur = list(S[k])
    if Tp[P] != cur[P]:
        seg(cur, Tp)
    return sums, weight, B, Tp


def out(*xs):
    print(" ".join("%.9g" % x for x in xs))


for q in Q:
    kind = q[0]
    if kind == "MEAN":
        name, c, b, t = q[1], int(q[2]), float(q[3]), float(q[4])
        s, w, _, _ = walk(c, b, t, T, lambda lv: (value_of(name, lv),))
        out(s[0] / (2 * w))
    elif kind == "PARCEL":
        c, b, t = int(q[1]), float(q[2]), float(q[3])
        # each mean over the segments with values at both ends
        so, wo, B, Tp = walk(c, b, t, T, lambda lv: (value_of("theta", lv),))
        sw, ww, _, _ = walk(c, b, t, TD, lambda lv: (value_of("mrat", lv),))
        out(sw[0] / (2 * ww) if ww > 0 else MISS, so[0] / (2 * wo) if wo > 0 else MISS)
    elif kind == "WIND":
        c, b, t = int(q[1]), float(q[2]), float(q[3])

        def uvs(lv):
            if miss(lv[DIR]) or miss(lv[SPD]):
                return (MISS, MISS, MISS)
            r = math.radians(lv[DIR])
            return (-lv[SPD] * math.sin(r), -lv[SPD] * math.cos(r), lv[SPD])

        s, w, _, Tp = walk(c, b, t, DIR, uvs)
        u, v = s[0] / (2 * w), s[1] / (2 * w)
        d = math.degrees(math.atan2(-u, -v)) % 360
        out(0 if miss(Tp[DIR]) else 1, d, s[2] / (2 * w))
    elif kind == "CCL":
        c, b, thick = int(q[1]), float(q[2]), float(q[3])
        B, lb = interp(c, b)
        if thick > 0:
            top = b - thick if c in (1, 100, 101, 102, 115, 116) else b + thick
            sw, _, B2, T2 = walk(c, b, top, TD, lambda lv: (value_of("mrat", lv),))
            W = sw[0] / (2 * math.log(B2[P] / T2[P]))
        else:
            W = mix_ratio(kelvin(B[TD]), B[P])
        low, cross = B, None
        for k in range(lb, N):
            if miss(S[k][T]):
                continue
            if temp_on_mixrat(W, S[k][P]) > S[k][T] + K0:
                cross = k
                break
            low = S[k]
        if cross is None:
            out(-1, W)
        elif cross == lb:
            out(S[lb][P], W)
        else:
            hi = S[cross]
            pc, d = (low[P] + hi[P]) / 2, (low[P] - hi[P]) / 2
            for _ in range(12):
                tm = temp_on_mixrat(W, pc)
                te = low[T] + (hi[T] - low[T]) * math.log(pc / low[P]) / math.log(hi[P] / low[P]) + K0
                diff = tm - te
                if diff * diff < 0.00002:
                    break
                pc += d if diff > 0 else -d
                d /= 2
            out(pc, W)
    elif kind in ("THICK", "LAPSE", "TLAPSE", "TPLAPSE"):
        c, b, t = int(q[1]), float(q[2]), float(q[3])
        B, _ = interp(c, b)
        Tp, _ = interp(c, t)
        thb, tht = pot_temp(B[T] + K0, B[P]), pot_temp(Tp[T] + K0, Tp[P])
        out({"THICK": abs(Tp[H] - B[H]), "LAPSE": -(Tp[T] - B[T]) / (Tp[H] - B[H]),
             "TLAPSE": (tht - thb) / (Tp[H] - B[H]), "TPLAPSE": (tht - thb) / (B[P] - Tp[P])}[kind])
    elif kind == "SS":
        c, lv = int(q[1]), float(q[2])
        height = c in (103, 104, 105, 106)
        Mv, _ = interp(c, lv)
        Lv, _ = interp(c, lv - 200 if height else lv + 20)
        Uv, _ = interp(c, lv + 50 if height else lv - 10)
        th = [pot_temp(x[T] + K0, x[P]) for x in (Lv, Uv, Mv)]
        out((th[1] - th[0]) * (-287.05 * (Mv[T] + K0) / (Mv[P] * 10000 * th[2])) / (Uv[P] - Lv[P]))
    elif kind == "MAXT":
        c, b, thick = int(q[1]), float(q[2]), float(q[3])
        B, _ = interp(c, b)
        Tp, _ = interp(c, b - thick if c not in (103, 104, 105, 106) else b + thick)
        out(temp_on_dryad(pot_temp(Tp[T] + K0, Tp[P]), B[P]))
    elif kind == "PW":
        wet = [k for k in range(N) if not miss(S[k][TD])]
        q_ = [spec_hum(S[k][TD] + K0, S[k][P]) for k in wet]
        p_ = [S[k][P] for k in wet]
        # the trapezoid of specific humidity over pressure
        trapezoid = getattr(np, "trapezoid", None) or np.trapz
        out(-trapezoid(np.array(q_) / 1000.0, np.array(p_)) / 2.4892)
    elif kind in ("FRZ", "WBZ"):
        if kind == "FRZ":
            use = [k for k in range(N) if not miss(S[k][T])]
            val = [S[k][T] for k in use]
        else:
            use = [k for k in range(N) if not miss(S[k][T]) and not miss(S[k][TD])]
            val = [wet_bulb(S[k][T] + K0, S[k][TD] + K0, S[k][P]) - K0 for k in use]
        res = MISS
        if val and val[0] < 0:
            res = -1
        else:
            for a in range(len(use) - 1):
                if (val[a] >= 0) != (val[a + 1] >= 0):
                    pa, pb = S[use[a]][P], S[use[a + 1]][P]
                    res = pa + (0 - val[a]) * (pb - pa) / (val[a + 1] - val[a])
                    break
        out(res)
