# Shared by the end-to-end scripts (bash): the Wine prefix of the end-to-end runs,
# the driver, starting the installer, screenshots and checks.
#
#   . tools/e2e/lib.sh; e2e_init <build folder>
#
# The prefix lives in <build>/e2e/wine, apart from the unit tests' prefix, with a
# virtual desktop so that closed dialogs vanish at once. Each run of a script
# kills that prefix's Wine server at its end, so that the next run (on another X
# display) starts clean.

E2E_SOURCE=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
WINE=$E2E_SOURCE/tools/wine64
WINESERVER=/usr/lib/wine/wineserver

e2e_init() {
    E2E_BUILD=$(cd "$1" && pwd)
    E2E_ROOT=$E2E_BUILD/e2e
    export WINEPREFIX=$E2E_ROOT/wine/prefix
    export HOME=$E2E_ROOT/wine/home
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
    export WINEARCH=win64
    # Wine turns the command line into UTF-16 with the locale's code set.
    export LC_ALL=C.UTF-8
    INSTALL_EXE=${INSTALL_EXE:-$E2E_BUILD/src/Install.exe}
    DRIVER=$E2E_BUILD/tools/e2e/e2e-driver.exe
    PACKER=$E2E_BUILD/host-packer/packer
    PAYLOAD_ARCHIVE_FILE=${PAYLOAD_ARCHIVE_FILE:-$E2E_BUILD/src/resources/payload/install_payload.bz2}
    mkdir -p "$HOME"
    # Without any X resources Xlib reads ~/.Xdefaults* anew at every look-up, and
    # Wine looks up the Xft settings at every font selection: thousands a run.
    [[ -e $HOME/.Xdefaults ]] || : >"$HOME/.Xdefaults"
    INSTALLER_PID=
}

# Makes the prefix once (about 15 s), with a virtual desktop, and gives it Wine's
# own Tahoma (package fonts-wine): "MS Shell Dlg", the dialogs' font, stands for
# Tahoma, and without it Wine lays the dialogs out in a much wider font than
# Windows does. Wine reads it from the prefix's Fonts folder, not from its own.
e2e_prefix() {
    if [[ ! -f $WINEPREFIX/.e2e-ready ]]; then
        rm -rf "$WINEPREFIX"
        mkdir -p "$WINEPREFIX"
        "$WINE" wineboot -i >/dev/null 2>&1
        "$WINESERVER" -w
        "$WINE" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
        "$WINE" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
        "$WINESERVER" -w
        touch "$WINEPREFIX/.e2e-ready"
    fi
    local font
    for font in /usr/share/wine/fonts/tahoma.ttf /usr/share/wine/fonts/tahomabd.ttf; do
        [[ -f $font ]] && cp -n "$font" "$WINEPREFIX/drive_c/windows/Fonts/"
    done
    [[ -f $WINEPREFIX/drive_c/windows/Fonts/tahoma.ttf ]] ||
        echo "warning: no Tahoma (install fonts-wine): dialogs are measured in a substitute font" >&2
}

# Ends every Wine process of the prefix (ours alone: the prefix is private).
e2e_stop_wine() {
    "$WINESERVER" -k >/dev/null 2>&1 || true
    "$WINESERVER" -w >/dev/null 2>&1 || true
}

# The Windows form of a Linux path (Wine's drive Z: is the root).
winpath() {
    local p
    p=$(realpath -m "$1")
    printf 'Z:%s' "${p//\//\\}"
}

# The Linux form of a path on the prefix's drive C:.
unixpath() {
    local p=${1#[Cc]:}
    printf '%s/drive_c%s' "$WINEPREFIX" "${p//\\//}"
}

# Runs the driver; its failure fails the script (the caller runs with set -e).
drv() {
    "$WINE" "$DRIVER" "$@"
}

# Starts an installer in the background and waits for its wizard.
start_installer() {
    local exe=${1:-$INSTALL_EXE}
    "$WINE" "$exe" &
    INSTALLER_PID=$!
}

# Waits for the installer process to end; fails after $1 seconds (default 20).
wait_installer() {
    local limit=${1:-20} i
    for ((i = 0; i < limit * 10; i++)); do
        if ! kill -0 "$INSTALLER_PID" 2>/dev/null; then
            # The status is the caller's to check; it must not end the case here.
            INSTALLER_STATUS=0
            wait "$INSTALLER_PID" || INSTALLER_STATUS=$?
            INSTALLER_PID=
            return 0
        fi
        sleep 0.1
    done
    fail "the installer did not end within $limit s"
}

# A screenshot of the whole screen (the Wine desktop) as PNG, once the installer
# has painted what is on show. On Xvfb the root window's image shows Wine's
# dialog boxes (message boxes, About box) as black rectangles, so every viewable
# window of the installer but the largest (the wizard, which the root image
# shows well) is taken on its own as well and laid over the screen, lowest first.
# SHOT_PROGRAM=uninstall.exe takes every window of the uninstaller so.
SHOT_PROGRAM=install.exe
shot() {
    drv idle
    capture_screen "$1"
}

# The screenshot alone, for a caller that has waited for the painting itself.
capture_screen() {
    local file=$1 id geometry layers=() part
    mkdir -p "$(dirname "$file")"
    local tmp
    tmp=$(mktemp -d)
    xwd -root -silent -display "$DISPLAY" >"$tmp/root.xwd"
    while read -r id geometry; do
        xwininfo -display "$DISPLAY" -id "$id" | grep -q 'Map State: IsViewable' || continue
        [[ $geometry =~ ^([0-9]+)x([0-9]+)[+-][0-9-]+[+-][0-9-]+[+]([0-9-]+)[+]([0-9-]+)$ ]] || continue
        ((BASH_REMATCH[1] > 1 && BASH_REMATCH[2] > 1)) || continue
        part=$tmp/$id.xwd
        xwd -id "$id" -silent -display "$DISPLAY" >"$part"
        layers=(xwd:"$part" -geometry "+${BASH_REMATCH[3]}+${BASH_REMATCH[4]}" -composite "${layers[@]}")
    done < <(xwininfo -display "$DISPLAY" -root -tree | awk -v program="$SHOT_PROGRAM" '
        index($0, "(\"" program "\" ") {
            split($(NF-1), size, /[x+-]/)
            id[++n] = $1; geometry[n] = $(NF-1) $NF; area[n] = size[1] * size[2]
            if (area[n] > area[largest]) largest = n
        }
        END { for (i = 1; i <= n; i++) if (i != largest || program != "install.exe") print id[i], geometry[i] }')
    convert xwd:"$tmp/root.xwd" "${layers[@]}" "$file"
    rm -rf "$tmp"
}

# ---- checks ----

# A failed check is counted and the case goes on; a failed driver step ends it.
E2E_FAILURES=0
fail() {
    echo "FAIL: $*" >&2
    E2E_FAILURES=$((E2E_FAILURES + 1))
}

expect_eq() { # what, expected, actual
    [[ $3 == "$2" ]] || fail "$1: expected \"$2\", got \"$3\""
}

expect_contains() { # what, expected part, text
    [[ $3 == *"$2"* ]] || fail "$1: \"$2\" not in \"$3\""
}

expect_not_contains() {
    [[ $3 != *"$2"* ]] || fail "$1: \"$2\" should not be in \"$3\""
}

expect_line() { # what, line, text (one line must equal it)
    grep -qxF -- "$2" <<<"$3" || fail "$1: no line \"$2\" in:"$'\n'"$3"
}

expect_no_line_matching() { # what, regex, text
    if grep -qE -- "$2" <<<"$3"; then fail "$1: a line matches $2:"$'\n'"$(grep -E -- "$2" <<<"$3")"; fi
}
