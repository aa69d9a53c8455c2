#!/bin/bash
# The pie menu played through the real program: holding Space over a selected
# cloud draws its parameter boxes; dragging the Volume box onto the cloud makes
# the cloud all but silent, as two bounces show; dragging a rect's Type box
# outward turns its waveform into a spectrogram on screen.
set -u
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/lib.sh"

# Lit pixels that the open menu must change beyond what the cloud's own
# animation changes between two screenshots.
MIN_MENU_PIXELS=1500
# The rect's pixels that a new display type must change beyond what the
# waveform's own animation changes, in percent of its area.
MIN_TYPE_CHANGE_PERCENT=10
# Dragging Volume onto the centre must take the bounce down by at least this much.
MIN_VOLUME_DROP_DB=20

# Lit pixels that differ between two screenshots inside a region WxH+X+Y.
changed_pixels_in() {
    "$E2E_CONVERT" "$1" "$2" -crop "$3" +repage -colorspace Gray -threshold 5% -compose Difference -composite \
        -format '%[fx:int(mean*w*h+0.5)]' info:
}

e2e_init "${1:-}"
e2e_start_xvfb
e2e_start_pulse

DIR=$(e2e_make_workdir pie-menu)
e2e_make_chord_loops "$DIR"
e2e_start_app "$DIR"
e2e_wait_window
e2e_enter_canvas "$DIR"
e2e_centre_rect "$DIR"
RECT_GEOMETRY=$(read -r x y w h <<<"$E2E_RECT_BOX" && echo "${w}x${h}+$x+$y")

# A cloud in the middle of the rect, selected as it is made.
e2e_move_pointer "$RECT_X" "$RECT_Y"
e2e_key 1
sleep "$E2E_SETTLE_SECONDS"
e2e_screenshot "$DIR/cloud-1.png"
e2e_screenshot "$DIR/cloud-2.png"
NOISE=$(e2e_changed_pixels "$DIR/cloud-1.png" "$DIR/cloud-2.png")

e2e_space_down
e2e_screenshot "$DIR/cloud-menu.png"
MENU_CHANGE=$(e2e_changed_pixels "$DIR/cloud-2.png" "$DIR/cloud-menu.png")
e2e_log "holding Space over the cloud changes $MENU_CHANGE pixels (the cloud alone: $NOISE)"
[ "$MENU_CHANGE" -gt $((NOISE + MIN_MENU_PIXELS)) ] ||
    e2e_fail "holding Space over the cloud changes $MENU_CHANGE pixels, the cloud alone $NOISE: no boxes drawn"
e2e_space_up
e2e_record_bounce "$DIR" "cloud at 0 dB"
e2e_expect_sound "cloud at 0 dB"
LOUD_RMS=$MEASURED_RMS_LEFT

# The Volume box (-60..6 dB, sensitivity 6) dragged to the cloud's centre and
# as far again, inward: -60 dB.
read -r VOLUME_X VOLUME_Y < <(e2e_cloud_volume_box "$RECT_X" "$RECT_Y")
e2e_space_down
e2e_drag "$VOLUME_X" "$VOLUME_Y" $((2 * RECT_X - VOLUME_X)) $((2 * RECT_Y - VOLUME_Y))
e2e_space_up
sleep "$E2E_SETTLE_SECONDS"
e2e_record_bounce "$DIR" "cloud after the Volume drag"
e2e_check_bounce_samples "cloud after the Volume drag"
DROP_DB=$(awk -v loud="$LOUD_RMS" -v soft="$MEASURED_RMS_LEFT" 'BEGIN { printf "%.1f", 20 * log((soft + 1e-12) / loud) / log(10) }')
e2e_log "the Volume drag changes the bounce by $DROP_DB dB"
awk -v d="$DROP_DB" -v min="$MIN_VOLUME_DROP_DB" 'BEGIN { exit !(d <= -min) }' ||
    e2e_fail "dragging the Volume box onto the cloud changed the bounce by $DROP_DB dB, expected at most -$MIN_VOLUME_DROP_DB dB"

# The rect alone, selected; its Type box is the lower of the two right of its
# centre, and 0.1 screen heights outward adds 1.2 or so: a spectrogram.
e2e_key BackSpace
e2e_click "$RECT_X" "$RECT_Y"
sleep "$E2E_SETTLE_SECONDS"
e2e_screenshot "$DIR/rect-waveform.png"
e2e_screenshot "$DIR/rect-waveform-2.png"
TYPE_X=$((RECT_X + 50))
TYPE_Y=$((RECT_Y + 15))
e2e_space_down
e2e_drag "$TYPE_X" "$TYPE_Y" $((TYPE_X + HEIGHT / 10)) "$TYPE_Y"
e2e_space_up
e2e_screenshot "$DIR/rect-spectrogram.png"
read -r _ _ RECT_W RECT_H <<<"$E2E_RECT_BOX"
TYPE_CHANGE=$(changed_pixels_in "$DIR/rect-waveform-2.png" "$DIR/rect-spectrogram.png" "$RECT_GEOMETRY")
NOISE=$(changed_pixels_in "$DIR/rect-waveform.png" "$DIR/rect-waveform-2.png" "$RECT_GEOMETRY")
e2e_log "the Type drag changes $TYPE_CHANGE of the rect's $((RECT_W * RECT_H)) pixels (the waveform alone: $NOISE)"
[ $(((TYPE_CHANGE - NOISE) * 100)) -ge $((MIN_TYPE_CHANGE_PERCENT * RECT_W * RECT_H)) ] ||
    e2e_fail "dragging the rect's Type box changes only $TYPE_CHANGE of its $((RECT_W * RECT_H)) pixels (the waveform alone: $NOISE)"

e2e_quit
e2e_pass "pie menu: boxes drawn while Space is held, Volume dragged in by $DROP_DB dB, Type dragged to a spectrogram"
