#!/usr/bin/env bash
# Installs with apt whatever of the build and test dependencies is missing
# (Debian 12 or later). Usage: scripts/install-deps.sh [--test | --screenshot]
set -euo pipefail

packages=(cmake g++ make pkg-config qtbase5-dev qtbase5-dev-tools libqwt-qt5-dev
          fonts-dejavu-core)
if [[ "${1:-}" == "--test" ]]; then
    # pdftotext and pdfinfo check the journal; MinGW (64- and 32-bit) checks that
    # the Windows backend compiles; tzdata gives the tests zones with daylight
    # saving; clang with libFuzzer runs the fuzz targets.
    packages+=(poppler-utils g++-mingw-w64-x86-64 g++-mingw-w64-i686 tzdata
               clang libfuzzer-14-dev)
elif [[ "${1:-}" == "--screenshot" ]]; then
    # A virtual X display for scripts/screenshot.sh.
    packages+=(xvfb xauth)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
if [[ $(id -u) -ne 0 ]]; then
    if ! command -v sudo >/dev/null 2>&1; then
        echo "These packages are missing: ${missing[*]}" >&2
        echo "Install them as root, then run this command again:" >&2
        echo "    apt-get update && apt-get install -y --no-install-recommends ${missing[*]}" >&2
        exit 1
    fi
    sudo=(sudo)
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
