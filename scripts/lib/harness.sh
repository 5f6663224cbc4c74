# shellcheck shell=bash
# What the check scripts share: bounded waits that fail loudly, a private X
# server, a private CUPS scheduler, finding and closing a window, a Wine
# prefix run as a user other than root, and stopping by process id what was
# started here. Sourced; the sourcing script names itself in the messages
# through HARNESS_NAME (its file name by default).
#
# Every wait is a bounded number of tries: a condition met goes on at once,
# one never met fails the script with what it waited for. No verdict rests
# on a sleep.

HARNESS_NAME=${HARNESS_NAME:-$(basename "$0" .sh)}
# How long one wait may take on a busy machine, in seconds.
HARNESS_DEADLINE=${HARNESS_DEADLINE:-120}
# What start_background started, to be stopped by stop_started.
harness_started=()

# Says what went wrong, naming the script, and ends it.
harness_die() {
    echo "$HARNESS_NAME: $*" >&2
    exit 1
}

# wait_for WHAT COMMAND...: runs COMMAND until it succeeds, five tries a
# second for HARNESS_DEADLINE seconds; then ends the script saying it
# waited in vain for WHAT.
wait_for() {
    local what=$1 tries=0
    shift
    local most=$((HARNESS_DEADLINE * 5))
    until "$@"; do
        tries=$((tries + 1))
        [ "$tries" -lt "$most" ] || harness_die "waited in vain for $what ($most tries over $HARNESS_DEADLINE s)"
        sleep 0.2
    done
}

# start_background COMMAND...: starts an external COMMAND in the background
# (redirections go on the call) and remembers it for stop_started; its
# process id is in $started.
start_background() {
    "$@" &
    started=$!
    harness_started+=("$started")
}

# stop_pid PID: asks the process, a job of this shell, to end, waits a
# bounded time for it and kills it if it has not; quiet when it has ended
# already (a process id no longer this shell's job's may be another's now).
stop_pid() {
    local pid=$1 tries=0
    jobs -pr | grep -qx "$pid" || return 0
    kill "$pid" 2> /dev/null || return 0
    while kill -0 "$pid" 2> /dev/null; do
        tries=$((tries + 1))
        if [ "$tries" -ge 100 ]; then
            kill -KILL "$pid" 2> /dev/null || true
            break
        fi
        sleep 0.1
    done
    wait "$pid" 2> /dev/null || true
}

# Stops, newest first, every process start_background, start_xvfb and
# start_cups started. For the script's EXIT trap.
stop_started() {
    local i
    for ((i = ${#harness_started[@]} - 1; i >= 0; i--)); do
        stop_pid "${harness_started[i]}"
    done
    harness_started=()
}

# start_xvfb DIR: a private X server on a display no other has (Xvfb picks
# a free one and names it on a pipe once it takes connections), its log in
# DIR/xvfb.log; exports DISPLAY. -noreset keeps it from resetting under a
# program when the last client that looked for a window disconnects.
start_xvfb() {
    local dir=$1 number=""
    mkfifo "$dir/display"
    Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -nolisten tcp 3> "$dir/display" > "$dir/xvfb.log" 2>&1 &
    xvfb_pid=$!
    harness_started+=("$xvfb_pid")
    read -r -t "$HARNESS_DEADLINE" number < "$dir/display" || true
    if [ -z "$number" ] || ! kill -0 "$xvfb_pid" 2> /dev/null; then
        cat "$dir/xvfb.log" >&2
        harness_die "no X server within $HARNESS_DEADLINE s"
    fi
    export DISPLAY=":$number"
}

stop_xvfb() {
    stop_pid "$xvfb_pid"
}

# start_cups DIR: a private CUPS scheduler whose configuration, spool, state
# and logs are all under DIR, listening on DIR/socket alone; exports
# CUPS_SERVER so that lpadmin, lpstat and the programs printing use it.
start_cups() {
    local dir=$1
    cups_dir=$dir
    mkdir -p "$dir"/{spool,cache,state,log,tmp}
    cat > "$dir/cupsd.conf" << EOF
Listen $dir/socket
LogLevel warn
WebInterface No
Browsing No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
EOF
    cat > "$dir/cups-files.conf" << EOF
ServerRoot $dir
RequestRoot $dir/spool
CacheDir $dir/cache
StateDir $dir/state
TempDir $dir/tmp
ErrorLog $dir/log/error_log
AccessLog $dir/log/access_log
PageLog $dir/log/page_log
ServerBin /usr/lib/cups
DataDir /usr/share/cups
FileDevice Yes
EOF
    /usr/sbin/cupsd -f -c "$dir/cupsd.conf" -s "$dir/cups-files.conf" &
    cupsd_pid=$!
    harness_started+=("$cupsd_pid")
    export CUPS_SERVER=$dir/socket
    wait_for "the CUPS scheduler to run" cups_running
}

cups_running() {
    kill -0 "$cupsd_pid" 2> /dev/null || harness_die "the CUPS scheduler ended: $(cat "$cups_dir/log/error_log" 2> /dev/null)"
    lpstat -r 2> /dev/null | grep -q "scheduler is running"
}

# add_cups_queue NAME URI: a queue of the private scheduler, taking jobs,
# and the default one.
add_cups_queue() {
    lpadmin -p "$1" -E -v "$2"
    lpadmin -d "$1"
}

stop_cups() {
    stop_pid "$cupsd_pid"
}

# wait_for_window TITLE PID [LOG]: prints the id of the first visible window
# titled TITLE once there is one. Ends the script at once, with LOG, when
# the process PID (the program's) ends first.
wait_for_window() {
    local title=$1 pid=$2 log=${3:-/dev/null}
    wait_for "a window titled \"$title\"" harness_window_or_end "$title" "$pid" "$log"
    xdotool search --onlyvisible --name "$title" 2> /dev/null | head -n 1
}

harness_window_or_end() {
    [ -n "$(xdotool search --onlyvisible --name "$1" 2> /dev/null | head -n 1)" ] && return 0
    if ! kill -0 "$2" 2> /dev/null; then
        cat "$3" >&2
        harness_die "the program ended before it showed a window titled \"$1\""
    fi
    return 1
}

# press WINDOW KEY: the key pressed in the window, once it has the focus.
press() {
    xdotool windowfocus --sync "$1" key --clearmodifiers "$2"
}

# press_until_ended WINDOW PID KEY: presses KEY in the window until the
# process PID has ended (a button that is disabled for a while takes it
# later).
press_until_ended() {
    wait_for "the program to end on $3" harness_pressed_and_ended "$@"
}

harness_pressed_and_ended() {
    kill -0 "$2" 2> /dev/null || return 0
    press "$1" "$3" > /dev/null 2>&1 || true
    ! kill -0 "$2" 2> /dev/null
}

# Wine as a user other than root (nobody, when started as root): Wine keeps
# the read-only attribute as the file's write permission, which root is not
# held to. as_wine_user runs a command as that user, wine_run a Windows
# program; wine_command is that program's command line to start it in the
# background, an external command whose process id is the program's.
wine_user=()
[ "$(id -u)" -ne 0 ] || wine_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
wine_command=("${wine_user[@]}" /usr/lib/wine/wine64)
as_wine_user() { "${wine_user[@]}" "$@"; }
wine_run() { "${wine_command[@]}" "$@"; }

# start_wine_prefix DIR: a fresh Wine prefix DIR/prefix, DIR its home and
# the Wine user's (what DIR holds already stays whose it is); exports what
# Wine reads: no debug output, no Mono or Gecko installer, the C.UTF-8
# language (in the bare C language Wine cannot name a file with letters
# beyond ASCII).
start_wine_prefix() {
    local dir=$1
    export WINEPREFIX="$dir/prefix" HOME="$dir" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=C.UTF-8 \
        LC_ALL=C.UTF-8
    [ "$(id -u)" -ne 0 ] || chown 65534:65534 "$dir"
    wine_run wineboot --init > /dev/null 2>&1
}

# Ends every process of the prefix, through its wineserver.
stop_wine() {
    as_wine_user /usr/lib/wine/wineserver -k 2> /dev/null || true
}
