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
    fprintf(stderr, "usage: %s [--session FILE] [<midi port #>]\n", argv[0]);
    int midiPort = 0;
    for (int i = 1; i < argc; i++) {
        // The scene file F12 saves to and the start restores, instead of session.bin.
        if (strcmp(argv[i], "--session") == 0 && i + 1 < argc)
            _app.SetSessionPath(argv[++i]);
        else
            midiPort = atoi(argv[i]);
    }
    srand(time(nullptr));
    glutInit(&argc, argv);
    if (_app.Init(midiPort)) {
        glutMainLoop();
    } else {
        printf("Something went wrong...shouldn't be here\n");
    }
    // The stream stops here, before the static application object is destroyed.
    _app.Clean();
    return _app.GetExitStatus();
}
