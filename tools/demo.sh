#!/bin/sh
# The demo job: a batch plot of the bundled sample stations on a map, written
# as EPS by the suite and turned into a PNG image by ghostscript.
set -eu
build=${1:-build}
out=${2:-demo-out}
mkdir -p "$out"
"$build/kez_demo_plot" -batch -file_path=data -device="p,$out/kez_demo.eps,eps,port,color" \
  -message="mess,+fi=$out/kez_demo.log" data/sample/stations.txt
gs -q -dSAFER -dBATCH -dNOPAUSE -dEPSCrop -sDEVICE=png16m -r100 \
  -sOutputFile="$out/kez_demo.png" "$out/kez_demo.eps"
echo "demo: plot in $out/kez_demo.eps, image in $out/kez_demo.png, log in $out/kez_demo.log"
