#!/usr/bin/env bash
# Installs the Debian packages this project needs that are missing.
#   deps.sh          what building and running the program needs
#   deps.sh --test   also what the test suite needs
#   deps.sh --package  also what building the Debian package needs
set -euo pipefail
pkgs=(build-essential cmake pkg-config qt6-base-dev libzip-dev libpugixml-dev libicu-dev libxlsxwriter-dev libdeflate-dev)
package_pkgs=(help2man dpkg-dev lintian)
if [[ "${1:-}" == "--test" ]]; then
  pkgs+=(libgtest-dev googletest clang libclang-rt-14-dev xvfb xauth zip unzip libreoffice-calc-nogui
         python3-olefile python3-xlrd parallel "${package_pkgs[@]}")
elif [[ "${1:-}" == "--package" ]]; then
  pkgs+=("${package_pkgs[@]}")
fi
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi
