"""Reference values of the parcel, stability and wind-profile indices of a
sounding, computed independently in double precision with NumPy.

The method is the suite's own: the formula library's saturation vapour
pressure, mixing ratio, dry and saturated adiabats (the 12-step search) and
condensation level (the 8-step search); the sounding read at any pressure
linearly in ln p and at any height linearly in height (wind direction the
short way round); no virtual temperature; the dry part of the ascent from
sounding level to sounding level up to the LCL, the moist part in 10 hPa
steps on the saturated adiabat through the LCL, the last one to the top;
helicity as the discrete sum over the profile resampled every 100 m, shear every 500 m, the wind
between levels linear in u and v; mean winds
in ln p with a scalar-mean speed.

Input lines: "L p h t td dir spd" levels from the ground up (complete),
"S dir spd" the storm motion (knots). Output: "name value" lines."""
import sys
import numpy as np

KAPPA, LV, EPS = 0.286, 2.6518986, 622.0
C2K, G, KT = 273.15, 9.8, 0.5144
RAD = np.pi / 180.0
MISS = -9999.0

lev, storm = [], None
for line in open(sys.argv[1]):
    w = line.split()
    if not w:
        continue
    if w[0] == "L":
        lev.append([float(x) for x in w[1:]])
    elif w[0] == "S":
        storm = (float(w[1]), float(w[2]))
a = np.array(lev)
P, H, T, TD, DIR, SPD = (a[:, i] for i in range(6))
out = {}


# --- the formula library -------------------------------------------------
def theta(t, p):
    return t * (1000.0 / p) ** KAPPA


def vapor(t):
    return 10 ** (23.832241 - 5.02808 * np.log10(t) - 1.3816e-7 * 10 ** (11.344 - 0.0303998 * t)
                  + 0.008132801 * 10 ** (3.49149 - 1302.8844 / t) - 2949.076 / t)


def mixr(t, p):
    e = t if t <= 100 else vapor(t)
    return EPS * e / (p - e)


def t_dry(th, p):
    return th * (p / 1000.0) ** KAPPA


def t_mixr(w, p):
    e = w * p / (EPS + w)
    return 10 ** (0.0498646455 * np.log10(e) + 2.4082965) - 7.08475 + 38.9114 * (e ** 0.0915 - 1.2035) ** 2


def thetae_sat(t, p):
    return theta(t, p) * np.exp(LV * mixr(t, p) / t)


def t_satad(th, p):
    t, step = 253.16, 120.0
    for _ in range(12):
        d = th * np.exp(-LV * mixr(t, p) / t) - theta(t, p)
        if d * d < 2e-5:
            break
        step /= 2
        t += step if d > 0 else -step
    return t


def lcl(ts, tds, ps):
    w, th, p = mixr(tds, ps), theta(ts, ps), ps
    d = t_mixr(w, p) - t_dry(th, p)
    for _ in range(8):
        if d * d <= 1e-4:
            break
        p *= 2 ** (0.02 * d)
        d = t_mixr(w, p) - t_dry(th, p)
    return p


# --- reading the sounding ---------------------------------------------------
def short_way(d0, d1, f):
    d = d1 - d0
    if d > 180:
        d -= 360
    elif d < -180:
        d += 360
    return (d0 + d * f) % 360


def read(xs, value):
    """The sounding at coordinate value (xs rising); p, h, t, td, dir, spd."""
    i = int(np.searchsorted(xs, value))
    if i == 0:
        i = 1
    f = (value - xs[i - 1]) / (xs[i] - xs[i - 1])
    lin = [v[i - 1] + (v[i] - v[i - 1]) * f for v in (P, H, T, TD, SPD)]
    return {"p": lin[0], "h": lin[1], "t": lin[2], "td": lin[3], "dir": short_way(DIR[i - 1], DIR[i], f),
            "spd": lin[4]}


def at_p(p):
    r = read(-np.log(P), -np.log(p))
    r["p"] = p
    return r


def at_h(h):
    r = read(H, h)
    r["h"] = h
    return r


def energy(tp1, tp2, e1, e2):
    te = (e1["t"] + e2["t"]) / 2
    return (e2["h"] - e1["h"]) * ((tp1 + tp2) / 2 - te) * G / (te + C2K)


# --- the parcel ---------------------------------------------------------
def first_at_or_above(p):
    """Index of the first level at or above p, the search starting at level
    1 (so a bottom exactly at the ground gives 1), or the count."""
    i = 1
    while i < len(P) and P[i] > p:
        i += 1
    return i


def mixed_parcel(p0, depth):
    """Mean potential temperature and mixing ratio from p0 to p0 - depth,
    trapezoids in ln p. The walk starts at p0 and, unless p0 is that level
    itself, first goes to the first level at or above p0, then through the
    levels below the top, then to the top; when both ends lie between the
    same two levels it thus overshoots to the upper one and comes back down
    with a negative logarithm. Divided by the depth summed (the sounding
    here is complete, so that is the whole layer's)."""
    ptop = p0 - depth
    lb, lt = first_at_or_above(p0), first_at_or_above(ptop)
    ps = [p0]
    if lb < len(P) and P[lb] != p0:
        ps.append(P[lb])
    ps += [P[k] for k in range(lb + 1, min(lt, len(P)))]
    if ps[-1] != ptop:
        ps.append(ptop)
    lv = [at_p(p) for p in ps]
    th = [theta(l["t"] + C2K, l["p"]) for l in lv]
    wr = [mixr(l["td"] + C2K, l["p"]) for l in lv]
    lnp = np.log(ps)
    o = sum((th[k] + th[k + 1]) * (lnp[k] - lnp[k + 1]) for k in range(len(ps) - 1)) / (2 * (lnp[0] - lnp[-1]))
    w = sum((wr[k] + wr[k + 1]) * (lnp[k] - lnp[k + 1]) for k in range(len(ps) - 1)) / (2 * (lnp[0] - lnp[-1]))
    return t_dry(o, p0) - C2K, t_mixr(w, p0) - C2K


def ascent(tag, p0, t0, td0):
    plcl = lcl(t0 + C2K, td0 + C2K, p0)
    tlcl = t_dry(theta(t0 + C2K, p0), plcl)
    thd = theta(tlcl, plcl)
    e1 = at_p(p0)
    tp1 = t0
    cap = max(0.0, e1["t"] - t0)
    below = 0.0
    # Dry part: the first level at or above the start, the levels below the
    # LCL, the LCL itself; when start and LCL share an interval the walk
    # goes up to the level above and back down to the LCL.
    lb = int(np.argmax(P <= p0))
    lt = int(np.argmax(P <= plcl))
    pts = []
    if P[lb] != p0:
        pts.append(P[lb])
    pts += [P[k] for k in range(lb + 1, lt)]
    if not pts or pts[-1] != plcl:
        pts.append(plcl)
    for p in pts:
        e2 = at_p(p)
        tp2 = t_dry(thd, p) - C2K
        if p > 500:
            cap = max(cap, e2["t"] - tp2)
        e = energy(tp1, tp2, e1, e2)
        if e < 0:
            below -= e
        e1, tp1 = e2, tp2
    satad = thetae_sat(tlcl, plcl)
    # CAPE is the positive area from the LFC (the first moist step of no
    # negative energy) to the EL, the last crossing back to negative
    # buoyancy; inhibition the negative area below the LFC. Without an LFC
    # both are 0.
    state, seen, pos, neg, cape_el = 0, False, 0.0, 0.0, 0.0
    lfc, el, mpl, bel, bmpl = -1.0, MISS, MISS, MISS, MISS
    ps = [plcl - 10 * k for k in range(1, 1000) if plcl - 10 * k > P[-1]]
    if (ps[-1] if ps else plcl) > P[-1]:
        ps.append(P[-1])
    for p in ps:
        e2 = at_p(p)
        tp2 = t_satad(satad, p) - C2K
        if p > 500:
            cap = max(cap, e2["t"] - tp2)
        e = energy(tp1, tp2, e1, e2)
        m = (e1["p"] + p) / 2
        e1, tp1 = e2, tp2
        if state == 0:
            if e < 0:
                below -= e
                continue
            lfc, state = m, 1
        if e > 0:
            pos += e
            seen = True
        elif e < 0:
            neg -= e
            if seen:
                el, bel, mpl, bmpl, cape_el, state = m, pos - neg, MISS, MISS, pos, 2
            seen = False
        if state == 2 and mpl == MISS and neg >= pos:
            mpl, bmpl = m, pos - neg
    if state == 0:
        bplus = bminus = 0.0
    else:
        bplus, bminus = (cape_el if state == 2 else pos), below
    vals = {"plcl": plcl, "tlcl": tlcl, "satad": satad, "cap": cap, "lfc": lfc, "el": el, "mpl": mpl,
            "bel": bel, "bmpl": bmpl, "bplus": bplus, "bminus": bminus,
            "wmax": np.sqrt(2 * bplus) if bplus > 0 else 0.0}
    for k2, v in vals.items():
        out[tag + "_" + k2] = v
    return bplus


def parcel_temp(p0, t0, td0, p):
    plcl = lcl(t0 + C2K, td0 + C2K, p0)
    if p > plcl:
        return t_dry(theta(t0 + C2K, p0), p) - C2K
    return t_satad(thetae_sat(t_dry(theta(t0 + C2K, p0), plcl), plcl), p) - C2K


cape = ascent("sfc", P[0], T[0], TD[0])
mt, mtd = mixed_parcel(P[0], 100.0)
ascent("ml", P[0], mt, mtd)

def cap_strength(t0, td0):
    """Cap strength of the parcel (t0, td0) at the ground."""
    plcl = lcl(t0 + C2K, td0 + C2K, P[0])
    tlcl = t_dry(theta(t0 + C2K, P[0]), plcl)
    cs = at_p(plcl)["t"] - (tlcl - C2K)
    if plcl >= 500:
        sat = thetae_sat(tlcl, plcl)
        for k in range(int(np.argmax(P <= plcl)), len(P)):
            if P[k] <= 500:
                break
            cs = max(cs, T[k] - (t_satad(sat, P[k]) - C2K))
    return cs


out["capstr"] = cap_strength(T[0], TD[0])
out["capstr_ml"] = cap_strength(mt, mtd)

l500, l700, l850 = at_p(500.0), at_p(700.0), at_p(850.0)
out["li"] = l500["t"] - parcel_temp(P[0], T[0], TD[0], 500.0)
out["li_ml"] = l500["t"] - parcel_temp(P[0], mt, mtd, 500.0)
out["si"] = l500["t"] - parcel_temp(850.0, l850["t"], l850["td"], 500.0)
tt = l850["t"] + l850["td"] - 2 * l500["t"]
out["tt"] = tt
out["vt"] = l850["t"] - l500["t"]
out["ct"] = l850["td"] - l500["t"]
out["k"] = l850["t"] + l850["td"] - l500["t"] - (l700["t"] - l700["td"])
sw = 12 * l850["td"] if l850["td"] > 0 else 0.0
if tt > 49:
    sw += 20 * (tt - 49)
sw += 2 * l850["spd"] + l500["spd"]
d = l500["dir"] - l850["dir"]
if 135 <= l850["dir"] <= 250 and 210 <= l500["dir"] <= 310 and d > 0 and l850["spd"] >= 15 and l500["spd"] >= 15:
    sw += 125 * (np.sin(d * RAD) + 0.2)
out["sweat"] = sw


def en(l):
    return 0.24 * (l["t"] + C2K) + l["h"] * 980 * 100 / 4.2e7 + 0.6 * mixr(l["td"] + C2K, l["p"])


out["ei"] = en(l500) - en(l850)


# --- winds ------------------------------------------------------------------
def vec(d, s):
    return -s * np.sin(d * RAD), -s * np.cos(d * RAD)


def wind(u, v):
    s = np.hypot(u, v)
    return (np.degrees(np.arctan2(-u, -v)) % 360 if s >= 0.01 else 0.0), s


def wrap(d):
    return d + 360 if d < -180 else d - 360 if d > 180 else d


su, sv = vec(storm[0], storm[1] * KT)
U_, V_ = vec(DIR, SPD * KT)


def uv_at_h(h):
    """The wind at height h in m/s, linear in u and v between levels."""
    return float(np.interp(h, H, U_)), float(np.interp(h, H, V_))


def helicity(h0, h1):
    top = h1 + 10
    bu, bv = uv_at_h(h0)
    pu, pv = bu - su, bv - sv
    pd, ps = wind(pu, pv)
    pos = neg = turn = vort = z = 0.0
    n = 0
    k = 1
    while h0 + 100 * k <= top:
        u, v = uv_at_h(h0 + 100 * k)
        u, v = u - su, v - sv
        dd, s = wind(u, v)
        step = pv * u - pu * v
        if step > 0:
            pos += step
        else:
            neg += step
        tt_ = (ps + s) * (wrap(dd - pd) * RAD / 100) / 2
        st = (s - ps) / 100
        turn += tt_
        vort += np.hypot(st, tt_)
        z += 100
        pu, pv, pd, ps = u, v, dd, s
        n += 1
        k += 1
    tu, tv = uv_at_h(h1)
    bd = wind(bu - su, bv - sv)[0]
    td_ = wind(tu - su, tv - sv)[0]
    return {"dir_shr": wrap(td_ - bd), "pos": pos, "neg": neg, "tot": pos + neg, "ave": (pos + neg) / z,
            "rel": turn / vort, "hor": vort / n, "stm": turn / n, "steps": n}


h0 = H[0]
for k2, v in helicity(h0, h0 + 3000).items():
    out["hel_" + k2] = v

# Shear, 500 m steps, ground-relative; veering by the raw direction change.
top = h0 + 3000 + 10
pvec = np.array(uv_at_h(h0))
pdir = wind(*pvec)[0]
P_ = np.zeros(2)
N_ = np.zeros(2)
z = 0.0
k = 1
while h0 + 500 * k <= top:
    cvec = np.array(uv_at_h(h0 + 500 * k))
    cdir = wind(*cvec)[0]
    dd = cdir - pdir
    if 0 < dd < 180 or dd < -180:
        P_ += cvec - pvec
    else:
        N_ += cvec - pvec
    z += 500
    pvec, pdir = cvec, cdir
    k += 1
out["pos_shr"] = np.hypot(*P_) / z
out["neg_shr"] = np.hypot(*N_) / z


def mean_wind(h0, h1):
    """Walk in ln p from the sounding at h0 to that at h1, the levels in
    between; vector-mean direction, scalar-mean speed (knots)."""
    pts = [at_h(h0)] + [{"p": P[k], "dir": DIR[k], "spd": SPD[k]} for k in range(len(H)) if h0 < H[k] < h1] + [at_h(h1)]
    su_ = sv_ = ss = sw_ = 0.0
    for x, y in zip(pts[:-1], pts[1:]):
        w = np.log(x["p"] / y["p"])
        ux, vx = vec(x["dir"], x["spd"])
        uy, vy = vec(y["dir"], y["spd"])
        su_ += (ux + uy) * w
        sv_ += (vx + vy) * w
        ss += (x["spd"] + y["spd"]) * w
        sw_ += w
    return wind(su_ / (2 * sw_), sv_ / (2 * sw_))[0], ss / (2 * sw_)


m1 = mean_wind(h0, h0 + 500)
m2 = mean_wind(h0, h0 + 6000)
d = np.array(vec(m2[0], m2[1] * KT)) - np.array(vec(m1[0], m1[1] * KT))
shr = d[0] ** 2 + d[1] ** 2
out["shear"] = np.sqrt(shr)
out["brn"] = cape / (0.5 * shr)
out["hel2_pos"] = helicity(h0, h0 + 2000)["pos"]
out["ehi"] = out["hel2_pos"] * cape / 160000

for k2, v in out.items():
    print("%s %.6f" % (k2, v))
