#!/usr/bin/env bash
# Runs a filter over a few 100,000-row workbooks under a virtual X server and,
# while the run works, resizes the window twice and takes a picture after each
# size (build/live-run/live-run-1.png to -3.png). Look at the pictures: each
# shows the whole window at its size, with the progress caption on the start
# button. Usage: scripts/live-run-check.sh [files] [rows]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --test
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DTABULORY_BUILD_TESTS=OFF -DTABULORY_BUILD_BENCH=OFF
cmake --build build/release --parallel "$(nproc)" --target tabulory_live_run_shot
out="$PWD/build/live-run"
HOME="$(mktemp -d)" xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" \
  build/release/bin/tabulory_live_run_shot "$out" "${1:-5}" "${2:-100000}"
echo "Pictures in $out"
