#!/bin/bash
# Names in many scripts through the whole payload chain: manifest (UTF-8) ->
# archive table (UTF-16) -> `packer list`, and `payload-tool extract` under Wine
# writing each file under exactly its name, byte for byte.
# Usage: payload_names_test.sh PACKER WINE_RUN PAYLOAD_TOOL WORK_DIR
set -euo pipefail
packer=$1 wine_run=$2 tool=$3 work=$4
rm -rf "$work"; mkdir -p "$work/src"
fail() { echo "FAIL: $*" >&2; exit 1; }

# kind, destination folder, file name: Latin of code page 1252 and beyond it,
# Greek, Cyrillic, Arabic, Chinese, Japanese, single and double blanks.
entries=(
    "0|<InstallPath>|Ärger.txt"
    "0|<InstallPath>\\Größe Ω|Łódź čő ğış.txt"
    "0|<InstallPath>\\Ελληνικά\\Русский  язык|Ελένη Ω.txt"
    "3|<InstallPath>\\مكتبة|مرحبا بالعالم.gcl"
    "3|<InstallPath>\\中文  文件|Юрий 日本.gcl"
    "4|<SamplePath>\\Beispiele  Ωμέγα|図面 サンプル.grd"
    "4|<SamplePath>\\日本語|café  crème.grd"
)
manifest=$work/manifest.txt
: >"$manifest"
for entry in "${entries[@]}"; do
    IFS='|' read -r kind folder name <<<"$entry"
    printf 'Gradiva %s in %s\n' "$name" "$folder" >"$work/src/$name"
    printf '%s\t%s\tsrc/%s\n' "$kind" "$folder" "$name" >>"$manifest"
done
"$packer" pack "$manifest" "$work/names.bz2" || fail "pack"
"$packer" list "$work/names.bz2" >"$work/listing.tsv" || fail "list"

i=0
while IFS=$'\t' read -r kind _ _ folder source; do
    [[ $kind =~ ^[0-5]$ ]] || continue
    IFS='|' read -r want_kind want_folder name <<<"${entries[i]}"
    [[ $kind == "$want_kind" && $folder == "$want_folder" && ${source##*[\\/]} == "$name" ]] ||
        fail "listing line $((i + 1)): $kind $folder $source, not $want_kind $want_folder $name"
    i=$((i + 1))
done <"$work/listing.tsv"
((i == ${#entries[@]})) || fail "listing has $i entries, not ${#entries[@]}"

out=$work/out
win() { printf 'Z:%s' "${1//\//\\}"; }
"$wine_run" "$tool" extract "$(win "$work/names.bz2")" "$(win "$out/install")" "$(win "$out/samples")" "$(win "$out/temp")" \
    | tr -d '\r' >"$work/extract.txt" || fail "extract: $(cat "$work/extract.txt")"
for entry in "${entries[@]}"; do
    IFS='|' read -r _ folder name <<<"$entry"
    folder=${folder/<InstallPath>/install}
    folder=${folder/<SamplePath>/samples}
    cmp -s "$work/src/$name" "$out/${folder//\\//}/$name" || fail "not written exactly: ${folder}\\$name"
    grep -qxF "file_end $(win "$out")\\${folder}\\$name" "$work/extract.txt" || fail "no file_end line for $name"
done
rm -rf "$work"
echo "payload names: all checks passed"
