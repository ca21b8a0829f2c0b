#!/usr/bin/env bash
# Builds the window-picture tool and draws the main window under a virtual X
# server into docs/main-window.png.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --test
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DTABULORY_BUILD_TESTS=OFF -DTABULORY_BUILD_BENCH=OFF
cmake --build build/release --parallel "$(nproc)" --target tabulory_window_shot
mkdir -p docs
HOME="$(mktemp -d)" xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" \
  build/release/bin/tabulory_window_shot "$PWD/docs/main-window.png"
echo "Wrote docs/main-window.png"
