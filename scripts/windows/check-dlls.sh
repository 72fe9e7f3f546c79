#!/usr/bin/env bash
# Checks that a folder of Windows programs is whole: every DLL that a program,
# library or plugin in it imports is either in the folder beside the programs
# or one of Windows' own. A DLL forgotten in the setup program's list makes
# the program fail to start on a PC, with no message from us.
# Usage: scripts/windows/check-dlls.sh FOLDER
set -euo pipefail
folder=$1
objdump=$(command -v x86_64-w64-mingw32-objdump || command -v objdump)
# Windows' own libraries (and MinGW's msvcrt), in lower case.
system="advapi32.dll bcrypt.dll comdlg32.dll crypt32.dll d3d11.dll dwmapi.dll dxgi.dll gdi32.dll
 imm32.dll kernel32.dll mpr.dll msvcrt.dll netapi32.dll ole32.dll oleaut32.dll opengl32.dll
 secur32.dll setupapi.dll shell32.dll user32.dll userenv.dll uxtheme.dll version.dll winmm.dll
 winspool.drv ws2_32.dll wtsapi32.dll iphlpapi.dll dnsapi.dll rpcrt4.dll shlwapi.dll"
system=" $(echo $system) "
shipped=" $(cd "$folder" && ls -1 | tr 'A-Z' 'a-z' | tr '\n' ' ') "
missing=0
while IFS= read -r -d '' file; do
    for dll in $("$objdump" -p "$file" | awk '/DLL Name:/ { print tolower($3) }'); do
        if [[ "$system" != *" $dll "* && "$shipped" != *" $dll "* ]]; then
            echo "${file#"$folder"/} needs $dll, which is not in $folder" >&2
            missing=1
        fi
    done
done < <(find "$folder" -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0)
exit $missing
