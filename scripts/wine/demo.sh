#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR
# A real print session with the monitor in Wine's print spooler:
# builds the DLLs and the release bundle, makes a Wine prefix under build/,
# installs the monitor with norvinst from the unpacked bundle, lists the
# spooler's ports, adds a port through the shell's folder browser and one with
# norvinst add-port, tries to add the first again, configures it, prints a
# document to NORV from a 64-bit and a 32-bit program and a text file from
# notepad and deletes the port. Then it switches to the modern pair (the ports
# stay), adds the port through the UI DLL's AddPortUI, is refused the same
# folder again, deletes the port, does both again for a German user (the
# boxes in German), adds and removes ports with norvinst (no dialog) and
# uninstalls. Every dialog is answered as a user would and
# photographed (Xvfb, import) into build/wine/demo/screenshots/.
# Where this machine runs no 32-bit programs (or NORV_WINE_ARCHES=x64) the
# session is the 64-bit one alone.
#
# Usage: scripts/wine/demo.sh [--no-build]
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD_ROOT="${NORV_BUILD_ROOT:-$ROOT/build}"
DEMO="$BUILD_ROOT/wine/demo"
SHOTS="$DEMO/screenshots"

build=1
for arg in "$@"; do
    case "$arg" in
        --no-build) build=0 ;;
        -h|--help) sed -n '3,17p' "${BASH_SOURCE[0]}"; exit 0 ;;
        *) echo "demo.sh: unknown option $arg" >&2; exit 2 ;;
    esac
done

bash "$ROOT/scripts/wine/setup.sh" >/dev/null || exit 1

echo "Step 1: building norvmon.dll, norvmon2.dll, norvmonui.dll, norvinst.exe and norvspool.exe for x86 and x64"
if [ "$build" -eq 1 ]; then
    for arch in x86 x64; do
        (cd "$ROOT" && cmake --preset "windows-$arch" >/dev/null &&
            cmake --build --preset "windows-$arch" -j "$(nproc)" \
                --target norvmon norvmon2 norvmonui norvinst norvspool >"$BUILD_ROOT/demo-build-$arch.log" 2>&1) || {
            echo "  the windows-$arch build failed; see $BUILD_ROOT/demo-build-$arch.log" >&2
            exit 1
        }
    done
    # The release bundle carries the ARM64 files too; no session here runs them.
    (cd "$ROOT" && bash scripts/install-deps.sh arm64 && cmake --preset windows-arm64 >/dev/null &&
        cmake --build --preset windows-arm64 -j "$(nproc)" \
            --target norvmon norvmon2 norvmonui norvinst >"$BUILD_ROOT/demo-build-arm64.log" 2>&1) || {
        echo "  the windows-arm64 build failed; see $BUILD_ROOT/demo-build-arm64.log" >&2
        exit 1
    }
fi
for arch in x86 x64; do
    for file in norvmon.dll norvmon2.dll norvmonui.dll norvinst.exe norvspool.exe; do
        [ -f "$BUILD_ROOT/windows-$arch/$file" ] || { echo "  missing $BUILD_ROOT/windows-$arch/$file" >&2; exit 1; }
    done
    echo "  $BUILD_ROOT/windows-$arch/norvmon.dll, norvmon2.dll, norvmonui.dll"
done
# The monitor and norvinst come from the unpacked release bundle, so every run
# proves it; norvspool, the demo's own client, is put beside them.
bash "$ROOT/scripts/bundle.sh" --no-build | grep '^bundle:' | sed 's/^/  /'
# shellcheck disable=SC2012 # the newest bundle by time, which find cannot sort by; the names are the build's own
rm -rf "$DEMO/bundle" && mkdir -p "$DEMO/bundle" && unzip -q "$(ls -t "$BUILD_ROOT"/norvmon-*-windows.zip | head -n1)" -d "$DEMO/bundle"
for arch in x86 x64; do cp "$BUILD_ROOT/windows-$arch/norvspool.exe" "$DEMO/bundle/$arch/"; done

echo "Step 2: making a fresh Wine prefix in $DEMO/prefix"
# shellcheck source=prefix.sh
. "$ROOT/scripts/wine/prefix.sh"
rm -rf "$DEMO/output"
if [ -d "$DEMO/prefix" ]; then
    WINEPREFIX="$DEMO/prefix" wineserver -k 2>/dev/null || true
    rm -rf "$DEMO/prefix"
fi
rm -rf "$SHOTS"
mkdir -p "$SHOTS"
wine_prefix_init "$DEMO/prefix" || exit 1
trap wine_server_stop EXIT
wine_server_stop   # the desktop must be made under the display below
echo "  done"
if [ -n "$WINE_X86_LEFT_OUT" ]; then
    echo "The x86 session is left out, the x64 one runs whole: $WINE_X86_LEFT_OUT."
fi

printf 'Dear reader,\r\nthis letter was printed by notepad through the NORV port monitor.\r\nKind regards\r\n' \
    >"$DEMO/letter.txt"
export ROOT BUILD_ROOT DEMO SHOTS
status=0
# shellcheck disable=SC2016 # the inner bash expands this script's variables, not this shell
timeout "${NORV_DEMO_TIMEOUT:-900}" xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
set -uo pipefail
. "$ROOT/scripts/wine/prefix.sh"
. "$ROOT/scripts/wine/german.sh"
wine_server_start

# Takes the screenshots that norvspool asks for: for NAME.request it saves
# the dialog (found by its caption) as NAME.png and answers with NAME.done.
watch_screenshots() {
    while :; do
        for request in "$SHOTS"/*.request; do
            [ -e "$request" ] || continue
            name="${request%.request}"
            caption="$(head -n1 "$request" | tr -d "\r")"
            id="$(xwininfo -root -tree 2>/dev/null | grep -F "\"$caption\"" | head -n1 | awk "{print \$1}")"
            if [ -n "$id" ]; then
                import -window "$id" "$name.png" 2>/dev/null || import -window root "$name.png" 2>/dev/null
            else
                import -window root "$name.png" 2>/dev/null
            fi
            rm -f "$request"
            : >"$name.done"
        done
        sleep 0.1
    done
}
watch_screenshots &
watcher=$!

SHOTS_WIN="$(wine_path "$SHOTS")"
X64="$DEMO/bundle/x64"
X86="$DEMO/bundle/x86"
PORT_FOLDER="C:\\Scans"
PORT="C:\\Scans\\"
failed=0

# Wine programs are run with their output in a file: the Wine services
# started by the first program, would keep a pipe open.
# Each program gets a file of its own (those services may still write).
mkdir -p "$DEMO/output"
count=0
run() {  # [want=CODE] run DESCRIPTION EXE ARGS...: prints the output indented
    local rc
    count=$((count + 1))
    OUT="$DEMO/output/$count.txt"
    "${@:2}" >"$OUT" 2>&1
    rc=$?
    tr -d "\r" <"$OUT" | grep -v -e "^wine: Read access denied" -e ":fixme:" | sed "s/^/  /"
    if [ "$rc" -ne "${want:-0}" ]; then
        echo "  -> $1 failed (exit code $rc)"
        failed=1
    fi
    return 0
}

x86() { [[ " $WINE_ARCHES " == *" x86 "* ]]; }

# print_from_notepad FILE: notepad /p prints FILE to the default printer.
# Wine'"'"'s notepad still shows its Print dialog and stays open afterwards:
# the dialog is answered, and notepad closed once the job has left the queue
# (localspl'"'"'s trace tells when the port is done with it).
print_from_notepad() {
    local log="$DEMO/output/notepad.log" pid id i port bytes writes
    WINEDEBUG=trace+localspl wine notepad.exe /p "$(wine_path "$1")" >"$log" 2>&1 &
    pid=$!
    for i in $(seq 120); do
        id="$(xdotool search --name "^Print\$" 2>/dev/null | head -n1)"
        [ -n "$id" ] && break
        sleep 0.5
    done
    if [ -z "$id" ]; then
        echo "  -> notepad showed no Print dialog"; failed=1; kill "$pid" 2>/dev/null; return
    fi
    echo "  notepad'"'"'s Print dialog: OK"
    xdotool windowfocus --sync "$id" 2>/dev/null; xdotool key Return
    for i in $(seq 120); do
        grep -q "fpScheduleJob need to schedule job" "$log" &&
            grep -q "monitor_unload .*NORV Monitor" "$log" && break
        sleep 0.5
    done
    port="$(sed -n "/fpOpenPrinter (L.NORV, Port/,/fpOpenPrinter ==>/s/.*fpOpenPrinter ==> //p" "$log" | head -n1)"
    writes="$(grep -c "fpWritePrinter (${port:-none}," "$log")"
    bytes="$(grep "fpWritePrinter (${port:-none}," "$log" | awk -F", " "{s += \$3} END {print s + 0}")"
    job="$(sed -n "s/.*fpScheduleJob need to schedule job \([0-9]*\) filename.*/\1/p" "$log" | head -n1)"
    if [ -n "$job" ] && grep -q "fpEndDocPrinter ${port:-none}" "$log" && grep -q "monitor_unload .*NORV Monitor" "$log"; then
        echo "  notepad printed $(basename "$1") through NORV: job $job, $writes writes to the port," \
            "$bytes bytes of PostScript; the job has left the queue"
    else
        echo "  -> notepad'"'"'s job did not reach the end of the port (log: $log)"; failed=1
    fi
    id="$(xdotool search --name " - Notepad\$" 2>/dev/null | head -n1)"
    [ -n "$id" ] && { xdotool windowfocus --sync "$id" 2>/dev/null; xdotool key alt+F4; }
    for i in $(seq 20); do kill -0 "$pid" 2>/dev/null || break; sleep 0.5; done
    if kill -0 "$pid" 2>/dev/null; then kill "$pid" 2>/dev/null; else echo "  notepad closed"; fi
    wait "$pid" 2>/dev/null
}

# install_form FORM HEADING: norvinst install --FORM with the x64 build. A
# 64-bit Windows adds monitors of its own architecture only: the x86 build
# refuses (exit code 9), and the x64 install puts the x86 norvmonui.dll in
# SysWOW64 for the 32-bit session.
install_form() {
    if x86; then echo "$2 (64-bit; the 32-bit norvinst refuses)"; else echo "$2 (64-bit)"; fi
    run "norvinst install --$1 (x64)" wine "$X64/norvinst.exe" install "--$1"
    x86 && want=9 run "norvinst install --$1 (x86) refused" wine "$X86/norvinst.exe" install "--$1"
    # Windows'"'"' spooler is one 64-bit service; Wine'"'"'s runs inside each
    # program, so its 32-bit programs (notepad here) load the 32-bit monitor.
    if x86; then
        if [ "$1" = legacy ]; then dll=norvmon.dll; else dll=norvmon2.dll; fi
        cp "$X86/$dll" "$WINEPREFIX/drive_c/windows/syswow64/" && echo "  (Wine only: x86/$dll copied to SysWOW64)"
    fi
}

install_form legacy "Step 3: installing the monitor with norvinst"
run "norvinst status" wine "$X64/norvinst.exe" status

echo "Step 4: the ports the spooler lists (EnumPortsW through norvinst ports)"
run "norvinst ports" wine "$X64/norvinst.exe" ports

echo "Step 5: adding the port $PORT through the folder browser"
run "add port" wine "$X64/norvspool.exe" --shots "$SHOTS_WIN" 1-add-port- addport "$PORT_FOLDER"
echo "  and C:\\Out\\Scans\\ with norvinst add-port, no dialog"
mkdir -p "$WINEPREFIX/drive_c/Out/Scans"
run "norvinst add-port" wine "$X64/norvinst.exe" add-port "C:\\Out\\Scans"
run "norvinst status" wine "$X64/norvinst.exe" status

echo "Step 6: adding the same folder again (refused)"
run "add port again" wine "$X64/norvspool.exe" --shots "$SHOTS_WIN" 2-add-again- addport "$PORT_FOLDER"

echo "Step 7: configuring the port"
run "configure port" wine "$X64/norvspool.exe" --shots "$SHOTS_WIN" 3-configure- configure "$PORT"

if x86; then
    echo "Step 8: printing a document to NORV (from a 64-bit and a 32-bit program)"
else
    echo "Step 8: printing a document to NORV (from a 64-bit program)"
fi
run "print (x64)" wine "$X64/norvspool.exe" print NORV "Quarterly Report.doc"
x86 && run "print (x86)" wine "$X86/norvspool.exe" print NORV "Invoice 2041.txt"

echo "Step 9: printing a text file to NORV from notepad"
run "default printer" wine "$X64/norvspool.exe" printer NORV
print_from_notepad "$DEMO/letter.txt"
run "remove printer" wine "$X64/norvspool.exe" removeprinter

echo "Step 10: deleting the port $PORT"
run "delete port" wine "$X64/norvspool.exe" --shots "$SHOTS_WIN" 4-delete- deleteport "$PORT"
run "norvinst status" wine "$X64/norvinst.exe" status

# The modern pair: its UI DLL runs in norvspool'"'"'s process and shows its dialogs
# only to an owner window, hence --window.
install_form modern "Step 11: switching to the modern pair with norvinst install --modern"
echo "  the port C:\\Out\\Scans\\ added under the legacy DLL is still listed:"
run "norvinst status" wine "$X64/norvinst.exe" status

echo "Step 12: adding the port $PORT through AddPortUI and the folder browser (64-bit program)"
run "modern add port" wine "$X64/norvspool.exe" --shots "$SHOTS_WIN" 5-modern-add-port- --window addport "$PORT_FOLDER"

if x86; then
    echo "Step 13: adding the same folder again from a 32-bit program (refused)"
    want=2 run "modern add port again (x86)" wine "$X86/norvspool.exe" --shots "$SHOTS_WIN" 6-modern-add-again- \
        --window addport "$PORT_FOLDER"
else
    echo "Step 13: adding the same folder again (refused)"
    want=2 run "modern add port again" wine "$X64/norvspool.exe" --shots "$SHOTS_WIN" 6-modern-add-again- \
        --window addport "$PORT_FOLDER"
fi
# The UI DLL answers a taken folder with its box, and AddPortW fails with
# ERROR_ALREADY_EXISTS.
grep -q "\"Port already exists\"" "$OUT" && grep -q "failed with error 183" "$OUT" ||
    { echo "  -> the folder was not refused with the \"Port already exists\" box"; failed=1; }

echo "Step 14: deleting the port $PORT through DeletePortUI"
run "modern delete port" wine "$X64/norvspool.exe" --shots "$SHOTS_WIN" 7-modern-delete- --window deleteport "$PORT"

echo "Step 15: the same for a German user (LANG=de_DE.UTF-8): AddPortUI and DeletePortUI in German"
if wine_german_locale "$DEMO/locale"; then
    run "modern add port (German)" "${wine_german_env[@]}" wine "$X64/norvspool.exe" --shots "$SHOTS_WIN" \
        8-modern-german-add-port- --window addport "$PORT_FOLDER"
    run "modern delete port (German)" "${wine_german_env[@]}" wine "$X64/norvspool.exe" --shots "$SHOTS_WIN" \
        9-modern-german-delete- --window deleteport "$PORT"
    grep -q "\"Anschluss entfernt\"" "$OUT" ||
        { echo "  -> the port was not removed with the German \"Anschluss entfernt\" box"; failed=1; }
else
    failed=1
fi

echo "Step 16: adding C:\\Out\\Letters\\ and removing it and C:\\Out\\Scans\\ with norvinst, no dialog"
mkdir -p "$WINEPREFIX/drive_c/Out/Letters"
# A dialog would wait for an answer nobody gives: the timeout makes it a failure.
run "norvinst add-port" timeout 60 wine "$X64/norvinst.exe" add-port "C:\\Out\\Letters"
run "norvinst status" wine "$X64/norvinst.exe" status
run "norvinst remove-port" timeout 60 wine "$X64/norvinst.exe" remove-port "C:\\Out\\Letters\\" "C:\\Out\\Scans\\"
run "norvinst status" wine "$X64/norvinst.exe" status

echo "Step 17: uninstalling the monitor with norvinst"
run "norvinst uninstall (x64)" wine "$X64/norvinst.exe" uninstall
x86 && want=4 run "norvinst status (x86): the native system directory is empty" wine "$X86/norvinst.exe" status
OUT="$DEMO/output/final-status.txt"
wine "$X64/norvinst.exe" status >"$OUT" 2>&1
rc=$?
tr -d "\r" <"$OUT" | sed "s/^/  /"
[ "$rc" -eq 4 ] || { echo "  -> the monitor is still installed"; failed=1; }

kill "$watcher" 2>/dev/null
wait "$watcher" 2>/dev/null
wine_server_stop
exit "$failed"
' || status=$?
[ "$status" -eq 124 ] && echo "The session ran past ${NORV_DEMO_TIMEOUT:-900} s and was stopped; on a slow machine set NORV_DEMO_TIMEOUT to more seconds."
rm -f "$SHOTS"/*.done "$SHOTS"/*.request
echo
echo "Screenshots of the dialogs, in $SHOTS:"
for shot in "$SHOTS"/*.png; do
    [ -e "$shot" ] && echo "  $(basename "$shot")"
done
if [ "$status" -eq 0 ]; then
    echo "The session completed ($WINE_ARCHES): installed, listed, added, refused, configured, printed" \
        "(raw and from notepad), deleted; then the modern pair: switched keeping the ports, added through" \
        "AddPortUI, refused, deleted, the same in German, added and removed with norvinst; uninstalled."
else
    echo "The session did not complete; see the lines marked -> above."
fi
exit "$status"
