#!/usr/bin/env bash
# Fails when a shell script git tracks has a finding of shellcheck at
# warning level or above, following the files each one sources (from the
# top of the checkout, as the scripts name them). Every *.sh is checked, so a
# new folder is never left out; a machine without shellcheck fails too.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v shellcheck > /dev/null; then
    echo "check-shell: shellcheck is not installed (Debian: shellcheck, in TEST_PACKAGES of scripts/packages.sh)" >&2
    exit 1
fi
git ls-files -z '*.sh' | xargs -0 shellcheck --external-sources --severity=warning
