#!/usr/bin/env bash
# Tells whether this host starts 32-bit x86 programs: some kernels and
# containers of amd64 hosts cannot (no IA-32 emulation), and there 32-bit Wine
# cannot run, even when its packages install. The answer comes from trying: a
# 93-byte static i386 program that only exits with status 32, written into a
# folder where programs may run (FOLDER, if given, is tried first).
# Exit 0: it runs; exit 1: it does not, with the reason on stdout.
# Usage: scripts/runs-32bit.sh [FOLDER]
set -uo pipefail

# ELF header, one program header (load it all read+execute at 0x08048000),
# then: xor ebx,ebx; mov bl,32; xor eax,eax; inc eax (exit); int 0x80.
program='\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'
program+='\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00'
program+='\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00'
program+='\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08'
program+='\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00'
program+='\x00\x10\x00\x00\x31\xdb\xb3\x20\x31\xc0\x40\xcd\x80'

case "$(uname -m)" in
    x86_64 | i?86) ;;
    *)
        echo "this is not an x86 host ($(uname -m))"
        exit 1
        ;;
esac

reason="no folder here lets a program be written and started"
for folder in "${1:-}" "${TMPDIR:-/tmp}" /dev/shm "${HOME:-}"; do
    [[ -n "$folder" && -d "$folder" && -w "$folder" ]] || continue
    probe=$(mktemp "$folder/runs-32bit.XXXXXX" 2>/dev/null) || continue
    printf "$program" >"$probe" && chmod 700 "$probe"
    message=$("$probe" 2>&1)
    status=$?
    rm -f "$probe"
    [[ $status -eq 32 ]] && exit 0
    # A folder mounted noexec says "Permission denied": try the next one.
    if [[ "$message" == *"ormat error"* ]]; then
        echo "this host does not start 32-bit programs (Exec format error)"
        exit 1
    fi
    reason="a 32-bit program did not start here (status $status${message:+: $message})"
done
echo "$reason"
exit 1
