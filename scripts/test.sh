#!/usr/bin/env bash
# Installs what is missing, checks the code's layout and runs clang-tidy
# and cppcheck over it, builds deptest
# with warnings as errors and runs the whole test suite offscreen (no
# display needed), then again built with AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
install_missing "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"

find app errors platform records verify generate report tests bench -name '*.cpp' -o -name '*.h' \
    | xargs clang-format --dry-run --Werror

cmake --preset ci
cmake --build --preset ci
scripts/check-code.sh build-ci
ctest --preset ci

cmake --preset asan
cmake --build --preset asan
ctest --preset asan
