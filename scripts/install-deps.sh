#!/usr/bin/env bash
# Installs with apt whatever of the build and test dependencies is missing
# (Debian 12 or later). Usage: scripts/install-deps.sh [--test | --screenshot]
set -euo pipefail

packages=(cmake g++ make pkg-config qtbase5-dev qtbase5-dev-tools fonts-dejavu-core)
if [[ "${1:-}" == "--test" ]]; then
    # pdftotext checks the journal's text; MinGW checks that the Windows backend compiles.
    packages+=(poppler-utils g++-mingw-w64-x86-64)
elif [[ "${1:-}" == "--screenshot" ]]; then
    # A virtual X display for scripts/screenshot.sh.
    packages+=(xvfb)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[[ $(id -u) -ne 0 ]] && sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
