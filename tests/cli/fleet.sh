#!/usr/bin/env bash
# Runs the fleet example against this machine with the program just built,
# packed the way the portable archive is: one folder holding deptest.
#   fleet.sh DEPTEST_EXECUTABLE
set -euo pipefail
executable=${1:?usage: fleet.sh DEPTEST_EXECUTABLE}
if ! command -v ansible-playbook > /dev/null; then
    echo "fleet: ansible-playbook is not installed (Debian: ansible-core, in scripts/packages.sh)"
    # A skip, except where every requirement must be met (the CI presets).
    [ -n "${DEPTEST_REQUIRE:-}" ] && exit 1
    exit 77
fi
work=$(mktemp -d /var/tmp/deptest-fleet-archive.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir "$work/deptest-build"
cp "$executable" "$work/deptest-build/deptest"
tar -C "$work" -czf "$work/deptest-build.tar.gz" deptest-build
bash "$(dirname "$0")/../../docs/fleet/prove-locally.sh" "$work/deptest-build.tar.gz"
