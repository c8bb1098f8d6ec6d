#!/usr/bin/env bash
# Builds the Debian package from a built tree (packaging/linux/build-deb.sh), or takes
# the one TOLVANE_TESTED_DEB names (a release's), checks it
# with lintian, installs it on this machine with
# dpkg (dependencies through apt-get when some are missing), starts the installed
# tolvane on a private Xvfb and looks for its window, then removes the package.
# Installing needs root: skipped (77) otherwise, or when a tolvane package is already
# installed, which this test must not replace.
#
#   package_test.sh <build folder> <output folder>
set -euo pipefail
build=$(cd "$1" && pwd)
out=$2
mkdir -p "$out"
skip() { echo "skipped: $*"; exit 77; }
fail() { echo "FAIL: $*" >&2; exit 1; }
if dpkg-query -W -f='${Status}' tolvane 2>/dev/null | grep -q "install ok installed"; then
  skip "a tolvane package is already installed"
fi

rm -f "$out"/tolvane_*.deb
if [ -n "${TOLVANE_TESTED_DEB:-}" ]; then
  deb=$TOLVANE_TESTED_DEB  # the package a release shipped (tools/test.sh hands it over)
  [ -f "$deb" ] || fail "no package at $deb"
else
  deb=$("$(dirname "$0")/../../../packaging/linux/build-deb.sh" "$build" "$out") || fail "build-deb.sh"
fi
# Debian's own checker: no error (warnings are listed).
lintian --fail-on error "$deb" 2>/dev/null || fail "lintian finds errors in the package"

# The libraries: those dpkg-shlibdeps finds, and the sound libraries that control names.
depends=$(dpkg-deb -f "$deb" Depends)
for library in libgtk-3-0 libfluidsynth3 libpulse0 libxss1; do
  grep -q "$library" <<<"$depends" || fail "Depends lacks $library: $depends"
done
contents=$(dpkg-deb -c "$deb")
for file in ./usr/bin/tolvane ./usr/share/applications/tolvane.desktop ./usr/share/man/man1/tolvane.1.gz \
            ./usr/share/metainfo/io.github.tolvane.Tolvane.metainfo.xml ./usr/share/doc/tolvane/copyright \
            ./usr/share/icons/hicolor/16x16/apps/tolvane.png ./usr/share/icons/hicolor/48x48/apps/tolvane.png; do
  grep -q " $file\$" <<<"$contents" || fail "the package lacks $file"
done

# The desktop's own checkers, on the files as packed.
unpacked=$out/unpacked
rm -rf "$unpacked"
dpkg-deb -x "$deb" "$unpacked"
desktop-file-validate "$unpacked/usr/share/applications/tolvane.desktop" || fail "the menu entry does not validate"
appstreamcli validate --pedantic --no-net "$unpacked/usr/share/metainfo/io.github.tolvane.Tolvane.metainfo.xml" ||
  fail "the AppStream metainfo does not validate"

[ "$(id -u)" -eq 0 ] || skip "installing a package needs root"
xvfb=
# Whatever failed, the package goes again: a test run once more must find the machine as
# the first run did (with a tolvane left installed it would skip, and pass).
cleanup() {
  [ -z "${program:-}" ] || kill "$program" 2>/dev/null || true
  [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
  dpkg -r tolvane >/dev/null 2>&1 || true
}
trap cleanup EXIT
if ! dpkg -i "$deb" >"$out/dpkg.log" 2>&1; then
  DEBIAN_FRONTEND=noninteractive apt-get install -f -y -qq >>"$out/dpkg.log" 2>&1 || { cat "$out/dpkg.log"; fail "dpkg -i"; }
fi
[ "$(command -v tolvane)" = /usr/bin/tolvane ] || fail "tolvane is not on the path after installing"

# A display number nobody uses, also in other network namespaces (their abstract sockets).
for ((number = 300 + $$ % 500; ; number++)); do
  [ -e "/tmp/.X$number-lock" ] || [ -e "/tmp/.X11-unix/X$number" ] && continue
  grep -q "@/tmp/.X11-unix/X$number\$" /proc/net/unix && continue
  break
done
export DISPLAY=:$number
Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >"$out/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 300); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
xdpyinfo >/dev/null 2>&1 || fail "Xvfb does not answer on $DISPLAY: $(cat "$out/xvfb.log")"

# Run from a folder of its own: HOME and the settings stay out of the way.
home=$(mktemp -d)
(cd "$home" && HOME=$home GDK_BACKEND=x11 NO_AT_BRIDGE=1 DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent \
  exec tolvane) 2>"$out/tolvane.log" &
program=$!
for _ in $(seq 200); do
  window=$(xdotool search --onlyvisible --name '^Tolvane$' 2>/dev/null | head -1) && [ -n "$window" ] && break
  kill -0 "$program" 2>/dev/null || fail "the installed tolvane ended: $(cat "$out/tolvane.log")"
  sleep 0.1
done
[ -n "${window:-}" ] || fail "no Tolvane window"
xwininfo -id "$window" | grep -q "Map State: IsViewable" || fail "the window is not shown"
import -window root "$out/installed.png" 2>/dev/null || true
kill "$program"
wait "$program" 2>/dev/null || true
program=
rm -rf "$home"
dpkg -r tolvane >"$out/remove.log" 2>&1 || fail "dpkg -r"
[ ! -e /usr/bin/tolvane ] || fail "/usr/bin/tolvane is left after removing"
echo "installed, started and removed $(basename "$deb")"
