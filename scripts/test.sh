#!/usr/bin/env bash
# Sets up what is missing, builds and runs the whole test suite (no display needed).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --test
export QT_QPA_PLATFORM=offscreen
cmake -S . -B build/test -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/test --parallel "$(nproc)"
ctest --test-dir build/test --output-on-failure --parallel "$(nproc)" "$@"

# The Debian package from the same build: its file list and lintian.
bash scripts/package.sh build/test

# Fuzzing of the host engine's open-and-read path, of the .xls and CSV lower
# layers and of the .ods and .xlsb paths for about a minute, on the seed corpora the
# tests just wrote.
# Needs clang; skipped without it.
fuzz_probe=$(mktemp -d)
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' > "$fuzz_probe/probe.cpp"
if command -v clang++ >/dev/null 2>&1 &&
   clang++ -fsanitize=fuzzer,address "$fuzz_probe/probe.cpp" -o "$fuzz_probe/probe" >/dev/null 2>&1; then
  rm -rf "$fuzz_probe"
  CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTABULORY_BUILD_FUZZ=ON -DTABULORY_BUILD_TESTS=OFF -DTABULORY_BUILD_BENCH=OFF
  cmake --build build/fuzz --target host_fuzz biff_fuzz host_csv_fuzz host_ods_fuzz host_xlsb_fuzz --parallel "$(nproc)"
  # The minute is split between the OOXML, .xls, CSV, .ods and .xlsb targets.
  # Each target has a dictionary of the tokens that nest deep and repeat far
  # (its .dict beside its sources), so that such inputs are reached.
  seconds=$(( ${TABULORY_FUZZ_SECONDS:-60} / 5 ))
  mkdir -p build/fuzz/corpus build/fuzz/corpus-biff build/fuzz/corpus-csv build/fuzz/corpus-ods build/fuzz/corpus-xlsb build/fuzz/crashes
  cp build/test/fuzz-seeds/* build/fuzz/corpus/ 2>/dev/null || true
  cp build/test/fuzz-seeds-biff/* build/fuzz/corpus-biff/ 2>/dev/null || true
  cp build/test/fuzz-seeds-ods/* build/fuzz/corpus-ods/ 2>/dev/null || true
  cp build/test/fuzz-seeds-xlsb/* build/fuzz/corpus-xlsb/ 2>/dev/null || true
  # A crash input lands in build/fuzz/crashes; copy it to
  # tests/host/fuzz/regressions (tests/host/formats/biff/fuzz/regressions for
  # biff_fuzz, tests/host/formats/odf/fuzz/regressions for host_ods_fuzz,
  # tests/host/formats/xlsb/fuzz/regressions for host_xlsb_fuzz) so that the
  # tests keep checking it.
  build/fuzz/bin/host_fuzz -max_total_time="$seconds" -max_len=65536 -dict=tests/host/fuzz/host.dict \
    -rss_limit_mb=2048 -timeout=30 -artifact_prefix=build/fuzz/crashes/ build/fuzz/corpus
  build/fuzz/bin/biff_fuzz -max_total_time="$seconds" -max_len=131072 -dict=tests/host/formats/biff/fuzz/biff.dict \
    -rss_limit_mb=2048 -timeout=30 -artifact_prefix=build/fuzz/crashes/biff- build/fuzz/corpus-biff
  build/fuzz/bin/host_csv_fuzz -max_total_time="$seconds" -max_len=65536 -dict=tests/host/formats/csv/fuzz/csv.dict \
    -rss_limit_mb=2048 -timeout=30 -artifact_prefix=build/fuzz/crashes/csv- build/fuzz/corpus-csv
  build/fuzz/bin/host_ods_fuzz -max_total_time="$seconds" -max_len=65536 -dict=tests/host/formats/odf/fuzz/ods.dict \
    -rss_limit_mb=2048 -timeout=30 -artifact_prefix=build/fuzz/crashes/ods- build/fuzz/corpus-ods
  build/fuzz/bin/host_xlsb_fuzz -max_total_time="$seconds" -max_len=65536 -dict=tests/host/formats/xlsb/fuzz/xlsb.dict \
    -rss_limit_mb=2048 -timeout=30 -artifact_prefix=build/fuzz/crashes/xlsb- build/fuzz/corpus-xlsb
else
  rm -rf "$fuzz_probe"
  echo "clang++ with libFuzzer not found: host fuzzing skipped"
fi
