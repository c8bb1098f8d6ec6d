# shellcheck shell=bash
# One end-to-end test session: a private display, a fresh copy of Tolvane.exe in a run
# directory of its own (so no settings file of an earlier run is read), the driver, checks
# that record failures and go on, and screenshots. Everything started here ends on exit.
#
#   e2e_begin <test> <Tolvane.exe> <tolvane_driver.exe>
#   e2e_start [--relay <file> | --trace <channels> <file>]
#                                   start the program and wait for its window; --relay
#                                   traces its power and sound calls, with their times,
#                                   into <file> (relay_calls, sound_calls),
#                                   --trace Wine's debug channels (WINEDEBUG) into <file>
#   drv <command> ...               run the driver (with a deadline)
#   check <name> <prop> <value>     compare a property now
#   check_wait <name> <prop> <value> [ms]   ... or once it has settled
#   check_run <description> <driver command...>  a driver command that must succeed
#   e2e_screenshot <file name>      the window, into $TOLVANE_E2E_DIR/screenshots
#   e2e_tray_menu [x y]             open the tray icon's popup menu with the pointer at x y
#   e2e_close                       close request; the program must exit with code 0
#   e2e_wait_exit [s]               the program must exit by itself, with code 0
#   e2e_new_session                 end every Wine process (the display stays)
#   e2e_witness_start [program] / e2e_witness_ended   another program of the session, to
#                                   see it end (the driver, or a copy of it at [program])
#   e2e_on_exit <command>           run the command when the test ends
#   e2e_dpi <dpi> [desktop]         the session's display scale (LogPixels) and Wine desktop
#                                   size (WxH, within TOLVANE_E2E_XVFB_SCREEN) until the test ends
#   e2e_countdown <HH:MM:SS> [radio...]  click the radio boxes, then start a countdown
#   e2e_expand                      show the reminder panel
#   write_ini <file> <line>...      write a settings file of these key=value lines, in GBK
#   check_ini <file> <line>...      the settings file holds exactly these lines, in GBK
#   e2e_end                         report and exit with the test's result

# shellcheck source=wine_env.sh
source "$(dirname "${BASH_SOURCE[0]}")/wine_env.sh"

E2E_FAILURES=0
E2E_FIRST_FAILURE=
E2E_PROGRAM_PID=
E2E_TEST=
E2E_RUN_DIR=
E2E_EXIT_STEPS=()
E2E_WITNESS_PID=
E2E_WITNESS_NOTES=
E2E_WITNESSES=0

e2e_fail() {
  echo "FAIL: $*" >&2
  E2E_FAILURES=$((E2E_FAILURES + 1))
  [ -n "$E2E_FIRST_FAILURE" ] || E2E_FIRST_FAILURE=$*
}

e2e_abort() {
  e2e_fail "$@"
  e2e_end
}

# The entry of every test script: <case> <Tolvane.exe> <tolvane_driver.exe> runs the
# script's test_<case>, after its e2e_before_case hook when it defines one.
e2e_main() {
  local case=${1:-}
  if ! declare -F "test_$case" >/dev/null || [ $# -ne 3 ]; then
    echo "usage: $0 <case> <Tolvane.exe> <tolvane_driver.exe>" >&2
    exit 2
  fi
  e2e_begin "$case" "$2" "$3"
  if declare -F e2e_before_case >/dev/null; then e2e_before_case "$case"; fi
  "test_$case"
  e2e_end
}

e2e_begin() {
  # TOLVANE_TESTED_PROGRAM: the Tolvane.exe a release shipped, run instead of the build's
  # (tools/test.sh hands over the one from the zip).
  E2E_TEST=$1 E2E_EXE=${TOLVANE_TESTED_PROGRAM:-$2} E2E_DRIVER=$3
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
  local step
  for step in "${E2E_EXIT_STEPS[@]}"; do eval "$step" || true; done
  if [ -n "$E2E_RUN_DIR" ] && [ -s "$E2E_RUN_DIR/program.log" ]; then
    echo "--- program output ($E2E_RUN_DIR/program.log):" >&2
    tail -n 40 "$E2E_RUN_DIR/program.log" >&2
  fi
  # A failed attempt's files outlive the attempt that runs the test again.
  if [ "$E2E_FAILURES" -gt 0 ] && [ -n "$E2E_RUN_DIR" ] && [ -d "$E2E_RUN_DIR" ]; then
    local kept=$E2E_RUN_DIR.failed-$(date +%H%M%S)
    cp -a "$E2E_RUN_DIR" "$kept" && echo "$(date +%T) $E2E_TEST: its files are in $kept" >>"$TOLVANE_E2E_DIR/failures.log"
  fi
}

# Every driver run has a deadline of its own, so a hung program or Wine fails the test.
# Failed runs are noted in driver.log in the run directory.
# When Wine faults while the finished driver unloads, the code the driver wrote before
# ending counts.
drv() {
  local code=0 status=$E2E_RUN_DIR/driver.status
  rm -f "$status"
  TOLVANE_DRIVER_STATUS=$(e2e_winpath "$status") timeout 60 wine "$E2E_DRIVER" "$@" || code=$?
  if [ "$code" != 0 ] && [ "$code" != 124 ] && [ -s "$status" ] && [ "$(cat "$status")" != "$code" ]; then
    echo "$(date +%T.%N) Wine ended the driver with $code after it finished with $(cat "$status"): $*" >>"$E2E_RUN_DIR/driver.log"
    code=$(cat "$status")
  fi
  [ "$code" = 0 ] || echo "$(date +%T.%N) exit status $code: $*" >>"$E2E_RUN_DIR/driver.log"
  return "$code"
}

e2e_on_exit() { E2E_EXIT_STEPS+=("$1"); }

e2e_set_display() {
  timeout 60 wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1 &&
    timeout 60 wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$2" /f >/dev/null 2>&1 &&
    timeout 30 wineserver -w
}

# Wine reads these when a session starts: call before e2e_start. The prefix gets its
# usual 96 DPI and desktop back when the test ends, so the other tests find it as they expect.
e2e_dpi() {
  e2e_on_exit "e2e_set_display 96 $TOLVANE_E2E_SCREEN; tolvane_e2e_end_session"
  e2e_set_display "$1" "${2:-$TOLVANE_E2E_SCREEN}" || e2e_abort "cannot set the display scale to $1 DPI"
}

e2e_start() {
  local log=$E2E_RUN_DIR/program.log debug=$WINEDEBUG
  if [ "${1:-}" = --relay ]; then
    log=$E2E_RUN_DIR/$2 debug=$WINEDEBUG,+timestamp,+relay
    rm -f "$log"
  elif [ "${1:-}" = --trace ]; then
    log=$E2E_RUN_DIR/$3 debug=$WINEDEBUG,$2
    rm -f "$log"
  fi
  (cd "$E2E_RUN_DIR" && WINEDEBUG=$debug exec wine Tolvane.exe >"$log" 2>&1) &
  E2E_PROGRAM_PID=$!
  # The first program in a fresh Wine session also starts Wine's own services.
  local deadline=$((SECONDS + 60)) code
  until drv wait-window 5000 2>/dev/null; do
    if ! kill -0 "$E2E_PROGRAM_PID" 2>/dev/null; then
      wait "$E2E_PROGRAM_PID"
      code=$?
      E2E_PROGRAM_PID=
      e2e_abort "the program ended with exit code $code before its window appeared"
    fi
    if [ $SECONDS -ge $deadline ]; then
      echo "e2e: Wine processes when the window did not appear:" >&2
      tolvane_e2e_processes | sed 's/^/  /' >&2
      e2e_abort "the window did not appear"
    fi
  done
}

# The program ends (by itself, or as its Wine session ends) with exit code 0.
e2e_wait_exit() {
  local deadline=$((SECONDS + ${1:-30})) code
  [ -n "$E2E_PROGRAM_PID" ] || { e2e_fail "no program is running"; return 1; }
  while kill -0 "$E2E_PROGRAM_PID" 2>/dev/null; do
    [ $SECONDS -lt $deadline ] || { e2e_fail "the program did not exit"; return 1; }
    sleep 0.1
  done
  wait "$E2E_PROGRAM_PID"
  code=$?
  E2E_PROGRAM_PID=
  [ "$code" -eq 0 ] || { e2e_fail "exit code $code, expected 0"; return 1; }
}

# Ends every Wine process of the prefix but keeps the display: the next program starts a
# new session.
e2e_new_session() {
  tolvane_e2e_end_session
  if [ -n "$E2E_PROGRAM_PID" ]; then
    wait "$E2E_PROGRAM_PID" 2>/dev/null
    E2E_PROGRAM_PID=
  fi
  return 0
}

# The Windows form of a path (the prefix maps drive Z: to the root).
e2e_winpath() { local p=${1//\//\\}; echo "Z:$p"; }

# Another program of the session: a window that notes in $E2E_WITNESS_NOTES the
# session-end messages it gets, and ends by itself after 120 s, noting "timeout". Also
# keeps the session up between programs. Returns once its window is there.
e2e_witness_start() {
  local program=${1:-$E2E_DRIVER}
  E2E_WITNESSES=$((E2E_WITNESSES + 1))
  E2E_WITNESS_NOTES=$E2E_RUN_DIR/witness-$E2E_WITNESSES.txt
  rm -f "$E2E_WITNESS_NOTES"
  timeout 180 wine "$program" witness "$(e2e_winpath "$E2E_WITNESS_NOTES")" 120000 >/dev/null 2>&1 &
  E2E_WITNESS_PID=$!
  local deadline=$((SECONDS + 60))
  until grep -q ready "$E2E_WITNESS_NOTES" 2>/dev/null; do
    [ $SECONDS -lt $deadline ] && kill -0 "$E2E_WITNESS_PID" 2>/dev/null || e2e_abort "the witness program did not start"
    sleep 0.1
  done
}

# The witness was ended with its session, well before its own time was up.
e2e_witness_ended() {
  local deadline=$((SECONDS + ${1:-30}))
  while kill -0 "$E2E_WITNESS_PID" 2>/dev/null; do
    [ $SECONDS -lt $deadline ] || { e2e_fail "the Wine session did not end: another program still runs"; return 1; }
    sleep 0.1
  done
  wait "$E2E_WITNESS_PID" 2>/dev/null
  ! grep -q timeout "$E2E_WITNESS_NOTES" || { e2e_fail "the other program ran until its own time was up"; return 1; }
}

# The arguments of each traced call of a function, one call a line, in hexadecimal and
# cut to the given width in bits (the trace shows whole registers).
relay_calls() {
  local log=$1 function=$2 bits=${3:-32} args a out
  sed -n "s/^[0-9a-f.:]*:Call [A-Za-z0-9_]*\.$function(\([^)]*\)).*/\1/p" "$log" |
    while IFS=, read -ra args; do
      out=
      for a in "${args[@]}"; do out+=${out:+,}$(printf '%x' $((0x$a & ((1 << bits) - 1)))); done
      echo "$out"
    done
}

# The line number of the first traced call of a function, empty when there is none.
relay_first() { grep -n -m1 "^[0-9a-f.:]*:Call [A-Za-z0-9_]*\.$2(" "$1" | cut -d: -f1; }

# A settings file as the program writes one: the section line, then the given key=value
# lines, GBK text with CR LF line ends.
write_ini() {
  local file=$1
  shift
  printf '%s\r\n' '[系统设置]' "$@" | iconv -f UTF-8 -t GBK >"$file" || e2e_abort "cannot write $file"
}

# The settings file: GBK text, CR LF line ends, the section line first, then exactly the
# given key=value lines in any order.
check_ini() {
  local file=$1
  shift
  [ -f "$file" ] || { e2e_fail "no settings file $file"; return 1; }
  python3 - "$file" "$@" <<'PY' || { e2e_fail "settings file $file differs"; return 1; }
import sys
path, want = sys.argv[1], sys.argv[2:]
data = open(path, "rb").read()
try:
    text = data.decode("gbk")
except UnicodeDecodeError as e:
    sys.exit(f"not GBK text: {e}")
if not text.endswith("\r\n"):
    sys.exit("the last line has no CR LF")
lines = text[:-2].split("\r\n")
if any("\r" in l or "\n" in l for l in lines):
    sys.exit(f"a line break other than CR LF: {data!r}")
lines = [l for l in lines if l]
if lines[:1] != ["[系统设置]"]:
    sys.exit(f"the first line is {lines[:1]}, not [系统设置]")
if sorted(lines[1:]) != sorted(want):
    sys.exit(f"lines {lines[1:]}, expected {want} in any order")
PY
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
  local what=$1 code
  shift
  drv "$@" && return 0
  code=$?
  e2e_fail "$what$([ "$code" = 1 ] || echo " (driver exit status $code)")"
  return 1
}

e2e_countdown() {
  local radio
  for radio in "${@:2}" 单选框6; do check_run "cannot click $radio" click "$radio"; done
  check_run "cannot set the countdown" set-picker 日期框2 "$1" && check_run "cannot click 按钮1" click 按钮1
  check_wait 按钮2 enabled 1 5000
}

e2e_expand() { drv click 选择框3 && drv wait window height 635 5000 || e2e_abort "cannot expand the window"; }

# A right click on the tray icon with the pointer at x y (default 500 400), moved there on
# the X display as the user moves it; prints the popup menu's rectangle.
e2e_tray_menu() {
  local x=${1:-500} y=${2:-400}
  # Without --sync, which hangs when the pointer is there already; the driver waits until
  # Wine has seen the move.
  timeout 10 xdotool mousemove "$x" "$y" || { e2e_fail "cannot move the pointer (xdotool)"; return 1; }
  drv tray right "$x" "$y"
}

e2e_screenshot() {
  local file="$E2E_SHOTS/$1" rect
  drv wait-not 标签3 caption "$TOLVANE_E2E_CLOCK_PLACEHOLDER" 5000 || e2e_fail "the clock did not start"
  rect=$(drv get window rect) || return 1
  read -r x y w h <<<"$rect"
  timeout 30 import -display "$DISPLAY" -window root -crop "${w}x${h}+${x}+${y}" +repage "$file" ||
    { e2e_fail "screenshot $file failed"; return 1; }
  echo "screenshot: $file"
}

# A close request ends the program with exit code 0.
e2e_close() {
  drv close 20000 || { e2e_fail "the window did not close"; return 1; }
  e2e_wait_exit 30
}

e2e_end() {
  if [ "$E2E_FAILURES" -gt 0 ]; then
    echo "$E2E_TEST: $E2E_FAILURES failed check(s)" >&2
    # Kept across the tests of a run, so a test that passes when run again is still told.
    echo "$(date +%T) $E2E_TEST: $E2E_FAILURES failed check(s), the first: $E2E_FIRST_FAILURE" >>"$TOLVANE_E2E_DIR/failures.log"
    exit 1
  fi
  echo "$E2E_TEST: passed"
  exit 0
}
