#!/usr/bin/env bash
# Proves the fleet example on this machine as its only host (-i localhost,
# -c local): two application directories made from the same files, one
# left as it was and one changed (a file of another size, one removed),
# checked with check.yml against one signed reference list, its public key
# trusted on the host. The collected entries must name exactly the changes,
# the host must fail because of them, a run over the unchanged directory
# alone must pass, and a forged list must fail the host without a verdict.
#   prove-locally.sh ARCHIVE   (a portable archive, or any tar.gz whose one
#                               folder holds a deptest executable)
set -euo pipefail
archive=$(realpath "${1:?usage: prove-locally.sh ARCHIVE}")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /var/tmp/deptest-fleet.XXXXXX)
trap 'rm -rf "$work"' EXIT
export LC_ALL=C.UTF-8 LANG=C.UTF-8 ANSIBLE_NOCOLOR=1 ANSIBLE_LOCAL_TEMP="$work/ansible-local" \
    ANSIBLE_REMOTE_TEMP="$work/ansible-remote" ANSIBLE_RETRY_FILES_ENABLED=0

# The reference machine: three files, and its reference list.
mkdir -p "$work/reference" "$work/tool"
tar -C "$work/tool" --strip-components=1 -xzf "$archive"
for name in fleet-a.so fleet-b.so fleet-c.so; do
    head -c 1000 /dev/zero > "$work/reference/$name"
    touch -d '2026-12-07 10:30' "$work/reference/$name"
done
printf 'fleet-a.so\r\nfleet-b.so\r\nfleet-c.so\r\n' > "$work/reference/dlls.txt"
# The key pair stays on the reference machine; the hosts get the public key.
minisign -G -W -p "$work/fleet.pub" -s "$work/fleet.key" > /dev/null
"$work/tool/deptest" --generate --sign "$work/fleet.key" --dir "$work/reference"
cp "$work/reference/indll.txt" "$work/reference/indll.txt.minisig" "$work/"

# Two installations of the application on the host.
cp -a "$work/reference" "$work/same"
cp -a "$work/reference" "$work/changed"
head -c 1001 /dev/zero > "$work/changed/fleet-b.so"
touch -d '2026-12-07 10:30' "$work/changed/fleet-b.so"
rm "$work/changed/fleet-c.so"

run_playbook() {
    ansible-playbook -i localhost, -c local -e ansible_python_interpreter=/usr/bin/python3 \
        -e deptest_archive="$archive" -e deptest_reference="$work/indll.txt" \
        -e deptest_home="$work/deptest" -e deptest_results="$work/results" \
        -e deptest_trusted_key="$work/fleet.pub" -e deptest_trusted_dir="$work/trusted" \
        -e "{\"deptest_dirs\": $1}" "$here/check.yml" > "$work/playbook.log" 2>&1
}

status=0
run_playbook "[\"$work/same\", \"$work/changed\"]" || status=$?
if [ "$status" -ne 2 ] || ! grep -Eq 'localhost +: .*failed=1' "$work/playbook.log"; then
    cat "$work/playbook.log"
    echo "prove-locally: the host with changed files did not fail (ansible-playbook: $status)" >&2
    exit 1
fi
python3 - "$work" <<'PYTHON'
import json, sys
work = sys.argv[1]
entries = [json.loads(line) for line in open(f"{work}/results/localhost.jsonl")]
found = {(e["host"], e["dir"].rsplit("/", 1)[1], e["name"]): e for e in entries}
expected = {
    ("same", "fleet-a.so"): "match", ("same", "fleet-b.so"): "match", ("same", "fleet-c.so"): "match",
    ("changed", "fleet-a.so"): "match", ("changed", "fleet-b.so"): "mismatch", ("changed", "fleet-c.so"): "missing",
}
got = {(d, n): e["outcome"] for (h, d, n), e in found.items() if h == "localhost"}
if got != expected or len(entries) != len(expected):
    sys.exit(f"prove-locally: collected {got}, expected {expected}")
b = found[("localhost", "changed", "fleet-b.so")]
if (b["size"], b["referenceSize"], b["where"]) != ("1001", "1000", f"{work}/changed/fleet-b.so"):
    sys.exit(f"prove-locally: fleet-b.so reported as {b}")
if found[("localhost", "changed", "fleet-c.so")]["error"] != 53:
    sys.exit("prove-locally: fleet-c.so is not reported as not found (53)")
PYTHON
grep -q 'changed: fleet-b.so mismatch at' "$work/playbook.log" || { cat "$work/playbook.log"; echo "prove-locally: no report of fleet-b.so" >&2; exit 1; }

run_playbook "[\"$work/same\"]" || { cat "$work/playbook.log"; echo "prove-locally: the unchanged host failed" >&2; exit 1; }
grep -q "same: indll.txt signed by key [0-9A-F]\{16\} (timestamp:" "$work/playbook.log" \
    || { cat "$work/playbook.log"; echo "prove-locally: who signed the list is not said" >&2; exit 1; }

# A list forged to fit the changed file: its signature no longer verifies.
sed -i 's/"fleet-b.so","1000"/"fleet-b.so","1001"/' "$work/indll.txt"
status=0
run_playbook "[\"$work/changed\"]" || status=$?
if [ "$status" -eq 0 ] || ! grep -q 'deptest could not check .*indll.txt is refused' "$work/playbook.log"; then
    cat "$work/playbook.log"
    echo "prove-locally: a forged list did not fail the host (ansible-playbook: $status)" >&2
    exit 1
fi
echo "prove-locally: passed: the changed directory failed the host with exactly its two changes; the unchanged one passed; a forged list was refused"
