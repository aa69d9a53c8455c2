#pragma once

// The life of the window at the X level, where the toolkit leaves gaps. It
// notices that the window was destroyed behind the toolkit's back (a window
// manager or xdotool destroying it, rather than asking it to close): Xlib's own
// error handler would end the process with exit() from wherever the toolkit
// happens to be; the instrument quits through its usual path instead. And it
// closes the window on the way out so that nothing of it stays allocated.
class WindowLossWatch {
public:
    virtual ~WindowLossWatch() {}

    // Once the window exists.
    static void Install();
    // Toolkit thread, from its loop: asks the X server whether the window is
    // still there (at most twice a second), since the toolkit ignores its loss.
    static void Check();
    static bool WindowLost();
    // On the way out: releases the GL context and destroys the window, in the
    // order that lets the driver free the window's buffers.
    static void CloseWindow();
};
