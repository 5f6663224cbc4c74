#!/usr/bin/env bash
# Fails when a source file of the project is not laid out as .clang-format
# says: every *.cpp and *.h that git tracks, so a new folder is never left out.
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
