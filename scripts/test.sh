#!/usr/bin/env bash
# Installs what is missing, builds deptest with warnings as errors and
# runs the whole test suite offscreen (no display needed).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
install_missing "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
cmake --preset ci
cmake --build --preset ci
ctest --preset ci
