#!/bin/sh
# Makes the seeds of the GRIB fuzz target (fuzz/corpus/grib_fuzz), all
# small, from files no one here wrote:
#   x_*  every grid, product and packing template of python-grib-doc's
#        examples, one message each, cut small by tools/grib_small.py (the
#        complex packings packed again there with the original's
#        differencing order, descriptor width and missing-value management,
#        which ecCodes does not write);
#   s_*  every grid and packing of ecCodes' samples (the small ones whole);
#   p_*  a small real field packed in every way ecCodes' grib_set writes;
#   v_*  product templates, time ranges, units, levels and scanning modes
#        set with grib_set on small real fields;
#   the cases the decoder once got wrong (a message cut short followed by
#   another, constants of reference 287.25 and D = 2 in both editions,
#   complex packing of no groups, a bit map "defined before" where none
#   is, complex packing with a bit map and missing-value management);
#   and copies of test messages of tests/grib/data (framings, edition 0,
#   predefined grids, ensembles, time ranges, centres' own parameter
#   tables, product templates) made by tools/make_grib_fixtures.py, and
#   grids, winds and fluxes made by tools/make_grib_geometry_fixtures.py.
# The header-text target's seeds (fuzz/corpus/grib_hdr_fuzz, beside OUTDIR):
# a header file naming each message of a small GRIB file by its offset in
# each form of line (lettered numbers, numbers after a slash, numbers
# joined by colons), a NUL, then the GRIB file.
# Inputs the fuzzer found faults with stay in the folder as they are.
# Usage, from the top of the tree:
#   tools/make_grib_fuzz_seeds.sh [OUTDIR]   (fuzz/corpus/grib_fuzz)
set -e
out=${1:-fuzz/corpus/grib_fuzz}
ex=/usr/share/doc/python-grib-doc/examples
sm=/usr/share/eccodes/samples
small="/usr/bin/python3 tools/grib_small.py"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$out"

# pick FILE COUNT: message COUNT of an example into $tmp/m.
pick() { grib_copy -w count="$2" "$ex/$1" "$tmp/m"; }
# cutx FILE COUNT NAME: that message cut small.
cutx() {
  pick "$1" "$2"
  $small cut "$tmp/m" "$out/x_$3.grb"
}
# complexx FILE COUNT NAME TEMPLATE ORDER OCTETS MVM: cut, then packed again.
complexx() {
  pick "$1" "$2"
  $small cut "$tmp/m" "$tmp/c"
  $small complex "$tmp/c" "$out/x_$3.grb" "$4" "$5" "$6" "$7"
}

# --- python-grib-doc's examples ---------------------------------------------
cutx CMC_reg_WIND_ISBL_300_ps60km_2010052400_P012.grib 1 e1_ps_cmc
cutx cl00010000_ecoclimap_rot.grib1 1 e1_rotated
cutx regular_latlon_surface.grib1 1 e1_ll
cutx rotated_ll.grib1 1 e1_rotated_ekmi
cp "$ex/spherical_pressure_level.grib1" "$out/x_e1_spectral.grb"
# ds.maxt.bin: Lambert, template 5.2 with management 1, statistics (4.8),
# rows alternating from the south.
complexx ds.maxt.bin 1 maxt_complex_mvm1 2 0 0 1
cutx ds.maxt.bin 1 maxt_complex_bitmap
# ds.waveh.bin and dspr.temp.bin: Mercator, template 5.3 of order 2 with
# management 1 (descriptors of 2 and 1 octets).
complexx ds.waveh.bin 1 waveh_spdiff2_mvm1 3 2 2 1
complexx ds.waveh.bin 1 waveh_spdiff2_mvm2 3 2 2 2
complexx dspr.temp.bin 1 dspr_spdiff2_pdt8 3 2 1 1
# ecmwf_tigge.grb: reduced Gaussian grids, JPEG 2000, ensemble members
# (4.1) and their statistics (4.11), one field with a bit map; the
# Gaussian grid as it is, and the products on a grid the decoder reads.
cutx ecmwf_tigge.grb 1 tigge_gaussian
for n in 1 7 15; do
  pick ecmwf_tigge.grb $n
  $small regrid "$tmp/m" "$out/x_tigge_$n.grb"
done
cutx eta.grb 1 eta_lambert
cutx eta.grb 14 eta_lambert_pdt8
cutx flux.grb 1 flux_gaussian_jpeg
cutx flux.grb 2 flux_gaussian_jpeg_pdt0
cutx ngm.grb 1 ngm_ps
cutx ngm.grb 2 ngm_ps_pdt8
cp "$ex/no-radius-shapeOfEarth-7.grb2" "$out/x_shape7.grb"
cutx rap.wrfnat.grib2 1 rap_32769
cutx reduced_latlon_surface.grib2 1 reduced_ll_bitmap
cutx regular_latlon_surface.grib2 1 e2_ll
cutx safrica.grib2 1 safrica_ps_jpeg
# gfs.grb: spatial differencing of order 1 with descriptors of 1 to 3
# octets, bit maps, and one field of each kind of level and product;
# gfs.t12z.pgrbf120.2p5deg.grib2 holds the same kinds.
grib_get -f -p count,typeOfFirstFixedSurface,typeOfSecondFixedSurface,productDefinitionTemplateNumber,typeOfStatisticalProcessing,numberOfOctetsExtraDescriptors,bitmapPresent \
  "$ex/gfs.grb" | awk '{k = $2 "_" $3 "_" $4 "_" $5 "_" $6 "_" $7; if (!(k in s)) { s[k] = 1; print $1, k } }' |
  while read -r n key; do
    pick gfs.grb "$n"
    set -- $(grib_get -p orderOfSpatialDifferencing,numberOfOctetsExtraDescriptors "$tmp/m")
    $small cut "$tmp/m" "$tmp/c"
    $small complex "$tmp/c" "$out/x_gfs_$key.grb" 3 "$1" "$2" 0
  done

# --- ecCodes' samples -------------------------------------------------------
for t in GRIB1 GRIB2 regular_ll_pl_grib1 regular_ll_pl_grib2 rotated_ll_sfc_grib1 rotated_ll_sfc_grib2 \
  polar_stereographic_pl_grib1 polar_stereographic_sfc_grib2 reduced_gg_pl_32_grib1 reduced_gg_pl_32_grib2 \
  reduced_gg_ml_grib1 reduced_gg_ml_grib2 reduced_gg_sfc_jpeg_grib2 reduced_rotated_gg_sfc_jpeg_grib2 \
  reduced_rotated_gg_pl_32_grib1 reduced_rotated_gg_pl_32_grib2 reduced_ll_sfc_grib1 reduced_ll_sfc_grib2 \
  regular_gg_ml_grib1 regular_gg_sfc_grib2 rotated_gg_sfc_grib1 rotated_gg_sfc_grib2 clusters_grib1 \
  lambert_bf_grib2 ccsds_grib2 sh_sfc_grib2 BUFR3 BUFR4 diag wrap; do
  cp "$sm/$t.tmpl" "$out/s_$t.grb"
done

# --- one small real field in every packing ----------------------------------
$small cut "$ex/regular_latlon_surface.grib1" "$tmp/r1"
$small cut "$ex/regular_latlon_surface.grib2" "$tmp/r2"
for p in grid_complex grid_complex_spatial_differencing grid_jpeg grid_ccsds grid_ieee grid_simple_matrix \
  grid_second_order grid_second_order_SPD1 grid_simple_log_preprocessing; do
  grib_set -r -s packingType=$p "$tmp/r2" "$out/p_e2_$p.grb"
done
for p in grid_ieee grid_simple_matrix grid_second_order grid_second_order_no_SPD grid_second_order_SPD1; do
  grib_set -r -s packingType=$p "$tmp/r1" "$out/p_e1_$p.grb"
done
for o in 1 2; do
  for b in 1 2 3 4; do
    $small complex "$tmp/r2" "$out/p_e2_spdiff_o${o}_b$b.grb" 3 $o $b 0
  done
done
$small complex "$tmp/r2" "$out/p_e2_complex_mvm2.grb" 2 0 0 2

# --- templates, times, levels and scans set on small real fields ------------
# Edition 2 product templates: ensemble member, derived, probability, each
# also over a time range; unknown ones.
set_e2() { grib_set -s "$1" "$tmp/r2" "$2"; }
set_e2 productDefinitionTemplateNumber=1,typeOfEnsembleForecast=3,perturbationNumber=4 "$out/v_e2_pdt1.grb"
set_e2 productDefinitionTemplateNumber=2,derivedForecast=1 "$out/v_e2_pdt2_mean.grb"
set_e2 productDefinitionTemplateNumber=2,derivedForecast=2 "$out/v_e2_pdt2_spread.grb"
for p in 0 1 2 3 4; do
  set_e2 productDefinitionTemplateNumber=5,typeOfGeneratingProcess=4,probabilityType=$p,scaleFactorOfLowerLimit=1,scaledValueOfLowerLimit=2731,scaleFactorOfUpperLimit=0,scaledValueOfUpperLimit=300 \
    "$tmp/p5_$p"
  set_e2 productDefinitionTemplateNumber=9,typeOfGeneratingProcess=2,probabilityType=$p,scaleFactorOfLowerLimit=0,scaledValueOfLowerLimit=5,lengthOfTimeRange=6 \
    "$tmp/p9_$p"
done
cat "$tmp"/p5_* > "$out/v_e2_pdt5.grb"
cat "$tmp"/p9_* > "$out/v_e2_pdt9.grb"
set_e2 productDefinitionTemplateNumber=8,typeOfStatisticalProcessing=1,lengthOfTimeRange=12 "$tmp/t8a"
set_e2 productDefinitionTemplateNumber=8,typeOfStatisticalProcessing=255,lengthOfTimeRange=300 "$tmp/t8b"
set_e2 productDefinitionTemplateNumber=8,typeOfStatisticalProcessing=2,indicatorOfUnitForTimeRange=2,lengthOfTimeRange=1 "$tmp/t8c"
cat "$tmp"/t8? > "$out/v_e2_pdt8.grb"
set_e2 productDefinitionTemplateNumber=11,typeOfEnsembleForecast=2,perturbationNumber=7,typeOfStatisticalProcessing=4,lengthOfTimeRange=24 \
  "$out/v_e2_pdt11.grb"
set_e2 productDefinitionTemplateNumber=12,derivedForecast=1,typeOfStatisticalProcessing=0,lengthOfTimeRange=6 \
  "$out/v_e2_pdt12.grb"
set_e2 productDefinitionTemplateNumber=15 "$out/v_e2_pdt15.grb"
set_e2 productDefinitionTemplateNumber=40,constituentType=0 "$out/v_e2_pdt40.grb"
# Forecast time units.
for u in 0 2 3 10 11 12 13; do
  set_e2 indicatorOfUnitOfTimeRange=$u,forecastTime=2 "$tmp/u_$u"
done
cat "$tmp"/u_* > "$out/v_e2_units.grb"
# Fixed surfaces, single and as layers.
for t in 1 100 101 102 103 104 105 106 107 108 109 111 117 160 200; do
  set_e2 typeOfFirstFixedSurface=$t,scaleFactorOfFirstFixedSurface=1,scaledValueOfFirstFixedSurface=50 "$tmp/l1_$t"
  set_e2 typeOfFirstFixedSurface=$t,scaledValueOfFirstFixedSurface=5000,typeOfSecondFixedSurface=$t,scaleFactorOfSecondFixedSurface=0,scaledValueOfSecondFixedSurface=1000 \
    "$tmp/l2_$t"
done
cat "$tmp"/l1_* > "$out/v_e2_levels.grb"
cat "$tmp"/l2_* > "$out/v_e2_layers.grb"
# Scanning: rows from the south, alternating, points from the east, by
# columns (the corners swapped with the direction).
we=longitudeOfFirstGridPointInDegrees=10,longitudeOfLastGridPointInDegrees=0
sn=latitudeOfFirstGridPointInDegrees=52,latitudeOfLastGridPointInDegrees=60
for s in 64,$sn 16 128,$we 32 80,$sn 192,$we,$sn; do
  set_e2 scanningMode=$s "$tmp/sc_$s"
done
cat "$tmp"/sc_* > "$out/v_e2_scans.grb"
grib_set -s centre=7,discipline=0,parameterCategory=1,parameterNumber=8 "$tmp/r2" "$out/v_e2_param_ncep.grb"
grib_set -s discipline=10,parameterCategory=0,parameterNumber=3 "$tmp/r2" "$out/v_e2_param_ocean.grb"

# Edition 1: time ranges and their units, level types, ECMWF's parameters,
# scanning, grids.
set_e1() { grib_set -s "$1" "$tmp/r1" "$2"; }
for r in 0 1 2 3 4 5 7 10 113 118 123; do
  set_e1 timeRangeIndicator=$r,P1=3,P2=9 "$tmp/tr_$r"
done
for u in 0 2 3 10 11 12 254; do
  set_e1 indicatorOfUnitOfTimeRange=$u,timeRangeIndicator=4,P1=0,P2=2 "$tmp/tu_$u"
done
cat "$tmp"/tr_* "$tmp"/tu_* > "$out/v_e1_times.grb"
for t in 1 4 5 100 101 102 103 104 105 106 107 108 109 111 112 113 116 117 119 120 160 200; do
  set_e1 indicatorOfTypeOfLevel=$t "$tmp/lv_$t"
done
cat "$tmp"/lv_* > "$out/v_e1_levels.grb"
for p in 129 151 164 167 172 228 229 250; do
  set_e1 centre=98,table2Version=128,indicatorOfParameter=$p "$tmp/ec_$p"
done
set_e1 centre=98,table2Version=140,indicatorOfParameter=229 "$tmp/ec_w"
set_e1 centre=7,table2Version=129,indicatorOfParameter=212 "$tmp/ec_n"
set_e1 centre=44,indicatorOfTypeOfLevel=1,indicatorOfParameter=7 "$tmp/ec_44"
cat "$tmp"/ec_* > "$out/v_e1_params.grb"
# (the corners swapped with the direction, or ecCodes calls the grid wrong)
for s in iScansNegatively=1,longitudeOfFirstGridPointInDegrees=10,longitudeOfLastGridPointInDegrees=0 \
  jScansPositively=1,latitudeOfFirstGridPointInDegrees=52,latitudeOfLastGridPointInDegrees=60 \
  jPointsAreConsecutive=1 ijDirectionIncrementGiven=0; do
  set_e1 $s "$tmp/s1_$s"
done
cat "$tmp"/s1_* > "$out/v_e1_scans.grb"
set_e1 gridType=mercator "$out/v_e1_mercator.grb"

# --- cases the decoder once got wrong ---------------------------------------
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

# --- test messages ----------------------------------------------------------
for f in e1_bitmap e1_grid21 e1_grid26 e1_grid50 e1_lambert e1_thin e1_ens e1_prob e1_jumps_bad \
  e1_second_order e1_times e1_local e2_lambert e2_merc e2_ps e2_multi e2_products e2p_complex_alt \
  e2p_jpeg_const e2p_jpeg_holes e2p_simple_holes e2p_spdiff_holes ed0_raw ed0_kez framing_kez framing_ldm \
  framing_mixed framing_oldkez e1_noinc e2_cyclic e2_basic_angle e1_proj_scans e2_proj_scans e2_fluxes e1_winds \
  e2_winds; do
  cp "tests/grib/data/$f.grb" "$out/$f.grb"
done

# --- the header-text target -------------------------------------------------
hdr_out="$out/../grib_hdr_fuzz"
mkdir -p "$hdr_out"
# hdr NAME FILE FORM: the messages of FILE listed in FORM, then the file.
hdr() {
  grib_get -f -p offset,edition,indicatorOfParameter:i,indicatorOfTypeOfLevel:i,level:i "$2" 2>/dev/null |
    awk -v form="$3" '{
      if (form == "letters") printf "%d / GRIB%d S7 M89 G211 T12 L%d H%d V%d\n", $1, $2, $4, $5, $3;
      else if (form == "slash") printf "%d /89 211 12 %d %d %d\n", $1, $4, $5, $3;
      else printf "%d /7:89:211:%d:%d:%d:%d\n", $1, 12 * NR, $4, $5, $3;
    }' > "$tmp/h"
  { cat "$tmp/h"; printf '\0'; cat "$2"; } > "$hdr_out/$1"
}
hdr e1_grid21 tests/grib/data/e1_grid21.grb letters
hdr e1_bitmap tests/grib/data/e1_bitmap.grb slash
hdr framing_kez tests/grib/data/framing_kez.grb colons
hdr framing_ldm tests/grib/data/framing_ldm.grb letters
hdr e2_multi tests/grib/data/e2_multi.grb slash
hdr e2p_jpeg_holes tests/grib/data/e2p_jpeg_holes.grb letters
# Lines the reader must refuse or take in part, before a real message.
{
  printf '0 / GRIB1 S9 M3 Vx\n  25\t/89 211\n0 x/7:89 211 12 100 500 7\n0 no slash at all\n'
  printf '99999999999 / GRIB1 S7\n-5 /1 2 3 4 5 6\nnot a number / GRIB1\n'
  printf '\0'
  cat tests/grib/data/e1_bitmap.grb
} > "$hdr_out/odd_lines"
