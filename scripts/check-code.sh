#!/usr/bin/env bash
# Static checks of the project's own code against a configured build
# directory (which holds compile_commands.json): clang-tidy with the
# checked-in .clang-tidy, and cppcheck. Prints findings only.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?usage: check-code.sh BUILD_DIRECTORY}
# The program's sources as git tracks them, so a new folder is never left
# out: not the tests and benchmarks, and not the Windows host, which is
# checked by its own -Werror cross-build (test-windows.sh).
mapfile -d '' sources < <(git ls-files -z '*.cpp' ':!:tests/' ':!:bench/' ':!:system/windows/')
# clang-tidy counts the warnings it suppresses in system headers on stderr;
# those counts are no findings.
printf '%s\0' "${sources[@]}" \
    | xargs -0 -P "$(nproc)" -n 3 clang-tidy -p "$build" --quiet 2> >(grep -Ev '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$' >&2)
cppcheck --enable=warning,performance,portability --std=c++20 --inline-suppr --quiet --error-exitcode=1 \
    -I. --suppress=missingIncludeSystem "${sources[@]}"
