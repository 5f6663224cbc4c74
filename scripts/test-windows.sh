#!/usr/bin/env bash
# Cross-builds the model and the Windows host with MinGW-w64 and runs their
# tests under Wine, in a private Wine prefix made for the run (with the
# c:\windows\system\ a fresh prefix lacks, and a time zone with daylight
# saving). Then has Wine write Windows' own long dates of every locale and
# reads them with the date reader of the native "ci" build, as a machine in
# American English reads lists from those locales: it fails when more texts
# than today's come back as a wrong day, or fewer than today's are read right.
# Ends with a line "N passed, M failed" and fails when any test was skipped.
#
# Wine runs as a user other than root (nobody, when started as root): Wine
# keeps the read-only attribute as the file's write permission, which root
# is not held to. It runs in the C.UTF-8 language, which every Debian
# machine has: in the bare C language Wine cannot name a file with letters
# beyond ASCII.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
install_missing "${BUILD_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}"

# libsodium for Windows, cross-built from Debian's source (cached).
DEPTEST_SODIUM_WINDOWS=$(bash scripts/build-sodium-windows.sh | tail -n 1)
export DEPTEST_SODIUM_WINDOWS
cmake --preset windows
cmake --build --preset windows
[ -f build-ci/build.ninja ] || cmake --preset ci
cmake --build build-ci --target check_windows_dates

as_wine_user() { "$@"; }
[ "$(id -u)" -eq 0 ] && as_wine_user() { setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; }
prefix=$(mktemp -d /tmp/deptest-wine.XXXXXX)
trap 'as_wine_user /usr/lib/wine/wineserver -k 2>/dev/null || true; rm -rf "$prefix"' EXIT
export WINEPREFIX="$prefix/prefix" HOME="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=C.UTF-8 \
    LC_ALL=C.UTF-8
# The programs are copied beside the prefix: the checkout may lie where
# that user cannot read (under /root).
cp build-windows/test_windows_host.exe build-windows/windows_long_dates.exe "$prefix"
[ "$(id -u)" -eq 0 ] && chown -R 65534:65534 "$prefix"
as_wine_user /usr/lib/wine/wine64 wineboot --init > /dev/null 2>&1
as_wine_user mkdir -p "$WINEPREFIX/drive_c/windows/system"

status=0
TZ=Europe/Berlin as_wine_user /usr/lib/wine/wine64 "$prefix/test_windows_host.exe" | tee "$prefix/results.txt" \
    || status=$?
passed=$(grep -c '^\[       OK \]' "$prefix/results.txt" || true)
failed=$(grep -c '^\[  FAILED  \] .*(' "$prefix/results.txt" || true)
skipped=$(grep -c '^\[  SKIPPED \] .*(' "$prefix/results.txt" || true)

# No text may be read as a wrong day, in any of the four counts the checker
# prints: a text is read right or left as written. And as many as today must
# be read right, in both measures: of the 10,908 texts Wine writes in UTF-8
# and of the 5,521 its code pages hold.
allowed_wrong=0
least_right_utf8=10204
least_right_code_page=5379
dates=0
as_wine_user /usr/lib/wine/wine64 "$prefix/windows_long_dates.exe" > "$prefix/long-dates.txt" || dates=$?
locales=$(grep -c '^locale' "$prefix/long-dates.txt" || true)
if [ "$dates" -ne 0 ] || [ "$locales" -le 800 ]; then
    echo "FAILED: Wine wrote the long dates of $locales locales (exit status $dates), expected over 800" >&2
    dates=1
else
    build-ci/check_windows_dates --max-wrong "$allowed_wrong" --min-right-utf8 "$least_right_utf8" \
        --min-right-code-page "$least_right_code_page" "$prefix/long-dates.txt" || dates=$?
fi
echo "$passed passed, $failed failed, $skipped skipped; Windows' long dates: $([ "$dates" -eq 0 ] && echo passed || echo FAILED)"
[ "$status" -eq 0 ] && [ "$failed" -eq 0 ] && [ "$skipped" -eq 0 ] && [ "$passed" -gt 0 ] && [ "$dates" -eq 0 ]
