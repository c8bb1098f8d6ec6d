#!/usr/bin/env bash
# Packs a configured and built tree of the Linux program as tolvane_<version>_<arch>.deb:
# the tree's install rules into a staging folder, then Debian's own files (copyright,
# changelog from NEWS, compressed man page, control with the libraries dpkg-shlibdeps finds
# beside the sound libraries that control names itself, as the program loads them only to
# play a sound, md5sums) and dpkg-deb. With SOURCE_DATE_EPOCH every file time is that
# moment, so the same tree gives the same bytes. A tree cross-built for another Debian
# architecture (arm64 with the release-linux-arm64 preset) is packed by naming that
# architecture.
#
#   build-deb.sh <build folder> <output folder> [architecture]   prints the package's path
set -euo pipefail
[ $# -eq 2 ] || [ $# -eq 3 ] || { echo "usage: $0 <build folder> <output folder> [architecture]" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
configured=$build/package
[ -f "$configured/control" ] || { echo "$build is not a configured tree of the Linux program" >&2; exit 1; }

version=$(sed -n 's/^Version: //p' "$configured/control")
maintainer=$(sed -n 's/^Maintainer: //p' "$configured/control")
arch=${3:-$(dpkg --print-architecture)}
# The binutils and dpkg-shlibdeps of that architecture; the program must be built for it.
gnu=$(dpkg-architecture -a "$arch" -qDEB_HOST_GNU_TYPE 2>/dev/null) || { echo "unknown architecture $arch" >&2; exit 2; }
export DEB_HOST_ARCH=$arch
case $arch in amd64) machine=X86-64 ;; arm64) machine=AArch64 ;; i386) machine="Intel 80386" ;; *) machine= ;; esac
built_for=$(readelf -h "$build/tolvane" | sed -n 's/^ *Machine: *//p')
[[ -z $machine || $built_for == *"$machine" ]] ||
  { echo "$build/tolvane is built for $built_for, not $arch" >&2; exit 1; }

stage=$(mktemp -d "$out/stage.XXXXXX")
trap 'rm -rf "$stage"' EXIT
root=$stage/root
DESTDIR=$root cmake --install "$build" --prefix /usr --strip >/dev/null
"$gnu-strip" --remove-section=.comment --remove-section=.note "$root/usr/bin/tolvane"
doc=$root/usr/share/doc/tolvane
install -d -m 755 "$doc"
install -m 644 "$configured/copyright" "$doc/copyright"
# The changelog is NEWS, whose newest release must be this version.
python3 "$here/news.py" debian "$here/../../NEWS" "$version" "$maintainer" >"$stage/changelog"
gzip -9n <"$stage/changelog" >"$doc/changelog.gz"
gzip -9n "$root/usr/share/man/man1/tolvane.1"

# dpkg-shlibdeps wants to be in a source tree: give it an empty one.
mkdir -p "$stage/src/debian"
touch "$stage/src/debian/control"
depends=$(cd "$stage/src" && dpkg-shlibdeps -O "$root/usr/bin/tolvane" 2>/dev/null | sed -n 's/^shlibs:Depends=//p')
[ -n "$depends" ] || { echo "dpkg-shlibdeps found no libraries for tolvane" >&2; exit 1; }

find "$root" -type d -exec chmod 755 {} +
find "$root" -type f -exec chmod 644 {} +
chmod 755 "$root/usr/bin/tolvane"
mkdir -m 755 "$root/DEBIAN"
size=$(du -sk --apparent-size --exclude=DEBIAN "$root" | cut -f1)
sed -e "s/\${Architecture}/$arch/" -e "s/\${Installed-Size}/$size/" -e "s/\${shlibs:Depends}/$depends/" \
  "$configured/control" >"$root/DEBIAN/control"
(cd "$root" && find usr -type f | LC_ALL=C sort | xargs md5sum) >"$root/DEBIAN/md5sums"
chmod 644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums"
if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
  find "$root" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
fi
deb=$out/tolvane_${version}_${arch}.deb
dpkg-deb --root-owner-group -Zxz --build "$root" "$deb" >/dev/null
echo "$deb"
