#!/usr/bin/env bash
# Cross-builds the model and the Windows host with MinGW-w64 and runs their
# tests under Wine, in a private Wine prefix made for the run (with the
# c:\windows\system\ a fresh prefix lacks, and a time zone with daylight
# saving). Ends with a line "N passed, M failed".
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
install_missing "${WINDOWS_PACKAGES[@]}"

cmake --preset windows
cmake --build --preset windows

prefix=$(mktemp -d /tmp/deptest-wine.XXXXXX)
trap 'WINEPREFIX="$prefix" /usr/lib/wine/wineserver -k 2>/dev/null || true; rm -rf "$prefix"' EXIT
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
/usr/lib/wine/wine64 wineboot --init > /dev/null 2>&1
mkdir -p "$prefix/drive_c/windows/system"

status=0
TZ=Europe/Berlin /usr/lib/wine/wine64 build-windows/test_windows_host.exe | tee "$prefix/results.txt" || status=$?
passed=$(grep -c '^\[       OK \]' "$prefix/results.txt" || true)
failed=$(grep -c '^\[  FAILED  \] .*(' "$prefix/results.txt" || true)
skipped=$(grep -c '^\[  SKIPPED \] .*(' "$prefix/results.txt" || true)
echo "$passed passed, $failed failed, $skipped skipped"
[ "$status" -eq 0 ] && [ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
