#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR
# Runs inside the arm64 root: a fresh prefix, then the checks. $1 is the run
# folder (binaries in bin/); the exit status is the checks'.
run="$1"
export WINEPREFIX="$run/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
start=$SECONDS
if ! timeout "${NORV_WINEBOOT_TIMEOUT:-300}" wineboot -i >"$run/wineboot.log" 2>&1 ||
    ! timeout "${NORV_WINEBOOT_TIMEOUT:-300}" wineserver -w; then
    echo "arm64: wineboot failed or ran past its time (see $run/wineboot.log)"
    exit 1
fi
echo "arm64: wineboot took $((SECONDS - start)) s"
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
cd "$run/bin" && timeout "${NORV_WINE_SUITE_TIMEOUT:-600}" wine ./norv_arm64_checks.exe
rc=$?
wineserver -k 2>/dev/null
exit $rc
