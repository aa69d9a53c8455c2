# Harness for end-to-end tests: runs the real instrument on a virtual X display
# (Xvfb) with a PulseAudio null sink as its sound card, drives it with xdotool and
# looks at what it leaves behind (console output, screenshots, bounce files).
#
# Source it, then:  e2e_init "$1"; e2e_start_xvfb; e2e_start_pulse;
#                   e2e_make_workdir DIR; e2e_start_app DIR; e2e_wait_window; ...
# Everything started here is ended by process id when the script exits.

E2E_RUNTIME_PACKAGES="xvfb xdotool pulseaudio imagemagick x11-utils sox"
E2E_WINDOW_NAME="ZOLTA FENRI"
E2E_SCREEN_SIZE="1280x800x24"
# The stand-in "convert" that some machines put first in PATH is not ImageMagick.
E2E_CONVERT=/usr/bin/convert

E2E_TMP=""
E2E_BIN=""
E2E_XVFB_PID=""
E2E_PULSE_PID=""
E2E_APP_PID=""
E2E_APP_DIR=""
E2E_APP_STATUS=""
E2E_WINDOW=""
E2E_CACHE_DIR=""
E2E_FAILED=0
E2E_LOG_PREFIX="[e2e]"

e2e_log() { echo "$E2E_LOG_PREFIX $*"; }

# Installs the Debian packages of the list that are not installed yet.
e2e_install_packages() {
    local missing=() package
    for package in "$@"; do
        dpkg -s "$package" 2>/dev/null | grep -q '^Status: install ok installed' || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing missing packages: ${missing[*]}"
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
}

# Prints the failure, the console output of the instrument, and marks the test failed.
e2e_fail() {
    echo "FAIL: $*" >&2
    E2E_FAILED=1
    if [ -n "$E2E_APP_DIR" ]; then
        echo "---- stdout of the instrument ($E2E_APP_DIR/stdout.log):" >&2
        tail -n 40 "$E2E_APP_DIR/stdout.log" >&2 2>/dev/null
        echo "---- stderr of the instrument ($E2E_APP_DIR/stderr.log):" >&2
        tail -n 40 "$E2E_APP_DIR/stderr.log" >&2 2>/dev/null
        echo "----" >&2
    fi
    exit 1
}

# Polls a command every 0.1 s until it succeeds or TIMEOUT seconds have passed.
e2e_wait_for() {
    local timeout=$1
    shift
    local deadline=$((${EPOCHREALTIME/./} + timeout * 1000000))
    while ! "$@"; do
        [ "${EPOCHREALTIME/./}" -ge "$deadline" ] && return 1
        sleep 0.1
    done
    return 0
}

e2e_process_running() {
    local pid=$1 stat
    stat=$(cat "/proc/$pid/stat" 2>/dev/null) || return 1
    stat=${stat##*) }
    [ "${stat:0:1}" != "Z" ]
}

# Ends a process we started: politely first, then for sure.
e2e_stop_pid() {
    local pid=$1
    [ -n "$pid" ] || return 0
    if e2e_process_running "$pid"; then
        kill "$pid" 2>/dev/null
        e2e_wait_for 3 e2e_not_running "$pid" || kill -KILL "$pid" 2>/dev/null
    fi
    wait "$pid" 2>/dev/null
    return 0
}

e2e_not_running() { ! e2e_process_running "$1"; }

e2e_cleanup() {
    e2e_stop_pid "$E2E_APP_PID"
    e2e_stop_pid "$E2E_PULSE_PID"
    e2e_stop_pid "$E2E_XVFB_PID"
    if [ "$E2E_FAILED" -eq 0 ] && [ -z "${E2E_KEEP:-}" ]; then
        rm -rf "$E2E_TMP"
    else
        echo "Test files kept in $E2E_TMP" >&2
    fi
}

# Makes the private temp folder (servers' sockets, logs, working folders) and
# arranges for everything started here to be ended when the script exits.
e2e_make_tmp() {
    E2E_TMP=$(mktemp -d /tmp/zolta-e2e.XXXXXX)
    chmod 700 "$E2E_TMP"
    trap 'e2e_cleanup' EXIT
    trap 'exit 130' INT TERM
}

# Checks the binary and the tools, then makes the temp folder.
e2e_init() {
    E2E_BIN=${1:-}
    [ -n "$E2E_BIN" ] || { echo "usage: $0 <path of the zoltafenri binary>" >&2; exit 2; }
    E2E_BIN=$(readlink -f "$E2E_BIN")
    [ -x "$E2E_BIN" ] || { echo "FAIL: no executable at '$E2E_BIN'" >&2; exit 1; }
    # shellcheck disable=SC2086
    e2e_install_packages $E2E_RUNTIME_PACKAGES || { echo "FAIL: cannot install $E2E_RUNTIME_PACKAGES" >&2; exit 1; }
    e2e_make_tmp
    # Keeps caches and configuration that libraries write out of the real home folder.
    export HOME="$E2E_TMP/home"
    mkdir -p "$HOME"
}

e2e_display_answers() { xdpyinfo >/dev/null 2>&1; }

# Starts Xvfb on the first free display number; exports DISPLAY once it answers.
e2e_start_xvfb() {
    local number_file="$E2E_TMP/xvfb-display"
    : >"$number_file"
    # -displayfd makes the server pick a free number itself and write it when ready,
    # so that tests running side by side never race for the same display.
    Xvfb -displayfd 3 -screen 0 "$E2E_SCREEN_SIZE" -nolisten tcp -br -noreset \
        3>"$number_file" >"$E2E_TMP/xvfb.log" 2>&1 &
    E2E_XVFB_PID=$!
    if ! e2e_wait_for 20 grep -q '[0-9]' "$number_file"; then
        cat "$E2E_TMP/xvfb.log" >&2
        e2e_fail "Xvfb did not start within 20 s"
    fi
    DISPLAY=":$(tr -dc 0-9 <"$number_file")"
    export DISPLAY
    e2e_wait_for 20 e2e_display_answers || e2e_fail "Xvfb on $DISPLAY does not answer xdpyinfo"
    e2e_log "started Xvfb on display $DISPLAY (pid $E2E_XVFB_PID)"
}

e2e_pulse_answers() { pactl info >/dev/null 2>&1; }

# Starts a user-mode PulseAudio server whose only sink is a null sink, in a private
# runtime folder; exports PULSE_SERVER so that every client (the instrument via
# RtAudio, pactl) meets this server and no other.
e2e_start_pulse() {
    local home="$E2E_TMP/pulse"
    mkdir -p "$home/runtime"
    chmod -R 700 "$home"
    # No DISPLAY: the server would otherwise try to start a D-Bus session through X.
    env -u DISPLAY HOME="$home" XDG_RUNTIME_DIR="$home/runtime" PULSE_RUNTIME_PATH="$home/runtime/pulse" \
        pulseaudio --daemonize=no -n --exit-idle-time=-1 --disallow-exit --use-pid-file=no \
        --log-target=stderr \
        --load="module-null-sink sink_name=e2e_null rate=44100 channels=2" \
        --load="module-native-protocol-unix auth-anonymous=1 socket=$home/native" \
        >"$E2E_TMP/pulse.log" 2>&1 &
    E2E_PULSE_PID=$!
    export PULSE_SERVER="unix:$home/native"
    if ! e2e_wait_for 20 e2e_pulse_answers; then
        cat "$E2E_TMP/pulse.log" >&2
        e2e_fail "PulseAudio null sink did not answer within 20 s"
    fi
    e2e_log "started a PulseAudio null sink at $PULSE_SERVER (pid $E2E_PULSE_PID)"
}

# Creates a fresh working folder for one run of the instrument; prints its path.
e2e_make_workdir() {
    local dir="$E2E_TMP/$1"
    rm -rf "$dir"
    mkdir -p "$dir"
    echo "$dir"
}

# Starts the instrument in DIR with the remaining arguments; console output goes
# to DIR/stdout.log and DIR/stderr.log, line by line.
e2e_start_app() {
    E2E_APP_DIR=$1
    shift
    E2E_APP_STATUS=""
    E2E_WINDOW=""
    cd "$E2E_APP_DIR" || e2e_fail "cannot enter $E2E_APP_DIR"
    # The analysis cache goes to the test's own folder (E2E_CACHE_DIR, shared
    # by the runs of one script), never to the user's.
    E2E_CACHE_DIR=${E2E_CACHE_DIR:-$E2E_TMP/cache}
    XDG_CACHE_HOME="$E2E_CACHE_DIR" stdbuf -oL -eL "$E2E_BIN" "$@" >"$E2E_APP_DIR/stdout.log" \
        2>"$E2E_APP_DIR/stderr.log" &
    E2E_APP_PID=$!
    cd - >/dev/null || true
    e2e_log "instrument started in $E2E_APP_DIR (pid $E2E_APP_PID)"
}

e2e_find_window() {
    E2E_WINDOW=$(xdotool search --onlyvisible --name "^$E2E_WINDOW_NAME\$" 2>/dev/null | head -n 1)
    [ -n "$E2E_WINDOW" ] || e2e_app_ended
}

# Waits until the instrument's window is mapped; fails early if the process ends.
e2e_wait_window() {
    local timeout=${1:-30}
    e2e_wait_for "$timeout" e2e_find_window || e2e_fail "no visible window named '$E2E_WINDOW_NAME' after $timeout s"
    [ -n "$E2E_WINDOW" ] || e2e_fail "the instrument ended (status $E2E_APP_STATUS) before showing its window"
}

# True once the instrument has ended; E2E_APP_STATUS then holds its exit status.
e2e_app_ended() {
    [ -n "$E2E_APP_STATUS" ] && return 0
    e2e_process_running "$E2E_APP_PID" && return 1
    wait "$E2E_APP_PID"
    E2E_APP_STATUS=$?
    return 0
}

e2e_wait_app_exit() {
    e2e_wait_for "$1" e2e_app_ended
}

e2e_require_running() {
    e2e_app_ended && e2e_fail "the instrument ended unexpectedly (status $E2E_APP_STATUS)"
    return 0
}

# There is no window manager: focus is given directly, and keys and clicks are real
# (XTEST) events, which the toolkit handles like a user's.
e2e_focus() {
    e2e_require_running
    timeout 10 xdotool windowfocus --sync "$E2E_WINDOW" || e2e_fail "cannot focus window $E2E_WINDOW"
}

# Sends key strokes in xdotool's names, e.g. e2e_key F11, e2e_key shift+Escape.
e2e_key() {
    e2e_focus
    timeout 10 xdotool key --delay 60 "$@" || e2e_fail "xdotool key $* failed"
}

# Clicks a mouse button (default: left) at a position relative to the window (default: its centre).
e2e_click() {
    local x=${1:-} y=${2:-} button=${3:-1} width height
    e2e_focus
    if [ -z "$x" ]; then
        read -r width height < <(xdotool getwindowgeometry --shell "$E2E_WINDOW" |
            awk -F= '$1 == "WIDTH" { w = $2 } $1 == "HEIGHT" { h = $2 } END { print w, h }')
        x=$((width / 2))
        y=$((height / 2))
    fi
    timeout 10 xdotool mousemove --window "$E2E_WINDOW" "$x" "$y" click "$button" || e2e_fail "click at $x,$y failed"
}

# Saves a PNG of the instrument's window.
e2e_screenshot() {
    timeout 20 import -silent -window "$E2E_WINDOW" "$1" 2>/dev/null || e2e_fail "screenshot of window $E2E_WINDOW failed"
}

# Number of pixels whose brightness is above 5 % (anything drawn on the black background).
e2e_lit_pixels() {
    "$E2E_CONVERT" "$1" -colorspace Gray -threshold 5% -format '%[fx:int(mean*w*h+0.5)]' info:
}

# Number of pixels lit in one image and dark in the other: layout changes count,
# brightness pulses of the same drawing do not.
e2e_changed_pixels() {
    "$E2E_CONVERT" "$1" "$2" -colorspace Gray -threshold 5% -compose Difference -composite \
        -format '%[fx:int(mean*w*h+0.5)]' info:
}

# Takes screenshots until one has more than MIN lit pixels (MIN default 100).
e2e_screenshot_lit() {
    local file=$1 min=${2:-100}
    e2e_screenshot "$file"
    [ "$(e2e_lit_pixels "$file")" -gt "$min" ]
}

# Takes screenshots until one differs from REFERENCE in more than MIN pixels.
e2e_screenshot_changed() {
    local file=$1 reference=$2 min=$3
    e2e_screenshot "$file"
    [ "$(e2e_changed_pixels "$file" "$reference")" -gt "$min" ]
}

e2e_file_size() {
    stat -c %s "$1" 2>/dev/null || echo 0
}

e2e_file_larger_than() {
    [ "$(e2e_file_size "$1")" -gt "$2" ]
}

# True when the file has not changed size for STABLE seconds (checked every 0.25 s).
e2e_file_settled() {
    local file=$1 stable=$2 size checks=0
    size=$(e2e_file_size "$file")
    while [ "$checks" -lt $((stable * 4)) ]; do
        sleep 0.25
        [ "$(e2e_file_size "$file")" -eq "$size" ] || return 1
        checks=$((checks + 1))
    done
}

e2e_output_has() {
    grep -qF -- "$2" "$E2E_APP_DIR/$1.log"
}

# Checks that stdout or stderr (first argument) of the instrument holds a text.
e2e_expect_output() {
    e2e_output_has "$1" "$2" || e2e_fail "$1 does not contain: $2"
}

# Ends the test successfully, saying what was checked.
e2e_pass() {
    echo "PASS: $*"
    exit 0
}

# Moves the pointer to a position relative to the window, without clicking.
e2e_move_pointer() {
    e2e_focus
    timeout 10 xdotool mousemove --window "$E2E_WINDOW" "$1" "$2" || e2e_fail "moving the pointer to $1,$2 failed"
}

# Bounding box of the lit pixels of a screenshot as "X Y WIDTH HEIGHT"; nothing when none is lit.
e2e_lit_bbox() {
    local box
    # A black frame makes sure that the trim compares against the background even
    # where the drawing reaches the image's corners; its pixel is taken off again.
    box=$("$E2E_CONVERT" "$1" -colorspace Gray -threshold 5% -bordercolor black -border 1 -format '%@' info: 2>/dev/null)
    [[ $box =~ ^([0-9]+)x([0-9]+)\+([0-9]+)\+([0-9]+)$ ]] || return 0
    [ "${BASH_REMATCH[1]}" -gt 0 ] || return 0
    echo "$((BASH_REMATCH[3] - 1)) $((BASH_REMATCH[4] - 1)) ${BASH_REMATCH[1]} ${BASH_REMATCH[2]}"
}

# True when no pixel is lit within RADIUS pixels (a square) of X,Y in a screenshot.
e2e_dark_around() {
    local file=$1 x=$2 y=$3 radius=$4 lit
    lit=$("$E2E_CONVERT" "$file" -colorspace Gray -threshold 5% \
        -crop "$((2 * radius + 1))x$((2 * radius + 1))$(printf "%+d%+d" $((x - radius)) $((y - radius)))" +repage \
        -format '%[fx:maxima]' info: 2>/dev/null)
    [ "$lit" = "0" ]
}
