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
  # One run over all files: starting clang-format once per file costs many
  # times the check itself. It reports every place that differs; the files
  # are named once each.
  # shellcheck disable=SC2086
  if out=$("$CLANG_FORMAT" --dry-run --Werror $files 2>&1); then
    exit 0
  fi
  bad=$(printf '%s\n' "$out" | sed -n 's/^\(.*\):[0-9]*:[0-9]*: error: code should be clang-formatted.*/\1/p' | uniq)
  if [ -z "$bad" ]; then
    printf '%s\n' "$out" >&2
    echo "format: $CLANG_FORMAT failed" >&2
    exit 2
  fi
  printf '%s\n' "$bad" | sed 's/.*/format: & differs from .clang-format/'
  exit 1
fi
# shellcheck disable=SC2086
"$CLANG_FORMAT" -i $files
