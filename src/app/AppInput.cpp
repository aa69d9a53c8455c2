// Input from the window toolkit, heard under the scene lock once the sounds
// are there, and the ways out of the program.
#include <GL/freeglut.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <stk/Mutex.h>

#include "app/App.h"
#include "app/AppControl.h"
#include "app/FloatingWindows.h"
#include "app/QuitSignals.h"
#include "app/StartupLoader.h"
#include "app/WindowLossWatch.h"

void App::OnKeyboard(unsigned char key, int x, int y)
{
    if (_loading) {
        // Only the way out is open until the sounds are there.
        if (key == 27 && (glutGetModifiers() & GLUT_ACTIVE_SHIFT))
            QuitWhileLoading();
        return;
    }
    _mutex->lock();
    _control->OnKeyboard(key, x, y, glutGetModifiers());
    glutPostRedisplay();
    _mutex->unlock();
}

void App::OnKeyUp(unsigned char key, int x, int y)
{
    if (_loading)
        return;
    _mutex->lock();
    _control->OnKeyUp(key, x, y);
    _mutex->unlock();
}

void App::OnSpecialKey(int key, int x, int y)
{
    if (_loading)
        return;
    _mutex->lock();
    _control->OnSpecialKey(key, x, y, glutGetModifiers());
    glutPostRedisplay();
    _mutex->unlock();
}

void App::OnSpecialKeyUp(int key, int x, int y)
{
    if (_loading)
        return;
    _mutex->lock();
    _control->OnSpecialKeyUp(key, x, y);
    glutPostRedisplay();
    _mutex->unlock();
}

void App::OnMouse(int button, int state, int x, int y)
{
    if (_loading)
        return;
    _mutex->lock();
    if (!_windows->IsOverFloatingWindow(x, y))
        _control->OnMouse(button, state, x, y, glutGetModifiers());
    _windows->RouteMouseToWindows(button, state, x, y);
    _mutex->unlock();
}

void App::OnMouseDrag(int x, int y)
{
    if (_loading)
        return;
    _mutex->lock();
    _control->OnMouseDrag(x, y);
    _windows->RouteDragToWindows(x, y);
    _mutex->unlock();
}

void App::OnMousePassiveMotion(int x, int y)
{
    if (_loading)
        return;
    _mutex->lock();
    _control->OnMousePassiveMotion(x, y);
    _mutex->unlock();
}

void App::OnMouseWheel(int wheel, int direction, int x, int y)
{
    if (_loading)
        return;
    _mutex->lock();
    _control->OnMouseWheel(wheel, direction, x, y);
    glutPostRedisplay();
    _mutex->unlock();
}

void App::QuitWhileLoading()
{
    // The loading threads stop at their next look at the progress; nothing
    // runs yet that a quit would have to close, and nothing is saved. A quit
    // is a quit, whenever it comes: status 0.
    _loader->Cancel();
    fflush(stdout);
    fflush(stderr);
    _exit(0);
}

bool App::QuitIfRequested()
{
    // main cleans up once the loop returns, outside the scene lock: stopping the
    // stream waits for the audio callback, which needs the lock to finish its block.
    if (!_quitRequested)
        return false;
    glutLeaveMainLoop();
    return true;
}

void App::QuitOnOutsideRequest()
{
    if (_quitRequested)
        return;
    int signal = QuitSignals::Pending();
    if (signal != 0) {
        std::cerr << "Signal " << signal << " (" << strsignal(signal) << "): quitting" << std::endl;
        RequestQuit();
        return;
    }
    WindowLossWatch::Check();
    if (WindowLossWatch::WindowLost()) {
        std::cerr << "Window destroyed: quitting" << std::endl;
        RequestQuit();
    }
}

void App::OnWindowClose()
{
    // The toolkit closes the window on its way out of the loop, whatever ended it.
    if (_quitRequested)
        return;
    std::cerr << "Window closed: quitting" << std::endl;
    RequestQuit();
}
