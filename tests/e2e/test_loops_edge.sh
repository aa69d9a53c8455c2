#!/bin/bash
# The two edges of the sound folder: an empty ./loops/ gives a running instrument
# with an empty canvas; a missing one is reported and the program ends cleanly.
set -u
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/lib.sh"

e2e_init "${1:-}"
e2e_start_xvfb
e2e_start_pulse

check_empty_loops() {
    local dir
    dir=$(e2e_make_workdir empty-loops)
    mkdir "$dir/loops"
    e2e_start_app "$dir"
    e2e_wait_window
    e2e_wait_for 30 e2e_output_has stdout "Sounds loaded successfully..." ||
        e2e_fail "empty loops/: no 'Sounds loaded successfully...' on stdout"
    e2e_output_has stderr "Loading '" && e2e_fail "empty loops/: something was loaded"
    e2e_wait_for 30 e2e_screenshot_lit "$dir/title.png" 500 || e2e_fail "empty loops/: the title screen stays blank"
    e2e_click
    e2e_require_running
    # The title's text goes and the empty canvas stays.
    e2e_wait_for 20 e2e_screenshot_changed "$dir/canvas.png" "$dir/title.png" 2000 ||
        e2e_fail "empty loops/: the title screen did not go after the click"
    e2e_key shift+Escape
    e2e_wait_app_exit 2 || e2e_fail "empty loops/: the instrument still runs 2 s after Shift+Esc"
    [ "$E2E_APP_STATUS" -eq 0 ] || e2e_fail "empty loops/: Shift+Esc gave status $E2E_APP_STATUS, expected 0"
    e2e_log "empty loops/: ran and quit"
}

check_missing_loops() {
    local dir
    dir=$(e2e_make_workdir missing-loops)
    e2e_start_app "$dir"
    e2e_wait_app_exit 10 || e2e_fail "missing loops/: the instrument still runs after 10 s"
    # A script that starts the instrument can tell that it did not run.
    [ "$E2E_APP_STATUS" -eq 1 ] || e2e_fail "missing loops/: exit status $E2E_APP_STATUS, expected 1"
    e2e_expect_output stderr "Cannot open the sound folder ./loops/: No such file or directory"
    e2e_output_has stdout "Sounds loaded successfully..." && e2e_fail "missing loops/: reported sounds as loaded"
    e2e_log "missing loops/: reported and ended with status 1"
}

check_empty_loops
check_missing_loops
e2e_pass "loops edges: empty folder runs and quits, missing folder is reported"
