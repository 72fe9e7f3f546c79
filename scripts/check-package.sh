#!/usr/bin/env bash
# Builds the Debian package (scripts/package.sh) and checks it as a
# distribution would: the desktop entry, the metainfo, the man pages, the
# package's files and lintian. Also: the man pages and the bash completion
# name every command and option that the programs' --help lists, and the
# programs and the package have one version.
# Usage: scripts/check-package.sh [BUILD_DIR]  (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
scripts/package.sh "$build"
deb=$(ls "$build"/dr7326g_*.deb)
gen=$build/packaging
id=$(basename "$(ls "$gen"/*.desktop)" .desktop)

passed=0
failed=0
check() { # name command...: runs the command, counts and reports its outcome
    local name=$1 output
    shift
    if output=$("$@" 2>&1); then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        printf 'FAIL %s\n%s\n' "$name" "$output" | sed '2,$s/^/    /' >&2
    fi
}

check "desktop entry" desktop-file-validate "$gen/$id.desktop"
check "metainfo" appstreamcli validate --no-net "$gen/$id.metainfo.xml"
# man-db reads pages as UTF-8 only in a UTF-8 locale; any troff warning fails.
man_clean() {
    local warnings
    warnings=$(LC_ALL=C.UTF-8 man --warnings -l "$1" 2>&1 >/dev/null)
    [[ -z $warnings ]] || { echo "$warnings"; return 1; }
}
for page in "$gen"/man/*.1; do
    check "man page $(basename "$page")" man_clean "$page"
done

# Each file in the package.
has_files() {
    local listing missing=()
    listing=$(dpkg-deb --contents "$deb" | awk '{print $NF}' | sed 's|^\./||')
    for f in "$@"; do
        grep -qxF "$f" <<<"$listing" || missing+=("$f")
    done
    [[ ${#missing[@]} -eq 0 ]] || { echo "not in $deb: ${missing[*]}"; return 1; }
}
icons=()
for s in 16 22 24 32 48 64 128 256; do
    icons+=("usr/share/icons/hicolor/${s}x$s/apps/$id.png")
done
check "package files" has_files usr/bin/dr7326g usr/bin/dr7326g-cli usr/bin/dr7326g-emulator \
    "usr/share/applications/$id.desktop" "usr/share/metainfo/$id.metainfo.xml" \
    "${icons[@]}" "usr/share/icons/hicolor/scalable/apps/$id.svg" \
    usr/share/man/man1/dr7326g.1.gz usr/share/man/man1/dr7326g-cli.1.gz \
    usr/share/man/man1/dr7326g-emulator.1.gz usr/share/bash-completion/completions/dr7326g-cli \
    usr/share/doc/dr7326g/copyright usr/share/doc/dr7326g/changelog.gz \
    usr/lib/udev/rules.d/70-dr7326g.rules usr/lib/systemd/user/dr7326g-station.service
check "package dependencies computed" bash -c \
    "dpkg-deb --field '$deb' Depends | grep -q libqt5widgets5 && dpkg-deb --field '$deb' Depends | grep -q libusb-1.0-0"
check "the archive's SQL drivers are asked for" bash -c \
    "dpkg-deb --field '$deb' Depends | grep -q libqt5sql5-sqlite && dpkg-deb --field '$deb' Recommends | grep -q libqt5sql5-psql"
check "lintian" lintian --fail-on error "$deb"

# One version: the package's, the programs' --version, the man pages'.
one_version() {
    local v
    v=$(dpkg-deb --field "$deb" Version)
    if ! [[ $("$build/cli/dr7326g-cli" --version) == "dr7326g-cli $v" &&
        $("$build/emulator/dr7326g-emulator" --version) == "dr7326g-emulator $v" ]] ||
        ! grep -q "\"dr7326g $v\"" "$gen"/man/dr7326g.1; then
        echo "package $v, programs and pages differ"
        return 1
    fi
}
check "one version" one_version

# Every command and option of --help in the man page and the completion.
cli=$build/cli/dr7326g-cli
completion=packaging/bash-completion/dr7326g-cli
# awk reads to the end: leaving early would end the tool with SIGPIPE, which
# pipefail takes for a failure.
commands=$("$cli" --help | awk '/^Commands:/ { on = 1; next }
                                on && /^$/ { on = 0 }
                                on && /^  [a-z]/ { print $1 }')
options() { "$@" | grep -o -- '--[a-z][a-z0-9-]*' | sort -u; }
cli_options=$({ options "$cli" --help
                for c in $commands; do options "$cli" "$c" --help || true; done; } | sort -u)
in_man() { # page option-or-command...
    local page=$1 missing=()
    shift
    for w in "$@"; do
        # As roff writes it (\- for -), and not the start of a longer name.
        grep -qP -- "(?<![a-z])\\Q${w//-/\\-}\\E(?![a-z0-9]|\\\\-)" "$page" ||
            missing+=("$w")
    done
    [[ ${#missing[@]} -eq 0 ]] || { echo "not in $page: ${missing[*]}"; return 1; }
}
# shellcheck disable=SC2086
check "dr7326g-cli.1 names --help's commands and options" \
    in_man packaging/man/dr7326g-cli.1.in $commands $cli_options
# shellcheck disable=SC2046
check "dr7326g-emulator.1 names --help's options" \
    in_man packaging/man/dr7326g-emulator.1.in $(options "$build/emulator/dr7326g-emulator" --help)
in_completion() {
    bash -c '. "$0"
        commands=" ${!_dr7326g_cli_commands[*]} "
        words=" ${_dr7326g_cli_commands[*]} $_dr7326g_cli_options "
        for w; do
            case $w in
                --*) [[ $words == *" $w "* || $words == *" $w="* ]] ;;
                *) [[ $commands == *" $w "* ]] ;;
            esac || missing+=" $w"
        done
        [[ -z $missing ]] || { echo "not in $0:$missing"; exit 1; }' "$completion" "$@"
}
# shellcheck disable=SC2086
check "completion names --help's commands and options" in_completion $commands $cli_options
completes() { # expected words...: what the completion offers for the last word
    local expected=$1 got
    shift
    got=$(bash -c '. "$0"; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _dr7326g_cli
                   printf "%s\n" "${COMPREPLY[@]}"' "$completion" "$@")
    [[ $got == "$expected" ]] || { echo "offered: $got"; return 1; }
}
check "completion of dr7326g-cli hi<Tab>" completes history dr7326g-cli hi

echo "$deb"
echo "package: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
