#!/usr/bin/env bash
# tools/release.sh on the committed HEAD, in fresh clones at paths of different depth.
#
#   release_test.sh twice  <source> <work folder>   two clones build dist/; every file is
#                                                   byte for byte the same, unsigned
#   release_test.sh signed <source> <work folder>   the second clone again with a throwaway
#                                                   certificate: both programs and the
#                                                   installer carry a SHA-256 signature
#                                                   that verifies against it
#   release_test.sh arm64  <source> <work folder>   the first clone's arm64 package: lintian,
#                                                   then its program under qemu-user
#                                                   (tests/e2e/linux/arm64_smoke.py)
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 twice|signed|arm64 <source> <work folder>" >&2; exit 2; }
case=$1 src=$2 work=$3
first=$work/a second=$work/b/second/clone
fail() { echo "FAIL: $*" >&2; exit 1; }

release() {
  local clone=$1 log=$2
  shift 2
  (cd "$clone" && env "$@" tools/release.sh) >"$log" 2>&1 || { cat "$log"; fail "release.sh in $clone"; }
}

case $case in
twice)
  commit=$(git -C "$src" rev-parse HEAD)
  rm -rf "$work"
  mkdir -p "$work"
  for clone in "$first" "$second"; do
    git clone -q --no-local "$src" "$clone"
    git -C "$clone" checkout -q --detach "$commit"
    release "$clone" "$clone.log" -u TOLVANE_SIGN_PFX -u SOURCE_DATE_EPOCH
    grep -q "These files are unsigned" "$clone.log" || fail "release.sh does not say the files are unsigned"
  done
  names=$(cd "$first/dist" && ls)
  [ "$names" = "$(cd "$second/dist" && ls)" ] || fail "the two dist/ folders hold different files"
  version=$("$first/packaging/project.sh" version)
  for want in SHA256SUMS "Tolvane-$version-setup.exe" "Tolvane-$version-x64.zip" "Tolvane-$version-x86.zip" \
              "tolvane_${version}_amd64.deb" "tolvane_${version}_arm64.deb"; do
    grep -qxF "$want" <<<"$names" || fail "dist/ lacks $want: $names"
  done
  # Each zip: the program, the read-me (its name in GBK, with the UTF-8 name for unzip)
  # and the licence.
  for arch in x86 x64; do
    listing=$(unzip -Z1 "$first/dist/Tolvane-$version-$arch.zip" | paste -sd' ')
    [ "$listing" = "Tolvane.exe 使用说明.txt LICENSE" ] || fail "Tolvane-$version-$arch.zip holds $listing"
  done
  differ=
  for name in $names; do cmp -s "$first/dist/$name" "$second/dist/$name" || differ+=" $name"; done
  [ -z "$differ" ] || fail "built twice from $commit, these differ:$differ (in $first/dist and $second/dist)"
  (cd "$first/dist" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match"
  echo "dist/ of $commit built twice, the same bytes: $(paste -sd' ' <<<"$names")"
  ;;
signed)
  [ -d "$second/dist" ] || fail "no earlier release in $second (the test 'twice' makes it)"
  keys=$work/keys
  rm -rf "$keys"
  mkdir -p "$keys"
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$keys/key.pem" -out "$keys/cert.pem" -days 2 \
    -subj "/CN=Tolvane test signer" -addext extendedKeyUsage=codeSigning 2>/dev/null
  openssl pkcs12 -export -inkey "$keys/key.pem" -in "$keys/cert.pem" -out "$keys/signer.pfx" -passout pass:throwaway
  release "$second" "$work/signed.log" TOLVANE_SIGN_PFX="$keys/signer.pfx" TOLVANE_SIGN_PASSWORD=throwaway
  grep -q "^Signed " "$work/signed.log" || { cat "$work/signed.log"; fail "release.sh does not say it signed"; }
  dist=$second/dist
  (cd "$dist" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS is not over the signed files"
  mkdir -p "$keys/unpacked"
  files=("$dist"/Tolvane-*-setup.exe)
  for zip in "$dist"/Tolvane-*-x86.zip "$dist"/Tolvane-*-x64.zip; do
    name=$(basename "$zip" .zip)
    unzip -q -o "$zip" Tolvane.exe -d "$keys/unpacked/$name"
    files+=("$keys/unpacked/$name/Tolvane.exe")
  done
  for file in "${files[@]}"; do
    report=$(osslsigncode verify -CAfile "$keys/cert.pem" -in "$file" 2>&1) ||
      { echo "$report"; fail "the signature of $file does not verify"; }
    grep -q "Message digest algorithm *: SHA256" <<<"$report" || { echo "$report"; fail "$file is not signed with SHA-256"; }
    grep -q "Signer's certificate:" <<<"$report" || { echo "$report"; fail "$file names no signer"; }
  done
  # An unsigned program does not pass the same check.
  ! osslsigncode verify -CAfile "$keys/cert.pem" -in "$first/build/release-x64/Tolvane.exe" >/dev/null 2>&1 ||
    fail "osslsigncode verifies an unsigned program"
  echo "signed and verified: ${files[*]}"
  ;;
arm64)
  [ -d "$first/dist" ] || fail "no earlier release in $first (the test 'twice' makes it)"
  deb=$first/dist/tolvane_$("$first/packaging/project.sh" version)_arm64.deb
  [ -f "$deb" ] || fail "dist/ lacks $(basename "$deb")"
  [ "$(dpkg-deb -f "$deb" Architecture)" = arm64 ] || fail "$deb is not for arm64"
  lintian --fail-on error,warning "$deb" 2>/dev/null || fail "lintian finds errors or warnings in $deb"
  /usr/bin/python3 -W ignore "$first/tests/e2e/linux/arm64_smoke.py" "$deb" "$work/arm64" ||
    fail "the arm64 program under qemu-user (logs in $work/arm64)"
  echo "$(basename "$deb"): lintian clean, started under qemu-user, its countdown reached logind"
  ;;
*) echo "usage: $0 twice|signed|arm64 <source> <work folder>" >&2; exit 2 ;;
esac
