#!/usr/bin/env bash
# Installs what is missing, builds into build/ and opens the window on a pager.
# Without a pager socket in the socket directory, an emulated pager is started
# for the session and stopped afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"

dir="${XDG_RUNTIME_DIR:+$XDG_RUNTIME_DIR/dr7326g}"
dir="${dir:-/tmp/dr7326g-$(id -u)}"
emulator_pid=
if ! compgen -G "$dir/*.sock" >/dev/null; then
    build/emulator/dr7326g-emulator "$@" 2>"${TMPDIR:-/tmp}/dr7326g-emulator.log" &
    emulator_pid=$!
    trap 'kill "$emulator_pid" 2>/dev/null || true' EXIT
    for _ in $(seq 50); do
        compgen -G "$dir/*.sock" >/dev/null && break
        sleep 0.1
    done
    echo "Emulated pager started (log: ${TMPDIR:-/tmp}/dr7326g-emulator.log)"
fi
if [[ -x build/app/dr7326g ]]; then
    build/app/dr7326g
else
    build/cli/dr7326g-cli params
fi
