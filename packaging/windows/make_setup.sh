#!/usr/bin/env bash
# Builds the installer (tolvane.nsi) from the two programs, with the project version,
# home page and the licence of this source tree. With TOLVANE_SIGN_PFX set, the
# uninstaller inside it is signed as sign.sh signs the programs. TOLVANE_SETUP_TARGET
# (amd64-unicode) builds a 64-bit installer of the same script instead, for tests on a
# Wine that runs no 32-bit program.
#
#   make_setup.sh <x86 Tolvane.exe> <x64 Tolvane.exe> <setup.exe>
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 <x86 Tolvane.exe> <x64 Tolvane.exe> <setup.exe>" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
absolute() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
x86=$(absolute "$1") x64=$(absolute "$2") out=$(absolute "$3")
version=$("$src/packaging/project.sh" version)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$here/make_texts.sh" "$work/texts"
options=()
[ -z "${TOLVANE_SETUP_TARGET:-}" ] || options=(-DTARGET="$TOLVANE_SETUP_TARGET")
[ -z "${TOLVANE_SIGN_PFX:-}" ] || options+=(-DSIGN_UNINSTALLER="\"$here/sign.sh\" \"%1\"")
kib() { echo $((($(stat -c %s "$1") + 1023) / 1024)); }
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DX86EXE="$x86" -DX64EXE="$x64" \
  -DX86KB="$(kib "$x86")" -DX64KB="$(kib "$x64")" -DTEXTS="$work/texts" "${options[@]}" \
  -DCOPYRIGHT="$("$src/packaging/project.sh" copyright)" -DHOMEPAGE="$("$src/packaging/project.sh" homepage)" \
  -DOUTFILE="$out" "$here/tolvane.nsi" >"$work/makensis.log" 2>&1 || { cat "$work/makensis.log" >&2; exit 1; }
