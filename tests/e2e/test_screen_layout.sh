#!/bin/bash
# What a performer sees at the window sizes of laptops and desktops (800x600,
# 960x600, 1366x768, 1920x1080): the pie menu of a cloud in the middle opens
# around it; that of a cloud at the right edge opens inward, all of it left of
# the cloud; the effects window hides the waveform behind it. Before, the key
# left of 1 resizes the rect, as a US keyboard and as a French one type it.
# The screenshots of every size stay in the work folder when a check fails.
set -u
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/lib.sh"

E2E_SCREEN_SIZE="2560x1440x24"
SIZES="800x600 960x600 1366x768 1920x1080"
# Lit pixels that an open menu must change beyond the scene's own animation.
MIN_MENU_PIXELS=1500
# The edge cloud's rings (its own and the selection's) reach this far from its centre.
CLOUD_REACH=32

# Bounding box "X Y W H" of the pixels lit in one screenshot and not in the other.
changed_bbox() {
    local box
    box=$("$E2E_CONVERT" "$1" "$2" -colorspace Gray -threshold 5% -compose Difference -composite \
        -bordercolor black -border 1 -format '%@' info: 2>/dev/null)
    [[ $box =~ ^([0-9]+)x([0-9]+)\+([0-9]+)\+([0-9]+)$ ]] || return 0
    echo "$((BASH_REMATCH[3] - 1)) $((BASH_REMATCH[4] - 1)) ${BASH_REMATCH[1]} ${BASH_REMATCH[2]}"
}

# Lit pixels within WxH+X+Y of a screenshot.
lit_in() {
    "$E2E_CONVERT" "$1" -crop "$2" +repage -colorspace Gray -threshold 5% -format '%[fx:int(mean*w*h+0.5)]' info:
}

resize_window() {
    timeout 10 xdotool windowsize --sync "$E2E_WINDOW" "$1" "$2" || e2e_fail "cannot resize the window to $1x$2"
    sleep 1
    e2e_screenshot "$DIR/resized.png"
    local got
    got=$("$E2E_CONVERT" "$DIR/resized.png" -format '%wx%h' info:)
    [ "$got" = "$1x$2" ] || e2e_fail "the window is $got, not $1x$2"
}

# Holds Space over the source at X,Y (clicked first) and saves the screenshots
# before and with the menu as BASE-before.png and BASE.png.
menu_shots() {
    local x=$1 y=$2 base=$3
    e2e_click "$x" "$y"
    sleep "$E2E_SETTLE_SECONDS"
    e2e_screenshot "$base-before.png"
    e2e_space_down
    e2e_screenshot "$base.png"
    e2e_space_up
}

# Held, the key left of 1 (KEYSYM) makes a drag from the rect's top right
# corner by DX, DY move that corner alone; prints the lit box after it.
resize_with() {
    local keysym=$1 dx=$2 dy=$3 x y w h
    read -r x y w h <<<"$(e2e_lit_bbox "$DIR/rect-selected.png")"
    e2e_focus
    timeout 10 xdotool keydown "$keysym" || e2e_fail "holding $keysym failed"
    e2e_drag $((x + w - 12)) $((y + 12)) $((x + w - 12 + dx)) $((y + 12 + dy))
    timeout 10 xdotool keyup "$keysym" || e2e_fail "releasing $keysym failed"
    sleep "$E2E_SETTLE_SECONDS"
    e2e_screenshot "$DIR/rect-selected.png"
    e2e_lit_bbox "$DIR/rect-selected.png"
}

# True when two "X Y W H" boxes differ by at most 2 pixels in each figure.
boxes_match() {
    local a b i
    read -r -a a <<<"$1"
    read -r -a b <<<"$2"
    for i in 0 1 2 3; do
        [ "${a[i]}" -ge $((b[i] - 2)) ] && [ "${a[i]}" -le $((b[i] + 2)) ] || return 1
    done
}

e2e_init "${1:-}"
e2e_install_packages x11-xkb-utils || e2e_fail "cannot install x11-xkb-utils (setxkbmap)"
e2e_start_on_canvas screen-layout
e2e_centre_rect "$DIR"

# The rect selected (its frame drawn), then resized with the key left of 1 as
# a US keyboard types it (`) and as a French one does (²): the corner under
# the pointer follows it, the opposite one stays.
read -r X Y W H <<<"$E2E_RECT_BOX"
e2e_click $((X + W - 20)) $((Y + 20))
sleep "$E2E_SETTLE_SECONDS"
e2e_screenshot "$DIR/rect-selected.png"
BEFORE=$(e2e_lit_bbox "$DIR/rect-selected.png")
read -r X Y W H <<<"$BEFORE"
GROWN=$(resize_with grave 60 -30)
e2e_log "the rect's lit box: $BEFORE, after a resize drag by 60,-30 with the US key: $GROWN"
boxes_match "$GROWN" "$X $((Y - 30)) $((W + 60)) $((H + 30))" ||
    e2e_fail "a resize drag by 60,-30 with the US key made the rect's lit box $GROWN from $BEFORE"
# The French layout puts ² on that key (xdotool would only lend it a spare one).
setxkbmap fr || e2e_fail "cannot switch the display to the French keyboard layout"
sleep "$E2E_SETTLE_SECONDS"
BACK=$(resize_with twosuperior -60 30)
e2e_log "and back by -60,30 with the key as a French keyboard types it: $BACK"
boxes_match "$BACK" "$BEFORE" || e2e_fail "a resize drag back by -60,30 with ² made the rect's lit box $BACK from $BEFORE"
# Two clouds, placed in window fractions so that they keep their places as
# the window changes size: one at the middle, one at the right edge.
e2e_move_pointer $((WIDTH / 2)) $((HEIGHT / 2))
e2e_key 1
e2e_move_pointer $((WIDTH - 12)) $((HEIGHT / 2))
e2e_key 1

for size in $SIZES; do
    W=${size%x*}
    H=${size#*x}
    resize_window "$W" "$H"
    MID_X=$((W / 2)) MID_Y=$((H / 2)) EDGE_X=$((W * (WIDTH - 12) / WIDTH))

    menu_shots "$MID_X" "$MID_Y" "$DIR/pie-middle-$size"
    MENU_CHANGE=$(e2e_changed_pixels "$DIR/pie-middle-$size-before.png" "$DIR/pie-middle-$size.png")
    read -r BX BY BW BH <<<"$(changed_bbox "$DIR/pie-middle-$size-before.png" "$DIR/pie-middle-$size.png")"
    e2e_log "$size: the menu of the middle cloud changes $MENU_CHANGE pixels within ${BW}x${BH}+$BX+$BY"
    [ "$MENU_CHANGE" -gt "$MIN_MENU_PIXELS" ] || e2e_fail "$size: the middle cloud's menu draws almost nothing"
    [ "$BX" -lt "$MID_X" ] && [ $((BX + BW)) -gt "$MID_X" ] ||
        e2e_fail "$size: the middle cloud's menu does not stand on both sides of it (${BW}x${BH}+$BX+$BY)"

    menu_shots "$EDGE_X" "$MID_Y" "$DIR/pie-edge-$size"
    MENU_CHANGE=$(e2e_changed_pixels "$DIR/pie-edge-$size-before.png" "$DIR/pie-edge-$size.png")
    read -r BX BY BW BH <<<"$(changed_bbox "$DIR/pie-edge-$size-before.png" "$DIR/pie-edge-$size.png")"
    e2e_log "$size: the menu of the edge cloud changes $MENU_CHANGE pixels within ${BW}x${BH}+$BX+$BY"
    [ "$MENU_CHANGE" -gt "$MIN_MENU_PIXELS" ] || e2e_fail "$size: the edge cloud's menu draws almost nothing"
    # Its boxes all open inward; only the lines to the centre reach the cloud.
    [ $((BX + BW)) -le $((EDGE_X + CLOUD_REACH)) ] ||
        e2e_fail "$size: the edge cloud's menu reaches $((BX + BW)), right of the cloud at $EDGE_X"
    [ "$BX" -gt 0 ] || e2e_fail "$size: the edge cloud's menu runs into the left edge"

    # The effects window over the waveform: between its two rows of panels,
    # where it draws nothing, the waveform lit before is hidden.
    GAP="$((W * 30 / 100))x$((H * 1 / 100))+$((W * 35 / 100))+$((H * 52 / 100))"
    e2e_screenshot "$DIR/effects-$size-before.png"
    e2e_focus
    timeout 10 xdotool keydown Alt_L keydown space || e2e_fail "holding Alt+Space failed"
    sleep "$E2E_SETTLE_SECONDS"
    e2e_screenshot "$DIR/effects-$size.png"
    timeout 10 xdotool keyup space keyup Alt_L || e2e_fail "releasing Alt+Space failed"
    BEFORE=$(lit_in "$DIR/effects-$size-before.png" "$GAP")
    AFTER=$(lit_in "$DIR/effects-$size.png" "$GAP")
    e2e_log "$size: between the effects panels $BEFORE lit pixels of the waveform before, $AFTER with the window"
    [ "$BEFORE" -gt 0 ] || e2e_fail "$size: no waveform under the effects window to hide (band $GAP)"
    [ "$AFTER" -eq 0 ] || e2e_fail "$size: $AFTER pixels of the scene show through the effects window"
done

e2e_quit
e2e_pass "screen layout: rect resized with the US and the French key left of 1, menus around and inward, effects window opaque at $SIZES"
