#!/usr/bin/env bash
# Regenerates resources/help.pdf, the user guide compiled into the program,
# from resources/help/help.html. The PDF is kept in the repository, so building
# the program does not need this script.
#
# The HTML is laid out on A4 pages by a small Qt tool (scripts/htmltopdf),
# built here into a temporary directory. Needs: cmake, a C++ compiler, the Qt 5
# development packages and the DejaVu fonts (Debian: fonts-dejavu-core);
# pdftotext (poppler-utils), when installed, checks the result.
#
# Usage: scripts/make-help.sh
set -euo pipefail
cd "$(dirname "$0")/.."

src=resources/help/help.html
out=resources/help.pdf
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

cmake -S scripts/htmltopdf -B "$tmp/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$tmp/build" -j2 >/dev/null
QT_QPA_PLATFORM=offscreen "$tmp/build/htmltopdf" "$src" "$tmp/help.pdf"
mv "$tmp/help.pdf" "$out"

if command -v pdftotext >/dev/null; then
    # The Cyrillic text must come out of the PDF as text, not as missing glyphs.
    text=$(pdftotext "$out" -)
    grep -q "Читать историю" <<<"$text" || {
        echo "make-help.sh: $out holds no readable Cyrillic text" >&2
        exit 1
    }
fi
if command -v pdfinfo >/dev/null; then
    pdfinfo "$out" | grep -E "^(Title|Pages|Page size):"
fi
echo "written: $out"
