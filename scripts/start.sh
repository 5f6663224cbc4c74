#!/usr/bin/env bash
# Installs what is missing, builds deptest and starts its window. A demo
# name list goes beside the executable unless one is there already.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
install_missing "${BUILD_PACKAGES[@]}"
cmake --preset default -DDEPTEST_BUILD_TESTS=OFF
cmake --build --preset default
scripts/demo-list.sh build
exec build/deptest
