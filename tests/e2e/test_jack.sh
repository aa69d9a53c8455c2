#!/bin/bash
# The instrument in a JACK graph, as a performer's rig has it: a server of the
# test's own (dummy driver, 128-frame periods), the instrument's audio ports
# and MIDI ports under its own name, and a JACK client of the test's own that
# records the audio, plays notes, the pitch wheel, the sustain pedal and the
# channel mode messages on two channels into the MIDI input, listens to the
# MIDI output while a letter key is pressed, and recalls a scene slot with a
# Program Change. The scene is one
# grain cloud over a rect of a 440 Hz sine.
set -u
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/lib.sh"

E2E_RUNTIME_PACKAGES="$E2E_RUNTIME_PACKAGES jackd2 python3-jack-client python3-numpy"
PERIOD=128
# Debian's Python, which the JACK client and numpy packages are for (a python3
# earlier in PATH may be another one).
PYTHON=/usr/bin/python3

e2e_init "${1:-}"
e2e_start_xvfb
e2e_start_jack "$PERIOD"
DIR=$(e2e_make_workdir jack)
mkdir -p "$DIR/loops"
sox -n -r "$E2E_RATE" -b 16 -c 2 "$DIR/loops/a440.wav" synth 4 sine 440 gain -n -3 || e2e_fail "sox could not write a440.wav"
# No port number: the instrument's MIDI ports are its own, for the rig to connect.
e2e_start_app "$DIR" --audio-api jack --block 512
e2e_wait_window
e2e_enter_canvas "$DIR"

e2e_wait_for 20 e2e_output_has stdout "Stream Latency" || e2e_fail "no audio stream after loading"
e2e_expect_output stdout "Audio: jack, $E2E_RATE Hz, $PERIOD frames per block"
e2e_expect_output stdout "The JACK server's period sets the block size: --block is not taken"
for port in "zoltafenri:outport 0" "zoltafenri:outport 1" "zoltafenri-midi-in:in" "zoltafenri-midi-out:out"; do
    e2e_jack_has_port "$port" || e2e_fail "no JACK port '$port' (ports: $(jack_lsp | tr '\n' ',' ))"
done
e2e_log "ports: $(jack_lsp | grep zoltafenri | tr '\n' ',')"

e2e_move_pointer "$RECT_X" "$RECT_Y"
e2e_key 1
# Slot 1 holds the cloud, for the rig's Program Change to bring back.
e2e_key ctrl+shift+F1
e2e_wait_for 10 e2e_output_has stdout "Session saved to session-1.bin" || e2e_fail "Ctrl+Shift+F1 did not save slot 1"
"$PYTHON" "$(dirname "$0")/jack_player.py" "$E2E_WINDOW" || e2e_fail "the JACK rig's checks failed"

e2e_quit
e2e_pass "JACK: audio out of the zoltafenri ports, note on 84 an octave up over a silenced cloud, the wheel two semitones, All Notes Off, All Sound Off, the sustain pedal and two channels, letter keys out of its MIDI port, Program Change 0 recalling slot 1"
