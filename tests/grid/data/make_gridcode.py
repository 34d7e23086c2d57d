#!/usr/bin/python3
"""Writes WMO GRID-code bulletins of real values: the 500 mb fields of
python-grib-doc's gfs.grb (72-hour forecast from 0Z 8 October 2011) on GRID
grid 1 (5-degree points from 20N to 90N, 90W to 0), as ecCodes'
grib_get_data gives them.

  make_gridcode.py GFS_GRB OUT_DIR

gfs500.grid holds five grids, each its own bulletin beginning "GRID":
temperature (parameter 4, tenths of a degree C above -50 C), heights whose
digit group says 7 digits a value (a width no reader can take), the wind as
a pair of parameter-22 grids (direction and speed, dddff), and relative
humidity (parameter 13). gfs500_cut.grid is the same without the "GRID"
groups after the heights, so that nothing marks where the next grid
begins."""
import math
import subprocess
import sys

gfs, out_dir = sys.argv[1], sys.argv[2]
LATS = [20 + 5 * j for j in range(15)]  # rows from the south, as grids 1 to 4 run
LONS = [-90 + 5 * i for i in range(19)]


def field(short_name):
    text = subprocess.run(["grib_get_data", "-w", f"shortName={short_name},level=500,typeOfLevel=isobaricInhPa",
                           gfs], check=True, capture_output=True, text=True).stdout
    vals = {}
    for line in text.splitlines()[1:]:
        lat, lon, v = line.split()
        vals[(float(lat), float(lon) % 360.0)] = float(v)
    return [[vals[(float(lat), float(lon) % 360.0)] for lon in LONS] for lat in LATS]


def head(param, width, scale_groups, marker=True):
    lines = ("GRID " if marker else "") + "01001 00000 00000\n"
    lines += f"1{param:02d}00 25000 61110 70800 80072 00000 99999\n"
    lines += f"2{width}000 {scale_groups}\n".replace(" \n", "\n")
    return lines


def rows(values, fmt):
    text = ""
    for r, row in enumerate(values):
        text += f"000{r + 1:02d} {r + 1:02d} " + "".join(fmt(v) for v in row) + "\n"
    return text


t, gh, r, u, v = (field(n) for n in ("t", "gh", "r", "u", "v"))

temperature = head(4, 4, "31000 500") + rows(t, lambda k: f"{round((k - 273.15 + 50) * 10):04d}")
heights = head(2, 7, "") + rows(gh, lambda h: f"{round(h):07d}")


def wind(a, b):
    speed = math.hypot(a, b)
    direction = round(math.degrees(math.atan2(-a, -b))) % 360
    return f"{direction * 100 + min(round(speed), 99):05d}"


winds = [[wind(a, b) for a, b in zip(ur, vr)] for ur, vr in zip(u, v)]


def wind_grids(marker):
    return "".join(head(22, 5, "", marker) + rows(winds, lambda s: s) for _ in range(2))


humidity = head(13, 3, "") + rows(r, lambda x: f"{round(x):03d}")

with open(f"{out_dir}/gfs500.grid", "w") as f:
    f.write(temperature + heights + wind_grids(True) + humidity + "NNNN\n")
with open(f"{out_dir}/gfs500_cut.grid", "w") as f:
    f.write(temperature + heights + wind_grids(False) + humidity.replace("GRID ", "") + "NNNN\n")
