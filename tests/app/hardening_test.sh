#!/bin/bash
# The image flags of Install.exe: ASLR (DYNAMIC_BASE, and HIGH_ENTROPY_VA for the
# 64-bit build), DEP (NX_COMPAT), and stack protection compiled in.
# Usage: hardening_test.sh OBJDUMP NM INSTALL_EXE...   (a missing program is reported and skipped)
set -euo pipefail
objdump=$1 nm=$2
shift 2
checked=0 failed=0
for program in "$@"; do
    [[ -f $program ]] || { echo "not built, skipped: $program"; continue; }
    header=$("$objdump" -p "$program")
    wanted=(DYNAMIC_BASE NX_COMPAT)
    grep -q '^Magic\s*020b' <<<"$header" && wanted+=(HIGH_ENTROPY_VA) # PE32+
    flags=$(sed -n '/^DllCharacteristics/,/^SizeOfStackReserve/p' <<<"$header")
    for flag in "${wanted[@]}"; do
        grep -qw "$flag" <<<"$flags" || { echo "FAIL: $program lacks $flag" >&2; failed=1; }
    done
    # Read whole first: grep -q ending the pipe early would fail it under pipefail.
    # A stripped program keeps its symbols in the file beside it.
    symbols=$("$nm" "$program" 2>/dev/null || true
              if [[ -f $program.debug ]]; then "$nm" "$program.debug"; fi)
    grep -qE ' _?__stack_chk_fail$' <<<"$symbols" || { echo "FAIL: $program has no stack protection" >&2; failed=1; }
    echo "$program: ${wanted[*]}, stack protection"
    checked=$((checked + 1))
done
((checked > 0)) || { echo "FAIL: no program checked" >&2; exit 1; }
exit $failed
