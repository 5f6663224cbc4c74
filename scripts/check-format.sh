#!/usr/bin/env bash
# Fails when a source file of the project is not laid out as .clang-format says.
set -euo pipefail
cd "$(dirname "$0")/.."
folders=()
for folder in app bench cli desktop dates errors generate host names platform records report resources services system tests verify; do
    [ -d "$folder" ] && folders+=("$folder")
done
find "${folders[@]}" -name '*.cpp' -o -name '*.h' \
    | xargs clang-format --dry-run --Werror
