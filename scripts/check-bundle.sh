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
install_missing "${BUNDLE_PACKAGES[@]}"
archive=$(ls build-bundle/deptest-*-linux-x86_64.tar.gz 2>/dev/null | head -n 1 || true)
[ -n "$archive" ] || { bash scripts/bundle.sh; archive=$(ls build-bundle/deptest-*-linux-x86_64.tar.gz | head -n 1); }
folder=$(basename "$archive" .tar.gz)

work=$(mktemp -d /var/tmp/deptest-check.XXXXXX)
root="$work/root"
display=""
xvfb=""
program=""
cleanup() {
    [ -n "$program" ] && kill "$program" 2>/dev/null || true
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
    for mount in "$root/tmp/.X11-unix" "$root/proc"; do
        mountpoint -q "$mount" 2>/dev/null && umount -l "$mount"
    done
    rm -rf "$work"
}
trap cleanup EXIT

# How long a step on a busy machine may take before the check fails.
deadline=120
# Runs a command until it succeeds; fails with the message after the deadline.
wait_for() {
    local message=$1
    shift
    local until=$((SECONDS + deadline))
    until "$@"; do
        if [ "$SECONDS" -ge "$until" ]; then
            echo "check-bundle: $message" >&2
            exit 1
        fi
        sleep 0.2
    done
}
# Finds the program's window; fails at once, with its output, when the program has ended.
window=""
window_or_end() {
    window=$(DISPLAY=$display xdotool search --onlyvisible --name "Test Dependent Files" 2>/dev/null | head -n 1) || true
    [ -n "$window" ] && return 0
    if ! kill -0 "$program" 2>/dev/null; then
        cat "$1"
        echo "check-bundle: the program ended before it showed its window" >&2
        exit 1
    fi
    return 1
}
# Presses Exit once unless the program has ended; true when it has.
press_exit_until_ended() {
    kill -0 "$program" 2>/dev/null || return 0
    DISPLAY=$display xdotool windowfocus --sync "$window" key --clearmodifiers alt+x > /dev/null 2>&1 || true
    sleep 0.3
    ! kill -0 "$program" 2>/dev/null
}

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

# Xvfb picks a free display itself and names it on the pipe once it takes
# connections; -noreset keeps it from resetting under the program when a
# client that looked for the window disconnects as the last one.
mkfifo "$work/display"
Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -nolisten tcp 3> "$work/display" > "$work/xvfb.log" 2>&1 &
xvfb=$!
number=""
read -r -t "$deadline" number < "$work/display" || true
if [ -z "$number" ] || ! kill -0 "$xvfb" 2>/dev/null; then
    cat "$work/xvfb.log" >&2
    echo "check-bundle: Xvfb was not ready within $deadline s" >&2
    exit 1
fi
display=":$number"
mkdir -p "$root/tmp/.X11-unix"
mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
mount -t proc proc "$root/proc"

chroot "$root" env -i DISPLAY="$display" QT_QPA_PLATFORM=xcb LANG=C.UTF-8 LC_ALL=en_US.UTF-8 TZ=UTC HOME=/root \
    "$app/deptest" > "$work/program.log" 2>&1 &
program=$!
wait_for "no window within $deadline s" window_or_end "$work/program.log"
DISPLAY=$display xdotool windowfocus --sync "$window" key --clearmodifiers ctrl+b
# Ctrl+B handles no other key until it is done, so Test may follow at once;
# the lists are waited for only to say which step failed.
wait_for "Ctrl+B wrote no lists within $deadline s" test -e "$root$app/indll.txt" -a -e "$root$app/dllerr.txt"
DISPLAY=$display xdotool windowfocus --sync "$window" key --clearmodifiers alt+t
# Exit is disabled while the test runs: it is pressed until the program ends.
wait_for "Exit did not end the program within $deadline s" press_exit_until_ended
program=""

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
chroot "$root" env -i DISPLAY="$display" QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8 HOME=/root $command > "$work/package-program.log" 2>&1 &
program=$!
wait_for "the menu entry started no window within $deadline s" window_or_end "$work/package-program.log"
wait_for "Exit did not end the packaged program within $deadline s" press_exit_until_ended
program=""
echo "check-bundle: passed: the archive runs without Qt; the package ($(du -h "$deb" | cut -f1)) installs and its menu entry starts it"
