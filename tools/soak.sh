#!/bin/bash
# Soak run (not part of the test suite): the real instrument under the end-to-end
# harness (Xvfb, PulseAudio null sink, xdotool) played by a random performer for a
# long time: sources of every kind (grain clouds, single grains, loop sources)
# added and deleted, rects dragged and resized, zoom, scrolling, styles,
# recordings switched on and off.
#
# Checks: resident memory, sampled every 10 s, stays flat after the warm-up; every
# bounce is whole (its WAV copy holds the same samples), finite and within [-1, 1],
# with no lost samples; the instrument quits within 2 s of Shift+Esc.
#
# Usage: tools/soak.sh <zoltafenri binary, a Release build> [seconds=600] [seed=1]
# Figures go to stdout and to rss.csv in the kept work folder (E2E_KEEP=1 keeps it).
set -u
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../tests/e2e/lib.sh"
E2E_LOG_PREFIX="[soak]"

DURATION=${2:-600}
RANDOM=${3:-1}
SAMPLE_EVERY=10
# Memory taken while the scene fills up and the caches warm is not growth.
WARMUP=${SOAK_WARMUP:-120}
# Growth allowed between the highest sample of the first and of the last third
# after the warm-up: more than this is a leak.
MAX_GROWTH_KB=8192
# Clouds are deleted once there are this many, so that the scene stays bounded.
MAX_CLOUDS=8
RECORD_MIN=10
RECORD_MAX=30
# Seconds between changes of the view (zoom, scroll).
VIEW_MIN=15
VIEW_MAX=40

make_loops() {
    local loops="$1/loops"
    mkdir -p "$loops"
    sox -n -r 44100 -b 16 -c 2 "$loops/chord.wav" synth 6 sine 220 sine 277 synth 6 pinknoise mix gain -n -3 &&
        sox -n -r 44100 -b 16 -c 1 "$loops/pluck.wav" synth 3 pluck 330 gain -n -1 &&
        sox -n -r 48000 -b 24 -c 2 "$loops/saw.wav" synth 4 sawtooth 110 sawtooth 165 gain -n -6 &&
        sox -n -r 44100 -b 16 -c 1 "$loops/noise.wav" synth 2 brownnoise gain -n -2 ||
        e2e_fail "sox could not write the sounds"
}

rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$E2E_APP_PID/status" 2>/dev/null; }

random_in() { echo $(($1 + RANDOM % ($2 - $1 + 1))); }

# A point in the window, away from its edges.
random_point() { echo "$(random_in 20 $((WIDTH - 20))) $(random_in 20 $((HEIGHT - 20)))"; }

xdo() { timeout 10 xdotool "$@" || e2e_fail "xdotool $* failed"; }

# Where the clouds are, in window pixels. The view is changed only with no cloud
# on the canvas, so that these stay true; drags and resizes start away from them.
CLOUD_X=() CLOUD_Y=()
ZOOM=1
PICK_RADIUS=19

# True when the point is farther than twice the pick radius (at the current zoom) from every cloud.
clear_of_clouds() {
    local x=$1 y=$2 i
    for i in "${!CLOUD_X[@]}"; do
        awk -v dx=$((x - CLOUD_X[i])) -v dy=$((y - CLOUD_Y[i])) -v r="$PICK_RADIUS" -v z="$ZOOM" \
            'BEGIN { exit !(dx * dx + dy * dy > (2 * r * z + 4) ^ 2) }' || return 1
    done
}

# A random point away from every cloud, in POINT_X and POINT_Y; false when none was found.
free_point() {
    for _ in 1 2 3 4 5 6 7 8 9 10; do
        read -r POINT_X POINT_Y < <(random_point)
        clear_of_clouds "$POINT_X" "$POINT_Y" && return 0
    done
    return 1
}

add_cloud() {
    free_point || return 0
    e2e_move_pointer "$POINT_X" "$POINT_Y"
    # A grain cloud, a single grain or a loop source.
    local kinds=(1 2 3)
    e2e_key "${kinds[RANDOM % 3]}"
    CLOUD_X+=("$POINT_X")
    CLOUD_Y+=("$POINT_Y")
}

# Clicks a cloud (a source wins over the rect under it) and deletes it.
delete_cloud() {
    local i=$((RANDOM % ${#CLOUD_X[@]}))
    e2e_click "${CLOUD_X[i]}" "${CLOUD_Y[i]}"
    e2e_key BackSpace
    unset 'CLOUD_X[i]' 'CLOUD_Y[i]'
    CLOUD_X=("${CLOUD_X[@]}")
    CLOUD_Y=("${CLOUD_Y[@]}")
}

clear_clouds() {
    while [ ${#CLOUD_X[@]} -gt 0 ]; do delete_cloud; done
}

# A drag from a point away from every cloud: it moves the rect under it, if any.
drag() {
    local x y x2 y2
    free_point || return 0
    x=$POINT_X y=$POINT_Y
    read -r x2 y2 < <(random_point)
    e2e_focus
    xdo mousemove --window "$E2E_WINDOW" "$x" "$y" mousedown 1 mousemove --window "$E2E_WINDOW" $(((x + x2) / 2)) $(((y + y2) / 2)) \
        mousemove --window "$E2E_WINDOW" "$x2" "$y2" mouseup 1
}

resize_rect() {
    e2e_focus
    xdo keydown twosuperior
    drag
    xdo keyup twosuperior
}

zoom() {
    local direction=$((RANDOM % 2 * 2 - 1)) x y
    read -r x y < <(random_point)
    e2e_focus
    xdo mousemove --window "$E2E_WINDOW" "$x" "$y" click $((direction > 0 ? 4 : 5))
    # As the instrument does: 10 % a step, never below a quarter.
    ZOOM=$(awk -v z="$ZOOM" -v d="$direction" 'BEGIN { n = z * (1 + 0.1 * d); print (n < 0.25 ? z : n) }')
}

scroll() {
    local keys=(Left Right Up Down)
    e2e_key "${keys[RANDOM % 4]}"
}

next_style() {
    if [ $((RANDOM % 2)) -eq 0 ]; then e2e_key ctrl+Right; else e2e_key ctrl+Left; fi
}

# Zooms and scrolls a few steps, with the clouds cleared first.
change_view() {
    local steps
    clear_clouds
    for steps in $(seq "$(random_in 1 4)"); do
        if [ $((RANDOM % 2)) -eq 0 ]; then zoom; else scroll; fi
    done
    NEXT_VIEW_CHANGE=$((SECONDS + $(random_in "$VIEW_MIN" "$VIEW_MAX")))
}

bounce_list() { find "$DIR/bounces" -maxdepth 1 -name '*.raw' 2>/dev/null | sort; }

# Checks every bounce made since the last check, then removes it to spare the disk.
check_new_bounces() {
    local raw frames stats peak nonfinite beyond
    for raw in $(bounce_list); do
        e2e_check_bounce_pair "$raw"
        frames=$E2E_BOUNCE_FRAMES
        stats=$(e2e_bounce_stats "$raw")
        read -r _ peak nonfinite beyond <<<"$stats"
        e2e_log "bounce $(basename "$raw"): $frames frames, peak $peak, $nonfinite not finite, $beyond outside [-1, 1]; whole with its WAV copy"
        # Counted rather than fatal, so that one run gives every figure.
        [ "$nonfinite" -eq 0 ] && [ "$beyond" -eq 0 ] || BAD_BOUNCES=$((BAD_BOUNCES + 1))
        NONFINITE=$((NONFINITE + nonfinite))
        BEYOND=$((BEYOND + beyond))
        BOUNCES=$((BOUNCES + 1))
        FRAMES=$((FRAMES + frames))
        awk -v p="$peak" -v m="$MAX_PEAK" 'BEGIN { exit !(p > m) }' && MAX_PEAK=$peak
        rm -f "$raw" "${raw%.raw}.wav"
    done
}

# The writer says so on stdout once both files of a recording are complete.
recordings_complete() { [ "$(grep -c '^Recorded ' "$DIR/stdout.log")" -ge "$1" ]; }

toggle_recording() {
    e2e_key F11
    if [ "$RECORDING" -eq 1 ]; then
        RECORDING=0
        STOPPED=$((STOPPED + 1))
        e2e_wait_for 30 recordings_complete "$STOPPED" || e2e_fail "recording $STOPPED was not completed"
        check_new_bounces
    else
        RECORDING=1
    fi
    NEXT_RECORD_TOGGLE=$((SECONDS + $(random_in "$RECORD_MIN" "$RECORD_MAX")))
}

one_action() {
    local roll=$((RANDOM % 100)) clouds=${#CLOUD_X[@]}
    if [ "$clouds" -ge "$MAX_CLOUDS" ] || { [ "$roll" -lt 25 ] && [ "$clouds" -gt 0 ]; }; then
        delete_cloud
    elif [ "$roll" -lt 55 ]; then
        add_cloud
    elif [ "$roll" -lt 80 ]; then
        drag
    elif [ "$roll" -lt 92 ]; then
        resize_rect
    else
        next_style
    fi
}

sample_memory() {
    local rss
    rss=$(rss_kb)
    [ -n "$rss" ] || e2e_fail "no resident size for pid $E2E_APP_PID"
    echo "$((SECONDS - START)),$rss,${#CLOUD_X[@]}" >>"$DIR/rss.csv"
    e2e_log "t=$((SECONDS - START)) s rss=$((rss / 1024)) MB clouds=${#CLOUD_X[@]} zoom=$ZOOM"
    NEXT_SAMPLE=$((NEXT_SAMPLE + SAMPLE_EVERY))
}

# Highest RSS of the first and last thirds after the warm-up, and the verdict.
judge_memory() {
    awk -F, -v warmup="$WARMUP" -v max_growth="$MAX_GROWTH_KB" '
        BEGIN { n = 0 }
        NR > 1 && $1 >= warmup { r[n] = $2 + 0; n++ }
        END {
            if (n < 3) { print "too few samples after the warm-up"; exit 1 }
            first = 0; last = 0; max = 0; min = r[0]
            third = int(n / 3)
            for (i = 0; i < third; i++) if (r[i] > first) first = r[i]
            for (i = n - third; i < n; i++) if (r[i] > last) last = r[i]
            for (i = 0; i < n; i++) { if (r[i] < min) min = r[i]; if (r[i] > max) max = r[i] }
            printf "RSS after %d s of warm-up: %d samples, min %.1f MB, max %.1f MB; peak of first third %.1f MB, of last third %.1f MB, growth %+.1f MB\n",
                warmup, n, min / 1024, max / 1024, first / 1024, last / 1024, (last - first) / 1024
            exit !(last - first <= max_growth)
        }' "$DIR/rss.csv"
}

e2e_init "${1:-}"
e2e_start_xvfb
e2e_start_pulse
DIR=$(e2e_make_workdir soak)
make_loops "$DIR"
e2e_start_app "$DIR"
e2e_wait_window
e2e_wait_for 120 e2e_output_has stdout "Sounds loaded successfully..." || e2e_fail "no sounds loaded"
e2e_wait_for 30 e2e_screenshot_lit "$DIR/title.png" 500 || e2e_fail "the title screen stays blank"
read -r WIDTH HEIGHT < <("$E2E_CONVERT" "$DIR/title.png" -format '%w %h' info:)
e2e_click 10 10

RECORDING=0 STOPPED=0 BOUNCES=0 FRAMES=0 MAX_PEAK=0 BAD_BOUNCES=0 NONFINITE=0 BEYOND=0
echo "seconds,rss_kb,clouds" >"$DIR/rss.csv"
START=$SECONDS
NEXT_SAMPLE=$START
NEXT_RECORD_TOGGLE=$((START + 5))
NEXT_VIEW_CHANGE=$((START + VIEW_MIN))
while [ $((SECONDS - START)) -lt "$DURATION" ]; do
    e2e_require_running
    [ "$SECONDS" -ge "$NEXT_SAMPLE" ] && sample_memory
    [ "$SECONDS" -ge "$NEXT_RECORD_TOGGLE" ] && toggle_recording
    [ "$SECONDS" -ge "$NEXT_VIEW_CHANGE" ] && change_view
    one_action
    sleep "0.$(random_in 1 5)"
done
sample_memory
[ "$RECORDING" -eq 1 ] && toggle_recording
e2e_output_has stderr "lost" && e2e_fail "a recording lost samples: $(grep lost "$DIR/stderr.log" | head -n 3)"

e2e_key shift+Escape
QUIT_START=${EPOCHREALTIME/./}
e2e_wait_app_exit 2 || e2e_fail "the instrument still runs 2 s after Shift+Esc"
QUIT_MS=$(((${EPOCHREALTIME/./} - QUIT_START) / 1000))
[ "$E2E_APP_STATUS" -eq 1 ] || e2e_fail "Shift+Esc ended the instrument with status $E2E_APP_STATUS"
check_new_bounces

MEMORY=$(judge_memory)
MEMORY_OK=$?
e2e_log "$MEMORY"
e2e_log "$BOUNCES bounces, $FRAMES frames ($((FRAMES / 44100)) s), all whole with their WAV copies; highest peak $MAX_PEAK;" \
    "$BAD_BOUNCES bounces with bad samples: $NONFINITE not finite, $BEYOND outside [-1, 1]"
e2e_log "quit ${QUIT_MS} ms after Shift+Esc"
[ "$MEMORY_OK" -eq 0 ] || e2e_fail "resident memory grows after the warm-up: $MEMORY"
[ "$BAD_BOUNCES" -eq 0 ] || e2e_fail "$BAD_BOUNCES of $BOUNCES bounces hold samples not finite or outside [-1, 1]"
e2e_pass "soak of $DURATION s"
