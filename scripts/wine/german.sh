#!/usr/bin/env bash
# Sourced by scripts/wine/test.sh (after prefix.sh) inside its display: the
# modern pair's boxes once more for a German user. Wine takes the user's
# language from the locale, so the run gets LANG=de_DE.UTF-8 from a glibc
# locale made here, in $WORK/locale (package locales), not the system's.
#
#   wine_suite_german ARCH   the German test of ARCH's suite, reported as
#                            ARCH-de by wine_suite_report

# The German locale in $WORK/locale, made once; says why when it cannot be.
wine_german_locale() {
    local dir="$WORK/locale"
    [ -f "$dir/de_DE.UTF-8/LC_MESSAGES/SYS_LC_MESSAGES" ] && return 0
    if [ ! -f /usr/share/i18n/locales/de_DE ] || ! command -v localedef >/dev/null; then
        echo "wine: no German locale can be made: the package locales is not installed" >&2
        return 1
    fi
    mkdir -p "$dir"
    localedef -i de_DE -f UTF-8 "$dir/de_DE.UTF-8" >"$WORK/locale.log" 2>&1 || {
        echo "wine: localedef could not make de_DE.UTF-8 (see $WORK/locale.log)" >&2
        return 1
    }
}

wine_suite_german() {
    local arch=$1 log="$WORK/suite-$1-de.log"
    if ! wine_german_locale; then
        echo 1 >"$WORK/suite-$arch-de.rc"
        return
    fi
    wine_server_start
    echo "wine: running the $arch suite's German boxes"
    (cd "$BUILD_ROOT/windows-$arch" &&
        LOCPATH="$WORK/locale" LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8 timeout "${SUITE_TIMEOUT:-600}" \
            wine ./norv_spooler_tests.exe --gtest_color=no --gtest_also_run_disabled_tests \
            --gtest_filter='ModernPair.DISABLED_GermanUserSeesGermanBoxes') >"$log" 2>&1
    echo $? >"$WORK/suite-$arch-de.rc"
    grep -v -e "^wine: Read access denied for device" -e "^[0-9a-f]*:fixme:" "$log"
    wine_server_stop
}
