#!/bin/bash
# Notes that a performer or a packet throws at a source: a slot recalled while
# a note copy of every kind of source sounds, twenty times over, and a burst
# of 3000 note ons over OSC. The instrument goes on playing, its memory stays
# bounded and the note copies it keeps are said on screen.
set -u
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/lib.sh"

OSC_PORT=57231
RECALLS=20
BURST=3000
MAX_PEAK_KB=$((600 * 1024))

e2e_init "${1:-}"
e2e_start_xvfb
e2e_start_pulse
DIR=$(e2e_make_workdir note_burst)
e2e_make_chord_loops "$DIR"
e2e_start_app "$DIR" --osc-port "$OSC_PORT"
e2e_wait_window
e2e_enter_canvas "$DIR"

osc() { oscsend localhost "$OSC_PORT" "$@" || e2e_fail "oscsend $* failed"; }

# Slot 2 holds the empty canvas.
e2e_key ctrl+shift+F2
e2e_wait_for 10 e2e_output_has stdout "session-2.bin" || e2e_fail "slot 2 was not saved"

for kind in 1 2 3; do
    for ((i = 0; i < RECALLS; i++)); do
        e2e_move_pointer "$RECT_X" "$RECT_Y"
        e2e_key "$kind"
        osc /source/0/note ii 60 127
        sleep 0.05
        osc /scene/recall i 2
        sleep 0.05
        e2e_require_running
    done
    e2e_log "source $kind: $RECALLS recalls with a held note"
done

# Every note on in one stream of UDP packets, as fast as they go out.
e2e_move_pointer "$RECT_X" "$RECT_Y"
e2e_key 1
sleep 0.5
python3 - "$OSC_PORT" "$BURST" <<'PYTHON' || e2e_fail "the OSC burst could not be sent"
import socket, struct, sys

def osc_string(text):
    data = text.encode() + b"\0"
    return data + b"\0" * (-len(data) % 4)

port, count = int(sys.argv[1]), int(sys.argv[2])
sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
for i in range(count):
    packet = osc_string("/source/0/note") + osc_string(",ii") + struct.pack(">ii", 36 + i % 60, 100)
    sock.sendto(packet, ("127.0.0.1", port))
PYTHON
sleep 3
e2e_require_running
peak_kb=$(awk '/^VmHWM:/ { print $2 }' "/proc/$E2E_APP_PID/status")
e2e_log "peak resident memory after $BURST note ons: $((peak_kb / 1024)) MB"
[ "$peak_kb" -lt "$MAX_PEAK_KB" ] || e2e_fail "the burst took the memory to $((peak_kb / 1024)) MB"
e2e_wait_for 5 e2e_output_has stderr "the oldest fades out for a new one" ||
    e2e_fail "the bound on note copies was not said"

e2e_quit
e2e_pass "recalls with held notes of every source kind and a burst of $BURST OSC note ons: running, peak $((peak_kb / 1024)) MB"
