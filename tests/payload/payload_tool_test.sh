#!/bin/sh
# payload-tool under Wine, on the archive that the host packer made from
# tests/payload/fixtures: verify, extract with and without progress, and the
# failures (damaged archive, blocked destination).
# Usage: payload_tool_test.sh WINE_RUN PAYLOAD_TOOL ARCHIVE FIXTURES WORK_DIR
set -eu
wine_run=$1 tool=$2 archive=$3 fixtures=$4 work=$5
rm -rf "$work"; mkdir -p "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }
win() { echo "Z:$1"; }
# run OUTPUT ARGS...: the tool's lines in OUTPUT (without CR), its exit status as status.
run() {
    output=$1; shift
    status=0
    "$wine_run" "$tool" "$@" > "$output.raw" || status=$?
    tr -d '\r' < "$output.raw" > "$output"
    return $status
}

run "$work/verify.txt" verify "$(win "$archive")" || fail "verify of the fixture archive"
size=$(wc -c < "$archive")
cp "$archive" "$work/bad.bz2"
# flip the lowest bit of the byte before the last (part of the stream's checksum)
byte=$(od -An -tu1 -j$((size - 2)) -N1 "$archive" | tr -d ' ')
printf "\\$(printf %03o $((byte ^ 1)))" | dd of="$work/bad.bz2" bs=1 seek=$((size - 2)) conv=notrunc 2>/dev/null
if run "$work/verify-bad.txt" verify "$(win "$work/bad.bz2")"; then fail "verify accepted a damaged archive"; fi

out=$work/run1
run "$work/extract.txt" extract "$(win "$archive")" "$(win "$out/install")" "$(win "$out/samples")" \
    "$(win "$out/temp")" || fail "extract: $(cat "$work/extract.txt")"
[ "$(head -n 1 "$work/extract.txt")" = started ] || fail "first line"
tail -n 1 "$work/extract.txt" | grep -q "^finished $size [0-9]*$" || fail "last line: $(tail -n 1 "$work/extract.txt")"
[ "$(grep -c '^file_begin ' "$work/extract.txt")" = 8 ] || fail "file_begin lines"
[ "$(grep -c '^file_end ' "$work/extract.txt")" = 8 ] || fail "file_end lines"
! grep -q '^progress ' "$work/extract.txt" || fail "progress without --progress"
grep -q '^file_end Z:.*install\\Lang\\deu.txt$' "$work/extract.txt" || fail "file_end path"
cmp "$fixtures/files/Lang/deu.txt" "$out/install/Lang/deu.txt" || fail "deu.txt"
cmp "$fixtures/files/Sample1.txt" "$out/samples/Project/Sample1.txt" || fail "Sample1.txt"
cmp "$fixtures/files/dsetup.txt" "$out/temp/dsetup.txt" || fail "dsetup.txt"
[ -f "$out/install/empty.txt" ] && [ ! -s "$out/install/empty.txt" ] || fail "empty.txt"

out=$work/run2
mkdir -p "$out/install/Gradiva.txt" # a folder where the first file goes
if run "$work/blocked.txt" extract "$(win "$archive")" "$(win "$out/install")" "$(win "$out/samples")" \
    "$(win "$out/temp")" --progress; then fail "extract into a blocked destination"; fi
grep -q '^progress [0-9]* [0-9]*$' "$work/blocked.txt" || fail "no progress lines"
tail -n 1 "$work/blocked.txt" | grep -q '^failed 1:00000005 Z:.*install\\Gradiva.txt$' \
    || fail "failure line: $(tail -n 1 "$work/blocked.txt")"

if run "$work/damaged.txt" extract "$(win "$work/bad.bz2")" "$(win "$work/run3")" "" "$(win "$work/run3")"; then
    fail "extract of a damaged archive"
fi
[ "$(cat "$work/damaged.txt")" = "started
failed 4 " ] || fail "damaged archive output: $(cat "$work/damaged.txt")"
[ ! -e "$work/run3" ] || fail "files written from a damaged archive"
rm -rf "$work"
echo "payload-tool: all checks passed"
