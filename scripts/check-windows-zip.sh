#!/usr/bin/env bash
# Proves the Windows zip under Wine, in a fresh Wine prefix that holds only
# what Windows itself has: the zip is unpacked there and nothing else is
# installed. Each check is a function below, failing loudly; the end of the
# file lists them in the order they run. Screenshots of the window and of the
# printed page are left in build-windows-qt/window.png and printed.png.
# Wine runs as nobody when started as root (scripts/lib/harness.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
. scripts/lib/harness.sh
install_missing "${BUILD_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}" "${WINDOWS_ZIP_TEST_PACKAGES[@]}"

zip=$(bash scripts/package-windows.sh | tail -n 1)
[ -f build-windows/windows_long_dates.exe ] || { cmake --preset windows > /dev/null && cmake --build --preset windows; }
[ -f build-ci/deptest ] || cmake --build build-ci --target deptest > /dev/null
linux_deptest=$PWD/build-ci/deptest
out=$PWD/build-windows-qt

work=$(mktemp -d /tmp/deptest-wine-zip.XXXXXX)
chmod 755 "$work"
cleanup() {
    [ -n "${KEEP_WINE_WORK:-}" ] && { echo "kept $work" >&2; return; }
    stop_wine
    stop_started
    rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() {
    echo "check-windows-zip: $*" >&2
    failures=$((failures + 1))
}

# ---- Set-up ---------------------------------------------------------------

# A private CUPS server with one queue that keeps what it is sent in a file
# (Wine's printers are CUPS queues), a private X server for the window, and
# the fresh prefix with the zip unpacked in it as a user would.
set_up() {
    start_cups "$work/cups"
    add_cups_queue office file:///dev/null
    start_xvfb "$work"
    export TZ=UTC
    start_wine_prefix "$work"
    # Windows keeps its interface fonts (Tahoma among them) in its Fonts
    # folder. Debian's Wine 8 looks for its own stand-ins (fonts-wine) under
    # "/usr/share/wine/../fonts", a name its file system layer cannot
    # resolve, so without this a fresh prefix has none of them: Qt's default
    # font then falls back to a CFF font of the machine's, which Wine's
    # PostScript driver prints as blank glyphs. They go where Windows has them.
    as_wine_user cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    name=$(basename "$zip" .zip)
    (cd "$WINEPREFIX/drive_c" && as_wine_user cmake -E tar xf "$zip")
    app="$WINEPREFIX/drive_c/$name"
    windows_app="C:\\$name"
    system32="$WINEPREFIX/drive_c/windows/system32"
    windows="$WINEPREFIX/drive_c/windows"
    linux="$work/linux"
}

# ---- Helpers --------------------------------------------------------------

# The console program of the zip, run in the prefix.
console() { wine_run "$windows_app\\deptest.com" "$@"; }
# Standard input written to a file of the program's folder.
in_app() { as_wine_user tee "$app/$1" > /dev/null; }

# The long date Windows writes for a file here (English, UTC), and the one a
# German Windows wrote for the same day.
english_day() { LC_ALL=C date -u -d "@$(stat -c %Y "$1")" '+%A, %B %-d, %Y'; }
german_day() {
    local day month
    day=$(LC_ALL=C date -u -d "@$(stat -c %Y "$1")" '+%u')
    month=$(LC_ALL=C date -u -d "@$(stat -c %Y "$1")" '+%-m')
    local days=(Montag Dienstag Mittwoch Donnerstag Freitag Samstag Sonntag)
    local months=(Januar Februar März April Mai Juni Juli August September Oktober November Dezember)
    printf '%s, %s. %s %s' "${days[day - 1]}" "$(LC_ALL=C date -u -d "@$(stat -c %Y "$1")" '+%-d')" \
        "${months[month - 1]}" "$(LC_ALL=C date -u -d "@$(stat -c %Y "$1")" '+%Y')"
}

# Dates and paths masked: each system writes its own.
masked() { sed -E 's/"(date|referenceDate|where)":"[^"]*"/"\1":"-"/g; s/"[A-Z][a-z]+day, [^"]*"/"DAY"/g' "$@"; }
compare_runs() { # what, linux exit, windows exit, files...
    local what=$1 linux_status=$2 windows_status=$3 file
    shift 3
    [ "$linux_status" = "$windows_status" ] || fail "$what: exit status $windows_status on Windows, $linux_status on Linux"
    for file in "$@"; do
        cmp -s <(masked "$linux/$file") <(masked "$app/$file") \
            || fail "$what: $file differs:"$'\n'"$(diff <(masked "$linux/$file") <(masked "$app/$file") | head -n 20)"
    done
}
run_both() { # name, arguments...: prints the Linux and the Windows exit status
    local name=$1 linux_status=0 windows_status=0
    shift
    (cd "$linux" && LC_ALL=C.UTF-8 "$linux_deptest" --dir "$linux" "$@" > "$linux/$name.out" 2> /dev/null) \
        || linux_status=$?
    console "$@" > "$work/$name.out" 2> /dev/null || windows_status=$?
    cp "$work/$name.out" "$app/$name.out"
    echo "$linux_status $windows_status"
}

# ---- Checks ---------------------------------------------------------------

# Windows' own files, measured as Windows has them: kernel32.dll and
# user32.dll found in system32 and a program only the Windows folder holds
# found there (the search: the system folder, the Windows folder, the
# program's folder), with the prefix's sizes and long dates.
check_windows_own_files() {
    local only_in_windows="" candidate status expected file found
    for candidate in notepad.exe regedit.exe hh.exe winhlp32.exe explorer.exe; do
        if [ -f "$windows/$candidate" ] && ! [ -e "$system32/$candidate" ]; then
            only_in_windows=$candidate
            break
        fi
    done
    [ -n "$only_in_windows" ] || fail "the prefix has no program in the Windows folder alone"
    printf '"kernel32.dll"\r\n"user32.dll"\r\n"%s"\r\n' "$only_in_windows" | in_app dlls.txt
    status=0
    console --generate > "$work/generate.txt" 2>&1 || status=$?
    expected=""
    for file in "$system32/kernel32.dll" "$system32/user32.dll" "$windows/$only_in_windows"; do
        expected+="\"$(basename "$file")\",\"$(stat -c %s "$file")\",\"$(english_day "$file")\""$'\r\n'
    done
    [ "$status" -eq 0 ] && cmp -s <(printf '%s' "$expected") "$app/indll.txt" \
        || fail "Windows' own files: exit status $status, indll.txt"$'\n'"$(cat -A "$app/indll.txt")"$'\n'"expected"$'\n'"$expected$(cat "$work/generate.txt")"
    status=0
    console --test --json > "$work/test.txt" 2>&1 || status=$?
    [ "$status" -eq 0 ] || fail "a test of Windows' own files gave exit status $status: $(cat "$work/test.txt")"
    for found in 'kernel32\.dll".*"where":"C:[\]+windows[\]+system32[\]+kernel32\.dll"' \
        'user32\.dll".*"where":"C:[\]+windows[\]+system32[\]+user32\.dll"' \
        "$only_in_windows\".*\"where\":\"C:[\\]+windows[\\]+$only_in_windows\""; do
        grep -q -i -E "\"name\":\"$found" "$work/test.txt" || fail "not found where expected: $found"$'\n'"$(cat "$work/test.txt")"
    done
}

# The console program against the Linux build: the same files, the same
# lists and JSON byte for byte (dates and paths aside), the same exit
# statuses; with the content check, the digest list as Linux writes it and
# a file changed inside with its size and date kept found as "Contents
# differ".
check_console_against_linux() {
    local dir l w
    mkdir -p "$linux"
    for dir in "$linux" "$app"; do
        head -c 1000 /dev/zero | tr '\0' a > "$dir/a.dll"
        head -c 2048 /dev/zero | tr '\0' b > "$dir/b.dll"
        printf '"a.dll"\r\n"b.dll"\r\n"missing.dll"\r\n' > "$dir/dlls.txt"
        touch -d '2024-02-29 12:00:00 UTC' "$dir/a.dll" "$dir/b.dll"
    done
    chown -R 65534:65534 "$app"
    read -r l w < <(run_both generate --generate)
    compare_runs "--generate" "$l" "$w" indll.txt dllerr.txt
    [ "$w" = 1 ] || fail "--generate with a name not found gave $w, expected 1"
    read -r l w < <(run_both match --test --json)
    compare_runs "--test, all matching" "$l" "$w" outdll.txt match.out
    [ "$w" = 0 ] || fail "--test with every file matching gave $w, expected 0"
    for dir in "$linux" "$app"; do head -c 100 /dev/zero >> "$dir/b.dll"; done
    read -r l w < <(run_both mismatch --test --json)
    compare_runs "--test, one size differing" "$l" "$w" outdll.txt mismatch.out
    [ "$w" = 1 ] || fail "--test with a file differing gave $w, expected 1"
    read -r l w < <(run_both digest --generate --digest)
    compare_runs "--generate --digest" "$l" "$w" indll.txt indll.sha256 dllerr.txt
    for dir in "$linux" "$app"; do
        printf 'A' | dd of="$dir/a.dll" bs=1 seek=500 conv=notrunc status=none
        touch -d '2024-02-29 12:00:00 UTC' "$dir/a.dll"
    done
    read -r l w < <(run_both contents --test --json)
    compare_runs "--test, contents differing" "$l" "$w" outdll.txt contents.out
    [ "$w" = 1 ] && grep -q '"a.dll",.*"Contents differ"' "$app/outdll.txt" \
        || fail "a file changed inside gave $w:"$'\n'"$(cat "$app/outdll.txt")"
    rm -f "$linux/indll.txt" "$app/indll.txt" "$linux/indll.sha256" "$app/indll.sha256"
    read -r l w < <(run_both nolist --test)
    compare_runs "--test without a reference list" "$l" "$w"
    [ "$w" = 2 ] || fail "--test without a reference list gave $w, expected 2"
}

# Signed lists: the console program signs with a key minisign made, minisign
# checks its signatures, and with the key in the machine's folder of trusted
# keys (%ProgramData%\deptest\trusted) a test passes, then refuses the list
# once forged. Unsigned lists and a.dll as it was are put back after.
check_signed_lists() {
    local trusted="$WINEPREFIX/drive_c/ProgramData/deptest/trusted" status
    minisign -G -W -p "$work/signing.pub" -s "$work/signing.key" > /dev/null
    cp "$work/signing.key" "$app/signing.key"
    chown 65534:65534 "$app/signing.key"
    status=0
    console --generate --sign "$windows_app\\signing.key" > "$work/signed.txt" 2>&1 || status=$?
    [ "$status" = 1 ] && minisign -V -q -p "$work/signing.pub" -m "$app/indll.txt" \
        || fail "--generate --sign gave $status, or minisign does not accept its signature:"$'\n'"$(cat "$work/signed.txt")"
    as_wine_user mkdir -p "$trusted"
    as_wine_user tee "$trusted/fleet.pub" < "$work/signing.pub" > /dev/null
    status=0
    console --test > "$work/checked.txt" 2>&1 || status=$?
    [ "$status" = 0 ] && grep -q "indll.txt: signed by key" "$work/checked.txt" \
        || fail "a signed list with its key trusted gave $status:"$'\n'"$(cat "$work/checked.txt")"
    sed -i 's/"a.dll","1000"/"a.dll","1001"/' "$app/indll.txt"
    printf 'x' >> "$app/a.dll"
    status=0
    console --test --json > "$work/forged.txt" 2>&1 || status=$?
    [ "$status" = 2 ] && grep -q "indll.txt is refused: its signature does not match" "$work/forged.txt" \
        && ! grep -q '"outcome":"match"' "$work/forged.txt" \
        || fail "a forged list with its key trusted gave $status:"$'\n'"$(cat "$work/forged.txt")"
    rm -rf "$WINEPREFIX/drive_c/ProgramData/deptest" "$app/signing.key" "$app"/*.minisig
    truncate -s 1000 "$app/a.dll"
    touch -d '2024-02-29 12:00:00 UTC' "$app/a.dll"
}

check_help() {
    local status=0
    console --help > "$work/help.txt" 2>&1 || status=$?
    grep -q -- "--names-of" "$work/help.txt" && [ "$status" -eq 0 ] || fail "--help: exit $status"$'\n'"$(cat "$work/help.txt")"
}

# Ctrl+C: the run ends after the entry at hand, every record whole, exit
# status 2. Standard output is a pipe of which only the first line is read
# until the signal is sent: that line says an entry has been judged, and
# the run, held by the full pipe, cannot be over before the signal. The
# signal goes to the console program by its process id.
check_ctrl_c() {
    local entries=100000 i reader judged
    for ((i = 0; i < entries; i++)); do
        printf '"absent%d.dll","1","Monday, December 7, 2026"\r\n' "$i"
    done | in_app indll.txt
    rm -f "$app/outdll.txt" "$work/go" "$work/judging" "$work/stop.pid"
    (
        status=0
        "${wine_command[@]}" "$windows_app\\deptest.com" --test --json --app-dir-only 2> "$work/stop.err" &
        echo "$!" > "$work/stop.pid"
        wait "$!" || status=$?
        echo "$status" > "$work/stop.status"
    ) | (
        : > "$work/stop.out"
        IFS= read -r first && printf '%s\n' "$first" > "$work/stop.out"
        touch "$work/judging"
        wait_for "the signal to be sent" test -e "$work/go"
        cat >> "$work/stop.out"
    ) &
    reader=$!
    wait_for "the long run to judge an entry" test -e "$work/judging"
    wait_for "the long run's process id" test -s "$work/stop.pid"
    kill -INT "$(cat "$work/stop.pid")" || fail "no console program to stop"
    touch "$work/go"
    wait "$reader"
    judged=$(wc -l < "$work/stop.out")
    [ "$(cat "$work/stop.status")" = 2 ] && [ "$judged" -gt 0 ] && [ "$judged" -lt "$entries" ] \
        && [ "$(cat "$work/stop.err")" = "deptest: stopped on request after $judged entries" ] \
        || fail "Ctrl+C: exit status $(cat "$work/stop.status") after $judged entries: $(cat "$work/stop.err")"
    [ "$(wc -l < "$app/outdll.txt")" -eq $((judged + 1)) ] \
        && tail -n 1 "$app/outdll.txt" | grep -q "^\"absent$((judged - 1))\.dll\",.*\"File not found\""$'\r'"\$" \
        || fail "Ctrl+C: the exceptions do not end on the last entry judged:"$'\n'"$(tail -n 2 "$app/outdll.txt" | cat -A)"
}

# A reference list from a German Windows: its long dates in code page 1252
# ("März") read on this English one.
check_german_list() {
    local status=0
    {
        printf '"a.dll","1000","%s"\r\n' "$(german_day "$app/a.dll")"
        printf '"kernel32.dll","%s","%s"\r\n' "$(stat -c %s "$system32/kernel32.dll")" \
            "$(german_day "$system32/kernel32.dll")"
    } | iconv -f UTF-8 -t CP1252 | in_app indll.txt
    console --test > "$work/german.txt" 2>&1 || status=$?
    [ "$status" -eq 0 ] || fail "a German list gave exit status $status:"$'\n'"$(cat "$work/german.txt" "$app/outdll.txt")"
}

# Timestamps as scripts write them (ISO 8601 with Z, RFC 1123 with GMT):
# moments, read as the day they fall on here; a day later is no match.
stamp() { LC_ALL=C date -u -d "@$(($(stat -c %Y "$2") + $3))" "$1"; }
check_timestamps() {
    local later status expected
    for later in 0 86400; do
        {
            printf '"a.dll","1000","%s"\r\n' "$(stamp '+%Y-%m-%dT%H:%M:%SZ' "$app/a.dll" "$later")"
            printf '"kernel32.dll","%s","%s"\r\n' "$(stat -c %s "$system32/kernel32.dll")" \
                "$(stamp '+%a, %d %b %Y %H:%M:%S GMT' "$system32/kernel32.dll" "$later")"
        } | in_app indll.txt
        status=0
        console --test > "$work/stamps.txt" 2>&1 || status=$?
        expected=$([ "$later" -eq 0 ] && echo 0 || echo 1)
        [ "$status" -eq "$expected" ] && { [ "$expected" -eq 0 ] || [ "$(grep -c 'Bad date or size' "$app/outdll.txt")" -eq 2 ]; } \
            || fail "timestamps a day apart by $later s gave exit status $status:"$'\n'"$(cat "$work/stamps.txt" "$app/outdll.txt")"
    done
}

# The window, as a user meets it: Ctrl+B, Alt+T, a look, Alt+X; then the
# lists Ctrl+B wrote.
check_window() {
    local program window
    printf '"kernel32.dll"\r\n"a.dll"\r\n"nosuch.dll"\r\n' | in_app dlls.txt
    rm -f "$app/indll.txt" "$app/dllerr.txt" "$app/outdll.txt"
    (cd "$app" && exec "${wine_command[@]}" "$windows_app\\deptest.exe") > "$work/window.log" 2>&1 &
    program=$!
    window=$(wait_for_window "Test Dependent Files" "$program" "$work/window.log")
    press "$window" ctrl+b
    wait_for "Ctrl+B to write the lists" test -s "$app/indll.txt" -a -s "$app/dllerr.txt"
    press "$window" alt+t
    wait_for "Alt+T to write the exceptions" test -s "$app/outdll.txt"
    # The lists are drawn once the run is over: the screenshot waits for the
    # exceptions file to be whole, then for the window to take a key again.
    import -display "$DISPLAY" -window root "$out/window.png"
    press_until_ended "$window" "$program" alt+x
    wait "$program" || true
    cmp -s <(printf '"kernel32.dll","%s","%s"\r\n"a.dll","1000","%s"\r\n' "$(stat -c %s "$system32/kernel32.dll")" \
        "$(english_day "$system32/kernel32.dll")" "$(english_day "$app/a.dll")") "$app/indll.txt" \
        || fail "the window's Ctrl+B wrote"$'\n'"$(cat -A "$app/indll.txt")"
    cmp -s <(printf '"nosuch.dll"\r\n') "$app/dllerr.txt" || fail "the window's not-found list:"$'\n'"$(cat -A "$app/dllerr.txt")"
}

# Printing: the exceptions reach the default queue as a page with ink on
# it; with no printer at all, 482 with Windows' reason. (Wine, as Windows'
# spooler, takes a job for a queue that then refuses it: the refusal stays
# in the scheduler's log, and Linux's tests cover it through CUPS itself.)
printed() { lpstat -W completed -o office 2> /dev/null | grep -q "office-1 "; }
check_printing() {
    local status=0 job ink
    printf 'Format: Filename, Size of file on target, size of original file, date of target file, date of original, error\r\n"b.dll",2148,2048,"Thursday, February 29, 2024","Thursday, February 29, 2024","Bad date or size"\r\n' \
        | in_app outdll.txt
    console --print > "$work/print.txt" 2>&1 || status=$?
    [ "$status" -eq 0 ] || fail "--print gave exit status $status: $(cat "$work/print.txt")"
    # The scheduler keeps each job's document in its spool: the first one is
    # the report, once the job is completed.
    wait_for "a job to reach the queue" printed
    job=$(find "$work/cups/spool" -maxdepth 1 -name 'd00001-*' | head -n 1)
    [ -n "$job" ] && head -c 200 "$job" | grep -a -q "deptest - outdll.txt" || fail "the job is not the report"
    gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=png16m -r60 -dFirstPage=1 -dLastPage=1 -sOutputFile="$out/printed.png" \
        "$job" > /dev/null 2>&1 || fail "the printed job is no PostScript"
    # The page holds the report's text: more than blank paper.
    ink=$(convert "$out/printed.png" -colorspace gray -format '%[fx:1-mean]' info: 2> /dev/null || echo 0)
    awk -v ink="$ink" 'BEGIN { exit !(ink > 0.002) }' || fail "the printed page is blank (ink $ink)"
    lpadmin -x office
    status=0
    console --print > "$work/refused.txt" 2>&1 || status=$?
    [ "$status" -eq 2 ] && grep -q "^Error  482: no default printer is set in Windows' printer settings (.\+)" \
        "$work/refused.txt" || fail "no printer gave exit status $status: $(cat "$work/refused.txt")"
}

# Windows' own long dates of every locale, read by the Windows build's date
# reader with no wrong day and as many right as the Linux build reads.
check_long_dates() {
    local status=0
    cp build-windows/windows_long_dates.exe build-windows-qt/check_windows_dates.exe "$work/"
    chmod 644 "$work"/*.exe
    wine_run "$work/windows_long_dates.exe" > "$work/long-dates.txt" 2> /dev/null || status=$?
    [ "$status" -eq 0 ] || fail "Wine did not write the long dates (exit status $status)"
    status=0
    wine_run "$work/check_windows_dates.exe" --max-wrong 0 --min-right-utf8 10204 --min-right-code-page 5379 \
        "Z:$work/long-dates.txt" > "$work/dates-check.txt" 2>&1 || status=$?
    [ "$status" -eq 0 ] || fail "the Windows build's date reader:"$'\n'"$(tail -n 12 "$work/dates-check.txt")"
}

# ---- The checks, in the order they run -------------------------------------

set_up
check_windows_own_files
check_console_against_linux
check_signed_lists
check_help
check_ctrl_c
check_german_list
check_timestamps
check_window
check_printing
check_long_dates

if [ "$failures" -ne 0 ]; then
    echo "check-windows-zip: $failures checks failed" >&2
    exit 1
fi
echo "check-windows-zip: $(basename "$zip") ($(du -h "$zip" | cut -f1)) ran in a fresh Wine prefix: console, Windows' own files, contents, Ctrl+C, a German list, timestamps, the window, printing"
