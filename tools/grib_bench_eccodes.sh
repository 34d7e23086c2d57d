#!/bin/sh
# Times ecCodes' command-line tools unpacking the same messages as
# bench/grib_bench (the 1440 x 721 16-bit fields it writes, and the real
# python-grib-doc files), for comparison with the benchmark's points per
# second. The cost of unpacking is taken as the time of "grib_get -p max"
# (which decodes every value) less that of "grib_get -p shortName" (which
# does not), over a file holding R copies of each file, so that the start
# of the program weighs little.
#
#   KEZ_GRIB_BENCH_DIR=/tmp/gb build/bench/grib_bench    # writes the fields
#   tools/grib_bench_eccodes.sh /tmp/gb [repetitions]
set -e
dir=${1:?folder with field16.grb and field16_bitmap.grb}
reps=${2:-20}
ex=/usr/share/doc/python-grib-doc/examples

now() { date +%s.%N; }

for f in "$dir/field16.grb" "$dir/field16_bitmap.grb" "$ex/rotated_ll.grib1" \
         "$ex/cl00010000_ecoclimap_rot.grib1" "$dir/field2_simple.grb" \
         "$dir/field2_simple.grb.complex" "$dir/field2_simple.grb.spdiff" \
         "$dir/field2_order2.grb" "$ex/gfs.t12z.pgrbf120.2p5deg.grib2" "$ex/ds.maxt.bin" \
         "$ex/ds.waveh.bin" "$ex/safrica.grib2"; do
  [ -f "$f" ] || continue
  points=$(grib_get -p numberOfDataPoints "$f" | awk '{s += $1} END {print s}')
  copies=$(mktemp)
  i=0; while [ $i -lt "$reps" ]; do cat "$f" >>"$copies"; i=$((i + 1)); done
  t0=$(now)
  grib_get -p max "$copies" >/dev/null
  t1=$(now)
  grib_get -p shortName "$copies" >/dev/null
  t2=$(now)
  rm -f "$copies"
  echo "$f $points $t0 $t1 $t2 $reps" | awk '{
    unpack = ($4 - $3) - ($5 - $4);
    if (unpack <= 0) unpack = 1e-9;
    printf "%-60s %10d points  %8.2f ms/file  %8.1f M points/s\n", $1, $2,
           1000 * unpack / $6, $2 * $6 / unpack / 1e6 }'
done
