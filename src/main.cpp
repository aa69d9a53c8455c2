#include <GL/freeglut.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "app/App.h"
#include "app/QuitSignals.h"

// The one application object, built before main so that the scene lock and
// the MIDI objects exist before anything else runs.
static App _app;

int main(int argc, char** argv)
{
    QuitSignals::Install();
    fprintf(stderr, "usage: %s [--osc-port N] <midi port #>\n", argv[0]);
    int midiPort = 0;
    int oscPort = 0;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--osc-port") == 0 && i + 1 < argc)
            oscPort = atoi(argv[++i]);
        else
            midiPort = atoi(argv[i]);
    }
    srand(time(nullptr));
    glutInit(&argc, argv);
    if (_app.Init(midiPort)) {
        if (oscPort != 0)
            _app.StartOsc(oscPort);
        glutMainLoop();
    } else {
        printf("Something went wrong...shouldn't be here\n");
    }
    // The stream stops here, before the static application object is destroyed.
    _app.Clean();
    return _app.GetExitStatus();
}
