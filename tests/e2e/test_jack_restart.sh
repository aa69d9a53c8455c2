#!/bin/bash
# The JACK server stops under the playing instrument and a new one starts, as
# when a performer restarts JACK to change its period or rate: the
# instrument says that its stream is gone and runs on, and once the new
# server runs it plays again through it, with the new period, its sounds
# converted to the new rate (the cloud at the same pitch), and hears MIDI
# on its new ports.
set -u
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/lib.sh"

E2E_RUNTIME_PACKAGES="$E2E_RUNTIME_PACKAGES jackd2 python3-jack-client python3-numpy"
PYTHON=/usr/bin/python3
RIG="$(dirname "$0")/jack_restart_rig.py"

e2e_init "${1:-}"
e2e_start_xvfb
e2e_start_jack 1024
DIR=$(e2e_make_workdir jack-restart)
mkdir -p "$DIR/loops"
sox -n -r "$E2E_RATE" -b 16 -c 2 "$DIR/loops/a440.wav" synth 4 sine 440 gain -n -3 || e2e_fail "sox could not write a440.wav"
e2e_start_app "$DIR" --audio-api jack
e2e_wait_window
e2e_enter_canvas "$DIR"
e2e_wait_for 20 e2e_output_has stdout "Stream Latency" || e2e_fail "no audio stream after loading"
e2e_move_pointer "$RECT_X" "$RECT_Y"
e2e_key 1
PYTHONPATH="$(dirname "$0")" "$PYTHON" "$RIG" before || e2e_fail "the cloud does not play before the restart"

kill -TERM "$E2E_JACK_PID"
wait "$E2E_JACK_PID" 2>/dev/null
E2E_JACK_PID=""
e2e_wait_for 10 e2e_output_has stderr "The audio stream is lost" || e2e_fail "the lost stream was not said"
e2e_require_running
sleep 1.5
e2e_screenshot "$DIR/lost.png"

# Longer than a try at opening the stream: some find no server.
sleep 3
E2E_RATE=48000 e2e_start_jack 256 restart
e2e_wait_for 15 e2e_output_has stdout "The audio stream is open again" || e2e_fail "the stream did not open again in the new server"
e2e_expect_output stdout "Audio: jack, 48000 Hz, 256 frames per block"
e2e_wait_for 30 e2e_output_has stdout "The sounds play at 48000 Hz" || e2e_fail "the sounds were not converted to 48000 Hz"
e2e_wait_for 10 e2e_jack_has_port "zoltafenri-midi-in:in" || e2e_fail "no MIDI input port in the new server"
PYTHONPATH="$(dirname "$0")" "$PYTHON" "$RIG" after || e2e_fail "the instrument does not play through the new server"

# Lost again, and the performer quits before any server is back.
kill -TERM "$E2E_JACK_PID"
wait "$E2E_JACK_PID" 2>/dev/null
E2E_JACK_PID=""
e2e_wait_for 10 e2e_output_count_is stderr "The audio stream is lost" 2 || e2e_fail "the second loss was not said"
e2e_quit

# The server stops while the sounds load (a long one, a few seconds of
# analysis): the stream that cannot open is said, the instrument runs on,
# and it plays once a server runs again, at that server's rate.
e2e_start_jack 256 restart
DIR=$(e2e_make_workdir jack-late)
mkdir -p "$DIR/loops"
sox -n -r "$E2E_RATE" -b 16 -c 1 "$DIR/loops/long.wav" synth 120 sine 440 gain -n -3 || e2e_fail "sox could not write long.wav"
e2e_start_app "$DIR" --audio-api jack
e2e_wait_window
kill -TERM "$E2E_JACK_PID"
wait "$E2E_JACK_PID" 2>/dev/null
E2E_JACK_PID=""
e2e_output_has stdout "Sounds ready" && e2e_fail "the sounds loaded before the server stopped: the test needs a longer sound"
e2e_wait_for 60 e2e_output_has stderr "No sound, the audio stream cannot open: No audio device found in audio system 'jack': no JACK server runs" ||
    e2e_fail "the stream that cannot open was not said"
e2e_require_running
E2E_RATE=48000 e2e_start_jack 256 restart
e2e_wait_for 15 e2e_output_has stdout "The audio stream is open again" || e2e_fail "the stream did not open once a server ran"
e2e_wait_for 5 e2e_output_has stdout "The audio system's rate changed: Audio: jack, 48000 Hz, 256 frames per block (5.3 ms)" ||
    e2e_fail "the new rate was not said"
e2e_quit
e2e_pass "JACK restart: the lost stream is said, the instrument runs on, plays again through the new server at its period, MIDI included, and quits cleanly with no server; a stream that cannot open after loading is said and opens once a server runs, at its rate"
