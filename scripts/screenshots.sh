#!/usr/bin/env bash
# Renders the main window (before, during and after an analysis of a sample
# database) and the About box offscreen into docs/screenshots/.
# Usage: scripts/screenshots.sh [BUILD_DIR] [SAMPLE.mdb]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j1 --target mendora-screenshots
mkdir -p docs/screenshots
QT_QPA_PLATFORM=offscreen "$build/app/mendora-screenshots" docs/screenshots ${2:+"$2"}
