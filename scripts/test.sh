#!/usr/bin/env bash
# Installs what is missing, then runs two workflows: "ci" checks the code's
# layout, runs clang-tidy and cppcheck, builds deptest with warnings as
# errors and runs every test offscreen (no display needed); "asan" builds
# and runs the tests again with AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
install_missing "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
cmake --workflow --preset ci
cmake --workflow --preset asan
