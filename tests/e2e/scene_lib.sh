# Shared by the end-to-end tests that place sources on a canvas of one sound
# rect and listen to them: the sound, finding the rect and an empty spot,
# recording bounces and measuring them. Source after lib.sh.

RATE=44100
FRAME_BYTES=8
RECORD_SECONDS=3
# A source over a loud sound must reach at least this RMS in each channel (-40 dBFS).
MIN_SOUND_RMS=0.01
# Silence: no sample above -80 dBFS.
MAX_SILENT_PEAK=0.0001
# Time for a new or removed source to take effect on the sound.
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

# The first spot near a corner of the title screen with nothing drawn around it.
pick_title_spot() {
    local shot=$1 width=$2 height=$3 spot
    for spot in "20 20" "$((width - 20)) 20" "20 $((height - 20))" "$((width - 20)) $((height - 20))"; do
        # shellcheck disable=SC2086
        if e2e_dark_around "$shot" $spot 15; then
            echo "$spot"
            return 0
        fi
    done
}

# Screenshots until two in a row show the same lit bounding box; RECT_BOX holds it.
RECT_BOX=""
canvas_stable() {
    local shot=$1 box
    e2e_screenshot "$shot"
    box=$(e2e_lit_bbox "$shot")
    if [ -n "$box" ] && [ "$box" = "$RECT_BOX" ]; then
        return 0
    fi
    RECT_BOX=$box
    return 1
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

bounce_files() { find "$1/bounces" -maxdepth 1 -type f -name '*.raw' 2>/dev/null | sort; }

# The one file of the bounce folder that was not in the list BEFORE.
new_bounce() {
    local dir=$1 before=$2
    comm -13 <(echo "$before") <(bounce_files "$dir")
}

new_bounce_reaches() {
    local file
    file=$(new_bounce "$1" "$2" | head -n 1)
    [ -n "$file" ] && e2e_file_larger_than "$file" "$3"
}

# Records the master output for RECORD_SECONDS with its own F11 pair; BOUNCE holds the file.
record_bounce() {
    local dir=$1 label=$2 before size
    before=$(bounce_files "$dir")
    e2e_key F11
    e2e_wait_for $((RECORD_SECONDS + 20)) new_bounce_reaches "$dir" "$before" $((RECORD_SECONDS * RATE * FRAME_BYTES)) ||
        e2e_fail "$label: F11 did not give a bounce of $RECORD_SECONDS s (new files: $(new_bounce "$dir" "$before" | tr '\n' ' '))"
    e2e_key F11
    BOUNCE=$(new_bounce "$dir" "$before")
    [ "$(echo "$BOUNCE" | wc -l)" -eq 1 ] || e2e_fail "$label: expected one new bounce, found: $(echo "$BOUNCE" | tr '\n' ' ')"
    e2e_wait_for 20 e2e_file_settled "$BOUNCE" 1 || e2e_fail "$label: the bounce still grows after the second F11"
    size=$(e2e_file_size "$BOUNCE")
    [ $((size % FRAME_BYTES)) -eq 0 ] || e2e_fail "$label: bounce size $size is not whole stereo float frames"
    e2e_require_running
}

# Reads a raw stereo float bounce into MEASURED_* values: frames, RMS of each channel,
# RMS of both channels over the last second, peak, and BAD, the count of samples
# that are not finite or lie outside [-1, 1].
measure_bounce() {
    local last_second_from=$(($(e2e_file_size "$1") / 4 - 2 * RATE))
    read -r MEASURED_FRAMES MEASURED_RMS_LEFT MEASURED_RMS_RIGHT MEASURED_RMS_LAST MEASURED_PEAK MEASURED_BAD < <(
        od -A n -v -t f4 "$1" | awk -v last_from="$last_second_from" -v rate="$RATE" '
            {
                for (i = 1; i <= NF; i++) {
                    # od spells infinities and NaNs out in letters.
                    if ($i !~ /^-?[0-9]/) { bad++; n++; continue }
                    v = $i + 0
                    if (v > 1 || v < -1) bad++
                    a = v < 0 ? -v : v
                    if (a > peak) peak = a
                    if (n % 2 == 0) left += v * v; else right += v * v
                    if (n >= last_from) last += v * v
                    n++
                }
            }
            END {
                frames = int(n / 2)
                if (frames < rate) { print frames, 0, 0, 0, peak + 0, bad + 0; exit }
                printf "%d %.6g %.6g %.6g %.6g %d\n", frames, sqrt(left / frames), sqrt(right / frames),
                    sqrt(last / (2 * rate)), peak + 0, bad + 0
            }')
}

# Measures the new bounce, logs the figures and checks what holds for sound and silence alike.
check_bounce_samples() {
    local label=$1
    measure_bounce "$BOUNCE"
    e2e_log "$label: $MEASURED_FRAMES frames, RMS $MEASURED_RMS_LEFT / $MEASURED_RMS_RIGHT" \
        "(last second $MEASURED_RMS_LAST), peak $MEASURED_PEAK, $MEASURED_BAD bad samples"
    [ "$MEASURED_FRAMES" -ge $((RECORD_SECONDS * RATE)) ] || e2e_fail "$label: only $MEASURED_FRAMES frames recorded"
    [ "$MEASURED_BAD" -eq 0 ] ||
        e2e_fail "$label: $MEASURED_BAD samples are not finite or outside [-1, 1] (peak $MEASURED_PEAK)"
}

# The source sounds in both channels and still sounds at the end, so that the
# silence after its removal is the removal's doing.
expect_sound() {
    check_bounce_samples "$1"
    awk -v l="$MEASURED_RMS_LEFT" -v r="$MEASURED_RMS_RIGHT" -v e="$MEASURED_RMS_LAST" -v min="$MIN_SOUND_RMS" \
        'BEGIN { exit !(l >= min && r >= min && e >= min) }' ||
        e2e_fail "$1: RMS $MEASURED_RMS_LEFT / $MEASURED_RMS_RIGHT (last second $MEASURED_RMS_LAST)," \
            "expected at least $MIN_SOUND_RMS in each channel and in the last second"
}

expect_silence() {
    check_bounce_samples "$1"
    awk -v p="$MEASURED_PEAK" -v max="$MAX_SILENT_PEAK" 'BEGIN { exit !(p <= max) }' ||
        e2e_fail "$1: peak $MEASURED_PEAK (RMS $MEASURED_RMS_LEFT / $MEASURED_RMS_RIGHT), expected silence (peak at most $MAX_SILENT_PEAK)"
}

# True once something is drawn around the given point: the ring of a new source.
source_drawn_at() {
    e2e_screenshot "$1"
    ! e2e_dark_around "$1" "$2" "$3" "$EMPTY_RADIUS"
}

# Starts the instrument on one loud sound in a work folder named after the
# test (DIR), leaves the title screen and finds the rect and an empty spot
# (RECT_X/Y, EMPTY_X/Y, WIDTH, HEIGHT).
start_on_canvas() {
    e2e_start_xvfb
    e2e_start_pulse

    DIR=$(e2e_make_workdir "$1")
    make_loops "$DIR"
    e2e_start_app "$DIR"
    e2e_wait_window
    e2e_wait_for 60 e2e_output_has stdout "Sounds loaded successfully..." || e2e_fail "no 'Sounds loaded successfully...' on stdout"

    e2e_wait_for 30 e2e_screenshot_lit "$DIR/title.png" 500 || e2e_fail "the title screen stays blank"
    read -r WIDTH HEIGHT < <("$E2E_CONVERT" "$DIR/title.png" -format '%w %h' info:)
    TITLE_SPOT=$(pick_title_spot "$DIR/title.png" "$WIDTH" "$HEIGHT")
    [ -n "$TITLE_SPOT" ] || e2e_fail "no dark corner on the title screen to click"
    # shellcheck disable=SC2086
    e2e_click $TITLE_SPOT
    e2e_wait_for 20 e2e_screenshot_changed "$DIR/canvas.png" "$DIR/title.png" 2000 ||
        e2e_fail "the title screen stays after a click at $TITLE_SPOT"
    e2e_wait_for 20 canvas_stable "$DIR/canvas.png" || e2e_fail "the canvas does not settle (lit box: '$RECT_BOX')"
    locate_rect_and_empty_spot "$DIR/canvas.png" "$WIDTH" "$HEIGHT"
}

# Shift+Esc, and the instrument must end by itself, not by a signal.
quit_app() {
    e2e_key shift+Escape
    e2e_wait_app_exit 2 || e2e_fail "the instrument still runs 2 s after Shift+Esc"
    [ "$E2E_APP_STATUS" -lt 128 ] || e2e_fail "the instrument died of signal $((E2E_APP_STATUS - 128)) on Shift+Esc"
    e2e_log "quit with status $E2E_APP_STATUS"
}
