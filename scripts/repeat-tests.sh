#!/usr/bin/env bash
# Looks for verdicts that depend on timing: runs the CTest suite of the ci
# build N times and the archive check N times while busy loops of its own
# keep every core busy, then prints how many runs of each failed. Extra
# arguments go to ctest, e.g. `scripts/repeat-tests.sh 5 -LE fuzz`. A tool
# for developers, not part of scripts/test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:?usage: scripts/repeat-tests.sh N [ctest arguments]}
shift
. scripts/packages.sh
install_missing "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${BUNDLE_PACKAGES[@]}"

# The builds are made before the load starts, so that only the runs are loaded.
[ -f build-ci/CTestTestfile.cmake ] || cmake --preset ci
cmake --build build-ci -j2
bash scripts/bundle.sh # the archive of this checkout, not one left from before

load=()
stop_load() {
    local pid
    for pid in "${load[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    load=()
}
trap stop_load EXIT
trap "exit 130" INT TERM
for _ in $(seq 1 "$(nproc)"); do
    (while :; do :; done) &
    load+=("$!")
done
echo "repeat-tests: ${#load[@]} busy loops started"

logs=$(mktemp -d /var/tmp/deptest-repeat.XXXXXX)
suiteFailures=0
checkFailures=0
for round in $(seq 1 "$rounds"); do
    start=$SECONDS
    if ctest --preset ci "$@" > "$logs/suite-$round.log" 2>&1; then
        echo "repeat-tests: suite round $round passed ($((SECONDS - start)) s)"
    else
        suiteFailures=$((suiteFailures + 1))
        echo "repeat-tests: suite round $round FAILED ($((SECONDS - start)) s):"
        grep -E '^\s*[0-9]+ - ' "$logs/suite-$round.log" || tail -n 20 "$logs/suite-$round.log"
    fi
done
for round in $(seq 1 "$rounds"); do
    start=$SECONDS
    if bash scripts/check-bundle.sh > "$logs/check-$round.log" 2>&1; then
        if grep -q 'SKIPPED' "$logs/check-$round.log"; then
            checkFailures=$((checkFailures + 1))
            echo "repeat-tests: archive check round $round SKIPPED, counted as failed: $(tail -n 1 "$logs/check-$round.log")"
        else
            echo "repeat-tests: archive check round $round passed ($((SECONDS - start)) s)"
        fi
    else
        checkFailures=$((checkFailures + 1))
        echo "repeat-tests: archive check round $round FAILED ($((SECONDS - start)) s):"
        tail -n 5 "$logs/check-$round.log"
    fi
done
stop_load
echo "repeat-tests: suite: $suiteFailures of $rounds runs failed; archive check: $checkFailures of $rounds runs failed (logs in $logs)"
[ "$suiteFailures" -eq 0 ] && [ "$checkFailures" -eq 0 ]
