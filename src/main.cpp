#include <GL/freeglut.h>
#include <dirent.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <string>

#include "app/App.h"
#include "app/AudioEngine.h"
#include "app/CommandLine.h"
#include "app/MyRtAudio.h"
#include "app/QuitSignals.h"
#include "app/SceneStore.h"
#include "midi/MidiSystem.h"
#include "sound/EngineRate.h"

// The one application object, built before main so that the scene lock and
// the MIDI objects exist before anything else runs.
static App _app;

namespace {

// Exit status of a command line that cannot be read, as shells expect.
const int BAD_USAGE = 2;

// What cannot be right is said before a window opens and the sounds load;
// the rate the audio system plays at is the engine's before they load, as
// they are converted to it.
bool ChooseEngineRate(const Options& options)
{
    std::string error;
    const unsigned rate = AudioEngine::ChooseRate(options, &error);
    if (rate == 0) {
        std::cerr << error << std::endl;
        return false;
    }
    EngineRate::Set(rate);
    return true;
}

bool CheckSoundFolder(const std::string& path)
{
    DIR* folder = opendir(path.c_str());
    if (folder == nullptr) {
        std::cerr << "Cannot open the sound folder " << path << ": " << strerror(errno)
                  << " (the instrument plays the sound files found there)" << std::endl;
        return false;
    }
    closedir(folder);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    CommandLine commandLine;
    std::string error;
    if (!commandLine.Parse(argc, argv, &error)) {
        std::cerr << argv[0] << ": " << error << "\n" << commandLine.Usage(argv[0]);
        return BAD_USAGE;
    }
    const Options& options = commandLine.GetOptions();
    if (options.help) {
        std::cout << commandLine.Usage(argv[0]);
        return 0;
    }
    if (options.list) {
        MyRtAudio::List(std::cout);
        MidiSystem::List(std::cout);
        return 0;
    }
    if (!ChooseEngineRate(options) || !CheckSoundFolder(_app.GetAudioPath()))
        return 1;
    QuitSignals::Install();
    if (!options.sessionPath.empty())
        _app.GetScenes()->SetSessionPath(options.sessionPath);
    srand(time(nullptr));
    glutInit(&argc, argv);
    if (_app.Init(options)) {
        glutMainLoop();
    } else {
        printf("Something went wrong...shouldn't be here\n");
        _app.RequestQuit(1);
    }
    // The stream stops here, before the static application object is destroyed.
    _app.Clean();
    return _app.GetExitStatus();
}
