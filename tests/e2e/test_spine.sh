#!/bin/bash
# The backbone of a session, as a user lives it: start in a folder of sounds,
# read the loading report, see the title screen, click into the canvas, record a
# bounce with nothing playing, and quit with Shift+Esc.
set -u
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/lib.sh"

e2e_init "${1:-}"
e2e_start_xvfb
e2e_start_pulse

# One sound of each kind the loader must handle, plus a file that is no sound.
make_loops() {
    local loops="$1/loops"
    mkdir -p "$loops"
    sox -n -r 44100 -b 16 -c 2 "$loops/stereo.wav" synth 1.5 sine 220 sine 330 fade 0.05 1.5 0.3 ||
        e2e_fail "sox could not write stereo.wav"
    sox -n -r 44100 -b 16 -c 1 "$loops/mono.wav" synth 1 pluck 440 ||
        e2e_fail "sox could not write mono.wav"
    sox -n -r 48000 -b 16 -c 2 "$loops/rate48k.wav" synth 1 sawtooth 110 gain -6 ||
        e2e_fail "sox could not write rate48k.wav"
    echo "these are notes, not sound" >"$loops/notes.txt"
}

check_loading_report() {
    local name
    for name in stereo.wav mono.wav rate48k.wav; do
        e2e_expect_output stderr "Loading '$name'... "
    done
    e2e_expect_output stdout "  Channels: 2"
    e2e_expect_output stdout "  Channels: 1"
    e2e_expect_output stdout "  Frames: 66150"
    e2e_expect_output stdout "  Frames: 44100"
    e2e_expect_output stdout "  Frames: 48000"
    e2e_expect_output stdout "  Sample Rate: 48000"
    e2e_expect_output stdout "  Sample Rate: 44100"
    # Whatever the engine's rate, the sounds at the other one are converted to it.
    e2e_output_has stderr "'rate48k.wav': converted from 48000 Hz to 44100 Hz." ||
        e2e_output_has stderr "'stereo.wav': converted from 44100 Hz to 48000 Hz." ||
        e2e_fail "no sound was converted to the engine's rate"
    e2e_output_has stderr "WARNING" && e2e_fail "a sound at another rate got a warning"
    e2e_expect_output stderr "Not able to open input file notes.txt."
    e2e_output_has stderr "Loading 'notes.txt'" && e2e_fail "the text file was reported as loading"
    return 0
}

# The title screen, then the canvas of sound rects after a click.
check_screens() {
    local shots=$1
    e2e_wait_for 30 e2e_screenshot_lit "$shots/title.png" 500 ||
        e2e_fail "the title screen stays blank (lit pixels: $(e2e_lit_pixels "$shots/title.png"))"
    e2e_click
    # The rects replace the title text: wait until the drawing has really changed.
    e2e_wait_for 20 e2e_screenshot_changed "$shots/rects.png" "$shots/title.png" 2000 ||
        e2e_fail "the screen did not change after the click ($(e2e_changed_pixels "$shots/rects.png" "$shots/title.png") pixels differ)"
    e2e_wait_for 10 e2e_screenshot_lit "$shots/rects.png" 500 ||
        e2e_fail "the canvas after the click is blank"
    e2e_require_running
}

bounce_files() { find "$1/bounces" -maxdepth 1 -type f -name '*.raw' 2>/dev/null; }

bounce_started() { [ -n "$(bounce_files "$1")" ] && e2e_file_larger_than "$(bounce_files "$1" | head -n 1)" 0; }

# F11 twice records the master output, with its WAV copy beside it; with nothing
# playing it is pure silence.
check_bounce() {
    local dir=$1 file size
    e2e_key F11
    e2e_wait_for 20 bounce_started "$dir" || e2e_fail "F11 did not start a growing file in ./bounces/"
    e2e_key F11
    file=$(bounce_files "$dir")
    e2e_wait_for 20 e2e_file_settled "$file" 1 || e2e_fail "the bounce file still grows after the second F11"
    [ "$(bounce_files "$dir" | wc -l)" -eq 1 ] || e2e_fail "expected one bounce file, found: $(bounce_files "$dir" | tr '\n' ' ')"
    [[ $(basename "$file") =~ ^bounce-[0-9]+-[0-9]+\.raw$ ]] || e2e_fail "bounce file name '$(basename "$file")' is not bounce-<seconds>-<n>.raw"
    size=$(e2e_file_size "$file")
    if [ "$size" -eq 0 ] || [ $((size % 8)) -ne 0 ]; then
        e2e_fail "bounce size $size is not a non-zero multiple of 8 (stereo float frames)"
    fi
    e2e_check_bounce_pair "$file"
    cmp -s -n "$size" "$file" /dev/zero || e2e_fail "the bounce of silence holds non-zero bytes: $(od -A d -t f4 "$file" | grep -v ' 0  *0  *0  *0$' | head -n 3)"
    e2e_log "bounce $(basename "$file"): $((size / 8)) silent frames"
}

check_quit() {
    local start
    e2e_key shift+Escape
    start=${EPOCHREALTIME/./}
    e2e_wait_app_exit 2 || e2e_fail "the instrument still runs 2 s after Shift+Esc"
    [ "$E2E_APP_STATUS" -eq 0 ] || e2e_fail "Shift+Esc ended the instrument with status $E2E_APP_STATUS, expected 0"
    e2e_log "quit $(((${EPOCHREALTIME/./} - start) / 1000)) ms after Shift+Esc, status $E2E_APP_STATUS"
}

DIR=$(e2e_make_workdir spine)
make_loops "$DIR"
e2e_start_app "$DIR"
e2e_wait_window
e2e_wait_for 60 e2e_output_has stdout "Sounds loaded successfully..." || e2e_fail "no 'Sounds loaded successfully...' on stdout"
check_loading_report
check_screens "$DIR"
check_bounce "$DIR"
check_quit
e2e_pass "spine: loading report, title screen, sound rects, silent bounce, Shift+Esc"
