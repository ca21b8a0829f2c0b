#!/usr/bin/env bash
# Sets up what is missing, builds and runs the whole test suite (no display needed).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --test
export QT_QPA_PLATFORM=offscreen
cmake -S . -B build/test -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/test --parallel "$(nproc)"
ctest --test-dir build/test --output-on-failure --parallel "$(nproc)" "$@"
