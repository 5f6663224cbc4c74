#!/usr/bin/env bash
# Proves that the portable archive runs on a desktop machine without Qt:
# makes a minimal Debian 12 root (debootstrap, minbase) holding only the
# libraries the archive leaves to the machine, unpacks the archive there
# and, with the window on a private X server, presses Ctrl+B, Test and Exit
# on a name list naming a file of that root, a file it lacks and the
# program's own libQt6Core.so.6. The three lists are then checked byte for
# byte. Needs root; says SKIPPED where no root can be made.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
. scripts/lib/harness.sh
install_missing "${BUNDLE_PACKAGES[@]}"
archive=$(ls build-bundle/deptest-*-linux-x86_64.tar.gz 2>/dev/null | head -n 1 || true)
[ -n "$archive" ] || { bash scripts/bundle.sh; archive=$(ls build-bundle/deptest-*-linux-x86_64.tar.gz | head -n 1); }
folder=$(basename "$archive" .tar.gz)

work=$(mktemp -d /var/tmp/deptest-check.XXXXXX)
root="$work/root"
cleanup() {
    stop_started
    for mount in "$root/tmp/.X11-unix" "$root/proc"; do
        mountpoint -q "$mount" 2>/dev/null && umount -l "$mount"
    done
    rm -rf "$work"
}
trap cleanup EXIT

mirror=$(sed -n 's/^URIs: *//p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -n 1)
mirror=${mirror:-http://deb.debian.org/debian}
echo "check-bundle: making a minimal Debian 12 root from $mirror"
if ! debootstrap --variant=minbase --include="$(IFS=,; echo "${DESKTOP_PACKAGES[*]}")" bookworm "$root" "$mirror" \
    > "$work/debootstrap.log" 2>&1; then
    tail -n 5 "$work/debootstrap.log"
    echo "check-bundle: SKIPPED: no Debian 12 root could be made here (no route to Debian's packages?)"
    exit 0
fi
if ls "$root"/usr/lib/x86_64-linux-gnu/libQt6* > /dev/null 2>&1; then
    echo "check-bundle: the root holds Qt, so it proves nothing" >&2
    exit 1
fi
tar -C "$root/opt" -xzf "$archive"
app="/opt/$folder"
printf 'libc.so.6\r\nnosuch.so\r\nlibQt6Core.so.6\r\n' > "$root$app/dlls.txt"

# The window goes to a private X server, reached from the root through its
# socket folder.
start_xvfb "$work"
mkdir -p "$root/tmp/.X11-unix"
mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
mount -t proc proc "$root/proc"

start_background chroot "$root" env -i DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb LANG=C.UTF-8 LC_ALL=en_US.UTF-8 TZ=UTC \
    HOME=/root "$app/deptest" > "$work/program.log" 2>&1
program=$started
window=$(wait_for_window "Test Dependent Files" "$program" "$work/program.log")
press "$window" ctrl+b
# Ctrl+B handles no other key until it is done, so Test may follow at once;
# the lists are waited for only to say which step failed.
wait_for "Ctrl+B to write the lists" test -e "$root$app/indll.txt" -a -e "$root$app/dllerr.txt"
press "$window" alt+t
# Exit is disabled while the test runs: it is pressed until the program ends.
press_until_ended "$window" "$program" alt+x

# What the three lists must hold, measured on the root itself.
library="$root/usr/lib/x86_64-linux-gnu/libc.so.6"
size=$(stat -L -c %s "$library")
day=$(LC_ALL=C TZ=UTC date -d "@$(stat -L -c %Y "$library")" '+%A, %B %-d, %Y')
failures=0
expect() {
    if ! cmp -s <(printf '%b' "$2") "$root$app/$1"; then
        echo "check-bundle: $1 is not as expected:" >&2
        cat -A "$root$app/$1" >&2 || true
        failures=$((failures + 1))
    fi
}
expect indll.txt "\"libc.so.6\",\"$size\",\"$day\"\r\n"
expect dllerr.txt '"nosuch.so"\r\n"libQt6Core.so.6"\r\n'
expect outdll.txt 'Format: Filename, Size of file on target, size of original file, date of target file, date of original, error\r\n'
if [ "$failures" -ne 0 ]; then
    cat "$work/program.log"
    exit 1
fi
echo "check-bundle: the archive ran on a Debian 12 root without Qt ($(du -h "$archive" | cut -f1))"

# The Debian package: lintian finds nothing but the folder in /opt, which is
# the package's purpose; it installs on the same root with its Qt, and its
# menu entry starts the program.
deb=$(ls build-bundle/deptest_*.deb | head -n 1)
findings=$(lintian --pedantic --suppress-tags dir-or-file-in-opt "$deb" 2>&1 | grep -v 'running with root' || true)
if [ -n "$findings" ]; then
    echo "check-bundle: lintian: $findings" >&2
    exit 1
fi
cp /etc/resolv.conf "$root/etc/resolv.conf"
cp "$deb" "$root/tmp/deptest.deb"
chroot "$root" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends /tmp/deptest.deb \
    > "$work/package.log" 2>&1 || { tail -n 20 "$work/package.log"; echo "check-bundle: the package did not install" >&2; exit 1; }
command=$(sed -n 's/^Exec=//p' "$root/usr/share/applications/deptest.desktop")
# shellcheck disable=SC2086 # the menu entry's command line, split as a desktop splits it
start_background chroot "$root" env -i DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8 HOME=/root $command \
    > "$work/package-program.log" 2>&1
program=$started
window=$(wait_for_window "Test Dependent Files" "$program" "$work/package-program.log")
press_until_ended "$window" "$program" alt+x
# ---- Fedora layout: begin ----------------------------------------------
# The same root laid out as Fedora and openSUSE lay theirs out: the
# libraries in /usr/lib64, the loader told so, no Debian multiarch folder.
# Ctrl+B there must find the root's C library in its system directory.
lib64="$root/usr/lib64"
rm -f "$lib64/ld-linux-x86-64.so.2" # a link into the folder that goes
mv "$root/usr/lib/x86_64-linux-gnu"/* "$lib64/"
rm -f "$root"/etc/ld.so.conf.d/*x86_64-linux-gnu*.conf
echo /usr/lib64 > "$root/etc/ld.so.conf.d/lib64.conf"
chroot "$root" ldconfig
rm -rf "$root/usr/lib/x86_64-linux-gnu"
[ ! -e "$root/usr/lib/x86_64-linux-gnu/libc.so.6" ] && [ -f "$lib64/libc.so.6" ] \
    || { echo "check-bundle: the root is not laid out as Fedora's" >&2; exit 1; }
rm -f "$root$app/indll.txt" "$root$app/dllerr.txt" "$root$app/outdll.txt"
printf 'libc.so.6\r\nnosuch.so\r\n' > "$root$app/dlls.txt"
# Ctrl+B from the command line: the same generation, without a window.
status=0
chroot "$root" env -i LANG=C.UTF-8 LC_ALL=en_US.UTF-8 TZ=UTC HOME=/root \
    "$app/deptest" --generate --dir "$app" > "$work/fedora-program.log" 2>&1 || status=$?
echo "check-bundle: deptest --generate in the Fedora layout ended with status $status"
size=$(stat -L -c %s "$lib64/libc.so.6")
day=$(LC_ALL=C TZ=UTC date -d "@$(stat -L -c %Y "$lib64/libc.so.6")" '+%A, %B %-d, %Y')
expect indll.txt "\"libc.so.6\",\"$size\",\"$day\"\r\n"
expect dllerr.txt '"nosuch.so"\r\n'
if [ "$failures" -ne 0 ]; then
    cat "$work/fedora-program.log"
    exit 1
fi
echo "check-bundle: Ctrl+B in a Fedora layout recorded /usr/lib64/libc.so.6 ($size bytes, $day)"
# ---- Fedora layout: end ------------------------------------------------

echo "check-bundle: passed: the archive runs without Qt; the package ($(du -h "$deb" | cut -f1)) installs and its menu entry starts it"
