#!/usr/bin/env bash
# Runs one Windows build of the check program under Wine, in the folder that
# holds it beside its stand-in vendor library. Each architecture has its own
# Wine prefix beside those folders, made once (32-bit: WINEARCH=win32).
# Exit 77 (reported as skipped) when Wine cannot run that architecture here:
# not installed, or a host that cannot start 32-bit programs at all.
# Usage: run-wine-check.sh x86_64|i686 FOLDER current|older|incomplete|none
#        run-wine-check.sh --skip REASON
set -uo pipefail

skip() {
    echo "SKIPPED: $*"
    exit 77
}
[[ "${1:-}" == "--skip" ]] && skip "${2:-}"
[[ $# -eq 3 ]] || { echo "usage: $0 x86_64|i686 FOLDER MODE" >&2; exit 2; }
arch=$1 folder=$2 mode=$3
here=$(cd "$(dirname "$0")" && pwd)

# Debian's /usr/bin/wine takes the 32-bit loader whenever wine32 is installed,
# also for 64-bit programs, so each architecture names its loader itself.
libdir=/usr/lib/wine
case "$arch" in
    x86_64) winearch=win64 loader=$libdir/wine64 package=wine64 ;;
    i686) winearch=win32 loader=$libdir/wine package=wine32:i386 ;;
    *) echo "unknown architecture $arch" >&2; exit 2 ;;
esac
[[ "$(uname -m)" == x86_64 ]] || skip "the Windows builds are x86 programs: Wine runs them on x86-64 hosts"
if [[ ! -d $libdir ]]; then
    # Not Debian's layout: the loaders are on the PATH.
    loader=$(command -v "$(basename "$loader")" || command -v wine) ||
        skip "Wine is not installed (scripts/install-deps.sh --test installs it)"
elif [[ ! -x $loader ]]; then
    skip "Wine cannot run $arch programs here: $package is not installed"
fi
if [[ $arch == i686 ]]; then
    # A host whose kernel or container cannot start 32-bit programs cannot
    # run 32-bit Wine either, whatever is installed.
    # DR7326G_RUNS_32BIT: another probe, for the check of this skip itself.
    if ! why=$("${DR7326G_RUNS_32BIT:-$here/../../scripts/runs-32bit.sh}" "$(dirname "$folder")"); then
        skip "32-bit Windows programs cannot run here: $why"
    fi
fi

export WINEPREFIX="$(dirname "$folder")/wineprefix" WINEARCH=$winearch WINEDEBUG=-all
export WINELOADER=$loader
# No Mono or Gecko to offer, no menu entries in the user's desktop, no window.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
unset DISPLAY WAYLAND_DISPLAY

# The tests of one architecture share the prefix: the first one makes it.
(
    flock 9
    if [[ ! -e "$WINEPREFIX/.made" ]]; then
        rm -rf "$WINEPREFIX"
        if ! timeout 300 "$loader" wineboot -i >"$WINEPREFIX.log" 2>&1; then
            cat "$WINEPREFIX.log"
            echo "FAILED: wineboot could not make the Wine prefix $WINEPREFIX"
            exit 1
        fi
        touch "$WINEPREFIX/.made"
    fi
) 9>"$WINEPREFIX.lock" || exit 1

cd "$folder" || exit 1
timeout 120 "$loader" ./wine_check.exe "$mode"
status=$?
case $status in
    0) exit 0 ;;
    124) echo "FAILED: the check did not end within 120 s" ;;
    *) echo "FAILED: the check ended with status $status" ;;
esac
exit 1
