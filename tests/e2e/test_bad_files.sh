#!/bin/bash
# A sound folder as users really have them: broken, odd and exotic files beside
# good ones. The instrument starts, says of every file that it loads it or why it
# cannot, a grain cloud swept over every rect records a bounce that is finite and
# within [-1, 1], and Shift+Esc still quits within 2 s.
set -u
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/lib.sh"

RATE=44100
# Rows of the sweep, in window pixels: closer than the smallest rect is high, so
# that the cloud crosses every rect.
ROW_STEP=25
COLUMN_STEP=40
STEP_SECONDS=0.06

# A 32-bit float WAV whose samples a Python expression of i (the sample index) gives.
write_float_wav() {
    local path=$1 channels=$2 frames=$3 expression=$4
    python3 - "$path" "$channels" "$frames" "$expression" <<'PYTHON' || e2e_fail "could not write $1"
import math, struct, sys
path, channels, frames, expression = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
samples = [float(eval(expression, {"math": math, "i": i})) for i in range(frames * channels)]
data = struct.pack("<%df" % len(samples), *samples)
fmt = struct.pack("<HHIIHH", 3, channels, 44100, 44100 * 4 * channels, 4 * channels, 32)
with open(path, "wb") as f:
    f.write(b"RIFF" + struct.pack("<I", 4 + 8 + len(fmt) + 8 + len(data)) + b"WAVE")
    f.write(b"fmt " + struct.pack("<I", len(fmt)) + fmt)
    f.write(b"data" + struct.pack("<I", len(data)) + data)
PYTHON
}

# The names of everything put into loops/, one a line.
NAMES_FILE=""
add_name() { echo "$1" >>"$NAMES_FILE"; }

make_loops() {
    local loops="$1/loops" name
    mkdir -p "$loops"
    NAMES_FILE="$1/names.txt"
    : >"$NAMES_FILE"
    # Good material, so that the bad files sit among sounds that play.
    sox -n -r "$RATE" -b 16 -c 2 "$loops/good.wav" synth 3 sine 220 sine 331 gain -n -3 || e2e_fail "sox good.wav"
    add_name good.wav
    : >"$loops/empty.wav" && add_name empty.wav
    echo "a shopping list, not a sound" >"$loops/notes.txt" && add_name notes.txt
    sox -n -r "$RATE" -b 16 -c 2 "$loops/header-only.wav" trim 0 0 || e2e_fail "sox header-only.wav"
    add_name header-only.wav
    sox -n -r "$RATE" -b 16 -c 2 "$loops/full.wav" synth 1 square 150 gain -n -6 || e2e_fail "sox full.wav"
    head -c 20000 "$loops/full.wav" >"$loops/truncated.wav" && rm "$loops/full.wav" && add_name truncated.wav
    sox -n -r "$RATE" -b 16 -c 2 "$loops/one-frame.wav" synth 1s sine 440 || e2e_fail "sox one-frame.wav"
    add_name one-frame.wav
    sox -n -r "$RATE" -b 16 -c 2 "$loops/short.wav" synth 0.01 sine 440 || e2e_fail "sox short.wav"
    add_name short.wav
    sox -n -r "$RATE" -b 16 -c 3 "$loops/three-channels.wav" synth 2 sine 200 sine 300 sine 400 || e2e_fail "sox 3 ch"
    add_name three-channels.wav
    sox -n -r "$RATE" -b 16 -c 8 "$loops/eight-channels.wav" synth 2 sine 100 sine 150 sine 200 sine 250 \
        sine 300 sine 350 sine 400 sine 450 || e2e_fail "sox 8 ch"
    add_name eight-channels.wav
    sox -n -r 8000 -b 16 -c 1 "$loops/rate-8k.wav" synth 2 sine 300 || e2e_fail "sox 8 kHz"
    add_name rate-8k.wav
    sox -n -r 192000 -b 24 -c 2 "$loops/rate-192k.wav" synth 1 sine 1000 || e2e_fail "sox 192 kHz"
    add_name rate-192k.wav
    sox -n -r "$RATE" -b 24 -c 2 "$loops/pcm-24.wav" synth 2 sawtooth 110 gain -n -1 || e2e_fail "sox 24 bit"
    add_name pcm-24.wav
    # Mono float, a NaN every 1000 samples and one infinity amid a sine.
    write_float_wav "$loops/float-nan.wav" 1 44100 \
        "float('nan') if i % 1000 == 7 else (float('inf') if i == 20000 else 0.5 * math.sin(i * 0.05))"
    add_name float-nan.wav
    write_float_wav "$loops/float-8.wav" 2 44100 "8.0 * math.sin(i * 0.01)"
    add_name float-8.wav
    sox -n -r "$RATE" -c 2 "$loops/sound.flac" synth 2 pluck 220 || e2e_fail "sox FLAC"
    add_name sound.flac
    sox -n -r "$RATE" -c 2 "$loops/sound.ogg" synth 2 sine 500 gain -n -3 || e2e_fail "sox OGG"
    add_name sound.ogg
    mkdir "$loops/folder.wav" && add_name folder.wav
    # A pipe no one writes to: opening it for reading would wait for ever.
    mkfifo "$loops/fifo.wav" && add_name fifo.wav
    name="Café à l'été – ünd ñ.wav"
    sox -n -r "$RATE" -b 16 -c 1 "$loops/$name" synth 2 triangle 260 || e2e_fail "sox non-ASCII name"
    add_name "$name"
}

# Every file is either loaded or refused with its name, never both, never neither.
check_each_file_is_answered() {
    local name loaded refused count=0
    while IFS= read -r name; do
        loaded=0 refused=0
        e2e_output_has stderr "Loading '$name'... " && loaded=1
        e2e_output_has stderr "Not able to open input file $name." && refused=1
        [ $((loaded + refused)) -eq 1 ] ||
            e2e_fail "'$name': loaded $loaded, refused $refused; expected exactly one of the two messages"
        if [ "$loaded" -eq 1 ]; then
            LOADED=$((LOADED + 1))
        else
            e2e_log "refused: $name"
        fi
        count=$((count + 1))
    done <"$NAMES_FILE"
    e2e_log "$count files: $LOADED loaded, $((count - LOADED)) refused with their message"
    e2e_output_has stderr "Loading 'empty.wav'" && e2e_fail "the empty file was loaded"
    e2e_output_has stderr "Loading 'notes.txt'" && e2e_fail "the text file was loaded"
    e2e_output_has stderr "Loading 'folder.wav'" && e2e_fail "the folder was loaded"
    return 0
}

# One cloud dragged along rows across the whole window: it passes over every rect
# while the output is recorded. The drag starts on the cloud, so it is the cloud that moves.
sweep_cloud() {
    local width=$1 height=$2 x y row=0 moves=()
    x=$COLUMN_STEP
    y=$ROW_STEP
    e2e_move_pointer "$x" "$y"
    e2e_key 1
    while [ "$y" -lt "$height" ]; do
        if [ $((row % 2)) -eq 0 ]; then
            for ((x = COLUMN_STEP; x < width; x += COLUMN_STEP)); do
                moves+=(mousemove --window "$E2E_WINDOW" "$x" "$y" sleep "$STEP_SECONDS")
            done
        else
            for ((x = width - COLUMN_STEP; x > 0; x -= COLUMN_STEP)); do
                moves+=(mousemove --window "$E2E_WINDOW" "$x" "$y" sleep "$STEP_SECONDS")
            done
        fi
        y=$((y + ROW_STEP))
        row=$((row + 1))
    done
    e2e_focus
    timeout 120 xdotool mousemove --window "$E2E_WINDOW" "$COLUMN_STEP" "$ROW_STEP" mousedown 1 "${moves[@]}" mouseup 1 ||
        e2e_fail "the sweep with xdotool failed"
    e2e_require_running
}

bounce_files() { find "$1/bounces" -maxdepth 1 -type f -name '*.raw' 2>/dev/null; }

e2e_init "${1:-}"
e2e_start_xvfb
e2e_start_pulse

DIR=$(e2e_make_workdir bad-files)
make_loops "$DIR"
e2e_start_app "$DIR"
e2e_wait_window 60
e2e_wait_for 120 e2e_output_has stdout "Sounds loaded successfully..." || e2e_fail "no 'Sounds loaded successfully...' on stdout"
LOADED=0
check_each_file_is_answered

e2e_wait_for 30 e2e_screenshot_lit "$DIR/title.png" 500 || e2e_fail "the title screen stays blank"
read -r WIDTH HEIGHT < <("$E2E_CONVERT" "$DIR/title.png" -format '%w %h' info:)
e2e_click 5 5
e2e_wait_for 20 e2e_screenshot_changed "$DIR/canvas.png" "$DIR/title.png" 2000 || e2e_fail "the title screen stays after a click"

e2e_key F11
sweep_cloud "$WIDTH" "$HEIGHT"
e2e_key F11
e2e_wait_for 30 e2e_output_has stdout "Recorded " || e2e_fail "the recording was not completed"
RAW=$(bounce_files "$DIR")
[ "$(echo "$RAW" | wc -l)" -eq 1 ] || e2e_fail "expected one bounce, found: $RAW"
e2e_check_bounce_pair "$RAW"
read -r FRAMES PEAK NONFINITE BEYOND < <(e2e_bounce_stats "$RAW")
e2e_log "bounce of the sweep: $FRAMES frames, peak $PEAK, $NONFINITE not finite, $BEYOND outside [-1, 1]"
[ "$NONFINITE" -eq 0 ] || e2e_fail "$NONFINITE samples of the bounce are not finite"
[ "$BEYOND" -eq 0 ] || e2e_fail "$BEYOND samples of the bounce lie outside [-1, 1] (peak $PEAK)"
awk -v p="$PEAK" 'BEGIN { exit !(p > 0.01) }' || e2e_fail "the sweep played nothing (peak $PEAK)"

e2e_key shift+Escape
e2e_wait_app_exit 2 || e2e_fail "the instrument still runs 2 s after Shift+Esc"
[ "$E2E_APP_STATUS" -eq 0 ] || e2e_fail "Shift+Esc ended the instrument with status $E2E_APP_STATUS, expected 0"
e2e_pass "bad files: $LOADED loaded, the rest refused with a message; a finite bounce within [-1, 1]; Shift+Esc quits"
