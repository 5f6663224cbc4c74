#!/usr/bin/env bash
# Fails when a source file of the project is not laid out as .clang-format says.
set -euo pipefail
cd "$(dirname "$0")/.."
find app errors services platform dates records verify generate report resources tests bench -name '*.cpp' -o -name '*.h' \
    | xargs clang-format --dry-run --Werror
