#pragma once

// Notices that the window was destroyed behind the toolkit's back (a window
// manager or xdotool destroying it, rather than asking it to close): Xlib's own
// error handler would end the process with exit() from wherever the toolkit
// happens to be; the instrument quits through its usual path instead.
class WindowLossWatch {
public:
    virtual ~WindowLossWatch() {}

    // Once the window exists.
    static void Install();
    // Toolkit thread, from its loop: asks the X server whether the window is
    // still there (at most twice a second), since the toolkit ignores its loss.
    static void Check();
    static bool WindowLost();
};
