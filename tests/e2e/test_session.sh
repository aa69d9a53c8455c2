#!/bin/bash
# A scene kept across runs: a rect dragged, a cloud and a loop source over it and another style,
# saved with F12, come back on the next start without a key pressed, and sound.
# A session.bin of random bytes, or cut in half, is reported and the program runs.
set -u
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/lib.sh"

# Bytes of a session: counts, app state and master chain; a rect; a grain cloud.
SESSION_BASE_BYTES=492
RECT_BYTES=284
CLOUD_BYTES=17604
LOOP_SOURCE_BYTES=17356
# Two screens of the same scene may differ by the breathing of rings and the
# flashes of grains, not by where things are: the lit area stays where it was
# (within a few pixels) and few pixels change (a rect moved by its own height
# changes tens of thousands).
MAX_LAYOUT_CHANGE=2000
MAX_BOX_SHIFT=4
DRAG_PIXELS=60
# The session's message stays on screen this long; screens are compared after it.
MESSAGE_SECONDS=6

# The centre of the lit bounding box: with one sound, the visible part of its rect.
rect_centre() {
    local x y w h
    read -r x y w h <<<"$E2E_RECT_BOX"
    [ "$w" -ge 40 ] && [ "$h" -ge 40 ] || e2e_fail "the visible rect ${w}x${h}+$x+$y is too small to aim at"
    echo "$((x + w / 2)) $((y + h / 2))"
}

# The screenshot without the limiter's indicator (top right), which lights
# whenever the mix peaks and is not part of the scene.
scene_shot() {
    local width height
    e2e_screenshot "$1.full.png"
    read -r width height < <("$E2E_CONVERT" "$1.full.png" -format '%w %h' info:)
    "$E2E_CONVERT" "$1.full.png" -fill black -draw "rectangle $((width * 9 / 10)),0 $width,$((height / 10))" "$1"
}

drag() {
    e2e_focus
    timeout 10 xdotool mousemove --window "$E2E_WINDOW" "$1" "$2" mousedown 1 \
        mousemove --window "$E2E_WINDOW" "$3" "$4" mouseup 1 || e2e_fail "drag from $1,$2 to $3,$4 failed"
}

start_app() {
    e2e_start_app "$1"
    e2e_wait_window
}

# A damaged session must not stop the program: it says so, and runs on.
# Whatever it could read stays, so random bytes may put the rect anywhere.
expect_damaged_file_reported() {
    local dir=$1 label=$2
    start_app "$dir"
    e2e_wait_for 20 e2e_output_has stderr "could not be read whole" ||
        e2e_fail "$label: no message about the damaged session.bin"
    sleep "$MESSAGE_SECONDS"
    e2e_leave_title "$dir"
    e2e_require_running
    [ -f "$dir/session.bin.damaged" ] || e2e_fail "$label: the damaged file is not kept aside"
    e2e_quit
    e2e_log "$label: reported and running: $(grep -m1 'could not be read whole' "$dir/stderr.log")"
}

e2e_init "${1:-}"
e2e_start_xvfb
e2e_start_pulse

DIR=$(e2e_make_workdir session)
e2e_make_chord_loops "$DIR"
start_app "$DIR"
e2e_enter_canvas "$DIR"

read -r RX RY < <(rect_centre)
# Towards the middle of the window, so that the moved rect stays in view
# wherever the start put it.
DX=$DRAG_PIXELS DY=$((DRAG_PIXELS / 2))
[ "$RX" -lt $((WIDTH / 2)) ] || DX=$((-DX))
[ "$RY" -lt $((HEIGHT / 2)) ] || DY=$((-DY))
drag "$RX" "$RY" $((RX + DX)) $((RY + DY))
E2E_RECT_BOX=""
e2e_wait_for 20 e2e_canvas_stable "$DIR/moved.png" || e2e_fail "the canvas does not settle after the drag"
read -r CX CY < <(rect_centre)
e2e_move_pointer "$CX" "$CY"
e2e_key 1
e2e_move_pointer $((CX + 30)) "$CY"
e2e_key 3
e2e_key ctrl+Right
sleep 1
e2e_key F12
e2e_wait_for 10 e2e_output_has stdout "Session saved to session.bin" || e2e_fail "F12 did not say the session was saved"
SIZE=$(e2e_file_size "$DIR/session.bin")
# The scene's records end where the trailing section starts, whose offset the
# footer's first 8 bytes hold.
RECORDS=$(od -A n -t d8 -j $((SIZE - 24)) -N 8 "$DIR/session.bin" | tr -d ' ')
EXPECTED=$((SESSION_BASE_BYTES + RECT_BYTES + CLOUD_BYTES + LOOP_SOURCE_BYTES))
[ "$RECORDS" -eq "$EXPECTED" ] ||
    e2e_fail "session.bin holds $RECORDS bytes of records, the format gives $EXPECTED for a rect, a cloud and a loop source"
sleep "$MESSAGE_SECONDS"
scene_shot "$DIR/saved.png"
SAVED_BOX=$(e2e_lit_bbox "$DIR/saved.png")
e2e_quit

start_app "$DIR"
e2e_wait_for 20 e2e_output_has stdout "Session restored from session.bin: 1 rect, 2 sources" ||
    e2e_fail "no 'Session restored' line on stdout"
sleep "$MESSAGE_SECONDS"
e2e_enter_canvas "$DIR"
scene_shot "$DIR/restored.png"
RESTORED_BOX=$(e2e_lit_bbox "$DIR/restored.png")
CHANGED=$(e2e_changed_pixels "$DIR/saved.png" "$DIR/restored.png")
e2e_log "saved canvas lit at $SAVED_BOX, restored at $RESTORED_BOX; they differ in $CHANGED pixels"
read -r -a saved_box <<<"$SAVED_BOX"
read -r -a restored_box <<<"$RESTORED_BOX"
for i in 0 1 2 3; do
    shift_px=$((saved_box[i] - restored_box[i]))
    [ "${shift_px#-}" -le "$MAX_BOX_SHIFT" ] ||
        e2e_fail "the restored canvas is lit at $RESTORED_BOX, the saved one at $SAVED_BOX"
done
[ "$CHANGED" -le "$MAX_LAYOUT_CHANGE" ] ||
    e2e_fail "the restored canvas differs from the saved one in $CHANGED pixels (at most $MAX_LAYOUT_CHANGE)"
e2e_record_bounce "$DIR" "restored cloud and loop"
e2e_expect_sound "restored cloud and loop"
e2e_quit

head -c "$((SIZE / 2))" "$DIR/session.bin" >"$DIR/half.bin"
mv "$DIR/half.bin" "$DIR/session.bin"
expect_damaged_file_reported "$DIR" "session cut in half"
head -c 5000 /dev/urandom >"$DIR/session.bin"
expect_damaged_file_reported "$DIR" "session of random bytes"

e2e_pass "session: saved with F12 at the format's size, restored on screen and in sound, damaged files reported"
