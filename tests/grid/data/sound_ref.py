#!/usr/bin/python3
"""Reference for soundings from gfs.grb: the fields a sounding is made of,
interpolated bilinearly to points from the values ecCodes' grib_get_data
prints (the 2.5-degree grid goes round the globe: 357.5E is followed by 0E).

  sound_ref.py FILE LAT LON [LAT LON ...]
prints, per point, "point LAT LON" (as given), "sfc SP T2 RH2 U10 V10" and, per
isobaric level, "lev P GH T R U V"."""
import subprocess
import sys

STEP = 2.5

path = sys.argv[1]
points = [(sys.argv[i], sys.argv[i + 1]) for i in range(2, len(sys.argv) - 1, 2)]

out = subprocess.run(
    ["grib_get_data", "-w", "shortName=gh/t/r/u/v/sp/2t/2r/10u/10v,typeOfLevel=isobaricInhPa/surface/heightAboveGround",
     "-p", "shortName,typeOfLevel,level", path], check=True, capture_output=True, text=True).stdout
vals = {}
for line in out.splitlines():
    w = line.split()
    if len(w) != 6 or w[0] == "Latitude":
        continue
    vals.setdefault((w[3], w[4], int(w[5])), {})[(float(w[0]), float(w[1]) % 360.0)] = float(w[2])

for lat_text, lon_text in points:
    lat, lon = float(lat_text), float(lon_text) % 360.0
    lat0 = STEP * int(lat // STEP)
    lon0 = STEP * int(lon // STEP)
    lon1 = (lon0 + STEP) % 360.0
    wx, wy = (lon - lon0) / STEP, (lat - lat0) / STEP

    def at(name, kind, level):
        v = vals.get((name, kind, level))
        try:
            a, b = v[(lat0, lon0)], v[(lat0, lon1)]
            c, d = v[(lat0 + STEP, lon0)], v[(lat0 + STEP, lon1)]
        except (KeyError, TypeError):
            return None
        return (a * (1 - wx) + b * wx) * (1 - wy) + (c * (1 - wx) + d * wx) * wy

    print("point", lat_text, lon_text)
    print("sfc", *[at(n, k, l) for n, k, l in (("sp", "surface", 0), ("2t", "heightAboveGround", 2),
                                                ("2r", "heightAboveGround", 2), ("10u", "heightAboveGround", 10),
                                                ("10v", "heightAboveGround", 10))])
    levels = sorted({l for (n, k, l) in vals if k == "isobaricInhPa"}, reverse=True)
    for p in levels:
        row = [at(n, "isobaricInhPa", p) for n in ("gh", "t", "r", "u", "v")]
        if all(x is not None for x in row):
            print("lev", p, *row)
