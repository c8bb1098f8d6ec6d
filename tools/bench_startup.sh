#!/bin/bash
# Benchmark, not a test: start-up time and memory of the real Tolvane.exe under Wine,
# side by side with an empty Win32 window program built and linked the same way, in the
# same prefix and session.
#   - start-up: from CreateProcess (in tolvane_bench.exe) to the program's window being
#     shown, polled every millisecond;
#   - memory, two seconds after the window is shown, read from /proc of the program's
#     Wine process: working set = VmRSS (status), private = Private_Clean +
#     Private_Dirty (smaps_rollup).
# Medians and maxima over the runs; one start of each program before them is not
# counted (the session's own services start with the first program).
#
#   tools/bench_startup.sh [--dpi 96|120|144|192] [--runs N] [--build <mingw build dir>]
#
# --dpi sets the prefix's LogPixels for the run and puts the old value back afterwards.
# Needs Tolvane, tolvane_driver, tolvane_bench and tolvane_bench_empty of the mingw
# build. Runs in a prefix of its own (<build>/bench, or $TOLVANE_E2E_DIR).
set -u
src=$(cd "$(dirname "$0")/.." && pwd)
build=$src/build/mingw runs=5 dpi=
while [ $# -gt 0 ]; do
  case $1 in
    --dpi) dpi=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    *) echo "usage: $0 [--dpi 96|120|144|192] [--runs N] [--build <mingw build dir>]" >&2; exit 2 ;;
  esac
done
case $dpi in "" | 96 | 120 | 144 | 192) ;; *) echo "--dpi takes 96, 120, 144 or 192" >&2; exit 2 ;; esac
build=$(cd "$build" && pwd) || exit 1
bench=$build/tools/bench/tolvane_bench.exe empty=$build/tools/bench/tolvane_bench_empty.exe
for f in "$bench" "$empty"; do
  [ -f "$f" ] || { echo "no $f: build the targets tolvane_bench and tolvane_bench_empty" >&2; exit 1; }
done
: "${TOLVANE_E2E_DIR:=$build/bench}"
export TOLVANE_E2E_DIR
# shellcheck source=../tests/e2e/e2e_session.sh
source "$src/tests/e2e/e2e_session.sh"

e2e_begin bench_startup "$build/Tolvane.exe" "$build/tests/e2e/tolvane_driver.exe"
cp "$empty" "$E2E_RUN_DIR/"

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

# One start; with a name, appends "name milliseconds private-kB rss-kB" to the results.
measure() {
  local file=$1 class=$2 name=${3:-} ms pid rss private
  # Through a file: the started program inherits the helper's output, and a pipe
  # would stay open as long as it runs.
  timeout 90 wine "$bench" startup "$(e2e_winpath "$E2E_RUN_DIR/$file")" "$class" >"$E2E_RUN_DIR/startup.txt" ||
    e2e_abort "$file: no window was shown"
  ms=$(tr -d '\r' <"$E2E_RUN_DIR/startup.txt")
  sleep 2
  pid=$(program_pid "$file")
  [ -n "$pid" ] || e2e_abort "$file: its process is not there"
  rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status")
  private=$(awk '/^Private_(Clean|Dirty):/ {n += $2} END {print n}' "/proc/$pid/smaps_rollup")
  [ "$file" != Tolvane.exe ] || drv get window rect >"$E2E_RUN_DIR/window-rect.txt"
  timeout 60 wine "$bench" close "$class" || e2e_abort "$file: the window did not close"
  local deadline=$((SECONDS + 20))
  while kill -0 "$pid" 2>/dev/null; do
    [ $SECONDS -lt $deadline ] || e2e_abort "$file: the program did not end"
    sleep 0.1
  done
  [ -z "$name" ] || echo "$name $ms $private $rss" >>"$results"
}

results=$E2E_RUN_DIR/results.txt
: >"$results"
measure tolvane_bench_empty.exe TolvaneBenchEmpty
measure Tolvane.exe TolvaneMainWindow
for ((run = 1; run <= runs; run++)); do
  measure Tolvane.exe TolvaneMainWindow Tolvane
  measure tolvane_bench_empty.exe TolvaneBenchEmpty empty
  echo "run $run of $runs done" >&2
done

echo "LogPixels: ${dpi:-as the prefix has it} (the session's system DPI: $(timeout 60 wine "$bench" dpi | tr -d '\r'));" \
  "Tolvane window (x y w h): $(cat "$E2E_RUN_DIR/window-rect.txt")"
python3 - "$results" <<'PY'
import statistics, sys
rows = {}
for line in open(sys.argv[1]):
    name, ms, private, rss = line.split()
    rows.setdefault(name, []).append((float(ms), int(private) / 1024, int(rss) / 1024))
print(f"{'program':<10} {'runs':>4} {'start-up ms (median/max)':>26} {'private MB (median/max)':>25} {'working set MB (median/max)':>29}")
for name in ("Tolvane", "empty"):
    r = rows[name]
    cols = []
    for i in range(3):
        v = [x[i] for x in r]
        cols.append(f"{statistics.median(v):.1f} / {max(v):.1f}")
    print(f"{name:<10} {len(r):>4} {cols[0]:>26} {cols[1]:>25} {cols[2]:>29}")
PY
e2e_end
