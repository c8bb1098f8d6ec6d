# shellcheck shell=bash
# One end-to-end test session: a private display, a fresh copy of Tolvane.exe in a run
# directory of its own (so no settings file of an earlier run is read), the driver, checks
# that record failures and go on, and screenshots. Everything started here ends on exit.
#
#   e2e_begin <test> <Tolvane.exe> <tolvane_driver.exe>
#   e2e_start                       start the program and wait for its window
#   drv <command> ...               run the driver (with a deadline)
#   check <name> <prop> <value>     compare a property now
#   check_wait <name> <prop> <value> [ms]   ... or once it has settled
#   check_run <description> <driver command...>  a driver command that must succeed
#   e2e_screenshot <file name>      the window, into $TOLVANE_E2E_DIR/screenshots
#   e2e_close                       close request; the program must exit with code 0
#   e2e_end                         report and exit with the test's result

# shellcheck source=wine_env.sh
source "$(dirname "${BASH_SOURCE[0]}")/wine_env.sh"

E2E_FAILURES=0
E2E_PROGRAM_PID=
E2E_TEST=
E2E_RUN_DIR=

e2e_fail() {
  echo "FAIL: $*" >&2
  E2E_FAILURES=$((E2E_FAILURES + 1))
}

e2e_abort() {
  e2e_fail "$@"
  e2e_end
}

e2e_begin() {
  E2E_TEST=$1 E2E_EXE=$2 E2E_DRIVER=$3
  [ -f "$E2E_EXE" ] || { echo "no program at $E2E_EXE" >&2; exit 1; }
  [ -f "$E2E_DRIVER" ] || { echo "no driver at $E2E_DRIVER" >&2; exit 1; }
  trap e2e_cleanup EXIT
  trap 'exit 1' INT TERM
  tolvane_e2e_prefix || exit 1
  tolvane_e2e_display || exit 1
  E2E_RUN_DIR="$TOLVANE_E2E_DIR/runs/$E2E_TEST"
  E2E_SHOTS="$TOLVANE_E2E_DIR/screenshots"
  rm -rf "$E2E_RUN_DIR"
  mkdir -p "$E2E_RUN_DIR" "$E2E_SHOTS"
  cp "$E2E_EXE" "$E2E_RUN_DIR/Tolvane.exe"
}

e2e_cleanup() {
  if [ "$E2E_FAILURES" -gt 0 ] && [ -n "$E2E_PROGRAM_PID" ] && kill -0 "$E2E_PROGRAM_PID" 2>/dev/null; then
    e2e_screenshot "$E2E_TEST-failure.png"
  fi
  tolvane_e2e_cleanup
  if [ -n "$E2E_RUN_DIR" ] && [ -s "$E2E_RUN_DIR/program.log" ]; then
    echo "--- program output ($E2E_RUN_DIR/program.log):" >&2
    tail -n 40 "$E2E_RUN_DIR/program.log" >&2
  fi
}

# Every driver run has a deadline of its own, so a hung program or Wine fails the test.
drv() { timeout 60 wine "$E2E_DRIVER" "$@"; }

e2e_start() {
  (cd "$E2E_RUN_DIR" && exec wine Tolvane.exe >"$E2E_RUN_DIR/program.log" 2>&1) &
  E2E_PROGRAM_PID=$!
  # The first program in a fresh Wine session also starts Wine's own services.
  drv wait-window 60000 || e2e_abort "the window did not appear"
}

check() {
  local name=$1 prop=$2 want=$3 got
  got=$(drv get "$name" "$prop") || { e2e_fail "cannot read $name $prop"; return 1; }
  [ "$got" = "$want" ] || { e2e_fail "$name $prop: expected \"$want\", got \"$got\""; return 1; }
}

check_wait() {
  drv wait "$@" || { e2e_fail "$1 $2 did not become \"$3\""; return 1; }
}

check_run() {
  local what=$1
  shift
  drv "$@" || { e2e_fail "$what"; return 1; }
}

e2e_screenshot() {
  local file="$E2E_SHOTS/$1" rect
  rect=$(drv get window rect) || return 1
  read -r x y w h <<<"$rect"
  timeout 30 import -display "$DISPLAY" -window root -crop "${w}x${h}+${x}+${y}" +repage "$file" ||
    { e2e_fail "screenshot $file failed"; return 1; }
  echo "screenshot: $file"
}

# A close request ends the program with exit code 0.
e2e_close() {
  drv close 20000 || { e2e_fail "the window did not close"; return 1; }
  local deadline=$((SECONDS + 30)) code
  while kill -0 "$E2E_PROGRAM_PID" 2>/dev/null; do
    [ $SECONDS -lt $deadline ] || { e2e_fail "the program did not exit after its window closed"; return 1; }
    sleep 0.1
  done
  wait "$E2E_PROGRAM_PID"
  code=$?
  E2E_PROGRAM_PID=
  [ "$code" -eq 0 ] || { e2e_fail "exit code $code, expected 0"; return 1; }
}

e2e_end() {
  if [ "$E2E_FAILURES" -gt 0 ]; then
    echo "$E2E_TEST: $E2E_FAILURES failed check(s)" >&2
    exit 1
  fi
  echo "$E2E_TEST: passed"
  exit 0
}
