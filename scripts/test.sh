#!/usr/bin/env bash
# Installs what is missing, then runs two workflows: "ci" checks the code's
# layout, runs clang-tidy and cppcheck, builds deptest with warnings as
# errors and runs every test offscreen (no display needed); "asan" builds
# and runs the tests again with AddressSanitizer and
# UndefinedBehaviorSanitizer. Then cross-builds the model and the Windows
# host and runs their tests under Wine, and builds the portable archive and
# the Debian package and proves them on a minimal Debian 12 root without Qt,
# and checks a "fleet" of this machine with Ansible and the archive.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
install_missing "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
cmake --workflow --preset ci
cmake --workflow --preset asan
bash scripts/test-windows.sh
bash scripts/bundle.sh
bash scripts/check-bundle.sh
# The fleet example again, with the portable archive itself.
bash docs/fleet/prove-locally.sh "$(ls build-bundle/deptest-*-linux-x86_64.tar.gz | head -n 1)"
