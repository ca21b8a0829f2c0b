#!/usr/bin/env bash
# Sets up what is missing, builds a Release build and launches the window.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DTABULORY_BUILD_TESTS=OFF -DTABULORY_BUILD_BENCH=OFF
cmake --build build/release --parallel "$(nproc)"
exec build/release/bin/tabulory "$@"
