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
# Wine runs as a user other than root (nobody, when started as root) and in
# the C.UTF-8 language: scripts/lib/harness.sh says why.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
. scripts/lib/harness.sh
install_missing "${BUILD_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}"

# libsodium for Windows, cross-built from Debian's source (cached).
DEPTEST_SODIUM_WINDOWS=$(bash scripts/build-sodium-windows.sh | tail -n 1)
export DEPTEST_SODIUM_WINDOWS
cmake --preset windows
cmake --build --preset windows
[ -f build-ci/build.ninja ] || cmake --preset ci
cmake --build build-ci --target check_windows_dates

prefix=$(mktemp -d /tmp/deptest-wine.XXXXXX)
trap 'stop_wine; rm -rf "$prefix"' EXIT
# The programs are copied beside the prefix: the checkout may lie where
# that user cannot read (under /root).
cp build-windows/test_windows_host.exe build-windows/windows_long_dates.exe "$prefix"
[ "$(id -u)" -eq 0 ] && chown -R 65534:65534 "$prefix"
start_wine_prefix "$prefix"
as_wine_user mkdir -p "$WINEPREFIX/drive_c/windows/system"

status=0
TZ=Europe/Berlin wine_run "$prefix/test_windows_host.exe" | tee "$prefix/results.txt" \
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
wine_run "$prefix/windows_long_dates.exe" > "$prefix/long-dates.txt" || dates=$?
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
