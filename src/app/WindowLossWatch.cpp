#include "app/WindowLossWatch.h"

#include <GL/glx.h>
#include <X11/Xlib.h>

#include <chrono>

namespace {

// Toolkit thread only: Xlib reports errors on the thread that reads its connection.
bool windowLost = false;
XErrorHandler defaultHandler = nullptr;
const auto CHECK_INTERVAL = std::chrono::milliseconds(500);
std::chrono::steady_clock::time_point nextCheck;

int OnXError(Display* display, XErrorEvent* error)
{
    if (error->error_code == BadWindow || error->error_code == BadDrawable) {
        windowLost = true;
        return 0;
    }
    return defaultHandler(display, error);
}

}  // namespace

void WindowLossWatch::Install()
{
    defaultHandler = XSetErrorHandler(OnXError);
}

void WindowLossWatch::Check()
{
    auto now = std::chrono::steady_clock::now();
    if (now < nextCheck)
        return;
    nextCheck = now + CHECK_INTERVAL;
    Display* display = glXGetCurrentDisplay();
    GLXDrawable window = glXGetCurrentDrawable();
    XWindowAttributes attributes;
    // A window that is gone answers BadWindow, which the handler above notes.
    if (display != nullptr && window != 0 && XGetWindowAttributes(display, window, &attributes) == 0)
        windowLost = true;
}

bool WindowLossWatch::WindowLost()
{
    return windowLost;
}
