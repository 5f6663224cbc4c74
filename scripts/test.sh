#!/usr/bin/env bash
# Installs what is missing, cross-builds the model and the Windows host and
# runs their tests under Wine, then runs two workflows: "ci" checks the
# code's layout, runs clang-tidy and cppcheck, builds deptest with warnings
# as errors and runs every test offscreen (no display needed); "asan" builds
# and runs the tests again with AddressSanitizer and
# UndefinedBehaviorSanitizer. Then builds the portable archive and
# the Debian package and proves them on a minimal Debian 12 root without Qt,
# and checks a "fleet" of this machine with Ansible and the archive. Last,
# builds the Windows zip and proves it in a fresh Wine prefix against the
# "ci" build.
#
# Qt for Windows, which the zip needs, is built once (then cached) and takes
# longer than anything else. It builds from the start at the lowest
# priority, on what the other stages leave idle while they wait on Wine,
# CUPS, X servers and a new root; the zip waits for it.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
# Everything any test needs is there before the first runs (Wine's DLLs
# for the name list's Windows half and the PE fuzzer's seeds); the Windows
# program is cross-built first, so the name list is checked on it too.
install_missing "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}" "${QT_WINDOWS_PACKAGES[@]}" \
    "${WINDOWS_ZIP_TEST_PACKAGES[@]}" "${BUNDLE_PACKAGES[@]}"

# Its own process group, so that a stage that fails stops the whole build.
qt_log=$(mktemp)
set -m
nice -n 19 bash scripts/build-qt-windows.sh > "$qt_log" 2>&1 &
qt_build=$!
set +m
stop_qt_build() {
    kill -- "-$qt_build" 2>/dev/null || true
    rm -f "$qt_log"
}
trap stop_qt_build EXIT

bash scripts/test-windows.sh
cmake --workflow --preset ci
cmake --workflow --preset asan
bash scripts/bundle.sh
bash scripts/check-bundle.sh
# The fleet example again, with the portable archive itself.
bash docs/fleet/prove-locally.sh "$(ls build-bundle/deptest-*-linux-x86_64.tar.gz | head -n 1)"

if ! wait "$qt_build"; then
    cat "$qt_log" >&2
    echo "test: Qt for Windows did not build" >&2
    exit 1
fi
bash scripts/check-windows-zip.sh
