# The end-to-end cases of Install.exe (bash, sourced by run-case.sh after lib.sh).
# Each case_<name> starts from a reset machine, works the wizard through the
# driver and checks what the installation left: files, registry values,
# shortcuts, Uninstall.ulog, the temporary folder.

TITLE='Installer – Gradiva 7.18f'
UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Gradiva 7'
MAKER_KEY='HKLM\Software\Varnholt'
USER_KEY='HKCU\Software\Varnholt'
MAKER_TELEPHONE='+49 431 555 0170'
SEPARATOR=$(printf '─%.0s' {1..45})

# The machine's folders as the driver sees them: FOLDER[<ProgramFiles>] etc.
declare -A FOLDER
load_folders() {
    local line
    while IFS= read -r line; do
        FOLDER[${line%%=*}]=${line#*=}
    done < <(drv folders)
    DEFAULT_FOLDER=${FOLDER[<ProgramFiles>]}'\Varnholt\Gradiva 7'
    START_MENU_LINK=${FOLDER[<CommonPrograms>]}'\Gradiva 7.18f.lnk'
    DESKTOP_LINK=${FOLDER[<PublicDesktop>]}'\Gradiva 7.18f.lnk'
}

# ---- steps ----

# From page 0 through the quick mode to the install page.
to_install_page_quick() {
    drv click 1 ';' expect-page 1 ';' click 1 ';' expect-page 3
}

# Presses Install and waits for the end of run number $1 (default 1).
install_run() {
    drv click 1 ';' wait-run "${1:-1}" 120000
    log_text >"$WORK/install-log-${1:-1}.txt"
}

# Exit on a page where no question comes, then the process ends with 0.
exit_without_question() {
    drv click 2 ';' no-msgbox 500
    wait_installer
    expect_eq "installer exit status" 0 "$INSTALLER_STATUS"
}

# A complete quick installation with the default options.
quick_installation() {
    start_installer
    drv wait-wizard
    to_install_page_quick
    install_run 1
    drv click 1 ';' expect-page 4
    exit_without_question
}

log_text() { drv text 1015 | tr -d '\r'; }

# ---- checks ----

# The payload's table, as the packer reads it from the embedded archive.
payload_listing() {
    "$PACKER" list "$PAYLOAD_ARCHIVE_FILE" >"$WORK/listing.tsv"
    winpath "$WORK/listing.tsv"
}

# Machine state without the remembered window size (written at every exit).
state_without_size() {
    drv state | grep -vxF -e '[HKCU\Software\Varnholt]' | grep -v '^InstallerSize = ' || true
}

# check_installation FOLDER SHORTCUTS LANGUAGE [PREVIOUS [update]]
#   SHORTCUTS: both, start (Start menu only) or none; PREVIOUS: the label of the
#   installation this one replaced ("Gradiva 7.17"); update: kind-4 files are not written.
check_installation() {
    local folder=$1 shortcuts=$2 language=$3 previous=${4:-} update=${5:-} out
    local listing
    listing=$(payload_listing)

    if ! out=$(drv check-files "$listing" "$folder" ${update:+--update}); then
        fail "placed files:"$'\n'"$(grep '^BAD' <<<"$out")"
    fi
    echo "$out" >"$WORK/placed-files.txt"

    out=$(drv reg "$UNINSTALL_KEY")
    for line in 'DisplayName = REG_SZ "Gradiva 7.18f"' \
        "UninstallString = REG_SZ \"\"$folder\\Uninstall.exe\"\"" \
        "DisplayIcon = REG_SZ \"\"$folder\\Gradiva.exe\",0\"" \
        'DisplayVersion = REG_SZ "7.18.6.1"' 'Publisher = REG_SZ "Varnholt"' \
        'NoModify = REG_DWORD 1' 'NoRepair = REG_DWORD 1' "QzLanguage = REG_DWORD $language"; do
        expect_line "uninstall registration" "$line" "$out"
    done
    # The number the About box gives.
    expect_line "uninstall registration" "HelpTelephone = REG_SZ \"$MAKER_TELEPHONE\"" "$out"
    for name in URLInfoAbout HelpLink URLUpdateInfo; do
        grep -qE "^$name = REG_SZ \".+\"$" <<<"$out" || fail "uninstall registration: no $name in:"$'\n'"$out"
    done
    expect_line "product path value" "Gradiva 7 Path = REG_SZ \"$folder\\Gradiva.exe\"" "$(drv reg "$MAKER_KEY")"

    local link
    for link in "$START_MENU_LINK" "$DESKTOP_LINK"; do
        if [[ $shortcuts == both || ($shortcuts == start && $link == "$START_MENU_LINK") ]]; then
            out=$(drv lnk "$link")
            expect_line "shortcut $link" "target=$folder\\Gradiva.exe" "$out"
            expect_line "shortcut $link" "working_folder=$folder" "$out"
            expect_line "shortcut $link" "arguments=" "$out"
        else
            expect_eq "no shortcut $link" 0 "$(drv exists "$link")"
        fi
    done

    check_uninstall_log "$folder" "$shortcuts" "$previous" "$update"

    out=$(drv state)
    expect_no_line_matching "temporary files" 'varnholt_|qz-' "$out"
    out=$(cat "$WORK/gradiva-runs.txt" 2>/dev/null || true)
    expect_contains "product registration run" "Gradiva.exe\" /Register /Background" "$out"
}

check_uninstall_log() {
    local folder=$1 shortcuts=$2 previous=$3 update=$4 ulog file=$1'\Uninstall.ulog'
    ulog=$(drv ulog "$file")
    echo "$ulog" >"$WORK/Uninstall.ulog.txt"
    # Read-only, archive and not content-indexed (0x2021); Wine keeps no "not
    # content-indexed" flag, so only the other two are checked.
    local attributes
    attributes=$(drv attributes "$file")
    (((16#$attributes & 0x21) == 0x21)) || fail "Uninstall.ulog attributes $attributes, not read-only and archive"
    local dashes
    dashes=$(printf -- '-%.0s' {1..100})
    expect_eq "Uninstall.ulog header" "# encoding: UTF-16LE, byte-order mark, CR LF
// Uninstall Log File v1
// ############ WARNING: Do not delete or modify this file. ############
// Install Gradiva 7.18f${previous:+ -- Update ($previous)}
// Install Path : $folder
// Shortcut Path : ${FOLDER[<CommonPrograms>]}
// $dashes" "$(head -7 <<<"$ulog")"

    local entries
    entries=$(tail -n +8 <<<"$ulog")
    # Sequence numbers count from 0; every change completed.
    awk -F: '$1 + 0 != NR - 1 { print "sequence " $1 " on line " NR; exit 1 }' <<<"$entries" >/dev/null ||
        fail "Uninstall.ulog: sequence numbers do not count from 0"
    expect_no_line_matching "Uninstall.ulog: unfinished entries" '^[0-9]{4}:[0-9a-f]{4}:0 ' "$entries"
    local line
    for line in ":0101:1 -- $folder\\Gradiva.exe" ":0102:1 -- $folder\\Uninstall.exe" \
        ':05ff:1 -- HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Gradiva 7' \
        ':06ff:1 -- HKEY_CLASSES_ROOT\...' ':07ff:1 -- DirectX Update'; do
        grep -qF -- "$line" <<<"$entries" || fail "Uninstall.ulog: no entry \"$line\""
    done
    case $shortcuts in
    both)
        grep -qF -- ":02ff:1 -- $START_MENU_LINK" <<<"$entries" || fail "Uninstall.ulog: no Start-menu shortcut"
        grep -qF -- ":04ff:1 -- $DESKTOP_LINK" <<<"$entries" || fail "Uninstall.ulog: no desktop shortcut"
        ;;
    start)
        grep -qF -- ":02ff:1 -- $START_MENU_LINK" <<<"$entries" || fail "Uninstall.ulog: no Start-menu shortcut"
        expect_no_line_matching "Uninstall.ulog: desktop shortcut" ':04ff:' "$entries"
        ;;
    *) expect_no_line_matching "Uninstall.ulog: shortcuts" ':0[24]ff:' "$entries" ;;
    esac
    # One file entry per placed file of kinds 0-4.
    local placed journalled
    placed=$(grep -cE '^ok [0-4] ' "$WORK/placed-files.txt" || true)
    journalled=$(grep -cE ':010[0-4]:1 -- ' <<<"$entries" || true)
    [[ -n $update ]] || expect_eq "Uninstall.ulog: file entries" "$placed" "$journalled"
}

# ---- the cases ----

case_fresh_quick() {
    load_folders
    start_installer
    drv wait-wizard
    local texts
    texts=$(drv text title ';' texts ';' enabled 3)
    expect_line "title" "$TITLE" "$texts"
    expect_line "start page" "1016='Gradiva 7.18f' Installation." "$texts"
    expect_line "start page" "1003=Click on 'Next' to continue." "$texts"
    expect_line "buttons" "1=Next >" "$texts"
    expect_line "buttons" "2=Cancel" "$texts"
    expect_eq "Back disabled on page 0" 0 "$(tail -1 <<<"$texts")"
    shot "$WORK/shots/0-start.png"

    drv click 1 ';' expect-page 1
    expect_eq "quick mode preselected" 1 "$(drv checked 1018)"
    drv click 1 ';' expect-page 3
    texts=$(drv texts)
    expect_line "install page" "1=Install" "$texts"
    expect_line "install page" "1003=Click on 'Install' to start Installation." "$texts"
    expect_contains "summary" "Installation Folder: \"$DEFAULT_FOLDER\"." "$texts"
    expect_contains "summary" "Creating a Shortcut in the Start Menu." "$texts"
    expect_contains "summary" "Creating a Shortcut on the Desktop." "$texts"
    shot "$WORK/shots/3-summary.png"

    install_run 1
    texts=$(drv texts ';' enabled 3)
    expect_line "after the run" "1003=Click on 'Next' to continue." "$texts"
    expect_line "after the run" "2=Exit" "$texts"
    expect_line "after the run" "1=Next >" "$texts"
    expect_eq "Back after the run" 0 "$(tail -1 <<<"$texts")"
    local log
    log=$(log_text)
    expect_contains "log" "$SEPARATOR"$'\n'"Preparing Installation...OK" "$log"
    expect_contains "log" "Copying File \"$DEFAULT_FOLDER\\Gradiva.exe\"...OK" "$log"
    expect_contains "log" $'Shortcuts Creation...OK\nUpdating DirectX...OK\nRegistry Data Writing...OK\nInstallation Data Writing...OK' "$log"
    expect_eq "progress bar" 100 "$(drv progress)"
    shot "$WORK/shots/3-installed.png"

    drv click 1 ';' expect-page 4
    texts=$(drv texts)
    expect_line "end page" "1016=Installation is complete." "$texts"
    expect_line "end page" "1003=Click on 'Exit' to exit Installation." "$texts"
    shot "$WORK/shots/4-end.png"
    exit_without_question

    check_installation "$DEFAULT_FOLDER" both 1
}

case_advanced_relative() {
    load_folders
    local folder=${FOLDER[<ProgramFiles>]}'\Apps\Gradiva Test'
    start_installer
    drv wait-wizard ';' click 1 ';' expect-page 1 ';' click 1019 ';' click 1 ';' expect-page 2
    local texts
    texts=$(drv texts ';' checked 1011 ';' checked 1010 ';' enabled 1006)
    expect_line "options page" "1007=$DEFAULT_FOLDER" "$texts"
    expect_eq "options page: shortcuts on, Browse enabled" $'1\n1\n1' "$(tail -3 <<<"$texts")"
    # A relative name with "." and ".." elements, typed into the folder box.
    drv settext 1007 'Apps\.\Old\..\Gradiva Test' ';' click 1011 ';' click 1010
    expect_eq "shortcuts off" $'0\n0' "$(drv checked 1011 ';' checked 1010)"
    shot "$WORK/shots/2-options.png"
    drv click 1 ';' expect-page 3
    texts=$(drv text 1015 | tr -d '\r')
    expect_contains "summary" "Installation Folder: \"$folder\"." "$texts"
    expect_not_contains "summary" "Shortcut" "$texts"
    # Back from the install page leads to the options page in advanced mode.
    drv click 3 ';' expect-page 2 ';' click 1 ';' expect-page 3
    install_run 1
    expect_not_contains "log" "Shortcuts Creation" "$(log_text)"
    drv click 1 ';' expect-page 4
    exit_without_question

    check_installation "$folder" none 1
    drv reset "${FOLDER[<ProgramFiles>]}\\Apps"
}

case_reinstall() {
    load_folders
    quick_installation
    local before
    before=$(state_without_size)

    # The same version installed: the reinstall question, and Exit on page 0 quits at once.
    start_installer
    drv wait-wizard
    local texts
    texts=$(drv texts)
    expect_line "start page" "1016='Gradiva 7.18f' is already installed.\\nDo you confirm Reinstallation ?" "$texts"
    expect_line "start page" "1003=Click on 'Next' to continue or on 'Cancel' to exit Installation." "$texts"
    shot "$WORK/shots/0-reinstall.png"
    exit_without_question
    expect_eq "machine after Exit" "$before" "$(state_without_size)"

    # Reinstall in advanced mode: the folder is fixed, the shortcuts may change.
    start_installer
    drv wait-wizard ';' click 1 ';' expect-page 1 ';' click 1019 ';' click 1 ';' expect-page 2
    local style
    style=$(drv style 1007)
    (((16#$style & 0x800) != 0)) || fail "folder box not read-only (style $style)"
    expect_eq "Browse and prompt disabled" $'0\n0' "$(drv enabled 1006 ';' enabled 1009)"
    drv click 1010 ';' click 1010
    expect_eq "desktop check box still works" 1 "$(drv checked 1010)"
    shot "$WORK/shots/2-options-reinstall.png"
    drv click 1 ';' expect-page 3
    install_run 1
    expect_contains "DirectX runs again" "Updating DirectX...OK" "$(log_text)"
    drv click 1 ';' expect-page 4
    exit_without_question

    check_installation "$DEFAULT_FOLDER" both 1 'Gradiva 7.18f'
}

# An older Gradiva (7.17.9.9) installed by an earlier installer, with its log;
# $1: more lines for the log.
prepare_older_installation() {
    local folder=$DEFAULT_FOLDER texture=${FOLDER[<CommonData>]}'\Varnholt\Textures\Gradiva\Oak.svg'
    drv copy "$(winpath "$OLDER_GRADIVA_EXE")" "$folder\\Gradiva.exe" ';' \
        write "$texture" 'old oak texture' ';' \
        set-sz "$MAKER_KEY" 'Gradiva 7 Path' "$folder\\Gradiva.exe" ';' \
        set-sz "$UNINSTALL_KEY" UninstallString "$folder\\Uninstall.exe" ';' \
        set-sz "$UNINSTALL_KEY" DisplayName 'Gradiva 7.17' ';' \
        write "$folder\\Uninstall.ulog" "// Uninstall Log File v1
// ############ WARNING: Do not delete or modify this file. ############
// Install Gradiva 7.17
// Install Path : $folder
// Shortcut Path : ${FOLDER[<CommonPrograms>]}
// ----
0000:00ff:1 -- ${FOLDER[<ProgramFiles>]}\\Varnholt
0001:00ff:1 -- $folder
0002:0101:1 -- $folder\\Gradiva.exe
0003:0104:1 -- $texture
0004:07ff:1 -- DirectX Update
${1:-}"
}

case_update() {
    load_folders
    prepare_older_installation
    local texture=${FOLDER[<CommonData>]}'\Varnholt\Textures\Gradiva\Oak.svg' texts
    start_installer
    drv wait-wizard
    texts=$(drv texts)
    expect_line "start page" "1016=Update from 'Gradiva 7.17' to 'Gradiva 7.18f'." "$texts"
    expect_line "start page" "1003=Click on 'Next' to continue." "$texts"
    shot "$WORK/shots/0-update.png"
    to_install_page_quick
    install_run 1
    local log
    log=$(log_text)
    expect_not_contains "no sample data on an update" "Textures" "$log"
    expect_not_contains "no sample data on an update" "Gradiva Examples" "$log"
    drv click 1 ';' expect-page 4
    exit_without_question

    # The old log records no desktop shortcut, so none is offered.
    check_installation "$DEFAULT_FOLDER" start 1 'Gradiva 7.17' update
    expect_eq "old texture kept" "old oak texture" "$(cat "$(unixpath "$texture")")"
    expect_eq "no samples folder" 0 "$(drv exists "${FOLDER[<PublicDesktop>]}\\Gradiva Examples")"
    expect_contains "product run" "/Register /Background /update=0007001100090009" \
        "$(cat "$WORK/gradiva-runs.txt")"
    # The old log's entries that this run did not repeat are carried over.
    grep -qF ":0104:1 -- $texture" "$WORK/Uninstall.ulog.txt" || fail "Uninstall.ulog: old texture entry lost"
}

case_newer_installed() {
    load_folders
    drv copy "$(winpath "$NEWER_GRADIVA_EXE")" "$DEFAULT_FOLDER\\Gradiva.exe" ';' \
        set-sz "$MAKER_KEY" 'Gradiva 7 Path' "$DEFAULT_FOLDER\\Gradiva.exe"
    local before texts
    before=$(state_without_size)
    start_installer
    drv wait-wizard
    texts=$(drv texts ';' enabled 1 ';' enabled 3)
    expect_line "start page" "1016='Gradiva 7.18f' Installation.\\nA more recent Version (Gradiva 7.18g) is already installed." "$texts"
    expect_line "start page" "1003=Click on 'Cancel' to exit Installation." "$texts"
    expect_eq "Next and Back disabled" $'0\n0' "$(tail -2 <<<"$texts")"
    shot "$WORK/shots/0-newer.png"
    exit_without_question
    expect_eq "machine unchanged" "$before" "$(state_without_size)"
}

case_corrupt_payload() {
    load_folders
    local before
    before=$(state_without_size)
    start_installer "$CORRUPT_INSTALL_EXE"
    drv wait-wizard
    to_install_page_quick
    install_run 1
    local texts
    texts=$(drv texts ';' enabled 3)
    expect_line "status" "1003=Installation failed (Error Code 4)." "$texts"
    expect_line "Next offers Install again" "1=Install" "$texts"
    expect_line "Exit still cancels" "2=Cancel" "$texts"
    expect_eq "Back after the run" 0 "$(tail -1 <<<"$texts")"
    expect_contains "log" "$SEPARATOR"$'\n'"Preparing Installation...Failed" "$(log_text)"
    shot "$WORK/shots/3-corrupt.png"
    expect_eq "nothing left behind" "$before" "$(state_without_size)"
    drv click 2 ';' msgbox ';' answer yes
    wait_installer
    expect_eq "nothing left behind after exit" "$before" "$(state_without_size)"
}

case_rollback() {
    load_folders
    # Files of the user that the installation replaces, and a file where the
    # language modules' folder must go: the placement fails after most files.
    local texture=${FOLDER[<CommonData>]}'\Varnholt\Textures\Gradiva\Oak.svg'
    local library=${FOLDER[<CommonData>]}'\Varnholt\Gradiva\Standard.gcl'
    drv write "$texture" "the user's oak" ';' write "$library" "the user's library" ';' \
        write "$DEFAULT_FOLDER\\Lang" 'not a folder'
    local before
    before=$(state_without_size)
    start_installer
    drv wait-wizard
    to_install_page_quick
    install_run 1
    local texts log
    texts=$(drv texts)
    expect_contains "status" "1003=Installation failed (Error Code " "$texts"
    log=$(log_text)
    expect_contains "files placed before the failure" "Copying File \"$DEFAULT_FOLDER\\Uninstall.exe\"...OK" "$log"
    expect_contains "failed file" "Lang\\GradivaFRA.lng\"...Failed" "$log"
    shot "$WORK/shots/3-rollback.png"
    expect_eq "machine state restored" "$before" "$(state_without_size)"
    drv click 2 ';' msgbox ';' answer yes
    wait_installer
}

case_exit_question() {
    load_folders
    local before
    before=$(state_without_size)
    start_installer
    drv wait-wizard
    drv click 2
    local box
    box=$(drv msgbox)
    expect_eq "exit question" "caption=$TITLE
text=Installation is not complete.\\n\\nDo you still confirm exit Installation ?
buttons=yes,no
default=no" "$box"
    shot "$WORK/shots/0-exit-question.png"
    drv answer no ';' expect-page 0 ';' click 1 ';' expect-page 1
    # The close box asks the same question.
    drv close ';' msgbox ';' answer yes
    wait_installer
    expect_eq "installer exit status" 0 "$INSTALLER_STATUS"
    expect_eq "nothing installed" "$before" "$(state_without_size)"
}

case_other_language() {
    load_folders
    start_installer
    drv wait-wizard ';' language 2 ';' no-msgbox 500
    local texts
    texts=$(drv texts)
    expect_not_contains "German texts" "1=Next >" "$texts"
    expect_not_contains "German title" "$TITLE" "$(drv text title)"
    shot "$WORK/shots/0-german.png"
    # Dutch: offered for the product, but the installer has no Dutch texts.
    drv language 5
    local box
    box=$(drv msgbox)
    expect_line "message 1129" "text='Gradiva' will be installed in the selected Langage, but the Installer, still under translation, shall run in English." "$box"
    expect_line "message 1129" "buttons=ok" "$box"
    shot "$WORK/shots/0-dutch-message.png"
    drv answer ok
    texts=$(drv texts ';' text title ';' selection 1023)
    expect_line "English texts" "1=Next >" "$texts"
    expect_line "English title" "$TITLE" "$texts"
    expect_eq "Dutch stays selected" 5 "$(tail -1 <<<"$texts")"
    to_install_page_quick
    install_run 1
    drv click 1 ';' expect-page 4
    exit_without_question
    check_installation "$DEFAULT_FOLDER" both 5
}

case_window_size() {
    load_folders
    start_installer
    drv wait-wizard
    local minimum width height
    minimum=$(drv size)
    width=$((${minimum% *} + 120))
    height=$((${minimum#* } + 80))
    drv resize "$width" "$height"
    expect_eq "resized" "$width $height" "$(drv size)"
    drv click 2 ';' msgbox ';' answer yes
    wait_installer
    local bytes
    bytes=$(printf '%02x %02x %02x %02x %02x %02x %02x %02x' $((width & 255)) $((width >> 8 & 255)) 0 0 \
        $((height & 255)) $((height >> 8 & 255)) 0 0)
    expect_line "stored size" "InstallerSize = REG_BINARY $bytes" "$(drv reg "$USER_KEY")"

    start_installer
    drv wait-wizard
    expect_eq "size remembered" "$width $height" "$(drv size)"
    shot "$WORK/shots/0-remembered-size.png"
    drv click 2 ';' msgbox ';' answer yes
    wait_installer

    # A stored size below the minimum, or of the wrong length, gives the minimum.
    local stored
    for stored in 0a0000000a000000 0102030405; do
        drv set-binary "$USER_KEY" InstallerSize "$stored"
        start_installer
        drv wait-wizard
        expect_eq "size from $stored" "$minimum" "$(drv size)"
        drv click 2 ';' msgbox ';' answer yes
        wait_installer
    done
}

case_about_box() {
    load_folders
    start_installer
    drv wait-wizard ';' about
    local box
    box=$(drv about-box)
    expect_line "About box title" "title=About 'Installer'" "$box"
    expect_line "About box button" "1=OK" "$box"
    grep -qE '^1019=.+' <<<"$box" || fail "About box: no version line in:"$'\n'"$box"
    grep -qE '^1020=.+' <<<"$box" || fail "About box: no legal line in:"$'\n'"$box"
    expect_contains "About box telephone" "=Phone $MAKER_TELEPHONE" "$box"
    shot "$WORK/shots/0-about.png"
    local fit
    fit=$(drv fit about)
    echo "$fit" >"$WORK/about-fit.txt"
    expect_line "About box texts fit" "clipped 0" "$fit"
    drv answer ok ';' expect-page 0
    drv click 2 ';' msgbox ';' answer yes
    wait_installer
}

# Every page in each of the 12 languages of the installer, with the check that
# every text fits its control. Screenshots: <build>/e2e/cases/screenshots/<language>.
case_screenshots() {
    load_folders
    local languages=(0:fr-FR 1:en-US 2:de-DE 3:es-ES 4:pt-PT 7:tr-TR 9:ro-RO 11:it-IT 12:cs-CZ 19:hu-HU
        21:ar-SA 24:hr-HR)
    local entry index tag dir total=0 clipped
    : >"$WORK/clipping.txt"
    : >"$WORK/checked-counts.txt"
    for entry in "${languages[@]}"; do
        index=${entry%%:*}
        tag=${entry#*:}
        dir=$WORK/$tag
        drv reset ';' set-dword "$UNINSTALL_KEY" QzLanguage "$index"
        start_installer
        fit_and_shot "$tag" 0-start wait-wizard
        fit_and_shot "$tag" 1-mode click 1 ';' expect-page 1 ';' click 1019
        fit_and_shot "$tag" 2-options click 1 ';' expect-page 2
        fit_and_shot "$tag" 3-summary click 1 ';' expect-page 3
        fit_and_shot "$tag" 3-installed click 1 ';' wait-run 1 120000
        fit_and_shot "$tag" 4-end click 1 ';' expect-page 4
        fit_and_shot "$tag" about about ';' about-box
        drv answer ok ';' click 2
        wait_installer
    done
    report_clipping
}

# The summary of fit_and_shot's checks over a case; fails when a text was clipped.
report_clipping() {
    local total
    total=$(grep -c '^CLIPPED' "$WORK/clipping.txt" || true)
    echo "screenshots: $WORK/<language>/*.png"
    echo "texts checked: $(awk '{ n += $1 } END { print n + 0 }' "$WORK/checked-counts.txt"), clipped: $total"
    grep '^CLIPPED' "$WORK/clipping.txt" || true
    expect_eq "clipped texts" 0 "$total"
}

# fit_and_shot LANGUAGE NAME [box|removal] [DRIVER STEPS...]: runs the steps, then
# checks that the texts on show fit (the About box's when NAME is "about", the
# uninstaller's question or window when given) and takes a screenshot.
fit_and_shot() {
    local language=$1 name=$2 out target=
    shift 2
    [[ $name == about ]] && target=about
    [[ $1 == box || $1 == removal ]] && { target=$1; shift; }
    out=$(drv "$@" ';' idle ';' fit $target)
    capture_screen "$WORK/$language/$name.png"
    grep -q '^FONT MISMATCH' <<<"$out" && fail "$language $name: $(grep '^FONT MISMATCH' <<<"$out")"
    grep '^CLIPPED' <<<"$out" | sed "s/^CLIPPED /CLIPPED $language $name: /" >>"$WORK/clipping.txt" || true
    grep -c '^\(fits\|CLIPPED\) ' <<<"$out" >>"$WORK/checked-counts.txt" || true
}

# ---- names in many scripts ----

SCRIPTS_TEMP='C:\Temp\Ελένη  Ω\Jürgen 日本'
SCRIPTS_FOLDER='C:\Programme\Größe Ω'

# TEMP and TMP of the user's environment, as a profile C:\Users\Jürgen would have them
# (empty: back to what they were); Wine reads them when its server starts.
set_user_temp() {
    local folder=$1
    if [[ -n $folder ]]; then
        # run-case.sh puts it back when the case ends early.
        USER_TEMP_BEFORE=$(drv reg 'HKCU\Environment' | sed -n 's/^TEMP = REG_SZ "\(.*\)"$/\1/p')
        mkdir -p "$(unixpath "$folder")"
    else
        folder=$USER_TEMP_BEFORE
        USER_TEMP_BEFORE=
    fi
    drv set-sz 'HKCU\Environment' TEMP "$folder" ';' set-sz 'HKCU\Environment' TMP "$folder"
    "$WINESERVER" -k >/dev/null 2>&1 || true
    "$WINESERVER" -w
    "$WINESERVER" -p
}

# Every file of the multi-script payload byte for byte against its source, and
# its path exactly once in Uninstall.ulog (read into $WORK/Uninstall.ulog.txt). The
# samples' folder has a name in each language: their paths come from the log.
check_script_files() {
    check_staged_files "$1" scripts/ "$SCRIPTS_ARCHIVE_FILE" "${2:-}"
}

# check_staged_files FOLDER SOURCE_PREFIX ARCHIVE [update]: the same for the files
# of ARCHIVE whose sources (below $SCRIPTS_STAGE) start with SOURCE_PREFIX.
check_staged_files() {
    local folder=$1 prefix=$2 archive=$3 update=${4:-} ulog=$WORK/Uninstall.ulog.txt kind macro source name path entries
    local -A resolved
    CHECKED_FILES=0
    drv ulog "$folder\\Uninstall.ulog" >"$ulog"
    while IFS=$'\t' read -r kind _ _ macro source; do
        [[ $source == "$prefix"* ]] || continue
        [[ $kind == 4 && -n $update ]] && continue
        name=${source##*/}
        if [[ $macro == '<SamplePath>'* ]]; then
            path=$(grep -F -- "${macro#<SamplePath>}\\$name" "$ulog" | sed -n 's/^[0-9]*:0104:1 -- //p' | head -1)
            [[ $path == "${FOLDER[<PublicDesktop>]}"\\* ]] || fail "sample $name not on the public desktop: $path"
        else
            # One driver run per folder, not per file.
            [[ -v resolved[$macro] ]] || resolved[$macro]=$(drv resolve "$macro" "$folder")
            path=${resolved[$macro]}\\$name
        fi
        cmp -s "$SCRIPTS_STAGE/$source" "$(unixpath "$path")" || fail "not byte-exact: $path"
        CHECKED_FILES=$((CHECKED_FILES + 1))
        entries=$(grep -cxF -- "$(grep -m1 -F -- " -- $path" "$ulog" | cut -d' ' -f1) -- $path" "$ulog" || true)
        expect_eq "Uninstall.ulog entries for $path" 1 "$entries"
        expect_eq "Uninstall.ulog kind of $path" 1 "$(grep -cE "^[0-9]{4}:010$kind:1 -- " <<<"$(grep -F -- " -- $path" "$ulog")")"
    done < <("$PACKER" list "$archive")
}

# The registration and the shortcuts name the folder exactly.
check_script_registration() {
    local folder=$1 out link
    out=$(drv reg "$UNINSTALL_KEY")
    expect_line "UninstallString" "UninstallString = REG_SZ \"\"$folder\\Uninstall.exe\"\"" "$out"
    expect_line "DisplayIcon" "DisplayIcon = REG_SZ \"\"$folder\\Gradiva.exe\",0\"" "$out"
    expect_line "product path value" "Gradiva 7 Path = REG_SZ \"$folder\\Gradiva.exe\"" "$(drv reg "$MAKER_KEY")"
    for link in "$START_MENU_LINK" "$DESKTOP_LINK"; do
        out=$(drv lnk "$link")
        # An empty answer once (one run in many): say whether the file was there.
        [[ -n $out ]] || out="(nothing read; the file exists: $(drv exists "$link"))"
        expect_line "shortcut $link" "target=$folder\\Gradiva.exe" "$out"
    done
}

case_scripts() {
    load_folders
    INSTALL_EXE=$SCRIPTS_INSTALL_EXE PAYLOAD_ARCHIVE_FILE=$SCRIPTS_ARCHIVE_FILE
    set_user_temp "$SCRIPTS_TEMP"

    # A fresh installation in advanced mode into a typed folder.
    start_installer
    drv wait-wizard ';' click 1 ';' expect-page 1 ';' click 1019 ';' click 1 ';' expect-page 2
    drv settext 1007 "$SCRIPTS_FOLDER" ';' click 1 ';' expect-page 3
    expect_contains "summary" "Installation Folder: \"$SCRIPTS_FOLDER\"." "$(drv text 1015 | tr -d '\r')"
    install_run 1
    expect_contains "log" "Installation Data Writing...OK" "$(log_text)"
    drv click 1 ';' expect-page 4
    exit_without_question
    check_installation "$SCRIPTS_FOLDER" both 1
    check_script_files "$SCRIPTS_FOLDER"

    # A reinstallation reads that log back.
    quick_installation
    check_installation "$SCRIPTS_FOLDER" both 1 'Gradiva 7.18f'
    check_script_files "$SCRIPTS_FOLDER"

    # And an update from an older version in the same folder, which leaves the
    # samples alone: those of the first run are removed to see that none comes back.
    rm -rf "$(unixpath "${FOLDER[<CommonData>]}")/Varnholt/Textures" \
        "$(unixpath "${FOLDER[<PublicDesktop>]}")/Gradiva Examples"
    drv copy "$(winpath "$OLDER_GRADIVA_EXE")" "$SCRIPTS_FOLDER\\Gradiva.exe" ';' \
        set-sz "$UNINSTALL_KEY" DisplayName 'Gradiva 7.17'
    start_installer
    drv wait-wizard
    expect_line "start page" "1016=Update from 'Gradiva 7.17' to 'Gradiva 7.18f'." "$(drv texts)"
    to_install_page_quick
    install_run 1
    drv click 1 ';' expect-page 4
    exit_without_question
    # The log's header names the installation that wrote it.
    check_installation "$SCRIPTS_FOLDER" both 1 'Gradiva 7.18f' update
    check_script_files "$SCRIPTS_FOLDER" update
    drv reset 'C:\Programme'

    # The same payload under the German, Czech, Turkish and Arabic user interfaces,
    # whose C runtime locales have other code pages.
    local index
    for index in 2 12 7 21; do
        drv reset 'C:\Programme' ';' set-dword "$UNINSTALL_KEY" QzLanguage "$index"
        start_installer
        drv wait-wizard ';' click 1 ';' expect-page 1 ';' click 1019 ';' click 1 ';' expect-page 2
        drv settext 1007 "$SCRIPTS_FOLDER" ';' click 1 ';' expect-page 3
        install_run 1
        drv click 1 ';' expect-page 4 ';' click 2
        wait_installer
        expect_line "language $index" "QzLanguage = REG_DWORD $index" "$(drv reg "$UNINSTALL_KEY")"
        check_script_registration "$SCRIPTS_FOLDER"
        check_script_files "$SCRIPTS_FOLDER"
        cp "$WORK/Uninstall.ulog.txt" "$WORK/Uninstall-$index.ulog.txt"
    done
    set_user_temp ""
    drv reset 'C:\Programme' 'C:\Temp'
}

# The release engineer's path: an installer whose ready archive was packed from a
# generated tree of 300 files in folders named in several scripts, empty files
# and a 20 MB file (tools/e2e/make-tree.sh), installed quickly and checked byte for byte.
case_release_path() {
    load_folders
    INSTALL_EXE=$RELEASE_INSTALL_EXE PAYLOAD_ARCHIVE_FILE=$RELEASE_ARCHIVE_FILE
    quick_installation
    expect_contains "log" "Installation Data Writing...OK" "$(<"$WORK/install-log-1.txt")"
    check_installation "$DEFAULT_FOLDER" both 1
    check_staged_files "$DEFAULT_FOLDER" release/ "$RELEASE_ARCHIVE_FILE"
    expect_eq "generated files checked" 301 "$CHECKED_FILES"
}

# ---- libraries planted beside the setup program ----

# Libraries that Install.exe imports, or loads, or once imported, which are no known
# libraries of Windows: a copy beside the program would be taken first by a bare name.
# version.dll is left out here: Wine's own user32 imports it (Windows' does not), so
# under Wine a planted copy is loaded before any code of the program runs. The imports
# test and the System32 loader's unit test cover it instead.
# dsetup and d3dx9_43 are named by the DirectX step, which loads them by full path.
PLANTED_LIBRARIES=(bcrypt comctl32 uxtheme dsetup d3dx9_43)
# Known libraries of Windows: always loaded from the system folder.
KNOWN_LIBRARIES=(advapi32 gdi32 kernel32 msvcrt ntdll ole32 shell32 shlwapi user32)

# Every library that Install.exe imports, or names in its text, is planted here or
# is a known one: a library added later without a case fails here.
check_planted_list() {
    local name known
    while read -r name; do
        for known in "${PLANTED_LIBRARIES[@]}" "${KNOWN_LIBRARIES[@]}" version; do
            [[ $name == *"$known.dll" ]] && continue 2
        done
        fail "$name is loaded by Install.exe but neither planted nor a known library"
    done < <({ x86_64-w64-mingw32-objdump -p "$INSTALL_EXE" | sed -n 's/^[[:space:]]*DLL Name: //p'
               strings -el "$INSTALL_EXE" | grep -iE '\.dll$'; } | tr '[:upper:]' '[:lower:]' | sort -u)
}

case_planted_libraries() {
    load_folders
    local downloads=$WORK/Downloads name overrides=
    check_planted_list
    echo "not planted: version.dll (under Wine its own user32 imports it)"
    mkdir -p "$downloads"
    cp "$INSTALL_EXE" "$downloads/Install.exe"
    for name in "${PLANTED_LIBRARIES[@]}"; do
        cp "$LOOKALIKE_DLL" "$downloads/$name.dll"
        overrides+="$name=n,b;"
    done
    # Native first for those names: the search order that Windows uses for them.
    WINEDLLOVERRIDES="${overrides}${WINEDLLOVERRIDES:-}" start_installer "$downloads/Install.exe"
    drv wait-wizard
    to_install_page_quick
    install_run 1
    expect_contains "log" "Installation Data Writing...OK" "$(log_text)"
    drv click 1 ';' expect-page 4
    exit_without_question
    for name in "${PLANTED_LIBRARIES[@]}"; do
        [[ ! -e $downloads/$name.dll.loaded ]] || fail "the planted $name.dll was loaded"
    done
    check_installation "$DEFAULT_FOLDER" both 1
}

# Links that a user without administrator rights may plant before an elevated
# installation: the shared data's folder below ProgramData made a link to a
# folder elsewhere, or the program file a link to a file elsewhere. Each fails
# the installation before anything is written, moved or granted through it.
# Wine shows the links as Unix symbolic links; it cannot make junctions.
case_planted_links() {
    load_folders
    echo "planted as symbolic links only: Wine cannot make a junction or mount point"
    local victim=$WINEPREFIX/drive_c/victim before texts link target failed
    mkdir -p "$victim"
    echo "a system file" >"$victim/system.dll"
    mkdir -p "$(unixpath "$DEFAULT_FOLDER")"
    before=$(state_without_size)
    for link in "$(unixpath "${FOLDER[<CommonData>]}")/Varnholt" "$(unixpath "$DEFAULT_FOLDER")/Gradiva.exe"; do
        if [[ $link == */Varnholt ]]; then
            target=$victim failed="Varnholt\\Textures\\Gradiva\\Aluminium.svg\"...Failed"
        else
            target=$victim/system.dll failed="Gradiva 7\\Gradiva.exe\"...Failed"
        fi
        ln -s "$target" "$link"
        PLANTED_LINKS=("$link")
        start_installer
        drv wait-wizard
        to_install_page_quick
        install_run 1
        texts=$(drv texts)
        expect_line "status" "1003=Installation failed (Error Code 1:0000112B)." "$texts"
        expect_contains "log" "$failed" "$(log_text)"
        shot "$WORK/shots/3-planted-${link##*/}.png"
        drv click 2 ';' msgbox ';' answer yes
        wait_installer
        expect_eq "nothing written through the link" "system.dll" "$(ls "$victim")"
        expect_eq "the link's target unchanged" "a system file" "$(cat "$victim/system.dll")"
        [[ -w $victim/system.dll ]] || fail "the link's target was made read-only"
        rm "$link"
        PLANTED_LINKS=()
        expect_eq "machine state restored" "$before" "$(state_without_size | grep -vxF '[<ProgramFiles>\Varnholt\Gradiva 7]' || true)"
    done
    rm -rf "$victim"
}

# An earlier log is anyone's text: it names a share as the installation folder,
# and files and shortcuts outside the installation. None of them is followed,
# moved, deleted or carried into the new log for the uninstaller.
case_forged_log() {
    load_folders
    prepare_older_installation
    local victim='C:\victim' folder=$DEFAULT_FOLDER
    rm -rf "$(unixpath "$victim")"
    drv write "$victim\\system.dll" 'a system file' ';' write "$victim\\other.dll" 'another system file' ';' \
        write "$folder\\Uninstall.ulog" "// Uninstall Log File v1
// ############ WARNING: Do not delete or modify this file. ############
// Install Gradiva 7.17
// Install Path : \\\\?\\$victim
// Shortcut Path : \\\\server\\share
// ----
0000:00ff:1 -- $victim
0001:0101:1 -- $victim\\system.dll
0002:02ff:1 -- $victim\\system.dll
0003:04ff:1 -- $victim\\other.dll
0004:07ff:1 -- DirectX Update
"
    quick_installation
    check_installation "$folder" both 1 'Gradiva 7.17' update
    expect_eq "file named by the log kept" "a system file" "$(cat "$(unixpath "$victim")/system.dll")"
    expect_eq "shortcut named by the log kept" "another system file" "$(cat "$(unixpath "$victim")/other.dll")"
    expect_not_contains "new log" "victim" "$(cat "$WORK/Uninstall.ulog.txt")"
    expect_not_contains "new log" "server" "$(cat "$WORK/Uninstall.ulog.txt")"
    rm -rf "$(unixpath "$victim")"
}

# Folders that would scatter the product over a drive, a system folder or a
# share: Next shows why and stays on the options page.
case_refused_folders() {
    load_folders
    start_installer
    drv wait-wizard ';' click 1 ';' expect-page 1 ';' click 1019 ';' click 1 ';' expect-page 2
    local typed box windows=${FOLDER[<ProgramFiles>]%%\\*}'\Windows'
    for typed in 'D:' 'D:Apps' "${FOLDER[<ProgramFiles>]}" "$windows\\Gradiva" '\\server\share\Gradiva' ''; do
        drv settext 1007 "$typed" ';' click 1
        box=$(drv msgbox)
        expect_contains "refused \"$typed\"" "text=The Installation Folder cannot be \"" "$box"
        [[ $typed == D: ]] && shot "$WORK/shots/2-refused.png"
        drv answer ok ';' expect-page 2
    done
    drv settext 1007 'D:\Apps\Gradiva' ';' click 1 ';' expect-page 3
    drv click 2 ';' msgbox ';' answer yes
    wait_installer
}

# The folder dialog of the options page, under Wine as on Windows: OK keeps the
# folder with the product's own name, Cancel changes nothing, and a folder typed
# into the dialog becomes the choice.
case_browse_folder() {
    load_folders
    start_installer
    drv wait-wizard ';' click 1 ';' expect-page 1 ';' click 1019 ';' click 1 ';' expect-page 2
    drv click 1006
    expect_eq "dialog starts at the folder" "edit=$DEFAULT_FOLDER" "$(drv browser)"
    shot "$WORK/shots/2-browse.png"
    drv browser-close ok
    expect_line "OK keeps the product's folder" "1007=$DEFAULT_FOLDER" "$(drv texts)"
    drv click 1006 ';' browser ';' browser-close cancel 'D:\Elsewhere'
    expect_line "Cancel changes nothing" "1007=$DEFAULT_FOLDER" "$(drv texts)"
    local other=${FOLDER[<ProgramFiles>]}'\Jürgen Tools\Gradiva 7'
    drv click 1006 ';' browser ';' browser-close ok "$other"
    expect_line "a typed folder is the choice" "1007=$other" "$(drv texts)"
    drv click 2 ';' msgbox ';' answer yes
    wait_installer
}

# ---- the uninstaller ----

# The installed uninstaller, started the way the list of installed programs does
# (its UninstallString), with the arguments given; its exit code in UNINSTALL_STATUS.
run_uninstaller() {
    local command
    command=$(uninstall_string)
    [[ -n $command ]] || { fail "no UninstallString"; return; }
    UNINSTALL_STATUS=0
    timeout 60 "$WINE" "$command" "$@" || UNINSTALL_STATUS=$?
}

uninstall_string() {
    local command
    command=$(drv reg "$UNINSTALL_KEY" | sed -n 's/^UninstallString = REG_SZ "\(.*\)"$/\1/p')
    command=${command#\"}
    printf '%s' "${command%\"}"
}

# The same in the background, with its windows (wait_installer waits for it).
start_uninstaller() {
    local command
    command=$(uninstall_string)
    [[ -n $command ]] || { fail "no UninstallString"; return 1; }
    "$WINE" "$command" "$@" &
    INSTALLER_PID=$!
}

# Holds a file open without sharing from another process of the prefix, in the
# background, until release_file.
hold_file() {
    # The driver itself, not a subshell, so that release_file ends it.
    "$WINE" "$DRIVER" hold "$1" 120000 >"$WORK/hold.txt" &
    HOLDER_PID=$!
    local i
    for ((i = 0; i < 100; i++)); do
        grep -q held "$WORK/hold.txt" 2>/dev/null && return 0
        sleep 0.1
    done
    fail "the file $1 was not held"
}

release_file() {
    kill "$HOLDER_PID" 2>/dev/null || true
    wait "$HOLDER_PID" 2>/dev/null || true
}

# The state's files and folders after an uninstallation that kept kinds 3 and 4:
# the kept files, the folders holding them, and no registry value.
check_only_kept() { # what, kept files, state
    local folder
    expect_eq "$1: files left" "$2" "$(sed -n 's/^F \(.*\) size=.*$/\1/p' <<<"$3" | sort)"
    while IFS= read -r folder; do
        grep -qF -- "$folder\\" <<<"$2" || fail "$1: folder left: $folder"
    done < <(sed -n 's/^D //p' <<<"$3")
    expect_no_line_matching "$1: registry left" '^[^DF]' "$3"
}

# The files of kinds 3 and 4 that the log names, in the state's symbolic form.
kept_files() {
    local path name best length
    while IFS= read -r path; do
        best= length=0
        for name in "${!FOLDER[@]}"; do
            if [[ $path == "${FOLDER[$name]}"\\* ]] && ((${#FOLDER[$name]} > length)); then
                best=$name length=${#FOLDER[$name]}
            fi
        done
        [[ -n $best ]] && path=$best${path#"${FOLDER[$best]}"}
        printf '%s\n' "$path"
    done < <(sed -n 's/^[0-9]*:010[34]:1 -- //p' <<<"$1") | sort
}

# A restart of the Wine machine: the deletions left for the next start happen.
restart_machine() {
    "$WINE" wineboot -r >/dev/null 2>&1 || true
}

case_uninstall_quiet() {
    load_folders
    local before state kept ulog
    before=$(state_without_size)
    quick_installation
    ulog=$(drv ulog "$DEFAULT_FOLDER\\Uninstall.ulog")
    kept=$(kept_files "$ulog")
    [[ -n $kept ]] || fail "the log names no user data or samples"
    cp "$(unixpath "$DEFAULT_FOLDER\\Uninstall.exe")" "$WORK/Uninstall.exe"

    # User data and samples stay, and the folders holding them; nothing else.
    run_uninstaller /QUIET
    expect_eq "exit code of /quiet" 0 "$UNINSTALL_STATUS"
    expect_contains "unregistration run" "Gradiva.exe\" /Unregister /Background" "$(cat "$WORK/gradiva-runs.txt")"
    restart_machine
    state=$(state_without_size)
    echo "$state" >"$WORK/state-quiet.txt"
    check_only_kept "/quiet" "$kept" "$state"

    # Everything goes with /all: the machine is as before the installation. (An
    # installation over kept files does not journal them, so it starts clean.)
    drv reset
    quick_installation
    run_uninstaller /quiet /All
    expect_eq "exit code of /quiet /all" 0 "$UNINSTALL_STATUS"
    restart_machine
    state=$(state_without_size)
    echo "$state" >"$WORK/state-all.txt"
    expect_eq "state after /quiet /all" "$before" "$state"

    # No log: nothing is done, and no copy is made.
    mkdir -p "$(unixpath "$DEFAULT_FOLDER")"
    cp "$WORK/Uninstall.exe" "$(unixpath "$DEFAULT_FOLDER\\Uninstall.exe")"
    UNINSTALL_STATUS=0
    timeout 60 "$WINE" "$DEFAULT_FOLDER\\Uninstall.exe" /quiet || UNINSTALL_STATUS=$?
    expect_eq "exit code without a log" 2 "$UNINSTALL_STATUS"
    expect_eq "no copy without a log" 0 "$(grep -c 'varnholt_' <<<"$(drv state)" || true)"
}

# The uninstaller as a person runs it from the list of installed programs: the
# confirmation, the progress window and its end; once keeping user data and
# samples, once with the check box ticked, once with a file held open by
# another program (Skip leaves it, and a second run finishes the job).
case_uninstall_wizard() {
    load_folders
    local before state kept end box held
    before=$(state_without_size)
    quick_installation
    kept=$(kept_files "$(drv ulog "$DEFAULT_FOLDER\\Uninstall.ulog")")
    start_uninstaller
    box=$(drv msgbox 20000)
    expect_eq "confirmation" "caption=Gradiva 7.18f Uninstall
text=Do you want to completely remove 'Gradiva 7.18f' and all of its components?
buttons=yes,no
default=no" "$box"
    SHOT_PROGRAM=uninstall.exe shot "$WORK/shots/confirm.png"
    drv answer yes
    end=$(drv removal-end 60000)
    echo "$end" >"$WORK/end-1.txt"
    expect_line "end" "status='Gradiva 7.18f' was successfully removed from your computer." "$end"
    expect_line "log" "Removing \"$DEFAULT_FOLDER\\Gradiva.exe\"...OK" "$end"
    expect_line "log" "Unregistering the file types...OK" "$end"
    expect_line "log" "Removing the registration...OK" "$end"
    SHOT_PROGRAM=uninstall.exe shot "$WORK/shots/removed.png"
    drv removal-close
    wait_installer 20
    expect_eq "exit code" 0 "$INSTALLER_STATUS"
    restart_machine
    state=$(state_without_size)
    echo "$state" >"$WORK/state-kept.txt"
    check_only_kept "wizard" "$kept" "$state"

    # The check box ticked: the machine is exactly as before.
    drv reset
    quick_installation
    start_uninstaller
    drv msgbox 20000 ';' box-click 1171 ';' answer yes
    end=$(drv removal-end 60000)
    expect_line "end with the check box" "status='Gradiva 7.18f' was successfully removed from your computer." "$end"
    drv removal-close
    wait_installer 20
    expect_eq "exit code with the check box" 0 "$INSTALLER_STATUS"
    restart_machine
    expect_eq "state with the check box" "$before" "$(state_without_size)"

    # A file in use: asked about, skipped and reported; the rest goes, the
    # uninstaller and its log stay for a second run.
    drv reset
    quick_installation
    held=$DEFAULT_FOLDER'\Lang\GradivaFRA.lng'
    hold_file "$held"
    start_uninstaller
    drv msgbox 20000 ';' box-click 1171 ';' answer yes
    box=$(drv msgbox 30000)
    expect_line "in-use question" "text=The file \"$held\" is in use by another program. Close it and choose Retry, or choose Skip to leave it." "$box"
    expect_line "in-use question" "buttons=retry,skip" "$box"
    SHOT_PROGRAM=uninstall.exe shot "$WORK/shots/in-use.png"
    drv answer retry
    box=$(drv msgbox 10000)
    expect_line "asked again after Retry" "buttons=retry,skip" "$box"
    drv answer skip
    end=$(drv removal-end 60000)
    echo "$end" >"$WORK/end-held.txt"
    expect_line "end" "status=These items could not be removed:" "$end"
    expect_line "end" "\"$held\": in use by another program." "$end"
    expect_line "end" "\"$DEFAULT_FOLDER\\Uninstall.exe\": kept for a second uninstallation, since other items are left." "$end"
    SHOT_PROGRAM=uninstall.exe shot "$WORK/shots/left.png"
    drv removal-close
    wait_installer 20
    expect_eq "exit code with a file in use" 1 "$INSTALLER_STATUS"
    release_file
    expect_eq "held file left" 1 "$(drv exists "$held")"
    expect_eq "main program kept for a second uninstallation" 1 "$(drv exists "$DEFAULT_FOLDER\\Gradiva.exe")"
    expect_eq "uninstaller kept" 1 "$(drv exists "$DEFAULT_FOLDER\\Uninstall.exe")"
    drv ulog "$DEFAULT_FOLDER\\Uninstall.ulog" >"$WORK/Uninstall-left.ulog.txt"
    drv reg "$MAKER_KEY" >"$WORK/maker-left.txt"
    # The installer takes the half-processed log over: a reinstall puts it all back
    # (the desktop shortcut, gone from that log, is not offered again).
    quick_installation
    check_installation "$DEFAULT_FOLDER" start 1 'Gradiva 7.18f'
    run_uninstaller /quiet /all
    drv reg "$MAKER_KEY" >"$WORK/maker-after.txt"
    expect_eq "exit code of the second run" 0 "$UNINSTALL_STATUS"
    restart_machine
    expect_eq "state after the second run" "$before" "$(state_without_size)"
}

# A small installation made by hand for the uninstaller's windows: its own
# Uninstall.exe and log, a language module, the registration in language
# $1; with "left", a file of the user's in the module's folder.
fake_installation() {
    local index=$1 left=${2:-} folder=$DEFAULT_FOLDER
    drv copy "$(winpath "$UNINSTALL_EXE")" "$folder\\Uninstall.exe" ';' \
        write "$folder\\Lang\\GradivaDEU.lng" 'language module' ';' \
        set-sz "$UNINSTALL_KEY" UninstallString "\"$folder\\Uninstall.exe\"" ';' \
        set-dword "$UNINSTALL_KEY" QzLanguage "$index" ';' \
        write "$folder\\Uninstall.ulog" "// Uninstall Log File v1
// ############ WARNING: Do not delete or modify this file. ############
// Install Gradiva 7.18f
// Install Path : $folder
// Shortcut Path : ${FOLDER[<CommonPrograms>]}
// ----
0000:00ff:1 -- $folder
0001:00ff:1 -- $folder\\Lang
0002:0100:1 -- $folder\\Lang\\GradivaDEU.lng
0003:0102:1 -- $folder\\Uninstall.exe
0004:05ff:1 -- HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Gradiva 7
"
    [[ -z $left ]] || drv write "$folder\\Lang\\Notes.txt" "the user's notes"
}

# The uninstaller's windows in each of the 12 languages of the installer, with
# the text-fit check: the confirmation, the in-use question, the end with items
# left and the end of a complete removal. Screenshots: <build>/e2e/cases/uninstall_screenshots/<language>.
case_uninstall_screenshots() {
    load_folders
    local languages=(0:fr-FR 1:en-US 2:de-DE 3:es-ES 4:pt-PT 7:tr-TR 9:ro-RO 11:it-IT 12:cs-CZ 19:hu-HU
        21:ar-SA 24:hr-HR)
    local entry index tag total
    : >"$WORK/clipping.txt"
    : >"$WORK/checked-counts.txt"
    SHOT_PROGRAM=uninstall.exe
    for entry in "${languages[@]}"; do
        index=${entry%%:*}
        tag=${entry#*:}
        drv reset
        fake_installation "$index" left
        hold_file "$DEFAULT_FOLDER\\Lang\\GradivaDEU.lng"
        start_uninstaller
        fit_and_shot "$tag" 1-confirm box msgbox 20000
        drv answer yes
        fit_and_shot "$tag" 2-in-use box msgbox 30000
        drv answer skip
        fit_and_shot "$tag" 3-left removal removal-end 60000
        drv removal-close
        wait_installer 20
        # Nothing could go: everything is held, postponed or still holds a file.
        expect_eq "$tag: exit code with nothing removed" 2 "$INSTALLER_STATUS"
        release_file

        drv reset
        fake_installation "$index"
        start_uninstaller
        drv msgbox 20000 ';' answer yes
        fit_and_shot "$tag" 4-removed removal removal-end 60000
        drv removal-close
        wait_installer 20
        expect_eq "$tag: exit code" 0 "$INSTALLER_STATUS"
    done
    SHOT_PROGRAM=install.exe
    report_clipping
}

# An update over an older installation, then its removal: what the older log
# recorded and the update carried over (its folders, a texture and a component
# library of the older version) goes too, kept kinds apart; with /all the machine
# is as before the older installation.
case_uninstall_update() {
    load_folders
    local data=${FOLDER[<CommonData>]}'\Varnholt' before all ulog line kept state
    local texture=$data'\Textures\Gradiva\Oak.svg' library=$data'\Gradiva\Standard.gcl'
    before=$(state_without_size)
    for all in "" /all; do
        drv reset
        prepare_older_installation "0005:00ff:1 -- $data
0006:00ff:1 -- $data\\Textures
0007:00ff:1 -- $data\\Textures\\Gradiva
0008:00ff:1 -- $data\\Gradiva
0009:0103:1 -- $library
"
        drv write "$library" 'old library'
        quick_installation
        ulog=$(drv ulog "$DEFAULT_FOLDER\\Uninstall.ulog")
        echo "$ulog" >"$WORK/Uninstall${all:+-all}.ulog.txt"
        for line in ":00ff:1 -- ${FOLDER[<ProgramFiles>]}\\Varnholt" ":00ff:1 -- $data" ":0104:1 -- $texture" \
            ":0103:1 -- $library"; do
            grep -qF -- "$line" <<<"$ulog" || fail "update's log: no carried-over entry \"$line\""
        done
        kept=$(kept_files "$ulog")
        run_uninstaller /quiet $all
        expect_eq "exit code of /quiet $all" 0 "$UNINSTALL_STATUS"
        restart_machine
        state=$(state_without_size)
        echo "$state" >"$WORK/state${all:+-all}.txt"
        if [[ -z $all ]]; then
            check_only_kept "update, /quiet" "$kept" "$state"
            expect_eq "older library kept as it was" "old library" "$(cat "$(unixpath "$library")")"
            expect_eq "older texture kept as it was" "old oak texture" "$(cat "$(unixpath "$texture")")"
        else
            expect_eq "update, state after /quiet /all" "$before" "$state"
        fi
    done
}

# Uninstall.ulog as a standard user could write it beside Uninstall.exe if the
# folder were writable: it names files outside the installation, through a
# share, a device path, "..", a system folder and another maker's shortcut.
# Nothing of it is touched, the end lists the refusals; then a missing and a
# damaged log: nothing is done, exit 2, a box without /quiet.
case_uninstall_forged_log() {
    load_folders
    local folder=$DEFAULT_FOLDER log=$DEFAULT_FOLDER'\Uninstall.ulog' victim='C:\victim'
    local system='C:\windows\system32\qz-victim' other=${FOLDER[<PublicDesktop>]}'\Other Maker.lnk'
    local victims=("$victim\\secret.txt" "$system\\victim.dll" "$system.dll" "$other") file
    for file in "${victims[@]}"; do
        mkdir -p "$(dirname "$(unixpath "$file")")"
        printf 'not Gradiva\n' >"$(unixpath "$file")"
    done
    local forged="// Uninstall Log File v1
// ############ WARNING: Do not delete or modify this file. ############
// Install Gradiva 7.18f
// Install Path : $folder
// Shortcut Path : ${FOLDER[<CommonPrograms>]}
// ----
0000:00ff:1 -- $folder
0001:00ff:1 -- $victim
0002:0101:1 -- $victim\\secret.txt
0003:0100:1 -- \\\\server\\share\\secret.txt
0004:0100:1 -- \\\\?\\$victim\\secret.txt
0005:0100:1 -- $folder\\..\\..\\..\\victim\\secret.txt
0006:00ff:1 -- $system
0007:0100:1 -- $system\\victim.dll
0008:0100:1 -- $system.dll
0009:04ff:1 -- $other
0010:0101:1 -- $folder\\Gradiva.exe
0011:0102:1 -- $folder\\Uninstall.exe
"
    local mode end
    for mode in wizard /quiet; do
        drv reset
        quick_installation
        rm -f "$(unixpath "$log")"
        drv write "$log" "$forged"
        if [[ $mode == wizard ]]; then
            start_uninstaller
            drv msgbox 20000 ';' answer yes >/dev/null
            end=$(drv removal-end 60000)
            echo "$end" >"$WORK/end-forged.txt"
            for line in "status=These items could not be removed:" \
                "\"\\\\server\\share\\secret.txt\": refused, it is not a local path." \
                "\"\\\\?\\$victim\\secret.txt\": refused, it is not a local path." \
                "\"$system.dll\": refused, it lies outside the installation." \
                "\"$other\": refused, it lies outside the installation."; do
                expect_line "forged log, end" "$line" "$end"
            done
            drv removal-close
            wait_installer 20
            UNINSTALL_STATUS=$INSTALLER_STATUS
        else
            run_uninstaller /quiet
        fi
        expect_eq "forged log, $mode: exit code" 1 "$UNINSTALL_STATUS"
        expect_eq "forged log, $mode: the product's file removed" 0 "$(drv exists "$folder\\Gradiva.exe")"
        for file in "${victims[@]}"; do
            expect_eq "forged log, $mode: $file untouched" "not Gradiva" "$(cat "$(unixpath "$file")" 2>/dev/null)"
        done
    done
    rm -rf "$(unixpath "$victim")" "$(unixpath "$system")" "$(unixpath "$system.dll")" "$(unixpath "$other")"

    # A missing and a damaged log, each quiet and with windows.
    local problem before box text
    drv reset
    quick_installation
    cp "$(unixpath "$log")" "$WORK/Uninstall.ulog"
    for problem in missing damaged; do
        rm -f "$(unixpath "$log")"
        if [[ $problem == missing ]]; then
            text="No uninstall log was found in \"$folder\". Nothing was removed."
        else
            printf 'not a log\r\n' >"$(unixpath "$log")"
            text="The uninstall log \"$log\" is damaged. Nothing was removed."
        fi
        before=$(state_without_size)
        for mode in /quiet wizard; do
            if [[ $mode == wizard ]]; then
                start_uninstaller
                box=$(drv msgbox 20000)
                expect_line "$problem log: box" "text=$text" "$box"
                drv answer ok
                wait_installer 20
                UNINSTALL_STATUS=$INSTALLER_STATUS
            else
                run_uninstaller /quiet
            fi
            expect_eq "$problem log, $mode: exit code" 2 "$UNINSTALL_STATUS"
            expect_eq "$problem log, $mode: nothing removed" "$before" "$(state_without_size)"
        done
    done
    cp "$WORK/Uninstall.ulog" "$(unixpath "$log")"
}
