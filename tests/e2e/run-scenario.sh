#!/usr/bin/env bash
# One end-to-end scenario: run-scenario.sh NAME BIN_DIR
# Makes a throwaway Wine prefix (no Z:, no links to the host's home), copies
# quellix.exe, qxdriver.exe and qxmessages.exe into C:\qxtest, prepares the
# drive, works the window with the driver and compares the driver's
# transcript with the expected one, line by line. Runs under a virtual display
# (xvfb-run). Screenshots go to $QX_SHOTS_DIR (default BIN_DIR/../e2e-shots).
set -u
# NAME@VERSION runs the scenario under Wine set to that Windows version
# (win98, nt40, win2k, winxp, win10...).
name="$1"
windows_version=""
if [[ "$name" == *@* ]]; then
    windows_version="${name#*@}"
    name="${name%@*}"
fi
bin="$(cd "$2" && pwd)"
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../wine/wine-env.sh"
source "$here/control-ids.sh"

work="$(mktemp -d "${TMPDIR:-/tmp}/qx-e2e-$name.XXXXXX")"
prefix="$work/prefix"
shots="${QX_SHOTS_DIR:-$bin/../e2e-shots}"
mkdir -p "$shots"
export WINEPREFIX="$prefix"

cleanup() {
    wineserver -k >/dev/null 2>&1
    if [ -z "${QX_KEEP:-}" ]; then rm -rf "$work"; fi
}
trap cleanup EXIT

qx_new_prefix "$prefix" || { echo "cannot make the Wine prefix"; exit 1; }
# A scan must never see the host's files.
qx_check_isolated "$prefix" || exit 1
test_dir="$prefix/drive_c/qxtest"
mkdir -p "$test_dir"
for exe in quellix.exe quellix-scan.exe qxdriver.exe qxmessages.exe qxplant.exe qxworm.exe qx_victim.exe quellix-restore.exe; do
    if [ -f "$bin/$exe" ]; then cp -f "$bin/$exe" "$test_dir/"; fi
done
# One wineserver for the whole scenario, warmed up by a trivial program.
wineserver -p >/dev/null 2>&1
(cd "$test_dir" && wine cmd /c echo >/dev/null 2>&1)

# in_prefix CMD...: a Windows command run from C:\qxtest.
in_prefix() { (cd "$test_dir" && wine "$@"); }
# No window manager runs on the virtual display: Wine draws the frames and
# captions itself, as Windows would.
in_prefix reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
if [ -n "$windows_version" ]; then
    in_prefix reg add 'HKCU\Software\Wine' /v Version /d "$windows_version" /f >/dev/null 2>&1
fi
# reg64 ARGS...: the registry tool in the 64-bit view.
reg64() { (cd "$test_dir" && /usr/lib/wine/wine64 reg "$@" /f >/dev/null 2>&1); }

# drive STEP...: runs the driver; takes the screenshots it asks for; its
# transcript goes to $work/transcript, the sizes of the questions it saw to
# $work/sizes.
drive() {
    # Drives added since the prefix was made must be folders of it too.
    qx_check_isolated "$prefix" || exit 1
    : >"$work/transcript"
    : >"$work/sizes"
    in_prefix 'C:\qxtest\qxdriver.exe' "$@" 2>/dev/null | while IFS= read -r line; do
        line="${line%$'\r'}"
        case "$line" in
            "@shot "*)
                shot="${line#@shot }"
                import -window root "$shots/$name-$shot.png" 2>/dev/null
                touch "$test_dir/shot-$shot.done"
                ;;
            "@script "*)
                "script_${line#@script }"
                touch "$test_dir/script-${line#@script }.done"
                ;;
            "question size: "*) printf '%s\n' "${line#question size: }" >>"$work/sizes" ;;
            *) printf '%s\n' "$line" >>"$work/transcript" ;;
        esac
    done
}

# pixel PICTURE X Y: the colour of one pixel of a screenshot, as #RRGGBB.
pixel() {
    convert "$1" -crop "1x1+$2+$3" -depth 8 txt:- 2>/dev/null | sed -n 's/.*\(#[0-9A-F]\{6\}\).*/\1/p'
}

# expect: compares the transcript with the expected text on stdin.
expect() {
    if diff -u /dev/stdin "$work/transcript" >"$work/diff"; then
        echo "e2e $name: transcript as expected"
        return 0
    fi
    echo "e2e $name: transcript differs (expected -, seen +):"
    cat "$work/diff"
    return 1
}

# Files a walk of C: counts: every regular file under drive_c, less the
# screenshot acknowledgements but those named (the ones made before the scan),
# and less the records the scan makes in C:\Quellix (the walk passes by the
# ones it made itself; the prefix holds no others).
files_on_c() {
    local n
    n=$(find "$prefix/drive_c" -type f ! -name 'shot-*.done' ! -path "$prefix/drive_c/Quellix/*" | wc -l)
    echo $((n + $#))
}

stats() {  # stats SCANNED INFECTED REMOVED: the statistics lines
    printf 'line: Scanning statistics\n'
    printf 'line: ------------------------------\n'
    printf 'line: Total files scanned\t\t:  %s\n' "$1"
    printf 'line: Total files infected\t\t:  %s\n' "$2"
    printf 'line: Total files removed\t\t:  %s\n' "$3"
}

# add_drive LETTER: a fixed drive of its own (a folder of the prefix).
add_drive() {
    mkdir -p "$prefix/drive_$1"
    ln -sfn "../drive_$1" "$prefix/dosdevices/$1:"
}

# plant KIND WINDOWS-PATH: writes a sample; prints its detection name.
plant() { in_prefix 'C:\qxtest\qxplant.exe' "$1" "$2" 2>/dev/null | tr -d '\r'; }

# Empty files enough to keep a scan busy for some seconds, so that a stop
# request lands while it runs however fast the machine is.
lengthen_scan() {
    mkdir -p "$prefix/drive_c/bulk"
    local i
    for ((i = 0; i < 4000; ++i)); do : >"$prefix/drive_c/bulk/file$i.txt"; done
}

RUN_KEY='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'

# run_value NAME DATA: a value of the user's Run key, read back before the
# scan: a registry write lost while setting up must not pass for a value the
# program failed to remove.
run_value() {
    local try
    for try in 1 2 3; do
        in_prefix reg add "$RUN_KEY" /v "$1" /d "$2" /f >/dev/null 2>&1
        in_prefix reg query "$RUN_KEY" /v "$1" >/dev/null 2>&1 && return 0
        sleep 1
    done
    echo "e2e $name: cannot set the Run value $1"
    return 1
}

TERMINATE_QUESTION='question: Quellix Ver 7.0 | Terminate the Scan now? | YES NO'

# --- Scenarios -------------------------------------------------------------

scenario_clean_drive() {
    drive start shot:before click:$IDC_SCAN wait-ok read \
        state:$IDC_SCAN,$IDCANCEL,$IDC_OK_BUTTON,$IDC_SEARCHING,$IDC_STATUS_FRAME shot:after \
        click:$IDC_OK_BUTTON expect-ended
    local n
    n="$(files_on_c before)"
    expect <<EOT
started
ok shown
$(stats "$n" 0 0)
status: Scanning completed
control $IDC_SCAN: visible disabled
control $IDCANCEL: hidden enabled
control $IDC_OK_BUTTON: visible enabled
control $IDC_SEARCHING: hidden enabled
control $IDC_STATUS_FRAME: visible enabled
ended
EOT
}

# The infected drive: one sample of each detection kind, each alone on a
# drive of its own so that the walk order (drive letters) fixes the order of
# the lines; a start-up entry that launches the infected program, and a known
# variant's entry (W32/Bagle.A), both removed at the first table match. Sets
# INFECTED_NAMES and INFECTED_FILES (drive letter, file).
INFECTED_LETTERS=(d e f g h)
INFECTED_FILES=(game.exe pics.zip mail.zip docs.rar page.vbs)
plant_infected() {
    local kinds=(exe archive zip rar script) i
    INFECTED_NAMES=()
    for i in 0 1 2 3 4; do
        add_drive "${INFECTED_LETTERS[$i]}"
        INFECTED_NAMES[$i]="$(plant "${kinds[$i]}" "${INFECTED_LETTERS[$i]^^}:\\${INFECTED_FILES[$i]}")"
        [ -n "${INFECTED_NAMES[$i]}" ] || { echo "e2e $name: cannot plant ${kinds[$i]}"; return 1; }
    done
    run_value GameHelper '"D:\game.exe" -silent' || return 1
    run_value d3dupdate.exe 'C:\WINDOWS\SYSTEM32\BBEAGLE.EXE' || return 1
}

# infected_left: what of the planting is still there, into the transcript.
infected_left() {
    local i value
    for i in 0 1 2 3 4; do
        [ -e "$prefix/drive_${INFECTED_LETTERS[$i]}/${INFECTED_FILES[$i]}" ] &&
            echo "left on disk: ${INFECTED_FILES[$i]}" >>"$work/transcript"
    done
    for value in GameHelper d3dupdate.exe; do
        in_prefix reg query "$RUN_KEY" /v "$value" >/dev/null 2>&1 && echo "Run value left: $value" >>"$work/transcript"
    done
}

# infected_lines SCANNED: the result list and status of its scan.
infected_lines() {
    cat <<EOT
line: System Registry     W32/Bagle.A.Worm removed
line: System Registry     W32/Bagle.Worm removed
line: D:\game.exe     ${INFECTED_NAMES[0]} removed
line: E:\pics.zip     ${INFECTED_NAMES[1]} removed
line: F:\mail.zip     ${INFECTED_NAMES[2]} removed
line: G:\docs.rar     ${INFECTED_NAMES[3]} removed
line: H:\page.vbs     ${INFECTED_NAMES[4]} Virus removed
line:  
$(stats "$1" 5 5)
status: Scanning completed
EOT
}

scenario_infected_drive() {
    plant_infected || return 1
    local n
    n=$(($(files_on_c) + 5))
    drive start click:$IDC_SCAN wait-ok read shot:infected click:$IDC_OK_BUTTON expect-ended
    infected_left
    log_check
    expect <<EOT
started
ok shown
$(infected_lines "$n")
ended
log: every line of the list
log: quarantine copies 5
log: registry backups 2
log: Restart question: not asked
EOT
}

scenario_restart_no() {
    # An infected file held open by another program cannot be deleted: it is
    # scheduled for deletion at the next start and the restart question
    # comes at the end; No leaves the computer running and the entry pending.
    add_drive d
    local detection
    detection="$(plant exe 'D:\game.exe')"
    drive hold:'D:\game.exe' start click:$IDC_SCAN answer:no wait-ok read click:$IDC_OK_BUTTON expect-ended
    [ -e "$prefix/drive_d/game.exe" ] && echo "still on disk" >>"$work/transcript"
    (cd "$test_dir" && /usr/lib/wine/wine64 reg query \
        'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations 2>/dev/null) |
        grep -qi 'D:\\game.exe' && echo "pending deletion: D:\game.exe" >>"$work/transcript"
    local n
    n=$(($(files_on_c) + 1))
    log_check
    grep -q ' (the file goes at the next start of Windows)'$'\r''$' "$prefix/drive_c/Quellix/Quellix.log" &&
        echo "log: copy kept for the next start" >>"$work/transcript"
    expect <<EOT
holding D:\game.exe
started
question: Quellix Ver 7.0 | The system has to be restarted to remove the virus completely from your system. || Restart now? | YES NO
ok shown
line: D:\game.exe     $detection Unable to remove
line:  
$(stats "$n" 1 0)
status: Scanning completed
ended
still on disk
pending deletion: D:\game.exe
log: every line of the list
log: quarantine copies 1
log: registry backups 0
log: Restart question: answered No
log: copy kept for the next start
EOT
}

# log_check: what C:\Quellix\Quellix.log holds after the one scan, added to
# the transcript: whether every line of the list is in it as the list shows
# it, the number of quarantine copies and registry backups it notes, and the
# restart answer.
log_check() {
    local log="$prefix/drive_c/Quellix/Quellix.log" l missing=0
    [ -f "$log" ] || { echo "log: missing" >>"$work/transcript"; return; }
    while IFS= read -r l; do
        grep -qxF -- "${l#line: }"$'\r' "$log" || { echo "log lacks: ${l#line: }" >>"$work/transcript"; missing=1; }
    done < <(grep '^line: ' "$work/transcript")
    [ "$missing" = 0 ] && echo "log: every line of the list" >>"$work/transcript"
    echo "log: quarantine copies $(grep -c '^    Quarantine: [0-9]\{8\}-[0-9]\{6\}-[0-9]' "$log")" >>"$work/transcript"
    echo "log: registry backups $(grep -c '^    Registry backup: .* saved in ' "$log")" >>"$work/transcript"
    grep '^Restart question: ' "$log" | tr -d '\r' | sed 's/^/log: /' >>"$work/transcript"
}

# --- Names in any script ---------------------------------------------------
# Folder and file names in Cyrillic, Greek, CJK, with an emoji, and all at
# once; one sample of each detection kind under them, each on a drive of its
# own so that the walk order fixes the order of the lines. The drive folders
# are Linux folders: Wine reads their UTF-8 names as Unicode.
NAMED_FOLDERS=('игра' 'παιχνίδι' '游戏' 'spiel 🎮' 'игра παιχνίδι 游戏')
NAMED_FILES=('вирус.exe' 'αρχείο.zip' '文件.zip' '😀 datei.rar' '🎮 вирус.vbs')

# plant_named KIND LETTER FOLDER FILE: a sample at LETTER:\FOLDER\FILE; prints
# its detection name.
plant_named() {
    add_drive "$2"
    plant "$1" "${2^^}:\\planted.tmp" || return 1
    mkdir -p "$prefix/drive_$2/$3"
    mv "$prefix/drive_$2/planted.tmp" "$prefix/drive_$2/$3/$4"
}

# short_path WINDOWS-PATH: the path by the short names Wine made for it.
short_path() { in_prefix 'C:\qxtest\qxdriver.exe' short-path "$1" 2>/dev/null | tr -d '\r'; }

# named_scenario [ascii]: every kind under such names, removed and reported;
# a Run value launches the program by its long name, another by its short
# name, and both go. The program's manifest makes its code page UTF-8 (as
# Windows 10 1903 and later honour it), so its lines name the long paths;
# with "ascii" the seam's test hook spells ASCII only, as an older Windows
# would, so the program opens each file by its short name and the log adds
# the long one.
named_scenario() {
    export LC_ALL=C.UTF-8
    local letters=(d e f g h) kinds=(exe archive zip rar script) detections=() paths=() i
    for i in 0 1 2 3 4; do
        detections[$i]="$(plant_named "${kinds[$i]}" "${letters[$i]}" "${NAMED_FOLDERS[$i]}" \
            "${NAMED_FILES[$i]}")"
        [ -n "${detections[$i]}" ] || { echo "e2e $name: cannot plant ${kinds[$i]}"; return 1; }
        paths[$i]="${letters[$i]^^}:\\${NAMED_FOLDERS[$i]}\\${NAMED_FILES[$i]}"
    done
    local short
    short="$(short_path "${paths[0]}")"
    case "$short" in D:\\*~*) ;; *) echo "e2e $name: no short name for ${paths[0]}: '$short'"; return 1 ;; esac
    run_value QxLongName "\"${paths[0]}\" -silent" || return 1
    run_value QxShortName "$short" || return 1
    local shown=("${paths[@]}")
    if [ "${1:-}" = ascii ]; then
        export QX_TEST_NARROW_NAMES=ascii
        for i in 0 1 2 3 4; do shown[$i]="$(short_path "${paths[$i]}")"; done
    fi
    local n
    n=$(($(files_on_c) + 5))
    drive start click:$IDC_SCAN wait-ok read click:$IDC_OK_BUTTON expect-ended
    unset QX_TEST_NARROW_NAMES
    for i in 0 1 2 3 4; do
        [ -e "$prefix/drive_${letters[$i]}/${NAMED_FOLDERS[$i]}/${NAMED_FILES[$i]}" ] &&
            echo "left on disk: ${paths[$i]}" >>"$work/transcript"
    done
    for value in QxLongName QxShortName; do
        in_prefix reg query "$RUN_KEY" /v "$value" >/dev/null 2>&1 && echo "Run value left: $value" >>"$work/transcript"
    done
    log_check
    # The long names, whole, in the log: the lines themselves, or after them.
    local log="$prefix/drive_c/Quellix/Quellix.log"
    for i in 0 1 2 3 4; do
        if [ "${1:-}" = ascii ]; then
            grep -qxF "    Long name: ${paths[$i]}"$'\r' "$log" || echo "log lacks the long name of ${paths[$i]}" >>"$work/transcript"
        else
            grep -qF "${paths[$i]}     " "$log" || echo "log lacks ${paths[$i]}" >>"$work/transcript"
        fi
    done
    # The restore tool reads the quarantine's path as the program wrote it.
    local id
    if [ "${1:-}" != ascii ]; then
        id="$(tr -d '\r' <"$log" | grep -A1 -F "${paths[0]}     " | sed -n 's/^    Quarantine: //p')"
        in_prefix 'C:\qxtest\quellix-restore.exe' restore "$id" >/dev/null 2>&1
        [ -f "$prefix/drive_d/${NAMED_FOLDERS[0]}/${NAMED_FILES[0]}" ] || echo "not restored: ${paths[0]}" >>"$work/transcript"
    fi
    expect <<EOT
started
ok shown
line: System Registry     W32/Bagle.Worm removed
line: System Registry     W32/Bagle.Worm removed
line: ${shown[0]}     ${detections[0]} removed
line: ${shown[1]}     ${detections[1]} removed
line: ${shown[2]}     ${detections[2]} removed
line: ${shown[3]}     ${detections[3]} removed
line: ${shown[4]}     ${detections[4]} Virus removed
line:  
$(stats "$n" 5 5)
status: Scanning completed
ended
log: every line of the list
log: quarantine copies 5
log: registry backups 2
log: Restart question: not asked
EOT
}

scenario_named_files() { named_scenario; }
scenario_named_files_short() { named_scenario ascii; }

scenario_unreachable_name() {
    # A name that neither its long nor a short name spells (the seam's test
    # hook: ASCII only, no short names) is left out of the count and listed
    # in the log as not readable; the file beside it is scanned as ever.
    export LC_ALL=C.UTF-8
    add_drive d
    local plain hidden
    plain="$(plant exe 'D:\plain.exe')"
    hidden="$(plant_named exe d 'игра' 'вирус.exe')"
    [ -n "$plain" ] && [ -n "$hidden" ] || { echo "e2e $name: cannot plant"; return 1; }
    plant exe 'D:\planted.tmp' >/dev/null && mv "$prefix/drive_d/planted.tmp" "$prefix/drive_d/文件.exe"
    local n
    n=$(($(files_on_c) + 1))
    export QX_TEST_NARROW_NAMES=ascii-no-short
    drive start click:$IDC_SCAN wait-ok read click:$IDC_OK_BUTTON expect-ended
    unset QX_TEST_NARROW_NAMES
    [ -e "$prefix/drive_d/игра/вирус.exe" ] && echo "still on disk: D:\игра\вирус.exe" >>"$work/transcript"
    [ -e "$prefix/drive_d/文件.exe" ] && echo "still on disk: D:\文件.exe" >>"$work/transcript"
    tr -d '\r' <"$prefix/drive_c/Quellix/Quellix.log" | grep '^Not readable: ' | sort >>"$work/transcript"
    local why="(its name cannot be spelled in the system's code page, and it has no short name)"
    expect <<EOT
started
ok shown
line: D:\plain.exe     $plain removed
line:  
$(stats "$n" 1 1)
status: Scanning completed
ended
still on disk: D:\игра\вирус.exe
still on disk: D:\文件.exe
Not readable: D:\игра\ $why
Not readable: D:\文件.exe $why
EOT
}

scenario_family_findings() {
    # What every Windows version shares, and where the families part: a drive
    # with findings and the start-up entries they leave, and a file in use
    # whose deletion waits for the next start of Windows: wininit.ini on the
    # 95 family, the pending-rename list (MoveFileEx) on NT. Its restart
    # question is answered No.
    add_drive d
    add_drive e
    local found held
    found="$(plant exe 'D:\game.exe')"
    held="$(plant exe 'E:\held.exe')"
    [ -n "$found" ] && [ -n "$held" ] || { echo "e2e $name: cannot plant"; return 1; }
    run_value GameHelper '"D:\game.exe" -silent' || return 1
    run_value d3dupdate.exe 'C:\WINDOWS\SYSTEM32\BBEAGLE.EXE' || return 1
    rm -f "$prefix/drive_c/windows/wininit.ini"
    local n
    n=$(($(files_on_c) + 2))
    drive hold:'E:\held.exe' start click:$IDC_SCAN answer:no wait-ok read click:$IDC_OK_BUTTON expect-ended
    [ -e "$prefix/drive_d/game.exe" ] && echo "left on disk: game.exe" >>"$work/transcript"
    for value in GameHelper d3dupdate.exe; do
        in_prefix reg query "$RUN_KEY" /v "$value" >/dev/null 2>&1 && echo "Run value left: $value" >>"$work/transcript"
    done
    if grep -qix 'NUL=E:\\HELD.EXE' <(tr -d '\r' <"$prefix/drive_c/windows/wininit.ini" 2>/dev/null); then
        echo "pending deletion: wininit.ini NUL=E:\HELD.EXE" >>"$work/transcript"
    fi
    (cd "$test_dir" && /usr/lib/wine/wine64 reg query \
        'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations 2>/dev/null) |
        grep -qi 'E:\\held.exe' && echo "pending deletion: PendingFileRenameOperations E:\held.exe" >>"$work/transcript"
    local pending="pending deletion: PendingFileRenameOperations E:\held.exe"
    case "$windows_version" in win95 | win98 | winme) pending="pending deletion: wininit.ini NUL=E:\HELD.EXE" ;; esac
    expect <<EOT
holding E:\held.exe
started
question: Quellix Ver 7.0 | The system has to be restarted to remove the virus completely from your system. || Restart now? | YES NO
ok shown
line: System Registry     W32/Bagle.A.Worm removed
line: System Registry     W32/Bagle.Worm removed
line: D:\game.exe     $found removed
line: E:\held.exe     $held Unable to remove
line:  
$(stats "$n" 2 1)
status: Scanning completed
ended
$pending
EOT
}

# --- quellix-scan.exe, the console scanner ---------------------------------
# The same drives as the window's scenarios; its stdout is the window's list
# ("line: ...") and status line ("status: ..."), as the driver prints them.
# Its two output files in C:\qxtest are scanned too: files_on_c counts them.
SCAN_BUSY='quellix-scan: another Quellix scan runs on this computer; nothing was scanned'

scenario_console_clean() {
    local n
    n="$(files_on_c out err)"
    drive console:
    expect <<EOT
$(stats "$n" 0 0)
status: Scanning completed
exit status 0
EOT
}

scenario_console_infected() {
    # Line for line the window's list of scenario_infected_drive.
    plant_infected || return 1
    local n
    n=$(($(files_on_c out err) + 5))
    drive console:
    infected_left
    log_check
    expect <<EOT
$(infected_lines "$n")
exit status 1
log: every line of the list
log: quarantine copies 5
log: registry backups 2
log: Restart question: not asked
EOT
}

# console_held [restart]: a file in use waits for the next start of Windows;
# nobody is asked. Without --restart none is made and the status says one is
# needed (1 + 2 + 8); with it, Windows takes the restart (Wine's own: the run
# goes on to its end) and the status says no more (1 + 2).
console_held() {
    local args="" status=11 answer=No pending=$'\npending deletion'
    # Wine's restart works through the pending deletions at once (the file,
    # still held, stays): only the answer and the status tell.
    if [ "${1:-}" = restart ]; then args=--restart status=3 answer=Yes pending=""; fi
    add_drive d
    local detection n
    detection="$(plant exe 'D:\game.exe')"
    [ -n "$detection" ] || { echo "e2e $name: cannot plant"; return 1; }
    rm -f "$prefix/drive_c/windows/wininit.ini"
    n=$(($(files_on_c out err) + 1))
    drive hold:'D:\game.exe' "console:$args"
    [ -e "$prefix/drive_d/game.exe" ] && echo "still on disk" >>"$work/transcript"
    if [ -n "$pending" ]; then
        if grep -qix 'NUL=D:\\GAME.EXE' <(tr -d '\r' <"$prefix/drive_c/windows/wininit.ini" 2>/dev/null); then
            echo "pending deletion" >>"$work/transcript"
        fi
        (cd "$test_dir" && /usr/lib/wine/wine64 reg query \
            'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations 2>/dev/null) |
            grep -qi 'D:\\game.exe' && echo "pending deletion" >>"$work/transcript"
    fi
    log_check
    expect <<EOT
holding D:\game.exe
line: D:\game.exe     $detection Unable to remove
line:  
$(stats "$n" 1 0)
status: Scanning completed
exit status $status
still on disk$pending
log: every line of the list
log: quarantine copies 1
log: registry backups 0
log: Restart question: answered $answer
EOT
}

scenario_console_held() { console_held; }
scenario_console_held_restart() { console_held restart; }

scenario_console_unreadable() {
    # unreachable_name's drive: a folder and a file that no narrow name reaches
    # (the seam's test hook) are named on stderr and make the scan incomplete;
    # the file beside them is removed as ever (1 + 4). A folder's Unix
    # permissions cannot stand for Windows refusing it here: the tests run
    # as root.
    export LC_ALL=C.UTF-8
    add_drive d
    local plain n
    plain="$(plant exe 'D:\plain.exe')"
    plant_named exe d 'игра' 'вирус.exe' >/dev/null &&
        plant exe 'D:\planted.tmp' >/dev/null && mv "$prefix/drive_d/planted.tmp" "$prefix/drive_d/文件.exe"
    [ -n "$plain" ] && [ -e "$prefix/drive_d/文件.exe" ] || { echo "e2e $name: cannot plant"; return 1; }
    n=$(($(files_on_c out err) + 1))
    export QX_TEST_NARROW_NAMES=ascii-no-short
    drive console:
    unset QX_TEST_NARROW_NAMES
    local why="its name cannot be spelled in the system's code page, and it has no short name"
    { grep -v '^stderr: ' "$work/transcript"; grep '^stderr: ' "$work/transcript" | sort; } >"$work/sorted"
    mv "$work/sorted" "$work/transcript"
    expect <<EOT
line: D:\plain.exe     $plain removed
line:  
$(stats "$n" 1 1)
status: Scanning completed
exit status 5
stderr: quellix-scan: D:\игра\: not scanned: $why
stderr: quellix-scan: D:\文件.exe: not scanned: $why
EOT
}

scenario_console_report_only() {
    # Every finding reported, nothing changed: the files, the Run values and
    # no records at all.
    plant_infected || return 1
    local n
    n=$(($(files_on_c out err) + 5))
    drive console:--report-only
    infected_left
    [ -e "$prefix/drive_c/Quellix" ] && echo "records made: C:\Quellix" >>"$work/transcript"
    expect <<EOT
$(infected_lines "$n" | sed -e 's/ removed$/ found/' -e 's/\(Total files removed\t\t:  \).*/\10/')
exit status 1
left on disk: game.exe
left on disk: pics.zip
left on disk: mail.zip
left on disk: docs.rar
left on disk: page.vbs
Run value left: GameHelper
Run value left: d3dupdate.exe
EOT
}

# console_worm [report-only]: worm_in_memory's running worm. The console
# ends it and removes its file as the window does, line for line; reported
# only, the program runs on and its file stays: the memory phase reports it
# as the window would (under the default name) and, the file being there
# still, the drive walk finds it once more.
console_worm() {
    if ! qx_i386_runs; then
        echo "skipped: e2e_$name needs a 32-bit program, and this kernel runs none"
        return 77
    fi
    add_drive d
    local detection n i
    detection="$(in_prefix 'C:\qxtest\qxplant.exe' worm 'C:\qxtest\qxworm.exe' 'D:\worm.exe' 2>/dev/null | tr -d '\r')"
    [ -n "$detection" ] || { echo "e2e $name: cannot make the worm"; return 1; }
    (cd "$test_dir" && wine 'D:\worm.exe' >/dev/null 2>&1 &)
    for ((i = 0; i < 100; ++i)); do
        grep -qaF 'D:\worm.exe' /proc/[0-9]*/cmdline 2>/dev/null && break
        sleep 0.1
    done
    n=$(($(files_on_c out err) + 1))
    if [ "${1:-}" = report-only ]; then
        drive console:--report-only
    else
        drive console:
    fi
    grep -qaF 'D:\worm.exe' /proc/[0-9]*/cmdline 2>/dev/null && echo "still running: D:\worm.exe" >>"$work/transcript"
    [ -e "$prefix/drive_d/worm.exe" ] && echo "still on disk: worm.exe" >>"$work/transcript"
    if [ "${1:-}" = report-only ]; then
        expect <<EOT
line: System Memory    W32/Bagle.Worm found
line: D:\worm.exe     W32/Bagle.Worm found
line: D:\worm.exe     $detection found
line:  
$(stats "$n" 2 0)
status: Scanning completed
exit status 1
still running: D:\worm.exe
still on disk: worm.exe
EOT
    else
        expect <<EOT
line: System Memory    W32/Bagle.Worm removed
line: D:\worm.exe     W32/Bagle.Worm removed
line:  
$(stats $((n - 1)) 1 1)
status: Scanning completed
exit status 1
EOT
    fi
}

scenario_console_worm() { console_worm; }
scenario_console_worm_report_only() { console_worm report-only; }

scenario_console_bad_arguments() {
    # Each refused before anything is scanned: no records appear.
    local args
    for args in --bogus -q /help extra --log-copy '--restart --report-only' --REPORT-ONLY; do
        drive "console:$args"
        sed -n -e '1{/^stderr: quellix-scan: /s/^stderr: quellix-scan: \(.*\)$/refused: \1/p}' \
            -e '/^exit status /p' "$work/transcript" >>"$work/seen"
    done
    [ -e "$prefix/drive_c/Quellix" ] && echo "records made: C:\Quellix" >>"$work/seen"
    cp "$work/seen" "$work/transcript"
    expect <<EOT
refused: unknown option --bogus
exit status 64
refused: unknown option -q
exit status 64
refused: unknown option /help
exit status 64
refused: unexpected argument extra
exit status 64
refused: --log-copy needs a PATH
exit status 64
refused: --restart and --report-only exclude each other
exit status 64
refused: unknown option --REPORT-ONLY
exit status 64
EOT
}

scenario_console_log_copy() {
    # --quiet: nothing on stdout. The copy goes to a second drive, after what
    # the file held, and is the log's one entry byte for byte.
    add_drive d
    add_drive e
    local detection n
    detection="$(plant exe 'D:\game.exe')"
    [ -n "$detection" ] || { echo "e2e $name: cannot plant"; return 1; }
    mkdir -p "$prefix/drive_e/logs"
    printf 'earlier entry\r\n' >"$prefix/drive_e/logs/pc01.log"
    drive console:'--quiet --log-copy E:\logs\pc01.log'
    local log="$prefix/drive_c/Quellix/Quellix.log" copy="$prefix/drive_e/logs/pc01.log"
    if cmp -s <(printf 'earlier entry\r\n'; cat "$log") "$copy"; then
        echo "copy: the earlier entry, then the log's entry" >>"$work/transcript"
    fi
    grep -c "^D:\\\\game.exe     $detection removed"$'\r'"\$" "$copy" | sed 's/^/copy: finding lines /' >>"$work/transcript"
    expect <<EOT
exit status 1
copy: the earlier entry, then the log's entry
copy: finding lines 1
EOT
}

scenario_console_ctrl_c() {
    # Ctrl-C mid-scan stops it at the next entry, as CANCEL does: the
    # statistics of what was reached and "Scanning terminated" follow (4).
    lengthen_scan
    drive console-ctrl-c:
    sed -i -E 's/(Total files scanned\t\t:  )[0-9]+$/\1N/' "$work/transcript"
    expect <<EOT
$(stats N 0 0)
status: Scanning terminated
exit status 4
EOT
}

scenario_console_two_runs() {
    # One scan per machine: while a console scan runs, a second console and
    # the window end at once; while the window is open, so does a console.
    lengthen_scan
    drive console-hold: console: second console-release start console: click:$IDC_CLOSE_X expect-ended
    sed -i -E '/^(line|status): /d' "$work/transcript"
    expect <<EOT
first console holds the lock
stderr: $SCAN_BUSY
exit status 16
second copy ended; main windows: 0
first console exit status 0
started
stderr: $SCAN_BUSY
exit status 16
ended
EOT
}

# Real pointer input (xdotool) on the virtual display.
script_drag() {
    xdotool mousemove 260 80 mousedown 1 sleep 0.4 mousemove 300 110 sleep 0.2 mousemove 360 180 \
        sleep 0.4 mouseup 1
    sleep 0.5
}
script_onto_download() { xdotool mousemove 420 60 mousemove 440 81; sleep 0.5; }
script_off_download() { xdotool mousemove 440 200 mousemove 445 210; sleep 0.5; }
# The pill ends of SCAN and DOWNLOAD: white, or amber when lit.
script_colours() {
    import -window root "$work/colours.png" 2>/dev/null
    echo "colours: SCAN $(pixel "$work/colours.png" 186 81) DOWNLOAD $(pixel "$work/colours.png" 494 81)" \
        >>"$work/transcript"
}

scenario_drag_and_hover() {
    # The window follows a drag on its background; a button lights up under
    # the pointer (taking the focus from SCAN) and goes dark when the pointer
    # leaves, though it keeps the focus.
    drive start where script:colours script:onto_download script:colours focus script:off_download \
        script:colours focus script:drag where click:$IDC_CLOSE_X expect-ended
    expect <<EOT
started
window at 0,0
colours: SCAN #FFB020 DOWNLOAD #FFFFFF
colours: SCAN #FFFFFF DOWNLOAD #FFB020
focus: $IDC_DOWNLOAD
colours: SCAN #FFFFFF DOWNLOAD #FFFFFF
focus: $IDC_DOWNLOAD
window at 100,100
ended
EOT
}

scenario_tab_moves_the_light() {
    # SCAN, the first tab stop, starts with the focus and lit; Tab hands both
    # to DOWNLOAD.
    drive start script:colours key:tab sleep:300 focus script:colours click:$IDC_CLOSE_X expect-ended
    expect <<EOT
started
colours: SCAN #FFB020 DOWNLOAD #FFFFFF
focus: $IDC_DOWNLOAD
colours: SCAN #FFFFFF DOWNLOAD #FFB020
ended
EOT
}

scenario_worm_in_memory() {
    # A running program whose file carries a signature: the memory phase ends
    # it and removes its file before any drive is walked.
    if ! qx_i386_runs; then
        echo "skipped: e2e_worm_in_memory needs a 32-bit program, and this kernel runs none"
        return 77
    fi
    add_drive d
    local detection
    detection="$(in_prefix 'C:\qxtest\qxplant.exe' worm 'C:\qxtest\qxworm.exe' 'D:\worm.exe' 2>/dev/null | tr -d '\r')"
    [ -n "$detection" ] || { echo "e2e $name: cannot make the worm"; return 1; }
    (cd "$test_dir" && wine 'D:\worm.exe' >/dev/null 2>&1 &)
    sleep 1
    local n
    n=$(files_on_c)
    drive start click:$IDC_SCAN wait-ok read click:$IDC_OK_BUTTON expect-ended
    [ -e "$prefix/drive_d/worm.exe" ] && echo "left on disk: worm.exe" >>"$work/transcript"
    expect <<EOT
started
ok shown
line: System Memory    W32/Bagle.Worm removed
line: D:\worm.exe     W32/Bagle.Worm removed
line:  
$(stats "$n" 1 1)
status: Scanning completed
ended
EOT
}

scenario_page_links() {
    # DOWNLOAD, the download link and the utilities link open the maker's
    # pages: Wine hands the address to its browser setting, here a script of
    # ours that only writes it down.
    cat >"$work/browser.sh" <<EOS
#!/bin/sh
echo "\$1" >>"$work/opened"
EOS
    chmod +x "$work/browser.sh"
    in_prefix reg add 'HKCU\Software\Wine\WineBrowser' /v Browsers /d "$work/browser.sh" /f >/dev/null 2>&1
    drive start click:$IDC_DOWNLOAD sleep:2000 click:$IDC_DLINK sleep:2000 click:$IDC_ULINK sleep:2000 \
        click:$IDC_CLOSE_X expect-ended
    sed 's/^/opened: /' "$work/opened" >>"$work/transcript" 2>/dev/null
    expect <<EOT
started
ended
opened: https://www.keldora.example/download/downloadnow.htm
opened: https://www.keldora.example/download/downloadnow.htm
opened: https://www.keldora.example/download/utility.htm
EOT
}

scenario_cancel_yes() {
    lengthen_scan
    drive start click:$IDC_SCAN sleep:300 shot:during click:$IDCANCEL wait-question shot:question \
        answer:yes wait-status:"Scanning terminated" state:$IDCANCEL,$IDC_OK_BUTTON read \
        click:$IDC_OK_BUTTON expect-ended
    # The statistics count what was reached before the stop: only their shape is fixed.
    sed -i -E 's/(Total files scanned\t\t:  )[0-9]+$/\1N/' "$work/transcript"
    expect <<EOT
started
$TERMINATE_QUESTION
control $IDCANCEL: hidden enabled
control $IDC_OK_BUTTON: visible enabled
$(stats N 0 0)
status: Scanning terminated
ended
EOT
}

scenario_cancel_at_once() {
    lengthen_scan
    # CANCEL straight after SCAN, before the scan's first tick: the scan waits
    # for the question, and Yes ends it before it has walked a file.
    drive start click:$IDC_SCAN click:$IDCANCEL answer:yes wait-status:"Scanning terminated" \
        state:$IDCANCEL,$IDC_OK_BUTTON read \
        click:$IDC_OK_BUTTON expect-ended
    expect <<EOT
started
$TERMINATE_QUESTION
control $IDCANCEL: hidden enabled
control $IDC_OK_BUTTON: visible enabled
$(stats 0 0 0)
status: Scanning terminated
ended
EOT
}

# start_waiting FOLDER NAME: a copy of the harmless waiting program as
# C:\FOLDER\NAME, running in the background.
start_waiting() {
    mkdir -p "$prefix/drive_c/$1"
    cp -f "$bin/qx_victim.exe" "$prefix/drive_c/$1/$2"
    (cd "$test_dir" && wine "C:\\$1\\$2" >/dev/null 2>&1 &)
    # Running before the scan starts (its command line names it), so that one
    # missing afterwards was ended, not late; a second at least, as before.
    sleep 1
    local i
    for ((i = 0; i < 90; ++i)); do
        grep -qaF "C:\\$1\\$2" /proc/[0-9]*/cmdline 2>/dev/null && return 0
        sleep 0.1
    done
    echo "e2e $name: C:\\$1\\$2 not seen running after 10 s; going on" >&2
}

# Infected files held open by another program, and harmless programs named
# like them running from another folder (C:\decoy): the files are handled as
# ever (each could not be removed, so a restart is to delete it) and the
# decoys run on. On the NT family the kill by name reads performance data,
# which under Wine lists no processes: there the decoy lives whatever the
# check; the 98 variant reaches the tool-help kill, where a running infected
# program is ended and a decoy started before it, met first by a search by
# name, is not.
decoy_scenario() {
    add_drive d
    local game worm="" steps=(hold:'D:\game.exe') lines
    game="$(plant exe 'D:\game.exe')"
    [ -n "$game" ] || { echo "e2e $name: cannot plant"; return 1; }
    start_waiting decoy game.exe
    lines="line: D:\game.exe     $game Unable to remove"
    if [ "${1:-}" = win98 ]; then
        in_prefix reg add 'HKCU\Software\Wine\AppDefaults\quellix.exe' /v Version /d win98 /f \
            >/dev/null 2>&1
        add_drive e
        start_waiting decoy worm.exe
        worm="$(in_prefix 'C:\qxtest\qxplant.exe' worm 'C:\qxtest\qx_victim.exe' 'E:\worm.exe' 2>/dev/null |
            tr -d '\r')"
        [ -n "$worm" ] || { echo "e2e $name: cannot make the worm"; return 1; }
        (cd "$test_dir" && wine 'E:\worm.exe' >/dev/null 2>&1 &)
        sleep 1
        steps+=(hold:'E:\worm.exe')
        lines+=$'\n'"line: E:\worm.exe     $worm Unable to remove"
    fi
    local n count=1
    [ -n "$worm" ] && count=2
    n=$(($(files_on_c) + count))
    drive "${steps[@]}" start click:$IDC_SCAN answer:no wait-ok read processes:game.exe \
        processes:worm.exe click:$IDC_OK_BUTTON expect-ended
    [ -e "$prefix/drive_d/game.exe" ] || echo "gone from disk: game.exe" >>"$work/transcript"
    [ -z "$worm" ] || [ -e "$prefix/drive_e/worm.exe" ] ||
        echo "gone from disk: worm.exe" >>"$work/transcript"
    local holding="holding D:\game.exe"
    [ -n "$worm" ] && holding+=$'\n'"holding E:\worm.exe"
    local decoys="process: C:\decoy\game.exe"
    [ -n "$worm" ] && decoys+=$'\n'"process: C:\decoy\worm.exe"
    expect <<EOT
$holding
started
question: Quellix Ver 7.0 | The system has to be restarted to remove the virus completely from your system. || Restart now? | YES NO
ok shown
$lines
line:  
$(stats "$n" "$count" 0)
status: Scanning completed
$decoys
ended
EOT
}

scenario_decoy_process() { decoy_scenario; }
scenario_decoy_process_98() { decoy_scenario win98; }

scenario_cancel_no() {
    lengthen_scan
    drive start click:$IDC_SCAN sleep:300 click:$IDCANCEL answer:no state:$IDCANCEL,$IDC_OK_BUTTON \
        wait-ok read click:$IDC_OK_BUTTON expect-ended
    local n
    n="$(files_on_c)"
    expect <<EOT
started
$TERMINATE_QUESTION
control $IDCANCEL: visible enabled
control $IDC_OK_BUTTON: hidden enabled
ok shown
$(stats "$n" 0 0)
status: Scanning completed
ended
EOT
}

scenario_escape_no() {
    lengthen_scan
    # No to the question that Escape asks during the scan: the scan goes on
    # to its end and the key goes no further; after the scan Escape closes
    # the window without a question.
    drive start click:$IDC_SCAN sleep:300 key:esc answer:no wait-status:"Scanning completed" read \
        sleep:500 key:esc expect-ended
    local n
    n="$(files_on_c)"
    expect <<EOT
started
$TERMINATE_QUESTION
$(stats "$n" 0 0)
status: Scanning completed
ended
EOT
}

scenario_escape_yes() {
    lengthen_scan
    # The scan's own pump answers Escape: the status line reads "terminated"
    # when the scan returns, and OK comes up just after it.
    drive start click:$IDC_SCAN sleep:300 key:esc answer:yes wait-status:"Scanning terminated" wait-ok \
        state:$IDCANCEL,$IDC_OK_BUTTON sleep:500 key:esc expect-ended
    expect <<EOT
started
$TERMINATE_QUESTION
ok shown
control $IDCANCEL: hidden enabled
control $IDC_OK_BUTTON: visible enabled
ended
EOT
}

scenario_x_button() {
    lengthen_scan
    drive start click:$IDC_SCAN sleep:300 click:$IDC_CLOSE_X answer:no click:$IDC_CLOSE_X answer:yes \
        wait-status:"Scanning terminated" click:$IDC_OK_BUTTON expect-ended
    expect <<EOT
started
question: DialogBoxTitle | Terminate the Scan now? | YES NO
question: DialogBoxTitle | Terminate the Scan now? | YES NO
ended
EOT
}

scenario_close_before_scan() {
    # Escape and X close the window without a question while no scan runs.
    drive start key:esc expect-ended start click:$IDC_CLOSE_X expect-ended
    expect <<EOT
started
ended
started
ended
EOT
}

scenario_second_copy() {
    drive start second expect-running click:$IDC_CLOSE_X expect-ended
    expect <<EOT
started
second copy ended; main windows: 1
running
ended
EOT
}

scenario_enter_does_nothing() {
    drive start key:enter sleep:500 expect-running state:$IDC_SCAN click:$IDC_SCAN wait-ok key:enter sleep:500 \
        expect-running state:$IDC_OK_BUTTON click:$IDC_OK_BUTTON expect-ended
    expect <<EOT
started
running
control $IDC_SCAN: visible enabled
ok shown
running
control $IDC_OK_BUTTON: visible enabled
ended
EOT
}

suite_controls="$IDC_DOWNLOAD,$IDC_DLINK,$IDC_SUITE_SENTENCE"
scenario_suite_present() {
    # The suite is a 32-bit program: its key is in the 32-bit view.
    reg64 add 'HKLM\Software\Wow6432Node\Keldora\Stavelor 2000' /v 'Installed Folder' \
        /d 'C:\Program Files\Stavelor'
    drive start state:$suite_controls shot:suite click:$IDC_CLOSE_X expect-ended
    expect <<EOT
started
control $IDC_DOWNLOAD: visible disabled
control $IDC_DLINK: hidden disabled
control $IDC_SUITE_SENTENCE: visible enabled
ended
EOT
}

scenario_suite_absent() {
    drive start state:$suite_controls click:$IDC_CLOSE_X expect-ended
    expect <<EOT
started
control $IDC_DOWNLOAD: visible enabled
control $IDC_DLINK: visible enabled
control $IDC_SUITE_SENTENCE: hidden enabled
ended
EOT
}

scenario_message_styles() {
    # Style 0: the centred OK alone; Escape gives 2. Style 0x41: OK and
    # Cancel; Cancel gives 2, OK 1. Style 0x24: Enter (IDOK) gives 1.
    local text='Quellix has finished its work.'
    drive messages:0 answer:ok expect-exit:1 messages:0 answer:esc expect-exit:2 \
        messages:0x41 wait-question shot:message answer:cancel expect-exit:2 messages:0x41 answer:ok expect-exit:1 \
        messages:0x24 answer:esc expect-exit:7 messages:0x24 answer:enter expect-exit:1
    expect <<EOT
started qxmessages 0
question: Quellix Ver 7.0 | $text | OK
exit code 1
started qxmessages 0
question: Quellix Ver 7.0 | $text | OK
exit code 2
started qxmessages 0x41
question: Quellix Ver 7.0 | $text | OK Cancel
exit code 2
started qxmessages 0x41
question: Quellix Ver 7.0 | $text | OK Cancel
exit code 1
started qxmessages 0x24
question: Quellix Ver 7.0 | $text | YES NO
exit code 7
started qxmessages 0x24
question: Quellix Ver 7.0 | $text | YES NO
exit code 1
EOT
}

# size_text BYTES: the restore window's size column: bytes below 1 KB, whole
# KB (rounded up) below 10 MB, then whole MB (rounded up).
size_text() {
    if [ "$1" -lt 1024 ]; then
        echo "$1 bytes"
    elif [ "$1" -lt $((10 * 1024 * 1024)) ]; then
        echo "$((($1 + 1023) / 1024)) KB"
    else
        echo "$((($1 + 1048575) / 1048576)) MB"
    fi
}

# The restore window over the quarantine the console scanner filled from the
# infected drive (D: to H:, one item each, in that order): the list, restore
# to the original path, the refusal to overwrite a file there since, restore
# into another folder, delete after No and after Yes, the list read again.
scenario_restore_window() {
    plant_infected || return 1
    local i sizes=()
    for i in 0 1 2 3 4; do
        cp "$prefix/drive_${INFECTED_LETTERS[$i]}/${INFECTED_FILES[$i]}" "$work/original-$i"
        sizes[$i]="$(size_text "$(stat -c %s "$work/original-$i")")"
    done
    # Before the scan: nothing to list, and Restore says so.
    drive restore-window items click:$IDC_RESTORE_ORIGINAL answer:ok click:$IDCANCEL expect-ended
    cp "$work/transcript" "$work/transcript-empty"
    drive console:
    if ! grep -q '^exit status 1$' "$work/transcript"; then
        echo "e2e $name: the console scanner did not quarantine the samples:"
        cat "$work/transcript"
        return 1
    fi
    # Since the scan: the user's own file where pics.zip was, a folder to
    # restore into, and a file in the quarantine that is no item.
    printf "the user's own file\n" >"$prefix/drive_e/pics.zip"
    printf 'not an item' >"$prefix/drive_c/Quellix/Quarantine/20261210-000000-01.qrn"
    mkdir -p "$prefix/drive_c/saved"
    drive restore-window items shot:restore-list \
        select:0 click:$IDC_RESTORE_ORIGINAL answer:ok \
        select:1 click:$IDC_RESTORE_ORIGINAL answer:ok \
        select:1 click:$IDC_RESTORE_TO 'folder:C:\saved' answer:ok \
        select:1 click:$IDC_RESTORE_TO 'folder:C:\Quellix' answer:ok \
        select:2 click:$IDC_RESTORE_DELETE answer:no \
        select:2 click:$IDC_RESTORE_DELETE answer:yes answer:ok items \
        click:$IDCANCEL expect-ended
    # The quarantine's IDs and dates are the scan's own time.
    sed -i -E 's/[0-9]{8}-[0-9]{6}-[0-9]{2,4}/<id>/g; s/[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}/<date>/g' \
        "$work/transcript"
    # What is on disk after the clicks: the files, byte for byte.
    local place original
    for place in "drive_d/game.exe 0" "drive_c/saved/pics.zip 1"; do
        original="$work/original-${place#* }"
        if cmp -s "$original" "$prefix/${place% *}"; then
            echo "${place% *}: the original bytes" >>"$work/transcript"
        else
            echo "${place% *}: not the original bytes" >>"$work/transcript"
        fi
    done
    echo "drive_e/pics.zip: $(cat "$prefix/drive_e/pics.zip")" >>"$work/transcript"
    [ -e "$prefix/drive_c/Quellix/pics.zip" ] && echo "written into the records" >>"$work/transcript"
    cat "$work/transcript-empty" "$work/transcript" >"$work/transcript-all"
    mv "$work/transcript-all" "$work/transcript"
    local title='Quellix Ver 7.0 - Restore' row
    row() { echo "item: <date> | ${INFECTED_NAMES[$1]} | ${sizes[$1]} | ${INFECTED_LETTERS[$1]^^}:\\${INFECTED_FILES[$1]}"; }
    expect <<EOT
restore window
notice: The quarantine is empty.
question: $title | Choose an item in the list first. | OK
ended
restore window
$(row 0)
$(row 1)
$(row 2)
$(row 3)
$(row 4)
notice: 5 items in the quarantine. <id> is no quarantine item.
question: $title | restored <id> to D:\\game.exe | OK
question: $title | E:\\pics.zip exists and is not overwritten; choose another place with Restore to... | OK
folder question: Restore to | Folder to restore E:\\pics.zip into:
question: $title | restored <id> to C:\\saved\\pics.zip | OK
folder question: Restore to | Folder to restore E:\\pics.zip into:
question: $title | C:\\Quellix\\pics.zip is refused (it lies in the records folder) | OK
question: $title | Delete F:\\mail.zip (${INFECTED_NAMES[2]}) from the quarantine? It cannot be restored afterwards. | YES NO
question: $title | Delete F:\\mail.zip (${INFECTED_NAMES[2]}) from the quarantine? It cannot be restored afterwards. | YES NO
question: $title | deleted <id> | OK
$(row 0)
$(row 1)
$(row 3)
$(row 4)
notice: 4 items in the quarantine. <id> is no quarantine item.
ended
drive_d/game.exe: the original bytes
drive_c/saved/pics.zip: the original bytes
drive_e/pics.zip: the user's own file
EOT
}

scenario_message_growth() {
    # The dialog grows with the text length L: 10 + 10 x (L / 30) = H, W =
    # 1.25 H, D = H - W / 4. From 29 to 59 characters: 25-12 wider, 14-7
    # taller; 59 to 60: 37-25, 21-14; 60 to 89: nothing; 89 to 90: 50-37, 28-21.
    drive messages:0:29 answer:ok messages:0:59 answer:ok messages:0:60 answer:ok \
        messages:0:89 answer:ok messages:0:90 answer:ok
    local sizes
    mapfile -t sizes <"$work/sizes"
    : >"$work/transcript"
    local i w h pw ph
    for i in 1 2 3 4; do
        IFS=x read -r pw ph <<<"${sizes[$((i - 1))]}"
        IFS=x read -r w h <<<"${sizes[$i]}"
        echo "growth: $((w - pw)) x $((h - ph))" >>"$work/transcript"
    done
    expect <<EOT
growth: 13 x 7
growth: 12 x 7
growth: 0 x 0
growth: 13 x 7
EOT
}

"scenario_$name"
