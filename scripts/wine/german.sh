#!/usr/bin/env bash
# A German user under Wine, for scripts/wine/test.sh and demo.sh (source it
# after prefix.sh). Wine takes the user's language from the locale, so German
# runs get LANG=de_DE.UTF-8 from a glibc locale made in the build folder
# (from the package locales), not in the system's locale archive.
#
#   wine_german_locale DIR   make the locale in DIR once; then
#                            wine_german_env is the environment to run with
#   wine_suite_german ARCH   the German test of ARCH's suite, reported as
#                            ARCH-de by wine_suite_report

# Says why when the locale cannot be made.
wine_german_locale() {
    local dir=$1
    wine_german_env=(env LOCPATH="$dir" LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8)
    [ -f "$dir/de_DE.UTF-8/LC_MESSAGES/SYS_LC_MESSAGES" ] && return 0
    if [ ! -f /usr/share/i18n/locales/de_DE ] || ! command -v localedef >/dev/null; then
        echo "wine: no German locale can be made: the package locales is not installed" >&2
        return 1
    fi
    mkdir -p "$dir"
    localedef -i de_DE -f UTF-8 "$dir/de_DE.UTF-8" >"$dir.log" 2>&1 || {
        echo "wine: localedef could not make de_DE.UTF-8 (see $dir.log)" >&2
        return 1
    }
}

wine_suite_german() {
    local arch=$1 log="$WORK/suite-$1-de.log"
    if ! wine_german_locale "$WORK/locale"; then
        echo 1 >"$WORK/suite-$arch-de.rc"
        return
    fi
    wine_server_start
    echo "wine: running the $arch suite's German boxes"
    (cd "$BUILD_ROOT/windows-$arch" &&
        "${wine_german_env[@]}" timeout "${SUITE_TIMEOUT:-600}" \
            wine ./norv_spooler_tests.exe --gtest_color=no --gtest_also_run_disabled_tests \
            --gtest_filter='ModernPair.DISABLED_GermanUserSeesGermanBoxes') >"$log" 2>&1
    echo $? >"$WORK/suite-$arch-de.rc"
    grep -v -e "^wine: Read access denied for device" -e "^[0-9a-f]*:fixme:" "$log"
    wine_server_stop
}
