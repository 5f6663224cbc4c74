#!/usr/bin/env bash
# Cross-builds libsodium for 64-bit Windows from Debian's own source, the
# version of libsodium-dev installed here, with MinGW-w64 (POSIX threads):
# a static library, so that the programs need no DLL beside them. The
# result is cached by version under ${XDG_CACHE_HOME:-$HOME/.cache}/deptest;
# a second run reuses it. Prints the install prefix on its last line.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
. scripts/debian-source.sh
install_missing "${SODIUM_WINDOWS_PACKAGES[@]}"

version=$(dpkg-query -W -f='${Version}' libsodium-dev)
cache="${XDG_CACHE_HOME:-$HOME/.cache}/deptest"
prefix="$cache/libsodium-$version-mingw-w64-static"
configuration=(--host=x86_64-w64-mingw32 --disable-shared --enable-static --disable-dependency-tracking
    CC=x86_64-w64-mingw32-gcc-posix)
stamp=$( (printf '%s\n' "$version" "${configuration[@]}") | sha256sum | cut -d ' ' -f 1)
if [ -f "$prefix/.complete" ] && [ "$(cat "$prefix/.complete")" = "$stamp" ]; then
    echo "$prefix"
    exit 0
fi

work="$cache/libsodium-$version-work"
fetch_debian_source libsodium "$version" "$work" || exit 1
source_dir=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'libsodium-*' | head -n 1)
rm -rf "$prefix"
# Debian's source is the project's tree without a generated configure.
(cd "$source_dir" && autoreconf -fi) > "$work/autoreconf.log" 2>&1 || {
    tail -n 60 "$work/autoreconf.log" >&2
    exit 1
}
(cd "$source_dir" && ./configure "${configuration[@]}" --prefix="$prefix") > "$work/configure.log" 2>&1 || {
    tail -n 60 "$work/configure.log" >&2
    exit 1
}
make -C "$source_dir" -j2 install > "$work/build.log" 2>&1 || {
    tail -n 80 "$work/build.log" >&2
    exit 1
}
echo "$stamp" > "$prefix/.complete"
rm -rf "$work"
echo "$prefix"
