#!/bin/bash
# The live input heard through the real program, under a JACK server of the
# test's own (the dummy driver, no sound card): a JACK client of the test
# plays a 330 Hz tone into the instrument's input and listens to its output.
# Key 4 adds a live rect on an empty spot of the canvas and key 1 a cloud over
# it: the cloud plays 330 Hz at pitch 1 and 660 Hz at pitch 2. Frozen (F8),
# the rect keeps its 330 Hz while the input goes to 550 Hz; unfrozen, the
# cloud plays 550 Hz once the rect's length has passed. Then the rect's
# Length goes to 2 s and its view to the spectrogram, it is frozen, and F12
# saves the scene: after a restart the live rect is back in its place, frozen
# and empty (the cloud is silent over it), and unfrozen it fills again from
# the input, 2 s of it, drawn as a spectrogram.
set -u
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/lib.sh"

E2E_RUNTIME_PACKAGES="$E2E_RUNTIME_PACKAGES jackd2 python3-jack-client python3-numpy"
HERE=$(cd "$(dirname "$0")" && pwd)
# The Debian Python that has the jack module, whatever python3 comes first in PATH.
JACK_PYTHON=/usr/bin/python3
TONE_PID=""
LISTEN_SECONDS=2
# The rect's length at first, and a little more for the last grains.
LENGTH_SECONDS=8.5
# Cloud parameters: Pitch is the 9th of 15, Range the 14th.
PITCH_INDEX=8
RANGE_INDEX=13
CLOUD_PARAMS=15
# Within this many Hz of the expected frequency.
TOLERANCE_HZ=8
# Live rect parameters: Type is the 1st of 7, Length the 5th.
TYPE_INDEX=0
LENGTH_INDEX=4
LIVE_PARAMS=7
SAVED_LENGTH_SECONDS=2
# The restored live rect is lit within this many pixels of the saved one's box.
MAX_BOX_SHIFT=3

# The test's client goes before the instrument and the server (see e2e_cleanup).
live_cleanup() {
    [ -n "$E2E_TMP" ] && touch "$E2E_TMP/control/stop" 2>/dev/null
    e2e_stop_pid "$TONE_PID"
}

start_tone() {
    rm -rf "$E2E_TMP/control"
    mkdir -p "$E2E_TMP/control"
    echo 330 >"$E2E_TMP/control/freq"
    "$JACK_PYTHON" "$HERE/jack_tone.py" "$E2E_TMP/control" >"$E2E_TMP/tone.log" 2>&1 &
    TONE_PID=$!
    # The stream opens once the sounds are loaded, which a busy machine takes a while to do.
    e2e_wait_for 90 test -e "$E2E_TMP/control/ready" ||
        { cat "$E2E_TMP/tone.log" >&2; e2e_fail "the test's JACK client did not meet the instrument's ports"; }
    e2e_log "the test's JACK client plays into the instrument and listens to it"
}

# The client ends with the instrument it was connected to.
stop_tone() {
    touch "$E2E_TMP/control/stop"
    e2e_stop_pid "$TONE_PID"
    TONE_PID=""
}

set_tone() {
    echo "$1" >"$E2E_TMP/control/freq.new"
    mv "$E2E_TMP/control/freq.new" "$E2E_TMP/control/freq"
}

# The strongest frequency of the last LISTEN_SECONDS of the instrument's left output.
heard_hz() {
    local file="$E2E_TMP/heard-${1//[^a-z0-9]/-}.raw"
    # Written whole, then renamed: the client never reads half a request.
    echo "$file $LISTEN_SECONDS" >"$E2E_TMP/control/dump.new"
    mv "$E2E_TMP/control/dump.new" "$E2E_TMP/control/dump"
    e2e_wait_for 10 test -e "$file" || e2e_fail "$1: the test's JACK client recorded nothing"
    "$JACK_PYTHON" - "$file" <<'PYTHON'
import sys
import numpy
x = numpy.fromfile(sys.argv[1], dtype=numpy.float32).astype(numpy.float64)
if numpy.sqrt(numpy.mean(x * x)) < 1e-4:
    print(0)
    sys.exit()
spectrum = numpy.abs(numpy.fft.rfft(x * numpy.hanning(len(x))))
hz = numpy.fft.rfftfreq(len(x), 1.0 / 44100)
band = (hz > 60) & (hz < 5000)
k = numpy.flatnonzero(band)[numpy.argmax(spectrum[band])]
a, b, c = numpy.log(spectrum[k - 1 : k + 2] + 1e-30)
print("%.1f" % (hz[k] + 0.5 * (a - c) / (a - 2 * b + c) * (hz[1] - hz[0])))
PYTHON
}

expect_hz() {
    local label=$1 expected=$2 hz
    sleep 1
    hz=$(heard_hz "$label")
    e2e_log "$label: the cloud plays $hz Hz (expected $expected Hz)"
    awk -v h="$hz" -v e="$expected" -v t="$TOLERANCE_HZ" 'BEGIN { exit !(h > e - t && h < e + t) }' ||
        e2e_fail "$label: the strongest frequency heard is $hz Hz, expected $expected Hz"
}

# The lit box of the live rect's part of a screenshot: the middle of the
# window, above the sound's rect and the status line.
live_rect_box() {
    "$E2E_CONVERT" "$1" -crop "${WIDTH}x$((HEIGHT / 2))+0+$((HEIGHT / 6))" +repage "$1.live.png"
    e2e_lit_bbox "$1.live.png"
}

expect_silence() {
    local label=$1 hz
    sleep 1
    hz=$(heard_hz "$label")
    e2e_log "$label: the cloud plays $hz Hz (expected silence)"
    [ "$hz" = 0 ] || e2e_fail "$label: the cloud plays $hz Hz, expected silence"
}

# Types a whole number into box INDEX of COUNT of the selected object's pie
# menu, held open with Space: a right click on it, the digits one key each,
# Enter. CURRENT_LABEL is the box's text before, which sets its width; RING
# the owner's ring in pixels (a rect counts as none).
type_value() {
    local index=$1 count=$2 ring=$3 value=$4 current_label=$5 x y
    read -r x y < <(e2e_pie_box_centre "$index" "$count" "$current_label" "$LIVE_X" "$LIVE_Y" "$ring")
    e2e_click "$x" "$y" 3
    # shellcheck disable=SC2046
    e2e_key $(grep -o . <<<"$value") Return
}

type_pitch() {
    e2e_space_down
    type_value "$PITCH_INDEX" "$CLOUD_PARAMS" "$E2E_CLOUD_RING_PIXELS" "$@"
    e2e_space_up
}

start_instrument() {
    e2e_start_app "$DIR" --audio-api jack
    e2e_wait_window
    start_tone
    e2e_enter_canvas "$DIR"
}

e2e_init "${1:-}"
trap 'live_cleanup; e2e_cleanup' EXIT
"$JACK_PYTHON" -c 'import jack, numpy' 2>/dev/null || e2e_fail "$JACK_PYTHON lacks the jack or numpy module"
e2e_start_xvfb
# Long periods: on a machine shared by many jobs a short one is often missed,
# and the graph then passes silence.
e2e_start_jack 1024
DIR=$(e2e_make_workdir live-input)
e2e_make_chord_loops "$DIR"
start_instrument
# The sound's rect goes to the bottom right corner, out of the cloud's way;
# the live rect takes the middle, where the cloud's pie menu fits the window.
e2e_drag "$RECT_X" "$RECT_Y" $((WIDTH - 40)) $((HEIGHT - 30))
LIVE_X=$((WIDTH / 2))
LIVE_Y=$((HEIGHT / 2))
sleep "$E2E_SETTLE_SECONDS"
e2e_screenshot "$DIR/moved.png"
e2e_dark_around "$DIR/moved.png" "$LIVE_X" "$LIVE_Y" "$E2E_EMPTY_RADIUS" ||
    e2e_fail "the middle of the window is not free after moving the sound's rect away"

e2e_move_pointer "$LIVE_X" "$LIVE_Y"
e2e_screenshot "$DIR/before-live.png"
e2e_key 4
sleep 1
e2e_screenshot "$DIR/live-1.png"
sleep 0.5
e2e_screenshot "$DIR/live-2.png"
DRAWN=$(e2e_changed_pixels "$DIR/before-live.png" "$DIR/live-1.png")
MOVING=$(e2e_changed_pixels "$DIR/live-1.png" "$DIR/live-2.png")
e2e_log "the live rect changes $DRAWN pixels; half a second later $MOVING more change"
[ "$DRAWN" -gt 5000 ] || e2e_fail "key 4 drew no live rect ($DRAWN pixels changed)"
[ "$MOVING" -gt 200 ] || e2e_fail "the live rect stands still while the input arrives ($MOVING pixels changed)"

e2e_key 1
# The cloud in the middle of the rect plays what came in half its length
# ago: by then the tone, not the silence before the rect and its onset.
sleep 4
expect_hz "pitch 1" 330
type_pitch 2 "Pitch: x1 (0 st)"
expect_hz "pitch 2" 660
type_pitch 1 "Pitch: x2 (+12 st)"
expect_hz "pitch 1 again" 330

e2e_key F8
sleep 0.5
set_tone 550
sleep 1
expect_hz "frozen, input at 550 Hz" 330
e2e_screenshot "$DIR/frozen-1.png"
sleep 0.5
e2e_screenshot "$DIR/frozen-2.png"
e2e_key F8
sleep "$LENGTH_SECONDS"
expect_hz "unfrozen for the rect's length" 550

# Over a spectrogram the cloud's grains play the band of its Range about
# the height of its point: at the middle of the rect, 50 % is every band.
e2e_space_down
type_value "$RANGE_INDEX" "$CLOUD_PARAMS" "$E2E_CLOUD_RING_PIXELS" 50 "Range: 10 %"
e2e_space_up
# The live rect picked beside the cloud, its Length and view typed into its
# pie menu (the menu takes a rect for a ring under a pixel wide).
e2e_click $((LIVE_X - 100)) "$LIVE_Y"
e2e_space_down
type_value "$LENGTH_INDEX" "$LIVE_PARAMS" 0 "$SAVED_LENGTH_SECONDS" "Length: 8 s"
type_value "$TYPE_INDEX" "$LIVE_PARAMS" 0 1 "Type: WAVEFORM"
e2e_space_up
sleep $((SAVED_LENGTH_SECONDS + 1))
e2e_key F8
expect_hz "a 2 s spectrogram, frozen" 550
# Nothing selected, so that no selection frame widens the rect's lit box.
e2e_click "$LIVE_X" $((HEIGHT / 8))
e2e_key F12
e2e_wait_for 10 e2e_output_has stdout "Session saved to session.bin" || e2e_fail "F12 did not save the session"
e2e_screenshot "$DIR/saved.png"
SAVED_BOX=$(live_rect_box "$DIR/saved.png")
e2e_quit
stop_tone

start_instrument
e2e_expect_output stdout "Session restored from session.bin: 2 rects, 1 source"
e2e_screenshot "$DIR/restored.png"
RESTORED_BOX=$(live_rect_box "$DIR/restored.png")
e2e_log "the saved live rect is lit at $SAVED_BOX, the restored one at $RESTORED_BOX"
read -r -a saved_box <<<"$SAVED_BOX"
read -r -a restored_box <<<"$RESTORED_BOX"
for i in 0 1 2 3; do
    shift_px=$((saved_box[i] - restored_box[i]))
    [ "${shift_px#-}" -le "$MAX_BOX_SHIFT" ] ||
        e2e_fail "the restored live rect is lit at $RESTORED_BOX, the saved one at $SAVED_BOX"
done
# Frozen, the restored rect stays empty whatever comes in.
sleep $((SAVED_LENGTH_SECONDS + 1))
expect_silence "restored frozen and empty"
e2e_key F8
# Within 2 s the whole rect holds new sound; in 8 s its middle would still be empty.
sleep "$SAVED_LENGTH_SECONDS"
expect_hz "restored, unfrozen for 2 s" 330
# The tone drawn as a spectrogram is a line near the bottom of the rect; as
# a waveform it would fill a band about the rect's middle line.
e2e_screenshot "$DIR/refilled.png"
e2e_dark_around "$DIR/refilled.png" $((LIVE_X - 100)) "$LIVE_Y" 10 ||
    e2e_fail "the restored live rect draws its middle line: a waveform, not the saved spectrogram"

e2e_quit
e2e_pass "live input: a cloud over the live rect plays 330 Hz at pitch 1, 660 Hz at pitch 2, keeps 330 Hz frozen and plays 550 Hz once unfrozen; saved with F12 and restarted, the live rect comes back in place, frozen and empty, and fills again, 2 s of it, drawn as a spectrogram"
