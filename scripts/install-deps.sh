#!/usr/bin/env bash
# Installs with apt whatever of the build and test dependencies is missing
# (Debian 12 or later). Usage: scripts/install-deps.sh [--test | --screenshot | --windows]
set -euo pipefail

wine_packages=()
# qttranslations5-l10n: Qt's own dialogs (file dialogs, message boxes) in Russian;
# libqt5sql5-sqlite: the archive's SQLite driver, needed to run and to test;
# libqt5sql5-psql: the driver for the lab's PostgreSQL archive server;
# libusb-1.0-0-dev: a pager plugged in on USB.
packages=(cmake g++ make pkg-config qtbase5-dev qtbase5-dev-tools libqwt-qt5-dev
          fonts-dejavu-core qttranslations5-l10n libqt5sql5-sqlite libqt5sql5-psql
          libusb-1.0-0-dev)
if [[ "${1:-}" == "--test" ]]; then
    # pdftotext and pdfinfo check the journal; MinGW (64- and 32-bit) builds the
    # Windows USB backend with its check program; tzdata gives the tests zones
    # with daylight saving; clang with libFuzzer runs the fuzz targets.
    packages+=(poppler-utils g++-mingw-w64-x86-64 g++-mingw-w64-i686 tzdata
               clang libfuzzer-14-dev)
    # umockdev plays a pager's USB bridge for the libusb backend's tests
    # (umockdev-wrapper); without it those tests are skipped.
    packages+=(umockdev libumockdev-dev)
    # Wine runs those Windows builds (64- and 32-bit) against a stand-in of the
    # USB vendor's library. Optional: without it those checks are skipped.
    # 32-bit Wine only where this host starts 32-bit programs at all: some
    # kernels and containers cannot, and there its checks are skipped.
    # Not fonts-wine: Debian's Wine 8 never loads those fonts; the Windows
    # window's checks map its fonts to DejaVu Sans instead
    # (tests/windows/run-windows-program.sh).
    if [[ "$(dpkg --print-architecture)" == amd64 ]]; then
        wine_packages=(wine wine64)
        if why=$("$(dirname "$0")/runs-32bit.sh"); then
            wine_packages+=(wine32:i386)
        else
            echo "No 32-bit Wine: $why; the 32-bit Windows checks will be skipped." >&2
        fi
    fi
    # scripts/check-package.sh: the Debian package (dependency list, contents,
    # lintian), the desktop entry, the metainfo and the man pages.
    packages+=(dpkg-dev file lintian desktop-file-utils appstream man-db groff-base)
    # The archive's tests against a real server: pg_virtualenv (postgresql-common)
    # starts a throwaway PostgreSQL cluster for the test run.
    packages+=(postgresql postgresql-common)
    # The Windows program's window is read and pictured on a virtual display.
    packages+=(xvfb xauth locales nsis)
elif [[ "${1:-}" == "--windows" ]]; then
    # scripts/windows/build.sh: the Windows program with MinGW-w64 (posix
    # threads), its setup program with NSIS, Qt's Russian translations in it.
    packages=(cmake make g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 nsis
              qttranslations5-l10n)
elif [[ "${1:-}" == "--screenshot" ]]; then
    # A virtual X display and the Russian locale for scripts/screenshot.sh.
    packages+=(xvfb xauth locales)
fi

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}
missing=()
for p in "${packages[@]}"; do
    installed "$p" || missing+=("$p")
done
wine_missing=()
for p in "${wine_packages[@]}"; do
    installed "$p" || wine_missing+=("$p")
done
wine_step="apt-get update && apt-get install -y --no-install-recommends ${wine_missing[*]}"
needs_i386=false
[[ " ${wine_missing[*]} " == *":i386 "* ]] && needs_i386=true
$needs_i386 && wine_step="dpkg --add-architecture i386 && $wine_step"

# The screenshot shows the window as a Russian desktop does (ru_RU.UTF-8);
# the tests also write the files for programs under a German locale (a
# decimal comma, '.' between thousands), whose bytes must not change.
locales=()
[[ "${1:-}" == --screenshot || "${1:-}" == --test ]] && locales+=(ru_RU)
[[ "${1:-}" == --test ]] && locales+=(de_DE)
locale_step=
for l in "${locales[@]}"; do
    if ! locale -a 2>/dev/null | grep -qix "${l}\.utf-\?8"; then
        locale_step+="grep -qx '$l.UTF-8 UTF-8' /etc/locale.gen || echo '$l.UTF-8 UTF-8' >>/etc/locale.gen; "
    fi
done
[[ -n "$locale_step" ]] && locale_step+="locale-gen"
[[ ${#missing[@]} -eq 0 && -z "$locale_step" && ${#wine_missing[@]} -eq 0 ]] && exit 0

sudo=()
if [[ $(id -u) -ne 0 ]]; then
    if ! command -v sudo >/dev/null 2>&1 && [[ ${#missing[@]} -eq 0 && -z "$locale_step" ]]; then
        echo "Wine is missing (${wine_missing[*]}): the Windows checks will be skipped." >&2
        echo "To run them, run this as root:" >&2
        echo "    $wine_step" >&2
        exit 0
    fi
    if ! command -v sudo >/dev/null 2>&1; then
        if [[ ${#missing[@]} -gt 0 ]]; then
            echo "These packages are missing: ${missing[*]}" >&2
        fi
        echo "Run this as root, then run this command again:" >&2
        if [[ ${#missing[@]} -gt 0 ]]; then
            echo "    apt-get update && apt-get install -y --no-install-recommends ${missing[*]}" >&2
        fi
        if [[ -n "$locale_step" ]]; then
            echo "    $locale_step" >&2
        fi
        if [[ ${#wine_missing[@]} -gt 0 ]]; then
            echo "    $wine_step" >&2
        fi
        exit 1
    fi
    sudo=(sudo)
fi

export DEBIAN_FRONTEND=noninteractive
if [[ ${#missing[@]} -gt 0 ]]; then
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
if [[ -n "$locale_step" ]]; then
    echo "Generating the locales ${locales[*]/%/.UTF-8}"
    "${sudo[@]}" sh -c "$locale_step"
fi
if [[ ${#wine_missing[@]} -gt 0 ]]; then
    echo "Installing Wine: ${wine_missing[*]}"
    if ! { ! $needs_i386 || dpkg --print-foreign-architectures | grep -qx i386 ||
            "${sudo[@]}" dpkg --add-architecture i386; } ||
        ! "${sudo[@]}" apt-get update -qq ||
        ! "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${wine_missing[@]}"; then
        echo "Wine could not be installed: the Windows checks will be reported as skipped." >&2
    fi
fi
