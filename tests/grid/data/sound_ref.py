#!/usr/bin/python3
"""Reference for the sounding from gfs.grb: the fields a sounding is made
of, interpolated bilinearly to one point from the values ecCodes'
grib_get_data prints.

  sound_ref.py FILE LAT LON
prints "sfc SP T2 RH2 U10 V10" and, per isobaric level, "lev P GH T R U V"."""
import subprocess
import sys

path, lat, lon = sys.argv[1], float(sys.argv[2]), float(sys.argv[3]) % 360.0
step = 2.5
lat0 = step * int(lat // step)
lon0 = step * int(lon // step)
corners = {(lat0, lon0), (lat0, lon0 + step), (lat0 + step, lon0), (lat0 + step, lon0 + step)}
wx, wy = (lon - lon0) / step, (lat - lat0) / step

out = subprocess.run(
    ["grib_get_data", "-w", "shortName=gh/t/r/u/v/sp/2t/2r/10u/10v,typeOfLevel=isobaricInhPa/surface/heightAboveGround",
     "-p", "shortName,typeOfLevel,level", path], check=True, capture_output=True, text=True).stdout
vals = {}
for line in out.splitlines():
    w = line.split()
    if len(w) != 6 or w[0] == "Latitude":
        continue
    key = (float(w[0]), float(w[1]) % 360.0)
    if key in corners:
        vals.setdefault((w[3], w[4], int(w[5])), {})[key] = float(w[2])


def at(name, kind, level):
    v = vals.get((name, kind, level))
    if not v or len(v) < 4:
        return None
    a, b = v[(lat0, lon0)], v[(lat0, lon0 + step)]
    c, d = v[(lat0 + step, lon0)], v[(lat0 + step, lon0 + step)]
    return (a * (1 - wx) + b * wx) * (1 - wy) + (c * (1 - wx) + d * wx) * wy


print("sfc", *[at(n, k, l) for n, k, l in (("sp", "surface", 0), ("2t", "heightAboveGround", 2),
                                            ("2r", "heightAboveGround", 2), ("10u", "heightAboveGround", 10),
                                            ("10v", "heightAboveGround", 10))])
levels = sorted({l for (n, k, l) in vals if k == "isobaricInhPa"}, reverse=True)
for p in levels:
    row = [at(n, "isobaricInhPa", p) for n in ("gh", "t", "r", "u", "v")]
    if all(x is not None for x in row):
        print("lev", p, *row)
