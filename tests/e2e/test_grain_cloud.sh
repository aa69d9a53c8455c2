#!/bin/bash
# A grain cloud heard through the real program: "1" over a sound rect makes a
# cloud whose grains play that sound; Backspace takes it away again; a cloud on
# the empty canvas has nothing to play. Each state is recorded as its own bounce
# and measured sample by sample.
set -u
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/lib.sh"
# shellcheck source=tests/e2e/scene_lib.sh
. "$(dirname "$0")/scene_lib.sh"

e2e_init "${1:-}"
start_on_canvas grain-cloud

e2e_move_pointer "$RECT_X" "$RECT_Y"
e2e_key 1
sleep "$SETTLE_SECONDS"
record_bounce "$DIR" "cloud over the rect"
expect_sound "cloud over the rect"

e2e_key BackSpace
sleep "$SETTLE_SECONDS"
record_bounce "$DIR" "cloud removed"
expect_silence "cloud removed"

e2e_move_pointer "$EMPTY_X" "$EMPTY_Y"
e2e_key 1
# Silence proves nothing unless the cloud is really there.
e2e_wait_for 10 source_drawn_at "$DIR/empty-cloud.png" "$EMPTY_X" "$EMPTY_Y" ||
    e2e_fail "no cloud drawn at $EMPTY_X,$EMPTY_Y after pressing 1"
sleep "$SETTLE_SECONDS"
record_bounce "$DIR" "cloud on empty canvas"
expect_silence "cloud on empty canvas"

quit_app
e2e_pass "grain cloud: sound over a rect, silence once removed, silence on empty canvas"
