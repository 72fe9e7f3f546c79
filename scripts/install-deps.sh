#!/usr/bin/env bash
# Installs with apt whatever of the build and test dependencies is missing
# (Debian 12 or later). Usage: scripts/install-deps.sh [--test | --screenshot]
set -euo pipefail

# libqt5sql5-sqlite: the archive's SQLite driver, needed to run and to test.
packages=(cmake g++ make pkg-config qtbase5-dev qtbase5-dev-tools libqwt-qt5-dev
          fonts-dejavu-core libqt5sql5-sqlite)
if [[ "${1:-}" == "--test" ]]; then
    # pdftotext and pdfinfo check the journal; MinGW (64- and 32-bit) checks that
    # the Windows backend compiles; tzdata gives the tests zones with daylight
    # saving; clang with libFuzzer runs the fuzz targets.
    packages+=(poppler-utils g++-mingw-w64-x86-64 g++-mingw-w64-i686 tzdata
               clang libfuzzer-14-dev)
elif [[ "${1:-}" == "--screenshot" ]]; then
    # A virtual X display and the Russian locale for scripts/screenshot.sh.
    packages+=(xvfb xauth locales)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

# The screenshot shows the window as a Russian desktop does (ru_RU.UTF-8).
locale_step=
if [[ "${1:-}" == "--screenshot" ]] && ! locale -a 2>/dev/null | grep -qix 'ru_RU\.utf-\?8'; then
    locale_step="grep -qx 'ru_RU.UTF-8 UTF-8' /etc/locale.gen || echo 'ru_RU.UTF-8 UTF-8' >>/etc/locale.gen; locale-gen"
fi
[[ ${#missing[@]} -eq 0 && -z "$locale_step" ]] && exit 0

sudo=()
if [[ $(id -u) -ne 0 ]]; then
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
    echo "Generating the locale ru_RU.UTF-8"
    "${sudo[@]}" sh -c "$locale_step"
fi
