#!/bin/sh
# The project's layout (.clang-format) over every tracked C++ file.
#   tools/format.sh          rewrites the files in place (make format)
#   tools/format.sh --check  changes nothing; lists the files that differ and
#                            fails when there are any (make format-check, CI)
set -eu
cd "$(dirname "$0")/.."
CLANG_FORMAT=${CLANG_FORMAT:-clang-format}
if ! command -v "$CLANG_FORMAT" >/dev/null 2>&1; then
  echo "format: $CLANG_FORMAT not found (Debian package clang-format)" >&2
  exit 2
fi
files=$(git ls-files '*.cpp' '*.h')
[ -n "$files" ] || exit 0
if [ "${1:-}" = "--check" ]; then
  bad=0
  for f in $files; do
    if ! "$CLANG_FORMAT" --dry-run --Werror "$f" >/dev/null 2>&1; then
      echo "format: $f differs from .clang-format"
      bad=1
    fi
  done
  exit $bad
fi
# shellcheck disable=SC2086
"$CLANG_FORMAT" -i $files
