#pragma once

#include <cstddef>
#include <string>

// What the keys and the mouse do, as the title screen (the full list) and the
// F1 overlay (the short one) show it. Every line names its keys exactly as the
// README's key table does, and its action is the start of that row's action,
// so that the screen and the README never say different things.
namespace KeyHelp {

struct Line {
    const char* keys;
    const char* action;
};

const Line* GetFull(size_t* count);
const Line* GetShort(size_t* count);
// The keys padded to keyWidth characters, then the action.
std::string Format(const Line& line, size_t keyWidth);
// The widest keys of a list, for its column.
size_t KeyWidth(const Line* lines, size_t count);

}  // namespace KeyHelp
