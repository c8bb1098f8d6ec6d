#!/usr/bin/env bash
# Writes the texts that go beside Tolvane.exe into a folder: 使用说明.txt (the zips'
# read-me, naming the version and the home page), LICENSE.txt and THIRD-PARTY-NOTICES.txt
# (the notices of what the program links in). All are UTF-8 with a
# byte-order mark and CR LF line ends, which Notepad reads right from XP to 11 whatever
# the system's code page; the .txt name opens them without asking for a program.
#
#   make_texts.sh <folder>
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 <folder>" >&2; exit 2; }
src=$(cd "$(dirname "$0")/../.." && pwd)
out=$1
mkdir -p "$out"
windows_text() { printf '\xef\xbb\xbf'; sed 's/\r$//; s/$/\r/' "$1"; }
windows_text "$src/packaging/windows/使用说明.txt" |
  sed "s|@VERSION@|$("$src/packaging/project.sh" version)|g; s|@HOMEPAGE@|$("$src/packaging/project.sh" homepage)|g" \
  >"$out/使用说明.txt"
windows_text "$src/LICENSE" >"$out/LICENSE.txt"
windows_text "$src/THIRD-PARTY-NOTICES.txt" >"$out/THIRD-PARTY-NOTICES.txt"
