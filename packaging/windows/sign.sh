#!/usr/bin/env bash
# Signs a Windows program in place: Authenticode with SHA-256, holding the program's name
# and home page. tools/release.sh runs it on both programs and the installer, and
# makensis on the uninstaller before packing it into the installer (!uninstfinalize).
#
#   sign.sh <file.exe>
#
# TOLVANE_SIGN_PFX (a PKCS#12 file) and TOLVANE_SIGN_PASSWORD name the certificate. With
# TOLVANE_SIGN_TIMESTAMP_URL, an RFC 3161 time-stamp server countersigns the signature,
# so it stays valid after the certificate expires; without one it is valid only as long
# as the certificate is.
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 <file.exe>" >&2; exit 2; }
src=$(cd "$(dirname "$0")/../.." && pwd)
file=$1 signed=$1.signed
: "${TOLVANE_SIGN_PFX:?}" "${TOLVANE_SIGN_PASSWORD?}"
timestamp=()
[ -z "${TOLVANE_SIGN_TIMESTAMP_URL:-}" ] || timestamp=(-ts "$TOLVANE_SIGN_TIMESTAMP_URL")
osslsigncode sign -pkcs12 "$TOLVANE_SIGN_PFX" -readpass <(printf '%s' "$TOLVANE_SIGN_PASSWORD") -h sha256 \
  "${timestamp[@]}" -n "Tolvane $("$src/packaging/project.sh" version)" -i "$("$src/packaging/project.sh" homepage)" \
  -in "$file" -out "$signed" >"$signed.log" 2>&1 || { cat "$signed.log" >&2; rm -f "$signed" "$signed.log"; exit 1; }
rm -f "$signed.log"
mv -f "$signed" "$file"
