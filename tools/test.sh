#!/usr/bin/env bash
# Runs every test: the core's unit, scenario and fuzz tests natively under
# AddressSanitizer and UndefinedBehaviorSanitizer; the Linux desktop program end to
# end on a virtual display; then, cross-built with MinGW-w64,
# the unit tests as Windows programs and the end-to-end tests of Tolvane.exe, both
# under Wine on a virtual display. The Linux step includes its Debian package, installed
# on this machine and removed again (as root); the installer under Wine in a prefix of its
# own; last, tools/release.sh twice in fresh clones of HEAD, which must give the same bytes,
# and once more signed. Fails when any test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
jobs=$(nproc)

echo "== Core with sanitizers"
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --preset sanitize -j"$jobs"

echo "== Linux desktop program, end to end on Xvfb"
cmake --preset native >/dev/null
cmake --build --preset native -j"$jobs" --target tolvane
linux_status=0
# Desktop end-to-end tests share two cores with timers and sound; one that fails is run
# once more, as the Wine tests are.
ctest --preset native -L linux --repeat until-pass:2 || linux_status=$?

echo "== Windows build, tested under Wine"
cmake --preset mingw >/dev/null
cmake --build --preset mingw -j"$jobs"
# The unit tests and the end-to-end tests share one prepared Wine prefix.
# shellcheck source=../tests/e2e/wine_env.sh
source tests/e2e/wine_env.sh
tolvane_e2e_prefix
trap tolvane_e2e_cleanup EXIT
ctest --preset mingw -L unit
# Wine itself now and then hangs or faults in a way no program can answer for, so an
# end-to-end test that fails is run once more; every failed attempt is listed.
rm -f "$TOLVANE_E2E_DIR/failures.log"
status=0
ctest --preset mingw -L e2e --repeat until-pass:2 || status=$?
if [ -s "$TOLVANE_E2E_DIR/failures.log" ]; then
  echo "== End-to-end attempts that failed:"
  cat "$TOLVANE_E2E_DIR/failures.log"
fi

echo "== Release files: built twice from fresh clones of HEAD, then signed"
release_status=0
ctest --preset native -L release || release_status=$?

[ "$status" -ne 0 ] || status=$linux_status
[ "$status" -ne 0 ] || status=$release_status
exit "$status"
