#!/usr/bin/env bash
# Installs with apt the packages of the groups given that the machine lacks: as root
# directly, otherwise through sudo (for the install only). Safe to run again: it only
# installs missing packages.
#
#   tools/install-deps.sh [--list] [run | linux-tests | windows-tests | release | all]...
#
# No group is all of them. --list prints the packages of the groups, one a line, and
# installs nothing. Only the groups windows-tests and release name packages of other
# architectures (wine32:i386, the arm64 libraries); installing them adds that
# architecture to dpkg. The run group adds none. Exit status 3: everything is installed
# but some packages of another architecture, which the mirror could not give; the last
# line of the output names them: "Not installed (...): <package>...".
set -euo pipefail

# Building Tolvane.exe for x64 and showing it under Wine (tools/run.sh): the cross
# compiler, GoogleTest's sources (the mingw preset configures the unit tests too),
# 64-bit Wine with its fonts, a virtual display and its screenshot, the CJK fonts the
# prefix maps the window's faces to, and the locale tools the prefix's Chinese locale
# is built with.
run=(cmake make googletest g++-mingw-w64-x86-64-posix wine wine64 fonts-wine xvfb x11-utils imagemagick
     fonts-wqy-zenhei fonts-wqy-microhei locales)
# The core's tests natively (sanitizers), the Linux program's build and its end-to-end
# tests: a window manager, a tray, a Wayland compositor, private buses with a mock logind,
# the accessibility bus, PulseAudio's null sink, FluidSynth's sound font, the desktops' own
# session and power managers, and the checkers of the Debian package it builds and installs.
linux_tests=(cmake make g++ libgtest-dev googletest pkg-config libgtk-3-dev libxss-dev libpulse-dev libfluidsynth-dev
             libdbusmenu-gtk3-dev libwayland-dev libwayland-bin wayland-protocols
             xfce4-session xfce4-power-manager gnome-session-bin mate-session-manager cinnamon-session
             cinnamon-settings-daemon libglib2.0-bin
             lxqt-session
             gnome-shell
             xvfb x11-utils xdotool xclip xsettingsd openbox mutter trayer fonts-wqy-zenhei fonts-wqy-microhei locales
             dbus dbus-x11 at-spi2-core python3 python3-dbusmock python3-pyatspi gir1.2-atspi-2.0
             pulseaudio pulseaudio-utils sox timgm6mb-soundfont
             dpkg-dev lintian appstream desktop-file-utils)
# The Windows builds' unit and end-to-end tests: both cross compilers, Wine's 32-bit side
# for the x86 build, the sound checks (PulseAudio, sox, a MIDI file to play), input, and
# the installer with its signature.
windows_tests=("${run[@]}" g++-mingw-w64-i686-posix wine32:i386 xdotool pulseaudio pulseaudio-utils sox python3
               planetblupi-music-midi nsis osslsigncode)
# Releases (tools/release.sh): every build above, the installer and its signature, the
# Debian package's checkers, the winget manifests' check (YAML); the arm64 Debian package
# with Debian's cross compilers, the libraries it links as :arm64 (multiarch, beside the
# machine's own) and qemu-user to start it; the RPM package, its checker and the tools its
# test unpacks it with; 7-Zip, which unpacks the installer for its check.
release=(cmake make g++ pkg-config libgtk-3-dev libxss-dev libpulse-dev libfluidsynth-dev libdbusmenu-gtk3-dev
         libwayland-dev libwayland-bin wayland-protocols g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
         nsis osslsigncode lintian appstream desktop-file-utils dpkg-dev python3 python3-yaml
         crossbuild-essential-arm64 qemu-user-static libgtk-3-dev:arm64 libxss-dev:arm64 libpulse-dev:arm64
         libfluidsynth-dev:arm64 libdbusmenu-gtk3-dev:arm64 libwayland-dev:arm64 librsvg2-common:arm64
         rpm rpmlint rpm2cpio cpio p7zip-full)

list=no groups=()
for arg in "$@"; do
  case $arg in
    --list) list=yes ;;
    run | linux-tests | windows-tests | release) groups+=("$arg") ;;
    all) groups+=(run linux-tests windows-tests release) ;;
    *) echo "usage: $0 [--list] [run | linux-tests | windows-tests | release | all]..." >&2; exit 2 ;;
  esac
done
[ ${#groups[@]} -gt 0 ] || groups=(run linux-tests windows-tests release)
packages=()
for group in "${groups[@]}"; do
  declare -n members=${group//-/_}
  packages+=("${members[@]}")
done
mapfile -t packages < <(printf '%s\n' "${packages[@]}" | awk '!seen[$0]++')
if [ "$list" = yes ]; then
  printf '%s\n' "${packages[@]}"
  exit 0
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
mapfile -t native < <(printf '%s\n' "${missing[@]}" | grep -v ':' || true)
mapfile -t foreign_arches < <(printf '%s\n' "${missing[@]}" | sed -n 's/.*:\([a-z0-9]*\)$/\1/p' | sort -u)
# First this machine's own architecture, with its lists only: apt drops every list of a
# suite when one of them fails, so a broken i386 list must not take the others with it.
# A mirror caught mid-sync fails one list now and then; what the others list is enough,
# and a package that is really missing still fails the install.
# Another package manager at work (an unattended upgrade) is waited for, not failed on.
own=(-o "APT::Architectures::=$(dpkg --print-architecture)" -o DPkg::Lock::Timeout=600)
"${as_root[@]}" apt-get update -qq "${own[@]}" ||
  echo "apt-get update reported a failure; installing from the lists it has" >&2
[ ${#native[@]} -eq 0 ] || "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${own[@]}" "${native[@]}" >/dev/null
# Then the packages of other architectures (Wine's 32-bit side, the arm64 build's
# libraries), one architecture at a time, with the lists of that one and the machine's.
# Their versions must match the machine's own packages of the same names exactly, which
# a stale list of that architecture cannot give: then they are left out and named, and
# the script ends with status 3 once the rest is installed (tools/test.sh reads which
# from its last line). apt's lists stay those of the last architecture installed; the next
# plain `apt-get update` brings all of them back.
unavailable=()
for arch in "${foreign_arches[@]}"; do
  dpkg --print-foreign-architectures | grep -qx "$arch" || "${as_root[@]}" dpkg --add-architecture "$arch"
  only=("${own[@]}" -o "APT::Architectures::=$arch")
  mapfile -t of_arch < <(printf '%s\n' "${missing[@]}" | grep ":$arch\$")
  "${as_root[@]}" apt-get update -qq "${only[@]}" ||
    echo "apt-get update reported a failure for $arch; installing from the lists it has" >&2
  "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${only[@]}" "${of_arch[@]}" >/dev/null ||
    unavailable+=("${of_arch[@]}")
done
if [ ${#unavailable[@]} -gt 0 ]; then
  echo "Not installed (this machine's mirror cannot give these packages of another architecture): ${unavailable[*]}"
  exit 3
fi
