#!/usr/bin/env bash
# Installs what is missing, builds into build/ and opens the window on a pager.
# Without a pager socket in the socket directory, an emulated pager is started
# for the session and stopped when the window closes.
#
# Usage: scripts/run.sh [--] [EMULATOR OPTIONS]
#   The options go to the emulated pager, e.g. fault modes:
#       scripts/run.sh -- --refuse-writes --split-registers
#   build/emulator/dr7326g-emulator --help lists them all.
set -euo pipefail
cd "$(dirname "$0")/.."

case "${1:-}" in
    -h | --help)
        sed -n '2,9s/^# \{0,1\}//p' "$0"
        exit 0
        ;;
    --) shift ;;
esac

# The window is a desktop program: without a display Qt would only abort with
# a long message about its platform plugin. Platforms that need no display
# (offscreen, minimal, vnc, linuxfb, eglfs) are left to whoever chose them.
case "${QT_QPA_PLATFORM:-}" in
    "" | xcb* | wayland*)
        if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
            cat >&2 <<'EOF'
The window needs a graphical session: neither DISPLAY nor WAYLAND_DISPLAY is set.
Run scripts/run.sh from a terminal of your desktop, or use the command-line
tool instead, which does what the window does. From the project folder:

    scripts/install-deps.sh && cmake -S . -B build &&
        cmake --build build --target dr7326g-cli dr7326g-emulator
    build/emulator/dr7326g-emulator &    # an emulated pager (not needed with a real one)
    build/cli/dr7326g-cli params         # or history, set-time, ...; --help lists all
EOF
            exit 1
        fi
        ;;
esac

scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target dr7326g dr7326g-cli dr7326g-emulator

# The program looks for pagers here (device/usbsocketdir.cpp); it trusts only a
# directory of this user's own that nobody else may write to.
dir="${XDG_RUNTIME_DIR:+$XDG_RUNTIME_DIR/dr7326g}"
dir="${dir:-/tmp/dr7326g-$(id -u)}"
# A socket left behind by a pager that was killed has nobody listening on it
# (ss tells; without ss every socket counts as a pager).
listening() {
    ! command -v ss >/dev/null 2>&1 || ss -xlnH 2>/dev/null | grep -qF " $1 "
}
sockets=()
if [[ -d "$dir" && ! -L "$dir" && -O "$dir" ]]; then
    for s in "$dir"/*.sock; do
        if [[ -S "$s" ]] && listening "$s"; then
            sockets+=("$s")
        fi
    done
fi

emulator_pid=
log=
stop_emulator() {
    if [[ -n "$emulator_pid" ]]; then
        kill "$emulator_pid" 2>/dev/null || true
        wait "$emulator_pid" 2>/dev/null || true
    fi
}
if [[ ${#sockets[@]} -gt 0 ]]; then
    echo "Using the pager socket already there: ${sockets[*]}"
    [[ $# -gt 0 ]] && echo "(no emulator is started, so these options are not used: $*)"
else
    # A private log (mode 0600), so that no other account's file is in the way.
    log=$(mktemp "${TMPDIR:-/tmp}/dr7326g-emulator.XXXXXX.log")
    build/emulator/dr7326g-emulator "$@" >"$log" 2>&1 &
    emulator_pid=$!
    trap stop_emulator EXIT
    # The emulator writes "listening on PATH" once its socket is there; it
    # exits with its reason when it cannot serve (socket directory refused,
    # a bad option, another pager on the same socket).
    started=
    for _ in $(seq 100); do
        if grep -q '^listening on ' "$log"; then
            started=1
            break
        fi
        kill -0 "$emulator_pid" 2>/dev/null || break
        sleep 0.1
    done
    socket=$(sed -n 's/^listening on //p' "$log" | head -n 1)
    if [[ -z "$started" || ! -S "$socket" ]]; then
        stop_emulator
        emulator_pid=
        echo "The emulated pager did not start:" >&2
        sed 's/^/    /' "$log" >&2
        rm -f "$log"
        exit 1
    fi
    echo "Emulated pager on $socket (log: $log)"
    if [[ "$(dirname "$socket")" != "$dir" ]]; then
        echo "Note: the window looks for pagers in $dir only." >&2
    fi
fi

status=0
build/app/dr7326g || status=$?
exit "$status"
