#!/usr/bin/env bash
# Builds what a user downloads into dist/: the Windows program for x86 and x64 as zips,
# one installer for both, the Debian packages for amd64 and arm64 (cross-built), the RPM,
# the winget and Scoop manifests, and SHA256SUMS over them. The version is the CMake project
# version; the commit's time is the only clock the build reads (SOURCE_DATE_EPOCH), so the
# same commit gives the same bytes.
#
# With TOLVANE_SIGN_PFX (a PKCS#12 file) and TOLVANE_SIGN_PASSWORD, both programs and
# the installer (and the uninstaller inside it) get an Authenticode signature (SHA-256)
# before they are packed and summed; with TOLVANE_SIGN_TIMESTAMP_URL too, an RFC 3161
# time-stamp server countersigns each, so the signatures outlive the certificate.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
[ $# -eq 0 ] || { echo "usage: $0 (no arguments; TOLVANE_SIGN_PFX and TOLVANE_SIGN_PASSWORD to sign)" >&2; exit 2; }
started=$SECONDS
tools/install-deps.sh release

version=$(packaging/project.sh version)
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C.UTF-8
jobs=$(nproc)

signing=
if [ -n "${TOLVANE_SIGN_PFX:-}" ]; then
  [ -f "$TOLVANE_SIGN_PFX" ] || { echo "TOLVANE_SIGN_PFX: no file $TOLVANE_SIGN_PFX" >&2; exit 1; }
  [ -n "${TOLVANE_SIGN_PASSWORD+set}" ] || { echo "TOLVANE_SIGN_PFX needs TOLVANE_SIGN_PASSWORD" >&2; exit 1; }
  signing=yes
  export TOLVANE_SIGN_PFX TOLVANE_SIGN_PASSWORD
else
  unset TOLVANE_SIGN_TIMESTAMP_URL
fi
# Signs a Windows program in place (packaging/windows/sign.sh).
sign() {
  [ -z "$signing" ] || packaging/windows/sign.sh "$1"
}

# Runs a build step with its output in a log, shown only when the step fails.
quietly() {
  local log=$1
  shift
  "$@" >>"$log" 2>&1 || { tail -n 40 "$log" >&2; echo "failed: $* (see $log)" >&2; return 1; }
}

dist=$root/dist
stage=$root/build/release-stage
rm -rf "$dist" "$stage"
mkdir -p "$dist" "$stage"

echo "== Tolvane $version: the Windows programs"
for arch in x86 x64; do
  # The linker's map lists what the program links in (tests/release/notices_check.py).
  quietly "$stage/build-$arch.log" cmake --preset "release-$arch" -DTOLVANE_LINK_MAP=ON
  quietly "$stage/build-$arch.log" cmake --build "build/release-$arch" -j"$jobs" --target Tolvane
  mkdir -p "$stage/$arch"
  cp "build/release-$arch/Tolvane.exe" "$stage/$arch/Tolvane.exe"
  sign "$stage/$arch/Tolvane.exe"
  packaging/windows/make_texts.sh "$stage/$arch"
  (cd "$stage/$arch" && python3 "$root/packaging/windows/make_zip.py" "$dist/Tolvane-$version-$arch.zip" \
     Tolvane.exe 使用说明.txt LICENSE.txt THIRD-PARTY-NOTICES.txt)
done

echo "== The installer"
packaging/windows/make_setup.sh "$stage/x86/Tolvane.exe" "$stage/x64/Tolvane.exe" "$dist/Tolvane-$version-setup.exe"
sign "$dist/Tolvane-$version-setup.exe"

# arm64 with Debian's cross compilers and its :arm64 libraries (cmake/aarch64-linux-gnu.cmake).
for arch in amd64 arm64; do
  echo "== The Debian package ($arch)"
  preset=release-linux
  [ "$arch" = amd64 ] || preset=release-linux-$arch
  # Debian's own compiler and linker flags for that architecture (hardening; source
  # paths mapped to ".").
  eval "$(DEB_HOST_ARCH=$arch DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
  quietly "$stage/build-linux-$arch.log" cmake --preset "$preset" -DTOLVANE_LINK_MAP=ON -DCMAKE_C_FLAGS="$CPPFLAGS $CFLAGS" \
    -DCMAKE_CXX_FLAGS="$CPPFLAGS $CXXFLAGS" -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS"
  quietly "$stage/build-linux-$arch.log" cmake --build "build/$preset" -j"$jobs" --target tolvane
  packaging/linux/build-deb.sh "build/$preset" "$dist" "$arch" >/dev/null
done
echo "== The RPM package"
packaging/rpm/build-rpm.sh build/release-linux "$dist" >/dev/null

echo "== The winget and Scoop manifests"
packaging/windows/make_manifests.py "$dist"

(cd "$dist" && sha256sum -- * >SHA256SUMS)
echo "== dist/ ($((SECONDS - started)) s)"
(cd "$dist" && ls -l --time-style=+ -- * | awk '{print $5 "\t" $NF}')
if [ -n "$signing" ]; then
  stamp="without a time stamp (valid only while the certificate is)"
  [ -z "${TOLVANE_SIGN_TIMESTAMP_URL:-}" ] || stamp="time-stamped by $TOLVANE_SIGN_TIMESTAMP_URL"
  echo "Signed Tolvane.exe (x86, x64), the installer and its uninstaller with $TOLVANE_SIGN_PFX, $stamp."
else
  echo "These files are unsigned: set TOLVANE_SIGN_PFX and TOLVANE_SIGN_PASSWORD to sign them."
fi
