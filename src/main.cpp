#include <GL/freeglut.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "app/App.h"
#include "app/QuitSignals.h"

// The one application object, built before main so that the scene lock and
// the MIDI objects exist before anything else runs.
static App _app;

int main(int argc, char** argv)
{
    QuitSignals::Install();
    fprintf(stderr, "usage: %s <midi port #>\n", argv[0]);
    int midiPort = argc > 1 ? atoi(argv[1]) : 0;
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
