#!/usr/bin/env bash
# Prints a fact of the release from the one place it is kept: `version` and `homepage`
# come from project() in CMakeLists.txt, `copyright` is LICENSE's copyright line.
#
#   project.sh version|homepage|copyright
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
case ${1:-} in
  version) value=$(sed -n 's/^project(Tolvane VERSION \([0-9.]*\) .*/\1/p' "$src/CMakeLists.txt") ;;
  homepage) value=$(sed -n 's/^project(Tolvane .*HOMEPAGE_URL "\([^"]*\)".*/\1/p' "$src/CMakeLists.txt") ;;
  copyright) value=$(grep -m1 '^Copyright ' "$src/LICENSE" || true) ;;
  *) echo "usage: $0 version|homepage|copyright" >&2; exit 2 ;;
esac
[ -n "$value" ] || { echo "project.sh: no $1 found" >&2; exit 1; }
echo "$value"
