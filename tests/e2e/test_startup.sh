#!/bin/bash
# Start-up of a long sound: the title screen shows a moving progress bar while
# the sound is read and analysed, Shift+Esc ends the program at once even then,
# a full start leaves one analysis cache entry (in the test's own cache folder),
# the next start maps it, and a damaged entry is analysed again and replaced.
set -u
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/lib.sh"

e2e_init "${1:-}"
e2e_start_xvfb
e2e_start_pulse

dir=$(e2e_make_workdir startup)
mkdir -p "$dir/loops"
sox -n -r 44100 -b 16 -c 2 "$dir/loops/long.wav" synth 360 sine 110-880 sine 330 gain -9 ||
    e2e_fail "sox could not write long.wav"
cache="$E2E_TMP/cache/zoltafenri"

# Lit pixels in the stripe of the window where the progress bar is drawn
# (the bottom tenth, away from the title texts).
bar_pixels() {
    local size width height
    size=$("$E2E_CONVERT" "$1" -format '%w %h' info:)
    read -r width height <<<"$size"
    "$E2E_CONVERT" "$1" -crop "${width}x$((height / 10))+0+$((height - height / 10))" +repage -colorspace Gray \
        -threshold 5% -format '%[fx:int(mean*w*h+0.5)]' info:
}
bar_shown() {
    e2e_screenshot "$1"
    [ "$(bar_pixels "$1")" -gt 20 ]
}
entries() { find "$cache" -maxdepth 1 -type f -name '*.analysis' 2>/dev/null | wc -l; }
# What is neither an entry nor a sound converted to the engine's rate.
leftovers() { find "$cache" -maxdepth 1 -type f ! -name '*.analysis' ! -name '*.converted' 2>/dev/null | wc -l; }

check_progress_and_quit_while_loading() {
    e2e_start_app "$dir"
    e2e_wait_window
    e2e_wait_for 20 bar_shown "$dir/bar1.png" || e2e_fail "no progress bar while loading"
    e2e_output_has stdout "Sounds ready" && e2e_fail "the sound was ready before the progress could be seen"
    # Redrawn as the work goes on: the bar grows.
    e2e_wait_for 20 e2e_screenshot_changed "$dir/bar2.png" "$dir/bar1.png" 3 ||
        e2e_fail "the progress bar does not move"
    e2e_output_has stdout "Sounds ready" && e2e_fail "the analysis ended before Shift+Esc could interrupt it"
    local start=${EPOCHREALTIME/./}
    e2e_key shift+Escape
    e2e_wait_app_exit 3 || e2e_fail "still running 3 s after Shift+Esc during the analysis"
    e2e_log "quit $(((${EPOCHREALTIME/./} - start) / 1000)) ms after Shift+Esc in the middle of the analysis"
    [ "$E2E_APP_STATUS" -eq 0 ] || e2e_fail "Shift+Esc while loading gave status $E2E_APP_STATUS, expected 0"
    e2e_output_has stdout "Sounds ready" && e2e_fail "the loading went on to the end"
    [ "$(entries)" -eq 0 ] || e2e_fail "an interrupted analysis left a cache entry"
    return 0
}

# Starts, waits for the sound, checks that the canvas shows it, and quits.
full_start() {
    e2e_start_app "$dir"
    e2e_wait_window
    e2e_wait_for 120 e2e_output_has stdout "Sounds ready" || e2e_fail "$1: the sound never got ready"
    e2e_wait_for 20 e2e_output_has stdout "Stream Latency" || e2e_fail "$1: no audio stream after loading"
    e2e_click
    e2e_require_running
    e2e_key shift+Escape
    e2e_wait_app_exit 5 || e2e_fail "$1: still running 5 s after Shift+Esc"
    e2e_output_has stderr "analysis cache" && e2e_fail "$1: complained about the cache"
    e2e_log "$1: $(grep 'Sounds ready' "$dir/stdout.log")"
}

check_progress_and_quit_while_loading
full_start "cold start"
[ "$(entries)" -eq 1 ] || e2e_fail "expected one cache entry, found $(entries)"
[ "$(leftovers)" -eq 0 ] || e2e_fail "temporary files left in the cache folder"
entry=$(find "$cache" -name '*.analysis')
size=$(e2e_file_size "$entry")
stamp=$(stat -c %Y.%N "$entry")

full_start "warm start"
[ "$(stat -c %Y.%N "$entry")" = "$stamp" ] || e2e_fail "the warm start rewrote a good entry"

truncate -s $((size / 3)) "$entry"
full_start "start with a cut entry"
[ "$(e2e_file_size "$entry")" -eq "$size" ] || e2e_fail "the cut entry was not replaced by a whole one"
[ "$(leftovers)" -eq 0 ] || e2e_fail "temporary files left in the cache folder"

e2e_pass "start-up: progress bar, Shift+Esc mid-analysis, cache entry written, mapped, and replaced when damaged"
