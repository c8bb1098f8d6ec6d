#!/usr/bin/env bash
# tools/release.sh on the committed HEAD, in fresh clones at paths of different depth.
#
#   release_test.sh build  <source> <work folder>   the first clone builds dist/, unsigned:
#                                                   the files a release ships, the zips'
#                                                   contents, the winget and Scoop
#                                                   manifests, the amd64 package lintian
#                                                   clean; the other tests take its files
#   release_test.sh again  <source> <work folder>   a second clone builds dist/ again: every
#                                                   file byte for byte the same as the first
#   release_test.sh signed <source> <work folder>   the second clone again with a throwaway
#                                                   certificate: both programs and the
#                                                   installer carry a SHA-256 signature
#                                                   that verifies against it, time-stamped
#                                                   by a local RFC 3161 server, so it still
#                                                   verifies after the certificate expires
#   release_test.sh arm64  <source> <work folder>   the first clone's arm64 package: lintian,
#                                                   then its program under qemu-user
#                                                   (tests/e2e/linux/arm64_smoke.py)
#   release_test.sh notices <source> <work folder>  the first clone's notices, as packed,
#                                                   name everything its programs' linker
#                                                   maps show linked in
#   release_test.sh rpm <source> <work folder>      the first clone's RPM: rpmlint clean,
#                                                   installed into a scratch root, the same
#                                                   files as the Debian package
#   release_test.sh installer <source> <work folder>  the first clone's installer, unpacked
#                                                   without Wine: the files its script
#                                                   installs, each the zips' own
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 build|again|signed|arm64|notices|rpm|installer <source> <work folder>" >&2; exit 2; }
case=$1 src=$2 work=$3
first=$work/a second=$work/b/second/clone
fail() { echo "FAIL: $*" >&2; exit 1; }

release() {
  local clone=$1 log=$2
  shift 2
  (cd "$clone" && env "$@" tools/release.sh) >"$log" 2>&1 || { cat "$log"; fail "release.sh in $clone"; }
}

# A fresh clone of the commit the test 'build' recorded, and its release, unsigned.
clone_release() {
  local clone=$1
  git clone -q --no-local "$src" "$clone"
  git -C "$clone" checkout -q --detach "$(cat "$work/commit")"
  release "$clone" "$clone.log" -u TOLVANE_SIGN_PFX -u SOURCE_DATE_EPOCH
  grep -q "These files are unsigned" "$clone.log" || fail "release.sh does not say the files are unsigned"
}

case $case in
build)
  rm -rf "$work"
  mkdir -p "$work"
  git -C "$src" rev-parse HEAD >"$work/commit"
  clone_release "$first"
  names=$(cd "$first/dist" && ls)
  version=$("$first/packaging/project.sh" version)
  for want in SHA256SUMS "Tolvane-$version-setup.exe" "Tolvane-$version-x64.zip" "Tolvane-$version-x86.zip" \
              "tolvane_${version}_amd64.deb" "tolvane_${version}_arm64.deb" "tolvane-$version-1.x86_64.rpm" Tolvane.Tolvane.yaml Tolvane.Tolvane.installer.yaml \
              Tolvane.Tolvane.locale.zh-CN.yaml tolvane.json; do
    grep -qxF "$want" <<<"$names" || fail "dist/ lacks $want: $names"
  done
  # Each zip: the program, the read-me (its name in GBK, with the UTF-8 name for unzip)
  # the licence and the third-party notices, all texts as Notepad reads them on any Windows: UTF-8 with a BOM and
  # CR LF; the read-me names the version and the home page.
  for arch in x86 x64; do
    zip=$first/dist/Tolvane-$version-$arch.zip
    listing=$(unzip -Z1 "$zip" | paste -sd' ')
    [ "$listing" = "Tolvane.exe 使用说明.txt LICENSE.txt THIRD-PARTY-NOTICES.txt" ] || fail "Tolvane-$version-$arch.zip holds $listing"
    for text in 使用说明.txt LICENSE.txt THIRD-PARTY-NOTICES.txt; do
      unzip -p "$zip" "$text" | head -c 3 | cmp -s - <(printf '\xef\xbb\xbf') || fail "$text has no UTF-8 BOM"
      ! unzip -p "$zip" "$text" | grep -qv $'\r$' || fail "$text has a line without CR LF"
    done
    readme=$(unzip -p "$zip" 使用说明.txt)
    for want in "$version" "$("$first/packaging/project.sh" homepage)"; do
      grep -qF "$want" <<<"$readme" || fail "使用说明.txt does not name $want"
    done
  done
  # The programs as a user unpacks them, for the end-to-end tests (tools/test.sh).
  for arch in x86 x64; do
    mkdir -p "$work/shipped/$arch"
    unzip -q -o "$first/dist/Tolvane-$version-$arch.zip" Tolvane.exe -d "$work/shipped/$arch"
  done
  python3 "$src/tests/release/check_manifests.py" "$first/dist" "$first" || fail "the package managers' manifests"
  # The amd64 package that ships, as Debian's checker sees it (the arm64 one has its own test).
  lintian --fail-on error,warning "$first/dist/tolvane_${version}_amd64.deb" 2>/dev/null ||
    fail "lintian finds errors or warnings in tolvane_${version}_amd64.deb"
  (cd "$first/dist" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match"
  echo "dist/ of $(cat "$work/commit"): $(paste -sd' ' <<<"$names")"
  ;;
again)
  [ -d "$first/dist" ] || fail "no earlier release in $first (the test 'build' makes it)"
  rm -rf "$work/b"
  clone_release "$second"
  names=$(cd "$first/dist" && ls)
  [ "$names" = "$(cd "$second/dist" && ls)" ] || fail "the two dist/ folders hold different files"
  differ=
  for name in $names; do cmp -s "$first/dist/$name" "$second/dist/$name" || differ+=" $name"; done
  [ -z "$differ" ] || fail "built twice from $(cat "$work/commit"), these differ:$differ (in $first/dist and $second/dist)"
  echo "dist/ of $(cat "$work/commit") built twice, the same bytes"
  ;;
signed)
  [ -d "$second/dist" ] || fail "no earlier release in $second (the test 'again' makes it)"
  keys=$work/keys
  rm -rf "$keys"
  mkdir -p "$keys"
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$keys/key.pem" -out "$keys/cert.pem" -days 2 \
    -subj "/CN=Tolvane test signer" -addext extendedKeyUsage=codeSigning 2>/dev/null
  openssl pkcs12 -export -inkey "$keys/key.pem" -in "$keys/cert.pem" -out "$keys/signer.pfx" -passout pass:throwaway
  python3 "$src/tests/release/tsa_responder.py" "$keys/tsa" >"$keys/tsa.url" &
  responder=$!
  trap 'kill $responder 2>/dev/null' EXIT
  for _ in $(seq 100); do [ -s "$keys/tsa.url" ] && break; sleep 0.1; done
  [ -s "$keys/tsa.url" ] || fail "the time-stamp server did not start"
  release "$second" "$work/signed.log" TOLVANE_SIGN_PFX="$keys/signer.pfx" TOLVANE_SIGN_PASSWORD=throwaway \
    TOLVANE_SIGN_TIMESTAMP_URL="$(cat "$keys/tsa.url")"
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
    # Three days on, the certificate has expired; the time stamp keeps the signature valid.
    report=$(osslsigncode verify -CAfile "$keys/cert.pem" -TSA-CAfile "$keys/tsa/tsa.pem" \
      -time $(($(date +%s) + 3 * 86400)) -in "$file" 2>&1) || { echo "$report"; fail "$file does not verify once the certificate has expired"; }
    grep -q "Timestamp Server Signature verification: ok" <<<"$report" || { echo "$report"; fail "$file has no time stamp"; }
  done
  # An unsigned program does not pass the same check.
  ! osslsigncode verify -CAfile "$keys/cert.pem" -in "$first/build/release-x64/Tolvane.exe" >/dev/null 2>&1 ||
    fail "osslsigncode verifies an unsigned program"
  echo "signed and verified: ${files[*]}"
  ;;
arm64)
  [ -d "$first/dist" ] || fail "no earlier release in $first (the test 'build' makes it)"
  deb=$first/dist/tolvane_$("$first/packaging/project.sh" version)_arm64.deb
  [ -f "$deb" ] || fail "dist/ lacks $(basename "$deb")"
  [ "$(dpkg-deb -f "$deb" Architecture)" = arm64 ] || fail "$deb is not for arm64"
  lintian --fail-on error,warning "$deb" 2>/dev/null || fail "lintian finds errors or warnings in $deb"
  /usr/bin/python3 -W ignore "$first/tests/e2e/linux/arm64_smoke.py" "$deb" "$work/arm64" ||
    fail "the arm64 program under qemu-user (logs in $work/arm64)"
  echo "$(basename "$deb"): lintian clean, started under qemu-user, its countdown reached logind"
  ;;
notices)
  [ -d "$first/dist" ] || fail "no earlier release in $first (the test 'build' makes it)"
  version=$("$first/packaging/project.sh" version)
  check() { python3 "$(dirname "$0")/notices_check.py" "$@" || fail "$(basename "$2"): a notice is missing"; }
  unpacked=$work/notices
  rm -rf "$unpacked"
  mkdir -p "$unpacked"
  for arch in x86 x64; do
    unzip -p "$first/dist/Tolvane-$version-$arch.zip" THIRD-PARTY-NOTICES.txt >"$unpacked/$arch.txt" ||
      fail "Tolvane-$version-$arch.zip has no THIRD-PARTY-NOTICES.txt"
    check "$first/build/release-$arch/Tolvane.map" "$first/build/release-$arch" "$first" "$unpacked/$arch.txt"
  done
  dpkg-deb -x "$first/dist/tolvane_${version}_amd64.deb" "$unpacked/deb"
  mkdir -p "$unpacked/rpm"
  rpm2cpio "$first/dist/tolvane-$version-1.x86_64.rpm" | cpio -idm --quiet -D "$unpacked/rpm"
  check "$first/build/release-linux/tolvane.map" "$first/build/release-linux" "$first" \
    "$unpacked/deb/usr/share/doc/tolvane/copyright" "$unpacked/rpm/usr/share/licenses/tolvane/copyright"
  ;;
rpm)
  [ -d "$first/dist" ] || fail "no earlier release in $first (the test 'build' makes it)"
  version=$("$first/packaging/project.sh" version)
  package=$first/dist/tolvane-$version-1.x86_64.rpm
  report=$(rpmlint -c "$first/packaging/rpm/rpmlint.toml" "$package" 2>&1) || { echo "$report"; fail "rpmlint"; }
  grep -q " 0 errors, 0 warnings" <<<"$report" || { echo "$report"; fail "rpmlint finds fault with the RPM"; }
  requires=$(rpm -qp --requires "$package")
  for library in libgtk-3.so.0 libfluidsynth.so.3 libpulse-simple.so.0 libXss.so.1 libwayland-client.so.0; do
    grep -q "^$library()" <<<"$requires" || fail "rpm's generators found no $library: $requires"
  done
  scratch=$work/rpm-root
  rm -rf "$scratch"
  mkdir -p "$scratch"
  rpm --root "$scratch" --nodeps -i "$package" || fail "rpm -i into $scratch"
  installed=$(rpm --root "$scratch" -ql tolvane | grep -v '^/usr/share/licenses/tolvane\(/\|$\)')
  # The same install tree as the Debian package: its files but Debian's own.
  debian=$(dpkg-deb --fsys-tarfile "$first/dist/tolvane_${version}_amd64.deb" | tar -t | grep -v '/$' |
           sed 's|^\.||' | grep -v '^/usr/share/doc/tolvane/' | LC_ALL=C sort)
  [ "$installed" = "$debian" ] || fail "the RPM installs $(diff <(echo "$debian") <(echo "$installed"))"
  for file in $installed; do [ -f "$scratch$file" ] || fail "$file is not in $scratch"; done
  [ -x "$scratch/usr/bin/tolvane" ] || fail "/usr/bin/tolvane is not executable"
  cmp -s "$scratch/usr/bin/tolvane" <(dpkg-deb --fsys-tarfile "$first/dist/tolvane_${version}_amd64.deb" | tar -xO ./usr/bin/tolvane) ||
    fail "the RPM's tolvane is not the Debian package's"
  for file in LICENSE copyright; do
    [ -s "$scratch/usr/share/licenses/tolvane/$file" ] || fail "the RPM lacks /usr/share/licenses/tolvane/$file"
  done
  rpm --root "$scratch" -q --changelog tolvane | grep -q "^\* .* - $version-1\$" || fail "the RPM's changelog has no entry for $version"
  rpm --root "$scratch" -e tolvane || fail "rpm -e"
  [ ! -e "$scratch/usr/bin/tolvane" ] || fail "rpm -e leaves /usr/bin/tolvane"
  [ ! -e "$scratch/usr/share/licenses/tolvane" ] || fail "rpm -e leaves /usr/share/licenses/tolvane"
  echo "$(basename "$package"): rpmlint clean, installed into $scratch and removed, $(wc -l <<<"$installed") files as in the Debian package"
  ;;
installer)
  [ -d "$first/dist" ] || fail "no earlier release in $first (the test 'build' makes it)"
  version=$("$first/packaging/project.sh" version)
  setup=$first/dist/Tolvane-$version-setup.exe
  unpacked=$work/installer
  rm -rf "$unpacked"
  mkdir -p "$unpacked"
  for arch in x86 x64; do unzip -q "$first/dist/Tolvane-$version-$arch.zip" -d "$unpacked/$arch"; done
  # What the script installs, in its order: each File line's name and the zip that ships
  # that file (the program of its architecture; the texts, which both zips hold, from the
  # x86 one), then the uninstaller. A line of another form fails: it would go unchecked.
  names=() sources=()
  while read -r line; do
    if [[ $line =~ ^File\ \"/oname=([^\"]+)\"\ \"\$\{X(86|64)EXE\}\"$ ]]; then
      names+=("${BASH_REMATCH[1]}") sources+=("x${BASH_REMATCH[2]}/${BASH_REMATCH[1]}")
    elif [[ $line =~ ^File\ \"\$\{TEXTS\}\\([^\"]+)\"$ ]]; then
      names+=("${BASH_REMATCH[1]}") sources+=("x86/${BASH_REMATCH[1]}")
    elif [[ $line =~ ^WriteUninstaller\ \"\$INSTDIR\\([^\"]+)\"$ ]]; then
      names+=("${BASH_REMATCH[1]}") sources+=("")
    elif [[ $line =~ ^(File|WriteUninstaller)[[:space:]] ]]; then
      fail "tolvane.nsi: a line this test cannot read: $line"
    fi
  done <"$first/packaging/windows/tolvane.nsi"
  listing=$(7z l -ba -slt "$setup" | sed -n 's/^Path = //p' | grep -v '^\$PLUGINSDIR/' | paste -sd' ') ||
    fail "7z cannot list $setup"
  [ -n "$listing" ] && [ "$listing" = "${names[*]}" ] ||
    fail "$(basename "$setup") holds $listing; its script installs ${names[*]}"
  # 7-Zip gives the files of one name one after the other, in the script's order.
  for name in $(printf '%s\n' "${names[@]}" | sort -u); do
    want=()
    for i in "${!names[@]}"; do
      [ "${names[$i]}" != "$name" ] || [ -z "${sources[$i]}" ] || want+=("$unpacked/${sources[$i]}")
    done
    [ ${#want[@]} -eq 0 ] || 7z e -so "$setup" "$name" 2>/dev/null | cmp -s - <(cat "${want[@]}") ||
      fail "$name in $(basename "$setup") is not the zips' ${want[*]#"$unpacked/"}"
  done
  echo "$(basename "$setup"): ${names[*]}, the programs and texts byte for byte the zips'"
  ;;
*) echo "usage: $0 build|again|signed|arm64|notices|rpm|installer <source> <work folder>" >&2; exit 2 ;;
esac
