#!/bin/sh
# What the source tree holds besides its committed files, one entry a line
# as git shows it: changed, new and ignored files, except in the build
# folders (build*/) and demo-out/, where builds, tests and the demo write.
#   tools/tree-state.sh          prints the entries
#   tools/tree-state.sh BEFORE   prints the entries that BEFORE (an earlier
#                                listing) does not hold; status 1 if any
# "make check" lists the tree before its run and compares afterwards, so
# that a test, fuzz target or tool that writes into the tree is caught. A
# tree that is no git checkout has nothing to compare.
set -eu
cd "$(dirname "$0")/.."
git rev-parse --is-inside-work-tree >/dev/null 2>&1 || exit 0
entries() {
  git status --porcelain --ignored --untracked-files=all | grep -v -E '^.. "?(build[^/]*|demo-out)/' || true
}
if [ $# -eq 0 ]; then
  entries
  exit 0
fi
new=$(entries | grep -v -x -F -f "$1" || true)
[ -z "$new" ] && exit 0
printf '%s\n' "$new"
exit 1
