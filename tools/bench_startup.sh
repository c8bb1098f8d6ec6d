#!/bin/bash
# Benchmark, not a test: the cost of the real Tolvane.exe under Wine, side by side with
# two floor programs, built and linked the same way, in the same prefix and session:
# tolvane_bench_empty.exe (a window of Tolvane's size with one label given the time by a
# one-second timer) and tolvane_bench_layout.exe (Tolvane's window definition in the
# system's plain controls and fonts, its clock given the time the same way, and nothing
# else). Per run and program:
#   - start-up: from CreateProcess (in tolvane_bench.exe) to the program's window being
#     shown, polled every millisecond;
#   - memory, two seconds after the window is shown, read from /proc of the program's
#     Wine process: working set = VmRSS (status), private = Private_Clean +
#     Private_Dirty (smaps_rollup);
#   - while waiting (Tolvane with a 30-minute standby countdown running, the floors just
#     running): wake-ups per second and CPU milliseconds over the period, summed over
#     the threads of the Wine process (tools/bench/threads.py; Wine's wineserver, which
#     serves every program of the session, is not counted).
# Medians and maxima over the runs, the ratios of the medians Tolvane/floor and
# Tolvane/layout with the cost goals against the layout, and each program's threads over
# the last run's wait. One start of each
# program before the runs is not counted (the session's own services start with the
# first program).
#
#   tools/bench_startup.sh [--dpi 96|120|144|192] [--runs N] [--wait S] [--build <mingw build dir>]
#
# --dpi sets the prefix's LogPixels for the run and puts the old value back afterwards.
# Needs Tolvane, tolvane_driver, tolvane_bench, tolvane_bench_empty and
# tolvane_bench_layout of the mingw build. Runs in a prefix of its own (<build>/bench, or $TOLVANE_E2E_DIR).
set -u
src=$(cd "$(dirname "$0")/.." && pwd)
build=$src/build/mingw runs=5 dpi='' wait=60
while [ $# -gt 0 ]; do
  case $1 in
    --dpi) dpi=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --wait) wait=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    *) echo "usage: $0 [--dpi 96|120|144|192] [--runs N] [--wait S] [--build <mingw build dir>]" >&2; exit 2 ;;
  esac
done
case $dpi in "" | 96 | 120 | 144 | 192) ;; *) echo "--dpi takes 96, 120, 144 or 192" >&2; exit 2 ;; esac
build=$(cd "$build" && pwd) || exit 1
bench=$build/tools/bench/tolvane_bench.exe floors=("$build"/tools/bench/tolvane_bench_{empty,layout}.exe)
for f in "$bench" "${floors[@]}"; do
  [ -f "$f" ] || { echo "no $f: build the targets tolvane_bench, tolvane_bench_empty and tolvane_bench_layout" >&2; exit 1; }
done
: "${TOLVANE_E2E_DIR:=$build/bench}"
export TOLVANE_E2E_DIR
# shellcheck source=../tests/e2e/e2e_session.sh
source "$src/tests/e2e/e2e_session.sh"

e2e_begin bench_startup "$build/Tolvane.exe" "$build/tests/e2e/tolvane_driver.exe"
cp "${floors[@]}" "$E2E_RUN_DIR/"

readonly DESKTOP_KEY='HKCU\Control Panel\Desktop'
if [ -n "$dpi" ]; then
  old=$(wine reg query "$DESKTOP_KEY" /v LogPixels 2>/dev/null | sed -n 's/.*REG_DWORD[[:space:]]*0x\([0-9a-fA-F]*\).*/\1/p')
  if [ -n "$old" ]; then
    e2e_on_exit "wine reg add '$DESKTOP_KEY' /v LogPixels /t REG_DWORD /d $((0x$old)) /f >/dev/null 2>&1; wineserver -w"
  else
    e2e_on_exit "wine reg delete '$DESKTOP_KEY' /v LogPixels /f >/dev/null 2>&1; wineserver -w"
  fi
  wine reg add "$DESKTOP_KEY" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1 || e2e_abort "cannot set LogPixels"
  e2e_new_session  # the setting is read when the session starts
fi

# The Unix process of the running Windows program of that file name.
program_pid() { tolvane_e2e_processes | grep -F "$1" | grep -vF tolvane_bench.exe | head -n1 | cut -d' ' -f1; }

# One start; with a name, also the wait, and appends "name milliseconds private-MB rss-MB
# wake-ups/s CPU-ms" to the results.
measure() {
  local file=$1 class=$2 name=${3:-} ms pid rss private waiting=
  # Through a file: the started program inherits the helper's output, and a pipe
  # would stay open as long as it runs.
  # Once more when Wine could not start the helper at all (seen now and then as the
  # session's last program has just ended).
  local try
  for try in 1 2; do
    timeout 90 wine "$bench" startup "$(e2e_winpath "$E2E_RUN_DIR/$file")" "$class" >"$E2E_RUN_DIR/startup.txt" && break
    if [ "$try" = 2 ] || [ -n "$(program_pid "$file")" ]; then e2e_abort "$file: no window was shown"; fi
    sleep 3
  done
  ms=$(tr -d '\r' <"$E2E_RUN_DIR/startup.txt")
  sleep 2
  pid=$(program_pid "$file")
  [ -n "$pid" ] || e2e_abort "$file: its process is not there"
  rss=$(awk '/^VmRSS:/ {printf "%.2f", $2 / 1024}' "/proc/$pid/status")
  private=$(awk '/^Private_(Clean|Dirty):/ {n += $2} END {printf "%.2f", n / 1024}' "/proc/$pid/smaps_rollup")
  [ "$file" != Tolvane.exe ] || drv get window rect >"$E2E_RUN_DIR/window-rect.txt"
  if [ -n "$name" ]; then
    if [ "$file" = Tolvane.exe ]; then
      check_run "cannot click 单选框3" click 单选框3
      check_run "cannot click 单选框6" click 单选框6
      check_run "cannot set the countdown" set-picker 日期框2 00:30:00
      check_run "cannot click 按钮1" click 按钮1
      check_wait 按钮2 enabled 1 5000
      [ "$E2E_FAILURES" = 0 ] || e2e_end
    fi
    sleep 1
    waiting=$(python3 "$src/tools/bench/threads.py" "$pid" "$wait" "$E2E_RUN_DIR/threads-$name.txt") ||
      e2e_abort "$file: cannot read its threads"
  fi
  timeout 60 wine "$bench" close "$class" || e2e_abort "$file: the window did not close"
  local deadline=$((SECONDS + 20))
  while kill -0 "$pid" 2>/dev/null; do
    [ $SECONDS -lt $deadline ] || e2e_abort "$file: the program did not end"
    sleep 0.1
  done
  [ -z "$name" ] || echo "$name $ms $private $rss $waiting" >>"$results"
}

results=$E2E_RUN_DIR/results.txt
: >"$results"
measure tolvane_bench_empty.exe TolvaneBenchEmpty
measure tolvane_bench_layout.exe TolvaneBenchLayout
measure Tolvane.exe TolvaneMainWindow
for ((run = 1; run <= runs; run++)); do
  measure Tolvane.exe TolvaneMainWindow Tolvane
  measure tolvane_bench_empty.exe TolvaneBenchEmpty floor
  measure tolvane_bench_layout.exe TolvaneBenchLayout layout
  echo "run $run of $runs done" >&2
done

echo "LogPixels: ${dpi:-as the prefix has it} (the session's system DPI: $(timeout 60 wine "$bench" dpi | tr -d '\r'));" \
  "Tolvane window (x y w h): $(cat "$E2E_RUN_DIR/window-rect.txt")"
python3 "$src/tools/bench/figures.py" "$results" "start-up ms" "private MB" "working set MB" "wake-ups/s" "CPU ms in $wait s"
for name in Tolvane floor layout; do
  echo
  echo "$name: threads over the last run's $wait s of waiting"
  cat "$E2E_RUN_DIR/threads-$name.txt"
done
e2e_end
