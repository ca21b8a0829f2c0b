#!/usr/bin/env bash
# Builds the picture tool and takes docs/host-window.png on a virtual display:
# the host's window with a highlighted block and the reference dialog over it.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
cmake -S . -B "$build" >/dev/null
cmake --build "$build" --target host_window_screenshot --parallel 2
mkdir -p docs
xvfb-run -a -s "-screen 0 1280x800x24" \
  env QT_QPA_PLATFORM=xcb "$build/bin/host_window_screenshot" docs/host-window.png
echo "written docs/host-window.png"
