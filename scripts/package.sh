#!/usr/bin/env bash
# Builds the Debian package and checks it: its file list against
# packaging/contents.txt, and lintian (no errors). Usage:
#   scripts/package.sh [BUILD_DIR]
# Without BUILD_DIR the test build (build/test, as scripts/test.sh makes it)
# is reused when it exists, else build/package gets a Release build of the
# programs only. In a reused build only what the package holds is built
# (target tabulory_package_files), never the tests or benchmarks. Leaves
# BUILD_DIR/tabulory_VERSION_amd64.deb.
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ -n "${1:-}" ]]; then
  build=$1
elif [[ -f build/test/CMakeCache.txt ]]; then
  build=build/test
else
  build=build/package
fi
if [[ ! -f "$build/CMakeCache.txt" ]]; then
  bash scripts/deps.sh --package
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTABULORY_BUILD_TESTS=OFF -DTABULORY_BUILD_BENCH=OFF >/dev/null
fi
# Configured again so that a changed list of formats reaches the manual page,
# the completion and the description.
cmake "$build" >/dev/null
cmake --build "$build" --target tabulory_package_files --parallel "$(nproc)"
rm -f "$build"/tabulory_*_amd64.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/tabulory_*_amd64.deb)
echo "Package: $deb"

# The file list: paths only, without the leading "." and the folders.
actual=$(dpkg-deb --contents "$deb" | sed -E 's/^([^ ]+ +){5}\.//; s/ -> .*$//' | grep -v '/$' | LC_ALL=C sort)
if ! diff -u packaging/contents.txt <(echo "$actual"); then
  echo "The package's files differ from packaging/contents.txt (- expected, + found)" >&2
  exit 1
fi
dpkg-deb --field "$deb" Depends | grep -q 'libqt6widgets6' ||
  { echo "The package does not depend on the Qt libraries (shlibdeps)" >&2; exit 1; }

if command -v lintian >/dev/null 2>&1; then
  # Errors fail the check; warnings are shown.
  lintian --fail-on error "$deb"
else
  echo "lintian not found: the package was not checked by lintian"
fi
echo "Package check passed"
