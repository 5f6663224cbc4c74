#!/usr/bin/env bash
# Installs what is missing, cross-builds the model and the Windows host and
# runs their tests under Wine, then runs two workflows: "ci" checks the
# code's layout, runs clang-tidy and cppcheck, builds deptest with warnings
# as errors and runs every test offscreen (no display needed); then builds
# Qt for Windows (once: it is cached), the Windows zip, and proves the zip
# in a fresh Wine prefix against the "ci" build; "asan" builds
# and runs the tests again with AddressSanitizer and
# UndefinedBehaviorSanitizer. Then builds the portable archive and
# the Debian package and proves them on a minimal Debian 12 root without Qt,
# and checks a "fleet" of this machine with Ansible and the archive.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
# Everything any test needs is there before the first runs (Wine's DLLs
# for the name list's Windows half and the PE fuzzer's seeds); the Windows
# program is cross-built first, so the name list is checked on it too.
install_missing "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}" "${QT_WINDOWS_PACKAGES[@]}" \
    "${WINDOWS_ZIP_TEST_PACKAGES[@]}"
bash scripts/test-windows.sh
cmake --workflow --preset ci
bash scripts/check-windows-zip.sh
cmake --workflow --preset asan
bash scripts/bundle.sh
bash scripts/check-bundle.sh
# The fleet example again, with the portable archive itself.
bash docs/fleet/prove-locally.sh "$(ls build-bundle/deptest-*-linux-x86_64.tar.gz | head -n 1)"
