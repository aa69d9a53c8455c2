#include "app/ToolkitCallbacks.h"

#include <GL/freeglut.h>

#include "app/App.h"

namespace {

App* callbackTarget = nullptr;

void displayFunc()
{
    callbackTarget->OnDisplay();
}
void reshapeFunc(int w, int h)
{
    callbackTarget->OnReshape(w, h);
}
void idleFunc()
{
    callbackTarget->OnIdle();
}
void mouseFunc(int button, int state, int x, int y)
{
    callbackTarget->OnMouse(button, state, x, y);
}
void mouseDragFunc(int x, int y)
{
    callbackTarget->OnMouseDrag(x, y);
}
void mousePassiveMotionFunc(int x, int y)
{
    callbackTarget->OnMousePassiveMotion(x, y);
}
void keyboardFunc(unsigned char key, int x, int y)
{
    callbackTarget->OnKeyboard(key, x, y);
}
void keyUpFunc(unsigned char key, int x, int y)
{
    callbackTarget->OnKeyUp(key, x, y);
}
void mouseWheelFunc(int wheel, int direction, int x, int y)
{
    callbackTarget->OnMouseWheel(wheel, direction, x, y);
}
void specialFunc(int key, int x, int y)
{
    callbackTarget->OnSpecialKey(key, x, y);
}
void specialUpFunc(int key, int x, int y)
{
    callbackTarget->OnSpecialKeyUp(key, x, y);
}
void closeFunc()
{
    callbackTarget->OnWindowClose();
}

}  // namespace

void ToolkitCallbacks::SetTarget(App* app)
{
    callbackTarget = app;
}

void ToolkitCallbacks::Register()
{
    glutIdleFunc(idleFunc);
    glutReshapeFunc(reshapeFunc);
    glutDisplayFunc(displayFunc);
    glutMouseFunc(mouseFunc);
    glutMotionFunc(mouseDragFunc);
    glutPassiveMotionFunc(mousePassiveMotionFunc);
    glutMouseWheelFunc(mouseWheelFunc);
    glutKeyboardFunc(keyboardFunc);
    glutKeyboardUpFunc(keyUpFunc);
    glutSpecialFunc(specialFunc);
    glutSpecialUpFunc(specialUpFunc);
    glutCloseFunc(closeFunc);
}

int ToolkitCallbacks::OnAudio(void* outputBuffer, void* inputBuffer, unsigned int nFrames, double streamTime,
                              RtAudioStreamStatus status, void* userData)
{
    return callbackTarget->OnAudio(outputBuffer, inputBuffer, nFrames, streamTime, status, userData);
}
