#!/bin/bash
# Saves never wait on, write through or replace what is not the session's own,
# through the real program: a named pipe at session-2.bin.saving, a symbolic
# link at session-3.bin.saving and a named pipe at session.bin.saving are
# refused on Ctrl+Shift+F2, Ctrl+Shift+F3 and F12 with a message within a
# second; the slot saved before is kept, the link and what it leads to are
# untouched, and Shift+Esc still quits.
set -u
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/lib.sh"

REFUSAL_SECONDS=1

# Presses a save key and waits for the refusal of what lies at the temporary name.
expect_refusal() {
    local key=$1 path=$2 kind=$3
    e2e_key "$key"
    e2e_wait_for "$REFUSAL_SECONDS" e2e_output_has stderr \
        "$path cannot be saved: $path.saving is not a regular file (it is $kind)" ||
        e2e_fail "$key: no refusal of $kind at $path.saving within $REFUSAL_SECONDS s"
    e2e_log "$key: $(grep -m1 "$path cannot be saved" "$DIR/stderr.log")"
}

e2e_init "${1:-}"
e2e_start_on_canvas saves
mkdir "$DIR/elsewhere"
echo "not a scene" >"$DIR/elsewhere/notes.txt"
NOTES=$(cat "$DIR/elsewhere/notes.txt")

e2e_move_pointer "$RECT_X" "$RECT_Y"
e2e_key 1
e2e_key ctrl+shift+F2
e2e_wait_for 10 e2e_output_has stdout "Session saved to session-2.bin" || e2e_fail "Ctrl+Shift+F2 did not save slot 2"
cp "$DIR/session-2.bin" "$DIR/elsewhere/slot-2.before"

mkfifo "$DIR/session-2.bin.saving" "$DIR/session.bin.saving"
ln -s elsewhere/notes.txt "$DIR/session-3.bin.saving"
# A scene other than the one in slot 2, so that a save that went through would show.
e2e_key BackSpace
expect_refusal ctrl+shift+F2 session-2.bin "a named pipe"
expect_refusal ctrl+shift+F3 session-3.bin "a symbolic link"
expect_refusal F12 session.bin "a named pipe"

cmp -s "$DIR/session-2.bin" "$DIR/elsewhere/slot-2.before" || e2e_fail "slot 2 changed"
for pipe in session-2.bin.saving session.bin.saving; do
    [ -p "$DIR/$pipe" ] || e2e_fail "the named pipe $pipe was replaced"
done
[ "$(readlink "$DIR/session-3.bin.saving")" = elsewhere/notes.txt ] || e2e_fail "the link was replaced"
[ "$(cat "$DIR/elsewhere/notes.txt")" = "$NOTES" ] || e2e_fail "the link's target was written"
for made in session-3.bin session.bin; do
    [ ! -e "$DIR/$made" ] || e2e_fail "a refused save made $made"
done
e2e_quit

e2e_pass "saves: a pipe and a link at the temporary name refused at once, nothing else touched, Shift+Esc quits"
