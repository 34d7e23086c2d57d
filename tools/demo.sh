#!/bin/sh
# Runs the main job on the bundled sample data and says where the output went.
set -eu
build=${1:-build}
out=${2:-demo-out}
mkdir -p "$out"
"$build/programs/kezsfc" -batch -message=mess,@fi="$out/kezsfc.log" data > "$out/kezsfc.txt"
echo "demo: program output in $out/kezsfc.txt, log in $out/kezsfc.log"
