#!/usr/bin/env bash
# Fails when a relative link of a Markdown file that git tracks names a
# file that is not there, or a heading (#anchor) its target does not have.
# Links to other sites are left alone.
set -euo pipefail
cd "$(dirname "$0")/.."

# The lines of a Markdown file outside its fenced code blocks.
prose() {
    awk '/^[[:space:]]*```/ { fenced = !fenced; next } !fenced' "$1"
}

# The anchors of a file's headings, as the Markdown renderers make them:
# lower case, punctuation dropped, spaces as hyphens.
anchors() {
    prose "$1" | sed -n 's/^#\{1,6\}[[:space:]]\{1,\}//p' \
        | tr '[:upper:]' '[:lower:]' | sed 's/[^[:alnum:] _-]//g; s/ /-/g'
}

broken=0
while IFS= read -r file; do
    folder=$(dirname "$file")
    while IFS= read -r target; do
        case $target in
        *://* | mailto:*) continue ;;
        esac
        path=${target%%#*}
        anchor=
        [[ $target == *#* ]] && anchor=${target#*#}
        if [ -z "$path" ]; then
            resolved=$file
        else
            resolved=$folder/$path
        fi
        if [ ! -e "$resolved" ]; then
            echo "$file: $target: no such file" >&2
            broken=1
        elif [ -n "$anchor" ] && ! anchors "$resolved" | grep -qxF -- "$anchor"; then
            echo "$file: $target: no such heading in $resolved" >&2
            broken=1
        fi
    done < <(prose "$file" | grep -o '\](\([^)[:space:]]*\))' | sed 's/^](//; s/)$//')
done < <(git ls-files '*.md')
exit "$broken"
