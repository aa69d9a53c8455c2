#!/bin/bash
# The effects window and typed values played through the real program. With a
# cloud over a rect: Alt+Space shows the master chain; its Crush checkbox and a
# drag of its Ratio knob leave the bounce with a handful of sample levels; the
# Volume effect's Mute makes it silent. Then a right click on the cloud's Volume
# box, "-60" and Enter take the bounce down by at least 40 dB.
set -u
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/lib.sh"

# The crushed bounce keeps at most this share of the clean one's distinct sample levels.
MAX_CRUSHED_LEVEL_SHARE=10
# Half way up the crush still plays a sound, on a few levels.
MIN_CRUSHED_LEVELS=3
MIN_TYPED_DROP_DB=40

# Window pixel of a point given in window fractions.
at() {
    awk -v fx="$1" -v fy="$2" -v w="$WIDTH" -v h="$HEIGHT" 'BEGIN { printf "%d %d\n", fx * w, fy * h }'
}

# Centres of the effects window's controls. The window spans 0.1 .. 0.9 of the
# screen; its panels are a third of the contents wide (less 0.0266) and half of
# them high, their top row 0.1934 down. A panel's on/off box is 0.02 wide, 0.01
# in from its top-right corner; its other controls are squares of width K whose
# tops lie K above the panel's middle line, and a knob is the circle at the top
# of its square. Heights are scaled by the aspect ratio to stay square on screen.
read -r -d '' CONTROLS_AWK <<'AWK'
BEGIN {
    a = w / h; top = 0.1934; pw = 0.8 / 3 - 0.0266; ph = 0.6966 / 2 - 0.0266
    if (panel == "crush") { px = 0.1 + 0.07 + 2.5 * pw; pwid = pw / 2 - 0.01; k = pwid / 3; f = 0.5 }
    if (panel == "volume") { px = 0.12; pwid = pw; k = pwid / 6; f = 0.66 }
    if (control == "on") { x = px + pwid - 0.02; y = top + 0.02 * a }
    else { x = px + f * pwid; y = top + ph / 2 - k + 0.5 * k * a }
    printf "%d %d\n", x * w, y * h
}
AWK
control_centre() {
    awk -v panel="$1" -v control="$2" -v w="$WIDTH" -v h="$HEIGHT" "$CONTROLS_AWK"
}

# Number of distinct sample levels in a raw float bounce of the master output,
# taken before the master path's DC blocker: the recording is run through the
# blocker's inverse, x[n] = y[n] - R y[n-1] + x[n-1] with R = exp(-2 pi 2 Hz /
# rate), on each channel (the unknown start shifts a channel's levels, all
# alike), and the levels are told apart to 1e-5, far finer than any crush
# and far coarser than the inverse's own rounding.
distinct_levels() {
    od -A n -v -t f4 "$1" | awk -v rate="$E2E_RATE" '
        BEGIN { r = exp(-2 * 3.14159265358979 * 2 / rate) }
        { for (i = 1; i <= NF; i++) {
              c = n++ % 2
              x[c] = $i - r * y[c] + x[c]; y[c] = $i
              seen[c " " sprintf("%.5f", x[c])] = 1 } }
        END { print length(seen) }'
}

# Alt+Space held: the effects window of the master chain while nothing is selected.
open_effects() {
    e2e_focus
    timeout 10 xdotool keydown Alt_L keydown space || e2e_fail "holding Alt+Space failed"
    sleep "$E2E_SETTLE_SECONDS"
    timeout 10 xdotool keyup Alt_L || e2e_fail "releasing Alt failed"
}

click_control() {
    local x y
    read -r x y < <(control_centre "$1" "$2")
    e2e_log "clicking the $1 panel's $2 control at $x,$y"
    e2e_click "$x" "$y"
    sleep 0.2
}

decibels_between() {
    awk -v loud="$1" -v soft="$2" 'BEGIN { printf "%.1f", 20 * log((soft + 1e-12) / loud) / log(10) }'
}

e2e_init "${1:-}"
e2e_start_xvfb
e2e_start_pulse

DIR=$(e2e_make_workdir effects-window)
e2e_make_chord_loops "$DIR"
e2e_start_app "$DIR"
e2e_wait_window
e2e_enter_canvas "$DIR"
e2e_centre_rect "$DIR"

e2e_move_pointer "$RECT_X" "$RECT_Y"
e2e_key 1
sleep "$E2E_SETTLE_SECONDS"
e2e_record_bounce "$DIR" "clean cloud"
e2e_expect_sound "clean cloud"
CLEAN_LEVELS=$(distinct_levels "$BOUNCE")

# Nothing selected: Alt+Space opens the master chain.
e2e_click "$EMPTY_X" "$EMPTY_Y"
open_effects
e2e_screenshot "$DIR/effects-window.png"
click_control crush on
read -r KNOB_X KNOB_Y < <(control_centre crush ratio)
# Upward by a sixth of the window height turns the knob half way: a ratio of
# about 80 %, a handful of levels. All the way would crush every sample to -1.
e2e_drag "$KNOB_X" "$KNOB_Y" "$KNOB_X" $((KNOB_Y - HEIGHT / 6))
e2e_space_up
e2e_record_bounce "$DIR" "crushed cloud"
e2e_check_bounce_samples "crushed cloud"
CRUSHED_LEVELS=$(distinct_levels "$BOUNCE")
e2e_log "distinct sample levels: $CLEAN_LEVELS clean, $CRUSHED_LEVELS crushed"
[ $((CRUSHED_LEVELS * MAX_CRUSHED_LEVEL_SHARE)) -le "$CLEAN_LEVELS" ] ||
    e2e_fail "the bit crush left $CRUSHED_LEVELS distinct levels of $CLEAN_LEVELS: not switched on or not turned up"
[ "$CRUSHED_LEVELS" -ge "$MIN_CRUSHED_LEVELS" ] ||
    e2e_fail "the bit crush left $CRUSHED_LEVELS distinct levels: turned past half way, the sound is gone"

open_effects
click_control volume on
click_control volume mute
e2e_space_up
e2e_record_bounce "$DIR" "muted master"
e2e_expect_silence "muted master"

# Everything off again, for a clean reference.
open_effects
click_control volume on
click_control crush on
e2e_space_up
e2e_record_bounce "$DIR" "cloud with the effects off again"
e2e_expect_sound "cloud with the effects off again"
LOUD_RMS=$MEASURED_RMS_LEFT

# The cloud selected, its menu open: a right click on its Volume box, then
# -60 and Enter.
e2e_click "$RECT_X" "$RECT_Y"
read -r VOLUME_X VOLUME_Y < <(e2e_cloud_volume_box "$RECT_X" "$RECT_Y")
e2e_space_down
e2e_click "$VOLUME_X" "$VOLUME_Y" 3
e2e_space_up
e2e_key minus 6 0 Return
sleep "$E2E_SETTLE_SECONDS"
e2e_record_bounce "$DIR" "cloud typed to -60 dB"
e2e_check_bounce_samples "cloud typed to -60 dB"
DROP_DB=$(decibels_between "$LOUD_RMS" "$MEASURED_RMS_LEFT")
e2e_log "typing -60 into the Volume box changes the bounce by $DROP_DB dB"
awk -v d="$DROP_DB" -v min="$MIN_TYPED_DROP_DB" 'BEGIN { exit !(d <= -min) }' ||
    e2e_fail "typing -60 into the Volume box changed the bounce by $DROP_DB dB, expected at most -$MIN_TYPED_DROP_DB dB"

e2e_quit
e2e_pass "effects window: crush down to $CRUSHED_LEVELS of $CLEAN_LEVELS levels, mute silent; typed volume $DROP_DB dB"
