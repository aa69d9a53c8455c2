#!/bin/bash
# What the command line does before any window opens: --help and --list end
# with status 0, an unknown option or a bad value prints the usage and ends
# with status 2, and an audio system or device that is not there is said and
# ends with status 1. The audio systems seen are a PulseAudio null sink of the
# test's own and no JACK server.
set -u
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/lib.sh"

# Runs the instrument in DIR with the arguments; STATUS holds its exit status.
run() {
    local dir=$1
    shift
    (cd "$dir" && timeout 20 "$E2E_BIN" "$@" >"$dir/stdout.log" 2>"$dir/stderr.log")
    STATUS=$?
    E2E_APP_DIR=$dir
}

expect_status() {
    [ "$STATUS" -eq "$1" ] || e2e_fail "$2: status $STATUS, expected $1"
}

e2e_init "${1:-}"
e2e_start_pulse
export JACK_NO_START_SERVER=1
export JACK_DEFAULT_SERVER="zf-none-$$"
DIR=$(e2e_make_workdir command-line)
mkdir -p "$DIR/loops"

run "$DIR" --help
expect_status 0 "--help"
for line in "usage: " "--audio-api jack|pulse|alsa" "--audio-device N" "--block N" "--rate 44100|48000|88200|96000" "--midi-api jack|alsa" "--list"; do
    e2e_expect_output stdout "$line"
done

for bad in "--block 31" "--block 4097" "--block x" "--rate 22050" "--audio-api oss" "--midi-api pulse" "--audio-device -2" \
    "--verbose" "1 2"; do
    # shellcheck disable=SC2086
    run "$DIR" $bad
    expect_status 2 "$bad"
    e2e_expect_output stderr "usage: "
done
e2e_log "bad options and values end with status 2 and the usage"

run "$DIR" --list
expect_status 0 "--list"
e2e_expect_output stdout "Audio system pulse (Pulse): "
e2e_expect_output stdout "[default output]"
e2e_expect_output stdout "44100, 48000"
e2e_expect_output stdout "MIDI system jack (Jack): not running here"
e2e_log "--list: $(grep -c . "$DIR/stdout.log") lines"

run "$DIR" --audio-api jack
expect_status 1 "--audio-api jack without a server"
e2e_expect_output stderr "No audio device found in audio system 'jack'"

run "$DIR" --audio-api pulse --audio-device 99
expect_status 1 "--audio-device 99"
e2e_expect_output stderr "Audio device 99 of pulse does not exist"
e2e_log "a missing audio system or device ends with status 1 and says so"

e2e_pass "command line: help, list, bad usage (status 2), missing audio system or device (status 1)"
