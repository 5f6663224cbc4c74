#!/usr/bin/env bash
# Builds a release of deptest and packs it into a portable archive that
# runs on a desktop machine without Qt: build-bundle/deptest-VERSION-linux-
# x86_64.tar.gz holds one folder with the executable, a qt.conf, its window
# module, Qt libraries and plugins under lib/ and plugins/ (never beside the
# executable, where the file locator looks), all found through load paths
# relative to the executable. What every desktop has (DESKTOP_PACKAGES in
# packages.sh) is left to the machine. Also writes the Debian package.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
install_missing "${BUILD_PACKAGES[@]}" "${BUNDLE_PACKAGES[@]}"

cmake --preset bundle
cmake --build --preset bundle
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-bundle/CMakeCache.txt)
name="deptest-$version-linux-x86_64"
stage="build-bundle/$name"
rm -rf "$stage" "build-bundle/$name.tar.gz"
mkdir -p "$stage/lib" "$stage/plugins"

install -m 755 build-bundle/deptest "$stage/deptest"
# The window and printing: a module the executable loads from lib/.
install -m 644 build-bundle/lib/deptest-window.so "$stage/lib/deptest-window.so"
install -m 644 docs/deptest.1 "$stage/deptest.1"
qtplugins=/usr/lib/x86_64-linux-gnu/qt6/plugins
# The offscreen platform lets --print draw without a display.
for plugin in platforms/libqxcb.so platforms/libqwayland-*.so platforms/libqoffscreen.so xcbglintegrations printsupport \
    platforminputcontexts wayland-shell-integration wayland-decoration-client wayland-graphics-integration-client; do
    for path in $qtplugins/$plugin; do
        [ -e "$path" ] || continue
        relative=${path#$qtplugins/}
        mkdir -p "$stage/plugins/$(dirname "$relative")"
        cp -r "$path" "$stage/plugins/$relative"
    done
done
printf '[Paths]\nPrefix = .\nPlugins = plugins\nLibraries = lib\n' > "$stage/qt.conf"

# Every shared library the executable and the plugins load, less those of
# the packages a desktop has.
declare -A leftToTheMachine
for package in "${DESKTOP_PACKAGES[@]}"; do leftToTheMachine[$package]=1; done
mapfile -t objects < <(find "$stage/deptest" "$stage/lib/deptest-window.so" "$stage/plugins" -type f -name '*' )
ldd "${objects[@]}" 2>/dev/null | awk '$2 == "=>" && $3 ~ /^\// { print $3 }' | sort -u | while read -r library; do
    real=$(readlink -f "$library")
    package=$(dpkg -S "$real" 2>/dev/null | head -n 1 | cut -d: -f1) || package=""
    [ -z "$package" ] && package=$(dpkg -S "$library" 2>/dev/null | head -n 1 | cut -d: -f1) || true
    [ -n "${leftToTheMachine[$package]:-}" ] && continue
    cp "$real" "$stage/lib/$(basename "$library")"
done

# Load paths relative to where each file is.
patchelf --set-rpath '$ORIGIN/lib' "$stage/deptest"
for library in "$stage"/lib/*; do patchelf --set-rpath '$ORIGIN' "$library"; done
find "$stage/plugins" -name '*.so' | while read -r plugin; do
    depth=$(realpath --relative-to="$(dirname "$plugin")" "$stage/lib")
    patchelf --set-rpath "\$ORIGIN/$depth" "$plugin"
done
chmod 644 "$stage"/lib/* 
tar -C build-bundle -czf "build-bundle/$name.tar.gz" "$name"
echo "Wrote build-bundle/$name.tar.gz ($(du -h "build-bundle/$name.tar.gz" | cut -f1))"

# The Debian package, from the same release build.
(cd build-bundle && cpack -G DEB > /dev/null)
echo "Wrote $(ls build-bundle/deptest_*.deb)"
