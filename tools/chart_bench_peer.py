#!/usr/bin/python3
"""The peer of the surface-chart benchmark (bench/chart_bench.cpp): the
same chart as sfcplot's "stnslp" on the benchmark's settings, drawn with
matplotlib, numpy and scipy.

    /usr/bin/python3 tools/chart_bench_peer.py FOLDER OUTPUT [MAPFILE]

FOLDER is one of tools/make_bench_obs.py's folders (sao.cty and
11101100_sao.wmo); OUTPUT ends in ".ps" (PostScript) or ".png" (raster
image, 1100 x 850 pixels). MAPFILE is the outline file (data/kez.map).

The chart: a Lambert conformal map (standard parallels 33 and 45 N, centre
40 N 95 W, 6120 by 4080 km, on the sphere of radius 6371.22 km) with the
outlines of MAPFILE; sea-level pressure analysed onto a 300 x 200 grid
over the map with Gaussian weights exp(-d^2/filter), filter 1 (d in
100 km), from the stations within 3 grid lengths (scipy's cKDTree finds
them), contoured every 4 hPa with labels; at every station a station
model: temperature (red, upper left), dew point (green, lower left), the
three-digit pressure code (upper right), visibility and weather (left),
the sky-cover circle and the wind barb; titles above and the interval and
extremes below. Whatever can be drawn in one call is: the outlines, the
barbs, the circles of one cover, and the station texts as glyph outlines
in one collection per distinct text (a Text artist per value would cost
ten times as much).
"""

import math
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402
from matplotlib.collections import LineCollection, PathCollection  # noqa: E402
from matplotlib.markers import MarkerStyle  # noqa: E402
from matplotlib.path import Path  # noqa: E402
from matplotlib.textpath import TextPath  # noqa: E402
from matplotlib.transforms import Affine2D  # noqa: E402
from scipy.spatial import cKDTree  # noqa: E402

R = 63.7122  # earth radius, 100 km
LAT0, LON0, PAR1, PAR2 = 40.0, -95.0, 33.0, 45.0
HALF_W, HALF_H = 30.6, 20.4  # map half-extent, 100 km
NX, NY = 300, 200
FILTER, RADIUS = 1.0, 3.0
INTERVAL = 4.0

rad = math.radians
N_CONE = math.log(math.cos(rad(PAR1)) / math.cos(rad(PAR2))) / math.log(
    math.tan(rad(45 + PAR2 / 2)) / math.tan(rad(45 + PAR1 / 2)))
F_CONE = math.cos(rad(PAR1)) * math.tan(rad(45 + PAR1 / 2)) ** N_CONE / N_CONE
RHO0 = R * F_CONE / math.tan(rad(45 + LAT0 / 2)) ** N_CONE


def project(lat, lon):
    lat = np.asarray(lat, dtype=np.float64)
    lon = np.asarray(lon, dtype=np.float64)
    rho = R * F_CONE / np.tan(np.radians(45 + lat / 2)) ** N_CONE
    theta = N_CONE * np.radians(((lon - LON0 + 180) % 360) - 180)
    return rho * np.sin(theta), RHO0 - rho * np.cos(theta)


def read_stations(path):
    pos = {}
    with open(path, encoding="ascii") as f:
        for line in f:
            w = line.split()
            if len(w) >= 7:
                pos.setdefault(w[3], (float(w[5]), float(w[6])))
    return pos


def decode_pmb(code, alt):
    if code >= 1000:
        return code / 10.0
    if code > 500:
        return 900 + code / 10.0 + (100 if alt > 30.7 else 0)
    return 1000 + code / 10.0 - (100 if alt < 28.4 else 0)


COVERS = {"C": 0, "F": 1, "S": 2, "B": 3, "O": 4, "X": 5}


def read_reports(path, pos):
    rows = []
    with open(path, encoding="ascii") as f:
        f.readline()
        f.readline()
        for line in f:
            w = line.split()
            if len(w) < 10 or w[0] not in pos:
                continue
            a = int(w[4])
            alt = (3000 + a) / 100.0 if a < 500 else (2000 + a) / 100.0
            cover = 0
            for layer in w[7].split(","):
                c = COVERS.get(layer[-1:].upper(), 0)
                cover = max(cover, c)
            rows.append((w[0], float(w[1]) / 10, float(w[2]) / 10, int(w[3][:2]) * 10, int(w[3][2:]),
                         decode_pmb(int(w[5]), alt), int(w[5]) % 1000, w[6], cover, w[8]))
    return rows


def read_outlines(path):
    """Big-endian records: a point count, four float bounds and an offset,
    then latitude, longitude pairs; a count of 0 ends the file."""
    raw = open(path, "rb").read()
    lines, at = [], 0
    head = np.dtype(">u2, >f4, >f4, >f4, >f4, >i4")
    while at + head.itemsize <= len(raw):
        n = int(np.frombuffer(raw, dtype=">u2", count=1, offset=at)[0])
        at += head.itemsize
        if n == 0:
            break
        pts = np.frombuffer(raw, dtype=">f4", count=2 * n, offset=at).reshape(n, 2)
        at += 8 * n
        x, y = project(pts[:, 0], pts[:, 1])
        if (np.abs(x) <= HALF_W).any() and (np.abs(y) <= HALF_H).any():
            lines.append(np.column_stack((x, y)))
    return lines


def analyse(x, y, value):
    """Gaussian-weighted mean of the stations within the radius, -9999
    (masked) where none is."""
    gx = np.linspace(-HALF_W, HALF_W, NX)
    gy = np.linspace(HALF_H, -HALF_H, NY)
    dx = gx[1] - gx[0]
    gxx, gyy = np.meshgrid(gx, gy)
    grid = cKDTree(np.column_stack((gxx.ravel(), gyy.ravel())))
    stations = cKDTree(np.column_stack((x, y)))
    pairs = grid.sparse_distance_matrix(stations, RADIUS * dx, output_type="coo_matrix")
    w = np.exp(-(pairs.data ** 2) / FILTER)
    wsum = np.bincount(pairs.row, weights=w * value[pairs.col], minlength=NX * NY)
    wtot = np.bincount(pairs.row, weights=w, minlength=NX * NY)
    field = np.ma.masked_where(wtot == 0, wsum / np.where(wtot == 0, 1, wtot))
    return gxx, gyy, field.reshape(NY, NX)


def wedge(fraction):
    """A sky-cover marker: the circle, filled clockwise from north by the
    fraction."""
    verts, codes = [], []
    circle = Path.unit_circle()
    verts.extend(circle.vertices)
    codes.extend(circle.codes)
    if fraction > 0:
        t = np.linspace(math.pi / 2, math.pi / 2 - 2 * math.pi * fraction, 24)
        pts = [(0, 0)] + [(math.cos(a), math.sin(a)) for a in t] + [(0, 0)]
        verts.extend(pts)
        codes.extend([Path.MOVETO] + [Path.LINETO] * (len(pts) - 2) + [Path.CLOSEPOLY])
    return MarkerStyle(Path(verts, codes))


WX_GLYPHS = {"R": "\u2022", "S": "*", "T": "\u03a8", "F": "\u2261", "B": "=", "L": ","}


def weather_glyph(wx):
    if wx in ("-", ""):
        return None
    w = wx.lstrip("!-+").upper()
    if w[:2].isdigit():
        n = int(w[:2])
        return "\u2261" if 40 <= n <= 49 else "*" if 70 <= n <= 79 else "\u03a8" if n >= 91 else "\u2022"
    if "TS" in w:
        return "\u03a8"
    if "SN" in w:
        return "*"
    if "FG" in w:
        return "\u2261"
    if "BR" in w:
        return "="
    return WX_GLYPHS.get(w[:1], "\u2022")


def main():
    folder, output = sys.argv[1], sys.argv[2]
    mapfile = sys.argv[3] if len(sys.argv) > 3 else folder + "/kez.map"
    pos = read_stations(folder + "/sao.cty")
    rows = read_reports(folder + "/11101100_sao.wmo", pos)
    lat = np.array([pos[r[0]][0] for r in rows])
    lon = np.array([pos[r[0]][1] for r in rows])
    x, y = project(lat, lon)
    inside = (np.abs(x) <= HALF_W) & (np.abs(y) <= HALF_H)
    rows = [r for r, k in zip(rows, inside) if k]
    x, y = x[inside], y[inside]
    pmb = np.array([r[5] for r in rows])

    fig = plt.figure(figsize=(11, 8.5), dpi=100)
    ax = fig.add_axes([0.03, 0.07, 0.94, 0.86])
    ax.set_xlim(-HALF_W, HALF_W)
    ax.set_ylim(-HALF_H, HALF_H)
    ax.set_aspect("equal")
    ax.set_xticks([])
    ax.set_yticks([])
    ax.add_collection(LineCollection(read_outlines(mapfile), colors="red", linewidths=0.5))

    gxx, gyy, field = analyse(x, y, pmb)
    if field.count() > 0:
        lo = math.floor(field.min() / INTERVAL) * INTERVAL
        levels = np.arange(lo, field.max() + INTERVAL, INTERVAL)
        cs = ax.contour(gxx, gyy, field, levels=levels, colors="black", linewidths=0.6)
        ax.clabel(cs, fmt="%.0f", fontsize=6)

    # Station texts are glyph outlines, one collection per distinct text,
    # colour and side: the same few hundred texts recur at every size.
    dx, dy = 0.35, 0.45  # text offsets, 100 km
    groups = {}

    def add(text, colour, side, px, py):
        groups.setdefault((text, colour, side), []).append((px, py))

    for (ident, t, td, d, s, p, code, vis, cover, wx), px, py in zip(rows, x, y):
        add("%.0f" % t, "red", "right", px - dx, py + dy)
        add("%.0f" % td, "green", "right", px - dx, py - dy)
        add("%03d" % code, "black", "left", px + dx, py + dy)
        add(vis, "green", "right", px - dx, py)
        g = weather_glyph(wx)
        if g:
            add(g, "black", "right", px - 2.5 * dx, py)
    points = Affine2D().scale(1.0 / 72.0) + fig.dpi_scale_trans
    for (text, colour, side), at in groups.items():
        path = TextPath((0, 0), text, size=5)
        lo, hi = path.vertices.min(axis=0), path.vertices.max(axis=0)  # control points: close enough
        shift = -hi[0] if side == "right" else -lo[0]
        path = path.transformed(Affine2D().translate(shift, -(lo[1] + hi[1]) / 2))
        ax.add_collection(PathCollection([path], offsets=at, offset_transform=ax.transData, transform=points,
                                         facecolors=colour, edgecolors="none"))

    cover = np.array([r[8] for r in rows])
    for c, frac in enumerate((0, 0.25, 0.5, 0.75, 1, 1)):
        sel = cover == c
        if sel.any():
            ax.scatter(x[sel], y[sel], s=18, marker=wedge(frac), facecolors="none" if frac == 0 else "black",
                       edgecolors="black", linewidths=0.5)
    spd = np.array([r[4] for r in rows], dtype=float)
    d = np.radians([r[3] for r in rows])
    ax.barbs(x, y, -spd * np.sin(d), -spd * np.cos(d), length=4.5, linewidth=0.5)

    fig.text(0.03, 0.95, "Surface v0\nSurface Mean sea level pressure (mb)", fontsize=12, va="bottom")
    fig.text(0.97, 0.95, "Analysis for 00Z 11 OCT 11\nIfm analysis for 00Z 11 OCT 11", fontsize=12,
             ha="right", va="bottom")
    fig.text(0.03, 0.03, "INTERVAL:  %.1f" % INTERVAL, fontsize=12)
    if field.count() > 0:
        fig.text(0.97, 0.03, "LO: %.1f  HI: %.1f" % (field.min(), field.max()), fontsize=12, ha="right")
    if output.endswith(".png"):
        fig.savefig(output, dpi=100)
    else:
        fig.savefig(output, papertype="letter", orientation="landscape")


if __name__ == "__main__":
    main()
