#!/usr/bin/env bash
# Cross-builds Qt for 64-bit Windows from Debian's own qt6-base source, the
# version of the Qt host tools installed here, with MinGW-w64 (POSIX
# threads): static libraries, only Core, Gui, Widgets, Print Support and
# the Windows platform plugin. The result is cached by version under
# ${XDG_CACHE_HOME:-$HOME/.cache}/deptest; a second run reuses it.
# Prints the install prefix on its last line.
#
# The source comes through a source list of this script's own: the
# machine's apt configuration and package lists are left as they are.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
. scripts/debian-source.sh
install_missing "${BUILD_PACKAGES[@]}" "${QT_WINDOWS_PACKAGES[@]}"

version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
cache="${XDG_CACHE_HOME:-$HOME/.cache}/deptest"
prefix="$cache/qt-$version-mingw-w64-static"

# Static libraries so that the programs need nothing beside them but
# Windows' own DLLs. Debian's source leaves out the tablet header wintab.h,
# hence no tablet events. Direct2D stays on because the Windows print
# engine uses the DirectWrite font engine that is built only with it; its
# Direct2D 1.1 half only adds a second Windows platform plugin that draws
# with Direct2D, which the programs do not load, so it is left out.
# OpenGL stays as Qt has it on Windows (opengl32.dll loaded when asked
# for): 6.4's Windows platform plugin does not build without it.
configuration=(
    -G Ninja
    -DCMAKE_BUILD_TYPE=Release
    -DQT_HOST_PATH=/usr
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    -DBUILD_SHARED_LIBS=OFF
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF
    -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_freetype=OFF -DFEATURE_system_jpeg=OFF
    -DFEATURE_freetype=OFF -DFEATURE_jpeg=OFF
    -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF
    -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_testlib=OFF
    -DFEATURE_tabletevent=OFF -DFEATURE_direct2d=ON -DFEATURE_direct2d1_1=OFF
    -DFEATURE_sql_sqlite=OFF -DFEATURE_vulkan=OFF
)
# What the result was built with: the options above and the toolchain. A
# cache or a build tree made with others is not reused.
stamp=$( (printf '%s\n' "$version" "${configuration[@]}"; cat cmake/mingw-w64.cmake) | sha256sum | cut -d ' ' -f 1)
if [ -f "$prefix/.complete" ] && [ "$(cat "$prefix/.complete")" = "$stamp" ]; then
    echo "$prefix"
    exit 0
fi

# The source and the build tree are kept until Qt is installed, so that a
# build cut short (a failure, a killed run) goes on where it stopped.
work="$cache/qt-$version-work"
mkdir -p "$work"
if [ -d "$work/build" ] && [ "$(cat "$work/build.stamp" 2>/dev/null)" != "$stamp" ]; then
    rm -rf "$work/build"
fi

source_dir=$(find "$work" -maxdepth 1 -type d -name 'qt6-base-*' | head -n 1)
if [ -z "$source_dir" ] || ! [ -f "$work/source.complete" ]; then
    fetch_debian_source qt6-base "$version" "$work" || exit 1
    source_dir=$(find "$work" -maxdepth 1 -type d -name 'qt6-base-*' | head -n 1)
    touch "$work/source.complete"
fi

if ! [ -f "$work/build/build.ninja" ]; then
    cmake -S "$source_dir" -B "$work/build" "${configuration[@]}" \
        -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" \
        -DCMAKE_INSTALL_PREFIX="$prefix" \
        > "$work/configure.log" 2>&1 || {
        tail -n 60 "$work/configure.log" >&2
        exit 1
    }
    echo "$stamp" > "$work/build.stamp"
fi
cmake --build "$work/build" > "$work/build.log" 2>&1 || {
    grep -B 5 -A 20 'FAILED' "$work/build.log" | head -n 80 >&2
    exit 1
}
rm -rf "$prefix"
cmake --install "$work/build" > /dev/null
echo "$stamp" > "$prefix/.complete"
rm -rf "$work"
echo "$prefix"
