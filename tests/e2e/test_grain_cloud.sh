#!/bin/bash
# A grain cloud heard through the real program: "1" over a sound rect makes a
# cloud whose grains play that sound; Backspace takes it away again; a cloud on
# the empty canvas has nothing to play. Each state is recorded as its own bounce
# and measured sample by sample.
set -u
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/lib.sh"

# Time for a new or removed cloud to take effect on the sound.
SETTLE_SECONDS=0.5
# A point counts as empty canvas when nothing is lit this close to it, and as
# far from the rect when it is at least this far outside its bounding box.
EMPTY_RADIUS=20
FAR_FROM_RECT=40

# One loud stereo sound: a different note in each ear over noise, so that any
# grain of it is loud wherever in the sound it starts.
make_loops() {
    mkdir -p "$1/loops"
    sox -n -r "$RATE" -b 16 -c 2 "$1/loops/chord.wav" synth 4 sine 220 sine 277 synth 4 pinknoise mix gain -n -3 ||
        e2e_fail "sox could not write chord.wav"
}

# With a single sound every lit pixel belongs to its rect, so the lit bounding box is
# the visible part of the rect (the rest may lie off-screen). Sets RECT_X/Y (a point
# well inside it) and EMPTY_X/Y (the middle of the widest dark band beside it).
locate_rect_and_empty_spot() {
    local shot=$1 width=$2 height=$3 x y w h left right top bottom gap
    read -r x y w h <<<"$RECT_BOX"
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
    [ $((gap / 2)) -ge "$FAR_FROM_RECT" ] ||
        e2e_fail "no empty canvas $FAR_FROM_RECT px away from the rect ${w}x${h}+$x+$y"
    e2e_dark_around "$shot" "$EMPTY_X" "$EMPTY_Y" "$EMPTY_RADIUS" ||
        e2e_fail "the chosen empty spot $EMPTY_X,$EMPTY_Y has lit pixels around it"
    e2e_log "rect seen at ${w}x${h}+$x+$y; aiming at $RECT_X,$RECT_Y; empty canvas at $EMPTY_X,$EMPTY_Y"
}

# True once something is drawn around the given point: the ring of a new cloud.
cloud_drawn_at() {
    e2e_screenshot "$1"
    ! e2e_dark_around "$1" "$2" "$3" "$EMPTY_RADIUS"
}

e2e_init "${1:-}"
e2e_start_xvfb
e2e_start_pulse

DIR=$(e2e_make_workdir grain-cloud)
make_loops "$DIR"
e2e_start_app "$DIR"
e2e_wait_window
e2e_wait_for 60 e2e_output_has stdout "Sounds loaded successfully..." || e2e_fail "no 'Sounds loaded successfully...' on stdout"

e2e_leave_title_screen "$DIR"
locate_rect_and_empty_spot "$DIR/canvas.png" "$WIDTH" "$HEIGHT"

e2e_move_pointer "$RECT_X" "$RECT_Y"
e2e_key 1
sleep "$SETTLE_SECONDS"
record_bounce "$DIR" "cloud over the rect"
expect_sound "cloud over the rect"

e2e_key BackSpace
sleep "$SETTLE_SECONDS"
record_bounce "$DIR" "cloud removed"
expect_silence "cloud removed"

e2e_move_pointer "$EMPTY_X" "$EMPTY_Y"
e2e_key 1
# Silence proves nothing unless the cloud is really there.
e2e_wait_for 10 cloud_drawn_at "$DIR/empty-cloud.png" "$EMPTY_X" "$EMPTY_Y" ||
    e2e_fail "no cloud drawn at $EMPTY_X,$EMPTY_Y after pressing 1"
sleep "$SETTLE_SECONDS"
record_bounce "$DIR" "cloud on empty canvas"
expect_silence "cloud on empty canvas"

e2e_key shift+Escape
e2e_wait_app_exit 2 || e2e_fail "the instrument still runs 2 s after Shift+Esc"
[ "$E2E_APP_STATUS" -lt 128 ] || e2e_fail "the instrument died of signal $((E2E_APP_STATUS - 128)) on Shift+Esc"
e2e_log "quit with status $E2E_APP_STATUS"
e2e_pass "grain cloud: sound over a rect, silence once removed, silence on empty canvas"
