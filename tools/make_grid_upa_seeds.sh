#!/bin/sh
# Makes the committed fuzz seeds of the grid-file and upper-air targets from
# real files: cdo's netCDF (classic, 64-bit offset, CDF5, netCDF-4) of
# python-grib-doc's gfs.grb cut to a few points, the older model-output
# layout made from them, and the bundled fixtures of the tests.
#   tools/make_grid_upa_seeds.sh [TARGET...]
# Without arguments every target's seeds are made again. Needs cdo, nccopy
# and Debian's python3-netcdf4 (tools/install-deps.sh).
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
examples=/usr/share/doc/python-grib-doc/examples
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
corpus=$top/fuzz/corpus

# cdo quietly, without a history attribute that would change at every run.
cdo_nc() { cdo -s --no_history "$@" 2>/dev/null; }

grd_cdf_seeds() {
  out=$corpus/grd_cdf_fuzz
  mkdir -p "$out"
  gfs=$examples/gfs.grb
  # The suite's own layout, as its writer made it (kept from the grid
  # file target's seeds).
  cp "$corpus/grd_read_fuzz/netcdf_suite.nc" "$out/suite.nc"
  # Present-day output on pressure levels: 7 by 5 points, two levels.
  cdo_nc -f nc copy -sellonlatbox,-10,5,40,50 -sellevel,50000,85000 -selname,t,u,gh "$gfs" "$tmp/levels.nc"
  cp "$tmp/levels.nc" "$out/cf_levels.nc"
  # Every field of the file on 2 by 2 points: levels of every kind, layers
  # with bounds, heights, depths, cdo's named levels ("tropopause", ...).
  cdo_nc -f nc copy -sellonlatbox,0,2.5,0,2.5 "$gfs" "$out/cf_all_fields.nc"
  # One field on 2 by 2 points, the seed of the other containers.
  cdo_nc -f nc copy -sellonlatbox,0,2.5,0,2.5 -selname,t -sellevel,50000 "$gfs" "$tmp/one.nc"
  cp "$tmp/one.nc" "$out/cf_one.nc"
  nccopy -k 2 "$tmp/one.nc" "$out/cf_64bit_offset.nc"
  nccopy -k 5 "$tmp/one.nc" "$out/cf_cdf5.nc"
  # Packed into shorts (scale_factor, add_offset), and with 16-bit values.
  cdo_nc -f nc pack "$tmp/one.nc" "$out/cf_packed.nc"
  # Across the date line, latitudes from the south.
  cdo_nc -f nc copy -invertlat -sellonlatbox,175,-175,-5,5 -selname,u -sellevel,25000 "$gfs" "$out/cf_dateline.nc"
  # Three times six hours apart; and in a calendar that is not read.
  cdo_nc -f nc shifttime,6hour "$tmp/one.nc" "$tmp/one6.nc"
  cdo_nc -f nc shifttime,12hour "$tmp/one.nc" "$tmp/one12.nc"
  cdo_nc -f nc mergetime "$tmp/one.nc" "$tmp/one6.nc" "$tmp/one12.nc" "$tmp/times.nc"
  cp "$tmp/times.nc" "$out/cf_times.nc"
  cdo_nc -f nc setcalendar,360_day "$tmp/one.nc" "$out/cf_360_day.nc"
  # Written by hand in CDL: netCDF-4 types (64-bit levels, unsigned packed
  # values, a string attribute, a group that is not read) and, classic,
  # coordinates that descend in double, bytes with a missing value.
  cat >"$tmp/types.cdl" <<'EOF'
netcdf types {
dimensions:
	time = UNLIMITED ; plev = 2 ; latitude = 3 ; longitude = 4 ;
variables:
	double time(time) ;
		time:standard_name = "time" ; time:units = "hours since 2011-10-08 00:00:00" ;
		time:calendar = "proleptic_gregorian" ;
	int64 plev(plev) ;
		plev:standard_name = "air_pressure" ; plev:units = "hPa" ;
	double latitude(latitude) ;
		latitude:units = "degrees_north" ;
	float longitude(longitude) ;
		longitude:units = "degrees_east" ;
	ushort ta(time, plev, latitude, longitude) ;
		ta:standard_name = "air_temperature" ; string ta:units = "K" ;
		ta:scale_factor = 0.01 ; ta:add_offset = 200. ; ta:_FillValue = 65535US ;
	ubyte rh(time, latitude, longitude) ;
		rh:long_name = "Relative humidity" ; rh:units = "%" ; rh:missing_value = 255UB ;
	:Conventions = "CF-1.6" ;
data:
	time = 0, 12 ;
	plev = 850, 500 ;
	latitude = 40, 45, 50 ;
	longitude = -10, -5, 0, 5 ;
	ta = 7315, 7320, 7325, 65535, 7330, 7335, 7340, 7345, 7350, 7355, 7360, 7365,
	  5215, 5220, 5225, 5230, 5235, 5240, 5245, 5250, 5255, 5260, 5265, 5270,
	  7415, 7420, 7425, 7430, 7435, 7440, 7445, 7450, 7455, 7460, 7465, 7470,
	  5315, 5320, 5325, 5330, 5335, 5340, 5345, 5350, 5355, 5360, 5365, 65535 ;
	rh = 10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 255, 0,
	  15, 25, 35, 45, 55, 65, 75, 85, 95, 100, 0, 255 ;
group: extra {
  variables:
	float ta(latitude, longitude) ;
		ta:units = "K" ;
  }
}
EOF
  ncgen -k nc4 -o "$out/cdl_netcdf4_types.nc" "$tmp/types.cdl"
  cat >"$tmp/descending.cdl" <<'EOF'
netcdf descending {
dimensions:
	lat = 3 ; lon = 2 ; height = 1 ;
variables:
	double lat(lat) ;
		lat:standard_name = "latitude" ; lat:units = "degrees_north" ;
	double lon(lon) ;
		lon:standard_name = "longitude" ; lon:units = "degrees_east" ;
	float height(height) ;
		height:standard_name = "height" ; height:units = "m" ; height:positive = "up" ;
	byte tas(height, lat, lon) ;
		tas:standard_name = "air_temperature" ; tas:units = "degC" ;
		tas:missing_value = -128b ; tas:valid_range = -100b, 60b ;
	:title = "Two metre temperature" ;
data:
	lat = 60, 55, 50 ;
	lon = 355, 360 ;
	height = 2 ;
	tas = 1, -2, _, 4, 120, 6 ;
}
EOF
  ncgen -k nc3 -o "$out/cdl_descending.nc" "$tmp/descending.cdl"
  # Unsigned bytes and shorts, a list of missing values, grid mappings
  # (the plain one, a rotated one, one the file does not describe), older
  # names in other units, and times since 1900.
  cat >"$tmp/unsigned.cdl" <<'EOF'
netcdf unsigned {
dimensions:
	time = 1 ; lat = 2 ; lon = 3 ;
variables:
	double time(time) ;
		time:units = "hours since 1900-01-01 00:00:00.0" ;
	float lat(lat) ;
		lat:units = "degrees_north" ;
	float lon(lon) ;
		lon:units = "degrees_east" ;
	int crs ;
		crs:grid_mapping_name = "latitude_longitude" ;
	int rp ;
		rp:grid_mapping_name = "rotated_latitude_longitude" ;
	byte ub(time, lat, lon) ;
		ub:long_name = "Brightness" ; ub:units = "K" ; ub:_Unsigned = "true" ;
		ub:scale_factor = 0.5f ; ub:add_offset = 200.f ; ub:_FillValue = -1b ; ub:grid_mapping = "crs: lat lon" ;
	short us(time, lat, lon) ;
		us:long_name = "Counts" ; us:units = "1" ; us:_Unsigned = "true" ; us:missing_value = -2s, -3s ;
	float rot(time, lat, lon) ;
		rot:standard_name = "air_temperature" ; rot:units = "K" ; rot:grid_mapping = "rp" ;
	float P(time, lat, lon) ;
		P:long_name = "Precipitation" ; P:units = "mm" ; P:grid_mapping = "nowhere" ;
	float Z(time, lat, lon) ;
		Z:long_name = "Height" ; Z:units = "dam" ;
	:Conventions = "CF-1.8" ;
data:
	time = 1000000 ;
	lat = 10, 20 ;
	lon = 0, 5, 10 ;
	ub = 0, 127, -128, -56, -1, 2 ;
	us = 0, 1, 32767, -32768, -2, -3 ;
	rot = 1, 2, 3, 4, 5, 6 ;
	P = 1, 2, 3, 4, 5, 6 ;
	Z = 1, 2, 3, 4, 5, 6 ;
}
EOF
  ncgen -k nc3 -o "$out/cdl_unsigned_mapped.nc" "$tmp/unsigned.cdl"
  /usr/bin/python3 - "$tmp/one.nc" "$tmp/times.nc" "$tmp/levels.nc" "$out" <<'EOF'
"""From cdo's files: a forecast_reference_time of its own, a variable of
the name that GRIDVAR gives, and two older model-output layouts."""
import sys

import netCDF4

one, times, levels, out = sys.argv[1:5]

# netCDF-4 (HDF5) of the one field: contiguous, and compressed in the
# classic model; only the attributes that are read, to keep them small.
src = netCDF4.Dataset(one)
for fmt, name, zlib in (("NETCDF4", "cf_netcdf4.nc", False), ("NETCDF4_CLASSIC", "cf_netcdf4_zip.nc", True)):
    dst = netCDF4.Dataset(out + "/" + name, "w", format=fmt)
    dst.Conventions = "CF-1.6"
    for n, d in src.dimensions.items():
        dst.createDimension(n, len(d))
    for n, var in src.variables.items():
        v = dst.createVariable(n, var.dtype, var.dimensions, zlib=zlib and n == "t", contiguous=not (zlib and n == "t"))
        v.setncatts({k: var.getncattr(k) for k in var.ncattrs() if k in ("units", "standard_name", "calendar")})
        v[:] = var[:]
    dst.close()

# The reference time as a variable of the time axis, and "gridvar".
src = netCDF4.Dataset(times)
dst = netCDF4.Dataset(out + "/cf_reftime_gridvar.nc", "w", format="NETCDF3_CLASSIC")
dst.Conventions = "CF-1.6"
for name, dim in src.dimensions.items():
    dst.createDimension(name, None if dim.isunlimited() else len(dim))
for name, var in src.variables.items():
    v = dst.createVariable(name, var.dtype, var.dimensions)
    v.setncatts({k: var.getncattr(k) for k in var.ncattrs()})
    v[:] = var[:]
ref = dst.createVariable("reftime", "f8", ("time",))
ref.standard_name = "forecast_reference_time"
ref.units = src["time"].units
ref[:] = [0.0, 0.0, 6.0]
g = dst.createVariable("gridvar", "f4", ("time", "lat", "lon"))
g.long_name = "Temperature at 500 hPa"
g.units = "K"
g[:] = src["t"][:, 0]
dst.close()

# The older layout: fields by name over rtime, frtime, level, lat, lon; the
# date in "year" ... "hour"; a centre and a model.
src = netCDF4.Dataset(levels)
lat, lon, plev = src["lat"][:], src["lon"][:], src["plev"][:]
dst = netCDF4.Dataset(out + "/older_levels.nc", "w", format="NETCDF3_CLASSIC")
dst.title = "NMC Early 72 hours"
dst.createDimension("rtime", None)
dst.createDimension("frtime", 1)
dst.createDimension("level", len(plev))
dst.createDimension("lat", len(lat))
dst.createDimension("lon", len(lon))
for name in ("year", "month", "day", "hour"):
    dst.createVariable(name, "i4", ("rtime",))
dst["year"][0], dst["month"][0], dst["day"][0], dst["hour"][0] = 2011, 10, 8, 0
for name, dims, values in (("lat", ("lat",), lat), ("lon", ("lon",), lon), ("level", ("level",), plev / 100.0),
                           ("frtime", ("frtime",), [72.0])):
    dst.createVariable(name, "f4", dims)[:] = values
for name in ("grib_center", "grib_model"):
    dst.createVariable(name, "i4", ("rtime", "frtime"))
dst["grib_center"][0, 0], dst["grib_model"][0, 0] = 7, 81
for name, cdo_name, units in (("T", "t", "degK"), ("U", "u", "m/s"), ("Z", "gh", "gp m")):
    v = dst.createVariable(name, "f4", ("rtime", "frtime", "level", "lat", "lon"))
    v.units = units
    v[0, 0] = src[cdo_name][0]
dst.close()

# Fields over time only and without any, the date in "reftime", a title
# that names the tropopause: pressure and temperature at the tropopause,
# precipitation, a sea temperature.
dst = netCDF4.Dataset(out + "/older_surface.nc", "w", format="NETCDF3_CLASSIC")
dst.title = "NMC Global Trop"
dst.createDimension("rtime", None)
dst.createDimension("frtime", 2)
dst.createDimension("lat", len(lat))
dst.createDimension("lon", len(lon))
dst.createDimension("timelen", 16)
r = dst.createVariable("reftime", "S1", ("rtime", "timelen"))
r[0] = netCDF4.stringtochar(netCDF4.numpy.array(["2011-10-08 00:00"], "S16"))[0]
dst.createVariable("frtime", "f4", ("frtime",))[:] = [0.0, 12.0]
dst.createVariable("lat", "f4", ("lat",))[:] = lat
dst.createVariable("lon", "f4", ("lon",))[:] = lon
t = src["t"][0, 0]
for name, units, values in (("Ptrop", "Pa", 20000.0 + t), ("Ttrop", "degK", t), ("precip", "mm", t - 240.0)):
    v = dst.createVariable(name, "f4", ("rtime", "frtime", "lat", "lon"))
    v.units = units
    v[0, 0], v[0, 1] = values, values
v = dst.createVariable("SST", "f4", ("lat", "lon"))
v.units = "degC"
v[:] = t - 273.15
dst.close()
EOF
}

# The suite's text formats in each of their record versions and projection
# words, format 4 (text and binary), values from a second file (binary from
# /dev/zero, text from the first three numbers of /proc/loadavg), and a file
# appended to another, magic line and all.
grd_read_seeds() {
  out=$corpus/grd_read_fuzz
  mkdir -p "$out"
  printf 'KEZGRID\n1200Z  8 OCT 11\n0-older record\n:K\nPS 60 105 3.81 3.81 2 2\n1\n2\n3\n4\n' >"$out/version0.grd"
  printf 'KEZGRID\n1200Z\n1-west longitudes\n60 105 3.81 2 2\n1.5\n-2.5\n3e2\n-9999\n' >"$out/version1_old_ps.grd"
  printf 'KEZGRID\n00Z\n2-a\n7 2 81 211 100 500 72 7:gpm\nLC:25:-95:25:25:1 35 -95 40 40 3 1\n5400 5460 5520\n' \
    >"$out/version2_lc.grd"
  printf 'KEZGRID\nd\n2-a\n1 2 1 0 1 0 0 11:K\nME 0 0 1 1 1 1\n280\nKEZGRID\nd2\n2-b\n1 2 1 0 1 0 6 11\nLL:30 0 10 1 1 2 1\nnan inf\n' \
    >"$out/appended.grd"
  printf 'KEZGRID\nd\n4-zeros\n1 4 1 0 1 0 0 11\nLL 40 -100 1 1 2 2\nB /dev/zero 16 0 0\n' >"$out/second_binary.grd"
  printf 'KEZGRID\nd\n4-load\n1 4 1 0 1 0 0 11\nLL 40 -100 1 1 3 1\nA /proc/loadavg 0 1 1\n' >"$out/second_text.grd"
  printf 'KEZGRID4\n1200Z\n7-info\nlatlon,50,10,0.5,0.5,2,2\n1 2\n3 4\n' >"$out/format4_text.grd"
  printf 'KEZGRID4B\n1200Z\ninfo\n1 3 1 0 100 850 0 11:K\nlatlon,50,10,0.5,0.5,2,1\nC\223\000\000C\224\000\000\n' \
    >"$out/format4_binary.grd"
  printf ' 1200Z\n2-raw\n1 2 1 0 1 0 0 11\nPS:-105 60 -105 3.81 3.81 1 2\n1\n2\n' >"$out/raw_blank.grd"
}

# The prompt layer: six texts ended by NUL bytes (level menu file, model
# and time, level answers, station answers, "plot_param", "in_file"), then
# an upper-air file of the tests' fixtures.
ua_tool_seeds() {
  out=$corpus/ua_tool_fuzz
  data=$top/tests/upa/data
  mkdir -p "$out"
  menu='sfc Surface_level 1\nhid Hidden 0\neta Eta_only mo=eta\ngfs Gfs_f12 mo=gfs&ft=12\nalt Either mo=xx,ft=12\n850mb 850_mb 1\n'
  seed() { # name, the six texts, the file
    printf "$2\0$3\0$4\0$5\0$6\0$7\0" >"$out/$1"
    cat "$8" >>"$out/$1"
  }
  seed menu_open "$menu" 'gfs\n12' '?\n99\n50x0\n3\n' 'abc\n72357\nGHI' 'par:layer:50,nopage' 'upa' "$data/open.txt"
  seed resources_fixed '' 'eta\n' '=700mb' '=' 'par:700:5:-2' 'upa_cvt,upa' "$data/fixed.txt"
  seed batch_old_short "$menu" '' '!' 'abc\nxyz' 'par:maxt' '' "$data/old_short.txt"
  seed lower_open_loc 'sl Sea_level 1\n' 'ngm\n24' 'sl\n' 'dnr\n72469' 'par:sfc,page' 'upa' "$data/open_loc.txt"
  seed old_long '' '' 'trop\n' 'ABC' 'par::10,par:,par' '' "$data/old_long.txt"
  ncgen -o "$tmp/station.nc" "$data/station.cdl"
  seed netcdf_station "$menu" 'gfs\n12' '1\n' '' 'par:layer:300' '' "$tmp/station.nc"
}

# The reading seeds again, each with a layout to write its reports into (the
# first byte's bits above the third): every layout for the text files, the
# text, netCDF and binary ones for the netCDF files.
ua_read_seeds() {
  out=$corpus/ua_read_fuzz
  for f in "$out"/text_* "$out"/cdf_*; do
    name=$(basename "$f")
    case "$name" in
      text_*) layouts="1 2 3 4 5 6 7 8 9" ;;
      *) layouts="4 6 8" ;;
    esac
    read_as=$(od -An -tu1 -N1 "$f" | tr -d ' ')
    for w in $layouts; do
      first=$((read_as % 8 + 8 * w))
      { printf "\\$(printf %o "$first")"; tail -c +2 "$f"; } >"$out/write${w}_$name"
    done
  done
}

# Requests searched for in grid files of the other targets' seeds: the
# first byte 2 asks for a search, the second picks the tile.
grd_tool_seeds() {
  out=$corpus/grd_tool_fuzz
  mkdir -p "$out"
  search() { # name, tile byte, requests, grid file
    { printf "\002\\$2$3\0"; cat "$4"; } >"$out/$1"
  }
  search search_cf_levels 000 '+72:500mb:temp\n-7250tt:K\n#1:F\n+72:500mb:hh:m:211' "$corpus/grd_cdf_fuzz/cf_levels.nc"
  search search_text 001 '+12:500mb:st\n+12:sfc:pr' "$corpus/grd_read_fuzz/text.grd"
  search search_gridcode 002 '+0:500mb:st\n-0050hh' "$corpus/grd_read_grid_fuzz/constant_row"
  search search_older 003 '+12:500mb:st:C\n+12:500mb:temp' "$corpus/grd_cdf_fuzz/older_levels.nc"
}

case "${1:-all}" in
  all) grd_cdf_seeds; grd_read_seeds; ua_tool_seeds; ua_read_seeds; grd_tool_seeds ;;
  *) for t in "$@"; do "${t%_fuzz}_seeds"; done ;;
esac
