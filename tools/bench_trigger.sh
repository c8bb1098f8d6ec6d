#!/bin/bash
# Benchmark, not a test: how close to the wall clock the real Tolvane.exe acts under
# Wine. Over a number of short standby countdowns (standby does nothing under Wine, so
# the session goes on) a probe library hooked into the program notes, with wall-clock
# timestamps, each caption 标签3 is given and the moment of the standby request. Prints
# the median, 95th percentile (nearest rank) and maximum of
#   - the delay from the start of the target second to the power request, and
#   - the delay from the start of each second to 标签3 showing it.
#
#   tools/bench_trigger.sh [--runs N] [--build <mingw build dir>]
#
# Needs Tolvane, tolvane_driver and tolvane_bench of the mingw build
# (cmake --build --preset mingw --target Tolvane tolvane_driver tolvane_bench). Runs in a
# prefix of its own (<build>/bench, or $TOLVANE_E2E_DIR), with a private display and
# sound server, so the reminder sounds of the last seconds play as on a desktop.
set -u
src=$(cd "$(dirname "$0")/.." && pwd)
build=$src/build/mingw runs=20
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    *) echo "usage: $0 [--runs N] [--build <mingw build dir>]" >&2; exit 2 ;;
  esac
done
build=$(cd "$build" && pwd) || exit 1
bench=$build/tools/bench/tolvane_bench.exe
[ -f "$bench" ] || { echo "no $bench: build the target tolvane_bench" >&2; exit 1; }
: "${TOLVANE_E2E_DIR:=$build/bench}"
export TOLVANE_E2E_DIR
# shellcheck source=../tests/e2e/e2e_session.sh
source "$src/tests/e2e/e2e_session.sh"
# shellcheck source=../tests/e2e/audio.sh
source "$src/tests/e2e/audio.sh"

e2e_begin bench_trigger "$build/Tolvane.exe" "$build/tests/e2e/tolvane_driver.exe"
e2e_audio_start
notes=$E2E_RUN_DIR/targets.txt
: >"$notes"
for ((run = 1; run <= runs; run++)); do
  export TOLVANE_BENCH_LOG_FILE=$E2E_RUN_DIR/probe-$run.log
  TOLVANE_BENCH_LOG=$(e2e_winpath "$TOLVANE_BENCH_LOG_FILE")
  export TOLVANE_BENCH_LOG
  rm -f "$TOLVANE_BENCH_LOG_FILE"
  e2e_start
  timeout 60 wine "$bench" inject || e2e_abort "run $run: the probe could not be hooked in"
  grep -q ready "$TOLVANE_BENCH_LOG_FILE" 2>/dev/null || e2e_abort "run $run: the probe is not ready"
  check_run "cannot click 单选框3" click 单选框3
  check_run "cannot click 单选框6" click 单选框6
  check_run "cannot set the countdown" set-picker 日期框2 00:00:06
  check_run "cannot click 按钮1" click 按钮1
  check_wait 按钮2 enabled 1 5000
  echo "$run $(drv get 编辑框1 text)" >>"$notes"
  e2e_wait_exit 30
  [ "$E2E_FAILURES" = 0 ] || e2e_end
  echo "run $run of $runs done" >&2
done

python3 - "$E2E_RUN_DIR" "$runs" "$src/tools/bench" <<'PY'
import re, statistics, sys
from datetime import datetime, timedelta
folder, runs = sys.argv[1], int(sys.argv[2])
sys.path.insert(0, sys.argv[3])
from figures import p95
EPOCH = datetime(1601, 1, 1)
TEXT = re.compile(r"^(\d+)年(\d+)月(\d+)日(?:(\d+)时)?(?:(\d+)分)?(?:(\d+)秒)?$")

def second_start(text):
    """Microseconds since 1601 (local) of the start of the second a date text names."""
    m = TEXT.match(text.strip())
    if not m:
        return None
    y, mo, d, h, mi, s = (int(g) if g else 0 for g in m.groups())
    return (datetime(y, mo, d, h, mi, s) - EPOCH) // timedelta(microseconds=1)

targets = {}
for line in open(f"{folder}/targets.txt", encoding="utf-8"):
    run, text = line.rstrip("\n").split(" ", 1)
    targets[int(run)] = second_start(text)

power, clock = [], []
for run in range(1, runs + 1):
    requests = []
    for line in open(f"{folder}/probe-{run}.log", encoding="utf-8"):
        parts = line.rstrip("\n").split(" ", 2)
        at, what, text = int(parts[0]), parts[1], parts[2] if len(parts) > 2 else ""
        if what == "power":
            requests.append(at)
        elif what == "clock":
            start = second_start(text)
            if start is not None:
                clock.append((at - start) / 1000)
    if len(requests) != 1 or targets.get(run) is None:
        sys.exit(f"run {run}: {len(requests)} power requests, target {targets.get(run)}")
    power.append((requests[0] - targets[run]) / 1000)

def show(what, values):
    print(f"{what}: n={len(values)} median {statistics.median(values):.1f} ms, p95 {p95(values):.1f} ms, "
          f"max {max(values):.1f} ms, min {min(values):.1f} ms")
show("target second start -> power request", power)
show("second start -> 标签3 shows it", clock)
PY
code=$?
[ "$code" = 0 ] || e2e_fail "the probe logs could not be read"
e2e_end
