#!/bin/sh
# The installed tree as a packager and a user meet it:
#   - "cmake --install" of the build into a scratch prefix;
#   - the installed sfcplot, run from an empty folder without -fp, draws the
#     same PostScript page of the bundled sample as the build tree's program
#     given the source tree's data folder (creation dates aside);
#   - a missing data folder or data file is named, with status 3; the help
#     needs no data;
#   - every installed header compiles on its own;
#   - a small program builds against the installed library through
#     find_package(KEZ) and through pkg-config, and runs.
# Everything it writes lies under the scratch folder (in the build tree).
#
# Arguments: build folder, source folder, scratch folder, cmake, CMake
# generator, C++ compiler, library folder below the prefix, the configured
# data folder, link flags a program of this build needs (the sanitizers').
set -eu
build=$1 source=$2 scratch=$3 cmake=$4 generator=$5 cxx=$6 libdir=$7 configured_data=$8 link_flags=${9:-}

fail() {
  echo "install test: $*" >&2
  exit 1
}

rm -rf "$scratch"
mkdir -p "$scratch"
prefix=$scratch/prefix
data=$prefix/share/kez
"$cmake" --install "$build" --prefix "$prefix" >"$scratch/install.log" || fail "cmake --install failed: $(cat "$scratch/install.log")"
for f in "$prefix/bin/sfcplot" "$prefix/include/kez/kez.h" "$prefix/include/kez/kezmap.h" \
  "$prefix/include/kez/kezdata.h" "$data/name_conv" "$data/sfcplot.var" "$data/modern.fnt" \
  "$data/sao.cty" "$prefix/$libdir/pkgconfig/kez.pc" "$prefix/$libdir/cmake/KEZ/KEZConfig.cmake"; do
  [ -e "$f" ] || fail "not installed: $f"
done

# Every installed header compiles on its own from the installed folder: one
# that includes a header left in the source tree (a module's private one)
# would break every program that includes it.
for h in "$prefix/include/kez/"*.h; do
  name=${h##*/}
  printf '#include "%s"\n' "$name" >"$scratch/header.cpp"
  "$cxx" -std=c++20 -fsyntax-only -I"$prefix/include/kez" "$scratch/header.cpp" >"$scratch/header.log" 2>&1 ||
    fail "the installed $name does not compile on its own: $(head -5 "$scratch/header.log")"
done

# A batch plot detaches: the parent ends at once and its child holds
# descriptor 3 until the page is written, so the pipe's end is the wait.
plot() { # folder, page, program and its options
  dir=$1 page=$2
  shift 2
  mkdir -p "$dir"
  (cd "$dir" && { "$@" -ba -pd lc:40:-95:33:45,40,-95,19,13,3.4,3.4 -va stnslp -sp +3 -pp plt_grid -sc 0.8 \
    -de "p,$page,ps,port,color" "$newest" 3>&1 >>run.log 2>&1 </dev/null; } | cat)
}
for f in "$source"/data/sample/*_sao.wmo; do newest=${f##*/}; done
unset kezfile kezdefault || true
plot "$scratch/run-build" "$scratch/build.ps" "$build/programs/sfcplot" -fp "$source/data" -dp "$source/data/sample"
plot "$scratch/run-installed" "$scratch/installed.ps" "$prefix/bin/sfcplot" -dp "$data/sample"
grep -v '^%%CreationDate' "$scratch/build.ps" >"$scratch/build.body" || true
grep -v '^%%CreationDate' "$scratch/installed.ps" >"$scratch/installed.body" || true
# An empty page is a few kilobytes; the chart is hundreds.
[ "$(wc -c <"$scratch/build.body")" -gt 100000 ] || fail "the build tree's page is empty: $(cat "$scratch/run-build/run.log")"
cmp -s "$scratch/build.body" "$scratch/installed.body" ||
  fail "the installed program's page differs: $(cat "$scratch/run-installed/run.log")"

# Missing data: the message names what is missing where, the status is 3.
mkdir -p "$scratch/partial"
cp "$data"/* "$scratch/partial/" 2>/dev/null || true
rm "$scratch/partial/sao.cty"
expect_missing() { # text the message holds, options
  text=$1
  shift
  mkdir -p "$scratch/run-missing"
  status=0
  (cd "$scratch/run-missing" && "$prefix/bin/sfcplot" "$@" -ba -de p,missing.ps,ps "$newest" >out 2>&1 </dev/null) || status=$?
  [ "$status" -eq 3 ] || fail "status $status, not 3, with $*: $(cat "$scratch/run-missing/out")"
  grep -qF "$text" "$scratch/run-missing/out" || fail "no \"$text\" with $*: $(cat "$scratch/run-missing/out")"
}
expect_missing "Data folder not found: $scratch/nowhere" -fp "$scratch/nowhere"
expect_missing "Data file not found: $scratch/partial/sao.cty" -fp "$scratch/partial"
mv "$data" "$data.away"
if [ -d "$configured_data" ]; then
  echo "install test: $configured_data exists, so the installed program falls back to it; that case is not run"
else
  expect_missing "Data folder not found: $data"
fi
status=0
"$prefix/bin/sfcplot" -h >"$scratch/help.out" 2>&1 </dev/null || status=$?
[ "$status" -eq 0 ] || fail "the help ends with status $status without data: $(cat "$scratch/help.out")"
mv "$data.away" "$data"

# A program of someone else's: through the package configuration, then
# through pkg-config.
"$cmake" -S "$source/tests/install/consumer" -B "$scratch/consumer" -G "$generator" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_EXE_LINKER_FLAGS="$link_flags" >"$scratch/consumer.log" 2>&1 ||
  fail "find_package(KEZ) failed: $(cat "$scratch/consumer.log")"
"$cmake" --build "$scratch/consumer" >>"$scratch/consumer.log" 2>&1 || fail "build failed: $(cat "$scratch/consumer.log")"
"$scratch/consumer/consumer" || fail "the program built through find_package(KEZ) fails"

export PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig${PKG_CONFIG_PATH:+:$PKG_CONFIG_PATH}"
flags=$(pkg-config --cflags --libs kez) || fail "pkg-config does not know kez"
# shellcheck disable=SC2086 # the flags are words
"$cxx" -std=c++20 -o "$scratch/consumer-pc" "$source/tests/install/consumer/main.cpp" $flags $link_flags ||
  fail "build through pkg-config failed"
LD_LIBRARY_PATH="$prefix/$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" "$scratch/consumer-pc" ||
  fail "the program built through pkg-config fails"

# A program that calls the netCDF library itself links it beside the
# suite, which loads it on first use and defines none of its symbols.
nc_flags=$(pkg-config --cflags --libs netcdf) || fail "pkg-config does not know netcdf"
# shellcheck disable=SC2086 # the flags are words
"$cxx" -std=c++20 -DKEZ_CONSUMER_USES_NETCDF -o "$scratch/consumer-nc" "$source/tests/install/consumer/main.cpp" \
  $flags $nc_flags $link_flags || fail "build of the program that links netCDF too failed"
(cd "$scratch" && LD_LIBRARY_PATH="$prefix/$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" "$scratch/consumer-nc") ||
  fail "the program that links netCDF too fails"
for lib in "$prefix/$libdir"/libkez_*; do
  case $lib in *.so*) table=-D ;; *) table=-g ;; esac
  taken=$(nm $table --defined-only "$lib" 2>/dev/null | awk '$NF ~ /^(nc|NC)/ {print $NF}')
  [ -z "$taken" ] || fail "$lib defines the netCDF library's symbols: $taken"
done
echo "install test: installed, ran and linked under $prefix"
