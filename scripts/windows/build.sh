#!/usr/bin/env bash
# Builds the Windows program and its setup program on Debian 12:
#   build-windows/setup/dr7326g-setup-<version>-x64.exe
# The first run installs what is missing (MinGW-w64, NSIS, Qt's translations)
# and makes the MinGW toolchain of Qt once (scripts/windows/toolchain.sh:
# about two hours on two cores) into the cache folder, unless
# $DR7326G_WINDOWS_QT names one; later runs take a few minutes.
# Usage: scripts/windows/build.sh [BUILD-FOLDER]
set -euo pipefail
cd "$(dirname "$0")/../.."
out=${1:-build-windows}
scripts/install-deps.sh --windows
qt=${DR7326G_WINDOWS_QT:-${XDG_CACHE_HOME:-$HOME/.cache}/dr7326g/dr7326g-qt5-mingw64}
scripts/windows/toolchain.sh "$qt"
cmake -S . -B "$out" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DDR7326G_WINDOWS_QT="$qt" -DCMAKE_BUILD_TYPE=Release \
    -DDR7326G_BUILD_TESTS=OFF -DDR7326G_BUILD_BENCH=OFF >/dev/null
cmake --build "$out" -j"$(nproc)" --target setup
echo "The setup program: $(ls "$out"/setup/dr7326g-setup-*-x64.exe)"
