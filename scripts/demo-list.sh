#!/usr/bin/env bash
# Writes a demo name list (dlls.txt) beside the executable in the given
# directory: the program's own shared libraries and the executable itself.
# A list that is already there is the user's and stays untouched.
set -euo pipefail
directory=${1:?usage: demo-list.sh DIRECTORY}
list="$directory/dlls.txt"
[ -e "$list" ] && exit 0
{
    ldd "$directory/deptest" | awk '$2 == "=>" && $3 ~ /^\// { printf "\"%s\"\r\n", $1 }'
    printf '"deptest"\r\n'
} > "$list"
echo "Wrote the demo name list $list"
