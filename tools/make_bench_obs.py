#!/usr/bin/python3
"""Writes the observations of the surface-chart benchmark (bench/chart_bench.cpp).

For each size N of the command line (default 500 2000 5000) a folder
OUT/nN holds
  sao.cty            the N stations, lines in the station database's layout
  11101100_sao.wmo   one report per station, in the tagged "KEZSFC" layout

Made from the bundled data only: the newest sample hour
(data/sample/11101100_sao.wmo, 2514 stations of data/sao.cty in North
America, ordered by station priority) and the station lines of
data/sao.cty.

- Up to 2514 stations: the first N reports of the sample, with their
  station lines as data/sao.cty has them (WMO numbers 99999, like every
  station of the database).
- Beyond that, further stations fill the same land: station k lies 0.2 to
  0.8 degrees from sample station k mod 2514 in a random direction (fixed
  seed), is named "Bench_<k>" with the identifier "Z" and three letters or
  digits (none of them an identifier of data/sao.cty), priority 6. Its
  temperature, dew point (at most the temperature), sea-level pressure,
  altimeter setting and wind components are the inverse-square-distance
  mean of the four nearest sample stations; visibility, clouds, weather and
  time are those of the nearest.

Usage: /usr/bin/python3 tools/make_bench_obs.py OUT [N ...]
"""

import math
import os
import sys

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "..", "data")
SAMPLE = os.path.join(DATA, "sample", "11101100_sao.wmo")
CTY = os.path.join(DATA, "sao.cty")
SEED = 64
ALPHABET = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"


def read_cty():
    lines = {}
    with open(CTY, encoding="ascii") as f:
        for line in f:
            w = line.split()
            if len(w) >= 10:
                lines.setdefault(w[3], line)
    return lines


def decode_pmb(code, alt):
    """The three-digit code back to mb, by the reader's century rule."""
    if code >= 1000:
        return code / 10.0
    if code > 500:
        p = 900 + code / 10.0
        return p + 100 if alt > 30.7 else p
    p = 1000 + code / 10.0
    return p - 100 if alt < 28.4 else p


def decode_alt(code):
    return (3000 + code) / 100.0 if code < 500 else (2000 + code) / 100.0


def read_sample():
    """The header and the reports: identifier, numbers and the rest as
    they stand."""
    with open(SAMPLE, encoding="ascii") as f:
        head = [f.readline(), f.readline()]
        reports = []
        for line in f:
            w = line.split()
            if len(w) < 10 or w[-1] != "$":
                continue
            alt = decode_alt(int(w[4]))
            reports.append({
                "line": line,
                "id": w[0],
                "t": float(w[1]),
                "td": float(w[2]),
                "dir": int(w[3][:2]) * 10,
                "spd": int(w[3][2:]),
                "alt": alt,
                "pmb": decode_pmb(int(w[5]), alt),
                "rest": w[6:9],
                "time": [x for x in w[9:] if x.startswith("@")][0],
            })
    return head, reports


def code_alt(alt):
    return int(100.0 * alt + 0.01) % 1000


def code_pmb(pmb, alt):
    tenths = int(10.0 * pmb + 0.1)
    c = tenths % 1000
    return c if 950 <= pmb <= 1050 and round(10 * decode_pmb(c, alt)) == tenths else tenths


def extra_reports(reports, positions, count, taken):
    rng = np.random.RandomState(SEED)
    lat = np.array([positions[r["id"]][0] for r in reports])
    lon = np.array([positions[r["id"]][1] for r in reports])
    rad = np.radians
    u = np.array([-r["spd"] * math.sin(rad(r["dir"])) for r in reports])
    v = np.array([-r["spd"] * math.cos(rad(r["dir"])) for r in reports])
    values = {k: np.array([r[k] for r in reports]) for k in ("t", "td", "pmb", "alt")}
    names = (a + b + c for a in ALPHABET for b in ALPHABET for c in ALPHABET)
    stations, lines = [], []
    for k in range(count):
        base = k % len(reports)
        while True:
            dist = rng.uniform(0.2, 0.8)
            ang = rng.uniform(0.0, 2.0 * math.pi)
            la = lat[base] + dist * math.sin(ang)
            lo = lon[base] + dist * math.cos(ang) / math.cos(rad(lat[base]))
            if 20.0 <= la <= 60.0 and -130.0 <= lo <= -60.0:
                break
        d2 = (lat - la) ** 2 + ((lon - lo) * math.cos(rad(la))) ** 2
        near = np.argsort(d2)[:4]
        w = 1.0 / np.maximum(d2[near], 1e-6)
        mean = {n: float(np.sum(w * a[near]) / np.sum(w)) for n, a in values.items()}
        uu, vv = float(np.sum(w * u[near]) / np.sum(w)), float(np.sum(w * v[near]) / np.sum(w))
        spd = int(round(math.hypot(uu, vv)))
        dr = int(round(math.degrees(math.atan2(-uu, -vv)) / 10.0)) % 36 if spd >= 3 else 0
        if spd < 3:
            spd = 0
        elif dr == 0:
            dr = 36
        nearest = reports[int(near[0])]
        ident = next(n for n in names if "Z" + n not in taken)
        ident = "Z" + ident
        taken.add(ident)
        t = mean["t"]
        td = min(mean["td"], t)
        stations.append("%-20s -- US %-9s 6 %10.2f %8.2f  9999 99999 0\n" % ("Bench_%d" % k, ident, la, lo))
        lines.append("%s %3.0f %3.0f %04d %3d %3d %s %s %s %s $\n" % (
            ident, t, td, dr * 100 + spd, code_alt(mean["alt"]), code_pmb(mean["pmb"], mean["alt"]),
            nearest["rest"][0], nearest["rest"][1], nearest["rest"][2], nearest["time"]))
    return stations, lines


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    sizes = [int(a) for a in sys.argv[2:]] or [500, 2000, 5000]
    cty = read_cty()
    head, reports = read_sample()
    reports = [r for r in reports if r["id"] in cty]
    positions = {r["id"]: (float(cty[r["id"]].split()[5]), float(cty[r["id"]].split()[6])) for r in reports}
    more = max(0, max(sizes) - len(reports))
    extra_cty, extra_obs = extra_reports(reports, positions, more, set(cty))
    for n in sizes:
        folder = os.path.join(out, "n%d" % n)
        os.makedirs(folder, exist_ok=True)
        used = reports[:n]
        ids = {r["id"] for r in used}
        with open(os.path.join(folder, "sao.cty"), "w", encoding="ascii") as f:
            f.writelines(line for ident, line in cty.items() if ident in ids)
            f.writelines(extra_cty[:max(0, n - len(used))])
        with open(os.path.join(folder, "11101100_sao.wmo"), "w", encoding="ascii") as f:
            f.writelines(head)
            f.writelines(r["line"] for r in used)
            f.writelines(extra_obs[:max(0, n - len(used))])
        print("make_bench_obs: %s, %d stations" % (folder, n))


if __name__ == "__main__":
    main()
