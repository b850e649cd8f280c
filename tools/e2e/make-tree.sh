#!/usr/bin/env bash
# Generates a product tree the way a release engineer would have one: the demo
# payload's entries plus 300 files in nested folders named in several scripts
# (blanks; Latin, Greek, Cyrillic, Chinese, Japanese), a few empty files and one
# big file of alternating text and noise. The same arguments give the same bytes.
#
#   make-tree.sh STAGE NAME FILE_KB BIG_MB
#
# STAGE is the demo payload's stage (it holds demo.payload). Writes the files to
# STAGE/NAME and the manifest STAGE/NAME.payload (sources relative to STAGE). The
# files average FILE_KB kilobytes; half are text, half noise.
set -euo pipefail
[[ $# -eq 4 ]] || { echo "usage: $0 STAGE NAME FILE_KB BIG_MB" >&2; exit 2; }
stage=$1 name=$2 file_kb=$3 big_mb=$4
tree=$stage/$name
rm -rf "$tree"
mkdir -p "$tree"
pool=$(mktemp -d)
trap 'rm -rf "$pool"' EXIT

# What the files are cut from: lines a drawing program might write (bzip2 packs
# them well) and AES-CTR output of zeros (incompressible, yet the same every run).
pool_bytes=$((16 << 20))
LC_ALL=C awk -v n="$pool_bytes" 'BEGIN {
    split("vertex spline layer hatch dimension block polyline viewport extrude", w, " ")
    for (i = 0; size < n; i++) {
        line = sprintf("%s %d.%03d %s %d", w[i % 9 + 1], (i * 7919) % 100003, i % 1000, w[(i * 5) % 9 + 1], i)
        printf "%s\r\n", line
        size += length(line) + 2
    }
}' >"$pool/text"
truncate -s "$pool_bytes" "$pool/text"
head -c "$pool_bytes" /dev/zero |
    openssl enc -aes-128-ctr -nosalt -K 0123456789abcdef0123456789abcdef -iv 00000000000000000000000000000000 >"$pool/noise"

# slice text|noise OFFSET BYTES
slice() {
    dd if="$pool/$1" iflag=skip_bytes,count_bytes skip="$2" count="$3" bs=1M status=none
}

# kind|destination folder; the files go round them.
folders=(
    'program_file|<InstallPath>\Bibliothek Größe'
    'program_file|<InstallPath>\Bibliothek Größe\Ελληνικά Σύμβολα'
    'program_file|<InstallPath>\Bibliothek Größe\Ελληνικά Σύμβολα\Детали  крепежа'
    'program_file|<InstallPath>\部品 ライブラリ\中文 零件'
    'user_data|<CommonData>\Varnholt\Vorlagen Ω'
    'user_data|<CommonData>\Varnholt\Vorlagen Ω\Шаблоны чертежей'
    'user_data|<UserData>\Varnholt\Einstellungen Benutzer\設定 ファイル'
    'sample_data|<SamplePath>\Projekte Café'
    'sample_data|<SamplePath>\Projekte Café\Έργα 2024\Проекты  мостов'
)
stems=('Zeichnung' 'Größe und Maß' 'Ελληνικά σχέδια' 'Чертёж  детали' '图纸 样本' '図面サンプル'
    'café crème' 'Łódź Škoda' 'Ωμέγα' 'Мост арка' '部品 一覧' 'Ærø Øre' 'Plan')
extensions=(gdv txt gcl dat grd)

entries=$pool/entries
: >"$entries"
# add KIND DESTINATION NAME: sets $file, the source path, and writes its manifest line.
add() {
    local sub=${2//\\//}
    file=$name/${sub//[<>]/}/$3
    mkdir -p "$stage/${file%/*}"
    printf '%s\t%s\t%s\n' "$1" "$2" "$file" >>"$entries"
}

for ((i = 0; i < 300; i++)); do
    IFS='|' read -r kind destination <<<"${folders[i % ${#folders[@]}]}"
    add "$kind" "$destination" "${stems[i % ${#stems[@]}]} $i.${extensions[i % ${#extensions[@]}]}"
    if ((i % 50 == 7)); then
        : >"$stage/$file"
        continue
    fi
    size=$(((i * 7919) % (2 * file_kb * 1024) + 1))
    kinds=(text noise)
    slice "${kinds[i % 2]}" $(((i * 733331) % (pool_bytes - size))) "$size" >"$stage/$file"
done

add program_file '<InstallPath>\Bibliothek Größe' 'Κατάλογος Модели 大型.gdb'
for ((chunk = 0; chunk < big_mb; chunk++)); do
    kinds=(text noise)
    slice "${kinds[chunk % 2]}" $(((chunk / 2) * (3 << 19) % (pool_bytes - (1 << 20)))) $((1 << 20))
done >"$stage/$file"

cat "$stage/demo.payload" "$entries" >"$stage/$name.payload.new"
mv "$stage/$name.payload.new" "$stage/$name.payload"
