#!/usr/bin/env bash
# Builds Install.exe twice from this checkout, in two fresh build folders one
# after the other, and compares the two programs byte for byte, for each target.
# Exit 0 when every pair is identical. Takes a few minutes per target.
#
#   tools/check-reproducible.sh [x86|x64 ...]      (default: x86 x64)
#
# Set SOURCE_DATE_EPOCH to build as of that time (the default is no time at all).
set -euo pipefail
cd "$(dirname "$0")/.."
targets=("$@")
((${#targets[@]})) || targets=(x86 x64)
work=$(mktemp -d "${TMPDIR:-/tmp}/gradiva-repro.XXXXXX")
trap '[[ -n ${KEEP:-} ]] || rm -rf "$work"' EXIT

status=0
for target in "${targets[@]}"; do
    toolchain=cmake/toolchain-$([[ $target == x86 ]] && echo i686 || echo x86_64)-w64-mingw32.cmake
    for run in first second; do
        folder=$work/$target-$run
        cmake -S . -B "$folder" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
            -DGRADIVA_TESTS=OFF >/dev/null
        cmake --build "$folder" --target Install >/dev/null
    done
    first=$work/$target-first/src/Install.exe
    second=$work/$target-second/src/Install.exe
    if cmp -s "$first" "$second"; then
        echo "$target: identical ($(stat -c %s "$first") bytes, sha256 $(sha256sum "$first" | cut -c1-16)...)"
    else
        echo "$target: the two builds differ:" >&2
        cmp -l "$first" "$second" | head -5 >&2 || true
        status=1
    fi
done
exit $status
