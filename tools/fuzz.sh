#!/bin/sh
# Runs every fuzz target of a KEZ_FUZZ build for a number of seconds each:
#   tools/fuzz.sh [-j JOBS] BUILD_DIR SECONDS [TARGET...]
# JOBS targets run at a time (1 by default), each on one core.
# Each target starts from its seeds in fuzz/corpus/<target>/ and from the
# bundled files that suit it, with its dictionary fuzz/<target>.dict when
# there is one; what it finds is kept in BUILD_DIR/fuzz-corpus and a
# crashing or hanging input in BUILD_DIR/fuzz-artifacts. A target runs in an
# empty folder of its own (BUILD_DIR/fuzz-work/<target>) and writes only
# into its scratch folder: a file it leaves in its working folder fails the
# run, as a crash does. The first target that fails ends the run with its
# output.
#
# Coverage of the corpora, per source file:
#   tools/fuzz.sh --coverage COVERAGE_BUILD [FUZZ_BUILD] [TARGET...]
# replays each target's seeds and the corpus of an earlier run in
# FUZZ_BUILD/fuzz-corpus (build-fuzz by default) once in a build configured
# with KEZ_FUZZ_COVERAGE, and prints for every file of src/ the regions,
# lines and branches reached (llvm-profdata and llvm-cov). The whole
# llvm-cov report is left in COVERAGE_BUILD/fuzz-coverage.txt.
set -eu
cd "$(dirname "$0")/.."
top=$(pwd)

mode=run
jobs=1
case "${1:-}" in
  --coverage) mode=coverage; shift ;;
  # One target, as the parallel run starts it: --one BUILD_DIR SECONDS TARGET_PATH
  --one) mode=one; shift ;;
  -j) jobs=${2:?fuzz: -j needs a number}; shift 2 ;;
esac
case "$jobs" in
  '' | *[!0-9]* | 0) echo "fuzz: -j wants a positive number, not '$jobs'" >&2; exit 2 ;;
esac
build=${1:-build-fuzz}
[ $# -gt 0 ] && shift
if [ "$mode" != coverage ]; then
  seconds=${1:-60}
  [ $# -gt 0 ] && shift
else
  corpus_build=${1:-build-fuzz}
  [ $# -gt 0 ] && shift
  corpus_build=$(cd "$corpus_build" 2>/dev/null && pwd || echo "$top/$corpus_build")
fi
# Whole paths: a target may change its working folder.
build=$(cd "$build" && pwd)

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

# The targets asked for, or every one of the build.
targets() {
  if [ $# -gt 0 ]; then
    for t in "$@"; do echo "$build/fuzz/$t"; done
  else
    for bin in "$build"/fuzz/*_fuzz; do echo "$bin"; done
  fi
}

# A target runs in a folder of its own, so that any file it writes under a
# relative name stays out of the source tree.
workdir() {
  dir="$build/fuzz-work/$1"
  rm -rf "$dir"
  mkdir -p "$dir"
  echo "$dir"
}

if [ "$mode" = coverage ]; then
  profdata=$(command -v llvm-profdata || command -v llvm-profdata-14 || true)
  llvmcov=$(command -v llvm-cov || command -v llvm-cov-14 || true)
  if [ -z "$profdata" ] || [ -z "$llvmcov" ]; then
    echo "fuzz: llvm-profdata and llvm-cov are needed (Debian package llvm)" >&2
    exit 1
  fi
  raw="$build/fuzz-profiles"
  rm -rf "$raw"
  mkdir -p "$raw"
  objects=""
  failed=0
  for bin in $(targets "$@"); do
    [ -x "$bin" ] || { echo "fuzz: no target $bin" >&2; exit 1; }
    target=$(basename "$bin")
    dirs=""
    for d in "$top/fuzz/corpus/$target" "$corpus_build/fuzz-corpus/$target"; do
      [ -d "$d" ] && dirs="$dirs $d"
    done
    extra=$(extra_seeds "$target" | tr ' ' ',')
    log="$build/fuzz-coverage-$target.log"
    # shellcheck disable=SC2086
    if (cd "$(workdir "$target")" && LLVM_PROFILE_FILE="$raw/$target.%p.profraw" \
          "$bin" -runs=0 -timeout=60 -rss_limit_mb=2048 ${extra:+-seed_inputs="$extra"} $dirs \
          >"$log" 2>&1); then
      :
    else
      echo "fuzz: $target failed while replaying its corpus (log $log)" >&2
      failed=1
    fi
    if [ -z "$objects" ]; then objects="$bin"; else objects="$objects -object $bin"; fi
  done
  "$profdata" merge -sparse "$raw"/*.profraw -o "$build/fuzz.profdata"
  # shellcheck disable=SC2086
  # (Every target has its own LLVMFuzzerTestOneInput, which llvm-cov reports
  # as mismatched data; the files of src/ are the same in all of them.)
  "$llvmcov" report -instr-profile "$build/fuzz.profdata" $objects >"$build/fuzz-coverage.txt" 2>/dev/null
  # llvm-cov names the files from their common folder: keep those of src/.
  awk '
    function pct(total, missed) { return total > 0 ? sprintf("%5.1f%%", 100 * (total - missed) / total) : "    -" }
    function frac(total, missed) { return sprintf("%d/%d", total - missed, total) }
    $1 ~ /(^|\/)src\// {
      name = $1; sub(/^.*src\//, "src/", name)
      printf "%-30s %6s %11s %6s %11s %6s %11s\n", name, pct($2, $3), frac($2, $3), pct($8, $9), frac($8, $9),
             pct($11, $12), frac($11, $12)
    }
    BEGIN { printf "%-30s %18s %18s %18s\n", "file", "regions", "lines", "branches" }
  ' "$build/fuzz-coverage.txt"
  exit "$failed"
fi

# One target: its run, its verdict, and what it left in its working folder.
# A failure exits with 255, which makes the parallel run start no more.
if [ "$mode" = one ]; then
  bin=$1
  target=$(basename "$bin")
  work="$build/fuzz-corpus/$target"
  artifacts="$build/fuzz-artifacts"
  mkdir -p "$work" "$artifacts"
  seeds="$top/fuzz/corpus/$target"
  [ -d "$seeds" ] || seeds=""
  dict="$top/fuzz/$target.dict"
  [ -f "$dict" ] || dict=""
  extra=$(extra_seeds "$target" | tr ' ' ',')
  log="$build/fuzz-$target.log"
  cwd=$(workdir "$target")
  if (cd "$cwd" && "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len=65536 -print_final_stats=1 -artifact_prefix="$artifacts/$target-" \
        ${dict:+-dict="$dict"} ${extra:+-seed_inputs="$extra"} "$work" $seeds) >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz: $target ran ${seconds}s, ${runs:-?} inputs, no fault"
  else
    tail -n 60 "$log"
    echo "fuzz: $target FAILED (log $log, input in $artifacts)" >&2
    exit 255
  fi
  left=$(ls -A "$cwd")
  if [ -n "$left" ]; then
    echo "$left" | head -n 20
    echo "fuzz: $target wrote files outside its scratch folder (above, in $cwd)" >&2
    exit 255
  fi
  exit 0
fi

# JOBS targets at a time, so the run takes their number times the seconds
# over JOBS, plus the loading of each one's corpus.
list=$(targets "$@" | while read -r bin; do [ -x "$bin" ] && echo "$bin"; done || true)
count=$(printf '%s' "$list" | grep -c . || true)
if [ "$count" = 0 ]; then
  echo "fuzz: no targets in $build/fuzz" >&2
  exit 1
fi
[ "$jobs" -le "$count" ] || jobs=$count
rounds=$(((count + jobs - 1) / jobs))
echo "fuzz: $count targets, ${seconds}s each, $jobs at a time: about $(((rounds * seconds + 59) / 60)) min"
# The first target that fails stops the start of further ones.
if printf '%s\n' "$list" | xargs -d '\n' -n 1 -P "$jobs" sh "$top/tools/fuzz.sh" --one "$build" "$seconds"; then
  exit 0
fi
echo "fuzz: the run failed" >&2
exit 1
