#!/usr/bin/env bash
# Builds the fuzz targets with clang (AddressSanitizer, UBSan, libFuzzer) into
# build-fuzz/, replays every saved regression input, then fuzzes each target
# for SECONDS (default 20) starting from its seed corpus.
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
shopt -s nullglob
cd "$(dirname "$0")/.."
seconds="${1:-20}"
shift || true

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DDR7326G_FUZZ=ON -DDR7326G_PARTS="device;history" \
    -DDR7326G_BUILD_TESTS=OFF -DDR7326G_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)"

targets=("$@")
if [[ ${#targets[@]} -eq 0 ]]; then
    for f in tests/fuzz/fuzz_*.cpp; do
        targets+=("$(basename "$f" .cpp)")
    done
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
failed=0
for t in "${targets[@]}"; do
    name="${t#fuzz_}"
    bin="build-fuzz/tests/fuzz/$t"
    regressions=(tests/fuzz/regressions/"$name"/*)
    if [[ ${#regressions[@]} -gt 0 ]]; then
        echo "== $t: ${#regressions[@]} regression inputs"
        "$bin" "${regressions[@]}" >"$work/$t.log" 2>&1 || { cat "$work/$t.log"; failed=1; continue; }
    fi
    echo "== $t: fuzzing for ${seconds} s"
    mkdir -p "$work/$t" "tests/fuzz/corpus/$name"
    if ! "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$work/" "$work/$t" "tests/fuzz/corpus/$name" >"$work/$t.log" 2>&1; then
        tail -n 60 "$work/$t.log"
        for a in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*; do
            [[ -e "$a" ]] && { mkdir -p build-fuzz/artifacts; cp "$a" build-fuzz/artifacts/; }
        done
        echo "$t: a failing input is kept in build-fuzz/artifacts/"
        failed=1
    else
        grep -E '^(Done|#[0-9]+ +DONE)' "$work/$t.log" | tail -n 1 || true
    fi
done
exit "$failed"
