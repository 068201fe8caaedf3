#!/usr/bin/env bash
# Screenshots of the main window's four pages under Xvfb with the real xcb platform, as PNG
# files in the given folder (default build/screenshots). Look at them after layout changes:
# nothing clipped, Japanese texts rendered. The window is connected to the simulated adapter.
# Usage: scripts/screenshots.sh [DIR] [BUILD_DIR]
# HiDPI: QT_SCALE_FACTOR=1.5 (or 2) scripts/screenshots.sh build/screenshots-150; the virtual
# screen is large enough for the main window at 200 %.
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-build/screenshots}"
build="${2:-build/debug}"
cmake --build "$build" -j 2 --target velqor-screenshots
mkdir -p "$out"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan.supp:print_suppressions=0}"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 2560x2048x24" "$build/app/velqor-screenshots" "$out"
