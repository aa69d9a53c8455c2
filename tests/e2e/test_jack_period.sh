#!/bin/bash
# The performer changes the JACK server's period while a cloud plays and F11
# records, as `jack_bufsize` does: 256 -> 512 -> 128 frames. The instrument
# plays at the server's rate (48000 Hz; a 1 kHz sine recorded at 48000 or at
# 44100 Hz heard at 1 kHz), says the
# rate and each new period, sounds again within 1 s of each change, quits
# within 2 s of Shift+Esc, and leaves a whole recording as long as the time
# it ran.
set -u
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/lib.sh"

E2E_RUNTIME_PACKAGES="$E2E_RUNTIME_PACKAGES jackd2 python3-jack-client python3-numpy"
# Debian's Python, which the JACK client and numpy packages are for.
PYTHON=/usr/bin/python3
RIG="$(dirname "$0")/jack_period_rig.py"
E2E_RATE=48000
TONE_HZ=1000
# The recording lasts the time between F11 and Shift+Esc, give or take the
# time the keys take to arrive.
LENGTH_TOLERANCE_SECONDS=0.5

e2e_init "${1:-}"
e2e_start_xvfb
e2e_start_jack 256
DIR=$(e2e_make_workdir jack-period)
mkdir -p "$DIR/loops"
sox -n -r "$E2E_RATE" -b 16 -c 2 "$DIR/loops/sine1k.wav" synth 4 sine "$TONE_HZ" gain -n -3 ||
    e2e_fail "sox could not write sine1k.wav"
e2e_start_app "$DIR" --audio-api jack
e2e_wait_window
e2e_enter_canvas "$DIR"
e2e_wait_for 20 e2e_output_has stdout "Stream Latency" || e2e_fail "no audio stream after loading"
e2e_expect_output stdout "Audio: jack, 48000 Hz, 256 frames per block (5.3 ms)"

e2e_move_pointer "$RECT_X" "$RECT_Y"
e2e_key 1
BEFORE=$(e2e_bounce_files "$DIR")
e2e_key F11
e2e_wait_for 10 e2e_new_bounce_reaches "$DIR" "$BEFORE" 0 || e2e_fail "F11 did not start a recording"
RECORD_START=$EPOCHREALTIME
BOUNCE=$(e2e_new_bounce "$DIR" "$BEFORE")

"$PYTHON" "$RIG" "$TONE_HZ" 512 128 || e2e_fail "the JACK rig's checks failed"
e2e_expect_output stdout "Audio: jack, 48000 Hz, 512 frames per block (10.7 ms)"
e2e_expect_output stdout "Audio: jack, 48000 Hz, 128 frames per block (2.7 ms)"
e2e_output_has stderr "cannot process" && e2e_fail "the stream did not follow the new period"

RECORD_END=$EPOCHREALTIME
e2e_quit
e2e_check_bounce_pair "$BOUNCE"
awk -v frames="$E2E_BOUNCE_FRAMES" -v rate="$E2E_RATE" -v start="$RECORD_START" -v end="$RECORD_END" \
    -v tolerance="$LENGTH_TOLERANCE_SECONDS" \
    'BEGIN { d = frames / rate - (end - start); exit !(d < tolerance && d > -tolerance) }' ||
    e2e_fail "the recording holds $E2E_BOUNCE_FRAMES frames for $(awk -v s="$RECORD_START" -v e="$RECORD_END" \
        'BEGIN { print e - s }') s of playing"
e2e_log "recording: $E2E_BOUNCE_FRAMES frames at $E2E_RATE Hz"

# A sound recorded at 44100 Hz is converted to the server's 48000 Hz and
# heard at its pitch. Then the server stops answering (stuck in its driver;
# here stopped) while F11 records: SIGTERM still ends the instrument within
# 2 s, the recording whole.
DIR=$(e2e_make_workdir jack-stuck)
mkdir -p "$DIR/loops"
sox -n -r 44100 -b 16 -c 2 "$DIR/loops/sine1k-44k.wav" synth 4 sine "$TONE_HZ" gain -n -3 ||
    e2e_fail "sox could not write sine1k-44k.wav"
e2e_start_app "$DIR" --audio-api jack
e2e_wait_window
e2e_enter_canvas "$DIR"
e2e_wait_for 20 e2e_output_has stdout "Stream Latency" || e2e_fail "no audio stream after loading"
e2e_move_pointer "$RECT_X" "$RECT_Y"
e2e_key 1
"$PYTHON" "$RIG" "$TONE_HZ" || e2e_fail "a 44100 Hz sound is not heard at its pitch under a 48000 Hz server"
e2e_key F11
e2e_wait_for 10 e2e_new_bounce_reaches "$DIR" "" 0 || e2e_fail "F11 did not start a recording"
BOUNCE=$(e2e_new_bounce "$DIR" "")
sleep 1
kill -STOP "$E2E_JACK_PID"
kill -TERM "$E2E_APP_PID"
e2e_wait_app_exit 2 || { kill -CONT "$E2E_JACK_PID"; e2e_fail "the instrument still runs 2 s after SIGTERM under a stuck server"; }
kill -CONT "$E2E_JACK_PID"
[ "$E2E_APP_STATUS" -eq 0 ] || e2e_fail "the instrument ended with status $E2E_APP_STATUS on SIGTERM"
e2e_check_bounce_pair "$BOUNCE"
e2e_log "under a stuck server: quit on SIGTERM, the recording whole ($E2E_BOUNCE_FRAMES frames)"
e2e_pass "JACK period changes: the cloud plays at the server's 48000 Hz at its pitch, sounds again within 1 s of each new period (512, 128), which is said; Shift+Esc quits within 2 s and the recording is whole and as long as it ran; under a stuck server SIGTERM quits within 2 s, the recording whole"
