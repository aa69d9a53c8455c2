#!/bin/bash
# MIDI learn and OSC through the real program in a JACK graph of the test's
# own (dummy driver): the cloud's Pitch box picked in the pie menu and F9,
# then a knob of the test's rig learns it; the knob at 0, 64 and 127 moves the
# sound of a 2000 Hz sine to 200, 5139 and 10000 Hz. The scene is saved with
# F12 and OSC speaks: a source's pitch, the master volume, a note sent as
# floats, a query answered with the value, and malformed messages that change
# nothing (a fault answered with /error). After a restart in the same folder
# the saved binding is back: the knob moves the pitch as before.
set -u
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/lib.sh"

E2E_RUNTIME_PACKAGES="$E2E_RUNTIME_PACKAGES jackd2 python3-jack-client python3-numpy liblo-tools"
PYTHON=/usr/bin/python3
CONTROLLER=21
# A port of this run's own, so that tests side by side do not meet.
OSC_PORT=$((20000 + $$ % 20000))
RIG="$(dirname "$0")/learn_rig.py"

e2e_init "${1:-}"
e2e_start_xvfb
# Long periods: where the server cannot run real-time, a busy machine makes a
# client miss many a short cycle, and the MIDI written in it is lost.
e2e_start_jack 1024
DIR=$(e2e_make_workdir midi-learn)
mkdir -p "$DIR/loops"
sox -n -r "$E2E_RATE" -b 16 -c 2 "$DIR/loops/s2000.wav" synth 4 sine 2000 gain -n -3 || e2e_fail "sox could not write s2000.wav"

start() {
    e2e_start_app "$DIR" --audio-api jack --osc-port "$OSC_PORT"
    e2e_wait_window
    e2e_enter_canvas "$DIR"
    e2e_wait_for 20 e2e_output_has stdout "Stream Latency" || e2e_fail "no audio stream after loading"
}

start
e2e_expect_output stdout "Listening for OSC on 127.0.0.1:$OSC_PORT"
e2e_centre_rect "$DIR"
e2e_move_pointer "$RECT_X" "$RECT_Y"
e2e_key 1
sleep "$E2E_SETTLE_SECONDS"

# Pitch, the 9th of the cloud's 15 boxes, starts at 1. A right click on it
# picks it (to type a value); F9 arms the learn, Esc drops the typing.
read -r PITCH_X PITCH_Y < <(e2e_pie_box_centre 8 15 "Pitch: x1 (0 st)" "$RECT_X" "$RECT_Y" "$E2E_CLOUD_RING_PIXELS")
e2e_log "the Pitch box should stand at $PITCH_X,$PITCH_Y"
e2e_space_down
e2e_click "$PITCH_X" "$PITCH_Y" 3
e2e_key F9
e2e_screenshot "$DIR/learning.png"
e2e_key Escape
e2e_space_up
e2e_wait_for 5 e2e_output_has stdout "MIDI learn: move a controller for Pitch of source 1" ||
    e2e_fail "F9 over the picked Pitch box did not arm the learn"

PYTHONPATH="$(dirname "$0")" "$PYTHON" "$RIG" sweep "$CONTROLLER" || e2e_fail "the learned knob does not drive the pitch"
e2e_expect_output stdout "MIDI learn: controller $CONTROLLER (channel 1) now drives Pitch of source 1"
e2e_key F12
e2e_wait_for 10 e2e_output_has stdout "Session saved to session.bin" || e2e_fail "F12 did not save the session"

PYTHONPATH="$(dirname "$0")" "$PYTHON" "$RIG" osc "$OSC_PORT" || e2e_fail "OSC did not do what it says"
e2e_expect_output stderr "/source/0/pitch s: expects one finite number"
e2e_quit

start
e2e_wait_for 20 e2e_output_has stdout "Session restored from session.bin: 1 rect, 1 source" ||
    e2e_fail "the saved scene did not come back"
PYTHONPATH="$(dirname "$0")" "$PYTHON" "$RIG" recall "$CONTROLLER" || e2e_fail "after a restart the knob no longer drives the pitch"
e2e_quit
e2e_pass "MIDI learn: a knob drives the cloud's pitch at 0, 64, 127, and again after F12 and a restart; OSC sets pitch and master volume, plays a note sent as floats, answers a query with the value and a fault with /error, and malformed messages change nothing"
