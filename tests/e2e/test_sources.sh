#!/bin/bash
# A single grain and a loop source heard through the real program: "2" over a
# sound rect makes a single grain that repeats a grain of that sound, "3" a
# loop source that loops the window under it; Backspace takes each away. The
# same keys on the empty canvas make sources with nothing to play. Each state
# is recorded as its own bounce and measured sample by sample.
set -u
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/lib.sh"

# A new single grain plays its first grain half a second after it appears.
FIRST_GRAIN_SECONDS=0.6
# Time for a removed source to fall silent.
SETTLE_SECONDS=0.5

e2e_init "${1:-}"
e2e_start_on_canvas sources

for kind in "3 loop source" "2 single grain"; do
    read -r key name <<<"$kind"
    e2e_move_pointer "$RECT_X" "$RECT_Y"
    e2e_key "$key"
    sleep "$FIRST_GRAIN_SECONDS"
    e2e_record_bounce "$DIR" "$name over the rect"
    e2e_expect_sound "$name over the rect"
    e2e_key BackSpace
    sleep "$SETTLE_SECONDS"
    e2e_record_bounce "$DIR" "$name removed"
    e2e_expect_silence "$name removed"
done

for kind in "3 loop source" "2 single grain"; do
    read -r key name <<<"$kind"
    e2e_move_pointer "$EMPTY_X" "$EMPTY_Y"
    e2e_key "$key"
    # Silence proves nothing unless the source is really there.
    e2e_wait_for 10 e2e_source_drawn_at "$DIR/empty-$key.png" "$EMPTY_X" "$EMPTY_Y" ||
        e2e_fail "no $name drawn at $EMPTY_X,$EMPTY_Y after pressing $key"
    sleep "$FIRST_GRAIN_SECONDS"
    e2e_record_bounce "$DIR" "$name on empty canvas"
    e2e_expect_silence "$name on empty canvas"
    e2e_key BackSpace
done

e2e_quit
e2e_pass "single grain and loop source: sound over a rect, silence once removed, silence on empty canvas"
