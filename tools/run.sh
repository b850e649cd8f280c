#!/usr/bin/env bash
# The main job: builds Install.exe for both targets (build/x86: the shipped 32-bit
# program; build/x64) and runs the x86-64 one under Wine, in the Wine prefix of
# build/x64/e2e after removing what an earlier run installed.
#
# With an X display ($DISPLAY set) the wizard opens in a window for you to click
# through. Without one it runs on a virtual X server (Xvfb), where the driver of
# tools/e2e takes it through a quick installation (showing the options page on the
# way) and a screenshot of every page is saved. Either way the script then prints
# what was installed: files, registry values and Uninstall.ulog; then it removes
# the product again with the installed Uninstall.exe /quiet (its UninstallString),
# restarts the Wine machine and prints what was left, which must be nothing but
# user data and sample projects (exit status 1 otherwise).
#
# Run tools/install-deps.sh (as root) once before.
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ ${1:-} != --run ]]; then
    echo "== Building Install.exe (i686, build/x86)"
    cmake --preset x86 >/dev/null
    cmake --build --preset x86 --target Install
    echo "== Building Install.exe (x86-64, build/x64) and the e2e driver"
    cmake --preset x64 >/dev/null
    cmake --build --preset x64 --target Install e2e-driver
    if [[ -z ${DISPLAY:-} ]]; then
        exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" --run
    fi
fi

. tools/e2e/lib.sh
e2e_init build/x64
SHOTS=$E2E_ROOT/run
echo "== Preparing the Wine prefix $WINEPREFIX"
e2e_prefix
trap e2e_stop_wine EXIT
"$WINESERVER" -p
drv reset

if [[ ${1:-} != --run ]]; then
    echo "== Running build/x64/src/Install.exe on your display; the report follows when it ends"
    "$WINE" "$INSTALL_EXE"
else
    echo "== Running build/x64/src/Install.exe on a virtual display, driven through a quick installation"
    rm -rf "$SHOTS"
    export STANDIN_GRADIVA_RECORD
    STANDIN_GRADIVA_RECORD=$(winpath "$SHOTS/gradiva-runs.txt")
    start_installer
    drv wait-wizard
    shot "$SHOTS/page0-start.png"
    drv click 1 ';' expect-page 1 ';' click 1019
    shot "$SHOTS/page1-mode.png"
    drv click 1 ';' expect-page 2
    shot "$SHOTS/page2-options.png"
    # Back to the quick mode, which leaves the options page out.
    drv click 3 ';' expect-page 1 ';' click 1018 ';' click 1 ';' expect-page 3
    shot "$SHOTS/page3a-summary.png"
    drv click 1 ';' wait-run 1 120000
    shot "$SHOTS/page3b-installed.png"
    status=$(drv text 1003)
    echo "Install page status: $status"
    if [[ $(drv text 2) == Exit ]]; then
        drv click 1 ';' expect-page 4
        shot "$SHOTS/page4-end.png"
        drv click 2
    else
        drv click 2 ';' answer yes
    fi
    wait_installer
    echo "Screenshots:"
    ls -1 "$SHOTS"/*.png | sed 's/^/    /'
fi

echo
echo "== Installed files (C: is $WINEPREFIX/drive_c)"
drv folders | sed 's/^/    /'
echo
drv state | grep -E '^[DF] ' | sed -E 's/ attributes=[0-9a-f]+ crc=[0-9a-f]+$//; s/^/    /'
echo
echo "== Registry values"
for key in 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Gradiva 7' 'HKLM\Software\Varnholt' \
    'HKCU\Software\Varnholt'; do
    drv reg "$key" | sed 's/^/    /'
done
. tools/e2e/cases.sh
command=$(uninstall_string)
folder=${command%\\Uninstall.exe}
if [[ -n $command && $folder != "$command" ]]; then
    echo
    echo "== $folder\\Uninstall.ulog"
    ulog=$(drv ulog "$folder\\Uninstall.ulog")
    sed 's/^/    /' <<<"$ulog"
else
    echo
    echo "Nothing was installed."
    exit 1
fi

load_folders
kept=$(kept_files "$ulog")
echo
echo "== Uninstalling: \"$command\" /quiet (the registered UninstallString)"
status=0
timeout 120 "$WINE" "$command" /quiet || status=$?
echo "Exit code: $status (0: everything removed or kept by choice)"
expect_eq "exit code of Uninstall.exe /quiet" 0 "$status"
# Its private folder goes at the next start of the machine.
restart_machine
echo
echo "== Left after the uninstallation and a restart (user data and sample projects stay)"
state=$(state_without_size)
left=$(grep -E '^[DF] ' <<<"$state" | sed -E 's/ attributes=[0-9a-f]+ crc=[0-9a-f]+$//' || true)
sed 's/^/    /' <<<"${left:-(nothing)}"
grep -vE '^[DF] ' <<<"$state" | sed 's/^/    /' || true
check_only_kept "uninstallation" "$kept" "$state"
if ((E2E_FAILURES > 0)); then
    echo "More was left than user data and sample projects."
    exit 1
fi
echo "Only user data and sample projects were left."
