#!/usr/bin/env bash
# Whole installation time: a quick installation of the demo payload and of a 64 MB
# payload (tests/e2e, target e2e_install_bench), timed from pressing Install to the
# log's "Installation Data Writing...OK", against twice the processor time of
# `payload-tool verify` on the same archive (the pre-check plus the extraction),
# and `payload-tool extract` of it, which places the files without journal or window.
#
#   xvfb-run -a -s "-screen 0 1024x768x24" tools/e2e/bench.sh [build folder]
#
# Not a test: it prints figures. Builds what it needs; a few minutes.
set -eo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
e2e_init "${1:-$here/../../build/x64}"
[[ -n ${DISPLAY:-} ]] || { echo "no X display: run under xvfb-run" >&2; exit 2; }
cmake --build "$E2E_BUILD" --target Install e2e-driver payload-tool e2e_install_bench -- -j2 >/dev/null
e2e_prefix
WORK=$E2E_ROOT/bench
rm -rf "$WORK"
mkdir -p "$WORK"
trap '[[ -n $INSTALLER_PID ]] && kill "$INSTALLER_PID" 2>/dev/null; e2e_stop_wine' EXIT
"$WINESERVER" -p
TOOL=$E2E_BUILD/tools/payload-tool/payload-tool.exe
TIMEFORMAT='%R %U %S'

# Processor seconds (user + system) of the process PID so far.
cpu_of() {
    awk -v hz="$(getconf CLK_TCK)" '{ printf "%.2f", ($14 + $15) / hz }' "/proc/$1/stat"
}

# The processor time of the helpers: this prefix's Wine server and the X server.
helpers_cpu() {
    local pid total=0
    for pid in $(pgrep -x wineserver) $(pgrep -x Xvfb); do
        if tr '\0' '\n' <"/proc/$pid/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" ||
            [[ " $(tr '\0' ' ' <"/proc/$pid/cmdline")" == *" $DISPLAY "* ]]; then
            total=$(awk -v a="$total" -v b="$(cpu_of "$pid")" 'BEGIN { print a + b }')
        fi
    done
    echo "$total"
}

# wall user system of a command (its output discarded)
timed() {
    { time "$@" >/dev/null 2>&1 || true; } 2>&1
}

# The figures of one payload: label, installer, archive.
bench() {
    local label=$1 exe=$2 archive=$3 timeline cpu0 cpu1 verify extract startup files bytes
    read -r files bytes < <("$PACKER" list "$archive" | awk -F'\t' '{ n++; b += $2 } END { print n, b }')
    drv reset
    start_installer "$exe"
    drv wait-wizard ';' click 1 ';' expect-page 1 ';' click 1 ';' expect-page 3
    cpu0="$(cpu_of "$INSTALLER_PID") $(helpers_cpu)"
    timeline=$WORK/$label.timeline
    drv click 1 ';' watch-log 'Installation Data Writing...' >"$timeline"
    cpu1="$(cpu_of "$INSTALLER_PID") $(helpers_cpu)"
    drv wait-run 1 ';' click 1 ';' expect-page 4 ';' click 2
    wait_installer 60
    drv reset

    startup=$(timed "$WINE" "$TOOL")
    verify=$(timed "$WINE" "$TOOL" verify "$(winpath "$archive")")
    extract=$(timed "$WINE" "$TOOL" extract "$(winpath "$archive")" 'C:\bench\install' 'C:\bench\samples' 'C:\bench\temp')
    rm -rf "$WINEPREFIX/drive_c/bench"

    awk -F'\t' -v label="$label" -v files="$files" -v mb="$((bytes >> 20))" \
        -v packed="$(($(stat -c %s "$archive") >> 20))" -v cpu="$cpu1 $cpu0" \
        -v startup="$startup" -v verify="$verify" -v extract="$extract" '
        NR == FNR { size[FNR] = $2 / 1048576; next }
        # Each file after the first: time since the one before, against its size.
        /Copying File/ {
            if (++k > 1) { m++; sx += size[k]; sy += ($1 - last) / 1000; sxx += size[k] ^ 2; sxy += size[k] * ($1 - last) / 1000 }
            if (!first) first = $1
            last = $1
        }
        /Shortcuts Creation/ { shortcuts = $1 }
        /Updating DirectX/ { directx = $1 }
        /Registry Data Writing/ { registry = $1 }
        /Installation Data Writing/ { total = $1 }
        END {
            split(cpu, c, " "); split(startup, s, " "); split(verify, v, " "); split(extract, x, " ")
            base = s[2] + s[3]; dec = v[2] + v[3] - base
            printf "%s: %d files, %d MB, packed %d MB\n", label, files, mb, packed
            printf "  Install to \"Installation Data Writing...OK\": %.2f s wall, %.2f s installer processor time\n",
                total / 1000, c[1] - c[3]
            printf "    meanwhile the Wine server and the X server: %.2f s processor time\n", c[2] - c[4]
            printf "    first file done %.2f s, last file %.2f s, shortcuts %.2f s, DirectX %.2f s, registration %.2f s, log %.2f s\n",
                first / 1000, last / 1000, (shortcuts - last) / 1000, (directx - shortcuts) / 1000,
                (registry - directx) / 1000, (total - registry) / 1000
            b = (m * sxy - sx * sy) / (m * sxx - sx * sx)
            printf "    per file placed: %.0f ms + %.2f s per MB (least squares)\n", (sy - b * sx) / m * 1000, b
            printf "  payload-tool verify: %.2f s processor time (%.2f s less start-up %.2f s)\n", v[2] + v[3], dec, base
            printf "  payload-tool extract: %.2f s wall, %.2f s processor time\n", x[1], x[2] + x[3] - base
            printf "  installation / (2 x decompression): %.2fx wall, %.2fx processor time\n",
                total / 1000 / (2 * dec), (c[1] - c[3]) / (2 * dec)
        }' <("$PACKER" list "$archive") "$timeline"
}

bench demo "$INSTALL_EXE" "$PAYLOAD_ARCHIVE_FILE"
bench 64MB "$E2E_BUILD/tests/e2e/bench/Install.exe" "$E2E_BUILD/tests/e2e/e2e_bench_payload.bz2"
