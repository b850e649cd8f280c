#!/bin/sh
# The host packer: packs a manifest, lists and verifies the archive, checks the
# layout against an independent reading (bzip2 -dc, od), and rejects bad input
# with a message that names the manifest line.
# Usage: packer_test.sh PACKER
set -eu
packer=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir -p files/Lang
printf 'hello\n' > files/a.txt
: > files/empty.bin
head -c 70000 /dev/urandom > files/Lang/deu.dll
printf '\303\244 umlaut\n' > 'files/Über.txt'
cat > manifest.txt <<'MANIFEST'
# comment line, then a blank one

main_program	<InstallPath>	files/a.txt
0	<InstallPath>\Lang	files/Lang/deu.dll
sample_data	<SamplePath>\Project	files/empty.bin
  user_data	<CommonData>\Varnholt\Gradiva	files/Über.txt  
MANIFEST

"$packer" pack manifest.txt out.bz2 --depfile out.d || fail "pack"
[ "$(head -c 4 out.bz2)" = "BZh9" ] || fail "not one bzip2 stream with 900k blocks"
bzip2 -t out.bz2 || fail "bzip2 -t"

# Header: data_offset = 12 + records, entry_count 4; the data follows the table.
records=$(( (24 + 2 * (11 + 13)) + (24 + 2 * (18 + 18)) + (24 + 2 * (15 + 20)) + (24 + 2 * (14 + 29)) ))
offset=$(bzip2 -dc out.bz2 | od -An -tu8 -N8 | tr -d ' ')
count=$(bzip2 -dc out.bz2 | od -An -tu4 -j8 -N4 | tr -d ' ')
[ "$offset" = $((12 + records)) ] || fail "data_offset $offset, expected $((12 + records))"
[ "$count" = 4 ] || fail "entry_count $count"
total=$(bzip2 -dc out.bz2 | wc -c)
[ "$total" = $((12 + records + 6 + 70000 + 0 + 10)) ] || fail "decompressed size $total"
bzip2 -dc out.bz2 | tail -c 70010 | head -c 70000 | cmp - files/Lang/deu.dll || fail "file bytes"

"$packer" list out.bz2 > list.txt || fail "list"
grep -q "^1	6	363a3020	<InstallPath>	files/a.txt$" list.txt || fail "list line of a.txt: $(cat list.txt)"
grep -q "^4	0	00000000	<SamplePath>\\\\Project	files/empty.bin$" list.txt || fail "list line of empty.bin"
grep -q "<CommonData>\\\\Varnholt\\\\Gradiva	files/Über.txt$" list.txt || fail "UTF-8 name"
"$packer" verify out.bz2 > verify.txt || fail "verify of a sound archive"
grep -q "^OK: 4 entries" verify.txt || fail "verify output"
grep -q "out.bz2:" out.d && grep -q "files/Lang/deu.dll" out.d || fail "depfile"

# Damage: a changed stream checksum, a cut archive, junk after it.
size=$(wc -c < out.bz2)
cp out.bz2 bad.bz2
# flip the lowest bit of the byte before the last (part of the stream's checksum)
byte=$(od -An -tu1 -j$((size - 2)) -N1 out.bz2 | tr -d ' ')
printf "\\$(printf %03o $((byte ^ 1)))" | dd of=bad.bz2 bs=1 seek=$((size - 2)) conv=notrunc 2>/dev/null
! "$packer" verify bad.bz2 >/dev/null 2>&1 || fail "verify accepted a wrong checksum"
head -c $((size / 2)) out.bz2 > cut.bz2
! "$packer" verify cut.bz2 >/dev/null 2>&1 || fail "verify accepted a cut archive"
cat out.bz2 > junk.bz2; printf 'junk' >> junk.bz2
! "$packer" verify junk.bz2 >/dev/null 2>&1 || fail "verify accepted trailing junk"

# Bad manifests: the message names the file and line.
expect_error() { # line, text, manifest line...
    line=$1; text=$2; shift 2
    { echo '# first'; printf '%s\n' "$@"; } > bad.txt
    if "$packer" pack bad.txt bad-out.bz2 2> err.txt; then fail "accepted: $*"; fi
    grep -q "bad.txt:$line: .*$text" err.txt || fail "message for '$*': $(cat err.txt)"
    [ ! -e bad-out.bz2 ] || fail "wrote an archive for '$*'"
}
expect_error 2 "no such file" "0	<InstallPath>	files/missing.txt"
expect_error 2 "bad kind" "6	<InstallPath>	files/a.txt"
expect_error 2 "bad kind" "programfile	<InstallPath>	files/a.txt"
expect_error 2 "unknown folder macro" "0	<installpath>	files/a.txt"
expect_error 2 "must start with a folder macro" "0	C:\\Gradiva	files/a.txt"
expect_error 2 '".." is not allowed' "0	<InstallPath>\\..\\x	files/a.txt"
expect_error 2 "bad sub-folder" "0	<InstallPath>\\\\x	files/a.txt"
expect_error 2 "bad file name" "0	<InstallPath>	files/COM1.txt"
expect_error 2 "bad file name" "0	<InstallPath>	files/a.txt."
expect_error 2 "bad sub-folder" "0	<InstallPath>\\nul	files/a.txt"
expect_error 2 "bad file name" "0	<InstallPath>	files/GRADIV~1.EXE"
expect_error 3 "same file as line 2" "0	<InstallPath>\\Lang	files/a.txt" "1	<InstallPath>\\LANG	files/a.txt"
expect_error 3 "same file as line 2" "0	<InstallPath>\\Ärger	files/a.txt" "1	<InstallPath>\\äRGER	files/a.txt"
expect_error 2 "three tab-separated fields" "0 <InstallPath> files/a.txt"
expect_error 3 "no such file" "0	<InstallPath>	files/a.txt" "0	<InstallPath>	files"
echo "packer: all checks passed"
