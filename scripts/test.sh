#!/usr/bin/env bash
# Installs what is missing, builds into build/, fuzzes the parsers for a short
# while, runs every test, then builds the Debian package and checks it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --test
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
scripts/fuzz.sh "${DR7326G_FUZZ_SECONDS:-20}"
(cd build && ctest --output-on-failure -j"$(nproc)")
scripts/check-package.sh build
