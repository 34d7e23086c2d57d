#!/bin/sh
# Makes the GRIB fuzz target's seeds of the cases the decoder once got
# wrong, from python-grib-doc's examples with ecCodes' tools:
#   a message cut short followed by another, constants of reference 287.25
#   and D = 2 (editions 1 and 2), complex packing of no groups (gfs.grb's
#   field 230), a bit map "defined before" where none is, and complex
#   packing with a bit map and missing-value management.
# Usage: tools/make_grib_fuzz_seeds.sh [OUTDIR]   (fuzz/corpus/grib_fuzz)
set -e
out=${1:-fuzz/corpus/grib_fuzz}
ex=/usr/share/doc/python-grib-doc/examples
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# The first message of the grib1 file is 1100 octets; ECMWF pads the file.
head -c 1100 "$ex/regular_latlon_surface.grib1" > "$tmp/g1"
size=$(wc -c < "$ex/regular_latlon_surface.grib2")
head -c $((size - 20)) "$ex/regular_latlon_surface.grib2" > "$tmp/cut"
cat "$tmp/cut" "$tmp/g1" > "$out/cut_then_next.grb"

grib_set -d 287.25 -s decimalScaleFactor=2 "$tmp/g1" "$out/const_d2_e1.grb"
grib_set -d 287.25 -s decimalScaleFactor=2 "$ex/regular_latlon_surface.grib2" "$out/const_d2_e2.grb"
grib_copy -w count=231 "$ex/gfs.grb" "$out/groups0.grb"

# Section 6 of regular_latlon_surface.grib2 is its only 6-octet one, with
# indicator 255 (no bit map): 254 in its place.
/usr/bin/python3 - "$ex/regular_latlon_surface.grib2" "$out/reuse254.grb" <<'PY'
import sys
m = bytearray(open(sys.argv[1], 'rb').read())
p = 16
while m[p:p + 4] != b'7777':
    n = int.from_bytes(m[p:p + 4], 'big')
    if m[p + 4] == 6:
        m[p + 5] = 254
    p += n
open(sys.argv[2], 'wb').write(m)
PY

grib_set -r -s missingValueManagementUsed=1 tests/grib/data/e2p_complex_holes.grb "$out/complex_bitmap_mvm.grb"
