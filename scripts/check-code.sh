#!/usr/bin/env bash
# Static checks of the project's own code against a configured build
# directory (which holds compile_commands.json): clang-tidy with the
# checked-in .clang-tidy, and cppcheck.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?usage: check-code.sh BUILD_DIRECTORY}
sources=$(ls app/*.cpp errors/*.cpp platform/*.cpp records/*.cpp verify/*.cpp generate/*.cpp report/*.cpp)
echo "$sources" | xargs -P "$(nproc)" -n 3 clang-tidy -p "$build" --quiet
cppcheck --enable=warning,performance,portability --std=c++20 --inline-suppr --quiet --error-exitcode=1 \
    -I. --suppress=missingIncludeSystem app errors platform records verify generate report
