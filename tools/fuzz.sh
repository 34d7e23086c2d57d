#!/bin/sh
# Runs every fuzz target of a KEZ_FUZZ build for a number of seconds each:
#   tools/fuzz.sh BUILD_DIR SECONDS
# Each target starts from its seeds in fuzz/corpus/<target>/ and from the
# bundled files that suit it; what it finds is kept in BUILD_DIR/fuzz-corpus
# and a crashing or hanging input in BUILD_DIR/fuzz-artifacts. A target runs
# in an empty folder of its own (BUILD_DIR/fuzz-work/<target>) and writes
# only into its scratch folder: a file it leaves in its working folder fails
# the run, as a crash does. The first target that fails ends the run with
# its output.
set -eu
build=${1:-build-fuzz}
seconds=${2:-60}
cd "$(dirname "$0")/.."
# Whole paths: a target may change its working folder.
build=$(cd "$build" && pwd)
top=$(pwd)

# Bundled files that make good seeds, by target.
extra_seeds() {
  case "$1" in
    colors_fuzz) echo "$top/data/kez.clr" "$top/data/kezfill.clr" ;;
    font_fuzz) echo "$top/data/simplex.fnt" "$top/data/kez.fnl" ;;
    name_conv_fuzz) echo "$top/data/name_conv" ;;
    units_fuzz) echo "$top/data/units.lup" ;;
    *) ;;
  esac
}

found=0
for bin in "$build"/fuzz/*_fuzz; do
  [ -x "$bin" ] || continue
  found=1
  target=$(basename "$bin")
  work="$build/fuzz-corpus/$target"
  artifacts="$build/fuzz-artifacts"
  mkdir -p "$work" "$artifacts"
  seeds="$top/fuzz/corpus/$target"
  [ -d "$seeds" ] || seeds=""
  extra=$(extra_seeds "$target" | tr ' ' ',')
  log="$build/fuzz-$target.log"
  cwd="$build/fuzz-work/$target"
  rm -rf "$cwd"
  mkdir -p "$cwd"
  if (cd "$cwd" && "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
       -print_final_stats=1 -artifact_prefix="$artifacts/$target-" \
       ${extra:+-seed_inputs="$extra"} "$work" $seeds) >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz: $target ran ${seconds}s, ${runs:-?} inputs, no fault"
  else
    tail -n 60 "$log"
    echo "fuzz: $target FAILED (log $log, input in $artifacts)" >&2
    exit 1
  fi
  left=$(ls -A "$cwd")
  if [ -n "$left" ]; then
    echo "$left" | head -n 20
    echo "fuzz: $target wrote files outside its scratch folder (above, in $cwd)" >&2
    exit 1
  fi
done
if [ "$found" = 0 ]; then
  echo "fuzz: no targets in $build/fuzz" >&2
  exit 1
fi
