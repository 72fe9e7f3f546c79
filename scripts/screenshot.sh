#!/usr/bin/env bash
# Takes docs/screenshot.png: the window in a Russian locale (ru_RU.UTF-8) after
# "Читать параметры" and "Читать историю" on the emulated pager, scrolled to
# its red alarm rows, on a virtual X display (Xvfb); then docs/plot.png: the
# plot window of that history, with the dose-rate threshold just read.
# Installs what is missing (Xvfb and the locale among it) and builds into
# build/ as scripts/run.sh does.
#
# Usage: scripts/screenshot.sh [OUTPUT.png [PLOT.png]]
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-docs/screenshot.png}"
plot="${2:-docs/plot.png}"

scripts/install-deps.sh --screenshot
if ! locale -a 2>/dev/null | grep -qix 'ru_RU\.utf-\?8'; then
    echo "The locale ru_RU.UTF-8 is missing (scripts/install-deps.sh --screenshot makes it)." >&2
    exit 1
fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target dr7326g-emulator dr7326g-screenshot >/dev/null

tmp=$(mktemp -d)
chmod 700 "$tmp"
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    rm -rf "$tmp"
}
trap cleanup EXIT

# A display and a pager of this script's own, whatever else runs: Xvfb picks a
# free display number and writes it to fd 3 once it accepts clients.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$tmp/display" >"$tmp/xvfb.log" 2>&1 &
pids+=($!)
export XDG_RUNTIME_DIR="$tmp"
build/emulator/dr7326g-emulator >"$tmp/emulator.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    compgen -G "$tmp/dr7326g/*.sock" >/dev/null && [[ -s "$tmp/display" ]] && break
    sleep 0.1
done

if [[ ! -s "$tmp/display" ]]; then
    echo "The virtual display did not start:" >&2
    cat "$tmp/xvfb.log" >&2
    exit 1
fi
if ! compgen -G "$tmp/dr7326g/*.sock" >/dev/null; then
    echo "The emulated pager did not start:" >&2
    cat "$tmp/emulator.log" >&2
    exit 1
fi
display=":$(head -n 1 "$tmp/display")"

mkdir -p "$(dirname "$out")" "$(dirname "$plot")"
DISPLAY="$display" QT_QPA_PLATFORM=xcb LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8 LANGUAGE=ru \
    timeout 300 build/scripts/screenshot/dr7326g-screenshot "$out" "$plot"
echo "Saved $out and $plot"
