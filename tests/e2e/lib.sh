# Harness for end-to-end tests: runs the real instrument on a virtual X display
# (Xvfb) with a PulseAudio null sink as its sound card, drives it with xdotool and
# looks at what it leaves behind (console output, screenshots, bounce files).
#
# Source it, then:  e2e_init "$1"; e2e_start_xvfb; e2e_start_pulse;
#                   e2e_make_workdir DIR; e2e_start_app DIR; e2e_wait_window; ...
# Everything started here is ended by process id when the script exits.

E2E_RUNTIME_PACKAGES="xvfb xdotool pulseaudio imagemagick x11-utils sox python3"
E2E_WINDOW_NAME="ZOLTA FENRI"
E2E_SCREEN_SIZE="1280x800x24"
# The stand-in "convert" that some machines put first in PATH is not ImageMagick.
E2E_CONVERT=/usr/bin/convert

E2E_TMP=""
E2E_BIN=""
E2E_XVFB_PID=""
E2E_PULSE_PID=""
E2E_JACK_PID=""
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
    # A cycle the server missed loses what a client wrote in it: MIDI too.
    if [ -f "$E2E_TMP/jackd.log" ]; then
        echo "---- the JACK server saw $(grep -c 'was not finished' "$E2E_TMP/jackd.log") clients miss a cycle" >&2
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
        e2e_wait_for "${E2E_STOP_SECONDS:-3}" e2e_not_running "$pid" || kill -KILL "$pid" 2>/dev/null
    fi
    wait "$pid" 2>/dev/null
    return 0
}

e2e_not_running() { ! e2e_process_running "$1"; }

e2e_cleanup() {
    e2e_stop_pid "$E2E_APP_PID"
    # A server given time to close takes its place in JACK's registry with it.
    E2E_STOP_SECONDS=10 e2e_stop_pid "$E2E_JACK_PID"
    [ -z "$E2E_JACK_PID" ] || e2e_clear_stale_jack
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

e2e_jack_answers() { jack_lsp >/dev/null 2>&1; }

# JACK keeps a registry of its servers in /dev/shm with room for eight, and a
# server that was killed never gives its place back: eight killed servers and
# no server starts again on this machine. With no server running, everything
# JACK left there is stale, and goes.
e2e_clear_stale_jack() {
    pgrep -x jackd >/dev/null && return 0
    rm -rf /dev/shm/jack-shm-registry /dev/shm/jack-[0-9]*-[0-9]* /dev/shm/jack_sem.* /dev/shm/jack_db-* \
        /dev/shm/jack_zf-* 2>/dev/null
    return 0
}

# Real-time scheduling where this machine grants it, as a performer's server
# runs: without it a busy machine makes clients miss cycles, and the MIDI
# written in a missed cycle is lost.
e2e_jack_priority() {
    if chrt -f 10 true 2>/dev/null; then echo --realtime; else echo --no-realtime; fi
}

# Starts a JACK server of the test's own with the dummy driver (no sound card)
# at 44100 Hz and PERIOD frames (default 128), under a name no other test
# uses; exports JACK_DEFAULT_SERVER so that every client (the instrument, the
# test's own, jack_lsp) meets this server, and forbids starting any other.
# With "restart", JACK's registry stays as the stopped server left it, as
# when a performer stops and starts a server: the clients running hold it.
e2e_start_jack() {
    local period=${1:-128} name
    name="zf-$(basename "$0" .sh)-$$"
    export JACK_NO_START_SERVER=1
    export JACK_DEFAULT_SERVER="$name"
    [ "${2:-}" = restart ] || e2e_clear_stale_jack
    jackd $(e2e_jack_priority) -n "$name" -d dummy -r "$E2E_RATE" -p "$period" >"$E2E_TMP/jackd.log" 2>&1 &
    E2E_JACK_PID=$!
    if ! e2e_wait_for 20 e2e_jack_answers; then
        cat "$E2E_TMP/jackd.log" >&2
        e2e_fail "the JACK server $name did not answer within 20 s"
    fi
    e2e_log "started the JACK server $name, dummy driver, $period frames (pid $E2E_JACK_PID)"
}

# True when the JACK graph has a port of exactly this name.
e2e_jack_has_port() {
    jack_lsp 2>/dev/null | grep -qxF -- "$1"
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

# True when stdout or stderr (first argument) holds a text exactly COUNT times.
e2e_output_count_is() {
    [ "$(grep -cF -- "$2" "$E2E_APP_DIR/$1.log")" -eq "$3" ]
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

# The status line along the bottom of the canvas (the selection on the left,
# the grain count and the load meter on the right) as an ImageMagick
# rectangle for a WIDTHxHEIGHT screenshot: its texts stay within it.
e2e_load_meter_corner() {
    echo "0,$(($2 * 94 / 100)) $1,$2"
}

# Bounding box of the lit pixels of a screenshot as "X Y WIDTH HEIGHT", leaving out
# the load meter's corner; nothing when none is lit.
e2e_lit_bbox() {
    local box width height
    read -r width height < <("$E2E_CONVERT" "$1" -format '%w %h' info:)
    # A black frame makes sure that the trim compares against the background even
    # where the drawing reaches the image's corners; its pixel is taken off again.
    box=$("$E2E_CONVERT" "$1" -colorspace Gray -threshold 5% \
        -fill black -draw "rectangle $(e2e_load_meter_corner "$width" "$height")" \
        -bordercolor black -border 1 -format '%@' info: 2>/dev/null)
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

# ---- A scene of one sound rect, and recordings of what it plays ----

E2E_RATE=44100
E2E_FRAME_BYTES=8
E2E_RECORD_SECONDS=3
# A source over a loud sound must reach at least this RMS in each channel (-40 dBFS).
E2E_MIN_SOUND_RMS=0.01
# Silence: no sample above -80 dBFS.
E2E_MAX_SILENT_PEAK=0.0001
# A point counts as empty canvas when nothing is lit this close to it, and as
# far from the rect when it is at least this far outside its bounding box.
E2E_EMPTY_RADIUS=20
E2E_FAR_FROM_RECT=40

# One loud stereo sound in DIR/loops: a different note in each ear over noise,
# so that any grain of it is loud wherever in the sound it starts.
e2e_make_chord_loops() {
    mkdir -p "$1/loops"
    sox -n -r "$E2E_RATE" -b 16 -c 2 "$1/loops/chord.wav" synth 4 sine 220 sine 277 synth 4 pinknoise mix gain -n -3 ||
        e2e_fail "sox could not write chord.wav"
}

# The first spot near a corner of the title screen with nothing drawn around it.
e2e_pick_title_spot() {
    local shot=$1 width=$2 height=$3 spot
    for spot in "20 20" "$((width - 20)) 20" "20 $((height - 20))" "$((width - 20)) $((height - 20))"; do
        # shellcheck disable=SC2086
        if e2e_dark_around "$shot" $spot 15; then
            echo "$spot"
            return 0
        fi
    done
}

# Screenshots until two in a row show the same lit bounding box; E2E_RECT_BOX holds it.
E2E_RECT_BOX=""
e2e_canvas_stable() {
    local shot=$1 box
    e2e_screenshot "$shot"
    box=$(e2e_lit_bbox "$shot")
    if [ -n "$box" ] && [ "$box" = "$E2E_RECT_BOX" ]; then
        return 0
    fi
    E2E_RECT_BOX=$box
    return 1
}

# With a single sound every lit pixel belongs to its rect, so the lit bounding box is
# the visible part of the rect (the rest may lie off-screen). Sets RECT_X/Y (a point
# well inside it) and EMPTY_X/Y (the middle of the widest dark band beside it).
e2e_locate_rect_and_empty_spot() {
    local shot=$1 width=$2 height=$3 x y w h left right top bottom gap
    read -r x y w h <<<"$E2E_RECT_BOX"
    if [ "$w" -lt 40 ] || [ "$h" -lt 40 ]; then
        e2e_fail "the visible rect ${w}x${h}+$x+$y is too small to aim at safely"
    fi
    RECT_X=$((x + w / 2))
    RECT_Y=$((y + h / 2))
    left=$x
    right=$((width - x - w))
    top=$y
    bottom=$((height - y - h))
    if [ "$left" -ge "$right" ] && [ "$left" -ge "$top" ] && [ "$left" -ge "$bottom" ]; then
        EMPTY_X=$((left / 2)) EMPTY_Y=$((height / 2)) gap=$left
    elif [ "$right" -ge "$top" ] && [ "$right" -ge "$bottom" ]; then
        EMPTY_X=$((width - right / 2)) EMPTY_Y=$((height / 2)) gap=$right
    elif [ "$top" -ge "$bottom" ]; then
        EMPTY_X=$((width / 2)) EMPTY_Y=$((top / 2)) gap=$top
    else
        EMPTY_X=$((width / 2)) EMPTY_Y=$((height - bottom / 2)) gap=$bottom
    fi
    [ $((gap / 2)) -ge "$E2E_FAR_FROM_RECT" ] ||
        e2e_fail "no empty canvas $E2E_FAR_FROM_RECT px away from the rect ${w}x${h}+$x+$y"
    e2e_dark_around "$shot" "$EMPTY_X" "$EMPTY_Y" "$E2E_EMPTY_RADIUS" ||
        e2e_fail "the chosen empty spot $EMPTY_X,$EMPTY_Y has lit pixels around it"
    e2e_log "rect seen at ${w}x${h}+$x+$y; aiming at $RECT_X,$RECT_Y; empty canvas at $EMPTY_X,$EMPTY_Y"
}

# True when the message line (the bottom left of the window, above the status
# line) is dark: what the program said at the start ("MIDI off: ..." where the
# machine has no MIDI system) stands there for a few seconds.
e2e_message_line_dark() {
    local shot=$1 width height lit
    e2e_screenshot "$shot"
    read -r width height < <("$E2E_CONVERT" "$shot" -format '%w %h' info:)
    lit=$("$E2E_CONVERT" "$shot" -colorspace Gray -threshold 5% \
        -crop "$((width * 6 / 10))x$((height * 7 / 100))+0+$((height * 90 / 100))" +repage \
        -format '%[fx:maxima]' info: 2>/dev/null)
    [ "$lit" = "0" ]
}

# Waits for the loaded sounds and the title screen, clicks a dark corner of it and
# waits for the canvas to settle; sets WIDTH and HEIGHT. Screenshots go to DIR.
e2e_leave_title() {
    local dir=$1 title_spot
    e2e_wait_for 60 e2e_output_has stdout "Sounds loaded successfully..." ||
        e2e_fail "no 'Sounds loaded successfully...' on stdout"
    e2e_wait_for 30 e2e_screenshot_lit "$dir/title.png" 500 || e2e_fail "the title screen stays blank"
    read -r WIDTH HEIGHT < <("$E2E_CONVERT" "$dir/title.png" -format '%w %h' info:)
    title_spot=$(e2e_pick_title_spot "$dir/title.png" "$WIDTH" "$HEIGHT")
    [ -n "$title_spot" ] || e2e_fail "no dark corner on the title screen to click"
    # shellcheck disable=SC2086
    e2e_click $title_spot
    e2e_wait_for 20 e2e_screenshot_changed "$dir/canvas.png" "$dir/title.png" 2000 ||
        e2e_fail "the title screen stays after a click at $title_spot"
    # The canvas is measured without the start's message over it (a rect
    # lying on that line keeps it lit: the wait then ends at its bound).
    e2e_wait_for 8 e2e_message_line_dark "$dir/message.png" || true
    e2e_wait_for 20 e2e_canvas_stable "$dir/canvas.png" || e2e_fail "the canvas does not settle (lit box: '$E2E_RECT_BOX')"
}

# Leaves the title for the canvas (see e2e_leave_title), then sets E2E_RECT_BOX,
# RECT_X/Y and EMPTY_X/Y (see e2e_locate_rect_and_empty_spot).
e2e_enter_canvas() {
    e2e_leave_title "$1"
    e2e_locate_rect_and_empty_spot "$1/canvas.png" "$WIDTH" "$HEIGHT"
}

# True once something is drawn around the given point: the ring of a new source.
e2e_source_drawn_at() {
    e2e_screenshot "$1"
    ! e2e_dark_around "$1" "$2" "$3" "$E2E_EMPTY_RADIUS"
}

# Starts the servers and the instrument on one loud sound in a work folder named
# NAME (DIR), and enters the canvas (see e2e_enter_canvas for what it sets).
e2e_start_on_canvas() {
    e2e_start_xvfb
    e2e_start_pulse
    DIR=$(e2e_make_workdir "$1")
    e2e_make_chord_loops "$DIR"
    e2e_start_app "$DIR"
    e2e_wait_window
    e2e_enter_canvas "$DIR"
}

e2e_bounce_files() { find "$1/bounces" -maxdepth 1 -type f -name '*.raw' 2>/dev/null | sort; }

# The one file of the bounce folder that was not in the list BEFORE.
e2e_new_bounce() {
    local dir=$1 before=$2
    comm -13 <(echo "$before") <(e2e_bounce_files "$dir")
}

e2e_new_bounce_reaches() {
    local file
    file=$(e2e_new_bounce "$1" "$2" | head -n 1)
    [ -n "$file" ] && e2e_file_larger_than "$file" "$3"
}

# Records the master output for E2E_RECORD_SECONDS with its own F11 pair; BOUNCE holds the file.
e2e_record_bounce() {
    local dir=$1 label=$2 before size
    before=$(e2e_bounce_files "$dir")
    e2e_key F11
    e2e_wait_for $((E2E_RECORD_SECONDS + 20)) e2e_new_bounce_reaches "$dir" "$before" \
        $((E2E_RECORD_SECONDS * E2E_RATE * E2E_FRAME_BYTES)) ||
        e2e_fail "$label: F11 did not give a bounce of $E2E_RECORD_SECONDS s (new files: $(e2e_new_bounce "$dir" "$before" | tr '\n' ' '))"
    e2e_key F11
    BOUNCE=$(e2e_new_bounce "$dir" "$before")
    [ "$(echo "$BOUNCE" | wc -l)" -eq 1 ] || e2e_fail "$label: expected one new bounce, found: $(echo "$BOUNCE" | tr '\n' ' ')"
    e2e_wait_for 20 e2e_file_settled "$BOUNCE" 1 || e2e_fail "$label: the bounce still grows after the second F11"
    size=$(e2e_file_size "$BOUNCE")
    [ $((size % E2E_FRAME_BYTES)) -eq 0 ] || e2e_fail "$label: bounce size $size is not whole stereo float frames"
    e2e_require_running
}

# Reads a raw stereo float bounce into MEASURED_* values: frames, RMS of each channel,
# RMS of both channels over the last second, peak, and BAD, the count of samples
# that are not finite or lie outside [-1, 1].
e2e_measure_bounce() {
    local last_second_from=$(($(e2e_file_size "$1") / 4 - 2 * E2E_RATE))
    read -r MEASURED_FRAMES MEASURED_RMS_LEFT MEASURED_RMS_RIGHT MEASURED_RMS_LAST MEASURED_PEAK MEASURED_BAD < <(
        od -A n -v -t f4 "$1" | awk -v last_from="$last_second_from" -v rate="$E2E_RATE" '
            {
                for (i = 1; i <= NF; i++) {
                    # od spells infinities and NaNs out in letters.
                    if ($i !~ /^-?[0-9]/) { bad++; n++; continue }
                    v = $i + 0
                    if (v > 1 || v < -1) bad++
                    a = v < 0 ? -v : v
                    if (a > peak) peak = a
                    if (n % 2 == 0) left += v * v; else right += v * v
                    if (n >= last_from) last += v * v
                    n++
                }
            }
            END {
                frames = int(n / 2)
                if (frames < rate) { print frames, 0, 0, 0, peak + 0, bad + 0; exit }
                printf "%d %.6g %.6g %.6g %.6g %d\n", frames, sqrt(left / frames), sqrt(right / frames),
                    sqrt(last / (2 * rate)), peak + 0, bad + 0
            }')
}

# Measures the new bounce, logs the figures and checks what holds for sound and silence alike.
e2e_check_bounce_samples() {
    local label=$1
    e2e_measure_bounce "$BOUNCE"
    e2e_log "$label: $MEASURED_FRAMES frames, RMS $MEASURED_RMS_LEFT / $MEASURED_RMS_RIGHT" \
        "(last second $MEASURED_RMS_LAST), peak $MEASURED_PEAK, $MEASURED_BAD bad samples"
    [ "$MEASURED_FRAMES" -ge $((E2E_RECORD_SECONDS * E2E_RATE)) ] || e2e_fail "$label: only $MEASURED_FRAMES frames recorded"
    [ "$MEASURED_BAD" -eq 0 ] ||
        e2e_fail "$label: $MEASURED_BAD samples are not finite or outside [-1, 1] (peak $MEASURED_PEAK)"
}

# The source sounds in both channels and still sounds at the end.
e2e_expect_sound() {
    e2e_check_bounce_samples "$1"
    awk -v l="$MEASURED_RMS_LEFT" -v r="$MEASURED_RMS_RIGHT" -v e="$MEASURED_RMS_LAST" -v min="$E2E_MIN_SOUND_RMS" \
        'BEGIN { exit !(l >= min && r >= min && e >= min) }' ||
        e2e_fail "$1: RMS $MEASURED_RMS_LEFT / $MEASURED_RMS_RIGHT (last second $MEASURED_RMS_LAST)," \
            "expected at least $E2E_MIN_SOUND_RMS in each channel and in the last second"
}

e2e_expect_silence() {
    e2e_check_bounce_samples "$1"
    awk -v p="$MEASURED_PEAK" -v max="$E2E_MAX_SILENT_PEAK" 'BEGIN { exit !(p <= max) }' ||
        e2e_fail "$1: peak $MEASURED_PEAK (RMS $MEASURED_RMS_LEFT / $MEASURED_RMS_RIGHT), expected silence (peak at most $E2E_MAX_SILENT_PEAK)"
}

# ---- Pie menu boxes, drags and held keys ----

E2E_SETTLE_SECONDS=0.5

# A point inside the Volume box of the pie menu of a cloud at CX, CY in the
# middle of the window. Volume, the 13th of the cloud's 15 parameters, heads
# the column right of the cloud: seven boxes 26 pixels high and 4 apart,
# centred on the cloud's height, beginning some 30 pixels right of it.
e2e_cloud_volume_box() {
    echo "$(($1 + 50)) $(($2 - 90))"
}

# A grain cloud's ring breathes between 13 and 17 pixels wide.
E2E_CLOUD_RING_PIXELS=15

# The centre, in window pixels, of the box of parameter INDEX of COUNT in the
# pie menu of an owner centred at CX, CY (window pixels) whose ring is
# OWNER_RADIUS pixels wide, the box showing LABEL (e.g. "Pitch: x1 (0 st)").
# The boxes stand in two columns either side of the owner: parameter I of N
# sits at 360 * I / N degrees clockwise from the right, the right column takes
# those right of the owner (straight up included), and each column lists its
# boxes from the top of the ring down, 26 pixels high and 4 apart, centred on
# the owner's height but kept 6 pixels inside the window. A column stands 10
# pixels beyond the owner's ring (a ring wider than 40 counts as 40); its
# boxes lean away from the owner by 24 pixels times the cosine of their angle
# and are 10.476 pixels a character wide plus 5 of padding each side. This is
# the menu of an owner far enough from the window's sides that both columns
# fit at full size; near a side they move and the text shrinks.
e2e_pie_box_centre() {
    local index=$1 count=$2 label=$3 cx=$4 cy=$5 radius=$6
    awk -v i="$index" -v n="$count" -v chars="${#label}" -v cx="$cx" -v cy="$cy" -v r="$radius" \
        -v w="$WIDTH" -v h="$HEIGHT" '
        function clamp(v, lo, hi) { return v < lo ? lo : v > hi ? hi : v }
        function abs(v) { return v < 0 ? -v : v }
        function right_side(j,   a, c) {
            a = 2 * 3.14159265358979 * j / n
            c = cos(a)
            return c > 1e-9 || (abs(c) <= 1e-9 && sin(a) < 0)
        }
        BEGIN {
            if (i < 0 || i >= n) exit 1
            margin = 6; height = 26; pitch = 30
            # Window pixels with y up, as the program lays the boxes out.
            x = clamp(cx, margin, w - margin)
            y = clamp(h - cy, margin, h - margin)
            gap = (r < 0 ? 0 : r > 40 ? 40 : r) + 10
            side = right_side(i)
            a = 2 * 3.14159265358979 * i / n
            rows = 0; row = 0
            for (j = 0; j < n; j++) {
                if (right_side(j) != side) continue
                rows++
                b = 2 * 3.14159265358979 * j / n
                if (sin(b) < sin(a) || (sin(b) == sin(a) && j < i)) row++
            }
            total = rows * pitch - 4
            top = clamp(y + total / 2, margin + total, h - margin)
            centre_y = top - row * pitch - height / 2
            bulge = 24 * abs(cos(a))
            box = chars * 10.476 + 10
            centre_x = side ? x + gap + bulge + box / 2 : x - gap - bulge - box / 2
            printf "%d %d\n", centre_x + 0.5, h - centre_y + 0.5
        }' || e2e_fail "no box $index of $count in a pie menu"
}

# Holds the left button at X,Y, moves the pointer to X2,Y2 in small steps and lets go.
e2e_drag() {
    local x=$1 y=$2 x2=$3 y2=$4 step steps=10
    e2e_focus
    timeout 10 xdotool mousemove --window "$E2E_WINDOW" "$x" "$y" mousedown 1 || e2e_fail "pressing at $x,$y failed"
    for step in $(seq 1 $steps); do
        sleep 0.05
        timeout 10 xdotool mousemove --window "$E2E_WINDOW" $((x + (x2 - x) * step / steps)) \
            $((y + (y2 - y) * step / steps)) || e2e_fail "dragging towards $x2,$y2 failed"
    done
    sleep 0.1
    timeout 10 xdotool mouseup 1 || e2e_fail "releasing the button at $x2,$y2 failed"
}

e2e_space_down() {
    e2e_focus
    timeout 10 xdotool keydown space || e2e_fail "holding Space failed"
    sleep "$E2E_SETTLE_SECONDS"
}

e2e_space_up() {
    timeout 10 xdotool keyup space || e2e_fail "releasing Space failed"
    sleep "$E2E_SETTLE_SECONDS"
}

# The rect's lit box, wherever it lies, dragged until it sits whole in the middle
# of the window, so that the menus around it stay on screen; sets RECT_X, RECT_Y.
e2e_centre_rect() {
    local dir=$1 x y w h
    for _ in 1 2 3 4; do
        read -r x y w h <<<"$E2E_RECT_BOX"
        RECT_X=$((x + w / 2))
        RECT_Y=$((y + h / 2))
        if [ "$x" -gt 0 ] && [ "$y" -gt 0 ] && [ $((x + w)) -lt "$WIDTH" ] && [ $((y + h)) -lt "$HEIGHT" ] &&
            [ $((RECT_X - WIDTH / 2)) -ge -2 ] && [ $((RECT_X - WIDTH / 2)) -le 2 ] &&
            [ $((RECT_Y - HEIGHT / 2)) -ge -2 ] && [ $((RECT_Y - HEIGHT / 2)) -le 2 ]; then
            e2e_log "rect whole at ${w}x${h}+$x+$y, centre $RECT_X,$RECT_Y"
            return 0
        fi
        e2e_drag "$RECT_X" "$RECT_Y" $((WIDTH / 2)) $((HEIGHT / 2))
        E2E_RECT_BOX=""
        e2e_wait_for 20 e2e_canvas_stable "$dir/centred.png" || e2e_fail "the canvas does not settle after moving the rect"
    done
    e2e_fail "the rect does not come whole into the middle of the window (lit box: $E2E_RECT_BOX)"
}

# Shift+Esc ends the instrument at once and by itself, not by a signal.
e2e_quit() {
    e2e_key shift+Escape
    e2e_wait_app_exit 2 || e2e_fail "the instrument still runs 2 s after Shift+Esc"
    [ "$E2E_APP_STATUS" -lt 128 ] || e2e_fail "the instrument died of signal $((E2E_APP_STATUS - 128)) on Shift+Esc"
    # A normal quit is no failure to a script or a service manager.
    [ "$E2E_APP_STATUS" -eq 0 ] || e2e_fail "Shift+Esc ended the instrument with status $E2E_APP_STATUS, expected 0"
    e2e_log "quit with status 0"
}

# Asks the instrument's window to close as a window manager's close button does:
# a WM_DELETE_WINDOW client message (xdotool's windowclose would destroy the
# window behind the program's back instead).
e2e_close_window() {
    e2e_require_running
    python3 - "$E2E_WINDOW" <<'PYTHON' || e2e_fail "could not send WM_DELETE_WINDOW to window $E2E_WINDOW"
import ctypes, sys
xlib = ctypes.cdll.LoadLibrary("libX11.so.6")
xlib.XOpenDisplay.restype = ctypes.c_void_p
xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
xlib.XInternAtom.restype = ctypes.c_ulong
xlib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]

class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]

class Event(ctypes.Union):
    _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]

xlib.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.POINTER(Event)]
xlib.XFlush.argtypes = [ctypes.c_void_p]
xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
display = xlib.XOpenDisplay(None)
if not display:
    sys.exit(1)
window = int(sys.argv[1])
event = Event()
event.xclient.type = 33  # ClientMessage
event.xclient.window = window
event.xclient.message_type = xlib.XInternAtom(display, b"WM_PROTOCOLS", 0)
event.xclient.format = 32
event.xclient.data[0] = xlib.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
event.xclient.data[1] = 0  # CurrentTime
if not xlib.XSendEvent(display, window, 0, 0, ctypes.byref(event)):
    sys.exit(1)
xlib.XFlush(display)
xlib.XCloseDisplay(display)
PYTHON
}

# Prints "FRAMES PEAK NONFINITE BEYOND" of a raw bounce (interleaved stereo
# float32): the peak of the finite samples, the count of samples that are not
# finite and the count of finite ones outside [-1, 1].
e2e_bounce_stats() {
    python3 - "$1" <<'PYTHON'
import array, math, sys
samples = array.array("f")
with open(sys.argv[1], "rb") as f:
    data = f.read()
samples.frombytes(data[: len(data) // 4 * 4])
peak, nonfinite, beyond = 0.0, 0, 0
for v in samples:
    if not math.isfinite(v):
        nonfinite += 1
        continue
    a = abs(v)
    if a > 1.0:
        beyond += 1
    if a > peak:
        peak = a
print(len(samples) // 2, "%.6g" % peak, nonfinite, beyond)
PYTHON
}

# Checks that a raw bounce is whole stereo float frames and that the WAV file
# beside it is stereo 32-bit float at the engine's rate (E2E_RATE) holding the
# very same samples, its header whole (the sizes it gives are the file's);
# E2E_BOUNCE_FRAMES then holds the number of frames.
E2E_BOUNCE_FRAMES=""
e2e_check_bounce_pair() {
    local raw=$1 wav=${1%.raw}.wav result
    E2E_BOUNCE_FRAMES=""
    result=$(python3 - "$raw" "$wav" "$E2E_RATE" <<'PYTHON'
import struct, sys
expected_rate = int(sys.argv[3])
raw = open(sys.argv[1], "rb").read()
try:
    wav = open(sys.argv[2], "rb").read()
except OSError as e:
    sys.exit("no WAV copy: %s" % e)
if len(raw) % 8:
    sys.exit("raw size %d is not whole stereo float frames" % len(raw))
if wav[:4] != b"RIFF" or wav[8:12] != b"WAVE":
    sys.exit("the WAV copy is not a RIFF WAVE file")
if struct.unpack("<I", wav[4:8])[0] + 8 != len(wav):
    sys.exit("the WAV header gives %d bytes, the file has %d" % (struct.unpack("<I", wav[4:8])[0] + 8, len(wav)))
pos, fmt, data = 12, None, None
while pos + 8 <= len(wav):
    cid, size = wav[pos:pos + 4], struct.unpack("<I", wav[pos + 4:pos + 8])[0]
    body = wav[pos + 8:pos + 8 + size]
    if cid == b"fmt ":
        fmt = struct.unpack("<HHIIHH", body[:16])
    elif cid == b"data":
        data = body
    pos += 8 + size + (size & 1)
if fmt is None or data is None:
    sys.exit("the WAV copy has no fmt or no data chunk")
tag, channels, rate, _, _, bits = fmt
if tag not in (3, 0xFFFE) or channels != 2 or rate != expected_rate or bits != 32:
    sys.exit("the WAV copy is format %d, %d channels, %d Hz, %d bits" % (tag, channels, rate, bits))
if data != raw:
    sys.exit("the WAV copy holds %d bytes of samples, the raw file %d, and they differ" % (len(data), len(raw)))
print(len(raw) // 8)
PYTHON
    ) || e2e_fail "bounce $(basename "$raw"): $result"
    E2E_BOUNCE_FRAMES=$result
}
