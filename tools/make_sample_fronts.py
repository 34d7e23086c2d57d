#!/usr/bin/python3
"""Writes coded front bulletins for the sample observations:
data/sample/11101018_frt.dat, 11101021_frt.dat and 11101100_frt.dat.

Front bulletins come every 3 hours ("frt_dat" of data/name_conv,
%y%m%d%3h_frt.dat), so the sample's hours 19 to 00 UTC look up the
bulletins of 18, 21 and 00 UTC. Each is made from the sample's own
observations (data/sample/*_sao.wmo, stations placed by data/sao.cty), not
taken from any published product:

- analysis: sea-level pressure, potential temperature (the temperature
  brought to 1000 hPa from the standard-atmosphere pressure of the station's
  elevation, so that mountains make no fronts) and the wind components of
  the reports are analysed onto a 1-degree latitude-longitude grid over
  20-60 N, 130-60 W by a Barnes analysis (Gaussian weights, length scale
  300 km, two passes, the second with a third of the scale against the
  residuals); grid points farther than 250 km from every report are left
  out;
- highs and lows: grid points whose analysed pressure is the highest (or
  lowest) within 500 km, with reports over three quarters of that
  neighbourhood, and at least 2 hPa above (below) its mean; the pressure is
  rounded to whole hPa; of centres closer than 500 km the strongest stays;
- fronts: lines where the thermal front parameter, the change of the
  gradient's size along the gradient, is zero where the gradient is
  largest (the parameter rises toward the warm air), the gradient is at
  least 1.2 K per 100 km and the isobars curve cyclonically (a trough: the
  Laplacian of the pressure, smoothed by two passes of a 1-2-1 filter, is
  positive); a front is at least 800 km long. Each front is cut into
  pieces by the wind across it: cold air
  advancing (the wind blowing toward the warm side at 2 m/s or more) makes a
  cold front, warm air advancing a warm front, anything between a
  stationary front; pieces shorter than three points join their neighbours.
  Position groups are whole degrees, one about every 150 km along the
  front.

These are a demonstration made by rule, not a forecaster's analysis.

The 18 UTC bulletin has no hour of its own in the sample (which starts at
19 UTC): its station values are those of 19 UTC extrapolated back an hour
along the change from 19 to 20 UTC.

The layout is that of the coded surface frontal positions: a header, a
"VALID mmddhhZ" line, then "HIGHS" and "LOWS" records of pressures and
five-digit position groups (two digits of latitude north, three of
longitude west), "COLD", "WARM" and "STNRY" records of a strength word and
position groups, lines of at most 72 characters continued by lines of
groups.

Usage: /usr/bin/python3 tools/make_sample_fronts.py [sample-directory]
"""

import math
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
CTY = os.path.normpath(os.path.join(HERE, "..", "data", "sao.cty"))
SAMPLE = os.path.normpath(os.path.join(HERE, "..", "data", "sample"))

# (bulletin hour, sample hours and their weights): 18 UTC extrapolated.
BULLETINS = [
    ("11101018", [("11101019", 2.0), ("11101020", -1.0)]),
    ("11101021", [("11101021", 1.0)]),
    ("11101100", [("11101100", 1.0)]),
]
MONTHS = ["JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"]
DAYS = ["MON", "TUE", "WED", "THU", "FRI", "SAT", "SUN"]
LAT0, LAT1, LON0, LON1, STEP = 20.0, 60.0, -130.0, -60.0, 1.0
EARTH_KM = 6371.22
SCALE_KM = 300.0
REACH_KM = 250.0
CENTRE_KM = 500.0
CENTRE_HPA = 2.0
GRADIENT = 1.2 / 100.0  # K per km
FRONT_KM = 800.0
POINT_KM = 150.0
ACROSS = 2.0  # m/s
KNOT = 0.5144
LINE_MAX = 72


def check_packages():
    try:
        import numpy  # noqa: F401
        import contourpy  # noqa: F401
    except ImportError:
        sys.exit("make_sample_fronts: needs python3-numpy and python3-contourpy "
                 "(sudo apt-get install python3-numpy python3-contourpy)")


def read_stations():
    pos = {}
    with open(CTY, encoding="ascii") as f:
        for line in f:
            w = line.split()
            if len(w) >= 8:
                pos.setdefault(w[3], (float(w[5]), float(w[6]), float(w[7])))
    return pos


def alt_of(code):
    if code < 0:
        return None
    if code >= 1000:
        return code / 100.0
    return 20 + code / 100.0 if code > 500 else 30 + code / 100.0


def pmb_of(code, alt, t):
    """The sea-level pressure of a tagged pressure code, as the suite's
    reader decodes it."""
    if code < 0:
        return None
    if code >= 1000:
        return code / 10.0
    if code > 500:
        p = 900 + code / 10.0
        if (alt > 30.7) if alt is not None else (t is not None and t < -10):
            p += 100
        return p
    p = 1000 + code / 10.0
    if alt is not None and alt < 28.4:
        p -= 100
    return p


def read_sample(hour, stations):
    """{identifier: (lat, lon, pressure hPa, potential temperature K, u, v
    m/s)}; the station pressure of the potential temperature is that of the
    standard atmosphere at the station's elevation."""
    out = {}
    with open(os.path.join(SAMPLE, hour + "_sao.wmo"), encoding="ascii") as f:
        lines = f.read().split("\n")
    if not lines or lines[0] != "KEZSFC":
        sys.exit("make_sample_fronts: %s is no tagged surface file" % hour)
    for line in lines[2:]:
        w = line.split()
        if len(w) < 6 or w[0] not in stations:
            continue
        t = None if w[1] == "-99" else int(w[1]) / 10.0
        wind = int(w[3])
        spd, dirn = (wind % 1000, wind // 1000) if wind > 4999 else (wind % 100, (wind // 100) * 10)
        alt = alt_of(int(w[4]))
        p = pmb_of(int(w[5]), alt, t)
        if t is None or p is None:
            continue
        a = math.radians(dirn)
        u, v = -spd * KNOT * math.sin(a), -spd * KNOT * math.cos(a)
        lat, lon, z = stations[w[0]]
        p_stn = 1013.25 * (1.0 - 2.25577e-5 * z) ** 5.25588
        theta = (273.15 + (t - 32) * 5 / 9) * (1000.0 / p_stn) ** 0.2857
        out[w[0]] = (lat, lon, p, theta, u, v)
    return out


def combined(parts, stations):
    """Station values of a bulletin hour: a weighted sum of sample hours."""
    hours = [(read_sample(h, stations), wt) for h, wt in parts]
    common = set.intersection(*(set(d) for d, _ in hours))
    out = {}
    for sid in sorted(common):
        lat, lon = hours[0][0][sid][:2]
        vals = [sum(d[sid][k] * wt for d, wt in hours) for k in range(2, 6)]
        out[sid] = (lat, lon, *vals)
    return out


def distances(glat, glon, slat, slon):
    """Great-circle distances (km) between every grid point and station."""
    import numpy
    a1, a2 = numpy.radians(glat)[:, None], numpy.radians(slat)[None, :]
    dl = numpy.radians(glon)[:, None] - numpy.radians(slon)[None, :]
    h = numpy.sin((a2 - a1) / 2) ** 2 + numpy.cos(a1) * numpy.cos(a2) * numpy.sin(dl / 2) ** 2
    return 2 * EARTH_KM * numpy.arcsin(numpy.sqrt(numpy.minimum(h, 1.0)))


def barnes(dist_gs, dist_ss, values):
    import numpy
    w = numpy.exp(-(dist_gs / SCALE_KM) ** 2)
    first = (w @ values) / w.sum(axis=1)
    ws = numpy.exp(-(dist_ss / SCALE_KM) ** 2)
    at_stations = (ws @ values) / ws.sum(axis=1)
    w2 = numpy.exp(-(dist_gs / (SCALE_KM / 3 ** 0.5)) ** 2)
    return first + (w2 @ (values - at_stations)) / numpy.maximum(w2.sum(axis=1), 1e-12)


def analyse(obs):
    """Pressure, temperature and wind on the grid; NaN away from reports."""
    import numpy
    lats = numpy.arange(LAT0, LAT1 + STEP / 2, STEP)
    lons = numpy.arange(LON0, LON1 + STEP / 2, STEP)
    glat, glon = [a.ravel() for a in numpy.meshgrid(lats, lons, indexing="ij")]
    rows = list(obs.values())
    slat = numpy.array([r[0] for r in rows])
    slon = numpy.array([r[1] for r in rows])
    d_gs = distances(glat, glon, slat, slon)
    d_ss = distances(slat, slon, slat, slon)
    far = d_gs.min(axis=1) > REACH_KM
    fields = []
    for k in range(2, 6):
        f = barnes(d_gs, d_ss, numpy.array([r[k] for r in rows]))
        f[far] = numpy.nan
        fields.append(f.reshape(len(lats), len(lons)))
    return lats, lons, fields


def km_per_degree(lat):
    return math.pi * EARTH_KM / 180.0, math.pi * EARTH_KM / 180.0 * math.cos(math.radians(lat))


def centres(lats, lons, p):
    """(kind, pressure, lat, lon) of the highs and lows."""
    import numpy
    found = []
    for j in range(len(lats)):
        ky, kx = km_per_degree(lats[j])
        rj = int(math.ceil(CENTRE_KM / ky / STEP))
        ri = int(math.ceil(CENTRE_KM / kx / STEP))
        for i in range(len(lons)):
            v = p[j, i]
            if not numpy.isfinite(v):
                continue
            j0, j1, i0, i1 = j - rj, j + rj + 1, i - ri, i + ri + 1
            if j0 < 0 or i0 < 0 or j1 > len(lats) or i1 > len(lons):
                continue  # a centre needs its whole neighbourhood
            box = p[j0:j1, i0:i1]
            if numpy.isfinite(box).mean() < 0.75:
                continue  # and reports over most of it
            mean = numpy.nanmean(box)
            if v == numpy.nanmax(box) and v - mean >= CENTRE_HPA:
                found.append(("H", v, lats[j], lons[i], v - mean))
            elif v == numpy.nanmin(box) and mean - v >= CENTRE_HPA:
                found.append(("L", v, lats[j], lons[i], mean - v))
    found.sort(key=lambda c: -c[4])
    kept = []
    for c in found:
        near = [k for k in kept if distances([c[2]], [c[3]], [k[2]], [k[3]])[0, 0] < CENTRE_KM]
        if not near:
            kept.append(c)
    return [(c[0], int(round(c[1])), c[2], c[3]) for c in kept]


def gradients(lats, lons, f):
    """d/dx and d/dy (per km) of a field on the grid."""
    import numpy
    dy = numpy.gradient(f, axis=0) / (math.pi * EARTH_KM / 180.0 * STEP)
    coslat = numpy.cos(numpy.radians(lats))[:, None]
    dx = numpy.gradient(f, axis=1) / (math.pi * EARTH_KM / 180.0 * STEP * coslat)
    return dx, dy


def sample_at(f, lats, lons, lat, lon):
    """Bilinear value of a grid field at a point; NaN outside."""
    y = (lat - LAT0) / STEP
    x = (lon - LON0) / STEP
    j, i = int(math.floor(y)), int(math.floor(x))
    if j < 0 or i < 0 or j + 1 >= len(lats) or i + 1 >= len(lons):
        return float("nan")
    fy, fx = y - j, x - i
    return ((1 - fx) * (1 - fy) * f[j, i] + fx * (1 - fy) * f[j, i + 1] + (1 - fx) * fy * f[j + 1, i] +
            fx * fy * f[j + 1, i + 1])


def path_km(pts):
    return sum(distances([a[0]], [a[1]], [b[0]], [b[1]])[0, 0] for a, b in zip(pts, pts[1:]))


def resample(pts):
    """Points about POINT_KM apart along a line of (lat, lon)."""
    out = [pts[0]]
    run = 0.0
    for a, b in zip(pts, pts[1:]):
        run += distances([a[0]], [a[1]], [b[0]], [b[1]])[0, 0]
        if run >= POINT_KM:
            out.append(b)
            run = 0.0
    if out[-1] != pts[-1]:
        out.append(pts[-1])
    return out


def smoothed(f, passes):
    """A field after passes of a 1-2-1 filter in each direction, its edges
    and gaps kept."""
    import numpy
    out = f.copy()
    for _ in range(passes):
        for axis in (0, 1):
            a = numpy.roll(out, 1, axis)
            b = numpy.roll(out, -1, axis)
            mixed = 0.25 * a + 0.5 * out + 0.25 * b
            keep = ~numpy.isfinite(mixed)
            if axis == 0:
                keep[0, :] = keep[-1, :] = True
            else:
                keep[:, 0] = keep[:, -1] = True
            out = numpy.where(keep, out, mixed)
    return out


def fronts(lats, lons, p, t, u, v):
    """(kind, [(lat, lon), ...]) of the fronts."""
    import numpy
    import contourpy
    px, py = gradients(lats, lons, smoothed(p, 2))
    pxx, _ = gradients(lats, lons, px)
    _, pyy = gradients(lats, lons, py)
    trough = pxx + pyy  # positive where the isobars curve cyclonically
    gx, gy = gradients(lats, lons, t)
    g = numpy.hypot(gx, gy)
    nx, ny = gx / numpy.maximum(g, 1e-12), gy / numpy.maximum(g, 1e-12)
    ggx, ggy = gradients(lats, lons, g)
    tfp = -(ggx * nx + ggy * ny)
    tx, ty = gradients(lats, lons, tfp)
    rising = tx * nx + ty * ny  # the parameter rises toward the warm air on the gradient's maximum
    across = u * nx + v * ny  # wind toward the warm side
    lon2d, lat2d = numpy.meshgrid(lons, lats)
    gen = contourpy.contour_generator(lon2d, lat2d, numpy.ma.masked_invalid(tfp),
                                      line_type=contourpy.LineType.Separate)
    result = []
    for line in gen.lines(0.0):
        run = []
        for lon, lat in line:
            ok = (sample_at(g, lats, lons, lat, lon) >= GRADIENT and sample_at(rising, lats, lons, lat, lon) > 0 and
                  sample_at(trough, lats, lons, lat, lon) > 0)
            if ok:
                run.append((lat, lon))
                continue
            if len(run) > 1:
                result.append(run)
            run = []
        if len(run) > 1:
            result.append(run)
    out = []
    for run in result:
        if path_km(run) < FRONT_KM:
            continue
        pts = resample(run)
        kinds = []
        for lat, lon in pts:
            a = sample_at(across, lats, lons, lat, lon)
            kinds.append("COLD" if a >= ACROSS else "WARM" if a <= -ACROSS else "STNRY")
        # pieces of fewer than three points take the kind of the piece before
        pieces = []
        for k, p in zip(kinds, pts):
            if pieces and pieces[-1][0] == k:
                pieces[-1][1].append(p)
            else:
                pieces.append([k, [p]])
        merged = []
        for k, ps in pieces:
            if merged and len(ps) < 3:
                merged[-1][1].extend(ps)
            else:
                merged.append([k, ps])
        if len(merged) > 1 and len(merged[0][1]) < 3:
            merged[1][1][:0] = merged[0][1]
            merged.pop(0)
        for i, (k, ps) in enumerate(merged):
            # neighbouring pieces share their end point, so the front stays whole
            if i + 1 < len(merged):
                ps = ps + [merged[i + 1][1][0]]
            out.append((k, ps))
    return out


def group(lat, lon):
    return "%02d%03d" % (int(round(lat)), int(round(-lon)))


def record(words):
    """Lines of at most LINE_MAX characters; continuation lines begin with
    a position group."""
    lines = []
    line = ""
    for w in words:
        if line and len(line) + 1 + len(w) > LINE_MAX and w[0].isdigit():
            lines.append(line)
            line = w
        else:
            line = w if not line else line + " " + w
    lines.append(line)
    return lines


def bulletin(hour, cen, frs):
    year, month, day, hh = 2000 + int(hour[0:2]), int(hour[2:4]), int(hour[4:6]), int(hour[6:8])
    weekday = DAYS[__import__("datetime").date(year, month, day).weekday()]
    out = ["CODED SURFACE FRONTAL POSITIONS",
           "ANALYSED FROM THE KEZ SAMPLE OBSERVATIONS BY TOOLS/MAKE_SAMPLE_FRONTS.PY",
           "%02d00Z %s %s %02d %d" % (hh, weekday, MONTHS[month - 1], day, year), "",
           "VALID %02d%02d%02dZ" % (month, day, hh)]
    for kind, word in (("H", "HIGHS"), ("L", "LOWS")):
        words = [word]
        for k, p, lat, lon in cen:
            if k == kind:
                words += ["%d" % p, group(lat, lon)]
        if len(words) > 1:
            out += record(words)
    for kind, pts in frs:
        words = [kind] if kind == "TROF" else [kind, "WK"]
        last = None
        for lat, lon in pts:
            g = group(lat, lon)
            if g != last:
                words.append(g)
            last = g
        if len(words) > 3:
            out += record(words)
    return "\n".join(out) + "\n"


def main():
    check_packages()
    global SAMPLE
    if len(sys.argv) > 1:
        SAMPLE = sys.argv[1]
    stations = read_stations()
    for hour, parts in BULLETINS:
        obs = combined(parts, stations)
        lats, lons, (p, t, u, v) = analyse(obs)
        cen = centres(lats, lons, p)
        frs = fronts(lats, lons, p, t, u, v)
        name = os.path.join(SAMPLE, hour + "_frt.dat")
        with open(name, "w", encoding="ascii") as f:
            f.write(bulletin(hour, cen, frs))
        print("make_sample_fronts: %s, %d centres, %d fronts from %d reports" % (name, len(cen), len(frs), len(obs)))


if __name__ == "__main__":
    main()
