#!/usr/bin/env bash
# The Windows program as a Windows user gets it, under 64-bit Wine, in a
# prefix of its own whose user is «Иванов»: one STEP of install, cli, window,
# sync, uninstall (in this order, sharing the prefix; README, "The Windows
# program checked under Wine", says what each proves). Exit 77 (skipped)
# when this host cannot run it, with the reason.
# Usage: run-windows-program.sh STEP WORKDIR SETUP.exe VERSION
set -uo pipefail

skip() {
    echo "SKIPPED: $*"
    exit 77
}
fail() {
    echo "FAILED: $*"
    exit 1
}
[[ $# -eq 4 ]] || { echo "usage: $0 STEP WORKDIR SETUP VERSION" >&2; exit 2; }
step=$1 work=$2 setup=$3 version=$4
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$(dirname "$setup")/../.." && pwd) # the Linux build folder

[[ "$(uname -m)" == x86_64 ]] || skip "the Windows program is a 64-bit x86 program"
loader=/usr/lib/wine/wine64
[[ -x $loader ]] || skip "64-bit Wine is not installed (wine64)"
[[ -f $setup ]] || fail "no setup program $setup"

mkdir -p "$work"
export WINEPREFIX=$work/prefix WINEARCH=win64 WINELOADER=$loader WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
# Wine names the profile folder after the user.
export USER=Иванов LOGNAME=Иванов
# One zone and one language for Wine and the Linux tool alike.
export TZ=UTC LANG=C.UTF-8 LC_ALL=C.UTF-8
locale -a 2>/dev/null | grep -qix 'ru_RU\.utf-\?8' && export LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8
unset DISPLAY WAYLAND_DISPLAY DR7326G_ARCHIVE DR7326G_SERVER
drive=$WINEPREFIX/drive_c
program="$drive/Program Files/DR7326G-05A"
profile="$drive/users/$USER"
archive="$profile/AppData/Local/dr7326g/archive.sqlite"
menu="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/Данные пейджера DR7326G-05A.lnk"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\DR7326G-05A'
cli=("$build/cli/dr7326g-cli")
emulator="$build/emulator/dr7326g-emulator"

wine() { timeout 300 "$loader" "$@"; }
# Waits until every program of the prefix has ended.
settle() { timeout 120 /usr/lib/wine/wineserver64 -w; }
windows_path() { "$loader" winepath -w "$1" 2>/dev/null | tr -d '\r'; }

pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    wait 2>/dev/null
}
trap cleanup EXIT

# An emulated pager for the Windows program on a free TCP port of 127.0.0.1,
# and the same pager on a UNIX socket for the Linux tool (same history).
pager_options=(--serial 05A00042 --seed 1 --history-end 2026-12-01T12:00)
start_tcp_pager() {
    "$emulator" "${pager_options[@]}" --tcp 0 >"$work/emulator-tcp.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do
        port=$(grep -o '127\.0\.0\.1:[0-9]*' "$work/emulator-tcp.log" | head -n 1 | cut -d: -f2)
        [[ -n $port ]] && break
        sleep 0.1
    done
    [[ -n ${port:-} ]] || fail "the emulator did not listen on TCP: $(cat "$work/emulator-tcp.log")"
    export DR7326G_EMULATOR_TCP=$port
}
start_socket_pager() {
    export XDG_RUNTIME_DIR=$work/runtime
    rm -rf "$XDG_RUNTIME_DIR" && mkdir -m 700 "$XDG_RUNTIME_DIR"
    "$emulator" "${pager_options[@]}" >"$work/emulator-socket.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do
        compgen -G "$XDG_RUNTIME_DIR/dr7326g/*.sock" >/dev/null && return
        sleep 0.1
    done
    fail "the emulator did not start: $(cat "$work/emulator-socket.log")"
}
# The stand-in of the vendor library, on the system path as a user would put
# the vendor's own.
place_standin() {
    local standin=$build/emulator/windows/SiUSBXp.dll
    [[ -f $standin ]] || fail "no stand-in library $standin"
    cp "$standin" "$drive/windows/system32/SiUSBXp.dll"
}
# The window's fonts. Qt on Windows draws with the dialog fonts "MS Shell Dlg 2"
# (the application's font) and "MS Shell Dlg" (menus, the status bar, item
# views), which Windows maps to Tahoma and Microsoft Sans Serif. Debian's
# Wine 8 maps both to Tahoma but never loads its own fonts (those of
# fonts-wine, in /usr/share/wine/fonts, appear nowhere in its font list), so
# the names lead to no font at all. Qt then takes the first family it was
# offered, DejaVu Math TeX Gyre: a serif face whose line is over four times
# its size, which made every widget with a font of its own 75 px tall and
# filled the table with its header. Mapped here to DejaVu Sans, the Linux
# window's font (fonts-dejavu-core): drawn whole and wider than either
# Windows font, so what fits here fits on a Windows PC.
dialog_fonts() {
    local key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' name
    for name in "MS Shell Dlg" "MS Shell Dlg 2"; do
        wine reg add "$key" /v "$name" /d "DejaVu Sans" /f >/dev/null ||
            fail "cannot map the font \"$name\" to DejaVu Sans"
    done
    settle
}
# What differs between two runs a second apart: the clocks.
without_clocks() { sed -E 's/[0-9]{4}-[0-9]{2}-[0-9]{2}[ T][0-9]{2}:[0-9]{2}(:[0-9]{2})?/<time>/g; s/\r$//'; }

case $step in
install)
    rm -rf "$WINEPREFIX"
    wine wineboot -i >"$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log"; fail "wineboot"; }
    [[ -d $profile ]] || fail "the prefix has no profile folder $profile"
    dialog_fonts
    wine "$setup" /S || fail "the setup program ended with status $?"
    settle
    for file in dr7326g.exe dr7326g-cli.exe uninstall.exe Qt5Core.dll qwt.dll libpq.dll \
        platforms/qwindows.dll sqldrivers/qsqlite.dll sqldrivers/qsqlpsql.dll \
        translations/qtbase_ru.qm; do
        [[ -f "$program/$file" ]] || fail "not installed: $file"
    done
    [[ -f "$program/SiUSBXp.dll" ]] && fail "the vendor's library must not be shipped"
    [[ -f $menu ]] || fail "no Start menu entry $menu"
    registered=$(wine reg query "$uninstall_key" /v DisplayVersion 2>&1 | tr -d '\r')
    [[ $registered == *"$version"* ]] || fail "the uninstaller is not registered: $registered"
    printed=$(wine "$program/dr7326g-cli.exe" --version 2>&1 | tr -d '\r')
    [[ $printed == "dr7326g-cli $version" ]] || fail "--version printed: $printed"
    echo "installed into $program; $printed"
    ;;
cli)
    rm -f "$work"/linux.sqlite*
    place_standin
    start_tcp_pager
    start_socket_pager
    for command in params "history --csv out.csv"; do
        # shellcheck disable=SC2086
        windows=$(cd "$work" && wine "$program/dr7326g-cli.exe" $command 2>&1) ||
            fail "the Windows tool's $command ended with status $?: $windows"
        # Seen once in many runs: Wine reports a page fault as the tool ends,
        # after its output. Said, and the command run once more; a second
        # fault fails.
        if [[ $windows == *"Unhandled page fault"* ]]; then
            echo "WARNING: the Windows tool's $command faulted under Wine: $windows"
            # shellcheck disable=SC2086
            windows=$(cd "$work" && wine "$program/dr7326g-cli.exe" $command 2>&1) ||
                fail "the Windows tool's $command ended with status $?: $windows"
        fi
        # shellcheck disable=SC2086
        linux=$(cd "$work" && DR7326G_ARCHIVE=$work/linux.sqlite "${cli[@]}" $command 2>&1) ||
            fail "the Linux tool's $command ended with status $?: $linux"
        if ! diff <(without_clocks <<<"$linux") <(without_clocks <<<"$windows"); then
            fail "the Windows tool's $command printed otherwise than the Linux tool's"
        fi
        echo "== $command (Windows, Linux alike)"
        echo "$windows"
    done
    [[ -f $archive ]] || fail "no archive in the Windows user's folder: $archive"
    stored=$("${cli[@]}" archive records "${pager_options[1]}" --archive "$archive" 2>&1 | grep -c .)
    [[ $stored -gt 0 ]] || fail "the Windows archive holds no records"
    echo "the Windows archive $archive holds $stored records"
    ;;
window)
    command -v Xvfb >/dev/null || skip "no virtual display (Xvfb; scripts/install-deps.sh --test installs it)"
    if command -v fc-list >/dev/null && ! fc-list -q "DejaVu Sans"; then
        skip "no DejaVu Sans for the window's fonts (fonts-dejavu-core; scripts/install-deps.sh installs it)"
    fi
    place_standin
    start_tcp_pager
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do [[ -s "$work/display" ]] && break; sleep 0.1; done
    [[ -s "$work/display" ]] || fail "the virtual display did not start: $(cat "$work/xvfb.log")"
    export DISPLAY=":$(head -n 1 "$work/display")"
    # The screenshot tool drives the window's own code; beside the installed
    # program it loads the installed libraries and plugins.
    cp "$build/windows/scripts/screenshot/dr7326g-screenshot.exe" "$program/"
    rm -f "$work/screenshot.png"
    wine "$program/dr7326g-screenshot.exe" "$(windows_path "$work/screenshot.png")"
    status=$?
    rm -f "$program/dr7326g-screenshot.exe"
    [[ $status -eq 0 && -s "$work/screenshot.png" ]] || fail "no screenshot (status $status)"
    echo "the window read the pager: $work/screenshot.png"
    ;;
sync)
    [[ -n ${PGHOST:-} ]] || skip "no PostgreSQL server (the test command runs the tests under pg_virtualenv)"
    command -v psql >/dev/null || skip "no psql"
    [[ -f $archive ]] || fail "no Windows archive to send (the cli step fills it)"
    database=dr7326g_windows
    psql -q -d postgres -c "DROP DATABASE IF EXISTS $database WITH (FORCE)" -c "CREATE DATABASE $database" ||
        fail "cannot make the database $database"
    uri="postgresql://${PGUSER:-postgres}@${PGHOST}:${PGPORT:-5432}/$database"
    # A server that stops answering (its records locked by another session)
    # is left at the tool's own time limit, under Windows too.
    "${cli[@]}" archive list --source server --server "$uri" >/dev/null || fail "cannot set up $database"
    PGAPPNAME=dr7326g-test-lock psql -q -d $database \
        -c "BEGIN; LOCK TABLE records IN ACCESS EXCLUSIVE MODE; SELECT pg_sleep(600); ROLLBACK" \
        >/dev/null 2>&1 &
    locker=$!
    for _ in $(seq 100); do
        held=$(psql -tA -d $database -c "SELECT count(*) FROM pg_locks l JOIN pg_class c ON c.oid = l.relation WHERE c.relname = 'records' AND l.mode = 'AccessExclusiveLock' AND l.granted")
        [[ $held == 1 ]] && break
        sleep 0.1
    done
    [[ $held == 1 ]] || fail "the records could not be locked"
    out=$(DR7326G_SERVER_TIMEOUT=2 wine "$program/dr7326g-cli.exe" archive sync --server "$uri" 2>&1)
    status=$?
    psql -q -d postgres -c "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE application_name = 'dr7326g-test-lock'" >/dev/null
    wait $locker
    [[ $status == 1 && $out == *"did not answer within 2 s"* ]] ||
        fail "a sync against a locked table ended with status $status: $out"
    echo "sync, records locked: $out" | tr -d '\r'
    # The password reaches libpq from the environment (PGPASSWORD), never the URI.
    for round in 1 2; do
        out=$(wine "$program/dr7326g-cli.exe" archive sync --server "$uri" 2>&1) ||
            fail "archive sync (round $round) ended with status $?: $out"
        echo "sync $round: $out" | tr -d '\r'
    done
    serial=${pager_options[1]}
    here_records=$("${cli[@]}" archive records "$serial" --archive "$archive" 2>&1) ||
        fail "the Windows archive cannot be read: $here_records"
    there_records=$("${cli[@]}" archive records "$serial" --source server --server "$uri" 2>&1) ||
        fail "the server cannot be read: $there_records"
    [[ $here_records == "$there_records" ]] ||
        fail "the server's records differ from the Windows archive's"
    local_records=$(grep -c . <<<"$here_records")
    counted=$(psql -tA -d $database -c "SELECT count(*) FROM records")
    [[ $counted == "$local_records" && $local_records -gt 0 ]] ||
        fail "the server holds $counted records, the Windows archive $local_records"
    echo "the server holds the $local_records records of the Windows archive, each once"
    ;;
uninstall)
    [[ -f "$program/uninstall.exe" ]] || fail "no uninstaller"
    wine "$program/uninstall.exe" /S || fail "the uninstaller ended with status $?"
    settle
    [[ -e $program ]] && fail "left behind: $(cd "$program" && find . | head)"
    [[ -e $menu ]] && fail "the Start menu entry is left behind"
    wine reg query "$uninstall_key" >/dev/null 2>&1 && fail "the uninstaller is still registered"
    if [[ -f $archive ]]; then
        echo "removed; the user's archive stays: $archive"
    else
        echo "removed (this run stored no archive)"
    fi
    ;;
*)
    echo "unknown step $step" >&2
    exit 2
    ;;
esac
exit 0
