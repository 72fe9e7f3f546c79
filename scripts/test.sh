#!/usr/bin/env bash
# Installs what is missing, builds into build/, fuzzes the parsers for a short
# while, runs every test (those of the archive's server against a throwaway
# PostgreSQL server), then builds the Debian package and checks it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --test
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
scripts/fuzz.sh "${DR7326G_FUZZ_SECONDS:-20}"
# The archive's server tests run against a throwaway PostgreSQL cluster made by
# pg_virtualenv (also as root); without it they are reported as skipped.
status=0
if command -v pg_virtualenv >/dev/null 2>&1; then
    echo "Running the tests with a throwaway PostgreSQL server (pg_virtualenv)"
    # -t: a cluster in a temporary folder, also as root, apart from any other.
    (cd build && pg_virtualenv -t ctest --output-on-failure -j"$(nproc)") || status=$?
else
    echo "pg_virtualenv is missing: the PostgreSQL tests will be skipped" >&2
    (cd build && ctest --output-on-failure -j"$(nproc)") || status=$?
fi
# What this host could not run, and why (a skipped test says so in its output).
awk '/^[0-9]+\/[0-9]+ Test: / { test = $3 }
     /^SKIPPED: / && test != "" { sub(/^SKIPPED: /, ""); print "  skipped " test ": " $0 }' \
    build/Testing/Temporary/LastTest.log 2>/dev/null || true
[[ $status -eq 0 ]] || exit "$status"
scripts/check-package.sh build
