#!/bin/sh
# The demo: sfcplot in batch mode on the bundled hourly surface
# observations. It writes
#   - one PostScript page of the newest hour (and a PNG rendering of it by
#     ghostscript, for a quick look), and
#   - one PNG image per frame of the whole hourly sequence, through the
#     program's own image dump of its window; the window lives on a private
#     Xvfb that this script starts and stops.
# A batch plot detaches: the parent ends at once and a child finishes the
# work. The child keeps descriptor 3 (a pipe to "cat") open until it ends,
# so the pipe's end tells this script that every file has been written.
#
# Inputs (relative to the source tree):
#   data/sample/YYMMDDHH_sao.wmo  the hourly observations ("sfc_cvt" names)
#   data/sfcplot.var              the variable menu; its first entry is drawn
#                                 unless the defaults file sets "variable"
#   data/demo.def                 the demo's defaults (optional): region,
#                                 variable, plot options; its "frames" block
#                                 (window size, hours, image names) makes
#                                 the sequence
set -eu
build=${1:-build}
out=${2:-demo-out}
prog="$build/programs/sfcplot"
sample=${DEMO_SAMPLE:-data/sample}
defaults=${DEMO_DEFAULTS:-data/demo.def}

[ -x "$prog" ] || { echo "demo: $prog is not built" >&2; exit 1; }
files=$(ls "$sample"/*_sao.wmo 2>/dev/null | sort) || true
[ -n "$files" ] || { echo "demo: no observations in $sample (*_sao.wmo)" >&2; exit 1; }
newest=$(echo "$files" | tail -n 1)
# The program looks for file names in its data path ("-dp"): plain names.
names=$(for f in $files; do basename "$f"; done)
mkdir -p "$out"
rm -f "$out"/sfcplot_*.png "$out/sfcplot.ps" "$out/sfcplot.log"

# The settings every run shares. The defaults file, when there is one,
# comes first so that the command line can still override it; its "frames"
# block serves the sequence.
set -- -ba -fp data -dp "$sample" -me "mess,+fi=$out/sfcplot.log"

# Runs a batch plot and waits until its detached child has ended.
run_batch() {
  { "$prog" "$@" 3>&1 >>"$out/sfcplot.out" 2>&1 </dev/null; } | cat >/dev/null
}

: >"$out/sfcplot.out"
page="p,$out/sfcplot.ps,ps,port,color"
if [ -e "$defaults" ]; then
  run_batch -df "$defaults" "$@" -de "$page" "$(basename "$newest")"
else
  run_batch "$@" -de "$page" "$(basename "$newest")"
fi
if command -v gs >/dev/null 2>&1; then
  gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=png16m -r100 -sOutputFile="$out/sfcplot_page.png" "$out/sfcplot.ps"
fi

# A free display number for the private X server.
n=90
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xpid=$!
trap 'kill $xpid 2>/dev/null || true' EXIT INT TERM
i=0
while [ ! -e "/tmp/.X11-unix/X$n" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
if [ -e "$defaults" ]; then
  # the hours, the window's size and the image names of the "frames" block
  DISPLAY=":$n" run_batch -df "+frames:$defaults" "$@" -de "display,:$n" -ip "$out"
else
  # shellcheck disable=SC2086 # one argument per file
  DISPLAY=":$n" run_batch "$@" -de "display,:$n" -ip "$out" -of "png=sfcplot_%i.png" $names
fi

frames=$(ls "$out"/sfcplot_[0-9]*.png 2>/dev/null | wc -l)
echo "demo: PostScript page of $(basename "$newest") in $out/sfcplot.ps (rendered: $out/sfcplot_page.png)"
echo "demo: $frames frame images of the hourly sequence in $out/sfcplot_NN.png"
echo "demo: messages in $out/sfcplot.log and $out/sfcplot.out"
