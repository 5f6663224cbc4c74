#!/usr/bin/env bash
# Builds deptest for 64-bit Windows and packs it into
# build-windows-qt/deptest-VERSION-windows-x86_64.zip: one folder with
# deptest.exe (the window, started by a double click), deptest.com (the same
# program for cmd.exe and PowerShell) and a short read-me. Qt and the C++
# runtime are linked in statically, so the programs need nothing beside them
# but Windows' own DLLs; the data files are written beside them.
# Qt comes from scripts/build-qt-windows.sh (cached after its first run); the
# icon is made by the native "ci" build's icon maker. Prints the zip's path
# on its last line.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
install_missing "${BUILD_PACKAGES[@]}" "${QT_WINDOWS_PACKAGES[@]}"

# libsodium for Windows, cross-built from Debian's source (cached).
DEPTEST_SODIUM_WINDOWS=$(bash scripts/build-sodium-windows.sh | tail -n 1)
export DEPTEST_SODIUM_WINDOWS
DEPTEST_QT_WINDOWS=$(bash scripts/build-qt-windows.sh | tail -n 1)
export DEPTEST_QT_WINDOWS
[ -f build-ci/build.ninja ] || cmake --preset ci > /dev/null
cmake --build build-ci --target deptest_make_icon > /dev/null
cmake --preset windows-qt -DDEPTEST_MAKE_ICON="$PWD/build-ci/deptest_make_icon" > /dev/null
cmake --build --preset windows-qt

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-windows-qt/CMakeCache.txt)
name="deptest-$version-windows-x86_64"
stage="build-windows-qt/$name"
rm -rf "$stage" "build-windows-qt/$name.zip"
mkdir -p "$stage"
for program in deptest.exe deptest.com; do
    x86_64-w64-mingw32-strip -o "$stage/$program" "build-windows-qt/$program"
done
# Windows' own line ends, so that Notepad of any version shows it.
sed 's/$/\r/' resources/windows/README.txt > "$stage/README.txt"

# Nothing but Windows' own DLLs may be imported: what else a program needs
# would have to be installed first.
for program in "$stage/deptest.exe" "$stage/deptest.com"; do
    imported=$(x86_64-w64-mingw32-objdump -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
    foreign=$(grep -v -x -E "$WINDOWS_OWN_DLLS" <<< "$imported" || true)
    if [ -n "$foreign" ]; then
        echo "package-windows: $(basename "$program") imports DLLs Windows does not have: $foreign" >&2
        exit 1
    fi
done

(cd build-windows-qt && cmake -E tar cf "$name.zip" --format=zip "$name")
echo "$PWD/build-windows-qt/$name.zip"
