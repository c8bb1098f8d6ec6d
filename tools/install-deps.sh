#!/usr/bin/env bash
# Installs with apt whatever the build and the tests need and the machine lacks: as
# root directly, otherwise through sudo (for the install only). Safe to run again: it
# only installs missing packages.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
packages=(cmake make g++ libgtest-dev googletest g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64 wine32:i386 xvfb x11-utils imagemagick
          fonts-wqy-zenhei fonts-wqy-microhei xdotool pulseaudio pulseaudio-utils sox locales
          pkg-config libgtk-3-dev libxss-dev dbus dbus-x11 at-spi2-core python3-dbusmock python3-pyatspi gir1.2-atspi-2.0
          libpulse-dev libfluidsynth-dev dpkg-dev libdbusmenu-gtk3-dev openbox mutter trayer
          libwayland-dev libwayland-bin wayland-protocols)
# Releases (tools/release.sh): the installer, its signature, the Debian package's checkers,
# the check of the winget manifests (YAML).
packages+=(nsis osslsigncode lintian appstream desktop-file-utils python3 python3-yaml)
# The arm64 Debian package: Debian's cross compilers, the libraries it links as :arm64
# (multiarch, beside the machine's own) and qemu-user to start it in the release tests.
packages+=(crossbuild-essential-arm64 qemu-user-static libgtk-3-dev:arm64 libxss-dev:arm64 libpulse-dev:arm64
           libfluidsynth-dev:arm64 libdbusmenu-gtk3-dev:arm64 libwayland-dev:arm64 librsvg2-common:arm64)
# The RPM package: rpmbuild, its checker, and the tools its test unpacks it with.
packages+=(rpm rpmlint rpm2cpio cpio)
if [ -f "$here/tests/e2e/packages.txt" ]; then
  while read -r p; do [ -n "$p" ] && [ "${p#\#}" = "$p" ] && packages+=("$p"); done < "$here/tests/e2e/packages.txt"
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    echo "These packages are missing; run as root, or install sudo, to install them: ${missing[*]}" >&2
    exit 1
  fi
  as_root=(sudo DEBIAN_FRONTEND=noninteractive)
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# Packages of other architectures: Wine's 32-bit side (i386), the arm64 build's libraries.
for foreign in $(printf '%s\n' "${missing[@]}" | sed -n 's/.*:\([a-z0-9]*\)$/\1/p' | sort -u); do
  dpkg --print-foreign-architectures | grep -qx "$foreign" || "${as_root[@]}" dpkg --add-architecture "$foreign"
done
# A mirror caught mid-sync fails one index now and then; what the others list is enough,
# and a package that is really missing still fails the install below.
"${as_root[@]}" apt-get update -qq || echo "apt-get update reported a failure; installing from the lists it has" >&2
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
