#!/usr/bin/python3
"""Writes the temperatures, winds and heights of a netCDF file that cdo made
from gfs.grb into the older model-output layout (fields named "T", "U",
"Z" over rtime, frtime, level, lat, lon; the date in "year", "month",
"day", "hour"; no "grib_center"), with the values as they stand.

  older_layout.py CDO_NC OUT_NC"""
import sys

import netCDF4

src = netCDF4.Dataset(sys.argv[1])
out = netCDF4.Dataset(sys.argv[2], "w", format="NETCDF3_CLASSIC")
plev = src["plev"][:]
out.createDimension("rtime", None)
out.createDimension("frtime", 1)
out.createDimension("level", len(plev))
out.createDimension("lat", len(src["lat"]))
out.createDimension("lon", len(src["lon"]))
out.title = "GFS 72 hour forecast"
for name in ("year", "month", "day", "hour"):
    out.createVariable(name, "i4", ("rtime",))
out["year"][0], out["month"][0], out["day"][0], out["hour"][0] = 2011, 10, 8, 0
for name, dims, values in (("lat", ("lat",), src["lat"][:]), ("lon", ("lon",), src["lon"][:]),
                           ("level", ("level",), plev / 100.0), ("frtime", ("frtime",), [72.0])):
    out.createVariable(name, "f4", dims)[:] = values
for name, cdo_name, units in (("T", "t", "degK"), ("U", "u", "m/s"), ("Z", "gh", "gp m")):
    v = out.createVariable(name, "f4", ("rtime", "frtime", "level", "lat", "lon"))
    v.units = units
    v[0, 0] = src[cdo_name][0]
out.close()
