#!/usr/bin/env bash
# Runs one end-to-end case of Install.exe (tools/e2e/cases.sh) on the current X
# display, in the build's end-to-end Wine prefix, after resetting the machine.
#
#   xvfb-run -a -s "-screen 0 1024x768x24" tools/e2e/run-case.sh <build folder> <case>
#   tools/e2e/run-case.sh <build folder> prefix      (only make the prefix)
#
# Environment (ctest sets it; defaults fit a build folder made by the presets):
# INSTALL_EXE, UNINSTALL_EXE, CORRUPT_INSTALL_EXE, PAYLOAD_ARCHIVE_FILE, OLDER_GRADIVA_EXE,
# NEWER_GRADIVA_EXE. Work files and screenshots go to <build>/e2e/cases/<case>.
set -eo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
. "$here/cases.sh"

[[ $# -eq 2 ]] || { echo "usage: $0 <build folder> <case>|prefix" >&2; exit 2; }
e2e_init "$1"
case_name=$2
e2e_prefix
[[ $case_name == prefix ]] && { echo "Wine prefix ready: $WINEPREFIX"; exit 0; }
declare -F "case_$case_name" >/dev/null || { echo "unknown case $case_name" >&2; exit 2; }
[[ -n ${DISPLAY:-} ]] || { echo "no X display: run under xvfb-run" >&2; exit 2; }

UNINSTALL_EXE=${UNINSTALL_EXE:-$E2E_BUILD/src/Uninstall.exe}
CORRUPT_INSTALL_EXE=${CORRUPT_INSTALL_EXE:-$E2E_BUILD/tests/e2e/corrupt/Install.exe}
OLDER_GRADIVA_EXE=${OLDER_GRADIVA_EXE:-$E2E_BUILD/tests/e2e_gradiva_older.exe}
NEWER_GRADIVA_EXE=${NEWER_GRADIVA_EXE:-$E2E_BUILD/tests/e2e_gradiva_newer.exe}
WORK=$E2E_ROOT/cases/$case_name
rm -rf "$WORK"
mkdir -p "$WORK"

# The stand-ins record how they were run into the case's folder.
export STANDIN_GRADIVA_RECORD
STANDIN_GRADIVA_RECORD=$(winpath "$WORK/gradiva-runs.txt")
export STANDIN_DSETUP_RECORD
STANDIN_DSETUP_RECORD=$(winpath "$WORK/dsetup-runs.txt")

finish() {
    local status=$?
    [[ -n $INSTALLER_PID ]] && kill "$INSTALLER_PID" 2>/dev/null
    # A case that changed the user's TEMP and did not get to its end.
    [[ -n ${USER_TEMP_BEFORE:-} ]] && set_user_temp ""
    # Links a case planted: the next reset must not follow them.
    local link
    for link in "${PLANTED_LINKS[@]}"; do rm -f "$link"; done
    e2e_stop_wine
    local seconds=$((SECONDS - started))
    if ((status == 0 && E2E_FAILURES == 0)); then
        echo "PASS $case_name (${seconds} s)"
    else
        echo "FAILED $case_name (${seconds} s; $E2E_FAILURES failed checks, exit status $status)"
        exit 1
    fi
}
started=$SECONDS
trap finish EXIT
# A command that ends the case names itself: many of them print nothing when they fail.
set -E
trap 'failed_status=$?; ((BASH_SUBSHELL)) || echo "FAIL: status $failed_status from \"$BASH_COMMAND\" at ${BASH_SOURCE[0]##*/}:$LINENO (in ${FUNCNAME[*]})" >&2' ERR

# A persistent server: each driver run then starts in a fraction of a second.
"$WINESERVER" -p
drv reset
"case_$case_name"
