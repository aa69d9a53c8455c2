#!/bin/bash
# A grain cloud heard through the real program: "1" over a sound rect makes a
# cloud whose grains play that sound; Backspace takes it away again; a cloud on
# the empty canvas has nothing to play. Each state is recorded as its own bounce
# and measured sample by sample.
set -u
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/lib.sh"

# Time for a new or removed cloud to take effect on the sound.
SETTLE_SECONDS=0.5

e2e_init "${1:-}"
e2e_start_on_canvas grain-cloud

e2e_move_pointer "$RECT_X" "$RECT_Y"
e2e_key 1
sleep "$SETTLE_SECONDS"
e2e_record_bounce "$DIR" "cloud over the rect"
# It still sounds at the end, so that the silence after its removal is the removal's doing.
e2e_expect_sound "cloud over the rect"

e2e_key BackSpace
sleep "$SETTLE_SECONDS"
e2e_record_bounce "$DIR" "cloud removed"
e2e_expect_silence "cloud removed"

e2e_move_pointer "$EMPTY_X" "$EMPTY_Y"
e2e_key 1
# Silence proves nothing unless the cloud is really there.
e2e_wait_for 10 e2e_source_drawn_at "$DIR/empty-cloud.png" "$EMPTY_X" "$EMPTY_Y" ||
    e2e_fail "no cloud drawn at $EMPTY_X,$EMPTY_Y after pressing 1"
sleep "$SETTLE_SECONDS"
e2e_record_bounce "$DIR" "cloud on empty canvas"
e2e_expect_silence "cloud on empty canvas"

e2e_quit
e2e_pass "grain cloud: sound over a rect, silence once removed, silence on empty canvas"
