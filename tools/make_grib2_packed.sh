#!/bin/sh
# Makes the edition 2 packed test messages of tests/grib/data from ecCodes'
# samples: a 12 x 9 latitude/longitude field set with simple packing, then
# repacked. Usage: tools/make_grib2_packed.sh OUTDIR
set -e
out=${1:-tests/grib/data}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
S=$(grib_info -t 2>/dev/null || echo /usr/share/eccodes/samples)
[ -f "$S/regular_ll_sfc_grib2.tmpl" ] || S=/usr/share/eccodes/samples

# Values: a smooth field with a few sharp features, 108 points.
vals=$(/usr/bin/python3 -c '
import math
v=[]
for j in range(9):
    for i in range(12):
        v.append(round(250 + 30*math.sin(i/3.0) + 12*math.cos(j/2.0) + (7.5 if (i*j)%5==0 else 0), 2))
print(",".join(str(x) for x in v))')
miss=$(/usr/bin/python3 -c '
import math
v=[]
for j in range(9):
    for i in range(12):
        x = round(250 + 30*math.sin(i/3.0) + 12*math.cos(j/2.0), 2)
        v.append(9999 if (i+2*j)%7==0 or (j==4 and i>5) else x)
print(",".join(str(x) for x in v))')

base() { # $1 name, $2 values, $3 extra rules
  cat > "$tmp/r" <<RULES
set Ni = 12; set Nj = 9;
set latitudeOfFirstGridPointInDegrees = 60;
set longitudeOfFirstGridPointInDegrees = 0;
set latitudeOfLastGridPointInDegrees = 44;
set longitudeOfLastGridPointInDegrees = 22;
set iDirectionIncrementInDegrees = 2; set jDirectionIncrementInDegrees = 2;
$3
set bitsPerValue = 16;
set decimalScaleFactor = 2;
set values = { $2 };
write "$tmp/$1";
RULES
  grib_filter "$tmp/r" "$S/regular_ll_sfc_grib2.tmpl"
}

base plain "$vals" ""
base holes "$vals" ""
cat > "$tmp/m" <<RULES
set bitmapPresent = 1; set missingValue = 9999;
set values = { $miss };
write "$tmp/holes";
RULES
grib_filter "$tmp/m" "$tmp/plain"
cat > "$tmp/s2n" <<RULES
set jScansPositively = 1;
set latitudeOfFirstGridPointInDegrees = 44; set latitudeOfLastGridPointInDegrees = 60;
set values = { $vals };
write "$tmp/s2n";
RULES
grib_filter "$tmp/s2n" "$tmp/plain"
cat > "$tmp/alt" <<RULES
set alternativeRowScanning = 1;
set values = { $vals };
write "$tmp/alt";
RULES
grib_filter "$tmp/alt" "$tmp/plain"
cat > "$tmp/c" <<RULES
set values = { $(echo "$vals" | sed 's/[^,]*/273.15/g') };
write "$tmp/const";
RULES
grib_filter "$tmp/c" "$tmp/plain"

for src in plain holes s2n alt; do
  cp "$tmp/$src" "$out/e2p_simple_$src.grb"
  grib_set -r -s packingType=grid_complex "$tmp/$src" "$out/e2p_complex_$src.grb"
  grib_set -r -s packingType=grid_complex_spatial_differencing "$tmp/$src" "$out/e2p_spdiff_$src.grb"
  grib_set -r -s packingType=grid_jpeg "$tmp/$src" "$out/e2p_jpeg_$src.grb"
done
grib_set -r -s packingType=grid_jpeg "$tmp/const" "$out/e2p_jpeg_const.grb"
cp "$tmp/const" "$out/e2p_simple_const.grb"
grib_set -r -s packingType=grid_ieee "$tmp/plain" "$out/e2p_ieee.grb"
grib_set -r -s packingType=grid_png "$tmp/plain" "$out/e2p_png.grb" 2>/dev/null || true
grib_set -r -s packingType=grid_ccsds "$tmp/plain" "$out/e2p_ccsds.grb" 2>/dev/null || true
