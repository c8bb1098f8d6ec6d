#!/usr/bin/env bash
# Builds Tolvane.exe and runs it under Wine. Without a display it starts a virtual
# one and saves a screenshot of the window to build/mingw/tolvane.png.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh run
cmake --preset mingw >/dev/null
cmake --build --preset mingw -j"$(nproc)" --target Tolvane tolvane_driver
exec tests/e2e/run_program.sh build/mingw/Tolvane.exe build/mingw/tolvane.png
