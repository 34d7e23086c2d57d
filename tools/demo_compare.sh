#!/bin/sh
# Compares two runs of tools/demo.sh: the PostScript page byte for byte
# except its creation-date line, and every frame image by its pixels (the
# PNG files carry their creation time). For work that must not change
# what the program draws: run the demo before and after, then
#   tools/demo_compare.sh /tmp/demo-before /tmp/demo-after
# Exit 0 when both runs drew the same, 1 otherwise.
set -eu
[ $# -eq 2 ] || { echo "usage: $0 BEFORE_DIR AFTER_DIR" >&2; exit 2; }
before=$1
after=$2
status=0

page=sfcplot.ps
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
if [ ! -f "$before/$page" ] || [ ! -f "$after/$page" ]; then
  echo "demo_compare: $page missing in one of the runs" >&2
  status=1
else
  grep -av '^%%CreationDate' "$before/$page" > "$scratch/before.ps" || true
  grep -av '^%%CreationDate' "$after/$page" > "$scratch/after.ps" || true
  cmp -s "$scratch/before.ps" "$scratch/after.ps" || { echo "demo_compare: $page differs" >&2; status=1; }
fi

count=0
for f in "$before"/sfcplot_*.png; do
  [ -f "$f" ] || continue
  count=$((count + 1))
  g="$after/${f##*/}"
  if [ ! -f "$g" ]; then
    echo "demo_compare: ${f##*/} missing after" >&2
    status=1
  elif [ "$(identify -format '%#' "$f")" != "$(identify -format '%#' "$g")" ]; then
    echo "demo_compare: ${f##*/} differs" >&2
    status=1
  fi
done
extra=$(ls "$after"/sfcplot_*.png 2>/dev/null | wc -l)
[ "$extra" -eq "$count" ] || { echo "demo_compare: $count images before, $extra after" >&2; status=1; }
[ "$count" -gt 0 ] || { echo "demo_compare: no images in $before" >&2; status=1; }
[ $status -ne 0 ] || echo "demo_compare: page and $count images identical"
exit $status
