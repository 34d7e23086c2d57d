#!/usr/bin/python3
"""Writes data/wx.smb, the stroke drawings of the weather symbols.

Each symbol is keyed by a short weather code of the surface tools and drawn
after the present-weather symbols of WMO code table 4677 (public shapes:
dots for rain, commas for drizzle, asterisks for snow, a downward triangle
for showers, the bracket and lightning stroke for thunder, three bars for
fog), within the unit square. A code draws the first symbol whose name
begins it, so names are written longest first: no name can then shadow a
longer one that it begins.

Usage: tools/make_wx_smb.py [OUTPUT]   (default data/wx.smb)
"""
import math
import os
import sys

MAX_POINTS = 20


def dot(cx, cy, r=0.07):
    pts = [(cx + r * math.cos(a * math.pi / 4), cy + r * math.sin(a * math.pi / 4)) for a in range(9)]
    return [(pts, True)]


def comma(cx, cy, r=0.07):
    tail = [(cx + r, cy), (cx + 0.9 * r, cy - 0.08), (cx + 0.3 * r, cy - 0.15), (cx - 0.5 * r, cy - 0.2)]
    return dot(cx, cy, r) + [(tail, False)]


def star(cx, cy, r=0.09):
    groups = []
    for a in (90, 30, 150):
        dx, dy = r * math.cos(math.radians(a)), r * math.sin(math.radians(a))
        groups.append(([(cx - dx, cy - dy), (cx + dx, cy + dy)], False))
    return groups


def tri_up(cx, cy, h=0.16, filled=False):
    w = h * 0.6
    pts = [(cx - w, cy - h / 2), (cx + w, cy - h / 2), (cx, cy + h / 2), (cx - w, cy - h / 2)]
    return [(pts, filled)]


def line(*pts):
    return [(list(pts), False)]


def arrangement(mark, n, y=0.5):
    """Two side by side, three in a triangle, four in a diamond."""
    spots = {1: [(0.5, y)],
             2: [(0.32, y), (0.68, y)],
             3: [(0.32, y - 0.12), (0.68, y - 0.12), (0.5, y + 0.16)],
             4: [(0.5, y - 0.28), (0.28, y), (0.72, y), (0.5, y + 0.28)]}[n]
    out = []
    for x, yy in spots:
        out += mark(x, yy)
    return out


def wave(y=0.5, amp=0.22):
    """The freezing sign: one full sine period across the square."""
    pts = [(0.05 + 0.9 * i / 16, y + amp * math.sin(2 * math.pi * i / 16)) for i in range(17)]
    return line(*pts)


def freezing(mark, n):
    spots = {1: [(0.5, 0.5)], 2: [(0.3, 0.55), (0.7, 0.45)], 3: [(0.3, 0.55), (0.5, 0.5), (0.7, 0.45)]}[n]
    out = wave()
    for x, y in spots:
        out += mark(x, y, 0.05) if mark is not star else star(x, y, 0.06)
    return out


def shower(top, bars=0):
    """A downward triangle with a mark above it and bars across it."""
    out = line((0.3, 0.5), (0.7, 0.5), (0.5, 0.05), (0.3, 0.5))
    for k in range(bars):
        y = 0.36 - 0.12 * k
        half = 0.2 * (y - 0.05) / 0.45
        out += line((0.5 - half - 0.08, y), (0.5 + half + 0.08, y))
    return out + top


def thunder(top=()):
    """The bracket with the lightning stroke; room above it for a mark."""
    out = line((0.25, 0.05), (0.25, 0.65), (0.75, 0.65), (0.58, 0.35), (0.74, 0.35), (0.6, 0.05))
    out += line((0.6, 0.05), (0.6, 0.14))
    out += line((0.6, 0.05), (0.68, 0.1))
    return out + list(top)


def fog():
    return line((0.1, 0.3), (0.9, 0.3)) + line((0.1, 0.5), (0.9, 0.5)) + line((0.1, 0.7), (0.9, 0.7))


def haze():
    pts = []
    for i in range(19):
        t = 2 * math.pi * i / 18
        d = 1 + math.sin(t) ** 2
        pts.append((0.5 + 0.42 * math.cos(t) / d, 0.5 + 0.42 * math.sin(t) * math.cos(t) / d))
    return line(*pts)


def smoke():
    return line((0.3, 0.1), (0.3, 0.65)) + line((0.3, 0.65), (0.42, 0.8), (0.54, 0.68), (0.66, 0.84), (0.78, 0.72),
                                                (0.9, 0.88))


def dust(cx=0.5, cy=0.5, s=1.0):
    pts = []
    for i in range(13):
        t = math.pi * i / 12
        # an S: the upper bowl opens right, the lower left
        if i <= 6:
            a = math.pi / 2 + 2 * t
            pts.append((cx + s * 0.18 * math.cos(a), cy + s * (0.18 + 0.18 * math.sin(a))))
        else:
            a = math.pi / 2 - 2 * (t - math.pi / 2)
            pts.append((cx + s * 0.18 * math.cos(a), cy + s * (-0.18 + 0.18 * math.sin(a))))
    return line(*pts) + line((cx - s * 0.35, cy), (cx + s * 0.35, cy))


def arrow():
    return line((0.1, 0.35), (0.9, 0.35)) + line((0.75, 0.45), (0.9, 0.35), (0.75, 0.25))


def ice_needles():
    return line((0.1, 0.5), (0.9, 0.5)) + line((0.22, 0.6), (0.1, 0.5), (0.22, 0.4)) + \
        line((0.78, 0.6), (0.9, 0.5), (0.78, 0.4))


def pellets():
    return tri_up(0.5, 0.5, 0.6) + dot(0.5, 0.42, 0.05)


def grains():
    return tri_up(0.5, 0.5, 0.6) + line((0.25, 0.5), (0.75, 0.5))


def cyclone(filled):
    """The tropical cyclone: a ring (a disc for a hurricane) with two arms
    curling counter-clockwise from opposite sides, as northern-hemisphere
    charts draw them."""
    r = 0.16
    ring = [(0.5 + r * math.cos(a * math.pi / 8), 0.5 + r * math.sin(a * math.pi / 8)) for a in range(17)]
    out = [(ring, filled)]
    if filled:
        out.append((ring, False))
    for turn in (0, math.pi):
        arm = []
        for i in range(9):
            t = i / 8
            ang = turn + t * 0.6 * math.pi
            rad = r + t * 0.28
            arm.append((0.5 + rad * math.cos(ang), 0.5 + rad * math.sin(ang)))
        out.append((arm, False))
    return out


RAIN_ABOVE = dot(0.5, 0.82)
SNOW_ABOVE = star(0.5, 0.82)
HAIL_ABOVE = tri_up(0.5, 0.83, 0.18, True)
PELLET_ABOVE = tri_up(0.5, 0.83, 0.18)

SYMBOLS = {
    # rain, drizzle, snow: slight, moderate, heavy
    "R-": arrangement(dot, 2), "R": arrangement(dot, 3), "R+": arrangement(dot, 4),
    "L-": arrangement(comma, 2), "L": arrangement(comma, 3), "L+": arrangement(comma, 4),
    "S-": arrangement(star, 2), "S": arrangement(star, 3), "S+": arrangement(star, 4),
    # freezing rain and drizzle, and freezing alone
    "ZR-": freezing(dot, 1), "ZR": freezing(dot, 2), "ZR+": freezing(dot, 3),
    "ZL-": freezing(comma, 1), "ZL": freezing(comma, 2), "ZL+": freezing(comma, 3),
    "Z": wave(),
    # mixed precipitation
    "L-R": comma(0.5, 0.72) + dot(0.5, 0.3), "LR": comma(0.5, 0.72) + dot(0.35, 0.3) + dot(0.65, 0.3),
    "R-L": dot(0.5, 0.7) + comma(0.5, 0.32), "RL": dot(0.35, 0.7) + dot(0.65, 0.7) + comma(0.5, 0.32),
    "R-S": dot(0.5, 0.7) + star(0.5, 0.3), "RS": dot(0.5, 0.78) + star(0.5, 0.5) + dot(0.5, 0.22),
    # showers
    "RW-": shower(RAIN_ABOVE), "RW": shower(RAIN_ABOVE, 1), "RW+": shower(RAIN_ABOVE, 2),
    "SW-": shower(SNOW_ABOVE), "SW": shower(SNOW_ABOVE, 1), "SW+": shower(SNOW_ABOVE, 2),
    "RW-SW-": shower(star(0.5, 0.88, 0.07) + dot(0.5, 0.66, 0.06)),
    "RWSW": shower(star(0.5, 0.88, 0.07) + dot(0.5, 0.66, 0.06), 1),
    "IPW": shower(PELLET_ABOVE), "A": shower(HAIL_ABOVE), "W": shower([]),
    # ice
    "IP-": pellets(), "IP": pellets(), "IP+": pellets() + line((0.2, 0.12), (0.8, 0.12)),
    "IC": ice_needles(), "SG": grains(),
    # obscurations and blowing
    "F": fog(), "H": haze(), "K": smoke(), "D": dust(),
    "BS": arrow() + star(0.5, 0.72, 0.12), "B": arrow(),
    # thunder and thunderstorms
    "T": thunder(), "T-": thunder(), "T+": thunder(),
    "TR-": thunder(RAIN_ABOVE), "TR": thunder(RAIN_ABOVE), "TR+": thunder(dot(0.38, 0.82) + dot(0.62, 0.82)),
    "TRW-": thunder(RAIN_ABOVE), "TRW": thunder(RAIN_ABOVE),
    "TRW+": thunder(dot(0.38, 0.82) + dot(0.62, 0.82)),
    "TRWD": thunder(dust(0.5, 0.83, 0.45)),
    "TRW-A": thunder(HAIL_ABOVE), "TRW+A": thunder(HAIL_ABOVE),
    "TS-": thunder(SNOW_ABOVE), "TS": thunder(SNOW_ABOVE), "TS+": thunder(star(0.38, 0.82) + star(0.62, 0.82)),
    "TIP": thunder(PELLET_ABOVE),
    # tropical cyclones: hurricane and tropical storm
    "@+": cyclone(True), "@": cyclone(False),
}


def fmt(v):
    return ("%.3f" % v).rstrip("0").rstrip(".") if v != 0 else "0"


def write(path):
    names = sorted(SYMBOLS, key=lambda n: (-len(n), n))
    assert len(names) <= 100
    with open(path, "w") as out:
        out.write("")
        for name in names:
            assert len(name) <= 14
            out.write(name + "\n")
            for pts, filled in SYMBOLS[name]:
                assert 2 <= len(pts) <= MAX_POINTS, name
                for x, y in pts:
                    assert -0.01 <= x <= 1.01 and -0.01 <= y <= 1.01, (name, x, y)
                out.write(" ".join(fmt(x) + "," + fmt(y) for x, y in pts))
                out.write(" F\n" if filled else " L\n")
            out.write("$\n")


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    write(sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "data", "wx.smb"))
