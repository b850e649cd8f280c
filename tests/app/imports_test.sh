#!/bin/bash
# The libraries that Install.exe imports: known libraries of Windows only (the loader
# never takes those from the program's folder), and comctl32, which the manifest binds
# to the system's side-by-side version 6. Any other import would be looked for beside
# the setup program first, in a downloads folder, before any of our code runs.
# The programs after --tools (payload-tool) link the layers below the wizard only
# and have no window: they import neither comctl32 nor gdi32.
# Usage: imports_test.sh OBJDUMP INSTALL_EXE... [--tools TOOL_EXE...]
# (a missing Install.exe is reported and skipped; a missing tool fails)
set -euo pipefail
objdump=$1
shift
allowed=' advapi32.dll comctl32.dll comdlg32.dll gdi32.dll imm32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll shell32.dll shlwapi.dll user32.dll '
tools=0
checked=0 failed=0
for program in "$@"; do
    if [[ $program == --tools ]]; then
        tools=1
        allowed=${allowed/ comctl32.dll / }
        allowed=${allowed/ gdi32.dll / }
        continue
    fi
    if [[ ! -f $program ]]; then
        ((tools == 0)) || { echo "FAIL: not built: $program" >&2; exit 1; }
        echo "not built, skipped: $program"
        continue
    fi
    imports=$("$objdump" -p "$program" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')
    [[ -n $imports ]] || { echo "FAIL: no imports read from $program" >&2; exit 1; }
    for dll in $imports; do
        [[ $allowed == *" $dll "* ]] || { echo "FAIL: $program imports $dll" >&2; failed=1; }
    done
    echo "$program: $(wc -w <<<"$imports") imports, $(tr '\n' ' ' <<<"$imports")"
    checked=$((checked + 1))
done
((checked > 0)) || { echo "FAIL: no program checked" >&2; exit 1; }
exit $failed
