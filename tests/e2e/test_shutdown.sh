#!/bin/bash
# Every way a performer ends the instrument while it plays and records: the
# window's close button, the window destroyed outright (xdotool windowclose, as
# some window managers' kill does), Ctrl+C in the terminal (SIGINT) and SIGTERM. Each must
# shut down as Shift+Esc does: a clean exit within 2 s, no crash, and a whole
# bounce (every queued sample written, the WAV copy finished beside it).
set -u
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/lib.sh"

# Recorded before the end is asked for, so that the writer has work in flight.
MIN_RECORD_SECONDS=2

bounce_reaches() {
    local file
    file=$(e2e_bounce_files "$1" | head -n 1)
    [ -n "$file" ] && e2e_file_larger_than "$file" "$2"
}

# Leaves the title screen, puts a grain cloud over the one sound rect and starts recording.
play_and_record() {
    local dir=$1
    e2e_enter_canvas "$dir"
    e2e_move_pointer "$RECT_X" "$RECT_Y"
    e2e_key 1
    e2e_key F11
    e2e_wait_for 30 bounce_reaches "$dir" $((MIN_RECORD_SECONDS * E2E_RATE * E2E_FRAME_BYTES)) ||
        e2e_fail "F11 did not give a growing bounce"
}

# The end must be as clean as Shift+Esc's and the bounce whole.
check_clean_end() {
    local dir=$1 label=$2 message=$3 raw frames stats peak nonfinite beyond
    e2e_wait_app_exit 2 || e2e_fail "$label: the instrument still runs 2 s later"
    [ "$E2E_APP_STATUS" -eq 0 ] || e2e_fail "$label: exit status $E2E_APP_STATUS, expected 0"
    e2e_expect_output stderr "$message"
    e2e_output_has stderr "Sanitizer" && e2e_fail "$label: a sanitizer reported a fault"
    e2e_output_has stderr "runtime error" && e2e_fail "$label: undefined behaviour reported"
    raw=$(e2e_bounce_files "$dir")
    [ "$(echo "$raw" | wc -l)" -eq 1 ] || e2e_fail "$label: expected one bounce, found: $raw"
    e2e_check_bounce_pair "$raw"
    frames=$E2E_BOUNCE_FRAMES
    e2e_expect_output stdout "Recorded $frames frames to ./bounces/$(basename "$raw") and ./bounces/$(basename "${raw%.raw}.wav")"
    e2e_output_has stderr "lost" && e2e_fail "$label: the recording lost samples"
    stats=$(e2e_bounce_stats "$raw")
    read -r _ peak nonfinite beyond <<<"$stats"
    [ "$nonfinite" -eq 0 ] && [ "$beyond" -eq 0 ] ||
        e2e_fail "$label: of the bounce's samples $nonfinite are not finite and $beyond outside [-1, 1] (peak $peak)"
    awk -v p="$peak" 'BEGIN { exit !(p > 0.001) }' || e2e_fail "$label: the bounce is silent (peak $peak): no cloud played"
    e2e_log "$label: status 0, bounce of $frames frames (peak $peak) with its WAV copy"
}

destroy_window() { timeout 10 xdotool windowclose "$E2E_WINDOW" || e2e_fail "xdotool windowclose failed"; }

send_signal() { kill "-$1" "$E2E_APP_PID" || e2e_fail "could not send SIG$1"; }

run_and_end() {
    local label=$1 message=$2 dir
    shift 2
    dir=$(e2e_make_workdir "$label")
    e2e_make_chord_loops "$dir"
    e2e_start_app "$dir"
    e2e_wait_window
    play_and_record "$dir"
    "$@"
    check_clean_end "$dir" "$label" "$message"
}

e2e_init "${1:-}"
e2e_start_xvfb
e2e_start_pulse

run_and_end close-button "Window closed: quitting" e2e_close_window
run_and_end destroyed "Window destroyed: quitting" destroy_window
run_and_end sigterm "Signal 15 (Terminated): quitting" send_signal TERM
run_and_end sigint "Signal 2 (Interrupt): quitting" send_signal INT
e2e_pass "shutdown: close button, destroyed window, SIGTERM and SIGINT end cleanly with a whole bounce and its WAV copy"
