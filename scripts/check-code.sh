#!/usr/bin/env bash
# Static checks of the project's own code against a configured build
# directory (which holds compile_commands.json): clang-tidy with the
# checked-in .clang-tidy, and cppcheck. Prints findings only.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?usage: check-code.sh BUILD_DIRECTORY}
# Every folder of the program that exists in this tree.
folders=()
for folder in app cli desktop dates errors generate host names platform records report resources services signing system verify; do
    [ -d "$folder" ] && folders+=("$folder")
done
# clang-tidy counts the warnings it suppresses in system headers on stderr;
# those counts are no findings.
# The Windows host is checked by its own -Werror cross-build (test-windows.sh).
find "${folders[@]}" -name '*.cpp' -not -path 'system/windows/*' -print0 \
    | xargs -0 -P "$(nproc)" -n 3 clang-tidy -p "$build" --quiet 2> >(grep -Ev '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$' >&2)
cppcheck --enable=warning,performance,portability --std=c++20 --inline-suppr --quiet --error-exitcode=1 \
    -I. --suppress=missingIncludeSystem -i system/windows "${folders[@]}"
