#!/usr/bin/env bash
# Builds Install.exe and Uninstall.exe twice from this checkout's commit, each time
# from its own copy of the sources in another folder and into a fresh build folder,
# one after the other, and compares the programs byte for byte, for each target.
# Exit 0 when every pair is identical. Takes a few minutes per target. Uncommitted
# changes are not built.
#
#   tools/check-reproducible.sh [x86|x64 ...]      (default: x86 x64)
#
# The programs carry no time (PE time stamp 0) and no path of the sources or builds.
set -euo pipefail
cd "$(dirname "$0")/.."
targets=("$@")
((${#targets[@]})) || targets=(x86 x64)
work=$(mktemp -d "${TMPDIR:-/tmp}/gradiva-repro.XXXXXX")
cleanup() {
    git worktree remove --force "$work/sources-first" 2>/dev/null || true
    git worktree remove --force "$work/sources-second-copy" 2>/dev/null || true
    [[ -n ${KEEP:-} ]] || rm -rf "$work"
}
trap cleanup EXIT
# Two copies of the sources at paths of different lengths: the path mapping is tested too.
git worktree add --detach --quiet "$work/sources-first" HEAD
git worktree add --detach --quiet "$work/sources-second-copy" HEAD

status=0
for target in "${targets[@]}"; do
    toolchain=cmake/toolchain-$([[ $target == x86 ]] && echo i686 || echo x86_64)-w64-mingw32.cmake
    for run in first second-copy; do
        sources=$work/sources-$run
        folder=$work/build-$target-$run
        cmake -S "$sources" -B "$folder" -G Ninja -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_TOOLCHAIN_FILE="$sources/$toolchain" -DGRADIVA_TESTS=OFF >/dev/null
        cmake --build "$folder" --target Install Uninstall >/dev/null
    done
    for program in Install.exe Uninstall.exe; do
        first=$work/build-$target-first/src/$program
        second=$work/build-$target-second-copy/src/$program
        if cmp -s "$first" "$second"; then
            echo "$target $program: identical ($(stat -c %s "$first") bytes, sha256 $(sha256sum "$first" | cut -c1-16)...)"
        else
            echo "$target $program: the two builds differ:" >&2
            cmp -l "$first" "$second" | head -5 >&2 || true
            status=1
        fi
    done
done
exit $status
