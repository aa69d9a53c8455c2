#!/bin/bash
# A single grain and a loop source heard through the real program: "2" over a
# sound rect makes a single grain that repeats a grain of that sound, "3" a
# loop source that loops the window under it; Backspace takes each away. The
# same keys on the empty canvas make sources with nothing to play. Each state
# is recorded as its own bounce and measured sample by sample.
set -u
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/lib.sh"
# shellcheck source=tests/e2e/scene_lib.sh
. "$(dirname "$0")/scene_lib.sh"

# A new single grain plays its first grain half a second after it appears.
FIRST_GRAIN_SECONDS=0.6

e2e_init "${1:-}"
start_on_canvas sources

for kind in "3 loop source" "2 single grain"; do
    read -r key name <<<"$kind"
    e2e_move_pointer "$RECT_X" "$RECT_Y"
    e2e_key "$key"
    sleep "$FIRST_GRAIN_SECONDS"
    record_bounce "$DIR" "$name over the rect"
    expect_sound "$name over the rect"
    e2e_key BackSpace
    sleep "$SETTLE_SECONDS"
    record_bounce "$DIR" "$name removed"
    expect_silence "$name removed"
done

for kind in "3 loop source" "2 single grain"; do
    read -r key name <<<"$kind"
    e2e_move_pointer "$EMPTY_X" "$EMPTY_Y"
    e2e_key "$key"
    # Silence proves nothing unless the source is really there.
    e2e_wait_for 10 source_drawn_at "$DIR/empty-$key.png" "$EMPTY_X" "$EMPTY_Y" ||
        e2e_fail "no $name drawn at $EMPTY_X,$EMPTY_Y after pressing $key"
    sleep "$FIRST_GRAIN_SECONDS"
    record_bounce "$DIR" "$name on empty canvas"
    expect_silence "$name on empty canvas"
    e2e_key BackSpace
done

quit_app
e2e_pass "single grain and loop source: sound over a rect, silence once removed, silence on empty canvas"
