#!/usr/bin/env bash
# Packs a configured and built tree of the Linux program as tolvane-<version>-1.<arch>.rpm
# with rpmbuild: the tree's install rules into a staging folder (as build-deb.sh does),
# the licence and the copyright file that names what is linked in, the changelog from
# NEWS, the libraries found by rpm's dependency generators. With SOURCE_DATE_EPOCH the
# build time and every file time are that moment, so the same tree gives the same bytes.
#
#   build-rpm.sh <build folder> <output folder>     prints the package's path
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 <build folder> <output folder>" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
configured=$build/package
[ -f "$configured/copyright" ] || { echo "$build is not a configured tree of the Linux program" >&2; exit 1; }
version=$("$src/packaging/project.sh" version)
maintainer=$(sed -n 's/^Maintainer: //p' "$configured/control")

stage=$(mktemp -d "$out/rpm-stage.XXXXXX")
trap 'rm -rf "$stage"' EXIT
root=$stage/root
DESTDIR=$root cmake --install "$build" --prefix /usr --strip >/dev/null
strip --remove-section=.comment --remove-section=.note "$root/usr/bin/tolvane"
# Compressed here: Debian's rpm runs its brp-compress with a shell that cannot.
gzip -9n "$root/usr/share/man/man1/tolvane.1"
mkdir -p "$stage/notices"
cp "$src/LICENSE" "$configured/copyright" "$stage/notices/"
{ cat "$here/tolvane.rpm.in"; python3 "$src/packaging/linux/news.py" rpm "$src/NEWS" "$version" "$maintainer"; } \
  >"$stage/tolvane.in"

epoch=(--define "use_source_date_epoch_as_buildtime 0")
if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
  epoch=(--define "use_source_date_epoch_as_buildtime 1" --define "clamp_mtime_to_source_date_epoch 1")
fi
rpmbuild -bb --quiet "${epoch[@]}" \
  --define "_topdir $stage/top" --define "_rpmdir $stage/rpms" --define "_build_name_fmt %{NAME}-%{VERSION}-%{RELEASE}.%{ARCH}.rpm" \
  --define "_buildhost reproducible" --define "_binary_payload w9.xzdio" \
  --define "tree $root" --define "notices $stage/notices" \
  --define "tolvane_version $version" --define "packager_ $maintainer" --define "homepage $("$src/packaging/project.sh" homepage)" \
  "$stage/tolvane.in" >"$stage/rpmbuild.log" 2>&1 || { cat "$stage/rpmbuild.log" >&2; exit 1; }
rpm=$(find "$stage/rpms" -name '*.rpm')
mv "$rpm" "$out/"
echo "$out/$(basename "$rpm")"
