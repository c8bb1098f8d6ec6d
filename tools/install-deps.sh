#!/usr/bin/env bash
# Installs, as root with apt, whatever the build and the tests need and the
# machine lacks. Safe to run again: it only installs missing packages.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
packages=(cmake make g++ libgtest-dev googletest g++-mingw-w64-x86-64-posix wine wine64 xvfb x11-utils imagemagick
          fonts-wqy-zenhei fonts-wqy-microhei xdotool pulseaudio pulseaudio-utils sox locales
          pkg-config libgtk-3-dev libxss-dev dbus dbus-x11 at-spi2-core python3-dbusmock python3-pyatspi gir1.2-atspi-2.0)
if [ -f "$here/tests/e2e/packages.txt" ]; then
  while read -r p; do [ -n "$p" ] && [ "${p#\#}" = "$p" ] && packages+=("$p"); done < "$here/tests/e2e/packages.txt"
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "These packages are missing; run as root (or with sudo) to install them: ${missing[*]}" >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
