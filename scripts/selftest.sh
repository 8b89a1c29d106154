#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR
# Self-test of scripts/machine.sh: the 32-bit probe's three answers, the
# NORV_WINE_ARCHES setting, and the messages for a busy apt lock, for a
# mirror in mid-sync and for a user who cannot become root; and of the Debian
# roots: x86 left out with setup's reason, a mirror failure while making a
# root, and a Wine 10 run that fails beside an earlier run's passing log. apt-get and sudo are stand-ins on PATH here;
# nothing is installed.
# Then scripts/release_selftest.sh, of the release tools.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
failures=0

# expect NAME WANT_RC PATTERN COMMAND...: runs COMMAND (bash code, with
# machine.sh sourced) and checks its exit code and that its output has PATTERN.
expect() {
    local name=$1 want=$2 pattern=$3 out rc
    out="$(cd "$work" && timeout 60 bash -c ". '$ROOT/scripts/machine.sh'; $4" 2>&1 </dev/null)"
    rc=$?
    if [ "$rc" -ne "$want" ] || ! grep -qE -- "$pattern" <<<"$out"; then
        echo "selftest: $name: exit $rc (wanted $want), output:"
        echo "    ${out//$'\n'/$'\n'    }"
        failures=$((failures + 1))
    else
        echo "selftest: $name: ok"
    fi
}
# shellcheck disable=SC2016 # expanded by the shell expect() starts, after machine.sh is sourced
arches='machine_wine_arches; rc=$?; echo "arches=[$MACHINE_WINE_ARCHES] reason=[$MACHINE_X86_LEFT_OUT]"; exit $rc'

# The probe, as on this machine and as on kernels that refuse some programs.
if NORV_WINE_ARCHES='' bash -c ". '$ROOT/scripts/machine.sh'; machine_runs_32bit"; then
    expect "probe: 32-bit programs run" 0 'arches=\[x86 x64\] reason=\[\]$' "NORV_WINE_ARCHES=; $arches"
else
    expect "probe: no 32-bit programs" 0 'arches=\[x64\] reason=\[this machine does not run 32-bit' "NORV_WINE_ARCHES=; $arches"
fi
expect "probe: i386 exec refused" 0 'arches=\[x64\] reason=\[this machine does not run 32-bit programs \(an i386 program: Exec format error\)\]' \
    "NORV_WINE_ARCHES= NORV_PROBE_SIMULATE=no-ia32; $arches"
expect "probe: no program runs at all" 2 'no directory here lets programs run' \
    "NORV_WINE_ARCHES= NORV_PROBE_SIMULATE=noexec; $arches"
expect "NORV_WINE_ARCHES=x64" 0 'arches=\[x64\] reason=\[NORV_WINE_ARCHES=x64 asks for 64-bit Wine only\]' \
    "NORV_WINE_ARCHES=x64 NORV_PROBE_SIMULATE=noexec; $arches"
expect "NORV_WINE_ARCHES=\"x86 x64\"" 0 'arches=\[x86 x64\] reason=\[\]' \
    "NORV_WINE_ARCHES='x86 x64' NORV_PROBE_SIMULATE=no-ia32; $arches"
expect "NORV_WINE_ARCHES=x86 refused" 2 "NORV_WINE_ARCHES is 'x86'; use x64" "NORV_WINE_ARCHES=x86; $arches"

expect "NORV_WINE10=0" 77 '^NORV_WINE10=0 leaves it out$' "NORV_WINE10=0 exec bash '$ROOT/scripts/wine/wine10_test.sh' --probe"

# apt held by another install: a bounded wait, then a failure that says so.
mkdir -p "$work/busy"
cat >"$work/busy/apt-get" <<'STUB'
#!/bin/sh
echo "E: Could not get lock /var/lib/dpkg/lock-frontend. It is held by process 4242 (apt-get)" >&2
exit 100
STUB
cat >"$work/busy/sudo" <<'STUB'
#!/bin/sh
[ "$1" = -n ] && exit 0
exec "$@"
STUB
chmod +x "$work/busy/apt-get" "$work/busy/sudo"
expect "apt lock busy" 1 'apt is busy: another package manager has held its lock for 0 s \(held by process 4242 \(apt-get\)\)' \
    "PATH='$work/busy':\$PATH NORV_APT_LOCK_WAIT=0; machine_apt install norv-absent"
cat >"$work/busy/apt-get" <<'STUB'
#!/bin/sh
echo "E: Unable to locate package norv-absent" >&2
exit 100
STUB
expect "apt other failure" 1 'Unable to locate package norv-absent' \
    "PATH='$work/busy':\$PATH; machine_apt install norv-absent"

# A mirror in mid-sync: the update is tried again, then the old lists serve.
cat >"$work/busy/apt-get" <<'STUB'
#!/bin/sh
case " $* " in *" update "*)
    echo "E: Failed to fetch http://deb.example/Packages.xz  File has unexpected size (1 != 2). Mirror sync in progress? [IP: 192.0.2.1 80]" >&2
    exit 100 ;;
esac
STUB
expect "apt update in mid-sync" 0 'apt-get update failed 2 times \(Failed to fetch .* Mirror sync in progress\?\); going on with the package lists' \
    "PATH='$work/busy':\$PATH NORV_APT_UPDATE_TRIES=2 NORV_APT_UPDATE_PAUSE=0; machine_install norv-absent"

# Neither wine32:i386 nor an i386 root: x86 is left out with setup's reason.
if ! bash -c ". '$ROOT/scripts/machine.sh'; machine_installed wine32:i386"; then
    mkdir -p "$work/b" && echo "wine32:i386 cannot be installed (planted)" >"$work/b/wine-x86-left-out"
    expect "x86 left out, with setup's reason" 0 'runs=\[x64\] reason=\[wine32:i386 cannot be installed \(planted\)\]' \
        "NORV_WINE_ARCHES='x86 x64' NORV_CACHE='$work/cache' NORV_BUILD_ROOT='$work/b'; . '$ROOT/scripts/wine/loader.sh'; wine_runs; echo \"runs=[\$WINE_RUNS] reason=[\$MACHINE_X86_LEFT_OUT]\""
fi

if bash -c ". '$ROOT/scripts/wine/root_probe.sh'; root_can_make" >/dev/null 2>&1 && command -v xvfb-run >/dev/null; then
    # A mirror that refuses: said to be the mirror, and no root is left.
    expect "root from a failing mirror" 1 'the Debian mirror http://127.0.0.1:9/debian failed.*not made; nothing of it is kept' \
        "NORV_CACHE='$work/cache' NORV_DEBIAN_MIRROR=http://127.0.0.1:9/debian NORV_ROOT_RETRY_PAUSE=0 bash '$ROOT/scripts/wine/root_make.sh' i386 2>&1 | tr '\n' ' '; rc=\${PIPESTATUS[0]}; [ ! -e '$work/cache/i386-root' ] && exit \$rc"
    # The last run passed; this one's root cannot even start the suite.
    mkdir -p "$work/b/windows-x64" "$work/b/wine10" "$work/cache/wine10-root/var/tmp"
    chmod 1777 "$work/cache/wine10-root/var/tmp"
    echo "trixie minbase wine,wine64,libwine,ca-certificates" >"$work/cache/wine10-root/.norv-wine10-root"
    for file in norvmon.dll norvmon2.dll norvmonui.dll norvinst.exe norv_spooler_tests.exe; do : >"$work/b/windows-x64/$file"; done
    echo 0 >"$work/b/wine10/suite-x64.rc"
    printf '[==========] 9 tests from 1 test suite ran.\n[  PASSED  ] 9 tests.\n' >"$work/b/wine10/suite-x64.log"
    expect "wine 10: a failed root run beside an old passing log" 1 'x64: 0 passed, 1 failed' \
        "NORV_CACHE='$work/cache' NORV_BUILD_ROOT='$work/b' bash '$ROOT/scripts/wine/wine10_test.sh' --no-build"
else
    echo "selftest: the root cases need root or password-less sudo, debootstrap and xvfb-run; not run"
fi

# Not root: without sudo, and with a sudo that wants a password.
if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null; then
    as_user="setpriv --reuid=65534 --regid=65534 --clear-groups"
    mkdir -p "$work/nosudo" "$work/asks"
    for tool in bash sh sed grep dpkg-query id basename dirname mktemp cat rm chmod printf mkdir env; do
        ln -s "$(command -v "$tool")" "$work/nosudo/$tool"
    done
    printf '#!/bin/sh\nexit 1\n' >"$work/asks/sudo"
    chmod +x "$work/asks/sudo"
    expect "no sudo" 1 "this user \(.*\) is not root and sudo is not installed.*apt-get install norv-absent" \
        "exec $as_user env PATH='$work/nosudo' bash -c \". '$ROOT/scripts/machine.sh'; machine_install norv-absent\""
    expect "sudo wants a password" 1 "sudo asks for a password and there is no terminal.*norv-absent" \
        "exec $as_user env PATH='$work/asks':\$PATH bash -c \". '$ROOT/scripts/machine.sh'; machine_install norv-absent\""
    expect "wine 10 step without root" 77 "needs root \(debootstrap, chroot\) and .* has no password-less sudo" \
        "exec $as_user env PATH='$work/asks':\$PATH bash '$ROOT/scripts/wine/wine10_test.sh' --probe"
else
    echo "selftest: the not-root cases need root and setpriv to switch users; not run"
fi

# The release tools: release_diff.sh, release.sh --out, the release's time.
bash "$ROOT/scripts/release_selftest.sh" || failures=$((failures + 1))

((failures == 0)) && echo "selftest: all passed" || echo "selftest: $failures failed"
((failures == 0))
