#!/usr/bin/env bash
# Builds the Debian package of the window, the command-line tool and the
# emulator (with menu entry, icons, metainfo, man pages and completion) into
# the build folder: BUILD_DIR/dr7326g_VERSION_ARCH.deb. Needs what
# scripts/install-deps.sh installs, and dpkg-dev.
# Usage: scripts/package.sh [BUILD_DIR]        (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)"
rm -f "$build"/dr7326g_*.deb
(cd "$build" && cpack -G DEB)
