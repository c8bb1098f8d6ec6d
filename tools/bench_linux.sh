#!/bin/bash
# Benchmark, not a test: start-up, memory, wake-ups and CPU while waiting of the Linux
# program tolvane against two GTK floor programs (one label; the whole window in plain
# widgets), and how close to the target second its power request reaches logind. See tools/bench/bench_linux.py.
#
#   tools/bench_linux.sh [--runs N] [--wait S] [--countdowns N] [--build <native build dir>] [--smaps]
#
# Needs tolvane, tolvane_bench_empty_gtk, tolvane_bench_layout_gtk and tolvane_layout of the
# native build (cmake --build --preset native --target tolvane tolvane_bench_empty_gtk
# tolvane_bench_layout_gtk tolvane_layout).
# The system Python: it has the python3-dbus, python3-dbusmock and pyatspi packages.
exec /usr/bin/python3 -W ignore "$(dirname "$0")/bench/bench_linux.py" "$@"
