#!/bin/bash
# The load meter: on the canvas, small, in the bottom right corner, in every
# style; and its three figures on stdout when the instrument quits.
set -u
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/lib.sh"

e2e_init "${1:-}"

# Pixels (in thousandths) of the load meter's corner of a screenshot that
# differ from its most common shade: the text, on any style's background.
meter_spread() {
    local width height
    read -r width height < <("$E2E_CONVERT" "$1" -format '%w %h' info:)
    "$E2E_CONVERT" "$1" -colorspace Gray \
        -crop "$((width * 30 / 100))x$((height * 6 / 100))+$((width * 70 / 100))+$((height * 94 / 100))" +repage \
        -format '%[fx:int(1000*standard_deviation)]' info:
}

meter_shown() { e2e_screenshot "$1" && [ "$(meter_spread "$1")" -gt 20 ]; }

e2e_start_on_canvas load_meter
# A cloud on the sound gives the callback work to measure.
e2e_move_pointer "$RECT_X" "$RECT_Y"
e2e_key 1
e2e_wait_for 10 meter_shown "$DIR/meter.png" || e2e_fail "nothing drawn in the bottom right corner (spread $(meter_spread "$DIR/meter.png"))"
# The thread that computes the blocks runs real-time (round robin, priority
# 70), which the system grants here: nothing else running holds a block up.
audio_thread() { ps -L -o cls=,rtprio= -p "$E2E_APP_PID" | grep -qE '^ *RR +70$'; }
e2e_wait_for 5 audio_thread ||
    e2e_fail "no thread of the instrument runs real-time: $(ps -L -o cls=,rtprio= -p "$E2E_APP_PID" | sort | uniq -c | tr '\n' ' ')"
grep -q '^RtAudio pulse: running realtime scheduling' "$DIR/stderr.log" ||
    e2e_fail "the audio system does not say the audio thread runs real-time: $(grep -i realtime "$DIR/stderr.log")"
# Every style draws it (Ctrl+Right steps through the six).
for style in 1 2 3 4 5; do
    e2e_key ctrl+Right
    e2e_wait_for 10 meter_shown "$DIR/meter-$style.png" || e2e_fail "style $style draws no load meter (spread $(meter_spread "$DIR/meter-$style.png"))"
done
e2e_key shift+Escape
e2e_wait_app_exit 5 || e2e_fail "the instrument still runs 5 s after Shift+Esc"
grep -qE '^Audio load [0-9]+% peak [0-9]+% over [0-9]+$' "$DIR/stdout.log" ||
    e2e_fail "no load figures on stdout at quit: $(tail -n 3 "$DIR/stdout.log")"
e2e_pass "load meter: drawn in the bottom right corner in every style, the audio thread real-time, figures at quit ($(grep '^Audio load' "$DIR/stdout.log"))"
