#!/usr/bin/env bash
# Screenshots of the main window's four pages under Xvfb with the real xcb platform, as PNG
# files in the given folder (default build/screenshots). Look at them after layout changes:
# nothing clipped, Japanese texts rendered. The window is connected to the simulated adapter.
# The windows speak the language velqor chooses from LANG (LANG=en_US.UTF-8: English), or
# the one LANGUAGE names (ja, en, auto).
# Usage: [LANG=...] scripts/screenshots.sh [DIR] [BUILD_DIR] [LANGUAGE]
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-build/screenshots}"
build="${2:-build/debug}"
language="${3:-auto}"
cmake --build "$build" -j 2 --target velqor-screenshots
mkdir -p "$out"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan.supp:print_suppressions=0}"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" "$build/app/velqor-screenshots" \
  --lang "$language" "$out"
