#!/bin/bash
# Scene files as a performer's setup meets them, through the real program:
# rects saved by sound name survive sounds added to and removed from ./loops/;
# a session.bin that is a directory, a named pipe or cannot be opened is said
# at start, never waited on, and F12 then saves beside it; a flipped byte is
# found by the checksum and the file kept aside; SIGHUP during a recording
# ends the program with the recording whole; scene slots named after
# --session are recalled while playing without a click.
set -u
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/lib.sh"

# A recall may step no further from one sample to the next than the scenes'
# own sound does, give or take this factor.
MAX_STEP_FACTOR=1.5
SETTLE_SECONDS=1

start_and_wait() {
    local dir=$1
    shift
    e2e_start_app "$dir" "$@"
    e2e_wait_window
    e2e_wait_for 60 e2e_output_has stdout "Sounds ready" || e2e_fail "the sounds are not ready"
}

save_and_quit() {
    e2e_key F12
    e2e_wait_for 10 e2e_output_has stdout "Session saved to $1" || e2e_fail "F12 did not save to $1"
    e2e_quit
}

# The largest step between neighbouring samples of a raw stereo bounce.
max_step() {
    /usr/bin/python3 - "$1" <<'PYTHON'
import sys
import numpy as np
x = np.fromfile(sys.argv[1], dtype="<f4")
x = x[: len(x) // 2 * 2].reshape(-1, 2)
print("%.6f" % np.abs(np.diff(x, axis=0)).max())
PYTHON
}

e2e_init "${1:-}"
e2e_start_xvfb
e2e_start_pulse

# ---- Rects follow their sounds by name.
DIR=$(e2e_make_workdir names)
e2e_make_chord_loops "$DIR"
cp "$DIR/loops/chord.wav" "$DIR/loops/b.wav"
start_and_wait "$DIR"
save_and_quit session.bin
mv "$DIR/loops/b.wav" "$DIR/b.wav"
cp "$DIR/loops/chord.wav" "$DIR/loops/a.wav"
start_and_wait "$DIR"
e2e_wait_for 10 e2e_output_has stderr "kept for the next save, the layouts of 1 sound not in the folder: b.wav" ||
    e2e_fail "the rect of the removed b.wav is not listed as kept"
save_and_quit session.bin
mv "$DIR/b.wav" "$DIR/loops/b.wav"
start_and_wait "$DIR"
e2e_wait_for 10 e2e_output_has stdout "Session restored from session.bin: 3 rects" || e2e_fail "the scene is not restored"
e2e_output_has stderr "not in the folder: b.wav" && e2e_fail "b.wav, back in the folder, is still listed as missing"
e2e_quit
e2e_log "names: the layout of a removed sound is listed, kept across a save, and back with its sound"

# ---- A flipped byte: the checksum finds it, the file is kept aside.
/usr/bin/python3 - "$DIR/session.bin" <<'PYTHON'
import sys
data = bytearray(open(sys.argv[1], "rb").read())
data[len(data) // 2] ^= 0x10
open(sys.argv[1], "wb").write(data)
PYTHON
start_and_wait "$DIR"
e2e_wait_for 10 e2e_output_has stderr "its checksum does not match" || e2e_fail "a flipped byte is not found"
[ -f "$DIR/session.bin.damaged" ] || e2e_fail "the damaged file is not kept aside"
e2e_quit
e2e_log "checksum: a flipped byte is said and the file kept as session.bin.damaged"

# ---- A directory, a named pipe and a file that cannot be opened (a link to
# itself: open fails as it does without read permission, which root never
# meets) where the session file should be.
for kind in directory pipe unopenable; do
    DIR=$(e2e_make_workdir "session-$kind")
    e2e_make_chord_loops "$DIR"
    case $kind in
    directory) mkdir "$DIR/session.bin" ;;
    pipe) mkfifo "$DIR/session.bin" ;;
    unopenable) ln -s session.bin "$DIR/session.bin" ;;
    esac
    start_and_wait "$DIR"
    e2e_wait_for 10 e2e_output_has stderr "session.bin cannot be read" || e2e_fail "$kind: nothing said at start"
    e2e_expect_output stderr "the scene starts empty and F12 saves to session-saved.bin"
    e2e_output_has stdout "Session restored" && e2e_fail "$kind: a scene was restored"
    save_and_quit session-saved.bin
    [ -s "$DIR/session-saved.bin" ] || e2e_fail "$kind: no session-saved.bin"
    case $kind in
    directory) [ -d "$DIR/session.bin" ] ;;
    pipe) [ -p "$DIR/session.bin" ] ;;
    unopenable) [ "$(readlink "$DIR/session.bin")" = session.bin ] ;;
    esac || e2e_fail "$kind: session.bin was replaced"
    e2e_log "$kind: $(grep -m1 'cannot be read' "$DIR/stderr.log")"
done
# What was saved beside the unopenable file is the empty scene it started with.
start_and_wait "$DIR" --session session-saved.bin
e2e_wait_for 10 e2e_output_has stdout "Session restored from session-saved.bin: 1 rect, 0 sources" ||
    e2e_fail "session-saved.bin does not hold the empty scene"
e2e_quit
if [ "$(id -u)" -ne 0 ]; then
    DIR=$(e2e_make_workdir session-unreadable)
    e2e_make_chord_loops "$DIR"
    echo "scene" >"$DIR/session.bin"
    chmod 000 "$DIR/session.bin"
    start_and_wait "$DIR"
    e2e_wait_for 10 e2e_output_has stderr "Permission denied" || e2e_fail "unreadable: nothing said at start"
    save_and_quit session-saved.bin
fi

# ---- Slots beside --session, recalled while playing; then SIGHUP while recording.

DIR=$(e2e_make_workdir slots)
e2e_make_chord_loops "$DIR"
mkdir "$DIR/sets"
e2e_start_app "$DIR" --session sets/live.bin
e2e_wait_window
e2e_enter_canvas "$DIR"
e2e_move_pointer "$RECT_X" "$RECT_Y"
e2e_key 3
e2e_key ctrl+shift+F1
e2e_wait_for 10 e2e_output_has stdout "Session saved to sets/live-1.bin" || e2e_fail "Ctrl+Shift+F1 did not save slot 1"
e2e_key BackSpace
e2e_move_pointer "$((RECT_X + 20))" "$((RECT_Y + 10))"
e2e_key 1
e2e_key ctrl+shift+F2
e2e_wait_for 10 e2e_output_has stdout "Session saved to sets/live-2.bin" || e2e_fail "Ctrl+Shift+F2 did not save slot 2"
# Each scene's own steps are heard as a recall plays it: a recalled loop's
# envelope meets the sound where it did at the recall, not where it did when
# the loop was placed by hand, and its loudest step moves with that.
e2e_key ctrl+F1
sleep "$SETTLE_SECONDS"
e2e_record_bounce "$DIR" "slot 1 playing"
STEADY_1=$(max_step "$BOUNCE")
e2e_key ctrl+F2
sleep "$SETTLE_SECONDS"
e2e_record_bounce "$DIR" "slot 2 playing"
STEADY_2=$(max_step "$BOUNCE")
BEFORE=$(e2e_bounce_files "$DIR")
e2e_key F11
for key in ctrl+F1 ctrl+F2 ctrl+F1 ctrl+F2; do
    sleep 0.7
    e2e_key "$key"
done
sleep 0.7
e2e_key F11
BOUNCE=$(e2e_new_bounce "$DIR" "$BEFORE")
e2e_wait_for 20 e2e_file_settled "$BOUNCE" 1 || e2e_fail "the recording of the recalls still grows"
RECALLS=$(max_step "$BOUNCE")
e2e_log "largest sample step: slot 1 alone $STEADY_1, slot 2 alone $STEADY_2, across four recalls $RECALLS"
awk -v r="$RECALLS" -v a="$STEADY_1" -v b="$STEADY_2" -v f="$MAX_STEP_FACTOR" \
    'BEGIN { m = a > b ? a : b; exit !(r <= f * m) }' ||
    e2e_fail "a recall steps by $RECALLS, the scenes themselves by at most $STEADY_1 and $STEADY_2"
[ "$(grep -c 'Session restored from sets/live-[12].bin' "$DIR/stdout.log")" -eq 6 ] ||
    e2e_fail "not every recall was restored: $(grep -c 'restored' "$DIR/stdout.log") of 6"

BEFORE=$(e2e_bounce_files "$DIR")
e2e_key F11
e2e_wait_for 20 e2e_new_bounce_reaches "$DIR" "$BEFORE" $((E2E_RATE * E2E_FRAME_BYTES)) ||
    e2e_fail "the recording before SIGHUP does not grow"
kill -HUP "$E2E_APP_PID"
e2e_wait_app_exit 10 || e2e_fail "SIGHUP did not end the program"
[ "$E2E_APP_STATUS" -lt 128 ] || e2e_fail "SIGHUP killed the program (status $E2E_APP_STATUS)"
BOUNCE=$(e2e_new_bounce "$DIR" "$BEFORE")
e2e_check_bounce_pair "$BOUNCE"
e2e_log "SIGHUP: ended with status $E2E_APP_STATUS, the recording whole at $E2E_BOUNCE_FRAMES frames in both files"

e2e_pass "scene files: rects by name, refused files, checksum, slots recalled without a click, SIGHUP"
