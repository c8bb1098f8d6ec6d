#!/usr/bin/env bash
# Runs every test. First the core's unit, scenario and fuzz tests natively under
# AddressSanitizer and UndefinedBehaviorSanitizer. Then the release, built once by
# tools/release.sh in a fresh clone of HEAD: the files it ships are the ones tested
# from here on. The Linux system parts against private buses, and the Linux desktop
# program end to end on Xvfb and on Wayland under GNOME's compositor running headless,
# with the release's Debian package installed on this machine and removed again (as
# root). Then, cross-built with MinGW-w64 for x64 and for x86, the unit tests as Windows
# programs, and the end-to-end tests of the release's Tolvane.exe of each architecture
# and of the installer, under Wine on a virtual display (x86 on Wine's 32-bit side).
# Last, the rest of the release tests: a second clone builds it again and must give the
# same bytes, then signs it; the arm64 package, the RPM and the notices are checked.
# Fails when any test fails.
#
# The release and what is tested of it are built from the commit HEAD: changes not yet
# committed reach only the core's, the Linux program's and the Windows unit tests.
set -euo pipefail
cd "$(dirname "$0")/.."
# Status 3: the mirror could not give some packages of another architecture; the stages
# that need them are listed as not run at the end, and the rest goes on.
install_status=0
tools/install-deps.sh all || install_status=$?
[ "$install_status" -eq 0 ] || [ "$install_status" -eq 3 ] || exit "$install_status"
jobs=$(nproc)
not_run=()
[ -z "$(git status --porcelain --untracked-files=no)" ] ||
  echo "Uncommitted changes: the release and the end-to-end tests of what it ships use HEAD without them."

echo "== Core with sanitizers"
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --preset sanitize -j"$jobs"

echo "== Release files: built once from a fresh clone of HEAD"
cmake --preset native >/dev/null
release_status=0
ctest --preset native -R '^release_build$' || release_status=$?
# What it ships, for the tests below; without it (the build failed, and fails the run)
# they take this tree's own builds.
release=$PWD/build/native/release-test
shipped_deb=$(ls "$release"/a/dist/tolvane_*_amd64.deb 2>/dev/null || true)

echo "== Linux desktop program, end to end on Xvfb"
cmake --build --preset native -j"$jobs" --target tolvane tolvane_linux_tests tolvane_layout tolvane_idle_compositor
linux_status=0
# Desktop end-to-end tests share two cores with timers and sound; one that fails is run
# once more, as the Wine tests are.
TOLVANE_TESTED_DEB=$shipped_deb ctest --preset native -L linux --repeat until-pass:2 || linux_status=$?

# One Windows build per architecture for its unit tests and the end-to-end tests' driver;
# the program tested is the release's (TOLVANE_TESTED_PROGRAM). The tests labelled xp run
# in a prefix of their own where Wine reports Windows XP; each build has its prefixes
# under its own build tree (TOLVANE_E2E_DIR), so the x64 and x86 runs share nothing.
windows_status=0
wine32=yes
(export TOLVANE_E2E_DIR=build/mingw/e2e; source tests/e2e/wine_env.sh; tolvane_wine_runs_32bit) || wine32=no
windows_build() {
  local preset=$1 arch=$2 shipped=$3 status=0 targets=(tolvane_unit_tests newer_import tolvane_driver)
  shift 3  # then options for the end-to-end ctest run
  if [ "$arch" = win32 ] && [ "$wine32" = no ]; then
    not_run+=("the $preset build's unit tests and the end-to-end tests of the x86 Tolvane.exe: Wine's 32-bit side (wine32:i386) is not installed")
    return 0
  fi
  if [ "$arch" = win64 ] && [ "$wine32" = no ]; then
    not_run+=("the installer's end-to-end test (a 32-bit program): Wine's 32-bit side (wine32:i386) is not installed")
  fi
  echo "== Windows build ($preset), tested under Wine ($arch)"
  [ -f "$shipped" ] || { shipped=; targets+=(Tolvane); }
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs" --target "${targets[@]}"
  (
    export TOLVANE_E2E_DIR=build/$preset/e2e TOLVANE_E2E_WINEARCH=$arch
    [ -z "$shipped" ] || export TOLVANE_TESTED_PROGRAM=$shipped
    # The unit tests and the end-to-end tests share one prepared Wine prefix.
    # shellcheck source=../tests/e2e/wine_env.sh
    source tests/e2e/wine_env.sh
    tolvane_e2e_prefix
    trap tolvane_e2e_cleanup EXIT
    ctest --preset "$preset" -L unit || status=$?
    # Wine itself now and then hangs or faults in a way no program can answer for, so an
    # end-to-end test that fails is run once more; every failed attempt is listed.
    rm -f build/"$preset"/e2e*/failures.log
    ctest --preset "$preset" -L e2e --repeat until-pass:2 "$@" || status=$?
    for log in build/"$preset"/e2e*/failures.log; do
      [ -s "$log" ] || continue
      echo "== End-to-end attempts that failed ($log):"
      cat "$log"
    done
    exit "$status"
  ) || windows_status=$?
}
windows_build mingw win64 "$release/shipped/x64/Tolvane.exe"
# The x86 program runs the whole suite but the wave formats: on a loaded machine Wine's
# 32-bit audio output drops a few tens of milliseconds of its 1.5 s tones now and then,
# which that test hears as a broken tone. The formats are the same code in both builds.
windows_build mingw-x86 win32 "$release/shipped/x86/Tolvane.exe" -E '^e2e_wave_formats$'

echo "== Release files: built again from a second clone, then signed; arm64, RPM, notices"
# The first build is not made again (-FS): the tests take its files.
ctest --preset native -L release -E '^release_build$' -FS release_clone || release_status=$?

if [ ${#not_run[@]} -gt 0 ]; then
  echo "== NOT RUN on this machine:"
  printf '   %s\n' "${not_run[@]}"
fi
[ "$linux_status" -eq 0 ] || exit "$linux_status"
[ "$windows_status" -eq 0 ] || exit "$windows_status"
exit "$release_status"
