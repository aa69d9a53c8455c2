#include "ui/KeyHelp.h"

#include <algorithm>
#include <cstring>

namespace {

const KeyHelp::Line FULL[] = {
    {"any key, left click", "leave the title screen"},
    {"1", "add a grain cloud under the pointer"},
    {"2", "add a single grain under the pointer"},
    {"3", "add a loop source under the pointer"},
    {"4", "add a live rect under the pointer"},
    {"F7", "panic: every note copy stops at once"},
    {"F8", "freeze / unfreeze every live rect at once"},
    {"Backspace, Delete", "remove the selected source"},
    {"left click", "select the source, or else the rect, under the pointer"},
    {"left drag", "move the selected source or rect"},
    {"` (key left of 1) + drag", "resize the selected rect"},
    {"Space (held)", "pie menu of the selected source or rect"},
    {"left drag of a box", "outward raises its value, inward lowers it"},
    {"left click beside the boxes", "select the source, or else the rect"},
    {"right click on a box", "type a value for it"},
    {"Enter", "apply the typed value, or close the pie menu"},
    {"Esc", "drop the typed value"},
    {"Alt+Space (held)", "effects window"},
    {"left click on an effect's box", "switch the effect on or off"},
    {"left drag of a knob", "turn it"},
    {"Envelope box picked", "the Envelope window plots the grain envelope"},
    {"LFO box picked", "the LFO window plots the pitch LFO"},
    {"Ctrl+drag, middle drag", "scroll the canvas"},
    {"arrow keys", "scroll the canvas"},
    {"mouse wheel, Alt+drag", "zoom about the pointer"},
    {"letters", "MIDI notes on the MIDI output"},
    {"F1 (held)", "help overlay"},
    {"F5", "toggle full screen"},
    {"F10", "show the title screen again"},
    {"F11", "start / stop recording the output"},
    {"F12", "save the scene to session.bin"},
    {"Ctrl+Shift+F1 ... F8", "save the scene to slot 1 ... 8"},
    {"Ctrl+F1 ... F8", "recall slot 1 ... 8 while playing"},
    {"F9", "MIDI learn"},
    {"Shift+F9", "the picked parameter (or the knob under the pointer) follows its controller no more"},
    {"Ctrl+Left, Ctrl+Right", "previous / next style"},
    {"Shift+Esc", "quit"},
};

const KeyHelp::Line SHORT[] = {
    {"1", "add a grain cloud"},
    {"2", "add a single grain"},
    {"3", "add a loop source"},
    {"Backspace, Delete", "remove the selected source"},
    {"left drag", "move the selected source or rect"},
    {"` (key left of 1) + drag", "resize the selected rect"},
    {"Space (held)", "pie menu"},
    {"right click on a box", "type a value for it"},
    {"Enter", "apply the typed value"},
    {"Alt+Space (held)", "effects window"},
    {"Ctrl+drag, middle drag", "scroll the canvas"},
    {"mouse wheel, Alt+drag", "zoom"},
    {"F7", "panic: every note copy stops at once"},
    {"F11", "start / stop recording"},
    {"F12", "save the scene"},
    {"Ctrl+F1 ... F8", "recall slot 1 ... 8"},
    {"F9", "MIDI learn"},
    {"Ctrl+Left, Ctrl+Right", "previous / next style"},
    {"Shift+Esc", "quit"},
};

}  // namespace

const KeyHelp::Line* KeyHelp::GetFull(size_t* count)
{
    *count = sizeof(FULL) / sizeof(FULL[0]);
    return FULL;
}

const KeyHelp::Line* KeyHelp::GetShort(size_t* count)
{
    *count = sizeof(SHORT) / sizeof(SHORT[0]);
    return SHORT;
}

std::string KeyHelp::Format(const Line& line, size_t keyWidth)
{
    std::string text(line.keys);
    text.resize(std::max(keyWidth, text.size()) + 2, ' ');
    return text + line.action;
}

size_t KeyHelp::KeyWidth(const Line* lines, size_t count)
{
    size_t width = 0;
    for (size_t i = 0; i < count; i++)
        width = std::max(width, strlen(lines[i].keys));
    return width;
}
