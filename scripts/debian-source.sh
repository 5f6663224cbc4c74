# shellcheck shell=bash
# What the Windows builds share: Debian's own source of a package, fetched
# through a source list of their own, so that the machine's apt
# configuration and package lists are left as they are. Sourced.

# One deb-src line per archive the machine takes its packages from, made
# from its deb lines (the one-line format and deb822 .sources files).
debian_source_lines() {
    local file
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$file" ] || continue
        sed -n 's/^[[:space:]]*deb[[:space:]]\+/deb-src /p' "$file"
    done
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -f "$file" ] || continue
        awk '
            function flush() {
                if (types ~ /(^| )deb( |$)/ && uris != "" && suites != "") {
                    n = split(uris, u, " "); m = split(suites, s, " ")
                    for (i = 1; i <= n; i++)
                        for (j = 1; j <= m; j++)
                            print "deb-src " (signed != "" ? "[signed-by=" signed "] " : "") u[i] " " s[j] " " components
                }
                types = uris = suites = components = signed = ""
            }
            /^[[:space:]]*$/ { flush(); next }
            /^#/ { next }
            /^Types:/ { sub(/^Types:[[:space:]]*/, ""); types = $0 }
            /^URIs:/ { sub(/^URIs:[[:space:]]*/, ""); uris = $0 }
            /^Suites:/ { sub(/^Suites:[[:space:]]*/, ""); suites = $0 }
            /^Components:/ { sub(/^Components:[[:space:]]*/, ""); components = $0 }
            /^Signed-By:/ { sub(/^Signed-By:[[:space:]]*/, ""); signed = $0 }
            END { flush() }
        ' "$file"
    done
}

# Fetches the source of PACKAGE=VERSION into WORK (made anew), through the
# deb-src lines made above; the unpacked source is WORK/PACKAGE-*.
fetch_debian_source() {
    local package=$1 version=$2 work=$3
    rm -rf "$work"
    mkdir -p "$work/lists/partial" "$work/archives/partial"
    debian_source_lines > "$work/sources.list"
    if ! [ -s "$work/sources.list" ]; then
        echo "no deb line in the apt configuration to fetch $package's source from" >&2
        return 1
    fi
    local apt_own=(-o Dir::Etc::sourcelist="$work/sources.list" -o Dir::Etc::sourceparts=/nonexistent
        -o Dir::State::Lists="$work/lists" -o Dir::Cache::Archives="$work/archives"
        -o Dir::Cache::pkgcache="" -o Dir::Cache::srcpkgcache="")
    apt-get "${apt_own[@]}" update > "$work/apt-update.log" 2>&1 || {
        cat "$work/apt-update.log" >&2
        return 1
    }
    (cd "$work" && apt-get "${apt_own[@]}" source "$package=$version" > apt-source.log 2>&1) || {
        cat "$work/apt-source.log" >&2
        return 1
    }
}
