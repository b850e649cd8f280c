#!/bin/bash
# The shipped form of Install.exe: stripped, with its symbols in a separate file
# that the program names (.gnu_debuglink); no build time and no build folder in
# it; and a stub (the program without its payload) below a size limit.
# Usage: release_test.sh OBJDUMP NM LIMIT_BYTES SOURCE_DIR BUILD_DIR INSTALL_EXE
# Exit 77 (skipped) when the program is not built.
set -euo pipefail
objdump=$1 nm=$2 limit=$3 source_dir=$4 build_dir=$5 program=$6
failed=0
fail() { echo "FAIL: $program: $*" >&2; failed=1; }

[[ -f $program ]] || { echo "not built, skipped: $program"; exit 77; }

# Stripped, and the symbols kept beside it.
if "$nm" "$program" 2>&1 | grep -qv 'no symbols'; then
    fail "carries a symbol table"
fi
# The section holds the file name, NUL-padded, then a CRC: the hex columns of the dump.
link=$("$objdump" -s -j .gnu_debuglink "$program" 2>/dev/null \
    | awk '/^ [0-9a-f]+ / { for (i = 2; i <= 5; ++i) if ($i ~ /^[0-9a-f]+$/) printf "%s", $i }' \
    | xxd -r -p | tr '\0' '\n' | head -n 1)
[[ -n $link && -f $(dirname "$program")/$link ]] || fail "no separate symbol file named by .gnu_debuglink (found '$link')"

# No build time: the PE header's time stamp is 0, in the symbol file too (the
# program carries its checksum).
expected=$(LC_ALL=C date -u -d @0 '+%a %b %e %H:%M:%S %Y')
for file in "$program" "$(dirname "$program")/$link"; do
    stamp=$("$objdump" -p "$file" 2>/dev/null | sed -n 's/^Time\/Date\s*//p')
    [[ $stamp == "$expected" ]] || fail "PE time stamp of $file is '$stamp', not '$expected'"
done

# No build folder: neither the sources', the build's, the dependencies' nor the
# builder's home path may be compiled in.
for folder in "$source_dir" "$build_dir" "${GRADIVA_DEPS:-$HOME/.cache/gradiva-deps}" "$HOME"; do
    if grep -qaF -- "$folder" "$program"; then
        fail "contains the path $folder"
    fi
done

# The payload is resource 134 of type 260.
payload=$(wrestool -x --raw --type=260 --name=134 "$program" | wc -c)
((payload > 0)) || fail "carries no payload"
size=$(stat -c %s "$program")
stub=$((size - payload))
echo "$program: $size bytes, stub $stub bytes without the $payload-byte payload (limit $limit)"
((stub <= limit)) || fail "the stub is $stub bytes, over its limit of $limit"
exit $failed
