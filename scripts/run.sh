#!/usr/bin/env bash
# Starts Mendora from its build folder, where Help finds the user guide.
# Usage: scripts/run.sh [BUILD_DIR]
set -euo pipefail
build="$(cd "${1:-build}" && pwd)"
cd "$build/app"
exec ./mendora
