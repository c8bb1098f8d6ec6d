#!/bin/bash
# Runs Tolvane.exe under Wine in the prepared prefix and saves a screenshot of its window.
# Builds nothing.
#
#   run_program.sh <Tolvane.exe> [screenshot.png] [--keep | --close]
#
# With a usable $DISPLAY the program shows there and keeps running after the screenshot
# (--close closes it). Without one it runs on a private Xvfb and is closed after the
# screenshot (--keep leaves both running; `tests/e2e/wine_env.sh cleanup` ends them).
# The window is found with tolvane_driver.exe, by default the one of the same build
# (<build>/tests/e2e/tolvane_driver.exe); $TOLVANE_DRIVER names another.
set -u
here=$(cd "$(dirname "$0")" && pwd)
usage() { echo "usage: $0 <Tolvane.exe> [screenshot.png] [--keep | --close]" >&2; exit 2; }

exe= shot= mode=
for arg in "$@"; do
  case $arg in
    --keep | --close) mode=${arg#--} ;;
    -*) usage ;;
    *) if [ -z "$exe" ]; then exe=$arg; elif [ -z "$shot" ]; then shot=$arg; else usage; fi ;;
  esac
done
[ -n "$exe" ] || usage
[ -f "$exe" ] || { echo "no program at $exe" >&2; exit 1; }
exe=$(cd "$(dirname "$exe")" && pwd)/$(basename "$exe")
driver=${TOLVANE_DRIVER:-$(dirname "$exe")/tests/e2e/tolvane_driver.exe}
[ -f "$driver" ] || { echo "no test driver at $driver: build the target tolvane_driver, or set TOLVANE_DRIVER" >&2; exit 1; }
[ -z "$shot" ] || shot=$(mkdir -p "$(dirname "$shot")" && cd "$(dirname "$shot")" && pwd)/$(basename "$shot")

: "${TOLVANE_E2E_DISPLAY:=auto}"
export TOLVANE_E2E_DISPLAY
# shellcheck source=wine_env.sh
source "$here/wine_env.sh"
tolvane_e2e_prefix || exit 1
tolvane_e2e_display || exit 1
private_display=${TOLVANE_E2E_XVFB_PID:+yes}
[ -n "$mode" ] || mode=$([ -n "$private_display" ] && echo close || echo keep)

drv() { timeout 60 wine "$driver" "$@"; }
fail() {
  echo "$*" >&2
  [ -s "$log" ] && tail -n 20 "$log" >&2
  tolvane_e2e_cleanup
  exit 1
}

log="$TOLVANE_E2E_DIR/program.log"
(cd "$(dirname "$exe")" && exec setsid wine "$(basename "$exe")" >"$log" 2>&1 </dev/null) &
pid=$!
drv wait-window 60000 || fail "the Tolvane window did not appear"

if [ -n "$shot" ]; then
  # The clock shows the layout's placeholder until the first tick of 时钟1.
  drv wait-not 标签3 caption "$TOLVANE_E2E_CLOCK_PLACEHOLDER" 5000 || fail "the clock did not start"
  read -r x y w h <<<"$(drv get window rect)"
  timeout 30 import -display "$DISPLAY" -window root -crop "${w}x${h}+${x}+${y}" +repage "$shot" ||
    fail "could not save the screenshot"
  echo "screenshot: $shot"
fi

if [ "$mode" = close ]; then
  drv close 20000 || fail "the window did not close"
  deadline=$((SECONDS + 30))
  while kill -0 "$pid" 2>/dev/null && [ $SECONDS -lt $deadline ]; do sleep 0.1; done
  wait "$pid" 2>/dev/null
  code=$?
  tolvane_e2e_cleanup
  [ "$code" -eq 0 ] || { echo "Tolvane.exe exited with code $code" >&2; exit 1; }
  exit 0
fi

echo "Tolvane is running on display $DISPLAY (Wine prefix $WINEPREFIX)."
if [ -n "$private_display" ]; then
  echo "$TOLVANE_E2E_XVFB_PID" >"$TOLVANE_E2E_DIR/xvfb.pid"
  echo "End it and its display with: $here/wine_env.sh cleanup"
fi
exit 0
